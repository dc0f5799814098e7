#!/usr/bin/env bash
# Sets up, builds and starts the organiser.
#
# The organiser keeps its data (data/, config.ini, pic/) beside its
# executable. So that a rebuild or a removed build tree never takes a diary
# with it, the freshly built executable is copied into the user's data
# folder (${XDG_DATA_HOME:-~/.local/share}/tarvokline) and started there:
# the same folder an installed copy keeps its data in.
#
# Without a desktop session (no DISPLAY, no WAYLAND_DISPLAY) it runs on a
# virtual X server, which is only good for a look through a screenshot
# (tools/screenshot.sh organiser).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release

data_home=${XDG_DATA_HOME:-}
case "$data_home" in /*) ;; *) data_home=$HOME/.local/share ;; esac
home=$data_home/tarvokline
mkdir -p "$home"
chmod 700 "$home"
install -m 755 build/bin/tarvokline "$home/tarvokline.new"
mv -f "$home/tarvokline.new" "$home/tarvokline"
echo "run: starting $home/tarvokline (its data live in $home)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no desktop session here; starting on a virtual X server (Ctrl+C ends it)"
  exec xvfb-run -a "$home/tarvokline"
fi
exec "$home/tarvokline"
