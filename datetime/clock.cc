#include "datetime/date_time.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <utility>

namespace tarvok {
namespace {

std::mutex clock_mutex;

std::function<DateTime()>& InstalledClock() {
  static std::function<DateTime()> clock;
  return clock;
}

DateTime WallClock() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  // localtime_r fails only for a year that an int cannot hold, far beyond
  // either end of the range.
  if (localtime_r(&now, &tm) == nullptr) return DateTime(now > 0 ? kMaxDateTime : kMinDateTime);
  // tm_sec is 60 during a leap second; the calendar has no such second.
  const int64_t year = std::clamp<int64_t>(int64_t{tm.tm_year} + 1900, 0, 10000);
  return Clamp(MakeDate(static_cast<int>(year), tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                        tm.tm_min, std::min(tm.tm_sec, 59)));
}

}  // namespace

DateTime Now() {
  std::function<DateTime()> clock;
  {
    std::lock_guard<std::mutex> lock(clock_mutex);
    clock = InstalledClock();
  }
  const DateParts p = SplitDate(clock ? clock() : WallClock());
  return Clamp(MakeDate(p.year, p.month, p.day, p.hour, p.minute, p.second));
}

void SetClock(std::function<DateTime()> clock) {
  std::lock_guard<std::mutex> lock(clock_mutex);
  InstalledClock() = std::move(clock);
}

}  // namespace tarvok
