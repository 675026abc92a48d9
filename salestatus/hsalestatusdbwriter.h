#pragma once

#include <QString>
#include <QVector>

class HDatabase;

// Writes the sale flags of the editor's rows into __product_series and __product_idx in one
// transaction: the rows that differ from the database are written or, on the first failure,
// nothing is. Only the keys of the rows given are read back; no rows, no statement.
class HSaleStatusDbWriter
{
public:
    struct SeriesRow
    {
        QString idSeries; // column 0 as shown, a decimal integer
        bool notForSale = false;
        bool userSkip = false;
        QString modelString;
    };
    struct ModelRow
    {
        QString productCode;
        bool notForSale = false;
        bool userSkip = false;
    };

    bool save(HDatabase *db, const QVector<SeriesRow> &series, const QVector<ModelRow> &models);
    QString errorString() const { return m_error; }
    // Rows written by the last successful save.
    int rowsWritten() const { return m_written; }

private:
    static QString writeRows(HDatabase *db, const QVector<SeriesRow> &series,
                             const QVector<ModelRow> &models, int *written);

    QString m_error;
    int m_written = 0;
};
