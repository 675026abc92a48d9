#include "heditorpage.h"

#include "hmessagebox.h"
#include "translatestring.h"

HEditorPage::HEditorPage(QWidget *parent)
    : QWidget(parent)
{}

void HEditorPage::setModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

bool HEditorPage::confirmDiscard(const QString &what)
{
    if (!m_modified)
        return true;
    QString text = TranslateString(QStringLiteral("This tab has changes that are not saved."));
    if (!what.isEmpty())
        text += QLatin1Char('\n') + what;
    text += QLatin1Char('\n') + TranslateString(QStringLiteral("Save them first?"));
    const QMessageBox::StandardButton answer = HMessageBox::show(
        this, QMessageBox::Question, TranslateString(QStringLiteral("Unsaved changes")), text,
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save) {
        bool ok = true;
        {
            HSaveRound round;
            save();
            ok = !round.failed();
            for (const HSaveRound::Entry &entry : round.entries()) {
                if (!entry.outcome.ok)
                    HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                                         entry.outcome.error);
            }
        }
        return ok && !m_modified;
    }
    if (answer == QMessageBox::Discard) {
        discardChanges();
        return true;
    }
    return false;
}
