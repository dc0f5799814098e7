// The test helpers of tests/support: the fault-injecting file system and
// the temporary folder. Store tests trust them to fail exactly the call they
// name and nothing else.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/file.h"
#include "tests/support/fault_fs.h"
#include "tests/support/temp_dir.h"

namespace tarvok::test {
namespace {

using platform::Access;
using platform::CurrentFileSystem;
using platform::Disposition;
using platform::File;
using platform::PosixFileSystem;
using platform::Sharing;

std::unique_ptr<File> OpenOk(platform::FileSystem& fs, const std::string& path,
                             Disposition disposition = Disposition::kOpenExisting) {
  std::unique_ptr<File> f;
  EXPECT_EQ(fs.Open(path, Access::kReadWrite, Sharing::kShared, disposition, &f), 0);
  return f;
}

// Three one-byte writes through the installed file system, stopping at the
// first failure: a stand-in for a store operation.
int WriteThree(const std::string& path) {
  std::unique_ptr<File> f;
  if (int err = CurrentFileSystem()->Open(path, Access::kReadWrite, Sharing::kShared,
                                          Disposition::kCreateAlways, &f)) {
    return err;
  }
  for (uint64_t i = 0; i < 3; ++i) {
    if (int err = f->Write(i, &"ABC"[i], 1)) return err;
  }
  return 0;
}

TEST(FaultFileSystem, KthWriteFailsUntilTheOperationMakesFewerWrites) {
  for (uint64_t k = 1;; ++k) {
    ASSERT_LE(k, 4u) << "the loop must end once k passes the number of writes";
    TempDir dir;
    FaultFileSystem fs;
    ScopedFileSystem use(&fs);
    fs.FailNth(FsOp::kWrite, k, ENOSPC);
    const int err = WriteThree(dir.GbkPath("t"));
    if (fs.Injected() == 0) {
      EXPECT_EQ(err, 0);
      EXPECT_EQ(k, 4u);
      EXPECT_EQ(ReadFileBytes(dir.Path("t")), "ABC");
      break;
    }
    EXPECT_EQ(err, ENOSPC) << "k = " << k;
    EXPECT_EQ(fs.Calls(FsOp::kWrite), k);
    EXPECT_EQ(ReadFileBytes(dir.Path("t")), std::string("ABC", k - 1)) << "k = " << k;
  }
}

TEST(FaultFileSystem, PlansCountFromNowAndFailFromKeepsFailing) {
  TempDir dir;
  FaultFileSystem fs;
  auto f = OpenOk(fs, dir.GbkPath("t"), Disposition::kCreateNew);
  ASSERT_TRUE(f);
  ASSERT_EQ(f->Write(0, "a", 1), 0);
  ASSERT_EQ(f->Write(1, "b", 1), 0);

  fs.FailNth(FsOp::kWrite, 1, EIO);
  EXPECT_EQ(f->Write(2, "c", 1), EIO);
  EXPECT_EQ(f->Write(3, "d", 1), 0);

  fs.FailFrom(FsOp::kSync, 2, EIO);
  EXPECT_EQ(f->Sync(), 0);
  EXPECT_EQ(f->Sync(), EIO);
  EXPECT_EQ(f->Sync(), EIO);
  fs.ClearFaults();
  EXPECT_EQ(f->Sync(), 0);

  EXPECT_EQ(fs.Calls(FsOp::kWrite), 4u);
  EXPECT_EQ(fs.Calls(FsOp::kSync), 4u);
  EXPECT_EQ(fs.Calls(FsOp::kOpen), 1u);
  EXPECT_EQ(fs.Calls(FsOp::kRead), 0u);
  EXPECT_EQ(fs.Injected(), 3u);
  EXPECT_EQ(ReadFileBytes(dir.Path("t")), std::string("ab\0d", 4));
}

TEST(FaultFileSystem, FailedCallsDoNotReachTheFileSystem) {
  const struct {
    FsOp op;
    const char* name;
  } cases[] = {{FsOp::kOpen, "open"},         {FsOp::kTruncate, "truncate"},
               {FsOp::kRename, "rename"},     {FsOp::kRemove, "remove"},
               {FsOp::kSize, "size"},         {FsOp::kUnlock, "unlock"},
               {FsOp::kLock, "lock"},         {FsOp::kSyncDirectory, "directory sync"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteFileBytes(dir.Path("t"), "data");
    FaultFileSystem fs;
    auto f = OpenOk(fs, dir.GbkPath("t"));
    auto other = OpenOk(*PosixFileSystem(), dir.GbkPath("t"));
    ASSERT_TRUE(f && other);
    ASSERT_EQ(f->Lock(0, 1), 0);
    fs.FailNth(c.op, 1, EACCES);

    std::unique_ptr<File> g;
    uint64_t size = 99;
    int err = -1;
    switch (c.op) {
      case FsOp::kOpen:
        err = fs.Open(dir.GbkPath("new"), Access::kReadWrite, Sharing::kShared,
                      Disposition::kCreateNew, &g);
        EXPECT_EQ(g, nullptr);
        EXPECT_FALSE(std::filesystem::exists(dir.Path("new")));
        break;
      case FsOp::kTruncate:
        err = f->Truncate(0);
        break;
      case FsOp::kRename:
        err = fs.Rename(dir.GbkPath("t"), dir.GbkPath("u"));
        EXPECT_FALSE(std::filesystem::exists(dir.Path("u")));
        break;
      case FsOp::kRemove:
        err = fs.Remove(dir.GbkPath("t"));
        break;
      case FsOp::kSize:
        err = f->Size(&size);
        EXPECT_EQ(size, 99u);
        break;
      case FsOp::kUnlock:
        err = f->Unlock(0, 1);
        EXPECT_EQ(other->Lock(0, 1), EAGAIN) << "still locked";
        break;
      case FsOp::kLock:
        err = f->Lock(10, 1);
        EXPECT_EQ(other->Lock(10, 1), 0) << "never locked";
        break;
      default:
        err = fs.SyncDirectory(dir.GbkPath("t"));
        break;
    }
    EXPECT_EQ(err, EACCES);
    EXPECT_EQ(fs.Injected(), 1u);
    EXPECT_EQ(ReadFileBytes(dir.Path("t")), "data");
  }
}

TEST(FaultFileSystem, TornWriteLeavesTheFirstHalfAndShortReadDeliversHalf) {
  TempDir dir;
  FaultFileSystem fs;
  auto f = OpenOk(fs, dir.GbkPath("t"), Disposition::kCreateNew);
  ASSERT_TRUE(f);
  fs.TearNthWrite(1);
  EXPECT_EQ(f->Write(0, "abcdefg", 7), ENOSPC);
  EXPECT_EQ(ReadFileBytes(dir.Path("t")), "abc");

  fs.ShortenNthRead(2);
  char buf[8] = {};
  size_t got = 0;
  ASSERT_EQ(f->Read(0, buf, sizeof buf, &got), 0);
  EXPECT_EQ(got, 3u);
  ASSERT_EQ(f->Read(0, buf, sizeof buf, &got), 0);
  EXPECT_EQ(std::string(buf, got), "a");
  ASSERT_EQ(f->Read(0, buf, sizeof buf, &got), 0);
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(fs.Injected(), 2u);
}

TEST(FaultFileSystem, LockConflictRefusesWithoutLocking) {
  TempDir dir;
  FaultFileSystem fs;
  auto f = OpenOk(fs, dir.GbkPath("t"), Disposition::kCreateNew);
  auto other = OpenOk(*PosixFileSystem(), dir.GbkPath("t"));
  ASSERT_TRUE(f && other);

  fs.SetLockConflict(true);
  EXPECT_EQ(f->Lock(0, 1), EAGAIN);
  EXPECT_EQ(f->Lock(0, 1), EAGAIN);
  EXPECT_EQ(other->Lock(0, 1), 0) << "the refused lock was never taken";
  fs.SetLockConflict(false);
  EXPECT_EQ(f->Lock(0, 1), EAGAIN) << "now the real one, held by other";
  ASSERT_EQ(other->Unlock(0, 1), 0);
  EXPECT_EQ(f->Lock(0, 1), 0);
  EXPECT_EQ(fs.Calls(FsOp::kLock), 4u);
  EXPECT_EQ(fs.Injected(), 2u);
}

TEST(FaultFileSystem, FakeClockMovesOnlyBySleeping) {
  FaultFileSystem fs;
  fs.UseFakeClock(5000);
  EXPECT_EQ(fs.TickCount(), 5000u);
  fs.SleepMs(20);
  fs.SleepMs(2000);
  EXPECT_EQ(fs.TickCount(), 7020u);
  EXPECT_EQ(fs.SleptMs(), 2020u);
}

TEST(ScopedFileSystem, InstallsAndRestoresInStackOrder) {
  FaultFileSystem outer_fs, inner_fs;
  {
    ScopedFileSystem outer(&outer_fs);
    EXPECT_EQ(CurrentFileSystem(), &outer_fs);
    {
      ScopedFileSystem inner(&inner_fs);
      EXPECT_EQ(CurrentFileSystem(), &inner_fs);
    }
    EXPECT_EQ(CurrentFileSystem(), &outer_fs);
  }
  EXPECT_EQ(CurrentFileSystem(), PosixFileSystem());
}

TEST(TempDir, PrivateFolderUnderTmpdirRemovedWithItsContent) {
  TempDir outer;
  const char* saved = std::getenv("TMPDIR");
  const std::string saved_value = saved != nullptr ? saved : "";
  setenv("TMPDIR", outer.path().c_str(), 1);
  std::string inner_path, other_path;
  {
    TempDir inner, other;
    inner_path = inner.path();
    other_path = other.path();
    EXPECT_NE(inner_path, other_path);
    EXPECT_EQ(inner_path.rfind(outer.path() + "/", 0), 0u) << inner_path;
    struct stat st {};
    ASSERT_EQ(stat(inner_path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const std::string bytes("\0\x01\xFFtext\n", 8);
    std::filesystem::create_directory(inner.Path("sub"));
    WriteFileBytes(inner.Path("sub/f"), bytes);
    EXPECT_EQ(ReadFileBytes(inner.Path("sub/f")), bytes);
  }
  if (saved != nullptr) {
    setenv("TMPDIR", saved_value.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  EXPECT_FALSE(std::filesystem::exists(inner_path));
  EXPECT_FALSE(std::filesystem::exists(other_path));
}

}  // namespace
}  // namespace tarvok::test
