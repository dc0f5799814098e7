// The contacts page: the grid 表格_人脉 over lxr35 or one letter group, the
// seven buttons 全部, A-D … U-Z, and the grid's menu 人脉菜单 (新增联系人,
// 删除联系人).
//
// While all of lxr35 is shown, the grid takes edits: a new contact is an
// empty row typed into there. A letter group is a copy; it only shows, so
// nothing typed is lost in a copy that never reaches lxr35. Whichever is
// shown, adding and deleting work on lxr35: deleting in a group deletes the
// contact that the row was copied from (each row keeps its source's record
// number), after checking that the contact is still the one shown; the
// group is then built again.
#pragma once

#include "ui/context.h"

namespace tarvok::contacts {

// Builds group `index` (0 A-D … 5 U-Z) and shows it.
void ShowContactGroup(ui::Context& ctx, int index);
// Shows all of lxr35 again.
void ShowAllContacts(ui::Context& ctx);
// 新增联系人 (an empty contact appended to lxr35; all contacts shown, the
// cursor on the new row) and 删除联系人.
void AddContact(ui::Context& ctx);
void DeleteContact(ui::Context& ctx);
// The grid's main event: lxr35's position follows the contact of the
// cursor row.
void FollowContactCursor(ui::Context& ctx);

// Connects the buttons, the menu and the main event. Once per window.
void ConnectContactBook(ui::Context& ctx);

}  // namespace tarvok::contacts
