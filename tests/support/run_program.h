// Running a real program from a test, its three streams through files.
#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tarvok::test {

struct RunResult {
  int status = -1;  // exit status; 128 + signal when killed
  std::string out, err;
};

// Runs `program` (a path, or a name looked up in PATH) with `args` and
// `input` on its standard input; the streams pass through files in `io`.
// Records a test failure when the program cannot be started.
RunResult RunProgram(const TempDir& io, const std::string& program,
                     const std::vector<std::string>& args, const std::string& input = "");

// A program started in the background, its streams through files in `io`
// like RunProgram's. Killed (SIGKILL) and reaped when destroyed while it
// still runs.
class BackgroundProgram {
 public:
  BackgroundProgram(const TempDir& io, const std::string& program,
                    const std::vector<std::string>& args);
  ~BackgroundProgram();
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  bool started() const { return pid_ > 0; }
  // Whether it still runs (it is reaped when it has ended).
  bool Running();
  // Sends `signal` and waits for the end; the exit status as RunResult has it.
  int Stop(int signal);

 private:
  int pid_ = -1;
  int status_ = -1;
};

}  // namespace tarvok::test
