#include "today/today_page_ui.h"

#include <QEvent>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

#include "events/day_events_ui.h"
#include "platform/gbk.h"
#include "today/today_page.h"
#include "ui/lunar_calendar.h"
#include "ui/main_window.h"
#include "ui/record_grid.h"

namespace tarvok::today {
namespace {

// Runs a handler when the watched widget loses the input focus.
class FocusOut : public QObject {
 public:
  FocusOut(QWidget* widget, std::function<void()> handler)
      : QObject(widget), handler_(std::move(handler)) {
    widget->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusOut) handler_();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> handler_;
};

ui::EditBox DiaryBox(const ui::Context& ctx) { return ctx.units().Edit("编辑框_本日志"_gbk); }
ui::EditBox MemoBox(const ui::Context& ctx) { return ctx.units().Edit("编辑框备忘便签"_gbk); }

// A page of grids comes up: each grid's provider reads its file again, so
// that what other pages changed meanwhile shows, and its data source sets
// the column widths, one column at a time.
struct GridWidths {
  const char* source;
  std::vector<int> widths;
};
void ShowGridsAgain(ui::Context& ctx, const std::vector<GridWidths>& grids) {
  for (const GridWidths& g : grids) {
    auto* source = ctx.window.findChild<ui::DataSourceUnit*>(QString::fromUtf8(g.source));
    if (source == nullptr) continue;
    if (ui::ProviderUnit* provider = source->provider_unit()) {
      provider->SetFile(provider->provider().file());
    }
    for (size_t i = 0; i < g.widths.size(); ++i) source->SetColumnWidth(int(i) + 1, g.widths[i]);
  }
}

}  // namespace

void LoadDayDiary(ui::Context& ctx) {
  const std::string text = LoadDayDiary(ctx.store, ctx.calendar().selectedDate());
  DiaryBox(ctx).SetText(text);
}

void LoadMemo(ui::Context& ctx) { MemoBox(ctx).SetText(LoadMemo(ctx.store)); }

void OnRightPageChanged(ui::Context& ctx, int page) {
  switch (page) {
    case 0:
      LoadDayDiary(ctx);
      events::ListDayEvents(ctx);
      break;
    case 2:
      LoadMemo(ctx);
      break;
    case 1:
      ShowGridsAgain(ctx, {{"数据源_日志", {300, 700}}, {"数据源_事项", {300, 200, 200, 800}}});
      break;
    case 3:
      ShowGridsAgain(ctx, {{"数据源_联系人", {200, 300, 350}}});
      break;
    default:
      break;
  }
}

void ConnectTodayPage(ui::Context& ctx) {
  ui::Context* c = &ctx;
  DiaryBox(ctx).OnChange([c] {
    SaveDayDiary(c->store, c->calendar().selectedDate(), DiaryBox(*c).Text());
  });
  // The week view's diary column follows what was typed once the box is
  // left.
  new FocusOut(DiaryBox(ctx).widget(), [c] { c->RefreshWeekView(); });
  MemoBox(ctx).OnChange([c] { SaveMemo(c->store, MemoBox(*c).Text()); });
  ctx.units().Pages("选择夹右侧"_gbk).OnPageChanged([c](int page) { OnRightPageChanged(*c, page); });
}

}  // namespace tarvok::today
