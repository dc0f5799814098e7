#include "platform/program_dir.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/gbk.h"

namespace tarvok::platform {
namespace {

// "/a/b/exe" -> "/a/b"; "/exe" -> "/"; no slash -> "".
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p with mode 0700 for every folder it makes.
bool MakeFolders(const std::string& path) {
  if (IsFolder(path)) return true;
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return IsFolder(path);
}

// The GBK text of a file name, when it has one that names the same file.
std::optional<std::string> GbkName(const std::string& utf8) {
  std::string gbk = Utf8ToGb18030(utf8);
  if (GbkToUtf8(gbk) != utf8) return std::nullopt;
  return gbk;
}

bool IsInstalledCopy(const std::string& exe_folder) {
  struct stat st {};
  return stat((exe_folder + "/" + kInstalledMarker).c_str(), &st) == 0;
}

std::string HomeFromUserDatabase() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr) {
    return {};
  }
  return found->pw_dir;
}

}  // namespace

std::optional<std::string> DecideProgramDir(const ProgramDirInputs& inputs) {
  const std::string exe_folder = FolderOf(inputs.executable);
  if (!exe_folder.empty() && exe_folder[0] == '/' && IsFolder(exe_folder) &&
      access(exe_folder.c_str(), W_OK | X_OK) == 0 && !IsInstalledCopy(exe_folder)) {
    if (auto gbk = GbkName(exe_folder)) return gbk;
  }

  std::string base;
  if (!inputs.xdg_data_home.empty() && inputs.xdg_data_home[0] == '/') {
    base = inputs.xdg_data_home;
  } else if (!inputs.home.empty() && inputs.home[0] == '/') {
    base = inputs.home + "/.local/share";
  } else {
    return std::nullopt;
  }
  base = WithoutTrailingSlashes(base);
  if (base == "/") base.clear();
  const std::string folder = base + "/tarvokline";
  auto gbk = GbkName(folder);
  if (!gbk || !MakeFolders(folder)) return std::nullopt;
  return gbk;
}

std::optional<std::string> ProgramDir() {
  static const std::optional<std::string> dir = [] {
    ProgramDirInputs in;
    std::vector<char> buf(4096);
    for (;;) {
      const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
      if (n < 0) break;
      if (static_cast<size_t>(n) < buf.size()) {
        in.executable.assign(buf.data(), static_cast<size_t>(n));
        break;
      }
      buf.resize(buf.size() * 2);
    }
    if (const char* v = std::getenv("XDG_DATA_HOME")) in.xdg_data_home = v;
    const char* home = std::getenv("HOME");
    in.home = home != nullptr && *home != '\0' ? std::string(home) : HomeFromUserDatabase();
    return DecideProgramDir(in);
  }();
  return dir;
}

}  // namespace tarvok::platform
