// The application on a Wayland desktop, end to end: the session picks the portal backend, the
// recorder window records the region under it, and the editor opens with those frames.
#include "WaylandTestSupport.h"
#include "app/Alerts.h"
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "platform/CaptureBackendChoice.h"
#include "support/TestImages.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QPainter>
#include <QRasterWindow>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

class SilentAlerts : public AlertPresenter {
public:
    QStringList shown;
    Response showRecordingError(const QString& description, bool) override {
        shown << description;
        return Response::ok;
    }
};

// A window the recorder does not own: a bare window rather than one of the
// application's widgets, which it moves out of the captured rectangle while
// recording. It stands for another program's window.
class ForeignWindow : public QRasterWindow {
public:
    explicit ForeignWindow(QColor color) : m_color(color) {
        setFlags(Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint |
                 Qt::WindowStaysOnTopHint);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), m_color);
    }

private:
    QColor m_color;
};

TEST(WaylandApp, RecordsTheRegionUnderTheRecorderWindowAndOpensTheEditor) {
    const CaptureBackendChoice choice = chooseCaptureBackend(0, nullptr);
    ASSERT_EQ(choice.kind, CaptureBackendKind::portal);

    auto alerts = std::make_shared<SilentAlerts>();
    AppServices services;
    services.recorder = std::make_unique<ScreenRecorder>(makeCaptureBackend(choice.kind));
    services.alerts = alerts;
    AppState state(std::move(services));
    state.setCountdownSeconds(0);
    state.setShowsCursor(false);
    state.setFps(10);
    RecorderWindowController* controller = state.recorderWindowController();
    RecorderWindow* window = controller->window();
    ASSERT_TRUE(test::waitUntil([&] { return window->isVisible(); }, 5s));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->resize(480, 344);
    // The compositor places the window itself; Qt learns where.
    ASSERT_TRUE(
        test::waitUntil([&] { return test::realGeometry(*window) == window->geometry(); }, 5s));

    // A marker of known colour in the middle of the capture area, wherever the compositor put
    // the recorder window; something blinking in a corner keeps the desktop busy.
    const QRect capture = controller->captureRegion();
    const QRect marker(capture.center() - QPoint(30, 20), QSize(60, 40));
    ForeignWindow markerWindow(QColor(255, 0, 255));
    markerWindow.setGeometry(marker);
    markerWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&markerWindow));
    int blinks = 0;
    test::PaintedWindow blinker([&](QPainter& painter, const QRect& rect) {
        painter.fillRect(rect, blinks % 2 ? Qt::white : Qt::black);
    });
    blinker.setGeometry(2, 2, 8, 8);
    blinker.show();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++blinks;
        blinker.update();
    });
    ticker.start(20);

    state.toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state.isRecording(); }, 30s))
        << alerts->shown.join(" | ").toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return state.recorder()->frameStore().count() >= 10; }, 20s));
    state.toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state.editor() != nullptr; }, 30s))
        << alerts->shown.join(" | ").toStdString();
    EXPECT_TRUE(alerts->shown.isEmpty()) << alerts->shown.join(" | ").toStdString();

    const FrameList frames = state.editor()->state()->frames();
    ASSERT_GE(frames.size(), 5);
    // The marker, and only the marker, in its colour, where it lies in the capture area. (The
    // rest is the desktop, behind the capture area the recorder window keeps clear; under sway
    // the window may show its idle tint there, one level of blue, which is not checked here.)
    for (const EditorFrame& frame : frames) {
        const QImage image = frame.image.qimage();
        ASSERT_EQ(image.size(), capture.size());
        int wrong = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const bool inMarker = marker.contains(capture.topLeft() + QPoint(x, y));
                wrong += inMarker != (QColor(image.pixel(x, y)) == QColor(255, 0, 255));
            }
        }
        EXPECT_EQ(wrong, 0);
    }
    state.editor()->window()->close();
}

}  // namespace
}  // namespace mirelo
