#!/usr/bin/env bash
# End-to-end launch check: the real program, built against
# https://127.0.0.1:PORT/ and the test CA, runs on a private Xvfb against a
# loopback feed of three papers. It is judged only from outside: its standard
# output, and the X server's view of its window.
#
#   launch_test.sh QUILLET_BINARY FEED_SERVER PORT FEED_FILE   (as ctest runs it)
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

require_tools Xvfb xdotool trayer xprop xwininfo xdpyinfo import identify

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-e2e.XXXXXX")
xvfb_pid='' server_pid='' app_pid='' tray_pid=''

cleanup() {
  stop "$tray_pid"
  stop "$app_pid"
  stop "$server_pid"
  stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

finish() {
  if [ "$failed" -gt 0 ]; then
    echo "--- program stdout"
    cat "$work/app.out" 2>/dev/null
    echo "--- program stderr"
    cat "$work/app.err" 2>/dev/null
    echo "--- feed server stderr"
    cat "$work/server.err" 2>/dev/null
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

# --- a private X server on the first free display from :91 up
display=''
start_xvfb 91 99 "$work/xvfb.log" || true
check "Xvfb answers on a free display (${display:-none})" test -n "$display"
[ -n "$display" ] || finish
export DISPLAY=$display

# --- the feed. The program's URL, and so the port, is fixed at build time: a
# run of this test from another build tree may hold it. Keep trying until the
# port is ours, rather than fail on a neighbour.
start_feed_server "$feed_server" "$port" "$feed" "$work" || true
check "feed server listens on 127.0.0.1:$port" test -n "$server_pid"
[ "$failed" -eq 0 ] || finish

# --- the program, with preferences in a fresh directory so the user's own
# (a changed ticker width, say) can neither skew nor be touched by the test
mkdir -p "$work/home" "$work/config" "$work/cache" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
  XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
  QT_QPA_PLATFORM=xcb \
  "$binary" >"$work/app.out" 2>"$work/app.err" &
app_pid=$!

app_alive() { kill -0 "$app_pid" 2>/dev/null; }
has_line() { grep -Fxq -- "$1" "$work/app.out"; }
# Waits for a line, giving up at once if the program has exited.
wait_line() { wait_for 20 bash -c 'grep -Fxq -- "$1" "$2" || ! kill -0 "$3" 2>/dev/null' _ "$1" "$work/app.out" "$app_pid" && has_line "$1"; }

check "launch line printed: $launch_line" wait_line "$launch_line"
check "[Quillet] Loaded 3 papers printed" wait_line "[Quillet] Loaded 3 papers"

launch_count=$(grep -c '^\[Quillet\] App launched' "$work/app.out")
check "launch line printed once (got $launch_count)" test "$launch_count" -eq 1
# Bytes, not characters: the dash must be U+2014 as UTF-8 and nothing may trail.
launch_bytes=$(grep -m1 '^\[Quillet\] App launched' "$work/app.out" | LC_ALL=C awk '{ print length($0) }')
check "launch line is 47 bytes before the newline (got ${launch_bytes:-none})" test "${launch_bytes:-0}" -eq 47
first_line=$(head -n 1 "$work/app.out")
check "launch line is the first line of output" test "$first_line" = "$launch_line"
check "no fetch or decode error reported" bash -c '! grep -Eq "^\[Quillet\] (Fetch|Decode) error" "$1"' _ "$work/app.out"
check "program still running" app_alive

# --- the strip, as the X server sees it
find_strip() { xdotool search --onlyvisible --name '^Quillet$' 2>/dev/null >"$work/windows" && [ -s "$work/windows" ]; }
wait_for 10 find_strip
window_count=$(grep -c . "$work/windows")
check "exactly one visible window named Quillet (got $window_count)" test "$window_count" -eq 1
window=$(head -n 1 "$work/windows")
if [ -z "$window" ]; then
  finish
fi

screen_width=$(xwininfo -root | awk '/^ *Width:/ { print $2 }')
geometry() { # "x y width height" of the strip, in root coordinates
  xwininfo -id "$window" | awk '
    /Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 }
    END { print x, y, w, h }'
}
# The window is placed before it is mapped; allow only for the server to catch up.
at_top_right() {
  read -r x y w h < <(geometry)
  [ "$w" = 200 ] && [ "$h" = 22 ] && [ "$((x + w))" = "$screen_width" ] && [ "$y" = 0 ]
}
wait_for 5 at_top_right
read -r x y w h < <(geometry)
check "strip is 200x22 (got ${w}x${h})" test "$w" = 200 -a "$h" = 22
check "strip's right edge is the screen's (x + width = $((x + w)), screen width $screen_width)" \
  test "$((x + w))" = "$screen_width"
check "strip is at the top (y = $y)" test "$y" = 0

net_wm_state=$(xprop -id "$window" _NET_WM_STATE)
check "_NET_WM_STATE has _NET_WM_STATE_SKIP_TASKBAR ($net_wm_state)" \
  grep -q '_NET_WM_STATE_SKIP_TASKBAR\b' <<<"$net_wm_state"

# --- something is drawn, and it moves
grab() { import -display "$DISPLAY" -window "$window" "$1" 2>/dev/null; }
colours() { identify -format '%k' "$1" 2>/dev/null; }
has_text() { grab "$work/strip-1.png" && [ "$(colours "$work/strip-1.png")" -gt 2 ]; }
check "strip shows text" wait_for 10 has_text
# %# is a digest of the pixels alone, so PNG metadata such as timestamps cannot differ.
pixels() { identify -format '%#' "$1" 2>/dev/null; }
moved() { grab "$work/strip-2.png" && [ "$(pixels "$work/strip-1.png")" != "$(pixels "$work/strip-2.png")" ]; }
check "strip's text scrolls" wait_for 10 moved

check "program still running" app_alive

# --- a tray that starts after the program, as at login, gets its icon
trayer --edge top --align left --widthtype pixel --width 100 --heighttype pixel --height 22 \
  >"$work/trayer.out" 2>&1 &
tray_pid=$!
icon_docked() { # a window of the program's inside the tray's window tree
  local tray id
  for tray in $(xdotool search --pid "$tray_pid" 2>/dev/null); do
    for id in $(xwininfo -tree -id "$tray" 2>/dev/null | awk '/^ +0x/ { print $1 }'); do
      xprop -id "$id" _NET_WM_PID 2>/dev/null | grep -q "= $app_pid\$" && return 0
    done
  done
  return 1
}
# The program looks for a tray every 10 seconds.
check "the tray icon appears once a tray starts" wait_for 25 icon_docked
stop "$tray_pid"
tray_pid=''

# --- clicking the strip opens the menu under it; choosing "Quit Quillet" ends the program
below() { import -display "$DISPLAY" -window root -crop "240x120+$((x - 40))+$h" "$1" 2>/dev/null; }
below "$work/below-closed.png"
xdotool mousemove --sync "$((x + w / 2))" "$((y + h / 2))" click 1
menu_open() { below "$work/below-open.png" && [ "$(pixels "$work/below-closed.png")" != "$(pixels "$work/below-open.png")" ]; }
check "clicking the strip opens a menu under it" wait_for 5 menu_open
# From no selection, Up selects the menu's last item, which is "Quit Quillet".
xdotool key Up Return
exited() { ! app_alive; }
check "choosing the menu's last item ends the program" wait_for 10 exited
wait "$app_pid"
status=$?
app_pid=''
check "the program's exit status is 0 (got $status)" test "$status" -eq 0
finish
