#include "convert/FrameLoader.h"

#include "image/PictureFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageReader>

#include <algorithm>

namespace mirelo::convert {

FrameLoader::FrameLoader(const QDir& folder, const QStringList& names, const CancelFlag& cancel,
                         int threads, int ahead, FrameArena* arena)
    : m_paths([&] {
          std::vector<QString> paths;
          paths.reserve(size_t(names.size()));
          for (const QString& name : names) {
              paths.push_back(folder.filePath(name));
          }
          return paths;
      }()),
      m_cancel(cancel),
      m_arena(arena != nullptr ? *arena : m_ownArena),
      m_errors(size_t(names.size())),
      m_pipeline(size_t(names.size()), std::clamp(threads, 1, std::max(1, int(names.size()))),
                 size_t(std::max(1, ahead)), [this](size_t index, Decoded& out, int) {
                     // Once cancelled, nothing more is decoded.
                     if (m_cancel.isCancelled()) {
                         return false;
                     }
                     out = decode(index);
                     // Later frames are not needed: the caller stops at this one.
                     return !out.image.isNull();
                 }) {}

FrameLoader::~FrameLoader() = default;

FrameLoader::Decoded FrameLoader::decode(size_t index) {
    Decoded out;
    bool fits = true;
    if (QFile file(m_paths[index]); file.open(QIODevice::ReadOnly)) {
        fits = pngChunksFit(file);
    }
    if (!fits) {
        out.error = QCoreApplication::translate("mirelo::convert",
                                                "无法读取图片 %1:一个 PNG 数据块超出了文件末尾")
                        .arg(m_paths[index]);
        return out;
    }
    QImageReader reader(m_paths[index]);
    reader.setAutoTransform(true);
    out.image = m_arena.read(reader);
    if (out.image.isNull()) {
        out.error = QCoreApplication::translate("mirelo::convert", "无法读取图片 %1:%2")
                        .arg(m_paths[index], reader.errorString());
    }
    return out;
}

Image FrameLoader::frame(size_t index) {
    // Waits in short steps to notice a cancellation set from a signal
    // handler, which cannot wake a waiter.
    std::optional<Decoded> decoded =
        m_pipeline.take(index, [this] { return m_cancel.isCancelled(); });
    if (!decoded) {
        return {};
    }
    if (!decoded->error.isEmpty()) {
        std::lock_guard lock(m_errorMutex);
        m_errors[index] = decoded->error;
    }
    if (m_cancel.isCancelled()) {
        return {};
    }
    return std::move(decoded->image);
}

QString FrameLoader::error(size_t index) const {
    std::lock_guard lock(m_errorMutex);
    return index < m_errors.size() ? m_errors[index] : QString();
}

}  // namespace mirelo::convert
