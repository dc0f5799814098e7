// EnsureDataFiles on a real folder, and the four tables as the store sees
// them afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "store/format.h"
#include "store/record_store.h"
#include "tables/tables.h"
#include "tests/support/fault_fs.h"
#include "tests/support/temp_dir.h"

namespace tarvok::tables {
namespace {

using test::FaultFileSystem;
using test::FsOp;
using test::ReadFileBytes;
using test::ScopedFileSystem;
using test::TempDir;

const char* const kFiles[] = {"rz35.edb", "rz35.edt", "tx35.edb",
                              "bw35.edb", "bw35.edt", "lxr35.edb"};
const size_t kSizes[] = {260, 512, 404, 188, 512, 332};

std::string ProgramDirOf(const TempDir& dir) { return Utf8ToGb18030(dir.path()); }

std::string DataFile(const TempDir& dir, const char* file) {
  return dir.path() + "/data/" + file;
}

std::string ImageOf(const char* file) {
  for (const TableImage& i : TableImages()) {
    if (std::string(i.file) == file) return std::string(i.bytes.begin(), i.bytes.end());
  }
  ADD_FAILURE() << "no image " << file;
  return {};
}

// The folder's entries by name, with their bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
    out[e.path().filename().string()] = ReadFileBytes(e.path().string());
  }
  return out;
}

bool OpenTables(store::RecordStore* s, const TempDir& dir) {
  for (const TableDef* t : AllTables()) {
    if (!s->OpenTable(Utf8ToGb18030(DataFile(dir, t->file)))) return false;
  }
  return true;
}

TEST(EnsureDataFiles, EmptyFolderGetsSixFilesThatOpenAsEmptyPlainTables) {
  TempDir dir;
  EnsureDataFiles(ProgramDirOf(dir));

  struct stat st {};
  ASSERT_EQ(stat((dir.path() + "/data").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  for (size_t i = 0; i < 6; ++i) {
    const std::string bytes = ReadFileBytes(DataFile(dir, kFiles[i]));
    EXPECT_EQ(bytes.size(), kSizes[i]) << kFiles[i];
    EXPECT_EQ(bytes, ImageOf(kFiles[i])) << kFiles[i];
  }
  EXPECT_EQ(Snapshot(dir.path() + "/data").size(), 6u) << "no temporary file is left";

  store::RecordStore s;
  for (const TableDef* t : AllTables()) {
    SCOPED_TRACE(t->name);
    const std::string path = Utf8ToGb18030(DataFile(dir, t->file));
    EXPECT_FALSE(s.IsProtected(path));
    ASSERT_TRUE(s.OpenTable(path)) << store::LastError();
    ASSERT_TRUE(s.SelectTable(t->name));
    EXPECT_EQ(s.RecordCount(), 0);
    ASSERT_EQ(s.FieldCount(), static_cast<int>(t->fields.size()));
    for (size_t f = 0; f < t->fields.size(); ++f) {
      const auto info = s.FieldInfo(t->fields[f].name);
      ASSERT_TRUE(info.has_value()) << f;
      EXPECT_EQ(info->type, t->fields[f].type);
      EXPECT_EQ(info->offset, t->fields[f].offset);
      EXPECT_EQ(info->width, t->fields[f].width);
      EXPECT_EQ(s.FieldName(static_cast<int>(f) + 1), t->fields[f].name) << "descriptor order";
    }
  }
}

// The first record of each fresh table: its RecordId on disk, and the values
// coming back through the record types.
TEST(EnsureDataFiles, FirstRecordsTakeTheImagesNextIds) {
  TempDir dir;
  EnsureDataFiles(ProgramDirOf(dir));
  store::RecordStore s;
  ASSERT_TRUE(OpenTables(&s, dir));

  const DiaryEntry diary{MakeDate(2024, 2, 29), "今天"_gbk};
  const PeriodicEvent event{MakeDate(2024, 1, 31), 3, RecurrenceUnit::kMonth,
                            std::string(100, 'x')};  // full width, no terminator
  const MemoNote memo{"便签"_gbk};
  const Contact contact{"张三丰"_gbk, "13800138000", "备注"_gbk};

  ASSERT_TRUE(s.SelectTable(kDiaryTable));
  ASSERT_TRUE(s.AddRecord(RecordValues(diary)));
  EXPECT_EQ(ReadDiaryEntry(s), diary);
  ASSERT_TRUE(s.SelectTable(kEventTable));
  ASSERT_TRUE(s.AddRecord(RecordValues(event)));
  EXPECT_EQ(ReadPeriodicEvent(s), event);
  ASSERT_TRUE(s.SelectTable(kMemoTable));
  ASSERT_TRUE(s.AddRecord(RecordValues(memo)));
  EXPECT_EQ(ReadMemoNote(s), memo);
  ASSERT_TRUE(s.SelectTable(kContactTable));
  ASSERT_TRUE(s.AddRecord(RecordValues(contact)));
  EXPECT_EQ(ReadContact(s), contact);
  s.CloseAllTables();

  const struct {
    const char* file;
    size_t image_size;
    int32_t record_size;
    int32_t first_id;
  } rows[] = {{"rz35.edb", 260, 16, 209},
              {"tx35.edb", 404, 118, 15},
              {"bw35.edb", 188, 8, 7},
              {"lxr35.edb", 332, 129, 8}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.file);
    const std::string bytes = ReadFileBytes(DataFile(dir, r.file));
    ASSERT_EQ(bytes.size(), r.image_size + r.record_size);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_EQ(store::GetI32(p + r.image_size), r.first_id);
    EXPECT_EQ(store::GetI32(p + store::kOffNextId), r.first_id + 1);
  }
  // The 100-byte reminder fills its field exactly, the unit its 2 bytes.
  const std::string tx = ReadFileBytes(DataFile(dir, "tx35.edb"));
  EXPECT_EQ(tx.substr(404 + 16, 2), RecurrenceUnitText(RecurrenceUnit::kMonth));
  EXPECT_EQ(tx.substr(404 + 18, 100), std::string(100, 'x'));
}

TEST(EnsureDataFiles, OnlyTheMissingCompanionIsRewritten) {
  TempDir dir;
  EnsureDataFiles(ProgramDirOf(dir));
  {
    store::RecordStore s;
    ASSERT_TRUE(OpenTables(&s, dir));
    ASSERT_TRUE(s.SelectTable(kDiaryTable));
    ASSERT_TRUE(s.AddRecord(RecordValues(DiaryEntry{MakeDate(2024, 5, 1), "日志"_gbk})));
    ASSERT_TRUE(s.SelectTable(kEventTable));
    ASSERT_TRUE(s.AddRecord(RecordValues(
        PeriodicEvent{MakeDate(2024, 5, 1), 1, RecurrenceUnit::kYear, "生日"_gbk})));
    ASSERT_TRUE(s.SelectTable(kMemoTable));
    ASSERT_TRUE(s.AddRecord(RecordValues(MemoNote{std::string(1200, 'm')})));  // three blocks
    ASSERT_TRUE(s.SelectTable(kContactTable));
    ASSERT_TRUE(s.AddRecord(RecordValues(Contact{"李四"_gbk, "1", ""})));
  }
  ASSERT_EQ(unlink(DataFile(dir, "bw35.edt").c_str()), 0);
  auto before = Snapshot(dir.path() + "/data");
  ASSERT_EQ(before.size(), 5u);
  for (const auto& [name, bytes] : before) {
    EXPECT_NE(bytes, ImageOf(name.c_str())) << name << " must differ from its image for this test";
  }

  EnsureDataFiles(ProgramDirOf(dir));

  auto after = Snapshot(dir.path() + "/data");
  EXPECT_EQ(after["bw35.edt"], ImageOf("bw35.edt"));
  after.erase("bw35.edt");
  EXPECT_EQ(after, before) << "the five other files stay as they were";

  // bw35 keeps its record; its chain now points past the empty companion,
  // which the store must read without harm.
  store::RecordStore s;
  ASSERT_TRUE(OpenTables(&s, dir));
  ASSERT_TRUE(s.SelectTable(kMemoTable));
  EXPECT_EQ(s.RecordCount(), 1);
  EXPECT_NE(ReadMemoNote(s).text, std::string(1200, 'm'));
}

TEST(EnsureDataFiles, AnExistingFileIsNeverTouchedWhateverItHolds) {
  TempDir dir;
  ASSERT_EQ(mkdir((dir.path() + "/data").c_str(), 0700), 0);
  test::WriteFileBytes(DataFile(dir, "tx35.edb"), "");  // empty: not a table
  test::WriteFileBytes(DataFile(dir, "rz35.edt"), "junk");
  EnsureDataFiles(ProgramDirOf(dir));
  EXPECT_EQ(ReadFileBytes(DataFile(dir, "tx35.edb")), "");
  EXPECT_EQ(ReadFileBytes(DataFile(dir, "rz35.edt")), "junk");
  EXPECT_EQ(ReadFileBytes(DataFile(dir, "lxr35.edb")), ImageOf("lxr35.edb"));
}

TEST(EnsureDataFiles, ProgramDirectoryWithChineseName) {
  TempDir dir;
  const std::string sub = dir.path() + "/塔沃克";
  ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
  EnsureDataFiles(Utf8ToGb18030(sub));
  EXPECT_EQ(ReadFileBytes(sub + "/data/rz35.edb"), ImageOf("rz35.edb"));
}

// A folder that cannot be made or written: nothing crashes, nothing appears.
TEST(EnsureDataFiles, UnwritablePlacesLeaveNothingBehind) {
  TempDir dir;
  // The program directory is a plain file, so `data` cannot be made.
  test::WriteFileBytes(dir.Path("file"), "x");
  EnsureDataFiles(Utf8ToGb18030(dir.Path("file")));
  EXPECT_EQ(Snapshot(dir.path()).size(), 1u);

  // A read-only file system refuses every create.
  ASSERT_EQ(mkdir((dir.path() + "/data").c_str(), 0700), 0);
  {
    FaultFileSystem fs;
    ScopedFileSystem use(&fs);
    fs.FailFrom(FsOp::kOpen, 1, EROFS);
    EnsureDataFiles(ProgramDirOf(dir));
    EXPECT_EQ(fs.Calls(FsOp::kOpen), 6u) << "each file is tried on its own";
  }
  EXPECT_TRUE(Snapshot(dir.path() + "/data").empty());
}

TEST(EnsureDataFiles, ReadOnlyFolders) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  TempDir dir;
  const std::string prog = dir.Path("prog");
  ASSERT_EQ(mkdir(prog.c_str(), 0500), 0);
  EnsureDataFiles(Utf8ToGb18030(prog));
  EXPECT_FALSE(std::filesystem::exists(prog + "/data"));

  ASSERT_EQ(chmod(prog.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((prog + "/data").c_str(), 0500), 0);
  EnsureDataFiles(Utf8ToGb18030(prog));
  EXPECT_TRUE(Snapshot(prog + "/data").empty());
  chmod((prog + "/data").c_str(), 0700);  // so that the folder can be removed
}

// A disk that fails during any step of writing any file: the real name gets
// the whole image or nothing, no temporary file stays, and the next start
// completes what is missing.
TEST(EnsureDataFiles, FailedStepsLeaveNoPartialFile) {
  const struct {
    const char* label;
    FsOp op;
    bool tear;
  } kinds[] = {
      {"write", FsOp::kWrite, false},
      {"torn write", FsOp::kWrite, true},
      {"sync", FsOp::kSync, false},
      {"rename", FsOp::kRename, false},
  };
  for (const auto& kind : kinds) {
    for (uint64_t k = 1;; ++k) {
      SCOPED_TRACE(std::string(kind.label) + " " + std::to_string(k));
      TempDir dir;
      uint64_t injected = 0;
      {
        FaultFileSystem fs;
        ScopedFileSystem use(&fs);
        if (kind.tear) {
          fs.TearNthWrite(k, ENOSPC);
        } else {
          fs.FailNth(kind.op, k, ENOSPC);
        }
        EnsureDataFiles(ProgramDirOf(dir));
        injected = fs.Injected();
      }
      const auto files = Snapshot(dir.path() + "/data");
      for (const auto& [name, bytes] : files) {
        EXPECT_EQ(bytes, ImageOf(name.c_str())) << name << " is whole or absent";
      }
      if (injected == 0) {
        EXPECT_EQ(files.size(), 6u);
        EXPECT_EQ(k, 7u) << "one step of each kind per file";
        break;
      }
      EXPECT_EQ(files.size(), 5u) << "only the failed file is missing";
      EnsureDataFiles(ProgramDirOf(dir));
      EXPECT_EQ(Snapshot(dir.path() + "/data").size(), 6u);
      ASSERT_LT(k, 20u);
    }
  }
}

}  // namespace
}  // namespace tarvok::tables
