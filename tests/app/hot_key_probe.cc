// The hot key on a real display, for tools/check_hot_key.sh.
//
//   hot_key_probe --listen=PROGRAM_DIR --runtime=RUNTIME_DIR [--seconds=N]
// starts the organiser's window over PROGRAM_DIR with its handlers and its
// start-up (which registers the hot key of PROGRAM_DIR/config.ini), prints
// "registered ID" or "refused", then "toggle N" at the N-th press that
// reaches the window's toggle. Runs N seconds (default 60).
//
//   hot_key_probe --grab=MODIFIER_CODE,KEY_CODE
// registers that combination (organiser's codes) through the platform's
// registrar and prints registered, taken, unusable or not-possible.
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "app/global_hot_key.h"
#include "app/hot_key.h"
#include "platform/gbk.h"
#include "tests/app/organiser.h"

namespace {

using namespace tarvok;

const char* ResultName(app::HotKeyResult result) {
  switch (result) {
    case app::HotKeyResult::kRegistered: return "registered";
    case app::HotKeyResult::kTaken: return "taken";
    case app::HotKeyResult::kUnusableKey: return "unusable";
    case app::HotKeyResult::kNotPossible: return "not-possible";
  }
  return "?";
}

// Passes everything to the platform's registrar and counts the calls.
class Counting : public app::HotKeyRegistrar {
 public:
  app::HotKeyResult Register(int id, int modifiers, int key_code,
                             std::function<void()> pressed) override {
    ++calls;
    return platform.Register(id, modifiers, key_code, std::move(pressed));
  }
  void Unregister(int id) override { platform.Unregister(id); }

  app::HotKeyRegistrar& platform = app::HotKeyRegistrars();
  int calls = 0;
};

int Listen(const std::string& program_dir, const std::string& runtime_dir, int seconds) {
  Counting counting;
  app::ScopedHotKeyRegistrar use(&counting);
  int toggles = 0;
  {
    test::Organiser organiser(program_dir, runtime_dir);
    app::ConnectHotKey(organiser.ctx());
    organiser.ctx().toggle_main_window = [&toggles] {
      std::printf("toggle %d\n", ++toggles);
      std::fflush(stdout);
    };
    if (!organiser.Start()) {
      std::printf("start ended\n");
      return 1;
    }
    if (counting.calls == 0) app::RegisterSummonHotKey(organiser.ctx(), app::RegisterFrom::kStartUp);
    const int id = organiser.ctx().state.hot_key_id;
    if (id != 0) {
      std::printf("registered %d\n", id);
    } else {
      std::printf("refused\n");
    }
    std::fflush(stdout);
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::exit(0); });
    QApplication::exec();
  }
  return 0;
}

int Grab(std::string_view codes) {
  const std::size_t comma = codes.find(',');
  if (comma == std::string_view::npos) return 2;
  const int modifiers = std::stoi(std::string(codes.substr(0, comma)));
  const int key = std::stoi(std::string(codes.substr(comma + 1)));
  app::HotKeyRegistrar& platform = app::HotKeyRegistrars();
  const app::HotKeyResult result =
      platform.Register(1, app::RegistrationModifiers(modifiers), key, [] {});
  std::printf("%s\n", ResultName(result));
  if (result == app::HotKeyResult::kRegistered) platform.Unregister(1);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr std::string_view kListen = "--listen=", kRuntime = "--runtime=",
                             kSeconds = "--seconds=", kGrab = "--grab=";
  std::string listen, runtime, grab;
  int seconds = 60;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with(kListen)) listen = arg.substr(kListen.size());
    if (arg.starts_with(kRuntime)) runtime = arg.substr(kRuntime.size());
    if (arg.starts_with(kSeconds)) seconds = std::stoi(std::string(arg.substr(kSeconds.size())));
    if (arg.starts_with(kGrab)) grab = arg.substr(kGrab.size());
  }
  QApplication app(argc, argv);
  if (!grab.empty()) return Grab(grab);
  if (!listen.empty() && !runtime.empty()) return Listen(listen, runtime, seconds);
  std::fprintf(stderr, "usage: hot_key_probe --listen=DIR --runtime=DIR [--seconds=N] | --grab=MODS,KEY\n");
  return 2;
}
