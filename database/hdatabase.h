#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <functional>
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

    enum class Backend { None, Sqlite, PostgreSql, Odbc };

    // Opens the product database: a PostgreSQL server named by a URL
    // (postgresql://user@host:port/dbname?sslmode=require, also postgres://), or a file:
    // SQLite by its header, an Access (Jet/ACE) file through ODBC where an Access driver is
    // installed. Never creates a missing file or database.
    // A server's password never comes from the URL (one that holds a password is refused)
    // nor from `password`, which is the Access file's: libpq finds it (PGPASSWORD,
    // ~/.pgpass, service files), else the prompt set with setPasswordPrompt() is asked.
    // Query parameters of the URL other than the password go to libpq as they are.
    bool openDatabase(const QString &location, const QString &password);
    // Whether a location names a database server rather than a file.
    static bool isServerLocation(const QString &location);
    // Asked for the server's password when the server wants one and libpq found none.
    // Returns false when the user gave none. Unset (the default), no one is asked.
    using PasswordPrompt = std::function<bool(const QString &location, QString *password)>;
    static void setPasswordPrompt(PasswordPrompt prompt);

    Backend backend() const { return m_backend; }
    // "sqlite", "postgresql", "odbc", or empty when not open: for messages and tools.
    QString backendName() const;

    // Whether this connection's user may insert, update and delete rows of every table
    // named; false with the reason in *why (e.g. "the database user reader may only read
    // __rule_limit", "the file ... is read-only").
    bool mayWrite(const QStringList &tables, QString *why = nullptr);
    // After rows were inserted with explicit values in identity ("ID") columns (a copy),
    // the next generated value of every table follows its largest one, as on SQLite.
    // Nothing to do on other back ends.
    bool syncIdentities(QString *error = nullptr);
    static bool syncIdentities(QSqlDatabase db, QString *error = nullptr);
    // How long a write waits for a lock another connection holds before it fails (the
    // start value is PM_BUSY_TIMEOUT_MS, else 10 s).
    bool setLockTimeout(int milliseconds);
    // Whether the server connection broke (the server stopped, the session was ended).
    bool connectionLost() const;
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
    // Begins a transaction. A server connection found broken here is opened again once
    // (never in the middle of a transaction), so that a save can be retried after the
    // server came back.
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
    // ("[column]" names, "?" places). The one place where back ends differ. On PostgreSQL
    // every name is lower case, as unquoted names fold there and as the PostgreSQL schema
    // spells them, so that names match whatever their case, as they do on SQLite: a
    // [Name] becomes name (quoted when it is not a plain name, e.g. "model name"). The
    // one exception is the identity column "ID", which keeps its capitals (bare or in
    // brackets) so that rows read back carry the same column names as on SQLite.
    QString dialectSql(const QString &sql) const;
    static QString dialectSql(const QString &sql, Backend backend);

    // While one lives, failed statements are not logged: for a statement expected to fail at
    // times (the history insert before the history table exists), whose caller handles it.
    class QuietFailures
    {
    public:
        explicit QuietFailures(HDatabase *db)
            : m_db(db)
        {
            ++m_db->m_quiet;
        }
        ~QuietFailures() { --m_db->m_quiet; }
        QuietFailures(const QuietFailures &) = delete;
        QuietFailures &operator=(const QuietFailures &) = delete;

    private:
        HDatabase *m_db;
    };

    // Used by HSqlStatement: prepare on this connection, and run counted.
    bool prepareStatement(QSqlQuery &query, const QString &sql, QString *error);
    bool runStatement(QSqlQuery &query, const QString &sql, QString *error);

private:
    void count(const QString &sql);

    void setError(const QString &text);
    QString notOpenText() const;
    bool openSqlite(const QString &file);
    bool openAccess(const QString &file, const QString &password);
    bool openPostgreSql(const QString &url);
    bool connectPostgreSql(QString *error);
    // Opens the server connection anew after it broke; false when it cannot.
    bool reconnect();
    // A read that failed on a broken connection outside a transaction, the connection
    // opened again: run it once more.
    bool mayReconnect(const QString &sql);
    // A read on a server connection that broke earlier tries to open it again first.
    void reopenForRead(const QString &sql);
    // The statement failed: names a lost connection as such.
    void setStatementError(const QString &text);

    struct WorkbookSession;
    // Writes a changed workbook back from its temporary database (closed on entry);
    // false with the error set when that failed.
    bool writeBackWorkbook();
    std::unique_ptr<WorkbookSession> m_workbook;

    QString m_connectionName;
    QString m_fileName;
    QString m_error;
    bool m_closed = false; // closed after being open: statements say "closed"
    Backend m_backend = Backend::None;
    bool m_inTransaction = false;
    int m_quiet = 0;
    // The server connection's parameters, kept for reconnecting; the password only as
    // long as the handle lives, never written anywhere.
    struct ServerParameters
    {
        QString host, user, database, options, password;
        int port = -1;
    } m_server;
    quint64 m_statements = 0;
    quint64 m_writes = 0;
};
