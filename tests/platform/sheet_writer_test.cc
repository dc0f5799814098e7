// The in-memory workbook and its .xlsx file, read back by a reader that is
// not ours (openpyxl through tests/support/read_workbook.py).
#include "platform/sheet_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "platform/gbk.h"
#include "tests/support/peer_workbook.h"
#include "tests/support/temp_dir.h"

namespace tarvok::platform {
namespace {

TEST(ParseCellAddress, LettersOfEitherCaseThenARowWithinTheSheet) {
  struct Case {
    const char* address;
    bool ok;
    uint32_t row, column;
  } cases[] = {
      {"a2", true, 2, 1},           {"D15", true, 15, 4},        {"aA3", true, 3, 27},
      {"XFD1048576", true, 1048576, 16384},                      {"bh1", true, 1, 60},
      {"XFE1", false, 0, 0},        {"A1048577", false, 0, 0},   {"AAAA1", false, 0, 0},
      {"a0", false, 0, 0},          {"a01", false, 0, 0},        {"1a", false, 0, 0},
      {"a", false, 0, 0},           {"", false, 0, 0},           {"a1 ", false, 0, 0},
      {"a99999999999999999999", false, 0, 0},
  };
  for (const Case& c : cases) {
    uint32_t row = 0, column = 0;
    EXPECT_EQ(ParseCellAddress(c.address, &row, &column), c.ok) << c.address;
    if (c.ok) {
      EXPECT_EQ(row, c.row) << c.address;
      EXPECT_EQ(column, c.column) << c.address;
    }
  }
}

TEST(SheetWriterTest, SheetsAreAddedNamedAndRefusedNamesLeaveTheOldName) {
  SheetWriter book(3);
  EXPECT_EQ(book.SheetCount(), 3);
  book.AddSheet();
  EXPECT_EQ(book.SheetName(4), "Sheet4");
  ASSERT_TRUE(book.SelectSheet(2));
  EXPECT_FALSE(book.SelectSheet(5));
  EXPECT_FALSE(book.SelectSheet(0));
  EXPECT_EQ(book.CurrentSheet(), 2);

  const std::string refused[] = {
      "", "a[b", "a]b", "a:b", "a*b", "a?b", "a/b", "a\\b", "'x", "x'", "sheet1", "SHEET3",
      std::string(32, 'x'), "\xFF\xFF",  // no GBK character
  };
  for (const std::string& name : refused) {
    EXPECT_FALSE(book.NameSheet(name)) << name;
    EXPECT_EQ(book.SheetName(2), "Sheet2");
  }
  // A second byte 0x5C is part of a character, not a backslash; 31 Chinese
  // characters are 31 characters.
  const std::string accepted[] = {"乗"_gbk, "Sheet2", std::string(31, 'x'), "日志"_gbk};
  for (const std::string& name : accepted) {
    EXPECT_TRUE(book.NameSheet(name)) << GbkToUtf8(name);
    EXPECT_EQ(book.SheetName(2), name);
  }
  book.AddSheet();  // "Sheet2" is free again, "Sheet5" the first name not taken past the count
  EXPECT_EQ(book.SheetName(5), "Sheet5");
}

TEST(SheetWriterTest, RangesWriteEveryCellReadTheFirstAndFitTheWidestLine) {
  SheetWriter book;
  ASSERT_TRUE(book.SelectRange("b2", "a1"));  // corners in any order
  book.WriteRange("x");
  EXPECT_EQ(book.Cell(1, 1, 1), "x");
  EXPECT_EQ(book.Cell(1, 2, 2), "x");
  EXPECT_FALSE(book.SelectRange("a1", "zzzz9"));
  EXPECT_EQ(book.ReadRange(), "x");  // the range stayed

  ASSERT_TRUE(book.SelectRange("a2", "a2"));
  book.WriteRange("");
  EXPECT_EQ(book.Cell(1, 2, 1), "");
  EXPECT_EQ(book.LastRow(1), 2u);

  book.SelectRange("c1", "c1");
  book.WriteRange("中文abc"_gbk);  // shows 7 columns wide
  book.SelectRange("c2", "c2");
  book.WriteRange("ab\r\n很长的一行文字"_gbk);  // the widest line counts
  book.SelectRange("d9", "d9");
  book.WriteRange(std::string(400, 'w'));
  book.SelectRange("a1", "d3");  // d9 lies outside: d keeps its width
  book.AutoFit();
  EXPECT_EQ(book.ColumnWidth(1, 3), 15);
  EXPECT_EQ(book.ColumnWidth(1, 4), 0);
  EXPECT_EQ(book.ColumnWidth(1, 5), 0);
  book.SelectRange("d1", "d9");
  book.AutoFit();
  EXPECT_EQ(book.ColumnWidth(1, 4), SheetWriter::kMaxColumnWidth);
}

TEST(SheetWriterTest, FileCellTextIsUtf8WithLineFeedsEscapesAndTheLengthLimit) {
  bool cut = true;
  EXPECT_EQ(SheetWriter::FileCellText("一\r\n二\n"_gbk, &cut), "一\n二\n");
  EXPECT_FALSE(cut);
  EXPECT_EQ(SheetWriter::FileCellText("_x0041_ _xZZ41_", &cut), "_x005F_x0041_ _xZZ41_");
  const std::string longest(SheetWriter::kMaxCellCharacters, 'a');
  EXPECT_EQ(SheetWriter::FileCellText(longest, &cut), longest);
  EXPECT_FALSE(cut);
  const std::string han = SheetWriter::FileCellText(std::string(2 * (SheetWriter::kMaxCellCharacters + 1), '\xB0'), &cut);
  EXPECT_TRUE(cut);
  EXPECT_EQ(han.size(), 3 * SheetWriter::kMaxCellCharacters);  // 啊 (B0 B0) is three UTF-8 bytes
}

TEST(SheetWriterTest, TheSavedFileReadsBackInAnotherReader) {
  test::TempDir dir;
  SheetWriter book;
  book.SetTitle("Tarvokline导出数据-2013年1月31日"_gbk);
  book.AddSheet();
  book.SelectSheet(1);
  book.NameSheet("日志"_gbk);
  const std::string texts[] = {
      "日期",  "两行\r\n文字", "=1+1", "_x0041_", "tab\there", "0123", "😀 emoji", "&<>\"'",
  };
  uint32_t row = 0;
  for (const std::string& utf8 : texts) {
    const std::string at = "a" + std::to_string(++row);
    book.SelectRange(at, at);
    book.WriteRange(Utf8ToGb18030(utf8));
  }
  book.SelectRange("a1", "a9");
  book.AutoFit();
  book.SelectSheet(2);
  book.NameSheet("人脉"_gbk);
  book.Activate();
  book.SelectRange("c3", "c3");
  book.WriteRange("备注"_gbk);

  const std::string path = dir.Path("导出.xlsx");
  const SheetWriter::SaveResult saved = book.Save(Utf8ToGb18030(path), true);
  ASSERT_TRUE(saved) << saved.message;
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const test::PeerWorkbook peer = test::ReadWithPeer(path);
  if (peer.missing) GTEST_SKIP() << "openpyxl is not installed";
  ASSERT_TRUE(peer.ok) << peer.error;
  EXPECT_EQ(peer.title, "Tarvokline导出数据-2013年1月31日");
  EXPECT_EQ(peer.active, 2);
  ASSERT_EQ(peer.sheets.size(), 2u);
  EXPECT_EQ(peer.sheets[0].name, "日志");
  EXPECT_EQ(peer.sheets[1].name, "人脉");
  const std::map<std::string, std::string> first = {
      {"A1", "日期"}, {"A2", "两行\n文字"}, {"A3", "=1+1"},    {"A4", "_x0041_"},
      {"A5", "tab\there"}, {"A6", "0123"}, {"A7", "😀 emoji"}, {"A8", "&<>\"'"},
  };
  EXPECT_EQ(peer.sheets[0].cells, first);
  EXPECT_EQ(peer.sheets[0].text_cells, first.size()) << "every value is a text";
  EXPECT_TRUE(peer.sheets[0].widths.count("A"));
  EXPECT_EQ(peer.sheets[1].cells, (std::map<std::string, std::string>{{"C3", "备注"}}));
}

TEST(SheetWriterTest, AFailedSaveLeavesNoFileAndAGoodOneReplacesTheOld) {
  test::TempDir dir;
  SheetWriter book;
  book.SelectRange("a1", "a1");
  book.WriteRange("new");

  const SheetWriter::SaveResult missing = book.Save(Utf8ToGb18030(dir.Path("no/such/folder/x.xlsx")), true);
  EXPECT_FALSE(missing);
  EXPECT_NE(missing.error, 0);
  EXPECT_FALSE(missing.message.empty());

  const std::string path = dir.Path("x.xlsx");
  test::WriteFileBytes(path, "old");
  chmod(dir.path().c_str(), 0500);  // no new file can be made beside it
  const SheetWriter::SaveResult refused = book.Save(Utf8ToGb18030(path), true);
  chmod(dir.path().c_str(), 0700);
  if (geteuid() != 0) {  // root writes anyway
    EXPECT_FALSE(refused);
    EXPECT_EQ(test::ReadFileBytes(path), "old");
  }
  ASSERT_TRUE(book.Save(Utf8ToGb18030(path), false));
  EXPECT_EQ(test::ReadFileBytes(path).substr(0, 2), "PK");
}

}  // namespace
}  // namespace tarvok::platform
