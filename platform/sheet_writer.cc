#include "platform/sheet_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/gbk.h"

namespace tarvok::platform {
namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Whether s[at..] starts with "_xHHHH_".
bool EscapeFormAt(std::string_view s, size_t at) {
  if (s.size() - at < 7 || s[at] != '_' || (s[at + 1] != 'x' && s[at + 1] != 'X') || s[at + 6] != '_') {
    return false;
  }
  return IsHex(s[at + 2]) && IsHex(s[at + 3]) && IsHex(s[at + 4]) && IsHex(s[at + 5]);
}

// The widest line of a GBK text as it shows: a byte a column, so a
// double-byte character counts two.
size_t ShownWidth(std::string_view text) {
  size_t widest = 0, line = 0;
  for (char c : text) {
    if (c == '\n') {
      widest = std::max(widest, line);
      line = 0;
    } else if (c != '\r') {
      ++line;
    }
  }
  return std::max(widest, line);
}

// The folder part of a system path ("." for a bare name).
std::string FolderOf(const std::string& native) {
  const size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : native.substr(0, slash);
}

int SyncPath(const std::string& native, int flags) {
  const int fd = open(native.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return errno;
  const int err = fsync(fd) == 0 ? 0 : errno;
  close(fd);
  return err;
}

mode_t CurrentUmask() {
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

SheetWriter::SaveResult Failed(int error, std::string message) {
  SheetWriter::SaveResult r;
  r.error = error;
  r.message = std::move(message);
  return r;
}

}  // namespace

bool ParseCellAddress(std::string_view address, uint32_t* row, uint32_t* column) {
  size_t i = 0;
  uint64_t c = 0, r = 0;
  for (; i < address.size() && i < 4; ++i) {
    const char ch = FoldAscii(address[i]);
    if (ch < 'a' || ch > 'z') break;
    c = c * 26 + static_cast<uint64_t>(ch - 'a' + 1);
  }
  if (i == 0 || i == address.size() || address[i] < '1' || address[i] > '9') return false;
  for (; i < address.size(); ++i) {
    if (address[i] < '0' || address[i] > '9' || r > SheetWriter::kMaxRows) return false;
    r = r * 10 + static_cast<uint64_t>(address[i] - '0');
  }
  if (c > SheetWriter::kMaxColumns || r > SheetWriter::kMaxRows) return false;
  *row = static_cast<uint32_t>(r);
  *column = static_cast<uint32_t>(c);
  return true;
}

SheetWriter::SheetWriter(int sheets) {
  for (int i = 0; i < std::max(1, sheets); ++i) AddSheet();
}

void SheetWriter::AddSheet() {
  for (int n = SheetCount() + 1;; ++n) {
    const std::string name = "Sheet" + std::to_string(n);
    if (std::none_of(sheets_.begin(), sheets_.end(), [&](const Sheet& s) { return SameName(s.name, name); })) {
      sheets_.push_back({name, {}, {}});
      return;
    }
  }
}

bool SheetWriter::SelectSheet(int number) {
  if (number < 1 || number > SheetCount()) return false;
  current_ = number - 1;
  range_ = Range{};
  return true;
}

bool SheetWriter::NameSheet(const std::string& name) {
  const std::string utf8 = GbkToUtf8(name);
  if (name.empty() || Utf8ToGb18030(utf8) != name || Utf8Length(utf8) > 31) return false;
  // Looked for among the characters: the refused ASCII bytes can be second
  // bytes of GBK characters.
  if (utf8.find_first_of("[]:*?/\\") != std::string::npos || utf8.front() == '\'' || utf8.back() == '\'') {
    return false;
  }
  for (int i = 0; i < SheetCount(); ++i) {
    if (i != current_ && SameName(sheets_[i].name, name)) return false;
  }
  sheets_[current_].name = name;
  return true;
}

std::string SheetWriter::SheetName(int number) const {
  const Sheet* s = SheetAt(number);
  return s != nullptr ? s->name : std::string();
}

bool SheetWriter::SelectRange(std::string_view first, std::string_view last) {
  Range r;
  if (!ParseCellAddress(first, &r.row1, &r.column1) || !ParseCellAddress(last, &r.row2, &r.column2)) return false;
  if (r.row1 > r.row2) std::swap(r.row1, r.row2);
  if (r.column1 > r.column2) std::swap(r.column1, r.column2);
  range_ = r;
  return true;
}

void SheetWriter::WriteRange(const std::string& text) {
  auto& cells = sheets_[current_].cells;
  for (uint32_t row = range_.row1; row <= range_.row2; ++row) {
    for (uint32_t column = range_.column1; column <= range_.column2; ++column) {
      if (text.empty()) {
        cells.erase({row, column});
      } else {
        cells[{row, column}] = text;
      }
    }
  }
}

std::string SheetWriter::ReadRange() const { return Cell(current_ + 1, range_.row1, range_.column1); }

void SheetWriter::AutoFit() {
  Sheet& sheet = sheets_[current_];
  std::map<uint32_t, size_t> widest;
  for (auto it = sheet.cells.lower_bound({range_.row1, 0});
       it != sheet.cells.end() && it->first.first <= range_.row2; ++it) {
    const uint32_t column = it->first.second;
    if (column < range_.column1 || column > range_.column2) continue;
    size_t& w = widest[column];
    w = std::max(w, ShownWidth(it->second));
  }
  // One more column for the cell's margins.
  for (const auto& [column, w] : widest) {
    if (w > 0) sheet.widths[column] = std::min(kMaxColumnWidth, static_cast<double>(w) + 1);
  }
}

const SheetWriter::Sheet* SheetWriter::SheetAt(int number) const {
  return number >= 1 && number <= SheetCount() ? &sheets_[number - 1] : nullptr;
}

std::string SheetWriter::Cell(int sheet, uint32_t row, uint32_t column) const {
  const Sheet* s = SheetAt(sheet);
  if (s == nullptr) return {};
  const auto it = s->cells.find({row, column});
  return it != s->cells.end() ? it->second : std::string();
}

double SheetWriter::ColumnWidth(int sheet, uint32_t column) const {
  const Sheet* s = SheetAt(sheet);
  if (s == nullptr) return 0;
  const auto it = s->widths.find(column);
  return it != s->widths.end() ? it->second : 0;
}

uint32_t SheetWriter::LastRow(int sheet) const {
  const Sheet* s = SheetAt(sheet);
  return s == nullptr || s->cells.empty() ? 0 : s->cells.rbegin()->first.first;
}

std::string SheetWriter::FileCellText(std::string_view text, bool* cut) {
  const std::string utf8 = GbkToUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    // Plain runs are copied whole; only CR LF and "_x" need a look.
    const size_t special = utf8.find_first_of("\r_", i);
    const size_t end = special == std::string::npos ? utf8.size() : special;
    out.append(utf8, i, end - i);
    if (end == utf8.size()) break;
    if (utf8[end] == '\r' && end + 1 < utf8.size() && utf8[end + 1] == '\n') {
      i = end + 1;  // the LF is copied with the next run
      continue;
    }
    if (EscapeFormAt(utf8, end)) out += "_x005F";
    out += utf8[end];
    i = end + 1;
  }
  *cut = false;
  if (out.size() <= kMaxCellCharacters) return out;  // no more characters than bytes
  size_t characters = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    if ((static_cast<unsigned char>(out[i]) & 0xC0) == 0x80) continue;
    if (++characters > kMaxCellCharacters) {
      out.resize(i);
      *cut = true;
      break;
    }
  }
  return out;
}

SheetWriter::SaveResult SheetWriter::Save(const std::string& path, bool private_file) const {
  const std::string native = GbkToUtf8(path);
  if (path.empty() || Utf8ToGb18030(native) != path || native.find('\0') != std::string::npos) {
    return Failed(ENOENT, "no file name of the system: " + native);
  }
  // A name of our own beside the target, made here so that no one else's
  // file or link can stand in its place.
  std::string temp = native + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return Failed(errno, "cannot create " + temp + ": " + std::strerror(errno));
  const mode_t mode = private_file ? 0600 : (0666 & ~CurrentUmask());
  const int mode_err = fchmod(fd, mode) == 0 ? 0 : errno;
  close(fd);
  if (mode_err != 0) {
    unlink(temp.c_str());
    return Failed(mode_err, "cannot set the mode of " + temp);
  }

  std::string folder = FolderOf(native);
  lxw_workbook_options options{};
  options.tmpdir = folder.data();
  lxw_workbook* book = workbook_new_opt(temp.c_str(), &options);
  if (book == nullptr) {
    unlink(temp.c_str());
    return Failed(ENOMEM, "cannot start the workbook " + temp);
  }
  SaveResult result;
  std::string problem;
  lxw_error err = LXW_NO_ERROR;
  std::vector<lxw_worksheet*> written;
  for (const Sheet& sheet : sheets_) {
    lxw_worksheet* ws = workbook_add_worksheet(book, GbkToUtf8(sheet.name).c_str());
    if (ws == nullptr) {
      err = LXW_ERROR_SHEETNAME_ALREADY_USED;
      problem = "sheet " + GbkToUtf8(sheet.name);
      break;
    }
    written.push_back(ws);
    for (const auto& [column, width] : sheet.widths) {
      if (err == LXW_NO_ERROR) err = worksheet_set_column(ws, column - 1, column - 1, width, nullptr);
    }
    for (const auto& [at, text] : sheet.cells) {
      if (err != LXW_NO_ERROR) break;
      bool cut = false;
      const std::string cell = FileCellText(text, &cut);
      result.cut_cells += cut;
      err = worksheet_write_string(ws, at.first - 1, static_cast<lxw_col_t>(at.second - 1), cell.c_str(), nullptr);
      if (err != LXW_NO_ERROR) problem = "cell of sheet " + GbkToUtf8(sheet.name);
    }
    if (err != LXW_NO_ERROR) break;
  }
  if (err == LXW_NO_ERROR) {
    worksheet_activate(written[static_cast<size_t>(active_)]);
    const std::string title = GbkToUtf8(title_);
    lxw_doc_properties properties{};
    properties.title = const_cast<char*>(title.c_str());
    err = workbook_set_properties(book, &properties);
  }
  // Closing writes the file and frees the workbook, also after a failure.
  const lxw_error closed = workbook_close(book);
  if (err == LXW_NO_ERROR) err = closed;
  if (err != LXW_NO_ERROR) {
    unlink(temp.c_str());
    const int e = err == LXW_ERROR_CREATING_XLSX_FILE || err == LXW_ERROR_CREATING_TMPFILE ? EIO : 1000 + err;
    return Failed(e, std::string(lxw_strerror(err)) + (problem.empty() ? "" : " (" + problem + ")"));
  }
  if (int e = SyncPath(temp, O_RDONLY); e != 0) {
    unlink(temp.c_str());
    return Failed(e, "cannot sync " + temp + ": " + std::strerror(e));
  }
  if (rename(temp.c_str(), native.c_str()) != 0) {
    const int e = errno;
    unlink(temp.c_str());
    return Failed(e, "cannot name " + native + ": " + std::strerror(e));
  }
  // Not syncing the folder leaves the old file after a crash: no failure.
  SyncPath(folder, O_RDONLY | O_DIRECTORY);
  return result;
}

}  // namespace tarvok::platform
