#pragma once

#include "image/BandedFrame.h"
#include "image/Image.h"

namespace mirelo::convert {

// Turns frames read in order into frames of bands (see BandedFrame), where a
// band whose rows equal the previous frame's is that frame's band, shared. A
// recording of a screen where little moves then holds each change once, and
// the encoder sees unchanged rows as the same memory. The changed bands of a
// frame that changed in a few places are copied, so the decoded frame can go;
// those of a frame that changed in most places are read where they were
// decoded, which then stays: copying nearly the whole frame would keep about
// as much memory and cost a pass over it. A frame that changed everywhere is
// kept as it is.
class SharedBands {
public:
    Image next(const Image& frame);

private:
    BandedFrame m_bands;
};

}  // namespace mirelo::convert
