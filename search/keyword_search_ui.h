// The search group of the main window: the keyword box 编辑框关键词 (with the
// hint "请在这里输入关键词并回车..." until it first gets the focus), the button
// 按钮_搜索, the picture 图片框1 at the box's end, and the four result lists
// 列表框_日志搜索结果, 列表框_提醒搜索结果, 列表框_备忘搜索结果, 列表框_人脉搜索结果
// (blue lines on white). A line clicked brings the user to its record.
#pragma once

#include <cstddef>
#include <string>

#include "search/keyword_search.h"
#include "ui/context.h"

namespace tarvok::search {

// "请在这里输入关键词并回车...", GBK.
const std::string& KeywordHint();

// Searches the four tables for the keyword in the box and fills the lists;
// an empty keyword or the untouched hint gives "请输入要搜索的关键词！".
void RunKeywordSearch(ui::Context& ctx);

// The jumps of the four lists (a "未找到！" line does nothing):
//   diary     the day on the today page, the keyword selected in the diary
//   events    the start day on the today page
//   memo      the memo page, the keyword selected in the memo
//   contacts  the contacts page with all contacts, the contact's cell
//             selected and marked red
void JumpToDiaryLine(ui::Context& ctx);
void JumpToEventLine(ui::Context& ctx);
void JumpToMemoLine(ui::Context& ctx);
void JumpToContactLine(ui::Context& ctx);

// The byte offset of the first byte-exact (case-sensitive) occurrence of
// `keyword` in `text`, moving one byte at a time; text.size() when none.
size_t FirstExactOccurrence(const std::string& text, const std::string& keyword);

// The lines of the four result lists as they stand (what the export reads).
SearchResults ResultListsOf(const ui::Context& ctx);

// Connects the three triggers, the box's got-focus, the lists' selection
// and their colours. Once per window.
void ConnectKeywordSearch(ui::Context& ctx);

}  // namespace tarvok::search
