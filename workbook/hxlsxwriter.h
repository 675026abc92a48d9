#pragma once

#include "hsafefile.h"
#include "hworkbookwriter.h"

#include <QTemporaryDir>

struct lxw_workbook;
struct lxw_worksheet;

// Writes an .xlsx file through libxlsxwriter; every cell is a text cell so that leading zeros
// and blanks survive. The library checks few of its own writes (its temporary files are
// written unchecked), so the finished file is read back and compared with what was written
// before it replaces the target.
class HXlsxWriter : public HWorkbookWriter
{
public:
    // Tables of more rows are written in the library's constant-memory mode (in-cell strings
    // instead of a shared string table, each row written out as soon as it is complete).
    static constexpr qint64 ConstantMemoryRows = 5000;

    HXlsxWriter(const QString &path, qint64 rows);
    ~HXlsxWriter() override;

    bool addSheet(const QString &name) override;
    bool addRow(int row, const QStringList &cells) override;
    bool commit() override;

    // What was written, sheet by sheet, to compare with what is read back.
    struct Digest
    {
        QString name;
        qint64 rows = 0;
        qint64 cells = 0;
        quint64 hash = 0;
        void add(int row, int column, const QString &text);
    };

private:
    bool start();
    bool verify(QString *problem);

    HSafeFile m_file;
    QTemporaryDir m_temp;
    qint64 m_rows;
    bool m_started = false;
    bool m_done = false;
    lxw_workbook *m_workbook = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    int m_lastRow = -1;
    QVector<Digest> m_written;
};
