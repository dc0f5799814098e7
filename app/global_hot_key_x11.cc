// Hot keys on X11: a passive key grab on every root window, one per keycode
// of the key and per state of the NumLock and CapsLock locks, with the
// presses taken from Qt's own connection before Qt dispatches its events.
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "app/global_hot_key.h"

namespace tarvok::app {
namespace {

// The modifiers a grab names; the others (the locks, Mod3, Mod5) do not
// tell presses apart.
constexpr uint16_t kRelevant =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
// NumLock is Mod2 in every keymap the X servers ship.
constexpr uint16_t kLockStates[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                    XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

uint16_t ModMask(int modifiers) {
  uint16_t mask = 0;
  if (modifiers & kModAlt) mask |= XCB_MOD_MASK_1;
  if (modifiers & kModControl) mask |= XCB_MOD_MASK_CONTROL;
  if (modifiers & kModShift) mask |= XCB_MOD_MASK_SHIFT;
  if (modifiers & kModSuper) mask |= XCB_MOD_MASK_4;
  return mask;
}

class X11HotKeys final : public HotKeyRegistrar, public QAbstractNativeEventFilter {
 public:
  explicit X11HotKeys(xcb_connection_t* connection) : connection_(connection) {
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_)); it.rem;
         xcb_screen_next(&it)) {
      roots_.push_back(it.data->root);
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
  }

  ~X11HotKeys() override {
    // After the application is gone its connection is too, and the server
    // has dropped the grabs with it.
    if (QCoreApplication::instance() == nullptr) return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const Grab& g : grabs_) Ungrab(g.mask, g.keycodes);
    xcb_flush(connection_);
  }

  HotKeyResult Register(int id, int modifiers, int key_code,
                        std::function<void()> pressed) override {
    const KeySymbol symbol = KeySymbolOf(key_code);
    if (symbol.keysym == 0 || (modifiers & ~kModAll) != 0) return HotKeyResult::kUnusableKey;
    if (Find(id) != grabs_.end()) return HotKeyResult::kTaken;
    std::vector<xcb_keycode_t> keycodes = Keycodes(symbol.keysym);
    if (keycodes.empty()) return HotKeyResult::kUnusableKey;  // not on this keyboard
    const uint16_t mask = ModMask(modifiers);
    for (const Grab& g : grabs_) {
      // Our own grab would be replaced silently: the combination is taken.
      if (g.mask == mask && g.keycodes == keycodes) return HotKeyResult::kTaken;
    }

    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_window_t root : roots_) {
      for (xcb_keycode_t keycode : keycodes) {
        for (uint16_t locks : kLockStates) {
          cookies.push_back(xcb_grab_key_checked(connection_, /*owner_events=*/0, root,
                                                 mask | locks, keycode, XCB_GRAB_MODE_ASYNC,
                                                 XCB_GRAB_MODE_ASYNC));
        }
      }
    }
    bool refused = false, taken = false;
    for (xcb_void_cookie_t cookie : cookies) {
      if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
        refused = true;
        taken = taken || error->error_code == XCB_ACCESS;
        std::free(error);
      }
    }
    if (refused) {
      // Ungrabbing touches only this client's grabs: the other client keeps
      // the combination.
      Ungrab(mask, keycodes);
      xcb_flush(connection_);
      return taken ? HotKeyResult::kTaken : HotKeyResult::kUnusableKey;
    }
    grabs_.push_back({id, mask, std::move(keycodes), std::move(pressed)});
    return HotKeyResult::kRegistered;
  }

  void Unregister(int id) override {
    const auto it = Find(id);
    if (it == grabs_.end()) return;
    Ungrab(it->mask, it->keycodes);
    xcb_flush(connection_);
    grabs_.erase(it);
  }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS) return false;
    const auto* press = static_cast<const xcb_key_press_event_t*>(message);
    if (std::find(roots_.begin(), roots_.end(), press->event) == roots_.end()) return false;
    for (const Grab& g : grabs_) {
      if ((press->state & kRelevant) != g.mask) continue;
      if (std::find(g.keycodes.begin(), g.keycodes.end(), press->detail) == g.keycodes.end()) {
        continue;
      }
      // A copy: the handler may unregister this very grab.
      const std::function<void()> pressed = g.pressed;
      if (pressed) pressed();
      return true;
    }
    return false;
  }

 private:
  struct Grab {
    int id;
    uint16_t mask;
    std::vector<xcb_keycode_t> keycodes;
    std::function<void()> pressed;
  };

  std::vector<Grab>::iterator Find(int id) {
    return std::find_if(grabs_.begin(), grabs_.end(), [id](const Grab& g) { return g.id == id; });
  }

  // Every keycode that carries the keysym in the current keymap.
  std::vector<xcb_keycode_t> Keycodes(unsigned keysym) const {
    std::vector<xcb_keycode_t> keycodes;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
    if (symbols == nullptr) return keycodes;
    if (xcb_keycode_t* found = xcb_key_symbols_get_keycode(symbols, keysym)) {
      for (xcb_keycode_t* k = found; *k != XCB_NO_SYMBOL; ++k) {
        if (std::find(keycodes.begin(), keycodes.end(), *k) == keycodes.end()) {
          keycodes.push_back(*k);
        }
      }
      std::free(found);
    }
    xcb_key_symbols_free(symbols);
    return keycodes;
  }

  void Ungrab(uint16_t mask, const std::vector<xcb_keycode_t>& keycodes) const {
    for (xcb_window_t root : roots_) {
      for (xcb_keycode_t keycode : keycodes) {
        for (uint16_t locks : kLockStates) {
          xcb_ungrab_key(connection_, keycode, root, mask | locks);
        }
      }
    }
  }

  xcb_connection_t* connection_;
  std::vector<xcb_window_t> roots_;
  std::vector<Grab> grabs_;
};

}  // namespace

std::unique_ptr<HotKeyRegistrar> MakeX11HotKeyRegistrar() {
  if (qGuiApp == nullptr) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return nullptr;
  return std::make_unique<X11HotKeys>(x11->connection());
}

}  // namespace tarvok::app
