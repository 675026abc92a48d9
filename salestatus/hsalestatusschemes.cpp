#include "hsalestatusschemes.h"

#include "translatestring.h"

#include "hdatabase.h"
#include "hjsonfunc.h"
#include "hsalestatusdbwriter.h"
#include "hschemereadahead.h"
#include "hschemetypes.h"
#include "hsafefile.h"
#include "md5.h"

#include <QCoreApplication>
#include <QDateTime>
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

#include <cmath>

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

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The backups this process wrote, with their size and time when written. The next rotation
// replaces such a backup without reading it first: it is an earlier version of a scheme that
// was loaded or written here. Any other backup is read before it is replaced. GUI thread only.
QHash<QString, QPair<qint64, QDateTime>> &ownBackups()
{
    static QHash<QString, QPair<qint64, QDateTime>> backups;
    return backups;
}

bool isOwnBackup(const QString &path)
{
    const QFileInfo info(path);
    const auto it = ownBackups().constFind(path);
    return it != ownBackups().constEnd() && it->first == info.size() &&
           it->second == info.lastModified();
}

void rememberOwnBackup(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists())
        ownBackups().insert(path, {info.size(), info.lastModified()});
}

// A name beside `path` that no file has and nothing ever replaces or removes.
QString keepingPath(const QString &path)
{
    QString kept = path + QStringLiteral(".unreadable.bak");
    for (int i = 1; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++i)
        kept = path + QStringLiteral(".unreadable.%1.bak").arg(i);
    return kept;
}

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
    const QString path = readPath(name);
    HSchemeReadAhead::Checked ahead;
    if (HSchemeReadAhead::take(path, &ahead)) {
        scheme = ahead.scheme;
        m_error = ahead.problem;
        if (ahead.ok)
            return ReadResult::Ok;
    } else if (readChecked(path, &scheme, &m_error)) {
        return ReadResult::Ok;
    }
    return QFileInfo::exists(path) ? ReadResult::Unreadable : ReadResult::Missing;
}

bool HSaleStatusSchemes::readChecked(const QString &path, QJsonObject *scheme, QString *problem)
{
    QJsonDocument doc;
    QString error;
    if (scheme)
        *scheme = QJsonObject();
    if (!HJsonFunc::readFileToJsonDoc(path, doc, &error)) {
        if (problem)
            *problem = error;
        return false;
    }
    const QString wrong = HSchemeTypes::wrongType(doc.object());
    if (!wrong.isEmpty()) {
        if (problem)
            *problem = QStringLiteral("%1: %2").arg(shown(path), wrong);
        return false;
    }
    if (scheme)
        *scheme = doc.object();
    return true;
}

bool HSaleStatusSchemes::write(const QString &name, const QJsonObject &scheme, bool keepBackup)
{
    m_error.clear();
    const QString path = writePath(name);
    const QByteArray bytes = HJsonFunc::jsonObjectToJsonDoc(scheme).toJson(QJsonDocument::Indented);
    QFile existing(path);
    if (existing.exists() && existing.size() == bytes.size() &&
        existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes)
        return true;
    existing.close();

    // The overwrite keeps the earlier version as "<file>.bak". A backup that is no readable
    // scheme (earlier versions kept unreadable originals there) is moved aside for good first.
    const QFileInfo info(path);
    const QString backup =
        (info.isSymLink() ? info.symLinkTarget() : path) + QStringLiteral(".bak");
    if (keepBackup && QFileInfo::exists(backup) && !isOwnBackup(backup) && !readChecked(backup)) {
        const QString kept = keepingPath(backup.chopped(4));
        if (!QFile::rename(backup, kept)) {
            m_error =
                TranslateString(QStringLiteral("Cannot move %1 aside to %2; %3 was not written"))
                    .arg(shown(backup), shown(kept), shown(path));
            return false;
        }
    }
    if (HSafeFile::writeFile(path, bytes, &m_error, keepBackup, false) == HSafeFile::Result::Failed)
        return false;
    if (keepBackup)
        rememberOwnBackup(backup);
    return true;
}

bool HSaleStatusSchemes::keepUnreadable(const QString &name)
{
    m_error.clear();
    m_backupPath.clear();
    const QString source = readPath(name);
    QFile file(source);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = TranslateString(QStringLiteral("Cannot read %1: %2"))
                      .arg(shown(source), file.errorString());
        return false;
    }
    const QString target = keepingPath(source);
    if (HSafeFile::writeFile(target, file.readAll(), &m_error, false, false) ==
        HSafeFile::Result::Failed)
        return false;
    m_backupPath = target;
    return true;
}

bool HSaleStatusSchemes::remove(const QString &name)
{
    m_error.clear();
    QFile file(readPath(name));
    if (!file.remove()) {
        m_error = TranslateString(QStringLiteral("Cannot delete %1: %2"))
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
void HSaleStatusSchemes::completeScheme(QJsonObject &scheme, HDatabase *db,
                                        HSaleStatusStored *stored)
{
    if (stored)
        stored->series.clear();
    QJsonArray series = scheme.value(SchemeKeys::seriesTable).toArray();
    QJsonArray models = scheme.value(SchemeKeys::idxTable).toArray();

    // Positions of the records of each series, in array order.
    QHash<int, QVector<int>> seriesRows;
    seriesRows.reserve(series.size());
    for (int i = 0; i < series.size(); ++i)
        seriesRows[series.at(i).toObject().value(SchemeKeys::idSeries).toInt()].append(i);

    // A database series becomes a record only when the scheme lacks it; otherwise only its
    // model string may be needed.
    {
        QSqlQuery query = db->query(QStringLiteral("Select * from __product_series"));
        const Columns columns(query.record(), seriesColumns());
        while (query.next()) {
            const int id = columns.value(query, 0).toInt();
            if (stored)
                stored->series.insert(QString::number(id), {columns.value(query, 6).toBool(),
                                                            columns.value(query, 7).toBool(),
                                                            columns.value(query, 4).toString()});
            QVector<int> &rows = seriesRows[id];
            if (rows.isEmpty()) {
                rows.append(series.size());
                series.append(seriesRecord(query, columns));
                continue; // it holds the database's model string already
            }
            for (const int row : qAsConst(rows)) {
                QJsonObject existing = series.at(row).toObject();
                if (existing.value(SchemeKeys::modelString).toString().isEmpty()) {
                    existing.insert(SchemeKeys::modelString, columns.value(query, 4).toString());
                    series.replace(row, existing);
                    break;
                }
            }
        }
    }

    // Whether the scheme lacks a model is told by the codes alone, which is rare; only then
    // are whole rows read. A scheme lists its models in the order the database returned them
    // when it was made, so the codes are first compared position by position; the set of the
    // scheme's codes is made only when that fails (hashing tens of thousands of codes costs
    // more than the rest of a load). The two flags come along when the caller keeps what the
    // database holds (to tell later whether another user changed a row).
    QSet<QString> codes;
    bool codesMade = false;
    const auto makeCodes = [&] {
        if (codesMade)
            return;
        codesMade = true;
        codes.reserve(models.size());
        for (const QJsonValue &value : qAsConst(models))
            codes.insert(value.toObject().value(SchemeKeys::productCode).toString());
    };
    const auto schemeHas = [&](int position, const QString &code) {
        if (!codesMade && position < models.size() &&
            models.at(position).toObject().value(SchemeKeys::productCode).toString() == code)
            return true;
        makeCodes();
        return codes.contains(code);
    };
    bool lacking = false;
    {
        const QString read =
            stored
                ? QStringLiteral(
                      "select [product_code], [is_not_for_sale], [is_user_skip] from __product_idx")
                : QStringLiteral("select [product_code] from __product_idx");
        QSqlQuery query = db->query(read);
        lacking = !query.isActive();
        // The models' baseline is refilled in place: clearing and refilling a quarter of a
        // million entries on every load costs more than the read. Entries of models the
        // database no longer has are found by their count, and then it is made anew.
        QHash<QString, QVector<QVariant>> *baseline = stored ? &stored->models : nullptr;
        // Two flags have four values: the entries share them instead of a copy each.
        const QVector<QVariant> shared[4] = {
            {false, false}, {false, true}, {true, false}, {true, true}};
        const auto flags = [&shared](const QSqlQuery &query) -> const QVector<QVariant> & {
            return shared[(query.value(1).toBool() ? 2 : 0) + (query.value(2).toBool() ? 1 : 0)];
        };
        const int before = baseline ? baseline->size() : 0;
        int kept = 0;
        int position = 0;
        for (; query.next(); ++position) {
            const QString code = query.value(0).toString();
            lacking = lacking || !schemeHas(position, code);
            if (!baseline) {
                if (lacking)
                    break;
                continue;
            }
            // A first load has nothing to find: one lookup per row instead of two.
            const auto it = before > 0 ? baseline->find(code) : baseline->end();
            if (it != baseline->end() && it->size() == 2) {
                *it = flags(query);
                ++kept;
            } else {
                baseline->insert(code, flags(query));
            }
        }
        if (baseline && (!query.isActive() || kept != before || baseline->size() != position)) {
            baseline->clear();
            if (query.isActive())
                query = db->query(read);
            while (query.next())
                baseline->insert(query.value(0).toString(), flags(query));
        }
    }
    if (lacking) {
        makeCodes();
        QSqlQuery query = db->query(QStringLiteral("Select * from __product_idx"));
        const Columns columns(query.record(), modelColumns());
        while (query.next()) {
            const QString code = columns.value(query, 1).toString();
            if (codes.contains(code))
                continue;
            codes.insert(code);
            models.append(modelRecord(query, columns));
        }
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
        QJsonObject scheme;
        // A scheme that cannot be read is skipped: exporting it would hand out an empty or a
        // damaged scheme.
        if (read(fileName, scheme) != ReadResult::Ok) {
            m_problems.append(m_error);
            continue;
        }
        QString error;
        if (!HJsonFunc::jsonDocToFile(HJsonFunc::jsonObjectToJsonDoc(digestInstallCodes(scheme)),
                                      target.filePath(fileName), QJsonDocument::Indented, &error))
            m_problems.append(error);
    }
    return m_problems.isEmpty();
}
