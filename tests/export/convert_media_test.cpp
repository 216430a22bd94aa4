#include "convert/Convert.h"
#include "i18n/Language.h"
#include "support/TestImages.h"

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

}  // namespace
