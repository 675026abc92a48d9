// Both matching tabs: their lists and edits, the documents they snapshot, saves that write only
// what changed, and databases they cannot read or write.

#include "testhelpers.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hoduandidumatchingwidget.h"
#include "hseriesandaccessorymatchingwidget.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace TestHelpers;
using L = QLatin1String;

namespace {

// Both tabs on one range. Series 99 and code GONE have no row; series 20 and 30 carry the
// accessories; BR (kind 2, product type 2) and C12 (kind 12) are offered nowhere; C0 (kind 0)
// has no kind name.
const QStringList kFixture{
    "insert into __product_series (id_series, product_type, product_series, "
    "category, sub_catalog, odu_type, table_name) values "
    "(2, 0, 'ODU B', 'VRF', 'Heat recovery', 'T2', ''), "
    "(1, 0, 'ODU A', 'VRF', 'Heat pump', 'T1', ''), (3, 0, 'ODU C', 'Mini', '', "
    "'', ''), (13, 1, 'Wall', 'IDU', 'W', '', ''), (10, 1, 'Cassette', 'IDU', "
    "'C4', '', ''), (11, 1, 'Duct', 'IDU', 'Slim', '', ''), (12, 11, 'HRV', 'HRV', "
    "'Fresh', '', ''), (20, 2, 'Branch', 'Branch', '', '', 'dt_branch'), "
    "(30, 10, 'Controllers', 'Controller', 'Wired', '', 'dt_ctl')",
    "insert into __product_idx (product_code, id_series, product_type, model) "
    "values ('BH', 20, 2, 'BH-M'), ('MP', 20, 2, 'MP-M'), ('MS', 20, 2, 'MS-M'), "
    "('BR', 20, 2, 'BR-M'), ('C0', 30, 10, 'C0-M'), ('C5', 30, 10, 'C5-M'), "
    "('C12', 30, 10, 'C12-M')",
    "create table dt_branch (model TEXT, type INTEGER)",
    "insert into dt_branch values ('BH-M', 31), ('MP-M', 3), ('MS-M', 4), "
    "('BR-M', 2)",
    "create table dt_ctl (model TEXT, type INTEGER)",
    "insert into dt_ctl values ('C0-M', 0), ('C5-M', 5), ('C12-M', 12)",
    "insert into __rule_odu_idu_matching (id_series_odu, id_series_idu) values "
    "(1, 11), (2, 12), (1, 10), (1, 99), (20, 10), (3, 13), (3, 13)",
    "insert into __rule_odu_acc_matching (id_series_odu, product_code_acc, type) "
    "values (1, 'MP', 'MP4'), (1, 'C0', ''), (1, 'MP', 'MP4'), (1, 'C5', 'AHUBOX'), "
    "(1, 'BR', 'BRANCH'), (1, 'GONE', 'MS'), (20, 'MS', 'MS'), (99, 'MS', 'MS'), "
    "(2, 'BH', 'BRANCH_HEADER'), (2, 'C0', '')",
    "insert into __rule_unit_acc_controller_matching (id_series, product_code) "
    "values (10, 'C0'), (10, 'C5'), (10, 'C5'), (10, 'C12'), (11, 'MP'), "
    "(11, 'GONE'), (12, 'C0'), (99, 'C0')"};

// One insert of rows written as "a,b; c,d", every value quoted.
QString insert(const char *table, const char *columns, const char *rows)
{
    const QString values = QString::fromUtf8(rows)
                               .replace(L("'"), L("''"))
                               .replace(L(","), L("', '"))
                               .replace(L("; "), L("'), ('"));
    return QStringLiteral("insert into %1 (%2) values ('%3')").arg(L(table), L(columns), values);
}

// The accessory tab's document: outdoor series listed by sub_catalog (102, 103, 101); codes that
// are not unique across product types (DUP), a code with a quote, models without a series row
// (ORPH-*), without a table name (LEG-1) or detail row (NODETAIL), every indoor kind.
const QStringList kAccessoryFixture{
    insert(
        "__product_series",
        "id_series, product_type, product_series, category, sub_catalog, odu_type, table_name",
        "101,0,ODU A,VRF,Heat pump,Top,dt_odu; 102,0,ODU B,Mini,,Side,dt_odu; "
        "103,0,ODU C,VRF,Aheat,Top,dt_odu; 201,1,IDU A,IDU,Duct,,dt_idu; "
        "202,1,IDU B,IDU,Cassette,,dt_idu; 301,11,HRV,HRV,Fresh,,dt_hrv; "
        "401,2,Branch kits,Branch,Refnet,,dt_branch; 501,10,Controllers,Controller,Wired,,dt_ctl; "
        "502,10,Legacy,Controller,Old,,"),
    "drop table __product_idx",
    "create table __product_idx (product_code TEXT, id_series INTEGER, "
    "product_type INTEGER, model TEXT, base_model TEXT, capacity_kw REAL, "
    "is_not_for_sale INTEGER DEFAULT 0, is_user_skip INTEGER DEFAULT 0)",
    "create table dt_branch (model TEXT, type INTEGER)",
    "create table dt_ctl (model TEXT, type INTEGER)",
    insert("__product_idx", "product_code, id_series, product_type, model, base_model",
           "BH-1,401,2,BH1,BH; MP-1,401,2,MP4-1,MP; MS-1,401,2,MS1,MS; BR-1,401,2,BR1,BR; "
           "Q'1,401,2,Q'M,Q; ORPH-2,999,2,O2,O; DUP,401,2,DUP-O,D; C0,501,10,C0,C; C1,501,10,C1,C; "
           "C5,501,10,C5,C; C6,501,10,C6,C; C7,501,10,C7,C; C12,501,10,C12,C; "
           "ORPH-10,999,10,O10,O; LEG-1,502,10,L1,L; "
           "NODETAIL,501,10,ND,N; DUP,501,10,DUP-I,D; U-1,201,1,UNIT,U"),
    // The first detail row of a model decides its kind.
    insert("dt_branch", "model, type", "BH1,31; MP4-1,3; MS1,4; BR1,2; Q'M,3; DUP-O,4; MS1,2"),
    insert("dt_ctl", "model, type", "C0,0; C1,1; C5,5; C6,6; C7,7; C12,12; DUP-I,3"),
    // BR-1 (offered nowhere), GONE and U-1 are dropped at load; MP-1 is stored twice; series
    // 999 is not listed.
    insert("__rule_odu_acc_matching", "id_series_odu, product_code_acc, type",
           "101,MP-1,MP4; 101,BR-1,BRANCH; 101,C7,; 101,C6,; 101,MP-1,MP4; 101,Q'1,MP4; "
           "101,C5,; 101,C0,; 101,C1,; 101,GONE,MS; 101,LEG-1,; "
           "103,BH-1,BRANCH_HEADER; 999,MS-1,MS"),
    insert("__rule_unit_acc_controller_matching", "id_series, product_code",
           "201,C1; 201,C6; 201,DUP; 202,BH-1; 201,C12; 201,U-1; 999,C1"),
};

const QStringList kTables{"__rule_odu_idu_matching", "__rule_odu_acc_matching",
                          "__rule_unit_acc_controller_matching"};

QString texts(QAbstractItemView *view)
{
    return rowTexts(view).join(QLatin1Char(','));
}

// The selected rows of a view, ascending.
QString selected(QAbstractItemView *view)
{
    QStringList rows;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (view->selectionModel()->isSelected(view->model()->index(row, 0)))
            rows.append(QString::number(row));
    }
    return rows.join(QLatin1Char(','));
}

// Rows clicked one after the other.
void clickRows(QAbstractItemView *view, std::initializer_list<int> rows)
{
    for (int row : rows)
        clickRow(view, row);
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
        auto *label = this->template findChild<QLabel *>("label_loadError");
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
    QComboBox *combo = findChild<QComboBox *>("comboBox");
};

QJsonDocument snapshotFile(const char *name)
{
    return QJsonDocument::fromJson(fileBytes(appFolder("log/") + L(name)));
}

// The value at a path of keys and indexes, as "jsonObjMatching/odu_matching/0".
QJsonValue at(QJsonValue value, const QString &path)
{
    for (const QString &step : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
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
        const QJsonValue value = at(record, L(path));
        result.append(value.isUndefined() ? "-" : value.toVariant().toString());
    }
    return result.join(QLatin1Char(','));
}

// Each series of a document with what it matches: "1:11,10 2:12".
QString matching(const QJsonValue &entries, const char *series, const char *matched,
                 const char *field)
{
    QStringList result;
    for (const QJsonValue &entry : entries.toArray())
        result.append(at(entry, L(series)).toVariant().toString() + QLatin1Char(':') +
                      fields(entry[L(matched)], field));
    return result.join(QLatin1Char(' '));
}

QJsonValue json(const char *object)
{
    return QJsonDocument::fromJson(object).object();
}

// Makes a page of the table unreadable, as a damaged sector of the file would: its first
// page, or with "/last" its last one, which a read reaches only after the others' rows.
void damage(const QString &db, const QString &name)
{
    const QString table = name.section(QLatin1Char('/'), 0, 0);
    const int pageSize = sqlValue(db, "pragma page_size").toInt();
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
    QString name = "lock";
    explicit WriteLock(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        QVERIFY(db.open() && QSqlQuery(db).exec("begin immediate"));
    }
    ~WriteLock()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name);
            QSqlQuery(db).exec("rollback");
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

// The kind names of outdoor accessory rows; kinds without one are not stored.
QString kindName(int kind)
{
    const QHash<int, QString> names{{2, "BRANCH"}, {3, "MP4"},    {31, "BRANCH_HEADER"},
                                    {4, "MS"},     {5, "AHUBOX"}, {7, "AHUMP2"}};
    return names.value(kind);
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TestMatching : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;

    void build(const QStringList &fixture)
    {
        HDbFind::closeDb();
        QString error;
        QVERIFY2(createProductDb(m_db, fixture, &error), qPrintable(error));
        useProductDb(m_db);
    }

    // A table's rows in a fixed order: the tabs keep no row order of their own.
    QStringList rows(const QString &table) const
    {
        return sorted(sqlRows(m_db, "select * from " + table));
    }
    QList<QStringList> allRows() const
    {
        return {rows(kTables.at(0)), rows(kTables.at(1)), rows(kTables.at(2))};
    }

    // The rows that rewriting each table from the tabs' documents would give: every pair
    // whose indoor series exists now; every indoor accessory; every outdoor accessory whose
    // kind has a kind name.
    QList<QStringList> rewrittenFromSnapshots() const
    {
        QStringList existing = sqlRows(m_db, "select id_series from "
                                             "__product_series");
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
        m_db = m_dir.filePath("Product.mdb");
        build(kFixture);
        HDbFind::setDbFileAndPwd("Product.mdb", "pw");
    }

    void cleanup()
    {
        HDbFind::closeDb();
        cleanAppFolders();
    }

    void oduIduEditing()
    {
        OduIdu e;
        ModalAnswerer answerer;
        QCOMPARE(e.notice(), QString());
        // The document: the outdoor series in list order with full records, each with the
        // indoor series it matches as stored (repeats kept; a series without a row keeps only
        // its id).
        QVERIFY(e.writeSnapshot());
        QJsonArray doc = snapshotFile("odu_and_idu.json").array();
        QCOMPARE(matching(doc, "odu/id_series", "match_to_ar_idu", "id_series"),
                 L("1:11,10,99 2:12 3:13,13"));
        QCOMPARE(at(doc, "1/odu"),
                 json(R"({"id_series": 2, "product_series": "ODU B", "category": "VRF",
                          "sub_catalog": "Heat recovery", "odu_type": "T2", "product_type": 0})"));
        QCOMPARE(at(doc, "1/match_to_ar_idu/0"),
                 json(R"({"id_series": 12, "product_series": "HRV", "category": "HRV",
                          "sub_catalog": "Fresh", "odu_type": "", "product_type": 11})"));
        QCOMPARE(at(doc, "0/match_to_ar_idu/2"), json(R"({"id_series": 99})"));

        QCOMPARE(texts(e.odus), L("ODU A-T1-VRF,ODU B-T2-VRF,ODU C--Mini"));
        // Type 11 series are indoor series here.
        QCOMPARE(texts(e.idus), L("Cassette-C4-IDU,Duct-Slim-IDU,HRV-Fresh-HRV,Wall-W-IDU"));
        // The first outdoor series is current and shown; a matched series without a row is "--".
        QCOMPARE(e.odus->currentIndex().row(), 0);
        QCOMPARE(texts(e.matched), L("Duct-Slim-IDU,Cassette-C4-IDU,--"));
        clickRow(e.odus, 1);
        QCOMPARE(texts(e.matched), L("HRV-Fresh-HRV"));
        clickRow(e.odus, 0);

        // A click leaves only the clicked indoor row selected; a second click deselects it.
        selectRows(e.idus, {0, 1, 3});
        clickRow(e.idus, 2);
        QCOMPARE(selected(e.idus), L("2"));
        clickRow(e.idus, 2);
        QCOMPARE(selected(e.idus), QString());

        // A series already matched is refused, by a double-click and by "<--" among new ones,
        // which are added in right-list order.
        doubleClickRow(e.idus, 1);
        QCOMPARE(answerer.seen().at(0).title, L("Infomation"));
        selectRows(e.idus, {3, 1, 2});
        e.press("pushButton_add");
        QCOMPARE(answerer.texts(), QStringList({"It already exists.", "It already exists."}));
        QCOMPARE(texts(e.matched), L("Duct-Slim-IDU,Cassette-C4-IDU,--,HRV-Fresh-HRV,Wall-W-IDU"));

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
        QCOMPARE(rowTexts(e.matched).size(), 3);
        doubleClickRow(e.matched, 0);
        QCOMPARE(texts(e.matched), QString());
        // Back on ODU A by keyboard: an addition goes to the current series and shows it.
        QTest::keyClick(e.odus, Qt::Key_Up);
        doubleClickRow(e.idus, 1);
        QCOMPARE(texts(e.matched), L("Cassette-C4-IDU,HRV-Fresh-HRV,Wall-W-IDU,Duct-Slim-IDU"));

        // Saved silently; rows of other series stay, the removed "--" pair goes.
        e.save();
        const QStringList saved{"1|10", "1|11", "1|12", "1|13", "20|10", "3|13", "3|13"};
        QCOMPARE(rows(kTables.at(0)), saved);
        QCOMPARE(answerer.count(), 2);

        // Unsaved edits reach the snapshot, not the database.
        clickRow(e.odus, 2);
        doubleClickRow(e.idus, 2);
        QVERIFY(e.writeSnapshot());
        QCOMPARE(rows(kTables.at(0)), saved);
        doc = snapshotFile("odu_and_idu.json").array();
        QCOMPARE(matching(doc, "odu/id_series", "match_to_ar_idu", "id_series"),
                 L("1:10,12,13,11 2: 3:13,13,12"));
        QCOMPARE(at(doc, "2/match_to_ar_idu/2"), at(doc, "0/match_to_ar_idu/1"));
    }

    void loadFaults_data()
    {
        QTest::addColumn<QStringList>("statements"); // run after the start-up check
        QTest::addColumn<QStringList>("damaged");    // tables whose first page is destroyed
        QTest::addColumn<QString>("oduIduNotice");   // "table: error", empty for none
        QTest::addColumn<QString>("accessoryNotice");
        const QStringList none;
        // A series whose detail table does not exist gives its models no kind: no fault.
        QTest::newRow("detail table missing") << QStringList{"drop table dt_ctl"} << none << ""
                                              << "";
        QTest::newRow("detail table damaged") << none << QStringList{"dt_branch"} << ""
                                              << "dt_branch: .*malformed";
        // A detail table may be a view; one that cannot be read is a fault like a table.
        QTest::newRow("detail view unreadable")
            << QStringList{"alter table dt_branch rename to dt_branch_old",
                           "create view dt_branch as select * from gone"}
            << none << ""
            << "dt_branch: no such table: .*gone";
        QTest::newRow("matching tables missing")
            << QStringList{"drop table __rule_odu_idu_matching",
                           "drop table __rule_odu_acc_matching"}
            << none << "__rule_odu_idu_matching: no such table"
            << "__rule_odu_acc_matching: no such table";
        QTest::newRow("stored rows damaged")
            << none << QStringList{"__rule_odu_idu_matching", "__rule_unit_acc_controller_matching"}
            << "__rule_odu_idu_matching: .*malformed"
            << "__rule_unit_acc_controller_matching: .*malformed";
        QTest::newRow("stored rows damaged after the first rows")
            << QStringList{"with recursive n(i) as (select 1 union all select i + 1 from n "
                           "where i < 3000) insert into __rule_odu_acc_matching select 99, "
                           "'X' || i, 'MS' from n"}
            << QStringList{"__rule_odu_acc_matching/last"} << ""
            << "__rule_odu_acc_matching: .*malformed";
        QTest::newRow("series damaged")
            << none << QStringList{"__product_series"} << "__product_series: .*malformed"
            << "__product_series: .*malformed";
    }

    // The tab that could not read everything says what and why, and takes no edits: OK saves
    // both tabs and writes nothing.
    void loadFaults()
    {
        QFETCH(QStringList, statements);
        QFETCH(QStringList, damaged);
        QFETCH(QString, oduIduNotice);
        QFETCH(QString, accessoryNotice);
        QVERIFY(HDbFind::open());
        QVERIFY(execSql(m_db, statements));
        for (const QString &table : damaged)
            damage(m_db, table);
        const QByteArray before = fileBytes(m_db);

        ModalAnswerer answerer;
        OduIdu oduIdu;
        Accessory accessory;
        auto says = [](const QString &notice, const QString &pattern) {
            return pattern.isEmpty() ? notice.isEmpty()
                                     : QRegularExpression(pattern).match(notice).hasMatch();
        };
        QVERIFY2(says(oduIdu.notice(), oduIduNotice), qPrintable(oduIdu.notice()));
        QVERIFY2(says(accessory.notice(), accessoryNotice), qPrintable(accessory.notice()));
        auto rowCount = [](QAbstractItemView *view) {
            return view->model() ? view->model()->rowCount() : 0;
        };
        if (!oduIduNotice.isEmpty() && rowCount(oduIdu.idus) > 0) {
            QVERIFY(!oduIdu.findChild<QPushButton *>("pushButton_add")->isEnabled());
            oduIdu.idus->selectAll();
            oduIdu.press("pushButton_add");
            doubleClickRow(oduIdu.idus, 0);
        }
        if (!accessoryNotice.isEmpty() && rowCount(accessory.accessories) > 0 &&
            rowCount(accessory.series) > 0) {
            accessory.series->selectAll();
            doubleClickRow(accessory.accessories, 0);
        }
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

        // Outdoor: ODU A (row 1) loses both MP-M rows, written alone; ODU A and ODU C (row 0)
        // gain the three outdoor accessories; ODU B (row 2) loses C0-M, which has no kind name.
        clickRow(accessory.series, 1);
        QCOMPARE(texts(accessory.matched), L("MP-M,C0-M,MP-M,C5-M"));
        clickRow(accessory.matched, 0);
        accessory.press("pushButton_remove");
        db->resetStatementCounts();
        accessory.save();
        QCOMPARE(db->writeStatementCount(), quint64(1));
        clickRow(accessory.series, 0);
        clickRows(accessory.accessories, {0, 1, 2});
        accessory.press("pushButton_add");
        clickRows(accessory.series, {0, 1, 2});
        clickRow(accessory.matched, 1);
        accessory.press("pushButton_remove");
        // Indoor: Cassette loses both C5-M rows, Wall gains C5-M, Duct gains C0-M.
        accessory.combo->setCurrentIndex(1);
        clickRow(accessory.series, 0);
        QCOMPARE(texts(accessory.matched), L("C0-M,C5-M,C5-M"));
        clickRow(accessory.matched, 1);
        accessory.press("pushButton_remove");
        clickRows(accessory.series, {0, 2});
        clickRow(accessory.accessories, 1);
        accessory.press("pushButton_add");
        clickRow(accessory.accessories, 1);
        clickRows(accessory.series, {2, 1});
        clickRow(accessory.accessories, 0);
        accessory.press("pushButton_add");

        QVERIFY(execSql(m_db, {"delete from __product_series where id_series = 12"}));
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
        // The edits took place: the rewrite holds what they added.
        QVERIFY(expected.at(0).contains("3|11") && expected.at(1).contains("3|BH|BRANCH_HEADER") &&
                expected.at(2).contains("13|C5") && expected.at(2).contains("11|C0"));

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
        for (bool accessoryTab : {false, true}) {
            for (const char *fault : {"insert", "delete", "locked"})
                QTest::addRow("%s %s", accessoryTab ? "accessory" : "odu-idu", fault)
                    << accessoryTab << QString::fromLatin1(fault) << kTables;
        }
        QTest::newRow("accessory: outdoor table refuses")
            << true << "insert" << QStringList{kTables.at(1)};
    }

    // A refused save says why and keeps the refusing tables' rows and the edits on screen; once
    // the database accepts again the same tab writes every edit.
    void saveFaults()
    {
        QFETCH(bool, accessoryTab);
        QFETCH(QString, fault);
        QFETCH(QStringList, refusing);
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
            QVERIFY(HDbFind::getDb()->exec("pragma busy_timeout = 100"));
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
        QCOMPARE(answerer.seen().at(0).text, lock ? L("database is locked") : L("refused"));
        const QList<QStringList> after = allRows();
        for (int i = 0; i < kTables.size(); ++i) {
            if (refusing.contains(kTables.at(i)))
                QCOMPARE(after.at(i), before.at(i));
        }
        QCOMPARE(texts(accessoryTab ? accessory.matched : oduIdu.matched), shown);

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

    void accessoryEditing()
    {
        build(kAccessoryFixture);
        Accessory e;
        QVERIFY(e.writeSnapshot());
        QJsonValue doc = snapshotFile("series_and_acc.json").object();
        // The outdoor list offers kinds 31, 3 and 4 of product type 2, by the first detail
        // row; the indoor list every kind below 10, also without kind (no series row, no table
        // name, no detail row). Stored codes resolve through both lists, the outdoor one first.
        const QJsonValue forOdu = at(doc, "jsonObjAccessory/ar_for_odu");
        QCOMPARE(fields(forOdu, "type"), L("31,3,4,3,4"));
        QCOMPARE(at(forOdu, "0"), json(R"({"product_code": "BH-1", "id_series": 401, "model": "BH1",
                                  "base_model": "BH", "table_name": "dt_branch", "type": 31})"));
        QCOMPARE(fields(at(doc, "jsonObjAccessory/ar_for_idu"), "type"), L("0,1,5,6,7,-,-,-,3"));
        const QJsonValue odus = at(doc, "jsonObjMatching/odu_matching");
        QCOMPARE(at(odus, "0/obj_series"), json(R"({"id_series": 102, "product_series": "ODU B",
            "category": "Mini", "sub_catalog": "", "odu_type": "Side", "product_type": 0})"));
        QCOMPARE(at(odus, "2/ar_matching/0"), at(forOdu, "1"));

        // Series in sub_catalog order; type 11 and accessory series absent. The outdoor list
        // keeps the model with a quote and leaves out the kind 2 branch and the model without
        // a series row.
        QCOMPARE(texts(e.combo->view()), L("Outdoor Unit,Indoor Unit"));
        QCOMPARE(texts(e.series), L("Mini,Aheat-VRF,Heat pump-VRF"));
        QCOMPARE(texts(e.accessories), L("BH1,MP4-1,MS1,Q'M,DUP-O"));
        QVERIFY(!e.matched->model() && !e.series->currentIndex().isValid());

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
        // Nothing selected on the left: "<--" and a double-click change nothing nor redraw.
        e.press("pushButton_add");
        doubleClickRow(e.accessories, 1);
        QCOMPARE(e.matched->model(), shown);

        // Moving the current series with the keyboard does not redraw the middle list; the
        // next refresh shows the current series.
        e.series->setFocus();
        QTest::keyClick(e.series, Qt::Key_Down);
        QCOMPARE(e.series->currentIndex().row(), 2);
        QCOMPARE(texts(e.matched), L("BH1"));
        e.press("pushButton_remove");
        QCOMPARE(texts(e.matched), L("MP4-1,C7,C6,MP4-1,Q'M,C5,C0,C1,L1"));

        // Two series (Mini, Heat pump) and three accessories, in right-list order; MP4-1 is
        // already matched to Heat pump. The middle list shows the last clicked series.
        e.accessories->clearSelection();
        clickRows(e.series, {0, 2});
        clickRows(e.accessories, {2, 0, 1});
        e.press("pushButton_add");
        QCOMPARE(texts(e.matched), L("MP4-1,C7,C6,MP4-1,Q'M,C5,C0,C1,L1,BH1,MS1"));
        clickRows(e.series, {0, 0});
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
        const QStringList oduBefore = rows(kTables.at(1));
        e.save();
        QCOMPARE(rows(kTables.at(1)),
                 sorted(oduBefore + QStringList{"102|BH-1|BRANCH_HEADER", "102|MP-1|MP4",
                                                "102|MS-1|MS", "102|Q'1|MP4",
                                                "101|BH-1|BRANCH_HEADER", "101|MS-1|MS"}));

        // Indoor series and accessories (kind 12 on offer nowhere); the middle list keeps the
        // outdoor series' matching.
        shown = e.matched->model();
        e.combo->setCurrentIndex(1);
        QCOMPARE(texts(e.series), L("Cassette-IDU,Duct-IDU"));
        QCOMPARE(texts(e.accessories), L("C0,C1,C5,C6,C7,O10,L1,ND,DUP-I"));
        QCOMPARE(e.matched->model(), shown);
        // An indoor accessory of kind 0 can be matched to an indoor series.
        clickRow(e.accessories, 0);
        clickRow(e.series, 0);
        e.press("pushButton_add");
        QCOMPARE(texts(e.matched), L("BH1,C0"));
        clickRow(e.series, 0);
        e.accessories->clearSelection();

        // "-->" with no matched row selected changes nothing but redraws.
        clickRow(e.series, 1);
        QCOMPARE(texts(e.matched), L("C1,C6,DUP-O"));
        shown = e.matched->model();
        e.press("pushButton_remove");
        QVERIFY(e.matched->model() != shown);
        QCOMPARE(texts(e.matched), L("C1,C6,DUP-O"));
        // Two matched rows and both series (the second selected as by dragging, so Duct stays
        // shown): each removal goes by model, in every selected series holding it.
        selectRows(e.series, {0});
        clickRows(e.matched, {2, 1});
        e.press("pushButton_remove");
        QCOMPARE(texts(e.matched), L("C1"));
        // C1 added to both (Duct refuses the repeat), then removed from both by a double-click
        // on the shown row, also from Cassette, which the middle list does not show.
        clickRow(e.accessories, 1);
        e.press("pushButton_add");
        QCOMPARE(texts(e.matched), L("C1"));
        doubleClickRow(e.matched, 0);
        QCOMPARE(texts(e.matched), QString());
        clickRow(e.series, 0);
        QCOMPARE(texts(e.matched), L("BH1,C0"));
        // Rows the tab cannot show stay.
        e.save();
        const QStringList saved = rows(kTables.at(2));
        QCOMPARE(saved, sorted({"202|BH-1", "202|C0", "201|C12", "201|U-1", "999|C1"}));

        // Unsaved edits reach the snapshot, not the database.
        doubleClickRow(e.accessories, 3);
        QVERIFY(e.writeSnapshot());
        QCOMPARE(rows(kTables.at(2)), saved);
        doc = snapshotFile("series_and_acc.json").object();
        QCOMPARE(fields(at(doc, "jsonObjMatching/idu_matching/1/ar_matching"), "product_code"),
                 L("C6"));
    }
};

QTEST_MAIN(TestMatching)
#include "tst_matching.moc"
