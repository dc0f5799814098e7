#include "tests/support/peer_workbook.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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

// RFC 4180 rows: quoted cells may hold commas, quotes and line breaks.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string cell;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(std::move(cell));
      cell.clear();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      rows.back().push_back(std::move(cell));
      cell.clear();
      rows.emplace_back();
    } else {
      cell += c;
    }
  }
  if (!rows.back().empty() || !cell.empty()) {
    rows.back().push_back(std::move(cell));
  } else {
    rows.pop_back();
  }
  return rows;
}

}  // namespace

OfficeWorkbook ReadWithOffice(const std::string& utf8_path) {
  OfficeWorkbook book;
  if (access("/usr/bin/soffice", X_OK) != 0) {
    book.missing = true;
    return book;
  }
  TempDir io;
  const std::string out = io.Path("csv");
  // Comma, double quote, UTF-8 (76), from line 1, cells as shown, every
  // sheet into a file of its own (-1).
  const RunResult r = RunProgram(
      io, "/usr/bin/soffice",
      {"-env:UserInstallation=file://" + io.Path("profile"), "--headless", "--convert-to",
       "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1", "--outdir", out,
       utf8_path});
  if (r.status != 0) {
    book.error = r.out + r.err;
    return book;
  }
  // <file stem>-<sheet name>.csv
  const std::string stem = std::filesystem::path(utf8_path).stem().string() + "-";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(out, ec)) {
    const std::string name = entry.path().stem().string();
    if (name.rfind(stem, 0) != 0) continue;
    book.sheets[name.substr(stem.size())] = ParseCsv(ReadFileBytes(entry.path().string()));
  }
  book.ok = !book.sheets.empty();
  if (!book.ok) book.error = "no CSV written: " + r.out + r.err;
  return book;
}

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
