#include "hxlsxwriter.h"

#include <QFile>

#include <xlsxwriter.h>

#ifdef Q_OS_LINUX
#include <dlfcn.h>
#endif

namespace {

// libxlsxwriter packs its files with the system minizip, and QuaZip (our .xlsx reader)
// exports minizip's function names too, with its own incompatible versions. Loaded
// normally, libxlsxwriter's calls would land in QuaZip and crash. So the writer is loaded
// into a link namespace of its own, where its names resolve to its own dependencies only.
struct WriterLibrary
{
    void *handle = nullptr;
    QString error;
    lxw_workbook *(*workbookNew)(const char *) = nullptr;
    lxw_worksheet *(*addWorksheet)(lxw_workbook *, const char *) = nullptr;
    lxw_error (*writeString)(lxw_worksheet *, lxw_row_t, lxw_col_t, const char *,
                             lxw_format *) = nullptr;
    lxw_error (*workbookClose)(lxw_workbook *) = nullptr;
    char *(*strError)(lxw_error) = nullptr;

    WriterLibrary()
    {
#ifndef Q_OS_LINUX
        // Elsewhere each library binds to its own dependencies: nothing to keep apart.
        handle = reinterpret_cast<void *>(&workbook_new);
        workbookNew = &workbook_new;
        addWorksheet = &workbook_add_worksheet;
        writeString = &worksheet_write_string;
        workbookClose = &workbook_close;
        strError = &lxw_strerror;
#else
        for (const char *name : {"libxlsxwriter.so.4", "libxlsxwriter.so"}) {
            handle = dlmopen(LM_ID_NEWLM, name, RTLD_NOW | RTLD_LOCAL);
            if (handle)
                break;
        }
        if (!handle) {
            error = QStringLiteral("the .xlsx writer library cannot be loaded: %1")
                        .arg(QString::fromLocal8Bit(dlerror()));
            return;
        }
        workbookNew = reinterpret_cast<decltype(workbookNew)>(dlsym(handle, "workbook_new"));
        addWorksheet =
            reinterpret_cast<decltype(addWorksheet)>(dlsym(handle, "workbook_add_worksheet"));
        writeString =
            reinterpret_cast<decltype(writeString)>(dlsym(handle, "worksheet_write_string"));
        workbookClose = reinterpret_cast<decltype(workbookClose)>(dlsym(handle, "workbook_close"));
        strError = reinterpret_cast<decltype(strError)>(dlsym(handle, "lxw_strerror"));
        if (!workbookNew || !addWorksheet || !writeString || !workbookClose || !strError) {
            error = QStringLiteral("the .xlsx writer library lacks a function it should have");
            handle = nullptr;
        }
#endif
    }
};

const WriterLibrary &writerLibrary()
{
    static const WriterLibrary library;
    return library;
}

} // namespace

bool HXlsxWriter::write(const QString &path, const QVector<HWorkbookSheet> &sheets, QString *error)
{
    const WriterLibrary &lib = writerLibrary();
    if (!lib.handle) {
        *error = lib.error;
        return false;
    }
    lxw_workbook *workbook = lib.workbookNew(QFile::encodeName(path).constData());
    if (!workbook) {
        *error = QStringLiteral("the .xlsx writer could not start");
        return false;
    }
    QString failure;
    for (const HWorkbookSheet &sheet : sheets) {
        const QByteArray name = sheet.name.toUtf8();
        lxw_worksheet *worksheet = lib.addWorksheet(workbook, name.constData());
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
                    lib.writeString(worksheet, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c),
                                    row.at(c).toUtf8().constData(), nullptr);
                if (rc != LXW_NO_ERROR) {
                    failure = QStringLiteral("sheet \"%1\", row %2, column %3: %4")
                                  .arg(sheet.name)
                                  .arg(r + 1)
                                  .arg(c + 1)
                                  .arg(QString::fromUtf8(lib.strError(rc)));
                    break;
                }
            }
        }
        if (!failure.isEmpty())
            break;
    }
    // Closing also frees the workbook, so it runs on the failure path too; the half-written
    // file lives in a private folder and is thrown away by the caller.
    const lxw_error rc = lib.workbookClose(workbook);
    if (!failure.isEmpty()) {
        *error = failure;
        return false;
    }
    if (rc != LXW_NO_ERROR) {
        *error = QStringLiteral("the .xlsx file could not be written: %1")
                     .arg(QString::fromUtf8(lib.strError(rc)));
        return false;
    }
    return true;
}
