#include "lunar/month_grid.h"

#include <charconv>

#include "platform/gbk.h"

namespace tarvok::lunar {
namespace {

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

struct HeaderNames {
  std::array<std::string, 8> weekdays;
  std::array<std::string, 13> months;
  HeaderNames() {
    const std::string weekday_word = "星期"_gbk;
    const std::string digits = "一二三四五六日"_gbk;
    for (int w = 1; w <= 7; ++w) weekdays[w] = weekday_word + digits.substr(2 * (w - 1), 2);
    const std::string numbers = "一二三四五六七八九十"_gbk;
    const std::string month_word = "月"_gbk;
    for (int m = 1; m <= 10; ++m) months[m] = numbers.substr(2 * (m - 1), 2) + month_word;
    months[11] = "十一月"_gbk;
    months[12] = "十二月"_gbk;
  }
};

const HeaderNames& Headers() {
  static const HeaderNames names;
  return names;
}

void AppendNumber(std::string* out, int n) {
  char buf[12];
  out->append(buf, std::to_chars(buf, buf + sizeof buf, n).ptr);
}

}  // namespace

int WeekdayMondayFirst(int year, int month, int day) {
  static constexpr int kMonthOffset[12] = {0, 3, 3, 6, 1, 4, 6, 2, 5, 0, 3, 5};
  const int p = year - 1;
  const int w = (day + kMonthOffset[month - 1] + p % 7 + p / 4 - p / 100 + p / 400 +
                 (IsLeapYear(year) && month > 2 ? 1 : 0)) %
                7;
  return w == 0 ? 7 : w;
}

std::optional<MonthGrid> BuildMonthGrid(int year, int month) {
  if (month < 1 || month > 12) return std::nullopt;
  const int key = year * 12 + month;
  if (key < kFirstYear * 12 + kFirstMonth || key > kLastYear * 12 + kLastMonth) return std::nullopt;

  MonthGrid grid;
  grid.year = year;
  grid.month = month;
  // Back from the 1st to the Monday on or before it.
  int y = year, m = month, d = 1;
  const int back = WeekdayMondayFirst(year, month, 1) - 1;
  if (back > 0) {
    m = month == 1 ? 12 : month - 1;
    y = month == 1 ? year - 1 : year;
    d = DaysInMonth(y, m) - back + 1;
  }
  for (int i = 0; i < kGridCells; ++i) {
    GridCell& c = grid.cells[i];
    c.year = y;
    c.month = m;
    c.day = d;
    c.lunar = GregorianToLunar(y, m, d);
    c.solar_term = SolarTermOn(y, m, d);
    c.weekday = i % kGridColumns + 1;
    c.in_month = m == month;
    if (++d > DaysInMonth(y, m)) {
      d = 1;
      if (++m > 12) {
        m = 1;
        ++y;
      }
    }
  }
  return grid;
}

std::string UpperLabel(const GridCell& cell) {
  std::string out;
  if (cell.day == 1) {
    AppendNumber(&out, cell.month);
    out.push_back('.');
  }
  AppendNumber(&out, cell.day);
  return out;
}

std::string LowerLabel(const GridCell& cell) {
  if (!cell.lunar) return {};
  if (cell.lunar->day == 1) return LunarMonthName(cell.lunar->month, cell.lunar->leap);
  return LunarDayName(cell.lunar->day);
}

std::string TermLine(const MonthGrid& grid) {
  std::string out;
  for (const GridCell& c : grid.cells) {
    if (!c.in_month || c.solar_term == 0) continue;
    if (!out.empty()) out += "  ";
    if (c.lunar) out += LunarDayName(c.lunar->day);
    out += SolarTermName(c.solar_term);
  }
  return out;
}

std::string WeekdayHeaderName(int weekday) {
  if (weekday < 1 || weekday > 7) return {};
  return Headers().weekdays[weekday];
}

std::string GregorianMonthName(int month) {
  if (month < 1 || month > 12) return {};
  return Headers().months[month];
}

}  // namespace tarvok::lunar
