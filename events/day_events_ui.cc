#include "events/day_events_ui.h"

#include "events/recurrence.h"
#include "platform/gbk.h"
#include "ui/lunar_calendar.h"

namespace tarvok::events {

void ListDayEvents(ui::Context& ctx) {
  ui::ListBox list = ctx.units().List("列表框_周期事项"_gbk);
  list.Clear();
  for (const ListLine& line : ListDayEvents(ctx.store, ctx.calendar().selectedDate())) {
    list.Add({line.text, line.value});
  }
}

}  // namespace tarvok::events
