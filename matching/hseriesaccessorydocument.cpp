#include "hseriesaccessorydocument.h"

#include "hdatabase.h"
#include "hmatchingload.h"
#include "hserieslookup.h"
#include "translatestring.h"

#include <QSet>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace HSeriesAccessoryDocument {

const QString kOduMatching = QStringLiteral("odu_matching");
const QString kIduMatching = QStringLiteral("idu_matching");
const QString kArForOdu = QStringLiteral("ar_for_odu");
const QString kArForIdu = QStringLiteral("ar_for_idu");
const QString kObjSeries = QStringLiteral("obj_series");
const QString kArMatching = QStringLiteral("ar_matching");
const QString kIdSeries = QStringLiteral("id_series");
const QString kModel = QStringLiteral("model");
const QString kProductCode = QStringLiteral("product_code");

namespace {

const QString kBaseModel = QStringLiteral("base_model");
const QString kTableName = QStringLiteral("table_name");
const QString kType = QStringLiteral("type");

// Detail tables read by one statement. A compound statement may join at most a few hundred
// selects (SQLite allows 500); a generated range has about one accessory series per ten
// series, so a range of 2,500 series needs one statement.
const int kDetailTablesPerStatement = 250;

using Kinds = QHash<QString, QHash<QString, int>>; // table → model → kind of its first row

// Adds the rows of "select <index>, [model], [type] from ..." to the kinds of `tables`; the
// first row of a model in a table wins.
HMatchingLoad::Row collectKinds(const QStringList &tables, Kinds *kinds)
{
    return [tables, kinds](const QSqlQuery &query) {
        QHash<QString, int> &models = (*kinds)[tables.value(query.value(0).toInt())];
        const QString model = query.value(1).toString();
        if (!models.contains(model))
            models.insert(model, query.value(2).toInt());
    };
}

// The kinds of every model in the detail tables. When a statement over many tables fails,
// each of its tables is read alone so that the failure names the table.
Kinds detailKinds(HMatchingLoad &load, const QStringList &tables)
{
    Kinds kinds;
    QStringList usable;
    // A series whose detail table does not exist gives its models no kind: that is how such
    // a range is meant to be read, not a failure to read it.
    QSet<QString> existing;
    const QStringList present = load.db()->getSqlDatabase().tables(QSql::AllTables);
    for (const QString &table : present)
        existing.insert(table.toLower());
    for (const QString &table : tables) {
        if (!existing.contains(table.toLower()))
            continue;
        // The name comes from the data and stands in the statement as a name in brackets.
        if (table.contains(QLatin1Char(']')))
            load.fail(table, TranslateString(
                                 QStringLiteral("the table name cannot be used in a statement")));
        else
            usable.append(table);
    }
    auto select = [](int index, const QString &table) {
        return QStringLiteral("select %1, [model], [type] from [%2]").arg(index).arg(table);
    };
    for (int first = 0; first < usable.size(); first += kDetailTablesPerStatement) {
        const QStringList chunk = usable.mid(first, kDetailTablesPerStatement);
        QStringList selects;
        for (int i = 0; i < chunk.size(); ++i)
            selects.append(select(i, chunk.at(i)));
        Kinds read;
        QString error;
        if (load.tryRead(selects.join(QStringLiteral(" union all ")), collectKinds(chunk, &read),
                         &error)) {
            for (auto it = read.cbegin(); it != read.cend(); ++it)
                kinds.insert(it.key(), it.value());
            continue;
        }
        for (const QString &table : chunk)
            load.read(table, select(0, table), collectKinds({table}, &kinds));
    }
    return kinds;
}

// A model of __product_idx as its loading query reads it, with what the document adds.
struct Model
{
    QString productCode;
    int idSeries = 0;
    QString model;
    QString baseModel;
    const QString *tableName = nullptr; // null when the model's series has no row
    int type = 0;
    bool typed = false;
};

QVector<Model> models(HMatchingLoad &load, int productType)
{
    QVector<Model> records;
    load.read(QStringLiteral("__product_idx"),
              QStringLiteral("select [product_code],[id_series],[model],[base_model] from "
                             "__product_idx where [product_type] = %1")
                  .arg(productType),
              [&records](const QSqlQuery &query) {
                  Model model;
                  model.productCode = query.value(0).toString();
                  model.idSeries = query.value(1).toInt();
                  model.model = query.value(2).toString();
                  model.baseModel = query.value(3).toString();
                  records.append(model);
              });
    return records;
}

// The record of a model. Each record is a copy of one of four shapes with its values set in
// place: inserting key by key into thousands of new objects costs several times more.
QJsonObject accessoryRecord(const Model &model)
{
    // Keys in the object's own (sorted) order.
    static const QJsonObject plain{
        {kBaseModel, QString()}, {kIdSeries, 0}, {kModel, QString()}, {kProductCode, QString()}};
    static const QJsonObject withTable = [] {
        QJsonObject shape = plain;
        shape.insert(kTableName, QString());
        return shape;
    }();
    static const QJsonObject withType = [] {
        QJsonObject shape = plain;
        shape.insert(kType, 0);
        return shape;
    }();
    static const QJsonObject withBoth = [] {
        QJsonObject shape = withTable;
        shape.insert(kType, 0);
        return shape;
    }();
    QJsonObject record =
        model.tableName ? (model.typed ? withBoth : withTable) : (model.typed ? withType : plain);
    auto field = record.begin();
    (field++).value() = model.baseModel;
    (field++).value() = model.idSeries;
    (field++).value() = model.model;
    (field++).value() = model.productCode;
    if (model.tableName)
        (field++).value() = *model.tableName;
    if (model.typed)
        field.value() = model.type;
    return record;
}

} // namespace

QList<int> seriesIds(HMatchingLoad &load, const QString &statement)
{
    QList<int> ids;
    // The statement selects the id alone.
    load.read(QStringLiteral("__product_series"), statement,
              [&ids](const QSqlQuery &query) { ids.append(query.value(0).toInt()); });
    return ids;
}

AccessoryRecords accessoryRecords(HMatchingLoad &load, const HSeriesLookup &series)
{
    QVector<Model> indoor = models(load, 10);
    QVector<Model> outdoor = models(load, 2);

    // The detail table of each model's series, in the order first needed.
    QStringList tables;
    QSet<QString> asked;
    for (QVector<Model> *records : {&indoor, &outdoor}) {
        for (Model &record : *records) {
            const HSeriesLookup::Row *row = series.find(record.idSeries);
            if (!row)
                continue;
            record.tableName = &row->tableName;
            // A series without a table name has nothing to ask: its models have no kind.
            if (!row->tableName.isEmpty() && !asked.contains(row->tableName)) {
                asked.insert(row->tableName);
                tables.append(row->tableName);
            }
        }
    }
    const Kinds kinds = detailKinds(load, tables);

    AccessoryRecords result;
    for (auto [records, array] :
         {qMakePair(&indoor, &result.indoor), qMakePair(&outdoor, &result.outdoor)}) {
        for (Model &record : *records) {
            if (record.tableName) {
                const auto table = kinds.constFind(*record.tableName);
                if (table != kinds.constEnd()) {
                    const auto found = table->constFind(record.model);
                    if (found != table->constEnd()) {
                        record.type = found.value();
                        record.typed = true;
                    }
                }
            }
            array->append(accessoryRecord(record));
        }
    }
    return result;
}

QHash<int, QStringList> storedCodes(HMatchingLoad &load, const QString &table,
                                    const QString &seriesColumn, const QString &codeColumn)
{
    QHash<int, QStringList> codes;
    load.read(table,
              QStringLiteral("select [%1],[%2] from %3").arg(seriesColumn, codeColumn, table),
              [&codes](const QSqlQuery &query) {
                  codes[query.value(0).toInt()].append(query.value(1).toString());
              });
    return codes;
}

int kind(const QJsonObject &record)
{
    return record.value(kType).toInt(0);
}

QString kindName(int kind)
{
    switch (kind) {
    case 2:
        return QStringLiteral("BRANCH");
    case 3:
        return QStringLiteral("MP4");
    case 31:
        return QStringLiteral("BRANCH_HEADER");
    case 4:
        return QStringLiteral("MS");
    case 5:
        return QStringLiteral("AHUBOX");
    case 7:
        return QStringLiteral("AHUMP2");
    default:
        return QString();
    }
}

void AccessoryIndex::build(const QJsonArray &first, const QJsonArray &second)
{
    m_records.clear();
    for (const QJsonArray *list : {&first, &second}) {
        for (const QJsonValue &value : *list) {
            const QJsonObject record = value.toObject();
            const QString code = record.value(kProductCode).toString();
            if (!m_records.contains(code))
                m_records.insert(code, record);
        }
    }
}

void PairCounts::add(int series, const QJsonObject &record)
{
    add(series, record.value(kProductCode).toString(), record);
}

void PairCounts::add(int series, const QString &productCode, const QJsonObject &record)
{
    const Pair pair(series, productCode);
    int &count = counts[pair];
    if (count++ == 0) {
        order.append(pair);
        kindNames.insert(pair, kindName(kind(record)));
    }
}

PairCounts pairCounts(const QJsonArray &entries)
{
    PairCounts result;
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        const int series = entry.value(kObjSeries).toObject().value(kIdSeries).toInt();
        const QJsonArray matched = entry.value(kArMatching).toArray();
        for (const QJsonValue &record : matched)
            result.add(series, record.toObject());
    }
    return result;
}

namespace {

// The pairs of `current` in document order, then those only `stored` has, in load order.
QVector<PairCounts::Pair> changedPairs(const PairCounts &stored, const PairCounts &current)
{
    QVector<PairCounts::Pair> pairs;
    for (const PairCounts::Pair &pair : current.order) {
        if (current.counts.value(pair) != stored.counts.value(pair))
            pairs.append(pair);
    }
    for (const PairCounts::Pair &pair : stored.order) {
        if (!current.counts.contains(pair))
            pairs.append(pair);
    }
    return pairs;
}

} // namespace

QVector<HMatchingSave::Change> indoorChanges(const PairCounts &stored, const PairCounts &current)
{
    QVector<HMatchingSave::Change> changes;
    for (const PairCounts::Pair &pair : changedPairs(stored, current)) {
        const QVariantList key{pair.first, pair.second};
        changes.append({key, stored.counts.value(pair), key, current.counts.value(pair)});
    }
    return changes;
}

QVector<HMatchingSave::Change> outdoorChanges(const PairCounts &stored, const PairCounts &current)
{
    QVector<HMatchingSave::Change> changes;
    for (const PairCounts::Pair &pair : changedPairs(stored, current)) {
        const int rows = current.counts.value(pair);
        const QString name = current.kindNames.value(pair);
        if (rows > 0 && name.isEmpty())
            continue; // never written, and still matched: its stored rows stay
        changes.append({QVariantList{pair.first, pair.second}, stored.counts.value(pair),
                        QVariantList{pair.first, pair.second, name}, name.isEmpty() ? 0 : rows});
    }
    return changes;
}

} // namespace HSeriesAccessoryDocument
