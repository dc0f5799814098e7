// The single-instance marker: within one process, between real processes,
// and the choice of its private folder. Every place is inside a test folder.
#include "platform/instance_guard.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace tarvok::platform {
namespace {

using Status = InstanceGuard::Status;
using test::TempDir;

const std::string kUid = std::to_string(getuid());

// Places whose every candidate lies in `dir`: a private runtime folder
// "run", a missing user runtime root, the fallback root "tmp".
InstanceGuard::Places PlacesIn(const TempDir& dir) {
  mkdir(dir.Path("run").c_str(), 0700);
  mkdir(dir.Path("tmp").c_str(), 0777);
  return {dir.Path("run"), dir.Path("no-run-user"), dir.Path("tmp")};
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

// Names, sizes and modification times of everything below a folder.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec)) {
    struct stat st {};
    lstat(e.path().c_str(), &st);
    out[e.path().string()] = std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) +
                             "." + std::to_string(st.st_mtim.tv_nsec) + " " +
                             std::to_string(st.st_mode);
  }
  return out;
}

TEST(InstanceGuard, OneHolderAtATimeWithinAProcess) {
  TempDir dir;
  auto first = std::make_unique<InstanceGuard>(PlacesIn(dir));
  InstanceGuard second(PlacesIn(dir));
  EXPECT_EQ(first->TryAcquire(), Status::kHeld);
  EXPECT_EQ(first->TryAcquire(), Status::kHeld) << "holding it twice is still holding it";
  EXPECT_EQ(first->marker_path(), dir.Path("run/tarvoklinev35.lock"));
  EXPECT_EQ(second.TryAcquire(), Status::kOtherInstance);
  EXPECT_EQ(second.TryAcquire(), Status::kOtherInstance);
  first.reset();
  EXPECT_EQ(second.TryAcquire(), Status::kHeld);
  EXPECT_TRUE(std::filesystem::exists(dir.Path("run/tarvoklinev35.lock")))
      << "the file stays; only the lock is the mark";
}

TEST(InstanceGuard, AStartThatFindsTheMarkTouchesNothing) {
  TempDir dir;
  InstanceGuard first(PlacesIn(dir));
  ASSERT_EQ(first.TryAcquire(), Status::kHeld);
  const auto before = Snapshot(dir.path());
  InstanceGuard second(PlacesIn(dir));
  ASSERT_EQ(second.TryAcquire(), Status::kOtherInstance);
  EXPECT_EQ(Snapshot(dir.path()), before);
  EXPECT_EQ(std::filesystem::file_size(first.marker_path()), 0u);
}

TEST(InstanceGuard, ChoiceOfTheFolder) {
  const std::string fallback = "tmp/tarvokline-" + kUid;
  const struct {
    const char* label;
    const char* runtime;  // "" = unset; relative names lie in the test folder
    bool runtime_private;  // make "run" 0700 (else 0755) when used
    bool user_runtime;     // make run-user/<uid> as a private folder
    std::string want;      // folder of the marker, in the test folder
  } rows[] = {
      {"runtime folder", "run", true, true, "run"},
      {"runtime folder through a link", "run-link", true, false, "run"},
      {"runtime folder not private", "run", false, false, fallback},
      {"runtime folder missing", "gone", true, true, "run-user/" + kUid},
      {"unset, user runtime folder", "", true, true, "run-user/" + kUid},
      {"unset, no user runtime folder", "", true, false, fallback},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.label);
    TempDir dir;
    ASSERT_EQ(mkdir(dir.Path("run").c_str(), r.runtime_private ? 0700 : 0755), 0);
    ASSERT_EQ(chmod(dir.Path("run").c_str(), r.runtime_private ? 0700 : 0755), 0);
    ASSERT_EQ(symlink(dir.Path("run").c_str(), dir.Path("run-link").c_str()), 0);
    ASSERT_EQ(mkdir(dir.Path("tmp").c_str(), 01777), 0);
    if (r.user_runtime) {
      ASSERT_EQ(mkdir(dir.Path("run-user").c_str(), 0755), 0);
      ASSERT_EQ(mkdir(dir.Path("run-user/" + kUid).c_str(), 0700), 0);
    }
    InstanceGuard g({*r.runtime ? dir.Path(r.runtime) : "", dir.Path("run-user"),
                     dir.Path("tmp")});
    ASSERT_EQ(g.TryAcquire(), Status::kHeld) << std::strerror(g.error());
    EXPECT_EQ(std::filesystem::canonical(g.marker_path()).string(),
              std::filesystem::canonical(dir.Path(r.want)).string() + "/tarvoklinev35.lock");
    EXPECT_EQ(ModeOf(dir.Path(r.want + "/tarvoklinev35.lock")), 0600u);
    if (r.want == fallback) { EXPECT_EQ(ModeOf(dir.Path(fallback)), 0700u); }
  }
}

// The fallback folder in a shared /tmp: ours but too open is closed, anything
// that is not plainly ours is refused.
TEST(InstanceGuard, FallbackFolderInTmp) {
  const struct {
    const char* label;
    int setup;  // 0 ours 0777, 1 symbolic link to a private folder, 2 a file,
                // 3 someone else's, 4 no tmp root
    Status want;
    int error;
  } rows[] = {
      {"ours but open", 0, Status::kHeld, 0},
      {"a symbolic link", 1, Status::kError, EPERM},
      {"a file in the way", 2, Status::kError, ENOTDIR},
      {"no tmp root", 4, Status::kError, ENOENT},
      {"someone else's", 3, Status::kError, EPERM},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.label);
    TempDir dir;
    const std::string tmp = dir.Path("tmp");
    const std::string mine = tmp + "/tarvokline-" + kUid;
    if (r.setup != 4) { ASSERT_EQ(mkdir(tmp.c_str(), 01777), 0); }
    switch (r.setup) {
      case 0:
        ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
        ASSERT_EQ(chmod(mine.c_str(), 0777), 0);
        break;
      case 1:
        ASSERT_EQ(mkdir(dir.Path("elsewhere").c_str(), 0700), 0);
        ASSERT_EQ(symlink(dir.Path("elsewhere").c_str(), mine.c_str()), 0);
        break;
      case 2:
        test::WriteFileBytes(mine, "");
        break;
      case 3:
        if (geteuid() != 0) GTEST_SKIP() << "only root can give a folder away";
        ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
        ASSERT_EQ(chown(mine.c_str(), 65534, 65534), 0);
        break;
      default:
        break;
    }
    InstanceGuard g({"", dir.Path("no-run-user"), tmp});
    EXPECT_EQ(g.TryAcquire(), r.want);
    EXPECT_EQ(g.error(), r.error) << std::strerror(g.error());
    if (r.setup == 0) { EXPECT_EQ(ModeOf(mine), 0700u); }
    if (r.setup == 1) { EXPECT_TRUE(std::filesystem::is_empty(dir.Path("elsewhere"))); }
  }
}

// --- Another process ------------------------------------------------------

// Run only as the child of a GuardChild: takes the mark in the places of
// TARVOK_GUARD_DIR (when TARVOK_GUARD_TAKE is set), writes the status number
// to the descriptor in TARVOK_GUARD_REPORT, and waits for its standard input
// to close.
TEST(ChildProcess, DISABLED_HoldInstanceGuard) {
  const char* dir = std::getenv("TARVOK_GUARD_DIR");
  const char* report = std::getenv("TARVOK_GUARD_REPORT");
  if (dir == nullptr || report == nullptr) GTEST_SKIP() << "only run by a GuardChild";
  const std::string d = dir;
  InstanceGuard g({d + "/run", d + "/no-run-user", d + "/tmp"});
  const int status = std::getenv("TARVOK_GUARD_TAKE") != nullptr
                         ? static_cast<int>(g.TryAcquire())
                         : -1;
  const int report_fd = std::atoi(report);
  dprintf(report_fd, "%d\n", status);
  close(report_fd);
  for (char c;;) {
    const ssize_t r = read(STDIN_FILENO, &c, 1);
    if (r == 0 || (r < 0 && errno != EINTR)) break;
  }
}

// This test binary started again in the mode above.
class GuardChild {
 public:
  GuardChild(const TempDir& dir, bool take) {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
      ADD_FAILURE() << "cannot find the test binary";
      return;
    }
    exe[n] = '\0';
    int in[2], report[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe(report) != 0) {
      ADD_FAILURE() << "pipe: " << std::strerror(errno);
      return;
    }
    fcntl(report[0], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "GTEST_", 6) != 0 && std::strncmp(*e, "TARVOK_GUARD_", 13) != 0) {
        env.emplace_back(*e);
      }
    }
    env.push_back("TARVOK_GUARD_DIR=" + dir.path());
    env.push_back("TARVOK_GUARD_REPORT=" + std::to_string(report[1]));
    if (take) env.push_back("TARVOK_GUARD_TAKE=1");
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=ChildProcess.DISABLED_HoldInstanceGuard";
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
      status_ = std::atoi(line.c_str());
    }
  }

  ~GuardChild() {
    if (pid_ > 0) Kill();
    if (stdin_ >= 0) close(stdin_);
  }

  // The child's status number; -1 when it took nothing, -2 before it reported.
  int status() const { return status_; }

  void Exit() {
    close(stdin_);
    stdin_ = -1;
    Wait();
  }

  // Ends the child as a crash would and waits for it.
  void Kill() {
    kill(pid_, SIGKILL);
    Wait();
  }

 private:
  void Wait() {
    int st = 0;
    while (waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int status_ = -2;
};

TEST(InstanceGuardProcesses, KilledHolderFreesTheMark) {
  TempDir dir;
  InstanceGuard::Places places = PlacesIn(dir);
  GuardChild child(dir, /*take=*/true);
  ASSERT_EQ(child.status(), static_cast<int>(Status::kHeld));

  InstanceGuard mine(places);
  EXPECT_EQ(mine.TryAcquire(), Status::kOtherInstance);
  child.Kill();
  EXPECT_EQ(mine.TryAcquire(), Status::kHeld);
}

TEST(InstanceGuardProcesses, ASecondProcessSeesTheHolder) {
  TempDir dir;
  InstanceGuard mine(PlacesIn(dir));
  ASSERT_EQ(mine.TryAcquire(), Status::kHeld);
  GuardChild child(dir, /*take=*/true);
  EXPECT_EQ(child.status(), static_cast<int>(Status::kOtherInstance));
  child.Exit();
}

// A program the organiser starts must not keep the mark after the organiser
// is gone (an inherited descriptor would share the lock).
TEST(InstanceGuardProcesses, StartedProgramsDoNotKeepTheMark) {
  TempDir dir;
  auto mine = std::make_unique<InstanceGuard>(PlacesIn(dir));
  ASSERT_EQ(mine->TryAcquire(), Status::kHeld);
  GuardChild child(dir, /*take=*/false);
  ASSERT_EQ(child.status(), -1);
  mine.reset();
  InstanceGuard next(PlacesIn(dir));
  EXPECT_EQ(next.TryAcquire(), Status::kHeld);
  child.Exit();
}

}  // namespace
}  // namespace tarvok::platform
