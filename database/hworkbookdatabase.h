#pragma once

#include <QSqlDatabase>
#include <QString>

class HWorkbook;

// A workbook's sheets as tables of an SQLite database and back: what lets a workbook be
// opened as a database (HDatabase::openExcelDatabase). The workbook layer itself knows
// nothing of databases.
class HWorkbookDatabase
{
public:
    // Creates one table per sheet (header = column names, cells as text; empty cells are
    // NULL) and fills it in one transaction. Sheets without any cell are remembered in the
    // workbook's emptySheets because a table needs at least one column.
    static bool loadInto(HWorkbook &workbook, QSqlDatabase db, QString *error);
    // Rebuilds the sheets from the tables of the database: the sheets read earlier first, in
    // their order, then tables created since; NULL becomes an empty cell.
    static bool readFrom(HWorkbook &workbook, QSqlDatabase db, QString *error);
};
