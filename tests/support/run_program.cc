#include "tests/support/run_program.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>

extern char** environ;

namespace tarvok::test {

namespace {

// Spawns program with stdin from `in` and stdout/stderr into `out`/`err`.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const std::string& in,
            const std::string& out, const std::string& err) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << program;
    return -1;
  }
  return pid;
}

int ExitStatus(int wstatus) {
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

}  // namespace

RunResult RunProgram(const TempDir& io, const std::string& program,
                     const std::vector<std::string>& args, const std::string& input) {
  const std::string in = io.Path("run-stdin"), out = io.Path("run-stdout"), err = io.Path("run-stderr");
  WriteFileBytes(in, input);
  RunResult r;
  const pid_t pid = Spawn(program, args, in, out, err);
  if (pid < 0) return r;
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  r.status = ExitStatus(wstatus);
  r.out = ReadFileBytes(out);
  r.err = ReadFileBytes(err);
  return r;
}

BackgroundProgram::BackgroundProgram(const TempDir& io, const std::string& program,
                                     const std::vector<std::string>& args) {
  const std::string in = io.Path("background-stdin");
  WriteFileBytes(in, "");
  pid_ = Spawn(program, args, in, io.Path("background-stdout"), io.Path("background-stderr"));
}

BackgroundProgram::~BackgroundProgram() {
  if (Running()) Stop(SIGKILL);
}

bool BackgroundProgram::Running() {
  if (pid_ <= 0) return false;
  int wstatus = 0;
  if (waitpid(pid_, &wstatus, WNOHANG) == 0) return true;
  status_ = ExitStatus(wstatus);
  pid_ = -1;
  return false;
}

int BackgroundProgram::Stop(int signal) {
  if (pid_ > 0) {
    kill(pid_, signal);
    int wstatus = 0;
    waitpid(pid_, &wstatus, 0);
    status_ = ExitStatus(wstatus);
    pid_ = -1;
  }
  return status_;
}

}  // namespace tarvok::test
