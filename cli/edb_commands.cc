// The commands of tarvokline-edb.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "cli/edb_json.h"
#include "cli/edb_tool.h"
#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "store/check.h"
#include "store/cipher.h"
#include "store/record_store.h"
#include "store/table.h"

namespace tarvok::edb {

using store::FieldDesc;
using store::FieldType;
using store::RecordStore;
using store::RecordTable;

namespace {

// Opens `file` as the current table of `s`; prints the store's failure.
bool Open(RecordStore& s, const std::string& file, const std::string& shown, platform::Access access,
          const std::string& password) {
  store::OpenOptions o;
  o.access = access;
  o.password = password;
  if (s.OpenTable(file, o)) return true;
  StoreFailure(shown, store::LastError());
  return false;
}

std::string Utf8(const std::string& gbk) { return GbkToUtf8(gbk); }

}  // namespace

int RunInfo(const std::string& file, const std::string& shown, const Passwords& pw) {
  RecordStore s;
  if (!Open(s, file, shown, platform::Access::kReadOnly, pw.old_password)) return kExitFailure;
  RecordTable* t = s.current();
  const store::TableHeader& h = t->header;
  const int32_t records = s.RecordCount();
  if (store::LastError() != store::kOk) return StoreFailure(shown, store::LastError());

  std::string out = "{\n  \"header\": {";
  out += "\"magic\": " + JsonString(std::string(h.magic, 4));
  out += ", \"version\": " + std::to_string(h.version);
  out += ", \"created\": " + JsonNumber(h.created);
  out += ", \"record_count\": " + std::to_string(h.record_count);
  out += ", \"next_record_id\": " + std::to_string(h.next_id);
  out += ", \"record_size\": " + std::to_string(h.record_size);
  out += std::string(", \"protected\": ") + (t->protected_table() ? "true" : "false");
  out += "},\n  \"fields\": [";
  for (size_t i = 0; i < t->fields.size(); ++i) {
    const FieldDesc& f = t->fields[i];
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"name\": " + JsonString(Utf8(f.name)) + ", \"type\": " +
           JsonString(store::FieldTypeName(f.type)) + ", \"offset\": " + std::to_string(f.offset) +
           ", \"width\": " + std::to_string(f.width) + "}";
  }
  out += "\n  ],\n  \"records\": " + std::to_string(records);
  if (t->has_companion()) {
    uint8_t b[store::kCompanionHeaderSize];
    int rc = t->companion.ReadExact(0, b, sizeof b, store::kErrCompanionAccess);
    if (rc != store::kOk) return StoreFailure(shown, rc);
    const store::CompanionHeader c = store::DecodeCompanionHeader(b);
    out += ",\n  \"companion\": {\"block_count\": " + std::to_string(c.block_count) +
           ", \"free_count\": " + std::to_string(c.free_count) +
           ", \"first_free\": " + std::to_string(c.first_free) + "}";
  }
  out += "\n}\n";
  std::fputs(out.c_str(), stdout);
  return kExitOk;
}

int RunDump(const std::string& file, const std::string& shown, const Passwords& pw) {
  RecordStore s;
  if (!Open(s, file, shown, platform::Access::kReadOnly, pw.old_password)) return kExitFailure;
  RecordTable* t = s.current();
  const int32_t count = s.RecordCount();
  if (store::LastError() != store::kOk) return StoreFailure(shown, store::LastError());
  std::vector<std::string> names;
  for (const auto& f : t->fields) names.push_back(JsonString(Utf8(f.name)));
  int status = kExitOk;
  for (int32_t k = 0; k < count; ++k) {
    uint8_t idb[4];
    int rc = t->table.ReadExact(t->RecordOffset(k), idb, sizeof idb, store::kErrReadRecord);
    if (rc != store::kOk) return StoreFailure(shown + ": slot " + std::to_string(k), rc);
    const int64_t id = store::GetI32(idb);
    s.GoToRecord(int64_t(k) + 1);
    std::string line = "{\"slot\":" + std::to_string(k) + ",\"id\":" + std::to_string(id < 0 ? -id : id) +
                       ",\"deleted\":" + (id < 0 ? "true" : "false") + ",\"fields\":{";
    for (size_t i = 0; i < t->fields.size(); ++i) {
      const store::Value v = s.ReadField(int(i) + 1);
      const int code = store::LastError();
      if (i > 0) line += ",";
      line += names[i] + ":";
      if (code == store::kOk) {
        line += JsonValue(v);
      } else {
        line += "null";
        status = StoreFailure(shown + ": slot " + std::to_string(k) + " field " + Utf8(t->fields[i].name), code);
      }
    }
    line += "}}\n";
    std::fputs(line.c_str(), stdout);
  }
  return status;
}

int RunCheck(const std::string& file, const std::string& shown, const Passwords& pw) {
  std::vector<std::string> problems, unused;
  const int rc = store::CheckTable(file, pw.old_password, &problems, &unused);
  if (rc != store::kOk) return StoreFailure(shown, rc);
  for (const auto& p : problems) std::printf("%s\n", Utf8(p).c_str());
  for (const auto& u : unused) std::printf("unused: %s\n", Utf8(u).c_str());
  return problems.empty() ? kExitOk : kExitProblems;
}

int RunPack(const std::string& file, const std::string& shown, const Passwords& pw) {
  RecordStore s;
  if (!Open(s, file, shown, platform::Access::kReadWrite, pw.old_password)) return kExitFailure;
  const int32_t before = s.RecordCount();
  if (store::LastError() != store::kOk) return StoreFailure(shown, store::LastError());
  if (!s.Pack()) return StoreFailure(shown, store::LastError());
  const int32_t after = s.RecordCount();
  if (store::LastError() != store::kOk) return StoreFailure(shown, store::LastError());
  std::printf("kept %d of %d record slots\n", after, before);
  return kExitOk;
}

int RunSetPassword(const std::string& file, const std::string& shown, const Passwords& pw) {
  RecordStore s;
  if (!Open(s, file, shown, platform::Access::kReadWrite, pw.old_password)) return kExitFailure;
  if (!s.SetPassword(*pw.new_password)) return StoreFailure(shown, store::LastError());
  return kExitOk;
}

// ---- create ------------------------------------------------------------------

namespace {

// Whether GB18030 bytes are all GBK: no four-byte sequence (a lead byte
// followed by a digit byte) among them.
bool IsGbk(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) continue;
    if (i + 1 >= bytes.size()) return false;
    const auto trail = static_cast<unsigned char>(bytes[i + 1]);
    if (trail >= 0x30 && trail <= 0x39) return false;
    ++i;
  }
  return true;
}

bool ParseType(std::string_view name, FieldType* out) {
  for (int code = 1; code <= 12; ++code) {
    const auto type = static_cast<FieldType>(code);
    if (store::NamesEqual(name, store::FieldTypeName(type))) {
      *out = type;
      return true;
    }
  }
  return false;
}

// Parses NAME:TYPE[:WIDTH] into a field; false with *error set.
bool ParseField(const std::string& spec, const std::vector<FieldDesc>& earlier,
                const std::vector<std::string>& earlier_shown, FieldDesc* out, std::string* error) {
  const size_t colon = spec.find(':');
  const std::string name = spec.substr(0, colon);
  const std::string where = "field \"" + name + "\": ";
  if (colon == std::string::npos) {
    *error = where + "expected NAME:TYPE or NAME:Text:WIDTH";
    return false;
  }
  const std::string rest = spec.substr(colon + 1);
  const size_t colon2 = rest.find(':');
  const std::string type_name = rest.substr(0, colon2);
  const std::optional<std::string> width =
      colon2 == std::string::npos ? std::nullopt : std::optional<std::string>(rest.substr(colon2 + 1));

  if (name.empty()) {
    *error = "field \"" + spec + "\": the name is empty";
    return false;
  }
  std::string gbk;
  if (!FromUtf8(name, &gbk) || !IsGbk(gbk)) {
    *error = where + "the name has a character without a GBK form";
    return false;
  }
  if (gbk.size() > store::kMaxFieldNameBytes) {
    *error = where + "the name takes " + std::to_string(gbk.size()) + " bytes in GBK, at most " +
             std::to_string(store::kMaxFieldNameBytes);
    return false;
  }
  for (size_t i = 0; i < earlier.size(); ++i) {
    if (store::NamesEqual(earlier[i].name, gbk)) {
      *error = where + "the name repeats field \"" + earlier_shown[i] + "\"";
      return false;
    }
  }
  FieldType type;
  if (!ParseType(type_name, &type)) {
    *error = where + "unknown type \"" + type_name +
             "\" (Byte Int16 Int32 Int64 Float32 Float64 Logical DateTime CodeRef Text Bytes Memo)";
    return false;
  }
  uint32_t w = 0;
  if (type == FieldType::kText) {
    if (!width) {
      *error = where + "Text needs its width: " + name + ":Text:WIDTH";
      return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(width->c_str(), &end, 10);
    const uint64_t max = std::numeric_limits<int32_t>::max();
    if (width->empty() || *end != '\0' || (*width)[0] < '0' || (*width)[0] > '9' || errno != 0 ||
        v < 1 || v > max) {
      *error = where + "the width \"" + *width + "\" is not a number from 1 to " + std::to_string(max);
      return false;
    }
    w = uint32_t(v);
  } else if (width) {
    *error = where + "only Text takes a width";
    return false;
  }
  *out = FieldDesc{gbk, type, 0, w};
  return true;
}

// Writes a whole new file; false with the failure printed.
bool WriteNewFile(const std::string& path, const std::string& shown, const std::vector<uint8_t>& bytes) {
  auto* fs = platform::CurrentFileSystem();
  std::unique_ptr<platform::File> f;
  int err = fs->Open(path, platform::Access::kReadWrite, platform::Sharing::kExclusive,
                     platform::Disposition::kCreateNew, &f);
  if (err == 0) err = f->Write(0, bytes.data(), bytes.size());
  if (err == 0) err = f->Sync();
  if (err == 0) return true;
  if (err == EEXIST) {
    UsageFailure(shown + ": the file exists already");
  } else {
    const int code = store::ErrnoToStoreError(err);
    std::fprintf(stderr, "tarvokline-edb: %s: error %d: %s (%s)\n", shown.c_str(), code,
                 Utf8(store::ErrorMessage(code)).c_str(), std::strerror(err));
  }
  if (f) {
    f.reset();
    fs->Remove(path);
  }
  return false;
}

}  // namespace

int RunCreate(const std::string& file, const std::string& shown, const std::vector<std::string>& specs,
              const Passwords& pw) {
  std::vector<FieldDesc> fields;
  std::vector<std::string> fields_shown;
  uint64_t record_size = store::kRecordIdSize;
  bool chained = false;
  for (const auto& spec : specs) {
    FieldDesc f;
    std::string error;
    if (!ParseField(spec, fields, fields_shown, &f, &error)) return UsageFailure(error);
    record_size += store::FieldWidth(f.type, f.width);
    chained = chained || store::HasChain(f.type);
    fields.push_back(std::move(f));
    fields_shown.push_back(spec.substr(0, spec.find(':')));
  }
  if (record_size > uint64_t(std::numeric_limits<int32_t>::max()))
    return UsageFailure("the record would take " + std::to_string(record_size) + " bytes, at most " +
                        std::to_string(std::numeric_limits<int32_t>::max()));

  std::shared_ptr<store::TableKey> key = store::MakeTableKey(pw.old_password);
  const double created = Now().value;
  std::vector<uint8_t> table =
      store::EmptyTableImage(fields, created, 1, key ? key->verifier() : std::string(), key != nullptr);
  std::vector<uint8_t> companion = store::EmptyCompanionImage(created);
  store::ApplyPageCipher(key.get(), 0, table.data(), table.size());
  store::ApplyPageCipher(key.get(), 0, companion.data(), companion.size());

  auto* fs = platform::CurrentFileSystem();
  const std::string table_path = fs->FullPath(store::WithDefaultExtension(file));
  const std::string companion_path = store::CompanionPathFor(table_path);
  if (chained && fs->Exists(companion_path))
    return UsageFailure(Utf8(companion_path) + ": the file exists already");
  if (!WriteNewFile(table_path, shown, table)) return kExitFailure;
  if (chained && !WriteNewFile(companion_path, Utf8(companion_path), companion)) {
    fs->Remove(table_path);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace tarvok::edb
