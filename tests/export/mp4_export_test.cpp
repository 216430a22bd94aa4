#include "export/ExporterMP4.h"
#include "i18n/ModelTexts.h"
#include "image/ImageServices.h"
#include "support/TestImages.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>

using namespace mirelo;
using namespace mirelo::Exporter;
using mirelo::test::solidImage;

namespace {

struct Probe {
    bool ok = false;
    int streams = 0;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0, height = 0;
    AVColorSpace colorspace = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    std::vector<int64_t> pts600;  // presentation times in 1/600 s, sorted
    int64_t end600 = 0;           // the end of the last frame, 1/600 s
    int64_t bitRate = 0;
    std::vector<QImage> frames;  // decoded to RGB the way a player would
};

// Reads the file back as a player would: container facts, every packet's
// time, and the frames converted to RGB with the matrix and range the stream
// declares.
Probe probe(const QString& path, bool decodeFrames = false) {
    Probe out;
    AVFormatContext* format = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&format, name.constData(), nullptr, nullptr) < 0) {
        return out;
    }
    avformat_find_stream_info(format, nullptr);
    out.streams = int(format->nb_streams);
    AVStream* stream = format->streams[0];
    const AVCodecParameters* par = stream->codecpar;
    out.codec = par->codec_id;
    out.width = par->width;
    out.height = par->height;
    out.colorspace = par->color_space;
    out.range = par->color_range;
    out.primaries = par->color_primaries;
    out.bitRate = format->bit_rate;

    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    AVCodecContext* dec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(dec, par);
    avcodec_open2(dec, decoder, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const AVRational tb600{1, 600};
    auto receive = [&] {
        while (avcodec_receive_frame(dec, frame) == 0) {
            const int w = frame->width, h = frame->height;
            SwsContext* sws = sws_getContext(w, h, AVPixelFormat(frame->format), w, h,
                                             AV_PIX_FMT_RGBA, SWS_POINT, nullptr, nullptr, nullptr);
            const int matrix = frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
            sws_setColorspaceDetails(sws, sws_getCoefficients(matrix),
                                     frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                                     sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
            QImage rgb(w, h, QImage::Format_RGBA8888);
            uint8_t* dst[4] = {rgb.bits(), nullptr, nullptr, nullptr};
            int dstStride[4] = {int(rgb.bytesPerLine()), 0, 0, 0};
            sws_scale(sws, frame->data, frame->linesize, 0, h, dst, dstStride);
            sws_freeContext(sws);
            out.frames.push_back(rgb);
        }
    };
    out.end600 = av_rescale_q(stream->duration, stream->time_base, tb600);
    while (av_read_frame(format, packet) >= 0) {
        out.pts600.push_back(av_rescale_q(packet->pts, stream->time_base, tb600));
        if (decodeFrames) {
            avcodec_send_packet(dec, packet);
            receive();
        }
        av_packet_unref(packet);
    }
    if (decodeFrames) {
        avcodec_send_packet(dec, nullptr);
        receive();
    }
    std::sort(out.pts600.begin(), out.pts600.end());
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&dec);
    avformat_close_input(&format);
    out.ok = true;
    return out;
}

// A moving gradient with mild noise: detailed enough to use a whole bit
// budget, yet compressible far below it (pure noise is not).
Image busyImage(int width, int height, int shift, quint32 seed) {
    QImage surface = ImageServices::createSurface(width, height);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        uchar* row = surface.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int n = int(random.bounded(6));
            row[4 * x] = uchar((x + shift) % 200 + n);
            row[4 * x + 1] = uchar((y * 2 + shift) % 200 + n);
            row[4 * x + 2] = uchar(((x ^ y) + shift) % 200 + n);
            row[4 * x + 3] = 255;
        }
    }
    return Image::fromQImage(surface);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ExporterMP4Test : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

TEST(MP4Settings, BitRateFollowsSizeFrameRateAndQuality) {
    const std::vector<double> twenty(20, 0.1);
    EXPECT_EQ(MP4::averageBitRate(twenty, QSize(1280, 720), 80), 3022847);
    EXPECT_EQ(MP4::averageBitRate(std::vector<double>(10, 0.5), QSize(100, 100), 1), 100000);
    // Quality outside 1..100 is clamped.
    EXPECT_EQ(MP4::averageBitRate(twenty, QSize(1280, 720), 500),
              MP4::averageBitRate(twenty, QSize(1280, 720), 100));
    // Tiny sums count as 0.01 s for the rate only: 2 / 0.01 = 200 frames/s.
    EXPECT_NEAR(MP4::averageBitRate({0.001, 0.001}, QSize(100, 100), 100), 800000, 1);

    // The video keeps the frame's size; an odd side keeps full chroma.
    EXPECT_EQ(MP4::videoSize(QSize(333, 201)), QSize(333, 201));
    EXPECT_EQ(MP4::videoSize(QSize(1, 1)), QSize(1, 1));
    EXPECT_FALSE(MP4::fullChroma(QSize(1280, 720)));
    EXPECT_TRUE(MP4::fullChroma(QSize(1281, 720)));
    EXPECT_TRUE(MP4::fullChroma(QSize(1280, 721)));

    EXPECT_EQ(MP4::delayTicks(0.1), 60);
    EXPECT_EQ(MP4::delayTicks(1.0 / 30), 20);
    EXPECT_EQ(MP4::delayTicks(-1), 0);
}

TEST_F(ExporterMP4Test, WritesOneH264TrackWithExactTimesAndDuration) {
    const std::vector<Image> frames = {solidImage(333, 201, Qt::red),
                                       solidImage(333, 201, Qt::green),
                                       solidImage(333, 201, Qt::blue)};
    const QString out = path(QStringLiteral("a.mp4"));
    int lastDone = 0;
    ASSERT_EQ(encodeMP4(FrameSequence::of(frames), {0.1, 0.1, 0.05}, 80, out, {},
                        [&](int done, int total) {
                            EXPECT_EQ(total, 3);
                            lastDone = done;
                        }),
              std::nullopt);
    EXPECT_EQ(lastDone, 3);
    const Probe p = probe(out);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.streams, 1);
    EXPECT_EQ(p.codec, AV_CODEC_ID_H264);
    EXPECT_EQ(p.width, 333);
    EXPECT_EQ(p.height, 201);
    EXPECT_EQ(p.pts600, (std::vector<int64_t>{0, 60, 120}));
    // The last frame lasts its own delay: 0.25 s in all.
    EXPECT_EQ(p.end600, 150);
    EXPECT_EQ(p.colorspace, AVCOL_SPC_BT709);
    EXPECT_EQ(p.primaries, AVCOL_PRI_BT709);
    EXPECT_EQ(p.range, AVCOL_RANGE_MPEG);

    // The index comes before the media data, so playback can start early.
    const QByteArray bytes = readAll(out);
    ASSERT_GE(bytes.indexOf("moov"), 0);
    EXPECT_LT(bytes.indexOf("moov"), bytes.indexOf("mdat"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(ExporterMP4Test, VariableDelaysSumInTicks) {
    // 1/30 s is 20 ticks, 0.0333 s rounds to 20 too; a delay that rounds to
    // nothing leaves its frame out instead of colliding with the next.
    const std::vector<Image> frames(5, solidImage(64, 48, Qt::gray));
    const QString out = path(QStringLiteral("ticks.mp4"));
    ASSERT_EQ(encodeMP4(FrameSequence::of(frames), {1.0 / 30, 0.0333, 0.0001, 0.5, 0.1}, 50, out),
              std::nullopt);
    const Probe p = probe(out);
    EXPECT_EQ(p.pts600, (std::vector<int64_t>{0, 20, 40, 340}));
    EXPECT_EQ(p.end600, 400);
}

TEST_F(ExporterMP4Test, AverageBitRateIsNearTheTarget) {
    std::vector<Image> frames;
    for (int i = 0; i < 20; ++i) {
        frames.push_back(busyImage(640, 360, i * 7, quint32(i + 1)));
    }
    const std::vector<double> delays(20, 0.1);
    const QString out = path(QStringLiteral("rate.mp4"));
    ASSERT_EQ(encodeMP4(FrameSequence::of(frames), delays, 80, out), std::nullopt);
    const Probe p = probe(out);
    ASSERT_EQ(p.pts600.size(), 20u);
    EXPECT_EQ(p.end600, 1200);
    const double target = double(MP4::averageBitRate(delays, QSize(640, 360), 80));
    const double actual = double(QFileInfo(out).size()) * 8 / 2.0;
    EXPECT_GT(actual, target * 0.7);
    EXPECT_LT(actual, target * 1.3);
}

// Screen-like content that depends on the position only, not on the frame's
// size: text on a light page beside a coloured gradient, scrolled by `shift`.
Image screenImage(int width, int height, int shift) {
    QImage surface = ImageServices::createSurface(width, height);
    surface.fill(QColor(250, 250, 245));
    QPainter painter(&surface);
    for (int x = 0; x < width; ++x) {
        painter.setPen(QColor((x * 3 + shift) % 256, 120, 255 - x % 256));
        painter.drawLine(x, 0, x, 40);
    }
    painter.setPen(Qt::black);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    for (int line = 0; line < 30; ++line) {
        painter.drawText(4, 56 + line * 14 - shift,
                         QStringLiteral("%1: int value = compute(%2, \"frame\");")
                             .arg(line + shift)
                             .arg(line * 7));
    }
    painter.end();
    return Image::fromQImage(surface);
}

// Luma PSNR (BT.709 weights) of `decoded` against `source` over the source's size.
double lumaPsnr(const QImage& source, const QImage& decoded) {
    double squared = 0;
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QColor a = source.pixelColor(x, y);
            const QColor b = decoded.pixelColor(x, y);
            const double ya = 0.2126 * a.red() + 0.7152 * a.green() + 0.0722 * a.blue();
            const double yb = 0.2126 * b.red() + 0.7152 * b.green() + 0.0722 * b.blue();
            squared += (ya - yb) * (ya - yb);
        }
    }
    const double mse = squared / (double(source.width()) * source.height());
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

TEST_F(ExporterMP4Test, OddSizesAreEncodedAtTheirExactSizeWithoutResampling) {
    struct Case {
        QSize size;
        double psnr = 0;
    };
    std::vector<Case> cases = {
        {QSize(641, 359)}, {QSize(640, 360)}, {QSize(3, 2000)}, {QSize(1, 1)}};
    for (Case& c : cases) {
        std::vector<Image> frames;
        for (int i = 0; i < 6; ++i) {
            frames.push_back(screenImage(c.size.width(), c.size.height(), i * 2));
        }
        const QString out = path(QStringLiteral("odd.mp4"));
        ASSERT_EQ(encodeMP4(FrameSequence::of(frames), std::vector<double>(6, 0.1), 80, out),
                  std::nullopt);
        const Probe p = probe(out, true);
        EXPECT_EQ(QSize(p.width, p.height), c.size);
        ASSERT_EQ(p.frames.size(), frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            ASSERT_EQ(p.frames[i].size(), c.size);
            c.psnr += lumaPsnr(frames[i].qimage(), p.frames[i]) / double(frames.size());
        }
    }
    // The odd picture is as faithful as the even one beside it: no pixel
    // was scaled, only the chroma format differs.
    EXPECT_GT(cases[0].psnr, cases[1].psnr - 0.5) << cases[0].psnr << " vs " << cases[1].psnr;
    EXPECT_GT(cases[0].psnr, 35.0);
}

TEST_F(ExporterMP4Test, FlatColoursSurviveTheRoundTrip) {
    // Four flat patches per frame; a player converting with the stream's
    // declared matrix and range must see the colours that went in.
    const QColor colours[4] = {QColor(200, 40, 40), QColor(40, 180, 60), QColor(30, 60, 210),
                               QColor(235, 220, 120)};
    QImage surface = ImageServices::createSurface(256, 256);
    {
        QPainter painter(&surface);
        for (int i = 0; i < 4; ++i) {
            painter.fillRect(QRect((i % 2) * 128, (i / 2) * 128, 128, 128), colours[i]);
        }
    }
    const Image frame = Image::fromQImage(surface);
    const QString out = path(QStringLiteral("colour.mp4"));
    ASSERT_EQ(encodeMP4(FrameSequence::of({frame, frame, frame}), {0.1, 0.1, 0.1}, 90, out),
              std::nullopt);
    const Probe p = probe(out, true);
    ASSERT_EQ(p.frames.size(), 3u);
    for (int i = 0; i < 4; ++i) {
        // Mean over the patch's inner 64 x 64, away from chroma edges.
        const QRect patch((i % 2) * 128 + 32, (i / 2) * 128 + 32, 64, 64);
        double sum[3] = {};
        for (int y = patch.top(); y <= patch.bottom(); ++y) {
            for (int x = patch.left(); x <= patch.right(); ++x) {
                const QColor c = p.frames[2].pixelColor(x, y);
                sum[0] += c.red();
                sum[1] += c.green();
                sum[2] += c.blue();
            }
        }
        const double n = 64.0 * 64.0;
        EXPECT_NEAR(sum[0] / n, colours[i].red(), 3.0) << "patch " << i;
        EXPECT_NEAR(sum[1] / n, colours[i].green(), 3.0) << "patch " << i;
        EXPECT_NEAR(sum[2] / n, colours[i].blue(), 3.0) << "patch " << i;
    }
}

TEST_F(ExporterMP4Test, CancellationAndFailuresLeaveNoFile) {
    const QString out = path(QStringLiteral("keep.mp4"));
    {
        QFile old(out);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    const std::vector<Image> frames(4, solidImage(32, 32, Qt::red));
    CancelFlag cancel;
    int calls = 0;
    ExportStatus status = encodeMP4(FrameSequence::of(frames), std::vector<double>(4, 0.1), 80, out,
                                    cancel, [&](int done, int) {
                                        ++calls;
                                        if (done == 2) {
                                            cancel.cancel();
                                        }
                                    });
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->isCancellation());
    EXPECT_EQ(calls, 2);  // stopped at the next frame

    ExportStatus empty = encodeMP4(FrameSequence::of(std::vector<Image>()), {}, 80, out);
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(i18n::describe(*empty), QStringLiteral("编码失败:帧数据为空"));

    EXPECT_EQ(readAll(out), QByteArray("old"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    ExportStatus noFolder = encodeMP4(FrameSequence::of(frames), std::vector<double>(4, 0.1), 80,
                                      path(QStringLiteral("missing/x.mp4")));
    ASSERT_TRUE(noFolder.has_value());
    EXPECT_EQ(noFolder->kind, ExportError::Kind::writeFailed);
}

}  // namespace

namespace {

TEST_F(ExporterMP4Test, FramesFromASourceAreTakenInOrderAsTheyAreEncoded) {
    std::vector<Image> frames;
    for (int i = 0; i < 6; ++i) {
        frames.push_back(busyImage(96, 64, i * 9, quint32(i + 1)));
    }
    // Frame 3 rounds to no ticks and is never shown.
    const std::vector<double> delays = {0.1, 0.1, 0.05, 0.0001, 0.1, 0.2};
    const QString fromList = path(QStringLiteral("list.mp4"));
    ASSERT_EQ(encodeMP4(FrameSequence::of(frames), delays, 80, fromList), std::nullopt);

    std::vector<size_t> asked;
    int progressCalls = 0;
    const QString fromSource = path(QStringLiteral("source.mp4"));
    const FrameSequence source{.count = frames.size(), .frame = [&](size_t index) {
                                   asked.push_back(index);
                                   // Each frame is asked for only after the one
                                   // before was encoded and reported.
                                   EXPECT_EQ(progressCalls, int(index));
                                   return frames[index];
                               }};
    ASSERT_EQ(encodeMP4(source, delays, 80, fromSource, {}, [&](int, int) { ++progressCalls; }),
              std::nullopt);
    EXPECT_EQ(asked, (std::vector<size_t>{0, 1, 2, 4, 5}));
    EXPECT_EQ(readAll(fromSource), readAll(fromList));
}

TEST_F(ExporterMP4Test, AMissingSourceFrameFailsAndKeepsTheOldFile) {
    const QString out = path(QStringLiteral("keep.mp4"));
    {
        QFile old(out);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    const Image red = solidImage(32, 32, Qt::red);
    const std::vector<double> delays(4, 0.1);
    for (size_t missing : {size_t(0), size_t(2)}) {
        ExportStatus status = encodeMP4(
            FrameSequence{.count = 4,
                          .frame = [&](size_t index) { return index == missing ? Image() : red; }},
            delays, 80, out);
        ASSERT_TRUE(status.has_value()) << missing;
        EXPECT_EQ(status->kind, ExportError::Kind::encodeFailed);
    }
    ExportStatus noFrames =
        encodeMP4(FrameSequence{.count = 0, .frame = [&](size_t) { return red; }}, {}, 80, out);
    ASSERT_TRUE(noFrames.has_value());
    EXPECT_EQ(i18n::describe(*noFrames), QStringLiteral("编码失败:帧数据为空"));
    EXPECT_EQ(readAll(out), QByteArray("old"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

}  // namespace
