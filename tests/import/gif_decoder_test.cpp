#include "ImportTestSupport.h"
#include "import/AnimationDecoder.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <functional>

using namespace mirelo;

namespace {

std::vector<DecodedFrame> decodeAll(const QString& path, std::optional<OpenError>* failure) {
    OpenError error;
    std::vector<DecodedFrame> frames;
    std::unique_ptr<AnimationDecoder> decoder = openDecoder(path, &error);
    if (!decoder) {
        *failure = error;
        return frames;
    }
    while (auto frame = decoder->next()) {
        frames.push_back(std::move(*frame));
    }
    *failure = decoder->failure();
    return frames;
}

std::vector<uint8_t> indices(QSize size, const std::function<uint8_t(int x, int y)>& at) {
    std::vector<uint8_t> out;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            out.push_back(at(x, y));
        }
    }
    return out;
}

// Our frames as straight RGBA, to compare with ffmpeg's (every alpha here is 0 or 255, so
// premultiplied and straight agree but for the colour of transparent pixels).
bool sameAsFfmpeg(const std::vector<DecodedFrame>& frames, const QByteArray& theirs,
                  std::string* why) {
    if (frames.empty()) {
        *why = "no frames";
        return false;
    }
    const QSize size = frames[0].image.size();
    const qsizetype frameBytes = qsizetype(size.width()) * size.height() * 4;
    if (theirs.size() != frameBytes * qsizetype(frames.size())) {
        *why = "ffmpeg gave " + std::to_string(theirs.size() / frameBytes) + " frames, we " +
               std::to_string(frames.size());
        return false;
    }
    for (size_t f = 0; f < frames.size(); ++f) {
        for (int y = 0; y < size.height(); ++y) {
            const uchar* ours = frames[f].image.constScanLine(y);
            const auto* them = reinterpret_cast<const uchar*>(theirs.constData()) +
                               qsizetype(f) * frameBytes + qsizetype(y) * size.width() * 4;
            for (int x = 0; x < size.width(); ++x) {
                const uchar* a = ours + x * 4;
                const uchar* b = them + x * 4;
                const bool clear = a[3] == 0 && b[3] == 0;
                if (!clear && std::memcmp(a, b, 4) != 0) {
                    *why = "frame " + std::to_string(f) + " differs at " + std::to_string(x) + "," +
                           std::to_string(y);
                    return false;
                }
            }
        }
    }
    return true;
}

const QList<QColor> kGlobal = {Qt::white, Qt::red, Qt::green, Qt::blue};

}  // namespace

// Disposal to background and to previous, transparency, a local palette and an interlaced
// frame, composited as browsers do; ffmpeg's GIF decoder composites the same way.
TEST(GifDecoder, CompositesDisposalTransparencyAndPalettesAsFfmpeg) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("composite.gif"));
    const QSize size(12, 10);
    std::vector<test::GifFrameSpec> frames;
    // 1: the whole canvas, blue with a red stripe; kept.
    frames.push_back({QRect(QPoint(0, 0), size),
                      indices(size, [](int x, int) { return uint8_t(x < 3 ? 1 : 3); }),
                      {},
                      1});
    // 2: a green square with a transparent hole, local palette; restored to previous.
    const QSize square(5, 4);
    frames.push_back(
        {QRect(QPoint(2, 2), square),
         indices(square, [](int x, int y) { return uint8_t(x == 2 && y == 1 ? 0 : 1); }),
         {Qt::black, Qt::green},
         3,
         0,
         20});
    // 3: a yellow bar from a local palette, interlaced; cleared to background after.
    const QSize bar(12, 9);
    frames.push_back({QRect(QPoint(0, 1), bar),
                      indices(bar, [](int x, int y) { return uint8_t((x + y) % 3 == 0 ? 1 : 2); }),
                      {Qt::black, Qt::yellow, Qt::cyan},
                      2,
                      0,
                      30,
                      true});
    // 4: a single global-palette pixel over whatever the disposal left.
    frames.push_back({QRect(5, 5, 1, 1), {2}, {}, 1, -1, 1});
    ASSERT_TRUE(test::writeGif(path, size, kGlobal, frames));

    std::optional<OpenError> failure;
    const std::vector<DecodedFrame> ours = decodeAll(path, &failure);
    ASSERT_FALSE(failure) << int(failure->problem);
    ASSERT_EQ(ours.size(), 4u);
    EXPECT_DOUBLE_EQ(ours[0].delay, 0.1);
    EXPECT_DOUBLE_EQ(ours[1].delay, 0.2);
    EXPECT_DOUBLE_EQ(ours[2].delay, 0.3);
    // A delay under 2 centiseconds plays as 10.
    EXPECT_DOUBLE_EQ(ours[3].delay, 0.1);
    // The hole shows frame 1 under it; after "previous", frame 1 is back; after
    // "background", the bar's place is transparent.
    EXPECT_EQ(ours[1].image.pixel(4, 3), test::rgba(0, 0, 255));
    EXPECT_EQ(ours[1].image.pixel(2, 2), test::rgba(0, 255, 0));
    EXPECT_EQ(ours[2].image.pixel(0, 0), test::rgba(255, 0, 0));
    EXPECT_EQ(ours[2].image.pixel(0, 1), test::rgba(255, 255, 0));
    EXPECT_EQ(ours[3].image.pixel(0, 1), 0u);
    EXPECT_EQ(ours[3].image.pixel(0, 0), test::rgba(255, 0, 0));
    EXPECT_EQ(ours[3].image.pixel(5, 5), test::rgba(0, 255, 0));

    const std::optional<QByteArray> theirs = test::ffmpegFrames(path);
    ASSERT_TRUE(theirs) << "ffmpeg cannot decode the file";
    std::string why;
    EXPECT_TRUE(sameAsFfmpeg(ours, *theirs, &why)) << why;
}

TEST(GifDecoder, RefusesBrokenAndHugeFilesWithOneKind) {
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.gif"));
    const QSize size(16, 16);
    std::vector<test::GifFrameSpec> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back({QRect(QPoint(0, 0), size),
                          indices(size, [i](int x, int y) { return uint8_t((x * y + i) % 4); })});
    }
    ASSERT_TRUE(test::writeGif(good, size, kGlobal, frames));
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    const auto problemOf = [&](const QByteArray& content, const char* name) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.close();
        std::optional<OpenError> failure;
        decodeAll(path, &failure);
        return failure ? std::optional<OpenProblem>(failure->problem) : std::nullopt;
    };
    // Cut inside the second frame's pixels.
    EXPECT_EQ(problemOf(bytes.left(bytes.size() * 2 / 3), "cut.gif"), OpenProblem::damaged);
    // Only the header.
    EXPECT_EQ(problemOf(bytes.left(13), "header.gif"), OpenProblem::damaged);
    EXPECT_EQ(problemOf(QByteArray(), "empty.gif"), OpenProblem::emptyFile);
    // Without its trailer it plays, as in browsers.
    EXPECT_EQ(problemOf(bytes.chopped(1), "no-trailer.gif"), std::nullopt);
    // A screen of 60000 x 60000 is refused before anything is made.
    QByteArray huge = bytes;
    huge[6] = char(0x60);
    huge[7] = char(0xea);
    huge[8] = char(0x60);
    huge[9] = char(0xea);
    const QString hugePath = dir.filePath(QStringLiteral("huge.gif"));
    QFile hugeFile(hugePath);
    ASSERT_TRUE(hugeFile.open(QIODevice::WriteOnly));
    hugeFile.write(huge);
    hugeFile.close();
    OpenError error;
    EXPECT_EQ(openDecoder(hugePath, &error), nullptr);
    EXPECT_EQ(error.problem, OpenProblem::tooLarge);
    EXPECT_EQ(error.size, QSize(60000, 60000));
    EXPECT_EQ(error.path, hugePath);
}
