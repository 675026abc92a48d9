#include "hxlsxwriter.h"

#include "hworkbookreader.h"
#include "hxlsxreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <xlsxwriter.h>

#ifdef Q_OS_LINUX
#include <dlfcn.h>
#include <unistd.h>
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
    lxw_workbook *(*workbookNew)(const char *, lxw_workbook_options *) = nullptr;
    lxw_worksheet *(*addWorksheet)(lxw_workbook *, const char *) = nullptr;
    lxw_error (*writeString)(lxw_worksheet *, lxw_row_t, lxw_col_t, const char *,
                             lxw_format *) = nullptr;
    lxw_error (*workbookClose)(lxw_workbook *) = nullptr;
    char *(*strError)(lxw_error) = nullptr;
    // The C library of the writer's namespace keeps its own pointer to the environment.
    char ***environment = nullptr;

    // The environment as it is now: the writer's copy of the pointer is the one of the moment
    // it was loaded, and a variable set since (setenv, qputenv) may have moved the array and
    // freed the old one, which the writer would then read when it looks for its temporary
    // folder.
    void shareEnvironment() const
    {
#ifdef Q_OS_LINUX
        if (environment)
            *environment = environ;
#endif
    }

    WriterLibrary()
    {
#ifndef Q_OS_LINUX
        // Elsewhere each library binds to its own dependencies: nothing to keep apart.
        handle = reinterpret_cast<void *>(&workbook_new_opt);
        workbookNew = &workbook_new_opt;
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
        workbookNew = reinterpret_cast<decltype(workbookNew)>(dlsym(handle, "workbook_new_opt"));
        addWorksheet =
            reinterpret_cast<decltype(addWorksheet)>(dlsym(handle, "workbook_add_worksheet"));
        writeString =
            reinterpret_cast<decltype(writeString)>(dlsym(handle, "worksheet_write_string"));
        workbookClose = reinterpret_cast<decltype(workbookClose)>(dlsym(handle, "workbook_close"));
        strError = reinterpret_cast<decltype(strError)>(dlsym(handle, "lxw_strerror"));
        environment = static_cast<char ***>(dlsym(handle, "environ"));
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

QString thousands(qint64 value)
{
    QString text = QString::number(value);
    for (int at = text.size() - 3; at > 0; at -= 3)
        text.insert(at, QLatin1Char(','));
    return text;
}

// Collects the digest of what a reader finds, to compare with what was written.
class DigestVisitor : public HWorkbookVisitor
{
public:
    bool sheet(const QString &name, bool, QString *) override
    {
        sheets.append(HXlsxWriter::Digest{name, 0, 0, 0});
        return true;
    }
    bool row(const HWorkbookRow &row, QString *) override
    {
        HXlsxWriter::Digest &digest = sheets.last();
        bool any = false;
        for (int c = 0; c < row.cells.size(); ++c) {
            if (row.cells.at(c).isEmpty())
                continue;
            digest.add(row.index, c, row.cells.at(c));
            any = true;
        }
        digest.rows += any ? 1 : 0;
        return true;
    }
    QVector<HXlsxWriter::Digest> sheets;
};

} // namespace

void HXlsxWriter::Digest::add(int row, int column, const QString &text)
{
    ++cells;
    hash = (hash ^ (quint64(uint(row)) << 20 ^ quint64(uint(column)))) * 1099511628211ULL;
    hash = (hash ^ qHash(text)) * 1099511628211ULL;
}

HXlsxWriter::HXlsxWriter(const QString &path, qint64 rows)
    : HWorkbookWriter(path)
    , m_file(path)
    , m_rows(rows)
{}

HXlsxWriter::~HXlsxWriter()
{
    // Unfinished: closing is the library's one way to let go of its temporary files; what it
    // writes goes with m_file's temporary file.
    if (m_workbook) {
        writerLibrary().shareEnvironment();
        writerLibrary().workbookClose(m_workbook);
    }
}

bool HXlsxWriter::start()
{
    m_started = true;
    const WriterLibrary &lib = writerLibrary();
    if (!lib.handle)
        return fail(lib.error);
    if (!m_temp.isValid())
        return fail(QStringLiteral("no temporary folder for the .xlsx writer: %1")
                        .arg(m_temp.errorString()));
    if (!m_file.open())
        return fail(m_file.errorString());
    // The library's own temporary files go to a private folder in the temporary folder the
    // user chose (TMPDIR), not to the C library's fixed one.
    const QByteArray temp = QFile::encodeName(QDir::toNativeSeparators(m_temp.path()));
    lxw_workbook_options options{};
    options.constant_memory = m_rows > ConstantMemoryRows ? LXW_TRUE : LXW_FALSE;
    options.tmpdir = const_cast<char *>(temp.constData());
    lib.shareEnvironment();
    m_workbook = lib.workbookNew(QFile::encodeName(m_file.temporaryPath()).constData(), &options);
    if (!m_workbook)
        return fail(QStringLiteral("the .xlsx writer could not start"));
    return true;
}

bool HXlsxWriter::addSheet(const QString &name)
{
    if (!m_error.isEmpty() || m_done || (!m_started && !start()))
        return false;
    for (const Digest &sheet : qAsConst(m_written)) {
        if (HWorkbook::sameSheetName(sheet.name, name))
            return fail(QStringLiteral("two sheets are named \"%1\"").arg(name));
    }
    m_sheet = writerLibrary().addWorksheet(m_workbook, name.toUtf8().constData());
    if (!m_sheet)
        return fail(QStringLiteral("\"%1\" cannot be the name of a sheet").arg(name));
    m_written.append(Digest{name, 0, 0, 0});
    m_lastRow = -1;
    return true;
}

bool HXlsxWriter::addRow(int row, const QStringList &cells)
{
    if (!m_error.isEmpty() || m_done)
        return false;
    if (!m_sheet)
        return fail(QStringLiteral("a row before the first sheet"));
    Digest &digest = m_written.last();
    if (row >= HWorkbookReader::MaxRows)
        return fail(rowLimitError(HWorkbook::Xlsx, digest.name, qint64(row) + 1));
    if (row <= m_lastRow)
        return fail(QStringLiteral("sheet \"%1\": row %2 written after row %3")
                        .arg(digest.name)
                        .arg(row + 1)
                        .arg(m_lastRow + 1));
    const WriterLibrary &lib = writerLibrary();
    bool any = false;
    for (int c = 0; c < cells.size(); ++c) {
        const QString &text = cells.at(c);
        if (text.isEmpty())
            continue;
        if (c >= HWorkbookReader::MaxColumns)
            return fail(QStringLiteral("sheet \"%1\", row %2 has cells beyond column %3, the "
                                       "last one written")
                            .arg(digest.name)
                            .arg(row + 1)
                            .arg(HWorkbook::columnName(HWorkbookReader::MaxColumns - 1)));
        const lxw_error rc =
            lib.writeString(m_sheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(c),
                            HWorkbook::encodeEscapes(text).toUtf8().constData(), nullptr);
        if (rc != LXW_NO_ERROR)
            return fail(QStringLiteral("sheet \"%1\", row %2, column %3: %4")
                            .arg(digest.name)
                            .arg(row + 1)
                            .arg(c + 1)
                            .arg(QString::fromUtf8(lib.strError(rc))));
        digest.add(row, c, text);
        any = true;
    }
    if (any) {
        ++digest.rows;
        m_lastRow = row;
    }
    return true;
}

bool HXlsxWriter::verify(QString *problem)
{
    DigestVisitor read;
    QString error;
    if (!HXlsxReader::read(m_file.temporaryPath(), read, QString(), &error)) {
        *problem = error;
        return false;
    }
    if (read.sheets.size() != m_written.size()) {
        *problem = QStringLiteral("it holds %1 of %2 sheets")
                       .arg(read.sheets.size())
                       .arg(m_written.size());
        return false;
    }
    for (int s = 0; s < m_written.size(); ++s) {
        const Digest &wrote = m_written.at(s);
        const Digest &found = read.sheets.at(s);
        if (found.name != wrote.name) {
            *problem =
                QStringLiteral("sheet \"%1\" reads back as \"%2\"").arg(wrote.name, found.name);
            return false;
        }
        if (found.rows != wrote.rows || found.cells != wrote.cells) {
            *problem = QStringLiteral("sheet \"%1\" holds %2 of %3 rows, %4 of %5 cells")
                           .arg(wrote.name, thousands(found.rows), thousands(wrote.rows),
                                thousands(found.cells), thousands(wrote.cells));
            return false;
        }
        if (found.hash != wrote.hash) {
            *problem = QStringLiteral("sheet \"%1\" reads back with other texts").arg(wrote.name);
            return false;
        }
    }
    return true;
}

bool HXlsxWriter::commit()
{
    if (m_done)
        return fail(QStringLiteral("the workbook was written already"));
    if (!m_error.isEmpty())
        return false;
    if (m_written.isEmpty())
        return fail(QStringLiteral("a workbook needs at least one sheet"));
    m_done = true;
    const WriterLibrary &lib = writerLibrary();
    lib.shareEnvironment();
    const lxw_error rc = lib.workbookClose(m_workbook); // frees the workbook too
    m_workbook = nullptr;
    m_sheet = nullptr;
    const QString full =
        QStringLiteral("; the disk or the temporary folder %1 is probably full")
            .arg(QDir::toNativeSeparators(QFileInfo(m_temp.path()).absolutePath()));
    if (rc != LXW_NO_ERROR) {
        m_file.cancel();
        return fail(
            QStringLiteral("Cannot write %1: %2%3")
                .arg(QDir::toNativeSeparators(m_path), QString::fromUtf8(lib.strError(rc)), full));
    }
    QString problem;
    if (!verify(&problem)) {
        m_file.cancel();
        return fail(QStringLiteral("Cannot write %1: the .xlsx library wrote an incomplete "
                                   "workbook (%2)%3")
                        .arg(QDir::toNativeSeparators(m_path), problem, full));
    }
    if (!m_file.commit())
        return fail(m_file.errorString());
    return true;
}
