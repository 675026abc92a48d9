// product-bench's PostgreSQL variant: the server it runs on, and the copy of each range
// into a database of its own there with product-dbcopy's engine.
#include "benchsteps.h"

#include "hdatabase.h"
#include "hdbcopy.h"

#include <QElapsedTimer>

namespace Bench {

QUrl g_server;

// A URL naming database `name` on the server.
QString serverUrl(const QString &name)
{
    QString authority = g_server.host();
    if (!g_server.userName().isEmpty())
        authority.prepend(g_server.userName() + QLatin1Char('@'));
    if (g_server.port() > 0)
        authority += QLatin1Char(':') + QString::number(g_server.port());
    return QStringLiteral("postgresql://%1/%2").arg(authority, name);
}

// Statements on the server's maintenance database (creating and dropping the bench's own).
bool serverExec(const QString &sql)
{
    RawDb admin(serverUrl(QStringLiteral("postgres")));
    QSqlQuery query(admin.db());
    if (query.exec(sql))
        return true;
    std::fprintf(stderr, "server: %s: %s\n", qPrintable(sql), qPrintable(query.lastError().text()));
    return false;
}

// Copies the range in `file` into a new server database with product-dbcopy's engine;
// returns its URL (empty on failure) and the wall time of the copy.
QString copyToServer(const QString &file, double scale, double *ms)
{
    const QString name = QStringLiteral("pmbench_%1").arg(qRound(scale * 10));
    if (!serverExec(QStringLiteral("drop database if exists %1 with (force)").arg(name)) ||
        !serverExec(QStringLiteral("create database %1").arg(name)))
        return QString();
    const QString url = serverUrl(name);
    HDatabase source;
    HDatabase target;
    if (!source.openDatabase(file, QString()) || !target.openDatabase(url, QString())) {
        std::fprintf(stderr, "copy: %s / %s\n", qPrintable(source.errorString()),
                     qPrintable(target.errorString()));
        return QString();
    }
    HSqlCopySource reader(&source);
    HDbCopy::Report report;
    QString error;
    QElapsedTimer timer;
    timer.start();
    const bool ok = HDbCopy::copy(reader, target, HDbCopy::Options(), &report, &error);
    *ms = timer.nsecsElapsed() / 1e6;
    std::fprintf(
        stderr, "scale %g: copied %lld rows in %d tables to %s in %.1f s (%llu statements)\n",
        scale, static_cast<long long>(report.rows), int(report.tables.size()), qPrintable(url),
        *ms / 1000, static_cast<unsigned long long>(target.statementCount()));
    if (!ok) {
        std::fprintf(stderr, "copy failed: %s\n", qPrintable(error));
        return QString();
    }
    return url;
}

} // namespace Bench
