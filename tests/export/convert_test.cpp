#include "convert/Convert.h"
#include "support/TestImages.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mirelo;

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
    result.status = convert::run(arguments, out, err);
    return result;
}

void writeFrames(const QString& folder, int count) {
    for (int i = 0; i < count; ++i) {
        test::patternImage(24, 16, uint8_t(i * 30))
            .qimage()
            .save(folder + QStringLiteral("/frame%1.png").arg(i));
    }
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
    expectError({dir.filePath("missing"), out}, "no such folder");
    expectError({frames, out}, "no PNG or JPEG frames");
    writeFrames(frames, 3);
    expectError({frames, dir.filePath("out.bmp")}, "output format");
    expectError({frames, dir.filePath("nowhere/out.gif")}, "does not exist");
    expectError({"--fps", "0", frames, out}, "--fps");
    expectError({"--quality", "abc", frames, out}, "--quality");
    expectError({"--fps", "10", "--delay", "0.1", frames, out}, "either");
    expectError({"--frobnicate", "1", frames, out}, "unknown option");
    expectError({frames}, "expected");
    {
        QFile broken(frames + "/frame9.png");
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("not a picture");
    }
    expectError({"--quiet", frames, out}, "cannot read image");
    EXPECT_FALSE(QFile::exists(out));
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

TEST(MireloConvert, FramesSortByNameWithNumbersByValue) {
    QTemporaryDir dir;
    for (const char* name : {"f10.png", "f2.png", "f1.PNG", "a.jpg", "notes.txt"}) {
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    }
    EXPECT_EQ(convert::frameFiles(QDir(dir.path())),
              (QStringList{"a.jpg", "f1.PNG", "f2.png", "f10.png"}));
}
