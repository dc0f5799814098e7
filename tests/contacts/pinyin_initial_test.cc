// PinyinInitial and the table behind it. Known answers are names as the
// letter groups file them; the sweeps hold for every code point of the area.
// Texts go in as GBK and readings come back as ASCII.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "contacts/pinyin_initial.h"
#include "contacts/pinyin_table.h"
#include "platform/gbk.h"

namespace tarvok::contacts {
namespace {

// The GBK bytes of the code point at `index` of the table.
std::string CodePoint(int index) {
  return {static_cast<char>(kPinyinFirstLead + index / kPinyinColumns),
          static_cast<char>(kPinyinFirstTrail + index % kPinyinColumns)};
}

std::string Syllables(const std::string& utf8) {
  std::string out;
  for (uint16_t r : PinyinReadings(Utf8ToGbk(utf8))) {
    if (!out.empty()) out += ' ';
    out += PinyinSyllable(r);
  }
  return out;
}

bool IsValidReading(uint16_t r) {
  const int low = r & 0xFF, high = r >> 8;
  const bool initial = low >= kFirstInitialCode && low <= kLastInitialCode;
  const bool final_low = low >= kFirstFinalCode && low <= kLastFinalCode;
  const bool final_high = high >= kFirstFinalCode && high <= kLastFinalCode;
  return (initial && final_high) || (final_low && high == 0);
}

struct InitialRow {
  const char* meaning;
  const char* name;  // UTF-8
  const char* initial;
};

TEST(PinyinInitial, NamesAsTheGroupsFileThem) {
  const InitialRow rows[] = {
      {"first code point of the area, no initial", "啊", "a"},
      {"final an stands for itself, in no group", "安", "an"},
      {"final ou stands for itself", "欧", "ou"},
      {"final e, group E-H", "鄂", "e"},
      {"zh", "张", "zh"},
      {"ch", "陈", "ch"},
      {"sh", "沈", "sh"},
      {"several: chang before zhang", "长", "ch"},
      {"several: zhong before chong", "重", "zh"},
      {"several: dan, not the surname Shan", "单", "d"},
      {"several: chou, not the surname Qiu", "仇", "ch"},
      {"several: cha, not the surname Zha", "查", "ch"},
      {"several: ceng, not the surname Zeng", "曾", "c"},
      {"several: jie, not the surname Xie", "解", "j"},
      {"several: qu, not the surname Ou", "区", "q"},
      {"several: zhu, not the surname Chu", "褚", "zh"},
      {"f", "冯", "f"},
      {"a, group A-D", "阿", "a"},
      {"c, before the ch names", "曹", "c"},
      {"y of a syllable spelt with y", "杨", "y"},
      {"w of a syllable spelt with w", "王", "w"},
      {"ü is written u, initial n", "女", "n"},
      {"only the first character counts", "张三丰", "zh"},
      {"a hanzi after the first does not matter", "欧阳修", "ou"},
      {"level two", "仝", "t"},
      {"last code point of the area", "齄", "zh"},
  };
  for (const InitialRow& row : rows) {
    EXPECT_EQ(PinyinInitial(Utf8ToGbk(row.name)), row.initial) << row.meaning << ": " << row.name;
  }
}

TEST(PinyinInitial, NoInitialOutsideTheHanziArea) {
  const struct {
    const char* meaning;
    std::string gbk;
  } rows[] = {
      {"empty text", ""},
      {"one Latin letter", "a"},
      {"one lead byte of a hanzi", std::string("\xD5", 1)},
      {"Latin name", "Zhang San"},
      {"Latin letter before a hanzi", Utf8ToGbk("a张")},
      {"digit", Utf8ToGbk("1号")},
      {"full-width letter", Utf8ToGbk("Ａ")},
      {"full-width digit", Utf8ToGbk("１")},
      {"full-width comma", Utf8ToGbk("，张")},
      {"circled number", Utf8ToGbk("①")},
      {"GBK hanzi below the area", Utf8ToGbk("丂")},
      {"GBK hanzi with a lead byte of the area, trail below 0xA1", Utf8ToGbk("癅")},
      {"GBK hanzi above the area", Utf8ToGbk("鳣")},
      {"four-byte GB18030 character", Utf8ToGb18030("😀")},
      {"unassigned code point at the end of row 0xD7", "\xD7\xFA"},
      {"last unassigned code point of row 0xD7", "\xD7\xFE"},
      {"trail byte 0xFF", "\xB0\xFF"},
      {"radical form", Utf8ToGbk("丶")},
      {"radical form", Utf8ToGbk("匚")},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(PinyinInitial(row.gbk), "") << row.meaning;
    EXPECT_TRUE(PinyinReadings(row.gbk).empty()) << row.meaning;
  }
}

TEST(PinyinInitial, ReadingsSpelledOut) {
  const struct {
    const char* character;
    const char* readings;
  } rows[] = {
      {"安", "an"},          {"张", "zhang"},       {"熊", "xiong"},
      {"窗", "chuang"},     {"儿", "er"},          {"略", "lue"},
      {"女", "nu"},          {"月", "yue"},          {"长", "chang zhang"},
      {"重", "zhong chong"}, {"单", "dan chan shan"}, {"曾", "ceng zeng"},
      {"褚", "zhu chu"},     {"区", "qu ou"},        {"和", "he hu huo"},
  };
  for (const auto& row : rows) EXPECT_EQ(Syllables(row.character), row.readings) << row.character;
}

TEST(PinyinTable, FortyThreeCodePointsWithoutReading) {
  std::string unassigned, radicals;
  int empty = 0;
  for (int i = 0; i < kPinyinEntries; ++i) {
    if (kPinyinTable[i] != 0) continue;
    ++empty;
    const std::string gbk = CodePoint(i);
    if (gbk[0] == '\xD7') {
      unassigned += gbk;
    } else {
      radicals += GbkToUtf8(gbk);
    }
  }
  EXPECT_EQ(empty, 43);
  EXPECT_EQ(unassigned, "\xD7\xFA\xD7\xFB\xD7\xFC\xD7\xFD\xD7\xFE");
  // The radical forms of level 2 up to four strokes that the dictionary does
  // not list as words.
  EXPECT_EQ(radicals,
            "丨丿丶匚刂冂亻勹亠冫冖讠卩阝廴凵艹廾扌囗彡犭夂饣忄丬氵宀辶彐屮纟巛攴攵灬礻肀");
}

TEST(PinyinTable, EveryEntryDecodes) {
  int several = 0;
  std::set<int> referenced;
  for (int i = 0; i < kPinyinEntries; ++i) {
    const uint16_t entry = kPinyinTable[i];
    const std::string where = GbkToUtf8(CodePoint(i));
    if (entry == 0) continue;
    if (!(entry & kPinyinSeveralFlag)) {
      EXPECT_TRUE(IsValidReading(entry)) << where << std::hex << " 0x" << entry;
      continue;
    }
    ++several;
    const int index = entry & ~kPinyinSeveralFlag;
    ASSERT_LT(index, kPinyinSeveralCount) << where;
    EXPECT_TRUE(referenced.insert(index).second) << where << " shares readings " << index;
    const uint16_t* r = kPinyinSeveralReadings[index];
    EXPECT_TRUE(IsValidReading(r[0]) && IsValidReading(r[1])) << where;
    EXPECT_TRUE(r[2] == 0 || IsValidReading(r[2])) << where;
    EXPECT_TRUE(r[0] != r[1] && r[1] != r[2] && r[0] != r[2]) << where;
  }
  EXPECT_EQ(several, 479);
  EXPECT_EQ(static_cast<int>(referenced.size()), kPinyinSeveralCount);
}

TEST(PinyinTable, InitialOfEveryCharacterIsItsFirstReading) {
  for (int i = 0; i < kPinyinEntries; ++i) {
    const std::string gbk = CodePoint(i);
    const std::vector<uint16_t> readings = PinyinReadings(gbk);
    const std::string initial = PinyinInitial(gbk);
    if (readings.empty()) {
      EXPECT_EQ(initial, "") << GbkToUtf8(gbk);
      continue;
    }
    const std::string first = PinyinSyllable(readings[0]);
    EXPECT_FALSE(initial.empty()) << GbkToUtf8(gbk);
    EXPECT_EQ(first.compare(0, initial.size(), initial), 0) << GbkToUtf8(gbk) << " " << first;
  }
}

TEST(SyllablePart, TextsOfTheCodes) {
  std::string all;
  for (int code = 0; code <= 56; ++code) {
    all += SyllablePartText(code);
    all += ' ';
  }
  EXPECT_EQ(all,
            " zh ch sh b p m f d t n l g k h j q x r z c s y w "
            "ang eng an ai ao ou er en ei a o e uang iang iong ing ong uai uan "
            "iao ian ui iu ie ue in un ia ua uo i u  ");
  EXPECT_EQ(SyllablePartText(-1), "");
}

TEST(SyllablePart, SyllableOfAReading) {
  EXPECT_EQ(PinyinSyllable(1 | 24 << 8), "zhang");
  EXPECT_EQ(PinyinSyllable(26), "an");
  EXPECT_EQ(PinyinSyllable(0), "");
  EXPECT_EQ(PinyinSyllable(1), "") << "an initial alone";
  EXPECT_EQ(PinyinSyllable(26 | 24 << 8), "") << "two finals";
  EXPECT_EQ(PinyinSyllable(1 | 2 << 8), "") << "two initials";
  EXPECT_EQ(PinyinSyllable(56), "") << "past the last code";
}

}  // namespace
}  // namespace tarvok::contacts
