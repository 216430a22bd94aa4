// Animated and still WebP files through libwebpdemux's animation decoder, which composites
// every frame onto the canvas (blending and disposal) as the format defines.
#include "import/AnimationDecoder.h"

#include "image/ImageServices.h"

#include <QFile>

#include <webp/demux.h>

namespace mirelo {

namespace {

class WebPDecoder final : public AnimationDecoder {
public:
    explicit WebPDecoder(const QString& path) { m_path = path; }
    ~WebPDecoder() override {
        if (m_decoder) {
            WebPAnimDecoderDelete(m_decoder);
        }
    }

    bool start() {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(OpenProblem::cannotRead, file.errorString());
            return false;
        }
        m_bytes = file.readAll();
        const WebPData data{reinterpret_cast<const uint8_t*>(m_bytes.constData()),
                            size_t(m_bytes.size())};
        // The canvas size first, from the container alone: the decoder makes the canvas.
        WebPDemuxer* demux = WebPDemux(&data);
        if (!demux) {
            fail(OpenProblem::damaged, QStringLiteral("not a complete WebP file"));
            return false;
        }
        m_size = QSize(int(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH)),
                       int(WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT)));
        m_expected = WebPDemuxGetI(demux, WEBP_FF_FRAME_COUNT);
        WebPDemuxDelete(demux);
        if (!sizeAllowed(m_size)) {
            return false;
        }
        if (m_expected > kMaxOpenFrames) {
            fail(OpenProblem::tooManyFrames);
            m_failure->limit = kMaxOpenFrames;
            return false;
        }
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options)) {
            fail(OpenProblem::unsupportedCodec);
            return false;
        }
        options.color_mode = MODE_rgbA;  // premultiplied, as the standard surface
        options.use_threads = 1;
        m_decoder = WebPAnimDecoderNew(&data, &options);
        if (!m_decoder) {
            fail(OpenProblem::damaged, QStringLiteral("the WebP decoder refused the file"));
            return false;
        }
        return true;
    }

    QSize size() const override { return m_size; }
    qint64 expectedFrames() const override { return m_expected; }

    std::optional<DecodedFrame> next() override {
        if (!m_decoder || m_failure || !WebPAnimDecoderHasMoreFrames(m_decoder)) {
            return std::nullopt;
        }
        uint8_t* pixels = nullptr;
        int timestamp = 0;  // when the frame ends, in milliseconds
        if (!WebPAnimDecoderGetNext(m_decoder, &pixels, &timestamp)) {
            return fail(OpenProblem::damaged, QStringLiteral("a frame cannot be decoded"));
        }
        const int duration = timestamp - m_lastTimestamp;
        m_lastTimestamp = timestamp;
        Image image = ImageServices::fromBytes(pixels, m_size.width(), m_size.height(),
                                               qsizetype(m_size.width()) * 4);
        if (image.isNull()) {
            return fail(OpenProblem::tooLarge);
        }
        // A still picture, or a frame without a duration, shows for a tenth of a second.
        return DecodedFrame{std::move(image), duration > 0 ? duration / 1000.0 : 0.1};
    }

private:
    QByteArray m_bytes;  // the decoder reads from it
    WebPAnimDecoder* m_decoder = nullptr;
    QSize m_size;
    qint64 m_expected = 0;
    int m_lastTimestamp = 0;
};

}  // namespace

std::unique_ptr<AnimationDecoder> openWebPDecoder(const QString& path, OpenError* error) {
    auto decoder = std::make_unique<WebPDecoder>(path);
    if (!decoder->start()) {
        if (error) {
            *error = *decoder->failure();
        }
        return nullptr;
    }
    return decoder;
}

}  // namespace mirelo
