// Passwords on the command line and on standard input, set-password, pack.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/cli/edb_test_util.h"

namespace tarvok::test {
namespace {

using ::testing::HasSubstr;
using store::FieldType;
using store::RecordStore;

constexpr const char* kWrongPassword = "error -78: 未提供数据库访问密码或提供了错误的密码";

class PasswordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Path("t.edb");
    MakeTable(dir_.GbkPath("t.edb"), {{"n", FieldType::kInt32, 0, 0}, {"日志"_gbk, FieldType::kMemo, 0, 0}});
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(dir_.GbkPath("t.edb")));
    for (int i = 1; i <= 3; ++i) ASSERT_TRUE(s.AddRecord({int32_t{i}, std::string(600 * i, char('a' + i))}));
  }
  RunResult Run(std::vector<std::string> args, const std::string& input = "") {
    args.push_back(path_);
    return RunEdb(dir_, args, input);
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(PasswordTest, SetChangeAndRemoveKeepTheRecords) {
  const RunResult plain = Run({"dump"});
  ASSERT_EQ(plain.status, 0) << plain.err;

  // Set: old password is the empty first line, new one the second.
  ASSERT_EQ(Run({"set-password", "--password-stdin"}, "\n旧密码\n").status, 0);
  EXPECT_EQ(ReadFileBytes(path_).substr(0, 4), "WCDB");
  EXPECT_EQ(Run({"dump", "--password", "旧密码"}).out, plain.out);
  // Change: --new-password wins over a second line.
  ASSERT_EQ(Run({"set-password", "--password-stdin", "--new-password", "新"}, "旧密码\r\nunused\n").status, 0);
  EXPECT_EQ(Run({"dump", "--password", "新"}).out, plain.out);
  EXPECT_EQ(Run({"check", "--password", "新"}).status, 0);
  // Remove.
  ASSERT_EQ(Run({"set-password", "--password", "新", "--new-password", ""}).status, 0);
  EXPECT_EQ(ReadFileBytes(path_).substr(0, 4), "WEDB");
  EXPECT_EQ(Run({"dump"}).out, plain.out);
}

TEST_F(PasswordTest, PasswordSourcesAndFailures) {
  ASSERT_EQ(Run({"set-password", "--new-password", "秘密"}).status, 0);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    int status;
    const char* err;
  };
  const Case cases[] = {
      {"right password", {"info", "--password", "秘密"}, "", 0, ""},
      {"right password on stdin", {"info", "--password-stdin"}, "秘密\n", 0, ""},
      {"stdin line with CR and no newline", {"info", "--password-stdin"}, "秘密\r", 0, ""},
      {"wrong password", {"info", "--password", "秘"}, "", 2, kWrongPassword},
      {"no password", {"dump"}, "", 2, kWrongPassword},
      {"wrong password on stdin", {"check", "--password-stdin"}, "秘密 \n", 2, kWrongPassword},
      {"wrong old password for pack", {"pack", "--password", "x"}, "", 2, kWrongPassword},
      {"wrong old password for set-password", {"set-password", "--password", "x", "--new-password", "y"}, "", 2,
       kWrongPassword},
      {"empty stdin", {"info", "--password-stdin"}, "", 2, "standard input ended before the password"},
      {"stdin without the new password", {"set-password", "--password-stdin"}, "秘密\n", 2,
       "standard input ended before the new password"},
      {"password not UTF-8", {"info", "--password", "\xff"}, "", 2, "the password is not UTF-8 text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunResult r = Run(c.args, c.input);
    EXPECT_EQ(r.status, c.status);
    EXPECT_THAT(r.err, HasSubstr(c.err));
    if (c.status == 0) {
      EXPECT_THAT(r.out, HasSubstr("\"protected\": true"));
    }
  }
  // A plain table refuses any password.
  ASSERT_EQ(Run({"set-password", "--password", "秘密", "--new-password", ""}).status, 0);
  RunResult r = Run({"info", "--password", "秘密"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("t.edb: " + std::string(kWrongPassword)));
}

TEST_F(PasswordTest, PackDropsDeletedRecordsAndFreesTheirBlocks) {
  {
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(dir_.GbkPath("t.edb")));
    ASSERT_TRUE(s.GoToRecord(2));
    ASSERT_TRUE(s.DeleteRecord());
  }
  ASSERT_EQ(Run({"set-password", "--new-password", "p"}).status, 0);
  RunResult r = Run({"pack", "--password", "p"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "kept 2 of 3 record slots\n");
  r = Run({"dump", "--password", "p"});
  ASSERT_EQ(Lines(r.out).size(), 2u);
  EXPECT_THAT(Lines(r.out)[0], HasSubstr("{\"slot\":0,\"id\":1,\"deleted\":false,\"fields\":{\"n\":1,"));
  EXPECT_THAT(Lines(r.out)[1], HasSubstr("{\"slot\":1,\"id\":3,\"deleted\":false,\"fields\":{\"n\":3,"));
  // The deleted record's three blocks went to the free list, nothing was lost.
  r = Run({"info", "--password", "p"});
  EXPECT_THAT(r.out, HasSubstr("\"next_record_id\": 4"));
  EXPECT_THAT(r.out, HasSubstr("\"free_count\": 3"));
  EXPECT_EQ(Run({"check", "--password", "p"}).status, 0);
}

}  // namespace
}  // namespace tarvok::test
