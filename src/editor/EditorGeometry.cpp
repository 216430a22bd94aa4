// The geometry operations of EditorState: crop, resize, quarter turns and
// mirrors of every frame, with the overlays following.
#include "editor/EditorState.h"
#include "editor/GeometryRunner.h"

#include "image/ImageServices.h"
#include "image/ImageTransforms.h"

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

}  // namespace

void EditorState::setAvailableMemoryProbe(std::function<qint64()> probe) {
    m_availableMemory = std::move(probe);
}

std::optional<MemoryShortage> EditorState::resizeRefusal(const QSizeF& newSize) const {
    const double w = std::round(newSize.width());
    const double h = std::round(newSize.height());
    if (!(w >= 1 && h >= 1) || m_frameSinkFactory) {
        return {};
    }
    const double needed = double(frameCount()) * w * h * 4.0;
    const double available =
        double(m_availableMemory ? m_availableMemory() : systemAvailableMemory());
    if (needed <= available * 0.75) {
        return {};
    }
    return MemoryShortage{needed, available};
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
        GeometryOperation::crop,
        [crop, kept](OverlayItem& item) {
            item.moveBy(-crop.x(), -crop.y());
            if (auto* sticker = std::get_if<StickerOverlay>(&item.content)) {
                sticker->rect = sticker->rect.intersected(kept);
            } else if (auto* mosaic = std::get_if<MosaicOverlay>(&item.content)) {
                mosaic->rect = mosaic->rect.intersected(kept);
            } else if (auto* caption = std::get_if<KeyCaptionOverlay>(&item.content)) {
                caption->frameSize = kept.size();  // placed anew on the cropped frames
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
        resizeRefusal(newSize)) {
        return;
    }
    const QSizeF oldSize = imageSize();
    mutateAllFrames(
        GeometryOperation::resize,
        [oldSize, newSize](OverlayItem& item) { item.applyResize(oldSize, newSize); },
        [width = int(w), height = int(h)](const Image& image) {
            return ImageServices::scaled(image, width, height);
        });
}

void EditorState::rotate(bool clockwise) {
    const QSizeF oldSize = imageSize();
    mutateAllFrames(
        GeometryOperation::rotate,
        [clockwise, oldSize](OverlayItem& item) { item.applyRotate90(clockwise, oldSize); },
        [clockwise](const Image& image) { return ImageTransforms::rotated90(image, clockwise); });
}

void EditorState::flip(bool horizontal) {
    const QSizeF size = imageSize();
    mutateAllFrames(
        GeometryOperation::flip,
        [horizontal, size](OverlayItem& item) { item.applyFlip(horizontal, size); },
        [horizontal](const Image& image) { return ImageTransforms::flipped(image, horizontal); });
}

// One geometry operation on its way: the frames it started from, the worker thread making the
// new ones, and what it made. The worker writes `results`, `error` and `failed` before it
// posts its end; the main thread reads them only after joining it.
struct EditorState::GeometryJob {
    quint64 serial = 0;
    OverlayTransform overlayTransform;
    std::unique_ptr<GeometryRunner> runner;
};

void EditorState::setFrameSinkFactory(FrameSinkFactory factory) {
    m_frameSinkFactory = std::move(factory);
}

void EditorState::mutateAllFrames(GeometryOperation operation, OverlayTransform overlayTransform,
                                  FrameTransform frameTransform) {
    if (m_frames.isEmpty() || m_geometryJob) {
        return;
    }
    auto job = std::make_shared<GeometryJob>();
    std::unique_ptr<FrameSink> sink;
    if (m_frameSinkFactory) {
        const double delay = m_frames.constFirst().delay;
        QString error;
        sink = m_frameSinkFactory(delay > 0 ? 1.0 / delay : 1.0, &error);
        if (!sink) {
            emit refused(EditorRefusal{EditorRefusal::Kind::frameStore, {}, error});
            return;
        }
    }
    job->serial = ++m_geometrySerial;
    job->overlayTransform = std::move(overlayTransform);
    m_geometryJob = job;
    m_geometryOperation = operation;
    emit geometryStarted(frameCount());
    // The runner's calls come from its thread: they reach this object as
    // events, and only while the job is still the one running.
    GeometryRunner::Callbacks callbacks;
    callbacks.progress = [this, s = job->serial](int done, int total) {
        QMetaObject::invokeMethod(
            this,
            [this, s, done, total] {
                if (m_geometryJob && m_geometryJob->serial == s) {
                    emit geometryProgress(done, total);
                }
            },
            Qt::QueuedConnection);
    };
    callbacks.ended = [this, s = job->serial] {
        QMetaObject::invokeMethod(
            this, [this, s] { geometryEnded(s); }, Qt::QueuedConnection);
    };
    job->runner = std::make_unique<GeometryRunner>(m_frames, std::move(frameTransform),
                                                   std::move(sink), std::move(callbacks));
}

void EditorState::stopGeometryJob() {
    if (!m_geometryJob) {
        return;
    }
    const std::shared_ptr<GeometryJob> job = std::move(m_geometryJob);
    job->runner->cancel();
}

void EditorState::cancelGeometry() {
    if (!m_geometryJob) {
        return;
    }
    stopGeometryJob();
    emit geometryFinished();
}

void EditorState::waitForGeometry() {
    if (!m_geometryJob) {
        return;
    }
    m_geometryJob->runner->wait();
    geometryEnded(m_geometryJob->serial);
}

void EditorState::geometryEnded(quint64 serial) {
    if (!m_geometryJob || m_geometryJob->serial != serial) {
        return;  // cancelled, or landed already by waitForGeometry()
    }
    const std::shared_ptr<GeometryJob> job = std::move(m_geometryJob);
    GeometryRunner& runner = *job->runner;
    runner.wait();
    // The frames they were made from must still be the model's: an edit of the frame list in
    // the meantime would be lost otherwise.
    const bool current =
        std::equal(m_frames.cbegin(), m_frames.cend(), runner.source().cbegin(),
                   runner.source().cend(), [](const EditorFrame& a, const EditorFrame& b) {
                       return a.id == b.id && a.image.cacheKey() == b.image.cacheKey();
                   });
    if (runner.failed() || !current) {
        emit geometryFinished();
        if (runner.failed()) {
            emit refused(EditorRefusal{EditorRefusal::Kind::frameStore, {}, runner.error()});
        }
        return;
    }
    snapshot();
    FrameList frames = m_frames;
    std::vector<Image> results = runner.takeResults();
    for (qsizetype i = 0; i < frames.size(); ++i) {
        Image& made = results[size_t(i)];
        if (!made.isNull()) {
            frames[i].image = std::move(made);
        }
    }
    results.clear();
    setFrames(std::move(frames));
    applyOverlayTransform(job->overlayTransform);
    emit geometryFinished();
}

void EditorState::applyOverlayTransform(const OverlayTransform& overlayTransform) {
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
