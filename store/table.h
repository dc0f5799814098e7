// One open table: its files, keys, lock bookkeeping and the low-level record
// and chain access that the store's operations are built from. Internal to
// the store; callers use RecordStore.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "store/cipher.h"
#include "store/format.h"
#include "store/value.h"

namespace tarvok::store {

using platform::Access;
using platform::Sharing;

// One open file with its keys and its lock bookkeeping. Single-byte locks are
// counted: taking a byte again raises its count and it is unlocked when the
// count returns to zero. While the whole-file lock is held, single-byte locks
// are only counted. Results are store codes.
class LockedFile {
 public:
  std::unique_ptr<platform::File> file;
  std::shared_ptr<TableKey> read_key, write_key;
  bool use_locks = true;  // false for a table file opened deny-read or exclusive

  // Reads n bytes at offset and deciphers them; *got is the count read.
  int Read(uint64_t offset, void* buf, size_t n, size_t* got);
  // Reads exactly n bytes; a short read gives `short_code`.
  int ReadExact(uint64_t offset, void* buf, size_t n, int short_code);
  // Enciphers a copy and writes it.
  int Write(uint64_t offset, const void* buf, size_t n);
  int Size(uint64_t* size);
  int Truncate(uint64_t size);

  // Locks one byte, retrying for up to wait_ms.
  int LockByte(uint64_t offset, unsigned wait_ms = 0);
  void UnlockByte(uint64_t offset);
  // The whole lockable range minus the bytes this file already holds.
  int LockWhole();
  void UnlockWhole();
  // Locks [offset, offset + length) in one call for a run of records, when
  // none of its bytes is held singly (else -13 at once, so the caller can
  // go byte by byte). Uncounted: UnlockSpan releases it.
  int LockSpan(uint64_t offset, uint64_t length);
  void UnlockSpan(uint64_t offset, uint64_t length);
  // Releases every lock this file holds.
  void UnlockAll();
  bool holds_whole() const { return whole_count_ > 0; }

 private:
  int LockRange(uint64_t offset, uint64_t length, unsigned wait_ms);
  std::map<uint64_t, int> held_;     // locked bytes and their counts
  std::map<uint64_t, int> virtual_;  // counted while the whole lock is held
  int whole_count_ = 0;
  std::vector<std::pair<uint64_t, uint64_t>> whole_ranges_;
};

// Scoped single-byte lock on a LockedFile.
class ByteLock {
 public:
  ByteLock() = default;
  ~ByteLock() { Release(); }
  ByteLock(const ByteLock&) = delete;
  ByteLock& operator=(const ByteLock&) = delete;
  int Take(LockedFile* f, uint64_t offset, unsigned wait_ms = 0) {
    Release();
    int rc = f->LockByte(offset, wait_ms);
    if (rc == 0) {
      file_ = f;
      offset_ = offset;
    }
    return rc;
  }
  void Release() {
    if (file_ != nullptr) file_->UnlockByte(offset_);
    file_ = nullptr;
  }

 private:
  LockedFile* file_ = nullptr;
  uint64_t offset_ = 0;
};

// Scoped whole-file lock.
class WholeLock {
 public:
  WholeLock() = default;
  ~WholeLock() { Release(); }
  WholeLock(const WholeLock&) = delete;
  WholeLock& operator=(const WholeLock&) = delete;
  int Take(LockedFile* f) {
    Release();
    int rc = f->LockWhole();
    if (rc == 0) file_ = f;
    return rc;
  }
  void Release() {
    if (file_ != nullptr) file_->UnlockWhole();
    file_ = nullptr;
  }

 private:
  LockedFile* file_ = nullptr;
};

// Asks the user for a password: attempt 1..3 and the message line to show
// (empty at the first attempt). Returns nullopt when the user cancels.
using PasswordPromptFn =
    std::function<std::optional<std::string>(int attempt, const std::string& message_line)>;

struct OpenRequest {
  std::string path;  // as given by the caller
  std::string alias;
  Sharing sharing = Sharing::kShared;
  Access access = Access::kReadWrite;
  std::string password;
  bool prompt = false;  // ask through `prompt_fn` when the table is protected
  PasswordPromptFn prompt_fn;
};

// Companion blocks read ahead during a scan.
// Whether a rewritten value keeps its old first block (a single field
// written on its own) or takes fresh blocks throughout (a whole record,
// whose fields then all change in the record's one write).
enum class ChainReuse { kKeepFirst, kFresh };

struct ChainWindow {
  int32_t block_count = 0;
  uint64_t first = 0;  // first block in `bytes`
  std::vector<uint8_t> bytes;
};

class RecordTable {
 public:
  ~RecordTable();

  // Opens and validates a table (with the repairs at open). Store code.
  static int Open(const OpenRequest& request, std::unique_ptr<RecordTable>* out);

  std::string full_path, name, alias;
  Access access = Access::kReadWrite;
  Sharing sharing = Sharing::kShared;
  TableHeader header;
  std::vector<FieldDesc> fields;
  uint64_t data_start = 0;
  uint32_t record_size = 0;
  int64_t position = 0;
  LockedFile table;
  LockedFile companion;  // companion.file is null when the table has none
  std::string companion_path;
  // The record a condition runs on; ReadField reads from it while set.
  std::optional<std::vector<uint8_t>> condition_record;

  bool has_companion() const { return companion.file != nullptr; }
  bool protected_table() const { return table.read_key != nullptr; }
  uint64_t RecordOffset(int64_t k) const { return data_start + uint64_t(k) * record_size; }
  // 0-based index of a field, or -1.
  int FieldIndex(const FieldRef& ref) const;

  // Reads records [first, first + n) into buf, followed by zero bytes for
  // one RecordId, so that even a record smaller than one (a damaged record
  // size) has its RecordId inside the buffer. A short read gives -62.
  int ReadRecords(int64_t first, uint32_t n, std::vector<uint8_t>* buf);
  // Records per batch of a pass over the table (a 160 KiB buffer).
  uint32_t BatchRecords() const { return std::max<uint32_t>(1, 163840 / record_size); }

  // Reads record count and next id from the header (8 bytes at 0x10).
  int ReadCounts(int32_t* count, int32_t* next_id);
  int WriteCounts(int32_t count, int32_t next_id);

  // Chains in the companion file.
  int ReadChain(int32_t first, std::string* out);
  // Writes a value over the chain starting at old_first (0 for none); the
  // old value stays whole until the new one is. With kKeepFirst a value of
  // at least one byte keeps the old first block and takes its other blocks
  // afresh, and the value changes when that block is written. Otherwise
  // (and for an emptied value) every block is fresh and the value changes
  // when the record takes *new_first; the old chain is then returned in
  // *free_after, to be freed after that (0 when nothing is to be freed).
  int WriteChain(std::string_view data, int32_t old_first, ChainReuse reuse, int32_t* new_first,
                 int32_t* free_after);
  // Frees the chains of these first blocks, in order, under one header lock.
  int FreeChains(const std::vector<int32_t>& firsts);
  // Puts blocks that neither a value nor the free list holds (left by writes
  // stopped part-way) on the free list, and cuts bytes past the last block.
  // `firsts` are the first blocks of every value in the table; only while no
  // other opener can be writing a value (a pack holds the whole table). With
  // damage anywhere in the chains or the free list nothing is changed.
  int ReclaimUnusedBlocks(const std::vector<int32_t>& firsts);

  // While a scan holds the whole companion, chains are read through a
  // read-ahead window instead of block by block under block locks.
  std::optional<ChainWindow> window;

 private:
  struct HeaderSession;
  int FreeChainLocked(int32_t first, HeaderSession* session);
  int TrimTailLocked(HeaderSession* session, uint64_t blocks);
  // One block of the chain being read: through the window when a scan runs,
  // else under its block lock (kept in *lock until the next block).
  int ReadChainBlock(int32_t b, ByteLock* lock, uint8_t* block);
  int CompanionBlocks(uint64_t* blocks);
};

// Clears a table's condition record when an operation ends, whatever its
// outcome.
struct ConditionScope {
  RecordTable* t;
  ~ConditionScope() { t->condition_record.reset(); }
};

// Default extension, full path and the file on disk whatever the letter case
// of its extension.
std::string ResolveTablePath(const std::string& path);
// The companion of a table file: its extension replaced by "edt" in the
// letter case of the table's own extension, or an existing file whose name
// differs from that only in letter case.
std::string CompanionPathFor(const std::string& table_path);

// The undo journal kept beside a table file while a pack or a password change
// rewrites it.
std::string JournalPathFor(const std::string& table_path);

}  // namespace tarvok::store
