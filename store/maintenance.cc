// Finding, deleting, packing, copying the structure of and appending to
// tables.
#include <cstring>
#include <limits>

#include "platform/gbk.h"
#include "store/field_codec.h"
#include "store/journal.h"
#include "store/record_store.h"
#include "store/table.h"

namespace tarvok::store {

using platform::CurrentFileSystem;

namespace {

// Whether a chain field's block number lies within the record: the open does
// not check descriptor offsets, and one past the record names no chain.
bool ChainInRecord(const RecordTable& t, const FieldDesc& f) {
  return HasChain(f.type) && uint64_t(f.offset) + kRecordIdSize <= t.record_size;
}

}  // namespace

bool RecordStore::DeleteRecord(const RecordCondition& condition) {
  SetLastError(kOk);
  RecordTable* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  int rc;
  if (!condition) {
    if (t->position < 0) return Fail(kErrNoCurrentRecord);
    const uint64_t at = t->RecordOffset(t->position);
    ByteLock record;
    if ((rc = record.Take(&t->table, at)) != kOk) return Fail(rc);
    uint8_t id[4];
    size_t got = 0;
    if ((rc = t->table.Read(at, id, 4, &got)) != kOk) return Fail(kErrReadRecord);
    if (got == 0) return Fail(kErrNoCurrentRecord);
    if (got < 4) return Fail(kErrReadRecord);
    if (GetI32(id) > 0) {
      PutI32(id, -GetI32(id));
      if ((rc = t->table.Write(at, id, 4)) != kOk) return Fail(rc);
    }
    return true;
  }
  WholeLock whole;
  if ((rc = whole.Take(&t->table)) != kOk) return Fail(rc);
  int32_t count = 0;
  if ((rc = t->ReadCounts(&count, nullptr)) != kOk) return Fail(rc);
  const int64_t saved = t->position;
  ConditionScope scope{t};
  const uint32_t batch = t->BatchRecords();
  std::vector<uint8_t> buf;
  for (int64_t first = 0; first < count && rc == kOk; first += batch) {
    const uint32_t n = uint32_t(std::min<int64_t>(batch, count - first));
    if ((rc = t->ReadRecords(first, n, &buf)) != kOk) break;
    for (uint32_t i = 0; i < n && rc == kOk; ++i) {
      uint8_t* rec = buf.data() + size_t(i) * t->record_size;
      t->position = first + i;
      t->condition_record.emplace(rec, rec + t->record_size);
      const int32_t id = GetI32(rec);
      if (condition() && id > 0) {
        uint8_t neg[4];
        PutI32(neg, -id);
        rc = t->table.Write(t->RecordOffset(first + i), neg, 4);
      }
    }
  }
  t->position = saved;
  if (rc != kOk) return Fail(rc);
  SetLastError(kOk);
  return true;
}

bool RecordStore::Pack() {
  SetLastError(kOk);
  RecordTable* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  WholeLock whole;
  int rc = whole.Take(&t->table);
  if (rc != kOk) return Fail(rc);
  int32_t count = 0;
  if ((rc = t->ReadCounts(&count, nullptr)) != kOk) return Fail(rc);

  // Kept records move down over the dropped ones. Before the first byte is
  // written, the rest of the file is saved in the undo journal: if the pack
  // is cut off, by a failure or by a crash, the journal puts it back whole.
  // The chains of dropped records are freed only after the table no longer
  // points to them, in record order, which gives the same free list.
  const uint32_t batch = t->BatchRecords();
  std::vector<uint8_t> buf, out;
  std::vector<int32_t> to_free, live;
  std::unique_ptr<JournalWriter> journal;
  const std::string journal_path = JournalPathFor(t->full_path);
  int64_t kept = 0;
  for (int64_t first = 0; first < count && rc == kOk; first += batch) {
    const uint32_t n = uint32_t(std::min<int64_t>(batch, count - first));
    if ((rc = t->ReadRecords(first, n, &buf)) != kOk) break;
    out.clear();
    int64_t out_first = -1;  // new slot of the first record in `out`
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* rec = buf.data() + size_t(i) * t->record_size;
      if (GetI32(rec) < 0) {
        for (const auto& f : t->fields)
          if (ChainInRecord(*t, f) && GetI32(rec + f.offset) != 0) to_free.push_back(GetI32(rec + f.offset));
        if (!journal) {
          journal = std::make_unique<JournalWriter>(journal_path, t->table.file.get(), nullptr);
          if ((rc = journal->Begin()) != kOk || (rc = journal->Save(0, kOffRecordCount, 4)) != kOk ||
              (rc = journal->Save(0, t->RecordOffset(first + i), ~uint64_t{0})) != kOk ||
              (rc = journal->Commit()) != kOk) {
            journal.reset();
            break;
          }
        }
        continue;
      }
      for (const auto& f : t->fields)
        if (ChainInRecord(*t, f) && GetI32(rec + f.offset) != 0) live.push_back(GetI32(rec + f.offset));
      if (journal) {
        if (out_first < 0) out_first = kept;
        out.insert(out.end(), rec, rec + t->record_size);
      }
      ++kept;
    }
    if (rc == kOk && !out.empty()) rc = t->table.Write(t->RecordOffset(out_first), out.data(), out.size());
  }
  if (journal && rc == kOk) {
    uint8_t c[4];
    PutI32(c, int32_t(kept));
    rc = t->table.Write(kOffRecordCount, c, 4);
    if (rc == kOk) rc = t->table.Truncate(t->RecordOffset(kept));
  }
  if (journal) {
    if (rc != kOk) {
      // Put the table back as it was; if even that fails the journal stays
      // and the next open finishes the job.
      RecoverJournal(journal_path, t->table.file.get(), nullptr, {});
      return Fail(rc);
    }
    if ((rc = journal->Finish()) != kOk) return Fail(rc);
  }
  if (rc != kOk) return Fail(rc);
  if ((rc = t->FreeChains(to_free)) != kOk) return Fail(rc);
  // Blocks that writes stopped part-way left unused go back to the free
  // list; the pack has done its work whether or not this succeeds.
  t->ReclaimUnusedBlocks(live);
  t->position = 0;
  return true;
}

bool RecordStore::CopyStructure(const std::string& path, const std::vector<std::string>& names) {
  SetLastError(kOk);
  if (path.empty()) return Fail(kErrFileNotFound);
  const std::string target = WithDefaultExtension(path);
  RecordTable* t = current();
  if (!t) return Fail(kErrNoCurrentTable);
  std::vector<FieldDesc> chosen;
  for (const auto& n : names) {
    int i = t->FieldIndex(FieldRef(n));
    if (i >= 0) chosen.push_back(t->fields[size_t(i)]);
  }
  if (chosen.empty()) chosen = t->fields;
  bool chained = false;
  uint64_t record_size = kRecordIdSize;
  for (auto& f : chosen) {
    record_size += f.width;
    if (f.type != FieldType::kText) f.width = 0;
    chained = chained || HasChain(f.type);
  }
  // Widths as a damaged descriptor list may declare them (each up to 2 GiB)
  // can add up past what a record size and the offsets can hold.
  if (record_size > uint64_t(std::numeric_limits<int32_t>::max())) return Fail(kErrBadFieldSize);
  TableKey* key = t->table.read_key.get();
  const double created = Now().value;
  auto* fs = CurrentFileSystem();
  std::vector<uint8_t> img = EmptyTableImage(chosen, created, 1, key ? key->verifier() : "", key != nullptr);
  if (key) key->Apply(0, img.data(), img.size());
  std::unique_ptr<platform::File> f;
  int err = fs->Open(target, Access::kReadWrite, Sharing::kExclusive, platform::Disposition::kCreateAlways, &f);
  if (err != 0) return Fail(ErrnoToStoreError(err) == kErrUnknown ? kErrCreateFailed : ErrnoToStoreError(err));
  if ((err = f->Write(0, img.data(), img.size())) != 0)
    return Fail(ErrnoToStoreError(err) == kErrUnknown ? kErrCreateFailed : ErrnoToStoreError(err));
  f.reset();
  if (chained) {
    std::vector<uint8_t> comp = EmptyCompanionImage(created);
    if (key) key->Apply(0, comp.data(), comp.size());
    const std::string comp_path = CompanionPathFor(fs->FullPath(target));
    if (fs->Open(comp_path, Access::kReadWrite, Sharing::kExclusive, platform::Disposition::kCreateAlways, &f) != 0 ||
        f->Write(0, comp.data(), comp.size()) != 0)
      return Fail(kErrCreateCompanion);
  }
  return true;
}

bool RecordStore::AppendFrom(const std::string& source_name, const RecordCondition& condition,
                             const std::vector<std::string>& names) {
  SetLastError(kOk);
  const int target_index = current_;
  RecordTable* dst = current();
  if (!dst) return Fail(kErrNoCurrentTable);
  const int source_index = FindIndex(source_name);
  if (source_index < 0) return Fail(kErrTableNotOpen);
  RecordTable* src = tables_[size_t(source_index)].get();
  // A damaged header's record size may be too small for the RecordId.
  if (dst->record_size < kRecordIdSize) return Fail(kErrWriteRecord);

  struct Pair {
    const FieldDesc* from;
    const FieldDesc* to;
  };
  std::vector<const FieldDesc*> from_fields;
  for (const auto& n : names) {
    int i = src->FieldIndex(FieldRef(n));
    if (i >= 0) from_fields.push_back(&src->fields[size_t(i)]);
  }
  if (from_fields.empty())
    for (const auto& f : src->fields) from_fields.push_back(&f);
  std::vector<Pair> pairs;
  for (const FieldDesc* f : from_fields) {
    for (const auto& g : dst->fields) {
      if (NamesEqual(f->name, g.name) && (f->type == g.type || (IsNumeric(f->type) && IsNumeric(g.type)))) {
        pairs.push_back({f, &g});
        break;
      }
    }
  }

  current_ = source_index;
  struct Restore {
    RecordStore* store;
    int index;
    RecordTable* src;
    int64_t position;
    ~Restore() {
      src->position = position;
      src->condition_record.reset();
      store->current_ = index;
    }
  } restore{this, target_index, src, src->position};

  WholeLock src_lock, dst_lock;
  int rc = src_lock.Take(&src->table);
  if (rc != kOk) return Fail(rc);
  if ((rc = dst_lock.Take(&dst->table)) != kOk) return Fail(rc);
  int32_t src_count = 0;
  if ((rc = src->ReadCounts(&src_count, nullptr)) != kOk) return Fail(rc);
  if (src_count < 1) return true;
  int32_t count = 0, next_id = 0;
  if ((rc = dst->ReadCounts(&count, &next_id)) != kOk) return Fail(rc);
  count = std::max(count, 0);
  next_id = std::max(next_id, 1);

  const uint32_t batch = src->BatchRecords();
  std::vector<uint8_t> buf, rec(dst->record_size, 0), out;
  std::string chain;
  for (int64_t first = 0; first < src_count && rc == kOk; first += batch) {
    const uint32_t n = uint32_t(std::min<int64_t>(batch, src_count - first));
    if ((rc = src->ReadRecords(first, n, &buf)) != kOk) break;
    out.clear();
    const int32_t out_first = count;
    for (uint32_t i = 0; i < n && rc == kOk; ++i) {
      const uint8_t* s = buf.data() + size_t(i) * src->record_size;
      src->position = first + i;
      if (condition) {
        src->condition_record.emplace(s, s + src->record_size);
        bool pass = condition();
        src->condition_record.reset();
        if (!pass) continue;
      }
      // The last identifier is spent: a next id past it cannot be stored.
      if (next_id == std::numeric_limits<int32_t>::max() || count == std::numeric_limits<int32_t>::max()) {
        rc = kErrWriteRecord;
        break;
      }
      for (const auto& p : pairs) {
        const uint8_t* from = s + p.from->offset;
        uint8_t* to = rec.data() + p.to->offset;
        if (uint64_t(p.from->offset) + p.from->width > src->record_size ||
            uint64_t(p.to->offset) + p.to->width > dst->record_size)
          continue;  // a descriptor that points outside the record feeds nothing
        if (HasChain(p.from->type)) {
          if ((rc = src->ReadChain(GetI32(from), &chain)) != kOk) break;
          int32_t block = 0, none = 0;  // a new chain frees nothing
          if ((rc = dst->WriteChain(chain, 0, ChainReuse::kFresh, &block, &none)) != kOk) break;
          PutI32(to, block);
        } else if (p.from->type == p.to->type) {
          std::memcpy(to, from, std::min(p.from->width, p.to->width));
        } else {
          Value v = DecodeField(*p.from, from);
          EncodeField(*p.to, *ConvertForField(v, p.to->type), to);
        }
      }
      if (rc != kOk) break;
      PutI32(rec.data(), GetI32(s) < 0 ? -next_id : next_id);
      out.insert(out.end(), rec.begin(), rec.end());
      ++count;
      ++next_id;
    }
    if (!out.empty()) {
      int wrc = dst->table.Write(dst->RecordOffset(out_first), out.data(), out.size());
      if (rc == kOk) rc = wrc;
    }
  }
  if (rc != kOk) return Fail(rc);
  if ((rc = dst->WriteCounts(count, next_id)) != kOk) return Fail(rc);
  return true;
}

}  // namespace tarvok::store
