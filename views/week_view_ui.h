// The week view: seven days around today in the grid 高级表格_周历, each with
// its date, weekday, the beginning of its diary entry and the periodic events
// that fall on it. The grid is rebuilt completely by RefreshWeekView whenever
// something asks for it; it never updates itself.
//
// Rows 0..7, row 0 the header; columns:
//   0  hidden  the row's day as a date text (the key for clicks and lookups)
//   1  40 px   "日期"       month.day ("5.1")
//   2  20 px   "周"         the weekday character (日 一 二 … 六)
//   3  150 px  "日志(预览)" the day's diary text, its first 100 bytes
//   4  130 px  "事项(预览)" every event of the day, in table order, each
//                           followed by a line break
// Row r (1..7) is today + (r - 4) days: the window always centres on today,
// whatever day the month calendar shows. Rows 1..7 are as high as the
// row-height box 编辑框3 says.
#pragma once

#include <string>
#include <string_view>

#include "datetime/date_time.h"
#include "ui/context.h"

namespace tarvok::views {

// The day of row r (1..7), with the current time of day.
DateTime WeekRowDay(int row);
// "日", "一" … "六" for WeekdayOf's 1 (Sunday) … 7 (Saturday), GBK.
std::string WeekdayChar(int weekday);
// The first `bytes` bytes of a GBK text, without the half of a double-byte
// character that the cut would leave at its end.
std::string PreviewBytes(std::string_view gbk, size_t bytes = 100);

void RefreshWeekView(ui::Context& ctx);

// The grid's click (the left button released over a cell that has become
// the current one): the tooltip shows the cell's first 100 bytes; the row's
// day becomes the calendar's selected day (the header row's empty key is
// refused and the day stays), and the today page shows it without
// switching pages; the diary box gets the focus.
void OnWeekCellClick(ui::Context& ctx);

// Connects the click, the right-click menu 同步周历库 ("刷新周视图") and the
// context's refresh hook. Once per window.
void ConnectWeekView(ui::Context& ctx);

}  // namespace tarvok::views
