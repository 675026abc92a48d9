#pragma once

#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

class HDatabase;

// One prepared statement on an HDatabase connection. Values are bound to "?" places, never
// spliced into the text; every execution goes through the connection, which counts it and
// keeps its error text. Read rows with next() and value() like a QSqlQuery.
//
//     HSqlStatement update(db, "update __product_series set [rule_limit] = ? where [ID] = ?");
//     update.bind(0, name).bind(1, id);
//     if (!update.exec())
//         return update.errorString();
class HSqlStatement
{
public:
    HSqlStatement(HDatabase *db, const QString &sql);

    bool isPrepared() const { return m_prepared; }
    HSqlStatement &bind(int position, const QVariant &value);
    // Runs the statement with the values bound now. False (see errorString()) when it was not
    // prepared or the database refused it.
    bool exec();
    bool next() { return m_query.next(); }
    QVariant value(int column) const { return m_query.value(column); }
    QVariant value(const QString &column) const { return m_query.value(column); }
    QSqlRecord record() const { return m_query.record(); }
    int numRowsAffected() const { return m_query.numRowsAffected(); }
    // Releases the result set; the statement stays prepared.
    void finish() { m_query.finish(); }
    QString errorString() const { return m_error; }
    const QString &sql() const { return m_sql; }

    // The condition that a column still holds a value read earlier: "[column] = ?" with the
    // value appended to *values, or "[column] is null" for a NULL, which equals nothing. A
    // save puts these in its WHERE so that a row another user changed meanwhile matches none.
    static QString holds(const QString &column, const QVariant &value, QVariantList *values);
    // A stored value as a message shows it: NULL, or the value in quotes.
    static QString shownValue(const QVariant &value);

private:
    HDatabase *m_db;
    QString m_sql;
    QSqlQuery m_query;
    bool m_prepared = false;
    QString m_error;
};
