#include "platform/wayland/ScreenCastPortal.h"

#include <QCoreApplication>
#include <QSettings>

#include <unistd.h>

namespace mirelo::wayland {

namespace {

QString noPermissionText() {
    return QCoreApplication::translate(
        "mirelo::ScreenCastSession",
        "没有屏幕录制权限。\n屏幕共享请求被拒绝或取消了。请再次录制,并在桌面弹出的屏幕共享对话框中"
        "允许 Mirelo 共享屏幕。");
}
QString noMonitorSourceText() {
    return QCoreApplication::translate(
        "mirelo::ScreenCastSession",
        "桌面门户 xdg-desktop-portal 不能共享显示器画面(ScreenCast 接口缺失或没有显示器来源),"
        "请安装与本桌面匹配的门户后端(例如 xdg-desktop-portal-gnome、-kde 或 -wlr)。");
}
QString noStreamText() {
    return QCoreApplication::translate("mirelo::ScreenCastSession", "屏幕共享没有给出任何画面流。");
}

ScreenCastFailure failure(const QString& message) {
    return ScreenCastFailure{false, message};
}

// How one attempt ended: a cast, a failure to report, or a kept token that did not work
// (retry with the dialog).
struct TokenRejected {};
using Attempt = std::variant<OpenScreenCast, ScreenCastFailure, TokenRejected>;

Attempt attempt(ScreenCastPortal& portal, const RestoreTokenStore& tokens,
                const ScreenCastPortal::SourceOptions& options, const StreamJudge& judge) {
    const bool restoring = !options.restoreToken.isEmpty();
    const ScreenCastPortal::Reply created = portal.createSession();
    if (created.failure) {
        return failure(*created.failure);
    }
    if (created.response != 0 || created.sessionHandle.isEmpty()) {
        return ScreenCastFailure{true, noPermissionText()};
    }
    const QString session = created.sessionHandle;
    auto refused = [&](uint32_t response) -> Attempt {
        portal.closeSession(session);
        // A kept token the portal cannot use any more ends in a refusal of its own; the user
        // is asked again. A cancelled dialog is the user's answer.
        if (restoring && response != 1) {
            return TokenRejected{};
        }
        return ScreenCastFailure{true, noPermissionText()};
    };

    const ScreenCastPortal::Reply selected = portal.selectSources(session, options);
    if (selected.failure) {
        portal.closeSession(session);
        // A portal may refuse a token it cannot read outright, as an error of the call.
        return restoring ? Attempt(TokenRejected{}) : Attempt(failure(*selected.failure));
    }
    if (selected.response != 0) {
        return refused(selected.response);
    }
    const ScreenCastPortal::Reply started = portal.start(session);
    if (started.failure) {
        portal.closeSession(session);
        return failure(*started.failure);
    }
    if (started.response != 0) {
        return refused(started.response);
    }
    if (started.streams.empty()) {
        portal.closeSession(session);
        return failure(noStreamText());
    }
    const ScreenCastPortal::Stream* stream = nullptr;
    bool other = false;
    for (const ScreenCastPortal::Stream& candidate : started.streams) {
        const StreamFit fit = judge(candidate);
        if (fit == StreamFit::wanted) {
            stream = &candidate;
            break;
        }
        other = other || fit == StreamFit::other;
    }
    if (stream == nullptr) {
        portal.closeSession(session);
        if (restoring) {
            // The kept choice is a monitor the frame has left: ask for the one under it.
            return TokenRejected{};
        }
        ScreenCastFailure wrong;
        wrong.otherMonitor = other;
        wrong.unidentified = !other;
        return wrong;
    }
    if (tokens.save && options.persist) {
        tokens.save(started.restoreToken);
    }
    std::variant<int, QString> remote = portal.openPipeWireRemote(session);
    if (const QString* error = std::get_if<QString>(&remote)) {
        portal.closeSession(session);
        return failure(*error);
    }
    return OpenScreenCast{session, std::get<int>(remote), *stream};
}

}  // namespace

std::variant<OpenScreenCast, ScreenCastFailure> openScreenCast(ScreenCastPortal& portal,
                                                               const RestoreTokenStore& tokens,
                                                               bool showsCursor,
                                                               const QPoint& centre) {
    return openScreenCast(
        portal, tokens, showsCursor, [centre](const ScreenCastPortal::Stream& stream) {
            return !stream.area || stream.area->contains(centre) ? StreamFit::wanted
                                                                 : StreamFit::other;
        });
}

std::variant<OpenScreenCast, ScreenCastFailure> openScreenCast(
    ScreenCastPortal& portal, const RestoreTokenStore& tokens, bool showsCursor,
    const StreamJudge& judge, const QString& monitor, bool wantsPointerPosition) {
    const std::variant<ScreenCastPortal::Capabilities, QString> capabilities =
        portal.capabilities();
    if (const QString* missing = std::get_if<QString>(&capabilities)) {
        return failure(*missing);
    }
    const auto& caps = std::get<ScreenCastPortal::Capabilities>(capabilities);
    if ((caps.sourceTypes & ScreenCastPortal::kMonitorSource) == 0) {
        return failure(noMonitorSourceText());
    }

    ScreenCastPortal::SourceOptions options;
    options.cursorMode = chooseCursorMode(caps.cursorModes, showsCursor, wantsPointerPosition);
    // Restore tokens came with version 4 of the interface.
    options.persist = caps.version >= 4;
    // A choice kept for another monitor would show that one.
    const bool keptForThis = !tokens.loadMonitor || tokens.loadMonitor() == monitor;
    if (options.persist && tokens.load && keptForThis) {
        options.restoreToken = tokens.load();
    }

    Attempt result = attempt(portal, tokens, options, judge);
    if (std::holds_alternative<TokenRejected>(result)) {
        if (tokens.save) {
            tokens.save(QString());
        }
        options.restoreToken.clear();
        result = attempt(portal, tokens, options, judge);
    }
    if (auto* open = std::get_if<OpenScreenCast>(&result)) {
        if (tokens.saveMonitor && options.persist) {
            tokens.saveMonitor(monitor);
        }
        open->cursorMode = options.cursorMode;
        return *open;
    }
    if (auto* failed = std::get_if<ScreenCastFailure>(&result)) {
        return *failed;
    }
    return ScreenCastFailure{true, noPermissionText()};  // not reached: no token on the retry
}

std::optional<uint32_t> chooseCursorMode(uint32_t available, bool showsCursor,
                                         bool wantsPointerPosition) {
    if (wantsPointerPosition && (available & ScreenCastPortal::kCursorMetadata) != 0) {
        return ScreenCastPortal::kCursorMetadata;
    }
    const uint32_t wanted =
        showsCursor ? ScreenCastPortal::kCursorEmbedded : ScreenCastPortal::kCursorHidden;
    if ((available & wanted) != 0) {
        return wanted;
    }
    return std::nullopt;
}

RestoreTokenStore settingsRestoreTokenStore() {
    static const QString kKey = QStringLiteral("capture/screenCastRestoreToken");
    static const QString kMonitorKey = QStringLiteral("capture/screenCastMonitor");
    RestoreTokenStore store;
    store.loadMonitor = [] {
        return QSettings(QStringLiteral("Mirelo"), QStringLiteral("Mirelo"))
            .value(kMonitorKey)
            .toString();
    };
    store.saveMonitor = [](const QString& monitor) {
        QSettings settings(QStringLiteral("Mirelo"), QStringLiteral("Mirelo"));
        settings.setValue(kMonitorKey, monitor);
        settings.sync();
    };
    store.load = [] {
        return QSettings(QStringLiteral("Mirelo"), QStringLiteral("Mirelo")).value(kKey).toString();
    };
    store.save = [](const QString& token) {
        QSettings settings(QStringLiteral("Mirelo"), QStringLiteral("Mirelo"));
        if (token.isEmpty()) {
            settings.remove(kKey);
        } else {
            settings.setValue(kKey, token);
        }
        settings.sync();
    };
    return store;
}

}  // namespace mirelo::wayland
