#pragma once

#include "hauditlog.h"

#include <QString>
#include <QStringList>
#include <QVector>

class HDatabase;

// References in the product data that point at nothing: rows of the three matching tables
// whose series or accessory has no row, and rule names of series that their rule table does
// not hold. The matching editors keep such rows untouched; this is where the user looks at
// them and removes them on purpose.
class HProductDataCheck
{
public:
    struct Group
    {
        QString table;    // the table holding the references
        QStringList rows; // one line per dangling row: its values and what is missing
    };

    explicit HProductDataCheck(HDatabase *db);

    // Reads every dangling reference, grouped by table (the three matching tables, then the
    // rule names of __product_series). False, see errorString(), when a statement failed.
    bool run();
    const QVector<Group> &groups() const { return m_groups; }
    // Rows of the matching tables that remove() deletes, and rule names it clears.
    int matchingRows() const;
    int ruleNames() const;

    // In one transaction: deletes the dangling matching rows and sets the dangling rule
    // names to ''. When the database no longer holds exactly what run() found (someone
    // changed it meanwhile), nothing is changed and false is returned; so too on any
    // failure, with the database's error text in errorString().
    // After a removal the history gets one row per row removed or name cleared, in a
    // transaction of its own: false, with the reason, when the database refused it (the
    // removal stands).
    bool remove();
    QString errorString() const { return m_error; }
    bool historyWritten() const { return m_historyWritten; }
    QString historyError() const { return m_historyError; }

private:
    // One statement of remove(): its text and the rows it must change.
    struct Removal
    {
        QString sql;
        int rows = 0;
    };

    HDatabase *m_db;
    QVector<Group> m_groups;
    QVector<Removal> m_removals;
    QVector<HAuditEntry> m_history;
    bool m_historyWritten = true;
    QString m_historyError;
    int m_matchingRows = 0;
    int m_ruleNames = 0;
    QString m_error;
};
