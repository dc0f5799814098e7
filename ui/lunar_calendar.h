// The lunar month calendar: a Gregorian month as six rows of seven days from
// Monday, each day with its Gregorian number above and its lunar day (or, on
// the first day of a lunar month, the lunar month) below, the weekday header,
// a year and a month chooser, and an information line with the month's solar
// terms on the left and the lunar description of the day under the mouse on
// the right.
//
// The selected day always lies in the shown month and in the convertible
// range 1901-02-19 .. 2048-12-31. Only days of the shown month that have a
// lunar date react to the mouse; the neighbouring months' days (greyed) and
// the days of February 1901 before the 19th are inert.
//
// Child units, by object name:
//   月历_年     QComboBox "公历 %d 年", 1901 .. 2048
//   月历_月     QComboBox 一月 .. 十二月
//   月历_节气   QLabel, the solar terms of the shown month (TermLine)
//   月历_农历   QLabel, the day under the mouse ("%Y年(%S)%M%D %y-%m-%d"),
//               empty while the mouse is not over an active day
//   今日        QMenu with the one action 回到今日
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include "datetime/date_time.h"
#include "lunar/month_grid.h"

class QComboBox;
class QLabel;
class QMenu;

namespace tarvok::ui {

class LunarCalendar : public QWidget {
  Q_OBJECT

 public:
  explicit LunarCalendar(QWidget* parent = nullptr);

  // The selected day at 23:59:59.
  DateTime selectedDate() const;
  // Selects the day of d and shows its month when that day lies in
  // 1901-02-19 .. 2048-12-31 (d read in whole seconds, as SplitDate does).
  // Anything else (NaN, infinities, days outside the range) changes nothing
  // and returns false. Raises no signal.
  bool setSelectedDate(DateTime d);

  int shownYear() const { return grid_.year; }
  int shownMonth() const { return grid_.month; }

  // The rectangle of cell 0..41 (row by row, Monday first) in widget
  // coordinates; an empty rectangle outside.
  QRect cellRect(int index) const;
  // The cell under p, or -1.
  int cellAt(QPoint p) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // Fills and text colours of the grid.
  static const QColor kDayFill, kSelectedFill, kHoverFill, kNeighbourFill;
  static const QColor kUpperText, kLowerText, kSelectedLowerText;
  static const QColor kHoverUpperText, kHoverLowerText;
  static const QColor kHeaderFill, kHeaderText, kWeekendHeaderText, kGridLine;

 signals:
  // The left button was released over an active day, which is now the
  // selected day.
  void dayActivated();
  // The right button was released over an active day; the selection does not
  // move. The 今日 menu pops up at the mouse right after this signal.
  void dayRightClicked(int year, int month, int day);
  // 回到今日 was chosen from the 今日 menu.
  void goToTodayRequested();
  // The wheel turned one notch or more: +1 away from the user, -1 towards.
  // Partial notches of fine-grained devices add up until they make a notch;
  // one event gives at most one signal.
  void wheelStepped(int step);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  bool IsActive(int index) const;
  // Selects (year, month, day) and rebuilds the grid when the month changes.
  // The date must be convertible.
  void Select(int year, int month, int day);
  // A chooser moved to year / month: the selected day keeps its day of the
  // month, cut back to the month's length and into the convertible range.
  void ChooseMonth(int year, int month);
  void SyncChoosers();
  void SetHover(int index);
  void LayOut();
  QRect HeaderRect(int column) const;

  lunar::MonthGrid grid_;
  int year_ = 0, month_ = 0, day_ = 0;  // the selected day
  int hover_ = -1;
  QPoint last_mouse_{-1, -1};
  bool mouse_inside_ = false;
  int wheel_rest_ = 0;  // angle delta not yet turned into a step

  QRect header_, days_;  // header row and 6 x 7 days area
  QWidget* choosers_ = nullptr;
  QComboBox* year_chooser_ = nullptr;
  QComboBox* month_chooser_ = nullptr;
  QWidget* info_ = nullptr;
  QLabel* terms_ = nullptr;
  QLabel* day_info_ = nullptr;
  QMenu* today_menu_ = nullptr;
};

}  // namespace tarvok::ui
