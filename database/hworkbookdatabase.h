#pragma once

#include "hworkbook.h"

#include <QString>
#include <QStringList>

class HDatabase;

// A workbook's sheets as tables of a database and back: what lets a workbook be opened as a
// database (HDatabase::openExcelDatabase). The rows stream between the workbook readers and
// writers and the database; the workbook is never held whole. The workbook layer itself
// knows nothing of databases.
class HWorkbookDatabase
{
public:
    // The sheets of the workbook as read, to write them back in their places.
    struct Layout
    {
        QStringList sheets;
        QStringList emptySheets; // sheets without any cell: no table
    };

    // Creates one table per sheet (the first row gives the column names; every cell is
    // text, empty cells are NULL) and fills it, in one transaction.
    static bool load(const QString &path, HDatabase &db, Layout *layout, QString *error);
    // Writes the tables as a workbook: the sheets read earlier first, in their order (empty
    // ones as empty sheets), then tables created since; NULL becomes an empty cell. The file
    // is replaced only by a complete workbook.
    static bool write(HDatabase &db, const Layout &layout, const QString &path,
                      HWorkbook::Format format, QString *error);
};
