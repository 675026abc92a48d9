#pragma once

#include "hsaveround.h"

#include <QSet>
#include <QSqlRecord>
#include <QString>
#include <QWidget>

namespace Ui {
class HTableWidget;
}

class HCellDelegate;
class QSortFilterProxyModel;
class QSqlTableModel;

// Edits the rows of one database table through a table model on the shared connection.
// With a table name it is a tool window of its own ("Edit table [name]", OK/Cancel);
// with an empty name it is embedded in a tab, its table chosen later with setTable(), and
// its OK button saves ("Save To Database") without closing it.
// Every change stays pending in the model until it is saved in one transaction; a save that
// fails or is refused leaves every pending change in place (and the window open) for
// another try. A save checks every row it writes against what was loaded (HTableSave), so
// that another user's change is never overwritten without a question. The view shows the model
// through a sorting proxy, so sorting never touches the pending rows, which are written by their
// stored keys.
class HTableWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HTableWidget(QString tableName, QWidget *parent = nullptr);
    ~HTableWidget() override;

    // Shows another table; pending changes of the previous one are dropped (callers ask
    // first).
    void setTable(QString tableName);
    QString tableName() const { return m_tableName; }

    bool isModified() const;
    int rowCount() const;

    // What a save of the pending rows did. `refused` marks rows the editor will not write
    // (an empty row, a rule name used twice), found before anything is written.
    // The outcome of a save, and whether the rows themselves were refused (a duplicate or
    // empty rule name) rather than the database failing.
    struct SaveResult : HSaveOutcome
    {
        bool refused = false;
    };
    // Writes the pending rows, each checked against what was loaded; with `overwrite`, by
    // their keys whatever is stored now.
    SaveResult savePending(bool overwrite = false);
    // Drops the pending changes and shows the stored rows again.
    void revertPending();
    // Reads the table again and puts the pending edits back, except those the last save
    // found in conflict, whose rows now show what the other user stored.
    void reloadKeepingEdits();
    // The pending edits as the history would get them.
    QVector<HAuditEntry> pendingEdits() const;
    // The table as the user knows it ("Limit").
    QString shownName() const;

signals:
    // The pending changes changed (an edit, a row added or removed, a save, a revert).
    void changed();
    // The embedded editor's save button: the tab that holds it saves.
    void saveRequested();

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_pushButton_add_clicked();
    void on_pushButton_del_clicked();
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private:
    void buildModel();
    // Why the pending rows cannot be saved, or an empty text.
    QString checkPending() const;
    // The number of outdoor series whose rule names the stored row `row` (a model row).
    int seriesUsing(int row, QString *name) const;
    void placeOnScreen();

    Ui::HTableWidget *ui;
    QString m_tableName;
    QSqlTableModel *m_model = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
    HCellDelegate *m_delegate = nullptr;
    QSqlRecord m_fields;
    QHash<QString, QSqlRecord> m_seen; // rows found in conflict, as stored then
    QSet<QString> m_conflicting;       // the edits found in conflict (HTableSave::editId)
    bool m_embedded = false;
    bool m_placed = false;
};
