// MP4 export: RGBA frames -> libswscale (BT.709, limited range) -> libx264 ->
// the MP4 muxer with its index moved to the front.
#include "export/ExporterMP4.h"
#include "export/AtomicFile.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace mirelo::Exporter {

namespace MP4 {

QSize videoSize(QSize firstFrame) {
    return {std::max(1, firstFrame.width()), std::max(1, firstFrame.height())};
}

bool fullChroma(QSize video) {
    return (video.width() % 2) != 0 || (video.height() % 2) != 0;
}

int64_t averageBitRate(const std::vector<double>& delays, QSize video, int quality) {
    double sum = 0;
    for (double delay : delays) {
        sum += delay;
    }
    const double frameRate = static_cast<double>(delays.size()) / std::max(sum, 0.01);
    const double q = std::clamp(quality, 1, 100);
    const double factor = q / 100.0 * 0.36 + 0.04;
    const double pixels = static_cast<double>(video.width()) * static_cast<double>(video.height());
    const double rate = frameRate * pixels * factor;
    // Bounded far above any real rate so the conversion stays defined.
    const int64_t truncated = rate >= 1e15 ? int64_t(1e15) : static_cast<int64_t>(rate);
    return std::max<int64_t>(truncated, 100000);
}

int64_t delayTicks(double delay) {
    if (!(delay > 0)) {
        return 0;
    }
    const double ticks = std::round(delay * kTimescale);
    return ticks >= 1e15 ? int64_t(1e15) : static_cast<int64_t>(ticks);
}

}  // namespace MP4

namespace {

using namespace MP4;

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
// Closes the output file (if opened) and frees the muxer.
struct FormatContextDeleter {
    void operator()(AVFormatContext* f) const {
        if (f->pb != nullptr && (f->oformat->flags & AVFMT_NOFILE) == 0) {
            avio_closep(&f->pb);
        }
        avformat_free_context(f);
    }
};

QString avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

ExportError failed(ExportError::Cause cause) {
    return ExportError::encodeFailed(cause);
}

// The codec's words, or `cause` when it has none.
ExportError failed(const QString& detail, ExportError::Cause cause) {
    return detail.isEmpty() ? ExportError::encodeFailed(cause) : ExportError::encodeFailed(detail);
}

// One encode from opened codec to finished file.
class Mp4Writer {
public:
    Mp4Writer(AVFormatContext* muxer, AVStream* stream, AVCodecContext* codec)
        : m_muxer(muxer), m_stream(stream), m_codec(codec), m_packet(av_packet_alloc()) {}

    // Sends one frame (or, with a null frame, the end of the stream) and
    // writes every packet the encoder has ready. `end` is the end of the
    // video in ticks, used when the stream ends. Nothing on success.
    std::optional<QString> send(AVFrame* frame, int64_t durationTicks, int64_t end = 0) {
        if (!m_packet || !m_pending) {
            return QString();  // no words of the codec's: the caller names the step
        }
        if (frame != nullptr) {
            m_durations[frame->pts] = durationTicks;
        }
        int rc = avcodec_send_frame(m_codec, frame);
        if (rc < 0) {
            return avErrorText(rc);
        }
        while (true) {
            rc = avcodec_receive_packet(m_codec, m_packet.get());
            if (rc == AVERROR(EAGAIN)) {
                return std::nullopt;
            }
            if (rc == AVERROR_EOF) {
                break;
            }
            if (rc < 0) {
                return avErrorText(rc);
            }
            // Packets come in decoding order; each one lasts the delay of
            // the frame it presents.
            const auto it = m_durations.find(m_packet->pts);
            if (it != m_durations.end()) {
                m_packet->duration = it->second;
                m_durations.erase(it);
            }
            if (m_hasPending) {
                if (auto error = write(m_pending.get())) {
                    return error;
                }
            }
            av_packet_move_ref(m_pending.get(), m_packet.get());
            m_hasPending = true;
        }
        // The muxer ends the track at the last packet's decoding time plus
        // its duration: make that the end of the video, so the last frame
        // lasts its own delay.
        if (m_hasPending) {
            m_pending->duration = std::max<int64_t>(end - m_pending->dts, 1);
            m_hasPending = false;
            return write(m_pending.get());
        }
        return std::nullopt;
    }

private:
    std::optional<QString> write(AVPacket* packet) {
        // The muxer picks its own stream time base.
        av_packet_rescale_ts(packet, m_codec->time_base, m_stream->time_base);
        packet->stream_index = m_stream->index;
        const int rc = av_interleaved_write_frame(m_muxer, packet);
        if (rc < 0) {
            return avErrorText(rc);
        }
        return std::nullopt;
    }

    AVFormatContext* m_muxer;
    AVStream* m_stream;
    AVCodecContext* m_codec;
    std::unique_ptr<AVPacket, PacketDeleter> m_packet;
    std::unique_ptr<AVPacket, PacketDeleter> m_pending{av_packet_alloc()};
    bool m_hasPending = false;
    std::map<int64_t, int64_t> m_durations;
};

}  // namespace

ExportStatus encodeMP4(const FrameSequence& sequence, const std::vector<double>& delays,
                       const EncodeSettings& settings, const QString& destination,
                       const CancelFlag& cancel, const ProgressFn& progress) {
    const int quality = settings.quality;
    const size_t count = sequence.count;
    const FrameSource& frames = sequence.frame;
    if (count == 0 || delays.size() < count || !frames) {
        return failed(ExportError::Cause::emptyFrame);
    }
    // The first frame sets the video size, so it is fetched before anything
    // else, even when it is never shown.
    Image first = frames(0);
    if (first.isNull()) {
        return failed(ExportError::Cause::emptyFrame);
    }
    // The encoder's statistics and the muxer's notes are not for the user.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });

    const QSize video = videoSize(first.size());
    const int64_t bitRate = averageBitRate(delays, video, quality);

    // Presentation times: each delay rounded to a tick on its own, then
    // summed. A frame whose delay rounds to nothing is never on screen and
    // would collide with the next frame's time, so it is left out.
    std::vector<int64_t> ticks(count);
    bool anyVisible = false;
    for (size_t i = 0; i < count; ++i) {
        ticks[i] = delayTicks(delays[i]);
        anyVisible = anyVisible || ticks[i] > 0;
    }
    if (!anyVisible) {
        ticks.back() = 1;
    }

    AtomicFile out(destination);
    if (!out.isOpen()) {
        return fileWriteError(destination, ExportError::Cause::cannotCreate);
    }
    const QByteArray tempPath = QFile::encodeName(out.tempPath());

    AVFormatContext* rawMuxer = nullptr;
    // The temporary name has no .mp4 extension: name the muxer explicitly.
    if (avformat_alloc_output_context2(&rawMuxer, nullptr, "mp4", tempPath.constData()) < 0 ||
        rawMuxer == nullptr) {
        return failed(ExportError::Cause::noVideoInput);
    }
    std::unique_ptr<AVFormatContext, FormatContextDeleter> muxer(rawMuxer);

    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    AVStream* stream = codec != nullptr ? avformat_new_stream(muxer.get(), nullptr) : nullptr;
    std::unique_ptr<AVCodecContext, CodecContextDeleter> cc(
        codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
    if (stream == nullptr || !cc) {
        return failed(ExportError::Cause::noVideoInput);
    }
    double delaySum = 0;
    for (double delay : delays) {
        delaySum += delay;
    }
    cc->width = video.width();
    cc->height = video.height();
    // The encoder pads the coded picture to whole macroblocks by repeating
    // the edge and writes the crop to the exact size in the stream. With 4:2:0
    // chroma that crop comes in steps of two pixels, so an odd side keeps
    // chroma at full resolution, whose crop steps are one pixel.
    cc->pix_fmt = fullChroma(video) ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
    cc->time_base = AVRational{1, kTimescale};
    cc->framerate = av_d2q(static_cast<double>(delays.size()) / std::max(delaySum, 0.01), 100000);
    cc->bit_rate = bitRate;
    // Screen content is sRGB, whose primaries are BT.709's; the frames are
    // converted with the BT.709 matrix into limited range, and the stream
    // says so, so players convert back with the same numbers.
    cc->color_primaries = AVCOL_PRI_BT709;
    cc->color_trc = AVCOL_TRC_BT709;
    cc->colorspace = AVCOL_SPC_BT709;
    cc->color_range = AVCOL_RANGE_MPEG;
    if ((muxer->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        cc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    av_opt_set(cc->priv_data, "preset", "medium", 0);
    // No reordered frames: the muxer then stores each frame's own duration
    // and ends the track exactly at the sum of the delays, and the file needs
    // no edit list (which some players ignore, shifting every frame).
    cc->max_b_frames = 0;
    // As many encoder threads as the machine has (libavcodec defaults to one).
    cc->thread_count = 0;
    if (avcodec_open2(cc.get(), codec, nullptr) < 0 ||
        avcodec_parameters_from_context(stream->codecpar, cc.get()) < 0) {
        return failed(ExportError::Cause::noVideoInput);
    }
    stream->time_base = cc->time_base;

    int rc = avio_open(&muxer->pb, tempPath.constData(), AVIO_FLAG_WRITE);
    if (rc < 0) {
        return failed(avErrorText(rc), ExportError::Cause::unknown);
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    rc = avformat_write_header(muxer.get(), &options);
    av_dict_free(&options);
    if (rc < 0) {
        return failed(avErrorText(rc), ExportError::Cause::encoderNotStarted);
    }

    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    if (!frame) {
        return failed(ExportError::Cause::pixelBuffer);
    }
    frame->format = cc->pix_fmt;
    frame->width = cc->width;
    frame->height = cc->height;
    frame->color_primaries = cc->color_primaries;
    frame->color_trc = cc->color_trc;
    frame->colorspace = cc->colorspace;
    frame->color_range = cc->color_range;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        return failed(ExportError::Cause::pixelBuffer);
    }

    Mp4Writer writer(muxer.get(), stream, cc.get());
    std::unique_ptr<SwsContext, SwsDeleter> scaler;
    QSize scalerSource;
    int64_t t = 0;
    const int total = static_cast<int>(count);
    for (int i = 0; i < total; ++i) {
        if (cancel.isCancelled()) {
            return ExportError::cancelled();
        }
        // Each frame is let go once converted: a source may reuse its memory
        // for a later one.
        Image image = i == 0 ? std::exchange(first, Image()) : Image();
        if (ticks[size_t(i)] > 0) {
            if (i > 0) {
                image = frames(size_t(i));
            }
            if (image.isNull()) {
                return failed(ExportError::Cause::pixelBuffer);
            }
            if (image.size() != scalerSource) {
                // Frames of another size are scaled to the video size in the
                // same pass; frames of the video's size are only converted.
                scaler.reset(sws_getContext(image.width(), image.height(), AV_PIX_FMT_RGBA,
                                            video.width(), video.height(), cc->pix_fmt,
                                            SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP,
                                            nullptr, nullptr, nullptr));
                if (!scaler) {
                    return failed(ExportError::Cause::pixelBuffer);
                }
                sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(SWS_CS_ITU709), 1,
                                         sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16,
                                         1 << 16);
                scalerSource = image.size();
            }
            if (av_frame_make_writable(frame.get()) < 0) {
                return failed(ExportError::Cause::pixelBuffer);
            }
            // Premultiplied RGBA read as RGB: a translucent pixel shows as if
            // over black. Recorded frames are opaque.
            {
                const QImage pixels = image.qimage();  // one surface with a fixed row distance
                const uint8_t* source[4] = {pixels.constBits(), nullptr, nullptr, nullptr};
                const int sourceStride[4] = {static_cast<int>(pixels.bytesPerLine()), 0, 0, 0};
                sws_scale(scaler.get(), source, sourceStride, 0, image.height(), frame->data,
                          frame->linesize);
            }
            image = Image();
            frame->pts = t;
            if (auto error = writer.send(frame.get(), ticks[size_t(i)])) {
                return failed(*error, ExportError::Cause::frameNotWritten);
            }
            t += ticks[size_t(i)];
        }
        if (progress) {
            progress(i + 1, total);
        }
    }
    if (cancel.isCancelled()) {
        return ExportError::cancelled();
    }
    if (auto error = writer.send(nullptr, 0, t)) {
        return failed(*error, ExportError::Cause::unknown);
    }
    rc = av_write_trailer(muxer.get());
    if (rc < 0) {
        return failed(avErrorText(rc), ExportError::Cause::unknown);
    }
    muxer.reset();  // closes the file before it is renamed into place
    if (!out.commit()) {
        return fileWriteError(destination, ExportError::Cause::cannotReplace);
    }
    return std::nullopt;
}

}  // namespace mirelo::Exporter
