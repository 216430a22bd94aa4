// Recording one window through the X11 backend under openbox: the frames show the window's own
// pixels while it moves, is covered, or lies partly off the screen, and the stream ends as a
// normal stop when the window is destroyed.
#include "XvfbFixture.h"
#include "platform/x11/X11CaptureBackend.h"
#include "support/CaptureCollector.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

constexpr uint32_t kRed = 0xff0000;
constexpr uint32_t kGreen = 0x00ff00;
constexpr uint32_t kBlue = 0x0000ff;

CaptureConfiguration windowConfiguration(uint32_t window, bool decorations, bool cursor = false) {
    CaptureConfiguration config;
    config.window = CaptureWindow{window, decorations};
    config.minimumFrameInterval = MediaTime{1, 30, MediaTime::Valid};
    config.showsCursor = cursor;
    return config;
}

class X11WindowCaptureTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.ok()) << server.error().toStdString(); }

    // A red window with a blue square at its top-left and a green one at its bottom-right,
    // drawn once the stream runs (the window itself never redraws).
    void drawPicture(uint32_t window) {
        server.fill(window, QRect(0, 0, 300, 200), kRed);
        server.fill(window, QRect(0, 0, 40, 40), kBlue);
        server.fill(window, QRect(260, 160, 40, 40), kGreen);
        server.sync();
    }

    // The picture drawPicture() leaves, with its top-left at `at` in `frame`.
    static void expectPicture(const Image& frame, const QPoint& at, const std::string& when) {
        ASSERT_FALSE(frame.isNull()) << when;
        EXPECT_EQ(frame.pixel(at.x() + 5, at.y() + 5), test::rgba(0, 0, 255)) << when;
        EXPECT_EQ(frame.pixel(at.x() + 150, at.y() + 100), test::rgba(255, 0, 0)) << when;
        EXPECT_EQ(frame.pixel(at.x() + 299, at.y() + 199), test::rgba(0, 255, 0)) << when;
        EXPECT_EQ(frame.pixel(at.x() + 299, at.y() + 0), test::rgba(255, 0, 0)) << when;
    }

    void moveWindow(uint32_t window, int x, int y) {
        ASSERT_EQ(server.run("xdotool", {"windowmove", QString::number(window), QString::number(x),
                                         QString::number(y)}),
                  0);
        server.sync();
        std::this_thread::sleep_for(100ms);
    }

    // The frame that arrives after everything asked of the server so far has been done.
    Image nextFrame(test::CaptureCollector& collector) {
        const size_t before = collector.taken().size();
        EXPECT_TRUE(collector.waitForFrames(before + 2));
        const auto frames = collector.taken();
        return frames.empty() ? Image() : frames.back().image;
    }

    // Where the client window lies inside the window manager's frame around it.
    QPoint offsetInFrame(uint32_t window) {
        xcb_connection_t* c = server.connection();
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
        EXPECT_NE(tree, nullptr);
        const xcb_window_t frame = tree ? tree->parent : XCB_NONE;
        std::free(tree);
        xcb_translate_coordinates_reply_t* offset = xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, window, frame, 0, 0), nullptr);
        const QPoint at = offset ? QPoint(offset->dst_x, offset->dst_y) : QPoint();
        std::free(offset);
        return at;
    }

    test::XvfbServer server{test::XvfbServer::Options{1280, 720, true, true}};
    std::shared_ptr<CaptureBackend> backend = makeX11CaptureBackend(server.displayName());
};

TEST_F(X11WindowCaptureTest, FollowsTheWindowMovedCoveredAndOffScreenUntilItCloses) {
    ASSERT_TRUE(backend->recordsWindows());
    const uint32_t window = server.createWindow(QRect(100, 100, 300, 200), kRed);
    test::CaptureCollector collector;
    ASSERT_EQ(backend->startStream(windowConfiguration(window, false), collector.sink()),
              std::nullopt);
    drawPicture(window);
    expectPicture(nextFrame(collector), QPoint(0, 0), "at the start");

    moveWindow(window, 700, 400);
    expectPicture(nextFrame(collector), QPoint(0, 0), "moved");

    // Another window over half of it: the recording still shows all of it.
    server.createWindow(QRect(850, 350, 400, 300), kGreen);
    expectPicture(nextFrame(collector), QPoint(0, 0), "half covered");

    // Half off the right and bottom edges of the screen.
    moveWindow(window, 1130, 620);
    expectPicture(nextFrame(collector), QPoint(0, 0), "partly off the screen");

    const auto frames = collector.taken();
    for (const FrameStore::Frame& frame : frames) {
        ASSERT_EQ(frame.image.size(), QSize(300, 200)) << "every frame has the window's size";
    }

    server.destroyWindow(window);
    ASSERT_TRUE(collector.waitForFailure());
    EXPECT_TRUE(collector.sourceClosed) << "a closed window ends the stream as a stop";
    EXPECT_TRUE(collector.failures.front().isEmpty());
    EXPECT_GE(collector.framesAtFailure, frames.size());
    EXPECT_EQ(backend->stopStream(), std::nullopt);
}

TEST_F(X11WindowCaptureTest, DecorationsAreTheWindowManagersFrame) {
    const uint32_t window = server.createWindow(QRect(200, 150, 300, 200), kRed);
    test::CaptureCollector collector;
    ASSERT_EQ(backend->startStream(windowConfiguration(window, true), collector.sink()),
              std::nullopt);
    drawPicture(window);
    const Image frame = nextFrame(collector);
    backend->stopStream();
    ASSERT_GT(frame.height(), 200) << "openbox puts a title bar above the window";
    ASSERT_GE(frame.width(), 300);
    expectPicture(frame, offsetInFrame(window), "inside its frame");
}

TEST_F(X11WindowCaptureTest, KeepsTheFirstSizeWhenTheWindowIsResized) {
    const uint32_t window = server.createWindow(QRect(100, 100, 300, 200), kRed);
    test::CaptureCollector collector;
    ASSERT_EQ(backend->startStream(windowConfiguration(window, false), collector.sink()),
              std::nullopt);
    drawPicture(window);
    expectPicture(nextFrame(collector), QPoint(0, 0), "before the resize");

    // Larger: the frame shows its top-left part at the first size.
    ASSERT_EQ(server.run("xdotool", {"windowsize", QString::number(window), "500", "300"}), 0);
    server.sync();
    std::this_thread::sleep_for(150ms);
    server.fill(window, QRect(0, 0, 500, 300), kGreen);
    server.fill(window, QRect(0, 0, 40, 40), kBlue);
    server.sync();
    Image grown = nextFrame(collector);
    ASSERT_EQ(grown.size(), QSize(300, 200));
    EXPECT_EQ(grown.pixel(5, 5), test::rgba(0, 0, 255));
    EXPECT_EQ(grown.pixel(299, 199), test::rgba(0, 255, 0));

    // Smaller: what the window no longer covers is black.
    ASSERT_EQ(server.run("xdotool", {"windowsize", QString::number(window), "200", "100"}), 0);
    server.sync();
    std::this_thread::sleep_for(150ms);
    server.fill(window, QRect(0, 0, 200, 100), kBlue);
    server.sync();
    const Image shrunk = nextFrame(collector);
    backend->stopStream();
    ASSERT_EQ(shrunk.size(), QSize(300, 200));
    EXPECT_EQ(shrunk.pixel(199, 99), test::rgba(0, 0, 255));
    EXPECT_EQ(shrunk.pixel(250, 150), test::rgba(0, 0, 0));
}

TEST_F(X11WindowCaptureTest, AWindowThatIsGoneOrHiddenIsRefusedAtTheStart) {
    const uint32_t window = server.createWindow(QRect(100, 100, 300, 200), kRed);
    server.destroyWindow(window);
    test::CaptureCollector collector;
    const std::optional<CaptureFailure> failure =
        backend->startStream(windowConfiguration(window, true), collector.sink());
    ASSERT_TRUE(failure);
    EXPECT_FALSE(failure->message.isEmpty());
    EXPECT_FALSE(failure->sourceClosed);
}

}  // namespace
}  // namespace mirelo
