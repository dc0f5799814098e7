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

// No result for a date outside 1901-02-19 .. 2048-12-31 or a month outside 1..12.
std::optional<LunarDate> GregorianToLunar(int year, int month, int day);

std::string LunarMonthName(int month, bool leap);  // 正月 .. 腊月, 闰 before a leap month
std::string LunarDayName(int day);                 // 初一 .. 三十

// 1..60 (1 = 甲子), changing at the moment of 立春; 0 outside the range.
int StemBranchYear(DateTime t);
std::string StemName(int stem);      // 1..10
std::string BranchName(int branch);  // 1..12
std::string ZodiacName(int branch);  // 1..12

// 1..24 when a solar term falls on that day, else 0 (also outside 1880..2079).
int SolarTermOn(int year, int month, int day);
std::string SolarTermName(int term);  // 1..24

// Replaces %Y, %S, %M, %D, %y, %m, %d in that order (see the implementation).
std::string FormatLunarInfo(DateTime t, std::string_view pattern);

}  // namespace tarvok::lunar
