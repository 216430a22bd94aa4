#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

// The language of the interface. The texts in the code are Chinese; English
// comes from the translation catalogue built into the programs
// (translations/mirelo_en.ts), and Qt's own dialogs follow with Qt's
// catalogue of the same language.
namespace mirelo::i18n {

enum class Language { chinese, english };

// MIRELO_LANG ("zh_CN" or "en", also "zh" and "en_US" and the like) when set,
// otherwise the desktop's languages in order of preference (QLocale's
// uiLanguages(), from LANGUAGE, LC_ALL, LC_MESSAGES and LANG): the first
// Chinese or English one wins, and a desktop with neither gets English.
Language chooseLanguage();
// The rule itself, for tests: `forced` is MIRELO_LANG's value (empty when
// unset or not a language Mirelo has).
Language chooseLanguage(const QString& forced, const QStringList& uiLanguages);

// Installs the catalogues of `language` into the application (Mirelo's own
// and Qt's), replacing those of an earlier call, and makes it the default
// locale's language. Returns false when a catalogue is missing; the texts
// then stay as they are in the code.
bool install(Language language);
// The language of the last install() (Chinese before any).
Language installed();

// "zh_CN" or "en".
QString code(Language language);

}  // namespace mirelo::i18n
