#include "export/ExporterGIF.h"
#include "export/GIFEncoder.h"
#include "export/GIFQuantizer.h"
#include "i18n/ModelTexts.h"
#include "image/ImageServices.h"
#include "support/TestImages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <numeric>

using namespace mirelo;

namespace {

// Writes frames already in palette indices, all held in memory.
ExportStatus writeIndexed(const GIFQuantizer::Palette& palette,
                          const std::vector<GIFQuantizer::IndexedFrame>& frames,
                          const std::vector<double>& delays, const QString& path, int lossy = 0) {
    return GIFEncoder::encodeStream(
        palette, int(frames.size()),
        [&frames](int i) -> const GIFQuantizer::IndexedFrame* { return &frames[size_t(i)]; },
        delays, path, {}, {}, lossy);
}

struct DecodedGif {
    QByteArray header;
    int loopCount = -1;  // -1: no loop extension
    std::vector<QImage> frames;
    std::vector<int> delays;       // hundredths
    std::vector<int> transparent;  // index per frame, -1 for none
};

// Decodes with giflib and composes every frame onto the canvas the way a
// viewer does, so the result is what is displayed.
DecodedGif decodeWithGiflib(const QString& path) {
    DecodedGif out;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        out.header = file.read(6);
    }
    int error = 0;
    GifFileType* gif = DGifOpenFileName(QFile::encodeName(path).constData(), &error);
    if (!gif) {
        return out;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return out;
    }
    QImage canvas(gif->SWidth, gif->SHeight, QImage::Format_RGB888);
    canvas.fill(Qt::black);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0) {
                const ExtensionBlock& data = image.ExtensionBlocks[e + 1];
                if (data.ByteCount == 3 && data.Bytes[0] == 1) {
                    out.loopCount = data.Bytes[1] | data.Bytes[2] << 8;
                }
            }
        }
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, i, &gcb);
        out.delays.push_back(gcb.DelayTime);
        out.transparent.push_back(gcb.TransparentColor);
        const GifImageDesc& desc = image.ImageDesc;
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        for (int y = 0; y < desc.Height; ++y) {
            for (int x = 0; x < desc.Width; ++x) {
                const int index = image.RasterBits[y * desc.Width + x];
                if (index == gcb.TransparentColor) {
                    continue;
                }
                const GifColorType c = map->Colors[index];
                canvas.setPixel(desc.Left + x, desc.Top + y, qRgb(c.Red, c.Green, c.Blue));
            }
        }
        out.frames.push_back(canvas.copy());
    }
    DGifCloseFile(gif, &error);
    return out;
}

// Decodes with Qt's own GIF reader.
std::vector<QImage> decodeWithQt(const QString& path, std::vector<int>* delaysMs = nullptr,
                                 int* loopCount = nullptr) {
    QImageReader reader(path, "gif");
    std::vector<QImage> frames;
    if (loopCount) {
        *loopCount = reader.loopCount();
    }
    for (;;) {
        const QImage frame = reader.read();
        // The delay after the image just read.
        const int delay = reader.nextImageDelay();
        if (frame.isNull()) {
            break;
        }
        frames.push_back(frame.convertToFormat(QImage::Format_RGB888));
        if (delaysMs) {
            delaysMs->push_back(delay);
        }
    }
    return frames;
}

// The first mismatching pixel, or an empty string when both show the same.
std::string compare(const QImage& decoded, const Image& expected) {
    if (decoded.size() != expected.size()) {
        return "size differs";
    }
    for (int y = 0; y < decoded.height(); ++y) {
        for (int x = 0; x < decoded.width(); ++x) {
            const QRgb got = decoded.pixel(x, y);
            const uint32_t want = expected.pixel(x, y);
            if (qRed(got) != int(want & 0xff) || qGreen(got) != int(want >> 8 & 0xff) ||
                qBlue(got) != int(want >> 16 & 0xff)) {
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
            }
        }
    }
    return {};
}

Image drawn(int width, int height, QColor background, QRect square, QColor squareColor) {
    QImage surface = ImageServices::createSurface(width, height);
    surface.fill(background);
    QPainter painter(&surface);
    painter.fillRect(square, squareColor);
    painter.end();
    return ImageServices::imageFromSurface(std::move(surface));
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

}  // namespace

TEST(GIFEncoder, WritesFramesExactlyWithLoopAndDelays) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.gif");
    const Image first = drawn(48, 32, Qt::blue, QRect(4, 4, 8, 8), Qt::red);
    const Image moved = drawn(48, 32, Qt::blue, QRect(20, 10, 8, 8), Qt::red);
    // Every pixel changes, some back to a colour they had before.
    QImage checker = ImageServices::createSurface(48, 32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 48; ++x) {
            checker.setPixel(x, y, (x + y) % 2 ? test::rgba(255, 0, 0) : test::rgba(0, 0, 255));
        }
    }
    const std::vector<Image> frames = {first, first, moved,
                                       ImageServices::imageFromSurface(checker), first};
    const std::vector<double> delays = {0.1, 0.25, 0.0, 1.0, 0.05};
    ASSERT_FALSE(Exporter::encodeGIF(FrameSequence::of(frames), delays, 100, path));

    const DecodedGif gif = decodeWithGiflib(path);
    EXPECT_EQ(gif.header, "GIF89a");
    EXPECT_EQ(gif.loopCount, 0);
    EXPECT_EQ(gif.delays, (std::vector<int>{10, 25, 2, 100, 5}));
    ASSERT_EQ(gif.frames.size(), frames.size());
    int qtLoop = -2;
    std::vector<int> qtDelays;
    const std::vector<QImage> qtFrames = decodeWithQt(path, &qtDelays, &qtLoop);
    ASSERT_EQ(qtFrames.size(), frames.size());
    EXPECT_EQ(qtLoop, -1);  // Qt reports "forever" as -1
    EXPECT_EQ(qtDelays, (std::vector<int>{100, 250, 20, 1000, 50}));
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(compare(gif.frames[i], frames[i]), "") << "giflib, frame " << i;
        EXPECT_EQ(compare(qtFrames[i], frames[i]), "") << "Qt, frame " << i;
    }
}

TEST(GIFEncoder, FullPaletteLendsAnUnusedIndexForTransparency) {
    QTemporaryDir dir;
    const QString path = dir.filePath("full.gif");
    // 256 distinct colours, each once in the first frame; later frames move a few of them
    // around, so some colour goes unused there.
    GIFQuantizer::Palette palette(256);
    for (int i = 0; i < 256; ++i) {
        palette[size_t(i)] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
    }
    GIFQuantizer::IndexedFrame first;
    first.width = 16;
    first.height = 16;
    for (int i = 0; i < 256; ++i) {
        first.indices.push_back(uint8_t((i * 37) % 256));
    }
    GIFQuantizer::IndexedFrame second = first;
    GIFQuantizer::IndexedFrame third = first;
    const auto at = [](GIFQuantizer::IndexedFrame& f, int x, int y) -> uint8_t& {
        return f.indices[size_t(y * 16 + x)];
    };
    for (int x = 2; x < 9; ++x) {
        at(second, x, 5) = at(second, x + 3, 11);
        at(third, x, 12) = at(third, 0, 0);
        at(third, 15 - x, 3) = at(third, x, 1);
    }
    const std::vector<GIFQuantizer::IndexedFrame> frames = {first, second, third, first};
    ASSERT_FALSE(writeIndexed(palette, frames, std::vector<double>(4, 0.1), path));
    const DecodedGif gif = decodeWithGiflib(path);
    const std::vector<QImage> qtFrames = decodeWithQt(path);
    ASSERT_EQ(gif.frames.size(), 4u);
    ASSERT_EQ(qtFrames.size(), 4u);
    EXPECT_EQ(gif.transparent[0], -1);
    EXPECT_NE(gif.transparent[1], -1);
    for (size_t i = 0; i < frames.size(); ++i) {
        int wrong = 0;
        for (int p = 0; p < 256; ++p) {
            const GIFQuantizer::RGB c = palette[frames[i].indices[size_t(p)]];
            const QRgb want = qRgb(c.r, c.g, c.b);
            wrong += gif.frames[i].pixel(p % 16, p / 16) != want;
            wrong += qtFrames[i].pixel(p % 16, p / 16) != want;
        }
        EXPECT_EQ(wrong, 0) << "frame " << i;
    }
}

TEST(GIFEncoder, DelaysCarryTheirRoundingIntoTheNextFrame) {
    const std::vector<int> hundredths =
        GIFEncoder::delaysInHundredths(std::vector<double>(300, 1.0 / 15));
    EXPECT_EQ(std::accumulate(hundredths.begin(), hundredths.end(), 0), 2000);
    long long written = 0;
    for (size_t i = 0; i < hundredths.size(); ++i) {
        EXPECT_TRUE(hundredths[i] == 6 || hundredths[i] == 7) << i;
        written += hundredths[i];
        EXPECT_LE(std::abs(double(written) - double(i + 1) * 100.0 / 15.0), 0.5) << i;
    }
    EXPECT_EQ(GIFEncoder::delaysInHundredths({0.0, 0.01, 0.05, std::nan(""), -1.0}),
              (std::vector<int>{2, 2, 5, 2, 2}));
}

TEST(GIFEncoder, LongRecordingKeepsItsDurationInTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("long.gif");
    std::vector<Image> frames;
    for (int i = 0; i < 300; ++i) {
        frames.push_back(drawn(16, 8, Qt::white, QRect(i % 16, 0, 1, 8), Qt::black));
    }
    ASSERT_FALSE(Exporter::encodeGIF(FrameSequence::of(frames), std::vector<double>(300, 1.0 / 15),
                                     80, path));
    std::vector<int> delaysMs;
    decodeWithQt(path, &delaysMs);
    ASSERT_EQ(delaysMs.size(), 300u);
    EXPECT_EQ(std::accumulate(delaysMs.begin(), delaysMs.end(), 0), 20000);
}

TEST(GIFExport, DecodedFramesAreTheQuantizedFrames) {
    QTemporaryDir dir;
    const QString path = dir.filePath("colour.gif");
    std::vector<Image> frames;
    for (int i = 0; i < 7; ++i) {
        // Many colours; a block moves and the base changes every other frame.
        QImage surface = test::patternImage(64, 48, uint8_t(i / 2 * 40)).qimage().copy();
        QPainter painter(&surface);
        painter.fillRect(QRect(i * 6, 10, 12, 12), QColor(30, 200, 90));
        painter.end();
        frames.push_back(Image::fromQImage(surface));
    }
    const int quality = 80;
    ASSERT_FALSE(
        Exporter::encodeGIF(FrameSequence::of(frames), std::vector<double>(7, 0.1), quality, path));

    const auto palette = GIFQuantizer::buildPalette(frames, Exporter::gifColorCount(quality));
    const auto lookup = GIFQuantizer::buildLookup(palette);
    const DecodedGif gif = decodeWithGiflib(path);
    const std::vector<QImage> qtFrames = decodeWithQt(path);
    ASSERT_EQ(gif.frames.size(), 7u);
    ASSERT_EQ(qtFrames.size(), 7u);
    std::vector<uint8_t> previous;
    for (size_t i = 0; i < frames.size(); ++i) {
        // Each frame maps what changed since the frame before and keeps the
        // rest of the previous output.
        auto indexed = GIFQuantizer::quantizeToIndices(frames[i], palette, lookup,
                                                       Exporter::gifDitherStrength(quality), {},
                                                       i > 0 ? &frames[i - 1] : nullptr);
        ASSERT_TRUE(indexed);
        EXPECT_EQ(indexed->still.empty(), i == 0);
        GIFQuantizer::keepStill(*indexed, previous.data());
        previous = indexed->indices;
        const Image expected = GIFQuantizer::imageFromIndices(*indexed, palette);
        EXPECT_EQ(compare(gif.frames[i], expected), "") << "giflib, frame " << i;
        EXPECT_EQ(compare(qtFrames[i], expected), "") << "Qt, frame " << i;
    }
    // A single frame is the frame quantized on its own.
    const QString one = dir.filePath("one.gif");
    ASSERT_FALSE(Exporter::encodeGIF(FrameSequence::of({frames[3]}), {0.1}, quality, one));
    const auto alone = GIFQuantizer::quantize(
        frames[3], GIFQuantizer::buildPalette({frames[3]}, Exporter::gifColorCount(quality)),
        GIFQuantizer::buildLookup(
            GIFQuantizer::buildPalette({frames[3]}, Exporter::gifColorCount(quality))),
        Exporter::gifDitherStrength(quality));
    ASSERT_TRUE(alone);
    EXPECT_EQ(compare(decodeWithGiflib(one).frames.at(0), *alone), "");
}

TEST(GIFExport, StillPixelsKeepTheirColourWhileASquareMoves) {
    // A noisy background, so that diffusion matters everywhere, with a
    // square moving over it; the last frame changes every pixel.
    QImage background = ImageServices::createSurface(80, 60);
    uint32_t seed = 99;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 80; ++x) {
            seed = seed * 1103515245u + 12345u;
            background.setPixel(x, y,
                                test::rgba(uint8_t(x * 3 + (seed >> 27)), uint8_t(y * 4),
                                           uint8_t(128 + (seed >> 26))));
        }
    }
    std::vector<Image> frames;
    for (int i = 0; i < 8; ++i) {
        QImage surface = background.copy();
        QPainter painter(&surface);
        painter.fillRect(QRect(4 + i * 8, 10 + i * 3, 14, 14), QColor(230, 40, 40));
        painter.end();
        frames.push_back(Image::fromQImage(surface));
    }
    frames.push_back(test::patternImage(80, 60, 11));
    QTemporaryDir dir;
    const QString path = dir.filePath("square.gif");
    std::vector<std::pair<int, int>> progress;
    ASSERT_FALSE(Exporter::encodeGIF(
        FrameSequence::of(frames), std::vector<double>(frames.size(), 0.1), 80, path, {},
        [&](int done, int total) { progress.emplace_back(done, total); }));
    // Progress counts frames, as many as there are.
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(int(frames.size()), int(frames.size())));

    const DecodedGif gif = decodeWithGiflib(path);
    ASSERT_EQ(gif.frames.size(), frames.size());
    for (size_t i = 1; i < frames.size(); ++i) {
        int still = 0;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 80; ++x) {
                if (frames[i].pixel(x, y) == frames[i - 1].pixel(x, y)) {
                    ++still;
                    ASSERT_EQ(gif.frames[i].pixel(x, y), gif.frames[i - 1].pixel(x, y))
                        << "frame " << i << " pixel " << x << "," << y;
                }
            }
        }
        EXPECT_GT(still, i + 1 < frames.size() ? 4000 : -1) << i;
    }
    // The frame that changes everywhere is mapped afresh, exactly as alone.
    const auto palette = GIFQuantizer::buildPalette(frames, Exporter::gifColorCount(80));
    const auto lookup = GIFQuantizer::buildLookup(palette);
    const auto last =
        GIFQuantizer::quantize(frames.back(), palette, lookup, Exporter::gifDitherStrength(80));
    ASSERT_TRUE(last);
    EXPECT_EQ(compare(gif.frames.back(), *last), "");
}

TEST(GIFExport, QualityGivesColoursAndDither) {
    EXPECT_EQ(Exporter::gifColorCount(100), 256);
    EXPECT_EQ(Exporter::gifColorCount(150), 256);
    EXPECT_EQ(Exporter::gifColorCount(80), 204);
    EXPECT_EQ(Exporter::gifColorCount(50), 128);
    EXPECT_EQ(Exporter::gifColorCount(5), 12);
    EXPECT_EQ(Exporter::gifColorCount(1), 2);
    EXPECT_EQ(Exporter::gifColorCount(0), 2);
    EXPECT_FLOAT_EQ(Exporter::gifDitherStrength(80), 0.8f);
    EXPECT_FLOAT_EQ(Exporter::gifDitherStrength(5), 0.1f);
    EXPECT_FLOAT_EQ(Exporter::gifDitherStrength(0), 0.1f);
    EXPECT_FLOAT_EQ(Exporter::gifDitherStrength(100), 1.0f);
}

TEST(GIFExport, FailuresLeaveNothingAndKeepExistingFile) {
    QTemporaryDir dir;
    const std::vector<Image> frames(4, test::patternImage(32, 32));
    const std::vector<double> delays(4, 0.1);

    const ExportStatus missingFolder = Exporter::encodeGIF(FrameSequence::of(frames), delays, 80,
                                                           dir.filePath("no/such/folder/out.gif"));
    ASSERT_TRUE(missingFolder);
    EXPECT_EQ(missingFolder->kind, ExportError::Kind::gifCreateFailed);
    EXPECT_EQ(i18n::describe(*missingFolder), QStringLiteral("无法创建 GIF 文件。"));

    const QString path = dir.filePath("kept.gif");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    const ExportStatus mismatch =
        Exporter::encodeGIF(FrameSequence::of(frames), {0.1, 0.1}, 80, path);
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(mismatch->kind, ExportError::Kind::noFrames);
    EXPECT_EQ(i18n::describe(*mismatch), QStringLiteral("没有可导出的帧。"));
    EXPECT_TRUE(Exporter::encodeGIF(FrameSequence::of({}), {}, 100, path));

    // Cancelled half-way through writing.
    CancelFlag cancel;
    std::atomic<int> steps{0};
    const ExportStatus cancelled = Exporter::encodeGIF(FrameSequence::of(frames), delays, 80, path,
                                                       cancel, [&](int done, int total) {
                                                           EXPECT_EQ(total, 4);
                                                           if (done == 2) {
                                                               cancel.cancel();
                                                           }
                                                           ++steps;
                                                       });
    ASSERT_TRUE(cancelled);
    EXPECT_TRUE(cancelled->isCancellation());
    EXPECT_GE(steps.load(), 2);
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "old contents");
    kept.close();
    EXPECT_EQ(filesIn(dir.path()), QStringList{"kept.gif"});

    // Success replaces the old file and leaves nothing else.
    ASSERT_FALSE(Exporter::encodeGIF(FrameSequence::of(frames), delays, 80, path));
    EXPECT_EQ(decodeWithGiflib(path).frames.size(), 4u);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"kept.gif"});
}

TEST(GIFExport, CancelledBeforeStartWritesNothing) {
    QTemporaryDir dir;
    CancelFlag cancel;
    cancel.cancel();
    const ExportStatus status =
        Exporter::encodeGIF(FrameSequence::of(std::vector<Image>(3, test::patternImage(64, 64))),
                            {0.1, 0.1, 0.1}, 50, dir.filePath("x.gif"), cancel);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->isCancellation());
    EXPECT_TRUE(filesIn(dir.path()).isEmpty());
}

TEST(GIFExport, OneFrameAndMixedSizes) {
    QTemporaryDir dir;
    const QString one = dir.filePath("one.gif");
    ASSERT_FALSE(Exporter::encodeGIF(FrameSequence::of({test::solidImage(10, 10, Qt::green)}),
                                     {0.5}, 80, one));
    const DecodedGif single = decodeWithGiflib(one);
    EXPECT_EQ(single.loopCount, 0);
    ASSERT_EQ(single.frames.size(), 1u);
    EXPECT_EQ(single.delays, std::vector<int>{50});

    // A smaller later frame sits top-left on white; a null frame is white.
    const QString mixed = dir.filePath("mixed.gif");
    ASSERT_FALSE(
        Exporter::encodeGIF(FrameSequence::of({test::solidImage(8, 8, Qt::black),
                                               test::solidImage(4, 4, Qt::black), Image()}),
                            {0.1, 0.1, 0.1}, 100, mixed));
    const DecodedGif gif = decodeWithGiflib(mixed);
    ASSERT_EQ(gif.frames.size(), 3u);
    EXPECT_EQ(gif.frames[1].pixel(3, 3), qRgb(0, 0, 0));
    EXPECT_EQ(gif.frames[1].pixel(6, 6), gif.frames[2].pixel(0, 0));
}

TEST(GIFEncoder, EveryWayOfCompressingDecodesToTheFramesIndices) {
    // Palettes small and full (the code size follows the indices used, and
    // a full palette lends an unused index), and frames large and noisy
    // enough to fill the code table, partly still and partly changed, so
    // every choice of the writer comes up: transparent or plain, a full
    // table started anew or kept.
    QTemporaryDir dir;
    for (const int colours : {3, 16, 200, 256}) {
        SCOPED_TRACE(colours);
        GIFQuantizer::Palette palette;
        for (int i = 0; i < colours; ++i) {
            palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
        }
        QRandomGenerator random{quint32(colours)};
        std::vector<GIFQuantizer::IndexedFrame> frames(6);
        for (size_t f = 0; f < frames.size(); ++f) {
            GIFQuantizer::IndexedFrame& frame = frames[f];
            frame.width = 300;
            frame.height = 200;
            frame.indices.resize(300 * 200);
            for (int y = 0; y < 200; ++y) {
                for (int x = 0; x < 300; ++x) {
                    uint8_t& index = frame.indices[size_t(y * 300 + x)];
                    const bool moving = f > 0 && x >= int(f) * 30 && x < int(f) * 30 + 120;
                    if (f > 0 && !moving && (x + y) % 3 != 0) {
                        index = frames[f - 1].indices[size_t(y * 300 + x)];  // still
                    } else if (y < 100) {
                        index = uint8_t(random.bounded(colours));  // noise
                    } else {
                        index = uint8_t((x / 8 + y / 8 + int(f)) % colours);  // pattern
                    }
                }
            }
        }
        // The last frame repeats the one before: nothing changed at all.
        frames.push_back(frames.back());
        const QString path = dir.filePath(QStringLiteral("choices.gif"));
        ASSERT_EQ(writeIndexed(palette, frames, std::vector<double>(frames.size(), 0.1), path),
                  std::nullopt);
        const DecodedGif decoded = decodeWithGiflib(path);
        const std::vector<QImage> qt = decodeWithQt(path);
        ASSERT_EQ(decoded.frames.size(), frames.size());
        ASSERT_EQ(qt.size(), frames.size());
        for (size_t f = 0; f < frames.size(); ++f) {
            int wrong = 0;
            for (int y = 0; y < 200; ++y) {
                for (int x = 0; x < 300; ++x) {
                    const GIFQuantizer::RGB c = palette[frames[f].indices[size_t(y * 300 + x)]];
                    const QRgb want = qRgb(c.r, c.g, c.b);
                    wrong += decoded.frames[f].pixel(x, y) != want;
                    wrong += qt[f].pixel(x, y) != want;
                }
            }
            EXPECT_EQ(wrong, 0) << "frame " << f;
        }
    }
}

// Lossy frames of `palette` against the exact file: no pixel off by more
// than the bound, still pixels exactly as the frame before showed them, and
// never a larger file. Returns how many pixels are off.
int checkLossy(const GIFQuantizer::Palette& palette,
               const std::vector<GIFQuantizer::IndexedFrame>& frames, int strength) {
    QTemporaryDir dir;
    const QString exact = dir.filePath(QStringLiteral("exact.gif"));
    const QString lossy = dir.filePath(QStringLiteral("lossy.gif"));
    const std::vector<double> delays(frames.size(), 0.1);
    EXPECT_EQ(writeIndexed(palette, frames, delays, exact), std::nullopt);
    EXPECT_EQ(writeIndexed(palette, frames, delays, lossy, strength), std::nullopt);
    const int bound = GIFEncoder::lossyErrorBound(strength);
    const DecodedGif decoded = decodeWithGiflib(lossy);
    EXPECT_EQ(decoded.frames.size(), frames.size());
    if (decoded.frames.size() != frames.size()) {
        return 0;
    }
    const int width = frames[0].width;
    int off = 0;
    for (size_t f = 0; f < frames.size(); ++f) {
        for (int y = 0; y < frames[0].height; ++y) {
            for (int x = 0; x < width; ++x) {
                const size_t p = size_t(y * width + x);
                const GIFQuantizer::RGB want = palette[frames[f].indices[p]];
                const QRgb got = decoded.frames[f].pixel(x, y);
                const int error =
                    std::max({std::abs(qRed(got) - want.r), std::abs(qGreen(got) - want.g),
                              std::abs(qBlue(got) - want.b)});
                EXPECT_LE(error, bound) << "frame " << f << " at " << x << "," << y;
                if (error > bound) {
                    return off;
                }
                off += error > 0;
                if (f > 0 && frames[f].indices[p] == frames[f - 1].indices[p] &&
                    got != decoded.frames[f - 1].pixel(x, y)) {
                    ADD_FAILURE() << "still pixel changed: frame " << f << " at " << x << "," << y;
                    return off;
                }
            }
        }
    }
    EXPECT_LE(QFileInfo(lossy).size(), QFileInfo(exact).size());
    std::printf("lossy %d: %lld of %lld B, %d pixels off\n", strength,
                qint64(QFileInfo(lossy).size()), qint64(QFileInfo(exact).size()), off);
    return off;
}

TEST(GIFEncoder, LossyCompressionKeepsItsBoundAndStillPixels) {
    // A palette of near colours (so lossy matching has choices) and frames
    // whose left half changes while the right half keeps parts still.
    GIFQuantizer::Palette palette;
    for (int i = 0; i < 64; ++i) {
        palette.push_back({uint8_t(i * 4), uint8_t(255 - i * 4), uint8_t(i * 2)});
    }
    QRandomGenerator random{7u};
    const auto make = [](int count, const auto& indexAt) {
        std::vector<GIFQuantizer::IndexedFrame> frames(static_cast<size_t>(count));
        for (size_t f = 0; f < frames.size(); ++f) {
            frames[f].width = 160;
            frames[f].height = 120;
            frames[f].indices.resize(160 * 120);
            for (int y = 0; y < 120; ++y) {
                for (int x = 0; x < 160; ++x) {
                    frames[f].indices[size_t(y * 160 + x)] = indexAt(frames, int(f), x, y);
                }
            }
        }
        return frames;
    };
    const auto halfStill = make(5, [&](const auto& frames, int f, int x, int y) {
        if (f > 0 && x >= 80 && (y / 10) % 2 == 0) {
            return frames[size_t(f - 1)].indices[size_t(y * 160 + x)];
        }
        return uint8_t((x / 4 + y / 6 + f * 3) % 64 ^ random.bounded(3));
    });
    EXPECT_EQ(GIFEncoder::lossyErrorBound(60), 24);
    EXPECT_GT(checkLossy(palette, halfStill, 60), 0) << "lossy matching changed nothing";

    // Content scrolling up under a still bar: few pixels stay, and lossy
    // matching on its own would cost more than it saves.
    std::vector<uint8_t> page(160 * 400);
    for (size_t p = 0; p < page.size(); ++p) {
        page[p] = uint8_t((p % 160 / 8 + p / 160 / 5) % 64 ^ random.bounded(2));
    }
    const auto scrolling = make(8, [&](const auto&, int f, int x, int y) {
        return y < 12 ? uint8_t(x / 20) : page[size_t((y + f * 7) * 160 + x)];
    });
    checkLossy(palette, scrolling, 40);
    checkLossy(palette, scrolling, 100);

    // A palette of which the frames show only every fourth colour, so the
    // file gets a smaller table, while lossy matching sees near colours.
    GIFQuantizer::Palette wide;
    for (int i = 0; i < 200; ++i) {
        wide.push_back({uint8_t(i), uint8_t(i), uint8_t(255 - i)});
    }
    const auto sparse = make(4, [&](const auto&, int f, int x, int y) {
        return uint8_t(((x + f * 5) / 3 * 4 + y / 8 * 4 + int(random.bounded(2)) * 4) % 200);
    });
    checkLossy(wide, sparse, 60);
}
