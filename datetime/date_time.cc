#include "datetime/date_time.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tarvok {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Day number of 1970-01-01, the origin of the civil-date routines below.
constexpr int64_t kUnixEpochDay = 25569;
constexpr int64_t kMinDay = static_cast<int64_t>(kMinDateTime);
constexpr int64_t kMaxDay = static_cast<int64_t>(kMaxDateTime);

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

// Days from 1970-01-01 to y-m-d, proleptic Gregorian, m in 1..12. Works on
// 400-year eras so that negative years need no special case.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;                                   // 0..399
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;  // 0..365
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;           // 0..146096
  return era * 146097 + doe - 719468;
}

struct Civil {
  int64_t year;
  int month, day;
};

Civil CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2), month, day};
}

// A day number and second of day back to the double. Below zero the day
// counts backwards and the time of day still forwards.
double FromDaySecond(int64_t day, int64_t second) {
  const double time = static_cast<double>(second) / kSecondsPerDay;
  const double d = static_cast<double>(day);
  return day >= 0 ? d + time : d - time;
}

// Both of the split routines need the value as "day k, fraction f": k is the
// truncated value (day 0 holds both 0.25 and -0.25) and f = |x - k| counts
// forward from k's midnight. Both are exact in double arithmetic.
struct DayFraction {
  int64_t day;
  double fraction;
};

DayFraction ToDayFraction(DateTime d) {
  const double x = Clamp(d).value;
  const double k = std::trunc(x);
  return {static_cast<int64_t>(k), std::fabs(x - k)};
}

struct DaySecond {
  int64_t day, second;
};

// The whole-second step. Adding half a second to a positive value and
// subtracting it from a negative one both move the time of day forward by
// half a second, which is what f + 0.5 s does. A carry past midnight goes to
// the next calendar day, day + 1 on either side of zero; doing the step on
// the raw negative double would carry into the day before instead.
DaySecond ToWholeSecond(DateTime d) {
  const DayFraction df = ToDayFraction(d);
  int64_t day = df.day;
  auto second = static_cast<int64_t>(std::floor(df.fraction * kSecondsPerDay + 0.5));
  if (second >= kSecondsPerDay) {
    ++day;
    second -= kSecondsPerDay;
  }
  return {day, second};
}

double Linear(DateTime d) {
  const double x = Clamp(d).value;
  if (x >= 0) return x;
  const double k = std::trunc(x);
  return k + (k - x);
}

DateTime AddDays(DateTime d, int32_t n) {
  const DayFraction df = ToDayFraction(d);
  const int64_t day = df.day + n;
  if (day < kMinDay) return DateTime(kMinDateTime);
  if (day > kMaxDay) return DateTime(kMaxDateTime);
  const double k = static_cast<double>(day);
  return Clamp(DateTime(day >= 0 ? k + df.fraction : k - df.fraction));
}

DateTime AddMonths(DateTime d, int64_t n) {
  const DateParts p = SplitDate(d);
  const int64_t months = int64_t{p.year} * 12 + (p.month - 1) + n;
  const int64_t year = FloorDiv(months, 12);
  // Saturating at the bounds keeps the sum monotonic in n; pinning only the
  // year would let a month count that runs off the range go the wrong way.
  if (year < 100) return DateTime(kMinDateTime);
  if (year > 9999) return DateTime(kMaxDateTime);
  const int month = static_cast<int>(FloorMod(months, 12)) + 1;
  const int y = static_cast<int>(year);
  const int day = std::min(p.day, DaysInMonth(y, month));
  return Clamp(MakeDate(y, month, day, p.hour, p.minute, p.second));
}

}  // namespace

DateTime Clamp(DateTime d) {
  if (!(d.value >= kMinDateTime)) return DateTime(kMinDateTime);  // also NaN
  if (d.value > kMaxDateTime) return DateTime(kMaxDateTime);
  return d;
}

DateParts SplitDate(DateTime d) {
  const DaySecond ds = ToWholeSecond(d);
  const Civil c = CivilFromDays(ds.day - kUnixEpochDay);
  DateParts p;
  p.year = static_cast<int>(c.year);
  p.month = c.month;
  p.day = c.day;
  p.hour = static_cast<int>(ds.second / 3600);
  p.minute = static_cast<int>(ds.second / 60 % 60);
  p.second = static_cast<int>(ds.second % 60);
  return p;
}

DateTime MakeDate(int year, int month, int day, int hour, int minute, int second) {
  const int64_t months = int64_t{year} * 12 + (int64_t{month} - 1);
  int64_t days = DaysFromCivil(FloorDiv(months, 12), FloorMod(months, 12) + 1, 1) +
                 (int64_t{day} - 1) + kUnixEpochDay;
  int64_t seconds = int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
  days += FloorDiv(seconds, kSecondsPerDay);
  seconds = FloorMod(seconds, kSecondsPerDay);
  return DateTime(FromDaySecond(days, seconds));
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month != 2) return kDays[month - 1];
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return leap ? 29 : 28;
}

DateTime DateOnly(DateTime d) {
  return DateTime(static_cast<double>(ToWholeSecond(d).day));
}

DateTime AddToDate(DateTime d, DateUnit unit, int32_t n) {
  if (n == 0) return Clamp(d);
  switch (unit) {
    case DateUnit::kDay:
      return AddDays(d, n);
    case DateUnit::kMonth:
      return AddMonths(d, n);
    case DateUnit::kYear:
      return AddMonths(d, int64_t{n} * 12);
  }
  return Clamp(d);
}

double DateInterval(DateTime t1, DateTime t2, DateUnit unit) {
  if (CompareDates(t1, t2) == 0) return 0;
  switch (unit) {
    case DateUnit::kYear:
      return YearOf(t1) - YearOf(t2);
    case DateUnit::kMonth: {
      const DateParts a = SplitDate(t1);
      const DateParts b = SplitDate(t2);
      return (a.year - b.year) * 12 + a.month - b.month;
    }
    case DateUnit::kDay:
      return Linear(t1) - Linear(t2);
  }
  return 0;
}

int YearOf(DateTime d) { return SplitDate(d).year; }
int MonthOf(DateTime d) { return SplitDate(d).month; }
int DayOf(DateTime d) { return SplitDate(d).day; }

int WeekdayOf(DateTime d) {
  return static_cast<int>(FloorMod(ToWholeSecond(d).day + 6, 7)) + 1;
}

int CompareDates(DateTime a, DateTime b) {
  const double x = Linear(a);
  const double y = Linear(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace tarvok
