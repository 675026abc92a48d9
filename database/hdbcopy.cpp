#include "hdbcopy.h"

#include "hdatabase.h"
#include "hproductschema.h"
#include "hsqlstatement.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtEndian>

namespace {

const QString kSeriesTable = QStringLiteral("__product_series");
const QString kTableNameColumn = QStringLiteral("table_name");

bool isPostgres(const HDatabase &db)
{
    return db.getSqlDatabase().driverName() == QLatin1String("QPSQL");
}

QString backendOf(const HDatabase &db)
{
    return isPostgres(db) ? QStringLiteral("postgresql") : QStringLiteral("sqlite");
}

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

QString quoted(const QString &name)
{
    return QLatin1Char('[') + name + QLatin1Char(']');
}

QString columnList(const QStringList &names)
{
    QStringList list;
    for (const QString &name : names)
        list.append(quoted(name));
    return list.join(QStringLiteral(", "));
}

// What cannot stand as a table name in a statement on every back end.
QString badTableName(const QString &name, const HDatabase &target)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("an empty table name");
    for (const QChar c : name) {
        if (c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('"') ||
            c.unicode() < 0x20)
            return QStringLiteral(
                       "the table name \"%1\" holds a character a table name cannot have")
                .arg(name);
    }
    // PostgreSQL cuts longer names, so two long names could land in one table.
    if (isPostgres(target) && name.toUtf8().size() > 63)
        return QStringLiteral("the table name \"%1\" is longer than PostgreSQL's 63 bytes")
            .arg(name);
    return QString();
}

HDbColumn::Kind kindOf(const QSqlField &field)
{
    switch (field.type()) {
    case QVariant::Bool:
    case QVariant::Int:
    case QVariant::UInt:
    case QVariant::LongLong:
    case QVariant::ULongLong:
        return HDbColumn::Integer;
    case QVariant::Double:
        return HDbColumn::Real;
    case QVariant::ByteArray:
        return HDbColumn::Blob;
    default:
        return HDbColumn::Text;
    }
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

// Reads a table of an open database row by row.
bool readSqlRows(HDatabase &db, const QString &table, const QStringList &columns,
                 const HDbCopySource::RowSink &sink, QString *error)
{
    QSqlQuery rows =
        db.query(QStringLiteral("select %1 from %2").arg(columnList(columns), quoted(table)));
    if (!rows.isActive()) {
        *error = QStringLiteral("%1 cannot be read: %2").arg(table, db.errorString());
        return false;
    }
    QVector<QVariant> row(columns.size());
    while (rows.next()) {
        for (int i = 0; i < columns.size(); ++i)
            row[i] = rows.value(i);
        if (!sink(row))
            return false;
    }
    if (rows.lastError().isValid()) {
        *error = QStringLiteral("%1 cannot be read: %2").arg(table, rows.lastError().text());
        return false;
    }
    return true;
}

// Which tables of the database a lower-case name stands for.
QHash<QString, QString> tablesByLowerName(const QStringList &tables)
{
    QHash<QString, QString> result;
    for (const QString &table : tables)
        result.insert(table.toLower(), table);
    return result;
}

struct TablePlan
{
    QString sourceName;
    QString targetName;
    bool detail = false;
    QVector<HDbColumn> columns;
    QStringList targetColumns; // target spelling of each source column
    qint64 sourceRows = -1;
    HRowDigest digest;
    qint64 copied = 0;
};

class TargetTransaction
{
public:
    explicit TargetTransaction(HDatabase &db)
        : m_db(db)
    {}
    ~TargetTransaction()
    {
        if (m_open)
            m_db.rollback();
    }
    bool begin()
    {
        m_open = m_db.transaction();
        return m_open;
    }
    bool commit()
    {
        m_open = false;
        return m_db.commit();
    }

private:
    HDatabase &m_db;
    bool m_open = false;
};

class Copier
{
public:
    Copier(HDbCopySource &source, HDatabase &target, const HDbCopy::Options &options,
           HDbCopy::Report *report)
        : m_source(source)
        , m_target(target)
        , m_options(options)
        , m_report(report)
    {}

    bool run(QString *error)
    {
        m_error = error;
        if (!planSource())
            return false;
        TargetTransaction transaction(m_target);
        if (!transaction.begin())
            return fail(QStringLiteral("the target cannot start a transaction: %1")
                            .arg(m_target.errorString()));
        if (!prepareTarget() || !copyTables() || !verify() || !resetSequences())
            return false;
        if (!transaction.commit())
            return fail(QStringLiteral("the target refused to commit the copy: %1")
                            .arg(m_target.errorString()));
        for (const TablePlan &plan : qAsConst(m_plans)) {
            m_report->tables.append({plan.targetName, plan.copied, plan.digest.toString()});
            m_report->rows += plan.copied;
        }
        return true;
    }

private:
    bool fail(const QString &text)
    {
        *m_error = text;
        // Every table made or filled in the one transaction holds a lock until it ends.
        if (isPostgres(m_target) && text.contains(QLatin1String("out of shared memory")))
            *m_error += QStringLiteral(" (the copy locks every table it creates until it "
                                       "commits: raise the server's max_locks_per_transaction)");
        return false;
    }

    // Which tables the source has, their columns, and the detail tables its series name.
    bool planSource()
    {
        QString error;
        const QStringList names = m_source.tableNames(&error);
        if (!error.isEmpty())
            return fail(QStringLiteral("the source's tables cannot be listed: %1").arg(error));
        const QHash<QString, QString> sourceTables = tablesByLowerName(names);

        const QStringList schema = HDbCopy::schemaTables();
        QSet<QString> schemaLower;
        for (const QString &table : schema) {
            schemaLower.insert(table.toLower());
            const QString actual = sourceTables.value(table.toLower());
            if (actual.isEmpty())
                continue;
            TablePlan plan;
            plan.sourceName = actual;
            plan.targetName = table;
            m_plans.append(plan);
        }
        if (m_plans.isEmpty())
            return fail(QStringLiteral("the source holds no product tables (none of %1)")
                            .arg(schema.join(QStringLiteral(", "))));

        QStringList details;
        const QString series = sourceTables.value(kSeriesTable);
        if (!series.isEmpty()) {
            QVector<HDbColumn> columns;
            if (!m_source.columns(series, &columns, &error))
                return fail(error);
            int nameColumn = -1;
            for (int i = 0; i < columns.size(); ++i) {
                if (columns.at(i).name.compare(kTableNameColumn, Qt::CaseInsensitive) == 0)
                    nameColumn = i;
            }
            if (nameColumn >= 0) {
                QSet<QString> seen;
                const bool read = m_source.readRows(
                    series, {columns.at(nameColumn)},
                    [&](const QVector<QVariant> &row) {
                        const QString name = row.at(0).toString();
                        if (!name.isEmpty() && !seen.contains(name.toLower())) {
                            seen.insert(name.toLower());
                            details.append(name);
                        }
                        return true;
                    },
                    &error);
                if (!read)
                    return fail(error);
            }
        }
        for (const QString &name : qAsConst(details)) {
            if (schemaLower.contains(name.toLower())) {
                m_report->notes.append(
                    QStringLiteral("a series names the product table %1 as its detail table; "
                                   "it is copied once, as a product table")
                        .arg(name));
                continue;
            }
            const QString actual = sourceTables.value(name.toLower());
            if (actual.isEmpty()) {
                m_report->notes.append(
                    QStringLiteral("the detail table %1 named by a series is not in the source")
                        .arg(name));
                continue;
            }
            const QString bad = badTableName(name, m_target);
            if (!bad.isEmpty())
                return fail(
                    QStringLiteral("a series names a detail table that cannot be copied: %1")
                        .arg(bad));
            TablePlan plan;
            plan.sourceName = actual;
            plan.targetName = name;
            plan.detail = true;
            m_plans.append(plan);
        }

        for (TablePlan &plan : m_plans) {
            if (!m_source.columns(plan.sourceName, &plan.columns, &error))
                return fail(error);
            plan.sourceRows = m_source.rowCount(plan.sourceName);
            if (plan.sourceRows > 0)
                m_totalRows += plan.sourceRows;
        }
        return true;
    }

    QStringList targetTables() const { return m_target.getSqlDatabase().tables(QSql::Tables); }

    // Refuses a target holding product data unless it is to be replaced, empties it then,
    // and creates the tables it lacks.
    bool prepareTarget()
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
                const QStringList named = m_target.getTableColumns(
                    quoted(targetSeries), kTableNameColumn, QString(), true);
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
    bool createTables(const QVector<QPair<QString, QStringList>> &creations)
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
    QHash<QString, QStringList> columnsOfTables()
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
    QStringList detailTableStatements(const TablePlan &plan) const
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

    int batchRows(int columns) const
    {
        if (m_options.batchRows > 0)
            return m_options.batchRows;
        // Under the 999 bound values an SQLite statement has taken since ever.
        return qBound(1, 999 / qMax(1, columns), 100);
    }

    QString insertSql(const TablePlan &plan, int rows) const
    {
        QStringList marks;
        for (int i = 0; i < plan.targetColumns.size(); ++i)
            marks.append(QStringLiteral("?"));
        const QString one = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        QStringList all;
        for (int i = 0; i < rows; ++i)
            all.append(one);
        return QStringLiteral("insert into %1 (%2) values %3")
            .arg(quoted(plan.targetName), columnList(plan.targetColumns),
                 all.join(QLatin1Char(',')));
    }

    // What a value must not hold on this target; empty when it may be stored.
    QString unstorable(const QVariant &value) const
    {
        if (isPostgres(m_target) && value.type() == QVariant::String &&
            value.toString().contains(QChar(0)))
            return QStringLiteral("a NUL character, which PostgreSQL text cannot hold");
        return QString();
    }

    bool copyTables()
    {
        for (int t = 0; t < m_plans.size(); ++t) {
            TablePlan &plan = m_plans[t];
            const int columns = plan.columns.size();
            const int perBatch = batchRows(columns);
            HSqlStatement full(&m_target, insertSql(plan, perBatch));
            if (!full.isPrepared())
                return fail(QStringLiteral("rows of %1 cannot be inserted into the target: %2")
                                .arg(plan.targetName, full.errorString()));
            std::unique_ptr<HSqlStatement> tail;
            QVector<QVector<QVariant>> batch;
            batch.reserve(perBatch);
            QString failure;

            HDbCopy::Progress progress;
            progress.table = plan.targetName;
            progress.tableIndex = t + 1;
            progress.tableCount = m_plans.size();
            progress.tableRows = plan.sourceRows;
            progress.totalRows = m_totalRows;
            auto report = [&]() {
                progress.rows = plan.copied;
                progress.doneRows = m_doneRows;
                if (m_options.progress)
                    m_options.progress(progress);
            };
            report();

            auto flush = [&]() {
                if (batch.isEmpty())
                    return true;
                HSqlStatement *statement = &full;
                if (batch.size() != perBatch) {
                    tail =
                        std::make_unique<HSqlStatement>(&m_target, insertSql(plan, batch.size()));
                    statement = tail.get();
                }
                int position = 0;
                for (const QVector<QVariant> &row : qAsConst(batch)) {
                    for (const QVariant &value : row)
                        statement->bind(position++, value);
                }
                if (!statement->exec()) {
                    failure = QStringLiteral("rows %1 to %2 of %3 cannot be inserted into the "
                                             "target: %4")
                                  .arg(plan.copied + 1)
                                  .arg(plan.copied + batch.size())
                                  .arg(plan.targetName, statement->errorString());
                    return false;
                }
                plan.copied += batch.size();
                m_doneRows += batch.size();
                batch.clear();
                report();
                return true;
            };

            QString error;
            const bool read = m_source.readRows(
                plan.sourceName, plan.columns,
                [&](const QVector<QVariant> &row) {
                    for (int i = 0; i < row.size(); ++i) {
                        const QString why = unstorable(row.at(i));
                        if (!why.isEmpty()) {
                            failure = QStringLiteral("row %1 of %2, column %3, holds %4")
                                          .arg(plan.copied + batch.size() + 1)
                                          .arg(plan.sourceName, plan.columns.at(i).name, why);
                            return false;
                        }
                    }
                    plan.digest.add(row);
                    batch.append(row);
                    return batch.size() < perBatch || flush();
                },
                &error);
            if (!failure.isEmpty())
                return fail(failure);
            if (!read)
                return fail(error.isEmpty()
                                ? QStringLiteral("%1 cannot be read").arg(plan.sourceName)
                                : error);
            if (!flush())
                return fail(failure);
        }
        return true;
    }

    // Reads every copied table back inside the transaction: a difference rolls it all back.
    bool verify()
    {
        for (const TablePlan &plan : qAsConst(m_plans)) {
            HRowDigest digest;
            QString error;
            if (!readSqlRows(
                    m_target, plan.targetName, plan.targetColumns,
                    [&](const QVector<QVariant> &row) {
                        digest.add(row);
                        return true;
                    },
                    &error))
                return fail(QStringLiteral("the copy cannot be checked: %1").arg(error));
            if (digest.rows() != plan.digest.rows())
                return fail(QStringLiteral("the copy of %1 has %2 rows, the source %3")
                                .arg(plan.targetName)
                                .arg(digest.rows())
                                .arg(plan.digest.rows()));
            if (digest != plan.digest)
                return fail(QStringLiteral("the copy of %1 differs from the source (checksum "
                                           "%2, source %3)")
                                .arg(plan.targetName, digest.toString(), plan.digest.toString()));
        }
        return true;
    }

    // Identity columns go on numbering after the copied rows, or the tool's next new rule
    // row would collide with a copied one.
    bool resetSequences()
    {
        QString error;
        if (!m_target.syncIdentities(&error))
            return fail(QStringLiteral("the numbering of the copied tables cannot be moved past "
                                       "the copied rows: %1")
                            .arg(error));
        return true;
    }

    HDbCopySource &m_source;
    HDatabase &m_target;
    const HDbCopy::Options &m_options;
    HDbCopy::Report *m_report;
    QString *m_error = nullptr;
    QVector<TablePlan> m_plans;
    qint64 m_totalRows = 0;
    qint64 m_doneRows = 0;
};

} // namespace

// --- HSqlCopySource --------------------------------------------------------------------

HSqlCopySource::HSqlCopySource(HDatabase *db)
    : m_db(db)
{}

HSqlCopySource::~HSqlCopySource()
{
    if (m_inTransaction)
        m_db->rollback();
}

bool HSqlCopySource::begin(QString *error)
{
    if (m_inTransaction)
        return true;
    if (!m_db->transaction()) {
        *error = QStringLiteral("the source cannot start a read transaction: %1")
                     .arg(m_db->errorString());
        return false;
    }
    m_inTransaction = true;
    // One snapshot for all tables, whatever others commit meanwhile.
    if (isPostgres(*m_db) &&
        !m_db->exec(QStringLiteral("set transaction isolation level repeatable read, read only"))) {
        *error = QStringLiteral("the source cannot be read as of one moment: %1")
                     .arg(m_db->errorString());
        return false;
    }
    return true;
}

QStringList HSqlCopySource::tableNames(QString *error)
{
    if (!begin(error))
        return {};
    QStringList tables = m_db->getSqlDatabase().tables(QSql::Tables);
    tables += m_db->getSqlDatabase().tables(QSql::Views);
    return tables;
}

bool HSqlCopySource::columns(const QString &table, QVector<HDbColumn> *columns, QString *error)
{
    columns->clear();
    const QSqlRecord record = m_db->getSqlDatabase().record(table);
    for (int i = 0; i < record.count(); ++i)
        columns->append({record.fieldName(i), kindOf(record.field(i))});
    if (columns->isEmpty()) {
        *error = QStringLiteral("the source's table %1 has no columns that can be read").arg(table);
        return false;
    }
    return true;
}

qint64 HSqlCopySource::rowCount(const QString &table)
{
    QSqlQuery count = m_db->query(QStringLiteral("select count(*) from %1").arg(quoted(table)));
    return count.next() ? count.value(0).toLongLong() : -1;
}

bool HSqlCopySource::readRows(const QString &table, const QVector<HDbColumn> &columns,
                              const RowSink &sink, QString *error)
{
    if (!begin(error))
        return false;
    QStringList names;
    for (const HDbColumn &column : columns)
        names.append(column.name);
    error->clear();
    return readSqlRows(*m_db, table, names, sink, error);
}

// --- HRowDigest ------------------------------------------------------------------------

QByteArray HRowDigest::normalise(const QVariant &value)
{
    if (value.isNull())
        return QByteArrayLiteral("N");
    switch (value.type()) {
    case QVariant::Bool:
        return value.toBool() ? QByteArrayLiteral("V1") : QByteArrayLiteral("V0");
    case QVariant::Int:
    case QVariant::LongLong:
        return 'V' + QByteArray::number(value.toLongLong());
    case QVariant::UInt:
    case QVariant::ULongLong:
        return 'V' + QByteArray::number(value.toULongLong());
    case QVariant::Double: {
        const double number = value.toDouble();
        // An integral number reads the same whether a back end returned it as an integer or
        // a real; otherwise the shortest text that reads back as the same double.
        if (number == double(qint64(number)) && qAbs(number) < 9.0e15)
            return 'V' + QByteArray::number(qint64(number));
        return 'V' + QString::number(number, 'g', QLocale::FloatingPointShortest).toUtf8();
    }
    case QVariant::ByteArray:
        return 'B' + value.toByteArray().toHex();
    default:
        break;
    }
    return 'V' + value.toString().toUtf8();
}

void HRowDigest::add(const QVector<QVariant> &row)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QVariant &value : row) {
        const QByteArray text = normalise(value);
        // The length first, so that no two rows of different values join to the same bytes.
        const quint32 length = qToBigEndian(quint32(text.size()));
        hash.addData(reinterpret_cast<const char *>(&length), sizeof length);
        hash.addData(text);
    }
    const QByteArray digest = hash.result();
    m_sum[0] += qFromBigEndian<quint64>(digest.constData());
    m_sum[1] += qFromBigEndian<quint64>(digest.constData() + 8);
    ++m_rows;
}

QString HRowDigest::toString() const
{
    return QStringLiteral("%1%2")
        .arg(m_sum[0], 16, 16, QLatin1Char('0'))
        .arg(m_sum[1], 16, 16, QLatin1Char('0'));
}

bool HRowDigest::operator==(const HRowDigest &other) const
{
    return m_rows == other.m_rows && m_sum[0] == other.m_sum[0] && m_sum[1] == other.m_sum[1];
}

// --- HDbCopy ---------------------------------------------------------------------------

QStringList HDbCopy::schemaTables()
{
    QStringList order;
    schemaStatementsByTable(HProductSchema::script(QStringLiteral("sqlite")), &order);
    return order;
}

bool HDbCopy::copy(HDbCopySource &source, HDatabase &target, const Options &options, Report *report,
                   QString *error)
{
    Report local;
    Report *out = report ? report : &local;
    *out = Report();
    QString text;
    Copier copier(source, target, options, out);
    const bool ok = copier.run(&text);
    if (error)
        *error = text;
    return ok;
}

bool HDbCopy::createSqliteFile(const QString &path, QString *error)
{
    if (QFileInfo::exists(path)) {
        *error = QStringLiteral("%1 exists already").arg(path);
        return false;
    }
    const QString connection = QStringLiteral("hdbcopy_create_%1").arg(quintptr(&path));
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (db.open()) {
            // Writing the header makes the file a database the tool recognises.
            QSqlQuery header(db);
            ok = header.exec(QStringLiteral("PRAGMA user_version = 0"));
            if (!ok)
                *error = header.lastError().text();
            header.finish();
            db.close();
        } else {
            *error = db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    if (ok && QFileInfo(path).size() == 0) {
        ok = false;
        *error = QStringLiteral("SQLite wrote no header");
    }
    if (!ok)
        QFile::remove(path);
    return ok;
}
