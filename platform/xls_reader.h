// Reading the cells of an .xls workbook (the compound file of the binary
// spreadsheet format) with FreeXL, as GBK texts.
//
// A cell reads as the spreadsheet shows it with the general format: a text
// as it is, a whole number without exponent or fraction (13800138000, -42),
// other numbers with up to 15 significant digits ("3.5", "0.333333333333333",
// "1E+20"), dates and times as "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" and
// "HH:MM:SS", an empty cell as the empty text. Texts become GBK through
// GB18030, so a character GBK lacks keeps its four-byte form.
//
// Hostile files: FreeXL runs in a child process of its own, which sends the
// cells back through a pipe, so a workbook that crashes or hangs it gives an
// error here and nothing else. Before that, the claims of the workbook are
// read from the file: a workbook of a few kilobytes can claim sheets of
// 65,536 x 256 cells, for each of which FreeXL sets up the whole grid in
// memory. A workbook claiming more than kXlsMaxCells cells in all, larger
// than kXlsMaxFileBytes, or whose texts come to more than kXlsMaxTextBytes,
// is refused; so is anything that is not a regular file.
//
// What is read: the names of all sheets, row 1 of the first sheet (the
// header row) and every row of the data sheet, the sheet named "sheet1" in
// any letter case. Rows and columns count from 1, as the spreadsheet
// numbers them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::platform {

// Far beyond any contact list; FreeXL keeps 16 bytes a cell.
inline constexpr uint64_t kXlsMaxCells = uint64_t{4} << 20;
inline constexpr uint64_t kXlsMaxFileBytes = uint64_t{64} << 20;
inline constexpr uint64_t kXlsMaxTextBytes = uint64_t{64} << 20;
// The longest a workbook may take to be read.
inline constexpr unsigned kXlsMaxSeconds = 30;

enum class XlsError {
  kNone,
  kCannotOpen,   // no such file, not a regular file, no permission
  kNotWorkbook,  // not an .xls workbook, or a damaged or truncated one
  kTooLarge,     // over one of the bounds above
};

class XlsWorkbook {
 public:
  // Reads the workbook at `path` (GBK, as the store takes paths). Null with
  // *error set when it cannot be read.
  static std::unique_ptr<XlsWorkbook> Open(const std::string& path, XlsError* error);
  ~XlsWorkbook();
  XlsWorkbook(const XlsWorkbook&) = delete;
  XlsWorkbook& operator=(const XlsWorkbook&) = delete;

  int SheetCount() const { return int(names_.size()); }
  // The sheet's name (GBK); empty for an index out of range.
  std::string SheetName(int sheet) const;
  // The first sheet whose name equals `name` without regard to ASCII letter
  // case, or -1.
  int FindSheet(std::string_view name) const;

  // Makes `sheet` (0-based) the one the calls below read: the first sheet
  // or the data sheet. False, with no sheet selected, for any other.
  bool SelectSheet(int sheet);
  // The used rows and columns of the selected sheet (0 without one).
  uint32_t RowCount() const;
  int ColumnCount() const;
  // The text of a cell of the selected sheet; empty outside the used range,
  // and past row 1 of a first sheet that is not the data sheet.
  std::string CellText(uint32_t row, int column) const;

  struct Sheet;

 private:
  XlsWorkbook();

  std::vector<std::string> names_;  // GBK
  std::unique_ptr<Sheet> first_, data_;
  const Sheet* selected_ = nullptr;
};

// One cell of a header row.
struct XlsHeaderCell {
  int column;  // 1-based
  std::string text;
  bool operator==(const XlsHeaderCell&) const = default;
};

// Row 1 of the first sheet: one cell per used column, in column order, empty
// ones included (none for a workbook without sheets). Leaves the first sheet
// selected.
std::vector<XlsHeaderCell> ReadXlsHeaderRow(XlsWorkbook& book);

// Selects the data sheet, the sheet named "sheet1" in any letter case; its
// data rows are rows 2 to RowCount(). False, with no sheet selected, when
// the workbook has none.
bool SelectXlsDataSheet(XlsWorkbook& book);

// A number as the general format of a spreadsheet shows it (see above).
std::string XlsNumberText(double value);

// The cells the workbook in `file` (its bytes) claims for all its sheets
// together, as FreeXL would set them up; false when the bytes are no
// compound file with a workbook stream that can be walked.
bool ClaimedXlsCells(std::string_view file, uint64_t* cells);

}  // namespace tarvok::platform
