#include "hschemereadahead.h"

#include "hsalestatusschemes.h"

#include <QDateTime>
#include <QFileInfo>

#include <future>
#include <system_error>

namespace HSchemeReadAhead {

namespace {

// What a file looked like when its read started: a result stands only for that file.
struct Stamp
{
    qint64 size = -1;
    QDateTime modified;
    QDateTime changed;

    static Stamp of(const QString &path)
    {
        const QFileInfo info(path);
        if (!info.exists())
            return {};
        return {info.size(), info.lastModified(), info.metadataChangeTime()};
    }
    bool operator==(const Stamp &other) const
    {
        return size == other.size && modified == other.modified && changed == other.changed;
    }
};

struct Pending
{
    QString path;
    Stamp stamp;
    std::future<Checked> result;
};

Pending &pending()
{
    static Pending read;
    return read;
}

} // namespace

void start(const QString &path)
{
    drop();
    const Stamp stamp = Stamp::of(path);
    if (stamp.size < 0)
        return;
    Pending &read = pending();
    read.path = path;
    read.stamp = stamp;
    try {
        read.result = std::async(std::launch::async, [path] {
            Checked checked;
            checked.ok = HSaleStatusSchemes::readChecked(path, &checked.scheme, &checked.problem);
            return checked;
        });
    } catch (const std::system_error &) {
        read = Pending(); // no thread to be had: the tab reads the file itself
    }
}

bool take(const QString &path, Checked *checked)
{
    Pending &read = pending();
    if (!read.result.valid())
        return false;
    const bool same = read.path == path;
    Checked result = read.result.get(); // the worker is always joined
    const Stamp started = read.stamp;
    read = Pending();
    // A file replaced or rewritten since the read began is read again by the caller.
    if (!same || !(Stamp::of(path) == started))
        return false;
    *checked = result;
    return true;
}

void drop()
{
    Pending &read = pending();
    if (read.result.valid())
        read.result.wait();
    read = Pending();
}

} // namespace HSchemeReadAhead
