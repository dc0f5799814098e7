// What the benchmarks built on Google Benchmark share: their start from the
// command line, and a reporter that keeps the time of every repetition so
// that a benchmark can end with its own summary (medians, spreads, ratios).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_util.h"

namespace tarvok::bench {

// Initialises Google Benchmark from the command line, with `repetitions`
// repetitions in random interleaving unless the command line says otherwise
// (so that each side meets the same state of the disk cache). The flags of
// the benchmark's own, given by their prefixes ("--search_dir="), are taken
// out first: values[i] is the text after own[i], or empty when absent.
// False after reporting an unknown flag.
inline bool InitBenchmark(int argc, char** argv, int repetitions, const std::vector<std::string_view>& own,
                          std::vector<std::string>* values) {
  static std::string reps, interleave = "--benchmark_enable_random_interleaving=true";
  reps = "--benchmark_repetitions=" + std::to_string(repetitions);
  std::vector<char*> args = {argv[0], reps.data(), interleave.data()};
  values->assign(own.size(), std::string());
  for (int i = 1; i < argc; ++i) {
    const std::string_view a(argv[i]);
    size_t k = 0;
    while (k < own.size() && !a.starts_with(own[k])) ++k;
    if (k < own.size()) {
      (*values)[k] = std::string(a.substr(own[k].size()));
    } else {
      args.push_back(argv[i]);
    }
  }
  int n = int(args.size());
  benchmark::Initialize(&n, args.data());
  return !benchmark::ReportUnrecognizedArguments(n, args.data());
}

// Keeps the real and the CPU time per iteration of every repetition, in
// milliseconds, by benchmark name. The real time is what the user waits
// for; the CPU time leaves out the waits on the disk and on other
// processes, which make most of the spread on a busy machine.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
      const double to_ms = 1e3 / benchmark::GetTimeUnitMultiplier(r.time_unit);
      real_[r.run_name.function_name].push_back(r.GetAdjustedRealTime() * to_ms);
      cpu_[r.run_name.function_name].push_back(r.GetAdjustedCPUTime() * to_ms);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Median and the spread (lowest, highest) of a benchmark's repetitions;
  // false when it did not run.
  bool Stats(const std::string& name, bool cpu, double* median, double* low, double* high) const {
    const auto& times = cpu ? cpu_ : real_;
    auto it = times.find(name);
    if (it == times.end() || it->second.empty()) return false;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    *median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    *low = v.front();
    *high = v.back();
    return true;
  }

  // The median real time of a benchmark's repetitions; 0 when it did not run.
  double Median(const std::string& name) const {
    double median = 0, low = 0, high = 0;
    return Stats(name, false, &median, &low, &high) ? median : 0;
  }

 private:
  std::map<std::string, std::vector<double>> real_, cpu_;
};

}  // namespace tarvok::bench
