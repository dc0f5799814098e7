// The month view: what the organiser does when a day of the lunar month
// calendar 月历 is chosen, its right-click menu 今日 with 回到今日, and the
// mouse wheel over it. The calendar's selected day is the organiser's
// current day.
#pragma once

#include "ui/context.h"

namespace tarvok::views {

// Shows the selected day on the today page: switches 选择夹右侧 to page 0,
// names the day in the captions of 分组框_今日志 ("日志-" + date) and
// 分组框_事项 ("周期事项-" + date), the date in its date text, and fills the
// diary box and the event list.
void ShowDay(ui::Context& ctx);

// Selects today and shows it.
void GoToToday(ui::Context& ctx);

// The wheel turned `distance` notches (positive away from the user): selects
// today's day a month later (distance > 0) or a month earlier (otherwise),
// always counted from today, cut back to that month's length. The today
// page keeps showing the day it showed.
void OnCalendarWheel(ui::Context& ctx, int distance);

// Connects the calendar's day event, 回到今日 and the wheel. Once per window.
void ConnectMonthView(ui::Context& ctx);

}  // namespace tarvok::views
