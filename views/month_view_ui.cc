#include "views/month_view_ui.h"

#include <QObject>

#include "datetime/date_time.h"
#include "events/day_events_ui.h"
#include "platform/gbk.h"
#include "today/today_page_ui.h"
#include "ui/lunar_calendar.h"

namespace tarvok::views {

void ShowDay(ui::Context& ctx) {
  const ui::Units units = ctx.units();
  units.Pages("选择夹右侧"_gbk).SetCurrentPage(0);
  const std::string day = DateToText(ctx.calendar().selectedDate(), DateTextForm::kDate);
  units.Group("分组框_今日志"_gbk).SetCaption("日志-"_gbk + day);
  units.Group("分组框_事项"_gbk).SetCaption("周期事项-"_gbk + day);
  today::LoadDayDiary(ctx);
  events::ListDayEvents(ctx);
}

void GoToToday(ui::Context& ctx) {
  ctx.calendar().setSelectedDate(Now());
  ShowDay(ctx);
}

void OnCalendarWheel(ui::Context& ctx, int distance) {
  ctx.calendar().setSelectedDate(AddToDate(Now(), DateUnit::kMonth, distance > 0 ? 1 : -1));
}

void ConnectMonthView(ui::Context& ctx) {
  ui::Context* c = &ctx;
  ui::LunarCalendar* cal = &ctx.calendar();
  QObject::connect(cal, &ui::LunarCalendar::dayActivated, cal, [c] { ShowDay(*c); });
  QObject::connect(cal, &ui::LunarCalendar::goToTodayRequested, cal, [c] { GoToToday(*c); });
  QObject::connect(cal, &ui::LunarCalendar::wheelStepped, cal,
                   [c](int step) { OnCalendarWheel(*c, step); });
}

}  // namespace tarvok::views
