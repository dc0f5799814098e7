// The undo journal of a rewrite in place.
//
// Before a pack or a password change rewrites a table's files, the bytes it
// is about to change are copied, as they lie on disk, into a journal beside
// the table file. The journal is written under a temporary name and renamed
// into place only when complete (and synced), so it either exists whole or
// not at all. Once the rewrite is done it is removed. An open that finds a
// journal puts its bytes back and cuts both files to their recorded lengths:
// the table is then exactly as before the interrupted operation.
//
// Layout: "TVKUNDO1", table length (u64), companion length (u64, all ones
// when none), then extents {file u32 (0 table, 1 companion), offset u64,
// length u64, bytes}, then u32 0xFFFFFFFF and an FNV-1a 64 sum of all bytes
// before it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file.h"

namespace tarvok::store {

class JournalWriter {
 public:
  JournalWriter(std::string journal_path, platform::File* table, platform::File* companion);
  ~JournalWriter();

  // Creates the temporary file and records both files' lengths. Store code.
  int Begin();
  // Copies the raw bytes [offset, offset + length) of file 0 or 1, clipped to
  // its length.
  int Save(int file, uint64_t offset, uint64_t length);
  // Seals the journal and makes it the live one.
  int Commit();
  // Removes the live journal once the rewrite is complete.
  int Finish();

 private:
  int Append(const void* data, size_t n);

  std::string path_, temp_path_;
  platform::File* files_[2];
  std::unique_ptr<platform::File> out_;
  uint64_t written_ = 0;
  uint64_t sum_ = 0xcbf29ce484222325ULL;
  bool committed_ = false;
};

// Durability of journals: when on (the default) a journal is synced before
// the rewrite starts and the files after it ends, so that a power cut keeps
// the table readable too; a process that is killed needs no sync.
void SetDurableJournals(bool on);
bool DurableJournals();

// Puts the bytes of a live journal back. `table` is open read/write; the
// companion, when the journal names one, is `companion` or else opened by
// path. Store code; a journal that fails its sum is left in place and the
// open fails with -21.
int RecoverJournal(const std::string& journal_path, platform::File* table,
                   platform::File* companion, const std::string& companion_path);

}  // namespace tarvok::store
