// Stores raw frames (R, G, B, A bytes, one frame after another) in a recording store as a
// recording does and prints "store bytes per frame", "raw bytes per frame" and the writer's
// throughput on one thread. Used by scripts/recording_store.sh, which feeds it decoded video.
#include "capture/RecordingStore.h"
#include "image/ImageServices.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FRAMES.rgba WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    std::FILE* in = std::fopen(argv[1], "rb");
    if (!in || width < 1 || height < 1) {
        return 2;
    }
    QTemporaryDir root;
    mirelo::StoreOptions options;
    options.root = root.path();
    options.diskReserve = 0;
    auto store = mirelo::RecordingStore::create(options, 30);
    if (!store) {
        return 1;
    }
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    std::vector<uint8_t> raw(bytes);
    double seconds = 0;
    size_t frames = 0;
    bool exact = true;
    while (std::fread(raw.data(), 1, bytes, in) == bytes) {
        const mirelo::Image frame =
            mirelo::ImageServices::fromBytes(raw.data(), width, height, width * 4);
        mirelo::Image stored;
        const double start = threadSeconds();
        if (store->append(frame, mirelo::MediaTime{qint64(frames), 30, 1}, 0, &stored)) {
            return 1;
        }
        seconds += threadSeconds() - start;
        exact = exact && mirelo::ImageServices::readBytes(stored) == raw;
        ++frames;
    }
    std::fclose(in);
    if (frames == 0) {
        return 1;
    }
    std::printf(
        "frames: %zu\nstore bytes per frame: %.0f\nraw bytes per frame: %zu\n"
        "store write throughput: %.0f MB/s of raw frames, one thread\nbit-exact: %s\n",
        frames, double(store->bytesWritten()) / double(frames), bytes,
        double(bytes) * double(frames) / seconds / 1e6, exact ? "yes" : "NO");
    return exact ? 0 : 1;
}
