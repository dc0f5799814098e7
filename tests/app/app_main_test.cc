// The entry of app_tests: widget tests on the offscreen platform.
//
//   app_tests --second-instance=PROGRAM_DIR --runtime=RUNTIME_DIR
// runs no test: it starts the organiser over PROGRAM_DIR as a second process
// would, with a script that expects only the warning about a running
// instance, and exits 0 when the start ended after that warning, 1 when it
// went on, 2 when the script saw anything else.
#include <QApplication>

#include <cstdio>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "tests/app/organiser.h"
#include "ui/scripted_dialogs.h"

namespace {

int RunSecondInstance(const std::string& program_dir, const std::string& runtime_dir) {
  using namespace tarvok;
  bool script_failed = false;
  ui::SetScriptFailureReporter([&](const std::string& message) {
    std::fprintf(stderr, "scripted dialogs: %s\n", message.c_str());
    script_failed = true;
  });
  ui::ScriptedDialogs dialogs;
  ui::ScopedDialogService use(&dialogs);
  dialogs.ExpectMessage(ui::BoxKind::kWarning, ui::TitleWarning(),
                        "不要重复运行本程序，否则可能损坏数据库!"_gbk);
  test::Organiser organiser(program_dir, runtime_dir);
  if (organiser.Start()) return 1;
  dialogs.Finish();
  if (script_failed) return 2;
  return organiser.end_calls() == 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  constexpr std::string_view kSecond = "--second-instance=", kRuntime = "--runtime=";
  std::string second, runtime;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with(kSecond)) second = arg.substr(kSecond.size());
    if (arg.starts_with(kRuntime)) runtime = arg.substr(kRuntime.size());
  }
  QApplication app(argc, argv);
  if (!second.empty()) return RunSecondInstance(second, runtime);
  testing::InitGoogleTest(&argc, argv);
  tarvok::ui::SetScriptFailureReporter(
      [](const std::string& message) { ADD_FAILURE() << "scripted dialogs: " << message; });
  return RUN_ALL_TESTS();
}
