// A recording left in the cache folder is read back after a crash: its two
// files may hold anything a dying process or a damaged disk left there.
// The input is split into the index file and the bands file by its first
// four bytes (the index's length, little-endian).
#include "capture/RecordingStore.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    uint32_t indexBytes = 0;
    std::memcpy(&indexBytes, data, 4);
    data += 4;
    size -= 4;
    indexBytes = uint32_t(std::min<size_t>(indexBytes, size));
    const QByteArray index(reinterpret_cast<const char*>(data), qsizetype(indexBytes));
    const QByteArray bands(reinterpret_cast<const char*>(data + indexBytes),
                           qsizetype(size - indexBytes));
    const mirelo::StoreScan scan = mirelo::scanStore(index, bands);
    // What the scan lets through is what recovery trusts: every frame's bands
    // must lie inside the bands file and cover the frame's rows, and the frames
    // must follow each other in time, each lasting at least one interval.
    if (scan.intervals.size() != scan.frames.size() || (!scan.valid && !scan.frames.empty())) {
        __builtin_trap();
    }
    for (size_t f = 0; f < scan.frames.size(); ++f) {
        const mirelo::StoreScan::Frame& frame = scan.frames[f];
        if (scan.intervals[f] < 1 ||
            (f > 0 && (frame.number <= scan.frames[f - 1].number ||
                       frame.position < scan.frames[f - 1].position + scan.intervals[f - 1]))) {
            __builtin_trap();
        }
        if (frame.width < 1 || frame.height < 1 ||
            frame.bands.size() != size_t((frame.height + 15) / 16)) {
            __builtin_trap();
        }
        for (size_t i = 0; i < frame.bands.size(); ++i) {
            if (frame.bands[i] >= scan.bands.size()) {
                __builtin_trap();
            }
            const mirelo::StoreScan::Band& stored = scan.bands[frame.bands[i]];
            if (stored.offset < 0 || stored.offset + stored.bytes > bands.size() ||
                stored.width != frame.width ||
                stored.rows != std::min(16, frame.height - int(i) * 16)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
