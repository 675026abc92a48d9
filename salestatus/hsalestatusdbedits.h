#pragma once

#include "hsalestatusdbwriter.h"

#include <QJsonArray>
#include <QVariant>
#include <QVector>

class HSaleStatusTables;
class QTableWidget;

// The sale status tab's side of "Save to Db": what the two tables (or, before the model
// table is filled, the scheme's model records) ask of the database, the edits that makes
// against what the tab last read or wrote there, the save, and the reload after a conflict.
class HSaleStatusDbEdits
{
public:
    explicit HSaleStatusDbEdits(HSaleStatusTables &tables)
        : m_tables(tables)
    {}

    // Filled by the scheme load's reads.
    HSaleStatusStored &stored() { return m_writer.stored(); }

    // One entry per database value "Save to Db" would change.
    QVector<HAuditEntry> pending(const QJsonArray &modelRecords) const
    {
        return m_writer.changes(wanted(modelRecords));
    }
    // Writes them (see HSaleStatusDbWriter::save); the tables count as saved when it worked.
    HSaveOutcome save(HDatabase *db, const QJsonArray &modelRecords, bool overwrite);

    // Reads what is stored again. Where another user changed a value since the tab last saw
    // it, the cell gets theirs (dropping an edit of this user there); the other cells keep what
    // they show. The model table must be filled. False with the reason in *error.
    bool reload(HDatabase *db, QString *error);

private:
    QVector<HSaleStatusDbWriter::Wanted> wanted(const QJsonArray &modelRecords) const;

    HSaleStatusTables &m_tables;
    HSaleStatusDbWriter m_writer;
};
