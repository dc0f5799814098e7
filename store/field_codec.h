// Encoding of field values in record bytes.
#pragma once

#include <cstdint>

#include "store/format.h"
#include "store/value.h"

namespace tarvok::store {

// Decodes a non-chain field from its bytes in a record. DateTime values are
// clamped into the valid range (NaN reads as the minimum).
Value DecodeField(const FieldDesc& f, const uint8_t* bytes);

// Encodes an already converted value of a non-chain field into its bytes.
// Text: the bytes and a terminating zero, padded with zeros to the width;
// cut to the width when longer (then without terminator). With `pad` false
// only the text and its terminator are copied (what AddRecord and
// ModifyRecord do), leaving the rest of the field as it was.
void EncodeField(const FieldDesc& f, const Value& v, uint8_t* bytes, bool pad = true);

// Text kept in a record: the bytes up to the first zero, or all of them.
std::string TextOf(const uint8_t* bytes, uint32_t width);

}  // namespace tarvok::store
