// HDatabase's core: opening files (SQLite by its header, Access through ODBC), the
// connection's life, statements counted and run, transactions. The server (PostgreSQL)
// parts are in hdatabaseserver.cpp, the workbook session in hdatabaseworkbook.cpp.
#include "hdatabase.h"

#include "hdatabasedetail.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>

using HDatabaseDetail::errorText;
using HDatabaseDetail::lockTimeoutMs;

namespace {

QAtomicInt g_connectionCounter;

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

} // namespace

namespace HDatabaseDetail {

// The wait for a lock another user holds: a second running copy of the tool waits for the
// other's write instead of failing. PM_BUSY_TIMEOUT_MS shortens it where a lock is held on
// purpose (tests).
int lockTimeoutMs()
{
    bool custom = false;
    const int timeoutMs = qEnvironmentVariableIntValue("PM_BUSY_TIMEOUT_MS", &custom);
    return custom && timeoutMs >= 0 ? timeoutMs : 10000;
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

} // namespace HDatabaseDetail

HDatabase::HDatabase()
    : m_connectionName(
          QStringLiteral("hdatabase_%1").arg(g_connectionCounter.fetchAndAddOrdered(1)))
{}

HDatabase::~HDatabase()
{
    closeDatabase();
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
        ok = writeBackWorkbook();
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
        if (!m_quiet)
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
        if (!m_quiet)
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
        if (!m_quiet)
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
