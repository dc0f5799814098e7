// Start-up of the organiser at full size, beside a bare Qt window: the time
// to the window and the memory it then holds.
//
// Both are real processes, started the same way (posix_spawn of a copy of
// this program in a folder of its own, offscreen platform unless
// QT_QPA_PLATFORM says otherwise), and timed from the spawn to the first
// paint of their window, which the child reports with one byte on a pipe,
// followed by its resident memory at that moment (VmRSS, 8 bytes):
//
//   organiser   the whole start-up over a program folder with a ten-year
//               diary, 1,000 events and 10,000 contacts (bench/
//               organiser_data.h): single-instance mark, table files, four
//               tables opened, grids bound, today shown, the settings and
//               the title pictures, then the window
//   bare        QApplication and one empty 870 x 520 QWidget
//
// The two alternate, run after run. The summary gives the median and the
// spread of each, the ratio of the medians, and the median memory of each.
//
//   startup_bench [--runs=N] [--dir=DIR]   (defaults 21, $TMPDIR or /tmp)
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/organiser.h"
#include "bench/bench_util.h"
#include "bench/organiser_data.h"
#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "store/record_store.h"
#include "tables/tables.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Resident memory of this process in bytes, from /proc/self/status.
uint64_t ResidentBytes() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return 0;
  char line[256];
  uint64_t kb = 0;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::sscanf(line, "VmRSS: %" SCNu64 " kB", &kb) == 1) break;
  }
  std::fclose(f);
  return kb * 1024;
}

void ReportShown() {
  char report[9] = {'S'};
  const uint64_t rss = ResidentBytes();
  std::memcpy(report + 1, &rss, sizeof rss);
  if (write(STDOUT_FILENO, report, sizeof report) != ssize_t(sizeof report)) std::_Exit(3);
}

class PaintWatch : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      ReportShown();
      QCoreApplication::exit(0);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool done_ = false;
};

int RunBare(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(870, 520);
  PaintWatch watch;
  window.installEventFilter(&watch);
  window.show();
  return QApplication::exec();
}

int RunOrganiserChild(int argc, char** argv) {
  return tarvok::app::RunOrganiser(argc, argv, [] {
    ReportShown();
    QCoreApplication::exit(0);
  });
}

struct Start {
  double ms;       // from the spawn to the report
  uint64_t bytes;  // resident memory then
};

// One start of `program --child=kind`.
Start TimeOne(const std::string& program, const char* kind) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const std::string arg = std::string("--child=") + kind;
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(arg.c_str()), nullptr};
  pid_t pid = 0;
  Clock::time_point shown{};
  const auto start = Clock::now();
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) {
    std::fprintf(stderr, "startup_bench: cannot start %s\n", program.c_str());
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  char report[9] = {};
  ssize_t got = 0;
  for (ssize_t n; got < ssize_t(sizeof report) && (n = read(fds[0], report + got, sizeof report - size_t(got))) > 0;) {
    got += n;
    if (got == 1) shown = Clock::now();  // the byte is the moment; the memory follows
  }
  if (got >= 1 && shown == Clock::time_point()) shown = Clock::now();
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (got != ssize_t(sizeof report) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "startup_bench: %s child failed (status %d)\n", kind, status);
    std::exit(1);
  }
  uint64_t bytes = 0;
  std::memcpy(&bytes, report + 1, sizeof bytes);
  return {std::chrono::duration<double, std::milli>(shown - start).count(), bytes};
}

struct Summary {
  double median, low, high;
};

Summary Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.front(), v.back()};
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--child=bare") return RunBare(argc, argv);
    if (a == "--child=organiser") return RunOrganiserChild(argc, argv);
  }
  const tarvok::bench::Flags flags = tarvok::bench::ParseFlags(argc, argv, 21);
  const int runs = flags.runs;
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  const std::string work = tarvok::bench::FreshFolder(flags.dir, "startup-bench");
  const std::string organiser = work + "/organiser", bare = work + "/bare", run = work + "/run";
  for (const std::string& d : {organiser, bare, run}) mkdir(d.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
  const fs::path self = fs::read_symlink("/proc/self/exe");
  fs::copy_file(self, organiser + "/startup_bench");
  fs::copy_file(self, bare + "/startup_bench");
  tarvok::bench::MakeOrganiserData(tarvok::Utf8ToGb18030(organiser), "");

  // One run of each first, not counted: the organiser's first start writes
  // its pictures and settings, and both warm the disk cache.
  TimeOne(organiser + "/startup_bench", "organiser");
  TimeOne(bare + "/startup_bench", "bare");
  std::vector<double> times_organiser, times_bare, memory_organiser, memory_bare;
  for (int i = 0; i < runs; ++i) {
    const Start o = TimeOne(organiser + "/startup_bench", "organiser");
    const Start b = TimeOne(bare + "/startup_bench", "bare");
    times_organiser.push_back(o.ms);
    times_bare.push_back(b.ms);
    memory_organiser.push_back(double(o.bytes) / (1 << 20));
    memory_bare.push_back(double(b.bytes) / (1 << 20));
  }
  fs::remove_all(work);

  const Summary o = Summarise(times_organiser), b = Summarise(times_bare);
  std::printf("start-up to the first paint of the window, %d runs each; %d diary days, %d events, %d contacts\n",
              runs, tarvok::bench::kDays, tarvok::bench::kEvents, tarvok::bench::kContacts);
  std::printf("  %-10s median %8.1f ms   (%.1f .. %.1f)\n", "organiser", o.median, o.low, o.high);
  std::printf("  %-10s median %8.1f ms   (%.1f .. %.1f)\n", "bare Qt", b.median, b.low, b.high);
  std::printf("  ratio organiser / bare: %.2f\n", o.median / b.median);
  const double mo = tarvok::bench::Median(memory_organiser), mb = tarvok::bench::Median(memory_bare);
  std::printf("resident memory when the window is shown\n");
  std::printf("  %-10s median %8.1f MiB\n  %-10s median %8.1f MiB\n  ratio organiser / bare: %.2f\n", "organiser",
              mo, "bare Qt", mb, mo / mb);
  return 0;
}
