// The organiser's input box: a prompt, one edit box (masked for passwords)
// and the buttons "确认输入(&O)" (default) and "取消(&C)".
//
// Units by name: 标签_输入提示, 编辑框_输入, 按钮_确认输入, 按钮_取消.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace tarvok::ui {

class InputBox : public QDialog {
  Q_OBJECT

 public:
  InputBox(const QString& title, const QString& prompt, const QString& initial, bool masked,
           QWidget* parent = nullptr);
  // A masked box overwrites its edit box's text with spaces.
  ~InputBox() override;

  QString text() const;

 private:
  QLineEdit* edit_;
};

}  // namespace tarvok::ui
