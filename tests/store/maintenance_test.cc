// Finding, deleting, packing, copying structure and appending.
#include <gtest/gtest.h>

#include <filesystem>

#include "store/check.h"
#include "tests/store/store_util.h"

namespace tarvok::test {
namespace {

using store::LastError;

class MaintenanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.GbkPath("rz35.edb");
    MakeTable(path_, DiaryFields(), 209);
    ASSERT_TRUE(s_.OpenTable(path_));
    for (int d = 0; d < 6; ++d)
      ASSERT_TRUE(s_.AddRecord({DateTime(41000 + d), std::string(400 + 300 * d, char('a' + d))}));
  }
  double Day() { return std::get<DateTime>(s_.ReadField(DateField())).value; }
  store::RecordCondition DayIs(double d) {
    return [this, d] { return Day() == d; };
  }
  std::vector<int32_t> Ids() {
    std::string b = ReadFileBytes(dir_.Path("rz35.edb"));
    std::vector<int32_t> ids;
    for (size_t at = 260; at + 16 <= b.size(); at += 16) ids.push_back(I32At(b, at));
    return ids;
  }

  TempDir dir_;
  std::string path_;
  RecordStore s_;
};

TEST_F(MaintenanceTest, FindRecordStartsAtThePositionAndMovesOnlyWhenFound) {
  s_.GoToRecord(3);
  EXPECT_TRUE(s_.FindRecord(DayIs(41002)));  // already true here: no move
  EXPECT_EQ(s_.CurrentRecordNumber(), 3);
  EXPECT_TRUE(s_.FindRecord(DayIs(41004)));
  EXPECT_EQ(s_.CurrentRecordNumber(), 5);
  EXPECT_FALSE(s_.FindRecord(DayIs(41001)));  // lies behind the position
  EXPECT_EQ(LastError(), 0);
  EXPECT_EQ(s_.CurrentRecordNumber(), 5);
  s_.GoFirst();
  // Inside the condition, ReadField reads the record being tested, memo too.
  std::vector<size_t> lengths;
  EXPECT_FALSE(s_.FindRecord([&] {
    lengths.push_back(Text(s_.ReadField(TextField())).size());
    return false;
  }));
  EXPECT_EQ(lengths, (std::vector<size_t>{400, 700, 1000, 1300, 1600, 1900}));
  EXPECT_EQ(s_.CurrentRecordNumber(), 1);
}

TEST_F(MaintenanceTest, DeleteThenPackKeepsIdsOrderAndNextId) {
  s_.GoToRecord(2);
  ASSERT_TRUE(s_.DeleteRecord());
  ASSERT_TRUE(s_.DeleteRecord());  // a deleted record stays deleted
  EXPECT_EQ(Ids(), (std::vector<int32_t>{209, -210, 211, 212, 213, 214}));
  s_.GoToRecord(4);
  ASSERT_TRUE(s_.DeleteRecord([&] { return Day() >= 41004; }));
  EXPECT_EQ(s_.CurrentRecordNumber(), 4);  // position restored
  EXPECT_EQ(Ids(), (std::vector<int32_t>{209, -210, 211, 212, -213, -214}));
  EXPECT_EQ(s_.RecordCount(), 6);
  const size_t before = ReadFileBytes(dir_.Path("rz35.edt")).size();

  ASSERT_TRUE(s_.Pack());
  EXPECT_EQ(Ids(), (std::vector<int32_t>{209, 211, 212}));
  EXPECT_EQ(s_.RecordCount(), 3);
  EXPECT_EQ(s_.CurrentRecordNumber(), 1);
  const std::string t = ReadFileBytes(dir_.Path("rz35.edb"));
  EXPECT_EQ(I32At(t, 0x14), 215);
  EXPECT_EQ(t.size(), 260u + 3 * 16);
  std::vector<std::string> texts;
  for (int k = 1; k <= 3; ++k) {
    s_.GoToRecord(k);
    texts.push_back(Text(s_.ReadField(TextField())));
  }
  EXPECT_EQ(texts, (std::vector<std::string>{std::string(400, 'a'), std::string(1000, 'c'),
                                             std::string(1300, 'd')}));
  // The dropped chains went to the free list, the last ones off the tail.
  const std::string c = ReadFileBytes(dir_.Path("rz35.edt"));
  EXPECT_LT(c.size(), before);
  EXPECT_EQ(I32At(c, 0x14), 2);  // record 2's two blocks
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("rz35.edb-undo")));
}

TEST_F(MaintenanceTest, IsDeletedReadsTheMarkAtThePositionAndInConditions) {
  s_.GoToRecord(2);
  ASSERT_TRUE(s_.DeleteRecord());
  std::vector<bool> marks;
  for (int k = 1; k <= 6; ++k) {
    s_.GoToRecord(k);
    marks.push_back(s_.IsDeleted());
  }
  EXPECT_EQ(marks, (std::vector<bool>{false, true, false, false, false, false}));
  marks.clear();
  ASSERT_TRUE(s_.ScanRecords([&] {
    marks.push_back(s_.IsDeleted());
    return true;
  }));
  EXPECT_EQ(marks, (std::vector<bool>{false, true, false, false, false, false}));
  // Past the last record there is no record to be deleted.
  s_.GoToRecord(6);
  s_.Skip();
  EXPECT_FALSE(s_.IsDeleted());
  EXPECT_NE(LastError(), 0);
}

TEST_F(MaintenanceTest, PackWithNothingDeletedOnlyMovesToTheFirstRecord) {
  const std::string before = ReadFileBytes(dir_.Path("rz35.edb"));
  s_.GoToRecord(4);
  ASSERT_TRUE(s_.Pack());
  EXPECT_EQ(s_.CurrentRecordNumber(), 1);
  EXPECT_EQ(ReadFileBytes(dir_.Path("rz35.edb")), before);
}

// Blocks that a write stopped part-way left in nothing go back to the free
// list at a pack (those at the tail are cut off), and bytes past the last
// block are cut; with a damaged chain anywhere, nothing is touched.
TEST_F(MaintenanceTest, PackReclaimsUnusedSpaceOnlyWhenAllChainsAreSound) {
  const std::vector<std::string> records = Snapshot(s_);
  s_.CloseAllTables();
  // Records 3 and 6 hold blocks 4-5 and 13-16; their fields now name none.
  std::string table = ReadFileBytes(dir_.Path("rz35.edb")), companion = ReadFileBytes(dir_.Path("rz35.edt"));
  PutI32At(&table, 260 + 2 * 16 + 12, 0);
  PutI32At(&table, 260 + 5 * 16 + 12, 0);
  companion.append(100, '\0');
  auto reopen_and_check = [&](std::vector<std::string>* problems, std::vector<std::string>* unused) {
    s_.CloseAllTables();
    ASSERT_TRUE(s_.OpenTable(path_));
    ASSERT_EQ(store::CheckCurrentTable(s_, problems, unused), 0);
  };
  std::vector<std::string> problems, unused;

  // A loop in record 2's chain (blocks 2, 3): the pack reclaims nothing.
  std::string looped = companion;
  PutI32At(&looped, 3 * 512 + 4, 2);
  WriteFileBytes(dir_.Path("rz35.edb"), table);
  WriteFileBytes(dir_.Path("rz35.edt"), looped);
  ASSERT_TRUE(s_.OpenTable(path_));
  ASSERT_TRUE(s_.Pack());
  EXPECT_EQ(ReadFileBytes(dir_.Path("rz35.edt")), looped);

  WriteFileBytes(dir_.Path("rz35.edt"), companion);
  reopen_and_check(&problems, &unused);
  EXPECT_EQ(problems, std::vector<std::string>{});
  EXPECT_EQ(unused.size(), 3u);
  ASSERT_TRUE(s_.Pack());
  reopen_and_check(&problems, &unused);
  EXPECT_EQ(problems, std::vector<std::string>{});
  EXPECT_EQ(unused, std::vector<std::string>{});
  const std::string c = ReadFileBytes(dir_.Path("rz35.edt"));
  EXPECT_EQ(c.size(), 13u * 512);              // 13-16 cut off the tail
  EXPECT_EQ(I32At(c, 0x14), 2);                 // 4 and 5 free
  const std::vector<std::string> now = Snapshot(s_);
  ASSERT_EQ(now.size(), records.size());
  for (size_t k : {0u, 1u, 3u, 4u}) EXPECT_EQ(now[k], records[k]);
  for (int64_t k : {3, 6}) {
    s_.GoToRecord(k);
    EXPECT_EQ(Text(s_.ReadField(TextField())), "");
  }
}

TEST_F(MaintenanceTest, CopyStructureMakesAnEmptyTableOfTheChosenFields) {
  ASSERT_TRUE(s_.CopyStructure(dir_.GbkPath("all")));
  ASSERT_TRUE(s_.CopyStructure(dir_.GbkPath("dates.edb"), {"nothing", "日期"_gbk}));
  ASSERT_TRUE(s_.CopyStructure(dir_.GbkPath("none.edb"), {"nothing"}));
  EXPECT_EQ(s_.CurrentTableName(), "rz35");
  EXPECT_EQ(s_.CurrentRecordNumber(), 6);
  const std::string all = ReadFileBytes(dir_.Path("all.EDB"));
  const std::string orig = ReadFileBytes(dir_.Path("rz35.edb"));
  EXPECT_EQ(all.size(), 260u);
  EXPECT_EQ(all.substr(0x10, 4), std::string(4, '\0'));
  EXPECT_EQ(I32At(all, 0x14), 1);
  EXPECT_EQ(all.substr(0x70), orig.substr(0x70, 260 - 0x70));
  EXPECT_EQ(ReadFileBytes(dir_.Path("all.EDT")).size(), 512u);
  EXPECT_EQ(ReadFileBytes(dir_.Path("dates.edb")).size(), 188u);
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("dates.edt")));
  EXPECT_EQ(ReadFileBytes(dir_.Path("none.edb")).size(), 260u);
  EXPECT_FALSE(s_.CopyStructure(""));
  EXPECT_EQ(LastError(), -3);
}

TEST_F(MaintenanceTest, AppendFromPairsFieldsByNameAndType) {
  const std::string other = dir_.GbkPath("other.edb");
  MakeTable(other, {{"n", FieldType::kInt16, 0, 0},
                    {"日志"_gbk, FieldType::kMemo, 0, 0},
                    {"日期"_gbk, FieldType::kText, 0, 8}},  // same name, other type: not paired
            50);
  ASSERT_TRUE(s_.OpenTable(other));
  ASSERT_TRUE(s_.AddRecord({int16_t(1), std::string("first"), std::string("x")}));
  ASSERT_TRUE(s_.AddRecord({int16_t(2), std::string(900, 'q'), std::string("y")}));
  ASSERT_TRUE(s_.DeleteRecord());
  s_.GoFirst();
  ASSERT_TRUE(s_.SelectTable("rz35"));
  s_.GoToRecord(2);
  ASSERT_TRUE(s_.AppendFrom("other"));
  EXPECT_EQ(s_.CurrentTableName(), "rz35");
  EXPECT_EQ(s_.CurrentRecordNumber(), 2);
  EXPECT_EQ(s_.RecordCount(), 8);
  EXPECT_EQ(Ids().back(), -216);  // a deleted source record arrives deleted
  EXPECT_EQ(I32At(ReadFileBytes(dir_.Path("rz35.edb")), 0x14), 217);
  s_.GoToRecord(7);
  EXPECT_EQ(Day(), 0.0);
  EXPECT_EQ(Text(s_.ReadField(TextField())), "first");
  s_.GoToRecord(8);
  EXPECT_EQ(Text(s_.ReadField(TextField())), std::string(900, 'q'));
  // With a condition on the source's record.
  ASSERT_TRUE(s_.AppendFrom("other", [&] { return std::get<int16_t>(s_.ReadField("n")) == 2; }));
  EXPECT_EQ(s_.RecordCount(), 9);
  EXPECT_FALSE(s_.AppendFrom("missing"));
  EXPECT_EQ(LastError(), -66);
}

TEST_F(MaintenanceTest, AppendFromConvertsNumericKinds) {
  const std::string a = dir_.GbkPath("a.edb"), b = dir_.GbkPath("b.edb");
  MakeTable(a, {{"v", FieldType::kFloat64, 0, 0}, {"s", FieldType::kText, 0, 10}});
  MakeTable(b, {{"s", FieldType::kText, 0, 3}, {"v", FieldType::kInt32, 0, 0}});
  ASSERT_TRUE(s_.OpenTable(a));
  ASSERT_TRUE(s_.AddRecord({-12.7, std::string("abcdef")}));
  ASSERT_TRUE(s_.OpenTable(b));
  ASSERT_TRUE(s_.AppendFrom("a"));
  s_.GoFirst();
  EXPECT_EQ(std::get<int32_t>(s_.ReadField("v")), -12);
  EXPECT_EQ(Text(s_.ReadField("s")), "abc");
}

}  // namespace
}  // namespace tarvok::test

namespace tarvok::test {
namespace {

TEST_F(MaintenanceTest, FindRecordRunsAcrossManyRuns) {
  // Records of 40 KiB: a run holds four of them.
  MakeTable(dir_.GbkPath("wide.edb"), {{"v", FieldType::kInt32, 0, 0}, {"pad", FieldType::kText, 0, 40000}});
  ASSERT_TRUE(s_.OpenTable(dir_.GbkPath("wide.edb")));
  for (int32_t v = 1; v <= 11; ++v) ASSERT_TRUE(s_.AddRecord({v}));
  for (int32_t want : {1, 4, 5, 9, 11}) {
    s_.GoFirst();
    EXPECT_TRUE(s_.FindRecord([&] { return std::get<int32_t>(s_.ReadField("v")) == want; }));
    EXPECT_EQ(s_.CurrentRecordNumber(), want);
  }
  s_.GoToRecord(6);
  EXPECT_FALSE(s_.FindRecord([&] { return std::get<int32_t>(s_.ReadField("v")) == 3; }));
  EXPECT_EQ(s_.CurrentRecordNumber(), 6);
}

TEST_F(MaintenanceTest, ScanRecordsVisitsEverySlotWithItsMemo) {
  s_.GoToRecord(3);
  ASSERT_TRUE(s_.DeleteRecord());
  s_.GoToRecord(2);
  std::vector<std::string> texts;
  std::vector<int64_t> positions;
  ASSERT_TRUE(s_.ScanRecords([&] {
    texts.push_back(Text(s_.ReadField(TextField())));
    positions.push_back(s_.CurrentRecordNumber());
    return true;
  }));
  ASSERT_EQ(texts.size(), 6u);
  for (int d = 0; d < 6; ++d) EXPECT_EQ(texts[size_t(d)], std::string(400 + 300 * d, char('a' + d)));
  EXPECT_EQ(positions, (std::vector<int64_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(s_.CurrentRecordNumber(), 2);
  // Stopping early.
  int visits = 0;
  ASSERT_TRUE(s_.ScanRecords([&] { return ++visits < 2; }));
  EXPECT_EQ(visits, 2);
  // Afterwards chains are read block by block again, and writes go through.
  ASSERT_TRUE(s_.WriteField(TextField(), std::string(3000, 'z')));
  EXPECT_EQ(Text(s_.ReadField(TextField())), std::string(3000, 'z'));
  // A damaged chain reads as -59 inside the scan too.
  EditFile(dir_.Path("rz35.edt"), [](std::string* c) { PutI32At(c, 512 + 4, 1); });
  s_.GoFirst();
  ASSERT_TRUE(s_.ScanRecords([&] {
    if (s_.CurrentRecordNumber() == 1) {
      EXPECT_EQ(Text(s_.ReadField(TextField())), "");
      EXPECT_EQ(LastError(), -59);
    }
    return true;
  }));
}

}  // namespace
}  // namespace tarvok::test
