// System-wide hot keys: a key combination that reaches the organiser
// whichever program has the keyboard. A registrar registers a combination
// under an identifier and runs its `pressed` function, on the user-interface
// thread, at each press until the identifier is unregistered.
//
// Combinations are given as the hot-key layer keeps them: a virtual-key code
// (app/hot_key.h) and registration modifiers (kModAlt, kModControl,
// kModShift, kModSuper added together). The registrar in use is the
// process-wide current one: the platform's (X11 key grabs, the desktop
// portal on Wayland, none elsewhere) unless a test has put its own in place.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tarvok::app {

// Registration modifiers (the order of the system's hot-key flags, not the
// organiser's modifier code).
inline constexpr int kModAlt = 1;
inline constexpr int kModControl = 2;
inline constexpr int kModShift = 4;
inline constexpr int kModSuper = 8;
inline constexpr int kModAll = kModAlt | kModControl | kModShift | kModSuper;

// The organiser's modifier code (Ctrl 1, Shift 2, Alt 4; 0 to 7) as
// registration modifiers. Any other value is passed on unchanged.
int RegistrationModifiers(int modifier_code);

enum class HotKeyResult {
  kRegistered,
  kTaken,        // another program holds the combination, or the user refused it
  kUnusableKey,  // no such key here, a modifier or lock key, unknown modifiers
  kNotPossible,  // this desktop offers no system-wide hot keys
};

class HotKeyRegistrar {
 public:
  virtual ~HotKeyRegistrar() = default;
  // Registers the combination under `id` (not in use). `pressed` runs at each
  // press until Unregister(id); never from inside Register.
  virtual HotKeyResult Register(int id, int modifiers, int key_code,
                                std::function<void()> pressed) = 0;
  // Removes the registration `id`; an identifier not registered: nothing.
  virtual void Unregister(int id) = 0;
};

// The current registrar. Never null: the platform's unless one was set. The
// platform's is chosen at the first call, which needs the QGuiApplication.
HotKeyRegistrar& HotKeyRegistrars();
// Makes `registrar` current (nullptr = back to the platform's) and returns
// the previous one, or nullptr when that was the platform's. A registrar
// must outlive every registration made through it.
HotKeyRegistrar* SetHotKeyRegistrar(HotKeyRegistrar* registrar);

class ScopedHotKeyRegistrar {
 public:
  explicit ScopedHotKeyRegistrar(HotKeyRegistrar* registrar)
      : previous_(SetHotKeyRegistrar(registrar)) {}
  ~ScopedHotKeyRegistrar() { SetHotKeyRegistrar(previous_); }
  ScopedHotKeyRegistrar(const ScopedHotKeyRegistrar&) = delete;
  ScopedHotKeyRegistrar& operator=(const ScopedHotKeyRegistrar&) = delete;

 private:
  HotKeyRegistrar* previous_;
};

// The key a virtual-key code stands for, as an X keysym and its name (the
// name the desktop portal's triggers use). keysym 0 and name nullptr for a
// code that cannot be a hot key's main key: unknown codes, modifier and lock
// keys.
struct KeySymbol {
  unsigned keysym = 0;
  const char* name = nullptr;
};
KeySymbol KeySymbolOf(int key_code);

// The platform registrars, for the choice in HotKeyRegistrars and for
// checks of their own.
//
// Key grabs on the X server's root windows; nullptr when the application
// does not run on xcb. Each combination is grabbed with and without NumLock
// and CapsLock; a grab the server refuses (another client holds it) is
// kTaken.
std::unique_ptr<HotKeyRegistrar> MakeX11HotKeyRegistrar();
// The desktop portal's global shortcuts over the session bus, or over the
// bus at `bus_address` when it is not empty; nullptr when the organiser was
// built without QtDBus. Without a bus or a portal, registering is
// kNotPossible.
std::unique_ptr<HotKeyRegistrar> MakePortalHotKeyRegistrar(const std::string& bus_address = "");

}  // namespace tarvok::app
