// mirelo-media-psnr FRAMES_DIR FILE FRAME_MS
// Decodes an animated WebP (libwebp demux) or an MP4 (libavformat, colours
// converted with the matrix and range the stream declares) and prints the
// PSNR in dB over all RGB samples against the PNG frames of FRAMES_DIR
// (sorted by name), then the number of decoded frames. A WebP frame lasting
// k x FRAME_MS stands for k source frames (libwebp merges unchanged ones).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>

#include "support/WebPFrames.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// The WebP's frames as RGB, each repeated for the source frames it stands for.
std::vector<QImage> webpFrames(const QString& path, int frameMs) {
    const mirelo::test::WebPFrames decoded = mirelo::test::decodeWebP(path);
    std::vector<QImage> frames;
    int previousEnd = 0;
    for (size_t i = 0; i < decoded.frames.size(); ++i) {
        const QImage frame = decoded.frames[i].convertToFormat(QImage::Format_RGB888);
        const int end = decoded.endTimes[i];
        const int copies = std::max(1, int(std::lround(double(end - previousEnd) / frameMs)));
        for (int c = 0; c < copies; ++c) {
            frames.push_back(frame);
        }
        previousEnd = end;
    }
    return frames;
}

std::vector<QImage> decodeVideo(const QString& path) {
    std::vector<QImage> frames;
    AVFormatContext* format = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&format, name.constData(), nullptr, nullptr) < 0) {
        return frames;
    }
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        avformat_close_input(&format);
        return frames;
    }
    const AVCodecParameters* par = format->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, par);
    avcodec_open2(dec, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(dec, frame) == 0) {
            const int w = frame->width, h = frame->height;
            SwsContext* sws = sws_getContext(
                w, h, AVPixelFormat(frame->format), w, h, AV_PIX_FMT_RGB24,
                SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
            const int matrix = frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
            sws_setColorspaceDetails(sws, sws_getCoefficients(matrix),
                                     frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                                     sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
            QImage rgb(w, h, QImage::Format_RGB888);
            uint8_t* dst[4] = {rgb.bits(), nullptr, nullptr, nullptr};
            int dstStride[4] = {int(rgb.bytesPerLine()), 0, 0, 0};
            sws_scale(sws, frame->data, frame->linesize, 0, h, dst, dstStride);
            sws_freeContext(sws);
            frames.push_back(rgb);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(dec, packet);
            receive();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(dec, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&dec);
    avformat_close_input(&format);
    return frames;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FRAMES_DIR FILE FRAME_MS\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QString file = QString::fromLocal8Bit(argv[2]);
    const int frameMs = std::max(1, std::atoi(argv[3]));
    const QStringList names = folder.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    const std::vector<QImage> decoded =
        file.endsWith(QStringLiteral(".webp")) ? webpFrames(file, frameMs) : decodeVideo(file);
    if (decoded.empty() || names.isEmpty()) {
        std::fprintf(stderr, "nothing to compare\n");
        return 1;
    }
    double squared = 0;
    qint64 samples = 0;
    const qsizetype count = std::min<qsizetype>(names.size(), qsizetype(decoded.size()));
    for (qsizetype i = 0; i < count; ++i) {
        const QImage source =
            QImage(folder.filePath(names[i])).convertToFormat(QImage::Format_RGB888);
        const QImage& out = decoded[size_t(i)];
        const int w = std::min(source.width(), out.width());
        const int h = std::min(source.height(), out.height());
        for (int y = 0; y < h; ++y) {
            const uchar* a = source.constScanLine(y);
            const uchar* b = out.constScanLine(y);
            for (int x = 0; x < w * 3; ++x) {
                const double d = double(a[x]) - double(b[x]);
                squared += d * d;
            }
        }
        samples += qint64(w) * h * 3;
    }
    const double mse = squared / double(std::max<qint64>(samples, 1));
    const double psnr = mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
    std::printf("%.3f %zu\n", psnr, decoded.size());
    return 0;
}
