#include "tables/password_switch_ui.h"

#include <QCheckBox>
#include <QString>

#include "platform/gbk.h"
#include "tables/password_switch.h"
#include "tables/tables.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/record_grid.h"

namespace tarvok::tables {
namespace {

// The grid provider of a table; bw35 has none.
ui::ProviderUnit* ProviderOf(const ui::Context& ctx, const char* table) {
  const std::string t = table;
  const char* name = t == kDiaryTable     ? "数据库提供者_日志"
                     : t == kEventTable   ? "数据库提供者_事项"
                     : t == kContactTable ? "数据库提供者_联系人"
                                          : nullptr;
  return name != nullptr ? ctx.window.findChild<ui::ProviderUnit*>(QString::fromUtf8(name)) : nullptr;
}

SwitchResult Switch(ui::Context& ctx, const std::string& password) {
  const SwitchResult result =
      SetAllTablesPassword(ctx.store, password, ctx.state.tables_password,
                           [&ctx](const char* table, const std::string& pw) {
                             if (ui::ProviderUnit* p = ProviderOf(ctx, table)) p->SetPassword(pw);
                           });
  if (result.ok) ctx.state.tables_password = password;
  return result;
}

// After a failure: the box and the label as the tables are, which is the
// state before the switch unless a table could not be given back its
// password (then rz35, which the next start goes by, decides).
void ShowTablesState(ui::Context& ctx, bool restored, bool before) {
  const bool now = restored ? before : ctx.store.IsProtected(kDiaryTable);
  ctx.units().Check("选择框_加密"_gbk).SetChecked(now);
  ctx.units().Text("标签_加密状态"_gbk).SetText(now ? "已加密"_gbk : "未加密"_gbk);
}

}  // namespace

void ProtectAllTables(ui::Context& ctx) {
  const SwitchResult result = Switch(ctx, ctx.state.encryption_password);
  if (result.ok) {
    ui::ShowInformation("数据库加密成功"_gbk);
    return;
  }
  ui::ShowInformation("数据库加密失败！"_gbk);
  ShowTablesState(ctx, result.restored, /*before=*/false);
}

void OnEncryptToggle(ui::Context& ctx) {
  ui::CheckBox check = ctx.units().Check("选择框_加密"_gbk);
  ui::Label label = ctx.units().Text("标签_加密状态"_gbk);
  if (check.Checked() && label.Text() == "未加密"_gbk) {
    const auto typed = ui::Dialogs().Input({"对数据库进行加密"_gbk, "请输入密码："_gbk, "", /*masked=*/false});
    if (!typed) {
      check.SetChecked(false);
      return;
    }
    ctx.state.encryption_password = *typed;
    if (typed->empty()) {
      ui::ShowInformation("密码为空，数据库不会被加密"_gbk);
      check.SetChecked(false);
      return;
    }
    label.SetText("已加密"_gbk);
    ProtectAllTables(ctx);
  } else if (!check.Checked() && label.Text() == "已加密"_gbk) {
    if (!ui::Ask("确定取消数据库加密？"_gbk, ui::TitleQuestionMark())) {
      check.SetChecked(true);
      return;
    }
    const SwitchResult result = Switch(ctx, "");
    if (!result.ok) {
      ui::ShowInformation("数据库取消加密失败！"_gbk);
      ShowTablesState(ctx, result.restored, /*before=*/true);
      return;
    }
    ui::ShowInformation("数据库已经取消加密！"_gbk);
    label.SetText("未加密"_gbk);
  }
}

void ConnectPasswordSwitch(ui::Context& ctx) {
  ui::Context* c = &ctx;
  QObject::connect(ctx.units().Check("选择框_加密"_gbk).widget(), &QCheckBox::clicked,
                   ctx.units().Check("选择框_加密"_gbk).widget(), [c](bool) { OnEncryptToggle(*c); });
}

}  // namespace tarvok::tables
