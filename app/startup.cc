#include "app/startup.h"

#include "app/grid_sources.h"
#include "app/hot_key.h"
#include "app/settings.h"
#include "app/window_modes.h"
#include "contacts/contact_book_ui.h"
#include "contacts/contact_import_ui.h"
#include "events/event_dialogs_ui.h"
#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "search/keyword_search_ui.h"
#include "search/spreadsheet_export_ui.h"
#include "tables/password_switch_ui.h"
#include "tables/tables.h"
#include "today/today_page_ui.h"
#include "ui/dialogs.h"
#include "ui/lunar_calendar.h"
#include "ui/main_window.h"
#include "views/month_view_ui.h"
#include "views/week_view_ui.h"

namespace tarvok::app {
namespace {

std::string TablePath(const ui::Context& ctx, const tables::TableDef& t) {
  return ctx.Path(std::string(tables::kDataFolder) + "/" + t.file);
}

// Steps 5 and 6: the four tables in their order, with `password` (empty:
// plain). Stops at the first failure.
bool OpenAllTables(ui::Context& ctx, const std::string& password) {
  for (const tables::TableDef* t : tables::AllTables()) {
    store::OpenOptions options;
    options.password = password;
    if (!ctx.store.OpenTable(TablePath(ctx, *t), options)) return false;
  }
  return true;
}

void ShowProtection(ui::Context& ctx, bool protected_tables) {
  const ui::Units units = ctx.units();
  units.Check("选择框_加密"_gbk).SetChecked(protected_tables);
  units.Text("标签_加密状态"_gbk).SetText(protected_tables ? "已加密"_gbk : "未加密"_gbk);
}

}  // namespace

void EndProgram(ui::Context& ctx) {
  ctx.ended = true;
  if (ctx.end_program) ctx.end_program();
}

bool RunStartup(ui::Context& ctx, platform::InstanceGuard& guard) {
  // 1. Stale tables.
  for (const tables::TableDef* t : tables::AllTables()) {
    ctx.store.SelectTable(t->name);
    ctx.store.CloseTable();
  }

  // 2. One instance at a time. A mark that cannot be made at all (no private
  //    folder) does not keep the user from the data.
  if (guard.TryAcquire() == platform::InstanceGuard::Status::kOtherInstance) {
    ui::ShowWarning("不要重复运行本程序，否则可能损坏数据库!"_gbk);
    EndProgram(ctx);
    return false;
  }

  // 3, 4. Table files, then whether they are protected.
  tables::EnsureDataFiles(ctx.program_dir);
  ctx.state.opened_protected = ctx.store.IsProtected(TablePath(ctx, tables::DiaryTable()));

  if (ctx.state.opened_protected) {
    // 5. Cancel leaves the password empty, and the opens fail with it.
    ctx.state.startup_password =
        ui::Dialogs()
            .Input({"打开数据库"_gbk, "数据库已加密，请输入密码："_gbk, "", /*masked=*/true})
            .value_or("");
    if (!OpenAllTables(ctx, ctx.state.startup_password)) {
      ui::ShowInformation("密码错误！"_gbk);
      ctx.store.CloseAllTables();
      EndProgram(ctx);
      return false;
    }
    ctx.state.tables_password = ctx.state.startup_password;
    GiveProvidersPassword(ctx, ctx.state.startup_password);
    ShowProtection(ctx, true);
  } else {
    // 6.
    if (!OpenAllTables(ctx, "")) {
      ui::ShowError("数据库打开失败！"_gbk);
      ctx.store.CloseAllTables();
      EndProgram(ctx);
      return false;
    }
    ShowProtection(ctx, false);
  }

  // 7. The grids over their table files.
  BindGridSources(ctx);

  // 8. Today, the week around it, and today again.
  ctx.calendar().setSelectedDate(Now());
  views::ShowDay(ctx);
  views::RefreshWeekView(ctx);
  ctx.calendar().setSelectedDate(Now());
  views::ShowDay(ctx);

  // 9, 10.
  ctx.units().Pages("选择夹右侧"_gbk).SetCurrentPage(0);
  ctx.units().Pages("选择夹_左侧"_gbk).SetCurrentPage(0);
  LoadSettings(ctx);
  return true;
}

void ConnectMainWindow(ui::Context& ctx) {
  today::ConnectTodayPage(ctx);
  views::ConnectMonthView(ctx);
  views::ConnectWeekView(ctx);
  contacts::ConnectContactBook(ctx);
  contacts::ConnectContactImport(ctx);
  events::ConnectEventList(ctx);
  tables::ConnectPasswordSwitch(ctx);
  search::ConnectKeywordSearch(ctx);
  search::ConnectSpreadsheetExport(ctx);
  ConnectSettings(ctx);
  ConnectWindowModes(ctx);
  ConnectHotKey(ctx);
  ui::Context* c = &ctx;
  ctx.window.confirmExit = [c] { return ConfirmExit(*c); };
}

bool ConfirmExit(ui::Context& ctx) {
  if (ui::Ask("确认要退出程序？"_gbk, ui::TitleQuestion())) EndProgram(ctx);
  return false;
}

void RunDestroyStep(ui::Context& ctx) {
  WriteSetting(ctx, "表格缩放"_gbk, "缩放比"_gbk, ctx.units().Spin("编辑框2"_gbk).Text());
  ctx.store.CloseAllTables();
}

}  // namespace tarvok::app
