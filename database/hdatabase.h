#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <memory>

// One connection: the product database, or a workbook opened as a database.
//
// Every value is bound to a "?" of a prepared statement (HSqlStatement), never spliced into
// the text; the statement patterns themselves stay whole in the callers so that they can be
// grepped.
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
    // Opens a workbook (.xls or .xlsx, told apart by content): every sheet becomes a table of
    // a private temporary SQLite database (first row = column names, every cell as text),
    // the rows streamed from the workbook reader.
    // When the handle is closed or destroyed after a change, the workbook is written back
    // in the format its extension names (the format it was read in for other names),
    // replacing the file atomically. The temporary database is a file of its own, so
    // closing getSqlDatabase() directly loses nothing: committed changes are found by the
    // file's change counter when closeDatabase() or the destructor runs.
    // The second argument is unused and kept for callers that pass it.
    bool openExcelDatabase(const QString &file, const QString &second);
    // Makes the next close write the workbook even without a change, e.g. to give a copy
    // of an .xls file the format its .xlsx name asks for.
    void markWorkbookChanged();
    // Harmless on a handle that was never opened. For a changed workbook this writes the
    // file back; returns false (see errorString()) when that write failed, leaving the
    // previous file as it was. Uncommitted changes are dropped.
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
    // What kind of database is open, for the user ("SQLite", "Access"); empty when closed.
    QString backEndName() const;

    // Statements run on this connection since it was opened (or the counts reset): all of
    // them, and those that write (insert, update, delete, and schema changes). Transaction
    // begin, commit and rollback are not statements.
    quint64 statementCount() const { return m_statements; }
    quint64 writeStatementCount() const { return m_writes; }
    void resetStatementCounts();

    // " ORDER BY ..." that returns a table's rows in the order they were inserted, where the
    // back end can say it (SQLite); empty elsewhere.
    QString insertionOrder() const;

    // The statement text this back end runs for a text written as the tool writes it
    // ("[column]" names, "?" places). The one place where back ends differ.
    QString dialectSql(const QString &sql) const;

    // Used by HSqlStatement: prepare on this connection, and run counted.
    bool prepareStatement(QSqlQuery &query, const QString &sql, QString *error);
    bool runStatement(QSqlQuery &query, const QString &sql, QString *error);

private:
    void count(const QString &sql);

    void setError(const QString &text);
    QString notOpenText() const;
    bool openSqlite(const QString &file);
    bool openAccess(const QString &file, const QString &password);

    struct WorkbookSession;
    std::unique_ptr<WorkbookSession> m_workbook;

    QString m_connectionName;
    QString m_fileName;
    QString m_error;
    bool m_closed = false; // closed after being open: statements say "closed"
    quint64 m_statements = 0;
    quint64 m_writes = 0;
};
