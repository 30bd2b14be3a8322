#!/usr/bin/env bash
# Start-up checks on the real program, judged from outside: started with its
# standard streams closed, with no display or platform to reach, twice on one
# display, over locks that nobody alive holds, and with options meant for Qt.
# It runs offscreen with runtime and config folders of its own, so it needs no
# X server and no port.
#
#   startup_test.sh QUILLET_BINARY
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 QUILLET_BINARY" >&2
  exit 2
fi
binary=$1
repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/scripts/lib/processes.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-startup.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do stop "$pid"; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
mkdir -m 700 "$XDG_RUNTIME_DIR"

# --- closed standard streams: /dev/null takes their numbers before anything else can
fd_is_null() { [ "$(readlink "/proc/$1/fd/$2")" = /dev/null ]; }
"$binary" <&- >&- 2>&- &
pid=$!
pids+=("$pid")
for fd in 0 1 2; do
  check "started with descriptor $fd closed, it has /dev/null there" wait_for 10 fd_is_null "$pid" "$fd"
done
stop "$pid"

# --- no display: one line and status 1, not Qt's abort
no_display() { # QT_QPA_PLATFORM, then variables to set
  local platform=$1 status
  shift
  env -u DISPLAY -u WAYLAND_DISPLAY -u WAYLAND_SOCKET QT_QPA_PLATFORM="$platform" "$@" \
    timeout 20 "$binary" >"$work/none.out" 2>"$work/none.err"
  status=$?
  check "$platform ${*:-with nothing set}: exit status 1 (got $status)" test "$status" -eq 1
  check "$platform ${*:-with nothing set}: one line saying there is no display ($(head -c 200 "$work/none.out"))" \
    test "$(wc -l <"$work/none.out")" -eq 1 -a "$(grep -c '^\[Quillet\] No display to show the strip on: ' "$work/none.out")" -eq 1
}
no_display xcb DISPLAY=:4097
no_display xcb
no_display wayland WAYLAND_DISPLAY=quillet-nowhere
no_display bogus

# --- one strip per user and display
"$binary" >"$work/first.out" 2>"$work/first.err" &
first=$!
pids+=("$first")
check "the first start launches" wait_for 30 grep -qF "$launch_line" "$work/first.out"
timeout 20 "$binary" >"$work/second.out" 2>"$work/second.err"
status=$?
check "a second start ends with status 0 (got $status)" test "$status" -eq 0
check "a second start says so in one line ($(head -c 200 "$work/second.out"))" \
  test "$(cat "$work/second.out")" = "[Quillet] Already running on this display; this start ends here"
check "the first is still running" kill -0 "$first"
# Killed outright, the first leaves its lock behind: that lock must not count.
kill -KILL "$first"
wait "$first" 2>/dev/null
"$binary" >"$work/third.out" 2>"$work/third.err" &
pids+=("$!")
check "a start after the first was killed launches" wait_for 30 grep -qF "$launch_line" "$work/third.out"

stop "${pids[-1]}"

# --- only a lock whose owner is alive on this host blocks a start
lock=$XDG_RUNTIME_DIR/quillet-offscreen.lock
for kind in empty garbled elsewhere; do
  case $kind in
    empty) : >"$lock" ;;
    garbled) printf 'not a lock\n\001\002' >"$lock" ;;
    elsewhere) printf '%s\nquillet\nhost.elsewhere.invalid\n' "$$" >"$lock" ;;
  esac
  touch -d '1 minute ago' "$lock" # not one another start is writing this instant
  "$binary" >"$work/$kind.out" 2>"$work/$kind.err" &
  pids+=("$!")
  check "a start over a lock left $kind launches" wait_for 30 grep -qsF "$launch_line" "$work/$kind.out"
  stop "$!"
done

# --- Qt's options never reach it: with no display, "-platform xcb" would end the start
env -u DISPLAY -u WAYLAND_DISPLAY "$binary" -platform xcb >"$work/args.out" 2>"$work/args.err" &
pids+=("$!")
check "options on the command line are not Qt's to read" wait_for 30 grep -qsF "$launch_line" "$work/args.out"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
