// A file system that counts the calls the store makes on its files.
//
// Wraps another FileSystem (the POSIX one by default): every File it opens
// is wrapped too, and each Read, Write, Lock, Unlock, Size, Truncate and Sync
// adds one to the shared counters before it is passed on. Each of those is
// one system call in the POSIX file system (Read and Write may loop on a
// short transfer, which a regular file on a local disk does not do), so the
// counts are the store's system calls per operation.
//
// Only files opened while the wrapper is installed (platform::SetFileSystem)
// are counted: open the table after installing it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace tarvok::bench {

struct FileCallCounts {
  uint64_t read = 0, write = 0, lock = 0, unlock = 0, size = 0, truncate = 0, sync = 0;
  uint64_t open = 0;  // FileSystem::Open

  uint64_t file_calls() const { return read + write + lock + unlock + size + truncate + sync; }
  void Reset() { *this = FileCallCounts{}; }
};

class CountingFile final : public platform::File {
 public:
  CountingFile(std::unique_ptr<platform::File> inner, FileCallCounts* counts)
      : inner_(std::move(inner)), counts_(counts) {}

  int Read(uint64_t offset, void* buf, size_t n, size_t* got) override {
    ++counts_->read;
    return inner_->Read(offset, buf, n, got);
  }
  int Write(uint64_t offset, const void* buf, size_t n) override {
    ++counts_->write;
    return inner_->Write(offset, buf, n);
  }
  int Size(uint64_t* size) override {
    ++counts_->size;
    return inner_->Size(size);
  }
  int Truncate(uint64_t size) override {
    ++counts_->truncate;
    return inner_->Truncate(size);
  }
  int Sync() override {
    ++counts_->sync;
    return inner_->Sync();
  }
  int Lock(uint64_t offset, uint64_t length) override {
    ++counts_->lock;
    return inner_->Lock(offset, length);
  }
  int Unlock(uint64_t offset, uint64_t length) override {
    ++counts_->unlock;
    return inner_->Unlock(offset, length);
  }

 private:
  std::unique_ptr<platform::File> inner_;
  FileCallCounts* counts_;
};

class CountingFileSystem final : public platform::FileSystem {
 public:
  explicit CountingFileSystem(platform::FileSystem* inner = platform::PosixFileSystem())
      : inner_(inner) {}

  FileCallCounts& counts() { return counts_; }

  int Open(const std::string& path, platform::Access access, platform::Sharing sharing,
           platform::Disposition disposition, std::unique_ptr<platform::File>* out) override {
    ++counts_.open;
    std::unique_ptr<platform::File> f;
    int err = inner_->Open(path, access, sharing, disposition, &f);
    if (err == 0) {
      *out = std::make_unique<CountingFile>(std::move(f), &counts_);
    } else {
      out->reset();
    }
    return err;
  }
  int Remove(const std::string& path) override { return inner_->Remove(path); }
  int Rename(const std::string& from, const std::string& to) override {
    return inner_->Rename(from, to);
  }
  bool Exists(const std::string& path) override { return inner_->Exists(path); }
  int SyncDirectory(const std::string& path) override { return inner_->SyncDirectory(path); }
  std::vector<std::string> List(const std::string& dir) override { return inner_->List(dir); }
  std::string FullPath(const std::string& path) override { return inner_->FullPath(path); }
  uint64_t TickCount() override { return inner_->TickCount(); }
  void SleepMs(unsigned ms) override { inner_->SleepMs(ms); }

 private:
  platform::FileSystem* inner_;
  FileCallCounts counts_;
};

// Installs a file system for the lifetime of the scope and restores the
// default one after it.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(platform::FileSystem* fs) { platform::SetFileSystem(fs); }
  ~ScopedFileSystem() { platform::SetFileSystem(nullptr); }
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;
};

}  // namespace tarvok::bench
