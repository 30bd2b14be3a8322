# The program on an X11 desktop, as every desktop's run checks it: started
# with its output kept, its lines waited for, and its strip found at the top
# right of the free area. Source it after scripts/lib/processes.sh and
# x11_windows.sh.

# Starts BINARY on the X display with its output in DIR/app.out and app.err;
# VAR=VALUE words go into its environment. Sets app_pid and app_out.
start_program() { # dir binary [VAR=VALUE...]
  local dir=$1 binary=$2
  shift 2
  app_out=$dir/app.out
  env QT_QPA_PLATFORM=xcb "$@" "$binary" >"$app_out" 2>"$dir/app.err" &
  app_pid=$!
}
app_alive() { kill -0 "$app_pid" 2>/dev/null; }
# The program printed this line within 20 seconds (giving up early if it ends).
wait_line() { # line
  wait_for 20 bash -c 'grep -Fxq -- "$1" "$2" || ! kill -0 "$3" 2>/dev/null' \
    _ "$1" "$app_out" "$app_pid" && grep -Fxq -- "$1" "$app_out"
}

# Checks that the strip is shown, 200x22, with its right edge on the free
# area's and its top on the area's top, as the area was before the strip
# reserved its own place. Sets window and x y w h.
check_strip_in_place() { # area_x area_y area_width
  local right=$(($1 + $3)) top=$2
  window=''
  check "a visible window named Quillet" wait_for 10 find_window Quillet
  window=$window_id
  [ -n "$window" ] || return 1
  placed() { read -r x y w h < <(window_geometry "$window") && [ $((x + w)) = "$right" ] && [ "$y" = "$top" ]; }
  wait_for 5 placed
  read -r x y w h < <(window_geometry "$window")
  check "strip is 200x22 (got ${w}x$h)" test "$w" = 200 -a "$h" = 22
  check "strip's right edge is the free area's ($((x + w)), area ends at $right)" \
    test $((x + w)) = "$right"
  check "strip's top is the free area's (y = $y, free area from $top)" test "$y" = "$top"
}

# A tray host's menu pauses the strip only while the host says it is open:
# between its "opened" and "closed" events, not for a fetch ahead of time
# (AboutToShow and GetLayout alone), which hosts make without showing anything.
check_host_menu_pauses() { # checker dir
  local checker=$1 dir=$2 host
  /usr/bin/python3 "$checker" "$app_pid" --open-for 4 >"$dir/opened.log" 2>&1 &
  host=$!
  sleep 1.5
  check "a host's \"opened\" menu holds the strip still" holds_still "$window" "$dir"
  wait "$host"
  check "its \"closed\" event sets the strip moving again" scrolls "$window" "$dir"
  /usr/bin/python3 "$checker" "$app_pid" --peek-for 4 >"$dir/peek.log" 2>&1 &
  host=$!
  sleep 1
  check "a menu fetched ahead of time (AboutToShow alone) pauses nothing" scrolls "$window" "$dir"
  wait "$host"
}
