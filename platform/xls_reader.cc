#include "platform/xls_reader.h"

#include <fcntl.h>
#include <freexl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
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

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
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

std::string TextOf(const char* utf8) {
  if (utf8 == nullptr) return {};
  const std::string_view s(utf8);
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
  const void* handle = nullptr;
  const int rc = freexl_open(native.c_str(), &handle);
  // FreeXL reports some damaged files as opened, without a handle.
  if (rc != FREEXL_OK || handle == nullptr) {
    if (handle != nullptr) freexl_close(handle);
    *error = rc == FREEXL_FILE_NOT_FOUND ? XlsError::kCannotOpen : XlsError::kNotWorkbook;
    return nullptr;
  }
  unsigned int count = 0;
  if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK) {
    freexl_close(handle);
    *error = XlsError::kNotWorkbook;
    return nullptr;
  }
  std::unique_ptr<XlsWorkbook> book(new XlsWorkbook(handle));
  book->sheet_count_ = int(std::min<unsigned int>(count, 0xFFFF));
  *error = XlsError::kNone;
  return book;
}

XlsWorkbook::XlsWorkbook(const void* handle) : handle_(handle) {}

XlsWorkbook::~XlsWorkbook() { freexl_close(handle_); }

std::string XlsWorkbook::SheetName(int sheet) const {
  const char* name = nullptr;
  if (sheet < 0 || sheet >= sheet_count_ ||
      freexl_get_worksheet_name(handle_, static_cast<unsigned short>(sheet), &name) != FREEXL_OK) {
    return {};
  }
  return TextOf(name);
}

int XlsWorkbook::FindSheet(std::string_view name) const {
  for (int i = 0; i < sheet_count_; ++i) {
    if (EqualsIgnoringAsciiCase(SheetName(i), name)) return i;
  }
  return -1;
}

bool XlsWorkbook::SelectSheet(int sheet) {
  rows_ = 0;
  columns_ = 0;
  if (sheet < 0 || sheet >= sheet_count_ ||
      freexl_select_active_worksheet(handle_, static_cast<unsigned short>(sheet)) != FREEXL_OK) {
    return false;
  }
  unsigned int rows = 0;
  unsigned short columns = 0;
  if (freexl_worksheet_dimensions(handle_, &rows, &columns) != FREEXL_OK) return false;
  rows_ = rows;
  columns_ = columns;
  return true;
}

std::string XlsWorkbook::CellText(uint32_t row, int column) const {
  if (row < 1 || row > rows_ || column < 1 || column > columns_) return {};
  FreeXL_CellValue v{};
  if (freexl_get_cell_value(handle_, row - 1, static_cast<unsigned short>(column - 1), &v) != FREEXL_OK) return {};
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
      return TextOf(v.value.text_value);
    default:
      return {};
  }
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
