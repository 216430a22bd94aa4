#include "convert/FrameFitting.h"

#include <QImageIOHandler>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace mirelo::convert {

Image fitInto(const Image& frame, QSize size) {
    if (frame.isNull() || size.isEmpty() || frame.size() == size) {
        return frame;
    }
    const double scale =
        std::min(double(size.width()) / frame.width(), double(size.height()) / frame.height());
    const int width = std::clamp(int(std::lround(frame.width() * scale)), 1, size.width());
    const int height = std::clamp(int(std::lround(frame.height() * scale)), 1, size.height());
    const QImage scaled =
        frame.qimage().scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage canvas(size, kStandardFormat);
    if (canvas.isNull() || scaled.isNull()) {
        return {};
    }
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawImage((size.width() - width) / 2, (size.height() - height) / 2, scaled);
    painter.end();
    return Image::fromQImage(canvas);
}

QSize imageFileSize(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() &&
        reader.transformation().testFlag(QImageIOHandler::TransformationRotate90)) {
        size.transpose();
    }
    return size.isValid() ? size : QSize();
}

Image FrameFitter::fit(size_t index, const Image& frame) {
    if (frame.isNull() || m_size.isEmpty() || frame.size() == m_size) {
        return frame;
    }
    {
        std::lock_guard lock(m_mutex);
        if (index < m_fitted.size() && !m_fitted[index]) {
            m_fitted[index] = true;
            ++m_count;
        }
    }
    return fitInto(frame, m_size);
}

int FrameFitter::fittedCount() const {
    std::lock_guard lock(m_mutex);
    return m_count;
}

}  // namespace mirelo::convert
