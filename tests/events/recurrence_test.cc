#include "events/recurrence.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "store/format.h"
#include "store/record_store.h"
#include "tests/support/temp_dir.h"

namespace tarvok::events {
namespace {

using store::FieldDesc;
using store::FieldType;
using store::OptValue;
using store::RecordStore;
using store::Value;
using tables::PeriodicEvent;
using tables::RecurrenceUnit;

DateTime Day(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
  return MakeDate(y, m, d, h, mi, s);
}

// ---- the rule on values ---------------------------------------------------------

struct OccursCase {
  const char* name;
  DateTime start;
  int32_t period;
  RecurrenceUnit unit;
  DateTime day;
  bool occurs;
};

constexpr auto kY = RecurrenceUnit::kYear;
constexpr auto kM = RecurrenceUnit::kMonth;
constexpr auto kD = RecurrenceUnit::kDay;
constexpr auto kW = RecurrenceUnit::kWeek;
constexpr auto kNo = RecurrenceUnit::kNone;

const std::vector<OccursCase>& Cases() {
  static const std::vector<OccursCase> cases = {
      // every two months from 15 January 2013
      {"month2 start day", Day(2013, 1, 15), 2, kM, Day(2013, 1, 15), true},
      {"month2 March", Day(2013, 1, 15), 2, kM, Day(2013, 3, 15), true},
      {"month2 May", Day(2013, 1, 15), 2, kM, Day(2013, 5, 15), true},
      {"month2 next January", Day(2013, 1, 15), 2, kM, Day(2014, 1, 15), true},
      {"month2 not February", Day(2013, 1, 15), 2, kM, Day(2013, 2, 15), false},
      {"month2 not 14 March", Day(2013, 1, 15), 2, kM, Day(2013, 3, 14), false},
      {"month2 not 16 March", Day(2013, 1, 15), 2, kM, Day(2013, 3, 16), false},
      {"month2 not a year back", Day(2013, 1, 15), 2, kM, Day(2012, 11, 15), false},
      // monthly from 31 January: only months with a 31st, nothing at month ends
      {"month31 no 28 February", Day(2013, 1, 31), 1, kM, Day(2013, 2, 28), false},
      {"month31 no 1 March", Day(2013, 1, 31), 1, kM, Day(2013, 3, 1), false},
      {"month31 31 March", Day(2013, 1, 31), 1, kM, Day(2013, 3, 31), true},
      {"month31 no 30 April", Day(2013, 1, 31), 1, kM, Day(2013, 4, 30), false},
      {"month31 31 May", Day(2013, 1, 31), 1, kM, Day(2013, 5, 31), true},
      {"month31 31 July", Day(2013, 1, 31), 1, kM, Day(2013, 7, 31), true},
      {"month31 31 August", Day(2013, 1, 31), 1, kM, Day(2013, 8, 31), true},
      {"month31 no 30 September", Day(2013, 1, 31), 1, kM, Day(2013, 9, 30), false},
      {"month31 31 December", Day(2013, 1, 31), 1, kM, Day(2013, 12, 31), true},
      {"month31 31 January 2014", Day(2013, 1, 31), 1, kM, Day(2014, 1, 31), true},
      // yearly from 29 February 2012
      {"leap1 start", Day(2012, 2, 29), 1, kY, Day(2012, 2, 29), true},
      {"leap1 no 28 February 2013", Day(2012, 2, 29), 1, kY, Day(2013, 2, 28), false},
      {"leap1 no 1 March 2013", Day(2012, 2, 29), 1, kY, Day(2013, 3, 1), false},
      {"leap1 no 28 February 2015", Day(2012, 2, 29), 1, kY, Day(2015, 2, 28), false},
      {"leap1 2016", Day(2012, 2, 29), 1, kY, Day(2016, 2, 29), true},
      {"leap1 2020", Day(2012, 2, 29), 1, kY, Day(2020, 2, 29), true},
      {"leap3 not 2016", Day(2012, 2, 29), 3, kY, Day(2016, 2, 29), false},
      {"leap3 not 2020", Day(2012, 2, 29), 3, kY, Day(2020, 2, 29), false},
      {"leap3 2024", Day(2012, 2, 29), 3, kY, Day(2024, 2, 29), true},
      {"leap3 2036", Day(2012, 2, 29), 3, kY, Day(2036, 2, 29), true},
      {"year1 same day next year", Day(2013, 5, 1), 1, kY, Day(2014, 5, 1), true},
      {"year1 other day of month", Day(2013, 5, 1), 1, kY, Day(2014, 5, 2), false},
      {"year1 other month", Day(2013, 5, 1), 1, kY, Day(2014, 6, 1), false},
      {"year2 odd distance", Day(2013, 5, 1), 2, kY, Day(2014, 5, 1), false},
      // every two weeks from Wednesday 1 May 2013
      {"week2 start", Day(2013, 5, 1), 2, kW, Day(2013, 5, 1), true},
      {"week2 not 8 May", Day(2013, 5, 1), 2, kW, Day(2013, 5, 8), false},
      {"week2 15 May", Day(2013, 5, 1), 2, kW, Day(2013, 5, 15), true},
      {"week2 29 May", Day(2013, 5, 1), 2, kW, Day(2013, 5, 29), true},
      {"week2 not 14 days minus 1", Day(2013, 5, 1), 2, kW, Day(2013, 5, 14), false},
      {"week1 keeps the weekday", Day(2013, 5, 1), 1, kW, Day(2013, 5, 8), true},
      // every three days from 1 May 2013
      {"day3 start", Day(2013, 5, 1), 3, kD, Day(2013, 5, 1), true},
      {"day3 4 May", Day(2013, 5, 1), 3, kD, Day(2013, 5, 4), true},
      {"day3 7 May", Day(2013, 5, 1), 3, kD, Day(2013, 5, 7), true},
      {"day3 not 5 May", Day(2013, 5, 1), 3, kD, Day(2013, 5, 5), false},
      {"day3 30 April is before the start", Day(2013, 5, 1), 3, kD, Day(2013, 4, 30), false},
      {"day3 28 April, a period back", Day(2013, 5, 1), 3, kD, Day(2013, 4, 28), false},
      {"day3 across a year", Day(2013, 12, 30), 3, kD, Day(2014, 1, 2), true},
      // before the start, for every unit
      {"day before start year", Day(2013, 5, 1), 1, kY, Day(2013, 4, 30, 23, 59, 59), false},
      {"day before start month", Day(2013, 5, 1), 1, kM, Day(2013, 4, 30, 23, 59, 59), false},
      {"day before start day", Day(2013, 5, 1), 1, kD, Day(2013, 4, 30, 23, 59, 59), false},
      {"day before start week", Day(2013, 5, 1), 1, kW, Day(2013, 4, 30, 23, 59, 59), false},
      {"a year back, same day", Day(2013, 5, 1), 1, kY, Day(2012, 5, 1), false},
      {"a month back, same day", Day(2013, 5, 1), 1, kM, Day(2013, 4, 1), false},
      // the time of day of the tested day plays no part
      {"start day at 00:00:00", Day(2013, 5, 1), 3, kD, Day(2013, 5, 1, 0, 0, 0), true},
      {"start day at 23:59:59", Day(2013, 5, 1), 3, kD, Day(2013, 5, 1, 23, 59, 59), true},
      {"4 May at 23:59:59", Day(2013, 5, 1), 3, kD, Day(2013, 5, 4, 23, 59, 59), true},
      {"monthly at 23:59:59", Day(2013, 1, 15), 2, kM, Day(2013, 3, 15, 23, 59, 59), true},
      {"weekly at 12:00", Day(2013, 5, 1), 2, kW, Day(2013, 5, 15, 12, 0, 0), true},
      // a start with a time of day: the day count has a fraction
      {"daily start at noon never", Day(2013, 5, 1, 12), 1, kD, Day(2013, 5, 2, 23, 59, 59), false},
      {"daily start at noon not its day", Day(2013, 5, 1, 12), 1, kD, Day(2013, 5, 1, 23, 59, 59), false},
      {"weekly start at noon never", Day(2013, 5, 1, 12), 1, kW, Day(2013, 5, 8, 23, 59, 59), false},
      {"yearly start at noon still", Day(2013, 5, 1, 12), 1, kY, Day(2014, 5, 1, 23, 59, 59), true},
      {"monthly start at noon still", Day(2013, 5, 1, 12), 1, kM, Day(2013, 6, 1, 23, 59, 59), true},
      // negative periods act as their absolute value
      {"period -2 months", Day(2013, 1, 15), -2, kM, Day(2013, 3, 15), true},
      {"period -2 not February", Day(2013, 1, 15), -2, kM, Day(2013, 2, 15), false},
      {"period -3 days", Day(2013, 5, 1), -3, kD, Day(2013, 5, 7), true},
      {"period -1 weeks", Day(2013, 5, 1), -1, kW, Day(2013, 5, 8), true},
      {"period -1 still not before start", Day(2013, 5, 1), -1, kD, Day(2013, 4, 30), false},
      // period 0: the start day only
      {"period 0 days start", Day(2013, 5, 1), 0, kD, Day(2013, 5, 1, 23, 59, 59), true},
      {"period 0 days next day", Day(2013, 5, 1), 0, kD, Day(2013, 5, 2), false},
      {"period 0 weeks start", Day(2013, 5, 1), 0, kW, Day(2013, 5, 1), true},
      {"period 0 weeks a week on", Day(2013, 5, 1), 0, kW, Day(2013, 5, 8), false},
      {"period 0 months start", Day(2013, 5, 1), 0, kM, Day(2013, 5, 1), true},
      {"period 0 months a month on", Day(2013, 5, 1), 0, kM, Day(2013, 6, 1), false},
      {"period 0 years start", Day(2013, 5, 1), 0, kY, Day(2013, 5, 1), true},
      {"period 0 years a year on", Day(2013, 5, 1), 0, kY, Day(2014, 5, 1), false},
      {"period 0 daily, noon start", Day(2013, 5, 1, 12), 0, kD, Day(2013, 5, 1, 23, 59, 59), false},
      // whole periods beyond any distance: only the start day
      {"huge period start", Day(2013, 5, 1), 2147483647, kD, Day(2013, 5, 1), true},
      {"huge period later", Day(2013, 5, 1), 2147483647, kD, Day(9999, 12, 31), false},
      {"lowest period later", Day(2013, 5, 1), INT32_MIN, kW, Day(2013, 5, 8), false},
      // an unknown unit never occurs, not even on the start day
      {"unknown unit start day", Day(2013, 5, 1), 1, kNo, Day(2013, 5, 1), false},
      {"unknown unit later", Day(2013, 5, 1), 1, kNo, Day(2013, 5, 2), false},
      // the range bounds
      {"first day of the range", Day(100, 1, 1), 1, kD, Day(100, 1, 1, 23, 59, 59), true},
      {"last day of the range", Day(100, 1, 1), 1, kD, Day(9999, 12, 31), true},
      {"below zero, daily", Day(1899, 12, 1), 7, kD, Day(1899, 12, 29, 6), true},
      {"across zero, weekly", Day(1899, 12, 23), 1, kW, Day(1899, 12, 30, 18), true},
      {"across zero, not the day before", Day(1899, 12, 23), 1, kW, Day(1899, 12, 29, 18), false},
  };
  return cases;
}

TEST(OccursOnTest, TableOfCases) {
  for (const OccursCase& c : Cases()) {
    const PeriodicEvent event{c.start, c.period, c.unit, ""};
    EXPECT_EQ(OccursOn(event, c.day), c.occurs) << c.name;
  }
}

// For each rule the whole of 2013..2016: the days it yields, computed from
// the calendar independently of the rule.
TEST(OccursOnTest, SweepAgainstTheCalendar) {
  const DateTime from = Day(2013, 1, 1);
  const DateTime to = Day(2016, 12, 31);
  struct Rule {
    const char* name;
    PeriodicEvent event;
  } rules[] = {
      {"month 1 from 31 January", {Day(2013, 1, 31), 1, kM, ""}},
      {"month 5 from 30 March", {Day(2013, 3, 30), 5, kM, ""}},
      {"year 1 from 29 February 2012", {Day(2012, 2, 29), 1, kY, ""}},
      {"year 2 from 1 July 2013", {Day(2013, 7, 1), 2, kY, ""}},
      {"day 10 from 3 March 2013", {Day(2013, 3, 3), 10, kD, ""}},
      {"week 3 from 2 February 2013", {Day(2013, 2, 2), 3, kW, ""}},
      {"day 0 from 4 April 2014", {Day(2014, 4, 4), 0, kD, ""}},
      {"week -2 from 9 June 2013", {Day(2013, 6, 9), -2, kW, ""}},
      {"month 0 from 1 March 2015", {Day(2015, 3, 1), 0, kM, ""}},
  };
  for (const Rule& r : rules) {
    const DateParts s = SplitDate(r.event.start);
    const int64_t n = r.event.period < 0 ? -int64_t{r.event.period} : r.event.period;
    int hits = 0;
    for (double x = from.value; x <= to.value; x += 1) {
      const DateParts p = SplitDate(DateTime(x));
      const double days = x - r.event.start.value;
      const int months = (p.year - s.year) * 12 + p.month - s.month;
      bool want = days >= 0;
      switch (r.event.unit) {
        case kY: want = want && p.month == s.month && p.day == s.day &&
                        (n == 0 ? p.year == s.year : (p.year - s.year) % n == 0);
          break;
        case kM: want = want && p.day == s.day && (n == 0 ? months == 0 : months % n == 0);
          break;
        case kD: want = want && (n == 0 ? days == 0 : int64_t(days) % n == 0);
          break;
        case kW: want = want && (n == 0 ? days == 0 : int64_t(days) % (7 * n) == 0);
          break;
        case kNo: want = false; break;
      }
      hits += want;
      ASSERT_EQ(OccursOn(r.event, DateTime(x + 0.999988)), want)  // 23:59:59
          << r.name << " on " << GbkToUtf8(DateToText(DateTime(x), DateTextForm::kDate));
    }
    EXPECT_GT(hits, 0) << r.name;
  }
}

TEST(EventMatchTest, ToleranceAndZero) {
  const struct {
    double k, q;
    bool match;
  } cases[] = {
      {0, 3, true},      {6, 3, true},       {7, 3, false},          {-6, 3, true},
      {6, -3, true},     {6 + 1e-8, 3, true}, {6 - 1e-8, 3, false},   {6 + 1e-6, 3, false},
      {0.5, 1, false},   {0, 0, true},       {1e-8, 0, true},        {1, 0, false},
      {-1, 0, false},    {1e-6, 0, false},
  };
  // The tolerance lies above a multiple only: just below one, the remainder
  // is nearly q. Counts of whole days, months or years never come close.
  for (const auto& c : cases) EXPECT_EQ(EventMatch(c.k, c.q), c.match) << c.k << " by " << c.q;
}

// ---- over the store --------------------------------------------------------------

class EventTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<FieldDesc> fields = {
        {"初始日期"_gbk, FieldType::kDateTime, 0, 0},
        {"循环周期"_gbk, FieldType::kInt32, 0, 0},
        {"循环单位"_gbk, FieldType::kText, 0, 2},
        {"提醒内容"_gbk, FieldType::kText, 0, 100},
    };
    const auto image = store::EmptyTableImage(fields, 41395.86739583333, 15, "", false);
    test::WriteFileBytes(dir_.Path("tx35.edb"), std::string(image.begin(), image.end()));
    ASSERT_TRUE(store_.OpenTable(dir_.GbkPath("tx35.edb")));
    // Another table current at the start, as after any other handler.
    const std::vector<FieldDesc> other = {{"x", FieldType::kInt32, 0, 0}};
    const auto other_image = store::EmptyTableImage(other, 41395.0, 1, "", false);
    test::WriteFileBytes(dir_.Path("other.edb"), std::string(other_image.begin(), other_image.end()));
    ASSERT_TRUE(store_.OpenTable(dir_.GbkPath("other.edb")));
  }

  void Add(DateTime start, int32_t period, const std::string& unit, const std::string& text) {
    ASSERT_TRUE(store_.SelectTable("tx35"));
    ASSERT_TRUE(store_.AddRecord({Value(start), Value(period), Value(unit), Value(text)}));
    ASSERT_TRUE(store_.SelectTable("other"));
  }

  test::TempDir dir_;
  RecordStore store_;
};

TEST_F(EventTableTest, LinesInRecordOrderWithRecordNumbers) {
  Add(Day(2013, 5, 1), 3, "日"_gbk, "浇花"_gbk);         // 1: 7 May yes
  Add(Day(2013, 5, 1), 2, "周"_gbk, "例会"_gbk);         // 2: 7 May no
  Add(Day(2013, 1, 7), 1, "月"_gbk, "交房租"_gbk);       // 3: yes
  Add(Day(2013, 5, 7), 1, "年"_gbk, "浇花"_gbk);         // 4: start day, same text
  Add(Day(2013, 5, 8), 1, "日"_gbk, "明天开始"_gbk);     // 5: starts later
  Add(Day(2013, 5, 1), 0, "日"_gbk, "周期为零"_gbk);     // 6: period 0, not its day
  Add(Day(2013, 5, 7), 0, "月"_gbk, "今天为零"_gbk);     // 7: period 0, its day
  Add(Day(2013, 5, 1), 1, "天"_gbk, "单位不对"_gbk);     // 8: unknown unit
  Add(Day(2013, 5, 1), -6, "日"_gbk, "负周期"_gbk);      // 9: -6 days: 7 May yes
  Add(Day(2013, 5, 1), 1, ""_gbk, "无单位"_gbk);         // 10: empty unit

  const std::vector<ListLine> want = {
      {"浇花"_gbk, 1}, {"交房租"_gbk, 3}, {"浇花"_gbk, 4}, {"今天为零"_gbk, 7}, {"负周期"_gbk, 9}};
  EXPECT_EQ(ListDayEvents(store_, Day(2013, 5, 7, 23, 59, 59)), want);
  EXPECT_EQ(store_.CurrentTableName(), "tx35");
  // The same day at midnight gives the same lines.
  ASSERT_TRUE(store_.SelectTable("other"));
  EXPECT_EQ(ListDayEvents(store_, Day(2013, 5, 7)), want);
  // A day before every start: nothing.
  EXPECT_TRUE(ListDayEvents(store_, Day(2013, 1, 6, 23, 59, 59)).empty());
}

TEST_F(EventTableTest, DeletedEventsAreNotListed) {
  Add(Day(2013, 5, 1), 1, "日"_gbk, "留下"_gbk);
  Add(Day(2013, 5, 1), 1, "日"_gbk, "删掉"_gbk);
  ASSERT_TRUE(store_.SelectTable("tx35"));
  ASSERT_TRUE(store_.GoToRecord(2));
  ASSERT_TRUE(store_.DeleteRecord());  // marked, not packed
  const std::vector<ListLine> want = {{"留下"_gbk, 1}};
  EXPECT_EQ(ListDayEvents(store_, Day(2013, 5, 7)), want);
}

TEST_F(EventTableTest, FullWidthTextAndEmptyTable) {
  EXPECT_TRUE(ListDayEvents(store_, Day(2013, 5, 7)).empty());
  const std::string fifty = [] {
    std::string s;
    for (int i = 0; i < 50; ++i) s += "事"_gbk;
    return s;
  }();
  ASSERT_EQ(fifty.size(), 100u);
  Add(Day(2013, 5, 7), 1, "日"_gbk, fifty);
  const std::vector<ListLine> want = {{fifty, 1}};
  EXPECT_EQ(ListDayEvents(store_, Day(2013, 5, 9, 23, 59, 59)), want);
}

TEST_F(EventTableTest, StoreRuleReadsTheCurrentRecord) {
  Add(Day(2013, 1, 31), 1, "月"_gbk, "月底"_gbk);
  Add(Day(2013, 5, 1), 2, "周"_gbk, "双周"_gbk);
  ASSERT_TRUE(store_.SelectTable("tx35"));
  const struct {
    int record;
    DateTime day;
    bool occurs;
  } cases[] = {
      {1, Day(2013, 2, 28, 23, 59, 59), false}, {1, Day(2013, 3, 31, 23, 59, 59), true},
      {2, Day(2013, 5, 8, 23, 59, 59), false},  {2, Day(2013, 5, 15, 23, 59, 59), true},
      {2, Day(2013, 4, 17, 23, 59, 59), false},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(store_.GoToRecord(c.record));
    EXPECT_EQ(OccursOn(store_, c.day), c.occurs) << c.record;
  }
}

TEST_F(EventTableTest, NoEventTableGivesNoLines) {
  store_.CloseTable("tx35");
  EXPECT_TRUE(ListDayEvents(store_, Day(2013, 5, 7)).empty());
  EXPECT_EQ(store_.CurrentTableName(), "other");
}

}  // namespace
}  // namespace tarvok::events
