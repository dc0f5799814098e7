#include "app/settings.h"

#include <QHeaderView>
#include <QModelIndex>
#include <QTabWidget>
#include <QTableView>

#include <cmath>
#include <limits>

#include "app/hot_key.h"
#include "app/title_pictures.h"
#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "platform/profile_file.h"
#include "ui/grid_zoom.h"
#include "ui/main_window.h"

namespace tarvok::app {
namespace {

std::string SettingsPath(const ui::Context& ctx) { return ctx.Path("config.ini"); }

QTableView* Grid(const ui::Context& ctx, std::string_view gbk_name) {
  auto* grid = qobject_cast<QTableView*>(ctx.units().Find(gbk_name));
  if (grid == nullptr) store::FatalRunError("窗口单元类型不符："_gbk + std::string(gbk_name));
  return grid;
}

// A radio button that writes `value` under `key` of 默认视图 or 最小化方式.
void WriteOnClick(ui::Context& ctx, const char* utf8_button, std::string section,
                  std::string key, std::string value) {
  ui::Context* c = &ctx;
  ctx.units().Push(Utf8ToGbk(utf8_button)).OnClick([c, section, key, value] {
    WriteSetting(*c, section, key, value);
  });
}

}  // namespace

std::string ReadSetting(const ui::Context& ctx, std::string_view gbk_section,
                        std::string_view gbk_key, std::string_view gbk_default) {
  return platform::ReadProfileString(SettingsPath(ctx), gbk_section, gbk_key, gbk_default);
}

void WriteSetting(const ui::Context& ctx, std::string_view gbk_section, std::string_view gbk_key,
                  std::string_view gbk_value) {
  platform::WriteProfileString(SettingsPath(ctx), gbk_section, gbk_key, gbk_value);
}

int IntegerPart(std::string_view text) {
  const double x = TextToNumber(text);
  if (std::isnan(x)) return 0;
  if (x >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (x <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(std::trunc(x));
}

void ApplyZoom(ui::Context& ctx) {
  const int zoom = IntegerPart(ctx.units().Spin("编辑框2"_gbk).Text());
  for (const char* name : {"表格_人脉", "表格_日志一览", "表格_周期事项一览"}) {
    ui::SetGridZoom(Grid(ctx, Utf8ToGbk(name)), zoom);
  }
}

void ApplyWeekRowHeight(ui::Context& ctx) {
  const int height = IntegerPart(ctx.units().Spin("编辑框3"_gbk).Text());
  QTableView* week = Grid(ctx, "高级表格_周历"_gbk);
  const QAbstractItemModel* model = week->model();
  const int rows = model != nullptr ? model->rowCount() : 0;
  if (height <= 0) return;
  for (int row = 1; row <= 7 && row < rows; ++row) week->setRowHeight(row, height);
}

void LoadSettings(ui::Context& ctx) {
  const ui::Units units = ctx.units();
  const std::string hot_keys = "全局热键"_gbk, views = "默认视图"_gbk;

  // 1. The summon hot key: its text and codes, registered at once.
  ctx.state.hot_key_text = ReadSetting(ctx, hot_keys, "呼出热键"_gbk, "");
  units.Edit("编辑框_热键1"_gbk).SetText(ctx.state.hot_key_text);
  ctx.state.hot_key_modifiers = IntegerPart(ReadSetting(ctx, hot_keys, "功能键1"_gbk, ""));
  ctx.state.hot_key_code = IntegerPart(ReadSetting(ctx, hot_keys, "主热键1"_gbk, ""));
  RegisterSummonHotKey(ctx, RegisterFrom::kStartUp);

  // 2. The left default page: "0" the month view, anything else the week view.
  const bool month = ReadSetting(ctx, views, "左侧"_gbk, "") == "0";
  units.Pages("选择夹_视图"_gbk).SetCurrentPage(month ? 0 : 1);
  units.Push(month ? "单选框_月视图"_gbk : "单选框_周视图"_gbk).SetChecked(true);

  // 3. The right default page: "0", "1", "2", anything else page 3.
  const std::string right = ReadSetting(ctx, views, "右侧"_gbk, "");
  const int page = right == "0" ? 0 : right == "1" ? 1 : right == "2" ? 2 : 3;
  units.Pages("选择夹右侧"_gbk).SetCurrentPage(page);
  static const char* const kRightRadios[] = {"单选框_日志", "单选框_总览", "单选框_便签",
                                             "单选框_联系人"};
  units.Push(Utf8ToGbk(kRightRadios[page])).SetChecked(true);

  // 4. Zoom.
  units.Spin("编辑框2"_gbk).SetText(ReadSetting(ctx, "表格缩放"_gbk, "缩放比"_gbk, "100"));
  ApplyZoom(ctx);

  // 5. Week-row height, then today's row (4) and column 2 current.
  units.Spin("编辑框3"_gbk).SetText(ReadSetting(ctx, "周历行高"_gbk, "行高"_gbk, "33"));
  ApplyWeekRowHeight(ctx);
  QTableView* week = Grid(ctx, "高级表格_周历"_gbk);
  if (week->model() != nullptr) week->setCurrentIndex(week->model()->index(4, 2));

  // 6. Title pictures.
  PrepareTitlePictures(ctx);
  ShowTitlePictures(ctx);

  // 7. Minimize mode.
  ctx.state.minimize_mode = ReadSetting(ctx, "最小化方式"_gbk, "最小化方式"_gbk, "0");
  units.Push(ctx.state.minimize_mode == "0" ? "单选框_托盘图标"_gbk : "单选框_屏幕上端"_gbk)
      .SetChecked(true);
}

void ConnectSettings(ui::Context& ctx) {
  const std::string views = "默认视图"_gbk, minimize = "最小化方式"_gbk;
  WriteOnClick(ctx, "单选框_月视图", views, "左侧"_gbk, "0");
  WriteOnClick(ctx, "单选框_周视图", views, "左侧"_gbk, "1");
  WriteOnClick(ctx, "单选框_日志", views, "右侧"_gbk, "0");
  WriteOnClick(ctx, "单选框_总览", views, "右侧"_gbk, "1");
  WriteOnClick(ctx, "单选框_便签", views, "右侧"_gbk, "2");
  WriteOnClick(ctx, "单选框_联系人", views, "右侧"_gbk, "3");
  WriteOnClick(ctx, "单选框_托盘图标", minimize, minimize, "0");
  WriteOnClick(ctx, "单选框_屏幕上端", minimize, minimize, "1");

  ui::Context* c = &ctx;
  const ui::Units units = ctx.units();
  auto write_zoom = [c] {
    WriteSetting(*c, "表格缩放"_gbk, "缩放比"_gbk, c->units().Spin("编辑框2"_gbk).Text());
  };
  auto write_height = [c] {
    WriteSetting(*c, "周历行高"_gbk, "行高"_gbk, c->units().Spin("编辑框3"_gbk).Text());
  };
  units.Spin("编辑框2"_gbk).OnChange(write_zoom);
  units.Spin("编辑框3"_gbk).OnChange(write_height);
  units.Push("按钮1"_gbk).OnClick([c, write_zoom] {
    write_zoom();
    ApplyZoom(*c);
  });
  units.Push("按钮2"_gbk).OnClick([c, write_height] {
    write_height();
    ApplyWeekRowHeight(*c);
  });
  ConnectTitlePictures(ctx);
}

}  // namespace tarvok::app
