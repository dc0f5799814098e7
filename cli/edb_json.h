// JSON text for the record-file tool's output.
#pragma once

#include <string>
#include <string_view>

#include "store/format.h"
#include "store/value.h"

namespace tarvok::edb {

// A JSON string literal of UTF-8 text, quotes included: '"', '\' and the
// control characters escaped.
std::string JsonString(std::string_view utf8);

// A number in its shortest exact form ("41365.5", "1e+20"). JSON has no
// form for NaN and the infinities; they become the strings "NaN",
// "Infinity" and "-Infinity".
std::string JsonNumber(double v);
std::string JsonNumber(float v);

// A field value: numbers and DateTime as numbers, Logical as true/false,
// Text and Memo as strings (GBK converted to UTF-8), Bytes as a string of
// lower-case hex digits.
std::string JsonValue(const store::Value& v);

}  // namespace tarvok::edb
