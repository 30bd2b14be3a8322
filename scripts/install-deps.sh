#!/usr/bin/env bash
# Installs every Debian 12 package Quillet needs to build, test, run the demo
# and benchmark. Idempotent; must run as root (or through sudo).
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang-format
  # libraries
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libgl-dev
  libsimdjson-dev libbenchmark-dev libxcb1-dev
  # tests, demo and benchmarks: a display, X tools, certificates, screenshots
  xvfb xauth xdotool trayer x11-utils openssl imagemagick python3 fonts-dejavu-core
  # the Wayland test: a headless compositor, its XWayland, and Qt's Wayland plugin
  weston xwayland qt6-wayland
  # the desktop test: a session bus, a window manager and a panel with a D-Bus
  # tray, the accessibility bus and the checkers' D-Bus and AT-SPI bindings
  dbus-daemon dbus-bin xfwm4 xfce4-panel at-spi2-core python3-dbus python3-pyatspi
  # the Plasma test: KDE Plasma 5 on X11, and wmctrl to maximise a window there
  # and on Xfce
  plasma-desktop plasma-workspace kwin-x11 wmctrl
  # the GNOME test and its benchmark: GNOME Shell headless with the AppIndicator
  # extension (the shell's own mount namespace comes from util-linux's unshare)
  gnome-shell gnome-shell-extension-appindicator
  # follows a GTK desktop's light or dark theme (the package recommends it)
  qt6-gtk-platformtheme
  # packaging: the .deb (dpkg-shlibdeps, file) and checks of its desktop files
  dpkg-dev file desktop-file-utils appstream
  # fuzzing the feed decoder: clang with libFuzzer and the sanitizer runtimes,
  # and llvm-symbolizer for readable crash stacks
  clang-14 libclang-rt-14-dev llvm-14
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -q
  as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
