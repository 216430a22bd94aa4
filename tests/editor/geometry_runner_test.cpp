// New frames made a batch at a time and handed to the sink in order.
#include "editor/GeometryRunner.h"
#include "image/ImageServices.h"
#include "image/ImageTransforms.h"
#include "support/TestImages.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>

using namespace mirelo;

namespace {

FrameList patternFrames(int width, int height, int count) {
    FrameList frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(
            EditorFrame::make(test::patternImage(width, height, uint8_t(i * 40)), 0.1));
    }
    return frames;
}

// Keeps every frame as it comes (a copy of its pixels); notes how many new
// frames were made and not yet kept at most, and fails at frame `failAt`.
class WatchingSink : public FrameSink {
public:
    WatchingSink(std::atomic<int>& made, int failAt = -1) : m_made(made), m_failAt(failAt) {}
    bool keep(const Image& frame, Image* kept, QString* error) override {
        peak = std::max(peak.load(), m_made.load() - count.load());
        if (count.load() == m_failAt) {
            *error = QStringLiteral("磁盘已满");
            return false;
        }
        *kept = Image::fromQImage(frame.qimage().copy());
        ++count;
        return true;
    }
    bool finish(QString*) override {
        finished = true;
        return true;
    }
    std::atomic<int> count{0};
    std::atomic<int> peak{0};
    std::atomic<bool> finished{false};

private:
    std::atomic<int>& m_made;
    int m_failAt;
};

}  // namespace

TEST(GeometryRunner, OnlyAFewNewFramesAreEverWaitingForTheSink) {
    const FrameList frames = patternFrames(40, 20, 200);
    std::atomic<int> made{0};
    auto sink = std::make_unique<WatchingSink>(made);
    WatchingSink& watching = *sink;
    std::atomic<int> lastProgress{0};
    GeometryRunner runner(frames,
                          [&made](const Image& image) {
                              made.fetch_add(1);
                              return ImageTransforms::flipped(image, true);
                          },
                          std::move(sink), {[&](int done, int) { lastProgress = done; }, {}});
    runner.wait();
    EXPECT_EQ(watching.count.load(), 200);
    EXPECT_TRUE(watching.finished.load());
    const int threads = std::max(2, QThreadPool::globalInstance()->maxThreadCount());
    EXPECT_LE(watching.peak.load(), 4 * threads);
    EXPECT_EQ(lastProgress.load(), 200);
    ASSERT_FALSE(runner.failed());
    const std::vector<Image> results = runner.takeResults();
    ASSERT_EQ(results.size(), 200u);
    EXPECT_EQ(ImageServices::readBytes(results[123]),
              ImageServices::readBytes(ImageTransforms::flipped(frames[123].image, true)));
}

TEST(GeometryRunner, AFailingSinkEndsTheWorkWithItsReason) {
    std::atomic<int> made{0};
    std::atomic<int> ended{0};
    auto sink = std::make_unique<WatchingSink>(made, 30);
    WatchingSink& watching = *sink;
    GeometryRunner runner(patternFrames(40, 20, 80),
                          [](const Image& image) { return ImageTransforms::flipped(image, false); },
                          std::move(sink), {{}, [&] { ++ended; }});
    runner.wait();
    EXPECT_TRUE(runner.failed());
    EXPECT_EQ(runner.error(), QStringLiteral("磁盘已满"));
    EXPECT_EQ(watching.count.load(), 30);
    EXPECT_FALSE(watching.finished.load());
    EXPECT_EQ(ended.load(), 1);
}
