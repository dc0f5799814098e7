#include "store/record_store.h"

#include <string.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/gbk.h"
#include "store/field_codec.h"
#include "store/table.h"

namespace tarvok::store {

using platform::CurrentFileSystem;

namespace {

constexpr unsigned kRecordCountWaitMs = 2000;
// Fields wider than this are checked against the file length before a
// buffer of their width is made.
constexpr uint32_t kAskSizeAbove = 1 << 16;

FatalRunErrorHook& FatalHook() {
  static FatalRunErrorHook hook;
  return hook;
}

PasswordPromptHook& PromptHook() {
  static PasswordPromptHook hook;
  return hook;
}

// Letters, digits and Chinese characters, full or half width; the first not
// a digit.
bool ValidAlias(const std::string& a) {
  for (size_t i = 0; i < a.size();) {
    auto c = static_cast<unsigned char>(a[i]);
    if (c < 0x80) {
      bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
      bool digit = c >= '0' && c <= '9';
      if (!(letter || (digit && i > 0))) return false;
      ++i;
      continue;
    }
    if (i + 1 >= a.size()) return false;
    auto t = static_cast<unsigned char>(a[i + 1]);
    bool ok;
    if (c == 0xA3) {
      bool letter = (t >= 0xC1 && t <= 0xDA) || (t >= 0xE1 && t <= 0xFA);
      bool digit = t >= 0xB0 && t <= 0xB9;
      ok = letter || (digit && i > 0);
    } else {
      ok = (c >= 0x81 && c <= 0xA0) || (c >= 0xAA && c <= 0xFE);  // Chinese characters
    }
    if (!ok) return false;
    i += 2;
  }
  return !a.empty();
}

}  // namespace

void SetFatalRunErrorHook(FatalRunErrorHook hook) { FatalHook() = std::move(hook); }
void SetPasswordPromptHook(PasswordPromptHook hook) { PromptHook() = std::move(hook); }

void FatalRunError(const std::string& message) {
  const std::string text = "运行时出错!\r\n\r\n错误信息："_gbk + message + "\r\n";
  if (FatalHook()) {
    FatalHook()(text);
  } else {
    std::fprintf(stderr, "%s", GbkToUtf8(text).c_str());
  }
  std::exit(-1);
}

RecordStore::RecordStore() = default;
RecordStore::~RecordStore() = default;

bool RecordStore::Fail(int code) {
  SetLastError(code);
  return false;
}

RecordTable* RecordStore::current() {
  return current_ >= 0 ? tables_[size_t(current_)].get() : nullptr;
}

int RecordStore::FindIndex(const std::string& name) const {
  if (name.empty()) return -1;
  const int n = static_cast<int>(tables_.size());
  for (int i = n - 1; i >= 0; --i)
    if (NamesEqual(tables_[size_t(i)]->alias, name)) return i;
  for (int i = n - 1; i >= 0; --i)
    if (NamesEqual(tables_[size_t(i)]->name, name)) return i;
  for (int i = n - 1; i >= 0; --i)
    if (NamesEqual(tables_[size_t(i)]->full_path, name)) return i;
  return -1;
}

RecordTable* RecordStore::Find(const std::string& name) {
  int i = FindIndex(name);
  return i >= 0 ? tables_[size_t(i)].get() : nullptr;
}

bool RecordStore::OpenTable(const std::string& path, const OpenOptions& o) {
  SetLastError(kOk);
  if (path.empty()) return Fail(kErrFileNotFound);
  const std::string full = ResolveTablePath(path);
  for (const auto& t : tables_)
    if (NamesEqual(t->full_path, full)) return Fail(kErrAlreadyOpen);
  if (!o.alias.empty() && !ValidAlias(o.alias)) return Fail(kErrBadAlias);
  OpenRequest req;
  req.path = path;
  req.alias = o.alias;
  req.sharing = o.sharing;
  req.access = o.access;
  req.prompt = o.password == "?";
  if (!req.prompt) req.password = o.password;
  req.prompt_fn = PromptHook();
  std::unique_ptr<RecordTable> table;
  int rc = RecordTable::Open(req, &table);
  // The table keeps only its key; this copy of the password goes now.
  if (!req.password.empty()) explicit_bzero(req.password.data(), req.password.size());
  if (rc != kOk) return Fail(rc);
  tables_.push_back(std::move(table));
  current_ = static_cast<int>(tables_.size()) - 1;
  return true;
}

void RecordStore::CloseTable(const std::string& name) {
  SetLastError(kOk);
  int i = name.empty() ? current_ : FindIndex(name);
  if (i < 0) return;
  tables_.erase(tables_.begin() + i);
  if (i == current_) {
    current_ = -1;
  } else if (i < current_) {
    --current_;
  }
}

void RecordStore::CloseAllTables() {
  SetLastError(kOk);
  tables_.clear();
  current_ = -1;
}

bool RecordStore::IsTableOpen(const std::string& path) {
  SetLastError(kOk);
  if (path.empty()) return false;
  const std::string full = ResolveTablePath(path);
  for (const auto& t : tables_)
    if (NamesEqual(t->full_path, full)) return true;
  return false;
}

bool RecordStore::SelectTable(const std::string& name) {
  SetLastError(kOk);
  int i = FindIndex(name);
  if (i < 0) return Fail(kErrTableNotOpen);
  current_ = i;
  return true;
}

std::string RecordStore::CurrentTableName() {
  auto* t = current();
  return t ? t->name : std::string();
}

int32_t RecordStore::RecordCount() {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return Fail(kErrNoCurrentTable), 0;
  ByteLock lock;
  int rc = lock.Take(&t->table, kCounterLockByte, kRecordCountWaitMs);
  if (rc != kOk) return Fail(rc), 0;
  int32_t count = 0;
  if ((rc = t->ReadCounts(&count, nullptr)) != kOk) return Fail(rc), 0;
  return count < 0 ? 0 : count;
}

int RecordStore::FieldCount() {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return Fail(kErrNoCurrentTable), 0;
  return static_cast<int>(t->fields.size());
}

std::string RecordStore::FieldName(const FieldRef& field) {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return Fail(kErrNoCurrentTable), std::string();
  int i = t->FieldIndex(field);
  return i >= 0 ? t->fields[size_t(i)].name : std::string();
}

std::optional<FieldDesc> RecordStore::FieldInfo(const FieldRef& field) {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return Fail(kErrNoCurrentTable), std::nullopt;
  int i = t->FieldIndex(field);
  if (i < 0) return std::nullopt;
  return t->fields[size_t(i)];
}

void RecordStore::GoFirst() {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return void(Fail(kErrNoCurrentTable));
  t->position = 0;
}

bool RecordStore::Skip(int64_t n) {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  if (n == 0) return true;
  int32_t count = 0;
  int rc = t->ReadCounts(&count, nullptr);
  if (rc != kOk) return Fail(rc);
  const int64_t big_n = std::max<int32_t>(count, 0);
  int64_t& p = t->position;
  if (n > 0 && (big_n == 0 || p >= big_n)) return Fail(kErrAfterLast);
  if (n < 0 && (big_n == 0 || p < 0)) return Fail(kErrBeforeFirst);
  int64_t q = p + n;
  if (n > 0 && (q < p || q > big_n)) q = big_n;  // q < p: the sum wrapped
  if (n < 0 && (q > p || q < -1)) q = -1;
  p = q;
  return true;
}

bool RecordStore::GoToRecord(int64_t n) {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  int32_t count = 0;
  int rc = t->ReadCounts(&count, nullptr);
  if (rc != kOk) return Fail(rc);
  if (count <= 0) {
    t->position = 0;
    return true;
  }
  t->position = std::clamp<int64_t>(n - 1, 0, count - 1);
  return true;
}

int64_t RecordStore::CurrentRecordNumber() {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return Fail(kErrNoCurrentTable), 0;
  return t->position + 1;
}

bool RecordStore::IsDeleted() {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  if (t->condition_record) {
    const auto& rec = *t->condition_record;
    return rec.size() >= kRecordIdSize && GetI32(rec.data()) < 0;
  }
  if (t->position < 0) return Fail(kErrNoCurrentRecord);
  ByteLock lock;
  int rc = lock.Take(&t->table, t->RecordOffset(t->position));
  if (rc != kOk) return Fail(rc);
  uint8_t id[kRecordIdSize];
  size_t got = 0;
  rc = t->table.Read(t->RecordOffset(t->position), id, sizeof id, &got);
  if (rc != kOk || got < sizeof id) return Fail(rc != kOk ? rc : kErrSeek);
  return GetI32(id) < 0;
}

Value RecordStore::ReadField(const FieldRef& field) {
  SetLastError(kOk);
  auto* t = current();
  if (!t) FatalRunError("未指定当前数据库或者指定数据库未打开"_gbk);
  const int fi = t->FieldIndex(field);
  if (fi < 0) FatalRunError("指定字段不存在"_gbk);
  const FieldDesc& f = t->fields[size_t(fi)];
  std::vector<uint8_t> bytes;
  if (t->condition_record) {
    const auto& rec = *t->condition_record;
    if (uint64_t(f.offset) + f.width > rec.size()) return Fail(kErrReadField), EmptyValue(f.type);
    bytes.assign(rec.data() + f.offset, rec.data() + f.offset + f.width);
  } else {
    if (t->position < 0) return Fail(kErrNoCurrentRecord), EmptyValue(f.type);
    ByteLock lock;
    int rc = lock.Take(&t->table, t->RecordOffset(t->position));
    if (rc != kOk) return Fail(rc), EmptyValue(f.type);
    // A declared width may reach far past the file (a Text field of up to
    // 2 GiB): the length tells whether the read can succeed before a buffer
    // of that width is made.
    // Only a wide field asks: a usual one is simply read.
    const uint64_t at = t->RecordOffset(t->position) + f.offset;
    if (f.width > kAskSizeAbove) {
      uint64_t size = 0;
      if ((rc = t->table.Size(&size)) != kOk) return Fail(rc), EmptyValue(f.type);
      if (at >= size) return Fail(kErrSeek), EmptyValue(f.type);
      if (size - at < f.width) return Fail(kErrReadField), EmptyValue(f.type);
    }
    bytes.resize(f.width);
    size_t got = 0;
    rc = t->table.Read(at, bytes.data(), bytes.size(), &got);
    if (rc != kOk || got == 0) return Fail(rc != kOk ? rc : kErrSeek), EmptyValue(f.type);
    if (got < bytes.size()) return Fail(kErrReadField), EmptyValue(f.type);
  }
  if (HasChain(f.type)) {
    if (!t->has_companion()) return Fail(kErrReadField), EmptyValue(f.type);
    std::string data;
    int rc = t->ReadChain(GetI32(bytes.data()), &data);
    if (rc != kOk) return Fail(rc), EmptyValue(f.type);
    if (f.type == FieldType::kBytes) return ByteString{std::move(data)};
    data.resize(strnlen(data.data(), data.size()));
    return data;
  }
  return DecodeField(f, bytes.data());
}

bool RecordStore::WriteField(const FieldRef& field, const OptValue& value, const std::string& name) {
  SetLastError(kOk);
  RecordTable* t = name.empty() ? current() : Find(name);
  if (!t) return Fail(kErrTableNotOpen);
  const int fi = t->FieldIndex(field);
  if (fi < 0) return Fail(kErrNoSuchField);
  const FieldDesc& f = t->fields[size_t(fi)];
  std::optional<Value> v = value ? ConvertForField(*value, f.type) : EmptyValue(f.type);
  if (!v) return Fail(kErrFieldTypeMismatch);
  if (t->position < 0) return Fail(kErrNoCurrentRecord);
  const uint64_t at = t->RecordOffset(t->position) + f.offset;
  ByteLock lock;
  int rc = lock.Take(&t->table, t->RecordOffset(t->position));
  if (rc != kOk) return Fail(rc);
  if (HasChain(f.type)) {
    uint8_t b[4];
    size_t got = 0;
    rc = t->table.Read(at, b, 4, &got);
    if (rc != kOk) return Fail(rc);
    if (got == 0) return Fail(kErrNoCurrentRecord);
    if (got < 4) return Fail(kErrReadField);
    const std::string& data = f.type == FieldType::kMemo ? std::get<std::string>(*v)
                                                          : std::get<ByteString>(*v).bytes;
    int32_t first = 0, free_after = 0;
    rc = t->WriteChain(data, GetI32(b), ChainReuse::kKeepFirst, &first, &free_after);
    if (rc != kOk) return Fail(rc);
    if (first != GetI32(b)) {
      PutI32(b, first);
      if ((rc = t->table.Write(at, b, 4)) != kOk) return Fail(kErrWriteField);
    }
    // The value is stored; should freeing the emptied chain fail, its blocks
    // only stay unused.
    t->FreeChains({free_after});
    return true;
  }
  uint64_t size = 0;
  if ((rc = t->table.Size(&size)) != kOk) return Fail(rc);
  if (at >= size) return Fail(kErrNoCurrentRecord);
  std::vector<uint8_t> bytes(f.width, 0);
  EncodeField(f, *v, bytes.data());
  if ((rc = t->table.Write(at, bytes.data(), bytes.size())) != kOk) return Fail(kErrWriteField);
  return true;
}

namespace {

// Converts every given value for its field first, so that a mismatch writes
// nothing. -72 on a mismatch; -47 for a value whose field does not lie
// within the record (the open does not check descriptor offsets, and the
// record is put together in a buffer of the record size).
int ConvertAll(const RecordTable& t, const std::vector<OptValue>& values,
               std::vector<std::optional<Value>>* out) {
  const size_t k = std::min(values.size(), t.fields.size());
  out->assign(k, std::nullopt);
  for (size_t i = 0; i < k; ++i) {
    if (!values[i]) continue;
    (*out)[i] = ConvertForField(*values[i], t.fields[i].type);
    if (!(*out)[i]) return kErrFieldTypeMismatch;
  }
  for (size_t i = 0; i < k; ++i) {
    if (values[i] && uint64_t(t.fields[i].offset) + t.fields[i].width > t.record_size)
      return kErrWriteField;
  }
  return kOk;
}

// Puts converted values into a record buffer; chains through WriteChain
// (fresh blocks always; the present chains, when `modify`, go into
// *free_after, to be freed once the record that named them is rewritten).
int FillRecord(RecordTable* t, const std::vector<std::optional<Value>>& values, bool modify,
               uint8_t* rec, std::vector<int32_t>* free_after) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (!values[i]) continue;
    const FieldDesc& f = t->fields[i];
    uint8_t* at = rec + f.offset;
    if (HasChain(f.type)) {
      const std::string& data = f.type == FieldType::kMemo ? std::get<std::string>(*values[i])
                                                            : std::get<ByteString>(*values[i]).bytes;
      int32_t first = 0, replaced = 0;
      int rc = t->WriteChain(data, modify ? GetI32(at) : 0, ChainReuse::kFresh, &first, &replaced);
      if (rc != kOk) return rc;
      PutI32(at, first);
      free_after->push_back(replaced);
    } else {
      EncodeField(f, *values[i], at, /*pad=*/false);
    }
  }
  return kOk;
}

}  // namespace

bool RecordStore::AddBlankRecord() { return AddRecord({}); }

bool RecordStore::AddRecord(const std::vector<OptValue>& values) {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  std::vector<std::optional<Value>> converted;
  int rc = ConvertAll(*t, values, &converted);
  if (rc != kOk) return Fail(rc);
  // A damaged header's record size may be too small for the RecordId.
  if (t->record_size < kRecordIdSize) return Fail(kErrWriteRecord);
  ByteLock counter, record;
  if ((rc = counter.Take(&t->table, kCounterLockByte)) != kOk) return Fail(rc);
  int32_t count = 0, next_id = 0;
  if ((rc = t->ReadCounts(&count, &next_id)) != kOk) return Fail(rc);
  count = std::max(count, 0);
  next_id = std::max(next_id, 1);
  // The last identifier is spent: a next id past it cannot be stored.
  if (next_id == std::numeric_limits<int32_t>::max() || count == std::numeric_limits<int32_t>::max())
    return Fail(kErrWriteRecord);
  const uint64_t slot = t->RecordOffset(count);
  if ((rc = record.Take(&t->table, slot)) != kOk) return Fail(rc);
  uint64_t size = 0;
  if ((rc = t->table.Size(&size)) != kOk) return Fail(rc);
  if (slot > size) return Fail(kErrSeek);
  std::vector<uint8_t> rec(t->record_size, 0);
  std::vector<int32_t> unused;  // a new record frees nothing
  if ((rc = FillRecord(t, converted, false, rec.data(), &unused)) != kOk) return Fail(rc);
  PutI32(rec.data(), next_id);
  if ((rc = t->table.Write(slot, rec.data(), rec.size())) != kOk) return Fail(kErrWriteRecord);
  if ((rc = t->WriteCounts(count + 1, next_id + 1)) != kOk) return Fail(rc);
  t->position = count;
  return true;
}

bool RecordStore::ModifyRecord(const std::vector<OptValue>& values) {
  SetLastError(kOk);
  auto* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  std::vector<std::optional<Value>> converted;
  int rc = ConvertAll(*t, values, &converted);
  if (rc != kOk) return Fail(rc);
  if (t->position < 0) return Fail(kErrNoCurrentRecord);
  if (t->record_size < kRecordIdSize) return Fail(kErrWriteRecord);
  const uint64_t at = t->RecordOffset(t->position);
  ByteLock record;
  if ((rc = record.Take(&t->table, at)) != kOk) return Fail(rc);
  std::vector<uint8_t> rec(t->record_size);
  size_t got = 0;
  if ((rc = t->table.Read(at, rec.data(), rec.size(), &got)) != kOk) return Fail(kErrReadRecord);
  if (got == 0) return Fail(kErrNoCurrentRecord);
  if (got < rec.size()) return Fail(kErrReadRecord);
  std::vector<int32_t> replaced;
  if ((rc = FillRecord(t, converted, true, rec.data(), &replaced)) != kOk) return Fail(rc);
  if ((rc = t->table.Write(at + kRecordIdSize, rec.data() + kRecordIdSize,
                           rec.size() - kRecordIdSize)) != kOk)
    return Fail(kErrWriteRecord);
  t->FreeChains(replaced);  // as in WriteField: at worst unused space
  return true;
}

bool RecordStore::IsProtected(const std::string& name_or_path) {
  SetLastError(kOk);
  if (auto* t = Find(name_or_path)) return t->protected_table();
  if (name_or_path.empty()) return false;
  std::unique_ptr<platform::File> f;
  const std::string path = ResolveTablePath(name_or_path);
  if (CurrentFileSystem()->Open(path, Access::kReadOnly, Sharing::kExclusive,
                                platform::Disposition::kOpenExisting, &f) != 0)
    return false;
  char magic[4];
  size_t got = 0;
  if (f->Read(0, magic, 4, &got) != 0 || got != 4) return false;
  return std::memcmp(magic, kProtectedMagic, 4) == 0;
}

}  // namespace tarvok::store
