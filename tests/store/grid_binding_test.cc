// Record files bound to grids, without Qt: the provider's table and its
// cells as text, and a data source's rows, current row, edits and removals.
#include "store/grid_binding.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <limits>

#include "store/check.h"
#include "store/table.h"
#include "tests/store/store_util.h"
#include "tests/support/fault_fs.h"

namespace tarvok::test {
namespace {

using store::DatabaseProvider;
using store::DataSource;
using store::DataSourceObserver;
using store::EditOutcome;
using store::LastError;
using store::Value;

// What a data source reported, one line per call.
class Recorder : public DataSourceObserver {
 public:
  void SourceReset() override { events.push_back("reset"); }
  void RowsInserted(int32_t first, int32_t count) override { Add("insert", first, count); }
  void RowsRemoved(int32_t first, int32_t count) override { Add("remove", first, count); }
  void CellChanged(int32_t row, int column) override { Add("cell", row, column); }
  void CurrentRowChanged(int32_t row) override { events.push_back("current " + std::to_string(row)); }
  void ColumnWidthsChanged() override { events.push_back("widths"); }
  void SourceDestroyed() override { events.push_back("gone"); }

  std::vector<std::string> Take() { return std::exchange(events, {}); }
  std::vector<std::string> events;

 private:
  void Add(const char* what, int32_t a, int32_t b) {
    events.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b));
  }
};

// Record ids of every slot, read from the file: negative ones are marks.
std::vector<int32_t> Ids(RecordStore& s) {
  std::vector<int32_t> ids;
  store::RecordTable* t = s.current();
  const int32_t n = s.RecordCount();
  for (int32_t k = 0; k < n; ++k) {
    uint8_t b[4] = {};
    EXPECT_EQ(t->table.ReadExact(t->RecordOffset(k), b, 4, -62), 0);
    ids.push_back(store::GetI32(b));
  }
  return ids;
}

std::vector<std::string> CheckProblems(const std::string& path) {
  std::vector<std::string> problems;
  EXPECT_EQ(store::CheckTable(path, "", &problems), 0);
  return problems;
}

// A diary of five days, "n" numbering them and a memo long enough for a
// chain of two blocks each.
class DiaryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.GbkPath("rz.edb");
    MakeTable(path_, {{"n", FieldType::kInt32, 0, 0}, {"m", FieldType::kMemo, 0, 0}});
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    for (int32_t i = 1; i <= 5; ++i) ASSERT_TRUE(s.AddRecord({i, std::string(600, char('a' + i))}));
  }
  // The "n" of every record, as a fresh store reads them.
  std::vector<std::string> Numbers() {
    RecordStore s;
    EXPECT_TRUE(s.OpenTable(path_));
    std::vector<std::string> out;
    for (const auto& line : Snapshot(s)) out.push_back(line.substr(0, line.find('|', 1)));
    return out;
  }
  void Connect(DataSource* source) {
    ASSERT_TRUE(provider_.SetFile(path_));
    source->SetProvider(&provider_);
    source->AddObserver(&events_);
    events_.Take();
  }

  TempDir dir_;
  std::string path_;
  DatabaseProvider provider_;
  Recorder events_;
};

TEST(DefaultColumnChars, ByTypeRaisedToTheNameButNotBeyondAHundred) {
  struct Case {
    FieldType type;
    uint32_t width;
    std::string name;
    int chars;
  } cases[] = {
      {FieldType::kByte, 0, "b", 4},          {FieldType::kInt16, 0, "a", 7},
      {FieldType::kInt32, 0, "a", 11},        {FieldType::kInt64, 0, "a", 16},
      {FieldType::kFloat32, 0, "a", 10},      {FieldType::kFloat64, 0, "a", 16},
      {FieldType::kLogical, 0, "a", 3},       {FieldType::kDateTime, 0, "a", 26},
      {FieldType::kCodeRef, 0, "a", 4},       {FieldType::kText, 30, "a", 30},
      {FieldType::kText, 300, "a", 300},      {FieldType::kBytes, 0, "a", 4},
      {FieldType::kMemo, 0, "a", 40},
      // The name in GBK bytes, plus one.
      {FieldType::kLogical, 0, "是否提醒"_gbk, 9}, {FieldType::kInt16, 0, "abcdef", 7},
      {FieldType::kInt16, 0, "abcdefg", 8},    {FieldType::kInt16, 0, std::string(150, 'x'), 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << store::FieldTypeName(c.type) << " " << GbkToUtf8(c.name));
    EXPECT_EQ(store::DefaultColumnChars({c.name, c.type, 0, c.width}), c.chars);
  }
}

// One field of each type, and one record whose CodeRef holds 7.
class EveryTypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.GbkPath("all.edb");
    MakeTable(path_, {{"b", FieldType::kByte, 0, 0},      {"i16", FieldType::kInt16, 0, 0},
                      {"i32", FieldType::kInt32, 0, 0},   {"i64", FieldType::kInt64, 0, 0},
                      {"f32", FieldType::kFloat32, 0, 0}, {"f64", FieldType::kFloat64, 0, 0},
                      {"l", FieldType::kLogical, 0, 0},   {"d", FieldType::kDateTime, 0, 0},
                      {"c", FieldType::kCodeRef, 0, 0},   {"t", FieldType::kText, 0, 5},
                      {"x", FieldType::kBytes, 0, 0},     {"m", FieldType::kMemo, 0, 0}});
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    ASSERT_TRUE(s.AddRecord({std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                             std::nullopt, std::nullopt, std::nullopt, store::CodeRef{7}}));
  }
  int Column(const std::string& name) {
    const auto& cols = provider_.columns();
    for (size_t k = 0; k < cols.size(); ++k)
      if (cols[k].desc.name == name) return static_cast<int>(k);
    return -1;
  }
  Value Stored(const std::string& name) {
    RecordStore s;
    EXPECT_TRUE(s.OpenTable(path_));
    return s.ReadField(name);
  }

  TempDir dir_;
  std::string path_;
  DatabaseProvider provider_;
};

TEST_F(EveryTypeTest, BytesFieldsHaveAColumnOnlyInModesOneAndTwo) {
  ASSERT_TRUE(provider_.SetFile(path_));
  auto names = [&] {
    std::string all;
    for (const auto& c : provider_.columns()) all += c.desc.name + ",";
    return all;
  };
  EXPECT_EQ(names(), "b,i16,i32,i64,f32,f64,l,d,c,t,m,");
  EXPECT_EQ(provider_.columns()[10].field, 12);
  provider_.SetBytesMode(1);
  EXPECT_EQ(names(), "b,i16,i32,i64,f32,f64,l,d,c,t,x,m,");
  provider_.SetBytesMode(7);
  EXPECT_EQ(provider_.bytes_mode(), 0);
  EXPECT_EQ(names(), "b,i16,i32,i64,f32,f64,l,d,c,t,m,");
  EXPECT_EQ(provider_.columns()[9].default_chars, 5);
}

TEST_F(EveryTypeTest, CellsReadAndWriteByFieldType) {
  ASSERT_TRUE(provider_.SetFile(path_));
  DataSource source;
  source.SetProvider(&provider_);
  source.SetReadOnly(false);
  constexpr float kF32Max = std::numeric_limits<float>::max();
  constexpr double kF64Max = std::numeric_limits<double>::max();
  constexpr int64_t kI64Min = std::numeric_limits<int64_t>::min();
  struct Case {
    const char* field;
    int mode;
    std::string typed;
    bool accepted;
    std::string shown;
    Value stored;
  } cases[] = {
      {"b", 1, "  +42abc", true, "42", uint8_t{42}},
      {"b", 1, "300", true, "255", uint8_t{255}},
      {"b", 1, "-5", true, "0", uint8_t{0}},
      {"i16", 1, "abc", true, "0", int16_t{0}},
      {"i16", 1, "-32769", true, "-32768", int16_t{-32768}},
      {"i16", 1, "12.9", true, "12", int16_t{12}},
      {"i32", 1, "99999999999", true, "2147483647", int32_t{2147483647}},
      {"i32", 1, "－７"_gbk, true, "-7", int32_t{-7}},  // full-width forms
      {"i64", 1, "123456789012345", true, "123456789012345", int64_t{123456789012345}},
      {"i64", 1, "-9223372036854775809", true, "-9223372036854775808", kI64Min},
      {"f32", 1, "3.14159265", true, "3.14159", 3.14159265f},
      {"f32", 1, "1.5e3x", true, "1500", 1500.0f},
      {"f32", 1, "1e39", true, "3.40282e+38", kF32Max},
      {"f64", 1, "0.333333333333333314829616256247", true, "0.3333333333333", 1.0 / 3},
      {"f64", 1, "1e400", true, "1.797693134862e+308", kF64Max},
      {"f64", 1, "-2.5", true, "-2.5", -2.5},
      {"l", 1, "TRUE", true, "真"_gbk, true},
      {"l", 1, "假"_gbk, true, "假"_gbk, false},
      {"l", 1, "zhen", true, "真"_gbk, true},
      {"l", 1, "no", true, "假"_gbk, false},
      {"l", 1, "1", true, "真"_gbk, true},
      {"l", 1, " t", true, "假"_gbk, false},
      {"l", 1, "Zeng", true, "真"_gbk, true},
      {"l", 1, "真"_gbk, true, "真"_gbk, true},
      {"d", 1, "2013-5-1 8:30", true, "2013年5月1日8时30分"_gbk, MakeDate(2013, 5, 1, 8, 30)},
      {"d", 1, "明天"_gbk, true, "", DateTime(-657434)},
      {"d", 1, "2013年2月30日"_gbk, true, "", DateTime(-657434)},
      {"t", 1, "abcdefg", true, "abcde", std::string("abcde")},
      {"t", 1, "日志日志"_gbk, true, "日志"_gbk, "日志"_gbk},  // never half a character
      {"m", 1, std::string(1200, 'm'), true, std::string(1200, 'm'), std::string(1200, 'm')},
      {"x", 1, " 41 42 0a", true, "41420A", store::ByteString{"AB\n"}},
      {"x", 1, "414", false, "41420A", store::ByteString{"AB\n"}},
      {"x", 1, "4G", false, "41420A", store::ByteString{"AB\n"}},
      {"x", 2, "\x01\xff", true, "\x01\xff", store::ByteString{"\x01\xff"}},
      {"x", 1, "", true, "", store::ByteString{}},
      {"c", 1, "9", false, "", store::CodeRef{7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.field << " <- " << GbkToUtf8(c.typed));
    provider_.SetBytesMode(c.mode);
    const int column = Column(c.field);
    ASSERT_GE(column, 0);
    EXPECT_EQ(source.SetCellText(0, column, c.typed), c.accepted);
    EXPECT_EQ(source.CellText(0, column), c.shown);
    EXPECT_EQ(Stored(c.field), c.stored);
  }
}

TEST_F(EveryTypeTest, TypingTheShownTextWritesNothing) {
  {
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    ASSERT_TRUE(s.WriteField("f64", 0.1 + 0.2));
    ASSERT_TRUE(s.WriteField("d", DateTime(41395.123456)));
  }
  ASSERT_TRUE(provider_.SetFile(path_));
  Recorder events;
  DataSource source;
  source.SetProvider(&provider_);
  source.SetReadOnly(false);
  source.AddObserver(&events);
  EXPECT_EQ(source.CellText(0, Column("f64")), "0.3");
  EXPECT_TRUE(source.SetCellText(0, Column("f64"), "0.3"));
  EXPECT_TRUE(source.SetCellText(0, Column("d"), source.CellText(0, Column("d"))));
  EXPECT_EQ(Stored("f64"), Value(0.1 + 0.2));
  EXPECT_EQ(std::get<DateTime>(Stored("d")).value, 41395.123456);
  EXPECT_EQ(events.Take(), std::vector<std::string>{});
  EXPECT_TRUE(source.SetCellText(0, Column("f64"), "0.25"));
  EXPECT_EQ(events.Take(), std::vector<std::string>{"cell 0 5"});
}

TEST_F(EveryTypeTest, TheSmallestDateIsAnEmptyCell) {
  {
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    ASSERT_TRUE(s.WriteField("d", DateTime(kMinDateTime)));
    ASSERT_TRUE(s.AddRecord({std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                             std::nullopt, std::nullopt, DateTime(kMinDateTime + 1)}));
  }
  ASSERT_TRUE(provider_.SetFile(path_));
  EXPECT_EQ(provider_.CellText(0, Column("d")), "");
  EXPECT_EQ(provider_.CellText(1, Column("d")), "100年1月2日"_gbk);
}

TEST_F(DiaryFixture, AProtectedFileShowsRowsOnceThePasswordIsSet) {
  {
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    ASSERT_TRUE(s.SetPassword("密码"_gbk));
  }
  int prompts = 0;
  store::SetPasswordPromptHook([&](int, const std::string&) {
    ++prompts;
    return std::optional<std::string>("密码"_gbk);
  });
  DataSource source;
  source.SetProvider(&provider_);
  source.AddObserver(&events_);

  EXPECT_FALSE(provider_.SetFile(path_));
  EXPECT_EQ(provider_.last_error(), -78);
  EXPECT_EQ(provider_.RowCount(), 0);
  EXPECT_EQ(source.row_count(), 0);
  EXPECT_EQ(source.column_count(), 0);
  // "?" is no request to ask: nobody is prompted and nothing opens.
  EXPECT_FALSE(provider_.SetPassword("?"));
  EXPECT_EQ(provider_.last_error(), -80);
  EXPECT_EQ(prompts, 0);

  EXPECT_TRUE(provider_.SetPassword("密码"_gbk));
  EXPECT_EQ(source.row_count(), 5);
  EXPECT_EQ(source.CellText(4, 0), "5");
  EXPECT_EQ(events_.Take(), (std::vector<std::string>{"reset", "reset", "reset"}));
  store::SetPasswordPromptHook(nullptr);

  // A file that is not there, and no file at all, keep no table either.
  EXPECT_FALSE(provider_.SetFile(dir_.GbkPath("none.edb")));
  EXPECT_EQ(provider_.last_error(), -3);
  EXPECT_FALSE(provider_.SetFile(""));
  EXPECT_EQ(provider_.last_error(), 0);
  EXPECT_EQ(source.row_count(), 0);
  EXPECT_EQ(source.CellText(0, 0), "");
}

TEST_F(DiaryFixture, TheTableStaysOutOfTheOrganisersStoreAndSettingTheFileAgainReloads) {
  RecordStore organiser;
  ASSERT_TRUE(organiser.OpenTable(path_));
  ASSERT_TRUE(organiser.GoToRecord(4));
  DataSource source;
  Connect(&source);
  EXPECT_EQ(source.row_count(), 5);
  EXPECT_EQ(source.CellText(0, 0), "1");

  ASSERT_TRUE(organiser.AddRecord({int32_t{6}}));
  ASSERT_TRUE(organiser.GoToRecord(2));
  store::SetLastError(-25);
  EXPECT_EQ(source.CellText(5, 0), "") << "rows stay as read at the reload";
  EXPECT_EQ(source.row_count(), 5);
  EXPECT_EQ(LastError(), -25) << "the caller's error is kept";

  ASSERT_TRUE(provider_.SetFile(path_));
  EXPECT_EQ(source.row_count(), 6);
  EXPECT_EQ(source.CellText(5, 0), "6");
  EXPECT_EQ(events_.Take(), std::vector<std::string>{"reset"});
  EXPECT_EQ(organiser.CurrentRecordNumber(), 2);
  EXPECT_EQ(organiser.CurrentTableName(), "rz");
  EXPECT_EQ(std::get<int32_t>(organiser.ReadField("n")), 2);
}

TEST_F(DiaryFixture, NavigationClampsAndReportsOnlyChanges) {
  DataSource source;
  Connect(&source);
  struct Step {
    bool (DataSource::*command)();
    const char* name;
    int32_t current;
    bool reported;
  } steps[] = {
      {&DataSource::Previous, "previous at the first", 0, false},
      {&DataSource::Next, "next", 1, true},
      {&DataSource::Last, "last", 4, true},
      {&DataSource::Next, "next at the last", 4, false},
      {&DataSource::Last, "last again", 4, false},
      {&DataSource::Previous, "previous", 3, true},
      {&DataSource::First, "first", 0, true},
      {&DataSource::First, "first again", 0, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ((source.*s.command)(), s.reported);
    EXPECT_EQ(source.current_row(), s.current);
    EXPECT_EQ(events_.Take(), s.reported ? std::vector<std::string>{"current " + std::to_string(s.current)}
                                         : std::vector<std::string>{});
  }
  EXPECT_TRUE(source.MoveTo(99));
  EXPECT_EQ(source.current_row(), 4);
  EXPECT_TRUE(source.MoveTo(-3));
  EXPECT_EQ(source.current_row(), 0);

  source.SetProvider(nullptr);
  EXPECT_FALSE(source.Last());
  EXPECT_FALSE(source.Next());
  EXPECT_EQ(source.current_row(), 0);
}

TEST_F(DiaryFixture, AReadOnlySourceOrOneWithoutPermissionChangesNothing) {
  DataSource source;
  Connect(&source);
  const auto before = Numbers();
  EXPECT_FALSE(source.CellEditable(0));
  EXPECT_FALSE(source.SetCellText(0, 0, "77"));
  source.SetInsertAllowed(true);
  source.SetDeleteAllowed(true);
  EXPECT_EQ(source.Insert(), EditOutcome::kNotAllowed);
  EXPECT_EQ(source.Delete(), EditOutcome::kNotAllowed);
  source.SetReadOnly(false);
  source.SetInsertAllowed(false);
  source.SetDeleteAllowed(false);
  EXPECT_EQ(source.Insert(), EditOutcome::kNotAllowed);
  EXPECT_EQ(source.Delete(), EditOutcome::kNotAllowed);
  EXPECT_EQ(Numbers(), before);
  EXPECT_EQ(source.row_count(), 5);
  EXPECT_EQ(events_.Take(), std::vector<std::string>{});
  // Cells beyond the rows or columns exist nowhere.
  EXPECT_FALSE(source.SetCellText(5, 0, "1"));
  EXPECT_FALSE(source.SetCellText(0, 2, "1"));
  EXPECT_EQ(Numbers(), before);
}

TEST_F(DiaryFixture, DeletingRemovesTheRecordAtOnceAndKeepsTheCurrentIndex) {
  Recorder other_events;
  DataSource source, other;
  Connect(&source);
  other.SetProvider(&provider_);
  other.AddObserver(&other_events);
  other.MoveTo(4);
  other_events.Take();
  source.SetReadOnly(false);
  source.SetDeleteAllowed(true);
  source.MoveTo(2);
  ASSERT_TRUE(source.SetCellColour(3, 1, 0x12345678));
  events_.Take();

  EXPECT_EQ(source.Delete(), EditOutcome::kDone);
  EXPECT_EQ(Numbers(), (std::vector<std::string>{"|1", "|2", "|4", "|5"}));
  EXPECT_EQ(CheckProblems(path_), std::vector<std::string>{});
  {
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    for (int32_t id : Ids(s)) EXPECT_GT(id, 0) << "no deletion mark stays";
  }
  EXPECT_EQ(source.current_row(), 2);
  EXPECT_EQ(source.CellText(2, 0), "4");
  EXPECT_EQ(events_.Take(), (std::vector<std::string>{"remove 2 1", "current 2"}));
  // The colour moved with its record; the other source keeps its record.
  EXPECT_EQ(source.CellColour(2, 1), 0x345678u);
  EXPECT_EQ(source.CellColour(3, 1), std::nullopt);
  EXPECT_EQ(other.row_count(), 4);
  EXPECT_EQ(other.current_row(), 3);
  EXPECT_EQ(other_events.Take(), (std::vector<std::string>{"remove 2 1", "current 3"}));

  source.Last();
  EXPECT_EQ(source.Delete(), EditOutcome::kDone);
  EXPECT_EQ(source.current_row(), 2) << "clamped to the rows left";
  EXPECT_EQ(Numbers(), (std::vector<std::string>{"|1", "|2", "|4"}));

  EXPECT_TRUE(provider_.DeleteRows(0, 2));
  EXPECT_EQ(Numbers(), std::vector<std::string>{"|4"});
  EXPECT_FALSE(provider_.DeleteRows(0, 2));
  EXPECT_FALSE(provider_.DeleteRows(-1, 1));
  EXPECT_EQ(Numbers(), std::vector<std::string>{"|4"});
  EXPECT_EQ(CheckProblems(path_), std::vector<std::string>{});
}

TEST_F(DiaryFixture, AFailedDeletionLeavesEveryRecordAsItWas) {
  const auto before = Numbers();
  const std::vector<std::string> removed = {"|1", "|4", "|5"};
  const std::string table = ReadFileBytes(dir_.Path("rz.edb"));
  const std::string memos = ReadFileBytes(dir_.Path("rz.edt"));
  bool undone = false, stood = false;
  for (uint64_t k = 1;; ++k) {
    SCOPED_TRACE(testing::Message() << "write " << k << " fails");
    ASSERT_LT(k, 200u);
    WriteFileBytes(dir_.Path("rz.edb"), table);
    WriteFileBytes(dir_.Path("rz.edt"), memos);
    bool ok = false, injected = false;
    {
      FaultFileSystem fs;
      ScopedFileSystem use(&fs);
      DatabaseProvider provider;
      ASSERT_TRUE(provider.SetFile(path_));
      fs.FailNth(FsOp::kWrite, k, ENOSPC);
      ok = provider.DeleteRows(1, 2);
      injected = fs.Injected() > 0;
      EXPECT_EQ(ok ? provider.RowCount() : 5, ok ? 3 : 5);
    }
    // Done or not done, never half: the records, their marks, the chains.
    EXPECT_EQ(Numbers(), ok ? removed : before);
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    for (int32_t id : Ids(s)) EXPECT_GT(id, 0);
    s.CloseAllTables();
    std::vector<std::string> problems, unused;
    ASSERT_EQ(store::CheckTable(path_, "", &problems, &unused), 0);
    EXPECT_EQ(problems, std::vector<std::string>{});
    if (!injected) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(unused, std::vector<std::string>{});
      break;
    }
    (ok ? stood : undone) = true;
  }
  // Failures before the records moved undo the marks; a failure freeing the
  // chains afterwards leaves the removal standing.
  EXPECT_TRUE(undone);
  EXPECT_TRUE(stood);
}

TEST_F(DiaryFixture, InsertingAppendsABlankRowAndMakesItCurrent) {
  Recorder other_events;
  DataSource source, other;
  Connect(&source);
  other.SetProvider(&provider_);
  other.AddObserver(&other_events);
  source.SetReadOnly(false);
  source.SetInsertAllowed(true);

  // Another opener's record comes into view with the new one.
  {
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    ASSERT_TRUE(s.AddRecord({int32_t{6}}));
  }
  other_events.Take();
  EXPECT_EQ(source.Insert(), EditOutcome::kDone);
  EXPECT_EQ(source.row_count(), 7);
  EXPECT_EQ(source.current_row(), 6);
  EXPECT_EQ(source.CellText(5, 0), "6");
  EXPECT_EQ(source.CellText(6, 0), "0");
  EXPECT_EQ(source.CellText(6, 1), "");
  EXPECT_EQ(events_.Take(), (std::vector<std::string>{"insert 5 2", "current 6"}));
  EXPECT_EQ(other.row_count(), 7);
  EXPECT_EQ(other_events.Take(), std::vector<std::string>{"insert 5 2"});
  EXPECT_TRUE(source.SetCellText(6, 0, "70"));
  EXPECT_EQ(other_events.Take(), std::vector<std::string>{"cell 6 0"});

  EXPECT_FALSE(provider_.AppendRows(3, 1)) << "only at the end";
  EXPECT_TRUE(provider_.AppendRows(7, 2));
  EXPECT_EQ(source.row_count(), 9);

  FaultFileSystem fs;
  ScopedFileSystem use(&fs);
  DatabaseProvider provider;
  ASSERT_TRUE(provider.SetFile(path_));
  DataSource failing;
  failing.SetProvider(&provider);
  failing.SetReadOnly(false);
  failing.SetInsertAllowed(true);
  fs.FailFrom(FsOp::kWrite, 1, ENOSPC);
  EXPECT_EQ(failing.Insert(), EditOutcome::kFailed);
  EXPECT_EQ(failing.row_count(), 9);
  EXPECT_EQ(provider.RowCount(), 9);
}

TEST_F(DiaryFixture, ColoursAndWidthsLastUntilTheNextReload) {
  DataSource source;
  Connect(&source);
  EXPECT_TRUE(source.SetCellColour(1, 0, 0xFF0000FF));
  EXPECT_FALSE(source.SetCellColour(5, 0, 1));
  EXPECT_FALSE(source.SetCellColour(0, 2, 1));
  EXPECT_EQ(source.CellColour(1, 0), 0xFFu);
  source.SetColumnWidths(2, 5, 80);  // only column 2 exists of these
  source.SetColumnWidths(0, 1, 10);  // column 0 does not
  source.SetColumnWidths(1, 1, -4);
  EXPECT_EQ(source.ColumnWidth(0), 0);
  EXPECT_EQ(source.ColumnWidth(1), 80);
  EXPECT_EQ(events_.Take(), (std::vector<std::string>{"cell 1 0", "widths", "widths"}));

  ASSERT_TRUE(provider_.SetFile(path_));
  EXPECT_EQ(source.CellColour(1, 0), std::nullopt);
  EXPECT_EQ(source.ColumnWidth(1), std::nullopt);
  EXPECT_EQ(source.current_row(), 0);
}

TEST_F(DiaryFixture, SourcesAndProvidersMayGoInEitherOrder) {
  auto provider = std::make_unique<DatabaseProvider>();
  ASSERT_TRUE(provider->SetFile(path_));
  auto source = std::make_unique<DataSource>();
  source->SetProvider(provider.get());
  source->AddObserver(&events_);
  provider.reset();
  EXPECT_EQ(source->provider(), nullptr);
  EXPECT_EQ(source->row_count(), 0);
  source.reset();
  EXPECT_EQ(events_.Take(), (std::vector<std::string>{"reset", "gone"}));

  DataSource kept;
  {
    DataSource gone;
    gone.SetProvider(&provider_);
    kept.SetProvider(&provider_);
  }
  ASSERT_TRUE(provider_.SetFile(path_));
  EXPECT_EQ(kept.row_count(), 5);
}

}  // namespace
}  // namespace tarvok::test
