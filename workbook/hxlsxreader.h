#pragma once

#include "hworkbookreader.h"

// Reads an Office Open XML (.xlsx) workbook row by row: shared strings, in-cell strings,
// numbers, booleans, the stored results of formulas; cells and rows with or without their
// position attribute. See HWorkbookReader for the limits.
class HXlsxReader
{
public:
    static bool read(const QString &path, HWorkbookVisitor &visitor, const QString &onlySheet,
                     QString *error);
};
