#!/usr/bin/env bash
# Builds Quillet as a user gets it and runs it: real papers straight from
# Crossref where this machine reaches api.crossref.org; where it cannot, a local
# HTTPS feed of invented papers instead (demo/sample-feed.json, served on
# https://127.0.0.1:48443/ with the test CA).
#
#   bash scripts/demo.sh [--seconds N] [--shot FILE] [--docs DIR]
#
# With a display ($DISPLAY set) the strip appears at the top right of your
# screen, using your own preferences, until Ctrl-C. Without one, the demo runs
# on a private Xvfb with throwaway preferences for N seconds (default 5),
# saves a screenshot of the whole screen to FILE (default shots/demo.png) and
# prints its path. With --docs (headless only) it also saves the README's
# pictures to DIR: the strip, the open menu and the journal filter panel.
set -euo pipefail

usage() { sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; }

seconds=5
shot=shots/demo.png
docs=''
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=${2:?--seconds needs a number}; shift 2 ;;
    --shot) shot=${2:?--shot needs a file name}; shift 2 ;;
    --docs) docs=${2:?--docs needs a folder}; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) echo "demo.sh: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
  esac
done
case $seconds in
  '' | *[!0-9]*) echo "demo.sh: --seconds takes a whole number of seconds" >&2; exit 2 ;;
esac
# The shot and the pictures are named relative to where the demo was started from.
case $shot in
  /*) ;;
  *) shot="$PWD/$shot" ;;
esac
case $docs in
  '' | /*) ;;
  *) docs="$PWD/$docs" ;;
esac

cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib/processes.sh
port=48443

bash scripts/install-deps.sh

# A TCP connection within five seconds is enough to try: Quillet itself says
# what goes wrong after that, line by line.
if timeout 5 bash -c 'exec 3<>/dev/tcp/api.crossref.org/443' 2>/dev/null; then
  crossref=true
  endpoint=(-DQUILLET_FEED_URL= -DQUILLET_FEED_CA=)
  echo "Crossref is reachable: Quillet will show real papers, as installed."
else
  crossref=false
  endpoint=(-DQUILLET_FEED_URL=https://127.0.0.1:$port/ -DQUILLET_FEED_CA="$root/tests/data/tls/ca.pem")
  echo "Crossref cannot be reached from here (no network?): running the demo feed of invented papers instead."
fi

cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=OFF "${endpoint[@]}"
cmake --build build/demo --parallel "$(nproc)"
source build/demo/quillet-env.sh # feed_server: the loopback HTTPS server built alongside

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillet-demo.XXXXXX")
xvfb_pid='' server_pid='' app_pid='' tail_pid=''

cleanup() {
  stop "$app_pid"
  stop "$tail_pid"
  stop "$server_pid"
  stop "$xvfb_pid"
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

headless=false
app_env=()
if [ -z "${DISPLAY:-}" ]; then
  headless=true
  display=''
  start_xvfb 99 80 "$tmp/xvfb.log" || true
  if [ -z "$display" ]; then
    echo "demo.sh: could not start Xvfb on any of :80..:99" >&2
    exit 1
  fi
  export DISPLAY=$display
  # Throwaway preferences and kept papers: the user's own stay untouched.
  mkdir -p "$tmp/config" "$tmp/state"
  app_env=(XDG_CONFIG_HOME="$tmp/config" XDG_STATE_HOME="$tmp/state" QT_QPA_PLATFORM=xcb)
  echo "No display: running on Xvfb $DISPLAY for $seconds s"
fi

if ! $crossref; then
  "$feed_server" --port "$port" --feed demo/sample-feed.json >"$tmp/server.out" &
  server_pid=$!
  if ! wait_for 20 bash -c "grep -q '^serving on' '$tmp/server.out' || ! kill -0 $server_pid 2>/dev/null" \
    || ! grep -q '^serving on' "$tmp/server.out"; then
    echo "demo.sh: the feed server did not start (is port $port taken?)" >&2
    exit 1
  fi
  cat "$tmp/server.out"
fi

: >"$tmp/quillet.out"
env "${app_env[@]}" build/demo/src/quillet >"$tmp/quillet.out" &
app_pid=$!
tail -n +1 -f --pid="$app_pid" "$tmp/quillet.out" &
tail_pid=$!

if ! $headless; then
  echo "Quillet is running at the top right of your screen; Ctrl-C stops it."
  wait "$app_pid" || true
  exit 0
fi

started=$SECONDS
strip_shown() { xdotool search --onlyvisible --name '^Quillet$' >/dev/null 2>&1; }
if ! wait_for 20 strip_shown; then
  echo "demo.sh: the Quillet strip never appeared" >&2
  exit 1
fi
# A title rather than "Loading..." in the picture: wait for the feed, then let it scroll.
wait_for 20 grep -q '^\[Quillet\] \(Loaded\|Fetch error\)' "$tmp/quillet.out" || true
sleep $((seconds < 3 ? seconds : 3))
mkdir -p "$(dirname "$shot")"
import -display "$DISPLAY" -window root "$shot"
echo "Screenshot: $shot"
if [ -n "$docs" ]; then
  mkdir -p "$docs"
  grab() { import -display "$DISPLAY" -window root -crop "$1" "$2"; }
  eval "$(xdotool search --onlyvisible --name '^Quillet$' getwindowgeometry --shell | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  grab "$((WIDTH + 60))x$((HEIGHT + 10))+$((X - 60))+0" "$docs/strip.png"
  xdotool mousemove --sync "$((X + WIDTH / 2))" "$((Y + HEIGHT / 2))" click 1
  sleep 1
  # Lines are cut only where the screen is too narrow, so the menu may be wide.
  grab "760x290+$((X + WIDTH - 760))+0" "$docs/menu.png"
  xdotool key ctrl+f
  sleep 1.5
  # The panel is 380x500, centred on the screen.
  read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
  grab "400x520+$(((screen_w - 400) / 2))+$(((screen_h - 520) / 2))" "$docs/panel.png"
  echo "Pictures: $docs/strip.png $docs/menu.png $docs/panel.png"
fi
remaining=$((seconds - (SECONDS - started)))
if [ "$remaining" -gt 0 ]; then
  sleep "$remaining"
fi
