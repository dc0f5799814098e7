// Files and paths of the POSIX file system: bytes at offsets, dispositions,
// GBK paths as UTF-8 names, and the errors of missing or impossible paths.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/gbk.h"
#include "tests/support/temp_dir.h"

namespace tarvok::platform {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string ReadAt(File& file, uint64_t offset, size_t n) {
  std::string buf(n, '\xEE');
  size_t got = 99;
  EXPECT_EQ(file.Read(offset, buf.data(), n, &got), 0);
  buf.resize(got);
  return buf;
}

// Size on disk, or -1 when the file is absent.
long long DiskSize(const std::string& native) {
  struct stat st {};
  return stat(native.c_str(), &st) == 0 ? st.st_size : -1;
}

TEST(PosixFile, WritesReadsAndResizesAtOffsets) {
  TempDir dir;
  std::unique_ptr<File> f;
  ASSERT_EQ(PosixFileSystem()->Open(dir.GbkPath("t"), Access::kReadWrite, Sharing::kShared,
                                    Disposition::kCreateNew, &f),
            0);
  ASSERT_EQ(f->Write(0, "abc", 3), 0);
  ASSERT_EQ(f->Write(6, "XY", 2), 0);  // leaves a hole at 3..5
  EXPECT_EQ(ReadFileBytes(dir.Path("t")), std::string("abc\0\0\0XY", 8));
  uint64_t size = 0;
  ASSERT_EQ(f->Size(&size), 0);
  EXPECT_EQ(size, 8u);

  EXPECT_EQ(ReadAt(*f, 1, 100), std::string("bc\0\0\0XY", 7)) << "short only at the end";
  EXPECT_EQ(ReadAt(*f, 8, 4), "");
  EXPECT_EQ(ReadAt(*f, 1000, 4), "");

  ASSERT_EQ(f->Truncate(4), 0);
  EXPECT_EQ(ReadFileBytes(dir.Path("t")), std::string("abc\0", 4));
  ASSERT_EQ(f->Truncate(6), 0);
  EXPECT_EQ(ReadAt(*f, 0, 10), std::string("abc\0\0\0", 6)) << "growing adds zeros";
  EXPECT_EQ(f->Sync(), 0);
}

// The kernel takes only part of a write that crosses the file size limit and
// refuses the rest with EFBIG: the first part must be written and the
// refusal reported, not the short count taken for success.
TEST(PosixFile, WriteContinuesAfterAShortWriteAndReportsTheRefusal) {
  TempDir dir;
  std::unique_ptr<File> f;
  ASSERT_EQ(PosixFileSystem()->Open(dir.GbkPath("t"), Access::kReadWrite, Sharing::kShared,
                                    Disposition::kCreateNew, &f),
            0);
  EXPECT_EXIT(
      {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 1000;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) std::_Exit(2);
        const std::string data(1500, 'w');
        const int err = f->Write(0, data.data(), data.size());
        uint64_t size = 0;
        f->Size(&size);
        std::fprintf(stderr, "write gave %d, size %llu\n", err,
                     static_cast<unsigned long long>(size));
        std::_Exit(err == EFBIG && size == 1000 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(PosixFile, ReadOnlyFileRefusesChanges) {
  TempDir dir;
  WriteFileBytes(dir.Path("t"), "keep");
  std::unique_ptr<File> f;
  ASSERT_EQ(PosixFileSystem()->Open(dir.GbkPath("t"), Access::kReadOnly, Sharing::kShared,
                                    Disposition::kOpenExisting, &f),
            0);
  EXPECT_EQ(f->Write(0, "x", 1), EBADF);
  EXPECT_NE(f->Truncate(0), 0);
  EXPECT_EQ(ReadAt(*f, 0, 10), "keep");
  EXPECT_EQ(ReadFileBytes(dir.Path("t")), "keep");
}

TEST(PosixFile, Dispositions) {
  constexpr long long kAbsent = -1;
  struct Case {
    const char* name;
    Access access;
    Disposition disposition;
    bool exists_before;  // as a 4-byte file
    int error;
    long long size_after;
  } cases[] = {
      {"open existing", Access::kReadWrite, Disposition::kOpenExisting, true, 0, 4},
      {"open existing, missing", Access::kReadWrite, Disposition::kOpenExisting, false, ENOENT,
       kAbsent},
      {"read-only open existing", Access::kReadOnly, Disposition::kOpenExisting, true, 0, 4},
      {"read-only, missing", Access::kReadOnly, Disposition::kOpenExisting, false, ENOENT,
       kAbsent},
      {"create always truncates", Access::kReadWrite, Disposition::kCreateAlways, true, 0, 0},
      {"create always, missing", Access::kReadWrite, Disposition::kCreateAlways, false, 0, 0},
      {"create new", Access::kReadWrite, Disposition::kCreateNew, false, 0, 0},
      {"create new over a file", Access::kReadWrite, Disposition::kCreateNew, true, EEXIST, 4},
      {"read-only create always", Access::kReadOnly, Disposition::kCreateAlways, true, EINVAL, 4},
      {"read-only create new", Access::kReadOnly, Disposition::kCreateNew, false, EINVAL,
       kAbsent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.exists_before) WriteFileBytes(dir.Path("t"), "data");
    std::unique_ptr<File> f;
    EXPECT_EQ(
        PosixFileSystem()->Open(dir.GbkPath("t"), c.access, Sharing::kShared, c.disposition, &f),
        c.error);
    EXPECT_EQ(f != nullptr, c.error == 0);
    EXPECT_EQ(DiskSize(dir.Path("t")), c.size_after);
  }
}

TEST(PosixFile, NewFilesAreOwnerOnly) {
  const mode_t old_mask = umask(0);  // so the mode shows what open asked for
  for (Disposition d : {Disposition::kCreateNew, Disposition::kCreateAlways}) {
    TempDir dir;
    std::unique_ptr<File> f;
    ASSERT_EQ(
        PosixFileSystem()->Open(dir.GbkPath("t"), Access::kReadWrite, Sharing::kShared, d, &f), 0);
    struct stat st {};
    ASSERT_EQ(stat(dir.Path("t").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
  }
  umask(old_mask);
}

TEST(PosixFile, FolderIsNoFile) {
  TempDir dir;
  for (Access access : {Access::kReadOnly, Access::kReadWrite}) {
    std::unique_ptr<File> f;
    EXPECT_EQ(PosixFileSystem()->Open(Utf8ToGb18030(dir.path()), access, Sharing::kShared,
                                      Disposition::kOpenExisting, &f),
              EISDIR);
    EXPECT_EQ(f, nullptr);
  }
}

TEST(PosixPaths, GbkNamesAreUtf8OnDisk) {
  // "笔记😀" has no GBK form; GB18030 carries it, as a name typed on Linux.
  const std::string names_utf8[] = {"日志数据.edb", "笔记😀.txt"};
  for (const std::string& utf8 : names_utf8) {
    SCOPED_TRACE(utf8);
    TempDir dir;
    FileSystem* fs = PosixFileSystem();
    const std::string gbk = Utf8ToGb18030(utf8);
    ASSERT_NE(gbk, utf8);
    std::unique_ptr<File> f;
    ASSERT_EQ(fs->Open(dir.GbkPath(gbk), Access::kReadWrite, Sharing::kShared,
                       Disposition::kCreateNew, &f),
              0);
    f.reset();
    EXPECT_TRUE(std::filesystem::exists(dir.Path(utf8)));
    EXPECT_TRUE(fs->Exists(dir.GbkPath(gbk)));
    EXPECT_EQ(fs->List(Utf8ToGb18030(dir.path())), std::vector<std::string>{gbk});

    const std::string moved = "备份"_gbk;
    ASSERT_EQ(fs->Rename(dir.GbkPath(gbk), dir.GbkPath(moved)), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.Path("备份")));
    EXPECT_EQ(fs->SyncDirectory(dir.GbkPath(moved)), 0);
    ASSERT_EQ(fs->Remove(dir.GbkPath(moved)), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  }
}

TEST(PosixPaths, PathNamingNoFileIsRefused) {
  const struct {
    const char* name;
    std::string bytes;
    int error;
  } cases[] = {
      {"byte 0x80", "\x80x", EILSEQ},
      {"lead byte without trail byte", "a\xB0", EILSEQ},
      {"embedded NUL", std::string("a\0b", 3), EINVAL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    FileSystem* fs = PosixFileSystem();
    const std::string path = dir.GbkPath(c.bytes);
    std::unique_ptr<File> f;
    EXPECT_EQ(fs->Open(path, Access::kReadWrite, Sharing::kShared, Disposition::kCreateAlways, &f),
              c.error);
    EXPECT_EQ(fs->Remove(path), c.error);
    EXPECT_EQ(fs->Rename(path, dir.GbkPath("x")), c.error);
    EXPECT_EQ(fs->SyncDirectory(path), c.error);
    EXPECT_FALSE(fs->Exists(path));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  }
}

TEST(PosixPaths, ListIsSortedAndLeavesOutNamesWithoutGb18030Form) {
  TempDir dir;
  for (const char* name : {"b", "a", "数据", "bad\xFF"}) WriteFileBytes(dir.Path(name), "");
  std::filesystem::create_directory(dir.Path("sub"));
  EXPECT_EQ(PosixFileSystem()->List(Utf8ToGb18030(dir.path())),
            (std::vector<std::string>{"a", "b", "sub", "数据"_gbk}));
  EXPECT_TRUE(PosixFileSystem()->List(dir.GbkPath("missing")).empty());
}

TEST(PosixPaths, FullPath) {
  const std::string cwd = Utf8ToGb18030(std::filesystem::current_path().string());
  const struct {
    const char* name;
    std::string path;
    std::string full;
  } cases[] = {
      {"relative with . and ..", "a/./b/../c", cwd + "/a/c"},
      {"absolute with doubled slash", "/x//y/../z", "/x/z"},
      {".. above the root", "/../x", "/x"},
      {"Chinese components", "日志/../数据/rz35.edb"_gbk, cwd + "/数据/rz35.edb"_gbk},
      {"undecodable bytes kept", "/d/\x80/../\x81", "/d/\x81"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PosixFileSystem()->FullPath(c.path), c.full) << c.name;
  }
}

TEST(PosixFileSystem, RenameReplacesTheTarget) {
  TempDir dir;
  WriteFileBytes(dir.Path("new"), "new");
  WriteFileBytes(dir.Path("old"), "old");
  ASSERT_EQ(PosixFileSystem()->Rename(dir.GbkPath("new"), dir.GbkPath("old")), 0);
  EXPECT_EQ(ReadFileBytes(dir.Path("old")), "new");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("new")));
}

TEST(PosixFileSystem, MissingThingsGiveEnoent) {
  TempDir dir;
  FileSystem* fs = PosixFileSystem();
  EXPECT_EQ(fs->Remove(dir.GbkPath("none")), ENOENT);
  EXPECT_EQ(fs->Rename(dir.GbkPath("none"), dir.GbkPath("x")), ENOENT);
  EXPECT_EQ(fs->SyncDirectory(dir.GbkPath("no-folder/x")), ENOENT);
  EXPECT_FALSE(fs->Exists(dir.GbkPath("none")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("x")));
}

TEST(PosixFileSystem, SleepMovesTheTickCount) {
  FileSystem* fs = PosixFileSystem();
  const uint64_t before = fs->TickCount();
  fs->SleepMs(30);
  const uint64_t slept = fs->TickCount() - before;
  EXPECT_GE(slept, 30u);
  EXPECT_LT(slept, 3000u);
}

TEST(PosixFileSystem, InstalledFileSystemIsCurrentUntilReset) {
  ASSERT_EQ(CurrentFileSystem(), PosixFileSystem());
  struct Other : FileSystem {
    int Open(const std::string&, Access, Sharing, Disposition, std::unique_ptr<File>*) override {
      return ENOSYS;
    }
    int Remove(const std::string&) override { return ENOSYS; }
    int Rename(const std::string&, const std::string&) override { return ENOSYS; }
    bool Exists(const std::string&) override { return false; }
    int SyncDirectory(const std::string&) override { return ENOSYS; }
    std::vector<std::string> List(const std::string&) override { return {}; }
    std::string FullPath(const std::string&) override { return {}; }
    uint64_t TickCount() override { return 0; }
    void SleepMs(unsigned) override {}
  } other;
  SetFileSystem(&other);
  EXPECT_EQ(CurrentFileSystem(), &other);
  SetFileSystem(nullptr);
  EXPECT_EQ(CurrentFileSystem(), PosixFileSystem());
}

}  // namespace
}  // namespace tarvok::platform
