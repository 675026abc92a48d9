#pragma once

// File system faults for the suites: a full disk (a file size limit, SIGXFSZ ignored so that a
// write past it fails with EFBIG instead of killing the process) and a folder that cannot be
// written, also when the tests run as root.

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <csignal>
#include <functional>
#include <memory>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace FileFaults {

// A full disk for this process while it lives: files may not grow beyond `limit` bytes.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 limit)
    {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        struct rlimit limited = m_saved;
        limited.rlim_cur = rlim_t(limit);
        m_ok = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool ok() const { return m_ok; }

private:
    struct rlimit m_saved;
    void (*m_handler)(int) = nullptr;
    bool m_ok = false;
};

// Runs `job` in a forked child whose files may not grow beyond `limit` bytes (no limit when it
// is 0) and returns what the job returned; "child failed" when the child did not finish.
inline QByteArray inChild(qint64 limit, const std::function<QByteArray()> &job)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "child failed: no pipe";
    const pid_t pid = ::fork();
    if (pid < 0)
        return "child failed: no fork";
    if (pid == 0) {
        ::close(fds[0]);
        std::unique_ptr<FileSizeLimit> limited(limit > 0 ? new FileSizeLimit(limit) : nullptr);
        const QByteArray reply = job();
        for (qint64 done = 0, n = 0; done < reply.size(); done += n) {
            if ((n = ::write(fds[1], reply.constData() + done, size_t(reply.size() - done))) <= 0)
                break;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray reply;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        reply.append(buffer, int(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child failed: status " + QByteArray::number(status);
    return reply;
}

// `folder` read-only (0555) while this lives. Root writes into such a folder anyway, so as root
// the calling thread also gives up the capability to override permissions until then.
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString &folder)
        : m_folder(folder)
    {
        m_permissions = QFile::permissions(folder);
        if (!QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                               QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                               QFileDevice::ReadOther | QFileDevice::ExeOther)) {
            m_why = QStringLiteral("cannot change the permissions of ") + folder;
            return;
        }
        if (::geteuid() == 0) {
            m_header = {_LINUX_CAPABILITY_VERSION_3, 0};
            if (::syscall(SYS_capget, &m_header, m_saved) != 0) {
                m_why = QStringLiteral("running as root, and the capabilities cannot be read");
                return;
            }
            __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
            reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
            if (::syscall(SYS_capset, &m_header, reduced) != 0) {
                m_why = QStringLiteral("running as root, and CAP_DAC_OVERRIDE cannot be dropped");
                return;
            }
            m_dropped = true;
        }
        m_ok = true;
    }
    ~ReadOnlyFolder()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
        QFile::setPermissions(m_folder, m_permissions);
    }
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;
    bool ok() const { return m_ok; }
    QString why() const { return m_why; }

private:
    QString m_folder;
    QFileDevice::Permissions m_permissions;
    __user_cap_header_struct m_header = {};
    __user_cap_data_struct m_saved[2] = {};
    bool m_dropped = false;
    bool m_ok = false;
    QString m_why;
};

// Sets a file's modification time into the past, so that a rewrite shows in its time.
inline bool age(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)),
                            QFileDevice::FileModificationTime);
}

inline QDateTime modified(const QString &path)
{
    return QFileInfo(path).lastModified();
}

} // namespace FileFaults
