#include "platform/xls_reader.h"

#include <fcntl.h>
#include <freexl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/gbk.h"

namespace tarvok::platform {
namespace {

// ---- the claims of a workbook ------------------------------------------------
//
// The compound file: a 512-byte header, then sectors of 512 (version 3) or
// 4096 bytes (version 4); sector n starts at (n + 1) * sector size. The FAT
// chains the sectors of each stream; the sectors holding the FAT are listed
// by the DIFAT (109 entries in the header, the rest in a chain of DIFAT
// sectors). Streams shorter than the mini cutoff live in 64-byte mini
// sectors inside the root entry's stream, chained by the mini FAT. The
// directory is a stream of 128-byte entries.

constexpr uint32_t kLastRegular = 0xFFFFFFFA;  // above: markers, not sectors
constexpr uint32_t kMiniCutoff = 4096;
constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
// FreeXL takes at most this many rows and columns in a sheet; a larger
// claim fails the whole workbook before anything is set up.
constexpr uint64_t kSheetRows = 65536;
constexpr uint64_t kSheetColumns = 256;

uint16_t U16(std::string_view b, size_t at) {
  return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}
uint32_t U32(std::string_view b, size_t at) {
  return uint32_t(U16(b, at)) | uint32_t(U16(b, at + 2)) << 16;
}

class Compound {
 public:
  explicit Compound(std::string_view file) : file_(file) {}

  bool Load() {
    if (file_.size() < 512 || std::memcmp(file_.data(), kSignature, 8) != 0) return false;
    const uint16_t shift = U16(file_, 0x1E);
    if ((shift != 9 && shift != 12) || U16(file_, 0x20) != 6) return false;
    sector_ = size_t{1} << shift;
    if (file_.size() <= sector_) return false;
    sectors_ = (file_.size() - sector_ + sector_ - 1) / sector_;

    // The FAT's sectors, from the DIFAT.
    std::vector<uint32_t> fat_sectors;
    for (size_t i = 0; i < 109; ++i) {
      const uint32_t s = U32(file_, 0x4C + 4 * i);
      if (s > kLastRegular) break;
      fat_sectors.push_back(s);
    }
    uint32_t difat = U32(file_, 0x44);
    for (size_t seen = 0; difat <= kLastRegular; ++seen) {
      if (seen >= sectors_) return false;  // a loop
      std::string_view d;
      if (!Sector(difat, &d)) return false;
      const size_t per = sector_ / 4 - 1;
      for (size_t i = 0; i < per; ++i) {
        const uint32_t s = U32(d, 4 * i);
        if (s <= kLastRegular) fat_sectors.push_back(s);
      }
      difat = U32(d, 4 * per);
    }
    if (fat_sectors.size() > sectors_) return false;
    fat_.reserve(fat_sectors.size() * (sector_ / 4));
    for (uint32_t s : fat_sectors) {
      std::string_view f;
      if (!Sector(s, &f)) return false;
      for (size_t i = 0; i < sector_ / 4; ++i) fat_.push_back(U32(f, 4 * i));
    }

    if (!Chain(fat_, sectors_, U32(file_, 0x30), &directory_sectors_)) return false;
    std::string_view root;
    if (!Entry(0, &root) || uint8_t(root[0x42]) != 5) return false;
    // Readers take the cutoff as fixed; a file giving another one would be
    // read one way here and another way there.
    if (U32(file_, 0x38) != kMiniCutoff) return false;
    std::vector<uint32_t> mini_fat_sectors;
    if (!Chain(fat_, sectors_, U32(file_, 0x3C), &mini_fat_sectors)) return false;
    for (uint32_t s : mini_fat_sectors) {
      std::string_view f;
      if (!Sector(s, &f)) return false;
      for (size_t i = 0; i < sector_ / 4; ++i) mini_fat_.push_back(U32(f, 4 * i));
    }
    return Read(U32(root, 0x74), Size(root), /*mini=*/false, &mini_stream_);
  }

  size_t EntryCount() const { return directory_sectors_.size() * (sector_ / 128); }

  bool Entry(size_t index, std::string_view* entry) const {
    const size_t per = sector_ / 128;
    if (index / per >= directory_sectors_.size()) return false;
    std::string_view s;
    if (!Sector(directory_sectors_[index / per], &s)) return false;
    *entry = s.substr(index % per * 128, 128);
    return true;
  }

  // The stream of a directory entry; false when its chain is broken.
  bool Stream(std::string_view entry, std::string* out) const {
    const uint64_t size = Size(entry);
    return Read(U32(entry, 0x74), size, size < kMiniCutoff, out);
  }

 private:
  uint64_t Size(std::string_view entry) const {
    // Version 3 files keep only the low half; the high half may hold junk.
    return sector_ == 512 ? U32(entry, 0x78) : uint64_t(U32(entry, 0x78)) | uint64_t(U32(entry, 0x7C)) << 32;
  }

  bool Sector(uint32_t n, std::string_view* out) const {
    const uint64_t at = (uint64_t(n) + 1) * sector_;
    if (n >= sectors_ || at + sector_ > file_.size()) return false;
    *out = file_.substr(size_t(at), sector_);
    return true;
  }

  // The sectors of a chain, each at most once; a chain may end early (at a
  // marker) but never point outside the table.
  static bool Chain(const std::vector<uint32_t>& table, size_t limit, uint32_t start, std::vector<uint32_t>* out) {
    out->clear();
    for (uint32_t s = start; s <= kLastRegular; s = table[s]) {
      if (s >= table.size() || s >= limit || out->size() >= limit) return false;
      out->push_back(s);
    }
    return true;
  }

  bool Read(uint32_t start, uint64_t size, bool mini, std::string* out) const {
    out->clear();
    std::vector<uint32_t> chain;
    if (mini) {
      if (!Chain(mini_fat_, mini_stream_.size() / 64, start, &chain)) return false;
      for (uint32_t s : chain) {
        if (out->size() >= size) break;
        out->append(mini_stream_, size_t(s) * 64, 64);
      }
    } else {
      if (!Chain(fat_, sectors_, start, &chain)) return false;
      for (uint32_t s : chain) {
        if (out->size() >= size) break;
        std::string_view d;
        if (!Sector(s, &d)) return false;
        out->append(d);
      }
    }
    if (out->size() > size) out->resize(size_t(size));
    return true;
  }

  std::string_view file_;
  size_t sector_ = 512;
  size_t sectors_ = 0;
  std::vector<uint32_t> fat_, mini_fat_, directory_sectors_;
  std::string mini_stream_;
};

// The entry's name, lower-cased ASCII; anything else leaves it unmatched.
std::string EntryName(std::string_view entry) {
  const size_t bytes = std::min<size_t>(U16(entry, 0x40), 64);
  std::string name;
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    const uint16_t c = U16(entry, i);
    if (c == 0) break;
    if (c > 0x7F) return {};
    name.push_back(char(c >= 'A' && c <= 'Z' ? c + 32 : c));
  }
  return name;
}

// The cells the sheets of one workbook stream claim: every DIMENSIONS
// record, read in each of the layouts a reader could give it, at its
// largest.
uint64_t StreamClaims(std::string_view s) {
  uint64_t cells = 0;
  for (size_t at = 0; at + 4 <= s.size();) {
    const uint16_t id = U16(s, at), length = U16(s, at + 2);
    const std::string_view body = s.substr(at + 4, std::min<size_t>(length, s.size() - at - 4));
    if (id == 0x0200 || id == 0x0000) {
      uint64_t most = 0;
      if (body.size() >= 12) most = std::min<uint64_t>(U32(body, 4), kSheetRows) * std::min<uint64_t>(U16(body, 10), kSheetColumns);
      if (body.size() >= 8) {
        most = std::max(most, std::min<uint64_t>(U16(body, 2), kSheetRows) * std::min<uint64_t>(U16(body, 6), kSheetColumns));
      }
      cells += most;
    }
    at += 4 + size_t(length);
  }
  return cells;
}

// ---- reading -----------------------------------------------------------------

// The system name of a GBK path: one that gives the same bytes back.
bool NativeName(const std::string& path, std::string* native) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  *native = GbkToUtf8(path);
  return Utf8ToGb18030(*native) == path;
}

// The file's bytes, refused when it is no regular file or too large.
XlsError Slurp(const std::string& native, std::string* bytes) {
  const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return XlsError::kCannotOpen;
  struct stat st {};
  XlsError result = XlsError::kNone;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    result = XlsError::kCannotOpen;
  } else if (uint64_t(st.st_size) > kXlsMaxFileBytes) {
    result = XlsError::kTooLarge;
  } else {
    bytes->resize(size_t(st.st_size));
    size_t done = 0;
    while (done < bytes->size()) {
      const ssize_t n = read(fd, bytes->data() + done, bytes->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += size_t(n);
    }
    bytes->resize(done);  // a file cut short meanwhile is read as it is now
  }
  close(fd);
  return result;
}

std::string TextOf(std::string_view s) {
  if (std::all_of(s.begin(), s.end(), [](char c) { return uint8_t(c) < 0x80; })) return std::string(s);
  return Utf8ToGb18030(s);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x + 32);
    if (y >= 'A' && y <= 'Z') y = char(y + 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool ClaimedXlsCells(std::string_view file, uint64_t* cells) {
  Compound c(file);
  if (!c.Load()) return false;
  bool found = false;
  *cells = 0;
  std::string stream;
  for (size_t i = 1; i < c.EntryCount(); ++i) {
    std::string_view entry;
    if (!c.Entry(i, &entry)) return false;
    if (uint8_t(entry[0x42]) != 2) continue;
    const std::string name = EntryName(entry);
    if (name != "workbook" && name != "book") continue;
    if (!c.Stream(entry, &stream)) return false;
    found = true;
    *cells += StreamClaims(stream);
  }
  return found;
}

std::string XlsNumberText(double value) {
  if (!std::isfinite(value)) return "#NUM!";
  if (value == 0) return "0";
  char buf[64];
  std::to_chars_result r{};
  if (value == std::trunc(value) && std::fabs(value) < 1e15) {
    r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 0);
  } else {
    r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  }
  std::string text(buf, r.ptr);
  std::replace(text.begin(), text.end(), 'e', 'E');
  return text;
}

struct XlsWorkbook::Sheet {
  int index = -1;
  uint32_t rows = 0;
  int columns = 0;
  // The cells read, by row (row 1 first): the non-empty ones, by column.
  std::vector<std::vector<std::pair<int, std::string>>> cells;
};

namespace {

// ---- FreeXL in a child process ---------------------------------------------
//
// The child writes, in native byte order: u32 status (kChildOk or
// kChildFailed); then u32 sheet count and each name (u32 length, UTF-8
// bytes); then the first sheet and the data sheet, each as u32 index (or
// kNoSheet), and for a sheet u32 rows, u32 columns and its cells (u32 row,
// u32 column, u32 length, UTF-8 bytes) up to a u32 row of 0. It ends with
// _exit, so nothing of the parent's runs at its end.

constexpr uint32_t kChildOk = 1;
constexpr uint32_t kChildFailed = 2;
constexpr uint32_t kNoSheet = 0xFFFFFFFF;

class ChildOut {
 public:
  explicit ChildOut(int fd) : fd_(fd) {}
  void U32(uint32_t v) {
    buffer_.append(reinterpret_cast<const char*>(&v), 4);
    if (buffer_.size() >= (1 << 16)) Flush();
  }
  void Text(std::string_view t) {
    U32(uint32_t(t.size()));
    buffer_.append(t);
    if (buffer_.size() >= (1 << 16)) Flush();
  }
  void Flush() {
    for (size_t done = 0; done < buffer_.size();) {
      const ssize_t n = write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) _exit(1);
      done += size_t(n);
    }
    buffer_.clear();
  }

 private:
  int fd_;
  std::string buffer_;
};

std::string ChildCellText(const void* handle, unsigned int row, unsigned short column) {
  FreeXL_CellValue v{};
  if (freexl_get_cell_value(handle, row, column, &v) != FREEXL_OK) return {};
  switch (v.type) {
    case FREEXL_CELL_INT:
      return std::to_string(v.value.int_value);
    case FREEXL_CELL_DOUBLE:
      return XlsNumberText(v.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
      return v.value.text_value != nullptr ? std::string(v.value.text_value) : std::string();
    default:
      return {};
  }
}

void ChildSheet(const void* handle, int index, uint32_t most_rows, ChildOut& out) {
  unsigned int rows = 0;
  unsigned short columns = 0;
  if (index < 0 || freexl_select_active_worksheet(handle, static_cast<unsigned short>(index)) != FREEXL_OK ||
      freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
    out.U32(kNoSheet);
    return;
  }
  out.U32(uint32_t(index));
  out.U32(rows);
  out.U32(columns);
  for (unsigned int r = 0; r < rows && r < most_rows; ++r) {
    for (unsigned short c = 0; c < columns; ++c) {
      const std::string text = ChildCellText(handle, r, c);
      if (text.empty()) continue;
      out.U32(r + 1);
      out.U32(uint32_t(c) + 1);
      out.Text(text);
    }
  }
  out.U32(0);
}

#if defined(__SANITIZE_ADDRESS__)
#define TARVOK_XLS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVOK_XLS_SANITIZED 1
#endif
#endif

void LimitChildHeap() {
#ifndef TARVOK_XLS_SANITIZED  // the sanitizers' own mappings count as data
  // The child's heap may grow by this much over what it inherited: the
  // claims stay far below, a parser running away does not.
  constexpr uint64_t kChildHeapBytes = uint64_t{512} << 20;
  unsigned long size = 0, resident = 0, shared = 0, text = 0, lib = 0, data = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return;
  const int got = std::fscanf(statm, "%lu %lu %lu %lu %lu %lu", &size, &resident, &shared, &text, &lib, &data);
  std::fclose(statm);
  if (got != 6) return;
  const uint64_t limit = uint64_t(data) * uint64_t(sysconf(_SC_PAGESIZE)) + kChildHeapBytes;
  const struct rlimit r {limit, limit};
  setrlimit(RLIMIT_DATA, &r);
#endif
}

[[noreturn]] void RunChild(const std::string& native, int fd) {
  // A fault of FreeXL ends the child as the system ends it, without the
  // crash handlers the parent may have installed.
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGPIPE, SIGALRM}) signal(sig, SIG_DFL);
  alarm(kXlsMaxSeconds);
  LimitChildHeap();
  ChildOut out(fd);
  const void* handle = nullptr;
  unsigned int count = 0;
  if (freexl_open(native.c_str(), &handle) != FREEXL_OK || handle == nullptr ||
      freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK) {
    out.U32(kChildFailed);
    out.Flush();
    _exit(0);
  }
  count = std::min(count, 0xFFFFu);
  out.U32(kChildOk);
  out.U32(count);
  int data = -1;
  for (unsigned int i = 0; i < count; ++i) {
    const char* name = nullptr;
    if (freexl_get_worksheet_name(handle, static_cast<unsigned short>(i), &name) != FREEXL_OK) name = nullptr;
    const std::string_view n = name != nullptr ? std::string_view(name) : std::string_view();
    if (data < 0 && EqualsIgnoringAsciiCase(n, "sheet1")) data = int(i);
    out.Text(n);
  }
  ChildSheet(handle, count > 0 ? 0 : -1, data == 0 ? UINT32_MAX : 1, out);
  ChildSheet(handle, data > 0 ? data : -1, UINT32_MAX, out);
  out.Flush();
  _exit(0);
}

// Reads the child's message, at most `most` bytes; false when it had more.
bool ReadAll(int fd, size_t most, std::string* out) {
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
    if (out->size() + size_t(n) > most) return false;
    out->append(buf, size_t(n));
  }
}

class ChildIn {
 public:
  explicit ChildIn(std::string_view bytes) : bytes_(bytes) {}
  bool U32(uint32_t* v) {
    if (bytes_.size() - at_ < 4) return false;
    std::memcpy(v, bytes_.data() + at_, 4);
    at_ += 4;
    return true;
  }
  bool Text(std::string* t) {
    uint32_t n = 0;
    if (!U32(&n) || bytes_.size() - at_ < n) return false;
    *t = TextOf(bytes_.substr(at_, n));
    at_ += n;
    return true;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

// One sheet of the message; false when the message is malformed.
bool ReadSheet(ChildIn& in, int sheets, std::unique_ptr<XlsWorkbook::Sheet>* out) {
  uint32_t index = 0, rows = 0, columns = 0;
  if (!in.U32(&index)) return false;
  if (index == kNoSheet) return true;
  if (index >= uint32_t(sheets) || !in.U32(&rows) || !in.U32(&columns)) return false;
  if (rows > kSheetRows || columns > kSheetColumns) return false;
  auto sheet = std::make_unique<XlsWorkbook::Sheet>();
  sheet->index = int(index);
  sheet->rows = rows;
  sheet->columns = int(columns);
  uint32_t last_row = 1, last_column = 0;
  for (;;) {
    uint32_t row = 0, column = 0;
    if (!in.U32(&row)) return false;
    if (row == 0) break;
    std::string text;
    if (!in.U32(&column) || !in.Text(&text)) return false;
    // In order, inside the sheet.
    if (row > rows || column < 1 || column > columns || row < last_row ||
        (row == last_row && column <= last_column)) {
      return false;
    }
    last_row = row;
    last_column = column;
    if (sheet->cells.size() < row) sheet->cells.resize(row);
    sheet->cells[row - 1].emplace_back(int(column), std::move(text));
  }
  *out = std::move(sheet);
  return true;
}

}  // namespace

std::unique_ptr<XlsWorkbook> XlsWorkbook::Open(const std::string& path, XlsError* error) {
  *error = XlsError::kCannotOpen;
  std::string native, bytes;
  if (!NativeName(path, &native)) return nullptr;
  if ((*error = Slurp(native, &bytes)) != XlsError::kNone) return nullptr;
  uint64_t cells = 0;
  if (!ClaimedXlsCells(bytes, &cells)) {
    *error = XlsError::kNotWorkbook;
    return nullptr;
  }
  if (cells > kXlsMaxCells) {
    *error = XlsError::kTooLarge;
    return nullptr;
  }
  bytes.clear();
  bytes.shrink_to_fit();

  *error = XlsError::kCannotOpen;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return nullptr;
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return nullptr;
  }
  if (child == 0) {
    close(fds[0]);
    RunChild(native, fds[1]);
  }
  close(fds[1]);
  std::string message;
  // Texts, and for each cell its 12 bytes of place and length.
  const bool fits = ReadAll(fds[0], size_t(kXlsMaxTextBytes + 12 * kXlsMaxCells + (1 << 20)), &message);
  close(fds[0]);
  if (!fits) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!fits) {
    *error = XlsError::kTooLarge;
    return nullptr;
  }
  *error = XlsError::kNotWorkbook;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return nullptr;

  ChildIn in(message);
  uint32_t ok = 0, count = 0;
  if (!in.U32(&ok) || ok != kChildOk || !in.U32(&count) || count > 0xFFFF) return nullptr;
  std::unique_ptr<XlsWorkbook> book(new XlsWorkbook());
  book->names_.resize(count);
  for (std::string& name : book->names_) {
    if (!in.Text(&name)) return nullptr;
  }
  if (!ReadSheet(in, int(count), &book->first_) || !ReadSheet(in, int(count), &book->data_) || !in.AtEnd()) {
    return nullptr;
  }
  *error = XlsError::kNone;
  return book;
}

XlsWorkbook::XlsWorkbook() = default;
XlsWorkbook::~XlsWorkbook() = default;

std::string XlsWorkbook::SheetName(int sheet) const {
  return sheet >= 0 && sheet < SheetCount() ? names_[size_t(sheet)] : std::string();
}

int XlsWorkbook::FindSheet(std::string_view name) const {
  for (int i = 0; i < SheetCount(); ++i) {
    if (EqualsIgnoringAsciiCase(names_[size_t(i)], name)) return i;
  }
  return -1;
}

bool XlsWorkbook::SelectSheet(int sheet) {
  selected_ = nullptr;
  if (sheet < 0) return false;
  if (data_ && data_->index == sheet) {
    selected_ = data_.get();
  } else if (first_ && first_->index == sheet) {
    selected_ = first_.get();
  }
  return selected_ != nullptr;
}

uint32_t XlsWorkbook::RowCount() const { return selected_ ? selected_->rows : 0; }
int XlsWorkbook::ColumnCount() const { return selected_ ? selected_->columns : 0; }

std::string XlsWorkbook::CellText(uint32_t row, int column) const {
  if (selected_ == nullptr || row < 1 || row > selected_->cells.size()) return {};
  const auto& cells = selected_->cells[row - 1];
  const auto it = std::lower_bound(cells.begin(), cells.end(), column,
                                   [](const std::pair<int, std::string>& c, int col) { return c.first < col; });
  return it != cells.end() && it->first == column ? it->second : std::string();
}

std::vector<XlsHeaderCell> ReadXlsHeaderRow(XlsWorkbook& book) {
  std::vector<XlsHeaderCell> cells;
  if (!book.SelectSheet(0) || book.RowCount() < 1) return cells;
  cells.reserve(size_t(book.ColumnCount()));
  for (int c = 1; c <= book.ColumnCount(); ++c) cells.push_back({c, book.CellText(1, c)});
  return cells;
}

bool SelectXlsDataSheet(XlsWorkbook& book) {
  const int sheet = book.FindSheet("sheet1");
  if (sheet < 0) {
    book.SelectSheet(-1);
    return false;
  }
  return book.SelectSheet(sheet);
}

}  // namespace tarvok::platform
