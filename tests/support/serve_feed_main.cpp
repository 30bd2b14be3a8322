// Serves one feed file over HTTPS on 127.0.0.1 with the test certificate, for
// the demo, the end-to-end tests and the benches:
//
//   quillet_test_feed_server --port P --feed FILE
//
// Every GET is answered with the file's bytes (read at start) as
// application/json. Standard output carries one line, "serving on
// https://127.0.0.1:P/", once the socket listens; callers wait for it.
#include "support/test_https_server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{u"port"_qs, u"Port on 127.0.0.1."_qs, u"port"_qs},
        {u"feed"_qs, u"File whose bytes answer every request."_qs, u"file"_qs}});
    parser.process(app);
    bool portOk = false;
    const uint port = parser.value(u"port"_qs).toUInt(&portOk);
    QFile feed(parser.value(u"feed"_qs));
    if (!portOk || port == 0 || port > 65535 || !feed.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "usage: quillet_test_feed_server --port P --feed FILE\n");
        return 2;
    }

    TestHttpsServer server;
    server.setDefaultResponse(
        TestHttpsServer::Response::ok(feed.readAll()).withHeader("Cache-Control", "no-store"));
    if (!server.start(quint16(port)))
        return 1; // the reason, e.g. "address is already in use", went to stderr
    std::printf("serving on %s\n", qPrintable(server.url().toString()));
    std::fflush(stdout);
    return app.exec();
}
