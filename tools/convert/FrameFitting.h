#pragma once

#include "image/Image.h"

#include <QSize>
#include <QString>

#include <mutex>
#include <vector>

namespace mirelo::convert {

// Frames of another size than the first are fitted into the first one's
// size, the same way for every output format: scaled, keeping their aspect
// ratio, to the largest size that fits (at least one pixel each way), and
// centred on a white background. A frame of that size, a null frame or an
// empty size gives the frame back as it is.
Image fitInto(const Image& frame, QSize size);

// The size of an image file's picture once decoded and turned upright as
// its metadata says, read without decoding it; empty when unknown.
QSize imageFileSize(const QString& path);

// Fits frames into one size from any thread, counting each frame fitted
// once however often it is asked for.
class FrameFitter {
public:
    FrameFitter(QSize size, size_t frameCount) : m_size(size), m_fitted(frameCount, false) {}

    Image fit(size_t index, const Image& frame);
    int fittedCount() const;
    QSize size() const { return m_size; }

private:
    const QSize m_size;
    mutable std::mutex m_mutex;
    std::vector<bool> m_fitted;
    int m_count = 0;
};

}  // namespace mirelo::convert
