// The title pictures at the top of the four right-hand pages, 390 x 50 each:
// 图片框_今日, 图片框_总览, 图片框_便签, 图片框_联系人. Their files lie in the folder
// pic of the program directory under the names kept in section 标题图片 of
// config.ini (keys 今日, 总览, 便签, 联系人; defaults jr.jpg, zl.jpg, bq.jpg,
// lxr.jpg). The program carries the four default pictures and writes them
// into pic when they are missing.
#pragma once

#include "ui/context.h"

namespace tarvok::app {

// Creates pic when missing and writes the four defaults into it then;
// otherwise writes each default only when no file of its name is in pic.
// A file that is there is never touched. Failures are not reported (a
// picture that is not there shows as an empty box).
void PrepareTitlePictures(ui::Context& ctx);

// Shows in each of the four boxes the file named by its setting in pic; a
// missing or unreadable file, or one that is no picture, leaves it empty.
void ShowTitlePictures(ui::Context& ctx);

// The double click on title picture `box` (0 今日 .. 3 联系人): asks
// "需要修改标题图片吗？", lets the user choose a JPG or GIF file, copies it
// into pic under its own name, stores that name for the box and shows it.
// A copy that fails shows "复制图片文件失败！" and changes nothing. A file of
// that name already in pic (and not the chosen file itself) is replaced
// only after the user agrees.
void ChangeTitlePicture(ui::Context& ctx, int box);

// Mouse move over title picture `box`: the hint "双击可修改图片".
void ShowPictureHint(ui::Context& ctx, int box);

// Connects the four boxes' double click and mouse move. Once per window.
void ConnectTitlePictures(ui::Context& ctx);

}  // namespace tarvok::app
