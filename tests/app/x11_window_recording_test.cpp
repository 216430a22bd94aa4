// Recording one window through the application on a real X server (a private Xvfb with
// openbox): 录制窗口 picks the window with a click, the recording follows it while it moves
// across the screen and is half covered, and closing it ends the recording with its frames in
// the editor.
//
// Runs as its own program: the X server must exist before the Qt application connects to it.
#include "X11AppTest.h"
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "platform/WindowPicker.h"
#include "platform/x11/X11CaptureBackend.h"
#include "support/EditorClosing.h"
#include "support/TestImages.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <memory>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

using test::SilentAlerts;

constexpr QSize kWindowSize(300, 200);
const QRect kBlueSquare(0, 0, 40, 40);
const QRect kGreenSquare(260, 160, 40, 40);

// A window of another program with a known picture: red, with a blue square at its top-left
// and a green one at its bottom-right. The squares are child windows, so the server paints the
// whole picture again whenever part of it is exposed.
uint32_t createPictureWindow(const QPoint& at) {
    test::XvfbServer& server = test::appServer();
    const uint32_t window = server.createWindow(QRect(at, kWindowSize), 0xff0000, 1);
    xcb_connection_t* c = server.connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    for (const auto& [rect, colour] :
         {std::pair{kBlueSquare, 0x0000ffu}, std::pair{kGreenSquare, 0x00ff00u}}) {
        const xcb_window_t child = xcb_generate_id(c);
        const uint32_t background = colour;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, child, window, static_cast<int16_t>(rect.x()),
                          static_cast<int16_t>(rect.y()), static_cast<uint16_t>(rect.width()),
                          static_cast<uint16_t>(rect.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL, &background);
        xcb_map_window(c, child);
    }
    server.sync();
    return window;
}

QImage expectedPicture() {
    QImage picture(kWindowSize, QImage::Format_RGB32);
    picture.fill(QColor(255, 0, 0));
    for (const auto& [rect, colour] :
         {std::pair{kBlueSquare, QColor(0, 0, 255)}, std::pair{kGreenSquare, QColor(0, 255, 0)}}) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x) {
                picture.setPixelColor(x, y, colour);
            }
        }
    }
    return picture;
}

class X11WindowRecordingTest : public ::testing::Test {
protected:
    std::shared_ptr<SilentAlerts> alerts = std::make_shared<SilentAlerts>();
    std::unique_ptr<AppState> state;

    void SetUp() override {
        AppServices services;
        services.recorder = std::make_unique<ScreenRecorder>(
            makeX11CaptureBackend(test::appServer().displayName()));
        services.alerts = alerts;
        services.pickWindow = [](std::function<void(std::optional<PickedWindow>)> done) {
            WindowPicker::shared().begin(std::move(done));
        };
        state = std::make_unique<AppState>(std::move(services));
        state->setCountdownSeconds(0);
        state->setShowsCursor(false);
        state->setFps(10);
        state->setWindowDecorations(false);
        RecorderWindow* window = state->recorderWindowController()->window();
        ASSERT_TRUE(test::waitUntil([&] { return window->isVisible(); }, 3s));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        window->setGeometry(100, 500, 644, 406);
        settle();
    }

    void settle() {
        test::appServer().sync();
        test::spinFor(300ms);
    }

    void xdotool(const QStringList& arguments) {
        ASSERT_EQ(test::appServer().run("xdotool", arguments), 0)
            << arguments.join(' ').toStdString();
        settle();
    }

    // Picks `window` with 录制窗口 and waits until its recording runs.
    void recordWindow(uint32_t window, const QPoint& clickAt) {
        ASSERT_TRUE(state->recordsWindows());
        state->beginWindowRecording();
        ASSERT_TRUE(state->isPickingWindow());
        settle();
        xdotool({"mousemove", QString::number(clickAt.x()), QString::number(clickAt.y()), "click",
                 "1"});
        ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 5s))
            << alerts->shown.join(" | ").toStdString() << " window " << window;
        EXPECT_TRUE(state->isRecordingWindow());
    }
};

}  // namespace

TEST_F(X11WindowRecordingTest, FollowsTheWindowAcrossTheScreenUntilItCloses) {
    const uint32_t window = createPictureWindow(QPoint(900, 100));
    recordWindow(window, QPoint(1050, 200));

    // The frame shows no outline while a window is recorded: only the header remains.
    RecorderWindow* recorder = state->recorderWindowController()->window();
    EXPECT_TRUE(recorder->isVisible());

    // Across the screen, then half under another program's window, then half off the screen.
    for (const QPoint& to : {QPoint(600, 150), QPoint(200, 300), QPoint(1000, 600)}) {
        xdotool({"windowmove", QString::number(window), QString::number(to.x()),
                 QString::number(to.y())});
    }
    test::appServer().createWindow(QRect(1150, 500, 400, 400), 0xffff00, 1);
    settle();
    xdotool({"windowmove", QString::number(window), "1200", "900"});

    bool opened = false;
    QObject::connect(state.get(), &AppState::editorOpened, [&opened] { opened = true; });
    test::appServer().destroyWindow(window);
    ASSERT_TRUE(test::waitUntil([&] { return opened; }, 5s))
        << "closing the window stops the recording; " << alerts->shown.join(" | ").toStdString();
    EXPECT_TRUE(alerts->shown.isEmpty()) << alerts->shown.join(" | ").toStdString();
    EXPECT_FALSE(state->isRecording());
    EXPECT_FALSE(state->isRecordingWindow());

    ASSERT_NE(state->editor(), nullptr);
    const FrameList frames = state->editor()->state()->frames();
    ASSERT_GE(frames.size(), 10) << "about a second and a half at 10 frames a second";
    const QImage expected = expectedPicture();
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const QImage frame = frames[i].image.qimage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(frame.size(), kWindowSize) << "frame " << i;
        int wrong = 0;
        for (int y = 0; y < frame.height(); ++y) {
            for (int x = 0; x < frame.width(); ++x) {
                wrong += frame.pixel(x, y) != expected.pixel(x, y);
            }
        }
        EXPECT_EQ(wrong, 0) << "frame " << i << " shows the whole window picture";
    }
    test::closeDiscarding(state->editor());
    settle();
}

TEST_F(X11WindowRecordingTest, StoppingKeepsTheFramesAndTheFrameComesBack) {
    const uint32_t window = createPictureWindow(QPoint(900, 100));
    state->setWindowDecorations(true);
    recordWindow(window, QPoint(1050, 200));
    test::spinFor(500ms);

    bool opened = false;
    QObject::connect(state.get(), &AppState::editorOpened, [&opened] { opened = true; });
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return opened; }, 5s));
    const FrameList frames = state->editor()->state()->frames();
    ASSERT_FALSE(frames.empty());
    // With decorations the frame is larger than the window by the window manager's frame.
    EXPECT_GT(frames.front().image.height(), kWindowSize.height());
    EXPECT_GE(frames.front().image.width(), kWindowSize.width());
    EXPECT_FALSE(state->isRecordingWindow());
    test::closeDiscarding(state->editor());
    settle();
    test::appServer().destroyWindow(window);
}
