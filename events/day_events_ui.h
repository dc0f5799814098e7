// The event list of the today page, 列表框_周期事项: the periodic events that
// fall on the selected day of 月历, one line each with its record number.
#pragma once

#include "ui/context.h"

namespace tarvok::events {

// Fills 列表框_周期事项 anew with the lines of ListDayEvents for the calendar's
// selected day.
void ListDayEvents(ui::Context& ctx);

}  // namespace tarvok::events
