// A FileSystem for tests that passes every call to another one (the POSIX
// one by default), counts the calls by kind, and fails the ones a test asks
// for: the k-th write with ENOSPC, every sync from the third on, a read cut
// short, a lock held by someone else.
//
// The usual loop of a fault-injection test:
//
//     for (uint64_t k = 1;; ++k) {
//       MakeFreshFiles();
//       FaultFileSystem fs;
//       ScopedFileSystem use(&fs);
//       fs.FailNth(FsOp::kWrite, k, ENOSPC);
//       bool ok = RunTheOperation();
//       if (fs.Injected() == 0) {  // the operation made fewer than k writes
//         EXPECT_TRUE(ok);
//         break;
//       }
//       ReopenAndCheckInvariants();
//     }
//
// Files opened through the wrapper report to it, so it must outlive them.
// Not thread-safe, like the store that uses it.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace tarvok::test {

// The calls that are counted and can be failed. Exists, List, FullPath and
// the clock cannot fail and are not counted.
enum class FsOp {
  kOpen,
  kRead,
  kWrite,
  kSize,
  kTruncate,
  kSync,
  kLock,
  kUnlock,
  kRemove,
  kRename,
  kSyncDirectory,
};
inline constexpr size_t kFsOpKinds = 11;

class FaultFileSystem : public platform::FileSystem {
 public:
  explicit FaultFileSystem(platform::FileSystem* base = platform::PosixFileSystem());

  // Plans a failure, replacing any plan for that kind. `nth` counts calls of
  // that kind from now on: 1 is the next one (0 drops the plan). A failed
  // call returns `error` and does not reach the wrapped file system.
  void FailNth(FsOp op, uint64_t nth, int error);
  // Every call of that kind from the nth on fails, until ClearFaults.
  void FailFrom(FsOp op, uint64_t nth, int error);
  // The nth write puts the first half of its bytes (rounded down) into the
  // file and then fails with `error`: a disk that fills up during the write.
  void TearNthWrite(uint64_t nth, int error = ENOSPC);
  // The nth read succeeds but delivers only half (rounded down) of what the
  // file gave: a file cut short by someone else.
  void ShortenNthRead(uint64_t nth);
  // While on, every Lock fails with EAGAIN, as if another program held the
  // bytes; counted as lock calls and as injected failures.
  void SetLockConflict(bool on) { lock_conflict_ = on; }
  // Drops every plan and the lock conflict; the counts stay.
  void ClearFaults();

  // Calls of a kind so far, failed ones included.
  uint64_t Calls(FsOp op) const { return calls_[Index(op)]; }
  // Failures, tears and short reads injected so far; 0 tells a loop like the
  // one above that the planned call was never reached.
  uint64_t Injected() const { return injected_; }

  // From now on TickCount reads a clock that starts at start_ms and moves
  // only by SleepMs, which returns at once; SleptMs is the sum it was asked.
  void UseFakeClock(uint64_t start_ms = 0);
  uint64_t SleptMs() const { return slept_ms_; }

  int Open(const std::string& path, platform::Access access, platform::Sharing sharing,
           platform::Disposition disposition, std::unique_ptr<platform::File>* out) override;
  int Remove(const std::string& path) override;
  int Rename(const std::string& from, const std::string& to) override;
  bool Exists(const std::string& path) override { return base_->Exists(path); }
  int SyncDirectory(const std::string& path) override;
  std::vector<std::string> List(const std::string& dir) override { return base_->List(dir); }
  std::string FullPath(const std::string& path) override { return base_->FullPath(path); }
  uint64_t TickCount() override;
  void SleepMs(unsigned ms) override;

 private:
  friend class FaultFile;

  enum class Effect { kNone, kFail, kTear, kShorten };
  struct Plan {
    uint64_t at = 0;  // absolute call number; 0 = nothing planned
    bool onward = false;
    Effect effect = Effect::kNone;
    int error = 0;
  };

  static size_t Index(FsOp op) { return static_cast<size_t>(op); }
  void SetPlan(FsOp op, uint64_t nth, bool onward, Effect effect, int error);
  // Counts one call of `op` and tells what to do with it.
  Effect Next(FsOp op, int* error);

  platform::FileSystem* const base_;
  uint64_t calls_[kFsOpKinds] = {};
  Plan plans_[kFsOpKinds] = {};
  uint64_t injected_ = 0;
  bool lock_conflict_ = false;
  bool fake_clock_ = false;
  uint64_t fake_now_ms_ = 0;
  uint64_t slept_ms_ = 0;
};

// Installs a file system with platform::SetFileSystem for its lifetime and
// puts the one before it back when destroyed. Nest them in stack order.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(platform::FileSystem* fs);
  ~ScopedFileSystem();
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  platform::FileSystem* const previous_;
};

}  // namespace tarvok::test
