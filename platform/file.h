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

// What an opener allows every other opener of the same file, as the sharing
// modes of the record store: kShared allows reading and writing, kDenyWrite
// only reading, kDenyRead only writing, kExclusive nothing. An open succeeds
// when, for every opener already there, our access is among what it allows
// and its access is among what we allow; otherwise it fails with EBUSY. Every
// opener reads (kReadOnly reads, kReadWrite reads and writes), so kDenyRead
// keeps out everyone, as kExclusive does.
//
// Kept among our own openers only, with locks on bytes past the lockable
// data range (see kSharingLockBase): a program that opens the file without
// taking those locks is neither kept out nor keeps us out. Its byte-range
// locks, classic fcntl ones included, still meet ours.
enum class Sharing { kShared, kDenyWrite, kDenyRead, kExclusive };

enum class Disposition {
  kOpenExisting,  // fail with ENOENT when the file does not exist
  kCreateAlways,  // create, or truncate an existing file to 0 bytes
  kCreateNew,     // create; fail with EEXIST when the file exists
};

// Byte-range locks of the record format lie within [0, kLockableEnd); the
// sharing-mode bookkeeping uses the four bytes from kSharingLockBase on, so
// the two never meet. File::Lock refuses any range reaching kSharingLockBase.
inline constexpr uint64_t kLockableEnd = 0x7FFFFFFF;
inline constexpr uint64_t kSharingLockBase = 0x100000000ULL;

// One open file. Destroying it closes the file and releases its locks and
// its sharing mode.
class File {
 public:
  virtual ~File() = default;

  // Reads up to n bytes at offset. *got receives the count, which is short
  // only at the end of the file. Returns 0 or an errno.
  virtual int Read(uint64_t offset, void* buf, size_t n, size_t* got) = 0;
  // Writes all n bytes at offset, or fails (ENOSPC for a full disk; some of
  // the bytes may then be on disk). A file opened read-only gives EBADF.
  virtual int Write(uint64_t offset, const void* buf, size_t n) = 0;
  virtual int Size(uint64_t* size) = 0;
  // Sets the length; bytes added by growing read as zeros.
  virtual int Truncate(uint64_t size) = 0;
  virtual int Sync() = 0;

  // Exclusive byte-range lock, never waiting. A range held by another open
  // file (in this process or another) fails with EAGAIN. Locks belong to this
  // open file alone (open-file-description locks), so two File objects on the
  // same path in one process exclude each other like two processes do. On a
  // file opened read-only the lock is a shared one: it still excludes every
  // writer's lock, but not another read-only opener's. Locking a range this
  // File already holds succeeds.
  //
  // Locks do not nest: one Unlock frees the bytes however often they were
  // locked, and unlocking bytes not held succeeds. Counting is the caller's.
  // REQUIRES length >= 1 and offset + length <= kSharingLockBase, else EINVAL.
  virtual int Lock(uint64_t offset, uint64_t length) = 0;
  virtual int Unlock(uint64_t offset, uint64_t length) = 0;
};

// Every call taking a path refuses one that names no file: EILSEQ when the
// bytes are not GBK/GB18030 text (they would reach some other name after
// conversion), EINVAL for a NUL byte; Exists answers false.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens path. On success *out holds the file; on failure it is empty.
  //   EBUSY   a sharing conflict with another of our openers (see Sharing);
  //           kCreateAlways truncates only after that check has passed, so a
  //           refused opener never touches the file
  //   EINVAL  kReadOnly with a creating disposition
  //   EISDIR  path is a folder
  //   otherwise the errno of the system call (ENOENT, EEXIST, EACCES ...)
  // New files get mode 0600 (less the umask). The file is not inherited by
  // programs the organiser starts.
  virtual int Open(const std::string& path, Access access, Sharing sharing,
                   Disposition disposition, std::unique_ptr<File>* out) = 0;
  virtual int Remove(const std::string& path) = 0;
  // Replaces `to` atomically.
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Makes a rename or removal in the folder of `path` durable.
  virtual int SyncDirectory(const std::string& path) = 0;
  // Names (not paths) of the entries of a folder, "." and ".." left out, in
  // byte order; empty when unreadable. A name with no GB18030 form (not
  // UTF-8 on disk) is left out too, since no path we can pass would reach it.
  virtual std::vector<std::string> List(const std::string& dir) = 0;

  // The absolute, normalised form of path ("." and ".." removed), as a text;
  // the empty text for an empty path. Purely textual: symbolic links are not
  // followed and the path need not exist.
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
