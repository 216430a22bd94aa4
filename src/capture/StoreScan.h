#pragma once

#include "capture/MediaTime.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mirelo {

// What a scan of a store's two files found, everything checked: for fuzzing and recovery.
struct StoreScan {
    struct Band {
        qint64 offset = 0;  // of the compressed bytes in the bands file
        uint32_t bytes = 0;
        uint32_t checksum = 0;
        int width = 0;
        int rows = 0;
    };
    struct Frame {
        uint32_t number = 0;  // in the recording, from 0
        int width = 0;
        int height = 0;
        MediaTime timestamp;
        uint32_t dropsBefore = 0;
        // Where the frame starts, in frame intervals from the start of the recording.
        uint64_t position = 0;
        std::vector<uint32_t> bands;  // indices into `bands`, top first
    };
    bool valid = false;  // a header of either file gives the store's version and frame rate
    uint32_t version = 0;
    double fps = 0;
    std::vector<Band> bands;    // the intact bands
    std::vector<Frame> frames;  // the intact frames, in recording order
    // How long each intact frame lasts, in frame intervals: up to the next intact frame (so
    // the time of lost frames stays where it was), the last one up to the recording's end.
    std::vector<uint64_t> intervals;
    // Frames the files show were recorded but are not intact (a damaged or missing record or
    // band), and their time in frame intervals.
    size_t lostFrames = 0;
    uint64_t lostIntervals = 0;
    // Some bytes of either file were not part of an intact record (a crash leaves a cut last
    // record; anything else is damage).
    bool damaged = false;
};

// Scans the index and bands of a store; a missing file is an empty one. Never trusts them:
// every size, count, offset and checksum is checked. A damaged record is skipped and the
// records after it are found again by their tag and checksum; a frame is intact when one of
// its two records (from version 2 every frame is written to both files) and all its bands
// are.
StoreScan scanStore(const char* index, size_t indexBytes, const char* bands, size_t bandsBytes);
StoreScan scanStore(const QByteArray& index, const QByteArray& bands);

}  // namespace mirelo
