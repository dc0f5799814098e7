// The three grid chains of the main window and what the shell does with
// them: pointing them at the table files, handing them the password.
//
//   grid                data source    provider              file
//   表格_日志一览       数据源_日志    数据库提供者_日志     data/rz35.edb
//   表格_周期事项一览   数据源_事项    数据库提供者_事项     data/tx35.edb
//   表格_人脉           数据源_联系人  数据库提供者_联系人   data/lxr35.edb
#pragma once

#include <string>

#include "ui/context.h"

namespace tarvok::app {

// For each chain in the order above: the provider's file, the data source's
// provider, the grid's data source. The contacts source takes edits (new
// contacts are typed into the grid); the other two only show.
void BindGridSources(ui::Context& ctx);

// The password of the tables, to the three providers (each reloads).
void GiveProvidersPassword(ui::Context& ctx, const std::string& password);

}  // namespace tarvok::app
