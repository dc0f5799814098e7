// The summon hot key: one key combination that hides the main window when
// it is shown and brings it back when it is hidden, wherever the keyboard
// focus is.
//
// The user presses the combination in the read-only box 编辑框_热键1 of the
// settings page, which shows it as text ("Ctrl + Alt + Z"); 按钮_注册热键1
// registers it. Each key press in the box writes 全局热键/功能键1 (the
// modifier code) and 全局热键/主热键1 (the virtual-key code); the button
// writes 全局热键/呼出热键 (the shown text), whether or not the registration
// succeeded. The start-up registers the stored combination again, quietly.
//
// Key codes are the organiser's virtual-key codes: "0".."9" 48..57, "A".."Z"
// 65..90, F1..F24 112..135, Space 32, arrows 37..40, ";=,-./`" 186..192,
// "[\]'" 219..222, Shift 16, Ctrl 17, Alt 18, and so on. The digits and
// "-./" of the numeric keypad come as their main-keyboard codes (48..57,
// 189..191); its "*" and "+" are 106 and 107. A shifted symbol comes as the
// code of its key: Shift + "%" is Shift + 53. Modifier codes: Ctrl 1,
// Shift 2, Alt 4, added together, as held at the press; a modifier key's own
// bit is left out ("Ctrl" pressed alone is key 17 with modifiers 0).
//
// At most one combination is registered at a time, under an identifier of
// its own: 33001 for the first registration of the run, one more for each
// later one, ctx.state.hot_key_id while it holds (0 when none). Its presses
// reach 标签_热键反馈1, which runs ToggleMainWindow with the identifier.
#pragma once

#include <string>

#include "ui/context.h"

namespace tarvok::app {

// The first identifier of a run.
inline constexpr int kFirstHotKeyId = 33001;

// Updates and returns state.hot_key_text for a key press: a modifier prefix
// ("Ctrl + ", "Ctrl + Shift + Alt + ", ...) when modifiers are held (any
// other value keeps the text), replaced when the key is itself a modifier,
// then the key's name appended after a prefix or standing alone ("F5";
// empty for a key without a name).
std::string FormatHotKey(ui::AppState& state, int key_code, int modifiers);

// A key press in 编辑框_热键1: the box shows FormatHotKey, the state keeps
// the codes (whatever key it was), and 功能键1 / 主热键1 are written.
void CaptureHotKey(ui::Context& ctx, int key_code, int modifiers);

// A key release in 编辑框_热键1: a text of modifiers only is dropped and the
// box shows "无"; otherwise the box shows the text.
void FinishHotKeyText(ui::Context& ctx);

enum class RegisterFrom {
  kStartUp,  // quiet
  kButton,   // tells the outcome, then writes 呼出热键
};

// Unregisters the hot key held, then registers ctx.state's codes under the
// next identifier through the current registrar (app/global_hot_key.h).
// From the button: success shows "热键：‘<box>’注册成功！" (信息：); a refusal
// says why in an information box; either way 呼出热键 := the box's text.
void RegisterSummonHotKey(ui::Context& ctx, RegisterFrom from);

// A press of the hot key `id`: ctx.ToggleMainWindow() when `id` is the one
// registered, otherwise nothing.
void ToggleMainWindow(ui::Context& ctx, int id);

// Connects the key presses and releases of 编辑框_热键1 (the box takes every
// key but those of the window's shortcuts) and the click of 按钮_注册热键1.
// A second call for the same window does nothing. The registration is
// released when the window goes.
void ConnectHotKey(ui::Context& ctx);

}  // namespace tarvok::app
