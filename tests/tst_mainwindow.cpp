#include "testhelpers.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "mainwindow.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

using namespace TestHelpers;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void tabsAndWindow();
    void okSavesThenCloses();
    void cancelAndFrameCloseSaveNothing();
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
    QVERIFY(createProductDb(m_db, {
        QStringLiteral("insert into __product_series (id_series, product_type, product_series, category, sub_catalog) "
                       "values (1, 0, 'ODU A', 'VRF', 'Heat pump'), (2, 1, 'IDU B', 'IDU', 'Duct')"),
    }));
    useProductDb(m_db);
}

void TestMainWindow::cleanup()
{
    HDbFind::closeDb();
    cleanAppFolders();
}

void TestMainWindow::tabsAndWindow()
{
    MainWindow window;
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QVERIFY(tabs);
    const QStringList expected = {QStringLiteral("ODU And IDU Matching"),
                                  QStringLiteral("ODU/IDU And Accessory Matching"),
                                  QStringLiteral("Select Rule"), QStringLiteral("All rule table"),
                                  QStringLiteral("Set product sales status")};
    QCOMPARE(tabs->count(), expected.size());
    const QStringList classes = {QStringLiteral("HOduAndIduMatchingWidget"),
                                 QStringLiteral("HSeriesAndAccessoryMatchingWidget"),
                                 QStringLiteral("HRuleWidget"), QStringLiteral("HEditAllRuleTableWidget"),
                                 QStringLiteral("HEditProductSaleStatus")};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(tabs->tabText(i), expected.at(i));
        QCOMPARE(QString::fromLatin1(tabs->widget(i)->metaObject()->className()), classes.at(i));
    }
    QCOMPARE(window.windowTitle(), QStringLiteral("Product"));
    QVERIFY(window.windowState() & Qt::WindowMaximized);
    QVERIFY(window.isVisible());

    // The layout moved to the central widget: tabs and buttons follow the window's size.
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("centralWidget"));
    auto *layout = qobject_cast<QVBoxLayout *>(window.centralWidget()->layout());
    QVERIFY(layout);
    QCOMPARE(layout->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(layout->contentsMargins(), QMargins(5, 5, 5, 5));
    window.showNormal();
    window.resize(1000, 700);
    QTest::qWait(20);
    auto *buttons = window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(buttons);
    QVERIFY(tabs->width() > 900);
    QVERIFY(buttons->geometry().bottom() > 600);
    QVERIFY(buttons->button(QDialogButtonBox::Ok));
    QVERIFY(buttons->button(QDialogButtonBox::Cancel));
}

void TestMainWindow::okSavesThenCloses()
{
    MainWindow window;
    QSignalSpy saves(&window, &MainWindow::save);
    auto *buttons = window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QCOMPARE(saves.count(), 1);
    QVERIFY(!window.isVisible());
}

void TestMainWindow::cancelAndFrameCloseSaveNothing()
{
    {
        MainWindow window;
        QSignalSpy saves(&window, &MainWindow::save);
        auto *buttons = window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        QCOMPARE(saves.count(), 0);
        QVERIFY(!window.isVisible());
    }
    {
        MainWindow window;
        QSignalSpy saves(&window, &MainWindow::save);
        QVERIFY(window.close());
        QCOMPARE(saves.count(), 0);
    }
}

void TestMainWindow::destructionClosesTheDatabase()
{
    auto *window = new MainWindow;
    QVERIFY(HDbFind::getDb()->isOpen());
    delete window;
    QVERIFY(!HDbFind::isOpen());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
