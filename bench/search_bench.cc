// The keyword search over all four tables of a big organiser, beside SQLite
// doing the same job on the same data in the same run.
//
// The program folder holds
//   rz35   36,500 diary entries, one a day ending today: Chinese sentences
//          with ASCII notes between them, 60..900 bytes, different every day
//   tx35   1,000 events with short Chinese texts, some with a Latin note
//   bw35   one memo of a few hundred bytes
//   lxr35  10,000 contacts: Chinese and Latin names, phones, remarks
// and an SQLite file with the same rows in four tables without index. SQLite gets
// the texts as UTF-8, the encoding its LIKE reads; the organiser's tables
// hold them as GBK. Both match a keyword the same way (at character
// boundaries, ASCII letters folded and nothing else), and the run checks
// that both find the same number of lines in every list.
//
// For three keywords,
//   rare    "萤火虫"  planted in one diary entry of 911 (40 in all), 11
//                     events and 5 contacts
//   often   "公园"    in two sentences of the pool: more than half the
//                     entries, 100 events, the memo, 1,251 contacts
//   latin   "wifi"    stored as "WiFi", "WIFI", "wifi": needs the folding;
//                     about half the entries
// it times
//   Ours/K    search::SearchAllTables: the four result lists, dates as text
//   Sqlite/K  SELECT date ... WHERE text LIKE ? ORDER BY date on the diary,
//             SELECT start, rowid ... ORDER BY start on the events, the
//             first memo's text LIKE ?, and name/phone/remark LIKE ? on the
//             contacts in rowid order; the same lines built from the rows
//             (DateToText of each date, the not-found line for an empty list)
//
// with repetitions in random order, then prints the medians (real and CPU
// time) of each, the ratios Ours / Sqlite and the lines each side found.
// The flags are benchmark's; --search_dir=DIR chooses the folder of the data
// (default $TMPDIR or /tmp). A run in which SQLite found other lines than
// SearchAllTables exits 1.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bench/bench_util.h"
#include "bench/google_benchmark.h"
#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "search/keyword_search.h"
#include "store/errors.h"
#include "store/record_store.h"
#include "tables/tables.h"

namespace tarvok::bench {
namespace {

constexpr int kDiaryDays = 36500;
constexpr int kEvents = 1000;
constexpr int kContacts = 10000;

struct Keyword {
  const char* name;
  const char* utf8;
};
constexpr Keyword kKeywords[] = {{"rare", "萤火虫"}, {"often", "公园"}, {"latin", "wifi"}};

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error("search_bench: " + what); }

// ---- the data -----------------------------------------------------------------

const std::vector<std::string>& Sentences() {
  static const std::vector<std::string> pool = {
      "今天天气晴朗，早上七点起床，先去楼下的公园跑了三圈。",
      "上午在办公室整理上个月的报表，数字总算对上了。",
      "中午和同事在食堂吃饭，聊起了孩子上学的事情。",
      "下午开会讨论新项目的进度，大家意见不太一致，最后决定下周再议。",
      "晚上回家做了红烧肉和番茄炒蛋，全家人都说好吃。",
      "给父母打了电话，他们身体都还好，只是母亲的腰有点疼。",
      "读完了那本小说的最后一章，结局出乎意料。",
      "外面下起了小雨，空气里有泥土的味道。",
      "去银行办理了转账，排队等了将近一个小时。",
      "周末打算带孩子去博物馆看恐龙化石展览。",
      "最近睡眠不太好，晚上总是醒来两三次。",
      "超市的蔬菜又涨价了，白菜一斤要三块五。",
      "朋友从外地寄来了一箱橘子，又甜又多汁。",
      "修好了厨房的水龙头，省了请师傅的钱。",
      "整理旧照片时看到了大学时代的同学，感慨万千。",
      "晚饭后和妻子去公园散步，月亮又圆又亮，想起了小时候的中秋节。",
      "医生说血压有点偏高，要少吃盐，多运动。",
      "下班路上堵车，听了一路的广播。",
      "阳台上的花开了，红的黄的，特别好看。",
      "单位组织体检，抽血的时候有点紧张。",
      "去图书馆借了三本关于历史的书，准备慢慢看。",
      "把电脑里的文件整理了一遍，删掉了很多没用的东西。",
  };
  return pool;
}

const std::vector<std::string>& AsciiNotes() {
  static const std::vector<std::string> pool = {
      "8:30 meeting", "TODO: pay the bill", "call Wang 13812345678", "5 km in 31 min", "OK",
      "RMB 268.50",   "bus No. 42",         "WiFi password changed", "flight CA1234",  "weight 68.5 kg",
      "p.123-145",    "new WIFI router",    "budget: 1200/month",    "wifi down again",
  };
  return pool;
}

const std::string& RareSentence() {
  static const std::string s = "傍晚在河边散步，看到萤火虫在草丛里飞，一闪一闪的。";
  return s;
}

// Day i's entry in UTF-8: sentences and notes up to 60..900 bytes of GBK
// (Chinese characters count 2 there, 3 here).
std::string DiaryText(int i) {
  std::mt19937 rng(uint32_t(i) * 2654435761u + 7);
  const size_t target = 60 + rng() % 841;
  std::string s = "第" + std::to_string(i + 1) + "天。";
  size_t gbk_bytes = s.size();
  auto add = [&](const std::string& part) {
    s += part;
    gbk_bytes += Utf8ToGbk(part).size();
  };
  if (i % 911 == 455) add(RareSentence());
  while (gbk_bytes < target) {
    if (rng() % 4 == 0) {
      add(" " + AsciiNotes()[rng() % AsciiNotes().size()] + " ");
    } else {
      add(Sentences()[rng() % Sentences().size()]);
    }
  }
  return s;
}

std::string EventText(int i) {
  static const char* const kTexts[] = {"交电费", "给妈妈打电话", "去公园晨练", "还信用卡", "体检",
                                       "交房租", "换WiFi套餐",   "同学聚会",   "交物业费", "看牙医"};
  std::string s = std::string("提醒：") + kTexts[i % 10] + std::to_string(i);
  if (i % 97 == 13) s += "，看萤火虫";
  return s;
}

struct ContactRow {
  std::string name, phone, remark;
};

ContactRow ContactOf(int i) {
  static const char* const kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周",
                                          "徐", "孙", "马", "朱", "胡", "郭", "何", "高", "林", "罗"};
  static const char* const kGiven[] = {"小明", "建国", "丽", "伟", "秀英", "志强", "敏", "静"};
  static const char* const kRemarks[] = {"同事", "大学同学", "邻居", "公园晨练认识的", "装WiFi的师傅",
                                         "客户", "表哥", "牙医诊所"};
  ContactRow c;
  c.name = i % 50 == 0 ? "Tom" + std::to_string(i % 10000) : std::string(kSurnames[i % 20]) + kGiven[i % 8];
  c.phone = "1380000" + std::to_string(1000 + i % 9000);
  c.remark = kRemarks[(i / 3) % 8];
  if (i % 2011 == 5) c.remark += "，爱看萤火虫";
  return c;
}

std::string MemoText() {
  return "本周要做：交电费，给WiFi路由器换个位置，周六去公园拍照，"
         "周日整理书架。记得买牛奶和面包。";
}

struct Data {
  std::string dir;  // UTF-8, removed at the end
  store::RecordStore store;
  sqlite3* db = nullptr;
  sqlite3_stmt *diary = nullptr, *events = nullptr, *memo = nullptr, *contacts = nullptr;
};

void Exec(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err != nullptr ? err : "?";
    sqlite3_free(err);
    Fail(msg);
  }
}

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(db));
  return s;
}

void Insert(sqlite3_stmt* s, const std::vector<std::variant<double, std::string>>& values) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (const auto* d = std::get_if<double>(&values[i])) {
      sqlite3_bind_double(s, int(i + 1), *d);
    } else {
      const std::string& t = std::get<std::string>(values[i]);
      sqlite3_bind_text(s, int(i + 1), t.data(), int(t.size()), SQLITE_TRANSIENT);
    }
  }
  if (sqlite3_step(s) != SQLITE_DONE) Fail("insert");
  sqlite3_reset(s);
}

void Add(store::RecordStore& s, const std::vector<store::OptValue>& values) {
  if (!s.AddRecord(values)) Fail("AddRecord, store error " + std::to_string(store::LastError()));
}

void Open(store::RecordStore& s, const std::string& dir, const char* table) {
  if (!s.OpenTable(Utf8ToGb18030(dir) + "/data/" + table + ".edb")) Fail(std::string("open ") + table);
}

void MakeData(Data& d) {
  tables::EnsureDataFiles(Utf8ToGb18030(d.dir));
  if (sqlite3_open((d.dir + "/same.sqlite").c_str(), &d.db) != SQLITE_OK) Fail("sqlite open");
  Exec(d.db,
       "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
       "CREATE TABLE diary(date REAL, text TEXT);"
       "CREATE TABLE events(start REAL, period INTEGER, unit TEXT, text TEXT);"
       "CREATE TABLE memo(text TEXT);"
       "CREATE TABLE contacts(name TEXT, phone TEXT, remark TEXT); BEGIN");
  sqlite3_stmt* diary = Prepare(d.db, "INSERT INTO diary VALUES(?,?)");
  sqlite3_stmt* event = Prepare(d.db, "INSERT INTO events VALUES(?,?,?,?)");
  sqlite3_stmt* memo = Prepare(d.db, "INSERT INTO memo VALUES(?)");
  sqlite3_stmt* contact = Prepare(d.db, "INSERT INTO contacts VALUES(?,?,?)");
  store::RecordStore& s = d.store;

  Open(s, d.dir, tables::kDiaryTable);
  const DateTime today = DateOnly(Now());
  for (int i = 0; i < kDiaryDays; ++i) {
    const DateTime day = AddToDate(today, DateUnit::kDay, i - (kDiaryDays - 1));
    const std::string text = DiaryText(i);
    Add(s, tables::RecordValues(tables::DiaryEntry{day, Utf8ToGbk(text)}));
    Insert(diary, {day.value, text});
  }
  Open(s, d.dir, tables::kEventTable);
  static const tables::RecurrenceUnit kUnits[] = {tables::RecurrenceUnit::kYear, tables::RecurrenceUnit::kMonth,
                                                  tables::RecurrenceUnit::kDay, tables::RecurrenceUnit::kWeek};
  for (int i = 0; i < kEvents; ++i) {
    // Starts out of date order, so that the sorting has work on both sides.
    const tables::PeriodicEvent e{AddToDate(today, DateUnit::kDay, -(i * 37 % 4000)), 1 + i % 9, kUnits[i % 4],
                                  Utf8ToGbk(EventText(i))};
    Add(s, tables::RecordValues(e));
    Insert(event, {e.start.value, double(e.period), GbkToUtf8(tables::RecurrenceUnitText(e.unit)), EventText(i)});
  }
  Open(s, d.dir, tables::kMemoTable);
  Add(s, tables::RecordValues(tables::MemoNote{Utf8ToGbk(MemoText())}));
  Insert(memo, {MemoText()});
  Open(s, d.dir, tables::kContactTable);
  for (int i = 0; i < kContacts; ++i) {
    const ContactRow c = ContactOf(i);
    Add(s, tables::RecordValues(tables::Contact{Utf8ToGbk(c.name), c.phone, Utf8ToGbk(c.remark)}));
    Insert(contact, {c.name, c.phone, c.remark});
  }
  for (sqlite3_stmt* st : {diary, event, memo, contact}) sqlite3_finalize(st);
  Exec(d.db, "COMMIT");

  d.diary = Prepare(d.db, "SELECT date FROM diary WHERE text LIKE ?1 ORDER BY date");
  d.events = Prepare(d.db, "SELECT start, rowid FROM events WHERE text LIKE ?1 ORDER BY start");
  d.memo = Prepare(d.db, "SELECT text LIKE ?1 FROM memo ORDER BY rowid LIMIT 1");
  d.contacts = Prepare(d.db,
                       "SELECT name, rowid FROM contacts WHERE name LIKE ?1 OR phone LIKE ?1 OR remark LIKE ?1 "
                       "ORDER BY rowid");
}

// ---- the two searches ---------------------------------------------------------

search::SearchResults SqliteSearch(Data& d, const std::string& pattern) {
  search::SearchResults r;
  auto run = [&](sqlite3_stmt* s, auto&& row) {
    sqlite3_bind_text(s, 1, pattern.data(), int(pattern.size()), SQLITE_STATIC);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) row(s);
    if (rc != SQLITE_DONE) Fail(sqlite3_errmsg(d.db));
    sqlite3_reset(s);
  };
  auto not_found_if_empty = [](std::vector<search::Line>& lines) {
    if (lines.empty()) lines.push_back({search::NotFoundText(), 0});
  };
  run(d.diary, [&](sqlite3_stmt* s) {
    r.diary.push_back({DateToText(DateTime(sqlite3_column_double(s, 0)), DateTextForm::kFull), 0});
  });
  not_found_if_empty(r.diary);
  run(d.events, [&](sqlite3_stmt* s) {
    r.events.push_back(
        {DateToText(DateTime(sqlite3_column_double(s, 0)), DateTextForm::kFull), int32_t(sqlite3_column_int(s, 1))});
  });
  not_found_if_empty(r.events);
  run(d.memo, [&](sqlite3_stmt* s) {
    if (sqlite3_column_int(s, 0) != 0) r.memo.push_back({search::MemoFoundText(), 0});
  });
  not_found_if_empty(r.memo);
  run(d.contacts, [&](sqlite3_stmt* s) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    r.contacts.push_back({Utf8ToGbk(std::string_view(p, size_t(sqlite3_column_bytes(s, 0)))),
                          int32_t(sqlite3_column_int(s, 1))});
  });
  not_found_if_empty(r.contacts);
  return r;
}

Data* g_data = nullptr;
std::map<std::string, std::vector<size_t>> g_counts;  // lines per list, "Ours/K" and "Sqlite/K"

std::vector<size_t> Counts(const search::SearchResults& r) {
  auto n = [](const std::vector<search::Line>& l) {
    return l.size() == 1 && l[0].text == search::NotFoundText() ? size_t{0} : l.size();
  };
  return {n(r.diary), n(r.events), n(r.memo), n(r.contacts)};
}

void BM_Ours(benchmark::State& state, const Keyword& k) {
  const std::string keyword = Utf8ToGbk(k.utf8);
  search::SearchResults r;
  for (auto _ : state) {
    r = search::SearchAllTables(g_data->store, keyword);
    benchmark::DoNotOptimize(r);
  }
  g_counts[std::string("Ours/") + k.name] = Counts(r);
}

void BM_Sqlite(benchmark::State& state, const Keyword& k) {
  const std::string pattern = std::string("%") + k.utf8 + "%";
  search::SearchResults r;
  for (auto _ : state) {
    r = SqliteSearch(*g_data, pattern);
    benchmark::DoNotOptimize(r);
  }
  g_counts[std::string("Sqlite/") + k.name] = Counts(r);
}

// ---- summary ------------------------------------------------------------------

// Prints the summary; false when the two sides found different lines.
bool PrintSummary(const SummaryReporter& rep) {
  bool agree = true;
  std::printf("\nSearchAllTables over %d diary entries, %d events, a memo and %d contacts, beside SQLite LIKE\n"
              "(median [lowest..highest] of the repetitions; lines found: diary/events/memo/contacts)\n",
              kDiaryDays, kEvents, kContacts);
  for (const Keyword& k : kKeywords) {
    const std::string ours = std::string("Ours/") + k.name, theirs = std::string("Sqlite/") + k.name;
    const std::vector<size_t>& co = g_counts[ours];
    const std::vector<size_t>& cs = g_counts[theirs];
    const bool same = co == cs;
    agree = agree && same;
    for (const bool cpu : {false, true}) {
      double mo, lo, ho, ms, ls, hs;
      if (!rep.Stats(ours, cpu, &mo, &lo, &ho) || !rep.Stats(theirs, cpu, &ms, &ls, &hs)) continue;
      std::printf("  %-6s %s  ours %8.2f ms [%.2f..%.2f]  sqlite %8.2f ms [%.2f..%.2f]  ratio %5.2f\n", k.name,
                  cpu ? "cpu " : "real", mo, lo, ho, ms, ls, hs, mo / ms);
    }
    if (co.size() == 4 && cs.size() == 4) {
      std::printf("         lines %zu/%zu/%zu/%zu%s\n", co[0], co[1], co[2], co[3],
                  same ? ", SQLite the same" : "  (!) SQLite found other lines");
    }
  }
  return agree;
}

}  // namespace
}  // namespace tarvok::bench

int main(int argc, char** argv) {
  using namespace tarvok::bench;
  std::vector<std::string> own;
  if (!InitBenchmark(argc, argv, 9, {"--search_dir="}, &own)) return 1;
  const std::string root = own[0].empty() ? TempRoot() : own[0];

  Data data;
  data.dir = FreshFolder(root, "search-bench");
  g_data = &data;
  int rc = 0;
  try {
    MakeData(data);
    for (const Keyword& k : kKeywords) {
      benchmark::RegisterBenchmark((std::string("Ours/") + k.name).c_str(), BM_Ours, k)
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.5);
      benchmark::RegisterBenchmark((std::string("Sqlite/") + k.name).c_str(), BM_Sqlite, k)
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.5);
    }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (!PrintSummary(reporter)) rc = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    rc = 1;
  }
  for (sqlite3_stmt* s : {data.diary, data.events, data.memo, data.contacts}) sqlite3_finalize(s);
  if (data.db != nullptr) sqlite3_close(data.db);
  data.store.CloseAllTables();
  std::error_code ec;
  std::filesystem::remove_all(data.dir, ec);
  benchmark::Shutdown();
  return rc;
}
