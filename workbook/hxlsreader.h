#pragma once

#include "hworkbookreader.h"

// Reads an Excel 97-2003 (.xls) workbook row by row. The file is read by FreeXL in a helper
// program, product-xlsread beside the executable, on every platform: FreeXL trusts the
// structure of the file it reads, and a damaged file that crashes or hangs it must not take
// the tool down. The rows are handed on as the helper writes them.
class HXlsReader
{
public:
    static bool read(const QString &path, HWorkbookVisitor &visitor, const QString &onlySheet,
                     QString *error);

    // The helper program (product-xlsread beside the executable) and how long it may take.
    static QString helperProgram();
    static void setHelperProgram(const QString &program);
    static void setTimeout(int milliseconds);
};
