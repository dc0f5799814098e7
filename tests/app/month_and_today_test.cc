// The today page, the memo page and the month view through the real widgets:
// typing and clearing a day's diary, the memo's first visit, day clicks, the
// wheel and 回到今日.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QWheelEvent>

#include <string>

#include "store/record_store.h"
#include "tables/tables.h"
#include "tests/app/app_test_base.h"
#include "ui/lunar_calendar.h"

namespace tarvok::test {
namespace {

// January 2013 starts on a Tuesday: its day d is cell d of the grid (cell 0
// is 31 December 2012).
constexpr int kJanuaryOffset = 0;

class MonthAndTodayTest : public AppTest {
 protected:
  void SetUp() override {
    // A diary entry on 15 January, one on 20 January written at 08:30 by
    // something else, and a weekly event from 1 January.
    tables::EnsureDataFiles(Utf8ToGb18030(ProgramDir()));
    store::RecordStore s;
    ASSERT_TRUE(s.OpenTable(GbkFile("data/rz35.edb")));
    ASSERT_TRUE(s.AddRecord(tables::RecordValues(tables::DiaryEntry{MakeDate(2013, 1, 15), "十五日"_gbk})));
    ASSERT_TRUE(
        s.AddRecord(tables::RecordValues(tables::DiaryEntry{MakeDate(2013, 1, 20, 8, 30), "早上"_gbk})));
    ASSERT_TRUE(s.OpenTable(GbkFile("data/tx35.edb")));
    ASSERT_TRUE(s.AddRecord(tables::RecordValues(
        tables::PeriodicEvent{MakeDate(2013, 1, 1), 1, tables::RecurrenceUnit::kWeek, "每周二"_gbk})));
  }

  Organiser& o() { return organiser_ ? *organiser_ : Started(); }
  ui::LunarCalendar& Cal() { return o().ctx().calendar(); }
  QPoint Cell(int day) { return Cal().cellRect(day + kJanuaryOffset).center(); }
  void Click(int day) { QTest::mouseClick(&Cal(), Qt::LeftButton, {}, Cell(day)); }
  void Wheel(int delta) {
    const QPointF at = Cell(10);
    QWheelEvent wheel(at, Cal().mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&Cal(), &wheel);
  }
  int RightPage() { return o().units().Pages("选择夹右侧"_gbk).CurrentPage(); }
  std::string Diary() { return o().units().Edit("编辑框_本日志"_gbk).Text(); }
  std::string Caption() { return o().units().Group("分组框_今日志"_gbk).Caption(); }
  std::vector<std::string> Events() {
    std::vector<std::string> lines;
    ui::ListBox list = o().units().List("列表框_周期事项"_gbk);
    for (int i = 0; i < list.Count(); ++i) lines.push_back(list.Line(i).text);
    return lines;
  }

  // The diary entries in record order, read by a store of the test's own.
  std::vector<tables::DiaryEntry> StoredDiary() {
    store::RecordStore s;
    std::vector<tables::DiaryEntry> entries;
    store::OpenOptions shared;
    if (!s.OpenTable(GbkFile("data/rz35.edb"), shared)) {
      ADD_FAILURE() << "rz35 cannot be opened beside the organiser";
      return entries;
    }
    for (s.GoFirst(); s.CurrentRecordNumber() <= s.RecordCount(); s.Skip()) {
      entries.push_back(tables::ReadDiaryEntry(s));
    }
    return entries;
  }
};

TEST_F(MonthAndTodayTest, ADayClickShowsTheDayAndJumpsToTheTodayPage) {
  o().units().Pages("选择夹右侧"_gbk).SetCurrentPage(3);
  Click(15);
  EXPECT_EQ(RightPage(), 0);
  EXPECT_EQ(Caption(), "日志-2013年1月15日"_gbk);
  EXPECT_EQ(o().units().Group("分组框_事项"_gbk).Caption(), "周期事项-2013年1月15日"_gbk);
  EXPECT_EQ(Diary(), "十五日"_gbk);
  EXPECT_EQ(Events(), std::vector<std::string>{"每周二"_gbk});

  // A day without entry or event empties both.
  Click(16);
  EXPECT_EQ(Diary(), "");
  EXPECT_TRUE(Events().empty());
}

TEST_F(MonthAndTodayTest, AnEntryWithATimeOfDayIsShownAndEditedNotHidden) {
  Click(20);
  EXPECT_EQ(Diary(), "早上"_gbk);
  QWidget* box = o().units().Find("编辑框_本日志"_gbk);
  QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(box, "!");
  const auto stored = StoredDiary();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[1].text, "早上!"_gbk);
  EXPECT_EQ(stored[1].date, MakeDate(2013, 1, 20, 8, 30));
}

TEST_F(MonthAndTodayTest, TypingStoresEveryKeystrokeAndClearingDeletesTheEntry) {
  Click(17);
  QWidget* box = o().units().Find("编辑框_本日志"_gbk);
  box->setFocus();
  QTest::keyClicks(box, "ab");
  auto stored = StoredDiary();
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_EQ(stored[2], (tables::DiaryEntry{MakeDate(2013, 1, 17), "ab"}));
  QTest::keyClick(box, Qt::Key_Backspace);
  EXPECT_EQ(StoredDiary()[2].text, "a");

  QTest::keyClick(box, Qt::Key_Backspace);
  stored = StoredDiary();
  ASSERT_EQ(stored.size(), 2u) << "the emptied entry is deleted and the table packed";
  Click(18);
  Click(17);
  EXPECT_EQ(Diary(), "");
}

TEST_F(MonthAndTodayTest, TheMemoPageOnItsFirstVisitCreatesTheEmptyNote) {
  o().units().Pages("选择夹右侧"_gbk).SetCurrentPage(2);
  EXPECT_EQ(o().units().Edit("编辑框备忘便签"_gbk).Text(), "");
  store::RecordStore s;
  ASSERT_TRUE(s.OpenTable(GbkFile("data/bw35.edb")));
  ASSERT_EQ(s.RecordCount(), 1);
  EXPECT_EQ(tables::ReadMemoNote(s).text, "");

  QTest::keyClicks(o().units().Find("编辑框备忘便签"_gbk), "memo");
  EXPECT_EQ(tables::ReadMemoNote(s).text, "memo");
  EXPECT_EQ(s.RecordCount(), 1);
}

TEST_F(MonthAndTodayTest, AClickOnANeighbouringMonthDayDoesNothing) {
  Click(15);
  o().units().Pages("选择夹右侧"_gbk).SetCurrentPage(3);
  QTest::mouseClick(&Cal(), Qt::LeftButton, {}, Cal().cellRect(0).center());  // 31 December
  EXPECT_EQ(DateOnly(Cal().selectedDate()), MakeDate(2013, 1, 15));
  EXPECT_EQ(RightPage(), 3);
  EXPECT_EQ(Caption(), "日志-2013年1月15日"_gbk);
}

TEST_F(MonthAndTodayTest, TheWheelCountsFromTodayAndLeavesTheTodayPageAlone) {
  Click(15);
  struct Step {
    int delta;
    DateTime selected;
  };
  const Step steps[] = {
      {120, MakeDate(2013, 2, 28)},     // away from the user: a month after today
      {120, MakeDate(2013, 2, 28)},     // again: still counted from today
      {-120, MakeDate(2012, 12, 31)},   // towards: a month before today
  };
  for (const Step& s : steps) {
    Wheel(s.delta);
    EXPECT_EQ(DateOnly(Cal().selectedDate()), s.selected) << s.delta;
    EXPECT_EQ(Caption(), "日志-2013年1月15日"_gbk);
    EXPECT_EQ(Diary(), "十五日"_gbk);
  }
}

TEST_F(MonthAndTodayTest, BackToTodayFromTheRightClickMenu) {
  Click(15);
  o().units().Pages("选择夹右侧"_gbk).SetCurrentPage(1);
  QTest::mouseClick(&Cal(), Qt::RightButton, {}, Cell(3));
  auto* menu = Cal().findChild<QMenu*>(QString::fromUtf8("今日"));
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->isVisible());
  EXPECT_EQ(DateOnly(Cal().selectedDate()), MakeDate(2013, 1, 15)) << "the right click moves nothing";
  menu->actions().at(0)->trigger();
  menu->hide();
  EXPECT_EQ(DateOnly(Cal().selectedDate()), MakeDate(2013, 1, 31));
  EXPECT_EQ(RightPage(), 0);
  EXPECT_EQ(Caption(), "日志-2013年1月31日"_gbk);
}

}  // namespace
}  // namespace tarvok::test
