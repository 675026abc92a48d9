#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

// What one editor's save did.
struct HSaveOutcome
{
    bool ok = true;
    QString error;       // the database's (or file's) error text when !ok
    int rowsChanged = 0; // rows written, for the summary after a save
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
