#include "ui/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

#include <gtest/gtest.h>

#include "ui/lunar_calendar.h"
#include "ui/record_grid.h"

namespace tarvok::ui {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// A shown window: the page controls lay out their pages only when shown.
class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  template <class T = QWidget>
  T* Unit(const char* name) const {
    return window_->findChild<T*>(U(name));
  }

  std::unique_ptr<MainWindow> window_;
};

// The texts a unit shows, whatever its kind.
QString ShownText(const QWidget* w) {
  if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
  if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
  if (auto* s = qobject_cast<const QSpinBox*>(w)) return s->text();
  if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
  if (auto* e = qobject_cast<const QPlainTextEdit*>(w)) return e->toPlainText();
  return {};
}

constexpr int kWindow = -2;  // container is the window's client area
constexpr int kBox = -1;     // container is a group box

struct Placed {
  const char* name;
  const QMetaObject* kind;
  const char* container;  // nullptr: the window
  int page;               // page of the container page control, or kBox / kWindow
  QRect rect;             // relative to the container (a page control's whole rectangle)
  const char* text;
};

// clang-format off
const Placed kLayout[] = {
  {"选择夹_左侧", &QTabWidget::staticMetaObject, nullptr, kWindow, {8, 8, 420, 480}, ""},
  {"选择夹右侧", &QTabWidget::staticMetaObject, nullptr, kWindow, {437, 8, 420, 480}, ""},
  // left page 0
  {"选择夹_视图", &QTabWidget::staticMetaObject, "选择夹_左侧", 0, {25, 2, 390, 265}, ""},
  {"月历", &LunarCalendar::staticMetaObject, "选择夹_视图", 0, {25, 3, 365, 262}, ""},
  {"高级表格_周历", &QTableView::staticMetaObject, "选择夹_视图", 1, {25, 3, 365, 262}, ""},
  {"分组框1", &QGroupBox::staticMetaObject, "选择夹_左侧", 0, {25, 269, 390, 208}, "搜索"},
  {"编辑框关键词", &QLineEdit::staticMetaObject, "分组框1", kBox, {8, 14, 370, 20}, "请在这里输入关键词并回车..."},
  {"图片框1", &QLabel::staticMetaObject, "分组框1", kBox, {359, 15, 20, 18}, ""},
  {"按钮_搜索", &QPushButton::staticMetaObject, "分组框1", kBox, {322, 1, 40, 20}, ""},
  {"分组框6", &QGroupBox::staticMetaObject, "分组框1", kBox, {3, 35, 110, 168}, "日志结果"},
  {"列表框_日志搜索结果", &QListWidget::staticMetaObject, "分组框6", kBox, {4, 13, 100, 150}, ""},
  {"分组框7", &QGroupBox::staticMetaObject, "分组框1", kBox, {117, 35, 110, 168}, "事项结果"},
  {"列表框_提醒搜索结果", &QListWidget::staticMetaObject, "分组框7", kBox, {5, 13, 100, 150}, ""},
  {"分组框8", &QGroupBox::staticMetaObject, "分组框1", kBox, {230, 35, 110, 35}, "备忘便签结果"},
  {"列表框_备忘搜索结果", &QListWidget::staticMetaObject, "分组框8", kBox, {4, 13, 102, 20}, ""},
  {"分组框9", &QGroupBox::staticMetaObject, "分组框1", kBox, {230, 71, 110, 132}, "联系人结果"},
  {"列表框_人脉搜索结果", &QListWidget::staticMetaObject, "分组框9", kBox, {5, 13, 100, 115}, ""},
  {"按钮_导出结果", &QPushButton::staticMetaObject, "分组框1", kBox, {342, 44, 38, 80}, "导出\n搜索\n结果"},
  {"按钮_导出全库", &QPushButton::staticMetaObject, "分组框1", kBox, {342, 122, 38, 80}, "导出\n全部\n数据"},
  // left page 1
  {"分组框12", &QGroupBox::staticMetaObject, "选择夹_左侧", 1, {27, 8, 390, 56}, "热键"},
  {"标签7", &QLabel::staticMetaObject, "分组框12", kBox, {8, 21, 141, 24}, "最小化/恢复主窗口热键："},
  {"编辑框_热键1", &QLineEdit::staticMetaObject, "分组框12", kBox, {151, 21, 147, 24}, ""},
  {"按钮_注册热键1", &QPushButton::staticMetaObject, "分组框12", kBox, {304, 19, 80, 24}, "注册热键"},
  {"标签_热键反馈1", &QLabel::staticMetaObject, "选择夹_左侧", 1, {240, 27, 80, 24}, ""},
  {"分组框13", &QGroupBox::staticMetaObject, "选择夹_左侧", 1, {27, 73, 390, 128}, "默认视图"},
  {"分组框14", &QGroupBox::staticMetaObject, "分组框13", kBox, {6, 19, 375, 45}, "左侧选择夹默认页面"},
  {"单选框_月视图", &QRadioButton::staticMetaObject, "分组框14", kBox, {64, 17, 71, 24}, "月视图"},
  {"单选框_周视图", &QRadioButton::staticMetaObject, "分组框14", kBox, {223, 17, 63, 24}, "周视图"},
  {"分组框15", &QGroupBox::staticMetaObject, "分组框13", kBox, {6, 69, 375, 48}, "右侧选择夹默认页面"},
  {"单选框_日志", &QRadioButton::staticMetaObject, "分组框15", kBox, {8, 17, 80, 24}, "今日"},
  {"单选框_总览", &QRadioButton::staticMetaObject, "分组框15", kBox, {93, 17, 80, 24}, "数据总览"},
  {"单选框_便签", &QRadioButton::staticMetaObject, "分组框15", kBox, {192, 17, 80, 24}, "备忘便签"},
  {"单选框_联系人", &QRadioButton::staticMetaObject, "分组框15", kBox, {288, 17, 80, 24}, "联系人"},
  {"分组框2", &QGroupBox::staticMetaObject, "选择夹_左侧", 1, {27, 213, 390, 56}, "加密"},
  {"选择框_加密", &QCheckBox::staticMetaObject, "分组框2", kBox, {12, 18, 103, 24}, "为数据库加密"},
  {"标签", &QLabel::staticMetaObject, "分组框2", kBox, {110, 17, 104, 24}, "-当前数据库状态："},
  {"标签_加密状态", &QLabel::staticMetaObject, "分组框2", kBox, {214, 18, 56, 24}, "未加密"},
  {"分组框3", &QGroupBox::staticMetaObject, "选择夹_左侧", 1, {27, 280, 390, 88}, "表格缩放"},
  {"标签2", &QLabel::staticMetaObject, "分组框3", kBox, {13, 21, 192, 24}, "数据总览及联系人表格的缩放比为："},
  // Edit part 25 wide at 207, the arrows (22) to its right, up to the "%".
  {"编辑框2", &QSpinBox::staticMetaObject, "分组框3", kBox, {207, 24, 47, 20}, "100"},
  {"标签3", &QLabel::staticMetaObject, "分组框3", kBox, {254, 21, 24, 24}, "%"},
  {"按钮1", &QPushButton::staticMetaObject, "分组框3", kBox, {272, 21, 80, 24}, "立即生效"},
  {"标签5", &QLabel::staticMetaObject, "分组框3", kBox, {13, 56, 192, 24}, "设置周历视图的表格行高为："},
  {"编辑框3", &QSpinBox::staticMetaObject, "分组框3", kBox, {207, 59, 47, 20}, "100"},
  {"按钮2", &QPushButton::staticMetaObject, "分组框3", kBox, {272, 56, 80, 24}, "立即生效"},
  {"分组框16", &QGroupBox::staticMetaObject, "选择夹_左侧", 1, {27, 373, 390, 56}, "最小化方式"},
  {"单选框_托盘图标", &QRadioButton::staticMetaObject, "分组框16", kBox, {77, 22, 120, 24}, "托盘图标"},
  {"单选框_屏幕上端", &QRadioButton::staticMetaObject, "分组框16", kBox, {232, 22, 80, 24}, "屏幕上端"},
  // right page 0
  {"图片框_今日", &QLabel::staticMetaObject, "选择夹右侧", 0, {3, 3, 390, 50}, ""},
  {"分组框_今日志", &QGroupBox::staticMetaObject, "选择夹右侧", 0, {3, 55, 392, 280}, "日志"},
  {"编辑框_本日志", &QPlainTextEdit::staticMetaObject, "分组框_今日志", kBox, {3, 13, 385, 260}, ""},
  {"分组框_事项", &QGroupBox::staticMetaObject, "选择夹右侧", 0, {3, 336, 392, 141}, "周期事项"},
  {"列表框_周期事项", &QListWidget::staticMetaObject, "分组框_事项", kBox, {3, 13, 385, 123}, ""},
  // right page 1
  {"图片框_总览", &QLabel::staticMetaObject, "选择夹右侧", 1, {3, 3, 390, 50}, ""},
  {"分组框4", &QGroupBox::staticMetaObject, "选择夹右侧", 1, {4, 56, 391, 239}, "日志一览"},
  {"表格_日志一览", &RecordGrid::staticMetaObject, "分组框4", kBox, {4, 11, 380, 220}, ""},
  {"数据源_日志", &DataSourceUnit::staticMetaObject, "分组框4", kBox, {166, 183, 132, 22}, ""},
  {"分组框5", &QGroupBox::staticMetaObject, "选择夹右侧", 1, {4, 296, 391, 180}, "周期提醒事项一览"},
  {"表格_周期事项一览", &RecordGrid::staticMetaObject, "分组框5", kBox, {4, 14, 380, 160}, ""},
  {"数据源_事项", &DataSourceUnit::staticMetaObject, "分组框5", kBox, {182, 119, 132, 22}, ""},
  // right page 2
  {"图片框_便签", &QLabel::staticMetaObject, "选择夹右侧", 2, {3, 3, 390, 50}, ""},
  {"编辑框备忘便签", &QPlainTextEdit::staticMetaObject, "选择夹右侧", 2, {4, 56, 390, 418}, ""},
  // right page 3
  {"图片框_联系人", &QLabel::staticMetaObject, "选择夹右侧", 3, {3, 3, 390, 50}, ""},
  {"表格_人脉", &RecordGrid::staticMetaObject, "选择夹右侧", 3, {5, 56, 385, 375}, ""},
  {"数据源_联系人", &DataSourceUnit::staticMetaObject, "选择夹右侧", 3, {123, 298, 132, 22}, ""},
  {"分组框10", &QGroupBox::staticMetaObject, "选择夹右侧", 3, {4, 436, 287, 40}, ""},
  {"按钮_all", &QPushButton::staticMetaObject, "分组框10", kBox, {8, 10, 35, 25}, "全部"},
  {"按钮_ad", &QPushButton::staticMetaObject, "分组框10", kBox, {48, 10, 35, 25}, "A-D"},
  {"按钮_eh", &QPushButton::staticMetaObject, "分组框10", kBox, {88, 10, 35, 25}, "E-H"},
  {"按钮_il", &QPushButton::staticMetaObject, "分组框10", kBox, {128, 10, 35, 25}, "I-L"},
  {"按钮_mp", &QPushButton::staticMetaObject, "分组框10", kBox, {168, 10, 35, 25}, "M-P"},
  {"按钮_qt", &QPushButton::staticMetaObject, "分组框10", kBox, {208, 10, 35, 25}, "Q-T"},
  {"按钮_uz", &QPushButton::staticMetaObject, "分组框10", kBox, {248, 10, 35, 25}, "U-Z"},
  {"分组框11", &QGroupBox::staticMetaObject, "选择夹右侧", 3, {292, 436, 103, 40}, ""},
  {"按钮_导入联系人", &QPushButton::staticMetaObject, "分组框11", kBox, {12, 10, 81, 25}, "导入联系人"},
};
// clang-format on

TEST_F(MainWindowTest, EveryUnitOfTheLayoutIsInItsContainerAtItsPlaceWithItsText) {
  for (const Placed& p : kLayout) {
    SCOPED_TRACE(p.name);
    const auto units = window_->findChildren<QWidget*>(U(p.name));
    ASSERT_EQ(units.size(), 1) << "units of this name";
    QWidget* unit = units.front();
    EXPECT_TRUE(unit->metaObject()->inherits(p.kind)) << unit->metaObject()->className();

    QRect rect = unit->geometry();
    switch (p.page) {
      case kWindow:
        EXPECT_EQ(unit->parentWidget(), window_.get());
        break;
      case kBox:
        EXPECT_EQ(unit->parentWidget(), Unit(p.container));
        break;
      default: {
        auto* control = Unit<QTabWidget>(p.container);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(unit->parentWidget(), control->widget(p.page));
        rect.moveTopLeft(unit->parentWidget()->mapTo(control, unit->pos()));
      }
    }
    EXPECT_EQ(rect, p.rect);
    EXPECT_EQ(ShownText(unit), U(p.text));
  }
}

TEST_F(MainWindowTest, PageControlsHaveTheirPagesAndHints) {
  struct Page {
    const char* control;
    int index;
    const char* tab;
    const char* hint;
  };
  const Page kPages[] = {
      {"选择夹_左侧", 0, "日历", ""},
      {"选择夹_左侧", 1, "设置/选项", ""},
      {"选择夹右侧", 0, "今日", "记录每日事宜，与左侧日历联动"},
      {"选择夹右侧", 1, "数据总览", "对所有与日期相关数据进行一览"},
      {"选择夹右侧", 2, "备忘便签", "与左侧日历无关的常态备忘信息"},
      {"选择夹右侧", 3, "联系人", "具备简易的联系人功能，简单而实用"},
      {"选择夹_视图", 0, "   月历视图  ", ""},
      {"选择夹_视图", 1, "   周历视图  ", ""},
  };
  for (const Page& p : kPages) {
    SCOPED_TRACE(testing::Message() << p.control << " page " << p.index);
    auto* control = Unit<QTabWidget>(p.control);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->tabText(p.index), U(p.tab));
    EXPECT_EQ(control->tabToolTip(p.index), U(p.hint));
  }
  EXPECT_EQ(Unit<QTabWidget>("选择夹_左侧")->count(), 2);
  EXPECT_EQ(Unit<QTabWidget>("选择夹右侧")->count(), 4);
  EXPECT_EQ(Unit<QTabWidget>("选择夹_视图")->count(), 2);
}

TEST_F(MainWindowTest, UnitsOnPagesClearTheTabStrip) {
  // A tab strip under a unit would hide part of it, or eat its clicks.
  for (const char* name : {"选择夹_左侧", "选择夹右侧", "选择夹_视图"}) {
    SCOPED_TRACE(name);
    auto* control = Unit<QTabWidget>(name);
    const QRect strip = control->tabBar()->geometry();
    for (int i = 0; i < control->count(); ++i) {
      for (QWidget* unit : control->widget(i)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect r(control->widget(i)->mapTo(control, unit->pos()), unit->size());
        EXPECT_FALSE(r.intersects(strip)) << qPrintable(unit->objectName());
      }
    }
  }
}

TEST_F(MainWindowTest, OnlyTheCurrentViewIsVisible) {
  auto* views = Unit<QTabWidget>("选择夹_视图");
  auto* month = Unit("月历");
  auto* week = Unit("高级表格_周历");
  views->setCurrentIndex(0);
  EXPECT_TRUE(month->isVisible());
  EXPECT_FALSE(week->isVisible());
  views->setCurrentIndex(1);
  EXPECT_FALSE(month->isVisible());
  EXPECT_TRUE(week->isVisible());
  // Same place on the screen.
  EXPECT_EQ(week->mapToGlobal(QPoint(0, 0)), month->mapToGlobal(QPoint(0, 0)));
}

TEST_F(MainWindowTest, WindowHasItsCaptionFixedSizeAndNoMaximizeBox) {
  EXPECT_EQ(window_->windowTitle(), U("塔沃克林-Tarvokline"));
  EXPECT_EQ(window_->size(), QSize(870, 520));
  EXPECT_EQ(window_->minimumSize(), QSize(870, 520));
  EXPECT_EQ(window_->maximumSize(), QSize(870, 520));
  const Qt::WindowFlags flags = window_->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  // Centred; a platform may place the frame rather than the client area at
  // the requested point, which moves the client by the frame's border.
  const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
  const QPoint border = window_->geometry().topLeft() - window_->frameGeometry().topLeft();
  EXPECT_LE((window_->geometry().center() - centre).manhattanLength(), border.manhattanLength() + 1)
      << window_->geometry().center().x() << "," << window_->geometry().center().y();
}

TEST_F(MainWindowTest, ClockTicksEverySecond) {
  auto* clock = window_->findChild<QTimer*>(U("时钟"));
  ASSERT_NE(clock, nullptr);
  EXPECT_EQ(clock->interval(), 1000);
  EXPECT_TRUE(clock->isActive());
}

TEST_F(MainWindowTest, HyperlinksAreLeftOut) {
  EXPECT_EQ(Unit("超级链接框1"), nullptr);
  EXPECT_EQ(Unit("超级链接框2"), nullptr);
}

TEST_F(MainWindowTest, SpinBoxesChangeOnlyWithTheArrowsWithinTheirRanges) {
  struct Spin {
    const char* name;
    int min, max;
  };
  for (const Spin& s : {Spin{"编辑框2", 90, 150}, Spin{"编辑框3", 33, 100}}) {
    SCOPED_TRACE(s.name);
    auto* spin = Unit<QSpinBox>(s.name);
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->minimum(), s.min);
    EXPECT_EQ(spin->maximum(), s.max);
    EXPECT_EQ(spin->value(), 100);
    EXPECT_EQ(spin->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    QTest::keyClicks(spin, "7");
    EXPECT_EQ(spin->value(), 100) << "typed text changes nothing";
    spin->setValue(s.min);
    spin->stepDown();
    EXPECT_EQ(spin->value(), s.min);
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->value(), s.min + 1);
    spin->setValue(s.max);
    spin->stepUp();
    EXPECT_EQ(spin->value(), s.max);
  }
}

TEST_F(MainWindowTest, EachRadioGroupChoosesOnItsOwn) {
  for (const char* name : {"单选框_周视图", "单选框_便签", "单选框_屏幕上端", "单选框_月视图"}) {
    Unit<QRadioButton>(name)->click();
  }
  EXPECT_TRUE(Unit<QRadioButton>("单选框_月视图")->isChecked());
  EXPECT_FALSE(Unit<QRadioButton>("单选框_周视图")->isChecked());
  EXPECT_TRUE(Unit<QRadioButton>("单选框_便签")->isChecked());
  EXPECT_TRUE(Unit<QRadioButton>("单选框_屏幕上端")->isChecked());
}

TEST_F(MainWindowTest, HotKeyLabelLetsClicksThroughToTheHotKeyBox) {
  auto* label = Unit("标签_热键反馈1");
  auto* box = Unit<QLineEdit>("编辑框_热键1");
  Unit<QTabWidget>("选择夹_左侧")->setCurrentIndex(1);
  EXPECT_TRUE(box->isReadOnly());
  // A point covered by both, in window coordinates.
  const QPoint at = label->mapTo(window_.get(), QPoint(10, 10));
  ASSERT_TRUE(QRect(box->mapTo(window_.get(), QPoint(0, 0)), box->size()).contains(at));
  EXPECT_EQ(window_->childAt(at), box);
}

TEST_F(MainWindowTest, DataSourceStripsHaveTheirSixButtons) {
  struct Button {
    const char* suffix;
    bool enabled;
  };
  const Button kButtons[] = {{"_首", true}, {"_上", true}, {"_下", true},
                             {"_末", true}, {"_增", false}, {"_删", false}};
  for (const char* source : {"数据源_日志", "数据源_事项", "数据源_联系人"}) {
    SCOPED_TRACE(source);
    QWidget* strip = Unit(source);
    ASSERT_NE(strip, nullptr);
    for (int i = 0; i < 6; ++i) {
      auto* b = strip->findChild<QToolButton*>(U(source) + U(kButtons[i].suffix));
      ASSERT_NE(b, nullptr) << kButtons[i].suffix;
      EXPECT_EQ(b->geometry(), QRect(22 * i, 0, 22, 22));
      EXPECT_EQ(b->isEnabled(), kButtons[i].enabled);
    }
    // Above its grid, which it overlaps.
    EXPECT_EQ(strip->parentWidget()->childAt(strip->geometry().center()), strip->childAt(strip->rect().center()));
  }
}

TEST_F(MainWindowTest, BoundGridsShowTheirSourcesAndTheSourcesTheirProviders) {
  struct Binding {
    const char* grid;
    const char* source;
    const char* provider;
  };
  const Binding kBindings[] = {
      {"表格_日志一览", "数据源_日志", "数据库提供者_日志"},
      {"表格_周期事项一览", "数据源_事项", "数据库提供者_事项"},
      {"表格_人脉", "数据源_联系人", "数据库提供者_联系人"},
  };
  for (const Binding& b : kBindings) {
    SCOPED_TRACE(b.grid);
    auto* provider = Unit<ProviderUnit>(b.provider);
    ASSERT_NE(provider, nullptr);
    EXPECT_EQ(provider->parent(), window_.get());
    EXPECT_EQ(provider->provider().file(), "");
    EXPECT_FALSE(provider->provider().has_table());
    auto* source = Unit<DataSourceUnit>(b.source);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->provider_unit(), provider);
    EXPECT_TRUE(source->source().read_only());
    EXPECT_FALSE(source->source().insert_allowed());
    EXPECT_FALSE(source->source().delete_allowed());
    auto* grid = Unit<RecordGrid>(b.grid);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->data_source(), source);
    ASSERT_NE(grid->model(), nullptr);
    EXPECT_EQ(grid->model()->rowCount(), 0);
  }
  // The week grid is filled by its handlers, not bound.
  EXPECT_STREQ(Unit("高级表格_周历")->metaObject()->className(), "QTableView");
}

// Esc anywhere asks the close query; false keeps the window.
TEST_F(MainWindowTest, EscapeInAnyUnitAsksTheCloseQuery) {
  struct Focus {
    const char* unit;
    int left_page, right_page, view_page;
  };
  const Focus kFocus[] = {
      {"编辑框关键词", 0, 0, 0}, {"月历", 0, 0, 0},         {"高级表格_周历", 0, 0, 1},
      {"编辑框2", 1, 0, 0},      {"编辑框_热键1", 1, 0, 0},  {"编辑框_本日志", 0, 0, 0},
      {"列表框_周期事项", 0, 0, 0}, {"表格_日志一览", 0, 1, 0}, {"编辑框备忘便签", 0, 2, 0},
      {"按钮_导入联系人", 0, 3, 0},
  };
  int asked = 0;
  window_->confirmExit = [&asked] {
    ++asked;
    return false;
  };
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  for (const Focus& f : kFocus) {
    SCOPED_TRACE(f.unit);
    Unit<QTabWidget>("选择夹_左侧")->setCurrentIndex(f.left_page);
    Unit<QTabWidget>("选择夹右侧")->setCurrentIndex(f.right_page);
    Unit<QTabWidget>("选择夹_视图")->setCurrentIndex(f.view_page);
    QWidget* unit = Unit(f.unit);
    unit->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), unit);
    const int before = asked;
    QTest::keyClick(unit, Qt::Key_Escape);
    EXPECT_EQ(asked, before + 1);
    EXPECT_TRUE(window_->isVisible());
  }
}

TEST_F(MainWindowTest, CloseQueryDecidesAndNoQueryCloses) {
  bool allow = false;
  int asked = 0;
  window_->confirmExit = [&] {
    ++asked;
    return allow;
  };
  EXPECT_FALSE(window_->close());
  EXPECT_TRUE(window_->isVisible());
  allow = true;
  EXPECT_TRUE(window_->close());
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(asked, 2);

  window_->confirmExit = nullptr;
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  EXPECT_FALSE(window_->isVisible());
}

}  // namespace
}  // namespace tarvok::ui
