#include "hsalestatusschemes.h"

#include "hdatabase.h"
#include "hjsonfunc.h"
#include "md5.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVector>

namespace {

const QString kJsonSuffix = QStringLiteral(".json");

bool endsWithJson(const QString &name)
{
    return name.endsWith(kJsonSuffix, Qt::CaseInsensitive);
}

// Column positions are looked up once per query, not once per row.
struct Columns
{
    explicit Columns(const QSqlRecord &record, const QStringList &names)
    {
        for (const QString &name : names)
            index.append(record.indexOf(name));
    }
    QVariant value(const QSqlQuery &query, int column) const
    {
        const int i = index.at(column);
        return i < 0 ? QVariant() : query.value(i);
    }
    QVector<int> index;
};

} // namespace

QString HSaleStatusSchemes::schemeFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/config/");
}

QStringList HSaleStatusSchemes::listSchemeFiles()
{
    QDir dir(schemeFolder());
    return dir.entryList(QStringList{QStringLiteral("*.json")},
                         QDir::NoDotAndDotDot | QDir::AllEntries, QDir::Name | QDir::IgnoreCase);
}

QString HSaleStatusSchemes::writePath(const QString &name)
{
    return endsWithJson(name) ? schemeFolder() + name : schemeFolder() + name + kJsonSuffix;
}

QString HSaleStatusSchemes::readPath(const QString &name)
{
    return schemeFolder() + name;
}

HSaleStatusSchemes::ReadResult HSaleStatusSchemes::read(const QString &name, QJsonObject &scheme)
{
    m_error.clear();
    scheme = QJsonObject();
    const QString path = readPath(name);
    QJsonDocument doc;
    if (HJsonFunc::readFileToJsonDoc(path, doc, &m_error)) {
        scheme = doc.object();
        return ReadResult::Ok;
    }
    return QFileInfo::exists(path) ? ReadResult::Unreadable : ReadResult::Missing;
}

bool HSaleStatusSchemes::write(const QString &name, const QJsonObject &scheme)
{
    m_error.clear();
    return HJsonFunc::jsonDocToFile(HJsonFunc::jsonObjectToJsonDoc(scheme), writePath(name),
                                    QJsonDocument::Indented, &m_error);
}

bool HSaleStatusSchemes::backup(const QString &name)
{
    m_error.clear();
    const QString source = readPath(name);
    QString target = source + QStringLiteral(".bak");
    for (int i = 1; QFileInfo::exists(target); ++i)
        target = source + QStringLiteral(".%1.bak").arg(i);
    QFile file(source);
    if (!file.copy(target)) {
        m_error = QStringLiteral("Cannot copy %1 to %2: %3")
                      .arg(QDir::toNativeSeparators(source), QDir::toNativeSeparators(target),
                           file.errorString());
        return false;
    }
    m_backupPath = target;
    return true;
}

bool HSaleStatusSchemes::remove(const QString &name)
{
    m_error.clear();
    QFile file(readPath(name));
    if (!file.remove()) {
        m_error = QStringLiteral("Cannot delete %1: %2")
                      .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    }
    return true;
}

bool HSaleStatusSchemes::isSafeName(const QString &name)
{
    if (name.trimmed().isEmpty() || name.contains(QLatin1String("..")))
        return false;
    // Windows strips trailing dots and blanks, so "A." and "A" would be one file there.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return false;
    // A name that is only the extension becomes a hidden file that is never listed.
    if (name.compare(kJsonSuffix, Qt::CaseInsensitive) == 0 || name.startsWith(QLatin1Char('.')))
        return false;
    static const QString refused = QStringLiteral("/\\:*?\"<>|");
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c == QChar(0x7f) || refused.contains(c))
            return false;
    }
    // Device names that Windows reserves, with or without an extension.
    const QString base = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList reserved = {QStringLiteral("CON"), QStringLiteral("PRN"),
                                         QStringLiteral("AUX"), QStringLiteral("NUL")};
    if (reserved.contains(base))
        return false;
    if (base.size() == 4 &&
        (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
        base.at(3).isDigit())
        return false;
    return true;
}

namespace {

const QStringList &seriesColumns()
{
    static const QStringList columns = {SchemeKeys::idSeries,     SchemeKeys::category,
                                        SchemeKeys::subCatalog,   SchemeKeys::oduType,
                                        SchemeKeys::modelString,  SchemeKeys::productType,
                                        SchemeKeys::isNotForSale, SchemeKeys::isUserSkip};
    return columns;
}

const QStringList &modelColumns()
{
    static const QStringList columns = {SchemeKeys::idSeries, SchemeKeys::productCode,
                                        SchemeKeys::baseModel, SchemeKeys::isNotForSale,
                                        SchemeKeys::isUserSkip};
    return columns;
}

// The series status record of the query's current row (columns in seriesColumns() order).
QJsonObject seriesRecord(const QSqlQuery &query, const Columns &columns)
{
    QJsonObject record;
    record.insert(SchemeKeys::idSeries, columns.value(query, 0).toInt());
    record.insert(SchemeKeys::category, columns.value(query, 1).toString());
    record.insert(SchemeKeys::subCatalog, columns.value(query, 2).toString());
    record.insert(SchemeKeys::oduType, columns.value(query, 3).toString());
    record.insert(SchemeKeys::modelString, columns.value(query, 4).toString());
    record.insert(SchemeKeys::productType, columns.value(query, 5).toInt());
    record.insert(SchemeKeys::isNotForSale, columns.value(query, 6).toBool());
    record.insert(SchemeKeys::isUserSkip, columns.value(query, 7).toBool());
    return record;
}

// The model status record of the query's current row (columns in modelColumns() order).
QJsonObject modelRecord(const QSqlQuery &query, const Columns &columns)
{
    QJsonObject record;
    record.insert(SchemeKeys::idSeries, columns.value(query, 0).toInt());
    record.insert(SchemeKeys::productCode, columns.value(query, 1).toString());
    record.insert(SchemeKeys::baseModel, columns.value(query, 2).toString());
    record.insert(SchemeKeys::oemModel, QString());
    record.insert(SchemeKeys::isNotForSale, columns.value(query, 3).toBool());
    record.insert(SchemeKeys::isUserSkip, columns.value(query, 4).toBool());
    return record;
}

} // namespace

// Series records of the database missing from the scheme are appended; the first record of
// a series whose model string is empty takes the database's. Models missing (by product
// code) are appended. Records the database no longer has stay; existing records keep their
// values. Lookups go through hashes: the large range has tens of thousands of models. A
// database model becomes a JSON record only when the scheme lacks it, which is rare: making
// tens of thousands of records just to find their codes in the scheme costs most of a load.
void HSaleStatusSchemes::completeScheme(QJsonObject &scheme, HDatabase *db)
{
    QJsonArray series = scheme.value(SchemeKeys::seriesTable).toArray();
    QJsonArray models = scheme.value(SchemeKeys::idxTable).toArray();

    // Positions of the records of each series, in array order.
    QHash<int, QVector<int>> seriesRows;
    seriesRows.reserve(series.size());
    for (int i = 0; i < series.size(); ++i)
        seriesRows[series.at(i).toObject().value(SchemeKeys::idSeries).toInt()].append(i);

    for (const QJsonValue &value : readSeriesFromDb(db)) {
        const QJsonObject record = value.toObject();
        const int id = record.value(SchemeKeys::idSeries).toInt();
        QVector<int> &rows = seriesRows[id];
        if (rows.isEmpty()) {
            rows.append(series.size());
            series.append(record);
        }
        for (const int row : qAsConst(rows)) {
            QJsonObject existing = series.at(row).toObject();
            if (existing.value(SchemeKeys::modelString).toString().isEmpty()) {
                existing.insert(SchemeKeys::modelString,
                                record.value(SchemeKeys::modelString).toString());
                series.replace(row, existing);
                break;
            }
        }
    }

    QSet<QString> codes;
    codes.reserve(models.size());
    for (const QJsonValue &value : qAsConst(models))
        codes.insert(value.toObject().value(SchemeKeys::productCode).toString());
    QSqlQuery query = db->query(QStringLiteral("Select * from __product_idx"));
    const Columns columns(query.record(), modelColumns());
    while (query.next()) {
        const QString code = columns.value(query, 1).toString();
        if (codes.contains(code))
            continue;
        codes.insert(code);
        models.append(modelRecord(query, columns));
    }

    scheme.insert(SchemeKeys::seriesTable, series);
    scheme.insert(SchemeKeys::idxTable, models);
}

QJsonArray HSaleStatusSchemes::readSeriesFromDb(HDatabase *db)
{
    QJsonArray result;
    QSqlQuery query = db->query(QStringLiteral("Select * from __product_series"));
    const Columns columns(query.record(), seriesColumns());
    while (query.next())
        result.append(seriesRecord(query, columns));
    return result;
}

QJsonArray HSaleStatusSchemes::readModelsFromDb(HDatabase *db)
{
    QJsonArray result;
    QSqlQuery query = db->query(QStringLiteral("Select * from __product_idx"));
    const Columns columns(query.record(), modelColumns());
    while (query.next())
        result.append(modelRecord(query, columns));
    return result;
}

QString HSaleStatusSchemes::installCodeDigest(const QString &code)
{
    const QByteArray utf8 = code.toUtf8();
    return QString::fromStdString(MD5(std::string(utf8.constData(), size_t(utf8.size()))).md5());
}

QJsonObject HSaleStatusSchemes::digestInstallCodes(const QJsonObject &scheme)
{
    QJsonObject result = scheme;
    QJsonObject digests;
    const QJsonObject codes = scheme.value(SchemeKeys::installCode).toObject();
    for (auto it = codes.begin(); it != codes.end(); ++it)
        digests.insert(installCodeDigest(it.key()), QString());
    result.remove(SchemeKeys::installCode);
    result.insert(SchemeKeys::installCode, digests);
    return result;
}

bool HSaleStatusSchemes::exportAll(const QString &folder)
{
    m_problems.clear();
    const QDir target(folder);
    for (const QString &name : listSchemeFiles()) {
        const QString fileName = endsWithJson(name) ? name : name + kJsonSuffix;
        QJsonDocument doc;
        QString error;
        // An unreadable source is skipped: exporting it would hand out an empty scheme.
        if (!HJsonFunc::readFileToJsonDoc(schemeFolder() + fileName, doc, &error)) {
            m_problems.append(error);
            continue;
        }
        const QJsonObject exported = digestInstallCodes(doc.object());
        if (!HJsonFunc::jsonDocToFile(HJsonFunc::jsonObjectToJsonDoc(exported),
                                      target.filePath(fileName), QJsonDocument::Indented, &error))
            m_problems.append(error);
    }
    return m_problems.isEmpty();
}
