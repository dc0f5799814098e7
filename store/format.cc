#include "store/format.h"

#include <cctype>

namespace tarvok::store {

uint32_t FieldWidth(FieldType type, uint32_t text_width) {
  switch (type) {
    case FieldType::kByte: case FieldType::kLogical: return 1;
    case FieldType::kInt16: return 2;
    case FieldType::kInt32: case FieldType::kFloat32: case FieldType::kCodeRef:
    case FieldType::kBytes: case FieldType::kMemo: return 4;
    case FieldType::kInt64: case FieldType::kFloat64: case FieldType::kDateTime: return 8;
    case FieldType::kText: return text_width;
  }
  return 0;
}

bool IsNumeric(FieldType type) {
  return type >= FieldType::kByte && type <= FieldType::kFloat64;
}

bool HasChain(FieldType type) { return type == FieldType::kMemo || type == FieldType::kBytes; }

bool ValidFieldTypeCode(int32_t code) { return code >= 1 && code <= 12; }

const char* FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::kByte: return "Byte";
    case FieldType::kInt16: return "Int16";
    case FieldType::kInt32: return "Int32";
    case FieldType::kInt64: return "Int64";
    case FieldType::kFloat32: return "Float32";
    case FieldType::kFloat64: return "Float64";
    case FieldType::kLogical: return "Logical";
    case FieldType::kDateTime: return "DateTime";
    case FieldType::kCodeRef: return "CodeRef";
    case FieldType::kText: return "Text";
    case FieldType::kBytes: return "Bytes";
    case FieldType::kMemo: return "Memo";
  }
  return "?";
}

TableHeader DecodeTableHeader(const uint8_t* b) {
  TableHeader h;
  std::memcpy(h.magic, b + kOffMagic, 4);
  h.version = GetI32(b + kOffVersion);
  h.created = GetF64(b + kOffCreated);
  h.record_count = GetI32(b + kOffRecordCount);
  h.next_id = GetI32(b + kOffNextId);
  h.record_size = GetI32(b + kOffRecordSize);
  const char* v = reinterpret_cast<const char*>(b + kOffVerifier);
  bool any = false;
  for (uint32_t i = 0; i < 32; ++i) any = any || v[i] != 0;
  if (any) h.verifier.assign(v, 32);
  return h;
}

void EncodeTableHeader(const TableHeader& h, uint8_t* b) {
  std::memset(b, 0, kHeaderSize);
  std::memcpy(b + kOffMagic, h.magic, 4);
  PutI32(b + kOffVersion, h.version);
  PutF64(b + kOffCreated, h.created);
  PutI32(b + kOffRecordCount, h.record_count);
  PutI32(b + kOffNextId, h.next_id);
  PutI32(b + kOffRecordSize, h.record_size);
  std::memcpy(b + kOffVerifier, h.verifier.data(), std::min<size_t>(h.verifier.size(), 32));
}

CompanionHeader DecodeCompanionHeader(const uint8_t* b) {
  CompanionHeader h;
  std::memcpy(h.magic, b, 4);
  h.version = GetI32(b + 4);
  h.created = GetF64(b + 8);
  h.block_count = GetI32(b + kOffBlockCount);
  h.free_count = GetI32(b + kOffFreeCount);
  h.first_free = GetI32(b + kOffFirstFree);
  return h;
}

void EncodeCompanionHeader(const CompanionHeader& h, uint8_t* b) {
  std::memset(b, 0, kCompanionHeaderSize);
  std::memcpy(b, h.magic, 4);
  PutI32(b + 4, h.version);
  PutF64(b + 8, h.created);
  PutI32(b + kOffBlockCount, h.block_count);
  PutI32(b + kOffFreeCount, h.free_count);
  PutI32(b + kOffFirstFree, h.first_free);
}

BlockHeader DecodeBlockHeader(const uint8_t* b) {
  return BlockHeader{GetI32(b), GetI32(b + 4), GetI32(b + 8)};
}

void EncodeBlockHeader(const BlockHeader& h, uint8_t* b) {
  PutI32(b, h.previous);
  PutI32(b + 4, h.next);
  PutI32(b + 8, h.used);
}

bool DecodeDescriptor(const uint8_t* b, FieldDesc* out) {
  uint32_t len = 0;
  while (len <= kMaxFieldNameBytes && b[len] != 0) ++len;
  if (len > kMaxFieldNameBytes) return false;  // no zero among bytes 0..16
  int32_t type = GetI32(b + kDescOffType);
  int32_t offset = GetI32(b + kDescOffOffset);
  int32_t width = GetI32(b + kDescOffWidth);
  if (offset < 0 || !ValidFieldTypeCode(type)) return false;
  auto ft = static_cast<FieldType>(type);
  if (ft == FieldType::kText && width < 1) return false;
  out->name.assign(reinterpret_cast<const char*>(b), len);
  out->type = ft;
  out->offset = static_cast<uint32_t>(offset);
  out->width = FieldWidth(ft, ft == FieldType::kText ? static_cast<uint32_t>(width) : 0);
  return true;
}

std::vector<uint8_t> EmptyTableImage(const std::vector<FieldDesc>& fields, double created,
                                     int32_t next_id, const std::string& verifier, bool protect) {
  const auto n = static_cast<uint32_t>(fields.size());
  std::vector<uint8_t> img(kOffDescriptors + kDescriptorSize * n, 0);
  TableHeader h;
  std::memcpy(h.magic, protect ? kProtectedMagic : kPlainMagic, 4);
  h.version = kFormatVersion;
  h.created = created;
  h.record_count = 0;
  h.next_id = next_id;
  uint32_t offset = kRecordIdSize;
  for (const auto& f : fields) offset += FieldWidth(f.type, f.width);
  h.record_size = static_cast<int32_t>(offset);
  h.verifier = verifier;
  EncodeTableHeader(h, img.data());
  PutI32(img.data() + kOffFieldCount, static_cast<int32_t>(n));
  offset = kRecordIdSize;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t* d = img.data() + kOffDescriptors + kDescriptorSize * i;
    const auto& f = fields[i];
    std::memcpy(d, f.name.data(), std::min<size_t>(f.name.size(), kMaxFieldNameBytes));
    PutI32(d + kDescOffType, static_cast<int32_t>(f.type));
    PutI32(d + kDescOffOffset, static_cast<int32_t>(offset));
    PutI32(d + kDescOffWidth, f.type == FieldType::kText ? static_cast<int32_t>(f.width) : 0);
    offset += FieldWidth(f.type, f.width);
  }
  return img;
}

std::vector<uint8_t> EmptyCompanionImage(double created) {
  std::vector<uint8_t> img(kBlockSize, 0);
  CompanionHeader h;
  std::memcpy(h.magic, kCompanionMagic, 4);
  h.version = kFormatVersion;
  h.created = created;
  h.block_count = 1;
  EncodeCompanionHeader(h, img.data());
  return img;
}

namespace {
size_t LastComponentStart(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}
}  // namespace

std::string WithDefaultExtension(const std::string& path) {
  size_t start = LastComponentStart(path);
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < start) return path + ".EDB";
  if (dot + 1 == path.size()) return path + "EDB";
  return path;
}

std::string ReplaceExtension(const std::string& path, const std::string& ext) {
  size_t start = LastComponentStart(path);
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < start) return path + "." + ext;
  return path.substr(0, dot + 1) + ext;
}

std::string TableNameOf(const std::string& path) {
  size_t start = LastComponentStart(path);
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < start) return path.substr(start);
  return path.substr(start, dot - start);
}

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80) {
      // A double-byte character compares exactly, trail byte included.
      if (x != y || (i + 1 < a.size() && a[i + 1] != b[i + 1])) return false;
      ++i;
    } else if (std::tolower(x) != std::tolower(y)) {
      return false;
    }
  }
  return true;
}

}  // namespace tarvok::store
