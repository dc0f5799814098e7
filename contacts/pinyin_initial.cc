#include "contacts/pinyin_initial.h"

#include <array>

#include "contacts/pinyin_table.h"

namespace tarvok::contacts {
namespace {

constexpr std::array<std::string_view, kLastFinalCode + 1> kPartTexts = {
    "",
    "zh", "ch", "sh", "b", "p", "m", "f", "d", "t", "n", "l", "g", "k", "h",
    "j", "q", "x", "r", "z", "c", "s", "y", "w",
    "ang", "eng", "an", "ai", "ao", "ou", "er", "en", "ei", "a", "o", "e",
    "uang", "iang", "iong", "ing", "ong", "uai", "uan", "iao", "ian", "ui",
    "iu", "ie", "ue", "in", "un", "ia", "ua", "uo", "i", "u",
};

bool IsInitial(int code) { return code >= kFirstInitialCode && code <= kLastInitialCode; }
bool IsFinal(int code) { return code >= kFirstFinalCode && code <= kLastFinalCode; }

// The table entry of the first character, 0 outside the area.
uint16_t EntryOf(std::string_view text) {
  if (text.size() < 2) return 0;
  const auto lead = static_cast<uint8_t>(text[0]);
  const auto trail = static_cast<uint8_t>(text[1]);
  if (lead < kPinyinFirstLead || lead > kPinyinLastLead) return 0;
  if (trail < kPinyinFirstTrail || trail > kPinyinLastTrail) return 0;
  return kPinyinTable[(lead - kPinyinFirstLead) * kPinyinColumns + (trail - kPinyinFirstTrail)];
}

}  // namespace

std::string_view SyllablePartText(int code) {
  if (code < 0 || code > kLastFinalCode) return {};
  return kPartTexts[static_cast<size_t>(code)];
}

std::string PinyinSyllable(uint16_t reading) {
  const int low = reading & 0xFF;
  const int high = reading >> 8;
  if (IsInitial(low) && IsFinal(high)) {
    return std::string(SyllablePartText(low)) + std::string(SyllablePartText(high));
  }
  if (IsFinal(low) && high == 0) return std::string(SyllablePartText(low));
  return {};
}

std::vector<uint16_t> PinyinReadings(std::string_view gbk_text) {
  const uint16_t entry = EntryOf(gbk_text);
  if (entry == 0) return {};
  if (!(entry & kPinyinSeveralFlag)) return {entry};
  std::vector<uint16_t> readings;
  for (uint16_t r : kPinyinSeveralReadings[entry & ~kPinyinSeveralFlag]) {
    if (r != 0) readings.push_back(r);
  }
  return readings;
}

std::string PinyinInitial(std::string_view gbk_text) {
  uint16_t entry = EntryOf(gbk_text);
  if (entry & kPinyinSeveralFlag) entry = kPinyinSeveralReadings[entry & ~kPinyinSeveralFlag][0];
  return std::string(SyllablePartText(entry & 0xFF));
}

}  // namespace tarvok::contacts
