#pragma once

#include <QString>
#include <QVector>

class HDatabase;

// Writes the sale flags of the editor's tables into __product_series and __product_idx in
// one transaction: either every row is written or, on the first failure, nothing is.
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

private:
    static QString writeRows(HDatabase *db, const QVector<SeriesRow> &series,
                             const QVector<ModelRow> &models);

    QString m_error;
};
