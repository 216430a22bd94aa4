#pragma once

#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace mirelo::wayland {

// The desktop's screen-cast portal (org.freedesktop.portal.ScreenCast), one blocking call per
// method. Every call returns within a bounded time: a portal that does not answer is a failure,
// never a wait without end. Calls come from one thread at a time.
class ScreenCastPortal {
public:
    virtual ~ScreenCastPortal() = default;

    // Bits of AvailableSourceTypes and AvailableCursorModes.
    static constexpr uint32_t kMonitorSource = 1;
    static constexpr uint32_t kCursorHidden = 1;
    static constexpr uint32_t kCursorEmbedded = 2;
    // The pointer's position and picture come beside the pictures (PipeWire cursor metadata).
    static constexpr uint32_t kCursorMetadata = 4;

    struct Capabilities {
        uint32_t version = 0;
        uint32_t sourceTypes = 0;
        uint32_t cursorModes = 0;
    };

    // One stream the portal hands out: a PipeWire node and, when the portal says, the area of
    // the desktop it shows (compositor coordinates).
    struct Stream {
        uint32_t nodeId = 0;
        std::optional<QRect> area;
    };

    // The answer of a request. `failure` is set when the call itself failed (no portal, a D-Bus
    // error, no answer in time); otherwise `response` is the portal's: 0 success, 1 cancelled
    // by the user, 2 ended another way (refused, failed).
    struct Reply {
        std::optional<QString> failure;
        uint32_t response = 2;
        QString sessionHandle;        // CreateSession
        std::vector<Stream> streams;  // Start
        QString restoreToken;         // Start, when the portal keeps the choice
    };

    struct SourceOptions {
        std::optional<uint32_t> cursorMode;
        bool persist = false;  // ask for a restore token that outlives the application
        QString restoreToken;  // the choice of an earlier session, empty for none
    };

    // The portal's version and what it can cast, or why there is no portal to ask.
    virtual std::variant<Capabilities, QString> capabilities() = 0;
    virtual Reply createSession() = 0;
    virtual Reply selectSources(const QString& session, const SourceOptions& options) = 0;
    // Where the portal shows its dialog, if it has one.
    virtual Reply start(const QString& session) = 0;
    // A file descriptor of the PipeWire remote (the caller owns it), or why there is none.
    virtual std::variant<int, QString> openPipeWireRemote(const QString& session) = 0;
    virtual void closeSession(const QString& session) = 0;
};

// The screen-cast portal of the session bus, over QtDBus. Usable from any thread that may run
// a Qt event loop (it waits for the portal's answers in one).
std::unique_ptr<ScreenCastPortal> makeDBusScreenCastPortal();

// Where the restore token of the last screen-cast choice is kept between runs.
struct RestoreTokenStore {
    std::function<QString()> load;
    std::function<void(const QString& token)> save;  // empty removes it
    // The monitor the kept choice was made for, where the store keeps it: a portal may not
    // say which monitor a restored choice shows.
    std::function<QString()> loadMonitor;
    std::function<void(const QString& monitor)> saveMonitor;
};

// The cursor mode to ask for among the `available` ones (AvailableCursorModes bits): metadata
// when the pointer's position is wanted and offered, else the pointer drawn in or left out as
// `showsCursor` says; none when the portal offers no such mode.
std::optional<uint32_t> chooseCursorMode(uint32_t available, bool showsCursor,
                                         bool wantsPointerPosition);

// The token kept in the application's settings (QSettings "Mirelo"/"Mirelo").
RestoreTokenStore settingsRestoreTokenStore();

// A screen cast ready to be read: the portal session (to close when done), the PipeWire
// remote and the stream chosen.
struct OpenScreenCast {
    QString session;
    int pipeWireFd = -1;
    ScreenCastPortal::Stream stream;
    // The cursor mode asked for; none when the portal offers none that fits.
    std::optional<uint32_t> cursorMode;
};

// Why no screen cast could be opened. `noPermission`: the user refused or cancelled the
// portal's dialog (or the portal refused on its own). `otherMonitor`, `unidentified`: the
// monitor shared is not the one wanted, or cannot be told (`message` is then empty).
struct ScreenCastFailure {
    bool noPermission = false;
    QString message;
    bool otherMonitor = false;
    bool unidentified = false;
};

// Whether a stream shows the monitor wanted.
enum class StreamFit { wanted, other, unidentified };
using StreamJudge = std::function<StreamFit(const ScreenCastPortal::Stream& stream)>;

// Opens a screen cast of one monitor (named `monitor`), the first stream `judge` takes for
// the one wanted: with the kept restore token when there is one and it was kept for that
// monitor (no dialog), falling back to the portal's dialog
// when the token is no longer good or restores another monitor. A dialog's answer that shows
// another monitor, or one that cannot be told, fails. The pointer is drawn into the pictures
// when `showsCursor` and the portal can, and left out otherwise. With `wantsPointerPosition`
// the pointer comes as metadata where the portal offers it (the caller then draws it when
// `showsCursor`). The new restore token is kept.
std::variant<OpenScreenCast, ScreenCastFailure> openScreenCast(
    ScreenCastPortal& portal, const RestoreTokenStore& tokens, bool showsCursor,
    const StreamJudge& judge, const QString& monitor = {}, bool wantsPointerPosition = false);
// The same, for the monitor holding `centre` (compositor coordinates): a stream whose area
// holds it, or the first stream where the portal gives no area.
std::variant<OpenScreenCast, ScreenCastFailure> openScreenCast(ScreenCastPortal& portal,
                                                               const RestoreTokenStore& tokens,
                                                               bool showsCursor,
                                                               const QPoint& centre);

}  // namespace mirelo::wayland
