// The one interface between the record store and the operating system's
// files. Everything the store does to a file goes through `File` and
// `FileSystem`, so tests can wrap them to inject short reads, failed writes,
// a full disk or a lock held by someone else.
//
// Results are errno values: 0 on success, a positive errno otherwise. The
// store maps them to its own codes.
//
// Paths are GBK bytes, as every text inside the organiser; the POSIX file
// system turns them into UTF-8 file names at the system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvok::platform {

enum class Access { kReadWrite, kReadOnly };

// What an opener denies to every other opener of the same file, as the
// sharing modes of the record store. Kept among our own openers with locks
// on bytes past the lockable data range (see kSharingLockBase).
enum class Sharing { kShared, kDenyWrite, kDenyRead, kExclusive };

enum class Disposition {
  kOpenExisting,  // fail with ENOENT when the file does not exist
  kCreateAlways,  // create, or truncate an existing file to 0 bytes
  kCreateNew,     // create; fail with EEXIST when the file exists
};

// Byte-range locks of the record format lie within [0, kLockableEnd); the
// sharing-mode bookkeeping uses single bytes from kSharingLockBase on, so the
// two never meet.
inline constexpr uint64_t kLockableEnd = 0x7FFFFFFF;
inline constexpr uint64_t kSharingLockBase = 0x100000000ULL;

class File {
 public:
  virtual ~File() = default;

  // Reads up to n bytes at offset. *got receives the count, which is short
  // only at the end of the file. Returns 0 or an errno.
  virtual int Read(uint64_t offset, void* buf, size_t n, size_t* got) = 0;
  // Writes all n bytes at offset, or fails (ENOSPC for a full disk).
  virtual int Write(uint64_t offset, const void* buf, size_t n) = 0;
  virtual int Size(uint64_t* size) = 0;
  virtual int Truncate(uint64_t size) = 0;
  virtual int Sync() = 0;

  // Exclusive byte-range lock, never waiting. A range held by another open
  // file (in this process or another) fails with EAGAIN. Locks belong to this
  // open file alone (open-file-description locks), so two File objects on the
  // same path in one process exclude each other like two processes do. On a
  // file opened read-only the lock is a shared one: it still excludes every
  // writer's lock. Locking a range this File already holds succeeds.
  virtual int Lock(uint64_t offset, uint64_t length) = 0;
  virtual int Unlock(uint64_t offset, uint64_t length) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens path. A sharing conflict with another of our openers gives EBUSY.
  virtual int Open(const std::string& path, Access access, Sharing sharing,
                   Disposition disposition, std::unique_ptr<File>* out) = 0;
  virtual int Remove(const std::string& path) = 0;
  // Replaces `to` atomically.
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Makes a rename or removal in the folder of `path` durable.
  virtual int SyncDirectory(const std::string& path) = 0;
  // Names (not paths) of the entries of a folder; empty when unreadable.
  virtual std::vector<std::string> List(const std::string& dir) = 0;

  // The absolute, normalised form of path ("." and ".." removed), as a text.
  virtual std::string FullPath(const std::string& path) = 0;

  // Milliseconds of a monotonic clock, and a sleep; the store's lock waits
  // use them so that tests can run them without real time passing.
  virtual uint64_t TickCount() = 0;
  virtual void SleepMs(unsigned ms) = 0;
};

// The real POSIX file system.
FileSystem* PosixFileSystem();

// The file system the store uses: PosixFileSystem() unless a test installed
// another with SetFileSystem (nullptr restores the default).
FileSystem* CurrentFileSystem();
void SetFileSystem(FileSystem* fs);

}  // namespace tarvok::platform
