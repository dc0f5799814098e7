#include "store/check.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "store/errors.h"
#include "store/record_store.h"
#include "store/table.h"

namespace tarvok::store {
namespace {

// Record bytes are read through a window of this size: one read serves many
// small records, and a huge record costs no more than one window per value.
constexpr size_t kWindowBytes = 256 * 1024;

std::string Piece(std::string_view s) { return std::string(s); }
template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
std::string Piece(T v) {
  return std::to_string(v);
}

template <typename... Parts>
std::string Line(const Parts&... parts) {
  std::string s;
  (s += ... += Piece(parts));
  return s;
}

// Reads 32-bit values of one file through a window.
class Window {
 public:
  Window(LockedFile* file, uint64_t length) : file_(file), length_(length) {}

  // False when the 4 bytes at `offset` cannot be read.
  bool I32(uint64_t offset, int32_t* v) {
    if (buf_.empty() || offset < start_ || offset + 4 > start_ + buf_.size()) {
      if (offset > length_ || length_ - offset < 4) return false;
      const size_t n = size_t(std::min<uint64_t>(kWindowBytes, length_ - offset));
      buf_.resize(n);
      size_t got = 0;
      if (file_->Read(offset, buf_.data(), n, &got) != kOk || got < 4) {
        buf_.clear();
        return false;
      }
      buf_.resize(got);
      start_ = offset;
    }
    *v = GetI32(buf_.data() + (offset - start_));
    return true;
  }

 private:
  LockedFile* file_;
  uint64_t length_;
  uint64_t start_ = 0;
  std::vector<uint8_t> buf_;
};

class Checker {
 public:
  Checker(RecordTable* t, std::vector<std::string>* out, std::vector<std::string>* unused)
      : t_(t), out_(out), unused_(unused) {}

  void Run() {
    CheckFields();
    const bool blocks = t_->has_companion() && ReadCompanionHeader();
    CheckRecords(blocks);
    if (!blocks) return;
    CheckFreeList();
    CheckUnreachable();
  }

 private:
  // Who holds a block: nobody, the free list, or chain number owner - 2.
  static constexpr uint32_t kNobody = 0;
  static constexpr uint32_t kFree = 1;

  struct Chain {
    int64_t slot;
    size_t field;
  };

  void Report(std::string line) { out_->push_back(std::move(line)); }
  void ReportUnused(std::string line) { unused_->push_back(std::move(line)); }

  std::string FieldLabel(size_t i) const {
    return Line("field ", i + 1, " \"", t_->fields[i].name, "\"");
  }
  std::string ChainLabel(const Chain& c) const {
    return Line("slot ", c.slot, " ", FieldLabel(c.field));
  }
  std::string BlockRange() const { return Line("1..", block_count_ - 1); }

  void CheckFields() {
    const auto& fields = t_->fields;
    for (size_t i = 0; i < fields.size(); ++i) {
      const FieldDesc& f = fields[i];
      if (f.offset < kRecordIdSize)
        Report(Line(FieldLabel(i), ": offset ", f.offset, " overlaps the RecordId"));
      if (uint64_t(f.offset) + f.width > t_->record_size) {
        Report(Line(FieldLabel(i), ": offset ", f.offset, " + width ", f.width,
                    " reaches past the record size ", t_->record_size));
      } else if (HasChain(f.type)) {
        chain_fields_.push_back(i);
      }
      for (size_t j = 0; j < i; ++j) {
        if (NamesEqual(fields[j].name, f.name)) {
          Report(Line(FieldLabel(i), ": same name as field ", j + 1));
          break;
        }
      }
    }
  }

  // Reads and checks the companion header; false when the blocks cannot be
  // examined.
  bool ReadCompanionHeader() {
    uint8_t b[kCompanionHeaderSize];
    if (t_->companion.ReadExact(0, b, sizeof b, kErrCompanionAccess) != kOk) {
      Report("companion file: its header cannot be read");
      return false;
    }
    const CompanionHeader h = DecodeCompanionHeader(b);
    if (std::memcmp(h.magic, kCompanionMagic, 4) != 0) Report("companion header: magic is not WEDT");
    if (h.version != t_->header.version)
      Report(Line("companion header: version ", h.version, ", table file version ", t_->header.version));
    if (h.block_count < 1) {
      Report(Line("companion header: block count ", h.block_count, " below 1"));
      return false;
    }
    block_count_ = h.block_count;
    free_count_ = h.free_count;
    first_free_ = h.first_free;
    bool ok = true;
    if (h.free_count < 0 || h.free_count >= h.block_count) {
      Report(Line("companion header: free count ", h.free_count, " outside 0..", h.block_count - 1));
      ok = false;
    }
    if (h.first_free < 0 || h.first_free >= h.block_count) {
      Report(Line("companion header: first free block ", h.first_free, " outside 0..",
                  h.block_count - 1));
      ok = false;
    }
    uint64_t length = 0;
    if (t_->companion.Size(&length) != kOk) {
      Report("companion file: its length cannot be read");
      return false;
    }
    const uint64_t expected = uint64_t(h.block_count) * kBlockSize;
    if (length != expected) {
      std::string line = Line("companion file: length ", length, ", expected ", expected, " for ",
                              h.block_count, " blocks");
      if (length > expected) {
        ReportUnused(std::move(line));  // bytes past the last block: no reader looks at them
      } else {
        Report(std::move(line));
      }
    }
    // Blocks past the end of the file are reported where a link names them;
    // only those present are tracked, so memory follows the file's length.
    owner_.assign(size_t(std::min<uint64_t>(uint64_t(h.block_count), length / kBlockSize)), kNobody);
    if (owner_.empty()) owner_.push_back(kNobody);
    return ok;
  }

  bool ReadBlockHeader(int32_t b, BlockHeader* h) {
    uint8_t hb[kBlockHeaderSize];
    if (t_->companion.ReadExact(uint64_t(b) * kBlockSize, hb, sizeof hb, kErrCompanionAccess) != kOk)
      return false;
    *h = DecodeBlockHeader(hb);
    return true;
  }

  void CheckRecords(bool blocks) {
    uint64_t length = 0;
    int32_t count = 0, next_id = 0;
    if (t_->table.Size(&length) != kOk || t_->ReadCounts(&count, &next_id) != kOk) {
      Report("table file: its header cannot be read");
      return;
    }
    if (count < 0) Report(Line("table header: record count ", count, " is negative"));
    if (next_id < 1) Report(Line("table header: next record id ", next_id, " below 1"));
    const uint64_t size = t_->record_size;
    const uint64_t records = uint64_t(std::max(count, 0));
    const uint64_t expected = t_->data_start + records * size;
    uint64_t slots = records;
    if (length > expected) {
      Report(Line("table file: ", length - expected, " bytes after the last of ", records,
                  " records (length ", length, ", expected ", expected, ")"));
    } else if (length < expected) {
      slots = length > t_->data_start ? (length - t_->data_start) / size : 0;
      Report(Line("table file: length ", length, " holds ", slots, " of ", records,
                  " records (expected ", expected, ")"));
    }
    if (size < kRecordIdSize) {
      Report(Line("table header: record size ", size, " cannot hold the RecordId"));
      return;
    }

    // Identifiers with their slots, for finding repeats: 8 bytes per record.
    std::vector<uint64_t> ids;
    Window window(&t_->table, length);
    for (uint64_t k = 0; k < slots; ++k) {
      const uint64_t at = t_->RecordOffset(int64_t(k));
      int32_t id = 0;
      if (!window.I32(at, &id)) {
        Report(Line("slot ", k, ": cannot be read"));
        break;
      }
      const uint64_t ident = id < 0 ? uint64_t(-int64_t(id)) : uint64_t(id);
      if (id == 0) {
        Report(Line("slot ", k, ": RecordId 0"));
      } else {
        if (next_id >= 1 && ident >= uint64_t(next_id))
          Report(Line("slot ", k, ": record id ", ident, " not below the next record id ", next_id));
        ids.push_back(ident << 32 | k);
      }
      if (!blocks) continue;
      for (size_t i : chain_fields_) {
        int32_t first = 0;
        if (!window.I32(at + t_->fields[i].offset, &first)) {
          Report(Line("slot ", k, " ", FieldLabel(i), ": cannot be read"));
          continue;
        }
        WalkChain(Chain{int64_t(k), i}, first);
      }
    }

    std::sort(ids.begin(), ids.end());
    for (size_t i = 1, group = 0; i < ids.size(); ++i) {
      if (ids[i] >> 32 != ids[group] >> 32) {
        group = i;
        continue;
      }
      Report(Line("slot ", ids[i] & 0xFFFFFFFFu, ": record id ", ids[i] >> 32, " repeats slot ",
                  ids[group] & 0xFFFFFFFFu));
    }
  }

  void WalkChain(const Chain& chain, int32_t first) {
    if (first == 0) return;
    const std::string label = ChainLabel(chain);
    if (first < 1 || first >= block_count_) {
      Report(Line(label, ": first block ", first, " outside ", BlockRange()));
      return;
    }
    // The chain's number is taken when it claims its first block, so there
    // are never more chains than blocks.
    const uint32_t me = uint32_t(chains_.size()) + 2;
    for (int32_t b = first, prev = 0;;) {
      if (size_t(b) >= owner_.size()) {
        Report(Line(label, ": block ", b, " lies past the end of the companion file"));
        return;
      }
      const uint32_t holder = owner_[size_t(b)];
      if (holder == me) {
        Report(Line(label, ": the chain loops back to block ", b, " after block ", prev));
        return;
      }
      if (holder != kNobody) {
        Report(Line(label, ": block ", b, " is also in the chain of ", ChainLabel(chains_[holder - 2])));
        return;
      }
      BlockHeader h;
      if (!ReadBlockHeader(b, &h)) {
        Report(Line(label, ": block ", b, " cannot be read"));
        return;
      }
      if (chains_.size() + 2 == me) chains_.push_back(chain);
      owner_[size_t(b)] = me;
      if (h.used < 1 || h.used > int32_t(kBlockDataSize)) {
        Report(Line(label, ": block ", b, " used ", h.used, " outside 1..", kBlockDataSize));
      } else if (h.next != 0 && h.used != int32_t(kBlockDataSize)) {
        Report(Line(label, ": block ", b, " holds ", h.used, " bytes but is not the last of its chain"));
      }
      if (h.previous != prev)
        Report(Line(label, ": block ", b, " previous link ", h.previous, ", expected ", prev));
      if (h.next == 0) return;
      if (h.next < 1 || h.next >= block_count_) {
        Report(Line(label, ": block ", b, " links to block ", h.next, " outside ", BlockRange()));
        return;
      }
      prev = b;
      b = h.next;
    }
  }

  void CheckFreeList() {
    int32_t walked = 0;
    bool complete = true;
    for (int32_t b = first_free_, prev = 0; b != 0 && complete;) {
      complete = false;
      if (b < 1 || b >= block_count_) {
        if (prev == 0) {
          Report(Line("free list: first free block ", b, " outside ", BlockRange()));
        } else {
          Report(Line("free list: block ", prev, " links to block ", b, " outside ", BlockRange()));
        }
      } else if (size_t(b) >= owner_.size()) {
        Report(Line("free list: block ", b, " lies past the end of the companion file"));
      } else if (owner_[size_t(b)] == kFree) {
        Report(Line("free list: loops back to block ", b, " after block ", prev));
      } else if (owner_[size_t(b)] != kNobody) {
        Report(Line("free list: block ", b, " is also in the chain of ",
                    ChainLabel(chains_[owner_[size_t(b)] - 2])));
      } else {
        BlockHeader h;
        if (!ReadBlockHeader(b, &h)) {
          Report(Line("free list: block ", b, " cannot be read"));
          break;
        }
        owner_[size_t(b)] = kFree;
        ++walked;
        if (h.used != 0) Report(Line("free list: block ", b, " used ", h.used, ", expected 0"));
        if (prev != 0 && h.previous != prev)
          Report(Line("free list: block ", b, " previous link ", h.previous, ", expected ", prev));
        prev = b;
        b = h.next;
        complete = true;
      }
    }
    if (complete && walked != free_count_)
      Report(Line("free list: ", walked, " blocks, header free count ", free_count_));
  }

  void CheckUnreachable() {
    for (size_t b = 1; b < owner_.size(); ++b) {
      if (owner_[b] != kNobody) continue;
      size_t last = b;
      while (last + 1 < owner_.size() && owner_[last + 1] == kNobody) ++last;
      if (last == b) {
        ReportUnused(Line("block ", b, " is neither free nor in any chain"));
      } else {
        ReportUnused(Line("blocks ", b, "-", last, " are neither free nor in any chain"));
      }
      b = last;
    }
  }

  RecordTable* t_;
  std::vector<std::string>* out_;
  std::vector<std::string>* unused_;
  std::vector<size_t> chain_fields_;  // Memo and Bytes fields inside the record
  int32_t block_count_ = 0, free_count_ = 0, first_free_ = 0;
  std::vector<uint32_t> owner_;  // per block present in the file
  std::vector<Chain> chains_;
};

}  // namespace

int CheckCurrentTable(RecordStore& store, std::vector<std::string>* problems,
                      std::vector<std::string>* unused) {
  problems->clear();
  if (unused != nullptr) unused->clear();
  RecordTable* t = store.current();
  if (t == nullptr) return kErrNoCurrentTable;
  WholeLock table_lock, companion_lock;
  int rc = table_lock.Take(&t->table);
  if (rc != kOk) return rc;
  if (t->has_companion() && (rc = companion_lock.Take(&t->companion)) != kOk) return rc;
  Checker(t, problems, unused != nullptr ? unused : problems).Run();
  return kOk;
}

int CheckTable(const std::string& path, const std::string& password,
               std::vector<std::string>* problems, std::vector<std::string>* unused) {
  problems->clear();
  if (unused != nullptr) unused->clear();
  RecordStore store;
  OpenOptions options;
  options.access = Access::kReadOnly;
  options.password = password;
  if (!store.OpenTable(path, options)) return LastError();
  return CheckCurrentTable(store, problems, unused);
}

}  // namespace tarvok::store
