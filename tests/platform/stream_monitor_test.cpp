#include "platform/wayland/StreamMonitor.h"

#include <gtest/gtest.h>

namespace mirelo::wayland {
namespace {

using Verdict = StreamMonitor::Verdict;

CaptureDisplay monitor(const char* name, const QRect& frame) {
    return CaptureDisplay{1, QString::fromLatin1(name), frame};
}

const std::vector<CaptureDisplay> kTwo = {monitor("HEADLESS-1", QRect(0, 0, 1280, 720)),
                                          monitor("HEADLESS-2", QRect(1280, 0, 1024, 768))};

TEST(StreamMonitor, APositionAndSizeThatNameTheMonitorAreIt) {
    // In points, or in the monitor's device pixels at any one scale.
    EXPECT_EQ(matchStream(QRect(1280, 0, 1024, 768), kTwo, 1), Verdict::wanted);
    EXPECT_EQ(matchStream(QRect(1280, 0, 2048, 1536), kTwo, 1), Verdict::wanted);
    EXPECT_EQ(matchStream(QRect(0, 0, 1920, 1080), kTwo, 0), Verdict::wanted);
    // A portal that says nothing: the monitor the user was asked to share.
    EXPECT_EQ(matchStream(std::nullopt, kTwo, 1), Verdict::wanted);
}

TEST(StreamMonitor, AnotherMonitorsPlaceIsThatMonitorUnlessItIsTheOriginAndTheSizeFits) {
    // The first monitor, shared while the frame lies on the second (whose size differs).
    EXPECT_EQ(matchStream(QRect(0, 0, 1280, 720), kTwo, 1), Verdict::other);
    EXPECT_EQ(matchStream(QRect(1280, 0, 1024, 768), kTwo, 0), Verdict::other);
    // The origin, where a portal that does not know the position puts every monitor: with
    // the second monitor's size it is the second monitor.
    EXPECT_EQ(matchStream(QRect(0, 0, 1024, 768), kTwo, 1), Verdict::wanted);
    EXPECT_EQ(matchStream(QRect(0, 0, 2048, 1536), kTwo, 1), Verdict::wanted);
    // Nothing fits: which monitor it is cannot be told.
    EXPECT_EQ(matchStream(QRect(500, 500, 800, 800), kTwo, 1), Verdict::unidentified);
    EXPECT_EQ(matchStream(QRect(1280, 0, 0, 0), kTwo, 1), Verdict::unidentified);
    EXPECT_EQ(matchStream(QRect(0, 0, 1280, 720), {}, 0), Verdict::unidentified);
}

TEST(StreamMonitor, TheMonitorUnderTheCentreIsWanted) {
    EXPECT_EQ(monitorFor(QRect(1200, 100, 400, 300), kTwo), std::optional<size_t>(1));
    EXPECT_EQ(monitorFor(QRect(1000, 100, 400, 300), kTwo), std::optional<size_t>(0));
    // A centre on no monitor: the one it overlaps most.
    EXPECT_EQ(monitorFor(QRect(1200, 700, 400, 300), kTwo), std::optional<size_t>(1));
    EXPECT_EQ(monitorFor(QRect(5000, 5000, 10, 10), kTwo), std::nullopt);
}

}  // namespace
}  // namespace mirelo::wayland
