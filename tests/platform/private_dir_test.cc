#include "platform/private_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/gbk.h"
#include "tests/support/temp_dir.h"

namespace tarvok::platform {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class PrivateDirTest : public testing::Test {
 protected:
  PrivateDirTest() {
    runtime_ = dir_.Path("run");
    mkdir(runtime_.c_str(), 0700);
    places_ = {runtime_, dir_.Path("no-user-runtime"), dir_.Path("tmp")};
    mkdir(places_.tmp_root.c_str(), 01777);
  }
  test::TempDir dir_;
  std::string runtime_;
  PrivatePlaces places_;
};

TEST_F(PrivateDirTest, TheSubfolderIsMadePrivateAndFoundAgain) {
  const auto first = PrivateSubfolder(places_, "groups");
  ASSERT_TRUE(first);
  EXPECT_EQ(*first, Utf8ToGb18030(runtime_ + "/groups"));
  EXPECT_EQ(ModeOf(runtime_ + "/groups"), 0700u);
  // A mode widened since is put right; the folder is the same.
  chmod((runtime_ + "/groups").c_str(), 0755);
  EXPECT_EQ(PrivateSubfolder(places_, "groups"), first);
  EXPECT_EQ(ModeOf(runtime_ + "/groups"), 0700u);
}

TEST_F(PrivateDirTest, ALinkInThePlaceOfTheSubfolderIsRefused) {
  const std::string elsewhere = dir_.Path("elsewhere");
  mkdir(elsewhere.c_str(), 0700);
  ASSERT_EQ(symlink(elsewhere.c_str(), (runtime_ + "/groups").c_str()), 0);
  EXPECT_FALSE(PrivateSubfolder(places_, "groups"));
}

TEST_F(PrivateDirTest, AnOpenRuntimeFolderGivesWayToOurOwnInTmp) {
  chmod(runtime_.c_str(), 0755);
  const auto folder = PrivateSubfolder(places_, "groups");
  ASSERT_TRUE(folder);
  const std::string own = places_.tmp_root + "/tarvokline-" + std::to_string(getuid());
  EXPECT_EQ(*folder, Utf8ToGb18030(own + "/groups"));
  EXPECT_EQ(ModeOf(own), 0700u);
}

}  // namespace
}  // namespace tarvok::platform
