# What the scripts that drive the organiser under a virtual X server share:
# the desktop (Xvfb, openbox, trayer), waiting, and finding windows and the
# tray icon. Sourced, not run:
#
#   . tools/x11_desktop.sh
#
# The caller keeps the processes it starts in the array `pids` (stop_pids
# ends them, newest first) and names a folder `work` for the logs.

pids=()

# Ends the processes of `pids`, newest first.
stop_pids() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[$i]}" 2>/dev/null || true
    wait "${pids[$i]}" 2>/dev/null || true
  done
  pids=()
}

wait_for() {  # wait_for SECONDS COMMAND...: polls every 0.05 s
  local tries=$(($1 * 20)) t
  shift
  for ((t = 0; t < tries; t++)); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}

# start_desktop WxH [trayer]: a virtual X server of that size with openbox
# (and trayer's notification area at the bottom right); exports DISPLAY.
# Fails, with the server's log on standard error, when one does not start.
start_desktop() {
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  if ! wait_for 10 test -s "$work/display"; then
    echo "Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    return 1
  fi
  DISPLAY=":$(tr -d '\n' <"$work/display")"
  export DISPLAY
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  pids+=($!)
  wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window' ||
    { echo "openbox did not start" >&2; return 1; }
  [ "${2:-}" = trayer ] || return 0
  trayer --edge bottom --align right --widthtype pixel --width 120 --height 28 \
    --transparent false --tint 0x404040 --SetDockType true >"$work/trayer.log" 2>&1 &
  pids+=($!)
  wait_for 10 sh -c 'xwininfo -root -tree | grep -qi "\"panel\""' ||
    { echo "trayer did not start" >&2; return 1; }
}

map_state() { xwininfo -id "$1" 2>/dev/null | sed -n 's/^ *Map State: //p'; }
viewable() { [ "$(map_state "$1")" = IsViewable ]; }
unmapped() { [ "$(map_state "$1")" != IsViewable ]; }
geometry() {  # "X Y W H" of a window's inside on the screen
  xwininfo -id "$1" 2>/dev/null | awk '
    /Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
    /^ *Width:/ {w=$2} /^ *Height:/ {h=$2} END {print x, y, w, h}'
}

# find_window W H [--onlyvisible]: the organiser's top-level window of that
# size (Qt puts windows of its own under the top-level ones, so the search
# goes by name and size).
find_window() {
  local id w h
  for id in $(xdotool search ${3:-} --name 'Tarvokline' 2>/dev/null); do
    read -r _ _ w h < <(geometry "$id")
    if [ "$w" = "$1" ] && [ "$h" = "$2" ]; then echo "$id"; return 0; fi
  done
  return 1
}

# The icon trayer embeds: a visible child window of the panel of an icon's
# size.
tray_icon() {
  local panel id w h
  panel=$(xwininfo -root -tree | awk '/"panel"/ {print $1; exit}')
  [ -n "$panel" ] || return 1
  for id in $(xwininfo -tree -id "$panel" | awk '/^ +0x[0-9a-f]+ .*[0-9]+x[0-9]+\+/ {print $1}'); do
    read -r _ _ w h < <(geometry "$id")
    if viewable "$id" && [ "$w" -ge 8 ] && [ "$w" -le 64 ] && [ "$h" -ge 8 ] && [ "$h" -le 64 ]; then
      echo "$id"
      return 0
    fi
  done
  return 1
}
has_tray_icon() { tray_icon >/dev/null; }
no_tray_icon() { ! tray_icon >/dev/null; }
