#include "hjsonfunc.h"

#include "hsafefile.h"

#include <QDir>
#include <QFile>
#include <QJsonParseError>

bool HJsonFunc::readFileToJsonDoc(const QString &path, QJsonDocument &doc, QString *error)
{
    doc = QJsonDocument(QJsonObject());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = QStringLiteral("%1 is not valid JSON: %2 at offset %3")
                         .arg(QDir::toNativeSeparators(path), parseError.errorString())
                         .arg(parseError.offset);
        return false;
    }
    if (!parsed.isObject()) {
        if (error)
            *error = QStringLiteral("%1 does not hold a JSON object")
                         .arg(QDir::toNativeSeparators(path));
        return false;
    }
    doc = parsed;
    return true;
}

bool HJsonFunc::jsonDocToFile(const QJsonDocument &doc, const QString &path,
                              QJsonDocument::JsonFormat format, QString *error)
{
    // A file that already holds these bytes is left alone.
    return HSafeFile::writeFile(path, doc.toJson(format), error) != HSafeFile::Result::Failed;
}

QJsonDocument HJsonFunc::jsonObjectToJsonDoc(const QJsonObject &object)
{
    return QJsonDocument(object);
}
