#include "platform/instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace tarvok::platform {
namespace {

constexpr char kMarkerName[] = "tarvoklinev35.lock";

// A folder descriptor for the marker, or -1 with errno set. `in_shared_tmp`
// marks our own folder in the world-writable /tmp: anyone could have put a
// link there, so none is followed, and a mode we widened is put right.
int OpenPrivateFolder(const std::string& path, bool in_shared_tmp) {
  if (path.empty() || path[0] != '/') {
    errno = ENOENT;
    return -1;
  }
  // Everything after the open works on the descriptor, so nothing can be
  // swapped in between.
  const int fd =
      open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (in_shared_tmp ? O_NOFOLLOW : 0));
  if (fd < 0) {
    // A link refused by O_NOFOLLOW shows as ELOOP or, with O_DIRECTORY, as
    // ENOTDIR; it is a folder someone else may control.
    struct stat link {};
    const int e = errno;
    errno = (e == ELOOP || e == ENOTDIR) && lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)
                ? EPERM
                : e;
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  bool ok = st.st_uid == getuid();
  if (ok && (st.st_mode & 077) != 0) ok = in_shared_tmp && fchmod(fd, 0700) == 0;
  if (!ok) {
    close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

// The folder of the marker, tried in the documented order.
int MarkerFolder(const InstanceGuard::Places& places, std::string* path) {
  const std::string uid = std::to_string(getuid());
  for (const std::string& p : {places.runtime_dir, places.user_runtime_root + "/" + uid}) {
    if (p.empty()) continue;
    const int fd = OpenPrivateFolder(p, false);
    if (fd >= 0) {
      *path = p;
      return fd;
    }
  }
  const std::string p = places.tmp_root + "/tarvokline-" + uid;
  if (mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) return -1;
  const int fd = OpenPrivateFolder(p, true);
  if (fd >= 0) *path = p;
  return fd;
}

// 0 when locked, EAGAIN when someone else holds it, else an errno.
int LockWhole(int fd) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return 0;
  if (errno == EAGAIN || errno == EACCES) return EAGAIN;
  if (errno != EINVAL) return errno;
  // No OFD locks here (an old kernel, some network file systems): flock has
  // the same owner, the open file.
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
  return errno == EWOULDBLOCK ? EAGAIN : errno;
}

}  // namespace

InstanceGuard::InstanceGuard() {
  if (const char* v = std::getenv("XDG_RUNTIME_DIR")) places_.runtime_dir = v;
}

InstanceGuard::InstanceGuard(Places places) : places_(std::move(places)) {}

InstanceGuard::~InstanceGuard() {
  if (fd_ >= 0) close(fd_);
}

InstanceGuard::Status InstanceGuard::TryAcquire() {
  if (fd_ >= 0) return Status::kHeld;
  error_ = 0;
  std::string folder;
  const int dir = MarkerFolder(places_, &folder);
  if (dir < 0) {
    error_ = errno;
    return Status::kError;
  }
  marker_path_ = folder + "/" + kMarkerName;
  const int fd = openat(dir, kMarkerName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  const int open_error = errno;
  close(dir);
  if (fd < 0) {
    error_ = open_error;
    return Status::kError;
  }
  const int err = LockWhole(fd);
  if (err != 0) {
    close(fd);
    if (err == EAGAIN) return Status::kOtherInstance;
    error_ = err;
    return Status::kError;
  }
  fd_ = fd;
  return Status::kHeld;
}

}  // namespace tarvok::platform
