// Now() and its injectable clock.
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "datetime/date_time.h"

namespace tarvok {
namespace {

class ClockTest : public ::testing::Test {
 protected:
  void TearDown() override { SetClock({}); }
};

TEST_F(ClockTest, PinnedClockIsReadInWholeSeconds) {
  struct Row {
    const char* meaning;
    double pinned, want;
  };
  const Row rows[] = {
      {"a whole second is kept", 41395 + 30615.0 / 86400, 41395 + 30615.0 / 86400},
      {"a fraction of a second is rounded off", 41395 + 30615.4 / 86400, 41395 + 30615.0 / 86400},
      {"23:59:59.6 is the next midnight", 41395 + 86399.6 / 86400, 41396},
      {"a time before day 0", -1.25, -1.25},
      {"NaN is the minimum", std::numeric_limits<double>::quiet_NaN(), kMinDateTime},
      {"beyond the range is its end", 1e9, kMaxDateTime},
  };
  for (const Row& row : rows) {
    SetClock([&row] { return DateTime(row.pinned); });
    EXPECT_EQ(Now().value, row.want) << row.meaning;
  }
}

// The wall clock in a fixed zone, compared with UTC seconds from time():
// eight hours ahead, within the second or two the two reads may straddle.
TEST_F(ClockTest, EmptyClockIsTheLocalWallClock) {
  SetClock([] { return DateTime(41395); });
  SetClock({});

  const char* old = std::getenv("TZ");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  setenv("TZ", "<+08>-8", 1);
  tzset();
  const std::time_t before = std::time(nullptr);
  const DateTime now = Now();
  const std::time_t after = std::time(nullptr);
  if (saved) {
    setenv("TZ", saved->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();

  const double utc_days = 25569 + static_cast<double>(before) / 86400;  // 1970-01-01 is day 25569
  const double ahead = DateInterval(now, DateTime(utc_days), DateUnit::kDay) * 86400;
  EXPECT_GE(ahead, 8 * 3600 - 1);
  EXPECT_LE(ahead, 8 * 3600 + static_cast<double>(after - before) + 1);
  const DateParts p = SplitDate(now);
  EXPECT_EQ(MakeDate(p.year, p.month, p.day, p.hour, p.minute, p.second).value, now.value)
      << "not a whole second";
}

}  // namespace
}  // namespace tarvok
