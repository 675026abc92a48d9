#include "hseriesaccessorydocument.h"

#include "hdatabase.h"
#include "hserieslookup.h"

#include <QSqlQuery>
#include <QVariant>
#include <QVector>

namespace HSeriesAccessoryDocument {

const QString kOduMatching = QStringLiteral("odu_matching");
const QString kIduMatching = QStringLiteral("idu_matching");
const QString kArForOdu = QStringLiteral("ar_for_odu");
const QString kArForIdu = QStringLiteral("ar_for_idu");
const QString kObjSeries = QStringLiteral("obj_series");
const QString kArMatching = QStringLiteral("ar_matching");
const QString kIdSeries = QStringLiteral("id_series");
const QString kModel = QStringLiteral("model");

namespace {

const QString kProductCode = QStringLiteral("product_code");
const QString kBaseModel = QStringLiteral("base_model");
const QString kTableName = QStringLiteral("table_name");
const QString kType = QStringLiteral("type");

} // namespace

QList<int> seriesIds(HDatabase *db, const QString &statement)
{
    QList<int> ids;
    QSqlQuery query = db->query(statement);
    while (query.next())
        ids.append(query.value(kIdSeries).toInt());
    return ids;
}

QJsonArray accessoryRecords(HDatabase *db, int productType, const HSeriesLookup &series)
{
    QVector<QJsonObject> records;
    QSqlQuery models = db->query(QStringLiteral("select * from %1 where [product_type] = %2")
                                     .arg(QStringLiteral("__product_idx"))
                                     .arg(productType));
    while (models.next()) {
        records.append(QJsonObject{
            {kProductCode, models.value(kProductCode).toString()},
            {kIdSeries, models.value(kIdSeries).toInt()},
            {kModel, models.value(kModel).toString()},
            {kBaseModel, models.value(kBaseModel).toString()},
        });
    }

    // The detail table of each series; records are grouped by table so that each table
    // is asked through one prepared statement.
    QHash<QString, QVector<int>> byTable;
    QStringList tableOrder;
    for (int i = 0; i < records.size(); ++i) {
        const HSeriesLookup::Row *row = series.find(records.at(i).value(kIdSeries).toInt());
        if (!row)
            continue;
        records[i].insert(kTableName, row->tableName);
        if (row->tableName.isEmpty())
            continue; // no table to ask
        auto it = byTable.find(row->tableName);
        if (it == byTable.end()) {
            tableOrder.append(row->tableName);
            it = byTable.insert(row->tableName, {});
        }
        it->append(i);
    }

    // The kind is the `type` of the first detail row with the model; the model is bound,
    // so a model with a quote is found like any other. A table that does not exist gives
    // its models no kind.
    for (const QString &table : qAsConst(tableOrder)) {
        QSqlQuery detail(db->getSqlDatabase());
        detail.setForwardOnly(true);
        if (!detail.prepare(QStringLiteral("select * from %1 where [model] = ?").arg(table)))
            continue;
        for (int i : byTable.value(table)) {
            detail.bindValue(0, records.at(i).value(kModel).toString());
            if (detail.exec() && detail.next())
                records[i].insert(kType, detail.value(kType).toInt());
            detail.finish();
        }
    }

    QJsonArray result;
    for (const QJsonObject &record : qAsConst(records))
        result.append(record);
    return result;
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

QList<QStringList> storedCodes(HDatabase *db, const QString &statement, const QString &codeColumn,
                               const QList<int> &seriesIds)
{
    QList<QStringList> result;
    QSqlQuery stored(db->getSqlDatabase());
    stored.setForwardOnly(true);
    const bool prepared = stored.prepare(statement);
    for (int id : seriesIds) {
        QStringList codes;
        if (prepared) {
            stored.bindValue(0, id);
            if (stored.exec()) {
                while (stored.next())
                    codes.append(stored.value(codeColumn).toString());
            }
            stored.finish();
        }
        result.append(codes);
    }
    return result;
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

QStringList iduInserts(const QJsonArray &iduMatching)
{
    QStringList inserts;
    for (const QJsonValue &value : iduMatching) {
        const QJsonObject entry = value.toObject();
        const int idSeries = entry.value(kObjSeries).toObject().value(kIdSeries).toInt();
        const QJsonArray matched = entry.value(kArMatching).toArray();
        for (const QJsonValue &accessory : matched) {
            // One pass over the placeholders: a product code holding "%2" stays as it is.
            inserts.append(
                QStringLiteral("insert into %1 (id_series,product_code) values(%2,'%3')")
                    .arg(QStringLiteral("__rule_unit_acc_controller_matching"),
                         QString::number(idSeries),
                         HDatabase::escape(accessory.toObject().value(kProductCode).toString())));
        }
    }
    return inserts;
}

QStringList oduInserts(const QJsonArray &oduMatching)
{
    QStringList inserts;
    for (const QJsonValue &value : oduMatching) {
        const QJsonObject entry = value.toObject();
        const int idSeries = entry.value(kObjSeries).toObject().value(kIdSeries).toInt();
        const QJsonArray matched = entry.value(kArMatching).toArray();
        for (const QJsonValue &accessoryValue : matched) {
            const QJsonObject accessory = accessoryValue.toObject();
            const QString name = kindName(kind(accessory));
            if (name.isEmpty())
                continue;
            inserts.append(
                QStringLiteral("insert into %1 (id_series_odu,product_code_acc,type) "
                               "values(%2,'%3','%4')")
                    .arg(QStringLiteral("__rule_odu_acc_matching"), QString::number(idSeries),
                         HDatabase::escape(accessory.value(kProductCode).toString()), name));
        }
    }
    return inserts;
}

} // namespace HSeriesAccessoryDocument
