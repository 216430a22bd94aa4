#include "i18n/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>
#include <optional>

namespace mirelo::i18n {

namespace {

std::optional<Language> languageOf(QString name) {
    name = name.trimmed().toLower().replace(QLatin1Char('-'), QLatin1Char('_'));
    if (name == QLatin1String("zh") || name.startsWith(QLatin1String("zh_"))) {
        return Language::chinese;
    }
    if (name == QLatin1String("en") || name.startsWith(QLatin1String("en_"))) {
        return Language::english;
    }
    return std::nullopt;
}

struct Installed {
    Language language = Language::chinese;
    std::unique_ptr<QTranslator> own;
    std::unique_ptr<QTranslator> qt;
};

Installed& state() {
    static Installed installed;
    return installed;
}

}  // namespace

Language chooseLanguage(const QString& forced, const QStringList& uiLanguages) {
    if (const auto language = languageOf(forced)) {
        return *language;
    }
    for (const QString& name : uiLanguages) {
        if (const auto language = languageOf(name)) {
            return *language;
        }
    }
    return Language::english;
}

Language chooseLanguage() {
    return chooseLanguage(qEnvironmentVariable("MIRELO_LANG"), QLocale::system().uiLanguages());
}

QString code(Language language) {
    return language == Language::chinese ? QStringLiteral("zh_CN") : QStringLiteral("en");
}

bool install(Language language) {
    Installed& now = state();
    for (auto* translator : {now.own.get(), now.qt.get()}) {
        if (translator) {
            QCoreApplication::removeTranslator(translator);
        }
    }
    now.own.reset();
    now.qt.reset();
    now.language = language;

    const QLocale locale = language == Language::chinese
                               ? QLocale(QLocale::Chinese, QLocale::China)
                               : QLocale(QLocale::English, QLocale::UnitedStates);
    QLocale::setDefault(locale);

    bool complete = true;
    // The code's texts are the Chinese ones: only English needs a catalogue of Mirelo's.
    if (language == Language::english) {
        auto own = std::make_unique<QTranslator>();
        if (own->load(QStringLiteral(":/i18n/mirelo_en.qm"))) {
            QCoreApplication::installTranslator(own.get());
            now.own = std::move(own);
        } else {
            complete = false;
        }
    }
    // Qt's dialogs speak English without a catalogue.
    if (language == Language::chinese) {
        auto qt = std::make_unique<QTranslator>();
        if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(qt.get());
            now.qt = std::move(qt);
        } else {
            complete = false;
        }
    }
    return complete;
}

Language installed() {
    return state().language;
}

}  // namespace mirelo::i18n
