#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>

class HMatchingLoad;

// The rows of __product_series, read with one statement and looked up by id_series.
//
// The matching editors complete thousands of series records while loading; one query per
// record would cost a round trip each. The first row read for an id wins, as a query by
// id without ordering would return it first.
class HSeriesLookup
{
public:
    struct Row
    {
        int idSeries = 0;
        int productType = 0;
        QString productSeries;
        QString category;
        QString oduType;
        QString subCatalog;
        QString tableName;
    };

    // Reads every series row with one statement. False, with the failure noted in `load`,
    // when it could not be read completely.
    bool load(HMatchingLoad &load);
    void clear();

    // The row of the series, or null when there is none.
    const Row *find(int idSeries) const;

    // Adds "product_series", "category", "odu_type", "sub_catalog" (texts) and
    // "product_type" (integer) to the record, and "id_series" too when withId is set.
    // False and the record unchanged when the series has no row.
    bool complete(int idSeries, QJsonObject &record, bool withId) const;
    // {"id_series": id} completed as complete() does it; every record of one series shares
    // its data.
    QJsonObject record(int idSeries) const;

private:
    QHash<int, Row> m_rows;
    // Completed records of bare {"id_series": id} records, shared by every copy: most
    // records are completed from that state, and thousands of them name the same series.
    mutable QHash<int, QJsonObject> m_completed;
};
