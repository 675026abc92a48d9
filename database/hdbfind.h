#pragma once

#include <QString>
#include <QStringList>

class HDatabase;

// The one shared connection to the product database.
//
// The file named by setDbFileAndPwd is resolved in this order: a server URL
// (postgresql://...) or a file named by its absolute path (chosen by the user) is used as it
// is; else the environment variable PRODUCT_DB (a file or a URL); else the working
// directory; else the executable's folder. A missing file is never
// created, and a file that is not a product database (wrong format, missing tables or
// columns) is never used silently: open() says what is wrong.
class HDbFind
{
public:
    // Names the file; a file other than the current one closes the handle, and the next
    // getDb() opens the new file.
    static void setDbFileAndPwd(const QString &file, const QString &password);
    // The shared handle, opened on first use. Never null, and the same handle until the
    // program ends; when the file could not be opened, or after closeDb(), the handle is
    // closed and every statement on it fails (see HDatabase::errorString()).
    static HDatabase *getDb();
    // Closes the handle for good: getDb() does not open it again, so that nothing written
    // after shutdown lands in the database. Only open() (or another file named with
    // setDbFileAndPwd) opens it again.
    static void closeDb();
    // Whether the shared handle is open now (does not open it).
    static bool isOpen();
    static QStringList getTableColumns(const QString &table, const QString &column,
                                       const QString &condition, bool flag);

    // Resolves and opens the database now. Returns false with one message naming the
    // file(s) looked at and what is wrong with them.
    static bool open(QString *error = nullptr);
    static QString lastError();
    // Whether `path` could be opened as the product database, without touching the shared
    // handle; false with the message open() would give for it.
    static bool check(const QString &path, const QString &password, QString *error = nullptr);
    // A file named relative to the working folder made absolute; a server URL as it is.
    static QString absoluteLocation(const QString &location);
    // The places the bare file name is looked for, in order.
    static QStringList candidatePaths(const QString &file);
};
