#include "hxlsreader.h"

#include <QFile>

#include <freexl.h>

namespace {

QString freexlError(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("the file does not exist or cannot be read");
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("not enough memory to read the workbook");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
        return QStringLiteral("the file is not an .xls workbook");
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral("the file holds no Excel 97-2003 workbook");
    case FREEXL_INVALID_CHARACTER:
    case FREEXL_UNSUPPORTED_CHARSET:
        return QStringLiteral("the workbook holds text in an unsupported character set");
    default:
        return QStringLiteral("the .xls workbook is damaged or unreadable (error %1)").arg(code);
    }
}

// Closes the FreeXL handle on every way out.
struct Handle
{
    const void *xls = nullptr;
    ~Handle()
    {
        if (xls)
            freexl_close(xls);
    }
};

} // namespace

bool HXlsReader::read(const QString &path, QVector<HWorkbookSheet> *sheets, QString *error)
{
    Handle handle;
    int rc = freexl_open(QFile::encodeName(path).constData(), &handle.xls);
    if (rc != FREEXL_OK) {
        if (handle.xls) {
            freexl_close(handle.xls);
            handle.xls = nullptr;
        }
        *error = freexlError(rc);
        return false;
    }
    unsigned int info = 0;
    if (freexl_get_info(handle.xls, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK
        && info == FREEXL_BIFF_OBFUSCATED) {
        *error = QStringLiteral("the workbook is password protected");
        return false;
    }
    unsigned int count = 0;
    rc = freexl_get_info(handle.xls, FREEXL_BIFF_SHEET_COUNT, &count);
    if (rc != FREEXL_OK) {
        *error = freexlError(rc);
        return false;
    }
    for (unsigned int s = 0; s < count; ++s) {
        const unsigned short index = static_cast<unsigned short>(s);
        HWorkbookSheet sheet;
        const char *name = nullptr;
        rc = freexl_get_worksheet_name(handle.xls, index, &name);
        if (rc != FREEXL_OK || !name) {
            *error = freexlError(rc);
            return false;
        }
        sheet.name = QString::fromUtf8(name);
        rc = freexl_select_active_worksheet(handle.xls, index);
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (rc == FREEXL_OK)
            rc = freexl_worksheet_dimensions(handle.xls, &rows, &columns);
        if (rc != FREEXL_OK) {
            *error = QStringLiteral("sheet \"%1\": %2").arg(sheet.name, freexlError(rc));
            return false;
        }
        sheet.rows.reserve(static_cast<int>(rows));
        for (unsigned int r = 0; r < rows; ++r) {
            QStringList cells;
            int used = 0;
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue value;
                rc = freexl_get_cell_value(handle.xls, r, c, &value);
                if (rc != FREEXL_OK) {
                    *error = QStringLiteral("sheet \"%1\", row %2: %3")
                                 .arg(sheet.name).arg(r + 1).arg(freexlError(rc));
                    return false;
                }
                QString text;
                switch (value.type) {
                case FREEXL_CELL_INT:
                    text = QString::number(value.value.int_value);
                    break;
                case FREEXL_CELL_DOUBLE:
                    text = HWorkbook::numberText(value.value.double_value);
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME:
                    text = value.value.text_value ? QString::fromUtf8(value.value.text_value)
                                                  : QString();
                    break;
                default:
                    break;
                }
                cells.append(text);
                if (!text.isEmpty())
                    used = c + 1;
            }
            cells.erase(cells.begin() + used, cells.end());
            sheet.rows.append(cells);
        }
        sheets->append(sheet);
    }
    return true;
}
