#include "i18n/Language.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace mirelo;
using i18n::Language;

TEST(Language, MireloLangWinsOverTheDesktop) {
    const QStringList chineseDesktop{QStringLiteral("zh-CN"), QStringLiteral("zh")};
    EXPECT_EQ(i18n::chooseLanguage(QStringLiteral("en"), chineseDesktop), Language::english);
    EXPECT_EQ(i18n::chooseLanguage(QStringLiteral("en_US.UTF-8"), chineseDesktop),
              Language::english);
    EXPECT_EQ(i18n::chooseLanguage(QStringLiteral("zh_CN"), {QStringLiteral("en-US")}),
              Language::chinese);
    // A value Mirelo has no language for leaves the choice to the desktop.
    EXPECT_EQ(i18n::chooseLanguage(QStringLiteral("klingon"), chineseDesktop), Language::chinese);
}

TEST(Language, TheDesktopsFirstChineseOrEnglishLanguageWins) {
    EXPECT_EQ(i18n::chooseLanguage({}, {QStringLiteral("zh-CN"), QStringLiteral("zh")}),
              Language::chinese);
    EXPECT_EQ(i18n::chooseLanguage({}, {QStringLiteral("zh-TW")}), Language::chinese);
    EXPECT_EQ(i18n::chooseLanguage({}, {QStringLiteral("en-GB"), QStringLiteral("zh-CN")}),
              Language::english);
    EXPECT_EQ(i18n::chooseLanguage({}, {QStringLiteral("de-DE"), QStringLiteral("zh-CN")}),
              Language::chinese);
    // Any other language, the C locale, or nothing at all: English.
    EXPECT_EQ(i18n::chooseLanguage({}, {QStringLiteral("fr-FR")}), Language::english);
    EXPECT_EQ(i18n::chooseLanguage({}, {QStringLiteral("C")}), Language::english);
    EXPECT_EQ(i18n::chooseLanguage({}, {}), Language::english);
}

namespace {

QString fileDialogCancelText() {
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    auto* buttons = files.findChild<QDialogButtonBox*>();
    if (!buttons || !buttons->button(QDialogButtonBox::Cancel)) {
        return {};
    }
    return buttons->button(QDialogButtonBox::Cancel)->text();
}

}  // namespace

TEST(Language, QtsDialogsSwitchWithTheInterface) {
    ASSERT_TRUE(i18n::install(Language::english));
    EXPECT_EQ(i18n::installed(), Language::english);
    EXPECT_EQ(fileDialogCancelText().remove(QLatin1Char('&')), QStringLiteral("Cancel"));

    ASSERT_TRUE(i18n::install(Language::chinese));
    EXPECT_EQ(i18n::installed(), Language::chinese);
    EXPECT_EQ(fileDialogCancelText(), QStringLiteral("取消"));
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
}
