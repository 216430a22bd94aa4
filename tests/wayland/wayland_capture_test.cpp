// The portal capture backend through ScreenRecorder on a headless Wayland desktop: pixels of
// known windows, pacing on still and animated screens, the kept choice of monitor, and the
// portal backend or PipeWire going away mid-recording.
#include "WaylandTestSupport.h"
#include "capture/ScreenRecorder.h"
#include "platform/wayland/PortalCaptureBackend.h"
#include "support/TestImages.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <set>

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

    // Something that changes on screen all the time, as on a desktop in use, outside the
    // regions recorded here: a compositor may send a new stream its first picture only at the
    // next change.
    void keepScreenBusy() {
        m_blinker = showWindow(QRect(4, 4, 12, 12), [this](QPainter& painter, const QRect& rect) {
            painter.fillRect(rect, m_blinks % 2 ? Qt::white : Qt::black);
        });
        QObject::connect(&m_blinkTimer, &QTimer::timeout, [this] {
            ++m_blinks;
            m_blinker->update();
        });
        m_blinkTimer.start(20);
    }

    std::optional<RecorderError> start(const QRect& region, double fps) {
        bool done = false;
        std::optional<RecorderError> result;
        recorder->start(QRectF(region), fps, false, [&](std::optional<RecorderError> error) {
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
            EXPECT_FALSE(e) << e->description().toStdString();
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
    std::vector<FrameStore::Frame> record(const QRect& region, double fps, size_t count) {
        const std::optional<RecorderError> error = start(region, fps);
        EXPECT_FALSE(error) << error->description().toStdString();
        if (error) {
            return {};
        }
        EXPECT_TRUE(waitForFrames(count));
        return stop();
    }

    // The gaps between frames, in periods of the frame rate: never much less than one (the
    // rate is never exceeded), and one in the middle of the range (the rate is kept).
    std::unique_ptr<PaintedWindow> m_blinker;
    QTimer m_blinkTimer;
    int m_blinks = 0;

    static void expectPaced(const std::vector<FrameStore::Frame>& frames, double fps) {
        ASSERT_GE(frames.size(), 3u);
        std::vector<double> gaps;
        for (size_t i = 1; i < frames.size(); ++i) {
            gaps.push_back((frames[i].timestamp.seconds() - frames[i - 1].timestamp.seconds()) *
                           fps);
        }
        std::sort(gaps.begin(), gaps.end());
        EXPECT_GT(gaps.front(), 0.5);
        const double median = gaps[gaps.size() / 2];
        EXPECT_GT(median, 0.8);
        EXPECT_LT(median, 1.25);
    }
};

TEST_F(PortalCapture, KnownColoursArriveAtTheirPlace) {
    keepScreenBusy();
    const QRect place(203, 151, 400, 300);
    auto window = showWindow(place, paintQuadrants);
    // The region reaches past the window on every side, by odd amounts.
    const QRect region = place.adjusted(-37, -21, 45, 29);
    const std::vector<FrameStore::Frame> frames = record(region, 10, 3);
    ASSERT_FALSE(frames.empty());
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

TEST_F(PortalCapture, StillAndAnimatedScreensArePacedAtTheFrameRate) {
    const QRect region(100, 100, 640, 400);
    // A bar that moves on every repaint, below the top half of the region.
    int phase = 0;
    const QRect barArea(200, 380, 300, 60);
    auto animated = showWindow(barArea, [&](QPainter& painter, const QRect& rect) {
        painter.fillRect(rect, Qt::black);
        painter.fillRect((phase * 7) % (rect.width() - 20), 0, 20, rect.height(), Qt::yellow);
    });
    for (double fps : {10.0, 30.0}) {
        SCOPED_TRACE(fps);
        // Still: one change after the start, then nothing; the same frame comes at every
        // tick.
        animated->hide();
        ASSERT_FALSE(start(region, fps));
        auto marker = showWindow(
            QRect(region.topLeft() + QPoint(20, 20), QSize(40, 40)),
            [](QPainter& painter, const QRect& rect) { painter.fillRect(rect, Qt::green); });
        ASSERT_TRUE(waitForFrames(size_t(fps * 1.5)));
        const std::vector<FrameStore::Frame> still = stop();
        marker.reset();
        expectPaced(still, fps);
        // The picture changes at most once (when the marker appears).
        size_t stillChanges = 0;
        for (size_t i = 1; i < still.size(); ++i) {
            stillChanges += still[i].image.qimage() != still[i - 1].image.qimage();
        }
        EXPECT_LE(stillChanges, 1u);

        animated->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(animated.get()));
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            ++phase;
            animated->update();
        });
        ticker.start(10);
        const std::vector<FrameStore::Frame> moving = record(region, fps, size_t(fps * 1.5));
        ticker.stop();
        expectPaced(moving, fps);
        // The animation shows, and the rows above the bar stay as they were.
        const int firstBarRow = barArea.top() - region.top();
        size_t changes = 0;
        for (size_t i = 1; i < moving.size(); ++i) {
            const QImage now = moving[i].image.qimage();
            const QImage before = moving[i - 1].image.qimage();
            if (now == before) {
                continue;
            }
            ++changes;
            ASSERT_EQ(now.size(), before.size());
            EXPECT_EQ(now.copy(0, 0, now.width(), firstBarRow),
                      before.copy(0, 0, before.width(), firstBarRow));
        }
        EXPECT_GE(changes + 1, moving.size() / 2);
        EXPECT_GT(changes, 0u);
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
    EXPECT_FALSE(error.description().isEmpty());
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
