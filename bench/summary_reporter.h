// A Google Benchmark reporter that keeps the time of every repetition, so
// that a benchmark can end with its own summary: medians, spreads, ratios.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace tarvok::bench {

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
