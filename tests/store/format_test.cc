// The bytes on disk after scripted operations, block numbers included.
#include <gtest/gtest.h>

#include "store/table.h"
#include "tests/store/store_util.h"

namespace tarvok::test {
namespace {

using store::kBlockSize;

class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.GbkPath("rz35.edb");
    MakeTable(path_, DiaryFields(), 209);
    ASSERT_TRUE(store_.OpenTable(path_)) << store::LastError();
  }
  std::string TableBytes() { return ReadFileBytes(dir_.Path("rz35.edb")); }
  std::string CompanionBytes() { return ReadFileBytes(dir_.Path("rz35.edt")); }
  // Block b's previous, next and used.
  std::vector<int32_t> Block(const std::string& c, int b) {
    return {I32At(c, b * kBlockSize), I32At(c, b * kBlockSize + 4), I32At(c, b * kBlockSize + 8)};
  }
  std::vector<int32_t> CompanionHeader(const std::string& c) {
    return {I32At(c, 0x10), I32At(c, 0x14), I32At(c, 0x18)};  // count, free count, first free
  }
  bool Add(const std::string& text) { return store_.AddRecord({DateTime(41000), text}); }

  TempDir dir_;
  std::string path_;
  RecordStore store_;
};

TEST_F(FormatTest, EmptyDiaryImageIsTheHeaderAndTwoDescriptors) {
  const std::string b = TableBytes();
  ASSERT_EQ(b.size(), 260u);
  EXPECT_EQ(b.substr(0, 4), "WEDB");
  EXPECT_EQ(I32At(b, 4), 0x10000);
  EXPECT_EQ(I32At(b, 0x10), 0);
  EXPECT_EQ(I32At(b, 0x14), 209);
  EXPECT_EQ(I32At(b, 0x18), 16);
  EXPECT_EQ(I32At(b, 0x70), 2);
  // Descriptor 1: "日期", DateTime at 4; descriptor 2: "日志", Memo at 12.
  EXPECT_EQ(b.substr(0x74, 4), DateField());
  EXPECT_EQ(b.substr(0x74 + 4, 16), std::string(16, '\0'));
  EXPECT_EQ(I32At(b, 0x74 + 0x14), 8);
  EXPECT_EQ(I32At(b, 0x74 + 0x18), 4);
  EXPECT_EQ(I32At(b, 0x74 + 72 + 0x14), 12);
  EXPECT_EQ(I32At(b, 0x74 + 72 + 0x18), 12);
  EXPECT_EQ(CompanionBytes().size(), 512u);
}

TEST_F(FormatTest, AppendingWritesOneRecordAndRaisesBothCounters) {
  ASSERT_TRUE(Add("x"));
  const std::string b = TableBytes();
  ASSERT_EQ(b.size(), 276u);
  EXPECT_EQ(I32At(b, 0x10), 1);
  EXPECT_EQ(I32At(b, 0x14), 210);
  EXPECT_EQ(I32At(b, 260), 209);  // the record's id
  EXPECT_EQ(store::GetF64(reinterpret_cast<const uint8_t*>(b.data()) + 264), 41000.0);
  EXPECT_EQ(I32At(b, 272), 1);  // its memo starts in block 1
  EXPECT_EQ(store_.CurrentRecordNumber(), 1);
}

TEST_F(FormatTest, ValuesFillBlocksOfFiveHundredBytes) {
  struct Row {
    const char* name;
    size_t length;
    std::vector<int32_t> used;
  } rows[] = {{"empty", 0, {}}, {"one block", 500, {500}}, {"one byte over", 501, {500, 1}},
              {"three blocks", 1250, {500, 500, 250}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(Add(std::string(row.length, 'a')));
    const std::string c = CompanionBytes();
    const std::string t = TableBytes();
    int32_t b = I32At(t, t.size() - 4);
    std::vector<int32_t> used;
    for (int32_t prev = 0; b != 0; prev = b, b = Block(c, b)[1]) {
      EXPECT_EQ(Block(c, b)[0], prev);
      used.push_back(Block(c, b)[2]);
    }
    EXPECT_EQ(used, row.used);
    EXPECT_EQ(Text(store_.ReadField(TextField())).size(), row.length);
  }
}

TEST_F(FormatTest, ShorterRewriteKeepsFirstBlockAndTrimsTheTail) {
  ASSERT_TRUE(Add(std::string(1250, 'a')));
  ASSERT_EQ(CompanionBytes().size(), 4 * kBlockSize);
  ASSERT_TRUE(store_.WriteField(TextField(), std::string(20, 'b')));
  const std::string c = CompanionBytes();
  ASSERT_EQ(c.size(), 2 * kBlockSize);
  EXPECT_EQ(CompanionHeader(c), (std::vector<int32_t>{2, 0, 0}));
  EXPECT_EQ(Block(c, 1), (std::vector<int32_t>{0, 0, 20}));
  EXPECT_EQ(c.substr(kBlockSize + 12, 20), std::string(20, 'b'));
  EXPECT_EQ(c.substr(kBlockSize + 32), std::string(480, '\0'));
  EXPECT_EQ(I32At(TableBytes(), 272), 1);
}

TEST_F(FormatTest, FreedBlocksAreReusedBeforeTheFileGrows) {
  ASSERT_TRUE(Add(std::string(1000, 'a')));  // blocks 1, 2
  ASSERT_TRUE(Add("b"));                     // block 3
  store_.GoToRecord(1);
  ASSERT_TRUE(store_.WriteField(TextField(), std::string()));  // frees 1, 2; 3 stays last
  std::string c = CompanionBytes();
  ASSERT_EQ(c.size(), 4 * kBlockSize);
  EXPECT_EQ(CompanionHeader(c), (std::vector<int32_t>{4, 2, 1}));
  EXPECT_EQ(Block(c, 1), (std::vector<int32_t>{0, 2, 0}));
  EXPECT_EQ(Block(c, 2), (std::vector<int32_t>{1, 0, 0}));
  EXPECT_EQ(I32At(TableBytes(), 260 + 12), 0);

  ASSERT_TRUE(Add(std::string(600, 'c')));  // takes 1 then 2 from the free list
  c = CompanionBytes();
  EXPECT_EQ(c.size(), 4 * kBlockSize);
  EXPECT_EQ(CompanionHeader(c), (std::vector<int32_t>{4, 0, 0}));
  EXPECT_EQ(Block(c, 1), (std::vector<int32_t>{0, 2, 500}));
  EXPECT_EQ(Block(c, 2), (std::vector<int32_t>{1, 0, 100}));

  // Freeing a chain in front of a non-empty free list links it before the
  // old head, whose previous then names the chain's last block.
  store_.GoToRecord(2);
  ASSERT_TRUE(store_.WriteField(TextField(), std::string(600, 'd')));  // 3 and a new 4
  store_.GoToRecord(3);
  ASSERT_TRUE(store_.WriteField(TextField(), std::string()));  // frees 1, 2
  store_.GoToRecord(2);
  ASSERT_TRUE(store_.WriteField(TextField(), std::string()));  // frees 3, 4: tail trimmed away
  c = CompanionBytes();
  EXPECT_EQ(c.size(), 1 * kBlockSize);
  EXPECT_EQ(CompanionHeader(c), (std::vector<int32_t>{1, 0, 0}));
}

// A rewrite keeps the first block and writes the rest into fresh blocks,
// then frees the old rest; a whole record takes fresh blocks throughout.
TEST_F(FormatTest, RewriteTakesFreshBlocksBehindTheFirst) {
  ASSERT_TRUE(Add(std::string(1000, 'a')));                     // blocks 1, 2
  ASSERT_TRUE(store_.WriteField(TextField(), std::string(1000, 'b')));  // 1 kept, 3 new, 2 freed
  std::string c = CompanionBytes();
  EXPECT_EQ(I32At(TableBytes(), 272), 1);
  EXPECT_EQ(Block(c, 1), (std::vector<int32_t>{0, 3, 500}));
  EXPECT_EQ(Block(c, 3), (std::vector<int32_t>{1, 0, 500}));
  EXPECT_EQ(CompanionHeader(c), (std::vector<int32_t>{4, 1, 2}));
  ASSERT_TRUE(store_.ModifyRecord({std::nullopt, std::string(600, 'c')}));  // 2 and a new 4; 1, 3 freed
  c = CompanionBytes();
  EXPECT_EQ(I32At(TableBytes(), 272), 2);
  EXPECT_EQ(Block(c, 2), (std::vector<int32_t>{0, 4, 500}));
  EXPECT_EQ(Block(c, 4), (std::vector<int32_t>{2, 0, 100}));
  EXPECT_EQ(CompanionHeader(c), (std::vector<int32_t>{5, 2, 1}));
  EXPECT_EQ(Text(store_.ReadField(TextField())), std::string(600, 'c'));
}

// Freeing the last blocks trims them even when the free list holds other
// blocks in front of some of them.
TEST_F(FormatTest, TailIsTrimmedAroundOtherFreeBlocks) {
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(Add(std::string(100, char('a' + i))));  // blocks 1-4
  store_.GoToRecord(3);
  ASSERT_TRUE(store_.WriteField(TextField(), std::string(600, 'c')));  // 3 kept, 5 new
  store_.GoToRecord(4);
  ASSERT_TRUE(store_.WriteField(TextField(), std::string()));  // free list 4
  store_.GoToRecord(1);
  ASSERT_TRUE(store_.WriteField(TextField(), std::string()));  // free list 1, 4
  ASSERT_EQ(CompanionHeader(CompanionBytes()), (std::vector<int32_t>{6, 2, 1}));
  store_.GoToRecord(3);
  ASSERT_TRUE(store_.WriteField(TextField(), std::string()));  // 3, 5, 1, 4: 3 to 5 trimmed
  const std::string c = CompanionBytes();
  ASSERT_EQ(c.size(), 3 * kBlockSize);
  EXPECT_EQ(CompanionHeader(c), (std::vector<int32_t>{3, 1, 1}));
  EXPECT_EQ(Block(c, 1), (std::vector<int32_t>{0, 0, 0}));
  store_.GoToRecord(2);
  EXPECT_EQ(Text(store_.ReadField(TextField())), std::string(100, 'b'));
}

TEST_F(FormatTest, TextOfFullWidthHasNoTerminator) {
  MakeTable(dir_.GbkPath("t.edb"), {{"u", FieldType::kText, 0, 2}, {"c", FieldType::kText, 0, 100}});
  ASSERT_TRUE(store_.OpenTable(dir_.GbkPath("t.edb")));
  ASSERT_TRUE(store_.AddRecord({"年"_gbk, std::string(120, 'x')}));
  const std::string b = ReadFileBytes(dir_.Path("t.edb"));
  const size_t rec = 0x74 + 2 * 72;
  EXPECT_EQ(b.size(), rec + 4 + 2 + 100);
  EXPECT_EQ(b.substr(rec + 4, 2), "年"_gbk);
  EXPECT_EQ(b.substr(rec + 6, 100), std::string(100, 'x'));
  EXPECT_EQ(Text(store_.ReadField("u")), "年"_gbk);
  EXPECT_EQ(Text(store_.ReadField("c")), std::string(100, 'x'));
  // A shorter write pads with zeros; AddRecord/ModifyRecord copy text and
  // terminator only, so the stale bytes behind it stay unseen.
  ASSERT_TRUE(store_.ModifyRecord({std::nullopt, std::string("ab")}));
  EXPECT_EQ(ReadFileBytes(dir_.Path("t.edb")).substr(rec + 6, 4), std::string("ab\0x", 4));
  EXPECT_EQ(Text(store_.ReadField("c")), "ab");
  ASSERT_TRUE(store_.WriteField("c", std::string("cd")));
  EXPECT_EQ(ReadFileBytes(dir_.Path("t.edb")).substr(rec + 6, 100), "cd" + std::string(98, '\0'));
}

TEST(FileNames, DefaultExtensionCompanionAndTableName) {
  using store::ReplaceExtension;
  using store::TableNameOf;
  using store::WithDefaultExtension;
  EXPECT_EQ(WithDefaultExtension("data/rz35"), "data/rz35.EDB");
  EXPECT_EQ(WithDefaultExtension("data/rz35."), "data/rz35.EDB");
  EXPECT_EQ(WithDefaultExtension("data/rz35.edb"), "data/rz35.edb");
  EXPECT_EQ(WithDefaultExtension("da.ta/rz35"), "da.ta/rz35.EDB");
  EXPECT_EQ(ReplaceExtension("data/rz35.edb", "edt"), "data/rz35.edt");
  EXPECT_EQ(TableNameOf("data/rz35.edb"), "rz35");
  EXPECT_EQ(TableNameOf("rz35"), "rz35");
}

TEST(FileNames, CompanionFollowsTheLetterCaseOfTheTableFile) {
  TempDir dir;
  // An upper-case pair made by another system, and a lower-case table whose
  // companion was spelled upper case.
  MakeTable(dir.GbkPath("UP.EDB"), DiaryFields());
  std::rename(dir.Path("UP.edt").c_str(), dir.Path("UP.EDT").c_str());
  MakeTable(dir.GbkPath("mixed.edb"), DiaryFields());
  std::rename(dir.Path("mixed.edt").c_str(), dir.Path("mixed.EDT").c_str());
  RecordStore s;
  ASSERT_TRUE(s.OpenTable(dir.GbkPath("UP"))) << store::LastError();  // default extension finds UP.EDB
  ASSERT_TRUE(s.AddRecord({DateTime(1), std::string("up")}));
  ASSERT_TRUE(s.OpenTable(dir.GbkPath("mixed.edb"))) << store::LastError();
  ASSERT_TRUE(s.AddRecord({DateTime(1), std::string("mixed")}));
  EXPECT_EQ(ReadFileBytes(dir.Path("UP.EDT")).size(), 1024u);
  EXPECT_EQ(ReadFileBytes(dir.Path("mixed.EDT")).size(), 1024u);
  EXPECT_EQ(store::CompanionPathFor(dir.GbkPath("new.edb")), dir.GbkPath("new.edt"));
  EXPECT_EQ(store::CompanionPathFor(dir.GbkPath("NEW.EDB")), dir.GbkPath("NEW.EDT"));
}

}  // namespace
}  // namespace tarvok::test
