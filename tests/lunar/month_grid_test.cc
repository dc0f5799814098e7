// The month grid and its labels. Whole grids are compared as six lines of
// seven labels, the way they look on screen.
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "datetime/date_time.h"
#include "lunar/month_grid.h"
#include "platform/gbk.h"

namespace tarvok::lunar {
namespace {

template <typename F>
std::vector<std::string> Rows(const MonthGrid& g, F label) {
  std::vector<std::string> rows;
  for (int r = 0; r < kGridRows; ++r) {
    std::string line;
    for (int c = 0; c < kGridColumns; ++c) {
      if (c > 0) line += ' ';
      line += label(g.cells[r * kGridColumns + c]);
    }
    rows.push_back(line);
  }
  return rows;
}

std::string Upper(const GridCell& c) { return GbkToUtf8(UpperLabel(c)); }
std::string Lower(const GridCell& c) { return GbkToUtf8(LowerLabel(c)); }
std::string InMonth(const GridCell& c) { return c.in_month ? "+" : "-"; }

MonthGrid Grid(int y, int m) {
  const auto g = BuildMonthGrid(y, m);
  EXPECT_TRUE(g) << y << "-" << m;
  return g.value_or(MonthGrid{});
}

TEST(MonthGrid, May2013) {
  const MonthGrid g = Grid(2013, 5);
  EXPECT_EQ(Rows(g, Upper), (std::vector<std::string>{
                                "29 30 5.1 2 3 4 5",
                                "6 7 8 9 10 11 12",
                                "13 14 15 16 17 18 19",
                                "20 21 22 23 24 25 26",
                                "27 28 29 30 31 6.1 2",
                                "3 4 5 6 7 8 9",
                            }));
  EXPECT_EQ(Rows(g, Lower), (std::vector<std::string>{
                                "二十 廿一 廿二 廿三 廿四 廿五 廿六",
                                "廿七 廿八 廿九 三十 四月 初二 初三",
                                "初四 初五 初六 初七 初八 初九 初十",
                                "十一 十二 十三 十四 十五 十六 十七",
                                "十八 十九 二十 廿一 廿二 廿三 廿四",
                                "廿五 廿六 廿七 廿八 廿九 五月 初二",
                            }));
  EXPECT_EQ(Rows(g, InMonth), (std::vector<std::string>{
                                  "- - + + + + +",
                                  "+ + + + + + +",
                                  "+ + + + + + +",
                                  "+ + + + + + +",
                                  "+ + + + + - -",
                                  "- - - - - - -",
                              }));
  EXPECT_EQ(GbkToUtf8(TermLine(g)), "廿六立夏  十二小满");
  const GridCell& first = g.cells[0];
  EXPECT_EQ(first.year * 10000 + first.month * 100 + first.day, 20130429);
  EXPECT_EQ(first.lunar, (LunarDate{2013, 3, 20, false}));
  EXPECT_EQ(g.cells[6].solar_term, 9);    // 5 May, 立夏
  EXPECT_EQ(g.cells[22].solar_term, 10);  // 21 May, 小满
  EXPECT_EQ(g.cells[41].year * 10000 + g.cells[41].month * 100 + g.cells[41].day, 20130609);
}

// February 2015 begins on a Sunday: its 1st is the last cell of the first
// row and the grid starts on 26 January. 雨水 falls on 正月初一, so the cell
// shows the month's name while the information line keeps the day's name.
TEST(MonthGrid, February2015StartsOn26January) {
  const MonthGrid g = Grid(2015, 2);
  EXPECT_EQ(Rows(g, Upper), (std::vector<std::string>{
                                "26 27 28 29 30 31 2.1",
                                "2 3 4 5 6 7 8",
                                "9 10 11 12 13 14 15",
                                "16 17 18 19 20 21 22",
                                "23 24 25 26 27 28 3.1",
                                "2 3 4 5 6 7 8",
                            }));
  EXPECT_EQ(Rows(g, Lower)[2], "廿一 廿二 廿三 廿四 廿五 廿六 廿七");
  EXPECT_EQ(Rows(g, Lower)[3], "廿八 廿九 三十 正月 初二 初三 初四");
  EXPECT_EQ(Rows(g, InMonth)[0], "- - - - - - +");
  EXPECT_EQ(Rows(g, InMonth)[4], "+ + + + + + -");
  EXPECT_EQ(GbkToUtf8(TermLine(g)), "十六立春  初一雨水");
}

TEST(MonthGrid, AMonthBeginningOnMondayStartsWithIts1st) {
  for (const auto& [y, m] : {std::pair{2013, 4}, {2013, 7}, {2014, 9}, {2015, 6}}) {
    const MonthGrid g = Grid(y, m);
    EXPECT_EQ(g.cells[0].day, 1) << y << "-" << m;
    EXPECT_EQ(g.cells[0].month, m) << y << "-" << m;
    EXPECT_TRUE(g.cells[0].in_month);
    EXPECT_EQ(Upper(g.cells[0]), std::to_string(m) + ".1");
  }
}

// October 2014: 九月三十 on the 23rd, then 闰九月 in the cell of the 24th.
TEST(MonthGrid, LeapMonthCell) {
  const MonthGrid g = Grid(2014, 10);
  EXPECT_EQ(g.cells[0].day, 29);  // Monday 29 September
  const GridCell& c23 = g.cells[1 + 23];
  const GridCell& c24 = g.cells[1 + 24];
  ASSERT_EQ(c24.day, 24);
  EXPECT_EQ(Lower(c23), "三十");
  EXPECT_EQ(Lower(c24), "闰九月");
  EXPECT_EQ(c24.weekday, 5);
  EXPECT_EQ(c24.lunar, (LunarDate{2014, 9, 1, true}));
  EXPECT_EQ(c23.solar_term, 20);  // 霜降
  EXPECT_EQ(GbkToUtf8(TermLine(g)), "十五寒露  三十霜降");
}

TEST(MonthGrid, UpperLabelOfTheFirstNamesTheMonth) {
  GridCell c;
  c.year = 2013;
  for (const auto& [m, d, want] : {std::tuple{5, 1, "5.1"}, {10, 1, "10.1"}, {12, 1, "12.1"},
                                   {12, 31, "31"}, {1, 9, "9"}, {1, 10, "10"}}) {
    c.month = m;
    c.day = d;
    EXPECT_EQ(Upper(c), want);
  }
}

// The ends of the range: the first and last months show days without a
// lunar date, which have an empty lower line; a term on such a day gives the
// term's name alone.
TEST(MonthGrid, EndsOfTheRange) {
  const MonthGrid first = Grid(1901, 2);
  EXPECT_EQ(first.cells[0].day, 28);  // Monday 28 January 1901
  for (const GridCell& c : first.cells) {
    const bool convertible = c.month == 3 || (c.month == 2 && c.day >= 19);
    EXPECT_EQ(c.lunar.has_value(), convertible) << c.month << "-" << c.day;
    if (!convertible) {
      EXPECT_EQ(Lower(c), "") << c.month << "-" << c.day;
    }
  }
  EXPECT_EQ(Lower(first.cells[3 + 19]), "正月");  // 19 February
  const std::string line = GbkToUtf8(TermLine(first));
  EXPECT_EQ(line.substr(0, line.find("  ")), "立春");

  const MonthGrid last = Grid(2048, 12);
  for (const GridCell& c : last.cells)
    EXPECT_EQ(c.lunar.has_value(), c.year == 2048) << c.year << "-" << c.month << "-" << c.day;

  EXPECT_FALSE(BuildMonthGrid(1901, 1));
  EXPECT_FALSE(BuildMonthGrid(1900, 12));
  EXPECT_FALSE(BuildMonthGrid(2049, 1));
  EXPECT_FALSE(BuildMonthGrid(2013, 0));
  EXPECT_FALSE(BuildMonthGrid(2013, 13));
  EXPECT_FALSE(BuildMonthGrid(2012, 25));  // not 2014-01
}

int Key(int y, int m, int d) { return y * 10000 + m * 100 + d; }

// Every month of the range: 42 consecutive days starting on a Monday, by
// the datetime layer's own calendar; the 1st in the first row; the cells of
// the month marked; each day's lunar date, term and labels as the engine
// gives them for that day; exactly two terms in the information line, the
// ones of that month.
TEST(MonthGrid, EveryMonthOfTheRange) {
  for (int y = 1901; y <= 2048; ++y) {
    for (int m = y == 1901 ? 2 : 1; m <= 12; ++m) {
      SCOPED_TRACE(std::to_string(y) + "-" + std::to_string(m));
      const MonthGrid g = Grid(y, m);
      ASSERT_EQ(g.year, y);
      ASSERT_EQ(g.month, m);
      DateTime day = MakeDate(g.cells[0].year, g.cells[0].month, g.cells[0].day);
      ASSERT_EQ(WeekdayOf(day), 2);  // datetime counts 1 = Sunday
      const DateTime first = MakeDate(y, m, 1);
      ASSERT_GE(first.value, day.value);
      ASSERT_LT(first.value, day.value + 7);
      int in_month = 0;
      for (int i = 0; i < kGridCells; ++i) {
        const GridCell& c = g.cells[i];
        const DateParts p = SplitDate(day);
        ASSERT_EQ(Key(c.year, c.month, c.day), Key(p.year, p.month, p.day)) << i;
        ASSERT_EQ(c.weekday, i % 7 + 1);
        ASSERT_EQ(c.in_month, c.month == m);
        in_month += c.in_month;
        ASSERT_EQ(c.lunar, GregorianToLunar(c.year, c.month, c.day));
        ASSERT_EQ(c.solar_term, SolarTermOn(c.year, c.month, c.day));
        if (c.lunar) {
          ASSERT_EQ(LowerLabel(c), c.lunar->day == 1 ? LunarMonthName(c.lunar->month, c.lunar->leap)
                                                     : LunarDayName(c.lunar->day));
        }
        day = AddToDate(day, DateUnit::kDay, 1);
      }
      ASSERT_EQ(in_month, DaysInMonth(y, m));
      const std::string line = TermLine(g);
      const size_t gap = line.find("  ");
      ASSERT_NE(gap, std::string::npos);
      ASSERT_EQ(line.find("  ", gap + 2), std::string::npos);
      const std::string a = SolarTermName(2 * m - 1), b = SolarTermName(2 * m);
      ASSERT_EQ(line.substr(gap - a.size(), a.size()), a);
      ASSERT_EQ(line.substr(line.size() - b.size()), b);
    }
  }
}

// The weekday formula against the datetime layer over 800 years, four full
// Gregorian cycles, centuries with and without their leap day included.
TEST(WeekdayMondayFirst, AgreesWithTheDatetimeCalendar) {
  for (int y = 1600; y < 2400; ++y)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= DaysInMonth(y, m); ++d) {
        const int sunday_first = WeekdayOf(MakeDate(y, m, d));
        ASSERT_EQ(WeekdayMondayFirst(y, m, d), sunday_first == 1 ? 7 : sunday_first - 1)
            << y << "-" << m << "-" << d;
      }
}

}  // namespace
}  // namespace tarvok::lunar
