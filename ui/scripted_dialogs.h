// A DialogService for tests: it is told beforehand, in order, which boxes the
// code under test will show and how the user answers each. A box that comes
// out of turn, or differs in kind, title, text, prompt, masking or filter,
// is a failure; so is an expected box still waiting when the script is
// destroyed (or Finish is called).
//
// Failures are kept (failures()) and each is passed, as it happens, to the
// process-wide failure reporter: the test executable's main sets it to a
// gtest failure. Without a reporter a failure prints itself and aborts, so
// no script can fail unnoticed.
//
//   ScriptedDialogs dialogs;
//   ScopedDialogService use(&dialogs);
//   dialogs.ExpectMessage(BoxKind::kQuestion, TitleQuestion(), "确实要退出吗？"_gbk, false);
//   ... code under test ...
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialogs.h"

namespace tarvok::ui {

// Receives the text of each script failure (UTF-8).
using ScriptFailureReporter = std::function<void(const std::string& utf8_message)>;
void SetScriptFailureReporter(ScriptFailureReporter reporter);

class ScriptedDialogs : public DialogService {
 public:
  ScriptedDialogs() = default;
  ~ScriptedDialogs() override;
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  // A message box; `title` as shown (empty is taken as "信息："). The
  // answer matters only for a question: true is OK.
  ScriptedDialogs& ExpectMessage(BoxKind kind, std::string title, std::string text,
                                 bool answer = true);
  // The input box; nullopt answers with Cancel.
  ScriptedDialogs& ExpectInput(std::string title, std::string prompt, bool masked,
                               std::optional<std::string> answer);
  // The file-open dialog; nullopt answers with Cancel.
  ScriptedDialogs& ExpectOpenFile(std::string filter, std::optional<std::string> answer);
  // The save-file dialog with that filter; nullopt answers with Cancel.
  ScriptedDialogs& ExpectSaveFile(std::string filter, std::optional<std::string> answer);
  // The password prompt with that message line; nullopt is "取消(&C)".
  ScriptedDialogs& ExpectPasswordPrompt(std::string message_line, std::optional<std::string> answer);

  // Reports every expected box not shown yet, and forgets them.
  void Finish();

  std::size_t pending() const { return script_.size(); }
  std::size_t shown() const { return shown_; }
  const std::vector<std::string>& failures() const { return failures_; }

  bool ShowMessage(const MessageRequest& request) override;
  std::optional<std::string> Input(const InputRequest& request) override;
  std::optional<std::string> OpenFile(const OpenFileRequest& request) override;
  std::optional<std::string> SaveFile(const SaveFileRequest& request) override;
  std::optional<std::string> PromptPassword(const std::string& message_line) override;

 private:
  enum class Box { kMessage, kInput, kOpenFile, kSaveFile, kPassword };
  struct Step {
    Box box;
    // What is compared, as readable text: kind, title, texts.
    std::string expected;
    bool answer_ok = true;
    std::optional<std::string> answer_text;
  };

  // Takes the next step if it matches `box` and `shown`; otherwise records
  // a failure and returns nullopt (the box then counts as cancelled).
  std::optional<Step> Take(Box box, const std::string& shown);
  void Fail(const std::string& message);

  std::deque<Step> script_;
  std::vector<std::string> failures_;
  std::size_t shown_ = 0;
};

}  // namespace tarvok::ui
