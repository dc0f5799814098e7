// The week view through the real grid: the seven days around today, the
// diary previews, the events of each day, the look of the cells, the click
// on a row and the refresh triggers.
#include <QAction>
#include <QApplication>
#include <QFont>
#include <QMenu>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <string>
#include <vector>

#include "store/record_store.h"
#include "tables/tables.h"
#include "tests/app/app_test_base.h"
#include "ui/gbk_text.h"
#include "ui/lunar_calendar.h"
#include "views/week_view_ui.h"

namespace tarvok::test {
namespace {

using tables::PeriodicEvent;
using tables::RecurrenceUnit;

class WeekViewTest : public AppTest {
 protected:
  // Table files with the given diary entries and events, then a start.
  Organiser& StartWith(const std::vector<tables::DiaryEntry>& diary,
                       const std::vector<PeriodicEvent>& events) {
    tables::EnsureDataFiles(Utf8ToGb18030(ProgramDir()));
    {
      store::RecordStore s;
      EXPECT_TRUE(s.OpenTable(GbkFile("data/rz35.edb")));
      for (const auto& e : diary) EXPECT_TRUE(s.AddRecord(tables::RecordValues(e)));
      EXPECT_TRUE(s.OpenTable(GbkFile("data/tx35.edb")));
      for (const auto& e : events) EXPECT_TRUE(s.AddRecord(tables::RecordValues(e)));
    }
    return Started();
  }
  QTableView* Grid() { return qobject_cast<QTableView*>(organiser_->units().Find("高级表格_周历"_gbk)); }
  QStandardItemModel* Model() { return qobject_cast<QStandardItemModel*>(Grid()->model()); }
  std::string Cell(int r, int c) { return GbkToUtf8(ui::ToGbkCrLf(Model()->item(r, c)->text())); }
  std::vector<std::string> Column(int c) {
    std::vector<std::string> cells;
    for (int r = 1; r <= 7; ++r) cells.push_back(Cell(r, c));
    return cells;
  }
  // The rows (1..7) whose event column holds `text`.
  std::vector<int> RowsWith(const std::string& utf8) {
    std::vector<int> rows;
    for (int r = 1; r <= 7; ++r) {
      if (Cell(r, 4).find(utf8) != std::string::npos) rows.push_back(r);
    }
    return rows;
  }
};

TEST_F(WeekViewTest, SevenDaysAroundTodayAcrossAYearEnd) {
  SetClock([] { return MakeDate(2014, 1, 2, 9, 15, 0); });
  StartWith({}, {});
  ASSERT_NE(Model(), nullptr);
  EXPECT_EQ(Model()->rowCount(), 8);
  EXPECT_EQ(Model()->columnCount(), 5);
  EXPECT_EQ(Column(1), (std::vector<std::string>{"12.30", "12.31", "1.1", "1.2", "1.3", "1.4", "1.5"}));
  EXPECT_EQ(Column(2), (std::vector<std::string>{"一", "二", "三", "四", "五", "六", "日"}));
  EXPECT_EQ(Cell(4, 0), "2014年1月2日");
  EXPECT_EQ(Cell(0, 1), "日期");
  EXPECT_EQ(Cell(0, 3), "日志(预览)");
  EXPECT_EQ(Cell(0, 4), "事项(预览)");
  // Widths, the hidden key column, the look of the cells.
  EXPECT_TRUE(Grid()->isColumnHidden(0));
  // The designed widths, except that the date column takes from the diary
  // preview what "12.30" needs in this font; the total stays.
  EXPECT_GE(Grid()->columnWidth(1), 40);
  EXPECT_GE(Grid()->columnWidth(1), static_cast<QAbstractItemView*>(Grid())->sizeHintForColumn(1)) << "no date cut short";
  EXPECT_EQ(Grid()->columnWidth(1) + Grid()->columnWidth(3), 190);
  EXPECT_EQ(Grid()->columnWidth(2), 20);
  EXPECT_EQ(Grid()->columnWidth(4), 130);
  EXPECT_TRUE(Model()->item(0, 3)->font().bold());
  EXPECT_FALSE(Model()->item(1, 3)->font().bold());
  EXPECT_EQ(Model()->item(2, 1)->background().color(), QColor(236, 236, 236));
  EXPECT_NE(Model()->item(2, 3)->background().color(), QColor(236, 236, 236));
  EXPECT_EQ(Model()->item(3, 2)->textAlignment(), Qt::AlignCenter);
  for (int r = 1; r <= 7; ++r) EXPECT_EQ(Grid()->rowHeight(r), 33) << r;
  // After start-up today's weekday is the current cell.
  EXPECT_EQ(Grid()->currentIndex().row(), 4);
  EXPECT_EQ(Grid()->currentIndex().column(), 2);
}

TEST_F(WeekViewTest, EachRowListsTheEventsOfItsOwnDayInTableOrder) {
  // Today is Thursday 31 January 2013 (row 4); rows run 28 January .. 3 February.
  const DateTime today = MakeDate(2013, 1, 31);
  StartWith({}, {
      {today, 1, RecurrenceUnit::kDay, "daily-from-today"_gbk},
      {MakeDate(2013, 1, 21), 1, RecurrenceUnit::kDay, "daily-10-days-ago"_gbk},
      {MakeDate(2013, 1, 30), 3, RecurrenceUnit::kDay, "every-3-from-yesterday"_gbk},
      {MakeDate(2009, 1, 31), 1, RecurrenceUnit::kYear, "yearly"_gbk},
      {MakeDate(2012, 12, 31), 1, RecurrenceUnit::kMonth, "monthly-31st"_gbk},
      {MakeDate(2013, 1, 3), 1, RecurrenceUnit::kWeek, "weekly-thursday"_gbk},
  });
  EXPECT_EQ(RowsWith("daily-from-today"), (std::vector<int>{4, 5, 6, 7}));
  EXPECT_EQ(RowsWith("daily-10-days-ago"), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(RowsWith("every-3-from-yesterday"), (std::vector<int>{3, 6}));
  EXPECT_EQ(RowsWith("yearly"), (std::vector<int>{4}));
  EXPECT_EQ(RowsWith("monthly-31st"), (std::vector<int>{4}));
  EXPECT_EQ(RowsWith("weekly-thursday"), (std::vector<int>{4}));
  EXPECT_EQ(Cell(4, 4),
            "daily-from-today\r\ndaily-10-days-ago\r\nyearly\r\nmonthly-31st\r\nweekly-thursday\r\n");
  EXPECT_EQ(Cell(2, 4), "daily-10-days-ago\r\n");
}

TEST_F(WeekViewTest, DiaryPreviewsAreTheFirstHundredBytesInWholeCharacters) {
  std::string long_text(99, 'x');
  long_text += "中文";  // the character at bytes 99..100 would be cut in half
  StartWith({{MakeDate(2013, 1, 29), long_text},
             {MakeDate(2013, 1, 30), std::string(120, 'y')},
             {MakeDate(2013, 2, 2, 8, 30), "morning"}},
            {});
  EXPECT_EQ(Cell(2, 3), std::string(99, 'x'));
  EXPECT_EQ(Cell(3, 3), std::string(100, 'y'));
  EXPECT_EQ(Cell(4, 3), "");
  EXPECT_EQ(Cell(6, 3), "morning") << "shown like the today page shows it";
  EXPECT_EQ(views::PreviewBytes(Utf8ToGbk("中文"), 3), Utf8ToGbk("中"));
  EXPECT_EQ(views::PreviewBytes(Utf8ToGbk("中文"), 4), Utf8ToGbk("中文"));
}

TEST_F(WeekViewTest, AClickLoadsTheRowsDayWithoutSwitchingPages) {
  StartWith({{MakeDate(2013, 1, 29), "二十九"_gbk}}, {});
  Organiser& o = *organiser_;
  o.units().Pages("选择夹_视图"_gbk).SetCurrentPage(1);
  o.units().Pages("选择夹右侧"_gbk).SetCurrentPage(3);
  QTableView* grid = Grid();
  const QRect cell = grid->visualRect(Model()->index(2, 3));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(DateOnly(o.ctx().calendar().selectedDate()), MakeDate(2013, 1, 29));
  EXPECT_EQ(o.units().Edit("编辑框_本日志"_gbk).Text(), "二十九"_gbk);
  EXPECT_EQ(o.units().Group("分组框_今日志"_gbk).Caption(), "日志-2013年1月29日"_gbk);
  EXPECT_EQ(o.units().Pages("选择夹右侧"_gbk).CurrentPage(), 3);
  EXPECT_EQ(GbkToUtf8(ui::ToGbk(grid->toolTip())), "二十九");

  // The header row: the day stays, the tooltip shows the header text.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(Model()->index(0, 1)).center());
  EXPECT_EQ(DateOnly(o.ctx().calendar().selectedDate()), MakeDate(2013, 1, 29));
  EXPECT_EQ(GbkToUtf8(ui::ToGbk(grid->toolTip())), "日期");
}

TEST_F(WeekViewTest, TheDiaryBoxLosingTheFocusAndTheMenuRefreshTheGrid) {
  StartWith({}, {});
  Organiser& o = *organiser_;
  o.window().activateWindow();
  QWidget* box = o.units().Find("编辑框_本日志"_gbk);
  box->setFocus();
  QTest::keyClicks(box, "today");
  EXPECT_EQ(Cell(4, 3), "") << "the grid waits for a refresh";
  o.units().Find("编辑框关键词"_gbk)->setFocus();
  EXPECT_EQ(Cell(4, 3), "today");

  {
    store::RecordStore other;
    ASSERT_TRUE(other.OpenTable(GbkFile("data/tx35.edb")));
    ASSERT_TRUE(other.AddRecord(
        tables::RecordValues(PeriodicEvent{MakeDate(2013, 1, 30), 1, RecurrenceUnit::kDay, "new"})));
  }
  auto* menu = Grid()->findChild<QMenu*>(QStringLiteral("同步周历库"));
  ASSERT_NE(menu, nullptr);
  menu->actions().at(0)->trigger();
  EXPECT_EQ(RowsWith("new"), (std::vector<int>{3, 4, 5, 6, 7}));
}

}  // namespace
}  // namespace tarvok::test
