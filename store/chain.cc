// Block chains of the companion file.
//
// Writes are ordered so that a process stopped at any moment (killed, or
// after a failed write) leaves a value either old or new and whole, and the
// free list sound: the companion header (free list and block count) is
// written before the blocks taken from it; a new value's blocks are written
// from its last to its first, the first of them in place of the old first
// block, so that the value changes in that one write; blocks are freed only
// once nothing links to them, and become free in the header write that puts
// them on the list. What such a stop can leave behind is unused space: blocks
// neither free nor in a chain. Reading a damaged chain (a cycle, a block
// number outside the file, a used count above 500) fails with -59.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "store/errors.h"
#include "store/table.h"

namespace tarvok::store {

// The companion header under its lock, read once on first need and written
// back when the session ends dirty.
struct RecordTable::HeaderSession {
  explicit HeaderSession(LockedFile* f) : file(f) {}
  LockedFile* file;
  ByteLock lock;
  bool loaded = false;
  bool dirty = false;
  CompanionHeader header;
  uint64_t truncate_to = 0;  // blocks to cut the file to, 0 = no cut

  int Load() {
    if (loaded) return kOk;
    int rc = lock.Take(file, 0);
    if (rc != kOk) return rc;
    uint8_t b[kCompanionHeaderSize];
    if (file->ReadExact(0, b, sizeof b, kErrCompanionAccess) != kOk) return kErrCompanionAccess;
    header = DecodeCompanionHeader(b);
    if (header.block_count < 1 || header.free_count < 0 || header.first_free < 0 ||
        header.first_free >= header.block_count)
      return kErrCompanionAccess;
    loaded = true;
    return kOk;
  }
  int Flush() {
    if (!loaded || !dirty) return kOk;
    uint8_t b[kCompanionHeaderSize];
    EncodeCompanionHeader(header, b);
    int rc = file->Write(0, b, sizeof b);
    if (rc != kOk) return rc;
    dirty = false;
    if (truncate_to > 0) {
      rc = file->Truncate(truncate_to * kBlockSize);
      truncate_to = 0;
    }
    return rc;
  }
};

namespace {

bool ValidBlock(int64_t b, uint64_t blocks) { return b >= 1 && uint64_t(b) < blocks; }

int ReadBlockHeader(LockedFile* f, int32_t b, BlockHeader* out) {
  ByteLock lock;
  int rc = lock.Take(f, uint64_t(b) * kBlockSize);
  if (rc != kOk) return rc;
  uint8_t hb[kBlockHeaderSize];
  if (f->ReadExact(uint64_t(b) * kBlockSize, hb, sizeof hb, kErrCompanionAccess) != kOk)
    return kErrCompanionAccess;
  *out = DecodeBlockHeader(hb);
  return kOk;
}

int WriteBlockHeader(LockedFile* f, int32_t b, const BlockHeader& h) {
  ByteLock lock;
  int rc = lock.Take(f, uint64_t(b) * kBlockSize);
  if (rc != kOk) return rc;
  uint8_t hb[kBlockHeaderSize];
  EncodeBlockHeader(h, hb);
  return f->Write(uint64_t(b) * kBlockSize, hb, sizeof hb);
}

int WriteBlock(LockedFile* f, int32_t b, const BlockHeader& h, const char* data, size_t n) {
  uint8_t block[kBlockSize] = {};
  EncodeBlockHeader(h, block);
  if (n > 0) std::memcpy(block + kBlockHeaderSize, data, n);
  ByteLock lock;
  int rc = lock.Take(f, uint64_t(b) * kBlockSize);
  if (rc != kOk) return rc;
  return f->Write(uint64_t(b) * kBlockSize, block, sizeof block);
}

}  // namespace

int RecordTable::CompanionBlocks(uint64_t* blocks) {
  uint64_t size = 0;
  int rc = companion.Size(&size);
  if (rc != kOk) return kErrCompanionAccess;
  *blocks = size / kBlockSize;
  return kOk;
}

int RecordTable::ReadChainBlock(int32_t b, ByteLock* lock, uint8_t* block) {
  const uint64_t at = uint64_t(b) * kBlockSize;
  if (!window) {
    int rc = lock->Take(&companion, at);
    if (rc != kOk) return rc;
    return companion.ReadExact(at, block, kBlockSize, kErrCompanionAccess);
  }
  constexpr uint64_t kWindowBlocks = 512;  // 256 KiB read at a time
  ChainWindow& w = *window;
  const uint64_t have = w.bytes.size() / kBlockSize;
  if (uint64_t(b) < w.first || uint64_t(b) >= w.first + have) {
    w.first = uint64_t(b);
    w.bytes.resize(kWindowBlocks * kBlockSize);
    size_t got = 0;
    int rc = companion.Read(at, w.bytes.data(), w.bytes.size(), &got);
    w.bytes.resize(rc == kOk ? got - got % kBlockSize : 0);
    if (w.bytes.empty()) return kErrCompanionAccess;
  }
  std::memcpy(block, w.bytes.data() + (uint64_t(b) - w.first) * kBlockSize, kBlockSize);
  return kOk;
}

int RecordTable::ReadChain(int32_t first, std::string* out) {
  out->clear();
  if (first == 0) return kOk;
  if (!has_companion()) return kErrReadField;
  int32_t block_count;
  if (window) {
    block_count = window->block_count;
  } else {
    uint8_t hb[kCompanionHeaderSize];
    if (companion.ReadExact(0, hb, sizeof hb, kErrCompanionAccess) != kOk) return kErrCompanionAccess;
    block_count = DecodeCompanionHeader(hb).block_count;
  }
  ByteLock lock;
  uint8_t block[kBlockSize];
  int64_t steps = 0;
  for (int32_t b = first; b != 0;) {
    // A chain visits each block at most once, so more steps than blocks is a cycle.
    if (b < 1 || b >= block_count || ++steps >= block_count) return kErrCompanionAccess;
    int rc = ReadChainBlock(b, &lock, block);
    if (rc != kOk) return rc;
    BlockHeader h = DecodeBlockHeader(block);
    if (h.used < 0 || h.used > int32_t(kBlockDataSize)) return kErrCompanionAccess;
    out->append(reinterpret_cast<const char*>(block + kBlockHeaderSize), size_t(h.used));
    b = h.next;
  }
  return kOk;
}

int RecordTable::WriteChain(std::string_view data, int32_t old_first, ChainReuse reuse,
                            int32_t* new_first, int32_t* free_after) {
  *free_after = 0;
  if (!has_companion()) return kErrWriteField;
  HeaderSession session(&companion);
  uint64_t blocks = 0;
  int rc = CompanionBlocks(&blocks);
  if (rc != kOk) return rc;

  // The old chain, as far as it is sound. A damaged rest (a cycle, a block
  // outside the file, a block that cannot be read) is left alone: the new
  // value is written all the same, so a damaged entry can be typed anew, and
  // nothing of unknown ownership is ever freed.
  std::vector<int32_t> old_blocks;
  std::unordered_set<int32_t> seen;
  bool old_sound = true;
  for (int32_t b = old_first; b != 0;) {
    BlockHeader bh;
    if (!ValidBlock(b, blocks) || !seen.insert(b).second ||
        ReadBlockHeader(&companion, b, &bh) != kOk) {
      old_sound = false;
      break;
    }
    old_blocks.push_back(b);
    b = bh.next;
  }

  // Plan: which block each piece goes to. With kKeepFirst the first piece
  // goes into the old first block, so the record's field keeps its value;
  // every other piece goes into a block outside the old chain. Until the
  // first block is rewritten, at the very end and in one write, the old
  // value stays whole.
  const size_t pieces = (data.size() + kBlockDataSize - 1) / kBlockDataSize;
  const bool keep_first = reuse == ChainReuse::kKeepFirst && pieces > 0 && !old_blocks.empty();
  std::vector<int32_t> picks;
  if (keep_first) picks.push_back(old_blocks[0]);
  while (picks.size() < pieces) {
    if ((rc = session.Load()) != kOk) return rc;
    CompanionHeader& h = session.header;
    if (h.free_count > 0) {
      const int32_t head = h.first_free;
      BlockHeader bh;
      if (!ValidBlock(head, blocks) || seen.count(head) != 0 ||
          std::find(picks.begin(), picks.end(), head) != picks.end() ||
          (rc = ReadBlockHeader(&companion, head, &bh)) != kOk || bh.next < 0 ||
          bh.next >= h.block_count)
        return kErrCompanionAccess;  // a damaged free list: nothing written yet
      picks.push_back(head);
      h.first_free = bh.next;
      h.free_count -= 1;
    } else {
      picks.push_back(h.block_count);
      h.block_count += 1;
    }
    session.dirty = true;
  }
  // The free list and block count go first: a block taken from them is then
  // at worst unused, never handed out twice.
  if ((rc = session.Flush()) != kOk) return rc;

  for (size_t i = pieces; i-- > 0;) {
    BlockHeader bh{i > 0 ? picks[i - 1] : 0, i + 1 < pieces ? picks[i + 1] : 0, 0};
    const size_t off = i * kBlockDataSize;
    const size_t n = std::min<size_t>(kBlockDataSize, data.size() - off);
    bh.used = int32_t(n);
    if ((rc = WriteBlock(&companion, picks[i], bh, data.data() + off, n)) != kOk) return rc;
  }
  *new_first = pieces > 0 ? picks[0] : 0;

  // The rest of the old chain is no longer linked from its first block and
  // can go to the free list now. A chain whose first block was not kept is
  // freed by the caller once the record no longer names it.
  if (!old_sound || old_blocks.empty()) return kOk;
  if (!keep_first) {
    *free_after = old_first;
    return kOk;
  }
  if (old_blocks.size() > 1) {
    if ((rc = session.Load()) != kOk) return rc;
    if ((rc = FreeChainLocked(old_blocks[1], &session)) != kOk) return rc;
  }
  return session.Flush();
}

int RecordTable::FreeChains(const std::vector<int32_t>& firsts) {
  if (std::all_of(firsts.begin(), firsts.end(), [](int32_t f) { return f == 0; })) return kOk;
  if (!has_companion()) return kErrCompanionAccess;
  HeaderSession session(&companion);
  int rc = session.Load();
  if (rc != kOk) return rc;
  for (int32_t f : firsts) {
    if (f != 0 && (rc = FreeChainLocked(f, &session)) != kOk) break;
  }
  int flush = session.Flush();
  return rc != kOk ? rc : flush;
}

// The chain must no longer be linked from any record or chain. Every state
// a process can be stopped in leaves the free list sound: the chain's blocks
// are made free blocks first, and the header write that puts them at the
// head of the list is the moment they become free.
int RecordTable::FreeChainLocked(int32_t first, HeaderSession* session) {
  CompanionHeader& h = session->header;
  uint64_t blocks = 0;
  int rc = CompanionBlocks(&blocks);
  if (rc != kOk) return rc;
  blocks = std::min<uint64_t>(blocks, uint64_t(h.block_count));

  // 1. Walk the chain: each block becomes a free block; the last one links
  //    to the present head of the free list, whose back link is rewritten
  //    while it is still the head, where no reader looks at it.
  const int32_t last_block = h.block_count - 1;
  bool had_last = false;
  int32_t walked = 0;
  uint8_t zeros[kBlockDataSize] = {};
  for (int32_t b = first, prev_walked = 0; b != 0;) {
    if (!ValidBlock(b, blocks) || uint64_t(walked) >= blocks) return kErrCompanionAccess;
    BlockHeader bh;
    if ((rc = ReadBlockHeader(&companion, b, &bh)) != kOk) return rc;
    const int32_t next = bh.next;
    BlockHeader fresh{prev_walked == 0 ? 0 : bh.previous, next, 0};
    const bool is_last = next == 0;
    if (is_last) fresh.next = h.first_free;
    if ((rc = WriteBlock(&companion, b, fresh, reinterpret_cast<const char*>(zeros), 0)) != kOk)
      return rc;
    if (is_last && h.first_free != 0 && ValidBlock(h.first_free, blocks)) {
      BlockHeader head;
      if ((rc = ReadBlockHeader(&companion, h.first_free, &head)) != kOk) return rc;
      head.previous = b;
      if ((rc = WriteBlockHeader(&companion, h.first_free, head)) != kOk) return rc;
    }
    had_last = had_last || b == last_block;
    ++walked;
    prev_walked = b;
    b = next;
  }
  // 2. The chain is the new head.
  h.first_free = first;
  h.free_count += walked;
  session->dirty = true;
  if ((rc = session->Flush()) != kOk) return rc;

  // 3. Trim free blocks off the file's tail.
  return had_last ? TrimTailLocked(session, blocks) : kOk;
}

int RecordTable::TrimTailLocked(HeaderSession* session, uint64_t blocks) {
  CompanionHeader& h = session->header;
  int rc = kOk;
  // The free blocks at the tail, from the last one down. A block with
  // nothing in it that the free list does not hold (taken by a write that
  // failed) ends the run: unlinking it would damage the list.
  std::vector<int32_t> tail;
  std::unordered_map<int32_t, int32_t> next_of;
  int32_t j = h.block_count - 1;
  for (; j >= 1; --j) {
    BlockHeader bh;
    if ((rc = ReadBlockHeader(&companion, j, &bh)) != kOk) return rc;
    if (bh.used > 0) break;
    if (j != h.first_free) {
      BlockHeader before;
      if (!ValidBlock(bh.previous, blocks) ||
          (rc = ReadBlockHeader(&companion, bh.previous, &before)) != kOk || before.next != j)
        break;
    }
    tail.push_back(j);
    next_of[j] = bh.next;
  }
  if (tail.empty()) return rc;
  const int32_t kept = j + 1;

  // Mostly the trimmed blocks lead the free list (they were freed just now):
  // one header write takes them off.
  int32_t after = h.first_free;
  size_t steps = 0;
  while (steps < tail.size() && next_of.count(after) != 0) {
    after = next_of[after];
    ++steps;
  }
  CompanionHeader out = h;
  if (steps == tail.size() && next_of.count(after) == 0 &&
      (after == 0 || ValidBlock(after, uint64_t(kept)))) {
    out.first_free = after;
    out.free_count = std::max(0, h.free_count - int32_t(steps));
    out.block_count = kept;
    h = out;
    session->dirty = true;
    session->truncate_to = uint64_t(kept);
    if ((rc = session->Flush()) != kOk || after == 0) return rc;
    // The new head's back link, as unlinking one block after another
    // leaves it.
    BlockHeader head;
    if ((rc = ReadBlockHeader(&companion, after, &head)) != kOk) return rc;
    head.previous = 0;
    return WriteBlockHeader(&companion, after, head);
  }

  // Otherwise the list is taken out of the header while the links around
  // the trimmed blocks are mended: a process stopped part-way leaves its
  // blocks unused, never a list that contradicts itself.
  const CompanionHeader live = h;
  h.first_free = 0;
  h.free_count = 0;
  session->dirty = true;
  if ((rc = session->Flush()) != kOk) {
    h = live;
    session->dirty = false;
    return rc;
  }
  for (int32_t t : tail) {
    BlockHeader bh;
    if ((rc = ReadBlockHeader(&companion, t, &bh)) != kOk) return rc;
    const bool next_ok = ValidBlock(bh.next, blocks);
    if (t == out.first_free) {
      out.first_free = bh.next >= 0 && bh.next < out.block_count ? bh.next : 0;
      if (next_ok) {
        BlockHeader next;
        if ((rc = ReadBlockHeader(&companion, bh.next, &next)) != kOk) return rc;
        next.previous = 0;
        if ((rc = WriteBlockHeader(&companion, bh.next, next)) != kOk) return rc;
      }
    } else {
      if (ValidBlock(bh.previous, blocks)) {
        BlockHeader before;
        if ((rc = ReadBlockHeader(&companion, bh.previous, &before)) != kOk) return rc;
        before.next = bh.next;
        if ((rc = WriteBlockHeader(&companion, bh.previous, before)) != kOk) return rc;
      }
      if (next_ok) {
        BlockHeader next;
        if ((rc = ReadBlockHeader(&companion, bh.next, &next)) != kOk) return rc;
        next.previous = bh.previous;
        if ((rc = WriteBlockHeader(&companion, bh.next, next)) != kOk) return rc;
      }
    }
    out.free_count = std::max(0, out.free_count - 1);
  }
  out.block_count = kept;
  h = out;
  session->dirty = true;
  session->truncate_to = uint64_t(kept);
  return session->Flush();
}

int RecordTable::ReclaimUnusedBlocks(const std::vector<int32_t>& firsts) {
  if (!has_companion()) return kOk;
  HeaderSession session(&companion);
  int rc = session.Load();
  if (rc != kOk) return rc;
  const CompanionHeader h = session.header;
  uint64_t length = 0;
  if (companion.Size(&length) != kOk) return kErrCompanionAccess;
  const uint64_t blocks = std::min<uint64_t>(length / kBlockSize, uint64_t(h.block_count));

  // Every block's next link, read in one pass.
  std::vector<int32_t> next(blocks, 0);
  std::vector<uint8_t> chunk;
  constexpr uint64_t kChunkBlocks = 512;
  for (uint64_t b = 1; b < blocks; b += kChunkBlocks) {
    const uint64_t n = std::min(kChunkBlocks, blocks - b);
    chunk.resize(n * kBlockSize);
    rc = companion.ReadExact(b * kBlockSize, chunk.data(), chunk.size(), kErrCompanionAccess);
    if (rc != kOk) return rc;
    for (uint64_t i = 0; i < n; ++i)
      next[b + i] = DecodeBlockHeader(chunk.data() + i * kBlockSize).next;
  }

  // The blocks the values and the free list hold. Anything out of order (a
  // link outside the file, a cycle, a block held twice, a free count that
  // does not match) ends the reclaim with nothing changed: nothing of
  // unknown ownership is ever freed.
  std::vector<uint8_t> held(blocks, 0);
  auto hold = [&](int32_t first, int64_t* walked) {
    for (int32_t b = first; b != 0; b = next[size_t(b)]) {
      if (b < 1 || uint64_t(b) >= blocks || held[size_t(b)]) return false;
      held[size_t(b)] = 1;
      ++*walked;
    }
    return true;
  };
  int64_t walked = 0;
  for (int32_t f : firsts)
    if (!hold(f, &walked)) return kOk;
  walked = 0;
  if (!hold(h.first_free, &walked) || walked != h.free_count) return kOk;

  std::vector<int32_t> unused;
  for (uint64_t b = 1; b < blocks; ++b)
    if (!held[b]) unused.push_back(int32_t(b));
  // Bytes past the last block go first; then the unused blocks, linked into a
  // chain of their own, are freed like any chain.
  if (length > uint64_t(h.block_count) * kBlockSize &&
      (rc = companion.Truncate(uint64_t(h.block_count) * kBlockSize)) != kOk)
    return rc;
  if (unused.empty()) return kOk;
  for (size_t i = 0; i < unused.size(); ++i) {
    const BlockHeader link{i > 0 ? unused[i - 1] : 0, i + 1 < unused.size() ? unused[i + 1] : 0, 0};
    if ((rc = WriteBlockHeader(&companion, unused[i], link)) != kOk) return rc;
  }
  if ((rc = FreeChainLocked(unused[0], &session)) != kOk) return rc;
  return session.Flush();
}

}  // namespace tarvok::store
