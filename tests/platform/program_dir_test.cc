// The choice of the program directory, over folders made in a private test
// folder; no real home folder is looked at.
#include "platform/program_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/gbk.h"
#include "tests/support/temp_dir.h"

namespace tarvok::platform {
namespace {

using test::TempDir;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(ProgramDir, WritableFolderOfTheExecutable) {
  TempDir dir;
  const struct {
    const char* label;
    const char* folder;  // UTF-8, made inside the test folder
  } rows[] = {
      {"plain name", "bin"},
      {"chinese name", "塔沃克林"},
      {"nested", "a/b"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.label);
    std::filesystem::create_directories(dir.Path(r.folder));
    const std::string home = dir.Path("home");
    const auto got = DecideProgramDir({dir.Path(r.folder) + "/tarvokline", "", home});
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, Utf8ToGb18030(dir.path()) + "/" + Utf8ToGbk(r.folder));
    EXPECT_FALSE(IsFolder(home)) << "the fallback is not made when not needed";
  }
  // The name comes back as GBK bytes (塔沃克林), not as the UTF-8 of the disk.
  const auto got = DecideProgramDir({dir.Path("塔沃克林") + "/x", "", ""});
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->substr(got->size() - 8), "\xCB\xFE\xCE\xD6\xBF\xCB\xC1\xD6");
}

TEST(ProgramDir, FallbackToTheUsersDataFolder) {
  const struct {
    const char* label;
    const char* exe;    // relative to the test folder; "" = no executable known
    const char* xdg;    // "" = unset; "@" = the test folder's "xdg"
    const char* want;   // relative to the test folder
  } rows[] = {
      {"exe folder missing, XDG set", "gone/tarvokline", "@", "xdg/tarvokline"},
      {"no executable path, XDG set", "", "@", "xdg/tarvokline"},
      {"exe without a folder", "=tarvokline", "@", "xdg/tarvokline"},
      {"XDG unset", "gone/tarvokline", "", "home/.local/share/tarvokline"},
      {"XDG relative is ignored", "gone/tarvokline", "rel/data", "home/.local/share/tarvokline"},
      {"XDG with trailing slash", "gone/tarvokline", "@/", "xdg/tarvokline"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.label);
    TempDir dir;
    ProgramDirInputs in;
    const std::string exe = r.exe;
    in.executable = exe.empty() ? "" : exe[0] == '=' ? exe.substr(1) : dir.Path(exe);
    const std::string xdg = r.xdg;
    in.xdg_data_home = xdg.empty() ? "" : xdg[0] == '@' ? dir.Path("xdg") + xdg.substr(1) : xdg;
    in.home = dir.Path("home");
    const auto got = DecideProgramDir(in);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, Utf8ToGb18030(dir.Path(r.want)));
    EXPECT_TRUE(IsFolder(dir.Path(r.want)));
    EXPECT_EQ(ModeOf(dir.Path(r.want)), 0700u);
    // Missing parents are private too (~/.local, ~/.local/share).
    const std::string parent = dir.Path(r.want).substr(0, dir.Path(r.want).rfind('/'));
    EXPECT_EQ(ModeOf(parent), 0700u) << parent;
  }
}

TEST(ProgramDir, AnInstalledCopyKeepsItsDataInTheUsersFolderEvenWhereItMayWrite) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path("usr/bin"));
  std::filesystem::create_directories(dir.Path("usr/share/tarvokline"));
  const std::string exe = dir.Path("usr/bin") + "/tarvokline";
  ASSERT_TRUE(DecideProgramDir({exe, dir.Path("xdg"), ""}) == Utf8ToGb18030(dir.Path("usr/bin")))
      << "no marker: a copy like any other";
  test::WriteFileBytes(dir.Path("usr/share/tarvokline/installed"), "");
  const auto got = DecideProgramDir({exe, dir.Path("xdg"), ""});
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, Utf8ToGb18030(dir.Path("xdg/tarvokline")));
  EXPECT_EQ(ModeOf(dir.Path("xdg/tarvokline")), 0700u);
}

TEST(ProgramDir, ExistingFallbackKeepsItsMode) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path("xdg/tarvokline"));
  ASSERT_EQ(chmod(dir.Path("xdg/tarvokline").c_str(), 0755), 0);
  const auto got = DecideProgramDir({dir.Path("gone/x"), dir.Path("xdg"), ""});
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, Utf8ToGb18030(dir.Path("xdg/tarvokline")));
  EXPECT_EQ(ModeOf(dir.Path("xdg/tarvokline")), 0755u);
}

TEST(ProgramDir, NoPlaceForTheData) {
  TempDir dir;
  test::WriteFileBytes(dir.Path("file"), "x");
  const struct {
    const char* label;
    ProgramDirInputs in;
  } rows[] = {
      {"no home at all", {dir.Path("gone/x"), "", ""}},
      {"relative home", {dir.Path("gone/x"), "", "home"}},
      {"a file in the way", {dir.Path("gone/x"), dir.Path("file"), ""}},
      {"a file as the folder", {dir.Path("gone/x"), "", dir.Path("file")}},
      {"home not UTF-8", {dir.Path("gone/x"), "", dir.Path("h\xFF")}},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(DecideProgramDir(r.in), std::nullopt) << r.label;
  }
  EXPECT_FALSE(IsFolder(dir.Path("h\xFF")));
}

// A folder name that is not UTF-8 has no GBK text naming it; choosing it
// would put the data somewhere else.
TEST(ProgramDir, ExecutableFolderNotUtf8IsPassedOver) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.Path("bin\xFF").c_str(), 0700), 0);
  const auto got = DecideProgramDir({dir.Path("bin\xFF") + "/x", dir.Path("xdg"), ""});
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, Utf8ToGb18030(dir.Path("xdg/tarvokline")));
}

TEST(ProgramDir, ReadOnlyExecutableFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  TempDir dir;
  ASSERT_EQ(mkdir(dir.Path("bin").c_str(), 0500), 0);
  const auto got = DecideProgramDir({dir.Path("bin") + "/x", dir.Path("xdg"), ""});
  chmod(dir.Path("bin").c_str(), 0700);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, Utf8ToGb18030(dir.Path("xdg/tarvokline")));
}

// This test binary lives in a writable build folder, so the real decision
// takes that folder and never reaches the home folder.
TEST(ProgramDir, ThisProcessUsesTheFolderOfItsBinary) {
  if (access(TARVOK_BIN_DIR, W_OK | X_OK) != 0) GTEST_SKIP() << "build folder not writable";
  const auto got = ProgramDir();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, Utf8ToGb18030(std::filesystem::canonical(TARVOK_BIN_DIR).string()));
  EXPECT_EQ(ProgramDir(), got) << "decided once";
}

}  // namespace
}  // namespace tarvok::platform
