// The dialog service seen from a handler: the scripted double itself, the
// boxes of the conventions, and the store's two hooks.
#include "ui/dialogs.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gbk.h"
#include "store/format.h"
#include "store/record_store.h"
#include "tests/support/temp_dir.h"
#include "ui/scripted_dialogs.h"
#include "ui/store_hooks.h"

namespace tarvok::ui {
namespace {

// Collects script failures instead of failing the test, for the tests of
// the double itself; the gtest reporter comes back afterwards.
class CapturedFailures {
 public:
  CapturedFailures() {
    SetScriptFailureReporter([this](const std::string& m) { messages.push_back(m); });
  }
  ~CapturedFailures() {
    SetScriptFailureReporter([](const std::string& m) { ADD_FAILURE() << "scripted dialogs: " << m; });
  }
  std::vector<std::string> messages;
};

TEST(ScriptedDialogsTest, AnswersEachExpectedBoxInTurn) {
  ScriptedDialogs d;
  ScopedDialogService use(&d);
  d.ExpectMessage(BoxKind::kQuestion, TitleQuestion(), "确实要退出吗？"_gbk, false)
      .ExpectMessage(BoxKind::kQuestion, TitleQuestionMark(), "删除？"_gbk, true)
      .ExpectInput("密码"_gbk, "请输入新密码："_gbk, true, "新"_gbk)
      .ExpectInput("关键词"_gbk, "输入："_gbk, false, std::nullopt)
      .ExpectOpenFile("JPEG (*.jpg)", "/tmp/图.jpg"_gbk)
      .ExpectOpenFile("JPEG (*.jpg)", std::nullopt)
      .ExpectPasswordPrompt("", "pw");
  EXPECT_FALSE(Ask("确实要退出吗？"_gbk, TitleQuestion()));
  EXPECT_TRUE(Ask("删除？"_gbk, TitleQuestionMark()));
  EXPECT_EQ(Dialogs().Input({"密码"_gbk, "请输入新密码："_gbk, "", true}), "新"_gbk);
  EXPECT_EQ(Dialogs().Input({"关键词"_gbk, "输入："_gbk, "", false}), std::nullopt);
  EXPECT_EQ(Dialogs().OpenFile({"", "JPEG (*.jpg)"}), "/tmp/图.jpg"_gbk);
  EXPECT_EQ(Dialogs().OpenFile({"", "JPEG (*.jpg)"}), std::nullopt);
  EXPECT_EQ(Dialogs().PromptPassword(""), "pw");
  EXPECT_EQ(d.pending(), 0u);
  EXPECT_EQ(d.shown(), 7u);
}

TEST(ScriptedDialogsTest, TheConventionsGiveTheirTitlesAndIcons) {
  ScriptedDialogs d;
  ScopedDialogService use(&d);
  d.ExpectMessage(BoxKind::kInformation, "信息！"_gbk, "a")
      .ExpectMessage(BoxKind::kError, "错误！"_gbk, "b")
      .ExpectMessage(BoxKind::kWarning, "警告！"_gbk, "c")
      .ExpectMessage(BoxKind::kPlain, "信息："_gbk, "d");
  ShowInformation("a");
  ShowError("b");
  ShowWarning("c");
  ShowPlain("d");
}

struct Misfit {
  const char* name;
  void (*show)();
  const char* failure_starts;
};

TEST(ScriptedDialogsTest, ABoxOutOfScriptIsAFailure) {
  const Misfit cases[] = {
      {"other text", [] { ShowWarning("y"); }, "unexpected box: message box, warning, title \"警告！\", text \"y\""},
      {"other kind", [] { ShowError("x"); }, "unexpected box: message box, error"},
      {"other title", [] { Ask("x", TitleQuestionMark()); }, "unexpected box: message box, question, title \"询问？\""},
      {"input instead", [] { Dialogs().Input({"", "x", "", false}); }, "unexpected box: input box"},
      {"masked differs", [] { Dialogs().Input({"", "x", "", true}); }, "unexpected box: input box (masked)"},
  };
  for (const Misfit& c : cases) {
    SCOPED_TRACE(c.name);
    CapturedFailures failures;
    {
      ScriptedDialogs d;
      ScopedDialogService use(&d);
      if (std::string(c.name) == "other title") {
        d.ExpectMessage(BoxKind::kQuestion, TitleQuestion(), "x");
      } else if (std::string(c.name) == "masked differs") {
        d.ExpectInput("", "x", false, "a");
      } else {
        d.ExpectMessage(BoxKind::kWarning, TitleWarning(), "x");
      }
      c.show();
      ASSERT_EQ(d.failures().size(), 1u);
      EXPECT_EQ(d.failures()[0].rfind(c.failure_starts, 0), 0u) << d.failures()[0];
    }
    // The expected box that never came is reported as well.
    ASSERT_EQ(failures.messages.size(), 2u);
    EXPECT_EQ(failures.messages[1].rfind("expected box never shown: ", 0), 0u);
  }
}

TEST(ScriptedDialogsTest, ABoxWithEmptyScriptAndAMissingBoxAreFailures) {
  CapturedFailures failures;
  {
    ScriptedDialogs d;
    ScopedDialogService use(&d);
    EXPECT_FALSE(Ask("?", TitleQuestion())) << "an unscripted question counts as cancelled";
  }
  {
    ScriptedDialogs d;
    d.ExpectOpenFile("*.xls", "a.xls").ExpectMessage(BoxKind::kPlain, "", "z");
  }
  ASSERT_EQ(failures.messages.size(), 3u);
  EXPECT_EQ(failures.messages[0].rfind("unexpected box: message box, question", 0), 0u);
  EXPECT_EQ(failures.messages[1], "expected box never shown: file-open dialog, filter \"*.xls\"");
  EXPECT_EQ(failures.messages[2],
            "expected box never shown: message box, plain, title \"信息：\", text \"z\"");
}

TEST(ScriptedDialogsTest, ScopedServiceRestoresThePrevious) {
  DialogService* const qt = &Dialogs();
  {
    ScriptedDialogs outer;
    ScopedDialogService a(&outer);
    {
      ScriptedDialogs inner;
      ScopedDialogService b(&inner);
      EXPECT_EQ(&Dialogs(), &inner);
    }
    EXPECT_EQ(&Dialogs(), &outer);
  }
  EXPECT_EQ(&Dialogs(), qt);
  EXPECT_EQ(qt, &QtDialogs());
}

// ---- the store's hooks ----

// In the child of a death test: a script expecting the one error box, whose
// failures end the child with 3, and a report on stderr at the exit that the
// parent matches. Without the hooks the store prints the text itself and the
// report says no box was shown.
void ExpectFatalBoxInChild(const std::string& text) {
  static ScriptedDialogs d;
  SetDialogService(&d);
  SetScriptFailureReporter([](const std::string& m) {
    std::fprintf(stderr, "script failure: %s\n", m.c_str());
    std::_Exit(3);
  });
  d.ExpectMessage(BoxKind::kError, "错误"_gbk, text);
  std::atexit([] { std::fprintf(stderr, "boxes shown: %zu, pending: %zu\n", d.shown(), d.pending()); });
}

TEST(StoreHooksDeathTest, FatalRunErrorShowsTheErrorBoxAndExitsMinusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ExpectFatalBoxInChild("运行时出错!\r\n\r\n错误信息：未指定当前数据库或者指定数据库未打开\r\n"_gbk);
        InstallStoreHooks();
        store::RecordStore s;
        s.ReadField("日志"_gbk);
        std::_Exit(5);
      },
      testing::ExitedWithCode(255), "boxes shown: 1, pending: 0");
}

TEST(StoreHooksDeathTest, ReadingAMissingFieldEndsThroughTheBox) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::TempDir dir;
  const std::string path = dir.GbkPath("t.edb");
  auto img = store::EmptyTableImage({{"日志"_gbk, store::FieldType::kText, 0, 20}}, 41365.5, 1, "", false);
  test::WriteFileBytes(GbkToUtf8(path), std::string(img.begin(), img.end()));
  EXPECT_EXIT(
      {
        ExpectFatalBoxInChild("运行时出错!\r\n\r\n错误信息：指定字段不存在\r\n"_gbk);
        InstallStoreHooks();
        store::RecordStore s;
        if (!s.OpenTable(path)) std::_Exit(4);
        s.ReadField("备注"_gbk);
        std::_Exit(5);
      },
      testing::ExitedWithCode(255), "boxes shown: 1, pending: 0");
}

// A protected table opened with "?" asks through the service, attempt by
// attempt, with the store's message lines.
class PromptHookTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.GbkPath("p.edb");
    auto img = store::EmptyTableImage({{"日志"_gbk, store::FieldType::kText, 0, 20}}, 41365.5, 1, "", false);
    test::WriteFileBytes(GbkToUtf8(path_), std::string(img.begin(), img.end()));
    store::RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    ASSERT_TRUE(s.SetPassword("密钥"_gbk));
    s.CloseAllTables();
    InstallStoreHooks();
  }
  void TearDown() override {
    store::SetPasswordPromptHook(nullptr);
    store::SetFatalRunErrorHook(nullptr);
  }
  test::TempDir dir_;
  std::string path_;
};

TEST_F(PromptHookTest, AttemptsShowTheirMessageLines) {
  const std::string second = "密码错误，您还有 2 次重新输入的机会。"_gbk;
  const std::string third = "密码错误，您还有 1 次重新输入的机会。"_gbk;
  struct Row {
    const char* name;
    std::vector<std::pair<std::string, std::optional<std::string>>> prompts;
    bool opens;
  };
  const Row rows[] = {
      {"right at once", {{"", "密钥"_gbk}}, true},
      {"right at the third", {{"", "x"}, {second, "y"}, {third, "密钥"_gbk}}, true},
      {"three wrong", {{"", "x"}, {second, "y"}, {third, "z"}}, false},
      {"cancel at the second", {{"", "x"}, {second, std::nullopt}}, false},
      {"empty counts as an attempt", {{"", ""}, {second, "密钥"_gbk}}, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ScriptedDialogs d;
    ScopedDialogService use(&d);
    for (const auto& [line, answer] : r.prompts) d.ExpectPasswordPrompt(line, answer);
    store::RecordStore s;
    EXPECT_EQ(s.OpenTable(path_, {.password = "?"}), r.opens);
    if (!r.opens) {
      EXPECT_EQ(store::LastError(), -78);
    }
    EXPECT_EQ(d.pending(), 0u);
    s.CloseAllTables();
  }
}

}  // namespace
}  // namespace tarvok::ui
