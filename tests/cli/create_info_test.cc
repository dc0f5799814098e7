// create, info, help and the usage errors of tarvokline-edb.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "datetime/date_time.h"
#include "tests/cli/edb_test_util.h"

namespace tarvok::test {
namespace {

using ::testing::HasSubstr;

// The value of "created" in info's output, and the output with it replaced
// by "N".
double TakeCreated(std::string* json) {
  const std::string key = "\"created\": ";
  const size_t at = json->find(key);
  if (at == std::string::npos) return -1;
  char* end = nullptr;
  const double v = std::strtod(json->c_str() + at + key.size(), &end);
  json->replace(at + key.size(), size_t(end - json->c_str()) - at - key.size(), "N");
  return v;
}

TEST(CreateInfo, DiaryTableOfTheReadme) {
  TempDir dir;
  const std::string path = dir.Path("日记表.edb");
  const double before = Now().value;
  RunResult c = RunEdb(dir, {"create", path, "日期:DateTime", "日志:Memo"});
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.out, "");
  EXPECT_EQ(ReadFileBytes(path).size(), 260u);
  EXPECT_EQ(ReadFileBytes(dir.Path("日记表.edt")).size(), 512u);

  RunResult info = RunEdb(dir, {"info", path});
  ASSERT_EQ(info.status, 0) << info.err;
  const double created = TakeCreated(&info.out);
  EXPECT_GE(created, before - 1.0 / 86400);
  EXPECT_LE(created, Now().value + 1.0 / 86400);
  EXPECT_EQ(info.out,
            "{\n"
            "  \"header\": {\"magic\": \"WEDB\", \"version\": 65536, \"created\": N, \"record_count\": 0, "
            "\"next_record_id\": 1, \"record_size\": 16, \"protected\": false},\n"
            "  \"fields\": [\n"
            "    {\"name\": \"日期\", \"type\": \"DateTime\", \"offset\": 4, \"width\": 8},\n"
            "    {\"name\": \"日志\", \"type\": \"Memo\", \"offset\": 12, \"width\": 4}\n"
            "  ],\n"
            "  \"records\": 0,\n"
            "  \"companion\": {\"block_count\": 1, \"free_count\": 0, \"first_free\": 0}\n"
            "}\n");
  // What create wrote is a table the store itself calls consistent.
  EXPECT_EQ(RunEdb(dir, {"check", path}).status, 0);
}

TEST(CreateInfo, EveryTypeInOrderWithoutCompanionWhenNoChain) {
  TempDir dir;
  const std::string path = dir.Path("all");
  // Eight Chinese characters are the longest name: 16 bytes in GBK.
  ASSERT_EQ(RunEdb(dir, {"create", path, "一二三四五六七八:byte", "i16:Int16", "i32:INT32", "i64:Int64",
                         "f32:Float32", "f64:Float64", "l:Logical", "d:DateTime", "c:CodeRef", "t:Text:30"})
                .status,
            0);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("all.EDT")));
  RunResult info = RunEdb(dir, {"info", dir.Path("all.EDB")});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_THAT(info.out, HasSubstr("\"record_size\": 74,"));
  EXPECT_THAT(info.out, HasSubstr(
      "    {\"name\": \"一二三四五六七八\", \"type\": \"Byte\", \"offset\": 4, \"width\": 1},\n"
      "    {\"name\": \"i16\", \"type\": \"Int16\", \"offset\": 5, \"width\": 2},\n"
      "    {\"name\": \"i32\", \"type\": \"Int32\", \"offset\": 7, \"width\": 4},\n"
      "    {\"name\": \"i64\", \"type\": \"Int64\", \"offset\": 11, \"width\": 8},\n"
      "    {\"name\": \"f32\", \"type\": \"Float32\", \"offset\": 19, \"width\": 4},\n"
      "    {\"name\": \"f64\", \"type\": \"Float64\", \"offset\": 23, \"width\": 8},\n"
      "    {\"name\": \"l\", \"type\": \"Logical\", \"offset\": 31, \"width\": 1},\n"
      "    {\"name\": \"d\", \"type\": \"DateTime\", \"offset\": 32, \"width\": 8},\n"
      "    {\"name\": \"c\", \"type\": \"CodeRef\", \"offset\": 40, \"width\": 4},\n"
      "    {\"name\": \"t\", \"type\": \"Text\", \"offset\": 44, \"width\": 30}\n"
      "  ],\n"
      "  \"records\": 0\n}\n"));
}

TEST(CreateInfo, PasswordMakesBothFilesEnciphered) {
  TempDir dir;
  const std::string path = dir.Path("p.edb");
  ASSERT_EQ(RunEdb(dir, {"create", "--password", "秘密", path, "名:Text:8", "图:Bytes"}).status, 0);
  for (const char* name : {"p.edb", "p.edt"}) {
    const std::string bytes = ReadFileBytes(dir.Path(name));
    EXPECT_NE(I32At(bytes, 4), 0x10000) << name << ": the version should be enciphered";
  }
  EXPECT_EQ(ReadFileBytes(path).substr(0, 4), "WCDB");
  RunResult info = RunEdb(dir, {"info", "--password=秘密", path});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_THAT(info.out, HasSubstr("\"magic\": \"WCDB\""));
  EXPECT_THAT(info.out, HasSubstr("\"protected\": true"));
  EXPECT_THAT(info.out, HasSubstr("{\"name\": \"图\", \"type\": \"Bytes\", \"offset\": 12, \"width\": 4}"));
  EXPECT_THAT(info.out, HasSubstr("\"companion\": {\"block_count\": 1, \"free_count\": 0, \"first_free\": 0}"));
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;  // "T" stands for the table's path
  const char* message;
};

TEST(CreateInfo, UsageErrorsExitTwoWithAMessageAndLeaveNoFile) {
  const UsageCase cases[] = {
      {"no command", {}, "Usage: tarvokline-edb COMMAND"},
      {"unknown command", {"frob", "T"}, "unknown command frob"},
      {"no file", {"info"}, "info needs a FILE"},
      {"two files", {"dump", "T", "U"}, "dump takes one FILE; unexpected U"},
      {"unknown option", {"info", "--bogus", "T"}, "unknown option --bogus"},
      {"option without value", {"info", "T", "--password"}, "--password needs a value"},
      {"both password sources", {"info", "--password", "x", "--password-stdin", "T"}, "exclude each other"},
      {"new password elsewhere", {"check", "--new-password", "x", "T"}, "--new-password belongs to set-password"},
      {"no new password", {"set-password", "T"}, "set-password needs --new-password NEW or --password-stdin"},
      {"no field", {"create", "T"}, "create needs at least one field"},
      {"no type", {"create", "T", "a"}, "field \"a\": expected NAME:TYPE or NAME:Text:WIDTH"},
      {"empty name", {"create", "T", ":Int32"}, "field \":Int32\": the name is empty"},
      {"name of 17 bytes", {"create", "T", "一二三四五六七八x:Int32"}, "takes 17 bytes in GBK, at most 16"},
      {"name without GBK form", {"create", "T", "a😀:Int32"}, "field \"a😀\": the name has a character without a GBK form"},
      {"name repeated in other case", {"create", "T", "Name:Int32", "NAME:Memo"}, "field \"NAME\": the name repeats field \"Name\""},
      {"unknown type", {"create", "T", "a:Decimal"}, "field \"a\": unknown type \"Decimal\""},
      {"Text without width", {"create", "T", "a:Text"}, "field \"a\": Text needs its width: a:Text:WIDTH"},
      {"Text width 0", {"create", "T", "a:Text:0"}, "the width \"0\" is not a number from 1 to 2147483647"},
      {"Text width negative", {"create", "T", "a:Text:-1"}, "the width \"-1\" is not a number"},
      {"Text width not a number", {"create", "T", "a:Text:8x"}, "the width \"8x\" is not a number"},
      {"width on another type", {"create", "T", "a:Int32:4"}, "field \"a\": only Text takes a width"},
      {"record too large", {"create", "T", "a:Text:2147483000", "b:Text:1000"}, "the record would take 2147484004 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::vector<std::string> args;
    for (const auto& a : c.args) args.push_back(a == "T" ? dir.Path("t.edb") : a);
    RunResult r = RunEdb(dir, args);
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("t.edb")));
  }
}

TEST(CreateInfo, CreateRefusesToReplaceEitherFile) {
  TempDir dir;
  const std::string path = dir.Path("t.edb");
  WriteFileBytes(dir.Path("t.edt"), "old");
  RunResult r = RunEdb(dir, {"create", path, "m:Memo"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("t.edt: the file exists already"));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(ReadFileBytes(dir.Path("t.edt")), "old");

  ASSERT_EQ(RunEdb(dir, {"create", path, "n:Int32"}).status, 0);
  const std::string before = ReadFileBytes(path);
  r = RunEdb(dir, {"create", path, "x:Int64"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("t.edb: the file exists already"));
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(CreateInfo, HelpForTheToolAndEachCommand) {
  TempDir dir;
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--help"}, "Usage: tarvokline-edb COMMAND"},
      {{"help", "dump"}, "Usage: tarvokline-edb dump"},
      {{"info", "--help"}, "Usage: tarvokline-edb info"},
      {{"dump", "-h"}, "{\"slot\":K,\"id\":ID,\"deleted\":BOOL"},
      {{"check", "--help"}, "Usage: tarvokline-edb check"},
      {{"pack", "--help"}, "Usage: tarvokline-edb pack"},
      {{"set-password", "--help"}, "Usage: tarvokline-edb set-password"},
      {{"--help", "create"}, "Usage: tarvokline-edb create"},
  };
  for (const auto& [args, text] : cases) {
    SCOPED_TRACE(args.front());
    RunResult r = RunEdb(dir, args);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.out, HasSubstr(text));
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
}  // namespace tarvok::test
