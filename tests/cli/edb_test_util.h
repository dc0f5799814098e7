// Running the real tarvokline-edb binary, and tables to run it on.
#pragma once

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>

#include <string>
#include <vector>

#include "platform/gbk.h"
#include "store/format.h"
#include "store/record_store.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace tarvok::test {

struct RunResult {
  int status = -1;  // exit status; 128 + signal when killed
  std::string out, err;
};

// Runs the tool with `args` (UTF-8) and `input` on its standard input; the
// three streams pass through files in `io`.
inline RunResult RunEdb(const TempDir& io, const std::vector<std::string>& args,
                        const std::string& input = "") {
  const std::string in = io.Path("edb-stdin"), out = io.Path("edb-stdout"), err = io.Path("edb-stderr");
  WriteFileBytes(in, input);
  const std::string bin = std::string(TARVOK_BIN_DIR) + "/tarvokline-edb";
  std::vector<char*> argv{const_cast<char*>(bin.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  RunResult r;
  const int spawned = posix_spawn(&pid, bin.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << bin;
    return r;
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.out = ReadFileBytes(out);
  r.err = ReadFileBytes(err);
  return r;
}

// The lines of a text, without their "\n".
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < text.size()) {
    size_t nl = text.find('\n', from);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(from, nl - from));
    from = nl + 1;
  }
  return lines;
}

// Writes an empty table at the GBK path with the given fields (created
// 41365.5, next id 1), and its companion when a field needs one.
inline void MakeTable(const std::string& gbk_path, const std::vector<store::FieldDesc>& fields) {
  auto img = store::EmptyTableImage(fields, 41365.5, 1, "", false);
  WriteFileBytes(GbkToUtf8(gbk_path), std::string(img.begin(), img.end()));
  for (const auto& f : fields) {
    if (store::HasChain(f.type)) {
      auto c = store::EmptyCompanionImage(41365.5);
      WriteFileBytes(GbkToUtf8(store::ReplaceExtension(gbk_path, "edt")), std::string(c.begin(), c.end()));
      break;
    }
  }
}

inline int32_t I32At(const std::string& bytes, size_t offset) {
  return store::GetI32(reinterpret_cast<const uint8_t*>(bytes.data()) + offset);
}

inline void PutI32At(std::string* bytes, size_t offset, int32_t v) {
  store::PutI32(reinterpret_cast<uint8_t*>(bytes->data()) + offset, v);
}

}  // namespace tarvok::test
