#include "tests/support/peer_workbook.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace tarvok::test {
namespace {

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.push_back("");
  return fields;
}

std::string Folder(const std::string& file) { return file.substr(0, file.rfind('/')); }

}  // namespace

PeerWorkbook ReadWithPeer(const std::string& utf8_path) {
  PeerWorkbook book;
  // Debian's python3, which has python3-openpyxl; another python3 on PATH
  // may not.
  const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
  TempDir io;
  const RunResult r = RunProgram(io, python, {Folder(__FILE__) + "/read_workbook.py", utf8_path});
  if (r.status == 2) {
    book.missing = true;
    return book;
  }
  if (r.status != 0) {
    book.error = r.err;
    return book;
  }
  book.ok = true;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    const std::vector<std::string> f = Fields(line);
    if (f.size() >= 2 && f[0] == "title") book.title = Unescape(f[1]);
    if (f.size() >= 2 && f[0] == "active") book.active = std::atoi(f[1].c_str());
    if (f.size() >= 2 && f[0] == "sheet") book.sheets.push_back({Unescape(f[1]), {}, 0, {}});
    if (book.sheets.empty()) continue;
    PeerSheet& sheet = book.sheets.back();
    if (f.size() >= 3 && f[0] == "width") sheet.widths[f[1]] = std::atof(f[2].c_str());
    if (f.size() >= 4 && f[0] == "cell") {
      sheet.cells[f[1]] = Unescape(f[3]);
      sheet.text_cells += f[2] == "s";
    }
  }
  return book;
}

}  // namespace tarvok::test
