#include "testhelpers.h"

#include "hfiledialogs.h"
#include "hfindbar.h"
#include "honscreen.h"
#include "hprogress.h"

#include <QFileDialog>
#include <QListView>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

using namespace TestHelpers;

// The shared widgets the tabs build on: the filter box, the file dialogs that remember their
// folder, the progress window and keeping windows on screen.
class TestSharedWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void findBarFilters_data();
    void findBarFilters();
    void findBarFollowsModelAndFocus();
    void fileDialogsRememberTheFolder();
    void progressShowsLateAndCancels();
    void windowsKeptOnScreen();

private:
    QTemporaryDir m_dir;
};

void TestSharedWidgets::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("pm-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_sharedwidgets"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("settings"));
}

void TestSharedWidgets::init()
{
    QSettings().clear();
}

namespace {

// Four rows; the table hides the third column, the list shows the first only.
QStandardItemModel *sampleModel(QObject *parent)
{
    auto *model = new QStandardItemModel(parent);
    const char *rows[][3] = {{"ODU Alpha", "VRF", "secret-a"},
                             {"IDU Beta", "Duct", "secret-b"},
                             {"ODU Gamma", "Mini", "x"},
                             {"Wall", "IDU", "y"}};
    for (const auto &row : rows) {
        QList<QStandardItem *> items;
        for (const char *text : row)
            items.append(new QStandardItem(QString::fromLatin1(text)));
        model->appendRow(items);
    }
    return model;
}

bool rowHidden(QAbstractItemView *view, int row)
{
    if (auto *table = qobject_cast<QTableView *>(view))
        return table->isRowHidden(row);
    return static_cast<QListView *>(view)->isRowHidden(row);
}

QList<int> shownInView(QAbstractItemView *view)
{
    QList<int> rows;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (!rowHidden(view, row))
            rows.append(row);
    }
    return rows;
}

} // namespace

void TestSharedWidgets::findBarFilters_data()
{
    QTest::addColumn<bool>("table");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("baseHidden");
    QTest::addColumn<QList<int>>("shown");
    // Any case, no match; a base visibility (the view's own rule) with a filter and alone.
    for (bool table : {true, false}) {
        const char *kind = table ? "table" : "list";
        QTest::addRow("%s, any case", kind) << table << " odu" << QList<int>() << QList<int>{0, 2};
        QTest::addRow("%s, base and filter", kind)
            << table << "ODU" << QList<int>{2} << QList<int>{0};
        QTest::addRow("%s, base alone", kind)
            << table << "" << QList<int>{1} << QList<int>{0, 2, 3};
    }
    QTest::addRow("list, no match") << false << "zzz" << QList<int>() << QList<int>();
    // Only text the user can see counts: other columns of a list, hidden table columns.
    QTest::addRow("table, other column") << true << "idu" << QList<int>() << QList<int>{1, 3};
    QTest::addRow("list, other column") << false << "idu" << QList<int>() << QList<int>{1};
    QTest::addRow("table, hidden column") << true << "secret" << QList<int>() << QList<int>();
}

void TestSharedWidgets::findBarFilters()
{
    QFETCH(bool, table);
    QFETCH(QString, text);
    QFETCH(QList<int>, baseHidden);
    QFETCH(QList<int>, shown);

    QWidget page;
    auto *layout = new QVBoxLayout(&page);
    QAbstractItemView *view =
        table ? static_cast<QAbstractItemView *>(new QTableView(&page)) : new QListView(&page);
    view->setObjectName(QStringLiteral("view"));
    layout->addWidget(view);
    QStandardItemModel *model = sampleModel(view);
    view->setModel(model);
    if (auto *tableView = qobject_cast<QTableView *>(view))
        tableView->setColumnHidden(2, true);
    HFindBar *bar = HFindBar::attach(view);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QVERIFY(bar->geometry().bottom() < view->geometry().top()); // above the view

    QSignalSpy filtered(bar, &HFindBar::filtered);
    if (!baseHidden.isEmpty())
        bar->setBaseVisibility([baseHidden](int row) { return !baseHidden.contains(row); });
    QTest::keyClicks(bar, text);
    bar->apply();

    QCOMPARE(shownInView(view), shown);
    QCOMPARE(bar->shownRows({0, 1, 2, 3}), shown);
    QCOMPARE(filtered.last().at(0).toInt(), shown.size());
    QCOMPARE(filtered.last().at(1).toInt(), 4);
    // The model keeps every row and its text.
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(rowTexts(view), QStringList({"ODU Alpha", "IDU Beta", "ODU Gamma", "Wall"}));

    // Cleared: every row the base allows is back.
    bar->clear();
    QList<int> all;
    for (int row = 0; row < 4; ++row) {
        if (!baseHidden.contains(row))
            all.append(row);
    }
    QCOMPARE(shownInView(view), all);
}

void TestSharedWidgets::findBarFollowsModelAndFocus()
{
    QWidget page;
    auto *layout = new QVBoxLayout(&page);
    auto *list = new QListView(&page);
    list->setObjectName(QStringLiteral("list"));
    auto *table = new QTableView(&page);
    table->setObjectName(QStringLiteral("table"));
    layout->addWidget(list);
    layout->addWidget(table);
    list->setModel(sampleModel(list));
    table->setModel(sampleModel(table));
    HFindBar *listBar = HFindBar::attach(list);
    HFindBar *tableBar = HFindBar::attach(table);
    HFindBar::installShortcut(&page);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    // Rows added or changed later are filtered too, once the burst is over.
    listBar->setText(QStringLiteral("odu"));
    auto *model = static_cast<QStandardItemModel *>(list->model());
    model->appendRow(new QStandardItem(QStringLiteral("ODU Delta")));
    model->appendRow(new QStandardItem(QStringLiteral("Floor")));
    model->item(3)->setText(QStringLiteral("ODU Wall"));
    QTRY_COMPARE(shownInView(list), QList<int>({0, 2, 3, 4}));

    // A new model is filtered once the box follows it.
    auto *other = sampleModel(list);
    list->setModel(other);
    listBar->followModel();
    QCOMPARE(shownInView(list), QList<int>({0, 2}));

    // Ctrl+F focuses the box of the view with the focus, else the first box.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(tableBar->hasFocus());
    QCOMPARE(tableBar->selectedText(), QString());
    tableBar->setText(QStringLiteral("wall"));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(tableBar->hasFocus());
    QCOMPARE(tableBar->selectedText(), QStringLiteral("wall")); // typing replaces it
    list->setFocus();
    QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(listBar->hasFocus());

    // A box that goes is no longer found through its view.
    delete tableBar;
    QCOMPARE(HFindBar::of(table), nullptr);
    QCOMPARE(HFindBar::of(list), listBar);
}

void TestSharedWidgets::fileDialogsRememberTheFolder()
{
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(documents).isDir())
        documents = QDir::homePath();
    const QString a = m_dir.filePath("a");
    const QString b = m_dir.filePath("b");
    QVERIFY(QDir().mkpath(a) && QDir().mkpath(b));
    QVERIFY(writeBytes(a + "/one.db", "x") && writeBytes(b + "/two.xls", "x"));

    // Each step: which dialog, for what purpose, the folder it must start in, and the file
    // chosen (empty: the dialog is cancelled).
    struct Step
    {
        char kind; // 'o' open, 's' save, 'd' folder
        const char *purpose;
        QString startsIn;
        QString choose;
    };
    const QList<Step> steps = {
        {'o', "database", documents, QString()},     // nothing used yet
        {'o', "database", documents, a + "/one.db"}, // a cancel remembers nothing
        {'o', "database", a, QString()},             // its own last folder
        {'s', "workbook", a, b + "/new.xlsx"},       // else the last folder of any kind
        {'o', "workbook", b, b + "/two.xls"},
        {'o', "database", a, QString()}, // kinds keep their own folder
        {'d', "export", b, a},           // a folder chosen is remembered
        {'d', "export", a, QString()},
    };
    ModalAnswerer answerer;
    for (const Step &step : steps) {
        QString startedIn;
        answerer.act([&](QWidget *widget) {
            auto *dialog = qobject_cast<QFileDialog *>(widget);
            QVERIFY(dialog);
            startedIn = dialog->directory().absolutePath();
            if (step.choose.isEmpty()) {
                dialog->reject();
                return;
            }
            if (step.kind == 'd')
                dialog->setDirectory(step.choose);
            dialog->selectFile(step.choose);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const QString purpose = QString::fromLatin1(step.purpose);
        QString chosen;
        if (step.kind == 'o')
            chosen = HFileDialogs::openFileName(nullptr, purpose, "Open", "All files (*)");
        else if (step.kind == 's')
            chosen = HFileDialogs::saveFileName(nullptr, purpose, "Save", "new.xlsx", "*.xlsx");
        else
            chosen = HFileDialogs::existingDirectory(nullptr, purpose, "Folder");
        const QString where = QStringLiteral("%1 %2").arg(step.kind).arg(purpose);
        QVERIFY2(QDir(startedIn) == QDir(step.startsIn),
                 qPrintable(where + ": started in " + startedIn));
        QCOMPARE(QDir::cleanPath(chosen), QDir::cleanPath(step.choose));
    }

    // A remembered folder that is gone: the documents folder again.
    QVERIFY(QDir(a).removeRecursively());
    QCOMPARE(QDir(HFileDialogs::startFolder(QStringLiteral("export"))), QDir(documents));
}

void TestSharedWidgets::progressShowsLateAndCancels()
{
    for (bool cancellable : {true, false}) {
        HProgress progress(nullptr, QStringLiteral("Reading"), 100, cancellable);
        QProgressDialog *dialog = progress.dialog();
        progress.setValue(1);
        QVERIFY(!dialog->isVisible()); // short work shows nothing
        QTest::qWait(1100);
        progress.setValue(2);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->findChild<QPushButton *>() != nullptr, cancellable);
        // Closing the window cancels only what may be cancelled.
        dialog->close();
        progress.setValue(3);
        QCOMPARE(progress.wasCanceled(), cancellable);
        QCOMPARE(dialog->isVisible(), !cancellable);
    }
}

void TestSharedWidgets::windowsKeptOnScreen()
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QRect &asked :
         {QRect(-5000, -5000, 300, 200), QRect(screen.right() + 100, 10, 300, 200),
          QRect(10, 10, screen.width() + 400, screen.height() + 400)}) {
        QWidget window;
        window.setGeometry(asked);
        HOnScreen::fit(&window);
        QVERIFY(screen.contains(window.frameGeometry()));
    }
}

QTEST_MAIN(TestSharedWidgets)
#include "tst_sharedwidgets.moc"
