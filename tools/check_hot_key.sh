#!/usr/bin/env bash
# The summon hot key end to end on a virtual X server, pressed from outside
# with xdotool.
#   tools/check_hot_key.sh [BUILD_DIR]     (default build; needs its
#                                           bin/tarvokline and bin/hot_key_probe)
# 1. The organiser's window with its handlers (hot_key_probe --listen) over
#    a program folder whose config.ini holds Ctrl + Alt + Z: each press of
#    the combination reaches the window's toggle, with NumLock and CapsLock
#    off, on, and both on; other combinations do not; while it runs, another
#    client cannot take the combination, and can take a free one.
# 2. The organiser itself (a copy of bin/tarvokline in a fresh program
#    folder with that config.ini): after its start it holds the combination;
#    a press hides its window, the next (with NumLock on) shows it again.
# Exits 77 when Xvfb or xdotool is missing, 1 on a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

for tool in Xvfb xdotool iconv; do
  if ! command -v "$tool" >/dev/null; then
    echo "check_hot_key: $tool missing (scripts/setup.sh); skipped"
    exit 77
  fi
done
probe=$build/bin/hot_key_probe
organiser=$build/bin/tarvokline
for program in "$probe" "$organiser"; do
  [ -x "$program" ] || { echo "check_hot_key: $program not built" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "check_hot_key: FAILED: $*" >&2
  for log in "$work"/*.log "$work"/*.out; do
    [ -s "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
  done
  exit 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(tr -d '\n' <"$work/display")"
export QT_QPA_PLATFORM=xcb
# On xcb, libdbus keeps an allocation to the end of the process, which a
# sanitizer build would report as a leak.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
# Every process gets a private runtime folder; the organiser's marks its
# single instance.
mkdir -m 700 "$work/run-grab"
export XDG_RUNTIME_DIR="$work/run-grab"

# A program folder with Ctrl + Alt + Z (modifier code 5, key 90) stored.
program_folder() {
  mkdir -p "$1"
  printf '[全局热键]\r\n呼出热键=Ctrl + Alt + Z\r\n功能键1=5\r\n主热键1=90\r\n' | iconv -f UTF-8 -t GBK >"$1/config.ini"
}
# Waits up to 10 s for a line matching $2 in file $1.
wait_line() {
  for _ in $(seq 100); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
toggles() { grep -c '^toggle' "$work/probe.out" || true; }
# Presses $1 and expects $2 toggles in all, within 5 s.
press_expect() {
  xdotool key "$1"
  for _ in $(seq 50); do
    [ "$(toggles)" -ge "$2" ] && break
    sleep 0.1
  done
  sleep 0.3  # a second toggle for one press would show by now
  [ "$(toggles)" -eq "$2" ] || fail "after $1 ($3): $(toggles) toggles, expected $2"
  echo "check_hot_key: $1 ($3): toggle $2"
}
grab() { "$probe" --grab="$1" 2>>"$work/grab.log"; }

# 1. The window's handlers.
program_folder "$work/probe"
mkdir -m 700 "$work/run-probe"
XDG_RUNTIME_DIR="$work/run-probe" "$probe" --listen="$work/probe" --runtime="$work/run-probe" \
  --seconds=120 >"$work/probe.out" 2>"$work/probe.log" &
pids+=($!)
wait_line "$work/probe.out" '^registered\|^refused\|^start' || fail "the probe did not start"
grep -q '^registered 33001$' "$work/probe.out" || fail "the start-up did not register 33001"

press_expect ctrl+alt+z 1 "no locks"
xdotool key Num_Lock
press_expect ctrl+alt+z 2 "NumLock on"
xdotool key Caps_Lock
press_expect ctrl+alt+z 3 "NumLock and CapsLock on"
xdotool key Num_Lock
press_expect ctrl+alt+z 4 "CapsLock on"
xdotool key Caps_Lock
for other in ctrl+z alt+z ctrl+shift+alt+z ctrl+alt+x; do press_expect "$other" 4 "not the hot key"; done
press_expect ctrl+alt+z 5 "locks off again"

[ "$(grab 5,90)" = taken ] || fail "another client could take Ctrl + Alt + Z"
[ "$(grab 5,88)" = registered ] || fail "another client could not take Ctrl + Alt + X"
echo "check_hot_key: another client: Ctrl + Alt + Z taken, Ctrl + Alt + X free"
kill "${pids[-1]}"
wait "${pids[-1]}" 2>/dev/null || true
[ "$(grab 5,90)" = registered ] || fail "Ctrl + Alt + Z still held after the probe ended"

# 2. The organiser itself.
program_folder "$work/program"
cp "$organiser" "$work/program/"
mkdir -m 700 "$work/run"
XDG_RUNTIME_DIR="$work/run" "$work/program/tarvokline" >"$work/organiser.log" 2>&1 &
organiser_pid=$!
pids+=("$organiser_pid")
for _ in $(seq 100); do
  xdotool search --onlyvisible --pid "$organiser_pid" >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool search --onlyvisible --pid "$organiser_pid" >/dev/null 2>&1 || fail "the organiser showed no window"
[ "$(grab 5,90)" = taken ] || fail "the organiser does not hold Ctrl + Alt + Z after its start"
echo "check_hot_key: the organiser holds Ctrl + Alt + Z"
visible() { xdotool search --onlyvisible --pid "$organiser_pid" >/dev/null 2>&1; }
# Waits up to 5 s for the window to be shown ($1 = shown) or hidden.
window_becomes() {
  for _ in $(seq 50); do
    if visible; then [ "$1" = shown ] && return 0; else [ "$1" = hidden ] && return 0; fi
    sleep 0.1
  done
  return 1
}
xdotool key ctrl+alt+z
window_becomes hidden || fail "the organiser's window stayed shown after the hot key"
echo "check_hot_key: the organiser hid its window at the hot key"
xdotool key Num_Lock
xdotool key ctrl+alt+z
window_becomes shown || fail "the organiser's window stayed hidden after the hot key (NumLock on)"
xdotool key Num_Lock
echo "check_hot_key: the organiser showed its window again at the hot key (NumLock on)"
kill -0 "$organiser_pid" 2>/dev/null || fail "the organiser ended"
echo "check_hot_key: passed"
