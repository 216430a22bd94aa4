#include "convert/GifFrames.h"

#include "export/GIFQuantizer.h"

#include <algorithm>

namespace mirelo::convert {

GifFrames::GifFrames(const QDir& folder, const QStringList& names, const CancelFlag& cancel,
                     int threads)
    : m_folder(folder),
      m_names(names),
      m_cancel(cancel),
      m_sampled(GIFQuantizer::sampledFrameIndices(int(names.size()))),
      m_keep(size_t(2 * threads + 2)),
      m_inOrder(folder, names, cancel, threads, 2 * threads + 2, &m_arena) {
    QStringList sampledNames;
    for (int index : m_sampled) {
        sampledNames << names[index];
    }
    m_sampleLoader.emplace(folder, sampledNames, cancel, threads, int(sampledNames.size()),
                           &m_arena);
}

Image GifFrames::frame(size_t index) {
    if (index >= count()) {
        return {};
    }
    {
        std::lock_guard lock(m_mutex);
        if (Image kept = keptFrame(index); !kept.isNull()) {
            return kept;
        }
    }
    std::unique_lock pull(m_pullMutex);
    if (m_sampleLoader) {
        // Sampled frames asked for in order, before any other.
        const auto at = std::lower_bound(m_sampled.begin() + std::ptrdiff_t(m_sampledNext),
                                         m_sampled.end(), int(index));
        if (at != m_sampled.end() && *at == int(index)) {
            const size_t k = size_t(at - m_sampled.begin());
            m_sampledNext = k + 1;
            Image image = m_sampleLoader->frame(k);
            if (image.isNull()) {
                noteError(index, m_sampleLoader->error(k));
            }
            return image;
        }
        m_sampleLoader.reset();
    }
    {
        std::lock_guard lock(m_mutex);
        if (Image kept = keptFrame(index); !kept.isNull()) {
            return kept;
        }
    }
    if (index >= m_next) {
        Image image;
        for (; m_next <= index; ++m_next) {
            image = m_inOrder.frame(m_next);
            if (image.isNull()) {
                noteError(m_next, m_inOrder.error(m_next));
                return {};
            }
            std::lock_guard lock(m_mutex);
            m_kept.emplace_back(m_next, image);
            if (m_kept.size() > m_keep) {
                m_kept.pop_front();
            }
        }
        return image;
    }
    pull.unlock();
    FrameLoader alone(m_folder, {m_names[qsizetype(index)]}, m_cancel, 1, 1, &m_arena);
    Image image = alone.frame(0);
    if (image.isNull()) {
        noteError(index, alone.error(0));
    }
    return image;
}

QString GifFrames::firstError() const {
    std::lock_guard lock(m_mutex);
    return m_errors.empty() ? QString() : m_errors.begin()->second;
}

Image GifFrames::keptFrame(size_t index) const {
    for (const auto& [kept, image] : m_kept) {
        if (kept == index) {
            return image;
        }
    }
    return {};
}

void GifFrames::noteError(size_t index, const QString& error) {
    std::lock_guard lock(m_mutex);
    if (!error.isEmpty()) {
        m_errors.emplace(index, error);
    }
}

}  // namespace mirelo::convert
