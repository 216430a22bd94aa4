// Rotating, resizing and cropping a recording of 300 frames of 960 x 540,
// and burning one text, one arrow and one mosaic into it. Each figure is also
// given as a multiple of copying the same frames' bytes in the same run, which
// says how the operation fares independently of the machine's speed.
#include <iostream>  // Figures.h reports to std::cerr

#include "editor/EditorState.h"
#include "image/ImageServices.h"
#include "overlay/OverlayRenderer.h"
#include "support/Figures.h"

#include <QGuiApplication>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

using namespace mirelo;

constexpr int kFrames = 300;
constexpr int kWidth = 960;
constexpr int kHeight = 540;
constexpr double kTargetSeconds = 0.5;

const FrameList& recording() {
    static const FrameList frames = [] {
        FrameList list;
        for (int i = 0; i < kFrames; ++i) {
            QImage surface = ImageServices::createSurface(kWidth, kHeight);
            for (int y = 0; y < kHeight; ++y) {
                auto* row = reinterpret_cast<uint32_t*>(surface.scanLine(y));
                for (int x = 0; x < kWidth; ++x) {
                    row[x] = 0xff000000u | uint32_t((x + i) & 0xff) | uint32_t(y & 0xff) << 8 |
                             uint32_t((x ^ y) & 0xff) << 16;
                }
            }
            list.push_back(EditorFrame::make(ImageServices::imageFromSurface(surface), 0.05));
        }
        return list;
    }();
    return frames;
}

// A model holding the recording with nothing in its history, so that no run
// keeps the results of earlier ones alive.
template <class Operation>
void runOnFreshModel(benchmark::State& state, Operation operation) {
    for (auto _ : state) {
        EditorState model(recording());
        operation(model);
        benchmark::DoNotOptimize(model.frames().first().image.constScanLine(0));
    }
}

void BM_Copy(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<QImage> copies;
        copies.reserve(kFrames);
        for (const EditorFrame& frame : recording()) {
            QImage copy(kWidth, kHeight, kStandardFormat);
            std::memcpy(copy.bits(), frame.image.constScanLine(0), size_t(copy.sizeInBytes()));
            copies.push_back(std::move(copy));
        }
        benchmark::DoNotOptimize(copies.back().constBits());
    }
}

void BM_Rotate(benchmark::State& state) {
    runOnFreshModel(state, [](EditorState& model) { model.rotate(true); });
}

void BM_ResizeHalf(benchmark::State& state) {
    runOnFreshModel(state,
                    [](EditorState& model) { model.resize(QSizeF(kWidth / 2.0, kHeight / 2.0)); });
}

void BM_Crop(benchmark::State& state) {
    runOnFreshModel(state, [](EditorState& model) {
        model.startCrop();
        model.setCropRect(QRectF(120.5, 60.25, 640, 360));
        model.applyCrop();
    });
}

QList<OverlayItem> burnt() {
    return {OverlayItem::make(TextOverlay{QPointF(300, 240), QStringLiteral("示例文字"),
                                          kWidth / 18.0, RGBA{0.95, 0.2, 0.15, 1}, true}),
            OverlayItem::make(ArrowOverlay{QPointF(0.3 * kWidth, 0.7 * kHeight),
                                           QPointF(0.7 * kWidth, 0.7 * kHeight), 6,
                                           RGBA{0.95, 0.2, 0.15, 1}}),
            OverlayItem::make(MosaicOverlay{QRectF(345, 135, 270, 270), 27})};
}

void BM_RenderAll(benchmark::State& state) {
    const QList<OverlayItem> overlays = burnt();
    std::vector<Image> frames;
    for (const EditorFrame& frame : recording()) {
        frames.push_back(frame.image);
    }
    for (auto _ : state) {
        std::vector<Image> out = OverlayRenderer::renderAll(overlays, frames);
        benchmark::DoNotOptimize(out.back().constScanLine(0));
    }
}

void BM_RenderEachFrame(benchmark::State& state) {
    const QList<OverlayItem> overlays = burnt();
    for (auto _ : state) {
        std::vector<Image> out;
        out.reserve(kFrames);
        for (const EditorFrame& frame : recording()) {
            out.push_back(OverlayRenderer::render(overlays, frame.image));
        }
        benchmark::DoNotOptimize(out.back().constScanLine(0));
    }
}

BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Rotate)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_ResizeHalf)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_Crop)->Unit(benchmark::kMillisecond)->MinTime(0.5)->UseRealTime();
BENCHMARK(BM_RenderAll)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_RenderEachFrame)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication app(argc, argv);
    // Freed frames stay with the allocator for the next run to reuse. On this
    // virtual machine the first touch of fresh memory costs several times the
    // work done on it (about 5 s for the 600 MB of 300 frames), which would
    // drown every operation in the same page-fault cost; the figures measure
    // the operations on memory the process already holds.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
    mallopt(M_ARENA_MAX, 1);
    {
        // Touch enough memory once for the recording and two sets of results.
        std::vector<void*> blocks;
        for (int i = 0; i < 3 * kFrames; ++i) {
            void* block = std::malloc(size_t(kWidth) * kHeight * 4 + 4096);
            std::memset(block, 1, size_t(kWidth) * kHeight * 4 + 4096);  // not 0: malloc + zero-fill becomes calloc
            blocks.push_back(block);
        }
        for (void* block : blocks) {
            std::free(block);
        }
    }
    recording();  // built before timing starts
    const auto times = mirelo::bench::runAll(argc, argv);
    auto seconds = [&](const char* name) {
        const auto it = times.find(name);
        return it == times.end() ? 0.0 : it->second;
    };
    const double copy = seconds("BM_Copy/min_time:1.000");
    mirelo::bench::printFigure("copy_300_frames_960x540", copy, "s", "<", kTargetSeconds);
    const std::pair<const char*, const char*> figures[] = {
        {"rotate_300_frames_960x540", "BM_Rotate/min_time:1.000/real_time"},
        {"resize_half_300_frames_960x540", "BM_ResizeHalf/min_time:1.000/real_time"},
        {"crop_300_frames_960x540", "BM_Crop/min_time:0.500/real_time"},
        {"render_overlays_300_frames_960x540", "BM_RenderAll/min_time:1.000/real_time"},
        {"render_overlays_frame_by_frame_300_frames_960x540",
         "BM_RenderEachFrame/min_time:1.000/real_time"},
    };
    for (const auto& [figure, benchmark] : figures) {
        const double value = seconds(benchmark);
        mirelo::bench::printFigure(figure, value, "s", "<", kTargetSeconds);
        // The same target as a multiple of copying the frames in this run.
        if (copy > 0) {
            mirelo::bench::printFigure(std::string(figure) + "_vs_copy", value / copy, "x", "<",
                                       kTargetSeconds / copy);
        }
    }
    return 0;
}
