#include "ui/password_prompt.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tarvok::ui {

QSize DialogUnitsToPixels(const QFont& font, int w, int h) {
  const QFontMetrics fm(font);
  // The average over the 52 letters, rounded: what dialog templates use.
  const int letters = fm.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int base_x = (letters / 26 + 1) / 2;
  const int base_y = fm.height();
  return QSize((w * base_x + 2) / 4, (h * base_y + 4) / 8);
}

PasswordPrompt::PasswordPrompt(const QString& message_line, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("密码输入"));
  setWindowTitle(QStringLiteral("密码输入"));
  setModal(true);

  auto* label = new QLabel(QStringLiteral("请输入数据库访问密码："), this);
  label->setObjectName(QStringLiteral("标签_密码提示"));
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("编辑框_密码"));
  edit_->setEchoMode(QLineEdit::Password);
  auto* message = new QLabel(message_line, this);
  message->setObjectName(QStringLiteral("标签_密码消息"));
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("图片框_密码"));
  const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(side));

  auto* ok = new QPushButton(QStringLiteral("确认(&O)"), this);
  ok->setObjectName(QStringLiteral("按钮_确认"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("取消(&C)"), this);
  cancel->setObjectName(QStringLiteral("按钮_取消"));
  connect(ok, &QPushButton::clicked, this, &PasswordPrompt::Confirm);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout;
  grid->addWidget(label, 0, 0);
  grid->addWidget(icon, 0, 1, 2, 1, Qt::AlignTop | Qt::AlignRight);
  grid->addWidget(edit_, 1, 0);
  grid->addWidget(message, 2, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* top = new QVBoxLayout(this);
  top->addLayout(grid);
  top->addStretch();
  top->addLayout(buttons);

  setFixedSize(DialogUnitsToPixels(font(), 222, 80));
  edit_->setFocus();
}

PasswordPrompt::~PasswordPrompt() {
  typed_.fill(u' ');
  // The edit box's own buffer is replaced, not overwritten, by Qt; setting a
  // text of spaces of the same length is what reaches it from outside.
  edit_->setText(QString(edit_->text().size(), u' '));
}

void PasswordPrompt::Confirm() {
  // A copy of its own, not a share of the edit box's buffer, so that the
  // destructor overwrites these very characters.
  const QString text = edit_->text();
  typed_ = QString(text.constData(), text.size());
  accept();
}

}  // namespace tarvok::ui
