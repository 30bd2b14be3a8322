# A desktop login as the end-to-end runs need one, shared by every desktop:
# folders and variables of its own, a private session bus, the desktop's
# processes each in a group of its own so that whatever they spawn ends with
# them, and what a desktop publishes on the bus. Source it after
# scripts/lib/processes.sh; the desktop's own file (xfce.sh, plasma.sh) builds
# on it.

session_groups=()

# A login's folders under DIR, and the desktop's name as sessions announce it.
begin_session() { # dir desktop
  export HOME=$1/home XDG_CONFIG_HOME=$1/config XDG_CACHE_HOME=$1/cache \
    XDG_DATA_HOME=$1/data XDG_STATE_HOME=$1/state XDG_RUNTIME_DIR=$1/runtime \
    XDG_CURRENT_DESKTOP=$2 XDG_SESSION_TYPE=x11
  unset SESSION_MANAGER
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" \
    "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}

# Starts a command in a process group of its own, its output to LOG, and
# remembers it for end_session. Sets started to its pid.
start_in_group() { # log command...
  local log=$1
  shift
  setsid "$@" >"$log" 2>&1 &
  started=$!
  session_groups+=("$started")
}

# A private session bus in DIR; the services it activates join its group.
# Sets bus_pid and exports DBUS_SESSION_BUS_ADDRESS.
start_session_bus() { # dir
  setsid dbus-daemon --session --nofork --print-address=3 3>"$1/bus.address" 2>"$1/bus.err" &
  bus_pid=$!
  session_groups+=("$bus_pid")
  wait_for 10 test -s "$1/bus.address" || return 1
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$1/bus.address")
  export DBUS_SESSION_BUS_ADDRESS
}

# Stops every group started, the last one first and the bus last.
end_session() {
  local i
  for ((i = ${#session_groups[@]} - 1; i >= 0; i--)); do
    stop_group "${session_groups[i]}"
  done
  session_groups=()
}

bus_has() { # name: someone owns it on the session bus
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}
watcher_up() { bus_has org.kde.StatusNotifierWatcher; }

# A window manager has taken the screen (EWMH's check window is up).
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# The free area of the first desktop as the window manager publishes it: x y width height.
workarea() { xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/.*= //; s/,//gp' | cut -d' ' -f1-4; }
