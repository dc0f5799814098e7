// The password switch of the settings page: the check box 选择框_加密
// "为数据库加密" and the label 标签_加密状态 ("已加密" / "未加密"), which is the
// program's record of the state.
//
// Checking the box asks for a password (visible while typed) and protects
// the four tables with it; clearing it asks "确定取消数据库加密？" and removes
// the protection. The grids' providers learn every new password. A switch
// that fails on any table gives the tables already changed their previous
// password back, so all four stay under one password, and the box and the
// label keep showing the state the tables are in.
#pragma once

#include "ui/context.h"

namespace tarvok::tables {

// The click on 选择框_加密, which has already changed its state.
void OnEncryptToggle(ui::Context& ctx);
// Sets the password typed into the switch on the four tables.
void ProtectAllTables(ui::Context& ctx);
// Connects the check box's click. Once per window.
void ConnectPasswordSwitch(ui::Context& ctx);

}  // namespace tarvok::tables
