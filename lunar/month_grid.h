// The model behind the lunar month calendar: the 42 days shown for one
// Gregorian month, six rows of seven from Monday, with the texts the control
// writes into and around them. Texts are GBK. No state, no Qt.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "lunar/lunar.h"

namespace tarvok::lunar {

inline constexpr int kGridRows = 6, kGridColumns = 7;
inline constexpr int kGridCells = kGridRows * kGridColumns;

struct GridCell {
  int year = 0, month = 0, day = 0;  // Gregorian
  // None for a day outside 1901-02-19 .. 2048-12-31: the first and last
  // months of the range show such days.
  std::optional<LunarDate> lunar;
  int solar_term = 0;  // 1..24 when a term falls on the day, else 0
  int weekday = 0;     // 1 = Monday .. 7 = Sunday
  bool in_month = false;  // the day belongs to the displayed month
};

struct MonthGrid {
  int year = 0, month = 0;  // the displayed month
  std::array<GridCell, kGridCells> cells{};  // row by row, Monday first
};

// 1 = Monday .. 7 = Sunday for a valid Gregorian date of year 1 or later.
int WeekdayMondayFirst(int year, int month, int day);

// The grid of a month: 42 consecutive days from the Monday on or before its
// 1st (a month that begins on a Monday starts with its 1st). No result for a
// month outside 1..12, or before 1901-02 or after 2048-12 (months without a
// day that has a lunar date).
std::optional<MonthGrid> BuildMonthGrid(int year, int month);

// The upper line of a cell: the Gregorian day ("12"); on the 1st of a month
// month and day ("5.1").
std::string UpperLabel(const GridCell& cell);
// The lower line: LunarDayName, or on the first day of a lunar month its
// LunarMonthName (闰九月). Empty for a cell without a lunar date.
std::string LowerLabel(const GridCell& cell);

// The left part of the information line under the grid: for each day of the
// displayed month on which a solar term falls, in grid order, its
// LunarDayName (also on the first day of a lunar month) and the term's
// name, joined by two spaces: 廿六立夏  十二小满 for May 2013. A term day
// without a lunar date (1901-02-04) gives the term's name alone.
std::string TermLine(const MonthGrid& grid);

// The weekday header, 1 = 星期一 .. 7 = 星期日, and the month chooser's names,
// 1 = 一月 .. 12 = 十二月. Empty outside.
std::string WeekdayHeaderName(int weekday);
std::string GregorianMonthName(int month);

}  // namespace tarvok::lunar
