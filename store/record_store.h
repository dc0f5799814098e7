// The record store: the process-wide list of open tables, one current table,
// and a record position in each table.
//
// Almost every operation works on the current record of the current table. A
// handler makes a table current by its name (SelectTable), moves the position
// (GoFirst, Skip, GoToRecord, FindRecord) and reads or writes fields there.
//
// Conventions, for every operation unless its comment says otherwise:
// - It returns true on success and false on failure (or returns its value),
//   and leaves its code in LastError() (store/errors.h): 0 first, the
//   negative StoreError code when it fails.
// - An operation on the current table fails with -67 when there is none;
//   positions of other tables never change.
// - A failure changes nothing that the failing step had not yet written;
//   the files stay as readable as they were.
// - Nothing is cached between operations except each table's header and
//   field list as read at open; record counts are read from the file each
//   time, so records appended by another opener are seen at once.
//
// Positions: p runs from -1 (before the first record) to the record count
// (after the last); record number = p + 1. A table's position is 0 after open.
//
// Names of tables and fields compare without regard to ASCII letter case.
// Texts and paths are GBK bytes.
//
// Not thread-safe: one thread uses the store; LastError is per thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "store/errors.h"
#include "store/format.h"
#include "store/value.h"

namespace tarvok::store {

class RecordTable;

using platform::Access;
using platform::Sharing;

// A predicate evaluated on one record at a time; inside it ReadField on the
// table reads the record being tested (the condition record).
using RecordCondition = std::function<bool()>;

// The text of a fatal misuse is shown by this hook (the user interface puts an
// error box "错误" here); when it returns the process ends with -1. The
// default prints the text on stderr.
using FatalRunErrorHook = std::function<void(const std::string& text)>;
void SetFatalRunErrorHook(FatalRunErrorHook hook);
// Shows "运行时出错!\r\n\r\n错误信息：<message>\r\n" through the hook and ends
// the process with exit code -1.
[[noreturn]] void FatalRunError(const std::string& message);

// The password prompt of OpenTable's "?" mode: attempt 1..3 and the message
// line (empty first, then "密码错误，您还有 %d 次重新输入的机会。" with 2 and 1).
// Returns the typed text, or nullopt when the user cancels. Without a hook
// every prompt counts as cancelled.
using PasswordPromptHook =
    std::function<std::optional<std::string>(int attempt, const std::string& message_line)>;
void SetPasswordPromptHook(PasswordPromptHook hook);

struct OpenOptions {
  std::string alias;  // empty = none
  Sharing sharing = Sharing::kShared;
  Access access = Access::kReadWrite;
  std::string password;  // empty = plain table; "?" asks the user
};

class RecordStore {
 public:
  RecordStore();
  ~RecordStore();
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // ---- table list ----

  // Opens a table, appends it to the list and makes it current (position 0).
  // A path without extension gets ".EDB". Fails with -38 when the same full
  // path is already open, -24 for an invalid alias, file errors (-3, -6,
  // -12 ...), format errors (-22, -23, -48, -35, -36, -37, -78), -13. A
  // failed open leaves the list and the current table as they were.
  bool OpenTable(const std::string& path, const OpenOptions& options = {});
  // Closes the named table (none = the current one). An unknown name does
  // nothing. Closing the current table leaves no table current.
  void CloseTable(const std::string& name = {});
  void CloseAllTables();
  // Whether a table of this path (after the default extension) is open.
  bool IsTableOpen(const std::string& path);
  // Matches aliases, then names, then full paths, each from the most
  // recently opened table back; -66 when nothing matches.
  bool SelectTable(const std::string& name);

  // ---- the current table ----

  // Record slots, deleted ones included, read from the file; the counter
  // lock is retried for up to 2000 ms. 0 on failure (-65, -13).
  int32_t RecordCount();
  int FieldCount();
  std::string FieldName(const FieldRef& field);
  // The field's type, or nullopt when it does not exist.
  std::optional<FieldDesc> FieldInfo(const FieldRef& field);
  std::string CurrentTableName();

  void GoFirst();
  // Moves by n: forward past the last record stops after it, backward past
  // the first stops before it; from there a further move fails (-26, -25).
  bool Skip(int64_t n = 1);
  // position := n - 1, clamped to the records (0 when empty).
  bool GoToRecord(int64_t n);
  // position + 1; 0 when there is no current table.
  int64_t CurrentRecordNumber();

  // The field's value in the current record; on failure (-60, -10, -46,
  // -59, lock errors) the empty value of the field's kind. No current table
  // or no such field ends the program (FatalRunError).
  Value ReadField(const FieldRef& field);
  // Whether the record at the position (inside a condition: the condition
  // record) is marked deleted. False without a current table or record, or
  // when its RecordId cannot be read (LastError tells those apart).
  bool IsDeleted();
  // Writes one field of the record at the position of the named table (or
  // of the current one). No value writes the empty value. -66, -61, -72,
  // -60, -46, -47, lock errors.
  bool WriteField(const FieldRef& field, const OptValue& value = std::nullopt,
                  const std::string& table = {});
  // Appends a record of zero bytes and makes it the position.
  bool AddBlankRecord();
  // Appends a record whose first values.size() fields take the values
  // (absent ones stay empty; values beyond the field count are ignored).
  bool AddRecord(const std::vector<OptValue>& values);
  // Rewrites the given fields of the record at the position.
  bool ModifyRecord(const std::vector<OptValue>& values);

  // The open table of that name is protected, or else the file at that path
  // starts with "WCDB"; false when it cannot be read.
  bool IsProtected(const std::string& name_or_path);

  // ---- search and maintenance ----

  // Without a condition marks the record at the position deleted; with one,
  // every record for which it holds. The position does not change.
  bool DeleteRecord(const RecordCondition& condition = nullptr);
  // Removes every deleted record physically; position 0 on success.
  bool Pack();
  // From the position on, the first record for which the condition holds
  // becomes the position. False with LastError 0 when none does.
  bool FindRecord(const RecordCondition& condition);
  // Visits every record slot from the first, deleted ones included: `visit`
  // runs with the record as the condition record (ReadField reads it) and
  // the position at it, and returns false to stop. The whole table and its
  // companion are locked meanwhile and read in large batches, so a pass
  // over every memo costs a few system calls per batch, not per record.
  // The position returns to where it was. `visit` must not write to the
  // table. -65, -62, -59, lock errors.
  bool ScanRecords(const std::function<bool()>& visit);
  // Creates an empty table with the named fields of the current table (all
  // when none is given or none matches), protected with the same key. The
  // new table is not opened.
  bool CopyStructure(const std::string& path, const std::vector<std::string>& fields = {});
  // Appends the records of the named open table (those passing the
  // condition) to the current table, pairing fields by name and type.
  bool AppendFrom(const std::string& source, const RecordCondition& condition = nullptr,
                  const std::vector<std::string>& fields = {});

  // ---- protection ----

  // Re-enciphers the current table's files under a new password (empty =
  // remove protection). -80 for "?", -79 when rewriting fails; a failure or
  // a crash at any moment leaves the files readable under the old or the
  // new password.
  bool SetPassword(const std::string& password);

  // The current table itself, for the store's own tools; null when none.
  RecordTable* current();
  // The table matching a name as SelectTable does, or null.
  RecordTable* Find(const std::string& name);

 private:
  int FindIndex(const std::string& name) const;
  bool Fail(int code);

  std::vector<std::unique_ptr<RecordTable>> tables_;
  int current_ = -1;
};

}  // namespace tarvok::store
