// The organiser's main window: two page controls side by side, the calendar
// and settings on the left, today / overview / memo / contacts on the right,
// every other unit inside their pages. The window is built from the form
// table in main_window.cc; each unit's objectName is its name, and handlers
// find units by that name (unit<T>(name)).
//
// Places in the form table are relative to the unit's container: the window's
// client area, a group box, or a page control. A unit on a page is placed
// relative to its page control's whole rectangle (the tab strip included), so
// it keeps its place whatever width the style gives the tabs; the page
// controls put their tabs on the side away from the units (left control and
// calendar views: west, right control: east).
//
// Kinds: page control QTabWidget; lunar month calendar LunarCalendar; the
// three bound grids RecordGrid, their data sources DataSourceUnit strips and
// the providers ProviderUnit objects without a place on screen (all in
// ui/record_grid.h, linked by name, no file until start-up binds them); the
// week grid a plain QTableView that the week view fills; group box QGroupBox;
// one-line edit box QLineEdit; the diary and memo boxes QPlainTextEdit;
// picture box and label QLabel; button QPushButton; list box QListWidget;
// radio button QRadioButton; check box QCheckBox; edit box with spin arrows
// QSpinBox (read-only text, centred, changed only with the arrows).
//
// Pages carry the names <page control>_页<index> (选择夹右侧_页2); handlers
// address pages by index, the names only make them findable.
//
// The timer 时钟 (1000 ms) runs from construction to destruction.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QCloseEvent;

namespace tarvok::ui {

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // Builds every unit, fixes the client size at 870 x 520 and centres the
  // window on the primary screen. Start-up sets the current pages.
  explicit MainWindow(QWidget* parent = nullptr);

  // The close query, asked on every request to close (close button, Alt+F4,
  // Esc anywhere in the window, QWidget::close). Returning false keeps the
  // window open. Unset: the window closes.
  std::function<bool()> confirmExit;

  // The unit of that name and kind, or nullptr.
  template <class T>
  T* unit(const QString& name) const {
    return findChild<T*>(name);
  }

  static constexpr int kWidth = 870;
  static constexpr int kHeight = 520;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace tarvok::ui
