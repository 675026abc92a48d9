#include "testhelpers.h"

#include "hdbfind.h"
#include "hseriesandaccessorymatchingwidget.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;
using L = QLatin1String;

namespace {

// One insert of rows written as "a,b; c,d": every value is quoted, and the columns of
// numbers turn their values into numbers.
QString insert(const char *table, const char *columns, const char *rows)
{
    const QString values = QString::fromUtf8(rows)
                               .replace(L("'"), L("''"))
                               .replace(L(","), L("', '"))
                               .replace(L("; "), L("'), ('"));
    return QStringLiteral("insert into %1 (%2) values ('%3')").arg(L(table), L(columns), values);
}

const QStringList kFixture{
    // Outdoor series listed by sub_catalog: 102 (none), 103, 101. Series 301 (HRV) is no
    // series of this tab.
    insert(
        "__product_series",
        "id_series, product_type, product_series, category, sub_catalog, odu_type, table_name",
        "101,0,ODU A,VRF,Heat pump,Top,dt_odu; 102,0,ODU B,Mini,,Side,dt_odu; "
        "103,0,ODU C,VRF,Aheat,Top,dt_odu; 201,1,IDU A,IDU,Duct,,dt_idu; "
        "202,1,IDU B,IDU,Cassette,,dt_idu; 301,11,HRV,HRV,Fresh,,dt_hrv; "
        "401,2,Branch kits,Branch,Refnet,,dt_branch; 501,10,Controllers,Controller,Wired,,dt_ctl; "
        "502,10,Legacy,Controller,Old,,"),
    // A product range whose codes are not unique across product types.
    QStringLiteral("drop table __product_idx"),
    QStringLiteral("create table __product_idx (product_code TEXT, id_series INTEGER, "
                   "product_type INTEGER, model TEXT, base_model TEXT, capacity_kw REAL, "
                   "is_not_for_sale INTEGER DEFAULT 0, is_user_skip INTEGER DEFAULT 0)"),
    QStringLiteral("create table dt_branch (model TEXT, type INTEGER)"),
    QStringLiteral("create table dt_ctl (model TEXT, type INTEGER)"),
    insert("__product_idx", "product_code, id_series, product_type, model, base_model",
           "BH-1,401,2,BH1,BH; MP-1,401,2,MP4-1,MP; MS-1,401,2,MS1,MS; BR-1,401,2,BR1,BR; "
           "Q'1,401,2,Q'M,Q; ORPH-2,999,2,O2,O; DUP,401,2,DUP-O,D; C0,501,10,C0,C; C1,501,10,C1,C; "
           "C2,501,10,C2,C; C5,501,10,C5,C; C6,501,10,C6,C; C7,501,10,C7,C; C8,501,10,C8,C; "
           "C9,501,10,C9,C; C12,501,10,C12,C; ORPH-10,999,10,O10,O; LEG-1,502,10,L1,L; "
           "NODETAIL,501,10,ND,N; DUP,501,10,DUP-I,D; U-1,201,1,UNIT,U"),
    // The first detail row of a model decides its kind.
    insert("dt_branch", "model, type", "BH1,31; MP4-1,3; MS1,4; BR1,2; Q'M,3; DUP-O,4; MS1,2"),
    insert("dt_ctl", "model, type",
           "C0,0; C1,1; C2,2; C5,5; C6,6; C7,7; C8,8; C9,9; C12,12; DUP-I,3"),
    // BR-1 (offered nowhere), GONE and U-1 are dropped at load; MP-1 is stored twice; series
    // 999 is not listed.
    insert("__rule_odu_acc_matching", "id_series_odu, product_code_acc, type",
           "101,MP-1,MP4; 101,BR-1,BRANCH; 101,C7,; 101,C6,; 101,MP-1,MP4; 101,Q'1,MP4; 101,C2,; "
           "101,C5,; 101,C0,; 101,C1,; 101,C8,; 101,C9,; 101,GONE,MS; 101,LEG-1,; "
           "103,BH-1,BRANCH_HEADER; 999,MS-1,MS"),
    insert("__rule_unit_acc_controller_matching", "id_series, product_code",
           "201,C1; 201,C6; 201,DUP; 202,BH-1; 201,C12; 201,U-1; 999,C1"),
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QString texts(QAbstractItemView *view)
{
    return rowTexts(view).join(QLatin1Char(','));
}

// The selected rows of a view, ascending, joined by commas.
QString selected(QAbstractItemView *view)
{
    QStringList rows;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (view->selectionModel()->isSelected(view->model()->index(row, 0)))
            rows.append(QString::number(row));
    }
    return rows.join(QLatin1Char(','));
}

// The editor shown, with its lists, ready for mouse actions.
struct Editor : HSeriesAndAccessoryMatchingWidget
{
    Editor()
    {
        resize(1000, 700);
        show();
        if (!QTest::qWaitForWindowExposed(this))
            qWarning("the editor is not exposed");
    }
    void press(const char *name)
    {
        QTest::mouseClick(findChild<QPushButton *>(L(name)), Qt::LeftButton);
    }
    QListView *view(const char *name) { return findChild<QListView *>(L(name)); }
    QListView *series = view("listView_all_series");
    QListView *matched = view("listView_match");
    QListView *accessories = view("listView_all_accessory");
    QComboBox *combo = findChild<QComboBox *>(QStringLiteral("comboBox"));
};

QByteArray readSnapshot()
{
    QFile file(appFolder(QStringLiteral("log/series_and_acc.json")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The value at a path of keys and indexes, as "jsonObjMatching/odu_matching/0".
QJsonValue at(QJsonValue value, const char *path)
{
    for (const QString &step : QString::fromUtf8(path).split(QLatin1Char('/'))) {
        bool isIndex = false;
        const int index = step.toInt(&isIndex);
        value = isIndex ? value.toArray().at(index) : value.toObject().value(step);
    }
    return value;
}

// The value at `path` in every record of an array, joined by commas; "-" where it is missing.
QString fields(const QJsonValue &records, const char *path = "model")
{
    QStringList result;
    for (const QJsonValue &record : records.toArray()) {
        const QJsonValue value = at(record, path);
        result.append(value.isUndefined() ? QStringLiteral("-") : value.toVariant().toString());
    }
    return result.join(QLatin1Char(','));
}

QJsonValue json(const char *object)
{
    return QJsonDocument::fromJson(object).object();
}

} // namespace

class TestMatchingAccessory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;

    // A table's rows, sorted: the tables keep no order of their own.
    QStringList oduRows() const
    {
        return sorted(sqlRows(m_db, QStringLiteral("select id_series_odu, product_code_acc, type "
                                                   "from __rule_odu_acc_matching")));
    }
    QStringList iduRows() const
    {
        return sorted(sqlRows(m_db, QStringLiteral("select id_series, product_code from "
                                                   "__rule_unit_acc_controller_matching")));
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
    }

    void snapshot()
    {
        // The document at load, without edits.
        delete new HSeriesAndAccessoryMatchingWidget;
        const QJsonValue doc = QJsonDocument::fromJson(readSnapshot()).object();

        // Outdoor list: kinds 31, 3 and 4 of product type 2, by the first detail row; the
        // model with a quote keeps its kind; a model without series row and the kind 2
        // branch are offered nowhere.
        const QJsonValue forOdu = at(doc, "jsonObjAccessory/ar_for_odu");
        QCOMPARE(fields(forOdu), L("BH1,MP4-1,MS1,Q'M,DUP-O"));
        QCOMPARE(fields(forOdu, "type"), L("31,3,4,3,4"));
        QCOMPARE(at(forOdu, "0"), json(R"({"product_code": "BH-1", "id_series": 401, "model": "BH1",
                                  "base_model": "BH", "table_name": "dt_branch", "type": 31})"));
        // Indoor list: every kind below 10, also without kind (no series row, no table name,
        // no detail row); kind 12 is offered nowhere.
        const QJsonValue forIdu = at(doc, "jsonObjAccessory/ar_for_idu");
        QCOMPARE(fields(forIdu), L("C0,C1,C2,C5,C6,C7,C8,C9,O10,L1,ND,DUP-I"));
        QCOMPARE(fields(forIdu, "type"), L("0,1,2,5,6,7,8,9,-,-,-,3"));
        QCOMPARE(fields(forIdu, "table_name").section(',', 8, 10), L("-,,dt_ctl"));

        // Series in sub_catalog order with full records; type 11 and accessory series absent.
        const QJsonValue odus = at(doc, "jsonObjMatching/odu_matching");
        QCOMPARE(fields(odus, "obj_series/id_series"), L("102,103,101"));
        QCOMPARE(at(odus, "0/obj_series"), json(R"({"id_series": 102, "product_series": "ODU B",
            "category": "Mini", "sub_catalog": "", "odu_type": "Side", "product_type": 0})"));
        QCOMPARE(fields(at(odus, "0/ar_matching")), QString());
        QCOMPARE(fields(at(odus, "1/ar_matching")), L("BH1"));
        // Stored repeats stay; indoor-list accessories resolve for an outdoor series; BR-1
        // (type 2, kind 2) and unknown codes are dropped.
        QCOMPARE(fields(at(odus, "2/ar_matching")),
                 L("MP4-1,C7,C6,MP4-1,Q'M,C2,C5,C0,C1,C8,C9,L1"));
        QCOMPARE(at(odus, "2/ar_matching/0"), at(forOdu, "1"));
        const QJsonValue idus = at(doc, "jsonObjMatching/idu_matching");
        QCOMPARE(fields(idus, "obj_series/id_series"), L("202,201"));
        QCOMPARE(fields(at(idus, "0/ar_matching")), L("BH1"));
        // A code in both lists resolves to the outdoor list's record.
        QCOMPARE(fields(at(idus, "1/ar_matching")), L("C1,C6,DUP-O"));

        // Unsaved edits reach the snapshot, not the database.
        const QStringList oduBefore = oduRows();
        {
            Editor e;
            clickRow(e.series, 0);
            doubleClickRow(e.accessories, 3);
        }
        QCOMPARE(oduRows(), oduBefore);
        const QJsonValue edited = QJsonDocument::fromJson(readSnapshot()).object();
        QCOMPARE(fields(at(edited, "jsonObjMatching/odu_matching/0/ar_matching"), "product_code"),
                 L("Q'1"));
    }

    void listsAndSwitchingKind()
    {
        Editor e;
        QCOMPARE(texts(e.combo->view()), L("Outdoor Unit,Indoor Unit"));
        QCOMPARE(texts(e.series), L("Mini,Aheat-VRF,Heat pump-VRF"));
        QCOMPARE(texts(e.accessories), L("BH1,MP4-1,MS1,Q'M,DUP-O"));
        QVERIFY(!e.matched->model());
        QVERIFY(!e.series->currentIndex().isValid());
        QCOMPARE(selected(e.series), QString());

        // A click shows the matching and toggles the row: a second click deselects it and
        // still shows the matching. A click on an accessory only toggles its selection.
        clickRow(e.series, 1);
        QCOMPARE(texts(e.matched), L("BH1"));
        QCOMPARE(selected(e.series), L("1"));
        clickRow(e.series, 1);
        QCOMPARE(texts(e.matched), L("BH1"));
        QCOMPARE(selected(e.series), QString());
        QAbstractItemModel *shown = e.matched->model();
        clickRow(e.accessories, 2);
        QCOMPARE(selected(e.accessories), L("2"));
        QCOMPARE(e.matched->model(), shown);

        // Moving the current series with the keyboard does not redraw the middle list; the
        // next refresh shows the current series.
        e.series->setFocus();
        QTest::keyClick(e.series, Qt::Key_Down);
        QCOMPARE(e.series->currentIndex().row(), 2);
        QCOMPARE(texts(e.matched), L("BH1"));
        e.press("pushButton_remove");
        QCOMPARE(texts(e.matched), L("MP4-1,C7,C6,MP4-1,Q'M,C2,C5,C0,C1,C8,C9,L1"));

        // Indoor series and accessories; the middle list keeps the outdoor series' matching,
        // and with nothing selected "<--" changes nothing.
        shown = e.matched->model();
        e.combo->setCurrentIndex(1);
        QCOMPARE(texts(e.series), L("Cassette-IDU,Duct-IDU"));
        QCOMPARE(texts(e.accessories), L("C0,C1,C2,C5,C6,C7,C8,C9,O10,L1,ND,DUP-I"));
        QCOMPARE(e.matched->model(), shown);
        QCOMPARE(selected(e.series), QString());
        clickRow(e.accessories, 0);
        e.press("pushButton_add");
        QCOMPARE(e.matched->model(), shown);
        // An indoor accessory of kind 0 can be matched to an indoor series and is stored.
        clickRow(e.series, 0);
        e.press("pushButton_add");
        QCOMPARE(texts(e.matched), L("BH1,C0"));
        e.combo->setCurrentIndex(0);
        QCOMPARE(rowTexts(e.series).size(), 3);
        // The save adds that row; rows the tab cannot show stay.
        const QStringList iduBefore = iduRows();
        e.save();
        QCOMPARE(iduRows(), sorted(iduBefore + QStringList{"202|C0"}));
    }

    void addAndRemoveInSelectedSeries()
    {
        Editor e;
        // Nothing selected on the left: "<--" and a double-click change nothing nor redraw.
        clickRow(e.accessories, 0);
        clickRow(e.series, 0);
        clickRow(e.series, 0);
        QAbstractItemModel *shown = e.matched->model();
        e.press("pushButton_add");
        doubleClickRow(e.accessories, 1);
        QCOMPARE(e.matched->model(), shown);
        QCOMPARE(texts(e.matched), QString());

        // Two series (Mini, Heat pump) and three accessories, in right-list order; MP4-1 is
        // already matched to Heat pump. The middle list shows the last clicked series.
        e.accessories->clearSelection();
        for (int row : {0, 2})
            clickRow(e.series, row);
        for (int row : {2, 0, 1})
            clickRow(e.accessories, row);
        e.press("pushButton_add");
        QCOMPARE(selected(e.series), L("0,2"));
        QCOMPARE(selected(e.accessories), L("0,1,2"));
        QCOMPARE(texts(e.matched), L("MP4-1,C7,C6,MP4-1,Q'M,C2,C5,C0,C1,C8,C9,L1,BH1,MS1"));
        clickRow(e.series, 0);
        clickRow(e.series, 0);
        QCOMPARE(texts(e.matched), L("BH1,MP4-1,MS1"));

        // A double-click on an accessory adds it to every selected series; a repeat is
        // refused silently.
        ModalAnswerer answerer;
        e.accessories->clearSelection();
        doubleClickRow(e.accessories, 3);
        doubleClickRow(e.accessories, 3);
        QCOMPARE(texts(e.matched), L("BH1,MP4-1,MS1,Q'M"));
        QCOMPARE(answerer.count(), 0);
        // Only the additions are written, with their kind names.
        const QStringList oduBefore = oduRows();
        e.save();
        QCOMPARE(oduRows(),
                 sorted(oduBefore + QStringList{"102|BH-1|BRANCH_HEADER", "102|MP-1|MP4",
                                                "102|MS-1|MS", "102|Q'1|MP4",
                                                "101|BH-1|BRANCH_HEADER", "101|MS-1|MS"}));

        // Indoor series: IDU B (Cassette) holds BH1; IDU A (Duct) C1, C6, DUP-O.
        e.combo->setCurrentIndex(1);
        clickRow(e.series, 1);
        QCOMPARE(texts(e.matched), L("C1,C6,DUP-O"));
        // "-->" with no matched row selected changes nothing but redraws.
        shown = e.matched->model();
        e.press("pushButton_remove");
        QVERIFY(e.matched->model() != shown);
        QCOMPARE(texts(e.matched), L("C1,C6,DUP-O"));

        // Two matched rows and both series (the second selected as by dragging, so IDU A
        // stays shown): each removal goes by model, in every selected series holding it.
        e.series->selectionModel()->select(e.series->model()->index(0, 0),
                                           QItemSelectionModel::Select);
        clickRow(e.matched, 2);
        clickRow(e.matched, 1);
        QCOMPARE(selected(e.series), L("0,1"));
        e.press("pushButton_remove");
        QCOMPARE(texts(e.matched), L("C1"));

        // C1 added to both (IDU A refuses the repeat), then removed from both by a
        // double-click on the shown row, also from IDU B, which the middle list does not show.
        clickRow(e.accessories, 1);
        e.press("pushButton_add");
        QCOMPARE(texts(e.matched), L("C1"));
        doubleClickRow(e.matched, 0);
        QCOMPARE(texts(e.matched), QString());
        clickRow(e.series, 0);
        QCOMPARE(texts(e.matched), L("BH1"));
        e.save();
        QCOMPARE(iduRows(), sorted({"202|BH-1", "201|C12", "201|U-1", "999|C1"}));
    }
};

QTEST_MAIN(TestMatchingAccessory)
#include "tst_matching_accessory.moc"
