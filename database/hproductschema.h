#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

// The part of the product database that the editors read and write: creating it (tests,
// the demo generator) and checking an existing database against it (start-up).
class HProductSchema
{
public:
    struct RuleTable
    {
        QString table;        // e.g. "__rule_connect_ratio"
        QString displayName;  // e.g. "ConnectRatio"
        QString seriesColumn; // column of __product_series naming an entry, or empty
    };

    // The nine rule tables in the order the editors list them.
    static const QVector<RuleTable> &ruleTables();

    // The schema script of a back end ("sqlite" or "postgresql", see
    // HDatabase::backendName()): statements separated by ";" at the end of a line.
    static QString script(const QString &backend);
    // Creates every table of the schema in an empty database (SQLite or PostgreSQL, by
    // the connection's driver), in one transaction.
    static bool create(QSqlDatabase db, QString *error = nullptr);
    // Creates one series' detail table (model, type and technical columns).
    static bool createDetailTable(QSqlDatabase db, const QString &name, QString *error = nullptr);
    // The statements that make a detail table `name` on a back end ("sqlite" or
    // "postgresql"), for callers that run them inside a transaction of their own; empty
    // for a name that cannot stand in brackets.
    static QStringList detailTableStatements(const QString &backend, const QString &name);

    // What the database lacks: "table" for a missing table, "table.column" for a missing
    // column; empty when the database has everything the editors need.
    static QStringList missing(QSqlDatabase db);

    // Splits a script into statements at ";" closing a line; "--" comment lines are dropped.
    static QStringList statements(const QString &script);
};
