// The units of a window, found by their objectName and handed out as small
// typed wrappers that speak GBK. A wrapper holds a pointer to its widget and
// nothing else: take one where it is needed, do not keep it past the window.
//
// A name that the window lacks, or that names a unit of another kind, is a
// programming error: it ends the program through the store's FatalRunError
// ("窗口单元不存在：<name>" / "窗口单元类型不符：<name>"), so it cannot go unnoticed.
//
// Names are GBK like every text: units.Edit("编辑框_本日志"_gbk).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QAbstractButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace tarvok::ui {

// One line of a list box: a text and a 32-bit value (0 when none is given).
struct ResultLine {
  std::string text;
  int32_t value = 0;
  bool operator==(const ResultLine&) const = default;
};

// A one-line QLineEdit or a multi-line QTextEdit / QPlainTextEdit. Texts of
// a multi-line box break lines with "\r\n" on the system side.
class EditBox {
 public:
  explicit EditBox(QWidget* widget);

  std::string Text() const;
  // Raises the change event like typing does; a text over the byte limit is
  // cut to it.
  void SetText(const std::string& gbk);

  // The most GBK bytes the box holds (a "\r\n" of a multi-line box counts
  // 2); 0 = no limit. Typing, pasting, dropping and SetText are all held to
  // it: what does not fit of an insertion is left out, at a character
  // boundary, and the rest of the text is kept. The limit lives with the
  // widget, not with this wrapper.
  void SetByteLimit(std::size_t bytes);
  std::size_t ByteLimit() const;

  // Gives the box the input focus and selects `length` bytes of its GBK
  // text from byte `start` (both counted as Text() counts them), widened to
  // whole characters; past the end selects nothing and puts the cursor at
  // the end.
  void SelectBytes(std::size_t start, std::size_t length);

  // The box's content-changed event: runs once per change, after the byte
  // limit has been applied. Connect handlers here, not to the widget's own
  // signals, which also see the text before the cut.
  void OnChange(std::function<void()> handler);

  QWidget* widget() const { return widget_; }

 private:
  QWidget* widget_;
};

// A plain list box (QListWidget): lines of text with values.
class ListBox {
 public:
  explicit ListBox(QListWidget* widget) : widget_(widget) {}
  void Add(const ResultLine& line);
  void Clear();
  int Count() const;
  ResultLine Line(int index) const;  // REQUIRES: 0 <= index < Count()
  // Replaces line `index`.
  void SetLine(int index, const ResultLine& line);
  int SelectedIndex() const;  // -1 when no line is selected
  void SetSelectedIndex(int index);
  QListWidget* widget() const { return widget_; }

 private:
  QListWidget* widget_;
};

class Label {
 public:
  explicit Label(QLabel* widget) : widget_(widget) {}
  std::string Text() const;
  void SetText(const std::string& gbk);
  QLabel* widget() const { return widget_; }

 private:
  QLabel* widget_;
};

class CheckBox {
 public:
  explicit CheckBox(QCheckBox* widget) : widget_(widget) {}
  bool Checked() const;
  void SetChecked(bool checked);
  QCheckBox* widget() const { return widget_; }

 private:
  QCheckBox* widget_;
};

// A push button (or any clickable button).
class Button {
 public:
  explicit Button(QAbstractButton* widget) : widget_(widget) {}
  std::string Text() const;
  void SetText(const std::string& gbk);
  void SetEnabled(bool enabled);
  // For a radio button or check box: whether it is checked. SetChecked
  // raises no click.
  bool Checked() const;
  void SetChecked(bool checked);
  // The click event: a click by the user (or QAbstractButton::click), not a
  // change of the checked state by the program.
  void OnClick(std::function<void()> handler);
  QAbstractButton* widget() const { return widget_; }

 private:
  QAbstractButton* widget_;
};

class ComboBox {
 public:
  explicit ComboBox(QComboBox* widget) : widget_(widget) {}
  void Add(const std::string& gbk);
  void Clear();
  int Count() const;
  std::string ItemText(int index) const;
  int CurrentIndex() const;  // -1 when none
  void SetCurrentIndex(int index);
  // The shown text (the edit part of an editable combo box).
  std::string Text() const;
  QComboBox* widget() const { return widget_; }

 private:
  QComboBox* widget_;
};

class GroupBox {
 public:
  explicit GroupBox(QGroupBox* widget) : widget_(widget) {}
  std::string Caption() const;
  void SetCaption(const std::string& gbk);
  QGroupBox* widget() const { return widget_; }

 private:
  QGroupBox* widget_;
};

// A page control (QTabWidget); pages count from 0.
class PageControl {
 public:
  explicit PageControl(QTabWidget* widget) : widget_(widget) {}
  int CurrentPage() const;
  void SetCurrentPage(int index);
  int PageCount() const;
  // The page-changed event, with the new current page; raised by the user's
  // choice and by SetCurrentPage alike (not when the page stays the same).
  void OnPageChanged(std::function<void(int page)> handler);
  QTabWidget* widget() const { return widget_; }

 private:
  QTabWidget* widget_;
};

// An edit box with attached spin arrows (QSpinBox): read-only text that
// the user changes only with the arrows, one step at a time, within the
// box's range.
class SpinEdit {
 public:
  explicit SpinEdit(QSpinBox* widget) : widget_(widget) {}
  // The number shown, as decimal text.
  std::string Text() const;
  // Shows the integer part of the number at the start of `gbk` (read as
  // TextToNumber reads it; 0 when there is none), held to the box's range.
  // Raises the change event when the shown number changes.
  void SetText(const std::string& gbk);
  // The content-changed event: runs once per change of the shown number.
  void OnChange(std::function<void()> handler);
  QSpinBox* widget() const { return widget_; }

 private:
  QSpinBox* widget_;
};

// A picture box (a QLabel showing a picture scaled to the box).
class PictureBox {
 public:
  explicit PictureBox(QLabel* widget) : widget_(widget) {}
  // Shows the picture in the bytes of a JPEG or GIF (or any other picture
  // file Qt reads); bytes that are no picture leave the box empty. Returns
  // whether a picture is shown.
  bool SetPicture(std::string_view bytes);
  void Clear();
  bool HasPicture() const;
  // The tooltip shown when the mouse rests on the box.
  void SetHint(const std::string& gbk);
  std::string Hint() const;
  // Double click (left button) and mouse movement over the box.
  void OnDoubleClick(std::function<void()> handler);
  void OnMouseMove(std::function<void()> handler);
  QLabel* widget() const { return widget_; }

 private:
  QLabel* widget_;
};

// The units of one window (searched among all its descendants).
class Units {
 public:
  explicit Units(QWidget* window) : window_(window) {}

  EditBox Edit(std::string_view gbk_name) const;
  ListBox List(std::string_view gbk_name) const;
  Label Text(std::string_view gbk_name) const;
  CheckBox Check(std::string_view gbk_name) const;
  Button Push(std::string_view gbk_name) const;
  ComboBox Combo(std::string_view gbk_name) const;
  GroupBox Group(std::string_view gbk_name) const;
  PageControl Pages(std::string_view gbk_name) const;
  SpinEdit Spin(std::string_view gbk_name) const;
  PictureBox Picture(std::string_view gbk_name) const;

  // The widget of that name, of any kind; FatalRunError when there is none.
  QWidget* Find(std::string_view gbk_name) const;

 private:
  template <typename W>
  W* FindAs(std::string_view gbk_name) const;

  QWidget* window_;
};

}  // namespace tarvok::ui
