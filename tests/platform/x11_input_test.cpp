// Keys and clicks of a private Xvfb, as XTEST (xdotool) makes them, through the X11 capture
// backend's stream; and how key symbols are named.
#include "XvfbFixture.h"
#include "platform/x11/X11CaptureBackend.h"
#include "platform/x11/X11KeyNames.h"
#include "support/CaptureCollector.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

TEST(X11KeyNames, NamesKeysAsCaptionsShowThem) {
    auto named = [](xkb_keysym_t base, xkb_keysym_t shifted, const char* text, uint32_t mods) {
        const std::optional<InputEvent> event =
            x11::describeKey(base, shifted, QString::fromUtf8(text), mods);
        return event ? keyCombination(*event) + (event->typing ? "/typing" : "") : QString("-");
    };
    EXPECT_EQ(named(XKB_KEY_t, XKB_KEY_T, "T", modifierCtrl | modifierShift), "Ctrl+Shift+T");
    EXPECT_EQ(named(XKB_KEY_1, XKB_KEY_exclam, "!", modifierCtrl | modifierShift), "Ctrl+Shift+1");
    EXPECT_EQ(named(XKB_KEY_Return, XKB_KEY_Return, "\r", 0), "Enter");
    EXPECT_EQ(named(XKB_KEY_Up, XKB_KEY_Up, "", 0), "↑");
    EXPECT_EQ(named(XKB_KEY_Tab, XKB_KEY_ISO_Left_Tab, "\t", modifierShift), "Shift+Tab");
    EXPECT_EQ(named(XKB_KEY_F5, XKB_KEY_F5, "", 0), "F5");
    EXPECT_EQ(named(XKB_KEY_space, XKB_KEY_space, " ", modifierSuper), "Super+Space");
    EXPECT_EQ(named(XKB_KEY_a, XKB_KEY_A, "A", modifierShift), "A/typing");
    EXPECT_EQ(named(XKB_KEY_space, XKB_KEY_space, " ", 0), " /typing");
    // Modifiers alone are held, not shown.
    EXPECT_EQ(named(XKB_KEY_Control_L, XKB_KEY_Control_L, "", 0), "-");
    EXPECT_EQ(named(XKB_KEY_ISO_Level3_Shift, XKB_KEY_ISO_Level3_Shift, "", 0), "-");
}

// Keys and buttons in `events`, pointer moves apart in `moves`.
struct InputCollector : test::CaptureCollector {
    CaptureSink sink() {
        CaptureSink s = CaptureCollector::sink();
        s.input = [this](const InputEvent& event) {
            std::lock_guard lock(mutex);
            (event.kind == InputEvent::Kind::pointerMove ? moves : events).push_back(event);
            changed.notify_all();
        };
        return s;
    }
    bool waitForEvents(size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return events.size() >= count; });
    }
    bool waitForMove(const QPoint& to) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s,
                                [&] { return !moves.empty() && moves.back().position == to; });
    }
    std::vector<InputEvent> events;
    std::vector<InputEvent> moves;
};

TEST(X11Input, SeesXtestKeysAndClicksInRecordingPixels) {
    test::XvfbServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    auto backend = makeX11CaptureBackend(server.displayName());
    CaptureConfiguration config;
    config.sourcePixels = QRect(100, 100, 400, 300);
    config.sourceRect = QRectF(config.sourcePixels);
    config.outputSize = QSize(200, 150);  // delivered at half size
    config.minimumFrameInterval = MediaTime{1, 10, MediaTime::Valid};
    config.showsCursor = false;
    config.inputCapture = InputCapture::allKeys;
    InputCollector collector;
    ASSERT_EQ(backend->startStream(config, collector.sink()), std::nullopt);
    ASSERT_TRUE(collector.waitForFrames(1));

    ASSERT_EQ(server.run("xdotool", {"key", "ctrl+s", "type", "aB"}), 0);
    ASSERT_EQ(server.run("xdotool", {"mousemove", "300", "220", "click", "1", "click", "3"}), 0);
    ASSERT_TRUE(collector.waitForEvents(7));
    backend->stopStream();

    std::vector<InputEvent> events;
    {
        std::lock_guard lock(collector.mutex);
        events = collector.events;
    }
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(keyCombination(events[0]), "Ctrl+S");
    EXPECT_FALSE(events[0].typing);
    EXPECT_EQ(events[1].keyName, "a");
    EXPECT_TRUE(events[1].typing);
    EXPECT_EQ(events[2].keyName, "B");
    EXPECT_EQ(events[3].kind, InputEvent::Kind::buttonPress);
    EXPECT_EQ(events[3].button, 1);
    EXPECT_EQ(events[3].position, QPoint(100, 60));
    EXPECT_EQ(events[4].kind, InputEvent::Kind::buttonRelease);
    EXPECT_EQ(events[5].button, 3);
    // Stamped on the frames' clock, in order.
    for (size_t i = 1; i < events.size(); ++i) {
        EXPECT_GE(events[i].time.seconds(), events[i - 1].time.seconds());
    }
    const std::vector<FrameStore::Frame> frames = collector.taken();
    EXPECT_GE(events[0].time.seconds(), frames.front().timestamp.seconds());
}

TEST(X11Input, ThePointerIsFollowedInRecordingPixels) {
    test::XvfbServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    ASSERT_EQ(server.run("xdotool", {"mousemove", "140", "120"}), 0);
    auto backend = makeX11CaptureBackend(server.displayName());
    CaptureConfiguration config;
    config.sourcePixels = QRect(100, 100, 400, 300);
    config.sourceRect = QRectF(config.sourcePixels);
    config.outputSize = QSize(200, 150);
    config.minimumFrameInterval = MediaTime{1, 10, MediaTime::Valid};
    config.showsCursor = false;
    config.inputCapture = InputCapture::shortcuts;
    InputCollector collector;
    ASSERT_EQ(backend->startStream(config, collector.sink()), std::nullopt);
    // Where the pointer is at the start, without any move: (140, 120) at half size.
    EXPECT_TRUE(collector.waitForMove(QPoint(20, 10)));
    // A quick run of moves (warps, which make no raw motion): the last place is reported,
    // however soon it follows.
    ASSERT_EQ(server.run("xdotool", {"mousemove", "300", "220", "mousemove", "302", "224",
                                     "mousemove", "50", "60"}),
              0);
    const bool settled = collector.waitForMove(QPoint(-25, -20));
    backend->stopStream();
    ASSERT_TRUE(settled);

    std::lock_guard lock(collector.mutex);
    EXPECT_TRUE(collector.events.empty());
    const std::vector<InputEvent>& moves = collector.moves;
    for (size_t i = 1; i < moves.size(); ++i) {
        EXPECT_NE(moves[i].position, moves[i - 1].position);  // only moves are reported
        EXPECT_GE(moves[i].time.seconds(), moves[i - 1].time.seconds());
    }
}

TEST(X11Input, ClicksInAWindowRecordingLandWhereTheWindowIsNow) {
    test::XvfbServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    const uint32_t window = server.createWindow(QRect(100, 100, 400, 300), 0xff0000);
    auto backend = makeX11CaptureBackend(server.displayName());
    CaptureConfiguration config;
    config.window = CaptureWindow{window, false};
    config.minimumFrameInterval = MediaTime{1, 10, MediaTime::Valid};
    config.showsCursor = false;
    config.inputCapture = InputCapture::allKeys;
    InputCollector collector;
    ASSERT_EQ(backend->startStream(config, collector.sink()), std::nullopt);
    ASSERT_TRUE(collector.waitForFrames(1));
    ASSERT_EQ(server.run("xdotool", {"windowmove", QString::number(window), "600", "500"}), 0);
    server.sync();
    ASSERT_EQ(server.run("xdotool", {"mousemove", "650", "530", "click", "1"}), 0);
    ASSERT_TRUE(collector.waitForEvents(2));
    backend->stopStream();
    std::lock_guard lock(collector.mutex);
    EXPECT_EQ(collector.events[0].position, QPoint(50, 30));
}

TEST(X11Input, NothingIsWatchedWithoutTheChoice) {
    test::XvfbServer server;
    ASSERT_TRUE(server.ok()) << server.error().toStdString();
    auto backend = makeX11CaptureBackend(server.displayName());
    CaptureConfiguration config;
    config.sourcePixels = QRect(0, 0, 64, 64);
    config.sourceRect = QRectF(config.sourcePixels);
    config.outputSize = QSize(64, 64);
    config.minimumFrameInterval = MediaTime{1, 10, MediaTime::Valid};
    InputCollector collector;
    ASSERT_EQ(backend->startStream(config, collector.sink()), std::nullopt);
    ASSERT_TRUE(collector.waitForFrames(1));
    ASSERT_EQ(server.run("xdotool", {"key", "ctrl+s"}), 0);
    ASSERT_TRUE(collector.waitForFrames(3));
    backend->stopStream();
    std::lock_guard lock(collector.mutex);
    EXPECT_TRUE(collector.events.empty());
}

}  // namespace
}  // namespace mirelo
