// The recorder's controls on a real X server (a private Xvfb with openbox):
// the countdown before the first frame and its cancelling, a preset as large
// as the screen, and the desktop-wide shortcuts.
//
// Runs as its own program: the X server must exist before the Qt application
// connects to it.
#include "X11AppTest.h"
#include "app/AppMenu.h"
#include "app/AppState.h"
#include "capture/RecordingStore.h"
#include "editor/EditorState.h"
#include "platform/GlobalShortcuts.h"
#include "platform/x11/X11CaptureBackend.h"
#include "platform/x11/X11KeyGrab.h"
#include "support/EditorClosing.h"
#include "support/TestImages.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/CountdownView.h"
#include "ui/recorder/RecorderHeader.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

using test::SilentAlerts;

const QColor kBelow(0x33, 0x66, 0xcc);

class Backdrop : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), kBelow); }
};

class X11RecorderControlsTest : public ::testing::Test {
protected:
    std::shared_ptr<SilentAlerts> alerts = std::make_shared<SilentAlerts>();
    std::unique_ptr<AppState> state;
    Backdrop below;
    int editorsOpened = 0;

    void SetUp() override {
        below.setGeometry(200, 200, 1200, 760);
        below.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));

        AppServices services;
        services.recorder = std::make_unique<ScreenRecorder>(
            makeX11CaptureBackend(test::appServer().displayName()));
        services.alerts = alerts;
        state = std::make_unique<AppState>(std::move(services));
        QObject::connect(state.get(), &AppState::editorOpened, [this] { ++editorsOpened; });
        state->setShowsCursor(false);
        state->setFps(10);
        RecorderWindow* window = controller()->window();
        ASSERT_TRUE(test::waitUntil([&] { return window->isVisible(); }, 3s));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        window->setGeometry(400, 300, 640, 404);
        settle();
    }

    void TearDown() override {
        if (state && state->editor()) {
            test::closeDiscarding(state->editor());
        }
    }

    RecorderWindowController* controller() { return state->recorderWindowController(); }

    void settle() {
        test::appServer().sync();
        test::spinFor(300ms);
    }

    // Stops and returns the recorded frames.
    FrameList stopRecording() {
        const int before = editorsOpened;
        state->toggleRecording();
        test::waitUntil([&] { return editorsOpened > before; }, 5s);
        if (editorsOpened == before || !state->editor()) {
            return {};
        }
        FrameList frames = state->editor()->state()->frames();
        test::closeDiscarding(state->editor());
        settle();
        return frames;
    }

    static int foreignPixels(const QImage& image) {
        int foreign = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                foreign += QColor(image.pixel(x, y)) != kBelow;
            }
        }
        return foreign;
    }

    // The recordings' folders in this process's cache.
    static QStringList storedRecordings() {
        return QDir(defaultStoreRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }
};

}  // namespace

TEST_F(X11RecorderControlsTest, TheCountdownDelaysTheFirstFrameByItsLength) {
    EXPECT_EQ(state->countdownSeconds(), 3);  // the default
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state->countdownRemaining() > 0; }, 3s));
    // The outline is red already and the number shows in the frame.
    EXPECT_TRUE(controller()->hasRecordingChrome());
    EXPECT_FALSE(state->isRecording());
    CountdownView* view = controller()->countdownView();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->number(), 3);
    EXPECT_TRUE(controller()->captureRegion().contains(view->geometry()));
    QPushButton* record = controller()->window()->header()->recordButton();
    EXPECT_TRUE(record->isEnabled());
    EXPECT_TRUE(record->text().isEmpty() || record->text() == QStringLiteral("停止"));
    ASSERT_TRUE(test::waitUntil([&] { return view->number() == 1; }, 3s));

    ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 5s));
    EXPECT_FALSE(view->isVisible());
    test::spinFor(500ms);
    const FrameList frames = stopRecording();
    ASSERT_GE(frames.size(), 2);
    // Measured on the recording's own clock: the first frame is the first one
    // the schedule takes once the three seconds are over.
    const MediaTime start = state->lastCountdownStart();
    const MediaTime first = state->lastFirstFrameTime();
    ASSERT_TRUE(start.isValid() && first.isValid());
    const double delay = first.seconds() - start.seconds();
    EXPECT_GE(delay, 3.0);
    EXPECT_LE(delay, 3.0 + 1.0 / state->fps());
    // Nothing of the number is in the recording.
    EXPECT_EQ(foreignPixels(frames.front().image.qimage()), 0);
}

TEST_F(X11RecorderControlsTest, EscapeOrStopDuringTheCountdownLeavesNoRecording) {
    for (bool escape : {true, false}) {
        SCOPED_TRACE(escape);
        const QStringList before = storedRecordings();
        state->toggleRecording();
        ASSERT_TRUE(test::waitUntil([&] { return state->countdownRemaining() > 0; }, 3s));
        test::spinFor(300ms);
        if (escape) {
            // Escape reaches us wherever the focus is.
            ASSERT_EQ(test::appServer().run("xdotool", {"key", "Escape"}), 0);
        } else {
            controller()->window()->header()->recordButton()->click();
        }
        ASSERT_TRUE(test::waitUntil([&] { return !state->isStartingRecording(); }, 5s));
        EXPECT_EQ(state->countdownRemaining(), 0);
        EXPECT_FALSE(controller()->hasRecordingChrome());
        EXPECT_FALSE(controller()->countdownView()->isVisible());
        // Past the end of the countdown, still nothing.
        test::spinFor(3500ms);
        EXPECT_FALSE(state->isRecording());
        EXPECT_FALSE(state->recorder()->isCapturing());
        EXPECT_EQ(editorsOpened, 0);
        EXPECT_EQ(storedRecordings(), before);
        EXPECT_TRUE(alerts->shown.isEmpty()) << alerts->shown.join(" | ").toStdString();
    }
    // The countdown can be switched off: the recording then starts at once.
    state->setCountdownSeconds(0);
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 3s));
    EXPECT_EQ(controller()->countdownView()->isVisible(), false);
    test::spinFor(400ms);
    EXPECT_FALSE(stopRecording().isEmpty());
}

TEST_F(X11RecorderControlsTest, AFullScreenPresetRecordsOnlyWhatIsOnTheScreen) {
    state->setCountdownSeconds(0);
    RecorderHeader* header = controller()->window()->header();
    QAction* fullHd = nullptr;
    for (QAction* action : header->sizeButton()->menu()->actions()) {
        if (action->text() == QStringLiteral("1920 × 1080")) {
            fullHd = action;
        }
    }
    ASSERT_NE(fullHd, nullptr);
    fullHd->trigger();
    settle();
    // The screen is 1920 x 1080: the region is all of it, the header inside
    // its top edge while the frame is placed.
    EXPECT_EQ(controller()->captureRegion(), QRect(0, 0, 1920, 1080));
    EXPECT_TRUE(state->headerInside());
    EXPECT_FALSE(state->captureSizeReduced());
    EXPECT_EQ(header->sizeButton()->toolTip(), QStringLiteral("1920 × 1080"));

    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 5s));
    // The start said how to stop a recording that leaves no room for the stop button.
    ASSERT_EQ(alerts->notices.size(), 1);
    EXPECT_TRUE(alerts->notices.front().contains(QStringLiteral("Ctrl+R")));
    settle();
    QTemporaryDir folder;
    const QString shot = folder.filePath(QStringLiteral("screen.png"));
    ASSERT_EQ(test::appServer().run("import", {"-window", "root", shot}), 0);
    test::spinFor(300ms);
    const FrameList frames = stopRecording();
    ASSERT_FALSE(frames.isEmpty());
    const QImage first = frames.front().image.qimage().convertToFormat(QImage::Format_RGB32);
    const QImage screen = QImage(shot).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(first.size(), QSize(1920, 1080));
    ASSERT_EQ(screen.size(), QSize(1920, 1080));
    // Every row is the screen's, the bottom ones too (none is off-screen black).
    int differing = 0;
    for (int y = 0; y < first.height(); ++y) {
        for (int x = 0; x < first.width(); ++x) {
            differing += first.pixel(x, y) != screen.pixel(x, y);
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(QColor(first.pixel(800, 1079 - 130)), kBelow);
}

TEST_F(X11RecorderControlsTest, CtrlAltRStartsAndStopsWhileAnotherApplicationHasTheFocus) {
    state->setCountdownSeconds(0);
    GlobalShortcuts shortcuts(GlobalShortcuts::Mechanism::x11Grab);
    ASSERT_EQ(shortcuts.state(), GlobalShortcuts::State::active);
    state->useGlobalShortcuts(&shortcuts);
    AppMenu menu(state.get(), nullptr);
    EXPECT_EQ(menu.startAction()->shortcut().toString(), QStringLiteral("Ctrl+Alt+R"));
    EXPECT_FALSE(menu.shortcutNoteAction()->isVisible());

    // An xterm, away from the frame, takes the focus.
    QProcess xterm;
    xterm.start(QStringLiteral("xterm"), {"-geometry", "60x10+1300+40", "-title", "focus-here"});
    ASSERT_TRUE(xterm.waitForStarted());
    ASSERT_EQ(
        test::appServer().run("xdotool", {"search", "--sync", "--name", "focus-here",
                                          "windowactivate", "--sync", "windowfocus", "--sync"}),
        0);
    settle();
    ASSERT_EQ(test::appServer().run("xdotool", {"key", "--clearmodifiers", "ctrl+alt+r"}), 0);
    ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 5s));
    test::spinFor(400ms);
    ASSERT_EQ(test::appServer().run("xdotool", {"key", "--clearmodifiers", "ctrl+alt+p"}), 0);
    ASSERT_TRUE(test::waitUntil([&] { return state->isPaused(); }, 3s));
    ASSERT_EQ(test::appServer().run("xdotool", {"key", "--clearmodifiers", "ctrl+alt+p"}), 0);
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPaused(); }, 3s));
    const int before = editorsOpened;
    ASSERT_EQ(test::appServer().run("xdotool", {"key", "--clearmodifiers", "ctrl+alt+r"}), 0);
    ASSERT_TRUE(test::waitUntil([&] { return editorsOpened > before; }, 5s));
    EXPECT_FALSE(state->isRecording());
    EXPECT_FALSE(state->editor()->state()->frames().isEmpty());

    // With the editor open, the key asks first; "取消" starts nothing.
    alerts->startWhileEditing = false;
    ASSERT_EQ(test::appServer().run("xdotool", {"key", "--clearmodifiers", "ctrl+alt+r"}), 0);
    ASSERT_TRUE(test::waitUntil([&] { return alerts->askedToStart == 1; }, 3s));
    settle();
    EXPECT_FALSE(state->isStartingRecording());
    EXPECT_FALSE(state->isRecording());
    xterm.kill();
    xterm.waitForFinished();
}

TEST_F(X11RecorderControlsTest, KeysHeldByAnotherProgramAreReportedOnceAndShownNowhere) {
    // Another program holds Ctrl+Alt+R.
    x11::KeyGrab other(uint32_t{'r'}, x11::KeyGrab::control | x11::KeyGrab::alt);
    ASSERT_TRUE(other.isActive());
    GlobalShortcuts shortcuts(GlobalShortcuts::Mechanism::x11Grab);
    EXPECT_EQ(shortcuts.state(), GlobalShortcuts::State::heldElsewhere);
    EXPECT_FALSE(shortcuts.isActive(GlobalShortcuts::Action::toggleRecording));
    EXPECT_TRUE(shortcuts.isActive(GlobalShortcuts::Action::togglePause));
    state->useGlobalShortcuts(&shortcuts);
    state->useGlobalShortcuts(&shortcuts);
    test::spinFor(100ms);
    ASSERT_EQ(alerts->notices.size(), 1);
    EXPECT_TRUE(alerts->notices.front().contains(QStringLiteral("Ctrl+Alt+R")));
    AppMenu menu(state.get(), nullptr);
    EXPECT_TRUE(menu.startAction()->shortcut().isEmpty());
    EXPECT_TRUE(menu.shortcutNoteAction()->isVisible());
    EXPECT_EQ(menu.shortcutNoteAction()->text(), QStringLiteral("全局快捷键已被其他程序占用"));
}
