#pragma once

#include "hsaveround.h"

#include <QHash>
#include <QSet>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QString>
#include <QVector>

#include <functional>
#include <map>
#include <memory>

class HDatabase;
class HSqlStatement;

// A table model that also tells the row key a row had when it was read, which is what an
// update or a delete must name even if the key cell was changed since.
class HRowKeyModel : public QSqlTableModel
{
public:
    using QSqlTableModel::QSqlTableModel;

    // The row's stored key: the primary key's fields, or the first column where the table
    // has no primary key (the hidden column, set by the database).
    QSqlRecord storedKey(int row) const;
    // A cell as the database holds it: invalid for a row added here.
    QVariant storedValue(int row, int column) const;
    bool isInserted(int row) const;
    bool isDeleted(int row) const;
    bool isUpdated(int row) const;
};

// Writes the pending rows of a rule table's model with statements of its own, so that a
// failure or a conflict leaves the model untouched: its pending edits are then still exactly
// what the user made. Each row written is checked against what the editor loaded: an update
// names the old values of the columns it changes, a delete the whole row, and a new row
// must not meet a stored row of the same rule name. Rows another user changed meanwhile are
// conflicts, and nothing is written.
class HTableSave
{
public:
    // `shownName` is the table as the user knows it, for conflicts and the history.
    HTableSave(HDatabase *db, const QString &table, const QString &shownName);
    ~HTableSave();

    // Deletes, updates and inserts, in that order, inside the caller's transaction. With
    // `overwrite` rows are written by their key whatever is stored now (a new row whose
    // rule name is stored already replaces that row's values). Returns the first error, or
    // an empty text; conflicts() tells whether other users were in the way.
    QString write(const HRowKeyModel *model, bool overwrite);

    int rowsWritten() const { return m_rows; }
    const QVector<HConflict> &conflicts() const { return m_conflicts; }
    // The values written, old and new, when write() worked.
    const QVector<HAuditEntry> &history() const { return m_history; }

    // What a row is stored as now, read for the rows found in conflict; an Overwrite that
    // follows names these as the old values in the history. Keyed by rowId().
    using Seen = QHash<QString, QSqlRecord>;
    void setSeen(Seen *seen) { m_seen = seen; }

    // The pending edits of the model, one entry per changed value (rows added or removed
    // whole: one entry with column "(row)"): the rows the history gets.
    static QVector<HAuditEntry> pendingEdits(const HRowKeyModel *model, const QString &table,
                                             const QString &shownName);

    // Names the pending edits of one row (by its stored key, or "+rule name" for a new
    // row) and column ("(row)" for the row as a whole), for telling which edits conflicted.
    static QString rowId(const HRowKeyModel *model, int row);
    static QString editId(const QString &rowId, const QString &column);
    // The edits that conflicted in the last write().
    const QSet<QString> &conflictingEdits() const { return m_conflictingEdits; }

private:
    // The statement for `sql` (prepared once per save), with `values` bound.
    HSqlStatement &prepared(const QString &sql, const QVariantList &values);
    // Reads the stored row named by `conditions`: false when it is gone.
    bool readNow(const QString &conditions, const QVariantList &values, QSqlRecord *now,
                 QString *error);
    void conflict(const QString &rowKey, const QString &change);
    QString deleteRow(const HRowKeyModel *model, int row, bool overwrite);
    QString updateRow(const HRowKeyModel *model, int row, bool overwrite);
    QString insertRow(const HRowKeyModel *model, int row, bool overwrite);

    HDatabase *m_db;
    QString m_table;
    QString m_shownName;
    std::map<QString, std::unique_ptr<HSqlStatement>> m_statements;
    int m_rows = 0;
    QVector<HConflict> m_conflicts;
    QVector<HAuditEntry> m_history;
    QSet<QString> m_conflictingEdits;
    Seen *m_seen = nullptr;
};

// The question a tab's save asks when other users changed its rows (Reload / Overwrite /
// Cancel), for a window that is not a tab: runs attempt(false), asks on conflicts, runs
// attempt(true) on Overwrite or reload() on Reload, and writes the history of a save that
// worked. Returns the outcome (cancelled on Cancel).
HSaveOutcome saveAskingOnConflict(QWidget *parent,
                                  const std::function<HSaveOutcome(bool overwrite)> &attempt,
                                  const std::function<void()> &reload);
