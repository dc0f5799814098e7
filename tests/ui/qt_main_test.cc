// The entry of ui_tests: widgets need a QApplication, which needs a platform.
// Tests run on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Defining main here keeps the main of gtest_main out of the link.
//
//   ui_tests --screenshot-calendar=FILE.png
// runs no test: it shows the lunar month calendar on October 2014 (the month
// with the leap ninth month) with the pointer over 24 October, and saves what
// the display server shows of the window. tools/screenshot.sh calendar runs
// it under Xvfb.
//
//   ui_tests --screenshot-main-window=FILE.png
// shows the main window with the calendar on 24 October 2014 and saves four
// pictures: FILE.png (month view, today page), FILE-week-overview.png,
// FILE-settings-memo.png and FILE-contacts.png. tools/screenshot.sh main-window
// runs it under Xvfb.
#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "datetime/date_time.h"
#include "ui/lunar_calendar.h"
#include "ui/main_window.h"
#include "ui/scripted_dialogs.h"

namespace {

int SaveCalendarScreenshot(const QString& file) {
  tarvok::ui::LunarCalendar cal;
  cal.setSelectedDate(tarvok::MakeDate(2014, 10, 24));
  cal.move(20, 20);
  cal.show();
  if (!QTest::qWaitForWindowExposed(&cal)) {
    std::fprintf(stderr, "screenshot: the window was not exposed\n");
    return 1;
  }
  // 20 October (Monday of the fourth row) under the pointer, so that the
  // hover colours and the right part of the information line show too.
  const QPointF at = cal.cellRect(21).center();
  QMouseEvent move(QEvent::MouseMove, at, cal.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&cal, &move);
  QTest::qWait(300);
  const QPixmap shot = cal.screen()->grabWindow(cal.winId());
  if (shot.isNull() || !shot.save(file)) {
    std::fprintf(stderr, "screenshot: cannot save %s\n", qPrintable(file));
    return 1;
  }
  std::printf("screenshot: %s (%dx%d)\n", qPrintable(file), shot.width(), shot.height());
  return 0;
}

int SaveMainWindowScreenshots(const QString& file) {
  tarvok::ui::MainWindow window;
  window.findChild<tarvok::ui::LunarCalendar*>()->setSelectedDate(tarvok::MakeDate(2014, 10, 24));
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) {
    std::fprintf(stderr, "screenshot: the window was not exposed\n");
    return 1;
  }
  struct Shot {
    const char* suffix;
    int left, view, right;
  };
  const Shot kShots[] = {{"", 0, 0, 0}, {"-week-overview", 0, 1, 1}, {"-settings-memo", 1, 0, 2}, {"-contacts", 0, 0, 3}};
  QString base = file;
  if (base.endsWith(QStringLiteral(".png"))) base.chop(4);
  for (const Shot& s : kShots) {
    window.findChild<QTabWidget*>(QStringLiteral("选择夹_左侧"))->setCurrentIndex(s.left);
    window.findChild<QTabWidget*>(QStringLiteral("选择夹_视图"))->setCurrentIndex(s.view);
    window.findChild<QTabWidget*>(QStringLiteral("选择夹右侧"))->setCurrentIndex(s.right);
    QTest::qWait(300);
    const QString out = base + QString::fromUtf8(s.suffix) + QStringLiteral(".png");
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    if (shot.isNull() || !shot.save(out)) {
      std::fprintf(stderr, "screenshot: cannot save %s\n", qPrintable(out));
      return 1;
    }
    std::printf("screenshot: %s (%dx%d)\n", qPrintable(out), shot.width(), shot.height());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr std::string_view kScreenshot = "--screenshot-calendar=";
  constexpr std::string_view kMainWindowShot = "--screenshot-main-window=";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with(kScreenshot)) {
      QApplication app(argc, argv);
      return SaveCalendarScreenshot(QString::fromLocal8Bit(arg.substr(kScreenshot.size())));
    }
    if (arg.starts_with(kMainWindowShot)) {
      QApplication app(argc, argv);
      return SaveMainWindowScreenshots(QString::fromLocal8Bit(arg.substr(kMainWindowShot.size())));
    }
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  // A box the script did not expect, or one it expected in vain, fails the
  // test that was running.
  tarvok::ui::SetScriptFailureReporter(
      [](const std::string& message) { ADD_FAILURE() << "scripted dialogs: " << message; });
  return RUN_ALL_TESTS();
}
