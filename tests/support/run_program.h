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

}  // namespace tarvok::test
