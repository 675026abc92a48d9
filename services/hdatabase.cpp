#include "hdatabase.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>

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

} // namespace

HDatabase::HDatabase()
    : m_connectionName(QStringLiteral("hdatabase_%1").arg(g_connectionCounter.fetchAndAddOrdered(1)))
{
}

HDatabase::~HDatabase()
{
    closeDatabase();
}

bool HDatabase::openDatabase(const QString &file, const QString &password)
{
    closeDatabase();
    m_error.clear();
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
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
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
    m_fileName = file;
    setError(QStringLiteral("opening workbooks is not available in this build"));
    return false;
}

bool HDatabase::closeDatabase()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return true;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    return true;
}

bool HDatabase::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName)
           && QSqlDatabase::database(m_connectionName, false).isOpen();
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
    if (!result.exec(sql)) {
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
    if (!statement.exec(sql)) {
        setError(errorText(statement.lastError()));
        qWarning().noquote() << "statement failed:" << sql << "-" << m_error;
        return false;
    }
    return true;
}

bool HDatabase::transaction()
{
    QSqlDatabase db = getSqlDatabase();
    if (!db.transaction()) {
        setError(errorText(db.lastError()));
        return false;
    }
    return true;
}

bool HDatabase::commit()
{
    QSqlDatabase db = getSqlDatabase();
    if (!db.commit()) {
        setError(errorText(db.lastError()));
        return false;
    }
    return true;
}

bool HDatabase::rollback()
{
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

QString HDatabase::errorString() const
{
    return m_error;
}

QString HDatabase::escape(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\''), QLatin1String("''"));
    return escaped;
}

QString HDatabase::notOpenText() const
{
    return m_fileName.isEmpty() ? QStringLiteral("the database is not open")
                                : QStringLiteral("the database %1 is not open")
                                      .arg(QDir::toNativeSeparators(m_fileName));
}

void HDatabase::setError(const QString &text)
{
    m_error = text;
}
