#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

class QWidget;

// The scheme files of the sale status tab as the user meets them: the scheme shown is read
// with a warning when its file is missing or unreadable, and an unreadable file is kept beside
// it as "<file>.unreadable.bak" before it is first overwritten. Before scheme files or install
// codes change the user is asked: the name of a new scheme (checked as a file name and against
// the schemes there are), the confirmation of a delete, the folder of an export of all
// schemes, the install code to add or remove. Failures are shown here as warnings; the tab
// keeps the scheme shown and its edits.
class HSaleStatusSchemeActions
{
public:
    // Reads the scheme shown into `scheme`; a missing or unreadable file is a warning (and an
    // unreadable one is remembered).
    void read(QWidget *parent, const QString &name, QJsonObject &scheme);
    // Writes the scheme shown; an overwrite keeps the earlier file as "<file>.bak", or an
    // unreadable one as "<file>.unreadable.bak". A failure is in *error, or a warning without
    // `error`.
    bool write(QWidget *parent, const QString &name, const QJsonObject &scheme, QString *error);
    // Whether the file of `name` could not be read and has not been written since.
    bool isUnreadable(const QString &name) const { return name == m_unreadable; }
    // The scheme file was deleted.
    void removed(const QString &name);

    // Asks for the name of a new scheme; the file name ("<name>.json"), or empty when the user
    // cancelled or the name cannot be used (said so).
    static QString askNewSchemeName(QWidget *parent, const QStringList &existing);
    // Writes a new scheme file; false after a warning.
    static bool writeNewScheme(QWidget *parent, const QString &fileName, const QJsonObject &scheme);
    // Asks, then deletes the scheme file; true when it is gone.
    static bool deleteScheme(QWidget *parent, const QString &name);
    // Asks for a folder other than the scheme folder and exports every scheme there.
    static void exportAllSchemes(QWidget *parent);
    // Asks for an install code; `codes` with it added, false when cancelled.
    static bool askNewInstallCode(QJsonObject *codes);
    // Asks whether `code` may be removed; says so when there is no code.
    static bool confirmRemoveInstallCode(QWidget *parent, const QString &code);

private:
    // The scheme whose file could not be read: it is not written back unless the user
    // presses "Save to scheme", and then the original is kept beside it first (once).
    QString m_unreadable;
    QString m_keptUnreadable;
};
