#include "translatestring.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

namespace {
// All texts passed to TranslateString share this context in the .ts files.
constexpr char kContext[] = "TranslateString";

// Texts that reach TranslateString through a variable: lupdate and the translation test
// find them here. (The product types of the sale status tab.)
[[maybe_unused]] const char *const kIndirectTexts[] = {
    QT_TRANSLATE_NOOP("TranslateString", "Outdoor Unit"),
    QT_TRANSLATE_NOOP("TranslateString", "Indoor Unit"),
    QT_TRANSLATE_NOOP("TranslateString", "Branch"),
    QT_TRANSLATE_NOOP("TranslateString", "Controller"),
    QT_TRANSLATE_NOOP("TranslateString", "HRV"),
    QT_TRANSLATE_NOOP("TranslateString", "Accessory"),
};

bool isEnglish(const QLocale &locale)
{
    return locale.language() == QLocale::English || locale.language() == QLocale::C;
}
} // namespace

QString TranslateString(const QString &text)
{
    if (!QCoreApplication::instance())
        return text;
    const QByteArray source = text.toUtf8();
    return QCoreApplication::translate(kContext, source.constData());
}

QString requestedLanguage(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--lang") && i + 1 < arguments.size())
            return arguments.at(i + 1);
        if (argument.startsWith(QLatin1String("--lang=")))
            return argument.mid(7);
    }
    return QString();
}

bool installProductTranslator(QCoreApplication &app, const QString &language, const QString &folder)
{
    const QLocale locale = language.isEmpty() ? QLocale::system() : QLocale(language);
    if (isEnglish(locale) || language == QLatin1String("en"))
        return true;

    // Qt's own texts first: a translator installed later is asked first, and ours has no
    // entry for Qt's contexts anyway.
    auto *qtTranslator = new QTranslator(&app);
    if (qtTranslator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qtTranslator);
    else
        delete qtTranslator;

    auto *translator = new QTranslator(&app);
    const QString from =
        folder.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/translations")
                         : folder;
    if (translator->load(locale, QStringLiteral("product"), QStringLiteral("_"), from)) {
        app.installTranslator(translator);
        return true;
    }
    delete translator;
    return false;
}
