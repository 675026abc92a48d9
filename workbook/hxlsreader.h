#pragma once

#include "hworkbook.h"

// Reads the sheets of an Excel 97-2003 (.xls) workbook through FreeXL.
class HXlsReader
{
public:
    static bool read(const QString &path, QVector<HWorkbookSheet> *sheets, QString *error);
};
