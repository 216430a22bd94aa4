#pragma once

#include "convert/FrameArena.h"
#include "convert/FrameLoader.h"
#include "export/ExportTypes.h"
#include "image/Image.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace mirelo::convert {

// A GIF's frames decoded alongside its encoding. The encoder reads the
// frames its palette samples (a few spread over the animation, in order),
// then every frame about in order, from a few threads, most once and some
// twice (see ExporterGIF.cpp). The sampled frames come from a loader of
// their own; the rest from a loader that decodes in order a few frames ahead
// of the newest frame asked for, and the last few frames handed out are kept
// for a second ask. So only a few frames are held at once, and their memory
// is reused. A frame asked for outside that pattern is decoded on the
// caller's thread: slower, never wrong.
class GifFrames {
public:
    GifFrames(const QDir& folder, const QStringList& names, const CancelFlag& cancel, int threads);

    size_t count() const { return size_t(m_names.size()); }

    // Frame `index`; null when it cannot be read (firstError() says why) or
    // once cancelled. Any thread.
    Image frame(size_t index);

    // Why the first frame that could not be read could not; empty when
    // every frame asked for was read.
    QString firstError() const;

private:
    Image keptFrame(size_t index) const;
    void noteError(size_t index, const QString& error);

    const QDir m_folder;
    const QStringList m_names;
    const CancelFlag m_cancel;
    const std::vector<int> m_sampled;
    const size_t m_keep;
    // Shared by the loaders: the in-order one reuses the sampled frames' memory.
    FrameArena m_arena;
    FrameLoader m_inOrder;

    std::mutex m_pullMutex;  // held while a loader is asked for a frame
    std::optional<FrameLoader> m_sampleLoader;
    size_t m_sampledNext = 0;  // the first sampled frame not yet asked for
    size_t m_next = 0;         // the next frame to take from m_inOrder

    mutable std::mutex m_mutex;
    std::deque<std::pair<size_t, Image>> m_kept;
    std::map<size_t, QString> m_errors;
};

}  // namespace mirelo::convert
