#include "ui/scripted_dialogs.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/gbk.h"

namespace tarvok::ui {
namespace {

ScriptFailureReporter& Reporter() {
  static ScriptFailureReporter reporter;
  return reporter;
}

const char* KindName(BoxKind kind) {
  switch (kind) {
    case BoxKind::kPlain: return "plain";
    case BoxKind::kInformation: return "information";
    case BoxKind::kError: return "error";
    case BoxKind::kWarning: return "warning";
    case BoxKind::kQuestion: return "question";
    case BoxKind::kPlainOkCancel: return "plain, OK and Cancel";
  }
  return "?";
}

// Descriptions are UTF-8 so that a failure reads as the box read.
std::string Quoted(const std::string& gbk) { return "\"" + GbkToUtf8(gbk) + "\""; }

std::string DescribeMessage(BoxKind kind, const std::string& title, const std::string& text) {
  return std::string("message box, ") + KindName(kind) + ", title " +
         Quoted(title.empty() ? TitleNone() : title) + ", text " + Quoted(text);
}
std::string DescribeInput(const std::string& title, const std::string& prompt, bool masked) {
  return "input box" + std::string(masked ? " (masked)" : "") + ", title " + Quoted(title) +
         ", prompt " + Quoted(prompt);
}
std::string DescribeOpenFile(const std::string& filter) {
  return "file-open dialog, filter " + Quoted(filter);
}
std::string DescribeSaveFile(const std::string& filter) {
  return "save-file dialog, filter " + Quoted(filter);
}
std::string DescribePassword(const std::string& line) {
  return "password prompt, message line " + Quoted(line);
}

}  // namespace

void SetScriptFailureReporter(ScriptFailureReporter reporter) { Reporter() = std::move(reporter); }

ScriptedDialogs::~ScriptedDialogs() { Finish(); }

ScriptedDialogs& ScriptedDialogs::ExpectMessage(BoxKind kind, std::string title, std::string text,
                                                bool answer) {
  script_.push_back({Box::kMessage, DescribeMessage(kind, title, text), answer, std::nullopt});
  return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectInput(std::string title, std::string prompt, bool masked,
                                              std::optional<std::string> answer) {
  script_.push_back({Box::kInput, DescribeInput(title, prompt, masked), answer.has_value(),
                     std::move(answer)});
  return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectOpenFile(std::string filter,
                                                 std::optional<std::string> answer) {
  script_.push_back(
      {Box::kOpenFile, DescribeOpenFile(filter), answer.has_value(), std::move(answer)});
  return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectSaveFile(std::string filter,
                                                 std::optional<std::string> answer) {
  script_.push_back(
      {Box::kSaveFile, DescribeSaveFile(filter), answer.has_value(), std::move(answer)});
  return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectPasswordPrompt(std::string message_line,
                                                       std::optional<std::string> answer) {
  script_.push_back(
      {Box::kPassword, DescribePassword(message_line), answer.has_value(), std::move(answer)});
  return *this;
}

void ScriptedDialogs::Finish() {
  while (!script_.empty()) {
    Step step = std::move(script_.front());
    script_.pop_front();
    Fail("expected box never shown: " + step.expected);
  }
}

void ScriptedDialogs::Fail(const std::string& message) {
  failures_.push_back(message);
  if (Reporter()) {
    Reporter()(message);
  } else {
    std::fprintf(stderr, "scripted dialogs: %s\n", message.c_str());
    std::abort();
  }
}

std::optional<ScriptedDialogs::Step> ScriptedDialogs::Take(Box box, const std::string& shown) {
  ++shown_;
  if (script_.empty()) {
    Fail("unexpected box: " + shown);
    return std::nullopt;
  }
  if (script_.front().box != box || script_.front().expected != shown) {
    Fail("unexpected box: " + shown + "\n  expected: " + script_.front().expected);
    // The expected box stays first: a box too many should not also turn
    // every following box into a failure.
    return std::nullopt;
  }
  Step step = std::move(script_.front());
  script_.pop_front();
  return step;
}

bool ScriptedDialogs::ShowMessage(const MessageRequest& request) {
  const auto step = Take(Box::kMessage, DescribeMessage(request.kind, request.title, request.text));
  if (!step) return !HasCancel(request.kind);
  return step->answer_ok || !HasCancel(request.kind);
}

std::optional<std::string> ScriptedDialogs::Input(const InputRequest& request) {
  const auto step = Take(Box::kInput, DescribeInput(request.title, request.prompt, request.masked));
  return step ? step->answer_text : std::nullopt;
}

std::optional<std::string> ScriptedDialogs::OpenFile(const OpenFileRequest& request) {
  const auto step = Take(Box::kOpenFile, DescribeOpenFile(request.filter));
  return step ? step->answer_text : std::nullopt;
}

std::optional<std::string> ScriptedDialogs::SaveFile(const SaveFileRequest& request) {
  const auto step = Take(Box::kSaveFile, DescribeSaveFile(request.filter));
  return step ? step->answer_text : std::nullopt;
}

std::optional<std::string> ScriptedDialogs::PromptPassword(const std::string& message_line) {
  const auto step = Take(Box::kPassword, DescribePassword(message_line));
  return step ? step->answer_text : std::nullopt;
}

}  // namespace tarvok::ui
