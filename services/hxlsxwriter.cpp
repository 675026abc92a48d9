#include "hxlsxwriter.h"

#include <QFile>

#include <xlsxwriter.h>

bool HXlsxWriter::write(const QString &path, const QVector<HWorkbookSheet> &sheets, QString *error)
{
    lxw_workbook *workbook = workbook_new(QFile::encodeName(path).constData());
    if (!workbook) {
        *error = QStringLiteral("the .xlsx writer could not start");
        return false;
    }
    QString failure;
    for (const HWorkbookSheet &sheet : sheets) {
        const QByteArray name = sheet.name.toUtf8();
        lxw_worksheet *worksheet = workbook_add_worksheet(workbook, name.constData());
        if (!worksheet) {
            failure = QStringLiteral("\"%1\" cannot be the name of a sheet").arg(sheet.name);
            break;
        }
        for (int r = 0; r < sheet.rows.size() && failure.isEmpty(); ++r) {
            const QStringList &row = sheet.rows.at(r);
            for (int c = 0; c < row.size(); ++c) {
                if (row.at(c).isEmpty())
                    continue;
                const lxw_error rc =
                    worksheet_write_string(worksheet, static_cast<lxw_row_t>(r),
                                           static_cast<lxw_col_t>(c), row.at(c).toUtf8().constData(),
                                           nullptr);
                if (rc != LXW_NO_ERROR) {
                    failure = QStringLiteral("sheet \"%1\", row %2, column %3: %4")
                                  .arg(sheet.name).arg(r + 1).arg(c + 1)
                                  .arg(QString::fromUtf8(lxw_strerror(rc)));
                    break;
                }
            }
        }
        if (!failure.isEmpty())
            break;
    }
    // Closing also frees the workbook, so it runs on the failure path too; the half-written
    // file lives in a private folder and is thrown away by the caller.
    const lxw_error rc = workbook_close(workbook);
    if (!failure.isEmpty()) {
        *error = failure;
        return false;
    }
    if (rc != LXW_NO_ERROR) {
        *error = QStringLiteral("the .xlsx file could not be written: %1")
                     .arg(QString::fromUtf8(lxw_strerror(rc)));
        return false;
    }
    return true;
}
