#pragma once

#include "convert/FrameArena.h"
#include "export/ExportTypes.h"
#include "image/Image.h"
#include "image/OrderedPipeline.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <mutex>
#include <vector>

namespace mirelo::convert {

// Decodes a folder's frames on worker threads a few frames ahead of the one
// the caller asks for, so decoding overlaps with what the caller does with
// the frames (encoding them), and memory holds only the frames in flight
// when the caller lets each one go. Frames are asked for in increasing order.
class FrameLoader {
public:
    // `threads` decoding threads keep at most `ahead` frames decoded (or
    // being decoded) beyond the one asked for last; both at least 1.
    // Frames are decoded into `arena` when given (it must outlive the
    // loader), so loaders that take turns reuse each other's memory; else
    // into an arena of the loader's own.
    FrameLoader(const QDir& folder, const QStringList& names, const CancelFlag& cancel, int threads,
                int ahead, FrameArena* arena = nullptr);
    // Stops the workers, dropping whatever they decoded and nobody took.
    ~FrameLoader();
    FrameLoader(const FrameLoader&) = delete;
    FrameLoader& operator=(const FrameLoader&) = delete;

    size_t count() const { return m_paths.size(); }

    // Frame `index`, waiting until it is decoded. Earlier frames not taken
    // are dropped: ask for each index at most once, in increasing order.
    // Null when the file cannot be read (error() says why) or once `cancel`
    // is set.
    Image frame(size_t index);

    // Why frame `index` could not be read: "cannot read image PATH: REASON";
    // empty when it was read or was never tried.
    QString error(size_t index) const;

private:
    // A file decoded: its image, or why there is none.
    struct Decoded {
        Image image;
        QString error;
    };
    Decoded decode(size_t index);

    std::vector<QString> m_paths;
    const CancelFlag m_cancel;
    FrameArena m_ownArena;
    FrameArena& m_arena;

    mutable std::mutex m_errorMutex;
    std::vector<QString> m_errors;
    // Last: its workers use the members above, and end first.
    IndexedPipeline<Decoded> m_pipeline;
};

}  // namespace mirelo::convert
