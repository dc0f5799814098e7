// The export of the organiser's data into a spreadsheet workbook: the
// results of the last keyword search, or every record of the four tables.
//
// Both fill the same layout, four sheets with a header row each (data row k
// is row k + 1, every value a text):
//   1 "日志"  A "日期"  B "日志"
//   2 "提醒"  A "初始提醒日期"  B "循环周期"  C "循环单位"  D "提醒内容"
//   3 "备忘"  A "备忘内容"
//   4 "人脉"  A "姓名"  B "电话"  C "备注"
// Dates are written as DateToText gives them in the Full form, the period
// as decimal text. Deleted records (left only by a pack that failed) are
// not exported. After each sheet is filled, its columns are fitted to the
// texts from A1 down to the row after the last one written.
//
// The search results are exported by their lines:
//   diary     the line's text (the day); the diary text of the first live
//             record of that day, or nothing when there is none any more
//   events    the line's text (the start date); period, unit and text of
//             the record whose number the line carries
//   memo      the memo text of the first record
//   contacts  the line's text (the name); phone and remark of the record
//             whose number the line carries, so that two contacts of one
//             name each keep their own
// A line whose record is gone (deleted, or the number past the end) keeps
// its text and leaves the other cells of its row empty. A list that holds
// only "未找到！" leaves its sheet with just the header row.
//
// Both leave lxr35 current.
#pragma once

#include <string>

#include "datetime/date_time.h"
#include "platform/sheet_writer.h"
#include "search/keyword_search.h"
#include "store/record_store.h"

namespace tarvok::search {

// The four sheet names, in order, GBK.
const std::string& SheetName(int sheet);  // 1..4

// "Tarvokline导出数据-" followed by `now` as DateToText gives it in the Full
// form, GBK.
std::string ExportCaption(DateTime now);

// Titles the workbook with `caption`, brings it to four sheets at least
// (more are kept, and left as they are), and names sheets 1 to 4 and writes
// their header cells. Sheet 1 ends current.
void PrepareWorkbook(platform::SheetWriter& book, const std::string& caption);

// Whether the lists hold anything to export: false when all four are empty
// (no search has run) or each starts with "未找到！".
bool HasResultsToExport(const SearchResults& lists);

// Fills a prepared workbook from the result lists (see above).
void ExportSearchResults(store::RecordStore& store, const SearchResults& lists,
                         platform::SheetWriter& book);

// Fills a prepared workbook with every live record of the four tables, in
// record order. A table that is not open leaves its sheet with the header
// row.
void ExportAllTables(store::RecordStore& store, platform::SheetWriter& book);

}  // namespace tarvok::search
