// The contacts page and the overview page through the real grids: all
// contacts, the letter groups, adding and deleting (also inside a group),
// the cursor following, the overview grids bound at start-up and their
// column widths.
#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QTest>

#include <string>
#include <vector>

#include "store/record_store.h"
#include "tables/tables.h"
#include "tests/app/app_test_base.h"
#include "ui/record_grid.h"

namespace tarvok::test {
namespace {

using ui::BoxKind;

class ContactBookTest : public AppTest {
 protected:
  ContactBookTest() {
    // The group files go to a private folder under the test's runtime dir.
    setenv("XDG_RUNTIME_DIR", RuntimeDir().c_str(), 1);
  }
  ~ContactBookTest() override { unsetenv("XDG_RUNTIME_DIR"); }

  Organiser& StartWith(const std::vector<const char*>& names) {
    tables::EnsureDataFiles(Utf8ToGb18030(ProgramDir()));
    {
      store::RecordStore s;
      EXPECT_TRUE(s.OpenTable(GbkFile("data/lxr35.edb")));
      int i = 0;
      for (const char* n : names) {
        EXPECT_TRUE(s.AddRecord(tables::RecordValues(tables::Contact{Utf8ToGbk(n), std::to_string(++i), ""})));
      }
    }
    return Started();
  }
  ui::RecordGrid& Grid(const char* name = "表格_人脉") {
    return *organiser_->window().findChild<ui::RecordGrid*>(QString::fromUtf8(name));
  }
  // The first column of every row the grid shows, UTF-8.
  std::vector<std::string> Shown(const char* grid = "表格_人脉") {
    std::vector<std::string> names;
    QAbstractItemModel* m = Grid(grid).model();
    if (m == nullptr) return names;
    for (int r = 0; r < m->rowCount(); ++r) names.push_back(m->index(r, 0).data().toString().toStdString());
    return names;
  }
  std::vector<std::string> Stored() {
    store::RecordStore s;
    std::vector<std::string> names;
    EXPECT_TRUE(s.OpenTable(GbkFile("data/lxr35.edb")));
    for (s.GoFirst(); s.CurrentRecordNumber() <= s.RecordCount(); s.Skip()) {
      names.push_back(GbkToUtf8(tables::ReadContact(s).name));
    }
    return names;
  }
  void Click(const char* button) { organiser_->units().Push(Utf8ToGbk(button)).widget()->click(); }
  void Menu(const char* item) {
    auto* menu = Grid().findChild<QMenu*>(QStringLiteral("人脉菜单"));
    ASSERT_NE(menu, nullptr);
    menu->findChild<QAction*>(QString::fromUtf8(item))->trigger();
  }
};

TEST_F(ContactBookTest, AllContactsAndTheLetterGroups) {
  StartWith({"陈一", "Tom", "曹二", "沈三", "孙四", "单五", "曾六"});
  EXPECT_EQ(Shown(), (std::vector<std::string>{"陈一", "Tom", "曹二", "沈三", "孙四", "单五", "曾六"}));
  Click("按钮_ad");
  EXPECT_EQ(Shown(), (std::vector<std::string>{"曹二", "曾六", "陈一", "单五"}));
  Click("按钮_qt");
  EXPECT_EQ(Shown(), (std::vector<std::string>{"孙四", "沈三"}));
  Click("按钮_qt");
  EXPECT_EQ(Shown(), (std::vector<std::string>{"孙四", "沈三"})) << "built again, the same";
  Click("按钮_all");
  EXPECT_EQ(Shown().size(), 7u);
}

TEST_F(ContactBookTest, DeletingInAGroupDeletesTheContactTheRowWasCopiedFrom) {
  StartWith({"陈一", "Tom", "曹二", "沈三"});
  Click("按钮_ad");
  ASSERT_EQ(Shown(), (std::vector<std::string>{"曹二", "陈一"}));
  ASSERT_TRUE(Grid().SetCursor(2, 1));  // 陈一, record 1 of lxr35
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestionMark(), "确定要删除 [ 1 ] 号记录么？"_gbk, true);
  Menu("删除联系人");
  dialogs_.Finish();
  EXPECT_EQ(Stored(), (std::vector<std::string>{"Tom", "曹二", "沈三"}));
  EXPECT_EQ(Shown(), (std::vector<std::string>{"曹二"})) << "the group is built again";

  // Cancel deletes nothing; so does a cursor on no row.
  ASSERT_TRUE(Grid().SetCursor(1, 1));
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestionMark(), "确定要删除 [ 2 ] 号记录么？"_gbk, false);
  Menu("删除联系人");
  dialogs_.Finish();
  EXPECT_EQ(Stored().size(), 3u);
}

TEST_F(ContactBookTest, AddingMakesAnEmptyContactToTypeInto) {
  StartWith({"陈一"});
  Menu("新增联系人");
  EXPECT_EQ(Stored(), (std::vector<std::string>{"陈一", ""}));
  EXPECT_EQ(Shown().size(), 2u) << "the page shows the new row";
  EXPECT_EQ(organiser_->units().Pages("选择夹右侧"_gbk).CurrentPage(), 3);
  // The cursor is on the new row: typing goes there, not into 陈一.
  EXPECT_EQ(Grid().CursorRow(), 2);
  const QModelIndex typed_into = Grid().currentIndex();
  EXPECT_EQ(typed_into.row(), 1);
  ASSERT_TRUE(Grid().model()->setData(typed_into, QString::fromUtf8("王二"), Qt::EditRole));
  EXPECT_EQ(Stored(), (std::vector<std::string>{"陈一", "王二"}));

  // In a group nothing can be typed: a copy would lose it. Adding there
  // shows all contacts with the cursor on the new one.
  Click("按钮_ad");
  EXPECT_FALSE(Grid().model()->flags(Grid().model()->index(0, 0)) & Qt::ItemIsEditable);
  Menu("新增联系人");
  EXPECT_EQ(Shown().size(), 3u);
  EXPECT_EQ(Grid().CursorRow(), 3);
  EXPECT_TRUE(Grid().model()->flags(Grid().model()->index(2, 0)) & Qt::ItemIsEditable);
}

TEST_F(ContactBookTest, TheStorePositionFollowsTheCursor) {
  StartWith({"陈一", "Tom", "曹二"});
  Click("按钮_ad");
  QTest::mouseClick(Grid().viewport(), Qt::LeftButton, {}, Grid().visualRect(Grid().model()->index(1, 1)).center());
  ASSERT_TRUE(organiser_->store().SelectTable("lxr35"));
  EXPECT_EQ(organiser_->store().CurrentRecordNumber(), 1) << "陈一, the source of group row 2";
}

TEST_F(ContactBookTest, TheOverviewGridsShowEveryRecordAndGetTheirWidths) {
  StartWith({});
  Organiser& o = *organiser_;
  o.units().Pages("选择夹右侧"_gbk).SetCurrentPage(0);
  QTest::keyClicks(o.units().Find("编辑框_本日志"_gbk), "x");
  o.units().Pages("选择夹右侧"_gbk).SetCurrentPage(1);
  ui::RecordGrid& diary = Grid("表格_日志一览");
  ASSERT_NE(diary.model(), nullptr);
  EXPECT_EQ(diary.model()->rowCount(), 1) << "what the today page wrote shows";
  EXPECT_EQ(diary.model()->headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("日志"));
  EXPECT_EQ(diary.columnWidth(0), 300);
  EXPECT_EQ(diary.columnWidth(1), 700);
  EXPECT_EQ(Grid("表格_周期事项一览").columnWidth(3), 800);
  EXPECT_FALSE(diary.model()->flags(diary.model()->index(0, 1)) & Qt::ItemIsEditable);
}

}  // namespace
}  // namespace tarvok::test
