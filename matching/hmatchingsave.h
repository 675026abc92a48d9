#pragma once

#include <QJsonDocument>
#include <QString>
#include <QVariantList>
#include <QVector>

#include <functional>

class HDatabase;

// Writing a matching table: only the pairs whose rows changed, in one transaction.
//
// The matching tables have no key of their own and may hold a pair twice, so a changed pair
// is written as a whole: its stored rows are deleted and the rows it now has are inserted.
class HMatchingSave
{
public:
    struct Change
    {
        QVariantList key;    // bound to the places of the delete
        int storedRows = 0;  // rows the table holds for the pair; nothing is deleted when 0
        QVariantList values; // bound to the places of the insert
        int rows = 0;        // rows the pair has after the save
    };

    // Runs `work` in one transaction and commits when it returns true. Otherwise, or when the
    // commit fails, everything is rolled back and false is returned with the first failure's
    // error text in *error.
    static bool inTransaction(HDatabase *db, const std::function<bool(QString *error)> &work,
                              QString *error);

    // Writes the changes with two prepared statements (run inside inTransaction). Adds the
    // rows deleted and inserted to *rowsWritten. With echo set every insert is written to the
    // debug output before it runs. False with the database's error text at the first failure.
    static bool applyChanges(HDatabase *db, const QString &deleteSql, const QString &insertSql,
                             const QVector<Change> &changes, bool echo, int *rowsWritten,
                             QString *error);

    // Writes a matching editor's snapshot to log/<fileName> beside the executable; false with
    // the file and the cause in *error. The snapshot is never read back.
    static bool writeSnapshot(const QJsonDocument &doc, const QString &fileName,
                              QString *error = nullptr);
};
