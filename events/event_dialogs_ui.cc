#include "events/event_dialogs_ui.h"

#include <QAction>
#include <QByteArray>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVariant>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "datetime/date_time.h"
#include "events/day_events_ui.h"
#include "platform/gbk.h"
#include "store/errors.h"
#include "tables/tables.h"
#include "ui/dialogs.h"
#include "ui/gbk_text.h"
#include "ui/lunar_calendar.h"
#include "ui/main_window.h"

namespace tarvok::events {
namespace {

constexpr int kDialogWidth = 260;
constexpr int kDialogHeight = 306;
// What the content box holds, in GBK bytes (the field itself takes 100).
constexpr std::size_t kContentBytes = 70;
// The add dialog's period: two characters at most ("99", "-9").
constexpr int kAddPeriodLength = 2;

// Dynamic properties of the edit dialog: the record it modifies and the
// line text it was opened from.
constexpr char kRecordProperty[] = "tarvok-event-record";
constexpr char kTextProperty[] = "tarvok-event-text";

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

const QString& AddName() {
  static const QString name = QStringLiteral("AddEventDialog");
  return name;
}
const QString& EditName() {
  static const QString name = QStringLiteral("EditEventDialog");
  return name;
}

// ---- the dialogs ----------------------------------------------------------

// The banner across the top of both dialogs: a soft sky gradient, a small
// desk calendar and a circular arrow for "again and again".
QPixmap BannerPicture() {
  QPixmap pixmap(kDialogWidth, 56);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, kDialogWidth, 56);
  sky.setColorAt(0, QColor(214, 232, 250));
  sky.setColorAt(1, QColor(250, 252, 255));
  p.fillRect(pixmap.rect(), sky);
  p.setPen(QPen(QColor(190, 205, 225), 1));
  p.drawLine(0, 55, kDialogWidth, 55);

  // The calendar: a white sheet with a red top band, two rings and a grid.
  const QRectF sheet(14, 10, 36, 36);
  p.setPen(QPen(QColor(120, 130, 150), 1));
  p.setBrush(Qt::white);
  p.drawRoundedRect(sheet, 4, 4);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(214, 72, 64));
  p.drawRoundedRect(QRectF(sheet.left(), sheet.top(), sheet.width(), 10), 4, 4);
  p.drawRect(QRectF(sheet.left(), sheet.top() + 5, sheet.width(), 5));
  p.setBrush(QColor(90, 96, 110));
  p.drawEllipse(QPointF(sheet.left() + 10, sheet.top()), 2, 3);
  p.drawEllipse(QPointF(sheet.right() - 10, sheet.top()), 2, 3);
  p.setBrush(QColor(150, 160, 180));
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 4; ++col) {
      p.drawRect(QRectF(sheet.left() + 5 + col * 7.5, sheet.top() + 15 + row * 6.5, 4, 4));
    }
  }

  // The circular arrow beside it.
  p.setPen(QPen(QColor(70, 130, 190), 3, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  const QRectF ring(60, 16, 24, 24);
  p.drawArc(ring, 60 * 16, 270 * 16);
  // The arc starts at 60 degrees; the arrow head sits on that end.
  const double start = std::numbers::pi / 3;
  const QPointF tip(ring.center().x() + 12 * std::cos(start), ring.center().y() - 12 * std::sin(start));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 130, 190));
  const QPointF head[] = {tip + QPointF(-6, -3), tip + QPointF(4, -5), tip + QPointF(1, 5)};
  p.drawPolygon(head, 3);
  return pixmap;
}

enum class Kind { kPicture, kLabel, kPeriod, kUnit, kContent, kButton };

struct Unit {
  Kind kind;
  const char* name;
  int x, y, w, h;
  const char* text;
};

// clang-format off
const Unit kAddUnits[] = {
  {Kind::kPicture, "图片框1", 0, 0, 260, 56, nullptr},
  {Kind::kLabel, "标签1", 10, 67, 102, 24, "从今天起，请每隔"},
  {Kind::kPeriod, "编辑框循环周期", 115, 67, 23, 20, nullptr},
  {Kind::kUnit, "组合框循环单位", 138, 67, 36, 20, nullptr},
  {Kind::kLabel, "标签2", 185, 67, 47, 24, "提醒我："},
  {Kind::kLabel, "标签3", 166, 90, 80, 24, "（最多50字）"},
  {Kind::kContent, "编辑框提醒内容", 7, 120, 240, 100, nullptr},
  {Kind::kButton, "按钮周期事项确定", 32, 232, 80, 32, "确定"},
  {Kind::kButton, "按钮周期事项取消", 144, 232, 80, 32, "取消"},
};

const Unit kEditUnits[] = {
  {Kind::kPicture, "图片框1", 0, 0, 260, 56, nullptr},
  {Kind::kLabel, "标签说明周期事项", 4, 70, 196, 24, nullptr},
  {Kind::kPeriod, "编辑框循环周期", 201, 71, 15, 20, nullptr},
  {Kind::kUnit, "组合框循环单位", 216, 71, 35, 20, nullptr},
  {Kind::kLabel, "标签2", 7, 102, 136, 24, "的今天提醒我下述事项："},
  {Kind::kLabel, "标签3", 142, 101, 58, 24, "（最多50字）"},
  {Kind::kContent, "编辑框提醒内容", 7, 136, 240, 84, nullptr},
  {Kind::kButton, "按钮周期事项确定", 32, 232, 80, 32, "确定"},
  {Kind::kButton, "按钮周期事项取消", 144, 232, 80, 32, "取消"},
};
// clang-format on

// The units by name, in the dialogs' GBK terms.
const std::string& PeriodBox() {
  static const std::string name = "编辑框循环周期"_gbk;
  return name;
}
const std::string& UnitBox() {
  static const std::string name = "组合框循环单位"_gbk;
  return name;
}
const std::string& ContentBox() {
  static const std::string name = "编辑框提醒内容"_gbk;
  return name;
}
const std::string& EventList() {
  static const std::string name = "列表框_周期事项"_gbk;
  return name;
}

QWidget* MakeUnit(const Unit& u, QDialog* dialog) {
  switch (u.kind) {
    case Kind::kPicture: {
      auto* picture = new QLabel(dialog);
      picture->setPixmap(BannerPicture());
      return picture;
    }
    case Kind::kLabel:
      return new QLabel(u.text ? U(u.text) : QString(), dialog);
    case Kind::kPeriod: {
      auto* period = new QLineEdit(dialog);
      period->setAlignment(Qt::AlignCenter);
      // Digits, with a sign only in front: what is typed or pasted always
      // reads as a whole number (or as the lone sign, which reads as 0).
      period->setValidator(
          new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]*")), period));
      return period;
    }
    case Kind::kUnit: {
      // Not editable: the unit is always one of the four names the
      // occurrence rule knows; a typed text would make an event that never
      // occurs.
      auto* unit = new QComboBox(dialog);
      unit->setEditable(false);
      for (tables::RecurrenceUnit r : {tables::RecurrenceUnit::kYear, tables::RecurrenceUnit::kMonth,
                                       tables::RecurrenceUnit::kWeek, tables::RecurrenceUnit::kDay}) {
        unit->addItem(ui::FromGbk(tables::RecurrenceUnitText(r)));
      }
      unit->setCurrentIndex(0);
      return unit;
    }
    case Kind::kContent: {
      auto* content = new QPlainTextEdit(dialog);
      ui::EditBox(content).SetByteLimit(kContentBytes);
      return content;
    }
    case Kind::kButton:
      return new QPushButton(U(u.text), dialog);
  }
  return nullptr;
}

QDialog* Opened(const ui::Context& ctx, const QString& name) {
  return ctx.window.findChild<QDialog*>(name, Qt::FindDirectChildrenOnly);
}

// A new dialog over the main window, in place of any open one of that name.
// `confirm` runs on 确定; 取消 and every other close end the dialog, which
// then goes away.
template <std::size_t N>
QDialog* MakeDialog(ui::Context& ctx, const QString& name, const char* title, const Unit (&units)[N],
                    void (*confirm)(ui::Context&)) {
  if (QDialog* old = Opened(ctx, name)) old->reject();

  auto* dialog = new QDialog(&ctx.window);
  dialog->setObjectName(name);
  dialog->setWindowTitle(U(title));
  dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint);
  dialog->setFixedSize(kDialogWidth, kDialogHeight);
  for (const Unit& u : units) {
    QWidget* w = MakeUnit(u, dialog);
    w->setObjectName(U(u.name));
    w->setGeometry(u.x, u.y, u.w, u.h);
  }
  // Gone with the close: nameless at once, so that no handler finds it
  // while it waits for its deletion.
  QObject::connect(dialog, &QDialog::finished, dialog, [dialog](int) {
    dialog->setObjectName(QString());
    dialog->deleteLater();
  });
  const ui::Units found(dialog);
  ui::Context* c = &ctx;
  found.Push("按钮周期事项确定"_gbk).OnClick([c, confirm] { confirm(*c); });
  found.Push("按钮周期事项取消"_gbk).OnClick([dialog] { dialog->reject(); });
  found.Find(PeriodBox())->setFocus();
  return dialog;
}

// ---- checks and lookups ---------------------------------------------------

// The period typed, checked as the header says; nullopt after the box of
// the first failed check.
std::optional<int32_t> CheckedPeriod(const std::string& text) {
  if (text.empty()) {
    ui::ShowInformation("请填写循环周期"_gbk);
    return std::nullopt;
  }
  static const QRegularExpression whole(QStringLiteral("\\A-?[0-9]*\\z"));
  if (!whole.match(ui::FromGbk(text)).hasMatch()) {
    ui::ShowInformation("循环周期只能填写整数！"_gbk);
    return std::nullopt;
  }
  const double value = TextToNumber(text);
  if (value == 0) {
    ui::ShowPlain("您的循环周期填写了‘0’，如果不是一个\r\n周期性事件，请直接填写到'日志'中！"_gbk);
    return std::nullopt;
  }
  // Symmetric, so that the absolute value the rule takes fits as well.
  constexpr double kMost = std::numeric_limits<int32_t>::max();
  if (!(std::fabs(value) <= kMost)) {
    ui::ShowInformation("循环周期过大！"_gbk);
    return std::nullopt;
  }
  return static_cast<int32_t>(value);
}

bool CheckedContent(const std::string& content) {
  if (!content.empty()) return true;
  ui::ShowInformation("请填写提醒内容！"_gbk);
  return false;
}

// Makes tx35 current with record `number` as its position, when that is
// still the record a list line of text `shown` stands for (see the header).
bool GoToEvent(store::RecordStore& s, int64_t number, const std::string& shown) {
  if (!s.SelectTable(tables::kEventTable)) return false;
  // GoToRecord clamps: a number past the end would land on the last record.
  if (number < 1 || number > s.RecordCount()) return false;
  if (!s.GoToRecord(number) || s.CurrentRecordNumber() != number) return false;
  // A record marked deleted, or one whose mark cannot be read, is not it.
  if (s.IsDeleted() || store::LastError() != store::kOk) return false;
  const store::Value text = s.ReadField(tables::EventTextField());
  if (store::LastError() != store::kOk) return false;
  const auto* stored = std::get_if<std::string>(&text);
  // The line holds the stored bytes as decoded for the list; compare in that
  // form, so that a text with an undecodable byte is found as well.
  return stored != nullptr && ui::ToGbk(ui::FromGbk(*stored)) == shown;
}

std::optional<ui::ResultLine> SelectedLine(const ui::Context& ctx) {
  const ui::ListBox list = ctx.units().List(EventList());
  const int index = list.SelectedIndex();
  if (index < 0) return std::nullopt;
  return list.Line(index);
}

// The unit chosen in the combo box, cut to the field's width; nullopt when
// none is chosen.
std::optional<std::string> ChosenUnit(const ui::ComboBox& combo) {
  if (combo.CurrentIndex() < 0) return std::nullopt;
  return combo.Text().substr(0, tables::kEventUnitWidth);
}

// ---- the list's mouse -----------------------------------------------------

// Pops the menu up where the right button goes down over the list; the
// press goes no further, so the selection stays where the user left it.
class RightPress : public QObject {
 public:
  RightPress(QWidget* viewport, QMenu* menu) : QObject(viewport), menu_(menu) {
    viewport->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton) {
        menu_->popup(mouse->globalPosition().toPoint());
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QMenu* menu_;
};

}  // namespace

// ---- the commands ---------------------------------------------------------

QWidget* OpenedAddEventDialog(const ui::Context& ctx) { return Opened(ctx, AddName()); }
QWidget* OpenedEditEventDialog(const ui::Context& ctx) { return Opened(ctx, EditName()); }

void OpenAddEventDialog(ui::Context& ctx) {
  ctx.state.work_day = DateOnly(ctx.calendar().selectedDate());
  ctx.store.SelectTable(tables::kEventTable);
  QDialog* dialog = MakeDialog(ctx, AddName(), "周期性事项：", kAddUnits, &ConfirmAddEvent);
  qobject_cast<QLineEdit*>(ui::Units(dialog).Edit(PeriodBox()).widget())->setMaxLength(kAddPeriodLength);
  dialog->open();
  ctx.RefreshWeekView();
}

void ConfirmAddEvent(ui::Context& ctx) {
  QDialog* dialog = Opened(ctx, AddName());
  if (dialog == nullptr) return;
  const ui::Units units(dialog);
  // Without tx35 the record would go to whatever table is current.
  const bool selected = ctx.store.SelectTable(tables::kEventTable);
  const std::optional<int32_t> period = CheckedPeriod(units.Edit(PeriodBox()).Text());
  if (!period) return;
  const std::string content = units.Edit(ContentBox()).Text();
  if (!CheckedContent(content)) return;
  const std::string unit = units.Combo(UnitBox()).Text().substr(0, tables::kEventUnitWidth);
  if (!selected || !ctx.store.AddRecord({ctx.state.work_day, *period, unit, content})) {
    ui::ShowError("加记录失败"_gbk);
    return;
  }
  ListDayEvents(ctx);
  dialog->accept();
}

void OpenEditEventDialog(ui::Context& ctx) {
  static const std::string kChoose = "请选择一条记录后再进行修改！"_gbk;
  const std::optional<ui::ResultLine> line = SelectedLine(ctx);
  if (!line) {
    ui::ShowInformation(kChoose);
    return;
  }
  if (!GoToEvent(ctx.store, line->value, line->text)) {
    ui::ShowInformation(kChoose);
    ctx.RefreshWeekView();
    return;
  }
  const tables::PeriodicEvent event = tables::ReadPeriodicEvent(ctx.store);

  QDialog* dialog = MakeDialog(ctx, EditName(), "修改已存在的提醒事件：", kEditUnits, &ConfirmEditEvent);
  dialog->setProperty(kRecordProperty, QVariant::fromValue<qint64>(line->value));
  dialog->setProperty(kTextProperty, QByteArray::fromStdString(line->text));
  const ui::Units units(dialog);
  units.Text("标签说明周期事项"_gbk).SetText("我在"_gbk + DateToText(event.start, DateTextForm::kFull) +
                                          "约定，在今后每"_gbk);
  units.Edit(PeriodBox()).SetText(NumberToText(event.period));
  // A stored unit other than the four (its text is then empty) matches no
  // item and shows as no choice at all.
  ui::ComboBox unit = units.Combo(UnitBox());
  unit.SetCurrentIndex(unit.widget()->findText(ui::FromGbk(tables::RecurrenceUnitText(event.unit))));
  units.Edit(ContentBox()).SetText(event.text);
  dialog->open();
}

void ConfirmEditEvent(ui::Context& ctx) {
  QDialog* dialog = Opened(ctx, EditName());
  if (dialog == nullptr) return;
  const ui::Units units(dialog);
  const std::optional<int32_t> period = CheckedPeriod(units.Edit(PeriodBox()).Text());
  if (!period) return;
  const std::string content = units.Edit(ContentBox()).Text();
  if (!CheckedContent(content)) return;
  const std::optional<std::string> unit = ChosenUnit(units.Combo(UnitBox()));

  // Other handlers may have moved tx35 (or changed it) since the opening.
  const int64_t record = dialog->property(kRecordProperty).toLongLong();
  const std::string shown = dialog->property(kTextProperty).toByteArray().toStdString();
  std::vector<store::OptValue> values = {std::nullopt, *period, std::nullopt, content};
  if (unit) values[2] = *unit;
  if (!GoToEvent(ctx.store, record, shown) || !ctx.store.ModifyRecord(values)) {
    ui::ShowError("修改记录失败"_gbk);
    return;
  }
  ListDayEvents(ctx);
  dialog->accept();
}

void DeleteSelectedEvent(ui::Context& ctx) {
  const std::optional<ui::ResultLine> line = SelectedLine(ctx);
  if (!line || !GoToEvent(ctx.store, line->value, line->text)) {
    ui::ShowInformation("请选择一条记录后再进行删除！"_gbk);
    ctx.RefreshWeekView();
    return;
  }
  // A record marked but not packed away (the pack failed) is no longer
  // listed; the next successful pack removes it.
  if (!ctx.store.DeleteRecord() || !ctx.store.Pack()) ui::ShowError("删除记录失败！"_gbk);
  ListDayEvents(ctx);
}

void ConnectEventList(ui::Context& ctx) {
  static const QString kMenu = QStringLiteral("周期性右键菜单");
  QListWidget* list = ctx.units().List(EventList()).widget();
  if (list->findChild<QMenu*>(kMenu, Qt::FindDirectChildrenOnly) != nullptr) return;

  auto* menu = new QMenu(list);
  menu->setObjectName(kMenu);
  ui::Context* c = &ctx;
  QObject::connect(menu->addAction(QStringLiteral("新增周期性事件")), &QAction::triggered, list,
                   [c] { OpenAddEventDialog(*c); });
  menu->addSeparator();
  QObject::connect(menu->addAction(QStringLiteral("修改周期性事件")), &QAction::triggered, list,
                   [c] { OpenEditEventDialog(*c); });
  menu->addSeparator();
  QObject::connect(menu->addAction(QStringLiteral("删除周期性事件")), &QAction::triggered, list,
                   [c] { DeleteSelectedEvent(*c); });

  // The right button is handled on its press; no context-menu event adds a
  // second menu.
  list->setContextMenuPolicy(Qt::PreventContextMenu);
  new RightPress(list->viewport(), menu);
  QObject::connect(list, &QListWidget::itemDoubleClicked, list,
                   [c](QListWidgetItem*) { OpenEditEventDialog(*c); });
}

}  // namespace tarvok::events
