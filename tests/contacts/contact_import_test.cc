// Reading .xls workbooks (platform/xls_reader.h) and importing their rows
// into lxr35 (contacts/contact_import.h), over the workbooks of
// tools/xls_fixtures/make_xls_fixtures.py.
#include "contacts/contact_import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "platform/xls_reader.h"
#include "store/errors.h"
#include "tables/tables.h"
#include "tests/support/fault_fs.h"
#include "tests/support/temp_dir.h"

namespace tarvok::contacts {
namespace {

using platform::XlsError;
using platform::XlsHeaderCell;
using platform::XlsWorkbook;

std::string Fixture(const char* name) { return Utf8ToGb18030(std::string(TARVOK_TEST_DATA) + "/" + name); }

std::unique_ptr<XlsWorkbook> OpenFixture(const char* name) {
  XlsError error = XlsError::kNone;
  auto book = XlsWorkbook::Open(Fixture(name), &error);
  EXPECT_EQ(error, XlsError::kNone) << name;
  return book;
}

std::vector<std::string> HeaderTexts(XlsWorkbook& book) {
  std::vector<std::string> texts;
  int expected_column = 1;
  for (const XlsHeaderCell& c : platform::ReadXlsHeaderRow(book)) {
    EXPECT_EQ(c.column, expected_column++) << "column numbers run 1, 2, 3 ...";
    texts.push_back(GbkToUtf8(c.text));
  }
  return texts;
}

// ---- the reader -------------------------------------------------------------

TEST(XlsReaderTest, HeaderRowComesFromTheFirstSheetInColumnOrder) {
  struct Case {
    const char* file;
    std::vector<std::string> headers;
  };
  const Case cases[] = {
      {"contacts.xls", {"姓名", "电话", "备注"}},
      {"header_elsewhere.xls", {"电话", "姓名", "其他"}},  // not SHEET1's own first row
      {"no_sheet1.xls", {"姓名", "电话", "备注"}},
      {"trailing_space.xls", {"姓名", "电话 ", "备注"}},
  };
  for (const Case& c : cases) {
    auto book = OpenFixture(c.file);
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(HeaderTexts(*book), c.headers) << c.file;
  }

  auto wide = OpenFixture("wide.xls");
  ASSERT_NE(wide, nullptr);
  const std::vector<std::string> texts = HeaderTexts(*wide);
  ASSERT_EQ(texts.size(), 65u) << "columns past 60 are read like the others";
  EXPECT_EQ(texts[0], "姓名");
  EXPECT_EQ(texts[59], "列60");
  EXPECT_EQ(texts[61], "电话");
  EXPECT_EQ(texts[64], "备注");
}

TEST(XlsReaderTest, CellsReadAsTheSpreadsheetShowsThem) {
  auto book = OpenFixture("contacts.xls");
  ASSERT_NE(book, nullptr);
  ASSERT_TRUE(platform::SelectXlsDataSheet(*book));
  ASSERT_EQ(book->RowCount(), 5u);
  ASSERT_EQ(book->ColumnCount(), 3);
  const std::vector<std::vector<std::string>> rows = {
      {"姓名", "电话", "备注"},
      {"张三", "13800138000", "同事"},    // a number, not 1.38e10
      {"李四", "", "3.5"},                // an empty cell
      {"Wang Wu", "010-62345678", "2013-01-31"},  // a date cell
      {"赵六", "110", "-42"},             // whole numbers kept as integers
  };
  for (uint32_t r = 1; r <= 5; ++r) {
    for (int c = 1; c <= 3; ++c) {
      EXPECT_EQ(GbkToUtf8(book->CellText(r, c)), rows[r - 1][size_t(c) - 1]) << r << "," << c;
    }
  }
  EXPECT_EQ(book->CellText(0, 1), "");
  EXPECT_EQ(book->CellText(6, 1), "") << "past the used rows";
  EXPECT_EQ(book->CellText(1, 4), "") << "past the used columns";
  EXPECT_EQ(book->CellText(1, 0), "");
}

TEST(XlsReaderTest, NumbersInTheGeneralFormat) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {13800138000, "13800138000"},
      {3.5, "3.5"},
      {-42, "-42"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {-0.0, "0"},
      {999999999999999, "999999999999999"},
      {1e15, "1E+15"},
      {1e20, "1E+20"},
      {1.5e-7, "1.5E-07"},
      {std::numeric_limits<double>::quiet_NaN(), "#NUM!"},
      {std::numeric_limits<double>::infinity(), "#NUM!"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::XlsNumberText(c.value), c.text) << c.value;
}

TEST(XlsReaderTest, TheDataSheetIsSheet1InAnyLetterCase) {
  auto elsewhere = OpenFixture("header_elsewhere.xls");
  ASSERT_NE(elsewhere, nullptr);
  ASSERT_EQ(elsewhere->SheetCount(), 2);
  EXPECT_EQ(GbkToUtf8(elsewhere->SheetName(0)), "说明");
  ASSERT_TRUE(platform::SelectXlsDataSheet(*elsewhere));
  EXPECT_EQ(GbkToUtf8(elsewhere->CellText(2, 2)), "钱七");

  // "Sheet2" and "sheet11" are not it.
  auto none = OpenFixture("no_sheet1.xls");
  ASSERT_NE(none, nullptr);
  EXPECT_FALSE(platform::SelectXlsDataSheet(*none));
  EXPECT_EQ(none->RowCount(), 0u);
  EXPECT_EQ(none->CellText(2, 1), "") << "no sheet selected";
}

// The bytes of a fixture with every DIMENSIONS record claiming a full
// 65,536 x 256 sheet.
std::string Inflated(const char* name) {
  std::string bytes = test::ReadFileBytes(std::string(TARVOK_TEST_DATA) + "/" + name);
  const std::string record("\x00\x02\x0E\x00", 4);
  for (size_t at = bytes.find(record); at != std::string::npos; at = bytes.find(record, at + 1)) {
    bytes.replace(at + 4, 14, std::string("\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x01\x00\x00", 14));
  }
  return bytes;
}

TEST(XlsReaderTest, FilesThatAreNoReadableWorkbookGiveAnError) {
  test::TempDir dir;
  const std::string good = test::ReadFileBytes(std::string(TARVOK_TEST_DATA) + "/contacts.xls");
  ASSERT_GT(good.size(), 4096u);
  mkdir(dir.Path("folder.xls").c_str(), 0700);
  ASSERT_EQ(mkfifo(dir.Path("fifo.xls").c_str(), 0600), 0);
  const struct {
    const char* name;
    std::string bytes;  // what the file holds; "-" for none made here
    XlsError error;
  } cases[] = {
      {"missing.xls", "-", XlsError::kCannotOpen},
      {"folder.xls", "-", XlsError::kCannotOpen},
      {"fifo.xls", "-", XlsError::kCannotOpen},  // and no wait for a writer
      {"empty.xls", "", XlsError::kNotWorkbook},
      {"text.xls", "姓名,电话,备注\n张三,13800138000,同事\n", XlsError::kNotWorkbook},
      {"header-only.xls", good.substr(0, 512), XlsError::kNotWorkbook},
      {"half.xls", good.substr(0, good.size() / 2), XlsError::kNotWorkbook},
      {"short-by-one.xls", good.substr(0, good.size() - 1), XlsError::kNotWorkbook},
      // A few kilobytes claiming three sheets of 16 million cells each.
      {"inflated.xls", Inflated("no_sheet1.xls"), XlsError::kTooLarge},
      // Found by fuzzing: FreeXL's own parser crashes on this workbook; the
      // child process that runs it does, and the reader reports the file.
      {"crash.xls", test::ReadFileBytes(std::string(TARVOK_TEST_DATA) + "/crashes_freexl.xls"),
       XlsError::kNotWorkbook},
  };
  for (const auto& c : cases) {
    if (c.bytes != "-") test::WriteFileBytes(dir.Path(c.name), c.bytes);
    XlsError error = XlsError::kNone;
    EXPECT_EQ(XlsWorkbook::Open(dir.GbkPath(Utf8ToGbk(c.name)), &error), nullptr) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }

  // Too large to be read at all: checked before a byte is read.
  const std::string big = dir.Path("big.xls");
  test::WriteFileBytes(big, good);
  ASSERT_EQ(truncate(big.c_str(), off_t(platform::kXlsMaxFileBytes + 1)), 0);
  XlsError error = XlsError::kNone;
  EXPECT_EQ(XlsWorkbook::Open(dir.GbkPath("big.xls"), &error), nullptr);
  EXPECT_EQ(error, XlsError::kTooLarge);
}

TEST(XlsReaderTest, ClaimsOfTheFixturesAreTheirCells) {
  const struct {
    const char* file;
    uint64_t cells;
  } cases[] = {{"contacts.xls", 5 * 3}, {"no_sheet1.xls", 3 * 2 * 3}, {"wide.xls", 3 * 65}};
  for (const auto& c : cases) {
    uint64_t cells = 0;
    ASSERT_TRUE(platform::ClaimedXlsCells(test::ReadFileBytes(std::string(TARVOK_TEST_DATA) + "/" + c.file), &cells));
    EXPECT_EQ(cells, c.cells) << c.file;
  }
}

// ---- the import ---------------------------------------------------------------

TEST(ColumnLettersTest, LettersOfTheFirstSixtyAndBeyond) {
  const struct {
    int column;
    const char* letters;
  } cases[] = {{1, "a"},   {26, "z"},  {27, "aa"},  {52, "az"},  {53, "ba"}, {60, "bh"},
               {61, "bi"}, {78, "bz"}, {256, "iv"}, {702, "zz"}, {703, "aaa"}, {0, ""}, {-3, ""}};
  for (const auto& c : cases) EXPECT_EQ(ColumnLetters(c.column), c.letters) << c.column;
  EXPECT_EQ(HeaderCellName(1), "a1");
  EXPECT_EQ(HeaderCellName(60), "bh1");
  EXPECT_EQ(HeaderCellName(0), "");
}

class ContactImportTest : public testing::Test {
 protected:
  void SetUp() override {
    tables::EnsureDataFiles(dir_.GbkPath(""));
    ASSERT_TRUE(store_.OpenTable(dir_.GbkPath("data/lxr35.edb")));
    ASSERT_TRUE(store_.AddRecord(tables::RecordValues(tables::Contact{"老朋友"_gbk, "1", ""})));
  }

  // The contacts of lxr35 in record order, UTF-8, as name|phone|remark.
  std::vector<std::string> Contacts() {
    std::vector<std::string> all;
    EXPECT_TRUE(store_.SelectTable(tables::kContactTable));
    for (store_.GoFirst(); store_.CurrentRecordNumber() <= store_.RecordCount(); store_.Skip()) {
      const tables::Contact c = tables::ReadContact(store_);
      all.push_back(GbkToUtf8(c.name) + "|" + GbkToUtf8(c.phone) + "|" + GbkToUtf8(c.remark));
    }
    return all;
  }

  static std::vector<ImportColumn> Ticked(std::vector<std::pair<int, const char*>> columns) {
    std::vector<ImportColumn> ticked;
    for (const auto& [n, header] : columns) ticked.push_back({n, Utf8ToGbk(header)});
    return ticked;
  }

  test::TempDir dir_;
  store::RecordStore store_;
};

TEST_F(ContactImportTest, EachDataRowBecomesAContactAtTheEnd) {
  struct Case {
    const char* what;
    const char* file;
    std::vector<std::pair<int, const char*>> ticked;
    std::vector<std::string> added;
  };
  const Case cases[] = {
      {"all three ticked", "contacts.xls", {{1, "姓名"}, {2, "电话"}, {3, "备注"}},
       {"张三|13800138000|同事", "李四||3.5", "Wang Wu|010-62345678|2013-01-31", "赵六|110|-42"}},
      {"only the names", "contacts.xls", {{1, "姓名"}}, {"张三||", "李四||", "Wang Wu||", "赵六||"}},
      {"a header with a trailing space names no field", "trailing_space.xls",
       {{1, "姓名"}, {2, "电话 "}, {3, "备注"}}, {"周九||邻居", "吴十||"}},
      {"no ticked header names a field: the rows come all the same", "trailing_space.xls",
       {{2, "电话 "}}, {"||", "||"}},
      {"no sheet1: nothing", "no_sheet1.xls", {{1, "姓名"}, {2, "电话"}}, {}},
      {"headers of the first sheet, rows of SHEET1", "header_elsewhere.xls",
       {{1, "电话"}, {2, "姓名"}, {3, "其他"}}, {"钱七|13511112222|", "孙八|13533334444|"}},
      {"columns past 60", "wide.xls", {{1, "姓名"}, {62, "电话"}, {65, "备注"}, {5, "列5"}},
       {"宽1|13900000001|第65列1", "宽2|13900000002|第65列2"}},
      {"a later column of the same header wins", "contacts.xls", {{1, "备注"}, {3, "备注"}},
       {"||同事", "||3.5", "||2013-01-31", "||-42"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> before = Contacts();
    const ImportReport r = ImportContacts(store_, Fixture(c.file), Ticked(c.ticked));
    EXPECT_EQ(r.outcome, ImportOutcome::kImported);
    EXPECT_EQ(r.appended, c.added.size());
    EXPECT_EQ(r.rows, c.added.size());
    before.insert(before.end(), c.added.begin(), c.added.end());
    EXPECT_EQ(Contacts(), before);
  }
}

TEST_F(ContactImportTest, ProgressRunsThroughEveryRow) {
  std::vector<std::pair<uint32_t, uint32_t>> calls;
  const ImportReport r = ImportContacts(store_, Fixture("contacts.xls"), Ticked({{1, "姓名"}}),
                                        [&](uint32_t done, uint32_t total) { calls.emplace_back(done, total); });
  EXPECT_EQ(r.appended, 4u);
  EXPECT_EQ(calls, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
}

TEST_F(ContactImportTest, FailuresAreReportedAndLeaveLxr35Open) {
  // Unreadable: nothing appended.
  ImportReport r = ImportContacts(store_, dir_.GbkPath("missing.xls"), Ticked({{1, "姓名"}}));
  EXPECT_EQ(r.outcome, ImportOutcome::kCannotRead);
  EXPECT_EQ(r.read_error, XlsError::kCannotOpen);
  EXPECT_EQ(Contacts().size(), 1u);

  // lxr35 read-only: the first append fails and says so.
  store_.CloseAllTables();
  store::OpenOptions read_only;
  read_only.access = store::Access::kReadOnly;
  ASSERT_TRUE(store_.OpenTable(dir_.GbkPath("data/lxr35.edb"), read_only));
  r = ImportContacts(store_, Fixture("contacts.xls"), Ticked({{1, "姓名"}}));
  EXPECT_EQ(r.outcome, ImportOutcome::kWriteFailed);
  EXPECT_EQ(r.failed_row, 2u);
  EXPECT_EQ(r.appended, 0u);
  EXPECT_NE(r.store_error, store::kOk);
  EXPECT_TRUE(store_.SelectTable(tables::kContactTable)) << "the store's lxr35 stays open";
  EXPECT_EQ(Contacts().size(), 1u);

  // No lxr35 at all.
  store_.CloseAllTables();
  r = ImportContacts(store_, Fixture("contacts.xls"), Ticked({{1, "姓名"}}));
  EXPECT_EQ(r.outcome, ImportOutcome::kNoTable);
  EXPECT_EQ(r.appended, 0u);
}

TEST(ContactImportFaultTest, AFailedAppendStopsAtItsRowAndKeepsTheRowsBefore) {
  test::TempDir dir;
  tables::EnsureDataFiles(dir.GbkPath(""));
  test::FaultFileSystem fs;
  test::ScopedFileSystem use(&fs);
  store::RecordStore store;
  ASSERT_TRUE(store.OpenTable(dir.GbkPath("data/lxr35.edb")));
  const std::vector<ImportColumn> names = {{1, "姓名"_gbk}};

  // The writes of one contact, from an import of four.
  const uint64_t before = fs.Calls(test::FsOp::kWrite);
  ASSERT_EQ(ImportContacts(store, Fixture("contacts.xls"), names).appended, 4u);
  const uint64_t writes = fs.Calls(test::FsOp::kWrite) - before;
  ASSERT_EQ(writes % 4, 0u);

  fs.FailNth(test::FsOp::kWrite, 2 * writes / 4 + 1, ENOSPC);
  const ImportReport r = ImportContacts(store, Fixture("contacts.xls"), names);
  EXPECT_EQ(fs.Injected(), 1u);
  EXPECT_EQ(r.outcome, ImportOutcome::kWriteFailed);
  EXPECT_EQ(r.failed_row, 4u) << "the third data row";
  EXPECT_EQ(r.appended, 2u);
  EXPECT_EQ(store.RecordCount(), 6) << "the two before it stay; nothing of the third";
  ASSERT_TRUE(store.GoToRecord(6));
  EXPECT_EQ(tables::ReadContact(store).name, "李四"_gbk);
}

}  // namespace
}  // namespace tarvok::contacts
