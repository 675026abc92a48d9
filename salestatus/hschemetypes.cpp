#include "hschemetypes.h"

#include "hsalestatusschemes.h"
#include "translatestring.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QJsonArray>
#include <QPair>
#include <QVector>

#include <climits>
#include <cmath>

namespace HSchemeTypes {

namespace {

// What a scheme key must hold.
enum class Kind { Array, Object, Text, Flag, Integer };

bool fits(const QJsonValue &value, Kind kind)
{
    switch (kind) {
    case Kind::Array:
        return value.isArray();
    case Kind::Object:
        return value.isObject();
    case Kind::Text:
        return value.isString();
    case Kind::Flag:
        return value.isBool();
    case Kind::Integer:
        return value.isDouble() && std::floor(value.toDouble()) == value.toDouble() &&
               value.toDouble() >= INT_MIN && value.toDouble() <= INT_MAX;
    }
    return false;
}

bool isWrong(const QJsonValue &value, Kind kind)
{
    return !value.isNull() && !value.isUndefined() && !fits(value, kind);
}

QString kindText(Kind kind)
{
    switch (kind) {
    case Kind::Array:
        return QStringLiteral("an array");
    case Kind::Object:
        return QStringLiteral("an object");
    case Kind::Text:
        return QStringLiteral("text");
    case Kind::Flag:
        return QStringLiteral("true or false");
    case Kind::Integer:
        return QStringLiteral("a whole number");
    }
    return QString();
}

QString valueText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return QStringLiteral("true or false");
    case QJsonValue::Double:
        return QStringLiteral("the number %1").arg(value.toDouble());
    case QJsonValue::String:
        return QStringLiteral("text");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    default:
        return QStringLiteral("null");
    }
}

QString describe(const QString &where, const QJsonValue &value, const QString &expected)
{
    return TranslateString(QStringLiteral("%1 holds %2 where %3 belongs"))
        .arg(where, valueText(value), expected);
}

// Whether the value is present and of the wrong type; *problem then says so, with its key.
bool wrongValue(const QJsonValue &value, Kind kind, const QString &where, QString *problem)
{
    if (!isWrong(value, kind))
        return false;
    *problem = describe(where, value, kindText(kind));
    return true;
}

using KeyKinds = QVector<QPair<QString, Kind>>;

// Whether a record's value is present and not of its kind. The records are read through
// their CBOR form, which the JSON document shares at no cost: its values are looked at
// where they are, where a JSON value would copy every text.
bool isWrong(const QCborValue &value, Kind kind)
{
    if (value.isNull() || value.isUndefined())
        return false;
    switch (kind) {
    case Kind::Text:
        return !value.isString();
    case Kind::Flag:
        return !value.isBool();
    case Kind::Integer:
        if (value.isInteger())
            return value.toInteger() < INT_MIN || value.toInteger() > INT_MAX;
        return !fits(value.toJsonValue(), kind);
    default:
        return !fits(value.toJsonValue(), kind);
    }
}

// Records of series_table or idx_table: objects whose known keys hold their types. Texts are
// made only for a problem: the large range has tens of thousands of records.
bool wrongRecords(const QJsonObject &scheme, const QString &table, const KeyKinds &keys,
                  QString *problem)
{
    const QJsonValue value = scheme.value(table);
    if (wrongValue(value, Kind::Array, table, problem))
        return true;
    const QCborArray records = QCborArray::fromJsonArray(value.toArray());
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QCborValue record = records.at(i);
        const auto where = [&] { return QStringLiteral("%1[%2]").arg(table).arg(i); };
        if (!record.isMap()) {
            *problem = describe(where(), record.toJsonValue(), QStringLiteral("an object"));
            return true;
        }
        const QCborMap object = record.toMap();
        for (const auto &key : keys) {
            const QCborValue field = object.value(key.first);
            if (isWrong(field, key.second)) {
                *problem = describe(where() + QLatin1Char('.') + key.first, field.toJsonValue(),
                                    kindText(key.second));
                return true;
            }
        }
    }
    return false;
}

} // namespace

QString wrongType(const QJsonObject &scheme)
{
    static const KeyKinds series = {
        {SchemeKeys::idSeries, Kind::Integer},  {SchemeKeys::productType, Kind::Integer},
        {SchemeKeys::category, Kind::Text},     {SchemeKeys::subCatalog, Kind::Text},
        {SchemeKeys::oduType, Kind::Text},      {SchemeKeys::modelString, Kind::Text},
        {SchemeKeys::isNotForSale, Kind::Flag}, {SchemeKeys::isUserSkip, Kind::Flag}};
    static const KeyKinds models = {
        {SchemeKeys::idSeries, Kind::Integer},  {SchemeKeys::productCode, Kind::Text},
        {SchemeKeys::baseModel, Kind::Text},    {SchemeKeys::oemModel, Kind::Text},
        {SchemeKeys::isNotForSale, Kind::Flag}, {SchemeKeys::isUserSkip, Kind::Flag}};
    QString problem;
    if (wrongRecords(scheme, SchemeKeys::seriesTable, series, &problem) ||
        wrongRecords(scheme, SchemeKeys::idxTable, models, &problem) ||
        wrongValue(scheme.value(SchemeKeys::installCode), Kind::Object, SchemeKeys::installCode,
                   &problem) ||
        wrongValue(scheme.value(SchemeKeys::unitPriority), Kind::Object, SchemeKeys::unitPriority,
                   &problem) ||
        wrongValue(scheme.value(SchemeKeys::unitPriority).toObject().value(SchemeKeys::iduGenerate),
                   Kind::Text,
                   SchemeKeys::unitPriority + QLatin1Char('.') + SchemeKeys::iduGenerate, &problem))
        return problem;
    return QString();
}

} // namespace HSchemeTypes
