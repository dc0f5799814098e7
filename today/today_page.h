// The today page's diary box and the memo note, over the record store.
//
// The boxes keep no state: what a box shows is what the table holds. Every
// change of a box's text, typed or set by the program, is stored at once:
// the user interface calls SaveDayDiary / SaveMemo from the box's
// content-changed event and shows what LoadDayDiary / LoadMemo return when a
// day is selected or the memo page comes up. Setting a box's text raises
// that event too, so a load is always followed by a save of the same text:
// selecting a day rewrites its entry unchanged, and showing the memo page
// for the first time creates the memo's record.
//
// The day's entry. A day D has at most one diary entry in rz35: the first
// record in record order whose "日期" lies on D's calendar day, whatever its
// time of day. The organiser writes midnights only, but a file may carry an
// entry written at another time of day; loading and saving use the same
// rule, so such an entry is shown and edited rather than hidden from view
// and overwritten by the next keystroke.
//
// Failures of the store are not shown: the box keeps the typed text, the
// table stays as the store leaves it, and the next change tries again.
//
// Every function first makes its own table current, because other handlers
// change the current table in between; it stays current afterwards.
#pragma once

#include <string>

#include "datetime/date_time.h"
#include "store/record_store.h"

namespace tarvok::today {

// Whether a stored "日期" belongs to the selected day: the same calendar day,
// the time of day of either ignored. Equal to comparing their date texts
// (DateToText, kDate form), without making texts.
bool SameDay(DateTime stored, DateTime selected);

// The text of the selected day's entry, or the empty text when it has none
// (or rz35 is not open).
std::string LoadDayDiary(store::RecordStore& store, DateTime day);

// Stores `text` as the selected day's diary:
//   entry found, text empty        the entry is deleted and rz35 packed
//   no entry, text empty           nothing
//   entry found                    its "日志" := text
//   no entry                       a new entry: the day at 00:00:00, text
// Returns whether the table now holds that text for the day (true for the
// empty case with nothing to do); false when rz35 is not open or a write,
// the delete or the pack failed. The user interface ignores the result.
bool SaveDayDiary(store::RecordStore& store, DateTime day, const std::string& text);

// The memo note: "bw" of the first record of bw35; the empty text while the
// table has no record (or is not open).
std::string LoadMemo(store::RecordStore& store);

// Writes the memo note, adding the table's one record first when it has
// none. An empty text is stored as an empty memo; the record stays. Returns
// whether it was stored.
bool SaveMemo(store::RecordStore& store, const std::string& text);

}  // namespace tarvok::today
