#pragma once

#include <QJsonDocument>
#include <QString>
#include <QStringList>

class HDatabase;

// Rewrites one matching table as a whole: the delete and every insert run in one
// transaction, so a failing statement leaves the table with exactly its previous rows.
class HMatchingSave
{
public:
    // Runs "delete from <table>" and then the inserts, in order, inside one transaction.
    // With echo set every insert is written to the debug output before it runs. On the
    // first failure everything is rolled back and false is returned with the database's
    // error text in *error.
    static bool rewriteTable(HDatabase *db, const QString &table, const QStringList &inserts,
                             bool echo, QString *error);

    // Writes a matching editor's snapshot to log/<fileName> beside the executable; false with
    // the file and the cause in *error. The snapshot is never read back.
    static bool writeSnapshot(const QJsonDocument &doc, const QString &fileName,
                              QString *error = nullptr);
};
