// The screen-cast portal over QtDBus. Each request is a method call answered at once with a
// request object, and later by that object's Response signal: the signal is subscribed to
// before the call (its path follows from our bus name and the handle token), and waited for
// in a local event loop with a time limit.
#include "platform/wayland/ScreenCastPortal.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <QUuid>

#include <fcntl.h>

namespace mirelo::wayland {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");

// A method call must be answered within this time, and a request's Response signal too,
// except Start's: that one waits for the user to answer the portal's dialog.
constexpr int kCallTimeoutMs = 10'000;
constexpr int kResponseTimeoutMs = 10'000;
constexpr int kDialogTimeoutMs = 180'000;

QString noBusText() {
    return QCoreApplication::translate(
        "mirelo::DBusScreenCastPortal",
        "无法连接到 D-Bus 会话总线,不能通过桌面门户录屏(Wayland 会话需要 xdg-desktop-portal)。");
}
QString noPortalText() {
    return QCoreApplication::translate(
        "mirelo::DBusScreenCastPortal",
        "找不到桌面门户 xdg-desktop-portal,无法在 Wayland 会话中录屏。请安装 xdg-desktop-portal "
        "和与本桌面匹配的门户后端(例如 xdg-desktop-portal-gnome、-kde 或 -wlr)。");
}
QString noScreenCastText() {
    return QCoreApplication::translate(
        "mirelo::DBusScreenCastPortal",
        "桌面门户 xdg-desktop-portal 没有屏幕录制(ScreenCast)接口,请安装与本桌面匹配的门户后端"
        "(例如 xdg-desktop-portal-gnome、-kde 或 -wlr)。");
}
QString noAnswerText() {
    return QCoreApplication::translate("mirelo::DBusScreenCastPortal",
                                       "桌面门户没有响应屏幕录制请求(等待超时)。");
}

QString callFailed(const QDBusMessage& reply) {
    return QCoreApplication::translate("mirelo::DBusScreenCastPortal",
                                       "桌面门户的屏幕录制请求失败:%1")
        .arg(reply.errorMessage());
}

QString token() {
    return QStringLiteral("mirelo_") + QUuid::createUuid().toString(QUuid::Id128);
}

// Receives one Response signal.
class ResponseCatcher : public QObject {
    Q_OBJECT
public:
    bool received = false;
    uint response = 2;
    QVariantMap results;

signals:
    void done();

public slots:
    void onResponse(uint code, const QVariantMap& values) {
        if (received) {
            return;
        }
        received = true;
        response = code;
        results = values;
        emit done();
    }
};

std::optional<QRect> areaOf(const QVariantMap& properties) {
    auto pair = [&](const char* key) -> std::optional<QPoint> {
        const QVariant value = properties.value(QString::fromLatin1(key));
        if (!value.canConvert<QDBusArgument>()) {
            return std::nullopt;
        }
        const QDBusArgument argument = value.value<QDBusArgument>();
        int a = 0;
        int b = 0;
        argument.beginStructure();
        argument >> a >> b;
        argument.endStructure();
        return QPoint(a, b);
    };
    const std::optional<QPoint> position = pair("position");
    const std::optional<QPoint> size = pair("size");
    if (!size || size->x() <= 0 || size->y() <= 0) {
        return std::nullopt;
    }
    return QRect(position.value_or(QPoint()), QSize(size->x(), size->y()));
}

std::vector<ScreenCastPortal::Stream> streamsOf(const QVariantMap& results) {
    std::vector<ScreenCastPortal::Stream> streams;
    const QVariant value = results.value(QStringLiteral("streams"));
    if (!value.canConvert<QDBusArgument>()) {
        return streams;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        uint node = 0;
        QVariantMap properties;
        argument.beginStructure();
        argument >> node >> properties;
        argument.endStructure();
        streams.push_back(ScreenCastPortal::Stream{node, areaOf(properties)});
    }
    argument.endArray();
    return streams;
}

QString sessionHandleOf(const QVariantMap& results) {
    const QVariant value = results.value(QStringLiteral("session_handle"));
    if (value.canConvert<QDBusObjectPath>() && value.userType() == qMetaTypeId<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

class DBusScreenCastPortal : public ScreenCastPortal {
public:
    DBusScreenCastPortal() : m_bus(QDBusConnection::sessionBus()) {}

    std::variant<Capabilities, QString> capabilities() override {
        if (!m_bus.isConnected()) {
            return noBusText();
        }
        QDBusMessage message = QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("GetAll"));
        message << kScreenCast;
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, kCallTimeoutMs);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            const QString name = reply.errorName();
            if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
                return noPortalText();
            }
            if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
                name == QLatin1String("org.freedesktop.DBus.Error.Timeout")) {
                return noAnswerText();
            }
            if (name == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs") ||
                name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface")) {
                return noScreenCastText();
            }
            return callFailed(reply);
        }
        const QVariantMap properties =
            qdbus_cast<QVariantMap>(reply.arguments().value(0).value<QDBusArgument>());
        if (properties.isEmpty()) {
            return noScreenCastText();
        }
        Capabilities caps;
        caps.version = properties.value(QStringLiteral("version")).toUInt();
        caps.sourceTypes = properties.value(QStringLiteral("AvailableSourceTypes")).toUInt();
        caps.cursorModes = properties.value(QStringLiteral("AvailableCursorModes")).toUInt();
        return caps;
    }

    Reply createSession() override {
        QVariantMap options;
        options[QStringLiteral("session_handle_token")] = token();
        Reply reply = request(QStringLiteral("CreateSession"), {}, options, kResponseTimeoutMs);
        if (!reply.failure && reply.response == 0) {
            reply.sessionHandle = sessionHandleOf(m_lastResults);
        }
        return reply;
    }

    Reply selectSources(const QString& session, const SourceOptions& source) override {
        QVariantMap options;
        options[QStringLiteral("types")] = QVariant::fromValue<uint>(kMonitorSource);
        options[QStringLiteral("multiple")] = false;
        if (source.cursorMode) {
            options[QStringLiteral("cursor_mode")] = QVariant::fromValue<uint>(*source.cursorMode);
        }
        if (source.persist) {
            options[QStringLiteral("persist_mode")] = QVariant::fromValue<uint>(2);
            if (!source.restoreToken.isEmpty()) {
                options[QStringLiteral("restore_token")] = source.restoreToken;
            }
        }
        return request(QStringLiteral("SelectSources"),
                       {QVariant::fromValue(QDBusObjectPath(session))}, options,
                       kResponseTimeoutMs);
    }

    Reply start(const QString& session) override {
        Reply reply = request(QStringLiteral("Start"),
                              {QVariant::fromValue(QDBusObjectPath(session)), QString()}, {},
                              kDialogTimeoutMs);
        if (!reply.failure && reply.response == 0) {
            reply.streams = streamsOf(m_lastResults);
            reply.restoreToken = m_lastResults.value(QStringLiteral("restore_token")).toString();
        }
        return reply;
    }

    std::variant<int, QString> openPipeWireRemote(const QString& session) override {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kScreenCast,
                                                              QStringLiteral("OpenPipeWireRemote"));
        message << QVariant::fromValue(QDBusObjectPath(session)) << QVariantMap();
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, kCallTimeoutMs);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            return callFailed(reply);
        }
        const auto descriptor = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
        // The descriptor object closes its own copy; PipeWire takes ownership of ours.
        const int fd =
            descriptor.isValid() ? fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 3) : -1;
        if (fd < 0) {
            return QCoreApplication::translate("mirelo::DBusScreenCastPortal",
                                               "桌面门户没有给出 PipeWire 连接。");
        }
        return fd;
    }

    void closeSession(const QString& session) override {
        if (session.isEmpty()) {
            return;
        }
        // Sent without waiting for the answer: a portal whose backend went away may take long
        // to give one, and there is nothing to do with it.
        const QDBusMessage message = QDBusMessage::createMethodCall(
            kService, session, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close"));
        m_bus.send(message);
    }

private:
    // Calls `method` with `arguments` followed by `options` (plus a handle token) and waits for
    // the Response of the request it opens. The results are left in m_lastResults.
    Reply request(const QString& method, const QVariantList& arguments, QVariantMap options,
                  int responseTimeoutMs) {
        Reply reply;
        m_lastResults.clear();
        if (!m_bus.isConnected()) {
            reply.failure = noBusText();
            return reply;
        }
        const QString handle = token();
        options[QStringLiteral("handle_token")] = handle;
        QString sender = m_bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString expected =
            QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, handle);

        ResponseCatcher catcher;
        const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
        const QString signal = QStringLiteral("Response");
        m_bus.connect(kService, expected, requestInterface, signal, &catcher,
                      SLOT(onResponse(uint, QVariantMap)));

        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, method);
        message.setArguments(QVariantList(arguments) << options);
        const QDBusMessage answer = m_bus.call(message, QDBus::Block, kCallTimeoutMs);
        QString path = expected;
        if (answer.type() == QDBusMessage::ErrorMessage) {
            m_bus.disconnect(kService, expected, requestInterface, signal, &catcher,
                             SLOT(onResponse(uint, QVariantMap)));
            const QString name = answer.errorName();
            reply.failure =
                name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ? noPortalText()
                : name == QLatin1String("org.freedesktop.DBus.Error.NoReply")      ? noAnswerText()
                                                                              : callFailed(answer);
            return reply;
        }
        // Portals older than the handle_token convention answer with another path.
        const QString returned = answer.arguments().value(0).value<QDBusObjectPath>().path();
        if (!returned.isEmpty() && returned != expected) {
            path = returned;
            m_bus.connect(kService, path, requestInterface, signal, &catcher,
                          SLOT(onResponse(uint, QVariantMap)));
        }

        if (!catcher.received) {
            QEventLoop loop;
            QObject::connect(&catcher, &ResponseCatcher::done, &loop, &QEventLoop::quit);
            QTimer::singleShot(responseTimeoutMs, &loop, &QEventLoop::quit);
            loop.exec();
        }
        m_bus.disconnect(kService, expected, requestInterface, signal, &catcher,
                         SLOT(onResponse(uint, QVariantMap)));
        if (path != expected) {
            m_bus.disconnect(kService, path, requestInterface, signal, &catcher,
                             SLOT(onResponse(uint, QVariantMap)));
        }
        if (!catcher.received) {
            // Withdraw the request so that a late dialog does not linger.
            m_bus.call(QDBusMessage::createMethodCall(kService, path, requestInterface,
                                                      QStringLiteral("Close")),
                       QDBus::Block, kCallTimeoutMs);
            reply.failure = noAnswerText();
            return reply;
        }
        reply.response = catcher.response;
        m_lastResults = catcher.results;
        return reply;
    }

    QDBusConnection m_bus;
    QVariantMap m_lastResults;
};

}  // namespace

std::unique_ptr<ScreenCastPortal> makeDBusScreenCastPortal() {
    return std::make_unique<DBusScreenCastPortal>();
}

}  // namespace mirelo::wayland

#include "DBusScreenCastPortal.moc"
