#include "ui/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QMessageBox>
#include <QPushButton>

#include "platform/gbk.h"
#include "ui/gbk_text.h"
#include "ui/input_box.h"
#include "ui/password_prompt.h"

namespace tarvok::ui {
namespace {

QMessageBox::Icon IconOf(BoxKind kind) {
  switch (kind) {
    case BoxKind::kPlain:
    case BoxKind::kPlainOkCancel: return QMessageBox::NoIcon;
    case BoxKind::kInformation: return QMessageBox::Information;
    case BoxKind::kError: return QMessageBox::Critical;
    case BoxKind::kWarning: return QMessageBox::Warning;
    case BoxKind::kQuestion: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

// Modal boxes belong to the window the user is working in, if any.
QWidget* Owner() { return QApplication::activeWindow(); }

class QtDialogService final : public DialogService {
 public:
  bool ShowMessage(const MessageRequest& request) override {
    QMessageBox box(IconOf(request.kind),
                    FromGbk(ShownTitle(request)),
                    FromGbk(request.text), QMessageBox::NoButton, Owner());
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    if (HasCancel(request.kind)) {
      QPushButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
      box.setEscapeButton(cancel);
    } else {
      box.setEscapeButton(ok);
    }
    box.exec();
    return box.clickedButton() == ok || !HasCancel(request.kind);
  }

  std::optional<std::string> Input(const InputRequest& request) override {
    InputBox box(FromGbk(request.title), FromGbk(request.prompt), FromGbk(request.initial),
                 request.masked, Owner());
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return ToGbk(box.text());
  }

  std::optional<std::string> OpenFile(const OpenFileRequest& request) override {
    const QString file = QFileDialog::getOpenFileName(Owner(), FromGbk(request.title), QString(),
                                                      FromGbk(request.filter));
    if (file.isEmpty()) return std::nullopt;
    return ToGbk(file);
  }

  std::optional<std::string> SaveFile(const SaveFileRequest& request) override {
    // A bare file name is offered in the user's documents folder, never in
    // whatever folder the organiser was started from.
    QString suggested = FromGbk(request.suggested);
    if (!suggested.contains(QLatin1Char('/'))) {
      QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
      if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
      suggested = folder + QLatin1Char('/') + suggested;
    }
    const QString file = QFileDialog::getSaveFileName(Owner(), FromGbk(request.title), suggested,
                                                      FromGbk(request.filter));
    if (file.isEmpty()) return std::nullopt;
    return ToGbk(file);
  }

  std::optional<std::string> PromptPassword(const std::string& message_line) override {
    PasswordPrompt prompt(FromGbk(message_line), Owner());
    if (prompt.exec() != QDialog::Accepted) return std::nullopt;
    return ToGbk(prompt.typed());
  }
};

DialogService*& Current() {
  static DialogService* current = nullptr;
  return current;
}

}  // namespace

DialogService& QtDialogs() {
  static QtDialogService service;
  return service;
}

DialogService& Dialogs() { return Current() ? *Current() : QtDialogs(); }

DialogService* SetDialogService(DialogService* service) {
  DialogService* previous = Current();
  Current() = service;
  return previous;
}

#define TARVOK_TITLE(Name, Text)              \
  const std::string& Name() {                 \
    static const std::string title = Text##_gbk; \
    return title;                             \
  }
TARVOK_TITLE(TitleInformation, "信息！")
TARVOK_TITLE(TitleError, "错误！")
TARVOK_TITLE(TitleWarning, "警告！")
TARVOK_TITLE(TitleNone, "信息：")
TARVOK_TITLE(TitleQuestion, "询问：")
TARVOK_TITLE(TitleQuestionMark, "询问？")
#undef TARVOK_TITLE

const std::string& ShownTitle(const MessageRequest& request) {
  return request.title.empty() ? TitleNone() : request.title;
}

void ShowInformation(const std::string& text) {
  Dialogs().ShowMessage({BoxKind::kInformation, TitleInformation(), text});
}
void ShowError(const std::string& text) { Dialogs().ShowMessage({BoxKind::kError, TitleError(), text}); }
void ShowWarning(const std::string& text) {
  Dialogs().ShowMessage({BoxKind::kWarning, TitleWarning(), text});
}
void ShowPlain(const std::string& text) { Dialogs().ShowMessage({BoxKind::kPlain, std::string(), text}); }
bool Ask(const std::string& text, const std::string& title) {
  return Dialogs().ShowMessage({BoxKind::kQuestion, title, text});
}

}  // namespace tarvok::ui
