#include "contacts/contact_groups.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gbk.h"
#include "tables/tables.h"
#include "tests/support/temp_dir.h"

namespace tarvok::contacts {
namespace {

class ContactGroupsTest : public testing::Test {
 protected:
  void SetUp() override {
    tables::EnsureDataFiles(dir_.GbkPath(""));
    ASSERT_TRUE(store_.OpenTable(dir_.GbkPath("data/lxr35.edb")));
    // Record numbers 1..12.
    for (const char* name : {"陈一", "Tom", "曹二", "安三", "阿四", "沈五", "单六", "曾七", "孙八", "x", "", "陈九"}) {
      ASSERT_TRUE(store_.AddRecord(tables::RecordValues(tables::Contact{Utf8ToGbk(name), "1", ""})));
    }
  }

  const ContactGroup& Group(const char* caption) {
    for (const ContactGroup& g : ContactGroups()) {
      if (std::string(g.caption) == caption) return g;
    }
    ADD_FAILURE() << caption;
    return ContactGroups().front();
  }

  // The names in the built group file, in row order.
  std::vector<std::string> Names(const BuiltGroup& built) {
    std::vector<std::string> names;
    EXPECT_TRUE(store_.SelectTable(built.path));
    for (store_.GoFirst(); store_.CurrentRecordNumber() <= store_.RecordCount(); store_.Skip()) {
      names.push_back(GbkToUtf8(tables::ReadContact(store_).name));
    }
    return names;
  }

  test::TempDir dir_;
  store::RecordStore store_;
};

TEST_F(ContactGroupsTest, PassesInInitialOrderWithTheSourceOfEveryRow) {
  BuiltGroup built;
  ASSERT_EQ(BuildContactGroup(store_, Group("A-D"), dir_.GbkPath(""), &built), GroupResult::kBuilt);
  // a, then c (曹 曾), then ch (陈 in record order), then d (单); 安 is "an".
  EXPECT_EQ(Names(built), (std::vector<std::string>{"阿四", "曹二", "曾七", "陈一", "陈九", "单六"}));
  EXPECT_EQ(built.sources, (std::vector<int64_t>{5, 3, 8, 1, 12, 7}));
  EXPECT_EQ(store_.CurrentTableName(), "ad");

  ASSERT_EQ(BuildContactGroup(store_, Group("Q-T"), dir_.GbkPath(""), &built), GroupResult::kBuilt);
  EXPECT_EQ(Names(built), (std::vector<std::string>{"孙八", "沈五"}));
  EXPECT_EQ(built.sources, (std::vector<int64_t>{9, 6}));
  // Latin, one-byte and empty names are in no group.
  size_t grouped = 0;
  for (const ContactGroup& g : ContactGroups()) {
    ASSERT_EQ(BuildContactGroup(store_, g, dir_.GbkPath(""), &built), GroupResult::kBuilt) << g.caption;
    grouped += built.sources.size();
  }
  EXPECT_EQ(grouped, 8u);
}

TEST_F(ContactGroupsTest, ARebuildReplacesTheOpenFileAndLeavesDeletedContactsOut) {
  BuiltGroup first, second;
  ASSERT_EQ(BuildContactGroup(store_, Group("A-D"), dir_.GbkPath(""), &first), GroupResult::kBuilt);
  ASSERT_TRUE(store_.SelectTable("lxr35"));
  ASSERT_TRUE(store_.GoToRecord(3));
  ASSERT_TRUE(store_.DeleteRecord());  // 曹二, marked only
  ASSERT_EQ(BuildContactGroup(store_, Group("A-D"), dir_.GbkPath(""), &second), GroupResult::kBuilt);
  EXPECT_EQ(second.path, first.path);
  EXPECT_EQ(Names(second), (std::vector<std::string>{"阿四", "曾七", "陈一", "陈九", "单六"}));
  EXPECT_EQ(store_.RecordCount(), 5) << "the old copy is gone, not appended to";
}

TEST_F(ContactGroupsTest, AFolderThatCannotHoldTheFileGivesCopyFailed) {
  BuiltGroup built;
  EXPECT_EQ(BuildContactGroup(store_, Group("A-D"), dir_.GbkPath("missing"), &built), GroupResult::kCopyFailed);
}

}  // namespace
}  // namespace tarvok::contacts
