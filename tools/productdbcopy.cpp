// Copies the product tables from one database into another.
//
//   product-dbcopy [--replace] [--quiet] SOURCE TARGET
//
// SOURCE: an SQLite file, a PostgreSQL URL (postgresql://user@host:port/dbname) or an Access
// file (.mdb, .accdb). TARGET: an SQLite file (created when missing) or a PostgreSQL URL.
// Passwords come from PGPASSWORD or ~/.pgpass, as for every libpq program.

#include "hdatabase.h"
#include "hdbcopy.h"
#include "hmdbreader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <clocale>
#include <cstdio>
#include <memory>

namespace {

const char kUsage[] =
    "usage: product-dbcopy [--replace] [--quiet] SOURCE TARGET\n"
    "  SOURCE  an SQLite file, a PostgreSQL URL (postgresql://user@host:port/dbname)\n"
    "          or an Access file (.mdb, .accdb)\n"
    "  TARGET  an SQLite file (created when missing) or a PostgreSQL URL\n"
    "  --replace  overwrite the product data a target holds already\n"
    "  --quiet    no progress on stderr\n";

void say(const QString &text)
{
    std::fprintf(stderr, "product-dbcopy: %s\n", text.toLocal8Bit().constData());
}

bool isUrl(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool isAccess(const QString &location)
{
    if (isUrl(location))
        return false;
    const QString suffix = QFileInfo(location).suffix().toLower();
    if (suffix == QLatin1String("accdb"))
        return true;
    QFile file(location);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray engine = file.read(32).mid(4, 15);
        if (engine == "Standard Jet DB" || engine == "Standard ACE DB")
            return true;
        // An .mdb name that holds an SQLite database is an SQLite database (the demo's is).
        if (file.size() > 0)
            return false;
    }
    return suffix == QLatin1String("mdb");
}

// A location as it may be shown: a password written into a URL stays out of messages.
QString shown(const QString &location)
{
    if (!isUrl(location))
        return location;
    QUrl url(location);
    if (!url.password().isEmpty())
        url.setPassword(QStringLiteral("***"));
    return url.toString();
}

bool sameLocation(const QString &a, const QString &b)
{
    if (isUrl(a) || isUrl(b))
        return QUrl(a) == QUrl(b);
    const QFileInfo fa(a);
    const QFileInfo fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

// Prints where the copy is, at most twice a second and at every table's end.
class ProgressPrinter
{
public:
    void operator()(const HDbCopy::Progress &p)
    {
        const bool tableDone = p.tableRows >= 0 && p.rows == p.tableRows;
        if (m_timer.isValid() && m_timer.elapsed() < 500 && !(tableDone && p.tableCount < 40))
            return;
        m_timer.start();
        const int percent =
            p.totalRows > 0 ? int(qMin<qint64>(100, p.doneRows * 100 / p.totalRows)) : 0;
        std::fprintf(
            stderr, "[%3d%%] table %d/%d %s: %lld%s rows\n", percent, p.tableIndex, p.tableCount,
            p.table.toLocal8Bit().constData(), static_cast<long long>(p.rows),
            p.tableRows >= 0 ? QStringLiteral(" of %1").arg(p.tableRows).toLocal8Bit().constData()
                             : "");
    }

private:
    QElapsedTimer m_timer;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // libmdb prints numbers with the C library: keep its decimal point a point.
    std::setlocale(LC_NUMERIC, "C");

    bool replace = false;
    bool quiet = false;
    QStringList locations;
    const QStringList args = app.arguments().mid(1);
    for (const QString &arg : args) {
        if (arg == QLatin1String("--replace")) {
            replace = true;
        } else if (arg == QLatin1String("--quiet")) {
            quiet = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg.startsWith(QLatin1String("--"))) {
            say(QStringLiteral("unknown option %1").arg(arg));
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            locations.append(arg);
        }
    }
    if (locations.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString sourceLocation = locations.at(0);
    const QString targetLocation = locations.at(1);

    if (isAccess(targetLocation)) {
        say(QStringLiteral("%1 is an Access file: Access files are read, never written; copy "
                           "into an SQLite file or a PostgreSQL database instead")
                .arg(targetLocation));
        return 1;
    }
    if (sameLocation(sourceLocation, targetLocation)) {
        say(QStringLiteral("the source and the target are the same database"));
        return 1;
    }

    // The source.
    HDatabase sourceDb;
    std::unique_ptr<HDbCopySource> source;
    if (isAccess(sourceLocation)) {
        auto reader = std::make_unique<HMdbReader>();
        if (!reader->open(sourceLocation)) {
            say(reader->errorString());
            return 1;
        }
        source = std::move(reader);
    } else {
        if (!sourceDb.openDatabase(sourceLocation, QString())) {
            say(QStringLiteral("the source %1 cannot be opened: %2")
                    .arg(shown(sourceLocation), sourceDb.errorString()));
            return 1;
        }
        source = std::make_unique<HSqlCopySource>(&sourceDb);
    }

    // The target; an SQLite file made here goes again when the copy fails.
    QString createdFile;
    if (!isUrl(targetLocation) && !QFileInfo::exists(targetLocation)) {
        QString error;
        if (!HDbCopy::createSqliteFile(targetLocation, &error)) {
            say(QStringLiteral("the target %1 cannot be created: %2").arg(targetLocation, error));
            return 1;
        }
        createdFile = targetLocation;
    }
    auto removeCreated = [&createdFile]() {
        if (createdFile.isEmpty())
            return;
        for (const char *suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(createdFile + QLatin1String(suffix));
    };
    HDatabase target;
    if (!target.openDatabase(targetLocation, QString())) {
        say(QStringLiteral("the target %1 cannot be opened: %2")
                .arg(shown(targetLocation), target.errorString()));
        removeCreated();
        return 1;
    }

    HDbCopy::Options options;
    options.replace = replace;
    ProgressPrinter printer;
    if (!quiet)
        options.progress = [&printer](const HDbCopy::Progress &p) { printer(p); };

    QElapsedTimer clock;
    clock.start();
    HDbCopy::Report report;
    QString error;
    const bool ok = HDbCopy::copy(*source, target, options, &report, &error);
    target.closeDatabase();
    if (!ok) {
        say(QStringLiteral("nothing copied: %1").arg(error));
        removeCreated();
        return 1;
    }
    for (const QString &note : qAsConst(report.notes))
        say(QStringLiteral("note: %1").arg(note));
    const QString summary =
        QStringLiteral("product-dbcopy: copied %1 rows in %2 tables from %3 to %4 in %5 s; row "
                       "counts and checksums match\n")
            .arg(report.rows)
            .arg(report.tables.size())
            .arg(shown(sourceLocation), shown(targetLocation))
            .arg(clock.elapsed() / 1000.0, 0, 'f', 1);
    std::fputs(summary.toLocal8Bit().constData(), stdout);
    return 0;
}
