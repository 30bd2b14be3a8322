#!/usr/bin/env bash
# End-to-end check with real papers: quillet-feed builds the feed document from
# recorded Crossref answers served on the loopback interface, and the real
# program, built against https://127.0.0.1:PORT/ and the test CA, is served
# that document and loads every paper in it. Judged from outside: exit codes,
# the files written and the program's standard output.
#
#   real_papers_test.sh QUILLET_FEED_BINARY QUILLET_BINARY FEED_SERVER PORT TEST_DATA_DIR
set -uo pipefail

if [ $# -ne 5 ]; then
  echo "usage: $0 QUILLET_FEED_BINARY QUILLET_BINARY FEED_SERVER PORT TEST_DATA_DIR" >&2
  exit 2
fi
builder=$1
binary=$2
feed_server=$3
feed_port=$4
data=$5
repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/scripts/lib/processes.sh"
crossref_port=$((feed_port + 1))

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-papers-e2e.XXXXXX")
mkdir -p "$work/crossref" "$work/feed"
crossref_pid='' feed_pid='' app_pid='' server_pid=''

cleanup() {
  stop "$app_pid"
  stop "$feed_pid"
  stop "$crossref_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

finish() {
  if [ "$failed" -gt 0 ]; then
    for log in builder.err app.out app.err crossref/server.err feed/server.err; do
      echo "--- $log"
      cat "$work/$log" 2>/dev/null
    done
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

# --- Crossref, as recorded: the same answer to every request
start_feed_server "$feed_server" "$crossref_port" "$data/crossref/works-markup.json" "$work/crossref" || true
crossref_pid=$server_pid
check "Crossref stand-in listens on 127.0.0.1:$crossref_port" test -n "$crossref_pid"
[ "$failed" -eq 0 ] || finish

# --- the builder
build() {
  "$builder" --sources "$data/crossref/sources.json" --state "$work/state.json" \
    --out "$work/feed.json" --mailto e2e@example.org --api "https://127.0.0.1:$crossref_port/" \
    --ca "$data/tls/ca.pem" --interval 0 2>>"$work/builder.err"
}
build
status=$?
check "quillet-feed exits 0 (got $status)" test "$status" -eq 0
papers=$(python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))["papers"]))' "$work/feed.json" 2>/dev/null)
check "the feed holds the six papers of the recorded answer (got ${papers:-none})" test "${papers:-0}" -eq 6
cp "$work/feed.json" "$work/feed.before"
build
status=$?
check "a second run exits 0 (got $status)" test "$status" -eq 0
check "a second run leaves the feed byte for byte" cmp -s "$work/feed.json" "$work/feed.before"
[ "$failed" -eq 0 ] || finish

# --- the program, served the builder's document
start_feed_server "$feed_server" "$feed_port" "$work/feed.json" "$work/feed" || true
feed_pid=$server_pid
check "feed server listens on 127.0.0.1:$feed_port" test -n "$feed_pid"
[ "$failed" -eq 0 ] || finish
mkdir -p "$work/home" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
  QT_QPA_PLATFORM=offscreen "$binary" >"$work/app.out" 2>"$work/app.err" &
app_pid=$!
loaded() { grep -Fxq "[Quillet] Loaded $papers papers" "$work/app.out" || ! kill -0 "$app_pid" 2>/dev/null; }
wait_for 30 loaded
check "the program logs \"Loaded $papers papers\"" grep -Fxq "[Quillet] Loaded $papers papers" "$work/app.out"
check "no fetch or decode error reported" bash -c '! grep -Eq "^\[Quillet\] (Fetch|Decode) error" "$1"' _ "$work/app.out"
check "program still running" kill -0 "$app_pid"
finish
