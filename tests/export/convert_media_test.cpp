#include "convert/Convert.h"
#include "export/ExportFormats.h"
#include "export/FrameSequence.h"
#include "i18n/Language.h"
#include "support/TestImages.h"
#include "support/WebPFrames.h"

#include <QFile>
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

}  // namespace
