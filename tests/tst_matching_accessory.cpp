#include "testhelpers.h"

#include "hdbfind.h"
#include "hseriesandaccessorymatchingwidget.h"

#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

namespace {

QListView *listView(QWidget *editor, const char *name)
{
    return editor->findChild<QListView *>(QString::fromLatin1(name));
}

QPushButton *button(QWidget *editor, const char *name)
{
    return editor->findChild<QPushButton *>(QString::fromLatin1(name));
}

bool showEditor(QWidget *editor)
{
    editor->resize(1000, 700);
    editor->show();
    return QTest::qWaitForWindowExposed(editor);
}

QList<int> selectedRows(QAbstractItemView *view)
{
    QList<int> rows;
    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QJsonObject readSnapshot()
{
    QFile file(appFolder(QStringLiteral("log/series_and_acc.json")));
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

QStringList models(const QJsonArray &records)
{
    QStringList result;
    for (const QJsonValue &record : records)
        result.append(record.toObject().value(QStringLiteral("model")).toString());
    return result;
}

} // namespace

class TestMatchingAccessory : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void documentAtLoad();
    void listsAfterConstruction();
    void addToSelectedSeries();
    void removeFromSelectedSeries();
    void switchingKind();
    void saveWritesKindNames();
    void failingSaveKeepsTheTables();
    void snapshotAfterEdits();

private:
    QStringList oduRows() const
    {
        return sqlRows(m_db, QStringLiteral("select id_series_odu, product_code_acc, type from "
                                            "__rule_odu_acc_matching order by rowid"));
    }
    QStringList iduRows() const
    {
        return sqlRows(m_db, QStringLiteral("select id_series, product_code from "
                                            "__rule_unit_acc_controller_matching order by rowid"));
    }

    QTemporaryDir m_dir;
    QString m_db;
};

void TestMatchingAccessory::init()
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
                // Outdoor series listed by sub_catalog: 102 (none), 103, 101. Series 301 (HRV) is
                // no series of this tab.
                QStringLiteral(
                    "insert into __product_series (id_series, product_type, product_series, "
                    "category, sub_catalog, odu_type, table_name) values "
                    "(101, 0, 'ODU A', 'VRF', 'Heat pump', 'Top', 'dt_odu'), "
                    "(102, 0, 'ODU B', 'Mini', '', 'Side', 'dt_odu'), "
                    "(103, 0, 'ODU C', 'VRF', 'Aheat', 'Top', 'dt_odu'), "
                    "(201, 1, 'IDU A', 'IDU', 'Duct', '', 'dt_idu'), "
                    "(202, 1, 'IDU B', 'IDU', 'Cassette', '', 'dt_idu'), "
                    "(301, 11, 'HRV', 'HRV', 'Fresh', '', 'dt_hrv'), "
                    "(401, 2, 'Branch kits', 'Branch', 'Refnet', '', 'dt_branch'), "
                    "(501, 10, 'Controllers', 'Controller', 'Wired', '', 'dt_ctl'), "
                    "(502, 10, 'Legacy', 'Controller', 'Old', '', 'dt_missing')"),
                // A product range whose codes are not unique across product types.
                QStringLiteral("drop table __product_idx"),
                QStringLiteral(
                    "create table __product_idx (product_code TEXT, id_series INTEGER, "
                    "product_type INTEGER, model TEXT, base_model TEXT, capacity_kw REAL, "
                    "is_not_for_sale INTEGER DEFAULT 0, is_user_skip INTEGER DEFAULT 0)"),
                QStringLiteral(
                    "create table dt_branch (ID INTEGER PRIMARY KEY, model TEXT, type INTEGER)"),
                QStringLiteral(
                    "create table dt_ctl (ID INTEGER PRIMARY KEY, model TEXT, type INTEGER)"),
                QStringLiteral(
                    "insert into __product_idx (product_code, id_series, product_type, model, "
                    "base_model) values "
                    "('BH-1', 401, 2, 'BH1', 'BH'), ('MP-1', 401, 2, 'MP4-1', 'MP'), "
                    "('MS-1', 401, 2, 'MS1', 'MS'), ('BR-1', 401, 2, 'BR1', 'BR'), "
                    "('Q''1', 401, 2, 'Q''M', 'Q'), ('ORPH-2', 999, 2, 'O2', 'O'), "
                    "('DUP', 401, 2, 'DUP-O', 'D'), "
                    "('C0', 501, 10, 'C0', 'C'), ('C1', 501, 10, 'C1', 'C'), "
                    "('C2', 501, 10, 'C2', 'C'), ('C5', 501, 10, 'C5', 'C'), "
                    "('C6', 501, 10, 'C6', 'C'), ('C7', 501, 10, 'C7', 'C'), "
                    "('C8', 501, 10, 'C8', 'C'), ('C9', 501, 10, 'C9', 'C'), "
                    "('C12', 501, 10, 'C12', 'C'), ('ORPH-10', 999, 10, 'O10', 'O'), "
                    "('LEG-1', 502, 10, 'L1', 'L'), ('NODETAIL', 501, 10, 'ND', 'N'), "
                    "('DUP', 501, 10, 'DUP-I', 'D'), ('U-1', 201, 1, 'UNIT', 'U')"),
                // The first detail row of a model decides its kind.
                QStringLiteral(
                    "insert into dt_branch (model, type) values ('BH1', 31), ('MP4-1', 3), "
                    "('MS1', 4), ('BR1', 2), ('Q''M', 3), ('DUP-O', 4), ('MS1', 2)"),
                QStringLiteral(
                    "insert into dt_ctl (model, type) values ('C0', 0), ('C1', 1), ('C2', 2), "
                    "('C5', 5), ('C6', 6), ('C7', 7), ('C8', 8), ('C9', 9), ('C12', 12), "
                    "('DUP-I', 3)"),
                // Stored matching: BR-1 (offered nowhere), GONE and U-1 are dropped at load; MP-1
                // is stored twice; series 999 is not listed.
                QStringLiteral(
                    "insert into __rule_odu_acc_matching (id_series_odu, product_code_acc, type) "
                    "values "
                    "(101, 'MP-1', 'MP4'), (101, 'BR-1', 'BRANCH'), (101, 'C7', ''), "
                    "(101, 'C6', ''), (101, 'MP-1', 'MP4'), (101, 'Q''1', 'MP4'), "
                    "(101, 'C2', ''), (101, 'C5', ''), (101, 'C0', ''), (101, 'C1', ''), "
                    "(101, 'C8', ''), (101, 'C9', ''), (101, 'GONE', 'MS'), (101, 'LEG-1', ''), "
                    "(103, 'BH-1', 'BRANCH_HEADER'), (999, 'MS-1', 'MS')"),
                QStringLiteral(
                    "insert into __rule_unit_acc_controller_matching (id_series, product_code) "
                    "values "
                    "(201, 'C1'), (201, 'C6'), (201, 'DUP'), (202, 'BH-1'), (201, 'C12'), "
                    "(201, 'U-1'), (999, 'C1')"),
            },
            &error),
        qPrintable(error));
    useProductDb(m_db);
    HDbFind::setDbFileAndPwd(QStringLiteral("Product.mdb"), QStringLiteral("pw"));
}

void TestMatchingAccessory::cleanup()
{
    HDbFind::closeDb();
    cleanAppFolders();
    QFile::remove(appFolder(QStringLiteral("log")));
}

void TestMatchingAccessory::documentAtLoad()
{
    QVERIFY(!QFile::exists(appFolder(QStringLiteral("log"))));
    delete new HSeriesAndAccessoryMatchingWidget;
    const QJsonObject snapshot = readSnapshot();
    QCOMPARE(snapshot.keys(),
             (QStringList{QStringLiteral("jsonObjAccessory"), QStringLiteral("jsonObjMatching")}));
    const QJsonObject accessory = snapshot.value(QStringLiteral("jsonObjAccessory")).toObject();
    const QJsonObject matching = snapshot.value(QStringLiteral("jsonObjMatching")).toObject();
    QCOMPARE(accessory.keys(),
             (QStringList{QStringLiteral("ar_for_idu"), QStringLiteral("ar_for_odu")}));
    QCOMPARE(matching.keys(),
             (QStringList{QStringLiteral("idu_matching"), QStringLiteral("odu_matching")}));

    // Outdoor list: kinds 31, 3 and 4 of product type 2; the model with a quote keeps its
    // kind; a model without series row and the kind 2 branch are offered nowhere.
    const QJsonArray forOdu = accessory.value(QStringLiteral("ar_for_odu")).toArray();
    QCOMPARE(models(forOdu),
             (QStringList{QStringLiteral("BH1"), QStringLiteral("MP4-1"), QStringLiteral("MS1"),
                          QStringLiteral("Q'M"), QStringLiteral("DUP-O")}));
    QCOMPARE(forOdu.at(0).toObject(),
             (QJsonObject{{QStringLiteral("product_code"), QStringLiteral("BH-1")},
                          {QStringLiteral("id_series"), 401},
                          {QStringLiteral("model"), QStringLiteral("BH1")},
                          {QStringLiteral("base_model"), QStringLiteral("BH")},
                          {QStringLiteral("table_name"), QStringLiteral("dt_branch")},
                          {QStringLiteral("type"), 31}}));
    QCOMPARE(forOdu.at(2).toObject().value(QStringLiteral("type")).toInt(), 4); // first detail row
    QCOMPARE(forOdu.at(3).toObject().value(QStringLiteral("type")).toInt(), 3);

    // Indoor list: every kind below 10, also without kind (no series row, no detail
    // table, no detail row); kind 12 is offered nowhere.
    const QJsonArray forIdu = accessory.value(QStringLiteral("ar_for_idu")).toArray();
    QCOMPARE(models(forIdu),
             (QStringList{QStringLiteral("C0"), QStringLiteral("C1"), QStringLiteral("C2"),
                          QStringLiteral("C5"), QStringLiteral("C6"), QStringLiteral("C7"),
                          QStringLiteral("C8"), QStringLiteral("C9"), QStringLiteral("O10"),
                          QStringLiteral("L1"), QStringLiteral("ND"), QStringLiteral("DUP-I")}));
    const QJsonObject orphan = forIdu.at(8).toObject();
    QVERIFY(!orphan.contains(QStringLiteral("table_name")));
    QVERIFY(!orphan.contains(QStringLiteral("type")));
    const QJsonObject legacy = forIdu.at(9).toObject();
    QCOMPARE(legacy.value(QStringLiteral("table_name")).toString(), QStringLiteral("dt_missing"));
    QVERIFY(!legacy.contains(QStringLiteral("type")));
    QVERIFY(!forIdu.at(10).toObject().contains(QStringLiteral("type")));

    // Series in sub_catalog order with full records; type 11 and accessory series absent.
    const QJsonArray odus = matching.value(QStringLiteral("odu_matching")).toArray();
    QCOMPARE(odus.size(), 3);
    QCOMPARE(odus.at(0).toObject().value(QStringLiteral("obj_series")).toObject(),
             (QJsonObject{{QStringLiteral("id_series"), 102},
                          {QStringLiteral("product_series"), QStringLiteral("ODU B")},
                          {QStringLiteral("category"), QStringLiteral("Mini")},
                          {QStringLiteral("sub_catalog"), QString()},
                          {QStringLiteral("odu_type"), QStringLiteral("Side")},
                          {QStringLiteral("product_type"), 0}}));
    QCOMPARE(odus.at(0).toObject().value(QStringLiteral("ar_matching")).toArray(), QJsonArray());
    QCOMPARE(models(odus.at(1).toObject().value(QStringLiteral("ar_matching")).toArray()),
             QStringList{QStringLiteral("BH1")});
    // Stored repeats stay; indoor-list accessories resolve for an outdoor series; BR-1
    // (type 2, kind 2) and unknown codes are dropped.
    const QJsonArray odu101 = odus.at(2).toObject().value(QStringLiteral("ar_matching")).toArray();
    QCOMPARE(models(odu101),
             (QStringList{QStringLiteral("MP4-1"), QStringLiteral("C7"), QStringLiteral("C6"),
                          QStringLiteral("MP4-1"), QStringLiteral("Q'M"), QStringLiteral("C2"),
                          QStringLiteral("C5"), QStringLiteral("C0"), QStringLiteral("C1"),
                          QStringLiteral("C8"), QStringLiteral("C9"), QStringLiteral("L1")}));
    QCOMPARE(odu101.at(0), forOdu.at(1));

    const QJsonArray idus = matching.value(QStringLiteral("idu_matching")).toArray();
    QCOMPARE(idus.size(), 2);
    QCOMPARE(idus.at(0)
                 .toObject()
                 .value(QStringLiteral("obj_series"))
                 .toObject()
                 .value(QStringLiteral("id_series"))
                 .toInt(),
             202);
    QCOMPARE(models(idus.at(0).toObject().value(QStringLiteral("ar_matching")).toArray()),
             QStringList{QStringLiteral("BH1")});
    // A code in both lists resolves to the outdoor list's record.
    QCOMPARE(models(idus.at(1).toObject().value(QStringLiteral("ar_matching")).toArray()),
             (QStringList{QStringLiteral("C1"), QStringLiteral("C6"), QStringLiteral("DUP-O")}));

    // Indented, keys in ascending order.
    QFile file(appFolder(QStringLiteral("log/series_and_acc.json")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(
        file.readAll().startsWith("{\n    \"jsonObjAccessory\": {\n        \"ar_for_idu\": [\n"));
}

void TestMatchingAccessory::listsAfterConstruction()
{
    HSeriesAndAccessoryMatchingWidget editor;
    QVERIFY(showEditor(&editor));
    auto *combo = editor.findChild<QComboBox *>(QStringLiteral("comboBox"));
    QListView *series = listView(&editor, "listView_all_series");
    QListView *matched = listView(&editor, "listView_match");
    QListView *accessories = listView(&editor, "listView_all_accessory");
    QVERIFY(combo && series && matched && accessories);

    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentText(), QStringLiteral("Outdoor Unit"));
    QCOMPARE(combo->itemText(1), QStringLiteral("Indoor Unit"));
    QCOMPARE(rowTexts(series), (QStringList{QStringLiteral("Mini"), QStringLiteral("Aheat-VRF"),
                                            QStringLiteral("Heat pump-VRF")}));
    QCOMPARE(rowTexts(accessories),
             (QStringList{QStringLiteral("BH1"), QStringLiteral("MP4-1"), QStringLiteral("MS1"),
                          QStringLiteral("Q'M"), QStringLiteral("DUP-O")}));
    QVERIFY(!matched->model());
    QVERIFY(!series->currentIndex().isValid());
    QVERIFY(series->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(button(&editor, "pushButton_add")->text(), QStringLiteral("<--"));
    QCOMPARE(button(&editor, "pushButton_remove")->text(), QStringLiteral("-->"));
    for (QListView *view : {series, matched, accessories}) {
        QCOMPARE(view->selectionMode(), QAbstractItemView::MultiSelection);
        QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
    }
    QCOMPARE(editor.layout()->objectName(), QStringLiteral("horizontalLayout"));
    QVERIFY(accessories->geometry().right() > 900);

    // A click shows the matching and toggles the row; a second click deselects it and
    // still shows the matching.
    clickRow(series, 1);
    QCOMPARE(rowTexts(matched), QStringList{QStringLiteral("BH1")});
    QCOMPARE(selectedRows(series), QList<int>{1});
    clickRow(series, 1);
    QCOMPARE(rowTexts(matched), QStringList{QStringLiteral("BH1")});
    QVERIFY(selectedRows(series).isEmpty());

    // A click on an accessory only toggles its selection.
    QAbstractItemModel *shown = matched->model();
    clickRow(accessories, 2);
    QCOMPARE(selectedRows(accessories), QList<int>{2});
    QCOMPARE(matched->model(), shown);

    // Moving the current series with the keyboard does not redraw the middle list; the
    // next refresh shows the current series.
    series->setFocus();
    QTest::keyClick(series, Qt::Key_Down);
    QCOMPARE(series->currentIndex().row(), 2);
    QCOMPARE(rowTexts(matched), QStringList{QStringLiteral("BH1")});
    QTest::mouseClick(button(&editor, "pushButton_remove"), Qt::LeftButton);
    QCOMPARE(rowTexts(matched).size(), 12);
    QCOMPARE(rowTexts(matched).first(), QStringLiteral("MP4-1"));
}

void TestMatchingAccessory::addToSelectedSeries()
{
    HSeriesAndAccessoryMatchingWidget editor;
    QVERIFY(showEditor(&editor));
    QListView *series = listView(&editor, "listView_all_series");
    QListView *matched = listView(&editor, "listView_match");
    QListView *accessories = listView(&editor, "listView_all_accessory");

    // Nothing selected on the left: "<--" changes nothing and does not redraw.
    clickRow(accessories, 0);
    clickRow(series, 0);
    clickRow(series, 0);
    QAbstractItemModel *shown = matched->model();
    QTest::mouseClick(button(&editor, "pushButton_add"), Qt::LeftButton);
    doubleClickRow(accessories, 1);
    QCOMPARE(matched->model(), shown);
    QCOMPARE(rowTexts(matched), QStringList());

    // Two series (Mini, Heat pump) and three accessories, in right-list order; MP4-1 is
    // already matched to Heat pump.
    accessories->clearSelection();
    clickRow(series, 0);
    clickRow(series, 2);
    clickRow(accessories, 2);
    clickRow(accessories, 0);
    clickRow(accessories, 1);
    QTest::mouseClick(button(&editor, "pushButton_add"), Qt::LeftButton);
    QCOMPARE(selectedRows(series), (QList<int>{0, 2}));
    QCOMPARE(selectedRows(accessories), (QList<int>{0, 1, 2}));
    // The middle list shows the last clicked series.
    QCOMPARE(rowTexts(matched).mid(12),
             (QStringList{QStringLiteral("BH1"), QStringLiteral("MS1")}));
    QCOMPARE(rowTexts(matched).count(QStringLiteral("MP4-1")), 2);
    clickRow(series, 0);
    clickRow(series, 0);
    QCOMPARE(rowTexts(matched),
             (QStringList{QStringLiteral("BH1"), QStringLiteral("MP4-1"), QStringLiteral("MS1")}));

    // A double-click on an accessory adds it to every selected series.
    accessories->clearSelection();
    doubleClickRow(accessories, 3);
    QCOMPARE(rowTexts(matched).last(), QStringLiteral("Q'M"));
    // Adding it again is refused silently.
    ModalAnswerer answerer;
    doubleClickRow(accessories, 3);
    QCOMPARE(rowTexts(matched).count(QStringLiteral("Q'M")), 1);
    QCOMPARE(answerer.count(), 0);

    editor.save();
    QCOMPARE(oduRows(),
             (QStringList{QStringLiteral("102|BH-1|BRANCH_HEADER"), QStringLiteral("102|MP-1|MP4"),
                          QStringLiteral("102|MS-1|MS"), QStringLiteral("102|Q'1|MP4"),
                          QStringLiteral("103|BH-1|BRANCH_HEADER"), QStringLiteral("101|MP-1|MP4"),
                          QStringLiteral("101|C7|AHUMP2"), QStringLiteral("101|MP-1|MP4"),
                          QStringLiteral("101|Q'1|MP4"), QStringLiteral("101|C2|BRANCH"),
                          QStringLiteral("101|C5|AHUBOX"), QStringLiteral("101|BH-1|BRANCH_HEADER"),
                          QStringLiteral("101|MS-1|MS")}));
}

void TestMatchingAccessory::removeFromSelectedSeries()
{
    HSeriesAndAccessoryMatchingWidget editor;
    QVERIFY(showEditor(&editor));
    QListView *series = listView(&editor, "listView_all_series");
    QListView *matched = listView(&editor, "listView_match");

    // Indoor series: IDU B (Cassette) holds BH1; IDU A (Duct) C1, C6, DUP-O.
    editor.findChild<QComboBox *>(QStringLiteral("comboBox"))->setCurrentIndex(1);
    clickRow(series, 1);
    QCOMPARE(rowTexts(matched),
             (QStringList{QStringLiteral("C1"), QStringLiteral("C6"), QStringLiteral("DUP-O")}));
    // "-->" with no matched row selected changes nothing but redraws.
    QAbstractItemModel *shown = matched->model();
    QTest::mouseClick(button(&editor, "pushButton_remove"), Qt::LeftButton);
    QVERIFY(matched->model() != shown);
    QCOMPARE(rowTexts(matched).size(), 3);

    // Two matched rows and both series (the second selected as by dragging, so IDU A
    // stays shown): each removal goes by model, in every selected series holding it.
    series->selectionModel()->select(series->model()->index(0, 0), QItemSelectionModel::Select);
    clickRow(matched, 2);
    clickRow(matched, 1);
    QCOMPARE(selectedRows(series), (QList<int>{0, 1}));
    QTest::mouseClick(button(&editor, "pushButton_remove"), Qt::LeftButton);
    QCOMPARE(rowTexts(matched), QStringList{QStringLiteral("C1")});

    // C1 added to both (IDU A refuses the repeat), then removed from both by a double-click
    // on the shown row, also from IDU B, which the middle list does not show.
    clickRow(listView(&editor, "listView_all_accessory"), 1);
    QTest::mouseClick(button(&editor, "pushButton_add"), Qt::LeftButton);
    QCOMPARE(rowTexts(matched), QStringList{QStringLiteral("C1")});
    doubleClickRow(matched, 0);
    QCOMPARE(rowTexts(matched), QStringList());
    clickRow(series, 0);
    QCOMPARE(rowTexts(matched), QStringList{QStringLiteral("BH1")});

    editor.save();
    QCOMPARE(iduRows(), QStringList{QStringLiteral("202|BH-1")});
}

void TestMatchingAccessory::switchingKind()
{
    HSeriesAndAccessoryMatchingWidget editor;
    QVERIFY(showEditor(&editor));
    auto *combo = editor.findChild<QComboBox *>(QStringLiteral("comboBox"));
    QListView *series = listView(&editor, "listView_all_series");
    QListView *matched = listView(&editor, "listView_match");
    QListView *accessories = listView(&editor, "listView_all_accessory");

    clickRow(series, 1);
    QAbstractItemModel *shown = matched->model();
    combo->setCurrentIndex(1);
    QCOMPARE(rowTexts(series),
             (QStringList{QStringLiteral("Cassette-IDU"), QStringLiteral("Duct-IDU")}));
    QCOMPARE(rowTexts(accessories).size(), 12);
    QCOMPARE(rowTexts(accessories).last(), QStringLiteral("DUP-I"));
    // The middle list keeps the outdoor series' matching; nothing is selected.
    QCOMPARE(matched->model(), shown);
    QCOMPARE(rowTexts(matched), QStringList{QStringLiteral("BH1")});
    QVERIFY(selectedRows(series).isEmpty());
    clickRow(accessories, 0);
    QTest::mouseClick(button(&editor, "pushButton_add"), Qt::LeftButton);
    QCOMPARE(matched->model(), shown);

    // An indoor accessory of kind 0 can be matched to an indoor series and is stored.
    clickRow(series, 0);
    QTest::mouseClick(button(&editor, "pushButton_add"), Qt::LeftButton);
    QCOMPARE(rowTexts(matched), (QStringList{QStringLiteral("BH1"), QStringLiteral("C0")}));

    combo->setCurrentIndex(0);
    QCOMPARE(rowTexts(series).size(), 3);
    editor.save();
    QCOMPARE(iduRows(), (QStringList{QStringLiteral("202|BH-1"), QStringLiteral("202|C0"),
                                     QStringLiteral("201|C1"), QStringLiteral("201|C6"),
                                     QStringLiteral("201|DUP")}));
}

void TestMatchingAccessory::saveWritesKindNames()
{
    HSeriesAndAccessoryMatchingWidget editor;
    ModalAnswerer answerer;
    editor.save();
    // Kinds 0, 1, 6, 8, 9 (and no kind) have no kind name and are not written for
    // outdoor series; rows dropped at load and rows of unlisted series are gone.
    const QStringList odu{QStringLiteral("103|BH-1|BRANCH_HEADER"),
                          QStringLiteral("101|MP-1|MP4"),
                          QStringLiteral("101|C7|AHUMP2"),
                          QStringLiteral("101|MP-1|MP4"),
                          QStringLiteral("101|Q'1|MP4"),
                          QStringLiteral("101|C2|BRANCH"),
                          QStringLiteral("101|C5|AHUBOX")};
    const QStringList idu{QStringLiteral("202|BH-1"), QStringLiteral("201|C1"),
                          QStringLiteral("201|C6"), QStringLiteral("201|DUP")};
    QCOMPARE(oduRows(), odu);
    QCOMPARE(iduRows(), idu);
    editor.save();
    QCOMPARE(oduRows(), odu);
    QCOMPARE(iduRows(), idu);
    QCOMPARE(answerer.count(), 0);
    // Each half on its own.
    QVERIFY(execSql(m_db, {QStringLiteral("delete from __rule_odu_acc_matching"),
                           QStringLiteral("delete from __rule_unit_acc_controller_matching")}));
    editor.saveODUAndBranch();
    QCOMPARE(oduRows(), odu);
    QCOMPARE(iduRows(), QStringList());
    editor.saveIDUAndAccController();
    QCOMPARE(iduRows(), idu);

    // With no indoor series at all the indoor table ends empty.
    QVERIFY(execSql(m_db, {QStringLiteral("delete from __product_series where product_type = 1")}));
    HSeriesAndAccessoryMatchingWidget empty;
    empty.save();
    QCOMPARE(iduRows(), QStringList());
    QCOMPARE(oduRows(), odu);
}

void TestMatchingAccessory::failingSaveKeepsTheTables()
{
    const QStringList oduBefore = oduRows();
    const QStringList iduBefore = iduRows();
    HSeriesAndAccessoryMatchingWidget editor;
    QVERIFY(showEditor(&editor));
    clickRow(listView(&editor, "listView_all_series"), 0);
    clickRow(listView(&editor, "listView_all_accessory"), 2);
    QTest::mouseClick(button(&editor, "pushButton_add"), Qt::LeftButton);

    // Both tables refuse: one warning, both keep their rows.
    QVERIFY(execSql(
        m_db,
        {
            QStringLiteral("create trigger refuse_odu before insert on __rule_odu_acc_matching "
                           "begin select raise(abort, 'refused'); end"),
            QStringLiteral(
                "create trigger refuse_idu before insert on __rule_unit_acc_controller_matching "
                "begin select raise(abort, 'refused'); end"),
        }));
    ModalAnswerer answerer;
    editor.save();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().at(0).title, QStringLiteral("Warning"));
    QCOMPARE(answerer.seen().at(0).text, QStringLiteral("refused"));
    QCOMPARE(oduRows(), oduBefore);
    QCOMPARE(iduRows(), iduBefore);

    // Only the outdoor table refuses: the indoor table is written, the outdoor one kept.
    QVERIFY(execSql(m_db, {QStringLiteral("drop trigger refuse_idu")}));
    answerer.clear();
    editor.save();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(oduRows(), oduBefore);
    QCOMPARE(iduRows().size(), 4);

    QVERIFY(execSql(m_db, {QStringLiteral("drop trigger refuse_odu")}));
    editor.save();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(oduRows().first(), QStringLiteral("102|MS-1|MS"));
}

void TestMatchingAccessory::snapshotAfterEdits()
{
    const QStringList oduBefore = oduRows();
    {
        HSeriesAndAccessoryMatchingWidget editor;
        QVERIFY(showEditor(&editor));
        clickRow(listView(&editor, "listView_all_series"), 0);
        doubleClickRow(listView(&editor, "listView_all_accessory"), 3);
    }
    // Unsaved: in the snapshot, not in the database.
    QCOMPARE(oduRows(), oduBefore);
    const QJsonArray odus = readSnapshot()
                                .value(QStringLiteral("jsonObjMatching"))
                                .toObject()
                                .value(QStringLiteral("odu_matching"))
                                .toArray();
    const QJsonArray added = odus.at(0).toObject().value(QStringLiteral("ar_matching")).toArray();
    QCOMPARE(added.size(), 1);
    QCOMPARE(added.at(0).toObject().value(QStringLiteral("product_code")).toString(),
             QStringLiteral("Q'1"));

    // A snapshot that cannot be written leaves the database and the exit alone.
    cleanAppFolders();
    QFile blocker(appFolder(QStringLiteral("log")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        HSeriesAndAccessoryMatchingWidget editor;
        editor.save();
    }
    QVERIFY(QFileInfo(appFolder(QStringLiteral("log"))).isFile());
    QCOMPARE(oduRows().size(), 7);
}

QTEST_MAIN(TestMatchingAccessory)
#include "tst_matching_accessory.moc"
