// Start-up of the organiser on a ten-year diary, beside a bare Qt window.
//
// Both are real processes, started the same way (posix_spawn of a copy of
// this program in a folder of its own, offscreen platform unless
// QT_QPA_PLATFORM says otherwise), and timed from the spawn to the first
// paint of their window, which the child reports with one byte on a pipe:
//
//   organiser   the whole start-up over a program folder whose rz35 holds
//               3,650 consecutive days of about 1 KB each: single-instance
//               mark, table files, four tables opened, today shown, the
//               settings and the title pictures, then the window
//   bare        QApplication and one empty 870 x 520 QWidget
//
// The two alternate, run after run. The summary gives the median and the
// spread of each and the ratio of the medians.
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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/organiser.h"
#include "bench/bench_util.h"
#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "store/record_store.h"
#include "tables/tables.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kDiaryDays = 3650;

void ReportShown() {
  const char byte = 'S';
  if (write(STDOUT_FILENO, &byte, 1) != 1) std::_Exit(3);
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

// A program folder whose diary holds kDiaryDays days ending today.
void MakeDiary(const std::string& program_dir) {
  using namespace tarvok;
  const std::string gbk_dir = Utf8ToGb18030(program_dir);
  tables::EnsureDataFiles(gbk_dir);
  store::RecordStore s;
  if (!s.OpenTable(gbk_dir + "/data/rz35.edb")) {
    std::fprintf(stderr, "startup_bench: cannot open the diary\n");
    std::exit(1);
  }
  std::string text;
  while (text.size() < 1000) text += "今天天气很好，我们去公园散步，然后回家写日记。"_gbk;
  const DateTime today = DateOnly(Now());
  for (int i = kDiaryDays - 1; i >= 0; --i) {
    const DateTime day = AddToDate(today, DateUnit::kDay, -i);
    if (!s.AddRecord(tables::RecordValues(tables::DiaryEntry{day, text}))) {
      std::fprintf(stderr, "startup_bench: cannot write the diary\n");
      std::exit(1);
    }
  }
}

// Milliseconds from the spawn of `program --child=kind` to its byte.
double TimeOne(const std::string& program, const char* kind) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const std::string arg = std::string("--child=") + kind;
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(arg.c_str()), nullptr};
  pid_t pid = 0;
  const auto start = Clock::now();
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) {
    std::fprintf(stderr, "startup_bench: cannot start %s\n", program.c_str());
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  char byte = 0;
  const ssize_t got = read(fds[0], &byte, 1);
  const auto shown = Clock::now();
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (got != 1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "startup_bench: %s child failed (status %d)\n", kind, status);
    std::exit(1);
  }
  return std::chrono::duration<double, std::milli>(shown - start).count();
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
  MakeDiary(organiser);

  // One run of each first, not counted: the organiser's first start writes
  // its pictures and settings, and both warm the disk cache.
  TimeOne(organiser + "/startup_bench", "organiser");
  TimeOne(bare + "/startup_bench", "bare");
  std::vector<double> times_organiser, times_bare;
  for (int i = 0; i < runs; ++i) {
    times_organiser.push_back(TimeOne(organiser + "/startup_bench", "organiser"));
    times_bare.push_back(TimeOne(bare + "/startup_bench", "bare"));
  }
  fs::remove_all(work);

  const Summary o = Summarise(times_organiser), b = Summarise(times_bare);
  std::printf("start-up to the first paint of the window, %d runs each, diary of %d days\n", runs,
              kDiaryDays);
  std::printf("  %-10s median %8.1f ms   (%.1f .. %.1f)\n", "organiser", o.median, o.low, o.high);
  std::printf("  %-10s median %8.1f ms   (%.1f .. %.1f)\n", "bare Qt", b.median, b.low, b.high);
  std::printf("  ratio organiser / bare: %.2f\n", o.median / b.median);
  return 0;
}
