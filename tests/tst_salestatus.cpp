// The sale status tables: filters, model table, check all, Save to scheme and Save to Db.

#include "salestatusfixture.h"

#include "hdatabase.h"

#include <QtTest>

using namespace SaleStatusFixture;

class TestSaleStatus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void flagsRoundTripThroughScheme();
    void filterCategoriesAndModelTable();
    void checkAllWithIdLists();
    void refilledTablesKeepEveryRow();
    void saveToSchemeWithPartialAndDoubledRecords();
    void saveToDbWritesEveryRow();
    void failingSaveToDbChangesNothing();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestSaleStatus::init()
{
    startClean(m_dir, &m_db);
}

void TestSaleStatus::cleanup()
{
    finishClean();
}

void TestSaleStatus::flagsRoundTripThroughScheme()
{
    writeScheme("A.json", {});
    writeScheme("B.json", {});
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(editor.scheme->currentText(), "A.json");

    // A tick without "Save to scheme" is lost by a product type change and a scheme switch.
    editor.setS(3, 2, true);
    editor.productType->setCurrentIndex(1);
    editor.productType->setCurrentIndex(0);
    QVERIFY(!editor.sOn(3, 2));
    editor.setS(3, 2, true);
    editor.scheme->setCurrentIndex(1);
    editor.scheme->setCurrentIndex(0);
    QVERIFY(!editor.sOn(3, 2));

    editor.setS(3, 2, true);
    editor.setS(2, 2, false);
    editor.s(5, 4)->setText("It's new");
    editor.clickSeries(1);
    QCOMPARE(shown(editor.models), (QStringList{"P1A", "P1B"}));
    editor.m("P1A", 2)->setText("OEM \"A\"");
    editor.setM("P1A", 4, true);
    editor.iduType->setCurrentIndex(1);
    editor.click("pushButton_Save");
    QCOMPARE(answerer.count(), 0);
    QCOMPARE(readScheme(configPath("A.json")).value("unit_priority")["idu_generate"], "Cassette");

    // After a product type change every series row is still written, shown or not.
    editor.productType->setCurrentIndex(3);
    editor.setS(20, 3, true);
    editor.click("pushButton_Save");
    QCOMPARE(saved("A.json", 20, "is_user_skip"), "true");
    QCOMPARE(saved("A.json", 3, "is_not_for_sale"), "true");
    QCOMPARE(saved("A.json", 2, "is_not_for_sale"), "false");
    QCOMPARE(saved("A.json", 5, "model_string"), "It's new");
    editor.productType->setCurrentIndex(0);

    // Another scheme and back: the saved values come from the file.
    editor.scheme->setCurrentIndex(1);
    QCOMPARE(editor.models->rowCount(), 0);
    QCOMPARE(editor.iduType->currentText(), "Duct");
    editor.scheme->setCurrentIndex(0);
    QCOMPARE(editor.checkedSeries(2), (QStringList{"3", "21"}));
    QCOMPARE(editor.checkedSeries(3), (QStringList{"10", "20"}));
    QCOMPARE(editor.s(5, 4)->text(), "It's new");
    QCOMPARE(editor.iduType->currentText(), "Cassette");
    editor.clickSeries(1);
    QCOMPARE(editor.m("P1A", 2)->text(), "OEM \"A\"");
    QCOMPARE(editor.checkedModels(4), (QStringList{"P1A", "XYZ"}));

    // Rows left from A are not written into B: the model table was cleared by the switch.
    editor.scheme->setCurrentIndex(1);
    editor.click("pushButton_Save");
    QCOMPARE(saved("B.json", "P1A", "oem_model"), "");

    // The destructor writes the scheme held in memory.
    editor.setS(7, 3, true);
    editor.click("pushButton_Save");
    editor.widget.reset();
    QCOMPARE(saved("B.json", 7, "is_user_skip"), "true");
}

void TestSaleStatus::filterCategoriesAndModelTable()
{
    writeScheme("A.json", {{"unit_priority", QJsonObject{{"idu_generate", "Nowhere"}}}});
    ModalAnswerer answerer;
    Editor editor;
    // An unknown default indoor type leaves the combo as it was filled.
    QCOMPARE(editor.iduType->currentIndex(), 0);
    QCOMPARE(shown(editor.series), (QStringList{"1", "2", "3", "5", "7"}));
    QCOMPARE(editor.series->rowHeight(editor.seriesRow(1)), 30);
    // The odu_type part appears only under the outdoor filter.
    QCOMPARE(rowTexts(editor.series, 1),
             (QStringList{"Top-Heat pump-VRF", "VRF", "Cooling-VRF", "Side-Mini", "Mini",
                          "X-Duct-IDU", "Cassette-IDU", "Wired-CTRL", "Wireless-CTRL", "HRV"}));
    QVERIFY(!editable(editor.series, 0, 0) && !editable(editor.series, 0, 1));
    QVERIFY(editable(editor.series, 0, 4));
    QVERIFY(editor.series->item(0, 2)->flags() & Qt::ItemIsUserCheckable);

    const QList<QPair<int, QStringList>> filters = {
        {3, {"20", "21"}}, {4, {"30"}}, {2, {}}, {1, {"10", "11"}}};
    for (const auto &filter : filters) {
        editor.productType->setCurrentIndex(filter.first);
        QCOMPARE(shown(editor.series), filter.second);
        QCOMPARE(editor.series->rowCount(), 10);
    }
    QCOMPARE(editor.s(10, 1)->text(), "Duct-IDU");
    QCOMPARE(editor.s(1, 1)->text(), "Heat pump-VRF");

    // The model table: every model of the scheme, those of other series at height 0.
    QCOMPARE(editor.models->columnCount(), 0);
    editor.clickSeries(10);
    QCOMPARE(editor.models->rowCount(), 7);
    QCOMPARE(shown(editor.models), (QStringList{"ABC", "XYZ", "Q'1"}));
    QCOMPARE(editor.models->rowHeight(editor.modelRow("ABC")), 30);
    const int q = editor.modelRow("Q'1");
    QCOMPARE(editor.models->item(q, 1)->text(), "IDU-Q'1");
    QVERIFY(!editable(editor.models, q, 0) && !editable(editor.models, q, 1));
    QVERIFY(editable(editor.models, q, 2));
    QCOMPARE(editor.checkedModels(4), QStringList{"XYZ"});
    QVERIFY(allCellsFilled(editor.models));
    editor.clickSeries(11);
    QCOMPARE(shown(editor.models), QStringList());
    QCOMPARE(editor.models->rowCount(), 7);
    QCOMPARE(answerer.count(), 0);
}

void TestSaleStatus::checkAllWithIdLists()
{
    writeScheme("A.json", {});
    ModalAnswerer answerer;
    Editor editor;
    const auto savedFlags = [](const QStringList &keys) {
        QStringList flags;
        for (const QString &key : keys)
            flags.append(key.at(0).isDigit() ? saved("A.json", key.toInt(), "is_not_for_sale")
                                             : saved("A.json", key, "is_not_for_sale"));
        return flags.join(',');
    };
    // Series list: blanks and empty pieces are dropped; hidden rows (21 is not for sale in the
    // database) are untouched; the scheme file is written.
    const QList<QPair<const char *, QStringList>> steps = {
        {"pushButton_checkall", {"3", "5", "7", "21"}},
        {"pushButton_uncheckall", {"1", "2", "21"}}};
    editor.seriesIds->setText(" 3, ,5,,7 ");
    for (const auto &step : steps) {
        editor.click(step.first);
        QCOMPARE(editor.checkedSeries(2), step.second);
        QCOMPARE(savedFlags({"1", "2", "3", "5", "7", "20", "21"}),
                 step.second.contains("3") ? "false,false,true,true,true,false,true"
                                           : "true,true,false,false,false,false,true");
    }
    editor.seriesIds->setText(" , ,");
    editor.click("pushButton_uncheckall");
    QCOMPARE(editor.checkedSeries(2), QStringList{"21"});
    editor.seriesIds->clear();
    editor.click("pushButton_checkall");
    QCOMPARE(editor.checkedSeries(2), (QStringList{"1", "2", "3", "5", "7", "21"}));

    // Model list: blanks are kept, so " ABC" is not ABC; hidden P1B stays not for sale.
    editor.productType->setCurrentIndex(1);
    editor.clickSeries(10);
    editor.modelIds->setText(" ABC,XYZ");
    editor.click("pushButton_checkall_2");
    QCOMPARE(editor.checkedModels(3), (QStringList{"P1B", "XYZ"}));
    editor.modelIds->setText("Q'1,,ABC");
    editor.click("pushButton_uncheckall_2");
    QCOMPARE(editor.checkedModels(3), (QStringList{"P1B", "XYZ"}));
    QCOMPARE(savedFlags({"XYZ", "Q'1", "ABC", "P1B"}), "true,false,false,true");
    editor.modelIds->setText(",");
    editor.click("pushButton_checkall_2");
    QCOMPARE(editor.checkedModels(3), (QStringList{"P1B", "ABC", "XYZ", "Q'1"}));
    QCOMPARE(answerer.count(), 0);
}

// The tables keep one row per record; rows not shown are hidden at height 0, and a click on
// another series refills the model table in place.
void TestSaleStatus::refilledTablesKeepEveryRow()
{
    QJsonArray reversed;
    const QStringList codes = {"P20", "Q'1", "XYZ", "ABC", "P2A", "P1B", "P1A"};
    const QList<int> seriesOf = {20, 10, 10, 10, 2, 1, 1};
    for (int i = 0; i < codes.size(); ++i)
        reversed.append(modelRecord(codes.at(i), seriesOf.at(i), "B-OEM-" + codes.at(i), false));
    writeScheme("A.json", {});
    writeScheme("B.json", {{"idx_table", reversed}});
    writeScheme("C.json", {{"idx_table", QJsonArray{modelRecord("X1", 1, "C-X1", true),
                                                    modelRecord("X2", 1, "C-X2", false)}}});
    ModalAnswerer answerer;
    Editor editor;
    QTableWidget *models = editor.models;
    const auto hidden = [](QTableWidget *table) { return keys(table, Rows::Hidden); };

    // Series rows of other product types are hidden, and shown again with their height.
    QCOMPARE(hidden(editor.series), (QStringList{"10", "11", "20", "21", "30"}));
    editor.productType->setCurrentIndex(1);
    QCOMPARE(hidden(editor.series), (QStringList{"1", "2", "3", "5", "7", "20", "21", "30"}));
    QCOMPARE(editor.series->rowHeight(editor.seriesRow(10)), 30);
    QVERIFY(allCellsFilled(editor.series));
    editor.clickSeries(10);
    QCOMPARE(shown(models), (QStringList{"ABC", "XYZ", "Q'1"}));
    QCOMPARE(hidden(models), (QStringList{"P1A", "P1B", "P2A", "P20"}));
    QVERIFY(allCellsFilled(models));

    // Values changed in hidden and shown rows, a selection and an open editor: the next click
    // brings back the scheme's values and leaves nothing selected or open.
    const int abc = editor.modelRow("ABC");
    editor.m("P1A", 2)->setText("typed in a hidden row");
    editor.setM("P1B", 3, false);
    editor.m("ABC", 2)->setText("typed");
    editor.m("ABC", 0)->setText("changed key");
    models->setCurrentCell(editor.modelRow("XYZ"), 2);
    models->editItem(editor.m("XYZ", 2));
    QTRY_VERIFY(!models->viewport()->findChildren<QLineEdit *>().isEmpty());
    editor.clickSeries(11);
    QCOMPARE(shown(models), QStringList());
    QCOMPARE(hidden(models), (QStringList{"P1A", "P1B", "P2A", "ABC", "XYZ", "Q'1", "P20"}));
    QCOMPARE(rowTexts(models, 2).join(""), "");
    QCOMPARE(editor.checkedModels(3), QStringList{"P1B"});
    QVERIFY(!editable(models, abc, 0) && editable(models, abc, 2));
    QVERIFY(!models->selectionModel()->hasSelection());
    QCOMPARE(models->currentItem(), nullptr);
    QTRY_VERIFY(models->viewport()->findChildren<QLineEdit *>().isEmpty());
    editor.productType->setCurrentIndex(0);
    editor.clickSeries(1);
    QCOMPARE(shown(models), (QStringList{"P1A", "P1B"}));
    QCOMPARE(models->rowHeight(editor.modelRow("P1A")), 30);

    // Hidden rows are still saved, to the scheme and to the database.
    editor.m("Q'1", 2)->setText("Q OEM");
    editor.setM("Q'1", 4, true);
    editor.setS(30, 3, true);
    editor.click("pushButton_Save");
    editor.click("pushButton_SaveDb");
    QCOMPARE(saved("A.json", "Q'1", "oem_model,is_user_skip"), "Q OEM|true");
    QCOMPARE(saved("A.json", 30, "is_user_skip"), "true");
    QCOMPARE(sqlRows(m_db,
                     "select is_user_skip from __product_idx where product_code = 'Q''1' "
                     "union all select is_user_skip from __product_series where id_series = 30"),
             (QStringList{"1", "1"}));

    // A scheme with as many models in another order: its rows, in its order, with its names.
    editor.scheme->setCurrentIndex(1);
    editor.clickSeries(1);
    QCOMPARE(rowTexts(models), codes);
    QCOMPARE(shown(models), (QStringList{"P1B", "P1A"}));
    QCOMPARE(editor.m("P1A", 2)->text(), "B-OEM-P1A");
    QCOMPARE(editor.m("Q'1", 1)->text() + editor.m("Q'1", 2)->text(), "B-Q'1B-OEM-Q'1");
    QVERIFY(!editor.mOn("Q'1", 4));

    // Schemes with more and with fewer models than the table held before.
    editor.scheme->setCurrentIndex(2);
    QCOMPARE(models->rowCount(), 0);
    editor.clickSeries(1);
    QCOMPARE(models->rowCount(), 9);
    QCOMPARE(shown(models), (QStringList{"X1", "X2", "P1A", "P1B"}));
    QCOMPARE(editor.m("X1", 2)->text(), "C-X1");
    QVERIFY(editor.mOn("X1", 3));
    QCOMPARE(editor.m("P1A", 2)->text(), QString());
    QVERIFY(allCellsFilled(models));
    editor.scheme->setCurrentIndex(0);
    editor.clickSeries(1);
    QCOMPARE(models->rowCount(), 7);
    QCOMPARE(editor.modelRow("X1"), -1);
    QCOMPARE(shown(models), (QStringList{"P1A", "P1B"}));
    QCOMPARE(editor.m("Q'1", 2)->text(), "Q OEM");
    QVERIFY(allCellsFilled(models));
    for (int r = 0; r < models->rowCount(); ++r) {
        QVERIFY(editable(models, r, 2) && !editable(models, r, 3));
        QVERIFY(!models->item(r, 2)->data(Qt::CheckStateRole).isValid());
        QVERIFY(models->item(r, 3)->data(Qt::CheckStateRole).isValid());
    }
    QCOMPARE(answerer.count(), 0);
}

// Records lacking keys gain them on "Save to scheme"; with a product code twice, every row
// of that code writes into the first record (the last row wins), the second stays as it was.
void TestSaleStatus::saveToSchemeWithPartialAndDoubledRecords()
{
    const QJsonArray models{QJsonObject{{"product_code", "P1A"}, {"id_series", 1}},
                            modelRecord("P1B", 1, "one", false),
                            modelRecord("P1B", 1, "two", true)};
    const QJsonObject series{{"id_series", 3}, {"product_type", 0}, {"model_string", "Own"}};
    writeScheme("A.json", {{"series_table", QJsonArray{series}}, {"idx_table", models}});
    ModalAnswerer answerer;
    Editor editor;
    editor.clickSeries(1);
    QCOMPARE(shown(editor.models), (QStringList{"P1A", "P1B", "P1B"}));
    editor.models->item(2, 2)->setText("three");
    editor.click("pushButton_Save");

    const QJsonArray savedModels = savedTable("A.json", "idx_table");
    QCOMPARE(savedModels.size(), 8);
    const QString flags = "oem_model,is_not_for_sale,is_user_skip";
    QCOMPARE(fields(savedModels.at(0), flags + ",base_model"), "|false|false|");
    QVERIFY(!savedModels.at(0).toObject().contains("base_model"));
    QCOMPARE(fields(savedModels.at(1), flags), "three|true|false");
    QCOMPARE(savedModels.at(2), models.at(2));
    QCOMPARE(fields(savedTable("A.json", "series_table").at(0),
                    "model_string,is_not_for_sale,is_user_skip"),
             "Own|false|false");
    QCOMPARE(answerer.count(), 0);
}

void TestSaleStatus::saveToDbWritesEveryRow()
{
    // The scheme differs from the database: series 1 and model P2A not for sale.
    writeScheme("A.json", {{"series_table", QJsonArray{seriesRecord(1, true, "S'1")}},
                           {"idx_table", QJsonArray{modelRecord("P2A", 2, "", true)}}});
    ModalAnswerer answerer;
    Editor editor;
    const QString seriesSql = "select id_series, is_not_for_sale, is_user_skip, model_string "
                              "from __product_series order by id_series";
    const QString modelSql = "select product_code, is_not_for_sale, is_user_skip from "
                             "__product_idx order by product_code";
    const QStringList modelsBefore = sqlRows(m_db, modelSql);

    // Before a series is clicked only the series are written.
    editor.productType->setCurrentIndex(1);
    editor.click("pushButton_SaveDb");
    QCOMPARE(answerer.count(), 0);
    QCOMPARE(sqlRows(m_db, seriesSql).first(), "1|1|0|S'1");
    QCOMPARE(sqlRows(m_db, modelSql), modelsBefore);
    // Only what differs from the database is written: nothing, the second time.
    const quint64 writes = HDbFind::getDb()->writeStatementCount();
    editor.click("pushButton_SaveDb");
    QCOMPARE(HDbFind::getDb()->writeStatementCount(), writes);

    // Hidden rows of both tables are written with the values the table holds.
    editor.setS(10, 2, true);
    editor.setS(10, 3, false);
    editor.s(10, 4)->setText("");
    editor.s(11, 4)->setText("O'Neil's");
    editor.clickSeries(10);
    editor.setM("Q'1", 3, true);
    editor.setM("Q'1", 4, true);
    editor.click("pushButton_SaveDb");
    QVERIFY2(answerer.count() == 0, qPrintable(answerer.texts().join("/")));
    QCOMPARE(sqlRows(m_db, seriesSql),
             (QStringList{"1|1|0|S'1", "2|1|0|MS-2", "3|0|0|MS-3", "5|0|0|MS-5", "7|0|0|MS-7",
                          "10|1|0|", "11|0|0|O'Neil's", "20|0|0|MS-20", "21|1|0|", "30|0|0|"}));
    QCOMPARE(sqlRows(m_db, modelSql), (QStringList{"ABC|0|0", "P1A|0|0", "P1B|1|0", "P20|0|0",
                                                   "P2A|1|0", "Q'1|1|1", "XYZ|0|1"}));
    // The database save leaves the scheme alone.
    QCOMPARE(savedTable("A.json", "series_table").size(), 1);
}

void TestSaleStatus::failingSaveToDbChangesNothing()
{
    writeScheme("A.json", {});
    QVERIFY(execSql(m_db,
                    {"create trigger refuse_xyz before update on __product_idx when "
                     "new.product_code = 'XYZ' begin select raise(abort, 'XYZ is locked'); end"}));
    ModalAnswerer answerer;
    Editor editor;
    const auto dump = [&] {
        return sqlRows(m_db, "select * from __product_series order by id_series") +
               sqlRows(m_db, "select * from __product_idx order by product_code");
    };
    const QStringList before = dump();
    QCOMPARE(before.size(), 17);
    for (int id : {1, 2, 3, 5, 7})
        editor.setS(id, 2, true);
    editor.clickSeries(1);
    editor.setM("P1A", 3, true);
    editor.setM("XYZ", 3, true);
    editor.click("pushButton_SaveDb");
    QCOMPARE(answerer.count(), 1);
    QVERIFY2(lastBox(answerer).startsWith("Warning: ") &&
                 lastBox(answerer).contains("XYZ is locked"),
             qPrintable(lastBox(answerer)));
    QCOMPARE(dump(), before);
    // The connection is usable afterwards: no transaction was left open.
    QVERIFY(execSql(m_db, {"drop trigger refuse_xyz"}));
    editor.click("pushButton_SaveDb");
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(sqlValue(m_db, "select is_not_for_sale from __product_idx where product_code = 'P1A'"),
             1);
}

QTEST_MAIN(TestSaleStatus)
#include "tst_salestatus.moc"
