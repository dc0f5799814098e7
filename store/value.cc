#include "store/value.h"

#include <cmath>
#include <limits>
#include <type_traits>

namespace tarvok::store {

Value EmptyValue(FieldType type) {
  switch (type) {
    case FieldType::kByte: return uint8_t{0};
    case FieldType::kInt16: return int16_t{0};
    case FieldType::kInt32: return int32_t{0};
    case FieldType::kInt64: return int64_t{0};
    case FieldType::kFloat32: return 0.0f;
    case FieldType::kFloat64: return 0.0;
    case FieldType::kLogical: return false;
    case FieldType::kDateTime: return DateTime{};
    case FieldType::kCodeRef: return CodeRef{};
    case FieldType::kText: case FieldType::kMemo: return std::string{};
    case FieldType::kBytes: return ByteString{};
  }
  return std::string{};
}

namespace {

// Floating point to a 64-bit integer, truncated toward zero. Values beyond
// the range saturate and NaN gives 0, so no input is undefined behaviour.
int64_t TruncateToInt64(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
  if (d < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(d);
}

template <typename Int>
Int LowBits(int64_t v) {
  return static_cast<Int>(static_cast<std::make_unsigned_t<Int>>(static_cast<uint64_t>(v)));
}

// A numeric value as either an integer or a double.
struct Number {
  bool is_float;
  int64_t i;
  double d;
};

std::optional<Number> AsNumber(const Value& v) {
  if (auto p = std::get_if<uint8_t>(&v)) return Number{false, *p, 0};
  if (auto p = std::get_if<int16_t>(&v)) return Number{false, *p, 0};
  if (auto p = std::get_if<int32_t>(&v)) return Number{false, *p, 0};
  if (auto p = std::get_if<int64_t>(&v)) return Number{false, *p, 0};
  if (auto p = std::get_if<float>(&v)) return Number{true, 0, *p};
  if (auto p = std::get_if<double>(&v)) return Number{true, 0, *p};
  return std::nullopt;
}

}  // namespace

std::optional<Value> ConvertForField(const Value& v, FieldType type) {
  if (IsNumeric(type)) {
    auto n = AsNumber(v);
    if (!n) return std::nullopt;
    int64_t i = n->is_float ? TruncateToInt64(n->d) : n->i;
    switch (type) {
      case FieldType::kByte: return LowBits<uint8_t>(i);
      case FieldType::kInt16: return LowBits<int16_t>(i);
      case FieldType::kInt32: return LowBits<int32_t>(i);
      case FieldType::kInt64: return i;
      case FieldType::kFloat32:
        return n->is_float ? static_cast<float>(n->d) : static_cast<float>(n->i);
      case FieldType::kFloat64:
        return n->is_float ? n->d : static_cast<double>(n->i);
      default: break;
    }
    return std::nullopt;
  }
  switch (type) {
    case FieldType::kLogical:
      if (std::holds_alternative<bool>(v)) return v;
      break;
    case FieldType::kDateTime:
      if (std::holds_alternative<DateTime>(v)) return v;
      break;
    case FieldType::kCodeRef:
      if (std::holds_alternative<CodeRef>(v)) return v;
      break;
    case FieldType::kText: case FieldType::kMemo:
      if (std::holds_alternative<std::string>(v)) return v;
      break;
    case FieldType::kBytes:
      if (std::holds_alternative<ByteString>(v)) return v;
      break;
    default: break;
  }
  return std::nullopt;
}

}  // namespace tarvok::store
