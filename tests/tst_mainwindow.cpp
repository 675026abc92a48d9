#include "testhelpers.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "mainwindow.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void tabsAndWindow();
    void okSavesCancelAndFrameCloseDoNot();
    void closingWritesSideFilesFirst();
    void destructionClosesTheDatabase();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestMainWindow::init()
{
    QVERIFY(m_dir.isValid());
    cleanAppFolders();
    m_db = m_dir.filePath(QStringLiteral("Product.mdb"));
    QVERIFY(createProductDb(
        m_db, {
                  QStringLiteral(
                      "insert into __product_series (id_series, product_type, product_series, "
                      "category, sub_catalog) "
                      "values (1, 0, 'ODU A', 'VRF', 'Heat pump'), (2, 1, 'IDU B', 'IDU', 'Duct')"),
              }));
    useProductDb(m_db);
}

void TestMainWindow::cleanup()
{
    HDbFind::closeDb();
    cleanAppFolders();
    QFile::remove(appFolder(QStringLiteral("log"))); // a file left in its place
}

void TestMainWindow::tabsAndWindow()
{
    MainWindow window;
    auto *tabs = window.findChild<QTabWidget *>("tabWidget");
    QVERIFY(tabs);
    QStringList texts;
    for (int i = 0; i < tabs->count(); ++i)
        texts << tabs->tabText(i);
    QCOMPARE(texts, QStringList({"ODU And IDU Matching", "ODU/IDU And Accessory Matching",
                                 "Select Rule", "All rule table", "Set product sales status"}));
    QCOMPARE(window.windowTitle(), QStringLiteral("Product"));
    QVERIFY(window.windowState() & Qt::WindowMaximized);

    // The tabs and the buttons follow the window's size.
    window.showNormal();
    window.resize(1000, 700);
    QTest::qWait(20);
    QVERIFY(tabs->width() > 900);
    QVERIFY(window.findChild<QDialogButtonBox *>("buttonBox")->geometry().bottom() > 600);

    // Tools > Check product data opens the check on the shared database.
    ModalAnswerer answerer;
    window.findChild<QAction *>("action_checkProductData")->trigger();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().className, QStringLiteral("HProductDataCheckDialog"));
}

void TestMainWindow::okSavesCancelAndFrameCloseDoNot()
{
    // OK saves once and closes; Cancel and the frame's close button close without saving.
    for (int way : {int(QDialogButtonBox::Ok), int(QDialogButtonBox::Cancel), 0}) {
        MainWindow window;
        window.show();
        QSignalSpy saves(&window, &MainWindow::save);
        auto *buttons = window.findChild<QDialogButtonBox *>("buttonBox");
        if (way)
            QTest::mouseClick(buttons->button(QDialogButtonBox::StandardButton(way)),
                              Qt::LeftButton);
        else
            QVERIFY(window.close());
        QCOMPARE(saves.count(), way == QDialogButtonBox::Ok ? 1 : 0);
        QVERIFY(!window.isVisible());
    }
}

void TestMainWindow::closingWritesSideFilesFirst()
{
    // The scheme file cannot be replaced (a folder took its name) and log/ cannot be created.
    const QString scheme = appFolder(QStringLiteral("config/A.json"));
    QVERIFY(QDir().mkpath(appFolder(QStringLiteral("config"))));
    QVERIFY(writeBytes(scheme, "{}"));
    auto breakFiles = [&] {
        return QFile::remove(scheme) && QDir().mkpath(scheme) &&
               writeBytes(appFolder(QStringLiteral("log")), "");
    };
    ModalAnswerer answerer;
    {
        MainWindow window;
        QVERIFY(breakFiles());

        // The user is asked before the scheme edits go, with every file that failed named;
        // "No" keeps the window.
        answerer.answer(QMessageBox::No);
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        QCOMPARE(answerer.count(), 1);
        QString text = answerer.seen().first().text;
        for (const QString &what :
             {QDir::toNativeSeparators(scheme), QStringLiteral("\"ODU And IDU Matching\""),
              QStringLiteral("\"ODU/IDU And Accessory Matching\""),
              QDir::toNativeSeparators(appFolder(QStringLiteral("log")))})
            QVERIFY2(text.contains(what), qPrintable(text));

        // With the scheme writable again, closing goes on after a warning about the snapshots.
        QVERIFY(QDir(scheme).removeRecursively());
        answerer.clear();
        QVERIFY(window.close());
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.seen().first().title, QStringLiteral("Warning"));
        text = answerer.seen().first().text;
        QVERIFY2(text.contains(QStringLiteral("\"ODU And IDU Matching\"")) &&
                     !text.contains(QStringLiteral("A.json")),
                 qPrintable(text));
        QVERIFY(QFileInfo(scheme).isFile());
    }
    {
        // "Yes" closes all the same.
        QVERIFY(QFile::remove(appFolder(QStringLiteral("log"))));
        MainWindow window;
        QVERIFY(breakFiles());
        answerer.clear();
        answerer.answer(QMessageBox::Yes);
        QVERIFY(window.close());
        QCOMPARE(answerer.count(), 1);
        QVERIFY(QDir(scheme).removeRecursively());
    }
}

void TestMainWindow::destructionClosesTheDatabase()
{
    auto *window = new MainWindow;
    QVERIFY(HDbFind::getDb()->isOpen());
    delete window;
    // Closed for good: nothing opens it again unasked (the sale status tab goes after the
    // database), and statements fail saying so.
    QVERIFY(!HDbFind::getDb()->isOpen());
    QVERIFY(!HDbFind::getDb()->exec(QStringLiteral("delete from __product_series")));
    QVERIFY2(HDbFind::getDb()->errorString().contains(QStringLiteral("closed")),
             qPrintable(HDbFind::getDb()->errorString()));
    QCOMPARE(sqlValue(m_db, QStringLiteral("select count(*) from __product_series")), QVariant(2));
    // The next window opens it again.
    MainWindow again;
    QVERIFY(HDbFind::getDb()->isOpen());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
