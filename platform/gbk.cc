#include "platform/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tarvok {
namespace {

// Runs iconv over the whole input. On an undecodable sequence `on_bad` is
// appended and `skip` input bytes are passed over.
std::string Convert(const char* to, const char* from, std::string_view in,
                    std::string_view on_bad, bool abort_on_bad) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::fprintf(stderr, "iconv cannot convert %s to %s\n", from, to);
    std::abort();
  }
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
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
  return Convert("GBK", "UTF-8", utf8, {}, true);
}

std::string GbkToUtf8(std::string_view gbk) {
  return Convert("UTF-8", "GB18030", gbk, "\xEF\xBF\xBD", false);
}

std::string Utf8ToGb18030(std::string_view utf8) {
  return Convert("GB18030", "UTF-8", utf8, "?", false);
}

}  // namespace tarvok
