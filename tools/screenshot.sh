#!/usr/bin/env bash
# Takes screenshots of our windows under a virtual X server with the CJK font
# the set-up script installs. Look at the pictures.
#   tools/screenshot.sh calendar    [BUILD_DIR] [OUT.png]
#     the lunar month calendar on October 2014 (the leap ninth month);
#     OUT.png defaults to BUILD_DIR/screenshots/lunar_calendar_2014_10.png
#   tools/screenshot.sh main-window [BUILD_DIR] [OUT.png]
#     the main window with the calendar on 24 October 2014: four pictures, one
#     per pair of pages (month view + today, week view + overview, settings +
#     memo, month view + contacts): OUT.png (default
#     BUILD_DIR/screenshots/main_window.png), and beside it
#     OUT-week-overview.png, OUT-settings-memo.png, OUT-contacts.png
# BUILD_DIR defaults to build; ui_tests is built there if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-}
build=${2:-build}
case "$what" in
  calendar) out=${3:-$build/screenshots/lunar_calendar_2014_10.png}; screen=640x400x24 ;;
  main-window) out=${3:-$build/screenshots/main_window.png}; screen=1024x640x24 ;;
  *) echo "usage: tools/screenshot.sh calendar|main-window [BUILD_DIR] [OUT.png]" >&2; exit 2 ;;
esac

for tool in Xvfb fc-list; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool missing (scripts/setup.sh)" >&2; exit 1; }
done
if ! fc-list :lang=zh family | grep -q .; then
  echo "screenshot: no CJK font (fonts-noto-cjk, scripts/setup.sh)" >&2
  exit 1
fi
if [ ! -d "$build" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target ui_tests >/dev/null
mkdir -p "$(dirname "$out")"

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# -displayfd: the server picks a free display and writes its number. The
# screen is larger than the window, which is centred on it.
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "screenshot: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
display=":$(tr -d '\n' <"$work/display")"

# On xcb, libdbus keeps an allocation to the end of the process, which a
# sanitizer build would report as a leak; the offscreen tests have none.
DISPLAY=$display QT_QPA_PLATFORM=xcb ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} \
  "$build/bin/ui_tests" --screenshot-"$what"="$out"
