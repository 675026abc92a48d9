// The database copy (product-dbcopy's engine): the copy loop in batches of bound rows, the
// check that reads the copy back, and the entry points of HDbCopy. The target's preparation
// is in hdbcopytarget.cpp, the source reading and the row digest in hdbcopyrows.cpp.
#include "hdbcopy.h"

#include "hdbcopydetail.h"

#include "hdatabase.h"
#include "hsqlstatement.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <memory>

using namespace HDbCopyDetail;

namespace {

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

} // namespace

namespace HDbCopyDetail {

bool isPostgres(const HDatabase &db)
{
    return db.getSqlDatabase().driverName() == QLatin1String("QPSQL");
}

QString backendOf(const HDatabase &db)
{
    return isPostgres(db) ? QStringLiteral("postgresql") : QStringLiteral("sqlite");
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

// Which tables of the database a lower-case name stands for.
QHash<QString, QString> tablesByLowerName(const QStringList &tables)
{
    QHash<QString, QString> result;
    for (const QString &table : tables)
        result.insert(table.toLower(), table);
    return result;
}

bool Copier::run(QString *error)
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

bool Copier::fail(const QString &text)
{
    *m_error = text;
    // Every table made or filled in the one transaction holds a lock until it ends.
    if (isPostgres(m_target) && text.contains(QLatin1String("out of shared memory")))
        *m_error += QStringLiteral(" (the copy locks every table it creates until it "
                                   "commits: raise the server's max_locks_per_transaction)");
    return false;
}

// Which tables the source has, their columns, and the detail tables its series name.
bool Copier::planSource()
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
                QStringLiteral("a series names a detail table that cannot be copied: %1").arg(bad));
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

int Copier::batchRows(int columns) const
{
    if (m_options.batchRows > 0)
        return m_options.batchRows;
    // Under the 999 bound values an SQLite statement has taken since ever.
    return qBound(1, 999 / qMax(1, columns), 100);
}

QString Copier::insertSql(const TablePlan &plan, int rows) const
{
    QStringList marks;
    for (int i = 0; i < plan.targetColumns.size(); ++i)
        marks.append(QStringLiteral("?"));
    const QString one = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    QStringList all;
    for (int i = 0; i < rows; ++i)
        all.append(one);
    return QStringLiteral("insert into %1 (%2) values %3")
        .arg(quoted(plan.targetName), columnList(plan.targetColumns), all.join(QLatin1Char(',')));
}

// What a value must not hold on this target; empty when it may be stored.
QString Copier::unstorable(const QVariant &value) const
{
    if (isPostgres(m_target) && value.type() == QVariant::String &&
        value.toString().contains(QChar(0)))
        return QStringLiteral("a NUL character, which PostgreSQL text cannot hold");
    return QString();
}

bool Copier::copyTables()
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
                tail = std::make_unique<HSqlStatement>(&m_target, insertSql(plan, batch.size()));
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
            return fail(error.isEmpty() ? QStringLiteral("%1 cannot be read").arg(plan.sourceName)
                                        : error);
        if (!flush())
            return fail(failure);
    }
    return true;
}

// Reads every copied table back inside the transaction: a difference rolls it all back.
bool Copier::verify()
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
bool Copier::resetSequences()
{
    QString error;
    if (!m_target.syncIdentities(&error))
        return fail(QStringLiteral("the numbering of the copied tables cannot be moved past "
                                   "the copied rows: %1")
                        .arg(error));
    return true;
}

} // namespace HDbCopyDetail

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
