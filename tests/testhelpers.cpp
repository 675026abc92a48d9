#include "testhelpers.h"

#include "hdbfind.h"
#include "hproductschema.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QUuid>

namespace TestHelpers {

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

namespace {

// Runs `work` on a connection of its own to the file, then removes the connection.
template <typename Work>
auto withConnection(const QString &path, Work work)
    -> decltype(work(std::declval<QSqlDatabase &>()))
{
    const QString name = QStringLiteral("testhelpers_") + QUuid::createUuid().toString();
    decltype(work(std::declval<QSqlDatabase &>())) result{};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open())
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
        if (!query.exec(statement)) {
            if (error)
                *error = query.lastError().text() + QStringLiteral(" in: ") + statement;
            return false;
        }
    }
    return true;
}

} // namespace

bool createProductDb(const QString &path, const QStringList &statements, QString *error)
{
    QFile::remove(path);
    return withConnection(path, [&](QSqlDatabase &db) {
        return HProductSchema::create(db, error) && runAll(db, statements, error);
    });
}

bool execSql(const QString &path, const QStringList &statements, QString *error)
{
    return withConnection(path, [&](QSqlDatabase &db) { return runAll(db, statements, error); });
}

QVariant sqlValue(const QString &path, const QString &sql)
{
    return withConnection(path, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        if (query.exec(sql) && query.next())
            return query.value(0);
        return QVariant();
    });
}

QStringList sqlRows(const QString &path, const QString &sql)
{
    return withConnection(path, [&](QSqlDatabase &db) {
        QStringList rows;
        QSqlQuery query(db);
        if (!query.exec(sql))
            return QStringList{QStringLiteral("ERROR: ") + query.lastError().text()};
        while (query.next()) {
            QStringList columns;
            for (int i = 0; i < query.record().count(); ++i)
                columns.append(query.value(i).toString());
            rows.append(columns.join(QLatin1Char('|')));
        }
        return rows;
    });
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
    qputenv("PRODUCT_DB", path.toLocal8Bit());
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

void clickRow(QAbstractItemView *view, int row, int column, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex index = view->model()->index(row, column);
    view->scrollTo(index);
    const QRect rect = view->visualRect(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, rect.center());
}

void doubleClickRow(QAbstractItemView *view, int row, int column)
{
    const QModelIndex index = view->model()->index(row, column);
    view->scrollTo(index);
    const QPoint point = view->visualRect(index).center();
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
