#pragma once

class QThreadPool;

namespace mirelo {

// The threads that long work of our own runs on (exports, estimates,
// overlays drawn over many frames, geometry over a recording), one per core.
//
// Never Qt's global pool: Qt's raster painter and image conversions split
// large work into parts on that pool and wait for them, so work of ours that
// holds its threads while it waits for painting done elsewhere would wait
// for ever.
QThreadPool* workerPool();

}  // namespace mirelo
