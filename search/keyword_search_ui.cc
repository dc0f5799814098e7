#include "search/keyword_search_ui.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPalette>

#include <functional>
#include <utility>

#include "contacts/contact_book_ui.h"
#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "search/keyword_search.h"
#include "ui/dialogs.h"
#include "ui/lunar_calendar.h"
#include "ui/main_window.h"
#include "ui/record_grid.h"
#include "views/month_view_ui.h"

namespace tarvok::search {
namespace {

constexpr const char* kLists[] = {"列表框_日志搜索结果", "列表框_提醒搜索结果", "列表框_备忘搜索结果",
                                  "列表框_人脉搜索结果"};

ui::ListBox List(const ui::Context& ctx, int i) { return ctx.units().List(Utf8ToGbk(kLists[i])); }

// The selected line of a list, or nullopt for none and for "未找到！".
std::optional<ui::ResultLine> Selected(const ui::Context& ctx, int i) {
  ui::ListBox list = List(ctx, i);
  const int index = list.SelectedIndex();
  if (index < 0) return std::nullopt;
  ui::ResultLine line = list.Line(index);
  if (line.text == NotFoundText()) return std::nullopt;
  return line;
}

void SelectKeywordInEditBox(ui::Context& ctx, const char* utf8_box) {
  ui::EditBox box = ctx.units().Edit(Utf8ToGbk(utf8_box));
  const std::string text = box.Text();
  box.SelectBytes(FirstExactOccurrence(text, ctx.state.keyword), ctx.state.keyword.size());
}

void ShowLineDay(ui::Context& ctx, const ui::ResultLine& line) {
  ctx.calendar().setSelectedDate(TextToDate(line.text));
  views::ShowDay(ctx);
  ctx.units().Pages("选择夹右侧"_gbk).SetCurrentPage(0);
}

// Runs a handler on events of one kind of a watched object.
class EventHook : public QObject {
 public:
  EventHook(QObject* watched, std::function<bool(QEvent*)> handler)
      : QObject(watched), handler_(std::move(handler)) {
    watched->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    return handler_(event) || QObject::eventFilter(watched, event);
  }

 private:
  std::function<bool(QEvent*)> handler_;
};

}  // namespace

const std::string& KeywordHint() {
  static const std::string s = "请在这里输入关键词并回车..."_gbk;
  return s;
}

size_t FirstExactOccurrence(const std::string& text, const std::string& keyword) {
  if (keyword.empty()) return text.size();
  const size_t at = text.find(keyword);
  return at == std::string::npos ? text.size() : at;
}

void RunKeywordSearch(ui::Context& ctx) {
  const std::string keyword = ctx.units().Edit("编辑框关键词"_gbk).Text();
  for (int i = 0; i < 4; ++i) List(ctx, i).Clear();
  if (keyword.empty() || keyword == KeywordHint()) {
    ui::ShowInformation("请输入要搜索的关键词！"_gbk);
    return;
  }
  ctx.state.keyword = keyword;
  const SearchResults r = SearchAllTables(ctx.store, keyword);
  const std::vector<Line>* lists[] = {&r.diary, &r.events, &r.memo, &r.contacts};
  for (int i = 0; i < 4; ++i) {
    ui::ListBox list = List(ctx, i);
    for (const Line& l : *lists[i]) list.Add({l.text, l.value});
  }
}

void JumpToDiaryLine(ui::Context& ctx) {
  const auto line = Selected(ctx, 0);
  if (!line) return;
  ShowLineDay(ctx, *line);
  SelectKeywordInEditBox(ctx, "编辑框_本日志");
}

void JumpToEventLine(ui::Context& ctx) {
  if (const auto line = Selected(ctx, 1)) ShowLineDay(ctx, *line);
}

void JumpToMemoLine(ui::Context& ctx) {
  if (!Selected(ctx, 2)) return;
  ctx.units().Pages("选择夹右侧"_gbk).SetCurrentPage(2);
  SelectKeywordInEditBox(ctx, "编辑框备忘便签");
}

void JumpToContactLine(ui::Context& ctx) {
  const auto line = Selected(ctx, 3);
  if (!line) return;
  // The line names a record of lxr35: a letter group on the page would put
  // some other contact in that row.
  if (ctx.state.contact_group >= 0) contacts::ShowAllContacts(ctx);
  ctx.units().Pages("选择夹右侧"_gbk).SetCurrentPage(3);
  auto* source = ctx.window.findChild<ui::DataSourceUnit*>(QStringLiteral("数据源_联系人"));
  auto* grid = ctx.window.findChild<ui::RecordGrid*>(QStringLiteral("表格_人脉"));
  if (source == nullptr || grid == nullptr) return;
  source->MoveTo(line->value - 1);
  const int row = grid->CursorRow(), column = std::max(1, grid->CursorColumn());
  if (row <= 0) return;
  grid->SelectBlock(row, column, 1, 1);
  source->SetCellColour(row - 1, column - 1, 255);
}

SearchResults ResultListsOf(const ui::Context& ctx) {
  SearchResults r;
  std::vector<Line>* lists[] = {&r.diary, &r.events, &r.memo, &r.contacts};
  for (int i = 0; i < 4; ++i) {
    const ui::ListBox list = List(ctx, i);
    for (int k = 0; k < list.Count(); ++k) {
      const ui::ResultLine l = list.Line(k);
      lists[i]->push_back({l.text, l.value});
    }
  }
  return r;
}

void ConnectKeywordSearch(ui::Context& ctx) {
  ui::Context* c = &ctx;
  const ui::Units units = ctx.units();
  units.Push("按钮_搜索"_gbk).OnClick([c] { RunKeywordSearch(*c); });
  QWidget* box = units.Find("编辑框关键词"_gbk);
  new EventHook(box, [c](QEvent* e) {
    if (e->type() == QEvent::FocusIn) c->units().Edit("编辑框关键词"_gbk).SetText("");
    if (e->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(e)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        RunKeywordSearch(*c);
        return true;
      }
    }
    return false;
  });
  QWidget* picture = units.Find("图片框1"_gbk);
  new EventHook(picture, [c](QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
      RunKeywordSearch(*c);
    }
    return false;
  });
  using Jump = void (*)(ui::Context&);
  const Jump jumps[] = {JumpToDiaryLine, JumpToEventLine, JumpToMemoLine, JumpToContactLine};
  for (int i = 0; i < 4; ++i) {
    QListWidget* list = List(ctx, i).widget();
    QPalette palette = list->palette();
    palette.setColor(QPalette::Text, QColor(0, 0, 255));
    palette.setColor(QPalette::Base, Qt::white);
    list->setPalette(palette);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    // The memo's list is one line high and never holds more than one line:
    // a scroll bar there would cover the line itself.
    if (i == 2) {
      list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    const Jump jump = jumps[i];
    QObject::connect(list, &QListWidget::itemClicked, list, [c, jump](QListWidgetItem*) { jump(*c); });
  }
}

}  // namespace tarvok::search
