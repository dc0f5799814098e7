// The exported workbook's layout and contents, from the tables and from the
// result lists of a search; the written file is read back by openpyxl.
#include "search/spreadsheet_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "platform/sheet_writer.h"
#include "tables/tables.h"
#include "tests/support/peer_workbook.h"
#include "tests/support/temp_dir.h"

namespace tarvok::search {
namespace {

using platform::SheetWriter;
using Cells = std::map<std::string, std::string>;  // "A2" -> text, UTF-8

// The cells of one sheet, as the peer reader gives them.
Cells SheetCells(const SheetWriter& book, int sheet) {
  Cells cells;
  for (uint32_t row = 1; row <= book.LastRow(sheet); ++row) {
    for (uint32_t column = 1; column <= 4; ++column) {
      const std::string text = book.Cell(sheet, row, column);
      if (!text.empty()) cells[std::string(1, char('A' + column - 1)) + std::to_string(row)] = GbkToUtf8(text);
    }
  }
  return cells;
}

const Cells kDiaryHeader = {{"A1", "日期"}, {"B1", "日志"}};
const Cells kEventHeader = {{"A1", "初始提醒日期"}, {"B1", "循环周期"}, {"C1", "循环单位"}, {"D1", "提醒内容"}};
const Cells kMemoHeader = {{"A1", "备忘内容"}};
const Cells kContactHeader = {{"A1", "姓名"}, {"B1", "电话"}, {"C1", "备注"}};

Cells With(Cells cells, const Cells& more) {
  cells.insert(more.begin(), more.end());
  return cells;
}

TEST(PrepareWorkbookTest, FourNamedSheetsWithHeadersWhateverANewWorkbookHolds) {
  for (int initial : {1, 2, 3, 4, 5}) {
    SCOPED_TRACE(initial);
    SheetWriter book(initial);
    PrepareWorkbook(book, ExportCaption(MakeDate(2013, 1, 31, 10, 5, 0)));
    EXPECT_EQ(book.SheetCount(), std::max(4, initial));
    EXPECT_EQ(book.title(), ExportCaption(MakeDate(2013, 1, 31, 10, 5, 0)));
    const char* names[] = {"日志", "提醒", "备忘", "人脉"};
    for (int s = 1; s <= 4; ++s) EXPECT_EQ(GbkToUtf8(book.SheetName(s)), names[s - 1]);
    if (initial == 5) {
      EXPECT_EQ(book.SheetName(5), "Sheet5");
    }
    EXPECT_EQ(SheetCells(book, 1), kDiaryHeader);
    EXPECT_EQ(SheetCells(book, 2), kEventHeader);
    EXPECT_EQ(SheetCells(book, 3), kMemoHeader);
    EXPECT_EQ(SheetCells(book, 4), kContactHeader);
    EXPECT_EQ(book.CurrentSheet(), 1);
  }
  EXPECT_EQ(GbkToUtf8(ExportCaption(MakeDate(2013, 1, 31))),
            "Tarvokline导出数据-" + GbkToUtf8(DateToText(MakeDate(2013, 1, 31), DateTextForm::kFull)));
}

TEST(HasResultsToExportTest, NoSearchOrNothingFoundAnywhereHasNothing) {
  const Line none{NotFoundText(), 0};
  const Line hit{"x", 1};
  struct Case {
    const char* meaning;
    SearchResults lists;
    bool expected;
  } cases[] = {
      {"no search yet", {}, false},
      {"nothing found anywhere", {{none}, {none}, {none}, {none}}, false},
      {"a contact only", {{none}, {none}, {none}, {hit}}, true},
      {"the memo only", {{none}, {none}, {{MemoFoundText(), 0}}, {none}}, true},
      {"a diary day only", {{hit}, {none}, {none}, {none}}, true},
  };
  for (const Case& c : cases) EXPECT_EQ(HasResultsToExport(c.lists), c.expected) << c.meaning;
}

class ExportTest : public testing::Test {
 protected:
  void SetUp() override {
    tables::EnsureDataFiles(dir_.GbkPath(""));
    for (const char* t : {"rz35", "tx35", "bw35", "lxr35"}) {
      ASSERT_TRUE(store_.OpenTable(dir_.GbkPath(std::string("data/") + t + ".edb")));
    }
  }
  void Add(const char* table, const std::vector<store::OptValue>& values) {
    ASSERT_TRUE(store_.SelectTable(table));
    ASSERT_TRUE(store_.AddRecord(values));
  }
  void Diary(DateTime day, const char* text) {
    Add("rz35", tables::RecordValues(tables::DiaryEntry{day, Utf8ToGbk(text)}));
  }
  void Event(DateTime start, int32_t period, tables::RecurrenceUnit unit, const char* text) {
    Add("tx35", tables::RecordValues(tables::PeriodicEvent{start, period, unit, Utf8ToGbk(text)}));
  }
  void Contact(const char* name, const char* phone, const char* remark) {
    Add("lxr35", tables::RecordValues(tables::Contact{Utf8ToGbk(name), Utf8ToGbk(phone), Utf8ToGbk(remark)}));
  }
  void Delete(const char* table, int64_t number) {
    ASSERT_TRUE(store_.SelectTable(table));
    ASSERT_TRUE(store_.GoToRecord(number));
    ASSERT_TRUE(store_.DeleteRecord());
  }
  static std::string Full(DateTime d) { return GbkToUtf8(DateToText(d, DateTextForm::kFull)); }

  test::TempDir dir_;
  store::RecordStore store_;
};

TEST_F(ExportTest, AllTablesInRecordOrderWithoutDeletedRecords) {
  const DateTime d1 = MakeDate(2013, 5, 12), d2 = MakeDate(2012, 1, 1, 8, 30, 0), d3 = MakeDate(2013, 1, 1);
  Diary(d1, "五月\r\n两行");
  Diary(d3, "已删除");
  Diary(d2, "元旦 New Year");
  Delete("rz35", 2);
  Event(d1, 1, tables::RecurrenceUnit::kYear, "生日");
  Event(d2, -3, tables::RecurrenceUnit::kWeek, "倒数");
  Contact("张三", "13800138000", "同事");
  Contact("张三", "010-1234", "");  // a second of the same name

  SheetWriter book;
  PrepareWorkbook(book, "t");
  ExportAllTables(store_, book);

  EXPECT_EQ(SheetCells(book, 1), With(kDiaryHeader, {{"A2", Full(d1)}, {"B2", "五月\r\n两行"},
                                                     {"A3", Full(d2)}, {"B3", "元旦 New Year"}}));
  EXPECT_EQ(SheetCells(book, 2), With(kEventHeader, {{"A2", Full(d1)}, {"B2", "1"}, {"C2", "年"}, {"D2", "生日"},
                                                     {"A3", Full(d2)}, {"B3", "-3"}, {"C3", "周"}, {"D3", "倒数"}}));
  EXPECT_EQ(SheetCells(book, 3), kMemoHeader) << "an empty memo table keeps only the header";
  EXPECT_EQ(SheetCells(book, 4), With(kContactHeader, {{"A2", "张三"}, {"B2", "13800138000"}, {"C2", "同事"},
                                                       {"A3", "张三"}, {"B3", "010-1234"}}));
  EXPECT_GT(book.ColumnWidth(1, 2), 0) << "fitted";
  EXPECT_EQ(store_.CurrentTableName(), "lxr35");
}

TEST_F(ExportTest, SearchResultsFindTheirRecordsAndSameNamedContactsKeepTheirOwn) {
  const DateTime d1 = MakeDate(2013, 5, 12), d2 = MakeDate(2012, 1, 1);
  Diary(d1, "去公园");
  Diary(d2, "公园门口");
  Event(d1, 2, tables::RecurrenceUnit::kMonth, "公园年票");
  Event(d2, 1, tables::RecurrenceUnit::kDay, "公园晨练");
  Add("bw35", tables::RecordValues(tables::MemoNote{"公园 备忘"_gbk}));
  Contact("李四", "1", "公园管理处");
  Contact("李四", "2", "公园门卫");

  const SearchResults lists = SearchAllTables(store_, "公园"_gbk);
  ASSERT_EQ(lists.events.size(), 2u);
  Delete("tx35", 2);  // gone since the search
  SheetWriter book;
  PrepareWorkbook(book, "t");
  ExportSearchResults(store_, lists, book);

  EXPECT_EQ(SheetCells(book, 1), With(kDiaryHeader, {{"A2", Full(d2)}, {"B2", "公园门口"},
                                                     {"A3", Full(d1)}, {"B3", "去公园"}}));
  EXPECT_EQ(SheetCells(book, 2), With(kEventHeader, {{"A2", Full(d2)},  // its record is deleted
                                                     {"A3", Full(d1)}, {"B3", "2"}, {"C3", "月"}, {"D3", "公园年票"}}));
  EXPECT_EQ(SheetCells(book, 3), With(kMemoHeader, {{"A2", "公园 备忘"}}));
  EXPECT_EQ(SheetCells(book, 4), With(kContactHeader, {{"A2", "李四"}, {"B2", "1"}, {"C2", "公园管理处"},
                                                       {"A3", "李四"}, {"B3", "2"}, {"C3", "公园门卫"}}));
  EXPECT_EQ(store_.CurrentTableName(), "lxr35");
}

TEST_F(ExportTest, HitsOnlyAmongContactsLeaveTheOtherSheetsWithTheirHeadersInTheFile) {
  Diary(MakeDate(2013, 1, 1), "无关");
  Contact("王五", "139", "球友");
  const SearchResults lists = SearchAllTables(store_, "球友"_gbk);
  SheetWriter book(3);
  PrepareWorkbook(book, ExportCaption(MakeDate(2013, 1, 31, 10, 0, 0)));
  ExportSearchResults(store_, lists, book);

  const std::string path = dir_.Path("导出.xlsx");
  ASSERT_TRUE(book.Save(Utf8ToGb18030(path), true));
  const test::PeerWorkbook peer = test::ReadWithPeer(path);
  if (peer.missing) GTEST_SKIP() << "openpyxl is not installed";
  ASSERT_TRUE(peer.ok) << peer.error;
  EXPECT_EQ(peer.title, GbkToUtf8(ExportCaption(MakeDate(2013, 1, 31, 10, 0, 0))));
  ASSERT_EQ(peer.sheets.size(), 4u);
  const char* names[] = {"日志", "提醒", "备忘", "人脉"};
  const Cells expected[] = {kDiaryHeader, kEventHeader, kMemoHeader,
                            With(kContactHeader, {{"A2", "王五"}, {"B2", "139"}, {"C2", "球友"}})};
  for (size_t s = 0; s < 4; ++s) {
    EXPECT_EQ(peer.sheets[s].name, names[s]);
    EXPECT_EQ(peer.sheets[s].cells, expected[s]) << names[s];
    EXPECT_EQ(peer.sheets[s].text_cells, expected[s].size()) << "every value is a text";
  }
  EXPECT_TRUE(peer.sheets[3].widths.count("A")) << "fitted";
}

TEST_F(ExportTest, TheOfficeSuiteReadsTheSameSheetsAndCells) {
  Diary(MakeDate(2013, 5, 12), "五月\r\n两行，带\"引号\"");
  Event(MakeDate(2012, 1, 1, 8, 30, 0), 12, tables::RecurrenceUnit::kMonth, "=SUM(1,2)");
  Add("bw35", tables::RecordValues(tables::MemoNote{"备忘 _x0041_"_gbk}));
  Contact("赵六", "00861380013", "0.5");
  SheetWriter book;
  PrepareWorkbook(book, "t");
  ExportAllTables(store_, book);
  const std::string path = dir_.Path("全部.xlsx");
  ASSERT_TRUE(book.Save(Utf8ToGb18030(path), true));

  const test::OfficeWorkbook office = test::ReadWithOffice(path);
  if (office.missing) GTEST_SKIP() << "no office suite installed";
  ASSERT_TRUE(office.ok) << office.error;
  for (int s = 1; s <= 4; ++s) {
    std::vector<std::vector<std::string>> expected;
    for (uint32_t row = 1; row <= book.LastRow(s); ++row) {
      std::vector<std::string> cells;
      for (uint32_t column = 1; column <= 4; ++column) {
        std::string shown = GbkToUtf8(book.Cell(s, row, column));
        for (size_t at; (at = shown.find("\r\n")) != std::string::npos;) shown.erase(at, 1);
        cells.push_back(shown);
      }
      while (!cells.empty() && cells.back().empty()) cells.pop_back();
      expected.push_back(cells);
    }
    const std::string name = GbkToUtf8(book.SheetName(s));
    ASSERT_TRUE(office.sheets.count(name)) << name;
    std::vector<std::vector<std::string>> shown = office.sheets.at(name);
    for (auto& cells : shown) {
      while (!cells.empty() && cells.back().empty()) cells.pop_back();
    }
    EXPECT_EQ(shown, expected) << name;
  }
}

}  // namespace
}  // namespace tarvok::search
