// FormatLunarInfo: the information line's right part and other patterns.
#include <string>

#include <gtest/gtest.h>

#include "datetime/date_time.h"
#include "lunar/lunar.h"
#include "platform/gbk.h"

namespace tarvok::lunar {
namespace {

constexpr const char* kInfo = "%Y年(%S)%M%D %y-%m-%d";

std::string Info(DateTime t, const char* pattern = kInfo) {
  return GbkToUtf8(FormatLunarInfo(t, Utf8ToGbk(pattern)));
}

DateTime EndOf(int y, int m, int d) { return MakeDate(y, m, d, 23, 59, 59); }

TEST(FormatLunarInfo, Cases) {
  struct Row {
    const char* meaning;
    DateTime t;
    const char* pattern;
    const char* want;
  };
  const Row rows[] = {
      {"the information line of 12 May 2013", EndOf(2013, 5, 12), kInfo, "癸巳年(蛇)四月初三 2013-5-12"},
      {"a leap month's first day", EndOf(2014, 10, 24), kInfo, "甲午年(马)闰九月初一 2014-10-24"},
      {"腊月 of 2012 after 立春 is already 癸巳", EndOf(2013, 2, 4), kInfo, "癸巳年(蛇)腊月廿四 2013-2-4"},
      {"the day before is 壬辰", EndOf(2013, 2, 3), kInfo, "壬辰年(龙)腊月廿三 2013-2-3"},
      {"立春 day before its moment", MakeDate(2013, 2, 4), kInfo, "壬辰年(龙)腊月廿四 2013-2-4"},
      {"days 10, 20, 30", EndOf(2013, 5, 19), "%D", "初十"},
      {"day 20", EndOf(2013, 4, 29), "%D", "二十"},
      {"day 30", EndOf(2013, 5, 9), "%D", "三十"},
      {"冬月 at the end of the range", EndOf(2048, 12, 31), kInfo, "戊辰年(龙)冬月廿七 2048-12-31"},
      {"codes in any order, repeated", EndOf(2013, 5, 12), "%d/%m/%y %D%D", "12/5/2013 初三初三"},
      {"text around the codes is kept", EndOf(2013, 5, 12), "农历%M%D，%S年", "农历四月初三，蛇年"},
      {"a '%' before another '%' or a non-code is kept", EndOf(2013, 5, 12), "%%Y% %x 100%",
       "%癸巳% %x 100%"},
      {"no codes", EndOf(2013, 5, 12), "今日", "今日"},
      {"empty pattern", EndOf(2013, 5, 12), "", ""},
      {"23:59:59.6 belongs to the next day", DateTime(EndOf(2013, 5, 12).value + 0.6 / 86400),
       "%M%D %y-%m-%d", "四月初四 2013-5-13"},
      {"a day before the range has no lunar date", EndOf(1901, 2, 18), kInfo, ""},
      {"a day after the range has none either", EndOf(2049, 1, 1), kInfo, ""},
  };
  for (const Row& r : rows) EXPECT_EQ(Info(r.t, r.pattern), r.want) << r.meaning;
}

}  // namespace
}  // namespace tarvok::lunar
