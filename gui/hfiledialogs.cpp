#include "hfiledialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kAnyPurpose = QStringLiteral("fileDialogs/lastFolder");

QString purposeKey(const QString &purpose)
{
    return QStringLiteral("fileDialogs/lastFolder.") + purpose;
}

} // namespace

QString HFileDialogs::startFolder(const QString &purpose)
{
    QSettings settings;
    for (const QString &key : {purposeKey(purpose), kAnyPurpose}) {
        const QString folder = settings.value(key).toString();
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void HFileDialogs::remember(const QString &purpose, const QString &path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    QSettings settings;
    settings.setValue(purposeKey(purpose), folder);
    settings.setValue(kAnyPurpose, folder);
}

QString HFileDialogs::openFileName(QWidget *parent, const QString &purpose, const QString &caption,
                                   const QString &filter)
{
    const QString path =
        QFileDialog::getOpenFileName(parent, caption, startFolder(purpose), filter);
    remember(purpose, path);
    return path;
}

QString HFileDialogs::saveFileName(QWidget *parent, const QString &purpose, const QString &caption,
                                   const QString &fileName, const QString &filter)
{
    const QString start = QDir(startFolder(purpose)).filePath(fileName);
    const QString path = QFileDialog::getSaveFileName(parent, caption, start, filter);
    remember(purpose, path);
    return path;
}

QString HFileDialogs::existingDirectory(QWidget *parent, const QString &purpose,
                                        const QString &caption)
{
    const QString path = QFileDialog::getExistingDirectory(parent, caption, startFolder(purpose));
    remember(purpose, path);
    return path;
}
