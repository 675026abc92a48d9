// Preparing the target of a database copy: refusing or emptying a target that holds product
// data, creating the schema's tables and the detail tables, and finding the target's
// spelling of every column.
#include "hdbcopy.h"

#include "hdbcopydetail.h"

#include "hdatabase.h"
#include "hproductschema.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace HDbCopyDetail;

namespace {

QString createdTable(const QString &statement)
{
    static const QRegularExpression table(
        QStringLiteral(
            "^\\s*CREATE\\s+TABLE\\s+(?:IF\\s+NOT\\s+EXISTS\\s+)?\\[?\"?([A-Za-z0-9_]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = table.match(statement);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString indexedTable(const QString &statement)
{
    static const QRegularExpression index(
        QStringLiteral("^\\s*CREATE\\s+(?:UNIQUE\\s+)?INDEX\\s.*\\sON\\s+\\[?\"?([A-Za-z0-9_]+)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = index.match(statement);
    return match.hasMatch() ? match.captured(1) : QString();
}

// The schema's statements for each of its tables (the table, then its indexes).
QHash<QString, QStringList> schemaStatementsByTable(const QString &script,
                                                    QStringList *order = nullptr)
{
    QHash<QString, QStringList> byTable;
    const QStringList statements = HProductSchema::statements(script);
    for (const QString &statement : statements) {
        QString table = createdTable(statement);
        if (!table.isEmpty()) {
            if (order)
                order->append(table);
        } else {
            table = indexedTable(statement);
        }
        if (!table.isEmpty())
            byTable[table.toLower()].append(statement);
    }
    return byTable;
}

QString columnType(HDbColumn::Kind kind, bool postgres)
{
    switch (kind) {
    case HDbColumn::Integer:
        return postgres ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER");
    case HDbColumn::Real:
        return postgres ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL");
    case HDbColumn::Blob:
        return postgres ? QStringLiteral("BYTEA") : QStringLiteral("BLOB");
    case HDbColumn::Text:
        break;
    }
    return QStringLiteral("TEXT");
}

} // namespace

namespace HDbCopyDetail {

QStringList Copier::targetTables() const
{
    return m_target.getSqlDatabase().tables(QSql::Tables);
}

// Refuses a target holding product data unless it is to be replaced, empties it then,
// and creates the tables it lacks.
bool Copier::prepareTarget()
{
    QHash<QString, QString> existing = tablesByLowerName(targetTables());

    // The target's own product tables: the schema's and the detail tables its series name.
    QStringList productTables;
    for (const QString &table : HDbCopy::schemaTables()) {
        if (existing.contains(table.toLower()))
            productTables.append(existing.value(table.toLower()));
    }
    QSet<QString> fromSource;
    for (const TablePlan &plan : qAsConst(m_plans)) {
        fromSource.insert(plan.targetName.toLower());
        if (plan.detail && existing.contains(plan.targetName.toLower()))
            productTables.append(existing.value(plan.targetName.toLower()));
    }
    QStringList staleDetails;
    const QString targetSeries = existing.value(kSeriesTable);
    if (!targetSeries.isEmpty()) {
        const QSqlRecord record = m_target.getSqlDatabase().record(targetSeries);
        if (record.indexOf(kTableNameColumn) >= 0) {
            const QStringList named =
                m_target.getTableColumns(quoted(targetSeries), kTableNameColumn, QString(), true);
            for (const QString &name : named) {
                const QString actual = existing.value(name.toLower());
                if (actual.isEmpty() || productTables.contains(actual))
                    continue;
                productTables.append(actual);
                if (!fromSource.contains(name.toLower()))
                    staleDetails.append(actual);
            }
        }
    }

    QStringList filled;
    for (const QString &table : qAsConst(productTables)) {
        QSqlQuery count =
            m_target.query(QStringLiteral("select count(*) from %1").arg(quoted(table)));
        if (!count.next())
            return fail(QStringLiteral("the target's table %1 cannot be read: %2")
                            .arg(table, m_target.errorString()));
        if (count.value(0).toLongLong() > 0)
            filled.append(table);
    }
    if (!filled.isEmpty() && !m_options.replace) {
        return fail(QStringLiteral("the target already holds product data (%1%2); "
                                   "give --replace to overwrite it")
                        .arg(filled.mid(0, 5).join(QStringLiteral(", ")),
                             filled.size() > 5 ? QStringLiteral(", ...") : QString()));
    }
    if (m_options.replace) {
        // Rows go, tables stay: the grants a server's administrator gave on them remain.
        for (const QString &table : qAsConst(productTables)) {
            if (staleDetails.contains(table))
                continue;
            if (!m_target.exec(QStringLiteral("delete from %1").arg(quoted(table))))
                return fail(QStringLiteral("the target's table %1 cannot be emptied: %2")
                                .arg(table, m_target.errorString()));
        }
        if (!staleDetails.isEmpty())
            m_report->notes.append(
                QStringLiteral("left %1 detail table(s) of the target that no copied series "
                               "names (%2)")
                    .arg(staleDetails.size())
                    .arg(staleDetails.mid(0, 5).join(QStringLiteral(", "))));
    }

    const QHash<QString, QStringList> schema =
        schemaStatementsByTable(HProductSchema::script(backendOf(m_target)));
    // Every schema table is created, also those the source lacks, so that the target
    // opens in the tool.
    QVector<QPair<QString, QStringList>> creations;
    for (const QString &table : HDbCopy::schemaTables()) {
        if (!existing.contains(table.toLower()))
            creations.append({table, schema.value(table.toLower())});
    }
    for (const TablePlan &plan : qAsConst(m_plans)) {
        if (plan.detail && !existing.contains(plan.targetName.toLower()))
            creations.append({plan.targetName, detailTableStatements(plan)});
    }
    if (!createTables(creations))
        return false;

    existing = tablesByLowerName(targetTables());
    const QHash<QString, QStringList> targetColumns = columnsOfTables();
    for (TablePlan &plan : m_plans) {
        plan.targetName = existing.value(plan.targetName.toLower(), plan.targetName);
        const QStringList names = targetColumns.value(plan.targetName);
        for (const HDbColumn &column : qAsConst(plan.columns)) {
            QString actual;
            for (int i = 0; i < names.size() && actual.isEmpty(); ++i) {
                if (names.at(i).compare(column.name, Qt::CaseInsensitive) == 0)
                    actual = names.at(i);
            }
            if (actual.isEmpty())
                return fail(QStringLiteral("the target's table %1 has no column %2, which "
                                           "the source's has")
                                .arg(plan.targetName, column.name));
            plan.targetColumns.append(actual);
        }
    }
    return true;
}

// Runs the statements that create the tables. A server gets them in groups, one round
// trip for many tables (a range has thousands of detail tables); SQLite one by one.
bool Copier::createTables(const QVector<QPair<QString, QStringList>> &creations)
{
    const int perTrip = isPostgres(m_target) ? 100 : 1;
    for (int first = 0; first < creations.size(); first += perTrip) {
        const int last = qMin(first + perTrip, int(creations.size())) - 1;
        QStringList statements;
        for (int i = first; i <= last; ++i)
            statements += creations.at(i).second;
        // SQLite runs the first statement of a text only.
        if (perTrip > 1 && !statements.isEmpty())
            statements = QStringList{statements.join(QStringLiteral(";\n"))};
        for (const QString &statement : qAsConst(statements)) {
            if (m_target.exec(statement))
                continue;
            const QString tables =
                first == last ? creations.at(first).first
                              : QStringLiteral("%1 ... %2")
                                    .arg(creations.at(first).first, creations.at(last).first);
            return fail(QStringLiteral("the table(s) %1 cannot be created in the target: %2")
                            .arg(tables, m_target.errorString()));
        }
    }
    return true;
}

// Every table's columns in their order, read at once; by the target's table names.
QHash<QString, QStringList> Copier::columnsOfTables()
{
    QHash<QString, QStringList> result;
    if (isPostgres(m_target)) {
        QSqlQuery columns = m_target.query(QStringLiteral(
            "select c.relname, a.attname from pg_attribute a join pg_class c on c.oid = "
            "a.attrelid where c.relnamespace = current_schema()::regnamespace and "
            "c.relkind in ('r', 'p') and a.attnum > 0 and not a.attisdropped order by "
            "c.relname, a.attnum"));
        while (columns.next())
            result[columns.value(0).toString()].append(columns.value(1).toString());
        if (!result.isEmpty())
            return result;
    }
    for (const TablePlan &plan : qAsConst(m_plans)) {
        const QSqlRecord record = m_target.getSqlDatabase().record(plan.targetName);
        QStringList names;
        for (int i = 0; i < record.count(); ++i)
            names.append(record.fieldName(i));
        result.insert(plan.targetName, names);
    }
    return result;
}

// The layout of the tool's detail tables where the source's fits in it, else the
// columns the source has.
QStringList Copier::detailTableStatements(const TablePlan &plan) const
{
    QStringList standard;
    for (const QString &statement :
         HProductSchema::detailTableStatements(backendOf(m_target), QStringLiteral("t"))) {
        if (createdTable(statement).isEmpty())
            continue;
        static const QRegularExpression column(QStringLiteral("^\\s*\\[?\"?([A-Za-z_]+)"),
                                               QRegularExpression::MultilineOption);
        const QString body = statement.section(QLatin1Char('('), 1);
        auto it = column.globalMatch(body);
        while (it.hasNext())
            standard.append(it.next().captured(1).toLower());
    }
    bool fits = !standard.isEmpty();
    for (const HDbColumn &c : plan.columns)
        fits = fits && standard.contains(c.name.toLower());
    if (fits)
        return HProductSchema::detailTableStatements(backendOf(m_target), plan.targetName);
    QStringList definitions;
    for (const HDbColumn &c : plan.columns)
        definitions.append(quoted(c.name) + QLatin1Char(' ') +
                           columnType(c.kind, isPostgres(m_target)));
    return {QStringLiteral("create table %1 (%2)")
                .arg(quoted(plan.targetName), definitions.join(QStringLiteral(", ")))};
}

} // namespace HDbCopyDetail

QStringList HDbCopy::schemaTables()
{
    QStringList order;
    schemaStatementsByTable(HProductSchema::script(QStringLiteral("sqlite")), &order);
    return order;
}
