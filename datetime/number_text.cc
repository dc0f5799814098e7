#include "datetime/date_time.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace tarvok {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// White space as the C locale's isspace sees it.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::size_t SkipDigits(std::string_view s, std::size_t i) {
  while (i < s.size() && IsDigit(s[i])) ++i;
  return i;
}

// from_chars reports a number beyond the double range without a value; tell
// a huge one from a tiny one by the position of its first significant digit.
double OutOfRange(std::string_view mantissa, std::string_view exponent) {
  const std::size_t point = mantissa.find('.');
  const std::size_t first = mantissa.find_first_not_of("0.");
  if (first == std::string_view::npos) return 0;
  const std::size_t int_end = point == std::string_view::npos ? mantissa.size() : point;
  // Decimal exponent of the first significant digit, capped well beyond any
  // double so that long digit runs cannot overflow the count.
  constexpr int64_t kCap = 1'000'000;
  int64_t e = first < int_end ? static_cast<int64_t>(int_end - first) - 1
                              : -static_cast<int64_t>(first - int_end);
  int64_t exp = 0;
  bool negative = false;
  for (char c : exponent) {
    if (c == '-') negative = true;
    if (IsDigit(c) && exp < kCap) exp = exp * 10 + (c - '0');
  }
  e += negative ? -exp : exp;
  return e > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

}  // namespace

std::string NormalizeWidth(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    // Runs of single-byte characters are copied whole.
    std::size_t run = i;
    while (run < text.size() && static_cast<unsigned char>(text[run]) < 0x80) ++run;
    out.append(text, i, run - i);
    i = run;
    if (i == text.size()) break;
    if (i + 1 == text.size()) break;  // a first byte without its second
    const auto lead = static_cast<unsigned char>(text[i]);
    const auto trail = static_cast<unsigned char>(text[i + 1]);
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      out += static_cast<char>(trail - 0x80);
    } else if (lead == 0xA1 && trail == 0xA1) {
      out += ' ';
    } else if (lead == 0xA1 && trail == 0xAB) {
      out += '~';
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      out += '*';
    } else {
      out.append(text, i, 2);
    }
    i += 2;
  }
  return out;
}

double TextToNumber(std::string_view text) {
  const std::string normal = NormalizeWidth(text);
  const std::string_view s = normal;
  std::size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';

  const std::size_t start = i;
  i = SkipDigits(s, i);
  std::size_t digits = i - start;
  if (i < s.size() && s[i] == '.') {
    const std::size_t frac = i + 1;
    i = SkipDigits(s, frac);
    digits += i - frac;
  }
  if (digits == 0) return 0;
  const std::size_t mantissa_end = i;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const std::size_t exp_end = SkipDigits(s, j);
    if (exp_end > j) i = exp_end;  // an "e" without digits is not part of it
  }

  // The scan above already fixed the extent; from_chars does the exact,
  // locale-free conversion of it (it takes no sign, so that stays ours).
  double value = 0;
  const char* first = s.data() + start;
  const char* last = s.data() + i;
  const auto r = std::from_chars(first, last, value);
  if (r.ec == std::errc::result_out_of_range) {
    value = OutOfRange(s.substr(start, mantissa_end - start),
                       s.substr(mantissa_end, i - mantissa_end));
  } else if (r.ec != std::errc() || r.ptr != last) {
    value = 0;  // cannot happen for a text of the scanned shape
  }
  return negative ? -value : value;
}

std::string NumberToText(int32_t x) {
  char buf[16];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

std::string NumberToText(double x) {
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 13);
  return std::string(buf, r.ptr);
}

double Remainder(double a, double b) { return std::fmod(a, b); }

}  // namespace tarvok
