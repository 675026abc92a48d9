#include "translatestring.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace {
// All texts passed to TranslateString share this context in the .ts files.
constexpr char kContext[] = "TranslateString";
} // namespace

QString TranslateString(const QString &text)
{
    if (!QCoreApplication::instance())
        return text;
    const QByteArray source = text.toUtf8();
    return QCoreApplication::translate(kContext, source.constData());
}

bool installProductTranslator(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/translations");
    if (translator->load(QLocale(), QStringLiteral("product"), QStringLiteral("_"), folder)) {
        app.installTranslator(translator);
        return true;
    }
    delete translator;
    return false;
}
