#pragma once

#include "hworkbook.h"

#include <memory>

// Writes a workbook sheet by sheet and row by row, straight into the format's records: the
// rows are not held beyond what the format needs (the string table an .xls file carries
// before its sheets). The file replaces the target only when it is complete and checked,
// through HSafeFile: on any failure the target stays exactly as it was, and errorString()
// says why (naming the file when the file is the trouble).
class HWorkbookWriter
{
public:
    virtual ~HWorkbookWriter();

    // A writer of `format` (Xls or Xlsx) for `path`. `rows` is how many rows all sheets hold
    // in all, when known: large tables are written with less memory.
    static std::unique_ptr<HWorkbookWriter> create(HWorkbook::Format format, const QString &path,
                                                   qint64 rows = 0);
    // The most rows a sheet of the format holds (what our readers read back, for .xlsx).
    static int maxRows(HWorkbook::Format format);
    // Why `rows` rows do not fit into a sheet of the format; empty when they do.
    static QString rowLimitError(HWorkbook::Format format, const QString &sheet, qint64 rows);

    virtual bool addSheet(const QString &name) = 0;
    // Row `row` (0-based, increasing) of the sheet added last; empty texts are empty cells.
    virtual bool addRow(int row, const QStringList &cells) = 0;
    // Finishes the file, checks it, and puts it in place of the target.
    virtual bool commit() = 0;

    QString errorString() const { return m_error; }

protected:
    explicit HWorkbookWriter(const QString &path);
    bool fail(const QString &error);

    QString m_path;
    QString m_error;
};
