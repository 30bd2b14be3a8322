#!/usr/bin/env bash
# CPU cost of scrolling: the program against the naive widget ticker
# (bench_baseline_ticker), both on the same invented 1000-paper feed, on a
# private Xvfb display. For each run it measures, in this order:
#   Quillet scrolling, Quillet with its menu open, the baseline scrolling, and
#   the bare xcb client that makes the strip's wake-ups and copies and nothing
#   else (bench_xcb_floor): what no one-copy-per-pixel strip can undercut here;
# and prints the per-run figures and then the medians over runs.
#
#   bash bench/ticker_cpu.sh [--seconds 30] [--runs 3] [--build DIR]
#
# CPU % is of one core: (utime+stime ticks) / CLK_TCK / wall seconds * 100
# for the program, and exact on-CPU time from schedstat for the X server over
# the same window. Context switches
# are voluntary+involuntary, summed over the program's threads. The figures
# also come as exact on-CPU time from schedstat, with how busy the whole
# machine was meanwhile: a loaded machine inflates the cost of every wake-up.
set -euo pipefail

seconds=30
runs=3
build_dir=""
command_line="$0 $*"

usage() { echo "usage: $0 [--seconds N] [--runs N] [--build DIR]" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) [ $# -ge 2 ] || usage; seconds=$2; shift 2 ;;
    --runs) [ $# -ge 2 ] || usage; runs=$2; shift 2 ;;
    --build) [ $# -ge 2 ] || usage; build_dir=$2; shift 2 ;;
    *) usage ;;
  esac
done
[[ "$seconds" =~ ^[0-9]+$ && "$seconds" -gt 0 ]] || usage
[[ "$runs" =~ ^[0-9]+$ && "$runs" -gt 0 ]] || usage

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
source scripts/lib/processes.sh # cpu_ns
menu_seconds=10
settle_seconds=2
papers=1000

echo "command: $command_line"
echo "host: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), kernel $(uname -r)"

# ---------------------------------------------------------------- build
if [ -n "$build_dir" ]; then
  build_dir=$(realpath -m "$build_dir")
  cmake --preset release -B "$build_dir" >/dev/null
else
  build_dir="$repo/build/release"
  cmake --preset release >/dev/null
fi
cmake --build "$build_dir" --target quillet_bench bench_baseline_ticker bench_xcb_floor quillet_test_feed_server >/dev/null
source "$build_dir/quillet-env.sh" # feed_server and bench_port, from CMake
quillet_bin="$build_dir/bench/quillet_bench"
baseline_bin="$build_dir/bench/bench_baseline_ticker"
floor_bin="$build_dir/bench/bench_xcb_floor"
echo "binaries: $quillet_bin, $baseline_bin, $floor_bin"

# ---------------------------------------------------------------- cleanup
work=$(mktemp -d /tmp/quillet-ticker-cpu.XXXXXX)
xvfb_pid=""
server_pid=""
app_pid=""
cleanup() {
  local pid
  for pid in "$app_pid" "$server_pid" "$xvfb_pid"; do
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

die() { echo "ticker_cpu: $*" >&2; exit 1; }

# ---------------------------------------------------------------- feed, display, server
python3 bench/gen_feed.py "$papers" "$work/feed.json"

# -displayfd lets the server pick a free display itself: no race with other sessions.
exec 3>"$work/display"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb exited: $(cat "$work/xvfb.log")"
  sleep 0.1
done
[ -s "$work/display" ] || die "Xvfb did not report a display"
export DISPLAY=":$(head -n1 "$work/display")"
echo "display: $DISPLAY (Xvfb pid $xvfb_pid)"

"$feed_server" --port "$bench_port" --feed "$work/feed.json" >"$work/server.log" 2>"$work/server.err" &
server_pid=$!
for _ in $(seq 100); do
  grep -q "serving on" "$work/server.log" 2>/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || die "feed server exited: $(cat "$work/server.err")"
  sleep 0.1
done
grep -q "serving on" "$work/server.log" || die "feed server did not start"

# ---------------------------------------------------------------- sampling
clk_tck=$(getconf CLK_TCK)

# utime+stime of the whole process (all threads), in clock ticks.
cpu_ticks() {
  local stat
  stat=$(cat "/proc/$1/stat") || return 1
  stat=${stat##*) }   # the command name may hold spaces; fields resume after ")"
  # shellcheck disable=SC2086
  set -- $stat
  echo $(( ${12} + ${13} ))
}

# "tid:switches:run_ns" per thread: voluntary plus involuntary context
# switches, and nanoseconds on CPU from schedstat (exact, where the tick-based
# utime+stime moves in 10 ms steps).
thread_snapshot() {
  local task v n r
  for task in /proc/"$1"/task/*; do
    v=$(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status" 2>/dev/null) || continue
    n=$(awk '/^nonvoluntary_ctxt_switches/ {print $2}' "$task/status" 2>/dev/null) || continue
    r=$(cut -d' ' -f1 "$task/schedstat" 2>/dev/null) || continue
    if [ -n "$v" ] && [ -n "$n" ] && [ -n "$r" ]; then echo "${task##*/}:$((v + n)):$r"; fi
  done
  return 0
}

# Sum of column COL's growth between two snapshots, over threads alive at both.
snapshot_delta() {
  awk -F: -v c="$3" 'NR == FNR { a[$1] = $c; next } ($1 in a) { s += $c - a[$1] } END { printf "%.0f\n", s }' "$1" "$2"
}

now_ns() { date +%s%N; }

# "busy idle" jiffies of the whole machine; other load skews every figure here.
host_jiffies() { awk '/^cpu / { print $2 + $3 + $4 + $7 + $8, $5 + $6 }' /proc/stat; }

# Times the main thread has gone to sleep and been woken: its voluntary switches.
main_wakeups() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$1/task/$1/status"; }

# measure PID SECONDS PREFIX: writes PREFIX.{app,x,ctx,run,wall,host,wake}
# (ticks, X server CPU ns, switches, CPU ns, wall ns, % of all CPUs busy machine-wide,
# main-thread wake-ups).
measure() {
  local pid=$1 secs=$2 prefix=$3 a0 x0 t0 a1 x1 t1 hb0 hi0 hb1 hi1 w0 w1
  thread_snapshot "$pid" >"$prefix.snap0"
  w0=$(main_wakeups "$pid")
  read -r hb0 hi0 < <(host_jiffies)
  a0=$(cpu_ticks "$pid"); x0=$(cpu_ns "$xvfb_pid"); t0=$(now_ns)
  sleep "$secs"
  a1=$(cpu_ticks "$pid"); x1=$(cpu_ns "$xvfb_pid"); t1=$(now_ns)
  w1=$(main_wakeups "$pid")
  echo $((w1 - w0)) >"$prefix.wake"
  read -r hb1 hi1 < <(host_jiffies)
  awk -v b=$((hb1 - hb0)) -v i=$((hi1 - hi0)) 'BEGIN { printf "%.0f\n", ((b + i) > 0 ? b / (b + i) * 100 : 0) }' >"$prefix.host"
  thread_snapshot "$pid" >"$prefix.snap1"
  kill -0 "$pid" 2>/dev/null || die "process $pid died while measured"
  echo $((a1 - a0)) >"$prefix.app"
  echo $((x1 - x0)) >"$prefix.x"
  echo $((t1 - t0)) >"$prefix.wall"
  snapshot_delta "$prefix.snap0" "$prefix.snap1" 2 >"$prefix.ctx"
  snapshot_delta "$prefix.snap0" "$prefix.snap1" 3 >"$prefix.run"
}

# pct TICKS WALL_NS
pct() { awk -v t="$1" -v w="$2" -v h="$clk_tck" 'BEGIN { printf "%.3f", t / h / (w / 1e9) * 100 }'; }
ns_pct() { awk -v r="$1" -v w="$2" 'BEGIN { printf "%.3f", r / w * 100 }'; }
per_sec() { awk -v c="$1" -v w="$2" 'BEGIN { printf "%.1f", c / (w / 1e9) }'; }

wait_for_line() { # FILE PATTERN PID TIMEOUT_S
  local i
  for i in $(seq $(($4 * 10))); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    kill -0 "$3" 2>/dev/null || die "process exited before printing '$2': $(cat "$1")"
    sleep 0.1
  done
  die "no '$2' within $4 s: $(cat "$1")"
}

stop_app() {
  if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
  fi
}

# The strip's window: the one mapped window named exactly "Quillet".
find_strip() {
  xdotool search --onlyvisible --name '^Quillet$' 2>/dev/null | head -n1
}

# Mapped override-redirect windows: popups such as the menu (the strip itself
# is a managed tool window).
mapped_popups() {
  local id
  xwininfo -root -children 2>/dev/null | awk '/^ +0x/ { print $1 }' | while read -r id; do
    if xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' \
       && xwininfo -id "$id" 2>/dev/null | grep -q 'Override Redirect State: yes'; then
      echo "$id"
    fi
  done
}

results="$work/results.tsv"
: >"$results"

# Per-run columns. CPU % is of one core: "tick" from utime+stime, "ns" from
# schedstat; X(...) is the X server over the same window; "menu" says whether a
# popup window was actually mapped after the click; "esc %" is the program's CPU
# in the 3 s after Escape (near 0 means the ticker did not resume); "host%" is
# how busy the whole machine was (all CPUs) while Quillet / the baseline ran;
# "Q wake/s" is how often Quillet's main thread woke up while scrolling; "f ns%"
# and "X(f)%" are the bare xcb floor client and the X server meanwhile.
printf '\n%-3s %7s %7s %7s %7s %7s %7s %6s %7s %7s %4s %7s %7s %7s %7s %9s %8s %7s %7s\n' run \
  "Q tick%" "Q ns%" "X(Q)%" "b tick%" "b ns%" "X(b)%" "Q/b" "menu%" "menuns%" menu "esc%" "RSS MiB" "Q csw/s" "b csw/s" "host% Q/b" "Q wake/s" "f ns%" "X(f)%"
for run in $(seq "$runs"); do
  # (a) the program
  cfg="$work/config-$run"
  mkdir -p "$cfg"
  XDG_CONFIG_HOME="$cfg" "$quillet_bin" >"$work/quillet-$run.log" 2>"$work/quillet-$run.err" &
  app_pid=$!
  wait_for_line "$work/quillet-$run.log" "\[Quillet\] Loaded $papers papers" "$app_pid" 60
  sleep "$settle_seconds"
  measure "$app_pid" "$seconds" "$work/q$run"
  rss_kb=$(awk '/^VmHWM/ {print $2}' "/proc/$app_pid/status")

  strip=$(find_strip)
  [ -n "$strip" ] || die "no mapped window named Quillet"
  xdotool mousemove --window "$strip" 100 11 click 1
  sleep 1
  if [ "$(mapped_popups | wc -l)" -ge 1 ]; then menu_shown=yes; else menu_shown=no; fi
  measure "$app_pid" "$menu_seconds" "$work/m$run"
  xdotool key Escape
  sleep 0.5
  measure "$app_pid" 3 "$work/e$run"
  stop_app

  # (b) the baseline
  "$baseline_bin" "$work/feed.json" >"$work/baseline-$run.log" 2>"$work/baseline-$run.err" &
  app_pid=$!
  wait_for_line "$work/baseline-$run.log" "\[baseline\] Loaded $papers titles" "$app_pid" 60
  sleep "$settle_seconds"
  measure "$app_pid" "$seconds" "$work/b$run"
  stop_app

  # (c) the floor
  "$floor_bin" >"$work/floor-$run.log" 2>"$work/floor-$run.err" &
  app_pid=$!
  wait_for_line "$work/floor-$run.log" "\[floor\] scrolling" "$app_pid" 20
  sleep "$settle_seconds"
  measure "$app_pid" "$seconds" "$work/f$run"
  stop_app

  f() { cat "$work/$1$run.$2"; }
  q=$(pct "$(f q app)" "$(f q wall)");   qn=$(ns_pct "$(f q run)" "$(f q wall)")
  qx=$(ns_pct "$(f q x)" "$(f q wall)")
  b=$(pct "$(f b app)" "$(f b wall)");   bn=$(ns_pct "$(f b run)" "$(f b wall)")
  bx=$(ns_pct "$(f b x)" "$(f b wall)")
  m=$(pct "$(f m app)" "$(f m wall)");   mn=$(ns_pct "$(f m run)" "$(f m wall)")
  e=$(ns_pct "$(f e run)" "$(f e wall)")
  ratio=$(awk -v q="$q" -v b="$b" 'BEGIN { if (b > 0) printf "%.3f", q / b; else print "nan" }')
  rss=$(awk -v k="$rss_kb" 'BEGIN { printf "%.1f", k / 1024 }')
  qcs=$(per_sec "$(f q ctx)" "$(f q wall)")
  bcs=$(per_sec "$(f b ctx)" "$(f b wall)")
  qw=$(per_sec "$(f q wake)" "$(f q wall)")
  fn=$(ns_pct "$(f f run)" "$(f f wall)"); fx=$(ns_pct "$(f f x)" "$(f f wall)")
  printf '%-3s %7s %7s %7s %7s %7s %7s %6s %7s %7s %4s %7s %7s %7s %7s %9s %8s %7s %7s\n' \
    "$run" "$q" "$qn" "$qx" "$b" "$bn" "$bx" "$ratio" "$m" "$mn" "$menu_shown" "$e" "$rss" "$qcs" "$bcs" "$(f q host)/$(f b host)" "$qw" "$fn" "$fx"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' \
    "$q" "$qx" "$b" "$bx" "$ratio" "$m" "$rss" "$qcs" "$bcs" "$qn" "$bn" "$mn" "$e" "$(f q host)" "$(f b host)" "$qw" "$fn" "$fx" >>"$results"
  [ "$menu_shown" = yes ] || echo "    run $run: no popup window was mapped after the click on the strip"
done

python3 - "$results" "$seconds" "$menu_seconds" "$runs" <<'EOF'
import statistics, sys
rows = [line.split("\t") for line in open(sys.argv[1]) if line.strip()]
cols = list(zip(*[[float(v) for v in row] for row in rows]))
labels = [
    ("Quillet CPU % (scrolling)", "{:.3f}"),
    ("X server CPU % during Quillet", "{:.3f}"),
    ("baseline CPU % (scrolling)", "{:.3f}"),
    ("X server CPU % during baseline", "{:.3f}"),
    ("ratio Quillet / baseline (per run)", "{:.3f}"),
    ("Quillet CPU % with menu open", "{:.3f}"),
    ("Quillet peak RSS (VmHWM), MiB", "{:.1f}"),
    ("Quillet context switches / s", "{:.1f}"),
    ("baseline context switches / s", "{:.1f}"),
    ("Quillet CPU % (scrolling, schedstat)", "{:.3f}"),
    ("baseline CPU % (scrolling, schedstat)", "{:.3f}"),
    ("Quillet CPU % menu open (schedstat)", "{:.3f}"),
    ("Quillet CPU % 3 s after Escape (schedstat)", "{:.3f}"),
    ("machine busy % (all CPUs) during Quillet", "{:.0f}"),
    ("machine busy % (all CPUs) during baseline", "{:.0f}"),
    ("Quillet main-thread wake-ups / s (scrolling)", "{:.1f}"),
    ("bare xcb floor CPU % (schedstat)", "{:.3f}"),
    ("X server CPU % during the floor", "{:.3f}"),
]
print(f"\nmedians of {sys.argv[4]} runs ({sys.argv[2]} s scrolling, {sys.argv[3]} s menu open; "
      "CPU % of one core, utime+stime unless marked schedstat)")
width = max(len(label) for label, _ in labels)
for (label, fmt), values in zip(labels, cols):
    print(f"  {label:<{width}}  {fmt.format(statistics.median(values)):>9}")
EOF
