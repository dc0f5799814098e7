// Opening real files whose bytes were edited: each refusal and each repair.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/store/store_util.h"

namespace tarvok::test {
namespace {

using store::LastError;

class OpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.GbkPath("rz35.edb");
    MakeTable(path_, DiaryFields());
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    ASSERT_TRUE(s.AddRecord({DateTime(41000), std::string(1200, 'a')}));  // blocks 1-3
    ASSERT_TRUE(s.AddRecord({DateTime(41001), std::string("b")}));       // block 4
  }
  std::string T() { return dir_.Path("rz35.edb"); }
  std::string C() { return dir_.Path("rz35.edt"); }
  int OpenCode(Access access = Access::kReadWrite) {
    RecordStore s;
    s.OpenTable(path_, {.access = access});
    return LastError();
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(OpenTest, MalformedTableFilesAreRefused) {
  struct Row {
    const char* name;
    std::function<void(std::string*)> edit;
    int code;
  } rows[] = {
      {"short header", [](std::string* b) { b->resize(100); }, -22},
      {"foreign magic", [](std::string* b) { (*b)[0] = 'X'; }, -22},
      {"record size 0", [](std::string* b) { PutI32At(b, 0x18, 0); }, -22},
      {"negative record count", [](std::string* b) { PutI32At(b, 0x10, -1); }, -22},
      {"next id 0", [](std::string* b) { PutI32At(b, 0x14, 0); }, -22},
      {"newer version", [](std::string* b) { PutI32At(b, 4, 0x10001); }, -23},
      {"no field", [](std::string* b) { PutI32At(b, 0x70, 0); }, -22},
      {"more fields than the file holds", [](std::string* b) { PutI32At(b, 0x70, 1000000); }, -22},
      {"name without terminator", [](std::string* b) { b->replace(0x74, 17, std::string(17, 'n')); }, -22},
      {"type 13", [](std::string* b) { PutI32At(b, 0x74 + 0x14, 13); }, -22},
      {"negative offset", [](std::string* b) { PutI32At(b, 0x74 + 0x18, -4); }, -22},
      {"text of width 0", [](std::string* b) { PutI32At(b, 0x74 + 0x14, 10); }, -22},
  };
  const std::string good = ReadFileBytes(T());
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    std::string b = good;
    r.edit(&b);
    WriteFileBytes(T(), b);
    EXPECT_EQ(OpenCode(), r.code);
    EXPECT_EQ(ReadFileBytes(T()), b) << "a refused open changed the file";
  }
}

TEST_F(OpenTest, MissingRecordsAreCountedAwayUnlessReadOnly) {
  EditFile(T(), [](std::string* b) { b->resize(b->size() - 10); });  // cuts into record 2
  const std::string cut = ReadFileBytes(T());
  EXPECT_EQ(OpenCode(Access::kReadOnly), -48);
  EXPECT_EQ(ReadFileBytes(T()), cut);
  RecordStore s;
  ASSERT_TRUE(s.OpenTable(path_));
  EXPECT_EQ(s.RecordCount(), 1);
  EXPECT_EQ(ReadFileBytes(T()).size(), 260u + 16);
  EXPECT_EQ(Text(s.ReadField(TextField())), std::string(1200, 'a'));
}

TEST_F(OpenTest, TrailingBytesGoOnTheNextReadWriteOpen) {
  EditFile(T(), [](std::string* b) { b->append("junk"); });
  EXPECT_EQ(OpenCode(Access::kReadOnly), 0);
  EXPECT_EQ(ReadFileBytes(T()).size(), 260u + 32 + 4);
  EXPECT_EQ(OpenCode(), 0);
  EXPECT_EQ(ReadFileBytes(T()).size(), 260u + 32);
}

TEST_F(OpenTest, MalformedCompanionFilesAreRefused) {
  struct Row {
    const char* name;
    std::function<void(std::string*)> edit;
    int code;
  } rows[] = {
      {"short header", [](std::string* b) { b->resize(20); }, -35},
      {"foreign magic", [](std::string* b) { (*b)[3] = 'X'; }, -35},
      {"block count 0", [](std::string* b) { PutI32At(b, 0x10, 0); }, -35},
      {"free count not below block count", [](std::string* b) { PutI32At(b, 0x14, 5); }, -35},
      {"first free past the end", [](std::string* b) { PutI32At(b, 0x18, 5); }, -35},
      {"other version", [](std::string* b) { PutI32At(b, 4, 0x20000); }, -36},
  };
  const std::string good = ReadFileBytes(C());
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    std::string b = good;
    r.edit(&b);
    WriteFileBytes(C(), b);
    EXPECT_EQ(OpenCode(), r.code);
  }
  std::filesystem::remove(C());
  EXPECT_EQ(OpenCode(), -35);
}

TEST_F(OpenTest, CompanionShorterThanItsBlockCount) {
  EditFile(C(), [](std::string* b) { b->resize(4 * 512 + 100); });  // block 4 cut short
  EXPECT_EQ(OpenCode(Access::kReadOnly), -37);
  RecordStore s;
  ASSERT_TRUE(s.OpenTable(path_));
  EXPECT_EQ(I32At(ReadFileBytes(C()), 0x10), 4);
  EXPECT_EQ(Text(s.ReadField(TextField())), std::string(1200, 'a'));
  s.GoToRecord(2);
  EXPECT_EQ(Text(s.ReadField(TextField())), "");
  EXPECT_EQ(LastError(), -59);  // its block is gone
  // Writing it again allocates past the (repaired) end and reads back.
  ASSERT_TRUE(s.WriteField(TextField(), std::string("again"))) << LastError();
  EXPECT_EQ(Text(s.ReadField(TextField())), "again");
}

TEST_F(OpenTest, DamagedChainsFailWithoutLoopingOrReadingOutside) {
  struct Row {
    const char* name;
    std::function<void(std::string*)> edit;
  } rows[] = {
      {"cycle back to the first block", [](std::string* c) { PutI32At(c, 3 * 512 + 4, 1); }},
      {"cycle onto itself", [](std::string* c) { PutI32At(c, 2 * 512 + 4, 2); }},
      {"next at the block count", [](std::string* c) { PutI32At(c, 2 * 512 + 4, 5); }},
      {"next far past the file", [](std::string* c) { PutI32At(c, 1 * 512 + 4, 0x7FFFFFFF); }},
      {"negative next", [](std::string* c) { PutI32At(c, 1 * 512 + 4, -3); }},
      {"used above 500", [](std::string* c) { PutI32At(c, 2 * 512 + 8, 501); }},
      {"negative used", [](std::string* c) { PutI32At(c, 2 * 512 + 8, -1); }},
  };
  const std::string good = ReadFileBytes(C());
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    std::string c = good;
    r.edit(&c);
    WriteFileBytes(C(), c);
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    EXPECT_EQ(Text(s.ReadField(TextField())), "");
    EXPECT_EQ(LastError(), -59);
    // The entry can be written anew; the other record is untouched.
    ASSERT_TRUE(s.WriteField(TextField(), std::string(2000, 'z'))) << LastError();
    EXPECT_EQ(Text(s.ReadField(TextField())), std::string(2000, 'z'));
    s.GoToRecord(2);
    EXPECT_EQ(Text(s.ReadField(TextField())), "b");
  }
}

TEST_F(OpenTest, ChainsIntoAnEmptyCompanionReadAsDamaged) {
  auto img = store::EmptyCompanionImage(41365.5);
  WriteFileBytes(C(), std::string(img.begin(), img.end()));
  RecordStore s;
  ASSERT_TRUE(s.OpenTable(path_));
  EXPECT_EQ(Text(s.ReadField(TextField())), "");
  EXPECT_EQ(LastError(), -59);
  // The date is still there, and a new text starts a fresh chain.
  EXPECT_EQ(std::get<DateTime>(s.ReadField(DateField())).value, 41000.0);
}

TEST_F(OpenTest, PasswordsMustFitTheMagic) {
  RecordStore s;
  EXPECT_FALSE(s.OpenTable(path_, {.password = "secret"}));
  EXPECT_EQ(LastError(), -78);
  // "?" on a plain table opens it without asking.
  int asked = 0;
  store::SetPasswordPromptHook([&](int, const std::string&) {
    ++asked;
    return std::optional<std::string>("x");
  });
  EXPECT_TRUE(s.OpenTable(path_, {.password = "?"}));
  EXPECT_EQ(asked, 0);
  store::SetPasswordPromptHook(nullptr);
}

}  // namespace
}  // namespace tarvok::test

namespace tarvok::test {
namespace {

// Headers that open (their damage is not checked at open) but on which a
// write would go wrong: the write is refused and the file stays as it was.
TEST(DamagedHeaders, WritesThatCannotBeStoredAreRefused) {
  struct Row {
    const char* name;
    std::function<void(std::string*)> edit;
    std::function<bool(RecordStore&)> write;
    int code;
  } rows[] = {
      {"record ids spent", [](std::string* b) { PutI32At(b, 0x14, 0x7FFFFFFF); },
       [](RecordStore& s) { return s.AddRecord({int32_t(1)}); }, -63},
      {"record size below the RecordId", [](std::string* b) { PutI32At(b, 0x18, 2); },
       [](RecordStore& s) { return s.AddRecord({}); }, -63},
      {"field placed past the record", [](std::string* b) { PutI32At(b, 0x74 + 0x18, 400); },
       [](RecordStore& s) { return s.AddRecord({int32_t(1)}); }, -47},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    TempDir dir;
    MakeTable(dir.GbkPath("t.edb"), {{"v", FieldType::kInt32, 0, 0}});
    EditFile(dir.Path("t.edb"), r.edit);
    const std::string before = ReadFileBytes(dir.Path("t.edb"));
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(dir.GbkPath("t.edb"))) << LastError();
    EXPECT_FALSE(r.write(s));
    EXPECT_EQ(LastError(), r.code);
    EXPECT_EQ(ReadFileBytes(dir.Path("t.edb")), before);
  }
}

}  // namespace
}  // namespace tarvok::test
