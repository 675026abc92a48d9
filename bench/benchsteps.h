// What the parts of product-bench share: the raw SQL connection the baselines use, finding
// and clicking the tool's widgets, generating the ranges, the Excel libraries alone, the
// PostgreSQL server the "postgresql" variant runs on, and the scenario run at each size.
#pragma once

#include "hdatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#include <cstdio>
#include <string>
#include <vector>

class BenchReport;

namespace Bench {

class RawDb
{
public:
    explicit RawDb(const QString &path)
        : m_name(QStringLiteral("bench_raw"))
    {
        if (HDatabase::isServerLocation(path)) {
            const QUrl url(path);
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
            if (!url.host().isEmpty())
                db.setHostName(url.host());
            if (url.port() > 0)
                db.setPort(url.port());
            if (!url.userName().isEmpty())
                db.setUserName(url.userName());
            db.setDatabaseName(url.path().mid(1));
            db.open();
            return;
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~RawDb()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // Steps through every row and reads every column, as a view filling itself would.
    int selectAll(const QString &sql) const
    {
        QSqlQuery query(db());
        query.setForwardOnly(true);
        if (!query.exec(sql))
            std::fprintf(stderr, "raw select failed: %s\n", qPrintable(query.lastError().text()));
        int rows = 0;
        const int columns = query.record().count();
        while (query.next()) {
            for (int c = 0; c < columns; ++c)
                query.value(c);
            ++rows;
        }
        return rows;
    }

private:
    QString m_name;
};

template <typename T> T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QString::fromLatin1(name));
}

void click(QWidget *parent, const char *name);
qint64 peakRssMb();

// The large range at `scale` as generated, and a copy without the indexes of the matching
// tables. Returns the two files.
QStringList generate(double scale, const QString &workDir);

// The Excel figures' baselines: the libraries the formats are built on, alone.
void writeXlsxAlone(const QString &path, const std::vector<std::string> &texts);
void readXlsAlone(const QString &path);
void readXlsxAlone(const QString &path);

// The server the PostgreSQL variant runs on: host, port and user of a URL (libpq's own
// defaults, PGHOST and the rest, where it names none).
extern QUrl g_server;
// A URL naming database `name` on the server.
QString serverUrl(const QString &name);
// Statements on the server's maintenance database (creating and dropping the bench's own).
bool serverExec(const QString &sql);
// Copies the range in `file` into a new server database with product-dbcopy's engine;
// returns its URL (empty on failure) and the wall time of the copy.
QString copyToServer(const QString &file, double scale, double *ms);

// Times the tool's operations, each beside its raw baseline, on the database at `dbPath`
// (the generated file the schemes come from is `generatedFile` when `dbPath` is a server's).
void runScale(BenchReport &report, double scale, int repeat, const QString &dbPath,
              const QString &variant, const QString &generatedFile = QString());

} // namespace Bench
