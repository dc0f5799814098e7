// Where the main window goes when it is minimised, and how it comes back.
//
// The minimize mode read at start-up (ctx.state.minimize_mode) decides:
//   "0"        tray mode: the window hides and an icon in the notification
//              area ("Tarvokline V3.5.1.0") stands for it; a click or a
//              double click on the icon, or its menu's "恢复窗口", restores
//              it; the menu's "退出" asks "确认要退出程序？" and ends.
//   otherwise  strip mode: the window hides behind TopStripWindow, a
//              380 x 5 yellow strip at the top of the screen, always on top
//              and not in the taskbar; a click on the strip restores it.
//              Only the exact text "1" also hides the window when it is
//              parked at the top edge and another program takes the
//              activation.
// The mode is not changed while the program runs: the radio buttons of the
// settings page only write the settings file.
//
// Once a second (the main window's timer 时钟) a window whose top edge is
// less than 100 pixels below the top of its screen is parked 2 pixels below
// it. "Its screen" and "the top" are those of the screen the window is on
// (its available geometry, without the panels), so the rule holds on every
// monitor of a multi-screen desktop and never puts the title bar under a
// panel.
//
// Two cases where the window could otherwise be lost:
//   - Tray mode on a desktop without a notification area: with a summon hot
//     key registered (ctx.state.hot_key_id != 0) the window hides all the
//     same and the hot key brings it back; without one it hides behind the
//     strip instead, which is always there to click. The same holds when
//     the notification area goes away while the window hides in it
//     (KeepHiddenWindowReachable).
//   - The strip's place: 800 pixels from the left edge of the screen the
//     main window was on, moved left as far as needed for all 380 pixels to
//     lie on that screen (StripGeometry).
//
// The handlers run on the user-interface thread. The window's state and
// move events are handled once the event that raised them has been
// delivered (OnMainWindowMoved reads the state as it is then), because
// hiding a window inside its own minimise would be undone by Qt.
#pragma once

#include <QRect>

#include <functional>
#include <optional>
#include <vector>

#include "ui/context.h"

class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace tarvok::app {

inline constexpr char kTrayTip[] = "Tarvokline V3.5.1.0";
inline constexpr int kStripWidth = 380;
inline constexpr int kStripHeight = 5;
inline constexpr int kStripLeft = 800;  // from the screen's left edge
inline constexpr int kSnapZone = 100;   // top edges above this are parked
inline constexpr int kParkedTop = 2;    // ... this far below the screen's top

// Connects the window modes to ctx.window: its state changes and moves
// (OnMainWindowMoved), its deactivation (OnMainWindowDeactivated), the ticks
// of its timer 时钟 (TopSnap), and installs ctx.toggle_main_window (shown:
// minimise, which hides it; hidden or minimised: RestoreMainWindow). Once
// per window; a second call does nothing.
void ConnectWindowModes(ui::Context& ctx);

// Whether the desktop has a notification area: QSystemTrayIcon's answer,
// unless `check` replaces it (tests; an empty function puts Qt's back).
void SetTrayAvailabilityCheck(std::function<bool()> check);
bool TrayAvailable();

// The main window's state or place changed. Minimised: hides it into the
// tray or the strip (see above). Otherwise: removes the tray icon and hides
// the strip, whichever is there.
void OnMainWindowMoved(ui::Context& ctx);

// The main window lost the activation. With minimize mode exactly "1", the
// window parked at the top edge and the activation gone to another program
// (not to a window or dialog of the organiser's own), minimises the window,
// which hides it into the strip.
void OnMainWindowDeactivated(ui::Context& ctx);

// The tray icon's events.
enum class TrayEvent {
  kLeftButtonUp = 1,       // a click
  kLeftDoubleClick = 2,
  kRightButtonUp = 3,      // or the keyboard's context-menu request
};
// kLeftButtonUp, kLeftDoubleClick: RestoreMainWindow. kRightButtonUp: the
// tray menu pops up 3 pixels right of and below the mouse pointer. Any other
// value: nothing.
void OnTrayEvent(ui::Context& ctx, int type);

// Shows the main window as it was before it was minimised, brings it to the
// front and removes the tray icon and the strip. Also what the hot key does.
void RestoreMainWindow(ui::Context& ctx);

// A left button press on the strip: hides it and restores the main window.
void OnStripClick(ui::Context& ctx);

// The tray menu's "退出": the exit question ("确认要退出程序？", 询问：, OK and
// Cancel). OK removes the tray icon and ends the program; Cancel does
// nothing.
void ExitFromTray(ui::Context& ctx);

// 时钟's tick: parks a shown main window whose top edge is in the snap zone
// of its screen (ParkedTop); its left edge and size stay.
void TopSnap(ui::Context& ctx);

// Also at 时钟's tick: a window hidden behind the tray icon whose
// notification area has gone since (a panel closed or restarting), with no
// hot key to bring it back, gets the strip as well, so that something is
// always there to click. The icon stays for when the area comes back; the
// first way back used removes both.
void KeepHiddenWindowReachable(ui::Context& ctx);

// The tray icon, the tray menu and TopStripWindow of ctx.window, made the
// first time they are needed; nullptr before that (and for a window that
// ConnectWindowModes never saw). The icon is visible exactly while it
// stands for the hidden window.
QSystemTrayIcon* TrayIcon(const ui::Context& ctx);
QMenu* TrayMenu(const ui::Context& ctx);
QWidget* TopStripWindow(const ui::Context& ctx);

// Placement, over the available geometries of the screens (the primary one
// first) and the main window's frame, both in global coordinates.

// The screen the window is on: the one its frame overlaps most; with no
// overlap, the one nearest to the frame's centre. nullopt without screens.
std::optional<QRect> ScreenOf(const QRect& frame, const std::vector<QRect>& screens);

// The strip's place: on the window's screen, its top edge on the screen's
// top and its left edge kStripLeft from the screen's left, moved left so
// that its right end stays on the screen (never left of the screen's left
// edge). Without screens, at (kStripLeft, 0).
QRect StripGeometry(const QRect& frame, const std::vector<QRect>& screens);

// The top edge TopSnap gives the window: kParkedTop below the top of the
// screen whose top zone holds the window's top edge — the screen under the
// middle of that edge, or, when the edge lies above every screen there, the
// window's own screen (ScreenOf) — when the edge is less than kSnapZone
// below that screen's top; nullopt when the window stays where it is.
std::optional<int> ParkedTop(const QRect& frame, const std::vector<QRect>& screens);

// Whether the window sits exactly where TopSnap parks it.
bool IsParked(const QRect& frame, const std::vector<QRect>& screens);

}  // namespace tarvok::app
