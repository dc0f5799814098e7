#include "app/global_hot_key.h"

#include <QGuiApplication>
#include <QString>

#define XK_MISCELLANY
#define XK_LATIN1
#include <X11/keysymdef.h>

namespace tarvok::app {
namespace {

// Where no platform offers system-wide hot keys (offscreen, other
// platforms, a Wayland build without QtDBus).
class NoHotKeys final : public HotKeyRegistrar {
 public:
  HotKeyResult Register(int, int, int, std::function<void()>) override {
    return HotKeyResult::kNotPossible;
  }
  void Unregister(int) override {}
};

std::unique_ptr<HotKeyRegistrar> MakePlatformRegistrar() {
  std::unique_ptr<HotKeyRegistrar> registrar;
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb")) registrar = MakeX11HotKeyRegistrar();
  if (platform.startsWith(QLatin1String("wayland"))) registrar = MakePortalHotKeyRegistrar();
  if (!registrar) registrar = std::make_unique<NoHotKeys>();
  return registrar;
}

HotKeyRegistrar* current = nullptr;

}  // namespace

int RegistrationModifiers(int modifier_code) {
  static constexpr int kMapped[] = {0,
                                    kModControl,
                                    kModShift,
                                    kModControl | kModShift,
                                    kModAlt,
                                    kModControl | kModAlt,
                                    kModShift | kModAlt,
                                    kModControl | kModShift | kModAlt};
  if (modifier_code < 0 || modifier_code > 7) return modifier_code;
  return kMapped[modifier_code];
}

KeySymbol KeySymbolOf(int key_code) {
  if (key_code >= 48 && key_code <= 57) {
    static const char* const kDigits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    return {static_cast<unsigned>(XK_0 + (key_code - 48)), kDigits[key_code - 48]};
  }
  if (key_code >= 65 && key_code <= 90) {
    static const char* const kLetters[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i",
                                           "j", "k", "l", "m", "n", "o", "p", "q", "r",
                                           "s", "t", "u", "v", "w", "x", "y", "z"};
    return {static_cast<unsigned>(XK_a + (key_code - 65)), kLetters[key_code - 65]};
  }
  if (key_code >= 96 && key_code <= 105) {
    static const char* const kPad[] = {"KP_0", "KP_1", "KP_2", "KP_3", "KP_4",
                                       "KP_5", "KP_6", "KP_7", "KP_8", "KP_9"};
    return {static_cast<unsigned>(XK_KP_0 + (key_code - 96)), kPad[key_code - 96]};
  }
  if (key_code >= 112 && key_code <= 135) {
    static const char* const kF[] = {"F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
                                     "F9",  "F10", "F11", "F12", "F13", "F14", "F15", "F16",
                                     "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"};
    return {static_cast<unsigned>(XK_F1 + (key_code - 112)), kF[key_code - 112]};
  }
  switch (key_code) {
    case 8: return {XK_BackSpace, "BackSpace"};
    case 9: return {XK_Tab, "Tab"};
    case 13: return {XK_Return, "Return"};
    case 19: return {XK_Pause, "Pause"};
    case 27: return {XK_Escape, "Escape"};
    case 32: return {XK_space, "space"};
    case 33: return {XK_Prior, "Prior"};
    case 34: return {XK_Next, "Next"};
    case 35: return {XK_End, "End"};
    case 36: return {XK_Home, "Home"};
    case 37: return {XK_Left, "Left"};
    case 38: return {XK_Up, "Up"};
    case 39: return {XK_Right, "Right"};
    case 40: return {XK_Down, "Down"};
    case 44: return {XK_Print, "Print"};
    case 45: return {XK_Insert, "Insert"};
    case 46: return {XK_Delete, "Delete"};
    case 93: return {XK_Menu, "Menu"};
    case 106: return {XK_KP_Multiply, "KP_Multiply"};
    case 107: return {XK_KP_Add, "KP_Add"};
    case 109: return {XK_KP_Subtract, "KP_Subtract"};
    case 110: return {XK_KP_Decimal, "KP_Decimal"};
    case 111: return {XK_KP_Divide, "KP_Divide"};
    case 186: return {XK_semicolon, "semicolon"};
    case 187: return {XK_equal, "equal"};
    case 188: return {XK_comma, "comma"};
    case 189: return {XK_minus, "minus"};
    case 190: return {XK_period, "period"};
    case 191: return {XK_slash, "slash"};
    case 192: return {XK_grave, "grave"};
    case 219: return {XK_bracketleft, "bracketleft"};
    case 220: return {XK_backslash, "backslash"};
    case 221: return {XK_bracketright, "bracketright"};
    case 222: return {XK_apostrophe, "apostrophe"};
    default: return {};
  }
}

HotKeyRegistrar& HotKeyRegistrars() {
  if (current != nullptr) return *current;
  static const std::unique_ptr<HotKeyRegistrar> platform = MakePlatformRegistrar();
  return *platform;
}

HotKeyRegistrar* SetHotKeyRegistrar(HotKeyRegistrar* registrar) {
  HotKeyRegistrar* previous = current;
  current = registrar;
  return previous;
}

}  // namespace tarvok::app
