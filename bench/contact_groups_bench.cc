// Building an initial-letter group of 10,000 contacts, beside SQLite doing
// the same copy and beside a plain walk of the store.
//
// lxr35 holds 10,000 contacts whose names start with common surnames (and a
// few Latin names); the same rows go into an SQLite table. Timed, one after
// the other, run after run:
//
//   group    BuildContactGroup for "A-D" (five passes of AppendFrom over
//            lxr35, the group file made anew and opened)
//   sqlite   DROP + CREATE of a group table and five INSERT ... SELECT
//            passes WHERE initial(name) = ?, initial() being the same
//            PinyinInitial registered as an SQL function, in one transaction
//   walk     one ScanRecords pass over lxr35 reading every name and taking
//            its initial: the least any group build must do
//
//   contact_groups_bench [--runs=N] [--dir=DIR]   (defaults 15, $TMPDIR or /tmp)
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "contacts/contact_groups.h"
#include "contacts/pinyin_initial.h"
#include "bench/bench_util.h"
#include "bench/sqlite_rows.h"
#include "platform/gbk.h"
#include "store/record_store.h"
#include "tables/tables.h"

namespace {

using namespace tarvok;
using bench::Exec;
using bench::Fail;
using bench::Median;
using bench::TimeMs;
constexpr int kContacts = 10000;

void SqlInitial(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* p = static_cast<const char*>(sqlite3_value_blob(argv[0]));
  const std::string name(p != nullptr ? p : "", size_t(sqlite3_value_bytes(argv[0])));
  const std::string initial = contacts::PinyinInitial(name.substr(0, std::min<size_t>(2, name.size())));
  sqlite3_result_text(ctx, initial.c_str(), int(initial.size()), SQLITE_TRANSIENT);
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Flags flags = bench::ParseFlags(argc, argv, 15);
  const int runs = flags.runs;
  const std::string& base = flags.dir;
  const std::string dir = bench::FreshFolder(base, "groups-bench"), gbk_dir = Utf8ToGb18030(dir);

  static const char* const kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周",
                                          "徐", "孙", "马", "朱", "胡", "郭", "何", "高", "林", "罗",
                                          "郑", "梁", "谢", "宋", "唐", "曹", "邓", "曾", "沈", "单"};
  tables::EnsureDataFiles(gbk_dir);
  store::RecordStore store;
  if (!store.OpenTable(gbk_dir + "/data/lxr35.edb")) Fail("open lxr35");
  sqlite3* db = nullptr;
  if (sqlite3_open((dir + "/same.sqlite").c_str(), &db) != SQLITE_OK) Fail("sqlite open");
  sqlite3_create_function(db, "initial", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, SqlInitial,
                          nullptr, nullptr);
  Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
           "CREATE TABLE contacts(name BLOB, phone BLOB, remark BLOB); BEGIN");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO contacts VALUES(?,?,?)", -1, &insert, nullptr);
  for (int i = 0; i < kContacts; ++i) {
    const std::string name =
        i % 50 == 0 ? "Tom" + std::to_string(i) : Utf8ToGbk(kSurnames[i % 30]) + "小明"_gbk;
    const tables::Contact c{name, "1380000" + std::to_string(1000 + i % 9000), "同事"_gbk};
    bench::AddContact(store, insert, c);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT");

  const contacts::ContactGroup& ad = contacts::ContactGroups().front();
  const std::string folder = gbk_dir + "/groups";
  mkdir((dir + "/groups").c_str(), 0700);
  size_t rows = 0;
  auto group = [&] {
    contacts::BuiltGroup built;
    if (contacts::BuildContactGroup(store, ad, folder, &built) != contacts::GroupResult::kBuilt) Fail("build");
    rows = built.sources.size();
  };
  auto sqlite = [&] {
    Exec(db, "BEGIN; DROP TABLE IF EXISTS ad; CREATE TABLE ad(name BLOB, phone BLOB, remark BLOB)");
    for (const char* initial : ad.initials) {
      const std::string sql =
          std::string("INSERT INTO ad SELECT * FROM contacts WHERE initial(name) = '") + initial + "'";
      Exec(db, sql.c_str());
    }
    Exec(db, "COMMIT");
  };
  size_t sink = 0;
  auto walk = [&] {
    store.SelectTable(tables::kContactTable);
    store.ScanRecords([&] {
      const store::Value v = store.ReadField(tables::ContactNameField());
      if (const auto* s = std::get_if<std::string>(&v)) sink += contacts::PinyinInitial(s->substr(0, 2)).size();
      return true;
    });
  };
  group();
  sqlite();
  walk();
  std::vector<double> g, s, w;
  for (int i = 0; i < runs; ++i) {
    g.push_back(TimeMs(group));
    s.push_back(TimeMs(sqlite));
    w.push_back(TimeMs(walk));
  }
  sqlite3_close(db);
  store.CloseAllTables();
  std::filesystem::remove_all(dir);
  const double mg = Median(g), ms = Median(s), mw = Median(w);
  std::printf("group A-D of %d contacts (%zu rows copied), median of %d runs\n", kContacts, rows, runs);
  std::printf("  group   %8.2f ms\n  sqlite  %8.2f ms   ratio group / sqlite %.2f\n", mg, ms, mg / ms);
  std::printf("  walk    %8.2f ms   ratio group / walk   %.2f%s\n", mw, mg / mw, sink == 0 ? " (!)" : "");
  return 0;
}
