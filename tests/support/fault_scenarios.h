#pragma once

// Every answer and fault a feed server can give, with what one fetch must make of
// it: the unit tests' fault matrix and the soak benchmark share it.
#include "support/test_https_server.h"

#include <QStringList>

namespace faults {

using Mode = TestHttpsServer::Mode;
using Identity = TestHttpsServer::Identity;
using Response = TestHttpsServer::Response;

// Two papers, the second with an empty date: the good list every row starts from.
inline const QByteArray kTwoPapers
    = R"({"papers": [{"title": "Sticky Wages in Small Harbours", "link": "https://example.org/p/1", )"
      R"("journal": "JPE Just Accepted", "tier": "1", "author": "Ana Ortiz", "date": "2026-12-01"}, )"
      R"({"title": "Lotteries and Labour Supply", "link": "https://example.org/p/2", "journal": "JDE in Press", )"
      R"("tier": "2", "author": "Kwame Mensah", "date": ""}]})";
inline const QByteArray kOnePaper
    = R"({"papers": [{"title": "Ferry Timetables as Contracts", "link": "https://example.org/p/3", )"
      R"("journal": "AER: Insights", "tier": "1", "author": "Lena Brandt", "date": "2026-12-05"}]})";
constexpr qint64 kCap = 1024 * 1024; // the limits the log lines below assume:
constexpr int kIdleMs = 400, kTransferMs = 1500;

struct Scenario
{
    const char *name;
    Response answer;
    QString logLine; // the outcome's; texts after "Fetch error: " are Qt's
    QString error; // to onError; empty for a success
    QStringList titles = {}; // afterwards; a failure keeps the good list
    Identity identity = Identity::Trusted;
    bool refused = false; // nothing listens
};

// "{port}" in a header value stands for the server's own port.
inline QList<Scenario> scenarios()
{
    const QString load = u"Failed to load papers"_qs, parse = u"Failed to parse papers"_qs;
    const QString fetch = u"[Quillet] Fetch error: "_qs,
                  handshake = fetch + u"SSL handshake failed: "_qs;
    const QString idle = fetch + u"Timed out: nothing received for 400 ms"_qs;
    const QString tooBig = fetch + u"Response larger than the 1 MiB limit"_qs;
    const QString badJson = u"[Quillet] Decode error: not a valid JSON document: "_qs;
    const QString badStructure = badJson
        + u"The JSON document has an improper structure: missing "
          "or superfluous commas, braces, missing keys, etc."_qs;
    const Response one = Response::ok(kOnePaper);
    auto redirect = [](const char *to) {
        return Response::withStatus(302, "Found").withHeader("Location", to);
    };
    return {
        {"connection refused", one, fetch + u"Connection refused"_qs, load, {}, {}, true},
        {"reset mid body", Response::withMode(Mode::ResetMidBody, kOnePaper),
            fetch + u"Connection closed"_qs, load},
        {"stall before headers", Response::withMode(Mode::StallBeforeHeaders), idle, load},
        {"stall mid body", Response::withMode(Mode::StallMidBody, kOnePaper), idle, load},
        {"untrusted certificate", one,
            handshake + u"The certificate is self-signed, and untrusted"_qs, load, {},
            Identity::Untrusted},
        {"expired certificate", one, handshake + u"The certificate has expired"_qs, load, {},
            Identity::Expired},
        {"hostname mismatch", one,
            handshake
                + u"The host name did not match any of the valid hosts for this certificate"_qs,
            load, {}, Identity::WrongHost},
        {"https to http redirect", redirect("http://127.0.0.1:{port}/"),
            fetch + u"Insecure redirect"_qs, load},
        {"redirect loop", redirect("https://127.0.0.1:{port}/"), fetch + u"Too many redirects"_qs,
            load},
        {"404 with a feed", Response::withStatus(404, "Not Found", kOnePaper),
            u"[Quillet] Loaded 1 papers"_qs, {}, {u"Ferry Timetables as Contracts"_qs}},
        {"500 with HTML", Response::withStatus(500, "Internal Server Error", "<html>Oops</html>"),
            badStructure, parse},
        {"200 empty", Response::ok({}), badJson + u"Empty: no JSON found"_qs, parse},
        // A valid empty feed is news too: the list empties.
        {"200 empty feed", Response::ok(R"({"papers": []})"), u"[Quillet] Loaded 0 papers"_qs, {}},
        {"truncated body without a length", Response::withMode(Mode::TruncatedNoLength, kOnePaper),
            badStructure, parse},
        // A client that read on past the cap would decode the zeros and log that.
        {"oversized, declared length", Response::oversized(4 * kCap), tooBig, load},
        {"oversized, no length", Response::oversized(4 * kCap, false), tooBig, load},
        // A few bytes now and then keep the idle timer quiet; the transfer limit ends it.
        {"slow trickle", Response::trickle(kOnePaper, 8, 100),
            fetch + u"Timed out: the transfer took longer than 1500 ms"_qs, load},
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
