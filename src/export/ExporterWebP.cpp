#include "export/ExporterWebP.h"

#include "export/AtomicFile.h"
#include "image/ImageServices.h"

#include <QFile>
#include <QPainter>

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace mirelo::Exporter {

namespace WebP {

namespace {
// The effort (libwebp's "quality" for lossless encoding) of lossless frames.
constexpr float kLosslessEffort = 75;
}  // namespace

namespace {

struct AnimEncoderDeleter {
    void operator()(WebPAnimEncoder* encoder) const { WebPAnimEncoderDelete(encoder); }
};
using AnimEncoderPtr = std::unique_ptr<WebPAnimEncoder, AnimEncoderDeleter>;

// A picture that is freed whichever way the frame's step ends.
class Picture {
public:
    Picture() { m_ok = WebPPictureInit(&m_picture) != 0; }
    ~Picture() { WebPPictureFree(&m_picture); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    bool ok() const { return m_ok; }
    WebPPicture* get() { return &m_picture; }

private:
    WebPPicture m_picture;
    bool m_ok = false;
};

// The assembled file's bytes, owned by libwebp until cleared.
class AssembledData {
public:
    AssembledData() { WebPDataInit(&m_data); }
    ~AssembledData() { WebPDataClear(&m_data); }
    AssembledData(const AssembledData&) = delete;
    AssembledData& operator=(const AssembledData&) = delete;
    WebPData* get() { return &m_data; }

private:
    WebPData m_data;
};

bool isOpaque(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        uchar all = 0xFF;
        for (int x = 3; x < image.width() * 4; x += 4) {
            all &= row[x];
        }
        if (all != 0xFF) {
            return false;
        }
    }
    return true;
}

// The frame as straight-alpha RGBA of exactly the canvas size. A frame of
// another size is drawn scaled onto a transparent canvas. libwebp expects
// unpremultiplied samples; for opaque pixels (recorded frames) both forms are
// the same bytes, so those frames are handed over without a copy.
QImage canvasPixels(const Image& frame, int width, int height) {
    if (frame.isNull()) {
        return {};
    }
    if (frame.width() == width && frame.height() == height) {
        const QImage& pixels = frame.qimage();
        return isOpaque(pixels) ? pixels : pixels.convertToFormat(QImage::Format_RGBA8888);
    }
    QImage surface = ImageServices::createSurface(width, height);
    if (surface.isNull()) {
        return {};
    }
    {
        QPainter painter(&surface);
        ImageServices::prepareHighQuality(painter);
        painter.drawImage(QRectF(0, 0, width, height), frame.qimage());
    }
    return surface.convertToFormat(QImage::Format_RGBA8888);
}

}  // namespace

float clampedQuality(int quality) {
    return static_cast<float>(std::clamp(quality, 1, 100));
}

int32_t durationMs(double delay) {
    if (!(delay >= 0.02)) {  // also catches not-a-number
        return 20;
    }
    const double ms = std::round(delay * 1000.0);  // halves away from zero
    return ms >= double(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                             : static_cast<int32_t>(ms);
}

}  // namespace WebP

ExportStatus encodeWebP(const FrameSequence& sequence, const std::vector<double>& delays,
                        const EncodeSettings& settings, const QString& destination,
                        const CancelFlag& cancel, const ProgressFn& progress) {
    using namespace WebP;  // its helpers
    using Kind = ExportError::Kind;
    const size_t count = sequence.count;
    const FrameSource& frames = sequence.frame;
    if (count == 0 || count != delays.size() || !frames) {
        return ExportError::of(Kind::noFrames);
    }
    // The first frame sets the canvas size.
    Image first = frames(0);
    if (first.isNull()) {
        return ExportError::of(Kind::pixelImportFailed);
    }
    const int width = first.width();
    const int height = first.height();

    // One pass per way of storing the frames tried; the smallest file wins.
    // Mixed runs a lossy pass in which libwebp may store any frame lossless
    // instead, beside an all-lossless pass: libwebp's choice is made frame
    // by frame and can miss an animation that is smaller lossless as a whole.
    struct Pass {
        WebPConfig config;
        AnimEncoderPtr encoder;
    };
    std::vector<Pass> passes;
    const auto addPass = [&](bool lossless, bool mixed) -> ExportStatus {
        Pass pass;
        if (WebPConfigInit(&pass.config) == 0) {
            return ExportError::of(Kind::webpConfigInvalid);
        }
        // Lossy frames take the user's quality; lossless ones a fixed effort
        // (libwebp's default), since their pixels are exact whatever it is.
        pass.config.quality = lossless ? kLosslessEffort : clampedQuality(settings.quality);
        pass.config.method = 4;
        pass.config.thread_level = 1;
        pass.config.lossless = lossless ? 1 : 0;
        // Keep the colour of transparent pixels too, so a lossless frame
        // decodes to exactly what went in.
        pass.config.exact = lossless ? 1 : 0;
        if (WebPValidateConfig(&pass.config) == 0) {
            return ExportError::of(Kind::webpConfigInvalid);
        }
        WebPAnimEncoderOptions options;
        if (WebPAnimEncoderOptionsInit(&options) == 0) {
            return ExportError::of(Kind::webpEncoderFailed);
        }
        options.anim_params.bgcolor = 0xFFFFFFFF;  // opaque white
        options.anim_params.loop_count = 0;        // forever
        options.allow_mixed = mixed ? 1 : 0;
        pass.encoder.reset(WebPAnimEncoderNew(width, height, &options));
        if (!pass.encoder) {
            return ExportError::of(Kind::webpEncoderFailed);
        }
        passes.push_back(std::move(pass));
        return std::nullopt;
    };
    {
        const WebPMode mode = settings.webpMode;
        ExportStatus status = addPass(mode == WebPMode::lossless, mode == WebPMode::mixed);
        if (!status && mode == WebPMode::mixed) {
            status = addPass(true, false);
        }
        if (status) {
            return status;
        }
    }

    // Timestamps are kept in 64 bits; libwebp's are 32-bit, so an animation
    // longer than about 24 days is refused at the frame that overflows.
    int64_t timestamp = 0;
    const int total = static_cast<int>(count);
    for (int i = 0; i < total; ++i) {
        if (cancel.isCancelled()) {
            return ExportError::cancelled();
        }
        Picture picture;
        if (!picture.ok()) {
            return ExportError::of(Kind::pixelImportFailed);
        }
        picture.get()->use_argb = 1;
        picture.get()->width = width;
        picture.get()->height = height;
        {
            // The frame is let go once imported: a source may reuse its memory.
            const Image image = i == 0 ? std::exchange(first, Image()) : frames(size_t(i));
            const QImage pixels = image.isNull() ? QImage() : canvasPixels(image, width, height);
            if (pixels.isNull() ||
                WebPPictureImportRGBA(picture.get(), pixels.constBits(),
                                      static_cast<int>(pixels.bytesPerLine())) == 0) {
                return ExportError::of(Kind::pixelImportFailed);
            }
        }
        if (timestamp > std::numeric_limits<int32_t>::max()) {
            return ExportError::frameWriteFailed(i);
        }
        for (Pass& pass : passes) {
            if (WebPAnimEncoderAdd(pass.encoder.get(), picture.get(), static_cast<int>(timestamp),
                                   &pass.config) == 0) {
                return ExportError::frameWriteFailed(i);
            }
        }
        timestamp += durationMs(delays[size_t(i)]);
        if (progress) {
            progress(i + 1, total);
        }
    }
    AssembledData data;
    for (Pass& pass : passes) {
        // The closing call fixes the last frame's duration; its result does
        // not matter (a failure shows up in the assembly).
        WebPAnimEncoderAdd(
            pass.encoder.get(), nullptr,
            static_cast<int>(std::min<int64_t>(timestamp, std::numeric_limits<int32_t>::max())),
            nullptr);
        AssembledData assembled;
        if (WebPAnimEncoderAssemble(pass.encoder.get(), assembled.get()) == 0 ||
            assembled.get()->bytes == nullptr || assembled.get()->size == 0) {
            return ExportError::of(Kind::webpAssembleFailed);
        }
        pass.encoder.reset();
        if (data.get()->size == 0 || assembled.get()->size < data.get()->size) {
            std::swap(*data.get(), *assembled.get());
        }
    }
    if (cancel.isCancelled()) {
        return ExportError::cancelled();
    }

    AtomicFile out(destination);
    if (!out.isOpen()) {
        return fileWriteError(destination, ExportError::Cause::cannotCreate);
    }
    QFile file(out.tempPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return fileWriteError(destination, file.errorString());
    }
    const auto size = static_cast<qint64>(data.get()->size);
    if (file.write(reinterpret_cast<const char*>(data.get()->bytes), size) != size ||
        !file.flush()) {
        return fileWriteError(destination, file.errorString());
    }
    file.close();
    if (!out.commit()) {
        return fileWriteError(destination, ExportError::Cause::cannotReplace);
    }
    return std::nullopt;
}

}  // namespace mirelo::Exporter
