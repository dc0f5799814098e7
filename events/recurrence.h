// Periodic events: the recurrence rule, the occurrence test and the lines of
// a day's event list.
//
// An event of table tx35 recurs every N units (years, months, days or weeks)
// from its start date S. Whether it falls on a day D:
//
//   D earlier than S (with D's time of day)         no
//   "年"  same month and day of month as S, and the year difference a
//         multiple of N                            (29 February: leap years only)
//   "月"  same day of month as S, and the month count a multiple of N
//         (a start on the 31st skips every shorter month; nothing moves to a
//         month end)
//   "日"  the day count from S to D's midnight a multiple of N
//   "周"  the same with 7 * N
//   any other unit text, the empty one included    never
//
// "A multiple" allows for a rounding error: |Remainder(k, N)| <= 1e-7, so
// only just above a multiple (just below one the remainder is nearly N);
// counts between midnights are whole and never come close. The sign of N
// plays no part (a negative period acts as its absolute value).
//
// A period of 0. No stored value is refused by the store, and the dialogs
// let a 0 through ("00", the modify dialog), so the rule must answer for it
// without dividing by zero. k is a multiple of 0 only when k = 0 * m = 0: an
// event with period 0 occurs on its start day and on no other day. It is
// the same answer the rule gives on the start day for every period, and it
// keeps the event visible once, where it was entered, so the user can find
// and correct it.
//
// A start date with a time of day (the organiser only writes midnights)
// leaves a fraction in the day count: such a daily or weekly event occurs on
// no day at all; yearly and monthly events ignore the time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datetime/date_time.h"
#include "store/record_store.h"
#include "tables/tables.h"

namespace tarvok::events {

// Whether the count k of units is a multiple of the period q, within 1e-7.
// q == 0: only k == 0 (within the same tolerance) is a multiple.
bool EventMatch(double k, double q);

// The rule above for a day D given with any time of day. The text of the
// event plays no part.
bool OccursOn(const tables::PeriodicEvent& event, DateTime day);

// The rule for the record at the position of tx35, which must be the current
// table (tables::ReadPeriodicEvent reads it).
bool OccursOn(store::RecordStore& store, DateTime day);

// One line of a list box: its text and its 32-bit value.
struct ListLine {
  std::string text;
  int32_t value = 0;
  friend bool operator==(const ListLine&, const ListLine&) = default;
};

// The lines of the event list for `day`: for each record of tx35 in record
// order on which the event occurs, its "提醒内容" with its record number
// (1-based). Selects tx35, which stays the current table, its position where
// it was. Empty when tx35 is not open.
std::vector<ListLine> ListDayEvents(store::RecordStore& store, DateTime day);

}  // namespace tarvok::events
