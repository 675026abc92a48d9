#pragma once

#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVector>

#include <functional>

class QAbstractItemView;
struct HWorkbookSheet;

namespace TestHelpers {

// What a modal box or dialog showed.
struct SeenModal
{
    QString className;
    QString title;
    QString text; // a message box's text; empty for other dialogs
};

// Watches for the active modal widget and answers it: message boxes with the queued (or
// default) button, dialogs with the queued action (or reject()). Records every one seen.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    using Action = std::function<void(QWidget *)>;

    explicit ModalAnswerer(QObject *parent = nullptr);

    // The next modal widget is answered with this button (message boxes only) ...
    void answer(QMessageBox::StandardButton button);
    // ... or handed to this action (any modal widget: fill a dialog, press its OK).
    void act(Action action);
    // The button pressed on a message box when nothing is queued (OK by default).
    void setDefaultAnswer(QMessageBox::StandardButton button) { m_defaultAnswer = button; }

    const QList<SeenModal> &seen() const { return m_seen; }
    int count() const { return m_seen.size(); }
    QStringList texts() const;
    void clear() { m_seen.clear(); }

private:
    void poll();

    QTimer m_timer;
    QQueue<Action> m_actions;
    QList<SeenModal> m_seen;
    QList<QPointer<QWidget>> m_handled;
    QMessageBox::StandardButton m_defaultAnswer = QMessageBox::Ok;
};

// Answers a file dialog: records the folder it started in, selects `path` and accepts (from
// the event loop, so that a question about replacing a file is answered too). Other dialogs
// are rejected.
ModalAnswerer::Action pickFile(const QString &path, QString *startedIn = nullptr);

// The back end the suite runs on: SQLite, or PostgreSQL when PM_TEST_BACKEND=postgresql.
// A test names its database by a file path either way; on PostgreSQL each path stands for
// a database of its own on the server (PGHOST, PGPORT, PGUSER, PGPASSWORD), made afresh
// from a schema-loaded template by createProductDb and dropped when the suite ends.
bool onPostgreSql();
// While one lives, createProductDb, execSql, sqlValue and sqlRows work on SQLite files
// whatever the back end (files a tool reads or writes as files).
struct SqliteFiles
{
    SqliteFiles();
    ~SqliteFiles();
};
// What the tool opens for the database of `path`: the path, or the database's URL.
QString databaseLocation(const QString &path);
// Why the suite's back end cannot be had (no server), or empty.
QString backendUnavailable();
// In initTestCase(): a PostgreSQL run without a server skips the suite loudly, and fails
// under CI (environment variable CI set), where it must not be skipped.
#define PM_REQUIRE_BACKEND()                                                                       \
    do {                                                                                           \
        const QString pmWhy = TestHelpers::backendUnavailable();                                   \
        if (!pmWhy.isEmpty()) {                                                                    \
            qWarning("*** NO POSTGRESQL SERVER: %s ***", qPrintable(pmWhy));                       \
            if (qEnvironmentVariableIsSet("CI"))                                                   \
                QFAIL(qPrintable(QStringLiteral("no PostgreSQL server under CI: ") + pmWhy));      \
            QSKIP(qPrintable(QStringLiteral("NO POSTGRESQL SERVER, suite not run: ") + pmWhy));    \
        }                                                                                          \
    } while (false)

// A new product database at `path`: the schema plus the given statements.
bool createProductDb(const QString &path, const QStringList &statements = {},
                     QString *error = nullptr);
// Runs statements on the database through a connection of its own. Statements are written
// for SQLite; on PostgreSQL they run as the tool's own do (HDatabase::dialectSql).
bool execSql(const QString &path, const QStringList &statements, QString *error = nullptr);
// The first column of the first row, or an invalid value.
QVariant sqlValue(const QString &path, const QString &sql);
// PostgreSQL only: statements on the server's maintenance database (roles, databases).
bool execServerSql(const QStringList &statements, QString *error = nullptr);
// Every row, each as its columns' texts joined by "|".
QStringList sqlRows(const QString &path, const QString &sql);
// What `after` gained ("+row") and lost ("-row") against `before`, a repeated row once per
// copy, sorted.
QStringList rowChanges(const QStringList &before, const QStringList &after);

// What the database holds, to tell whether anything was written: the file's bytes on
// SQLite; every table's rows, sorted, on PostgreSQL.
QByteArray databaseState(const QString &path);

// Statements that make `table` refuse the events ("insert", "update", "delete") with
// `message`, in the back end's trigger language; `when` is an optional condition on new.
QStringList refusingTriggers(const QString &table, const QStringList &events,
                             const QString &message, const QString &when = QString());
// Statements that drop them again.
QStringList droppingTriggers(const QString &table, const QStringList &events);

// A second connection holding a write lock on every table while it lives, as another user
// saving: the tool's writes wait (PM_BUSY_TIMEOUT_MS) and fail; reads go on.
class WriteLock
{
public:
    explicit WriteLock(const QString &path);
    ~WriteLock();
    WriteLock(const WriteLock &) = delete;
    WriteLock &operator=(const WriteLock &) = delete;
    bool isHeld() const { return m_held; }
    void release();

private:
    QString m_name;
    bool m_held = false;
};

// Every file below a folder, hidden ones included, with its bytes: a stray temporary file
// shows as well as a changed one.
QMap<QString, QByteArray> folderFiles(const QString &folder);
// A file's bytes (empty when it cannot be read), and a whole write of them.
QByteArray fileBytes(const QString &path);
bool writeBytes(const QString &path, const QByteArray &bytes);

// Opens the shared handle on `path` (named through PRODUCT_DB).
void useProductDb(const QString &path);
// Removes config/ and log/ beside the test executable.
void cleanAppFolders();
QString appFolder(const QString &name);

// Rows as "a|b|c" lines joined by '\n', without trailing empty cells and trailing empty rows.
QString rowLines(const QVector<QStringList> &rows);
// Runs Debian's /usr/bin/python3 with `args`; true when it exited 0. Its standard error goes
// to `error`, its standard output to `output` when given.
bool runPython(const QStringList &args, QByteArray *output, QString *error);
// Whether that python3 has the workbook modules (xlrd, xlwt and openpyxl by default).
bool pythonHas(const QString &modules = QStringLiteral("xlrd, xlwt, openpyxl"));
// The sheets of a workbook as tests/clients/read_workbook.py reads them; false (and why) when
// python3 or its modules are missing or the script failed.
bool readWithPython(const QString &path, QVector<HWorkbookSheet> *sheets, QString *error);

// Mouse actions on the row of a view, on its viewport, as a user makes them.
void clickRow(QAbstractItemView *view, int row, int column = 0,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void doubleClickRow(QAbstractItemView *view, int row, int column = 0);
// The display texts of column 0 of a view's model.
QStringList rowTexts(QAbstractItemView *view, int column = 0);

} // namespace TestHelpers
