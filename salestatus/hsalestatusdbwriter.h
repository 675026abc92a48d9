#pragma once

#include "hsaveround.h"

#include <QHash>
#include <QString>
#include <QVariant>
#include <QVector>

class HDatabase;

// What the database held for the sale values of each row when the tab last read or wrote it,
// by series id (decimal text) and by product code: the values in HSaleStatusDbWriter's field
// order.
struct HSaleStatusStored
{
    QHash<QString, QVector<QVariant>> series;
    QHash<QString, QVector<QVariant>> models;
};

// Writes the sale flags and model strings the user changed into __product_series and
// __product_idx in one transaction. Each update carries the values the tab last saw in its
// WHERE, so that a row another user changed meanwhile is found at no extra statement: then
// nothing is written and the outcome names the rows (unless the user chose to overwrite).
class HSaleStatusDbWriter
{
public:
    enum Part { Series = 0, Models = 1 };
    // Field i of a part: its database column, the tab's table column showing it, and whether
    // it is a flag (a bool) or a text (a QString).
    struct Field
    {
        QString column;
        int tableColumn;
        bool flag;
        QString label;
    };
    static const QVector<Field> &fields(Part part);

    // The values the user wants for a key (the last table row of that key wins).
    struct Wanted
    {
        Part part;
        QString key;
        QString series; // the series as the user knows it
        QVector<QVariant> values;
    };

    HSaleStatusStored &stored() { return m_stored; }
    const HSaleStatusStored &stored() const { return m_stored; }

    // One entry per value that differs from what is stored: what save() would write.
    QVector<HAuditEntry> changes(const QVector<Wanted> &wanted) const;
    // Writes the values that differ from the baseline (this user's edits). Unless
    // `overwrite`, a row another user removed, or changed to a value this row does not show
    // (a third value, or one where this user changed nothing), is a conflict; where they
    // stored what this user wants it is not. With conflicts nothing is written. Overwriting,
    // exactly this user's edits are written over what is stored. Afterwards the baseline
    // holds what was read or written.
    HSaveOutcome save(HDatabase *db, const QVector<Wanted> &wanted, bool overwrite);
    // What every row holds now (two statements). False with the reason in *error.
    static bool readAll(HDatabase *db, HSaleStatusStored *stored, QString *error);

private:
    HSaleStatusStored m_stored;
};
