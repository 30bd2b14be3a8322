# GNOME Shell 43, headless, as Ubuntu ships it: with the AppIndicator extension
# on, a top bar hosting StatusNotifierItems, and Xwayland for X clients. Source
# it after scripts/lib/processes.sh (stop, wait_for); it defines functions.
#
#   gnome_start WORK [bare]
#                          starts the shell, with a home, runtime folder and
#                          session and system buses of its own under WORK;
#                          exports what its clients need (DISPLAY, XAUTHORITY,
#                          WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS...).
#                          "bare": without the AppIndicator extension, so with
#                          no tray host, as GNOME upstream ships it
#   gnome_stop             ends every process gnome_start started, and any
#                          other still on its buses
#   gnome_eval SCRIPT      the value of JavaScript evaluated in the shell
#   gnome_top_bar_labels   the texts app indicators show in the top bar, a line each
#   gnome_indicator_icons  how many app indicators show an icon there
#   gnome_shown_windows    the titles of the windows the shell shows, a line each
#   gnome_indicator_menu open|close
#                          opens or closes the first app indicator's menu as a
#                          click does (the host sends "opened", or "closed")
#   gnome_screenshot FILE [X Y W H]
#
# The shell runs as root with no systemd: it needs a system bus, and must not
# see logind, so it gets a mount namespace where /run/systemd is empty.

gnome_here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
gnome_python=/usr/bin/python3 # python3-dbus is the system interpreter's
gnome_shell_pid='' gnome_xwayland_pid='' gnome_session_bus_pid='' gnome_system_bus_pid=''
gnome_log=''

# A bus that starts nothing on demand (see gnome/bus.conf): every process on
# it is one we started. Sets gnome_bus_pid; the bus's address goes to FILE.
gnome_bus() { # socket address-file
  dbus-daemon --config-file="$gnome_here/gnome/bus.conf" --nofork --address="unix:path=$1" \
    --print-address=3 3>"$2" >>"$gnome_log" 2>&1 &
  gnome_bus_pid=$!
}

gnome_start() { # work [bare]
  local work=$1 bare=${2:-} ext pid extensions="'quillet-eval@tests'"
  [ -n "$bare" ] || extensions="'ubuntu-appindicators@ubuntu.com', $extensions"
  gnome_log=$work/gnome-shell.log
  if [ "$(id -u)" -ne 0 ]; then
    echo "gnome_start: the shell's mount namespace needs root" >>"$gnome_log"
    return 1
  fi
  export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache \
    XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/runtime
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  unset SESSION_MANAGER DISPLAY WAYLAND_DISPLAY XAUTHORITY
  # The test extension turns on the unsafe mode that org.gnome.Shell.Eval needs.
  ext=$XDG_DATA_HOME/gnome-shell/extensions
  mkdir -p "$ext"
  cp -r "$gnome_here/gnome/quillet-eval@tests" "$ext/"

  gnome_bus "$work/session-bus" "$work/session-bus.address"
  gnome_session_bus_pid=$gnome_bus_pid
  gnome_bus "$work/system-bus" "$work/system-bus.address"
  gnome_system_bus_pid=$gnome_bus_pid
  wait_for 10 test -s "$work/session-bus.address" -a -s "$work/system-bus.address" || return 1
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/session-bus.address")
  DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$work/system-bus.address")
  export DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS

  # Settings in a key file: no dconf service to start and end.
  export GSETTINGS_BACKEND=keyfile
  gsettings set org.gnome.shell enabled-extensions "[$extensions]" 2>>"$gnome_log" || return 1

  # An empty /run/systemd hides logind. Xwayland's socket goes to a private
  # /tmp/.X11-unix (mutter wants it writable by all, which it need not be here);
  # X clients outside reach the server through its abstract socket.
  unshare -m sh -c '
    if [ -d /run/systemd ]; then mount -t tmpfs none /run/systemd || exit 1; fi
    if [ -d /tmp/.X11-unix ]; then mount -t tmpfs -o mode=1777 none /tmp/.X11-unix || exit 1; fi
    exec gnome-shell --headless --wayland --virtual-monitor 1280x800' >>"$gnome_log" 2>&1 &
  gnome_shell_pid=$!

  # Eval answers once the test extension is on; the tray host is up once the
  # AppIndicator extension owns the watcher.
  wait_for 60 gnome_answers || return 1
  [ -n "$bare" ] || wait_for 20 gnome_has_watcher || return 1
  for pid in $(cat /proc/"$gnome_shell_pid"/task/*/children 2>/dev/null); do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xwayland ] && gnome_xwayland_pid=$pid
  done
  DISPLAY=$(gnome_eval "imports.gi.GLib.getenv('DISPLAY')")
  XAUTHORITY=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1)
  [ -n "$DISPLAY" ] && [ -n "$XAUTHORITY" ] || return 1
  export DISPLAY XAUTHORITY WAYLAND_DISPLAY=wayland-0 XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
  # The desktop as after a login: out of the overview, no notifications over it,
  # and no warning in the top bar about the unsafe mode the tests turned on.
  gnome_eval 'Main.overview.hide(); Main.messageTray.getSources().forEach(s => s.destroy());
    Main.panel.statusArea.quickSettings?._unsafeMode?.hide()' >/dev/null
}

gnome_answers() {
  kill -0 "$gnome_shell_pid" 2>/dev/null && gnome_eval 1 >/dev/null 2>&1
}

gnome_has_watcher() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher 2>/dev/null |
    grep -q 'boolean true'
}

# Pids of the processes connected to a bus.
gnome_bus_peers() { # address
  local name
  dbus-send --bus="$1" --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.ListNames 2>/dev/null | sed -n 's/^ *string ":\(.*\)"$/:\1/p' |
    while read -r name; do
      dbus-send --bus="$1" --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.GetConnectionUnixProcessID string:"$name" 2>/dev/null |
        awk '/uint32/ { print $2 }'
    done | sort -u
}

# Like stop, for processes that are not our children: one that has exited but
# was never reaped (its parent gone) counts as ended.
gnome_end() { # pid
  [ -n "$1" ] && gnome_running "$1" || return 0
  kill -TERM "$1" 2>/dev/null
  wait_for 5 gnome_ended "$1" || kill -KILL "$1" 2>/dev/null
}

gnome_running() { # pid
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [ -n "$state" ] && [ "$state" != Z ]
}

gnome_ended() { ! gnome_running "$1"; }

gnome_stop() {
  local pid others=''
  # The shell's children (Xwayland) outlive it unless ended; and whatever is
  # still on the buses (a client the caller left) ends with them.
  [ -z "$gnome_shell_pid" ] || others=$(cat /proc/"$gnome_shell_pid"/task/*/children 2>/dev/null)
  for pid in $(gnome_bus_peers "${DBUS_SESSION_BUS_ADDRESS:-}") $(gnome_bus_peers "${DBUS_SYSTEM_BUS_ADDRESS:-}"); do
    [ "$pid" = "$gnome_shell_pid" ] || [ "$pid" = "$$" ] || others="$others $pid"
  done
  stop "$gnome_shell_pid"
  for pid in $others; do gnome_end "$pid"; done
  stop "$gnome_session_bus_pid"
  stop "$gnome_system_bus_pid"
  gnome_shell_pid='' gnome_xwayland_pid='' gnome_session_bus_pid='' gnome_system_bus_pid=''
}

gnome_eval() { # script
  "$gnome_python" "$gnome_here/gnome/shell.py" eval "$1"
}

gnome_screenshot() { # file [x y w h]
  "$gnome_python" "$gnome_here/gnome/shell.py" screenshot "$@"
}

# Walks each app indicator's actors in Main.panel.statusArea for shown St.Labels.
gnome_top_bar_labels() {
  gnome_eval "(() => {
    const { St } = imports.gi;
    const texts = actor => [].concat(actor instanceof St.Label && actor.is_mapped() ? [actor.get_text()] : [],
      ...actor.get_children().map(texts));
    return Object.entries(Main.panel.statusArea).filter(([key]) => key.startsWith('appindicator-'))
      .flatMap(([, item]) => texts(item)).join('\n');
  })()"
}

gnome_indicator_icons() {
  gnome_eval "(() => {
    const { St } = imports.gi;
    const icons = actor => (actor instanceof St.Icon && actor.is_mapped() && actor.gicon ? 1 : 0) +
      actor.get_children().reduce((n, child) => n + icons(child), 0);
    return Object.entries(Main.panel.statusArea).filter(([key]) => key.startsWith('appindicator-'))
      .filter(([, item]) => icons(item) > 0).length;
  })()"
}

# Wayland and X clients alike: the windows on screen, not minimised.
gnome_shown_windows() {
  gnome_eval "global.get_window_actors().filter(a => a.visible && !a.meta_window.minimized)
    .map(a => a.meta_window.get_title()).join('\n')"
}

gnome_indicator_menu() { # open|close
  [ "$(gnome_eval "(() => {
    const item = Object.entries(Main.panel.statusArea).find(([key]) => key.startsWith('appindicator-'));
    if (!item || !item[1].menu) return false;
    item[1].menu.$1(false);
    return item[1].menu.isOpen;
  })()")" = "$([ "$1" = open ] && echo true || echo false)" ]
}
