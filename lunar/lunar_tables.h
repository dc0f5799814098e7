// The constant tables of the lunar calendar. Their values are generated
// (see the fence at the top of each generated source) and compiled in.
#pragma once

#include <cstdint>

namespace tarvok::lunar {

inline constexpr int kFirstLunarYear = 1901;
inline constexpr int kLastLunarYear = 2049;
inline constexpr int kLunarYears = kLastLunarYear - kFirstLunarYear + 1;  // 149

// Month sizes of lunar year 1901 + i: month m (1-12) is 30 days long when
// bit 16 - m is set (bit 15 - m for the months after the leap month), 29
// when clear; the leap month uses bit 15 - L. Bits below the last month are 0.
extern const uint16_t kLunarMonthWords[kLunarYears];

// Leap months, two years to a byte: byte k holds year 1901 + 2k in its high
// nibble and year 1902 + 2k in its low nibble; 0 = no leap month.
extern const uint8_t kLunarLeapMonths[(kLunarYears + 1) / 2];

inline constexpr int kFirstTermYear = 1880;
inline constexpr int kLastTermYear = 2079;
inline constexpr int kTermYears = kLastTermYear - kFirstTermYear + 1;  // 200

// The moment of a solar term in China Standard Time (UTC+8).
struct TermMoment {
  uint8_t month, day, hour, minute, second;
};
static_assert(sizeof(TermMoment) == 5);

// The 24 solar terms of Gregorian year 1880 + i, in their order within the
// year (小寒 first, 冬至 last).
extern const TermMoment kSolarTerms[kTermYears][24];

}  // namespace tarvok::lunar
