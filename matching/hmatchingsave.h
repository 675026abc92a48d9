#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <functional>
#include <utility>
#include <utility>

class HDatabase;

// Writing a matching table: only the pairs whose rows changed, in one transaction.
//
// The matching tables have no key of their own and may hold a pair twice, so a changed pair
// is written as a whole: its stored rows are deleted and the rows it now has are inserted.
// What identifies a pair's stored state is how many rows it has: a save checks that count
// against what the tab loaded, so that another user's change of the same pair is not lost.
class HMatchingSave
{
public:
    struct Change
    {
        Change() = default;
        Change(QVariantList key, int storedRows, QVariantList values, int rows)
            : key(std::move(key))
            , storedRows(storedRows)
            , values(std::move(values))
            , rows(rows)
        {}

        QVariantList key;    // bound to the places of the delete
        int storedRows = 0;  // rows the table held for the pair when the tab loaded it
        QVariantList values; // bound to the places of the insert
        int rows = 0;        // rows the pair has after the save
        QVariantList probe;  // bound to the places of the probe; the key when empty

        // Set by applyChanges(): the rows the table held for the pair when the save ran (-1
        // when it was not looked at), and whether the pair was left alone because the probe
        // refused its new rows.
        int found = -1;
        bool held = false;

        // Whether the table held other rows than the tab loaded (after applyChanges()).
        bool conflicts() const { return found >= 0 && found != storedRows; }
    };

    struct Statements
    {
        QString remove; // deletes the rows of a pair (the key)
        QString insert; // inserts one row (the values)
        // Counts the rows of a pair (the probe). When `guarded`, a second column tells
        // whether the pair may gain rows (0: its new rows are held back, the pair is left as
        // it is).
        QString probe;
        bool guarded = false;
    };

    // Runs `work` in one transaction and commits when it returns true. Otherwise, or when the
    // commit fails, everything is rolled back and false is returned with the first failure's
    // error text in *error.
    static bool inTransaction(HDatabase *db, const std::function<bool(QString *error)> &work,
                              QString *error);

    // Writes the changes (run inside inTransaction). A pair loaded with rows is checked by its
    // delete, which must remove exactly the rows loaded; a pair loaded without rows by the
    // probe. Without `overwrite`, a pair found otherwise is a conflict: the remaining pairs
    // are still checked (nothing more is inserted) and false is returned with *conflicts set
    // and no error text, so that the transaction writes nothing. With `overwrite`, each pair
    // gets its new rows whatever it held. Adds the rows deleted and inserted to *rowsWritten;
    // with echo set every insert is written to the debug output before it runs. False with
    // the database's error text at the first failure.
    static bool applyChanges(HDatabase *db, const Statements &sql, QVector<Change> *changes,
                             bool overwrite, bool echo, int *rowsWritten, bool *conflicts,
                             QString *error);

    // A row count as the history keeps it: null for none.
    static QVariant countValue(int rows)
    {
        return rows > 0 ? QVariant(QString::number(rows)) : QVariant();
    }
    // What another user did to a pair, for the conflict question.
    static QString conflictText(const Change &change);

    // Writes a matching editor's snapshot to log/<fileName> beside the executable; false with
    // the file and the cause in *error. The snapshot is never read back.
    static bool writeSnapshot(const QJsonDocument &doc, const QString &fileName,
                              QString *error = nullptr);

    // The objects of `array` in the order of their keys (a stable sort). Snapshots are
    // written in this order, so that one matching gives the same file whatever order the
    // database returned its rows in: closing without an edit then rewrites nothing.
    using SortKey = std::pair<qint64, QString>;
    static QJsonArray sorted(const QJsonArray &array,
                             const std::function<SortKey(const QJsonObject &)> &keyOf);
};
