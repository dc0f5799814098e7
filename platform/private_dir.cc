#include "platform/private_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/gbk.h"

namespace tarvok::platform {
namespace {

// A descriptor of a private folder, or -1 with errno set. `in_shared_tmp`
// marks our own folder in the world-writable /tmp: anyone could have put a
// link there, so none is followed, and a mode we widened is put right.
int OpenFolder(const std::string& path, bool in_shared_tmp) {
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

}  // namespace

PrivatePlaces DefaultPrivatePlaces() {
  PrivatePlaces places;
  if (const char* v = std::getenv("XDG_RUNTIME_DIR")) places.runtime_dir = v;
  return places;
}

int OpenPrivateFolder(const PrivatePlaces& places, std::string* path) {
  const std::string uid = std::to_string(getuid());
  for (const std::string& p : {places.runtime_dir, places.user_runtime_root + "/" + uid}) {
    if (p.empty()) continue;
    const int fd = OpenFolder(p, false);
    if (fd >= 0) {
      *path = p;
      return fd;
    }
  }
  const std::string p = places.tmp_root + "/tarvokline-" + uid;
  if (mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) return -1;
  const int fd = OpenFolder(p, true);
  if (fd >= 0) *path = p;
  return fd;
}

std::optional<std::string> PrivateSubfolder(const PrivatePlaces& places, const std::string& name) {
  std::string parent;
  const int dir = OpenPrivateFolder(places, &parent);
  if (dir < 0) return std::nullopt;
  // Made and checked through the parent's descriptor: nothing can be swapped
  // in between, and a link in its place is refused.
  const bool made = mkdirat(dir, name.c_str(), 0700) == 0 || errno == EEXIST;
  const int fd = made ? openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
  close(dir);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  const bool ok = fstat(fd, &st) == 0 && st.st_uid == getuid() &&
                  ((st.st_mode & 077) == 0 || fchmod(fd, 0700) == 0);
  close(fd);
  if (!ok) return std::nullopt;
  const std::string path = parent + "/" + name;
  const std::string gbk = Utf8ToGb18030(path);
  // A folder whose name has no GBK form would be another folder for the
  // file layer.
  if (GbkToUtf8(gbk) != path) return std::nullopt;
  return gbk;
}

}  // namespace tarvok::platform
