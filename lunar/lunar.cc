#include "lunar/lunar.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

#include "lunar/lunar_tables.h"
#include "platform/gbk.h"

namespace tarvok::lunar {
namespace {

// 1901-02-19, lunar 1901 正月初一, counted from 1901-01-01.
constexpr int kFirstLunarDay = 49;

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int LeapDaysBefore(int y) {  // leap days in the years 1..y-1
  const int p = y - 1;
  return p / 4 - p / 100 + p / 400;
}

// Days from 1901-01-01 (day 0) to a valid date of 1901 or later.
int DayCount(int y, int m, int d) {
  static constexpr int kMonthStart[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return (y - 1901) * 365 + LeapDaysBefore(y) - LeapDaysBefore(1901) + kMonthStart[m - 1] +
         (m > 2 && IsLeapYear(y) ? 1 : 0) + d - 1;
}

int LeapMonthOf(int lunar_year) {
  const int i = lunar_year - kFirstLunarYear;
  const uint8_t pair = kLunarLeapMonths[i / 2];
  return i % 2 == 0 ? pair >> 4 : pair & 0x0F;
}

int MonthLength(int lunar_year, int month, bool leap, int leap_month) {
  const uint16_t word = kLunarMonthWords[lunar_year - kFirstLunarYear];
  int bit;
  if (leap)
    bit = 15 - leap_month;
  else if (leap_month == 0 || month <= leap_month)
    bit = 16 - month;
  else
    bit = 15 - month;
  return (word >> bit) & 1 ? 30 : 29;
}

// One lunar year unpacked from the tables: where it starts and its months in
// calendar order, the leap month in its place after the month it repeats.
struct LunarYear {
  int start = 0;  // days from 1901-02-19 to its 正月初一
  int month_count = 0;
  std::array<uint8_t, 13> number{};
  std::array<bool, 13> leap{};
  std::array<uint8_t, 13> length{};
};

// Unpacked once, so that a conversion finds its year by a binary search
// instead of walking up to 148 years from 1901: the month change of a
// calendar redraws up to 42 cells at a time.
struct YearIndex {
  std::array<LunarYear, kLunarYears> years{};
  std::array<int, kLunarYears> starts{};
  YearIndex() {
    int start = 0;
    for (int i = 0; i < kLunarYears; ++i) {
      const int y = kFirstLunarYear + i;
      const int leap_month = LeapMonthOf(y);
      LunarYear& ly = years[i];
      ly.start = start;
      starts[i] = start;
      for (int m = 1; m <= 12; ++m) {
        ly.number[ly.month_count] = static_cast<uint8_t>(m);
        ly.length[ly.month_count] = static_cast<uint8_t>(MonthLength(y, m, false, leap_month));
        start += ly.length[ly.month_count++];
        if (m == leap_month) {
          ly.number[ly.month_count] = static_cast<uint8_t>(m);
          ly.leap[ly.month_count] = true;
          ly.length[ly.month_count] = static_cast<uint8_t>(MonthLength(y, m, true, leap_month));
          start += ly.length[ly.month_count++];
        }
      }
    }
  }
};

const YearIndex& Years() {
  static const YearIndex index;
  return index;
}

// Every text the engine writes, converted to GBK once. Lists of names are
// runs of two-byte characters: name k of a list of one-character names is at
// byte 2k, of two-character names at byte 4k.
struct Names {
  std::string stems = "甲乙丙丁戊己庚辛壬癸"_gbk;
  std::string branches = "子丑寅卯辰巳午未申酉戌亥"_gbk;
  std::string zodiac = "鼠牛虎兔龙蛇马羊猴鸡狗猪"_gbk;
  std::string terms =
      "小寒大寒立春雨水惊蛰春分清明谷雨立夏小满芒种夏至"
      "小暑大暑立秋处暑白露秋分寒露霜降立冬小雪大雪冬至"_gbk;
  std::array<std::string, 31> days;        // 1..30
  std::array<std::string, 13> months;      // 1..12
  std::array<std::string, 13> leap_months;  // 1..12
  Names() {
    const std::string digits = "正二三四五六七八九十"_gbk;
    const std::string month_word = "月"_gbk;
    const std::string leap_word = "闰"_gbk;
    for (int m = 1; m <= 10; ++m) months[m] = digits.substr(2 * (m - 1), 2) + month_word;
    months[11] = "冬月"_gbk;
    months[12] = "腊月"_gbk;
    for (int m = 1; m <= 12; ++m) leap_months[m] = leap_word + months[m];

    const std::string tens = "初十廿"_gbk;
    const std::string units = "一二三四五六七八九十"_gbk;
    for (int d = 1; d <= 30; ++d)
      days[d] = tens.substr(2 * ((d - 1) / 10), 2) + units.substr(2 * ((d - 1) % 10), 2);
    days[20] = "二十"_gbk;
    days[30] = "三十"_gbk;
  }
};

const Names& Texts() {
  static const Names names;
  return names;
}

void AppendNumber(std::string* out, int n) {
  char buf[12];
  out->append(buf, std::to_chars(buf, buf + sizeof buf, n).ptr);
}

}  // namespace

std::optional<LunarDate> GregorianToLunar(int year, int month, int day) {
  if (month < 1 || month > 12 || year > kLastYear || year < kFirstYear) return std::nullopt;
  if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  const int n = DayCount(year, month, day) - kFirstLunarDay;
  if (n < 0) return std::nullopt;

  const YearIndex& index = Years();
  const auto after = std::upper_bound(index.starts.begin(), index.starts.end(), n);
  const auto i = static_cast<size_t>(after - index.starts.begin() - 1);
  const LunarYear& ly = index.years[i];
  int rest = n - ly.start;
  int k = 0;
  while (rest >= ly.length[k]) rest -= ly.length[k++];
  return LunarDate{kFirstLunarYear + static_cast<int>(i), ly.number[k], rest + 1, ly.leap[k]};
}

std::string LunarMonthName(int month, bool leap) {
  if (month < 1 || month > 12) return {};
  return leap ? Texts().leap_months[month] : Texts().months[month];
}

std::string LunarDayName(int day) {
  if (day < 1 || day > 30) return {};
  return Texts().days[day];
}

int StemBranchYear(DateTime t) {
  const DateParts p = SplitDate(t);
  if (!GregorianToLunar(p.year, p.month, p.day)) return 0;
  int i = (p.year - 1901) % 60 + 38;
  if (i > 60) i -= 60;
  // The year's terms are in time order, so "the term in force is 小寒, 大寒
  // or none" is the same as "t lies before the moment of 立春".
  const TermMoment& spring = kSolarTerms[p.year - kFirstTermYear][2];
  const std::array<int, 5> now{p.month, p.day, p.hour, p.minute, p.second};
  const std::array<int, 5> term{spring.month, spring.day, spring.hour, spring.minute, spring.second};
  if (now < term) i = i == 1 ? 60 : i - 1;
  return i;
}

std::string StemBranchName(int index) {
  if (index < 1 || index > 60) return {};
  return StemName((index - 1) % 10 + 1) + BranchName((index - 1) % 12 + 1);
}

std::string StemName(int stem) {
  if (stem < 1 || stem > 10) return {};
  return Texts().stems.substr(2 * (stem - 1), 2);
}

std::string BranchName(int branch) {
  if (branch < 1 || branch > 12) return {};
  return Texts().branches.substr(2 * (branch - 1), 2);
}

std::string ZodiacName(int branch) {
  if (branch < 1 || branch > 12) return {};
  return Texts().zodiac.substr(2 * (branch - 1), 2);
}

int SolarTermOn(int year, int month, int day) {
  if (year < kFirstTermYear || year > kLastTermYear) return 0;
  const TermMoment* terms = kSolarTerms[year - kFirstTermYear];
  for (int k = 0; k < 24; ++k) {
    if (terms[k].month > month) break;
    if (terms[k].month == month && terms[k].day == day) return k + 1;
  }
  return 0;
}

std::string SolarTermName(int term) {
  if (term < 1 || term > 24) return {};
  return Texts().terms.substr(4 * (term - 1), 4);
}

std::string FormatLunarInfo(DateTime t, std::string_view pattern) {
  const DateParts p = SplitDate(t);
  const std::optional<LunarDate> lunar = GregorianToLunar(p.year, p.month, p.day);
  if (!lunar) return {};
  const int sb = StemBranchYear(t);
  // One pass gives the same text as replacing the codes one after the
  // other: no replacement holds a '%' or starts with a code letter, and no
  // byte of a GBK character is a '%'.
  std::string out;
  out.reserve(pattern.size() + 16);
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      out.push_back(pattern[i]);
      continue;
    }
    switch (pattern[i + 1]) {
      case 'Y': out += StemBranchName(sb); break;
      case 'S': out += ZodiacName((sb - 1) % 12 + 1); break;
      case 'M': out += LunarMonthName(lunar->month, lunar->leap); break;
      case 'D': out += LunarDayName(lunar->day); break;
      case 'y': AppendNumber(&out, p.year); break;
      case 'm': AppendNumber(&out, p.month); break;
      case 'd': AppendNumber(&out, p.day); break;
      default: out.push_back('%'); continue;
    }
    ++i;
  }
  return out;
}

}  // namespace tarvok::lunar
