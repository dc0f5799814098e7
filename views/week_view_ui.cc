#include "views/week_view_ui.h"

#include <QAbstractItemView>
#include <QAction>
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QHeaderView>
#include <QMenu>
#include <QStandardItemModel>
#include <QTableView>

#include <algorithm>
#include <cmath>
#include <vector>

#include "events/day_events_ui.h"
#include "events/recurrence.h"
#include "platform/gbk.h"
#include "tables/tables.h"
#include "today/today_page.h"
#include "today/today_page_ui.h"
#include "ui/gbk_text.h"
#include "ui/lunar_calendar.h"
#include "ui/main_window.h"

namespace tarvok::views {
namespace {

constexpr int kRows = 8, kColumns = 5;
constexpr int kWidths[kColumns] = {0, 40, 20, 150, 130};
const QColor kGrey(236, 236, 236);

QTableView* WeekGrid(const ui::Context& ctx) {
  auto* grid = qobject_cast<QTableView*>(ctx.units().Find("高级表格_周历"_gbk));
  if (grid == nullptr) store::FatalRunError("窗口单元类型不符：高级表格_周历"_gbk);
  return grid;
}

// The grid's model, made on the first refresh and kept as its child.
QStandardItemModel* Model(QTableView* grid) {
  auto* model = qobject_cast<QStandardItemModel*>(grid->model());
  if (model == nullptr) {
    model = new QStandardItemModel(grid);
    grid->setModel(model);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(true);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->horizontalHeader()->setMinimumSectionSize(1);
  }
  return model;
}

std::string CellText(const QStandardItemModel* model, int row, int column) {
  const QStandardItem* item = model->item(row, column);
  return item != nullptr ? ui::ToGbkCrLf(item->text()) : std::string();
}

void SetCell(QStandardItemModel* model, int row, int column, const std::string& gbk) {
  model->item(row, column)->setText(ui::FromGbkCrLf(gbk));
}

// The first diary entry of each row's day, in one pass over rz35: the same
// rule as the today page (a stored date on the row's calendar day).
std::vector<std::string> DiaryPreviews(store::RecordStore& store, const std::vector<DateTime>& days) {
  std::vector<std::string> previews(days.size());
  std::vector<int64_t> found(days.size(), 0);
  if (!store.SelectTable(tables::kDiaryTable)) return previews;
  size_t left = days.size();
  store.ScanRecords([&] {
    const store::Value v = store.ReadField(tables::DiaryDateField());
    const DateTime* date = std::get_if<DateTime>(&v);
    if (date == nullptr || store.IsDeleted()) return true;
    for (size_t i = 0; i < days.size(); ++i) {
      if (found[i] == 0 && today::SameDay(*date, days[i])) {
        found[i] = store.CurrentRecordNumber();
        --left;
      }
    }
    return left > 0;
  });
  for (size_t i = 0; i < days.size(); ++i) {
    if (found[i] == 0 || !store.GoToRecord(found[i])) continue;
    previews[i] = PreviewBytes(tables::ReadDiaryEntry(store).text);
  }
  return previews;
}

// The events of each row's day, in table order, in one pass over tx35.
std::vector<std::string> EventPreviews(store::RecordStore& store, const std::vector<DateTime>& days) {
  std::vector<std::string> texts(days.size());
  tables::ForEachLiveRecord(store, tables::kEventTable, [&] {
    const tables::PeriodicEvent event = tables::ReadPeriodicEvent(store);
    for (size_t i = 0; i < days.size(); ++i) {
      if (events::OccursOn(event, days[i])) texts[i] += event.text + "\r\n";
    }
  });
  return texts;
}

}  // namespace

DateTime WeekRowDay(int row) {
  return AddToDate(AddToDate(Now(), DateUnit::kDay, -3), DateUnit::kDay, row - 1);
}

std::string WeekdayChar(int weekday) {
  static const char* const kChars[] = {"日", "一", "二", "三", "四", "五", "六"};
  if (weekday < 1 || weekday > 7) return {};
  return Utf8ToGbk(kChars[weekday - 1]);
}

std::string PreviewBytes(std::string_view gbk, size_t bytes) {
  if (gbk.size() <= bytes) return std::string(gbk);
  // Walk whole characters: a lead byte 0x81..0xFE starts a two-byte one.
  size_t i = 0;
  while (i < bytes) {
    const auto b = static_cast<unsigned char>(gbk[i]);
    const size_t width = (b >= 0x81 && b <= 0xFE && i + 1 < gbk.size()) ? 2 : 1;
    if (i + width > bytes) break;
    i += width;
  }
  return std::string(gbk.substr(0, i));
}

void RefreshWeekView(ui::Context& ctx) {
  QTableView* grid = WeekGrid(ctx);
  QStandardItemModel* model = Model(grid);

  // 1-3. A fresh grid: 8 x 5 cells, header texts, widths, formats.
  model->clear();
  model->setRowCount(kRows);
  model->setColumnCount(kColumns);
  QFont bold = grid->font();
  bold.setBold(true);
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      auto* item = new QStandardItem;
      Qt::Alignment align = Qt::AlignVCenter | Qt::AlignLeft;
      if (c <= 2 || r == 0) align = Qt::AlignCenter;
      if (r > 0 && c >= 3) align = Qt::AlignTop | Qt::AlignLeft;
      item->setTextAlignment(align);
      if (r > 0 && (c == 1 || c == 2)) item->setBackground(QBrush(kGrey));
      if (r == 0) item->setFont(bold);
      model->setItem(r, c, item);
    }
  }
  static const char* const kHeaders[kColumns] = {"", "日期", "周", "日志(预览)", "事项(预览)"};
  for (int c = 0; c < kColumns; ++c) SetCell(model, 0, c, Utf8ToGbk(kHeaders[c]));
  for (int c = 0; c < kColumns; ++c) {
    grid->setColumnWidth(c, kWidths[c]);
    grid->setColumnHidden(c, kWidths[c] == 0);
  }

  // 4. Row heights from the settings page.
  const double height = std::trunc(TextToNumber(ctx.units().Spin("编辑框3"_gbk).Text()));
  if (height >= 1 && height <= 10000) {
    for (int r = 1; r < kRows; ++r) grid->setRowHeight(r, static_cast<int>(height));
  }

  // 5-7. Dates, month.day, weekday.
  std::vector<DateTime> days;
  for (int r = 1; r < kRows; ++r) {
    const DateTime day = WeekRowDay(r);
    days.push_back(day);
    SetCell(model, r, 0, DateToText(day, DateTextForm::kDate));
    const DateTime key = TextToDate(CellText(model, r, 0));
    SetCell(model, r, 1, NumberToText(MonthOf(key)) + "." + NumberToText(DayOf(key)));
    SetCell(model, r, 2, WeekdayChar(WeekdayOf(day)));
  }
  // "12.30" is wider than the designed 40 pixels in some fonts; the date
  // column then takes what it needs from the diary preview beside it, so
  // the grid keeps its width and no date is cut to "12.…".
  const int extra = std::clamp(static_cast<QAbstractItemView*>(grid)->sizeHintForColumn(1) - kWidths[1], 0, kWidths[3] / 2);
  grid->setColumnWidth(1, kWidths[1] + extra);
  grid->setColumnWidth(3, kWidths[3] - extra);

  // 8, 9. Diary previews and the day's events.
  const std::vector<std::string> diary = DiaryPreviews(ctx.store, days);
  const std::vector<std::string> events = EventPreviews(ctx.store, days);
  for (int r = 1; r < kRows; ++r) {
    SetCell(model, r, 3, diary[r - 1]);
    SetCell(model, r, 4, events[r - 1]);
  }
}

void OnWeekCellClick(ui::Context& ctx) {
  QTableView* grid = WeekGrid(ctx);
  QStandardItemModel* model = Model(grid);
  const QModelIndex current = grid->currentIndex();
  if (!current.isValid()) return;
  grid->setToolTip(ui::FromGbkCrLf(PreviewBytes(CellText(model, current.row(), current.column()))));

  ui::LunarCalendar& cal = ctx.calendar();
  cal.setSelectedDate(TextToDate(CellText(model, current.row(), 0)));
  today::LoadDayDiary(ctx);
  events::ListDayEvents(ctx);
  const std::string day = DateToText(cal.selectedDate(), DateTextForm::kDate);
  ctx.units().Group("分组框_今日志"_gbk).SetCaption("日志-"_gbk + day);
  ctx.units().Group("分组框_事项"_gbk).SetCaption("周期事项-"_gbk + day);
  ctx.units().Find("编辑框_本日志"_gbk)->setFocus();
}

void ConnectWeekView(ui::Context& ctx) {
  ui::Context* c = &ctx;
  ctx.refresh_week_view = [c] { RefreshWeekView(*c); };
  QTableView* grid = WeekGrid(ctx);
  QObject::connect(grid, &QAbstractItemView::clicked, grid, [c](const QModelIndex&) {
    OnWeekCellClick(*c);
  });
  auto* menu = new QMenu(grid);
  menu->setObjectName(QStringLiteral("同步周历库"));
  QAction* refresh = menu->addAction(QStringLiteral("刷新周视图"));
  QObject::connect(refresh, &QAction::triggered, grid, [c] { RefreshWeekView(*c); });
  grid->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(grid, &QWidget::customContextMenuRequested, grid, [grid, menu](const QPoint& at) {
    menu->popup(grid->viewport()->mapToGlobal(at));
  });
}

}  // namespace tarvok::views
