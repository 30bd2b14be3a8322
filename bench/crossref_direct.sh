#!/usr/bin/env bash
# Quillet's built-in Crossref source against the loopback stand-in
# (crossref_stub.py), at the program's own polite spacing (one request a
# second), on a private Xvfb. Per run, on a new machine: the requests of the
# first poll over every enabled journal (target: at most 14), the time from the
# stand-in's first answer to the first list handed over ("Loaded N papers";
# target: at most 5 s) and from start to it, and peak RSS (VmHWM) with the
# papers scrolling (target: at most 38 MiB with about 1 000 papers). Then a
# second start on that state, whose poll finds nothing new: its requests and
# the answer bytes (bodies, before TLS and HTTP framing). Beside it, as the
# baseline for RSS, the program built against a feed document holding the same
# papers (quillet_crossref_bench_feed). Medians at the end.
#
#   bash bench/crossref_direct.sh [--runs 3] [--per-issn 4] [--build build/release]
set -euo pipefail

runs=3
per_issn=4
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
require_tools Xvfb xdpyinfo
if [ "$build" = build/release ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target quillet_crossref_bench quillet_crossref_bench_feed \
    quillet_test_feed_server >/dev/null
fi
source "$build/quillet-env.sh" # feed_server and bench_port, from CMake
port=$((bench_port + 1)) # the stand-in's, compiled into the program
binary=$build/bench/quillet_crossref_bench
feed_binary=$build/bench/quillet_crossref_bench_feed
work=$(mktemp -d /tmp/quillet-crossref-bench.XXXXXX)
stub_pid='' app_pid='' xvfb_pid='' server_pid=''
cleanup() {
  stop "$app_pid"
  stop "$server_pid"
  stop "$stub_pid"
  stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT

start_xvfb 160 140 "$work/xvfb.log" || { echo "no free X display" >&2; exit 1; }
export DISPLAY=$display
python3 bench/crossref_stub.py --port "$port" --per-issn "$per_issn" \
  --cert tests/data/tls/server.pem --key tests/data/tls/server.key >"$work/stub.out" 2>"$work/stub.err" &
stub_pid=$!
wait_for 20 grep -Fxq "serving on https://127.0.0.1:$port/" "$work/stub.out" \
  || { cat "$work/stub.err" >&2; exit 1; }

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
answers() { grep -c '^answered ' "$work/stub.out" || true; }
# Waits for the program's first line matching PATTERN; prints the time it was seen.
seen() { # log pattern seconds
  local deadline=$((SECONDS + $3))
  until grep -Eq "$2" "$1"; do
    [ "$SECONDS" -lt "$deadline" ] || { echo "never: $2" >&2; cat "$1" >&2; exit 1; }
    kill -0 "$app_pid" 2>/dev/null || { echo "the program ended" >&2; cat "$1" >&2; exit 1; }
    sleep 0.02
  done
  now
}
launch() { # run state-folder log [program]
  mkdir -p "$work/config-$1" "$2"
  XDG_CONFIG_HOME="$work/config-$1" XDG_STATE_HOME="$2" "${4:-$binary}" >"$3" 2>&1 &
  app_pid=$!
}

echo "Crossref direct: $(grep -c '"label"' feed/sources.json) labels, $per_issn works per ISSN a fortnight, $(nproc) CPUs, commit $(git rev-parse --short HEAD)"
printf '%-4s %9s %14s %14s %8s %9s %13s %14s %13s\n' run requests answer_to_s start_to_s papers RSS_MiB again_requests again_bytes feed_RSS_MiB
for run in $(seq "$runs"); do
  state="$work/state-$run"
  log="$work/first-$run.log"
  before=$(answers)
  started=$(now)
  launch "$run" "$state" "$log"
  titled=$(seen "$log" '^\[Quillet\] Loaded [1-9][0-9]* papers$' 60)
  first_answer=$(grep '^answered ' "$work/stub.out" | sed -n "$((before + 1))p" | cut -d' ' -f2)
  wait_for 120 test -s "$state/Quillet/papers.json" || { echo "no state written" >&2; exit 1; }
  requests=$(($(answers) - before))
  papers=$(grep '^\[Quillet\] Loaded ' "$log" | tail -n1 | cut -d' ' -f3)
  sleep 5 # scrolling
  rss_kib=$(awk '/^VmHWM/ { print $2 }' "/proc/$app_pid/status")
  stop "$app_pid"

  # The same user again at once: the poll finds nothing new.
  before=$(answers)
  log="$work/again-$run.log"
  launch "$run" "$state" "$log"
  wait_for 60 bash -c '[ "$(cat "$1" 2>/dev/null | grep -c "^\[Quillet\] Loaded ")" -ge 2 ]' _ "$log" \
    || { echo "the second poll did not end" >&2; cat "$log" >&2; exit 1; }
  again=$(($(answers) - before))
  bytes=$(grep '^answered ' "$work/stub.out" | tail -n "$again" | awk '{ s += $3 } END { print s + 0 }')
  stop "$app_pid"

  # The baseline: the same papers from a feed document.
  python3 -c 'import json, sys; s = json.load(open(sys.argv[1]))
keys = ("title", "link", "journal", "tier", "author", "date")
json.dump({"papers": [{k: p[k] for k in keys} for p in s["papers"]]}, open(sys.argv[2], "w"))' \
    "$state/Quillet/papers.json" "$work/feed.json"
  start_feed_server "$feed_server" "$((bench_port + 2))" "$work/feed.json" "$work" \
    || { echo "feed server did not start" >&2; exit 1; }
  log="$work/feed-$run.log"
  launch "$run" "$work/feed-state-$run" "$log" "$feed_binary"
  seen "$log" "^\[Quillet\] Loaded $papers papers$" 60 >/dev/null
  sleep 5
  feed_rss_kib=$(awk '/^VmHWM/ { print $2 }' "/proc/$app_pid/status")
  stop "$app_pid"
  stop "$server_pid"
  app_pid='' server_pid=''
  printf '%-4s %9s %14.2f %14.2f %8s %9.1f %13s %14s %13.1f\n' "$run" "$requests" \
    "$(calc "$titled - $first_answer")" "$(calc "$titled - $started")" "$papers" \
    "$(calc "$rss_kib / 1024")" "$again" "$bytes" "$(calc "$feed_rss_kib / 1024")" \
    | tee -a "$work/rows"
done
median() { # column of the rows file
  awk -v c="$1" '{ print $c }' "$work/rows" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
echo "median of $runs: $(median 2) requests a poll (target <= 14), first answer to first title $(median 3) s (target <= 5)," \
  "start to first title $(median 4) s, $(median 5) papers, peak RSS $(median 6) MiB (target <= 38);" \
  "a poll with nothing new: $(median 7) requests, $(median 8) bytes; the same papers from a feed document: peak RSS $(median 9) MiB"
