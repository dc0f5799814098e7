// Byte-range locks and sharing modes, between openers of one process and
// against a child process that holds a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace tarvok::platform {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::unique_ptr<File> OpenOk(const std::string& path, Access access,
                             Sharing sharing = Sharing::kShared,
                             Disposition disposition = Disposition::kOpenExisting) {
  std::unique_ptr<File> f;
  EXPECT_EQ(PosixFileSystem()->Open(path, access, sharing, disposition, &f), 0);
  return f;
}

int OpenError(const std::string& path, Access access, Sharing sharing,
              Disposition disposition = Disposition::kOpenExisting) {
  std::unique_ptr<File> f;
  const int err = PosixFileSystem()->Open(path, access, sharing, disposition, &f);
  EXPECT_EQ(f != nullptr, err == 0);
  return err;
}

TEST(FileLock, OpenersInOneProcessExcludeEachOther) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  auto a = OpenOk(path, Access::kReadWrite, Sharing::kShared, Disposition::kCreateNew);
  auto b = OpenOk(path, Access::kReadWrite);
  ASSERT_TRUE(a && b);

  EXPECT_EQ(a->Lock(16, 1), 0);
  EXPECT_EQ(b->Lock(16, 1), EAGAIN);
  EXPECT_EQ(b->Lock(0, kLockableEnd), EAGAIN);
  EXPECT_EQ(b->Lock(17, 1), 0) << "the neighbouring byte is free";
  EXPECT_EQ(a->Lock(16, 1), 0) << "a File's own lock does not stop it";
  EXPECT_EQ(a->Lock(0, kLockableEnd), EAGAIN);

  // Closing another descriptor of the file must leave a's locks alone (it
  // would drop every lock of the process with classic fcntl locks).
  OpenOk(path, Access::kReadWrite).reset();
  EXPECT_EQ(b->Lock(16, 1), EAGAIN);

  // Locked twice, unlocked once: free.
  EXPECT_EQ(a->Unlock(16, 1), 0);
  EXPECT_EQ(b->Lock(16, 1), 0);

  b.reset();  // closing releases
  EXPECT_EQ(a->Lock(0, kLockableEnd), 0);
}

TEST(FileLock, ReadOnlyLocksAreSharedAmongReadersAndExcludeWriters) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  WriteFileBytes(dir.Path("t"), "");
  auto r1 = OpenOk(path, Access::kReadOnly);
  auto r2 = OpenOk(path, Access::kReadOnly);
  auto w = OpenOk(path, Access::kReadWrite);
  ASSERT_TRUE(r1 && r2 && w);

  EXPECT_EQ(r1->Lock(0, 10), 0);
  EXPECT_EQ(r2->Lock(5, 10), 0) << "readers share";
  EXPECT_EQ(w->Lock(9, 1), EAGAIN);
  EXPECT_EQ(w->Lock(15, 1), 0);
  EXPECT_EQ(r2->Lock(15, 1), EAGAIN) << "a writer's lock excludes readers";
  EXPECT_EQ(r1->Unlock(0, 10), 0);
  EXPECT_EQ(w->Lock(0, 5), 0);
  EXPECT_EQ(w->Lock(9, 1), EAGAIN) << "r2 still holds 5..14";
}

TEST(FileLock, RangesReachingTheSharingBytesAreRefused) {
  TempDir dir;
  auto f = OpenOk(dir.GbkPath("t"), Access::kReadWrite, Sharing::kShared,
                  Disposition::kCreateNew);
  ASSERT_TRUE(f);
  const struct {
    const char* name;
    uint64_t offset, length;
    int error;
  } cases[] = {
      {"whole data range", 0, kLockableEnd, 0},
      {"last byte before the sharing bytes", kSharingLockBase - 1, 1, 0},
      {"empty range (would mean: to the end)", 0, 0, EINVAL},
      {"first sharing byte", kSharingLockBase, 1, EINVAL},
      {"reaching into the sharing bytes", kSharingLockBase - 1, 2, EINVAL},
      {"wrapping around", UINT64_MAX, 2, EINVAL},
      {"everything", 0, UINT64_MAX, EINVAL},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(f->Lock(c.offset, c.length), c.error) << c.name;
    EXPECT_EQ(f->Unlock(c.offset, c.length), c.error) << c.name;
  }
}

// --- Sharing modes --------------------------------------------------------

struct Mode {
  Access access;
  Sharing sharing;
  const char* name;
};

constexpr Mode kModes[] = {
    {Access::kReadOnly, Sharing::kShared, "read/shared"},
    {Access::kReadOnly, Sharing::kDenyWrite, "read/deny-write"},
    {Access::kReadOnly, Sharing::kDenyRead, "read/deny-read"},
    {Access::kReadOnly, Sharing::kExclusive, "read/exclusive"},
    {Access::kReadWrite, Sharing::kShared, "rw/shared"},
    {Access::kReadWrite, Sharing::kDenyWrite, "rw/deny-write"},
    {Access::kReadWrite, Sharing::kDenyRead, "rw/deny-read"},
    {Access::kReadWrite, Sharing::kExclusive, "rw/exclusive"},
};

// Row: the first opener; column: the second. 'o' the second open succeeds,
// 'x' it fails with EBUSY. The second needs its access allowed by the first
// and must allow the first's access; everyone reads, so a deny-read or
// exclusive opener admits nobody.
constexpr const char* kMatrix[] = {
    //         read            rw
    //  sh dw dr ex     sh dw dr ex
    "oo xx" "oo xx",  // read/shared
    "oo xx" "xx xx",  // read/deny-write
    "xx xx" "xx xx",  // read/deny-read
    "xx xx" "xx xx",  // read/exclusive
    "ox xx" "ox xx",  // rw/shared
    "ox xx" "xx xx",  // rw/deny-write
    "xx xx" "xx xx",  // rw/deny-read
    "xx xx" "xx xx",  // rw/exclusive
};

TEST(Sharing, SecondOpenerAgainstTheFirst) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  WriteFileBytes(dir.Path("t"), "");
  for (size_t row = 0; row < 8; ++row) {
    std::string expected = kMatrix[row];
    std::erase(expected, ' ');
    ASSERT_EQ(expected.size(), 8u);
    for (size_t col = 0; col < 8; ++col) {
      const Mode& first = kModes[row];
      const Mode& second = kModes[col];
      SCOPED_TRACE(std::string(first.name) + " then " + second.name);
      {
        auto held = OpenOk(path, first.access, first.sharing);
        ASSERT_TRUE(held);
        EXPECT_EQ(OpenError(path, second.access, second.sharing), expected[col] == 'o' ? 0 : EBUSY);
      }
      // Neither opener, refused or not, may leave anything behind.
      EXPECT_EQ(OpenError(path, Access::kReadWrite, Sharing::kExclusive), 0);
    }
  }
}

TEST(Sharing, EveryOpenerIsCheckedNotOnlyTheFirst) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  WriteFileBytes(dir.Path("t"), "");
  auto reader = OpenOk(path, Access::kReadOnly);
  auto writer = OpenOk(path, Access::kReadWrite);
  ASSERT_TRUE(reader && writer);
  EXPECT_EQ(OpenError(path, Access::kReadOnly, Sharing::kDenyWrite), EBUSY);
  writer.reset();
  EXPECT_EQ(OpenError(path, Access::kReadOnly, Sharing::kDenyWrite), 0);
}

TEST(Sharing, DataLocksLeaveTheSharingModeAlone) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  auto f = OpenOk(path, Access::kReadWrite, Sharing::kDenyWrite, Disposition::kCreateNew);
  ASSERT_TRUE(f);
  ASSERT_EQ(f->Lock(0, kLockableEnd), 0);
  ASSERT_EQ(f->Unlock(0, kLockableEnd), 0);
  EXPECT_EQ(OpenError(path, Access::kReadWrite, Sharing::kShared), EBUSY);
}

TEST(Sharing, RefusedCreateAlwaysLeavesTheFileAlone) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  WriteFileBytes(dir.Path("t"), "precious");
  auto holder = OpenOk(path, Access::kReadWrite, Sharing::kExclusive);
  ASSERT_TRUE(holder);
  EXPECT_EQ(OpenError(path, Access::kReadWrite, Sharing::kShared, Disposition::kCreateAlways),
            EBUSY);
  EXPECT_EQ(ReadFileBytes(dir.Path("t")), "precious");
}

// Spinning, so that both threads leave it within a few hundred nanoseconds
// of each other; a sleeping barrier wakes them too far apart for the opens
// to overlap often.
class SpinBarrier {
 public:
  void ArriveAndWait() {
    const int phase = phase_.load();
    if (arrived_.fetch_add(1) == 1) {
      arrived_.store(0);
      phase_.store(phase + 1);
    } else {
      // Yielding now and then keeps a descheduled partner from costing a
      // whole time slice.
      for (int spins = 1; phase_.load() == phase; ++spins) {
        if (spins % 1024 == 0) std::this_thread::yield();
      }
    }
  }

 private:
  std::atomic<int> arrived_{0};
  std::atomic<int> phase_{0};
};

// Puts the calling thread on the n-th CPU it may use, so that the two racers
// run side by side instead of taking turns on one. Does nothing when there
// are fewer CPUs.
void PinToCpu(int n) {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
  for (int cpu = 0, seen = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &allowed) || seen++ != n) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    pthread_setaffinity_np(pthread_self(), sizeof one, &one);
    return;
  }
}

// Announce first, check second: of two openers racing for the file
// exclusively, one or none gets it, never both. The two opens start together
// on two CPUs, so a reversed order (check, then announce) lets both through
// in most of the rounds.
TEST(Sharing, RacingExclusiveOpenersNeverBothSucceed) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  WriteFileBytes(dir.Path("t"), "");
  constexpr int kRounds = 500;
  std::vector<int> results[2] = {std::vector<int>(kRounds), std::vector<int>(kRounds)};
  SpinBarrier sync;
  auto race = [&](int who) {
    PinToCpu(who);
    for (int i = 0; i < kRounds; ++i) {
      sync.ArriveAndWait();
      std::unique_ptr<File> f;
      results[who][i] = PosixFileSystem()->Open(path, Access::kReadWrite, Sharing::kExclusive,
                                                Disposition::kOpenExisting, &f);
      sync.ArriveAndWait();  // both have tried before either closes
    }
  };
  std::thread first(race, 0), second(race, 1);
  first.join();
  second.join();

  int both = 0, one = 0;
  for (int i = 0; i < kRounds; ++i) {
    for (int who : {0, 1}) ASSERT_TRUE(results[who][i] == 0 || results[who][i] == EBUSY);
    if (results[0][i] == 0 && results[1][i] == 0) ++both;
    if ((results[0][i] == 0) != (results[1][i] == 0)) ++one;
  }
  EXPECT_EQ(both, 0) << "of " << kRounds << " rounds";
  EXPECT_GT(one, 0) << "someone must win now and then";
}

// --- Another process ------------------------------------------------------

// Run only as the child of a Holder: opens TARVOK_HOLD_PATH with the access
// and sharing numbered in TARVOK_HOLD_MODE, locks TARVOK_HOLD_LOCK
// ("offset length") when set, writes the resulting errno to the descriptor
// numbered in TARVOK_HOLD_REPORT and keeps the file until its standard input
// closes.
TEST(ChildProcess, DISABLED_HoldFile) {
  const char* path = std::getenv("TARVOK_HOLD_PATH");
  const char* mode = std::getenv("TARVOK_HOLD_MODE");
  const char* report = std::getenv("TARVOK_HOLD_REPORT");
  if (path == nullptr || mode == nullptr || report == nullptr) {
    GTEST_SKIP() << "only run by a Holder";
  }
  const Mode& m = kModes[std::atoi(mode)];
  std::unique_ptr<File> f;
  int err = PosixFileSystem()->Open(path, m.access, m.sharing, Disposition::kOpenExisting, &f);
  unsigned long long offset = 0, length = 0;
  if (const char* lock = std::getenv("TARVOK_HOLD_LOCK");
      err == 0 && lock != nullptr && std::sscanf(lock, "%llu %llu", &offset, &length) == 2) {
    err = f->Lock(offset, length);
  }
  const int report_fd = std::atoi(report);
  dprintf(report_fd, "%d\n", err);
  close(report_fd);
  for (char c;;) {
    const ssize_t r = read(STDIN_FILENO, &c, 1);
    if (r == 0 || (r < 0 && errno != EINTR)) break;
  }
}

// Moves fd to 10 or above, clear of the numbers the child's file actions
// write to (0 and 1). Only the report end is left open across exec, so that
// no file action has to overwrite a descriptor the child might inherit by
// mistake (what StartedProgramsInheritNoFile looks for).
int HighFd(int fd, bool inherit) {
  int high = fcntl(fd, inherit ? F_DUPFD : F_DUPFD_CLOEXEC, 10);
  close(fd);
  return high;
}

// A child process, this test binary in the mode above, holding a file.
class Holder {
 public:
  Holder(const std::string& path, size_t mode, const char* lock = nullptr) {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
      ADD_FAILURE() << "cannot find the test binary";
      return;
    }
    exe[n] = '\0';

    int in[2], report[2];
    if (pipe(in) != 0 || pipe(report) != 0) {
      ADD_FAILURE() << "pipe: " << std::strerror(errno);
      return;
    }
    for (int* fd : {&in[0], &in[1], &report[0], &report[1]}) *fd = HighFd(*fd, fd == &report[1]);

    // The child's gtest must not write the parent's report or run shards.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "GTEST_", 6) != 0 && std::strncmp(*e, "TARVOK_HOLD_", 12) != 0) {
        env.emplace_back(*e);
      }
    }
    env.push_back("TARVOK_HOLD_PATH=" + path);
    env.push_back("TARVOK_HOLD_MODE=" + std::to_string(mode));
    env.push_back("TARVOK_HOLD_REPORT=" + std::to_string(report[1]));
    if (lock != nullptr) env.push_back(std::string("TARVOK_HOLD_LOCK=") + lock);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=ChildProcess.DISABLED_HoldFile";
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {exe, filter.data(), disabled.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int err = posix_spawn(&pid_, exe, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(report[1]);
    stdin_ = in[1];
    if (err != 0) {
      pid_ = -1;
      close(report[0]);
      ADD_FAILURE() << "posix_spawn: " << std::strerror(err);
      return;
    }

    std::string line;
    char c;
    ssize_t r;
    while ((r = read(report[0], &c, 1)) != 0) {
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 || c == '\n') break;
      line += c;
    }
    close(report[0]);
    if (line.empty()) {
      ADD_FAILURE() << "the child reported nothing";
    } else {
      result_ = std::atoi(line.c_str());
    }
  }

  ~Holder() {
    if (pid_ > 0) Kill();
    if (stdin_ >= 0) close(stdin_);
  }

  // The errno of the child's open and lock; -1 before it reported.
  int result() const { return result_; }

  // Lets the child end normally and waits for it.
  void Exit() {
    close(stdin_);
    stdin_ = -1;
    EXPECT_EQ(Wait(), 0);
  }

  // Ends the child as a crash would and waits for it.
  void Kill() {
    kill(pid_, SIGKILL);
    Wait();
  }

 private:
  int Wait() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int result_ = -1;
};

constexpr size_t kReadShared = 0, kReadWriteShared = 4, kReadWriteExclusive = 7;

TEST(ChildProcess, LockOfAnotherProcessHoldsUntilItDies) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  WriteFileBytes(dir.Path("t"), "");
  auto ours = OpenOk(path, Access::kReadWrite);
  ASSERT_TRUE(ours);
  ASSERT_EQ(ours->Lock(100, 1), 0);

  Holder child(path, kReadWriteShared, "16 1");
  ASSERT_EQ(child.result(), 0);
  EXPECT_EQ(ours->Lock(16, 1), EAGAIN);
  EXPECT_EQ(ours->Lock(0, kLockableEnd), EAGAIN);
  EXPECT_EQ(ours->Lock(17, 1), 0);

  Holder blocked(path, kReadWriteShared, "100 1");
  EXPECT_EQ(blocked.result(), EAGAIN) << "our lock keeps the other process out";
  blocked.Exit();

  child.Kill();
  EXPECT_EQ(ours->Lock(16, 1), 0) << "the kernel releases a dead process's locks";
}

TEST(ChildProcess, ReadOnlyLockOfAnotherProcessExcludesOnlyWriters) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  WriteFileBytes(dir.Path("t"), "");
  Holder child(path, kReadShared, "0 10");
  ASSERT_EQ(child.result(), 0);
  EXPECT_EQ(OpenOk(path, Access::kReadOnly)->Lock(0, 10), 0);
  EXPECT_EQ(OpenOk(path, Access::kReadWrite)->Lock(5, 1), EAGAIN);
  child.Exit();
  EXPECT_EQ(OpenOk(path, Access::kReadWrite)->Lock(5, 1), 0);
}

TEST(ChildProcess, SharingModeOfAnotherProcessHoldsUntilItEnds) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  WriteFileBytes(dir.Path("t"), "");
  Holder child(path, kReadWriteExclusive);
  ASSERT_EQ(child.result(), 0);
  EXPECT_EQ(OpenError(path, Access::kReadOnly, Sharing::kShared), EBUSY);

  Holder refused(path, kReadShared);
  EXPECT_EQ(refused.result(), EBUSY);
  refused.Exit();

  child.Exit();
  EXPECT_EQ(OpenError(path, Access::kReadOnly, Sharing::kShared), 0);
}

// A program started while a File is open must not keep its locks and
// sharing mode alive after we close it.
TEST(ChildProcess, StartedProgramsInheritNoFile) {
  TempDir dir;
  const std::string path = dir.GbkPath("t");
  WriteFileBytes(dir.Path("t"), "");
  WriteFileBytes(dir.Path("other"), "");
  auto ours = OpenOk(path, Access::kReadWrite, Sharing::kExclusive);
  ASSERT_TRUE(ours);
  ASSERT_EQ(ours->Lock(0, 1), 0);
  Holder child(dir.GbkPath("other"), kReadShared);
  ASSERT_EQ(child.result(), 0);
  ours.reset();
  auto again = OpenOk(path, Access::kReadWrite, Sharing::kExclusive);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Lock(0, 1), 0);
  child.Exit();
}

}  // namespace
}  // namespace tarvok::platform
