#include "hsalestatusdbwriter.h"

#include "hdatabase.h"
#include "hsqlstatement.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace {

// The stored values of one key (a series id, a product code); a key held by several rows is
// written when any of them differs, as an update by that key writes them all.
struct Stored
{
    bool notForSale = false;
    bool userSkip = false;
    QString modelString; // NULL reads as empty: an untouched NULL stays NULL
    bool mixed = false;
};

template <typename Key> void note(QHash<Key, Stored> &stored, const Key &key, const Stored &value)
{
    auto it = stored.find(key);
    if (it == stored.end()) {
        stored.insert(key, value);
        return;
    }
    if (it->notForSale != value.notForSale || it->userSkip != value.userSkip ||
        it->modelString != value.modelString)
        it->mixed = true;
}

QVariant seriesKey(const QString &idSeries)
{
    bool numeric = false;
    const int id = idSeries.toInt(&numeric);
    return numeric ? QVariant(id) : QVariant(idSeries);
}

// Keys read by one statement when only some rows are compared; beyond kKeysByList keys the
// whole table is read in one statement instead.
const int kKeysPerStatement = 200;
const int kKeysByList = 1000;

// Reads what `columns` of `table` hold for the keys (all rows when there are many keys), one
// statement per kKeysPerStatement keys, and notes them by key. Empty on success, else the
// error text.
QString readStored(HDatabase *db, const QString &columns, const QString &table,
                   const QString &keyColumn, const QVariantList &keys,
                   const std::function<void(const HSqlStatement &)> &note)
{
    if (keys.isEmpty())
        return QString();
    const QString select = QStringLiteral("select %1 from %2").arg(columns, table);
    if (keys.size() > kKeysByList) {
        HSqlStatement read(db, select);
        if (!read.exec())
            return read.errorString();
        while (read.next())
            note(read);
        return QString();
    }
    for (int first = 0; first < keys.size(); first += kKeysPerStatement) {
        const QVariantList chunk = keys.mid(first, kKeysPerStatement);
        QStringList places;
        for (int i = 0; i < chunk.size(); ++i)
            places.append(QStringLiteral("?"));
        HSqlStatement read(db, QStringLiteral("%1 where [%2] in (%3)")
                                   .arg(select, keyColumn, places.join(QLatin1Char(','))));
        for (int i = 0; i < chunk.size(); ++i)
            read.bind(i, chunk.at(i));
        if (!read.exec())
            return read.errorString();
        while (read.next())
            note(read);
    }
    return QString();
}

} // namespace

// Only the rows whose flags or model string differ from the database are written: what is
// stored for their keys is read first (inside the transaction), so a save with nothing
// changed writes nothing, and the tables end as writing every row would leave them.
// The statements are prepared once and run with bound values.
QString HSaleStatusDbWriter::writeRows(HDatabase *db, const QVector<SeriesRow> &series,
                                       const QVector<ModelRow> &models, int *written)
{
    QHash<QString, Stored> storedSeries;
    {
        QVariantList keys;
        QSet<QString> listed;
        for (const SeriesRow &row : series) {
            if (!listed.contains(row.idSeries)) {
                listed.insert(row.idSeries);
                keys.append(seriesKey(row.idSeries));
            }
        }
        const QString error = readStored(
            db, QStringLiteral("[id_series], [is_not_for_sale], [is_user_skip], [model_string]"),
            QStringLiteral("__product_series"), QStringLiteral("id_series"), keys,
            [&storedSeries](const HSqlStatement &read) {
                note(storedSeries, read.value(0).toString(),
                     Stored{read.value(1).toBool(), read.value(2).toBool(),
                            read.value(3).toString()});
            });
        if (!error.isEmpty())
            return error;
    }
    QHash<QString, Stored> storedModels;
    {
        QVariantList keys;
        QSet<QString> listed;
        for (const ModelRow &row : models) {
            if (!listed.contains(row.productCode)) {
                listed.insert(row.productCode);
                keys.append(row.productCode);
            }
        }
        const QString error =
            readStored(db, QStringLiteral("[product_code], [is_not_for_sale], [is_user_skip]"),
                       QStringLiteral("__product_idx"), QStringLiteral("product_code"), keys,
                       [&storedModels](const HSqlStatement &read) {
                           note(storedModels, read.value(0).toString(),
                                Stored{read.value(1).toBool(), read.value(2).toBool(), QString()});
                       });
        if (!error.isEmpty())
            return error;
    }

    HSqlStatement updateSeries(db, QStringLiteral("update __product_series set [is_not_for_sale] "
                                                  "= ? , [is_user_skip] = ?,[model_string] = ? "
                                                  "where [id_series] = ?"));
    for (const SeriesRow &row : series) {
        const auto found = storedSeries.find(row.idSeries);
        if (found == storedSeries.end())
            continue; // no stored row has that id: the update would change nothing
        if (!found->mixed && found->notForSale == row.notForSale &&
            found->userSkip == row.userSkip && found->modelString == row.modelString)
            continue;
        // A null text would be bound as NULL; an emptied model string is written as ''.
        updateSeries.bind(0, row.notForSale ? 1 : 0)
            .bind(1, row.userSkip ? 1 : 0)
            .bind(2, row.modelString.isNull() ? QStringLiteral("") : row.modelString)
            .bind(3, seriesKey(row.idSeries));
        if (!updateSeries.exec())
            return updateSeries.errorString();
        *found = Stored{row.notForSale, row.userSkip, row.modelString};
        ++*written;
    }
    HSqlStatement updateModel(db, QStringLiteral("update __product_idx set [is_not_for_sale] = ? "
                                                 ", [is_user_skip] = ? where [product_code] = ?"));
    for (const ModelRow &row : models) {
        const auto found = storedModels.find(row.productCode);
        if (found == storedModels.end())
            continue;
        if (!found->mixed && found->notForSale == row.notForSale && found->userSkip == row.userSkip)
            continue;
        updateModel.bind(0, row.notForSale ? 1 : 0)
            .bind(1, row.userSkip ? 1 : 0)
            .bind(2, row.productCode);
        if (!updateModel.exec())
            return updateModel.errorString();
        *found = Stored{row.notForSale, row.userSkip, QString()};
        ++*written;
    }
    return QString();
}

bool HSaleStatusDbWriter::save(HDatabase *db, const QVector<SeriesRow> &series,
                               const QVector<ModelRow> &models)
{
    m_error.clear();
    m_written = 0;
    if (series.isEmpty() && models.isEmpty())
        return true;
    if (!db->transaction()) {
        m_error = db->errorString();
        return false;
    }
    int written = 0;
    m_error = writeRows(db, series, models, &written);
    if (m_error.isEmpty() && db->commit()) {
        m_written = written;
        return true;
    }
    if (m_error.isEmpty())
        m_error = db->errorString();
    db->rollback();
    return false;
}
