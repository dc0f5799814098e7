// The store's password prompt on the offscreen platform: its units, typing,
// OK and Cancel, the message line, and the wipe when it is destroyed.
#include "ui/password_prompt.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/gbk.h"
#include "ui/dialogs.h"
#include "ui/gbk_text.h"

namespace tarvok::ui {
namespace {

// Types each character as a key press carrying it; QTest's key clicks take
// only ASCII.
void TypeText(QWidget* w, const QString& text) {
  for (QChar c : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

template <typename W>
W* Unit(QWidget* in, const char* name) {
  W* w = in->findChild<W*>(QString::fromUtf8(name));
  EXPECT_NE(w, nullptr) << name;
  return w;
}

TEST(PasswordPromptTest, ShowsItsFixedTexts) {
  PasswordPrompt p(QString{});
  EXPECT_EQ(p.windowTitle(), QStringLiteral("密码输入"));
  EXPECT_EQ(Unit<QLabel>(&p, "标签_密码提示")->text(), QStringLiteral("请输入数据库访问密码："));
  EXPECT_EQ(Unit<QLineEdit>(&p, "编辑框_密码")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(Unit<QLabel>(&p, "标签_密码消息")->text(), QString());
  auto* ok = Unit<QPushButton>(&p, "按钮_确认");
  EXPECT_EQ(ok->text(), QStringLiteral("确认(&O)"));
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(Unit<QPushButton>(&p, "按钮_取消")->text(), QStringLiteral("取消(&C)"));
  EXPECT_EQ(p.size(), DialogUnitsToPixels(p.font(), 222, 80));
  EXPECT_GT(p.width(), p.height());
}

TEST(PasswordPromptTest, DialogUnitsFollowTheFont) {
  QFont small = QApplication::font();
  small.setPixelSize(10);
  QFont large = small;
  large.setPixelSize(20);
  const QSize a = DialogUnitsToPixels(small, 222, 80);
  const QSize b = DialogUnitsToPixels(large, 222, 80);
  EXPECT_GT(b.width(), a.width());
  EXPECT_GT(b.height(), a.height());
  EXPECT_EQ(DialogUnitsToPixels(small, 8, 8).height(), QFontMetrics(small).height());
}

TEST(PasswordPromptTest, TypedTextComesBackOnOkAndIsWipedOnDestruction) {
  QString last_set;
  auto* p = new PasswordPrompt(QString{});
  p->show();
  auto* edit = Unit<QLineEdit>(p, "编辑框_密码");
  QObject::connect(edit, &QLineEdit::textChanged, [&](const QString& t) { last_set = t; });
  TypeText(edit, QStringLiteral("密码pw1"));
  QTest::mouseClick(Unit<QPushButton>(p, "按钮_确认"), Qt::LeftButton);
  EXPECT_EQ(p->result(), QDialog::Accepted);
  EXPECT_EQ(p->typed(), QStringLiteral("密码pw1"));
  delete p;
  EXPECT_EQ(last_set, QStringLiteral("     "));
}

TEST(PasswordPromptTest, EnterIsOkAndCancelGivesNothing) {
  {
    PasswordPrompt p(QString{});
    p.show();
    TypeText(Unit<QLineEdit>(&p, "编辑框_密码"), QStringLiteral("abc"));
    QTest::keyClick(Unit<QLineEdit>(&p, "编辑框_密码"), Qt::Key_Return);
    EXPECT_EQ(p.result(), QDialog::Accepted);
    EXPECT_EQ(p.typed(), QStringLiteral("abc"));
  }
  {
    PasswordPrompt p(QString{});
    p.show();
    TypeText(Unit<QLineEdit>(&p, "编辑框_密码"), QStringLiteral("abc"));
    QTest::mouseClick(Unit<QPushButton>(&p, "按钮_取消"), Qt::LeftButton);
    EXPECT_EQ(p.result(), QDialog::Rejected);
    EXPECT_EQ(p.typed(), QString());
  }
}

// The Qt service shows the real prompt modally; a timer plays the user.
TEST(PasswordPromptTest, TheQtServiceShowsTheMessageLineOfEachAttempt) {
  struct Row {
    const char* line;
    const char* type;  // nullptr: Cancel
    std::optional<std::string> result;
  };
  const Row rows[] = {
      {"", "first", "first"},
      {"密码错误，您还有 2 次重新输入的机会。", "密钥", "密钥"_gbk},
      {"密码错误，您还有 1 次重新输入的机会。", nullptr, std::nullopt},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    QString shown_line;
    QTimer::singleShot(0, [&] {
      auto* p = qobject_cast<PasswordPrompt*>(QApplication::activeModalWidget());
      ASSERT_NE(p, nullptr);
      shown_line = Unit<QLabel>(p, "标签_密码消息")->text();
      if (r.type) {
        TypeText(Unit<QLineEdit>(p, "编辑框_密码"), QString::fromUtf8(r.type));
        QTest::mouseClick(Unit<QPushButton>(p, "按钮_确认"), Qt::LeftButton);
      } else {
        QTest::mouseClick(Unit<QPushButton>(p, "按钮_取消"), Qt::LeftButton);
      }
    });
    EXPECT_EQ(QtDialogs().PromptPassword(Utf8ToGbk(r.line)), r.result);
    EXPECT_EQ(shown_line, QString::fromUtf8(r.line));
  }
}

}  // namespace
}  // namespace tarvok::ui
