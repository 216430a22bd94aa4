// Opening a screen cast through the portal, against a scripted portal: the kept choice, the
// dialog as the permission, and a portal that is missing or cannot cast monitors.
#include "platform/wayland/ScreenCastPortal.h"

#include <gtest/gtest.h>

#include <deque>

namespace mirelo::wayland {
namespace {

using Reply = ScreenCastPortal::Reply;

Reply answered(uint32_t response) {
    Reply reply;
    reply.response = response;
    return reply;
}

Reply failedCall(const QString& message) {
    Reply reply;
    reply.failure = message;
    return reply;
}

// A portal whose answers are queued by the test; it records what it was asked.
class ScriptedPortal : public ScreenCastPortal {
public:
    std::variant<Capabilities, QString> caps = Capabilities{4, kMonitorSource, 3};
    std::deque<Reply> selectReplies;
    std::deque<Reply> startReplies;
    std::vector<SourceOptions> selected;
    std::vector<QString> closed;
    int sessions = 0;

    // A successful Start showing the monitor `area`, handing out `token`.
    void queueStart(const QRect& area, const QString& token, uint32_t node = 42) {
        Reply reply = answered(0);
        reply.streams = {Stream{node, area}};
        reply.restoreToken = token;
        startReplies.push_back(reply);
    }

    std::variant<Capabilities, QString> capabilities() override { return caps; }
    Reply createSession() override {
        Reply reply = answered(0);
        reply.sessionHandle = QStringLiteral("/session/%1").arg(++sessions);
        return reply;
    }
    Reply selectSources(const QString&, const SourceOptions& options) override {
        selected.push_back(options);
        return take(selectReplies, answered(0));
    }
    Reply start(const QString&) override { return take(startReplies, answered(2)); }
    std::variant<int, QString> openPipeWireRemote(const QString&) override { return 7; }
    void closeSession(const QString& session) override { closed.push_back(session); }

private:
    static Reply take(std::deque<Reply>& queue, Reply fallback) {
        if (queue.empty()) {
            return fallback;
        }
        Reply reply = queue.front();
        queue.pop_front();
        return reply;
    }
};

struct MemoryTokens {
    QString token;
    std::vector<QString> saved;
    RestoreTokenStore store() {
        return {[this] { return token; },
                [this](const QString& t) {
                    token = t;
                    saved.push_back(t);
                }};
    }
};

const QRect kLeft(0, 0, 1280, 720);
const QRect kRight(1280, 0, 1920, 1080);

TEST(ScreenCastSession, TheKeptChoiceIsUsedAndRenewedAndAFailingOneAsksAgain) {
    ScriptedPortal portal;
    MemoryTokens tokens;
    tokens.token = QStringLiteral("old");

    // The kept token restores the monitor under the frame: no second attempt.
    portal.queueStart(kLeft, QStringLiteral("new"));
    auto opened = openScreenCast(portal, tokens.store(), true, QPoint(100, 100));
    ASSERT_TRUE(std::holds_alternative<OpenScreenCast>(opened));
    EXPECT_EQ(std::get<OpenScreenCast>(opened).pipeWireFd, 7);
    EXPECT_EQ(std::get<OpenScreenCast>(opened).stream.nodeId, 42u);
    ASSERT_EQ(portal.selected.size(), 1u);
    EXPECT_EQ(portal.selected[0].restoreToken, QStringLiteral("old"));
    EXPECT_TRUE(portal.selected[0].persist);
    EXPECT_EQ(portal.selected[0].cursorMode, ScreenCastPortal::kCursorEmbedded);
    EXPECT_EQ(tokens.token, QStringLiteral("new"));

    // The portal refuses the kept token (it was forgotten): asked again without it.
    portal.selected.clear();
    portal.startReplies.push_back(answered(2));
    portal.queueStart(kLeft, QStringLiteral("newer"));
    opened = openScreenCast(portal, tokens.store(), false, QPoint(100, 100));
    ASSERT_TRUE(std::holds_alternative<OpenScreenCast>(opened));
    ASSERT_EQ(portal.selected.size(), 2u);
    EXPECT_EQ(portal.selected[0].restoreToken, QStringLiteral("new"));
    EXPECT_TRUE(portal.selected[1].restoreToken.isEmpty());
    EXPECT_EQ(portal.selected[1].cursorMode, ScreenCastPortal::kCursorHidden);
    EXPECT_EQ(tokens.token, QStringLiteral("newer"));
    EXPECT_EQ(portal.closed.size(), 1u);  // the refused session

    // A portal that rejects a token it cannot read with an error of the call.
    portal.selected.clear();
    portal.selectReplies.push_back(failedCall(QStringLiteral("not a valid token")));
    portal.queueStart(kLeft, QStringLiteral("fresh"));
    opened = openScreenCast(portal, tokens.store(), false, QPoint(100, 100));
    ASSERT_TRUE(std::holds_alternative<OpenScreenCast>(opened));
    EXPECT_EQ(portal.selected.size(), 2u);
    EXPECT_EQ(tokens.token, QStringLiteral("fresh"));

    // The kept choice is a monitor the frame has left: the user picks the one under it.
    portal.selected.clear();
    portal.queueStart(kLeft, QStringLiteral("left"));
    portal.queueStart(kRight, QStringLiteral("right"), 43);
    opened = openScreenCast(portal, tokens.store(), false, QPoint(1500, 300));
    ASSERT_TRUE(std::holds_alternative<OpenScreenCast>(opened));
    EXPECT_EQ(std::get<OpenScreenCast>(opened).stream.nodeId, 43u);
    EXPECT_EQ(std::get<OpenScreenCast>(opened).stream.area, kRight);
    EXPECT_EQ(portal.selected.size(), 2u);
    EXPECT_EQ(tokens.token, QStringLiteral("right"));
}

TEST(ScreenCastSession, AnotherMonitorSharedIsRefusedAndAKeptChoiceServesOnlyItsMonitor) {
    ScriptedPortal portal;
    MemoryTokens tokens;
    QString keptFor;
    RestoreTokenStore store = tokens.store();
    store.loadMonitor = [&] { return keptFor; };
    store.saveMonitor = [&](const QString& monitor) { keptFor = monitor; };
    const StreamJudge right = [](const ScreenCastPortal::Stream& stream) {
        if (stream.area == kRight) {
            return StreamFit::wanted;
        }
        return stream.area == kLeft ? StreamFit::other : StreamFit::unidentified;
    };

    // The dialog's answer is the wrong monitor, or one that cannot be told: no cast.
    portal.queueStart(kLeft, QStringLiteral("left"));
    auto opened = openScreenCast(portal, store, true, right, QStringLiteral("RIGHT"));
    ASSERT_TRUE(std::holds_alternative<ScreenCastFailure>(opened));
    EXPECT_TRUE(std::get<ScreenCastFailure>(opened).otherMonitor);
    EXPECT_FALSE(std::get<ScreenCastFailure>(opened).noPermission);
    portal.queueStart(QRect(5, 5, 10, 10), QStringLiteral("odd"));
    opened = openScreenCast(portal, store, true, right, QStringLiteral("RIGHT"));
    ASSERT_TRUE(std::holds_alternative<ScreenCastFailure>(opened));
    EXPECT_TRUE(std::get<ScreenCastFailure>(opened).unidentified);
    EXPECT_EQ(portal.closed.size(), 2u);

    // A cast of the right monitor keeps its choice for that monitor...
    portal.selected.clear();
    portal.queueStart(kRight, QStringLiteral("right"));
    opened = openScreenCast(portal, store, true, right, QStringLiteral("RIGHT"));
    ASSERT_TRUE(std::holds_alternative<OpenScreenCast>(opened));
    EXPECT_EQ(keptFor, QStringLiteral("RIGHT"));
    // ...which a frame on another monitor does not use: the user is asked.
    portal.selected.clear();
    portal.queueStart(kLeft, QStringLiteral("left"));
    opened = openScreenCast(portal, store, true, QPoint(10, 10));
    ASSERT_EQ(portal.selected.size(), 1u);
    EXPECT_TRUE(portal.selected[0].restoreToken.isEmpty());
}

TEST(ScreenCastSession, ThePointerComesAsMetadataWhenItsPositionIsWantedAndOffered) {
    constexpr uint32_t kAll = ScreenCastPortal::kCursorHidden | ScreenCastPortal::kCursorEmbedded |
                              ScreenCastPortal::kCursorMetadata;
    EXPECT_EQ(chooseCursorMode(kAll, true, true), ScreenCastPortal::kCursorMetadata);
    EXPECT_EQ(chooseCursorMode(kAll, false, true), ScreenCastPortal::kCursorMetadata);
    EXPECT_EQ(chooseCursorMode(kAll, true, false), ScreenCastPortal::kCursorEmbedded);
    // Without metadata the pointer is drawn in or left out as before.
    EXPECT_EQ(chooseCursorMode(3, true, true), ScreenCastPortal::kCursorEmbedded);
    EXPECT_EQ(chooseCursorMode(3, false, true), ScreenCastPortal::kCursorHidden);
    EXPECT_EQ(chooseCursorMode(ScreenCastPortal::kCursorHidden, true, false), std::nullopt);

    // The mode asked for is what the cast says it has.
    ScriptedPortal portal;
    std::get<ScreenCastPortal::Capabilities>(portal.caps).cursorModes = kAll;
    MemoryTokens tokens;
    portal.queueStart(kLeft, QStringLiteral("token"));
    const auto judge = [](const ScreenCastPortal::Stream&) { return StreamFit::wanted; };
    const auto opened = openScreenCast(portal, tokens.store(), true, judge, QString(), true);
    ASSERT_TRUE(std::holds_alternative<OpenScreenCast>(opened));
    EXPECT_EQ(std::get<OpenScreenCast>(opened).cursorMode, ScreenCastPortal::kCursorMetadata);
    ASSERT_EQ(portal.selected.size(), 1u);
    EXPECT_EQ(portal.selected[0].cursorMode, ScreenCastPortal::kCursorMetadata);
}

TEST(ScreenCastSession, ARefusedOrCancelledDialogIsNoPermission) {
    for (uint32_t response : {1u, 2u}) {
        SCOPED_TRACE(response);
        for (bool atSelect : {true, false}) {
            ScriptedPortal portal;
            MemoryTokens tokens;  // no kept token: the dialog is the user's answer
            (atSelect ? portal.selectReplies : portal.startReplies).push_back(answered(response));
            const auto opened = openScreenCast(portal, tokens.store(), true, QPoint(10, 10));
            ASSERT_TRUE(std::holds_alternative<ScreenCastFailure>(opened));
            EXPECT_TRUE(std::get<ScreenCastFailure>(opened).noPermission);
            EXPECT_EQ(portal.selected.size(), 1u);  // asked once
            EXPECT_EQ(portal.closed, std::vector<QString>{QStringLiteral("/session/1")});
        }
    }
    // A cancelled dialog after a kept token failed is not asked a third time.
    ScriptedPortal portal;
    MemoryTokens tokens;
    tokens.token = QStringLiteral("kept");
    portal.startReplies = {answered(2), answered(1)};
    const auto opened = openScreenCast(portal, tokens.store(), true, QPoint(10, 10));
    ASSERT_TRUE(std::holds_alternative<ScreenCastFailure>(opened));
    EXPECT_TRUE(std::get<ScreenCastFailure>(opened).noPermission);
    EXPECT_EQ(portal.selected.size(), 2u);
    EXPECT_TRUE(tokens.token.isEmpty());
}

TEST(ScreenCastSession, APortalThatCannotCastSaysWhatIsMissing) {
    MemoryTokens tokens;
    ScriptedPortal missing;
    missing.caps = QStringLiteral("no portal here");
    auto opened = openScreenCast(missing, tokens.store(), true, QPoint());
    ASSERT_TRUE(std::holds_alternative<ScreenCastFailure>(opened));
    EXPECT_FALSE(std::get<ScreenCastFailure>(opened).noPermission);
    EXPECT_EQ(std::get<ScreenCastFailure>(opened).message, QStringLiteral("no portal here"));
    EXPECT_EQ(missing.sessions, 0);

    ScriptedPortal windowsOnly;
    windowsOnly.caps = ScreenCastPortal::Capabilities{4, 2, 3};
    opened = openScreenCast(windowsOnly, tokens.store(), true, QPoint());
    ASSERT_TRUE(std::holds_alternative<ScreenCastFailure>(opened));
    EXPECT_TRUE(std::get<ScreenCastFailure>(opened).message.contains(QStringLiteral("ScreenCast")));
    EXPECT_EQ(windowsOnly.sessions, 0);

    // A portal call failing mid-way is reported as is, and the session is closed.
    ScriptedPortal broken;
    broken.selectReplies.push_back(failedCall(QStringLiteral("timed out")));
    opened = openScreenCast(broken, tokens.store(), true, QPoint());
    ASSERT_TRUE(std::holds_alternative<ScreenCastFailure>(opened));
    EXPECT_EQ(std::get<ScreenCastFailure>(opened).message, QStringLiteral("timed out"));
    EXPECT_EQ(broken.closed.size(), 1u);

    // An old portal: no restore token asked for or kept, and no pointer mode it lacks.
    ScriptedPortal old;
    old.caps = ScreenCastPortal::Capabilities{2, 1, 1};
    old.queueStart(kLeft, {});
    tokens.token = QStringLiteral("kept");
    opened = openScreenCast(old, tokens.store(), true, QPoint());
    ASSERT_TRUE(std::holds_alternative<OpenScreenCast>(opened));
    ASSERT_EQ(old.selected.size(), 1u);
    EXPECT_FALSE(old.selected[0].persist);
    EXPECT_TRUE(old.selected[0].restoreToken.isEmpty());
    EXPECT_FALSE(old.selected[0].cursorMode.has_value());
    EXPECT_EQ(tokens.token, QStringLiteral("kept"));
}

}  // namespace
}  // namespace mirelo::wayland
