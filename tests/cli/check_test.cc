// check: a consistent table passes; each kind of damage, made by editing
// bytes of a real written table, gives its line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "tests/cli/edb_test_util.h"

namespace tarvok::test {
namespace {

using ::testing::Contains;
using store::ByteString;
using store::FieldType;
using store::kBlockSize;
using store::RecordStore;

// Three records of 日期 DateTime, 日志 Memo, 图 Bytes (record size 20):
//   slot 0  memo of 20 bytes in block 1
//   slot 1  no memo; bytes of 600 in blocks 5 -> 6
//   slot 2  deleted; memo of 700 in blocks 7 -> 8
// and the free list 2 -> 3 -> 4, block count 9.
class CheckTest : public ::testing::Test {
 protected:
  static constexpr size_t kDataStart = 0x74 + 3 * 72;
  static constexpr size_t kRecordSize = 20;

  void SetUp() override {
    const std::string path = dir_.GbkPath("t.edb");
    MakeTable(path, {{"日期"_gbk, FieldType::kDateTime, 0, 0},
                     {"日志"_gbk, FieldType::kMemo, 0, 0},
                     {"图"_gbk, FieldType::kBytes, 0, 0}});
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path));
    ASSERT_TRUE(s.AddRecord({DateTime(1), std::string(1200, 'a')}));
    ASSERT_TRUE(s.AddRecord({DateTime(2), std::string("short"), ByteString{std::string(600, 'b')}}));
    ASSERT_TRUE(s.AddRecord({DateTime(3), std::string(700, 'c')}));
    ASSERT_TRUE(s.DeleteRecord());
    ASSERT_TRUE(s.GoToRecord(2));
    ASSERT_TRUE(s.WriteField(2, std::string()));
    ASSERT_TRUE(s.GoToRecord(1));
    ASSERT_TRUE(s.WriteField(2, std::string(20, 'a')));
    s.CloseAllTables();

    const std::string t = Table(), c = Companion();
    ASSERT_EQ(t.size(), kDataStart + 3 * kRecordSize);
    ASSERT_EQ(I32At(t, Field(0, 2)), 1);
    ASSERT_EQ(I32At(t, Field(1, 2)), 0);
    ASSERT_EQ(I32At(t, Field(1, 3)), 5);
    ASSERT_EQ(I32At(t, Field(2, 0)), -3);
    ASSERT_EQ(I32At(t, Field(2, 2)), 7);
    ASSERT_EQ(c.size(), 9 * kBlockSize);
    ASSERT_EQ(I32At(c, 0x14), 3);  // free count
    ASSERT_EQ(I32At(c, 0x18), 2);  // first free
    ASSERT_EQ(I32At(c, 2 * kBlockSize + 4), 3);
    ASSERT_EQ(I32At(c, 3 * kBlockSize + 4), 4);
    ASSERT_EQ(I32At(c, 4 * kBlockSize + 4), 0);
  }

  // Byte offset of field f (0 = the RecordId) of slot k.
  static size_t Field(size_t k, int f) {
    static constexpr size_t kOffsets[] = {0, 4, 12, 16};
    return kDataStart + k * kRecordSize + kOffsets[f];
  }
  // Offsets of block b's previous, next and used.
  static size_t Prev(int b) { return size_t(b) * kBlockSize; }
  static size_t Next(int b) { return size_t(b) * kBlockSize + 4; }
  static size_t Used(int b) { return size_t(b) * kBlockSize + 8; }

  std::string Table() { return ReadFileBytes(dir_.Path("t.edb")); }
  std::string Companion() { return ReadFileBytes(dir_.Path("t.edt")); }
  RunResult Check(const std::vector<std::string>& options = {}) {
    std::vector<std::string> args{"check"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(dir_.Path("t.edb"));
    return RunEdb(dir_, args);
  }
  // Checks the table made of these bytes.
  RunResult CheckBytes(const std::string& table, const std::string& companion) {
    WriteFileBytes(dir_.Path("t.edb"), table);
    WriteFileBytes(dir_.Path("t.edt"), companion);
    return Check();
  }

  TempDir dir_;
};

TEST_F(CheckTest, ConsistentTablePassesPlainAndProtected) {
  RunResult r = Check();
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "");
  // Protected, every structure is read through the key.
  ASSERT_EQ(RunEdb(dir_, {"set-password", "--new-password", "秘密", dir_.Path("t.edb")}).status, 0);
  r = Check({"--password", "秘密"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "");
}

struct Damage {
  const char* name;
  std::function<void(std::string* table, std::string* companion)> edit;
  const char* line;
};

TEST_F(CheckTest, EachDamageGivesItsLine) {
  using S = std::string;
  const Damage cases[] = {
      {"bytes after the last record", [](S* t, S*) { *t += "12345"; },
       "table file: 5 bytes after the last of 3 records (length 397, expected 392)"},
      {"field past the record",
       [](S* t, S*) { PutI32At(t, 0x74 + 2 * 72 + 0x18, 18); },
       "field 3 \"图\": offset 18 + width 4 reaches past the record size 20"},
      {"field over the RecordId", [](S* t, S*) { PutI32At(t, 0x74 + 0x18, 2); },
       "field 1 \"日期\": offset 2 overlaps the RecordId"},
      {"two fields of one name", [](S* t, S*) { t->replace(0x74 + 2 * 72, 4, "日志"_gbk); },
       "field 3 \"日志\": same name as field 2"},
      {"RecordId 0", [](S* t, S*) { PutI32At(t, Field(0, 0), 0); }, "slot 0: RecordId 0"},
      {"id not below the next id", [](S* t, S*) { PutI32At(t, Field(1, 0), 7); },
       "slot 1: record id 7 not below the next record id 4"},
      {"id of a deleted record repeated", [](S* t, S*) { PutI32At(t, Field(1, 0), 3); },
       "slot 2: record id 3 repeats slot 1"},
      {"first block past the block count", [](S* t, S*) { PutI32At(t, Field(2, 2), 9); },
       "slot 2 field 2 \"日志\": first block 9 outside 1..8"},
      {"negative first block", [](S* t, S*) { PutI32At(t, Field(1, 2), -1); },
       "slot 1 field 2 \"日志\": first block -1 outside 1..8"},
      {"next past the block count", [](S*, S* c) { PutI32At(c, Next(7), 42); },
       "slot 2 field 2 \"日志\": block 7 links to block 42 outside 1..8"},
      {"chain loops", [](S*, S* c) { PutI32At(c, Next(8), 7); },
       "slot 2 field 2 \"日志\": the chain loops back to block 7 after block 8"},
      {"chain loops on itself", [](S*, S* c) { PutI32At(c, Next(1), 1); },
       "slot 0 field 2 \"日志\": the chain loops back to block 1 after block 1"},
      {"used 0 in a value", [](S*, S* c) { PutI32At(c, Used(8), 0); },
       "slot 2 field 2 \"日志\": block 8 used 0 outside 1..500"},
      {"used above 500", [](S*, S* c) { PutI32At(c, Used(6), 501); },
       "slot 1 field 3 \"图\": block 6 used 501 outside 1..500"},
      {"short block inside a chain", [](S*, S* c) { PutI32At(c, Used(5), 499); },
       "slot 1 field 3 \"图\": block 5 holds 499 bytes but is not the last of its chain"},
      {"previous link wrong", [](S*, S* c) { PutI32At(c, Prev(8), 5); },
       "slot 2 field 2 \"日志\": block 8 previous link 5, expected 7"},
      {"first block has a previous", [](S*, S* c) { PutI32At(c, Prev(1), 4); },
       "slot 0 field 2 \"日志\": block 1 previous link 4, expected 0"},
      {"block in two chains", [](S* t, S*) { PutI32At(t, Field(2, 2), 6); },
       "slot 2 field 2 \"日志\": block 6 is also in the chain of slot 1 field 3 \"图\""},
      {"free count too high", [](S*, S* c) { PutI32At(c, 0x14, 4); },
       "free list: 3 blocks, header free count 4"},
      {"free list loops", [](S*, S* c) { PutI32At(c, Next(4), 2); },
       "free list: loops back to block 2 after block 4"},
      {"free list leaves the file", [](S*, S* c) { PutI32At(c, Next(3), -5); },
       "free list: block 3 links to block -5 outside 1..8"},
      {"free block with data", [](S*, S* c) { PutI32At(c, Used(3), 7); },
       "free list: block 3 used 7, expected 0"},
      {"free previous link wrong", [](S*, S* c) { PutI32At(c, Prev(4), 1); },
       "free list: block 4 previous link 1, expected 3"},
      {"block free and in a chain", [](S*, S* c) { PutI32At(c, Next(4), 8); },
       "free list: block 8 is also in the chain of slot 2 field 2 \"日志\""},
  };
  const std::string table = Table(), companion = Companion();
  for (const auto& d : cases) {
    SCOPED_TRACE(d.name);
    std::string t = table, c = companion;
    d.edit(&t, &c);
    RunResult r = CheckBytes(t, c);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(Lines(r.out), Contains(d.line)) << r.out;
  }
}

// What a write stopped part-way leaves is listed as unused space, and the
// check still passes.
TEST_F(CheckTest, UnusedSpaceIsListedButPasses) {
  using S = std::string;
  const Damage cases[] = {
      {"one block in nothing",
       [](S*, S* c) {
         PutI32At(c, 0x18, 3);
         PutI32At(c, 0x14, 2);
       },
       "unused: block 2 is neither free nor in any chain"},
      {"blocks in nothing", [](S* t, S*) { PutI32At(t, Field(1, 3), 0); },
       "unused: blocks 5-6 are neither free nor in any chain"},
      {"companion longer than its blocks", [](S*, S* c) { c->append(100, '\0'); },
       "unused: companion file: length 4708, expected 4608 for 9 blocks"},
  };
  const std::string table = Table(), companion = Companion();
  for (const auto& d : cases) {
    SCOPED_TRACE(d.name);
    std::string t = table, c = companion;
    d.edit(&t, &c);
    RunResult r = CheckBytes(t, c);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), std::vector<std::string>{d.line});
  }
  // Beside damage, the damage decides.
  std::string c = companion;
  PutI32At(&c, Used(3), 7);
  c.append(100, '\0');
  RunResult r = CheckBytes(table, c);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(Lines(r.out), Contains("unused: companion file: length 4708, expected 4608 for 9 blocks"));
}

TEST_F(CheckTest, HeaderTheStoreRefusesGivesTheStoreError) {
  struct Case {
    const char* name;
    std::function<void(std::string*)> edit;
    const char* error;
  };
  const Case cases[] = {
      {"foreign magic", [](std::string* t) { t->replace(0, 4, "WXDB"); }, "error -22: 指定文件不是数据库文件"},
      {"count beyond the file", [](std::string* t) { PutI32At(t, 0x10, 4); }, "error -48: 数据库文件尺寸错误"},
  };
  const std::string table = Table();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string t = table;
    c.edit(&t);
    WriteFileBytes(dir_.Path("t.edb"), t);
    RunResult r = Check();
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, ::testing::HasSubstr(c.error));
  }
}

}  // namespace
}  // namespace tarvok::test
