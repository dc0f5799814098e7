// dump: one JSON line per record slot.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "tests/cli/edb_test_util.h"

namespace tarvok::test {
namespace {

using store::ByteString;
using store::CodeRef;
using store::FieldType;
using store::RecordStore;

TEST(Dump, EveryTypeDeletedRecordsAndEscapes) {
  TempDir dir;
  const std::string path = dir.GbkPath("t.edb");
  MakeTable(path, {{"字节"_gbk, FieldType::kByte, 0, 0},
                   {"i16", FieldType::kInt16, 0, 0},
                   {"i32", FieldType::kInt32, 0, 0},
                   {"i64", FieldType::kInt64, 0, 0},
                   {"f32", FieldType::kFloat32, 0, 0},
                   {"f64", FieldType::kFloat64, 0, 0},
                   {"l", FieldType::kLogical, 0, 0},
                   {"日期"_gbk, FieldType::kDateTime, 0, 0},
                   {"c", FieldType::kCodeRef, 0, 0},
                   {"标题"_gbk, FieldType::kText, 0, 12},
                   {"b", FieldType::kBytes, 0, 0},
                   {"日志"_gbk, FieldType::kMemo, 0, 0}});
  std::string memo;
  for (int i = 0; i < 300; ++i) memo += "一"_gbk;  // 600 bytes: two blocks
  {
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path)) << store::LastError();
    ASSERT_TRUE(s.AddRecord({uint8_t{200}, int16_t{-3}, int32_t{-70000}, int64_t{9007199254740993},
                             0.1f, 2.5, true, DateTime(41365.75), CodeRef{0xDEADBEEF},
                             "日志\"\\\n\x01"_gbk, ByteString{std::string("\x00\xff\x10", 3)}, memo}));
    ASSERT_TRUE(s.AddBlankRecord());
    ASSERT_TRUE(s.AddRecord({uint8_t{1}, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                             -std::numeric_limits<double>::infinity(), false, DateTime(3e6),
                             std::nullopt, "删"_gbk, std::nullopt, "去"_gbk}));
    ASSERT_TRUE(s.DeleteRecord());
    ASSERT_TRUE(s.AddRecord({std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                             std::numeric_limits<float>::quiet_NaN()}));
  }
  std::string memo_utf8;
  for (int i = 0; i < 300; ++i) memo_utf8 += "一";
  const std::vector<std::string> expected = {
      R"({"slot":0,"id":1,"deleted":false,"fields":{"字节":200,"i16":-3,"i32":-70000,)"
      R"("i64":9007199254740993,"f32":0.1,"f64":2.5,"l":true,"日期":41365.75,"c":3735928559,)"
      R"("标题":"日志\"\\\n\u0001","b":"00ff10","日志":")" + memo_utf8 + R"("}})",
      R"({"slot":1,"id":2,"deleted":false,"fields":{"字节":0,"i16":0,"i32":0,"i64":0,"f32":0,)"
      R"("f64":0,"l":false,"日期":0,"c":0,"标题":"","b":"","日志":""}})",
      // A DateTime beyond 9999-12-31 reads as that day.
      R"({"slot":2,"id":3,"deleted":true,"fields":{"字节":1,"i16":0,"i32":0,"i64":0,"f32":0,)"
      R"("f64":"-Infinity","l":false,"日期":2958465,"c":0,"标题":"删","b":"","日志":"去"}})",
      R"({"slot":3,"id":4,"deleted":false,"fields":{"字节":0,"i16":0,"i32":0,"i64":0,"f32":"NaN",)"
      R"("f64":0,"l":false,"日期":0,"c":0,"标题":"","b":"","日志":""}})",
  };
  RunResult r = RunEdb(dir, {"dump", dir.Path("t.edb")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out), expected);
}

TEST(Dump, UnreadableValueIsNullWithTheStoreErrorAndExitTwo) {
  TempDir dir;
  const std::string path = dir.GbkPath("t.edb");
  MakeTable(path, {{"n", FieldType::kInt32, 0, 0}, {"日志"_gbk, FieldType::kMemo, 0, 0}});
  {
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path));
    ASSERT_TRUE(s.AddRecord({int32_t{7}, std::string("ok")}));
    ASSERT_TRUE(s.AddRecord({int32_t{8}, std::string("lost")}));
  }
  // The second record's chain now starts past the last block.
  std::string t = ReadFileBytes(dir.Path("t.edb"));
  const size_t data_start = 0x74 + 2 * 72, record = 12;
  PutI32At(&t, data_start + record + 8, 9);
  WriteFileBytes(dir.Path("t.edb"), t);

  RunResult r = RunEdb(dir, {"dump", dir.Path("t.edb")});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                              R"({"slot":0,"id":1,"deleted":false,"fields":{"n":7,"日志":"ok"}})",
                              R"({"slot":1,"id":2,"deleted":false,"fields":{"n":8,"日志":null}})"}));
  EXPECT_THAT(r.err, ::testing::HasSubstr("slot 1 field 日志: error -59: 访问数据库的辅助文件失败"));
}

}  // namespace
}  // namespace tarvok::test
