#include "search/spreadsheet_export_ui.h"

#include <sys/stat.h>

#include <QApplication>
#include <QCursor>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "platform/private_dir.h"
#include "platform/sheet_writer.h"
#include "search/keyword_search_ui.h"
#include "search/spreadsheet_export.h"
#include "ui/desktop_open.h"
#include "ui/dialogs.h"

namespace tarvok::search {
namespace {

// A new workbook has one sheet; PrepareWorkbook adds the other three.
constexpr int kNewWorkbookSheets = 1;

bool Exists(const std::string& gbk_path) {
  struct stat st;
  return stat(GbkToUtf8(gbk_path).c_str(), &st) == 0;
}

// "导出数据-20130131-100000.xlsx" in the private folder, with "-2", "-3" ...
// when an export of the same second is there already.
std::optional<std::string> NewExportPath() {
  const std::optional<std::string> folder =
      platform::PrivateSubfolder(platform::DefaultPrivatePlaces(), "exports");
  if (!folder) return std::nullopt;
  const DateParts p = SplitDate(Now());
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
  const std::string base = *folder + "/" + "导出数据-"_gbk + stamp;
  std::string path = base + ".xlsx";
  for (int n = 2; Exists(path); ++n) path = base + "-" + std::to_string(n) + ".xlsx";
  return path;
}

// Why a save failed, for the user: the system's reason, or the writer's.
std::string Reason(const platform::SheetWriter::SaveResult& saved) {
  return Utf8ToGb18030(saved.error > 0 && saved.error < 1000 ? std::strerror(saved.error) : saved.message);
}

std::string FileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The wait cursor while the tables are read and the file is written.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// Saves the workbook where the user chooses, until it is saved there or the
// user declines. `written` is where it lies already.
void OfferToSaveElsewhere(const platform::SheetWriter& book, const std::string& written) {
  std::string question = "没有找到可以打开电子表格的程序。导出的数据已保存在：\r\n"_gbk + written +
                         "\r\n要把它另存到您选择的位置吗？"_gbk;
  while (ui::Ask(question, ui::TitleQuestion())) {
    const std::optional<std::string> chosen =
        ui::Dialogs().SaveFile({"另存导出数据"_gbk, "Excel 工作簿 (*.xlsx)"_gbk, FileName(written)});
    if (!chosen) return;
    std::string target = *chosen;
    if (target.size() < 5 || target.compare(target.size() - 5, 5, ".xlsx") != 0) target += ".xlsx";
    platform::SheetWriter::SaveResult saved;
    {
      BusyCursor busy;
      saved = book.Save(target, true);
    }
    if (saved) {
      ui::ShowInformation("导出的数据已保存到：\r\n"_gbk + target);
      return;
    }
    question = "保存到以下位置失败（"_gbk + Reason(saved) + "）：\r\n"_gbk + target + "\r\n要另选一个位置吗？"_gbk;
  }
}

// Writes the workbook into the private folder and opens it (see the header).
void Deliver(const platform::SheetWriter& book) {
  const std::optional<std::string> path = NewExportPath();
  if (!path) {
    ui::ShowError("找不到存放导出数据的私有文件夹，导出失败！"_gbk);
    return;
  }
  platform::SheetWriter::SaveResult saved;
  {
    BusyCursor busy;
    saved = book.Save(*path, true);
  }
  if (!saved) {
    ui::ShowError("导出失败（"_gbk + Reason(saved) + "）：\r\n"_gbk + *path);
    return;
  }
  if (!ui::OpenWithDesktop(*path, ui::kWorkbookMediaType)) OfferToSaveElsewhere(book, *path);
}

}  // namespace

void ExportSearchResultsToSheet(ui::Context& ctx) {
  const SearchResults lists = ResultListsOf(ctx);
  if (!HasResultsToExport(lists)) {
    ui::ShowInformation("没有任何搜索结果，无需导出！"_gbk);
    return;
  }
  platform::SheetWriter book(kNewWorkbookSheets);
  {
    BusyCursor busy;
    PrepareWorkbook(book, ExportCaption(Now()));
    ExportSearchResults(ctx.store, lists, book);
  }
  Deliver(book);
}

void ExportAllTablesToSheet(ui::Context& ctx) {
  platform::SheetWriter book(kNewWorkbookSheets);
  {
    BusyCursor busy;
    PrepareWorkbook(book, ExportCaption(Now()));
    ExportAllTables(ctx.store, book);
  }
  Deliver(book);
}

void ConnectSpreadsheetExport(ui::Context& ctx) {
  ui::Context* c = &ctx;
  const ui::Units units = ctx.units();
  units.Push("按钮_导出结果"_gbk).OnClick([c] { ExportSearchResultsToSheet(*c); });
  units.Push("按钮_导出全库"_gbk).OnClick([c] { ExportAllTablesToSheet(*c); });
}

}  // namespace tarvok::search
