// The settings file: reading values by section and key, writing one value
// while keeping every other byte of the file, and writes that fail at any
// step of the file system leaving the old file whole.
#include "platform/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "tests/support/fault_fs.h"
#include "tests/support/temp_dir.h"

namespace tarvok::platform {
namespace {

using test::FaultFileSystem;
using test::FsOp;
using test::ReadFileBytes;
using test::ScopedFileSystem;
using test::TempDir;
using test::WriteFileBytes;

constexpr size_t kMax = kProfileReadBuffer - 1;

// GBK characters whose second byte is 'A', 'a' and ']'.
const std::string kA = "\x81\x41";
const std::string kLowA = "\x81\x61";
const std::string kBracketChar = "\x81\x5D";
const std::string kPair = "\xB0\xA1";         // 啊
const std::string kFour = "\x81\x30\x81\x30";  // U+0080, a GB18030 four-byte character

std::string Name(const std::string& label) {
  std::string s = label;
  for (char& c : s) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = '_';
  }
  return s;
}

// Names of the folder's entries: a write leaves nothing beside the file.
std::vector<std::string> Entries(const TempDir& dir) {
  return PosixFileSystem()->List(Utf8ToGb18030(dir.path()));
}

struct ReadCase {
  std::string label;
  std::optional<std::string> file;  // nullopt: no file
  std::string section, key, fallback;
  std::string expected;
};

std::vector<ReadCase> ReadCases() {
  const std::string s = "[s]\r\n";
  return {
      {"missing file", std::nullopt, "s", "k", "dflt", "dflt"},
      {"empty file", "", "s", "k", "dflt", "dflt"},
      {"plain", s + "k=v\r\n", "s", "k", "d", "v"},
      {"LF endings", "[s]\nk=v\n", "s", "k", "d", "v"},
      {"no final newline", "[s]\r\nk=v", "s", "k", "d", "v"},
      {"empty value is not the default", s + "k=\r\n", "s", "k", "d", ""},
      {"missing key", s + "a=1\r\n", "s", "k", "d", "d"},
      {"missing section", "[t]\r\nk=1\r\n", "s", "k", "d", "d"},
      {"key of another section", "[t]\r\nk=1\r\n[s]\r\na=2\r\n", "s", "k", "d", "d"},
      {"section and key in other case", "[SeC]\r\nKeY=v\r\n", "sEc", "kEy", "d", "v"},
      {"GBK names", "[全局热键]\r\n呼出热键=Ctrl + A\r\n"_gbk, "全局热键"_gbk, "呼出热键"_gbk, "",
       "Ctrl + A"},
      {"GBK second byte is not case-folded (section)", "[" + kA + "]\r\nk=v\r\n", kLowA, "k", "d",
       "d"},
      {"GBK second byte is not case-folded (key)", s + kA + "=v\r\n", "s", kLowA, "d", "d"},
      {"ASCII after a GBK character is folded", "[" + kA + "X]\r\nk=v\r\n", kA + "x", "k", "d",
       "v"},
      {"GBK character ending in ']' inside a header", "[" + kBracketChar + "]\r\nk=v\r\n",
       kBracketChar, "k", "d", "v"},
      {"blanks around key, '=' and value", s + " \t k \t= \t v w \t\r\n", "s", "k", "d", "v w"},
      {"blanks inside the brackets", "  [ s ]  \r\nk=v\r\n", "s", "k", "d", "v"},
      {"blanks around the names asked for", s + "k=v\r\n", " s\t", "\tk ", "d", "v"},
      {"text after the header's ']'", "[s] ; note\r\nk=v\r\n", "s", "k", "d", "v"},
      {"no inline comment after a value", s + "k=1 ; x\r\n", "s", "k", "d", "1 ; x"},
      {"'=' inside the value", s + "k=a=b\r\n", "s", "k", "d", "a=b"},
      {"double quotes dropped", s + "k=\" a b \"\r\n", "s", "k", "d", " a b "},
      {"single quotes dropped", s + "k='x'\r\n", "s", "k", "d", "x"},
      {"only one pair dropped", s + "k=\"\"x\"\"\r\n", "s", "k", "d", "\"x\""},
      {"empty quotes", s + "k=\"\"\r\n", "s", "k", "d", ""},
      {"a lone quote stays", s + "k=\"\r\n", "s", "k", "d", "\""},
      {"mismatched quotes stay", s + "k=\"x'\r\n", "s", "k", "d", "\"x'"},
      {"quote at one end stays", s + "k=x\"\r\n", "s", "k", "d", "x\""},
      {"first of duplicate keys", s + "k=1\r\nK=2\r\n", "s", "k", "d", "1"},
      {"duplicate sections read as one", "[s]\r\na=1\r\n[t]\r\nk=2\r\n[S]\r\nk=3\r\n", "s", "k",
       "d", "3"},
      {"first key across duplicate sections", "[s]\r\nk=1\r\n[s]\r\nk=2\r\n", "s", "k", "d", "1"},
      {"line without '=' is no key", s + "k\r\nk=2\r\n", "s", "k", "d", "2"},
      {"line without '=' alone", s + "k\r\n", "s", "k", "d", "d"},
      {"comment is no key", s + ";k=1\r\n", "s", ";k", "d", "d"},
      {"commented-out key", s + "; k=1\r\nk=2\r\n", "s", "k", "d", "2"},
      {"key above every header", "k=1\r\n[s]\r\n", "s", "k", "d", "d"},
      {"'[' without ']' is neither header nor key", "[s]\r\n[t=1\r\nk=v\r\n", "s", "k", "d", "v"},
      {"'[' without ']' line does not hold a key", "[s]\r\n[k=1\r\n", "s", "[k", "d", "d"},
      {"empty key asked for", s + "=v\r\n", "s", "", "d", "d"},
      {"CR alone inside a value", s + "k=a\rb\r\n", "s", "k", "d", "a\rb"},
      {"bytes that are no GBK kept", s + "k=\xFF\x80\x81\r\n", "s", "k", "d", "\xFF\x80\x81"},
      {"value of exactly the buffer less one", s + "k=" + std::string(kMax, 'x'), "s", "k", "d",
       std::string(kMax, 'x')},
      {"value of the buffer's size cut by one", s + "k=" + std::string(kMax + 1, 'x'), "s", "k",
       "d", std::string(kMax, 'x')},
      {"long value cut at the buffer", s + "k=" + std::string(30000, 'x') + "\r\nz=1\r\n", "s",
       "k", "d", std::string(kMax, 'x')},
      {"cut never splits a GBK pair", s + "k=" + std::string(kMax - 1, 'x') + kPair, "s", "k",
       "d", std::string(kMax - 1, 'x')},
      {"GBK pair that fits whole", s + "k=" + std::string(kMax - 2, 'x') + kPair + "y", "s", "k",
       "d", std::string(kMax - 2, 'x') + kPair},
      {"cut never splits a four-byte character", s + "k=" + std::string(kMax - 3, 'x') + kFour,
       "s", "k", "d", std::string(kMax - 3, 'x')},
      {"quotes dropped before the cut", s + "k=\"" + std::string(kMax, 'x') + "\"", "s", "k",
       "d", std::string(kMax, 'x')},
      {"long default cut too", std::nullopt, "s", "k", std::string(kMax + 5, 'd'),
       std::string(kMax, 'd')},
  };
}

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.label; }

class ProfileRead : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, GivesTheValueOrTheDefault) {
  const ReadCase& c = GetParam();
  TempDir dir;
  if (c.file) WriteFileBytes(dir.Path("config.ini"), *c.file);
  EXPECT_EQ(ReadProfileString(dir.GbkPath("config.ini"), c.section, c.key, c.fallback),
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileRead, testing::ValuesIn(ReadCases()),
                         [](const auto& row) { return Name(row.param.label); });

struct WriteCase {
  std::string label;
  std::optional<std::string> before;  // nullopt: no file
  std::string section, key, value;
  std::string after;
};

std::vector<WriteCase> WriteCases() {
  return {
      {"creates the file", std::nullopt, "s", "k", "v", "[s]\r\nk=v\r\n"},
      {"fills an empty file", "", "s", "k", "v", "[s]\r\nk=v\r\n"},
      {"GBK names and value", std::nullopt, "表格缩放"_gbk, "缩放比"_gbk, "百"_gbk,
       "[表格缩放]\r\n缩放比=百\r\n"_gbk},
      {"names lose their blanks", std::nullopt, " s ", "\tk ", "v", "[s]\r\nk=v\r\n"},
      {"appends a missing section", "[a]\r\nx=1\r\n", "s", "k", "v",
       "[a]\r\nx=1\r\n[s]\r\nk=v\r\n"},
      {"new lines end as the file's first line", "[a]\nx=1\r\n", "s", "k", "v",
       "[a]\nx=1\r\n[s]\nk=v\n"},
      {"one line without an ending gets CRLF", "[a]", "s", "k", "v", "[a]\r\n[s]\r\nk=v\r\n"},
      {"a last line without an ending gets one", "[a]\nx=1", "s", "k", "v",
       "[a]\nx=1\n[s]\nk=v\n"},
      {"new key after the section's last key", "[s]\r\na=1\r\n\r\n; next\r\n[t]\r\nb=2\r\n", "s",
       "k", "v", "[s]\r\na=1\r\nk=v\r\n\r\n; next\r\n[t]\r\nb=2\r\n"},
      {"new key after a header with no keys", "[s]\r\n; c\r\n[t]\r\n", "s", "k", "v",
       "[s]\r\nk=v\r\n; c\r\n[t]\r\n"},
      {"new key after a last key without an ending", "[s]\r\na=1", "s", "k", "v",
       "[s]\r\na=1\r\nk=v\r\n"},
      {"new key after a last header without an ending", "[t]\r\n[S]", "s", "k", "v",
       "[t]\r\n[S]\r\nk=v\r\n"},
      {"new key in the first of duplicate sections", "[s]\na=1\n[t]\n[s]\nb=2\n", "s", "k", "v",
       "[s]\na=1\nk=v\n[t]\n[s]\nb=2\n"},
      {"replaces a value", "[s]\r\nk=old\r\nz=1\r\n", "s", "k", "new", "[s]\r\nk=new\r\nz=1\r\n"},
      {"replace keeps spelling, blanks and ending", "[S]\r\n  K \t=  old value \t\n[t]\r\n", "s",
       "k", "1", "[S]\r\n  K \t=  1\n[t]\r\n"},
      {"replaces a quoted value", "[s]\r\nk=\"old\"\r\n", "s", "k", "v", "[s]\r\nk=v\r\n"},
      {"replaces an empty value", "[s]\r\nk=\r\n", "s", "k", "v", "[s]\r\nk=v\r\n"},
      {"replaces in a last line without an ending", "[s]\r\nk=old", "s", "k", "v", "[s]\r\nk=v"},
      {"replaces the first of duplicate keys", "[s]\nk=1\nk=2\n", "s", "k", "v",
       "[s]\nk=v\nk=2\n"},
      {"replaces in a later duplicate section", "[s]\na=1\n[s]\nk=2\n", "s", "k", "v",
       "[s]\na=1\n[s]\nk=v\n"},
      {"writes the empty value", "[s]\r\nk=old\r\n", "s", "k", "", "[s]\r\nk=\r\n"},
      {"GBK second byte not folded", "[" + kA + "]\r\nk=1\r\n", kLowA, "k", "2",
       "[" + kA + "]\r\nk=1\r\n[" + kLowA + "]\r\nk=2\r\n"},
      {"a line without '=' is not replaced", "[s]\nk\n", "s", "k", "v", "[s]\nk=v\nk\n"},
      {"a comment is not a key", "[s]\n;k=1\n", "s", "k", "v", "[s]\nk=v\n;k=1\n"},
      {"a key above every header is not replaced", "k=1\n[s]\n", "s", "k", "v",
       "k=1\n[s]\nk=v\n"},
      {"every other line kept byte for byte",
       "\xEF\xBB\xBF; head \xFF\r\n\r\n[a]\r\nk=1\r\n  junk line\t\n[s]  ; x\r\n\tj=\"q\" \r\n"
       "k = 5\r\n\r\n;k=9\r\n[ S ]\r\nk=7\r\n\x81\x5D\x80",
       "s", "k", "6",
       "\xEF\xBB\xBF; head \xFF\r\n\r\n[a]\r\nk=1\r\n  junk line\t\n[s]  ; x\r\n\tj=\"q\" \r\n"
       "k = 6\r\n\r\n;k=9\r\n[ S ]\r\nk=7\r\n\x81\x5D\x80"},
      {"blank at either end is quoted", std::nullopt, "s", "k", " a\t",
       "[s]\r\nk=\" a\t\"\r\n"},
      {"a quoted value is quoted again", std::nullopt, "s", "k", "'x'", "[s]\r\nk=\"'x'\"\r\n"},
      {"a lone quote is not quoted", std::nullopt, "s", "k", "\"x", "[s]\r\nk=\"x\r\n"},
  };
}

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.label; }

class ProfileWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyTheKeysLine) {
  const WriteCase& c = GetParam();
  TempDir dir;
  if (c.before) WriteFileBytes(dir.Path("config.ini"), *c.before);
  const std::string path = dir.GbkPath("config.ini");
  ASSERT_EQ(WriteProfileString(path, c.section, c.key, c.value), 0);
  EXPECT_EQ(ReadFileBytes(dir.Path("config.ini")), c.after);
  EXPECT_EQ(ReadProfileString(path, c.section, c.key, "default"), c.value);
  EXPECT_EQ(Entries(dir), std::vector<std::string>{"config.ini"});
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileWrite, testing::ValuesIn(WriteCases()),
                         [](const auto& row) { return Name(row.param.label); });

struct RefusedCase {
  std::string label;
  std::string section, key, value;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.label; }

class ProfileWriteRefused : public testing::TestWithParam<RefusedCase> {};

TEST_P(ProfileWriteRefused, LeavesTheFileAsItWas) {
  const RefusedCase& c = GetParam();
  TempDir dir;
  const std::string before = "[s]\n;k=1\n[k=2\nk=3\n";
  WriteFileBytes(dir.Path("config.ini"), before);
  EXPECT_EQ(WriteProfileString(dir.GbkPath("config.ini"), c.section, c.key, c.value), EINVAL);
  EXPECT_EQ(ReadFileBytes(dir.Path("config.ini")), before);
  EXPECT_EQ(WriteProfileString(dir.GbkPath("new.ini"), c.section, c.key, c.value), EINVAL);
  EXPECT_EQ(Entries(dir), std::vector<std::string>{"config.ini"}) << "no file is created";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWriteRefused,
    testing::ValuesIn(std::vector<RefusedCase>{
        {"LF in the value", "s", "k", "a\nb"},
        {"CR in the value", "s", "k", "a\rb"},
        {"NUL in the value", "s", "k", std::string("a\0b", 3)},
        {"LF in the key", "s", "a\nb", "v"},
        {"LF in the section", "a\nb", "k", "v"},
        {"empty key", "s", "", "v"},
        {"blank key", "s", " \t", "v"},
        {"'=' in the key", "s", "a=b", "v"},
        {"key opening a comment", "s", ";k", "v"},
        {"key opening a header", "s", "[k", "v"},
        {"']' in the section", "a]b", "k", "v"},
        {"section ending in half a character", "a\x81", "k", "v"},
    }),
    [](const auto& row) { return Name(row.param.label); });

// Values of every shape read back as written.
TEST(ProfileFile, ValuesReadBackAsWritten) {
  TempDir dir;
  const std::string path = dir.GbkPath("config.ini");
  const std::vector<std::string> values = {
      "", " ", "  a  ", "\t", "'", "''", "\"\"", "\"a'", "a=b", "中文 值"_gbk, ";x", "[x]",
      "\"", "x\"", "\v\f", kA, std::string(kMax, 'z'),
  };
  for (const std::string& v : values) {
    ASSERT_EQ(WriteProfileString(path, "s", "k", v), 0) << "[" << v << "]";
    EXPECT_EQ(ReadProfileString(path, "s", "k", "default"), v) << "[" << v << "]";
    EXPECT_EQ(ReadProfileString(path, "S", "K", "default"), v) << "[" << v << "]";
  }
  ASSERT_EQ(WriteProfileString(path, "s", "k", std::string(kMax + 100, 'z')), 0);
  EXPECT_EQ(ReadProfileString(path, "s", "k", ""), std::string(kMax, 'z'))
      << "written whole, read as far as the buffer holds";
}

TEST(ProfileFile, WritesKeepOneAnother) {
  TempDir dir;
  const std::string path = dir.GbkPath("config.ini");
  const std::string sections[] = {"全局热键"_gbk, "默认视图"_gbk, kA, kLowA};
  const std::string keys[] = {"功能键1"_gbk, "主热键1"_gbk, "k"};
  int n = 0;
  for (const auto& s : sections)
    for (const auto& k : keys) ASSERT_EQ(WriteProfileString(path, s, k, std::to_string(++n)), 0);
  ASSERT_EQ(WriteProfileString(path, kA, "K", "again"), 0);
  n = 0;
  for (const auto& s : sections) {
    for (const auto& k : keys) {
      ++n;
      const std::string expected = s == kA && k == "k" ? "again" : std::to_string(n);
      EXPECT_EQ(ReadProfileString(path, s, k, ""), expected);
    }
  }
}

TEST(ProfileFile, NewFileIsPrivateAndNamedFromGbk) {
  TempDir dir;
  ASSERT_EQ(WriteProfileString(dir.GbkPath("设置.ini"_gbk), "s", "k", "v"), 0);
  struct stat st {};
  ASSERT_EQ(stat(dir.Path("设置.ini").c_str(), &st), 0) << "UTF-8 name on disk";
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadProfileString(dir.GbkPath("设置.ini"_gbk), "s", "k", ""), "v");
}

TEST(ProfileFile, SameValueWritesNothing) {
  TempDir dir;
  WriteFileBytes(dir.Path("config.ini"), "[s]\nk = \"5\"\n");
  FaultFileSystem fs;
  ScopedFileSystem use(&fs);
  EXPECT_EQ(WriteProfileString(dir.GbkPath("config.ini"), "S", "K", "5"), 0);
  EXPECT_EQ(fs.Calls(FsOp::kWrite), 0u);
  EXPECT_EQ(fs.Calls(FsOp::kRename), 0u);
  EXPECT_EQ(ReadFileBytes(dir.Path("config.ini")), "[s]\nk = \"5\"\n");
}

TEST(ProfileFile, UnreadableFileIsNeitherReadNorOverwritten) {
  TempDir dir;
  const std::string before = "[s]\r\nk=1\r\nother=2\r\n";
  WriteFileBytes(dir.Path("config.ini"), before);
  const std::string path = dir.GbkPath("config.ini");
  for (FsOp op : {FsOp::kOpen, FsOp::kRead}) {
    FaultFileSystem fs;
    ScopedFileSystem use(&fs);
    fs.FailNth(op, 1, EACCES);
    EXPECT_EQ(ReadProfileString(path, "s", "k", "d"), "d");
    fs.FailNth(op, 1, EACCES);
    EXPECT_EQ(WriteProfileString(path, "s", "k", "9"), EACCES);
    EXPECT_EQ(ReadFileBytes(dir.Path("config.ini")), before);
  }
  // A folder where the file should be.
  ASSERT_EQ(mkdir(dir.Path("sub.ini").c_str(), 0700), 0);
  EXPECT_NE(WriteProfileString(dir.GbkPath("sub.ini"), "s", "k", "9"), 0);
  EXPECT_EQ(ReadProfileString(dir.GbkPath("sub.ini"), "s", "k", "d"), "d");
}

TEST(ProfileFile, ShortReadsStillTakeInTheWholeFile) {
  TempDir dir;
  std::string before = "[s]\r\n";
  for (int i = 0; i < 2000; ++i) {
    before += "key" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  }
  WriteFileBytes(dir.Path("config.ini"), before);
  const std::string path = dir.GbkPath("config.ini");
  for (uint64_t k = 1; k <= 4; ++k) {
    FaultFileSystem fs;
    ScopedFileSystem use(&fs);
    fs.ShortenNthRead(k);
    EXPECT_EQ(ReadProfileString(path, "s", "key1999", "d"), "1999") << "read " << k;
    fs.ShortenNthRead(k);
    ASSERT_EQ(WriteProfileString(path, "s", "new", "x"), 0) << "read " << k;
    EXPECT_EQ(ReadFileBytes(dir.Path("config.ini")), before + "new=x\r\n") << "read " << k;
    WriteFileBytes(dir.Path("config.ini"), before);
  }
}

struct Fault {
  std::string label;
  FsOp op;
  bool tear;
};

class ProfileWriteFault : public testing::TestWithParam<Fault> {};

// Fails the k-th call of one kind, for k = 1, 2, ... until the write makes
// fewer calls: each failure is reported and leaves the old file, and nothing
// beside it; the run without a fault writes the new value.
TEST_P(ProfileWriteFault, LeavesTheOldFileWhole) {
  const Fault& f = GetParam();
  for (const bool exists : {true, false}) {
    const std::string before = "; c\r\n[s]\r\nk=old\r\n[t]\r\nx=1";
    for (uint64_t k = 1;; ++k) {
      TempDir dir;
      if (exists) WriteFileBytes(dir.Path("config.ini"), before);
      const std::string path = dir.GbkPath("config.ini");
      FaultFileSystem fs;
      int rc;
      {
        ScopedFileSystem use(&fs);
        if (f.tear) {
          fs.TearNthWrite(k, ENOSPC);
        } else {
          fs.FailNth(f.op, k, EIO);
        }
        rc = WriteProfileString(path, "s", "k", "new");
      }
      if (fs.Injected() == 0) {
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(ReadFileBytes(dir.Path("config.ini")),
                  exists ? "; c\r\n[s]\r\nk=new\r\n[t]\r\nx=1" : "[s]\r\nk=new\r\n");
        if (exists || f.op != FsOp::kRead) {
          EXPECT_GT(k, 1u) << "the write makes such a call";
        }
        break;
      }
      EXPECT_NE(rc, 0) << "call " << k;
      if (exists) {
        EXPECT_EQ(Entries(dir), std::vector<std::string>{"config.ini"}) << "call " << k;
        EXPECT_EQ(ReadFileBytes(dir.Path("config.ini")), before) << "call " << k;
      } else {
        EXPECT_EQ(Entries(dir), std::vector<std::string>{}) << "call " << k;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileWriteFault,
                         testing::Values(Fault{"open", FsOp::kOpen, false},
                                         Fault{"read", FsOp::kRead, false},
                                         Fault{"write", FsOp::kWrite, false},
                                         Fault{"torn_write", FsOp::kWrite, true},
                                         Fault{"sync", FsOp::kSync, false},
                                         Fault{"rename", FsOp::kRename, false}),
                         [](const auto& row) { return row.param.label; });

// The folder sync comes after the rename: its failure cannot undo the write,
// and the write stands.
TEST(ProfileFile, FolderSyncFailureKeepsTheWrite) {
  TempDir dir;
  FaultFileSystem fs;
  ScopedFileSystem use(&fs);
  fs.FailNth(FsOp::kSyncDirectory, 1, EIO);
  EXPECT_EQ(WriteProfileString(dir.GbkPath("config.ini"), "s", "k", "v"), 0);
  EXPECT_EQ(fs.Injected(), 1u);
  EXPECT_EQ(ReadFileBytes(dir.Path("config.ini")), "[s]\r\nk=v\r\n");
}

}  // namespace
}  // namespace tarvok::platform
