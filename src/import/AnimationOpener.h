#pragma once

#include "capture/RecordingStore.h"
#include "image/Image.h"
#include "import/OpenError.h"

#include <QColor>
#include <QSize>
#include <QStringList>

#include <functional>
#include <memory>
#include <variant>
#include <vector>

namespace mirelo {

// Frames read from files into a recording store of their own: the images read back from the
// store (their pixels stay on disk or compressed), with their delays.
struct OpenedFrames {
    std::shared_ptr<RecordingStore> store;
    std::vector<Image> images;
    std::vector<double> delays;
    QSize size;
};

struct OpenOptions {
    // Where the frames go. Without a memory budget of their own, opened frames share one of
    // kOpenedMemoryBudget bytes (compressed bands kept in memory; the rest is read back from
    // the store's files), so that opening a long video leaves the recordings' budget alone.
    StoreOptions store;
    // Every frame is fitted into this size (scaled to fit, centred on `background`); an empty
    // size means the first frame's size.
    QSize fitTo;
    QColor background = Qt::transparent;
    // Called after each frame with the frames read and those expected (0 when unknown), from
    // the thread that opens; returning false stops the opening (cancelled).
    std::function<bool(qint64 done, qint64 expected)> progress;
};

inline constexpr qint64 kOpenedMemoryBudget = qint64{256} << 20;

// The picture files expandOpenPaths() takes from a folder.
QStringList folderPicturePatterns();

// The files that `paths` name, in the order they are read: a folder gives its picture files,
// several paths are read in natural order of their names. Empty with the reason in `error`
// when a folder holds no picture or nothing is named.
QStringList expandOpenPaths(const QStringList& paths, OpenError* error);

// Reads every frame of the files (GIF, WebP, pictures, video; see expandOpenPaths()) into a
// new store, one frame at a time, so memory holds only a few frames whatever the length. Any
// thread; blocks until done.
std::variant<OpenedFrames, OpenError> openAnimation(const QStringList& paths,
                                                    const OpenOptions& options);

// `image` scaled to fit inside `size` with its proportions kept, centred on `background`;
// the image itself when it has that size already.
Image fitFrame(const Image& image, QSize size, const QColor& background);

}  // namespace mirelo
