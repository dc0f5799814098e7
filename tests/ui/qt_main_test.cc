// The entry of ui_tests: widgets need a QApplication, which needs a platform.
// Tests run on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Defining main here keeps the main of gtest_main out of the link.
//
//   ui_tests --screenshot-calendar=FILE.png
// runs no test: it shows the lunar month calendar on October 2014 (the month
// with the leap ninth month) with the pointer over 24 October, and saves what
// the display server shows of the window. tools/screenshot_calendar.sh runs
// it under Xvfb.
#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <string_view>

#include <gtest/gtest.h>

#include "datetime/date_time.h"
#include "ui/lunar_calendar.h"

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

}  // namespace

int main(int argc, char** argv) {
  constexpr std::string_view kScreenshot = "--screenshot-calendar=";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with(kScreenshot)) {
      QApplication app(argc, argv);
      return SaveCalendarScreenshot(QString::fromLocal8Bit(arg.substr(kScreenshot.size())));
    }
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
