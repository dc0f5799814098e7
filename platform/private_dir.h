// Folders private to the user: no one else may enter them, watch what is in
// them or put something there before we do. The single-instance marker lives
// in one; so do the temporary tables of the contact groups.
//
// The private folder is the first that fits of
//   1. $XDG_RUNTIME_DIR,
//   2. /run/user/<uid> (what that variable names in a desktop session, so a
//      start from a shell without the variable still finds the same folder),
//   3. /tmp/tarvokline-<uid>, created with mode 0700 when missing.
// A folder fits when it is an absolute path to a folder owned by the user
// that no one else may enter (mode & 077 == 0); the third is brought to 0700
// when it is ours but wider, and refused when it is someone else's or a
// symbolic link.
#pragma once

#include <optional>
#include <string>

namespace tarvok::platform {

// Where to look, as file names of the system. Empty runtime_dir = unset.
struct PrivatePlaces {
  std::string runtime_dir;
  std::string user_runtime_root = "/run/user";
  std::string tmp_root = "/tmp";
};

// The places of this process: $XDG_RUNTIME_DIR and the real roots.
PrivatePlaces DefaultPrivatePlaces();

// Opens the private folder: a descriptor of it (O_DIRECTORY, close-on-exec)
// with its system name in *path, or -1 with errno set (EPERM for a folder
// that is not private).
int OpenPrivateFolder(const PrivatePlaces& places, std::string* path);

// The folder `name` inside the private folder, created 0700 when missing
// and checked like the private folder itself (ours, mode 0700, no link), as
// a GBK path without a trailing slash; nullopt when there is none.
std::optional<std::string> PrivateSubfolder(const PrivatePlaces& places, const std::string& name);

}  // namespace tarvok::platform
