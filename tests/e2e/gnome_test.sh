#!/usr/bin/env bash
# End-to-end run on GNOME Shell 43, headless, with the AppIndicator extension
# (Ubuntu's default desktop), and the program built against
# https://127.0.0.1:PORT/ and the test CA. Judged as the shell shows it: the
# title in the top bar beside the icon, changing in turn, and no strip
# floating; the exported menu driven as a host drives it.
#
#   gnome_test.sh QUILLET_BINARY FEED_SERVER PORT FEED_FILE
#
# With QUILLET_E2E_SHOTS set to a folder, the top bar's picture is kept there
# as gnome-topbar.png.
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
source "$here/lib/gnome.sh"
python=/usr/bin/python3 # python3-dbus is the system interpreter's

require_tools gnome-shell Xwayland dbus-daemon dbus-send gsettings unshare xdotool "$python"
if [ ! -d /usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com ]; then
  echo "FAIL: gnome-shell-extension-appindicator is not installed (bash scripts/install-deps.sh)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-gnome.XXXXXX")
server_pid='' app_pid=''

cleanup() {
  if [ -n "${QUILLET_E2E_SHOTS:-}" ] && [ -f "$work/gnome-topbar.png" ]; then
    mkdir -p "$QUILLET_E2E_SHOTS" && cp "$work/gnome-topbar.png" "$QUILLET_E2E_SHOTS"/
  fi
  stop "$app_pid"
  stop "$server_pid"
  gnome_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

finish() {
  if [ "$failed" -gt 0 ]; then
    for log in app.out app.err gnome-shell.log server.err; do
      echo "--- $log"
      tail -n 40 "$work/$log" 2>/dev/null
    done
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

# --- the desktop: the shell, its top bar and its tray host
check "GNOME Shell runs headless with the AppIndicator extension's watcher" gnome_start "$work"
[ "$failed" -eq 0 ] || finish
start_feed_server "$feed_server" "$port" "$feed" "$work" || true
check "feed server listens on 127.0.0.1:$port" test -n "$server_pid"
[ "$failed" -eq 0 ] || finish

# --- the program, as the session starts it (DISPLAY is Xwayland's)
"$binary" >"$work/app.out" 2>"$work/app.err" &
app_pid=$!
app_alive() { kill -0 "$app_pid" 2>/dev/null; }
wait_line() { wait_for 20 bash -c 'grep -Fxq -- "$1" "$2" || ! kill -0 "$3" 2>/dev/null' _ "$1" "$work/app.out" "$app_pid" && grep -Fxq -- "$1" "$work/app.out"; }
check "launch line printed" wait_line "$launch_line"
check "[Quillet] Loaded 3 papers printed" wait_line "[Quillet] Loaded 3 papers"

icon_shown() { [ "$(gnome_indicator_icons)" = 1 ]; }
check "the item registers with the shell's watcher and its icon shows in the top bar" wait_for 20 icon_shown

# --- the label: part of a feed title, the next one in turn a few seconds on
label='' longest=0
read_label() {
  label=$(gnome_top_bar_labels | head -n 1)
  [ "${#label}" -le "$longest" ] || longest=${#label}
}
# Holds when the label, less an ellipsis at either end, is part of a title.
title_part() {
  "$python" -c '
import json, sys
part = sys.argv[2].strip().removesuffix("...").strip("\u2026").strip()
titles = [p["title"] for p in json.load(open(sys.argv[1]))["papers"]]
sys.exit(0 if part and any(part in t for t in titles) else 1)' "$feed" "$label"
}
shows_title() { read_label && title_part; }
changed_from() { read_label && [ "$label" != "$1" ] && title_part; }

before=$failed
check "the top bar's label holds part of a feed title" wait_for 20 shows_title
if [ "$failed" -eq "$before" ]; then
  first=$label
  check "the label changes to another part of a title" wait_for 20 changed_from "$first"
  # How long one label stays, for the bounds below: from one change to the next.
  since=$EPOCHREALTIME second=$label
  wait_for 20 changed_from "$second"
  stay=$(awk -v a="$since" -v b="$EPOCHREALTIME" 'BEGIN { s = int(b - a + 0.999); print (s < 1 ? 1 : s > 15 ? 15 : s) }')
  echo "    (each label stays about ${stay} s)"
else
  stay=''
fi
# The checks below watch the label change, and fail at once without one.
watch() {
  [ -n "$stay" ] || { echo "    (no changing label to watch)"; return 1; }
  "$@"
}

gnome_screenshot "$work/gnome-topbar.png" 0 0 1280 "$(gnome_eval Main.panel.height)"
check "a picture of the top bar is saved" test -s "$work/gnome-topbar.png"

# --- where the label shows, no strip floats under the top bar
strip_shown() { grep -qx Quillet <<<"$(gnome_shown_windows)"; }
strip_mapped() { [ -n "$(xdotool search --onlyvisible --name '^Quillet$' 2>/dev/null)" ]; }
check "the shell shows no strip window" eval '! strip_shown'
check "no strip window is mapped on Xwayland ($DISPLAY)" eval '! strip_mapped'

# --- the menu through the host: every row, none blank
items=("Journal Filters..." "Width:" "Speed:" "↻ Refresh Now" "Launch at Login" "Quit Quillet")
check "GetLayout shows every menu entry, none blank" "$python" "$here/tray_menu_check.py" "$app_pid" "${items[@]}"

# --- paused only while the host shows the menu: between "opened" and "closed",
# which the shell sends as its menu opens and closes
held() { gnome_indicator_menu open && read_label && ! wait_for $((2 * stay + 1)) changed_from "$label"; }
check "the menu open in the top bar (\"opened\") holds the label" watch held
resumed() { gnome_indicator_menu close && read_label && wait_for $((2 * stay + 2)) changed_from "$label"; }
check "closing it (\"closed\") lets the label change again" watch resumed
# Hosts prefetch menus with AboutToShow: it must hold nothing.
event() { "$python" "$here/menu_event.py" "$app_pid" "$1" >>"$work/events.log" 2>&1; }
prefetched() { event about-to-show && read_label && wait_for $((2 * stay + 2)) changed_from "$label"; }
check "AboutToShow alone pauses nothing" watch prefetched

# --- a width chosen in the host's menu: more of a title in the label
wider() { read_label && [ "${#label}" -gt "$1" ]; }
widened() {
  local before=$longest
  "$python" "$here/tray_menu_check.py" "$app_pid" --click 'Width:>400' >>"$work/events.log" 2>&1 &&
    wait_for $((3 * stay + 2)) wider "$before"
}
check "choosing 400 in the Width submenu puts more of a title in the label" watch widened

check "program still running" app_alive

# --- "Quit Quillet" chosen through the host ends the program cleanly
check "the menu's Quit Quillet entry is there to click" \
  "$python" "$here/tray_menu_check.py" "$app_pid" --click "Quit Quillet"
exited() { ! app_alive; }
check "choosing it ends the program" wait_for 10 exited
status=running
if exited; then
  wait "$app_pid"
  status=$?
  app_pid=''
fi
check "the program's exit status is 0 (got $status)" test "$status" = 0
finish
