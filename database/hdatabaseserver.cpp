// HDatabase on a PostgreSQL server: the URL and the password prompt, connecting and
// reconnecting after the connection broke, the dialect rewriting of statement texts, the
// identity sync after a copy, and the write-permission checks (the file checks of SQLite
// beside them).
#include "hdatabase.h"

#include "hdatabasedetail.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <libpq-fe.h>

Q_DECLARE_OPAQUE_POINTER(PGconn *)
Q_DECLARE_METATYPE(PGconn *)

using HDatabaseDetail::errorText;
using HDatabaseDetail::lockTimeoutMs;

namespace {

HDatabase::PasswordPrompt &passwordPrompt()
{
    static HDatabase::PasswordPrompt prompt;
    return prompt;
}

// A value of a libpq connection string: quoted, with quote and backslash escaped.
QString connectionValue(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
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

// A statement that only reads: run again after a reconnect without doubt.
bool onlyReads(const QString &sql)
{
    return sql.trimmed()
               .section(QLatin1Char(' '), 0, 0)
               .compare(QLatin1String("select"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool HDatabase::isServerLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

void HDatabase::setPasswordPrompt(PasswordPrompt prompt)
{
    passwordPrompt() = std::move(prompt);
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
