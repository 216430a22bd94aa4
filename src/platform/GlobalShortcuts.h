#pragma once

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>

namespace mirelo {

namespace x11 {
class KeyGrab;
}

// The recorder's desktop-wide shortcuts, which work whichever application has
// the keyboard focus: Ctrl+Alt+R starts or stops a recording, Ctrl+Alt+P
// pauses or resumes it. On X11 they are passive key grabs on the root
// window; in a Wayland session the desktop's global-shortcuts portal binds
// them where the desktop offers one. Whether they could be had is a state
// the menu shows; nothing here shows text.
//
// Main thread only.
class GlobalShortcuts : public QObject {
    Q_OBJECT

public:
    enum class Action { toggleRecording, togglePause };
    enum class Mechanism { x11Grab, portal };
    enum class State {
        detecting,      // the desktop has not answered yet
        active,         // both shortcuts reach us
        heldElsewhere,  // another program holds at least one of the keys
        notOffered,     // the desktop offers no global shortcuts
    };

    // How long the desktop may take to answer before it counts as offering none.
    static constexpr int kPortalTimeoutMs = 3000;

    explicit GlobalShortcuts(Mechanism mechanism, QObject* parent = nullptr);
    ~GlobalShortcuts() override;

    // A Wayland session: the portal; otherwise the X server's grabs.
    static Mechanism mechanismForThisSession();

    State state() const { return m_state; }
    // The shortcut of `action` reaches us.
    bool isActive(Action action) const;
    // "Ctrl+Alt+R", "Ctrl+Alt+P", as QKeySequence writes them.
    static QString keys(Action action);

signals:
    void triggered(mirelo::GlobalShortcuts::Action action);
    void stateChanged(mirelo::GlobalShortcuts::State state);

private slots:
    void portalResponse(uint response, const QVariantMap& results);
    void portalActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                         const QVariantMap& options);

private:
    void grabKeys();
    void detectPortal();
    void createPortalSession();
    void bindPortalShortcuts(const QString& session);
    void callPortal(const QDBusMessage& call);
    void setState(State state);
    QString requestPath(const QString& token) const;

    State m_state = State::detecting;
    std::unique_ptr<x11::KeyGrab> m_recordKey;
    std::unique_ptr<x11::KeyGrab> m_pauseKey;
    bool m_portalActive[2] = {false, false};
    QString m_portalSession;
    QString m_pendingRequest;
    enum class PortalStep { none, createSession, bindShortcuts } m_step = PortalStep::none;
};

}  // namespace mirelo
