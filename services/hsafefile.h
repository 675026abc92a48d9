#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// Every file the tool writes goes through here: the bytes go to a temporary file beside the
// target, each write is checked (the file is unbuffered, so a full disk or a file size limit
// shows at the write that hits it), the file is flushed to disk and its size checked, and
// only then does it replace the target in one rename. On any failure the target is left
// exactly as it was, the temporary file is removed, and errorString() names the file and the
// cause. The new file keeps the permissions of the one it replaces; a target that is a link is
// written through (the file it points to is replaced, the link stays).
//
//     HSafeFile file(path);
//     if (!file.open() || !file.write(bytes) || !file.commit())
//         return file.errorString();
//
// Libraries that write a path themselves write temporaryPath() after open(); commit() then
// checks and renames what they wrote.
class HSafeFile
{
public:
    explicit HSafeFile(const QString &target);
    ~HSafeFile(); // an uncommitted temporary file is removed
    HSafeFile(const HSafeFile &) = delete;
    HSafeFile &operator=(const HSafeFile &) = delete;

    // Keeps the file being replaced as "<target>.bak" (replacing an older one).
    void setKeepBackup(bool keep) { m_keepBackup = keep; }

    // Creates the temporary file (and a missing folder).
    bool open();
    bool write(const QByteArray &bytes);
    QString temporaryPath() const;
    // Flushes, syncs and closes the temporary file, checks that it holds every byte written
    // (or, for a library's file, that it is not empty), and renames it over the target.
    bool commit();
    // Drops the temporary file; the target stays as it was.
    void cancel();

    QString errorString() const { return m_error; }
    qint64 bytesWritten() const { return m_written; }

    enum class Result { Written, Unchanged, Failed };
    // The whole file in one call. With skipIfUnchanged a target that already holds exactly
    // these bytes is not touched (Unchanged).
    static Result writeFile(const QString &target, const QByteArray &bytes, QString *error,
                            bool keepBackup = false, bool skipIfUnchanged = true);

    // Bytes written by every commit of this process: what the benchmark reports.
    static qint64 totalBytesCommitted();

private:
    bool fail(const QString &what, const QString &cause);

    QString m_target;
    QString m_tempPath;
    QFile *m_temp = nullptr;
    qint64 m_written = 0;
    bool m_wrote = false; // write() was used, even with no bytes
    bool m_keepBackup = false;
    bool m_committed = false;
    QString m_error;
};
