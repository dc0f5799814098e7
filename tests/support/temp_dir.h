// A private folder per test, and whole-file helpers for checking bytes on
// disk behind the file layer's back.
#pragma once

#include <string>
#include <string_view>

namespace tarvok::test {

// Creates a fresh folder (mode 0700) under $TMPDIR, or /tmp when that is
// unset, named after the running test; removes it with everything inside
// when destroyed. Aborts when the folder cannot be made.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder as a file name of the system (UTF-8).
  const std::string& path() const { return path_; }
  // A name inside it, UTF-8 in and out: for system calls and the helpers
  // below.
  std::string Path(std::string_view utf8_name) const;
  // A name inside it, GBK in and out: what the file layer and the store
  // take.
  std::string GbkPath(std::string_view gbk_name) const;

 private:
  std::string path_;
};

// The whole content of a file (UTF-8 path); records a test failure and gives
// the empty text when the file cannot be read.
std::string ReadFileBytes(const std::string& path);
// Replaces the file's content with `bytes`, creating it; records a test
// failure when that is impossible.
void WriteFileBytes(const std::string& path, std::string_view bytes);

}  // namespace tarvok::test
