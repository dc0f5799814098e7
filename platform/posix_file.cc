// FileSystem over POSIX calls, with open-file-description locks.
//
// Sharing modes. Windows checks them at open; here every opener announces
// its own access and what it denies with shared locks on four bytes past the
// data locks, and then looks for a conflicting announcement of someone else:
//
//   byte                        held by an opener that
//   kSharingLockBase + 0        reads (every opener)
//   kSharingLockBase + 1        writes (kReadWrite)
//   kSharingLockBase + 2        denies reading (kDenyRead, kExclusive)
//   kSharingLockBase + 3        denies writing (kDenyWrite, kExclusive)
//
// An opener that reads must find byte 2 free of others, one that writes byte
// 3, one that denies reading byte 0, one that denies writing byte 1. Since
// each announces before it looks, of two racing openers the later one to
// look sees the other: both may fail, both cannot succeed. The announcements
// are F_RDLCK because a read-only descriptor can take no F_WRLCK; the look is
// F_OFD_GETLK with an F_WRLCK probe, which any other lock on the byte
// answers and our own open file's locks never do.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <system_error>

#include "platform/file.h"
#include "platform/gbk.h"

namespace tarvok::platform {
namespace {

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());

enum SharingByte : uint64_t { kHasRead = 0, kHasWrite = 1, kDeniesRead = 2, kDeniesWrite = 3 };

// The file name a GBK path stands for. A path whose bytes do not decode
// would come out with U+FFFD in it and name some other file, so the decoding
// must give the same bytes back.
int NativePath(const std::string& path, std::string* native) {
  if (path.find('\0') != std::string::npos) return EINVAL;
  *native = GbkToUtf8(path);
  if (Utf8ToGb18030(*native) != path) return EILSEQ;
  return 0;
}

int RetryOnEintr(int (*call)(int), int fd) {
  while (call(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int SetLock(int fd, short type, uint64_t offset, uint64_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;  // required by the OFD commands
  while (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    if (errno == EINTR) continue;
    // Held elsewhere: the kernel says EAGAIN or EACCES, the caller sees one.
    return (errno == EAGAIN || errno == EACCES) ? EAGAIN : errno;
  }
  return 0;
}

// Sets *held when an open file other than fd's holds any lock on the byte.
int OtherHolds(int fd, uint64_t byte, bool* held) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(kSharingLockBase + byte);
  fl.l_len = 1;
  fl.l_pid = 0;
  while (fcntl(fd, F_OFD_GETLK, &fl) != 0) {
    if (errno != EINTR) return errno;
  }
  *held = fl.l_type != F_UNLCK;
  return 0;
}

// Announces fd's access and sharing and checks them against the other
// openers: 0, EBUSY on a conflict, or the errno of a failed lock call. The
// caller closes fd on failure, which drops whatever was announced.
int EnterSharing(int fd, Access access, Sharing sharing) {
  const bool writes = access == Access::kReadWrite;
  const bool denies_read = sharing == Sharing::kDenyRead || sharing == Sharing::kExclusive;
  const bool denies_write = sharing == Sharing::kDenyWrite || sharing == Sharing::kExclusive;

  const struct {
    bool mine;
    uint64_t byte;
  } announce[] = {{true, kHasRead}, {writes, kHasWrite}, {denies_read, kDeniesRead},
                  {denies_write, kDeniesWrite}};
  for (const auto& a : announce) {
    if (!a.mine) continue;
    int err = SetLock(fd, F_RDLCK, kSharingLockBase + a.byte, 1);
    // A foreign write lock on our bytes keeps us out like a sharing conflict.
    if (err == EAGAIN) return EBUSY;
    if (err != 0) return err;
  }

  const struct {
    bool applies;
    uint64_t byte;
  } check[] = {{true, kDeniesRead}, {writes, kDeniesWrite}, {denies_read, kHasRead},
               {denies_write, kHasWrite}};
  for (const auto& c : check) {
    if (!c.applies) continue;
    bool held = false;
    if (int err = OtherHolds(fd, c.byte, &held); err != 0) return err;
    if (held) return EBUSY;
  }
  return 0;
}

bool ValidLockRange(uint64_t offset, uint64_t length) {
  return length >= 1 && offset < kSharingLockBase && length <= kSharingLockBase - offset;
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, bool writable) : fd_(fd), writable_(writable) {}
  ~PosixFile() override { close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  int Read(uint64_t offset, void* buf, size_t n, size_t* got) override {
    *got = 0;
    if (offset > kMaxOffset || n > kMaxOffset - offset) return EINVAL;
    auto* p = static_cast<char*>(buf);
    size_t done = 0;
    while (done < n) {
      ssize_t r = pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    *got = done;
    return 0;
  }

  int Write(uint64_t offset, const void* buf, size_t n) override {
    if (offset > kMaxOffset || n > kMaxOffset - offset) return EFBIG;
    const auto* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
      ssize_t r = pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      // A regular file never takes zero bytes without saying why; do not spin.
      if (r == 0) return EIO;
      done += static_cast<size_t>(r);
    }
    return 0;
  }

  int Size(uint64_t* size) override {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return errno;
    *size = static_cast<uint64_t>(st.st_size);
    return 0;
  }

  int Truncate(uint64_t size) override {
    if (size > kMaxOffset) return EFBIG;
    while (ftruncate(fd_, static_cast<off_t>(size)) != 0) {
      if (errno != EINTR) return errno;
    }
    return 0;
  }

  int Sync() override { return RetryOnEintr(fsync, fd_); }

  int Lock(uint64_t offset, uint64_t length) override {
    if (!ValidLockRange(offset, length)) return EINVAL;
    return SetLock(fd_, writable_ ? F_WRLCK : F_RDLCK, offset, length);
  }

  int Unlock(uint64_t offset, uint64_t length) override {
    if (!ValidLockRange(offset, length)) return EINVAL;
    return SetLock(fd_, F_UNLCK, offset, length);
  }

 private:
  const int fd_;
  const bool writable_;
};

class PosixFs final : public FileSystem {
 public:
  int Open(const std::string& path, Access access, Sharing sharing, Disposition disposition,
           std::unique_ptr<File>* out) override {
    out->reset();
    const bool writable = access == Access::kReadWrite;
    if (!writable && disposition != Disposition::kOpenExisting) return EINVAL;
    std::string native;
    if (int err = NativePath(path, &native); err != 0) return err;

    // No O_TRUNC: truncating is kCreateAlways's last step, after the sharing
    // check, or a refused opener would empty a file someone else holds.
    int flags = O_CLOEXEC | (writable ? O_RDWR : O_RDONLY);
    if (disposition == Disposition::kCreateAlways) flags |= O_CREAT;
    if (disposition == Disposition::kCreateNew) flags |= O_CREAT | O_EXCL;
    int fd;
    while ((fd = open(native.c_str(), flags, 0600)) < 0) {
      if (errno != EINTR) return errno;
    }

    int err = 0;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
      err = errno;
    } else if (S_ISDIR(st.st_mode)) {
      err = EISDIR;
    }
    if (err == 0) err = EnterSharing(fd, access, sharing);
    // A file that is already empty is not truncated: on ext4, truncating
    // makes the next close start writing the file out, which a removal soon
    // after (an undo journal's) then waits for.
    if (err == 0 && disposition == Disposition::kCreateAlways && fstat(fd, &st) == 0 &&
        st.st_size > 0) {
      while (ftruncate(fd, 0) != 0) {
        if (errno != EINTR) {
          err = errno;
          break;
        }
      }
    }
    if (err != 0) {
      close(fd);
      return err;
    }
    *out = std::make_unique<PosixFile>(fd, writable);
    return 0;
  }

  int Remove(const std::string& path) override {
    std::string native;
    if (int err = NativePath(path, &native); err != 0) return err;
    return unlink(native.c_str()) == 0 ? 0 : errno;
  }

  int Rename(const std::string& from, const std::string& to) override {
    std::string native_from, native_to;
    if (int err = NativePath(from, &native_from); err != 0) return err;
    if (int err = NativePath(to, &native_to); err != 0) return err;
    return rename(native_from.c_str(), native_to.c_str()) == 0 ? 0 : errno;
  }

  bool Exists(const std::string& path) override {
    std::string native;
    if (NativePath(path, &native) != 0) return false;
    struct stat st {};
    return stat(native.c_str(), &st) == 0;
  }

  int SyncDirectory(const std::string& path) override {
    std::string native;
    if (int err = NativePath(path, &native); err != 0) return err;
    std::string dir = std::filesystem::path(native).parent_path().string();
    if (dir.empty()) dir = ".";
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int err = RetryOnEintr(fsync, fd);
    close(fd);
    return err;
  }

  std::vector<std::string> List(const std::string& dir) override {
    std::vector<std::string> names;
    std::string native;
    if (NativePath(dir, &native) != 0) return names;
    DIR* d = opendir(native.c_str());
    if (d == nullptr) return names;
    while (const dirent* e = readdir(d)) {
      const std::string_view name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string gbk = Utf8ToGb18030(name);
      if (GbkToUtf8(gbk) != name) continue;  // not UTF-8: '?' would name another file
      names.push_back(std::move(gbk));
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }

  // Done on the GBK bytes themselves: '/' and '.' never occur inside a GBK or
  // GB18030 character, so the normalisation cannot cut one, and bytes that
  // do not decode come back as they went in.
  std::string FullPath(const std::string& path) override {
    if (path.empty()) return {};
    std::filesystem::path p(path);
    if (p.is_relative()) {
      std::error_code ec;
      std::filesystem::path cwd = std::filesystem::current_path(ec);
      if (ec) return {};
      p = std::filesystem::path(Utf8ToGb18030(cwd.string())) / p;
    }
    return p.lexically_normal().string();
  }

  uint64_t TickCount() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
  }

  void SleepMs(unsigned ms) override {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
};

std::atomic<FileSystem*> g_installed{nullptr};

}  // namespace

FileSystem* PosixFileSystem() {
  static PosixFs fs;
  return &fs;
}

FileSystem* CurrentFileSystem() {
  FileSystem* fs = g_installed.load(std::memory_order_acquire);
  return fs != nullptr ? fs : PosixFileSystem();
}

void SetFileSystem(FileSystem* fs) { g_installed.store(fs, std::memory_order_release); }

}  // namespace tarvok::platform
