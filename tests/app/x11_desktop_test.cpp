// The recorder and the application as a user meets them on a desktop (a
// private Xvfb with openbox), driven with synthetic input from xdotool:
// every header control answers wherever the header sits, nothing of ours
// shows in a recording, and a recording can always be stopped.
//
// Runs as its own program: the X server must exist before the Qt application
// connects to it.
#include "X11AppTest.h"
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "platform/SingleInstance.h"
#include "platform/x11/X11CaptureBackend.h"
#include "platform/x11/X11KeyGrab.h"
#include "support/TestImages.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderHeader.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

const QColor kBelow(0x33, 0x66, 0xcc);

class Backdrop : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), kBelow); }
};

class X11DesktopTest : public ::testing::Test {
protected:
    std::shared_ptr<test::SilentAlerts> alerts = std::make_shared<test::SilentAlerts>();
    std::unique_ptr<AppState> state;
    Backdrop below;

    void SetUp() override {
        below.setGeometry(0, 0, 1400, 1000);
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
        settle();
    }

    void TearDown() override {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
        state.reset();
        settle();
    }

    RecorderWindowController* controller() { return state->recorderWindowController(); }
    RecorderHeader* header() { return controller()->window()->header(); }

    void settle() {
        test::appServer().sync();
        test::spinFor(300ms);
    }

    void xdotool(const QStringList& arguments) {
        ASSERT_EQ(test::appServer().run("xdotool", arguments), 0)
            << arguments.join(' ').toStdString();
        settle();
    }

    void click(const QPoint& at) {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }

    // Clicks at `at` and returns the popup (a menu) the click opened, or
    // null, with its frame while it showed. A popup runs its own event loop
    // until it closes, so it is looked at, kept open for `open`, and closed
    // from a timer running inside that loop.
    QPointer<QWidget> popupFrom(const QPoint& at, QRect* frame = nullptr,
                                std::chrono::milliseconds open = 0ms) {
        QPointer<QWidget> seen;
        QElapsedTimer since;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* popup = QApplication::activePopupWidget();
            if (!popup) {
                return;
            }
            if (!seen) {
                seen = popup;
                since.start();
                if (frame) {
                    *frame = popup->frameGeometry();
                }
            }
            if (since.elapsed() >= open.count()) {
                popup->close();
            }
        });
        poll.start();
        click(at);
        test::waitUntil([&] { return seen && !QApplication::activePopupWidget(); }, 3s);
        return seen;
    }

    // The centre of a header control, in global coordinates.
    static QPoint centreOf(QWidget* control) {
        return control->mapToGlobal(control->rect().center());
    }

    // Stops the recording and returns its frames; closes the editor.
    FrameList finishRecording() {
        EXPECT_TRUE(test::waitUntil([&] { return state->editor() != nullptr; }, 5s));
        if (!state->editor()) {
            return {};
        }
        FrameList frames = state->editor()->state()->frames();
        state->editor()->window()->close();
        settle();
        return frames;
    }

    static int foreignPixels(const FrameList& frames) {
        int foreign = 0;
        for (const EditorFrame& frame : frames) {
            const QImage image = frame.image.qimage();
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    foreign += QColor(image.pixel(x, y)) != kBelow;
                }
            }
        }
        return foreign;
    }
};

}  // namespace

TEST_F(X11DesktopTest, HeaderControlsAnswerWhenTheHeaderLiesInsideTheCaptureArea) {
    QMenu appMenu;
    appMenu.addAction(QStringLiteral("显示录制窗口"));
    controller()->setAppMenu(&appMenu);
    controller()->snapTo(QRect(300, 0, 640, 400));
    settle();
    ASSERT_TRUE(state->headerInside());

    // Each menu opens from a click on its button.
    for (QToolButton* button :
         {header()->fpsButton(), header()->sizeButton(), header()->menuButton()}) {
        SCOPED_TRACE(button->text().toStdString());
        ASSERT_TRUE(button->isVisible());
        EXPECT_EQ(popupFrom(centreOf(button)), button->menu());
    }
    const bool cursor = state->showsCursor();
    click(centreOf(header()->cursorButton()));
    EXPECT_NE(state->showsCursor(), cursor);

    // Record starts from a click; the header moves out of the recorded
    // rectangle, and a click on its stop button ends the recording.
    click(centreOf(header()->recordButton()));
    ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 5s))
        << alerts->shown.join(" | ").toStdString();
    settle();
    click(centreOf(header()->recordButton()));
    EXPECT_TRUE(test::waitUntil([&] { return !state->isRecording(); }, 5s));
    finishRecording();
}

TEST_F(X11DesktopTest, AFullHeightRecordingSaysHowToStopAndStopsThatWay) {
    controller()->snapTo(QRect(300, 0, 640, 1080));
    settle();
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 5s));
    ASSERT_EQ(alerts->notices.size(), 1);
    EXPECT_TRUE(alerts->notices[0].contains(QStringLiteral("按 Ctrl+R 停止录制")))
        << alerts->notices[0].toStdString();
    EXPECT_FALSE(header()->isVisible());
    click(QPoint(1200, 500));  // another window has the focus
    xdotool({"key", "ctrl+r"});
    EXPECT_TRUE(test::waitUntil([&] { return !state->isRecording(); }, 5s));
    finishRecording();

    // With the key held by another program and no tray there would be no
    // way to stop: the recording does not start, and the user is told why.
    x11::KeyGrab other('r');
    ASSERT_TRUE(other.isActive());
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return !state->isStartingRecording(); }, 5s));
    EXPECT_FALSE(state->isRecording());
    ASSERT_EQ(alerts->notices.size(), 2);
    EXPECT_TRUE(alerts->notices[1].contains(QStringLiteral("无法停止")));
    EXPECT_FALSE(controller()->hasRecordingChrome());
}

TEST_F(X11DesktopTest, OurMenusAndWindowsStayOutOfTheRecording) {
    QMenu appMenu;
    for (const char* entry : {"停止录制", "显示录制窗口", "打开输出文件夹", "退出 Mirelo"}) {
        appMenu.addAction(QString::fromUtf8(entry));
    }
    controller()->setAppMenu(&appMenu);
    controller()->window()->setGeometry(400, 300, 644, 406);
    settle();
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 5s));
    settle();
    const QRect recorded = controller()->captureRegion();

    // A window of ours that would open over the recording opens beside it.
    QWidget other;
    other.setGeometry(QRect(recorded.center(), QSize(300, 200)));
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    EXPECT_FALSE(other.frameGeometry().intersects(recorded));
    // So does the menu opened from the header, kept open for a few frames.
    QRect menu;
    ASSERT_EQ(popupFrom(centreOf(header()->menuButton()), &menu, 600ms), &appMenu);
    EXPECT_FALSE(menu.intersects(recorded));
    click(centreOf(header()->recordButton()));
    ASSERT_TRUE(test::waitUntil([&] { return !state->isRecording(); }, 5s));
    const FrameList frames = finishRecording();
    ASSERT_GE(frames.size(), 3);
    EXPECT_EQ(foreignPixels(frames), 0);
}

TEST_F(X11DesktopTest, ASecondMireloBringsTheFirstForwardAndExits) {
    // This process plays the running Mirelo, with its recorder put away.
    SingleInstance first;
    ASSERT_FALSE(first.notifyRunning(500));
    ASSERT_TRUE(first.listen());
    QObject::connect(&first, &SingleInstance::activationRequested, state.get(),
                     &AppState::showRecorderWindow);
    controller()->hideWindow();
    settle();

    QProcess second;
    second.start(QStringLiteral(MIRELO_BINARY), {});
    ASSERT_TRUE(second.waitForStarted());
    EXPECT_TRUE(test::waitUntil([&] { return second.state() == QProcess::NotRunning; }, 20s));
    if (second.state() != QProcess::NotRunning) {
        second.kill();
        second.waitForFinished();
    }
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(test::waitUntil([&] { return controller()->window()->isVisible(); }, 3s));
}

TEST_F(X11DesktopTest, SpaceAfterAClickOnTheHeaderPressesNothing) {
    controller()->window()->setGeometry(400, 300, 644, 406);
    controller()->showWindow();
    settle();
    const bool cursor = state->showsCursor();
    click(centreOf(header()->cursorButton()));
    ASSERT_NE(state->showsCursor(), cursor);
    popupFrom(centreOf(header()->fpsButton()));
    for (int i = 0; i < 2; ++i) {
        xdotool({"key", "space"});
        xdotool({"key", "Return"});
    }
    EXPECT_NE(state->showsCursor(), cursor);
    EXPECT_FALSE(state->isStartingRecording() || state->isRecording());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    // Tab shows which control Space would press.
    xdotool({"key", "Tab"});
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_TRUE(header()->isAncestorOf(focused));
}
