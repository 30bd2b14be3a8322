#!/usr/bin/env bash
# Package check: builds a release Quillet against the loopback test feed
# (https://127.0.0.1:46443/ and the test CA), packs it as a .deb with cpack,
# validates its desktop entry and AppStream metadata, installs the package
# with apt, runs the installed /usr/bin/quillet on a private Xvfb against a
# feed of three papers, then removes the package and checks it is gone.
# Must run as root, on a machine where no quillet package is installed.
#
#   bash tests/package/package_test.sh [--build-dir DIR]   (default build/package)
set -uo pipefail

usage() { sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; }

cd "$(dirname "$0")/../.." || exit 2
repo=$PWD
source scripts/lib/processes.sh
build=build/package
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build=${2:?--build-dir needs a directory}; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) echo "package_test.sh: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
  esac
done
case $build in
  /*) ;;
  *) build="$repo/$build" ;;
esac

port=46443
export DEBIAN_FRONTEND=noninteractive
# Another apt or dpkg run (an install-deps.sh elsewhere, say) holds the lock
# for a while at most: wait for it rather than fail.
apt_get() { apt-get -o DPkg::Lock::Timeout=300 -y -q "$@"; }

if [ "$(id -u)" -ne 0 ]; then
  echo "package_test.sh: installs a package, so it must run as root" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-package.XXXXXX")
xvfb_pid='' server_pid='' app_pid='' installed=false

package_installed() { dpkg-query -W -f='${Status}' quillet 2>/dev/null | grep -q 'install ok installed'; }

cleanup() {
  stop "$app_pid"
  stop "$server_pid"
  stop "$xvfb_pid"
  # Only a package this run installed: never one that was there before.
  if $installed && package_installed; then
    apt_get remove quillet >"$work/cleanup-remove.log" 2>&1 \
      || echo "package_test.sh: could not remove the quillet package; run apt-get remove quillet" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

show() { # title, file: a log for a failure, if there is one
  [ -s "$2" ] || return 0
  echo "--- $1"
  tail -n 40 "$2"
}

# Logs worth reading after a failure, as "title:file", added by the step that failed.
logs=()
finish() {
  local entry
  if [ "$failed" -gt 0 ]; then
    for entry in "${logs[@]}"; do
      show "${entry%%:*}" "${entry#*:}"
    done
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

# A package already there may be the user's own: replacing it with a build
# pointed at a loopback feed, then removing it, is not ours to do.
if package_installed; then
  check "no quillet package installed before the test (remove it with apt-get remove quillet)" false
  finish
fi

# --- build and pack
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=OFF \
  -DQUILLET_FEED_URL="https://127.0.0.1:$port/" -DQUILLET_FEED_CA="$repo/tests/data/tls/ca.pem" \
  >"$work/configure.log" 2>&1
check "cmake configures $build" test $? -eq 0 || logs+=("configure:$work/configure.log")
[ "$failed" -eq 0 ] || finish
cmake --build "$build" --parallel "$(nproc)" >"$work/build.log" 2>&1
check "release build succeeds" test $? -eq 0 || logs+=("build:$work/build.log")
[ "$failed" -eq 0 ] || finish
source "$build/quillet-env.sh" # feed_server: the loopback HTTPS server built alongside

# A package left by an earlier run must not stand in for this one.
rm -f "$build"/quillet_*.deb
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1
check "cpack -G DEB succeeds" test $? -eq 0 || logs+=("cpack:$work/cpack.log")
debs=("$build"/quillet_*_*.deb)
check "exactly one quillet_*.deb produced (got ${#debs[@]}: ${debs[*]##*/})" \
  test "${#debs[@]}" -eq 1 -a -f "${debs[0]}"
[ "$failed" -eq 0 ] || finish
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
check "package is named quillet (got $(field Package))" test "$(field Package)" = quillet
check "package version is the project's 0.1.0 (got $(field Version))" test "$(field Version)" = 0.1.0
check "package section is net (got $(field Section))" test "$(field Section)" = net
depends=$(field Depends)
# The SVG plugin is loaded at run time, so only the explicit dependency brings it;
# the Qt libraries themselves must come from dpkg-shlibdeps.
check "Depends names libqt6svg6 ($depends)" grep -Eq '(^|, )libqt6svg6([ ,]|$)' <<<"$depends"
check "Depends has the shared libraries found by dpkg-shlibdeps" \
  grep -Eq '(^|, )libqt6widgets6 \(>= [^)]+\)' <<<"$depends"
# What makes the strip follow a GTK desktop's light or dark theme.
check "Recommends names qt6-gtk-platformtheme ($(field Recommends))" \
  grep -Eq '(^|, )qt6-gtk-platformtheme([ ,]|$)' <<<"$(field Recommends)"
dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./|/|' >"$work/contents"
for path in /usr/bin/quillet /usr/share/applications/quillet.desktop \
  /usr/share/icons/hicolor/scalable/apps/quillet.svg \
  /usr/share/icons/hicolor/symbolic/apps/quillet-symbolic.svg \
  /usr/share/metainfo/io.github.quillet.Quillet.metainfo.xml; do
  check "package holds $path" grep -Fxq -- "$path" "$work/contents"
done

# --- desktop entry and AppStream metadata, as shipped in the package
mkdir -p "$work/tree"
dpkg-deb -x "$deb" "$work/tree"
validate() { "$@" >>"$work/validate.log" 2>&1; }
check "desktop-file-validate accepts the desktop entry" \
  validate desktop-file-validate "$work/tree/usr/share/applications/quillet.desktop"
check "appstreamcli validate --no-net accepts the metainfo" \
  validate appstreamcli validate --no-net "$work/tree/usr/share/metainfo/io.github.quillet.Quillet.metainfo.xml"
# The tree check also finds the desktop entry the metainfo launches.
check "appstreamcli validate-tree --no-net accepts the package's files" \
  validate appstreamcli validate-tree --no-net "$work/tree"
[ "$failed" -eq 0 ] || logs+=("validation:$work/validate.log")
[ "$failed" -eq 0 ] || finish

# --- install
installed=true
apt_get install "$deb" >"$work/install.log" 2>&1
check "apt-get install ${deb##*/} succeeds" test $? -eq 0 || logs+=("apt-get install:$work/install.log")
check "dpkg reports quillet installed" package_installed
[ "$failed" -eq 0 ] || finish
check "/usr/bin/quillet is an executable" test -x /usr/bin/quillet
check "quillet on PATH is /usr/bin/quillet (got $(command -v quillet))" test "$(command -v quillet)" = /usr/bin/quillet
check "/usr/share/applications/quillet.desktop exists" test -f /usr/share/applications/quillet.desktop
check "/usr/share/icons/hicolor/scalable/apps/quillet.svg exists" test -f /usr/share/icons/hicolor/scalable/apps/quillet.svg
check "/usr/share/metainfo/io.github.quillet.Quillet.metainfo.xml exists" \
  test -f /usr/share/metainfo/io.github.quillet.Quillet.metainfo.xml

# --- a private X server on the first free display from :71 up
display=''
start_xvfb 71 90 "$work/xvfb.log" || true
check "Xvfb answers on a free display (${display:-none})" test -n "$display"
[ -n "$display" ] || finish
export DISPLAY=$display

# --- the feed. The port is compiled into the package; another run of this
# test may hold it for a while, so keep trying until it is ours.
start_feed_server "$feed_server" "$port" "$repo/tests/data/e2e-feed.json" "$work" || true
check "feed server listens on 127.0.0.1:$port" test -n "$server_pid" || logs+=("feed server stderr:$work/server.err")
[ "$failed" -eq 0 ] || finish

# --- the installed program, with throwaway preferences
mkdir -p "$work/home" "$work/config" "$work/cache" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
  XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
  /usr/bin/quillet >"$work/app.out" 2>"$work/app.err" &
app_pid=$!
logs+=("program stdout:$work/app.out" "program stderr:$work/app.err" "feed server stderr:$work/server.err")

has_line() { grep -Fxq -- "$1" "$work/app.out"; }
# Waits for a line, giving up at once if the program has exited.
wait_line() { wait_for 20 bash -c 'grep -Fxq -- "$1" "$2" || ! kill -0 "$3" 2>/dev/null' _ "$1" "$work/app.out" "$app_pid" && has_line "$1"; }
check "installed program prints: $launch_line" wait_line "$launch_line"
check "installed program prints: [Quillet] Loaded 3 papers" wait_line "[Quillet] Loaded 3 papers"
check "no fetch or decode error reported" bash -c '! grep -Eq "^\[Quillet\] (Fetch|Decode) error" "$1"' _ "$work/app.out"
sleep 2
check "installed program still running a few seconds on" kill -0 "$app_pid"
stop "$app_pid"
app_pid=''

# --- removal
apt_get remove quillet >"$work/remove.log" 2>&1
check "apt-get remove quillet succeeds" test $? -eq 0 || logs+=("apt-get remove:$work/remove.log")
not_installed() { ! package_installed; }
check "dpkg no longer reports quillet installed" not_installed
check "/usr/bin/quillet is gone" test ! -e /usr/bin/quillet
check "/usr/share/applications/quillet.desktop is gone" test ! -e /usr/share/applications/quillet.desktop
check "/usr/share/icons/hicolor/scalable/apps/quillet.svg is gone" test ! -e /usr/share/icons/hicolor/scalable/apps/quillet.svg
finish
