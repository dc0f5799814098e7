// Calendar arithmetic: sweeps over the whole range, the negative half of the
// scale, the clamp, and adding at the ends of the range.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "datetime/date_time.h"

namespace tarvok {
namespace {

constexpr int64_t kFirstDay = -657434;  // 0100-01-01
constexpr int64_t kLastDay = 2958465;   // 9999-12-31
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A moment as the double stores it: day k, then `seconds` forward from that
// day's midnight.
double Moment(int64_t day, double seconds) {
  const double k = static_cast<double>(day);
  return day >= 0 ? k + seconds / 86400 : k - seconds / 86400;
}

struct Civil {
  int year, month, day;
};

// The test's own calendar, stepping one day at a time.
bool Leap(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }
int Length(int y, int m) {
  static constexpr int kLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && Leap(y) ? 29 : kLength[m - 1];
}
Civil Next(Civil c) {
  if (c.day < Length(c.year, c.month)) return {c.year, c.month, c.day + 1};
  if (c.month < 12) return {c.year, c.month + 1, 1};
  return {c.year + 1, 1, 1};
}
Civil Previous(Civil c) {
  if (c.day > 1) return {c.year, c.month, c.day - 1};
  if (c.month > 1) return {c.year, c.month - 1, Length(c.year, c.month - 1)};
  return {c.year - 1, 12, 31};
}

::testing::AssertionResult SameParts(DateTime d, Civil c, int h, int mi, int s) {
  const DateParts p = SplitDate(d);
  if (p.year == c.year && p.month == c.month && p.day == c.day && p.hour == h && p.minute == mi &&
      p.second == s) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "value " << d.value << " splits into " << p.year << "-" << p.month << "-" << p.day
         << " " << p.hour << ":" << p.minute << ":" << p.second << ", want " << c.year << "-"
         << c.month << "-" << c.day << " " << h << ":" << mi << ":" << s;
}

::testing::AssertionResult CheckDay(int64_t k, Civil c, int weekday) {
  const DateTime midnight(static_cast<double>(k));
  if (auto r = SameParts(midnight, c, 0, 0, 0); !r) return r;
  if (MakeDate(c.year, c.month, c.day).value != midnight.value) {
    return ::testing::AssertionFailure() << "MakeDate of day " << k;
  }
  if (WeekdayOf(midnight) != weekday) {
    return ::testing::AssertionFailure() << "weekday of day " << k << " is "
                                         << WeekdayOf(midnight) << ", want " << weekday;
  }
  if (TextToDate(DateToText(midnight, DateTextForm::kDate)).value != midnight.value) {
    return ::testing::AssertionFailure() << "date text of day " << k << " reads back wrong";
  }
  if (k == kFirstDay) return ::testing::AssertionSuccess();  // no time on that day is in range

  // A time of day that differs from day to day, so every form of the full
  // text and every time field is met somewhere.
  const int64_t second = (k * 7919 % 86400 + 86400) % 86400;
  const DateTime timed(Moment(k, static_cast<double>(second)));
  const int h = static_cast<int>(second / 3600), mi = static_cast<int>(second / 60 % 60),
            s = static_cast<int>(second % 60);
  if (k != kLastDay) {
    if (auto r = SameParts(timed, c, h, mi, s); !r) return r;
    if (TextToDate(DateToText(timed)).value != timed.value) {
      return ::testing::AssertionFailure() << "full text of " << timed.value << " reads back wrong";
    }
    if (DateOnly(timed).value != midnight.value || WeekdayOf(timed) != weekday) {
      return ::testing::AssertionFailure() << "the time of " << timed.value << " moves its day";
    }
  }

  // The whole-second step: 00:00:00.4 stays, 23:59:59.6 is the next day.
  if (DateOnly(DateTime(Moment(k, 0.4))).value != midnight.value) {
    return ::testing::AssertionFailure() << "00:00:00.4 leaves day " << k;
  }
  const double late = DateOnly(DateTime(Moment(k, 86399.6))).value;
  const double want = k == kLastDay ? kMaxDateTime : static_cast<double>(k + 1);
  if (late != want) {
    return ::testing::AssertionFailure() << "23:59:59.6 of day " << k << " rounds to " << late;
  }
  return ::testing::AssertionSuccess();
}

// Walks from day 0 (1899-12-30, a Saturday) to both ends of the range with
// its own calendar; the ends must land on the range bounds.
TEST(CalendarSweep, EveryDayOfTheRange) {
  Civil c{1899, 12, 30};
  int weekday = 7;
  int64_t k = 0;
  for (; c.year <= 9999; ++k, c = Next(c), weekday = weekday % 7 + 1) {
    ASSERT_TRUE(CheckDay(k, c, weekday));
  }
  EXPECT_EQ(k - 1, kLastDay);

  c = Previous(Civil{1899, 12, 30});
  weekday = 6;
  k = -1;
  for (; c.year >= 100; --k, c = Previous(c), weekday = (weekday + 5) % 7 + 1) {
    ASSERT_TRUE(CheckDay(k, c, weekday));
  }
  EXPECT_EQ(k + 1, kFirstDay);
}

TEST(NegativeValues, FractionCountsForwardFromMidnight) {
  struct Row {
    const char* meaning;
    double value;
    Civil date;
    int hour, minute, second;
  };
  const Row rows[] = {
      {"-1.25 is 06:00 on 29 Dec", -1.25, {1899, 12, 29}, 6, 0, 0},
      {"-1.75 is 18:00 on 29 Dec", -1.75, {1899, 12, 29}, 18, 0, 0},
      {"-0.25 is 06:00 on day 0", -0.25, {1899, 12, 30}, 6, 0, 0},
      {"-2.5 is noon on 28 Dec", -2.5, {1899, 12, 28}, 12, 0, 0},
      {"0.4 s after midnight written negative stays", -0.4 / 86400, {1899, 12, 30}, 0, 0, 0},
      // Rounding that carries past midnight goes to the next calendar day,
      // which below zero is the day nearer zero.
      {"23:59:59.99 of 29 Dec carries into day 0", -1.9999999, {1899, 12, 30}, 0, 0, 0},
      {"23:59:59.99 of day 0 written negative carries into 31 Dec", -0.99999999, {1899, 12, 31},
       0, 0, 0},
      {"23:59:59.6 of 2 Jan 100 carries into 3 Jan", -657433 - 86399.6 / 86400,
       {100, 1, 3}, 0, 0, 0},
  };
  for (const Row& row : rows) {
    EXPECT_TRUE(SameParts(DateTime(row.value), row.date, row.hour, row.minute, row.second))
        << row.meaning;
  }
}

// Steps through six days around zero an hour at a time: the comparison and
// the day distance must see one straight line.
TEST(NegativeValues, LinearScaleRunsStraightThroughZero) {
  std::vector<DateTime> hours;
  for (int i = -72; i < 72; ++i) {
    const int64_t day = i >= 0 ? i / 24 : -((-i + 23) / 24);
    hours.emplace_back(Moment(day, (i - day * 24) * 3600.0));
  }
  for (std::size_t i = 1; i < hours.size(); ++i) {
    EXPECT_LT(hours[i - 1], hours[i]) << hours[i - 1].value << " vs " << hours[i].value;
    EXPECT_NEAR(DateInterval(hours[i], hours[0], DateUnit::kDay), i / 24.0, 1e-9);
    EXPECT_EQ(CompareDates(hours[i], hours[i - 1]), 1);
    EXPECT_EQ(CompareDates(hours[i - 1], hours[i]), -1);
  }
  // Inside day 0 a value and its negative are the same moment.
  EXPECT_EQ(DateTime(-0.25), DateTime(0.25));
  EXPECT_EQ(DateInterval(DateTime(-0.25), DateTime(0.25), DateUnit::kDay), 0);
}

TEST(Clamp, EveryValueReadsInsideTheRange) {
  struct Row {
    const char* meaning;
    double value, clamped;
  };
  const Row rows[] = {
      {"NaN is the minimum", kNaN, kMinDateTime},
      {"-NaN is the minimum", -kNaN, kMinDateTime},
      {"+infinity is the maximum", kInf, kMaxDateTime},
      {"-infinity is the minimum", -kInf, kMinDateTime},
      {"largest double", std::numeric_limits<double>::max(), kMaxDateTime},
      {"noon of 1 Jan 100 is below the minimum", kMinDateTime - 0.5, kMinDateTime},
      {"noon of 31 Dec 9999", kMaxDateTime + 0.5, kMaxDateTime},
      {"inside is kept", 41395.5, 41395.5},
  };
  for (const Row& row : rows) {
    const DateTime d(row.value);
    EXPECT_EQ(Clamp(d).value, row.clamped) << row.meaning;
    EXPECT_EQ(d, DateTime(row.clamped)) << row.meaning;
    EXPECT_EQ(DateOnly(d).value, std::floor(row.clamped)) << row.meaning;
    EXPECT_EQ(AddToDate(d, DateUnit::kDay, 0).value, row.clamped) << row.meaning;
    const DateParts p = SplitDate(d);
    EXPECT_TRUE(p.year >= 100 && p.year <= 9999 && p.hour >= 0 && p.hour <= 23) << row.meaning;
  }
  EXPECT_EQ(DateInterval(DateTime(kNaN), kInvalidDate, DateUnit::kDay), 0);
  EXPECT_EQ(DateInterval(DateTime(kNaN), DateTime(kNaN), DateUnit::kMonth), 0);
}

// Over one 400-year cycle of start days and a spread of month counts: the
// month moves by exactly n, the day is cut back only at a month's end, and
// the time of day survives.
TEST(AddToDate, MonthsOverAFullCycle) {
  const int32_t counts[] = {-1201, -25, -13, -12, -1, 1, 2, 11, 12, 13, 25, 1201};
  const int64_t start = 36526;  // 2000-01-01
  for (int64_t k = start; k < start + 146097; ++k) {
    const DateTime d(Moment(k, 3723));  // 01:02:03
    const DateParts p = SplitDate(d);
    for (int32_t n : counts) {
      const DateTime r = AddToDate(d, DateUnit::kMonth, n);
      const DateParts q = SplitDate(r);
      ASSERT_EQ(DateInterval(r, d, DateUnit::kMonth), n) << d.value << " + " << n;
      ASSERT_EQ(q.day, std::min(p.day, DaysInMonth(q.year, q.month))) << d.value << " + " << n;
      ASSERT_EQ(q.hour * 3600 + q.minute * 60 + q.second, 3723) << d.value << " + " << n;
    }
  }
}

// Day arithmetic on the linear scale, starting on both sides of zero.
TEST(AddToDate, DaysKeepTheTimeAcrossZero) {
  const double starts[] = {-3.25, -1.75, -0.25, 0.25, 2.75};
  for (double start : starts) {
    const DateTime d(start);
    const DateParts p = SplitDate(d);
    for (int32_t n = -6; n <= 6; ++n) {
      const DateTime r = AddToDate(d, DateUnit::kDay, n);
      const DateParts q = SplitDate(r);
      EXPECT_EQ(DateInterval(r, d, DateUnit::kDay), n) << start << " + " << n;
      EXPECT_EQ(q.hour, p.hour) << start << " + " << n;
      EXPECT_EQ(DateInterval(DateOnly(r), DateOnly(d), DateUnit::kDay), n) << start << " + " << n;
    }
  }
  // A fraction of a second is kept exactly.
  EXPECT_EQ(AddToDate(DateTime(41395.123456789), DateUnit::kDay, 1).value, 41396.123456789);
}

TEST(AddToDate, StopsAtTheEndsOfTheRange) {
  using enum DateUnit;
  constexpr int32_t kMost = std::numeric_limits<int32_t>::max();
  constexpr int32_t kLeast = std::numeric_limits<int32_t>::min();
  struct Row {
    const char* meaning;
    double from;
    DateUnit unit;
    int32_t n;
    double want;
  };
  const Row rows[] = {
      {"a month past December 9999", 2958266, kMonth, 7, kMaxDateTime},          // 9999-06-15
      {"twelve months from June 9999 do not stay put", 2958266, kMonth, 12, kMaxDateTime},
      {"months before year 100 do not move forward", -657361, kMonth, -5, kMinDateTime},  // 0100-03-15
      {"most months", 41395, kMonth, kMost, kMaxDateTime},
      {"least months", 41395, kMonth, kLeast, kMinDateTime},
      {"most years", 41395, kYear, kMost, kMaxDateTime},
      {"least years", 41395, kYear, kLeast, kMinDateTime},
      {"a day past 31 Dec 9999", kMaxDateTime, kDay, 1, kMaxDateTime},
      {"a day before 1 Jan 100", kMinDateTime, kDay, -1, kMinDateTime},
      {"most days", 41395.5, kDay, kMost, kMaxDateTime},
      {"least days", 41395.5, kDay, kLeast, kMinDateTime},
      {"onto 1 Jan 100 with a time", -657433.5, kDay, -1, kMinDateTime},
      {"a year onto the last day", 2958100, kYear, 1, kMaxDateTime},  // 9998-12-31
      {"a year from 29 Feb 2012", 40968, kYear, 1, 41333},
      {"a year back from 1 Mar 2013 is 1 Mar 2012", 41334, kYear, -1, 40969},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(AddToDate(DateTime(row.from), row.unit, row.n).value, row.want) << row.meaning;
  }
}

TEST(MakeDate, PartsBeyondTheirRangeCarryOver) {
  constexpr int kMost = std::numeric_limits<int>::max();
  constexpr int kLeast = std::numeric_limits<int>::min();
  struct Row {
    const char* meaning;
    DateTime got;
    double want;
  };
  const Row rows[] = {
      {"month 13 is January of the next year", MakeDate(2012, 13, 1), 41275},
      {"month 0 is December of the year before", MakeDate(2013, 0, 31), 41274},
      {"30 February 2013 is 2 March", MakeDate(2013, 2, 30), 41335},
      {"day 0 is the last day of the month before", MakeDate(2013, 5, 0), 41394},
      {"second 60 is the next minute", MakeDate(2013, 5, 1, 0, 0, 60), 41395 + 60.0 / 86400},
      {"hour 24 is the next midnight", MakeDate(2013, 5, 1, 24), 41396},
      {"second -1 is the day before", MakeDate(2013, 5, 1, 0, 0, -1), 41394 + 86399.0 / 86400},
      {"a time on a day before zero counts forward", MakeDate(1899, 12, 29, 6), -1.25},
  };
  for (const Row& row : rows) EXPECT_EQ(row.got.value, row.want) << row.meaning;

  // Extreme arguments give some value and nothing undefined (the sanitizer
  // build checks that); clamped, they are a bound.
  const int extremes[] = {kLeast, -1, 0, kMost};
  for (int a : extremes) {
    for (int b : extremes) {
      const DateTime d = Clamp(MakeDate(a, b, a, b, a, b));
      EXPECT_TRUE(d.value >= kMinDateTime && d.value <= kMaxDateTime) << a << ", " << b;
    }
  }
}

TEST(DaysInMonth, LeapRules) {
  struct Row {
    const char* meaning;
    int year, month, days;
  };
  const Row rows[] = {
      {"January", 2013, 1, 31},         {"April", 2013, 4, 30},
      {"February 2013", 2013, 2, 28},   {"February of a leap year", 2012, 2, 29},
      {"century, not leap", 1900, 2, 28}, {"fourth century, leap", 2000, 2, 29},
      {"December", 9999, 12, 31},       {"month 0", 2013, 0, 0},
      {"month 13", 2013, 13, 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DaysInMonth(row.year, row.month), row.days) << row.meaning;
  }
}

TEST(DateInterval, YearsAndMonthsIgnoreTheSmallerParts) {
  using enum DateUnit;
  const DateTime last(kMaxDateTime), first(kMinDateTime);
  EXPECT_EQ(DateInterval(last, first, kYear), 9899);
  EXPECT_EQ(DateInterval(last, first, kMonth), 9899 * 12 + 11);
  EXPECT_EQ(DateInterval(first, last, kDay), kMinDateTime - kMaxDateTime);
  // 1 May 2013 23:59:59.6 is already 2 May for the calendar parts.
  const DateTime late(41395 + 86399.6 / 86400), may31(41425);
  EXPECT_EQ(DateInterval(may31, late, kMonth), 0);
  EXPECT_EQ(DateInterval(DateTime(41425.99999999), may31, kMonth), 1);  // rounds into June
  EXPECT_NEAR(DateInterval(may31, late, kDay), 30 - 86399.6 / 86400, 1e-9);
}

}  // namespace
}  // namespace tarvok
