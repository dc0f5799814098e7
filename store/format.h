// The record file format: a table file (.edb) and, for tables with a Memo or
// Bytes field, a companion file (.edt). All integers little-endian, nothing
// aligned or padded. Text is GBK bytes without length prefix.
//
// Table file
//   OFFSET  SIZE  DESCRIPTION
//   0x00    4     magic "WEDB" (plain) or "WCDB" (protected); never enciphered
//   0x04    4     version, 0x10000; a larger one is refused
//   0x08    8     created, DateTime double, whole seconds; never read
//   0x10    4     record count: slots, deleted records included
//   0x14    4     next record id, >= 1, never decreases (packing keeps it)
//   0x18    4     record size = 4 + the widths of all fields
//   0x1C    36    verifier: 32 ASCII characters then 4 zeros; zeros if plain
//   0x40    48    reserved, zero
//   0x70    4     field count n >= 1
//   0x74    72*n  field descriptors, in field order
//   then          record-count records of record-size bytes; the file ends
//                 exactly after the last one
//
// Field descriptor (72 bytes)
//   0x00    20    name, zero-terminated within the first 17 bytes, zero-padded
//   0x14    4     type code 1..12
//   0x18    4     offset of the field within a record (>= 0)
//   0x1C    4     width: Text only (>= 1); 0 for the other types
//   0x20    40    reserved, zero
//
// Record
//   0       4     RecordId: positive when live, negated when deleted
//   offset  width each field, encoded by its type (see FieldType)
//
// Companion file: 512-byte blocks, block b at byte 512*b.
//   Block 0, header (rest of the block zero):
//   0x00    4     magic "WEDT"; never enciphered
//   0x04    4     version, equal to the table file's
//   0x08    8     created
//   0x10    4     block count >= 1, block 0 included
//   0x14    4     free count, 0 <= free count < block count
//   0x18    4     first free block, 0 = none
//   0x1C    4     reserved, zero
//   Block b >= 1:
//   0       4     previous block of the chain (0 in the first); on the free
//                 list the previous free block (not kept up to date at the head)
//   4       4     next block of the chain (0 in the last)
//   8       4     used data bytes: 1..500 in a value's block, 0 when free
//   12      500   data, zero after the used bytes
//
// A value of L >= 1 bytes occupies ceil(L / 500) blocks; an empty value none
// (its field holds 0).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::store {

inline constexpr char kPlainMagic[4] = {'W', 'E', 'D', 'B'};
inline constexpr char kProtectedMagic[4] = {'W', 'C', 'D', 'B'};
inline constexpr char kCompanionMagic[4] = {'W', 'E', 'D', 'T'};
inline constexpr int32_t kFormatVersion = 0x10000;

inline constexpr uint32_t kHeaderSize = 0x70;
inline constexpr uint32_t kOffMagic = 0x00;
inline constexpr uint32_t kOffVersion = 0x04;
inline constexpr uint32_t kOffCreated = 0x08;
inline constexpr uint32_t kOffRecordCount = 0x10;
inline constexpr uint32_t kOffNextId = 0x14;
inline constexpr uint32_t kOffRecordSize = 0x18;
inline constexpr uint32_t kOffVerifier = 0x1C;
inline constexpr uint32_t kVerifierAreaSize = 36;
inline constexpr uint32_t kOffFieldCount = 0x70;
inline constexpr uint32_t kOffDescriptors = 0x74;
inline constexpr uint32_t kDescriptorSize = 72;
inline constexpr uint32_t kDescNameSize = 20;
inline constexpr uint32_t kMaxFieldNameBytes = 16;
inline constexpr uint32_t kDescOffType = 0x14;
inline constexpr uint32_t kDescOffOffset = 0x18;
inline constexpr uint32_t kDescOffWidth = 0x1C;
inline constexpr uint32_t kRecordIdSize = 4;

inline constexpr uint32_t kBlockSize = 512;
inline constexpr uint32_t kBlockHeaderSize = 12;
inline constexpr uint32_t kBlockDataSize = 500;
inline constexpr uint32_t kCompanionHeaderSize = 32;
inline constexpr uint32_t kOffBlockCount = 0x10;
inline constexpr uint32_t kOffFreeCount = 0x14;
inline constexpr uint32_t kOffFirstFree = 0x18;

// Lock bytes.
inline constexpr uint64_t kCounterLockByte = 16;
inline constexpr uint64_t kWholeLockLength = 0x7FFFFFFF;  // bytes 0..0x7FFFFFFE

enum class FieldType : int32_t {
  kByte = 1,
  kInt16 = 2,
  kInt32 = 3,
  kInt64 = 4,
  kFloat32 = 5,
  kFloat64 = 6,
  kLogical = 7,
  kDateTime = 8,
  kCodeRef = 9,
  kText = 10,
  kBytes = 11,
  kMemo = 12,
};

// Width in a record (Text: the declared width).
uint32_t FieldWidth(FieldType type, uint32_t text_width);
bool IsNumeric(FieldType type);
bool HasChain(FieldType type);  // Memo and Bytes
const char* FieldTypeName(FieldType type);
bool ValidFieldTypeCode(int32_t code);

struct FieldDesc {
  std::string name;  // GBK, at most 16 bytes
  FieldType type = FieldType::kByte;
  uint32_t offset = 0;
  uint32_t width = 0;  // bytes in the record (Text width, or the type's width)
};

// What the header says; record count and next id are only a snapshot.
struct TableHeader {
  char magic[4] = {};
  int32_t version = 0;
  double created = 0;
  int32_t record_count = 0;
  int32_t next_id = 0;
  int32_t record_size = 0;
  std::string verifier;  // 32 characters, or empty for zeros
};

struct CompanionHeader {
  char magic[4] = {};
  int32_t version = 0;
  double created = 0;
  int32_t block_count = 0;
  int32_t free_count = 0;
  int32_t first_free = 0;
};

struct BlockHeader {
  int32_t previous = 0;
  int32_t next = 0;
  int32_t used = 0;
};

// Little-endian helpers.
inline int32_t GetI32(const uint8_t* p) {
  uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  return static_cast<int32_t>(v);
}
inline void PutI32(uint8_t* p, int32_t v) {
  auto u = static_cast<uint32_t>(v);
  p[0] = uint8_t(u);
  p[1] = uint8_t(u >> 8);
  p[2] = uint8_t(u >> 16);
  p[3] = uint8_t(u >> 24);
}
inline double GetF64(const uint8_t* p) {
  double d;
  std::memcpy(&d, p, 8);
  return d;
}
inline void PutF64(uint8_t* p, double d) { std::memcpy(p, &d, 8); }

TableHeader DecodeTableHeader(const uint8_t* bytes);  // 112 bytes
void EncodeTableHeader(const TableHeader& h, uint8_t* bytes);
CompanionHeader DecodeCompanionHeader(const uint8_t* bytes);  // 32 bytes
void EncodeCompanionHeader(const CompanionHeader& h, uint8_t* bytes);
BlockHeader DecodeBlockHeader(const uint8_t* bytes);  // 12 bytes
void EncodeBlockHeader(const BlockHeader& h, uint8_t* bytes);

// Decodes one descriptor; false when it breaks the descriptor rules.
bool DecodeDescriptor(const uint8_t* bytes, FieldDesc* out);

// The complete bytes of an empty table file: header, field count and
// descriptors, the fields placed from offset 4 on in order. `fields` give
// name, type and (for Text) width; offsets are computed.
std::vector<uint8_t> EmptyTableImage(const std::vector<FieldDesc>& fields, double created,
                                     int32_t next_id, const std::string& verifier, bool protect);
// The 512 bytes of an empty companion file.
std::vector<uint8_t> EmptyCompanionImage(double created);

// Default extension and companion naming. A path whose last component has
// no "." gets ".EDB"; one ending in "." gets "EDB" after the dot.
std::string WithDefaultExtension(const std::string& path);
// The table file's path with everything after the last "." of the last
// component replaced by `ext`.
std::string ReplaceExtension(const std::string& path, const std::string& ext);
// File name without directory and extension: "data/rz35.edb" -> "rz35".
std::string TableNameOf(const std::string& path);

// Names compare without regard to ASCII letter case; other bytes exactly.
bool NamesEqual(std::string_view a, std::string_view b);

}  // namespace tarvok::store
