#include "datetime/date_time.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>

#include "platform/gbk.h"

namespace tarvok {
namespace {

// The GBK characters that label the parts of a date, converted once.
struct PartWords {
  std::string year = "年"_gbk;
  std::string month = "月"_gbk;
  std::string day = "日"_gbk;
  std::string hour = "时"_gbk;
  std::string minute = "分"_gbk;
  std::string second = "秒"_gbk;
};

const PartWords& Words() {
  static const PartWords words;
  return words;
}

// The texts are short and made often (every grid cell, every list line), so
// they are put together in a fixed buffer: at most 6 numbers of up to 4
// digits and 6 two-byte words.
class TextBuffer {
 public:
  void Append(int n, const std::string& word) {
    end_ = std::to_chars(end_, buf_ + sizeof buf_, n).ptr;
    end_ = std::copy(word.begin(), word.end(), end_);
  }
  std::string Text() const { return std::string(buf_, static_cast<std::size_t>(end_ - buf_)); }

 private:
  char buf_[64];
  char* end_ = buf_;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the text left to right; every position it stops at is a character
// boundary, because it only ever steps over ASCII bytes and whole two-byte
// part words (GBK second bytes are never digits or separators).
class DateReader {
 public:
  explicit DateReader(std::string_view text) : text_(text) {}

  int Number(int max_digits) {
    int value = 0;
    for (int n = 0; n < max_digits && pos_ < text_.size() && IsDigit(text_[pos_]); ++n) {
      value = value * 10 + (text_[pos_++] - '0');
    }
    return value;
  }

  void SkipSeparator(const std::string& word, bool space_too = false) {
    if (pos_ >= text_.size()) return;
    const char c = text_[pos_];
    if (c == '-' || c == '.' || c == '/' || c == ':' || (space_too && c == ' ')) {
      ++pos_;
    } else if (text_.substr(pos_).starts_with(word)) {
      pos_ += word.size();
    }
  }

  bool AtEndOr(const std::string& word) const {
    return pos_ == text_.size() || text_.substr(pos_).starts_with(word);
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string DateToText(DateTime d, DateTextForm form) {
  const PartWords& w = Words();
  const DateParts p = SplitDate(d);
  TextBuffer out;
  if (form != DateTextForm::kTime) {
    out.Append(p.year, w.year);
    out.Append(p.month, w.month);
    out.Append(p.day, w.day);
    if (form == DateTextForm::kDate) return out.Text();
  }
  // The full form names the time only as far as its last part that is not 0.
  const bool all = form == DateTextForm::kTime;
  const int parts = all || p.second != 0 ? 3 : p.minute != 0 ? 2 : p.hour != 0 ? 1 : 0;
  if (parts >= 1) out.Append(p.hour, w.hour);
  if (parts >= 2) out.Append(p.minute, w.minute);
  if (parts >= 3) out.Append(p.second, w.second);
  return out.Text();
}

DateTime TextToDate(std::string_view text) {
  const PartWords& w = Words();
  const std::string normal = NormalizeWidth(text);
  DateReader r(normal);
  const int year = r.Number(4);
  r.SkipSeparator(w.year);
  const int month = r.Number(2);
  r.SkipSeparator(w.month);
  const int day = r.Number(2);
  r.SkipSeparator(w.day, /*space_too=*/true);
  const int hour = r.Number(2);
  r.SkipSeparator(w.hour);
  const int minute = r.Number(2);
  r.SkipSeparator(w.minute);
  const int second = r.Number(2);
  if (!r.AtEndOr(w.second)) return kInvalidDate;

  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59) {
    return kInvalidDate;
  }
  return Clamp(MakeDate(year, month, day, hour, minute, second));
}

}  // namespace tarvok
