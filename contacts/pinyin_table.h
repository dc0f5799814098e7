// The pinyin table of the GB2312 hanzi area, the data behind PinyinInitial.
// Its values are generated (see the fence at the top of pinyin_table.cc).
//
// kPinyinTable has one 16-bit entry per code point of the area, first byte
// 0xB0-0xF7 (72 rows), second byte 0xA1-0xFE (94 columns):
//
//   index = (first byte - 0xB0) * 94 + (second byte - 0xA1)
//
//   ENTRY            MEANING
//   0                no reading: the five unassigned code points 0xD7FA-0xD7FE
//                    and the 38 radical forms of level 2 (丶, 丿, 亻, 匚, ...)
//   bit 15 clear     one reading (below)
//   bit 15 set       several readings: bits 0-14 index kPinyinSeveralReadings
//
// A reading is two SyllablePartCodes (contacts/pinyin_initial.h): the low byte
// is the initial and the high byte the final ("zhang" = zh | ang << 8). A
// syllable without an initial keeps its final in the low byte and 0 in the
// high byte ("an" = an). Tones are not recorded; ü is written u.
//
// kPinyinSeveralReadings holds three readings for each character with
// several; the first is the character's common reading, unused places are 0.
#pragma once

#include <cstdint>

namespace tarvok::contacts {

inline constexpr uint8_t kPinyinFirstLead = 0xB0;
inline constexpr uint8_t kPinyinLastLead = 0xF7;
inline constexpr uint8_t kPinyinFirstTrail = 0xA1;
inline constexpr uint8_t kPinyinLastTrail = 0xFE;
inline constexpr int kPinyinRows = kPinyinLastLead - kPinyinFirstLead + 1;      // 72
inline constexpr int kPinyinColumns = kPinyinLastTrail - kPinyinFirstTrail + 1;  // 94
inline constexpr int kPinyinEntries = kPinyinRows * kPinyinColumns;             // 6768

inline constexpr uint16_t kPinyinSeveralFlag = 0x8000;
inline constexpr int kPinyinSeveralCount = 479;
inline constexpr int kPinyinReadingsPerCharacter = 3;

extern const uint16_t kPinyinTable[kPinyinEntries];
extern const uint16_t kPinyinSeveralReadings[kPinyinSeveralCount][kPinyinReadingsPerCharacter];

}  // namespace tarvok::contacts
