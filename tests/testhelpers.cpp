#include "testhelpers.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hproductschema.h"
#include "hworkbook.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QUuid>

#include <unistd.h>

namespace TestHelpers {

namespace {

// Presses a button of a message box (the first accepting one when `button` is absent).
void pressMessageBoxButton(QMessageBox *box, QMessageBox::StandardButton button)
{
    QAbstractButton *target = box->button(button);
    if (!target) {
        const auto buttons = box->buttons();
        for (QAbstractButton *candidate : buttons) {
            const auto role = box->buttonRole(candidate);
            if (role == QMessageBox::AcceptRole || role == QMessageBox::YesRole) {
                target = candidate;
                break;
            }
        }
    }
    if (!target && !box->buttons().isEmpty())
        target = box->buttons().first();
    if (target)
        target->click();
    else
        box->reject();
}

} // namespace

ModalAnswerer::ModalAnswerer(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

void ModalAnswerer::answer(QMessageBox::StandardButton button)
{
    m_actions.enqueue([button](QWidget *widget) {
        if (auto *box = qobject_cast<QMessageBox *>(widget))
            pressMessageBoxButton(box, button);
        else if (auto *dialog = qobject_cast<QDialog *>(widget))
            dialog->reject();
    });
}

void ModalAnswerer::act(Action action)
{
    m_actions.enqueue(std::move(action));
}

QStringList ModalAnswerer::texts() const
{
    QStringList result;
    for (const SeenModal &modal : m_seen)
        result.append(modal.text);
    return result;
}

void ModalAnswerer::poll()
{
    QWidget *widget = QApplication::activeModalWidget();
    if (!widget || !widget->isVisible())
        return;
    for (const QPointer<QWidget> &handled : qAsConst(m_handled)) {
        if (handled == widget)
            return;
    }
    m_handled.append(widget);

    SeenModal modal;
    modal.className = QString::fromLatin1(widget->metaObject()->className());
    modal.title = widget->windowTitle();
    auto *box = qobject_cast<QMessageBox *>(widget);
    if (box)
        modal.text = box->text();
    m_seen.append(modal);

    if (!m_actions.isEmpty()) {
        Action action = m_actions.dequeue();
        action(widget);
    } else if (box) {
        pressMessageBoxButton(box, m_defaultAnswer);
    } else if (auto *dialog = qobject_cast<QDialog *>(widget)) {
        dialog->reject();
    }
}

ModalAnswerer::Action pickFile(const QString &path, QString *startedIn)
{
    return [path, startedIn](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog) {
            if (auto *other = qobject_cast<QDialog *>(widget))
                other->reject();
            return;
        }
        if (startedIn)
            *startedIn = dialog->directory().absolutePath();
        dialog->setDirectory(QFileInfo(path).absolutePath());
        dialog->selectFile(path);
        QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog *>(dialog)->accept(); });
    };
}

namespace {

const QString kAdminConnection = QStringLiteral("testhelpers_admin");

// The PostgreSQL run's databases: one per path a test names, made from one template.
struct ServerState
{
    bool probed = false;
    QString unavailable;
    QString templateName;
    QHash<QString, QString> databases; // path -> database name
    int counter = 0;
};

ServerState &server()
{
    static ServerState state;
    return state;
}

int sqliteFileScopes = 0;

// Whether the helpers work on the server: a PostgreSQL run outside SqliteFiles scopes.
bool onServer()
{
    return onPostgreSql() && sqliteFileScopes == 0;
}

QString quotedName(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

// A connection to a database of the server; host, port, user and password are libpq's
// (PGHOST, PGPORT, PGUSER, PGPASSWORD).
QSqlDatabase serverConnection(const QString &connection, const QString &database)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    db.setDatabaseName(database);
    return db;
}

bool adminExec(const QString &sql, QString *error)
{
    QSqlQuery query(QSqlDatabase::database(kAdminConnection, false));
    if (query.exec(sql))
        return true;
    if (error)
        *error = query.lastError().text() + QStringLiteral(" in: ") + sql;
    return false;
}

// Drops every database of the run once the suite is over.
void dropServerDatabases()
{
    ServerState &s = server();
    if (!QSqlDatabase::contains(kAdminConnection))
        return;
    HDbFind::closeDb();
    QStringList names = s.databases.values();
    names.append(s.templateName);
    for (const QString &name : qAsConst(names)) {
        if (!name.isEmpty())
            adminExec(
                QStringLiteral("drop database if exists %1 with (force)").arg(quotedName(name)),
                nullptr);
    }
    QSqlDatabase::database(kAdminConnection, false).close();
    QSqlDatabase::removeDatabase(kAdminConnection);
}

// Connects to the server and builds the template once; false (see unavailable) without a
// server.
bool serverReady()
{
    ServerState &s = server();
    if (s.probed)
        return s.unavailable.isEmpty();
    s.probed = true;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        s.unavailable =
            QStringLiteral("the Qt PostgreSQL driver (libqt5sql5-psql) is not installed");
        return false;
    }
    {
        QSqlDatabase admin = serverConnection(kAdminConnection, QStringLiteral("postgres"));
        if (!admin.open()) {
            s.unavailable = QStringLiteral("no server at PGHOST=%1 PGPORT=%2 (run the tests "
                                           "inside pg_virtualenv, as scripts/test.sh does): %3")
                                .arg(qEnvironmentVariable("PGHOST"), qEnvironmentVariable("PGPORT"),
                                     admin.lastError().text());
            admin = QSqlDatabase();
            QSqlDatabase::removeDatabase(kAdminConnection);
            return false;
        }
    }
    qAddPostRoutine(dropServerDatabases);
    s.templateName = QStringLiteral("pmtest_%1_template").arg(getpid());
    QString error;
    bool ok = adminExec(QStringLiteral("drop database if exists %1").arg(s.templateName), &error) &&
              adminExec(QStringLiteral("create database %1").arg(s.templateName), &error);
    if (ok) {
        const QString name = QStringLiteral("testhelpers_template");
        {
            QSqlDatabase db = serverConnection(name, s.templateName);
            ok = db.open() && HProductSchema::create(db, &error);
            if (!db.isOpen())
                error = db.lastError().text();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    if (!ok)
        s.unavailable = QStringLiteral("the template database cannot be made: ") + error;
    return ok;
}

QString serverDatabase(const QString &path)
{
    ServerState &s = server();
    const QString key = QFileInfo(path).absoluteFilePath();
    QString &name = s.databases[key];
    if (name.isEmpty())
        name = QStringLiteral("pmtest_%1_%2").arg(getpid()).arg(++s.counter);
    return name;
}

QString dialect(const QString &sql)
{
    return onServer() ? HDatabase::dialectSql(sql, HDatabase::Backend::PostgreSql) : sql;
}

// A new connection `name` to the database of `path` on the suite's back end, opened; invalid
// without a server.
QSqlDatabase openConnection(const QString &name, const QString &path)
{
    QSqlDatabase db;
    if (onServer()) {
        if (!serverReady())
            return db;
        db = serverConnection(name, serverDatabase(path));
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
    }
    db.open();
    return db;
}

// Runs `work` on a connection of its own to the database, then removes the connection.
template <typename Work>
auto withConnection(const QString &path, Work work)
    -> decltype(work(std::declval<QSqlDatabase &>()))
{
    const QString name = QStringLiteral("testhelpers_") + QUuid::createUuid().toString();
    decltype(work(std::declval<QSqlDatabase &>())) result{};
    {
        QSqlDatabase db = openConnection(name, path);
        if (db.isOpen())
            result = work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

bool runAll(QSqlDatabase &db, const QStringList &statements, QString *error)
{
    QSqlQuery query(db);
    for (const QString &statement : statements) {
        if (!query.exec(dialect(statement))) {
            if (error)
                *error = query.lastError().text() + QStringLiteral(" in: ") + statement;
            return false;
        }
    }
    // Rows given their ID, as a copy brings them: new rows are numbered after them.
    return statements.isEmpty() || HDatabase::syncIdentities(db, error);
}

// The rows a query gives, each as its columns' texts joined by "|"; null ones as `null`.
QStringList rowsOf(QSqlQuery &query, const QString &null)
{
    QStringList rows;
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns.append(query.isNull(i) ? null : query.value(i).toString());
        rows.append(columns.join(QLatin1Char('|')));
    }
    return rows;
}

QStringList publicTables(QSqlDatabase &db)
{
    QStringList tables;
    QSqlQuery query(db);
    query.exec(QStringLiteral("select tablename from pg_tables where schemaname = 'public' "
                              "order by tablename"));
    while (query.next())
        tables.append(query.value(0).toString());
    return tables;
}

} // namespace

SqliteFiles::SqliteFiles()
{
    ++sqliteFileScopes;
}

SqliteFiles::~SqliteFiles()
{
    --sqliteFileScopes;
}

bool onPostgreSql()
{
    return qEnvironmentVariable("PM_TEST_BACKEND") == QLatin1String("postgresql");
}

QString backendUnavailable()
{
    if (!onPostgreSql() || serverReady())
        return QString();
    return server().unavailable;
}

QString databaseLocation(const QString &path)
{
    if (!onPostgreSql())
        return path;
    return QStringLiteral("postgresql:///") + serverDatabase(path);
}

bool createProductDb(const QString &path, const QStringList &statements, QString *error)
{
    if (onServer()) {
        if (!serverReady()) {
            if (error)
                *error = server().unavailable;
            return false;
        }
        const QString name = quotedName(serverDatabase(path));
        if (!adminExec(QStringLiteral("drop database if exists %1 with (force)").arg(name),
                       error) ||
            !adminExec(
                QStringLiteral("create database %1 template %2").arg(name, server().templateName),
                error))
            return false;
        return withConnection(path,
                              [&](QSqlDatabase &db) { return runAll(db, statements, error); });
    }
    QFile::remove(path);
    return withConnection(path, [&](QSqlDatabase &db) {
        return HProductSchema::create(db, error) && runAll(db, statements, error);
    });
}

bool execSql(const QString &path, const QStringList &statements, QString *error)
{
    return withConnection(path, [&](QSqlDatabase &db) { return runAll(db, statements, error); });
}

bool execServerSql(const QStringList &statements, QString *error)
{
    if (!onPostgreSql() || !serverReady())
        return false;
    for (const QString &statement : statements) {
        if (!adminExec(statement, error))
            return false;
    }
    return true;
}

QVariant sqlValue(const QString &path, const QString &sql)
{
    return withConnection(path, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        if (query.exec(dialect(sql)) && query.next())
            return query.value(0);
        return QVariant();
    });
}

QStringList rowChanges(const QStringList &before, const QStringList &after)
{
    QStringList gone = before;
    QStringList changes;
    for (const QString &row : after) {
        if (!gone.removeOne(row))
            changes.append(QLatin1Char('+') + row);
    }
    for (const QString &row : qAsConst(gone))
        changes.append(QLatin1Char('-') + row);
    changes.sort();
    return changes;
}

QStringList sqlRows(const QString &path, const QString &sql)
{
    return withConnection(path, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        if (!query.exec(dialect(sql)))
            return QStringList{QStringLiteral("ERROR: ") + query.lastError().text()};
        return rowsOf(query, QString());
    });
}

QByteArray databaseState(const QString &path)
{
    if (!onPostgreSql())
        return fileBytes(path);
    return withConnection(path, [&](QSqlDatabase &db) {
        QByteArray state;
        for (const QString &table : publicTables(db)) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("select * from %1").arg(quotedName(table)));
            QStringList rows = rowsOf(query, QStringLiteral("NULL"));
            rows.sort();
            state += table.toUtf8() + ":\n" + rows.join(QLatin1Char('\n')).toUtf8() + '\n';
        }
        return state;
    });
}

QStringList refusingTriggers(const QString &table, const QStringList &events,
                             const QString &message, const QString &when)
{
    QStringList statements;
    QString text = message;
    text.replace(QLatin1Char('\''), QLatin1String("''"));
    if (onPostgreSql())
        statements << QStringLiteral("create or replace function pm_refuse_%1() returns trigger "
                                     "language plpgsql as $$ begin raise exception '%2'; end $$")
                          .arg(table, text);
    for (const QString &event : events) {
        if (onPostgreSql())
            statements << QStringLiteral("create trigger pm_refuse_%1_%2 before %1 on %2 for "
                                         "each row %3 execute function pm_refuse_%2()")
                              .arg(event, table,
                                   when.isEmpty() ? QString()
                                                  : QStringLiteral("when (%1)").arg(when));
        else
            statements << QStringLiteral("create trigger pm_refuse_%1_%2 before %1 on %2 %3 "
                                         "begin select raise(abort, '%4'); end")
                              .arg(event, table,
                                   when.isEmpty() ? QString() : QStringLiteral("when ") + when,
                                   text);
    }
    return statements;
}

QStringList droppingTriggers(const QString &table, const QStringList &events)
{
    QStringList statements;
    for (const QString &event : events)
        statements << (onPostgreSql()
                           ? QStringLiteral("drop trigger if exists pm_refuse_%1_%2 on %2")
                           : QStringLiteral("drop trigger if exists pm_refuse_%1_%2"))
                          .arg(event, table);
    return statements;
}

WriteLock::WriteLock(const QString &path)
    : m_name(QStringLiteral("testhelpers_lock_") + QUuid::createUuid().toString())
{
    QSqlDatabase db = openConnection(m_name, path);
    if (!db.isOpen())
        return;
    QSqlQuery query(db);
    if (onPostgreSql()) {
        QStringList tables = publicTables(db);
        for (QString &table : tables)
            table = quotedName(table);
        // Exclusive: others read on, but every write waits, as behind SQLite's write lock.
        m_held = query.exec(QStringLiteral("begin")) &&
                 query.exec(QStringLiteral("lock table %1 in exclusive mode")
                                .arg(tables.join(QStringLiteral(", "))));
    } else {
        m_held = query.exec(QStringLiteral("begin immediate"));
    }
}

WriteLock::~WriteLock()
{
    release();
}

void WriteLock::release()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        QSqlQuery(db).exec(QStringLiteral("rollback"));
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_held = false;
}

QMap<QString, QByteArray> folderFiles(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), fileBytes(path));
    }
    return files;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

void useProductDb(const QString &path)
{
    HDbFind::closeDb();
    qputenv("PRODUCT_DB", databaseLocation(path).toLocal8Bit());
    // A closed handle stays closed until it is opened explicitly.
    HDbFind::open();
}

QString appFolder(const QString &name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

void cleanAppFolders()
{
    QDir(appFolder(QStringLiteral("config"))).removeRecursively();
    QDir(appFolder(QStringLiteral("log"))).removeRecursively();
}

QString rowLines(const QVector<QStringList> &rows)
{
    QStringList out;
    for (QStringList row : rows) {
        while (!row.isEmpty() && row.last().isEmpty())
            row.removeLast();
        out.append(row.join(QLatin1Char('|')));
    }
    while (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out.join(QLatin1Char('\n'));
}

bool runPython(const QStringList &args, QByteArray *output, QString *error)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("/usr/bin/python3"), args);
    const bool ok = process.waitForFinished(600000) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    *error = QString::fromUtf8(process.readAllStandardError());
    if (output)
        *output = process.readAllStandardOutput();
    return ok;
}

bool pythonHas(const QString &modules)
{
    QString error;
    return runPython({QStringLiteral("-c"), QStringLiteral("import ") + modules}, nullptr, &error);
}

bool readWithPython(const QString &path, QVector<HWorkbookSheet> *sheets, QString *error)
{
    QByteArray json;
    if (!pythonHas(QStringLiteral("xlrd, openpyxl"))) {
        *error = QStringLiteral("python3 with xlrd and openpyxl is not installed");
        return false;
    }
    if (!runPython({QStringLiteral(PM_SOURCE_DIR "/tests/clients/read_workbook.py"), path}, &json,
                   error))
        return false;
    sheets->clear();
    for (const QJsonValue &sheet : QJsonDocument::fromJson(json).array()) {
        sheets->append({sheet[QLatin1String("name")].toString(), {}});
        for (const QJsonValue &row : sheet[QLatin1String("rows")].toArray()) {
            sheets->last().rows.append(QStringList());
            for (const QJsonValue &cell : row.toArray())
                sheets->last().rows.last().append(cell.toString());
        }
    }
    return true;
}

// The centre of a row's cell, scrolled into view.
static QPoint rowPoint(QAbstractItemView *view, int row, int column)
{
    const QModelIndex index = view->model()->index(row, column);
    view->scrollTo(index);
    return view->visualRect(index).center();
}

void clickRow(QAbstractItemView *view, int row, int column, Qt::KeyboardModifiers modifiers)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, rowPoint(view, row, column));
}

void doubleClickRow(QAbstractItemView *view, int row, int column)
{
    const QPoint point = rowPoint(view, row, column);
    // As the mouse makes it: press, release, double-click, release. An item view only
    // emits doubleClicked() for a double-click that follows a press on the same item.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, point);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, point);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, point);
}

QStringList rowTexts(QAbstractItemView *view, int column)
{
    QStringList texts;
    QAbstractItemModel *model = view->model();
    if (!model)
        return texts;
    for (int row = 0; row < model->rowCount(); ++row)
        texts.append(model->index(row, column).data().toString());
    return texts;
}

} // namespace TestHelpers
