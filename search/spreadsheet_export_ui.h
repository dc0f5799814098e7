// The two export buttons of the search group: 按钮_导出结果 exports the four
// result lists of the last search, 按钮_导出全库 every record of the four
// tables (search/spreadsheet_export.h has the layout).
//
// The workbook, titled "Tarvokline导出数据-<now>", is written as an .xlsx file
// readable by the user alone into the folder "exports" of the user's private
// folder, and handed to the desktop's program for spreadsheets, where the
// user reads it and saves it wherever they like; the organiser shows no
// message then. So that an export never vanishes, when no program opens it
// the user is told where it lies and offered to save it elsewhere, as often
// as saving fails, until it is saved or the user declines.
#pragma once

#include "search/keyword_search.h"
#include "ui/context.h"

namespace tarvok::search {

// 按钮_导出结果: with no search run yet (all four lists empty), or nothing
// found anywhere, 信息！ "没有任何搜索结果，无需导出！" and nothing more;
// otherwise the lists' workbook, delivered as above.
void ExportSearchResultsToSheet(ui::Context& ctx);

// 按钮_导出全库: the workbook of every record, delivered as above.
void ExportAllTablesToSheet(ui::Context& ctx);

// Connects the two buttons. Once per window.
void ConnectSpreadsheetExport(ui::Context& ctx);

}  // namespace tarvok::search
