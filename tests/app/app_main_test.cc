// The entry of app_tests: widget tests on the offscreen platform.
//
//   app_tests --second-instance=PROGRAM_DIR --runtime=RUNTIME_DIR
// runs no test: it starts the organiser over PROGRAM_DIR as a second process
// would, with a script that expects only the warning about a running
// instance, and exits 0 when the start ended after that warning, 1 when it
// went on, 2 when the script saw anything else.
//
//   app_tests --screenshot-organiser=FILE.png
// runs no test: it starts the organiser over a fresh folder holding ten
// days of diary, a few periodic events and contacts, with "now" on 12 May
// 2013, and saves what the display server shows of the window: FILE.png
// (month view, today page), FILE-week-overview.png, FILE-contacts-group.png
// and FILE-add-event.png (the add dialog over the window).
// tools/screenshot.sh organiser runs it under Xvfb.
#include <QAbstractButton>
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "events/event_dialogs_ui.h"
#include "store/record_store.h"
#include "tables/tables.h"
#include "tests/app/organiser.h"
#include "tests/support/temp_dir.h"
#include "ui/scripted_dialogs.h"

namespace {

int SaveOrganiserScreenshots(const QString& file) {
  using namespace tarvok;
  test::TempDir dir;
  const std::string program = dir.Path("程序"), runtime = dir.Path("run");
  mkdir(program.c_str(), 0700);
  mkdir(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  SetClock([] { return MakeDate(2013, 5, 12, 9, 30, 0); });
  tables::EnsureDataFiles(Utf8ToGb18030(program));
  {
    store::RecordStore s;
    if (!s.OpenTable(Utf8ToGb18030(program) + "/data/rz35.edb")) return 1;
    const char* const lines[] = {"早上去公园跑步，空气很好。", "和同事讨论新项目的计划，下午写报告。",
                                 "周末回家看望父母，妈妈做了红烧肉。", "读完了一本关于历史的书。"};
    for (int d = 0; d < 10; ++d) {
      s.AddRecord(tables::RecordValues(tables::DiaryEntry{MakeDate(2013, 5, 3 + d), Utf8ToGbk(lines[d % 4])}));
    }
    if (!s.OpenTable(Utf8ToGb18030(program) + "/data/tx35.edb")) return 1;
    const struct {
      DateTime start;
      int period;
      tables::RecurrenceUnit unit;
      const char* text;
    } events[] = {
        {MakeDate(2013, 1, 6), 1, tables::RecurrenceUnit::kWeek, "每周日给花浇水"},
        {MakeDate(1985, 5, 12), 1, tables::RecurrenceUnit::kYear, "小明的生日"},
        {MakeDate(2013, 1, 14), 1, tables::RecurrenceUnit::kMonth, "交房租"},
        {MakeDate(2013, 5, 1), 3, tables::RecurrenceUnit::kDay, "吃维生素"},
    };
    for (const auto& e : events) {
      s.AddRecord(tables::RecordValues(tables::PeriodicEvent{e.start, e.period, e.unit, Utf8ToGbk(e.text)}));
    }
    if (!s.OpenTable(Utf8ToGb18030(program) + "/data/lxr35.edb")) return 1;
    const char* const contacts[][3] = {{"陈明", "13800001111", "大学同学"}, {"曹丽", "13900002222", "邻居"},
                                       {"沈强", "13700003333", "同事"},     {"王芳", "13600004444", "表姐"},
                                       {"Tom", "15000005555", "英语老师"}};
    for (const auto& c : contacts) {
      s.AddRecord(tables::RecordValues(tables::Contact{Utf8ToGbk(c[0]), c[1], Utf8ToGbk(c[2])}));
    }
  }
  test::Organiser organiser(program, runtime);
  if (!organiser.Start()) {
    std::fprintf(stderr, "screenshot: the organiser did not start\n");
    return 1;
  }
  ui::MainWindow& window = organiser.window();
  QString base = file;
  if (base.endsWith(QStringLiteral(".png"))) base.chop(4);
  auto save = [&](const char* suffix, QWidget* what) {
    QTest::qWait(400);
    const QString out = base + QString::fromUtf8(suffix) + QStringLiteral(".png");
    const QPixmap shot = what->screen()->grabWindow(what->winId());
    if (shot.isNull() || !shot.save(out)) {
      std::fprintf(stderr, "screenshot: cannot save %s\n", qPrintable(out));
      return false;
    }
    std::printf("screenshot: %s (%dx%d)\n", qPrintable(out), shot.width(), shot.height());
    return true;
  };
  auto pages = [&](int view, int right) {
    organiser.units().Pages("选择夹_视图"_gbk).SetCurrentPage(view);
    organiser.units().Pages("选择夹右侧"_gbk).SetCurrentPage(right);
  };
  pages(0, 0);
  if (!save("", &window)) return 1;
  pages(1, 1);
  if (!save("-week-overview", &window)) return 1;
  pages(0, 3);
  organiser.units().Push("按钮_ad"_gbk).widget()->click();
  if (!save("-contacts-group", &window)) return 1;
  pages(0, 0);
  events::OpenAddEventDialog(organiser.ctx());
  QWidget* dialog = events::OpenedAddEventDialog(organiser.ctx());
  if (dialog == nullptr || !save("-add-event", dialog)) return 1;
  SetClock(nullptr);
  return 0;
}

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
  constexpr std::string_view kSecond = "--second-instance=", kRuntime = "--runtime=",
                             kShot = "--screenshot-organiser=";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with(kShot)) {
      QApplication app(argc, argv);
      return SaveOrganiserScreenshots(QString::fromLocal8Bit(arg.substr(kShot.size())));
    }
  }
  std::string second, runtime;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with(kSecond)) second = arg.substr(kSecond.size());
    if (arg.starts_with(kRuntime)) runtime = arg.substr(kRuntime.size());
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (!second.empty()) return RunSecondInstance(second, runtime);
  testing::InitGoogleTest(&argc, argv);
  tarvok::ui::SetScriptFailureReporter(
      [](const std::string& message) { ADD_FAILURE() << "scripted dialogs: " << message; });
  return RUN_ALL_TESTS();
}
