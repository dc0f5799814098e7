#include "contacts/contact_import.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "store/errors.h"
#include "tables/tables.h"

namespace tarvok::contacts {

std::string ColumnLetters(int column) {
  std::string letters;
  for (int n = column; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), char('a' + (n - 1) % 26));
  return letters;
}

std::string HeaderCellName(int column) {
  std::string letters = ColumnLetters(column);
  return letters.empty() ? letters : letters + "1";
}

ImportReport ImportContacts(store::RecordStore& store, const std::string& path,
                            const std::vector<ImportColumn>& ticked, const ImportProgress& progress) {
  ImportReport report;
  std::unique_ptr<platform::XlsWorkbook> book = platform::XlsWorkbook::Open(path, &report.read_error);
  if (!book) {
    report.outcome = ImportOutcome::kCannotRead;
    return report;
  }
  if (!store.SelectTable(tables::kContactTable)) {
    report.outcome = ImportOutcome::kNoTable;
    report.store_error = store::LastError();
    return report;
  }

  // Where each ticked column goes: the field whose name is its header,
  // exactly (the store's own lookup ignores letter case).
  struct Target {
    int column;
    size_t field;  // 0-based
  };
  std::vector<Target> targets;
  const int fields = store.FieldCount();
  for (const ImportColumn& c : ticked) {
    for (int f = 1; f <= fields; ++f) {
      if (store.FieldName(f) == c.header) {
        targets.push_back({c.column, size_t(f - 1)});
        break;
      }
    }
  }

  // No sheet1: no data rows, which is no failure.
  const bool has_rows = platform::SelectXlsDataSheet(*book);
  report.rows = has_rows && book->RowCount() > 1 ? book->RowCount() - 1 : 0;
  std::vector<store::OptValue> values(size_t(std::max(fields, 0)));
  for (uint32_t i = 0; i < report.rows; ++i) {
    if (progress) progress(i, report.rows);
    std::fill(values.begin(), values.end(), std::nullopt);
    // Later columns of the same header win, as writing them in turn would.
    for (const Target& t : targets) values[t.field] = book->CellText(i + 2, t.column);
    // Other handlers may have moved the current table meanwhile.
    if (!store.SelectTable(tables::kContactTable) || !store.AddRecord(values)) {
      report.outcome = ImportOutcome::kWriteFailed;
      report.failed_row = i + 2;
      report.store_error = store::LastError();
      return report;
    }
    ++report.appended;
  }
  if (progress) progress(report.rows, report.rows);
  return report;
}

}  // namespace tarvok::contacts
