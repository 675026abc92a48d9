#include "hdatabase.h"
#include "hdbfind.h"
#include "heditallruletablewidget.h"
#include "hfindbar.h"
#include "hrulewidget.h"
#include "hsaveround.h"
#include "htablewidget.h"
#include "mainwindow.h"
#include "testhelpers.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSqlTableModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace TestHelpers;

namespace {

// Two outdoor series, the second without rules, one indoor series, and a few rule names.
const QStringList kFixture = {
    "insert into __product_series (ID, id_series, product_type, category, sub_catalog, "
    "rule_pipe_dimmension, rule_centralized_control, rule_limit, rule_add_refri_charge, "
    "rule_connect_ratio) values "
    "(1, 101, 0, 'VRF', 'Heat pump', 'PD-Standard', 'CC-Basic', 'LIM-165m', 'AC-R410A', 'CR-130'), "
    "(2, 102, 1, 'IDU', 'Duct', 'x', 'x', 'x', 'x', 'x'), "
    "(3, 103, 0, 'Mini VRF', 'Heat recovery', NULL, NULL, NULL, NULL, NULL)",
    "insert into __rule_limit (ID, rule_name, max_pipe_length_m) values "
    "(1, 'LIM-165m', 165), (2, 'LIM-120m', 120), (3, 'O''Brien 5''', 90)",
    "insert into __rule_pipe_dimension (rule_name) values ('PD-Standard'), ('PD-Large')",
    "insert into __rule_centralized_control (rule_name) values ('CC-Basic')",
    "insert into __rule_additional_charge (ID, rule_name, liquid_pipe_mm) values "
    "(1, 'AC-R410A', 6.35), (2, 'AC-R32', 9.52)",
    "insert into __rule_connect_ratio (rule_name) values ('CR-130'), ('CR-150')",
};

// NULL shows as "-", so that a NULL written back as '' is seen.
const QString kSeriesRules = QStringLiteral(
    "select coalesce(rule_pipe_dimmension, '-'), coalesce(rule_centralized_control, '-'), "
    "coalesce(rule_limit, '-'), coalesce(rule_add_refri_charge, '-'), "
    "coalesce(rule_connect_ratio, '-') from __product_series where product_type = 0 order by ID");
const QString kHeaders =
    QStringLiteral("sub_catalog|category|rule_pipe_dimmension|"
                   "rule_centralized_control|rule_limit|rule_add_refri_charge|rule_connect_ratio");
const QString kLimitRows =
    QStringLiteral("select ID, rule_name, max_pipe_length_m from __rule_limit order by ID");

template <typename T> T *child(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

bool shown(QWidget *widget, int width = 1200, int height = 400)
{
    widget->resize(width, height);
    widget->show();
    return QTest::qWaitForWindowExposed(widget);
}

QPushButton *button(QWidget *parent, QDialogButtonBox::StandardButton which)
{
    auto *box = child<QDialogButtonBox>(parent, "buttonBox");
    return box ? box->button(which) : nullptr;
}

void press(QPushButton *button)
{
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

void press(QWidget *parent, const char *name)
{
    press(child<QPushButton>(parent, name));
}

QTableWidget *ruleTable(QWidget *tab)
{
    return child<QTableWidget>(tab, "tableWidget");
}

// The header labels, then each row, as cell texts joined by "|".
QStringList tableRows(QTableWidget *table)
{
    QStringList rows;
    for (int row = -1; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int col = 0; col < table->columnCount(); ++col)
            cells.append(row < 0 ? table->horizontalHeaderItem(col)->text()
                                 : table->item(row, col)->text());
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}

QListView *pickerList(QWidget *picker)
{
    return child<QListView>(picker, "listView");
}

QSqlTableModel *tableModel(QWidget *editor)
{
    // The view may show the table model through a sorting proxy.
    QAbstractItemModel *model = child<QTableView>(editor, "tableView")->model();
    if (auto *proxy = qobject_cast<QSortFilterProxyModel *>(model))
        model = proxy->sourceModel();
    return qobject_cast<QSqlTableModel *>(model);
}

bool setCell(QSqlTableModel *model, int row, const char *column, const QVariant &value)
{
    return model->setData(model->index(row, model->fieldIndex(QLatin1String(column))), value);
}

// A picker script, one step a word: "ok", "cancel", "empty", "space" (a click below the
// last name), "click:NAME", "double:NAME", "find:TEXT".
void runPicker(QWidget *picker, const QStringList &steps)
{
    QListView *list = pickerList(picker);
    for (const QString &step : steps) {
        const QString arg = step.section(QLatin1Char(':'), 1);
        const int row = rowTexts(list).indexOf(arg);
        if (step == QLatin1String("ok") || step == QLatin1String("cancel"))
            press(button(picker, step == QLatin1String("ok") ? QDialogButtonBox::Ok
                                                             : QDialogButtonBox::Cancel));
        else if (step == QLatin1String("empty"))
            press(picker, "pushButton_del");
        else if (step == QLatin1String("space"))
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->viewport()->rect().bottomLeft() + QPoint(5, -5));
        else if (step.startsWith(QLatin1String("find:")))
            HFindBar::of(list)->setText(arg);
        else if (row >= 0)
            step.startsWith(QLatin1String("click:")) ? clickRow(list, row)
                                                     : doubleClickRow(list, row);
        else
            QFAIL(qPrintable(step));
    }
}

// Answers a picker: `name` clicked, then OK.
ModalAnswerer::Action choose(const QString &name)
{
    return [=](QWidget *picker) { runPicker(picker, {"click:" + name, "ok"}); };
}

// The editor of __rule_limit, in a window of its own or in the "All rule table" tab.
HTableWidget *openLimitEditor(bool embedded, QScopedPointer<QWidget> &top)
{
    if (embedded) {
        top.reset(new HEditAllRuleTableWidget);
        auto *combo = child<QComboBox>(top.data(), "comboBox");
        combo->setCurrentIndex(combo->findText(QStringLiteral("Limit")));
    } else {
        top.reset(new HTableWidget(QStringLiteral("__rule_limit")));
    }
    if (!shown(top.data(), 900, 600))
        return nullptr;
    auto *editor = qobject_cast<HTableWidget *>(top.data());
    return editor ? editor : top->findChild<HTableWidget *>();
}

// The user's edits of __rule_limit: a changed cell (ID 1), a removed row (ID 2), a new row.
void editLimitRows(HTableWidget *editor)
{
    QSqlTableModel *model = tableModel(editor);
    QVERIFY(setCell(model, 0, "max_pipe_length_m", 170));
    clickRow(child<QTableView>(editor, "tableView"), 1, 1);
    press(editor, "pushButton_del");
    press(editor, "pushButton_add");
    QVERIFY(setCell(model, 3, "rule_name", "LIM-X"));
    QVERIFY(setCell(model, 3, "max_pipe_length_m", 80));
}

// The history rows, oldest first; NULL shows as "-".
const QString kAudit = QStringLiteral(
    "select row_key, column_name, coalesce(old_value, '-'), coalesce(new_value, '-') from "
    "maintainer_audit order by ID");

// HAuditEntry rows as kAudit shows them.
QStringList auditRows(const QVector<HAuditEntry> &entries)
{
    QStringList rows;
    for (const HAuditEntry &e : entries)
        rows.append(
            QStringList({e.rowKey, e.column, e.oldValue.isNull() ? "-" : e.oldValue.toString(),
                         e.newValue.isNull() ? "-" : e.newValue.toString()})
                .join(QLatin1Char('|')));
    return rows;
}

} // namespace

// The rule tab, its picker, and the rule table editors in a window of their own or in the
// "All rule table" tab: what they save, what they refuse, and how they guard unsaved work.
class TestRules : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ruleTab();
    void pickerChoices_data();
    void pickerChoices();
    void pickerEditsItsRuleTable();
    void largeTablesAreEditedWhole();
    void otherUsers_data();
    void otherUsers();
    void statementsOfOneEdit();
    void tableEditorRefusesBadRows_data();
    void tableEditorRefusesBadRows();
    void numberCellsTakeNumbers_data();
    void numberCellsTakeNumbers();
    void deletingAUsedRuleAsks_data();
    void deletingAUsedRuleAsks();
    void tableEditorSortsAndFinds();
    void allRuleTableAsksBeforeSwitching_data();
    void allRuleTableAsksBeforeSwitching();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestRules::init()
{
    QVERIFY(m_dir.isValid());
    cleanAppFolders();
    m_db = m_dir.filePath(QStringLiteral("Product.mdb"));
    QString error;
    QVERIFY2(createProductDb(m_db, kFixture, &error), qPrintable(error));
    useProductDb(m_db);
}

void TestRules::cleanup()
{
    HDbFind::closeDb();
    cleanAppFolders();
}

// The tab lists the outdoor series (a NULL as an empty cell) and opens, from each rule column,
// the picker on that column's rule table; it knows what is unsaved, writes only the cells
// changed (NULLs beside them stay NULL), puts a pick on the series shown in a sorted row, and
// filters its rows on Ctrl+F.
void TestRules::ruleTab()
{
    HRuleWidget widget;
    QVERIFY(shown(&widget));
    QTableWidget *table = ruleTable(&widget);
    ModalAnswerer answerer;
    QSignalSpy modified(&widget, &HEditorPage::modifiedChanged);
    QCOMPARE(tableRows(table),
             QStringList({kHeaders, "Heat pump|VRF|PD-Standard|CC-Basic|LIM-165m|AC-R410A|CR-130",
                          "Heat recovery|Mini VRF|||||"}));
    QCOMPARE(widget.statusText(), QStringLiteral("2 outdoor series, 1 with a rule"));
    doubleClickRow(table, 0, 0);
    doubleClickRow(table, 1, 1);
    QCOMPARE(answerer.count(), 0);
    const char *tables[] = {"pipe_dimension", "centralized_control", "limit", "additional_charge",
                            "connect_ratio"};
    for (int col = 2; col < 7; ++col) {
        doubleClickRow(table, 0, col); // answered with reject()
        QCOMPARE(answerer.seen().last().title,
                 QString("Select rule name from table [__rule_%1]").arg(tables[col - 2]));
    }
    QCOMPARE(answerer.count(), 5);

    // Picking the stored name again leaves nothing unsaved.
    answerer.act(choose("LIM-120m"));
    doubleClickRow(table, 0, 4);
    answerer.act(choose("LIM-165m"));
    doubleClickRow(table, 0, 4);
    QCOMPARE(modified.size(), 2);
    QVERIFY(!widget.isModified());

    // Discarding shows what is stored again.
    answerer.act(choose("CR-150"));
    doubleClickRow(table, 1, 6);
    QVERIFY(widget.isModified());
    QCOMPARE(widget.statusText(), QStringLiteral("2 outdoor series, 2 with a rule"));
    widget.discardChanges();
    QVERIFY(!widget.isModified());
    QCOMPARE(table->item(1, 6)->text(), QString());

    // Sorted by the first column, descending: the pick goes to the series shown in the row.
    QTest::mouseClick(table->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(table->columnViewportPosition(0) + 5, 5));
    if (table->item(0, 0)->text() != QLatin1String("Heat recovery"))
        QTest::mouseClick(table->horizontalHeader()->viewport(), Qt::LeftButton, {},
                          QPoint(table->columnViewportPosition(0) + 5, 5));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Heat recovery"));
    answerer.act(choose("LIM-120m"));
    doubleClickRow(table, 0, 4);
    widget.save();
    QVERIFY(!widget.isModified());
    QCOMPARE(sqlRows(m_db, kSeriesRules),
             QStringList({"PD-Standard|CC-Basic|LIM-165m|AC-R410A|CR-130", "-|-|LIM-120m|-|-"}));
    QCOMPARE(sqlValue(m_db, "select rule_limit from __product_series where ID = 2").toString(),
             QStringLiteral("x")); // the indoor series is not touched

    // Ctrl+F reaches the filter box, which hides the rows without the text.
    widget.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&widget));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F, Qt::ControlModifier);
    HFindBar *find = HFindBar::of(table);
    QVERIFY(find && find->hasFocus());
    QTest::keyClicks(find, "mini");
    QCOMPARE(table->isRowHidden(0), false);
    QCOMPARE(table->isRowHidden(1), true);
}

// A pick keeps the series' rule unless the user chose another name, shown, and pressed OK;
// "Empty" writes an empty name. The picker lists its table's names and opens on the
// series' rule.
void TestRules::pickerChoices_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expected"); // stored afterwards; NULL as "-"
    QTest::newRow("OK untouched") << "LIM-165m" << QStringList{"ok"} << "LIM-165m";
    QTest::newRow("empty space, OK") << "LIM-165m" << QStringList{"space", "ok"} << "LIM-165m";
    QTest::newRow("another one") << "LIM-165m" << QStringList{"click:LIM-120m", "ok"} << "LIM-120m";
    QTest::newRow("chosen, then hidden by the filter")
        << "LIM-165m" << QStringList{"click:LIM-120m", "find:165", "ok"} << "LIM-165m";
    QTest::newRow("double-click, Cancel")
        << "LIM-165m" << QStringList{"double:LIM-120m", "cancel"} << "LIM-165m";
    QTest::newRow("double-click, OK: a name with quotes")
        << "LIM-165m" << QStringList{"double:O'Brien 5'", "ok"} << "O'Brien 5'";
    QTest::newRow("Empty clears") << "LIM-165m" << QStringList{"empty"} << "";
    QTest::newRow("a name no longer listed") << "LIM-gone" << QStringList{"ok"} << "LIM-gone";
}

void TestRules::pickerChoices()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, steps);
    QFETCH(QString, expected);
    QVERIFY(
        execSql(m_db, {"update __product_series set rule_limit = '" + stored + "' where ID = 1"}));
    HRuleWidget widget;
    QVERIFY(shown(&widget));
    ModalAnswerer answerer;
    QStringList listed, selectedAtOpen;
    answerer.act([&](QWidget *picker) {
        listed = rowTexts(pickerList(picker));
        for (const QModelIndex &index : pickerList(picker)->selectionModel()->selectedIndexes())
            selectedAtOpen.append(index.data().toString());
        runPicker(picker, steps);
    });
    doubleClickRow(ruleTable(&widget), 0, 4);
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(listed, QStringList({"LIM-165m", "LIM-120m", "O'Brien 5'"}));
    QCOMPARE(selectedAtOpen, stored == "LIM-gone" ? QStringList() : QStringList{stored});
    QCOMPARE(ruleTable(&widget)->item(0, 4)->text(), expected);
    QCOMPARE(widget.isModified(), expected != stored);
    widget.save();
    QVERIFY(!widget.isModified());
    QCOMPARE(sqlValue(m_db, "select coalesce(rule_limit, '-') from __product_series where ID = 1")
                 .toString(),
             expected);
}

// The picker's "Edit" opens its rule table in a window of its own, modal over the picker, each
// time anew: Cancel drops the window's edits, OK saves them and the picker then lists the new
// name. Every button of the picker, the window and the "All rule table" tab says what it does,
// and the window fits on the screen.
void TestRules::pickerEditsItsRuleTable()
{
    auto untold = [](QWidget *top) {
        QStringList names;
        for (QPushButton *b : top->findChildren<QPushButton *>()) {
            if (b->isVisible() && b->toolTip().isEmpty())
                names.append(b->objectName() + QLatin1Char('/') + b->text());
        }
        return names;
    };
    QScopedPointer<QWidget> tab;
    QVERIFY(openLimitEditor(true, tab));
    QCOMPARE(untold(tab.data()), QStringList());
    tab.reset();

    HRuleWidget widget;
    QVERIFY(shown(&widget));
    ModalAnswerer answerer;
    QPointer<QWidget> picker;
    QStringList untoldInPicker, untoldInEditor;
    QRect editorFrame;
    answerer.act([&](QWidget *w) {
        picker = w;
        untoldInPicker = untold(w);
        press(w, "pushButton_edit");
    });
    answerer.act([&](QWidget *editor) {
        untoldInEditor = untold(editor);
        editorFrame = editor->frameGeometry();
        setCell(tableModel(editor), 0, "max_pipe_length_m", 170);
        press(button(editor, QDialogButtonBox::Cancel));
        QTimer::singleShot(50, [&]() {
            QVERIFY(picker);
            press(picker, "pushButton_edit");
        });
    });
    answerer.act([&](QWidget *editor) {
        QCOMPARE(editor->parentWidget(), picker.data());
        QCOMPARE(editor->windowModality(), Qt::ApplicationModal);
        press(editor, "pushButton_add");
        QVERIFY(setCell(tableModel(editor), 3, "rule_name", "LIM-200m"));
        press(button(editor, QDialogButtonBox::Ok));
        // Once the window is gone the picker lists the new name: pick it.
        QTimer::singleShot(50, [&]() {
            QVERIFY(picker);
            choose("LIM-200m")(picker);
        });
    });
    doubleClickRow(ruleTable(&widget), 0, 4);
    QCOMPARE(answerer.count(), 3);
    QCOMPARE(answerer.seen().at(1).title, QStringLiteral("Edit table [__rule_limit]"));
    QCOMPARE(ruleTable(&widget)->item(0, 4)->text(), QStringLiteral("LIM-200m"));
    QVERIFY(!picker); // destroyed after the pick, its editor windows with it
    QCOMPARE(sqlRows(m_db, kLimitRows).join(' '),
             QStringLiteral("1|LIM-165m|165 2|LIM-120m|120 3|O'Brien 5'|90 4|LIM-200m|0"));
    QCOMPARE(untoldInPicker, QStringList());
    QCOMPARE(untoldInEditor, QStringList());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(screen.contains(editorFrame));
}

void TestRules::largeTablesAreEditedWhole()
{
    // More rows than a table model fetches at once, in a table without a primary key: rows
    // are found by their first column (the others may be NULL), a new row goes after all of
    // them, and an empty one is refused by name.
    QVERIFY(execSql(m_db, {"drop table __rule_unit_type",
                           "create table __rule_unit_type (ID integer, rule_name text not null, "
                           "note text)",
                           "with recursive n(i) as (select 1 union all select i + 1 from n "
                           "where i < 600) insert into __rule_unit_type (ID, rule_name) "
                           "select i, 'UT-' || i from n"}));
    HTableWidget editor(QStringLiteral("__rule_unit_type"));
    QVERIFY(shown(&editor));
    QSqlTableModel *model = tableModel(&editor);
    setCell(model, 550, "rule_name", "UT-551 changed");
    press(&editor, "pushButton_add");
    ModalAnswerer answerer;
    press(button(&editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.texts(),
             QStringList({"Row 601 is empty: fill it in or delete it. Nothing was saved."}));
    setCell(model, 600, "rule_name", "UT-new");
    press(button(&editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(
        sqlRows(m_db,
                "select coalesce(cast(ID as text), '-'), rule_name from __rule_unit_type where "
                "ID = 551 or ID is null"),
        QStringList({"551|UT-551 changed", "-|UT-new"}));
}

namespace {

enum Form { Tab, Window, Embedded }; // the rule tab, and the rule table editor's two forms

// This user's edits as kAudit shows them. The tab's: the limit of "Heat pump / VRF" (ID 1),
// the connect ratio of "Heat recovery / Mini VRF" (ID 3, stored NULL). The table editor's
// (editLimitRows): LIM-120m removed, max_pipe_length_m of LIM-165m 165 -> 170, LIM-X added.
const QStringList kTabEdits = {"Heat pump / VRF (ID 1)|rule_limit|LIM-165m|LIM-120m",
                               "Heat recovery / Mini VRF (ID 3)|rule_connect_ratio|-|CR-150"};
const QStringList kEditorEdits = {
    "LIM-120m|(row)|rule_name=LIM-120m, max_pipe_length_m=120, max_height_diff_m=0, "
    "max_first_branch_m=0|-",
    "LIM-165m|max_pipe_length_m|165|170", "LIM-X|(row)|-|rule_name=LIM-X, max_pipe_length_m=80"};

} // namespace

// A second user changes what the editor loaded, then this user saves; or the database refuses
// the save (every tab's OK under a refusing trigger, a locked and a read-only database is in
// tst_faults).
void TestRules::otherUsers_data()
{
    QTest::addColumn<int>("form");
    // Run by the other user after the editor loaded; "refuse updates": a trigger refuses them.
    QTest::addColumn<QString>("other");
    QTest::addColumn<int>("answer");       // to the question; 0 when none may be asked
    QTest::addColumn<QString>("question"); // a line of it, or of the message
    // At the end: kSeriesRules of the tab; rule_name|max_pipe_length_m|max_height_diff_m of
    // __rule_limit by ID (a server's row keys are not given back by a rolled-back insert).
    // Empty: nothing written, every edit kept.
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("audit"); // kAudit at the end
    const int reload = HEditorPage::kReload, overwrite = HEditorPage::kOverwrite,
              cancel = QMessageBox::Cancel;

    const QString limit = "update __product_series set rule_limit = 'LIM-X' where ID = 1";
    const QString gone = "delete from __product_series where ID = 1";
    const QString limitLine = "Heat pump / VRF \u2014 rule_limit: now 'LIM-X', was 'LIM-165m'";
    const QString ours3 = kTabEdits.at(1);
    QTest::newRow("tab: another rule of the series: both land")
        << int(Tab) << "update __product_series set rule_pipe_dimmension = 'PD-Large' where ID = 1"
        << 0 << "" << QStringList{"PD-Large|CC-Basic|LIM-120m|AC-R410A|CR-130", "-|-|-|-|CR-150"}
        << kTabEdits;
    QTest::newRow("tab: same rule, Cancel")
        << int(Tab) << limit << cancel << limitLine << QStringList() << QStringList();
    QTest::newRow("tab: same rule, Overwrite")
        << int(Tab) << limit << overwrite << limitLine
        << QStringList{"PD-Standard|CC-Basic|LIM-120m|AC-R410A|CR-130", "-|-|-|-|CR-150"}
        << QStringList{"Heat pump / VRF (ID 1)|rule_limit|LIM-X|LIM-120m", ours3};
    QTest::newRow("tab: same rule, Reload keeps the other edit")
        << int(Tab) << limit << reload << limitLine
        << QStringList{"PD-Standard|CC-Basic|LIM-X|AC-R410A|CR-130", "-|-|-|-|CR-150"}
        << QStringList{ours3};
    QTest::newRow("tab: a NULL set meanwhile, Cancel")
        << int(Tab) << "update __product_series set rule_connect_ratio = 'CR-130' where ID = 3"
        << cancel << "Heat recovery / Mini VRF \u2014 rule_connect_ratio: now 'CR-130', was NULL"
        << QStringList() << QStringList();
    QTest::newRow("tab: series removed, Reload")
        << int(Tab) << gone << reload
        << "Heat pump / VRF \u2014 rule_limit: removed by another user"
        << QStringList{"-|-|-|-|CR-150"} << QStringList{ours3};
    // Nowhere to write the edit: an error, and nothing written.
    QTest::newRow("tab: series removed, Overwrite")
        << int(Tab) << gone << overwrite << "removed by another user" << QStringList()
        << QStringList();

    const QString removed = kEditorEdits.at(0), updated = kEditorEdits.at(1),
                  added = kEditorEdits.at(2);
    const QString brien = "O'Brien 5'|90|0";
    const QString cell = "update __rule_limit set max_pipe_length_m = 150 where ID = 1";
    const QString cellLine = "Limit \u2014 LIM-165m: max_pipe_length_m now '150', was '165'";
    for (int form : {Window, Embedded}) {
        const char *name = form == Embedded ? "embedded" : "window";
        QTest::addRow("%s: another column of the row: both land", name)
            << form << "update __rule_limit set max_height_diff_m = 50 where ID = 1" << 0 << ""
            << QStringList{"LIM-165m|170|50", brien, "LIM-X|80|0"} << kEditorEdits;
        QTest::addRow("%s: same cell, Cancel", name)
            << form << cell << cancel << cellLine << QStringList() << QStringList();
        QTest::addRow("%s: same cell, Overwrite", name)
            << form << cell << overwrite << cellLine
            << QStringList{"LIM-165m|170|0", brien, "LIM-X|80|0"}
            << QStringList{removed, "LIM-165m|max_pipe_length_m|150|170", added};
        QTest::addRow("%s: same cell, Reload", name)
            << form << cell << reload << cellLine
            << QStringList{"LIM-165m|150|0", brien, "LIM-X|80|0"} << QStringList{removed, added};
        QTest::addRow("%s: removed row changed, Reload", name)
            << form << "update __rule_limit set max_pipe_length_m = 100 where ID = 2" << reload
            << "Limit \u2014 LIM-120m: changed by another user, not deleted "
               "(max_pipe_length_m now '100', was '120')"
            << QStringList{"LIM-165m|170|0", "LIM-120m|100|0", brien, "LIM-X|80|0"}
            << QStringList{updated, added};
        QTest::addRow("%s: removed row already gone", name)
            << form << "delete from __rule_limit where ID = 2" << 0 << ""
            << QStringList{"LIM-165m|170|0", brien, "LIM-X|80|0"} << QStringList{updated, added};
        QTest::addRow("%s: edited row removed, Reload", name)
            << form << "delete from __rule_limit where ID = 1" << reload
            << "Limit \u2014 LIM-165m: removed by another user" << QStringList{brien, "LIM-X|80|0"}
            << QStringList{removed, added};
        QTest::addRow("%s: new name added meanwhile, Overwrite", name)
            << form
            << "insert into __rule_limit (ID, rule_name, max_pipe_length_m) values (9, 'LIM-X', 60)"
            << overwrite << "Limit \u2014 LIM-X: added by another user meanwhile"
            << QStringList{"LIM-165m|170|0", brien, "LIM-X|80|0"}
            << QStringList{removed, updated,
                           "LIM-X|(row)|rule_name=LIM-X, max_pipe_length_m=60, "
                           "max_height_diff_m=0, max_first_branch_m=0|rule_name=LIM-X, "
                           "max_pipe_length_m=80"};
        // Nothing is written although only the update is refused.
        QTest::addRow("%s: updates refused by the database", name)
            << form << "refuse updates" << 0
            << (form == Window ? "数据库错误:frozen for the test" : "frozen for the test")
            << QStringList() << QStringList();
    }
}

void TestRules::otherUsers()
{
    QFETCH(int, form);
    QFETCH(QString, other);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, audit);
    QScopedPointer<QWidget> top;
    HRuleWidget *tab = nullptr;
    HTableWidget *editor = nullptr;
    ModalAnswerer answerer;
    if (form == Tab) {
        top.reset(tab = new HRuleWidget);
        QVERIFY(shown(tab));
        answerer.act(choose("LIM-120m"));
        doubleClickRow(ruleTable(tab), 0, 4);
        answerer.act(choose("CR-150"));
        doubleClickRow(ruleTable(tab), 1, 6);
    } else {
        QVERIFY(editor = openLimitEditor(form == Embedded, top));
        editLimitRows(editor);
    }
    auto pending = [&] { return auditRows(tab ? tab->pendingEdits() : editor->pendingEdits()); };
    auto modified = [&] { return tab ? tab->isModified() : editor->isModified(); };
    auto save = [&] { tab ? tab->save() : press(button(editor, QDialogButtonBox::Ok)); };
    // What the Changes view lists is what the history gets when nobody is in the way.
    QCOMPARE(pending(), tab ? kTabEdits : kEditorEdits);
    QVERIFY(execSql(m_db, other == "refuse updates"
                              ? refusingTriggers("__rule_limit", {"update"}, "frozen for the test")
                              : QStringList{other}));
    const QByteArray before = databaseState(m_db);
    answerer.clear();
    if (answer)
        answerer.answer(QMessageBox::StandardButton(answer));
    save();
    const QString first = answerer.texts().value(0);
    QCOMPARE(answerer.count() > 0 &&
                 answerer.seen().first().title == QLatin1String("Changed by another user"),
             answer != 0);
    QVERIFY2(first.contains(question), qPrintable(first));
    if (stored.isEmpty()) { // Cancel, an Overwrite that could not be done, a refusal: all kept
        QCOMPARE(answerer.count(), answer == HEditorPage::kOverwrite ? 2 : 1);
        if (answer == HEditorPage::kOverwrite)
            QVERIFY2(
                answerer.texts().last().contains("(ID 1) is no longer in the product database"),
                qPrintable(answerer.texts().last()));
        QCOMPARE(databaseState(m_db), before);
        QVERIFY(top->isVisible() && modified());
        QCOMPARE(pending(), tab ? kTabEdits : kEditorEdits);
        return;
    }
    if (answer == HEditorPage::kReload) {
        // What the other user stored shows; the edits they were not in the way of stay.
        QCOMPARE(databaseState(m_db), before);
        QVERIFY(top->isVisible() && modified());
        QCOMPARE(pending(), audit);
        answerer.clear();
        save();
        QCOMPARE(answerer.texts(), QStringList());
    }
    QCOMPARE(top->isVisible(), form != Window);
    QVERIFY(!modified());
    QCOMPARE(sqlRows(m_db, tab ? kSeriesRules
                               : "select rule_name, max_pipe_length_m, max_height_diff_m from "
                                 "__rule_limit order by ID"),
             stored);
    QCOMPARE(sqlRows(m_db, kAudit), audit);
    QStringList where; // the table and series of each history row
    for (const QString &row : audit)
        where << (tab ? "__product_series|" + row.section(" (ID", 0, 0) : "__rule_limit|Limit");
    QCOMPARE(sqlRows(m_db, "select table_name, series from maintainer_audit order by ID"), where);
}

// The check for other users costs no statement where nobody was in the way, and one read
// where someone was; the history adds one insert per save.
void TestRules::statementsOfOneEdit()
{
    HDatabase *db = HDbFind::getDb();
    HRuleWidget widget;
    QVERIFY(shown(&widget));
    ModalAnswerer answerer;
    auto edit = [&](const QString &name) {
        answerer.act(choose(name));
        doubleClickRow(ruleTable(&widget), 0, 4);
        db->resetStatementCounts();
    };
    db->resetStatementCounts();
    widget.save();
    QCOMPARE(db->statementCount(), quint64(0)); // no edit, no statement
    edit("LIM-120m");
    widget.save(); // the first save makes the history table
    edit("LIM-165m");
    widget.save();
    QCOMPARE(db->writeStatementCount(), quint64(2)); // the update, the history
    QCOMPARE(db->statementCount(), quint64(2));
    edit("LIM-120m");
    QVERIFY(execSql(m_db, {"update __product_series set rule_limit = 'LIM-X' where ID = 1"}));
    answerer.answer(QMessageBox::Cancel);
    widget.save();
    QCOMPARE(db->statementCount(), quint64(2)); // the update that found nothing, one read

    HTableWidget editor(QStringLiteral("__rule_limit"));
    QVERIFY(shown(&editor));
    QSqlTableModel *model = tableModel(&editor);
    QVERIFY(setCell(model, 0, "max_pipe_length_m", 170));
    db->resetStatementCounts();
    press(button(&editor, QDialogButtonBox::Ok));
    // The update and the history; the rows read again afterwards are reads.
    QCOMPARE(db->writeStatementCount(), quint64(2));
    QCOMPARE(sqlValue(m_db, "select count(*) from maintainer_audit").toInt(), 3);
}

void TestRules::tableEditorRefusesBadRows_data()
{
    // Edits are "ROW:column=value" on the limit table (ROW "+" adds a row first, "+" alone
    // adds an empty one); "db:" runs a statement before the editor opens.
    QTest::addColumn<bool>("embedded");
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QString>("refusal"); // part of the message; empty when the save works
    QTest::addColumn<QStringList>("stored");
    const QStringList before = {"1|LIM-165m|165", "2|LIM-120m|120", "3|O'Brien 5'|90"};
    for (bool embedded : {false, true}) {
        const char *form = embedded ? "embedded" : "window";
        QTest::addRow("%s: new row with a used name", form)
            << embedded << QStringList{"+:rule_name=LIM-120m"} << "\"LIM-120m\"" << before;
        QTest::addRow("%s: renamed to a used name", form)
            << embedded << QStringList{"0:rule_name=LIM-120m"} << "\"LIM-120m\"" << before;
        QTest::addRow("%s: empty new row", form)
            << embedded << QStringList{"+"} << "empty" << before;
        QTest::addRow("%s: blank new row", form)
            << embedded << QStringList{"+:rule_name=  "} << "empty" << before;
        QTest::addRow("%s: two names swapped", form)
            << embedded << QStringList{"0:rule_name=LIM-120m", "1:rule_name=LIM-165m"} << ""
            << QStringList{"1|LIM-120m|165", "2|LIM-165m|120", "3|O'Brien 5'|90"};
        QTest::addRow("%s: stored twins do not block other edits", form)
            << embedded
            << QStringList{"db:insert into __rule_limit values (4, 'LIM-120m', 60, 0, 0)",
                           "0:max_pipe_length_m=170"}
            << ""
            << QStringList{"1|LIM-165m|170", "2|LIM-120m|120", "3|O'Brien 5'|90", "4|LIM-120m|60"};
    }
}

void TestRules::tableEditorRefusesBadRows()
{
    QFETCH(bool, embedded);
    QFETCH(QStringList, edits);
    QFETCH(QString, refusal);
    QFETCH(QStringList, stored);
    for (const QString &edit : edits) {
        if (edit.startsWith(QLatin1String("db:")))
            QVERIFY(execSql(m_db, {edit.mid(3)}));
    }
    QScopedPointer<QWidget> top;
    HTableWidget *editor = openLimitEditor(embedded, top);
    QVERIFY(editor);
    QSqlTableModel *model = tableModel(editor);
    for (const QString &edit : edits) {
        if (edit.startsWith(QLatin1String("db:")))
            continue;
        int row = edit.section(QLatin1Char(':'), 0, 0).toInt();
        if (edit.startsWith(QLatin1Char('+'))) {
            press(editor, "pushButton_add");
            row = model->rowCount() - 1;
        }
        const QString assignment = edit.section(QLatin1Char(':'), 1);
        if (!assignment.isEmpty())
            QVERIFY(setCell(model, row, qPrintable(assignment.section('=', 0, 0)),
                            assignment.section('=', 1)));
    }
    ModalAnswerer answerer;
    press(button(editor, QDialogButtonBox::Ok));
    QCOMPARE(sqlRows(m_db, kLimitRows), stored);
    if (refusal.isEmpty()) {
        QCOMPARE(answerer.texts(), QStringList());
        QVERIFY(!model->isDirty());
        return;
    }
    // Refused before anything is written, saying why; the edits stay for another try.
    QCOMPARE(answerer.count(), 1);
    const QString text = answerer.texts().constFirst();
    QVERIFY2(text.contains(refusal) && !text.contains(QStringLiteral("数据库错误")),
             qPrintable(text));
    QVERIFY(editor->isVisible());
    QVERIFY(model->isDirty());
}

// Cells of number columns take numbers only, typed or pasted; a cell of a name takes any
// text but control characters other than tab and line breaks, which are refused with a message.
void TestRules::numberCellsTakeNumbers_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pasted");  // set as a whole, past the keyboard filter
    QTest::addColumn<bool>("refused"); // with a message
    QTest::addColumn<QString>("stored");
    const QString limit = "__rule_limit", charge = "__rule_additional_charge";
    const QString length = "max_pipe_length_m", pipe = "liquid_pipe_mm", name = "rule_name";
    QTest::newRow("letters among digits") << limit << length << "12a3" << false << false << "123";
    QTest::newRow("negative") << limit << length << "-4" << false << false << "-4";
    QTest::newRow("pasted letters") << limit << length << "abc" << true << false << "165";
    QTest::newRow("cleared, NOT NULL") << limit << length << "" << false << false << "165";
    QTest::newRow("second point") << charge << pipe << "9.5.2x" << false << false << "9.52";
    QTest::newRow("decimal comma") << charge << pipe << "7,5" << false << false << "7.5";
    QTest::newRow("text column") << limit << name << "abc1" << false << false << "abc1";
    QTest::newRow("NUL in a name")
        << limit << name << QString("LIM") + QChar(0) + "1" << true << true << "LIM-165m";
    QTest::newRow("control character") << limit << name << "LIM\x01" << true << true << "LIM-165m";
    QTest::newRow("tab and line break")
        << limit << name << "L\t1\nnew" << true << false << "L\t1\nnew";
}

void TestRules::numberCellsTakeNumbers()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(QString, typed);
    QFETCH(bool, pasted);
    QFETCH(bool, refused);
    QFETCH(QString, stored);
    HTableWidget editor(table);
    QVERIFY(shown(&editor));
    auto *view = child<QTableView>(&editor, "tableView");
    const QModelIndex cell = view->model()->index(0, tableModel(&editor)->fieldIndex(column));
    ModalAnswerer answerer;
    view->edit(cell);
    auto *line = qobject_cast<QLineEdit *>(view->indexWidget(cell));
    QVERIFY(line);
    line->selectAll();
    if (pasted)
        line->setText(typed);
    else if (typed.isEmpty())
        QTest::keyClick(line, Qt::Key_Delete);
    else
        QTest::keyClicks(line, typed);
    QTest::keyClick(line, Qt::Key_Return);
    if (!pasted) // a text that is not a number keeps the editor open; OK takes the focus
        QTRY_VERIFY(!view->indexWidget(cell));
    if (refused)
        QTRY_COMPARE(answerer.count(), 1);
    press(button(&editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), refused ? 1 : 0);
    QCOMPARE(sqlValue(m_db, QStringLiteral("select %1 from %2 where ID = 1").arg(column, table))
                 .toString(),
             stored);
}

void TestRules::deletingAUsedRuleAsks_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question"); // part of it; empty when none is asked
    QTest::addColumn<bool>("deleted");
    const QString limit = QStringLiteral("__rule_limit");
    QTest::newRow("used twice, kept")
        << limit << "LIM-165m" << int(QMessageBox::No) << "2 outdoor series" << false;
    QTest::newRow("used twice, deleted")
        << limit << "LIM-165m" << int(QMessageBox::Yes) << "2 outdoor series" << true;
    QTest::newRow("used by an indoor series only")
        << limit << "LIM-120m" << int(QMessageBox::No) << "" << true;
    // Found by every value loaded, decimals included.
    QTest::newRow("row with decimals") << "__rule_additional_charge"
                                       << "AC-R32" << int(QMessageBox::No) << "" << true;
    QTest::newRow("other table") << "__rule_pipe_dimension"
                                 << "PD-Standard" << int(QMessageBox::No) << "1 outdoor series"
                                 << false;
}

void TestRules::deletingAUsedRuleAsks()
{
    QFETCH(QString, table);
    QFETCH(QString, name);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(bool, deleted);
    QVERIFY(execSql(m_db, {"update __product_series set rule_limit = 'LIM-165m' where ID = 3",
                           "update __product_series set rule_limit = 'LIM-120m' where ID = 2"}));
    HTableWidget editor(table);
    QVERIFY(shown(&editor));
    auto *view = child<QTableView>(&editor, "tableView");
    clickRow(view, rowTexts(view, 1).indexOf(name), 1);
    ModalAnswerer answerer;
    answerer.answer(QMessageBox::StandardButton(answer));
    press(&editor, "pushButton_del");
    QCOMPARE(answerer.count(), question.isEmpty() ? 0 : 1);
    if (!question.isEmpty())
        QVERIFY2(answerer.texts().constFirst().contains(question) &&
                     answerer.texts().constFirst().contains(name),
                 qPrintable(answerer.texts().constFirst()));
    press(button(&editor, QDialogButtonBox::Ok));
    QCOMPARE(
        sqlValue(m_db,
                 QStringLiteral("select count(*) from %1 where rule_name = '%2'").arg(table, name))
            .toInt(),
        deleted ? 0 : 1);
}

void TestRules::tableEditorSortsAndFinds()
{
    HTableWidget editor(QStringLiteral("__rule_limit"));
    QVERIFY(shown(&editor));
    auto *view = child<QTableView>(&editor, "tableView");
    QSqlTableModel *model = tableModel(&editor);
    QVERIFY(view->isColumnHidden(0)); // the row key, set by the database
    // "Delete Row" without a chosen row (none current, or one the view made current on its
    // own) changes nothing.
    view->selectionModel()->clear();
    press(&editor, "pushButton_del");
    view->selectionModel()->setCurrentIndex(model->index(0, 1), QItemSelectionModel::NoUpdate);
    press(&editor, "pushButton_del");
    QVERIFY(!model->isDirty());
    setCell(model, 0, "max_pipe_length_m", 170); // pending while the rows move

    // Sorted by name: the edits go to the rows the user sees, and pending ones stay put.
    view->horizontalHeader()->setSortIndicator(1, Qt::AscendingOrder);
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(view->columnViewportPosition(1) + 5, 5));
    QCOMPARE(rowTexts(view, 1), QStringList({"O'Brien 5'", "LIM-165m", "LIM-120m"}));
    QVERIFY(view->model()->setData(view->model()->index(2, 2), 99));
    QVERIFY(model->isDirty());

    // The filter hides rows; Delete Row takes the chosen row that is shown.
    QTest::keyClicks(HFindBar::of(view), "brien");
    QTRY_VERIFY(view->isRowHidden(1) && view->isRowHidden(2) && !view->isRowHidden(0));
    clickRow(view, 0, 1);
    press(&editor, "pushButton_del");
    press(button(&editor, QDialogButtonBox::Ok));
    QCOMPARE(sqlRows(m_db, kLimitRows), QStringList({"1|LIM-165m|170", "2|LIM-120m|99"}));
}

void TestRules::allRuleTableAsksBeforeSwitching_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("shown"); // the table chosen afterwards
    QTest::addColumn<QString>("stored");
    QTest::newRow("Save") << int(QMessageBox::Save) << "PipeDimension"
                          << "170";
    QTest::newRow("Discard") << int(QMessageBox::Discard) << "PipeDimension"
                             << "165";
    QTest::newRow("Cancel") << int(QMessageBox::Cancel) << "Limit"
                            << "165";
}

void TestRules::allRuleTableAsksBeforeSwitching()
{
    QFETCH(int, answer);
    QFETCH(QString, shown);
    QFETCH(QString, stored);
    QScopedPointer<QWidget> top;
    HTableWidget *editor = openLimitEditor(true, top);
    auto *page = qobject_cast<HEditAllRuleTableWidget *>(top.data());
    auto *combo = child<QComboBox>(page, "comboBox");
    QCOMPARE(page->statusText(), QStringLiteral("Limit: 3 rows"));
    QVERIFY(!page->isModified());
    setCell(tableModel(editor), 0, "max_pipe_length_m", 170);
    QVERIFY(page->isModified());

    ModalAnswerer answerer;
    answerer.answer(QMessageBox::StandardButton(answer));
    combo->setCurrentIndex(combo->findText("PipeDimension"));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(combo->currentText(), shown);
    QCOMPARE(page->isModified(), answer == QMessageBox::Cancel);
    QCOMPARE(sqlValue(m_db, "select max_pipe_length_m from __rule_limit where ID = 1").toString(),
             stored);
    QCOMPARE(editor->tableName(), shown == QLatin1String("Limit")
                                      ? QStringLiteral("__rule_limit")
                                      : QStringLiteral("__rule_pipe_dimension"));
    QCOMPARE(rowTexts(child<QTableView>(editor, "tableView"), 1).size(),
             shown == QLatin1String("Limit") ? 3 : 2);
    QCOMPARE(editor->findChildren<QSqlTableModel *>().size(), 1);

    // The main window's OK saves the pending rows through the tab.
    setCell(tableModel(editor), 1, "rule_name", "renamed");
    HSaveRound round;
    page->save();
    QCOMPARE(round.entries().size(), 1);
    QVERIFY(round.entries().constFirst().outcome.ok);
    QCOMPARE(round.entries().constFirst().outcome.rowsChanged,
             answer == QMessageBox::Cancel ? 2 : 1);
    QVERIFY(!page->isModified());
    QCOMPARE(sqlValue(m_db, "select count(*) from " + editor->tableName() +
                                " where rule_name = 'renamed'"),
             QVariant(1));
}

QTEST_MAIN(TestRules)
#include "tst_rules.moc"
