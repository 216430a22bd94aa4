// The portal capture backend on a headless Wayland desktop: pixels of known windows, frames on
// the schedule of a clock the test moves for still and animated screens, the pointer drawn in
// or not as chosen and its position where the portal reports it, the kept choice of monitor,
// and the portal backend or PipeWire going away mid-recording.
#include "WaylandTestSupport.h"
#include "capture/ScreenRecorder.h"
#include "i18n/ModelTexts.h"
#include "platform/wayland/PortalCaptureBackend.h"
#include "support/CaptureCollector.h"
#include "support/ManualPacingClock.h"
#include "support/TestImages.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

using test::PaintedWindow;

const QString kTokenKey = QStringLiteral("capture/screenCastRestoreToken");

QString keptToken() {
    return QSettings(QStringLiteral("Mirelo"), QStringLiteral("Mirelo"))
        .value(kTokenKey)
        .toString();
}

void keepToken(const QString& token) {
    QSettings settings(QStringLiteral("Mirelo"), QStringLiteral("Mirelo"));
    if (token.isEmpty()) {
        settings.remove(kTokenKey);
    } else {
        settings.setValue(kTokenKey, token);
    }
}

// A quarter of the window in each of four colours.
void paintQuadrants(QPainter& painter, const QRect& rect) {
    const int w = rect.width() / 2;
    const int h = rect.height() / 2;
    painter.fillRect(0, 0, w, h, QColor(255, 0, 0));
    painter.fillRect(w, 0, rect.width() - w, h, QColor(0, 255, 0));
    painter.fillRect(0, h, w, rect.height() - h, QColor(0, 0, 255));
    painter.fillRect(w, h, rect.width() - w, rect.height() - h, QColor(255, 255, 255));
}

QColor quadrantColour(const QPoint& at, const QSize& size) {
    const bool right = at.x() >= size.width() / 2;
    const bool bottom = at.y() >= size.height() / 2;
    if (!bottom) {
        return right ? QColor(0, 255, 0) : QColor(255, 0, 0);
    }
    return right ? QColor(255, 255, 255) : QColor(0, 0, 255);
}

// One method call on the session bus, waited for. Plain messages rather than QDBusInterface,
// whose introspection Qt caches for good (the leak checker counts it).
QDBusMessage callBus(const QString& service, const QString& path, const QString& interface,
                     const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

// A property's value over the bus, or an invalid variant.
QVariant busProperty(const QString& service, const QString& path, const QString& interface,
                     const QString& name) {
    const QDBusReply<QDBusVariant> reply =
        callBus(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("Get"), {interface, name});
    return reply.isValid() ? reply.value().variant() : QVariant();
}

// A pointer of the test's own in GNOME Shell, placed through the compositor's remote-desktop
// interface (its session lasts as long as this connection). Absolute places are given on a
// monitor stream of a screen cast that belongs to the session: the primary monitor's, whose
// points are the layout's here.
class MutterPointer {
public:
    MutterPointer() {
        const QDBusReply<QDBusObjectPath> session = callBus(
            kDesktop, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
            QStringLiteral("org.gnome.Mutter.RemoteDesktop"), QStringLiteral("CreateSession"));
        if (!session.isValid()) {
            m_error = session.error().message();
            return;
        }
        m_session = session.value().path();
        const QString id =
            busProperty(kDesktop, m_session, kSessionInterface, QStringLiteral("SessionId"))
                .toString();
        const QDBusReply<QDBusObjectPath> castSession =
            callBus(kCast, QStringLiteral("/org/gnome/Mutter/ScreenCast"),
                    QStringLiteral("org.gnome.Mutter.ScreenCast"), QStringLiteral("CreateSession"),
                    {QVariantMap{{QStringLiteral("remote-desktop-session-id"), id}}});
        if (!castSession.isValid()) {
            m_error = castSession.error().message();
            return;
        }
        const QDBusReply<QDBusObjectPath> stream =
            callBus(kCast, castSession.value().path(),
                    QStringLiteral("org.gnome.Mutter.ScreenCast.Session"),
                    QStringLiteral("RecordMonitor"), {QString(), QVariantMap()});
        if (!stream.isValid()) {
            m_error = stream.error().message();
            return;
        }
        m_stream = stream.value().path();
        const QDBusMessage started = sessionCall(QStringLiteral("Start"));
        if (started.type() == QDBusMessage::ErrorMessage) {
            m_error = started.errorMessage();
        }
    }
    ~MutterPointer() {
        if (!m_session.isEmpty()) {
            sessionCall(QStringLiteral("Stop"));
        }
    }

    const QString& error() const { return m_error; }

    bool moveTo(const QPoint& to) {
        return !m_session.isEmpty() && m_error.isEmpty() &&
               sessionCall(QStringLiteral("NotifyPointerMotionAbsolute"),
                           {m_stream, double(to.x()), double(to.y())})
                       .type() != QDBusMessage::ErrorMessage;
    }

private:
    QDBusMessage sessionCall(const QString& method, const QVariantList& arguments = {}) {
        return callBus(kDesktop, m_session, kSessionInterface, method, arguments);
    }

    static inline const QString kDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
    static inline const QString kCast = QStringLiteral("org.gnome.Mutter.ScreenCast");
    static inline const QString kSessionInterface =
        QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
    QString m_session;
    QString m_stream;
    QString m_error;
};

// The portal's AvailableCursorModes.
uint32_t portalCursorModes() {
    return busProperty(QStringLiteral("org.freedesktop.portal.Desktop"),
                       QStringLiteral("/org/freedesktop/portal/desktop"),
                       QStringLiteral("org.freedesktop.portal.ScreenCast"),
                       QStringLiteral("AvailableCursorModes"))
        .toUInt();
}

class PortalCapture : public ::testing::Test {
protected:
    std::unique_ptr<ScreenRecorder> recorder =
        std::make_unique<ScreenRecorder>(makePortalCaptureBackend());

    std::unique_ptr<PaintedWindow> showWindow(const QRect& rect,
                                              std::function<void(QPainter&, const QRect&)> paint) {
        auto window = std::make_unique<PaintedWindow>(std::move(paint));
        window->setGeometry(rect);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        EXPECT_TRUE(test::waitUntil([&] { return test::realGeometry(*window) == rect; }, 3s));
        return window;
    }

    // Something that changes on screen all the time, as on a desktop in use, in the corner
    // farthest from the regions recorded here (what the compositor reports changed around it
    // stays apart from them): a compositor may send a new stream its first picture only at the
    // next change.
    void keepScreenBusy() {
        m_blinker =
            showWindow(QRect(1264, 704, 12, 12), [this](QPainter& painter, const QRect& rect) {
                painter.fillRect(rect, m_blinks % 2 ? Qt::white : Qt::black);
            });
        QObject::connect(&m_blinkTimer, &QTimer::timeout, [this] {
            ++m_blinks;
            m_blinker->update();
        });
        m_blinkTimer.start(20);
    }

    std::optional<RecorderError> start(const QRect& region, double fps, bool showsCursor = false) {
        bool done = false;
        std::optional<RecorderError> result;
        recorder->start(QRectF(region), fps, showsCursor, [&](std::optional<RecorderError> error) {
            result = error;
            done = true;
        });
        EXPECT_TRUE(test::waitUntil([&] { return done; }, 30s));
        return done ? result : RecorderError::platform(QStringLiteral("start did not finish"));
    }

    std::vector<FrameStore::Frame> stop() {
        bool done = false;
        std::vector<FrameStore::Frame> result;
        recorder->stop([&](std::vector<FrameStore::Frame> frames, std::optional<RecorderError> e) {
            EXPECT_FALSE(e) << i18n::describe(*e).toStdString();
            result = std::move(frames);
            done = true;
        });
        EXPECT_TRUE(test::waitUntil([&] { return done; }, 30s));
        return result;
    }

    bool waitForFrames(size_t count) {
        return test::waitUntil([&] { return recorder->frameStore().count() >= count; }, 20s);
    }

    // A recording of `region` at `fps` until `count` frames are there.
    std::vector<FrameStore::Frame> record(const QRect& region, double fps, size_t count,
                                          bool showsCursor = false) {
        const std::optional<RecorderError> error = start(region, fps, showsCursor);
        EXPECT_FALSE(error) << i18n::describe(*error).toStdString();
        if (error) {
            return {};
        }
        EXPECT_TRUE(waitForFrames(count));
        return stop();
    }

    std::unique_ptr<PaintedWindow> m_blinker;
    QTimer m_blinkTimer;
    int m_blinks = 0;
};

TEST_F(PortalCapture, KnownColoursArriveAtTheirPlace) {
    keepScreenBusy();
    const QRect place(203, 151, 400, 300);
    auto window = showWindow(place, paintQuadrants);
    // The region reaches past the window on every side, by odd amounts.
    const QRect region = place.adjusted(-37, -21, 45, 29);
    // On the steady clock: only what real time cannot make flaky. Frames come, each later than
    // the one before, and the still region repeats its picture.
    const std::vector<FrameStore::Frame> frames = record(region, 10, 4);
    ASSERT_GE(frames.size(), 4u);
    for (size_t i = 1; i < frames.size(); ++i) {
        EXPECT_GT(frames[i].timestamp.value, frames[i - 1].timestamp.value) << i;
    }
    EXPECT_EQ(frames.back().image.qimage(), frames[frames.size() - 2].image.qimage());
    const QImage image = frames.back().image.qimage();
    ASSERT_EQ(image.size(), region.size());
    int wrong = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QPoint global = region.topLeft() + QPoint(x, y);
            const QColor expected = place.contains(global)
                                        ? quadrantColour(global - place.topLeft(), place.size())
                                        : test::sessionBackground();
            wrong += QColor(image.pixel(x, y)) != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

// With keys and clicks kept, the pointer's position comes with the frames where the portal
// reports the pointer beside the pictures, and the pointer is drawn into them; where it
// offers only a pointer drawn by the compositor, recording goes on as before, without it.
TEST_F(PortalCapture, ThePointerComesWithTheFramesWhereThePortalReportsIt) {
    keepScreenBusy();
    const QRect region(200, 150, 400, 300);
    auto window = showWindow(
        region, [](QPainter& painter, const QRect& rect) { painter.fillRect(rect, Qt::green); });
    recorder->setInputCapture(InputCapture::shortcuts);
    const bool reported = (portalCursorModes() & 4u) != 0;
    const bool gnome = qgetenv("MIRELO_SESSION_DESKTOP") == "gnome";
    if (!gnome) {
        // The wlroots portal backend offers the pointer hidden or drawn in, nothing more.
        EXPECT_FALSE(reported);
        ASSERT_FALSE(start(region, 10, true));
        EXPECT_TRUE(waitForFrames(3));
        stop();
        for (const InputEvent& event : recorder->lastInputEvents()) {
            EXPECT_NE(event.kind, InputEvent::Kind::pointerMove);
        }
        return;
    }
    ASSERT_TRUE(reported);
    MutterPointer pointer;
    ASSERT_TRUE(pointer.error().isEmpty()) << pointer.error().toStdString();
    ASSERT_TRUE(pointer.moveTo(QPoint(300, 200)));

    ASSERT_FALSE(start(region, 10, true));
    ASSERT_TRUE(waitForFrames(4));
    const size_t before = recorder->frameStore().count();
    ASSERT_TRUE(pointer.moveTo(QPoint(450, 330)));
    ASSERT_TRUE(waitForFrames(before + 6));
    const std::vector<FrameStore::Frame> frames = stop();
    ASSERT_GE(frames.size(), before + 6);

    // Where the pointer was on each frame: the last position at or before it.
    std::vector<InputEvent> moves;
    for (const InputEvent& event : recorder->lastInputEvents()) {
        if (event.kind == InputEvent::Kind::pointerMove) {
            moves.push_back(event);
        }
    }
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.front().position, QPoint(100, 50));
    EXPECT_EQ(moves.back().position, QPoint(250, 180));
    const double first = frames.front().timestamp.seconds();
    auto pointerOn = [&](const FrameStore::Frame& frame) {
        std::optional<QPoint> at;
        for (const InputEvent& move : moves) {
            if (move.seconds <= frame.timestamp.seconds() - first + 1e-6) {
                at = move.position;
            }
        }
        return at;
    };
    EXPECT_EQ(pointerOn(frames.front()), QPoint(100, 50));
    EXPECT_EQ(pointerOn(frames.back()), QPoint(250, 180));
    // Drawn into the frames at its place (the pointer's picture is not all green), and not
    // where it was before.
    auto greenAround = [](const QImage& image, const QPoint& at) {
        int green = 0;
        for (int y = at.y(); y < at.y() + 8; ++y) {
            for (int x = at.x(); x < at.x() + 8; ++x) {
                green += QColor(image.pixel(x, y)) == QColor(Qt::green);
            }
        }
        return green;
    };
    const QImage last = frames.back().image.qimage();
    EXPECT_LT(greenAround(last, QPoint(250, 180)), 60);
    EXPECT_EQ(greenAround(last, QPoint(100, 50)), 64);
    EXPECT_LT(greenAround(frames.front().image.qimage(), QPoint(100, 50)), 60);
}

// On a clock the test moves, through the backend itself: one frame at every tick, stamped with
// its time; a still screen repeats its picture, and each step of an animation shows whole in a
// frame. Every frame is a known picture.
TEST_F(PortalCapture, StillAndAnimatedScreensComeOnTheClocksSchedule) {
    using test::ManualPacingClock;
    keepScreenBusy();
    const QRect region(100, 100, 640, 400);
    // A yellow bar on black that moves on every step, its places apart.
    int phase = 0;
    const QRect barArea(200, 380, 300, 60);
    auto barPlace = [&](int step) { return (step * 37) % (barArea.width() - 20); };
    auto paintBar = [&](QPainter& painter, const QRect& rect, int step) {
        painter.fillRect(rect, Qt::black);
        painter.fillRect(rect.x() + barPlace(step), rect.y(), 20, rect.height(), Qt::yellow);
    };
    auto animated = showWindow(
        barArea, [&](QPainter& painter, const QRect& rect) { paintBar(painter, rect, phase); });
    const QRect markerArea(region.topLeft() + QPoint(20, 20), QSize(40, 40));
    // The region as it should look with the marker, in the frames' format.
    auto expected = [&](int step, QImage::Format format) {
        QImage image(region.size(), QImage::Format_RGB32);
        image.fill(test::sessionBackground());
        QPainter painter(&image);
        paintBar(painter, barArea.translated(-region.topLeft()), step);
        painter.fillRect(markerArea.translated(-region.topLeft()), Qt::green);
        painter.end();
        return image.convertToFormat(format);
    };

    for (double fps : {10.0, 30.0}) {
        SCOPED_TRACE(fps);
        phase = 0;
        animated->update();
        auto clock = std::make_shared<ManualPacingClock>();
        PortalCaptureOptions options;
        options.clock = clock;
        auto backend = makePortalCaptureBackend(options);
        CaptureConfiguration configuration;
        configuration.sourcePixels = region;
        configuration.sourceRect = QRectF(region);
        configuration.outputSize = region.size();
        configuration.minimumFrameInterval =
            MediaTime{1, static_cast<int32_t>(fps), MediaTime::Valid};
        configuration.showsCursor = false;
        const auto period = captureclock::period(configuration.minimumFrameInterval);
        test::CaptureCollector collector;
        ASSERT_EQ(backend->startStream(configuration, collector.sink()), std::nullopt);
        // The first frame (when a picture is there) is due at once, the next a period later.
        ASSERT_EQ(clock->waitForSleeper(), ManualPacingClock::kStart + period);
        int ticks = 0;
        auto tick = [&] {
            const auto due = clock->now() + period;
            clock->advance(period);
            ++ticks;
            return clock->waitForSleeper() == due + period;
        };
        auto newest = [&] {
            const std::vector<FrameStore::Frame> frames = collector.taken();
            return frames.empty() ? QImage() : frames.back().image.qimage();
        };
        // Ticks, with the event loop running in between, until the newest frame is `picture`:
        // the compositor's pictures come in their own time.
        auto tickUntil = [&](const std::function<QImage(QImage::Format)>& picture) {
            return test::waitUntil(
                [&] {
                    test::spinFor(10ms);
                    if (!tick()) {
                        return false;
                    }
                    const QImage frame = newest();
                    return !frame.isNull() && frame == picture(frame.format());
                },
                10s);
        };

        // Still: the marker appears once, after the start; then the same picture at every
        // tick.
        auto marker = showWindow(markerArea, [](QPainter& painter, const QRect& rect) {
            painter.fillRect(rect, Qt::green);
        });
        ASSERT_TRUE(tickUntil([&](QImage::Format f) { return expected(0, f); }));
        const size_t stillFrom = collector.taken().size() - 1;
        for (int i = 0; i < 5; ++i) {
            test::spinFor(20ms);
            ASSERT_TRUE(tick());
        }
        // Animated: each step shows whole; the frames between show the step before.
        const size_t stepsFrom = collector.taken().size();
        for (int step = 1; step <= 4; ++step) {
            phase = step;
            animated->update();
            ASSERT_TRUE(tickUntil([&](QImage::Format f) { return expected(step, f); })) << step;
        }
        EXPECT_EQ(backend->stopStream(), std::nullopt);

        const std::vector<FrameStore::Frame> frames = collector.taken();
        // One frame at every tick since the first picture, on the grid, the last at the
        // clock's time.
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back().timestamp, captureclock::mediaTime(clock->now()));
        for (size_t i = 1; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].timestamp.value - frames[i - 1].timestamp.value,
                      std::chrono::nanoseconds(period).count())
                << i;
        }
        const size_t firstTick =
            static_cast<size_t>((frames.front().timestamp.value -
                                 captureclock::mediaTime(ManualPacingClock::kStart).value) /
                                std::chrono::nanoseconds(period).count());
        EXPECT_EQ(firstTick + frames.size() - 1, static_cast<size_t>(ticks));
        const QImage::Format format = frames.back().image.qimage().format();
        for (size_t i = stillFrom; i < stepsFrom; ++i) {
            EXPECT_EQ(frames[i].image.qimage(), expected(0, format)) << i;
        }
        int step = 0;
        for (size_t i = stepsFrom; i < frames.size(); ++i) {
            const QImage image = frames[i].image.qimage();
            step += image != expected(step, format);
            EXPECT_EQ(image, expected(step, format)) << i;
        }
        EXPECT_EQ(step, 4);
        marker.reset();
    }
}

// The pointer rests over a grey window: with the pointer chosen, the frames show it near
// where it is and nowhere else; without, they show the window alone. Both ways, twice in a
// row, since the kept choice must not keep the pointer's mode too.
TEST_F(PortalCapture, ThePointerIsRecordedOnlyWhenChosen) {
    keepScreenBusy();
    const QColor grey(128, 128, 128);
    const QRect place(200, 150, 240, 180);
    auto window = showWindow(
        place, [&](QPainter& painter, const QRect& rect) { painter.fillRect(rect, grey); });
    window->setCursor(Qt::ArrowCursor);
    const QPoint hotSpot = place.center();
    test::DesktopPointer pointer;
    ASSERT_TRUE(pointer.moveTo(hotSpot));
    test::spinFor(300ms);
    for (bool showsCursor : {false, true, false, true}) {
        SCOPED_TRACE(showsCursor);
        const std::vector<FrameStore::Frame> frames = record(place, 10, 4, showsCursor);
        ASSERT_GE(frames.size(), 4u);
        const QImage image = frames.back().image.qimage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), place.size());
        int near = 0;
        int far = 0;
        // Pointer images reach about 64 pixels from their hot spot, in any direction.
        const QRect pointerReach(hotSpot - place.topLeft() - QPoint(64, 64), QSize(129, 129));
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (QColor(image.pixel(x, y)) != grey) {
                    ++(pointerReach.contains(x, y) ? near : far);
                }
            }
        }
        EXPECT_EQ(far, 0);
        if (showsCursor) {
            EXPECT_GE(near, 20);
        } else {
            EXPECT_EQ(near, 0);
        }
    }
}

TEST_F(PortalCapture, TheChoiceIsKeptAndAskedAgainOnlyWhenItCannotBeUsed) {
    const QRect region(300, 200, 320, 240);
    keepScreenBusy();
    keepToken({});
    ASSERT_FALSE(record(region, 10, 2).empty());
    EXPECT_EQ(test::chooserAsked(), 1);
    const QString first = keptToken();
    EXPECT_FALSE(first.isEmpty());

    // The kept choice: no dialog.
    ASSERT_FALSE(record(region, 10, 2).empty());
    EXPECT_EQ(test::chooserAsked(), 1);
    EXPECT_FALSE(keptToken().isEmpty());

    // Tokens the portal does not know or cannot read: the dialog again, and a new token kept.
    int asked = 1;
    for (const QString& stale :
         {QStringLiteral("6f1c1a52-5b0e-4c55-9d1e-2f4a3b2c1d0e"), QStringLiteral("not a token")}) {
        SCOPED_TRACE(stale.toStdString());
        keepToken(stale);
        ASSERT_FALSE(record(region, 10, 2).empty());
        EXPECT_EQ(test::chooserAsked(), ++asked);
        EXPECT_FALSE(keptToken().isEmpty());
        EXPECT_NE(keptToken(), stale);
    }

    // The user cancels the dialog.
    keepToken({});
    test::setChooserRefuses(true);
    const std::optional<RecorderError> refused = start(region, 10);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind, RecorderError::Kind::noPermission);
    EXPECT_FALSE(recorder->isCapturing());
    EXPECT_EQ(test::chooserAsked(), asked + 1);
}

// Kills a part of the session mid-recording: the recording ends with an error, and what was
// recorded before is kept.
void expectEndsAndKeepsFrames(ScreenRecorder& recorder, const char* pidVariable,
                              const std::function<std::vector<FrameStore::Frame>()>& stop) {
    QSignalSpy failed(&recorder, &ScreenRecorder::streamFailed);
    const pid_t pid = static_cast<pid_t>(std::atoi(std::getenv(pidVariable)));
    ASSERT_GT(pid, 0) << pidVariable;
    const size_t before = recorder.frameStore().count();
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(failed.wait(15000));
    const auto error = failed.first().first().value<RecorderError>();
    EXPECT_EQ(error.kind, RecorderError::Kind::platform);
    EXPECT_FALSE(i18n::describe(error).isEmpty());
    const std::vector<FrameStore::Frame> frames = stop();
    EXPECT_GE(frames.size(), before);
    EXPECT_GE(frames.size(), 3u);
}

TEST_F(PortalCapture, PortalBackendGoingAwayEndsTheStreamAndKeepsTheFrames) {
    keepScreenBusy();
    ASSERT_FALSE(start(QRect(100, 100, 400, 300), 10));
    ASSERT_TRUE(waitForFrames(3));
    expectEndsAndKeepsFrames(*recorder, "MIRELO_SESSION_PORTAL_BACKEND_PID",
                             [&] { return stop(); });
}

TEST_F(PortalCapture, PipeWireGoingAwayEndsTheStreamAndKeepsTheFrames) {
    keepScreenBusy();
    ASSERT_FALSE(start(QRect(100, 100, 400, 300), 10));
    ASSERT_TRUE(waitForFrames(3));
    expectEndsAndKeepsFrames(*recorder, "MIRELO_SESSION_PIPEWIRE_PID", [&] { return stop(); });
}

}  // namespace
}  // namespace mirelo
