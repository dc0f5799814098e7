// The window modes through the started organiser: minimising into the tray
// icon or behind the screen-top strip, every way back, the tray menu, the
// hiding on deactivation, the parking at the top edge, the rescue when
// neither a notification area nor a hot key is there, and the placement
// rules over screen geometries.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <optional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/window_modes.h"
#include "tests/app/app_test_base.h"

namespace tarvok::test {
namespace {

using ui::BoxKind;

std::vector<QRect> Screens() {
  std::vector<QRect> screens;
  for (const QScreen* s : QGuiApplication::screens()) screens.push_back(s->availableGeometry());
  return screens;
}

// Where activation goes: QApplication's own switch, as the platform's
// activation changes reach it (nullptr: another program).
void Activate(QWidget* window) {
  QT_WARNING_PUSH
  QT_WARNING_DISABLE_DEPRECATED
  QApplication::setActiveWindow(window);
  QT_WARNING_POP
}

class WindowModesTest : public AppTest {
 protected:
  WindowModesTest() {
    app::SetTrayAvailabilityCheck([this] { return tray_available_; });
  }
  ~WindowModesTest() override { app::SetTrayAvailabilityCheck(nullptr); }

  // A started organiser whose config.ini has 最小化方式 = `mode`.
  Organiser& Run(const char* mode, bool tray_available = true, int hot_key_id = 0) {
    tray_available_ = tray_available;
    Organiser& o = Make();
    app::ConnectWindowModes(o.ctx());  // a second call, when the shell already made it, does nothing
    app::WriteSetting(o.ctx(), "最小化方式"_gbk, "最小化方式"_gbk, mode);
    EXPECT_TRUE(o.Start());
    EXPECT_EQ(o.ctx().state.minimize_mode, mode);
    o.ctx().state.hot_key_id = hot_key_id;
    return o;
  }

  static bool Shown(Organiser& o) { return o.window().isVisible() && !o.window().isMinimized(); }
  static bool Hidden(Organiser& o) { return !o.window().isVisible(); }
  static bool TrayShown(Organiser& o) {
    QSystemTrayIcon* tray = app::TrayIcon(o.ctx());
    return tray != nullptr && tray->isVisible();
  }
  static bool StripShown(Organiser& o) {
    QWidget* strip = app::TopStripWindow(o.ctx());
    return strip != nullptr && strip->isVisible();
  }

  // The window's minimise box (the platform's state change, as a click on
  // it gives); the window modes then hide it.
  static void Minimise(Organiser& o) {
    o.window().showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Hidden(o); }, 2000));
  }
  static void ExpectRestored(Organiser& o) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return Shown(o); }, 2000));
    QTest::qWait(20);  // the state change's own handling is done too
    EXPECT_TRUE(Shown(o));
    EXPECT_FALSE(TrayShown(o));
    EXPECT_FALSE(StripShown(o));
  }
  static void StopClock(Organiser& o) { o.window().findChild<QTimer*>(QStringLiteral("时钟"))->stop(); }

  bool tray_available_ = true;
};

TEST_F(WindowModesTest, TrayModeHidesTheWindowBehindAnIconWithTipAndMenu) {
  Organiser& o = Run("0");
  EXPECT_FALSE(TrayShown(o));
  Minimise(o);
  QSystemTrayIcon* tray = app::TrayIcon(o.ctx());
  ASSERT_NE(tray, nullptr);
  EXPECT_TRUE(tray->isVisible());
  EXPECT_EQ(tray->toolTip(), QStringLiteral("Tarvokline V3.5.1.0"));
  EXPECT_FALSE(tray->icon().isNull());
  EXPECT_FALSE(StripShown(o));

  QMenu* menu = app::TrayMenu(o.ctx());
  ASSERT_NE(menu, nullptr);
  const QList<QAction*> items = menu->actions();
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[0]->text(), QStringLiteral("恢复窗口"));
  EXPECT_TRUE(items[1]->isSeparator());
  EXPECT_EQ(items[2]->text(), QStringLiteral("退出"));

  // The hot key's hook restores, and minimises again.
  o.ctx().ToggleMainWindow();
  ExpectRestored(o);
  o.ctx().ToggleMainWindow();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Hidden(o); }, 2000));
  EXPECT_TRUE(TrayShown(o));
}

TEST_F(WindowModesTest, TrayEventsRestoreOrOpenTheMenu) {
  struct Case {
    const char* name;
    QSystemTrayIcon::ActivationReason reason;
    bool restores;
    bool menu;
  };
  const Case cases[] = {
      {"click", QSystemTrayIcon::Trigger, true, false},
      {"double click", QSystemTrayIcon::DoubleClick, true, false},
      {"right click", QSystemTrayIcon::Context, false, true},
      {"middle click", QSystemTrayIcon::MiddleClick, false, false},
  };
  Organiser& o = Run("0");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Minimise(o);
    QSystemTrayIcon* tray = app::TrayIcon(o.ctx());
    ASSERT_NE(tray, nullptr);
    emit tray->activated(c.reason);
    if (c.restores) {
      ExpectRestored(o);
      continue;
    }
    QTest::qWait(50);
    EXPECT_TRUE(Hidden(o));
    EXPECT_TRUE(TrayShown(o));
    QMenu* menu = app::TrayMenu(o.ctx());
    EXPECT_EQ(menu->isVisible(), c.menu);
    if (c.menu) {
      // Beside the mouse pointer, 3 pixels right and down.
      const QRect at = menu->geometry();
      const QPoint expected = QCursor::pos() + QPoint(3, 3);
      const QRect screen = menu->screen()->geometry();
      if (screen.contains(expected + QPoint(at.width(), at.height()))) {
        EXPECT_EQ(at.topLeft(), expected);
      }
      menu->hide();
    }
    app::RestoreMainWindow(o.ctx());
    ExpectRestored(o);
  }
  // Numbers that are no tray event do nothing.
  Minimise(o);
  app::OnTrayEvent(o.ctx(), 0);
  app::OnTrayEvent(o.ctx(), 4);
  QTest::qWait(20);
  EXPECT_TRUE(Hidden(o));
  EXPECT_TRUE(TrayShown(o));
}

TEST_F(WindowModesTest, TheTrayMenuRestoresOrAsksBeforeEnding) {
  Organiser& o = Run("0");
  Minimise(o);
  QMenu* menu = app::TrayMenu(o.ctx());
  ASSERT_NE(menu, nullptr);
  menu->actions()[0]->trigger();  // 恢复窗口
  ExpectRestored(o);

  Minimise(o);
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), "确认要退出程序？"_gbk, false);
  menu->actions()[2]->trigger();  // 退出, Cancel
  EXPECT_EQ(dialogs_.pending(), 0U);
  EXPECT_EQ(o.end_calls(), 0);
  EXPECT_TRUE(Hidden(o));
  EXPECT_TRUE(TrayShown(o));

  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), "确认要退出程序？"_gbk, true);
  menu->actions()[2]->trigger();  // 退出, OK
  EXPECT_EQ(dialogs_.pending(), 0U);
  EXPECT_EQ(o.end_calls(), 1);
  EXPECT_TRUE(o.ctx().ended);
  EXPECT_FALSE(TrayShown(o));  // removed before the end
}

TEST_F(WindowModesTest, StripModeShowsAYellowTopStripThatRestoresOnALeftClick) {
  Organiser& o = Run("2");
  const QRect frame = o.window().frameGeometry();
  Minimise(o);
  EXPECT_FALSE(TrayShown(o));
  QWidget* strip = app::TopStripWindow(o.ctx());
  ASSERT_NE(strip, nullptr);
  EXPECT_TRUE(strip->isVisible());
  EXPECT_TRUE(strip->isWindow());
  EXPECT_EQ(strip->size(), QSize(380, 5));
  EXPECT_EQ(strip->geometry(), app::StripGeometry(frame, Screens()));
  EXPECT_EQ(strip->windowType(), Qt::Tool);  // not in the taskbar
  EXPECT_TRUE(strip->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(strip->windowFlags() & Qt::WindowStaysOnTopHint);
  const QImage pixels = strip->grab().toImage();
  for (const QPoint p : {QPoint(0, 0), QPoint(190, 2), QPoint(379, 4)}) {
    EXPECT_EQ(pixels.pixelColor(p), QColor(255, 255, 0)) << p.x() << "," << p.y();
  }

  QTest::mouseClick(strip, Qt::RightButton);
  QTest::qWait(20);
  EXPECT_TRUE(Hidden(o));
  EXPECT_TRUE(strip->isVisible());
  QTest::mouseClick(strip, Qt::LeftButton);
  ExpectRestored(o);

  // Back again by the hot key's hook: the strip goes as well.
  Minimise(o);
  EXPECT_TRUE(StripShown(o));
  o.ctx().ToggleMainWindow();
  ExpectRestored(o);
  // The strip is loaded once and reused.
  Minimise(o);
  EXPECT_EQ(app::TopStripWindow(o.ctx()), strip);
}

TEST_F(WindowModesTest, TheModeReadAtStartStaysForTheRun) {
  Organiser& o = Run("0");
  o.units().Push("单选框_屏幕上端"_gbk).widget()->click();
  EXPECT_EQ(app::ReadSetting(o.ctx(), "最小化方式"_gbk, "最小化方式"_gbk, ""), "1");
  Minimise(o);
  EXPECT_TRUE(TrayShown(o));
  EXPECT_FALSE(StripShown(o));
}

TEST_F(WindowModesTest, WithoutTrayOrHotKeyTheStripStandsIn) {
  struct Case {
    const char* name;
    bool tray;
    int hot_key_id;
    bool icon;
    bool strip;
  };
  const Case cases[] = {
      {"tray", true, 0, true, false},
      {"tray and hot key", true, 33001, true, false},
      {"hot key only", false, 33001, false, false},
      {"neither", false, 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Organiser& o = Run("0", c.tray, c.hot_key_id);
    Minimise(o);
    QTest::qWait(20);
    EXPECT_TRUE(Hidden(o));
    EXPECT_EQ(TrayShown(o), c.icon);
    EXPECT_EQ(StripShown(o), c.strip);
    // Whatever stands for the window brings it back.
    if (c.icon) {
      app::OnTrayEvent(o.ctx(), 1);
    } else if (c.strip) {
      QTest::mouseClick(app::TopStripWindow(o.ctx()), Qt::LeftButton);
    } else {
      o.ctx().ToggleMainWindow();
    }
    ExpectRestored(o);
    organiser_.reset();
  }
}

// The notification area goes away (or stays) while the window hides in it.
TEST_F(WindowModesTest, ANotificationAreaGoneLaterLeavesTheStripToClick) {
  struct Case {
    const char* name;
    bool tray_stays;
    int hot_key_id;
    bool strip;
  };
  const Case cases[] = {
      {"area gone, no hot key", false, 0, true},
      {"area gone, hot key", false, 33001, false},
      {"area stays", true, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Organiser& o = Run("0", true, c.hot_key_id);
    Minimise(o);
    ASSERT_TRUE(TrayShown(o));
    tray_available_ = c.tray_stays;
    // The window's clock runs the check: within its second.
    if (c.strip) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return StripShown(o); }, 2500));
      EXPECT_TRUE(Hidden(o));
      QTest::mouseClick(app::TopStripWindow(o.ctx()), Qt::LeftButton);
    } else {
      QTest::qWait(1200);
      app::KeepHiddenWindowReachable(o.ctx());
      EXPECT_FALSE(StripShown(o));
      EXPECT_TRUE(Hidden(o));
      o.ctx().ToggleMainWindow();
    }
    ExpectRestored(o);
    organiser_.reset();
  }
}

TEST_F(WindowModesTest, DeactivationHidesAParkedWindowOnlyWithModeOne) {
  struct Case {
    const char* name;
    std::string mode;
    int top_below_parked;  // 0: parked
    bool to_own_window;
    bool hides;
  };
  const Case cases[] = {
      {"mode 1, parked", "1", 0, false, true},
      {"mode 1, one pixel lower", "1", 1, false, false},
      {"mode 1, own window active", "1", 0, true, false},
      {"mode 2", "2", 0, false, false},
      {"tray mode", "0", 0, false, false},
      {"1 with a space", "1 ", 0, false, false},
      {"empty", "", 0, false, false},
  };
  Organiser& o = Run("1");
  StopClock(o);
  QWidget other;
  other.resize(50, 50);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    o.ctx().state.minimize_mode = c.mode;
    const std::optional<QRect> screen = app::ScreenOf(o.window().frameGeometry(), Screens());
    ASSERT_TRUE(screen.has_value());
    const std::optional<int> parked = screen->top() + 2;
    o.window().move(o.window().x(), *parked + c.top_below_parked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return o.window().frameGeometry().top() == *parked + c.top_below_parked; }));
    Activate(&o.window());
    QTest::qWait(20);
    if (c.to_own_window) {
      other.show();
      Activate(&other);
    } else {
      Activate(nullptr);
    }
    if (c.hides) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return Hidden(o); }, 2000));
      EXPECT_TRUE(StripShown(o));
      QTest::mouseClick(app::TopStripWindow(o.ctx()), Qt::LeftButton);
      ExpectRestored(o);
      // Still parked, so the next deactivation hides it again.
      EXPECT_EQ(o.window().frameGeometry().top(), *parked);
    } else {
      QTest::qWait(50);
      EXPECT_TRUE(Shown(o));
      EXPECT_FALSE(StripShown(o));
    }
    other.hide();
  }
}

TEST_F(WindowModesTest, TopSnapParksAWindowNearTheTopEdge) {
  Organiser& o = Run("0");
  const int screen_top = app::ScreenOf(o.window().frameGeometry(), Screens())->top();
  // Through the window's own clock.
  o.window().move(o.window().x(), screen_top + 50);
  EXPECT_TRUE(QTest::qWaitFor([&] { return o.window().frameGeometry().top() == screen_top + 2; }, 2500));

  StopClock(o);
  const struct {
    int top;
    int after;
  } cases[] = {{99, 2}, {100, 100}, {0, 2}, {-40, 2}, {2, 2}, {300, 300}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.top);
    o.window().move(o.window().x(), screen_top + c.top);
    ASSERT_TRUE(QTest::qWaitFor([&] { return o.window().frameGeometry().top() == screen_top + c.top; }));
    const QRect before = o.window().frameGeometry();
    app::TopSnap(o.ctx());
    EXPECT_TRUE(QTest::qWaitFor([&] { return o.window().frameGeometry().top() == screen_top + c.after; }));
    EXPECT_EQ(o.window().frameGeometry().left(), before.left());
    EXPECT_EQ(o.window().frameGeometry().size(), before.size());
  }
}

// Placement over screen geometries (available areas, primary first).
TEST(WindowPlacementTest, TheStripStaysWholeOnTheWindowsScreen) {
  const QRect wide(0, 0, 1920, 1080), window(100, 100, 870, 520);
  const struct {
    const char* name;
    std::vector<QRect> screens;
    QRect frame;
    QPoint strip;
  } cases[] = {
      {"wide screen", {wide}, window, {800, 0}},
      {"just wide enough", {QRect(0, 0, 1180, 800)}, window, {800, 0}},
      {"1024 wide", {QRect(0, 0, 1024, 768)}, window, {644, 0}},
      {"800 wide", {QRect(0, 0, 800, 600)}, window, {420, 0}},
      {"narrower than the strip", {QRect(0, 0, 300, 200)}, QRect(0, 0, 200, 100), {0, 0}},
      {"panel on top", {QRect(0, 30, 1920, 1050)}, window, {800, 30}},
      {"second screen, right", {wide, QRect(1920, 0, 1280, 1024)}, QRect(2100, 200, 870, 520), {2720, 0}},
      {"second screen, narrow", {wide, QRect(1920, 0, 1024, 768)}, QRect(2000, 100, 870, 520), {2564, 0}},
      {"second screen, left", {wide, QRect(-1024, 0, 1024, 768)}, QRect(-900, 100, 870, 520), {-380, 0}},
      {"second screen, below", {wide, QRect(0, 1080, 1366, 768)}, QRect(100, 1200, 870, 520), {800, 1080}},
      {"mostly on the second", {wide, QRect(1920, 0, 1920, 1080)}, QRect(1500, 100, 870, 520), {2720, 0}},
      {"off every screen", {wide, QRect(1920, 0, 1024, 768)}, QRect(3500, 2000, 870, 520), {2564, 0}},
      {"no screen", {}, window, {800, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(app::StripGeometry(c.frame, c.screens), QRect(c.strip, QSize(380, 5)));
  }
}

TEST(WindowPlacementTest, WindowsAreParkedAtTheTopOfTheScreenTheirTopEdgeIsOn) {
  const QRect a(0, 0, 1920, 1080);
  const struct {
    const char* name;
    std::vector<QRect> screens;
    QRect frame;
    std::optional<int> parked;
  } cases[] = {
      {"99", {a}, QRect(10, 99, 870, 520), 2},
      {"100", {a}, QRect(10, 100, 870, 520), std::nullopt},
      {"above the screen", {a}, QRect(10, -40, 870, 520), 2},
      {"parked", {a}, QRect(10, 2, 870, 520), 2},
      {"under a top panel", {QRect(0, 30, 1920, 1050)}, QRect(10, 129, 870, 520), 32},
      {"under a top panel, 100 below it", {QRect(0, 30, 1920, 1050)}, QRect(10, 130, 870, 520), std::nullopt},
      {"top of the lower screen", {a, QRect(0, 1080, 1920, 1080)}, QRect(10, 1130, 870, 520), 1082},
      {"low on the upper screen", {a, QRect(0, 1080, 1920, 1080)}, QRect(10, 1000, 870, 520), std::nullopt},
      {"lower screen starts further down", {a, QRect(1920, 56, 1280, 1024)}, QRect(2000, 30, 870, 520), 58},
      {"off every screen", {a}, QRect(10, 5000, 870, 520), std::nullopt},
      {"no screen", {}, QRect(10, 10, 870, 520), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(app::ParkedTop(c.frame, c.screens), c.parked);
    EXPECT_EQ(app::IsParked(c.frame, c.screens), c.parked == c.frame.top());
  }
}

}  // namespace
}  // namespace tarvok::test
