#include "ui/Dialogs.h"
#include "export/ExportTypes.h"
#include "i18n/Language.h"
#include "i18n/ModelTexts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace mirelo;

TEST(Dialogs, QtsOwnDialogsSpeakChineseAndMessageBoxesHoldAPath) {
    ASSERT_TRUE(i18n::install(i18n::Language::chinese));

    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setAcceptMode(QFileDialog::AcceptSave);
    auto* buttons = files.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    ASSERT_NE(buttons->button(QDialogButtonBox::Cancel), nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    ASSERT_NE(buttons->button(QDialogButtonBox::Save), nullptr);
    EXPECT_TRUE(buttons->button(QDialogButtonBox::Save)->text().contains(QStringLiteral("保存")))
        << buttons->button(QDialogButtonBox::Save)->text().toStdString();

    dialogs::widenMessageBoxes(qApp);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("保存失败"), QStringLiteral("保存失败"));
    box.setInformativeText(QStringLiteral("无法写入 /home/user/Desktop/Mirelo/录制.gif"));
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_GE(box.width(), dialogs::kMessageBoxMinimumWidth);
}

TEST(Dialogs, SystemErrorsReachTheUserInChinese) {
    const QString permission = i18n::describe(Exporter::fileWriteError(
        QStringLiteral("/a.gif"), QString::fromLocal8Bit(std::strerror(EPERM))));
    EXPECT_EQ(permission, QStringLiteral("无法写入“/a.gif”:操作不被允许"));
    // A reason with no Chinese words of ours is passed on as it is.
    EXPECT_TRUE(
        i18n::describe(Exporter::fileWriteError(QStringLiteral("/a.gif"), QStringLiteral("odd")))
            .endsWith(QStringLiteral("odd")));
}
