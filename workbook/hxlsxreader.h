#pragma once

#include "hworkbook.h"

// Reads the sheets of an Office Open XML (.xlsx) workbook: shared strings, in-cell strings,
// numbers, booleans; cells and rows with or without their position attribute.
class HXlsxReader
{
public:
    static bool read(const QString &path, QVector<HWorkbookSheet> *sheets, QString *error);
};
