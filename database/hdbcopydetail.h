// What the files of the database copy share (hdbcopy.cpp: the copy loop and its check;
// hdbcopytarget.cpp: preparing the target and creating its tables; hdbcopyrows.cpp: reading
// rows and their digest). Not for other callers.
#pragma once

#include "hdbcopy.h"

#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class HDatabase;

namespace HDbCopyDetail {

inline const QString kSeriesTable = QStringLiteral("__product_series");
inline const QString kTableNameColumn = QStringLiteral("table_name");

bool isPostgres(const HDatabase &db);
// "postgresql" or "sqlite": the schema script the target takes.
QString backendOf(const HDatabase &db);
// A name in brackets, as the dialect layer rewrites it.
QString quoted(const QString &name);
QString columnList(const QStringList &names);
// Which tables of the database a lower-case name stands for.
QHash<QString, QString> tablesByLowerName(const QStringList &tables);
// Reads a table of an open database row by row.
bool readSqlRows(HDatabase &db, const QString &table, const QStringList &columns,
                 const HDbCopySource::RowSink &sink, QString *error);

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

// One copy: plans the tables from the source, prepares the target, copies and checks the
// rows, all in one transaction of the target.
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

    bool run(QString *error);

private:
    bool fail(const QString &text);
    bool planSource();
    QStringList targetTables() const;
    bool prepareTarget();
    bool createTables(const QVector<QPair<QString, QStringList>> &creations);
    QHash<QString, QStringList> columnsOfTables();
    QStringList detailTableStatements(const TablePlan &plan) const;
    int batchRows(int columns) const;
    QString insertSql(const TablePlan &plan, int rows) const;
    QString unstorable(const QVariant &value) const;
    bool copyTables();
    bool verify();
    bool resetSequences();

    HDbCopySource &m_source;
    HDatabase &m_target;
    const HDbCopy::Options &m_options;
    HDbCopy::Report *m_report;
    QString *m_error = nullptr;
    QVector<TablePlan> m_plans;
    qint64 m_totalRows = 0;
    qint64 m_doneRows = 0;
};

} // namespace HDbCopyDetail
