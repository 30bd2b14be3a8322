#!/usr/bin/env bash
# End-to-end check of the built-in source: the real program, built with no feed
# and with Crossref's address pointed at a loopback stand-in (and the test CA),
# asks the stand-in itself. Judged from outside: its standard output and the
# state it keeps under $XDG_STATE_HOME/Quillet/.
#
#   crossref_direct_test.sh QUILLET_BINARY FEED_SERVER PORT CROSSREF_ANSWER
set -uo pipefail

if [ $# -ne 4 ]; then
  echo "usage: $0 QUILLET_BINARY FEED_SERVER PORT CROSSREF_ANSWER" >&2
  exit 2
fi
binary=$1
feed_server=$2
port=$3
answer=$4
repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/scripts/lib/processes.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-crossref-e2e.XXXXXX")
server_pid='' app_pid='' other_pid=''

cleanup() {
  stop "$other_pid"
  stop "$app_pid"
  stop "$server_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

finish() {
  if [ "$failed" -gt 0 ]; then
    for log in "$work"/*.out "$work"/*.err; do
      echo "--- ${log#"$work"/}"
      cat "$log"
    done
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

# Runs the program as user NAME (its own home, state and runtime folders);
# its output goes to NAME.out. Sets launched_pid.
launch() { # name
  local home="$work/$1"
  mkdir -p "$home/config" "$home/state" "$home/runtime"
  chmod 700 "$home/runtime"
  HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" \
    XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen \
    "$binary" >"$work/$1.out" 2>"$work/$1.err" &
  launched_pid=$!
}
logged() { grep -Eq "$2" "$work/$1.out"; }
# The line number of the first line matching PATTERN in NAME.out (0 if none).
first_line() { grep -Enm1 "$2" "$work/$1.out" | cut -d: -f1 || true; }
kept() { # state file: how many papers it keeps
  python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))["papers"]))' "$1" 2>/dev/null
}
state="$work/user/state/Quillet/papers.json"

# --- a new machine: titles from the stand-in, and a state written
start_feed_server "$feed_server" "$port" "$answer" "$work" || true
check "Crossref stand-in listens on 127.0.0.1:$port" test -n "$server_pid"
[ "$failed" -eq 0 ] || finish
launch user
app_pid=$launched_pid
wait_for 60 test -s "$state"
papers=$(kept "$state")
check "the first poll keeps the stand-in's papers (got ${papers:-none})" test "${papers:-0}" -gt 0
wait_for 10 logged user "^\[Quillet\] Loaded ${papers:-x} papers$"
check "the program logs \"Loaded $papers papers\"" logged user "^\[Quillet\] Loaded $papers papers$"
check "at most one earlier list handed over" test "$(grep -c '^\[Quillet\] Loaded ' "$work/user.out")" -le 2
check "the state records a successful poll" \
  python3 -c 'import json, sys; assert json.load(open(sys.argv[1]))["lastSuccess"]' "$state"
stop "$app_pid"
stop "$server_pid"
app_pid='' server_pid=''

# --- with nothing answering: a returning user sees the kept papers before any
# answer; a new machine shows nothing and retries the poll as a whole
mv "$work/user.out" "$work/first.out"
launch user
app_pid=$launched_pid
launch stranger
other_pid=$launched_pid
retried='^\[Quillet\] Retry 1/4 in 30s$'
wait_for 90 bash -c 'grep -q "Retry 1/4" "$1" && grep -q "Retry 1/4" "$2"' _ "$work/user.out" "$work/stranger.out"
check "the kept papers are shown: \"Loaded $papers papers\"" logged user "^\[Quillet\] Loaded $papers papers$"
shown=$(first_line user '^\[Quillet\] Loaded ')
failure=$(first_line user '^\[Quillet\] Fetch error: ')
check "before the failed poll's line (lines ${shown:-none} and ${failure:-none})" \
  test "${shown:-99}" -lt "${failure:-0}"
check "the failed poll retries in 30 s" logged user "$retried"
check "a new machine logs a fetch error" logged stranger '^\[Quillet\] Fetch error: '
check "and retries the poll in 30 s" logged stranger "$retried"
check "and loads nothing" bash -c '! grep -q "^\[Quillet\] Loaded " "$1"' _ "$work/stranger.out"
check "no state written for a poll that reached no one" test ! -e "$work/stranger/state/Quillet/papers.json"
stop "$other_pid"
stop "$app_pid"
other_pid='' app_pid=''

# --- a corrupt state starts afresh
printf '{"papers": [{"doi": ' >"$state"
start_feed_server "$feed_server" "$port" "$answer" "$work" || true
mv "$work/user.out" "$work/second.out"
launch user
app_pid=$launched_pid
wait_for 60 logged user "^\[Quillet\] Loaded $papers papers$"
check "a corrupt state is reported in one line" \
  test "$(grep -c '^\[Quillet\] Kept papers unreadable, starting afresh: ' "$work/user.out")" -eq 1
check "and the poll loads \"Loaded $papers papers\"" logged user "^\[Quillet\] Loaded $papers papers$"
wait_for 10 bash -c 'test "$(python3 -c "import json,sys; print(len(json.load(open(sys.argv[1]))[\"papers\"]))" "$1" 2>/dev/null)" = "$2"' _ "$state" "$papers"
check "the state is whole again" test "$(kept "$state")" = "$papers"
check "program still running" kill -0 "$app_pid"
finish
