// The lunar month calendar driven like a user drives it: mouse events at cell
// centres, choosers by their object names and keys, signals watched with
// QSignalSpy, colours read back from a rendering.
#include "ui/lunar_calendar.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <ostream>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "datetime/date_time.h"

QT_BEGIN_NAMESPACE
// Readable failure messages for texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace tarvok::ui {
namespace {

using Day = std::tuple<int, int, int>;

std::tuple<int, int, int, int, int, int> Parts(DateTime d) {
  const DateParts p = SplitDate(d);
  return {p.year, p.month, p.day, p.hour, p.minute, p.second};
}

Day SelectedDay(DateTime d) {
  const DateParts p = SplitDate(d);
  return {p.year, p.month, p.day};
}

class LunarCalendarTest : public testing::Test {
 protected:
  void SetUp() override {
    SetClock([] { return MakeDate(2013, 5, 12, 10, 0, 0); });
    cal_ = std::make_unique<LunarCalendar>();
    cal_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(cal_.get()));
  }
  void TearDown() override {
    cal_.reset();
    SetClock({});
  }

  void Show(int y, int m, int d) { ASSERT_TRUE(cal_->setSelectedDate(MakeDate(y, m, d))); }
  QPoint Centre(int cell) const { return cal_->cellRect(cell).center(); }
  template <typename T>
  T* Child(const char* utf8_name) const {
    T* child = cal_->findChild<T*>(QString::fromUtf8(utf8_name));
    EXPECT_NE(child, nullptr) << utf8_name;
    return child;
  }
  QString Text(const char* label) const { return Child<QLabel>(label)->text(); }

  std::unique_ptr<LunarCalendar> cal_;
};

TEST_F(LunarCalendarTest, StartsOnTodayAndShowsItsMonth) {
  EXPECT_EQ(Parts(cal_->selectedDate()), std::make_tuple(2013, 5, 12, 23, 59, 59));
  EXPECT_EQ(Text("月历_节气"), QString::fromUtf8("廿六立夏  十二小满"));
  EXPECT_EQ(Child<QComboBox>("月历_年")->currentText(), QString::fromUtf8("公历 2013 年"));
  EXPECT_EQ(Child<QComboBox>("月历_月")->currentText(), QString::fromUtf8("五月"));
}

TEST_F(LunarCalendarTest, WritingSelectsTheDayShowsItsMonthAndRaisesNothing) {
  QSignalSpy activated(cal_.get(), &LunarCalendar::dayActivated);
  struct Case {
    const char* name;
    DateTime written;
    Day day;
  };
  const Case cases[] = {
      {"time of day dropped on reading", MakeDate(2013, 5, 12, 8, 30, 0), {2013, 5, 12}},
      {"first convertible day", MakeDate(1901, 2, 19), {1901, 2, 19}},
      {"last convertible day, late", MakeDate(2048, 12, 31, 23, 59, 59), {2048, 12, 31}},
      {"first day of a leap month", MakeDate(2014, 10, 24), {2014, 10, 24}},
      {"half a second before midnight is the next day", DateTime(MakeDate(2013, 5, 12).value + 86399.6 / 86400),
       {2013, 5, 13}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(cal_->setSelectedDate(c.written));
    const auto [y, m, d] = c.day;
    EXPECT_EQ(Parts(cal_->selectedDate()), std::make_tuple(y, m, d, 23, 59, 59));
    EXPECT_EQ(cal_->shownYear(), y);
    EXPECT_EQ(cal_->shownMonth(), m);
  }
  EXPECT_EQ(activated.count(), 0);
}

TEST_F(LunarCalendarTest, WritingOutsideTheRangeChangesNothing) {
  Show(2014, 10, 24);
  QSignalSpy activated(cal_.get(), &LunarCalendar::dayActivated);
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    DateTime written;
  };
  const Case cases[] = {
      {"day before the first", MakeDate(1901, 2, 18)},
      {"end of 1900", MakeDate(1900, 12, 31)},
      {"day after the last", MakeDate(2049, 1, 1)},
      {"last day, half a second before its end", DateTime(MakeDate(2048, 12, 31).value + 86399.6 / 86400)},
      {"NaN", DateTime(std::nan(""))},
      {"+infinity", DateTime(inf)},
      {"-infinity", DateTime(-inf)},
      {"smallest DateTime", DateTime(kMinDateTime)},
      {"largest DateTime", DateTime(kMaxDateTime)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(cal_->setSelectedDate(c.written));
    EXPECT_EQ(Parts(cal_->selectedDate()), std::make_tuple(2014, 10, 24, 23, 59, 59));
    EXPECT_EQ(cal_->shownMonth(), 10);
    EXPECT_EQ(Child<QComboBox>("月历_年")->currentText(), QString::fromUtf8("公历 2014 年"));
  }
  EXPECT_EQ(activated.count(), 0);
}

// February 2015 begins on a Sunday: cell 0 is 26 January, cell 6 the 1st,
// cell 33 the 28th, cells 34..41 are 1..8 March.
TEST_F(LunarCalendarTest, LeftClickOnADaySelectsItBeforeTheSignal) {
  Show(2015, 2, 20);
  std::vector<Day> seen;
  QObject::connect(cal_.get(), &LunarCalendar::dayActivated, [&] { seen.push_back(SelectedDay(cal_->selectedDate())); });
  const struct {
    int cell;
    Day day;
  } cases[] = {{6, {2015, 2, 1}}, {15, {2015, 2, 10}}, {33, {2015, 2, 28}}};
  for (const auto& c : cases) {
    seen.clear();
    QTest::mouseClick(cal_.get(), Qt::LeftButton, {}, Centre(c.cell));
    EXPECT_EQ(seen, std::vector<Day>{c.day}) << c.cell;
    EXPECT_EQ(SelectedDay(cal_->selectedDate()), c.day);
    EXPECT_EQ(cal_->shownMonth(), 2);
  }
}

TEST_F(LunarCalendarTest, ReleaseOverAnotherDayChoosesThatDay) {
  Show(2015, 2, 20);
  std::vector<Day> seen;
  QObject::connect(cal_.get(), &LunarCalendar::dayActivated,
                   [&] { seen.push_back(SelectedDay(cal_->selectedDate())); });
  QTest::mousePress(cal_.get(), Qt::LeftButton, {}, Centre(15));
  EXPECT_EQ(SelectedDay(cal_->selectedDate()), Day(2015, 2, 10));
  EXPECT_TRUE(seen.empty());
  QTest::mouseRelease(cal_.get(), Qt::LeftButton, {}, Centre(16));
  EXPECT_EQ(seen, std::vector<Day>{Day(2015, 2, 11)});
  EXPECT_EQ(SelectedDay(cal_->selectedDate()), Day(2015, 2, 11));
}

TEST_F(LunarCalendarTest, InertCellsDoNothing) {
  QSignalSpy activated(cal_.get(), &LunarCalendar::dayActivated);
  QSignalSpy right(cal_.get(), &LunarCalendar::dayRightClicked);
  auto* menu = Child<QMenu>("今日");
  const struct {
    const char* name;
    Day shown;
    int cell;
  } cases[] = {
      {"January day before February 2015", {2015, 2, 20}, 0},
      {"March day after February 2015", {2015, 2, 20}, 41},
      {"February 1901 before the first lunar day", {1901, 2, 20}, 0 + 4},  // 1901-02-01 is a Friday
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [y, m, d] = c.shown;
    Show(y, m, d);
    QTest::mouseClick(cal_.get(), Qt::LeftButton, {}, Centre(c.cell));
    QTest::mouseClick(cal_.get(), Qt::RightButton, {}, Centre(c.cell));
    EXPECT_EQ(SelectedDay(cal_->selectedDate()), c.shown);
    EXPECT_EQ(cal_->shownMonth(), m);
    EXPECT_FALSE(menu->isVisible());
  }
  EXPECT_EQ(activated.count(), 0);
  EXPECT_EQ(right.count(), 0);
}

TEST_F(LunarCalendarTest, RightClickReportsTheDayAndOffersBackToToday) {
  Show(2015, 2, 20);
  QSignalSpy activated(cal_.get(), &LunarCalendar::dayActivated);
  QSignalSpy right(cal_.get(), &LunarCalendar::dayRightClicked);
  QSignalSpy today(cal_.get(), &LunarCalendar::goToTodayRequested);
  QTest::mouseClick(cal_.get(), Qt::RightButton, {}, Centre(15));
  ASSERT_EQ(right.count(), 1);
  EXPECT_EQ(right[0], (QList<QVariant>{2015, 2, 10}));
  EXPECT_EQ(SelectedDay(cal_->selectedDate()), Day(2015, 2, 20));
  EXPECT_EQ(activated.count(), 0);

  auto* menu = Child<QMenu>("今日");
  EXPECT_TRUE(menu->isVisible());
  ASSERT_EQ(menu->actions().size(), 1);
  QAction* back = menu->actions()[0];
  EXPECT_EQ(back->text(), QString::fromUtf8("回到今日"));
  EXPECT_EQ(today.count(), 0);
  back->trigger();
  EXPECT_EQ(today.count(), 1);
  menu->hide();
}

TEST_F(LunarCalendarTest, ChoosersMoveTheDayWithoutAnEvent) {
  QSignalSpy activated(cal_.get(), &LunarCalendar::dayActivated);
  auto* years = Child<QComboBox>("月历_年");
  auto* months = Child<QComboBox>("月历_月");
  EXPECT_EQ(years->count(), 2048 - 1901 + 1);
  EXPECT_EQ(years->itemText(0), QString::fromUtf8("公历 1901 年"));
  EXPECT_EQ(months->count(), 12);
  EXPECT_EQ(months->itemText(11), QString::fromUtf8("十二月"));
  const struct {
    const char* name;
    Day from;
    QComboBox* chooser;
    Qt::Key key;
    Day to;
  } cases[] = {
      {"next month cuts 31 to 30", {2013, 5, 31}, months, Qt::Key_Down, {2013, 6, 30}},
      {"previous month cuts 31 to 28", {2013, 3, 31}, months, Qt::Key_Up, {2013, 2, 28}},
      {"December keeps the day", {2013, 5, 31}, months, Qt::Key_End, {2013, 12, 31}},
      {"next year off a leap day", {2012, 2, 29}, years, Qt::Key_Down, {2013, 2, 28}},
      {"previous year", {2014, 10, 24}, years, Qt::Key_Up, {2013, 10, 24}},
      {"first year from January lands in February", {2013, 1, 31}, years, Qt::Key_Home, {1901, 2, 28}},
      {"first year, early February day moves to the 19th", {2013, 2, 3}, years, Qt::Key_Home, {1901, 2, 19}},
      {"January of the first year", {1901, 5, 10}, months, Qt::Key_Home, {1901, 2, 19}},
      {"last year", {2013, 12, 31}, years, Qt::Key_End, {2048, 12, 31}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [fy, fm, fd] = c.from;
    Show(fy, fm, fd);
    QTest::keyClick(c.chooser, c.key);
    const auto [y, m, d] = c.to;
    EXPECT_EQ(SelectedDay(cal_->selectedDate()), c.to);
    EXPECT_EQ(cal_->shownYear(), y);
    EXPECT_EQ(cal_->shownMonth(), m);
    EXPECT_EQ(years->currentText(), QString::fromUtf8("公历 %1 年").arg(y));
    EXPECT_EQ(months->currentIndex(), m - 1);
  }
  EXPECT_EQ(activated.count(), 0);
}

TEST_F(LunarCalendarTest, InformationLine) {
  const struct {
    const char* name;
    Day shown;
    int cell;
    const char* terms;
    const char* day;
  } cases[] = {
      // May 2013 begins on a Wednesday.
      {"known answer", {2013, 5, 1}, 2 + 11, "廿六立夏  十二小满", "癸巳年(蛇)四月初三 2013-5-12"},
      // February 2013 begins on a Friday. 立春 2013 falls at 00:13:20: read at the day's end, the 4th is 癸巳.
      {"day of 立春 is the new year", {2013, 2, 1}, 4 + 3, "廿四立春  初九雨水", "癸巳年(蛇)腊月廿四 2013-2-4"},
      {"day before 立春", {2013, 2, 1}, 4 + 2, "廿四立春  初九雨水", "壬辰年(龙)腊月廿三 2013-2-3"},
      // October 2014 begins on a Wednesday.
      {"first day of the leap month", {2014, 10, 1}, 2 + 23, "十五寒露  三十霜降", "甲午年(马)闰九月初一 2014-10-24"},
      {"neighbouring day shows nothing", {2014, 10, 1}, 0, "十五寒露  三十霜降", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [y, m, d] = c.shown;
    Show(y, m, d);
    QTest::mouseMove(cal_.get(), Centre(c.cell));
    EXPECT_EQ(Text("月历_节气"), QString::fromUtf8(c.terms));
    EXPECT_EQ(Text("月历_农历"), QString::fromUtf8(c.day));
  }
}

TEST_F(LunarCalendarTest, InformationLineEmptiesWhenTheMouseLeavesTheDays) {
  QTest::mouseMove(cal_.get(), Centre(13));
  ASSERT_FALSE(Text("月历_农历").isEmpty());
  QTest::mouseMove(cal_.get(), QPoint(cal_->width() / 2, cal_->cellRect(0).top() - 3));  // header
  EXPECT_EQ(Text("月历_农历"), QString());

  QTest::mouseMove(cal_.get(), Centre(13));
  ASSERT_FALSE(Text("月历_农历").isEmpty());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(cal_.get(), &leave);
  EXPECT_EQ(Text("月历_农历"), QString());
}

TEST_F(LunarCalendarTest, WheelStepsOncePerNotchAndLeavesTheDay) {
  const struct {
    const char* name;
    std::vector<int> deltas;
    QList<int> steps;
  } cases[] = {
      {"one notch away", {120}, {1}},
      {"one notch towards", {-120}, {-1}},
      {"two notches at once give one step", {240}, {1}},
      {"half a notch gives nothing", {60}, {}},
      {"two halves make a notch", {60, 60}, {1}},
      {"a reversal drops the rest", {60, -120}, {-1}},
      {"fine steps", {40, 40, 40, 40, 40, 40}, {1, 1}},
      {"horizontal only", {0}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LunarCalendar cal;
    cal.resize(cal.sizeHint());
    QSignalSpy spy(&cal, &LunarCalendar::wheelStepped);
    const QPointF at = cal.cellRect(20).center();
    for (int delta : c.deltas) {
      QWheelEvent wheel(at, cal.mapToGlobal(at), QPoint(), QPoint(delta == 0 ? 120 : 0, delta), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(&cal, &wheel);
    }
    QList<int> steps;
    for (const QList<QVariant>& args : spy) steps.push_back(args[0].toInt());
    EXPECT_EQ(steps, c.steps);
    EXPECT_EQ(SelectedDay(cal.selectedDate()), Day(2013, 5, 12));
  }
}

// Colours read back from a rendering. A cell's fill is read near its top-left
// corner; a line's text colour is the pixel in that line's half of the cell
// that lies farthest from the fill (the core of a stroke, not an
// anti-aliased edge).
class LunarCalendarPixelsTest : public LunarCalendarTest {
 protected:
  QImage Render() const {
    QImage image(cal_->size(), QImage::Format_RGB32);
    cal_->render(&image);
    return image;
  }
  static int Distance(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
  }
  static QColor Fill(const QImage& image, QRect r) { return image.pixelColor(r.left() + 2, r.top() + 2); }
  static QColor Ink(const QImage& image, QRect r) {
    const QColor fill = Fill(image, r);
    QColor ink = fill;
    for (int y = r.top() + 1; y < r.bottom(); ++y) {
      for (int x = r.left() + 1; x < r.right(); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (Distance(c, fill) > Distance(ink, fill)) ink = c;
      }
    }
    return ink;
  }
  static QRect UpperHalf(QRect r) { return QRect(r.left(), r.top(), r.width(), r.height() / 2); }
  static QRect LowerHalf(QRect r) { return QRect(r.left(), r.center().y(), r.width(), r.bottom() - r.center().y()); }
  static void ExpectColour(QColor got, QColor want, const char* what) {
    EXPECT_LE(Distance(got, want), 60) << what << ": got " << got.name().toStdString() << ", want "
                                       << want.name().toStdString();
  }
};

TEST_F(LunarCalendarPixelsTest, CellColours) {
  Show(2015, 2, 10);  // cell 15
  QTest::mouseMove(cal_.get(), Centre(20));  // the 15th
  const QImage image = Render();
  const struct {
    const char* name;
    int cell;
    QColor fill, upper, lower;
  } cases[] = {
      {"neighbouring month", 0, LunarCalendar::kNeighbourFill, LunarCalendar::kUpperText, LunarCalendar::kLowerText},
      {"neighbouring month after", 40, LunarCalendar::kNeighbourFill, LunarCalendar::kUpperText,
       LunarCalendar::kLowerText},
      {"shown month", 16, LunarCalendar::kDayFill, LunarCalendar::kUpperText, LunarCalendar::kLowerText},
      {"selected", 15, LunarCalendar::kSelectedFill, LunarCalendar::kUpperText, LunarCalendar::kSelectedLowerText},
      {"under the mouse", 20, LunarCalendar::kHoverFill, LunarCalendar::kHoverUpperText,
       LunarCalendar::kHoverLowerText},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QRect r = cal_->cellRect(c.cell);
    EXPECT_EQ(Fill(image, r), c.fill) << Fill(image, r).name().toStdString();
    ExpectColour(Ink(image, UpperHalf(r)), c.upper, "upper line");
    ExpectColour(Ink(image, LowerHalf(r)), c.lower, "lower line");
  }
  EXPECT_EQ(QColor(60, 0, 255), LunarCalendar::kSelectedLowerText);
  EXPECT_EQ(QColor(0, 255, 255), LunarCalendar::kHoverLowerText);
  EXPECT_EQ(QColor(211, 217, 214), LunarCalendar::kNeighbourFill);
}

TEST_F(LunarCalendarPixelsTest, WeekdayHeader) {
  const QImage image = Render();
  for (int column = 0; column < 7; ++column) {
    SCOPED_TRACE(column);
    // The header row lies right above the first row of days: the rows of its
    // fill upwards from there.
    const QRect cell = cal_->cellRect(column);
    int top = cell.top() - 1;
    while (top > 0 && image.pixelColor(cell.left() + 2, top - 1) == LunarCalendar::kHeaderFill) --top;
    const QRect header(cell.left(), top, cell.width(), cell.top() - top);
    ASSERT_GE(header.height(), 12);
    const QColor want = column < 5 ? LunarCalendar::kHeaderText : LunarCalendar::kWeekendHeaderText;
    ExpectColour(Ink(image, header), want, "weekday name");
  }
  EXPECT_EQ(QColor(2, 253, 229), LunarCalendar::kWeekendHeaderText);
}

}  // namespace
}  // namespace tarvok::ui
