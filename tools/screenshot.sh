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
#   tools/screenshot.sh first-start [BUILD_DIR] [OUT.png]
#     the organiser itself at its first start, from a fresh program folder
#     (a copy of the executable in a temporary folder); the whole screen.
#     OUT.png defaults to BUILD_DIR/screenshots/first_start.png
#   tools/screenshot.sh organiser   [BUILD_DIR] [OUT.png]
#     the organiser with ten days of diary, events and contacts on 12 May
#     2013: OUT.png (month view, today), OUT-week-overview.png,
#     OUT-contacts-group.png (the A-D group), OUT-add-event.png (the add
#     dialog); OUT.png defaults to BUILD_DIR/screenshots/organiser.png
# BUILD_DIR defaults to build; what is shown is built there if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-}
build=${2:-build}
case "$what" in
  calendar) out=${3:-$build/screenshots/lunar_calendar_2014_10.png}; screen=640x400x24 ;;
  main-window) out=${3:-$build/screenshots/main_window.png}; screen=1024x640x24 ;;
  first-start) out=${3:-$build/screenshots/first_start.png}; screen=1024x640x24 ;;
  organiser) out=${3:-$build/screenshots/organiser.png}; screen=1024x640x24 ;;
  *) echo "usage: tools/screenshot.sh calendar|main-window|first-start|organiser [BUILD_DIR] [OUT.png]" >&2; exit 2 ;;
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
case "$what" in
  first-start) target=tarvokline ;;
  organiser) target=app_tests ;;
  *) target=ui_tests ;;
esac
cmake --build "$build" --target "$target" >/dev/null
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

if [ "$what" = first-start ]; then
  command -v import >/dev/null || { echo "screenshot: import missing (imagemagick)" >&2; exit 1; }
  mkdir "$work/program"
  cp "$build/bin/tarvokline" "$work/program/"
  DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} \
    "$work/program/tarvokline" 2>"$work/organiser.log" &
  organiser_pid=$!
  # The window is up once the data folder is there and the screen shows it.
  for _ in $(seq 100); do
    [ -f "$work/program/data/lxr35.edb" ] && break
    sleep 0.1
  done
  sleep 2
  DISPLAY=$display import -window root "$out"
  kill "$organiser_pid" 2>/dev/null || true
  wait "$organiser_pid" 2>/dev/null || true
  echo "screenshot: $out"
  exit 0
fi

# On xcb, libdbus keeps an allocation to the end of the process, which a
# sanitizer build would report as a leak; the offscreen tests have none.
DISPLAY=$display QT_QPA_PLATFORM=xcb ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} \
  "$build/bin/$target" --screenshot-"$what"="$out"
