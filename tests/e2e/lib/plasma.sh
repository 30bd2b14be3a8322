# KDE Plasma 5 on X11 for the end-to-end runs: the kwin_x11 window manager
# and plasmashell with its default layout (a panel at the bottom with the
# system tray), on the display and bus that session.sh set up.

plasma_tools=(kwin_x11 plasmashell plasma-apply-colorscheme)

# Starts the desktop with its logs in DIR, under a colour scheme as a user
# picks one in System Settings, and checks it came up: a managed screen,
# the tray's StatusNotifierWatcher, the panel's band at the bottom.
start_plasma() { # dir scheme
  # What a Plasma login announces, to the services the bus starts too: kded5
  # loads the tray's watcher only in a Plasma session, and Qt reads Plasma's
  # colours only where it sees one.
  export KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
  dbus-update-activation-environment KDE_FULL_SESSION KDE_SESSION_VERSION
  check "the $2 colour scheme applies" plasma-apply-colorscheme "$2"
  # Two desktops, to see the strip on each.
  printf '[Desktops]\nNumber=2\nRows=1\n' >"$XDG_CONFIG_HOME/kwinrc"
  # Compositing would only cost CPU under Xvfb.
  start_in_group "$1/kwin.log" env KWIN_COMPOSE=N kwin_x11
  check "kwin_x11 manages the screen" wait_for 20 wm_running
  start_in_group "$1/plasma.log" plasmashell
  check "plasmashell's tray runs a StatusNotifierWatcher" wait_for 40 watcher_up
  panel_reserves_bottom() {
    read -r _ _ _ wa_h < <(workarea) &&
      [ "${wa_h:-0}" -gt 0 ] && [ "$wa_h" -lt "$(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[2] }')" ]
  }
  check "plasmashell's panel reserves a band at the bottom of the screen" wait_for 30 panel_reserves_bottom
}
