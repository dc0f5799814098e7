// Text at the edge of the system.
//
// Inside the organiser every text is GBK bytes in a std::string. Source files
// are UTF-8, so a Chinese literal becomes GBK through one helper, the `_gbk`
// literal:
//
//     const std::string caption = "日志"_gbk;
//
// Hot paths keep such a value in a function-local static. Conversion to and
// from Unicode (file names, terminal output, widgets) uses GB18030, which is
// GBK for every GBK character and also carries what GBK cannot.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvok {

// UTF-8 -> GBK for literals of our own source. A character without a GBK
// form is a programming error and aborts.
std::string Utf8ToGbk(std::string_view utf8);

// GBK/GB18030 bytes -> UTF-8. Bytes that do not decode become U+FFFD, so the
// result is always valid UTF-8 and no byte is silently dropped from view.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 -> GB18030 (what a user typed on Linux, a file name). Invalid UTF-8
// bytes become '?'.
std::string Utf8ToGb18030(std::string_view utf8);

inline std::string operator""_gbk(const char* utf8, std::size_t n) {
  return Utf8ToGbk(std::string_view(utf8, n));
}

}  // namespace tarvok
