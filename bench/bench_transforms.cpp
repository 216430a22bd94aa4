// Quarter turn and mirror of one 1080p frame against a plain copy of the same
// bytes, and the cost of an undo snapshot of a long recording.

#include "editor/EditorState.h"
#include "image/ImageServices.h"
#include "image/ImageTransforms.h"
#include "support/Figures.h"

#include <QGuiApplication>

#include <cstring>
#include <vector>

using namespace mirelo;

namespace {

Image frame1080p() {
    QImage surface = ImageServices::createSurface(1920, 1080);
    for (int y = 0; y < 1080; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(surface.scanLine(y));
        for (int x = 0; x < 1920; ++x)
            row[x] = 0xff000000u | uint32_t(x * 7 + y * 13);
    }
    return ImageServices::imageFromSurface(surface);
}

void BM_Copy1080p(benchmark::State& state) {
    const Image image = frame1080p();
    const size_t bytes = size_t(image.qimage().bytesPerLine()) * size_t(image.height());
    std::vector<uint8_t> target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), image.constScanLine(0), bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Copy1080p)->Unit(benchmark::kMillisecond);

void BM_QuarterTurn1080p(benchmark::State& state) {
    const Image image = frame1080p();
    for (auto _ : state) {
        Image turned = ImageTransforms::rotated90(image, true);
        benchmark::DoNotOptimize(turned);
    }
}
BENCHMARK(BM_QuarterTurn1080p)->Unit(benchmark::kMillisecond);

void BM_Mirror1080p(benchmark::State& state) {
    const Image image = frame1080p();
    for (auto _ : state) {
        Image mirrored = ImageTransforms::flipped(image, true);
        benchmark::DoNotOptimize(mirrored);
    }
}
BENCHMARK(BM_Mirror1080p)->Unit(benchmark::kMillisecond);

// Counts the snapshot a delay change records, by setting a delay on a list of
// 10 000 frames and undoing it (two list snapshots per iteration).
class SnapshotProbe : public EditorState {
public:
    using EditorState::EditorState;
    void takeSnapshot() { snapshot(); }
};

void BM_Snapshot10000Frames(benchmark::State& state) {
    const Image image = ImageServices::imageFromSurface(ImageServices::createSurface(16, 16));
    FrameList frames;
    for (int i = 0; i < 10000; ++i)
        frames.push_back(EditorFrame::make(image, 0.1));
    SnapshotProbe model(frames);
    for (auto _ : state) {
        model.takeSnapshot();
    }
}
BENCHMARK(BM_Snapshot10000Frames)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const auto t = bench::runAll(argc, argv);
    const double copy = t.at("BM_Copy1080p");
    bench::printFigure("quarter_turn_1080p_vs_copy", t.at("BM_QuarterTurn1080p") / copy, "x",
                       "<=", 4);
    bench::printFigure("mirror_1080p_vs_copy", t.at("BM_Mirror1080p") / copy, "x", "<=", 4);
    bench::printFigure("snapshot_10000_frames", t.at("BM_Snapshot10000Frames") * 1e3, "ms", "<", 1);
    return 0;
}
