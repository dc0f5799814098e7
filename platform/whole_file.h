// Whole-file helpers over the file layer (CurrentFileSystem), for the small
// files the organiser writes in one piece: table images, title pictures.
// Paths are GBK, as everywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvok::platform {

// The whole content of the file, or nullopt when it cannot be opened or read
// (or holds more than `max_bytes`).
std::optional<std::string> ReadWholeFile(const std::string& path,
                                         uint64_t max_bytes = 64u << 20);

// Writes `bytes` as the file's whole content: first into path + temp_suffix,
// synced, then renamed over `path`, so a crash or a full disk never leaves a
// partial file under the real name. A failure removes the temporary file. A
// folder that cannot be synced after the rename is not a failure: a crash
// then leaves the old file, which is still a whole one. Returns 0 or the
// errno of the failing step.
//
// The file comes out readable and writable by the user alone (0600 less
// the umask), whatever mode the file it replaces had: a rewrite never opens
// the content to anyone else.
int WriteWholeFile(const std::string& path, std::string_view bytes,
                   std::string_view temp_suffix = ".new");

enum class FolderResult { kCreated, kExists, kFailed };

// Creates the folder (mode 0700 less the umask). kExists when something of
// that name is already there, kFailed for every other failure (no parent, no
// permission, a path with no file name of the system).
FolderResult MakeFolder(const std::string& path);

}  // namespace tarvok::platform
