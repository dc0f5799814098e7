#include "events/recurrence.h"

#include <cmath>
#include <utility>

namespace tarvok::events {
namespace {

using tables::PeriodicEvent;
using tables::RecurrenceUnit;

constexpr double kTolerance = 1e-7;

}  // namespace

bool EventMatch(double k, double q) {
  // Remainder(k, 0) is undefined; k is a multiple of 0 only when it is 0.
  const double r = q == 0 ? k : Remainder(k, q);
  return std::fabs(r) <= kTolerance;
}

bool OccursOn(const PeriodicEvent& event, DateTime day) {
  const DateTime s = event.start;
  if (day < s) return false;
  const DateTime midnight = DateOnly(day);
  const double n = event.period;  // N, read as a double
  switch (event.unit) {
    case RecurrenceUnit::kYear:
      return MonthOf(s) == MonthOf(day) && DayOf(s) == DayOf(day) &&
             EventMatch(DateInterval(midnight, s, DateUnit::kYear), n);
    case RecurrenceUnit::kMonth:
      return DayOf(s) == DayOf(day) &&
             EventMatch(DateInterval(midnight, s, DateUnit::kMonth), n);
    case RecurrenceUnit::kDay:
      return EventMatch(DateInterval(midnight, s, DateUnit::kDay), n);
    case RecurrenceUnit::kWeek:
      return EventMatch(DateInterval(midnight, s, DateUnit::kDay), n * 7);
    case RecurrenceUnit::kNone:
      return false;
  }
  return false;
}

bool OccursOn(store::RecordStore& store, DateTime day) {
  return OccursOn(tables::ReadPeriodicEvent(store), day);
}

std::vector<ListLine> ListDayEvents(store::RecordStore& store, DateTime day) {
  std::vector<ListLine> lines;
  // One pass read in batches: a day is shown at every click in the
  // calendar, and reading the events one locked record at a time made that
  // click slower than a screen frame. A deleted event is not listed.
  tables::ForEachLiveRecord(store, tables::kEventTable, [&] {
    PeriodicEvent event = tables::ReadPeriodicEvent(store);
    if (OccursOn(event, day)) {
      lines.push_back({std::move(event.text), static_cast<int32_t>(store.CurrentRecordNumber())});
    }
  });
  return lines;
}

}  // namespace tarvok::events
