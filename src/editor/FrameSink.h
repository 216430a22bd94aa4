#pragma once

#include "image/Image.h"

#include <QString>

#include <functional>
#include <memory>

namespace mirelo {

// Where the frames made by one geometry operation are kept, so that a long recording never has
// all its new frames in memory at once: a store may compress them or write them to disk. One
// sink serves one operation; it is fed the new frames in order, from one thread at a time (not
// the main thread), and goes when the operation ends or is cancelled.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Keeps `frame` and returns it as kept (the same pixels) in `kept`; false with the reason
    // for the user in `error` when it cannot.
    virtual bool keep(const Image& frame, Image* kept, QString* error) = 0;
    // Called once after the last frame; false with the reason when the frames are not safe.
    virtual bool finish(QString* error) = 0;
};

// Makes the sink of one operation on frames shown at `fps`; null with the reason in `error`
// when there can be none (no disk space).
using FrameSinkFactory = std::function<std::unique_ptr<FrameSink>(double fps, QString* error)>;

}  // namespace mirelo
