// The password switch of the settings page: protecting the four tables,
// restarting with the right and a wrong password, removing the protection,
// and a failure in the middle of either, which must leave all four tables
// under one password.
#include <QCheckBox>
#include <QTest>

#include <optional>
#include <string>
#include <vector>

#include "tables/tables.h"
#include "tests/app/app_test_base.h"
#include "tests/support/fault_fs.h"
#include "ui/record_grid.h"

namespace tarvok::test {
namespace {

using ui::BoxKind;

// Answers every input box with a fixed text and records the messages.
class RecordingDialogs : public ui::DialogService {
 public:
  explicit RecordingDialogs(std::string typed) : typed_(std::move(typed)) {}
  bool ShowMessage(const ui::MessageRequest& r) override {
    messages.push_back(GbkToUtf8(r.text));
    return true;
  }
  std::optional<std::string> Input(const ui::InputRequest&) override { return typed_; }
  std::optional<std::string> OpenFile(const ui::OpenFileRequest&) override { return std::nullopt; }
  std::optional<std::string> PromptPassword(const std::string&) override { return std::nullopt; }
  std::vector<std::string> messages;

 private:
  std::string typed_;
};

class PasswordSwitchTest : public AppTest {
 protected:
  void Toggle() { QTest::mouseClick(organiser_->units().Find("选择框_加密"_gbk), Qt::LeftButton); }
  bool Checked() { return organiser_->units().Check("选择框_加密"_gbk).Checked(); }
  std::string Label() { return GbkToUtf8(organiser_->units().Text("标签_加密状态"_gbk).Text()); }
  // The magic of each table file: "WEDB" plain, "WCDB" protected.
  std::vector<std::string> Magics() {
    std::vector<std::string> magics;
    for (const char* f : {"rz35.edb", "tx35.edb", "bw35.edb", "lxr35.edb"}) {
      magics.push_back(ReadFileBytes(File(std::string("data/") + f)).substr(0, 4));
    }
    return magics;
  }
  bool ProvidersShowTables() {
    for (const char* p : {"数据库提供者_日志", "数据库提供者_事项", "数据库提供者_联系人"}) {
      auto* unit = organiser_->window().findChild<ui::ProviderUnit*>(QString::fromUtf8(p));
      if (unit == nullptr || !unit->provider().has_table()) return false;
    }
    return true;
  }
  const std::vector<std::string> kPlain{"WEDB", "WEDB", "WEDB", "WEDB"};
  const std::vector<std::string> kProtected{"WCDB", "WCDB", "WCDB", "WCDB"};
};

TEST_F(PasswordSwitchTest, ProtectRestartAndRemoveTheProtection) {
  Started();
  dialogs_.ExpectInput("对数据库进行加密"_gbk, "请输入密码："_gbk, /*masked=*/false, "P")
      .ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "数据库加密成功"_gbk);
  Toggle();
  dialogs_.Finish();
  EXPECT_EQ(Magics(), kProtected);
  EXPECT_TRUE(Checked());
  EXPECT_EQ(Label(), "已加密");
  EXPECT_TRUE(ProvidersShowTables()) << "the providers learnt the new password";

  // The next start asks, masked; a wrong password ends it.
  organiser_.reset();
  dialogs_.ExpectInput("打开数据库"_gbk, "数据库已加密，请输入密码："_gbk, true, "wrong")
      .ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "密码错误！"_gbk);
  EXPECT_FALSE(Make().Start());
  dialogs_.Finish();
  organiser_.reset();
  dialogs_.ExpectInput("打开数据库"_gbk, "数据库已加密，请输入密码："_gbk, true, "P");
  Started();
  dialogs_.Finish();
  EXPECT_TRUE(Checked());

  // Removing it asks no password; Cancel keeps it.
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestionMark(), "确定取消数据库加密？"_gbk, false);
  Toggle();
  dialogs_.Finish();
  EXPECT_TRUE(Checked());
  EXPECT_EQ(Magics(), kProtected);
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestionMark(), "确定取消数据库加密？"_gbk, true)
      .ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "数据库已经取消加密！"_gbk);
  Toggle();
  dialogs_.Finish();
  EXPECT_EQ(Magics(), kPlain);
  EXPECT_FALSE(Checked());
  EXPECT_EQ(Label(), "未加密");
  EXPECT_TRUE(ProvidersShowTables());
}

TEST_F(PasswordSwitchTest, CancelOrAnEmptyPasswordLeavesTheTablesAlone) {
  Started();
  const std::vector<std::string> before = Magics();
  dialogs_.ExpectInput("对数据库进行加密"_gbk, "请输入密码："_gbk, false, std::nullopt);
  Toggle();
  dialogs_.ExpectInput("对数据库进行加密"_gbk, "请输入密码："_gbk, false, "")
      .ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "密码为空，数据库不会被加密"_gbk);
  Toggle();
  dialogs_.Finish();
  EXPECT_EQ(Magics(), before);
  EXPECT_FALSE(Checked());
  EXPECT_EQ(Label(), "未加密");
}

// Every write of a switch failed in turn: the switch either succeeds whole,
// or reports the failure with all four tables as they were, still open and
// the grids showing them.
TEST_F(PasswordSwitchTest, AFailureAnywhereLeavesAllFourUnderOnePassword) {
  const char* const kTables[] = {"rz35", "tx35", "bw35", "lxr35"};
  const DateTime day = MakeDate(2024, 6, 1);
  const std::vector<store::OptValue> kRecords[] = {
      tables::RecordValues(tables::DiaryEntry{day, std::string(3000, 'd') + "日记"_gbk}),
      tables::RecordValues(tables::PeriodicEvent{day, 3, tables::RecurrenceUnit::kWeek, "交电费"_gbk}),
      tables::RecordValues(tables::MemoNote{"备忘"_gbk + std::string(2000, 'm')}),
      tables::RecordValues(tables::Contact{"王小明"_gbk, "13800001234", "同事"_gbk}),
  };
  for (const bool protect : {true, false}) {
    SCOPED_TRACE(protect ? "protecting" : "removing");
    int failures = 0;
    for (uint64_t k = 1;; ++k) {
      organiser_.reset();
      ASSERT_EQ(system(("rm -rf '" + File("data") + "'").c_str()), 0);
      {
        // One record in every table, protected with "P" when removing.
        tables::EnsureDataFiles(Utf8ToGb18030(ProgramDir()));
        store::RecordStore s;
        for (size_t i = 0; i < 4; ++i) {
          ASSERT_TRUE(s.OpenTable(GbkFile(std::string("data/") + kTables[i] + ".edb")));
          ASSERT_TRUE(s.AddRecord(kRecords[i]));
          if (!protect) {
            ASSERT_TRUE(s.SetPassword("P"));
          }
        }
      }
      RecordingDialogs answers("P");
      ui::ScopedDialogService use(&answers);
      Organiser& o = Make();
      ASSERT_TRUE(o.Start());
      FaultFileSystem fs;
      ScopedFileSystem faults(&fs);
      fs.FailNth(FsOp::kWrite, k, ENOSPC);
      answers.messages.clear();
      Toggle();
      const std::vector<std::string> after = Magics();
      if (fs.Injected() == 0) {
        ASSERT_FALSE(answers.messages.empty());
        EXPECT_EQ(answers.messages.back(), protect ? "数据库加密成功" : "数据库已经取消加密！");
        EXPECT_EQ(after, protect ? kProtected : kPlain);
        break;
      }
      const std::vector<std::string>& before = protect ? kPlain : kProtected;
      if (after == before && !answers.messages.empty() && answers.messages.back() != "数据库加密成功" &&
          answers.messages.back() != "数据库已经取消加密！") {
        ++failures;
        EXPECT_EQ(answers.messages.back(), protect ? "数据库加密失败！" : "数据库取消加密失败！") << k;
        EXPECT_EQ(Checked(), !protect) << k;
        EXPECT_EQ(Label(), protect ? "未加密" : "已加密") << k;
      } else {
        // The failed write was one the switch could do without (a retry
        // inside the store): it must then have succeeded whole.
        EXPECT_EQ(after, protect ? kProtected : kPlain) << k;
      }
      EXPECT_TRUE(ProvidersShowTables()) << k;
      // Every record still reads as written, through the tables the
      // organiser holds.
      for (size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(o.store().SelectTable(kTables[i])) << k;
        ASSERT_EQ(o.store().RecordCount(), 1) << k << kTables[i];
        o.store().GoFirst();
        for (size_t f = 0; f < kRecords[i].size(); ++f) {
          EXPECT_EQ(o.store().ReadField(int(f + 1)), *kRecords[i][f]) << k << kTables[i] << f;
        }
      }
      ASSERT_LT(k, 2000u);
    }
    EXPECT_GT(failures, 3) << "the loop must have hit the later tables too";
  }
}

}  // namespace
}  // namespace tarvok::test
