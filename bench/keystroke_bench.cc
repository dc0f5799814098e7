// One keystroke in the today page's diary box, on a ten-year diary.
//
// The diary is a real rz35 (rz35.edb + rz35.edt from the organiser's own
// empty images) holding 3,650 consecutive days, each entry about 1 KB of GBK
// text. A keystroke is one change of the box's text, stored at once:
//
//   SaveDayDiary   the handler itself: select rz35, find the day's entry
//                  from the first record (DateOnly of each stored date
//                  against the day's), rewrite "日志"
//   StorePath      the foundation benchmark's store-level path: GoFirst,
//                  FindRecord comparing the stored DateTime with the day's
//                  midnight, WriteField
//   TextCondition  the store-level path with the day compared as date texts
//                  (DateToText of each stored date), to show what the texts
//                  would cost on every record
//
// Each runs for two kinds of day: "spread", days drawn evenly over the whole
// table (the search visits half the records on average), and "last", the
// newest entry, which is where the user types on the day itself (the search
// visits every record). Every keystroke appends one character to the entry's
// text and every 16th starts over, so the entries stay near 1 KB.
//
// After the runs a summary prints the median of the repetitions of each, the
// ratio of the handler to the store-level path, and the handler's time as a
// share of a 16 ms screen frame. Flags are benchmark's; the defaults add
// repetitions and random interleaving, so both paths meet the same state of
// the disk cache. --keystroke_dir=DIR chooses the folder of the diary
// (default $TMPDIR or /tmp).
#include <benchmark/benchmark.h>

#include "bench/google_benchmark.h"
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "datetime/date_time.h"
#include "platform/file.h"
#include "platform/gbk.h"
#include "store/errors.h"
#include "store/record_store.h"
#include "tables/tables.h"
#include "today/today_page.h"

namespace tarvok::bench {
namespace {

using store::RecordStore;
using store::Value;

constexpr int kDays = 3650;            // ten years
constexpr size_t kEntryBytes = 1000;   // about 1 KB of text per entry
constexpr int kTypedCycle = 16;        // characters typed before starting over
constexpr int kSpreadDays = 4096;      // length of the drawn day sequence
constexpr double kFrameMs = 16.0;

// ---- the diary ------------------------------------------------------------

struct Diary {
  std::string dir;  // UTF-8 folder, removed at the end
  RecordStore store;
  double first_day = 0;
  std::vector<std::string> texts;  // the entry texts as built
  std::vector<int> spread;         // entry indexes, evenly over the table
  double Date(int i) const { return first_day + i; }
};

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<platform::File> f;
  int err = platform::PosixFileSystem()->Open(path, platform::Access::kReadWrite,
                                              platform::Sharing::kExclusive,
                                              platform::Disposition::kCreateAlways, &f);
  if (err == 0) err = f->Write(0, bytes.data(), bytes.size());
  if (err != 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(err));
}

std::string EntryText(int i) {
  static const std::string phrase = "今天天气很好，我们去公园散步，看见湖边的柳树发芽了。"_gbk;
  std::string s = NumberToText(int32_t{i}) + " ";
  while (s.size() + phrase.size() <= kEntryBytes) s += phrase;
  return s;
}

// A golden-ratio sequence from a fixed start: every prefix spreads evenly
// over the table, so a short run already averages near the middle.
std::vector<int> SpreadDays(int n) {
  std::mt19937_64 rng(20240611);
  double u = std::uniform_real_distribution<double>(0, 1)(rng);
  std::vector<int> days;
  for (int i = 0; i < kSpreadDays; ++i) {
    u += 0.6180339887498949;
    u -= std::floor(u);
    days.push_back(std::min(n - 1, int(u * n)));
  }
  return days;
}

std::unique_ptr<Diary> BuildDiary(const std::string& root) {
  auto d = std::make_unique<Diary>();
  std::string pattern = root + "/tarvok-keystroke-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
  d->dir = pattern;
  for (const tables::TableImage& image : tables::TableImages()) {
    const std::string_view file = image.file;
    if (file == "rz35.edb" || file == "rz35.edt") WriteWholeFile(d->dir + "/" + image.file, image.bytes);
  }
  if (!d->store.OpenTable(Utf8ToGb18030(d->dir) + "/rz35.edb"))
    throw std::runtime_error("OpenTable: " + std::to_string(store::LastError()));
  d->first_day = MakeDate(2025, 12, 31).value - (kDays - 1);
  for (int i = 0; i < kDays; ++i) {
    d->texts.push_back(EntryText(i));
    if (!d->store.AddRecord({Value(DateTime(d->Date(i))), Value(d->texts.back())}))
      throw std::runtime_error("AddRecord: " + std::to_string(store::LastError()));
  }
  d->spread = SpreadDays(kDays);
  return d;
}

Diary* g_diary = nullptr;

// ---- the paths ------------------------------------------------------------

enum class Path { kHandler, kStore, kText };
enum class Days { kSpread, kLast };

// The state of one benchmark: where it is in the day sequence and how many
// characters it has typed into each entry.
struct Typing {
  size_t next = 0;
  std::vector<int> typed = std::vector<int>(kDays, 0);
};

const store::FieldRef& DateRef() {
  static const store::FieldRef f(tables::DiaryDateField());
  return f;
}
const store::FieldRef& TextRef() {
  static const store::FieldRef f(tables::DiaryTextField());
  return f;
}

bool StoreKeystroke(RecordStore& s, DateTime day, const std::string& text, bool by_text) {
  s.SelectTable(tables::kDiaryTable);
  s.GoFirst();
  bool found;
  if (by_text) {
    const std::string want = DateToText(day, DateTextForm::kDate);
    found = s.FindRecord([&] {
      return DateToText(std::get<DateTime>(s.ReadField(DateRef())), DateTextForm::kDate) == want;
    });
  } else {
    const DateTime want = DateOnly(day);
    found = s.FindRecord([&] { return std::get<DateTime>(s.ReadField(DateRef())) == want; });
  }
  return found && s.WriteField(TextRef(), Value(text));
}

void BM_Keystroke(benchmark::State& state, Path path, Days days) {
  Diary& d = *g_diary;
  Typing typing;
  std::string text;
  for (auto _ : state) {
    state.PauseTiming();
    int i = kDays - 1;
    if (days == Days::kSpread) {
      i = d.spread[typing.next];
      typing.next = (typing.next + 1) % d.spread.size();
    }
    int& typed = typing.typed[size_t(i)];
    typed = (typed + 1) % kTypedCycle;
    text = d.texts[size_t(i)];
    text.append(size_t(typed), 'x');
    // The month calendar hands over the selected day at 23:59:59.
    const DateTime day(d.Date(i) + 86399.0 / 86400);
    state.ResumeTiming();
    const bool ok = path == Path::kHandler ? today::SaveDayDiary(d.store, day, text)
                                           : StoreKeystroke(d.store, day, text, path == Path::kText);
    if (!ok) {
      state.SkipWithError(("keystroke failed, store error " + std::to_string(store::LastError())).c_str());
      break;
    }
  }
}

// ---- summary --------------------------------------------------------------

void PrintSummary(const SummaryReporter& rep) {
  std::printf("\nOne keystroke on a %d-day diary (~%zu bytes an entry): median [lowest..highest] "
              "of the repetitions\n", kDays, kEntryBytes);
  for (const char* days : {"spread", "last"}) {
    for (const bool cpu : {false, true}) {
      const std::string suffix = std::string("/") + days;
      double m[3], lo[3], hi[3];
      bool have[3];
      const char* names[3] = {"SaveDayDiary", "StorePath", "TextCondition"};
      std::printf("  %-6s %s", days, cpu ? "cpu " : "real");
      for (int i = 0; i < 3; ++i) {
        have[i] = rep.Stats(names[i] + suffix, cpu, &m[i], &lo[i], &hi[i]);
        if (have[i]) std::printf("  %s %.3f ms [%.3f..%.3f]", names[i], m[i], lo[i], hi[i]);
      }
      std::printf("\n");
      if (have[0] && have[1]) std::printf("              SaveDayDiary / StorePath = %.2f\n", m[0] / m[1]);
      if (have[2] && have[1]) std::printf("              TextCondition / StorePath = %.2f\n", m[2] / m[1]);
      if (have[0])
        std::printf("              SaveDayDiary = %.1f%% of a %.0f ms frame (highest %.1f%%)\n",
                    100 * m[0] / kFrameMs, kFrameMs, 100 * hi[0] / kFrameMs);
    }
  }
}

}  // namespace
}  // namespace tarvok::bench

int main(int argc, char** argv) {
  using namespace tarvok::bench;
  std::vector<std::string> own;
  if (!InitBenchmark(argc, argv, 7, {"--keystroke_dir="}, &own)) return 1;
  const std::string root = own[0].empty() ? TempRoot() : own[0];

  std::unique_ptr<Diary> diary;
  try {
    diary = BuildDiary(root);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  g_diary = diary.get();

  const struct {
    const char* name;
    Path path;
    Days days;
  } cases[] = {
      {"SaveDayDiary/spread", Path::kHandler, Days::kSpread},
      {"StorePath/spread", Path::kStore, Days::kSpread},
      {"TextCondition/spread", Path::kText, Days::kSpread},
      {"SaveDayDiary/last", Path::kHandler, Days::kLast},
      {"StorePath/last", Path::kStore, Days::kLast},
      {"TextCondition/last", Path::kText, Days::kLast},
  };
  for (const auto& c : cases) {
    benchmark::RegisterBenchmark(c.name, BM_Keystroke, c.path, c.days)
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(0.3);
  }
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);

  diary->store.CloseAllTables();
  std::error_code ec;
  std::filesystem::remove_all(diary->dir, ec);
  benchmark::Shutdown();
  return 0;
}
