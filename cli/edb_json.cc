#include "cli/edb_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>

#include "platform/gbk.h"

namespace tarvok::edb {
namespace {

template <typename F>
std::string ShortestNumber(F v) {
  if (std::isnan(v)) return "\"NaN\"";
  if (std::isinf(v)) return v > 0 ? "\"Infinity\"" : "\"-Infinity\"";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char u[8];
          std::snprintf(u, sizeof u, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += u;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string JsonNumber(double v) { return ShortestNumber(v); }
std::string JsonNumber(float v) { return ShortestNumber(v); }

std::string JsonValue(const store::Value& value) {
  return std::visit(
      [](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, bool>) {
          return x ? "true" : "false";
        } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
          return JsonNumber(x);
        } else if constexpr (std::is_same_v<T, DateTime>) {
          return JsonNumber(x.value);
        } else if constexpr (std::is_same_v<T, store::CodeRef>) {
          return std::to_string(x.value);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return JsonString(GbkToUtf8(x));
        } else if constexpr (std::is_same_v<T, store::ByteString>) {
          static constexpr char kHex[] = "0123456789abcdef";
          std::string out = "\"";
          for (unsigned char c : x.bytes) {
            out += kHex[c >> 4];
            out += kHex[c & 15];
          }
          return out + "\"";
        } else {
          return std::to_string(x);  // the integer kinds (uint8_t as a number)
        }
      },
      value);
}

}  // namespace tarvok::edb
