// What the fuzz targets share: a failed expectation ends the run, a private
// scratch folder made once, and an input spilled into a file.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tarvok::fuzz {

// Aborts with `what` when an expectation does not hold: the fuzzer keeps the
// input as a crash.
inline void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
  }
}

// A new private folder named after `target`, on tmpfs where there is one
// (inputs are written to files for every run).
inline std::string MakeScratchFolder(const char* target) {
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string dir = std::string(base) + "/" + target + "-XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  return dir;
}

// Writes `bytes` as the whole content of the file at `path` (mode 0600).
inline void Spill(const std::string& path, std::string_view bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Require(fd >= 0, "the input file can be made");
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
    Require(w > 0, "the input file can be written");
    done += size_t(w);
  }
  close(fd);
}

}  // namespace tarvok::fuzz
