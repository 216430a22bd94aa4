#include "platform/GlobalShortcuts.h"

#include "platform/x11/X11KeyGrab.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QKeySequence>
#include <QUuid>

namespace mirelo {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

constexpr uint32_t kKeyR = 'r';
constexpr uint32_t kKeyP = 'p';

QString shortcutId(GlobalShortcuts::Action action) {
    return action == GlobalShortcuts::Action::toggleRecording ? QStringLiteral("toggle-recording")
                                                              : QStringLiteral("toggle-pause");
}

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

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

QString token() {
    return QStringLiteral("mirelo_") + QUuid::createUuid().toString(QUuid::Id128);
}

}  // namespace

}  // namespace mirelo

Q_DECLARE_METATYPE(mirelo::PortalShortcut)

namespace mirelo {

GlobalShortcuts::GlobalShortcuts(Mechanism mechanism, QObject* parent) : QObject(parent) {
    if (mechanism == Mechanism::x11Grab) {
        grabKeys();
    } else {
        detectPortal();
    }
}

GlobalShortcuts::~GlobalShortcuts() {
    if (!m_portalSession.isEmpty()) {
        QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(kPortalService, m_portalSession,
                                           QStringLiteral("org.freedesktop.portal.Session"),
                                           QStringLiteral("Close")),
            QDBus::NoBlock);
    }
}

GlobalShortcuts::Mechanism GlobalShortcuts::mechanismForThisSession() {
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                         qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
    return wayland ? Mechanism::portal : Mechanism::x11Grab;
}

QString GlobalShortcuts::keys(Action action) {
    const int key = action == Action::toggleRecording ? Qt::Key_R : Qt::Key_P;
    return QKeySequence(Qt::CTRL | Qt::ALT | key).toString(QKeySequence::NativeText);
}

bool GlobalShortcuts::isActive(Action action) const {
    const int index = action == Action::toggleRecording ? 0 : 1;
    if (m_portalActive[index]) {
        return true;
    }
    const auto& grab = index == 0 ? m_recordKey : m_pauseKey;
    return grab && grab->isActive();
}

void GlobalShortcuts::setState(State state) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    emit stateChanged(state);
}

// --- X11 ----------------------------------------------------------------------

void GlobalShortcuts::grabKeys() {
    const uint16_t modifiers = x11::KeyGrab::control | x11::KeyGrab::alt;
    m_recordKey = std::make_unique<x11::KeyGrab>(kKeyR, modifiers);
    m_pauseKey = std::make_unique<x11::KeyGrab>(kKeyP, modifiers);
    connect(m_recordKey.get(), &x11::KeyGrab::activated, this,
            [this] { emit triggered(Action::toggleRecording); });
    connect(m_pauseKey.get(), &x11::KeyGrab::activated, this,
            [this] { emit triggered(Action::togglePause); });
    if (m_recordKey->isHeldElsewhere() || m_pauseKey->isHeldElsewhere()) {
        m_state = State::heldElsewhere;
    } else if (m_recordKey->isActive() && m_pauseKey->isActive()) {
        m_state = State::active;
    } else {
        m_state = State::notOffered;  // no X server to grab on
    }
}

// --- The portal -------------------------------------------------------------------

QString GlobalShortcuts::requestPath(const QString& handleToken) const {
    QString sender = QDBusConnection::sessionBus().baseService();
    sender.remove(0, 1);  // the leading ':'
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, handleToken);
}

void GlobalShortcuts::detectPortal() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_state = State::notOffered;
        return;
    }
    // Asked without blocking, and with a time limit: a desktop whose portal
    // does not answer offers no shortcuts, and the menu says so.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kShortcutsInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, kPortalTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (call->isError()) {
                    setState(State::notOffered);
                    return;
                }
                createPortalSession();
            });
}

void GlobalShortcuts::createPortalSession() {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString handle = token();
    m_pendingRequest = requestPath(handle);
    m_step = PortalStep::createSession;
    bus.connect(kPortalService, m_pendingRequest, kRequestInterface, QStringLiteral("Response"),
                this, SLOT(portalResponse(uint, QVariantMap)));
    QDBusMessage create = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("CreateSession"));
    create << QVariantMap{{QStringLiteral("handle_token"), handle},
                          {QStringLiteral("session_handle_token"), token()}};
    callPortal(create);
}

void GlobalShortcuts::callPortal(const QDBusMessage& call) {
    // A call the portal refuses or never answers: the desktop offers none.
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, kPortalTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* pending) {
                pending->deleteLater();
                if (pending->isError()) {
                    m_step = PortalStep::none;
                    setState(State::notOffered);
                }
            });
}

void GlobalShortcuts::bindPortalShortcuts(const QString& session) {
    m_portalSession = session;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString handle = token();
    m_pendingRequest = requestPath(handle);
    m_step = PortalStep::bindShortcuts;
    bus.connect(kPortalService, m_pendingRequest, kRequestInterface, QStringLiteral("Response"),
                this, SLOT(portalResponse(uint, QVariantMap)));
    bus.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"), this,
                SLOT(portalActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    QList<PortalShortcut> shortcuts;
    for (Action action : {Action::toggleRecording, Action::togglePause}) {
        const bool record = action == Action::toggleRecording;
        shortcuts.append(
            {shortcutId(action),
             {{QStringLiteral("description"), record ? tr("开始或停止录制") : tr("暂停或继续录制")},
              {QStringLiteral("preferred_trigger"),
               record ? QStringLiteral("CTRL+ALT+r") : QStringLiteral("CTRL+ALT+p")}}});
    }
    QDBusMessage bind = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("BindShortcuts"));
    bind << QVariant::fromValue(QDBusObjectPath(session)) << QVariant::fromValue(shortcuts)
         << QString() << QVariantMap{{QStringLiteral("handle_token"), handle}};
    callPortal(bind);
}

void GlobalShortcuts::portalResponse(uint response, const QVariantMap& results) {
    const PortalStep step = std::exchange(m_step, PortalStep::none);
    QDBusConnection::sessionBus().disconnect(kPortalService, m_pendingRequest, kRequestInterface,
                                             QStringLiteral("Response"), this,
                                             SLOT(portalResponse(uint, QVariantMap)));
    if (response != 0) {
        setState(State::notOffered);
        return;
    }
    if (step == PortalStep::createSession) {
        // A string, not an object path, in some portal versions.
        const QVariant handle = results.value(QStringLiteral("session_handle"));
        const QString session = handle.canConvert<QDBusObjectPath>()
                                    ? handle.value<QDBusObjectPath>().path()
                                    : handle.toString();
        if (session.isEmpty()) {
            setState(State::notOffered);
            return;
        }
        bindPortalShortcuts(session);
        return;
    }
    if (step == PortalStep::bindShortcuts) {
        // The desktop may have bound only some, or let the user change the keys.
        const QDBusArgument bound =
            results.value(QStringLiteral("shortcuts")).value<QDBusArgument>();
        QList<PortalShortcut> shortcuts;
        if (bound.currentType() == QDBusArgument::ArrayType) {
            bound >> shortcuts;
        }
        for (const PortalShortcut& shortcut : shortcuts) {
            m_portalActive[0] =
                m_portalActive[0] || shortcut.id == shortcutId(Action::toggleRecording);
            m_portalActive[1] = m_portalActive[1] || shortcut.id == shortcutId(Action::togglePause);
        }
        setState(m_portalActive[0] && m_portalActive[1] ? State::active : State::heldElsewhere);
    }
}

void GlobalShortcuts::portalActivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                      const QVariantMap&) {
    if (session.path() != m_portalSession) {
        return;
    }
    if (id == shortcutId(Action::toggleRecording)) {
        emit triggered(Action::toggleRecording);
    } else if (id == shortcutId(Action::togglePause)) {
        emit triggered(Action::togglePause);
    }
}

}  // namespace mirelo
