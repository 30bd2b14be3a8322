#!/usr/bin/env bash
# Two builds of the scrolling strip (or a build and bench_xcb_floor) at once,
# each on a private Xvfb of its own, both measured over the same windows: load
# from elsewhere on the machine then hits both alike, which alternating runs
# cannot promise on a machine shared with others. For small differences, such
# as one change's share of a fraction of a per cent.
#
#   bash bench/side_by_side.sh A B [--seconds 15] [--rounds 8]
#
# A and B are program binaries built like quillet_bench (against the loopback
# feed on the bench port); either may be bench_xcb_floor. Prints, per round,
# each one's CPU % of one core and its X server's (exact, from schedstat), and
# then the medians and how many rounds B came out lower.
set -euo pipefail

usage() { echo "usage: $0 A B [--seconds N] [--rounds N]" >&2; exit 2; }
[ $# -ge 2 ] || usage
bins=("$(realpath "$1")" "$(realpath "$2")")
shift 2
seconds=15
rounds=8
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) [ $# -ge 2 ] || usage; seconds=$2; shift 2 ;;
    --rounds) [ $# -ge 2 ] || usage; rounds=$2; shift 2 ;;
    *) usage ;;
  esac
done

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
source scripts/lib/processes.sh
cmake --preset release >/dev/null
cmake --build --preset release --target quillet_test_feed_server >/dev/null
source build/release/quillet-env.sh # feed_server and bench_port, from CMake

work=$(mktemp -d /tmp/quillet-side.XXXXXX)
pids=() server_pid=''
cleanup() {
  local pid
  for pid in "${pids[@]}"; do stop "$pid"; done
  stop "$server_pid"
  rm -rf "$work"
}
trap cleanup EXIT

python3 bench/gen_feed.py 1000 "$work/feed.json"
start_feed_server "$feed_server" "$bench_port" "$work/feed.json" "$work" || { echo "feed server did not start" >&2; exit 1; }

xvfbs=() apps=()
for i in 0 1; do
  start_xvfb 150 179 "$work/xvfb$i.log" || { echo "no free X display" >&2; exit 1; }
  xvfbs+=("$xvfb_pid")
  pids+=("$xvfb_pid")
  mkdir -p "$work/config$i"
  DISPLAY=$display XDG_CONFIG_HOME="$work/config$i" "${bins[$i]}" >"$work/app$i.log" 2>&1 &
  apps+=("$!")
  pids=("$!" "${pids[@]}")
done
for i in 0 1; do
  wait_for 60 grep -Eq 'Loaded [0-9]+ papers|\[floor\] scrolling' "$work/app$i.log" \
    || { echo "${bins[$i]} did not start: $(cat "$work/app$i.log")" >&2; exit 1; }
done
sleep 2

printf '%-5s %8s %8s   %8s %8s\n' round "A %" "X(A) %" "B %" "X(B) %"
: >"$work/rounds"
for round in $(seq "$rounds"); do
  before=()
  for pid in "${apps[0]}" "${xvfbs[0]}" "${apps[1]}" "${xvfbs[1]}"; do before+=("$(cpu_ns "$pid")"); done
  t0=$(date +%s%N)
  sleep "$seconds"
  t1=$(date +%s%N)
  row=()
  k=0
  for pid in "${apps[0]}" "${xvfbs[0]}" "${apps[1]}" "${xvfbs[1]}"; do
    kill -0 "$pid" 2>/dev/null || { echo "process $pid died while measured" >&2; exit 1; }
    row+=("$(awk -v r=$(($(cpu_ns "$pid") - before[k])) -v w=$((t1 - t0)) 'BEGIN { printf "%.3f", r / w * 100 }')")
    k=$((k + 1))
  done
  printf '%-5s %8s %8s   %8s %8s\n' "$round" "${row[@]}"
  echo "${row[*]}" >>"$work/rounds"
done

python3 - "$work/rounds" "${bins[@]}" <<'EOF'
import statistics, sys
rows = [[float(v) for v in line.split()] for line in open(sys.argv[1]) if line.strip()]
a, xa, b, xb = (statistics.median(col) for col in zip(*rows))
lower = sum(r[2] < r[0] for r in rows)
print(f"\nmedians of {len(rows)} rounds: A {a:.3f} % (X {xa:.3f} %), B {b:.3f} % (X {xb:.3f} %); "
      f"B lower in {lower} of {len(rows)}")
print(f"  A = {sys.argv[2]}\n  B = {sys.argv[3]}")
EOF
