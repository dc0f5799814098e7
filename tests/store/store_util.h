// Small helpers for the store's tests: tables made on disk, bytes read back,
// a snapshot of every record.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "store/format.h"
#include "store/record_store.h"
#include "tests/support/temp_dir.h"

namespace tarvok::test {

using store::FieldDesc;
using store::FieldType;
using store::RecordStore;
using store::Access;
using store::Sharing;

inline const std::string& DateField() {
  static const std::string s = "日期"_gbk;
  return s;
}
inline const std::string& TextField() {
  static const std::string s = "日志"_gbk;
  return s;
}

inline std::vector<FieldDesc> DiaryFields() {
  return {{DateField(), FieldType::kDateTime, 0, 0}, {TextField(), FieldType::kMemo, 0, 0}};
}

// Writes an empty table (and its companion when a field needs one) at the
// GBK path `path` with the given fields; created = 41365.5, next id 1.
inline void MakeTable(const std::string& path, const std::vector<FieldDesc>& fields,
                      int32_t next_id = 1) {
  auto img = store::EmptyTableImage(fields, 41365.5, next_id, "", false);
  WriteFileBytes(GbkToUtf8(path), std::string(img.begin(), img.end()));
  for (const auto& f : fields) {
    if (store::HasChain(f.type)) {
      auto c = store::EmptyCompanionImage(41365.5);
      WriteFileBytes(GbkToUtf8(store::ReplaceExtension(path, "edt")), std::string(c.begin(), c.end()));
      break;
    }
  }
}

inline int32_t I32At(const std::string& bytes, size_t offset) {
  return store::GetI32(reinterpret_cast<const uint8_t*>(bytes.data()) + offset);
}

inline void PutI32At(std::string* bytes, size_t offset, int32_t v) {
  store::PutI32(reinterpret_cast<uint8_t*>(bytes->data()) + offset, v);
}

// Edits a file in place: `edit` gets its bytes.
template <typename F>
void EditFile(const std::string& utf8_path, F edit) {
  std::string bytes = ReadFileBytes(utf8_path);
  edit(&bytes);
  WriteFileBytes(utf8_path, bytes);
}

inline std::string Text(const store::Value& v) {
  auto p = std::get_if<std::string>(&v);
  return p ? *p : std::string("<not a text>");
}

// Every slot of the current table as "id|field|field..." lines, memo texts
// included; what a test compares before and after an operation.
inline std::vector<std::string> Snapshot(RecordStore& s) {
  std::vector<std::string> out;
  const int32_t n = s.RecordCount();
  const int fields = s.FieldCount();
  for (int32_t k = 1; k <= n; ++k) {
    s.GoToRecord(k);
    std::string line;
    for (int f = 1; f <= fields; ++f) {
      store::Value v = s.ReadField(f);
      line += "|";
      std::visit(
          [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::string>) line += x;
            else if constexpr (std::is_same_v<T, store::ByteString>) line += x.bytes;
            else if constexpr (std::is_same_v<T, DateTime>) line += std::to_string(x.value);
            else if constexpr (std::is_same_v<T, store::CodeRef>) line += std::to_string(x.value);
            else line += std::to_string(x);
          },
          v);
    }
    out.push_back(line);
  }
  return out;
}

}  // namespace tarvok::test
