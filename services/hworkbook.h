#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

// One sheet of a workbook as plain texts: rows of cells, the first row being the header.
// An empty text is an empty cell; rows may be shorter than the widest row.
struct HWorkbookSheet
{
    QString name;
    QVector<QStringList> rows;
};

// A workbook held in memory: reading and writing .xls (BIFF8) and .xlsx files, and moving
// its sheets into and out of an SQLite database (one table per sheet, every cell as text).
class HWorkbook
{
public:
    enum Format { Unknown, Xls, Xlsx };

    // What the file holds, by its first bytes (an OLE2 container or a zip archive).
    static Format formatOfContent(const QString &path);
    // What the file name asks for, by its extension (case-insensitive).
    static Format formatOfName(const QString &path);

    // Reads every sheet; the format is taken from the content, not from the name, so that a
    // copy of an .xls template saved under an .xlsx name still opens.
    bool read(const QString &path);
    // Writes every sheet in the given format and replaces the file atomically: when anything
    // fails the previous file is left as it was.
    bool write(const QString &path, Format format);

    // Creates one table per sheet (header = column names, cells as text; empty cells are
    // NULL) and fills it in one transaction. Sheets without any cell are remembered in
    // emptySheets() because a table needs at least one column.
    bool loadInto(QSqlDatabase db);
    // Rebuilds the sheets from the tables of the database: the sheets read earlier first, in
    // their order, then tables created since; NULL becomes an empty cell.
    bool readFrom(QSqlDatabase db);

    QVector<HWorkbookSheet> sheets;
    QStringList emptySheets;

    QString errorString() const { return m_error; }

    // A number as a spreadsheet user typed it: integers without ".0", others with up to 15
    // significant digits (what the cell shows).
    static QString numberText(double value);

private:
    QString m_error;
};
