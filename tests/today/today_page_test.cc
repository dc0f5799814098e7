#include "today/today_page.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <iomanip>
#include <random>
#include <string>
#include <vector>

#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "store/check.h"
#include "store/errors.h"
#include "store/format.h"
#include "store/record_store.h"
#include "tests/support/fault_fs.h"
#include "tests/support/temp_dir.h"

namespace tarvok::today {
namespace {

using store::FieldDesc;
using store::FieldType;
using store::RecordStore;
using store::Value;
using test::FaultFileSystem;
using test::FsOp;

DateTime Day(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
  return MakeDate(y, m, d, h, mi, s);
}
// The month calendar hands over its selected day at 23:59:59.
DateTime Selected(int y, int m, int d) { return Day(y, m, d, 23, 59, 59); }

std::string DateText(DateTime d) { return DateToText(d, DateTextForm::kDate); }

constexpr uint32_t kDiaryHeader = 116 + 2 * 72;  // rz35.edb without records
constexpr uint32_t kDiaryRecord = 16;

class TodayPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Write("rz35.edb", store::EmptyTableImage({{"日期"_gbk, FieldType::kDateTime, 0, 0},
                                              {"日志"_gbk, FieldType::kMemo, 0, 0}},
                                             41365.91509259259, 209, "", false));
    Write("rz35.edt", store::EmptyCompanionImage(41365.91509259259));
    Write("bw35.edb", store::EmptyTableImage({{"bw", FieldType::kMemo, 0, 0}}, 41366.96960648148,
                                             7, "", false));
    Write("bw35.edt", store::EmptyCompanionImage(41366.96960648148));
    Write("other.edb", store::EmptyTableImage({{"日期"_gbk, FieldType::kDateTime, 0, 0},
                                               {"bw", FieldType::kInt32, 0, 0}},
                                              41365.0, 1, "", false));
    ASSERT_TRUE(store_.OpenTable(dir_.GbkPath("rz35.edb")));
    ASSERT_TRUE(store_.OpenTable(dir_.GbkPath("bw35.edb")));
    ASSERT_TRUE(store_.OpenTable(dir_.GbkPath("other.edb")));
    // Another handler's table is current when each handler starts; its
    // fields have the same names, so a handler that forgot to select its
    // own table would read and write here.
    ASSERT_TRUE(store_.AddRecord({Value(Day(2013, 5, 1)), Value(int32_t{5})}));
  }

  void Write(const char* name, const std::vector<uint8_t>& bytes) {
    test::WriteFileBytes(dir_.Path(name), std::string(bytes.begin(), bytes.end()));
  }

  // Appends an entry as some other program might, then makes another table
  // current again.
  void AddEntry(DateTime date, const std::string& text) {
    ASSERT_TRUE(store_.SelectTable("rz35"));
    ASSERT_TRUE(store_.AddRecord({Value(date), Value(text)}));
    ASSERT_TRUE(store_.SelectTable("other"));
  }

  // Every slot of rz35 as "date text|diary text", deleted ones included.
  std::vector<std::string> Diary() {
    std::vector<std::string> out;
    EXPECT_TRUE(store_.SelectTable("rz35"));
    const int32_t n = store_.RecordCount();
    for (int32_t k = 1; k <= n; ++k) {
      store_.GoToRecord(k);
      out.push_back(DateToText(std::get<DateTime>(store_.ReadField("日期"_gbk))) + "|" +
                    std::get<std::string>(store_.ReadField("日志"_gbk)));
    }
    EXPECT_TRUE(store_.SelectTable("other"));
    return out;
  }

  std::string Line(DateTime date, const std::string& text) { return DateToText(date) + "|" + text; }

  // What the user interface does on a day click: show the loaded text, whose
  // content-changed event saves it right back.
  std::string SelectDay(DateTime day) {
    const std::string shown = LoadDayDiary(store_, day);
    SaveDayDiary(store_, day, shown);
    return shown;
  }

  // What typing does: one save per character, each a GBK character long.
  void Type(DateTime day, const std::string& text) {
    for (size_t n = 0; n < text.size();) {
      n += static_cast<unsigned char>(text[n]) >= 0x80 ? 2 : 1;
      ASSERT_TRUE(SaveDayDiary(store_, day, text.substr(0, n)));
    }
  }

  test::TempDir dir_;
  FaultFileSystem fs_;
  test::ScopedFileSystem use_fs_{&fs_};
  RecordStore store_;
};

TEST_F(TodayPageTest, FirstCharacterAddsTheEntryAtMidnight) {
  const DateTime day = Selected(2013, 5, 1);
  EXPECT_EQ(LoadDayDiary(store_, day), "");
  ASSERT_TRUE(SaveDayDiary(store_, day, "a"));
  EXPECT_EQ(Diary(), std::vector<std::string>{Line(Day(2013, 5, 1), "a")});
  // On disk: the first record id of a fresh rz35 and the day's midnight.
  const std::string bytes = test::ReadFileBytes(dir_.Path("rz35.edb"));
  ASSERT_EQ(bytes.size(), kDiaryHeader + kDiaryRecord);
  const auto* rec = reinterpret_cast<const uint8_t*>(bytes.data()) + kDiaryHeader;
  EXPECT_EQ(store::GetI32(rec), 209);
  EXPECT_EQ(store::GetF64(rec + 4), Day(2013, 5, 1).value);
  EXPECT_EQ(store::GetF64(rec + 4), TextToDate(DateText(day)).value);

  // Later characters rewrite the same record.
  Type(day, "ab今天晴"_gbk);
  EXPECT_EQ(Diary(), std::vector<std::string>{Line(Day(2013, 5, 1), "ab今天晴"_gbk)});
  EXPECT_EQ(LoadDayDiary(store_, day), "ab今天晴"_gbk);
  EXPECT_EQ(store_.CurrentTableName(), "rz35");
}

TEST_F(TodayPageTest, TypingGoesToTheSelectedDayOnly) {
  AddEntry(Day(2013, 4, 30), "前一天"_gbk);
  AddEntry(Day(2013, 5, 2), "后一天"_gbk);
  Type(Selected(2013, 5, 1), "当天"_gbk);
  EXPECT_EQ(Diary(), (std::vector<std::string>{Line(Day(2013, 4, 30), "前一天"_gbk),
                                               Line(Day(2013, 5, 2), "后一天"_gbk),
                                               Line(Day(2013, 5, 1), "当天"_gbk)}));
  EXPECT_EQ(LoadDayDiary(store_, Selected(2013, 4, 30)), "前一天"_gbk);
  EXPECT_EQ(LoadDayDiary(store_, Day(2013, 5, 2)), "后一天"_gbk);
  // The other table was never written.
  ASSERT_TRUE(store_.SelectTable("other"));
  EXPECT_EQ(store_.RecordCount(), 1);
  EXPECT_EQ(std::get<int32_t>(store_.ReadField("bw")), 5);
}

TEST_F(TodayPageTest, ClearingDeletesAndPacks) {
  AddEntry(Day(2013, 4, 30), "留下"_gbk);
  const DateTime day = Selected(2013, 5, 1);
  Type(day, "abc");
  ASSERT_EQ(Diary().size(), 2u);
  ASSERT_TRUE(SaveDayDiary(store_, day, "ab"));
  ASSERT_TRUE(SaveDayDiary(store_, day, "a"));
  ASSERT_TRUE(SaveDayDiary(store_, day, ""));
  // Packed: no deleted slot is left, the file ends after the one record.
  EXPECT_EQ(Diary(), std::vector<std::string>{Line(Day(2013, 4, 30), "留下"_gbk)});
  EXPECT_EQ(test::ReadFileBytes(dir_.Path("rz35.edb")).size(), kDiaryHeader + kDiaryRecord);
  EXPECT_EQ(SelectDay(day), "");
  // An empty box on a day without entry stores nothing.
  ASSERT_TRUE(SaveDayDiary(store_, day, ""));
  EXPECT_EQ(Diary().size(), 1u);
  // Typing again makes a new entry.
  Type(day, "x");
  EXPECT_EQ(LoadDayDiary(store_, day), "x");
}

TEST_F(TodayPageTest, EntryWithATimeOfDayIsShownAndKept) {
  const DateTime stored = Day(2013, 5, 1, 15, 30);
  AddEntry(stored, "下午写的"_gbk);
  const DateTime day = Selected(2013, 5, 1);
  // Shown by the rule that saving uses; the day click saves it back as it is.
  EXPECT_EQ(SelectDay(day), "下午写的"_gbk);
  EXPECT_EQ(Diary(), std::vector<std::string>{Line(stored, "下午写的"_gbk)});
  // Typing edits that entry: no text lost, no second entry, its date kept.
  ASSERT_TRUE(SaveDayDiary(store_, day, "下午写的，晚上补充"_gbk));
  EXPECT_EQ(Diary(), std::vector<std::string>{Line(stored, "下午写的，晚上补充"_gbk)});
  EXPECT_EQ(LoadDayDiary(store_, Day(2013, 5, 1)), "下午写的，晚上补充"_gbk);
}

TEST_F(TodayPageTest, FirstEntryOfTheDayInRecordOrderWins) {
  AddEntry(Day(2013, 5, 1, 8), "早"_gbk);
  AddEntry(Day(2013, 5, 1), "零点"_gbk);
  EXPECT_EQ(LoadDayDiary(store_, Selected(2013, 5, 1)), "早"_gbk);
  ASSERT_TRUE(SaveDayDiary(store_, Selected(2013, 5, 1), "早上"_gbk));
  EXPECT_EQ(Diary(), (std::vector<std::string>{Line(Day(2013, 5, 1, 8), "早上"_gbk),
                                               Line(Day(2013, 5, 1), "零点"_gbk)}));
  // Clearing removes the first; the second then becomes the day's entry.
  ASSERT_TRUE(SaveDayDiary(store_, Selected(2013, 5, 1), ""));
  EXPECT_EQ(LoadDayDiary(store_, Selected(2013, 5, 1)), "零点"_gbk);
}

TEST_F(TodayPageTest, AnEntryLeftDeletedByAFailedPackIsNoLongerTheDays) {
  AddEntry(Day(2013, 5, 1), "已删"_gbk);
  ASSERT_TRUE(store_.SelectTable("rz35"));
  store_.GoFirst();
  ASSERT_TRUE(store_.DeleteRecord());  // marked, not packed
  EXPECT_EQ(LoadDayDiary(store_, Selected(2013, 5, 1)), "");
  // Typing makes a new entry instead of writing into the deleted one.
  ASSERT_TRUE(SaveDayDiary(store_, Selected(2013, 5, 1), "新"_gbk));
  ASSERT_TRUE(store_.SelectTable("rz35"));
  ASSERT_EQ(store_.RecordCount(), 2);
  store_.GoFirst();
  EXPECT_TRUE(store_.IsDeleted());
  EXPECT_EQ(std::get<std::string>(store_.ReadField("日志"_gbk)), "已删"_gbk);
  store_.Skip();
  EXPECT_FALSE(store_.IsDeleted());
  EXPECT_EQ(LoadDayDiary(store_, Selected(2013, 5, 1)), "新"_gbk);
}

TEST_F(TodayPageTest, SelectingADayRewritesIdenticalText) {
  std::string text;
  for (int i = 0; i < 120; ++i) text += "一千字节的日记"_gbk;  // 1,680 bytes, 4 blocks
  AddEntry(Day(2013, 5, 1), text);
  AddEntry(Day(2013, 5, 2), "别的日子"_gbk);
  const std::vector<std::string> before = Diary();
  const uint64_t writes = fs_.Calls(FsOp::kWrite);
  EXPECT_EQ(SelectDay(Selected(2013, 5, 1)), text);
  EXPECT_GT(fs_.Calls(FsOp::kWrite), writes);  // it was written again ...
  EXPECT_EQ(Diary(), before);                   // ... with the same text
  ASSERT_TRUE(store_.SelectTable("rz35"));
  std::vector<std::string> problems;
  EXPECT_EQ(store::CheckCurrentTable(store_, &problems), 0);
  EXPECT_EQ(problems, std::vector<std::string>{});
}

TEST_F(TodayPageTest, AnEntryOfEmptyTextIsRemovedWhenShown) {
  // Never written by the organiser; a day click then clears it away.
  AddEntry(Day(2013, 5, 1), "");
  EXPECT_EQ(SelectDay(Selected(2013, 5, 1)), "");
  EXPECT_TRUE(Diary().empty());
}

TEST_F(TodayPageTest, FailedWriteKeepsTheTableAndTheNextChangeRetries) {
  const DateTime day = Selected(2013, 5, 1);
  Type(day, "ab");
  fs_.FailFrom(FsOp::kWrite, 1, ENOSPC);
  EXPECT_FALSE(SaveDayDiary(store_, day, "abc"));
  fs_.ClearFaults();
  EXPECT_EQ(LoadDayDiary(store_, day), "ab");
  ASSERT_TRUE(SaveDayDiary(store_, day, "abcd"));
  EXPECT_EQ(Diary(), std::vector<std::string>{Line(Day(2013, 5, 1), "abcd")});
}

TEST_F(TodayPageTest, FailedSearchAddsNoSecondEntry) {
  const DateTime day = Selected(2013, 5, 1);
  Type(day, "ab");
  // The search cannot read rz35: the entry may be there, so none is added.
  // Its first read is the header's record count, the second the records.
  fs_.FailNth(FsOp::kRead, 2, EIO);
  EXPECT_FALSE(SaveDayDiary(store_, day, "abc"));
  EXPECT_EQ(fs_.Injected(), 1u);
  fs_.ClearFaults();
  ASSERT_TRUE(SaveDayDiary(store_, day, "abcd"));
  EXPECT_EQ(Diary(), std::vector<std::string>{Line(Day(2013, 5, 1), "abcd")});
}

TEST_F(TodayPageTest, WithoutTheDiaryTableNothingIsTouched) {
  store_.CloseTable("rz35");
  EXPECT_EQ(LoadDayDiary(store_, Selected(2013, 5, 1)), "");
  EXPECT_FALSE(SaveDayDiary(store_, Selected(2013, 5, 1), "x"));
  EXPECT_EQ(store_.CurrentTableName(), "other");
  EXPECT_EQ(store_.RecordCount(), 1);
}

// ---- memo ---------------------------------------------------------------------

int32_t MemoCount(RecordStore& s) {
  EXPECT_TRUE(s.SelectTable("bw35"));
  const int32_t n = s.RecordCount();
  EXPECT_TRUE(s.SelectTable("other"));
  return n;
}

TEST_F(TodayPageTest, FirstMemoVisitCreatesOneEmptyRecord) {
  // The page comes up: the box shows what LoadMemo gives, and setting it
  // saves it back.
  const std::string shown = LoadMemo(store_);
  EXPECT_EQ(shown, "");
  EXPECT_EQ(MemoCount(store_), 0);
  ASSERT_TRUE(SaveMemo(store_, shown));
  EXPECT_EQ(MemoCount(store_), 1);
  ASSERT_TRUE(store_.SelectTable("bw35"));
  EXPECT_EQ(std::get<std::string>(store_.ReadField("bw")), "");
  const std::string bytes = test::ReadFileBytes(dir_.Path("bw35.edb"));
  ASSERT_EQ(bytes.size(), 116u + 72u + 8u);
  EXPECT_EQ(store::GetI32(reinterpret_cast<const uint8_t*>(bytes.data()) + 188), 7);
  // A second visit adds nothing.
  ASSERT_TRUE(SaveMemo(store_, LoadMemo(store_)));
  EXPECT_EQ(MemoCount(store_), 1);
}

TEST_F(TodayPageTest, MemoIsWrittenOnEveryChangeAndNeverDeleted) {
  ASSERT_TRUE(store_.SelectTable("other"));
  ASSERT_TRUE(SaveMemo(store_, "买"_gbk));
  ASSERT_TRUE(SaveMemo(store_, "买牛奶"_gbk));
  EXPECT_EQ(MemoCount(store_), 1);
  EXPECT_EQ(LoadMemo(store_), "买牛奶"_gbk);
  ASSERT_TRUE(SaveMemo(store_, ""));
  EXPECT_EQ(MemoCount(store_), 1);
  EXPECT_EQ(LoadMemo(store_), "");
  // Only the first record is the note.
  ASSERT_TRUE(store_.SelectTable("bw35"));
  ASSERT_TRUE(store_.AddRecord({Value(std::string("second"))}));
  ASSERT_TRUE(SaveMemo(store_, "first"));
  EXPECT_EQ(LoadMemo(store_), "first");
  ASSERT_TRUE(store_.GoToRecord(2));
  EXPECT_EQ(std::get<std::string>(store_.ReadField("bw")), "second");
}

// ---- the day rule ---------------------------------------------------------------

// SameDay compares DateOnly values where the handlers used to compare date
// texts; the rows name values where the two could part.
TEST(SameDayTest, AgreesWithTheDateTexts) {
  const struct {
    const char* name;
    DateTime stored, selected;
    bool same;
  } cases[] = {
      {"midnight, selected at 23:59:59", Day(2013, 5, 1), Selected(2013, 5, 1), true},
      {"afternoon entry", Day(2013, 5, 1, 15, 30), Selected(2013, 5, 1), true},
      {"day before", Day(2013, 4, 30), Selected(2013, 5, 1), false},
      {"day after", Day(2013, 5, 2), Selected(2013, 5, 1), false},
      {"23:59:59.6 is the next day", DateTime(Day(2013, 5, 1).value + 1 - 0.4 / 86400),
       Selected(2013, 5, 2), true},
      {"23:59:59.4 is still the day", DateTime(Day(2013, 5, 1).value + 1 - 0.6 / 86400),
       Selected(2013, 5, 1), true},
      {"zero and minus zero", DateTime(0.0), DateTime(-0.0), true},
      {"-0.25 is 30 December", DateTime(-0.25), DateTime(0.75), true},
      {"-1.25 is 29 December", DateTime(-1.25), DateTime(-1.0), true},
      {"-1.25 is not 30 December", DateTime(-1.25), DateTime(0.0), false},
      {"-1.9999999 rounds to 30 December", DateTime(-1.9999999), DateTime(0.5), true},
      {"NaN reads as the first day", DateTime(std::nan("")), Day(100, 1, 1), true},
      {"past the last day", DateTime(kMaxDateTime + 5), Day(9999, 12, 31), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameDay(c.stored, c.selected), c.same) << c.name;
    EXPECT_EQ(DateText(c.stored) == DateText(c.selected), c.same) << c.name;
  }
}

// The proof that the number comparison is the text comparison for every
// value a "日期"_gbk field can hand over (ReadField clamps into the range):
//  (a) the date text of any x is the date text of DateOnly(x), and
//  (b) distinct midnights of the range have distinct date texts, since each
//      text reads back as its own midnight.
// Then text(x) == text(y) <=> DateOnly(x) == DateOnly(y). (b) also shows that
// a new entry's date, DateOnly(day), is TextToDate(DateToText(day, kDate)).
TEST(SameDayTest, SweepOfTheWholeRange) {
  const int64_t first = static_cast<int64_t>(kMinDateTime);
  const int64_t last = static_cast<int64_t>(kMaxDateTime);
  // Times of day where rounding to whole seconds could change the day; the
  // steps of 1e-8 stay well above the spacing of doubles near 3e6 (5e-10).
  const double kHalf = 0.5 / 86400;
  const double fractions[] = {0.5, 1 - kHalf - 1e-8, 1 - kHalf + 1e-8, 1 - 1e-8};
  int64_t checked = 0;
  std::string text = DateText(DateTime(static_cast<double>(first)));
  for (int64_t k = first; k <= last; ++k) {
    const DateTime midnight(static_cast<double>(k));
    const std::string next = DateText(DateTime(static_cast<double>(k + 1)));
    ASSERT_EQ(DateOnly(midnight).value, midnight.value) << k;
    ASSERT_EQ(TextToDate(text).value, midnight.value) << k;
    // Day k covers [k, k + 1) on the linear scale: k + f above zero, k - f
    // below it, and day 0 both. Rounding to whole seconds may carry into
    // day k + 1 (or clamp back to k at the last day).
    for (double f : fractions) {
      const double xs[2] = {k >= 0 ? static_cast<double>(k) + f : static_cast<double>(k) - f, -f};
      for (int i = 0; i < (k == 0 ? 2 : 1); ++i) {
        const double x = xs[i];
        const double only = DateOnly(DateTime(x)).value;
        ASSERT_TRUE(only == midnight.value || only == midnight.value + 1) << std::setprecision(17) << x;
        ASSERT_EQ(DateText(DateTime(x)), only == midnight.value ? text : next) << x;
        ++checked;
      }
    }
    text = next;
  }
  // Any other stored values, drawn over the range.
  std::mt19937_64 rng(20130501);
  std::uniform_real_distribution<double> any(kMinDateTime - 10, kMaxDateTime + 10);
  for (int i = 0; i < 200000; ++i) {
    const DateTime x(any(rng));
    ASSERT_EQ(DateText(x), DateText(DateOnly(x))) << x.value;
  }
  EXPECT_GT(checked, 4 * 3600000);
}

}  // namespace
}  // namespace tarvok::today
