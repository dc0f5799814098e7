// Two openers of one table: the byte-range locks between them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/store/store_util.h"
#include "tests/support/fault_fs.h"

namespace tarvok::test {
namespace {

using store::LastError;

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.GbkPath("rz35.edb");
    MakeTable(path_, DiaryFields());
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    for (int d = 0; d < 3; ++d) ASSERT_TRUE(s.AddRecord({DateTime(41000 + d), std::string("t")}));
  }
  // A child process that opens the table and sits inside a FindRecord
  // condition (holding the counter lock and the locks of the records it is
  // testing) until it
  // reads a byte from `release`, or for `hold_ms` when that is not 0.
  pid_t HoldInChild(int* release_fd, unsigned hold_ms) {
    int ready[2], release[2];
    EXPECT_EQ(pipe(ready), 0);
    EXPECT_EQ(pipe(release), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      close(release[1]);
      RecordStore s;
      if (!s.OpenTable(path_)) _exit(3);
      s.FindRecord([&] {
        char c = 1;
        if (write(ready[1], &c, 1) != 1) _exit(4);
        if (hold_ms) {
          usleep(hold_ms * 1000);
        } else if (read(release[0], &c, 1) != 1) {
          _exit(5);
        }
        return true;
      });
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char c;
    EXPECT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    *release_fd = release[1];
    return pid;
  }
  void Release(pid_t pid, int fd, bool send = true) {
    char c = 1;
    if (send) {
      EXPECT_EQ(write(fd, &c, 1), 1);
    }
    close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(LockTest, AnotherProcessHoldingLocksMakesOperationsFail) {
  RecordStore s;
  ASSERT_TRUE(s.OpenTable(path_));
  int fd;
  pid_t pid = HoldInChild(&fd, 0);
  EXPECT_FALSE(s.AddRecord({DateTime(1)}));  // counter lock
  EXPECT_EQ(LastError(), -13);
  EXPECT_EQ(Text(s.ReadField(TextField())), "");  // record 1's lock
  EXPECT_EQ(LastError(), -13);
  EXPECT_FALSE(s.Pack());  // whole-table lock
  EXPECT_EQ(LastError(), -13);
  // The search holds the run of records it is testing: record 2 too.
  s.GoToRecord(2);
  EXPECT_FALSE(s.WriteField(TextField(), std::string("u")));
  EXPECT_EQ(LastError(), -13);
  RecordStore other;
  EXPECT_FALSE(other.OpenTable(path_));  // opening takes the whole table
  EXPECT_EQ(LastError(), -13);
  Release(pid, fd);
  EXPECT_TRUE(s.AddRecord({DateTime(1)}));
  EXPECT_EQ(s.RecordCount(), 4);
}

TEST_F(LockTest, RecordCountWaitsForTheCounterLock) {
  RecordStore s;
  ASSERT_TRUE(s.OpenTable(path_));
  int fd;
  pid_t pid = HoldInChild(&fd, 300);  // lets go by itself well inside the wait
  EXPECT_EQ(s.RecordCount(), 3);
  EXPECT_EQ(LastError(), 0);
  Release(pid, fd, false);
}

TEST_F(LockTest, RecordCountGivesUpAfterTwoSeconds) {
  FaultFileSystem fs;
  ScopedFileSystem use(&fs);
  RecordStore s;
  ASSERT_TRUE(s.OpenTable(path_));
  fs.UseFakeClock(12345);
  fs.SetLockConflict(true);
  const uint64_t locks_before = fs.Calls(FsOp::kLock);
  EXPECT_EQ(s.RecordCount(), 0);
  EXPECT_EQ(LastError(), -13);
  const uint64_t locks = fs.Calls(FsOp::kLock) - locks_before;
  EXPECT_GE(fs.SleptMs(), 2000u);
  EXPECT_LT(fs.SleptMs(), 2040u);
  // Each pause is 20 to 39 ms.
  EXPECT_GE(locks, 2000u / 40);
  EXPECT_LE(locks, 2000u / 20 + 2);
  // No other operation waits.
  const uint64_t slept = fs.SleptMs();
  EXPECT_FALSE(s.AddRecord({DateTime(1)}));
  EXPECT_EQ(LastError(), -13);
  EXPECT_EQ(fs.SleptMs(), slept);
}

TEST_F(LockTest, SharingModesHoldAmongOpeners) {
  struct Row {
    Sharing first;
    Access second_access;
    bool second_opens;
  } rows[] = {
      {Sharing::kShared, Access::kReadWrite, true},
      {Sharing::kDenyWrite, Access::kReadOnly, true},
      {Sharing::kDenyWrite, Access::kReadWrite, false},
      {Sharing::kExclusive, Access::kReadOnly, false},
      {Sharing::kDenyRead, Access::kReadOnly, false},
  };
  for (const auto& r : rows) {
    RecordStore a, b;
    ASSERT_TRUE(a.OpenTable(path_, {.sharing = r.first}));
    EXPECT_EQ(b.OpenTable(path_, {.access = r.second_access}), r.second_opens) << int(r.first);
    if (!r.second_opens) {
      EXPECT_EQ(LastError(), -12);
    }
  }
  // An exclusive opener takes no table locks; the file is its own.
  RecordStore a;
  ASSERT_TRUE(a.OpenTable(path_, {.sharing = Sharing::kExclusive}));
  EXPECT_TRUE(a.AddRecord({DateTime(2), std::string("x")}));
  RecordStore c;
  EXPECT_FALSE(c.IsProtected(path_));  // cannot be read while held: false
}

}  // namespace
}  // namespace tarvok::test

namespace tarvok::test {
namespace {

TEST(RunLocks, ARecordHeldElsewhereStopsTheSearchThere) {
  TempDir dir;
  const std::string path = dir.GbkPath("t.edb");
  MakeTable(path, {{"v", FieldType::kInt32, 0, 0}});
  RecordStore s;
  ASSERT_TRUE(s.OpenTable(path));
  for (int32_t v = 1; v <= 6; ++v) ASSERT_TRUE(s.AddRecord({v}));
  // Another opener holds the lock byte of record 4.
  std::unique_ptr<platform::File> other;
  ASSERT_EQ(platform::PosixFileSystem()->Open(path, Access::kReadWrite, Sharing::kShared,
                                              platform::Disposition::kOpenExisting, &other),
            0);
  const uint64_t record4 = 0x74 + 72 + 3 * 8;
  ASSERT_EQ(other->Lock(record4, 1), 0);
  std::vector<int32_t> seen;
  auto is = [&](int32_t want) {
    return [&, want] {
      seen.push_back(std::get<int32_t>(s.ReadField("v")));
      return seen.back() == want;
    };
  };
  s.GoFirst();
  EXPECT_TRUE(s.FindRecord(is(2)));
  EXPECT_EQ(s.CurrentRecordNumber(), 2);
  seen.clear();
  s.GoFirst();
  EXPECT_FALSE(s.FindRecord(is(6)));
  EXPECT_EQ(LastError(), -13);
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(s.CurrentRecordNumber(), 1);
  // Past the held record the search runs as usual.
  s.GoToRecord(5);
  EXPECT_TRUE(s.FindRecord(is(6)));
  ASSERT_EQ(other->Unlock(record4, 1), 0);
  seen.clear();
  s.GoFirst();
  EXPECT_TRUE(s.FindRecord(is(6)));
  EXPECT_EQ(seen.size(), 6u);
}

}  // namespace
}  // namespace tarvok::test
