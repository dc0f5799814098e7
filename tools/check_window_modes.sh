#!/usr/bin/env bash
# Checks the window modes of the real organiser from outside, as a user
# would see them: under a virtual X server with a window manager (openbox)
# and a notification area (trayer), driven with xdotool and looked at with
# xwininfo and xprop.
#
#   tools/check_window_modes.sh [ORGANISER] [SHOTS_DIR] [all|tray|strip]
#
# ORGANISER defaults to build-modes/bin/tarvokline; it is copied into a fresh
# program folder for each run, with a private XDG_RUNTIME_DIR. Screenshots of
# the whole screen (ImageMagick's import, when present) go to SHOTS_DIR,
# default: the folder of ORGANISER/../screenshots/window_modes.
#
# Tray mode, on a 1280 x 800 screen:
#   minimising unmaps the main window and drops it from the window manager's
#   client list (no taskbar button), and trayer embeds an icon; a right click
#   on it opens the tray menu, whose 恢复窗口 maps the window again; after
#   another minimise a left click on the icon does, and the icon goes; the
#   menu's 退出 asks "确认要退出程序？": Escape (Cancel) keeps the program
#   hidden in the tray, Return (OK) ends it with status 0.
# Strip mode (config.ini 最小化方式=1), on a 1280 x 800 and a 1024 x 768 screen:
#   minimising shows a 380 x 5 window at the top (left edge 800, or 644 where
#   800 would put part of it off the screen), kept above other windows; a
#   click on it maps the main window again and unmaps the strip. Then the
#   window is dragged to y = 40, parked at the top within a second, and
#   hides into the strip when another program's window takes the focus.
#
# Exit status: 0 when every check passed, 1 when one failed, 77 (skipped)
# when Xvfb, openbox, trayer, xdotool, xwininfo, xprop or iconv is missing.
set -uo pipefail
cd "$(dirname "$0")/.."

organiser=${1:-build-modes/bin/tarvokline}
shots=${2:-$(dirname "$organiser")/../screenshots/window_modes}
parts=${3:-all}  # all, tray or strip

for tool in Xvfb openbox trayer xdotool xwininfo xprop xmessage iconv; do
  if ! command -v "$tool" >/dev/null; then
    echo "check_window_modes: $tool missing; skipped (scripts/setup.sh installs it)"
    exit 77
  fi
done
if [ ! -x "$organiser" ]; then
  echo "check_window_modes: no organiser at $organiser" >&2
  exit 1
fi
mkdir -p "$shots"
shots=$(cd "$shots" && pwd)
organiser=$(cd "$(dirname "$organiser")" && pwd)/$(basename "$organiser")

. tools/x11_desktop.sh
work=$(mktemp -d)
passed=0
failed=0
trap 'stop_pids; rm -rf "$work"' EXIT

check() {  # check NAME COMMAND...: one check, counted
  local name=$1
  shift
  if "$@"; then
    echo "ok:   $name"
    passed=$((passed + 1))
  else
    echo "FAIL: $name"
    failed=$((failed + 1))
  fi
}

in_client_list() { xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -qiw "$(printf '0x%x' "$1")"; }
not_in_client_list() { ! in_client_list "$1"; }
shot() {
  if command -v import >/dev/null; then
    import -window root "$shots/$1.png" 2>/dev/null && echo "shot: $shots/$1.png"
  fi
}

desktop() {  # desktop WxH: Xvfb, openbox, trayer
  start_desktop "$1" trayer || exit 1
}

# start_organiser MODE: a fresh program folder with config.ini's 最小化方式
# (empty: no config.ini), the organiser started in it.
start_organiser() {
  local dir=$work/program-$RANDOM
  mkdir -p "$dir/program" "$dir/run"
  chmod 700 "$dir/run"
  cp "$organiser" "$dir/program/tarvokline"
  if [ -n "$1" ]; then
    printf '[最小化方式]\r\n最小化方式=%s\r\n' "$1" | iconv -f UTF-8 -t GBK >"$dir/program/config.ini"
  fi
  # No session bus: the notification area is the X one trayer offers.
  env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$dir/run" \
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} "$dir/program/tarvokline" >"$dir/organiser.log" 2>&1 &
  organiser_pid=$!
  pids+=("$organiser_pid")
  organiser_log=$dir/organiser.log
  main=""
  wait_for 30 eval 'main=$(find_window 870 520) && viewable "$main"'
  if [ -z "$main" ]; then
    echo "check_window_modes: the main window did not appear" >&2
    cat "$organiser_log" >&2
    return 1
  fi
  sleep 1  # the first paint
}

# Ends the organiser if it still runs; a sanitizer build's report in its
# output is a failure.
stop_organiser() {
  kill "$organiser_pid" 2>/dev/null || true
  wait "$organiser_pid" 2>/dev/null || true
  if grep -Eq 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$organiser_log"; then
    echo "FAIL: the organiser's sanitizer report:"
    sed 's/^/      /' "$organiser_log"
    failed=$((failed + 1))
  fi
}

click_at() {  # click_at WINDOW: a left click in its middle
  local x y w h
  read -r x y w h < <(geometry "$1")
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}

# --- tray mode -------------------------------------------------------------
# The tray menu: a viewable pop-up (override-redirect) window of the
# organiser's class.
tray_menu() {
  local id
  for id in $(xwininfo -root -children | awk '/^ +0x[0-9a-f]+ .*\("tarvokline" / {print $1}'); do
    [ "$(map_state "$id")" = IsViewable ] || continue
    xwininfo -id "$id" | grep -q 'Override Redirect State: yes' && { echo "$id"; return 0; }
  done
  return 1
}
has_tray_menu() { tray_menu >/dev/null; }
open_tray_menu() {  # a right click on the icon
  local icon x y w h
  icon=$(tray_icon)
  [ -n "$icon" ] || return 1
  read -r x y w h < <(geometry "$icon")
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 3
  wait_for 15 has_tray_menu
}

tray_run() {
  desktop 1280x800
  start_organiser "" || { failed=$((failed + 1)); stop_pids; return; }
  shot tray-1-shown
  check "tray: no icon while the window is shown" no_tray_icon
  xdotool windowminimize "$main"
  check "tray: minimising unmaps the main window" wait_for 15 unmapped "$main"
  check "tray: the window leaves the client list (no taskbar button)" wait_for 15 not_in_client_list "$main"
  check "tray: trayer embeds an icon" wait_for 15 has_tray_icon
  shot tray-2-minimised
  local icon menu x y w h
  icon=$(tray_icon)
  if [ -n "$icon" ]; then
    echo "      icon $icon at $(geometry "$icon")"
    # The right button opens the menu; its first item restores.
    open_tray_menu
    check "tray: a right click opens the tray menu" has_tray_menu
    shot tray-3-menu
    check "tray: ... and leaves the window hidden" unmapped "$main"
    menu=$(tray_menu)
    if [ -n "$menu" ]; then
      read -r x y w h < <(geometry "$menu")
      echo "      menu $menu at $x $y ${w}x$h"
      xdotool mousemove $((x + w / 2)) $((y + 12)) click 1
      check "tray: 恢复窗口 maps the window again" wait_for 15 viewable "$main"
      check "tray: ... and the icon goes" wait_for 15 no_tray_icon
    fi
    # Once more, with a left click on the icon.
    xdotool windowminimize "$main"
    wait_for 15 unmapped "$main"
    wait_for 15 has_tray_icon
    icon=$(tray_icon)
    [ -n "$icon" ] && click_at "$icon"
    check "tray: a click on the icon maps the window again" wait_for 15 viewable "$main"
    check "tray: the window is back in the client list" wait_for 15 in_client_list "$main"
    check "tray: the icon goes" wait_for 15 no_tray_icon
    shot tray-4-restored

    # 退出: the exit question; Cancel keeps everything, OK ends the program.
    xdotool windowminimize "$main"
    wait_for 15 has_tray_icon
    local answer
    for answer in Escape Return; do
      open_tray_menu
      menu=$(tray_menu)
      [ -n "$menu" ] || { check "tray: the menu for 退出" false; break; }
      read -r x y w h < <(geometry "$menu")
      xdotool mousemove $((x + w / 2)) $((y + h - 12)) click 1
      local question=""
      wait_for 15 eval 'question=$(xdotool search --onlyvisible --name "询问" 2>/dev/null | head -n 1); [ -n "$question" ]'
      check "tray: 退出 asks the exit question ($answer)" test -n "$question"
      [ "$answer" = Return ] && shot tray-5-exit-question
      [ -n "$question" ] && xdotool windowactivate --sync "$question" key "$answer" 2>/dev/null
      if [ "$answer" = Escape ]; then
        sleep 0.5
        check "tray: Cancel keeps the program running" kill -0 "$organiser_pid"
        check "tray: ... hidden in the tray" has_tray_icon
      else
        check "tray: OK ends the program" wait_for 15 sh -c "! kill -0 $organiser_pid 2>/dev/null"
        wait "$organiser_pid"
        check "tray: ... with exit status 0" test $? -eq 0
        check "tray: ... and the icon goes" wait_for 15 no_tray_icon
      fi
    done
  fi
  stop_organiser
  stop_pids
}

# --- strip mode ------------------------------------------------------------
strip_at() {  # strip_at X Y: the strip shown there, 380 x 5
  local id x y
  id=$(find_window 380 5) || return 1
  viewable "$id" || return 1
  read -r x y _ _ < <(geometry "$id")
  [ "$x" = "$1" ] && [ "$y" = "$2" ]
}
strip_gone() {
  local id
  id=$(find_window 380 5) || return 0
  unmapped "$id"
}
main_top_parked() {  # the window manager's frame top at 2
  local frame
  frame=$(xprop -id "$main" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *[0-9]*, *[0-9]*, *\([0-9]*\),.*/\1/p')
  read -r _ y _ _ < <(geometry "$main")
  [ $((y - ${frame:-0})) -eq 2 ]
}

strip_run() {  # strip_run WxH EXPECTED_LEFT
  local size=$1 left=$2
  desktop "$size"
  start_organiser 1 || { failed=$((failed + 1)); stop_pids; return; }
  xdotool windowminimize "$main"
  check "strip $size: minimising unmaps the main window" wait_for 15 unmapped "$main"
  check "strip $size: a 380x5 strip at ($left, 0)" wait_for 15 strip_at "$left" 0
  check "strip $size: no tray icon" no_tray_icon
  local strip
  strip=$(find_window 380 5)
  if [ -n "$strip" ]; then
    xprop -id "$strip" _NET_WM_STATE _NET_WM_WINDOW_TYPE | sed 's/^/      /'
    check "strip $size: kept above other windows" sh -c "xprop -id $strip _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE"
    check "strip $size: no taskbar button" sh -c "xprop -id $strip _NET_WM_WINDOW_TYPE _NET_WM_STATE | grep -Eq 'UTILITY|SKIP_TASKBAR'"
  fi
  shot "strip-$size-1-minimised"
  if [ -n "$strip" ]; then
    click_at "$strip"
    check "strip $size: a click on the strip maps the window again" wait_for 15 viewable "$main"
    check "strip $size: the strip goes" wait_for 15 strip_gone
    shot "strip-$size-2-restored"
  fi

  # Parked at the top, then another program takes the focus.
  xdotool windowactivate --sync "$main" 2>/dev/null
  xdotool windowmove "$main" 100 40
  check "strip $size: a window dragged near the top is parked at y = 2" wait_for 3 main_top_parked
  shot "strip-$size-3-parked"
  xmessage -geometry +300+400 'another program' &
  local other_pid=$!
  pids+=("$other_pid")
  local other=""
  wait_for 15 eval 'other=$(xdotool search --class xmessage 2>/dev/null | head -n 1); [ -n "$other" ] && viewable "$other"'
  [ -n "$other" ] && xdotool windowactivate "$other" 2>/dev/null
  check "strip $size: deactivation hides the parked window" wait_for 15 unmapped "$main"
  check "strip $size: ... into the strip" wait_for 15 strip_at "$left" 0
  shot "strip-$size-4-deactivated"
  stop_organiser
  stop_pids
}

case "$parts" in
  all | tray) tray_run ;;&
  all | strip) strip_run 1280x800 800; strip_run 1024x768 644 ;;
esac

echo "check_window_modes: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
