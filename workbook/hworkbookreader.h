#pragma once

#include <QString>
#include <QVector>

// One row of a sheet as a reader hands it over.
struct HWorkbookRow
{
    int index = 0;           // 0-based row number in its sheet
    QVector<QString> cells;  // by column, up to the last cell that holds something
    QVector<int> uncomputed; // columns holding a formula without a stored result
};

// Receives a workbook while a reader goes through it.
class HWorkbookVisitor
{
public:
    virtual ~HWorkbookVisitor() = default;
    // Every sheet, in workbook order; `withRows` tells whether its rows follow. False (with
    // the reason in *error) stops reading.
    virtual bool sheet(const QString &name, bool withRows, QString *error);
    // The rows of a sheet that is read, in increasing order; rows without any cell are left
    // out. False (with the reason in *error) stops reading.
    virtual bool row(const HWorkbookRow &row, QString *error) = 0;

    // Whether the cells of a column are wanted: readers leave the texts of other columns
    // out of the rows they hand over (they still read past them).
    bool wants(int column) const
    {
        return m_wanted.isEmpty() || (column < m_wanted.size() && m_wanted.at(column));
    }

protected:
    // From now on only these columns are wanted; none given: every column.
    void setWantedColumns(const QVector<int> &columns);

private:
    QVector<bool> m_wanted;
};

// Reads .xls and .xlsx workbooks row by row, without holding them: the format is taken
// from the content, not from the name. Limits, each checked while reading and refused with
// a message that names it, keep a hostile or damaged file from taking the tool down.
class HWorkbookReader
{
public:
    // What one .xlsx workbook may unpack to, in all the parts that are read.
    static constexpr qint64 MaxInflatedBytes = qint64(256) << 20;
    // Columns A to AMJ; a cell further right is refused.
    static constexpr int MaxColumns = 1024;
    // Rows of a sheet, as in the spreadsheet programs.
    static constexpr int MaxRows = 1048576;
    // Characters of one cell, as in the spreadsheet programs.
    static constexpr int MaxTextLength = 32767;

    // Reads every sheet's name, and the rows of `onlySheet` (its name compared as sheet names
    // are, see sameSheetName) or, when it is empty, of every sheet.
    static bool read(const QString &path, HWorkbookVisitor &visitor, QString *error,
                     const QString &onlySheet = QString());
};
