#include "ui/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/gbk.h"
#include "ui/lunar_calendar.h"
#include "ui/record_grid.h"

namespace tarvok::ui {
namespace {

enum class Kind {
  kPagesWest,  // page control, tabs on the left
  kPagesEast,  // page control, tabs on the right
  kPage,       // a page of the parent page control; text = tab, hint = tab tooltip
  kCalendar,
  kGrid,        // a plain grid, filled by its handlers
  kRecordGrid,  // a grid bound to a data source
  kGroupBox,
  kLineEdit,
  kTextEdit,
  kPicture,
  kLabel,
  kButton,
  kListBox,
  kRadio,
  kCheckBox,
  kSpinBox,  // text = value; min, max = range
  kDataSource,
};

// One unit of the form. parent is the container's name (nullptr: the window);
// for a unit on a page, parent is the page control and page its index.
struct FormUnit {
  Kind kind;
  const char* name;
  const char* parent;
  int page;
  int x, y, w, h;
  const char* text;
  const char* hint;
  int min, max;
};

constexpr int kNoPage = -1;

// The edit part of the two spin boxes is 25 pixels wide; the arrows sit to its
// right, in the gap before the next unit, as an attached up-down control does.
constexpr int kSpinArrows = 22;

// clang-format off
const FormUnit kForm[] = {
  {Kind::kPagesWest, "选择夹_左侧", nullptr, kNoPage, 8, 8, 420, 480},
  {Kind::kPage, "选择夹_左侧_页0", "选择夹_左侧", 0, 0, 0, 0, 0, "日历"},
  {Kind::kPage, "选择夹_左侧_页1", "选择夹_左侧", 1, 0, 0, 0, 0, "设置/选项"},
  {Kind::kPagesEast, "选择夹右侧", nullptr, kNoPage, 437, 8, 420, 480},
  {Kind::kPage, "选择夹右侧_页0", "选择夹右侧", 0, 0, 0, 0, 0, "今日", "记录每日事宜，与左侧日历联动"},
  {Kind::kPage, "选择夹右侧_页1", "选择夹右侧", 1, 0, 0, 0, 0, "数据总览", "对所有与日期相关数据进行一览"},
  {Kind::kPage, "选择夹右侧_页2", "选择夹右侧", 2, 0, 0, 0, 0, "备忘便签", "与左侧日历无关的常态备忘信息"},
  {Kind::kPage, "选择夹右侧_页3", "选择夹右侧", 3, 0, 0, 0, 0, "联系人", "具备简易的联系人功能，简单而实用"},

  // Left page 0: calendar views and search.
  {Kind::kPagesWest, "选择夹_视图", "选择夹_左侧", 0, 25, 2, 390, 265},
  {Kind::kPage, "选择夹_视图_页0", "选择夹_视图", 0, 0, 0, 0, 0, "   月历视图  "},
  {Kind::kPage, "选择夹_视图_页1", "选择夹_视图", 1, 0, 0, 0, 0, "   周历视图  "},
  {Kind::kCalendar, "月历", "选择夹_视图", 0, 25, 3, 365, 262},
  {Kind::kGrid, "高级表格_周历", "选择夹_视图", 1, 25, 3, 365, 262},
  {Kind::kGroupBox, "分组框1", "选择夹_左侧", 0, 25, 269, 390, 208, "搜索"},
  {Kind::kLineEdit, "编辑框关键词", "分组框1", kNoPage, 8, 14, 370, 20, "请在这里输入关键词并回车..."},
  {Kind::kPicture, "图片框1", "分组框1", kNoPage, 359, 15, 20, 18},
  {Kind::kButton, "按钮_搜索", "分组框1", kNoPage, 322, 1, 40, 20},
  {Kind::kGroupBox, "分组框6", "分组框1", kNoPage, 3, 35, 110, 168, "日志结果"},
  {Kind::kListBox, "列表框_日志搜索结果", "分组框6", kNoPage, 4, 13, 100, 150},
  {Kind::kGroupBox, "分组框7", "分组框1", kNoPage, 117, 35, 110, 168, "事项结果"},
  {Kind::kListBox, "列表框_提醒搜索结果", "分组框7", kNoPage, 5, 13, 100, 150},
  {Kind::kGroupBox, "分组框8", "分组框1", kNoPage, 230, 35, 110, 35, "备忘便签结果"},
  {Kind::kListBox, "列表框_备忘搜索结果", "分组框8", kNoPage, 4, 13, 102, 20},
  {Kind::kGroupBox, "分组框9", "分组框1", kNoPage, 230, 71, 110, 132, "联系人结果"},
  {Kind::kListBox, "列表框_人脉搜索结果", "分组框9", kNoPage, 5, 13, 100, 115},
  {Kind::kButton, "按钮_导出结果", "分组框1", kNoPage, 342, 44, 38, 80, "导出\n搜索\n结果"},
  {Kind::kButton, "按钮_导出全库", "分组框1", kNoPage, 342, 122, 38, 80, "导出\n全部\n数据"},

  // Left page 1: settings.
  {Kind::kGroupBox, "分组框12", "选择夹_左侧", 1, 27, 8, 390, 56, "热键"},
  {Kind::kLabel, "标签7", "分组框12", kNoPage, 8, 21, 141, 24, "最小化/恢复主窗口热键："},
  {Kind::kLineEdit, "编辑框_热键1", "分组框12", kNoPage, 151, 21, 147, 24},
  {Kind::kButton, "按钮_注册热键1", "分组框12", kNoPage, 304, 19, 80, 24, "注册热键"},
  {Kind::kLabel, "标签_热键反馈1", "选择夹_左侧", 1, 240, 27, 80, 24},
  {Kind::kGroupBox, "分组框13", "选择夹_左侧", 1, 27, 73, 390, 128, "默认视图"},
  {Kind::kGroupBox, "分组框14", "分组框13", kNoPage, 6, 19, 375, 45, "左侧选择夹默认页面"},
  {Kind::kRadio, "单选框_月视图", "分组框14", kNoPage, 64, 17, 71, 24, "月视图"},
  {Kind::kRadio, "单选框_周视图", "分组框14", kNoPage, 223, 17, 63, 24, "周视图"},
  {Kind::kGroupBox, "分组框15", "分组框13", kNoPage, 6, 69, 375, 48, "右侧选择夹默认页面"},
  {Kind::kRadio, "单选框_日志", "分组框15", kNoPage, 8, 17, 80, 24, "今日"},
  {Kind::kRadio, "单选框_总览", "分组框15", kNoPage, 93, 17, 80, 24, "数据总览"},
  {Kind::kRadio, "单选框_便签", "分组框15", kNoPage, 192, 17, 80, 24, "备忘便签"},
  {Kind::kRadio, "单选框_联系人", "分组框15", kNoPage, 288, 17, 80, 24, "联系人"},
  {Kind::kGroupBox, "分组框2", "选择夹_左侧", 1, 27, 213, 390, 56, "加密"},
  {Kind::kCheckBox, "选择框_加密", "分组框2", kNoPage, 12, 18, 103, 24, "为数据库加密"},
  {Kind::kLabel, "标签", "分组框2", kNoPage, 110, 17, 104, 24, "-当前数据库状态："},
  {Kind::kLabel, "标签_加密状态", "分组框2", kNoPage, 214, 18, 56, 24, "未加密"},
  {Kind::kGroupBox, "分组框3", "选择夹_左侧", 1, 27, 280, 390, 88, "表格缩放"},
  {Kind::kLabel, "标签2", "分组框3", kNoPage, 13, 21, 192, 24, "数据总览及联系人表格的缩放比为："},
  {Kind::kSpinBox, "编辑框2", "分组框3", kNoPage, 207, 24, 25 + kSpinArrows, 20, "100", nullptr, 90, 150},
  {Kind::kLabel, "标签3", "分组框3", kNoPage, 254, 21, 24, 24, "%"},
  {Kind::kButton, "按钮1", "分组框3", kNoPage, 272, 21, 80, 24, "立即生效"},
  {Kind::kLabel, "标签5", "分组框3", kNoPage, 13, 56, 192, 24, "设置周历视图的表格行高为："},
  {Kind::kSpinBox, "编辑框3", "分组框3", kNoPage, 207, 59, 25 + kSpinArrows, 20, "100", nullptr, 33, 100},
  {Kind::kButton, "按钮2", "分组框3", kNoPage, 272, 56, 80, 24, "立即生效"},
  {Kind::kGroupBox, "分组框16", "选择夹_左侧", 1, 27, 373, 390, 56, "最小化方式"},
  {Kind::kRadio, "单选框_托盘图标", "分组框16", kNoPage, 77, 22, 120, 24, "托盘图标"},
  {Kind::kRadio, "单选框_屏幕上端", "分组框16", kNoPage, 232, 22, 80, 24, "屏幕上端"},
  // The two hyperlinks of the settings page (maker's web page, e-mail to the
  // author) are left out: this build has no such page or address to open.

  // Right page 0: today.
  {Kind::kPicture, "图片框_今日", "选择夹右侧", 0, 3, 3, 390, 50},
  {Kind::kGroupBox, "分组框_今日志", "选择夹右侧", 0, 3, 55, 392, 280, "日志"},
  {Kind::kTextEdit, "编辑框_本日志", "分组框_今日志", kNoPage, 3, 13, 385, 260},
  {Kind::kGroupBox, "分组框_事项", "选择夹右侧", 0, 3, 336, 392, 141, "周期事项"},
  {Kind::kListBox, "列表框_周期事项", "分组框_事项", kNoPage, 3, 13, 385, 123},

  // Right page 1: overview.
  {Kind::kPicture, "图片框_总览", "选择夹右侧", 1, 3, 3, 390, 50},
  {Kind::kGroupBox, "分组框4", "选择夹右侧", 1, 4, 56, 391, 239, "日志一览"},
  {Kind::kRecordGrid, "表格_日志一览", "分组框4", kNoPage, 4, 11, 380, 220},
  {Kind::kDataSource, "数据源_日志", "分组框4", kNoPage, 166, 183, 132, 22},
  {Kind::kGroupBox, "分组框5", "选择夹右侧", 1, 4, 296, 391, 180, "周期提醒事项一览"},
  {Kind::kRecordGrid, "表格_周期事项一览", "分组框5", kNoPage, 4, 14, 380, 160},
  {Kind::kDataSource, "数据源_事项", "分组框5", kNoPage, 182, 119, 132, 22},

  // Right page 2: memo.
  {Kind::kPicture, "图片框_便签", "选择夹右侧", 2, 3, 3, 390, 50},
  {Kind::kTextEdit, "编辑框备忘便签", "选择夹右侧", 2, 4, 56, 390, 418},

  // Right page 3: contacts.
  {Kind::kPicture, "图片框_联系人", "选择夹右侧", 3, 3, 3, 390, 50},
  {Kind::kRecordGrid, "表格_人脉", "选择夹右侧", 3, 5, 56, 385, 375},
  {Kind::kDataSource, "数据源_联系人", "选择夹右侧", 3, 123, 298, 132, 22},
  {Kind::kGroupBox, "分组框10", "选择夹右侧", 3, 4, 436, 287, 40},
  {Kind::kButton, "按钮_all", "分组框10", kNoPage, 8, 10, 35, 25, "全部"},
  {Kind::kButton, "按钮_ad", "分组框10", kNoPage, 48, 10, 35, 25, "A-D"},
  {Kind::kButton, "按钮_eh", "分组框10", kNoPage, 88, 10, 35, 25, "E-H"},
  {Kind::kButton, "按钮_il", "分组框10", kNoPage, 128, 10, 35, 25, "I-L"},
  {Kind::kButton, "按钮_mp", "分组框10", kNoPage, 168, 10, 35, 25, "M-P"},
  {Kind::kButton, "按钮_qt", "分组框10", kNoPage, 208, 10, 35, 25, "Q-T"},
  {Kind::kButton, "按钮_uz", "分组框10", kNoPage, 248, 10, 35, 25, "U-Z"},
  {Kind::kGroupBox, "分组框11", "选择夹右侧", 3, 292, 436, 103, 40},
  {Kind::kButton, "按钮_导入联系人", "分组框11", kNoPage, 12, 10, 81, 25, "导入联系人"},
};

// Each bound grid shows a data source, and each data source reads a
// provider; the providers have no place on the screen. Start-up gives the
// providers their files.
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
// clang-format on

QString Text(const char* utf8) { return utf8 ? QString::fromUtf8(utf8) : QString(); }

// Keeps the units of a page control's pages at their places relative to the
// whole control. QTabWidget puts its pages into an inner stack whose offset
// (tab strip and frame) depends on the style and the font, and sets it only
// when it lays itself out; the places follow every move of that stack.
class PagePlacer : public QObject {
 public:
  PagePlacer(QTabWidget* control, QWidget* stack) : QObject(control), stack_(stack) {
    stack->installEventFilter(this);
  }

  void Add(QWidget* unit, QRect place) {
    units_.emplace_back(unit, place);
    unit->setGeometry(place.translated(-Offset()));
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == stack_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
      const QPoint offset = Offset();
      for (const auto& [unit, place] : units_) {
        if (unit) unit->setGeometry(place.translated(-offset));
      }
    }
    return false;
  }

 private:
  QPoint Offset() const { return stack_->pos() + stack_->contentsRect().topLeft(); }

  QWidget* stack_;
  std::vector<std::pair<QPointer<QWidget>, QRect>> units_;
};

// The page controls keep their tabs in a side strip no wider than 25 pixels,
// which the units on their pages leave free.
constexpr int kTabStrip = 25;

class SideTabBar : public QTabBar {
 public:
  using QTabBar::QTabBar;

 protected:
  QSize tabSizeHint(int index) const override {
    QSize size = QTabBar::tabSizeHint(index);
    size.setWidth(std::min(size.width(), kTabStrip));
    return size;
  }
};

class SidePageControl : public QTabWidget {
 public:
  SidePageControl(QWidget* parent, TabPosition side) : QTabWidget(parent) {
    setTabBar(new SideTabBar);
    setTabPosition(side);
  }
};

// A magnifier for the right end of the keyword box.
QPixmap SearchPicture() {
  QPixmap pixmap(20, 18);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(70, 80, 95), 2));
  p.drawEllipse(QRectF(3.5, 2.5, 9, 9));
  p.setPen(QPen(QColor(70, 80, 95), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(11.5, 10.5), QPointF(16, 15));
  return pixmap;
}

QWidget* MakeUnit(const FormUnit& u, QWidget* parent) {
  const QString text = Text(u.text);
  switch (u.kind) {
    case Kind::kPagesWest:
    case Kind::kPagesEast: {
      return new SidePageControl(parent, u.kind == Kind::kPagesWest ? QTabWidget::West : QTabWidget::East);
    }
    case Kind::kPage:
      return nullptr;  // made by the caller, which knows the page control
    case Kind::kCalendar:
      return new LunarCalendar(parent);
    case Kind::kGrid:
      return new QTableView(parent);
    case Kind::kRecordGrid:
      return new RecordGrid(parent);
    case Kind::kGroupBox:
      return new QGroupBox(text, parent);
    case Kind::kLineEdit:
      return new QLineEdit(text, parent);
    case Kind::kTextEdit:
      return new QPlainTextEdit(text, parent);
    case Kind::kPicture:
    case Kind::kLabel:
      return new QLabel(text, parent);
    case Kind::kButton:
      return new QPushButton(text, parent);
    case Kind::kListBox:
      return new QListWidget(parent);
    case Kind::kRadio:
      return new QRadioButton(text, parent);
    case Kind::kCheckBox:
      return new QCheckBox(text, parent);
    case Kind::kSpinBox: {
      auto* spin = new QSpinBox(parent);
      spin->setRange(u.min, u.max);
      spin->setValue(text.toInt());
      spin->setAlignment(Qt::AlignCenter);
      // Only the arrows change the number; the spin box itself stays
      // writable, or its arrows would stop working too.
      spin->findChild<QLineEdit*>()->setReadOnly(true);
      return spin;
    }
    case Kind::kDataSource:
      // Read-only, without insert and delete, as the form's sources are.
      return new DataSourceUnit(Text(u.name), parent);
  }
  return nullptr;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QStringLiteral("塔沃克林-Tarvokline"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(kWidth, kHeight);

  QHash<QString, QWidget*> containers;
  QHash<QTabWidget*, PagePlacer*> placers;
  for (const FormUnit& u : kForm) {
    const QString name = Text(u.name);
    QWidget* container = u.parent ? containers.value(Text(u.parent)) : this;
    Q_ASSERT(container);
    auto* control = u.page != kNoPage ? static_cast<QTabWidget*>(container) : nullptr;

    if (u.kind == Kind::kPage) {
      auto* page = new QWidget;
      page->setObjectName(name);
      control->addTab(page, Text(u.text));
      if (u.hint) control->setTabToolTip(u.page, Text(u.hint));
      // The inner stack is the page's parent once the page is added.
      if (!placers.contains(control)) placers.insert(control, new PagePlacer(control, page->parentWidget()));
      containers.insert(name, page);
      continue;
    }

    const QRect place(u.x, u.y, u.w, u.h);
    QWidget* unit = MakeUnit(u, control ? control->widget(u.page) : container);
    if (unit->objectName().isEmpty()) unit->setObjectName(name);
    Q_ASSERT(unit->objectName() == name);
    if (control) {
      placers.value(control)->Add(unit, place);
    } else {
      unit->setGeometry(place);
    }
    containers.insert(name, unit);
  }

  for (const Binding& b : kBindings) {
    new ProviderUnit(Text(b.provider), this);
    unit<DataSourceUnit>(Text(b.source))->SetProviderName(Utf8ToGbk(b.provider));
    unit<RecordGrid>(Text(b.grid))->SetDataSourceName(Utf8ToGbk(b.source));
  }

  // Group titles sit on the frame line, with the frame starting half a line
  // down, so that units placed 13 or 14 pixels into a group clear its title.
  setStyleSheet(QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px; }"
      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px;"
      " top: -2px; padding: 0px 2px; }"));

  unit<QLabel>(QStringLiteral("图片框1"))->setPixmap(SearchPicture());
  // The hot-key label only receives the hot key's presses; like an empty
  // static text it lets the mouse through to the units under it.
  unit<QLabel>(QStringLiteral("标签_热键反馈1"))->setAttribute(Qt::WA_TransparentForMouseEvents);
  unit<QLineEdit>(QStringLiteral("编辑框_热键1"))->setReadOnly(true);
  // The search button stays under the keyword box it overlaps.
  unit<QWidget>(QStringLiteral("按钮_搜索"))->stackUnder(unit<QWidget>(QStringLiteral("编辑框关键词")));

  auto* clock = new QTimer(this);
  clock->setObjectName(QStringLiteral("时钟"));
  clock->setInterval(1000);
  clock->start();

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    // The client area is centred: its frame is not known before it is shown.
    QRect client(QPoint(0, 0), size());
    client.moveCenter(screen->availableGeometry().center());
    setGeometry(client);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (confirmExit && !confirmExit()) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace tarvok::ui
