// The record store's own password dialog, shown for each attempt of an
// OpenTable in prompt mode ("?"): "密码输入", a label, a masked edit box, a
// message line under them, an icon at the top right, "确认(&O)" (default)
// and "取消(&C)". 222 x 80 dialog units of its font.
//
// Units by name: 标签_密码提示, 编辑框_密码, 标签_密码消息, 图片框_密码,
// 按钮_确认, 按钮_取消.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvok::ui {

class PasswordPrompt : public QDialog {
  Q_OBJECT

 public:
  // `message_line` is shown under the edit box; empty on the first attempt.
  explicit PasswordPrompt(const QString& message_line, QWidget* parent = nullptr);
  // Overwrites the dialog's copy of the typed text, and the edit box's, with
  // spaces before they are freed.
  ~PasswordPrompt() override;

  // What was typed when "确认(&O)" closed the dialog; empty otherwise.
  const QString& typed() const { return typed_; }

 private:
  void Confirm();

  QLineEdit* edit_;
  QString typed_;
};

// The pixel size of w x h dialog units for `font`: a horizontal unit is a
// quarter of the font's average letter width, a vertical one an eighth of
// its height.
QSize DialogUnitsToPixels(const QFont& font, int w, int h);

}  // namespace tarvok::ui
