// Arbitrary bytes as an .xls workbook, through the reader the contact import
// uses: the header row of the first sheet, the data sheet "sheet1" and the
// cells of its first rows.
//
// FreeXL reads files by name, so each input is written to a file of a
// private folder (on tmpfs where there is one) and opened from there.
//
// FreeXL runs in a child process of the reader's, so a crash or a runaway
// of FreeXL itself shows here as a refused workbook, not as a finding; what
// is fuzzed is the reader's own part: the claims walk over the compound file
// and the reading of the child's message. Run with -malloc_limit_mb=128.
// (FreeXL's out-of-bounds reads that the sanitizer's interceptors see in the
// child still write a crash file; their stacks run through RunChild, and
// the fuzzer itself goes on. The reader's own findings stop it.)
//
// Besides not crashing or hanging, asserted: an opened workbook claims no
// more cells than the bound; the header row has one cell per column,
// numbered 1, 2, 3 ...; a cell outside the used range reads empty; without
// a data sheet no rows are read.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "platform/xls_reader.h"
#include "fuzz/fuzz_support.h"

namespace {

using tarvok::fuzz::Require;
using tarvok::fuzz::Spill;

using tarvok::platform::XlsError;
using tarvok::platform::XlsWorkbook;

// The rows read of the data sheet: enough to reach every kind of cell
// record, few enough to keep each input fast.
constexpr uint32_t kRowsRead = 64;

struct Paths {
  std::string dir, file;
};

// Never destroyed: the exit hook that removes the file runs after every
// static destructor.
const Paths& Files() {
  static const Paths* paths = [] {
    const std::string dir = tarvok::fuzz::MakeScratchFolder("fuzz_xls_reader");
    auto* p = new Paths{dir, dir + "/input.xls"};
    std::atexit([] {
      unlink(Files().file.c_str());
      rmdir(Files().dir.c_str());
    });
    return p;
  }();
  return *paths;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Paths& files = Files();
  Spill(files.file, bytes);

  XlsError error = XlsError::kNone;
  std::unique_ptr<XlsWorkbook> book = XlsWorkbook::Open(files.file, &error);
  Require((book != nullptr) == (error == XlsError::kNone), "a workbook exactly when there is no error");
  if (!book) return 0;
  uint64_t cells = 0;
  Require(tarvok::platform::ClaimedXlsCells(bytes, &cells) && cells <= tarvok::platform::kXlsMaxCells,
          "an opened workbook claims no more cells than the bound");

  const auto header = tarvok::platform::ReadXlsHeaderRow(*book);
  Require(header.empty() || header.size() == size_t(book->ColumnCount()), "one header cell per column");
  for (size_t i = 0; i < header.size(); ++i) Require(header[i].column == int(i) + 1, "columns numbered in order");

  for (int s = 0; s < book->SheetCount(); ++s) book->SheetName(s);
  if (!tarvok::platform::SelectXlsDataSheet(*book)) {
    Require(book->RowCount() == 0 && book->ColumnCount() == 0, "no rows without a data sheet");
    return 0;
  }
  const uint32_t rows = std::min(book->RowCount(), kRowsRead);
  for (uint32_t r = 1; r <= rows; ++r) {
    for (int c = 1; c <= book->ColumnCount(); ++c) book->CellText(r, c);
  }
  Require(book->CellText(book->RowCount() + 1, 1).empty(), "a row past the used range reads empty");
  Require(book->CellText(1, book->ColumnCount() + 1).empty(), "a column past the used range reads empty");
  return 0;
}
