#include "platform/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tarvok {
namespace {

// One converter per direction and thread, opened at its first use: opening
// one costs far more than converting a short text, and texts are converted
// one field or widget at a time.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      std::fprintf(stderr, "iconv cannot convert %s to %s\n", from, to);
      std::abort();
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  // Back to the initial shift state, as a fresh converter is.
  iconv_t Reset() {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    return cd_;
  }

 private:
  iconv_t cd_;
};

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Runs iconv over the whole input. On an undecodable sequence `on_bad` is
// appended and one input byte is passed over. ASCII is the same in all
// three encodings and is copied as it is.
std::string Convert(Converter& converter, const char* to, std::string_view in, std::string_view on_bad,
                    bool abort_on_bad) {
  if (IsAscii(in)) return std::string(in);
  iconv_t cd = converter.Reset();
  std::string out;
  out.reserve(in.size() * 2 + 4);
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  char buf[1024];
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      if (abort_on_bad) {
        std::fprintf(stderr, "text has no %s form\n", to);
        std::abort();
      }
      out.append(on_bad);
      ++src;
      --left;
    }
  }
  return out;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
  thread_local Converter converter("GBK", "UTF-8");
  return Convert(converter, "GBK", utf8, {}, true);
}

std::string GbkToUtf8(std::string_view gbk) {
  thread_local Converter converter("UTF-8", "GB18030");
  return Convert(converter, "UTF-8", gbk, "\xEF\xBF\xBD", false);
}

std::string Utf8ToGb18030(std::string_view utf8) {
  thread_local Converter converter("GB18030", "UTF-8");
  return Convert(converter, "GB18030", utf8, "?", false);
}

}  // namespace tarvok
