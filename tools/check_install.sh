#!/usr/bin/env bash
# Checks the installation and the Debian package of a build tree:
#   1. cmake --install into a staging root: the programs, the desktop entry,
#      the AppStream metainfo and the icons land under /usr, and both
#      validators accept what was installed;
#   2. the installed organiser, started under a virtual X server, keeps its
#      data in the user's data folder and writes nothing beside itself;
#   3. cpack makes the .deb, whose dependencies were computed from the
#      libraries the programs use, and apt accepts it for installation
#      (a simulated install; the real one is `apt-get install ./<deb>`).
#
#   tools/check_install.sh BUILD_DIR
# Exit status 0 when every check passed, 1 when one failed, 77 (skipped)
# when a validator, Xvfb, cpack's dpkg tools or apt-get is missing.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
for tool in desktop-file-validate appstreamcli Xvfb dpkg-deb dpkg-shlibdeps apt-get; do
  if ! command -v "$tool" >/dev/null; then
    echo "check_install: $tool missing; skipped (scripts/setup.sh installs it)"
    exit 77
  fi
done
build=$(cd "$build" && pwd)
work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
failed=0
check() {  # check "what" command...
  local what=$1
  shift
  if "$@" >"$work/out" 2>&1; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    sed 's/^/     /' "$work/out"
    failed=1
  fi
}

# 1. The staging root.
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null || { echo "FAIL cmake --install"; exit 1; }
id=org.tarvokline.Tarvokline
for f in bin/tarvokline bin/tarvokline-edb bin/tarvokline-cal share/tarvokline/installed \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
         share/icons/hicolor/256x256/apps/$id.png; do
  check "installed /usr/$f" test -s "$root/usr/$f"
done
check "desktop entry validates" desktop-file-validate "$root/usr/share/applications/$id.desktop"
check "metainfo validates" appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
check "the icon named by the desktop entry is installed" \
  grep -qx "Icon=$id" "$root/usr/share/applications/$id.desktop"

# 2. The installed organiser's data folder. The staging root is writable,
#    as /usr/bin is for root: the marker alone must keep the data out.
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
unset XDG_DATA_HOME
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb "$root/usr/bin/tarvokline" >"$work/organiser.log" 2>&1 &
organiser=$!
data=$HOME/.local/share/tarvokline
for _ in $(seq 1 100); do
  [ -s "$data/data/lxr35.edb" ] && [ -s "$data/config.ini" ] && break
  sleep 0.1
done
sleep 0.5
check "the installed organiser runs" kill -0 "$organiser"
kill "$organiser" 2>/dev/null
wait "$organiser" 2>/dev/null
check "its data live in the user's data folder" test -s "$data/data/rz35.edb"
check "the data folder is the user's alone" test "$(stat -c %a "$data")" = 700
check "nothing is written beside the program" test ! -e "$root/usr/bin/data"

# 3. The package.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1) ||
  { echo "FAIL cpack"; cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/tarvokline_*.deb 2>/dev/null | head -1)
check "cpack made a .deb" test -s "$deb"
check "its dependencies were computed" sh -c "dpkg-deb -f '$deb' Depends | grep -q libqt6widgets6"
check "it holds the organiser and its desktop entry" \
  sh -c "dpkg-deb -c '$deb' | grep -q './usr/bin/tarvokline\$' && dpkg-deb -c '$deb' | grep -q '$id.desktop'"
check "apt accepts it for installation" apt-get install -s -qq "$deb"
exit $failed
