#include "testhelpers.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "heditallruletablewidget.h"
#include "hproductschema.h"
#include "hrulewidget.h"
#include "hselectrulenamewidget.h"
#include "htablewidget.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QSqlTableModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

namespace {

const QString kSeriesRules = QStringLiteral(
    "select rule_pipe_dimmension, rule_centralized_control, rule_limit, rule_add_refri_charge, "
    "rule_connect_ratio from __product_series where product_type = 0 order by ID");

// A double-click as the user makes it: the view sees the press before the double-click.
QPushButton *dialogButton(QWidget *parent, QDialogButtonBox::StandardButton which)
{
    auto *box = parent->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    return box ? box->button(which) : nullptr;
}

void click(QWidget *parent, const QString &name)
{
    auto *button = parent->findChild<QPushButton *>(name);
    QVERIFY2(button, qPrintable(name));
    QTest::mouseClick(button, Qt::LeftButton);
}

void click(QPushButton *button)
{
    QVERIFY(button);
    QVERIFY(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
}

QListView *pickerList(QWidget *picker)
{
    return picker->findChild<QListView *>(QStringLiteral("listView"));
}

QSqlTableModel *tableModel(QWidget *editor)
{
    auto *view = editor->findChild<QTableView *>(QStringLiteral("tableView"));
    return view ? qobject_cast<QSqlTableModel *>(view->model()) : nullptr;
}

// Column of a rule table's model by its name.
int column(QSqlTableModel *model, const char *name)
{
    return model->fieldIndex(QLatin1String(name));
}

} // namespace

class TestRules : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ruleTabListsOutdoorSeries();
    void onlyRuleColumnsOpenThePicker();
    void pickerAnswersChangeCellAndSave();
    void nullRulesAreSavedAsEmptyText();
    void quotesInRuleNamesAreSaved();
    void failedSaveRollsEverythingBack();
    void noOutdoorSeries();
    void pickerListsNamesAndEmptyTable();
    void pickerSeesNamesAddedInTheEditorWindow();
    void editorWindowAddDeleteCancelSave();
    void editorWindowSaveErrorClosesWithMessage();
    void embeddedEditorSavesAndStaysVisible();
    void embeddedSaveErrorKeepsEveryEdit();
    void switchingTablesDropsPendingEdits();
    void largeTablesAreEditedWhole();
    void mainWindowOkWritesAssignmentsOnly();

private:
    QTemporaryDir m_dir;
    QString m_db;
    bool createDb(const QStringList &extra = {});
};

bool TestRules::createDb(const QStringList &extra)
{
    QStringList statements = {
        QStringLiteral(
            "insert into __product_series (ID, id_series, product_type, product_series, category, "
            "sub_catalog, rule_pipe_dimmension, rule_centralized_control, rule_limit, "
            "rule_add_refri_charge, rule_connect_ratio) values "
            "(1, 101, 0, 'ODU A', 'VRF', 'Heat pump', 'PD-Standard', 'CC-Basic', 'LIM-165m', "
            "'AC-R410A', 'CR-130'), "
            "(2, 102, 1, 'IDU B', 'IDU', 'Duct', 'x', 'x', 'x', 'x', 'x'), "
            "(3, 103, 0, 'ODU C', 'Mini VRF', 'Heat recovery', NULL, NULL, NULL, NULL, NULL)"),
        QStringLiteral("insert into __rule_limit (ID, rule_name, max_pipe_length_m) values "
                       "(1, 'LIM-165m', 165), (2, 'LIM-120m', 120), (3, 'O''Brien 5''', 90)"),
        QStringLiteral("insert into __rule_pipe_dimension (rule_name) values "
                       "('PD-Standard'), ('PD-Large')"),
        QStringLiteral("insert into __rule_centralized_control (rule_name) values ('CC-Basic')"),
        QStringLiteral(
            "insert into __rule_additional_charge (ID, rule_name, liquid_pipe_mm) values "
            "(1, 'AC-R410A', 6.35), (2, 'AC-R32', 9.52)"),
        QStringLiteral(
            "insert into __rule_connect_ratio (rule_name) values ('CR-130'), ('CR-150')"),
    };
    statements += extra;
    QString error;
    const bool ok = createProductDb(m_db, statements, &error);
    if (!ok)
        qWarning() << error;
    useProductDb(m_db);
    return ok;
}

void TestRules::init()
{
    QVERIFY(m_dir.isValid());
    cleanAppFolders();
    m_db = m_dir.filePath(QStringLiteral("Product.mdb"));
    QVERIFY(createDb());
}

void TestRules::cleanup()
{
    HDbFind::closeDb();
    cleanAppFolders();
}

void TestRules::ruleTabListsOutdoorSeries()
{
    HRuleWidget widget;
    auto *table = widget.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QVERIFY(table);
    QCOMPARE(table->columnCount(), 7);
    QStringList headers;
    for (int i = 0; i < table->columnCount(); ++i)
        headers.append(table->horizontalHeaderItem(i)->text());
    QCOMPARE(headers, QStringList({"sub_catalog", "category", "rule_pipe_dimmension",
                                   "rule_centralized_control", "rule_limit",
                                   "rule_add_refri_charge", "rule_connect_ratio"}));
    // Only outdoor series; the stored NULLs show as empty cells.
    QCOMPARE(table->rowCount(), 2);
    QStringList row0, row1;
    for (int i = 0; i < 7; ++i) {
        row0.append(table->item(0, i)->text());
        row1.append(table->item(1, i)->text());
    }
    QCOMPARE(row0, QStringList({"Heat pump", "VRF", "PD-Standard", "CC-Basic", "LIM-165m",
                                "AC-R410A", "CR-130"}));
    QCOMPARE(row1, QStringList({"Heat recovery", "Mini VRF", "", "", "", "", ""}));
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);

    // The table fills the tab and each column takes an eighth of its width.
    widget.resize(2000, 500);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QVERIFY(table->width() > 1950);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(table->columnWidth(i), table->width() / 8);
    widget.resize(2400, 500);
    QTRY_VERIFY(table->width() > 2350);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(table->columnWidth(i), table->width() / 8);
    // Narrower than that, no label is cut: the columns keep their labels' width.
    widget.resize(600, 500);
    QTRY_VERIFY(table->width() < 600);
    for (int i = 0; i < 7; ++i) {
        QVERIFY(table->columnWidth(i) >= table->width() / 8);
        QVERIFY(table->columnWidth(i) >= table->horizontalHeader()->sectionSizeHint(i));
    }
}

void TestRules::onlyRuleColumnsOpenThePicker()
{
    HRuleWidget widget;
    widget.resize(1200, 400);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    auto *table = widget.findChild<QTableWidget *>(QStringLiteral("tableWidget"));

    ModalAnswerer answerer;
    doubleClickRow(table, 0, 0);
    doubleClickRow(table, 1, 1);
    QTest::qWait(50);
    QCOMPARE(answerer.count(), 0);

    const QStringList tables = {"__rule_pipe_dimension", "__rule_centralized_control",
                                "__rule_limit", "__rule_additional_charge", "__rule_connect_ratio"};
    for (int col = 2; col < 7; ++col) {
        answerer.clear();
        doubleClickRow(table, 0, col); // answered with reject()
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.seen().first().className, QStringLiteral("HSelectRuleNameWidget"));
        QCOMPARE(answerer.seen().first().title,
                 QStringLiteral("Select rule name from table [%1]").arg(tables.at(col - 2)));
    }
    QCOMPARE(table->item(0, 4)->text(), QStringLiteral("LIM-165m"));
}

void TestRules::pickerAnswersChangeCellAndSave()
{
    HRuleWidget widget;
    widget.resize(1200, 400);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    auto *table = widget.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    ModalAnswerer answerer;
    const QString before = sqlRows(m_db, kSeriesRules).join(QLatin1Char('\n'));

    // Cancel, and a double-click followed by Cancel, change nothing.
    answerer.act([](QWidget *w) { click(dialogButton(w, QDialogButtonBox::Cancel)); });
    doubleClickRow(table, 0, 4);
    answerer.act([](QWidget *w) {
        doubleClickRow(pickerList(w), 1, 0);
        click(dialogButton(w, QDialogButtonBox::Cancel));
    });
    doubleClickRow(table, 0, 4);
    QCOMPARE(answerer.count(), 2);
    QCOMPARE(table->item(0, 4)->text(), QStringLiteral("LIM-165m"));
    widget.save();
    QCOMPARE(sqlRows(m_db, kSeriesRules).join(QLatin1Char('\n')), before);

    // A selected item and OK, a double-clicked item and OK.
    answerer.act([](QWidget *w) {
        QListView *list = pickerList(w);
        QCOMPARE(rowTexts(list), QStringList({"LIM-165m", "LIM-120m", "O'Brien 5'"}));
        clickRow(list, 1);
        click(dialogButton(w, QDialogButtonBox::Ok));
    });
    doubleClickRow(table, 0, 4);
    QCOMPARE(table->item(0, 4)->text(), QStringLiteral("LIM-120m"));
    answerer.act([](QWidget *w) {
        doubleClickRow(pickerList(w), 1, 0);
        click(dialogButton(w, QDialogButtonBox::Ok));
    });
    doubleClickRow(table, 1, 2);
    QCOMPARE(table->item(1, 2)->text(), QStringLiteral("PD-Large"));

    // OK with no chosen item returns an empty name, even when the view made its first item
    // current on its own; "Empty" does the same.
    answerer.act([](QWidget *w) {
        QListView *list = pickerList(w);
        list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
        click(dialogButton(w, QDialogButtonBox::Ok));
    });
    doubleClickRow(table, 0, 6);
    QCOMPARE(table->item(0, 6)->text(), QString());
    answerer.act([](QWidget *w) { click(w, QStringLiteral("pushButton_del")); });
    doubleClickRow(table, 0, 3);
    QCOMPARE(table->item(0, 3)->text(), QString());
    QCOMPARE(answerer.count(), 6);

    widget.save();
    QCOMPARE(answerer.count(), 6); // no warning
    QCOMPARE(sqlRows(m_db, kSeriesRules),
             QStringList({"PD-Standard||LIM-120m|AC-R410A|", "PD-Large||||"}));
    QCOMPARE(sqlValue(m_db, "select count(*) from __product_series where product_type = 0 and "
                            "rule_connect_ratio is null")
                 .toInt(),
             0);
    // The indoor series is not touched.
    QCOMPARE(sqlValue(m_db, "select rule_limit from __product_series where ID = 2").toString(),
             QStringLiteral("x"));
}

void TestRules::nullRulesAreSavedAsEmptyText()
{
    HRuleWidget widget;
    widget.save();
    QCOMPARE(sqlRows(m_db,
                     "select rule_pipe_dimmension is null, rule_centralized_control is null, "
                     "rule_limit is null, rule_add_refri_charge is null, "
                     "rule_connect_ratio is null, rule_limit from __product_series where ID = 3"),
             QStringList({"0|0|0|0|0|"}));
    // The row that had values keeps them.
    QCOMPARE(sqlRows(m_db, kSeriesRules).first(),
             QStringLiteral("PD-Standard|CC-Basic|LIM-165m|AC-R410A|CR-130"));
}

void TestRules::quotesInRuleNamesAreSaved()
{
    HRuleWidget widget;
    widget.resize(1200, 400);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    auto *table = widget.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    ModalAnswerer answerer;
    answerer.act([](QWidget *w) {
        doubleClickRow(pickerList(w), 2, 0);
        click(dialogButton(w, QDialogButtonBox::Ok));
    });
    doubleClickRow(table, 1, 4);
    QCOMPARE(table->item(1, 4)->text(), QStringLiteral("O'Brien 5'"));
    widget.save();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(sqlValue(m_db, "select rule_limit from __product_series where ID = 3").toString(),
             QStringLiteral("O'Brien 5'"));
}

void TestRules::failedSaveRollsEverythingBack()
{
    // The database refuses one row's new value; rows before and after it must stay as stored.
    QVERIFY(createDb({QStringLiteral("insert into __rule_limit (rule_name) values ('LIM-BAD')"),
                      QStringLiteral("create trigger refuse_bad before update on __product_series "
                                     "when new.rule_limit = 'LIM-BAD' begin "
                                     "select raise(abort, 'limit LIM-BAD is retired'); end")}));
    HRuleWidget widget;
    widget.resize(1200, 400);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    auto *table = widget.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    ModalAnswerer answerer;
    answerer.act([](QWidget *w) { click(w, QStringLiteral("pushButton_del")); });
    doubleClickRow(table, 1, 2); // a change in the last row, after the failing one
    answerer.act([](QWidget *w) {
        QListView *list = pickerList(w);
        const int row = rowTexts(list).indexOf(QStringLiteral("LIM-BAD"));
        QVERIFY(row >= 0);
        clickRow(list, row);
        click(dialogButton(w, QDialogButtonBox::Ok));
    });
    doubleClickRow(table, 0, 4);
    QCOMPARE(table->item(0, 4)->text(), QStringLiteral("LIM-BAD"));
    answerer.clear();

    widget.save();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().title, QStringLiteral("Warning"));
    QVERIFY2(answerer.seen().first().text.contains(QStringLiteral("limit LIM-BAD is retired")),
             qPrintable(answerer.seen().first().text));
    QCOMPARE(sqlRows(m_db, "select ID, rule_pipe_dimmension is null from __product_series "
                           "where product_type = 0 order by ID"),
             QStringList({"1|0", "3|1"}));
    QCOMPARE(sqlValue(m_db, "select rule_limit from __product_series where ID = 1").toString(),
             QStringLiteral("LIM-165m"));

    // No transaction was left open: another save goes through once the value is acceptable.
    QVERIFY(execSql(m_db, {QStringLiteral("drop trigger refuse_bad")}));
    answerer.clear();
    widget.save();
    QCOMPARE(answerer.count(), 0);
    QCOMPARE(sqlValue(m_db, "select rule_limit from __product_series where ID = 1").toString(),
             QStringLiteral("LIM-BAD"));
    QCOMPARE(
        sqlValue(m_db, "select rule_pipe_dimmension from __product_series where ID = 3").toString(),
        QString());
}

void TestRules::noOutdoorSeries()
{
    QVERIFY(execSql(m_db, {QStringLiteral("delete from __product_series where product_type = 0")}));
    HRuleWidget widget;
    auto *table = widget.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(table->columnCount(), 7);
    QCOMPARE(table->horizontalHeaderItem(6)->text(), QStringLiteral("rule_connect_ratio"));
    ModalAnswerer answerer;
    widget.save();
    QTest::qWait(20);
    QCOMPARE(answerer.count(), 0);
    // The empty transaction was committed, not left open on the shared connection.
    QVERIFY(HDbFind::getDb()->transaction());
    QVERIFY(HDbFind::getDb()->commit());
    QCOMPARE(sqlRows(m_db, "select ID, rule_limit from __product_series"), QStringList({"2|x"}));
}

void TestRules::pickerListsNamesAndEmptyTable()
{
    {
        HSelectRuleNameWidget picker(QStringLiteral("__rule_limit"));
        QCOMPARE(picker.windowTitle(),
                 QStringLiteral("Select rule name from table [__rule_limit]"));
        QListView *list = pickerList(&picker);
        QCOMPARE(rowTexts(list), QStringList({"LIM-165m", "LIM-120m", "O'Brien 5'"}));
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(dialogButton(&picker, QDialogButtonBox::Ok) != nullptr, true);
        QCOMPARE(picker.findChild<QPushButton *>(QStringLiteral("pushButton_del"))->text(),
                 QStringLiteral("Empty"));
        QCOMPARE(picker.findChild<QPushButton *>(QStringLiteral("pushButton_edit"))->text(),
                 QStringLiteral("Edit"));
        // The list and the buttons fill the dialog.
        picker.resize(700, 500);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        QVERIFY(list->width() > 650);
        QVERIFY(list->height() > 380);
    }
    {
        HSelectRuleNameWidget picker(QStringLiteral("__rule_altitude"));
        QCOMPARE(rowTexts(pickerList(&picker)), QStringList());
        ModalAnswerer answerer;
        answerer.act([](QWidget *w) { click(dialogButton(w, QDialogButtonBox::Ok)); });
        QCOMPARE(picker.exec(), int(QDialog::Accepted));
        QCOMPARE(picker.selectedRuleName(), QString());
    }
}

void TestRules::pickerSeesNamesAddedInTheEditorWindow()
{
    HRuleWidget widget;
    widget.resize(1200, 400);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    auto *table = widget.findChild<QTableWidget *>(QStringLiteral("tableWidget"));

    ModalAnswerer answerer;
    QPointer<QWidget> picker;
    QStringList namesAfterEdit;
    answerer.act([&picker](QWidget *w) {
        picker = w;
        click(w, QStringLiteral("pushButton_edit"));
    });
    answerer.act([&picker, &namesAfterEdit](QWidget *editor) {
        QCOMPARE(QString::fromLatin1(editor->metaObject()->className()),
                 QStringLiteral("HTableWidget"));
        QCOMPARE(editor->parentWidget(), picker.data());
        QCOMPARE(editor->windowModality(), Qt::ApplicationModal);
        QSqlTableModel *model = tableModel(editor);
        QVERIFY(model);
        click(editor, QStringLiteral("pushButton_add"));
        QVERIFY(model->setData(model->index(3, column(model, "rule_name")),
                               QStringLiteral("LIM-200m")));
        click(dialogButton(editor, QDialogButtonBox::Ok));
        // Once the window is gone the picker lists the new name: pick it.
        QTimer::singleShot(50, [&picker, &namesAfterEdit]() {
            QVERIFY(picker);
            QListView *list = pickerList(picker);
            namesAfterEdit = rowTexts(list);
            clickRow(list, namesAfterEdit.indexOf(QStringLiteral("LIM-200m")));
            click(dialogButton(picker, QDialogButtonBox::Ok));
        });
    });
    doubleClickRow(table, 0, 4);
    QCOMPARE(answerer.count(), 2);
    QCOMPARE(answerer.seen().at(1).title, QStringLiteral("Edit table [__rule_limit]"));
    QCOMPARE(namesAfterEdit, QStringList({"LIM-165m", "LIM-120m", "O'Brien 5'", "LIM-200m"}));
    QCOMPARE(table->item(0, 4)->text(), QStringLiteral("LIM-200m"));
    QVERIFY(!picker); // destroyed after the pick, its editor windows with it
    QCOMPARE(
        sqlValue(m_db, "select count(*) from __rule_limit where rule_name = 'LIM-200m'").toInt(),
        1);
}

void TestRules::editorWindowAddDeleteCancelSave()
{
    const QString rows = QStringLiteral("select ID, rule_name, max_pipe_length_m from __rule_limit "
                                        "order by ID");
    const QStringList stored = sqlRows(m_db, rows);
    {
        HTableWidget editor(QStringLiteral("__rule_limit"));
        QCOMPARE(editor.windowTitle(), QStringLiteral("Edit table [__rule_limit]"));
        const Qt::WindowFlags flags = editor.windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowMaximizeButtonHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        auto *view = editor.findChild<QTableView *>(QStringLiteral("tableView"));
        QVERIFY(view->isColumnHidden(0));
        QVERIFY(!view->isColumnHidden(1));
        QVERIFY(dialogButton(&editor, QDialogButtonBox::Cancel)->isVisible());
        QVERIFY(dialogButton(&editor, QDialogButtonBox::Ok)->text() !=
                QStringLiteral("Save To Database"));

        // "Delete Row" without a current cell, or with one the view made current on its own
        // without selecting it, changes nothing.
        QSqlTableModel *model = tableModel(&editor);
        QCOMPARE(model->rowCount(), 3);
        view->selectionModel()->clear();
        click(&editor, QStringLiteral("pushButton_del"));
        view->selectionModel()->setCurrentIndex(model->index(0, 1), QItemSelectionModel::NoUpdate);
        click(&editor, QStringLiteral("pushButton_del"));
        QVERIFY(!model->isDirty());

        // Add and delete, then Cancel: nothing is written.
        click(&editor, QStringLiteral("pushButton_add"));
        QCOMPARE(model->rowCount(), 4);
        model->setData(model->index(3, column(model, "rule_name")), QStringLiteral("LIM-X"));
        clickRow(view, 0, 1);
        click(&editor, QStringLiteral("pushButton_del"));
        click(dialogButton(&editor, QDialogButtonBox::Cancel));
        QVERIFY(!editor.isVisible());
        QCOMPARE(sqlRows(m_db, rows), stored);
    }
    {
        HTableWidget editor(QStringLiteral("__rule_limit"));
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        auto *view = editor.findChild<QTableView *>(QStringLiteral("tableView"));
        QSqlTableModel *model = tableModel(&editor);
        click(&editor, QStringLiteral("pushButton_add"));
        QCOMPARE(view->currentIndex().row(), 3);
        model->setData(model->index(3, column(model, "rule_name")), QStringLiteral("LIM-X"));
        model->setData(model->index(3, column(model, "max_pipe_length_m")), 80);
        model->setData(model->index(1, column(model, "max_pipe_length_m")), 125);
        clickRow(view, 0, 1);
        click(&editor, QStringLiteral("pushButton_del"));
        // Still pending.
        QCOMPARE(sqlRows(m_db, rows), stored);
        ModalAnswerer answerer;
        click(dialogButton(&editor, QDialogButtonBox::Ok));
        QCOMPARE(answerer.count(), 0);
        QVERIFY(!editor.isVisible());
    }
    // The new row got its key from the database.
    QCOMPARE(sqlRows(m_db, rows), QStringList({"2|LIM-120m|125", "3|O'Brien 5'|90", "4|LIM-X|80"}));
}

void TestRules::editorWindowSaveErrorClosesWithMessage()
{
    const QString rows = QStringLiteral("select * from __rule_limit order by ID");
    const QStringList stored = sqlRows(m_db, rows);
    HTableWidget editor(QStringLiteral("__rule_limit"));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QSqlTableModel *model = tableModel(&editor);
    model->setData(model->index(0, column(model, "max_pipe_length_m")), 170);
    click(&editor, QStringLiteral("pushButton_add"));
    // rule_name is NOT NULL: a new row without it is refused.
    model->setData(model->index(3, column(model, "max_pipe_length_m")), 50);
    ModalAnswerer answerer;
    click(dialogButton(&editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().className, QStringLiteral("QMessageBox"));
    QCOMPARE(answerer.seen().first().title, QStringLiteral("tableModel"));
    QCOMPARE(answerer.seen().first().text,
             QStringLiteral("数据库错误:NOT NULL constraint failed: __rule_limit.rule_name "
                            "Unable to fetch row"));
    QVERIFY(!editor.isVisible());
    QCOMPARE(sqlRows(m_db, rows), stored);
}

void TestRules::embeddedEditorSavesAndStaysVisible()
{
    HEditAllRuleTableWidget tab;
    tab.resize(900, 600);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    auto *combo = tab.findChild<QComboBox *>(QStringLiteral("comboBox"));
    QStringList names;
    for (int i = 0; i < combo->count(); ++i)
        names.append(combo->itemText(i));
    QCOMPARE(names, QStringList({"AdditionalCharge", "Altitude", "CentralizedController",
                                 "ConnectRatio", "EquivalentPipeLength", "Limit", "PipeDimension",
                                 "UnitCapacityConversion", "UnitType"}));
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(names.size(), HProductSchema::ruleTables().size());

    auto *editor = tab.findChild<HTableWidget *>();
    QVERIFY(editor);
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->tableName(), QStringLiteral("__rule_additional_charge"));
    auto *view = editor->findChild<QTableView *>(QStringLiteral("tableView"));
    QCOMPARE(rowTexts(view, 1), QStringList({"AC-R410A", "AC-R32"}));
    QVERIFY(view->isColumnHidden(0));
    QCOMPARE(dialogButton(editor, QDialogButtonBox::Ok)->text(),
             QStringLiteral("Save To Database"));
    QVERIFY(!dialogButton(editor, QDialogButtonBox::Cancel)->isVisible());
    // The editor fills the tab under the combo box.
    QVERIFY(editor->width() > 850);
    QVERIFY(editor->geometry().top() >= combo->geometry().bottom());
    QVERIFY(view->height() > 400);

    combo->setCurrentIndex(names.indexOf(QStringLiteral("Limit")));
    QCOMPARE(editor->tableName(), QStringLiteral("__rule_limit"));
    QSqlTableModel *model = tableModel(editor);
    QCOMPARE(model->rowCount(), 3);
    click(editor, QStringLiteral("pushButton_add"));
    model->setData(model->index(3, column(model, "rule_name")), QStringLiteral("LIM-90m"));
    clickRow(view, 1, 1);
    click(editor, QStringLiteral("pushButton_del"));

    // OK of the main window does not reach these edits.
    tab.save();
    QCOMPARE(sqlValue(m_db, "select count(*) from __rule_limit").toInt(), 3);

    ModalAnswerer answerer;
    click(dialogButton(editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 0);
    QVERIFY(editor->isVisible());
    QCOMPARE(sqlRows(m_db, "select rule_name from __rule_limit order by ID"),
             QStringList({"LIM-165m", "O'Brien 5'", "LIM-90m"}));
    // The view shows the stored rows again, and a further save works on them.
    QCOMPARE(rowTexts(view, 1), QStringList({"LIM-165m", "O'Brien 5'", "LIM-90m"}));
    model = tableModel(editor);
    model->setData(model->index(0, column(model, "rule_name")), QStringLiteral("LIM-170m"));
    click(dialogButton(editor, QDialogButtonBox::Ok));
    QCOMPARE(sqlValue(m_db, "select rule_name from __rule_limit where ID = 1").toString(),
             QStringLiteral("LIM-170m"));
    QVERIFY(editor->isVisible());
}

void TestRules::embeddedSaveErrorKeepsEveryEdit()
{
    HEditAllRuleTableWidget tab;
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    auto *editor = tab.findChild<HTableWidget *>();
    auto *view = editor->findChild<QTableView *>(QStringLiteral("tableView"));
    QSqlTableModel *model = tableModel(editor);
    const QString rows = QStringLiteral("select * from __rule_additional_charge order by ID");
    const QStringList stored = sqlRows(m_db, rows);

    // An update, a delete and a refused insert in one save: the update is written first by the
    // model, then undone by the rollback.
    const int name = column(model, "rule_name");
    const int liquid = column(model, "liquid_pipe_mm");
    model->setData(model->index(0, name), QStringLiteral("AC-R410A new"));
    clickRow(view, 1, 1);
    click(editor, QStringLiteral("pushButton_del"));
    click(editor, QStringLiteral("pushButton_add"));
    model->setData(model->index(2, liquid), 12.7);

    ModalAnswerer answerer;
    click(dialogButton(editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().title, QStringLiteral("tableModel"));
    QCOMPARE(answerer.seen().first().text,
             QStringLiteral("数据库错误:NOT NULL constraint failed: "
                            "__rule_additional_charge.rule_name Unable to fetch row"));
    QVERIFY(editor->isVisible());
    QCOMPARE(sqlRows(m_db, rows), stored);

    // Every edit is still pending; once the new row has its name, one save writes them all.
    model = tableModel(editor);
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->index(0, name).data().toString(), QStringLiteral("AC-R410A new"));
    QCOMPARE(model->headerData(1, Qt::Vertical).toString(), QStringLiteral("!"));
    QCOMPARE(model->headerData(2, Qt::Vertical).toString(), QStringLiteral("*"));
    model->setData(model->index(2, name), QStringLiteral("AC-R454B"));
    answerer.clear();
    click(dialogButton(editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 0);
    QCOMPARE(sqlRows(m_db, "select rule_name, liquid_pipe_mm from __rule_additional_charge "
                           "order by ID"),
             QStringList({"AC-R410A new|6.35", "AC-R454B|12.7"}));
}

void TestRules::switchingTablesDropsPendingEdits()
{
    HEditAllRuleTableWidget tab;
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    auto *combo = tab.findChild<QComboBox *>(QStringLiteral("comboBox"));
    auto *editor = tab.findChild<HTableWidget *>();
    auto *view = editor->findChild<QTableView *>(QStringLiteral("tableView"));
    QSqlTableModel *model = tableModel(editor);
    model->setData(model->index(0, column(model, "rule_name")), QStringLiteral("changed"));
    click(editor, QStringLiteral("pushButton_add"));
    QCOMPARE(model->rowCount(), 3);

    combo->setCurrentIndex(combo->findText(QStringLiteral("PipeDimension")));
    QCOMPARE(rowTexts(view, 1), QStringList({"PD-Standard", "PD-Large"}));
    combo->setCurrentIndex(0);
    QCOMPARE(rowTexts(view, 1), QStringList({"AC-R410A", "AC-R32"}));
    QVERIFY(!tableModel(editor)->isDirty());
    ModalAnswerer answerer;
    click(dialogButton(editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 0);
    QCOMPARE(sqlRows(m_db, "select rule_name from __rule_additional_charge order by ID"),
             QStringList({"AC-R410A", "AC-R32"}));
    // Only one table model lives at a time.
    QCOMPARE(editor->findChildren<QSqlTableModel *>().size(), 1);
}

void TestRules::largeTablesAreEditedWhole()
{
    // More rows than a table model fetches at once: new rows go after all of them, and the
    // edits of a failed save are put back on the right rows.
    QVERIFY(execSql(
        m_db, {QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                              "where i < 600) insert into __rule_unit_type (ID, rule_name) "
                              "select i, 'UT-' || i from n")}));
    HTableWidget editor(QStringLiteral("__rule_unit_type"));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QSqlTableModel *model = tableModel(&editor);
    QCOMPARE(model->rowCount(), 600);
    const int name = column(model, "rule_name");
    model->setData(model->index(550, name), QStringLiteral("UT-551 changed"));
    click(&editor, QStringLiteral("pushButton_add")); // left without a name: refused
    ModalAnswerer answerer;
    click(dialogButton(&editor, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(sqlValue(m_db, "select rule_name from __rule_unit_type where ID = 551").toString(),
             QStringLiteral("UT-551"));

    HTableWidget again(QStringLiteral("__rule_unit_type"));
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    model = tableModel(&again);
    model->setData(model->index(599, name), QStringLiteral("UT-600 changed"));
    click(&again, QStringLiteral("pushButton_add"));
    QCOMPARE(model->rowCount(), 601);
    model->setData(model->index(600, name), QStringLiteral("UT-new"));
    click(dialogButton(&again, QDialogButtonBox::Ok));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(
        sqlRows(m_db, "select ID, rule_name from __rule_unit_type where ID >= 600 order by ID"),
        QStringList({"600|UT-600 changed", "601|UT-new"}));
}

void TestRules::mainWindowOkWritesAssignmentsOnly()
{
    MainWindow window;
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    auto *ruleTab = qobject_cast<HRuleWidget *>(tabs->widget(2));
    QVERIFY(ruleTab);
    tabs->setCurrentIndex(2);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *table = ruleTab->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QVERIFY(table->width() > 600);

    ModalAnswerer answerer;
    answerer.act([](QWidget *w) {
        doubleClickRow(pickerList(w), 1, 0);
        click(dialogButton(w, QDialogButtonBox::Ok));
    });
    doubleClickRow(table, 0, 5);
    QCOMPARE(table->item(0, 5)->text(), QStringLiteral("AC-R32"));

    // A pending row in the "All rule table" tab is not written by OK.
    auto *allTab = qobject_cast<HEditAllRuleTableWidget *>(tabs->widget(3));
    QVERIFY(allTab);
    tabs->setCurrentIndex(3);
    auto *editor = allTab->findChild<HTableWidget *>();
    click(editor, QStringLiteral("pushButton_add"));
    QSqlTableModel *model = tableModel(editor);
    model->setData(model->index(2, column(model, "rule_name")), QStringLiteral("AC-pending"));

    click(dialogButton(&window, QDialogButtonBox::Ok));
    QVERIFY(!window.isVisible());
    QCOMPARE(sqlRows(m_db, kSeriesRules),
             QStringList({"PD-Standard|CC-Basic|LIM-165m|AC-R32|CR-130", "||||"}));
    QCOMPARE(sqlValue(m_db, "select count(*) from __rule_additional_charge").toInt(), 2);
}

QTEST_MAIN(TestRules)
#include "tst_rules.moc"
