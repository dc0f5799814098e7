// The table list, navigation, and reading, writing and adding records.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/store/store_util.h"

namespace tarvok::test {
namespace {

using store::LastError;

class AccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeTable(dir_.GbkPath("t.edb"), {{"n", FieldType::kInt32, 0, 0},
                                      {"f", FieldType::kFloat64, 0, 0},
                                      {"d", FieldType::kDateTime, 0, 0},
                                      {"s", FieldType::kText, 0, 100},
                                      {"b", FieldType::kByte, 0, 0},
                                      {"l", FieldType::kLogical, 0, 0},
                                      {"m", FieldType::kMemo, 0, 0},
                                      {"x", FieldType::kBytes, 0, 0}});
    ASSERT_TRUE(s_.OpenTable(dir_.GbkPath("t.edb")));
  }
  void AddFive() {
    for (int i = 1; i <= 5; ++i) ASSERT_TRUE(s_.AddRecord({int32_t(i)}));
  }
  int32_t N() { return std::get<int32_t>(s_.ReadField("n")); }

  TempDir dir_;
  RecordStore s_;
};

TEST_F(AccessTest, SkipStopsJustOutsideTheRecordsThenFails) {
  AddFive();
  s_.GoToRecord(5);
  EXPECT_TRUE(s_.Skip());
  EXPECT_EQ(s_.CurrentRecordNumber(), 6);
  EXPECT_FALSE(s_.Skip());
  EXPECT_EQ(LastError(), -26);
  EXPECT_EQ(s_.CurrentRecordNumber(), 6);
  s_.GoFirst();
  EXPECT_TRUE(s_.Skip(-1));
  EXPECT_EQ(s_.CurrentRecordNumber(), 0);
  EXPECT_FALSE(s_.Skip(-1));
  EXPECT_EQ(LastError(), -25);
  EXPECT_TRUE(s_.Skip(100));
  EXPECT_EQ(s_.CurrentRecordNumber(), 6);
  EXPECT_TRUE(s_.Skip(-100));
  EXPECT_EQ(s_.CurrentRecordNumber(), 0);
  EXPECT_TRUE(s_.Skip(0));
}

TEST_F(AccessTest, GoToRecordClampsToTheRecords) {
  EXPECT_TRUE(s_.GoToRecord(3));
  EXPECT_EQ(s_.CurrentRecordNumber(), 1);  // empty: position 0
  EXPECT_FALSE(s_.Skip());
  EXPECT_EQ(LastError(), -26);
  AddFive();
  struct {
    int64_t to, lands;
  } rows[] = {{0, 1}, {-7, 1}, {3, 3}, {99, 5}};
  for (auto r : rows) {
    s_.GoToRecord(r.to);
    EXPECT_EQ(s_.CurrentRecordNumber(), r.lands) << r.to;
    EXPECT_EQ(N(), r.lands);
  }
}

TEST_F(AccessTest, ReadingOutsideTheRecordsGivesEmptyValuesWithACode) {
  s_.GoFirst();
  EXPECT_EQ(Text(s_.ReadField("s")), "");
  EXPECT_EQ(LastError(), -10);
  EXPECT_EQ(Text(s_.ReadField("m")), "");
  EXPECT_EQ(LastError(), -10);
  AddFive();
  s_.GoFirst();
  s_.Skip(-1);
  EXPECT_EQ(N(), 0);
  EXPECT_EQ(LastError(), -60);
  EXPECT_FALSE(s_.WriteField("n", int32_t(1)));
  EXPECT_EQ(LastError(), -60);
  s_.GoToRecord(5);
  s_.Skip();
  EXPECT_FALSE(s_.WriteField("n", int32_t(1)));
  EXPECT_EQ(LastError(), -60);
  EXPECT_EQ(s_.RecordCount(), 5);
}

TEST_F(AccessTest, ValuesConvertOnlyBetweenNumericKinds) {
  ASSERT_TRUE(s_.AddBlankRecord());
  struct Row {
    const char* name;
    const char* field;
    store::Value in;
    bool ok;
    store::Value out;
  } rows[] = {
      {"double truncates into Int32", "n", 12.7, true, int32_t(12)},
      {"negative double truncates toward zero", "n", -12.7, true, int32_t(-12)},
      {"Int64 keeps the low bits", "n", int64_t(0x100000005LL), true, int32_t(5)},
      {"integer into Float64", "f", int32_t(3), true, 3.0},
      {"Byte zero-extends", "n", uint8_t(200), true, int32_t(200)},
      {"Int32 cut into Byte", "b", int32_t(0x1FF), true, uint8_t(0xFF)},
      {"huge double saturates", "n", 1e300, true, int32_t(-1)},
      {"text into DateTime", "d", std::string("2013"), false, DateTime(0)},
      {"number into Text", "s", int32_t(1), false, std::string()},
      {"bool into Int32", "n", true, false, int32_t(-1)},
      {"text into Bytes", "x", std::string("ab"), false, store::ByteString{}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(s_.WriteField(r.field, r.in), r.ok);
    EXPECT_EQ(LastError(), r.ok ? 0 : -72);
    store::Value got = s_.ReadField(r.field);
    if (r.ok) {
      EXPECT_TRUE(got == r.out);
    }
  }
  // A rejected value wrote nothing.
  EXPECT_EQ(std::get<DateTime>(s_.ReadField("d")).value, 0.0);
}

TEST_F(AccessTest, FieldsByNameOrPositionAndTheirMisuses) {
  ASSERT_TRUE(s_.AddRecord({int32_t(7), std::nullopt, std::nullopt, std::string("hi")}));
  EXPECT_EQ(s_.FieldCount(), 8);
  EXPECT_EQ(s_.FieldName(4), "s");
  EXPECT_EQ(s_.FieldName("S"), "s");  // letter case does not matter
  EXPECT_EQ(s_.FieldName(9), "");
  EXPECT_EQ(Text(s_.ReadField(4)), "hi");
  EXPECT_FALSE(s_.WriteField("nope", int32_t(1)));
  EXPECT_EQ(LastError(), -61);
  EXPECT_FALSE(s_.WriteField("n", int32_t(1), "other"));
  EXPECT_EQ(LastError(), -66);
}

TEST_F(AccessTest, AddRecordFillsTheFirstFieldsAndIgnoresSurplus) {
  std::vector<store::OptValue> many = {int32_t(1), 2.5,         DateTime(41000), std::string("s"),
                                       uint8_t(9), true,        std::string("memo"),
                                       store::ByteString{"\x01\x02"}, int32_t(99)};
  ASSERT_TRUE(s_.AddRecord(many));
  ASSERT_TRUE(s_.AddRecord({int32_t(2)}));
  EXPECT_EQ(s_.RecordCount(), 2);
  EXPECT_EQ(s_.CurrentRecordNumber(), 2);
  EXPECT_EQ(Text(s_.ReadField("m")), "");
  EXPECT_FALSE(std::get<bool>(s_.ReadField("l")));
  s_.GoFirst();
  EXPECT_EQ(Text(s_.ReadField("m")), "memo");
  EXPECT_EQ(std::get<store::ByteString>(s_.ReadField("x")).bytes, "\x01\x02");
  EXPECT_TRUE(std::get<bool>(s_.ReadField("l")));
  EXPECT_EQ(std::get<uint8_t>(s_.ReadField("b")), 9);
  // A mismatch anywhere in the list writes nothing at all.
  EXPECT_FALSE(s_.AddRecord({int32_t(3), std::string("not a number")}));
  EXPECT_EQ(LastError(), -72);
  EXPECT_EQ(s_.RecordCount(), 2);
  EXPECT_FALSE(s_.ModifyRecord({int32_t(3), std::string("not a number")}));
  EXPECT_EQ(N(), 1);
  ASSERT_TRUE(s_.ModifyRecord({std::nullopt, 7.0, std::nullopt, std::nullopt, std::nullopt,
                               std::nullopt, std::string("longer memo")}));
  EXPECT_EQ(N(), 1);
  EXPECT_EQ(std::get<double>(s_.ReadField("f")), 7.0);
  EXPECT_EQ(Text(s_.ReadField("m")), "longer memo");
}

TEST_F(AccessTest, DateTimesReadClampedAndWriteUnclamped) {
  ASSERT_TRUE(s_.AddRecord({std::nullopt, std::nullopt, DateTime(5e6)}));
  EXPECT_EQ(std::get<DateTime>(s_.ReadField("d")).value, 2958465.0);
  ASSERT_TRUE(s_.WriteField("d", DateTime(-1e7)));
  EXPECT_EQ(std::get<DateTime>(s_.ReadField("d")).value, -657434.0);
  ASSERT_TRUE(s_.WriteField("d", DateTime(std::nan(""))));
  EXPECT_EQ(std::get<DateTime>(s_.ReadField("d")).value, -657434.0);
}

TEST(TableList, OpenSelectAndClose) {
  TempDir dir;
  for (const char* n : {"a.edb", "b.edb"}) MakeTable(dir.GbkPath(n), {{"v", FieldType::kInt32, 0, 0}});
  RecordStore s;
  EXPECT_FALSE(s.OpenTable(""));
  EXPECT_EQ(LastError(), -3);
  EXPECT_FALSE(s.OpenTable(dir.GbkPath("missing.edb")));
  EXPECT_EQ(LastError(), -3);
  EXPECT_FALSE(s.SelectTable("a"));
  EXPECT_EQ(LastError(), -66);
  ASSERT_TRUE(s.OpenTable(dir.GbkPath("a.edb")));
  ASSERT_TRUE(s.AddRecord({int32_t(1)}));
  ASSERT_TRUE(s.OpenTable(dir.GbkPath("b"), {.alias = "bee"}));  // default extension
  EXPECT_EQ(s.CurrentTableName(), "b");
  // The same file again, under another spelling: refused, b stays current.
  EXPECT_FALSE(s.OpenTable(dir.GbkPath("B.EDB")));
  EXPECT_EQ(LastError(), -38);
  EXPECT_EQ(s.CurrentTableName(), "b");
  EXPECT_TRUE(s.IsTableOpen(dir.GbkPath("a")));
  EXPECT_FALSE(s.OpenTable(dir.GbkPath("a.edb"), {.alias = "1x"}));
  EXPECT_EQ(LastError(), -38);

  EXPECT_TRUE(s.SelectTable("A"));
  EXPECT_EQ(s.RecordCount(), 1);
  EXPECT_TRUE(s.SelectTable("BEE"));
  EXPECT_EQ(s.CurrentTableName(), "b");
  EXPECT_TRUE(s.SelectTable(dir.GbkPath("a.edb")));  // by full path
  EXPECT_EQ(s.CurrentTableName(), "a");
  // Closing a table before the current one keeps the current table.
  s.SelectTable("b");
  s.CloseTable("a");
  EXPECT_EQ(s.CurrentTableName(), "b");
  s.CloseTable("nothing");
  EXPECT_EQ(s.CurrentTableName(), "b");
  s.CloseTable();
  EXPECT_EQ(s.CurrentTableName(), "");
  EXPECT_EQ(s.RecordCount(), 0);
  EXPECT_EQ(LastError(), -67);
  EXPECT_FALSE(s.Skip());
  EXPECT_EQ(LastError(), -67);
}

TEST(TableList, InvalidAliasIsRefused) {
  TempDir dir;
  MakeTable(dir.GbkPath("a.edb"), {{"v", FieldType::kInt32, 0, 0}});
  RecordStore s;
  for (std::string bad : {"1abc", "a-b", "a b", "\xA1\xA1"}) {
    EXPECT_FALSE(s.OpenTable(dir.GbkPath("a.edb"), {.alias = bad})) << bad;
    EXPECT_EQ(LastError(), -24);
  }
  EXPECT_TRUE(s.OpenTable(dir.GbkPath("a.edb"), {.alias = "日志a1"_gbk}));
}

struct FatalShown {
  std::string text;
};

TEST(FatalRunErrorTest, ReadingWithoutATableOrFieldEndsTheProgram) {
  EXPECT_EXIT(
      {
        store::SetFatalRunErrorHook([](const std::string& text) {
          std::fprintf(stderr, "%s", GbkToUtf8(text).c_str());
        });
        RecordStore s;
        s.ReadField("x");
      },
      ::testing::ExitedWithCode(255), "运行时出错!\r\n\r\n错误信息：未指定当前数据库或者指定数据库未打开");
  EXPECT_EXIT(
      {
        TempDir dir;
        MakeTable(dir.GbkPath("a.edb"), {{"v", FieldType::kInt32, 0, 0}});
        RecordStore s;
        s.OpenTable(dir.GbkPath("a.edb"));
        s.ReadField("missing");
      },
      ::testing::ExitedWithCode(255), "指定字段不存在");
}

}  // namespace
}  // namespace tarvok::test
