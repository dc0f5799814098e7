// Hot keys through the desktop portal's global shortcuts (Wayland, where no
// client may grab keys): one portal session per registration, holding the
// one shortcut, bound with the combination as its preferred trigger. The
// desktop may let the user confirm or change the trigger; a refusal is
// kTaken. The portal's requests answer with a Response signal, which is
// waited for in a local event loop, as a modal dialog would.
#include "app/global_hot_key.h"

#ifndef TARVOK_HAVE_QTDBUS

namespace tarvok::app {
std::unique_ptr<HotKeyRegistrar> MakePortalHotKeyRegistrar(const std::string&) { return nullptr; }
}  // namespace tarvok::app

#else

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>

#include <optional>
#include <utility>

namespace tarvok::app {
namespace {

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut {
  QString id;
  QVariantMap properties;
};

}  // namespace
}  // namespace tarvok::app

Q_DECLARE_METATYPE(tarvok::app::PortalShortcut)

namespace tarvok::app {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// The trigger in the portal's form: "CTRL+ALT+z".
QString Trigger(int modifiers, const KeySymbol& key) {
  QString trigger;
  if (modifiers & kModControl) trigger += QStringLiteral("CTRL+");
  if (modifiers & kModAlt) trigger += QStringLiteral("ALT+");
  if (modifiers & kModShift) trigger += QStringLiteral("SHIFT+");
  if (modifiers & kModSuper) trigger += QStringLiteral("LOGO+");
  return trigger + QLatin1String(key.name);
}

// Receives one request's Response.
class ResponseWait : public QObject {
  Q_OBJECT

 public:
  std::optional<uint> code;
  QVariantMap results;
  QEventLoop loop;

 public Q_SLOTS:
  void Response(uint response, const QVariantMap& answer) {
    code = response;
    results = answer;
    loop.quit();
  }
};

class PortalHotKeys final : public QObject, public HotKeyRegistrar {
  Q_OBJECT

 public:
  // `own_name`: the name of a connection of our own, closed with us.
  PortalHotKeys(QDBusConnection bus, QString own_name)
      : bus_(std::move(bus)), own_name_(std::move(own_name)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
  }
  ~PortalHotKeys() override {
    CloseSession();
    if (!own_name_.isEmpty()) QDBusConnection::disconnectFromBus(own_name_);
  }

  HotKeyResult Register(int id, int modifiers, int key_code,
                        std::function<void()> pressed) override {
    const KeySymbol symbol = KeySymbolOf(key_code);
    if (symbol.name == nullptr || (modifiers & ~kModAll) != 0) return HotKeyResult::kUnusableKey;
    if (!session_.isEmpty()) return HotKeyResult::kTaken;  // one registration at a time
    if (!bus_.isConnected() || !HasPortal()) return HotKeyResult::kNotPossible;

    const std::optional<QVariantMap> created =
        Request(QStringLiteral("CreateSession"), {},
                {{QStringLiteral("session_handle_token"), NextToken()}}, 10000);
    if (!created) return HotKeyResult::kNotPossible;
    const QVariant handle = created->value(QStringLiteral("session_handle"));
    session_ = handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
                   ? qvariant_cast<QDBusObjectPath>(handle).path()
                   : handle.toString();
    if (session_.isEmpty()) return HotKeyResult::kNotPossible;
    bus_.connect(kService, kPath, kShortcuts, QStringLiteral("Activated"), this,
                 SLOT(Activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));

    const QList<PortalShortcut> shortcuts = {
        {QString::number(id),
         {{QStringLiteral("description"), QStringLiteral("最小化/恢复主窗口")},
          {QStringLiteral("preferred_trigger"), Trigger(modifiers, symbol)}}}};
    // The user may be asked: wait as long as a dialog would be looked at.
    const std::optional<QVariantMap> bound =
        Request(QStringLiteral("BindShortcuts"),
                {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts),
                 QString()},
                {}, 120000);
    if (!bound) {
      CloseSession();
      return HotKeyResult::kTaken;
    }
    id_ = id;
    pressed_ = std::move(pressed);
    return HotKeyResult::kRegistered;
  }

  void Unregister(int id) override {
    if (id == id_ && !session_.isEmpty()) CloseSession();
  }

 private Q_SLOTS:
  void Activated(const QDBusObjectPath& session, const QString& shortcut, qulonglong,
                 const QVariantMap&) {
    if (session.path() != session_ || shortcut != QString::number(id_) || !pressed_) return;
    const std::function<void()> pressed = pressed_;
    pressed();
  }

 private:
  bool HasPortal() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kShortcuts << QStringLiteral("version");
    const QDBusMessage reply = bus_.call(get, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
  }

  QString NextToken() { return QStringLiteral("tarvok%1").arg(++tokens_); }

  // Calls a portal method whose last argument is its options, and waits for
  // the request's Response. The results when the response is success.
  std::optional<QVariantMap> Request(const QString& method, QList<QVariant> arguments,
                                     QVariantMap options, int timeout_ms) {
    const QString token = NextToken();
    options.insert(QStringLiteral("handle_token"), token);
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString expected =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);

    ResponseWait wait;
    const QString request_interface = QStringLiteral("org.freedesktop.portal.Request");
    const QString response = QStringLiteral("Response");
    const char* slot = SLOT(Response(uint, QVariantMap));
    // Subscribed before the call, so that a quick answer is not missed.
    bus_.connect(kService, expected, request_interface, response, &wait, slot);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kShortcuts, method);
    arguments.append(options);
    call.setArguments(arguments);
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 10000);
    QString handle = expected;
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      handle = qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path();
      if (handle != expected) {
        bus_.connect(kService, handle, request_interface, response, &wait, slot);
      }
      if (!wait.code) {
        QTimer::singleShot(timeout_ms, &wait.loop, &QEventLoop::quit);
        wait.loop.exec();
      }
    }
    bus_.disconnect(kService, expected, request_interface, response, &wait, slot);
    if (handle != expected) bus_.disconnect(kService, handle, request_interface, response, &wait, slot);
    if (reply.type() != QDBusMessage::ReplyMessage || wait.code != 0u) return std::nullopt;
    return wait.results;
  }

  void CloseSession() {
    if (session_.isEmpty()) return;
    bus_.disconnect(kService, kPath, kShortcuts, QStringLiteral("Activated"), this,
                    SLOT(Activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    bus_.call(QDBusMessage::createMethodCall(kService, session_,
                                             QStringLiteral("org.freedesktop.portal.Session"),
                                             QStringLiteral("Close")),
              QDBus::Block, 5000);
    session_.clear();
    id_ = 0;
    pressed_ = nullptr;
  }

  QDBusConnection bus_;
  QString own_name_;
  QString session_;  // the session's object path; empty when none
  int id_ = 0;
  std::function<void()> pressed_;
  int tokens_ = 0;
};

}  // namespace

std::unique_ptr<HotKeyRegistrar> MakePortalHotKeyRegistrar(const std::string& bus_address) {
  if (bus_address.empty()) {
    return std::make_unique<PortalHotKeys>(QDBusConnection::sessionBus(), QString());
  }
  static int connections = 0;
  const QString name = QStringLiteral("tarvok-portal-%1").arg(++connections);
  return std::make_unique<PortalHotKeys>(
      QDBusConnection::connectToBus(QString::fromStdString(bus_address), name), name);
}

}  // namespace tarvok::app

#include "global_hot_key_portal.moc"

#endif
