// The modes of what the organiser puts on disk: folders it creates are the
// user's alone (0700), files 0600, through every way a file comes to be or
// is rewritten (the table images, a pack and a password change in place,
// the settings file, title pictures, a table copied for a contact group).
// Files and folders that already exist are never made wider. The umask is
// set in each test, so the result does not depend on the caller's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/gbk.h"
#include "platform/profile_file.h"
#include "platform/whole_file.h"
#include "store/record_store.h"
#include "tables/tables.h"
#include "tests/support/temp_dir.h"

namespace tarvok::tables {
namespace {

using test::TempDir;

const char* const kTableFiles[] = {"rz35.edb", "rz35.edt", "tx35.edb",
                                   "bw35.edb", "bw35.edt", "lxr35.edb"};

class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(umask(mask)) {}
  ~ScopedUmask() { umask(old_); }

 private:
  mode_t old_;
};

// Permission bits of a file or folder; 01 (no such mode) when it is missing.
mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return 01;
  return st.st_mode & 07777;
}

std::string Gbk(const std::string& utf8) { return Utf8ToGb18030(utf8); }

// What one run of the organiser does to its files, minus the windows: the
// data files made, a diary entry written, deleted and packed away, the
// tables protected and unprotected again, a setting written, a picture
// stored, a contact group's table copied into `group_dir`.
void UseEverything(const TempDir& dir, const std::string& group_dir) {
  EnsureDataFiles(Gbk(dir.path()));
  store::RecordStore s;
  for (const char* t : {"rz35", "tx35", "bw35", "lxr35"}) {
    ASSERT_TRUE(s.OpenTable(Gbk(dir.Path("data/") + t + ".edb"))) << t;
  }
  ASSERT_TRUE(s.SelectTable(kDiaryTable));
  ASSERT_TRUE(s.AddRecord({store::Value(DateTime(46000)), store::Value(std::string(700, 'd'))}));
  ASSERT_TRUE(s.AddRecord({store::Value(DateTime(46001)), store::Value(std::string("x"))}));
  s.GoFirst();
  ASSERT_TRUE(s.DeleteRecord());
  ASSERT_TRUE(s.Pack());
  for (const char* t : {"rz35", "tx35", "bw35", "lxr35"}) {
    ASSERT_TRUE(s.SelectTable(t));
    ASSERT_TRUE(s.SetPassword("pw")) << t;
    ASSERT_TRUE(s.SetPassword("")) << t;
  }
  ASSERT_TRUE(s.SelectTable(kContactTable));
  ASSERT_TRUE(s.CopyStructure(Gbk(group_dir + "/ad.edb")));
  s.CloseAllTables();

  const std::string ini = Gbk(dir.Path("config.ini"));
  ASSERT_EQ(platform::WriteProfileString(ini, "s", "k", "1"), 0);
  ASSERT_EQ(platform::WriteProfileString(ini, "s", "k", "2"), 0);  // a rewrite
  platform::MakeFolder(Gbk(dir.Path("pic")));
  ASSERT_EQ(platform::WriteWholeFile(Gbk(dir.Path("pic/jr.jpg")), "picture"), 0);
}

TEST(PrivateModes, WhatTheOrganiserCreatesIsTheUsersAlone) {
  // Under umask 0 the modes are the code's own; under 022 they are what a
  // usual session gets.
  for (const mode_t mask : {mode_t{0}, mode_t{022}}) {
    SCOPED_TRACE("umask " + std::to_string(mask));
    ScopedUmask scoped(mask);
    TempDir dir;
    TempDir groups;
    UseEverything(dir, groups.path());
    EXPECT_EQ(ModeOf(dir.Path("data")), 0700u);
    for (const char* f : kTableFiles) EXPECT_EQ(ModeOf(dir.Path("data/") + f), 0600u) << f;
    EXPECT_EQ(ModeOf(dir.Path("config.ini")), 0600u);
    EXPECT_EQ(ModeOf(dir.Path("pic")), 0700u);
    EXPECT_EQ(ModeOf(dir.Path("pic/jr.jpg")), 0600u);
    EXPECT_EQ(ModeOf(groups.Path("ad.edb")), 0600u);
  }
}

TEST(PrivateModes, ExistingFilesAreNeverWidened) {
  ScopedUmask scoped(022);
  TempDir dir;
  TempDir groups;
  // A data folder brought along with wider modes, and files the user made
  // narrower than ours.
  EnsureDataFiles(Gbk(dir.path()));
  ASSERT_EQ(chmod(dir.Path("data").c_str(), 0755), 0);
  const struct {
    const char* file;
    mode_t mode;
  } given[] = {{"data/rz35.edb", 0644}, {"data/rz35.edt", 0640}, {"data/bw35.edb", 0400 | 0200}};
  for (const auto& g : given) ASSERT_EQ(chmod(dir.Path(g.file).c_str(), g.mode), 0);
  ASSERT_EQ(remove(dir.Path("data/tx35.edb").c_str()), 0);
  test::WriteFileBytes(dir.Path("config.ini"), "[s]\r\nk=0\r\n");
  ASSERT_EQ(chmod(dir.Path("config.ini").c_str(), 0644), 0);

  UseEverything(dir, groups.path());

  // Kept as they were, through a pack and two password changes in place.
  EXPECT_EQ(ModeOf(dir.Path("data")), 0755u);
  for (const auto& g : given) EXPECT_EQ(ModeOf(dir.Path(g.file)), g.mode) << g.file;
  // Made anew: private.
  EXPECT_EQ(ModeOf(dir.Path("data/tx35.edb")), 0600u);
  // Replaced whole: the new file is private, never wider than the old one.
  EXPECT_EQ(ModeOf(dir.Path("config.ini")), 0600u);
}

}  // namespace
}  // namespace tarvok::tables
