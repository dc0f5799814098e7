// A pass over every record with the whole table locked.
#include "store/record_store.h"
#include "store/table.h"

namespace tarvok::store {

bool RecordStore::ScanRecords(const std::function<bool()>& visit) {
  SetLastError(kOk);
  RecordTable* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  WholeLock whole, whole_companion;
  int rc = whole.Take(&t->table);
  if (rc != kOk) return Fail(rc);
  if (t->has_companion()) {
    if ((rc = whole_companion.Take(&t->companion)) != kOk) return Fail(rc);
    uint8_t hb[kCompanionHeaderSize];
    if (t->companion.ReadExact(0, hb, sizeof hb, kErrCompanionAccess) != kOk)
      return Fail(kErrCompanionAccess);
    t->window.emplace();
    t->window->block_count = DecodeCompanionHeader(hb).block_count;
  }
  int32_t count = 0;
  if ((rc = t->ReadCounts(&count, nullptr)) != kOk) {
    t->window.reset();
    return Fail(rc);
  }
  const int64_t saved = t->position;
  struct Restore {
    RecordTable* t;
    int64_t position;
    ~Restore() {
      t->position = position;
      t->condition_record.reset();
      t->window.reset();
    }
  } restore{t, saved};

  const uint32_t batch = t->BatchRecords();
  std::vector<uint8_t> buf;
  for (int64_t first = 0; first < count; first += batch) {
    const uint32_t n = uint32_t(std::min<int64_t>(batch, count - first));
    if (t->ReadRecords(first, n, &buf) != kOk) return Fail(kErrReadRecord);
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* rec = buf.data() + size_t(i) * t->record_size;
      if (!t->condition_record) t->condition_record.emplace();
      t->condition_record->assign(rec, rec + t->record_size);
      t->position = first + i;
      if (!visit()) {
        SetLastError(kOk);
        return true;
      }
    }
  }
  SetLastError(kOk);
  return true;
}

}  // namespace tarvok::store
