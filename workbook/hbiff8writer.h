#pragma once

#include "hworkbook.h"

#include <QByteArray>

// Writes sheets as an Excel 97-2003 (.xls) file: a BIFF8 workbook stream of our own inside an
// OLE2 compound file written by libgsf. Every cell is a text cell from the shared string
// table.
class HBiff8Writer
{
public:
    static constexpr int MaxRows = 65536;
    static constexpr int MaxColumns = 256;
    // Excel takes 32,767 characters, but a longer text than this would span more than two
    // records of the string table, which FreeXL, our .xls reader, cannot read back.
    static constexpr int MaxTextLength = 8000;

    // The BIFF8 workbook stream alone; false with the reason when the sheets do not fit.
    static bool workbookStream(const QVector<HWorkbookSheet> &sheets, QByteArray *stream,
                               QString *error);
    static bool write(const QString &path, const QVector<HWorkbookSheet> &sheets, QString *error);
};
