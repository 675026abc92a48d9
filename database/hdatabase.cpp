#include "hdatabase.h"

#include "hworkbook.h"
#include "hworkbookdatabase.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QTemporaryDir>

namespace {

QAtomicInt g_connectionCounter;

QString errorText(const QSqlError &error)
{
    const QString database = error.databaseText().trimmed();
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

bool HDatabase::openDatabase(const QString &file, const QString &password)
{
    closeDatabase();
    m_error.clear();
    resetStatementCounts();
    m_closed = false;
    m_fileName = file;
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
    // A second running copy of the tool waits for the other's write instead of failing.
    // PM_BUSY_TIMEOUT_MS shortens the wait where a lock is held on purpose (tests).
    bool customTimeout = false;
    const int timeoutMs = qEnvironmentVariableIntValue("PM_BUSY_TIMEOUT_MS", &customTimeout);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1")
                             .arg(customTimeout && timeoutMs >= 0 ? timeoutMs : 10000));
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
    QSqlQuery result(getSqlDatabase());
    result.setForwardOnly(true);
    if (!isOpen()) {
        setError(notOpenText());
        return result;
    }
    count(sql);
    if (!result.exec(dialectSql(sql))) {
        setError(errorText(result.lastError()));
        qWarning().noquote() << "statement failed:" << sql << "-" << m_error;
    }
    return result;
}

bool HDatabase::exec(const QString &sql)
{
    if (!isOpen()) {
        setError(notOpenText());
        return false;
    }
    QSqlQuery statement(getSqlDatabase());
    count(sql);
    if (!statement.exec(dialectSql(sql))) {
        setError(errorText(statement.lastError()));
        qWarning().noquote() << "statement failed:" << sql << "-" << m_error;
        return false;
    }
    return true;
}

bool HDatabase::transaction()
{
    if (!isOpen()) {
        setError(notOpenText());
        return false;
    }
    QSqlDatabase db = getSqlDatabase();
    if (!db.transaction()) {
        setError(errorText(db.lastError()));
        return false;
    }
    return true;
}

bool HDatabase::commit()
{
    if (!isOpen()) {
        setError(notOpenText());
        return false;
    }
    QSqlDatabase db = getSqlDatabase();
    if (!db.commit()) {
        setError(errorText(db.lastError()));
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
    if (!db.rollback()) {
        setError(errorText(db.lastError()));
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
    if (getSqlDatabase().driverName() == QLatin1String("QSQLITE"))
        return QStringLiteral(" ORDER BY rowid");
    return QString();
}

QString HDatabase::dialectSql(const QString &sql) const
{
    return sql;
}

bool HDatabase::prepareStatement(QSqlQuery &query, const QString &sql, QString *error)
{
    if (!isOpen()) {
        setError(notOpenText());
        *error = m_error;
        return false;
    }
    if (!query.prepare(dialectSql(sql))) {
        setError(errorText(query.lastError()));
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
    if (!query.exec()) {
        setError(errorText(query.lastError()));
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
