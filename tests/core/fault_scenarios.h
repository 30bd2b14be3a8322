#pragma once

// Every answer and fault a feed server can give, with what one fetch must make of
// it: shared by the fault matrix and the soak.
#include "support/test_https_server.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

namespace faults {

using Mode = TestHttpsServer::Mode;
using Identity = TestHttpsServer::Identity;
using Response = TestHttpsServer::Response;
using namespace std::chrono_literals;

// Two papers, the second with an empty date: the good list every row starts from.
inline const QByteArray kTwoPapers
    = R"({"papers": [{"title": "Sticky Wages in Small Harbours", "link": "https://example.org/p/1", )"
      R"("journal": "JPE Just Accepted", "tier": "1", "author": "Ana Ortiz", "date": "2026-12-01"}, )"
      R"({"title": "Lotteries and Labour Supply", "link": "https://example.org/p/2", "journal": "JDE in Press", )"
      R"("tier": "2", "author": "Kwame Mensah", "date": ""}]})";
inline const QByteArray kOnePaper
    = R"({"papers": [{"title": "Ferry Timetables as Contracts", "link": "https://example.org/p/3", )"
      R"("journal": "AER: Insights", "tier": "1", "author": "Lena Brandt", "date": "2026-12-05"}]})";

// The limits the scenarios' texts assume.
constexpr qint64 kCap = 1024 * 1024;
constexpr auto kIdleTimeout = 400ms;
constexpr auto kTransferTimeout = 1500ms;

struct Scenario
{
    const char *name = "";
    Response answer;
    Identity identity = Identity::Trusted;
    bool refused = false; // nothing listens on the port
    QString logLine; // the outcome's log line; texts after "Fetch error: " are Qt's
    QString errorText; // given to onError; empty for a success
    QStringList titles; // papers() afterwards; empty for a failure (the good list stays)
    // Costs a timeout's worth of real time.
    bool slow() const
    {
        return answer.mode == Mode::StallBeforeHeaders || answer.mode == Mode::StallMidBody
            || answer.mode == Mode::Trickle;
    }
};

// "{port}" in a header value stands for the server's own port.
inline QList<Scenario> scenarios()
{
    const QString load = u"Failed to load papers"_qs;
    const QString parse = u"Failed to parse papers"_qs;
    const QString fetchError = u"[Quillet] Fetch error: "_qs;
    const QString badStructure = u"[Quillet] Decode error: not a valid JSON document: The JSON "
                                 "document has an improper structure: missing or superfluous "
                                 "commas, braces, missing keys, etc."_qs;
    const QString idle = fetchError + u"Timed out: nothing received for 400 ms"_qs;
    const QString handshake = fetchError + u"SSL handshake failed: "_qs;
    auto failure = [](const char *name, Response answer, QString logLine, QString errorText) {
        return Scenario {name, std::move(answer), Identity::Trusted, false, std::move(logLine),
            std::move(errorText), {}};
    };
    auto badCertificate = [&](const char *name, Identity identity, const QString &reason) {
        Scenario scenario = failure(name, Response::ok(kOnePaper), handshake + reason, load);
        scenario.identity = identity;
        return scenario;
    };
    auto redirect = [](const char *to) {
        return Response::withStatus(302, "Found").withHeader("Location", to);
    };

    Scenario refused = failure(
        "connection refused", Response::ok(kOnePaper), fetchError + u"Connection refused"_qs, load);
    refused.refused = true;
    return {
        refused,
        failure("reset mid body", Response::withMode(Mode::ResetMidBody, kOnePaper),
            fetchError + u"Connection closed"_qs, load),
        failure("stall before headers", Response::withMode(Mode::StallBeforeHeaders, kOnePaper),
            idle, load),
        failure("stall mid body", Response::withMode(Mode::StallMidBody, kOnePaper), idle, load),
        badCertificate("untrusted certificate", Identity::Untrusted,
            u"The certificate is self-signed, and untrusted"_qs),
        badCertificate("expired certificate", Identity::Expired, u"The certificate has expired"_qs),
        badCertificate("hostname mismatch", Identity::WrongHost,
            u"The host name did not match any of the valid hosts for this certificate"_qs),
        failure("https to http redirect", redirect("http://127.0.0.1:{port}/"),
            fetchError + u"Insecure redirect"_qs, load),
        failure("redirect loop", redirect("https://127.0.0.1:{port}/"),
            fetchError + u"Too many redirects"_qs, load),
        Scenario {"404 with a feed", Response::withStatus(404, "Not Found", kOnePaper),
            Identity::Trusted, false, u"[Quillet] Loaded 1 papers"_qs, {},
            {u"Ferry Timetables as Contracts"_qs}},
        failure("500 with HTML",
            Response::withStatus(500, "Internal Server Error", "<html><h1>Oops</h1></html>"),
            badStructure, parse),
        failure("200 empty", Response::ok({}),
            u"[Quillet] Decode error: not a valid JSON document: Empty: no JSON found"_qs, parse),
        // A valid empty feed is news too: the list empties.
        Scenario {"200 empty feed", Response::ok(R"({"papers": []})"), Identity::Trusted, false,
            u"[Quillet] Loaded 0 papers"_qs, {}, {}},
        failure("truncated body without a length",
            Response::withMode(Mode::TruncatedNoLength, kOnePaper), badStructure, parse),
        failure("oversized, declared length", Response::oversized(64 * kCap),
            fetchError + u"Response larger than the 1 MiB limit"_qs, load),
        failure("oversized, no length", Response::oversized(64 * kCap, false),
            fetchError + u"Response larger than the 1 MiB limit"_qs, load),
        // A few bytes now and then keep the idle timer quiet; the transfer limit ends it.
        failure("slow trickle", Response::trickle(kOnePaper, 8, 100),
            fetchError + u"Timed out: the transfer took longer than 1500 ms"_qs, load),
    };
}

// Points the server at a scenario for the requests that follow.
inline void serve(TestHttpsServer &server, const Scenario &scenario)
{
    Response answer = scenario.answer;
    for (auto &[name, value] : answer.headers)
        value.replace("{port}", QByteArray::number(server.serverPort()));
    server.setDefaultResponse(answer);
    server.setIdentity(scenario.identity);
}

} // namespace faults
