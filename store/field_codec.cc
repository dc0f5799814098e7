#include "store/field_codec.h"

#include <cmath>
#include <cstring>

namespace tarvok::store {

std::string TextOf(const uint8_t* bytes, uint32_t width) {
  const void* zero = std::memchr(bytes, 0, width);
  size_t n = zero ? size_t(static_cast<const uint8_t*>(zero) - bytes) : width;
  return std::string(reinterpret_cast<const char*>(bytes), n);
}

Value DecodeField(const FieldDesc& f, const uint8_t* b) {
  switch (f.type) {
    case FieldType::kByte: return uint8_t{b[0]};
    case FieldType::kInt16: {
      int16_t v;
      std::memcpy(&v, b, 2);
      return v;
    }
    case FieldType::kInt32: return GetI32(b);
    case FieldType::kInt64: {
      int64_t v;
      std::memcpy(&v, b, 8);
      return v;
    }
    case FieldType::kFloat32: {
      float v;
      std::memcpy(&v, b, 4);
      return v;
    }
    case FieldType::kFloat64: return GetF64(b);
    case FieldType::kLogical: return b[0] != 0;
    case FieldType::kDateTime: {
      double d = GetF64(b);
      if (std::isnan(d) || d < kMinDateTime) d = kMinDateTime;
      if (d > kMaxDateTime) d = kMaxDateTime;
      return DateTime{d};
    }
    case FieldType::kCodeRef: return CodeRef{static_cast<uint32_t>(GetI32(b))};
    case FieldType::kText: return TextOf(b, f.width);
    case FieldType::kBytes: case FieldType::kMemo: break;
  }
  return EmptyValue(f.type);
}

void EncodeField(const FieldDesc& f, const Value& v, uint8_t* b, bool pad) {
  switch (f.type) {
    case FieldType::kByte: b[0] = std::get<uint8_t>(v); break;
    case FieldType::kInt16: {
      int16_t x = std::get<int16_t>(v);
      std::memcpy(b, &x, 2);
      break;
    }
    case FieldType::kInt32: PutI32(b, std::get<int32_t>(v)); break;
    case FieldType::kInt64: {
      int64_t x = std::get<int64_t>(v);
      std::memcpy(b, &x, 8);
      break;
    }
    case FieldType::kFloat32: {
      float x = std::get<float>(v);
      std::memcpy(b, &x, 4);
      break;
    }
    case FieldType::kFloat64: PutF64(b, std::get<double>(v)); break;
    case FieldType::kLogical: b[0] = std::get<bool>(v) ? 1 : 0; break;
    case FieldType::kDateTime: PutF64(b, std::get<DateTime>(v).value); break;
    case FieldType::kCodeRef: PutI32(b, static_cast<int32_t>(std::get<CodeRef>(v).value)); break;
    case FieldType::kText: {
      const std::string& s = std::get<std::string>(v);
      const size_t n = std::min<size_t>(s.size(), f.width);
      std::memcpy(b, s.data(), n);
      if (pad) {
        std::memset(b + n, 0, f.width - n);
      } else if (n < f.width) {
        b[n] = 0;
      }
      break;
    }
    case FieldType::kBytes: case FieldType::kMemo: break;
  }
}

}  // namespace tarvok::store
