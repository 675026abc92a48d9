#include "testhelpers.h"

#include "hdbfind.h"
#include "hoduandidumatchingwidget.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

namespace {

const QString kTrigger = QStringLiteral(
    "create trigger refuse_%1 before insert on %1 begin select raise(abort, 'refused'); end");

QListView *listView(QWidget *editor, const char *name)
{
    return editor->findChild<QListView *>(QString::fromLatin1(name));
}

QPushButton *button(QWidget *editor, const char *name)
{
    return editor->findChild<QPushButton *>(QString::fromLatin1(name));
}

// Several rows of a view selected at once, as dragging over them does.
void selectRows(QAbstractItemView *view, const QList<int> &rows)
{
    for (int row : rows)
        view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select);
}

// Shown, laid out and ready for mouse actions.
bool showEditor(QWidget *editor)
{
    editor->resize(900, 600);
    editor->show();
    return QTest::qWaitForWindowExposed(editor);
}

QJsonDocument readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonDocument();
    return QJsonDocument::fromJson(file.readAll());
}

} // namespace

class TestMatching : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listsLabelsAndForm();
    void addWithRefusals();
    void noOutdoorSeries();
    void clickLeavesOneIndoorRowSelected();
    void keyboardMovedCurrentRow();
    void saveWritesCurrentPairs();
    void failingSaveKeepsTheTable_data();
    void failingSaveKeepsTheTable();
    void snapshotWithoutAndWithEdits();
    void unwritableSnapshotDisturbsNothing();
    void mainWindowOkSavesBothMatchingTabs();

private:
    QStringList pairs() const
    {
        return sqlRows(m_db, QStringLiteral("select id_series_odu, id_series_idu from "
                                            "__rule_odu_idu_matching order by rowid"));
    }

    QTemporaryDir m_dir;
    QString m_db;
};

void TestMatching::init()
{
    QVERIFY(m_dir.isValid());
    cleanAppFolders();
    QFile::remove(appFolder(QStringLiteral("log")));
    m_db = m_dir.filePath(QStringLiteral("Product.mdb"));
    QString error;
    QVERIFY2(
        createProductDb(
            m_db,
            {
                QStringLiteral(
                    "insert into __product_series (id_series, product_type, product_series, "
                    "category, sub_catalog, odu_type) values "
                    "(2, 0, 'ODU B', 'VRF', 'Heat pump', 'T2'), "
                    "(1, 0, 'ODU A', 'VRF', 'Heat pump', 'T1'), "
                    "(3, 0, 'ODU C', 'Mini', '', ''), "
                    "(13, 1, 'Wall', 'IDU', 'W', ''), "
                    "(10, 1, 'Cassette', 'IDU', 'C4', ''), "
                    "(11, 1, 'Duct', 'IDU', 'Slim', ''), "
                    "(12, 11, 'HRV', 'HRV', 'Fresh', ''), "
                    "(20, 2, 'Branch', 'Branch', '', '')"),
                // Series 99 has no row; series 20 is no outdoor series.
                QStringLiteral(
                    "insert into __rule_odu_idu_matching (id_series_odu, id_series_idu) values "
                    "(1, 11), (2, 12), (1, 10), (1, 99), (20, 10)"),
            },
            &error),
        qPrintable(error));
    useProductDb(m_db);
    HDbFind::setDbFileAndPwd(QStringLiteral("Product.mdb"), QStringLiteral("pw"));
}

void TestMatching::cleanup()
{
    HDbFind::closeDb();
    cleanAppFolders();
    QFile::remove(appFolder(QStringLiteral("log")));
}

void TestMatching::listsLabelsAndForm()
{
    HOduAndIduMatchingWidget editor;
    QVERIFY(showEditor(&editor));

    QListView *odus = listView(&editor, "listView_all_odu");
    QListView *matched = listView(&editor, "listView_match_idu");
    QListView *idus = listView(&editor, "listView_all_idu");
    QVERIFY(odus && matched && idus);
    QCOMPARE(rowTexts(odus),
             (QStringList{QStringLiteral("ODU A-T1-VRF"), QStringLiteral("ODU B-T2-VRF"),
                          QStringLiteral("ODU C--Mini")}));
    // Type 11 series are indoor series here.
    QCOMPARE(rowTexts(idus),
             (QStringList{QStringLiteral("Cassette-C4-IDU"), QStringLiteral("Duct-Slim-IDU"),
                          QStringLiteral("HRV-Fresh-HRV"), QStringLiteral("Wall-W-IDU")}));
    // The first outdoor series is current and shown; a matched series without a row is "--".
    QCOMPARE(odus->currentIndex().row(), 0);
    QVERIFY(odus->selectionModel()->isSelected(odus->currentIndex()));
    QCOMPARE(rowTexts(matched),
             (QStringList{QStringLiteral("Duct-Slim-IDU"), QStringLiteral("Cassette-C4-IDU"),
                          QStringLiteral("--")}));
    clickRow(odus, 1);
    QCOMPARE(rowTexts(matched), QStringList{QStringLiteral("HRV-Fresh-HRV")});

    QCOMPARE(button(&editor, "pushButton_add")->text(), QStringLiteral("<--"));
    QCOMPARE(button(&editor, "pushButton_remove")->text(), QStringLiteral("-->"));
    QVERIFY(!editor.findChild<QComboBox *>(QStringLiteral("comboBox_odu"))->isVisible());
    QVERIFY(!editor.findChild<QComboBox *>(QStringLiteral("comboBox_idu"))->isVisible());
    QCOMPARE(idus->selectionMode(), QAbstractItemView::MultiSelection);
    QCOMPARE(odus->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(odus->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(idus->editTriggers(), QAbstractItemView::NoEditTriggers);

    // The columns fill the editor, whatever its size.
    QCOMPARE(editor.layout()->objectName(), QStringLiteral("horizontalLayout"));
    QVERIFY(idus->geometry().right() > 800);
    QVERIFY(odus->geometry().bottom() > 500);
}

void TestMatching::addWithRefusals()
{
    HOduAndIduMatchingWidget editor;
    QVERIFY(showEditor(&editor));
    QListView *matched = listView(&editor, "listView_match_idu");
    QListView *idus = listView(&editor, "listView_all_idu");
    ModalAnswerer answerer;

    // Double-click on a series already matched: refused, nothing changes.
    doubleClickRow(idus, 1);
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().at(0).title, QStringLiteral("Infomation"));
    QCOMPARE(answerer.seen().at(0).text, QStringLiteral("It already exists."));
    QCOMPARE(rowTexts(matched).size(), 3);

    // Two new rows and one matched row: the new ones in right-list order, one refusal.
    idus->clearSelection();
    selectRows(idus, {3, 1, 2});
    answerer.clear();
    QTest::mouseClick(button(&editor, "pushButton_add"), Qt::LeftButton);
    QCOMPARE(answerer.texts(), QStringList{QStringLiteral("It already exists.")});
    QCOMPARE(rowTexts(matched),
             (QStringList{QStringLiteral("Duct-Slim-IDU"), QStringLiteral("Cassette-C4-IDU"),
                          QStringLiteral("--"), QStringLiteral("HRV-Fresh-HRV"),
                          QStringLiteral("Wall-W-IDU")}));
    QCOMPARE(idus->selectionModel()->selectedIndexes().size(), 3);

    // Remove with the button: the current row of the middle list goes.
    clickRow(matched, 0);
    QTest::mouseClick(button(&editor, "pushButton_remove"), Qt::LeftButton);
    QCOMPARE(rowTexts(matched).first(), QStringLiteral("Cassette-C4-IDU"));
    // A double-click on a matched row removes it too.
    doubleClickRow(matched, 1);
    QCOMPARE(rowTexts(matched),
             (QStringList{QStringLiteral("Cassette-C4-IDU"), QStringLiteral("HRV-Fresh-HRV"),
                          QStringLiteral("Wall-W-IDU")}));
    // The remove button without a current matched row removes nothing.
    QTest::mouseClick(button(&editor, "pushButton_remove"), Qt::LeftButton);
    QCOMPARE(rowTexts(matched).size(), 3);
    QCOMPARE(answerer.count(), 1);

    editor.save();
    QCOMPARE(pairs(), (QStringList{QStringLiteral("1|10"), QStringLiteral("1|12"),
                                   QStringLiteral("1|13"), QStringLiteral("2|12")}));
}

void TestMatching::noOutdoorSeries()
{
    QVERIFY(execSql(m_db, {QStringLiteral("delete from __product_series where product_type = 0")}));
    HOduAndIduMatchingWidget editor;
    QVERIFY(showEditor(&editor));
    QListView *matched = listView(&editor, "listView_match_idu");
    QListView *idus = listView(&editor, "listView_all_idu");
    QCOMPARE(rowTexts(listView(&editor, "listView_all_odu")), QStringList());
    QVERIFY(!matched->model());

    ModalAnswerer answerer;
    selectRows(idus, {0, 2, 3});
    QTest::mouseClick(button(&editor, "pushButton_add"), Qt::LeftButton);
    QCOMPARE(answerer.count(), 3);
    for (const SeenModal &seen : answerer.seen()) {
        QCOMPARE(seen.title, QStringLiteral("Infomation"));
        QCOMPARE(seen.text, QStringLiteral("Please select ODU series."));
        QCOMPARE(seen.className, QStringLiteral("QMessageBox"));
    }
    QTest::mouseClick(button(&editor, "pushButton_remove"), Qt::LeftButton);
    QVERIFY(!matched->model());
    QCOMPARE(answerer.count(), 3);

    editor.save();
    QCOMPARE(pairs(), QStringList());
}

void TestMatching::clickLeavesOneIndoorRowSelected()
{
    HOduAndIduMatchingWidget editor;
    QVERIFY(showEditor(&editor));
    QListView *idus = listView(&editor, "listView_all_idu");
    selectRows(idus, {0, 1, 3});
    clickRow(idus, 2);
    QModelIndexList selected = idus->selectionModel()->selectedIndexes();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), 2);
    // Clicking the selected row again toggles it off: nothing stays selected.
    clickRow(idus, 2);
    QCOMPARE(idus->selectionModel()->selectedIndexes().size(), 0);
}

void TestMatching::keyboardMovedCurrentRow()
{
    HOduAndIduMatchingWidget editor;
    QVERIFY(showEditor(&editor));
    QListView *odus = listView(&editor, "listView_all_odu");
    QListView *matched = listView(&editor, "listView_match_idu");
    QListView *idus = listView(&editor, "listView_all_idu");
    ModalAnswerer answerer;

    // Moving with the keyboard does not redraw the middle list.
    odus->setFocus();
    QTest::keyClick(odus, Qt::Key_Down);
    QCOMPARE(odus->currentIndex().row(), 1);
    QCOMPARE(rowTexts(matched).size(), 3);

    // Row 0 of the middle list (still ODU A's) removes element 0 of ODU B's matches.
    doubleClickRow(matched, 0);
    QCOMPARE(rowTexts(matched), QStringList());
    QCOMPARE(answerer.count(), 0);

    // Back on ODU A by keyboard: an addition goes to the current series and shows it.
    QTest::keyClick(odus, Qt::Key_Up);
    QCOMPARE(rowTexts(matched), QStringList());
    doubleClickRow(idus, 3);
    QCOMPARE(rowTexts(matched),
             (QStringList{QStringLiteral("Duct-Slim-IDU"), QStringLiteral("Cassette-C4-IDU"),
                          QStringLiteral("--"), QStringLiteral("Wall-W-IDU")}));

    editor.save();
    QCOMPARE(pairs(),
             (QStringList{QStringLiteral("1|11"), QStringLiteral("1|10"), QStringLiteral("1|13")}));
}

void TestMatching::saveWritesCurrentPairs()
{
    {
        HOduAndIduMatchingWidget editor;
        ModalAnswerer answerer;
        // Without edits: the pair of the missing series 99 and the pair of the branch
        // series 20 are gone; the rest in list order.
        editor.save();
        const QStringList once = pairs();
        QCOMPARE(once, (QStringList{QStringLiteral("1|11"), QStringLiteral("1|10"),
                                    QStringLiteral("2|12")}));
        editor.save();
        QCOMPARE(pairs(), once);
        QCOMPARE(answerer.count(), 0);
    }
    // An indoor series removed from __product_series after loading is dropped at save.
    HOduAndIduMatchingWidget editor;
    QVERIFY(execSql(m_db, {QStringLiteral("delete from __product_series where id_series = 12")}));
    editor.save();
    QCOMPARE(pairs(), (QStringList{QStringLiteral("1|11"), QStringLiteral("1|10")}));
}

void TestMatching::failingSaveKeepsTheTable_data()
{
    QTest::addColumn<QString>("statement");
    QTest::newRow("insert refused") << kTrigger.arg(QStringLiteral("__rule_odu_idu_matching"));
    QTest::newRow("delete refused")
        << QStringLiteral("create trigger refuse_delete before delete on __rule_odu_idu_matching "
                          "begin select raise(abort, 'refused'); end");
}

void TestMatching::failingSaveKeepsTheTable()
{
    QFETCH(QString, statement);
    const QStringList before = pairs();
    QCOMPARE(before.size(), 5);
    HOduAndIduMatchingWidget editor;
    QVERIFY(showEditor(&editor));
    doubleClickRow(listView(&editor, "listView_all_idu"), 3);
    QVERIFY(execSql(m_db, {statement}));

    ModalAnswerer answerer;
    editor.save();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().at(0).title, QStringLiteral("Warning"));
    QCOMPARE(answerer.seen().at(0).text, QStringLiteral("refused"));
    QCOMPARE(pairs(), before);

    // Once the database accepts again, the same editor saves everything.
    QVERIFY(execSql(
        m_db, {QStringLiteral("drop trigger %1").arg(statement.section(QLatin1Char(' '), 2, 2))}));
    editor.save();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(pairs(), (QStringList{QStringLiteral("1|11"), QStringLiteral("1|10"),
                                   QStringLiteral("1|13"), QStringLiteral("2|12")}));
}

void TestMatching::snapshotWithoutAndWithEdits()
{
    const QString path = appFolder(QStringLiteral("log/odu_and_idu.json"));
    QVERIFY(!QFile::exists(appFolder(QStringLiteral("log"))));
    delete new HOduAndIduMatchingWidget;
    const QJsonArray loaded = readJson(path).array();
    auto record = [](int id, const char *series, const char *category, const char *sub,
                     const char *oduType, int type) {
        return QJsonObject{{QStringLiteral("id_series"), id},
                           {QStringLiteral("product_series"), QString::fromUtf8(series)},
                           {QStringLiteral("category"), QString::fromUtf8(category)},
                           {QStringLiteral("sub_catalog"), QString::fromUtf8(sub)},
                           {QStringLiteral("odu_type"), QString::fromUtf8(oduType)},
                           {QStringLiteral("product_type"), type}};
    };
    const QJsonObject duct = record(11, "Duct", "IDU", "Slim", "", 1);
    const QJsonObject cassette = record(10, "Cassette", "IDU", "C4", "", 1);
    const QJsonObject hrv = record(12, "HRV", "HRV", "Fresh", "", 11);
    const QJsonArray expected{
        QJsonObject{{QStringLiteral("odu"), record(1, "ODU A", "VRF", "Heat pump", "T1", 0)},
                    {QStringLiteral("match_to_ar_idu"),
                     QJsonArray{duct, cassette, QJsonObject{{QStringLiteral("id_series"), 99}}}}},
        QJsonObject{{QStringLiteral("odu"), record(2, "ODU B", "VRF", "Heat pump", "T2", 0)},
                    {QStringLiteral("match_to_ar_idu"), QJsonArray{hrv}}},
        QJsonObject{{QStringLiteral("odu"), record(3, "ODU C", "Mini", "", "", 0)},
                    {QStringLiteral("match_to_ar_idu"), QJsonArray()}},
    };
    QCOMPARE(loaded, expected);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("[\n    {\n"));
    file.close();

    // Unsaved edits reach the snapshot, not the database.
    const QStringList before = pairs();
    {
        HOduAndIduMatchingWidget editor;
        QVERIFY(showEditor(&editor));
        clickRow(listView(&editor, "listView_all_odu"), 2);
        doubleClickRow(listView(&editor, "listView_all_idu"), 2);
    }
    QCOMPARE(pairs(), before);
    QJsonArray edited = readJson(path).array();
    QCOMPARE(edited.at(2).toObject().value(QStringLiteral("match_to_ar_idu")).toArray(),
             QJsonArray{hrv});
    QCOMPARE(edited.at(0), expected.at(0));
}

void TestMatching::unwritableSnapshotDisturbsNothing()
{
    // A file where the log folder belongs: the snapshot cannot be written.
    QFile blocker(appFolder(QStringLiteral("log")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QStringList before = pairs();
    {
        HOduAndIduMatchingWidget editor;
        QVERIFY(showEditor(&editor));
        doubleClickRow(listView(&editor, "listView_all_idu"), 3);
    }
    QVERIFY(QFileInfo(appFolder(QStringLiteral("log"))).isFile());
    QCOMPARE(pairs(), before);
}

void TestMatching::mainWindowOkSavesBothMatchingTabs()
{
    // The accessory tables hold rows that the accessory tab does not load: OK rewrites
    // them from memory, which drops those rows.
    QVERIFY(execSql(
        m_db, {
                  QStringLiteral(
                      "insert into __rule_odu_acc_matching (id_series_odu, product_code_acc, type) "
                      "values (1, 'GONE', 'MS')"),
                  QStringLiteral(
                      "insert into __rule_unit_acc_controller_matching (id_series, product_code) "
                      "values (10, 'GONE')"),
              }));
    {
        MainWindow window;
        auto *editor = window.findChild<HOduAndIduMatchingWidget *>();
        QVERIFY(editor);
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        tabs->setCurrentIndex(0);
        QTest::qWait(10);
        doubleClickRow(listView(editor, "listView_all_idu"), 3);
        auto *buttons = window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        ModalAnswerer answerer;
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        // The matching tabs' saves succeed silently (other tabs are not looked at here).
        QVERIFY(!answerer.texts().contains(QStringLiteral("refused")));
        for (const SeenModal &seen : answerer.seen())
            QVERIFY2(seen.title != QLatin1String("Warning"), qPrintable(seen.text));
        QVERIFY(!window.isVisible());
    }
    QCOMPARE(pairs(), (QStringList{QStringLiteral("1|11"), QStringLiteral("1|10"),
                                   QStringLiteral("1|13"), QStringLiteral("2|12")}));
    QCOMPARE(sqlValue(m_db, QStringLiteral("select count(*) from __rule_odu_acc_matching")).toInt(),
             0);
    QCOMPARE(
        sqlValue(m_db, QStringLiteral("select count(*) from __rule_unit_acc_controller_matching"))
            .toInt(),
        0);
    QVERIFY(QFile::exists(appFolder(QStringLiteral("log/odu_and_idu.json"))));
    QVERIFY(QFile::exists(appFolder(QStringLiteral("log/series_and_acc.json"))));

    // A failing first save is reported once; the fan-out goes on to the next editor.
    QVERIFY(execSql(
        m_db, {
                  kTrigger.arg(QStringLiteral("__rule_odu_idu_matching")),
                  QStringLiteral(
                      "insert into __rule_unit_acc_controller_matching (id_series, product_code) "
                      "values (10, 'GONE')"),
              }));
    const QStringList before = pairs();
    {
        MainWindow window;
        auto *buttons = window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        ModalAnswerer answerer;
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        // One warning, from the ODU-IDU tab; the accessory tab saved after it.
        QCOMPARE(answerer.texts().count(QStringLiteral("refused")), 1);
        for (const SeenModal &seen : answerer.seen()) {
            if (seen.text == QLatin1String("refused"))
                QCOMPARE(seen.title, QStringLiteral("Warning"));
        }
        QVERIFY(!window.isVisible());
    }
    QCOMPARE(pairs(), before);
    QCOMPARE(
        sqlValue(m_db, QStringLiteral("select count(*) from __rule_unit_acc_controller_matching"))
            .toInt(),
        0);
}

QTEST_MAIN(TestMatching)
#include "tst_matching.moc"
