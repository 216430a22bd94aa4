// Video files through libavformat and libavcodec: the first picture track's frames at their
// presentation times, each shown until the next one's time, turned as the track's display
// matrix asks.
#include "import/AnimationDecoder.h"

#include "image/ImageServices.h"
#include "image/ImageTransforms.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <mutex>

namespace mirelo {

namespace {

QString avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

class VideoDecoder final : public AnimationDecoder {
public:
    explicit VideoDecoder(const QString& path) { m_path = path; }
    ~VideoDecoder() override {
        sws_freeContext(m_scaler);
        av_frame_free(&m_rgba);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_codec);
        avformat_close_input(&m_format);
    }

    bool start() {
        // The libraries' own notes (a guessed format, a damaged packet) would go to stderr;
        // what matters reaches the caller as a failure.
        static std::once_flag quiet;
        std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
        const QByteArray name = QFile::encodeName(m_path);
        int result = avformat_open_input(&m_format, name.constData(), nullptr, nullptr);
        if (result < 0) {
            fail(result == AVERROR_INVALIDDATA ? OpenProblem::unknownFormat
                                               : OpenProblem::cannotRead,
                 avError(result));
            return false;
        }
        if ((result = avformat_find_stream_info(m_format, nullptr)) < 0) {
            fail(OpenProblem::damaged, avError(result));
            return false;
        }
        const AVCodec* codec = nullptr;
        m_streamIndex = av_find_best_stream(m_format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (m_streamIndex == AVERROR_STREAM_NOT_FOUND) {
            fail(OpenProblem::noVideoStream);
            return false;
        }
        if (m_streamIndex < 0 || !codec) {
            fail(OpenProblem::unsupportedCodec, avError(m_streamIndex));
            return false;
        }
        m_stream = m_format->streams[m_streamIndex];
        const AVCodecParameters* parameters = m_stream->codecpar;
        if (!videoSizeAllowed(QSize(parameters->width, parameters->height))) {
            return false;
        }
        m_codec = avcodec_alloc_context3(codec);
        m_frame = av_frame_alloc();
        m_packet = av_packet_alloc();
        if (!m_codec || !m_frame || !m_packet ||
            avcodec_parameters_to_context(m_codec, parameters) < 0) {
            fail(OpenProblem::unsupportedCodec);
            return false;
        }
        // The decoder itself refuses larger pictures, before it allocates their planes.
        m_codec->max_pixels = kMaxVideoPixels;
        m_codec->thread_count = 0;  // as many as there are cores
        m_codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        if ((result = avcodec_open2(m_codec, codec, nullptr)) < 0) {
            fail(OpenProblem::unsupportedCodec, avError(result));
            return false;
        }
        m_timeBase = av_q2d(m_stream->time_base);
        AVRational rate = m_stream->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) {
            rate = m_stream->r_frame_rate;
        }
        m_interval = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 1.0 / 30;
        if (m_stream->nb_frames > 0) {
            m_expected = m_stream->nb_frames;
        } else if (m_format->duration > 0) {
            m_expected = qint64(double(m_format->duration) / AV_TIME_BASE / m_interval);
        }
        readRotation();
        m_size = QSize(parameters->width, parameters->height);
        if (m_quarterTurns % 2) {
            m_size.transpose();
        }
        return true;
    }

    QSize size() const override { return m_size; }
    qint64 expectedFrames() const override { return m_expected; }

    // Frames come one behind the decoder: a frame's delay is known once the next one's time is.
    std::optional<DecodedFrame> next() override {
        while (!m_failure) {
            std::optional<std::pair<Image, double>> decoded = decodeFrame();
            if (m_failure) {
                return std::nullopt;
            }
            if (!decoded) {
                if (m_pending.isNull()) {
                    if (m_shown == 0 && !m_finished) {
                        m_finished = true;
                        return fail(OpenProblem::noFrames);
                    }
                    return std::nullopt;
                }
                // The last frame shows for one frame interval.
                return takePending(m_interval);
            }
            auto [image, time] = std::move(*decoded);
            if (m_pending.isNull()) {
                m_pending = std::move(image);
                m_pendingTime = time;
                continue;
            }
            if (time <= m_pendingTime) {
                continue;  // a frame at a time already shown adds nothing
            }
            const double delay = time - m_pendingTime;
            std::optional<DecodedFrame> frame = takePending(delay);
            m_pending = std::move(image);
            m_pendingTime = time;
            return frame;
        }
        return std::nullopt;
    }

private:
    // Within what any opened animation may be, and within the pixels a video picture may have
    // (a stream's header and each decoded picture may claim any size).
    bool videoSizeAllowed(QSize size) {
        if (!sizeAllowed(size)) {
            return false;
        }
        if (qint64{size.width()} * size.height() <= kMaxVideoPixels) {
            return true;
        }
        fail(OpenProblem::tooLarge);
        m_failure->size = size;
        m_failure->limit = kMaxVideoPixels;
        return false;
    }

    DecodedFrame takePending(double delay) {
        DecodedFrame frame{std::move(m_pending), delay};
        m_pending = Image();
        ++m_shown;
        return frame;
    }

    void readRotation() {
        size_t size = 0;
        const uint8_t* matrix = av_stream_get_side_data(m_stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
        if (!matrix || size < 9 * sizeof(int32_t)) {
            return;
        }
        const double degrees = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
        if (!std::isfinite(degrees)) {
            return;
        }
        // The matrix turns counter-clockwise; quarter turns clockwise undo it.
        const long turns = std::lround(-degrees / 90.0);
        m_quarterTurns = int(((turns % 4) + 4) % 4);
    }

    // The next picture in presentation order with its time in seconds; nothing at the end.
    std::optional<std::pair<Image, double>> decodeFrame() {
        while (true) {
            int result = avcodec_receive_frame(m_codec, m_frame);
            if (result == 0) {
                return convertFrame();
            }
            if (result == AVERROR_EOF) {
                return std::nullopt;
            }
            if (result != AVERROR(EAGAIN)) {
                fail(OpenProblem::damaged, avError(result));
                return std::nullopt;
            }
            if (m_drained) {
                return std::nullopt;
            }
            // Feed the decoder the next packet of our track, or the end.
            while (true) {
                result = av_read_frame(m_format, m_packet);
                if (result < 0) {
                    m_drained = true;
                    avcodec_send_packet(m_codec, nullptr);
                    break;
                }
                if (m_packet->stream_index != m_streamIndex) {
                    av_packet_unref(m_packet);
                    continue;
                }
                result = avcodec_send_packet(m_codec, m_packet);
                av_packet_unref(m_packet);
                if (result < 0 && result != AVERROR(EAGAIN) && result != AVERROR_INVALIDDATA) {
                    fail(OpenProblem::damaged, avError(result));
                    return std::nullopt;
                }
                break;
            }
        }
    }

    std::optional<std::pair<Image, double>> convertFrame() {
        const int width = m_frame->width;
        const int height = m_frame->height;
        if (!videoSizeAllowed(QSize(width, height))) {
            av_frame_unref(m_frame);
            return std::nullopt;
        }
        const auto format = AVPixelFormat(m_frame->format);
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
        const bool alpha = descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA);
        m_scaler = sws_getCachedContext(m_scaler, width, height, format, width, height,
                                        AV_PIX_FMT_RGBA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        // The scaler may write past the end of a row, so it writes into a frame of its own
        // library's padding, and the image is copied out of it.
        if (m_scaler && (!m_rgba || m_rgba->width != width || m_rgba->height != height)) {
            av_frame_free(&m_rgba);
            m_rgba = av_frame_alloc();
            if (m_rgba) {
                m_rgba->format = AV_PIX_FMT_RGBA;
                m_rgba->width = width;
                m_rgba->height = height;
                if (av_frame_get_buffer(m_rgba, 0) < 0) {
                    av_frame_free(&m_rgba);
                }
            }
        }
        if (!m_scaler || !m_rgba) {
            av_frame_unref(m_frame);
            fail(m_scaler ? OpenProblem::tooLarge : OpenProblem::unsupportedCodec);
            return std::nullopt;
        }
        sws_scale(m_scaler, m_frame->data, m_frame->linesize, 0, height, m_rgba->data,
                  m_rgba->linesize);
        qint64 pts = m_frame->best_effort_timestamp;
        av_frame_unref(m_frame);
        QImage surface(m_rgba->data[0], width, height, m_rgba->linesize[0],
                       // The track's alpha is straight; the standard surface premultiplies it.
                       alpha ? QImage::Format_RGBA8888 : kStandardFormat);
        surface =
            alpha ? surface.convertToFormat(kStandardFormat) : surface.copy();  // its own pixels
        if (surface.isNull()) {
            fail(OpenProblem::tooLarge);
            return std::nullopt;
        }
        Image image = ImageServices::imageFromSurface(std::move(surface));
        if (m_quarterTurns == 3) {
            image = ImageTransforms::rotated90(image, false);
        } else {
            for (int turn = 0; turn < m_quarterTurns; ++turn) {
                image = ImageTransforms::rotated90(image, true);
            }
        }
        double time = m_lastTime + m_interval;
        if (pts != AV_NOPTS_VALUE) {
            time = double(pts) * m_timeBase;
        }
        m_lastTime = time;
        return std::make_pair(std::move(image), time);
    }

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    AVFrame* m_frame = nullptr;
    AVFrame* m_rgba = nullptr;
    AVPacket* m_packet = nullptr;
    SwsContext* m_scaler = nullptr;
    int m_streamIndex = -1;
    double m_timeBase = 0;
    double m_interval = 1.0 / 30;
    double m_lastTime = 0;
    int m_quarterTurns = 0;
    QSize m_size;
    qint64 m_expected = 0;
    qint64 m_shown = 0;
    bool m_drained = false;
    bool m_finished = false;
    Image m_pending;
    double m_pendingTime = 0;
};

}  // namespace

std::unique_ptr<AnimationDecoder> openVideoDecoder(const QString& path, OpenError* error) {
    auto decoder = std::make_unique<VideoDecoder>(path);
    if (!decoder->start()) {
        if (error) {
            *error = *decoder->failure();
        }
        return nullptr;
    }
    return decoder;
}

}  // namespace mirelo
