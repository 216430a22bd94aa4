// The geometry operations of EditorState: crop, resize, quarter turns and
// mirrors of every frame, with the overlays following.
#include "editor/EditorState.h"

#include "image/ImageServices.h"
#include "image/ImageTransforms.h"

#include <QtConcurrent/QtConcurrentMap>

#include <QFile>

#include <cmath>
#include <limits>

namespace mirelo {

namespace {

// Overlays thinner or lower than this after a geometry change are dropped.
constexpr double kMinOverlaySide = 2.0;

// A crop rectangle narrower or lower than this does nothing.
constexpr double kMinCropSide = 10.0;

bool isFinite(const QRectF& r) {
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) &&
           std::isfinite(r.height());
}

// MemAvailable of /proc/meminfo in bytes; a large number when unknown, so
// that only a known shortage refuses anything.
qint64 systemAvailableMemory() {
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        while (!meminfo.atEnd()) {
            const QByteArray line = meminfo.readLine();
            if (line.startsWith("MemAvailable:")) {
                bool ok = false;
                const qint64 kb = line.mid(13).trimmed().split(' ').value(0).toLongLong(&ok);
                if (ok) {
                    return kb * 1024;
                }
            }
        }
    }
    return std::numeric_limits<qint64>::max();
}

QString gigabytes(double bytes) {
    return QString::number(bytes / 1e9, 'f', 1);
}

}  // namespace

void EditorState::setAvailableMemoryProbe(std::function<qint64()> probe) {
    m_availableMemory = std::move(probe);
}

QString EditorState::resizeRefusal(const QSizeF& newSize) const {
    const double w = std::round(newSize.width());
    const double h = std::round(newSize.height());
    if (!(w >= 1 && h >= 1)) {
        return {};
    }
    const double needed = double(frameCount()) * w * h * 4.0;
    const double available =
        double(m_availableMemory ? m_availableMemory() : systemAvailableMemory());
    if (needed <= available * 0.75) {
        return {};
    }
    return QStringLiteral(
               "缩放后的帧需要约 %1 GB 内存，超过可用内存（约 %2 GB），请选择更小的尺寸。")
        .arg(gigabytes(needed), gigabytes(available));
}

void EditorState::startCrop() {
    pause();
    const QSizeF frame = imageSize();
    setCropRect(QRectF(0, 0, frame.width(), frame.height()));
    setCropping(true);
}

void EditorState::cancelCrop() {
    setCropping(false);
}

void EditorState::applyCrop() {
    if (!m_isCropping) {
        return;
    }
    setCropping(false);
    const QRectF crop = m_cropRect;
    if (!isFinite(crop) || !(crop.width() >= kMinCropSide) || !(crop.height() >= kMinCropSide)) {
        return;
    }
    const QRect pixels = ImageServices::integralRect(crop);
    // A rectangle wholly off the frames would keep every frame while moving
    // the overlays off them: crop mode just ends.
    const QSizeF frame = imageSize();
    if (pixels.intersected(QRect(0, 0, int(frame.width()), int(frame.height()))).isEmpty()) {
        return;
    }
    const QRectF kept(0, 0, crop.width(), crop.height());
    mutateAllFrames(
        [&](OverlayItem& item) {
            item.moveBy(-crop.x(), -crop.y());
            if (auto* sticker = std::get_if<StickerOverlay>(&item.content)) {
                sticker->rect = sticker->rect.intersected(kept);
            } else if (auto* mosaic = std::get_if<MosaicOverlay>(&item.content)) {
                mosaic->rect = mosaic->rect.intersected(kept);
            }
        },
        // A view of the source's pixels, clipped to the frame; null (the
        // frame stays) when nothing of it is left.
        [pixels](const Image& image) { return ImageServices::subImage(image, pixels); });
}

void EditorState::resize(const QSizeF& newSize) {
    if (!std::isfinite(newSize.width()) || !std::isfinite(newSize.height())) {
        return;
    }
    // Halves round away from zero.
    const double w = std::round(newSize.width());
    const double h = std::round(newSize.height());
    // A size no frame can take would leave every frame as it is while the
    // overlays scaled away from them: nothing happens then.
    if (!(w >= 1 && h >= 1 && w * h <= double(ImageServices::kMaxSurfacePixels)) ||
        !resizeRefusal(newSize).isEmpty()) {
        return;
    }
    const QSizeF oldSize = imageSize();
    mutateAllFrames([&](OverlayItem& item) { item.applyResize(oldSize, newSize); },
                    [width = int(w), height = int(h)](const Image& image) {
                        return ImageServices::scaled(image, width, height);
                    });
}

void EditorState::rotate(bool clockwise) {
    const QSizeF oldSize = imageSize();
    mutateAllFrames(
        [&](OverlayItem& item) { item.applyRotate90(clockwise, oldSize); },
        [clockwise](const Image& image) { return ImageTransforms::rotated90(image, clockwise); });
}

void EditorState::flip(bool horizontal) {
    const QSizeF size = imageSize();
    mutateAllFrames(
        [&](OverlayItem& item) { item.applyFlip(horizontal, size); },
        [horizontal](const Image& image) { return ImageTransforms::flipped(image, horizontal); });
}

void EditorState::mutateAllFrames(const OverlayTransform& overlayTransform,
                                  const FrameTransform& frameTransform) {
    if (m_frames.isEmpty()) {
        return;
    }
    snapshot();

    // Every frame is independent: the transforms run on the global pool (both
    // cores here) and the results come back in frame order, exactly as one
    // thread would give them.
    const QList<Image> sources = [&] {
        QList<Image> images;
        images.reserve(m_frames.size());
        for (const EditorFrame& frame : m_frames) {
            images.push_back(frame.image);
        }
        return images;
    }();
    const QList<Image> results = QtConcurrent::blockingMapped<QList<Image>>(
        sources, [&frameTransform](const Image& image) { return frameTransform(image); });

    FrameList frames = m_frames;
    for (qsizetype i = 0; i < frames.size(); ++i) {
        if (!results[i].isNull()) {
            frames[i].image = results[i];
        }
    }
    setFrames(std::move(frames));

    if (!overlayTransform) {
        return;
    }
    OverlayList overlays = m_overlays;
    for (OverlayItem& item : overlays) {
        overlayTransform(item);
    }
    overlays.removeIf([](const OverlayItem& item) {
        const QRectF box = item.bounds();
        return !(box.width() >= kMinOverlaySide) || !(box.height() >= kMinOverlaySide);
    });
    const bool selectionGone =
        !m_selectedOverlayID.isNull() &&
        std::none_of(overlays.cbegin(), overlays.cend(),
                     [&](const OverlayItem& item) { return item.id == m_selectedOverlayID; });
    setOverlays(std::move(overlays));
    if (selectionGone) {
        setSelectedOverlayID(QUuid());
    }
}

}  // namespace mirelo
