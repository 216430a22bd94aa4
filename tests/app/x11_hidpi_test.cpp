// The recorder on an X server at a Qt scale factor (QT_SCALE_FACTOR 1.5 or 2, set by CTest) on
// a 3840 x 2160 screen made of two RandR monitors: each recording is the capture area in the
// server's pixels, to the pixel, wherever the window manager put the window: at even and odd
// pixel positions and on the second monitor. Each frame is compared with the server's own
// picture of the same place, read during the recording.
//
// Runs as its own program: the X server must exist before the Qt application connects to it.
#include "X11AppTest.h"
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "platform/x11/X11CaptureBackend.h"
#include "support/EditorClosing.h"
#include "support/TestImages.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderGeometry.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

// Cells of colours that differ from cell to cell, so that a region one pixel off shows. A
// bare window placed where asked, which the recorder takes for another program's (it moves
// its own widgets out of the recording).
class PatternWindow : public QRasterWindow {
public:
    PatternWindow() {
        setFlags(Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint |
                 Qt::WindowStaysOnTopHint);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        for (int y = 0; y < height(); y += 3) {
            for (int x = 0; x < width(); x += 5) {
                painter.fillRect(x, y, 5, 3, QColor((x * 7) % 256, (y * 5) % 256, (x + y) % 256));
            }
        }
    }
};

class X11HiDpiTest : public ::testing::Test {
protected:
    static constexpr QSize kCapture{640, 360};

    std::shared_ptr<test::SilentAlerts> alerts = std::make_shared<test::SilentAlerts>();
    std::unique_ptr<AppState> state;
    PatternWindow below;
    RecorderWindow* window = nullptr;

    void SetUp() override {
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
        ASSERT_GT(ratio, 1.0);
        AppServices services;
        services.recorder = std::make_unique<ScreenRecorder>(
            makeX11CaptureBackend(test::appServer().displayName()));
        services.alerts = alerts;
        state = std::make_unique<AppState>(std::move(services));
        state->setShowsCursor(false);
        state->setFps(10);
        window = state->recorderWindowController()->window();
        ASSERT_TRUE(test::waitUntil([&] { return window->isVisible(); }, 3s));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        // Small enough for either monitor at scale 2.
        state->recorderWindowController()->resizeCaptureArea(kCapture);
        test::appServer().sync();
        test::spinFor(300ms);
    }

    // Where the server has a window: root coordinates of its client area, in its pixels.
    QRect nativeGeometry(xcb_window_t id) {
        xcb_connection_t* c = test::appServer().connection();
        xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
        if (!geometry) {
            return {};
        }
        xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, id, geometry->root, 0, 0), nullptr);
        QRect rect;
        if (origin) {
            rect = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        }
        std::free(origin);
        std::free(geometry);
        return rect;
    }

    // Moves the recorder window to a position in the server's pixels, as the window manager
    // would: Qt learns of it only afterwards, rounded to its points.
    void placeNative(const QPoint& at) {
        const auto id = static_cast<xcb_window_t>(window->windowHandle()->winId());
        ASSERT_EQ(
            test::appServer().run("xdotool", {"windowmove", QString::number(id),
                                              QString::number(at.x()), QString::number(at.y())}),
            0);
        ASSERT_TRUE(test::waitUntil([&] { return nativeGeometry(id).topLeft() == at; }, 5s))
            << nativeGeometry(id).x() << "," << nativeGeometry(id).y();
        test::spinFor(300ms);
    }

    // The server's pixels of `rect` (root coordinates), read now.
    QImage rootPixels(const QRect& rect) {
        xcb_connection_t* c = test::appServer().connection();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_get_image_reply_t* reply = xcb_get_image_reply(
            c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, static_cast<int16_t>(rect.x()),
                          static_cast<int16_t>(rect.y()), static_cast<uint16_t>(rect.width()),
                          static_cast<uint16_t>(rect.height()), ~0u),
            nullptr);
        if (!reply) {
            return {};
        }
        const QImage image(xcb_get_image_data(reply), rect.width(), rect.height(), rect.width() * 4,
                           QImage::Format_RGB32);
        QImage copy = image.copy();
        std::free(reply);
        return copy;
    }

    // Records about a second; the server's picture of `expected` is read midway.
    FrameList record(const QRect& expected, QImage* screen) {
        state->toggleRecording();
        EXPECT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 5s))
            << alerts->shown.join(" | ").toStdString();
        EXPECT_TRUE(
            test::waitUntil([&] { return state->recorder()->frameStore().count() >= 4; }, 10s));
        *screen = rootPixels(expected);
        EXPECT_TRUE(
            test::waitUntil([&] { return state->recorder()->frameStore().count() >= 8; }, 10s));
        bool opened = false;
        const QMetaObject::Connection connection =
            QObject::connect(state.get(), &AppState::editorOpened, [&opened] { opened = true; });
        state->toggleRecording();
        test::waitUntil([&] { return opened; }, 10s);
        QObject::disconnect(connection);
        if (!opened || !state->editor()) {
            return {};
        }
        FrameList frames = state->editor()->state()->frames();
        test::closeDiscarding(state->editor());
        EXPECT_TRUE(test::waitUntil([&] { return window->isVisible(); }, 5s));
        test::spinFor(300ms);
        return frames;
    }

    double ratio = 1.0;
};

TEST_F(X11HiDpiTest, RecordsTheCaptureAreaToThePixelAtEvenAndOddPlacesOnBothMonitors) {
    const auto id = static_cast<xcb_window_t>(window->windowHandle()->winId());
    // On the first monitor at an even and an odd place, then on the second at an odd one.
    for (const QPoint& at : {QPoint(600, 400), QPoint(601, 401), QPoint(2253, 777)}) {
        SCOPED_TRACE(at.x());
        placeNative(at);
        const QRect native = nativeGeometry(id);
        // The capture area: below the header and inside the outline, in the server's pixels.
        const auto edge = [&](int points) { return static_cast<int>(std::lround(points * ratio)); };
        // (At a fractional scale the window's size in points follows its size in pixels,
        // which depends on where it lies: Qt rounds its edges.)
        const QSize points = window->captureRect().size();
        const QRect expected(
            native.x() + edge(recorder::kOutlineWidth), native.y() + edge(recorder::kHeaderHeight),
            static_cast<int>(points.width() * ratio), static_cast<int>(points.height() * ratio));
        // The pattern inside the capture area, so that its edges show what lies around it.
        const QRect area = state->recorderWindowController()->recordedRegion().toRect();
        below.setGeometry(area.adjusted(7, 5, -9, -11));
        below.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));
        test::spinFor(300ms);

        QImage screen;
        const FrameList frames = record(expected, &screen);
        ASSERT_FALSE(screen.isNull());
        ASSERT_GE(frames.size(), 4);
        for (const EditorFrame& frame : frames) {
            const QImage image = frame.image.qimage().convertToFormat(QImage::Format_RGB32);
            ASSERT_EQ(image.size(), expected.size());
            int wrong = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    wrong += (image.pixel(x, y) & 0xffffff) != (screen.pixel(x, y) & 0xffffff);
                }
            }
            EXPECT_EQ(wrong, 0);
        }
        EXPECT_TRUE(alerts->shown.isEmpty()) << alerts->shown.join(" | ").toStdString();
    }
}

}  // namespace
