// tarvokline-cal: the lunar month calendar in a terminal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lunar/month_grid.h"

namespace tarvok::cal {

struct Args {
  bool help = false;
  bool json = false;
  bool has_day = false;    // --day YYYY-MM-DD
  bool has_month = false;  // YYYY-MM
  int year = 0, month = 0, day = 0;
};

// Reads the arguments after the program name. On failure *error says what
// is wrong in one line. A well-formed date outside the calendar's range is
// accepted here; the caller checks the range.
bool ParseArgs(const std::vector<std::string>& argv, Args* out, std::string* error);

// The month as the calendar control shows it, UTF-8: a title, the weekday
// header, six rows of seven cells of two lines each (days of the
// neighbouring months in parentheses), and the left part of the
// information line.
std::string MonthText(const lunar::MonthGrid& grid);
// The same as one JSON object, UTF-8.
std::string MonthJson(const lunar::MonthGrid& grid);

// The information text of a convertible day at 23:59:59, UTF-8, and the
// same with the day's parts as one JSON object.
std::string DayText(int year, int month, int day);
std::string DayJson(int year, int month, int day);

}  // namespace tarvok::cal
