// The keyword search over the organiser's four tables: the match rule and
// the lines of the four result lists.
//
// A keyword K is looked for as GBK bytes, unchanged. A text holds K when K
// starts at one of its character boundaries (a byte of 0x80 or above starts
// a two-byte character) and every byte compared is equal, ASCII letters of
// either case counting as equal (second bytes of double-byte characters
// included, and nothing else folded).
//
// The lists after a search, each in the order given:
//   diary     "日志" holds K      the date (DateToText Full), value 0;
//                                 earliest first, one day's entries in
//                                 record order
//   events    "提醒内容" holds K  the start date (Full), value the record
//                                 number; earliest first
//   memo      "bw" of the first record holds K: "找到！请点击查看"
//   contacts  "姓名", else the second, else the third field holds K: the
//             name, value the record number; record order
// A list without a hit holds the one line "未找到！". Deleted records (left
// only by a pack that failed) are not searched.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "events/recurrence.h"
#include "store/record_store.h"

namespace tarvok::search {

using Line = events::ListLine;

// Whether `text` holds `keyword` by the rule above; never for an empty
// keyword or text.
bool FindKeyword(std::string_view text, std::string_view keyword);

// "未找到！", GBK.
const std::string& NotFoundText();
// "找到！请点击查看", GBK.
const std::string& MemoFoundText();

// Sorts lines by their texts read as dates (TextToDate), earliest first,
// keeping the order of equal dates.
void SortResultLinesByDate(std::vector<Line>& lines);

struct SearchResults {
  std::vector<Line> diary, events, memo, contacts;
};

// The four lists for `keyword` (not empty). Leaves lxr35 current; a table
// that is not open gives its list the not-found line.
SearchResults SearchAllTables(store::RecordStore& store, std::string_view keyword);

}  // namespace tarvok::search
