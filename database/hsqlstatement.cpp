#include "hsqlstatement.h"

#include "hdatabase.h"

HSqlStatement::HSqlStatement(HDatabase *db, const QString &sql)
    : m_db(db)
    , m_sql(sql)
    , m_query(db->getSqlDatabase())
{
    m_query.setForwardOnly(true);
    m_prepared = m_db->prepareStatement(m_query, m_sql, &m_error);
}

HSqlStatement &HSqlStatement::bind(int position, const QVariant &value)
{
    m_query.bindValue(position, value);
    return *this;
}

bool HSqlStatement::exec()
{
    if (!m_prepared)
        return false;
    return m_db->runStatement(m_query, m_sql, &m_error);
}

QString HSqlStatement::holds(const QString &column, const QVariant &value, QVariantList *values)
{
    if (value.isNull())
        return QStringLiteral("[%1] is null").arg(column);
    values->append(value);
    return QStringLiteral("[%1] = ?").arg(column);
}

QString HSqlStatement::shownValue(const QVariant &value)
{
    return value.isNull() ? QStringLiteral("NULL") : QStringLiteral("'%1'").arg(value.toString());
}
