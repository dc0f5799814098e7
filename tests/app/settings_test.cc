// The settings page and config.ini through the real widgets: what a start
// reads, what each control writes, the zoom and row-height buttons, and the
// title pictures.
#include <QAbstractButton>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <string>

#include "pictures/default_pictures.h"
#include "platform/file.h"
#include "platform/profile_file.h"
#include "tests/app/app_test_base.h"
#include "ui/grid_zoom.h"

namespace tarvok::test {
namespace {

using ui::BoxKind;

class SettingsTest : public AppTest {
 protected:
  void Config(const char* utf8) { WriteFileBytes(File("config.ini"), Utf8ToGbk(utf8)); }
  std::string ConfigText() { return GbkToUtf8(ReadFileBytes(File("config.ini"))); }
  int Page(Organiser& o, const char* utf8) { return o.units().Pages(Utf8ToGbk(utf8)).CurrentPage(); }
  bool Checked(Organiser& o, const char* utf8) { return o.units().Push(Utf8ToGbk(utf8)).Checked(); }
  QTableView* Grid(Organiser& o, const char* utf8) {
    return qobject_cast<QTableView*>(o.units().Find(Utf8ToGbk(utf8)));
  }
  std::string DefaultBytes(const char* file) {
    return std::string(pictures::FindDefaultPicture(file)->bytes);
  }
  void DoubleClick(Organiser& o, const char* utf8_box) {
    QTest::mouseDClick(o.units().Find(Utf8ToGbk(utf8_box)), Qt::LeftButton);
  }
};

TEST_F(SettingsTest, AFirstStartShowsTheDefaults) {
  Organiser& o = Started();
  EXPECT_EQ(o.units().Edit("编辑框_热键1"_gbk).Text(), "");
  EXPECT_EQ(o.ctx().state.hot_key_code, 0);
  EXPECT_EQ(Page(o, "选择夹_视图"), 1);
  EXPECT_TRUE(Checked(o, "单选框_周视图"));
  EXPECT_EQ(Page(o, "选择夹右侧"), 3);
  EXPECT_TRUE(Checked(o, "单选框_联系人"));
  EXPECT_EQ(Page(o, "选择夹_左侧"), 0);
  EXPECT_EQ(o.units().Spin("编辑框2"_gbk).Text(), "100");
  EXPECT_EQ(o.units().Spin("编辑框3"_gbk).Text(), "33");
  EXPECT_EQ(ui::GridZoom(Grid(o, "表格_人脉")), 100);
  EXPECT_TRUE(Checked(o, "单选框_托盘图标"));
  EXPECT_EQ(o.ctx().state.minimize_mode, "0");
  for (const char* file : {"jr.jpg", "zl.jpg", "bq.jpg", "lxr.jpg"}) {
    EXPECT_EQ(ReadFileBytes(File(std::string("pic/") + file)), DefaultBytes(file)) << file;
  }
  for (const char* box : {"图片框_今日", "图片框_总览", "图片框_便签", "图片框_联系人"}) {
    EXPECT_TRUE(o.units().Picture(Utf8ToGbk(box)).HasPicture()) << box;
  }
}

TEST_F(SettingsTest, TheDefaultPagesFollowTheStoredTextsByteForByte) {
  struct Case {
    const char* config;
    int left, right;
    const char* left_radio;
    const char* right_radio;
  };
  const Case cases[] = {
      {"", 1, 3, "单选框_周视图", "单选框_联系人"},
      {"[默认视图]\n左侧=0\n右侧=0\n", 0, 0, "单选框_月视图", "单选框_日志"},
      {"[默认视图]\n左侧=1\n右侧=1\n", 1, 1, "单选框_周视图", "单选框_总览"},
      {"[默认视图]\n右侧=2\n", 1, 2, "单选框_周视图", "单选框_便签"},
      {"[默认视图]\n右侧=3\n", 1, 3, "单选框_周视图", "单选框_联系人"},
      {"[默认视图]\n左侧=00\n右侧=01\n", 1, 3, "单选框_周视图", "单选框_联系人"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    Config(c.config);
    Organiser& o = Started();
    EXPECT_EQ(Page(o, "选择夹_视图"), c.left);
    EXPECT_EQ(Page(o, "选择夹右侧"), c.right);
    EXPECT_TRUE(Checked(o, c.left_radio));
    EXPECT_TRUE(Checked(o, c.right_radio));
  }
}

TEST_F(SettingsTest, TheStoredValuesAreReadAtStart) {
  Config("[全局热键]\r\n呼出热键=Ctrl + Alt + K\r\n功能键1=5\r\n主热键1=75.9\r\n"
         "[表格缩放]\r\n缩放比=120\r\n[最小化方式]\r\n最小化方式=1\r\n");
  Organiser& o = Started();
  EXPECT_EQ(o.units().Edit("编辑框_热键1"_gbk).Text(), "Ctrl + Alt + K");
  EXPECT_EQ(o.ctx().state.hot_key_modifiers, 5);
  EXPECT_EQ(o.ctx().state.hot_key_code, 75);
  EXPECT_EQ(o.units().Spin("编辑框2"_gbk).Text(), "120");
  for (const char* grid : {"表格_人脉", "表格_日志一览", "表格_周期事项一览"}) {
    EXPECT_EQ(ui::GridZoom(Grid(o, grid)), 120) << grid;
  }
  EXPECT_EQ(ui::GridZoom(Grid(o, "高级表格_周历")), 100) << "the week grid keeps its size";
  EXPECT_TRUE(Checked(o, "单选框_屏幕上端"));
  EXPECT_EQ(o.ctx().state.minimize_mode, "1");
}

TEST_F(SettingsTest, TheRadioButtonsWriteTheirValueAndChangeNothingElse) {
  Organiser& o = Started();
  struct Case {
    const char* radio;
    const char* section;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"单选框_月视图", "默认视图", "左侧", "0"},   {"单选框_周视图", "默认视图", "左侧", "1"},
      {"单选框_日志", "默认视图", "右侧", "0"},     {"单选框_总览", "默认视图", "右侧", "1"},
      {"单选框_便签", "默认视图", "右侧", "2"},     {"单选框_联系人", "默认视图", "右侧", "3"},
      {"单选框_屏幕上端", "最小化方式", "最小化方式", "1"},
      {"单选框_托盘图标", "最小化方式", "最小化方式", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radio);
    o.units().Push(Utf8ToGbk(c.radio)).widget()->click();
    EXPECT_EQ(GbkToUtf8(platform::ReadProfileString(GbkFile("config.ini"), Utf8ToGbk(c.section),
                                                    Utf8ToGbk(c.key), "?")),
              c.value);
    EXPECT_EQ(Page(o, "选择夹_视图"), 1);
    EXPECT_EQ(Page(o, "选择夹右侧"), 3);
    EXPECT_EQ(o.ctx().state.minimize_mode, "0");
  }
}

TEST_F(SettingsTest, SpinningWritesAtOnceAndTheButtonsApply) {
  Organiser& o = Started();
  auto* zoom = qobject_cast<QSpinBox*>(o.units().Find("编辑框2"_gbk));
  zoom->stepUp();
  EXPECT_EQ(ConfigText(), "[周历行高]\r\n行高=33\r\n[表格缩放]\r\n缩放比=101\r\n");
  EXPECT_EQ(ui::GridZoom(Grid(o, "表格_人脉")), 100) << "the grids wait for 立即生效";
  o.units().Push("按钮1"_gbk).widget()->click();
  for (const char* grid : {"表格_人脉", "表格_日志一览", "表格_周期事项一览"}) {
    EXPECT_EQ(ui::GridZoom(Grid(o, grid)), 101) << grid;
  }

  // Rows 1 to 7 of the week grid; row 0 is its header.
  QTableView* week = Grid(o, "高级表格_周历");
  QStandardItemModel rows(8, 4);
  week->setModel(&rows);
  const int header = week->rowHeight(0);
  auto* height = qobject_cast<QSpinBox*>(o.units().Find("编辑框3"_gbk));
  height->setValue(47);
  EXPECT_EQ(platform::ReadProfileString(GbkFile("config.ini"), "周历行高"_gbk, "行高"_gbk, ""), "47");
  o.units().Push("按钮2"_gbk).widget()->click();
  EXPECT_EQ(week->rowHeight(0), header);
  for (int row = 1; row <= 7; ++row) EXPECT_EQ(week->rowHeight(row), 47) << row;
  week->setModel(nullptr);
}

TEST_F(SettingsTest, OnlyMissingDefaultPicturesAreWritten) {
  ASSERT_EQ(mkdir(File("pic").c_str(), 0700), 0);
  WriteFileBytes(File("pic/jr.jpg"), "mine");
  WriteFileBytes(File("pic/bq.jpg"), DefaultBytes("bq.jpg"));
  WriteFileBytes(File("pic/lxr.jpg"), DefaultBytes("lxr.jpg"));
  WriteFileBytes(File("pic/a.gif"), "other");
  Organiser& o = Started();
  EXPECT_EQ(ReadFileBytes(File("pic/zl.jpg")), DefaultBytes("zl.jpg"));
  EXPECT_EQ(ReadFileBytes(File("pic/jr.jpg")), "mine");
  EXPECT_EQ(ReadFileBytes(File("pic/a.gif")), "other");
  EXPECT_FALSE(o.units().Picture("图片框_今日"_gbk).HasPicture()) << "no picture in those bytes";
  EXPECT_TRUE(o.units().Picture("图片框_总览"_gbk).HasPicture());
}

TEST_F(SettingsTest, ChangingATitlePictureCopiesItIntoPic) {
  Organiser& o = Started();
  ASSERT_EQ(mkdir(dir_.Path("elsewhere").c_str(), 0700), 0);
  const std::string picked = dir_.Path("elsewhere/a.jpg");
  WriteFileBytes(picked, DefaultBytes("lxr.jpg"));
  const std::string question = "需要修改标题图片吗？"_gbk;
  const std::string filter = "图片文件（支持JPG、GIF格式） (*.jpg *.gif)"_gbk;

  // Cancel at the question or in the file dialog: nothing changes.
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), question, false);
  DoubleClick(o, "图片框_今日");
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), question, true)
      .ExpectOpenFile(filter, std::nullopt);
  DoubleClick(o, "图片框_今日");
  dialogs_.Finish();
  EXPECT_FALSE(platform::CurrentFileSystem()->Exists(GbkFile("pic/a.jpg")));

  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), question, true)
      .ExpectOpenFile(filter, Utf8ToGb18030(picked));
  DoubleClick(o, "图片框_今日");
  dialogs_.Finish();
  EXPECT_EQ(ReadFileBytes(File("pic/a.jpg")), DefaultBytes("lxr.jpg"));
  EXPECT_EQ(platform::ReadProfileString(GbkFile("config.ini"), "标题图片"_gbk, "今日"_gbk, ""), "a.jpg");
  const QLabel* box = qobject_cast<QLabel*>(o.units().Find("图片框_今日"_gbk));
  EXPECT_EQ(box->pixmap().size(), QSize(631, 90)) << "the copy is shown";

  // A file of that name in pic is replaced only when the user agrees.
  WriteFileBytes(picked, DefaultBytes("bq.jpg"));
  const std::string replace = "“pic”文件夹中已有名为“a.jpg”的图片，要替换它吗？"_gbk;
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), question, true)
      .ExpectOpenFile(filter, Utf8ToGb18030(picked))
      .ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), replace, false);
  DoubleClick(o, "图片框_今日");
  dialogs_.Finish();
  EXPECT_EQ(ReadFileBytes(File("pic/a.jpg")), DefaultBytes("lxr.jpg"));

  // A file that cannot be read: the message, and the setting stays.
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), question, true)
      .ExpectOpenFile(filter, Utf8ToGb18030(dir_.Path("elsewhere/gone.jpg")))
      .ExpectMessage(BoxKind::kPlain, "", "复制图片文件失败！"_gbk);
  DoubleClick(o, "图片框_总览");
  dialogs_.Finish();
  EXPECT_EQ(platform::ReadProfileString(GbkFile("config.ini"), "标题图片"_gbk, "总览"_gbk, "-"), "-");
}

TEST_F(SettingsTest, HoveringATitlePictureGivesTheHint) {
  Organiser& o = Started();
  QWidget* box = o.units().Find("图片框_便签"_gbk);
  EXPECT_EQ(o.units().Picture("图片框_便签"_gbk).Hint(), "");
  QTest::mouseMove(box, QPoint(20, 20));
  QMouseEvent move(QEvent::MouseMove, QPointF(21, 20), box->mapToGlobal(QPointF(21, 20)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(box, &move);
  EXPECT_EQ(o.units().Picture("图片框_便签"_gbk).Hint(), "双击可修改图片"_gbk);
}

}  // namespace
}  // namespace tarvok::test
