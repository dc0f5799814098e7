#!/usr/bin/env bash
# Takes the pictures of the user guide (docs/guide.zh_CN.md, docs/guide.en.md)
# from the real organiser, driven as a user would drive it: a virtual X
# server with a window manager (openbox) and a notification area (trayer),
# mouse clicks and typing with xdotool, screenshots with ImageMagick's
# import, each cropped to the window (and its dialog or menu) it shows.
#
#   tools/make_guide_screenshots.sh [BUILD_DIR]     (default build)
#
# Uses BUILD_DIR/bin/tarvokline, built there first when missing. The organiser
# is copied into a fresh temporary program folder and started with a private
# XDG_RUNTIME_DIR and empty desktop folders (no program for spreadsheets, so
# an export shows the question to save it). Everything the pictures show is
# typed in through the window itself, Chinese text included (see type_text),
# except the contacts' workbook, which is written with python3-xlwt and
# imported through the import dialog. The dates shown are those of the day
# the script runs.
#
# The pictures go to docs/screenshots/*.png, replacing those there. Running it
# again gives the same pictures but for the dates. Exit status: 0 done, 1 a
# step failed (the log says which), 2 a tool is missing (scripts/setup.sh
# installs them all).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${1:-build}
out=$repo/docs/screenshots

for tool in Xvfb openbox trayer xdotool xwininfo xprop xkbcomp import convert fc-list; do
  command -v "$tool" >/dev/null || { echo "make_guide_screenshots: $tool missing (scripts/setup.sh)" >&2; exit 2; }
done
/usr/bin/python3 -c 'import xlwt' 2>/dev/null || { echo "make_guide_screenshots: python3-xlwt missing (scripts/setup.sh)" >&2; exit 2; }
[ -n "$(fc-list :lang=zh family)" ] || { echo "make_guide_screenshots: no CJK font (fonts-noto-cjk)" >&2; exit 2; }
if [ ! -x "$build/bin/tarvokline" ]; then
  [ -d "$build" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target tarvokline >/dev/null
fi
organiser=$(cd "$build/bin" && pwd)/tarvokline
mkdir -p "$out"

. tools/x11_desktop.sh
work=$(mktemp -d)
trap 'stop_pids; rm -rf "$work"' EXIT
fail() {
  echo "make_guide_screenshots: FAILED: $*" >&2
  if [ -n "${DISPLAY:-}" ]; then
    import -window root "${TMPDIR:-/tmp}/make_guide_screenshots-failed.png" 2>/dev/null &&
      echo "  the screen then: ${TMPDIR:-/tmp}/make_guide_screenshots-failed.png" >&2
  fi
  [ -s "${organiser_log:-/dev/null}" ] && sed 's/^/  organiser: /' "$organiser_log" >&2
  exit 1
}

# --- the desktop -------------------------------------------------------------
start_desktop 1280x800 trayer || fail "no desktop"

# The keyboard map of the server, for type_text.
xkbcomp -w0 "$DISPLAY" "$work/keymap.xkb" 2>/dev/null || fail "xkbcomp could not read the keyboard map"
cat >"$work/keymap.py" <<'PY'
# keymap.py BASE.xkb PREFIX TEXT: splits TEXT into pieces whose characters
# beyond ASCII fit on the key codes that BASE leaves free or gives to XF86
# function keys; writes PREFIX-N.xkb, BASE with those characters on those
# keys, for piece N, and prints the pieces, one a line.
import re
import sys

src = open(sys.argv[1], encoding="utf-8", errors="replace").read()
prefix, text = sys.argv[2], sys.argv[3]
keycodes = re.search(r"xkb_keycodes[^{]*\{(.*?)\n\};", src, re.S).group(1)
codes = dict(re.findall(r"<([^>]+)>\s*=\s*(\d+)\s*;", keycodes))
aliases = dict(re.findall(r"alias\s*<([^>]+)>\s*=\s*<([^>]+)>\s*;", keycodes))
symbols = re.search(r"xkb_symbols[^{]*\{", src)
head, body = src[: symbols.end()], src[symbols.end() :]
blocks = list(re.finditer(r"\n\s*key\s*<([^>]+)>\s*\{[^}]*\};", body))


def real(name):
    return aliases.get(name, name)


taken = {real(b.group(1)) for b in blocks}
spare = {real(b.group(1)) for b in blocks if "XF86" in b.group(0)}
for b in reversed(blocks):
    if real(b.group(1)) in spare:
        body = body[: b.start()] + body[b.end() :]
free = sorted(n for n, c in codes.items() if (n not in taken or n in spare) and 8 <= int(c) <= 255)
if not free:
    sys.exit("no free key codes")
pieces, piece, chars = [], "", []
for c in text:
    if ord(c) > 127 and c not in chars:
        if len(chars) == len(free):
            pieces.append((piece, chars))
            piece, chars = "", []
        chars.append(c)
    piece += c
pieces.append((piece, chars))
for i, (piece, chars) in enumerate(pieces):
    keys = "".join("\n    key <%s> { [ U%04X ] };" % (free[k], ord(c)) for k, c in enumerate(chars))
    with open("%s-%d.xkb" % (prefix, i), "w", encoding="utf-8") as f:
        f.write(head + keys + body)
    print(piece)
PY

# A home of its own: no desktop program for spreadsheets, no settings of the
# user's desktop.
mkdir -p "$work/home/Documents" "$work/share" "$work/config" "$work/run" "$work/program"
chmod 700 "$work/run"
cp "$organiser" "$work/program/tarvokline"
export HOME=$work/home XDG_DATA_HOME=$work/share XDG_DATA_DIRS=$work/share XDG_CONFIG_HOME=$work/config
export XDG_CONFIG_DIRS=$work/config XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
unset DBUS_SESSION_BUS_ADDRESS

# --- windows -------------------------------------------------------------------
frame_geometry() {  # "X Y W H" with the window manager's frame
  local x y w h l r t b
  read -r x y w h < <(geometry "$1")
  read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null |
    sed -n 's/.*= *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1 \2 \3 \4/p')
  echo $((x - ${l:-0})) $((y - ${t:-0})) $((w + ${l:-0} + ${r:-0})) $((h + ${t:-0} + ${b:-0}))
}
find_main() { find_window 870 520; }  # the main window
# The organiser's other visible top-level windows (dialogs, message boxes),
# newest last.
dialogs() {
  local id w h
  for id in $(xdotool search --onlyvisible --pid "$organiser_pid" 2>/dev/null); do
    [ "$id" = "${main:-}" ] && continue
    read -r _ _ w h < <(geometry "$id")
    if [ "$w" -ge 60 ] && [ "$h" -ge 40 ] && [ "$w" != 870 ]; then echo "$id"; fi
  done
  return 0
}
dialog() { dialogs | tail -n 1; }
has_dialog() { [ -n "$(dialog)" ]; }
no_dialog() { [ -z "$(dialog)" ]; }
override_redirect() {  # a pop-up: no frame of the window manager
  local info
  info=$(xwininfo -id "$1" 2>/dev/null) || return 1
  [[ $info == *"Override Redirect State: yes"* ]]
}
# The organiser's visible pop-up menu.
popup_menu() {
  local id w h
  for id in $(xwininfo -root -children | awk '/^ +0x[0-9a-f]+ .*\("tarvokline" / {print $1}'); do
    viewable "$id" || continue
    override_redirect "$id" || continue
    read -r _ _ w h < <(geometry "$id")
    [ "$w" -ge 40 ] && [ "$h" -ge 15 ] && { echo "$id"; return 0; }
  done
  return 1
}
has_menu() { popup_menu >/dev/null; }

# start_organiser: the organiser in the program folder; waits for its window
# (or, with "prompt", for the password box that comes first).
start_organiser() {
  organiser_log=$work/organiser-$((++starts)).log
  (cd "$HOME" && exec "$work/program/tarvokline") >"$organiser_log" 2>&1 &
  organiser_pid=$!
  pids+=("$organiser_pid")
  main=""
  if [ "${1:-}" = prompt ]; then
    wait_for 30 has_dialog || fail "no password box at the start"
    sleep 0.5
    return
  fi
  wait_for_main
}
wait_for_main() {
  wait_for 30 eval 'main=$(find_main) && viewable "$main"' || fail "the main window did not appear"
  read -r wx wy _ _ < <(geometry "$main")
  sleep 1  # the first paint
}
starts=0

# Stops the organiser the way a user does: Esc, then OK to the question.
quit_organiser() {
  xdotool windowactivate --sync "$main" 2>/dev/null || true
  xdotool key Escape
  wait_for 5 has_dialog || fail "no exit question"
  xdotool key Return
  wait_for 10 sh -c "! kill -0 $organiser_pid 2>/dev/null" || fail "the organiser did not end"
  wait "$organiser_pid" 2>/dev/null || true
}

# Mouse and keyboard, in the main window's coordinates (those of the form).
click() { xdotool mousemove $((wx + $1)) $((wy + $2)) click 1; sleep 0.4; }
right_click() { xdotool mousemove $((wx + $1)) $((wy + $2)) click 3; sleep 0.4; }
double_click() { xdotool mousemove $((wx + $1)) $((wy + $2)) click --repeat 2 --delay 80 1; sleep 0.4; }
hover() { xdotool mousemove $((wx + $1)) $((wy + $2)); sleep 0.6; }
# In the dialog's coordinates.
dialog_click() {
  local x y
  read -r x y _ _ < <(geometry "$1")
  xdotool mousemove $((x + $2)) $((y + $3)) click 1
  sleep 0.4
}
# Text, Chinese included. xdotool types a character that has no key by
# giving a spare key code that character for a moment, and a window that
# reads the changed keyboard map too late gets the key code's old meaning: a
# lost character. So every character of the text gets a key of its own
# before the typing starts: the keyboard map of the server, taken at the
# start, with those characters on key codes that have no symbols (or only
# the XF86 function keys' symbols), is loaded with xkbcomp; a text with more
# characters than free key codes goes in pieces.
type_text() {
  local piece n=0
  /usr/bin/python3 "$work/keymap.py" "$work/keymap.xkb" "$work/keymap-text" "$1" >"$work/pieces" ||
    fail "no keyboard map for the text"
  while IFS= read -r piece; do
    xkbcomp -w0 "$work/keymap-text-$n.xkb" "$DISPLAY" 2>>"$work/xkbcomp.log" || fail "xkbcomp"
    n=$((n + 1))
    sleep 0.5  # the window takes the new map
    xdotool type --delay 30 -- "$piece"
  done <"$work/pieces"
  sleep 0.3
}
key() { xdotool key "$@"; sleep 0.3; }
# The item N (1-based) of the pop-up menu that is open.
choose_menu_item() {
  wait_for 5 has_menu || fail "no menu open"
  local i
  for ((i = 0; i < $1; i++)); do xdotool key Down; sleep 0.1; done
  key Return
}

# shot NAME [WINDOW...]: the main window with its frame, together with the
# windows given, into docs/screenshots/NAME.png.
shot() {
  local name=$1
  shift
  sleep 0.6
  local x0=100000 y0=100000 x1=0 y1=0 x y w h id
  for id in "$main" "$@"; do
    [ -n "$id" ] || continue
    if override_redirect "$id"; then
      read -r x y w h < <(geometry "$id")
    else
      read -r x y w h < <(frame_geometry "$id")
    fi
    ((x < x0)) && x0=$x
    ((y < y0)) && y0=$y
    ((x + w > x1)) && x1=$((x + w))
    ((y + h > y1)) && y1=$((y + h))
  done
  shot_area "$name" "$x0" "$y0" $((x1 - x0)) $((y1 - y0))
}
shot_area() {  # shot_area NAME X Y W H, on the screen
  import -window root -crop "$4x$5+$2+$3" +repage "$work/shot.png"
  convert "$work/shot.png" -strip PNG8:"$out/$1.png" 2>/dev/null ||
    convert "$work/shot.png" -strip "$out/$1.png"
  echo "shot: docs/screenshots/$1.png"
}

# --- places in the form (main window coordinates) -------------------------------
# Left page control at (8, 8), its pages' units relative to it; right page
# control at (437, 8). Tabs: the strips at their sides.
TAB_CALENDAR="20 30"; TAB_SETTINGS="20 92"
TAB_MONTH="46 55"; TAB_WEEK="46 145"
TAB_TODAY="842 32"; TAB_OVERVIEW="842 90"; TAB_MEMO="842 160"; TAB_CONTACTS="842 228"
DIARY="635 206"; EVENTS="635 418"; MEMO="636 273"
KEYWORD="200 301"
DIARY_HITS="90 340"; EVENT_HITS="205 340"; MEMO_HITS="318 335"; CONTACT_HITS="318 372"
EXPORT_RESULTS="394 361"; EXPORT_ALL="394 439"
HOT_KEY_BOX="259 49"; HOT_KEY_BUTTON="379 47"
RADIO_MONTH="140 129"; RADIO_TODAY="89 179"
PROTECT="98 251"
RADIO_TRAY="172 415"; RADIO_STRIP="307 415"
CONTACT_GRID="634 300"
GROUP_ALL="466 466"; GROUP_AD="506 466"; GROUP_UZ="706 466"; IMPORT="781 466"
# The contacts grid's row R (1-based), its name column.
contact_row() { echo 534 $((101 + 30 * ($1 - 1))); }
# The calendar's day in row R (0..5), column C (0 Monday .. 6 Sunday).
day_cell() { echo $((84 + 52 * $2)) $((71 + (67 * $1) / 2)); }
# The week view's row R (1..7, 4 today), its diary column.
week_cell() { echo 195 $((59 + 33 * ($1 - 1))); }

# --- the data the pictures show ---------------------------------------------------
/usr/bin/python3 - "$HOME/通讯录.xls" <<'EOF'
import sys
import xlwt

book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("Sheet1")
rows = [
    ("姓名", "电话", "备注", "邮箱"),
    ("陈静", "13812345678", "大学同学", "chenjing@example.com"),
    ("高峰", "13987654321", "同事，销售部", ""),
    ("李娜", "021-62345678", "楼下邻居", ""),
    ("马丽", "13600001111", "小王的姐姐", ""),
    ("孙伟", "13700002222", "周六一起打球", ""),
    ("张磊", "13911112222", "表哥", ""),
]
for r, row in enumerate(rows):
    for c, value in enumerate(row):
        sheet.write(r, c, value)
book.save(sys.argv[1])
EOF

# ================================================================================
# 1. The first start: a fresh program folder.
start_organiser
shot 01-first-start

# 2. The diary of today, on the today page beside the month view.
click $TAB_MONTH
click $TAB_TODAY
click $DIARY
type_text "早上跑步五公里，天气晴。"
key Return
type_text "中午和小王一起吃饭，他下个月结婚。"
key Return
type_text "晚上读完了《平凡的世界》第一部。"
shot 02-diary

# 3. Periodic events: the right-click menu, the add dialog, the list.
right_click $EVENTS
wait_for 5 has_menu || fail "no menu over the event list"
shot 03-event-menu "$(popup_menu)"
key Escape
add_event() {  # add_event PERIOD UNIT_INDEX(0 年 1 月 2 周 3 日) TEXT [SHOT]
  right_click $EVENTS
  choose_menu_item 1
  wait_for 5 has_dialog || fail "no add dialog"
  local d
  d=$(dialog)
  dialog_click "$d" 126 77
  type_text "$1"
  key Tab
  local i
  for ((i = 0; i < $2; i++)); do key Down; done
  dialog_click "$d" 127 170
  type_text "$3"
  [ -n "${4:-}" ] && shot "$4" "$d"
  dialog_click "$d" 72 248
  wait_for 5 no_dialog || fail "the add dialog stayed open"
}
add_event 1 2 "去健身房，带上游泳镜" 04-event-add
add_event 1 0 "小王的生日，记得打电话"
add_event 1 1 "交房租和水电费"
add_event 3 3 "给阳台的花浇水"
click $DIARY
shot 05-today

# 4. Diary entries on the days before, through the week view.
click $TAB_WEEK
for row in 3 2 1; do
  click $(week_cell $row)
  case $row in
    3) type_text "去图书馆还书，借了两本小说。" ;;
    2) type_text "加班到九点，项目终于上线了。" ;;
    1) type_text "和爸妈视频，他们下周来看我。" ;;
  esac
done
click $(week_cell 4)
right_click $(week_cell 4)
choose_menu_item 1
shot 06-week

# 5. The month view: another day chosen, the lunar line of the day under the
# mouse, and the 今日 menu with 回到今日.
click $TAB_MONTH
click $(day_cell 2 2)
hover $(day_cell 3 4)
shot 07-calendar
right_click $(day_cell 3 4)
wait_for 5 has_menu || fail "no 今日 menu"
shot 08-back-to-today "$(popup_menu)"
choose_menu_item 1

# 6. The overview.
click $TAB_OVERVIEW
shot 09-overview

# 7. The memo.
click $TAB_MEMO
click $MEMO
type_text "购物清单：牛奶、鸡蛋、白菜、豆腐"
key Return
type_text "还小王的书：《活着》"
key Return
type_text "宽带账号：0571-88886666，密码在抽屉里"
shot 10-memo

# 8. Contacts: the import from a workbook, the letter groups, the grid's menu.
click $TAB_CONTACTS
click $IMPORT
wait_for 5 has_dialog || fail "no import dialog"
import_dialog=$(dialog)
dialog_click "$import_dialog" 464 44  # 选择
wait_for 5 eval '[ "$(dialog)" != "$import_dialog" ]' || fail "no file dialog"
type_text "通讯录.xls"
key Return
wait_for 5 eval '[ "$(dialog)" = "$import_dialog" ]' || fail "the file dialog stayed open"
# The columns 姓名, 电话, 备注 ticked; 邮箱 has no field of its name.
dialog_click "$import_dialog" 100 94
key space
key Down space
key Down space
shot 11-import-columns "$import_dialog"
dialog_click "$import_dialog" 389 313  # 开始
wait_for 10 eval '[ "$(dialog)" != "$import_dialog" ]' || fail "no message after the import"
key Return
wait_for 5 no_dialog || fail "the import dialog stayed open"

# A contact typed in: the grid's menu, 新增联系人, then the cells of the new,
# empty row at the end (the cursor stays where it was: typing at once would
# overwrite the contact there).
right_click $CONTACT_GRID
wait_for 5 has_menu || fail "no menu over the contacts"
shot 12-contact-menu "$(popup_menu)"
choose_menu_item 1
click $(contact_row 7)
type_text "王小明"
key Tab
type_text "13566667777"
key Tab
type_text "小王，高中同学"
key Return
click $GROUP_ALL
shot 13-contacts
click $GROUP_UZ
shot 14-contact-group
click $GROUP_ALL

# 9. The search, and a jump to a contact found.
click $KEYWORD
type_text "小王"
key Return
shot 15-search
click $CONTACT_HITS
shot 16-search-contact

# 10. Exports: no program for spreadsheets here, so the organiser offers to
# save the workbook.
click $EXPORT_ALL
wait_for 10 has_dialog || fail "no question after the export"
shot 17-export-question "$(dialog)"
key Return
wait_for 5 eval 'd=$(dialog); [ -n "$d" ] && [ "$(xwininfo -id "$d" | sed -n "s/^ *Width: //p")" -gt 450 ]' ||
  fail "no save dialog"
key Return
wait_for 5 has_dialog || fail "no message after saving"
shot 18-export-saved "$(dialog)"
key Return
wait_for 5 no_dialog || fail "a message stayed open"
ls "$HOME/Documents/"*.xlsx >/dev/null || fail "no workbook saved"

# 11. Settings: the hot key, the default pages, the password.
click $TAB_SETTINGS
click $HOT_KEY_BOX
key ctrl+alt+z
click $HOT_KEY_BUTTON
wait_for 5 has_dialog || fail "no message after 注册热键"
shot 19-hot-key "$(dialog)"
key Return
wait_for 5 no_dialog || fail "a message stayed open"
click $RADIO_MONTH
click $RADIO_TODAY
shot 20-settings
click $PROTECT
wait_for 5 has_dialog || fail "no password box"
type_text "1234"
shot 21-protect "$(dialog)"
key Return
wait_for 5 has_dialog || fail "no message after protecting"
key Return
wait_for 5 no_dialog || fail "a message stayed open"
click $TAB_CALENDAR

# 12. The tray: the window minimised, the icon's menu.
xdotool windowminimize "$main"
wait_for 5 unmapped "$main" || fail "the window did not hide"
wait_for 5 has_tray_icon || fail "no tray icon"
read -r x y w h < <(geometry "$(tray_icon)")
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 3
wait_for 5 has_menu || fail "no tray menu"
shot_area 22-tray 1040 700 240 100
choose_menu_item 1
wait_for 5 viewable "$main" || fail "恢复窗口 did not restore the window"
click $TAB_SETTINGS
click $RADIO_STRIP
quit_organiser

# 13. The next start: the password first; then the strip mode chosen above.
start_organiser prompt
shot 23-password-start "$(dialog)"
type_text "1234"
key Return
wait_for_main
xdotool windowminimize "$main"
wait_for 5 unmapped "$main" || fail "the window did not hide"
sleep 1
shot_area 24-strip 560 0 720 40
xdotool mousemove 990 2 click 1
wait_for 5 viewable "$main" || fail "the strip did not restore the window"
quit_organiser

echo "make_guide_screenshots: done"
