// The lunar engine beside liblunar-date (Debian's liblunar-date-dev, a C
// library on GObject), doing the same work in the same run:
//
//   Convert/...  every day from 1901-02-19 to 2048-12-31 to its lunar year,
//                month, day and leap flag (54,008 days per iteration).
//                liblunar-date is measured twice: setting the date alone
//                ("set"), and setting it and reading the four numbers back
//                through its format call, its only way out ("read").
//   Grid/...     one month as the calendar builds it on a change of month,
//                the months of the range in turn: ours builds the MonthGrid
//                (42 conversions and term lookups) and writes both labels of
//                every cell and the information line; liblunar-date
//                converts and reads the 42 days only, less work than ours.
//
// Before the benchmarks both sides convert every day of the range and the
// days they disagree on are counted; after them a summary gives the ratios and the time of one grid
// against a 16 ms screen frame. liblunar-date starts a day at 23:00, so it
// is always given noon.
//
//   build-bench/bin/lunar_bench [benchmark flags]
//
// Without liblunar-date installed only our side runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "datetime/date_time.h"
#include "lunar/lunar.h"
#include "lunar/month_grid.h"

#ifdef TARVOK_HAVE_LUNAR_DATE
#include <lunar-date/lunar-date.h>
#endif

namespace {

using namespace tarvok;

struct Day {
  int y, m, d;
};

const std::vector<Day>& AllDays() {
  static const std::vector<Day> days = [] {
    std::vector<Day> v;
    for (int y = lunar::kFirstYear; y <= lunar::kLastYear; ++y)
      for (int m = 1; m <= 12; ++m)
        for (int d = 1; d <= DaysInMonth(y, m); ++d)
          if (y > 1901 || m > 2 || (m == 2 && d >= 19)) v.push_back({y, m, d});
    return v;
  }();
  return days;
}

struct Month {
  int y, m;
};

const std::vector<Month>& AllMonths() {
  static const std::vector<Month> months = [] {
    std::vector<Month> v;
    for (int y = lunar::kFirstYear; y <= lunar::kLastYear; ++y)
      for (int m = y == lunar::kFirstYear ? lunar::kFirstMonth : 1; m <= 12; ++m) v.push_back({y, m});
    return v;
  }();
  return months;
}

// A number that depends on every field, so that no conversion is dropped.
uint64_t Fold(uint64_t sum, int year, int month, int day, bool leap) {
  return sum * 31 + static_cast<uint64_t>(year * 1000 + month * 40 + day * 2 + (leap ? 1 : 0));
}

void BM_Convert_Ours(benchmark::State& state) {
  const auto& days = AllDays();
  for (auto _ : state) {
    uint64_t sum = 0;
    for (const Day& d : days) {
      const auto l = lunar::GregorianToLunar(d.y, d.m, d.d);
      sum = Fold(sum, l->year, l->month, l->day, l->leap);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * days.size()));
}
BENCHMARK(BM_Convert_Ours)->Name("Convert/ours")->Unit(benchmark::kMillisecond);

void BM_Grid_Ours(benchmark::State& state) {
  const auto& months = AllMonths();
  size_t next = 0;
  for (auto _ : state) {
    const Month& mo = months[next];
    next = next + 1 == months.size() ? 0 : next + 1;
    const auto grid = lunar::BuildMonthGrid(mo.y, mo.m);
    size_t bytes = 0;
    for (const lunar::GridCell& c : grid->cells)
      bytes += lunar::UpperLabel(c).size() + lunar::LowerLabel(c).size();
    bytes += lunar::TermLine(*grid).size();
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_Grid_Ours)->Name("Grid/ours")->Unit(benchmark::kMicrosecond);

#ifdef TARVOK_HAVE_LUNAR_DATE

struct Theirs {
  LunarDate* date = lunar_date_new();
  ~Theirs() { lunar_date_free(date); }

  bool Set(const Day& d) {
    GError* error = nullptr;
    lunar_date_set_solar_date(date, static_cast<GDateYear>(d.y), static_cast<GDateMonth>(d.m),
                              static_cast<GDateDay>(d.d), 12, &error);
    if (error == nullptr) return true;
    g_error_free(error);
    return false;
  }
  // Year, month, day and leap flag of the date set last ("2014 *9 1" for
  // the first day of a leap ninth month).
  bool Read(lunar::LunarDate* out) {
    gchar* text = lunar_date_strftime(date, "%(nian) %(yue) %(ri)");
    char* p = text;
    out->year = static_cast<int>(std::strtol(p, &p, 10));
    while (*p == ' ') ++p;
    out->leap = *p == '*';
    if (out->leap) ++p;
    out->month = static_cast<int>(std::strtol(p, &p, 10));
    out->day = static_cast<int>(std::strtol(p, &p, 10));
    const bool ok = *p == '\0';
    g_free(text);
    return ok;
  }
};

void BM_Convert_TheirsSet(benchmark::State& state) {
  const auto& days = AllDays();
  Theirs theirs;
  for (auto _ : state) {
    int ok = 0;
    for (const Day& d : days) ok += theirs.Set(d);
    benchmark::DoNotOptimize(ok);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * days.size()));
}
BENCHMARK(BM_Convert_TheirsSet)->Name("Convert/liblunar-date-set")->Unit(benchmark::kMillisecond);

void BM_Convert_TheirsRead(benchmark::State& state) {
  const auto& days = AllDays();
  Theirs theirs;
  for (auto _ : state) {
    uint64_t sum = 0;
    lunar::LunarDate l;
    for (const Day& d : days) {
      theirs.Set(d);
      theirs.Read(&l);
      sum = Fold(sum, l.year, l.month, l.day, l.leap);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * days.size()));
}
BENCHMARK(BM_Convert_TheirsRead)->Name("Convert/liblunar-date-read")->Unit(benchmark::kMillisecond);

void BM_Grid_Theirs(benchmark::State& state) {
  // The same 42 days as our grid of each month, listed beforehand.
  std::vector<std::vector<Day>> grids;
  for (const Month& mo : AllMonths()) {
    const auto grid = lunar::BuildMonthGrid(mo.y, mo.m);
    grids.emplace_back();
    for (const lunar::GridCell& c : grid->cells) grids.back().push_back({c.year, c.month, c.day});
  }
  size_t next = 0;
  Theirs theirs;
  for (auto _ : state) {
    uint64_t sum = 0;
    lunar::LunarDate l;
    for (const Day& d : grids[next]) {
      if (theirs.Set(d) && theirs.Read(&l)) sum = Fold(sum, l.year, l.month, l.day, l.leap);
    }
    next = next + 1 == grids.size() ? 0 : next + 1;
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_Grid_Theirs)->Name("Grid/liblunar-date")->Unit(benchmark::kMicrosecond);

// Every day of the range through both; prints the number of disagreements
// and the first few.
void CrossCheck() {
  Theirs theirs;
  int differ = 0;
  for (const Day& d : AllDays()) {
    const auto ours = lunar::GregorianToLunar(d.y, d.m, d.d);
    lunar::LunarDate l;
    if (!theirs.Set(d) || !theirs.Read(&l) || !ours || !(*ours == l)) {
      if (++differ <= 3)
        std::fprintf(stderr, "differ on %d-%02d-%02d: ours %d/%d/%d%s, liblunar-date %d/%d/%d%s\n",
                     d.y, d.m, d.d, ours ? ours->year : 0, ours ? ours->month : 0,
                     ours ? ours->day : 0, ours && ours->leap ? " leap" : "", l.year, l.month,
                     l.day, l.leap ? " leap" : "");
    }
  }
  std::printf("cross-check: %zu days, %d differ\n", AllDays().size(), differ);
}

#endif  // TARVOK_HAVE_LUNAR_DATE

// Keeps the median real time of every benchmark, in microseconds.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so that a saved run reads cleanly.
  SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const double us = r.GetAdjustedRealTime() * Micros(r.time_unit);
      if (r.run_type == Run::RT_Iteration)
        times_[r.run_name.function_name].push_back(us);
      else if (r.aggregate_name == "median")
        medians_[r.run_name.function_name] = us;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median of the repetitions; -1 when the benchmark did not run.
  double Median(const std::string& name) const {
    if (auto it = medians_.find(name); it != medians_.end()) return it->second;
    auto it = times_.find(name);
    if (it == times_.end() || it->second.empty()) return -1;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
  }

 private:
  static double Micros(benchmark::TimeUnit u) {
    switch (u) {
      case benchmark::kNanosecond: return 1e-3;
      case benchmark::kMicrosecond: return 1;
      case benchmark::kMillisecond: return 1e3;
      case benchmark::kSecond: return 1e6;
    }
    return 1;
  }
  std::map<std::string, std::vector<double>> times_;
  std::map<std::string, double> medians_;
};

// " 6.8 x ours", or nothing when either side did not run.
std::string Times(double theirs, double ours) {
  if (theirs <= 0 || ours <= 0) return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, "  %.1f x ours", theirs / ours);
  return buf;
}

void PrintSummary(const SummaryReporter& rep) {
  constexpr double kFrameMicros = 16000;
  const double n = static_cast<double>(AllDays().size());
  const double ours = rep.Median("Convert/ours");
  std::printf("\nsummary (medians)\n");
  const struct {
    const char* what;
    double us;
  } days[] = {{"every day of the range, ours:", ours},
              {"liblunar-date, set only:", rep.Median("Convert/liblunar-date-set")},
              {"liblunar-date, set and read:", rep.Median("Convert/liblunar-date-read")}};
  for (const auto& d : days)
    if (d.us > 0)
      std::printf("  %-38s %9.2f ms  (%.1f ns a day)%s\n", d.what, d.us / 1e3, d.us * 1e3 / n,
                  d.us == ours ? "" : Times(d.us, ours).c_str());
  const double grid = rep.Median("Grid/ours");
  const struct {
    const char* what;
    double us;
  } grids[] = {{"one month grid with labels, ours:", grid},
               {"the 42 days through liblunar-date:", rep.Median("Grid/liblunar-date")}};
  for (const auto& g : grids)
    if (g.us > 0)
      std::printf("  %-38s %9.2f us  = %.3f%% of a 16 ms frame%s\n", g.what, g.us,
                  g.us / kFrameMicros * 100, g.us == grid ? "" : Times(g.us, grid).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
#ifdef TARVOK_HAVE_LUNAR_DATE
  // A disagreement is a matter for the tables' own cross-check test; the
  // timing is still the same work on both sides.
  CrossCheck();
#else
  std::printf("liblunar-date is not installed: only our side runs\n");
#endif
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  benchmark::Shutdown();
  return 0;
}
