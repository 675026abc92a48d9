#include "hserieslookup.h"

#include "hdatabase.h"

#include <QSqlQuery>
#include <QVariant>

bool HSeriesLookup::load(HDatabase *db)
{
    clear();
    QSqlQuery query =
        db->query(QStringLiteral("select * from %1").arg(QStringLiteral("__product_series")));
    if (!query.isActive()) {
        m_error = db->errorString();
        return false;
    }
    while (query.next()) {
        Row row;
        row.idSeries = query.value(QStringLiteral("id_series")).toInt();
        if (m_rows.contains(row.idSeries))
            continue;
        row.productType = query.value(QStringLiteral("product_type")).toInt();
        row.productSeries = query.value(QStringLiteral("product_series")).toString();
        row.category = query.value(QStringLiteral("category")).toString();
        row.oduType = query.value(QStringLiteral("odu_type")).toString();
        row.subCatalog = query.value(QStringLiteral("sub_catalog")).toString();
        row.tableName = query.value(QStringLiteral("table_name")).toString();
        m_rows.insert(row.idSeries, row);
    }
    m_loaded = true;
    return true;
}

void HSeriesLookup::clear()
{
    m_rows.clear();
    m_completed.clear();
    m_loaded = false;
    m_error.clear();
}

const HSeriesLookup::Row *HSeriesLookup::find(int idSeries) const
{
    auto it = m_rows.constFind(idSeries);
    return it == m_rows.constEnd() ? nullptr : &it.value();
}

bool HSeriesLookup::complete(int idSeries, QJsonObject &record, bool withId) const
{
    const Row *row = find(idSeries);
    if (!row)
        return false;
    const bool bare = record.size() == 1 && record.value(QStringLiteral("id_series")).toInt() == idSeries;
    if (bare) {
        const auto cached = m_completed.constFind(idSeries);
        if (cached != m_completed.constEnd()) {
            record = cached.value();
            return true;
        }
    }
    record.insert(QStringLiteral("product_series"), row->productSeries);
    record.insert(QStringLiteral("category"), row->category);
    record.insert(QStringLiteral("odu_type"), row->oduType);
    record.insert(QStringLiteral("sub_catalog"), row->subCatalog);
    record.insert(QStringLiteral("product_type"), row->productType);
    if (withId)
        record.insert(QStringLiteral("id_series"), row->idSeries);
    if (bare)
        m_completed.insert(idSeries, record);
    return true;
}
