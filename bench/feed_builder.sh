#!/usr/bin/env bash
# The feed builder's full build: every journal of feed/sources.json against
# recorded answers from a loopback Crossref stand-in (crossref_stub.py), with a
# fresh state each run and no pause between requests (--interval 0), so the
# figure is the builder's own cost. Reports, per run and as medians: requests
# made, wall time, peak RSS. Target: at most 20 requests for all journals.
#
#   bash bench/feed_builder.sh [--runs 3] [--per-issn 12] [--build build/release]
set -euo pipefail

runs=3
per_issn=12
build=build/release
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --per-issn) per_issn=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--per-issn N] [--build DIR]" >&2; exit 2 ;;
  esac
done

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
source scripts/lib/processes.sh
port=48443
work=$(mktemp -d /tmp/quillet-feed-bench.XXXXXX)
stub_pid=''
cleanup() {
  stop "$stub_pid"
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$build" = build/release ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target quillet-feed >/dev/null
fi
builder=$build/src/builder/quillet-feed

python3 bench/crossref_stub.py --port "$port" --per-issn "$per_issn" \
  --cert tests/data/tls/server.pem --key tests/data/tls/server.key >"$work/stub.out" 2>"$work/stub.err" &
stub_pid=$!
wait_for 20 grep -Fxq "serving on https://127.0.0.1:$port/" "$work/stub.out" \
  || { cat "$work/stub.err" >&2; exit 1; }

echo "quillet-feed full build: $(grep -c '"label"' feed/sources.json) labels, $per_issn works per ISSN, $(nproc) CPUs, commit $(git rev-parse --short HEAD)"
printf '%-5s %9s %9s %12s %8s\n' run requests wall_s peak_rss_MiB papers
for run in $(seq "$runs"); do
  rm -f "$work/state.json" "$work/papers.json"
  /usr/bin/time -f '%e %M' -o "$work/time" "$builder" --sources feed/sources.json \
    --state "$work/state.json" --out "$work/papers.json" --mailto bench@example.org \
    --api "https://127.0.0.1:$port/" --ca tests/data/tls/ca.pem --interval 0 2>"$work/run.err" \
    || { cat "$work/run.err" >&2; exit 1; }
  requests=$(sed -n 's/.* \([0-9]*\) requests.*/\1/p' "$work/run.err" | tail -n 1)
  read -r wall rss_kib <"$work/time"
  papers=$(python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))["papers"]))' "$work/papers.json")
  printf '%-5s %9s %9s %12.1f %8s\n' "$run" "$requests" "$wall" "$(awk -v k="$rss_kib" 'BEGIN { print k / 1024 }')" "$papers" \
    | tee -a "$work/rows"
done
median() { # column of the rows file
  awk -v c="$1" '{ print $c }' "$work/rows" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
echo "median of $runs: $(median 2) requests, $(median 3) s wall, $(median 4) MiB peak RSS (target: at most 20 requests)"
