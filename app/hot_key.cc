#include "app/hot_key.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include "app/global_hot_key.h"
#include "app/settings.h"
#include "platform/gbk.h"
#include "ui/dialogs.h"

namespace tarvok::app {
namespace {

constexpr int kShiftKey = 16, kCtrlKey = 17, kAltKey = 18;

// The virtual-key code of a Qt key. Symbols are taken back to the key of a
// US keyboard that gives them, so Shift + "5" is 53 whether Qt reports "5"
// or "%".
int VirtualKey(int key, bool keypad) {
  if (keypad) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return 48 + (key - Qt::Key_0);
    switch (key) {
      case Qt::Key_Asterisk: return 106;
      case Qt::Key_Plus: return 107;
      case Qt::Key_Minus: return 189;
      case Qt::Key_Period:
      case Qt::Key_Comma: return 190;  // the keypad's decimal key
      case Qt::Key_Slash: return 191;
      default: break;  // the navigation keys of a keypad without NumLock
    }
  }
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return 48 + (key - Qt::Key_0);
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 65 + (key - Qt::Key_A);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Clear: return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return kShiftKey;
    case Qt::Key_Control: return kCtrlKey;
    case Qt::Key_Alt: return kAltKey;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Meta: return 91;
    case Qt::Key_Menu: return 93;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    case Qt::Key_ParenRight: return 48;
    case Qt::Key_Exclam: return 49;
    case Qt::Key_At: return 50;
    case Qt::Key_NumberSign: return 51;
    case Qt::Key_Dollar: return 52;
    case Qt::Key_Percent: return 53;
    case Qt::Key_AsciiCircum: return 54;
    case Qt::Key_Ampersand: return 55;
    case Qt::Key_Asterisk: return 56;
    case Qt::Key_ParenLeft: return 57;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 188;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 189;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 191;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 192;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 222;
    default: return 0;
  }
}

// Ctrl 1, Shift 2, Alt 4 as held; a modifier key's own bit left out.
int ModifierCode(Qt::KeyboardModifiers held, int key_code) {
  int code = 0;
  if (held & Qt::ControlModifier) code |= 1;
  if (held & Qt::ShiftModifier) code |= 2;
  if (held & Qt::AltModifier) code |= 4;
  if (key_code == kCtrlKey) code &= ~1;
  if (key_code == kShiftKey) code &= ~2;
  if (key_code == kAltKey) code &= ~4;
  return code;
}

std::string KeyName(int key) {
  if (key >= 112 && key <= 123) return "F" + std::to_string(key - 111);
  if ((key >= 48 && key <= 57) || (key >= 65 && key <= 90)) return std::string(1, char(key));
  switch (key) {
    case 32: return "空格"_gbk;
    case 37: return "←"_gbk;
    case 38: return "↑"_gbk;
    case 39: return "→"_gbk;
    case 40: return "↓"_gbk;
    case 106: return "*";
    case 107: return "+";
    case 186: return ";";
    case 187: return "=";
    case 188: return ",";
    case 189: return "-";
    case 190: return ".";
    case 191: return "/";
    case 192: return "`";
    case 219: return "[";
    case 220: return "\\";
    case 221: return "]";
    case 222: return "'";
    default: return "";
  }
}

bool EndsInSpace(const std::string& text) { return !text.empty() && text.back() == ' '; }

ui::EditBox HotKeyBox(const ui::Context& ctx) { return ctx.units().Edit("编辑框_热键1"_gbk); }

// What the hot key keeps per window: the identifiers handed out, the
// registration held, and the key handling of 编辑框_热键1. A child of that
// box, so it goes with the window, and the registration with it.
class HotKeyUnit : public QObject {
 public:
  static constexpr const char* kName = "tarvok-hot-key";

  static HotKeyUnit& Of(ui::Context& ctx) {
    QWidget* box = HotKeyBox(ctx).widget();
    auto* unit =
        box->findChild<HotKeyUnit*>(QString::fromLatin1(kName), Qt::FindDirectChildrenOnly);
    if (unit == nullptr) unit = new HotKeyUnit(box);
    unit->ctx_ = &ctx;
    return *unit;
  }

  ~HotKeyUnit() override { Release(); }

  int NextId() { return next_id_++; }
  void Hold(HotKeyRegistrar& registrar, int id) {
    registrar_ = &registrar;
    held_id_ = id;
  }
  void Release() {
    if (registrar_ != nullptr && held_id_ != 0) registrar_->Unregister(held_id_);
    registrar_ = nullptr;
    held_id_ = 0;
  }

  // Once per window.
  bool Connect() {
    if (connected_) return false;
    connected_ = true;
    parent()->installEventFilter(this);
    return true;
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const int code = VirtualKey(key->key(), key->modifiers() & Qt::KeypadModifier);
      CaptureHotKey(*ctx_, code, ModifierCode(key->modifiers(), code));
      return true;
    }
    if (event->type() == QEvent::KeyRelease) {
      // A held key repeats its press; its release comes once, at the end.
      if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) FinishHotKeyText(*ctx_);
      return true;
    }
    return false;
  }

 private:
  explicit HotKeyUnit(QWidget* box) : QObject(box) { setObjectName(QString::fromLatin1(kName)); }

  ui::Context* ctx_ = nullptr;
  int next_id_ = kFirstHotKeyId;
  HotKeyRegistrar* registrar_ = nullptr;  // the one holding held_id_
  int held_id_ = 0;
  bool connected_ = false;
};

std::string RefusalText(HotKeyResult result, const std::string& shown) {
  const std::string head = "热键：‘"_gbk + shown + "’注册失败："_gbk;
  switch (result) {
    case HotKeyResult::kTaken:
      return head + "这个组合键已被其他程序占用，请换一个组合键。"_gbk;
    case HotKeyResult::kUnusableKey:
      return head + "这个按键不能用作全局热键，请换一个组合键。"_gbk;
    default:
      return head + "当前的桌面环境不支持全局热键。"_gbk;
  }
}

}  // namespace

std::string FormatHotKey(ui::AppState& state, int key_code, int modifiers) {
  std::string& text = state.hot_key_text;
  // 1. The prefix of the modifiers held.
  switch (modifiers) {
    case 7: text = "Ctrl + Shift + Alt + "; break;
    case 3: text = "Ctrl + Shift + "; break;
    case 5: text = "Ctrl + Alt + "; break;
    case 6: text = "Shift + Alt + "; break;
    case 1: text = "Ctrl + "; break;
    case 2: text = "Shift + "; break;
    case 4: text = "Alt + "; break;
    default: break;
  }
  // 2. The key itself a modifier: first match.
  static const struct {
    int key, modifiers;
    const char* text;
  } kModifierKeys[] = {
      {kCtrlKey, 0, "Ctrl + "},           {kCtrlKey, 2, "Ctrl + Shift + "},
      {kCtrlKey, 4, "Ctrl + Alt + "},     {kCtrlKey, 6, "Ctrl + Shift + Alt + "},
      {kShiftKey, 0, "Shift + "},         {kShiftKey, 4, "Shift + Alt + "},
      {kAltKey, 0, "Alt + "},
  };
  for (const auto& m : kModifierKeys) {
    if (m.key == key_code && m.modifiers == modifiers) {
      text = m.text;
      break;
    }
  }
  // 3, 4. The key's name after a prefix, or alone.
  const std::string name = KeyName(key_code);
  text = EndsInSpace(text) ? text + name : name;
  return text;
}

void CaptureHotKey(ui::Context& ctx, int key_code, int modifiers) {
  HotKeyBox(ctx).SetText(FormatHotKey(ctx.state, key_code, modifiers));
  ctx.state.hot_key_modifiers = modifiers;
  ctx.state.hot_key_code = key_code;
  const std::string section = "全局热键"_gbk;
  WriteSetting(ctx, section, "功能键1"_gbk, std::to_string(modifiers));
  WriteSetting(ctx, section, "主热键1"_gbk, std::to_string(key_code));
}

void FinishHotKeyText(ui::Context& ctx) {
  if (EndsInSpace(ctx.state.hot_key_text)) {
    ctx.state.hot_key_text.clear();
    HotKeyBox(ctx).SetText("无"_gbk);
  } else {
    HotKeyBox(ctx).SetText(ctx.state.hot_key_text);
  }
}

void RegisterSummonHotKey(ui::Context& ctx, RegisterFrom from) {
  HotKeyUnit& unit = HotKeyUnit::Of(ctx);
  // 1. The previous registration goes first.
  unit.Release();
  ctx.state.hot_key_id = 0;

  // 2. Presses go to 标签_热键反馈1 as its notification, after the handler
  //    that received them has returned; a window already gone takes none.
  const int id = unit.NextId();
  HotKeyRegistrar& registrar = HotKeyRegistrars();
  QPointer<QLabel> feedback = ctx.units().Text("标签_热键反馈1"_gbk).widget();
  ui::Context* c = &ctx;
  const HotKeyResult result =
      registrar.Register(id, RegistrationModifiers(ctx.state.hot_key_modifiers),
                         ctx.state.hot_key_code, [feedback, c, id] {
                           if (!feedback) return;
                           QMetaObject::invokeMethod(
                               feedback.data(), [c, id] { ToggleMainWindow(*c, id); },
                               Qt::QueuedConnection);
                         });
  if (result == HotKeyResult::kRegistered) {
    unit.Hold(registrar, id);
    ctx.state.hot_key_id = id;
  }

  // 3.
  if (from != RegisterFrom::kButton) return;
  const std::string shown = HotKeyBox(ctx).Text();
  if (result == HotKeyResult::kRegistered) {
    ui::Dialogs().ShowMessage(
        {ui::BoxKind::kInformation, ui::TitleNone(), "热键：‘"_gbk + shown + "’注册成功！"_gbk});
  } else {
    ui::ShowInformation(RefusalText(result, shown));
  }
  WriteSetting(ctx, "全局热键"_gbk, "呼出热键"_gbk, shown);
}

void ToggleMainWindow(ui::Context& ctx, int id) {
  if (id == 0 || id != ctx.state.hot_key_id) return;
  ctx.ToggleMainWindow();
}

void ConnectHotKey(ui::Context& ctx) {
  if (!HotKeyUnit::Of(ctx).Connect()) return;
  ui::Context* c = &ctx;
  ctx.units().Push("按钮_注册热键1"_gbk).OnClick([c] {
    RegisterSummonHotKey(*c, RegisterFrom::kButton);
  });
}

}  // namespace tarvok::app
