// The single-instance marker: a per-user mark that exists exactly while an
// instance of the organiser runs, so that a second start can tell and stay
// away from table files the first one has open.
//
// The mark is an exclusive lock on the file "tarvoklinev35.lock" in the
// user's private folder (platform/private_dir.h): $XDG_RUNTIME_DIR,
// /run/user/<uid> or /tmp/tarvokline-<uid>, whichever fits first. A folder
// someone else could enter is refused, since they could watch or block our
// marker there.
//
// The lock is an open-file-description lock (flock where those are missing):
// it belongs to the guard's own open file, is released by the kernel when the
// process ends in any way, SIGKILL and crashes included, and is not inherited
// by programs the organiser starts. The file itself stays behind and means
// nothing without the lock; it is never written or removed (removing it
// would let a third start lock a fresh file beside a running instance).
#pragma once

#include <string>

#include "platform/private_dir.h"

namespace tarvok::platform {

class InstanceGuard {
 public:
  enum class Status {
    kHeld,           // this guard holds the mark until it is destroyed
    kOtherInstance,  // another guard, in this or another process, holds it
    kError,          // no private folder or marker file; see error()
  };

  // Where the private folder is looked for (platform/private_dir.h).
  using Places = PrivatePlaces;

  // Places from the environment ($XDG_RUNTIME_DIR) and the real roots.
  InstanceGuard();
  explicit InstanceGuard(Places places);
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // Tries to take the mark, never waiting. kHeld again once held.
  //
  // When another instance holds the mark nothing is created or written: the
  // folder and the file exist already, and opening the file changes neither.
  // kError leaves the errno in error(): EPERM for a folder that is not
  // private, otherwise the one of the failing call.
  Status TryAcquire();

  int error() const { return error_; }
  // The marker file used by the last TryAcquire; empty before.
  const std::string& marker_path() const { return marker_path_; }

 private:
  Places places_;
  int fd_ = -1;
  int error_ = 0;
  std::string marker_path_;
};

}  // namespace tarvok::platform
