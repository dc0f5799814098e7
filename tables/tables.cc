#include "tables/tables.h"


#include <cerrno>
#include <memory>
#include <utility>

#include "platform/file.h"
#include "platform/gbk.h"
#include "platform/whole_file.h"

namespace tarvok::tables {
namespace {

using store::FieldDesc;
using store::FieldType;

// Offsets follow from the order and widths, as in every table file.
TableDef MakeTable(const char* name, const char* file, const char* companion,
                   std::vector<FieldDesc> fields, double created, int32_t next_id) {
  uint32_t offset = store::kRecordIdSize;
  for (FieldDesc& f : fields) {
    f.offset = offset;
    f.width = store::FieldWidth(f.type, f.width);
    offset += f.width;
  }
  return TableDef{name, file, companion, std::move(fields), offset, created, next_id};
}

FieldDesc Field(const std::string& name, FieldType type, uint32_t text_width = 0) {
  return FieldDesc{name, type, 0, text_width};
}

// The created values are those of the files the organiser has always
// shipped (2013-04-01 21:57:44, 2013-05-01 20:49:03, 2013-04-02 23:16:14,
// 2013-05-01 20:46:11); copies of a data folder compare equal byte for byte
// only if they stay.
constexpr double kDiaryCreated = 41365.91509259259;
constexpr double kEventCreated = 41395.86739583333;
constexpr double kMemoCreated = 41366.96960648148;
constexpr double kContactCreated = 41395.86540509259;

template <typename T>
T Get(const store::Value& v) {
  const T* p = std::get_if<T>(&v);
  return p != nullptr ? *p : T{};
}

}  // namespace

const std::string& DiaryDateField() { static const std::string s = "日期"_gbk; return s; }
const std::string& DiaryTextField() { static const std::string s = "日志"_gbk; return s; }
const std::string& EventStartField() { static const std::string s = "初始日期"_gbk; return s; }
const std::string& EventPeriodField() { static const std::string s = "循环周期"_gbk; return s; }
const std::string& EventUnitField() { static const std::string s = "循环单位"_gbk; return s; }
const std::string& EventTextField() { static const std::string s = "提醒内容"_gbk; return s; }
const std::string& MemoTextField() { static const std::string s = "bw"; return s; }
const std::string& ContactNameField() { static const std::string s = "姓名"_gbk; return s; }
const std::string& ContactPhoneField() { static const std::string s = "电话"_gbk; return s; }
const std::string& ContactRemarkField() { static const std::string s = "备注"_gbk; return s; }

const TableDef& DiaryTable() {
  static const TableDef t = MakeTable(kDiaryTable, "rz35.edb", "rz35.edt",
                                      {Field(DiaryDateField(), FieldType::kDateTime),
                                       Field(DiaryTextField(), FieldType::kMemo)},
                                      kDiaryCreated, 209);
  return t;
}

const TableDef& EventTable() {
  static const TableDef t =
      MakeTable(kEventTable, "tx35.edb", nullptr,
                {Field(EventStartField(), FieldType::kDateTime),
                 Field(EventPeriodField(), FieldType::kInt32),
                 Field(EventUnitField(), FieldType::kText, kEventUnitWidth),
                 Field(EventTextField(), FieldType::kText, kEventTextWidth)},
                kEventCreated, 15);
  return t;
}

const TableDef& MemoTable() {
  static const TableDef t = MakeTable(kMemoTable, "bw35.edb", "bw35.edt",
                                      {Field(MemoTextField(), FieldType::kMemo)}, kMemoCreated, 7);
  return t;
}

const TableDef& ContactTable() {
  static const TableDef t =
      MakeTable(kContactTable, "lxr35.edb", nullptr,
                {Field(ContactNameField(), FieldType::kText, kContactNameWidth),
                 Field(ContactPhoneField(), FieldType::kText, kContactPhoneWidth),
                 Field(ContactRemarkField(), FieldType::kText, kContactRemarkWidth)},
                kContactCreated, 8);
  return t;
}

const std::vector<const TableDef*>& AllTables() {
  static const std::vector<const TableDef*> all = {&DiaryTable(), &EventTable(), &MemoTable(),
                                                   &ContactTable()};
  return all;
}

const std::string& RecurrenceUnitText(RecurrenceUnit unit) {
  static const std::string texts[] = {"年"_gbk, "月"_gbk, "日"_gbk, "周"_gbk, ""};
  return texts[static_cast<int>(unit)];
}

RecurrenceUnit RecurrenceUnitFromText(std::string_view gbk) {
  for (RecurrenceUnit u : {RecurrenceUnit::kYear, RecurrenceUnit::kMonth, RecurrenceUnit::kDay,
                           RecurrenceUnit::kWeek}) {
    if (gbk == RecurrenceUnitText(u)) return u;
  }
  return RecurrenceUnit::kNone;
}

DiaryEntry ReadDiaryEntry(store::RecordStore& store) {
  return DiaryEntry{Get<DateTime>(store.ReadField(DiaryDateField())),
                    Get<std::string>(store.ReadField(DiaryTextField()))};
}

bool ForEachLiveRecord(store::RecordStore& store, const char* table, const std::function<void()>& visit) {
  if (!store.SelectTable(table)) return false;
  return store.ScanRecords([&] {
    if (!store.IsDeleted()) visit();
    return true;
  });
}

PeriodicEvent ReadPeriodicEvent(store::RecordStore& store) {
  PeriodicEvent e;
  e.start = Get<DateTime>(store.ReadField(EventStartField()));
  e.period = Get<int32_t>(store.ReadField(EventPeriodField()));
  e.unit = RecurrenceUnitFromText(Get<std::string>(store.ReadField(EventUnitField())));
  e.text = Get<std::string>(store.ReadField(EventTextField()));
  return e;
}

MemoNote ReadMemoNote(store::RecordStore& store) {
  return MemoNote{Get<std::string>(store.ReadField(MemoTextField()))};
}

Contact ReadContact(store::RecordStore& store) {
  return Contact{Get<std::string>(store.ReadField(ContactNameField())),
                 Get<std::string>(store.ReadField(ContactPhoneField())),
                 Get<std::string>(store.ReadField(ContactRemarkField()))};
}

std::vector<store::OptValue> RecordValues(const DiaryEntry& entry) {
  return {entry.date, entry.text};
}

std::vector<store::OptValue> RecordValues(const PeriodicEvent& event) {
  return {event.start, event.period, RecurrenceUnitText(event.unit), event.text};
}

std::vector<store::OptValue> RecordValues(const MemoNote& note) { return {note.text}; }

std::vector<store::OptValue> RecordValues(const Contact& contact) {
  return {contact.name, contact.phone, contact.remark};
}

const std::vector<TableImage>& TableImages() {
  static const std::vector<TableImage> images = [] {
    std::vector<TableImage> out;
    for (const TableDef* t : AllTables()) {
      out.push_back({t->file, store::EmptyTableImage(t->fields, t->created, t->next_id, {},
                                                     /*protect=*/false)});
      if (t->companion != nullptr) {
        out.push_back({t->companion, store::EmptyCompanionImage(t->created)});
      }
    }
    return out;
  }();
  return images;
}

void EnsureDataFiles(const std::string& program_dir) {
  // Each file is written whole under a temporary name and renamed into
  // place, so a crash or full disk never leaves a partial table file behind.
  platform::FileSystem* fs = platform::CurrentFileSystem();
  const std::string data = program_dir + "/" + kDataFolder;
  if (!fs->Exists(data)) platform::MakeFolder(data);
  for (const TableImage& image : TableImages()) {
    const std::string path = data + "/" + image.file;
    if (fs->Exists(path)) continue;
    platform::WriteWholeFile(
        path, std::string_view(reinterpret_cast<const char*>(image.bytes.data()), image.bytes.size()));
  }
}

}  // namespace tarvok::tables
