#include "today/today_page.h"

#include <variant>

#include "store/errors.h"
#include "tables/tables.h"

namespace tarvok::today {
namespace {

// Field references made once: FindRecord's condition runs for every entry.
struct PageFields {
  store::FieldRef diary_date{tables::DiaryDateField()};
  store::FieldRef diary_text{tables::DiaryTextField()};
  store::FieldRef memo_text{tables::MemoTextField()};
};

const PageFields& Fields() {
  static const PageFields fields;
  return fields;
}

// Moves rz35 to the selected day's entry; false when it has none (or the
// search failed). Runs on every keystroke over every entry, so the condition
// compares numbers: DateOnly of the stored value against the selected day's,
// made once.
bool FindDayEntry(store::RecordStore& store, DateTime day) {
  const PageFields& n = Fields();
  const DateTime want = DateOnly(day);
  store.GoFirst();
  return store.FindRecord([&] {
    const store::Value v = store.ReadField(n.diary_date);
    const auto* d = std::get_if<DateTime>(&v);
    // A deleted entry (left by a pack that failed) is no longer the day's.
    return d != nullptr && DateOnly(*d) == want && !store.IsDeleted();
  });
}

std::string TextOf(const store::Value& v) {
  const auto* s = std::get_if<std::string>(&v);
  return s != nullptr ? *s : std::string();
}

}  // namespace

bool SameDay(DateTime stored, DateTime selected) {
  return DateOnly(stored) == DateOnly(selected);
}

std::string LoadDayDiary(store::RecordStore& store, DateTime day) {
  const PageFields& n = Fields();
  if (!store.SelectTable(tables::kDiaryTable)) return {};
  if (!FindDayEntry(store, day)) return {};
  return TextOf(store.ReadField(n.diary_text));
}

bool SaveDayDiary(store::RecordStore& store, DateTime day, const std::string& text) {
  const PageFields& n = Fields();
  if (!store.SelectTable(tables::kDiaryTable)) return false;
  const bool found = FindDayEntry(store, day);
  if (!found && store::LastError() != 0) return false;
  if (text.empty()) {
    if (!found) return true;
    // Both run whatever the delete gave: a pack also clears what an earlier
    // failed pack left behind.
    const bool deleted = store.DeleteRecord();
    return store.Pack() && deleted;
  }
  if (found) return store.WriteField(n.diary_text, store::Value(text));
  return store.AddRecord({store::Value(DateOnly(day)), store::Value(text)});
}

std::string LoadMemo(store::RecordStore& store) {
  const PageFields& n = Fields();
  if (!store.SelectTable(tables::kMemoTable)) return {};
  if (store.RecordCount() == 0) return {};
  store.GoFirst();
  return TextOf(store.ReadField(n.memo_text));
}

bool SaveMemo(store::RecordStore& store, const std::string& text) {
  const PageFields& n = Fields();
  if (!store.SelectTable(tables::kMemoTable)) return false;
  if (store.RecordCount() == 0 && !store.AddBlankRecord()) return false;
  store.GoFirst();
  return store.WriteField(n.memo_text, store::Value(text));
}

}  // namespace tarvok::today
