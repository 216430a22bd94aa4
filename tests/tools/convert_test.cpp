#include "convert/Convert.h"
#include "convert/FrameArena.h"
#include "convert/FrameLoader.h"
#include "convert/PlainPNG.h"
#include "export/ExporterGIF.h"
#include "i18n/Language.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace mirelo;

// mirelo-convert's lines are read here in English, as a C locale shows them.
class EnglishLines : public ::testing::Environment {
public:
    void SetUp() override { mirelo::i18n::install(mirelo::i18n::Language::english); }
};
const ::testing::Environment* const kEnglishLines =
    ::testing::AddGlobalTestEnvironment(new EnglishLines);

namespace {

struct Result {
    int status = -1;
    QString out;
    QString err;
};

Result runConvert(const QStringList& arguments) {
    Result result;
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    result.status = convert::run(arguments, out, err, {}, convert::ProgressLine::always);
    return result;
}

void writeFrames(const QString& folder, int count) {
    for (int i = 0; i < count; ++i) {
        test::patternImage(24, 16, uint8_t(i * 30))
            .qimage()
            .save(folder + QStringLiteral("/frame%1.png").arg(i));
    }
}

// A PNG whose row y is stored with filter y % 5 (none, sub, up, average,
// Paeth), its stream split over two IDAT chunks with a text chunk before
// them; 8-bit RGB, or RGBA with partial transparency.
QByteArray pngWithEveryFilter(int width, int height, bool alpha) {
    const int bpp = alpha ? 4 : 3;
    const int stride = width * bpp;
    std::vector<uint8_t> pixels(size_t(stride) * size_t(height));
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = uint8_t((i * 7919u) ^ (i >> 3) * 31u);
    }
    QByteArray raw;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels.data() + size_t(y) * size_t(stride);
        const uint8_t* above = y > 0 ? row - stride : nullptr;
        const int filter = y % 5;
        raw.append(char(filter));
        for (int i = 0; i < stride; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0;
            const int b = above ? above[i] : 0;
            const int c = above && i >= bpp ? above[i - bpp] : 0;
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            const int predictor[5] = {0, a, b, (a + b) / 2, paeth};
            raw.append(char(uint8_t(row[i] - predictor[filter])));
        }
    }
    const QByteArray stream = qCompress(raw).mid(4);  // without Qt's length prefix
    auto crc = [](const QByteArray& bytes) {
        uint32_t c = 0xffffffffu;
        for (char byte : bytes) {
            c ^= uint8_t(byte);
            for (int k = 0; k < 8; ++k) {
                c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            }
        }
        return c ^ 0xffffffffu;
    };
    auto bigEndian = [](uint32_t v) {
        const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(bytes, 4);
    };
    QByteArray file("\x89PNG\r\n\x1a\n", 8);
    auto chunk = [&](const char* type, const QByteArray& data) {
        const QByteArray body = QByteArray(type) + data;
        file += bigEndian(uint32_t(data.size())) + body + bigEndian(crc(body));
    };
    chunk("IHDR", bigEndian(uint32_t(width)) + bigEndian(uint32_t(height)) +
                      QByteArray::fromHex(alpha ? "0806000000" : "0802000000"));
    chunk("tEXt", QByteArray("Comment\0rows", 12));
    chunk("IDAT", stream.left(stream.size() / 2));
    chunk("IDAT", stream.mid(stream.size() / 2));
    chunk("IEND", {});
    return file;
}

}  // namespace

TEST(MireloConvert, BadInputFailsWithOneLine) {
    QTemporaryDir dir;
    const QString frames = dir.filePath("frames");
    QDir().mkpath(frames);
    const QString out = dir.filePath("out.gif");

    auto expectError = [](const QStringList& arguments, const QString& needle) {
        const Result result = runConvert(arguments);
        EXPECT_EQ(result.status, 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains(needle)) << result.err.toStdString();
        EXPECT_EQ(result.err.count('\n'), 1) << result.err.toStdString();
    };
    expectError({dir.filePath("missing"), out}, "no such file or folder");
    expectError({frames, out}, "no PNG or JPEG frames");
    writeFrames(frames, 3);
    expectError({frames, dir.filePath("out.bmp")}, "output format");
    expectError({frames, dir.filePath("nowhere/out.gif")}, "does not exist");
    expectError({"--fps", "0", frames, out}, "--fps");
    expectError({"--quality", "abc", frames, out}, "--quality");
    expectError({"--fps", "10", "--delay", "0.1", frames, out}, "either");
    expectError({"--frobnicate", "1", frames, out}, "unknown option");
    expectError({"--webp-mode", "best", frames, out}, "--webp-mode");
    expectError({"--lossy", "101", frames, out}, "--lossy");
    expectError({frames}, "expected");
    {
        QFile broken(frames + "/frame9.png");
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("not a picture");
    }
    expectError({"--quiet", frames, out}, "cannot read image");
    EXPECT_FALSE(QFile::exists(out));
}

TEST(MireloConvert, WebPModeAndTheHelpsRangesAreTheChecks) {
    using convert::Options;
    const auto parsed = [](const QStringList& arguments) {
        const auto result = convert::parseArguments(arguments);
        return std::holds_alternative<Options>(result) ? std::get<Options>(result).webpMode
                                                       : WebPMode(-1);
    };
    EXPECT_EQ(parsed({"f", "o.webp"}), WebPMode::lossy);
    EXPECT_EQ(parsed({"--webp-mode", "lossless", "f", "o.webp"}), WebPMode::lossless);
    EXPECT_EQ(parsed({"--webp-mode", "auto", "f", "o.webp"}), WebPMode::mixed);
    // What --help gives as a range is what the check accepts, at both ends.
    const QString help = convert::usage();
    EXPECT_TRUE(help.contains("--resize PERCENT") && help.contains("(1..100)"));
    for (const char* resize : {"1", "100"}) {
        EXPECT_TRUE(std::holds_alternative<Options>(
            convert::parseArguments({"--resize", resize, "f", "o.gif"})));
    }
    for (const char* resize : {"0", "101"}) {
        EXPECT_FALSE(std::holds_alternative<Options>(
            convert::parseArguments({"--resize", resize, "f", "o.gif"})));
    }
}

TEST(MireloConvert, OptionsAreReadInTheOrderGivenWhereverThePositionalsStand) {
    using convert::Options;
    const auto error = [](const QStringList& arguments) {
        const auto result = convert::parseArguments(arguments);
        const QString* line = std::get_if<QString>(&result);
        return line ? *line : QString();
    };
    // A later value replaces an earlier one, but every value is checked.
    const auto parsed = convert::parseArguments({"f", "--quality", "30", "o.gif", "--quality=70"});
    ASSERT_TRUE(std::holds_alternative<Options>(parsed));
    EXPECT_EQ(std::get<Options>(parsed).quality, 70);
    EXPECT_EQ(std::get<Options>(parsed).input, "f");
    EXPECT_EQ(std::get<Options>(parsed).output, "o.gif");
    EXPECT_TRUE(error({"--quality", "0", "--quality", "50", "f", "o.gif"}).contains("--quality"));
    // The first bad value is the one told.
    EXPECT_TRUE(error({"--lossy", "200", "--fps", "0", "f", "o.gif"}).contains("--lossy"));
    // A value is the next argument, whatever it looks like.
    EXPECT_TRUE(error({"--fps", "--quiet", "f", "o.gif"}).contains("'--quiet'"));
    EXPECT_TRUE(error({"f", "o.gif", "--delay"}).contains("--delay needs a value"));
    EXPECT_TRUE(error({"--quiet=yes", "f", "o.gif"}).contains("unknown option --quiet=yes"));
    // After "--" everything is a file name.
    const auto dashed = convert::parseArguments({"--", "-frames", "o.gif"});
    ASSERT_TRUE(std::holds_alternative<Options>(dashed));
    EXPECT_EQ(std::get<Options>(dashed).input, "-frames");
    EXPECT_TRUE(std::get<Options>(convert::parseArguments({"f", "--bogus", "-h"})).help);
}

TEST(MireloConvert, WritesAGifAndShowsHelp) {
    QTemporaryDir dir;
    writeFrames(dir.path(), 12);
    const QString out = dir.filePath("anim.gif");
    const Result result =
        runConvert({"--fps", "10", "--reduce", "50", "--resize", "50", "--skip-similar", "99",
                    "--max-similar-seconds", "1", dir.path(), out});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("encoding 100%"));
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(6), "GIF89a");

    const Result help = runConvert({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--skip-similar"));
}

// mirelo-convert reads a GIF's frames as it encodes them, or, with a
// reduction to apply, holds them all as bands shared with the frame before,
// copied or read where they were decoded depending on how much changed.
// Either way the file must be the one the export makes from the same frames
// held whole.
TEST(MireloConvert, GifFromAFolderEqualsTheExportOfTheSameFrames) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("frames");
    QDir().mkpath(folder);
    // 70 rows: four bands of 16 and one of 6. Each frame changes a different
    // share of the bands: all, none, one (the last, short one), four of five,
    // three of five; then more frames than the palette samples.
    QImage frame = test::patternImage(40, 70, 7).qimage();
    const auto paint = [&frame](int top, int rows, uint8_t seed) {
        const QImage noise = test::patternImage(40, rows, seed).qimage();
        for (int y = 0; y < rows; ++y) {
            std::memcpy(frame.scanLine(top + y), noise.constScanLine(y), 40 * 4);
        }
    };
    std::vector<Image> images;
    const auto keep = [&] {
        const QString path = folder + QStringLiteral("/%1.png").arg(images.size());
        ASSERT_TRUE(frame.save(path));
        images.push_back(Image::fromQImage(QImage(path)));
    };
    keep();
    paint(0, 70, 50);
    keep();
    keep();
    paint(64, 6, 90);
    keep();
    paint(0, 64, 130);
    keep();
    paint(20, 30, 170);
    keep();
    for (int i = 0; i < 10; ++i) {
        paint(i * 6, 10, uint8_t(i * 20));
        keep();
    }

    const QString fromMemory = dir.filePath("memory.gif");
    ASSERT_FALSE(Exporter::encodeGIF(FrameSequence::of(images),
                                     std::vector<double>(images.size(), 0.1), 80, fromMemory));
    QFile expected(fromMemory);
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
    const QByteArray bytes = expected.readAll();
    for (const QStringList& options : {QStringList{}, QStringList{"--reduce", "0"}}) {
        const QString fromFolder = dir.filePath("folder.gif");
        const Result result =
            runConvert(options + QStringList{"--quiet", "--fps", "10", folder, fromFolder});
        ASSERT_EQ(result.status, 0) << result.err.toStdString();
        QFile written(fromFolder);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), bytes) << options.join(' ').toStdString();
    }
}

TEST(MireloConvert, FramesSortByNameWithNumbersByValue) {
    QTemporaryDir dir;
    for (const char* name : {"f10.png", "f2.png", "f1.PNG", "a.jpg", "notes.txt"}) {
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    }
    EXPECT_EQ(convert::frameFiles(QDir(dir.path())),
              (QStringList{"a.jpg", "f1.PNG", "f2.png", "f10.png"}));
}

TEST(MireloConvert, FrameArenaDecodesLikeQt) {
    QTemporaryDir dir;
    QImage opaque(37, 21, QImage::Format_RGB32);
    QImage translucent(19, 23, QImage::Format_ARGB32);
    for (int y = 0; y < 23; ++y) {
        for (int x = 0; x < 37; ++x) {
            if (y < 21) {
                opaque.setPixel(x, y, qRgb(x * 7, y * 11, (x * y) & 0xff));
            }
            if (x < 19) {
                translucent.setPixel(x, y, qRgba(x * 13, 200 - y * 3, 90, (x * 17 + y * 5) & 0xff));
            }
        }
    }
    const QImage grey =
        opaque.convertToFormat(QImage::Format_Grayscale8);  // another decoder format
    convert::FrameArena arena;
    for (const QImage& source : {opaque, translucent, grey}) {
        const QString path = dir.filePath(QStringLiteral("f%1.png").arg(source.format()));
        ASSERT_TRUE(source.save(path));
        QImageReader reader(path);
        const Image viaArena = arena.read(reader);
        const Image viaQt = Image::fromQImage(QImage(path));
        ASSERT_EQ(viaArena.size(), viaQt.size());
        for (int y = 0; y < viaQt.height(); ++y) {
            for (int x = 0; x < viaQt.width(); ++x) {
                ASSERT_EQ(viaArena.pixel(x, y), viaQt.pixel(x, y)) << x << "," << y;
            }
        }
    }
}

TEST(MireloConvert, PlainPngDecodesEveryFilterLikeQtAndRefusesBadChecksums) {
    QTemporaryDir dir;
    convert::PlainPNG::Decoder decoder;
    for (const bool alpha : {false, true}) {
        const QByteArray png = pngWithEveryFilter(23, 17, alpha);
        const QImage viaQt = QImage::fromData(png).convertToFormat(kStandardFormat);
        ASSERT_FALSE(viaQt.isNull());
        const auto* bytes = reinterpret_cast<const uchar*>(png.constData());
        ASSERT_TRUE(decoder.parse(bytes, size_t(png.size())));
        ASSERT_EQ(decoder.width(), 23);
        ASSERT_EQ(decoder.height(), 17);
        std::vector<uchar> decoded(23 * 17 * 4);
        ASSERT_TRUE(decoder.decode(decoded.data()));
        for (int y = 0; y < 17; ++y) {
            ASSERT_EQ(std::memcmp(decoded.data() + y * 23 * 4, viaQt.constScanLine(y), 23 * 4), 0)
                << alpha << " row " << y;
        }

        // A damaged stream is refused, and through the arena fails as in Qt.
        QByteArray damaged = png;
        damaged[damaged.size() - 20] = char(damaged[damaged.size() - 20] ^ 0x40);  // in IDAT
        EXPECT_FALSE(decoder.parse(reinterpret_cast<const uchar*>(damaged.constData()),
                                   size_t(damaged.size())));
        EXPECT_FALSE(decoder.decode(decoded.data()));
        const QString path = dir.filePath(QStringLiteral("damaged%1.png").arg(alpha));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(damaged), damaged.size());
        file.close();
        convert::FrameArena arena;
        QImageReader reader(path);
        EXPECT_TRUE(arena.read(reader).isNull());
        EXPECT_TRUE(QImage(path).isNull());
    }
    // Other kinds of PNG are left to Qt.
    QImage grey(5, 4, QImage::Format_Grayscale8);
    grey.fill(128);
    QByteArray greyPng;
    QBuffer buffer(&greyPng);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && grey.save(&buffer, "PNG"));
    EXPECT_FALSE(
        decoder.parse(reinterpret_cast<const uchar*>(greyPng.constData()), size_t(greyPng.size())));
}

TEST(MireloConvert, FrameArenaRefusesAJpegWithABrokenHeader) {
    // A bad Huffman table before the first scan: the header gives no size.
    const QByteArray broken = QByteArray::fromBase64(
        "/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAA0JCgsKCA0LCgsODg0PEyAVExISEyccHhcgLikxMC4pLSwzOko+"
        "MzZGNywtQFdBRkxOUlNSMj5aYVpQYEpRUk//wAALCAAEAAYBAREA/8QAFAABAAAAAAAAAAAAAAAAAAAABv/"
        "EABoQAAAHAAAAAAAAAAAAQAAAAAABBhZUodH/2gAIAQEAAD8ALv5RTKPR/9k=");
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("broken.jpg")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(broken), broken.size());
    file.close();
    convert::FrameArena arena;
    QImageReader reader(file.fileName());
    EXPECT_TRUE(arena.read(reader).isNull());
    EXPECT_FALSE(reader.errorString().isEmpty());
}

TEST(MireloConvert, FrameArenaKeepsToTheReadersAllocationLimit) {
    // A header may claim gigapixels in a few hundred bytes: the arena takes no more than
    // Qt's readers would allocate themselves.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wide.png"));
    QImage wide(1024, 300, QImage::Format_RGB32);
    wide.fill(Qt::darkYellow);
    ASSERT_TRUE(wide.save(path));
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1);  // MB: the frame needs 1.2
    convert::FrameArena arena;
    QImageReader reader(path);
    const Image frame = arena.read(reader);
    QImageReader::setAllocationLimit(limit);
    EXPECT_TRUE(frame.isNull());
    EXPECT_EQ(arena.bytesTouched(), 0u);
    QImageReader again(path);
    EXPECT_EQ(arena.read(again).size(), QSize(1024, 300));
}

TEST(MireloConvert, FrameArenaReusesTheMemoryOfFramesLetGo) {
    QTemporaryDir dir;
    writeFrames(dir.path(), 3);
    const QString first = dir.filePath(QStringLiteral("frame0.png"));
    const Image expected = Image::fromQImage(QImage(first));
    Image kept;
    size_t oneFrame = 0;
    {
        convert::FrameArena arena;
        for (int i = 0; i < 3; ++i) {
            QImageReader reader(dir.filePath(QStringLiteral("frame%1.png").arg(i)));
            Image image = arena.read(reader);
            ASSERT_FALSE(image.isNull());
            if (i == 0) {
                oneFrame = arena.bytesTouched();
                ASSERT_GT(oneFrame, 0u);
            }
        }
        // Each frame was let go before the next was read: one block served all.
        EXPECT_EQ(arena.bytesTouched(), oneFrame);
        QImageReader reader(first);
        kept = arena.read(reader);
        const Image copy = kept;
        QImageReader again(first);
        const Image second = arena.read(again);
        EXPECT_FALSE(second.sharesPixelsWith(copy));
        EXPECT_EQ(arena.bytesTouched(), 2 * oneFrame);
    }
    // A frame outlives the arena it was read through.
    ASSERT_EQ(kept.size(), expected.size());
    for (int y = 0; y < kept.height(); ++y) {
        for (int x = 0; x < kept.width(); ++x) {
            ASSERT_EQ(kept.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
        }
    }
}

TEST(MireloConvert, FrameLoaderHandsOutFramesInOrderAndStopsAtAFailure) {
    QTemporaryDir dir;
    writeFrames(dir.path(), 9);
    {
        QFile broken(dir.filePath(QStringLiteral("frame6.png")));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("not a picture");
    }
    const QDir folder(dir.path());
    const QStringList names = convert::frameFiles(folder);
    ASSERT_EQ(names.size(), 9);
    for (int threads : {1, 3}) {
        convert::FrameLoader loader(folder, names, {}, threads, 2);
        EXPECT_EQ(loader.count(), 9u);
        for (size_t i : {0, 1, 2, 4, 5}) {  // frame 3 passed over
            const Image image = loader.frame(i);
            const Image expected = Image::fromQImage(QImage(folder.filePath(names[qsizetype(i)])));
            ASSERT_EQ(image.size(), expected.size()) << i;
            EXPECT_EQ(image.pixel(5, 7), expected.pixel(5, 7)) << i;
            EXPECT_TRUE(loader.error(i).isEmpty());
        }
        EXPECT_TRUE(loader.frame(6).isNull());
        EXPECT_TRUE(loader.error(6).startsWith(
            QStringLiteral("cannot read image %1: ").arg(folder.filePath(names[6]))))
            << loader.error(6).toStdString();
    }
    // A loader dropped early stops its workers; a cancelled one hands out
    // nothing more.
    { convert::FrameLoader unused(folder, names, {}, 2, 1); }
    CancelFlag cancel;
    convert::FrameLoader loader(folder, names, cancel, 2, 2);
    EXPECT_FALSE(loader.frame(0).isNull());
    cancel.cancel();
    EXPECT_TRUE(loader.frame(1).isNull());
}

// Frame 13 of 20 is not among those a GIF's palette samples: it fails in
// the middle of the encoding.
TEST(MireloConvert, StreamedAnimationsFailOnABrokenFrameWithoutAFile) {
    for (const QString& extension :
         {QStringLiteral("mp4"), QStringLiteral("webp"), QStringLiteral("gif")}) {
        QTemporaryDir dir;
        const QString frames = dir.filePath(QStringLiteral("frames"));
        QDir().mkpath(frames);
        writeFrames(frames, 20);
        const QString out = dir.filePath(QStringLiteral("out.") + extension);
        const Result good =
            runConvert({QStringLiteral("--fps"), QStringLiteral("10"), frames, out});
        EXPECT_EQ(good.status, 0) << good.err.toStdString();
        EXPECT_TRUE(good.err.contains("encoding 100% (20/20)")) << good.err.toStdString();
        EXPECT_FALSE(good.err.contains("reading frames")) << "frames were read ahead";
        ASSERT_TRUE(QFile::remove(out));
        {
            QFile broken(frames + QStringLiteral("/frame13.png"));
            ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
            broken.write("not a picture");
        }
        const Result bad = runConvert({QStringLiteral("--quiet"), frames, out});
        EXPECT_EQ(bad.status, 1);
        EXPECT_TRUE(
            bad.err.contains(QStringLiteral("cannot read image %1/frame13.png").arg(frames)))
            << bad.err.toStdString();
        EXPECT_EQ(bad.err.count('\n'), 1);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0)
            << extension.toStdString();
    }
}

TEST(MireloConvert, MaxSizeFitsTheFileOrWritesNothing) {
    QTemporaryDir dir;
    const QString frames = dir.filePath(QStringLiteral("frames"));
    QDir().mkpath(frames);
    // Noisy frames, so that every reduction makes the file smaller.
    for (int i = 0; i < 16; ++i) {
        QImage surface(96, 64, QImage::Format_RGB32);
        uint32_t seed = 1234u + uint32_t(i);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 96; ++x) {
                seed = seed * 1103515245u + 12345u;
                surface.setPixel(x, y, qRgb(x * 2 + int(seed >> 28), y * 3, int(seed >> 24)));
            }
        }
        surface.save(frames + QStringLiteral("/f%1.png").arg(i));
    }
    const QString out = dir.filePath(QStringLiteral("out.gif"));
    const Result full = runConvert({frames, out});
    ASSERT_EQ(full.status, 0) << full.err.toStdString();
    // Progress counts the frames as the folder has them.
    EXPECT_TRUE(full.err.contains("encoding 100% (16/16)")) << full.err.toStdString();
    const qint64 fullSize = QFileInfo(out).size();

    const qint64 limit = fullSize * 6 / 10;
    const Result fitted = runConvert({"--max-size", QString::number(limit), frames, out});
    ASSERT_EQ(fitted.status, 0) << fitted.err.toStdString();
    EXPECT_LE(QFileInfo(out).size(), limit);
    EXPECT_GT(QFileInfo(out).size(), limit / 4) << "the best setting under the limit";
    EXPECT_TRUE(fitted.err.contains("to fit --max-size")) << fitted.err.toStdString();
    const Result roomy = runConvert({"--quiet", "--max-size", "1M", frames, out});
    ASSERT_EQ(roomy.status, 0);
    EXPECT_EQ(QFileInfo(out).size(), fullSize) << "a limit that fits changes nothing";

    // Too small for anything: one line, and the file already there is kept.
    const Result tooSmall = runConvert({"--quiet", "--max-size", "0.2k", frames, out});
    EXPECT_EQ(tooSmall.status, 1);
    EXPECT_TRUE(tooSmall.err.contains("nothing written")) << tooSmall.err.toStdString();
    EXPECT_EQ(tooSmall.err.count('\n'), 1) << tooSmall.err.toStdString();
    EXPECT_EQ(QFileInfo(out).size(), fullSize);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    for (const char* bad : {"0", "-5", "abc", "10G", "1.2.3", "", "k", "1e6", " 5M"}) {
        const Result result = runConvert({"--max-size", bad, frames, out});
        EXPECT_EQ(result.status, 1) << bad;
        EXPECT_TRUE(result.err.contains("--max-size")) << result.err.toStdString();
        EXPECT_EQ(result.err.count('\n'), 1) << bad;
    }
    EXPECT_EQ(convert::parseSize("2.5M"), 2500000);
    EXPECT_EQ(convert::parseSize("300k"), 300000);
    EXPECT_EQ(convert::parseSize("4096"), 4096);

    // Writing to a stream that is no terminal shows no progress line.
    QString quietOut, quietErr;
    QTextStream outStream(&quietOut), errStream(&quietErr);
    EXPECT_EQ(convert::run({frames, out}, outStream, errStream), 0);
    EXPECT_FALSE(quietErr.contains('\r')) << quietErr.toStdString();
}
