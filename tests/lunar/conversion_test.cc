// Gregorian to lunar dates: known answers, refusals, and sweeps of the whole
// range for what every lunisolar calendar must satisfy.
//
// Known answers: the first rows are the calendar's documented edge cases;
// the others are published new-year and leap-month dates, each also checked
// against liblunar-date 3.0.1 (at noon, since that library starts a day at
// 23:00).
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "datetime/date_time.h"
#include "lunar/lunar.h"

namespace tarvok::lunar {
namespace {

struct Day {
  int y, m, d;
};

// The day after, through the datetime layer rather than our own arithmetic.
Day Next(Day day) {
  const DateParts p = SplitDate(AddToDate(MakeDate(day.y, day.m, day.d), DateUnit::kDay, 1));
  return {p.year, p.month, p.day};
}

std::string Show(Day d) {
  return std::to_string(d.y) + "-" + std::to_string(d.m) + "-" + std::to_string(d.d);
}

TEST(GregorianToLunar, KnownAnswers) {
  struct Row {
    const char* meaning;
    Day gregorian;
    LunarDate want;
  };
  const Row rows[] = {
      {"first convertible day", {1901, 2, 19}, {1901, 1, 1, false}},
      {"last convertible day", {2048, 12, 31}, {2048, 11, 27, false}},
      {"new year 2013", {2013, 2, 10}, {2013, 1, 1, false}},
      {"new year 2000", {2000, 2, 5}, {2000, 1, 1, false}},
      {"eve of new year 2013, 腊月 of 29 days", {2013, 2, 9}, {2012, 12, 29, false}},
      {"last day of 九月 2014", {2014, 10, 23}, {2014, 9, 30, false}},
      {"first day of 闰九月 2014", {2014, 10, 24}, {2014, 9, 1, true}},
      {"last day of 闰九月 2014", {2014, 11, 21}, {2014, 9, 29, true}},
      {"十月 after 闰九月", {2014, 11, 22}, {2014, 10, 1, false}},
      {"first day of 闰二月 2023", {2023, 3, 22}, {2023, 2, 1, true}},
      {"day before 闰二月 2023", {2023, 3, 21}, {2023, 2, 30, false}},
      {"12 May 2013", {2013, 5, 12}, {2013, 4, 3, false}},
      {"29 February of a leap year", {2012, 2, 29}, {2012, 2, 8, false}},
      {"new year 1902", {1902, 2, 8}, {1902, 1, 1, false}},
      {"eve of new year 1902, 腊月 of 29 days", {1902, 2, 7}, {1901, 12, 29, false}},
      {"first leap month of the range, 闰五月 1903", {1903, 6, 25}, {1903, 5, 1, true}},
      {"闰四月 1906", {1906, 5, 23}, {1906, 4, 1, true}},
      {"new year 1984, 甲子", {1984, 2, 2}, {1984, 1, 1, false}},
      {"闰十月 1984", {1984, 11, 23}, {1984, 10, 1, true}},
      {"闰四月 2020", {2020, 5, 23}, {2020, 4, 1, true}},
      {"闰冬月 2033, a leap month late in the year", {2033, 12, 22}, {2033, 11, 1, true}},
      {"new year 2034 after 闰冬月", {2034, 2, 19}, {2034, 1, 1, false}},
      {"new year 2048, last of the range", {2048, 2, 14}, {2048, 1, 1, false}},
      {"Gregorian new year 2000", {2000, 1, 1}, {1999, 11, 25, false}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.meaning);
    const auto got = GregorianToLunar(r.gregorian.y, r.gregorian.m, r.gregorian.d);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, r.want) << got->year << "/" << got->month << "/" << got->day
                            << (got->leap ? " leap" : "");
  }
}

TEST(GregorianToLunar, RefusesWhatIsNoDateOrOutsideTheRange) {
  const Day refused[] = {
      {1901, 2, 18},  {1900, 12, 31}, {1901, 1, 1},  {2049, 1, 1},   {2049, 6, 1},
      {1, 1, 1},      {2013, 0, 1},   {2013, 13, 1}, {2013, -1, 1},  {2013, 5, 0},
      {2013, 5, 32},  {2013, 2, 29},  {2013, 2, 30}, {2000, 2, 30},  {1900, 2, 29},
      {2013, 4, 31},  {2048, 12, 32}, {2048, 13, 1}, {9999, 12, 31}, {-2013, 5, 12},
  };
  for (const Day& d : refused) EXPECT_FALSE(GregorianToLunar(d.y, d.m, d.d)) << Show(d);
}

// Every day of the range converts, and from one day to the next the lunar
// date advances by one day or starts the next month on day 1: the leap month
// right after the month it repeats, 正月 of the next year after 腊月.
// Months have 29 or 30 days, years 12 or 13 months, at most one of them leap,
// and every lunar new year falls between 21 January and 20 February.
TEST(GregorianToLunar, WholeRangeIsOneUnbrokenCalendar) {
  Day day{kFirstYear, kFirstMonth, kFirstDay};
  std::optional<LunarDate> prev = GregorianToLunar(day.y, day.m, day.d);
  ASSERT_TRUE(prev);
  int days = 1, month_length = 1, months_in_year = 1, leap_months_in_year = 0;
  int lunar_years = 1;
  while (!(day.y == kLastYear && day.m == kLastMonth && day.d == kLastDay)) {
    day = Next(day);
    ++days;
    const std::optional<LunarDate> cur = GregorianToLunar(day.y, day.m, day.d);
    ASSERT_TRUE(cur) << Show(day);
    if (cur->day != 1) {
      ASSERT_EQ(*cur, (LunarDate{prev->year, prev->month, prev->day + 1, prev->leap})) << Show(day);
      ++month_length;
    } else {
      ASSERT_TRUE(month_length == 29 || month_length == 30) << Show(day) << " ends a month of "
                                                            << month_length;
      month_length = 1;
      if (cur->month == 1 && !cur->leap) {
        ASSERT_EQ(prev->month, 12) << Show(day);
        ASSERT_FALSE(prev->leap) << "no leap 腊月 in this range: " << Show(day);
        ASSERT_EQ(cur->year, prev->year + 1) << Show(day);
        ASSERT_EQ(cur->year, day.y) << Show(day);
        const bool in_window = (day.m == 1 && day.d >= 21) || (day.m == 2 && day.d <= 20);
        EXPECT_TRUE(in_window) << "new year on " << Show(day);
        EXPECT_EQ(months_in_year, 12 + leap_months_in_year) << prev->year;
        months_in_year = 1;
        leap_months_in_year = 0;
        ++lunar_years;
      } else if (cur->leap) {
        ASSERT_EQ(*cur, (LunarDate{prev->year, prev->month, 1, true})) << Show(day);
        ASSERT_FALSE(prev->leap) << Show(day);
        ++months_in_year;
        ASSERT_EQ(++leap_months_in_year, 1) << Show(day);
      } else {
        ASSERT_EQ(*cur, (LunarDate{prev->year, prev->month + 1, 1, false})) << Show(day);
        ++months_in_year;
      }
    }
    prev = cur;
  }
  EXPECT_EQ(days, 54008);  // 1901-02-19 .. 2048-12-31, both included
  EXPECT_EQ(lunar_years, 2048 - 1901 + 1);
  EXPECT_EQ(*prev, (LunarDate{2048, 11, 27, false}));
}

// A lunar year with a leap month has 383 to 385 days, one without 353 to
// 355: measured between the new-year days found by conversion.
TEST(GregorianToLunar, LunarYearLengths) {
  Day day{kFirstYear, kFirstMonth, kFirstDay};
  int length = 0;
  bool has_leap = false;
  int years_with_leap = 0;
  while (!(day.y == kLastYear && day.m == kLastMonth && day.d == kLastDay)) {
    day = Next(day);
    ++length;
    const LunarDate l = *GregorianToLunar(day.y, day.m, day.d);
    if (l.leap) has_leap = true;
    if (l.month == 1 && l.day == 1 && !l.leap) {
      if (has_leap) {
        ++years_with_leap;
        EXPECT_TRUE(length >= 383 && length <= 385) << l.year - 1 << ": " << length;
      } else {
        EXPECT_TRUE(length >= 353 && length <= 355) << l.year - 1 << ": " << length;
      }
      length = 0;
      has_leap = false;
    }
  }
  // Seven leap months in every 19 years: 1901..2047 are 147 years.
  EXPECT_TRUE(years_with_leap >= 53 && years_with_leap <= 55) << years_with_leap;
}

}  // namespace
}  // namespace tarvok::lunar
