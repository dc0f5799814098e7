#include "today/today_page_ui.h"

#include <QEvent>
#include <QWidget>

#include <functional>
#include <utility>

#include "events/day_events_ui.h"
#include "platform/gbk.h"
#include "today/today_page.h"
#include "ui/lunar_calendar.h"

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
    default:
      // Pages 1 and 3 set the column widths of their grids through the
      // grids' data sources.
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
