// Arbitrary bytes as GBK text for the date and number readers, and as
// doubles for the calendar arithmetic. Checks the round trips and ranges
// that must hold for every input; any violation aborts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "datetime/date_time.h"
#include "fuzz/fuzz_support.h"

namespace {

using tarvok::fuzz::Require;

using tarvok::DateTime;

bool InRange(DateTime d) { return d.value >= tarvok::kMinDateTime && d.value <= tarvok::kMaxDateTime; }

void CheckText(std::string_view text) {
  const std::string normal = tarvok::NormalizeWidth(text);
  Require(normal.size() <= text.size(), "NormalizeWidth never lengthens");
  Require(tarvok::NormalizeWidth(normal) == normal, "NormalizeWidth is idempotent");

  const DateTime d = tarvok::TextToDate(text);
  Require(InRange(d), "TextToDate stays in range");
  Require(tarvok::TextToDate(normal).value == d.value, "TextToDate reads the normalized text alike");
  Require(tarvok::TextToDate(tarvok::DateToText(d)).value == d.value, "full text reads back");
  Require(tarvok::TextToDate(tarvok::DateToText(d, tarvok::DateTextForm::kDate)).value ==
              tarvok::DateOnly(d).value,
          "date text reads back as DateOnly");

  const double x = tarvok::TextToNumber(text);
  Require(!std::isnan(x), "TextToNumber gives no NaN");
  Require(tarvok::TextToNumber(normal) == x, "TextToNumber reads the normalized text alike");
  if (std::isfinite(x)) {
    const double back = tarvok::TextToNumber(tarvok::NumberToText(x));
    Require(std::fabs(back - x) <= 1e-12 * std::fabs(x) + 1e-300, "number text reads back");
  }
}

void CheckValue(double v, double w, int32_t n) {
  const DateTime d(v);
  const tarvok::DateParts p = tarvok::SplitDate(d);
  Require(p.year >= 100 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
              p.day <= tarvok::DaysInMonth(p.year, p.month) && p.hour >= 0 && p.hour <= 23 &&
              p.minute >= 0 && p.minute <= 59 && p.second >= 0 && p.second <= 59,
          "SplitDate parts in range");
  const DateTime whole =
      tarvok::Clamp(tarvok::MakeDate(p.year, p.month, p.day, p.hour, p.minute, p.second));
  Require(tarvok::TextToDate(tarvok::DateToText(d)).value == whole.value,
          "full text of any value reads back as its whole second");
  Require(tarvok::TextToDate(tarvok::DateToText(d, tarvok::DateTextForm::kDate)).value ==
              tarvok::DateOnly(d).value,
          "date text of any value reads back as DateOnly");
  Require(!tarvok::DateToText(d, tarvok::DateTextForm::kTime).empty(), "time text");
  const int weekday = tarvok::WeekdayOf(d);
  Require(weekday >= 1 && weekday <= 7, "weekday in range");

  const tarvok::DateUnit units[] = {tarvok::DateUnit::kYear, tarvok::DateUnit::kMonth,
                                    tarvok::DateUnit::kDay};
  for (tarvok::DateUnit unit : units) {
    const DateTime r = tarvok::AddToDate(d, unit, n);
    Require(InRange(r), "AddToDate stays in range");
    Require(n > 0 ? r >= d : (n < 0 ? r <= d : r == d), "AddToDate moves the way of n");
    Require(std::isfinite(tarvok::DateInterval(d, DateTime(w), unit)), "DateInterval finite");
  }
  const int c = tarvok::CompareDates(d, DateTime(w));
  Require(c == -tarvok::CompareDates(DateTime(w), d), "comparison is antisymmetric");

  (void)tarvok::NumberToText(v);
  if (w != 0 && std::isfinite(v) && !std::isnan(w)) {
    const double r = tarvok::Remainder(v, w);
    Require(std::fabs(r) < std::fabs(w), "remainder below the divisor");
    Require(std::signbit(r) == std::signbit(v), "remainder has the sign of the dividend");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckText(std::string_view(reinterpret_cast<const char*>(data), size));

  unsigned char bytes[20] = {};
  std::memcpy(bytes, data, size < sizeof bytes ? size : sizeof bytes);
  double v, w;
  int32_t n;
  std::memcpy(&v, bytes, 8);
  std::memcpy(&w, bytes + 8, 8);
  std::memcpy(&n, bytes + 16, 4);
  CheckValue(v, w, n);
  return 0;
}
