#!/usr/bin/env bash
# End-to-end run on a real desktop: Xvfb, a private session bus, the xfwm4
# window manager and xfce4-panel with its default layout (a panel at the top
# with a D-Bus tray), and the program built against https://127.0.0.1:PORT/
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
# The checkers use Debian's python3-dbus and python3-pyatspi, which only the
# system's interpreter has.
python=/usr/bin/python3

require_tools Xvfb dbus-daemon dbus-send xfwm4 xfce4-panel xdotool xprop xwininfo xdpyinfo \
  xmessage import convert identify "$python"
if ! "$python" -c 'import dbus, pyatspi' 2>/dev/null; then
  echo "FAIL: python3-dbus and python3-pyatspi are not installed (bash scripts/install-deps.sh)" >&2
  exit 1
fi
if [ ! -f /etc/xdg/xfce4/panel/default.xml ]; then
  echo "FAIL: xfce4-panel's default layout is missing" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-desktop.XXXXXX")
xvfb_pid='' bus_pid='' wm_pid='' panel_pid='' server_pid='' app_pid='' other_pid=''

cleanup() {
  if [ -n "${QUILLET_E2E_SHOTS:-}" ]; then
    mkdir -p "$QUILLET_E2E_SHOTS" && cp "$work"/*.png "$QUILLET_E2E_SHOTS"/ 2>/dev/null
  fi
  stop "$other_pid"
  stop "$app_pid"
  stop "$panel_pid"
  stop "$wm_pid"
  stop "$server_pid"
  stop "$bus_pid" # the services it started (xfconfd, the accessibility bus) leave with it
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
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache \
  XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/runtime XDG_CURRENT_DESKTOP=XFCE
unset SESSION_MANAGER
mkdir -p "$HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
cp /etc/xdg/xfce4/panel/default.xml "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"

dbus-daemon --session --nofork --print-address=3 3>"$work/bus.address" 2>"$work/bus.err" &
bus_pid=$!
check "a private session bus starts" wait_for 10 test -s "$work/bus.address"
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus.address")
export DBUS_SESSION_BUS_ADDRESS

xfwm4 --compositor=off >"$work/wm.log" 2>&1 &
wm_pid=$!
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
check "xfwm4 manages the screen" wait_for 20 wm_running

xfce4-panel >"$work/panel.log" 2>&1 &
panel_pid=$!
workarea() { xprop -root _NET_WORKAREA 2>/dev/null | sed 's/.*= //; s/,//g' | cut -d' ' -f1-4; }
panel_reserves_top() { read -r _ wa_y _ _ < <(workarea) && [ "${wa_y:-0}" -gt 0 ]; }
check "the panel reserves a band at the top of the screen" wait_for 30 panel_reserves_top
watcher_up() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher 2>/dev/null |
    grep -q 'boolean true'
}
check "the panel's tray runs a StatusNotifierWatcher" wait_for 30 watcher_up
[ "$failed" -eq 0 ] || finish

start_feed_server "$feed_server" "$port" "$feed" "$work" || true
check "feed server listens on 127.0.0.1:$port" test -n "$server_pid"
[ "$failed" -eq 0 ] || finish

# --- the program, under a dark GTK theme, visible to screen readers as with
# one running (Qt asks the accessibility bus whether one is)
GTK_THEME=Adwaita:dark QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb \
  "$binary" >"$work/app.out" 2>"$work/app.err" &
app_pid=$!
app_alive() { kill -0 "$app_pid" 2>/dev/null; }
wait_line() { wait_for 20 bash -c 'grep -Fxq -- "$1" "$2" || ! kill -0 "$3" 2>/dev/null' _ "$1" "$work/app.out" "$app_pid" && grep -Fxq -- "$1" "$work/app.out"; }
check "launch line printed" wait_line "$launch_line"
check "[Quillet] Loaded 3 papers printed" wait_line "[Quillet] Loaded 3 papers"

# --- the strip: at the top right of the area the panel leaves free, above all
find_strip() { xdotool search --onlyvisible --name '^Quillet$' 2>/dev/null >"$work/windows" && [ -s "$work/windows" ]; }
check "a visible window named Quillet" wait_for 10 find_strip
window=$(head -n 1 "$work/windows")
[ -n "$window" ] || finish
read -r wa_x wa_y wa_w _ < <(workarea)
geometry() {
  xwininfo -id "$window" | awk '
    /Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 }
    END { print x, y, w, h }'
}
placed() { read -r x y w h < <(geometry) && [ "$((x + w))" = "$((wa_x + wa_w))" ] && [ "$y" = "$wa_y" ]; }
wait_for 5 placed
read -r x y w h < <(geometry)
check "strip is 200x22 (got ${w}x${h})" test "$w" = 200 -a "$h" = 22
check "strip's right edge is the free area's ($((x + w)), area ends at $((wa_x + wa_w)))" \
  test "$((x + w))" = "$((wa_x + wa_w))"
check "strip sits just below the panel (y = $y, free area from $wa_y)" test "$y" = "$wa_y"

# A window the user opens over the strip, and activates, stays below it.
xmessage -geometry "300x80-0+$wa_y" -title covering 'A window over the strip' 2>/dev/null &
other_pid=$!
find_other() { other=$(xdotool search --onlyvisible --name '^covering$' 2>/dev/null | head -n 1) && [ -n "$other" ]; }
wait_for 10 find_other
xdotool windowactivate --sync "$other" 2>/dev/null
stacked_above() { # the strip after the other window in bottom-to-top order
  local order
  order=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')
  awk -v s="$(printf '0x%x' "$window")" -v o="$(printf '0x%x' "$other")" '
    { for (i = 1; i <= NF; i++) { if ($i == s) si = i; if ($i == o) oi = i } }
    END { exit !(si && oi && si > oi) }' <<<"$order"
}
check "an activated window over the strip stays below it" wait_for 5 stacked_above
stop "$other_pid"
other_pid=''

# --- light or dark as the desktop is: the strip's background follows the theme
grab() { import -display "$DISPLAY" -window "$window" "$work/$1" 2>/dev/null; }
# Painted: text and background make more than two colours (an unpainted window is one).
painted() { grab "$1" && [ "$(identify -format '%k' "$work/$1" 2>/dev/null)" -gt 2 ]; }
brightness() { convert "$work/$1" -crop 1x1+1+1 -format '%[fx:int(255*luminance)]' info: 2>/dev/null; }
check "the strip shows text" wait_for 10 painted strip-dark.png
shade=$(brightness strip-dark.png)
check "the strip is dark under a dark GTK theme (background brightness ${shade:-none} of 255)" \
  test "${shade:-255}" -lt 100

# --- the tray: registered with the watcher, its exported menu whole
items=("Journal Filters..." "Width:" "Speed:" "↻ Refresh Now" "Launch at Login" "Quit Quillet")
check "the tray item registers and exports every menu entry, none blank" \
  "$python" "$here/tray_menu_check.py" "$app_pid" "${items[@]}" --click 'Width:>300'
# The width chosen in the tray's submenu reaches the strip, which keeps its corner.
widened() { read -r x y w h < <(geometry) && [ "$w" = 300 ] && [ "$((x + w))" = "$((wa_x + wa_w))" ]; }
check "choosing 300 in the tray's Width submenu widens the strip in place" wait_for 5 widened
# The menu paused the ticker while the tray showed it; closing it resumes.
grab strip-1.png
moves() { grab strip-2.png && [ "$(identify -format '%#' "$work/strip-1.png")" != "$(identify -format '%#' "$work/strip-2.png")" ]; }
check "the strip scrolls again once the tray's menu closes" wait_for 5 moves

# A host's menu pauses the ticker only while the host says it is open: a fetch
# ahead of time (AboutToShow, GetLayout) pauses nothing.
still() { grab still-1.png && sleep 1 && grab still-2.png && [ "$(identify -format '%#' "$work/still-1.png")" = "$(identify -format '%#' "$work/still-2.png")" ]; }
"$python" "$here/tray_menu_check.py" "$app_pid" --open-for 4 >"$work/opened.log" 2>&1 &
host=$!
sleep 1.5
check "a host's \"opened\" menu holds the strip still" still
wait "$host"
grab strip-1.png
check "its \"closed\" event sets the strip moving again" wait_for 5 moves
"$python" "$here/tray_menu_check.py" "$app_pid" --peek-for 4 >"$work/peek.log" 2>&1 &
host=$!
sleep 1.5
grab strip-1.png
check "a menu fetched ahead of time (AboutToShow alone) pauses nothing" wait_for 2 moves
wait "$host"

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
GTK_THEME=Adwaita QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$binary" >"$work/app.out" 2>"$work/app.err" &
app_pid=$!
check "restarted under a light GTK theme" wait_line "[Quillet] Loaded 3 papers"
wait_for 10 find_strip
window=$(head -n 1 "$work/windows")
check "the restarted strip shows text" wait_for 10 painted strip-light.png
shade=$(brightness strip-light.png)
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
