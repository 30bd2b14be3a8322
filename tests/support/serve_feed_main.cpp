// Serves one feed file over HTTPS on 127.0.0.1 with the test certificate, for
// the demo, the end-to-end tests and the benches:
//
//   quillet_test_feed_server --port P --feed FILE
//
// Every GET is answered with the file's bytes (read at start) as
// application/json. Standard output carries one line, "serving on
// https://127.0.0.1:P/", once the socket listens; callers wait for it. A port in
// use is reported on standard error ("... address is already in use").
#include "support/test_https_server.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const uint port = argc == 5 ? QByteArray(argv[2]).toUInt() : 0;
    QFile feed(argc == 5 ? QString::fromLocal8Bit(argv[4]) : QString());
    if (port == 0 || port > 65535 || std::strcmp(argv[1], "--port") != 0
        || std::strcmp(argv[3], "--feed") != 0 || !feed.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "usage: quillet_test_feed_server --port P --feed FILE\n");
        return 2;
    }
    TestHttpsServer server;
    server.setDefaultResponse(
        TestHttpsServer::Response::ok(feed.readAll()).withHeader("Cache-Control", "no-store"));
    if (!server.start(quint16(port)))
        return 1;
    std::printf("serving on %s\n", qPrintable(server.url().toString()));
    std::fflush(stdout);
    return app.exec();
}
