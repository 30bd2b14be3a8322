#!/usr/bin/env python3
"""Serves one feed file over HTTPS on the loopback interface, for the demo and
the end-to-end test.

    serve_feed.py --port P --cert C --key K --feed FILE [--status N]

Every GET, whatever its path, is answered with the file's bytes as
application/json and status N (200 unless told). The file is read afresh for
each request, so a test can change what the next poll sees. Standard output
carries exactly one line, "serving on https://127.0.0.1:P/", once the socket
listens: callers wait for it instead of guessing how long start-up takes.
SIGTERM and SIGINT stop the server and exit with status 0.
"""

import argparse
import http.server
import signal
import ssl
import sys


class FeedHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "serve_feed"
    sys_version = ""

    def do_GET(self):
        try:
            with open(self.server.feed_path, "rb") as feed:
                body = feed.read()
        except OSError as error:
            body = str(error).encode("utf-8")
            self.send_response(500)
            self.send_header("Content-Type", "text/plain; charset=utf-8")
        else:
            self.send_response(self.server.status)
            self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):
        # Standard output belongs to the one "serving on" line; requests are not logged.
        pass


class FeedServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A client that rejects our certificate or hangs up is routine in tests:
        # one line on stderr, never a traceback, never stdout.
        error = sys.exc_info()[1]
        print(f"serve_feed: {client_address[0]}: {type(error).__name__}: {error}", file=sys.stderr, flush=True)


def main():
    parser = argparse.ArgumentParser(description="Serve one JSON feed file over HTTPS on 127.0.0.1.")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cert", required=True, help="PEM certificate chain for the server")
    parser.add_argument("--key", required=True, help="PEM private key for the certificate")
    parser.add_argument("--feed", required=True, help="file whose bytes answer every GET")
    parser.add_argument("--status", type=int, default=200, help="HTTP status of every answer (default 200)")
    args = parser.parse_args()
    if not 100 <= args.status <= 599:
        parser.error("--status must be between 100 and 599")

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)

    def stop(signum, frame):
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    server = FeedServer(("127.0.0.1", args.port), FeedHandler)
    # The handshake waits for the first read, which happens on the request's own
    # thread: a client that stalls mid-handshake cannot block accept().
    server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    server.feed_path = args.feed
    server.status = args.status
    print(f"serving on https://127.0.0.1:{args.port}/", flush=True)
    try:
        server.serve_forever()
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
