// HDatabase on a workbook: the sheets loaded into a private temporary SQLite database, and
// the write-back of the workbook when the handle closes after a change.
#include "hdatabase.h"

#include "hdatabasedetail.h"

#include <QFile>
#include <QSqlError>

using HDatabaseDetail::errorText;

namespace {

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

bool HDatabase::writeBackWorkbook()
{
    const bool changed = m_workbook->forceWrite ||
                         sqliteChangeCounter(m_workbook->databasePath) != m_workbook->changeCounter;
    if (!changed)
        return true;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.open()) {
        setError(QStringLiteral("the workbook's temporary database cannot be reopened: %1")
                     .arg(errorText(db.lastError())));
        return false;
    }
    QString error;
    const bool ok = HWorkbookDatabase::write(*this, m_workbook->layout, m_fileName,
                                             m_workbook->writeFormat, &error);
    if (!ok)
        setError(error);
    db.close();
    return ok;
}
