// The organiser's four tables: their names and files, their fields in
// descriptor order, the record types the rest of the system uses for them,
// and the built-in images of the empty table files.
//
// All files live in the folder `data` of the program directory:
//
//   TABLE   TABLE FILE  COMPANION  RECORD TYPE    RECORD SIZE
//   rz35    rz35.edb    rz35.edt   DiaryEntry     16   at most one entry a day
//   tx35    tx35.edb    -          PeriodicEvent  118  reminders that recur
//   bw35    bw35.edb    bw35.edt   MemoNote       8    one note, first record
//   lxr35   lxr35.edb   -          Contact        129  the contact book
//
// A table's name is its file name without directory and extension; handlers
// select a table by that name (no alias is ever used) and address fields by
// the names below. Only AddRecord passes values by position, in the order of
// the field lists (RecordValues gives them so).
//
// Field layouts (offsets within the record, after the 4-byte RecordId):
//
//   rz35   "日期"      DateTime  4        the day, written at 00:00:00
//          "日志"      Memo      12       the diary text; never stored empty
//   tx35   "初始日期"  DateTime  4        start date, first possible day
//          "循环周期"  Int32     12       period, in units
//          "循环单位"  Text      16  w 2  "年" "月" "日" or "周"
//          "提醒内容"  Text      18  w100 the reminder, at most 100 bytes
//   bw35   "bw"        Memo      4        the memo text
//   lxr35  "姓名"      Text      4   w10  name; its first character decides
//                                         the initial-letter group
//          "电话"      Text      14  w15  telephone number
//          "备注"      Text      29  w100 remark
//
// Every text here is GBK, as everywhere inside the organiser.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "datetime/date_time.h"
#include "store/format.h"
#include "store/record_store.h"
#include "store/value.h"

namespace tarvok::tables {

// ---- names --------------------------------------------------------------

inline constexpr char kDiaryTable[] = "rz35";
inline constexpr char kEventTable[] = "tx35";
inline constexpr char kMemoTable[] = "bw35";
inline constexpr char kContactTable[] = "lxr35";

// The folder of the table files within the program directory.
inline constexpr char kDataFolder[] = "data";

// Field names, GBK. Each returns the same string for the life of the process.
const std::string& DiaryDateField();     // "日期"
const std::string& DiaryTextField();     // "日志"
const std::string& EventStartField();    // "初始日期"
const std::string& EventPeriodField();   // "循环周期"
const std::string& EventUnitField();     // "循环单位"
const std::string& EventTextField();     // "提醒内容"
const std::string& MemoTextField();      // "bw"
const std::string& ContactNameField();   // "姓名"
const std::string& ContactPhoneField();  // "电话"
const std::string& ContactRemarkField(); // "备注"

// Declared widths of the Text fields, in bytes.
inline constexpr uint32_t kEventUnitWidth = 2;
inline constexpr uint32_t kEventTextWidth = 100;
inline constexpr uint32_t kContactNameWidth = 10;
inline constexpr uint32_t kContactPhoneWidth = 15;
inline constexpr uint32_t kContactRemarkWidth = 100;

// One table as the organiser lays it out.
struct TableDef {
  const char* name;       // "rz35"
  const char* file;       // "rz35.edb"
  const char* companion;  // "rz35.edt", or nullptr for a table without Memo
  // Descriptor order; names GBK, offsets and widths as stored in the file.
  std::vector<store::FieldDesc> fields;
  uint32_t record_size;  // 4 + the widths of all fields
  // What the built-in image carries: its created value (also that of the
  // companion image) and the next record id of the empty table.
  double created;
  int32_t next_id;
};

const TableDef& DiaryTable();
const TableDef& EventTable();
const TableDef& MemoTable();
const TableDef& ContactTable();
// The four in the order start-up opens them: rz35, tx35, bw35, lxr35.
const std::vector<const TableDef*>& AllTables();

// ---- record types -------------------------------------------------------

// The unit of a periodic event, stored in "循环单位" as one double-byte
// character. kNone stands for any other stored text (a damaged or foreign
// record, or an empty field); it is never written.
enum class RecurrenceUnit { kYear, kMonth, kDay, kWeek, kNone };

// "年", "月", "日", "周" (2 GBK bytes each); empty for kNone.
const std::string& RecurrenceUnitText(RecurrenceUnit unit);
// The unit whose text equals `gbk` exactly, byte for byte; kNone otherwise.
RecurrenceUnit RecurrenceUnitFromText(std::string_view gbk);

// A record of rz35.
struct DiaryEntry {
  DateTime date;     // "日期"
  std::string text;  // "日志"
  friend bool operator==(const DiaryEntry&, const DiaryEntry&) = default;
};

// A record of tx35.
struct PeriodicEvent {
  DateTime start;                               // "初始日期"
  int32_t period = 0;                           // "循环周期"
  RecurrenceUnit unit = RecurrenceUnit::kNone;  // "循环单位"
  std::string text;                             // "提醒内容", at most 100 bytes
  friend bool operator==(const PeriodicEvent&, const PeriodicEvent&) = default;
};

// A record of bw35; only the first record is used.
struct MemoNote {
  std::string text;  // "bw"
  friend bool operator==(const MemoNote&, const MemoNote&) = default;
};

// A record of lxr35.
struct Contact {
  std::string name;    // "姓名", at most 10 bytes
  std::string phone;   // "电话", at most 15 bytes
  std::string remark;  // "备注", at most 100 bytes
  friend bool operator==(const Contact&, const Contact&) = default;
};

// The record at the position of the current table, read by field name.
// REQUIRES the table of that type to be current (a missing field ends the
// program, as ReadField does). A field that cannot be read, or whose value
// has another kind than its layout (a foreign file), gives the empty value
// of the member: 0, empty text, kNone.
DiaryEntry ReadDiaryEntry(store::RecordStore& store);
PeriodicEvent ReadPeriodicEvent(store::RecordStore& store);
MemoNote ReadMemoNote(store::RecordStore& store);
Contact ReadContact(store::RecordStore& store);

// Runs `visit` on every live record of `table` (deleted ones, left only by
// a pack that failed, are passed over), in record order, with the record at
// the position so that the readers above read it. The records are read in
// batches (ScanRecords); `visit` must not write to the table, and the
// position returns to where it was. `table` stays current. False when it is
// not open or cannot be read.
bool ForEachLiveRecord(store::RecordStore& store, const char* table, const std::function<void()>& visit);

// The values for AddRecord, in descriptor order. A kNone unit gives the
// empty text.
std::vector<store::OptValue> RecordValues(const DiaryEntry& entry);
std::vector<store::OptValue> RecordValues(const PeriodicEvent& event);
std::vector<store::OptValue> RecordValues(const MemoNote& note);
std::vector<store::OptValue> RecordValues(const Contact& contact);

// ---- built-in images ----------------------------------------------------

// The complete bytes of one empty file, plain (magic "WEDB", verifier zero,
// version 0x10000, every byte not named by the format zero).
struct TableImage {
  const char* file;  // name within `data`: "rz35.edb"
  std::vector<uint8_t> bytes;
};

// The six images, in the order EnsureDataFiles writes them: rz35.edb (260
// bytes), rz35.edt (512), tx35.edb (404), bw35.edb (188), bw35.edt (512),
// lxr35.edb (332).
const std::vector<TableImage>& TableImages();

// Makes sure every table file exists, for the start-up. `program_dir` is the
// program directory (GBK, no trailing slash).
//
// Creates the folder `data` in it when missing (mode 0700 less the umask),
// then, in the order of TableImages, writes each file that does not exist
// from its image. A file that exists is never touched, whatever it holds.
//
// Each file is written in one piece under a temporary name ("<file>.new")
// and renamed into place once its bytes are on disk, so a full disk or a
// crash never leaves a partial table file behind: a later start would find
// it present and fail to open it every time. A write that fails removes its
// temporary file; the next start tries again.
//
// Nothing is reported: a folder or file that could not be made shows up when
// the start-up opens the tables. Files go through platform::CurrentFileSystem.
void EnsureDataFiles(const std::string& program_dir);

}  // namespace tarvok::tables
