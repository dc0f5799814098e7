// The keyword search through the real window: its three triggers, the hint,
// the lists, and the jumps to a day, the memo and a contact.
#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

#include <string>
#include <vector>

#include "store/record_store.h"
#include "tables/tables.h"
#include "tests/app/app_test_base.h"
#include "ui/lunar_calendar.h"
#include "ui/record_grid.h"

namespace tarvok::test {
namespace {

using ui::BoxKind;

class KeywordSearchTest : public AppTest {
 protected:
  void SetUp() override {
    setenv("XDG_RUNTIME_DIR", RuntimeDir().c_str(), 1);
    tables::EnsureDataFiles(Utf8ToGb18030(ProgramDir()));
    store::RecordStore s;
    ASSERT_TRUE(s.OpenTable(GbkFile("data/rz35.edb")));
    ASSERT_TRUE(s.AddRecord(tables::RecordValues(tables::DiaryEntry{MakeDate(2013, 1, 5), "去公园 Park 散步"_gbk})));
    ASSERT_TRUE(s.OpenTable(GbkFile("data/bw35.edb")));
    ASSERT_TRUE(s.AddRecord(tables::RecordValues(tables::MemoNote{"记得 park 车"_gbk})));
    ASSERT_TRUE(s.OpenTable(GbkFile("data/lxr35.edb")));
    ASSERT_TRUE(s.AddRecord(tables::RecordValues(tables::Contact{"曹一"_gbk, "1", ""})));
    ASSERT_TRUE(s.AddRecord(tables::RecordValues(tables::Contact{"陈二"_gbk, "2", "park"})));
  }
  void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

  QLineEdit* Box() { return qobject_cast<QLineEdit*>(organiser_->units().Find("编辑框关键词"_gbk)); }
  QListWidget* List(const char* name) {
    return qobject_cast<QListWidget*>(organiser_->units().Find(Utf8ToGbk(name)));
  }
  std::vector<std::string> Lines(const char* name) {
    std::vector<std::string> lines;
    QListWidget* l = List(name);
    for (int i = 0; i < l->count(); ++i) lines.push_back(l->item(i)->text().toStdString());
    return lines;
  }
  void Search(const char* keyword) {
    Box()->setFocus();
    QTest::keyClicks(Box(), QString::fromUtf8(keyword));
    QTest::keyClick(Box(), Qt::Key_Return);
  }
  void ClickLine(const char* list, int index) {
    QListWidget* l = List(list);
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(index)).center());
  }
};

TEST_F(KeywordSearchTest, TheHintAskForAKeywordAndFocusEmptiesTheBox) {
  Organiser& o = Started();
  o.window().activateWindow();
  EXPECT_EQ(Box()->text(), QString::fromUtf8("请在这里输入关键词并回车..."));
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "请输入要搜索的关键词！"_gbk);
  o.units().Push("按钮_搜索"_gbk).widget()->click();
  dialogs_.Finish();
  EXPECT_EQ(List("列表框_日志搜索结果")->count(), 0);
  Box()->setFocus();
  EXPECT_EQ(Box()->text(), QString());
}

TEST_F(KeywordSearchTest, EnterSearchesAndTheLinesJump) {
  Organiser& o = Started();
  o.window().activateWindow();
  Search("PARK");
  EXPECT_EQ(Lines("列表框_日志搜索结果"), std::vector<std::string>{"2013年1月5日"});
  EXPECT_EQ(Lines("列表框_提醒搜索结果"), std::vector<std::string>{"未找到！"});
  EXPECT_EQ(Lines("列表框_备忘搜索结果"), std::vector<std::string>{"找到！请点击查看"});
  EXPECT_EQ(Lines("列表框_人脉搜索结果"), std::vector<std::string>{"陈二"});
  EXPECT_EQ(List("列表框_日志搜索结果")->palette().color(QPalette::Text), QColor(0, 0, 255));
  // The memo's one-line list shows its line whole, no scroll bar over it.
  QListWidget* memo_list = List("列表框_备忘搜索结果");
  EXPECT_GE(memo_list->viewport()->height(), memo_list->visualItemRect(memo_list->item(0)).height());

  // A "未找到！" line does nothing.
  o.units().Pages("选择夹右侧"_gbk).SetCurrentPage(1);
  ClickLine("列表框_提醒搜索结果", 0);
  EXPECT_EQ(o.units().Pages("选择夹右侧"_gbk).CurrentPage(), 1);

  // The diary line: the day, the today page; no byte-exact "PARK" in the
  // text, so nothing is selected.
  ClickLine("列表框_日志搜索结果", 0);
  EXPECT_EQ(DateOnly(o.ctx().calendar().selectedDate()), MakeDate(2013, 1, 5));
  EXPECT_EQ(o.units().Pages("选择夹右侧"_gbk).CurrentPage(), 0);
  auto* diary = qobject_cast<QPlainTextEdit*>(o.units().Find("编辑框_本日志"_gbk));
  EXPECT_EQ(diary->textCursor().selectedText(), QString());

  // A byte-exact keyword is selected in the memo.
  Search("park");
  ClickLine("列表框_备忘搜索结果", 0);
  EXPECT_EQ(o.units().Pages("选择夹右侧"_gbk).CurrentPage(), 2);
  auto* memo = qobject_cast<QPlainTextEdit*>(o.units().Find("编辑框备忘便签"_gbk));
  EXPECT_EQ(memo->textCursor().selectedText(), QString::fromUtf8("park"));
}

TEST_F(KeywordSearchTest, AContactLineShowsAllContactsAndMarksTheCellRed) {
  Organiser& o = Started();
  o.units().Push("按钮_ad"_gbk).widget()->click();  // a group on the page
  Search("park");
  ClickLine("列表框_人脉搜索结果", 0);
  EXPECT_EQ(o.units().Pages("选择夹右侧"_gbk).CurrentPage(), 3);
  auto* grid = o.window().findChild<ui::RecordGrid*>(QStringLiteral("表格_人脉"));
  EXPECT_EQ(grid->model()->rowCount(), 2) << "all contacts again";
  EXPECT_EQ(grid->CursorRow(), 2);
  const QModelIndex cell = grid->model()->index(1, grid->CursorColumn() - 1);
  EXPECT_EQ(cell.data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 0, 0));
}

}  // namespace
}  // namespace tarvok::test
