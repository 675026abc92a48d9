#pragma once

#include "htextindex.h"
#include "hworkbookwriter.h"

#include <QByteArray>
#include <QVector>

// Writes an Excel 97-2003 (.xls) file: a BIFF8 workbook stream of our own inside an OLE2
// compound file written by libgsf. Every cell is a text cell from the shared string table.
// The sheets' cell records are built as rows come; the workbook globals (which hold the
// string table) and the container follow at commit().
class HBiff8Writer : public HWorkbookWriter
{
public:
    static constexpr int MaxRows = 65536;
    static constexpr int MaxColumns = 256;
    // Excel takes 32,767 characters, but a longer text than this would span more than two
    // records of the string table, which FreeXL, our .xls reader, cannot read back.
    static constexpr int MaxTextLength = 8000;

    // `rows`: how many rows all sheets hold, when known.
    explicit HBiff8Writer(const QString &path, qint64 rows = 0);

    bool addSheet(const QString &name) override;
    bool addRow(int row, const QStringList &cells) override;
    bool commit() override;

    // The BIFF8 workbook stream of what was added (commit() wraps it in the container).
    bool workbookStream(QByteArray *stream);

private:
    struct Sheet
    {
        QString name;
        QByteArray body; // ROW and LABELSST records, block by block
        int rows = 0;    // the last row holding a cell, plus one
        int width = 0;   // the last column holding a cell, plus one
    };
    void flushBlock();

    QVector<Sheet> m_sheets;
    HTextIndex m_strings; // the shared string table
    quint32 m_cells = 0;
    // Rows go in blocks of 32: the ROW records of the block, then its cells.
    QByteArray m_blockRows;
    QByteArray m_blockCells;
    int m_block = -1;
    int m_lastRow = -1;
    bool m_done = false;
};
