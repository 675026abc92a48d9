#include "hsafefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::atomic<qint64> g_bytesCommitted{0};

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

#ifdef Q_OS_WIN
QString systemError()
{
    return QString::fromLocal8Bit(qt_error_string(int(GetLastError())).toLocal8Bit());
}

bool replaceFile(const QString &from, const QString &to, QString *cause)
{
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                    reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *cause = systemError();
    return false;
}

bool syncFile(QFile &file, QString *cause)
{
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()))))
        return true;
    *cause = systemError();
    return false;
}
#else
bool replaceFile(const QString &from, const QString &to, QString *cause)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *cause = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool syncFile(QFile &file, QString *cause)
{
    if (::fsync(file.handle()) == 0)
        return true;
    *cause = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

// The rename itself reaches the disk with the folder's entries.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
#endif

#ifdef Q_OS_WIN
void syncFolder(const QString &)
{}
#endif

} // namespace

HSafeFile::HSafeFile(const QString &target)
    : m_target(target)
{
    // A link is written through, so that what it points to changes and the link stays.
    const QFileInfo info(target);
    if (info.isSymLink())
        m_target = info.symLinkTarget();
}

HSafeFile::~HSafeFile()
{
    cancel();
}

// The first error of a round stays: a later call on the dropped file would only say that it
// is not open.
bool HSafeFile::fail(const QString &what, const QString &cause)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1 %2: %3").arg(what, shown(m_target), cause);
    cancel();
    return false;
}

bool HSafeFile::open()
{
    cancel();
    m_error.clear();
    m_written = 0;
    m_wrote = false;
    m_committed = false;
    const QFileInfo info(m_target);
    if (info.isDir())
        return fail(QStringLiteral("Cannot write"), QStringLiteral("it is a folder"));
    if (!QDir().mkpath(info.absolutePath()))
        return fail(
            QStringLiteral("Cannot write"),
            QStringLiteral("the folder %1 cannot be created").arg(shown(info.absolutePath())));
    // Beside the target, so that the final rename stays on one file system. Created like any
    // new file (the umask decides), then given the permissions of the file it replaces.
    // Unbuffered: a buffered write "succeeds" into memory, and the failure of the later
    // flush can go unreported.
    for (int attempt = 0; attempt < 100 && !m_temp; ++attempt) {
        const QString path = info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                             QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(),
                                                           8, 16, QLatin1Char('0'));
        auto *file = new QFile(path);
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            m_temp = file;
            m_tempPath = path;
        } else {
            const bool taken = file->exists();
            const QString cause = file->errorString();
            delete file;
            if (!taken)
                return fail(QStringLiteral("Cannot write"), cause);
        }
    }
    if (!m_temp)
        return fail(QStringLiteral("Cannot write"),
                    QStringLiteral("no free name for a temporary file"));
    if (info.exists() && !m_temp->setPermissions(QFile::permissions(m_target)))
        return fail(QStringLiteral("Cannot write"), m_temp->errorString());
    return true;
}

bool HSafeFile::write(const QByteArray &bytes)
{
    if (!m_temp)
        return fail(QStringLiteral("Cannot write"), QStringLiteral("the file is not open"));
    m_wrote = true;
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = m_temp->write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return fail(QStringLiteral("Cannot write"), m_temp->error() == QFileDevice::NoError
                                                            ? QStringLiteral("the disk is full")
                                                            : m_temp->errorString());
        done += n;
    }
    m_written += done;
    return true;
}

QString HSafeFile::temporaryPath() const
{
    return m_tempPath;
}

bool HSafeFile::commit()
{
    if (!m_temp)
        return fail(QStringLiteral("Cannot write"), QStringLiteral("the file is not open"));
    QString cause;
    if (!m_temp->isOpen() || !m_temp->flush())
        return fail(QStringLiteral("Cannot write"), m_temp->errorString());
    m_temp->close();
    // A library may have written the file through a handle of its own: sync what is on disk.
    QFile written(m_tempPath);
    if (!written.open(QIODevice::ReadWrite))
        return fail(QStringLiteral("Cannot write"), written.errorString());
    if (!syncFile(written, &cause))
        return fail(QStringLiteral("Cannot write"), cause);
    const qint64 size = written.size();
    written.close();
    if (m_wrote ? size != m_written : size <= 0)
        return fail(QStringLiteral("Cannot write"),
                    QStringLiteral("only %1 of %2 bytes reached the disk (is it full?)")
                        .arg(size)
                        .arg(qMax(m_written, qint64(1))));

    if (m_keepBackup && QFileInfo::exists(m_target)) {
        // The earlier version is copied aside through a file of its own, so that a failed
        // copy leaves the previous backup as it was.
        HSafeFile backup(m_target + QStringLiteral(".bak"));
        QFile earlier(m_target);
        if (!earlier.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("Cannot keep a backup of"), earlier.errorString());
        const QByteArray bytes = earlier.readAll();
        if (!backup.open() || !backup.write(bytes) || !backup.commit())
            return fail(QStringLiteral("Cannot keep the earlier version of"), backup.errorString());
    }

    if (!replaceFile(m_tempPath, m_target, &cause))
        return fail(QStringLiteral("Cannot replace"), cause);
    syncFolder(QFileInfo(m_target).absolutePath());
    delete m_temp;
    m_temp = nullptr;
    m_tempPath.clear();
    m_committed = true;
    g_bytesCommitted += size;
    return true;
}

void HSafeFile::cancel()
{
    delete m_temp;
    m_temp = nullptr;
    if (!m_tempPath.isEmpty())
        QFile::remove(m_tempPath);
    m_tempPath.clear();
}

HSafeFile::Result HSafeFile::writeFile(const QString &target, const QByteArray &bytes,
                                       QString *error, bool keepBackup, bool skipIfUnchanged)
{
    if (skipIfUnchanged) {
        QFile existing(target);
        if (existing.size() == bytes.size() && existing.open(QIODevice::ReadOnly) &&
            existing.readAll() == bytes)
            return Result::Unchanged;
    }
    HSafeFile file(target);
    file.setKeepBackup(keepBackup);
    if (file.open() && file.write(bytes) && file.commit())
        return Result::Written;
    if (error)
        *error = file.errorString();
    return Result::Failed;
}

qint64 HSafeFile::totalBytesCommitted()
{
    return g_bytesCommitted;
}
