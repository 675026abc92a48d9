#include "hserieslookup.h"

#include "hmatchingload.h"

#include <QSqlQuery>
#include <QVariant>

bool HSeriesLookup::load(HMatchingLoad &load)
{
    clear();
    return load.read(QStringLiteral("__product_series"),
                     QStringLiteral("select [id_series],[product_type],[product_series],[category],"
                                    "[odu_type],[sub_catalog],[table_name] from __product_series"),
                     [this](const QSqlQuery &query) {
                         Row row;
                         row.idSeries = query.value(0).toInt();
                         if (m_rows.contains(row.idSeries))
                             return;
                         row.productType = query.value(1).toInt();
                         row.productSeries = query.value(2).toString();
                         row.category = query.value(3).toString();
                         row.oduType = query.value(4).toString();
                         row.subCatalog = query.value(5).toString();
                         row.tableName = query.value(6).toString();
                         m_rows.insert(row.idSeries, row);
                     });
}

void HSeriesLookup::clear()
{
    m_rows.clear();
    m_completed.clear();
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
    const bool bare =
        record.size() == 1 && record.value(QStringLiteral("id_series")).toInt() == idSeries;
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

QJsonObject HSeriesLookup::record(int idSeries) const
{
    const auto cached = m_completed.constFind(idSeries);
    if (cached != m_completed.constEnd())
        return cached.value();
    QJsonObject record{{QStringLiteral("id_series"), idSeries}};
    complete(idSeries, record, false);
    return record;
}
