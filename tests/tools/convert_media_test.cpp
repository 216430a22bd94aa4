#include "convert/Convert.h"
#include "export/ExportFormats.h"
#include "export/FrameSequence.h"
#include "i18n/Language.h"
#include "import/AnimationOpener.h"
#include "support/TestImages.h"
#include "support/WebPFrames.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mirelo;

// mirelo-convert's lines are read here in English, as a C locale shows them.
class EnglishLines : public ::testing::Environment {
public:
    void SetUp() override { mirelo::i18n::install(mirelo::i18n::Language::english); }
};
const ::testing::Environment* const kEnglishLines =
    ::testing::AddGlobalTestEnvironment(new EnglishLines);

namespace {

QByteArray head(const QString& path, int bytes) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

TEST(MireloConvertMedia, WritesWebPAndMP4WithTheSameOptions) {
    QTemporaryDir dir;
    const QString frames = dir.filePath(QStringLiteral("frames"));
    QDir().mkpath(frames);
    for (int i = 0; i < 8; ++i) {
        test::patternImage(48, 32, uint8_t(i * 30))
            .qimage()
            .save(frames + QStringLiteral("/f%1.png").arg(i));
    }
    for (const QString& name : {QStringLiteral("a.webp"), QStringLiteral("a.mp4")}) {
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        const int status = convert::run(
            {QStringLiteral("--quiet"), QStringLiteral("--reduce"), QStringLiteral("50"),
             QStringLiteral("--resize"), QStringLiteral("50"), frames, dir.filePath(name)},
            outStream, errStream);
        EXPECT_EQ(status, 0) << err.toStdString();
    }
    const QByteArray webp = head(dir.filePath(QStringLiteral("a.webp")), 16);
    EXPECT_TRUE(webp.startsWith("RIFF") && webp.mid(8, 4) == "WEBP");
    EXPECT_EQ(head(dir.filePath(QStringLiteral("a.mp4")), 8).mid(4, 4), QByteArray("ftyp"));
}

// A GIF, WebP or video file is an input as well as a folder; its frames keep their delays.
TEST(MireloConvertMedia, TakesAnimationAndVideoFilesKeepingTheirDelays) {
    QTemporaryDir dir;
    std::vector<Image> images;
    for (int i = 0; i < 6; ++i) {
        images.push_back(test::patternImage(40, 24, uint8_t(i * 40)));
    }
    const std::vector<double> delays = {0.1, 0.2, 0.3, 0.1, 0.5, 0.04};
    const QString gif = dir.filePath(QStringLiteral("in.gif"));
    ASSERT_FALSE(encodeFrames(ExportFormat::gif, FrameSequence::of(images), delays, 90, gif));
    const auto convert = [](const QStringList& arguments, QString* err) {
        QString out;
        QTextStream outStream(&out), errStream(err);
        return convert::run(QStringList{QStringLiteral("--quiet")} + arguments, outStream,
                            errStream);
    };
    QString err;
    const QString webp = dir.filePath(QStringLiteral("out.webp"));
    ASSERT_EQ(convert({gif, webp}, &err), 0) << err.toStdString();
    const test::WebPFrames decoded = test::decodeWebP(webp);
    ASSERT_TRUE(decoded.ok);
    ASSERT_EQ(decoded.endTimes.size(), 6u);
    EXPECT_EQ(decoded.endTimes.back(), 1240);
    EXPECT_EQ(decoded.endTimes[1], 300);

    // --fps still decides when it is given.
    ASSERT_EQ(convert({QStringLiteral("--fps"), QStringLiteral("10"), gif, webp}, &err), 0);
    EXPECT_EQ(test::decodeWebP(webp).endTimes.back(), 600);

    // A video in, a GIF within a size limit out.
    const QString mp4 = dir.filePath(QStringLiteral("in.mp4"));
    ASSERT_EQ(convert({gif, mp4}, &err), 0) << err.toStdString();
    const QString small = dir.filePath(QStringLiteral("small.gif"));
    ASSERT_EQ(convert({mp4, small, QStringLiteral("--max-size"), QStringLiteral("5M")}, &err), 0)
        << err.toStdString();
    EXPECT_EQ(head(small, 6), QByteArray("GIF89a"));

    // A file that is not an animation: one line naming it.
    const QString empty = dir.filePath(QStringLiteral("empty.gif"));
    QFile(empty).open(QIODevice::WriteOnly);
    err.clear();
    EXPECT_EQ(convert({empty, dir.filePath(QStringLiteral("x.gif"))}, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("empty.gif: the file is empty"))) << err.toStdString();
    EXPECT_EQ(err.count(u'\n'), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("x.gif"))));
}

// Frames of another size than the first come out the same in every format:
// scaled to fit the first frame's size, centred on white, and one line
// says how many there were.
TEST(MireloConvertMedia, FitsFramesOfOtherSizesIntoTheFirstInEveryFormat) {
    QTemporaryDir dir;
    const QString frames = dir.filePath(QStringLiteral("frames"));
    QDir().mkpath(frames);
    const auto save = [&](int index, int width, int height, QColor colour) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        image.save(frames + QStringLiteral("/f%1.png").arg(index));
    };
    save(0, 64, 48, QColor(200, 40, 40));
    save(1, 32, 48, QColor(40, 40, 200));   // as tall: a column in the middle
    save(2, 256, 48, QColor(40, 160, 40));  // four times as wide: a band 12 high
    save(3, 64, 48, QColor(200, 40, 40));
    const auto near = [](QRgb got, QColor want) {
        return std::abs(qRed(got) - want.red()) <= 40 &&
               std::abs(qGreen(got) - want.green()) <= 40 &&
               std::abs(qBlue(got) - want.blue()) <= 40;
    };
    const QColor white(255, 255, 255);
    for (const QString& name :
         {QStringLiteral("a.gif"), QStringLiteral("a.webp"), QStringLiteral("a.mp4")}) {
        SCOPED_TRACE(name.toStdString());
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        const QString path = dir.filePath(name);
        ASSERT_EQ(convert::run({frames, path}, outStream, errStream), 0) << err.toStdString();
        errStream.flush();
        EXPECT_TRUE(err.contains(QStringLiteral(
            "2 frames of another size than the first were scaled and centred into 64×48")))
            << err.toStdString();
        auto opened = openAnimation({path}, {});
        ASSERT_TRUE(std::holds_alternative<OpenedFrames>(opened));
        const OpenedFrames& decoded = std::get<OpenedFrames>(opened);
        ASSERT_EQ(decoded.images.size(), 4u);
        ASSERT_EQ(decoded.size, QSize(64, 48));
        const QImage column = decoded.images[1].qimage();
        EXPECT_TRUE(near(column.pixel(32, 24), QColor(40, 40, 200)));
        EXPECT_TRUE(near(column.pixel(4, 24), white));
        EXPECT_TRUE(near(column.pixel(59, 24), white));
        const QImage band = decoded.images[2].qimage();
        EXPECT_TRUE(near(band.pixel(32, 24), QColor(40, 160, 40)));
        EXPECT_TRUE(near(band.pixel(4, 24), QColor(40, 160, 40)));
        EXPECT_TRUE(near(band.pixel(32, 6), white));
        EXPECT_TRUE(near(band.pixel(32, 42), white));
        EXPECT_TRUE(near(decoded.images[3].qimage().pixel(4, 4), QColor(200, 40, 40)));
    }
}

}  // namespace
