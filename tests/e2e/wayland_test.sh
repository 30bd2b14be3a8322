#!/usr/bin/env bash
# End-to-end check of the program on a Wayland desktop: a headless Weston with
# XWayland on a private runtime directory, and a loopback feed of three papers
# on https://127.0.0.1:PORT/, which the program is built against. Nothing sets
# QT_QPA_PLATFORM: the program picks its platform itself.
#
# 1. Wayland with XWayland: the strip must be an X window on XWayland, asking
#    for the top right. Weston's own X window manager places it where it likes
#    and rewrites _NET_WM_STATE, so the placement is checked as the program
#    asks for it (WM_NORMAL_HINTS), not as Weston shows it.
# 2. Wayland alone (WAYLAND_DISPLAY, no DISPLAY): the strip must be a Wayland
#    window, wherever Weston puts it.
# 3. DISPLAY naming an X server that does not answer: the program must still
#    come up, on Wayland.
#
#   wayland_test.sh QUILLET_BINARY FEED_SERVER PORT FEED_FILE   (as ctest runs it)
set -uo pipefail

if [ $# -ne 4 ]; then
  echo "usage: $0 QUILLET_BINARY FEED_SERVER PORT FEED_FILE" >&2
  exit 2
fi
binary=$1
feed_server=$2
port=$3
feed=$4
repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/scripts/lib/processes.sh"
socket=quillet-wayland

require_tools weston Xwayland weston-debug weston-screenshooter xdotool xprop xwininfo xdpyinfo \
  import identify convert

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-wayland.XXXXXX")
runtime=$work/runtime
mkdir -p "$runtime" "$work/home" "$work/config" "$work/cache" "$work/data"
chmod 700 "$runtime"
weston_pid='' server_pid='' app_pid=''

cleanup() {
  stop "$app_pid"
  stop "$server_pid"
  stop "$weston_pid" # takes XWayland and its own clients with it
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

run=''
finish() {
  if [ "$failed" -gt 0 ]; then
    for f in "$work"/*.out "$work"/*.err "$work/weston.log"; do
      [ -e "$f" ] || continue
      echo "--- ${f#"$work"/}"
      cat "$f"
    done
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

# Clients of the test's Weston, never of the desktop the test may run in.
on_weston() { env XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" "$@"; }

# --- Weston. Its XWayland takes the first free X display and starts on the
# first X client; the display is known from the log.
HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$runtime" \
  weston --backend=headless-backend.so --use-pixman --xwayland --debug --no-config \
  --socket="$socket" --width=1280 --height=800 --idle-time=0 --log="$work/weston.log" \
  >"$work/weston.out" 2>"$work/weston.err" &
weston_pid=$!
weston_alive() { kill -0 "$weston_pid" 2>/dev/null; }
weston_ready() {
  [ -S "$runtime/$socket" ] && grep -q 'xserver listening on display :[0-9]*$' "$work/weston.log"
}
wait_for 20 bash -c '! kill -0 "$1" 2>/dev/null || { [ -S "$2" ] && grep -q "xserver listening" "$3"; }' \
  _ "$weston_pid" "$runtime/$socket" "$work/weston.log"
check "headless Weston with XWayland starts" weston_ready
weston_ready || finish
xdisplay=$(sed -n 's/.*xserver listening on display \(:[0-9]*\)$/\1/p' "$work/weston.log" | tail -n 1)
xwayland_answers() { xdpyinfo -display "$xdisplay" >/dev/null 2>&1; }
check "XWayland answers on $xdisplay" wait_for 20 xwayland_answers
[ "$failed" -eq 0 ] || finish

start_feed_server "$feed_server" "$port" "$feed" "$work" || true
check "feed server listens on 127.0.0.1:$port" test -n "$server_pid"
[ "$failed" -eq 0 ] || finish

# --- helpers for each run of the program
start_app() { # name, then environment settings for the program
  run=$1
  shift
  env -u QT_QPA_PLATFORM -u DISPLAY -u XDG_SESSION_TYPE \
    HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
    XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" "$@" \
    "$binary" >"$work/$run.out" 2>"$work/$run.err" &
  app_pid=$!
}
app_alive() { kill -0 "$app_pid" 2>/dev/null; }
has_line() { grep -Fxq -- "$1" "$work/$run.out"; }
# Waits for a line, giving up at once if the program has exited.
wait_line() {
  wait_for 20 bash -c 'grep -Fxq -- "$1" "$2" || ! kill -0 "$3" 2>/dev/null' \
    _ "$1" "$work/$run.out" "$app_pid" && has_line "$1"
}
check_launch() {
  check "$run: launch line printed" wait_line "$launch_line"
  check "$run: [Quillet] Loaded 3 papers printed" wait_line "[Quillet] Loaded 3 papers"
  local first
  first=$(head -n 1 "$work/$run.out")
  check "$run: launch line is the first line of output" test "$first" = "$launch_line"
  check "$run: launch line printed once" test "$(grep -c '^\[Quillet\] App launched' "$work/$run.out")" -eq 1
}
# SIGTERM is the session ending: the program must go at once, by that signal
# (status 143) and not by a crash on the way out, and leave the compositor be.
check_sigterm() {
  kill -TERM "$app_pid"
  exited() { ! app_alive; }
  check "$run: SIGTERM ends the program" wait_for 10 exited
  wait "$app_pid"
  local status=$?
  app_pid=''
  check "$run: it ended by SIGTERM (status $status)" test "$status" -eq 143
  check "$run: Weston still runs" weston_alive
}

# The program's own Wayland window as Weston shows it: "x y width height",
# nothing when it has none.
scene_ok() { on_weston weston-debug scene-graph >"$work/scene" 2>/dev/null && grep -q '^Output 0' "$work/scene"; }
wayland_view() {
  awk -v pid="$app_pid" '
    /^\tView / { mine = index($0, "role xdg_toplevel, PID " pid ",") > 0 }
    mine && /position:/ { gsub(/[(),]/, " "); print $2, $3, $5 - $2, $6 - $3; exit }' "$work/scene"
}
has_wayland_view() { scene_ok && [ -n "$(wayland_view)" ]; }
pixels() { identify -format '%#' "$1" 2>/dev/null; }
colours() { identify -format '%k' "$1" 2>/dev/null; }
# The strip's rectangle of the whole output, as Weston renders it.
shoot_strip() { # output file
  local dir
  dir=$(mktemp -d "$work/shot.XXXXXX")
  (cd "$dir" && on_weston weston-screenshooter >/dev/null 2>&1) || return 1
  convert "$dir"/*.png -crop "${vw}x${vh}+${vx}+${vy}" +repage "$1" 2>/dev/null
}
check_wayland_strip() {
  check "$run: the strip is a Wayland window of the program's own" wait_for 10 has_wayland_view
  read -r vx vy vw vh < <(wayland_view)
  check "$run: the strip is 200x22 (got ${vw:-?}x${vh:-?})" test "${vw:-0}" = 200 -a "${vh:-0}" = 22
  [ -n "${vx:-}" ] || return
  has_text() { shoot_strip "$work/$run-1.png" && [ "$(colours "$work/$run-1.png")" -gt 2 ]; }
  check "$run: strip shows text" wait_for 10 has_text
  moved() { shoot_strip "$work/$run-2.png" && [ "$(pixels "$work/$run-1.png")" != "$(pixels "$work/$run-2.png")" ]; }
  check "$run: strip's text scrolls" wait_for 10 moved
}

# --- 1. Wayland with XWayland
start_app xwayland XDG_SESSION_TYPE=wayland DISPLAY="$xdisplay"
check_launch
export DISPLAY=$xdisplay
find_strip() {
  xdotool search --onlyvisible --name '^Quillet$' 2>/dev/null >"$work/windows" && [ -s "$work/windows" ]
}
check "xwayland: a visible X window named Quillet on $xdisplay" wait_for 10 find_strip
window=$(head -n 1 "$work/windows")
if [ -n "$window" ]; then
  window_pid=$(xprop -id "$window" _NET_WM_PID | awk '{ print $NF }')
  check "xwayland: it is the program's (_NET_WM_PID $window_pid, program $app_pid)" \
    test "$window_pid" = "$app_pid"
  read -r w h < <(xwininfo -id "$window" | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w, h }')
  check "xwayland: the strip is 200x22 (got ${w}x${h})" test "$w" = 200 -a "$h" = 22
  screen_width=$(xwininfo -root | awk '/^ *Width:/ { print $2 }')
  hints=$(xprop -id "$window" WM_NORMAL_HINTS)
  check "xwayland: it asks for the top right ($((screen_width - 200)), 0 on a $screen_width-wide screen)" \
    grep -q "user specified location: $((screen_width - 200)), 0$" <<<"$hints"
  grab() { import -display "$DISPLAY" -window "$window" "$1" 2>/dev/null; }
  x_text() { grab "$work/xwayland-1.png" && [ "$(colours "$work/xwayland-1.png")" -gt 2 ]; }
  check "xwayland: strip shows text" wait_for 10 x_text
  x_moved() { grab "$work/xwayland-2.png" && [ "$(pixels "$work/xwayland-1.png")" != "$(pixels "$work/xwayland-2.png")" ]; }
  check "xwayland: strip's text scrolls" wait_for 10 x_moved
fi
no_wayland_view() { scene_ok && [ -z "$(wayland_view)" ]; }
check "xwayland: the program has no Wayland window of its own" no_wayland_view
check "xwayland: program still running" app_alive
check_sigterm
check "xwayland: XWayland still answers" xwayland_answers
unset DISPLAY

# --- 2. Wayland alone
start_app wayland
check_launch
check_wayland_strip
check "wayland: program still running" app_alive
check_sigterm

# --- 3. an X display that does not answer
dead=4711
while [ -e "/tmp/.X11-unix/X$dead" ] || [ -e "/tmp/.X$dead-lock" ]; do
  dead=$((dead + 1))
done
no_x_server() { ! xdpyinfo -display ":$dead" >/dev/null 2>&1; }
check "no X server answers on :$dead" no_x_server
start_app dead-x XDG_SESSION_TYPE=wayland DISPLAY=":$dead"
check_launch
check_wayland_strip
check "dead-x: program still running" app_alive
check_sigterm

finish
