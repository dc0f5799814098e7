#include "search/spreadsheet_export.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/gbk.h"
#include "tables/tables.h"

namespace tarvok::search {
namespace {

using platform::SheetWriter;

struct SheetLayout {
  const char* name;
  std::vector<const char*> headers;
};

const std::vector<SheetLayout>& Layouts() {
  static const std::vector<SheetLayout> layouts = {
      {"日志", {"日期", "日志"}},
      {"提醒", {"初始提醒日期", "循环周期", "循环单位", "提醒内容"}},
      {"备忘", {"备忘内容"}},
      {"人脉", {"姓名", "电话", "备注"}},
  };
  return layouts;
}

std::string Address(char column, size_t row) { return column + std::to_string(row); }

// One cell, addressed as the spreadsheet's range of itself.
void Put(SheetWriter& book, char column, size_t row, const std::string& text) {
  const std::string at = Address(column, row);
  book.SelectRange(at, at);
  book.WriteRange(text);
}

std::string Get(SheetWriter& book, char column, size_t row) {
  const std::string at = Address(column, row);
  book.SelectRange(at, at);
  return book.ReadRange();
}

// Fits columns A..last from row 1 to the row after the last one written.
void Fit(SheetWriter& book, char last, size_t rows) {
  book.SelectRange("a1", Address(last, rows + 2));
  book.AutoFit();
}

// The unit as stored: a text other than the four units is exported as it is.
std::string UnitText(store::RecordStore& store) {
  const store::Value v = store.ReadField(tables::EventUnitField());
  const auto* s = std::get_if<std::string>(&v);
  return s != nullptr ? *s : std::string();
}

std::string Full(DateTime d) { return DateToText(d, DateTextForm::kFull); }

// Moves to record `number` when it is there and live.
bool GoToLiveRecord(store::RecordStore& store, int64_t number) {
  return number >= 1 && number <= store.RecordCount() && store.GoToRecord(number) && !store.IsDeleted();
}

bool OnlyNotFound(const std::vector<Line>& lines) {
  return !lines.empty() && lines.front().text == NotFoundText();
}

void ExportDiaryLines(store::RecordStore& store, const std::vector<Line>& lines, SheetWriter& book) {
  // The first live record of each day, found in one pass: a day searched
  // from the first record for each line would read the diary once a line.
  std::unordered_map<double, std::string> first_of_day;
  tables::ForEachLiveRecord(store, tables::kDiaryTable, [&] {
    tables::DiaryEntry e = tables::ReadDiaryEntry(store);
    first_of_day.try_emplace(e.date.value, std::move(e.text));
  });
  size_t row = 1;
  for (const Line& line : lines) {
    Put(book, 'a', ++row, line.text);
    const auto it = first_of_day.find(TextToDate(Get(book, 'a', row)).value);
    if (it != first_of_day.end()) Put(book, 'b', row, it->second);
  }
  Fit(book, 'b', lines.size());
}

void ExportEventLines(store::RecordStore& store, const std::vector<Line>& lines, SheetWriter& book) {
  const bool open = store.SelectTable(tables::kEventTable);
  size_t row = 1;
  for (const Line& line : lines) {
    Put(book, 'a', ++row, line.text);
    if (!open || !GoToLiveRecord(store, line.value)) continue;
    const tables::PeriodicEvent e = tables::ReadPeriodicEvent(store);
    Put(book, 'b', row, NumberToText(e.period));
    Put(book, 'c', row, UnitText(store));
    Put(book, 'd', row, e.text);
  }
  Fit(book, 'd', lines.size());
}

void ExportMemo(store::RecordStore& store, SheetWriter& book) {
  if (store.SelectTable(tables::kMemoTable) && GoToLiveRecord(store, 1)) {
    Put(book, 'a', 2, tables::ReadMemoNote(store).text);
  }
  Fit(book, 'a', 0);
}

void ExportContactLines(store::RecordStore& store, const std::vector<Line>& lines, SheetWriter& book) {
  const bool open = store.SelectTable(tables::kContactTable);
  size_t row = 1;
  for (const Line& line : lines) {
    Put(book, 'a', ++row, line.text);
    if (!open || !GoToLiveRecord(store, line.value)) continue;
    const tables::Contact c = tables::ReadContact(store);
    Put(book, 'b', row, c.phone);
    Put(book, 'c', row, c.remark);
  }
  Fit(book, 'c', lines.size());
}

}  // namespace

const std::string& SheetName(int sheet) {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const SheetLayout& l : Layouts()) n.push_back(Utf8ToGbk(l.name));
    return n;
  }();
  return names.at(static_cast<size_t>(sheet - 1));
}

std::string ExportCaption(DateTime now) {
  return "Tarvokline导出数据-"_gbk + DateToText(now, DateTextForm::kFull);
}

void PrepareWorkbook(SheetWriter& book, const std::string& caption) {
  book.SetTitle(caption);
  while (book.SheetCount() < 4) book.AddSheet();
  for (int sheet = 1; sheet <= 4; ++sheet) {
    book.SelectSheet(sheet);
    book.NameSheet(SheetName(sheet));
    book.Activate();
    char column = 'a';
    for (const char* header : Layouts()[static_cast<size_t>(sheet - 1)].headers) {
      Put(book, column++, 1, Utf8ToGbk(header));
    }
  }
  book.SelectSheet(1);
}

bool HasResultsToExport(const SearchResults& lists) {
  const std::vector<Line>* all[] = {&lists.diary, &lists.events, &lists.memo, &lists.contacts};
  bool any_line = false, any_hit = false;
  for (const std::vector<Line>* l : all) {
    any_line |= !l->empty();
    any_hit |= !l->empty() && !OnlyNotFound(*l);
  }
  return any_line && any_hit;
}

void ExportSearchResults(store::RecordStore& store, const SearchResults& lists, SheetWriter& book) {
  if (!lists.diary.empty() && !OnlyNotFound(lists.diary)) {
    book.SelectSheet(1);
    ExportDiaryLines(store, lists.diary, book);
  }
  if (!lists.events.empty() && !OnlyNotFound(lists.events)) {
    book.SelectSheet(2);
    ExportEventLines(store, lists.events, book);
  }
  if (!lists.memo.empty() && !OnlyNotFound(lists.memo)) {
    book.SelectSheet(3);
    ExportMemo(store, book);
  }
  if (!lists.contacts.empty() && !OnlyNotFound(lists.contacts)) {
    book.SelectSheet(4);
    ExportContactLines(store, lists.contacts, book);
  }
  store.SelectTable(tables::kContactTable);
}

void ExportAllTables(store::RecordStore& store, SheetWriter& book) {
  size_t row = 1;
  book.SelectSheet(1);
  tables::ForEachLiveRecord(store, tables::kDiaryTable, [&] {
    const tables::DiaryEntry e = tables::ReadDiaryEntry(store);
    Put(book, 'a', ++row, Full(e.date));
    Put(book, 'b', row, e.text);
  });
  Fit(book, 'b', row - 1);

  row = 1;
  book.SelectSheet(2);
  tables::ForEachLiveRecord(store, tables::kEventTable, [&] {
    const tables::PeriodicEvent e = tables::ReadPeriodicEvent(store);
    Put(book, 'a', ++row, Full(e.start));
    Put(book, 'b', row, NumberToText(e.period));
    Put(book, 'c', row, UnitText(store));
    Put(book, 'd', row, e.text);
  });
  Fit(book, 'd', row - 1);

  row = 1;
  book.SelectSheet(3);
  tables::ForEachLiveRecord(store, tables::kMemoTable,
                            [&] { Put(book, 'a', ++row, tables::ReadMemoNote(store).text); });
  Fit(book, 'a', row - 1);

  row = 1;
  book.SelectSheet(4);
  tables::ForEachLiveRecord(store, tables::kContactTable, [&] {
    const tables::Contact c = tables::ReadContact(store);
    Put(book, 'a', ++row, c.name);
    Put(book, 'b', row, c.phone);
    Put(book, 'c', row, c.remark);
  });
  Fit(book, 'c', row - 1);
  store.SelectTable(tables::kContactTable);
}

}  // namespace tarvok::search
