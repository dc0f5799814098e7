#include "platform/whole_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "platform/file.h"
#include "platform/gbk.h"

namespace tarvok::platform {

std::optional<std::string> ReadWholeFile(const std::string& path, uint64_t max_bytes) {
  FileSystem* fs = CurrentFileSystem();
  std::unique_ptr<File> f;
  if (fs->Open(path, Access::kReadOnly, Sharing::kShared, Disposition::kOpenExisting, &f) != 0) {
    return std::nullopt;
  }
  uint64_t size = 0;
  if (f->Size(&size) != 0 || size > max_bytes) return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  size_t got = 0;
  if (size > 0 && (f->Read(0, bytes.data(), bytes.size(), &got) != 0 || got != bytes.size())) {
    return std::nullopt;
  }
  return bytes;
}

int WriteWholeFile(const std::string& path, std::string_view bytes, std::string_view temp_suffix) {
  FileSystem* fs = CurrentFileSystem();
  const std::string temp = path + std::string(temp_suffix);
  std::unique_ptr<File> f;
  if (int err = fs->Open(temp, Access::kReadWrite, Sharing::kExclusive,
                         Disposition::kCreateAlways, &f);
      err != 0) {
    return err;
  }
  int err = f->Write(0, bytes.data(), bytes.size());
  if (err == 0) err = f->Sync();
  f.reset();
  if (err == 0) err = fs->Rename(temp, path);
  if (err != 0) {
    fs->Remove(temp);
    return err;
  }
  fs->SyncDirectory(path);
  return 0;
}

FolderResult MakeFolder(const std::string& path) {
  // The file layer has no call for folders: mkdir on the system name, which
  // must convert back to the same GBK text (otherwise it names another file).
  const std::string native = GbkToUtf8(path);
  if (path.empty() || Utf8ToGb18030(native) != path || native.find('\0') != std::string::npos) {
    return FolderResult::kFailed;
  }
  if (mkdir(native.c_str(), 0700) == 0) return FolderResult::kCreated;
  return errno == EEXIST ? FolderResult::kExists : FolderResult::kFailed;
}

}  // namespace tarvok::platform
