#include "testhelpers.h"

#include "hdbfind.h"
#include "heditproductsalestatus.h"
#include "hinputnamewidget.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace TestHelpers;

namespace {

// Series: id, type, category, sub_catalog, odu_type, model_string, not for sale, skip.
const QStringList kDatabaseRows = {
    "insert into __product_series (id_series, product_type, category, sub_catalog, odu_type, "
    "model_string, is_not_for_sale, is_user_skip) values "
    "(1, 0, 'VRF', 'Heat pump', 'Top', 'MS-1', 0, 0), (2, 0, 'VRF', '', '', 'MS-2', 1, 0), "
    "(3, 0, 'VRF', 'Cooling', '', 'MS-3', 0, 0), (5, 0, 'Mini', '', 'Side', 'MS-5', 0, 0), "
    "(7, 0, 'Mini', '', '', 'MS-7', 0, 0), (10, 1, 'IDU', 'Duct', 'X', 'MS-10', 0, 1), "
    "(11, 1, 'IDU', 'Cassette', '', '', 0, 0), (20, 10, 'CTRL', 'Wired', '', 'MS-20', 0, 0), "
    "(21, 10, 'CTRL', 'Wireless', '', '', 1, 0), (30, 11, 'HRV', '', '', '', 0, 0)",
    "insert into __product_idx (product_code, id_series, base_model, is_not_for_sale, "
    "is_user_skip) values ('P1A', 1, 'ODU-1A', 0, 0), ('P1B', 1, 'ODU-1B', 1, 0), "
    "('P2A', 2, 'ODU-2A', 0, 0), ('ABC', 10, 'IDU-A', 0, 0), ('XYZ', 10, 'IDU-X', 0, 1), "
    "('Q''1', 10, 'IDU-Q''1', 0, 0), ('P20', 20, 'CTRL-20', 0, 0)",
};

QString configPath(const QString &name)
{
    return appFolder("config/") + name;
}
QStringList configFiles()
{
    return QDir(appFolder("config")).entryList(QDir::Files, QDir::Name);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void writeScheme(const QString &name, const QJsonObject &scheme)
{
    writeFile(configPath(name), QJsonDocument(scheme).toJson());
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject readScheme(const QString &path)
{
    return QJsonDocument::fromJson(readBytes(path)).object();
}
QJsonArray savedTable(const QString &scheme, const QString &table)
{
    return readScheme(configPath(scheme)).value(table).toArray();
}

// The given fields of a record joined by "|"; an absent field gives an empty text.
QString fields(const QJsonValue &record, const QString &names)
{
    QStringList texts;
    for (const QString &name : names.split(','))
        texts.append(record.toObject().value(name).toVariant().toString());
    return texts.join('|');
}

// Fields of the first record of a scheme file whose id_series (number) or product_code (text)
// is `key`.
QString saved(const QString &scheme, const QJsonValue &key, const QString &names)
{
    const bool model = key.isString();
    for (const QJsonValue &record : savedTable(scheme, model ? "idx_table" : "series_table")) {
        if (record.toObject().value(model ? "product_code" : "id_series") == key)
            return fields(record, names);
    }
    return "no record";
}

QJsonObject seriesRecord(int id, bool notForSale, const QString &modelString)
{
    return {{"id_series", id},       {"product_type", 0},
            {"category", "S"},       {"sub_catalog", ""},
            {"odu_type", ""},        {"is_not_for_sale", notForSale},
            {"is_user_skip", false}, {"model_string", modelString}};
}

QJsonObject modelRecord(const QString &code, int series, const QString &oem, bool notForSale)
{
    return {{"id_series", series}, {"product_code", code},          {"base_model", "B-" + code},
            {"oem_model", oem},    {"is_not_for_sale", notForSale}, {"is_user_skip", false}};
}

// Answers an HInputNameWidget: types the text and presses OK (or Cancel).
ModalAnswerer::Action typeName(const QString &text, bool ok = true)
{
    return [text, ok](QWidget *widget) {
        auto *edit = widget->findChild<QLineEdit *>("lineEdit_name");
        auto *box = widget->findChild<QDialogButtonBox *>("buttonBox");
        if (!edit || !box)
            return qobject_cast<QDialog *>(widget)->reject();
        edit->setText(text);
        box->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    };
}

ModalAnswerer::Action chooseFolder(const QString &folder)
{
    return [folder](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog)
            return qobject_cast<QDialog *>(widget)->reject();
        dialog->setDirectory(folder);
        dialog->selectFile(folder);
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

// "title: text" of the last message box or dialog seen.
QString lastBox(const ModalAnswerer &answerer)
{
    return answerer.seen().last().title + ": " + answerer.seen().last().text;
}

QStringList items(QComboBox *combo)
{
    return rowTexts(combo->view());
}
bool editable(QTableWidget *table, int row, int column)
{
    return table->item(row, column)->flags() & Qt::ItemIsEditable;
}

// Keys of the rows that are shown (height > 0), hidden (height 0 required), or checked.
enum class Rows { Shown, Hidden, Checked };
QStringList keys(QTableWidget *table, Rows which, int column = 0)
{
    QStringList keys;
    for (int r = 0; r < table->rowCount(); ++r) {
        if (table->isRowHidden(r) && table->rowHeight(r) != 0)
            return {QString("hidden row %1 has a height").arg(r)};
        if (which == Rows::Shown    ? table->rowHeight(r) > 0
            : which == Rows::Hidden ? table->isRowHidden(r)
                                    : table->item(r, column)->checkState() == Qt::Checked)
            keys.append(table->item(r, 0)->text());
    }
    return keys;
}
QStringList shown(QTableWidget *table)
{
    return keys(table, Rows::Shown);
}

bool allCellsFilled(QTableWidget *table)
{
    for (int r = 0; r < table->rowCount(); ++r) {
        for (int c = 0; c < table->columnCount(); ++c) {
            if (!table->item(r, c))
                return false;
        }
    }
    return true;
}

// The editor, its children, and the cells of series `id` / model `code`.
struct Editor
{
    Editor()
        : widget(new HEditProductSaleStatus)
    {
        widget->resize(1200, 800);
        widget->show();
    }
    template <typename T> T *find(const char *name) const { return widget->findChild<T *>(name); }
    void click(const char *name) const
    {
        QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton);
    }
    int seriesRow(int id) const { return rowTexts(series).indexOf(QString::number(id)); }
    int modelRow(const QString &code) const { return rowTexts(models).indexOf(code); }
    QTableWidgetItem *s(int id, int column) const { return series->item(seriesRow(id), column); }
    QTableWidgetItem *m(const QString &code, int column) const
    {
        return models->item(modelRow(code), column);
    }
    bool sOn(int id, int column) const { return s(id, column)->checkState() == Qt::Checked; }
    bool mOn(const QString &code, int column) const
    {
        return m(code, column)->checkState() == Qt::Checked;
    }
    void setS(int id, int column, bool on) const
    {
        s(id, column)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    void setM(const QString &code, int column, bool on) const
    {
        m(code, column)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    void clickSeries(int id) const { clickRow(series, seriesRow(id), 1); }
    QStringList checkedSeries(int column) const { return keys(series, Rows::Checked, column); }
    QStringList checkedModels(int column) const { return keys(models, Rows::Checked, column); }

    std::unique_ptr<HEditProductSaleStatus> widget;
    QComboBox *scheme = find<QComboBox>("comboBox_scheme");
    QComboBox *productType = find<QComboBox>("comboBox_ProductType");
    QComboBox *iduType = find<QComboBox>("comboBox_idu_generate");
    QComboBox *installCode = find<QComboBox>("comboBox_InstallCode");
    QTableWidget *series = find<QTableWidget>("tableWidget_Series");
    QTableWidget *models = find<QTableWidget>("tableWidget_Idx");
    QLineEdit *seriesIds = find<QLineEdit>("lineEdit_series_id_list");
    QLineEdit *modelIds = find<QLineEdit>("lineEdit_idx_id_list");
};

} // namespace

class TestSaleStatus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void inputNameDialog();
    void emptyStartWritesNothing();
    void listingNewAndDeletedSchemes();
    void unsafeNamesAreRefused_data();
    void unsafeNamesAreRefused();
    void upperCaseExtensionIsWrittenBack();
    void completionFromDatabase();
    void flagsRoundTripThroughScheme();
    void filterCategoriesAndModelTable();
    void checkAllWithIdLists();
    void refilledTablesKeepEveryRow();
    void saveToSchemeWithPartialAndDoubledRecords();
    void saveToDbWritesEveryRow();
    void failingSaveToDbChangesNothing();
    void installCodes();
    void exportSchemes();
    void unreadableSchemeIsNotOverwritten();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestSaleStatus::init()
{
    QVERIFY(m_dir.isValid());
    cleanAppFolders();
    m_db = m_dir.filePath("Product.mdb");
    QString error;
    QVERIFY2(createProductDb(m_db, kDatabaseRows, &error), qPrintable(error));
    useProductDb(m_db);
}

void TestSaleStatus::cleanup()
{
    HDbFind::closeDb();
    cleanAppFolders();
}

void TestSaleStatus::inputNameDialog()
{
    // The typed text is kept as typed; OK on an empty line keeps the initial name.
    const struct
    {
        const char *initial, *typed;
        bool ok;
        int result;
        const char *name;
    } cases[] = {{"", "  Brand 1 ", true, QDialog::Accepted, "  Brand 1 "},
                 {"initial", "", true, QDialog::Accepted, "initial"},
                 {"", "typed", false, QDialog::Rejected, ""}};
    ModalAnswerer answerer;
    for (const auto &c : cases) {
        HInputNameWidget dialog(c.initial, nullptr);
        answerer.act(typeName(c.typed, c.ok));
        dialog.exec();
        QCOMPARE(dialog.result(), c.result);
        QCOMPARE(dialog.name, QString(c.name));
    }
}

void TestSaleStatus::emptyStartWritesNothing()
{
    ModalAnswerer answerer;
    {
        Editor editor;
        QCOMPARE(editor.scheme->count() + editor.series->rowCount() + editor.models->rowCount(), 0);
        QCOMPARE(items(editor.iduType), (QStringList{"Duct", "Cassette"}));
        QCOMPARE(editor.iduType->currentIndex(), 0);
        QCOMPARE(answerer.count(), 0);
        for (const char *button : {"pushButton_Save", "pushButton_checkall",
                                   "pushButton_uncheckall_2", "pushButton_SaveDb"})
            editor.click(button);
        answerer.act(typeName("code"));
        editor.click("pushButton_AddInstallCode");
    }
    QCOMPARE(configFiles(), QStringList());
    QCOMPARE(answerer.count(), 1);
}

void TestSaleStatus::listingNewAndDeletedSchemes()
{
    const QJsonObject a{{"unit_priority", QJsonObject{{"idu_generate", "Cassette"}, {"other", 5}}},
                        {"install_code", QJsonObject{{"A-1", ""}}},
                        {"brand_extra", "kept"}};
    writeScheme("b.json", {});
    writeScheme("A.json", a);
    writeFile(configPath("c.txt"), "not a scheme");
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(items(editor.scheme), (QStringList{"A.json", "b.json"}));
    QCOMPARE(editor.iduType->currentText(), "Cassette");
    QCOMPARE(editor.installCode->currentText(), "A-1");

    // A new scheme: database values, no install codes, the current scheme's other keys.
    answerer.act(typeName("Brand1"));
    editor.click("pushButton_New");
    QCOMPARE(answerer.seen().last().title, "Input Brand Name");
    QCOMPARE(editor.scheme->currentText(), "Brand1.json");
    const QJsonObject brand1 = readScheme(configPath("Brand1.json"));
    QCOMPARE(brand1.value("install_code").toObject(), QJsonObject());
    QCOMPARE(brand1.value("series_table").toArray().size(), 10);
    QCOMPARE(brand1.value("idx_table").toArray().size(), 7);
    QCOMPARE(brand1.value("unit_priority"), a.value("unit_priority"));
    QCOMPARE(brand1.value("brand_extra").toString(), "kept");
    QCOMPARE(saved("Brand1.json", 2, "is_not_for_sale,model_string"), "true|MS-2");
    QCOMPARE(editor.series->rowCount(), 10);
    QCOMPARE(editor.installCode->count(), 0);

    // The same name, with or without the extension, is refused and nothing is written.
    const QByteArray before = readBytes(configPath("Brand1.json"));
    for (const char *name : {"Brand1", "Brand1.json"}) {
        answerer.act(typeName(name));
        editor.click("pushButton_New");
        QCOMPARE(lastBox(answerer), "Warning: The scheme name exists.");
    }
    QCOMPARE(readBytes(configPath("Brand1.json")), before);

    // ".json" is added unless the name ends with it exactly; a cancelled dialog creates nothing.
    answerer.act(typeName("Brand2.json"));
    editor.click("pushButton_New");
    answerer.act(typeName("Brand3.JSON"));
    editor.click("pushButton_New");
    QCOMPARE(editor.scheme->currentText(), "Brand3.JSON.json");
    answerer.act(typeName("Brand4", false));
    editor.click("pushButton_New");
    QCOMPARE(configFiles(), (QStringList{"A.json", "Brand1.json", "Brand2.json", "Brand3.JSON.json",
                                         "b.json", "c.txt"}));

    // Delete asks first; without a scheme it asks nothing and the destructor writes nothing.
    answerer.answer(QMessageBox::No);
    editor.click("pushButton_Delete");
    QCOMPARE(lastBox(answerer), "Question: Do you want to delete the scheme?");
    QVERIFY(QFile::exists(configPath("Brand3.JSON.json")));
    answerer.setDefaultAnswer(QMessageBox::Yes);
    editor.click("pushButton_Delete");
    QVERIFY(!QFile::exists(configPath("Brand3.JSON.json")));
    QCOMPARE(editor.scheme->currentText(), "A.json");
    for (int i = 0; i < 4; ++i)
        editor.click("pushButton_Delete");
    QCOMPARE(editor.scheme->count(), 0);
    answerer.clear();
    editor.click("pushButton_Delete");
    QCOMPARE(answerer.count(), 0);
    editor.widget.reset();
    QCOMPARE(configFiles(), QStringList{"c.txt"});
}

void TestSaleStatus::unsafeNamesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"../escaped", "..", "sub/name", "sub\\name", "/tmp/abs", "C:name",
                             "a*b", "CON", "a\tb", ".json"})
        QTest::newRow(name) << QString(name);
}

void TestSaleStatus::unsafeNamesAreRefused()
{
    QFETCH(QString, name);
    writeScheme("A.json", {});
    ModalAnswerer answerer;
    Editor editor;
    answerer.act(typeName(name));
    editor.click("pushButton_New");
    QCOMPARE(answerer.count(), 2);
    QCOMPARE(answerer.seen().last().className, "QMessageBox");
    QCOMPARE(answerer.seen().last().title, "Warning");
    QCOMPARE(configFiles(), QStringList{"A.json"});
    QVERIFY(!QFile::exists(appFolder("escaped.json")) && !QFile::exists("/tmp/abs.json"));
    QCOMPARE(editor.scheme->count(), 1);
}

void TestSaleStatus::upperCaseExtensionIsWrittenBack()
{
    writeScheme("D.JSON", {{"install_code", QJsonObject{{"k", ""}}}});
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(editor.scheme->currentText(), "D.JSON");
    editor.setS(7, 2, true);
    editor.click("pushButton_Save");
    QCOMPARE(configFiles(), QStringList{"D.JSON"});
    QCOMPARE(saved("D.JSON", 7, "is_not_for_sale"), "true");
    QTemporaryDir target;
    answerer.act(chooseFolder(target.path()));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.texts().last(), "Export success");
    QCOMPARE(QDir(target.path()).entryList(QDir::Files), QStringList{"D.JSON"});
}

void TestSaleStatus::completionFromDatabase()
{
    // Series 1: flags differ from the database, empty model string. 99: not in the database.
    // Series 2 twice: the first keeps its string, the second (empty) takes the database's.
    // Series 3 twice, both empty: only the first is filled.
    const QJsonArray series{seriesRecord(1, true, ""),      seriesRecord(99, true, "Old"),
                            seriesRecord(2, false, "Mine"), seriesRecord(2, false, ""),
                            seriesRecord(3, false, ""),     seriesRecord(3, false, "")};
    const QJsonArray models{modelRecord("P1A", 1, "OEM-1", true),
                            modelRecord("GONE", 1, "OEM-G", false),
                            modelRecord("abc", 10, "", false)};
    writeScheme("A.json", {{"series_table", series}, {"idx_table", models}});
    ModalAnswerer answerer;
    Editor editor;
    const QStringList ids{"1", "99", "2", "2", "3", "3", "5", "7", "10", "11", "20", "21", "30"};
    QCOMPARE(rowTexts(editor.series), ids);
    QCOMPARE(rowTexts(editor.series, 4).mid(0, 6),
             (QStringList{"MS-1", "Old", "Mine", "MS-2", "MS-3", ""}));
    // Appended series carry the database flags.
    QCOMPARE(editor.checkedSeries(2), (QStringList{"1", "99", "21"}));
    QCOMPARE(editor.checkedSeries(3), QStringList{"10"});

    editor.click("pushButton_Save");
    const QJsonArray savedSeries = savedTable("A.json", "series_table");
    QStringList savedIds, codes;
    for (const QJsonValue &record : savedSeries)
        savedIds.append(fields(record, "id_series"));
    QCOMPARE(savedIds, ids);
    QCOMPARE(fields(savedSeries.at(0), "model_string,is_not_for_sale"), "MS-1|true");
    QCOMPARE(fields(savedSeries.at(3), "model_string"), "MS-2");
    const QJsonArray savedModels = savedTable("A.json", "idx_table");
    for (const QJsonValue &record : savedModels)
        codes.append(fields(record, "product_code"));
    // Product codes are compared exactly: "abc" does not stand for "ABC".
    QCOMPARE(codes, (QStringList{"P1A", "GONE", "abc", "P1B", "P2A", "ABC", "XYZ", "Q'1", "P20"}));
    QCOMPARE(fields(savedModels.at(0), "oem_model,is_not_for_sale"), "OEM-1|true");
    QCOMPARE(fields(savedModels.at(6), "is_user_skip,oem_model,base_model,id_series"),
             "true||IDU-X|10");
    QCOMPARE(answerer.count(), 0);
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

void TestSaleStatus::installCodes()
{
    writeScheme("A.json", {{"install_code", QJsonObject{{"Z-9", ""}}}});
    writeScheme("B.json", {});
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(items(editor.installCode), QStringList{"Z-9"});

    // Codes are free text (JSON keys, not file names); a duplicate or a cancel adds nothing.
    answerer.act(typeName("../not a path"));
    editor.click("pushButton_AddInstallCode");
    QCOMPARE(answerer.seen().last().title, "Input Install Code");
    for (bool ok : {true, true, false}) {
        answerer.act(typeName("A-1", ok));
        editor.click("pushButton_AddInstallCode");
    }
    QCOMPARE(items(editor.installCode), (QStringList{"../not a path", "A-1", "Z-9"}));
    QCOMPARE(editor.installCode->currentIndex(), 0);
    // Only in memory until the scheme is saved.
    QCOMPARE(readScheme(configPath("A.json")).value("install_code").toObject().size(), 1);
    editor.click("pushButton_Save");
    QCOMPARE(readScheme(configPath("A.json")).value("install_code").toObject(),
             (QJsonObject{{"../not a path", ""}, {"A-1", ""}, {"Z-9", ""}}));

    answerer.clear();
    answerer.answer(QMessageBox::No);
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(answerer.texts(), QStringList{"Do you want to remove the install code?"});
    QCOMPARE(editor.installCode->count(), 3);
    editor.installCode->setCurrentText("A-1");
    answerer.answer(QMessageBox::Yes);
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(lastBox(answerer), "Notice: Remove success");
    QCOMPARE(items(editor.installCode), (QStringList{"../not a path", "Z-9"}));

    // A scheme without install codes empties the combo; removing then warns.
    editor.scheme->setCurrentText("B.json");
    QCOMPARE(editor.installCode->count(), 0);
    answerer.clear();
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(lastBox(answerer), "Warning: The install code is empty.");
    answerer.act(typeName("only"));
    editor.click("pushButton_AddInstallCode");
    answerer.answer(QMessageBox::Yes);
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(editor.installCode->count(), 0);
    QCOMPARE(editor.installCode->currentText(), QString());
}

void TestSaleStatus::exportSchemes()
{
    const QJsonObject a{{"install_code", QJsonObject{{"c1", ""}, {"安装码 07", ""}}},
                        {"series_table", QJsonArray{seriesRecord(1, true, "x")}},
                        {"unit_priority", QJsonObject{{"idu_generate", "Duct"}}},
                        {"brand_extra", 42}};
    writeScheme("A.json", a);
    writeScheme("B.json", {{"idx_table", QJsonArray()}});
    writeFile(configPath("C.json"), "{ \"install_code\": ");
    const QByteArray sourceA = readBytes(configPath("A.json"));
    QTemporaryDir target;
    QVERIFY(target.isValid());
    writeFile(target.filePath("A.json"), "old file");

    ModalAnswerer answerer;
    Editor editor;
    // A code added in memory only is not exported; the corrupt source is named, not exported.
    answerer.act(typeName("unsaved"));
    editor.click("pushButton_AddInstallCode");
    answerer.clear();
    answerer.act(chooseFolder(target.path()));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.count(), 2);
    QCOMPARE(answerer.seen().first().title, "Please select folder path to save");
    const QString warning = lastBox(answerer);
    QVERIFY2(warning.startsWith("Warning: ") && warning.contains("C.json") &&
                 !warning.contains("A.json"),
             qPrintable(warning));
    QVERIFY(!QFile::exists(target.filePath("C.json")));

    const auto md5 = [](const QString &text) {
        return QString(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
    };
    QJsonObject expected = a;
    expected.insert("install_code", QJsonObject{{md5("c1"), ""}, {md5("安装码 07"), ""}});
    QCOMPARE(readScheme(target.filePath("A.json")), expected);
    QCOMPARE(readScheme(target.filePath("B.json")),
             (QJsonObject{{"idx_table", QJsonArray()}, {"install_code", QJsonObject()}}));
    QCOMPARE(readBytes(configPath("A.json")), sourceA);

    // Without problems the export reports success; a cancelled dialog does nothing.
    QVERIFY(QFile::remove(configPath("C.json")));
    answerer.act(chooseFolder(target.path()));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(lastBox(answerer), "Notice: Export success");
    answerer.clear();
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().className, "QFileDialog");

    // The scheme folder itself is refused: the codes there would be lost.
    answerer.act(chooseFolder(appFolder("config")));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.seen().last().title, "Warning");
    QCOMPARE(readBytes(configPath("A.json")), sourceA);

    // A target that cannot be written is reported; the other files are still exported.
    const QString blocked = target.filePath("blocked");
    QVERIFY(QDir().mkpath(blocked + "/A.json"));
    answerer.act(chooseFolder(blocked));
    editor.click("pushButton_ExportAllSchemes");
    QVERIFY(lastBox(answerer).startsWith("Warning: ") && lastBox(answerer).contains("A.json"));
    QVERIFY(QFile::exists(blocked + "/B.json"));

    // With no scheme files nothing is shown at all.
    editor.widget.reset();
    cleanAppFolders();
    Editor empty;
    answerer.clear();
    empty.click("pushButton_ExportAllSchemes");
    QTest::qWait(30);
    QCOMPARE(answerer.count(), 0);
}

void TestSaleStatus::unreadableSchemeIsNotOverwritten()
{
    const QByteArray broken = "{ \"series_table\": [ { \"id_series\": 1, ";
    writeFile(configPath("A.json"), broken);
    ModalAnswerer answerer;
    {
        // A warning names the file and the error; the editor shows the database values.
        Editor editor;
        QCOMPARE(answerer.count(), 1);
        const QString text = lastBox(answerer);
        QVERIFY2(text.startsWith("Warning: ") && text.contains("A.json") &&
                     text.contains("not valid JSON"),
                 qPrintable(text));
        QCOMPARE(editor.series->rowCount(), 10);
        QVERIFY(editor.sOn(2, 2));
    }
    QCOMPARE(readBytes(configPath("A.json")), broken);

    answerer.clear();
    {
        // "Save to scheme" keeps the original as A.json.bak, then the scheme is an ordinary one.
        Editor editor;
        editor.setS(3, 2, true);
        editor.click("pushButton_Save");
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(readBytes(configPath("A.json.bak")), broken);
        QCOMPARE(savedTable("A.json", "series_table").size(), 10);
        QCOMPARE(saved("A.json", 3, "is_not_for_sale"), "true");
        QCOMPARE(editor.scheme->count(), 1);
        editor.setS(5, 2, true);
        editor.click("pushButton_Save");
        QCOMPARE(answerer.count(), 1);
    }
    QCOMPARE(configFiles(), (QStringList{"A.json", "A.json.bak"}));
    QCOMPARE(saved("A.json", 5, "is_not_for_sale"), "true");
}

QTEST_MAIN(TestSaleStatus)
#include "tst_salestatus.moc"
