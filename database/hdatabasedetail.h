// What the files of HDatabase share among themselves (hdatabase.cpp, hdatabaseserver.cpp,
// hdatabaseworkbook.cpp): the workbook session and the error and timeout helpers. Not for
// other callers.
#pragma once

#include "hdatabase.h"
#include "hworkbook.h"
#include "hworkbookdatabase.h"

#include <QSqlError>
#include <QTemporaryDir>

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

namespace HDatabaseDetail {

// The message of a failed statement or connection, the driver's text when the database
// gives none.
QString errorText(const QSqlError &error);
// The wait for a lock another connection holds (PM_BUSY_TIMEOUT_MS, else 10 s).
int lockTimeoutMs();

} // namespace HDatabaseDetail
