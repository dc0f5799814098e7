// The diary table of the organiser in the record store, beside the same data
// in SQLite, measured in one run.
//
// A diary holds one entry per day: "日期" (DateTime, midnight of the day) and
// "日志" (Memo, about 1 KB of GBK text). For each size N (3,650 and 36,500
// days) the same entries go into
//   ours           diary.edb + diary.edt, opened shared read/write
//   sqlite_plain   one table diary(date REAL, text TEXT), no index
//   sqlite_index   the same with an index on date
// all in one temporary folder, SQLite in WAL mode with synchronous=NORMAL and
// its other settings at their defaults. The memo bytes are the same GBK bytes
// in both stores.
//
// Operations, as the organiser does them:
//   Keystroke  find the day's record by its date and rewrite its memo with one
//              more character typed (FindRecord from GoFirst + WriteField;
//              UPDATE diary SET text=? WHERE date=?), days spread over the
//              table from a fixed seed (see DrawDays)
//   Scan       count the memos holding a keyword (ScanRecords + ReadField +
//              std::string::find; SELECT count(*) ... LIKE '%k%')
//   Append     one new day (AddRecord; INSERT), per append, table of size N;
//              the appended days are removed again after the run
//   Pack       delete one record in the middle and pack (DeleteRecord + Pack,
//              with the undo journal synced and not synced); SQLite's DELETE,
//              and DELETE + VACUUM; the entry is put back untimed
//   FullPass   one pass over every record with a condition that never holds:
//              FindRecord against the batched pass of DeleteRecord
//   Syscalls   calls the store makes on its files, counted through a wrapping
//              FileSystem, per record visited or per operation
//
// After the benchmarks a summary prints the medians of the repetitions with
// their spread and the ratios ours/SQLite. Flags of our own, before
// benchmark's: --diary_dir=DIR (default $TMPDIR or /tmp), --diary_sizes=N,M,
// --diary_keep (leave the files), --diary_rounds=R (of the interleaved check
// after the summary, 0 for none).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/counting_fs.h"
#include "datetime/date_time.h"
#include "platform/file.h"
#include "platform/gbk.h"
#include "store/errors.h"
#include "store/format.h"
#include "store/journal.h"
#include "store/record_store.h"

namespace tarvok::bench {
namespace {

using store::FieldRef;
using store::LastError;
using store::OptValue;
using store::RecordStore;
using store::Value;

// ---- settings -----------------------------------------------------------------

constexpr int kKeystrokeDays = 8192;   // length of the drawn day sequence
constexpr uint64_t kDaySeed = 20240611;
constexpr int kAppendsPerRun = 4000;   // appends timed in one run
constexpr int kExtraMemos = 512;       // memos for appended days

const std::string& DateName() {
  static const std::string s = "日期"_gbk;
  return s;
}
const std::string& MemoName() {
  static const std::string s = "日志"_gbk;
  return s;
}
const FieldRef& DateField() {
  static const FieldRef f(DateName());
  return f;
}
const FieldRef& MemoField() {
  static const FieldRef f(MemoName());
  return f;
}

// The keyword of the scan and the sentence that carries it. SQLite's LIKE
// reads text as UTF-8; on GBK bytes a lead byte of 0xC0 or more swallows the
// bytes 0x80..0xBF after it, so a match is found only where the keyword
// starts and ends on such a boundary in the text too. The keyword's first
// byte (0xD3) always starts one; "在" (0xD4...) after it ends it, so here
// LIKE and a byte search agree, which the run checks.
const std::string& Keyword() {
  static const std::string s = "萤火虫"_gbk;
  return s;
}
const std::string& KeywordSentence() {
  static const std::string s = "傍晚在河边散步，看到萤火虫在草丛里飞，一闪一闪的，像小时候一样。"_gbk;
  return s;
}
// Entries i with i % kPlantEvery == kPlantAt carry the keyword: 4 of 3,650,
// 40 of 36,500.
constexpr int kPlantEvery = 911;
constexpr int kPlantAt = 455;

// ---- diary text ------------------------------------------------------------------

const std::vector<std::string>& Sentences() {
  static const std::vector<std::string> pool = [] {
    const char* utf8[] = {
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
        "学习英语的计划坚持了一个月，单词背了六百多个。",
        "修好了厨房的水龙头，省了请师傅的钱。",
        "公司楼下新开了一家咖啡馆，环境很安静，适合看书。",
        "整理旧照片时看到了大学时代的同学，感慨万千。",
        "明天要早起赶火车，行李已经收拾好了。",
        "晚饭后散步，月亮又圆又亮，想起了小时候的中秋节。",
        "医生说血压有点偏高，要少吃盐，多运动。",
        "下班路上堵车，听了一路的广播。",
        "春节快到了，开始准备年货和给亲戚的礼物。",
        "今天是结婚纪念日，买了一束花送给妻子。",
        "孩子的期末考试成绩出来了，数学进步很大。",
        "阳台上的花开了，红的黄的，特别好看。",
        "写了一封长信给远方的老朋友，回忆了很多往事。",
        "单位组织体检，抽血的时候有点紧张。",
        "晚上看了一场电影，故事讲的是一个普通人的奋斗。",
        "天气突然变冷，赶紧把厚衣服翻了出来。",
        "去图书馆借了三本关于历史的书，准备慢慢看。",
        "邻居家的小狗又跑到我们院子里来了，孩子们追着它玩。",
        "把电脑里的文件整理了一遍，删掉了很多没用的东西。",
    };
    std::vector<std::string> out;
    for (const char* s : utf8) out.push_back(Utf8ToGbk(s));
    return out;
  }();
  return pool;
}

const std::vector<std::string>& AsciiNotes() {
  static const std::vector<std::string> pool = {
      "8:30 meeting",          "TODO: pay the electricity bill", "call Wang 13812345678",
      "5 km in 31 min",        "email to HR re: leave",         "OK",
      "p.123-145",             "RMB 268.50",                     "bus No. 42",
      "WiFi password changed", "Python course, lesson 7",       "flight CA1234 at 14:05",
      "weight 68.5 kg",        "budget: 1200/month",            "ISBN 978-7-02-000220-7",
  };
  return pool;
}

// Byte length of the GBK character at s[i].
size_t CharLen(std::string_view s, size_t i) {
  return static_cast<unsigned char>(s[i]) >= 0x81 && i + 1 < s.size() ? 2 : 1;
}

// s cut to at most n bytes, never inside a character.
void CutAtChar(std::string* s, size_t n) {
  size_t i = 0;
  while (i < s->size()) {
    size_t next = i + CharLen(*s, i);
    if (next > n) break;
    i = next;
  }
  s->resize(i);
}

// The memo of day i: 900..1199 bytes of sentences with ASCII notes between
// them, different for every day.
std::string MakeMemo(int i) {
  std::mt19937_64 rng(0x9E3779B97F4A7C15ULL * uint64_t(i + 1));
  const auto& sentences = Sentences();
  const auto& notes = AsciiNotes();
  const size_t target = 900 + rng() % 300;
  std::string m = Utf8ToGbk("第") + std::to_string(i + 1) + Utf8ToGbk("天。");
  int count = 0;
  while (m.size() < target) {
    if (count == 1 && i % kPlantEvery == kPlantAt) {
      m += KeywordSentence();
    } else {
      m += sentences[rng() % sentences.size()];
    }
    if (rng() % 4 == 0) {
      m += ' ';
      m += notes[rng() % notes.size()];
      m += ' ';
    }
    if (rng() % 7 == 0) m += "\r\n";
    ++count;
  }
  CutAtChar(&m, target);
  return m;
}

// What the user types into the open entry, one character per keystroke.
const std::string& TypedText() {
  static const std::string s =
      "今天又想起了那件事，心里有些不安，决定明天去找他好好谈一谈。Then bed early, 23:00. "_gbk;
  return s;
}
// Byte ends of the first k characters of TypedText(), k = 0..count.
const std::vector<size_t>& TypedEnds() {
  static const std::vector<size_t> ends = [] {
    std::vector<size_t> e{0};
    const std::string& t = TypedText();
    for (size_t i = 0; i < t.size(); i += CharLen(t, i)) e.push_back(i + CharLen(t, i));
    return e;
  }();
  return ends;
}

// The memo of a day after `typed` keystrokes (they wrap around: the entry
// starts over from its first text).
std::string MemoAfterTyping(const std::string& base, int typed) {
  const auto& ends = TypedEnds();
  const size_t k = size_t(typed) % ends.size();
  std::string m;
  m.reserve(base.size() + ends[k]);
  m += base;
  m.append(TypedText(), 0, ends[k]);
  return m;
}

std::string StoreError(const char* what) {
  const int code = LastError();
  return std::string(what) + " failed: LastError " + std::to_string(code) + " (" +
         GbkToUtf8(store::ErrorMessage(code)) + ")";
}

// ---- SQLite ------------------------------------------------------------------

class SqliteDiary {
 public:
  ~SqliteDiary() { Close(); }

  void Open(const std::string& path, bool with_index) {
    indexed_ = with_index;
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Fail("open");
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    Exec("CREATE TABLE diary(date REAL, text TEXT)");
    update_ = Prepare("UPDATE diary SET text=?1 WHERE date=?2");
    insert_ = Prepare("INSERT INTO diary(date, text) VALUES(?1, ?2)");
    delete_ = Prepare("DELETE FROM diary WHERE date=?1");
    delete_after_ = Prepare("DELETE FROM diary WHERE date>?1");
    like_ = Prepare("SELECT count(*) FROM diary WHERE text LIKE ?1");
    count_ = Prepare("SELECT count(*) FROM diary");
    select_ = Prepare("SELECT text FROM diary WHERE date=?1");
  }

  void Close() {
    for (sqlite3_stmt* s : {update_, insert_, delete_, delete_after_, like_, count_, select_})
      sqlite3_finalize(s);
    update_ = insert_ = delete_ = delete_after_ = like_ = count_ = select_ = nullptr;
    if (db_ != nullptr) sqlite3_close(db_);
    db_ = nullptr;
  }

  // All entries in one transaction; the index, if any, made in it too.
  void Fill(double first_day, const std::vector<std::string>& memos) {
    Exec("BEGIN");
    for (size_t i = 0; i < memos.size(); ++i) Insert(first_day + double(i), memos[i]);
    if (indexed_) Exec("CREATE INDEX diary_date ON diary(date)");
    Exec("COMMIT");
  }

  // False when no row has that date.
  bool Update(double date, const std::string& text) {
    sqlite3_bind_text(update_, 1, text.data(), int(text.size()), SQLITE_STATIC);
    sqlite3_bind_double(update_, 2, date);
    StepDone(update_);
    return sqlite3_changes(db_) == 1;
  }
  void Insert(double date, const std::string& text) {
    sqlite3_bind_double(insert_, 1, date);
    sqlite3_bind_text(insert_, 2, text.data(), int(text.size()), SQLITE_STATIC);
    StepDone(insert_);
  }
  int Delete(double date) {
    sqlite3_bind_double(delete_, 1, date);
    StepDone(delete_);
    return sqlite3_changes(db_);
  }
  int DeleteAfter(double date) {
    sqlite3_bind_double(delete_after_, 1, date);
    StepDone(delete_after_);
    return sqlite3_changes(db_);
  }
  int64_t CountLike(const std::string& pattern) {
    sqlite3_bind_text(like_, 1, pattern.data(), int(pattern.size()), SQLITE_STATIC);
    return StepCount(like_);
  }
  int64_t Count() { return StepCount(count_); }
  std::string Text(double date) {
    sqlite3_bind_double(select_, 1, date);
    std::string out;
    int rc = sqlite3_step(select_);
    if (rc == SQLITE_ROW) {
      auto p = static_cast<const char*>(sqlite3_column_blob(select_, 0));
      out.assign(p != nullptr ? p : "", size_t(sqlite3_column_bytes(select_, 0)));
    } else if (rc != SQLITE_DONE) {
      Fail("select");
    }
    sqlite3_reset(select_);
    return out;
  }
  void Vacuum() { Exec("VACUUM"); }
  int64_t PageSize() {
    sqlite3_stmt* s = Prepare("PRAGMA page_size");
    int64_t v = StepCount(s);
    sqlite3_finalize(s);
    return v;
  }

 private:
  [[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string("sqlite ") + what + ": " +
                             (db_ != nullptr ? sqlite3_errmsg(db_) : "no database"));
  }
  void Exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = std::string(sql) + ": " + (err != nullptr ? err : "?");
      sqlite3_free(err);
      throw std::runtime_error("sqlite " + msg);
    }
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) Fail(sql);
    return s;
  }
  void StepDone(sqlite3_stmt* s) {
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) Fail(sqlite3_sql(s));
  }
  int64_t StepCount(sqlite3_stmt* s) {
    if (sqlite3_step(s) != SQLITE_ROW) {
      sqlite3_reset(s);
      Fail(sqlite3_sql(s));
    }
    int64_t v = sqlite3_column_int64(s, 0);
    sqlite3_reset(s);
    return v;
  }

  sqlite3* db_ = nullptr;
  bool indexed_ = false;
  sqlite3_stmt *update_ = nullptr, *insert_ = nullptr, *delete_ = nullptr,
               *delete_after_ = nullptr, *like_ = nullptr, *count_ = nullptr, *select_ = nullptr;
};

// ---- the fixture ---------------------------------------------------------------

enum class Side { kOurs, kSqlitePlain, kSqliteIndex };
const char* SideName(Side s) {
  switch (s) {
    case Side::kOurs: return "ours";
    case Side::kSqlitePlain: return "sqlite_plain";
    case Side::kSqliteIndex: return "sqlite_index";
  }
  return "?";
}

struct Diary {
  int n = 0;
  double first_day = 0;  // DateTime value of entry 0
  std::string dir, table_path;
  std::vector<std::string> memos, extra_memos;
  std::vector<int> days;  // the keystroke sequence, entry indexes
  int planted = 0;        // entries holding the keyword

  RecordStore store;
  SqliteDiary plain, indexed;

  // Keystrokes typed into each entry, per side, and where each side is in
  // the day sequence.
  std::vector<int> typed[3];
  size_t next_day[3] = {0, 0, 0};
  int next_delete[2] = {0, 0};  // SQLite: next middle entry to delete

  double build_seconds[3] = {0, 0, 0};

  double Date(int i) const { return first_day + double(i); }
  double LastDate() const { return Date(n - 1); }
  SqliteDiary& Sql(Side s) { return s == Side::kSqlitePlain ? plain : indexed; }
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<platform::File> f;
  int err = platform::PosixFileSystem()->Open(path, platform::Access::kReadWrite,
                                              platform::Sharing::kExclusive,
                                              platform::Disposition::kCreateAlways, &f);
  if (err == 0) err = f->Write(0, bytes.data(), bytes.size());
  if (err != 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(err));
}

// The empty diary table, as the organiser's own table images are made.
void CreateDiaryTable(const std::string& table_path) {
  std::vector<store::FieldDesc> fields(2);
  fields[0].name = DateName();
  fields[0].type = store::FieldType::kDateTime;
  fields[1].name = MemoName();
  fields[1].type = store::FieldType::kMemo;
  const double created = Now().value;
  WriteWholeFile(table_path, store::EmptyTableImage(fields, created, 1, "", false));
  WriteWholeFile(store::ReplaceExtension(table_path, "edt"), store::EmptyCompanionImage(created));
}

// The days typed into, as entry indexes. FindRecord's time grows with the
// position of the day while SQLite's does not, and a slow side runs only a
// few keystrokes: so the days are drawn by a golden-ratio sequence from a
// random start with random jitter, which spreads every prefix of the
// sequence evenly over the table; the mean position of the first few is
// already near the middle.
std::vector<int> DrawDays(int n) {
  std::mt19937_64 rng(kDaySeed);
  std::uniform_real_distribution<double> unit(0, 1);
  constexpr double kGolden = 0.6180339887498949;
  const double jitter = 1.0 / 64;
  double u = unit(rng);
  std::vector<int> days;
  for (int i = 0; i < kKeystrokeDays; ++i) {
    u += kGolden;
    u -= std::floor(u);
    double x = u + (unit(rng) - 0.5) * jitter;
    x -= std::floor(x);
    days.push_back(std::min(n - 1, int(x * n)));
  }
  return days;
}

std::unique_ptr<Diary> BuildDiary(const std::string& root, int n) {
  auto d = std::make_unique<Diary>();
  d->n = n;
  d->first_day = MakeDate(2025, 12, 31).value - double(n - 1);
  d->dir = root + "/n" + std::to_string(n);
  std::filesystem::create_directories(d->dir);
  d->table_path = d->dir + "/diary.edb";

  d->memos.reserve(size_t(n));
  for (int i = 0; i < n; ++i) {
    d->memos.push_back(MakeMemo(i));
    if (i % kPlantEvery == kPlantAt) ++d->planted;
  }
  for (int i = 0; i < kExtraMemos; ++i) d->extra_memos.push_back(MakeMemo(n + i));
  d->days = DrawDays(n);
  for (auto& t : d->typed) t.assign(size_t(n), 0);

  CreateDiaryTable(d->table_path);
  if (!d->store.OpenTable(d->table_path)) throw std::runtime_error(StoreError("OpenTable"));
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) {
    if (!d->store.AddRecord({DateTime(d->Date(i)), d->memos[size_t(i)]}))
      throw std::runtime_error(StoreError("AddRecord"));
  }
  d->build_seconds[0] = Seconds(t0);

  t0 = std::chrono::steady_clock::now();
  d->plain.Open(d->dir + "/plain.db", false);
  d->plain.Fill(d->first_day, d->memos);
  d->build_seconds[1] = Seconds(t0);
  t0 = std::chrono::steady_clock::now();
  d->indexed.Open(d->dir + "/indexed.db", true);
  d->indexed.Fill(d->first_day, d->memos);
  d->build_seconds[2] = Seconds(t0);
  return d;
}

// ---- the operations ------------------------------------------------------------

// Finds the entry of `date` from the first record on; false when there is
// none or the store failed (LastError tells which).
bool FindDay(RecordStore& s, double date) {
  const DateTime want(date);
  s.GoFirst();
  return s.FindRecord([&] { return std::get<DateTime>(s.ReadField(DateField())) == want; });
}

// One keystroke into a drawn day's entry. Empty on success, else the error.
std::string Keystroke(Diary& d, Side side) {
  size_t& at = d.next_day[int(side)];
  const int day = d.days[at];
  at = (at + 1) % d.days.size();
  int& typed = d.typed[int(side)][size_t(day)];
  ++typed;
  const std::string text = MemoAfterTyping(d.memos[size_t(day)], typed);
  if (side == Side::kOurs) {
    if (!FindDay(d.store, d.Date(day)))
      return LastError() != 0 ? StoreError("FindRecord") : "FindRecord: day not found";
    if (!d.store.WriteField(MemoField(), text)) return StoreError("WriteField");
  } else if (!d.Sql(side).Update(d.Date(day), text)) {
    return "UPDATE: day not found";
  }
  return {};
}

// Entries whose memo holds the keyword: one pass over the table with
// ScanRecords, which reads the records and the memo blocks in large batches
// under the whole-table locks.
int64_t ScanOurs(RecordStore& s, std::string* error) {
  const std::string& kw = Keyword();
  int64_t hits = 0;
  bool read_failed = false;
  const bool ok = s.ScanRecords([&] {
    Value v = s.ReadField(MemoField());
    if (LastError() != 0) {
      read_failed = true;
      return false;
    }
    if (std::get<std::string>(v).find(kw) != std::string::npos) ++hits;
    return true;
  });
  if (!ok) return *error = StoreError("ScanRecords"), -1;
  if (read_failed) return *error = StoreError("ReadField"), -1;
  return hits;
}

std::string LikePattern() { return "%" + Keyword() + "%"; }

// Removes the days after the last one (appended by the append benchmark).
std::string TrimAppended(Diary& d, Side side) {
  if (side != Side::kOurs) {
    d.Sql(side).DeleteAfter(d.LastDate());
    return {};
  }
  RecordStore& s = d.store;
  const DateTime last(d.LastDate());
  if (!s.DeleteRecord([&] { return std::get<DateTime>(s.ReadField(DateField())) > last; }))
    return StoreError("DeleteRecord");
  if (!s.Pack()) return StoreError("Pack");
  if (s.RecordCount() != d.n) return "record count after trimming is not N";
  return {};
}

// ---- benchmarks ------------------------------------------------------------------

void BM_Keystroke(benchmark::State& state, Diary* d, Side side) {
  for (auto _ : state) {
    std::string err = Keystroke(*d, side);
    if (!err.empty()) {
      state.SkipWithError(err.c_str());
      break;
    }
  }
}

void BM_Scan(benchmark::State& state, Diary* d, Side side) {
  const std::string pattern = LikePattern();
  int64_t hits = 0;
  for (auto _ : state) {
    std::string err;
    hits = side == Side::kOurs ? ScanOurs(d->store, &err) : d->Sql(side).CountLike(pattern);
    if (hits < 0) {
      state.SkipWithError(err.c_str());
      break;
    }
  }
  state.counters["hits"] = double(hits);
  state.counters["planted"] = d->planted;
}

void BM_Append(benchmark::State& state, Diary* d, Side side) {
  int k = 0;
  std::string err;
  for (auto _ : state) {
    const double date = d->LastDate() + 1 + k;
    const std::string& memo = d->extra_memos[size_t(k) % d->extra_memos.size()];
    ++k;
    if (side == Side::kOurs) {
      if (!d->store.AddRecord({DateTime(date), memo})) {
        err = StoreError("AddRecord");
        break;
      }
    } else {
      d->Sql(side).Insert(date, memo);
    }
  }
  if (err.empty()) err = TrimAppended(*d, side);
  if (!err.empty()) state.SkipWithError(err.c_str());
}

// Ours: the record at the middle position is deleted and the table packed;
// that entry is appended again (untimed) so the table keeps N entries.
void BM_PackOurs(benchmark::State& state, Diary* d, bool durable) {
  RecordStore& s = d->store;
  store::SetDurableJournals(durable);
  std::string err;
  for (auto _ : state) {
    state.PauseTiming();
    s.GoToRecord(d->n / 2 + 1);
    const Value date = s.ReadField(DateField());
    const Value memo = s.ReadField(MemoField());
    if (LastError() != 0) err = StoreError("ReadField");
    state.ResumeTiming();
    if (!err.empty()) break;
    if (!s.DeleteRecord()) err = StoreError("DeleteRecord");
    if (err.empty() && !s.Pack()) err = StoreError("Pack");
    state.PauseTiming();
    if (err.empty() && !s.AddRecord({date, memo})) err = StoreError("AddRecord");
    if (err.empty() && s.RecordCount() != d->n) err = "record count after pack is not N";
    state.ResumeTiming();
    if (!err.empty()) break;
  }
  store::SetDurableJournals(true);
  if (!err.empty()) state.SkipWithError(err.c_str());
}

// SQLite: the DELETE of a middle entry (and with `vacuum` a VACUUM after it);
// the entry is inserted again untimed.
void BM_DeleteSqlite(benchmark::State& state, Diary* d, Side side, bool vacuum) {
  SqliteDiary& db = d->Sql(side);
  int& next = d->next_delete[side == Side::kSqlitePlain ? 0 : 1];
  std::string err;
  for (auto _ : state) {
    state.PauseTiming();
    const double date = d->Date(d->n / 2 + next);
    next = (next + 1) % (d->n / 4);
    const std::string text = db.Text(date);
    state.ResumeTiming();
    if (db.Delete(date) != 1) err = "DELETE did not find the entry";
    if (vacuum) db.Vacuum();
    state.PauseTiming();
    db.Insert(date, text);
    state.ResumeTiming();
    if (!err.empty()) break;
  }
  if (!err.empty()) state.SkipWithError(err.c_str());
}

// One pass over every record with a condition that never holds: FindRecord,
// which locks and reads record by record, against DeleteRecord, which reads
// 160 KB batches under the whole-file lock and runs the same condition on
// each record. The second is what a batched FindRecord would cost.
void BM_FullPass(benchmark::State& state, Diary* d, bool batched) {
  RecordStore& s = d->store;
  auto never = [&] { return std::get<DateTime>(s.ReadField(DateField())).value < 0; };
  std::string err;
  for (auto _ : state) {
    s.GoFirst();
    if (batched ? !s.DeleteRecord(never) : s.FindRecord(never) || LastError() != 0) {
      err = StoreError(batched ? "DeleteRecord" : "FindRecord");
      break;
    }
  }
  state.counters["us_per_record"] =
      benchmark::Counter(double(d->n), benchmark::Counter::kIsIterationInvariantRate |
                                           benchmark::Counter::kInvert);
  if (!err.empty()) state.SkipWithError(err.c_str());
}

// File calls per unit of work, through a second store that opens the table
// with the counting file system installed.
void SetCallCounters(benchmark::State& state, const FileCallCounts& c, double per) {
  state.counters["read"] = double(c.read) / per;
  state.counters["write"] = double(c.write) / per;
  state.counters["lock"] = double(c.lock) / per;
  state.counters["unlock"] = double(c.unlock) / per;
  state.counters["size"] = double(c.size) / per;
  state.counters["trunc_sync"] = double(c.truncate + c.sync) / per;
  state.counters["total"] = double(c.file_calls()) / per;
}

enum class Counted { kFindRecord, kScan, kKeystroke, kAddRecord, kPack };

void BM_Syscalls(benchmark::State& state, Diary* d, Counted what) {
  CountingFileSystem fs;
  ScopedFileSystem installed(&fs);
  RecordStore s;
  if (!s.OpenTable(d->table_path)) {
    state.SkipWithError(StoreError("OpenTable").c_str());
    return;
  }
  std::string err;
  double per = 1;
  for (auto _ : state) {
    fs.counts().Reset();
    switch (what) {
      case Counted::kFindRecord: {
        // A condition that never holds: FindRecord visits every record.
        s.GoFirst();
        if (s.FindRecord([&] { return std::get<DateTime>(s.ReadField(DateField())).value < 0; }) ||
            LastError() != 0)
          err = StoreError("FindRecord");
        per = d->n;
        break;
      }
      case Counted::kScan:
        if (ScanOurs(s, &err) != d->planted && err.empty()) err = "scan found a wrong count";
        per = d->n;
        break;
      case Counted::kKeystroke: {
        // The write alone: position on a day first, uncounted.
        const int day = d->n / 3;
        if (!FindDay(s, d->Date(day))) {
          err = StoreError("FindRecord");
          break;
        }
        const std::string text = MemoAfterTyping(d->memos[size_t(day)], ++d->typed[0][size_t(day)]);
        fs.counts().Reset();
        if (!s.WriteField(MemoField(), text)) err = StoreError("WriteField");
        break;
      }
      case Counted::kAddRecord: {
        constexpr int kAdds = 100;
        for (int k = 0; k < kAdds && err.empty(); ++k)
          if (!s.AddRecord({DateTime(d->LastDate() + 1 + k), d->extra_memos[size_t(k)]}))
            err = StoreError("AddRecord");
        per = kAdds;
        const FileCallCounts c = fs.counts();
        s.CloseTable();  // trim through the main store, outside the counts
        if (err.empty()) err = TrimAppended(*d, Side::kOurs);
        fs.counts() = c;
        break;
      }
      case Counted::kPack: {
        s.GoToRecord(d->n / 2 + 1);
        const Value date = s.ReadField(DateField());
        const Value memo = s.ReadField(MemoField());
        fs.counts().Reset();
        if (!s.DeleteRecord() || !s.Pack()) err = StoreError("DeleteRecord/Pack");
        const FileCallCounts c = fs.counts();
        if (err.empty() && !s.AddRecord({date, memo})) err = StoreError("AddRecord");
        fs.counts() = c;
        break;
      }
    }
    if (!err.empty()) break;
    SetCallCounters(state, fs.counts(), per);
  }
  if (!err.empty()) state.SkipWithError(err.c_str());
}

// ---- the summary ---------------------------------------------------------------

// Keeps the per-repetition times and counters of every benchmark for the
// summary, and prints as the console reporter does.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  struct Result {
    std::vector<double> micros;  // real time per iteration, one per repetition
    double aggregate_median = -1;  // when only aggregates were reported
    std::map<std::string, double> counters;
    std::string error;

    bool empty() const { return micros.empty() && aggregate_median < 0; }
    double median() const {
      if (micros.empty()) return aggregate_median;
      std::vector<double> v = micros;
      std::sort(v.begin(), v.end());
      const size_t m = v.size() / 2;
      return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
    }
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      Result& res = results_[r.run_name.function_name];
      if (r.error_occurred) {
        res.error = r.error_message;
        continue;
      }
      const double us = r.GetAdjustedRealTime() * UnitMicros(r.time_unit);
      if (r.run_type == Run::RT_Iteration) {
        res.micros.push_back(us);
      } else if (r.aggregate_name == "median") {
        res.aggregate_median = us;
      } else {
        continue;
      }
      for (const auto& [name, c] : r.counters) res.counters[name] = c.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  const Result* Get(const std::string& name) const {
    auto it = results_.find(name);
    return it == results_.end() || it->second.empty() ? nullptr : &it->second;
  }
  const std::map<std::string, Result>& all() const { return results_; }

 private:
  static double UnitMicros(benchmark::TimeUnit u) {
    switch (u) {
      case benchmark::kNanosecond: return 1e-3;
      case benchmark::kMicrosecond: return 1;
      case benchmark::kMillisecond: return 1e3;
      case benchmark::kSecond: return 1e6;
    }
    return 1;
  }
  std::map<std::string, Result> results_;
};

std::string Name(const char* op, const char* side, int n) {
  return std::string(op) + "/" + side + "/" + std::to_string(n);
}

// "12.3 us [12.1..12.6]" or "-" when the benchmark did not run.
std::string Figure(const SummaryReporter& rep, const std::string& name) {
  const auto* r = rep.Get(name);
  if (r == nullptr) return "-";
  const double med = r->median();
  auto fmt = [](double us) {
    char b[32];
    if (us >= 1e6) {
      std::snprintf(b, sizeof b, "%.2f s", us / 1e6);
    } else if (us >= 1e3) {
      std::snprintf(b, sizeof b, "%.2f ms", us / 1e3);
    } else {
      std::snprintf(b, sizeof b, "%.1f us", us);
    }
    return std::string(b);
  };
  std::string s = fmt(med);
  if (r->micros.size() > 1) {
    auto [lo, hi] = std::minmax_element(r->micros.begin(), r->micros.end());
    char b[48];
    std::snprintf(b, sizeof b, " (%+.0f%%/%+.0f%%)", (*lo / med - 1) * 100, (*hi / med - 1) * 100);
    s += b;
  }
  return s;
}

std::string Ratio(const SummaryReporter& rep, const std::string& a, const std::string& b) {
  const auto* ra = rep.Get(a);
  const auto* rb = rep.Get(b);
  if (ra == nullptr || rb == nullptr) return "-";
  const double r = ra->median() / rb->median();
  char buf[32];
  std::snprintf(buf, sizeof buf, r >= 100 ? "%.0f" : r >= 10 ? "%.1f" : r >= 0.1 ? "%.2f" : "%.4f", r);
  return buf;
}

std::string FsType(const std::string& dir) {
  struct statfs st {};
  if (statfs(dir.c_str(), &st) != 0) return "unknown";
  switch (static_cast<unsigned long>(st.f_type)) {
    case 0xEF53: return "ext4 (on disk)";
    case 0x01021994: return "tmpfs (memory)";
    case 0x58465342: return "xfs (on disk)";
    case 0x9123683E: return "btrfs (on disk)";
    case 0x794C7630: return "overlayfs";
  }
  char b[32];
  std::snprintf(b, sizeof b, "f_type 0x%lx", static_cast<unsigned long>(st.f_type));
  return b;
}

// Checks after the run: both sides still hold N entries and the entries typed
// into carry the text typed last.
std::string Verify(Diary& d) {
  if (d.store.RecordCount() != d.n) return "ours: record count is not N";
  for (Side side : {Side::kSqlitePlain, Side::kSqliteIndex})
    if (d.Sql(side).Count() != d.n) return std::string(SideName(side)) + ": row count is not N";
  for (size_t i = 0; i < 64; ++i) {
    const int day = d.days[i];
    for (Side side : {Side::kOurs, Side::kSqlitePlain, Side::kSqliteIndex}) {
      const std::string want = MemoAfterTyping(d.memos[size_t(day)], d.typed[int(side)][size_t(day)]);
      std::string got;
      if (side == Side::kOurs) {
        if (!FindDay(d.store, d.Date(day))) return StoreError("FindRecord (verify)");
        got = std::get<std::string>(d.store.ReadField(MemoField()));
      } else {
        got = d.Sql(side).Text(d.Date(day));
      }
      if (got != want)
        return std::string(SideName(side)) + ": memo of entry " + std::to_string(day) +
               " differs from the text typed";
    }
  }
  return {};
}

void PrintSummary(const SummaryReporter& rep, const std::vector<std::unique_ptr<Diary>>& diaries,
                  const std::string& root, int64_t page_size) {
  std::printf("\n==== diary summary ====\n");
  std::printf("folder %s: %s; SQLite %s, page size %" PRId64
              ", WAL, synchronous=NORMAL, default cache\n",
              root.c_str(), FsType(root).c_str(), sqlite3_libversion(), page_size);
  std::printf("figures: median real time per operation over the repetitions "
              "(spread of the fastest/slowest repetition)\n\n");

  std::printf("%-34s", "setup");
  for (const auto& d : diaries) std::printf("  N=%-14d", d->n);
  std::printf("\n");
  const char* setup_names[3] = {"ours: AddRecord loop", "sqlite_plain: one transaction",
                                "sqlite_index: one txn + index"};
  for (int s = 0; s < 3; ++s) {
    std::printf("  %-32s", setup_names[s]);
    for (const auto& d : diaries) {
      char b[32];
      std::snprintf(b, sizeof b, "%.2f s", d->build_seconds[s]);
      std::printf("  %-16s", b);
    }
    std::printf("\n");
  }

  struct Op {
    const char* title;
    const char* op;
    std::vector<const char*> ours;    // our figures
    std::vector<const char*> theirs;  // SQLite figures (plain, index)
  };
  const Op ops[] = {
      {"1 keystroke (find day + rewrite memo)", "Keystroke", {"ours"}, {"sqlite_plain", "sqlite_index"}},
      {"2 keyword scan of every memo", "Scan", {"ours"}, {"sqlite_plain", "sqlite_index"}},
      {"3 append one entry (amortised)", "Append", {"ours"}, {"sqlite_plain", "sqlite_index"}},
      {"4 delete middle entry + pack", "Pack", {"ours_durable", "ours_nosync"},
       {"sqlite_plain", "sqlite_index"}},
      {"4b delete + VACUUM", "DeleteVacuum", {}, {"sqlite_plain", "sqlite_index"}},
  };
  for (const auto& d : diaries) {
    const int n = d->n;
    std::printf("\nN = %d\n", n);
    std::printf("  %-40s %-24s %-24s %-24s %-10s %-10s\n", "operation", "ours", "sqlite_plain",
                "sqlite_index", "ours/plain", "ours/index");
    for (const auto& op : ops) {
      const bool pack = std::strcmp(op.op, "Pack") == 0;
      std::vector<const char*> ours = op.ours;
      if (ours.empty()) ours.push_back(nullptr);
      for (const char* o : ours) {
        std::string title = op.title;
        if (o != nullptr && ours.size() > 1) title += std::string(" [") + (o + 5) + "]";
        const std::string on = o != nullptr ? Name(op.op, o, n) : std::string();
        // SQLite's pack figures are its DELETE (and DELETE + VACUUM).
        const char* sql_op = pack ? "Delete" : op.op;
        const std::string pn = Name(sql_op, op.theirs[0], n), in = Name(sql_op, op.theirs[1], n);
        const bool second = o != nullptr && o != ours.front();
        std::printf("  %-40s %-24s %-24s %-24s %-10s %-10s\n", title.c_str(),
                    o != nullptr ? Figure(rep, on).c_str() : "",
                    second ? "" : Figure(rep, pn).c_str(), second ? "" : Figure(rep, in).c_str(),
                    o != nullptr ? Ratio(rep, on, pn).c_str() : "",
                    o != nullptr ? Ratio(rep, on, in).c_str() : "");
      }
      if (pack) {
        // Our pack against DELETE + VACUUM, the SQLite operation that also
        // gives the space back.
        for (const char* o : ours) {
          const std::string on = Name(op.op, o, n);
          std::printf("  %-40s %-24s %-24s %-24s %-10s %-10s\n",
                      (std::string("  vs delete + VACUUM [") + (o + 5) + "]").c_str(), "", "", "",
                      Ratio(rep, on, Name("DeleteVacuum", "sqlite_plain", n)).c_str(),
                      Ratio(rep, on, Name("DeleteVacuum", "sqlite_index", n)).c_str());
        }
      }
    }
    const auto* ours_scan = rep.Get(Name("Scan", "ours", n));
    const auto* plain_scan = rep.Get(Name("Scan", "sqlite_plain", n));
    if (ours_scan != nullptr && plain_scan != nullptr && ours_scan->counters.count("hits") &&
        plain_scan->counters.count("hits"))
      std::printf("  keyword hits: ours %.0f, sqlite %.0f, planted %d\n",
                  ours_scan->counters.at("hits"), plain_scan->counters.at("hits"), d->planted);

    std::printf("  store file calls (count through a wrapping FileSystem):\n");
    std::printf("    %-34s %7s %7s %7s %7s %7s %7s %7s\n", "", "read", "write", "lock", "unlock",
                "size", "tr+sync", "total");
    const struct {
      const char* label;
      const char* name;
    } calls[] = {{"FindRecord, per record visited", "FindRecord"},
                 {"scan, per record", "Scan"},
                 {"WriteField memo, per call", "WriteField"},
                 {"AddRecord, per call", "AddRecord"},
                 {"DeleteRecord + Pack, per call", "Pack"}};
    for (const auto& c : calls) {
      const auto* r = rep.Get(Name("Syscalls", c.name, n));
      if (r == nullptr) continue;
      auto v = [&](const char* k) {
        auto it = r->counters.find(k);
        return it == r->counters.end() ? 0.0 : it->second;
      };
      std::printf("    %-34s %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f\n", c.label, v("read"),
                  v("write"), v("lock"), v("unlock"), v("size"), v("trunc_sync"), v("total"));
    }
  }
  std::printf("\nfull pass over every record, condition never true (per record visited):\n");
  for (const auto& d : diaries) {
    const auto* f = rep.Get(Name("FullPass", "FindRecord", d->n));
    const auto* b = rep.Get(Name("FullPass", "batched", d->n));
    if (f == nullptr || b == nullptr) continue;
    std::printf("  N=%-6d FindRecord %.2f us/record; in 160 KB batches (DeleteRecord) %.2f us/record; "
                "ratio %.1f\n",
                d->n, f->median() / d->n, b->median() / d->n, f->median() / b->median());
  }

  bool errors = false;
  for (const auto& [name, r] : rep.all()) {
    if (r.error.empty()) continue;
    if (!errors) std::printf("\nerrors:\n");
    errors = true;
    std::printf("  %s: %s\n", name.c_str(), r.error.c_str());
  }
}

// ---- the interleaved check -----------------------------------------------------

// Other work on the machine slows whole benchmarks down unevenly, which moves
// ratios of figures taken minutes apart. Here ours and both SQLite tables take
// turns within each round (the order rotating), and each round gives its own
// ratio; the medians and the spread of those ratios show how firm they are.
// Process CPU time (user + system) is given beside real time: it leaves out
// the time the process waited for a core.

struct Clocks {
  double real_us = 0, cpu_us = 0;
};

Clocks ReadClocks() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  Clocks c;
  c.cpu_us = double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
  c.real_us = std::chrono::duration<double, std::micro>(
                  std::chrono::steady_clock::now().time_since_epoch())
                  .count();
  return c;
}

// Runs op until `min_us` of real time have passed (at least once): per-op times.
Clocks TimeOp(const std::function<std::string()>& op, double min_us, std::string* err) {
  const Clocks start = ReadClocks();
  Clocks now = start;
  int ops = 0;
  do {
    if (std::string e = op(); !e.empty()) {
      *err = e;
      return {};
    }
    ++ops;
    now = ReadClocks();
  } while (now.real_us - start.real_us < min_us);
  return {(now.real_us - start.real_us) / ops, (now.cpu_us - start.cpu_us) / ops};
}

std::string InterleavedCheck(const std::vector<std::unique_ptr<Diary>>& diaries, int rounds) {
  std::printf("\n==== interleaved check: %d rounds, sides taking turns ====\n", rounds);
  std::printf("  %-26s %-12s %-12s %-12s %-26s %-26s\n", "", "ours", "sqlite_plain", "sqlite_index",
              "ours/plain real (cpu)", "ours/index real (cpu)");
  const Side sides[] = {Side::kOurs, Side::kSqlitePlain, Side::kSqliteIndex};
  const std::string pattern = LikePattern();
  for (const auto& up : diaries) {
    Diary& d = *up;
    for (int op = 0; op < 2; ++op) {
      std::vector<double> real[3], cpu[3], ratio_real[2], ratio_cpu[2];
      for (int r = 0; r < rounds; ++r) {
        Clocks got[3];
        for (int k = 0; k < 3; ++k) {
          const Side side = sides[(r + k) % 3];
          std::string err;
          std::function<std::string()> fn;
          if (op == 0) {
            fn = [&] { return Keystroke(d, side); };
          } else {
            fn = [&]() -> std::string {
              std::string e;
              const int64_t hits = side == Side::kOurs ? ScanOurs(d.store, &e) : d.Sql(side).CountLike(pattern);
              if (!e.empty()) return e;
              return hits == d.planted ? std::string() : "scan found a wrong count";
            };
          }
          got[int(side)] = TimeOp(fn, op == 0 ? 300e3 : 100e3, &err);
          if (!err.empty()) return std::string(SideName(side)) + ": " + err;
        }
        for (int k = 0; k < 3; ++k) {
          real[k].push_back(got[k].real_us);
          cpu[k].push_back(got[k].cpu_us);
        }
        for (int k = 0; k < 2; ++k) {
          ratio_real[k].push_back(got[0].real_us / got[k + 1].real_us);
          ratio_cpu[k].push_back(got[0].cpu_us / got[k + 1].cpu_us);
        }
      }
      auto med = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        const size_t m = v.size() / 2;
        return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
      };
      auto us = [](double v) {
        char b[32];
        if (v >= 1e3) {
          std::snprintf(b, sizeof b, "%.2f ms", v / 1e3);
        } else {
          std::snprintf(b, sizeof b, "%.1f us", v);
        }
        return std::string(b);
      };
      auto ratios = [&](int k) {
        auto [lo, hi] = std::minmax_element(ratio_real[k].begin(), ratio_real[k].end());
        char b[64];
        std::snprintf(b, sizeof b, "%.3g [%.3g..%.3g] (%.3g)", med(ratio_real[k]), *lo, *hi,
                      med(ratio_cpu[k]));
        return std::string(b);
      };
      const std::string title = std::string(op == 0 ? "keystroke" : "keyword scan") + " N=" +
                                std::to_string(d.n);
      std::printf("  %-26s %-12s %-12s %-12s %-26s %-26s\n", title.c_str(), us(med(real[0])).c_str(),
                  us(med(real[1])).c_str(), us(med(real[2])).c_str(), ratios(0).c_str(),
                  ratios(1).c_str());
    }
  }
  std::printf("  (median of the rounds' ratios [lowest..highest]; in brackets the ratio of CPU times)\n");
  return {};
}

// ---- main --------------------------------------------------------------------

struct Options {
  std::string dir;
  std::vector<int> sizes{3650, 36500};
  bool keep = false;
  int rounds = 5;  // of the interleaved check; 0 = none
};

// Takes our own flags out of argv, leaving benchmark's.
Options ParseOptions(int* argc, char** argv) {
  Options o;
  const char* tmp = std::getenv("TMPDIR");
  o.dir = tmp != nullptr && *tmp != 0 ? tmp : "/tmp";
  int out = 1;
  for (int i = 1; i < *argc; ++i) {
    std::string_view a = argv[i];
    if (a.rfind("--diary_dir=", 0) == 0) {
      o.dir = std::string(a.substr(12));
    } else if (a.rfind("--diary_sizes=", 0) == 0) {
      o.sizes.clear();
      std::string list(a.substr(14));
      for (size_t p = 0; p < list.size();) {
        size_t q = list.find(',', p);
        if (q == std::string::npos) q = list.size();
        o.sizes.push_back(std::stoi(list.substr(p, q - p)));
        p = q + 1;
      }
    } else if (a == "--diary_keep") {
      o.keep = true;
    } else if (a.rfind("--diary_rounds=", 0) == 0) {
      o.rounds = std::stoi(std::string(a.substr(15)));
    } else {
      argv[out++] = argv[i];
    }
  }
  *argc = out;
  return o;
}

void Register(const std::vector<std::unique_ptr<Diary>>& diaries) {
  using benchmark::RegisterBenchmark;
  const Side sides[] = {Side::kOurs, Side::kSqlitePlain, Side::kSqliteIndex};
  for (const auto& up : diaries) {
    Diary* d = up.get();
    const struct {
      const char* name;
      Counted what;
    } counted[] = {{"FindRecord", Counted::kFindRecord}, {"Scan", Counted::kScan},
                   {"WriteField", Counted::kKeystroke}, {"AddRecord", Counted::kAddRecord},
                   {"Pack", Counted::kPack}};
    for (const auto& c : counted)
      RegisterBenchmark(Name("Syscalls", c.name, d->n).c_str(), BM_Syscalls, d, c.what)
          ->Iterations(1)
          ->Unit(benchmark::kMillisecond);
  }
  for (const auto& up : diaries) {
    RegisterBenchmark(Name("FullPass", "FindRecord", up->n).c_str(), BM_FullPass, up.get(), false)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.5);
    RegisterBenchmark(Name("FullPass", "batched", up->n).c_str(), BM_FullPass, up.get(), true)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.5);
  }
  for (const auto& up : diaries)
    for (Side s : sides)
      RegisterBenchmark(Name("Keystroke", SideName(s), up->n).c_str(), BM_Keystroke, up.get(), s)
          ->Unit(benchmark::kMicrosecond)
          ->MinTime(0.5);
  for (const auto& up : diaries)
    for (Side s : sides)
      RegisterBenchmark(Name("Scan", SideName(s), up->n).c_str(), BM_Scan, up.get(), s)
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.5);
  for (const auto& up : diaries)
    for (Side s : sides)
      RegisterBenchmark(Name("Append", SideName(s), up->n).c_str(), BM_Append, up.get(), s)
          ->Unit(benchmark::kMicrosecond)
          ->Iterations(kAppendsPerRun);
  for (const auto& up : diaries) {
    Diary* d = up.get();
    RegisterBenchmark(Name("Pack", "ours_durable", d->n).c_str(), BM_PackOurs, d, true)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.5);
    RegisterBenchmark(Name("Pack", "ours_nosync", d->n).c_str(), BM_PackOurs, d, false)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.5);
    for (Side s : {Side::kSqlitePlain, Side::kSqliteIndex}) {
      RegisterBenchmark(Name("Delete", SideName(s), d->n).c_str(), BM_DeleteSqlite, d, s, false)
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.5);
      RegisterBenchmark(Name("DeleteVacuum", SideName(s), d->n).c_str(), BM_DeleteSqlite, d, s, true)
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.5);
    }
  }
}

int Main(int argc, char** argv) {
  Options opt = ParseOptions(&argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  std::string tmpl = opt.dir + "/tarvok-diary-XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) {
    std::fprintf(stderr, "cannot make a folder under %s: %s\n", opt.dir.c_str(), std::strerror(errno));
    return 1;
  }
  const std::string root = tmpl;
  std::vector<std::unique_ptr<Diary>> diaries;
  int rc = 0;
  try {
    for (int n : opt.sizes) {
      std::fprintf(stderr, "building the diary of %d entries in %s ...\n", n, root.c_str());
      diaries.push_back(BuildDiary(root, n));
      Diary& d = *diaries.back();
      std::fprintf(stderr, "  ours %.2f s, sqlite_plain %.2f s, sqlite_index %.2f s\n",
                   d.build_seconds[0], d.build_seconds[1], d.build_seconds[2]);
    }
    Register(diaries);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (auto& d : diaries) {
      std::string err = Verify(*d);
      std::printf("verify N=%d: %s\n", d->n, err.empty() ? "ok" : err.c_str());
      if (!err.empty()) rc = 1;
    }
    PrintSummary(reporter, diaries, root, diaries.empty() ? 0 : diaries[0]->plain.PageSize());
    if (opt.rounds > 0) {
      std::string err = InterleavedCheck(diaries, opt.rounds);
      if (!err.empty()) {
        std::printf("interleaved check failed: %s\n", err.c_str());
        rc = 1;
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "diary_bench: %s\n", e.what());
    rc = 1;
  }
  diaries.clear();
  if (!opt.keep) std::filesystem::remove_all(root);
  benchmark::Shutdown();
  return rc;
}

}  // namespace
}  // namespace tarvok::bench

int main(int argc, char** argv) { return tarvok::bench::Main(argc, argv); }
