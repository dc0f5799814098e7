// The dialog ImportContactsDialog ("导入联系人"), opened by 按钮_导入联系人 on
// the contacts page: the user picks an .xls file (选择), ticks columns of its
// header row in the check list 选择列表框1, and 开始 appends one contact to
// lxr35 per data row of the workbook's sheet "sheet1" (contacts/
// contact_import.h). 列表框1 shows lxr35's field names, which the ticked
// headers must equal to reach a field.
//
// The dialog is modal over the main window but does not block the command
// that opens it. Each opening makes it anew; it goes away with 退出, Esc, the
// close button, or the end of an import.
//
// The import writes through the store's own lxr35 and leaves it open, so
// the contact book goes on working whatever happened in the dialog.
#pragma once

#include "ui/context.h"

class QWidget;

namespace tarvok::contacts {

// 按钮_导入联系人: opens the dialog (with lxr35's field names in 列表框1),
// then shows page 0 and page 3 of 选择夹右侧.
void OpenImportContactsDialog(ui::Context& ctx);

// 选择: the file-open dialog for *.xls; a chosen file's path goes into
// 编辑框1, a cancel keeps the path there. The header row of the file named in
// 编辑框1 is then listed in 选择列表框1, one unticked line per used column:
// its header text, with the column number as the line's value. A file that
// cannot be read shows 错误！ with the reason and leaves the list empty; the
// dialog stays open for another choice. Nothing is read while 编辑框1 is
// empty.
void ListSpreadsheetColumns(ui::Context& ctx);

// 开始: no ticked line gives 信息：(information icon) "尚未选择任何一个字段！".
// Otherwise 开始 and 退出 are disabled, 分组框3 reads "正在导入数据，请稍等……"
// and 进度条1 follows the rows as they are appended. Then:
//   the workbook cannot be read   信息： "连接失败"; nothing appended; the
//                                 dialog closes
//   an append fails               错误！ naming the row and how many contacts
//                                 came in before it; the dialog stays open
//   every row appended            信息： "导入成功！"; the dialog closes
// After any append the contacts page shows lxr35 (or the letter group on
// show, built again) with the new contacts.
void RunContactImport(ui::Context& ctx);

// The open dialog of the context's window, or nullptr.
QWidget* OpenedImportContactsDialog(const ui::Context& ctx);

// Connects 按钮_导入联系人. Once per window.
void ConnectContactImport(ui::Context& ctx);

}  // namespace tarvok::contacts
