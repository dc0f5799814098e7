#include "search/keyword_search.h"

#include <algorithm>
#include <utility>

#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "tables/tables.h"

namespace tarvok::search {
namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string TextField(store::RecordStore& store, const store::FieldRef& field) {
  const store::Value v = store.ReadField(field);
  const auto* s = std::get_if<std::string>(&v);
  return s != nullptr ? *s : std::string();
}

std::string DateField(store::RecordStore& store, const std::string& field) {
  const store::Value v = store.ReadField(field);
  const auto* d = std::get_if<DateTime>(&v);
  return d != nullptr ? DateToText(*d, DateTextForm::kFull) : std::string();
}

void NotFoundIfEmpty(std::vector<Line>& lines) {
  if (lines.empty()) lines.push_back({NotFoundText(), 0});
}

int32_t RecordNumber(store::RecordStore& store) { return static_cast<int32_t>(store.CurrentRecordNumber()); }

}  // namespace

bool FindKeyword(std::string_view text, std::string_view keyword) {
  if (keyword.empty()) return false;
  for (size_t at = 0; at < text.size();) {
    if (text.size() - at < keyword.size()) return false;
    bool equal = true;
    for (size_t i = 0; i < keyword.size() && equal; ++i) equal = Fold(text[at + i]) == Fold(keyword[i]);
    if (equal) return true;
    at += static_cast<unsigned char>(text[at]) >= 0x80 ? 2 : 1;
  }
  return false;
}

const std::string& NotFoundText() {
  static const std::string s = "未找到！"_gbk;
  return s;
}

const std::string& MemoFoundText() {
  static const std::string s = "找到！请点击查看"_gbk;
  return s;
}

void SortResultLinesByDate(std::vector<Line>& lines) {
  std::vector<std::pair<double, Line>> keyed;
  keyed.reserve(lines.size());
  for (Line& l : lines) keyed.emplace_back(TextToDate(l.text).value, std::move(l));
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < lines.size(); ++i) lines[i] = std::move(keyed[i].second);
}

SearchResults SearchAllTables(store::RecordStore& store, std::string_view keyword) {
  SearchResults r;
  tables::ForEachLiveRecord(store, tables::kDiaryTable, [&] {
    if (FindKeyword(TextField(store, tables::DiaryTextField()), keyword)) {
      r.diary.push_back({DateField(store, tables::DiaryDateField()), 0});
    }
  });
  NotFoundIfEmpty(r.diary);
  SortResultLinesByDate(r.diary);

  tables::ForEachLiveRecord(store, tables::kEventTable, [&] {
    if (FindKeyword(TextField(store, tables::EventTextField()), keyword)) {
      r.events.push_back({DateField(store, tables::EventStartField()), RecordNumber(store)});
    }
  });
  NotFoundIfEmpty(r.events);
  SortResultLinesByDate(r.events);

  if (store.SelectTable(tables::kMemoTable) && store.RecordCount() > 0) {
    store.GoFirst();
    if (FindKeyword(TextField(store, tables::MemoTextField()), keyword)) r.memo.push_back({MemoFoundText(), 0});
  }
  NotFoundIfEmpty(r.memo);

  tables::ForEachLiveRecord(store, tables::kContactTable, [&] {
    const int fields = store.FieldCount();
    bool hit = FindKeyword(TextField(store, tables::ContactNameField()), keyword);
    for (int f = 2; !hit && f <= 3 && f <= fields; ++f) hit = FindKeyword(TextField(store, f), keyword);
    if (hit) r.contacts.push_back({TextField(store, tables::ContactNameField()), RecordNumber(store)});
  });
  NotFoundIfEmpty(r.contacts);
  return r;
}

}  // namespace tarvok::search
