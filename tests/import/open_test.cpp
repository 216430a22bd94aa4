#include "ImportTestSupport.h"
#include "export/ExportFormats.h"
#include "export/FrameSequence.h"
#include "import/AnimationOpener.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>

using namespace mirelo;

namespace {

// Frames with a few flat colours (so a GIF holds them exactly) that differ from each other.
std::vector<Image> blockFrames(int count, QSize size) {
    std::vector<Image> images;
    for (int i = 0; i < count; ++i) {
        QImage surface(size, QImage::Format_RGBA8888_Premultiplied);
        surface.fill(QColor(20 * i, 40, 200));
        for (int y = 0; y < size.height() / 2; ++y) {
            for (int x = 0; x < size.width(); ++x) {
                if ((x / 4 + i) % 3 == 0) {
                    surface.setPixelColor(x, y, QColor(250, 250 - 10 * i, 0));
                }
            }
        }
        images.push_back(Image::fromQImage(surface));
    }
    return images;
}

struct Fixture {
    QTemporaryDir dir;
    OpenOptions options() const {
        OpenOptions options;
        options.store.root = dir.filePath(QStringLiteral("store"));
        return options;
    }
};

OpenedFrames openOk(const QStringList& paths, const OpenOptions& options) {
    auto result = openAnimation(paths, options);
    if (const OpenError* error = std::get_if<OpenError>(&result)) {
        ADD_FAILURE() << "cannot open " << paths.join(' ').toStdString() << ": problem "
                      << int(error->problem) << " " << error->detail.toStdString();
        return {};
    }
    return std::get<OpenedFrames>(std::move(result));
}

OpenProblem problemOf(const QStringList& paths, const OpenOptions& options) {
    auto result = openAnimation(paths, options);
    EXPECT_TRUE(std::holds_alternative<OpenError>(result));
    return std::holds_alternative<OpenError>(result) ? std::get<OpenError>(result).problem
                                                     : OpenProblem::cancelled;
}

bool samePixels(const Image& a, const Image& b, int tolerance = 0) {
    if (a.size() != b.size()) {
        return false;
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width() * 4; ++x) {
            if (std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x])) > tolerance) {
                return false;
            }
        }
    }
    return true;
}

// The mean difference of two images' bytes.
double meanDifference(const Image& a, const Image& b) {
    if (a.size() != b.size()) {
        return 255;
    }
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width() * 4; ++x) {
            sum += std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x]));
        }
    }
    return sum / (a.width() * a.height() * 4.0);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

// A GIF written by Mirelo, opened and saved again, keeps its frames, delays and pixels.
TEST(OpenAnimation, GifRoundTripKeepsFramesDelaysAndPixels) {
    Fixture fixture;
    const std::vector<Image> images = blockFrames(5, QSize(24, 16));
    const std::vector<double> delays = {0.05, 0.1, 0.23, 0.5, 1.0};
    const QString first = fixture.dir.filePath(QStringLiteral("first.gif"));
    ASSERT_FALSE(encodeFrames(ExportFormat::gif, FrameSequence::of(images), delays, 100, first));

    const OpenedFrames opened = openOk({first}, fixture.options());
    ASSERT_EQ(opened.images.size(), images.size());
    EXPECT_EQ(opened.size, QSize(24, 16));
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_DOUBLE_EQ(opened.delays[i], delays[i]) << i;
        EXPECT_TRUE(samePixels(opened.images[i], images[i])) << "frame " << i;
    }
    const QString second = fixture.dir.filePath(QStringLiteral("second.gif"));
    ASSERT_FALSE(encodeFrames(ExportFormat::gif, FrameSequence::of(opened.images), opened.delays,
                              100, second));
    const OpenedFrames again = openOk({second}, fixture.options());
    ASSERT_EQ(again.images.size(), images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(std::lround(again.delays[i] * 100), std::lround(delays[i] * 100)) << i;
        EXPECT_TRUE(samePixels(again.images[i], opened.images[i])) << "frame " << i;
    }
}

TEST(OpenAnimation, WebPRoundTripKeepsFramesAndDelays) {
    Fixture fixture;
    const std::vector<Image> images = blockFrames(4, QSize(32, 20));
    const std::vector<double> delays = {0.04, 0.1, 0.333, 0.7};
    const QString first = fixture.dir.filePath(QStringLiteral("first.webp"));
    ASSERT_FALSE(encodeFrames(ExportFormat::webp, FrameSequence::of(images), delays, 95, first));
    const OpenedFrames opened = openOk({first}, fixture.options());
    ASSERT_EQ(opened.images.size(), images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_NEAR(opened.delays[i], delays[i], 0.0005) << i;
        // Lossy (4:2:0 colour on sharp stripes), so only near the original.
        EXPECT_LT(meanDifference(opened.images[i], images[i]), 10) << "frame " << i;
    }
    const QString second = fixture.dir.filePath(QStringLiteral("second.webp"));
    ASSERT_FALSE(encodeFrames(ExportFormat::webp, FrameSequence::of(opened.images), opened.delays,
                              95, second));
    const OpenedFrames again = openOk({second}, fixture.options());
    ASSERT_EQ(again.images.size(), images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_NEAR(again.delays[i], delays[i], 0.0005) << i;
    }
}

// A video made by ffmpeg: every frame at its time, turned as its display matrix says.
TEST(OpenAnimation, VideoFramesComeAtTheirTimesAndTurned) {
    Fixture fixture;
    const QString plain = fixture.dir.filePath(QStringLiteral("plain.mp4"));
    ASSERT_TRUE(test::runFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=12", "-frames:v",
                                 "18", "-pix_fmt", "yuv420p", "-c:v", "libx264", plain}));
    const OpenedFrames opened = openOk({plain}, fixture.options());
    ASSERT_EQ(opened.images.size(), 18u);
    EXPECT_EQ(opened.size, QSize(64, 48));
    double total = 0;
    for (double delay : opened.delays) {
        EXPECT_NEAR(delay, 1.0 / 12, 1.0 / 12 / 2);
        total += delay;
    }
    EXPECT_NEAR(total, 18.0 / 12, 1.0 / 12);
    // The first frame is the test picture, not black.
    const QRgb middle = opened.images[0].qimage().pixel(10, 10);
    EXPECT_GT(qRed(middle) + qGreen(middle) + qBlue(middle), 60);

    // Variable timing: frames at 0, 0.1, 0.4, 0.5 s.
    const QString uneven = fixture.dir.filePath(QStringLiteral("uneven.mkv"));
    ASSERT_TRUE(test::runFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=32x32:rate=10", "-frames:v",
                                 "4", "-vf", "setpts='if(gte(N,2),(N+2)/10/TB,N/10/TB)'",
                                 "-fps_mode", "passthrough", "-c:v", "ffv1", uneven}));
    const OpenedFrames timed = openOk({uneven}, fixture.options());
    ASSERT_EQ(timed.images.size(), 4u);
    EXPECT_NEAR(timed.delays[0], 0.1, 0.01);
    EXPECT_NEAR(timed.delays[1], 0.3, 0.01);
    EXPECT_NEAR(timed.delays[2], 0.1, 0.01);

    const QString turned = fixture.dir.filePath(QStringLiteral("turned.mp4"));
    ASSERT_TRUE(
        test::runFfmpeg({"-i", plain, "-c", "copy", "-metadata:s:v:0", "rotate=90", turned}));
    const OpenedFrames upright = openOk({turned}, fixture.options());
    ASSERT_EQ(upright.images.size(), 18u);
    EXPECT_EQ(upright.size, QSize(48, 64));
    EXPECT_EQ(upright.images[0].size(), QSize(48, 64));
}

// An animated PNG (ffmpeg's encoder writes frames of changed rectangles, blended), composited
// to the same pixels as ffmpeg's decoding; a plain PNG is one still frame.
TEST(OpenAnimation, AnimatedPngMatchesFfmpegAndAStillPngIsOneFrame) {
    Fixture fixture;
    const QString apng = fixture.dir.filePath(QStringLiteral("moving.png"));
    ASSERT_TRUE(test::runFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=32x24:rate=5", "-frames:v",
                                 "4", "-plays", "0", "-f", "apng", apng}));
    const OpenedFrames opened = openOk({apng}, fixture.options());
    ASSERT_EQ(opened.images.size(), 4u);
    EXPECT_NEAR(opened.delays[0], 0.2, 1e-9);
    const std::optional<QByteArray> theirs = test::ffmpegFrames(apng);
    ASSERT_TRUE(theirs);
    ASSERT_EQ(theirs->size(), 4 * 32 * 24 * 4);
    for (int f = 0; f < 4; ++f) {
        const QImage ours =
            opened.images[size_t(f)].qimage().convertToFormat(QImage::Format_RGBA8888);
        EXPECT_EQ(std::memcmp(ours.constBits(), theirs->constData() + f * 32 * 24 * 4, 32 * 24 * 4),
                  0)
            << "frame " << f;
    }
    QImage still(10, 8, QImage::Format_RGB32);
    still.fill(Qt::magenta);
    const QString plain = fixture.dir.filePath(QStringLiteral("still.png"));
    ASSERT_TRUE(still.save(plain));
    const OpenedFrames one = openOk({plain}, fixture.options());
    ASSERT_EQ(one.images.size(), 1u);
    EXPECT_EQ(one.images[0].pixel(3, 3), test::rgba(255, 0, 255));
}

TEST(OpenAnimation, BadInputGivesOneProblem) {
    Fixture fixture;
    const OpenOptions options = fixture.options();
    const QString empty = fixture.dir.filePath(QStringLiteral("empty.gif"));
    writeFile(empty, {});
    EXPECT_EQ(problemOf({empty}, options), OpenProblem::emptyFile);
    EXPECT_EQ(problemOf({fixture.dir.filePath(QStringLiteral("missing.mp4"))}, options),
              OpenProblem::cannotRead);
    const QString text = fixture.dir.filePath(QStringLiteral("notes.mp4"));
    writeFile(text, QByteArray("these are not the frames you are looking for\n").repeated(20));
    const OpenProblem textProblem = problemOf({text}, options);
    EXPECT_TRUE(textProblem == OpenProblem::unknownFormat || textProblem == OpenProblem::damaged)
        << int(textProblem);
    const QString sound = fixture.dir.filePath(QStringLiteral("sound.mka"));
    ASSERT_TRUE(test::runFfmpeg({"-f", "lavfi", "-i", "sine=duration=0.3", sound}));
    EXPECT_EQ(problemOf({sound}, options), OpenProblem::noVideoStream);
    // A video whose pictures would each need more memory than a frame may take: refused by its
    // header's size, before any picture is decoded.
    const QString huge = fixture.dir.filePath(QStringLiteral("huge.y4m"));
    writeFile(huge, QByteArray("YUV4MPEG2 W12000 H9000 F30:1 C420jpeg\nFRAME\n") +
                        QByteArray(4096, '\x80'));
    auto hugeResult = openAnimation({huge}, options);
    ASSERT_TRUE(std::holds_alternative<OpenError>(hugeResult));
    EXPECT_EQ(std::get<OpenError>(hugeResult).problem, OpenProblem::tooLarge);
    EXPECT_EQ(std::get<OpenError>(hugeResult).size, QSize(12000, 9000));
    EXPECT_EQ(std::get<OpenError>(hugeResult).limit, kMaxVideoPixels);
    // A truncated WebP.
    const std::vector<Image> images = blockFrames(3, QSize(16, 16));
    const QString webp = fixture.dir.filePath(QStringLiteral("whole.webp"));
    ASSERT_FALSE(
        encodeFrames(ExportFormat::webp, FrameSequence::of(images), {0.1, 0.1, 0.1}, 80, webp));
    QFile whole(webp);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QString cut = fixture.dir.filePath(QStringLiteral("cut.webp"));
    writeFile(cut, whole.readAll().chopped(40));
    EXPECT_EQ(problemOf({cut}, options), OpenProblem::damaged);
    // Nothing of a failed opening stays in the cache.
    EXPECT_TRUE(QDir(options.store.root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
}

// A folder's pictures in natural order, each fitted into the first one's size.
TEST(OpenAnimation, FolderInNaturalOrderFittedToTheFirstPicture) {
    Fixture fixture;
    QDir folder(fixture.dir.path());
    folder.mkdir(QStringLiteral("shots"));
    folder.cd(QStringLiteral("shots"));
    const QList<std::pair<QString, QColor>> files = {
        {"shot10.png", Qt::blue}, {"shot2.png", Qt::green}, {"shot1.png", Qt::red}};
    for (const auto& [name, color] : files) {
        QImage image(name == "shot1.png" ? QSize(40, 20) : QSize(20, 20), QImage::Format_RGB32);
        image.fill(color);
        ASSERT_TRUE(image.save(folder.filePath(name)));
    }
    writeFile(folder.filePath(QStringLiteral("readme.txt")), "not a frame");
    OpenOptions options = fixture.options();
    options.background = Qt::white;
    const OpenedFrames opened = openOk({folder.path()}, options);
    ASSERT_EQ(opened.images.size(), 3u);
    EXPECT_EQ(opened.size, QSize(40, 20));
    EXPECT_EQ(opened.images[0].pixel(20, 10), test::rgba(255, 0, 0));
    // The square ones sit in the middle on the background.
    EXPECT_EQ(opened.images[1].pixel(20, 10), test::rgba(0, 255, 0));
    EXPECT_EQ(opened.images[1].pixel(2, 10), test::rgba(255, 255, 255));
    EXPECT_EQ(opened.images[2].pixel(20, 10), test::rgba(0, 0, 255));
    EXPECT_DOUBLE_EQ(opened.delays[0], 1.0 / 15);

    // Files named one by one are read in the same order; an empty folder is refused.
    const OpenedFrames named =
        openOk({folder.filePath("shot10.png"), folder.filePath("shot1.png")}, fixture.options());
    ASSERT_EQ(named.images.size(), 2u);
    EXPECT_EQ(named.images[0].pixel(0, 0), test::rgba(255, 0, 0));
    folder.mkdir(QStringLiteral("none"));
    EXPECT_EQ(problemOf({folder.filePath(QStringLiteral("none"))}, fixture.options()),
              OpenProblem::cannotRead);
}

TEST(OpenAnimation, CancelStopsAndLeavesNothing) {
    Fixture fixture;
    const std::vector<Image> images = blockFrames(6, QSize(16, 16));
    const QString path = fixture.dir.filePath(QStringLiteral("six.gif"));
    ASSERT_FALSE(encodeFrames(ExportFormat::gif, FrameSequence::of(images),
                              std::vector<double>(6, 0.1), 100, path));
    OpenOptions options = fixture.options();
    qint64 seen = 0;
    options.progress = [&seen](qint64 done, qint64) {
        seen = done;
        return done < 2;
    };
    EXPECT_EQ(problemOf({path}, options), OpenProblem::cancelled);
    EXPECT_EQ(seen, 2);
    EXPECT_TRUE(QDir(options.store.root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
}

TEST(OpenAnimation, OpenedFramesLiveInTheStoreUntilTheLastOneGoes) {
    Fixture fixture;
    const std::vector<Image> images = blockFrames(3, QSize(16, 16));
    const QString path = fixture.dir.filePath(QStringLiteral("three.gif"));
    ASSERT_FALSE(encodeFrames(ExportFormat::gif, FrameSequence::of(images),
                              std::vector<double>(3, 0.1), 100, path));
    const OpenOptions options = fixture.options();
    {
        OpenedFrames opened = openOk({path}, options);
        ASSERT_EQ(opened.images.size(), 3u);
        EXPECT_EQ(QDir(options.store.root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
        opened.store.reset();
        EXPECT_TRUE(samePixels(opened.images[2], images[2]));
    }
    EXPECT_TRUE(QDir(options.store.root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
}
