#include "testhelpers.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "heditallruletablewidget.h"
#include "hrulewidget.h"
#include "htablewidget.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QListView>
#include <QPushButton>
#include <QSqlTableModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace TestHelpers;

namespace {

// Two outdoor series, the second without rules, one indoor series, a few rule names, and a
// trigger that refuses one of them.
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
    "create trigger refuse_cr150 before update on __product_series when "
    "new.rule_connect_ratio = 'CR-150' begin select raise(abort, 'CR-150 is retired'); end",
};

const QString kSeriesRules = QStringLiteral(
    "select rule_pipe_dimmension, rule_centralized_control, rule_limit, rule_add_refri_charge, "
    "rule_connect_ratio from __product_series where product_type = 0 order by ID");
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
    return qobject_cast<QSqlTableModel *>(child<QTableView>(editor, "tableView")->model());
}

bool setCell(QSqlTableModel *model, int row, const char *column, const QVariant &value)
{
    return model->setData(model->index(row, model->fieldIndex(QLatin1String(column))), value);
}

// Answers a picker: chooses `name` by a click (or a double-click), then presses `which`.
ModalAnswerer::Action choose(const QString &name, bool doubleClick = false,
                             QDialogButtonBox::StandardButton which = QDialogButtonBox::Ok)
{
    return [=](QWidget *picker) {
        QListView *list = pickerList(picker);
        const int row = rowTexts(list).indexOf(name);
        if (row >= 0)
            doubleClick ? doubleClickRow(list, row) : clickRow(list, row);
        press(button(picker, which));
        QVERIFY2(row >= 0, qPrintable(name));
    };
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

} // namespace

class TestRules : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ruleTabShowsOutdoorSeries();
    void pickerAnswersChangeCellAndSave();
    void noOutdoorSeries();
    void pickerListsNamesAddedInTheEditorWindow();
    void tableEditorInBothForms_data();
    void tableEditorInBothForms();
    void largeTablesAreEditedWhole();
    void mainWindowOkWritesAssignmentsOnly();

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

void TestRules::ruleTabShowsOutdoorSeries()
{
    HRuleWidget widget;
    QTableWidget *table = ruleTable(&widget);
    // Only outdoor series; stored NULLs show as empty cells.
    QCOMPARE(tableRows(table),
             QStringList({kHeaders, "Heat pump|VRF|PD-Standard|CC-Basic|LIM-165m|AC-R410A|CR-130",
                          "Heat recovery|Mini VRF|||||"}));
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);

    // Narrow, a column keeps its label's width; wide, each takes an eighth of the table.
    QVERIFY(shown(&widget, 600, 500));
    for (int i = 0; i < 7; ++i) {
        QVERIFY(table->columnWidth(i) >= table->width() / 8);
        QVERIFY(table->columnWidth(i) >= table->horizontalHeader()->sectionSizeHint(i));
    }
    widget.resize(2000, 500);
    QTRY_VERIFY(table->width() > 1950);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(table->columnWidth(i), table->width() / 8);

    // Columns 0 and 1 open nothing; each rule column opens the picker on its rule table.
    ModalAnswerer answerer;
    doubleClickRow(table, 0, 0);
    doubleClickRow(table, 1, 1);
    QCOMPARE(answerer.count(), 0);
    const QStringList tables = {"__rule_pipe_dimension", "__rule_centralized_control",
                                "__rule_limit", "__rule_additional_charge", "__rule_connect_ratio"};
    for (int col = 2; col < 7; ++col) {
        answerer.clear();
        doubleClickRow(table, 0, col); // answered with reject()
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.seen().first().title,
                 QStringLiteral("Select rule name from table [%1]").arg(tables.at(col - 2)));
    }
}

void TestRules::pickerAnswersChangeCellAndSave()
{
    HRuleWidget widget;
    QVERIFY(shown(&widget));
    QTableWidget *table = ruleTable(&widget);
    ModalAnswerer answerer;

    // Cancel, and a double-click followed by Cancel, change nothing.
    answerer.act([](QWidget *w) { press(button(w, QDialogButtonBox::Cancel)); });
    doubleClickRow(table, 0, 4);
    answerer.act(choose("LIM-120m", true, QDialogButtonBox::Cancel));
    doubleClickRow(table, 0, 4);
    QCOMPARE(answerer.count(), 2);
    QCOMPARE(table->item(0, 4)->text(), QStringLiteral("LIM-165m"));
    // NULL rules are saved as empty texts.
    widget.save();
    QCOMPARE(sqlRows(m_db, "select rule_pipe_dimmension is null, rule_centralized_control is "
                           "null, rule_limit is null, rule_add_refri_charge is null, "
                           "rule_connect_ratio is null from __product_series where ID = 3"),
             QStringList({"0|0|0|0|0"}));

    // A clicked item and OK; a double-clicked name with quotes and OK.
    answerer.act([](QWidget *w) {
        QCOMPARE(rowTexts(pickerList(w)), QStringList({"LIM-165m", "LIM-120m", "O'Brien 5'"}));
        choose("LIM-120m")(w);
    });
    doubleClickRow(table, 0, 4);
    answerer.act(choose("O'Brien 5'", true));
    doubleClickRow(table, 1, 4);

    // OK with no chosen item gives an empty name, even when the view made its first item
    // current on its own; "Empty" does the same.
    answerer.act([](QWidget *w) {
        QListView *list = pickerList(w);
        list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
        press(button(w, QDialogButtonBox::Ok));
    });
    doubleClickRow(table, 0, 6);
    answerer.act([](QWidget *w) { press(w, "pushButton_del"); });
    doubleClickRow(table, 0, 3);
    QCOMPARE(answerer.count(), 6);
    QCOMPARE(tableRows(table).mid(1), QStringList({"Heat pump|VRF|PD-Standard||LIM-120m|AC-R410A|",
                                                   "Heat recovery|Mini VRF|||O'Brien 5'||"}));

    widget.save();
    QCOMPARE(answerer.count(), 6); // no warning
    const QStringList saved = {"PD-Standard||LIM-120m|AC-R410A|", "||O'Brien 5'||"};
    QCOMPARE(sqlRows(m_db, kSeriesRules), saved);
    QCOMPARE(sqlValue(m_db, "select rule_limit from __product_series where ID = 2").toString(),
             QStringLiteral("x")); // the indoor series is not touched

    // The database refuses the second row's new value: the first row's is rolled back too.
    answerer.act(choose("PD-Large"));
    doubleClickRow(table, 0, 2);
    answerer.act(choose("CR-150"));
    doubleClickRow(table, 1, 6);
    answerer.clear();
    widget.save();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().title, QStringLiteral("Warning"));
    QVERIFY2(answerer.seen().first().text.contains(QStringLiteral("CR-150 is retired")),
             qPrintable(answerer.seen().first().text));
    QCOMPARE(sqlRows(m_db, kSeriesRules), saved);
    // No transaction was left open: once the value is acceptable another save goes through.
    QVERIFY(execSql(m_db, {"drop trigger refuse_cr150"}));
    widget.save();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(sqlRows(m_db, kSeriesRules),
             QStringList({"PD-Large||LIM-120m|AC-R410A|", "||O'Brien 5'||CR-150"}));
}

void TestRules::noOutdoorSeries()
{
    QVERIFY(execSql(m_db, {"delete from __product_series where product_type = 0"}));
    HRuleWidget widget;
    QCOMPARE(tableRows(ruleTable(&widget)), QStringList({kHeaders}));
    ModalAnswerer answerer;
    widget.save();
    QCOMPARE(answerer.count(), 0);
    // The empty transaction was committed, not left open on the shared connection.
    QVERIFY(HDbFind::getDb()->transaction());
    QVERIFY(HDbFind::getDb()->commit());
}

void TestRules::pickerListsNamesAddedInTheEditorWindow()
{
    HRuleWidget widget;
    QVERIFY(shown(&widget));
    ModalAnswerer answerer;
    QPointer<QWidget> picker;
    answerer.act([&](QWidget *w) {
        picker = w;
        press(w, "pushButton_edit");
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
    QCOMPARE(answerer.count(), 2);
    QCOMPARE(answerer.seen().at(1).title, QStringLiteral("Edit table [__rule_limit]"));
    QCOMPARE(ruleTable(&widget)->item(0, 4)->text(), QStringLiteral("LIM-200m"));
    QVERIFY(!picker); // destroyed after the pick, its editor windows with it
    QCOMPARE(sqlValue(m_db, "select count(*) from __rule_limit where rule_name = 'LIM-200m'"),
             QVariant(1));
}

void TestRules::tableEditorInBothForms_data()
{
    QTest::addColumn<bool>("embedded");
    QTest::newRow("window") << false;
    QTest::newRow("embedded") << true;
}

void TestRules::tableEditorInBothForms()
{
    QFETCH(bool, embedded);
    const QStringList stored = sqlRows(m_db, kLimitRows);
    QScopedPointer<QWidget> top;
    HTableWidget *editor = openLimitEditor(embedded, top);
    QVERIFY(editor);
    QTableView *view = child<QTableView>(editor, "tableView");
    QSqlTableModel *model = tableModel(editor);
    QVERIFY(view->isColumnHidden(0));
    QCOMPARE(button(editor, QDialogButtonBox::Cancel)->isVisible(), !embedded);
    if (embedded) {
        QCOMPARE(button(editor, QDialogButtonBox::Ok)->text(), QStringLiteral("Save To Database"));
    } else {
        QCOMPARE(editor->windowTitle(), QStringLiteral("Edit table [__rule_limit]"));
        const Qt::WindowFlags hints =
            Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint;
        QCOMPARE(editor->windowFlags() & (Qt::WindowType_Mask | hints), Qt::Tool | hints);
    }

    // "Delete Row" without a chosen row (none current, or one the view made current on its
    // own) changes nothing.
    view->selectionModel()->clear();
    press(editor, "pushButton_del");
    view->selectionModel()->setCurrentIndex(model->index(0, 1), QItemSelectionModel::NoUpdate);
    press(editor, "pushButton_del");
    QVERIFY(!model->isDirty());

    // An update, a delete and a new row without its NOT NULL name: pending until saved, then
    // refused. The model writes the update before the refusal; the rollback undoes it.
    setCell(model, 0, "max_pipe_length_m", 170);
    clickRow(view, 1, 1);
    press(editor, "pushButton_del");
    press(editor, "pushButton_add");
    QCOMPARE(view->currentIndex().row(), 3);
    setCell(model, 3, "max_pipe_length_m", 80);
    if (embedded)
        qobject_cast<HEditAllRuleTableWidget *>(top.data())->save(); // does nothing
    QCOMPARE(sqlRows(m_db, kLimitRows), stored);
    ModalAnswerer answerer;
    press(button(editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().title, QStringLiteral("tableModel"));
    QCOMPARE(answerer.seen().first().text,
             QStringLiteral("数据库错误:NOT NULL constraint failed: __rule_limit.rule_name "
                            "Unable to fetch row"));
    QCOMPARE(editor->isVisible(), embedded);
    QCOMPARE(sqlRows(m_db, kLimitRows), stored);

    // Every edit is still pending; once the new row has its name, one save writes them all
    // and the new row gets its key from the database.
    model = tableModel(editor);
    QCOMPARE(model->headerData(1, Qt::Vertical).toString(), QStringLiteral("!"));
    setCell(model, 3, "rule_name", "LIM-X");
    editor->show();
    answerer.clear();
    press(button(editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 0);
    QCOMPARE(editor->isVisible(), embedded);
    const QStringList saved = {"1|LIM-165m|170", "3|O'Brien 5'|90", "4|LIM-X|80"};
    QCOMPARE(sqlRows(m_db, kLimitRows), saved);

    if (embedded) {
        // The view shows the stored rows. Switching the table drops pending edits, and a
        // further save works; one table model lives at a time.
        QCOMPARE(rowTexts(view, 1), QStringList({"LIM-165m", "O'Brien 5'", "LIM-X"}));
        auto *combo = child<QComboBox>(top.data(), "comboBox");
        QStringList names;
        for (int i = 0; i < combo->count(); ++i)
            names.append(combo->itemText(i));
        QCOMPARE(names, QStringList({"AdditionalCharge", "Altitude", "CentralizedController",
                                     "ConnectRatio", "EquivalentPipeLength", "Limit",
                                     "PipeDimension", "UnitCapacityConversion", "UnitType"}));
        setCell(model, 0, "rule_name", "changed");
        press(editor, "pushButton_add");
        combo->setCurrentIndex(names.indexOf("PipeDimension"));
        QCOMPARE(editor->tableName(), QStringLiteral("__rule_pipe_dimension"));
        QCOMPARE(rowTexts(view, 1), QStringList({"PD-Standard", "PD-Large"}));
        combo->setCurrentIndex(names.indexOf("Limit"));
        QVERIFY(!tableModel(editor)->isDirty());
        setCell(tableModel(editor), 2, "rule_name", "LIM-Y");
        // A save that cannot begin its own transaction is refused and reported, not written
        // row by row outside one.
        QSqlDatabase shared = HDbFind::getDb()->getSqlDatabase();
        QVERIFY(shared.transaction());
        press(button(editor, QDialogButtonBox::Ok));
        QVERIFY(shared.rollback());
        QCOMPARE(answerer.count(), 1);
        QVERIFY(answerer.seen().first().text.startsWith(QStringLiteral("数据库错误:")));
        QCOMPARE(sqlRows(m_db, kLimitRows), saved);
        answerer.clear();
        press(button(editor, QDialogButtonBox::Ok));
        QCOMPARE(answerer.count(), 0);
        QCOMPARE(sqlRows(m_db, kLimitRows),
                 QStringList({"1|LIM-165m|170", "3|O'Brien 5'|90", "4|LIM-Y|80"}));
        QCOMPARE(editor->findChildren<QSqlTableModel *>().size(), 1);
    } else {
        // Add and delete, then Cancel: nothing is written.
        editor = openLimitEditor(false, top);
        model = tableModel(editor);
        press(editor, "pushButton_add");
        setCell(model, 3, "rule_name", "LIM-Y");
        clickRow(child<QTableView>(editor, "tableView"), 0, 1);
        press(editor, "pushButton_del");
        press(button(editor, QDialogButtonBox::Cancel));
        QVERIFY(!editor->isVisible());
        QCOMPARE(sqlRows(m_db, kLimitRows), saved);
    }
}

void TestRules::largeTablesAreEditedWhole()
{
    // More rows than a table model fetches at once: new rows go after all of them, and the
    // edits of a failed save are put back on the right rows.
    QVERIFY(execSql(m_db, {"with recursive n(i) as (select 1 union all select i + 1 from n "
                           "where i < 600) insert into __rule_unit_type (ID, rule_name) "
                           "select i, 'UT-' || i from n"}));
    HTableWidget editor(QStringLiteral("__rule_unit_type"));
    QVERIFY(shown(&editor));
    QSqlTableModel *model = tableModel(&editor);
    QCOMPARE(model->rowCount(), 600);
    setCell(model, 550, "rule_name", "UT-551 changed");
    press(&editor, "pushButton_add"); // left without a name: refused
    ModalAnswerer answerer;
    press(button(&editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(sqlValue(m_db, "select rule_name from __rule_unit_type where ID = 551"),
             QVariant("UT-551"));

    QCOMPARE(model->rowCount(), 601);
    QCOMPARE(model->index(550, model->fieldIndex("rule_name")).data(), QVariant("UT-551 changed"));
    setCell(model, 600, "rule_name", "UT-new");
    editor.show();
    press(button(&editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(sqlRows(m_db, "select ID, rule_name from __rule_unit_type where ID in (551, 601)"),
             QStringList({"551|UT-551 changed", "601|UT-new"}));
}

void TestRules::mainWindowOkWritesAssignmentsOnly()
{
    MainWindow window;
    auto *tabs = child<QTabWidget>(&window, "tabWidget");
    auto *ruleTab = qobject_cast<HRuleWidget *>(tabs->widget(2));
    auto *allTab = qobject_cast<HEditAllRuleTableWidget *>(tabs->widget(3));
    QVERIFY(ruleTab && allTab);
    tabs->setCurrentIndex(2);
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ModalAnswerer answerer;
    answerer.act(choose("AC-R32", true));
    doubleClickRow(ruleTable(ruleTab), 0, 5);
    QCOMPARE(ruleTable(ruleTab)->item(0, 5)->text(), QStringLiteral("AC-R32"));

    // A pending row in the "All rule table" tab is not written by OK.
    tabs->setCurrentIndex(3);
    auto *editor = allTab->findChild<HTableWidget *>();
    QCOMPARE(rowTexts(child<QTableView>(editor, "tableView"), 1),
             QStringList({"AC-R410A", "AC-R32"})); // first table
    press(editor, "pushButton_add");
    setCell(tableModel(editor), 2, "rule_name", "AC-pending");

    press(button(&window, QDialogButtonBox::Ok));
    QVERIFY(!window.isVisible());
    QCOMPARE(sqlRows(m_db, kSeriesRules),
             QStringList({"PD-Standard|CC-Basic|LIM-165m|AC-R32|CR-130", "||||"}));
    QCOMPARE(sqlValue(m_db, "select count(*) from __rule_additional_charge"), QVariant(2));
}

QTEST_MAIN(TestRules)
#include "tst_rules.moc"
