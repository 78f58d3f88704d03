// A desktop portal of the tests' own, on a private session bus: it owns
// org.freedesktop.portal.Desktop, answers the remote desktop's and the screen cast's requests
// without asking anyone (granted or refused, as told), and relays a granted session to mutter's
// own remote desktop and screen cast on the same bus, as the desktop's portal would after the
// user's consent. Every request and notification is written to a log, one line each.
//
//   fake_portal LOG grant|refuse VERSION CLOSE_AFTER X,Y,W,H[;X,Y,W,H...]
//
// VERSION is the RemoteDesktop version it offers (2 and later: it hands a restore token);
// CLOSE_AFTER > 0 closes the session after that many notifications (as a user ending the
// sharing would); the rectangles are mutter's monitors (Meta-0, Meta-1, ...) in the layout,
// each shared as a stream of its own.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

struct Pair {
  int a = 0, b = 0;
};
struct StreamInfo {
  uint node = 0;
  QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& arg, const Pair& p) {
  arg.beginStructure();
  arg << p.a << p.b;
  arg.endStructure();
  return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, Pair& p) {
  arg.beginStructure();
  arg >> p.a >> p.b;
  arg.endStructure();
  return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const StreamInfo& s) {
  arg.beginStructure();
  arg << s.node << s.properties;
  arg.endStructure();
  return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, StreamInfo& s) {
  arg.beginStructure();
  arg >> s.node >> s.properties;
  arg.endStructure();
  return arg;
}

}  // namespace

Q_DECLARE_METATYPE(Pair)
Q_DECLARE_METATYPE(StreamInfo)

namespace {

const QString kMutter = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kMutterCast = QStringLiteral("org.gnome.Mutter.ScreenCast");
constexpr uint kFirstNode = 41;  // the first stream's node, as the portal names it

class FakePortal : public QDBusVirtualObject {
 public:
  FakePortal(QDBusConnection bus, QString log, bool grant, uint version, int close_after,
             QList<QList<int>> monitors)
      : bus_(std::move(bus)),
        log_(std::move(log)),
        grant_(grant),
        version_(version),
        close_after_(close_after),
        monitors_(std::move(monitors)) {}

  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    if (member == QLatin1String("Get")) {
      const QString name = args.value(1).toString();
      const QVariant value = name == QLatin1String("version") ? QVariant(version_) : QVariant(2u);
      bus_.send(message.createReply(QVariant::fromValue(QDBusVariant(value))));
      return true;
    }
    if (member == QLatin1String("Close")) {
      Log(QStringLiteral("Close"));
      StopMutter();
      bus_.send(message.createReply());
      return true;
    }
    if (member.startsWith(QLatin1String("Notify"))) {
      Notify(message);
      return true;
    }
    // A request: the options come last, with the handle token.
    const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
    QString line = member;
    for (auto it = options.begin(); it != options.end(); ++it)
      if (it.key() != QLatin1String("handle_token"))
        line += QStringLiteral(" %1=%2").arg(it.key(), it.value().toString());
    Log(line);
    const QString request =
        Path(QStringLiteral("request"), message, options.value(QStringLiteral("handle_token")));
    bus_.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    uint code = 0;
    QVariantMap results;
    if (member == QLatin1String("CreateSession")) {
      session_ = Path(QStringLiteral("session"), message,
                      options.value(QStringLiteral("session_handle_token")));
      bus_.registerVirtualObject(session_, this);
      results.insert(QStringLiteral("session_handle"), session_);
    } else if (member == QLatin1String("Start")) {
      if (!grant_) {
        code = 1;
      } else if (!StartMutter(results)) {
        code = 2;
      }
    }
    // The answer after the reply, as a portal's comes.
    QTimer::singleShot(0, [this, request, code, results] {
      QDBusMessage response = QDBusMessage::createSignal(
          request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
      response << code << results;
      bus_.send(response);
    });
    return true;
  }

 private:
  static QString Path(const QString& kind, const QDBusMessage& message, const QVariant& token) {
    QString sender = message.service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/%1/%2/%3")
        .arg(kind, sender, token.toString());
  }

  void Log(const QString& line) {
    QFile file(log_);
    if (file.open(QIODevice::Append)) file.write((line + QLatin1Char('\n')).toUtf8());
  }

  QDBusMessage Call(const QString& service, const QString& path, const QString& iface,
                    const QString& method, const QList<QVariant>& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, iface, method);
    call.setArguments(args);
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage)
      Log(QStringLiteral("mutter %1: %2").arg(method, reply.errorMessage()));
    return reply;
  }

  // mutter's session with a screen cast of the monitor, started: what the user allowed.
  bool StartMutter(QVariantMap& results) {
    QDBusMessage reply = Call(kMutter, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), kMutter,
                              QStringLiteral("CreateSession"), {});
    if (reply.type() == QDBusMessage::ErrorMessage) return false;
    mutter_session_ = reply.arguments().value(0).value<QDBusObjectPath>().path();
    reply = Call(kMutter, mutter_session_, QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("Get"),
                 {kMutter + QStringLiteral(".Session"), QStringLiteral("SessionId")});
    const QString id = reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    reply = Call(kMutterCast, QStringLiteral("/org/gnome/Mutter/ScreenCast"), kMutterCast,
                 QStringLiteral("CreateSession"),
                 {QVariantMap{{QStringLiteral("remote-desktop-session-id"), id}}});
    if (reply.type() == QDBusMessage::ErrorMessage) return false;
    const QString cast = reply.arguments().value(0).value<QDBusObjectPath>().path();
    // Each monitor a stream of its own, as the user would share them.
    QList<StreamInfo> streams;
    streams_.clear();
    for (int i = 0; i < monitors_.size(); ++i) {
      reply =
          Call(kMutterCast, cast, kMutterCast + QStringLiteral(".Session"),
               QStringLiteral("RecordMonitor"), {QStringLiteral("Meta-%1").arg(i), QVariantMap()});
      if (reply.type() == QDBusMessage::ErrorMessage) return false;
      streams_ << reply.arguments().value(0).value<QDBusObjectPath>().path();
      const QList<int>& m = monitors_[i];
      streams << StreamInfo{kFirstNode + static_cast<uint>(i),
                            {{QStringLiteral("position"), QVariant::fromValue(Pair{m[0], m[1]})},
                             {QStringLiteral("size"), QVariant::fromValue(Pair{m[2], m[3]})},
                             {QStringLiteral("source_type"), 1u}}};
    }
    reply = Call(kMutter, mutter_session_, kMutter + QStringLiteral(".Session"),
                 QStringLiteral("Start"), {});
    if (reply.type() == QDBusMessage::ErrorMessage) return false;
    results.insert(QStringLiteral("devices"), 2u);
    results.insert(QStringLiteral("streams"), QVariant::fromValue(streams));
    if (version_ >= 2) results.insert(QStringLiteral("restore_token"), QStringLiteral("token-1"));
    Log(QStringLiteral("started"));
    return true;
  }

  void StopMutter() {
    if (mutter_session_.isEmpty()) return;
    Call(kMutter, mutter_session_, kMutter + QStringLiteral(".Session"), QStringLiteral("Stop"),
         {});
    mutter_session_.clear();
  }

  void Notify(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (closed_ || mutter_session_.isEmpty()) {
      bus_.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                         QStringLiteral("Session is not started")));
      return;
    }
    const QString member = message.member();
    const QString session = kMutter + QStringLiteral(".Session");
    QDBusMessage reply;
    if (member == QLatin1String("NotifyPointerMotionAbsolute")) {
      const qsizetype stream = static_cast<qsizetype>(args.value(2).toUInt()) - kFirstNode;
      if (stream < 0 || stream >= streams_.size()) {
        bus_.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                           QStringLiteral("Unknown stream")));
        return;
      }
      Log(QStringLiteral("motion %1 %2 %3")
              .arg(stream)
              .arg(args.value(3).toDouble())
              .arg(args.value(4).toDouble()));
      reply = Call(kMutter, mutter_session_, session, member,
                   {streams_[stream], args.value(3).toDouble(), args.value(4).toDouble()});
    } else if (member == QLatin1String("NotifyPointerButton")) {
      Log(QStringLiteral("button %1 %2").arg(args.value(2).toInt()).arg(args.value(3).toUInt()));
      reply = Call(kMutter, mutter_session_, session, member,
                   {args.value(2).toInt(), args.value(3).toUInt() != 0});
    } else if (member == QLatin1String("NotifyPointerAxisDiscrete")) {
      Log(QStringLiteral("axis %1 %2").arg(args.value(2).toUInt()).arg(args.value(3).toInt()));
      reply = Call(kMutter, mutter_session_, session, member,
                   {args.value(2).toUInt(), args.value(3).toInt()});
    } else {
      bus_.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                         member));
      return;
    }
    bus_.send(reply.type() == QDBusMessage::ErrorMessage
                  ? message.createErrorReply(reply.errorName(), reply.errorMessage())
                  : message.createReply());
    if (close_after_ > 0 && ++notified_ == close_after_) {
      // The user stopped the sharing: the session ends, and the portal says so.
      closed_ = true;
      StopMutter();
      Log(QStringLiteral("closed"));
      QDBusMessage closed = QDBusMessage::createSignal(
          session_, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Closed"));
      closed << QVariantMap();
      bus_.send(closed);
    }
  }

  QDBusConnection bus_;
  QString log_;
  bool grant_;
  uint version_;
  int close_after_;
  QList<QList<int>> monitors_;
  QString session_;
  QString mutter_session_;
  QList<QString> streams_;  // mutter's, by node
  bool closed_ = false;
  int notified_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc != 6) {
    std::fputs("usage: fake_portal LOG grant|refuse VERSION CLOSE_AFTER X,Y,W,H[;...]\n", stderr);
    return 2;
  }
  qDBusRegisterMetaType<Pair>();
  qDBusRegisterMetaType<StreamInfo>();
  qDBusRegisterMetaType<QList<StreamInfo>>();
  QList<QList<int>> monitors;
  for (const QString& rect : QString::fromLocal8Bit(argv[5]).split(QLatin1Char(';'))) {
    monitors.append(QList<int>());
    for (const QString& n : rect.split(QLatin1Char(','))) monitors.back() << n.toInt();
    if (monitors.back().size() != 4) return 2;
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  // mutter takes its names a moment after its socket shows.
  for (int i = 0; i < 500 && !bus.interface()->isServiceRegistered(kMutterCast); ++i)
    QThread::msleep(10);
  FakePortal portal(bus, QString::fromLocal8Bit(argv[1]), QByteArray(argv[2]) == "grant",
                    QByteArray(argv[3]).toUInt(), QByteArray(argv[4]).toInt(), monitors);
  if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal) ||
      !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
    std::fputs("fake_portal: cannot take the portal's name\n", stderr);
    return 1;
  }
  {
    QFile ready(QString::fromLocal8Bit(argv[1]));
    if (ready.open(QIODevice::Append)) ready.write("ready\n");
  }
  return QCoreApplication::exec();
}
