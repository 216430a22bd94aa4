#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

namespace mirelo::test {

// An animated WebP file as libwebp's animation decoder renders it.
struct WebPFrames {
    bool ok = false;  // the file could be read and decoded
    int width = 0, height = 0;
    int loopCount = -1;
    uint32_t background = 0;
    std::vector<QImage> frames;  // straight RGBA, canvas size, one per stored frame
    std::vector<int> endTimes;   // when each frame ends, in milliseconds
};

WebPFrames decodeWebP(const QString& path);

}  // namespace mirelo::test
