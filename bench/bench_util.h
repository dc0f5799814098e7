// What the stand-alone benchmarks share: their two flags, a fresh folder,
// and timing with medians.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tarvok::bench {

// $TMPDIR, or /tmp when it is unset or empty.
inline std::string TempRoot() {
  const char* t = getenv("TMPDIR");
  return t != nullptr && *t != '\0' ? t : "/tmp";
}

// --runs=N (at least 1) and --dir=DIR (default TempRoot()).
struct Flags {
  int runs;
  std::string dir;
};

inline Flags ParseFlags(int argc, char** argv, int default_runs) {
  Flags flags{default_runs, TempRoot()};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--runs=", 0) == 0) flags.runs = std::max(1, std::atoi(a.c_str() + 7));
    if (a.rfind("--dir=", 0) == 0) flags.dir = a.substr(6);
  }
  return flags;
}

// A new folder "<base>/<prefix>-XXXXXX"; ends the program when it cannot be
// made.
inline std::string FreshFolder(const std::string& base, const char* prefix) {
  std::string pattern = base + "/" + prefix + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  return pattern;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

template <typename F>
double TimeMs(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace tarvok::bench
