#include "ui/lunar_calendar.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <string>

#include "lunar/lunar.h"
#include "platform/gbk.h"

namespace tarvok::ui {
namespace {

QString FromGbk(const std::string& gbk) { return QString::fromUtf8(GbkToUtf8(gbk)); }

// The chooser offers every year that has a convertible day; the first and
// last months of the range show their days without a lunar date as inert.
constexpr int kChooserFirstYear = lunar::kFirstYear;
constexpr int kChooserLastYear = lunar::kLastYear;

bool InRange(int y, int m, int d) { return lunar::GregorianToLunar(y, m, d).has_value(); }

}  // namespace

const QColor LunarCalendar::kDayFill{255, 255, 255};
const QColor LunarCalendar::kSelectedFill{255, 236, 160};
const QColor LunarCalendar::kHoverFill{30, 90, 160};
const QColor LunarCalendar::kNeighbourFill{211, 217, 214};
const QColor LunarCalendar::kUpperText{0, 0, 0};
const QColor LunarCalendar::kLowerText{255, 0, 0};
const QColor LunarCalendar::kSelectedLowerText{60, 0, 255};
const QColor LunarCalendar::kHoverUpperText{255, 255, 255};
const QColor LunarCalendar::kHoverLowerText{0, 255, 255};
// Dark enough for the white weekday names and the weekend colour alike.
const QColor LunarCalendar::kHeaderFill{40, 60, 100};
const QColor LunarCalendar::kHeaderText{255, 255, 255};
const QColor LunarCalendar::kWeekendHeaderText{2, 253, 229};
const QColor LunarCalendar::kGridLine{180, 186, 184};

LunarCalendar::LunarCalendar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("月历"));
  setMouseTracking(true);
  // The right button is handled on release with the 今日 menu; a context-menu
  // event must neither open anything else nor travel to the parent.
  setContextMenuPolicy(Qt::PreventContextMenu);

  choosers_ = new QWidget(this);
  year_chooser_ = new QComboBox(choosers_);
  year_chooser_->setObjectName(QStringLiteral("月历_年"));
  for (int y = kChooserFirstYear; y <= kChooserLastYear; ++y) {
    year_chooser_->addItem(QStringLiteral("公历 %1 年").arg(y), y);
  }
  month_chooser_ = new QComboBox(choosers_);
  month_chooser_->setObjectName(QStringLiteral("月历_月"));
  for (int m = 1; m <= 12; ++m) month_chooser_->addItem(FromGbk(lunar::GregorianMonthName(m)), m);
  auto* top = new QHBoxLayout(choosers_);
  top->setContentsMargins(0, 0, 0, 0);
  top->addStretch(1);
  top->addWidget(year_chooser_);
  top->addWidget(month_chooser_);
  top->addStretch(1);
  // activated, not currentIndexChanged: only a user's choice moves the day,
  // never the choosers following the selection.
  connect(year_chooser_, &QComboBox::activated, this,
          [this](int index) { ChooseMonth(year_chooser_->itemData(index).toInt(), month_); });
  connect(month_chooser_, &QComboBox::activated, this,
          [this](int index) { ChooseMonth(year_, month_chooser_->itemData(index).toInt()); });

  info_ = new QWidget(this);
  terms_ = new QLabel(info_);
  terms_->setObjectName(QStringLiteral("月历_节气"));
  day_info_ = new QLabel(info_);
  day_info_->setObjectName(QStringLiteral("月历_农历"));
  day_info_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* bottom = new QHBoxLayout(info_);
  bottom->setContentsMargins(4, 0, 4, 0);
  bottom->addWidget(terms_);
  bottom->addStretch(1);
  bottom->addWidget(day_info_);

  today_menu_ = new QMenu(this);
  today_menu_->setObjectName(QStringLiteral("今日"));
  QAction* back = today_menu_->addAction(QStringLiteral("回到今日"));
  back->setObjectName(QStringLiteral("回到今日"));
  connect(back, &QAction::triggered, this, &LunarCalendar::goToTodayRequested);

  const DateParts now = SplitDate(Now());
  if (InRange(now.year, now.month, now.day)) {
    Select(now.year, now.month, now.day);
  } else {
    Select(lunar::kFirstYear, lunar::kFirstMonth, lunar::kFirstDay);
  }
  resize(sizeHint());
  LayOut();
}

DateTime LunarCalendar::selectedDate() const { return MakeDate(year_, month_, day_, 23, 59, 59); }

bool LunarCalendar::setSelectedDate(DateTime d) {
  if (!std::isfinite(d.value)) return false;
  const DateParts p = SplitDate(d);
  if (!InRange(p.year, p.month, p.day)) return false;
  Select(p.year, p.month, p.day);
  return true;
}

void LunarCalendar::Select(int year, int month, int day) {
  const bool new_month = year != grid_.year || month != grid_.month;
  year_ = year;
  month_ = month;
  day_ = day;
  if (new_month) {
    // The range check of the callers guarantees a grid.
    grid_ = *lunar::BuildMonthGrid(year, month);
    terms_->setText(FromGbk(lunar::TermLine(grid_)));
    // The mouse may rest over the grid while the month changes under it (the
    // wheel): the hover follows the day now under the pointer.
    SetHover(mouse_inside_ ? cellAt(last_mouse_) : -1);
  }
  SyncChoosers();
  update();
}

void LunarCalendar::ChooseMonth(int year, int month) {
  // January 1901 has no convertible day: its choice lands on February.
  if (year == lunar::kFirstYear && month < lunar::kFirstMonth) month = lunar::kFirstMonth;
  int day = std::min(day_, DaysInMonth(year, month));
  if (year == lunar::kFirstYear && month == lunar::kFirstMonth) day = std::max(day, lunar::kFirstDay);
  Select(year, month, day);
}

void LunarCalendar::SyncChoosers() {
  year_chooser_->setCurrentIndex(year_chooser_->findData(year_));
  month_chooser_->setCurrentIndex(month_ - 1);
}

bool LunarCalendar::IsActive(int index) const {
  if (index < 0 || index >= lunar::kGridCells) return false;
  const lunar::GridCell& c = grid_.cells[index];
  return c.in_month && c.lunar.has_value();
}

void LunarCalendar::SetHover(int index) {
  if (!IsActive(index)) index = -1;
  if (index == hover_) return;
  hover_ = index;
  if (index < 0) {
    day_info_->clear();
  } else {
    static const std::string pattern = "%Y年(%S)%M%D %y-%m-%d"_gbk;
    const lunar::GridCell& c = grid_.cells[index];
    day_info_->setText(
        FromGbk(lunar::FormatLunarInfo(MakeDate(c.year, c.month, c.day, 23, 59, 59), pattern)));
  }
  update();
}

QSize LunarCalendar::sizeHint() const { return {365, 262}; }
QSize LunarCalendar::minimumSizeHint() const { return {280, 220}; }

void LunarCalendar::resizeEvent(QResizeEvent*) { LayOut(); }

void LunarCalendar::LayOut() {
  const int w = width();
  const int chooser_h = std::max(year_chooser_->sizeHint().height(), month_chooser_->sizeHint().height());
  choosers_->setGeometry(0, 1, w, chooser_h);
  const int line_h = fontMetrics().height() + 4;
  header_ = QRect(0, chooser_h + 2, w, line_h);
  const int info_h = std::max(line_h, info_->sizeHint().height());
  info_->setGeometry(0, height() - info_h, w, info_h);
  days_ = QRect(0, header_.bottom() + 1, w, std::max(0, info_->y() - header_.bottom() - 1));
}

QRect LunarCalendar::HeaderRect(int column) const {
  const int x0 = header_.left() + column * header_.width() / lunar::kGridColumns;
  const int x1 = header_.left() + (column + 1) * header_.width() / lunar::kGridColumns;
  return {x0, header_.top(), x1 - x0, header_.height()};
}

QRect LunarCalendar::cellRect(int index) const {
  if (index < 0 || index >= lunar::kGridCells) return {};
  const int row = index / lunar::kGridColumns, column = index % lunar::kGridColumns;
  const int x0 = days_.left() + column * days_.width() / lunar::kGridColumns;
  const int x1 = days_.left() + (column + 1) * days_.width() / lunar::kGridColumns;
  const int y0 = days_.top() + row * days_.height() / lunar::kGridRows;
  const int y1 = days_.top() + (row + 1) * days_.height() / lunar::kGridRows;
  return {x0, y0, x1 - x0, y1 - y0};
}

int LunarCalendar::cellAt(QPoint p) const {
  if (!days_.contains(p) || days_.width() <= 0 || days_.height() <= 0) return -1;
  const int column = (p.x() - days_.left()) * lunar::kGridColumns / days_.width();
  const int row = (p.y() - days_.top()) * lunar::kGridRows / days_.height();
  // The integer edges of cellRect and this division can disagree by one
  // pixel; the rectangle is what is painted, so it decides.
  for (int r = std::max(0, row - 1); r <= std::min(lunar::kGridRows - 1, row + 1); ++r) {
    for (int c = std::max(0, column - 1); c <= std::min(lunar::kGridColumns - 1, column + 1); ++c) {
      const int i = r * lunar::kGridColumns + c;
      if (cellRect(i).contains(p)) return i;
    }
  }
  return -1;
}

void LunarCalendar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());

  QFont header_font = font();
  p.setFont(header_font);
  for (int c = 0; c < lunar::kGridColumns; ++c) {
    const QRect r = HeaderRect(c);
    p.fillRect(r, kHeaderFill);
    p.setPen(c < 5 ? kHeaderText : kWeekendHeaderText);
    p.drawText(r, Qt::AlignCenter, FromGbk(lunar::WeekdayHeaderName(c + 1)));
  }

  QFont upper_font = font();
  upper_font.setBold(true);
  QFont lower_font = font();
  lower_font.setPointSizeF(std::max(6.0, font().pointSizeF() - 1));
  const QFontMetrics upper_metrics(upper_font), lower_metrics(lower_font);
  const int text_h = upper_metrics.height() + lower_metrics.height();

  for (int i = 0; i < lunar::kGridCells; ++i) {
    const lunar::GridCell& cell = grid_.cells[i];
    const QRect r = cellRect(i);
    const bool selected = cell.in_month && cell.year == year_ && cell.month == month_ && cell.day == day_;
    const bool hovered = i == hover_;
    QColor fill = kDayFill, upper = kUpperText, lower = kLowerText;
    if (!cell.in_month) {
      fill = kNeighbourFill;
    } else if (hovered) {
      fill = kHoverFill;
      upper = kHoverUpperText;
      lower = kHoverLowerText;
    } else if (selected) {
      fill = kSelectedFill;
      lower = kSelectedLowerText;
    }
    p.fillRect(r, fill);
    p.setPen(kGridLine);
    p.drawLine(r.topRight(), r.bottomRight());
    p.drawLine(r.bottomLeft(), r.bottomRight());

    const int top = r.top() + (r.height() - text_h) / 2;
    p.setFont(upper_font);
    p.setPen(upper);
    p.drawText(QRect(r.left(), top, r.width(), upper_metrics.height()), Qt::AlignCenter,
               FromGbk(lunar::UpperLabel(cell)));
    p.setFont(lower_font);
    p.setPen(lower);
    p.drawText(QRect(r.left(), top + upper_metrics.height(), r.width(), lower_metrics.height()),
               Qt::AlignCenter, FromGbk(lunar::LowerLabel(cell)));
  }
}

void LunarCalendar::mousePressEvent(QMouseEvent* event) {
  last_mouse_ = event->position().toPoint();
  const int i = cellAt(last_mouse_);
  if (event->button() == Qt::LeftButton && IsActive(i)) {
    const lunar::GridCell& c = grid_.cells[i];
    Select(c.year, c.month, c.day);
  }
  event->accept();
}

void LunarCalendar::mouseReleaseEvent(QMouseEvent* event) {
  last_mouse_ = event->position().toPoint();
  const int i = cellAt(last_mouse_);
  if (!IsActive(i)) return;
  const lunar::GridCell& c = grid_.cells[i];
  if (event->button() == Qt::LeftButton) {
    // The press may have been on another cell: the day under the release is
    // the one chosen.
    Select(c.year, c.month, c.day);
    emit dayActivated();
  } else if (event->button() == Qt::RightButton) {
    emit dayRightClicked(c.year, c.month, c.day);
    today_menu_->popup(event->globalPosition().toPoint());
  }
}

void LunarCalendar::mouseMoveEvent(QMouseEvent* event) {
  mouse_inside_ = true;
  last_mouse_ = event->position().toPoint();
  SetHover(cellAt(last_mouse_));
}

void LunarCalendar::leaveEvent(QEvent*) {
  mouse_inside_ = false;
  SetHover(-1);
}

void LunarCalendar::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) {
    event->ignore();
    return;
  }
  // A turn against the direction of the rest starts a fresh count.
  if ((delta > 0) != (wheel_rest_ > 0)) wheel_rest_ = 0;
  wheel_rest_ += delta;
  const int notches = wheel_rest_ / QWheelEvent::DefaultDeltasPerStep;
  if (notches != 0) {
    wheel_rest_ -= notches * QWheelEvent::DefaultDeltasPerStep;
    emit wheelStepped(notches > 0 ? 1 : -1);
  }
  event->accept();
}

}  // namespace tarvok::ui
