// A workbook file as a reader that is not ours sees it: openpyxl, through
// tests/support/read_workbook.py.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace tarvok::test {

struct PeerSheet {
  std::string name;                            // UTF-8
  std::map<std::string, std::string> cells;    // "A1" -> text, UTF-8
  std::size_t text_cells = 0;                  // cells the reader took as texts
  std::map<std::string, double> widths;        // "A" -> width, for columns given one
};

struct PeerWorkbook {
  bool missing = false;  // no python3 with openpyxl here
  bool ok = false;       // the reader read the file
  std::string error;     // what it said when it could not
  std::string title;
  int active = 0;
  std::vector<PeerSheet> sheets;
};

PeerWorkbook ReadWithPeer(const std::string& utf8_path);

// The sheets of a workbook as the office suite's headless converter writes
// them to CSV, one file a sheet: sheet name -> rows of cells, UTF-8.
struct OfficeWorkbook {
  bool missing = false;  // no soffice here
  bool ok = false;
  std::string error;
  std::map<std::string, std::vector<std::vector<std::string>>> sheets;
};

OfficeWorkbook ReadWithOffice(const std::string& utf8_path);

}  // namespace tarvok::test
