#include "platform/instance_guard.h"

#include "platform/private_dir.h"

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

InstanceGuard::InstanceGuard() : places_(DefaultPrivatePlaces()) {}

InstanceGuard::InstanceGuard(Places places) : places_(std::move(places)) {}

InstanceGuard::~InstanceGuard() {
  if (fd_ >= 0) close(fd_);
}

InstanceGuard::Status InstanceGuard::TryAcquire() {
  if (fd_ >= 0) return Status::kHeld;
  error_ = 0;
  std::string folder;
  const int dir = OpenPrivateFolder(places_, &folder);
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
