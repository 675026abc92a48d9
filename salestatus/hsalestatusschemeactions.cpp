#include "hsalestatusschemeactions.h"

#include "hfiledialogs.h"
#include "hinputnamewidget.h"
#include "hmessagebox.h"
#include "hsalestatusschemes.h"
#include "translatestring.h"

#include <QDialog>
#include <QFileInfo>

void HSaleStatusSchemeActions::read(QWidget *parent, const QString &name, QJsonObject &scheme)
{
    HSaleStatusSchemes schemes;
    const HSaleStatusSchemes::ReadResult result = schemes.read(name, scheme);
    m_unreadable.clear();
    m_keptUnreadable.clear();
    if (result == HSaleStatusSchemes::ReadResult::Unreadable) {
        m_unreadable = name;
        HMessageBox::warning(
            parent, TranslateString(QStringLiteral("Warning")),
            schemes.errorString() + QLatin1Char('\n') +
                TranslateString(QStringLiteral(
                    "The scheme shows the database values. The file is left as it is until you "
                    "press \"Save to scheme\", which first keeps it as a copy named "
                    "<file>.unreadable.bak.")));
    } else if (result == HSaleStatusSchemes::ReadResult::Missing) {
        HMessageBox::warning(parent, TranslateString(QStringLiteral("Warning")),
                             schemes.errorString());
    }
}

bool HSaleStatusSchemeActions::write(QWidget *parent, const QString &name,
                                     const QJsonObject &scheme, QString *error)
{
    // Without any scheme there is nothing to write to: no ".json" file is made up.
    if (name.isEmpty())
        return true;
    HSaleStatusSchemes schemes;
    const auto fail = [&] {
        if (error)
            *error = schemes.errorString();
        else
            HMessageBox::warning(parent, TranslateString(QStringLiteral("Warning")),
                                 schemes.errorString());
        return false;
    };
    if (name == m_unreadable && m_keptUnreadable != name) {
        if (!schemes.keepUnreadable(name))
            return fail();
        m_keptUnreadable = name;
    }
    // The unreadable original is kept for good already; it does not go to "<file>.bak" too.
    if (!schemes.write(name, scheme, name != m_unreadable))
        return fail();
    if (name == m_unreadable)
        m_unreadable.clear();
    return true;
}

void HSaleStatusSchemeActions::removed(const QString &name)
{
    if (name == m_unreadable)
        m_unreadable.clear();
}

QString HSaleStatusSchemeActions::askNewSchemeName(QWidget *parent, const QStringList &existing)
{
    HInputNameWidget dialog(QString(), nullptr);
    dialog.exec();
    if (dialog.result() != QDialog::Accepted || dialog.name.isEmpty())
        return QString();

    const QString suffix = QStringLiteral(".json");
    const QString fileName = dialog.name.endsWith(suffix) ? dialog.name : dialog.name + suffix;
    if (!HSaleStatusSchemes::isSafeName(fileName)) {
        HMessageBox::warning(
            parent, TranslateString(QStringLiteral("Warning")),
            TranslateString(QStringLiteral("The scheme name cannot be used as a file name.")));
        return QString();
    }
    // A file that differs only in letter case is the same file on Windows.
    if (existing.contains(fileName) || QFileInfo::exists(HSaleStatusSchemes::writePath(fileName))) {
        HMessageBox::information(parent, TranslateString(QStringLiteral("Warning")),
                                 TranslateString(QStringLiteral("The scheme name exists.")));
        return QString();
    }
    return fileName;
}

bool HSaleStatusSchemeActions::writeNewScheme(QWidget *parent, const QString &fileName,
                                              const QJsonObject &scheme)
{
    HSaleStatusSchemes schemes;
    if (schemes.write(fileName, scheme))
        return true;
    HMessageBox::warning(parent, TranslateString(QStringLiteral("Warning")), schemes.errorString());
    return false;
}

bool HSaleStatusSchemeActions::deleteScheme(QWidget *parent, const QString &name)
{
    if (!HMessageBox::question(
            parent, TranslateString(QStringLiteral("Question")),
            TranslateString(QStringLiteral("Do you want to delete the scheme?"))))
        return false;
    HSaleStatusSchemes schemes;
    if (!schemes.remove(name)) {
        HMessageBox::warning(parent, TranslateString(QStringLiteral("Warning")),
                             schemes.errorString());
        return false;
    }
    return true;
}

void HSaleStatusSchemeActions::exportAllSchemes(QWidget *parent)
{
    if (HSaleStatusSchemes::listSchemeFiles().isEmpty())
        return;
    const QString folder = HFileDialogs::existingDirectory(
        parent, QStringLiteral("scheme export"),
        TranslateString(QStringLiteral("Please select folder path to save")));
    if (folder.isEmpty())
        return;
    // Exporting into the scheme folder would replace the install codes of the schemes
    // themselves by their digests, which cannot be undone.
    if (QFileInfo(folder).canonicalFilePath() ==
        QFileInfo(HSaleStatusSchemes::schemeFolder()).canonicalFilePath()) {
        HMessageBox::warning(
            parent, TranslateString(QStringLiteral("Warning")),
            TranslateString(QStringLiteral("Choose a folder other than the scheme folder.")));
        return;
    }
    HSaleStatusSchemes schemes;
    if (!schemes.exportAll(folder)) {
        HMessageBox::warning(parent, TranslateString(QStringLiteral("Warning")),
                             TranslateString(QStringLiteral("These schemes were not exported:")) +
                                 QLatin1Char('\n') + schemes.problems().join(QLatin1Char('\n')));
        return;
    }
    HMessageBox::information(parent, TranslateString(QStringLiteral("Notice")),
                             TranslateString(QStringLiteral("Export success")));
}

bool HSaleStatusSchemeActions::askNewInstallCode(QJsonObject *codes)
{
    HInputNameWidget dialog(QString(), nullptr);
    dialog.setWindowTitle(TranslateString(QStringLiteral("Input Install Code")));
    dialog.exec();
    if (dialog.result() != QDialog::Accepted || dialog.name.isEmpty())
        return false;
    codes->insert(dialog.name, QString());
    return true;
}

bool HSaleStatusSchemeActions::confirmRemoveInstallCode(QWidget *parent, const QString &code)
{
    if (code.isEmpty()) {
        HMessageBox::information(parent, TranslateString(QStringLiteral("Warning")),
                                 TranslateString(QStringLiteral("The install code is empty.")));
        return false;
    }
    return HMessageBox::question(
        parent, TranslateString(QStringLiteral("Question")),
        TranslateString(QStringLiteral("Do you want to remove the install code?")));
}
