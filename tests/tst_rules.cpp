#include "rulesfixture.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hrulewidget.h"
#include "mainwindow.h"

#include <QTabWidget>

class TestRules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pickerAnswersChangeCellAndSave();
    void pickerListsNamesAddedInTheEditorWindow();
    void tableEditorInBothForms_data();
    void tableEditorInBothForms();
    void largeTablesAreEditedWhole();
    void saveFaults_data();
    void saveFaults();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestRules::initTestCase()
{
    // A save that meets a lock held on purpose gives up soon.
    qputenv("PM_BUSY_TIMEOUT_MS", "200");
}

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

void TestRules::pickerAnswersChangeCellAndSave()
{
    HRuleWidget widget;
    QVERIFY(shown(&widget));
    QTableWidget *table = ruleTable(&widget);
    ModalAnswerer answerer;
    const QStringList stored = sqlRows(m_db, kSeriesRules);
    // Only outdoor series; stored NULLs show as empty cells.
    QCOMPARE(tableRows(table),
             QStringList({kHeaders, "Heat pump|VRF|PD-Standard|CC-Basic|LIM-165m|AC-R410A|CR-130",
                          "Heat recovery|Mini VRF|||||"}));
    // Columns 0 and 1 open nothing; each rule column opens the picker on its rule table.
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
    answerer.clear();

    // A save without an edit writes nothing.
    HDbFind::getDb()->resetStatementCounts();
    widget.save();
    QCOMPARE(HDbFind::getDb()->writeStatementCount(), quint64(0));
    QCOMPARE(sqlRows(m_db, kSeriesRules), stored);

    // A clicked item and OK; a double-clicked name with quotes and OK.
    answerer.act([](QWidget *w) {
        QCOMPARE(rowTexts(pickerList(w)), QStringList({"LIM-165m", "LIM-120m", "O'Brien 5'"}));
        choose("LIM-120m")(w);
    });
    doubleClickRow(table, 0, 4);
    answerer.act(choose("O'Brien 5'", true));
    doubleClickRow(table, 1, 4);

    // "Empty" clears a rule.
    answerer.act([](QWidget *w) { press(w, "pushButton_del"); });
    doubleClickRow(table, 0, 3);
    QCOMPARE(answerer.count(), 3);
    QCOMPARE(tableRows(table).mid(1),
             QStringList({"Heat pump|VRF|PD-Standard||LIM-120m|AC-R410A|CR-130",
                          "Heat recovery|Mini VRF|||O'Brien 5'||"}));

    // One statement per changed series, with only its changed columns: the untouched NULLs
    // of the second series stay NULL. A second save has nothing left to write.
    HDbFind::getDb()->resetStatementCounts();
    widget.save();
    QCOMPARE(answerer.count(), 3); // no warning
    QCOMPARE(HDbFind::getDb()->writeStatementCount(), quint64(2));
    QCOMPARE(sqlRows(m_db, kSeriesRules),
             QStringList({"PD-Standard||LIM-120m|AC-R410A|CR-130", "-|-|O'Brien 5'|-|-"}));
    QCOMPARE(sqlValue(m_db, "select rule_limit from __product_series where ID = 2").toString(),
             QStringLiteral("x")); // the indoor series is not touched
    widget.save();
    QCOMPARE(HDbFind::getDb()->writeStatementCount(), quint64(2));
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

    // "Delete Row" without a chosen row (none current, or one the view made current on its
    // own) changes nothing.
    view->selectionModel()->clear();
    press(editor, "pushButton_del");
    view->selectionModel()->setCurrentIndex(model->index(0, 1), QItemSelectionModel::NoUpdate);
    press(editor, "pushButton_del");
    QVERIFY(!model->isDirty());

    ModalAnswerer answerer;
    // An update, a delete and a new row, pending until saved.
    setCell(model, 0, "max_pipe_length_m", 170);
    clickRow(view, 1, 1);
    press(editor, "pushButton_del");
    press(editor, "pushButton_add");
    QCOMPARE(view->currentIndex().row(), 3);
    setCell(model, 3, "rule_name", "LIM-X");
    setCell(model, 3, "max_pipe_length_m", 80);
    QCOMPARE(sqlRows(m_db, kLimitRows), stored);
    press(button(editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 0);
    QCOMPARE(editor->isVisible(), embedded);
    const QStringList saved = {"1|LIM-165m|170", "3|O'Brien 5'|90", "4|LIM-X|80"};
    QCOMPARE(sqlRows(m_db, kLimitRows), saved);

    if (embedded) {
        // The view shows the stored rows. Switching the table with pending edits (dropped
        // here on purpose), and a further save works; one table model lives at a time.
        QCOMPARE(rowTexts(view, 1), QStringList({"LIM-165m", "O'Brien 5'", "LIM-X"}));
        auto *combo = child<QComboBox>(top.data(), "comboBox");
        setCell(model, 0, "rule_name", "changed");
        press(editor, "pushButton_add");
        answerer.answer(QMessageBox::Discard);
        combo->setCurrentIndex(combo->findText("PipeDimension"));
        QCOMPARE(answerer.count(), 1);
        answerer.clear();
        QCOMPARE(rowTexts(view, 1), QStringList({"PD-Standard", "PD-Large"}));
        combo->setCurrentIndex(combo->findText("Limit"));
        QVERIFY(!tableModel(editor)->isDirty());
        setCell(tableModel(editor), 2, "rule_name", "LIM-Y");
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

// Locked and read-only databases are met by every save in the cross-cutting fault suite.
enum Fault { Refused, RowDeleted };
enum Save { RuleTabOk, EditorWindow, EmbeddedEditor };

} // namespace

void TestRules::saveFaults_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("save");
    const char *faults[] = {"refused by a trigger", "row deleted meanwhile"};
    const char *saves[] = {"rule tab by OK", "editor window", "embedded editor"};
    for (int fault : {Refused, RowDeleted}) {
        for (int save : {RuleTabOk, EditorWindow, EmbeddedEditor})
            QTest::addRow("%s, %s", faults[fault], saves[save]) << fault << save;
    }
}

void TestRules::saveFaults()
{
    QFETCH(int, fault);
    QFETCH(int, save);
    const bool ruleTab = save == RuleTabOk;
    const QString rows = ruleTab ? kSeriesRules : kLimitRows;
    ModalAnswerer answerer;

    // The user's edits: two rule names on the rule tab; an update, a delete and a new row in
    // the table editor.
    QScopedPointer<QWidget> top;
    QTableWidget *rules = nullptr;
    HTableWidget *editor = nullptr;
    QPushButton *saveButton = nullptr;
    if (ruleTab) {
        top.reset(new MainWindow);
        auto *tabs = child<QTabWidget>(top.data(), "tabWidget");
        tabs->setCurrentIndex(2);
        QVERIFY(QTest::qWaitForWindowExposed(top.data()));
        rules = ruleTable(tabs->widget(2));
        answerer.act(choose("LIM-120m"));
        doubleClickRow(rules, 0, 4);
        answerer.act(choose("CR-150"));
        doubleClickRow(rules, 1, 6);
        saveButton = button(top.data(), QDialogButtonBox::Ok);
    } else {
        editor = openLimitEditor(save == EmbeddedEditor, top);
        QVERIFY(editor);
        setCell(tableModel(editor), 0, "max_pipe_length_m", 170);
        clickRow(child<QTableView>(editor, "tableView"), 2, 1);
        press(editor, "pushButton_del");
        press(editor, "pushButton_add");
        setCell(tableModel(editor), 3, "rule_name", "LIM-X");
        setCell(tableModel(editor), 3, "max_pipe_length_m", 80);
        saveButton = button(editor, QDialogButtonBox::Ok);
    }
    QCOMPARE(answerer.count(), ruleTab ? 2 : 0);
    answerer.clear();
    auto editsInPlace = [&]() {
        if (ruleTab)
            return rules->item(0, 4)->text() == QLatin1String("LIM-120m") &&
                   rules->item(1, 6)->text() == QLatin1String("CR-150");
        QSqlTableModel *model = tableModel(editor);
        return model->rowCount() == 4 &&
               model->index(0, model->fieldIndex("max_pipe_length_m")).data() == QVariant(170) &&
               model->headerData(2, Qt::Vertical).toString() == QLatin1String("!") &&
               model->headerData(3, Qt::Vertical).toString() == QLatin1String("*") &&
               model->index(3, model->fieldIndex("rule_name")).data() == QVariant("LIM-X");
    };

    // The fault, and what the message must say.
    const QString table =
        ruleTab ? QStringLiteral("__product_series") : QStringLiteral("__rule_limit");
    if (fault == Refused)
        QVERIFY(execSql(m_db, refusingTriggers(table, {"update"}, "frozen for the test")));
    else
        QVERIFY(execSql(m_db, {"create table kept as select * from " + table + " where ID = 1",
                               "delete from " + table + " where ID = 1"}));
    const QString expected = fault == Refused ? QStringLiteral("frozen for the test")
                             : ruleTab        ? QStringLiteral("(ID 1)")
                                              : QStringLiteral("[ID] = 1");
    const QStringList before = sqlRows(m_db, rows);
    QTest::mouseClick(saveButton, Qt::LeftButton);

    // One message names what failed; the window is open with every edit; nothing was written.
    QString message;
    for (const SeenModal &seen : answerer.seen()) {
        if (ruleTab ? seen.text.contains(QLatin1String("\"Select Rule\" was not saved"))
                    : seen.title == QLatin1String("tableModel"))
            message = seen.text;
    }
    QVERIFY2(!message.isEmpty(), qPrintable(answerer.texts().join('\n')));
    QVERIFY2(message.contains(expected), qPrintable(message));
    if (ruleTab) {
        // The other tabs had nothing to save, and the message says they are fine.
        QVERIFY2(message.contains(QLatin1String("Saved: ")) &&
                     message.contains(QLatin1String("\"All rule table\" (nothing to save)")),
                 qPrintable(message));
    } else {
        QCOMPARE(answerer.count(), 1);
        QVERIFY(message.startsWith(QStringLiteral("数据库错误:")));
        if (fault == Refused)
            QCOMPARE(message, QStringLiteral("数据库错误:frozen for the test"));
    }
    QVERIFY(top->isVisible());
    QVERIFY(ruleTab || editor->isVisible());
    QVERIFY(editsInPlace());
    QCOMPARE(sqlRows(m_db, rows), before);

    // Without the fault, the next try saves exactly the user's edits.
    QVERIFY(execSql(m_db, fault == Refused
                              ? droppingTriggers(table, {"update"})
                              : QStringList{"insert into " + table + " select * from kept"}));
    answerer.clear();
    QTest::mouseClick(saveButton, Qt::LeftButton);
    for (const SeenModal &seen : answerer.seen())
        QVERIFY2(!seen.text.contains(QLatin1String("not saved")) &&
                     seen.title != QLatin1String("tableModel"),
                 qPrintable(seen.text));
    if (ruleTab) {
        QVERIFY(!top->isVisible());
        QCOMPARE(sqlRows(m_db, rows),
                 QStringList({"PD-Standard|CC-Basic|LIM-120m|AC-R410A|CR-130", "-|-|-|-|CR-150"}));
    } else {
        QCOMPARE(editor->isVisible(), save == EmbeddedEditor);
        QCOMPARE(sqlRows(m_db, rows),
                 QStringList({"1|LIM-165m|170", "2|LIM-120m|120", "4|LIM-X|80"}));
    }
}

QTEST_MAIN(TestRules)
#include "tst_rules.moc"
