// RefreshWeekView on a big organiser, beside SQLite doing the same lookups.
//
// For each size (diary days x events: 3,650 x 100, 3,650 x 1,000,
// 36,500 x 100, 36,500 x 1,000) the bench makes rz35 and tx35 in a fresh
// program folder (diary entries of about 1 KB on consecutive days ending
// today; events of every unit with periods 1..9) and the same rows in an
// SQLite file without index. Then, alternating, it times:
//
//   refresh   RefreshWeekView in a real main window (offscreen platform):
//             the grid rebuilt, one pass over rz35 for the seven days' first
//             entries and one over tx35 testing every event on every day
//   sqlite    the same data questions in SQLite: for each of the seven days
//             the first entry of that day (SELECT ... WHERE date >= ? AND
//             date < ? ORDER BY rowid LIMIT 1), its text cut to 100 bytes,
//             then every event read once and the same occurrence test run
//             on it for each day
//
// and prints the medians and the ratio refresh / sqlite.
//
//   week_view_bench [--runs=N] [--dir=DIR]   (defaults 15, $TMPDIR or /tmp)
#include <sqlite3.h>
#include <sys/stat.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "events/recurrence.h"
#include "bench/bench_util.h"
#include "bench/sqlite_rows.h"
#include "platform/gbk.h"
#include "store/record_store.h"
#include "tables/tables.h"
#include "ui/context.h"
#include "ui/main_window.h"
#include "views/week_view_ui.h"

namespace {

using namespace tarvok;
using bench::Exec;
using bench::Fail;
using bench::Median;
using bench::TimeMs;

tables::RecurrenceUnit UnitOf(int i) {
  static const tables::RecurrenceUnit kUnits[] = {tables::RecurrenceUnit::kYear, tables::RecurrenceUnit::kMonth,
                                                  tables::RecurrenceUnit::kDay, tables::RecurrenceUnit::kWeek};
  return kUnits[i % 4];
}

// The program folder `dir` with its tables, and the same rows in `db_path`.
void MakeData(const std::string& dir, const std::string& db_path, int days, int events) {
  const std::string gbk_dir = Utf8ToGb18030(dir);
  tables::EnsureDataFiles(gbk_dir);
  store::RecordStore s;
  sqlite3* db = nullptr;
  if (sqlite3_open(db_path.c_str(), &db) != SQLITE_OK) Fail("sqlite open");
  Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
           "CREATE TABLE diary(date REAL, text BLOB);"
           "CREATE TABLE events(start REAL, period INTEGER, unit BLOB, text BLOB);"
           "BEGIN");
  sqlite3_stmt* diary = nullptr;
  sqlite3_stmt* event = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO diary VALUES(?,?)", -1, &diary, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO events VALUES(?,?,?,?)", -1, &event, nullptr);

  if (!s.OpenTable(gbk_dir + "/data/rz35.edb")) Fail("open rz35");
  std::string text;
  while (text.size() < 1000) text += "今天天气很好，我们去公园散步，然后回家写日记。"_gbk;
  const DateTime today = DateOnly(Now());
  for (int i = days - 1; i >= 0; --i) {
    const DateTime day = AddToDate(today, DateUnit::kDay, -i);
    if (!s.AddRecord(tables::RecordValues(tables::DiaryEntry{day, text}))) Fail("write rz35");
    sqlite3_bind_double(diary, 1, day.value);
    sqlite3_bind_blob(diary, 2, text.data(), int(text.size()), SQLITE_STATIC);
    sqlite3_step(diary);
    sqlite3_reset(diary);
  }
  if (!s.OpenTable(gbk_dir + "/data/tx35.edb")) Fail("open tx35");
  for (int i = 0; i < events; ++i) {
    const tables::PeriodicEvent e{AddToDate(today, DateUnit::kDay, -(i * 37 % 4000)), 1 + i % 9, UnitOf(i),
                                  "提醒事项"_gbk + std::to_string(i)};
    bench::AddEvent(s, event, e);
  }
  sqlite3_finalize(diary);
  sqlite3_finalize(event);
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

// The week view's questions in SQLite; returns the bytes produced, so that
// nothing is optimised away.
size_t SqliteWeek(sqlite3* db, sqlite3_stmt* day_entry, sqlite3_stmt* all_events) {
  size_t bytes = 0;
  std::vector<DateTime> days;
  for (int r = 1; r <= 7; ++r) days.push_back(views::WeekRowDay(r));
  for (const DateTime d : days) {
    const double midnight = DateOnly(d).value;
    sqlite3_bind_double(day_entry, 1, midnight);
    sqlite3_bind_double(day_entry, 2, midnight + 1);
    if (sqlite3_step(day_entry) == SQLITE_ROW) {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(day_entry, 0));
      bytes += views::PreviewBytes(std::string_view(p, size_t(sqlite3_column_bytes(day_entry, 0)))).size();
    }
    sqlite3_reset(day_entry);
  }
  std::vector<std::string> texts(days.size());
  while (sqlite3_step(all_events) == SQLITE_ROW) {
    tables::PeriodicEvent e;
    e.start = DateTime(sqlite3_column_double(all_events, 0));
    e.period = sqlite3_column_int(all_events, 1);
    const auto* u = static_cast<const char*>(sqlite3_column_blob(all_events, 2));
    e.unit = tables::RecurrenceUnitFromText(std::string_view(u, size_t(sqlite3_column_bytes(all_events, 2))));
    const auto* t = static_cast<const char*>(sqlite3_column_blob(all_events, 3));
    e.text.assign(t, size_t(sqlite3_column_bytes(all_events, 3)));
    for (size_t i = 0; i < days.size(); ++i) {
      if (events::OccursOn(e, days[i])) texts[i] += e.text + "\r\n";
    }
  }
  sqlite3_reset(all_events);
  (void)db;
  for (const auto& t : texts) bytes += t.size();
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Flags flags = bench::ParseFlags(argc, argv, 15);
  const int runs = flags.runs;
  const std::string& base = flags.dir;
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  std::printf("RefreshWeekView beside SQLite (no index), median of %d runs\n", runs);
  std::printf("  %8s %7s %12s %12s %8s\n", "diary", "events", "refresh ms", "sqlite ms", "ratio");
  const int sizes[][2] = {{3650, 100}, {3650, 1000}, {36500, 100}, {36500, 1000}};
  for (const auto& size : sizes) {
    const std::string dir = bench::FreshFolder(base, "week-bench");
    MakeData(dir, dir + "/same.sqlite", size[0], size[1]);

    store::RecordStore store;
    for (const char* t : {"rz35", "tx35"}) {
      if (!store.OpenTable(Utf8ToGb18030(dir) + "/data/" + t + ".edb")) Fail("open for the view");
    }
    ui::MainWindow window;
    ui::Context ctx(Utf8ToGb18030(dir), store, window);
    sqlite3* db = nullptr;
    sqlite3_open(std::string(dir + "/same.sqlite").c_str(), &db);
    sqlite3_stmt* day_entry = nullptr;
    sqlite3_stmt* all_events = nullptr;
    sqlite3_prepare_v2(db, "SELECT text FROM diary WHERE date >= ? AND date < ? ORDER BY rowid LIMIT 1", -1,
                       &day_entry, nullptr);
    sqlite3_prepare_v2(db, "SELECT start, period, unit, text FROM events", -1, &all_events, nullptr);

    views::RefreshWeekView(ctx);  // warm both caches once
    size_t sink = SqliteWeek(db, day_entry, all_events);
    std::vector<double> ours, theirs;
    for (int i = 0; i < runs; ++i) {
      ours.push_back(TimeMs([&] { views::RefreshWeekView(ctx); }));
      theirs.push_back(TimeMs([&] { sink += SqliteWeek(db, day_entry, all_events); }));
    }
    sqlite3_finalize(day_entry);
    sqlite3_finalize(all_events);
    sqlite3_close(db);
    const double o = Median(ours), t = Median(theirs);
    std::printf("  %8d %7d %12.2f %12.2f %8.2f%s\n", size[0], size[1], o, t, o / t, sink == 0 ? " (!)" : "");
    store.CloseAllTables();
    std::filesystem::remove_all(dir);
  }
  return 0;
}
