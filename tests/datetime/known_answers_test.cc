// The worked examples and edge cases of the date-time value, one row each.
//
// Day numbers were counted with Python's datetime module,
// (date(y, m, d) - date(1899, 12, 30)).days; texts are compared as UTF-8 so
// that a failure prints readably.
#include <cmath>
#include <limits>
#include <string>
#include <variant>

#include <gtest/gtest.h>

#include "datetime/date_time.h"
#include "platform/gbk.h"

namespace tarvok {
namespace {

constexpr double k18991229 = -1;
constexpr double k18991230 = 0;
constexpr double k20120131 = 40939;
constexpr double k20120229 = 40968;
constexpr double k20121231 = 41274;
constexpr double k20130101 = 41275;
constexpr double k20130131 = 41305;
constexpr double k20130201 = 41306;
constexpr double k20130228 = 41333;
constexpr double k20130331 = 41364;
constexpr double k20130430 = 41394;
constexpr double k20130501 = 41395;
constexpr double k20131215 = 41623;
constexpr double k20140115 = 41654;

// A time of day on a day at or after day 0.
constexpr double At(double day, int h, int mi, double s) {
  return day + (h * 3600 + mi * 60 + s) / 86400;
}

DateTime D(double v) { return DateTime(v); }
double V(DateTime d) { return d.value; }
std::string Text(DateTime d, DateTextForm form = DateTextForm::kFull) {
  return GbkToUtf8(DateToText(d, form));
}
double Read(const char* utf8) { return TextToDate(Utf8ToGbk(utf8)).value; }
double Number(const char* utf8) { return TextToNumber(Utf8ToGbk(utf8)); }

using Answer = std::variant<double, std::string>;
struct KnownAnswer {
  const char* meaning;
  Answer got;
  Answer want;
};

TEST(KnownAnswers, WorkedExamplesAndEdgeCases) {
  using enum DateUnit;
  using enum DateTextForm;
  const double invalid = kInvalidDate.value;
  const double huge = 1e12;
  const KnownAnswer rows[] = {
      // The value itself.
      {"-1.25 is 29 December 1899 06:00", Text(D(-1.25)), "1899年12月29日6时"},
      {"-1.25 lies 0.75 days before day 0", DateInterval(D(-1.25), D(k18991230), kDay), -0.75},
      {"31 December 9999 12:00 reads as its midnight", V(DateOnly(D(2958465.5))), 2958465.0},
      {"the invalid date is 1 January 100", Text(kInvalidDate), "100年1月1日"},
      {"a NaN reads as the minimum", Text(D(std::nan(""))), "100年1月1日"},

      // DateOnly and the whole-second step.
      {"DateOnly of 23:59:59 is that midnight", V(DateOnly(D(At(k20130501, 23, 59, 59)))), k20130501},
      {"DateOnly of 23:59:59.6 is the next midnight", V(DateOnly(D(At(k20130501, 23, 59, 59.6)))),
       k20130501 + 1},

      // AddToDate.
      {"0 months keeps the value, time included",
       V(AddToDate(D(At(k20130131, 8, 30, 15.25)), kMonth, 0)), At(k20130131, 8, 30, 15.25)},
      {"31 Jan 2013 + 1 month is 28 Feb", V(AddToDate(D(k20130131), kMonth, 1)), k20130228},
      {"31 Jan 2012 + 1 month is 29 Feb", V(AddToDate(D(k20120131), kMonth, 1)), k20120229},
      {"31 Mar 2013 - 1 month is 28 Feb", V(AddToDate(D(k20130331), kMonth, -1)), k20130228},
      {"29 Feb 2012 + 12 months is 28 Feb 2013", V(AddToDate(D(k20120229), kMonth, 12)), k20130228},
      {"15 Dec 2013 + 1 month is 15 Jan 2014", V(AddToDate(D(k20131215), kMonth, 1)), k20140115},
      {"a month keeps the time of day", V(AddToDate(D(At(k20130131, 8, 30, 15)), kMonth, 1)),
       At(k20130228, 8, 30, 15)},
      {"days keep the time of day", V(AddToDate(D(At(k20130430, 6, 0, 0)), kDay, 7)),
       At(k20130430 + 7, 6, 0, 0)},
      {"negative days", V(AddToDate(D(k20130501), kDay, -1)), k20130430},

      // DateInterval.
      {"years, 1 Jan 2013 after 31 Dec 2012", DateInterval(D(k20130101), D(k20121231), kYear), 1.0},
      {"months, 1 Jan 2013 after 31 Dec 2012", DateInterval(D(k20130101), D(k20121231), kMonth), 1.0},
      {"days, 1 Jan 2013 after 31 Dec 2012", DateInterval(D(k20130101), D(k20121231), kDay), 1.0},
      {"years, t1 earlier is negative", DateInterval(D(k20121231), D(k20130101), kYear), -1.0},
      {"months, 31 Jan to 1 Feb is 1", DateInterval(D(k20130201), D(k20130131), kMonth), 1.0},
      {"days, 30 Apr 12:00 to 1 May 00:00 is 0.5",
       DateInterval(D(k20130501), D(At(k20130430, 12, 0, 0)), kDay), 0.5},
      {"days between equal values", DateInterval(D(k20130501), D(k20130501), kDay), 0.0},
      {"days between two values above the range", DateInterval(D(huge), D(2 * huge), kDay), 0.0},
      {"days between two values below the range", DateInterval(D(-huge), D(-2 * huge), kDay), 0.0},

      // Calendar parts.
      {"weekday of 1 May 2013 is Wednesday", static_cast<double>(WeekdayOf(D(k20130501))), 4.0},
      {"weekday of 30 Dec 1899 is Saturday", static_cast<double>(WeekdayOf(D(k18991230))), 7.0},
      {"weekday of 29 Dec 1899 is Friday", static_cast<double>(WeekdayOf(D(k18991229))), 6.0},
      {"year of 1 May 2013", static_cast<double>(YearOf(D(k20130501))), 2013.0},
      {"month of 1 May 2013", static_cast<double>(MonthOf(D(k20130501))), 5.0},
      {"day of 1 May 2013", static_cast<double>(DayOf(D(k20130501))), 1.0},

      // DateToText.
      {"full form of a midnight has no time", Text(D(k20130501)), "2013年5月1日"},
      {"full form of 08:00:00", Text(D(At(k20130501, 8, 0, 0))), "2013年5月1日8时"},
      {"full form of 08:30:00", Text(D(At(k20130501, 8, 30, 0))), "2013年5月1日8时30分"},
      {"full form of 00:00:15", Text(D(At(k20130501, 0, 0, 15))), "2013年5月1日0时0分15秒"},
      {"date form drops the time", Text(D(At(k20130501, 8, 30, 15)), kDate), "2013年5月1日"},
      {"time form", Text(D(At(k20130501, 8, 30, 15)), kTime), "8时30分15秒"},
      {"time form of a midnight", Text(D(k20130501), kTime), "0时0分0秒"},

      // TextToDate.
      {"reads the full form", Read("2013年5月1日8时30分"), At(k20130501, 8, 30, 0)},
      {"reads the date form", Read("2013年5月1日"), k20130501},
      {"reads dashes", Read("2013-5-1"), k20130501},
      {"reads slashes, a space and colons", Read("2013/05/01 08:30:15"), At(k20130501, 8, 30, 15)},
      {"reads dots", Read("2013.5.1"), k20130501},
      {"reads eight digits together", Read("20130501"), k20130501},
      {"reads full-width digits", Read("２０１３年５月１日"), k20130501},
      {"ignores what follows 秒", Read("2013年5月1日8时30分15秒星期三"), At(k20130501, 8, 30, 15)},
      {"30 February is invalid", Read("2013年2月30日"), invalid},
      {"a weekday after the date is invalid", Read("2013年5月1日星期三"), invalid},
      {"the empty text is invalid", Read(""), invalid},
      {"a time without a date is invalid", Read("10时5分3秒"), invalid},

      // Numbers.
      {"number 12", Number("12"), 12.0},
      {"number 2.5", Number("2.5"), 2.5},
      {"number with trailing letters", Number("12abc"), 12.0},
      {"no number", Number("abc"), 0.0},
      {"integer text", NumberToText(int32_t{3}), "3"},
      {"negative integer text", NumberToText(int32_t{-17}), "-17"},
      {"double text 3", NumberToText(3.0), "3"},
      {"double text 0.5", NumberToText(0.5), "0.5"},
      {"double text 1e20", NumberToText(1e20), "1e+20"},
      {"remainder keeps the sign of a (7, -3)", Remainder(7, -3), 1.0},
      {"remainder keeps the sign of a (-7, 3)", Remainder(-7, 3), -1.0},
  };
  for (const KnownAnswer& row : rows) {
    EXPECT_EQ(row.got, row.want) << row.meaning;
  }
}

}  // namespace
}  // namespace tarvok
