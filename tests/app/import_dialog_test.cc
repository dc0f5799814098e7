// Importing contacts through the real window: the dialog opened by
// 按钮_导入联系人, listing the columns of a chosen .xls, the checks of 开始, the
// progress bar, the contacts page afterwards, and what a file that cannot be
// read or a failed write leaves behind: a message, lxr35 still open and the
// contact book still working.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "contacts/contact_import_ui.h"
#include "store/record_store.h"
#include "tables/tables.h"
#include "tests/app/app_test_base.h"
#include "tests/support/fault_fs.h"
#include "ui/record_grid.h"

namespace tarvok::test {
namespace {

using ui::BoxKind;

const std::string kFilter = "*.xls (*.xls)";

// A fixture workbook of tests/contacts/data, as a GBK path.
std::string Workbook(const char* name) {
  const std::filesystem::path here(__FILE__);
  return Utf8ToGb18030((here.parent_path().parent_path() / "contacts" / "data" / name).string());
}

class ImportDialogTest : public AppTest {
 protected:
  ImportDialogTest() : use_fs_(&fs_) {
    // The letter groups go to a private folder under the test's runtime dir.
    setenv("XDG_RUNTIME_DIR", RuntimeDir().c_str(), 1);
  }
  ~ImportDialogTest() override {
    // Its files were opened through fs_.
    organiser_.reset();
    unsetenv("XDG_RUNTIME_DIR");
  }

  void SetUp() override {
    tables::EnsureDataFiles(Utf8ToGb18030(ProgramDir()));
    store::RecordStore s;
    ASSERT_TRUE(s.OpenTable(GbkFile("data/lxr35.edb")));
    ASSERT_TRUE(s.AddRecord(tables::RecordValues(tables::Contact{"王老五"_gbk, "1", ""})));
    Started();
  }

  ui::Context& ctx() { return organiser_->ctx(); }
  void Click(const char* button) { organiser_->units().Push(Utf8ToGbk(button)).widget()->click(); }

  QDialog* Dialog() { return qobject_cast<QDialog*>(contacts::OpenedImportContactsDialog(ctx())); }
  QDialog* Open() {
    Click("按钮_导入联系人");
    QDialog* d = Dialog();
    EXPECT_NE(d, nullptr);
    return d;
  }
  static QWidget* Unit(QDialog* d, const char* name) { return ui::Units(d).Find(Utf8ToGbk(name)); }
  static QListWidget* Columns(QDialog* d) { return qobject_cast<QListWidget*>(Unit(d, "选择列表框1")); }
  static void Press(QDialog* d, const char* button) {
    QTest::mouseClick(qobject_cast<QAbstractButton*>(Unit(d, button)), Qt::LeftButton);
  }
  // 选择, answered with `file` (nullopt: cancel).
  void Choose(QDialog* d, std::optional<std::string> file) {
    dialogs_.ExpectOpenFile(kFilter, std::move(file));
    Press(d, "按钮_选择excel文件");
  }
  // 选择, answered with a file that cannot be read, and the error box.
  void ChooseBad(QDialog* d, const std::string& file, const char* error) {
    dialogs_.ExpectOpenFile(kFilter, file);
    dialogs_.ExpectMessage(BoxKind::kError, ui::TitleError(), Utf8ToGbk(error));
    Press(d, "按钮_选择excel文件");
    dialogs_.Finish();
  }
  // The lines of the check list: text (UTF-8), value and tick.
  static std::vector<std::string> Lines(QDialog* d) {
    std::vector<std::string> lines;
    QListWidget* list = Columns(d);
    for (int i = 0; i < list->count(); ++i) {
      const QListWidgetItem* item = list->item(i);
      lines.push_back(item->text().toStdString() + "=" + std::to_string(item->data(Qt::UserRole).toInt()) +
                      (item->checkState() == Qt::Checked ? "+" : ""));
    }
    return lines;
  }
  static void Tick(QDialog* d, std::vector<int> lines) {
    for (int i : lines) Columns(d)->item(i)->setCheckState(Qt::Checked);
  }
  // 开始, answered by `box`.
  void Start(QDialog* d, BoxKind kind, const std::string& title, const char* text) {
    dialogs_.ExpectMessage(kind, title, Utf8ToGbk(text));
    Press(d, "按钮_开始导入联系人");
    dialogs_.Finish();
  }

  // lxr35 as a store of the test's own reads it: name|phone|remark.
  std::vector<std::string> Stored() {
    store::RecordStore s;
    std::vector<std::string> all;
    EXPECT_TRUE(s.OpenTable(GbkFile("data/lxr35.edb")));
    for (s.GoFirst(); s.CurrentRecordNumber() <= s.RecordCount(); s.Skip()) {
      const tables::Contact c = tables::ReadContact(s);
      all.push_back(GbkToUtf8(c.name) + "|" + GbkToUtf8(c.phone) + "|" + GbkToUtf8(c.remark));
    }
    return all;
  }
  // The first column of the contacts grid, UTF-8.
  std::vector<std::string> Shown() {
    std::vector<std::string> names;
    auto* grid = organiser_->window().findChild<ui::RecordGrid*>(QStringLiteral("表格_人脉"));
    QAbstractItemModel* m = grid->model();
    for (int r = 0; m != nullptr && r < m->rowCount(); ++r) {
      names.push_back(m->index(r, 0).data().toString().toStdString());
    }
    return names;
  }
  // The contact book after the dialog: lxr35 current and writable through
  // the store, and 新增联系人 adds a contact.
  void ContactBookStillWorks() {
    store::RecordStore& s = organiser_->store();
    ASSERT_TRUE(s.SelectTable(tables::kContactTable)) << "the store's lxr35 is open";
    const size_t before = Stored().size();
    auto* grid = organiser_->window().findChild<ui::RecordGrid*>(QStringLiteral("表格_人脉"));
    grid->findChild<QMenu*>(QStringLiteral("人脉菜单"))->findChild<QAction*>(QStringLiteral("新增联系人"))->trigger();
    EXPECT_EQ(Stored().size(), before + 1);
    EXPECT_EQ(Shown().size(), before + 1);
  }

  // Every file of the organiser goes through here, so that a test can fail
  // its writes.
  FaultFileSystem fs_;
  ScopedFileSystem use_fs_;
};

TEST_F(ImportDialogTest, OpensModalWithItsUnitsAndTheContactsPage) {
  ui::PageControl pages = organiser_->units().Pages("选择夹右侧"_gbk);
  pages.SetCurrentPage(2);
  std::vector<int> visited;
  QObject::connect(pages.widget(), &QTabWidget::currentChanged, [&](int p) { visited.push_back(p); });
  QDialog* d = Open();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->isVisible());
  EXPECT_NE(d->windowModality(), Qt::NonModal);
  EXPECT_EQ(QApplication::activeModalWidget(), d);
  EXPECT_EQ(d->windowTitle(), QString::fromUtf8("导入联系人"));
  EXPECT_EQ(visited, (std::vector<int>{0, 3}));

  const ui::Units u(d);
  EXPECT_EQ(GbkToUtf8(u.Group("分组框1"_gbk).Caption()), "选择execl文件：");
  EXPECT_EQ(GbkToUtf8(u.Group("分组框5"_gbk).Caption()), "联系人数据库：");
  EXPECT_EQ(GbkToUtf8(u.Push("按钮_选择excel文件"_gbk).Text()), "选择");
  EXPECT_EQ(GbkToUtf8(u.Push("按钮_开始导入联系人"_gbk).Text()), "开始");
  EXPECT_EQ(GbkToUtf8(u.Push("按钮_退出"_gbk).Text()), "退出");
  EXPECT_EQ(GbkToUtf8(u.Edit("编辑框2"_gbk).Text()), "\\data\\lxr35.edb");
  EXPECT_EQ(GbkToUtf8(u.Edit("编辑框1"_gbk).Text()), "");
  EXPECT_EQ(GbkToUtf8(u.Text("透明标签1"_gbk).Text()), ">>>>>>>>");
  EXPECT_EQ(GbkToUtf8(u.Text("标签1"_gbk).Text()),
            "请在左侧点选要导入数据库的excel文件字段。注意，字段名必须与右侧完全相同，并且排列顺序也必须相同！");
  ui::ListBox fields = u.List("列表框1"_gbk);
  ASSERT_EQ(fields.Count(), 3);
  EXPECT_EQ(fields.Line(0).text, "姓名"_gbk);
  EXPECT_EQ(fields.Line(1).text, "电话"_gbk);
  EXPECT_EQ(fields.Line(2).text, "备注"_gbk);
  EXPECT_EQ(Columns(d)->count(), 0);
  EXPECT_FALSE(Unit(d, "进度条1")->isVisible());

  Press(d, "按钮_退出");
  EXPECT_EQ(Dialog(), nullptr);
}

TEST_F(ImportDialogTest, TickedColumnsBecomeContactsWithTheBarFollowingTheRows) {
  QDialog* d = Open();
  Choose(d, Workbook("contacts.xls"));
  EXPECT_EQ(GbkToUtf8(ui::Units(d).Edit("编辑框1"_gbk).Text()), GbkToUtf8(Workbook("contacts.xls")));
  EXPECT_EQ(Lines(d), (std::vector<std::string>{"姓名=1", "电话=2", "备注=3"}));
  EXPECT_EQ(Columns(d)->item(2)->toolTip(), QStringLiteral("c1"));

  // A cancelled choice lists the same file again, unticked.
  Tick(d, {0});
  Choose(d, std::nullopt);
  EXPECT_EQ(Lines(d), (std::vector<std::string>{"姓名=1", "电话=2", "备注=3"}));

  Tick(d, {0, 1, 2});
  auto* bar = qobject_cast<QProgressBar*>(Unit(d, "进度条1"));
  std::vector<int> values;
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { values.push_back(v); });
  QPointer<QGroupBox> group = qobject_cast<QGroupBox*>(Unit(d, "分组框3"));
  Start(d, BoxKind::kPlainOkCancel, ui::TitleNone(), "导入成功！");
  EXPECT_EQ(values, (std::vector<int>{25, 50, 75, 100})) << "one step a row of four";
  ASSERT_FALSE(group.isNull());
  EXPECT_EQ(group->title(), QString::fromUtf8("正在导入数据，请稍等……"));
  EXPECT_EQ(Dialog(), nullptr) << "the success closes the dialog";

  EXPECT_EQ(Stored(), (std::vector<std::string>{"王老五|1|", "张三|13800138000|同事", "李四||3.5",
                                                "Wang Wu|010-62345678|2013-01-31", "赵六|110|-42"}));
  EXPECT_EQ(Shown(), (std::vector<std::string>{"王老五", "张三", "李四", "Wang Wu", "赵六"}));
  EXPECT_EQ(organiser_->units().Pages("选择夹右侧"_gbk).CurrentPage(), 3);
  ContactBookStillWorks();
}

TEST_F(ImportDialogTest, ALetterGroupOnShowIsBuiltAgain) {
  Click("按钮_uz");
  ASSERT_EQ(Shown(), (std::vector<std::string>{"王老五"}));
  QDialog* d = Open();
  Choose(d, Workbook("contacts.xls"));
  Tick(d, {0});
  Start(d, BoxKind::kPlainOkCancel, ui::TitleNone(), "导入成功！");
  EXPECT_EQ(Shown(), (std::vector<std::string>{"王老五", "张三", "赵六"}));
}

TEST_F(ImportDialogTest, NothingTickedIsRefusedWhateverIsSelected) {
  QDialog* d = Open();
  Start(d, BoxKind::kInformation, ui::TitleNone(), "尚未选择任何一个字段！");
  Choose(d, Workbook("contacts.xls"));
  // A click on a line's text selects it without ticking it.
  QListWidget* list = Columns(d);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
  ASSERT_EQ(list->currentRow(), 1);
  ASSERT_EQ(Lines(d), (std::vector<std::string>{"姓名=1", "电话=2", "备注=3"}));
  Start(d, BoxKind::kInformation, ui::TitleNone(), "尚未选择任何一个字段！");
  EXPECT_EQ(Dialog(), d) << "the dialog stays for a choice";
  EXPECT_EQ(Stored().size(), 1u);
}

TEST_F(ImportDialogTest, EdgeCasesOfTheSheets) {
  struct Case {
    const char* file;
    std::vector<int> ticked;
    std::vector<std::string> added;
  };
  const Case cases[] = {
      // 电话 has a trailing space: the column reaches no field, the rows come.
      {"trailing_space.xls", {0, 1, 2}, {"周九||邻居", "吴十||"}},
      // No sheet named sheet1: nothing, and still a success.
      {"no_sheet1.xls", {0, 1, 2}, {}},
      // Past the 60th column, a column is listed and imported like any.
      {"wide.xls", {0, 61, 64}, {"宽1|13900000001|第65列1", "宽2|13900000002|第65列2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<std::string> expected = Stored();
    QDialog* d = Open();
    Choose(d, Workbook(c.file));
    Tick(d, c.ticked);
    Start(d, BoxKind::kPlainOkCancel, ui::TitleNone(), "导入成功！");
    expected.insert(expected.end(), c.added.begin(), c.added.end());
    EXPECT_EQ(Stored(), expected);
  }
  QDialog* d = Open();
  Choose(d, Workbook("wide.xls"));
  ASSERT_EQ(Columns(d)->count(), 65);
  EXPECT_EQ(Lines(d)[61], "电话=62");
  EXPECT_EQ(Columns(d)->item(59)->toolTip(), QStringLiteral("bh1"));
  EXPECT_EQ(Columns(d)->item(64)->toolTip(), QStringLiteral("bm1"));
}

TEST_F(ImportDialogTest, AFileThatIsNoWorkbookGivesAMessageAndTheDialogStays) {
  WriteFileBytes(File("联系人.xls"), "姓名,电话\n张三,138\n");
  const std::string good = ReadFileBytes(GbkToUtf8(Workbook("contacts.xls")));
  WriteFileBytes(File("cut.xls"), good.substr(0, good.size() / 2));
  QDialog* d = Open();
  Choose(d, Workbook("contacts.xls"));
  ASSERT_EQ(Columns(d)->count(), 3);
  for (const char* bad : {"联系人.xls", "cut.xls"}) {
    ChooseBad(d, GbkFile(bad), "所选文件不是.xls格式的excel工作簿，或者文件已经损坏。");
    EXPECT_EQ(Dialog(), d);
    EXPECT_EQ(Columns(d)->count(), 0) << "no columns of another file stay listed";
  }
  ChooseBad(d, GbkFile("missing.xls"), "无法打开所选文件，请确认文件存在并且可以读取。");
  EXPECT_EQ(Columns(d)->count(), 0);

  // The same dialog takes a good file afterwards.
  Choose(d, Workbook("contacts.xls"));
  Tick(d, {0});
  Start(d, BoxKind::kPlainOkCancel, ui::TitleNone(), "导入成功！");
  EXPECT_EQ(Stored().size(), 5u);
  EXPECT_EQ(organiser_->end_calls(), 0) << "nothing ends the program";
}

TEST_F(ImportDialogTest, AWorkbookGoneBeforeStartGivesConnectionFailedAndTheBookWorks) {
  const std::string copy = File("通讯录.xls");
  WriteFileBytes(copy, ReadFileBytes(GbkToUtf8(Workbook("contacts.xls"))));
  QDialog* d = Open();
  Choose(d, GbkFile("通讯录.xls"));
  Tick(d, {0, 1});
  ASSERT_EQ(std::remove(copy.c_str()), 0);
  Start(d, BoxKind::kPlain, ui::TitleNone(), "连接失败");
  EXPECT_EQ(Dialog(), nullptr);
  EXPECT_EQ(Stored().size(), 1u);
  ContactBookStillWorks();

  // A second opening is a fresh dialog that imports.
  d = Open();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(Columns(d)->count(), 0);
  EXPECT_EQ(ui::Units(d).List("列表框1"_gbk).Count(), 3);
  Choose(d, Workbook("contacts.xls"));
  Tick(d, {0});
  Start(d, BoxKind::kPlainOkCancel, ui::TitleNone(), "导入成功！");
  EXPECT_EQ(Stored().size(), 6u);
  ContactBookStillWorks();
}

TEST_F(ImportDialogTest, AFailedWriteIsReportedAndKeepsTheDialog) {
  QDialog* d = Open();
  Choose(d, Workbook("contacts.xls"));
  Tick(d, {0, 1, 2});
  fs_.FailFrom(FsOp::kWrite, 1, ENOSPC);
  Start(d, BoxKind::kError, ui::TitleError(), "导入中断：联系人数据库写入失败（excel文件第2行）。此前已导入0个联系人。");
  EXPECT_GT(fs_.Injected(), 0u);
  fs_.ClearFaults();
  EXPECT_EQ(Dialog(), d) << "the dialog stays";
  EXPECT_TRUE(Unit(d, "按钮_开始导入联系人")->isEnabled());
  EXPECT_TRUE(Unit(d, "按钮_退出")->isEnabled());
  EXPECT_EQ(Stored().size(), 1u);
  ContactBookStillWorks();

  // Once the disk takes writes again, the same dialog imports.
  Start(d, BoxKind::kPlainOkCancel, ui::TitleNone(), "导入成功！");
  EXPECT_EQ(Stored().size(), 6u);
}

}  // namespace
}  // namespace tarvok::test
