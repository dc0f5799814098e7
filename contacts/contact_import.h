// Importing contacts from an .xls workbook into lxr35.
//
// The header row is row 1 of the workbook's first sheet; the data rows are
// rows 2 on of its sheet named "sheet1" (any letter case). The user ticks
// header columns; every data row then becomes one new contact at the end of
// lxr35, each ticked column written into the field whose name equals its
// header text byte for byte. A ticked column whose header names no field
// writes nothing, and its row is appended all the same.
//
// The import writes through the store's own lxr35, the table the rest of
// the organiser works on, and never closes it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/xls_reader.h"
#include "store/record_store.h"

namespace tarvok::contacts {

// The name of column `column` (1-based) in the spreadsheet's letters:
// "a" … "z" for 1–26, "aa" … "az" for 27–52, "ba" … "bh" for 53–60, and on
// in the same way past 60 ("bi", …, "iv" for 256, the last column of an
// .xls). Empty for a number below 1.
std::string ColumnLetters(int column);
// The column's header cell: its letters followed by "1" ("a1", "bh1").
std::string HeaderCellName(int column);

// A ticked column of the header row.
struct ImportColumn {
  int column;          // 1-based
  std::string header;  // GBK
};

enum class ImportOutcome {
  kImported,      // every data row appended (possibly none)
  kCannotRead,    // the workbook could not be read; nothing appended
  kNoTable,       // lxr35 is not open; nothing appended
  kWriteFailed,   // appending row `failed_row` failed; the rows before it stay
};

struct ImportReport {
  ImportOutcome outcome = ImportOutcome::kImported;
  platform::XlsError read_error = platform::XlsError::kNone;
  uint32_t rows = 0;        // data rows of the sheet
  uint32_t appended = 0;    // contacts appended
  uint32_t failed_row = 0;  // the sheet's row number that could not be written
  int store_error = 0;      // LastError of the failed append
};

// Called before each data row is appended and once at the end: rows done,
// data rows in all.
using ImportProgress = std::function<void(uint32_t done, uint32_t total)>;

// Appends one contact to lxr35 per data row of the workbook at `path` (GBK),
// with the ticked columns' cells (see the top). lxr35 is the current table
// afterwards when it is open; its position is the last contact appended.
ImportReport ImportContacts(store::RecordStore& store, const std::string& path,
                            const std::vector<ImportColumn>& ticked, const ImportProgress& progress = nullptr);

}  // namespace tarvok::contacts
