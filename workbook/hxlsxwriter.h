#pragma once

#include "hworkbook.h"

// Writes sheets as a new .xlsx file through libxlsxwriter; every cell is a text cell so that
// leading zeros and blanks survive.
class HXlsxWriter
{
public:
    static bool write(const QString &path, const QVector<HWorkbookSheet> &sheets, QString *error);
};
