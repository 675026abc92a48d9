#include "hdatabase.h"

#include "hworkbook.h"
#include "hworkbookdatabase.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>

Q_DECLARE_OPAQUE_POINTER(PGconn *)
Q_DECLARE_METATYPE(PGconn *)

namespace {

QAtomicInt g_connectionCounter;

HDatabase::PasswordPrompt &passwordPrompt()
{
    static HDatabase::PasswordPrompt prompt;
    return prompt;
}

// The wait for a lock another user holds: a second running copy of the tool waits for the
// other's write instead of failing. PM_BUSY_TIMEOUT_MS shortens it where a lock is held on
// purpose (tests).
int lockTimeoutMs()
{
    bool custom = false;
    const int timeoutMs = qEnvironmentVariableIntValue("PM_BUSY_TIMEOUT_MS", &custom);
    return custom && timeoutMs >= 0 ? timeoutMs : 10000;
}

// A value of a libpq connection string: quoted, with quote and backslash escaped.
QString connectionValue(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QString errorText(const QSqlError &error)
{
    QString database = error.databaseText().trimmed();
    // PostgreSQL's "ERROR:  text\nCONTEXT: ...\n(SQLSTATE)": the text is the message.
    for (const QLatin1String severity : {QLatin1String("ERROR:"), QLatin1String("FATAL:")}) {
        if (database.startsWith(severity)) {
            database = database.mid(severity.size()).section(QLatin1Char('\n'), 0, 0).trimmed();
            break;
        }
    }
    const QString driver = error.driverText().trimmed();
    if (!database.isEmpty())
        return database;
    return driver;
}

enum class FileKind { Missing, Unreadable, Empty, Sqlite, Access, Unknown };

FileKind fileKind(const QString &path)
{
    QFileInfo info(path);
    if (!info.exists())
        return FileKind::Missing;
    if (!info.isFile())
        return FileKind::Unknown;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileKind::Unreadable;
    const QByteArray head = file.read(32);
    if (head.isEmpty())
        return FileKind::Empty;
    if (head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return FileKind::Sqlite;
    // Jet 3/4 (.mdb) and ACE (.accdb) files carry their engine name at offset 4.
    const QByteArray engine = head.mid(4, 15);
    if (engine == "Standard Jet DB" || engine == "Standard ACE DB")
        return FileKind::Access;
    return FileKind::Unknown;
}

// SQLite's file change counter (header offset 24): it moves with every committed write
// transaction, whichever connection made it, so it survives the caller closing the
// connection.
quint32 sqliteChangeCounter(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(24))
        return 0;
    const QByteArray bytes = file.read(4);
    if (bytes.size() != 4)
        return 0;
    return (quint32(quint8(bytes[0])) << 24) | (quint32(quint8(bytes[1])) << 16) |
           (quint32(quint8(bytes[2])) << 8) | quint32(quint8(bytes[3]));
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// A name as PostgreSQL is to see it: lower case, as an unquoted name folds; quoted when it
// is not a plain name; "ID", the identity column, with its capitals.
QString postgreSqlName(const QString &name)
{
    if (name.compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("\"ID\"");
    const QString lower = name.toLower();
    bool plain = !lower.isEmpty() && !lower.at(0).isDigit() && lower.at(0) != QLatin1Char('$');
    for (int i = 0; i < lower.size() && plain; ++i)
        plain = lower.at(i) < QChar(0x80) && isWordChar(lower.at(i));
    if (plain)
        return lower;
    return QLatin1Char('"') + QString(lower).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

} // namespace

// A workbook opened as a database: the sheets as read, the temporary database file that
// holds them as tables, and what is needed to decide on and make the write-back.
struct HDatabase::WorkbookSession
{
    HWorkbookDatabase::Layout layout;
    QTemporaryDir folder;
    QString databasePath;
    HWorkbook::Format writeFormat = HWorkbook::Unknown;
    quint32 changeCounter = 0;
    bool forceWrite = false;
};

HDatabase::HDatabase()
    : m_connectionName(
          QStringLiteral("hdatabase_%1").arg(g_connectionCounter.fetchAndAddOrdered(1)))
{}

HDatabase::~HDatabase()
{
    closeDatabase();
}

bool HDatabase::isServerLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

void HDatabase::setPasswordPrompt(PasswordPrompt prompt)
{
    passwordPrompt() = std::move(prompt);
}

QString HDatabase::backendName() const
{
    switch (m_backend) {
    case Backend::Sqlite:
        return QStringLiteral("sqlite");
    case Backend::PostgreSql:
        return QStringLiteral("postgresql");
    case Backend::Odbc:
        return QStringLiteral("odbc");
    case Backend::None:
        break;
    }
    return QString();
}

bool HDatabase::openDatabase(const QString &location, const QString &password)
{
    closeDatabase();
    m_error.clear();
    resetStatementCounts();
    m_closed = false;
    m_fileName = location;
    const QString &file = location;
    if (isServerLocation(location))
        return openPostgreSql(location);
    switch (fileKind(file)) {
    case FileKind::Missing:
        setError(QStringLiteral("the file does not exist"));
        return false;
    case FileKind::Unreadable:
        setError(QStringLiteral("the file cannot be read"));
        return false;
    case FileKind::Empty:
        setError(QStringLiteral("the file is empty, not a database"));
        return false;
    case FileKind::Unknown:
        setError(QStringLiteral("the file is neither an SQLite nor an Access database"));
        return false;
    case FileKind::Sqlite:
        return openSqlite(file);
    case FileKind::Access:
        return openAccess(file, password);
    }
    return false;
}

bool HDatabase::openSqlite(const QString &file)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        setError(QStringLiteral("the Qt SQLite driver (QSQLITE) is not installed"));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(lockTimeoutMs()));
    if (!db.open()) {
        setError(errorText(db.lastError()));
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        return false;
    }
    // An SQLite header alone does not make a readable database: touch the schema once.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("select count(*) from sqlite_master"))) {
        setError(QStringLiteral("the file is not a readable SQLite database: %1")
                     .arg(errorText(probe.lastError())));
        probe = QSqlQuery();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        return false;
    }
    m_backend = Backend::Sqlite;
    return true;
}

bool HDatabase::openPostgreSql(const QString &url)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        setError(QStringLiteral("the Qt PostgreSQL driver (QPSQL, Debian package "
                                "libqt5sql5-psql) is not installed"));
        return false;
    }
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid()) {
        setError(QStringLiteral("the database URL is not valid: %1").arg(parsed.errorString()));
        return false;
    }
    const QString passwordPlaces =
        QStringLiteral("a password is never taken from a URL or the command line: put it in "
                       "~/.pgpass (or PGPASSWORD, or a service file), or let the tool ask for "
                       "it");
    QUrlQuery query(parsed);
    if (!parsed.password().isEmpty() || query.hasQueryItem(QStringLiteral("password"))) {
        m_fileName = parsed.toString(QUrl::RemovePassword | QUrl::RemoveQuery);
        setError(QStringLiteral("the database URL holds a password; %1").arg(passwordPlaces));
        return false;
    }
    m_server = ServerParameters();
    m_server.host = parsed.host(QUrl::FullyDecoded);
    m_server.user = parsed.userName(QUrl::FullyDecoded);
    m_server.port = parsed.port(-1);
    m_server.database = parsed.path(QUrl::FullyDecoded).mid(1);
    QStringList options;
    const auto items = query.queryItems(QUrl::FullyDecoded);
    for (const auto &item : items) {
        // The driver turns ";" into the separator of libpq's parameters.
        if (item.first.isEmpty() || item.first.contains(QLatin1Char(';')) ||
            item.first.contains(QLatin1Char('=')) || item.first.contains(QLatin1Char(' ')) ||
            item.second.contains(QLatin1Char(';'))) {
            setError(QStringLiteral("the database URL parameter \"%1\" cannot be passed on")
                         .arg(item.first));
            return false;
        }
        options.append(item.first + QLatin1Char('=') + connectionValue(item.second));
    }
    m_server.options = options.join(QLatin1Char(';'));

    QString error;
    for (int attempt = 0;; ++attempt) {
        if (connectPostgreSql(&error))
            return true;
        // libpq looked in PGPASSWORD, ~/.pgpass and the service file and found nothing (or
        // the password asked for was wrong): ask whoever can answer.
        const bool wantsPassword =
            error.contains(QLatin1String("no password supplied")) ||
            (attempt > 0 && error.contains(QLatin1String("password authentication failed")));
        QString password;
        if (!wantsPassword || !passwordPrompt() || attempt >= 3 ||
            !passwordPrompt()(m_fileName, &password) || password.isEmpty())
            break;
        m_server.password = password;
    }
    m_server.password.clear();
    if (error.contains(QLatin1String("no password supplied")))
        error += QStringLiteral(" (%1)").arg(passwordPlaces);
    setError(QStringLiteral("the database server refused the connection or cannot be "
                            "reached: %1")
                 .arg(error));
    return false;
}

bool HDatabase::connectPostgreSql(QString *error)
{
    {
        QSqlDatabase db =
            QSqlDatabase::contains(m_connectionName)
                ? QSqlDatabase::database(m_connectionName, false)
                : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        db.close();
        db.setHostName(m_server.host);
        db.setUserName(m_server.user);
        db.setPort(m_server.port);
        db.setDatabaseName(m_server.database);
        db.setPassword(m_server.password);
        db.setConnectOptions(m_server.options);
        if (db.open()) {
            QSqlQuery setup(db);
            // Waiting for a row another user holds ends like SQLite's busy timeout.
            m_inTransaction = false;
            if (setup.exec(QStringLiteral("set lock_timeout = %1").arg(lockTimeoutMs()))) {
                m_backend = Backend::PostgreSql;
                return true;
            }
            *error = errorText(setup.lastError());
        } else {
            *error = errorText(db.lastError());
        }
        db.close();
    }
    // A server connection that broke stays registered, closed, to be opened again later.
    if (m_backend != Backend::PostgreSql)
        QSqlDatabase::removeDatabase(m_connectionName);
    return false;
}

bool HDatabase::reconnect()
{
    QString error;
    if (connectPostgreSql(&error))
        return true;
    setError(QStringLiteral("the connection to the database server was lost and cannot be "
                            "opened again: %1")
                 .arg(error));
    return false;
}

bool HDatabase::connectionLost() const
{
    if (m_backend != Backend::PostgreSql)
        return false;
    const QSqlDatabase db = getSqlDatabase();
    if (!db.isValid() || !db.driver() || !db.isOpen())
        return true;
    const QVariant handle = db.driver()->handle();
    if (!handle.canConvert<PGconn *>())
        return false;
    PGconn *connection = handle.value<PGconn *>();
    return !connection || PQstatus(connection) == CONNECTION_BAD;
}

void HDatabase::setStatementError(const QString &text)
{
    if (connectionLost())
        setError(QStringLiteral("the connection to the database server was lost (%1); "
                                "nothing was written. Unsaved edits stay on screen: save "
                                "again once the server is back")
                     .arg(text));
    else
        setError(text);
}

bool HDatabase::mayWrite(const QStringList &tables, QString *why)
{
    QString reason;
    if (m_backend == Backend::PostgreSql) {
        QSqlQuery check(getSqlDatabase());
        if (check.exec(QStringLiteral("select current_setting('transaction_read_only'), "
                                      "current_user")) &&
            check.next()) {
            const QString user = check.value(1).toString();
            if (check.value(0).toString() == QLatin1String("on"))
                reason = QStringLiteral("the database session of %1 is read-only").arg(user);
            check.finish();
            check.prepare(QStringLiteral("select has_table_privilege(?, 'INSERT') and "
                                         "has_table_privilege(?, 'UPDATE') and "
                                         "has_table_privilege(?, 'DELETE')"));
            for (int i = 0; i < tables.size() && reason.isEmpty(); ++i) {
                const QString &table = tables.at(i);
                const QString name = postgreSqlName(table);
                for (int p = 0; p < 3; ++p)
                    check.bindValue(p, name);
                // A table that is not there is the loader's fault to report, not this.
                if (check.exec() && check.next() && !check.value(0).toBool())
                    reason =
                        QStringLiteral("the database user %1 may only read %2").arg(user, table);
                check.finish();
            }
        }
    } else if (m_backend == Backend::Sqlite && !m_workbook) {
        const QFileInfo file(m_fileName);
        const QFileInfo folder(file.absolutePath());
        if (!file.isWritable())
            reason = QStringLiteral("the database file %1 is read-only")
                         .arg(QDir::toNativeSeparators(file.absoluteFilePath()));
        else if (!folder.isWritable())
            reason = QStringLiteral("the folder of the database file, %1, cannot be written "
                                    "(SQLite writes its journal there)")
                         .arg(QDir::toNativeSeparators(folder.absoluteFilePath()));
    }
    if (why)
        *why = reason;
    return reason.isEmpty();
}

bool HDatabase::setLockTimeout(int milliseconds)
{
    if (m_backend == Backend::PostgreSql)
        return exec(QStringLiteral("set lock_timeout = %1").arg(milliseconds));
    if (m_backend == Backend::Sqlite)
        return exec(QStringLiteral("pragma busy_timeout = %1").arg(milliseconds));
    return false;
}

bool HDatabase::syncIdentities(QString *error)
{
    if (m_backend != Backend::PostgreSql)
        return true;
    return syncIdentities(getSqlDatabase(), error);
}

bool HDatabase::syncIdentities(QSqlDatabase db, QString *error)
{
    if (db.driverName() != QLatin1String("QPSQL"))
        return true;
    // One round trip for every identity column of the schema (a copied range has thousands
    // of detail tables): the names come from the catalog and are quoted by format().
    QSqlQuery sync(db);
    if (!sync.exec(QStringLiteral(
            "do $$ declare c record; begin "
            "for c in select table_name, column_name from information_schema.columns "
            "where is_identity = 'YES' and table_schema = current_schema() loop "
            "execute format('select setval(pg_get_serial_sequence(%L, %L), "
            "coalesce(max(%I), 0) + 1, false) from %I', "
            "quote_ident(c.table_name), c.column_name, c.column_name, c.table_name); "
            "end loop; end $$"))) {
        if (error)
            *error = errorText(sync.lastError());
        return false;
    }
    return true;
}

bool HDatabase::openAccess(const QString &file, const QString &password)
{
    const QString connection =
        QStringLiteral("DRIVER={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=%1;PWD=%2")
            .arg(QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()), password);
    if (openOdbc(connection))
        return true;
    setError(QStringLiteral("the file is an Access database, but it cannot be opened here (%1); "
                            "where no Access ODBC driver is installed, convert it to an SQLite "
                            "product database")
                 .arg(m_error));
    return false;
}

bool HDatabase::openOdbc(const QString &connectionString)
{
    closeDatabase();
    m_error.clear();
    resetStatementCounts();
    m_closed = false;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC"))) {
        setError(QStringLiteral("the Qt ODBC driver (QODBC) is not installed"));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_connectionName);
    db.setDatabaseName(connectionString);
    if (!db.open()) {
        setError(errorText(db.lastError()));
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        return false;
    }
    m_backend = Backend::Odbc;
    return true;
}

bool HDatabase::openExcelDatabase(const QString &file, const QString &second)
{
    Q_UNUSED(second)
    closeDatabase();
    m_error.clear();
    m_closed = false;
    m_fileName = file;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        setError(QStringLiteral("the Qt SQLite driver (QSQLITE) is not installed"));
        return false;
    }
    auto session = std::make_unique<WorkbookSession>();
    if (!session->folder.isValid()) {
        setError(QStringLiteral("no temporary folder for the workbook: %1")
                     .arg(session->folder.errorString()));
        return false;
    }
    session->databasePath = session->folder.filePath(QStringLiteral("workbook.sqlite"));
    session->writeFormat = HWorkbook::formatOfName(file);
    if (session->writeFormat == HWorkbook::Unknown)
        session->writeFormat = HWorkbook::formatOfContent(file);

    // The rows go straight from the workbook reader into the tables.
    if (!openSqlite(session->databasePath)) {
        m_fileName = file;
        return false;
    }
    m_fileName = file;
    // The database is thrown away with the handle: no need to sync it to disk.
    exec(QStringLiteral("PRAGMA synchronous = OFF"));
    QString error;
    if (!HWorkbookDatabase::load(file, *this, &session->layout, &error)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
        setError(error);
        return false;
    }
    resetStatementCounts();
    session->changeCounter = sqliteChangeCounter(session->databasePath);
    m_workbook = std::move(session);
    return true;
}

void HDatabase::markWorkbookChanged()
{
    if (m_workbook)
        m_workbook->forceWrite = true;
}

bool HDatabase::closeDatabase()
{
    m_backend = Backend::None;
    m_inTransaction = false;
    if (!QSqlDatabase::contains(m_connectionName)) {
        m_workbook.reset();
        return true;
    }
    m_closed = true;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    bool ok = true;
    if (m_workbook) {
        const bool changed =
            m_workbook->forceWrite ||
            sqliteChangeCounter(m_workbook->databasePath) != m_workbook->changeCounter;
        if (changed) {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            if (!db.open()) {
                setError(QStringLiteral("the workbook's temporary database cannot be reopened: %1")
                             .arg(errorText(db.lastError())));
                ok = false;
            } else {
                QString error;
                ok = HWorkbookDatabase::write(*this, m_workbook->layout, m_fileName,
                                              m_workbook->writeFormat, &error);
                if (!ok)
                    setError(error);
                db.close();
            }
        }
        m_workbook.reset();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_backend = Backend::None;
    m_inTransaction = false;
    m_server.password.clear();
    return ok;
}

bool HDatabase::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName) &&
           QSqlDatabase::database(m_connectionName, false).isOpen();
}

QSqlDatabase HDatabase::getSqlDatabase() const
{
    if (!QSqlDatabase::contains(m_connectionName))
        return QSqlDatabase();
    return QSqlDatabase::database(m_connectionName, false);
}

namespace {

// A statement that only reads: run again after a reconnect without doubt.
bool onlyReads(const QString &sql)
{
    return sql.trimmed()
               .section(QLatin1Char(' '), 0, 0)
               .compare(QLatin1String("select"), Qt::CaseInsensitive) == 0;
}

} // namespace

void HDatabase::reopenForRead(const QString &sql)
{
    if (m_backend == Backend::PostgreSql && !m_inTransaction && onlyReads(sql) &&
        !getSqlDatabase().isOpen())
        reconnect();
}

bool HDatabase::mayReconnect(const QString &sql)
{
    return m_backend == Backend::PostgreSql && !m_inTransaction && onlyReads(sql) &&
           connectionLost() && reconnect();
}

QSqlQuery HDatabase::query(const QString &sql)
{
    reopenForRead(sql);
    QSqlQuery result(getSqlDatabase());
    result.setForwardOnly(true);
    if (!isOpen()) {
        setError(notOpenText());
        return result;
    }
    count(sql);
    if (!result.exec(dialectSql(sql))) {
        const QString text = errorText(result.lastError());
        if (mayReconnect(sql)) {
            result = QSqlQuery(getSqlDatabase());
            result.setForwardOnly(true);
            if (result.exec(dialectSql(sql)))
                return result;
        }
        setStatementError(text);
        qWarning().noquote() << "statement failed:" << sql << "-" << m_error;
    }
    return result;
}

bool HDatabase::exec(const QString &sql)
{
    reopenForRead(sql);
    if (!isOpen()) {
        setError(notOpenText());
        return false;
    }
    QSqlQuery statement(getSqlDatabase());
    count(sql);
    if (!statement.exec(dialectSql(sql))) {
        const QString text = errorText(statement.lastError());
        if (mayReconnect(sql) && statement.exec(dialectSql(sql)))
            return true;
        setStatementError(text);
        qWarning().noquote() << "statement failed:" << sql << "-" << m_error;
        return false;
    }
    return true;
}

bool HDatabase::transaction()
{
    if (m_inTransaction) {
        setError(QStringLiteral("a transaction is already open on the database"));
        return false;
    }
    // A connection that broke since the last statement is opened again before the save
    // begins: nothing of the transaction can be lost yet.
    if (connectionLost() && !reconnect())
        return false;
    if (!isOpen()) {
        setError(notOpenText());
        return false;
    }
    if (!getSqlDatabase().transaction()) {
        const QString text = errorText(getSqlDatabase().lastError());
        if (!connectionLost() || !reconnect() || !getSqlDatabase().transaction()) {
            setStatementError(text);
            return false;
        }
    }
    m_inTransaction = true;
    return true;
}

bool HDatabase::commit()
{
    if (!isOpen()) {
        setError(notOpenText());
        return false;
    }
    QSqlDatabase db = getSqlDatabase();
    m_inTransaction = false;
    if (!db.commit()) {
        setStatementError(errorText(db.lastError()));
        return false;
    }
    return true;
}

bool HDatabase::rollback()
{
    if (!isOpen()) {
        setError(notOpenText());
        return false;
    }
    QSqlDatabase db = getSqlDatabase();
    m_inTransaction = false;
    if (!db.rollback()) {
        setStatementError(errorText(db.lastError()));
        return false;
    }
    return true;
}

QStringList HDatabase::getTableColumns(const QString &table, const QString &column,
                                       const QString &condition, bool flag)
{
    QString sql = QStringLiteral("select [%1] from %2").arg(column, table);
    if (!condition.trimmed().isEmpty())
        sql += QStringLiteral(" where ") + condition;
    QSqlQuery rows = query(sql);
    QStringList values;
    QSet<QString> seen;
    while (rows.next()) {
        const QVariant value = rows.value(0);
        if (value.isNull())
            continue;
        const QString text = value.toString();
        if (flag) {
            if (seen.contains(text))
                continue;
            seen.insert(text);
        }
        values.append(text);
    }
    return values;
}

QString HDatabase::fileName() const
{
    return m_fileName;
}

QString HDatabase::backEndName() const
{
    if (!isOpen())
        return QString();
    if (m_workbook)
        return QStringLiteral("Excel");
    const QString driver = getSqlDatabase().driverName();
    if (driver == QLatin1String("QSQLITE"))
        return QStringLiteral("SQLite");
    if (driver == QLatin1String("QODBC"))
        return QStringLiteral("Access");
    if (driver == QLatin1String("QPSQL"))
        return QStringLiteral("PostgreSQL");
    return driver;
}

QString HDatabase::errorString() const
{
    return m_error;
}

void HDatabase::resetStatementCounts()
{
    m_statements = 0;
    m_writes = 0;
}

void HDatabase::count(const QString &sql)
{
    ++m_statements;
    static const QStringList writing = {QStringLiteral("insert"), QStringLiteral("update"),
                                        QStringLiteral("delete"), QStringLiteral("create"),
                                        QStringLiteral("drop"),   QStringLiteral("alter"),
                                        QStringLiteral("replace")};
    const QString head = sql.trimmed().section(QLatin1Char(' '), 0, 0).toLower();
    if (writing.contains(head))
        ++m_writes;
}

QString HDatabase::insertionOrder() const
{
    if (m_backend == Backend::Sqlite)
        return QStringLiteral(" ORDER BY rowid");
    return QString();
}

QString HDatabase::dialectSql(const QString &sql) const
{
    return dialectSql(sql, m_backend);
}

QString HDatabase::dialectSql(const QString &sql, Backend backend)
{
    if (backend != Backend::PostgreSql)
        return sql;
    // Outside quoted literals and names: [name] and the bare name ID are rewritten.
    QString result;
    result.reserve(sql.size() + 8);
    for (int i = 0; i < sql.size();) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            int end = sql.indexOf(c, i + 1);
            end = end < 0 ? sql.size() : end + 1;
            result.append(sql.midRef(i, end - i));
            i = end;
        } else if (c == QLatin1Char('[')) {
            const int end = sql.indexOf(QLatin1Char(']'), i + 1);
            if (end < 0) {
                result.append(sql.midRef(i));
                break;
            }
            result.append(postgreSqlName(sql.mid(i + 1, end - i - 1)));
            i = end + 1;
        } else if (isWordChar(c)) {
            int end = i + 1;
            while (end < sql.size() && isWordChar(sql.at(end)))
                ++end;
            const QStringRef word = sql.midRef(i, end - i);
            if (word.compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0)
                result.append(QLatin1String("\"ID\""));
            else
                result.append(word);
            i = end;
        } else {
            result.append(c);
            ++i;
        }
    }
    return result;
}

bool HDatabase::prepareStatement(QSqlQuery &query, const QString &sql, QString *error)
{
    // Preparing runs nothing: a broken connection may be opened again outside a transaction.
    if (m_backend == Backend::PostgreSql && !m_inTransaction && !getSqlDatabase().isOpen())
        reconnect();
    if (!isOpen()) {
        setError(notOpenText());
        *error = m_error;
        return false;
    }
    if (!query.prepare(dialectSql(sql))) {
        const QString text = errorText(query.lastError());
        if (!m_inTransaction && connectionLost() && reconnect()) {
            query = QSqlQuery(getSqlDatabase());
            if (query.prepare(dialectSql(sql))) {
                error->clear();
                return true;
            }
        }
        setStatementError(text);
        *error = m_error;
        qWarning().noquote() << "statement cannot be prepared:" << sql << "-" << m_error;
        return false;
    }
    error->clear();
    return true;
}

bool HDatabase::runStatement(QSqlQuery &query, const QString &sql, QString *error)
{
    count(sql);
    // PostgreSQL text cannot hold a NUL character: refuse it by name rather than let the
    // value be cut or the statement fail on a garbled literal.
    if (m_backend == Backend::PostgreSql) {
        const QVariantList values = query.boundValues().values();
        for (const QVariant &value : values) {
            if (value.type() == QVariant::String && value.toString().contains(QChar(0))) {
                setError(QStringLiteral("a text holds a NUL character, which a PostgreSQL "
                                        "database cannot store"));
                *error = m_error;
                return false;
            }
        }
    }
    if (!query.exec()) {
        setStatementError(errorText(query.lastError()));
        if (m_error.isEmpty())
            setError(QStringLiteral("the statement failed"));
        *error = m_error;
        return false;
    }
    error->clear();
    return true;
}

QString HDatabase::notOpenText() const
{
    if (m_backend == Backend::PostgreSql)
        return QStringLiteral("the connection to the database server %1 was lost and cannot be "
                              "opened again; unsaved edits stay on screen: save again once the "
                              "server is back")
            .arg(m_fileName);
    if (m_fileName.isEmpty())
        return QStringLiteral("the database is not open");
    return (m_closed ? QStringLiteral("the database %1 is closed")
                     : QStringLiteral("the database %1 is not open"))
        .arg(QDir::toNativeSeparators(m_fileName));
}

void HDatabase::setError(const QString &text)
{
    m_error = text;
}
