// The fixture of the organiser's tests: a fresh program folder (with a
// Chinese name, so every path is GBK on the system side), a private runtime
// folder for the single-instance mark, "now" pinned to 31 January 2013
// 10:00:00 and a dialog script that each test fills.
#pragma once

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "tests/app/organiser.h"
#include "tests/support/temp_dir.h"
#include "ui/scripted_dialogs.h"

namespace tarvok::test {

class AppTest : public testing::Test {
 protected:
  AppTest() : use_dialogs_(&dialogs_) {
    mkdir(ProgramDir().c_str(), 0700);
    mkdir(RuntimeDir().c_str(), 0700);
    SetClock([] { return MakeDate(2013, 1, 31, 10, 0, 0); });
  }
  ~AppTest() override {
    dialogs_.Finish();
    SetClock(nullptr);
  }

  std::string ProgramDir() const { return dir_.Path("程序"); }
  std::string RuntimeDir() const { return dir_.Path("run"); }
  // A file in the program folder, as a system name: "data/rz35.edb".
  std::string File(const std::string& utf8_suffix) const { return ProgramDir() + "/" + utf8_suffix; }
  // The same as the store takes it.
  std::string GbkFile(const std::string& utf8_suffix) const { return Utf8ToGb18030(File(utf8_suffix)); }

  // A new organiser over the program folder (not started).
  Organiser& Make() {
    organiser_ = std::make_unique<Organiser>(ProgramDir(), RuntimeDir());
    return *organiser_;
  }
  // A new organiser, started; the test fails when the start ends.
  Organiser& Started() {
    Organiser& o = Make();
    EXPECT_TRUE(o.Start());
    return o;
  }

  TempDir dir_;
  ui::ScriptedDialogs dialogs_;
  ui::ScopedDialogService use_dialogs_;
  std::unique_ptr<Organiser> organiser_;
};

}  // namespace tarvok::test
