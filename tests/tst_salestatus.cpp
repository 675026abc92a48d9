// The sale status tables: filters, the model table and its refills, check all, Save to scheme
// (records completed from the database) and Save to Db.

#include "salestatusfixture.h"

#include "hdatabase.h"

#include <QMessageBox>
#include <QRegularExpression>
#include <QUndoStack>
#include <QtTest>

using namespace SaleStatusFixture;

class TestSaleStatus : public QObject
{
    Q_OBJECT

private slots:
    void init() { startClean(m_dir, &m_db); }
    void cleanup() { finishClean(); }

    void editsSurviveSwitchesOrAreAsked_data();
    void editsSurviveSwitchesOrAreAsked();
    void undoRedoThenSave();
    void tablesKeepEveryRowAcrossRefills();
    void checkAllWithIdLists();
    void saveToSchemeCompletesRecords();
    void saveToDb_data();
    void saveToDb();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestSaleStatus::editsSurviveSwitchesOrAreAsked_data()
{
    // A tick on series 3 and an OEM name on P1A, then a switch. Product type and series
    // switches keep the edits unasked; a switch of scheme (or a new one) asks first: Save
    // writes them into A, Discard drops them, Cancel stays with them.
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("answer");
    QTest::newRow("product type") << "type" << 0;
    QTest::newRow("series") << "series" << 0;
    QTest::newRow("scheme, cancel") << "scheme" << int(QMessageBox::Cancel);
    QTest::newRow("scheme, discard") << "scheme" << int(QMessageBox::Discard);
    QTest::newRow("scheme, save") << "scheme" << int(QMessageBox::Save);
    QTest::newRow("new scheme, cancel") << "new" << int(QMessageBox::Cancel);
}

void TestSaleStatus::editsSurviveSwitchesOrAreAsked()
{
    QFETCH(QString, change);
    QFETCH(int, answer);
    writeScheme("A.json", {});
    writeScheme("B.json", {});
    const QByteArray bytesA = fileBytes(configPath("A.json"));
    ModalAnswerer answerer;
    answerer.setDefaultAnswer(QMessageBox::StandardButton(answer));
    Editor editor;
    editor.clickSeries(1);
    editor.setS(3, 2, true);
    editor.m("P1A", 2)->setText("OEM A");
    QVERIFY(editor.widget->isModified());

    if (change == "type") {
        editor.productType->setCurrentIndex(1);
        editor.productType->setCurrentIndex(0);
    } else if (change == "series") {
        editor.clickSeries(2);
    } else if (change == "scheme") {
        editor.scheme->setCurrentIndex(1);
    } else {
        editor.click("pushButton_New");
    }
    QCOMPARE(answerer.count() > 0, change == "scheme" || change == "new");
    if (editor.scheme->currentText() != "A.json")
        editor.scheme->setCurrentIndex(0);
    QCOMPARE(editor.scheme->currentText(), "A.json");
    editor.clickSeries(1);
    const bool kept = answer != QMessageBox::Discard;
    QCOMPARE(editor.checkedSeries(2).contains("3"), kept);
    QCOMPARE(editor.m("P1A", 2)->text(), kept ? "OEM A" : "");
    QCOMPARE(editor.widget->isModified(), kept && answer != QMessageBox::Save);
    if (answer == QMessageBox::Save)
        QCOMPARE(saved("A.json", 3, "is_not_for_sale") + saved("A.json", "P1A", "oem_model"),
                 "trueOEM A");
    else
        QCOMPARE(fileBytes(configPath("A.json")), bytesA);

    // Discarding (what the main window's Cancel does) and closing write nothing.
    const QByteArray before = fileBytes(configPath("A.json"));
    editor.widget->discardChanges();
    QVERIFY(!editor.widget->isModified());
    editor.widget.reset();
    QCOMPARE(fileBytes(configPath("A.json")), before);
}

// Edits are undone and redone one step at a time (a check all as one); Save to scheme
// writes what is shown; undoing back to the saved state clears the mark. Install codes are
// edits of the scheme like the others.
void TestSaleStatus::undoRedoThenSave()
{
    writeScheme("A.json", {});
    ModalAnswerer answerer;
    Editor editor;
    QUndoStack *undo = editor.widget->undoStack();
    editor.clickSeries(1);
    editor.setS(3, 3, true);
    editor.m("P1A", 2)->setText("first");
    editor.m("P1A", 2)->setText("second");
    answerer.act(typeName("code"));
    editor.click("pushButton_AddInstallCode");
    QCOMPARE(undo->count(), 4);
    undo->undo();
    undo->undo();
    QCOMPARE(editor.m("P1A", 2)->text(), "first");
    QCOMPARE(editor.installCode->count(), 0);
    undo->redo();
    editor.click("pushButton_Save");
    QVERIFY(!editor.widget->isModified());
    QCOMPARE(saved("A.json", 3, "is_user_skip") + "|" + saved("A.json", "P1A", "oem_model"),
             "true|second");
    QVERIFY(readScheme("A.json").value("install_code").toObject().isEmpty());

    // Past the save and back: the mark follows.
    undo->undo();
    QVERIFY(editor.widget->isModified());
    QCOMPARE(editor.m("P1A", 2)->text(), "first");
    undo->redo();
    QVERIFY(!editor.widget->isModified());

    // A filtered check all ticks only the rows shown, as one step, and saves the scheme.
    editor.productType->setCurrentIndex(0);
    editor.find<QLineEdit>("tableWidget_Series_find")->setText("mini");
    QCOMPARE(shown(editor.series), (QStringList{"5", "7"}));
    editor.click("pushButton_checkall");
    QCOMPARE(editor.checkedSeries(2), (QStringList{"2", "5", "7", "21"}));
    QCOMPARE(saved("A.json", 5, "is_not_for_sale") + saved("A.json", 1, "is_not_for_sale"),
             "truefalse");
    undo->undo();
    QCOMPARE(editor.checkedSeries(2), (QStringList{"2", "21"}));
    QVERIFY(editor.widget->isModified());
    QCOMPARE(answerer.count(), 1);
}

// The tables keep one row per record; rows not shown are hidden at height 0, and a click on
// another series or a product type refills the tables in place.
void TestSaleStatus::tablesKeepEveryRowAcrossRefills()
{
    QJsonArray reversed;
    const QStringList codes = {"P20", "Q'1", "XYZ", "ABC", "P2A", "P1B", "P1A"};
    const QList<int> seriesOf = {20, 10, 10, 10, 2, 1, 1};
    for (int i = 0; i < codes.size(); ++i)
        reversed.append(modelRecord(codes.at(i), seriesOf.at(i), "B-OEM-" + codes.at(i), false));
    // An unknown default indoor type leaves the combo as it was filled.
    writeScheme("A.json", {{"unit_priority", QJsonObject{{"idu_generate", "Nowhere"}}}});
    writeScheme("B.json", {{"idx_table", reversed}});
    writeScheme("C.json", {{"idx_table", QJsonArray{modelRecord("X1", 1, "C-X1", true),
                                                    modelRecord("X2", 1, "C-X2", false)}}});
    ModalAnswerer answerer;
    Editor editor;
    QTableWidget *models = editor.models;
    QCOMPARE(editor.iduType->currentIndex(), 0);

    // Series rows of other product types are hidden; the odu_type part of a category appears
    // only under the outdoor filter; only the model string can be edited, flags are ticked.
    QCOMPARE(hidden(editor.series), (QStringList{"10", "11", "20", "21", "30"}));
    QCOMPARE(rowTexts(editor.series, 1),
             (QStringList{"Top-Heat pump-VRF", "VRF", "Cooling-VRF", "Side-Mini", "Mini",
                          "X-Duct-IDU", "Cassette-IDU", "Wired-CTRL", "Wireless-CTRL", "HRV"}));
    const QList<QPair<int, QStringList>> filters = {
        {3, {"20", "21"}}, {4, {"30"}}, {2, {}}, {1, {"10", "11"}}};
    for (const auto &filter : filters) {
        editor.productType->setCurrentIndex(filter.first);
        QCOMPARE(shown(editor.series), filter.second);
        QCOMPARE(editor.series->rowCount(), 10);
    }
    QCOMPARE(editor.s(10, 1)->text(), "Duct-IDU");
    QCOMPARE(cellKinds(editor.series), "ttcce");

    // The model table: empty until a series is clicked, then every model of the scheme,
    // those of other series hidden.
    QCOMPARE(models->columnCount(), 0);
    editor.clickSeries(10);
    QCOMPARE(shown(models), (QStringList{"ABC", "XYZ", "Q'1"}));
    QCOMPARE(editor.checkedModels(4), QStringList{"XYZ"});
    QCOMPARE(cellKinds(models), "ttecc");

    // Values changed in hidden and shown rows, a selection and an open editor: the next click
    // keeps the values and leaves nothing selected or open.
    editor.m("P1A", 2)->setText("typed in a hidden row");
    editor.setM("P1B", 3, false);
    editor.m("ABC", 2)->setText("typed");
    models->setCurrentCell(editor.modelRow("XYZ"), 2);
    models->editItem(editor.m("XYZ", 2));
    QTRY_VERIFY(!models->viewport()->findChildren<QLineEdit *>().isEmpty());
    editor.clickSeries(11);
    QCOMPARE(shown(models), QStringList());
    QCOMPARE(hidden(models), (QStringList{"P1A", "P1B", "P2A", "ABC", "XYZ", "Q'1", "P20"}));
    QCOMPARE(rowTexts(models, 2).join(""), "typed in a hidden rowtyped");
    QCOMPARE(editor.checkedModels(3), QStringList());
    QCOMPARE(cellKinds(models), "ttecc");
    QVERIFY(!models->selectionModel()->hasSelection());
    QCOMPARE(models->currentItem(), nullptr);
    QTRY_VERIFY(models->viewport()->findChildren<QLineEdit *>().isEmpty());

    // Hidden rows are still saved.
    editor.productType->setCurrentIndex(0);
    editor.clickSeries(1);
    QCOMPARE(shown(models), (QStringList{"P1A", "P1B"}));
    editor.m("Q'1", 2)->setText("Q OEM");
    editor.setM("Q'1", 4, true);
    editor.click("pushButton_Save");
    QCOMPARE(saved("A.json", "Q'1", "oem_model,is_user_skip"), "Q OEM|true");

    // A scheme with as many models in another order: its rows, in its order, with its names.
    editor.scheme->setCurrentIndex(1);
    editor.clickSeries(1);
    QCOMPARE(rowTexts(models), codes);
    QCOMPARE(shown(models), (QStringList{"P1B", "P1A"}));
    QCOMPARE(editor.m("Q'1", 1)->text() + editor.m("Q'1", 2)->text(), "B-Q'1B-OEM-Q'1");
    QCOMPARE(editor.checkedModels(4), QStringList());

    // Schemes with more and with fewer models than the table held before.
    editor.scheme->setCurrentIndex(2);
    editor.clickSeries(1);
    QCOMPARE(models->rowCount(), 9);
    QCOMPARE(shown(models), (QStringList{"X1", "X2", "P1A", "P1B"}));
    QCOMPARE(editor.m("X1", 2)->text() + editor.m("P1A", 2)->text(), "C-X1");
    QCOMPARE(editor.checkedModels(3), (QStringList{"X1", "P1B"}));
    QCOMPARE(cellKinds(models), "ttecc");
    editor.scheme->setCurrentIndex(0);
    editor.clickSeries(1);
    QCOMPARE(rowTexts(models), (QStringList{"P1A", "P1B", "P2A", "ABC", "XYZ", "Q'1", "P20"}));
    QCOMPARE(shown(models), (QStringList{"P1A", "P1B"}));
    QCOMPARE(editor.m("Q'1", 2)->text(), "Q OEM");
    // Items kept from the earlier table stay in their column: only the OEM name is editable,
    // only the flags have a check box, and no text.
    QCOMPARE(cellKinds(models), "ttecc");
    QCOMPARE(answerer.count(), 0);
}

// The id lists: blanks and empty pieces are dropped from the series list, kept in the model
// list. Rows of other series and product types are never touched; the scheme file is written.
void TestSaleStatus::checkAllWithIdLists()
{
    writeScheme("A.json", {});
    ModalAnswerer answerer;
    Editor editor;
    const auto savedFlags = [](const QList<QJsonValue> &keys) {
        QString flags;
        for (const QJsonValue &key : keys)
            flags += saved("A.json", key, "is_not_for_sale").at(0);
        return flags;
    };
    // Sets an id list, presses a button, and gives the rows checked then.
    const auto press = [&](QLineEdit *ids, const char *text, const char *button) {
        ids->setText(text);
        editor.click(button);
        return ids == editor.seriesIds ? editor.checkedSeries(2) : editor.checkedModels(3);
    };
    // 21 is hidden, not for sale in the database.
    QCOMPARE(press(editor.seriesIds, " 3, ,5,,7 ", "pushButton_checkall"),
             (QStringList{"3", "5", "7", "21"}));
    QCOMPARE(savedFlags({1, 2, 3, 5, 7, 20, 21}), "fftttft");
    QCOMPARE(press(editor.seriesIds, " 3, ,5,,7 ", "pushButton_uncheckall"),
             (QStringList{"1", "2", "21"}));
    QCOMPARE(press(editor.seriesIds, " , ,", "pushButton_uncheckall"), QStringList{"21"});
    QCOMPARE(press(editor.seriesIds, "", "pushButton_checkall"),
             (QStringList{"1", "2", "3", "5", "7", "21"}));

    // " ABC" is not ABC; hidden P1B stays not for sale.
    editor.productType->setCurrentIndex(1);
    editor.clickSeries(10);
    QCOMPARE(press(editor.modelIds, " ABC,XYZ", "pushButton_checkall_2"),
             (QStringList{"P1B", "XYZ"}));
    QCOMPARE(press(editor.modelIds, "Q'1,,ABC", "pushButton_uncheckall_2"),
             (QStringList{"P1B", "XYZ"}));
    QCOMPARE(savedFlags({"XYZ", "Q'1", "ABC", "P1B"}), "tfft");
    QCOMPARE(press(editor.modelIds, ",", "pushButton_checkall_2"),
             (QStringList{"P1B", "ABC", "XYZ", "Q'1"}));
    QCOMPARE(answerer.count(), 0);
}

// Series 1: flags differ from the database, empty model string. 99: not in the database.
// Series 2 twice: the first keeps its string, the second (empty) takes the database's.
// Series 3 twice, both empty: only the first is filled. Product codes are compared exactly.
// Records lacking keys gain them on "Save to scheme"; with a product code twice, every row of
// that code writes into the first record (the last row wins), the second stays as it was.
void TestSaleStatus::saveToSchemeCompletesRecords()
{
    const QJsonArray series{seriesRecord(1, true, ""),
                            seriesRecord(99, true, "Old"),
                            seriesRecord(2, false, "Mine"),
                            seriesRecord(2, false, ""),
                            seriesRecord(3, false, ""),
                            seriesRecord(3, false, ""),
                            QJsonObject{{"id_series", 5}, {"model_string", "Own"}}};
    const QJsonArray models{
        modelRecord("P1A", 1, "OEM-1", true), modelRecord("GONE", 1, "OEM-G", false),
        modelRecord("abc", 10, "", false), QJsonObject{{"product_code", "P2A"}, {"id_series", 2}},
        modelRecord("P1B", 1, "one", false), modelRecord("P1B", 1, "two", true),
        // As many records as the database has models, some of them gone:
        // the count alone does not tell that models are missing.
        modelRecord("OLD1", 99, "", false), modelRecord("OLD2", 99, "", false)};
    writeScheme("A.json", {{"series_table", series}, {"idx_table", models}});
    ModalAnswerer answerer;
    Editor editor;
    const QStringList ids{"1", "99", "2", "2", "3", "3", "5", "7", "10", "11", "20", "21", "30"};
    QCOMPARE(rowTexts(editor.series), ids);
    QCOMPARE(rowTexts(editor.series, 4).mid(0, 7),
             (QStringList{"MS-1", "Old", "Mine", "MS-2", "MS-3", "", "Own"}));
    // Appended series carry the database flags.
    QCOMPARE(editor.checkedSeries(2), (QStringList{"1", "99", "21"}));
    QCOMPARE(editor.checkedSeries(3), QStringList{"10"});
    editor.clickSeries(1);
    QCOMPARE(shown(editor.models), (QStringList{"P1A", "GONE", "P1B", "P1B"}));
    editor.models->item(5, 2)->setText("three");
    editor.click("pushButton_Save");

    const QJsonArray savedSeries = savedTable("A.json", "series_table");
    QCOMPARE(column(savedSeries, "id_series"), ids);
    QCOMPARE(saved("A.json", 1, "model_string,is_not_for_sale"), "MS-1|true");
    QCOMPARE(fields(savedSeries.at(6), "model_string,is_not_for_sale,is_user_skip"),
             "Own|false|false");
    const QJsonArray savedModels = savedTable("A.json", "idx_table");
    QCOMPARE(column(savedModels, "product_code"),
             (QStringList{"P1A", "GONE", "abc", "P2A", "P1B", "P1B", "OLD1", "OLD2", "ABC", "XYZ",
                          "Q'1", "P20"}));
    QCOMPARE(fields(savedModels.at(0), "oem_model,is_not_for_sale"), "OEM-1|true");
    const QString flags = "oem_model,is_not_for_sale,is_user_skip";
    QCOMPARE(fields(savedModels.at(3), flags + ",base_model"), "|false|false|");
    QVERIFY(!savedModels.at(3).toObject().contains("base_model"));
    QCOMPARE(fields(savedModels.at(4), flags), "three|true|false");
    QCOMPARE(savedModels.at(5), models.at(5));
    QCOMPARE(fields(savedModels.at(9), "is_user_skip,oem_model,base_model,id_series"),
             "true||IDU-X|10");
    QCOMPARE(answerer.count(), 0);
}

namespace {

// One round of edits and "Save to Db" presses, with or without another user saving between.
struct DbCase
{
    QString steps;       // see runSteps()
    QString theirs;      // the statements (";") the other user's save (X) runs
    QString question;    // parts ("|") of the one box shown, "title: text"; empty: no box
    int answer;          // the button pressed on it
    QString changed;     // what the database gained (+) and lost (-) in all
    QString history;     // the rows this user's saves added to the history
    QString shown;       // series 3's model string|the series not for sale; empty: not looked at
    int statements = -1; // of the last save, history included; -1: not counted
    int writes = -1;
};

const QString kS3 = "__product_series|3 (Cooling-VRF)|3|";
const QString kP1A = "__product_idx|1 (Top-Heat pump-VRF)|P1A|";

QString theirSeries(const QString &set, int id)
{
    return QString("update __product_series set %1 where id_series = %2").arg(set).arg(id);
}
QString theirModel(const QString &set, const QString &code)
{
    return QString("update __product_idx set %1 where product_code = '%2'").arg(set, code);
}

QStringList dbRows(const QString &db)
{
    return sqlRows(db, "select id_series, is_not_for_sale, is_user_skip, model_string from "
                       "__product_series") +
           sqlRows(db, "select product_code, is_not_for_sale, is_user_skip from __product_idx");
}

QStringList historyRows(const QString &db)
{
    return sqlRows(db, "select table_name, series, row_key, column_name, old_value, new_value "
                       "from maintainer_audit order by changed_at, ID");
}

// Steps: D presses "Save to Db" (after noting the edits listed as pending and the database), =
// checks that the database holds what it held before the last D (and drops what that D
// listed), L<n> loads the n-th scheme (A, B, C), P<n> shows the n-th product type, c<id>
// clicks a series, A checks all shown series, s<id>:<column>=<0|1> and m<code>:<column>=<0|1>
// tick a series or model cell, t<id>=<text> types a model string, O saves the tab (the main
// window's OK: the scheme file only), X runs `theirs` on a connection of its own (another user
// saving), R makes the database refuse updates of XYZ and r stops that. Returns the edits
// listed before the saves.
QStringList runSteps(Editor &editor, const QString &steps, const QString &db, const QString &theirs)
{
    QStringList pending;
    QByteArray beforeSave;
    int listedBefore = 0;
    for (const QString &step : steps.split(' ')) {
        const QString arg = step.mid(1);
        if (step == "D") {
            listedBefore = pending.size();
            for (const HAuditEntry &e : editor.widget->pendingEdits())
                pending.append(QStringList{e.table, e.series, e.rowKey, e.column,
                                           e.oldValue.toString(), e.newValue.toString()}
                                   .join('|'));
            beforeSave = databaseState(db);
            HDbFind::getDb()->resetStatementCounts();
            editor.click("pushButton_SaveDb");
        } else if (step == "=") {
            [&] { QVERIFY2(databaseState(db) == beforeSave, "a save that failed wrote"); }();
            pending = pending.mid(0, listedBefore);
        } else if (step == "O") {
            HDbFind::getDb()->resetStatementCounts();
            editor.widget->save();
        } else if (step == "A") {
            editor.click("pushButton_checkall");
        } else if (step == "X" || step == "R" || step == "r") {
            const QStringList sql =
                step == "X"   ? theirs.split(';')
                : step == "R" ? refusingTriggers("__product_idx", {"update"}, "XYZ is locked",
                                                 "new.product_code = 'XYZ'")
                              : droppingTriggers("__product_idx", {"update"});
            [&] { QVERIFY(execSql(db, sql)); }();
        } else if (step.startsWith('P')) {
            editor.productType->setCurrentIndex(arg.toInt());
        } else if (step.startsWith('L')) {
            editor.scheme->setCurrentIndex(arg.toInt());
        } else if (step.startsWith('c')) {
            editor.clickSeries(arg.toInt());
        } else if (step.startsWith('t')) {
            editor.s(arg.section('=', 0, 0).toInt(), 4)->setText(arg.section('=', 1));
        } else {
            const QString key = arg.section(':', 0, 0);
            const int column = arg.section(':', 1).section('=', 0, 0).toInt();
            const bool on = arg.section('=', 1) == "1";
            if (step.startsWith('s'))
                editor.setS(key.toInt(), column, on);
            else
                editor.setM(key, column, on);
        }
    }
    return pending;
}

} // namespace

Q_DECLARE_METATYPE(DbCase)

void TestSaleStatus::saveToDb_data()
{
    // Scheme A is empty (the database's values), B has series 1 and model P2A not for sale, C
    // has P1B twice.
    QTest::addColumn<DbCase>("c");
    const auto mine = [](const char *name, const QString &steps, const QString &changed,
                         const QString &history, int statements, int writes) {
        QTest::newRow(name) << DbCase{steps, "", "", 0, changed, history, "", statements, writes};
    };
    const auto theirs = [](const char *name, const QString &steps, const QString &sql,
                           const QString &question, int answer, const QString &changed,
                           const QString &history, const QString &shown) {
        QTest::newRow(name) << DbCase{steps, sql, question, answer, changed, history, shown};
    };
    const int none = 0, cancel = QMessageBox::Cancel, reload = HEditorPage::kReload,
              overwrite = HEditorPage::kOverwrite;
    const QString s1 = "__product_series|1 (S)|1|", s10 = "__product_series|10 (Duct-IDU)|10|";

    // Only the values that differ from what the tab last read or wrote are written, one
    // update per row, and nothing at all for no change.
    mine("no edit", "D D", "", "", 0, 0);
    mine("one edit, saved twice", "s3:2=1 D D", "+3|1|0|MS-3 -3|0|0|MS-3",
         kS3 + "is_not_for_sale|0|1", 0, 0);
    mine("two fields of a row before the first save", "s3:3=1 t3=O'Neil D",
         "+3|0|1|O'Neil -3|0|0|MS-3", kS3 + "is_user_skip|0|1 " + kS3 + "model_string|MS-3|O'Neil",
         2, 2);
    mine("OK writes the scheme, not the database", "s3:2=1 O", "", "", 0, 0);
    mine("edited, undone by hand", "D s3:2=1 s3:2=0 D", "", "", 0, 0);
    mine("model edited after a save", "c1 D mP1A:3=1 D", "+P1A|1|0 -P1A|0|0",
         kP1A + "is_not_for_sale|0|1", 2, 2);
    // The model table's edits go into the scheme in memory on a switch of series, and come
    // back from it.
    mine("model edit kept across a series switch", "c1 mP1A:4=1 c2 D", "+P1A|0|1 -P1A|0|0",
         kP1A + "is_user_skip|0|1", 2, 2);
    mine("check all after a save", "D A D",
         "+1|1|0|MS-1 +3|1|0|MS-3 +5|1|0|MS-5 +7|1|0|MS-7 -1|0|0|MS-1 -3|0|0|MS-3 "
         "-5|0|0|MS-5 -7|0|0|MS-7",
         "__product_series|1 (Top-Heat pump-VRF)|1|is_not_for_sale|0|1 " + kS3 +
             "is_not_for_sale|0|1 __product_series|5 (Side-Mini)|5|is_not_for_sale|0|1 "
             "__product_series|7 (Mini)|7|is_not_for_sale|0|1",
         5, 5);
    // The models of a scheme are written without a click on a series.
    mine("another scheme after a save", "D L1 D", "+1|1|0|S'1 +P2A|1|0 -1|0|0|MS-1 -P2A|0|0",
         s1 + "is_not_for_sale|0|1 " + s1 +
             "model_string|MS-1|S'1 "
             "__product_idx|2 (VRF)|P2A|is_not_for_sale|0|1",
         3, 3);
    // The last row of a doubled code wins, as it does in the scheme.
    mine("doubled code, first row edited", "L2 c1 D mP1B:4=1 D", "", "", 0, 0);
    // A refused save (R) writes nothing, leaves no transaction open and keeps the edits for
    // the next one, which writes the rows of other product types too.
    theirs("refused, then saved", "L1 P1 s10:3=0 t10= c10 mQ'1:4=1 mXYZ:3=1 R D = r D", "",
           "Warning: Nothing was saved to the database: |XYZ is locked", none,
           "+10|0|0| +1|1|0|S'1 +P2A|1|0 +Q'1|0|1 +XYZ|1|1 -10|0|1|MS-10 -1|0|0|MS-1 "
           "-P2A|0|0 -Q'1|0|0 -XYZ|0|1",
           s1 + "is_not_for_sale|0|1 " + s1 + "model_string|MS-1|S'1 " + s10 + "is_user_skip|1|0 " +
               s10 +
               "model_string|MS-10| __product_idx|2 (VRF)|P2A|is_not_for_sale|0|1 "
               "__product_idx|10 (Duct-IDU)|XYZ|is_not_for_sale|0|1 "
               "__product_idx|10 (Duct-IDU)|Q'1|is_user_skip|0|1",
           "");

    // The other user (X) saves after this user's edits and before this user's save (D): a
    // row they changed is a conflict (nothing written until the user answers), other rows
    // both land, and their value equal to this user's is no conflict.
    theirs("other series, both land", "s3:2=1 X D", theirSeries("is_not_for_sale = 1", 5), "", none,
           "+3|1|0|MS-3 +5|1|0|MS-5 -3|0|0|MS-3 -5|0|0|MS-5", kS3 + "is_not_for_sale|0|1",
           "MS-3|2,3,21");
    theirs("other model, both land", "c1 mP1A:3=1 X D", theirModel("is_user_skip = 1", "P1B"), "",
           none, "+P1A|1|0 +P1B|1|1 -P1A|0|0 -P1B|1|0", kP1A + "is_not_for_sale|0|1", "MS-3|2,21");
    theirs("same value, no question", "s3:2=1 t3=Same X D",
           theirSeries("is_not_for_sale = 1, model_string = 'Same'", 3), "", none,
           "+3|1|0|Same -3|0|0|MS-3", "", "Same|2,3,21");
    theirs("same value, the rest written", "s3:2=1 s3:3=1 X D",
           theirSeries("is_not_for_sale = 1", 3), "", none, "+3|1|1|MS-3 -3|0|0|MS-3",
           kS3 + "is_user_skip|0|1", "MS-3|2,3,21");
    // A flag set as another program writes it (-1) is seen as set: no conflict with it. The
    // other user saved before this user loaded.
    theirs("true as -1, no question", "X s3:2=1 D", theirSeries("is_user_skip = -1", 3), "", none,
           "+3|1|-1|MS-3 -3|0|0|MS-3", kS3 + "is_not_for_sale|0|1", "MS-3|2,3,21");
    theirs("their other field of the row, cancel",
           "s3:2=1 X D =", theirSeries("is_user_skip = 1", 3),
           "3 (Cooling-VRF) \u2014 3: user skip now 1, was 0", cancel, "+3|0|1|MS-3 -3|0|0|MS-3",
           "", "MS-3|2,3,21");
    theirs("model, their other field, cancel",
           "c1 mP1A:3=1 X D =", theirModel("is_user_skip = 1", "P1A"),
           "1 (Top-Heat pump-VRF) \u2014 P1A: user skip now 1, was 0", cancel, "+P1A|0|1 -P1A|0|0",
           "", "MS-3|2,21");
    theirs("removed model, cancel",
           "c1 mP1A:3=1 s3:2=1 X D =", "delete from __product_idx where product_code = 'P1A'",
           "P1A: removed by another user", cancel, "-P1A|0|0", "", "MS-3|2,3,21");
    // A model removed before a load is no longer stored: ticking it writes nothing and asks
    // nothing (the scheme keeps its record).
    theirs("model removed before a load", "L1 X L0 L1 c2 mP2A:4=1 D",
           "delete from __product_idx where product_code = 'P2A'", "", none,
           "+1|1|0|S'1 -1|0|0|MS-1 -P2A|0|0",
           s1 + "is_not_for_sale|0|1 " + s1 + "model_string|MS-1|S'1", "");
    theirs("same model string, overwrite", "t3=Mine X D", theirSeries("model_string = 'Theirs'", 3),
           "model string now 'Theirs', was 'MS-3'", overwrite, "+3|0|0|Mine -3|0|0|MS-3",
           kS3 + "model_string|Theirs|Mine", "Mine|2,21");
    // Overwrite writes this user's edits only: their value of another field stays.
    theirs("their other field, overwrite", "s3:2=1 s5:2=1 X D", theirSeries("is_user_skip = 1", 3),
           "user skip now 1, was 0", overwrite, "+3|1|1|MS-3 +5|1|0|MS-5 -3|0|0|MS-3 -5|0|0|MS-5",
           kS3 + "is_not_for_sale|0|1 __product_series|5 (Side-Mini)|5|is_not_for_sale|0|1",
           "MS-3|2,3,5,21");
    // Reload shows their values of the series and of a model never shown (which the next
    // save must not put back), and keeps this user's tick.
    theirs("reload, models not shown yet", "s3:2=1 X D D",
           theirSeries("is_user_skip = 1", 3) + ';' + theirModel("is_not_for_sale = 1", "P1A"),
           "user skip now 1, was 0", reload, "+3|1|1|MS-3 +P1A|1|0 -3|0|0|MS-3 -P1A|0|0",
           kS3 + "is_not_for_sale|0|1", "MS-3|2,3,21");
    // Reload shows their model string and keeps the tick on 5, which the next save writes.
    theirs("reload keeps the rest", "t3=Mine s5:2=1 X D D",
           theirSeries("model_string = 'Theirs'", 3), "model string now 'Theirs', was 'MS-3'",
           reload, "+3|0|0|Theirs +5|1|0|MS-5 -3|0|0|MS-3 -5|0|0|MS-5",
           "__product_series|5 (Side-Mini)|5|is_not_for_sale|0|1", "Theirs|2,5,21");
}

void TestSaleStatus::saveToDb()
{
    QFETCH(DbCase, c);
    writeScheme("A.json", {});
    writeScheme("B.json", {{"series_table", QJsonArray{seriesRecord(1, true, "S'1")}},
                           {"idx_table", QJsonArray{modelRecord("P2A", 2, "", true)}}});
    writeScheme("C.json", {{"idx_table", QJsonArray{modelRecord("P1B", 1, "one", false),
                                                    modelRecord("P1B", 1, "two", true)}}});
    const QMap<QString, QByteArray> schemes = folderFiles(appFolder("config"));
    // The history table exists, as after the first save: the counts are those of every save.
    QString error;
    QVERIFY2(HAuditLog::append(HDbFind::getDb(), {{"t", "s", "k", "c", {}, {}}}, &error),
             qPrintable(error));
    QVERIFY(execSql(m_db, {"delete from maintainer_audit"}));
    const QStringList before = dbRows(m_db);
    ModalAnswerer answerer;
    answerer.setDefaultAnswer(QMessageBox::StandardButton(c.answer ? c.answer : QMessageBox::Ok));
    // X first: the other user saved before this user loaded.
    const bool theirsFirst = c.steps.startsWith("X ");
    if (theirsFirst)
        QVERIFY(execSql(m_db, c.theirs.split(';')));
    Editor editor;
    const QStringList pending =
        runSteps(editor, theirsFirst ? c.steps.mid(2) : c.steps, m_db, c.theirs);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(answerer.count() > 0, !c.question.isEmpty());
    const QString box = c.question.isEmpty()
                            ? QString()
                            : answerer.seen().first().title + ": " + answerer.seen().first().text;
    for (const QString &part : c.question.split('|', Qt::SkipEmptyParts))
        QVERIFY2(box.contains(part), qPrintable(box));
    QCOMPARE(rowChanges(before, dbRows(m_db)).join(' '), c.changed);
    QCOMPARE(historyRows(m_db).join(' '), c.history);
    // Without another user, the Changes view listed what the history got.
    if (c.theirs.isEmpty())
        QCOMPARE(pending.join(' '), c.history);
    if (c.statements >= 0) {
        QCOMPARE(HDbFind::getDb()->writeStatementCount(), quint64(c.writes));
        QCOMPARE(HDbFind::getDb()->statementCount(), quint64(c.statements));
    }
    if (!c.shown.isEmpty()) {
        // By id: a server may return rows changed before the load in another order.
        QStringList checked = editor.checkedSeries(2);
        std::sort(checked.begin(), checked.end(),
                  [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
        QCOMPARE(editor.s(3, 4)->text() + "|" + checked.join(','), c.shown);
    }
    // What Cancel or OK left is still pending; everything else was saved. The database save
    // leaves the schemes alone (OK and check all write them).
    QCOMPARE(editor.widget->pendingEdits().isEmpty(),
             c.answer != QMessageBox::Cancel && !c.steps.endsWith('O'));
    if (!c.steps.contains(QRegularExpression("[OA]")))
        QCOMPARE(folderFiles(appFolder("config")), schemes);
}

QTEST_MAIN(TestSaleStatus)
#include "tst_salestatus.moc"
