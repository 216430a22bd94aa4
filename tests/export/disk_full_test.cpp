// A failure on a full disk is told as one, whichever step of the export noticed it.
#include "export/ExportTypes.h"

#include <gtest/gtest.h>

using namespace mirelo;

TEST(DiskFull, AFailureWithTheDestinationsDiskFullIsReportedAsAFullDisk) {
    const QString destination = QStringLiteral("/media/stick/clip.mp4");
    QString asked;
    const FreeSpaceFn none = [&asked](const QString& folder) -> qint64 {
        asked = folder;
        return 4096;
    };
    const FreeSpaceFn plenty = [](const QString&) -> qint64 { return qint64{1} << 30; };
    const ExportStatus unknown = ExportError::encodeFailed(QStringLiteral("未知错误"));

    const ExportStatus full = explainFailure(unknown, destination, none);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->kind, ExportError::Kind::diskFull);
    EXPECT_EQ(full->folder, QStringLiteral("/media/stick"));
    EXPECT_EQ(asked, QStringLiteral("/media/stick"));
    // With room left the failure is what it said; success, a cancellation and an unknown free
    // space stay as they are.
    EXPECT_EQ(explainFailure(unknown, destination, plenty)->kind, ExportError::Kind::encodeFailed);
    EXPECT_FALSE(explainFailure(std::nullopt, destination, none));
    EXPECT_TRUE(explainFailure(ExportError::cancelled(), destination, none)->isCancellation());
    EXPECT_EQ(
        explainFailure(unknown, destination, [](const QString&) -> qint64 { return -1; })->kind,
        ExportError::Kind::encodeFailed);
}
