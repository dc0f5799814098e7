#include "app/window_modes.h"

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "app/startup.h"
#include "platform/gbk.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace tarvok::app {
namespace {

std::function<bool()>& TrayCheck() {
  static std::function<bool()> check;
  return check;
}

bool TrayMode(const ui::Context& ctx) { return ctx.state.minimize_mode == "0"; }

std::vector<QRect> AvailableScreens() {
  std::vector<QRect> screens;
  // The primary screen comes first in Qt's list.
  for (const QScreen* screen : QGuiApplication::screens()) screens.push_back(screen->availableGeometry());
  return screens;
}

int64_t Overlap(const QRect& a, const QRect& b) {
  const QRect both = a.intersected(b);
  return both.isEmpty() ? 0 : int64_t{both.width()} * both.height();
}

// Squared distance from `p` to the nearest point of `r`.
int64_t DistanceSquared(const QPoint& p, const QRect& r) {
  const int64_t dx = p.x() < r.left() ? r.left() - p.x() : p.x() > r.right() ? p.x() - r.right() : 0;
  const int64_t dy = p.y() < r.top() ? r.top() - p.y() : p.y() > r.bottom() ? p.y() - r.bottom() : 0;
  return dx * dx + dy * dy;
}

// The program's icon: a small calendar leaf with a red head.
QIcon ProgramIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(120, 30, 30), 1.5));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(2.5, 4.5, 27, 25), 3, 3);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 40, 40));
  p.drawRoundedRect(QRectF(3, 5, 26, 8), 2, 2);
  p.setBrush(QColor(90, 90, 90));
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 4; ++col) p.drawRect(QRectF(6 + col * 6, 16 + row * 4.5, 3, 2.5));
  }
  return QIcon(pixmap);
}

// TopStripWindow: no units, no frame, always on top, not in the taskbar,
// yellow. It never takes the activation away from where the user is.
class StripWindow : public QWidget {
 public:
  explicit StripWindow(std::function<void()> on_click)
      : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                             Qt::WindowDoesNotAcceptFocus),
        on_click_(std::move(on_click)) {
    setObjectName(QStringLiteral("TopStripWindow"));
    setWindowTitle(QStringLiteral("塔沃克林-Tarvokline"));
    setFixedSize(kStripWidth, kStripHeight);
    setAttribute(Qt::WA_ShowWithoutActivating);
    QPalette yellow = palette();
    yellow.setColor(QPalette::Window, QColor(255, 255, 0));
    setPalette(yellow);
    setAutoFillBackground(true);
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && on_click_) on_click_();
  }

 private:
  std::function<void()> on_click_;
};

constexpr char kModesName[] = "窗口模式";

// What the window modes keep for one main window: a child of the window,
// gone with it. It watches the window's events and runs the handlers once
// the event that raised them has been delivered.
class WindowModes : public QObject {
 public:
  explicit WindowModes(ui::Context& ctx) : QObject(&ctx.window), ctx_(ctx) {
    setObjectName(QString::fromUtf8(kModesName));
  }

  ~WindowModes() override {
    // The strip and the menu are windows of their own, not children.
    delete strip_;
    delete menu_;
  }

  void Connect() {
    if (connected_) return;
    connected_ = true;
    ctx_.window.installEventFilter(this);
    if (auto* clock = ctx_.window.findChild<QTimer*>(QStringLiteral("时钟"))) {
      ui::Context* c = &ctx_;
      QObject::connect(clock, &QTimer::timeout, this, [c] {
        TopSnap(*c);
        KeepHiddenWindowReachable(*c);
      });
    }
  }

  QSystemTrayIcon* tray() const { return tray_; }
  QMenu* menu() const { return menu_; }
  QWidget* strip() const { return strip_; }

  QSystemTrayIcon* Tray() {
    if (tray_ == nullptr) {
      ui::Context* c = &ctx_;
      menu_ = new QMenu;
      menu_->setObjectName(QStringLiteral("托盘菜单"));
      QAction* restore = menu_->addAction(QStringLiteral("恢复窗口"));
      restore->setObjectName(QStringLiteral("恢复窗口"));
      menu_->addSeparator();
      QAction* exit = menu_->addAction(QStringLiteral("退出"));
      exit->setObjectName(QStringLiteral("退出"));
      QObject::connect(restore, &QAction::triggered, this, [c] { RestoreMainWindow(*c); });
      QObject::connect(exit, &QAction::triggered, this, [c] { ExitFromTray(*c); });

      tray_ = new QSystemTrayIcon(ProgramIcon(), this);
      tray_->setToolTip(QString::fromLatin1(kTrayTip));
      // Queued: restoring removes the icon, and the icon's own window must
      // not go while it is still delivering the click.
      QObject::connect(
          tray_, &QSystemTrayIcon::activated, this,
          [c](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
              case QSystemTrayIcon::Trigger:
                OnTrayEvent(*c, static_cast<int>(TrayEvent::kLeftButtonUp));
                break;
              case QSystemTrayIcon::DoubleClick:
                OnTrayEvent(*c, static_cast<int>(TrayEvent::kLeftDoubleClick));
                break;
              case QSystemTrayIcon::Context:
                OnTrayEvent(*c, static_cast<int>(TrayEvent::kRightButtonUp));
                break;
              default:
                break;
            }
          },
          Qt::QueuedConnection);
    }
    return tray_;
  }

  QWidget* Strip() {
    if (strip_ == nullptr) {
      ui::Context* c = &ctx_;
      strip_ = new StripWindow([c] { OnStripClick(*c); });
    }
    return strip_;
  }

  // The frame of the window as it was last shown, for placing the strip:
  // a minimised window's own frame may be anywhere (off every screen on
  // some systems).
  QRect LastShownFrame() const {
    return last_frame_.isValid() ? last_frame_ : ctx_.window.frameGeometry();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &ctx_.window) return false;
    switch (event->type()) {
      case QEvent::WindowStateChange:
      case QEvent::Move:
        Remember();
        Later(moved_pending_, [](ui::Context& c) { OnMainWindowMoved(c); });
        break;
      case QEvent::Resize:
      case QEvent::Show:
        Remember();
        break;
      case QEvent::WindowDeactivate:
        Later(deactivated_pending_, [](ui::Context& c) { OnMainWindowDeactivated(c); });
        break;
      default:
        break;
    }
    return false;
  }

 private:
  void Remember() {
    const QWidget& w = ctx_.window;
    if (w.isVisible() && !w.isMinimized()) last_frame_ = w.frameGeometry();
  }

  // Runs `handler` once the current event is delivered; several events
  // before that run it once.
  void Later(bool& pending, void (*handler)(ui::Context&)) {
    if (pending) return;
    pending = true;
    bool* flag = &pending;
    ui::Context* c = &ctx_;
    QTimer::singleShot(0, this, [flag, c, handler] {
      *flag = false;
      handler(*c);
    });
  }

  ui::Context& ctx_;
  bool connected_ = false;
  bool moved_pending_ = false;
  bool deactivated_pending_ = false;
  QRect last_frame_;
  QSystemTrayIcon* tray_ = nullptr;  // a child
  QMenu* menu_ = nullptr;
  QPointer<StripWindow> strip_;
};

WindowModes* Find(const ui::Context& ctx) {
  return dynamic_cast<WindowModes*>(
      ctx.window.findChild<QObject*>(QString::fromUtf8(kModesName), Qt::FindDirectChildrenOnly));
}

WindowModes& Modes(ui::Context& ctx) {
  if (WindowModes* modes = Find(ctx)) return *modes;
  return *new WindowModes(ctx);
}

void RemoveTrayIcon(ui::Context& ctx) {
  if (QSystemTrayIcon* tray = Modes(ctx).tray()) tray->hide();
}

void HideStrip(ui::Context& ctx) {
  if (QWidget* strip = Modes(ctx).strip()) strip->hide();
}

// The icon shows only where there is a notification area to show it.
void HideToTray(ui::Context& ctx) {
  if (TrayAvailable()) Modes(ctx).Tray()->show();
}

void HideToStrip(ui::Context& ctx) {
  WindowModes& modes = Modes(ctx);
  QWidget* strip = modes.Strip();
  strip->setGeometry(StripGeometry(modes.LastShownFrame(), AvailableScreens()));
  strip->show();
  strip->raise();
}

}  // namespace

void SetTrayAvailabilityCheck(std::function<bool()> check) { TrayCheck() = std::move(check); }

bool TrayAvailable() {
  if (TrayCheck()) return TrayCheck()();
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void ConnectWindowModes(ui::Context& ctx) {
  Modes(ctx).Connect();
  ui::Context* c = &ctx;
  ctx.toggle_main_window = [c] {
    QWidget& w = c->window;
    if (!w.isVisible() || w.isMinimized()) {
      RestoreMainWindow(*c);
    } else {
      w.setWindowState(w.windowState() | Qt::WindowMinimized);
    }
  };
}

void OnMainWindowMoved(ui::Context& ctx) {
  QWidget& w = ctx.window;
  if (!w.isMinimized()) {
    RemoveTrayIcon(ctx);
    HideStrip(ctx);
    return;
  }
  // A tray mode without a notification area and without a hot key would
  // leave nothing to bring the window back with: the strip stands in.
  if (TrayMode(ctx) && (TrayAvailable() || ctx.state.hot_key_id != 0)) {
    HideToTray(ctx);
  } else {
    HideToStrip(ctx);
  }
  w.hide();
}

void OnMainWindowDeactivated(ui::Context& ctx) {
  if (ctx.state.minimize_mode != "1") return;
  QWidget& w = ctx.window;
  if (!w.isVisible() || w.isMinimized()) return;
  if (!IsParked(w.frameGeometry(), AvailableScreens())) return;
  // Only another program taking the activation hides the window: a dialog,
  // menu or window of the organiser's own must not lose its main window.
  if (QApplication::activeWindow() != nullptr || QApplication::activeModalWidget() != nullptr ||
      QApplication::activePopupWidget() != nullptr) {
    return;
  }
  w.setWindowState(w.windowState() | Qt::WindowMinimized);
}

void OnTrayEvent(ui::Context& ctx, int type) {
  switch (static_cast<TrayEvent>(type)) {
    case TrayEvent::kLeftButtonUp:
    case TrayEvent::kLeftDoubleClick:
      RestoreMainWindow(ctx);
      return;
    case TrayEvent::kRightButtonUp: {
      WindowModes& modes = Modes(ctx);
      modes.Tray();  // makes the menu too
      modes.menu()->popup(QCursor::pos() + QPoint(3, 3));
      return;
    }
  }
}

void RestoreMainWindow(ui::Context& ctx) {
  QWidget& w = ctx.window;
  // The state first: a window shown while still marked minimised would be
  // mapped as an icon again.
  w.setWindowState(w.windowState() & ~Qt::WindowMinimized);
  w.show();
  w.raise();
  w.activateWindow();
  RemoveTrayIcon(ctx);
  HideStrip(ctx);
}

void OnStripClick(ui::Context& ctx) {
  HideStrip(ctx);
  RestoreMainWindow(ctx);
}

void ExitFromTray(ui::Context& ctx) {
  if (!ui::Ask("确认要退出程序？"_gbk, ui::TitleQuestion())) return;
  RemoveTrayIcon(ctx);
  EndProgram(ctx);
}

void TopSnap(ui::Context& ctx) {
  QWidget& w = ctx.window;
  if (!w.isVisible() || w.isMinimized()) return;
  const QRect frame = w.frameGeometry();
  if (const std::optional<int> top = ParkedTop(frame, AvailableScreens()); top && *top != frame.top()) {
    w.move(frame.left(), *top);
  }
}

void KeepHiddenWindowReachable(ui::Context& ctx) {
  if (ctx.window.isVisible() || ctx.state.hot_key_id != 0 || TrayAvailable()) return;
  WindowModes* modes = Find(ctx);
  if (modes == nullptr || modes->tray() == nullptr || !modes->tray()->isVisible()) return;
  if (modes->strip() != nullptr && modes->strip()->isVisible()) return;
  HideToStrip(ctx);
}

QSystemTrayIcon* TrayIcon(const ui::Context& ctx) {
  const WindowModes* modes = Find(ctx);
  return modes ? modes->tray() : nullptr;
}

QMenu* TrayMenu(const ui::Context& ctx) {
  const WindowModes* modes = Find(ctx);
  return modes ? modes->menu() : nullptr;
}

QWidget* TopStripWindow(const ui::Context& ctx) {
  const WindowModes* modes = Find(ctx);
  return modes ? modes->strip() : nullptr;
}

std::optional<QRect> ScreenOf(const QRect& frame, const std::vector<QRect>& screens) {
  if (screens.empty()) return std::nullopt;
  const QRect* best = &screens.front();
  int64_t best_overlap = 0;
  for (const QRect& s : screens) {
    const int64_t overlap = Overlap(frame, s);
    if (overlap > best_overlap) {
      best = &s;
      best_overlap = overlap;
    }
  }
  if (best_overlap > 0) return *best;
  int64_t best_distance = std::numeric_limits<int64_t>::max();
  for (const QRect& s : screens) {
    const int64_t distance = DistanceSquared(frame.center(), s);
    if (distance < best_distance) {
      best = &s;
      best_distance = distance;
    }
  }
  return *best;
}

QRect StripGeometry(const QRect& frame, const std::vector<QRect>& screens) {
  const std::optional<QRect> screen = ScreenOf(frame, screens);
  if (!screen) return {kStripLeft, 0, kStripWidth, kStripHeight};
  const int right_most = screen->left() + screen->width() - kStripWidth;
  const int left = std::max(screen->left(), std::min(screen->left() + kStripLeft, right_most));
  return {left, screen->top(), kStripWidth, kStripHeight};
}

std::optional<int> ParkedTop(const QRect& frame, const std::vector<QRect>& screens) {
  const QPoint top_middle(frame.left() + frame.width() / 2, frame.top());
  std::optional<QRect> screen;
  for (const QRect& s : screens) {
    if (s.contains(top_middle)) {
      screen = s;
      break;
    }
  }
  if (!screen) screen = ScreenOf(frame, screens);
  if (!screen) return std::nullopt;
  if (frame.top() >= screen->top() + kSnapZone) return std::nullopt;
  return screen->top() + kParkedTop;
}

bool IsParked(const QRect& frame, const std::vector<QRect>& screens) {
  const std::optional<int> top = ParkedTop(frame, screens);
  return top && *top == frame.top();
}

}  // namespace tarvok::app
