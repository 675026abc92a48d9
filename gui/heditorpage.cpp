#include "heditorpage.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hmessagebox.h"
#include "translatestring.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QLabel>

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

bool HEditorPage::checkWritable(const QStringList &tables, const QList<QWidget *> &writers)
{
    QString why;
    HDatabase *db = HDbFind::getDb();
    if (!db->isOpen() || db->mayWrite(tables, &why))
        return true;
    m_readOnly = true;
    for (QWidget *writer : writers) {
        if (auto *view = qobject_cast<QAbstractItemView *>(writer))
            view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        else
            writer->setEnabled(false);
    }
    auto *notice = new QLabel(this);
    notice->setObjectName(QStringLiteral("label_readOnly"));
    notice->setWordWrap(true);
    notice->setTextFormat(Qt::PlainText);
    notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice->setText(TranslateString(QStringLiteral("The product database may only be read here, "
                                                   "so this tab is read-only: nothing is "
                                                   "changed or saved here.")) +
                    QLatin1Char('\n') + why);
    if (auto *box = qobject_cast<QBoxLayout *>(layout()))
        box->insertWidget(0, notice);
    else
        notice->show();
    return false;
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
