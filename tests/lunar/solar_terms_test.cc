// Solar terms by day, and the stem-branch year that turns at 立春.
//
// Term days: the calendar's documented rows (1880 小寒 1-6, 2000 小寒 1-6,
// 2013 小寒 1-5, 2013 立春 2-4 00:13:20, 2079 冬至 12-22) and published
// dates of the almanac for the others.
#include <string>

#include <gtest/gtest.h>

#include "datetime/date_time.h"
#include "lunar/lunar.h"
#include "lunar/lunar_tables.h"
#include "platform/gbk.h"

namespace tarvok::lunar {
namespace {

TEST(SolarTermOn, KnownDays) {
  struct Row {
    const char* meaning;
    int y, m, d;
    int want;
  };
  const Row rows[] = {
      {"小寒 of the first table year", 1880, 1, 6, 1},
      {"the day before it", 1880, 1, 5, 0},
      {"冬至 of the last table year", 2079, 12, 22, 24},
      {"the day after it", 2079, 12, 23, 0},
      {"小寒 2000", 2000, 1, 6, 1},
      {"小寒 2013", 2013, 1, 5, 1},
      {"a day after 小寒 2013", 2013, 1, 6, 0},
      {"立春 2013, just after midnight", 2013, 2, 4, 3},
      {"立夏 2013", 2013, 5, 5, 9},
      {"小满 2013", 2013, 5, 21, 10},
      {"冬至 2013", 2013, 12, 22, 24},
      {"霜降 2014", 2014, 10, 23, 20},
      {"立春 2015", 2015, 2, 4, 3},
      {"雨水 2015, on 正月初一", 2015, 2, 19, 4},
      {"a year before the table", 1879, 12, 22, 0},
      {"a year after the table", 2080, 1, 6, 0},
      {"no such month", 2013, 13, 5, 0},
      {"no such day", 2013, 5, 0, 0},
  };
  for (const Row& r : rows)
    EXPECT_EQ(SolarTermOn(r.y, r.m, r.d), r.want) << r.meaning;
}

// Every year of the table has its 24 terms on 24 different days, in order,
// two in each month: the 节 (odd terms) between the 3rd and 9th, the 中气
// (even terms) between the 18th and 24th, as everywhere in 1880..2079.
TEST(SolarTermOn, EveryYearHasItsTermsInOrder) {
  for (int y = 1880; y <= 2079; ++y) {
    int last = 0;
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= DaysInMonth(y, m); ++d) {
        const int k = SolarTermOn(y, m, d);
        if (k == 0) continue;
        ASSERT_EQ(k, last + 1) << y << "-" << m << "-" << d;
        last = k;
        EXPECT_EQ((k + 1) / 2, m) << y << "-" << m << "-" << d;
        if (k % 2 == 1)
          EXPECT_TRUE(d >= 3 && d <= 9) << y << "-" << m << "-" << d;
        else
          EXPECT_TRUE(d >= 18 && d <= 24) << y << "-" << m << "-" << d;
      }
    }
    EXPECT_EQ(last, 24) << y;
  }
}

DateTime At(int y, int m, int d, int h, int mi, double s) {
  return DateTime(MakeDate(y, m, d, h, mi).value + s / 86400);
}

TEST(StemBranchYear, TurnsAtTheMomentOfLichun) {
  struct Row {
    const char* meaning;
    DateTime t;
    int want;  // 0 = refused
    const char* name;
  };
  const Row rows[] = {
      {"2013-02-03, 腊月 of 2012, before 立春", At(2013, 2, 3, 23, 59, 59), 29, "壬辰"},
      {"2013-02-04, 立春 day, also 腊月 of 2012", At(2013, 2, 4, 23, 59, 59), 30, "癸巳"},
      {"立春 2013 midnight, before its moment", At(2013, 2, 4, 0, 0, 0), 29, "壬辰"},
      {"lunar new year 2013 lies after 立春", At(2013, 2, 10, 0, 0, 0), 30, "癸巳"},
      {"first convertible day, after 立春 1901", At(1901, 2, 19, 0, 0, 0), 38, "辛丑"},
      {"mid-1924 begins the cycle", At(1924, 7, 1, 12, 0, 0), 1, "甲子"},
      {"January 1924 is the cycle's last year", At(1924, 1, 15, 12, 0, 0), 60, "癸亥"},
      {"mid-1984", At(1984, 7, 1, 12, 0, 0), 1, "甲子"},
      {"last convertible day", At(2048, 12, 31, 23, 59, 59), 5, "戊辰"},
      {"before the range", At(1901, 2, 18, 23, 59, 59), 0, ""},
      {"23:59:59.6 on the last day is the first refused day", At(2048, 12, 31, 23, 59, 59.6), 0, ""},
      {"after the range", At(2049, 1, 1, 12, 0, 0), 0, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.meaning);
    const int i = StemBranchYear(r.t);
    EXPECT_EQ(i, r.want);
    EXPECT_EQ(GbkToUtf8(StemBranchName(i)), r.name);
  }
  EXPECT_EQ(GbkToUtf8(ZodiacName((29 - 1) % 12 + 1)), "龙");
  EXPECT_EQ(GbkToUtf8(ZodiacName((30 - 1) % 12 + 1)), "蛇");
}

// Around the moment of 立春 2013 as the table has it (the table's own
// tests hold it to 00:13:20): the second before is still 壬辰, the moment
// itself is 癸巳, and fractions of a second round to the nearest second.
TEST(StemBranchYear, MomentOfLichunToTheSecond) {
  const TermMoment& m = kSolarTerms[2013 - kFirstTermYear][2];
  ASSERT_EQ(m.month * 100 + m.day, 204);
  const double moment = MakeDate(2013, 2, 4, m.hour, m.minute, m.second).value;
  const double second = 1.0 / 86400;
  struct Row {
    const char* meaning;
    double offset;  // seconds from the moment
    int want;
  };
  const Row rows[] = {
      {"one second before", -1, 29},
      {"the moment itself", 0, 30},
      {"0.4 s before rounds to the moment", -0.4, 30},
      {"0.6 s before rounds to the second before", -0.6, 29},
      {"one second after", 1, 30},
  };
  for (const Row& r : rows)
    EXPECT_EQ(StemBranchYear(DateTime(moment + r.offset * second)), r.want) << r.meaning;
}

// Over the whole range, read at 23:59:59 as the control does: the index
// moves once a year, by one (60 to 1), on the day of 立春; on 1 July of year
// Y it is (Y - 4) mod 60 + 1, the cycle that puts 甲子 on 1984.
TEST(StemBranchYear, SweepOfTheRange) {
  DateTime day = MakeDate(kFirstYear, kFirstMonth, kFirstDay);
  const DateTime last = MakeDate(kLastYear, kLastMonth, kLastDay);
  int prev = StemBranchYear(DateTime(day.value + 86399.0 / 86400));
  int changes = 0;
  while (day < last) {
    day = AddToDate(day, DateUnit::kDay, 1);
    const DateParts p = SplitDate(day);
    const int i = StemBranchYear(DateTime(day.value + 86399.0 / 86400));
    ASSERT_NE(i, 0) << p.year << "-" << p.month << "-" << p.day;
    if (i != prev) {
      ++changes;
      ASSERT_EQ(i, prev % 60 + 1) << p.year << "-" << p.month << "-" << p.day;
      ASSERT_EQ(SolarTermOn(p.year, p.month, p.day), 3) << p.year << "-" << p.month << "-" << p.day;
    }
    if (p.month == 7 && p.day == 1) {
      ASSERT_EQ(i, (p.year - 4) % 60 + 1) << p.year;
    }
    prev = i;
  }
  EXPECT_EQ(changes, 2048 - 1902 + 1);  // 立春 1901 lies before the range
}

}  // namespace
}  // namespace tarvok::lunar
