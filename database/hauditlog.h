#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class HDatabase;

// One value a save changes: the history keeps one row of this per changed value, and the
// Changes view lists the same rows before the save. A row added has no old value, a row
// removed no new one (null QVariants).
struct HAuditEntry
{
    QString table;  // the database table written
    QString series; // the series the row belongs to, as the user knows it, for filtering
    QString rowKey; // what names the row ("ODU-12 / IDU-7", a model code, a rule name)
    QString column; // the column changed; for rows added or removed whole, "(row)"
    QVariant oldValue;
    QVariant newValue;
};

// The history of saves, kept in the product database itself (table maintainer_audit, made
// by the tool on the first save that needs it, on every back end).
class HAuditLog
{
public:
    static const QString &tableName();

    // Writes the entries in one transaction of its own, after the save they describe was
    // committed: the table is created first where it is missing. False with the reason in
    // *error when the database refused (read-only rights, a full disk): the save stands.
    static bool append(HDatabase *db, const QVector<HAuditEntry> &entries,
                       QString *error = nullptr);

    // Who saves on a file database: the operating-system login. On a server the history
    // names the server's own user (current_user) instead.
    static QString loginName();
    static QString hostName();

    // One stored row, as the History window shows it.
    struct Row
    {
        QDateTime time; // UTC
        QString user, host;
        HAuditEntry entry;
    };
    struct Filter
    {
        QString table;  // exact; empty for every table
        QString series; // part of the series name; empty for all
        QString user;   // exact; empty for every user
        QDateTime from; // inclusive; invalid for no bound
        QDateTime to;   // exclusive; invalid for no bound
        int limit = 10000;
    };
    // The rows the filter selects, newest first. An absent table reads as no rows (not an
    // error); false with the reason when the read failed.
    static bool read(HDatabase *db, const Filter &filter, QVector<Row> *rows,
                     QString *error = nullptr);
    // The tables ("table") or the users ("user") the history names, sorted; none before the
    // table exists.
    static bool distinctValues(HDatabase *db, const QString &column, QStringList *values,
                               QString *error = nullptr);
    // Whether the table exists (the History window offers nothing before the first save).
    static bool exists(HDatabase *db);
};
