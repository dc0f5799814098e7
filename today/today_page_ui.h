// The today page and the memo page in the window: the diary box of the
// selected day, the memo box, and the page change of the right page
// control. The table side is today/today_page.h.
//
// Units: 编辑框_本日志 (the selected day's diary), 编辑框备忘便签 (the memo
// note), 选择夹右侧 (pages 今日, 数据总览, 备忘便签, 联系人). The selected day is
// the one of the lunar month calendar 月历.
#pragma once

#include "ui/context.h"

namespace tarvok::today {

// Shows the selected day's diary in 编辑框_本日志. Setting the text raises the
// box's change event, so the entry is saved back unchanged right after.
void LoadDayDiary(ui::Context& ctx);

// Shows the memo note in 编辑框备忘便签 (and so saves it back, which creates
// the memo's one record on the first visit).
void LoadMemo(ui::Context& ctx);

// The handler of the page-changed event of 选择夹右侧:
//   0 今日      LoadDayDiary, then the day's events
//   1 数据总览  the overview grids read their files again (what the other
//              pages changed shows) and get their column widths
//   2 备忘便签  LoadMemo
//   3 联系人    the same for the contacts grid
void OnRightPageChanged(ui::Context& ctx, int page);

// Connects the change events of the two boxes to SaveDayDiary / SaveMemo,
// the diary box's loss of the input focus to the week view's refresh, and
// the page change of 选择夹右侧 to OnRightPageChanged. Once per window.
void ConnectTodayPage(ui::Context& ctx);

}  // namespace tarvok::today
