// Reading and writing dates and numbers as GBK text.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "datetime/date_time.h"
#include "platform/gbk.h"

namespace tarvok {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double k20130501 = 41395;

constexpr double At(double day, int h, int mi, int s) {
  return day + (h * 3600 + mi * 60 + s) / 86400.0;
}

TEST(TextToDate, ReadsTheseForms) {
  struct Row {
    const char* meaning;
    std::string text;  // GBK
    double want;
  };
  const Row rows[] = {
      {"colons as every separator", "2013:5:1", k20130501},
      {"two-digit month and day", "2013-05-01", k20130501},
      {"mixed separators", "2013年5-1日"_gbk, k20130501},
      {"hour and minute after a space", "2013-05-01 8:30", At(k20130501, 8, 30, 0)},
      {"one space after the day and nothing more", "2013-5-1 ", k20130501},
      {"the last second of a day", "2013-5-1 23:59:59", At(k20130501, 23, 59, 59)},
      {"seconds with their mark", "2013年5月1日8时30分15秒"_gbk, At(k20130501, 8, 30, 15)},
      {"full-width separators and space", "２０１３／５／１　８：３０"_gbk, At(k20130501, 8, 30, 0)},
      {"leap day 2012", "2012-2-29", 40968},
      {"leap day 2000", "2000-2-29", 36585},
      {"first day of the range", "100-1-1", kMinDateTime},
      {"first day with leading zeros", "0100-01-01", kMinDateTime},
      {"last day of the range", "9999-12-31", kMaxDateTime},
      {"a time on the last day reads as its midnight", "9999-12-31 12:00", kMaxDateTime},
      {"a cut-off character at the end is dropped", "2013-5-1\xC4", k20130501},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(TextToDate(row.text).value, row.want) << row.meaning;
  }
}

TEST(TextToDate, RejectsTheseTexts) {
  struct Row {
    const char* meaning;
    std::string text;  // GBK
  };
  const Row rows[] = {
      {"two-digit year", "13-5-1"},
      {"year 99", "99年1月1日"_gbk},
      {"month 0", "2013-0-1"},
      {"month 13", "2013-13-1"},
      {"day 0", "2013-5-0"},
      {"day 32", "2013-5-32"},
      {"31 April", "2013-4-31"},
      {"29 February of a common year", "2013-2-29"},
      {"29 February 1900", "1900-2-29"},
      {"hour 24", "2013-5-1 24:00"},
      {"minute 60", "2013-5-1 8:60"},
      {"second 60", "2013-5-1 8:30:60"},
      {"no day", "2013-5"},
      {"a year alone", "2013"},
      {"a space before the year", " 2013-5-1"},
      {"two spaces after the day", "2013-5-1  8"},
      {"a doubled separator", "2013--5-1"},
      {"a space after the hour", "2013-5-1 8 30"},
      {"the traditional hour mark", "2013年5月1日8時"_gbk},
      {"a letter after the date", "２０１３年５月１日Ａ"_gbk},
      {"a lead byte takes the first digit along", "\xA3" "2013-5-1"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(TextToDate(row.text).value, kInvalidDate.value) << row.meaning;
  }
}

TEST(NormalizeWidth, MapsOnlyItsCharacters) {
  struct Row {
    const char* meaning;
    std::string text, want;
  };
  const Row rows[] = {
      {"full-width ! opens the block", "\xA3\xA1", "!"},
      {"full-width ~ closes it", "\xA3\xFE", "~"},
      {"below the block is kept", "\xA3\xA0", "\xA3\xA0"},
      {"above the block is kept", "\xA3\xFF", "\xA3\xFF"},
      {"ideographic space", "\xA1\xA1", " "},
      {"full-width tilde", "\xA1\xAB", "~"},
      {"white star", "\xA1\xEE", "*"},
      {"black star", "\xA1\xEF", "*"},
      {"neighbours of the specials are kept", "\xA1\xA2\xA1\xAA\xA1\xAC\xA1\xED\xA1\xF0",
       "\xA1\xA2\xA1\xAA\xA1\xAC\xA1\xED\xA1\xF0"},
      {"other characters are kept", "年5月"_gbk, "年5月"_gbk},
      {"ASCII is kept", "abc 123~", "abc 123~"},
      {"a first byte at the end is dropped", "ab\xC4", "ab"},
      {"a lead byte takes an ASCII byte along", "\xA3" "1x", "\xA3" "1x"},
      {"0x80 starts a pair", "\x80\xA3\xB1", "\x80\xA3"},
      {"empty", "", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NormalizeWidth(row.text), row.want) << row.meaning;
  }
  for (int c = 0x21; c <= 0x7E; ++c) {
    const char full[] = {'\xA3', static_cast<char>(c + 0x80), '\0'};
    EXPECT_EQ(NormalizeWidth(full), std::string(1, static_cast<char>(c))) << c;
  }
}

TEST(TextToNumber, ReadsTheLongestLeadingNumber) {
  const std::string zeros(400, '0');
  struct Row {
    const char* meaning;
    std::string text;  // GBK
    double want;
  };
  const Row rows[] = {
      {"white space first", " \t\n12", 12},
      {"plus sign", "+4", 4},
      {"minus sign", "-2.5", -2.5},
      {"exponent", "-2.5e3", -2500},
      {"capital exponent with sign", "1E-2", 0.01},
      {"e without digits stops before it", "1e", 1},
      {"e and sign without digits", "1e+x", 1},
      {"no digits before the point", ".5", 0.5},
      {"no digits after the point", "5.", 5},
      {"a point alone", ".", 0},
      {"a sign alone", "-", 0},
      {"a sign and a point", "-.e5", 0},
      {"a second point stops", "1.2.3", 1.2},
      {"a comma is no decimal point", "12,5", 12},
      {"space between sign and digits", "- 3", 0},
      {"full-width digits and point", "１２．５"_gbk, 12.5},
      {"full-width minus", "－３"_gbk, -3},
      {"ideographic space first", "　7"_gbk, 7},
      {"a word for infinity is no number", "inf", 0},
      {"a word for NaN is no number", "nan", 0},
      {"hexadecimal is read as its 0", "0x10", 0},
      {"too large", "1e400", kInf},
      {"too large, negative", "-1e400", -kInf},
      {"too small", "1e-400", 0},
      {"four hundred digits", "1" + zeros, kInf},
      {"four hundred zeros after the point", "0." + zeros + "1", 0},
      {"long digits scaled back into range", "1" + zeros + "e-390", 1e10},
      {"an exponent of many digits", "1e99999999999999999999", kInf},
      {"a negative exponent of many digits", "1e-99999999999999999999", 0},
      {"zero with a huge exponent", "0e99999999999999999999", 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(TextToNumber(row.text), row.want) << row.meaning;
  }
}

TEST(NumberToText, DoublesLikeC13g) {
  struct Row {
    const char* meaning;
    double x;
    const char* want;
  };
  const Row rows[] = {
      {"thirteen digits stay fixed", 1234567890123, "1234567890123"},
      {"fourteen digits switch to exponent", 12345678901234, "1.234567890123e+13"},
      {"rounded to thirteen digits", 0.1 + 0.2, "0.3"},
      {"small exponent", 1e-5, "1e-05"},
      {"negative zero", -0.0, "-0"},
      {"infinity", kInf, "inf"},
      {"negative infinity", -kInf, "-inf"},
  };
  for (const Row& row : rows) EXPECT_EQ(NumberToText(row.x), row.want) << row.meaning;

  // Against the C library's own "%.13g" (the tests run in the C locale),
  // over doubles of every exponent and over plain decimal values.
  std::mt19937_64 random(20130501);
  std::uniform_real_distribution<double> plain(-1e6, 1e6);
  for (int i = 0; i < 200000; ++i) {
    double x;
    if (i % 2 == 0) {
      const uint64_t bits = random();
      std::memcpy(&x, &bits, sizeof x);
    } else {
      x = std::round(plain(random) * 1000) / 1000;
    }
    char want[64];
    std::snprintf(want, sizeof want, "%.13g", x);
    ASSERT_EQ(NumberToText(x), want);
  }
}

TEST(NumberToText, IntegersReadBack) {
  const int32_t values[] = {std::numeric_limits<int32_t>::min(), -1, 0, 7,
                            std::numeric_limits<int32_t>::max()};
  for (int32_t v : values) {
    EXPECT_EQ(NumberToText(v), std::to_string(v));
    EXPECT_EQ(TextToNumber(NumberToText(v)), v);
  }
}

TEST(Remainder, SignOfTheDividendAndExact) {
  struct Row {
    const char* meaning;
    double a, b, want;
  };
  const Row rows[] = {
      {"both positive", 7, 3, 1},
      {"negative divisor", 7, -3, 1},
      {"negative dividend", -7, 3, -1},
      {"both negative", -7, -3, -1},
      {"fractions", 7.5, 2, 1.5},
      {"dividend smaller than divisor", -0.5, 1, -0.5},
      {"divides evenly", 6, 3, 0},
      // The quotient of 1e20 / 3 has no exact double; the remainder still is.
      {"exact for a huge quotient", 1e20, 3, 1},
  };
  for (const Row& row : rows) EXPECT_EQ(Remainder(row.a, row.b), row.want) << row.meaning;
  EXPECT_TRUE(std::isnan(Remainder(2.5, 0)));

  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> spread(-1e9, 1e9);
  for (int i = 0; i < 100000; ++i) {
    const double a = spread(random);
    const double b = spread(random) / (1 + i % 1000);
    const double r = Remainder(a, b);
    ASSERT_LT(std::fabs(r), std::fabs(b)) << a << " % " << b;
    ASSERT_EQ(std::signbit(r), std::signbit(a)) << a << " % " << b;
  }
}

}  // namespace
}  // namespace tarvok
