#include "rulesfixture.h"

#include "hdbfind.h"
#include "heditallruletablewidget.h"
#include "hfindbar.h"
#include "hrulewidget.h"
#include "hsaveround.h"
#include "htablewidget.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>

// How the rule editors guard the user's work: unsaved state, questions before work is lost,
// rows the database would hold wrongly, and finding and sorting rows.
class TestRuleEditing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pickerKeepsTheCurrentRule_data();
    void pickerKeepsTheCurrentRule();
    void ruleTabTracksFindsAndSorts();
    void tableEditorRefusesBadRows_data();
    void tableEditorRefusesBadRows();
    void numberCellsTakeNumbers_data();
    void numberCellsTakeNumbers();
    void deletingAUsedRuleAsks_data();
    void deletingAUsedRuleAsks();
    void tableEditorSortsAndFinds();
    void allRuleTableAsksBeforeSwitching_data();
    void allRuleTableAsksBeforeSwitching();
    void buttonsExplainThemselvesAndWindowsFit();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestRuleEditing::init()
{
    QVERIFY(m_dir.isValid());
    cleanAppFolders();
    m_db = m_dir.filePath(QStringLiteral("Product.mdb"));
    QFile::remove(m_db);
    QString error;
    QVERIFY2(createProductDb(m_db, kFixture, &error), qPrintable(error));
    useProductDb(m_db);
}

void TestRuleEditing::cleanup()
{
    HDbFind::closeDb();
    cleanAppFolders();
}

namespace {

// A picker script, one step a word: "ok", "cancel", "empty", "space" (a click below the
// last name), "click:NAME", "double:NAME", "find:TEXT".
void runPicker(QWidget *picker, const QStringList &steps)
{
    QListView *list = pickerList(picker);
    for (const QString &step : steps) {
        const QString arg = step.section(QLatin1Char(':'), 1);
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
        else if (step.startsWith(QLatin1String("click:")))
            clickRow(list, rowTexts(list).indexOf(arg));
        else if (step.startsWith(QLatin1String("double:")))
            doubleClickRow(list, rowTexts(list).indexOf(arg));
    }
}

} // namespace

void TestRuleEditing::pickerKeepsTheCurrentRule_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expected");
    QTest::newRow("OK untouched") << "LIM-165m" << QStringList{"ok"} << "LIM-165m";
    QTest::newRow("empty space, OK") << "LIM-165m" << QStringList{"space", "ok"} << "LIM-165m";
    QTest::newRow("another one") << "LIM-165m" << QStringList{"click:LIM-120m", "ok"} << "LIM-120m";
    QTest::newRow("chosen, then hidden by the filter")
        << "LIM-165m" << QStringList{"click:LIM-120m", "find:165", "ok"} << "LIM-165m";
    QTest::newRow("double-click, Cancel")
        << "LIM-165m" << QStringList{"double:LIM-120m", "cancel"} << "LIM-165m";
    QTest::newRow("Empty clears") << "LIM-165m" << QStringList{"empty"} << "";
    QTest::newRow("a name no longer listed") << "LIM-gone" << QStringList{"ok"} << "LIM-gone";
}

void TestRuleEditing::pickerKeepsTheCurrentRule()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, steps);
    QFETCH(QString, expected);
    QVERIFY(
        execSql(m_db, {"update __product_series set rule_limit = '" + stored + "' where ID = 1"}));
    HRuleWidget widget;
    QVERIFY(shown(&widget));
    ModalAnswerer answerer;
    QStringList selectedAtOpen;
    answerer.act([&](QWidget *picker) {
        for (const QModelIndex &index : pickerList(picker)->selectionModel()->selectedIndexes())
            selectedAtOpen.append(index.data().toString());
        runPicker(picker, steps);
    });
    doubleClickRow(ruleTable(&widget), 0, 4);
    QCOMPARE(answerer.count(), 1);
    // The picker opens on the series' rule, when the list has it.
    QCOMPARE(selectedAtOpen, stored == "LIM-gone" ? QStringList() : QStringList{stored});
    QCOMPARE(ruleTable(&widget)->item(0, 4)->text(), expected);
    QCOMPARE(widget.isModified(), expected != stored);
    widget.save();
    QVERIFY(!widget.isModified());
    QCOMPARE(sqlValue(m_db, "select rule_limit from __product_series where ID = 1").toString(),
             expected);
}

void TestRuleEditing::ruleTabTracksFindsAndSorts()
{
    HRuleWidget widget;
    QVERIFY(shown(&widget));
    QTableWidget *table = ruleTable(&widget);
    ModalAnswerer answerer;
    QSignalSpy modified(&widget, &HEditorPage::modifiedChanged);
    QCOMPARE(widget.statusText(), QStringLiteral("2 outdoor series, 1 with a rule"));

    // Picking the stored name again leaves nothing unsaved.
    answerer.act([](QWidget *w) { runPicker(w, {"click:LIM-120m", "ok"}); });
    doubleClickRow(table, 0, 4);
    answerer.act([](QWidget *w) { runPicker(w, {"click:LIM-165m", "ok"}); });
    doubleClickRow(table, 0, 4);
    QCOMPARE(modified.size(), 2);
    QVERIFY(!widget.isModified());

    // Discarding shows what is stored again.
    answerer.act([](QWidget *w) { runPicker(w, {"click:CR-150", "ok"}); });
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
    answerer.act([](QWidget *w) { runPicker(w, {"click:LIM-120m", "ok"}); });
    doubleClickRow(table, 0, 4);
    widget.save();
    QVERIFY(!widget.isModified());
    QCOMPARE(sqlRows(m_db, kSeriesRules),
             QStringList({"PD-Standard|CC-Basic|LIM-165m|AC-R410A|CR-130", "-|-|LIM-120m|-|-"}));

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

void TestRuleEditing::tableEditorRefusesBadRows_data()
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

void TestRuleEditing::tableEditorRefusesBadRows()
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

void TestRuleEditing::numberCellsTakeNumbers_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pasted");  // set as a whole, past the keyboard filter
    QTest::addColumn<bool>("refused"); // with a message
    QTest::addColumn<QString>("stored");
    const QString limit = QStringLiteral("__rule_limit");
    const QString charge = QStringLiteral("__rule_additional_charge");
    const QString length = QStringLiteral("max_pipe_length_m");
    const QString name = QStringLiteral("rule_name");
    // Name, table, column, typed, pasted, refused, stored.
    const struct
    {
        const char *row;
        QString table, column, typed;
        bool pasted, refused;
        QString stored;
    } cases[] = {
        {"letters among digits", limit, length, "12a3", false, false, "123"},
        {"negative", limit, length, "-4", false, false, "-4"},
        {"pasted letters", limit, length, "abc", true, false, "165"},
        {"cleared, NOT NULL", limit, length, "", false, false, "165"},
        {"second point", charge, "liquid_pipe_mm", "9.5.2x", false, false, "9.52"},
        {"decimal comma", charge, "liquid_pipe_mm", "7,5", false, false, "7.5"},
        {"text column", limit, name, "abc1", false, false, "abc1"},
        // Control characters other than tab and line breaks are refused with a message.
        {"NUL in a name", limit, name, QString("LIM") + QChar(0) + "1", true, true, "LIM-165m"},
        {"control character", limit, name, "LIM\x01", true, true, "LIM-165m"},
        {"tab and line break", limit, name, "L\t1\nnew", true, false, "L\t1\nnew"},
    };
    for (const auto &c : cases)
        QTest::newRow(c.row) << c.table << c.column << c.typed << c.pasted << c.refused << c.stored;
}

void TestRuleEditing::numberCellsTakeNumbers()
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

void TestRuleEditing::deletingAUsedRuleAsks_data()
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
    QTest::newRow("other table") << "__rule_pipe_dimension"
                                 << "PD-Standard" << int(QMessageBox::No) << "1 outdoor series"
                                 << false;
}

void TestRuleEditing::deletingAUsedRuleAsks()
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

void TestRuleEditing::tableEditorSortsAndFinds()
{
    HTableWidget editor(QStringLiteral("__rule_limit"));
    QVERIFY(shown(&editor));
    auto *view = child<QTableView>(&editor, "tableView");
    QSqlTableModel *model = tableModel(&editor);
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

void TestRuleEditing::allRuleTableAsksBeforeSwitching_data()
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

void TestRuleEditing::allRuleTableAsksBeforeSwitching()
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

void TestRuleEditing::buttonsExplainThemselvesAndWindowsFit()
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

    HRuleWidget widget;
    QVERIFY(shown(&widget));
    ModalAnswerer answerer;
    QStringList untoldInPicker, untoldInEditor;
    QRect editorFrame;
    answerer.act([&](QWidget *picker) {
        untoldInPicker = untold(picker);
        press(picker, "pushButton_edit");
    });
    answerer.act([&](QWidget *editor) {
        untoldInEditor = untold(editor);
        editorFrame = editor->frameGeometry();
        press(button(editor, QDialogButtonBox::Cancel));
        QTimer::singleShot(0, [] {
            if (QWidget *picker = QApplication::activeModalWidget())
                press(button(picker, QDialogButtonBox::Cancel));
        });
    });
    doubleClickRow(ruleTable(&widget), 0, 4);
    QCOMPARE(answerer.count(), 2);
    QCOMPARE(untoldInPicker, QStringList());
    QCOMPARE(untoldInEditor, QStringList());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(editorFrame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                          .arg(editorFrame.x())
                                                          .arg(editorFrame.y())
                                                          .arg(editorFrame.width())
                                                          .arg(editorFrame.height())));
}

QTEST_MAIN(TestRuleEditing)
#include "tst_rules_editing.moc"
