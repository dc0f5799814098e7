// Start-up and shut-down of the whole organiser: first start, missing files,
// protected tables, failures, the close query and the destroy step.
#include <QCheckBox>
#include <QKeyEvent>
#include <QTest>

#include <optional>
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

std::string ImageBytes(const tables::TableImage& image) {
  return std::string(image.bytes.begin(), image.bytes.end());
}

class StartupTest : public AppTest {
 public:
  // The six table files, written from their images.
  void MakeTables() { tables::EnsureDataFiles(Utf8ToGb18030(ProgramDir())); }

  // Protects the named tables of the data folder with `password`.
  void Protect(const std::vector<const char*>& names, const std::string& password) {
    store::RecordStore s;
    for (const char* name : names) {
      ASSERT_TRUE(s.OpenTable(GbkFile(std::string("data/") + name + ".edb"))) << name;
      ASSERT_TRUE(s.SetPassword(password)) << name;
      s.CloseTable();
    }
  }

  void ProtectEvents() { Protect({"tx35"}, "secret"); }
  void DamageContacts() {
    const std::string bytes = ReadFileBytes(File("data/lxr35.edb"));
    WriteFileBytes(File("data/lxr35.edb"), bytes.substr(0, 40));
  }

  bool AnyTableOpen(Organiser& o) {
    for (const tables::TableDef* t : tables::AllTables()) {
      if (o.store().SelectTable(t->name)) return true;
    }
    return false;
  }
};

TEST_F(StartupTest, FirstStartInAnEmptyFolderMakesTheFilesAndOpensThemPlain) {
  Organiser& o = Started();
  for (const tables::TableImage& image : tables::TableImages()) {
    EXPECT_EQ(ReadFileBytes(File(std::string("data/") + image.file)), ImageBytes(image)) << image.file;
  }
  for (const tables::TableDef* t : tables::AllTables()) EXPECT_TRUE(o.store().SelectTable(t->name));
  EXPECT_FALSE(o.units().Check("选择框_加密"_gbk).Checked());
  EXPECT_EQ(o.units().Text("标签_加密状态"_gbk).Text(), "未加密"_gbk);
  EXPECT_FALSE(o.ctx().state.opened_protected);
  // Today is selected and named on the today page.
  EXPECT_EQ(DateOnly(o.ctx().calendar().selectedDate()), MakeDate(2013, 1, 31));
  EXPECT_EQ(o.units().Group("分组框_今日志"_gbk).Caption(), "日志-2013年1月31日"_gbk);
  EXPECT_EQ(o.units().Group("分组框_事项"_gbk).Caption(), "周期事项-2013年1月31日"_gbk);
  EXPECT_EQ(o.end_calls(), 0);
}

TEST_F(StartupTest, OnlyTheMissingFileIsWrittenAndTheOthersKeepTheirBytes) {
  MakeTables();
  {
    // A diary entry, so rz35.edb differs from its image.
    store::RecordStore s;
    ASSERT_TRUE(s.OpenTable(GbkFile("data/rz35.edb")));
    ASSERT_TRUE(s.AddRecord(tables::RecordValues(tables::DiaryEntry{MakeDate(2013, 1, 2), "x"})));
  }
  ASSERT_EQ(remove(File("data/rz35.edt").c_str()), 0);
  std::vector<std::string> before;
  for (const tables::TableImage& image : tables::TableImages()) {
    const bool missing = std::string(image.file) == "rz35.edt";
    before.push_back(missing ? ImageBytes(image) : ReadFileBytes(File(std::string("data/") + image.file)));
  }

  Started();
  for (size_t i = 0; i < tables::TableImages().size(); ++i) {
    const tables::TableImage& image = tables::TableImages()[i];
    EXPECT_EQ(ReadFileBytes(File(std::string("data/") + image.file)), before[i]) << image.file;
  }
}

struct PasswordCase {
  const char* name;
  std::optional<std::string> typed;
  bool opens;
};

TEST_F(StartupTest, ProtectedTablesOpenWithTheRightPasswordOnly) {
  const PasswordCase cases[] = {
      {"right", "secret", true},
      {"wrong", "Secret", false},
      {"empty", "", false},
      {"cancelled", std::nullopt, false},
  };
  MakeTables();
  Protect({"rz35", "tx35", "bw35", "lxr35"}, "secret");
  for (const PasswordCase& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.ExpectInput("打开数据库"_gbk, "数据库已加密，请输入密码："_gbk, /*masked=*/true, c.typed);
    if (!c.opens) dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "密码错误！"_gbk);
    Organiser& o = Make();
    EXPECT_EQ(o.Start(), c.opens);
    EXPECT_TRUE(o.ctx().state.opened_protected);
    dialogs_.Finish();
    if (c.opens) {
      for (const tables::TableDef* t : tables::AllTables()) EXPECT_TRUE(o.store().SelectTable(t->name));
      EXPECT_TRUE(o.units().Check("选择框_加密"_gbk).Checked());
      EXPECT_EQ(o.units().Text("标签_加密状态"_gbk).Text(), "已加密"_gbk);
      EXPECT_EQ(o.ctx().state.startup_password, "secret");
      EXPECT_EQ(o.end_calls(), 0);
      // The three grid providers carry the password and show their tables.
      for (const char* provider : {"数据库提供者_日志", "数据库提供者_事项", "数据库提供者_联系人"}) {
        auto* unit = o.window().findChild<ui::ProviderUnit*>(QString::fromUtf8(provider));
        ASSERT_NE(unit, nullptr) << provider;
        EXPECT_TRUE(unit->provider().has_table()) << provider;
      }
    } else {
      EXPECT_EQ(o.end_calls(), 1);
      EXPECT_TRUE(o.ctx().ended);
      EXPECT_FALSE(AnyTableOpen(o));
    }
  }
}

TEST_F(StartupTest, AFailureAfterSomeOpensClosesTheTablesAlreadyOpen) {
  MakeTables();
  Protect({"rz35", "tx35", "bw35"}, "secret");
  Protect({"lxr35"}, "other");
  dialogs_.ExpectInput("打开数据库"_gbk, "数据库已加密，请输入密码："_gbk, true, "secret");
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "密码错误！"_gbk);
  Organiser& o = Make();
  EXPECT_FALSE(o.Start());
  EXPECT_FALSE(AnyTableOpen(o));
}

TEST_F(StartupTest, APlainDiaryWithAnotherTableUnreadableEndsWithTheOpenFailure) {
  struct Case {
    const char* name;
    void (StartupTest::*damage)();
  };
  const Case cases[] = {
      {"tx35 protected", &StartupTest::ProtectEvents},
      {"lxr35 damaged", &StartupTest::DamageContacts},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeTables();
    (this->*c.damage)();
    dialogs_.ExpectMessage(BoxKind::kError, ui::TitleError(), "数据库打开失败！"_gbk);
    Organiser& o = Make();
    EXPECT_FALSE(o.Start());
    dialogs_.Finish();
    EXPECT_EQ(o.end_calls(), 1);
    EXPECT_FALSE(AnyTableOpen(o));
    organiser_.reset();
    ASSERT_EQ(system(("rm -rf '" + File("data") + "'").c_str()), 0);
  }
}

TEST_F(StartupTest, TheCloseQueryAsksAndOnlyOkEndsTheProgram) {
  Organiser& o = Started();
  // Esc anywhere in the window raises the query; Cancel keeps everything.
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), "确认要退出程序？"_gbk, false);
  QTest::keyClick(o.units().Find("编辑框_本日志"_gbk), Qt::Key_Escape);
  dialogs_.Finish();
  EXPECT_EQ(o.end_calls(), 0);
  EXPECT_TRUE(o.window().isVisible());
  EXPECT_TRUE(o.store().SelectTable("rz35"));

  // OK ends the program; the window is not closed by the query itself.
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), "确认要退出程序？"_gbk, true);
  EXPECT_FALSE(o.window().close());
  dialogs_.Finish();
  EXPECT_EQ(o.end_calls(), 1);
  EXPECT_TRUE(o.window().isVisible());
}

TEST_F(StartupTest, TheDestroyStepWritesTheZoomAndClosesEveryTable) {
  WriteFileBytes(File("config.ini"), Utf8ToGbk("[表格缩放]\r\n缩放比=120\r\n"));
  Organiser& o = Started();
  o.units().Spin("编辑框2"_gbk).SetText("130");
  ASSERT_EQ(remove(File("config.ini").c_str()), 0);
  app::RunDestroyStep(o.ctx());
  EXPECT_EQ(GbkToUtf8(ReadFileBytes(File("config.ini"))), "[表格缩放]\r\n缩放比=130\r\n");
  EXPECT_FALSE(AnyTableOpen(o));
}

TEST_F(StartupTest, AStartThatFailsLeavesTheSettingsAlone) {
  MakeTables();
  ProtectEvents();
  const std::string config = Utf8ToGbk("[表格缩放]\r\n缩放比=140\r\n");
  WriteFileBytes(File("config.ini"), config);
  dialogs_.ExpectMessage(BoxKind::kError, ui::TitleError(), "数据库打开失败！"_gbk);
  EXPECT_FALSE(Make().Start());
  EXPECT_EQ(ReadFileBytes(File("config.ini")), config);
}

}  // namespace
}  // namespace tarvok::test
