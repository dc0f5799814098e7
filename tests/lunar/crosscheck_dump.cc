// Prints what the lunar engine says about every day of 1880-2079, one line a
// day, for tools/lunar/crosscheck.mjs to compare with another implementation:
//   D YYYY-MM-DD <lunar year> <month> <day> <leap 0/1> <term 0-24>
// (lunar fields "-" where the engine gives no lunar date), then the solar-term
// moments of the table:
//   T YYYY <term 1-24> MM DD hh mm ss

#include <cstdio>

#include "lunar/lunar.h"
#include "lunar/lunar_tables.h"

namespace {

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

}  // namespace

int main() {
  using namespace tarvok::lunar;
  for (int y = kFirstTermYear; y <= kLastTermYear; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= DaysInMonth(y, m); ++d) {
        const int term = SolarTermOn(y, m, d);
        if (const auto lunar = GregorianToLunar(y, m, d)) {
          std::printf("D %04d-%02d-%02d %d %d %d %d %d\n", y, m, d, lunar->year, lunar->month, lunar->day,
                      lunar->leap ? 1 : 0, term);
        } else {
          std::printf("D %04d-%02d-%02d - - - - %d\n", y, m, d, term);
        }
      }
    }
  }
  for (int y = kFirstTermYear; y <= kLastTermYear; ++y) {
    for (int i = 0; i < 24; ++i) {
      const TermMoment& t = kSolarTerms[y - kFirstTermYear][i];
      std::printf("T %04d %d %02d %02d %02d %02d %02d\n", y, i + 1, t.month, t.day, t.hour, t.minute, t.second);
    }
  }
  return std::ferror(stdout) ? 1 : 0;
}
