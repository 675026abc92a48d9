#pragma once

#include "hmatchingsave.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QVector>

class HMatchingLoad;
class HSeriesLookup;

// Reading and writing the series–accessory matching document: the series lists, the
// accessories on offer with their kinds, the stored matches, and what a save must change.
//
// Every table is read with one statement (the detail tables a few hundred to a statement)
// and grouped in memory, so loading costs the same few statements whatever the size of the
// product range.
namespace HSeriesAccessoryDocument {

// JSON keys of the document.
extern const QString kOduMatching; // "odu_matching"
extern const QString kIduMatching; // "idu_matching"
extern const QString kArForOdu;    // "ar_for_odu"
extern const QString kArForIdu;    // "ar_for_idu"
extern const QString kObjSeries;   // "obj_series"
extern const QString kArMatching;  // "ar_matching"
extern const QString kIdSeries;    // "id_series"
extern const QString kModel;       // "model"
extern const QString kProductCode; // "product_code"

// The id_series of the rows that `statement` selects from __product_series (its one column),
// in order.
QList<int> seriesIds(HMatchingLoad &load, const QString &statement);

// The accessory records of the models of __product_idx with product type 10 (indoor) and 2
// (outdoor), each in the order of its loading query, completed with "table_name" (when the
// model's series has a row) and "type" (the kind in the first row of the detail table with
// the model). Nothing is filtered.
struct AccessoryRecords
{
    QJsonArray indoor;
    QJsonArray outdoor;
};
AccessoryRecords accessoryRecords(HMatchingLoad &load, const HSeriesLookup &series);

// For each series, the product codes stored for it, in the order the database returns them.
QHash<int, QStringList> storedCodes(HMatchingLoad &load, const QString &table,
                                    const QString &seriesColumn, const QString &codeColumn);

// The accessory kind of a record; an absent "type" counts as 0.
int kind(const QJsonObject &record);
// The kind name stored in __rule_odu_acc_matching; empty for kinds that have none.
QString kindName(int kind);

// Accessory records by product code: the first record of the first list wins, then the
// second list; comparison is exact and case-sensitive.
class AccessoryIndex
{
public:
    void build(const QJsonArray &first, const QJsonArray &second);
    void clear() { m_records.clear(); }
    // A copy of the record, or an empty object.
    QJsonObject find(const QString &productCode) const { return m_records.value(productCode); }

private:
    QHash<QString, QJsonObject> m_records;
};

// How many records each (series, product code) pair has in a matching array, in the order
// the pairs first appear, with the kind name of the pair's record.
struct PairCounts
{
    using Pair = QPair<int, QString>;
    QVector<Pair> order;
    QHash<Pair, int> counts;
    QHash<Pair, QString> kindNames;

    void add(int series, const QJsonObject &record);
    void add(int series, const QString &productCode, const QJsonObject &record);
};
PairCounts pairCounts(const QJsonArray &entries);

// What the save of __rule_unit_acc_controller_matching must change so that the table holds,
// for the pairs the document shows, the records of `current` instead of those of `stored`.
QVector<HMatchingSave::Change> indoorChanges(const PairCounts &stored, const PairCounts &current);
// The same for __rule_odu_acc_matching. Records whose kind has no kind name are never
// written; their stored rows go only when the series no longer holds the accessory.
QVector<HMatchingSave::Change> outdoorChanges(const PairCounts &stored, const PairCounts &current);

} // namespace HSeriesAccessoryDocument
