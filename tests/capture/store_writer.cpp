// Records frames into a store and then waits to be killed: the recovery test's crashed
// recorder. Arguments: the store root and the number of frames. Prints "ready" once every
// frame is written.
#include "capture/RecordingStore.h"
#include "image/ImageServices.h"

#include <QRandomGenerator>

#include <unistd.h>
#include <cstdio>

using namespace mirelo;

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    StoreOptions options;
    options.root = QString::fromLocal8Bit(argv[1]);
    options.diskReserve = 0;
    auto store = RecordingStore::create(options, 24);
    if (!store) {
        return 1;
    }
    const int count = std::atoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        // The same noise as the test's noiseImage(300, 170, seed).
        QImage surface = ImageServices::createSurface(300, 170);
        QRandomGenerator random(static_cast<uint32_t>(std::min(i, 2)));
        for (int y = 0; y < 170; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(surface.scanLine(y));
            for (int x = 0; x < 300; ++x) {
                row[x] = random.generate() | 0xff000000u;
            }
        }
        if (store->append(ImageServices::imageFromSurface(std::move(surface)),
                          MediaTime{i, 24, MediaTime::Valid}, 0, nullptr)) {
            return 1;
        }
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}
