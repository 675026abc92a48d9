#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

// One connection: the product database, or a workbook opened as a database.
//
// Every text value spliced into a statement goes through escape() (or is bound); the
// statement patterns themselves stay whole in the callers so that they can be grepped.
class HDatabase
{
public:
    HDatabase();
    ~HDatabase();
    HDatabase(const HDatabase &) = delete;
    HDatabase &operator=(const HDatabase &) = delete;

    // Opens the product database file: SQLite by its header, an Access (Jet/ACE) file
    // through ODBC where an Access driver is installed. Never creates a missing file.
    bool openDatabase(const QString &file, const QString &password);
    // Opens an ODBC data source given by its connection string (the Access path uses it;
    // on Linux it is exercised with the SQLite ODBC driver).
    bool openOdbc(const QString &connectionString);
    // Opens a workbook (.xls or .xlsx): its sheets become tables of a private temporary
    // database; the workbook is written back when the handle is closed after a change.
    // The second argument is unused and kept for callers that pass it.
    bool openExcelDatabase(const QString &file, const QString &second);
    // Harmless on a handle that was never opened. For a changed workbook this writes the
    // file back; returns false (see errorString()) when that write failed.
    bool closeDatabase();
    bool isOpen() const;

    QSqlDatabase getSqlDatabase() const;
    // Executed and positioned before its first row; a failed statement yields no rows and
    // leaves its error in errorString().
    QSqlQuery query(const QString &sql);
    bool exec(const QString &sql);
    bool transaction();
    bool commit();
    bool rollback();

    // Values of one column as text in the rows the condition selects (an SQL condition
    // without "where"; empty selects all). With flag true each value appears once, in the
    // order first seen; with false every row gives one entry. NULLs are left out.
    QStringList getTableColumns(const QString &table, const QString &column,
                                const QString &condition, bool flag);

    QString fileName() const;
    QString errorString() const;

    // Doubles single quotes so that a text can stand between '…' in a statement.
    static QString escape(const QString &text);

private:
    void setError(const QString &text);
    QString notOpenText() const;
    bool openSqlite(const QString &file);
    bool openAccess(const QString &file, const QString &password);

    QString m_connectionName;
    QString m_fileName;
    QString m_error;
};
