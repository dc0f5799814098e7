#!/usr/bin/env python3
"""Writes contacts/pinyin_table.cc, the readings of the GB2312 hanzi area.

Usage (from the repository root):

    apt-get install unicode-data          # only the generator needs it
    python3 tools/pinyin/make_pinyin_table.py > contacts/pinyin_table.cc

Data: the Unihan database of Debian's package unicode-data (15.0.0-1, files
in /usr/share/unicode): kMandarin, kXHC1983, kTGHZ2013 and kTotalStrokes,
with EquivalentUnifiedIdeograph.txt for the radical forms. GB2312 code points
are mapped to Unicode with Python's gb2312 codec.

A reading is a toneless syllable split into a SyllablePartCode for the
initial and one for the final (contacts/pinyin_table.h). For each character:

1. The first reading is the override below, else the first (mainland) value
   of kMandarin, the customary reading.
2. Further readings are the other syllables under which the Xiandai Hanyu
   Cidian of 1983 (kXHC1983) lists the character as a head entry, in the
   dictionary's order. Syllables under which it appears only in brackets
   after another head character (a location whose last digit is not 0, or
   one marked '*') are left out: 著 stands in brackets after 着 under zhe
   and zhuó, 辗 after 碾 under niǎn, and neither is a reading of its own.
3. Readings that the 1985 review of heteronymous words unified away are
   dropped (OBSOLETE below).
4. Syllables the code list cannot spell (the syllabic nasals n, ng, m, hng)
   are dropped, tones are ignored, ü is written u (lü -> l + u, lüe -> l + ue)
   and at most three readings are kept.
5. A character left with two or three readings goes to the second table.

Radical forms carry no reading. Level 2 holds 44 characters that Unicode
gives as the unified form of a Kangxi radical or a radical-supplement form
(EquivalentUnifiedIdeograph.txt) and for which kXHC1983 has no reading: the
stroke and component shapes 丶 丿 亻 氵 匚 冂 ... that GB2312 puts at the head
of its radical groups. The organiser's table leaves 38 code points of
level 2 without a reading; they are these forms of up to four strokes
(kTotalStrokes), 丨 to 肀. The six of five strokes and more, 钅 疒 衤 虍 糸 髟,
keep their kMandarin reading.

The generator checks the counts the organiser relies on (479 characters with
several readings, 43 code points without a reading) and fails if the data
give other numbers.
"""

import bz2
import collections
import re
import sys
import unicodedata

UNICODE_DIR = '/usr/share/unicode'

# SyllablePartCode 1..55; contacts/pinyin_initial.cc spells the same list.
PARTS = ('zh ch sh b p m f d t n l g k h j q x r z c s y w '
         'ang eng an ai ao ou er en ei a o e uang iang iong ing ong uai uan '
         'iao ian ui iu ie ue in un ia ua uo i u').split()
CODE = {text: i + 1 for i, text in enumerate(PARTS)}
INITIALS = PARTS[:23]
FINALS = PARTS[23:]

# The common reading where kMandarin's first value is another one. Toneless.
OVERRIDES = {
    '长': 'chang',   # 长短; zhǎng in 生长
    '褚': 'zhu',     # zhǔ "pad with cotton"; Chǔ is the surname
    '咳': 'ke',      # 咳嗽; hāi is the interjection
    '傀': 'kui',     # 傀儡
    '茄': 'qie',     # 茄子; jiā only in 雪茄
    '炔': 'que',     # 乙炔; Guì is a surname
    '似': 'si',      # 相似; shì only in 似的
    '伺': 'si',      # 伺机; cì in 伺候
    '俟': 'si',      # 俟 "wait"; qí only in the surname 万俟
    '椎': 'zhui',    # 脊椎; chuí is a mallet (槌)
    '琢': 'zhuo',    # 雕琢; zuó in 琢磨
    '埔': 'pu',      # 黄埔; bù in 大埔
    '孱': 'chan',    # 孱弱
    '晟': 'sheng',
    '掺': 'chan',    # 掺和
    '幢': 'zhuang',  # 一幢楼; chuáng in 经幢
    '佛': 'fo',      # 佛教; fú in 仿佛
    '勒': 'le',      # 勒令; lēi in 勒紧
    '肋': 'lei',     # 肋骨
    '潦': 'liao',    # 潦草
    '拓': 'tuo',     # 开拓; tà in 拓本
    '嚼': 'jiao',    # 嚼; jué in 咀嚼
    '铤': 'ting',    # 铤而走险
    '哕': 'yue',     # 干哕
    '啜': 'chuo',    # 啜泣
    '嘬': 'zuo',
    '呷': 'xia',     # 呷一口
    '珩': 'heng',
    '綮': 'qing',    # 肯綮
    '噱': 'xue',     # 噱头
    '擘': 'bo',      # 巨擘; bāi is 掰
    '柁': 'tuo',     # 房柁; duò is 舵
    '龈': 'yin',     # 牙龈; kěn is 啃
    '辗': 'zhan',    # 辗转; niǎn is 碾
    '著': 'zhu',     # 著名; zhe and zhuó are 着
    '蹒': 'pan',     # 蹒跚
    '嗲': 'dia',
    '嗯': 'en',      # the syllabic nasal has no code; en is its usual spelling
}

# Readings of kXHC1983 (1983) that the 1985 review of heteronymous words
# unified into the other one (marked 统读 there). The generator checks each
# against the 2013 dictionary of the General Standard Chinese Characters
# (kTGHZ2013), which must not list it. Not dropped for that reason: 券 xuàn,
# which the 2013 dictionary keeps for 拱券.
OBSOLETE = {
    '呆': ('ai',),
    '堆': ('zui',),
    '敦': ('dui',),
    '蹲': ('cun',),
    '蛾': ('yi',),
    '徊': ('hui',),
    '括': ('gua',),
    '傀': ('gui',),
    '肋': ('le',),
    '谜': ('mei',),
    '盟': ('ming',),
    '嵌': ('kan',),
    '梢': ('sao',),
    '寻': ('xin',),
    '屹': ('ge',),
    '凿': ('zuo',),
    '娩': ('wan',),
    '恫': ('tong',),
    '橙': ('chen',),
}


def strip_tone(syllable):
  s = unicodedata.normalize('NFD', syllable)
  s = ''.join(ch for ch in s if not unicodedata.combining(ch))
  return s.replace('ü', 'u').replace('v', 'u')


def split_syllable(s):
  """(initial, final) of a toneless syllable, '' for no initial; None when
  the code list cannot spell it."""
  for ini in INITIALS:
    if s.startswith(ini) and s[len(ini):] in FINALS:
      return ini, s[len(ini):]
  if s in FINALS:
    return '', s
  return None


def encode(s):
  ini, fin = split_syllable(s)
  if not ini:
    return CODE[fin]
  return CODE[ini] | CODE[fin] << 8


def read_unihan(name, fields):
  out = collections.defaultdict(dict)
  with bz2.open(f'{UNICODE_DIR}/{name}', 'rt', encoding='utf-8') as f:
    for line in f:
      if not line.startswith('U+'):
        continue
      cp, field, value = line.rstrip('\n').split('\t')
      if field in fields:
        out[int(cp[2:], 16)][field] = value
  return out


def read_radical_forms():
  forms = set()
  with open(f'{UNICODE_DIR}/EquivalentUnifiedIdeograph.txt', encoding='utf-8') as f:
    for line in f:
      line = line.split('#')[0].strip()
      if line:
        forms.add(int(line.split(';')[1].strip(), 16))
  return forms


def xhc_main_syllables(value):
  """Toneless syllables of a kXHC1983 value that are main entries."""
  out = []
  for item in value.split():
    locations, syllables = item.rsplit(':', 1)
    if not any(loc.endswith('0') for loc in locations.split(',')):
      continue
    for s in syllables.split(','):
      out.append(strip_tone(s))
  return out


def unique(items):
  seen = []
  for x in items:
    if x not in seen:
      seen.append(x)
  return seen


def fail(message):
  sys.exit(f'make_pinyin_table: {message}')


def compute_cells():
  """[(b1, b2, char or None, [toneless syllables])] in code order."""
  readings = read_unihan('Unihan_Readings.txt.bz2',
                         {'kMandarin', 'kXHC1983', 'kTGHZ2013'})
  strokes = read_unihan('Unihan_IRGSources.txt.bz2', {'kTotalStrokes'})
  radical_forms = read_radical_forms()

  used_overrides, used_obsolete = set(), set()
  cells = []
  for b1 in range(0xB0, 0xF8):
    for b2 in range(0xA1, 0xFF):
      try:
        ch = bytes([b1, b2]).decode('gb2312')
      except UnicodeDecodeError:
        cells.append((b1, b2, None, []))
        continue
      cp = ord(ch)
      data = readings.get(cp, {})
      xhc = data.get('kXHC1983')
      if (b1 >= 0xD8 and cp in radical_forms and xhc is None and
          int(strokes[cp]['kTotalStrokes'].split()[0]) <= 4):
        cells.append((b1, b2, ch, []))
        continue
      mandarin = [strip_tone(s) for s in data['kMandarin'].split()]
      others = xhc_main_syllables(xhc) if xhc else []
      first = mandarin[0]
      if ch in OVERRIDES:
        first = OVERRIDES[ch]
        used_overrides.add(ch)
        listed = mandarin + [strip_tone(s) for s in re.split('[ ,:]', xhc or '')]
        # An override picks one of the listed readings, unless none of them
        # can be spelled (嗯).
        if first not in listed and any(split_syllable(s) for s in listed):
          fail(f'override {ch} {first} is no reading of the sources')
      dropped = OBSOLETE.get(ch, ())
      if dropped:
        used_obsolete.add(ch)
        tghz = [strip_tone(s) for s in re.split('[ ,:]', data.get('kTGHZ2013', ''))]
        for s in dropped:
          if s not in others:
            fail(f'{ch} {s} is not a reading of kXHC1983')
          if s in tghz:
            fail(f'{ch} {s} is still listed by kTGHZ2013')
      syllables = [s for s in unique([first] + others)
                   if s not in dropped and split_syllable(s)]
      if not syllables or syllables[0] != first:
        fail(f'{ch}: first reading {first} cannot be spelled')
      cells.append((b1, b2, ch, syllables[:3]))

  if used_overrides != set(OVERRIDES):
    fail(f'overrides of characters not in GB2312: {set(OVERRIDES) - used_overrides}')
  if used_obsolete != set(OBSOLETE):
    fail(f'dropped readings of characters not in GB2312: {set(OBSOLETE) - used_obsolete}')
  return cells


HEADER = """\
// GENERATED FILE, DO NOT EDIT.
// Pinyin readings of the GB2312 hanzi area, first byte 0xB0-0xF7, second
// byte 0xA1-0xFE; the layout is described in contacts/pinyin_table.h.
// Generator: tools/pinyin/make_pinyin_table.py (regenerate with
//   python3 tools/pinyin/make_pinyin_table.py > contacts/pinyin_table.cc).
// Source of the data: the Unihan database of Unicode 15.0.0 as shipped in
// Debian's package unicode-data 15.0.0-1 (kMandarin, kXHC1983, kTGHZ2013,
// kTotalStrokes, EquivalentUnifiedIdeograph.txt), with the overrides and the
// dropped readings listed in the generator. Each line of the first table
// holds eight code points and names them: character and readings, "-" for
// none.

#include "contacts/pinyin_table.h"

namespace tarvok::contacts {

// clang-format off
"""


def main():
  cells = compute_cells()
  several = [c for c in cells if len(c[3]) > 1]
  empty = [c for c in cells if not c[3]]
  if len(cells) != 72 * 94:
    fail(f'{len(cells)} cells')
  if len(several) != 479 or len(empty) != 43:
    fail(f'{len(several)} characters with several readings and {len(empty)} '
         f'code points without a reading; the organiser expects 479 and 43')

  out = [HEADER]
  out.append('const uint16_t kPinyinTable[] = {\n')
  index = {}
  for i, (b1, b2, ch, syl) in enumerate(cells):
    if b2 == 0xA1:
      out.append(f'    // 0x{b1:02X}\n')
    column = b2 - 0xA1
    if column % 8 == 0:
      line_start = i
      values, names = [], []
    if not syl:
      value = 0
    elif len(syl) == 1:
      value = encode(syl[0])
    else:
      index[(b1, b2)] = len(index)
      value = 0x8000 | index[(b1, b2)]
    values.append(f'0x{value:04X},')
    names.append(f'{ch}{"/".join(syl) or "-"}' if ch else 'unassigned')
    if column % 8 == 7 or b2 == 0xFE:
      b1s, b2s = cells[line_start][0], cells[line_start][1]
      out.append(f'    {" ".join(values):<63} // {b1s:02X}{b2s:02X} {" ".join(names)}\n')
  out.append('};\n\n')

  out.append('const uint16_t kPinyinSeveralReadings[][3] = {\n')
  for b1, b2, ch, syl in several:
    codes = [encode(s) for s in syl] + [0] * (3 - len(syl))
    body = ', '.join(f'0x{v:04X}' for v in codes)
    out.append(f'    {{{body}}},  // {index[(b1, b2)]:3} {b1:02X}{b2:02X} {ch} {" ".join(syl)}\n')
  out.append('};\n')
  out.append('// clang-format on\n\n}  // namespace tarvok::contacts\n')
  sys.stdout.write(''.join(out))


if __name__ == '__main__':
  main()
