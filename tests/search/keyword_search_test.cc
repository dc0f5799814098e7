#include "search/keyword_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "tables/tables.h"
#include "tests/support/temp_dir.h"

namespace tarvok::search {
namespace {

TEST(FindKeywordTest, CharacterBoundariesAndLetterFolding) {
  const struct {
    const char* text;  // UTF-8 unless raw
    const char* keyword;
    bool raw;
    bool holds;
  } cases[] = {
      {"Hello World", "world", false, true},
      {"hello", "HELLO", false, true},
      {"今天很好", "很好", false, true},
      {"今天很好", "天很", false, true},
      {"今天", "今天很", false, false},
      {"", "a", false, false},
      {"abc", "", false, false},
      // 今 is BD F1, 天 is CC EC: "F1 CC" straddles two characters.
      {"\xBD\xF1\xCC\xEC", "\xF1\xCC", true, false},
      // Second bytes are folded too: 81 41 matches 81 61.
      {"\x81\x41", "\x81\x61", true, true},
      // A text ending in half a character: what is there is compared, and
      // nothing past the end.
      {"ab\xC9", "\xC9\xFD", true, false},
      {"ab\xC9", "\xC9", true, true},
  };
  for (const auto& c : cases) {
    const std::string text = c.raw ? std::string(c.text) : Utf8ToGbk(c.text);
    const std::string keyword = c.raw ? std::string(c.keyword) : Utf8ToGbk(c.keyword);
    EXPECT_EQ(FindKeyword(text, keyword), c.holds) << c.text << " / " << c.keyword;
  }
}

TEST(SortResultLinesByDateTest, EarliestFirstKeepingEqualDaysInOrder) {
  std::vector<Line> lines = {{"2013年5月2日"_gbk, 1}, {"2012年1月1日"_gbk, 2}, {"2013年5月2日"_gbk, 3},
                             {"2013年5月1日"_gbk, 4}};
  SortResultLinesByDate(lines);
  std::vector<int32_t> order;
  for (const Line& l : lines) order.push_back(l.value);
  EXPECT_EQ(order, (std::vector<int32_t>{2, 4, 1, 3}));
}

class SearchTablesTest : public testing::Test {
 protected:
  void SetUp() override {
    tables::EnsureDataFiles(dir_.GbkPath(""));
    for (const char* t : {"rz35", "tx35", "bw35", "lxr35"}) {
      ASSERT_TRUE(store_.OpenTable(dir_.GbkPath(std::string("data/") + t + ".edb")));
    }
  }
  void Diary(DateTime day, const char* text) {
    store_.SelectTable("rz35");
    ASSERT_TRUE(store_.AddRecord(tables::RecordValues(tables::DiaryEntry{day, Utf8ToGbk(text)})));
  }
  void Contact(const char* name, const char* phone, const char* remark) {
    store_.SelectTable("lxr35");
    ASSERT_TRUE(store_.AddRecord(
        tables::RecordValues(tables::Contact{Utf8ToGbk(name), Utf8ToGbk(phone), Utf8ToGbk(remark)})));
  }
  static std::vector<std::string> Texts(const std::vector<Line>& lines) {
    std::vector<std::string> texts;
    for (const Line& l : lines) texts.push_back(GbkToUtf8(l.text) + "#" + std::to_string(l.value));
    return texts;
  }
  test::TempDir dir_;
  store::RecordStore store_;
};

TEST_F(SearchTablesTest, EveryListWithItsLinesValuesAndOrder) {
  Diary(MakeDate(2013, 5, 2), "去公园 Park");
  Diary(MakeDate(2012, 1, 1), "park again");
  Diary(MakeDate(2013, 5, 2), "second PARK of the day");
  Diary(MakeDate(2013, 5, 3), "nothing here");
  store_.SelectTable("tx35");
  ASSERT_TRUE(store_.AddRecord(tables::RecordValues(
      tables::PeriodicEvent{MakeDate(2013, 6, 1), 1, tables::RecurrenceUnit::kYear, "park day"})));
  ASSERT_TRUE(store_.AddRecord(tables::RecordValues(
      tables::PeriodicEvent{MakeDate(2011, 6, 1), 1, tables::RecurrenceUnit::kYear, "Park older"})));
  store_.SelectTable("bw35");
  ASSERT_TRUE(store_.AddRecord(tables::RecordValues(tables::MemoNote{"a park memo; park twice"})));
  Contact("张三", "park-phone", "park remark");  // two fields, listed once
  Contact("李四", "123", "");
  Contact("Park王", "", "");
  Contact("赵六", "", "near the park");

  const SearchResults r = SearchAllTables(store_, "park");
  EXPECT_EQ(Texts(r.diary), (std::vector<std::string>{"2012年1月1日#0", "2013年5月2日#0", "2013年5月2日#0"}));
  EXPECT_EQ(Texts(r.events), (std::vector<std::string>{"2011年6月1日#2", "2013年6月1日#1"}));
  EXPECT_EQ(Texts(r.memo), (std::vector<std::string>{"找到！请点击查看#0"}));
  EXPECT_EQ(Texts(r.contacts), (std::vector<std::string>{"张三#1", "Park王#3", "赵六#4"}));
  EXPECT_EQ(store_.CurrentTableName(), "lxr35");
}

TEST_F(SearchTablesTest, NoHitGivesOneNotFoundLineInEachList) {
  Diary(MakeDate(2013, 5, 2), "abc");
  const SearchResults r = SearchAllTables(store_, "zzz");
  for (const auto* list : {&r.diary, &r.events, &r.memo, &r.contacts}) {
    EXPECT_EQ(Texts(*list), (std::vector<std::string>{"未找到！#0"}));
  }
}

}  // namespace
}  // namespace tarvok::search
