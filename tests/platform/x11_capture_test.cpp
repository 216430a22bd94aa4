// The X11 capture backend against a private Xvfb: pixels, edges, pointer, pacing, and the
// display server or the display going away mid-stream.
#include "XvfbFixture.h"
#include "capture/ScreenRecorder.h"
#include "platform/x11/X11CaptureBackend.h"
#include "platform/x11/X11FrameGrabber.h"
#include "support/CaptureCollector.h"
#include "support/ManualPacingClock.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>
#include <sys/uio.h>
#include <xcb/randr.h>
#include <xcb/xcbext.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

using test::XvfbServer;

constexpr uint32_t kRed = 0xff0000;
constexpr uint32_t kGreen = 0x00ff00;
constexpr uint32_t kBlue = 0x0000ff;

using Collector = test::CaptureCollector;

CaptureConfiguration configuration(const QRect& source, double fps = 10, bool cursor = false,
                                   QSize output = {}) {
    CaptureConfiguration config;
    config.sourcePixels = source;
    config.sourceRect = QRectF(source);
    config.outputSize = output.isValid() ? output : source.size();
    config.minimumFrameInterval = MediaTime{1, static_cast<int32_t>(fps), MediaTime::Valid};
    config.showsCursor = cursor;
    return config;
}

class X11CaptureTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.ok()) << server.error().toStdString(); }

    // One frame of `source` through a fresh stream.
    Image captureOnce(const QRect& source, bool cursor = false, QSize output = {}) {
        Collector collector;
        EXPECT_EQ(backend->startStream(configuration(source, 30, cursor, output), collector.sink()),
                  std::nullopt);
        EXPECT_TRUE(collector.waitForFrames(1));
        backend->stopStream();
        const auto frames = collector.taken();
        return frames.empty() ? Image() : frames.front().image;
    }

    XvfbServer server;
    std::shared_ptr<CaptureBackend> backend = makeX11CaptureBackend(server.displayName());
};

TEST_F(X11CaptureTest, PermissionAndDisplayList) {
    EXPECT_TRUE(backend->checkPermission());
    const DisplayListResult list = backend->displays();
    ASSERT_FALSE(list.failure);
    ASSERT_EQ(list.displays.size(), 1u);
    EXPECT_EQ(list.displays[0].pixelFrame, QRect(0, 0, 1920, 1080));
    // The name Qt gives the same screen (QScreen::name()), so the two lists can be matched.
    EXPECT_EQ(list.displays[0].name, QStringLiteral("screen"));

    auto nowhere = makeX11CaptureBackend(":4321");
    EXPECT_FALSE(nowhere->checkPermission());
    EXPECT_TRUE(nowhere->displays().failure);
    EXPECT_TRUE(nowhere->startStream(configuration(QRect(0, 0, 10, 10)), Collector().sink()));
}

TEST_F(X11CaptureTest, CapturesWindowsInTheirColours) {
    server.createWindow(QRect(100, 100, 300, 200), kRed);
    server.createWindow(QRect(400, 100, 300, 200), kBlue);
    const Image frame = captureOnce(QRect(50, 50, 700, 300));
    ASSERT_EQ(frame.size(), QSize(700, 300));
    EXPECT_EQ(frame.pixel(50, 50), test::rgba(255, 0, 0));    // red window's corner
    EXPECT_EQ(frame.pixel(349, 249), test::rgba(255, 0, 0));  // its last pixel
    EXPECT_EQ(frame.pixel(350, 50), test::rgba(0, 0, 255));   // blue window starts
    EXPECT_EQ(frame.pixel(649, 249), test::rgba(0, 0, 255));
    EXPECT_NE(frame.pixel(350, 250), test::rgba(0, 0, 255));  // below it: the root
    for (int y = 0; y < frame.height(); y += 7) {
        for (int x = 0; x < frame.width(); x += 7) {
            ASSERT_EQ(frame.pixel(x, y) >> 24, 255u) << x << "," << y;
        }
    }
    // Scaled delivery keeps the colours.
    const Image doubled = captureOnce(QRect(100, 100, 300, 200), false, QSize(600, 400));
    ASSERT_EQ(doubled.size(), QSize(600, 400));
    EXPECT_EQ(doubled.pixel(300, 200), test::rgba(255, 0, 0));
}

TEST(X11CaptureWithoutSharedMemory, ReadsThroughPlainGetImage) {
    test::XvfbServer::Options options;
    options.extraArguments = {"-extension", "MIT-SHM"};
    XvfbServer server(options);
    ASSERT_TRUE(server.ok());
    server.createWindow(QRect(100, 100, 300, 200), kRed);
    x11::Connection connection(server.displayName());
    x11::FrameGrabber grabber(connection, QRect(50, 50, 400, 300), QSize(400, 300), true);
    ASSERT_FALSE(grabber.failure());
    EXPECT_FALSE(grabber.usesSharedMemory());
    const Image frame = grabber.grab();
    ASSERT_EQ(frame.size(), QSize(400, 300));
    EXPECT_EQ(frame.pixel(50, 50), test::rgba(255, 0, 0));
    EXPECT_EQ(frame.pixel(349, 249), test::rgba(255, 0, 0));
    EXPECT_EQ(frame.pixel(0, 0) >> 24, 255u);
}

// A still screen costs no new memory: a frame shares the rows that did not change with the
// frame before, and still shows exactly what was on screen, pointer included, when it was read.
void expectFramesShareTheRowsThatDidNotChange(XvfbServer& server) {
    const uint32_t window = server.createWindow(QRect(100, 100, 300, 200), kRed);
    server.movePointer(150, 150);
    const QRect source(100, 100, 300, 200);
    x11::Connection connection(server.displayName());
    x11::FrameGrabber grabber(connection, source, source.size(), true);
    ASSERT_FALSE(grabber.failure());

    const Image first = grabber.grab();
    const Image still = grabber.grab();
    server.fill(window, QRect(0, 150, 300, 50), kBlue);  // the lower quarter turns blue
    const Image changed = grabber.grab();
    server.movePointer(250, 250);
    const Image moved = grabber.grab();
    for (const Image* frame : {&first, &still, &changed, &moved}) {
        ASSERT_EQ(frame->size(), source.size());
    }

    EXPECT_EQ(still.constScanLine(0), first.constScanLine(0));
    EXPECT_EQ(still.constScanLine(50), first.constScanLine(50));  // under the pointer, which stayed
    EXPECT_EQ(changed.constScanLine(0), first.constScanLine(0));
    EXPECT_NE(changed.constScanLine(199), first.constScanLine(199));
    EXPECT_NE(moved.constScanLine(50), changed.constScanLine(50));    // the pointer left
    EXPECT_NE(moved.constScanLine(150), changed.constScanLine(150));  // and came here
    EXPECT_EQ(moved.constScanLine(100), changed.constScanLine(100));
    // A change in a few columns of a band, far from its left edge, shows.
    server.fill(window, QRect(120, 20, 40, 8), kGreen);
    const Image patched = grabber.grab();
    EXPECT_EQ(patched.pixel(130, 24), test::rgba(0, 255, 0));
    EXPECT_EQ(patched.pixel(110, 24), test::rgba(255, 0, 0));
    EXPECT_EQ(patched.constScanLine(100), moved.constScanLine(100));

    const uint32_t red = test::rgba(255, 0, 0);
    const uint32_t blue = test::rgba(0, 0, 255);
    EXPECT_EQ(first.pixel(10, 199), red);
    EXPECT_EQ(changed.pixel(10, 199), blue);
    EXPECT_EQ(changed.pixel(10, 149), red);
    // The pointer (hot spot at 50,50 of the source, then 150,150) shows where it was and
    // nowhere else.
    auto notBackground = [](const Image& frame, const QRect& area) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const uint32_t p = frame.pixel(x, y);
                count += p != test::rgba(255, 0, 0) && p != test::rgba(0, 0, 255);
            }
        return count;
    };
    EXPECT_GT(notBackground(changed, QRect(40, 40, 30, 30)), 20);
    EXPECT_EQ(notBackground(moved, QRect(40, 40, 30, 30)), 0);
    EXPECT_GT(notBackground(moved, QRect(140, 140, 30, 30)), 20);
    EXPECT_EQ(notBackground(changed, QRect(140, 140, 30, 30)), 0);
}

TEST_F(X11CaptureTest, FramesShareTheRowsThatDidNotChange) {
    expectFramesShareTheRowsThatDidNotChange(server);
}

// Without damage reports every row is compared: the same frames come out.
TEST(X11CaptureWithoutDamageReports, FramesShareTheRowsThatDidNotChange) {
    test::XvfbServer::Options options;
    options.extraArguments = {"-extension", "DAMAGE"};
    XvfbServer server(options);
    ASSERT_TRUE(server.ok());
    expectFramesShareTheRowsThatDidNotChange(server);
}

TEST_F(X11CaptureTest, OutsideTheDesktopIsBlack) {
    server.createWindow(QRect(1700, 900, 220, 180), kGreen);
    const Image corner = captureOnce(QRect(1800, 1000, 300, 200));
    ASSERT_EQ(corner.size(), QSize(300, 200));
    EXPECT_EQ(corner.pixel(0, 0), test::rgba(0, 255, 0));
    EXPECT_EQ(corner.pixel(119, 79), test::rgba(0, 255, 0));
    EXPECT_EQ(corner.pixel(120, 0), test::rgba(0, 0, 0));
    EXPECT_EQ(corner.pixel(0, 80), test::rgba(0, 0, 0));
    EXPECT_EQ(corner.pixel(299, 199), test::rgba(0, 0, 0));

    const Image left = captureOnce(QRect(-50, -20, 100, 100));
    ASSERT_EQ(left.size(), QSize(100, 100));
    EXPECT_EQ(left.pixel(49, 19), test::rgba(0, 0, 0));
    EXPECT_EQ(left.pixel(0, 99), test::rgba(0, 0, 0));

    const Image nowhere = captureOnce(QRect(5000, 5000, 64, 64));
    ASSERT_EQ(nowhere.size(), QSize(64, 64));
    EXPECT_EQ(nowhere.pixel(32, 32), test::rgba(0, 0, 0));
}

TEST_F(X11CaptureTest, PointerIsDrawnOnlyWhenAskedFor) {
    server.createWindow(QRect(300, 300, 200, 200), kGreen);
    server.movePointer(400, 400);
    const QRect source(350, 350, 100, 100);
    auto countNotGreen = [](const Image& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                count += image.pixel(x, y) != test::rgba(0, 255, 0) ? 1 : 0;
            }
        }
        return count;
    };
    const Image without = captureOnce(source, false);
    const Image with = captureOnce(source, true);
    EXPECT_EQ(countNotGreen(without), 0);
    EXPECT_GT(countNotGreen(with), 20);
    // The pointer sits around its hot spot, at the centre of the region, not in a corner.
    EXPECT_EQ(with.pixel(2, 2), test::rgba(0, 255, 0));
    EXPECT_EQ(with.pixel(97, 97), test::rgba(0, 255, 0));
    for (int y = 0; y < with.height(); ++y) {
        for (int x = 0; x < with.width(); ++x) {
            ASSERT_EQ(with.pixel(x, y) >> 24, 255u);
        }
    }
}

// Frames come when the pacer says, stamped with its clock's time: the first at once, then one
// per grid point, a late read skipping the points it missed.
TEST_F(X11CaptureTest, FramesComeOnTheClocksSchedule) {
    using test::ManualPacingClock;
    constexpr auto kStart = ManualPacingClock::kStart;
    auto clock = std::make_shared<ManualPacingClock>();
    auto paced = makeX11CaptureBackend(server.displayName(), clock);
    Collector collector;
    ASSERT_EQ(paced->startStream(configuration(QRect(0, 0, 320, 240), 10), collector.sink()),
              std::nullopt);
    // Each time the reader sleeps again, the frame before is read.
    ASSERT_EQ(clock->waitForSleeper(), kStart + 100ms);
    clock->advance(100ms);
    ASSERT_EQ(clock->waitForSleeper(), kStart + 200ms);
    clock->advance(260ms);  // 160 ms late: 300 ms is skipped, and so is 400 ms, 40 ms after
    ASSERT_EQ(clock->waitForSleeper(), kStart + 500ms);
    clock->advance(140ms);
    ASSERT_EQ(clock->waitForSleeper(), kStart + 600ms);
    EXPECT_EQ(paced->stopStream(), std::nullopt);

    const auto frames = collector.taken();
    const std::vector<captureclock::Clock::time_point> expected{kStart, kStart + 100ms,
                                                                kStart + 360ms, kStart + 500ms};
    ASSERT_EQ(frames.size(), expected.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].timestamp, captureclock::mediaTime(expected[i])) << i;
        EXPECT_EQ(frames[i].image.size(), QSize(320, 240));
    }
}

TEST_F(X11CaptureTest, ServerGoingAwayEndsTheStreamWithAnError) {
    Collector collector;
    ASSERT_EQ(backend->startStream(configuration(QRect(0, 0, 320, 240), 30), collector.sink()),
              std::nullopt);
    ASSERT_TRUE(collector.waitForFrames(3));
    server.kill();
    ASSERT_TRUE(collector.waitForFailure());
    // Once stopped, the stream has delivered everything it ever will.
    EXPECT_EQ(backend->stopStream(), std::nullopt);
    {
        std::lock_guard lock(collector.mutex);
        EXPECT_EQ(collector.failures.size(), 1u);
        EXPECT_EQ(collector.frames.size(), collector.framesAtFailure) << "no frame after it";
    }
    // A new stream on the dead display fails to start, and the backend stays usable.
    Collector next;
    EXPECT_NE(backend->startStream(configuration(QRect(0, 0, 10, 10)), next.sink()), std::nullopt);
    EXPECT_EQ(backend->stopStream(), std::nullopt);
}

TEST_F(X11CaptureTest, DisplayUnpluggedEndsTheStream) {
    // A second monitor that can be removed again: the right half of the screen.
    xcb_connection_t* c = server.connection();
    const char name[] = "MIRELO-TEST";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    ASSERT_NE(atom, nullptr);
    const xcb_atom_t monitorName = atom->atom;
    std::free(atom);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    // RRSetMonitor, sent by hand (the generated wrapper mis-sizes it in this libxcb).
    struct {
        xcb_randr_set_monitor_request_t header;
        xcb_randr_monitor_info_t info;
    } request{};
    request.header.window = root;
    request.info.name = monitorName;
    request.info.x = 960;
    request.info.width = 960;
    request.info.height = 1080;
    request.info.width_in_millimeters = 300;
    request.info.height_in_millimeters = 300;
    iovec parts[3];
    parts[2].iov_base = &request;
    parts[2].iov_len = sizeof request;
    xcb_protocol_request_t protocol{1, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
    xcb_send_request(c, 0, parts + 2, &protocol);
    server.sync();

    const DisplayListResult list = backend->displays();
    auto found = std::find_if(list.displays.begin(), list.displays.end(),
                              [&](const CaptureDisplay& d) { return d.id == monitorName; });
    if (found == list.displays.end()) {
        GTEST_SKIP() << "this X server does not take RandR monitors from clients";
    }
    EXPECT_EQ(found->name, QString(name));
    EXPECT_EQ(found->pixelFrame, QRect(960, 0, 960, 1080));

    Collector collector;
    CaptureConfiguration config = configuration(QRect(1000, 0, 200, 200), 30);
    config.displayId = monitorName;
    ASSERT_EQ(backend->startStream(config, collector.sink()), std::nullopt);
    ASSERT_TRUE(collector.waitForFrames(2));
    xcb_randr_delete_monitor(c, root, monitorName);
    server.sync();
    ASSERT_TRUE(collector.waitForFailure(3s));
    EXPECT_FALSE(collector.taken().empty());
    backend->stopStream();
}

TEST_F(X11CaptureTest, ScreenRecorderRecordsThroughTheBackend) {
    server.createWindow(QRect(0, 0, 400, 300), kBlue);
    const QString name = backend->displays().displays.at(0).name;
    ScreenRecorder recorder(backend, [name] { return std::vector<ScreenInfo>{{name, 1.0}}; });
    bool started = false;
    recorder.start(QRectF(10.5, 20, 200.7, 100), 30, true, [&](std::optional<RecorderError> error) {
        EXPECT_EQ(error, std::nullopt);
        started = true;
    });
    ASSERT_TRUE(test::waitUntil([&] { return started; }, 5s));
    ASSERT_TRUE(test::waitUntil([&] { return recorder.frameStore().count() >= 3; }, 5s));
    std::vector<FrameStore::Frame> frames;
    bool stopped = false;
    recorder.stop([&](std::vector<FrameStore::Frame> f, std::optional<RecorderError> error) {
        EXPECT_EQ(error, std::nullopt);
        frames = std::move(f);
        stopped = true;
    });
    ASSERT_TRUE(test::waitUntil([&] { return stopped; }, 5s));
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0].image.size(), QSize(200, 100));
    EXPECT_EQ(frames[0].image.pixel(150, 50), test::rgba(0, 0, 255));

    // Recording again after the server went away: the stream dies, the frames so far stay.
    std::optional<RecorderError> failure;
    QObject::connect(&recorder, &ScreenRecorder::streamFailed,
                     [&](const RecorderError& error) { failure = error; });
    started = false;
    recorder.start(QRectF(0, 0, 100, 100), 30, false,
                   [&](std::optional<RecorderError>) { started = true; });
    ASSERT_TRUE(test::waitUntil([&] { return started; }, 5s));
    ASSERT_TRUE(test::waitUntil([&] { return recorder.frameStore().count() >= 2; }, 5s));
    server.kill();
    ASSERT_TRUE(test::waitUntil([&] { return failure.has_value(); }, 5s));
    EXPECT_EQ(failure->kind, RecorderError::Kind::platform);
    stopped = false;
    recorder.stop([&](std::vector<FrameStore::Frame> f, std::optional<RecorderError> error) {
        EXPECT_EQ(error, std::nullopt);
        EXPECT_GE(f.size(), 2u);
        stopped = true;
    });
    ASSERT_TRUE(test::waitUntil([&] { return stopped; }, 5s));
}

}  // namespace
}  // namespace mirelo
