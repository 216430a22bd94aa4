#include "export/ExporterWebP.h"
#include "i18n/ModelTexts.h"
#include "support/TestImages.h"
#include "support/WebPFrames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <webp/demux.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace mirelo;
using mirelo::test::patternImage;
using mirelo::test::solidImage;

namespace {

using test::decodeWebP;

// The duration each frame has in the file, as the demuxer reads it.
std::vector<int> storedDurations(const QString& path) {
    std::vector<int> durations;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return durations;
    }
    const QByteArray bytes = file.readAll();
    WebPData data{reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
    WebPDemuxer* demux = WebPDemux(&data);
    WebPIterator iter;
    if (demux != nullptr && WebPDemuxGetFrame(demux, 1, &iter)) {
        do {
            durations.push_back(iter.duration);
        } while (WebPDemuxNextFrame(&iter));
        WebPDemuxReleaseIterator(&iter);
    }
    WebPDemuxDelete(demux);
    return durations;
}

// Mean absolute difference per channel (R, G, B) between an opaque frame and
// the decoded picture.
double meanDifference(const Image& expected, const QImage& actual) {
    double sum = 0;
    for (int y = 0; y < expected.height(); ++y) {
        const uchar* e = expected.constScanLine(y);
        const uchar* a = actual.constScanLine(y);
        for (int x = 0; x < expected.width() * 4; ++x) {
            if (x % 4 != 3) {
                sum += std::abs(int(e[x]) - int(a[x]));
            }
        }
    }
    return sum / (double(expected.width()) * expected.height() * 3);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class WebPExportTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

TEST_F(WebPExportTest, RoundTripKeepsFramesTimingLoopAndPixels) {
    const std::vector<Image> frames = {patternImage(96, 64, 0), patternImage(96, 64, 90),
                                       patternImage(96, 64, 180)};
    const std::vector<double> delays = {0.1, 0.1, 0.2};
    const QString out = path(QStringLiteral("a.webp"));
    std::vector<std::pair<int, int>> progress;
    ASSERT_EQ(Exporter::encodeWebP(FrameSequence::of(frames), delays, 80, out, {},
                                   [&](int done, int total) {
                                       progress.push_back({done, total});
                                   }),
              std::nullopt);

    const test::WebPFrames decoded = decodeWebP(out);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 96);
    EXPECT_EQ(decoded.height, 64);
    EXPECT_EQ(decoded.loopCount, 0);
    EXPECT_EQ(decoded.background, 0xFFFFFFFFu);
    ASSERT_EQ(decoded.frames.size(), 3u);
    // Added at 0, 100 and 200 ms, closed at 400 ms.
    EXPECT_EQ(decoded.endTimes, (std::vector<int>{100, 200, 400}));
    EXPECT_EQ(storedDurations(out).at(2), 200);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_LT(meanDifference(frames[i], decoded.frames[i]), 4.0) << "frame " << i;
    }
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(WebPExportTest, ShortDelaysCountAsTwentyMilliseconds) {
    EXPECT_EQ(Exporter::WebP::durationMs(0.0333), 33);
    EXPECT_EQ(Exporter::WebP::durationMs(0.0005), 20);
    EXPECT_EQ(Exporter::WebP::durationMs(0.0125 * 2), 25);
    EXPECT_EQ(Exporter::WebP::durationMs(std::nan("")), 20);
    EXPECT_EQ(Exporter::WebP::durationMs(-1), 20);

    const std::vector<Image> frames = {solidImage(16, 16, Qt::red), solidImage(16, 16, Qt::blue)};
    const QString out = path(QStringLiteral("short.webp"));
    ASSERT_EQ(Exporter::encodeWebP(FrameSequence::of(frames), {0.01, 0.0}, 80, out), std::nullopt);
    EXPECT_EQ(decodeWebP(out).endTimes, (std::vector<int>{20, 40}));
}

TEST_F(WebPExportTest, IdenticalNeighboursMergeWithTheirDurations) {
    // libwebp folds an unchanged frame into the one before it; the timeline
    // stays the same.
    const Image a = solidImage(16, 16, Qt::red);
    const Image b = solidImage(16, 16, Qt::green);
    const QString out = path(QStringLiteral("merge.webp"));
    ASSERT_EQ(Exporter::encodeWebP(FrameSequence::of({a, a, b}), {0.1, 0.1, 0.1}, 80, out),
              std::nullopt);
    const test::WebPFrames decoded = decodeWebP(out);
    ASSERT_EQ(decoded.frames.size(), 2u);
    EXPECT_EQ(decoded.endTimes, (std::vector<int>{200, 300}));
}

TEST_F(WebPExportTest, OtherSizesAreScaledOntoTheFirstFramesCanvas) {
    const std::vector<Image> frames = {solidImage(40, 30, Qt::red),
                                       solidImage(80, 20, QColor(0, 0, 255))};
    const QString out = path(QStringLiteral("sizes.webp"));
    ASSERT_EQ(Exporter::encodeWebP(FrameSequence::of(frames), {0.1, 0.1}, 90, out), std::nullopt);
    const test::WebPFrames decoded = decodeWebP(out);
    ASSERT_EQ(decoded.frames.size(), 2u);
    EXPECT_EQ(decoded.width, 40);
    EXPECT_EQ(decoded.height, 30);
    const QImage& second = decoded.frames[1];
    for (QPoint p : {QPoint(0, 0), QPoint(39, 29), QPoint(20, 15)}) {
        const QColor c = second.pixelColor(p);
        EXPECT_LT(c.red(), 12);
        EXPECT_GT(c.blue(), 240);
        EXPECT_EQ(c.alpha(), 255);
    }
}

TEST_F(WebPExportTest, TranslucentPixelsKeepTheirColour) {
    // Premultiplied frames are handed over as straight alpha: a half-opaque
    // white must not come out grey.
    QImage surface(8, 8, QImage::Format_RGBA8888);
    surface.fill(QColor(255, 255, 255, 128));
    const QString out = path(QStringLiteral("alpha.webp"));
    ASSERT_EQ(
        Exporter::encodeWebP(FrameSequence::of({Image::fromQImage(surface)}), {0.1}, 100, out),
        std::nullopt);
    const QColor c = decodeWebP(out).frames.at(0).pixelColor(4, 4);
    EXPECT_GT(c.red(), 240);
    EXPECT_NEAR(c.alpha(), 128, 3);
}

TEST_F(WebPExportTest, QualityIsClampedToOneThroughHundred) {
    EXPECT_EQ(Exporter::WebP::clampedQuality(0), 1.0f);
    EXPECT_EQ(Exporter::WebP::clampedQuality(-5), 1.0f);
    EXPECT_EQ(Exporter::WebP::clampedQuality(150), 100.0f);
    EXPECT_EQ(Exporter::WebP::clampedQuality(80), 80.0f);

    // The files prove the clamped value is the one used.
    const std::vector<Image> frames = {patternImage(64, 64, 7)};
    auto encodeAt = [&](int quality) {
        const QString out = path(QStringLiteral("q%1.webp").arg(quality));
        EXPECT_EQ(Exporter::encodeWebP(FrameSequence::of(frames), {0.1}, quality, out),
                  std::nullopt);
        return readAll(out);
    };
    EXPECT_EQ(encodeAt(0), encodeAt(1));
    EXPECT_EQ(encodeAt(150), encodeAt(100));
    EXPECT_NE(encodeAt(80), encodeAt(100));
    EXPECT_LT(encodeAt(1).size(), encodeAt(100).size());
}

TEST_F(WebPExportTest, ErrorsCarryTheirTexts) {
    using Kind = ExportError::Kind;
    EXPECT_EQ(i18n::describe(ExportError::frameWriteFailed(4)),
              QStringLiteral("第 5 帧写入失败。"));
    EXPECT_EQ(i18n::describe(ExportError::frameWriteFailed(2)),
              QStringLiteral("第 3 帧写入失败。"));
    EXPECT_EQ(ExportError::frameWriteFailed(2).kind, Kind::frameWriteFailed);
    EXPECT_EQ(i18n::describe(ExportError::of(Kind::noFrames)), QStringLiteral("没有可导出的帧。"));
    EXPECT_EQ(i18n::describe(ExportError::of(Kind::webpConfigInvalid)),
              QStringLiteral("WebP 编码参数无效。"));
    EXPECT_EQ(i18n::describe(ExportError::of(Kind::webpEncoderFailed)),
              QStringLiteral("WebP 编码器创建失败。"));
    EXPECT_EQ(i18n::describe(ExportError::of(Kind::pixelImportFailed)),
              QStringLiteral("像素数据导入失败。"));
    EXPECT_EQ(i18n::describe(ExportError::of(Kind::webpAssembleFailed)),
              QStringLiteral("WebP 文件组装失败。"));
}

TEST_F(WebPExportTest, FailuresLeaveNoFileAndKeepTheOldOne) {
    const QString out = path(QStringLiteral("keep.webp"));
    {
        QFile old(out);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    const Image frame = solidImage(8, 8, Qt::red);

    ExportStatus empty = Exporter::encodeWebP(FrameSequence::of(std::vector<Image>()), {}, 80, out);
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(i18n::describe(*empty), QStringLiteral("没有可导出的帧。"));

    ExportStatus mismatch =
        Exporter::encodeWebP(FrameSequence::of({frame, frame, frame}), {0.1, 0.1}, 80, out);
    ASSERT_TRUE(mismatch.has_value());
    EXPECT_EQ(i18n::describe(*mismatch), QStringLiteral("没有可导出的帧。"));

    ExportStatus nullFrame =
        Exporter::encodeWebP(FrameSequence::of({frame, Image()}), {0.1, 0.1}, 80, out);
    ASSERT_TRUE(nullFrame.has_value());
    EXPECT_EQ(i18n::describe(*nullFrame), QStringLiteral("像素数据导入失败。"));

    CancelFlag cancel;
    cancel.cancel();
    ExportStatus cancelled =
        Exporter::encodeWebP(FrameSequence::of({frame}), {0.1}, 80, out, cancel);
    ASSERT_TRUE(cancelled.has_value());
    EXPECT_TRUE(cancelled->isCancellation());

    EXPECT_EQ(readAll(out), QByteArray("old"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    ExportStatus noFolder = Exporter::encodeWebP(FrameSequence::of({frame}), {0.1}, 80,
                                                 path(QStringLiteral("missing/x.webp")));
    ASSERT_TRUE(noFolder.has_value());
    EXPECT_EQ(noFolder->kind, ExportError::Kind::writeFailed);
}

TEST_F(WebPExportTest, FramesFromASourceAreTakenInOrderAndMakeTheSameFile) {
    std::vector<Image> frames;
    for (int i = 0; i < 5; ++i) {
        frames.push_back(solidImage(24, 16, QColor::fromHsv(i * 60, 200, 220)));
    }
    const std::vector<double> delays = {0.1, 0.2, 0.05, 0.1, 0.3};
    const QString fromList = path(QStringLiteral("list.webp"));
    ASSERT_EQ(Exporter::encodeWebP(FrameSequence::of(frames), delays, 80, fromList), std::nullopt);

    std::vector<size_t> asked;
    int progressCalls = 0;
    const QString fromSource = path(QStringLiteral("source.webp"));
    const FrameSequence source{.count = frames.size(), .frame = [&](size_t index) {
                                   asked.push_back(index);
                                   EXPECT_EQ(progressCalls, int(index));  // after the frame before
                                   return frames[index];
                               }};
    ASSERT_EQ(Exporter::encodeWebP(source, delays, 80, fromSource, {},
                                   [&](int, int) { ++progressCalls; }),
              std::nullopt);
    EXPECT_EQ(asked, (std::vector<size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(readAll(fromSource), readAll(fromList));

    // A frame the source cannot give fails the export and keeps the old file.
    const ExportStatus missing = Exporter::encodeWebP(
        FrameSequence{.count = frames.size(),
                      .frame = [&](size_t index) { return index == 3 ? Image() : frames[index]; }},
        delays, 80, fromList);
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(i18n::describe(*missing), QStringLiteral("像素数据导入失败。"));
    EXPECT_EQ(readAll(fromList), readAll(fromSource));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

}  // namespace

namespace {

// Screen content: a terminal (text typed line by line on a dark page) or a
// desktop (a gradient wallpaper, a window with text and a moving pointer).
std::vector<Image> screenFrames(bool terminal, int count) {
    std::vector<Image> frames;
    for (int i = 0; i < count; ++i) {
        QImage surface(320, 200, QImage::Format_RGBA8888_Premultiplied);
        QPainter painter(&surface);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 8));
        if (terminal) {
            surface.fill(QColor(30, 30, 36));
            painter.setPen(QColor(200, 220, 200));
            for (int line = 0; line <= i; ++line) {
                painter.drawText(4, 14 + line * 12,
                                 QStringLiteral("$ make -j2 target_%1 && ./run --case %2")
                                     .arg(line * 37)
                                     .arg(line));
            }
        } else {
            for (int y = 0; y < 200; ++y) {
                painter.setPen(QColor(40 + y / 2, 90 + y / 4, 160));
                painter.drawLine(0, y, 319, y);
            }
            painter.fillRect(QRect(40, 30, 220, 130), QColor(245, 245, 245));
            painter.setPen(Qt::black);
            for (int line = 0; line < 8; ++line) {
                painter.drawText(48, 50 + line * 14,
                                 QStringLiteral("Item %1 of the list").arg(line));
            }
            painter.fillRect(QRect(60 + i * 12, 60 + i * 5, 8, 12), Qt::white);
        }
        painter.end();
        frames.push_back(Image::fromQImage(surface));
    }
    return frames;
}

double psnr(const std::vector<Image>& source, const std::vector<QImage>& decoded) {
    double squared = 0, samples = 0;
    for (size_t i = 0; i < source.size() && i < decoded.size(); ++i) {
        const QImage expected = source[i].qimage().convertToFormat(QImage::Format_RGBA8888);
        for (int y = 0; y < expected.height(); ++y) {
            const uchar* e = expected.constScanLine(y);
            const uchar* a = decoded[i].constScanLine(y);
            for (int x = 0; x < expected.width() * 4; ++x) {
                if (x % 4 != 3) {
                    squared += double(e[x] - a[x]) * double(e[x] - a[x]);
                    samples += 1;
                }
            }
        }
    }
    return squared > 0 ? 10 * std::log10(255.0 * 255.0 * samples / squared) : 99.0;
}

}  // namespace

TEST_F(WebPExportTest, LosslessIsExactAndMixedIsNoLargerThanEither) {
    for (const bool terminal : {true, false}) {
        SCOPED_TRACE(terminal ? "terminal" : "desktop");
        const std::vector<Image> frames = screenFrames(terminal, 8);
        const std::vector<double> delays(frames.size(), 0.1);
        struct Result {
            qint64 size = 0;
            double psnr = 0;
        };
        auto encode = [&](WebPMode mode) {
            EncodeSettings settings(80);
            settings.webpMode = mode;
            const QString out = path(QStringLiteral("mode.webp"));
            EXPECT_EQ(Exporter::encodeWebP(FrameSequence::of(frames), delays, settings, out),
                      std::nullopt);
            const test::WebPFrames decoded = decodeWebP(out);
            EXPECT_TRUE(decoded.ok);
            EXPECT_EQ(decoded.frames.size(), frames.size());
            return Result{QFileInfo(out).size(), psnr(frames, decoded.frames)};
        };
        const Result lossy = encode(WebPMode::lossy);
        const Result lossless = encode(WebPMode::lossless);
        const Result mixed = encode(WebPMode::mixed);
        EXPECT_EQ(lossless.psnr, 99.0) << "lossless frames decode to the source pixels";
        EXPECT_LE(mixed.size, std::min(lossy.size, lossless.size));
        EXPECT_GE(mixed.psnr, lossy.psnr);
        std::printf("%s: lossy %lld B %.1f dB, lossless %lld B, mixed %lld B %.1f dB\n",
                    terminal ? "terminal" : "desktop", qint64(lossy.size), lossy.psnr,
                    qint64(lossless.size), qint64(mixed.size), mixed.psnr);
    }
}
