#include "hproductdatacheck.h"

#include "hauditlog.h"
#include "hdatabase.h"
#include "hproductschema.h"
#include "hsqlstatement.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <functional>

namespace {

// A matching table and the two references of its rows.
struct MatchingTable
{
    QString table;
    QString seriesColumn;
    QString seriesText; // how a row names its series
    QString otherColumn;
    QString otherText;
    bool otherIsSeries; // the second reference is a series too (else a product code)
};

const QVector<MatchingTable> &matchingTables()
{
    static const QVector<MatchingTable> tables{
        {QStringLiteral("__rule_odu_idu_matching"), QStringLiteral("id_series_odu"),
         QStringLiteral("outdoor series"), QStringLiteral("id_series_idu"),
         QStringLiteral("indoor series"), true},
        {QStringLiteral("__rule_odu_acc_matching"), QStringLiteral("id_series_odu"),
         QStringLiteral("outdoor series"), QStringLiteral("product_code_acc"),
         QStringLiteral("accessory"), false},
        {QStringLiteral("__rule_unit_acc_controller_matching"), QStringLiteral("id_series"),
         QStringLiteral("indoor series"), QStringLiteral("product_code"),
         QStringLiteral("accessory"), false},
    };
    return tables;
}

// "the series (or the model) that `column` of a row of `table` names exists"
QString found(const QString &table, const QString &column, bool series)
{
    return series ? QStringLiteral("exists (select 1 from __product_series s where "
                                   "s.[id_series] = %1.[%2])")
                        .arg(table, column)
                  : QStringLiteral("exists (select 1 from __product_idx p where "
                                   "p.[product_code] = %1.[%2])")
                        .arg(table, column);
}

QString text(const QVariant &value)
{
    return value.isNull() ? QStringLiteral("NULL") : value.toString();
}

} // namespace

HProductDataCheck::HProductDataCheck(HDatabase *db)
    : m_db(db)
{}

int HProductDataCheck::matchingRows() const
{
    return m_matchingRows;
}

int HProductDataCheck::ruleNames() const
{
    return m_ruleNames;
}

bool HProductDataCheck::run()
{
    m_groups.clear();
    m_removals.clear();
    m_history.clear();
    m_matchingRows = 0;
    m_ruleNames = 0;
    m_error.clear();

    auto list = [this](Group &group, const QString &sql,
                       const std::function<QString(const QSqlQuery &)> &line,
                       const std::function<HAuditEntry(const QSqlQuery &)> &entry) {
        QSqlQuery query = m_db->query(sql);
        if (!query.isActive()) {
            m_error = QStringLiteral("%1: %2").arg(group.table, m_db->errorString());
            return false;
        }
        while (query.next()) {
            group.rows.append(line(query));
            m_history.append(entry(query));
        }
        if (query.lastError().type() != QSqlError::NoError) {
            m_error = QStringLiteral("%1: %2").arg(group.table, query.lastError().text());
            return false;
        }
        return true;
    };

    for (const MatchingTable &t : matchingTables()) {
        Group group{t.table, {}};
        const QString series = found(t.table, t.seriesColumn, true);
        const QString other = found(t.table, t.otherColumn, t.otherIsSeries);
        const QString select = QStringLiteral("select [%1],[%2] from %3 where ")
                                   .arg(t.seriesColumn, t.otherColumn, t.table);
        // A row is listed once: by its first missing reference.
        auto line = [&t](const QSqlQuery &query, const QString &why) {
            return QStringLiteral("%1 %2, %3 %4: %5")
                .arg(t.seriesText, text(query.value(0)), t.otherText, text(query.value(1)), why);
        };
        // The history gets each row removed, as the matching tabs write a removed row.
        auto entry = [&t](const QSqlQuery &query) {
            return HAuditEntry{
                t.table,
                text(query.value(0)),
                QStringLiteral("%1 / %2").arg(text(query.value(0)), text(query.value(1))),
                QStringLiteral("(row)"),
                QStringLiteral("1"),
                QVariant()};
        };
        const bool listed =
            list(
                group, select + QStringLiteral("not ") + series,
                [&](const QSqlQuery &query) {
                    return line(query, QStringLiteral("no such %1").arg(t.seriesText));
                },
                entry) &&
            list(
                group, select + QStringLiteral("%1 and not %2").arg(series, other),
                [&](const QSqlQuery &query) {
                    return line(query, QStringLiteral("no such %1").arg(t.otherText));
                },
                entry);
        if (!listed)
            return false;
        m_removals.append(
            {QStringLiteral("delete from %1 where not %2 or not %3").arg(t.table, series, other),
             int(group.rows.size())});
        m_matchingRows += group.rows.size();
        m_groups.append(group);
    }

    Group names{QStringLiteral("__product_series"), {}};
    for (const HProductSchema::RuleTable &rule : HProductSchema::ruleTables()) {
        if (rule.seriesColumn.isEmpty())
            continue;
        const QString dangling =
            QStringLiteral("[%1] <> '' and not exists (select 1 from %2 r where r.[rule_name] = "
                           "__product_series.[%1])")
                .arg(rule.seriesColumn, rule.table);
        const int before = names.rows.size();
        if (!list(
                names,
                QStringLiteral("select [id_series],[product_series],[%1] from __product_series "
                               "where %2")
                    .arg(rule.seriesColumn, dangling),
                [&rule](const QSqlQuery &query) {
                    return QStringLiteral("series %1 %2: %3 '%4' is not in %5")
                        .arg(text(query.value(0)), query.value(1).toString(), rule.seriesColumn,
                             query.value(2).toString(), rule.table);
                },
                [&rule](const QSqlQuery &query) {
                    return HAuditEntry{QStringLiteral("__product_series"),
                                       query.value(1).toString(),
                                       text(query.value(0)),
                                       rule.seriesColumn,
                                       query.value(2),
                                       QStringLiteral("")}; // cleared, not NULL
                }))
            return false;
        m_removals.append({QStringLiteral("update __product_series set [%1] = '' where %2")
                               .arg(rule.seriesColumn, dangling),
                           int(names.rows.size() - before)});
    }
    m_ruleNames = names.rows.size();
    m_groups.append(names);
    return true;
}

bool HProductDataCheck::remove()
{
    if (!m_db->transaction()) {
        m_error = m_db->errorString();
        return false;
    }
    for (const Removal &removal : qAsConst(m_removals)) {
        HSqlStatement statement(m_db, removal.sql);
        QString error;
        if (!statement.exec())
            error = statement.errorString();
        else if (statement.numRowsAffected() != removal.rows)
            error = QStringLiteral("The product data changed since it was checked; nothing was "
                                   "removed. Check again.");
        if (!error.isEmpty()) {
            m_db->rollback();
            m_error = error;
            return false;
        }
    }
    if (!m_db->commit()) {
        m_error = m_db->errorString();
        m_db->rollback();
        return false;
    }
    m_historyError.clear();
    m_historyWritten = HAuditLog::append(m_db, m_history, &m_historyError);
    return true;
}
