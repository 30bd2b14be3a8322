#!/usr/bin/env bash
# End-to-end run on KDE Plasma 5 (X11): Xvfb, a private session bus, kwin_x11
# and plasmashell with the panel at the bottom (tests/e2e/lib/plasma.sh),
# under the Breeze Dark colour scheme, and the program built against
# https://127.0.0.1:PORT/ and the test CA. Judged from outside: the strip's
# place and colours, a maximised window beside it, the tray item's menu.
#
#   plasma_test.sh QUILLET_BINARY FEED_SERVER PORT FEED_FILE
set -uo pipefail

if [ $# -ne 4 ]; then
  echo "usage: $0 QUILLET_BINARY FEED_SERVER PORT FEED_FILE" >&2
  exit 2
fi
binary=$1
feed_server=$2
port=$3
feed=$4
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/processes.sh"
source "$here/lib/session.sh"
source "$here/lib/x11_windows.sh"
source "$here/lib/strip.sh"
source "$here/lib/plasma.sh"
# The tray checker uses Debian's python3-dbus, which only the system's interpreter has.
python=/usr/bin/python3

require_tools Xvfb dbus-daemon dbus-send dbus-update-activation-environment "${plasma_tools[@]}" xdotool xprop xwininfo xdpyinfo \
  xmessage wmctrl import convert identify "$python"
if ! "$python" -c 'import dbus' 2>/dev/null; then
  echo "FAIL: python3-dbus is not installed (bash scripts/install-deps.sh)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-plasma.XXXXXX")
xvfb_pid='' server_pid='' app_pid=''

cleanup() {
  stop "$app_pid"
  stop "$server_pid"
  end_session # kwin, plasmashell, the bus and what it started (kded5, kactivitymanagerd, ...)
  stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

finish() {
  if [ "$failed" -gt 0 ]; then
    for log in app.out app.err kwin.log plasma.log server.err; do
      echo "--- $log"
      tail -n 40 "$work/$log" 2>/dev/null
    done
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

# --- the desktop, as a Plasma login starts it
display=''
start_xvfb 101 109 "$work/xvfb.log" || true
check "Xvfb answers on a free display (${display:-none})" test -n "$display"
[ -n "$display" ] || finish
export DISPLAY=$display
begin_session "$work" KDE
check "a private session bus starts" start_session_bus "$work"
[ "$failed" -eq 0 ] && start_plasma "$work" BreezeDark
[ "$failed" -eq 0 ] || finish
# The free area the panel leaves, before the strip takes its own place in it.
read -r wa_x wa_y wa_w _ < <(workarea)

start_feed_server "$feed_server" "$port" "$feed" "$work" || true
check "feed server listens on 127.0.0.1:$port" test -n "$server_pid"
[ "$failed" -eq 0 ] || finish

start_program "$work" "$binary"
check "launch line printed" wait_line "$launch_line"
check "[Quillet] Loaded 3 papers printed" wait_line "[Quillet] Loaded 3 papers"

# --- the strip: at the top right, its place its own, moving, in Plasma's colours
check_strip_in_place "$wa_x" "$wa_y" "$wa_w" || finish
check_maximised_clear_of "$x" "$y" "$w" "$h"
check_stays_above "$window" "$x" "$y"
check_on_every_desktop "$window"
check "the strip shows text" wait_for 10 painted "$window" "$work/strip.png"
check "the strip scrolls" scrolls "$window" "$work"
shade=$(brightness "$work/strip.png")
check "the strip is dark under Breeze Dark (background brightness ${shade:-none} of 255)" \
  test "${shade:-255}" -lt 100

# --- the tray: registered with Plasma's watcher, its exported menu whole
items=("Journal Filters..." "Width:" "Speed:" "↻ Refresh Now" "Launch at Login" "Quit Quillet")
check "the tray item registers and exports every menu entry, none blank" \
  "$python" "$here/tray_menu_check.py" "$app_pid" "${items[@]}"
check_host_menu_pauses "$here/tray_menu_check.py" "$work"

check "program still running" app_alive
finish
