#include "store/journal.h"

#include <cstring>
#include <vector>

#include "store/errors.h"
#include "store/format.h"

namespace tarvok::store {

using platform::CurrentFileSystem;

namespace {

constexpr char kMagic[8] = {'T', 'V', 'K', 'U', 'N', 'D', 'O', '1'};
constexpr uint64_t kNoFile = ~uint64_t{0};
constexpr uint32_t kEndMark = 0xFFFFFFFF;
constexpr size_t kCopyChunk = 1 << 16;
bool durable = true;

void Fnv(uint64_t* sum, const void* data, size_t n) {
  auto p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < n; ++i) {
    *sum ^= p[i];
    *sum *= 0x100000001b3ULL;
  }
}

void PutU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint64_t GetU64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= uint64_t(p[i]) << (8 * i);
  return v;
}

}  // namespace

void SetDurableJournals(bool on) { durable = on; }
bool DurableJournals() { return durable; }

JournalWriter::JournalWriter(std::string journal_path, platform::File* table,
                             platform::File* companion)
    : path_(std::move(journal_path)), temp_path_(path_ + "-new"), files_{table, companion} {}

JournalWriter::~JournalWriter() {
  if (out_ && !committed_) {
    out_.reset();
    CurrentFileSystem()->Remove(temp_path_);
  }
}

int JournalWriter::Append(const void* data, size_t n) {
  int err = out_->Write(written_, data, n);
  if (err != 0) return ErrnoToStoreError(err);
  Fnv(&sum_, data, n);
  written_ += n;
  return kOk;
}

int JournalWriter::Begin() {
  int err = CurrentFileSystem()->Open(temp_path_, platform::Access::kReadWrite,
                                      platform::Sharing::kExclusive,
                                      platform::Disposition::kCreateAlways, &out_);
  if (err != 0) return ErrnoToStoreError(err);
  uint8_t head[24];
  std::memcpy(head, kMagic, 8);
  for (int f = 0; f < 2; ++f) {
    uint64_t len = kNoFile;
    if (files_[f] != nullptr && (err = files_[f]->Size(&len)) != 0) return ErrnoToStoreError(err);
    PutU64(head + 8 + 8 * f, len);
  }
  return Append(head, sizeof head);
}

int JournalWriter::Save(int file, uint64_t offset, uint64_t length) {
  platform::File* f = files_[file];
  uint64_t size = 0;
  int err = f->Size(&size);
  if (err != 0) return ErrnoToStoreError(err);
  if (offset >= size) return kOk;
  length = std::min(length, size - offset);
  uint8_t head[20];
  PutI32(head, file);
  PutU64(head + 4, offset);
  PutU64(head + 12, length);
  int rc = Append(head, sizeof head);
  std::vector<uint8_t> buf(kCopyChunk);
  for (uint64_t done = 0; rc == kOk && done < length;) {
    size_t want = size_t(std::min<uint64_t>(kCopyChunk, length - done)), got = 0;
    if ((err = f->Read(offset + done, buf.data(), want, &got)) != 0) return ErrnoToStoreError(err);
    if (got != want) return kErrReadRecord;
    rc = Append(buf.data(), got);
    done += got;
  }
  return rc;
}

int JournalWriter::Commit() {
  // The sum covers everything before the end mark.
  uint8_t tail[12];
  PutI32(tail, int32_t(kEndMark));
  PutU64(tail + 4, sum_);
  int rc = ErrnoToStoreError(out_->Write(written_, tail, sizeof tail));
  auto* fs = CurrentFileSystem();
  if (rc == kOk && durable) rc = ErrnoToStoreError(out_->Sync());
  out_.reset();
  if (rc == kOk) rc = ErrnoToStoreError(fs->Rename(temp_path_, path_));
  if (rc != kOk) {
    fs->Remove(temp_path_);
    return rc;
  }
  committed_ = true;
  if (durable) fs->SyncDirectory(path_);
  return kOk;
}

int JournalWriter::Finish() {
  auto* fs = CurrentFileSystem();
  if (durable) {
    for (auto* f : files_) {
      if (f != nullptr && f->Sync() != 0) return kErrWriteRecord;
    }
  }
  int err = fs->Remove(path_);
  if (durable) fs->SyncDirectory(path_);
  return ErrnoToStoreError(err);
}

int RecoverJournal(const std::string& journal_path, platform::File* table,
                   platform::File* companion, const std::string& companion_path) {
  auto* fs = CurrentFileSystem();
  std::unique_ptr<platform::File> in;
  int err = fs->Open(journal_path, platform::Access::kReadOnly, platform::Sharing::kShared,
                     platform::Disposition::kOpenExisting, &in);
  if (err != 0) return ErrnoToStoreError(err);
  uint64_t size = 0;
  if (in->Size(&size) != 0 || size < 24 + 12) return kErrOpenFailed;
  std::vector<uint8_t> j(size);
  size_t got = 0;
  if (in->Read(0, j.data(), j.size(), &got) != 0 || got != j.size()) return kErrOpenFailed;
  in.reset();
  uint64_t body = 0xcbf29ce484222325ULL;
  Fnv(&body, j.data(), j.size() - 12);
  if (std::memcmp(j.data(), kMagic, 8) != 0 || GetI32(j.data() + j.size() - 12) != int32_t(kEndMark) ||
      GetU64(j.data() + j.size() - 8) != body)
    return kErrOpenFailed;

  std::unique_ptr<platform::File> comp;
  platform::File* files[2] = {table, nullptr};
  const uint64_t lengths[2] = {GetU64(j.data() + 8), GetU64(j.data() + 16)};
  if (lengths[1] != kNoFile && companion != nullptr) {
    files[1] = companion;
  } else if (lengths[1] != kNoFile) {
    err = fs->Open(companion_path, platform::Access::kReadWrite, platform::Sharing::kShared,
                   platform::Disposition::kOpenExisting, &comp);
    if (err != 0) return kErrCompanionRead;
    if ((err = comp->Lock(0, kWholeLockLength)) != 0) return kErrLockViolation;
    files[1] = comp.get();
  }
  for (size_t p = 24; p + 12 < j.size();) {
    if (p + 20 > j.size() - 12) return kErrOpenFailed;
    const int32_t file = GetI32(j.data() + p);
    const uint64_t offset = GetU64(j.data() + p + 4), length = GetU64(j.data() + p + 12);
    p += 20;
    if ((file != 0 && file != 1) || files[file] == nullptr || length > j.size() - 12 - p)
      return kErrOpenFailed;
    if ((err = files[file]->Write(offset, j.data() + p, size_t(length))) != 0)
      return ErrnoToStoreError(err);
    p += size_t(length);
  }
  for (int f = 0; f < 2; ++f) {
    if (files[f] == nullptr) continue;
    if ((err = files[f]->Truncate(lengths[f])) != 0) return ErrnoToStoreError(err);
    if (durable && (err = files[f]->Sync()) != 0) return ErrnoToStoreError(err);
  }
  if (comp) comp->Unlock(0, kWholeLockLength);
  err = fs->Remove(journal_path);
  if (durable) fs->SyncDirectory(journal_path);
  return ErrnoToStoreError(err);
}

}  // namespace tarvok::store
