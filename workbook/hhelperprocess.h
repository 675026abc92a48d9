#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

// A helper program whose standard output the tool reads as it comes; its standard input and
// error are the null device. On Unix it is started with posix_spawn: a fork would copy the
// page tables of the whole tool, and every page the tool writes afterwards would fault once
// to undo the copy-on-write marking, a cost that grows with the product range loaded.
class HHelperProcess
{
public:
    HHelperProcess();
    ~HHelperProcess(); // a helper still running is killed
    HHelperProcess(const HHelperProcess &) = delete;
    HHelperProcess &operator=(const HHelperProcess &) = delete;

    // False with the reason when the program cannot be started.
    bool start(const QString &program, const QStringList &arguments, QString *error);
    // What the helper wrote, waiting up to `milliseconds` for it; empty when nothing came.
    // *closed turns true once the helper closed its output (it ended, or is ending).
    QByteArray read(int milliseconds, bool *closed);
    // Waits up to `milliseconds` for the helper to end; false when it is still running.
    bool waitForEnd(int milliseconds);
    void kill(); // and waits for its end

    // Once ended: killed by a signal (or a crash), else its exit status.
    bool crashed() const { return m_crashed; }
    int exitCode() const { return m_exitCode; }

private:
    struct Process;
    std::unique_ptr<Process> m_process;
    bool m_crashed = false;
    int m_exitCode = -1;
};
