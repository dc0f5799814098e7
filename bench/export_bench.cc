// The export of the whole organiser into a workbook, beside libxlsxwriter
// writing the same cells directly.
//
// The data: a ten-year diary of 36,500 days (entries of about 600 bytes of
// Chinese and Latin text), 1,000 periodic events, 10,000 contacts and a
// memo, in a fresh program folder. Then, alternating, the bench times:
//
//   export    what 按钮_导出全库 does before the desktop opens the file:
//             PrepareWorkbook and ExportAllTables (every cell through the
//             one-cell ranges, read from the record files), then the
//             private .xlsx written by SheetWriter::Save (UTF-8 texts,
//             synced and renamed into place)
//   fill      the first half of it alone: tables into the workbook in memory
//   direct    libxlsxwriter alone writing the same cells, already read and
//             already UTF-8, into a file of the same folder
//
// and prints the medians and the ratios export / direct and fill / direct.
//
//   export_bench [--runs=N] [--dir=DIR]   (defaults 5, $TMPDIR or /tmp)
#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "platform/sheet_writer.h"
#include "search/spreadsheet_export.h"
#include "store/record_store.h"
#include "tables/tables.h"

namespace {

using namespace tarvok;
using bench::Median;
using bench::TimeMs;

constexpr int kDays = 36500;
constexpr int kEvents = 1000;
constexpr int kContacts = 10000;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "export_bench: %s\n", what);
  std::exit(1);
}

std::string DiaryText(int i) {
  std::string text;
  const char* pieces[] = {"今天天气晴朗，", "和朋友去公园散步。", "Meeting at 10, ", "读书笔记：", "晚饭后写日记。\r\n"};
  while (text.size() < 600) text += Utf8ToGbk(pieces[(i + text.size()) % 5]);
  return text;
}

void MakeData(const std::string& gbk_dir) {
  tables::EnsureDataFiles(gbk_dir);
  store::RecordStore s;
  if (!s.OpenTable(gbk_dir + "/data/rz35.edb")) Fail("open rz35");
  const DateTime first = MakeDate(2016, 1, 1);
  for (int i = 0; i < kDays; ++i) {
    if (!s.AddRecord(tables::RecordValues(tables::DiaryEntry{DateTime(first.value + i), DiaryText(i)}))) {
      Fail("add diary");
    }
  }
  if (!s.OpenTable(gbk_dir + "/data/tx35.edb")) Fail("open tx35");
  for (int i = 0; i < kEvents; ++i) {
    const tables::PeriodicEvent e{DateTime(first.value + i * 3), 1 + i % 9,
                                  static_cast<tables::RecurrenceUnit>(i % 4), "提醒事项 "_gbk + std::to_string(i)};
    if (!s.AddRecord(tables::RecordValues(e))) Fail("add event");
  }
  if (!s.OpenTable(gbk_dir + "/data/bw35.edb")) Fail("open bw35");
  if (!s.AddRecord(tables::RecordValues(tables::MemoNote{DiaryText(7)}))) Fail("add memo");
  if (!s.OpenTable(gbk_dir + "/data/lxr35.edb")) Fail("open lxr35");
  for (int i = 0; i < kContacts; ++i) {
    const tables::Contact c{"联系人"_gbk + std::to_string(i), "138" + std::to_string(10000000 + i), "同事 朋友"_gbk};
    if (!s.AddRecord(tables::RecordValues(c))) Fail("add contact");
  }
}

// The cells of the four sheets, UTF-8, as the export writes them.
struct Sheet {
  std::string name;
  std::vector<std::vector<std::string>> rows;
};

std::vector<Sheet> CellsOf(const platform::SheetWriter& book) {
  std::vector<Sheet> sheets;
  for (int s = 1; s <= book.SheetCount(); ++s) {
    Sheet sheet{GbkToUtf8(book.SheetName(s)), {}};
    for (uint32_t row = 1; row <= book.LastRow(s); ++row) {
      std::vector<std::string> cells;
      for (uint32_t column = 1; column <= 4; ++column) {
        bool cut = false;
        cells.push_back(platform::SheetWriter::FileCellText(book.Cell(s, row, column), &cut));
      }
      sheet.rows.push_back(std::move(cells));
    }
    sheets.push_back(std::move(sheet));
  }
  return sheets;
}

void WriteDirectly(const std::vector<Sheet>& sheets, const std::string& path) {
  lxw_workbook* book = workbook_new(path.c_str());
  if (book == nullptr) Fail("workbook_new");
  for (const Sheet& sheet : sheets) {
    lxw_worksheet* ws = workbook_add_worksheet(book, sheet.name.c_str());
    for (size_t r = 0; r < sheet.rows.size(); ++r) {
      for (size_t c = 0; c < sheet.rows[r].size(); ++c) {
        if (!sheet.rows[r][c].empty()) {
          worksheet_write_string(ws, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c), sheet.rows[r][c].c_str(),
                                 nullptr);
        }
      }
    }
  }
  if (workbook_close(book) != LXW_NO_ERROR) Fail("workbook_close");
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Flags flags = bench::ParseFlags(argc, argv, 5);
  const std::string dir = bench::FreshFolder(flags.dir, "export-bench");
  const std::string gbk_dir = Utf8ToGb18030(dir);
  MakeData(gbk_dir);

  store::RecordStore s;
  for (const char* t : {"rz35", "tx35", "bw35", "lxr35"}) {
    if (!s.OpenTable(gbk_dir + "/data/" + t + ".edb")) Fail("open");
  }
  const std::string caption = search::ExportCaption(MakeDate(2026, 1, 1));
  std::vector<Sheet> cells;
  std::vector<double> exports, fills, directs;
  for (int run = 0; run < flags.runs; ++run) {
    exports.push_back(TimeMs([&] {
      platform::SheetWriter book;
      search::PrepareWorkbook(book, caption);
      search::ExportAllTables(s, book);
      if (!book.Save(gbk_dir + "/ours.xlsx", true)) Fail("save");
    }));
    platform::SheetWriter book;
    fills.push_back(TimeMs([&] {
      search::PrepareWorkbook(book, caption);
      search::ExportAllTables(s, book);
    }));
    if (cells.empty()) cells = CellsOf(book);
    directs.push_back(TimeMs([&] { WriteDirectly(cells, dir + "/direct.xlsx"); }));
  }
  const double e = Median(exports), f = Median(fills), d = Median(directs);
  std::printf("export of %d diary days, %d events, %d contacts (median of %d runs)\n", kDays, kEvents, kContacts,
              flags.runs);
  std::printf("  export (fill + save)   %9.1f ms\n", e);
  std::printf("  fill only              %9.1f ms\n", f);
  std::printf("  libxlsxwriter direct   %9.1f ms\n", d);
  std::printf("  ratio export / direct  %9.2f\n", e / d);
  std::printf("  ratio fill / direct    %9.2f\n", f / d);
  std::printf("  file sizes: ours %ju bytes, direct %ju bytes\n",
              static_cast<uintmax_t>(std::filesystem::file_size(dir + "/ours.xlsx")),
              static_cast<uintmax_t>(std::filesystem::file_size(dir + "/direct.xlsx")));
  std::filesystem::remove_all(dir);
  return 0;
}
