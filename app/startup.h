// The organiser's start-up and shut-down.
//
// Start-up, before the window takes any input:
//   1. close stale tables (rz35, tx35, bw35, lxr35)
//   2. the single-instance guard: another instance running shows
//      "不要重复运行本程序，否则可能损坏数据库!" and ends, touching no file
//   3. EnsureDataFiles: the data folder and any missing table file
//   4. whether data/rz35.edb is protected
//   5. protected: the password box, then the four tables opened with it; any
//      failure shows "密码错误！" and ends
//   6. not protected: the four tables opened plain; any failure shows
//      "数据库打开失败！" and ends
//   7. the grids bound to their table files
//   8. today selected in the calendar and shown
//   9. the right and left page controls on page 0
//  10. LoadSettings
// then the window is shown and the message loop runs.
//
// Every way out goes through EndProgram. The close query (close button,
// Alt+F4, Esc) asks "确认要退出程序？"; OK ends the program, Cancel keeps it.
// After a normal end the destroy step writes the zoom setting and closes
// every table. A start that ends in steps 2, 5 or 6 does not run it: the
// settings are not loaded then, and writing the form's zoom would replace
// the user's own.
#pragma once

#include "platform/instance_guard.h"
#include "ui/context.h"

namespace tarvok::app {

// Steps 1 to 10 over the context's window, store and program directory,
// with `guard` as the single-instance mark (it holds the mark afterwards).
// Returns false when the start ended the program (ctx.ended is then set).
bool RunStartup(ui::Context& ctx, platform::InstanceGuard& guard);

// Connects every handler of the main window (today page, month view,
// settings page) and its close query. Once per window, before RunStartup.
void ConnectMainWindow(ui::Context& ctx);

// Ends the program: marks the context ended and runs its end_program.
void EndProgram(ui::Context& ctx);

// The close query: "确认要退出程序？" (询问：, OK and Cancel). OK ends the
// program. Always refuses the close itself: the window goes down with the
// program, not on its own.
bool ConfirmExit(ui::Context& ctx);

// The destroy step of a normal end: 表格缩放/缩放比 := the zoom box, then
// every table closed.
void RunDestroyStep(ui::Context& ctx);

}  // namespace tarvok::app
