// The single-instance mark between two real processes: the organiser itself
// runs, and a second start (app_tests in its second-instance mode, over the
// same program folder and runtime folder) sees the warning and ends without
// writing a file. Once the first has ended, however it ended, a start goes
// on again.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace tarvok::test {
namespace {

namespace fs = std::filesystem;

// Every file below `dir` with its size and modification time.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> Snapshot(const std::string& dir) {
  std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) files[e.path().string()] = {e.file_size(), e.last_write_time()};
  }
  return files;
}

bool WaitFor(const std::string& path) {
  for (int i = 0; i < 300; ++i) {
    if (access(path.c_str(), F_OK) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_.empty()) unsetenv(name_);
    else setenv(name_, old_.c_str(), 1);
  }

 private:
  const char* name_;
  std::string old_;
};

TEST(InstanceTest, ASecondStartWarnsAndTouchesNothingWhileTheFirstRuns) {
  TempDir dir;
  const std::string program = dir.Path("程序"), runtime = dir.Path("run");
  ASSERT_EQ(mkdir(program.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  fs::copy_file(TARVOK_BIN_DIR "/tarvokline", program + "/tarvokline");
  ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
  ScopedEnv xdg("XDG_RUNTIME_DIR", runtime);

  BackgroundProgram first(dir, program + "/tarvokline", {});
  ASSERT_TRUE(first.started());
  // The last thing the start writes is the last default picture.
  ASSERT_TRUE(WaitFor(program + "/pic/lxr.jpg")) << ReadFileBytes(dir.Path("background-stderr"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(first.Running());
  const auto before = Snapshot(program);

  const std::vector<std::string> second = {"--second-instance=" + program, "--runtime=" + runtime};
  RunResult r = RunProgram(dir, TARVOK_BIN_DIR "/app_tests", second);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Snapshot(program), before) << "the second start wrote a file";
  EXPECT_TRUE(first.Running());

  // SIGKILL gives no chance to clean up; the mark goes with the process.
  first.Stop(SIGKILL);
  r = RunProgram(dir, TARVOK_BIN_DIR "/app_tests", second);
  EXPECT_EQ(r.status, 1) << "with no instance running the start goes on\n" << r.err;
}

}  // namespace
}  // namespace tarvok::test
