#pragma once

#include "hworkbookreader.h"

// Reads an Excel 97-2003 (.xls) workbook row by row through FreeXL.
class HXlsReader
{
public:
    static bool read(const QString &path, HWorkbookVisitor &visitor, const QString &onlySheet,
                     QString *error);
};
