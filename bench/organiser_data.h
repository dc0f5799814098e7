// The organiser at full size, for the benchmarks that measure it whole: a
// ten-year diary (3,650 days ending today, entries of about 1 KB, one in
// ten holding the search keyword "旅行"), 1,000 periodic events of every
// unit, 10,000 contacts and a memo, written into a program folder and, when
// a database path is given, the same rows into SQLite tables diary, events,
// memo and contacts (no index).
#pragma once

#include <sqlite3.h>

#include <string>

#include "bench/sqlite_rows.h"
#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "store/record_store.h"
#include "tables/tables.h"

namespace tarvok::bench {

inline constexpr int kDays = 3650;
inline constexpr int kEvents = 1000;
inline constexpr int kContacts = 10000;


inline std::string DiaryText(int i) {
  static const char* const pieces[] = {"今天天气很好，", "我们去公园散步，", "然后回家写日记。", "Notes for the day; ",
                                       "和朋友吃饭聊天。"};
  std::string text;
  for (int k = 0; text.size() < 1000; ++k) text += Utf8ToGbk(pieces[(i + k) % 5]);
  if (i % 10 == 0) text += "旅行"_gbk;  // the keyword of the search
  return text;
}

inline tables::PeriodicEvent EventOf(int i, DateTime today) {
  static const tables::RecurrenceUnit kUnits[] = {tables::RecurrenceUnit::kYear, tables::RecurrenceUnit::kMonth,
                                                  tables::RecurrenceUnit::kDay, tables::RecurrenceUnit::kWeek};
  return {AddToDate(today, DateUnit::kDay, -(i * 7) % 3650), 1 + i % 9, kUnits[i % 4],
          "提醒事项第"_gbk + std::to_string(i) + (i % 50 == 0 ? "旅行"_gbk : "")};
}

inline tables::Contact ContactOf(int i) {
  return {"联系人"_gbk + std::to_string(i), "138" + std::to_string(10000000 + i), i % 100 == 0 ? "旅行社"_gbk : "同事"_gbk};
}

// `db_path` empty: the SQLite copy is made in memory and dropped.
inline void MakeOrganiserData(const std::string& gbk_dir, const std::string& db_path) {
  tables::EnsureDataFiles(gbk_dir);
  store::RecordStore s;
  sqlite3* db = nullptr;
  if (sqlite3_open(db_path.empty() ? ":memory:" : db_path.c_str(), &db) != SQLITE_OK) Fail("sqlite open");
  Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
           "CREATE TABLE diary(date REAL, text BLOB);"
           "CREATE TABLE events(start REAL, period INTEGER, unit BLOB, text BLOB);"
           "CREATE TABLE memo(text BLOB);"
           "CREATE TABLE contacts(name BLOB, phone BLOB, remark BLOB);"
           "BEGIN");
  sqlite3_stmt* diary = Prepare(db, "INSERT INTO diary VALUES(?,?)");
  sqlite3_stmt* event = Prepare(db, "INSERT INTO events VALUES(?,?,?,?)");
  sqlite3_stmt* contact = Prepare(db, "INSERT INTO contacts VALUES(?,?,?)");
  const DateTime today = DateOnly(Now());

  if (!s.OpenTable(gbk_dir + "/data/rz35.edb")) Fail("open rz35");
  for (int i = kDays - 1; i >= 0; --i) {
    const tables::DiaryEntry e{AddToDate(today, DateUnit::kDay, -i), DiaryText(i)};
    if (!s.AddRecord(tables::RecordValues(e))) Fail("add diary");
    sqlite3_bind_double(diary, 1, e.date.value);
    sqlite3_bind_blob(diary, 2, e.text.data(), int(e.text.size()), SQLITE_STATIC);
    sqlite3_step(diary);
    sqlite3_reset(diary);
  }
  if (!s.OpenTable(gbk_dir + "/data/tx35.edb")) Fail("open tx35");
  for (int i = 0; i < kEvents; ++i) AddEvent(s, event, EventOf(i, today));
  const std::string memo = DiaryText(3);
  if (!s.OpenTable(gbk_dir + "/data/bw35.edb") || !s.AddRecord(tables::RecordValues(tables::MemoNote{memo}))) {
    Fail("add memo");
  }
  sqlite3_stmt* m = Prepare(db, "INSERT INTO memo VALUES(?)");
  sqlite3_bind_blob(m, 1, memo.data(), int(memo.size()), SQLITE_STATIC);
  sqlite3_step(m);
  sqlite3_finalize(m);
  if (!s.OpenTable(gbk_dir + "/data/lxr35.edb")) Fail("open lxr35");
  for (int i = 0; i < kContacts; ++i) AddContact(s, contact, ContactOf(i));
  sqlite3_finalize(diary);
  sqlite3_finalize(event);
  sqlite3_finalize(contact);
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

}  // namespace tarvok::bench
