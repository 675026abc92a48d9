#pragma once

#include "hauditlog.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

// A row a save would change that another user changed (or removed) since this editor
// loaded it: the save wrote nothing.
struct HConflict
{
    QString series; // the series as the user knows it ("ODU-12"), or the table for rule rows
    QString row;    // the row within it ("pair with IDU-7", "rule R2", a model code)
    QString change; // what is stored now ("removed by another user", "now 'R3', was 'R1'")
};

// What one editor's save did.
struct HSaveOutcome
{
    bool ok = true;
    QString error;       // the database's (or file's) error text when !ok
    int rowsChanged = 0; // rows written, for the summary after a save
    // Set when the user stopped the save (Cancel in the conflict question): not saved, and
    // no message box of its own outside a round.
    bool cancelled = false;
    // Rows another user changed meanwhile: when not empty nothing was written (ok is false)
    // and HEditorPage::runSave() asks the user what to do.
    QVector<HConflict> conflicts;
    // The values the save wrote (old and new), for the history; filled only when ok.
    QVector<HAuditEntry> history;
};

// Saves made outside a round (a tab's own save button) are announced here, so that the main
// window can say what they did.
class HSaveNotifier : public QObject
{
    Q_OBJECT

public:
    static HSaveNotifier *instance();

signals:
    void saved(QWidget *tab, const HSaveOutcome &outcome);
    // After a save's history was written (on) or refused (off, with the database's reason).
    void historyStateChanged(bool on, const QString &why);
};

// One press of OK saves several tabs in turn. While a round is active the tabs report their
// outcome here instead of showing a box each, and the main window says once which tabs saved
// and which did not. Outside a round, report() shows the failure on the tab itself.
class HSaveRound
{
public:
    struct Entry
    {
        QPointer<QWidget> tab;
        HSaveOutcome outcome;
    };

    HSaveRound();
    ~HSaveRound();
    HSaveRound(const HSaveRound &) = delete;
    HSaveRound &operator=(const HSaveRound &) = delete;

    // Called by a tab's save() slot with what its save did.
    static void report(QWidget *tab, const HSaveOutcome &outcome);

    const QList<Entry> &entries() const { return m_entries; }
    bool failed() const;

private:
    QList<Entry> m_entries;
    HSaveRound *m_outer = nullptr;
};
