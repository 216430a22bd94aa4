// Opens a file as the editor does (every frame into a recording store of its own, under a
// temporary cache folder) and prints what it took:
//   frames: N
//   seconds: wall-clock time of the opening
//   peak_mb: the process's peak resident memory
//   store_mb: bytes the store wrote
// Usage: open_frames FILE
#include "PeakMemory.h"
#include "import/AnimationOpener.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: open_frames FILE\n");
        return 2;
    }
    QTemporaryDir cache;
    mirelo::OpenOptions options;
    options.store.root = cache.path();
    QElapsedTimer timer;
    timer.start();
    auto result = mirelo::openAnimation({QString::fromLocal8Bit(argv[1])}, options);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (const auto* error = std::get_if<mirelo::OpenError>(&result)) {
        std::fprintf(stderr, "cannot open %s: problem %d %s\n", argv[1], int(error->problem),
                     error->detail.toLocal8Bit().constData());
        return 1;
    }
    const auto& opened = std::get<mirelo::OpenedFrames>(result);
    std::printf("frames: %zu\nseconds: %.3f\npeak_mb: %.1f\nstore_mb: %.1f\n", opened.images.size(),
                seconds, mirelo::bench::peakMemoryMB(), double(opened.store->bytesWritten()) / 1e6);
    return 0;
}
