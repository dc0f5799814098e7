// Setting, changing and removing a table's password.
#include <cstring>

#include "store/journal.h"
#include "store/record_store.h"
#include "store/table.h"

namespace tarvok::store {

namespace {

constexpr size_t kCipherChunk = 10240;

// Re-enciphers bytes [4, end) of one file in place, chunk by chunk, reading
// under its read key and writing under `new_key`.
int Reencipher(LockedFile* f, const std::shared_ptr<TableKey>& new_key) {
  uint64_t size = 0;
  int rc = f->Size(&size);
  if (rc != kOk) return rc;
  f->write_key = new_key;
  std::vector<uint8_t> buf(kCipherChunk);
  for (uint64_t at = 4; at < size; at += kCipherChunk) {
    const size_t n = size_t(std::min<uint64_t>(kCipherChunk, size - at));
    if ((rc = f->ReadExact(at, buf.data(), n, kErrPasswordUpdate)) != kOk) return rc;
    if ((rc = f->Write(at, buf.data(), n)) != kOk) return rc;
  }
  f->read_key = new_key;
  return kOk;
}

}  // namespace

bool RecordStore::SetPassword(const std::string& password) {
  SetLastError(kOk);
  RecordTable* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  if (password == "?") return Fail(kErrBadPasswordText);
  WholeLock whole, whole_companion;
  int rc = whole.Take(&t->table);
  if (rc != kOk) return Fail(rc);
  if (t->has_companion() && (rc = whole_companion.Take(&t->companion)) != kOk) return Fail(rc);

  const std::shared_ptr<TableKey> old_key = t->table.read_key;
  std::shared_ptr<TableKey> new_key = MakeTableKey(password);
  const bool same = (!old_key && !new_key) || (old_key && new_key && old_key->SameAs(*new_key));

  // The files are saved whole in the undo journal first: whatever happens
  // from here on, an open finds them under the old password or the new one.
  const std::string journal_path = JournalPathFor(t->full_path);
  platform::File* comp_file = t->has_companion() ? t->companion.file.get() : nullptr;
  JournalWriter journal(journal_path, t->table.file.get(), comp_file);
  if (!same) {
    if ((rc = journal.Begin()) != kOk || (rc = journal.Save(0, 0, ~uint64_t{0})) != kOk ||
        (comp_file && (rc = journal.Save(1, 0, ~uint64_t{0})) != kOk) || (rc = journal.Commit()) != kOk)
      return Fail(kErrPasswordUpdate);
  }
  auto roll_back = [&] {
    RecoverJournal(journal_path, t->table.file.get(), comp_file, t->companion_path);
    t->table.read_key = t->table.write_key = old_key;
    t->companion.read_key = t->companion.write_key = old_key;
    return Fail(kErrPasswordUpdate);
  };

  if (!same) {
    if (Reencipher(&t->table, new_key) != kOk) return roll_back();
    if (t->has_companion() && Reencipher(&t->companion, new_key) != kOk) return roll_back();
  }
  uint8_t area[kVerifierAreaSize] = {};
  if (new_key) std::memcpy(area, new_key->verifier().data(), kVerifierLength);
  if (t->table.Write(0, new_key ? kProtectedMagic : kPlainMagic, 4) != kOk ||
      t->table.Write(kOffVerifier, area, sizeof area) != kOk) {
    if (!same) return roll_back();
    return Fail(kErrPasswordUpdate);
  }
  if (!same && journal.Finish() != kOk) return Fail(kErrPasswordUpdate);
  std::memcpy(t->header.magic, new_key ? kProtectedMagic : kPlainMagic, 4);
  t->header.verifier = new_key ? new_key->verifier() : std::string();
  return true;
}

}  // namespace tarvok::store
