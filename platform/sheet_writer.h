// A spreadsheet workbook kept in memory and written out as an .xlsx file.
//
// It offers what the organiser's exports ask of a spreadsheet program: a new
// workbook with some sheets, adding sheets, naming and activating one, a
// current range given by the A1 addresses of its first and last cell, text
// written into it and read back, and column widths fitted to the texts.
// Sheets, rows and columns count from 1, as in A1 addresses.
//
// Texts are GBK, as everywhere in the organiser; the file holds them as
// UTF-8 (with a cell's CR LF line breaks as the LF a spreadsheet cell
// uses). Nothing touches the disk until Save.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvok::platform {

class SheetWriter {
 public:
  // The limits of the file format.
  static constexpr uint32_t kMaxRows = 1048576;
  static constexpr uint32_t kMaxColumns = 16384;  // "XFD"
  static constexpr size_t kMaxCellCharacters = 32767;
  static constexpr double kMaxColumnWidth = 255;

  // A new workbook of `sheets` empty sheets (at least one), named "Sheet1",
  // "Sheet2" ...; sheet 1 is current and active, its range A1.
  explicit SheetWriter(int sheets = 1);

  // The workbook's title (its document properties), GBK.
  void SetTitle(std::string title) { title_ = std::move(title); }
  const std::string& title() const { return title_; }

  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  // Appends an empty sheet named "Sheet<n>" with the first n not taken.
  void AddSheet();
  // Makes sheet `number` current (its range A1); false, and nothing
  // changes, outside 1..SheetCount().
  bool SelectSheet(int number);
  int CurrentSheet() const { return current_ + 1; }
  // Names the current sheet. False, and the name stays, for a name the
  // format refuses: empty, longer than 31 characters, holding one of
  // []:*?/\ or a byte that is no GBK character, starting or ending with an
  // apostrophe, or another sheet's name (ASCII letters of either case alike).
  bool NameSheet(const std::string& name);
  std::string SheetName(int number) const;
  // The current sheet becomes the one shown when the file is opened.
  void Activate() { active_ = current_; }
  int ActiveSheet() const { return active_ + 1; }

  // Makes the rectangle between two A1 addresses ("a2", "D15", letters of
  // either case) the current range of the current sheet. False, and the
  // range stays, for an address that is not one or lies outside the sheet.
  bool SelectRange(std::string_view first, std::string_view last);
  // Writes the text into every cell of the current range (an empty text
  // empties them).
  void WriteRange(const std::string& text);
  // The text of the range's first cell; empty for an empty cell.
  std::string ReadRange() const;
  // Sets each column of the current range as wide as the widest line of
  // its texts within the range (a double-byte character counts two, as it
  // shows), at most kMaxColumnWidth. A column without text there keeps
  // its width.
  void AutoFit();

  // The text of a cell of a sheet; empty when there is none.
  std::string Cell(int sheet, uint32_t row, uint32_t column) const;
  // The width AutoFit gave a column; 0 while it has the default width.
  double ColumnWidth(int sheet, uint32_t column) const;
  // The last row holding a cell of that sheet; 0 for an empty sheet.
  uint32_t LastRow(int sheet) const;

  struct SaveResult {
    int error = 0;          // 0, or the errno / a positive code of the writer
    std::string message;    // what failed, UTF-8; empty on success
    size_t cut_cells = 0;   // cells cut at kMaxCellCharacters in the file
    explicit operator bool() const { return error == 0; }
  };
  // Writes the workbook as an .xlsx file at `path` (GBK): into a temporary
  // file beside it first, synced, then renamed over `path`, so a failure
  // never leaves a partial file under that name. `private_file` gives the
  // file mode 0600 before it gets its name. The writer's own temporary
  // files go to the same folder.
  SaveResult Save(const std::string& path, bool private_file) const;

  // The text a cell holds in the file for `text` (GBK): UTF-8, CR LF as LF,
  // a literal "_xHHHH_" with its underscore escaped (readers take that form
  // for an escaped character), cut at kMaxCellCharacters characters after
  // escaping. *cut tells whether it was cut.
  static std::string FileCellText(std::string_view text, bool* cut);

 private:
  struct Sheet {
    std::string name;
    std::map<std::pair<uint32_t, uint32_t>, std::string> cells;  // (row, column)
    std::map<uint32_t, double> widths;
  };
  struct Range {
    uint32_t row1 = 1, column1 = 1, row2 = 1, column2 = 1;
  };

  const Sheet* SheetAt(int number) const;

  std::string title_;
  std::vector<Sheet> sheets_;
  int current_ = 0;
  int active_ = 0;
  Range range_;
};

// Parses an A1 address ("a2", "XFD1048576"): row and column from 1. False
// for anything else, and for a cell beyond the format's limits.
bool ParseCellAddress(std::string_view address, uint32_t* row, uint32_t* column);

}  // namespace tarvok::platform
