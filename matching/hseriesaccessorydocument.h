#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

class HDatabase;
class HSeriesLookup;

// Reading and writing the series–accessory matching document: the series lists, the
// accessories on offer with their kinds, the stored matches, and the insert statements
// that write the matching back.
//
// Every lookup that would cost one statement per record is done with one statement per
// table (prepared once, or reading the whole table), so loading grows linearly with the
// size of the product range.
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

// The id_series of the rows that `statement` selects from __product_series, in order.
QList<int> seriesIds(HDatabase *db, const QString &statement);

// The accessory records of the models of __product_idx with this product type, in the
// order of the loading query, completed with "table_name" (when the model's series has a
// row) and "type" (when its detail table has a row for the model). Nothing is filtered.
QJsonArray accessoryRecords(HDatabase *db, int productType, const HSeriesLookup &series);

// The accessory kind of a record; an absent "type" counts as 0.
int kind(const QJsonObject &record);
// The kind name stored in __rule_odu_acc_matching; empty for kinds that have none.
QString kindName(int kind);

// For each series id, the texts of `codeColumn` in the rows that `statement` (one bound
// value: the series id) selects, in the order the database returns them.
QList<QStringList> storedCodes(HDatabase *db, const QString &statement, const QString &codeColumn,
                               const QList<int> &seriesIds);

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

// The inserts that write "idu_matching" into __rule_unit_acc_controller_matching.
QStringList iduInserts(const QJsonArray &iduMatching);
// The inserts that write "odu_matching" into __rule_odu_acc_matching; records whose kind
// has no kind name are left out.
QStringList oduInserts(const QJsonArray &oduMatching);

} // namespace HSeriesAccessoryDocument
