// The lunar engine: Gregorian dates to lunar dates, month and day names,
// the stem-branch year, solar terms, and the information text. No state:
// everything comes from the constant tables of lunar_tables.h. Texts are GBK.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "datetime/date_time.h"

namespace tarvok::lunar {

struct LunarDate {
  int year = 0;   // the Gregorian number of the year in which its first month begins
  int month = 0;  // 1..12
  int day = 0;    // 1..30
  bool leap = false;
  friend bool operator==(const LunarDate&, const LunarDate&) = default;
};

// The first and last convertible days.
inline constexpr int kFirstYear = 1901, kFirstMonth = 2, kFirstDay = 19;
inline constexpr int kLastYear = 2048, kLastMonth = 12, kLastDay = 31;

// The lunar date of a Gregorian date. No result for a date outside
// 1901-02-19 .. 2048-12-31, a month outside 1..12 or a day that the month
// does not have (2013-02-30 is no date, not 2013-03-02).
std::optional<LunarDate> GregorianToLunar(int year, int month, int day);

// 正月 二月 .. 十月 冬月 腊月, with 闰 before a leap month (闰九月). The empty
// text for a month outside 1..12.
std::string LunarMonthName(int month, bool leap);
// 初一 .. 初十, 十一 .. 十九, 二十, 廿一 .. 廿九, 三十. The empty text for a day
// outside 1..30.
std::string LunarDayName(int day);

// The stem-branch year of t, 1..60 (1 = 甲子, 38 = 辛丑); its stem is
// (i - 1) % 10 + 1, its branch and zodiac animal (i - 1) % 12 + 1. The year
// changes at the moment of 立春 (China Standard Time), not at the lunar new
// year: 2013-02-04 00:13:19 is still 壬辰, 00:13:20 is 癸巳. t is read in
// whole seconds (SplitDate). 0 for a day that GregorianToLunar refuses.
int StemBranchYear(DateTime t);
// The two characters of stem-branch index 1..60 (癸巳); empty outside.
std::string StemBranchName(int index);
std::string StemName(int stem);      // 1..10: 甲 .. 癸; empty outside
std::string BranchName(int branch);  // 1..12: 子 .. 亥; empty outside
std::string ZodiacName(int branch);  // 1..12: 鼠 .. 猪; empty outside

// 1..24 (小寒 .. 冬至) when a solar term falls on that day in China Standard
// Time, else 0; 0 also for a year outside 1880..2079.
int SolarTermOn(int year, int month, int day);
std::string SolarTermName(int term);  // 1..24: 小寒 .. 冬至; empty outside

// The pattern with its codes replaced: %Y the stem-branch characters of
// StemBranchYear(t), %S the zodiac animal, %M LunarMonthName, %D
// LunarDayName, %y %m %d the Gregorian year, month and day in decimal
// without leading zeros. Any other byte, and a '%' before anything else, is
// kept. "%Y年(%S)%M%D %y-%m-%d" for 2013-05-12 gives
// 癸巳年(蛇)四月初三 2013-5-12. The empty text for a t whose day has no lunar
// date.
std::string FormatLunarInfo(DateTime t, std::string_view pattern);

}  // namespace tarvok::lunar
