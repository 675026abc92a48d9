#include "hhelperprocess.h"

#include <QDeadlineTimer>
#include <QFile>

#ifdef Q_OS_WIN
#include <QProcess>
#else
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;
#endif

#ifdef Q_OS_WIN

struct HHelperProcess::Process
{
    QProcess process;
};

HHelperProcess::HHelperProcess()
    : m_process(new Process)
{}

HHelperProcess::~HHelperProcess()
{
    if (m_process->process.state() != QProcess::NotRunning)
        kill();
}

bool HHelperProcess::start(const QString &program, const QStringList &arguments, QString *error)
{
    QProcess &process = m_process->process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::ReadOnly);
    if (process.waitForStarted())
        return true;
    *error = process.errorString();
    return false;
}

QByteArray HHelperProcess::read(int milliseconds, bool *closed)
{
    QProcess &process = m_process->process;
    QByteArray chunk = process.readAllStandardOutput();
    if (chunk.isEmpty() && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(milliseconds);
        chunk = process.readAllStandardOutput();
    }
    *closed = chunk.isEmpty() && process.state() == QProcess::NotRunning;
    return chunk;
}

bool HHelperProcess::waitForEnd(int milliseconds)
{
    QProcess &process = m_process->process;
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(milliseconds))
        return false;
    m_crashed = process.exitStatus() == QProcess::CrashExit;
    m_exitCode = process.exitCode();
    return true;
}

void HHelperProcess::kill()
{
    m_process->process.kill();
    waitForEnd(5000);
}

#else

struct HHelperProcess::Process
{
    pid_t pid = -1;
    int output = -1; // the reading end of the helper's standard output
};

HHelperProcess::HHelperProcess()
    : m_process(new Process)
{}

HHelperProcess::~HHelperProcess()
{
    if (m_process->pid > 0)
        kill();
    if (m_process->output >= 0)
        ::close(m_process->output);
}

bool HHelperProcess::start(const QString &program, const QStringList &arguments, QString *error)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> texts{path};
    for (const QString &argument : arguments)
        texts.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Signals the tool ignores or blocks (a broken pipe, a file size limit) are the helper's
    // own again.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    if (failed != 0) {
        ::close(pipe[0]);
        *error = QString::fromLocal8Bit(std::strerror(failed));
        return false;
    }
    m_process->pid = pid;
    m_process->output = pipe[0];
    return true;
}

QByteArray HHelperProcess::read(int milliseconds, bool *closed)
{
    *closed = m_process->output < 0;
    if (*closed)
        return QByteArray();
    pollfd ready{m_process->output, POLLIN, 0};
    if (::poll(&ready, 1, milliseconds) <= 0)
        return QByteArray(); // nothing yet, or a signal came
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    const ssize_t size = ::read(m_process->output, chunk.data(), size_t(chunk.size()));
    if (size > 0) {
        chunk.resize(int(size));
        return chunk;
    }
    if (size < 0 && errno == EINTR)
        return QByteArray();
    ::close(m_process->output);
    m_process->output = -1;
    *closed = true;
    return QByteArray();
}

bool HHelperProcess::waitForEnd(int milliseconds)
{
    if (m_process->pid <= 0)
        return true;
    const QDeadlineTimer deadline(milliseconds);
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(m_process->pid, &status, WNOHANG);
        if (ended == m_process->pid) {
            m_process->pid = -1;
            m_crashed = WIFSIGNALED(status);
            m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return true;
        }
        if (ended < 0 && errno != EINTR) { // not ours to wait for any more
            m_process->pid = -1;
            m_crashed = true;
            return true;
        }
        if (deadline.hasExpired())
            return false;
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
    }
}

void HHelperProcess::kill()
{
    if (m_process->pid > 0)
        ::kill(m_process->pid, SIGKILL);
    waitForEnd(5000);
}

#endif
