// Field values and field references of the record store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "datetime/date_time.h"
#include "store/format.h"

namespace tarvok::store {

struct CodeRef {
  uint32_t value = 0;
  friend bool operator==(const CodeRef&, const CodeRef&) = default;
};
// A byte string (the value of a Bytes field), distinct from a text.
struct ByteString {
  std::string bytes;
  friend bool operator==(const ByteString&, const ByteString&) = default;
};

// The value kinds by field type: Byte uint8_t, Int16/32/64 intN_t, Float32
// float, Float64 double, Logical bool, DateTime, CodeRef, Text and Memo
// std::string (GBK bytes), Bytes ByteString.
using Value = std::variant<uint8_t, int16_t, int32_t, int64_t, float, double, bool, DateTime,
                           CodeRef, std::string, ByteString>;

// A value that may be absent (AddRecord, ModifyRecord, WriteField).
using OptValue = std::optional<Value>;

// The empty value of a field type: zero, false, empty text or bytes.
Value EmptyValue(FieldType type);

// Converts a value for a field of `type`: numeric kinds convert into each
// other (integers sign- or zero-extended or cut to their low bits, floating
// point truncated toward zero through a 64-bit integer); other kinds must
// match exactly. Returns nullopt when the kinds do not fit.
std::optional<Value> ConvertForField(const Value& v, FieldType type);

// A field named by its name (compared without ASCII letter case) or by its
// 1-based position.
class FieldRef {
 public:
  FieldRef(const char* name) : name_(name) {}
  FieldRef(std::string name) : name_(std::move(name)) {}
  FieldRef(std::string_view name) : name_(name) {}
  FieldRef(int position) : position_(position) {}

  bool by_name() const { return !position_.has_value(); }
  const std::string& name() const { return name_; }
  int position() const { return position_.value_or(0); }

 private:
  std::string name_;
  std::optional<int> position_;
};

}  // namespace tarvok::store
