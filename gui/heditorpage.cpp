#include "heditorpage.h"

#include "hauditlog.h"
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

void HEditorPage::runSave(const std::function<HSaveOutcome(bool overwrite)> &attempt)
{
    HSaveRound::report(this, saveAsking(this, attempt, [this](const QVector<HConflict> &conflicts) {
                           reloadKeepingEdits(conflicts);
                       }));
}

HSaveOutcome HEditorPage::saveAsking(QWidget *parent,
                                     const std::function<HSaveOutcome(bool overwrite)> &attempt,
                                     const std::function<void(const QVector<HConflict> &)> &reload)
{
    HSaveOutcome outcome = attempt(false);
    if (!outcome.conflicts.isEmpty()) {
        const QVector<HConflict> conflicts = outcome.conflicts;
        QStringList lines;
        const int shown = qMin(conflicts.size(), 15);
        for (int i = 0; i < shown; ++i) {
            const HConflict &c = conflicts.at(i);
            lines.append(QStringLiteral("%1 \u2014 %2: %3").arg(c.series, c.row, c.change));
        }
        if (conflicts.size() > shown)
            lines.append(
                TranslateString(QStringLiteral("... and %1 more")).arg(conflicts.size() - shown));
        const QString text =
            TranslateString(QStringLiteral("Since you loaded them, other users changed rows "
                                           "that this save would change. Nothing was saved.")) +
            QStringLiteral("\n\n") + lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n") +
            TranslateString(QStringLiteral("Reload: show what is stored now, with your other "
                                           "edits kept.\nOverwrite: save your edits over "
                                           "theirs.\nCancel: save nothing now."));
        const QMessageBox::StandardButton answer =
            HMessageBox::show(parent, QMessageBox::Warning,
                              TranslateString(QStringLiteral("Changed by another user")), text,
                              kReload | kOverwrite | QMessageBox::Cancel, kReload,
                              {{kReload, TranslateString(QStringLiteral("Reload"))},
                               {kOverwrite, TranslateString(QStringLiteral("Overwrite"))}});
        if (answer == kOverwrite) {
            outcome = attempt(true);
        } else {
            outcome = HSaveOutcome();
            outcome.ok = false;
            outcome.conflicts = conflicts;
            if (answer == kReload) {
                reload(conflicts);
                outcome.error =
                    TranslateString(
                        QStringLiteral("Not saved: other users changed %1 rows meanwhile. They now "
                                       "show what is stored; your other edits are kept, unsaved."))
                        .arg(conflicts.size());
            } else {
                outcome.cancelled = true;
                outcome.error =
                    TranslateString(
                        QStringLiteral("Not saved: other users changed %1 rows meanwhile."))
                        .arg(conflicts.size());
            }
        }
    }
    if (outcome.ok && !outcome.history.isEmpty()) {
        QString why;
        const bool on = HAuditLog::append(HDbFind::getDb(), outcome.history, &why);
        emit HSaveNotifier::instance()->historyStateChanged(on, why);
    }
    return outcome;
}
