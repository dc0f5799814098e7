// Pinyin initials of names, for the letter groups of the contact book.
//
// Texts are GBK. Only the first character of a text counts, and only when it
// is a hanzi of GB2312 (first byte 0xB0-0xF7, second byte 0xA1-0xFE); its
// readings come from the table in contacts/pinyin_table.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::contacts {

// SyllablePartCode: 1-23 are initials ("zh" 1 ... "w" 23), 24-55 finals
// ("ang" 24 ... "u" 55). The numbers are part of the table's data.
inline constexpr int kFirstInitialCode = 1;
inline constexpr int kLastInitialCode = 23;
inline constexpr int kFirstFinalCode = 24;
inline constexpr int kLastFinalCode = 55;

// The text of a SyllablePartCode ("zh", "ang"); empty for any other number.
std::string_view SyllablePartText(int code);

// The syllable of one reading entry (bit 15 clear): "zhang" for zh | ang << 8,
// "an" for an. Empty for 0 and for an entry whose bytes are not an initial
// with a final or a final alone.
std::string PinyinSyllable(uint16_t reading);

// The readings of the first character of `gbk_text`, the common one first:
// one for most characters, two or three for some, none when the text does
// not begin with a GB2312 hanzi that has a reading.
std::vector<uint16_t> PinyinReadings(std::string_view gbk_text);

// The pinyin initial of the first character of `gbk_text`, lower case: the
// text of the low byte of its common reading, so "zh" for 张, "c" for 曾
// (céng), and the final itself for a syllable without initial ("an" for 安,
// "a" for 阿). Empty when the text is shorter than two bytes, when its first
// two bytes lie outside the GB2312 hanzi area (a Latin letter, a digit, a
// full-width sign, a character GB2312 lacks), or when the character has no
// reading.
std::string PinyinInitial(std::string_view gbk_text);

}  // namespace tarvok::contacts
