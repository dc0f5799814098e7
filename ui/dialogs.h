// The one way the organiser asks or tells the user something modally:
// message boxes, the input box, the file-open dialog and the store's
// password prompt. Handlers call the free functions below; they go to the
// process-wide current DialogService, which is the Qt one unless a test has
// put a scripted one in its place (ui/scripted_dialogs.h).
//
// Every text here is GBK, like every text of the system.
#pragma once

#include <optional>
#include <string>

namespace tarvok::ui {

// The icon and buttons of a message box.
enum class BoxKind {
  kPlain,        // no icon, OK
  kInformation,  // OK
  kError,        // OK
  kWarning,      // OK
  kQuestion,     // OK and Cancel
  kPlainOkCancel,  // no icon, OK and Cancel
};

// Whether a box of this kind has a Cancel button.
inline bool HasCancel(BoxKind kind) { return kind == BoxKind::kQuestion || kind == BoxKind::kPlainOkCancel; }

struct MessageRequest {
  BoxKind kind = BoxKind::kPlain;
  std::string title;  // empty shows "信息："
  std::string text;
};

struct InputRequest {
  std::string title;
  std::string prompt;
  std::string initial;
  bool masked = false;  // the typed characters are hidden (passwords)
};

struct OpenFileRequest {
  std::string title;
  // Qt's filter form, filters separated by ";;": "JPEG 图片 (*.jpg *.jpeg)".
  std::string filter;
};

struct SaveFileRequest {
  std::string title;
  std::string filter;     // as OpenFileRequest's
  std::string suggested;  // the file name (or path) offered first
};

class DialogService {
 public:
  virtual ~DialogService() = default;
  // Shows the box and waits for it to close. True for OK; a box without
  // Cancel always gives true, a question closed any other way gives false.
  virtual bool ShowMessage(const MessageRequest& request) = 0;
  // The input box with "确认输入(&O)" and "取消(&C)": the typed text, or
  // nullopt when cancelled.
  virtual std::optional<std::string> Input(const InputRequest& request) = 0;
  // The chosen file as a GBK path, or nullopt when cancelled.
  virtual std::optional<std::string> OpenFile(const OpenFileRequest& request) = 0;
  // The save-file dialog (it asks before replacing a file): the chosen file
  // as a GBK path, or nullopt when cancelled. A service that cannot ask
  // counts it as cancelled.
  virtual std::optional<std::string> SaveFile(const SaveFileRequest& request) {
    (void)request;
    return std::nullopt;
  }
  // The store's password prompt for one attempt; `message_line` is what the
  // line under the edit box reads (empty on the first attempt). The typed
  // text, or nullopt for "取消(&C)".
  virtual std::optional<std::string> PromptPassword(const std::string& message_line) = 0;
};

// The title a box shows: its own, or "信息：" when it has none.
const std::string& ShownTitle(const MessageRequest& request);

// The service the free functions use. Never null: the Qt service unless
// one was set.
DialogService& Dialogs();
// Makes `service` current (nullptr = back to the Qt service) and returns
// the previous one, or nullptr when that was the Qt service.
DialogService* SetDialogService(DialogService* service);

// Puts a service in place for one scope and restores the previous one.
class ScopedDialogService {
 public:
  explicit ScopedDialogService(DialogService* service) : previous_(SetDialogService(service)) {}
  ~ScopedDialogService() { SetDialogService(previous_); }
  ScopedDialogService(const ScopedDialogService&) = delete;
  ScopedDialogService& operator=(const ScopedDialogService&) = delete;

 private:
  DialogService* previous_;
};

// The boxes of the organiser's conventions.
void ShowInformation(const std::string& text);  // "信息！"
void ShowError(const std::string& text);        // "错误！"
void ShowWarning(const std::string& text);      // "警告！"
void ShowPlain(const std::string& text);        // no title: "信息："
// A question with OK and Cancel under `title` ("询问：" or "询问？"); true
// for OK.
bool Ask(const std::string& text, const std::string& title);

// The fixed titles, GBK.
const std::string& TitleInformation();  // 信息！
const std::string& TitleError();        // 错误！
const std::string& TitleWarning();      // 警告！
const std::string& TitleNone();         // 信息：
const std::string& TitleQuestion();     // 询问：
const std::string& TitleQuestionMark(); // 询问？

// The Qt service, for a test that wants the real dialogs while another
// service is current.
DialogService& QtDialogs();

}  // namespace tarvok::ui
