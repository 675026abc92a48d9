#pragma once

// What the matching suites share: both tabs on one product range, shown, and the database
// checks of their saves.

#include "testhelpers.h"

#include "hauditlog.h"
#include "hdatabase.h"
#include "hdbfind.h"
#include "hfindbar.h"
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
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace MatchingFixture {

using namespace TestHelpers;
using L = QLatin1String;

// Both tabs on one range. Series 99 and code GONE have no row; series 20 and 30 carry the
// accessories; BR (kind 2, product type 2) and C12 (kind 12) are offered nowhere; C0 (kind 0)
// has no kind name.
inline const QStringList kFixture{
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
inline QString insert(const char *table, const char *columns, const char *rows)
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
inline const QStringList kAccessoryFixture{
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

inline const QStringList kTables{"__rule_odu_idu_matching", "__rule_odu_acc_matching",
                                 "__rule_unit_acc_controller_matching"};

inline QString texts(QAbstractItemView *view)
{
    return rowTexts(view).join(QLatin1Char(','));
}

// The selected rows of a view, ascending.
inline QString selected(QAbstractItemView *view)
{
    QStringList rows;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (view->selectionModel()->isSelected(view->model()->index(row, 0)))
            rows.append(QString::number(row));
    }
    return rows.join(QLatin1Char(','));
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
    QComboBox *combo = nullptr;
    QListView *left = odus;
    QListView *right = idus;
};

struct Accessory : Shown<HSeriesAndAccessoryMatchingWidget>
{
    QListView *series = view("listView_all_series");
    QListView *matched = view("listView_match");
    QListView *accessories = view("listView_all_accessory");
    QComboBox *combo = findChild<QComboBox *>("comboBox");
    QListView *left = series;
    QListView *right = accessories;
};

// Drives a matching tab as a user would. Steps, separated by blanks; <v> names a list: l (left
// series), m (middle, matched), r (right):
//   c<v><row>       click a row           s<v><row>,<row>  select rows as dragging does
//   d<v><row>       double-click a row
//   f<v>=<text>     type into its find box t<v>=<text>      type into the list (type-ahead)
//   Down, Up        arrow key in the left list
//   <, >            press "<--", "-->"     u, r             Ctrl+Z, Ctrl+Shift+Z in the tab
//   k<n>            the combo box's item   S, D             save, discard the changes
template <class Tab> void drive(Tab &tab, const QString &steps)
{
    QApplication::setActiveWindow(&tab);
    const QHash<QChar, QListView *> views{{'l', tab.left}, {'m', tab.matched}, {'r', tab.right}};
    for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
        QListView *view = views.value(step.size() > 1 ? step.at(1) : QChar());
        const QString text = step.section('=', 1);
        if (step == "Down" || step == "Up") {
            tab.left->setFocus();
            QTest::keyClick(tab.left, step == "Down" ? Qt::Key_Down : Qt::Key_Up);
        } else if (step == "<" || step == ">") {
            tab.press(step == "<" ? "pushButton_add" : "pushButton_remove");
        } else if (step == "u" || step == "r") {
            tab.left->setFocus();
            QTest::keyClick(tab.left, Qt::Key_Z,
                            step == "u" ? Qt::ControlModifier
                                        : Qt::ControlModifier | Qt::ShiftModifier);
        } else if (step == "S") {
            tab.save();
        } else if (step == "D") {
            tab.discardChanges();
        } else if (step.startsWith('k')) {
            tab.combo->setCurrentIndex(step.mid(1).toInt());
        } else if (step.startsWith('c')) {
            clickRow(view, step.mid(2).toInt());
        } else if (step.startsWith('d')) {
            doubleClickRow(view, step.mid(2).toInt());
        } else if (step.startsWith('s')) {
            view->clearSelection();
            for (const QString &row : step.mid(2).split(','))
                view->selectionModel()->select(view->model()->index(row.toInt(), 0),
                                               QItemSelectionModel::Select);
        } else if (step.startsWith('f')) {
            HFindBar::of(view)->setText(text);
            HFindBar::of(view)->apply();
        } else if (step.startsWith('t')) {
            view->setFocus();
            QTest::keyClicks(view, text);
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }
}

inline QJsonDocument snapshotFile(const char *name)
{
    return QJsonDocument::fromJson(fileBytes(appFolder("log/") + L(name)));
}

// The value at a path of keys and indexes, as "jsonObjMatching/odu_matching/0".
inline QJsonValue at(QJsonValue value, const QString &path)
{
    for (const QString &step : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        bool isIndex = false;
        const int index = step.toInt(&isIndex);
        value = isIndex ? value.toArray().at(index) : value.toObject().value(step);
    }
    return value;
}

// The value at `path` in every record of an array, joined by commas; "-" where it is missing.
inline QString fields(const QJsonValue &records, const char *path = "model")
{
    QStringList result;
    for (const QJsonValue &record : records.toArray()) {
        const QJsonValue value = at(record, L(path));
        result.append(value.isUndefined() ? "-" : value.toVariant().toString());
    }
    return result.join(QLatin1Char(','));
}

// Each series of a document with what it matches: "1:11,10 2:12".
inline QString matching(const QJsonValue &entries, const char *series, const char *matched,
                        const char *field)
{
    QStringList result;
    for (const QJsonValue &entry : entries.toArray())
        result.append(at(entry, L(series)).toVariant().toString() + QLatin1Char(':') +
                      fields(entry[L(matched)], field));
    return result.join(QLatin1Char(' '));
}

inline QJsonValue json(const char *object)
{
    return QJsonDocument::fromJson(object).object();
}

// Makes a page of the table unreadable, as a damaged sector of the file would: its first
// page, or with "/last" its last one, which a read reaches only after the others' rows.
inline void damage(const QString &db, const QString &name)
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

inline QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// A suite on the fixture: a fresh database for each test, the tables read back in order.
class MatchingSuite
{
protected:
    void build(const QStringList &fixture)
    {
        HDbFind::closeDb();
        QString error;
        QVERIFY2(createProductDb(m_db, fixture, &error), qPrintable(error));
        useProductDb(m_db);
        // The history table exists, as after the first save: a save's statements are the same
        // every time.
        QVERIFY(HAuditLog::append(HDbFind::getDb(), {{"t", "s", "k", "c", {}, {}}}, &error));
        QVERIFY(execSql(m_db, {"delete from maintainer_audit"}));
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

    // What the tables gained ("+row") and lost ("-row") since `before`.
    QString changedRows(const QList<QStringList> &before) const
    {
        const QList<QStringList> after = allRows();
        QStringList changes;
        for (int i = 0; i < kTables.size(); ++i)
            changes += rowChanges(before.at(i), after.at(i));
        return sorted(changes).join(QLatin1Char(' '));
    }

    // Edit sequences: steps as drive() takes them; then the middle list, the modified mark,
    // what the tables gained and lost, and the writes of the last save (-1: not checked).
    static void sequenceColumns()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("matched");
        QTest::addColumn<bool>("modified");
        QTest::addColumn<QString>("changed");
        QTest::addColumn<int>("writes");
    }

    // What the user sees and touches is what is edited; a save writes exactly the edited
    // series' differences from what is stored, and adds its one history insert.
    template <class Tab> void runSequence()
    {
        QFETCH(QString, steps);
        QFETCH(QString, matched);
        QFETCH(bool, modified);
        QFETCH(QString, changed);
        QFETCH(int, writes);
        const QList<QStringList> before = allRows();
        ModalAnswerer answerer;
        Tab e;
        HDatabase *db = HDbFind::getDb();
        const QString saved = steps.section(" S", 0, -2);
        drive(e, saved);
        db->resetStatementCounts();
        drive(e, steps.mid(saved.size()));
        QCOMPARE(texts(e.matched), matched);
        QCOMPARE(e.isModified(), modified);
        QCOMPARE(changedRows(before), changed);
        if (writes >= 0)
            QCOMPARE(db->writeStatementCount(), quint64(writes + (writes > 0 ? 1 : 0)));
        QCOMPARE(answerer.count(), 0);
    }

    void start()
    {
        QVERIFY(m_dir.isValid());
        finish();
        m_db = m_dir.filePath("Product.mdb");
        build(kFixture);
        HDbFind::setDbFileAndPwd("Product.mdb", "pw");
    }

    void finish()
    {
        HDbFind::closeDb();
        cleanAppFolders();
    }

    QTemporaryDir m_dir;
    QString m_db;
};

} // namespace MatchingFixture
