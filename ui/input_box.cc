#include "ui/input_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvok::ui {

InputBox::InputBox(const QString& title, const QString& prompt, const QString& initial,
                   bool masked, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(title);
  setModal(true);
  auto* label = new QLabel(prompt, this);
  label->setObjectName(QStringLiteral("标签_输入提示"));
  label->setWordWrap(true);
  edit_ = new QLineEdit(initial, this);
  edit_->setObjectName(QStringLiteral("编辑框_输入"));
  if (masked) edit_->setEchoMode(QLineEdit::Password);
  edit_->selectAll();
  auto* ok = new QPushButton(QStringLiteral("确认输入(&O)"), this);
  ok->setObjectName(QStringLiteral("按钮_确认输入"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("取消(&C)"), this);
  cancel->setObjectName(QStringLiteral("按钮_取消"));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* top = new QVBoxLayout(this);
  top->addWidget(label);
  top->addWidget(edit_);
  top->addLayout(buttons);
  setMinimumWidth(320);
  edit_->setFocus();
}

InputBox::~InputBox() {
  if (edit_->echoMode() == QLineEdit::Password) edit_->setText(QString(edit_->text().size(), u' '));
}

QString InputBox::text() const { return edit_->text(); }

}  // namespace tarvok::ui
