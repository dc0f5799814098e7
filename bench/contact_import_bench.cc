// Importing 10,000 contacts from an .xls workbook, beside FreeXL alone
// reading the same cells.
//
// The workbook (a sheet "Sheet1" with the header row 姓名, 电话, 备注 and
// 10,000 rows, the phone numbers stored as numbers) is written at start by
// tools/xls_fixtures/make_xls_fixtures.py with the system's python3 and
// xlwt. Timed:
//
//   Import    ImportContacts with all three columns ticked into an empty
//             lxr35: the workbook read (its claims checked, FreeXL's whole
//             parse in the reader's child process, the cells sent back and
//             turned into GBK text), 10,000 appends
//   Read      the same without the store: XlsWorkbook::Open and CellText of
//             every cell, to show the reader's share
//   FreeXL    freexl_open, the sheet selected and freexl_get_cell_value of
//             every cell, the texts touched: the least any import must do
//
// lxr35 is made anew before each Import iteration, outside the timing. A
// summary prints the medians of the repetitions and the ratios to FreeXL.
// Flags are benchmark's; --import_dir=DIR chooses the folder (default
// $TMPDIR or /tmp), --import_xls=FILE takes an existing workbook instead of
// writing one.
#include <benchmark/benchmark.h>

#include "bench/google_benchmark.h"
#include <freexl.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/contact_import.h"
#include "platform/gbk.h"
#include "platform/xls_reader.h"
#include "store/errors.h"
#include "store/record_store.h"
#include "tables/tables.h"

namespace tarvok::bench {
namespace {

constexpr int kRows = 10000;

struct Setup {
  std::string dir;      // UTF-8, removed at the end
  std::string xls;      // UTF-8
  std::string gbk_dir;  // the program folder as the store takes it
};
Setup* g_setup = nullptr;

std::string GeneratorScript() {
  return (std::filesystem::path(__FILE__).parent_path().parent_path() / "tools" / "xls_fixtures" /
          "make_xls_fixtures.py")
      .string();
}

bool Generate(const std::string& xls) {
  const std::string command =
      "/usr/bin/python3 '" + GeneratorScript() + "' --rows " + std::to_string(kRows) + " '" + xls + "'";
  return std::system(command.c_str()) == 0;
}

void BM_Import(benchmark::State& state) {
  const Setup& s = *g_setup;
  const std::vector<contacts::ImportColumn> ticked = {
      {1, tables::ContactNameField()}, {2, tables::ContactPhoneField()}, {3, tables::ContactRemarkField()}};
  const std::string lxr35 = s.dir + "/data/lxr35.edb";
  for (auto _ : state) {
    state.PauseTiming();
    auto store = std::make_unique<store::RecordStore>();
    std::filesystem::remove(lxr35);
    tables::EnsureDataFiles(s.gbk_dir);
    if (!store->OpenTable(s.gbk_dir + "/data/lxr35.edb")) {
      state.SkipWithError("cannot open lxr35");
      break;
    }
    state.ResumeTiming();
    const contacts::ImportReport r = contacts::ImportContacts(*store, Utf8ToGb18030(s.xls), ticked);
    if (r.outcome != contacts::ImportOutcome::kImported || r.appended != kRows) {
      state.SkipWithError(("import failed, store error " + std::to_string(r.store_error)).c_str());
      break;
    }
  }
}

void BM_Read(benchmark::State& state) {
  const std::string path = Utf8ToGb18030(g_setup->xls);
  size_t bytes = 0;
  for (auto _ : state) {
    platform::XlsError error;
    auto book = platform::XlsWorkbook::Open(path, &error);
    if (!book || !platform::SelectXlsDataSheet(*book)) {
      state.SkipWithError("cannot read the workbook");
      break;
    }
    for (uint32_t r = 2; r <= book->RowCount(); ++r) {
      for (int c = 1; c <= 3; ++c) bytes += book->CellText(r, c).size();
    }
  }
  benchmark::DoNotOptimize(bytes);
}

void BM_FreeXL(benchmark::State& state) {
  const std::string& path = g_setup->xls;
  size_t bytes = 0;
  for (auto _ : state) {
    const void* handle = nullptr;
    if (freexl_open(path.c_str(), &handle) != FREEXL_OK || handle == nullptr ||
        freexl_select_active_worksheet(handle, 0) != FREEXL_OK) {
      if (handle != nullptr) freexl_close(handle);
      state.SkipWithError("freexl cannot read the workbook");
      break;
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    freexl_worksheet_dimensions(handle, &rows, &columns);
    for (unsigned int r = 1; r < rows; ++r) {
      for (unsigned short c = 0; c < 3; ++c) {
        FreeXL_CellValue v;
        if (freexl_get_cell_value(handle, r, c, &v) != FREEXL_OK) continue;
        if (v.type == FREEXL_CELL_SST_TEXT || v.type == FREEXL_CELL_TEXT) bytes += std::string_view(v.value.text_value).size();
        if (v.type == FREEXL_CELL_DOUBLE) bytes += v.value.double_value > 0;
      }
    }
    freexl_close(handle);
  }
  benchmark::DoNotOptimize(bytes);
}

}  // namespace
}  // namespace tarvok::bench

int main(int argc, char** argv) {
  using namespace tarvok;
  using namespace tarvok::bench;
  std::vector<std::string> own;
  if (!InitBenchmark(argc, argv, 5, {"--import_dir=", "--import_xls="}, &own)) return 1;
  const std::string root = own[0].empty() ? TempRoot() : own[0];
  const std::string& given_xls = own[1];

  Setup setup;
  setup.dir = FreshFolder(root, "import-bench");
  setup.gbk_dir = Utf8ToGb18030(setup.dir);
  setup.xls = given_xls.empty() ? setup.dir + "/contacts.xls" : given_xls;
  if (given_xls.empty() && !Generate(setup.xls)) {
    std::fprintf(stderr, "contact_import_bench: cannot write the workbook (needs /usr/bin/python3 with xlwt)\n");
    std::filesystem::remove_all(setup.dir);
    return 1;
  }
  g_setup = &setup;

  benchmark::RegisterBenchmark("Import", BM_Import)->Unit(benchmark::kMillisecond)->MinTime(0.5);
  benchmark::RegisterBenchmark("Read", BM_Read)->Unit(benchmark::kMillisecond)->MinTime(0.5);
  benchmark::RegisterBenchmark("FreeXL", BM_FreeXL)->Unit(benchmark::kMillisecond)->MinTime(0.5);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const double import = reporter.Median("Import"), read = reporter.Median("Read"), freexl = reporter.Median("FreeXL");
  std::printf("\n%d contacts from an .xls, median of the repetitions\n", kRows);
  std::printf("  Import  %8.2f ms   Import / FreeXL %.2f\n", import, freexl > 0 ? import / freexl : 0);
  std::printf("  Read    %8.2f ms   Read / FreeXL   %.2f\n", read, freexl > 0 ? read / freexl : 0);
  std::printf("  FreeXL  %8.2f ms\n", freexl);

  std::error_code ec;
  std::filesystem::remove_all(setup.dir, ec);
  benchmark::Shutdown();
  return 0;
}
