// The settings in config.ini of the program directory: read once at the end
// of start-up, written the moment the user changes them. Sections, keys and
// values are GBK texts; numbers are decimal texts.
//
//   全局热键   呼出热键  the summon hot key's text         ""
//              功能键1   its modifiers: Ctrl 1, Shift 2, Alt 4   "" (0)
//              主热键1   its key code                       "" (0)
//   默认视图   左侧      "0" month view, else week view     "" (week)
//              右侧      "0" 今日 "1" 数据总览 "2" 备忘便签, else 联系人
//   表格缩放   缩放比    zoom of the overview and contacts grids, %   "100"
//   周历行高   行高      height of rows 1..7 of the week grid, px     "33"
//   标题图片   今日 总览 便签 联系人   file names in pic          jr.jpg ...
//   最小化方式 最小化方式 "0" tray icon, else screen-top strip        "0"
//
// Texts compare byte for byte: "01" is not "1". Missing file or key: the
// default. A failed write is not reported; the choice is then lost at the
// next start.
#pragma once

#include <string>
#include <string_view>

#include "ui/context.h"

namespace tarvok::app {

// One value of config.ini.
std::string ReadSetting(const ui::Context& ctx, std::string_view gbk_section,
                        std::string_view gbk_key, std::string_view gbk_default);
void WriteSetting(const ui::Context& ctx, std::string_view gbk_section,
                  std::string_view gbk_key, std::string_view gbk_value);

// The integer part of the number a text starts with (TextToNumber), held to
// the int range; 0 for none.
int IntegerPart(std::string_view text);

// The last step of start-up: hot-key values, default pages, zoom, week-row
// height, title pictures, minimize mode, in this order.
void LoadSettings(ui::Context& ctx);

// The zoom of 表格_人脉, 表格_日志一览 and 表格_周期事项一览 := the integer part of
// 编辑框2 (held to the grids' 20 .. 1000).
void ApplyZoom(ui::Context& ctx);
// Rows 1 to 7 of the week grid 高级表格_周历 (row 0 is its header) := the
// integer part of 编辑框3 pixels high; rows the grid lacks are left out.
void ApplyWeekRowHeight(ui::Context& ctx);

// Connects the writers of the settings page: the radio buttons of the
// default pages and the minimize mode (each writes its value and nothing
// else: the running program keeps its pages and mode), the two spin boxes
// (each change writes) and their 立即生效 buttons (write, then apply), and
// the title pictures' double click and hover. Once per window.
void ConnectSettings(ui::Context& ctx);

}  // namespace tarvok::app
