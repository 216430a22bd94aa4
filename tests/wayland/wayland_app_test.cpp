// The application on a Wayland desktop, end to end: the session picks the portal backend, the
// recorder window records the region under it wherever the compositor put it, and the editor
// opens with those frames. Each frame is compared with a screenshot of the same place taken by
// the compositor during the recording: at scales 1, 1.5 and 2, after the frame was dragged by
// its toolbar, and on the second of two monitors. The cases of one group share one session.
#include "WaylandTestSupport.h"
#include "app/Alerts.h"
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "platform/CaptureBackendChoice.h"
#include "support/EditorClosing.h"
#include "support/TestImages.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderHeader.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

class RecordingAlerts : public AlertPresenter {
public:
    QStringList shown;
    QStringList notices;
    Response showRecordingError(const QString& description, bool) override {
        shown << description;
        return Response::ok;
    }
    bool confirmPartialRecording(const QString& text) override {
        notices << text;
        return true;
    }
};

// A window the recorder does not own: a bare window rather than one of the application's
// widgets, which it moves out of the captured rectangle while recording. It stands for
// another program's window, painted with cells of colours that differ from cell to cell, so
// that a region one pixel off shows.
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

// The session of one group: the application with its recorder window, placed by the
// compositor, and something blinking in a corner to keep the desktop busy.
class WaylandApp : public ::testing::Test {
protected:
    void SetUp() override {
        const CaptureBackendChoice choice = chooseCaptureBackend(0, nullptr);
        ASSERT_EQ(choice.kind, CaptureBackendKind::portal);
        AppServices services;
        services.recorder = std::make_unique<ScreenRecorder>(makeCaptureBackend(choice.kind));
        services.alerts = alerts;
        state = std::make_unique<AppState>(std::move(services));
        state->setCountdownSeconds(0);
        state->setShowsCursor(false);
        state->setFps(10);
        controller = state->recorderWindowController();
        window = controller->window();
        ASSERT_TRUE(test::waitUntil([&] { return window->isVisible(); }, 5s));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        ASSERT_TRUE(settled());

        blinker = std::make_unique<test::PaintedWindow>([this](QPainter& painter, const QRect& r) {
            painter.fillRect(r, blinks % 2 ? Qt::white : Qt::black);
        });
        blinker->setGeometry(2, 2, 8, 8);
        blinker->show();
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            ++blinks;
            blinker->update();
        });
        ticker.start(50);
    }

    void TearDown() override {
        if (state && state->editor()) {
            test::closeDiscarding(state->editor());
        }
    }

    // Waits until the compositor has placed the window and Qt knows where.
    bool settled() {
        return test::waitUntil(
            [&] {
                const QRect real = test::realGeometry(*window);
                return !real.isEmpty() && real == window->geometry();
            },
            5s);
    }

    // The recorded rectangle as the window really lies: inside the outline, below the
    // header.
    QRect expectedRegion() const {
        return test::realGeometry(*window).adjusted(
            recorder::kOutlineWidth, recorder::kHeaderHeight, -recorder::kOutlineWidth,
            -recorder::kOutlineWidth);
    }

    // Puts the pattern under the frame, a little inside it, so that the frame's edges show the
    // desktop and the pattern's edge shows any shift.
    void coverRegion(const QRect& region) {
        pattern.setGeometry(region.adjusted(7, 5, -9, -11));
        pattern.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&pattern));
        ASSERT_TRUE(test::waitUntil(
            [&] { return test::realGeometry(pattern) == region.adjusted(7, 5, -9, -11); }, 5s));
        test::spinFor(200ms);
    }

    // Records about a second; returns the frames and a screenshot of `output` (when named)
    // taken midway.
    FrameList record(const QString& output, QImage* screenshot) {
        state->toggleRecording();
        EXPECT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 30s))
            << alerts->shown.join(" | ").toStdString();
        if (!state->isRecording()) {
            return {};
        }
        EXPECT_TRUE(
            test::waitUntil([&] { return state->recorder()->frameStore().count() >= 5; }, 20s));
        if (!output.isEmpty()) {
            *screenshot = test::screenshotOfOutput(output);
        }
        EXPECT_TRUE(
            test::waitUntil([&] { return state->recorder()->frameStore().count() >= 10; }, 20s));
        bool opened = false;
        const QMetaObject::Connection connection =
            QObject::connect(state.get(), &AppState::editorOpened, [&opened] { opened = true; });
        state->toggleRecording();
        EXPECT_TRUE(test::waitUntil([&] { return opened; }, 30s))
            << alerts->shown.join(" | ").toStdString();
        QObject::disconnect(connection);
        if (!opened || !state->editor()) {
            return {};
        }
        FrameList frames = state->editor()->state()->frames();
        test::closeDiscarding(state->editor());
        EXPECT_TRUE(test::waitUntil([&] { return window->isVisible(); }, 5s));
        return frames;
    }

    // Every frame shows what the screenshot shows at `region` (points of the output at
    // `origin`, shown at `scale`); parts of the region beyond the output are black.
    void expectFramesShow(const FrameList& frames, const QImage& screenshot, const QRect& region,
                          const QPoint& origin, double scale) {
        ASSERT_FALSE(screenshot.isNull());
        ASSERT_GE(frames.size(), 5);
        const QSize pixels(static_cast<int>(std::floor(region.width() * scale + 1e-6)),
                           static_cast<int>(std::floor(region.height() * scale + 1e-6)));
        const QPoint start(static_cast<int>(std::ceil((region.x() - origin.x()) * scale - 1e-6)),
                           static_cast<int>(std::ceil((region.y() - origin.y()) * scale - 1e-6)));
        for (const EditorFrame& frame : frames) {
            const QImage image = frame.image.qimage().convertToFormat(QImage::Format_RGB32);
            ASSERT_LE(std::abs(image.width() - pixels.width()), 1);
            ASSERT_LE(std::abs(image.height() - pixels.height()), 1);
            int wrong = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QPoint at = start + QPoint(x, y);
                    const QRgb want =
                        screenshot.rect().contains(at) ? screenshot.pixel(at) : qRgb(0, 0, 0);
                    wrong += (image.pixel(x, y) & 0xffffff) != (want & 0xffffff);
                }
            }
            EXPECT_EQ(wrong, 0) << "of " << image.width() << "x" << image.height();
        }
    }

    // Presses the mouse on the toolbar's free space and drags it by `by` with a pointer of
    // the compositor's, as a user would.
    void dragToolbar(const QPoint& by) {
        test::VirtualPointer pointer;
        ASSERT_TRUE(pointer.ok()) << "the compositor offers no virtual pointer";
        const QSize layout = QGuiApplication::primaryScreen()->virtualSize();
        const QRect real = test::realGeometry(*window);
        const QPoint from = real.topLeft() + QPoint(real.width() / 2 - 40, 20);
        pointer.moveTo(from.x(), from.y(), layout.width(), layout.height());
        test::spinFor(200ms);
        pointer.pressLeft(true);
        test::spinFor(300ms);
        for (int step = 1; step <= 10; ++step) {
            const QPoint at = from + by * step / 10;
            pointer.moveTo(at.x(), at.y(), layout.width(), layout.height());
            test::spinFor(50ms);
        }
        test::spinFor(200ms);
        pointer.pressLeft(false);
        test::spinFor(200ms);
    }

    // Sets the output's mode and scale so that it stays 1280 x 720 points.
    bool setScale(const QString& output, double scale) {
        const QString mode =
            QStringLiteral("%1x%2").arg(std::lround(1280 * scale)).arg(std::lround(720 * scale));
        return test::swaymsg({QStringLiteral("output"), output, QStringLiteral("mode"), mode,
                              QStringLiteral("scale"), QString::number(scale)});
    }

    std::shared_ptr<RecordingAlerts> alerts = std::make_shared<RecordingAlerts>();
    std::unique_ptr<AppState> state;
    RecorderWindowController* controller = nullptr;
    RecorderWindow* window = nullptr;
    PatternWindow pattern;
    std::unique_ptr<test::PaintedWindow> blinker;
    QTimer ticker;
    int blinks = 0;
};

TEST_F(WaylandApp, RecordsExactlyTheFrameAtEveryScaleAndAfterADrag) {
    const QString output = QStringLiteral("HEADLESS-1");
    for (double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        ASSERT_TRUE(setScale(output, scale));
        test::spinFor(500ms);
        ASSERT_TRUE(settled());
        const QRect before = test::realGeometry(*window);
        const QRect region = expectedRegion();
        coverRegion(region);
        QImage screenshot;
        const FrameList frames = record(output, &screenshot);
        EXPECT_TRUE(alerts->shown.isEmpty()) << alerts->shown.join(" | ").toStdString();
        // Neither entering the recording form nor leaving it moved or resized the window.
        EXPECT_EQ(test::realGeometry(*window), before);
        expectFramesShow(frames, screenshot, region, QPoint(0, 0), scale);
        // The size label says what was recorded.
        if (!frames.isEmpty()) {
            EXPECT_EQ(window->header()->sizeButton()->text(),
                      QStringLiteral("%1 × %2")
                          .arg(frames.front().image.width())
                          .arg(frames.front().image.height()));
        }
    }

    // Dragged by its toolbar, the frame follows the pointer, and the recording follows it.
    ASSERT_TRUE(setScale(output, 1.0));
    test::spinFor(500ms);
    ASSERT_TRUE(settled());
    const QRect before = test::realGeometry(*window);
    dragToolbar(QPoint(-90, -40));
    ASSERT_TRUE(test::waitUntil(
        [&] {
            return test::realGeometry(*window).topLeft() == before.topLeft() + QPoint(-90, -40);
        },
        5s))
        << "the frame stayed at " << test::realGeometry(*window).x() << ","
        << test::realGeometry(*window).y();
    ASSERT_TRUE(settled());
    const QRect region = expectedRegion();
    coverRegion(region);
    QImage screenshot;
    const FrameList frames = record(output, &screenshot);
    expectFramesShow(frames, screenshot, region, QPoint(0, 0), 1.0);
}

TEST_F(WaylandApp, RecordsOnlyTheMonitorUnderTheFrame) {
    // A second monitor of another size right of the first; the portal cannot say where it
    // lies (it answers the origin).
    ASSERT_TRUE(test::swaymsg({QStringLiteral("create_output")}));
    ASSERT_TRUE(test::swaymsg({QStringLiteral("output"), QStringLiteral("HEADLESS-2"),
                               QStringLiteral("mode"), QStringLiteral("1024x768"),
                               QStringLiteral("position"), QStringLiteral("1280"),
                               QStringLiteral("0"), QStringLiteral("bg"), QStringLiteral("#669933"),
                               QStringLiteral("solid_color")}));
    ASSERT_TRUE(test::waitUntil([] { return QGuiApplication::screens().size() == 2; }, 10s));
    // The recorder's list of displays, read at the start, learns of the new one.
    state->recorder()->prewarmShareableContent();
    ASSERT_TRUE(test::waitUntil(
        [&] {
            const auto& displays = state->recorder()->cachedDisplays();
            return displays && displays->size() == 2;
        },
        10s));
    test::setChooserOutput(QStringLiteral("HEADLESS-2"));
    // Moves the recorder window through the compositor, once it manages the window again
    // (it is shown anew after each recording).
    auto place = [&](const QPoint& at) {
        const QStringList move = {
            QStringLiteral("[pid=%1]").arg(QCoreApplication::applicationPid()),
            QStringLiteral("move"),
            QStringLiteral("absolute"),
            QStringLiteral("position"),
            QString::number(at.x()),
            QString::number(at.y())};
        ASSERT_TRUE(test::waitUntil([&] { return test::swaymsg(move); }, 5s));
        ASSERT_TRUE(
            test::waitUntil([&] { return test::realGeometry(*window).topLeft() == at; }, 5s));
        ASSERT_TRUE(settled());
    };
    const QPoint origin(1280, 0);

    // Wholly on the second monitor.
    place(QPoint(1300, 90));
    QRect region = expectedRegion();
    coverRegion(region);
    QImage screenshot;
    FrameList frames = record(QStringLiteral("HEADLESS-2"), &screenshot);
    EXPECT_TRUE(alerts->shown.isEmpty()) << alerts->shown.join(" | ").toStdString();
    EXPECT_TRUE(alerts->notices.isEmpty());
    expectFramesShow(frames, screenshot, region, origin, 1.0);

    // Across the edge, its centre on the second: said before the start; the part on the
    // second monitor is recorded, and black where the first would show.
    place(QPoint(1000, 90));
    region = expectedRegion();
    coverRegion(region);
    frames = record(QStringLiteral("HEADLESS-2"), &screenshot);
    EXPECT_EQ(alerts->notices.size(), 1);
    EXPECT_TRUE(alerts->shown.isEmpty()) << alerts->shown.join(" | ").toStdString();
    expectFramesShow(frames, screenshot, region, origin, 1.0);

    // The first monitor shared while the frame lies on the second: refused with the alert,
    // nothing recorded.
    place(QPoint(1300, 90));
    test::setChooserOutput(QStringLiteral("HEADLESS-1"));
    QSettings(QStringLiteral("Mirelo"), QStringLiteral("Mirelo"))
        .remove(QStringLiteral("capture/screenCastRestoreToken"));
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil(
        [&] { return !state->isStartingRecording() && !alerts->shown.isEmpty(); }, 30s));
    EXPECT_FALSE(state->isRecording());
    EXPECT_EQ(alerts->shown.size(), 1);
    EXPECT_EQ(state->editor(), nullptr);
}

// The colour of the pattern's cell at `at` (points from the pattern's corner).
QColor patternColour(const QPoint& at) {
    const int x = at.x() / 5 * 5;
    const int y = at.y() / 3 * 3;
    return QColor((x * 7) % 256, (y * 5) % 256, (x + y) % 256);
}

bool near(QRgb got, const QColor& want, int levels) {
    return std::abs(qRed(got) - want.red()) <= levels &&
           std::abs(qGreen(got) - want.green()) <= levels &&
           std::abs(qBlue(got) - want.blue()) <= levels;
}

// Every frame shows the pattern where it lies in `region` and the plain desktop around it, at
// `density` pixels per point, from the stream's first pixel inside the region on. Each pixel
// is judged by the point at its centre; at a density other than 1 the compositor scales the
// XWayland windows' pixels, so pixels within a point of a cell's edge or of the region's
// edge (where the recorder window's outline lies) may blend two colours and are not judged.
void expectPatternIn(const FrameList& frames, const QRect& region, const QRect& patternRect,
                     double density) {
    ASSERT_GE(frames.size(), 5);
    const QSize pixels(static_cast<int>(std::floor(region.width() * density + 1e-6)),
                       static_cast<int>(std::floor(region.height() * density + 1e-6)));
    const QPoint start(static_cast<int>(std::ceil(region.x() * density - 1e-6)),
                       static_cast<int>(std::ceil(region.y() * density - 1e-6)));
    const QRectF innerRegion = QRectF(region).adjusted(1, 1, -1, -1);
    const bool exact = density == 1.0;
    for (const EditorFrame& frame : frames) {
        const QImage image = frame.image.qimage().convertToFormat(QImage::Format_RGB32);
        ASSERT_LE(std::abs(image.width() - pixels.width()), 1) << image.width();
        ASSERT_LE(std::abs(image.height() - pixels.height()), 1) << image.height();
        int wrong = 0;
        int judged = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QPointF point((start.x() + x + 0.5) / density,
                                    (start.y() + y + 0.5) / density);
                const QPoint at(static_cast<int>(std::floor(point.x())),
                                static_cast<int>(std::floor(point.y())));
                const QPoint inPattern = at - patternRect.topLeft();
                const QRgb got = image.pixel(x, y);
                if (exact) {
                    // The pattern exactly; the desktop around it within a level or two,
                    // since a compositor may blend the recorder window's idle tint over it.
                    if (patternRect.contains(at)) {
                        wrong += (got & 0xffffff) != (patternColour(inPattern).rgb() & 0xffffff);
                    } else {
                        wrong += !near(got, test::sessionBackground(), 2);
                    }
                    ++judged;
                    continue;
                }
                const QRectF cell =
                    patternRect.contains(at)
                        ? QRectF(patternRect.topLeft() +
                                     QPoint(inPattern.x() / 5 * 5, inPattern.y() / 3 * 3),
                                 QSizeF(5, 3)) &
                              QRectF(patternRect)
                        : QRectF();
                const QRectF inner = cell.adjusted(1, 1, -1, -1);
                const QRectF outer = QRectF(patternRect).adjusted(-1, -1, 1, 1);
                if (patternRect.contains(at) && inner.contains(point)) {
                    wrong += !near(got, patternColour(inPattern), 3);
                    ++judged;
                } else if (!outer.contains(point) && innerRegion.contains(point)) {
                    wrong += !near(got, test::sessionBackground(), 3);
                    ++judged;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << "of " << judged << " judged in " << image.width() << "x"
                            << image.height();
    }
}

// On any desktop, without a screenshot of the compositor's: the frames show the pattern where
// it lies under the frame and the plain desktop around it, wherever the compositor placed the
// recorder window.
TEST_F(WaylandApp, RecordsThePatternUnderTheFrame) {
    const QRect region = expectedRegion();
    coverRegion(region);
    QImage unused;
    const FrameList frames = record(QString(), &unused);
    EXPECT_TRUE(alerts->shown.isEmpty()) << alerts->shown.join(" | ").toStdString();
    expectPatternIn(frames, region, region.adjusted(7, 5, -9, -11), 1.0);
}

// GNOME's monitor scaled the way its settings do (a session of a 2560 x 1440 monitor): in
// the logical layout the desktop is laid out in points and the stream has `scale` pixels per
// point, fractional scales included; in the physical layout XWayland has the monitor's pixels
// and the stream one per pixel. The frames show the region under the frame at the stream's
// density.
TEST_F(WaylandApp, RecordsThePatternUnderTheFrameAtGnomesScales) {
    struct Case {
        double scale;
        const char* layout;
    };
    for (const Case& c : {Case{2.0, "logical"}, Case{1.5, "logical"}, Case{2.0, "physical"}}) {
        SCOPED_TRACE(std::string(c.layout) + " " + std::to_string(c.scale));
        const std::optional<double> scale =
            test::setGnomeScale(c.scale, QString::fromLatin1(c.layout));
        ASSERT_TRUE(scale);
        const bool logical = std::string(c.layout) == "logical";
        const QSize points(static_cast<int>(std::lround(2560 / (logical ? *scale : 1.0))),
                           static_cast<int>(std::lround(1440 / (logical ? *scale : 1.0))));
        ASSERT_TRUE(test::waitUntil(
            [&] { return QGuiApplication::primaryScreen()->geometry().size() == points; }, 10s))
            << QGuiApplication::primaryScreen()->geometry().width();
        test::spinFor(500ms);
        ASSERT_TRUE(settled());
        const QRect region = expectedRegion();
        coverRegion(region);
        QImage unused;
        const FrameList frames = record(QString(), &unused);
        EXPECT_TRUE(alerts->shown.isEmpty()) << alerts->shown.join(" | ").toStdString();
        expectPatternIn(frames, region, region.adjusted(7, 5, -9, -11), logical ? *scale : 1.0);
    }
}

}  // namespace
}  // namespace mirelo
