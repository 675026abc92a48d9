#pragma once

#include <QJsonObject>
#include <QString>

// Reads one scheme file on a worker thread while the caller goes on. Opening the main window
// starts the read of the scheme the sale status tab shows first, so that the file's parse
// and check overlap the database reads of the other tabs.
//
// Started, taken and dropped on the GUI thread only; the worker touches nothing but the file
// and its own result.
namespace HSchemeReadAhead {

// What HSaleStatusSchemes::readChecked() says of the file.
struct Checked
{
    bool ok = false;
    QJsonObject scheme;
    QString problem;
};

// Starts reading `path`, dropping an earlier read ahead. Nothing starts when there is no
// such file.
void start(const QString &path);
// The result for `path` when a read ahead of exactly that path was started and the file is
// as it was then (size, modification and change times); it is then waited for. False
// otherwise. Either way the read ahead is gone afterwards: a result is taken at most once.
bool take(const QString &path, Checked *checked);
// Waits for and forgets a read ahead nobody took.
void drop();

} // namespace HSchemeReadAhead
