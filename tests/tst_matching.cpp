#include "testhelpers.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hoduandidumatchingwidget.h"
#include "hseriesandaccessorymatchingwidget.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace TestHelpers;
using L = QLatin1String;

namespace {

// Both matching tabs on one range. Series 99 and code GONE have no row; series 20 and 30
// carry the accessories; BR (kind 2, product type 2) and C12 (kind 12) are offered nowhere;
// C0 (kind 0) has no kind name.
const QStringList kFixture{
    QStringLiteral("insert into __product_series (id_series, product_type, product_series, "
                   "category, sub_catalog, odu_type, table_name) values "
                   "(2, 0, 'ODU B', 'VRF', 'Heat recovery', 'T2', ''), "
                   "(1, 0, 'ODU A', 'VRF', 'Heat pump', 'T1', ''), (3, 0, 'ODU C', 'Mini', '', "
                   "'', ''), (13, 1, 'Wall', 'IDU', 'W', '', ''), (10, 1, 'Cassette', 'IDU', "
                   "'C4', '', ''), (11, 1, 'Duct', 'IDU', 'Slim', '', ''), (12, 11, 'HRV', 'HRV', "
                   "'Fresh', '', ''), (20, 2, 'Branch', 'Branch', '', '', 'dt_branch'), "
                   "(30, 10, 'Controllers', 'Controller', 'Wired', '', 'dt_ctl')"),
    QStringLiteral("insert into __product_idx (product_code, id_series, product_type, model) "
                   "values ('BH', 20, 2, 'BH-M'), ('MP', 20, 2, 'MP-M'), ('MS', 20, 2, 'MS-M'), "
                   "('BR', 20, 2, 'BR-M'), ('C0', 30, 10, 'C0-M'), ('C5', 30, 10, 'C5-M'), "
                   "('C12', 30, 10, 'C12-M')"),
    QStringLiteral("create table dt_branch (model TEXT, type INTEGER)"),
    QStringLiteral("insert into dt_branch values ('BH-M', 31), ('MP-M', 3), ('MS-M', 4), "
                   "('BR-M', 2)"),
    QStringLiteral("create table dt_ctl (model TEXT, type INTEGER)"),
    QStringLiteral("insert into dt_ctl values ('C0-M', 0), ('C5-M', 5), ('C12-M', 12)"),
    QStringLiteral("insert into __rule_odu_idu_matching (id_series_odu, id_series_idu) values "
                   "(1, 11), (2, 12), (1, 10), (1, 99), (20, 10), (3, 13), (3, 13)"),
    QStringLiteral("insert into __rule_odu_acc_matching (id_series_odu, product_code_acc, type) "
                   "values (1, 'MP', 'MP4'), (1, 'C0', ''), (1, 'MP', 'MP4'), (1, 'C5', 'AHUBOX'), "
                   "(1, 'BR', 'BRANCH'), (1, 'GONE', 'MS'), (20, 'MS', 'MS'), (99, 'MS', 'MS'), "
                   "(2, 'BH', 'BRANCH_HEADER'), (2, 'C0', '')"),
    QStringLiteral("insert into __rule_unit_acc_controller_matching (id_series, product_code) "
                   "values (10, 'C0'), (10, 'C5'), (10, 'C5'), (10, 'C12'), (11, 'MP'), "
                   "(11, 'GONE'), (12, 'C0'), (99, 'C0')")};

const QStringList kTables{QStringLiteral("__rule_odu_idu_matching"),
                          QStringLiteral("__rule_odu_acc_matching"),
                          QStringLiteral("__rule_unit_acc_controller_matching")};

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

// A tab shown, ready for mouse actions.
template <class Tab> struct Shown : Tab
{
    Shown()
    {
        this->resize(1000, 700);
        this->show();
        if (!QTest::qWaitForWindowExposed(this))
            qWarning("the editor is not exposed");
    }
    void press(const char *name)
    {
        QTest::mouseClick(this->template findChild<QPushButton *>(L(name)), Qt::LeftButton);
    }
    QListView *view(const char *name) { return this->template findChild<QListView *>(L(name)); }
    // The read-only notice; empty when the tab loaded everything.
    QString notice()
    {
        auto *label = this->template findChild<QLabel *>(QStringLiteral("label_loadError"));
        return label && !label->isHidden() ? label->text() : QString();
    }
};

struct OduIdu : Shown<HOduAndIduMatchingWidget>
{
    QListView *odus = view("listView_all_odu");
    QListView *matched = view("listView_match_idu");
    QListView *idus = view("listView_all_idu");
};

struct Accessory : Shown<HSeriesAndAccessoryMatchingWidget>
{
    QListView *series = view("listView_all_series");
    QListView *matched = view("listView_match");
    QListView *accessories = view("listView_all_accessory");
    QComboBox *combo = findChild<QComboBox *>(QStringLiteral("comboBox"));
};

QJsonDocument snapshotFile(const char *name)
{
    QFile file(appFolder(QStringLiteral("log/") + L(name)));
    return QJsonDocument::fromJson(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
}

// Makes a page of the table unreadable, as a damaged sector of the file would: its first
// page, or with "/last" its last one, which a read reaches only after the others' rows.
void damage(const QString &db, const QString &name)
{
    const QString table = name.section(QLatin1Char('/'), 0, 0);
    const int pageSize = sqlValue(db, QStringLiteral("pragma page_size")).toInt();
    int page = sqlValue(db, QStringLiteral("select rootpage from sqlite_master where "
                                           "type = 'table' and name = '%1'")
                                .arg(table))
                   .toInt();
    QVERIFY(pageSize > 0 && page > 1);
    QByteArray bytes = fileBytes(db);
    if (name.endsWith(L("/last"))) {
        // An interior page holds its right-most child's number at offset 8.
        const QByteArray root = bytes.mid((page - 1) * pageSize, 12);
        QCOMPARE(int(root.at(0)), 5);
        page = qFromBigEndian<quint32>(root.constData() + 8);
    }
    bytes.replace((page - 1) * pageSize, pageSize, QByteArray(pageSize, '\xff'));
    QVERIFY(writeBytes(db, bytes));
}

// A second connection holding a write transaction, as another copy of the tool saving.
struct WriteLock
{
    QString name = QStringLiteral("lock");
    explicit WriteLock(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY(db.open() && QSqlQuery(db).exec(QStringLiteral("begin immediate")));
    }
    ~WriteLock()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name);
            QSqlQuery(db).exec(QStringLiteral("rollback"));
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

// The kind names of outdoor accessory rows; kinds without one are not stored.
QString kindName(int kind)
{
    const QHash<int, QString> names{
        {2, QStringLiteral("BRANCH")},         {3, QStringLiteral("MP4")},
        {31, QStringLiteral("BRANCH_HEADER")}, {4, QStringLiteral("MS")},
        {5, QStringLiteral("AHUBOX")},         {7, QStringLiteral("AHUMP2")}};
    return names.value(kind);
}

} // namespace

class TestMatching : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;

    // A table's rows in a fixed order: the tabs keep no row order of their own.
    QStringList rows(const QString &table) const
    {
        QStringList all = sqlRows(m_db, QStringLiteral("select * from ") + table);
        all.sort();
        return all;
    }
    QList<QStringList> allRows() const
    {
        QList<QStringList> all;
        for (const QString &table : kTables)
            all.append(rows(table));
        return all;
    }

    // The rows that rewriting each table from the tabs' documents would give: every pair
    // whose indoor series exists now; every indoor accessory; every outdoor accessory whose
    // kind has a kind name.
    QList<QStringList> rewrittenFromSnapshots() const
    {
        QStringList existing = sqlRows(m_db, QStringLiteral("select id_series from "
                                                            "__product_series"));
        QStringList oduIdu, oduAcc, iduAcc;
        for (const QJsonValue &entry : snapshotFile("odu_and_idu.json").array()) {
            const int odu = entry[L("odu")][L("id_series")].toInt();
            for (const QJsonValue &idu : entry[L("match_to_ar_idu")].toArray()) {
                const QString id = QString::number(idu[L("id_series")].toInt());
                if (existing.contains(id))
                    oduIdu.append(QStringLiteral("%1|%2").arg(odu).arg(id));
            }
        }
        const QJsonObject matching =
            snapshotFile("series_and_acc.json").object()[L("jsonObjMatching")].toObject();
        for (bool indoor : {false, true}) {
            const QJsonArray entries =
                matching[indoor ? L("idu_matching") : L("odu_matching")].toArray();
            for (const QJsonValue &entry : entries) {
                const int series = entry[L("obj_series")][L("id_series")].toInt();
                for (const QJsonValue &record : entry[L("ar_matching")].toArray()) {
                    const QString code = record[L("product_code")].toString();
                    const QString name = kindName(record[L("type")].toInt());
                    if (indoor)
                        iduAcc.append(QStringLiteral("%1|%2").arg(series).arg(code));
                    else if (!name.isEmpty())
                        oduAcc.append(QStringLiteral("%1|%2|%3").arg(series).arg(code, name));
                }
            }
        }
        return {oduIdu, oduAcc, iduAcc};
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

    void editing()
    {
        OduIdu e;
        ModalAnswerer answerer;
        QCOMPARE(e.notice(), QString());
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

        // Saved silently; rows of other series stay, the removed "--" pair goes.
        e.save();
        QCOMPARE(rows(kTables.at(0)),
                 QStringList({"1|10", "1|11", "1|12", "1|13", "20|10", "3|13", "3|13"}));
        QCOMPARE(answerer.count(), 2);
    }

    void snapshot()
    {
        // Without edits.
        delete new HOduAndIduMatchingWidget;
        const QJsonObject wall = QJsonDocument::fromJson(R"({"id_series": 13,
            "product_series": "Wall", "category": "IDU", "sub_catalog": "W", "odu_type": "",
            "product_type": 1})")
                                     .object();
        QJsonArray expected = QJsonDocument::fromJson(R"([
            {"odu": {"id_series": 1, "product_series": "ODU A", "category": "VRF",
                     "sub_catalog": "Heat pump", "odu_type": "T1", "product_type": 0},
             "match_to_ar_idu": [{"id_series": 11, "product_series": "Duct", "category": "IDU",
                                  "sub_catalog": "Slim", "odu_type": "", "product_type": 1},
                                 {"id_series": 10, "product_series": "Cassette", "category": "IDU",
                                  "sub_catalog": "C4", "odu_type": "", "product_type": 1},
                                 {"id_series": 99}]},
            {"odu": {"id_series": 2, "product_series": "ODU B", "category": "VRF",
                     "sub_catalog": "Heat recovery", "odu_type": "T2", "product_type": 0},
             "match_to_ar_idu": [{"id_series": 12, "product_series": "HRV", "category": "HRV",
                                  "sub_catalog": "Fresh", "odu_type": "", "product_type": 11}]},
            {"odu": {"id_series": 3, "product_series": "ODU C", "category": "Mini",
                     "sub_catalog": "", "odu_type": "", "product_type": 0},
             "match_to_ar_idu": []}])")
                                  .array();
        QJsonObject third = expected.at(2).toObject();
        third.insert(L("match_to_ar_idu"), QJsonArray{wall, wall});
        expected.replace(2, third);
        QCOMPARE(snapshotFile("odu_and_idu.json").array(), expected);

        // Unsaved edits reach the snapshot, not the database.
        const QStringList before = rows(kTables.at(0));
        {
            OduIdu e;
            clickRow(e.odus, 2);
            doubleClickRow(e.idus, 2);
        }
        QCOMPARE(rows(kTables.at(0)), before);
        third.insert(L("match_to_ar_idu"),
                     QJsonArray{wall, wall, expected.at(1)[L("match_to_ar_idu")][0]});
        expected.replace(2, third);
        QCOMPARE(snapshotFile("odu_and_idu.json").array(), expected);
    }

    void okWithoutEditKeepsEveryRow()
    {
        // Rows neither tab can show (dangling series and codes, kinds on offer nowhere,
        // series of other product types) survive OK of the main window.
        const QList<QStringList> before = allRows();
        {
            MainWindow window;
            ModalAnswerer answerer;
            QTest::mouseClick(window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
                                  ->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
            QVERIFY(!window.isVisible());
            QCOMPARE(answerer.count(), 0);
        }
        QCOMPARE(allRows(), before);
        QVERIFY(QFile::exists(appFolder(QStringLiteral("log/odu_and_idu.json"))));
        QVERIFY(QFile::exists(appFolder(QStringLiteral("log/series_and_acc.json"))));
    }

    void loadFaults_data()
    {
        QTest::addColumn<QStringList>("statements"); // run after the start-up check
        QTest::addColumn<QStringList>("damaged");    // tables whose first page is destroyed
        QTest::addColumn<QStringList>("oduIduNotice");
        QTest::addColumn<QStringList>("accessoryNotice");
        const QStringList none;
        // A series whose detail table does not exist gives its models no kind: no fault.
        QTest::newRow("detail table missing")
            << QStringList{"drop table dt_ctl"} << none << none << none;
        QTest::newRow("detail table damaged")
            << none << QStringList{"dt_branch"} << none << QStringList{"dt_branch", "malformed"};
        QTest::newRow("matching tables missing")
            << QStringList{"drop table __rule_odu_idu_matching",
                           "drop table __rule_odu_acc_matching"}
            << none << QStringList{"__rule_odu_idu_matching", "no such table"}
            << QStringList{"__rule_odu_acc_matching", "no such table"};
        QTest::newRow("stored rows damaged")
            << none << QStringList{"__rule_odu_idu_matching", "__rule_unit_acc_controller_matching"}
            << QStringList{"__rule_odu_idu_matching", "malformed"}
            << QStringList{"__rule_unit_acc_controller_matching", "malformed"};
        QTest::newRow("stored rows damaged after the first rows")
            << QStringList{"with recursive n(i) as (select 1 union all select i + 1 from n "
                           "where i < 3000) insert into __rule_odu_acc_matching select 99, "
                           "'X' || i, 'MS' from n"}
            << QStringList{"__rule_odu_acc_matching/last"} << none
            << QStringList{"__rule_odu_acc_matching", "malformed"};
        QTest::newRow("stored-row query fails")
            << QStringList{"alter table __rule_odu_idu_matching rename column id_series_idu "
                           "to idu",
                           "alter table __rule_odu_acc_matching rename column product_code_acc "
                           "to code"}
            << none << QStringList{"__rule_odu_idu_matching", "no such column"}
            << QStringList{"__rule_odu_acc_matching", "no such column"};
        QTest::newRow("series damaged") << none << QStringList{"__product_series"}
                                        << QStringList{"__product_series", "malformed"}
                                        << QStringList{"__product_series", "malformed"};
    }

    void loadFaults()
    {
        QFETCH(QStringList, statements);
        QFETCH(QStringList, damaged);
        QFETCH(QStringList, oduIduNotice);
        QFETCH(QStringList, accessoryNotice);
        QVERIFY(HDbFind::open());
        QVERIFY(execSql(m_db, statements));
        for (const QString &table : damaged)
            damage(m_db, table);
        const QByteArray before = fileBytes(m_db);

        ModalAnswerer answerer;
        OduIdu oduIdu;
        Accessory accessory;
        // The tab that could not read everything says what and why, and takes no edits.
        auto says = [](const QString &notice, const QStringList &words) {
            for (const QString &word : words) {
                if (!notice.contains(word))
                    return false;
            }
            return notice.isEmpty() == words.isEmpty();
        };
        QVERIFY2(says(oduIdu.notice(), oduIduNotice), qPrintable(oduIdu.notice()));
        QVERIFY2(says(accessory.notice(), accessoryNotice), qPrintable(accessory.notice()));
        auto rowCount = [](QAbstractItemView *view) {
            return view->model() ? view->model()->rowCount() : 0;
        };
        if (!oduIduNotice.isEmpty() && rowCount(oduIdu.idus) > 0) {
            QVERIFY(
                !oduIdu.findChild<QPushButton *>(QStringLiteral("pushButton_add"))->isEnabled());
            oduIdu.idus->selectAll();
            oduIdu.press("pushButton_add");
            doubleClickRow(oduIdu.idus, 0);
        }
        if (!accessoryNotice.isEmpty() && rowCount(accessory.accessories) > 0 &&
            rowCount(accessory.series) > 0) {
            accessory.series->selectAll();
            doubleClickRow(accessory.accessories, 0);
        }
        // OK saves both tabs: nothing is written.
        oduIdu.save();
        accessory.save();
        QCOMPARE(answerer.count(), 0);
        QVERIFY(fileBytes(m_db) == before);
    }

    void saveWritesTheDifference()
    {
        QVERIFY(HDbFind::open());
        HDatabase *db = HDbFind::getDb();
        const QByteArray unchanged = fileBytes(m_db);
        OduIdu oduIdu;
        Accessory accessory;

        // Without an edit nothing runs.
        db->resetStatementCounts();
        oduIdu.save();
        accessory.save();
        QCOMPARE(db->statementCount(), quint64(0));
        QVERIFY(fileBytes(m_db) == unchanged);

        // One edit, one write: Wall added to ODU B.
        clickRow(oduIdu.odus, 1);
        doubleClickRow(oduIdu.idus, 3);
        oduIdu.save();
        QCOMPARE(db->writeStatementCount(), quint64(1));

        // ODU A loses Duct and gains HRV; ODU C loses one of its two Wall rows and gains Duct
        // and HRV; then HRV vanishes from the series before the save.
        clickRow(oduIdu.odus, 0);
        doubleClickRow(oduIdu.matched, 0);
        doubleClickRow(oduIdu.idus, 2);
        clickRow(oduIdu.odus, 2);
        doubleClickRow(oduIdu.matched, 0);
        doubleClickRow(oduIdu.idus, 1);
        doubleClickRow(oduIdu.idus, 2);
        QCOMPARE(texts(oduIdu.matched), L("Wall-W-IDU,Duct-Slim-IDU,HRV-Fresh-HRV"));

        // Outdoor: ODU A (row 1) loses both MP-M rows; ODU A and ODU C (row 0) gain the three
        // outdoor accessories; ODU B (row 2) loses C0-M, which has no kind name.
        clickRow(accessory.series, 1);
        QCOMPARE(texts(accessory.matched), L("MP-M,C0-M,MP-M,C5-M"));
        clickRow(accessory.matched, 0);
        accessory.press("pushButton_remove");
        db->resetStatementCounts();
        accessory.save();
        QCOMPARE(db->writeStatementCount(), quint64(1));
        clickRow(accessory.series, 0);
        for (int row : {0, 1, 2})
            clickRow(accessory.accessories, row);
        accessory.press("pushButton_add");
        clickRow(accessory.series, 0);
        clickRow(accessory.series, 1);
        clickRow(accessory.series, 2);
        QCOMPARE(texts(accessory.matched), L("BH-M,C0-M"));
        clickRow(accessory.matched, 1);
        accessory.press("pushButton_remove");
        // Indoor: Cassette loses both C5-M rows, Wall gains C5-M, Duct gains C0-M.
        accessory.combo->setCurrentIndex(1);
        clickRow(accessory.series, 0);
        QCOMPARE(texts(accessory.matched), L("C0-M,C5-M,C5-M"));
        clickRow(accessory.matched, 1);
        accessory.press("pushButton_remove");
        clickRow(accessory.series, 0);
        clickRow(accessory.series, 2);
        clickRow(accessory.accessories, 1);
        accessory.press("pushButton_add");
        clickRow(accessory.accessories, 1);
        clickRow(accessory.series, 2);
        clickRow(accessory.series, 1);
        clickRow(accessory.accessories, 0);
        accessory.press("pushButton_add");
        QCOMPARE(texts(accessory.matched), L("MP-M,C0-M"));

        QVERIFY(
            execSql(m_db, {QStringLiteral("delete from __product_series where id_series = 12")}));
        ModalAnswerer answerer;
        oduIdu.save();
        accessory.save();
        QCOMPARE(answerer.count(), 0);

        // The tables hold what rewriting them from the documents gives, plus the rows the
        // user did not remove and the tabs cannot write: a dangling indoor series, a pair
        // of another product type, a pair whose series vanished after loading, a kind
        // without a name, a kind on offer nowhere, dangling codes and series.
        QVERIFY(oduIdu.writeSnapshot() && accessory.writeSnapshot());
        QList<QStringList> expected = rewrittenFromSnapshots();
        expected[0] << "1|99"
                    << "20|10"
                    << "2|12";
        expected[1] << "1|C0|"
                    << "1|BR|BRANCH"
                    << "1|GONE|MS"
                    << "20|MS|MS"
                    << "99|MS|MS";
        expected[2] << "10|C12"
                    << "11|GONE"
                    << "12|C0"
                    << "99|C0";
        for (QStringList &table : expected)
            table.sort();
        QCOMPARE(allRows(), expected);
        QVERIFY(expected.at(0).contains("3|11") && expected.at(1).contains("3|BH|BRANCH_HEADER") &&
                expected.at(2).contains("13|C5"));

        // Saved is saved: nothing more is written.
        db->resetStatementCounts();
        oduIdu.save();
        accessory.save();
        QCOMPARE(db->writeStatementCount(), quint64(0));
    }

    void saveFaults_data()
    {
        QTest::addColumn<bool>("accessoryTab");
        QTest::addColumn<QString>("fault"); // a trigger's event, or "locked"
        QTest::addColumn<QStringList>("refusing");
        QTest::addColumn<QString>("message");
        const QStringList all = kTables;
        for (bool accessoryTab : {false, true}) {
            const char *tab = accessoryTab ? "accessory " : "odu-idu ";
            for (const char *fault : {"insert", "delete", "locked"}) {
                QTest::addRow("%s%s", tab, fault)
                    << accessoryTab << QString::fromLatin1(fault) << all
                    << QString::fromLatin1(fault == QByteArray("locked") ? "database is locked"
                                                                         : "refused");
            }
        }
        QTest::newRow("accessory: outdoor table refuses")
            << true << QStringLiteral("insert") << QStringList{kTables.at(1)}
            << QStringLiteral("refused");
    }

    void saveFaults()
    {
        QFETCH(bool, accessoryTab);
        QFETCH(QString, fault);
        QFETCH(QStringList, refusing);
        QFETCH(QString, message);
        // One removal and one addition in every table the tab writes.
        OduIdu oduIdu;
        Accessory accessory;
        QWidget *tab = &oduIdu;
        if (accessoryTab) {
            tab = &accessory;
            clickRow(accessory.series, 2);
            clickRow(accessory.matched, 0);
            accessory.press("pushButton_remove");
            doubleClickRow(accessory.accessories, 2);
            accessory.combo->setCurrentIndex(1);
            clickRow(accessory.series, 0);
            clickRow(accessory.matched, 1);
            accessory.press("pushButton_remove");
            doubleClickRow(accessory.accessories, 1);
        } else {
            doubleClickRow(oduIdu.matched, 0);
            doubleClickRow(oduIdu.idus, 3);
        }
        const QString shown = texts(accessoryTab ? accessory.matched : oduIdu.matched);
        const QList<QStringList> before = allRows();

        std::unique_ptr<WriteLock> lock;
        if (fault == L("locked")) {
            QVERIFY(HDbFind::getDb()->exec(QStringLiteral("pragma busy_timeout = 100")));
            lock.reset(new WriteLock(m_db));
        } else {
            for (const QString &table : refusing)
                QVERIFY(execSql(m_db, {QStringLiteral("create trigger refuse_%1 before %2 on %1 "
                                                      "begin select raise(abort, 'refused'); end")
                                           .arg(table, fault)}));
        }
        ModalAnswerer answerer;
        QMetaObject::invokeMethod(tab, "save");
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.seen().at(0).title, L("Warning"));
        QCOMPARE(answerer.seen().at(0).text, message);
        // The refusing tables keep their rows; the edits stay on screen.
        const QList<QStringList> after = allRows();
        for (int i = 0; i < kTables.size(); ++i) {
            if (refusing.contains(kTables.at(i)))
                QCOMPARE(after.at(i), before.at(i));
        }
        QCOMPARE(texts(accessoryTab ? accessory.matched : oduIdu.matched), shown);

        // Once the database accepts again the same tab writes every edit.
        lock.reset();
        for (const QString &table : refusing)
            QVERIFY(execSql(m_db, {QStringLiteral("drop trigger if exists refuse_%1").arg(table)}));
        QMetaObject::invokeMethod(tab, "save");
        QCOMPARE(answerer.count(), 1);
        const QList<QStringList> saved = allRows();
        if (accessoryTab) {
            QVERIFY(!saved.at(1).contains("2|BH|BRANCH_HEADER") && saved.at(1).contains("2|MS|MS"));
            QCOMPARE(saved.at(2).count("10|C5"), 1);
        } else {
            QVERIFY(!saved.at(0).contains("1|11") && saved.at(0).contains("1|13"));
        }
        QCOMPARE(saved.at(accessoryTab ? 0 : 1), before.at(accessoryTab ? 0 : 1));
    }
};

QTEST_MAIN(TestMatching)
#include "tst_matching.moc"
