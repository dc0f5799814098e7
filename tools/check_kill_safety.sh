#!/usr/bin/env bash
# Kills the real organiser with SIGKILL while the user types, many times in a
# row on the same data folder, and checks after every kill that nothing that
# had been saved is lost and nothing is damaged.
#
#   tools/check_kill_safety.sh [ORGANISER] [CYCLES] [SHOTS_DIR]
#
# ORGANISER defaults to build/bin/tarvokline; tarvokline-edb is taken from
# the same folder. CYCLES (when empty or left out: $KILL_CYCLES, else 12) is
# the number of kills. The organiser is copied once into a fresh program folder and started
# there for every cycle, with a private XDG_RUNTIME_DIR, under a virtual X
# server with a window manager (openbox), and typed into with xdotool.
#
# A cycle types into the diary box of the today page (编辑框_本日志) or, every
# third cycle, into the memo box (编辑框备忘便签, page 2 of 选择夹右侧; the
# page comes up first through config.ini's 默认视图/右侧). It reads the stored
# text S0 with `tarvokline-edb dump`, starts the organiser, puts the cursor
# at the end of the box and types a first part A of ASCII words and Chinese
# characters; it waits until the dump shows S0 followed by A and no longer
# changes: that text C is confirmed saved. While the stored text is shorter
# than 700 characters, ASCII filler goes before A, so that the text soon
# spans several blocks of the companion file. Then it types a second part B
# in the background, at the end of the box or, every second cycle, at its
# very beginning (so that every keystroke rewrites the whole text), and
# kills the organiser after a random delay. Afterwards:
#   - `tarvokline-edb check` passes on all four tables, and each dumps
#     (unused space, which a kill in the middle of a write may leave and
#     check lists without failing, is counted);
#   - the stored text is C with a beginning of B after it (or before it);
#   - no temporary or journal file is left in data/.
# The next cycle starts from what is stored.
#
# xdotool types a character missing from the keyboard map by binding it to
# a spare key for the moment; under Xvfb the program sometimes reads that
# key before the binding has reached it and the character is dropped. So
# part A may arrive with Chinese characters missing or, rarely, otherwise
# altered (C is then whatever stable text the dump shows, which must still
# begin with S0; such cycles are counted), while part B, whose every
# keystroke must be accounted for, is typed in ASCII only.
#
# A screenshot of the first diary cycle goes to SHOTS_DIR (default: the
# folder of ORGANISER/../screenshots/kill_safety) when ImageMagick's import
# is present.
#
# Exit status: 0 when every cycle passed, 1 when one failed, 77 (skipped)
# when Xvfb, openbox, xdotool, xwininfo, python3 or iconv is missing.
set -uo pipefail
cd "$(dirname "$0")/.."

organiser=${1:-build/bin/tarvokline}
cycles=${2:-${KILL_CYCLES:-12}}
shots=${3:-$(dirname "$organiser")/../screenshots/kill_safety}

for tool in Xvfb openbox xdotool xwininfo python3 iconv; do
  if ! command -v "$tool" >/dev/null; then
    echo "check_kill_safety: $tool missing; skipped (scripts/setup.sh installs it)"
    exit 77
  fi
done
# The interpreter itself, not a wrapper that finds it on every call.
py=$(python3 -c 'import sys; print(sys.executable)')
edb=$(dirname "$organiser")/tarvokline-edb
for f in "$organiser" "$edb"; do
  if [ ! -x "$f" ]; then
    echo "check_kill_safety: no program at $f" >&2
    exit 1
  fi
done
mkdir -p "$shots"
shots=$(cd "$shots" && pwd)
organiser=$(cd "$(dirname "$organiser")" && pwd)/$(basename "$organiser")
edb=$(cd "$(dirname "$edb")" && pwd)/$(basename "$edb")

. tools/x11_desktop.sh
work=$(mktemp -d)
trap 'stop_pids; rm -rf "$work"' EXIT

# --- the desktop --------------------------------------------------------------
start_desktop 1280x800 || { echo "check_kill_safety: no desktop" >&2; exit 1; }

program=$work/program
mkdir -p "$program" "$work/run"
chmod 700 "$work/run"
cp "$organiser" "$program/tarvokline"
# A copy, so that a rebuild during the run cannot swap it under us.
cp "$edb" "$work/tarvokline-edb"
edb=$work/tarvokline-edb
data=$program/data

# --- what is stored -----------------------------------------------------------
# The stored text of the target (diary: today's entry of rz35; memo: the
# first record of bw35) as UTF-8 on standard output; status 2 when the table
# does not dump.
stored_text() {  # stored_text diary|memo
  local table=rz35 out
  [ "$1" = memo ] && table=bw35
  [ -f "$data/$table.edb" ] || return 0
  out=$("$edb" dump "$data/$table.edb" 2>"$work/dump.err") || return 2
  "$py" - "$1" "$out" <<'EOF'
import datetime, json, sys
kind, lines = sys.argv[1], [json.loads(l) for l in sys.argv[2].splitlines() if l]
today = (datetime.date.today() - datetime.date(1899, 12, 30)).days
text = ""
for r in lines:
    if r["deleted"]:
        continue
    if kind == "memo":
        text = r["fields"]["bw"]
        break
    if int(r["fields"]["日期"]) == today:
        text = r["fields"]["日志"]
        break
sys.stdout.write(text)
EOF
}

# --- the organiser ------------------------------------------------------------
main_window() { find_window 870 520 --onlyvisible; }

start_organiser() {  # start_organiser PAGE: 选择夹右侧 shows PAGE first
  printf '[默认视图]\r\n右侧=%s\r\n' "$1" | iconv -f UTF-8 -t GBK >"$program/config.ini"
  env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/run" \
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} "$program/tarvokline" >>"$work/organiser.log" 2>&1 &
  organiser_pid=$!
  main=""
  wait_for 30 eval 'main=$(main_window)'
  [ -n "$main" ]
}

# Clicks into the middle of the box and puts the cursor at the end of its
# text. Positions inside the main window's client area: 选择夹右侧 lies at
# (437, 8), 420 x 480; the diary box at (6, 68) of its page, 385 x 260, the
# memo box at (4, 56), 390 x 418; the tab bar takes the first ~25 pixels.
focus_box() {  # focus_box diary|memo
  local x y
  read -r x y _ _ < <(geometry "$main")
  xdotool windowactivate --sync "$main" 2>/dev/null
  if [ "$1" = diary ]; then
    xdotool mousemove $((x + 437 + 6 + 192)) $((y + 8 + 25 + 68 + 130)) click 1
  else
    xdotool mousemove $((x + 437 + 4 + 195)) $((y + 8 + 25 + 56 + 209)) click 1
  fi
  xdotool key --clearmodifiers ctrl+End
}

# A random text of ASCII words and, for part a, Chinese characters; no line
# break.
random_text() {  # random_text CYCLE a|b
  "$py" - "$1" "$2" <<'EOF'
import random, sys
cycle, part = sys.argv[1], sys.argv[2]
hanzi = "日记备忘今天明天会议朋友电话生日快乐天气很好我们去公园散步读书写字吃饭睡觉工作学习"
words = ["note", "abc", "x1", "Kill", "safe", "7", "q", "data", "ok", "zZ"]
rng = random.Random()
out = [f"<{cycle}{part}>"]
for _ in range(rng.randint(4, 10)):
    if part == "b" or rng.random() < 0.5:
        out.append(rng.choice(words) + " ")
    else:
        out.append("".join(rng.choice(hanzi) for _ in range(rng.randint(1, 4))))
sys.stdout.write("".join(out))
EOF
}

type_text() {  # type_text TEXT DELAY_MS
  xdotool type --clearmodifiers --delay "$2" -- "$1" 2>/dev/null
}

# Whether the stored text is S0 followed by PART with at most some of its
# non-ASCII characters left out.
arrived() {  # arrived KIND S0 PART
  local now
  now=$(stored_text "$1") || return 1
  "$py" - "$now" "$2" "$3" <<'EOF'
import sys
now, s0, part = sys.argv[1:4]
if not now.startswith(s0):
    sys.exit(1)
rest, i = now[len(s0):], 0
for ch in part:
    if i < len(rest) and rest[i] == ch:
        i += 1
    elif ch.isascii():
        sys.exit(1)
sys.exit(0 if i == len(rest) else 1)
EOF
}

# Waits until the stored text has stayed the same for half a second and is
# S0 and PART (as `arrived` allows), or, after ten seconds, is anything
# stable; prints it. Fails only when the table does not dump.
settle() {  # settle KIND S0 PART
  local last="" now tries
  for ((tries = 0; ; tries++)); do
    now=$(stored_text "$1") || return 1
    if [ "$tries" -gt 0 ] && [ "$now" = "$last" ]; then
      if arrived "$1" "$2" "$3" || [ "$tries" -ge 20 ]; then
        printf '%s' "$now"
        return 0
      fi
    fi
    last=$now
    sleep 0.5
  done
}

# --- the checks after a kill --------------------------------------------------
failed=0
fail() {
  echo "FAIL: cycle $cycle: $*"
  failed=$((failed + 1))
}

check_tables() {
  local t out unused=""
  for t in rz35 tx35 bw35 lxr35; do
    out=$("$edb" check "$data/$t.edb" 2>&1) || fail "check $t.edb: $out"
    unused+=$(grep '^unused: ' <<<"$out" | sed "s/^/$t: /")
    "$edb" dump "$data/$t.edb" >/dev/null 2>"$work/dump.err" || fail "dump $t.edb: $(cat "$work/dump.err")"
  done
  # Unused space stays where it is; count the kills that added to it.
  if [ "$unused" != "$last_unused" ]; then
    echo "note: cycle $cycle: unused space now: $unused"
    unused_kills=$((unused_kills + 1))
    last_unused=$unused
  fi
  out=$(ls -A "$data" | grep -Ev '^(rz35|tx35|bw35|lxr35)\.edb$|^(rz35|bw35)\.edt$')
  [ -z "$out" ] && return 0
  fail "left in data/: $out"
}

# Whether the stored text is the confirmed text with a beginning of part B
# after it (end) or before it (front); prints the number of characters of B
# saved.
judge() {  # judge STORED CONFIRMED PART_B end|front
  "$py" - "$1" "$2" "$3" "$4" <<'EOF'
import sys
stored, confirmed, part_b, where = sys.argv[1:5]
extra = len(stored) - len(confirmed)
if where == "end":
    ok = stored.startswith(confirmed) and part_b.startswith(stored[len(confirmed):])
else:
    ok = extra >= 0 and stored.endswith(confirmed) and part_b.startswith(stored[:extra])
if not ok:
    sys.stdout.write("bad")
    sys.exit(1)
sys.stdout.write(str(extra))
EOF
}

# ASCII words enough to bring a text of LENGTH characters to 700 (more than
# one block of the companion file).
filler() {  # filler LENGTH
  "$py" - "$1" <<'EOF'
import sys
need, out = 700 - int(sys.argv[1]), ""
while len(out) < need:
    out += "filler%d " % len(out)
sys.stdout.write(out if need > 0 else "")
EOF
}

# --- the cycles ---------------------------------------------------------------
started=$(date +%s)
shot_taken=0
in_flight=()  # characters saved past the confirmed text, per kill
partial=0     # kills that landed inside the second part
kills=0
disturbed=0   # cycles whose part A the typing tool delivered altered
unused_kills=0  # kills after which check listed new unused space
last_unused=""
for ((cycle = 1; cycle <= cycles; cycle++)); do
  kind=diary page=0 where=end
  if ((cycle % 3 == 0)); then kind=memo page=2; fi
  if ((cycle % 2 == 0)); then where=front; fi
  s0=$(stored_text "$kind") || { fail "the $kind table does not dump before the start"; break; }
  pad=$(filler "${#s0}")
  part_a=$pad$(random_text "$cycle" a)
  part_b=$(random_text "$cycle" b)
  if ! start_organiser "$page"; then
    fail "the main window did not appear"
    tail -n 20 "$work/organiser.log"
    kill -KILL "$organiser_pid" 2>/dev/null
    wait "$organiser_pid" 2>/dev/null
    break
  fi
  sleep 0.3  # the first paint
  focus_box "$kind"
  [ -n "$pad" ] && type_text "$pad" 12
  type_text "${part_a:${#pad}}" 60
  if ! confirmed=$(settle "$kind" "$s0" "$part_a"); then
    fail "the $kind table does not dump while typing"
    kill -KILL "$organiser_pid" 2>/dev/null
    wait "$organiser_pid" 2>/dev/null
    break
  fi
  # What was stored before is kept whatever the typing did; a part A that
  # the typing tool delivered otherwise than asked is counted, and the
  # stored text, seen saved, is the confirmed text all the same.
  if [ "${confirmed:0:${#s0}}" != "$s0" ]; then
    fail "$kind text while typing: '$confirmed' does not begin with the text stored before, '$s0'"
    kill -KILL "$organiser_pid" 2>/dev/null
    wait "$organiser_pid" 2>/dev/null
    break
  fi
  if ! arrived "$kind" "$s0" "$part_a"; then
    echo "note: cycle $cycle: part A typed as '$part_a' arrived as '${confirmed:${#s0}}'"
    disturbed=$((disturbed + 1))
  fi
  if [ "$kind" = diary ] && [ "$shot_taken" = 0 ] && command -v import >/dev/null; then
    import -window root "$shots/diary-typed.png" 2>/dev/null && echo "shot: $shots/diary-typed.png"
    shot_taken=1
  fi
  [ "$where" = front ] && xdotool key --clearmodifiers ctrl+Home
  type_text "$part_b" 15 &
  typer=$!
  # Typing B takes about 15 ms a character; the kill comes somewhere in
  # that time or a little after it.
  delay_ms=$((RANDOM % (${#part_b} * 18 + 100)))
  sleep "$(printf '0.%03d' "$delay_ms")"
  kill -KILL "$organiser_pid"
  wait "$organiser_pid" 2>/dev/null
  kill "$typer" 2>/dev/null
  wait "$typer" 2>/dev/null
  kills=$((kills + 1))

  check_tables
  if ! now=$(stored_text "$kind"); then
    fail "the $kind table does not dump after the kill"
    break
  fi
  if ! saved=$(judge "$now" "$confirmed" "$part_b" "$where"); then
    fail "$kind text after the kill: '$now'; confirmed '$confirmed', typed '$part_b' at the $where"
    break
  fi
  in_flight+=("$saved")
  if ((saved > 0 && saved < ${#part_b})); then partial=$((partial + 1)); fi
  ((failed > 0)) && break
done
elapsed=$(($(date +%s) - started))

summary=$(printf '%s\n' "${in_flight[@]:-0}" | sort -n | awk '
  {v[NR] = $1; s += $1} END {printf "min %d, median %d, max %d, mean %.1f", v[1], v[int((NR + 1) / 2)], v[NR], s / NR}')
echo "check_kill_safety: $kills kills in ${elapsed}s ($(awk -v e="$elapsed" -v k="$kills" 'BEGIN {printf "%.2f", k ? e / k : 0}')s a cycle), $failed failed"
echo "check_kill_safety: characters saved past the confirmed text at the kill: $summary; $partial kills inside the second part; $disturbed cycles with part A altered by the typing tool; $unused_kills kills left new unused space"
echo "check_kill_safety: final diary text $(stored_text diary | wc -m) characters, memo $(stored_text memo | wc -m)"
[ "$failed" -eq 0 ] && [ "$kills" -eq "$cycles" ]
