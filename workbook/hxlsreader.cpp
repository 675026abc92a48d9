#include "hxlsreader.h"

#include "hworkbook.h"

#include <QDataStream>
#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

namespace {

bool readInProcess(const QString &path, QVector<HWorkbookSheet> *sheets, QString *error)
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
    if (freexl_get_info(handle.xls, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
        info == FREEXL_BIFF_OBFUSCATED) {
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
                                 .arg(sheet.name)
                                 .arg(r + 1)
                                 .arg(freexlError(rc));
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

} // namespace

#ifdef Q_OS_UNIX

// FreeXL trusts the structure of the file it reads, and a damaged file can make it crash.
// It therefore reads in a child process: a crash or a hang there is a damaged workbook
// here, not the end of the tool. The child hands the sheets back through a pipe.
static bool readSheets(const QString &path, QVector<HWorkbookSheet> *sheets, QString *error)
{
    int fds[2];
    if (pipe(fds) != 0)
        return readInProcess(path, sheets, error);
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return readInProcess(path, sheets, error);
    }
    if (child == 0) {
        // A crash here must end this process only, without any handler of the parent's.
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
            signal(sig, SIG_DFL);
        close(fds[0]);
        QVector<HWorkbookSheet> found;
        QString failure;
        const bool ok = readInProcess(path, &found, &failure);
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << ok << failure << qint32(found.size());
            for (const HWorkbookSheet &sheet : qAsConst(found))
                out << sheet.name << sheet.rows;
        }
        const char *data = bytes.constData();
        qint64 left = bytes.size();
        while (left > 0) {
            const ssize_t n =
                ::write(fds[1], data, static_cast<size_t>(qMin<qint64>(left, 1 << 20)));
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                break;
            }
            data += n;
            left -= n;
        }
        close(fds[1]);
        _exit(0);
    }

    close(fds[1]);
    QByteArray bytes;
    bool timedOut = false;
    char buffer[65536];
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, 120000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = true;
            kill(child, SIGKILL);
            break;
        }
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<int>(n));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        *error = QStringLiteral("the .xls workbook is damaged: reading it did not finish");
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *error =
            QStringLiteral("the .xls workbook is damaged: the reader stopped%1")
                .arg(WIFSIGNALED(status) ? QStringLiteral(" on signal %1").arg(WTERMSIG(status))
                                         : QString());
        return false;
    }
    QDataStream in(bytes);
    bool ok = false;
    QString failure;
    qint32 count = 0;
    in >> ok >> failure >> count;
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        HWorkbookSheet sheet;
        in >> sheet.name >> sheet.rows;
        sheets->append(sheet);
    }
    if (in.status() != QDataStream::Ok) {
        sheets->clear();
        *error = QStringLiteral(
            "the .xls workbook could not be read: the reader's answer was cut short");
        return false;
    }
    if (!ok) {
        sheets->clear();
        *error = failure;
    }
    return ok;
}

#else

static bool readSheets(const QString &path, QVector<HWorkbookSheet> *sheets, QString *error)
{
    return readInProcess(path, sheets, error);
}

#endif

bool HXlsReader::read(const QString &path, HWorkbookVisitor &visitor, const QString &onlySheet,
                      QString *error)
{
    QVector<HWorkbookSheet> sheets;
    if (!readSheets(path, &sheets, error))
        return false;
    bool found = false;
    for (const HWorkbookSheet &sheet : qAsConst(sheets)) {
        const bool wanted =
            onlySheet.isEmpty() || (!found && HWorkbook::sameSheetName(sheet.name, onlySheet));
        found = found || wanted;
        if (!visitor.sheet(sheet.name, wanted, error))
            return false;
        if (!wanted)
            continue;
        HWorkbookRow row;
        for (int r = 0; r < sheet.rows.size(); ++r) {
            if (sheet.rows.at(r).isEmpty())
                continue;
            row.index = r;
            row.cells = sheet.rows.at(r).toVector();
            if (!visitor.row(row, error))
                return false;
        }
    }
    return true;
}
