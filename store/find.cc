// Finding a record by a condition.
//
// Records are tested in runs: the lock bytes of a run of records are taken
// with one range lock and the run is read with one read, then each record is
// tested in memory. Another opener meets exactly the bytes it would meet if
// each record were locked in turn (it only ever locks first bytes of records
// or the whole table). When the range cannot be taken, the run is tested
// record by record, so a record held by someone else fails the search at
// that record, as it would without runs.
#include <algorithm>

#include "store/record_store.h"
#include "store/table.h"

namespace tarvok::store {


bool RecordStore::FindRecord(const RecordCondition& condition) {
  SetLastError(kOk);
  RecordTable* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  ByteLock counter;
  int rc = counter.Take(&t->table, kCounterLockByte);
  if (rc != kOk) return Fail(rc);
  int32_t count = 0;
  if ((rc = t->ReadCounts(&count, nullptr)) != kOk) return Fail(rc);
  const int64_t start = std::max<int64_t>(t->position, 0);
  if (count < 1 || start >= count) return false;
  const int64_t saved = t->position;
  ConditionScope scope{t};
  t->condition_record.emplace(t->record_size);
  auto test = [&](const uint8_t* rec, int64_t k) {
    t->condition_record->assign(rec, rec + t->record_size);
    t->position = k;
    return condition && condition();
  };

  const uint32_t run = t->BatchRecords();
  std::vector<uint8_t> buf;
  for (int64_t first = start; first < count; first += run) {
    const uint32_t n = uint32_t(std::min<int64_t>(run, count - first));
    const uint64_t span_from = t->RecordOffset(first);
    const uint64_t span_len = uint64_t(n - 1) * t->record_size + 1;
    if (span_from + span_len <= kWholeLockLength && t->table.LockSpan(span_from, span_len) == kOk) {
      rc = t->ReadRecords(first, n, &buf);
      bool found = false;
      int64_t k = first;
      if (rc == kOk) {
        for (; k < first + n && !(found = test(buf.data() + size_t(k - first) * t->record_size, k)); ++k) {
        }
      }
      t->table.UnlockSpan(span_from, span_len);
      if (rc != kOk) break;
      if (found) {
        SetLastError(kOk);
        return true;
      }
      continue;
    }
    ByteLock record;
    buf.resize(t->record_size);
    for (int64_t k = first; k < first + n; ++k) {
      const uint64_t at = t->RecordOffset(k);
      if ((rc = record.Take(&t->table, at)) != kOk) break;
      if (t->table.ReadExact(at, buf.data(), t->record_size, kErrReadRecord) != kOk) {
        rc = kErrReadRecord;
        break;
      }
      if (test(buf.data(), k)) {
        SetLastError(kOk);
        return true;
      }
      record.Release();
    }
    if (rc != kOk) break;
  }
  t->position = saved;
  if (rc != kOk) return Fail(rc);
  SetLastError(kOk);
  return false;
}

}  // namespace tarvok::store
