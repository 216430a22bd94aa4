// The recorder window on a real X server (a private Xvfb with openbox): while
// a recording runs, clicks in the capture area reach the window below it and
// the recording shows none of the recorder window's pixels.
//
// Runs as its own program: the X server must exist before the Qt application
// connects to it.
#include "X11AppTest.h"
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "platform/x11/X11CaptureBackend.h"
#include "support/EditorClosing.h"
#include "support/TestImages.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderHeader.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

using test::SilentAlerts;

// An ordinary window painted in one colour that counts the clicks it gets.
class ClickTarget : public QWidget {
public:
    explicit ClickTarget(QColor color) : m_color(color) {}
    int clicks = 0;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_color); }
    void mousePressEvent(QMouseEvent*) override { ++clicks; }

private:
    QColor m_color;
};

class X11RecorderTest : public ::testing::Test {
protected:
    std::shared_ptr<SilentAlerts> alerts = std::make_shared<SilentAlerts>();
    std::unique_ptr<AppState> state;
    ClickTarget below{QColor(0x33, 0x66, 0xcc)};

    void SetUp() override {
        below.setGeometry(200, 200, 1200, 760);
        below.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));

        AppServices services;
        services.recorder = std::make_unique<ScreenRecorder>(
            makeX11CaptureBackend(test::appServer().displayName()));
        services.alerts = alerts;
        state = std::make_unique<AppState>(std::move(services));
        state->setCountdownSeconds(0);
        state->setShowsCursor(false);
        state->setFps(10);
        RecorderWindow* window = controller()->window();
        ASSERT_TRUE(test::waitUntil([&] { return window->isVisible(); }, 3s));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        // The capture area well inside the window below.
        window->setGeometry(400, 300, 644, 406);
        settle();
    }

    RecorderWindowController* controller() { return state->recorderWindowController(); }

    // Lets the window manager and the X server catch up.
    void settle() {
        test::appServer().sync();
        test::spinFor(300ms);
    }

    void click(const QPoint& at) {
        ASSERT_EQ(test::appServer().run("xdotool", {"mousemove", QString::number(at.x()),
                                                    QString::number(at.y()), "click", "1"}),
                  0);
        settle();
    }

    void startRecording() {
        state->toggleRecording();
        ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 5s))
            << alerts->shown.join(" | ").toStdString();
        settle();
    }

    // Stops and returns the recorded frames.
    FrameList stopRecording() {
        // Counted by the signal: the editor of an earlier recording stays
        // referenced, and a new one may reuse a freed one's address.
        bool opened = false;
        const QMetaObject::Connection connection =
            QObject::connect(state.get(), &AppState::editorOpened, [&opened] { opened = true; });
        state->toggleRecording();
        test::waitUntil([&] { return opened; }, 5s);
        QObject::disconnect(connection);
        if (!opened || !state->editor()) {
            return {};
        }
        FrameList frames = state->editor()->state()->frames();
        test::closeDiscarding(state->editor());
        settle();
        return frames;
    }

    // Counts the pixels of every frame that differ from the colour below.
    int foreignPixels(const FrameList& frames) {
        int foreign = 0;
        for (const EditorFrame& frame : frames) {
            const QImage image = frame.image.qimage();
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (QColor(image.pixel(x, y)) != QColor(0x33, 0x66, 0xcc)) {
                        ++foreign;
                    }
                }
            }
        }
        return foreign;
    }
};

}  // namespace

TEST_F(X11RecorderTest, ClicksInTheCaptureAreaFallThroughOnlyWhileRecording) {
    RecorderWindow* window = controller()->window();
    // Cut out (how it runs without a compositing manager, as here) and
    // painted (how it runs with one), the capture area catches clicks while
    // idle and lets them through while recording.
    for (bool cutOut : {true, false}) {
        SCOPED_TRACE(cutOut);
        window->setCutsOutCaptureArea(cutOut);
        settle();
        EXPECT_EQ(window->catchesCaptureAreaInput(), cutOut);
        const QPoint inside = controller()->captureRegion().center();
        const int before = below.clicks;

        click(inside);
        EXPECT_EQ(below.clicks, before);

        startRecording();
        EXPECT_FALSE(window->catchesCaptureAreaInput());
        click(inside);
        EXPECT_EQ(below.clicks, before + 1);
        // The header still takes clicks: pressing stop there ends the recording.
        const QRect header = window->header()->geometry().translated(window->geometry().topLeft());
        click(QPoint(header.right() - 40, header.center().y()));
        EXPECT_EQ(below.clicks, before + 1);
        EXPECT_TRUE(test::waitUntil([&] { return !state->isRecording(); }, 5s));
        test::waitUntil([&] { return state->editor() != nullptr; }, 5s);
        if (state->editor()) {
            test::closeDiscarding(state->editor());
        }
        settle();

        click(inside);
        EXPECT_EQ(below.clicks, before + 1);
    }
}

TEST_F(X11RecorderTest, DraggingTheSeeThroughCaptureAreaMovesTheWindow) {
    RecorderWindow* window = controller()->window();
    ASSERT_TRUE(window->cutsOutCaptureArea());  // no compositing manager here
    const QPoint start = window->pos();
    const QPoint inside = controller()->captureRegion().center();
    ASSERT_EQ(test::appServer().run(
                  "xdotool", {"mousemove", QString::number(inside.x()), QString::number(inside.y()),
                              "mousedown", "1", "mousemove", QString::number(inside.x() + 60),
                              QString::number(inside.y() + 25), "mouseup", "1"}),
              0);
    settle();
    EXPECT_EQ(window->pos(), start + QPoint(60, 25));
    EXPECT_EQ(below.clicks, 0);
}

TEST_F(X11RecorderTest, RecordingsShowNothingOfTheRecorderWindow) {
    for (bool cutOut : {true, false}) {
        SCOPED_TRACE(cutOut);
        controller()->window()->setCutsOutCaptureArea(cutOut);
        settle();
        startRecording();
        test::spinFor(700ms);
        const FrameList frames = stopRecording();
        ASSERT_GE(frames.size(), 3);
        EXPECT_EQ(frames[0].image.size(), QSize(640, 360));
        EXPECT_EQ(foreignPixels(frames), 0);
    }
}

TEST_F(X11RecorderTest, AHeaderInsideMovesOutOfTheRecording) {
    // Snapped to a target at the very top: the header sits inside the
    // capture area until the recording starts.
    below.setGeometry(0, 0, 1200, 760);
    settle();
    controller()->snapTo(QRect(300, 0, 640, 400));
    settle();
    ASSERT_TRUE(state->headerInside());
    startRecording();
    RecorderWindow* window = controller()->window();
    EXPECT_TRUE(window->header()->isVisible());
    test::spinFor(700ms);
    const FrameList frames = stopRecording();
    ASSERT_GE(frames.size(), 3);
    EXPECT_EQ(frames[0].image.size(), QSize(640, 400));
    EXPECT_EQ(foreignPixels(frames), 0);
}

TEST_F(X11RecorderTest, WithNoRoomForTheHeaderCtrlRStopsFromAnywhere) {
    controller()->snapTo(QRect(300, 0, 640, 1080));
    settle();
    startRecording();
    RecorderWindow* window = controller()->window();
    EXPECT_FALSE(window->header()->isVisible());
    EXPECT_TRUE(controller()->hasGlobalStopKey());
    // The key reaches us while another window has the focus.
    click(QPoint(1200, 500));
    ASSERT_EQ(test::appServer().run("xdotool", {"key", "ctrl+r"}), 0);
    EXPECT_TRUE(test::waitUntil([&] { return !state->isRecording(); }, 5s));
    EXPECT_FALSE(controller()->hasGlobalStopKey());
    test::waitUntil([&] { return state->editor() != nullptr; }, 5s);
    ASSERT_NE(state->editor(), nullptr);
    EXPECT_EQ(state->editor()->state()->frames().value(0).image.size(), QSize(640, 1080));
}
