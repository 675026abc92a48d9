#include "testhelpers.h"

#include "hdbfind.h"
#include "hoduandidumatchingwidget.h"
#include "mainwindow.h"

#include <QDialogButtonBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;
using L = QLatin1String;

namespace {

// Series 99 has no row; series 20 is no outdoor series.
const QStringList kFixture{
    QStringLiteral("insert into __product_series (id_series, product_type, product_series, "
                   "category, sub_catalog, odu_type) values (2, 0, 'ODU B', 'VRF', 'Heat pump', "
                   "'T2'), (1, 0, 'ODU A', 'VRF', 'Heat pump', 'T1'), (3, 0, 'ODU C', 'Mini', '', "
                   "''), (13, 1, 'Wall', 'IDU', 'W', ''), (10, 1, 'Cassette', 'IDU', 'C4', ''), "
                   "(11, 1, 'Duct', 'IDU', 'Slim', ''), (12, 11, 'HRV', 'HRV', 'Fresh', ''), "
                   "(20, 2, 'Branch', 'Branch', '', '')"),
    QStringLiteral("insert into __rule_odu_idu_matching (id_series_odu, id_series_idu) values "
                   "(1, 11), (2, 12), (1, 10), (1, 99), (20, 10)")};

// A trigger named "refuse" that aborts every insert or delete (%1) on the table.
const QString kRefuse = QStringLiteral("create trigger refuse before %1 on __rule_odu_idu_matching "
                                       "begin select raise(abort, 'refused'); end");

QString texts(QAbstractItemView *view)
{
    return rowTexts(view).join(QLatin1Char(','));
}

// Several rows selected at once, as dragging over them does.
void selectRows(QAbstractItemView *view, const QList<int> &rows)
{
    for (int row : rows)
        view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select);
}

// The editor shown, with its lists, ready for mouse actions.
struct Editor : HOduAndIduMatchingWidget
{
    Editor()
    {
        resize(900, 600);
        show();
        if (!QTest::qWaitForWindowExposed(this))
            qWarning("the editor is not exposed");
    }
    void press(const char *name)
    {
        QTest::mouseClick(findChild<QPushButton *>(L(name)), Qt::LeftButton);
    }
    QListView *view(const char *name) { return findChild<QListView *>(L(name)); }
    QListView *odus = view("listView_all_odu");
    QListView *matched = view("listView_match_idu");
    QListView *idus = view("listView_all_idu");
};

} // namespace

class TestMatching : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;

    QString pairs() const
    {
        return sqlRows(m_db, QStringLiteral("select id_series_odu, id_series_idu from "
                                            "__rule_odu_idu_matching order by rowid"))
            .join(QLatin1Char(','));
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        cleanup();
        m_db = m_dir.filePath(QStringLiteral("Product.mdb"));
        QString error;
        QVERIFY2(createProductDb(m_db, kFixture, &error), qPrintable(error));
        useProductDb(m_db);
        HDbFind::setDbFileAndPwd(QStringLiteral("Product.mdb"), QStringLiteral("pw"));
    }

    void cleanup()
    {
        HDbFind::closeDb();
        cleanAppFolders();
        QFile::remove(appFolder(QStringLiteral("log"))); // a file left in its place
    }

    void editing()
    {
        Editor e;
        ModalAnswerer answerer;
        QCOMPARE(texts(e.odus), L("ODU A-T1-VRF,ODU B-T2-VRF,ODU C--Mini"));
        // Type 11 series are indoor series here.
        QCOMPARE(texts(e.idus), L("Cassette-C4-IDU,Duct-Slim-IDU,HRV-Fresh-HRV,Wall-W-IDU"));
        // The first outdoor series is current and shown; a matched series without a row is "--".
        QCOMPARE(e.odus->currentIndex().row(), 0);
        QVERIFY(e.odus->selectionModel()->isSelected(e.odus->currentIndex()));
        QCOMPARE(texts(e.matched), L("Duct-Slim-IDU,Cassette-C4-IDU,--"));
        clickRow(e.odus, 1);
        QCOMPARE(texts(e.matched), L("HRV-Fresh-HRV"));
        clickRow(e.odus, 0);
        for (QListView *view : {e.odus, e.matched, e.idus})
            QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);

        // A click leaves only the clicked indoor row selected; a second click deselects it.
        selectRows(e.idus, {0, 1, 3});
        clickRow(e.idus, 2);
        QCOMPARE(e.idus->selectionModel()->selectedIndexes(),
                 QModelIndexList{e.idus->model()->index(2, 0)});
        clickRow(e.idus, 2);
        QVERIFY(e.idus->selectionModel()->selectedIndexes().isEmpty());

        // A double-click on a series already matched is refused.
        doubleClickRow(e.idus, 1);
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.seen().at(0).title, L("Infomation"));
        QCOMPARE(answerer.seen().at(0).text, L("It already exists."));
        // Two new rows and one matched row: the new ones in right-list order, one refusal.
        selectRows(e.idus, {3, 1, 2});
        e.press("pushButton_add");
        QCOMPARE(answerer.texts().join(QLatin1Char('|')),
                 L("It already exists.|It already exists."));
        QCOMPARE(texts(e.matched), L("Duct-Slim-IDU,Cassette-C4-IDU,--,HRV-Fresh-HRV,Wall-W-IDU"));
        QCOMPARE(e.idus->selectionModel()->selectedIndexes().size(), 3);

        // "-->" removes the current row of the middle list, so does a double-click on a row;
        // without a current row (the list is redrawn) "-->" removes nothing.
        clickRow(e.matched, 0);
        e.press("pushButton_remove");
        doubleClickRow(e.matched, 1);
        QCOMPARE(texts(e.matched), L("Cassette-C4-IDU,HRV-Fresh-HRV,Wall-W-IDU"));
        e.press("pushButton_remove");
        QCOMPARE(rowTexts(e.matched).size(), 3);

        // A current row moved with the keyboard does not redraw the middle list: its row 0
        // (still ODU A's) removes element 0 of ODU B's matches.
        e.odus->setFocus();
        QTest::keyClick(e.odus, Qt::Key_Down);
        QCOMPARE(e.odus->currentIndex().row(), 1);
        QCOMPARE(rowTexts(e.matched).size(), 3);
        doubleClickRow(e.matched, 0);
        QCOMPARE(texts(e.matched), QString());
        // Back on ODU A by keyboard: an addition goes to the current series and shows it.
        QTest::keyClick(e.odus, Qt::Key_Up);
        QCOMPARE(texts(e.matched), QString());
        doubleClickRow(e.idus, 1);
        QCOMPARE(texts(e.matched), L("Cassette-C4-IDU,HRV-Fresh-HRV,Wall-W-IDU,Duct-Slim-IDU"));

        // Saved in list order; a second save writes the same; both silently.
        for (int i = 0; i < 2; ++i) {
            e.save();
            QCOMPARE(pairs(), L("1|10,1|12,1|13,1|11"));
        }
        QCOMPARE(answerer.count(), 2);
    }

    void noOutdoorSeries()
    {
        QVERIFY(
            execSql(m_db, {QStringLiteral("delete from __product_series where product_type = 0")}));
        Editor e;
        QCOMPARE(texts(e.odus), QString());
        QVERIFY(!e.matched->model());
        // One box per selected row; "-->" does nothing.
        ModalAnswerer answerer;
        selectRows(e.idus, {0, 2, 3});
        e.press("pushButton_add");
        QCOMPARE(answerer.texts().count(QStringLiteral("Please select ODU series.")), 3);
        QCOMPARE(answerer.seen().at(2).title, L("Infomation"));
        e.press("pushButton_remove");
        QVERIFY(!e.matched->model());
        QCOMPARE(answerer.count(), 3);
        e.save();
        QCOMPARE(pairs(), QString());
    }

    void saveDropsSeriesWithoutRow()
    {
        // Series 99 has no row at load, series 20 is no outdoor series, and series 12 loses
        // its row after loading: their pairs are not written.
        HOduAndIduMatchingWidget editor;
        QVERIFY(
            execSql(m_db, {QStringLiteral("delete from __product_series where id_series = 12")}));
        editor.save();
        QCOMPARE(pairs(), L("1|11,1|10"));
    }

    void failingSaveKeepsTheTable_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("insert refused") << QStringLiteral("insert");
        QTest::newRow("delete refused") << QStringLiteral("delete");
    }

    void failingSaveKeepsTheTable()
    {
        QFETCH(QString, operation);
        const QString before = pairs();
        QCOMPARE(before, L("1|11,2|12,1|10,1|99,20|10"));
        Editor e;
        doubleClickRow(e.idus, 3);
        QVERIFY(execSql(m_db, {kRefuse.arg(operation)}));
        ModalAnswerer answerer;
        e.save();
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.seen().at(0).title, L("Warning"));
        QCOMPARE(answerer.seen().at(0).text, L("refused"));
        QCOMPARE(pairs(), before);

        // Once the database accepts again, the same editor saves everything.
        QVERIFY(execSql(m_db, {QStringLiteral("drop trigger refuse")}));
        e.save();
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(pairs(), L("1|11,1|10,1|13,2|12"));
    }

    void snapshot()
    {
        // Without edits, indented, into a log folder that does not exist yet.
        auto read = [] {
            QFile file(appFolder(QStringLiteral("log/odu_and_idu.json")));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QVERIFY(!QFile::exists(appFolder(QStringLiteral("log"))));
        delete new HOduAndIduMatchingWidget;
        QVERIFY(read().startsWith("[\n    {\n"));
        QJsonArray expected = QJsonDocument::fromJson(R"([
            {"odu": {"id_series": 1, "product_series": "ODU A", "category": "VRF",
                     "sub_catalog": "Heat pump", "odu_type": "T1", "product_type": 0},
             "match_to_ar_idu": [{"id_series": 11, "product_series": "Duct", "category": "IDU",
                                  "sub_catalog": "Slim", "odu_type": "", "product_type": 1},
                                 {"id_series": 10, "product_series": "Cassette", "category": "IDU",
                                  "sub_catalog": "C4", "odu_type": "", "product_type": 1},
                                 {"id_series": 99}]},
            {"odu": {"id_series": 2, "product_series": "ODU B", "category": "VRF",
                     "sub_catalog": "Heat pump", "odu_type": "T2", "product_type": 0},
             "match_to_ar_idu": [{"id_series": 12, "product_series": "HRV", "category": "HRV",
                                  "sub_catalog": "Fresh", "odu_type": "", "product_type": 11}]},
            {"odu": {"id_series": 3, "product_series": "ODU C", "category": "Mini",
                     "sub_catalog": "", "odu_type": "", "product_type": 0},
             "match_to_ar_idu": []}])")
                                  .array();
        QCOMPARE(QJsonDocument::fromJson(read()).array(), expected);

        // Unsaved edits reach the snapshot, not the database.
        const QString before = pairs();
        {
            Editor e;
            clickRow(e.odus, 2);
            doubleClickRow(e.idus, 2);
        }
        QCOMPARE(pairs(), before);
        QJsonObject third = expected.at(2).toObject();
        third.insert(L("match_to_ar_idu"), expected.at(1).toObject().value(L("match_to_ar_idu")));
        expected.replace(2, third);
        QCOMPARE(QJsonDocument::fromJson(read()).array(), expected);

        // A file where the log folder belongs: the snapshot cannot be written; nothing else
        // is disturbed.
        cleanAppFolders();
        QFile blocker(appFolder(QStringLiteral("log")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        delete new HOduAndIduMatchingWidget;
        QVERIFY(QFileInfo(appFolder(QStringLiteral("log"))).isFile());
        QCOMPARE(pairs(), before);
    }

    void mainWindowOkSavesBothMatchingTabs()
    {
        // The ODU-IDU table refuses; the accessory tables hold rows the accessory tab does
        // not load. OK reports the refusal once, as a warning, and the accessory tab still
        // saves, which drops those rows.
        QVERIFY(execSql(m_db, {kRefuse.arg(QStringLiteral("insert")),
                               QStringLiteral("insert into __rule_odu_acc_matching (id_series_odu, "
                                              "product_code_acc, type) values (1, 'GONE', 'MS')"),
                               QStringLiteral("insert into __rule_unit_acc_controller_matching "
                                              "(id_series, product_code) values (10, 'GONE')")}));
        const QString before = pairs();
        {
            MainWindow window;
            ModalAnswerer answerer;
            QTest::mouseClick(window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
                                  ->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
            QVERIFY(!window.isVisible());
            int refused = 0;
            for (const SeenModal &seen : answerer.seen()) {
                const bool isRefusal = seen.text == L("refused");
                refused += isRefusal;
                QVERIFY2(isRefusal == (seen.title == L("Warning")), qPrintable(seen.text));
            }
            QCOMPARE(refused, 1);
        }
        QCOMPARE(pairs(), before);
        QCOMPARE(sqlValue(m_db, QStringLiteral("select (select count(*) from "
                                               "__rule_odu_acc_matching) + (select count(*) from "
                                               "__rule_unit_acc_controller_matching)"))
                     .toInt(),
                 0);
        QVERIFY(QFile::exists(appFolder(QStringLiteral("log/odu_and_idu.json"))));
        QVERIFY(QFile::exists(appFolder(QStringLiteral("log/series_and_acc.json"))));
    }
};

QTEST_MAIN(TestMatching)
#include "tst_matching.moc"
