#pragma once

#include "hsaveround.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <functional>

#include <QMessageBox>

class QLabel;

// What the main window needs of an editor tab: whether it holds work that is not saved yet,
// how to save it and how to drop it, and a line for the status bar. Each tab says when its
// unsaved state changes; the main window marks the tab title and the window title with a
// '*' while any tab holds unsaved work and asks before anything would drop it.
class HEditorPage : public QWidget
{
    Q_OBJECT
    // Writable so that a test (or a tool) can mark a tab without editing it.
    Q_PROPERTY(bool modified READ isModified WRITE setModified NOTIFY modifiedChanged)

public:
    explicit HEditorPage(QWidget *parent = nullptr);

    bool isModified() const { return m_modified; }

    // Drops the unsaved work and shows what is stored again. A tab that never reports
    // unsaved work has nothing to drop.
    virtual void discardChanges() {}

    // Counts of what the tab shows, for the status bar ("2,013 series, 20,112 pairs").
    virtual QString statusText() const { return QString(); }

    // The tab is about to be deleted, with nothing changed in between: it may start what its
    // destructor would do on a worker thread, so that the tabs close side by side.
    virtual void beginClosing() {}

    // Before something drops this tab's unsaved work: asks "Save / Discard / Cancel" when
    // there is any. Save saves (and goes on only when the save worked), Discard drops the
    // work, Cancel (or closing the box) stops whatever was about to happen. True when the
    // caller may go on.
    bool confirmDiscard(const QString &what = QString());

    // Whether the database user may write the tables this page writes. When not, the page
    // is read-only: a notice above it (object name "label_readOnly") says why, and the
    // `writers` (the buttons and views that change the database) take no input; what is
    // stored can still be looked through. True when the page may write.
    bool checkWritable(const QStringList &tables, const QList<QWidget *> &writers);
    bool isReadOnly() const { return m_readOnly; }

    // This user's unsaved edits as the next save would write them, one entry per changed
    // value, with the value loaded as old: the same rows the history gets (the Changes
    // view lists them before a save).
    virtual QVector<HAuditEntry> pendingEdits() const { return {}; }

    // The answers to the conflict question (message box buttons, for tests).
    static constexpr QMessageBox::StandardButton kReload = QMessageBox::Retry;
    static constexpr QMessageBox::StandardButton kOverwrite = QMessageBox::Apply;

    // What runSave() does, for an editor that is not a tab (a window of its own): returns
    // the outcome instead of reporting it; Reload calls `reload`.
    static HSaveOutcome saveAsking(QWidget *parent,
                                   const std::function<HSaveOutcome(bool overwrite)> &attempt,
                                   const std::function<void(const QVector<HConflict> &)> &reload);

public slots:
    // Saves the unsaved work and reports the outcome with HSaveRound::report().
    virtual void save() = 0;

signals:
    void modifiedChanged(bool modified);
    void statusTextChanged();

protected:
    void setModified(bool modified);

    // The body of a tab's save() slot. Runs attempt(false), a save that checks every row it
    // changes against what was loaded. When other users changed some of them
    // (outcome.conflicts, nothing written) the user is asked: Overwrite runs
    // attempt(true), which writes this user's edits whatever is stored now; Reload calls
    // reloadKeepingEdits(); Cancel writes nothing. A save that wrote something has its
    // outcome.history written to the history table (its refusal never undoes the save).
    // The outcome is reported with HSaveRound::report().
    void runSave(const std::function<HSaveOutcome(bool overwrite)> &attempt);

    // Reads what is stored again and puts this user's edits back on top, except those of
    // the conflicting rows, which now show what the other user stored. The tab stays
    // modified while edits remain.
    virtual void reloadKeepingEdits(const QVector<HConflict> &conflicts) { Q_UNUSED(conflicts) }

private:
    bool m_modified = false;
    bool m_readOnly = false;
};
