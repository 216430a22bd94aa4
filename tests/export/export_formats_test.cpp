// The format table: extensions, and each format reaching its own encoder with
// frames asked for the way its entry says.
#include "export/ExportFormats.h"
#include "i18n/ModelTexts.h"
#include "support/TestImages.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace mirelo {
namespace {

TEST(ExportFormats, ExtensionsNameTheFormatsBothWays) {
    for (const ExportFormatEntry& entry : kExportFormats) {
        EXPECT_EQ(formatEntry(entry.format).extension, entry.extension);
        EXPECT_EQ(formatFromExtension(extension(entry.format)), entry.format);
    }
    EXPECT_EQ(extension(ExportFormat::webp), QStringLiteral("webp"));
    EXPECT_EQ(formatFromExtension(QStringLiteral("GIF")), std::nullopt);
    EXPECT_EQ(formatFromExtension(QStringLiteral("")), std::nullopt);
}

TEST(ExportFormats, EachFormatWritesItsOwnFileAskingForFramesAsItsEntrySays) {
    QTemporaryDir dir;
    const std::vector<double> delays(5, 0.1);
    for (const ExportFormatEntry& entry : kExportFormats) {
        SCOPED_TRACE(entry.extension);
        std::mutex mutex;
        std::vector<size_t> asked;
        const FrameSequence frames{.count = delays.size(), .frame = [&](size_t index) {
                                       std::lock_guard lock(mutex);
                                       asked.push_back(index);
                                       return test::patternImage(32, 24, uint8_t(index));
                                   }};
        const QString path = dir.filePath(QStringLiteral("out.") + extension(entry.format));
        ASSERT_EQ(encodeFrames(entry.format, frames, delays, 80, path), std::nullopt);

        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray head = file.read(12);
        switch (entry.format) {
            case ExportFormat::gif:
                EXPECT_TRUE(head.startsWith("GIF89a"));
                break;
            case ExportFormat::webp:
                EXPECT_TRUE(head.startsWith("RIFF") && head.mid(8, 4) == "WEBP");
                break;
            case ExportFormat::mp4:
                EXPECT_EQ(head.mid(4, 4), "ftyp");
                break;
        }
        if (entry.takesFramesInOrder) {
            EXPECT_EQ(asked, (std::vector<size_t>{0, 1, 2, 3, 4}));
        } else {
            EXPECT_GE(asked.size(), delays.size());
        }

        // No frames, or not one delay per frame, never reaches the encoder.
        const ExportStatus mismatch =
            encodeFrames(entry.format, frames, {0.1, 0.1}, 80, dir.filePath("x"));
        ASSERT_TRUE(mismatch);
        EXPECT_EQ(mismatch->kind, ExportError::Kind::encodeFailed);
        EXPECT_EQ(i18n::describe(*mismatch), QStringLiteral("编码失败:帧数据为空"));
    }
}

}  // namespace
}  // namespace mirelo
