#pragma once

// A service against a loopback server, for the tests that drive real fetches.

#include "core/paper_service.h"
#include "support/fake_timers.h"
#include "support/fault_scenarios.h"

namespace faults {

// One service against one server, its outcomes recorded.
struct Harness
{
    TestHttpsServer server;
    FakeTimers *timers = new FakeTimers;
    std::unique_ptr<PaperService> service;
    QStringList errors;
    int updates = 0;

    Harness()
    {
        if (!server.start())
            qFatal("cannot start the test server");
        PaperService::Config config;
        config.apiURL = server.url();
        config.extraCaCertificates = TestHttpsServer::caCertificates();
        config.idleTimeout = std::chrono::milliseconds(kIdleMs);
        config.transferTimeout = std::chrono::milliseconds(kTransferMs);
        config.maxBodyBytes = kCap;
        service = std::make_unique<PaperService>(config, std::unique_ptr<Timers>(timers));
        service->onError = [this](const QString &message) { errors.append(message); };
        service->onUpdate = [this](const QList<Paper> &) { ++updates; };
    }
    int outcomes() const { return int(errors.size()) + updates; }
};

} // namespace faults
