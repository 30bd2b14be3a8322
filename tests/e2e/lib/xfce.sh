# Xfce for the end-to-end runs: the xfwm4 window manager and xfce4-panel with
# its default layout (a panel at the top with a D-Bus tray), on the display
# and bus that session.sh set up.

xfce_tools=(xfwm4 xfce4-panel)

# Starts the desktop with its logs in DIR and checks it came up: a managed
# screen, the panel's band at the top, its StatusNotifierWatcher.
start_xfce() { # dir
  if [ ! -f /etc/xdg/xfce4/panel/default.xml ]; then
    check "xfce4-panel's default layout is installed" false
    return
  fi
  # A first start would ask which layout to use; the default one is the answer.
  mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
  cp /etc/xdg/xfce4/panel/default.xml "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
  start_in_group "$1/wm.log" xfwm4 --compositor=off
  check "xfwm4 manages the screen" wait_for 20 wm_running
  start_in_group "$1/panel.log" xfce4-panel
  panel_reserves_top() { read -r _ wa_y _ _ < <(workarea) && [ "${wa_y:-0}" -gt 0 ]; }
  check "the panel reserves a band at the top of the screen" wait_for 30 panel_reserves_top
  check "the panel's tray runs a StatusNotifierWatcher" wait_for 30 watcher_up
}
