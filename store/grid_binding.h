// Record files shown as tables: the part of the grid units that needs no Qt.
//
// A DatabaseProvider opens one table file with a RecordStore of its own, so
// the table is never in the organiser's table list, never current there and
// keeps a position of its own; every read and write goes through the store's
// operations and their byte-range locks. A DataSource names a provider and
// keeps what its grids share: the row count as read at the last reload, the
// current row, column widths, cell colours and what the user may change.
// Grids observe their data source (DataSourceObserver) and read the cells
// they show, and only those, on demand.
//
// Rows count from 0 and are record slots, deleted records included; columns
// count from 0 and are the provider's columns (one per field in field order,
// Bytes fields only in byte-string modes 1 and 2). Texts and paths are GBK.
//
// Cells as text, by field type:
//   Byte, Int16, Int32, Int64  decimal, "-" when negative. Typed: the leading
//          decimal integer (after the full-width forms become ASCII: blanks,
//          a sign, digits up to the first other character; 0 when there is
//          none), clamped to the field type's range, so a too-large number
//          stores the largest value the field holds, never a wrapped one.
//   Float32 "%.6g", Float64 "%.13g" (C locale). Typed: the leading decimal
//          number as TextToNumber reads it, clamped to the largest finite
//          value of the type.
//   Logical "真" / "假". Typed: true when the text is one of "1", "真",
//          "true", "t", "zheng", "zhen", "zeng", "zen", "z" (ASCII letters in
//          any case), else false.
//   DateTime DateToText's full form; the smallest date (-657434, also what
//          an unreadable typed text becomes through TextToDate) is an empty
//          cell.
//   Text, Memo the text; a typed Text longer than the field is cut at the
//          last whole character that fits, never inside a double-byte one.
//   Bytes  mode 1: two upper-case hex digits per byte; typed hex digits
//          (ASCII blanks ignored) give the bytes, other text is refused.
//          Mode 2: the bytes themselves, typed text stored as it is.
//   CodeRef empty, and not changeable.
// A cell whose read fails is empty. Typing the text a cell already shows
// writes nothing, so confirming an unchanged cell never rounds a number, a
// time of day or an undecodable byte away.
//
// The provider's operations leave store::LastError() as the caller had it
// (grids read cells while repainting, between any two steps of a handler);
// their own outcome is in last_error().
//
// Not thread-safe, like the store.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/format.h"
#include "store/record_store.h"

namespace tarvok::store {

class DataSource;

// Byte-string modes of a provider.
inline constexpr int kBytesHidden = 0;  // Bytes fields get no column
inline constexpr int kBytesAsHex = 1;
inline constexpr int kBytesAsText = 2;

// One column of a provider: a field of its table.
struct GridColumn {
  int field = 0;  // 1-based field number in the table
  FieldDesc desc;
  int default_chars = 0;  // DefaultColumnChars(desc)
};

// The default width of a field's column in characters: Int16 7, Int32 11,
// Int64 and Float64 16, Float32 10, Logical 3, DateTime 26, Text its width,
// Memo 40, other types 4; raised to the name's length in bytes + 1 when that
// is larger, but then to no more than 100. A grid shows a column of n
// characters n * (advance of "W" in its font + 1) + 27 pixels wide.
int DefaultColumnChars(const FieldDesc& field);

class DatabaseProvider {
 public:
  DatabaseProvider();
  // Connected data sources lose their provider and show no rows.
  ~DatabaseProvider();
  DatabaseProvider(const DatabaseProvider&) = delete;
  DatabaseProvider& operator=(const DatabaseProvider&) = delete;

  // Each sets its property and reloads, also when the value is unchanged.
  // Both return whether a table is open afterwards.
  bool SetFile(std::string gbk_path);
  bool SetPassword(std::string gbk_password);
  const std::string& file() const { return file_; }

  // kBytesHidden (also for any value but 1 and 2), kBytesAsHex or
  // kBytesAsText. A change rebuilds the columns of an open table and resets
  // the connected sources; the table stays open.
  void SetBytesMode(int mode);
  int bytes_mode() const { return bytes_mode_; }

  // Closes the table; with a file set opens it again (shared, read/write,
  // with the password) and builds the columns; then resets every connected
  // data source, whether the open succeeded or not. A password of "?" is
  // refused (-80): no table, and nobody is asked for a password. A failed
  // open keeps no table and no columns; last_error() tells why.
  bool Reload();

  bool has_table() const { return has_table_; }
  const std::vector<GridColumn>& columns() const { return columns_; }
  // The code of the last operation: 0, or the store's negative code.
  int last_error() const { return last_error_; }

  // The table's record slots as the file says now; 0 without a table.
  int32_t RowCount();
  // The cell as text (see above); empty for a row or column that does not
  // exist or a read that fails.
  std::string CellText(int32_t row, int column);
  // Writes the typed text into the cell; false when the cell does not exist,
  // is a CodeRef, the text is refused or the write fails. Connected sources
  // hear of a change.
  bool SetCellText(int32_t row, int column, std::string_view gbk_text);
  // Appends `count` blank records; `at` must be the row count (rows are
  // added at the end only). False when it is not or an append fails; rows
  // appended before a failure stay and the sources hear of them.
  bool AppendRows(int32_t at, int32_t count);
  // Removes rows first .. first + count - 1 from the file at once: no
  // deletion mark stays, the records behind move down, their memo chains are
  // freed and the file is cut (other slots already marked deleted go with
  // them, as packing removes every such slot). The whole table is locked
  // meanwhile; a failure leaves the records as they were. When only freeing
  // the removed records' chains fails, the removal stands and counts as
  // done (the blocks stay unused; last_error() has the code). The position
  // is 0 afterwards.
  bool DeleteRows(int32_t first, int32_t count);

 private:
  friend class DataSource;

  void Attach(DataSource* source);
  void Detach(DataSource* source);
  void BuildColumns();
  void ResetSources();
  // The column, with the position set to `row` for a field access; nullptr
  // without a table, or for a row or column that does not exist.
  const GridColumn* Cell(int32_t row, int column);
  bool Fail(int code);

  RecordStore store_;
  std::string file_;
  std::string password_;
  int bytes_mode_ = kBytesHidden;
  bool has_table_ = false;
  int last_error_ = 0;
  std::vector<GridColumn> columns_;
  std::vector<DataSource*> sources_;
};

// What a data source's grids hear. Each call comes after the change; a
// grid that mirrors the row count updates its copy in the call.
class DataSourceObserver {
 public:
  virtual ~DataSourceObserver() = default;
  // Rows, columns, widths and colours all replaced (a reload, another
  // provider, or a new column list).
  virtual void SourceReset() = 0;
  virtual void RowsInserted(int32_t first, int32_t count) = 0;
  virtual void RowsRemoved(int32_t first, int32_t count) = 0;
  // The cell's text or colour changed.
  virtual void CellChanged(int32_t row, int column) = 0;
  virtual void CurrentRowChanged(int32_t row) = 0;
  virtual void ColumnWidthsChanged() = 0;
  // The data source is being destroyed; it is not to be used any more.
  virtual void SourceDestroyed() = 0;
};

// The outcome of Insert and Delete: done, not allowed (read-only, or the
// permission is off: nothing happens and nothing is to be shown), or failed
// (the user is told).
enum class EditOutcome { kDone, kNotAllowed, kFailed };

class DataSource {
 public:
  DataSource();
  // Observers hear SourceDestroyed.
  ~DataSource();
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;

  // Connects to a provider (nullptr: none) and reloads from it.
  void SetProvider(DatabaseProvider* provider);
  DatabaseProvider* provider() const { return provider_; }

  // Read-only (the default) forbids cell changes, Insert and Delete.
  bool read_only() const { return read_only_; }
  void SetReadOnly(bool on) { read_only_ = on; }
  bool insert_allowed() const { return insert_allowed_; }
  void SetInsertAllowed(bool on) { insert_allowed_ = on; }
  bool delete_allowed() const { return delete_allowed_; }
  void SetDeleteAllowed(bool on) { delete_allowed_ = on; }
  bool can_insert() const { return !read_only_ && insert_allowed_; }
  bool can_delete() const { return !read_only_ && delete_allowed_; }

  // The row count as read at the last reload, followed by this source's and
  // its provider's own inserts and deletes.
  int32_t row_count() const { return rows_; }
  int column_count() const;
  // The column, or nullptr when it does not exist.
  const GridColumn* column(int column) const;

  std::string CellText(int32_t row, int column);
  // Whether the user may change the column's cells now.
  bool CellEditable(int column) const;
  // False when read-only, or as DatabaseProvider::SetCellText.
  bool SetCellText(int32_t row, int column, std::string_view gbk_text);

  // The current row, 0 .. row_count() - 1 (0 when there are no rows).
  int32_t current_row() const { return current_; }
  // Makes `row`, clamped to the rows, current; observers hear of it when it
  // differs from the current row. Returns whether it changed.
  bool MoveTo(int32_t row);
  bool First();
  bool Previous();
  bool Next();
  bool Last();
  // Appends a blank row and makes it current.
  EditOutcome Insert();
  // Removes the current row's record from the file; the current row keeps
  // its index, clamped to the rows left.
  EditOutcome Delete();

  // Sets columns first_column (1-based) .. first_column + count - 1 that
  // exist to `width` pixels (a negative width counts as 0).
  void SetColumnWidths(int first_column, int count, int width);
  // A width set by SetColumnWidths since the last reload, or nullopt for
  // the default width.
  std::optional<int> ColumnWidth(int column) const;

  // A cell's colour, 24 bits with red in the low byte, kept until the next
  // reload and moving with its record when rows before it are removed.
  // False for a cell that does not exist.
  bool SetCellColour(int32_t row, int column, uint32_t rgb);
  std::optional<uint32_t> CellColour(int32_t row, int column) const;

  void AddObserver(DataSourceObserver* observer);
  void RemoveObserver(DataSourceObserver* observer);

 private:
  friend class DatabaseProvider;

  // From the provider.
  void Reset();
  void ProviderGone();
  void RowsAppended(int32_t new_count);
  void RowsRemoved(int32_t first, int32_t count, int32_t new_count);
  void CellWritten(int32_t row, int column);

  void RemoveRows(int32_t first, int32_t count);
  template <typename F>
  void Notify(F call);

  DatabaseProvider* provider_ = nullptr;
  bool read_only_ = true;
  bool insert_allowed_ = false;
  bool delete_allowed_ = false;
  bool deleting_ = false;  // Delete reports the current row itself
  int32_t rows_ = 0;
  int32_t current_ = 0;
  std::vector<std::optional<int>> widths_;
  std::map<std::pair<int32_t, int>, uint32_t> colours_;
  std::vector<DataSourceObserver*> observers_;
};

}  // namespace tarvok::store
