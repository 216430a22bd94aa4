#include "convert/FrameLoader.h"

#include "image/PictureFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <chrono>

namespace mirelo::convert {

FrameLoader::FrameLoader(const QDir& folder, const QStringList& names, const CancelFlag& cancel,
                         int threads, int ahead, FrameArena* arena)
    : m_cancel(cancel),
      m_ahead(size_t(std::max(1, ahead))),
      m_arena(arena != nullptr ? *arena : m_ownArena),
      m_frames(size_t(names.size())),
      m_errors(size_t(names.size())),
      m_done(size_t(names.size()), 0) {
    m_paths.reserve(size_t(names.size()));
    for (const QString& name : names) {
        m_paths.push_back(folder.filePath(name));
    }
    const int workers = std::clamp(threads, 1, std::max(1, int(names.size())));
    for (int t = 0; t < workers; ++t) {
        m_workers.emplace_back([this] { work(); });
    }
}

FrameLoader::~FrameLoader() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

void FrameLoader::work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        // Take the next frame once it is within reach of the one asked for.
        m_changed.wait(lock, [this] {
            return m_stop || m_failed || m_next >= m_paths.size() || m_next <= m_wanted + m_ahead;
        });
        if (m_stop || m_failed || m_next >= m_paths.size() || m_cancel.isCancelled()) {
            return;
        }
        const size_t index = m_next++;
        lock.unlock();
        Image image;
        QString error;
        bool fits = true;
        if (QFile file(m_paths[index]); file.open(QIODevice::ReadOnly)) {
            fits = pngChunksFit(file);
        }
        if (!fits) {
            error = QCoreApplication::translate("mirelo::convert",
                                                "无法读取图片 %1:一个 PNG 数据块超出了文件末尾")
                        .arg(m_paths[index]);
        } else {
            QImageReader reader(m_paths[index]);
            reader.setAutoTransform(true);
            image = m_arena.read(reader);
            if (image.isNull()) {
                error = QCoreApplication::translate("mirelo::convert", "无法读取图片 %1:%2")
                            .arg(m_paths[index], reader.errorString());
            }
        }
        lock.lock();
        if (image.isNull()) {
            m_errors[index] = error;
            // Later frames are not needed: the caller stops at this one.
            m_failed = true;
        } else if (index >= m_wanted) {
            m_frames[index] = std::move(image);
            image = Image();
        }
        m_done[index] = 1;
        m_changed.notify_all();
        if (!image.isNull()) {
            // A frame already passed over: let it go without the lock, as
            // giving its memory back takes the arena's.
            lock.unlock();
            image = Image();
            lock.lock();
        }
    }
}

Image FrameLoader::frame(size_t index) {
    if (index >= m_paths.size()) {
        return {};
    }
    std::vector<Image> passed;  // released after the lock
    std::unique_lock lock(m_mutex);
    for (size_t i = m_wanted; i < index; ++i) {
        if (!m_frames[i].isNull()) {
            passed.push_back(std::move(m_frames[i]));
            m_frames[i] = Image();
        }
    }
    m_wanted = std::max(m_wanted, index);
    m_changed.notify_all();
    // Waits in short steps to notice a cancellation set from a signal
    // handler, which cannot notify.
    while (!m_done[index]) {
        if (m_cancel.isCancelled() || ((m_failed || m_stop) && index >= m_next)) {
            return {};
        }
        m_changed.wait_for(lock, std::chrono::milliseconds(50));
    }
    if (m_cancel.isCancelled()) {
        return {};
    }
    Image image = std::move(m_frames[index]);
    m_frames[index] = Image();
    return image;
}

QString FrameLoader::error(size_t index) const {
    std::lock_guard lock(m_mutex);
    return index < m_errors.size() ? m_errors[index] : QString();
}

}  // namespace mirelo::convert
