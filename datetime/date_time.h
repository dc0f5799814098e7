// DateTime: the organiser's date and time value.
//
// One IEEE-754 double: the integer part counts days from 30 December 1899
// (day 0, a Saturday); the fraction is the time of day (0.25 = 06:00). Below
// zero the integer part counts days backwards while the fraction still counts
// forwards from that day's midnight: -1.25 is 29 December 1899, 06:00.
// Calendar: proleptic Gregorian. Stored in record fields as the 8 bytes of
// the double, little-endian.
//
// Range: kMinDateTime (0100-01-01 00:00:00) to kMaxDateTime (9999-12-31
// 00:00:00). Every operation first clamps each DateTime argument into the
// range, so 9999-12-31 12:00 reads as that day's midnight.
//
// Whole seconds: an operation that splits a value into calendar parts first
// moves it to the nearest whole second (adds half a second to a value above
// zero, subtracts it from one at or below zero, then drops the remaining
// fraction of a second). Thus 23:59:59.6 belongs to the next day.
//
// Adding a month cuts the day back at month ends and never spills over:
//   2013-01-31 + 1 month = 2013-02-28     2012-01-31 + 1 month = 2012-02-29
//   2013-03-31 - 1 month = 2013-02-28     2012-02-29 + 12 months = 2013-02-28
//
// Texts are GBK bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tarvok {

struct DateTime {
  double value = 0;
  constexpr DateTime() = default;
  constexpr explicit DateTime(double v) : value(v) {}
};

inline constexpr double kMinDateTime = -657434.0;  // 0100-01-01
inline constexpr double kMaxDateTime = 2958465.0;  // 9999-12-31
inline constexpr DateTime kInvalidDate{kMinDateTime};

enum class DateUnit { kYear, kMonth, kDay };
enum class DateTextForm { kFull, kDate, kTime };

// Calendar parts of a value after the clamp and the whole-second step.
struct DateParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

DateTime Clamp(DateTime d);
DateParts SplitDate(DateTime d);
// The DateTime of valid parts (no range check; callers check first).
DateTime MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
int DaysInMonth(int year, int month);

// The current local time in whole seconds, read from the installed clock.
DateTime Now();
// Installs the clock that Now() reads (tests pin "now"); an empty function
// restores the computer's local wall clock.
void SetClock(std::function<DateTime()> clock);

DateTime DateOnly(DateTime d);
DateTime AddToDate(DateTime d, DateUnit unit, int32_t n);
double DateInterval(DateTime t1, DateTime t2, DateUnit unit);
int YearOf(DateTime d);
int MonthOf(DateTime d);
int DayOf(DateTime d);
int WeekdayOf(DateTime d);  // 1 = Sunday ... 7 = Saturday

// Comparison on the linear scale (x >= 0 as itself, x < 0 as 2*trunc(x) - x).
int CompareDates(DateTime a, DateTime b);  // -1, 0, 1
inline bool operator==(DateTime a, DateTime b) { return CompareDates(a, b) == 0; }
inline bool operator<(DateTime a, DateTime b) { return CompareDates(a, b) < 0; }
inline bool operator<=(DateTime a, DateTime b) { return CompareDates(a, b) <= 0; }
inline bool operator>(DateTime a, DateTime b) { return CompareDates(a, b) > 0; }
inline bool operator>=(DateTime a, DateTime b) { return CompareDates(a, b) >= 0; }

std::string DateToText(DateTime d, DateTextForm form = DateTextForm::kFull);
DateTime TextToDate(std::string_view text);

std::string NormalizeWidth(std::string_view text);
double TextToNumber(std::string_view text);
std::string NumberToText(int32_t x);
std::string NumberToText(double x);
// a - b * trunc(a / b), exact; b must not be 0.
double Remainder(double a, double b);

}  // namespace tarvok
