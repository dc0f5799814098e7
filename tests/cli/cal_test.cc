// tarvokline-cal, run as the real binary: the month as the control shows it,
// one day's information line, JSON read back by Python's json module, and
// every refusal with its exit status.
#include <ctime>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace tarvok::test {
namespace {

using ::testing::HasSubstr;

using Result = RunResult;

Result Cal(const TempDir& io, const std::vector<std::string>& args) {
  return RunProgram(io, std::string(TARVOK_BIN_DIR) + "/tarvokline-cal", args);
}

// Parses `json` with Python and prints what `expression` gives for it,
// bound to d; each line of a list on its own line.
std::string FromJson(const TempDir& io, const std::string& json, const std::string& expression) {
  const std::string script =
      "import json, sys\n"
      "d = json.loads(sys.stdin.buffer.read().decode('utf-8'))\n"
      "v = " + expression + "\n"
      "v = '\\n'.join(v) if isinstance(v, list) else str(v)\n"
      "sys.stdout.buffer.write((v + '\\n').encode('utf-8'))\n";
  const Result r = RunProgram(io, "python3", {"-c", script}, json);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

constexpr const char* kMay2013 =
    "                      公历 2013 年  五月\n"
    "\n"
    " 星期一   星期二   星期三   星期四   星期五   星期六   星期日\n"
    "\n"
    "  (29)     (30)     5.1       2        3        4        5\n"
    " (二十)   (廿一)    廿二     廿三     廿四     廿五     廿六\n"
    "\n"
    "   6        7        8        9        10       11       12\n"
    "  廿七     廿八     廿九     三十     四月     初二     初三\n"
    "\n"
    "   13       14       15       16       17       18       19\n"
    "  初四     初五     初六     初七     初八     初九     初十\n"
    "\n"
    "   20       21       22       23       24       25       26\n"
    "  十一     十二     十三     十四     十五     十六     十七\n"
    "\n"
    "   27       28       29       30       31     (6.1)     (2)\n"
    "  十八     十九     二十     廿一     廿二    (廿三)   (廿四)\n"
    "\n"
    "  (3)      (4)      (5)      (6)      (7)      (8)      (9)\n"
    " (廿五)   (廿六)   (廿七)   (廿八)   (廿九)   (五月)   (初二)\n"
    "\n"
    "廿六立夏  十二小满\n";

TEST(Cal, MonthAsTheControlShowsIt) {
  TempDir io;
  const Result r = Cal(io, {"2013-05"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kMay2013);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Cal(io, {"2013-5"}).out, kMay2013);
}

TEST(Cal, February2015BeginsOnSunday) {
  TempDir io;
  const Result r = Cal(io, {"2015-02"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("\n  (26)     (27)     (28)     (29)     (30)     (31)     2.1\n"
                               " (初七)   (初八)   (初九)   (初十)   (十一)   (十二)    十三\n"));
  EXPECT_THAT(r.out, HasSubstr("\n  廿八     廿九     三十     正月     初二     初三     初四\n"));
  EXPECT_THAT(r.out, HasSubstr("\n十六立春  初一雨水\n"));
}

TEST(Cal, MonthAsJson) {
  TempDir io;
  const Result r = Cal(io, {"--json", "2014-10"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FromJson(io, r.out, "(d['year'], d['month'], len(d['cells']), d['info'])"),
            "(2014, 10, 42, '十五寒露  三十霜降')\n");
  const std::string cells = FromJson(
      io, r.out,
      "[' '.join(str(x) for x in (c['date'], c['year'], c['month'], c['day'], c['weekday'],"
      " c['in_month'], c['lunar'] and (c['lunar']['year'], c['lunar']['month'], c['lunar']['day'],"
      " c['lunar']['leap']), c['upper'], c['lower'], c['solar_term'])) for c in d['cells']]");
  const std::vector<std::string> want{
      "2014-09-29 2014 9 29 1 False (2014, 9, 6, False) 29 初六 0",
      "2014-10-01 2014 10 1 3 True (2014, 9, 8, False) 10.1 初八 0",
      "2014-10-08 2014 10 8 3 True (2014, 9, 15, False) 8 十五 19",
      "2014-10-23 2014 10 23 4 True (2014, 9, 30, False) 23 三十 20",
      "2014-10-24 2014 10 24 5 True (2014, 9, 1, True) 24 闰九月 0",
      "2014-11-09 2014 11 9 7 False (2014, 9, 17, True) 9 十七 0",
  };
  for (const std::string& line : want) EXPECT_THAT(cells, HasSubstr(line + "\n"));
}

TEST(Cal, JsonCellsWithoutLunarDate) {
  TempDir io;
  const Result r = Cal(io, {"1901-02", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FromJson(io, r.out,
                     "(sum(c['lunar'] is None for c in d['cells']), d['cells'][22]['lower'],"
                     " d['cells'][21]['lower'], d['info'].split('  ')[0])"),
            "(22, '正月', '', '立春')\n");
}

TEST(Cal, Day) {
  TempDir io;
  struct Row {
    std::vector<std::string> args;
    const char* want;
  };
  const Row rows[] = {
      {{"--day", "2013-05-12"}, "癸巳年(蛇)四月初三 2013-5-12\n"},
      {{"--day=2014-10-24"}, "甲午年(马)闰九月初一 2014-10-24\n"},
      {{"--day", "2013-2-4"}, "癸巳年(蛇)腊月廿四 2013-2-4\n"},
      {{"--day", "2013-02-03"}, "壬辰年(龙)腊月廿三 2013-2-3\n"},
      {{"--day", "1901-02-19"}, "辛丑年(牛)正月初一 1901-2-19\n"},
      {{"--day", "2048-12-31"}, "戊辰年(龙)冬月廿七 2048-12-31\n"},
  };
  for (const Row& row : rows) {
    const Result r = Cal(io, row.args);
    EXPECT_EQ(r.status, 0) << row.args[0] << r.err;
    EXPECT_EQ(r.out, row.want) << row.args[0];
  }
  const Result j = Cal(io, {"--day", "2013-05-05", "--json"});
  ASSERT_EQ(j.status, 0) << j.err;
  EXPECT_EQ(FromJson(io, j.out,
                     "(d['date'], d['lunar'], d['stem_branch'], d['stem_branch_name'], d['zodiac'],"
                     " d['solar_term'], d['info'])"),
            "('2013-05-05', {'year': 2013, 'month': 3, 'day': 26, 'leap': False}, 30, '癸巳', '蛇',"
            " 9, '癸巳年(蛇)三月廿六 2013-5-5')\n");
}

TEST(Cal, RefusesWithExitStatus2) {
  TempDir io;
  struct Row {
    std::vector<std::string> args;
    const char* message;
  };
  const Row rows[] = {
      {{"2013/05"}, "\"2013/05\" is not a month: write YYYY-MM"},
      {{"13-05"}, "\"13-05\" is not a month"},
      {{"2013-5-"}, "\"2013-5-\" is not a month"},
      {{"2013-005"}, "\"2013-005\" is not a month"},
      {{"2013-05-12"}, "\"2013-05-12\" is not a month"},
      {{"2013-13"}, "the month is 1 to 12"},
      {{"2013-00"}, "the month is 1 to 12"},
      {{"1901-01"}, "1901-01 is outside the lunar calendar's range, 1901-02 to 2048-12"},
      {{"2049-01"}, "2049-01 is outside the lunar calendar's range"},
      {{"--day", "2013-02-29"}, "\"2013-02-29\" is not a date: February 2013 has 28 days"},
      {{"--day", "2013-04-31"}, "April 2013 has 30 days"},
      {{"--day", "2013-13-01"}, "the month is 1 to 12"},
      {{"--day", "2013-05"}, "\"2013-05\" is not a date: write YYYY-MM-DD"},
      {{"--day", "2013-05-12x"}, "is not a date"},
      {{"--day", "1901-02-18"}, "1901-02-18 is outside the lunar calendar's range, 1901-02-19 to 2048-12-31"},
      {{"--day", "1900-12-31"}, "1900-12-31 is outside"},
      {{"--day=2049-01-01"}, "2049-01-01 is outside"},
      {{"--day"}, "--day needs a date"},
      {{"--days", "2013-05-12"}, "unknown option --days"},
      {{"2013-05", "2013-06"}, "give one month or one --day"},
      {{"--day", "2013-05-12", "2013-05"}, "give one month or one --day"},
      {{""}, "\"\" is not a month"},
  };
  for (const Row& row : rows) {
    const Result r = Cal(io, row.args);
    EXPECT_EQ(r.status, 2) << row.args[0];
    EXPECT_EQ(r.out, "") << row.args[0];
    EXPECT_THAT(r.err, HasSubstr(row.message)) << row.args[0];
    EXPECT_THAT(r.err, HasSubstr("tarvokline-cal: ")) << row.args[0];
  }
}

TEST(Cal, Help) {
  TempDir io;
  const Result r = Cal(io, {"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("Usage: tarvokline-cal [--json] [YYYY-MM]"));
  EXPECT_THAT(r.out, HasSubstr("--day YYYY-MM-DD"));
  EXPECT_EQ(Cal(io, {"--bogus", "--help"}).status, 2);
}

std::string CurrentMonth() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m", &tm);
  return buf;
}

// Without a month: the current one of the local clock. The month is read
// before and after, so a run across the turn of a month still compares.
TEST(Cal, WithoutArgumentTheCurrentMonth) {
  TempDir io;
  const std::string before = CurrentMonth();
  const Result r = Cal(io, {});
  const std::string after = CurrentMonth();
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string want_before = Cal(io, {before}).out;
  EXPECT_TRUE(r.out == want_before || r.out == Cal(io, {after}).out) << r.out;
  EXPECT_NE(want_before, "");
  EXPECT_EQ(Cal(io, {"--json"}).out.substr(0, 24), Cal(io, {"--json", before}).out.substr(0, 24));
}

}  // namespace
}  // namespace tarvok::test
