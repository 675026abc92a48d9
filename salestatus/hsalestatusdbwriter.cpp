#include "hsalestatusdbwriter.h"

#include "hdatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString queryError(const QSqlQuery &query)
{
    const QSqlError error = query.lastError();
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("the statement failed") : text;
}

} // namespace

// The statements are prepared once and run with bound values: tens of thousands of rows,
// and texts holding quotes, go through without being spliced into the statement. Returns
// the database's error text of the first failure, or an empty text.
QString HSaleStatusDbWriter::writeRows(HDatabase *db, const QVector<SeriesRow> &series,
                                       const QVector<ModelRow> &models)
{
    QSqlQuery update(db->getSqlDatabase());
    if (!update.prepare(
            QStringLiteral("update __product_series set [is_not_for_sale] = ? , "
                           "[is_user_skip] = ?,[model_string] = ? where [id_series] = ?")))
        return queryError(update);
    for (const SeriesRow &row : series) {
        bool numeric = false;
        const int id = row.idSeries.toInt(&numeric);
        update.bindValue(0, row.notForSale ? 1 : 0);
        update.bindValue(1, row.userSkip ? 1 : 0);
        // A null text would be bound as NULL; an empty model string is written as ''.
        update.bindValue(2, row.modelString.isNull() ? QStringLiteral("") : row.modelString);
        update.bindValue(3, numeric ? QVariant(id) : QVariant(row.idSeries));
        if (!update.exec())
            return queryError(update);
    }
    if (!update.prepare(QStringLiteral("update __product_idx set [is_not_for_sale] = ? , "
                                       "[is_user_skip] = ? where [product_code] = ?")))
        return queryError(update);
    for (const ModelRow &row : models) {
        update.bindValue(0, row.notForSale ? 1 : 0);
        update.bindValue(1, row.userSkip ? 1 : 0);
        update.bindValue(2, row.productCode);
        if (!update.exec())
            return queryError(update);
    }
    return QString();
}

bool HSaleStatusDbWriter::save(HDatabase *db, const QVector<SeriesRow> &series,
                               const QVector<ModelRow> &models)
{
    m_error.clear();
    if (!db->transaction()) {
        m_error = db->errorString();
        return false;
    }
    // The statements are finished before the transaction ends either way.
    m_error = writeRows(db, series, models);
    if (m_error.isEmpty() && db->commit())
        return true;
    if (m_error.isEmpty())
        m_error = db->errorString();
    db->rollback();
    return false;
}
