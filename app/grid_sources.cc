#include "app/grid_sources.h"

#include "platform/gbk.h"
#include "tables/tables.h"
#include "ui/main_window.h"
#include "ui/record_grid.h"

namespace tarvok::app {
namespace {

struct Chain {
  const char* grid;
  const char* source;
  const char* provider;
  const char* file;
};

constexpr Chain kChains[] = {
    {"表格_日志一览", "数据源_日志", "数据库提供者_日志", "rz35.edb"},
    {"表格_周期事项一览", "数据源_事项", "数据库提供者_事项", "tx35.edb"},
    {"表格_人脉", "数据源_联系人", "数据库提供者_联系人", "lxr35.edb"},
};

template <typename T>
T& Unit(const ui::Context& ctx, const char* utf8_name) {
  T* unit = ctx.window.findChild<T*>(QString::fromUtf8(utf8_name));
  if (unit == nullptr) store::FatalRunError("窗口单元不存在："_gbk + Utf8ToGbk(utf8_name));
  return *unit;
}

}  // namespace

void BindGridSources(ui::Context& ctx) {
  for (const Chain& c : kChains) {
    Unit<ui::ProviderUnit>(ctx, c.provider)
        .SetFile(ctx.Path(std::string(tables::kDataFolder) + "/" + c.file));
    auto& source = Unit<ui::DataSourceUnit>(ctx, c.source);
    source.SetProviderName(Utf8ToGbk(c.provider));
    Unit<ui::RecordGrid>(ctx, c.grid).SetDataSourceName(Utf8ToGbk(c.source));
  }
  Unit<ui::DataSourceUnit>(ctx, "数据源_联系人").SetReadOnly(false);
}

void GiveProvidersPassword(ui::Context& ctx, const std::string& password) {
  for (const Chain& c : kChains) Unit<ui::ProviderUnit>(ctx, c.provider).SetPassword(password);
}

}  // namespace tarvok::app
