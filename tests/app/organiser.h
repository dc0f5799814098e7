// The organiser assembled in a test: a store, the main window with every
// handler connected, and the context over a program folder of the test's,
// with the single-instance mark kept in a runtime folder of the test's too.
// Start() runs the start-up as the program does; the window is then shown.
#pragma once

#include <QApplication>
#include <QTest>

#include <memory>
#include <string>

#include "app/startup.h"
#include "platform/gbk.h"
#include "platform/instance_guard.h"
#include "store/record_store.h"
#include "ui/context.h"
#include "ui/main_window.h"

namespace tarvok::test {

class Organiser {
 public:
  // Folders as system (UTF-8) names.
  Organiser(const std::string& program_dir, const std::string& runtime_dir)
      : window_(std::make_unique<ui::MainWindow>()),
        ctx_(Utf8ToGb18030(program_dir), store_, *window_),
        guard_(platform::InstanceGuard::Places{runtime_dir}) {
    ctx_.end_program = [this] { ++end_calls_; };
    app::ConnectMainWindow(ctx_);
  }

  // The start-up; shows the window when it goes on. Returns whether it did.
  bool Start() {
    if (!app::RunStartup(ctx_, guard_)) return false;
    window_->show();
    return QTest::qWaitForWindowExposed(window_.get());
  }

  ui::Context& ctx() { return ctx_; }
  store::RecordStore& store() { return store_; }
  ui::MainWindow& window() { return *window_; }
  ui::Units units() const { return ctx_.units(); }
  int end_calls() const { return end_calls_; }

 private:
  store::RecordStore store_;
  std::unique_ptr<ui::MainWindow> window_;
  ui::Context ctx_;
  platform::InstanceGuard guard_;
  int end_calls_ = 0;
};

}  // namespace tarvok::test
