#include "tests/support/fault_fs.h"

#include <algorithm>

namespace tarvok::test {

using platform::File;

class FaultFile final : public File {
 public:
  FaultFile(FaultFileSystem* fs, std::unique_ptr<File> base) : fs_(fs), base_(std::move(base)) {}

  int Read(uint64_t offset, void* buf, size_t n, size_t* got) override {
    int error = 0;
    switch (fs_->Next(FsOp::kRead, &error)) {
      case FaultFileSystem::Effect::kFail:
        *got = 0;
        return error;
      case FaultFileSystem::Effect::kShorten:
        if (int err = base_->Read(offset, buf, n, got); err != 0) return err;
        *got /= 2;
        return 0;
      default:
        return base_->Read(offset, buf, n, got);
    }
  }

  int Write(uint64_t offset, const void* buf, size_t n) override {
    int error = 0;
    switch (fs_->Next(FsOp::kWrite, &error)) {
      case FaultFileSystem::Effect::kFail:
        return error;
      case FaultFileSystem::Effect::kTear:
        if (int err = base_->Write(offset, buf, n / 2); err != 0) return err;
        return error;
      default:
        return base_->Write(offset, buf, n);
    }
  }

  int Size(uint64_t* size) override {
    int error = 0;
    if (fs_->Next(FsOp::kSize, &error) == FaultFileSystem::Effect::kFail) return error;
    return base_->Size(size);
  }

  int Truncate(uint64_t size) override {
    int error = 0;
    if (fs_->Next(FsOp::kTruncate, &error) == FaultFileSystem::Effect::kFail) return error;
    return base_->Truncate(size);
  }

  int Sync() override {
    int error = 0;
    if (fs_->Next(FsOp::kSync, &error) == FaultFileSystem::Effect::kFail) return error;
    return base_->Sync();
  }

  int Lock(uint64_t offset, uint64_t length) override {
    int error = 0;
    if (fs_->Next(FsOp::kLock, &error) == FaultFileSystem::Effect::kFail) return error;
    if (fs_->lock_conflict_) {
      ++fs_->injected_;
      return EAGAIN;
    }
    return base_->Lock(offset, length);
  }

  int Unlock(uint64_t offset, uint64_t length) override {
    int error = 0;
    if (fs_->Next(FsOp::kUnlock, &error) == FaultFileSystem::Effect::kFail) return error;
    return base_->Unlock(offset, length);
  }

 private:
  FaultFileSystem* const fs_;
  const std::unique_ptr<File> base_;
};

FaultFileSystem::FaultFileSystem(platform::FileSystem* base) : base_(base) {}

void FaultFileSystem::SetPlan(FsOp op, uint64_t nth, bool onward, Effect effect, int error) {
  Plan& plan = plans_[Index(op)];
  plan.at = nth == 0 ? 0 : calls_[Index(op)] + nth;
  plan.onward = onward;
  plan.effect = effect;
  plan.error = error;
}

void FaultFileSystem::FailNth(FsOp op, uint64_t nth, int error) {
  SetPlan(op, nth, false, Effect::kFail, error);
}

void FaultFileSystem::FailFrom(FsOp op, uint64_t nth, int error) {
  SetPlan(op, nth, true, Effect::kFail, error);
}

void FaultFileSystem::TearNthWrite(uint64_t nth, int error) {
  SetPlan(FsOp::kWrite, nth, false, Effect::kTear, error);
}

void FaultFileSystem::ShortenNthRead(uint64_t nth) {
  SetPlan(FsOp::kRead, nth, false, Effect::kShorten, 0);
}

void FaultFileSystem::ClearFaults() {
  std::fill(std::begin(plans_), std::end(plans_), Plan{});
  lock_conflict_ = false;
}

FaultFileSystem::Effect FaultFileSystem::Next(FsOp op, int* error) {
  const uint64_t call = ++calls_[Index(op)];
  const Plan& plan = plans_[Index(op)];
  if (plan.at == 0 || call < plan.at || (call > plan.at && !plan.onward)) return Effect::kNone;
  ++injected_;
  *error = plan.error;
  return plan.effect;
}

int FaultFileSystem::Open(const std::string& path, platform::Access access,
                          platform::Sharing sharing, platform::Disposition disposition,
                          std::unique_ptr<File>* out) {
  out->reset();
  int error = 0;
  if (Next(FsOp::kOpen, &error) == Effect::kFail) return error;
  std::unique_ptr<File> file;
  if (int err = base_->Open(path, access, sharing, disposition, &file); err != 0) return err;
  *out = std::make_unique<FaultFile>(this, std::move(file));
  return 0;
}

int FaultFileSystem::Remove(const std::string& path) {
  int error = 0;
  if (Next(FsOp::kRemove, &error) == Effect::kFail) return error;
  return base_->Remove(path);
}

int FaultFileSystem::Rename(const std::string& from, const std::string& to) {
  int error = 0;
  if (Next(FsOp::kRename, &error) == Effect::kFail) return error;
  return base_->Rename(from, to);
}

int FaultFileSystem::SyncDirectory(const std::string& path) {
  int error = 0;
  if (Next(FsOp::kSyncDirectory, &error) == Effect::kFail) return error;
  return base_->SyncDirectory(path);
}

void FaultFileSystem::UseFakeClock(uint64_t start_ms) {
  fake_clock_ = true;
  fake_now_ms_ = start_ms;
}

uint64_t FaultFileSystem::TickCount() { return fake_clock_ ? fake_now_ms_ : base_->TickCount(); }

void FaultFileSystem::SleepMs(unsigned ms) {
  slept_ms_ += ms;
  if (fake_clock_) {
    fake_now_ms_ += ms;
  } else {
    base_->SleepMs(ms);
  }
}

ScopedFileSystem::ScopedFileSystem(platform::FileSystem* fs)
    : previous_(platform::CurrentFileSystem()) {
  platform::SetFileSystem(fs);
}

ScopedFileSystem::~ScopedFileSystem() { platform::SetFileSystem(previous_); }

}  // namespace tarvok::test
