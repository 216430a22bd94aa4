#include "editor/EditorState.h"
#include "image/ImageServices.h"
#include "image/ImageTransforms.h"
#include "overlay/TextMetrics.h"
#include "support/TestImages.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

namespace mirelo {
namespace {

using test::patternImage;

FrameList patternFrames(int width, int height, int count = 3) {
    FrameList frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(EditorFrame::make(patternImage(width, height, uint8_t(i * 40)), 0.1));
    }
    return frames;
}

OverlayItem mosaic(QRectF rect) {
    return OverlayItem::make(MosaicOverlay{rect, 8});
}

OverlayItem sticker(QRectF rect) {
    return OverlayItem::make(StickerOverlay{rect, patternImage(6, 4), true});
}

OverlayItem arrow(QPointF start, QPointF end) {
    return OverlayItem::make(ArrowOverlay{start, end, 3, RGBA{1, 0, 0, 1}});
}

OverlayItem text(QPointF origin) {
    return OverlayItem::make(TextOverlay{origin, QStringLiteral("示例"), 20, RGBA{}, false});
}

// A model whose overlay list can be set directly, as the canvas does, and whose geometry
// operations have landed when they return.
class Model : public EditorState {
public:
    using EditorState::EditorState;
    void place(OverlayList overlays) { setOverlays(std::move(overlays)); }
    void applyCrop() {
        EditorState::applyCrop();
        waitForGeometry();
    }
    void resize(const QSizeF& size) {
        EditorState::resize(size);
        waitForGeometry();
    }
    void rotate(bool clockwise) {
        EditorState::rotate(clockwise);
        waitForGeometry();
    }
    void flip(bool horizontal) {
        EditorState::flip(horizontal);
        waitForGeometry();
    }
};

template <class T>
const T& content(const EditorState& state, int index) {
    return std::get<T>(state.overlays()[index].content);
}

TEST(Crop, ModeStartsOnTheWholeFrameAndCancelKeepsTheRectangle) {
    Model state(patternFrames(200, 100));
    state.play();
    state.startCrop();
    EXPECT_FALSE(state.isPlaying());
    EXPECT_TRUE(state.isCropping());
    EXPECT_EQ(state.cropRect(), QRectF(0, 0, 200, 100));
    state.setCropRect(QRectF(1, 2, 30, 40));
    state.cancelCrop();
    EXPECT_FALSE(state.isCropping());
    EXPECT_EQ(state.cropRect(), QRectF(1, 2, 30, 40));
    EXPECT_EQ(state.undoCount(), 0);
    state.applyCrop();  // not cropping: nothing
    EXPECT_EQ(state.imageSize(), QSizeF(200, 100));
}

TEST(Crop, TakesWholePixelsAroundTheRectangleAndSharesTheSource) {
    Model state(patternFrames(200, 100));
    const FrameList before = state.frames();
    state.place({arrow({50, 50}, {60, 60})});
    state.startCrop();
    state.setCropRect(QRectF(10.4, 20.6, 100.2, 50));
    state.applyCrop();
    EXPECT_FALSE(state.isCropping());
    EXPECT_EQ(state.undoCount(), 1);
    for (int i = 0; i < state.frameCount(); ++i) {
        const Image& image = state.frames()[i].image;
        ASSERT_EQ(image.size(), QSize(101, 51));
        EXPECT_EQ(image.pixel(0, 0), before[i].image.pixel(10, 20));
        EXPECT_EQ(image.pixel(100, 50), before[i].image.pixel(110, 70));
        EXPECT_TRUE(image.sharesPixelsWith(before[i].image));
        EXPECT_EQ(state.frames()[i].id, before[i].id);
    }
    const auto& a = content<ArrowOverlay>(state, 0);
    EXPECT_DOUBLE_EQ(a.start.x(), 50 - 10.4);
    EXPECT_DOUBLE_EQ(a.start.y(), 50 - 20.6);
}

TEST(Crop, UnderTenPixelsOnlyEndsTheMode) {
    Model state(patternFrames(200, 100));
    const FrameList before = state.frames();
    state.startCrop();
    state.setCropRect(QRectF(0, 0, 9.5, 100));
    state.applyCrop();
    EXPECT_FALSE(state.isCropping());
    EXPECT_EQ(state.undoCount(), 0);
    EXPECT_EQ(state.frames()[0].image.qimage().constBits(), before[0].image.qimage().constBits());
}

TEST(Crop, ClipsToTheFrameAndDropsStickersAndMosaicsLeftOutside) {
    Model state(patternFrames(200, 100));
    state.place({mosaic({150, 10, 40, 40}), sticker({5, 5, 50, 20}), mosaic({30, 30, 100, 100}),
                 arrow({190, 90}, {195, 95}), text({180, 80})});
    state.setSelectedOverlayID(state.overlays()[0].id);
    const QUuid kept = state.overlays()[2].id;
    state.startCrop();
    state.setCropRect(QRectF(20, 20, 300, 300));  // reaches past the frame
    state.applyCrop();
    EXPECT_EQ(state.imageSize(), QSizeF(180, 80));
    // The first mosaic overlaps the crop (clipped to 300 x 300, not to the frame).
    ASSERT_EQ(state.overlays().size(), 5);
    EXPECT_EQ(content<MosaicOverlay>(state, 0).rect, QRectF(130, 0, 40, 30));
    EXPECT_EQ(content<StickerOverlay>(state, 1).rect, QRectF(0, 0, 35, 5));
    EXPECT_EQ(state.overlays()[2].id, kept);
    EXPECT_EQ(content<MosaicOverlay>(state, 2).rect, QRectF(10, 10, 100, 100));

    state.place({mosaic({0, 0, 20, 20}), sticker({100, 60, 30, 10}), arrow({170, 70}, {175, 75}),
                 text({170, 70})});
    state.setSelectedOverlayID(state.overlays()[0].id);
    state.startCrop();
    state.setCropRect(QRectF(40, 10, 50, 40));
    state.applyCrop();
    // Stickers and mosaics outside the crop are gone and so is the
    // selection; text and arrows stay, moved outside the visible image.
    ASSERT_EQ(state.overlays().size(), 2);
    EXPECT_TRUE(std::holds_alternative<ArrowOverlay>(state.overlays()[0].content));
    EXPECT_EQ(content<TextOverlay>(state, 1).origin, QPointF(130, 60));
    EXPECT_TRUE(state.selectedOverlayID().isNull());
}

TEST(Crop, RectangleWhollyOffTheFramesChangesNothing) {
    Model state(patternFrames(200, 100));
    state.place({arrow({10, 10}, {20, 20})});
    const OverlayList overlays = state.overlays();
    state.startCrop();
    state.setCropRect(QRectF(500, 500, 50, 50));
    state.applyCrop();
    EXPECT_EQ(state.undoCount(), 0);
    EXPECT_EQ(state.overlays(), overlays);
    EXPECT_EQ(state.imageSize(), QSizeF(200, 100));
}

TEST(Rotate, TurnsFramesAndOverlaysTogether) {
    Model state(patternFrames(640, 360));
    const FrameList before = state.frames();
    state.place({arrow({0, 0}, {10, 20})});
    state.rotate(true);
    EXPECT_EQ(state.imageSize(), QSizeF(360, 640));
    for (int i = 0; i < state.frameCount(); ++i) {
        // The former top row is now the rightmost column.
        EXPECT_EQ(state.frames()[i].image.pixel(359, 5), before[i].image.pixel(5, 0));
        EXPECT_EQ(state.frames()[i].image.pixel(0, 639), before[i].image.pixel(639, 359));
    }
    EXPECT_EQ(content<ArrowOverlay>(state, 0).start, QPointF(360, 0));
    EXPECT_EQ(state.undoCount(), 1);
}

TEST(Rotate, ThereAndBackRestoresFramesAndGeometry) {
    Model state(patternFrames(64, 36));
    const FrameList before = state.frames();
    state.place({sticker({1.5, 2, 10, 20}), mosaic({-3, 4, 30, 8.25}), arrow({1, 2}, {60, 30}),
                 text({10, 5})});
    const OverlayList overlays = state.overlays();
    state.rotate(false);
    state.rotate(true);
    EXPECT_EQ(state.undoCount(), 2);
    for (int i = 0; i < state.frameCount(); ++i) {
        EXPECT_EQ(ImageServices::readBytes(state.frames()[i].image),
                  ImageServices::readBytes(before[i].image));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(state.overlays()[i], overlays[i]) << i;
    }
    const QSizeF box = TextMetrics::size(QStringLiteral("示例"), 20);
    // Counter-clockwise first: the upright box comes back shifted sideways.
    EXPECT_NEAR(content<TextOverlay>(state, 3).origin.x(), 10 + box.width() - box.height(), 1e-9);
    EXPECT_DOUBLE_EQ(content<TextOverlay>(state, 3).origin.y(), 5);
}

TEST(Flip, MirrorsFramesAndOverlays) {
    Model state(patternFrames(200, 100));
    const FrameList before = state.frames();
    state.place({arrow({10, 10}, {20, 20})});
    state.flip(true);
    EXPECT_EQ(state.frames()[1].image.pixel(189, 7), before[1].image.pixel(10, 7));
    EXPECT_EQ(content<ArrowOverlay>(state, 0).start, QPointF(190, 10));
    state.flip(false);
    EXPECT_EQ(content<ArrowOverlay>(state, 0).start, QPointF(190, 90));
    EXPECT_EQ(state.frames()[1].image.pixel(189, 92), before[1].image.pixel(10, 7));
    EXPECT_EQ(state.undoCount(), 2);
}

TEST(Resize, RoundsTheFrameSizeAndScalesOverlaysByTheExactFactors) {
    Model state(patternFrames(640, 360));
    state.place({arrow({100, 100}, {200, 100}), text({64, 36})});
    state.resize(QSizeF(320.4, 179.5));
    EXPECT_EQ(state.imageSize(), QSizeF(320, 180));
    EXPECT_EQ(state.frames()[2].image.size(), QSize(320, 180));
    const auto& a = content<ArrowOverlay>(state, 0);
    EXPECT_DOUBLE_EQ(a.start.x(), 100 * 320.4 / 640);
    EXPECT_DOUBLE_EQ(a.start.y(), 100 * 179.5 / 360);
    EXPECT_DOUBLE_EQ(content<TextOverlay>(state, 1).fontSize,
                     std::max(20 * (320.4 / 640 + 179.5 / 360) / 2, 6.0));
    EXPECT_EQ(state.undoCount(), 1);
}

TEST(Resize, DropsOverlaysThatBecomeTooSmall) {
    Model state(patternFrames(400, 400));
    state.place({mosaic({10, 10, 5, 50}), sticker({100, 100, 50, 50})});
    state.setSelectedOverlayID(state.overlays()[0].id);
    state.resize(QSizeF(100, 100));
    ASSERT_EQ(state.overlays().size(), 1);
    EXPECT_EQ(content<StickerOverlay>(state, 0).rect, QRectF(25, 25, 12.5, 12.5));
    EXPECT_TRUE(state.selectedOverlayID().isNull());
}

TEST(Resize, IgnoresSizesNoFrameCanTake) {
    Model state(patternFrames(40, 30));
    state.place({arrow({10, 10}, {20, 20})});
    const OverlayList overlays = state.overlays();
    for (QSizeF size : {QSizeF(NAN, 10), QSizeF(10, INFINITY), QSizeF(0.4, 10), QSizeF(-5, -5),
                        QSizeF(1e6, 1e6)}) {
        state.resize(size);
    }
    EXPECT_EQ(state.undoCount(), 0);
    EXPECT_EQ(state.overlays(), overlays);
    EXPECT_EQ(state.imageSize(), QSizeF(40, 30));
}

TEST(Geometry, EmptyModelRecordsNothing) {
    Model state{FrameList{}};
    state.rotate(true);
    state.flip(false);
    state.resize(QSizeF(100, 100));
    state.startCrop();
    state.setCropRect(QRectF(0, 0, 50, 50));
    state.applyCrop();
    EXPECT_EQ(state.undoCount(), 0);
}

TEST(Geometry, EachOperationIsOneStepAndUndoRestoresFramesAndOverlaysTogether) {
    Model state(patternFrames(120, 80, 4));
    state.place({sticker({10, 10, 30, 20}), arrow({5, 5}, {50, 40})});
    std::vector<std::pair<FrameList, OverlayList>> states = {{state.frames(), state.overlays()}};
    state.rotate(true);
    states.push_back({state.frames(), state.overlays()});
    state.flip(true);
    states.push_back({state.frames(), state.overlays()});
    state.resize(QSizeF(60, 90));
    states.push_back({state.frames(), state.overlays()});
    state.startCrop();
    state.setCropRect(QRectF(5, 5, 40, 40));
    state.applyCrop();
    EXPECT_EQ(state.undoCount(), 4);
    for (int step = 3; step >= 0; --step) {
        state.undo();
        EXPECT_EQ(state.overlays(), states[size_t(step)].second) << step;
        ASSERT_EQ(state.frameCount(), 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(state.frames()[i].image.qimage().constBits(),
                      states[size_t(step)].first[i].image.qimage().constBits());
        }
    }
}

TEST(Geometry, ManyFramesGiveExactlyTheOneThreadResultInOrder) {
    FrameList frames;
    for (int i = 0; i < 40; ++i) {
        frames.push_back(EditorFrame::make(patternImage(33 + i % 3, 21, uint8_t(i * 5)), 0.1));
    }
    Model state(frames);
    state.rotate(false);
    EXPECT_EQ(state.undoCount(), 1);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(state.frames()[i].id, frames[i].id);
        EXPECT_EQ(ImageServices::readBytes(state.frames()[i].image),
                  ImageServices::readBytes(ImageTransforms::rotated90(frames[i].image, false)))
            << i;
    }
}

// Keeps frames as a store would: the pixels copied into a source decoded on demand. Counts
// what it kept, and fails at frame `failAt` when that is set.
class CopyingSink : public FrameSink {
public:
    struct Bytes : PixelSource {
        QSize pixels;
        std::vector<uint8_t> bytes;
        QSize size() const override { return pixels; }
        bool decode(uchar* out) const override {
            std::copy(bytes.begin(), bytes.end(), out);
            return true;
        }
    };
    explicit CopyingSink(std::atomic<int>* kept, int failAt = -1)
        : m_kept(kept), m_failAt(failAt) {}
    bool keep(const Image& frame, Image* kept, QString* error) override {
        if (m_count++ == m_failAt) {
            *error = QStringLiteral("磁盘已满");
            return false;
        }
        auto source = std::make_shared<Bytes>();
        source->pixels = frame.size();
        source->bytes = ImageServices::readBytes(frame);
        *kept = Image::decodedOnDemand(std::move(source));
        m_kept->fetch_add(1);
        return true;
    }
    bool finish(QString*) override { return true; }

private:
    std::atomic<int>* m_kept;
    int m_failAt;
    int m_count = 0;
};

// A model running any frame transform, as the geometry operations do.
class Worker : public EditorState {
public:
    using EditorState::EditorState;
    void transform(FrameTransform transform) {
        mutateAllFrames(GeometryOperation::rotate, {}, std::move(transform));
    }
};

TEST(GeometryWork, RunsOffTheCallerAndLandsAsOneStepIdenticalToTheDirectResult) {
    const FrameList before = patternFrames(48, 30, 60);
    EditorState state(before);
    std::atomic<int> kept{0};
    state.setFrameSinkFactory([&kept](double fps, QString*) {
        EXPECT_DOUBLE_EQ(fps, 10.0);
        return std::make_unique<CopyingSink>(&kept);
    });
    QSignalSpy finished(&state, &EditorState::geometryFinished);
    QSignalSpy progress(&state, &EditorState::geometryProgress);
    state.resize(QSizeF(31, 17));
    // Nothing changes until the work lands, and the caller never waited for it.
    EXPECT_TRUE(state.isTransforming());
    EXPECT_EQ(state.geometryOperation(), EditorState::GeometryOperation::resize);
    EXPECT_EQ(state.imageSize(), QSizeF(48, 30));
    EXPECT_EQ(state.undoCount(), 0);
    state.rotate(true);  // ignored while the resize runs
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(state.isTransforming());
    EXPECT_EQ(state.undoCount(), 1);
    EXPECT_EQ(kept.load(), 60);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().at(0).toInt(), 60);
    for (int i = 0; i < 60; ++i) {
        const Image& image = state.frames()[i].image;
        EXPECT_NE(image.pixelSource(), nullptr) << i;  // what the sink kept
        EXPECT_EQ(ImageServices::readBytes(image),
                  ImageServices::readBytes(ImageServices::scaled(before[i].image, 31, 17)))
            << i;
    }
    state.undo();
    EXPECT_EQ(state.frames()[7].image.cacheKey(), before[7].image.cacheKey());

    // A crop makes views of the frames: nothing new to keep.
    state.startCrop();
    state.setCropRect(QRectF(2, 2, 20, 20));
    state.applyCrop();
    state.waitForGeometry();
    EXPECT_EQ(kept.load(), 60);
    EXPECT_TRUE(state.frames()[0].image.sharesPixelsWith(before[0].image));
}

TEST(GeometryWork, CancelOrAFailingSinkLeavesFramesOverlaysAndHistoryAsTheyWere) {
    Model state(patternFrames(40, 20, 80));
    state.place({arrow({1, 1}, {30, 15})});
    state.flip(true);
    state.flip(false);
    state.undo();  // one step to undo, one to redo
    const FrameList frames = state.frames();
    const OverlayList overlays = state.overlays();
    auto unchanged = [&] {
        EXPECT_FALSE(state.isTransforming());
        EXPECT_EQ(state.overlays(), overlays);
        ASSERT_EQ(state.frameCount(), frames.size());
        for (int i = 0; i < state.frameCount(); ++i) {
            EXPECT_EQ(state.frames()[i].image.cacheKey(), frames[i].image.cacheKey()) << i;
        }
        EXPECT_EQ(state.undoCount(), 1);
        EXPECT_EQ(state.redoCount(), 1);
    };
    QSignalSpy finished(&state, &EditorState::geometryFinished);
    state.EditorState::rotate(true);
    state.cancelGeometry();
    QCoreApplication::processEvents();  // whatever the worker posted lands nowhere
    EXPECT_EQ(finished.size(), 1);
    unchanged();

    // The disk fills up at frame 30: the reason is shown, nothing else happens.
    std::atomic<int> kept{0};
    state.setFrameSinkFactory(
        [&kept](double, QString*) { return std::make_unique<CopyingSink>(&kept, 30); });
    QSignalSpy refused(&state, &EditorState::refused);
    state.rotate(false);
    ASSERT_EQ(refused.size(), 1);
    const auto reason = refused.at(0).at(0).value<EditorRefusal>();
    EXPECT_EQ(reason.kind, EditorRefusal::Kind::frameStore);
    EXPECT_EQ(reason.detail, QStringLiteral("磁盘已满"));
    unchanged();

    // No sink at all: refused before any work starts.
    state.setFrameSinkFactory([](double, QString* error) -> std::unique_ptr<FrameSink> {
        *error = QStringLiteral("磁盘空间不足");
        return nullptr;
    });
    state.flip(true);
    EXPECT_EQ(refused.size(), 2);
    unchanged();

    // The frame list changed while the work ran: the work is dropped.
    state.setFrameSinkFactory({});
    state.EditorState::rotate(true);
    state.setSelectedIDs({state.frames()[0].id});
    state.deleteSelected();
    state.waitForGeometry();
    EXPECT_EQ(state.frameCount(), 79);
    EXPECT_EQ(state.imageSize(), QSizeF(40, 20));
    EXPECT_EQ(state.undoCount(), 2);
}

}  // namespace
}  // namespace mirelo
