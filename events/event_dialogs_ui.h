// Keeping the periodic events of tx35 from the today page's event list
// 列表框_周期事项: the right-click menu 周期性右键菜单 (新增周期性事件,
// 修改周期性事件, 删除周期性事件), a double click on a line to modify it, and
// the two dialogs that add and modify an event.
//
// A line of the list carries the event's "提醒内容" as its text and its record
// number (1-based) as its value. The record a line stands for is found by
// that number and accepted only while it is still the record shown: tx35 is
// open, the number is one of its records, the record is not deleted and its
// "提醒内容", shown as the list shows texts, is the line's text. Anything
// else counts as not found, so a command never reaches a record the user did
// not select.
//
// The dialogs (objectName AddEventDialog, EditEventDialog) are modal over the
// main window but do not block the command that opens them. Each opening
// makes the dialog anew; it goes away with any close: 取消, Esc, the close
// button, or 确定 after a successful write.
//
// The period box takes only digits and a leading "-". A period is accepted
// when it is a whole number whose value is not 0 and fits the Int32 field; a
// negative one is kept as typed (the occurrence rule reads its absolute
// value). The boxes of the checks, in order:
//   empty                        信息！ "请填写循环周期"
//   not a whole number           信息！ "循环周期只能填写整数！"
//   value 0 ("0" "00" "-" "-0")  信息： "您的循环周期填写了‘0’，如果不是一个\r\n
//                                        周期性事件，请直接填写到'日志'中！"
//   beyond the Int32 range       信息！ "循环周期过大！"
// then the content: empty gives 信息！ "请填写提醒内容！". A failed check leaves
// the dialog open with everything typed.
#pragma once

#include "ui/context.h"

class QWidget;

namespace tarvok::events {

// 新增周期性事件: WorkDay (ctx.state.work_day) := the calendar's selected day
// at midnight, tx35 made current, the add dialog opened (周期性事项：, period
// box empty, unit 年, content empty), then the week view refreshed.
void OpenAddEventDialog(ui::Context& ctx);

// 确定 of the add dialog: the checks above, then a record of tx35 with
// WorkDay, the period, the unit and the content. Success refills the event
// list and closes the dialog; a failed write shows 错误！ "加记录失败" and
// keeps it open. Nothing happens while the dialog is not open.
void ConfirmAddEvent(ui::Context& ctx);

// 修改周期性事件 and the double click: no line selected gives 信息！
// "请选择一条记录后再进行修改！"; the record of the selected line found opens the
// edit dialog (修改已存在的提醒事件：) with the start date in its sentence and the
// record's period, unit and content in the boxes; not found gives the same
// box, then the week view is refreshed.
void OpenEditEventDialog(ui::Context& ctx);

// 确定 of the edit dialog: the checks above, then the record found again by
// the number and text remembered at opening gets the period, unit and
// content; its start date never changes. Success refills the event list and
// closes the dialog; a record no longer there, or a failed write, shows 错误！
// "修改记录失败" and keeps it open. A stored unit other than the four leaves
// the unit box blank, and the unit is written only once one is chosen.
void ConfirmEditEvent(ui::Context& ctx);

// 删除周期性事件, without a question: the record of the selected line found
// is deleted, tx35 packed and the event list refilled; a failed delete or
// pack shows 错误！ "删除记录失败！" and refills the list (a record marked
// before the pack failed is not listed; the next pack removes it). No line
// selected or not found gives 信息！ "请选择一条记录后再进行删除！", then the week
// view is refreshed.
void DeleteSelectedEvent(ui::Context& ctx);

// The open add / edit dialog of the context's window, or nullptr.
QWidget* OpenedAddEventDialog(const ui::Context& ctx);
QWidget* OpenedEditEventDialog(const ui::Context& ctx);

// Connects the right button over 列表框_周期事项 (the menu pops up where it was
// pressed; the selection stays), the double click on a line and the menu's
// three items. Once per window; a further call does nothing.
void ConnectEventList(ui::Context& ctx);

}  // namespace tarvok::events
