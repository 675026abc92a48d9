#pragma once

#include <QString>

class QWidget;

// File dialogs that start where the user last was: the folder last used for the same
// purpose ("database", "workbook", "scheme export", ...), else the folder last used for any,
// else the documents folder. The folders are kept in the settings, so they outlast the run.
class HFileDialogs
{
public:
    static QString openFileName(QWidget *parent, const QString &purpose, const QString &caption,
                                const QString &filter);
    // `fileName` is the name suggested in the start folder.
    static QString saveFileName(QWidget *parent, const QString &purpose, const QString &caption,
                                const QString &fileName, const QString &filter);
    static QString existingDirectory(QWidget *parent, const QString &purpose,
                                     const QString &caption);

    // Where a dialog for `purpose` starts now.
    static QString startFolder(const QString &purpose);
    // Remembers the folder of `path` (or `path` itself when it is a folder) for `purpose`.
    static void remember(const QString &purpose, const QString &path);
};
