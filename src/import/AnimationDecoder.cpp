#include "import/AnimationDecoder.h"

#include "image/ImageServices.h"
#include "image/PictureFile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace mirelo {

std::nullopt_t AnimationDecoder::fail(OpenProblem problem, const QString& detail) {
    if (!m_failure) {
        m_failure = OpenError{.problem = problem, .path = m_path, .detail = detail};
    }
    return std::nullopt;
}

bool AnimationDecoder::sizeAllowed(QSize size) {
    if (openableSize(size)) {
        return true;
    }
    fail(OpenProblem::tooLarge);
    m_failure->size = size;
    return false;
}

bool openableSize(QSize size) {
    return size.width() >= 1 && size.height() >= 1 && size.width() <= kMaxOpenSide &&
           size.height() <= kMaxOpenSide &&
           qint64{size.width()} * size.height() <= ImageServices::kMaxSurfacePixels;
}

namespace {

// A still picture as a single frame.
class PictureDecoder final : public AnimationDecoder {
public:
    explicit PictureDecoder(const QString& path) { m_path = path; }

    bool start() {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(OpenProblem::cannotRead, file.errorString());
            return false;
        }
        if (!pngChunksFit(file)) {
            fail(OpenProblem::damaged, QStringLiteral("a PNG chunk runs past the end"));
            return false;
        }
        QImageReader reader(m_path);
        reader.setAutoTransform(true);
        QSize size = reader.size();
        if (reader.transformation() & QImageIOHandler::TransformationRotate90) {
            size.transpose();
        }
        if (size.isValid() && !sizeAllowed(size)) {
            return false;
        }
        QImage image;
        if (!reader.read(&image) || image.isNull()) {
            fail(OpenProblem::damaged, reader.errorString());
            return false;
        }
        if (!sizeAllowed(image.size())) {
            return false;
        }
        m_size = image.size();
        m_image = Image::fromQImage(image);
        if (m_image.isNull()) {
            fail(OpenProblem::tooLarge);
            return false;
        }
        return true;
    }

    QSize size() const override { return m_size; }
    qint64 expectedFrames() const override { return 1; }
    std::optional<DecodedFrame> next() override {
        if (m_image.isNull()) {
            return std::nullopt;
        }
        DecodedFrame frame{m_image, kStillFrameDelay};
        m_image = Image();
        return frame;
    }

private:
    QSize m_size;
    Image m_image;
};

enum class Sniffed { gif, webp, png, other };

Sniffed sniff(const QByteArray& head) {
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) {
        return Sniffed::gif;
    }
    if (head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP") {
        return Sniffed::webp;
    }
    if (head.startsWith("\x89PNG\r\n\x1a\n")) {
        return Sniffed::png;
    }
    return Sniffed::other;
}

}  // namespace

std::unique_ptr<AnimationDecoder> openPictureDecoder(const QString& path, OpenError* error) {
    auto decoder = std::make_unique<PictureDecoder>(path);
    if (!decoder->start()) {
        if (error) {
            *error = *decoder->failure();
        }
        return nullptr;
    }
    return decoder;
}

std::unique_ptr<AnimationDecoder> openDecoder(const QString& path, OpenError* error) {
    const auto refuse = [&](OpenProblem problem, const QString& detail = {}) {
        if (error) {
            *error = OpenError{.problem = problem, .path = path, .detail = detail};
        }
        return nullptr;
    };
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        return refuse(OpenProblem::cannotRead, file.errorString());
    }
    const QByteArray head = file.read(16);
    if (head.isEmpty()) {
        return refuse(file.size() == 0 ? OpenProblem::emptyFile : OpenProblem::cannotRead);
    }
    file.close();
    switch (sniff(head)) {
        case Sniffed::gif:
            return openGifDecoder(path, error);
        case Sniffed::webp:
            return openWebPDecoder(path, error);
        case Sniffed::png:
            return openApngDecoder(path, error);
        default:
            break;
    }
    if (!QImageReader::imageFormat(path).isEmpty()) {
        return openPictureDecoder(path, error);
    }
    return openVideoDecoder(path, error);
}

}  // namespace mirelo
