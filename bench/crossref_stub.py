#!/usr/bin/env python3
"""A stand-in for Crossref's /works endpoint on the loopback interface, for the
feed builder's benchmark.

    crossref_stub.py --port P --cert C --key K [--per-issn N]

Answers every GET of /works with the works of the ISSNs in its `filter`
(issn:XXXX-XXXX, OR'd), in Crossref's shape: N invented journal articles per
ISSN (deterministic, so every run sees the same answers), one in ten with face
markup or MathML in its title, every twentieth record a correction that updates
another work; half the records have a volume. Records were first deposited over
the last 14 days, and `from-created-date` is honoured. Pages follow `rows` and
`cursor`. Standard output carries one line, "serving on https://127.0.0.1:P/",
once the socket listens, then "answered T BYTES" for each answer (T in seconds
since the epoch, BYTES the body's size); on SIGTERM the server prints
"requests N bytes B" and exits.
"""

import argparse
import datetime
import time
import http.server
import json
import random
import signal
import ssl
import sys
import urllib.parse

WORDS = ("Harbour Tariff Credit Wages Frost Lottery Ferry Orchard Grain Pension Bond "
         "Migration Rainfall Auction Tenancy Insurance Schooling Toll Rent Cartel").split()


def works_of(issn, count):
    rng = random.Random(issn)
    today = datetime.date.today()
    works = []
    for i in range(count):
        created = today - datetime.timedelta(days=i % 14)
        title = " ".join(rng.choice(WORDS) for _ in range(5))
        if i % 10 == 3:
            title = f"<i>{title}</i> with <mml:math><mml:mi>n</mml:mi><mml:mo>&gt;</mml:mo><mml:mn>2</mml:mn></mml:math> Firms"
        work = {
            "DOI": f"10.5555/{issn.lower()}.{i:04d}",
            "type": "journal-article",
            "created": {"date-parts": [[created.year, created.month, created.day]],
                        "date-time": f"{created.isoformat()}T09:00:00Z", "timestamp": 1793523600000 + i},
            "title": [title],
            "author": [{"given": rng.choice(WORDS), "family": rng.choice(WORDS) + "son", "sequence": "first",
                        "affiliation": []} for _ in range(1 + i % 3)],
            "container-title": [f"Journal {issn}"],
            "ISSN": [issn],
            "published-online": {"date-parts": [[created.year, created.month, created.day]]},
            "issued": {"date-parts": [[2026, 12]]},
        }
        if i % 2:
            work["volume"] = str(100 + i % 7)
        if i % 20 == 19:
            work["title"] = [f"Correction to: {title}"]
            work["update-to"] = [{"DOI": f"10.5555/{issn.lower()}.{i - 1:04d}", "type": "correction",
                                  "label": "Correction", "updated": {"date-parts": [[2026, 11, 2]]}}]
        works.append(work)
    return works


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        self.server.requests += 1
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
        filters = query.get("filter", [""])[0].split(",")
        issns = [f[5:] for f in filters if f.startswith("issn:")]
        rows = int(query.get("rows", ["20"])[0])
        cursor = query.get("cursor", ["*"])[0]
        start = 0 if cursor == "*" else int(cursor.split("-")[1])
        since = [f[len("from-created-date:"):] for f in filters if f.startswith("from-created-date:")]
        items = [w for issn in issns for w in works_of(issn, self.server.per_issn)
                 if not since or w["created"]["date-time"][:10] >= since[0]]
        page = items[start:start + rows]
        body = json.dumps({"status": "ok", "message-type": "work-list", "message-version": "1.0.0",
                           "message": {"facets": {}, "next-cursor": f"page-{start + rows}",
                                       "total-results": len(items), "items": page, "items-per-page": rows,
                                       "query": {"start-index": 0, "search-terms": None}}}).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.server.bytes += len(body)
        print(f"answered {time.time():.3f} {len(body)}", flush=True)

    def log_message(self, format, *args):
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--per-issn", type=int, default=12)
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    server.requests = 0
    server.bytes = 0
    server.per_issn = args.per_issn

    def stop(signum, frame):
        print(f"requests {server.requests} bytes {server.bytes}", flush=True)
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    print(f"serving on https://127.0.0.1:{args.port}/", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
