#include "store/table.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

#include "platform/gbk.h"
#include "store/errors.h"
#include "store/journal.h"

namespace tarvok::store {

using platform::CurrentFileSystem;

// ---- LockedFile -------------------------------------------------------------

int LockedFile::Read(uint64_t offset, void* buf, size_t n, size_t* got) {
  int err = file->Read(offset, buf, n, got);
  if (err != 0) return ErrnoToStoreError(err);
  if (read_key) read_key->Apply(offset, static_cast<uint8_t*>(buf), *got);
  return kOk;
}

int LockedFile::ReadExact(uint64_t offset, void* buf, size_t n, int short_code) {
  size_t got = 0;
  int rc = Read(offset, buf, n, &got);
  if (rc != kOk) return short_code;
  return got == n ? kOk : short_code;
}

int LockedFile::Write(uint64_t offset, const void* buf, size_t n) {
  int err;
  if (write_key) {
    std::vector<uint8_t> copy(static_cast<const uint8_t*>(buf), static_cast<const uint8_t*>(buf) + n);
    write_key->Apply(offset, copy.data(), n);
    err = file->Write(offset, copy.data(), n);
  } else {
    err = file->Write(offset, buf, n);
  }
  return ErrnoToStoreError(err);
}

int LockedFile::Size(uint64_t* size) { return ErrnoToStoreError(file->Size(size)); }
int LockedFile::Truncate(uint64_t size) { return ErrnoToStoreError(file->Truncate(size)); }

int LockedFile::LockRange(uint64_t offset, uint64_t length, unsigned wait_ms) {
  auto* fs = CurrentFileSystem();
  const uint64_t start = wait_ms ? fs->TickCount() : 0;
  for (;;) {
    int err = file->Lock(offset, length);
    if (err == 0) return kOk;
    if (err != EAGAIN && err != EACCES) return kErrLockFailed;
    if (wait_ms == 0 || fs->TickCount() - start >= wait_ms) return kErrLockViolation;
    fs->SleepMs(20 + static_cast<unsigned>(fs->TickCount() % 20));
  }
}

int LockedFile::LockByte(uint64_t offset, unsigned wait_ms) {
  if (!use_locks) return kOk;
  if (whole_count_ > 0) {
    ++virtual_[offset];
    return kOk;
  }
  auto it = held_.find(offset);
  if (it != held_.end()) {
    ++it->second;
    return kOk;
  }
  int rc = LockRange(offset, 1, wait_ms);
  if (rc == kOk) held_[offset] = 1;
  return rc;
}

void LockedFile::UnlockByte(uint64_t offset) {
  if (!use_locks) return;
  auto v = virtual_.find(offset);
  if (v != virtual_.end()) {
    if (--v->second == 0) virtual_.erase(v);
    return;
  }
  auto it = held_.find(offset);
  if (it == held_.end()) return;
  if (--it->second == 0) {
    file->Unlock(offset, 1);
    held_.erase(it);
  }
}

int LockedFile::LockWhole() {
  if (!use_locks) return kOk;
  if (whole_count_ > 0) {
    ++whole_count_;
    return kOk;
  }
  // The gaps between the bytes already held: locking over them would merge
  // with (and a later unlock would drop) those single-byte locks.
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  uint64_t from = 0;
  for (const auto& [byte, count] : held_) {
    if (byte >= kWholeLockLength) break;
    if (byte > from) ranges.emplace_back(from, byte - from);
    from = byte + 1;
  }
  if (from < kWholeLockLength) ranges.emplace_back(from, kWholeLockLength - from);
  for (size_t i = 0; i < ranges.size(); ++i) {
    int rc = LockRange(ranges[i].first, ranges[i].second, 0);
    if (rc != kOk) {
      for (size_t k = 0; k < i; ++k) file->Unlock(ranges[k].first, ranges[k].second);
      return rc;
    }
  }
  whole_ranges_ = std::move(ranges);
  whole_count_ = 1;
  return kOk;
}

void LockedFile::UnlockWhole() {
  if (!use_locks || whole_count_ == 0) return;
  if (--whole_count_ > 0) return;
  for (const auto& [offset, length] : whole_ranges_) file->Unlock(offset, length);
  whole_ranges_.clear();
  virtual_.clear();
}

int LockedFile::LockSpan(uint64_t offset, uint64_t length) {
  if (!use_locks || whole_count_ > 0) return kOk;
  auto it = held_.lower_bound(offset);
  if (it != held_.end() && it->first < offset + length) return kErrLockViolation;
  return LockRange(offset, length, 0);
}

void LockedFile::UnlockSpan(uint64_t offset, uint64_t length) {
  if (!use_locks || whole_count_ > 0) return;
  file->Unlock(offset, length);
}

void LockedFile::UnlockAll() {
  if (!file) return;
  if (whole_count_ > 0) {
    whole_count_ = 1;
    UnlockWhole();
  }
  for (const auto& [byte, count] : held_) file->Unlock(byte, 1);
  held_.clear();
  virtual_.clear();
}

// ---- paths ------------------------------------------------------------------

namespace {

std::string DirOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string BaseOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An existing file whose name equals `path`'s, or differs only in ASCII
// letter case; else `path` itself.
std::string FindCaseVariant(const std::string& path) {
  auto* fs = CurrentFileSystem();
  if (fs->Exists(path)) return path;
  const std::string base = BaseOf(path);
  for (const auto& entry : fs->List(DirOf(path))) {
    if (NamesEqual(entry, base)) {
      std::string dir = DirOf(path);
      return (dir == "/" ? dir : dir + "/") + entry;
    }
  }
  return path;
}

bool IsLowerExtension(const std::string& path) {
  size_t start = path.find_last_of('/');
  start = start == std::string::npos ? 0 : start + 1;
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < start) return false;
  bool lower = false;
  for (size_t i = dot + 1; i < path.size(); ++i) {
    if (path[i] >= 'A' && path[i] <= 'Z') return false;
    if (path[i] >= 'a' && path[i] <= 'z') lower = true;
  }
  return lower;
}

}  // namespace

std::string ResolveTablePath(const std::string& path) {
  return FindCaseVariant(CurrentFileSystem()->FullPath(WithDefaultExtension(path)));
}

std::string CompanionPathFor(const std::string& table_path) {
  return FindCaseVariant(ReplaceExtension(table_path, IsLowerExtension(table_path) ? "edt" : "EDT"));
}

std::string JournalPathFor(const std::string& table_path) { return table_path + "-undo"; }

// ---- RecordTable ------------------------------------------------------------

RecordTable::~RecordTable() {
  companion.UnlockAll();
  table.UnlockAll();
}

int RecordTable::FieldIndex(const FieldRef& ref) const {
  if (!ref.by_name()) {
    int p = ref.position();
    return p >= 1 && p <= static_cast<int>(fields.size()) ? p - 1 : -1;
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    if (NamesEqual(fields[i].name, ref.name())) return static_cast<int>(i);
  }
  return -1;
}

int RecordTable::ReadRecords(int64_t first, uint32_t n, std::vector<uint8_t>* buf) {
  const size_t bytes = size_t(n) * record_size;
  buf->assign(bytes + kRecordIdSize, 0);
  return table.ReadExact(RecordOffset(first), buf->data(), bytes, kErrReadRecord);
}

int RecordTable::ReadCounts(int32_t* count, int32_t* next_id) {
  uint8_t b[8];
  int rc = table.ReadExact(kOffRecordCount, b, sizeof b, kErrRecordCount);
  if (rc != kOk) return rc;
  *count = GetI32(b);
  if (next_id) *next_id = GetI32(b + 4);
  return kOk;
}

int RecordTable::WriteCounts(int32_t count, int32_t next_id) {
  uint8_t b[8];
  PutI32(b, count);
  PutI32(b + 4, next_id);
  return table.Write(kOffRecordCount, b, sizeof b);
}

namespace {

int OpenFile(const std::string& path, Access access, Sharing sharing,
             std::unique_ptr<platform::File>* out) {
  return ErrnoToStoreError(CurrentFileSystem()->Open(path, access, sharing,
                                                     platform::Disposition::kOpenExisting, out));
}

// Reads and checks the 112-byte header under `key`: -22 for a foreign or
// short file, -78 for a password that does not fit.
int ReadHeader(LockedFile* f, const std::shared_ptr<TableKey>& key, TableHeader* h) {
  f->read_key = f->write_key = key;
  uint8_t b[kHeaderSize];
  if (f->ReadExact(0, b, sizeof b, kErrNotATable) != kOk) return kErrNotATable;
  *h = DecodeTableHeader(b);
  if (std::memcmp(h->magic, kPlainMagic, 4) == 0) {
    if (key) return kErrWrongPassword;
  } else if (std::memcmp(h->magic, kProtectedMagic, 4) == 0) {
    std::string stored(reinterpret_cast<const char*>(b + kOffVerifier), kVerifierLength);
    if (!key || !VerifiersMatch(stored, key->verifier())) return kErrWrongPassword;
  } else {
    return kErrNotATable;
  }
  return kOk;
}

}  // namespace

int RecordTable::Open(const OpenRequest& req, std::unique_ptr<RecordTable>* out) {
  auto t = std::unique_ptr<RecordTable>(new RecordTable());
  t->full_path = ResolveTablePath(req.path);
  t->name = TableNameOf(t->full_path);
  t->alias = req.alias;
  t->access = req.access;
  t->sharing = req.sharing;
  t->table.use_locks = req.sharing == Sharing::kShared || req.sharing == Sharing::kDenyWrite;
  const bool read_only = req.access == Access::kReadOnly;

  int rc = OpenFile(t->full_path, req.access, req.sharing, &t->table.file);
  if (rc != kOk) return rc;
  WholeLock open_lock;
  if ((rc = open_lock.Take(&t->table)) != kOk) return rc;

  // A pack or password change that was cut off leaves its journal behind:
  // put the files back as they were before it started.
  const std::string journal = JournalPathFor(t->full_path);
  if (CurrentFileSystem()->Exists(journal)) {
    if (read_only) return kErrOpenFailed;
    if ((rc = RecoverJournal(journal, t->table.file.get(), nullptr, CompanionPathFor(t->full_path))) != kOk)
      return rc;
  }

  // 1-2: header, magic and password.
  TableHeader& h = t->header;
  if (!req.prompt) {
    if ((rc = ReadHeader(&t->table, MakeTableKey(req.password), &h)) != kOk) return rc;
  } else {
    rc = ReadHeader(&t->table, nullptr, &h);
    if (rc == kErrWrongPassword) {
      static const std::string kRetry = "密码错误，您还有 %d 次重新输入的机会。"_gbk;
      for (int attempt = 1; attempt <= 3 && rc == kErrWrongPassword; ++attempt) {
        std::string line;
        if (attempt > 1) {
          line = kRetry;
          line.replace(line.find("%d"), 2, std::to_string(4 - attempt));
        }
        std::optional<std::string> typed =
            req.prompt_fn ? req.prompt_fn(attempt, line) : std::nullopt;
        if (!typed) break;
        if (typed->empty()) continue;
        rc = ReadHeader(&t->table, MakeTableKey(*typed), &h);
        std::fill(typed->begin(), typed->end(), ' ');
      }
    }
    if (rc != kOk) return rc;
  }

  // 3: counts and version.
  if (h.record_size < 1 || h.record_count < 0 || h.next_id < 1) return kErrNotATable;
  if (h.version > kFormatVersion) return kErrVersionTooNew;

  // 4-5: field list.
  uint64_t length = 0;
  if ((rc = t->table.Size(&length)) != kOk) return rc;
  uint8_t nb[4];
  if (t->table.ReadExact(kOffFieldCount, nb, 4, kErrNotATable) != kOk) return kErrNotATable;
  const int32_t n = GetI32(nb);
  if (n < 1) return kErrNotATable;
  const uint64_t desc_bytes = uint64_t(kDescriptorSize) * uint64_t(n);
  if (kOffDescriptors + desc_bytes > length) return kErrNotATable;
  std::vector<uint8_t> desc(desc_bytes);
  if (t->table.ReadExact(kOffDescriptors, desc.data(), desc.size(), kErrNotATable) != kOk)
    return kErrNotATable;
  t->fields.resize(static_cast<size_t>(n));
  bool chained = false;
  for (int32_t i = 0; i < n; ++i) {
    if (!DecodeDescriptor(desc.data() + kDescriptorSize * uint64_t(i), &t->fields[size_t(i)]))
      return kErrNotATable;
    chained = chained || HasChain(t->fields[size_t(i)].type);
  }
  t->data_start = kOffDescriptors + desc_bytes;
  t->record_size = static_cast<uint32_t>(h.record_size);

  // 6: record count against the file length.
  const uint64_t slots = (length - t->data_start) / t->record_size;
  if (slots < uint64_t(h.record_count)) {
    if (read_only) return kErrFileSize;
    h.record_count = static_cast<int32_t>(slots);
    uint8_t c[4];
    PutI32(c, h.record_count);
    if ((rc = t->table.Write(kOffRecordCount, c, 4)) != kOk) return rc;
  }
  if (!read_only) {
    const uint64_t want = t->data_start + uint64_t(h.record_count) * t->record_size;
    if (want != length && (rc = t->table.Truncate(want)) != kOk) return rc;
  }

  // 7: companion file.
  if (chained) {
    t->companion_path = CompanionPathFor(t->full_path);
    if (OpenFile(t->companion_path, req.access, req.sharing, &t->companion.file) != kOk) {
      t->companion.file.reset();
      return kErrCompanionRead;
    }
    t->companion.read_key = t->companion.write_key = t->table.read_key;
    WholeLock comp_lock;
    if ((rc = comp_lock.Take(&t->companion)) != kOk) return rc;
    uint8_t cb[kCompanionHeaderSize];
    if (t->companion.ReadExact(0, cb, sizeof cb, kErrCompanionRead) != kOk) return kErrCompanionRead;
    CompanionHeader ch = DecodeCompanionHeader(cb);
    if (std::memcmp(ch.magic, kCompanionMagic, 4) != 0 || ch.block_count < 1 || ch.free_count < 0 ||
        ch.free_count >= ch.block_count || ch.first_free < 0 || ch.first_free >= ch.block_count)
      return kErrCompanionRead;
    if (ch.version != h.version) return kErrCompanionVersion;
    uint64_t clen = 0;
    if ((rc = t->companion.Size(&clen)) != kOk) return rc;
    const uint64_t present = clen / kBlockSize;
    if (present < uint64_t(ch.block_count)) {
      if (read_only) return kErrCompanionDamaged;
      // Block 0 is the header itself, so at least one block always counts.
      uint8_t c[4];
      PutI32(c, static_cast<int32_t>(std::max<uint64_t>(present, 1)));
      if ((rc = t->companion.Write(kOffBlockCount, c, 4)) != kOk) return rc;
    }
  }

  t->position = 0;
  *out = std::move(t);
  return kOk;
}

}  // namespace tarvok::store
