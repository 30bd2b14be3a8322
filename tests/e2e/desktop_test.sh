#!/usr/bin/env bash
# End-to-end run on a real desktop: Xvfb, a private session bus, Xfce (the
# xfwm4 window manager and xfce4-panel with its default layout, a panel at the
# top with a D-Bus tray; tests/e2e/lib/xfce.sh), and the program built against https://127.0.0.1:PORT/
# and the test CA, under a dark GTK theme. Judged from outside, as the desktop,
# a tray host and a screen reader see it; then once more under a light theme,
# ended through the tray's menu.
#
#   desktop_test.sh QUILLET_BINARY FEED_SERVER PORT FEED_FILE
#
# With QUILLET_E2E_SHOTS set to a folder, its screenshots are kept there.
set -uo pipefail

if [ $# -ne 4 ]; then
  echo "usage: $0 QUILLET_BINARY FEED_SERVER PORT FEED_FILE" >&2
  exit 2
fi
binary=$1
feed_server=$2
port=$3
feed=$4
data=$(dirname "$feed")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/processes.sh"
source "$here/lib/session.sh"
source "$here/lib/x11_windows.sh"
source "$here/lib/strip.sh"
source "$here/lib/xfce.sh"
# The checkers use Debian's python3-dbus and python3-pyatspi, which only the
# system's interpreter has.
python=/usr/bin/python3

require_tools Xvfb dbus-daemon dbus-send "${xfce_tools[@]}" xdotool xprop xwininfo xdpyinfo \
  xmessage wmctrl import convert identify "$python"
if ! "$python" -c 'import dbus, pyatspi' 2>/dev/null; then
  echo "FAIL: python3-dbus and python3-pyatspi are not installed (bash scripts/install-deps.sh)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-desktop.XXXXXX")
xvfb_pid='' server_pid='' app_pid=''

cleanup() {
  if [ -n "${QUILLET_E2E_SHOTS:-}" ]; then
    mkdir -p "$QUILLET_E2E_SHOTS" && cp "$work"/*.png "$QUILLET_E2E_SHOTS"/ 2>/dev/null
  fi
  stop "$app_pid"
  stop "$server_pid"
  end_session # the desktop, the bus and the services it started (xfconfd, the accessibility bus)
  stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

finish() {
  if [ "$failed" -gt 0 ]; then
    for log in app.out app.err panel.log wm.log server.err; do
      echo "--- $log"
      cat "$work/$log" 2>/dev/null
    done
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

# --- a session as a desktop login gives one: display, bus, folders of its own
display=''
start_xvfb 81 89 "$work/xvfb.log" || true
check "Xvfb answers on a free display (${display:-none})" test -n "$display"
[ -n "$display" ] || finish
export DISPLAY=$display
begin_session "$work" XFCE
check "a private session bus starts" start_session_bus "$work"
[ "$failed" -eq 0 ] && start_xfce "$work"
[ "$failed" -eq 0 ] || finish
# The free area the panel leaves, before the strip takes its own place in it.
read -r wa_x wa_y wa_w _ < <(workarea)

start_feed_server "$feed_server" "$port" "$feed" "$work" || true
check "feed server listens on 127.0.0.1:$port" test -n "$server_pid"
[ "$failed" -eq 0 ] || finish

# --- the program, under a dark GTK theme, visible to screen readers as with
# one running (Qt asks the accessibility bus whether one is)
start_program "$work" "$binary" GTK_THEME=Adwaita:dark QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
check "launch line printed" wait_line "$launch_line"
check "[Quillet] Loaded 3 papers printed" wait_line "[Quillet] Loaded 3 papers"

# --- the strip: at the top right of the area the panel leaves free, above all
check_strip_in_place "$wa_x" "$wa_y" "$wa_w" || finish
# Its place is its own: maximised windows keep their title bars out from under it.
check_maximised_clear_of "$x" "$y" "$w" "$h"

check_stays_above "$window" "$x" "$y"
check_on_every_desktop "$window"

# --- light or dark as the desktop is: the strip's background follows the theme
check "the strip shows text" wait_for 10 painted "$window" "$work/strip-dark.png"
shade=$(brightness "$work/strip-dark.png")
check "the strip is dark under a dark GTK theme (background brightness ${shade:-none} of 255)" \
  test "${shade:-255}" -lt 100

# --- the tray: registered with the watcher, its exported menu whole
items=("Journal Filters..." "Width:" "Speed:" "↻ Refresh Now" "Launch at Login" "Quit Quillet")
check "the tray item registers and exports every menu entry, none blank" \
  "$python" "$here/tray_menu_check.py" "$app_pid" "${items[@]}" --click 'Width:>300'
# The width chosen in the tray's submenu reaches the strip, which keeps its corner.
widened() { read -r x y w h < <(window_geometry "$window") && [ "$w" = 300 ] && [ "$((x + w))" = "$((wa_x + wa_w))" ]; }
check "choosing 300 in the tray's Width submenu widens the strip in place" wait_for 5 widened
# The menu paused the ticker while the tray showed it; closing it resumes.
check "the strip scrolls again once the tray's menu closes" scrolls "$window" "$work"

check_host_menu_pauses "$here/tray_menu_check.py" "$work"

# --- a screen reader's view: the strip as a button, and the menu it opens
check "over AT-SPI the strip is a button named after a title" \
  "$python" "$here/atspi_check.py" strip "$data/e2e-feed.json"
check "over AT-SPI pressing it opens a menu holding every item, all named" \
  "$python" "$here/atspi_check.py" menu "${items[@]}"
import -display "$DISPLAY" -window root -crop "800x320+$((wa_x + wa_w - 800))+0" +repage "$work/menu-dark.png" 2>/dev/null
xdotool key Escape

check "program still running" app_alive

# --- and light under a light theme: the same build follows the desktop
stop "$app_pid"
start_program "$work" "$binary" GTK_THEME=Adwaita QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
check "restarted under a light GTK theme" wait_line "[Quillet] Loaded 3 papers"
wait_for 10 find_window Quillet
window=$window_id
check "the restarted strip shows text" wait_for 10 painted "$window" "$work/strip-light.png"
shade=$(brightness "$work/strip-light.png")
check "the strip is light under a light GTK theme (background brightness ${shade:-none} of 255)" \
  test "${shade:-0}" -gt 150

# --- "Quit Quillet" chosen in the tray's menu ends the program cleanly
check "the tray's Quit Quillet entry is there to click" \
  "$python" "$here/tray_menu_check.py" "$app_pid" --click "Quit Quillet"
exited() { ! app_alive; }
check "choosing it ends the program" wait_for 10 exited
wait "$app_pid"
status=$?
app_pid=''
check "the program's exit status is 0 (got $status)" test "$status" -eq 0
finish
