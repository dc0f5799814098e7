// What the benchmarks that keep the same rows in the record store and in
// SQLite share: ending on a failure, running and preparing SQL, and writing
// one event or contact to both sides.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/record_store.h"
#include "tables/tables.h"

namespace tarvok::bench {

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "bench: %s\n", what);
  std::exit(1);
}

inline void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(db));
}

inline sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(db));
  return st;
}

// Appends `e` to the current table of `s` (tx35) and runs `insert`,
// "INSERT INTO events VALUES(start, period, unit, text)", with it.
inline void AddEvent(store::RecordStore& s, sqlite3_stmt* insert, const tables::PeriodicEvent& e) {
  if (!s.AddRecord(tables::RecordValues(e))) Fail("add event");
  const std::string& unit = tables::RecurrenceUnitText(e.unit);
  sqlite3_bind_double(insert, 1, e.start.value);
  sqlite3_bind_int(insert, 2, e.period);
  sqlite3_bind_blob(insert, 3, unit.data(), int(unit.size()), SQLITE_STATIC);
  sqlite3_bind_blob(insert, 4, e.text.data(), int(e.text.size()), SQLITE_STATIC);
  sqlite3_step(insert);
  sqlite3_reset(insert);
}

// Appends `c` to the current table of `s` (lxr35) and runs `insert`,
// "INSERT INTO contacts VALUES(name, phone, remark)", with it.
inline void AddContact(store::RecordStore& s, sqlite3_stmt* insert, const tables::Contact& c) {
  if (!s.AddRecord(tables::RecordValues(c))) Fail("add contact");
  sqlite3_bind_blob(insert, 1, c.name.data(), int(c.name.size()), SQLITE_STATIC);
  sqlite3_bind_blob(insert, 2, c.phone.data(), int(c.phone.size()), SQLITE_STATIC);
  sqlite3_bind_blob(insert, 3, c.remark.data(), int(c.remark.size()), SQLITE_STATIC);
  sqlite3_step(insert);
  sqlite3_reset(insert);
}

}  // namespace tarvok::bench
