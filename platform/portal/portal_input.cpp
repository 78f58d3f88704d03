#include "platform/portal/portal_input.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QFile>
#include <QObject>
#include <QSaveFile>
#include <QTimer>
#include <QVariantMap>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "platform/screens.h"
#include "platform/wayland/evdev_buttons.h"

namespace pel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRemote = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint kPointerDevice = 2;  // SelectDevices' types
constexpr uint kMonitorSource = 1;  // SelectSources' types
constexpr uint kPersistUntilRevoked = 2;
constexpr uint kCancelled = 1;  // a Response's code: the user said no
constexpr uint kOtherEnd = 2;   // the interaction ended otherwise (a dialog closed)
constexpr int kCallMs = 30000;  // a portal's answer to anything but the consent
constexpr int kNotifyMs = 5000;

std::string Text(const QDBusMessage& error) {
  return (error.errorName() + QStringLiteral(": ") + error.errorMessage()).toStdString();
}

// A stream of the screen cast: its PipeWire node, which the portal's calls name, and the
// monitor it shows.
struct Stream {
  uint node = 0;
  Monitor at;
};

std::pair<int, int> ReadPair(const QVariant& value) {
  int a = 0, b = 0;
  if (value.canConvert<QDBusArgument>()) {
    const QDBusArgument arg = value.value<QDBusArgument>();
    arg.beginStructure();
    arg >> a >> b;
    arg.endStructure();
  }
  return {a, b};
}

// The streams of Start's results: a(ua{sv}), each with its position and size in the layout.
std::vector<Stream> ReadStreams(const QVariant& value) {
  std::vector<Stream> streams;
  if (!value.canConvert<QDBusArgument>()) return streams;
  const QDBusArgument arg = value.value<QDBusArgument>();
  arg.beginArray();
  while (!arg.atEnd()) {
    Stream stream;
    QVariantMap properties;
    arg.beginStructure();
    arg >> stream.node >> properties;
    arg.endStructure();
    std::tie(stream.at.left, stream.at.top) =
        ReadPair(properties.value(QStringLiteral("position")));
    std::tie(stream.at.width, stream.at.height) =
        ReadPair(properties.value(QStringLiteral("size")));
    stream.at.name = properties.value(QStringLiteral("id")).toString().toStdString();
    streams.push_back(stream);
  }
  arg.endArray();
  return streams;
}

// Receives the portal's signals: a request's Response, the session's Closed.
class Receiver : public QObject {
  Q_OBJECT
 public:
  std::optional<std::pair<uint, QVariantMap>> response;
  std::function<void()> on_closed;

 public slots:
  void OnResponse(uint code, const QVariantMap& results) {
    response.emplace(code, results);
    emit Answered();
  }
  void OnClosed(const QVariantMap&) {
    if (on_closed) on_closed();
  }

 signals:
  void Answered();
};

}  // namespace

class PortalInput::Bus {
 public:
  explicit Bus(QDBusConnection connection)
      : bus(std::move(connection)),
        watcher(kService, bus, QDBusServiceWatcher::WatchForUnregistration) {}

  QDBusConnection bus;
  QDBusServiceWatcher watcher;
  Receiver receiver;
  QDBusObjectPath session;
  std::vector<Stream> streams;
  bool portal_gone = false;

  QDBusMessage Call(const QString& iface, const QString& method, const QVariantList& args,
                    int ms = kCallMs) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, iface, method);
    call.setArguments(args);
    return bus.call(call, QDBus::Block, ms);
  }

  // Calls `method` with `args` and then the options (with a handle token), and waits for the
  // request's Response: at most kCallMs unless `wait_long` (the user's consent, which takes as
  // long as the user does). False, with the reason in `error`, when the call failed, no answer
  // came or the portal went away.
  bool Request(const QString& iface, const QString& method, QVariantList args, QVariantMap options,
               bool wait_long, uint& code, QVariantMap& results, std::string& error) {
    const QString token = QStringLiteral("pelmira%1").arg(++tokens_);
    options.insert(QStringLiteral("handle_token"), token);
    QString path = RequestPath(token);
    receiver.response.reset();
    auto listen = [&](const QString& at, bool on) {
      const char* slot = SLOT(OnResponse(uint, QVariantMap));
      if (on)
        bus.connect(QString(), at, kRequest, QStringLiteral("Response"), &receiver, slot);
      else
        bus.disconnect(QString(), at, kRequest, QStringLiteral("Response"), &receiver, slot);
    };
    listen(path, true);
    args << options;
    const QDBusMessage reply = Call(iface, method, args);
    if (reply.type() == QDBusMessage::ErrorMessage) {
      listen(path, false);
      error = method.toStdString() + ": " + Text(reply);
      return false;
    }
    // A portal older than handle tokens answers another path.
    const QString handle = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (!handle.isEmpty() && handle != path) {
      listen(path, false);
      path = handle;
      listen(path, true);
    }
    if (!receiver.response && !portal_gone) {
      QEventLoop loop;
      QObject::connect(&receiver, &Receiver::Answered, &loop, &QEventLoop::quit);
      QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &loop,
                       &QEventLoop::quit);
      QTimer limit;
      if (!wait_long) {
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(kCallMs);
      }
      loop.exec();
    }
    listen(path, false);
    if (!receiver.response) {
      error = method.toStdString() + ": " +
              (portal_gone ? "the portal went away" : "the portal did not answer");
      return false;
    }
    code = receiver.response->first;
    results = receiver.response->second;
    return true;
  }

 private:
  QString RequestPath(const QString& token) const {
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
  }

  int tokens_ = 0;
};

namespace {

// The portal, started on demand, says whether it offers a remote desktop and which version; 0
// when it does not, with the reason in `error`.
uint RemoteDesktopVersion(const QDBusConnection& bus, std::string& error) {
  if (!bus.isConnected()) {
    error = "no session bus (" + bus.lastError().message().toStdString() + ")";
    return 0;
  }
  QDBusMessage get = QDBusMessage::createMethodCall(
      kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << kRemote << QStringLiteral("version");
  const QDBusMessage got = bus.call(get, QDBus::Block, kCallMs);
  const uint version = got.type() == QDBusMessage::ErrorMessage
                           ? 0
                           : got.arguments().value(0).value<QDBusVariant>().variant().toUInt();
  if (version == 0)
    error = "the desktop portal offers no remote desktop (" +
            (got.type() == QDBusMessage::ErrorMessage ? Text(got) : std::string("version 0")) + ")";
  return version;
}

}  // namespace

bool PortalInput::Offered(std::string& error) {
  return RemoteDesktopVersion(QDBusConnection::sessionBus(), error) > 0;
}

std::unique_ptr<PortalInput> PortalInput::Open(const std::string& token_file, Hooks hooks,
                                               Outcome& outcome, std::string& error) {
  outcome = Outcome::Absent;
  const uint version = RemoteDesktopVersion(QDBusConnection::sessionBus(), error);
  if (version == 0) return nullptr;
  auto bus = std::make_unique<Bus>(QDBusConnection::sessionBus());
  QObject::connect(&bus->watcher, &QDBusServiceWatcher::serviceUnregistered,
                   [b = bus.get()] { b->portal_gone = true; });
  outcome = Outcome::Failed;

  uint code = 0;
  QVariantMap results;
  const QString session_token = QStringLiteral("pelmira_session");
  if (!bus->Request(kRemote, QStringLiteral("CreateSession"), {},
                    {{QStringLiteral("session_handle_token"), session_token}}, false, code, results,
                    error))
    return nullptr;
  if (code != 0) {
    error = "CreateSession was answered " + std::to_string(code);
    return nullptr;
  }
  const QVariant handle = results.value(QStringLiteral("session_handle"));
  bus->session =
      QDBusObjectPath(handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                           : handle.toString());
  const QVariant session = QVariant::fromValue(bus->session);

  QVariantMap devices{{QStringLiteral("types"), kPointerDevice}};
  QString token;
  if (version >= 2) {
    devices.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
    QFile file(QString::fromStdString(token_file));
    if (!token_file.empty() && file.open(QIODevice::ReadOnly))
      token = QString::fromUtf8(file.readAll()).trimmed();
    if (!token.isEmpty()) devices.insert(QStringLiteral("restore_token"), token);
  }
  if (!bus->Request(kRemote, QStringLiteral("SelectDevices"), {session}, devices, false, code,
                    results, error))
    return nullptr;
  if (code != 0) {
    error = "SelectDevices was answered " + std::to_string(code);
    return nullptr;
  }
  // Every monitor, so that a position on any of them can be reached.
  if (!bus->Request(kCast, QStringLiteral("SelectSources"), {session},
                    {{QStringLiteral("types"), kMonitorSource}, {QStringLiteral("multiple"), true}},
                    false, code, results, error))
    return nullptr;
  if (code != 0) {
    error = "SelectSources was answered " + std::to_string(code);
    return nullptr;
  }

  if (hooks.waiting) hooks.waiting();
  if (!bus->Request(kRemote, QStringLiteral("Start"), {session, QString()}, {}, true, code, results,
                    error))
    return nullptr;
  const uint granted = results.value(QStringLiteral("devices")).toUInt();
  if (code == kCancelled || code == kOtherEnd || (code == 0 && !(granted & kPointerDevice))) {
    outcome = Outcome::Refused;
    error = code == 0            ? "no pointer was allowed"
            : code == kCancelled ? "the user said no"
                                 : "the request ended without an answer";
    return nullptr;
  }
  if (code != 0) {
    error = "Start was answered " + std::to_string(code);
    return nullptr;
  }
  bus->streams = ReadStreams(results.value(QStringLiteral("streams")));
  if (bus->streams.empty()) {
    error = "the desktop shared no monitor, so positions cannot be played";
    return nullptr;
  }
  const QString restore = results.value(QStringLiteral("restore_token")).toString();
  if (!restore.isEmpty() && restore != token && !token_file.empty()) {
    QSaveFile file(QString::fromStdString(token_file));
    if (file.open(QIODevice::WriteOnly)) {
      file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
      file.write(restore.toUtf8());
      file.commit();
    }
  }
  outcome = Outcome::Granted;
  return std::unique_ptr<PortalInput>(new PortalInput(std::move(bus), std::move(hooks)));
}

PortalInput::PortalInput(std::unique_ptr<Bus> bus, Hooks hooks)
    : bus_(std::move(bus)), hooks_(std::move(hooks)) {
  bus_->receiver.on_closed = [this] { End("the desktop closed the input control session"); };
  bus_->bus.connect(QString(), bus_->session.path(), kSession, QStringLiteral("Closed"),
                    &bus_->receiver, SLOT(OnClosed(QVariantMap)));
  QObject::connect(&bus_->watcher, &QDBusServiceWatcher::serviceUnregistered, &bus_->receiver,
                   [this] { End("the desktop portal went away"); });
}

PortalInput::~PortalInput() {
  if (closed_) return;
  QDBusMessage close = QDBusMessage::createMethodCall(kService, bus_->session.path(), kSession,
                                                      QStringLiteral("Close"));
  bus_->bus.call(close, QDBus::Block, kNotifyMs);
}

void PortalInput::End(const std::string& reason) {
  if (closed_) return;
  closed_ = true;
  // Said from the event loop, never from inside the call that found it.
  QTimer::singleShot(0, &bus_->receiver, [this, reason] {
    if (hooks_.closed) hooks_.closed(reason);
  });
}

bool PortalInput::Sent(const QDBusMessage& reply) {
  if (reply.type() != QDBusMessage::ErrorMessage) return true;
  // The portal answers so once the session has gone, also before its Closed signal arrives.
  End("the desktop ended input control (" + Text(reply) + ")");
  return false;
}

int16_t PortalInput::KeyState(int) {
  return 0;
}

bool PortalInput::CursorPos(Point&) {
  return false;
}

namespace {

// A stream whose size the portal did not give is taken to hold every point.
bool Holds(const Monitor& m, Point p) {
  if (m.width <= 0 || m.height <= 0) return true;
  return p.x >= m.left && p.y >= m.top && int64_t{p.x} < int64_t{m.left} + m.width &&
         int64_t{p.y} < int64_t{m.top} + m.height;
}

}  // namespace

bool PortalInput::SetCursorPos(Point pos) {
  if (closed_) return false;
  const auto stream =
      std::ranges::find_if(bus_->streams, [&](const Stream& s) { return Holds(s.at, pos); });
  if (stream == bus_->streams.end()) {
    if (!noted_ && hooks_.note)
      hooks_.note("positions on monitors the desktop did not share are not played (" +
                  std::to_string(pos.x) + "," + std::to_string(pos.y) + ")");
    noted_ = true;
    return false;
  }
  const QDBusMessage reply = bus_->Call(
      kRemote, QStringLiteral("NotifyPointerMotionAbsolute"),
      {QVariant::fromValue(bus_->session), QVariantMap(), stream->node,
       static_cast<double>(pos.x - stream->at.left), static_cast<double>(pos.y - stream->at.top)},
      kNotifyMs);
  return Sent(reply);
}

bool PortalInput::InjectButton(MouseButton button, bool down) {
  if (closed_) return false;
  const QDBusMessage reply = bus_->Call(kRemote, QStringLiteral("NotifyPointerButton"),
                                        {QVariant::fromValue(bus_->session), QVariantMap(),
                                         static_cast<int>(EvdevButton(button)), down ? 1u : 0u},
                                        kNotifyMs);
  return Sent(reply);
}

bool PortalInput::InjectWheel(WheelAxis axis, int32_t delta) {
  if (closed_) return false;
  int32_t& rest = wheel_rest_[axis == WheelAxis::Vertical ? 0 : 1];
  const int64_t total = int64_t{rest} + delta;
  const int64_t notches =
      std::clamp<int64_t>(total / kWheelNotch, -kMaxWheelNotches, kMaxWheelNotches);
  rest = static_cast<int32_t>(total % kWheelNotch);
  if (notches == 0) return true;
  // The portal's vertical steps grow downwards (towards the user); the seam's away from him.
  const int steps = static_cast<int>(axis == WheelAxis::Vertical ? -notches : notches);
  const QDBusMessage reply = bus_->Call(kRemote, QStringLiteral("NotifyPointerAxisDiscrete"),
                                        {QVariant::fromValue(bus_->session), QVariantMap(),
                                         axis == WheelAxis::Vertical ? 0u : 1u, steps},
                                        kNotifyMs);
  return Sent(reply);
}

}  // namespace pel

#include "portal_input.moc"
