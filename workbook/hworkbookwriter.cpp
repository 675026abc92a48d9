#include "hworkbookwriter.h"

#include "hbiff8writer.h"
#include "hworkbookreader.h"
#include "hxlsxwriter.h"

HWorkbookWriter::HWorkbookWriter(const QString &path)
    : m_path(path)
{}

HWorkbookWriter::~HWorkbookWriter() = default;

bool HWorkbookWriter::fail(const QString &error)
{
    if (m_error.isEmpty())
        m_error = error;
    return false;
}

std::unique_ptr<HWorkbookWriter> HWorkbookWriter::create(HWorkbook::Format format,
                                                         const QString &path, qint64 rows)
{
    if (format == HWorkbook::Xls)
        return std::make_unique<HBiff8Writer>(path, rows);
    return std::make_unique<HXlsxWriter>(path, rows);
}

int HWorkbookWriter::maxRows(HWorkbook::Format format)
{
    return format == HWorkbook::Xls ? HBiff8Writer::MaxRows : HWorkbookReader::MaxRows;
}

QString HWorkbookWriter::rowLimitError(HWorkbook::Format format, const QString &sheet, qint64 rows)
{
    if (rows <= maxRows(format))
        return QString();
    if (format == HWorkbook::Xls)
        return QStringLiteral("sheet \"%1\" would have %2 rows, but an .xls sheet holds at most "
                              "%3 rows (save as .xlsx instead)")
            .arg(sheet)
            .arg(rows)
            .arg(maxRows(format));
    return QStringLiteral("sheet \"%1\" would have %2 rows, but a sheet holds at most %3 rows")
        .arg(sheet)
        .arg(rows)
        .arg(maxRows(format));
}
