// The summon hot key through the real settings page: keys pressed in
// 编辑框_热键1, the texts they make, the registration button and the start-up
// registration over a registrar of the test's, and the presses that come
// back.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/global_hot_key.h"
#include "app/hot_key.h"
#include "app/settings.h"
#include "tests/app/app_test_base.h"

namespace tarvok::test {
namespace {

using app::HotKeyResult;
using ui::BoxKind;

// Answers like a platform that takes every combination of a usable key,
// unless told otherwise, and keeps what it was asked.
class FakeRegistrar : public app::HotKeyRegistrar {
 public:
  struct Call {
    int id, modifiers, key_code;
    bool operator==(const Call&) const = default;
  };

  HotKeyResult Register(int id, int modifiers, int key_code,
                        std::function<void()> pressed) override {
    registered.push_back({id, modifiers, key_code});
    if (app::KeySymbolOf(key_code).keysym == 0) return HotKeyResult::kUnusableKey;
    if (answer != HotKeyResult::kRegistered) return answer;
    EXPECT_EQ(live.count(id), 0u) << "id " << id << " registered twice";
    live[id] = std::move(pressed);
    return HotKeyResult::kRegistered;
  }
  void Unregister(int id) override {
    unregistered.push_back(id);
    live.erase(id);
  }
  // A press of the registered combination `id`, as the platform reports it.
  void Press(int id) {
    ASSERT_EQ(live.count(id), 1u) << "id " << id << " is not registered";
    live[id]();
  }

  HotKeyResult answer = HotKeyResult::kRegistered;
  std::vector<Call> registered;
  std::vector<int> unregistered;
  std::map<int, std::function<void()>> live;
};

class HotKeyTest : public AppTest {
 protected:
  // The window gives its registration back to the fake, which must still be
  // there.
  ~HotKeyTest() override { organiser_.reset(); }

  // An organiser started over `utf8_config` (none when null), with its
  // window's toggle counted. The start-up has made its one quiet
  // registration when this returns.
  Organiser& StartWith(const char* utf8_config) {
    if (utf8_config != nullptr) WriteFileBytes(File("config.ini"), Utf8ToGbk(utf8_config));
    Organiser& o = Make();
    app::ConnectHotKey(o.ctx());  // a second call for the window does nothing
    o.ctx().toggle_main_window = [this] { ++toggles_; };
    EXPECT_TRUE(o.Start());
    // LoadSettings registers; where it does not, do what it does.
    if (fake_.registered.empty()) app::RegisterSummonHotKey(o.ctx(), app::RegisterFrom::kStartUp);
    EXPECT_EQ(fake_.registered.size(), 1u) << "one registration at start";
    o.units().Pages("选择夹_左侧"_gbk).SetCurrentPage(1);
    return o;
  }

  QLineEdit* Box(Organiser& o) {
    return qobject_cast<QLineEdit*>(o.units().Edit("编辑框_热键1"_gbk).widget());
  }
  std::string Shown(Organiser& o) { return GbkToUtf8(o.units().Edit("编辑框_热键1"_gbk).Text()); }
  std::string Setting(Organiser& o, const char* utf8_key) {
    return GbkToUtf8(app::ReadSetting(o.ctx(), "全局热键"_gbk, Utf8ToGbk(utf8_key), "(none)"));
  }
  void ClickRegister(Organiser& o) { o.units().Push("按钮_注册热键1"_gbk).widget()->click(); }
  std::string Refusal(const char* shown, const char* why) {
    return Utf8ToGbk(std::string("热键：‘") + shown + "’注册失败：" + why);
  }

  FakeRegistrar fake_;
  app::ScopedHotKeyRegistrar use_fake_{&fake_};
  int toggles_ = 0;
};

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier, kCtrl = Qt::ControlModifier,
                                kShift = Qt::ShiftModifier, kAlt = Qt::AltModifier,
                                kPad = Qt::KeypadModifier;

TEST_F(HotKeyTest, KeysPressedInTheBoxShowTheCombinationAndStoreTheirCodes) {
  enum Act { kPress, kRelease, kClick, kRepeat /* a held key's automatic release, before its next press */ };
  struct Step {
    Act act;
    Qt::Key key;
    Qt::KeyboardModifiers held;  // QTest presses and releases these around the key
    const char* shows;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
    int modifiers, key_code;  // 功能键1 and 主热键1 afterwards
  };
  const Case cases[] = {
      {"Ctrl, Alt, Z held, then let go",
       {{kPress, Qt::Key_Control, kNone, "Ctrl + "},
        {kPress, Qt::Key_Alt, kCtrl, "Ctrl + "},
        {kPress, Qt::Key_Z, kCtrl | kAlt, "Ctrl + Alt + Z"},
        {kRelease, Qt::Key_Z, kCtrl | kAlt, "Ctrl + Alt + Z"}},
       5, 90},
      {"Ctrl alone, held long",
       {{kPress, Qt::Key_Control, kNone, "Ctrl + "},
        {kRepeat, Qt::Key_Control, kNone, "Ctrl + "},
        {kPress, Qt::Key_Control, kNone, "Ctrl + "},
        {kRelease, Qt::Key_Control, kNone, "无"}},
       0, 17},
      {"F5 replaces a combination",
       {{kClick, Qt::Key_Z, kCtrl | kAlt, "Ctrl + Alt + Z"}, {kClick, Qt::Key_F5, kNone, "F5"}},
       0, 116},
      {"a key without a name", {{kClick, Qt::Key_Home, kNone, ""}}, 0, 36},
      {"a key without a name after Ctrl",
       {{kPress, Qt::Key_Home, kCtrl, "Ctrl + "},
        {kRelease, Qt::Key_Home, kNone, "无"},
        {kRelease, Qt::Key_Control, kNone, ""}},
       1, 36},
      {"Tab stays in the box", {{kClick, Qt::Key_Tab, kNone, ""}}, 0, 9},
      {"Shift held, then Ctrl",
       {{kPress, Qt::Key_Shift, kNone, "Shift + "},
        {kPress, Qt::Key_Control, kShift, "Ctrl + Shift + "},
        // The first release drops the text of modifiers only; the next one
        // shows the text as it now is.
        {kRelease, Qt::Key_Control, kNone, "无"},
        {kRelease, Qt::Key_Shift, kNone, ""}},
       2, 17},
      {"Alt held, then Shift",
       {{kPress, Qt::Key_Alt, kNone, "Alt + "},
        {kPress, Qt::Key_Shift, kAlt, "Shift + Alt + "},
        {kRelease, Qt::Key_Shift, kNone, "无"},
        {kRelease, Qt::Key_Alt, kNone, ""}},
       4, 16},
      {"keypad 5 with Ctrl", {{kClick, Qt::Key_5, kCtrl | kPad, "Ctrl + 5"}}, 1, 53},
      {"keypad -", {{kClick, Qt::Key_Minus, kAlt | kPad, "Alt + -"}}, 4, 189},
      {"keypad .", {{kClick, Qt::Key_Period, kPad, "."}}, 0, 190},
      {"keypad /", {{kClick, Qt::Key_Slash, kPad, "/"}}, 0, 191},
      {"keypad *", {{kClick, Qt::Key_Asterisk, kShift | kPad, "Shift + *"}}, 2, 106},
      {"keypad +", {{kClick, Qt::Key_Plus, kPad, "+"}}, 0, 107},
      {"Shift + 8 comes as *", {{kClick, Qt::Key_Asterisk, kShift, "Shift + 8"}}, 2, 56},
      {"Ctrl + Shift + ; comes as :", {{kClick, Qt::Key_Colon, kCtrl | kShift, "Ctrl + Shift + ;"}}, 3, 186},
      {"all three", {{kClick, Qt::Key_F12, kCtrl | kShift | kAlt, "Ctrl + Shift + Alt + F12"}}, 7, 123},
      {"Shift + Space", {{kClick, Qt::Key_Space, kShift, "Shift + 空格"}}, 2, 32},
      {"Ctrl + Shift + Left", {{kClick, Qt::Key_Left, kCtrl | kShift, "Ctrl + Shift + ←"}}, 3, 37},
  };
  Organiser& o = StartWith(nullptr);
  QLineEdit* box = Box(o);
  box->setFocus();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const Step& s : c.steps) {
      if (s.act == kPress) QTest::keyPress(box, s.key, s.held);
      if (s.act == kRelease) QTest::keyRelease(box, s.key, s.held);
      if (s.act == kClick) QTest::keyClick(box, s.key, s.held);
      if (s.act == kRepeat) QTest::simulateEvent(box, false, s.key, s.held, QString(), /*repeat=*/true);
      EXPECT_EQ(Shown(o), s.shows) << "after key " << s.key;
    }
    EXPECT_EQ(Setting(o, "功能键1"), std::to_string(c.modifiers));
    EXPECT_EQ(Setting(o, "主热键1"), std::to_string(c.key_code));
    EXPECT_EQ(o.ctx().state.hot_key_modifiers, c.modifiers);
    EXPECT_EQ(o.ctx().state.hot_key_code, c.key_code);
  }
  EXPECT_TRUE(box->hasFocus());
  EXPECT_EQ(Setting(o, "呼出热键"), "(none)") << "only the button writes the text";
  EXPECT_EQ(fake_.registered.size(), 1u) << "pressing keys registers nothing";
}

TEST(FormatHotKey, PrefixModifierKeysAndNames) {
  struct Case {
    const char* before;
    int key, modifiers;
    const char* after;
  };
  const Case cases[] = {
      // Modifiers 0 (or any value outside 1..7) keep the text: after a
      // prefix the name is appended, otherwise it stands alone.
      {"Ctrl + ", 65, 0, "Ctrl + A"},
      {"Ctrl + Alt + Z", 66, 8, "B"},
      {"Alt + ", 36, 0, "Alt + "},
      {"Ctrl + Alt + Z", 36, 0, ""},
      // A modifier key: the first matching rule, else the prefix.
      {"F5", 17, 6, "Ctrl + Shift + Alt + "},
      {"F5", 17, 4, "Ctrl + Alt + "},
      {"F5", 16, 4, "Shift + Alt + "},
      {"F5", 16, 1, "Ctrl + "},
      {"F5", 18, 2, "Shift + "},
      {"F5", 18, 3, "Ctrl + Shift + "},
      {"F5", 18, 0, "Alt + "},
      // Names at the edges of their ranges.
      {"", 111, 0, ""},  {"", 112, 0, "F1"}, {"", 123, 0, "F12"}, {"", 124, 0, ""},
      {"", 47, 0, ""},   {"", 48, 0, "0"},   {"", 57, 0, "9"},    {"", 58, 0, ""},
      {"", 64, 0, ""},   {"", 65, 0, "A"},   {"", 90, 0, "Z"},    {"", 91, 0, ""},
      {"", 31, 0, ""},   {"", 32, 0, "空格"}, {"", 37, 0, "←"},   {"", 38, 0, "↑"},
      {"", 39, 0, "→"},  {"", 40, 0, "↓"},   {"", 41, 0, ""},     {"", 105, 0, ""},
      {"", 106, 0, "*"}, {"", 107, 0, "+"},  {"", 108, 0, ""},    {"", 109, 0, ""},
      {"", 185, 0, ""},  {"", 186, 0, ";"},  {"", 187, 0, "="},   {"", 188, 0, ","},
      {"", 189, 0, "-"}, {"", 190, 0, "."},  {"", 191, 0, "/"},   {"", 192, 0, "`"},
      {"", 193, 0, ""},  {"", 218, 0, ""},   {"", 219, 0, "["},   {"", 220, 0, "\\"},
      {"", 221, 0, "]"}, {"", 222, 0, "'"},  {"", 223, 0, ""},
  };
  for (const Case& c : cases) {
    ui::AppState state;
    state.hot_key_text = Utf8ToGbk(c.before);
    const std::string shown = app::FormatHotKey(state, c.key, c.modifiers);
    EXPECT_EQ(GbkToUtf8(shown), c.after) << c.before << " / " << c.key << " / " << c.modifiers;
    EXPECT_EQ(state.hot_key_text, shown);
  }
}

TEST(RegistrationModifiers, MapsTheOrganisersCodesAndPassesOthersOn) {
  const int kExpected[] = {0, 2, 4, 6, 1, 3, 5, 7};
  for (int code = 0; code <= 7; ++code) EXPECT_EQ(app::RegistrationModifiers(code), kExpected[code]) << code;
  for (int code : {8, 12, -1}) EXPECT_EQ(app::RegistrationModifiers(code), code);
}

TEST_F(HotKeyTest, TheButtonRegistersTellsAndStoresTheShownText) {
  Organiser& o = StartWith(nullptr);
  EXPECT_EQ(o.ctx().state.hot_key_id, 0) << "nothing stored: nothing to register";
  QTest::keyClick(Box(o), Qt::Key_Z, kCtrl | kAlt);
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleNone(), "热键：‘Ctrl + Alt + Z’注册成功！"_gbk);
  ClickRegister(o);
  EXPECT_EQ(fake_.registered.back(),
            (FakeRegistrar::Call{33002, app::kModControl | app::kModAlt, 90}));
  EXPECT_EQ(o.ctx().state.hot_key_id, 33002);
  EXPECT_EQ(Setting(o, "呼出热键"), "Ctrl + Alt + Z");
}

TEST_F(HotKeyTest, ARefusalIsToldAndTheTextIsStoredAllTheSame) {
  struct Case {
    HotKeyResult answer;
    Qt::Key key;
    Qt::KeyboardModifiers held;
    const char* shown;
    const char* why;
  };
  const Case cases[] = {
      {HotKeyResult::kTaken, Qt::Key_Q, kCtrl, "Ctrl + Q", "这个组合键已被其他程序占用，请换一个组合键。"},
      {HotKeyResult::kNotPossible, Qt::Key_F7, kAlt, "Alt + F7", "当前的桌面环境不支持全局热键。"},
      // Only Ctrl pressed: the registrar refuses key 17 itself.
      {HotKeyResult::kRegistered, Qt::Key_Control, kNone, "无", "这个按键不能用作全局热键，请换一个组合键。"},
  };
  Organiser& o = StartWith(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    fake_.answer = c.answer;
    QTest::keyClick(Box(o), c.key, c.held);
    dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), Refusal(c.shown, c.why));
    ClickRegister(o);
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_EQ(o.ctx().state.hot_key_id, 0);
    EXPECT_EQ(Setting(o, "呼出热键"), c.shown);
  }
}

TEST_F(HotKeyTest, WithoutAPlatformRegistrarTheButtonSaysSoAndStoresTheText) {
  Organiser& o = StartWith(nullptr);
  app::ScopedHotKeyRegistrar platform(nullptr);  // offscreen: none
  QTest::keyClick(Box(o), Qt::Key_Z, kCtrl | kAlt);
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(),
                         Refusal("Ctrl + Alt + Z", "当前的桌面环境不支持全局热键。"));
  ClickRegister(o);
  EXPECT_EQ(o.ctx().state.hot_key_id, 0);
  EXPECT_EQ(Setting(o, "呼出热键"), "Ctrl + Alt + Z");
}

TEST_F(HotKeyTest, EachRegistrationReplacesThePreviousUnderTheNextId) {
  Organiser& o = StartWith("[全局热键]\r\n呼出热键=Ctrl + Alt + K\r\n功能键1=5\r\n主热键1=75\r\n");
  // The start-up: quiet (no box expected), first id of the run.
  EXPECT_EQ(fake_.registered.back(), (FakeRegistrar::Call{33001, app::kModControl | app::kModAlt, 75}));
  EXPECT_EQ(o.ctx().state.hot_key_id, 33001);

  QTest::keyClick(Box(o), Qt::Key_F9, kCtrl | kShift);
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleNone(), "热键：‘Ctrl + Shift + F9’注册成功！"_gbk);
  ClickRegister(o);
  EXPECT_EQ(fake_.unregistered, std::vector<int>{33001});
  EXPECT_EQ(fake_.registered.back(), (FakeRegistrar::Call{33002, app::kModControl | app::kModShift, 120}));

  fake_.answer = HotKeyResult::kTaken;
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(),
                         Refusal("Ctrl + Shift + F9", "这个组合键已被其他程序占用，请换一个组合键。"));
  ClickRegister(o);
  EXPECT_EQ(fake_.unregistered, (std::vector<int>{33001, 33002}));
  EXPECT_EQ(fake_.registered.back().id, 33003);
  EXPECT_TRUE(fake_.live.empty()) << "a refusal leaves none registered";
  EXPECT_EQ(o.ctx().state.hot_key_id, 0);

  fake_.answer = HotKeyResult::kRegistered;
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleNone(), "热键：‘Ctrl + Shift + F9’注册成功！"_gbk);
  ClickRegister(o);
  EXPECT_EQ(fake_.unregistered.size(), 2u) << "nothing held, nothing to unregister";
  EXPECT_EQ(o.ctx().state.hot_key_id, 33004);
}

TEST_F(HotKeyTest, ARefusalAtStartIsQuiet) {
  fake_.answer = HotKeyResult::kTaken;
  Organiser& o = StartWith("[全局热键]\r\n功能键1=5\r\n主热键1=75\r\n");
  EXPECT_EQ(fake_.registered.back(), (FakeRegistrar::Call{33001, app::kModControl | app::kModAlt, 75}));
  EXPECT_EQ(o.ctx().state.hot_key_id, 0);
  EXPECT_EQ(Setting(o, "呼出热键"), "(none)") << "only the button writes the text";
}

TEST_F(HotKeyTest, APressTogglesTheWindowOnceTheHandlerHasReturned) {
  Organiser& o = StartWith("[全局热键]\r\n呼出热键=Alt + 空格\r\n功能键1=4\r\n主热键1=32\r\n");
  fake_.Press(33001);
  EXPECT_EQ(toggles_, 0) << "delivered through the event loop, not from inside the platform's handler";
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(toggles_, 1);
  fake_.Press(33001);
  fake_.Press(33001);
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(toggles_, 3);

  // An identifier that is not the one held does nothing.
  app::ToggleMainWindow(o.ctx(), 33000);
  app::ToggleMainWindow(o.ctx(), 0);
  EXPECT_EQ(toggles_, 3);

  // A press still on its way when the window goes is dropped, and the
  // window's registration goes with it.
  fake_.Press(33001);
  organiser_.reset();
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(toggles_, 3);
  EXPECT_EQ(fake_.unregistered, std::vector<int>{33001});
  EXPECT_TRUE(fake_.live.empty());
}

TEST_F(HotKeyTest, ThePressOfAReplacedRegistrationDoesNothing) {
  Organiser& o = StartWith("[全局热键]\r\n呼出热键=Alt + 空格\r\n功能键1=4\r\n主热键1=32\r\n");
  std::function<void()> old_press = fake_.live.at(33001);
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleNone(), "热键：‘Alt + 空格’注册成功！"_gbk);
  ClickRegister(o);
  old_press();  // a press the platform had queued before the change
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(toggles_, 0);
  fake_.Press(33002);
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(toggles_, 1);
}

// The portal registrar without a bus, and on a bus without the portal:
// registering is not possible, and says so at once.
TEST(PortalHotKeys, WithoutThePortalRegisteringIsNotPossible) {
  auto no_bus = app::MakePortalHotKeyRegistrar("unix:path=/nonexistent/tarvok-bus");
  if (no_bus == nullptr) GTEST_SKIP() << "built without QtDBus";
  EXPECT_EQ(no_bus->Register(1, app::kModControl, 90, {}), HotKeyResult::kNotPossible);
  EXPECT_EQ(no_bus->Register(1, app::kModControl, 17, {}), HotKeyResult::kUnusableKey);

  TempDir dir;
  WriteFileBytes(dir.Path("bus.conf"),
                 "<busconfig><type>session</type><listen>unix:dir=" + dir.path() +
                     "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                     "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/>"
                     "</policy></busconfig>");
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--config-file=") + QString::fromStdString(dir.Path("bus.conf")),
                QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
  if (!daemon.waitForStarted(5000)) GTEST_SKIP() << "no dbus-daemon";
  ASSERT_TRUE(daemon.waitForReadyRead(5000));
  const std::string address = daemon.readLine().trimmed().toStdString();
  {
    auto no_portal = app::MakePortalHotKeyRegistrar(address);
    EXPECT_EQ(no_portal->Register(1, app::kModControl | app::kModAlt, 90, {}), HotKeyResult::kNotPossible);
  }
  daemon.terminate();
  daemon.waitForFinished(5000);
}

}  // namespace
}  // namespace tarvok::test
