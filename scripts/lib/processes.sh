# Helpers shared by the demo, the end-to-end test and the package test: stopping
# the processes they start, waiting on conditions, a private Xvfb, and the
# PASS/FAIL lines of a check. Source it; it defines functions and the program's
# launch line, which every one of them waits for.

launch_line='[Quillet] App launched — polling every 30 min'

stop() { # pid: TERM, a moment's grace polled for, then KILL
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# Ends a process group that `setsid COMMAND &` started (from a script, where a
# background job is no group leader, setsid makes the command one without
# forking), by its leader's id: the leader and whatever it spawned that stayed
# in its group, daemons that detached from it included.
stop_group() { # leader's pid
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -TERM -- "-$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    # Exited members linger as zombies until reaped; they count as gone.
    pgrep -g "$pid" -r D,R,S,T,t >/dev/null || break
    sleep 0.1
  done
  kill -KILL -- "-$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# Polls a command until it succeeds or `seconds` pass.
wait_for() { # seconds, command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Starts Xvfb on the first free display from FIRST to LAST (either way round).
# Sets xvfb_pid and display; display stays empty when none could be had.
start_xvfb() { # first last logfile
  local n step=1
  [ "$1" -le "$2" ] || step=-1
  display=''
  for n in $(seq "$1" "$step" "$2"); do
    if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then
      continue
    fi
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$3" 2>&1 &
    xvfb_pid=$!
    # Either it answers, or it died because another server took the number first.
    if wait_for 10 bash -c "xdpyinfo -display :$n >/dev/null 2>&1 || ! kill -0 $xvfb_pid 2>/dev/null" \
      && xdpyinfo -display ":$n" >/dev/null 2>&1; then
      display=":$n"
      return 0
    fi
    stop "$xvfb_pid"
    xvfb_pid=''
  done
  return 1
}

# Ends the script with a FAIL line naming the first tool that is not installed.
require_tools() { # tool...
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "FAIL: $tool is not installed (bash scripts/install-deps.sh)" >&2
      exit 1
    fi
  done
}

# Nanoseconds a process (all its threads) has been on a CPU, from schedstat:
# exact, where 10 ms clock ticks would quantise a 0.25 % figure in 30 s to 0.03 %.
cpu_ns() { # pid
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s }'
}

passed=0
failed=0
check() { # description, then a command whose success is the check
  local what=$1
  shift
  if "$@"; then
    echo "PASS: $what"
    passed=$((passed + 1))
  else
    echo "FAIL: $what"
    failed=$((failed + 1))
  fi
}

# Serves FEED over HTTPS on 127.0.0.1:PORT with the test certificate, using
# SERVER (quillet_test_feed_server, built from tests/support), and writes its
# output to DIR/server.out and DIR/server.err. The port is compiled into the
# program under test, and another run may hold it for a while: keep trying for a
# minute while the only trouble is the address being in use.
# Sets server_pid (empty when the server could not be started).
start_feed_server() { # server port feed dir
  local server=$1 port=$2 feed=$3 dir=$4 deadline=$((SECONDS + 60))
  local serving="serving on https://127.0.0.1:$port/"
  while :; do
    "$server" --port "$port" --feed "$feed" >"$dir/server.out" 2>"$dir/server.err" &
    server_pid=$!
    if wait_for 20 bash -c 'grep -Fxq -- "$1" "$2" || ! kill -0 "$3" 2>/dev/null' \
      _ "$serving" "$dir/server.out" "$server_pid" \
      && grep -Fxq -- "$serving" "$dir/server.out"; then
      return 0
    fi
    stop "$server_pid"
    server_pid=''
    grep -qi 'address is already in use' "$dir/server.err" || return 1 # a real fault: stop trying
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.5
  done
}
