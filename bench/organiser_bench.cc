// The organiser's interactive operations at full size, each beside the
// baseline its own benchmark measures it against, on one set of data.
//
// The data: a ten-year diary (3,650 days ending today, entries of about
// 1 KB), 1,000 periodic events of every unit, 10,000 contacts and a memo,
// in a fresh program folder, and the same rows in an SQLite file. The
// organiser runs in-process with its real main window (offscreen platform
// unless QT_QPA_PLATFORM says otherwise) after its real start-up. Then,
// alternating with its baseline, each operation is timed:
//
//   keystroke   one character typed at the end of today's diary entry: the
//               box's edit and its change event, SaveDayDiary (rewrite
//               "日志" of the newest entry)
//               baseline: the store-level path (GoFirst, FindRecord on the
//               date, WriteField) on the same entry
//   day click   a day chosen in the month calendar: ShowDay (the today page,
//               the day's diary and its events tested with OccursOn)
//               baseline: SQLite finding the day's entry and reading every
//               event for the same occurrence test
//   search      RunKeywordSearch over the four tables (a two-character
//               keyword that hits about one diary entry in ten), lists
//               filled
//               baseline: SQLite LIKE over the same columns, the diary and
//               event hits ordered by date
//   week view   RefreshWeekView: the grid rebuilt, seven days' previews and
//               events
//               baseline: SQLite doing the same lookups
//
// and prints one line each: the medians, the ratio ours / baseline and the
// operation's share of a 16 ms screen frame.
//
//   organiser_bench [--runs=N] [--dir=DIR]   (defaults 15, $TMPDIR or /tmp)
#include <sqlite3.h>
#include <sys/stat.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/startup.h"
#include "bench/bench_util.h"
#include "bench/organiser_data.h"
#include "datetime/date_time.h"
#include "events/recurrence.h"
#include "platform/gbk.h"
#include "platform/instance_guard.h"
#include "search/keyword_search.h"
#include "search/keyword_search_ui.h"
#include "store/record_store.h"
#include "tables/tables.h"
#include "ui/context.h"
#include "ui/lunar_calendar.h"
#include "ui/main_window.h"
#include "views/month_view_ui.h"
#include "views/week_view_ui.h"

namespace {

using namespace tarvok;
using bench::Median;
using bench::TimeMs;

constexpr double kFrameMs = 16;
using bench::Exec;
using bench::Fail;
using bench::Prepare;
using bench::kContacts;
using bench::kDays;
using bench::kEvents;

// The baselines' SQLite side.
struct Sqlite {
  sqlite3* db = nullptr;
  sqlite3_stmt* day_entry = nullptr;
  sqlite3_stmt* all_events = nullptr;
  sqlite3_stmt* update_day = nullptr;
  std::vector<sqlite3_stmt*> like;

  explicit Sqlite(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Fail("sqlite open");
    day_entry = Prepare(db, "SELECT text FROM diary WHERE date >= ? AND date < ? ORDER BY rowid LIMIT 1");
    all_events = Prepare(db, "SELECT start, period, unit, text FROM events");
    like = {Prepare(db, "SELECT date FROM diary WHERE text LIKE ?1 ORDER BY date"),
            Prepare(db, "SELECT start, rowid FROM events WHERE text LIKE ?1 ORDER BY start"),
            Prepare(db, "SELECT 1 FROM memo WHERE rowid = 1 AND text LIKE ?1"),
            Prepare(db, "SELECT name, rowid FROM contacts WHERE name LIKE ?1 OR phone LIKE ?1 OR remark LIKE ?1")};
  }
  ~Sqlite() {
    for (sqlite3_stmt* st : like) sqlite3_finalize(st);
    sqlite3_finalize(day_entry);
    sqlite3_finalize(all_events);
    sqlite3_close(db);
  }

  // The day's first entry and every event tested on the day: what a day
  // shows. Returns something of what was read, so nothing is optimised away.
  size_t Day(DateTime day) {
    size_t bytes = 0;
    sqlite3_bind_double(day_entry, 1, day.value);
    sqlite3_bind_double(day_entry, 2, day.value + 1);
    if (sqlite3_step(day_entry) == SQLITE_ROW) bytes += size_t(sqlite3_column_bytes(day_entry, 0));
    sqlite3_reset(day_entry);
    while (sqlite3_step(all_events) == SQLITE_ROW) {
      tables::PeriodicEvent e;
      e.start = DateTime(sqlite3_column_double(all_events, 0));
      e.period = sqlite3_column_int(all_events, 1);
      const auto* u = static_cast<const char*>(sqlite3_column_blob(all_events, 2));
      e.unit = tables::RecurrenceUnitFromText(std::string_view(u, size_t(sqlite3_column_bytes(all_events, 2))));
      if (events::OccursOn(e, day)) bytes += size_t(sqlite3_column_bytes(all_events, 3));
    }
    sqlite3_reset(all_events);
    return bytes;
  }

  size_t Week(DateTime today) {
    size_t bytes = 0;
    for (int r = -3; r <= 3; ++r) bytes += Day(AddToDate(today, DateUnit::kDay, r));
    return bytes;
  }

  size_t Search(const std::string& keyword) {
    const std::string pattern = "%" + keyword + "%";
    size_t rows = 0;
    for (sqlite3_stmt* st : like) {
      sqlite3_bind_blob(st, 1, pattern.data(), int(pattern.size()), SQLITE_STATIC);
      while (sqlite3_step(st) == SQLITE_ROW) ++rows;
      sqlite3_reset(st);
    }
    return rows;
  }
};

struct Row {
  const char* name;
  double ours, baseline;
};

}  // namespace

int main(int argc, char** argv) {
  const bench::Flags flags = bench::ParseFlags(argc, argv, 15);
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication qapp(argc, argv);

  const std::string work = bench::FreshFolder(flags.dir, "organiser-bench");
  const std::string program = work + "/organiser", run = work + "/run", db_path = work + "/baseline.db";
  mkdir(program.c_str(), 0700);
  mkdir(run.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
  bench::MakeOrganiserData(Utf8ToGb18030(program), db_path);

  store::RecordStore store;
  ui::MainWindow window;
  ui::Context ctx(Utf8ToGb18030(program), store, window);
  platform::InstanceGuard guard;
  app::ConnectMainWindow(ctx);
  if (!app::RunStartup(ctx, guard)) Fail("start-up");
  window.show();
  QApplication::processEvents();
  Sqlite sqlite(db_path);

  const DateTime today = DateOnly(Now());
  const std::string keyword = "旅行"_gbk;
  auto* diary_box = window.findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框_本日志"));
  auto* keyword_box = window.findChild<QLineEdit*>(QString::fromUtf8("编辑框关键词"));
  if (diary_box == nullptr || keyword_box == nullptr) Fail("units");

  std::vector<double> key_ours, key_base, day_ours, day_base, search_ours, search_base, week_ours, week_base;
  size_t sink = 0;
  for (int i = 0; i < flags.runs; ++i) {
    // A keystroke on today's entry; the day is today again for it.
    ctx.calendar().setSelectedDate(today);
    views::ShowDay(ctx);
    // One character typed at the end of the entry, as the box takes it.
    QTextCursor cursor = diary_box->textCursor();
    cursor.movePosition(QTextCursor::End);
    diary_box->setTextCursor(cursor);
    key_ours.push_back(TimeMs([&] { diary_box->insertPlainText(QStringLiteral("x")); }));
    const std::string text = bench::DiaryText(0) + std::string(size_t(1 + i % 16), 'x');
    key_base.push_back(TimeMs([&] {
      store.SelectTable(tables::kDiaryTable);
      store.GoFirst();
      const bool found = store.FindRecord([&] {
        const store::Value v = store.ReadField(tables::DiaryDateField());
        const auto* d = std::get_if<DateTime>(&v);
        return d != nullptr && d->value == today.value;
      });
      if (!found || !store.WriteField(tables::DiaryTextField(), store::Value(text + "y"))) Fail("store path");
    }));

    const DateTime day = AddToDate(today, DateUnit::kDay, -(i * 211) % kDays);
    day_ours.push_back(TimeMs([&] {
      ctx.calendar().setSelectedDate(day);
      views::ShowDay(ctx);
    }));
    day_base.push_back(TimeMs([&] { sink += sqlite.Day(day); }));

    search_ours.push_back(TimeMs([&] {
      keyword_box->setText(QString::fromUtf8("旅行"));
      search::RunKeywordSearch(ctx);
    }));
    search_base.push_back(TimeMs([&] { sink += sqlite.Search(keyword); }));

    week_ours.push_back(TimeMs([&] { views::RefreshWeekView(ctx); }));
    week_base.push_back(TimeMs([&] { sink += sqlite.Week(today); }));
  }
  const size_t hits = search::SearchAllTables(store, keyword).diary.size();
  app::RunDestroyStep(ctx);
  std::filesystem::remove_all(work);

  const Row rows[] = {
      {"keystroke", Median(key_ours), Median(key_base)},
      {"day click", Median(day_ours), Median(day_base)},
      {"search", Median(search_ours), Median(search_base)},
      {"week view", Median(week_ours), Median(week_base)},
  };
  std::printf("the organiser at full size: %d diary days, %d events, %d contacts (median of %d runs; %zu diary hits)\n",
              kDays, kEvents, kContacts, flags.runs, hits);
  std::printf("  %-10s %10s %12s %8s %10s   baseline\n", "operation", "ours ms", "baseline ms", "ratio", "of 16 ms");
  const char* baselines[] = {"store-level find and write", "SQLite: the day's entry and events",
                             "SQLite LIKE over the four tables", "SQLite: the seven days' lookups"};
  for (size_t i = 0; i < 4; ++i) {
    std::printf("  %-10s %10.3f %12.3f %8.2f %9.0f%%   %s\n", rows[i].name, rows[i].ours, rows[i].baseline,
                rows[i].ours / rows[i].baseline, 100 * rows[i].ours / kFrameMs, baselines[i]);
  }
  return sink == 0 ? 1 : 0;
}
