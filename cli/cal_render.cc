// The calendar's texts are laid out in GBK, where a character's byte count
// is also its width in a terminal (one column for ASCII, two for a Chinese
// character), and converted to UTF-8 line by line.
#include <cstdio>
#include <string>

#include "cli/cal_tool.h"
#include "datetime/date_time.h"
#include "platform/gbk.h"

namespace tarvok::cal {
namespace {

constexpr size_t kCellWidth = 8;  // 闰九月 in parentheses is the widest label

// The pattern of the information line's right part.
const std::string& InfoPattern() {
  static const std::string pattern = "%Y年(%S)%M%D %y-%m-%d"_gbk;
  return pattern;
}

std::string Centred(const std::string& gbk, size_t width) {
  if (gbk.size() >= width) return gbk;
  const size_t left = (width - gbk.size()) / 2;
  return std::string(left, ' ') + gbk + std::string(width - gbk.size() - left, ' ');
}

void EndLine(std::string* gbk_line, std::string* out) {
  while (!gbk_line->empty() && gbk_line->back() == ' ') gbk_line->pop_back();
  *out += GbkToUtf8(*gbk_line);
  *out += '\n';
  gbk_line->clear();
}

std::string Marked(const std::string& label, bool in_month) {
  if (in_month || label.empty()) return label;
  return "(" + label + ")";
}

std::string IsoDate(int y, int m, int d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

// A JSON string of a GBK text.
std::string JsonString(const std::string& gbk) {
  std::string out = "\"";
  for (unsigned char c : GbkToUtf8(gbk)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string JsonLunar(const std::optional<lunar::LunarDate>& l) {
  if (!l) return "null";
  return "{\"year\":" + std::to_string(l->year) + ",\"month\":" + std::to_string(l->month) +
         ",\"day\":" + std::to_string(l->day) + ",\"leap\":" + (l->leap ? "true" : "false") + "}";
}

DateTime EndOfDay(int y, int m, int d) { return MakeDate(y, m, d, 23, 59, 59); }

}  // namespace

std::string MonthText(const lunar::MonthGrid& grid) {
  constexpr size_t kLineWidth = kCellWidth * lunar::kGridColumns + lunar::kGridColumns - 1;
  std::string out, line;
  line = Centred("公历 "_gbk + std::to_string(grid.year) + " 年  "_gbk +
                     lunar::GregorianMonthName(grid.month),
                 kLineWidth);
  EndLine(&line, &out);
  EndLine(&line, &out);
  for (int w = 1; w <= lunar::kGridColumns; ++w) {
    if (w > 1) line += ' ';
    line += Centred(lunar::WeekdayHeaderName(w), kCellWidth);
  }
  EndLine(&line, &out);
  for (int row = 0; row < lunar::kGridRows; ++row) {
    EndLine(&line, &out);
    for (int upper = 1; upper >= 0; --upper) {
      for (int col = 0; col < lunar::kGridColumns; ++col) {
        const lunar::GridCell& c = grid.cells[row * lunar::kGridColumns + col];
        if (col > 0) line += ' ';
        line += Centred(Marked(upper ? lunar::UpperLabel(c) : lunar::LowerLabel(c), c.in_month),
                        kCellWidth);
      }
      EndLine(&line, &out);
    }
  }
  EndLine(&line, &out);
  line = lunar::TermLine(grid);
  EndLine(&line, &out);
  return out;
}

std::string MonthJson(const lunar::MonthGrid& grid) {
  std::string out = "{\"year\":" + std::to_string(grid.year) +
                    ",\"month\":" + std::to_string(grid.month) + ",\"cells\":[\n";
  for (int i = 0; i < lunar::kGridCells; ++i) {
    const lunar::GridCell& c = grid.cells[i];
    out += "{\"date\":\"" + IsoDate(c.year, c.month, c.day) + "\"";
    out += ",\"year\":" + std::to_string(c.year) + ",\"month\":" + std::to_string(c.month) +
           ",\"day\":" + std::to_string(c.day);
    out += ",\"weekday\":" + std::to_string(c.weekday);
    out += std::string(",\"in_month\":") + (c.in_month ? "true" : "false");
    out += ",\"lunar\":" + JsonLunar(c.lunar);
    out += ",\"upper\":" + JsonString(lunar::UpperLabel(c));
    out += ",\"lower\":" + JsonString(lunar::LowerLabel(c));
    out += ",\"solar_term\":" + std::to_string(c.solar_term) + "}";
    out += i + 1 < lunar::kGridCells ? ",\n" : "\n";
  }
  out += "],\"info\":" + JsonString(lunar::TermLine(grid)) + "}\n";
  return out;
}

std::string DayText(int year, int month, int day) {
  return GbkToUtf8(lunar::FormatLunarInfo(EndOfDay(year, month, day), InfoPattern())) + "\n";
}

std::string DayJson(int year, int month, int day) {
  const DateTime t = EndOfDay(year, month, day);
  const int sb = lunar::StemBranchYear(t);
  std::string out = "{\"date\":\"" + IsoDate(year, month, day) + "\"";
  out += ",\"lunar\":" + JsonLunar(lunar::GregorianToLunar(year, month, day));
  out += ",\"stem_branch\":" + std::to_string(sb);
  out += ",\"stem_branch_name\":" + JsonString(lunar::StemBranchName(sb));
  out += ",\"zodiac\":" + JsonString(lunar::ZodiacName((sb - 1) % 12 + 1));
  out += ",\"solar_term\":" + std::to_string(lunar::SolarTermOn(year, month, day));
  out += ",\"info\":" + JsonString(lunar::FormatLunarInfo(t, InfoPattern())) + "}\n";
  return out;
}

}  // namespace tarvok::cal
