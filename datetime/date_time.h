// DateTime: the organiser's date and time value.
//
// One IEEE-754 double: the integer part counts days from 30 December 1899
// (day 0, a Saturday); the fraction is the time of day (0.25 = 06:00). Below
// zero the integer part counts days backwards while the fraction still counts
// forwards from that day's midnight: -1.25 is 29 December 1899, 06:00, and
// -0.25 is 30 December 1899, 06:00 (the same moment as 0.25). Calendar:
// proleptic Gregorian. Stored in record fields as the 8 bytes of the double,
// little-endian.
//
// The linear scale. Comparison and day distances read x >= 0 as itself and
// x < 0 as 2*trunc(x) - x, so -1.25 sits at -0.75 and the scale runs straight
// through zero: day k (of either sign) covers [k, k + 1).
//
// Range: kMinDateTime (0100-01-01 00:00:00) to kMaxDateTime (9999-12-31
// 00:00:00). Every operation first clamps each DateTime argument into the
// range, so 9999-12-31 12:00 reads as that day's midnight; by the same rule
// any time on 0100-01-01 after midnight (a value below kMinDateTime) reads as
// that midnight. NaN reads as kMinDateTime, so a stored NaN is the minimum.
//
// Whole seconds: an operation that splits a value into calendar parts first
// moves it to the nearest whole second (adds half a second to a value above
// zero, subtracts it from one at or below zero, then drops the remaining
// fraction of a second). Thus 23:59:59.6 belongs to the next day. When that
// half second carries past midnight the value belongs to the following
// calendar day also below zero: -1.9999999 (29 December 1899, 23:59:59.99)
// is 30 December 1899, 00:00:00, not 28 December.
//
// Adding a month cuts the day back at month ends and never spills over:
//   2013-01-31 + 1 month = 2013-02-28     2012-01-31 + 1 month = 2012-02-29
//   2013-03-31 - 1 month = 2013-02-28     2012-02-29 + 12 months = 2013-02-28
// A sum that leaves the range stops at its bound (kMinDateTime or
// kMaxDateTime), for months and days alike, so adding never moves a date the
// wrong way.
//
// Texts are GBK bytes. Every operation is a pure function of its arguments
// except Now(), which reads the installed clock.
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
// What TextToDate gives for a text it cannot read: an ordinary value
// (0100-01-01 00:00:00), not an error.
inline constexpr DateTime kInvalidDate{kMinDateTime};

enum class DateUnit { kYear, kMonth, kDay };
enum class DateTextForm { kFull, kDate, kTime };

// Calendar parts of a value after the clamp and the whole-second step.
struct DateParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// d moved into [kMinDateTime, kMaxDateTime]; NaN becomes kMinDateTime.
DateTime Clamp(DateTime d);
// Year 100..9999, month 1..12, day 1..31, hour 0..23, minute and second
// 0..59 of d, for every d (NaN and infinities included).
DateParts SplitDate(DateTime d);
// The DateTime of valid parts (no range check; callers check first).
// Parts beyond their range carry over as in a running count (month 13 is
// January of the next year, 30 February is 1 or 2 March, second 60 is the
// next minute), so no argument misbehaves. The result is not clamped.
DateTime MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// 28..31 for month 1..12 of any year; 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

// The current local time in whole seconds, read from the installed clock.
// The clock's value goes through the clamp and the whole-second step.
DateTime Now();
// Installs the clock that Now() reads (tests pin "now"); an empty function
// restores the computer's local wall clock.
void SetClock(std::function<DateTime()> clock);

// Midnight that starts the calendar day of d (after the whole-second step).
DateTime DateOnly(DateTime d);
// n == 0: d itself, time of day and fraction of a second included (clamped).
// kDay: n whole days later on the linear scale; the time of day is kept
//   exactly, also across zero (-1.25 + 2 days = 1.25, 31 December 06:00).
// kMonth: month shifted by n, year carried, day cut back to the length of
//   the new month; the time of day is kept in whole seconds.
// kYear: 12 * n months.
// A result beyond the range is the nearest bound.
DateTime AddToDate(DateTime d, DateUnit unit, int32_t n);
// How far t1 lies after t2 (negative when t1 is earlier). 0 when the clamped
// values are equal.
// kYear: YearOf(t1) - YearOf(t2), months and days ignored.
// kMonth: the difference in (year, month), the day of month ignored.
// kDay: t1 - t2 on the linear scale, fraction included (from 30 April
//   12:00 to 1 May 00:00 is 0.5); whole for two midnights.
double DateInterval(DateTime t1, DateTime t2, DateUnit unit);
int YearOf(DateTime d);
int MonthOf(DateTime d);
int DayOf(DateTime d);
int WeekdayOf(DateTime d);  // 1 = Sunday ... 7 = Saturday

// Comparison on the linear scale (x >= 0 as itself, x < 0 as 2*trunc(x) - x)
// of the clamped values; equality is exact on that scale.
int CompareDates(DateTime a, DateTime b);  // -1, 0, 1
inline bool operator==(DateTime a, DateTime b) { return CompareDates(a, b) == 0; }
inline bool operator<(DateTime a, DateTime b) { return CompareDates(a, b) < 0; }
inline bool operator<=(DateTime a, DateTime b) { return CompareDates(a, b) <= 0; }
inline bool operator>(DateTime a, DateTime b) { return CompareDates(a, b) > 0; }
inline bool operator>=(DateTime a, DateTime b) { return CompareDates(a, b) >= 0; }

// Numbers in plain decimal without leading zeros:
//   kDate  "2013年5月1日"
//   kTime  "8时30分0秒" (midnight: "0时0分0秒")
//   kFull  the kDate text followed directly by "h时m分s秒" when the second is
//          not 0, else "h时m分" when the minute is not 0, else "h时" when the
//          hour is not 0, else nothing: "2013年5月1日8时30分".
std::string DateToText(DateTime d, DateTextForm form = DateTextForm::kFull);
// Reads, after NormalizeWidth, year (up to 4 digits), month, day, hour,
// minute, second (up to 2 digits each), each but the last followed by an
// optional separator: "-", ".", "/", ":" or the part's own character
// ("年", "月", "日", "时", "分"; after the day also a space). The rest must
// be empty or start with "秒" (what follows it is ignored). The parts must be
// in range as written (year 100..9999, a real day of that month, hour 0..23,
// minute and second 0..59); hour, minute and second may be missing. Reads
// every kFull and kDate text, "2013-5-1", "2013/05/01 08:30:15", "2013.5.1"
// and "20130501". Anything else gives kInvalidDate. The result is clamped.
DateTime TextToDate(std::string_view text);

// Full-width forms to their ASCII bytes: 0xA3 0xA1..0xFE becomes the byte
// second - 0x80, ideographic space a space, full-width tilde "~", white and
// black star "*". A byte 0x80 or above starts a two-byte character; one at
// the very end, without its second byte, is dropped. Other bytes are kept.
std::string NormalizeWidth(std::string_view text);
// After NormalizeWidth, the longest leading decimal number: optional white
// space, optional sign, digits with an optional decimal point, an optional
// exponent. No such part gives 0 ("12abc" is 12, "abc" is 0). A magnitude
// beyond the double range gives +-infinity, one below it (+-)0. Independent
// of the C locale.
double TextToNumber(std::string_view text);
// "%d".
std::string NumberToText(int32_t x);
// "%.13g" in the C locale: "3", "0.5", "1e+20", "nan", "-inf".
std::string NumberToText(double x);
// a - b * trunc(a / b), exact; b must not be 0 (b == 0 gives NaN).
// The sign of a, never of b: (7, -3) is 1, (-7, 3) is -1.
double Remainder(double a, double b);

}  // namespace tarvok
