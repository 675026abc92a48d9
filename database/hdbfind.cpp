#include "hdbfind.h"

#include "hdatabase.h"
#include "hproductschema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

struct SharedState
{
    QString file;
    QString password;
    // Created once and never deleted: callers may hold the pointer past closeDb(), and
    // QtSql's registry of connections is gone by the time static objects are destroyed.
    HDatabase *db = nullptr;
    bool attempted = false;
    bool closed = false;
    QString error;
};

SharedState &state()
{
    static SharedState shared;
    return shared;
}

bool namedByEnvironment(const QString &file)
{
    return !QFileInfo(file).isAbsolute() && !qEnvironmentVariableIsEmpty("PRODUCT_DB");
}

QString notFoundText(const QString &file, const QStringList &paths)
{
    QString text = QStringLiteral("The product database was not found. Looked for:");
    for (const QString &path : paths)
        text += QStringLiteral("\n  ") + QDir::toNativeSeparators(path);
    if (QFileInfo(file).isAbsolute())
        return text;
    if (!namedByEnvironment(file))
        text += QStringLiteral("\nPut the database there, or set PRODUCT_DB to its path.");
    else
        text += QStringLiteral("\n(named by the environment variable PRODUCT_DB)");
    return text;
}

// Opens `path` on `db` and checks the schema; the message that refuses it, or empty. A
// refused file is left closed.
QString openAndCheck(HDatabase *db, const QString &path, const QString &password)
{
    if (!db->openDatabase(path, password))
        return QStringLiteral("The product database %1 cannot be used: %2.")
            .arg(QDir::toNativeSeparators(path), db->errorString());
    const QStringList missing = HProductSchema::missing(db->getSqlDatabase());
    if (missing.isEmpty())
        return QString();
    db->closeDatabase();
    return QStringLiteral("The product database %1 lacks what the editors need: %2.")
        .arg(QDir::toNativeSeparators(path), missing.join(QStringLiteral(", ")));
}

} // namespace

void HDbFind::setDbFileAndPwd(const QString &file, const QString &password)
{
    SharedState &s = state();
    if (s.file == file && s.password == password)
        return;
    closeDb();
    s.file = file;
    s.password = password;
    s.closed = false;
}

QStringList HDbFind::candidatePaths(const QString &file)
{
    // A server is used as it is, without a search.
    if (HDatabase::isServerLocation(file))
        return {file};
    if (QFileInfo(file).isAbsolute())
        return {QDir::cleanPath(file)};
    const QByteArray fromEnvironment = qgetenv("PRODUCT_DB");
    if (!fromEnvironment.isEmpty()) {
        const QString named = QString::fromLocal8Bit(fromEnvironment);
        if (HDatabase::isServerLocation(named))
            return {named};
        return {QDir::cleanPath(QDir::current().absoluteFilePath(named))};
    }
    QStringList paths;
    paths.append(QDir::cleanPath(QDir::current().absoluteFilePath(file)));
    if (QCoreApplication::instance()) {
        const QString besideExecutable =
            QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(file));
        if (!paths.contains(besideExecutable))
            paths.append(besideExecutable);
    }
    return paths;
}

bool HDbFind::open(QString *error)
{
    SharedState &s = state();
    if (s.attempted && s.db && s.db->isOpen()) {
        if (error)
            error->clear();
        return true;
    }
    s.attempted = true;
    s.closed = false;
    s.error.clear();
    if (!s.db)
        s.db = new HDatabase;

    const QStringList paths =
        candidatePaths(s.file.isEmpty() ? QStringLiteral("Product.mdb") : s.file);
    QString found;
    for (const QString &path : paths) {
        if (HDatabase::isServerLocation(path) || QFileInfo::exists(path)) {
            found = path;
            break;
        }
    }

    if (found.isEmpty())
        s.error = notFoundText(s.file, paths);
    else
        s.error = openAndCheck(s.db, found, s.password);
    if (error)
        *error = s.error;
    return s.error.isEmpty();
}

HDatabase *HDbFind::getDb()
{
    SharedState &s = state();
    if (!s.attempted && !s.closed)
        open(nullptr);
    if (!s.db)
        s.db = new HDatabase;
    return s.db;
}

void HDbFind::closeDb()
{
    SharedState &s = state();
    if (s.db)
        s.db->closeDatabase();
    s.attempted = false;
    s.closed = true;
}

bool HDbFind::isOpen()
{
    const SharedState &s = state();
    return s.db && s.db->isOpen();
}

QStringList HDbFind::getTableColumns(const QString &table, const QString &column,
                                     const QString &condition, bool flag)
{
    return getDb()->getTableColumns(table, column, condition, flag);
}

QString HDbFind::lastError()
{
    return state().error;
}

QString HDbFind::absoluteLocation(const QString &location)
{
    if (HDatabase::isServerLocation(location))
        return location;
    return QDir::cleanPath(QDir::current().absoluteFilePath(location));
}

bool HDbFind::check(const QString &path, const QString &password, QString *error)
{
    const QString absolute = absoluteLocation(path);
    QString text;
    if (!HDatabase::isServerLocation(absolute) && !QFileInfo::exists(absolute)) {
        text = notFoundText(absolute, {absolute});
    } else {
        HDatabase probe;
        text = openAndCheck(&probe, absolute, password);
    }
    if (error)
        *error = text;
    return text.isEmpty();
}
