// Animated PNG: each frame's image data put back together as a PNG of its own (the file's
// header chunks with the frame's size, its IDAT or fdAT data), decoded by Qt, and composited
// onto the canvas with the frame's blend and disposal operations. A PNG without an animation
// control chunk is a still picture and not read here.
#include "import/AnimationDecoder.h"

#include "image/ImageServices.h"

#include <QFile>
#include <QImage>
#include <QPainter>

#include <zlib.h>

#include <cstring>

namespace mirelo {

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";

uint32_t be32(const char* p) {
    const auto* u = reinterpret_cast<const uchar*>(p);
    return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | u[3];
}

void putBe32(QByteArray& out, uint32_t value) {
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    out.append(bytes, 4);
}

void putChunk(QByteArray& out, const char* type, const QByteArray& data) {
    putBe32(out, uint32_t(data.size()));
    QByteArray body(type, 4);
    body += data;
    out += body;
    putBe32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.constData()),
                                uInt(body.size()))));
}

struct Chunk {
    QByteArray type;
    QByteArray data;
};

class ApngDecoder final : public AnimationDecoder {
public:
    explicit ApngDecoder(const QString& path) { m_path = path; }

    // False with a failure when the file is broken; true with isAnimated() false for a PNG
    // without animation.
    bool start() {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(OpenProblem::cannotRead, file.errorString());
            return false;
        }
        const QByteArray bytes = file.readAll();
        if (!bytes.startsWith(QByteArray(kSignature, 8))) {
            fail(OpenProblem::damaged);
            return false;
        }
        qsizetype at = 8;
        while (at + 12 <= bytes.size()) {
            const uint32_t length = be32(bytes.constData() + at);
            if (length > uint32_t(bytes.size() - at - 12)) {
                fail(OpenProblem::damaged, QStringLiteral("a chunk runs past the end"));
                return false;
            }
            m_chunks.push_back({bytes.mid(at + 4, 4), bytes.mid(at + 8, qsizetype(length))});
            at += 12 + qsizetype(length);
            if (m_chunks.back().type == "IEND") {
                break;
            }
        }
        for (const Chunk& chunk : m_chunks) {
            if (chunk.type == "IHDR" && chunk.data.size() == 13) {
                m_header = chunk.data;
                m_size =
                    QSize(int(std::min<uint32_t>(be32(chunk.data.constData()), INT32_MAX)),
                          int(std::min<uint32_t>(be32(chunk.data.constData() + 4), INT32_MAX)));
            } else if (chunk.type == "acTL" && chunk.data.size() == 8) {
                m_animated = true;
                m_expected = be32(chunk.data.constData());
            }
        }
        if (m_header.isEmpty()) {
            fail(OpenProblem::damaged, QStringLiteral("no IHDR chunk"));
            return false;
        }
        if (!m_animated) {
            return true;
        }
        if (!sizeAllowed(m_size)) {
            return false;
        }
        m_canvas = ImageServices::createSurface(m_size.width(), m_size.height());
        if (m_canvas.isNull()) {
            fail(OpenProblem::tooLarge);
            return false;
        }
        return true;
    }

    bool isAnimated() const { return m_animated; }
    QSize size() const override { return m_size; }
    qint64 expectedFrames() const override { return m_expected; }

    std::optional<DecodedFrame> next() override {
        if (m_failure || !m_animated) {
            return std::nullopt;
        }
        // Undo what the frame before asked to undo once shown.
        if (m_dispose == 1) {
            QPainter painter(&m_canvas);
            painter.setCompositionMode(QPainter::CompositionMode_Clear);
            painter.fillRect(m_rect, Qt::transparent);
        } else if (m_dispose == 2 && !m_saved.isNull()) {
            QPainter painter(&m_canvas);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(m_rect.topLeft(), m_saved);
        }
        m_dispose = 0;
        // The next fcTL and the data after it.
        const Chunk* control = nullptr;
        QByteArray data;
        for (; m_next < m_chunks.size(); ++m_next) {
            const Chunk& chunk = m_chunks[m_next];
            if (chunk.type == "fcTL") {
                if (control) {
                    break;
                }
                control = &chunk;
            } else if (control && chunk.type == "IDAT") {
                data += chunk.data;
            } else if (control && chunk.type == "fdAT" && chunk.data.size() >= 4) {
                data += chunk.data.mid(4);
            }
        }
        if (!control) {
            return std::nullopt;
        }
        if (control->data.size() != 26 || data.isEmpty()) {
            return fail(OpenProblem::damaged, QStringLiteral("a broken frame control chunk"));
        }
        if (++m_frames > kMaxOpenFrames) {
            fail(OpenProblem::tooManyFrames);
            m_failure->limit = kMaxOpenFrames;
            return std::nullopt;
        }
        const char* c = control->data.constData();
        // Checked in 64 bits before a rectangle is made of it: the fields are any 32-bit values.
        const uint64_t width = be32(c + 4), height = be32(c + 8);
        const uint64_t left = be32(c + 12), top = be32(c + 16);
        if (width < 1 || height < 1 || left + width > uint64_t(m_size.width()) ||
            top + height > uint64_t(m_size.height())) {
            return fail(OpenProblem::damaged, QStringLiteral("a frame outside the canvas"));
        }
        const QRect rect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                         static_cast<int>(height));
        const int delayNum = (uchar(c[20]) << 8) | uchar(c[21]);
        const int delayDen = (uchar(c[22]) << 8) | uchar(c[23]);
        const int dispose = uchar(c[24]);
        const int blend = uchar(c[25]);
        // The frame as a PNG of its own.
        QByteArray png(kSignature, 8);
        QByteArray header = m_header;
        header.replace(0, 4, QByteArray(c + 4, 4));
        header.replace(4, 4, QByteArray(c + 8, 4));
        putChunk(png, "IHDR", header);
        for (const Chunk& chunk : m_chunks) {
            if (chunk.type == "PLTE" || chunk.type == "tRNS" || chunk.type == "gAMA" ||
                chunk.type == "cHRM" || chunk.type == "sRGB" || chunk.type == "iCCP") {
                putChunk(png, chunk.type.constData(), chunk.data);
            }
        }
        putChunk(png, "IDAT", data);
        putChunk(png, "IEND", {});
        QImage image;
        if (!image.loadFromData(png, "PNG") || image.size() != rect.size()) {
            return fail(OpenProblem::damaged, QStringLiteral("a frame cannot be decoded"));
        }
        m_rect = rect;
        m_dispose = dispose;
        if (dispose == 2) {
            m_saved = m_canvas.copy(rect);
        }
        {
            QPainter painter(&m_canvas);
            painter.setCompositionMode(blend == 1 ? QPainter::CompositionMode_SourceOver
                                                  : QPainter::CompositionMode_Source);
            painter.drawImage(rect.topLeft(), image);
        }
        // A delay of 0 plays as a tenth of a second, as with GIFs.
        const double delay =
            delayNum == 0 ? 0.1 : double(delayNum) / (delayDen == 0 ? 100 : delayDen);
        Image frame = Image::fromQImage(m_canvas.copy());
        if (frame.isNull()) {
            return fail(OpenProblem::tooLarge);
        }
        return DecodedFrame{std::move(frame), std::max(delay, 0.01)};
    }

private:
    std::vector<Chunk> m_chunks;
    QByteArray m_header;
    QSize m_size;
    bool m_animated = false;
    qint64 m_expected = 0;
    QImage m_canvas;
    QImage m_saved;
    QRect m_rect;
    int m_dispose = 0;
    size_t m_next = 0;
    qint64 m_frames = 0;
};

}  // namespace

std::unique_ptr<AnimationDecoder> openApngDecoder(const QString& path, OpenError* error) {
    auto decoder = std::make_unique<ApngDecoder>(path);
    if (!decoder->start()) {
        if (error) {
            *error = *decoder->failure();
        }
        return nullptr;
    }
    if (!decoder->isAnimated()) {
        return openPictureDecoder(path, error);
    }
    return decoder;
}

}  // namespace mirelo
