#include "store/grid_binding.h"

#include <string.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "store/table.h"

namespace tarvok::store {
namespace {

// Keeps the caller's LastError across one of the provider's operations.
class KeepLastError {
 public:
  KeepLastError() : saved_(LastError()) {}
  ~KeepLastError() { SetLastError(saved_); }
  KeepLastError(const KeepLastError&) = delete;
  KeepLastError& operator=(const KeepLastError&) = delete;

 private:
  int saved_;
};

void Wipe(std::string* secret) {
  if (!secret->empty()) explicit_bzero(secret->data(), secret->size());
  secret->clear();
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The leading decimal integer of a typed text; beyond the 64-bit range the
// nearest bound.
int64_t LeadingInteger(std::string_view gbk) {
  const std::string s = NormalizeWidth(gbk);
  size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  // Accumulated below zero, where the range reaches one further.
  int64_t v = 0;
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  bool beyond = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    const int d = s[i] - '0';
    if (beyond) continue;
    if (v < (kMin + d) / 10) {
      beyond = true;
    } else {
      v = v * 10 - d;
    }
  }
  if (beyond) return negative ? kMin : std::numeric_limits<int64_t>::max();
  if (negative) return v;
  return v == kMin ? std::numeric_limits<int64_t>::max() : -v;
}

template <typename Int>
Int ClampedInteger(std::string_view gbk) {
  return static_cast<Int>(std::clamp<int64_t>(LeadingInteger(gbk), std::numeric_limits<Int>::min(),
                                              std::numeric_limits<Int>::max()));
}

template <typename Float>
Float ClampedNumber(std::string_view gbk) {
  constexpr double kMax = std::numeric_limits<Float>::max();
  return static_cast<Float>(std::clamp(TextToNumber(gbk), -kMax, kMax));
}

bool TrueText(std::string_view gbk) {
  static const std::string kZhen = "真"_gbk;
  for (std::string_view word : {std::string_view("1"), std::string_view(kZhen), std::string_view("true"),
                                std::string_view("t"), std::string_view("zheng"), std::string_view("zhen"),
                                std::string_view("zeng"), std::string_view("zen"), std::string_view("z")}) {
    if (NamesEqual(gbk, word)) return true;
  }
  return false;
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hex digits in pairs, ASCII blanks between them ignored; nullopt for
// anything else.
std::optional<std::string> FromHex(std::string_view text) {
  std::string out;
  int high = -1;
  for (char c : text) {
    if (IsSpace(c)) continue;
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    if (high < 0) {
      high = d;
    } else {
      out += static_cast<char>(high << 4 | d);
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

// The longest prefix of whole characters within `width` bytes. A byte from
// 0x80 on starts a character of two bytes, or of four when a digit follows
// it (the GB18030 form of what GBK lacks).
std::string CutToWidth(std::string text, size_t width) {
  if (text.size() <= width) return text;
  size_t i = 0;
  while (i < text.size()) {
    size_t n = 1;
    if (static_cast<unsigned char>(text[i]) >= 0x80) {
      n = i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9' ? 4 : 2;
    }
    if (i + n > width) break;
    i += n;
  }
  text.resize(i);
  return text;
}

std::string FloatText(double v, int precision) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string();
}

std::string FormatCell(const Value& v, int bytes_mode) {
  return std::visit(
      [bytes_mode](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                      std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          return std::to_string(x);
        } else if constexpr (std::is_same_v<T, float>) {
          return FloatText(x, 6);
        } else if constexpr (std::is_same_v<T, double>) {
          return NumberToText(x);
        } else if constexpr (std::is_same_v<T, bool>) {
          static const std::string kTrue = "真"_gbk, kFalse = "假"_gbk;
          return x ? kTrue : kFalse;
        } else if constexpr (std::is_same_v<T, DateTime>) {
          return x.value == kMinDateTime ? std::string() : DateToText(x, DateTextForm::kFull);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return x;
        } else if constexpr (std::is_same_v<T, ByteString>) {
          return bytes_mode == kBytesAsHex ? Hex(x.bytes) : x.bytes;
        } else {
          return std::string();  // CodeRef
        }
      },
      v);
}

std::optional<Value> ParseCell(std::string_view text, const FieldDesc& f, int bytes_mode) {
  switch (f.type) {
    case FieldType::kByte: return ClampedInteger<uint8_t>(text);
    case FieldType::kInt16: return ClampedInteger<int16_t>(text);
    case FieldType::kInt32: return ClampedInteger<int32_t>(text);
    case FieldType::kInt64: return LeadingInteger(text);
    case FieldType::kFloat32: return ClampedNumber<float>(text);
    case FieldType::kFloat64: return ClampedNumber<double>(text);
    case FieldType::kLogical: return TrueText(text);
    case FieldType::kDateTime: return TextToDate(text);
    case FieldType::kText: return CutToWidth(std::string(text), f.width);
    case FieldType::kMemo: return std::string(text);
    case FieldType::kBytes: {
      if (bytes_mode != kBytesAsHex) return ByteString{std::string(text)};
      auto bytes = FromHex(text);
      if (!bytes) return std::nullopt;
      return ByteString{std::move(*bytes)};
    }
    case FieldType::kCodeRef: break;
  }
  return std::nullopt;
}

bool ShowsBytes(int mode) { return mode == kBytesAsHex || mode == kBytesAsText; }

}  // namespace

int DefaultColumnChars(const FieldDesc& field) {
  int chars = 4;
  switch (field.type) {
    case FieldType::kInt16: chars = 7; break;
    case FieldType::kInt32: chars = 11; break;
    case FieldType::kInt64: case FieldType::kFloat64: chars = 16; break;
    case FieldType::kFloat32: chars = 10; break;
    case FieldType::kLogical: chars = 3; break;
    case FieldType::kDateTime: chars = 26; break;
    case FieldType::kText:
      chars = static_cast<int>(std::min<uint32_t>(field.width, std::numeric_limits<int>::max()));
      break;
    case FieldType::kMemo: chars = 40; break;
    default: break;
  }
  const size_t by_name = field.name.size() + 1;
  if (by_name > static_cast<size_t>(chars)) chars = static_cast<int>(std::min<size_t>(by_name, 100));
  return chars;
}

// ---- DatabaseProvider --------------------------------------------------------

DatabaseProvider::DatabaseProvider() = default;

DatabaseProvider::~DatabaseProvider() {
  KeepLastError keep;
  const std::vector<DataSource*> sources = sources_;
  for (DataSource* s : sources) s->ProviderGone();
  Wipe(&password_);
}

bool DatabaseProvider::Fail(int code) {
  last_error_ = code;
  return false;
}

bool DatabaseProvider::SetFile(std::string gbk_path) {
  file_ = std::move(gbk_path);
  return Reload();
}

bool DatabaseProvider::SetPassword(std::string gbk_password) {
  Wipe(&password_);
  password_ = std::move(gbk_password);
  Wipe(&gbk_password);
  return Reload();
}

void DatabaseProvider::SetBytesMode(int mode) {
  mode = ShowsBytes(mode) ? mode : kBytesHidden;
  if (mode == bytes_mode_) return;
  bytes_mode_ = mode;
  if (!has_table_) return;
  KeepLastError keep;
  BuildColumns();
  ResetSources();
}

bool DatabaseProvider::Reload() {
  KeepLastError keep;
  store_.CloseAllTables();
  has_table_ = false;
  columns_.clear();
  last_error_ = 0;
  if (!file_.empty()) {
    if (password_ == "?") {
      // The store would take "?" as a request to ask the user.
      last_error_ = kErrBadPasswordText;
    } else {
      OpenOptions options{.sharing = Sharing::kShared, .access = Access::kReadWrite, .password = password_};
      has_table_ = store_.OpenTable(file_, options);
      Wipe(&options.password);
      if (has_table_) {
        BuildColumns();
      } else {
        last_error_ = LastError();
      }
    }
  }
  const int error = last_error_;
  ResetSources();
  last_error_ = error;
  return has_table_;
}

void DatabaseProvider::BuildColumns() {
  columns_.clear();
  const int n = store_.FieldCount();
  for (int k = 1; k <= n; ++k) {
    std::optional<FieldDesc> f = store_.FieldInfo(k);
    if (!f || (f->type == FieldType::kBytes && !ShowsBytes(bytes_mode_))) continue;
    columns_.push_back({k, *f, DefaultColumnChars(*f)});
  }
}

void DatabaseProvider::ResetSources() {
  const std::vector<DataSource*> sources = sources_;
  for (DataSource* s : sources) {
    if (std::find(sources_.begin(), sources_.end(), s) != sources_.end()) s->Reset();
  }
}

void DatabaseProvider::Attach(DataSource* source) { sources_.push_back(source); }

void DatabaseProvider::Detach(DataSource* source) {
  sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

int32_t DatabaseProvider::RowCount() {
  KeepLastError keep;
  last_error_ = 0;
  if (!has_table_) return 0;
  const int32_t n = store_.RecordCount();
  last_error_ = LastError();
  return n;
}

const GridColumn* DatabaseProvider::Cell(int32_t row, int column) {
  if (!has_table_ || row < 0 || column < 0 || column >= static_cast<int>(columns_.size())) return nullptr;
  RecordTable* t = store_.current();
  if (t == nullptr) return nullptr;
  // The position is set directly: GoToRecord would read the record count
  // for every cell, and clamp a row beyond the file to the last record.
  t->position = row;
  return &columns_[size_t(column)];
}

std::string DatabaseProvider::CellText(int32_t row, int column) {
  KeepLastError keep;
  last_error_ = 0;
  const GridColumn* c = Cell(row, column);
  if (c == nullptr) return Fail(kErrNoSuchRecord), std::string();
  const Value v = store_.ReadField(c->field);
  if (LastError() != kOk) return Fail(LastError()), std::string();
  return FormatCell(v, bytes_mode_);
}

bool DatabaseProvider::SetCellText(int32_t row, int column, std::string_view gbk_text) {
  KeepLastError keep;
  last_error_ = 0;
  const GridColumn* c = Cell(row, column);
  if (c == nullptr) return Fail(kErrNoSuchRecord);
  if (c->desc.type == FieldType::kCodeRef) return Fail(kErrFieldTypeMismatch);
  const Value now = store_.ReadField(c->field);
  if (LastError() != kOk) return Fail(LastError());
  if (FormatCell(now, bytes_mode_) == gbk_text) return true;
  std::optional<Value> v = ParseCell(gbk_text, c->desc, bytes_mode_);
  if (!v) return Fail(kErrFieldTypeMismatch);
  const int field = c->field;
  if (!store_.WriteField(field, std::move(v))) return Fail(LastError());
  const std::vector<DataSource*> sources = sources_;
  for (DataSource* s : sources) s->CellWritten(row, column);
  return true;
}

bool DatabaseProvider::AppendRows(int32_t at, int32_t count) {
  KeepLastError keep;
  last_error_ = 0;
  if (!has_table_) return Fail(kErrNoCurrentTable);
  const int32_t before = store_.RecordCount();
  if (LastError() != kOk) return Fail(LastError());
  if (count < 1 || at != before) return Fail(kErrNoSuchRecord);
  int32_t added = 0;
  int rc = kOk;
  for (; added < count; ++added) {
    if (!store_.AddBlankRecord()) {
      rc = LastError();
      break;
    }
  }
  if (added > 0) {
    const int32_t after = store_.RecordCount();
    const std::vector<DataSource*> sources = sources_;
    for (DataSource* s : sources) s->RowsAppended(std::max(after, before + added));
  }
  return rc == kOk || Fail(rc);
}

bool DatabaseProvider::DeleteRows(int32_t first, int32_t count) {
  KeepLastError keep;
  last_error_ = 0;
  if (!has_table_) return Fail(kErrNoCurrentTable);
  RecordTable* t = store_.current();
  // Nobody reads or writes the table between the marks and the pack.
  WholeLock whole;
  int rc = whole.Take(&t->table);
  if (rc != kOk) return Fail(rc);
  const int32_t before = store_.RecordCount();
  if (LastError() != kOk) return Fail(LastError());
  if (first < 0 || count < 1 || int64_t{first} + count > before) return Fail(kErrNoSuchRecord);

  // Live records get a mark and the pack removes them. When a step fails the
  // marks made so far go again, so that no record stays deleted.
  // A slot gets its identifier back only while it still holds the mark put
  // there, so a record never takes another one's identifier.
  std::vector<std::pair<int64_t, int32_t>> marked;
  auto undo = [&] {
    for (const auto& [row, id] : marked) {
      uint8_t b[4];
      if (t->table.ReadExact(t->RecordOffset(row), b, 4, kErrReadRecord) != kOk || GetI32(b) != -id) continue;
      PutI32(b, id);
      t->table.Write(t->RecordOffset(row), b, 4);
    }
    t->position = 0;
  };
  for (int64_t row = first; row < int64_t{first} + count; ++row) {
    uint8_t id[4];
    if ((rc = t->table.ReadExact(t->RecordOffset(row), id, 4, kErrReadRecord)) != kOk) {
      undo();
      return Fail(rc);
    }
    if (GetI32(id) <= 0) continue;  // already marked
    t->position = row;
    if (!store_.DeleteRecord()) {
      rc = LastError();
      undo();
      return Fail(rc);
    }
    marked.emplace_back(row, GetI32(id));
  }
  int packed = kOk;
  if (!store_.Pack()) {
    packed = LastError();
    // A pack that fails puts the records back as they were, unless only
    // freeing the chains of the removed ones failed: then they are gone and
    // what is left behind is unused blocks, so the removal is done.
    const int32_t now = store_.RecordCount();
    if (LastError() != kOk || now == before) {
      undo();
      return Fail(packed);
    }
  }
  store_.GoFirst();
  const int32_t after = store_.RecordCount();
  whole.Release();
  last_error_ = packed;
  const std::vector<DataSource*> sources = sources_;
  for (DataSource* s : sources) s->RowsRemoved(first, count, after);
  return true;
}

// ---- DataSource --------------------------------------------------------------

DataSource::DataSource() = default;

DataSource::~DataSource() {
  if (provider_ != nullptr) provider_->Detach(this);
  const std::vector<DataSourceObserver*> observers = observers_;
  observers_.clear();
  for (DataSourceObserver* o : observers) o->SourceDestroyed();
}

template <typename F>
void DataSource::Notify(F call) {
  const std::vector<DataSourceObserver*> observers = observers_;
  for (DataSourceObserver* o : observers) {
    if (std::find(observers_.begin(), observers_.end(), o) != observers_.end()) call(o);
  }
}

void DataSource::AddObserver(DataSourceObserver* observer) {
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void DataSource::RemoveObserver(DataSourceObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void DataSource::SetProvider(DatabaseProvider* provider) {
  if (provider_ != provider) {
    if (provider_ != nullptr) provider_->Detach(this);
    provider_ = provider;
    if (provider_ != nullptr) provider_->Attach(this);
  }
  Reset();
}

void DataSource::Reset() {
  rows_ = provider_ != nullptr ? std::max(provider_->RowCount(), 0) : 0;
  current_ = 0;
  widths_.assign(size_t(column_count()), std::nullopt);
  colours_.clear();
  Notify([](DataSourceObserver* o) { o->SourceReset(); });
}

void DataSource::ProviderGone() {
  provider_ = nullptr;
  Reset();
}

int DataSource::column_count() const {
  return provider_ != nullptr ? static_cast<int>(provider_->columns().size()) : 0;
}

const GridColumn* DataSource::column(int column) const {
  if (column < 0 || column >= column_count()) return nullptr;
  return &provider_->columns()[size_t(column)];
}

std::string DataSource::CellText(int32_t row, int column) {
  if (provider_ == nullptr || row < 0 || row >= rows_) return {};
  return provider_->CellText(row, column);
}

bool DataSource::CellEditable(int column) const {
  const GridColumn* c = this->column(column);
  return !read_only_ && c != nullptr && c->desc.type != FieldType::kCodeRef;
}

bool DataSource::SetCellText(int32_t row, int column, std::string_view gbk_text) {
  if (!CellEditable(column) || row < 0 || row >= rows_) return false;
  return provider_->SetCellText(row, column, gbk_text);
}

bool DataSource::MoveTo(int32_t row) {
  row = std::clamp(row, 0, std::max(rows_ - 1, 0));
  if (row == current_) return false;
  current_ = row;
  Notify([row](DataSourceObserver* o) { o->CurrentRowChanged(row); });
  return true;
}

bool DataSource::First() { return MoveTo(0); }
bool DataSource::Previous() { return MoveTo(current_ - 1); }
bool DataSource::Next() { return current_ < std::numeric_limits<int32_t>::max() && MoveTo(current_ + 1); }
bool DataSource::Last() { return MoveTo(rows_ - 1); }

EditOutcome DataSource::Insert() {
  if (!can_insert()) return EditOutcome::kNotAllowed;
  if (provider_ == nullptr) return EditOutcome::kFailed;
  const int32_t at = provider_->RowCount();
  if (provider_->last_error() != kOk || !provider_->AppendRows(at, 1)) return EditOutcome::kFailed;
  // Reported also when the new row has the index of the current one (the
  // first row of an empty table): the grids put their cursor on it.
  current_ = std::clamp(at, 0, std::max(rows_ - 1, 0));
  const int32_t row = current_;
  Notify([row](DataSourceObserver* o) { o->CurrentRowChanged(row); });
  return EditOutcome::kDone;
}

EditOutcome DataSource::Delete() {
  if (!can_delete()) return EditOutcome::kNotAllowed;
  if (provider_ == nullptr || rows_ == 0) return EditOutcome::kFailed;
  deleting_ = true;
  const bool ok = provider_->DeleteRows(current_, 1);
  deleting_ = false;
  if (!ok) return EditOutcome::kFailed;
  const int32_t row = current_;
  Notify([row](DataSourceObserver* o) { o->CurrentRowChanged(row); });
  return EditOutcome::kDone;
}

void DataSource::RowsAppended(int32_t new_count) {
  if (new_count <= rows_) return;
  const int32_t first = rows_;
  rows_ = new_count;
  Notify([first, new_count](DataSourceObserver* o) { o->RowsInserted(first, new_count - first); });
}

void DataSource::RemoveRows(int32_t first, int32_t count) {
  if (first >= rows_ || count <= 0) return;
  count = std::min(count, rows_ - first);
  rows_ -= count;
  std::map<std::pair<int32_t, int>, uint32_t> kept;
  for (const auto& [cell, rgb] : colours_) {
    if (cell.first < first) {
      kept.emplace(cell, rgb);
    } else if (cell.first >= first + count) {
      kept.emplace(std::make_pair(cell.first - count, cell.second), rgb);
    }
  }
  colours_ = std::move(kept);
  Notify([first, count](DataSourceObserver* o) { o->RowsRemoved(first, count); });
}

void DataSource::RowsRemoved(int32_t first, int32_t count, int32_t new_count) {
  const int32_t was_current = current_;
  int32_t current = current_;
  if (current >= first + int64_t{count}) {
    current -= count;
  } else if (current >= first) {
    current = first;
  }
  RemoveRows(first, count);
  // Slots the pack took besides these, or records another opener added.
  new_count = std::max(new_count, 0);
  if (rows_ > new_count) RemoveRows(new_count, rows_ - new_count);
  if (rows_ < new_count) RowsAppended(new_count);
  current_ = std::clamp(current, 0, std::max(rows_ - 1, 0));
  if (!deleting_ && current_ != was_current) {
    const int32_t row = current_;
    Notify([row](DataSourceObserver* o) { o->CurrentRowChanged(row); });
  }
}

void DataSource::CellWritten(int32_t row, int column) {
  if (row >= rows_) return;
  Notify([row, column](DataSourceObserver* o) { o->CellChanged(row, column); });
}

void DataSource::SetColumnWidths(int first_column, int count, int width) {
  widths_.resize(size_t(column_count()));
  const int64_t end = std::min<int64_t>(int64_t{first_column} + count, int64_t{column_count()} + 1);
  bool any = false;
  for (int64_t k = std::max(first_column, 1); k < end; ++k) {
    widths_[size_t(k - 1)] = std::max(width, 0);
    any = true;
  }
  if (any) Notify([](DataSourceObserver* o) { o->ColumnWidthsChanged(); });
}

std::optional<int> DataSource::ColumnWidth(int column) const {
  if (column < 0 || size_t(column) >= widths_.size()) return std::nullopt;
  return widths_[size_t(column)];
}

bool DataSource::SetCellColour(int32_t row, int column, uint32_t rgb) {
  if (row < 0 || row >= rows_ || column < 0 || column >= column_count()) return false;
  colours_[{row, column}] = rgb & 0xFFFFFF;
  Notify([row, column](DataSourceObserver* o) { o->CellChanged(row, column); });
  return true;
}

std::optional<uint32_t> DataSource::CellColour(int32_t row, int column) const {
  auto it = colours_.find({row, column});
  if (it == colours_.end()) return std::nullopt;
  return it->second;
}

}  // namespace tarvok::store
