#include "testhelpers.h"

#include "hdbfind.h"
#include "heditproductsalestatus.h"
#include "hinputnamewidget.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace TestHelpers;

namespace {

// Series: id, type, category, sub_catalog, odu_type, model_string, not for sale, skip.
const QStringList kDatabaseRows = {
    QStringLiteral(
        "insert into __product_series (id_series, product_type, category, sub_catalog, odu_type, "
        "model_string, is_not_for_sale, is_user_skip) values "
        "(1, 0, 'VRF', 'Heat pump', 'Top', 'MS-1', 0, 0), (2, 0, 'VRF', '', '', 'MS-2', 1, 0), "
        "(3, 0, 'VRF', 'Cooling', '', 'MS-3', 0, 0), (5, 0, 'Mini', '', 'Side', 'MS-5', 0, 0), "
        "(7, 0, 'Mini', '', '', 'MS-7', 0, 0), (10, 1, 'IDU', 'Duct', 'X', 'MS-10', 0, 1), "
        "(11, 1, 'IDU', 'Cassette', '', '', 0, 0), (20, 10, 'CTRL', 'Wired', '', 'MS-20', 0, 0), "
        "(21, 10, 'CTRL', 'Wireless', '', '', 1, 0), (30, 11, 'HRV', '', '', '', 0, 0)"),
    QStringLiteral(
        "insert into __product_idx (product_code, id_series, base_model, is_not_for_sale, "
        "is_user_skip) values ('P1A', 1, 'ODU-1A', 0, 0), ('P1B', 1, 'ODU-1B', 1, 0), "
        "('P2A', 2, 'ODU-2A', 0, 0), ('ABC', 10, 'IDU-A', 0, 0), ('XYZ', 10, 'IDU-X', 0, 1), "
        "('Q''1', 10, 'IDU-Q''1', 0, 0), ('P20', 20, 'CTRL-20', 0, 0)"),
};

QString configPath(const QString &name)
{
    return appFolder(QStringLiteral("config/")) + name;
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

QStringList configFiles()
{
    return QDir(appFolder(QStringLiteral("config"))).entryList(QDir::Files, QDir::Name);
}

QJsonObject seriesRecord(int id, int type, bool notForSale, const QString &modelString)
{
    return QJsonObject{{QStringLiteral("id_series"), id},
                       {QStringLiteral("product_type"), type},
                       {QStringLiteral("category"), QStringLiteral("S%1").arg(id)},
                       {QStringLiteral("sub_catalog"), QString()},
                       {QStringLiteral("odu_type"), QString()},
                       {QStringLiteral("is_not_for_sale"), notForSale},
                       {QStringLiteral("is_user_skip"), false},
                       {QStringLiteral("model_string"), modelString}};
}

QJsonObject modelRecord(const QString &code, int series, const QString &oem, bool notForSale)
{
    return QJsonObject{{QStringLiteral("id_series"), series},
                       {QStringLiteral("product_code"), code},
                       {QStringLiteral("base_model"), QStringLiteral("B-") + code},
                       {QStringLiteral("oem_model"), oem},
                       {QStringLiteral("is_not_for_sale"), notForSale},
                       {QStringLiteral("is_user_skip"), false}};
}

// Record of `array` whose `key` equals `value` (the first one).
QJsonObject recordOf(const QJsonArray &array, const QString &key, const QJsonValue &value)
{
    for (const QJsonValue &record : array) {
        if (record.toObject().value(key) == value)
            return record.toObject();
    }
    return QJsonObject();
}

// Answers an HInputNameWidget: types the text and presses OK (or Cancel).
ModalAnswerer::Action typeName(const QString &text, bool ok = true)
{
    return [text, ok](QWidget *widget) {
        auto *edit = widget->findChild<QLineEdit *>(QStringLiteral("lineEdit_name"));
        auto *box = widget->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        if (!edit || !box) {
            qobject_cast<QDialog *>(widget)->reject();
            return;
        }
        edit->setText(text);
        box->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    };
}

// Answers the folder dialog with `folder`.
ModalAnswerer::Action chooseFolder(const QString &folder)
{
    return [folder](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog) {
            qobject_cast<QDialog *>(widget)->reject();
            return;
        }
        dialog->setDirectory(folder);
        dialog->selectFile(folder);
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

// The editor and the children the tests use.
struct Editor
{
    Editor()
        : widget(new HEditProductSaleStatus)
    {
        widget->resize(1200, 800);
        widget->show();
        scheme = find<QComboBox>("comboBox_scheme");
        productType = find<QComboBox>("comboBox_ProductType");
        iduType = find<QComboBox>("comboBox_idu_generate");
        installCode = find<QComboBox>("comboBox_InstallCode");
        series = find<QTableWidget>("tableWidget_Series");
        models = find<QTableWidget>("tableWidget_Idx");
        seriesIds = find<QLineEdit>("lineEdit_series_id_list");
        modelIds = find<QLineEdit>("lineEdit_idx_id_list");
    }
    template <typename T> T *find(const char *name) const
    {
        return widget->findChild<T *>(QString::fromLatin1(name));
    }
    void click(const char *button) const
    {
        QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
    }
    int seriesRow(int id) const { return row(series, QString::number(id)); }
    int modelRow(const QString &code) const { return row(models, code); }
    static int row(QTableWidget *table, const QString &key)
    {
        for (int r = 0; r < table->rowCount(); ++r) {
            if (table->item(r, 0) && table->item(r, 0)->text() == key)
                return r;
        }
        return -1;
    }
    static QStringList shown(QTableWidget *table)
    {
        QStringList keys;
        for (int r = 0; r < table->rowCount(); ++r) {
            if (table->rowHeight(r) > 0)
                keys.append(table->item(r, 0)->text());
        }
        return keys;
    }
    static bool checked(QTableWidget *table, int row, int column)
    {
        return table->item(row, column)->checkState() == Qt::Checked;
    }
    static void setChecked(QTableWidget *table, int row, int column, bool on)
    {
        table->item(row, column)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    void clickSeries(int id) const { clickRow(series, seriesRow(id), 1); }

    std::unique_ptr<HEditProductSaleStatus> widget;
    QComboBox *scheme, *productType, *iduType, *installCode;
    QTableWidget *series, *models;
    QLineEdit *seriesIds, *modelIds;
};

} // namespace

class TestSaleStatus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void inputNameDialog();
    void formAndEmptyStart();
    void listingAndNewSchemes();
    void unsafeNamesAreRefused_data();
    void unsafeNamesAreRefused();
    void deleteSchemes();
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
    void noSchemeWritesNothing();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestSaleStatus::init()
{
    QVERIFY(m_dir.isValid());
    cleanAppFolders();
    m_db = m_dir.filePath(QStringLiteral("Product.mdb"));
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
    ModalAnswerer answerer;
    {
        HInputNameWidget dialog(QString(), nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Input Brand Name"));
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("label_name"))->text(),
                 QStringLiteral("Name"));
        QCOMPARE(dialog.layout(),
                 dialog.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout")));
        QCOMPARE(dialog.layout()->contentsMargins(), QMargins(10, 10, 10, 10));
        answerer.act(typeName(QStringLiteral("  Brand 1 ")));
        dialog.exec();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.name, QStringLiteral("  Brand 1 "));
    }
    {
        // OK on an empty line keeps the initial name.
        HInputNameWidget dialog(QStringLiteral("initial"), nullptr);
        QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("lineEdit_name"))->text(),
                 QStringLiteral("initial"));
        answerer.act(typeName(QString()));
        dialog.exec();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.name, QStringLiteral("initial"));
    }
    {
        HInputNameWidget dialog(QString(), nullptr);
        answerer.act(typeName(QStringLiteral("typed"), false));
        dialog.exec();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.name, QString());
    }
}

void TestSaleStatus::formAndEmptyStart()
{
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(editor.widget->layout()->objectName(), QStringLiteral("verticalLayout_3"));
    QCOMPARE(editor.widget->layout()->contentsMargins(), QMargins(10, 10, 10, 10));
    QCOMPARE(editor.widget->windowTitle(), QStringLiteral("Set product sale status"));
    const QList<QPair<const char *, QString>> buttons = {
        {"pushButton_New", QStringLiteral("New")},
        {"pushButton_Delete", QStringLiteral("Delete")},
        {"pushButton_AddInstallCode", QStringLiteral("New InstallCode")},
        {"pushButton_RemoveInstallCode", QStringLiteral("Remove InstallCode")},
        {"pushButton_Save", QStringLiteral("Save to scheme")},
        {"pushButton_ExportAllSchemes", QStringLiteral("Export Schemes")},
        {"pushButton_SaveDb", QStringLiteral("Save to Db")},
        {"pushButton_export", QStringLiteral("Export")},
        {"pushButton_import", QStringLiteral("Import")},
        {"pushButton_checkall", QStringLiteral("Check All")},
        {"pushButton_uncheckall", QStringLiteral("unCheck All")},
        {"pushButton_checkall_2", QStringLiteral("Check All")},
        {"pushButton_uncheckall_2", QStringLiteral("unCheck All")}};
    for (const auto &button : buttons) {
        QVERIFY2(editor.find<QPushButton>(button.first), button.first);
        QCOMPARE(editor.find<QPushButton>(button.first)->text(), button.second);
    }
    QStringList types;
    for (int i = 0; i < editor.productType->count(); ++i)
        types.append(editor.productType->itemText(i));
    QCOMPARE(types, (QStringList{QStringLiteral("Outdoor Unit"), QStringLiteral("Indoor Unit"),
                                 QStringLiteral("Branch"), QStringLiteral("Controller"),
                                 QStringLiteral("HRV"), QStringLiteral("Accessory")}));

    // Empty scheme folder: both tables empty, no scheme, indoor sub-catalogs with entry 0.
    QCOMPARE(editor.scheme->count(), 0);
    QCOMPARE(editor.series->rowCount(), 0);
    QCOMPARE(editor.models->rowCount(), 0);
    QCOMPARE(editor.iduType->count(), 2);
    QCOMPARE(editor.iduType->itemText(0), QStringLiteral("Duct"));
    QCOMPARE(editor.iduType->itemText(1), QStringLiteral("Cassette"));
    QCOMPARE(editor.iduType->currentIndex(), 0);
    // The tables fill the tab.
    QVERIFY(editor.series->width() > 400);
    QVERIFY(editor.models->height() > 500);
    QCOMPARE(answerer.count(), 0);
}

void TestSaleStatus::listingAndNewSchemes()
{
    QJsonObject a{{QStringLiteral("unit_priority"),
                   QJsonObject{{QStringLiteral("idu_generate"), QStringLiteral("Cassette")},
                               {QStringLiteral("other"), 5}}},
                  {QStringLiteral("install_code"), QJsonObject{{QStringLiteral("A-1"), QString()}}},
                  {QStringLiteral("brand_extra"), QStringLiteral("kept")}};
    writeScheme(QStringLiteral("b.json"), QJsonObject());
    writeScheme(QStringLiteral("A.json"), a);
    writeFile(configPath(QStringLiteral("c.txt")), "not a scheme");

    ModalAnswerer answerer;
    Editor editor;
    QStringList listed;
    for (int i = 0; i < editor.scheme->count(); ++i)
        listed.append(editor.scheme->itemText(i));
    QCOMPARE(listed, (QStringList{QStringLiteral("A.json"), QStringLiteral("b.json")}));
    QCOMPARE(editor.scheme->currentText(), QStringLiteral("A.json"));
    QCOMPARE(editor.iduType->currentText(), QStringLiteral("Cassette"));
    QCOMPARE(editor.installCode->currentText(), QStringLiteral("A-1"));

    // A new scheme holds the database values, no install codes, and the current scheme's
    // other keys.
    answerer.act(typeName(QStringLiteral("Brand1")));
    editor.click("pushButton_New");
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Input Brand Name"));
    QVERIFY(QFile::exists(configPath(QStringLiteral("Brand1.json"))));
    QCOMPARE(editor.scheme->currentText(), QStringLiteral("Brand1.json"));
    const QJsonObject brand1 = readScheme(configPath(QStringLiteral("Brand1.json")));
    QCOMPARE(brand1.value(QStringLiteral("install_code")).toObject(), QJsonObject());
    QCOMPARE(brand1.value(QStringLiteral("series_table")).toArray().size(), 10);
    QCOMPARE(brand1.value(QStringLiteral("idx_table")).toArray().size(), 7);
    QCOMPARE(brand1.value(QStringLiteral("unit_priority")),
             a.value(QStringLiteral("unit_priority")));
    QCOMPARE(brand1.value(QStringLiteral("brand_extra")).toString(), QStringLiteral("kept"));
    const QJsonObject two = recordOf(brand1.value(QStringLiteral("series_table")).toArray(),
                                     QStringLiteral("id_series"), 2);
    QCOMPARE(two.value(QStringLiteral("is_not_for_sale")).toBool(), true);
    QCOMPARE(two.value(QStringLiteral("model_string")).toString(), QStringLiteral("MS-2"));
    QCOMPARE(editor.series->rowCount(), 10);
    QCOMPARE(editor.installCode->count(), 0);

    // The same name, with or without the extension, is refused and nothing is written.
    const QByteArray before = readBytes(configPath(QStringLiteral("Brand1.json")));
    for (const QString &name : {QStringLiteral("Brand1"), QStringLiteral("Brand1.json")}) {
        answerer.clear();
        answerer.act(typeName(name));
        editor.click("pushButton_New");
        QCOMPARE(answerer.texts().last(), QStringLiteral("The scheme name exists."));
        QCOMPARE(answerer.seen().last().title, QStringLiteral("Warning"));
    }
    QCOMPARE(readBytes(configPath(QStringLiteral("Brand1.json"))), before);

    // The extension is added only when the name does not end with ".json" exactly.
    answerer.act(typeName(QStringLiteral("Brand2.json")));
    editor.click("pushButton_New");
    answerer.act(typeName(QStringLiteral("Brand3.JSON")));
    editor.click("pushButton_New");
    QCOMPARE(editor.scheme->currentText(), QStringLiteral("Brand3.JSON.json"));
    // A cancelled dialog creates nothing.
    answerer.act(typeName(QStringLiteral("Brand4"), false));
    editor.click("pushButton_New");
    QCOMPARE(configFiles(),
             (QStringList{QStringLiteral("A.json"), QStringLiteral("Brand1.json"),
                          QStringLiteral("Brand2.json"), QStringLiteral("Brand3.JSON.json"),
                          QStringLiteral("b.json"), QStringLiteral("c.txt")}));
}

void TestSaleStatus::unsafeNamesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << QStringLiteral("../escaped");
    QTest::newRow("dots") << QStringLiteral("..");
    QTest::newRow("slash") << QStringLiteral("sub/name");
    QTest::newRow("backslash") << QStringLiteral("sub\\name");
    QTest::newRow("absolute") << QStringLiteral("/tmp/abs");
    QTest::newRow("colon") << QStringLiteral("C:name");
    QTest::newRow("star") << QStringLiteral("a*b");
    QTest::newRow("device") << QStringLiteral("CON");
    QTest::newRow("control") << QStringLiteral("a\tb");
    QTest::newRow("only extension") << QStringLiteral(".json");
}

void TestSaleStatus::unsafeNamesAreRefused()
{
    QFETCH(QString, name);
    writeScheme(QStringLiteral("A.json"), QJsonObject());
    ModalAnswerer answerer;
    Editor editor;
    answerer.act(typeName(name));
    editor.click("pushButton_New");
    QCOMPARE(answerer.count(), 2);
    QCOMPARE(answerer.seen().last().className, QStringLiteral("QMessageBox"));
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Warning"));
    QCOMPARE(configFiles(), QStringList{QStringLiteral("A.json")});
    QVERIFY(!QFile::exists(appFolder(QStringLiteral("escaped.json"))));
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/abs.json")));
    QCOMPARE(editor.scheme->count(), 1);
}

void TestSaleStatus::deleteSchemes()
{
    writeScheme(QStringLiteral("A.json"), QJsonObject());
    writeScheme(QStringLiteral("B.json"), QJsonObject());
    ModalAnswerer answerer;
    Editor editor;
    answerer.answer(QMessageBox::No);
    editor.click("pushButton_Delete");
    QCOMPARE(answerer.texts().last(), QStringLiteral("Do you want to delete the scheme?"));
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Question"));
    QVERIFY(QFile::exists(configPath(QStringLiteral("A.json"))));

    answerer.answer(QMessageBox::Yes);
    editor.click("pushButton_Delete");
    QVERIFY(!QFile::exists(configPath(QStringLiteral("A.json"))));
    QCOMPARE(editor.scheme->currentText(), QStringLiteral("B.json"));
    answerer.answer(QMessageBox::Yes);
    editor.click("pushButton_Delete");
    QCOMPARE(editor.scheme->count(), 0);
    QCOMPARE(configFiles(), QStringList());
    // Without a scheme, Delete asks nothing and the destructor writes nothing.
    answerer.clear();
    editor.click("pushButton_Delete");
    QCOMPARE(answerer.count(), 0);
    editor.widget.reset();
    QCOMPARE(configFiles(), QStringList());
}

void TestSaleStatus::upperCaseExtensionIsWrittenBack()
{
    writeScheme(QStringLiteral("D.JSON"),
                QJsonObject{{QStringLiteral("install_code"),
                             QJsonObject{{QStringLiteral("k"), QString()}}}});
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(editor.scheme->currentText(), QStringLiteral("D.JSON"));
    Editor::setChecked(editor.series, editor.seriesRow(7), 2, true);
    editor.click("pushButton_Save");
    QCOMPARE(configFiles(), QStringList{"D.JSON"});
    const QJsonArray series =
        readScheme(configPath(QStringLiteral("D.JSON"))).value("series_table").toArray();
    QCOMPARE(recordOf(series, "id_series", 7).value("is_not_for_sale").toBool(), true);

    QTemporaryDir target;
    answerer.act(chooseFolder(target.path()));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.texts().last(), QStringLiteral("Export success"));
    QCOMPARE(QDir(target.path()).entryList(QDir::Files), QStringList{"D.JSON"});
}

void TestSaleStatus::completionFromDatabase()
{
    // Series 1: flags differ from the database, empty model string. 99: not in the database.
    // Series 2 twice: the first keeps its string, the second (empty) takes the database's.
    // Series 3 twice, both empty: only the first is filled.
    QJsonArray series{seriesRecord(1, 0, true, QString()),
                      seriesRecord(99, 0, true, QStringLiteral("Old")),
                      seriesRecord(2, 0, false, QStringLiteral("Mine")),
                      seriesRecord(2, 0, false, QString()),
                      seriesRecord(3, 0, false, QString()),
                      seriesRecord(3, 0, false, QString())};
    QJsonArray models{modelRecord(QStringLiteral("P1A"), 1, QStringLiteral("OEM-1"), true),
                      modelRecord(QStringLiteral("GONE"), 1, QStringLiteral("OEM-G"), false),
                      modelRecord(QStringLiteral("abc"), 10, QString(), false)};
    writeScheme(QStringLiteral("A.json"), QJsonObject{{QStringLiteral("series_table"), series},
                                                      {QStringLiteral("idx_table"), models}});
    ModalAnswerer answerer;
    Editor editor;
    QStringList ids;
    for (int r = 0; r < editor.series->rowCount(); ++r)
        ids.append(editor.series->item(r, 0)->text());
    QCOMPARE(ids,
             (QStringList{"1", "99", "2", "2", "3", "3", "5", "7", "10", "11", "20", "21", "30"}));
    QCOMPARE(editor.series->item(0, 4)->text(), QStringLiteral("MS-1"));
    QVERIFY(Editor::checked(editor.series, 0, 2));
    QCOMPARE(editor.series->item(1, 4)->text(), QStringLiteral("Old"));
    QCOMPARE(editor.series->item(2, 4)->text(), QStringLiteral("Mine"));
    QCOMPARE(editor.series->item(3, 4)->text(), QStringLiteral("MS-2"));
    QCOMPARE(editor.series->item(4, 4)->text(), QStringLiteral("MS-3"));
    QCOMPARE(editor.series->item(5, 4)->text(), QString());
    // Appended series carry the database flags.
    QVERIFY(Editor::checked(editor.series, editor.seriesRow(10), 3));
    QVERIFY(Editor::checked(editor.series, editor.seriesRow(21), 2));
    QVERIFY(!Editor::checked(editor.series, editor.seriesRow(3), 2));

    editor.click("pushButton_Save");
    const QJsonObject saved = readScheme(configPath(QStringLiteral("A.json")));
    const QJsonArray savedSeries = saved.value(QStringLiteral("series_table")).toArray();
    QCOMPARE(savedSeries.size(), 13);
    QCOMPARE(savedSeries.at(1).toObject().value(QStringLiteral("id_series")).toInt(), 99);
    QCOMPARE(savedSeries.at(12).toObject().value(QStringLiteral("id_series")).toInt(), 30);
    QCOMPARE(savedSeries.at(0).toObject().value(QStringLiteral("model_string")).toString(),
             QStringLiteral("MS-1"));
    QCOMPARE(savedSeries.at(0).toObject().value(QStringLiteral("is_not_for_sale")).toBool(), true);
    QCOMPARE(savedSeries.at(3).toObject().value(QStringLiteral("model_string")).toString(),
             QStringLiteral("MS-2"));
    const QJsonArray savedModels = saved.value(QStringLiteral("idx_table")).toArray();
    QStringList codes;
    for (const QJsonValue &m : savedModels)
        codes.append(m.toObject().value(QStringLiteral("product_code")).toString());
    // Product codes are compared exactly: "abc" does not stand for "ABC".
    QCOMPARE(codes, (QStringList{"P1A", "GONE", "abc", "P1B", "P2A", "ABC", "XYZ", "Q'1", "P20"}));
    QCOMPARE(savedModels.at(0).toObject().value(QStringLiteral("oem_model")).toString(),
             QStringLiteral("OEM-1"));
    QCOMPARE(savedModels.at(0).toObject().value(QStringLiteral("is_not_for_sale")).toBool(), true);
    const QJsonObject xyz = savedModels.at(6).toObject();
    QCOMPARE(xyz.value(QStringLiteral("is_user_skip")).toBool(), true);
    QCOMPARE(xyz.value(QStringLiteral("oem_model")).toString(), QString());
    QCOMPARE(xyz.value(QStringLiteral("base_model")).toString(), QStringLiteral("IDU-X"));
    QCOMPARE(xyz.value(QStringLiteral("id_series")).toInt(), 10);
    QCOMPARE(answerer.count(), 0);
}

void TestSaleStatus::flagsRoundTripThroughScheme()
{
    writeScheme(QStringLiteral("A.json"), QJsonObject());
    writeScheme(QStringLiteral("B.json"), QJsonObject());
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(editor.scheme->currentText(), QStringLiteral("A.json"));

    // A tick without "Save to scheme" is lost by a product type change ...
    Editor::setChecked(editor.series, editor.seriesRow(3), 2, true);
    editor.productType->setCurrentIndex(1);
    editor.productType->setCurrentIndex(0);
    QVERIFY(!Editor::checked(editor.series, editor.seriesRow(3), 2));
    // ... and by switching schemes.
    Editor::setChecked(editor.series, editor.seriesRow(3), 2, true);
    editor.scheme->setCurrentIndex(1);
    editor.scheme->setCurrentIndex(0);
    QVERIFY(!Editor::checked(editor.series, editor.seriesRow(3), 2));

    Editor::setChecked(editor.series, editor.seriesRow(3), 2, true);
    Editor::setChecked(editor.series, editor.seriesRow(2), 2, false);
    editor.series->item(editor.seriesRow(5), 4)->setText(QStringLiteral("It's new"));
    editor.clickSeries(1);
    QCOMPARE(Editor::shown(editor.models), (QStringList{"P1A", "P1B"}));
    editor.models->item(editor.modelRow(QStringLiteral("P1A")), 2)
        ->setText(QStringLiteral("OEM \"A\""));
    Editor::setChecked(editor.models, editor.modelRow(QStringLiteral("P1A")), 4, true);
    editor.iduType->setCurrentIndex(1);
    editor.click("pushButton_Save");
    QCOMPARE(answerer.count(), 0);
    QCOMPARE(readScheme(configPath(QStringLiteral("A.json")))
                 .value("unit_priority")
                 .toObject()
                 .value("idu_generate")
                 .toString(),
             QStringLiteral("Cassette"));

    // After a product type change every series row is still written, shown or not.
    editor.productType->setCurrentIndex(3);
    Editor::setChecked(editor.series, editor.seriesRow(20), 3, true);
    editor.click("pushButton_Save");
    const QJsonArray written =
        readScheme(configPath(QStringLiteral("A.json"))).value("series_table").toArray();
    QCOMPARE(recordOf(written, "id_series", 20).value("is_user_skip").toBool(), true);
    QCOMPARE(recordOf(written, "id_series", 3).value("is_not_for_sale").toBool(), true);
    QCOMPARE(recordOf(written, "id_series", 2).value("is_not_for_sale").toBool(), false);
    QCOMPARE(recordOf(written, "id_series", 5).value("model_string").toString(),
             QStringLiteral("It's new"));
    editor.productType->setCurrentIndex(0);

    // Another scheme and back: the saved values come from the file.
    editor.scheme->setCurrentIndex(1);
    QCOMPARE(editor.models->rowCount(), 0);
    QCOMPARE(editor.iduType->currentText(), QStringLiteral("Duct"));
    editor.scheme->setCurrentIndex(0);
    QVERIFY(Editor::checked(editor.series, editor.seriesRow(3), 2));
    QVERIFY(!Editor::checked(editor.series, editor.seriesRow(2), 2));
    QVERIFY(Editor::checked(editor.series, editor.seriesRow(20), 3));
    QCOMPARE(editor.series->item(editor.seriesRow(5), 4)->text(), QStringLiteral("It's new"));
    QCOMPARE(editor.iduType->currentText(), QStringLiteral("Cassette"));
    editor.clickSeries(1);
    QCOMPARE(editor.models->item(editor.modelRow(QStringLiteral("P1A")), 2)->text(),
             QStringLiteral("OEM \"A\""));
    QVERIFY(Editor::checked(editor.models, editor.modelRow(QStringLiteral("P1A")), 4));

    // Rows left from A are not written into B: the model table was cleared by the switch.
    editor.scheme->setCurrentIndex(1);
    editor.click("pushButton_Save");
    const QJsonArray bModels =
        readScheme(configPath(QStringLiteral("B.json"))).value("idx_table").toArray();
    QCOMPARE(recordOf(bModels, "product_code", QStringLiteral("P1A")).value("oem_model").toString(),
             QString());

    // The destructor writes the scheme held in memory.
    Editor::setChecked(editor.series, editor.seriesRow(7), 3, true);
    editor.click("pushButton_Save");
    editor.widget.reset();
    const QJsonArray bSeries =
        readScheme(configPath(QStringLiteral("B.json"))).value("series_table").toArray();
    QCOMPARE(recordOf(bSeries, "id_series", 7).value("is_user_skip").toBool(), true);
}

void TestSaleStatus::filterCategoriesAndModelTable()
{
    writeScheme(
        QStringLiteral("A.json"),
        QJsonObject{{QStringLiteral("unit_priority"),
                     QJsonObject{{QStringLiteral("idu_generate"), QStringLiteral("Nowhere")}}}});
    ModalAnswerer answerer;
    Editor editor;
    // An unknown default indoor type leaves the combo as it was filled.
    QCOMPARE(editor.iduType->currentIndex(), 0);
    QCOMPARE(Editor::shown(editor.series), (QStringList{"1", "2", "3", "5", "7"}));
    QCOMPARE(editor.series->rowCount(), 10);
    QCOMPARE(editor.series->rowHeight(editor.seriesRow(1)), 30);
    QCOMPARE(editor.series->rowHeight(editor.seriesRow(10)), 0);
    QCOMPARE(editor.series->item(editor.seriesRow(1), 1)->text(),
             QStringLiteral("Top-Heat pump-VRF"));
    QCOMPARE(editor.series->item(editor.seriesRow(2), 1)->text(), QStringLiteral("VRF"));
    QCOMPARE(editor.series->item(editor.seriesRow(5), 1)->text(), QStringLiteral("Side-Mini"));
    QCOMPARE(editor.series->item(editor.seriesRow(10), 1)->text(), QStringLiteral("X-Duct-IDU"));
    QStringList headers;
    for (int c = 0; c < editor.series->columnCount(); ++c)
        headers.append(editor.series->horizontalHeaderItem(c)->text());
    QCOMPARE(headers, (QStringList{"id_series", "category", "is_not_for_sale", "is_user_skip",
                                   "model string"}));
    QVERIFY(!(editor.series->item(0, 0)->flags() & Qt::ItemIsEditable));
    QVERIFY(!(editor.series->item(0, 1)->flags() & Qt::ItemIsEditable));
    QVERIFY(editor.series->item(0, 4)->flags() & Qt::ItemIsEditable);
    QVERIFY(editor.series->item(0, 2)->flags() & Qt::ItemIsUserCheckable);

    editor.productType->setCurrentIndex(3);
    QCOMPARE(Editor::shown(editor.series), (QStringList{"20", "21"}));
    QCOMPARE(editor.series->rowCount(), 10);
    editor.productType->setCurrentIndex(1);
    QCOMPARE(Editor::shown(editor.series), (QStringList{"10", "11"}));
    // The odu_type part appears only under the outdoor filter.
    QCOMPARE(editor.series->item(editor.seriesRow(10), 1)->text(), QStringLiteral("Duct-IDU"));
    QCOMPARE(editor.series->item(editor.seriesRow(1), 1)->text(), QStringLiteral("Heat pump-VRF"));
    editor.productType->setCurrentIndex(4);
    QCOMPARE(Editor::shown(editor.series), QStringList{"30"});
    editor.productType->setCurrentIndex(2);
    QCOMPARE(Editor::shown(editor.series), QStringList());

    // The model table: every model of the scheme, those of other series at height 0.
    QCOMPARE(editor.models->columnCount(), 0);
    editor.productType->setCurrentIndex(1);
    editor.clickSeries(10);
    QCOMPARE(editor.models->rowCount(), 7);
    QCOMPARE(Editor::shown(editor.models), (QStringList{"ABC", "XYZ", "Q'1"}));
    QCOMPARE(editor.models->rowHeight(editor.modelRow(QStringLiteral("ABC"))), 30);
    const int q = editor.modelRow(QStringLiteral("Q'1"));
    QCOMPARE(editor.models->item(q, 1)->text(), QStringLiteral("IDU-Q'1"));
    QVERIFY(!(editor.models->item(q, 0)->flags() & Qt::ItemIsEditable));
    QVERIFY(!(editor.models->item(q, 1)->flags() & Qt::ItemIsEditable));
    QVERIFY(editor.models->item(q, 2)->flags() & Qt::ItemIsEditable);
    QVERIFY(Editor::checked(editor.models, editor.modelRow(QStringLiteral("XYZ")), 4));
    headers.clear();
    for (int c = 0; c < editor.models->columnCount(); ++c)
        headers.append(editor.models->horizontalHeaderItem(c)->text());
    QCOMPARE(headers, (QStringList{"product_code", "model", "OEM Model", "is_not_for_sale",
                                   "is_user_skip"}));
    // Every cell of columns 0 to 2 holds an item, also in rows of other series.
    for (int r = 0; r < editor.models->rowCount(); ++r) {
        for (int c = 0; c < 3; ++c)
            QVERIFY(editor.models->item(r, c));
    }
    editor.clickSeries(11);
    QCOMPARE(Editor::shown(editor.models), QStringList());
    QCOMPARE(editor.models->rowCount(), 7);
    QCOMPARE(answerer.count(), 0);

    // A look at the tab with a series clicked.
    editor.clickSeries(10);
    QTest::qWait(20);
    const QString shot = qEnvironmentVariable("SALESTATUS_SCREENSHOT");
    if (!shot.isEmpty())
        editor.widget->grab().save(shot);
}

void TestSaleStatus::checkAllWithIdLists()
{
    writeScheme(QStringLiteral("A.json"), QJsonObject());
    ModalAnswerer answerer;
    Editor editor;
    const auto flag = [&](int id) {
        return Editor::checked(editor.series, editor.seriesRow(id), 2);
    };
    const auto savedFlag = [](int id) {
        const QJsonArray series =
            readScheme(configPath(QStringLiteral("A.json"))).value("series_table").toArray();
        return recordOf(series, "id_series", id).value("is_not_for_sale").toBool();
    };
    QVERIFY(flag(21)); // hidden, not for sale in the database

    editor.seriesIds->setText(QStringLiteral(" 3, ,5,,7 "));
    editor.click("pushButton_checkall");
    QVERIFY(flag(3) && flag(5) && flag(7));
    QVERIFY(!flag(1) && !flag(2));
    QVERIFY(flag(21) && !flag(20) && !flag(10));
    // The scheme file was written.
    QVERIFY(savedFlag(3) && savedFlag(7) && !savedFlag(2) && savedFlag(21));

    editor.click("pushButton_uncheckall");
    QVERIFY(!flag(3) && !flag(5) && !flag(7));
    QVERIFY(flag(1) && flag(2));
    QVERIFY(flag(21) && !flag(20));
    QVERIFY(!savedFlag(5) && savedFlag(1));

    editor.seriesIds->setText(QStringLiteral(" , ,"));
    editor.click("pushButton_uncheckall");
    for (int id : {1, 2, 3, 5, 7})
        QVERIFY(!flag(id));
    editor.seriesIds->clear();
    editor.click("pushButton_checkall");
    for (int id : {1, 2, 3, 5, 7})
        QVERIFY(flag(id));
    QVERIFY(flag(21) && !flag(20) && !flag(11));

    // Model list: blanks are kept, so " ABC" is not ABC.
    editor.productType->setCurrentIndex(1);
    editor.clickSeries(10);
    const auto modelFlag = [&](const QString &code) {
        return Editor::checked(editor.models, editor.modelRow(code), 3);
    };
    QVERIFY(modelFlag(QStringLiteral("P1B")));
    editor.modelIds->setText(QStringLiteral(" ABC,XYZ"));
    editor.click("pushButton_checkall_2");
    QVERIFY(!modelFlag(QStringLiteral("ABC")) && modelFlag(QStringLiteral("XYZ")));
    QVERIFY(!modelFlag(QStringLiteral("Q'1")));
    QVERIFY(modelFlag(QStringLiteral("P1B")) && !modelFlag(QStringLiteral("P1A")));
    editor.modelIds->setText(QStringLiteral("Q'1,,ABC"));
    editor.click("pushButton_uncheckall_2");
    QVERIFY(!modelFlag(QStringLiteral("ABC")) && !modelFlag(QStringLiteral("Q'1")));
    QVERIFY(modelFlag(QStringLiteral("XYZ")));
    QVERIFY(modelFlag(QStringLiteral("P1B")) && !modelFlag(QStringLiteral("P1A")));
    const QJsonArray models =
        readScheme(configPath(QStringLiteral("A.json"))).value("idx_table").toArray();
    QCOMPARE(
        recordOf(models, "product_code", QStringLiteral("XYZ")).value("is_not_for_sale").toBool(),
        true);
    QCOMPARE(
        recordOf(models, "product_code", QStringLiteral("Q'1")).value("is_not_for_sale").toBool(),
        false);
    QCOMPARE(
        recordOf(models, "product_code", QStringLiteral("P1B")).value("is_not_for_sale").toBool(),
        true);
    editor.modelIds->setText(QStringLiteral(","));
    editor.click("pushButton_checkall_2");
    QVERIFY(modelFlag(QStringLiteral("ABC")) && modelFlag(QStringLiteral("Q'1")));
    QVERIFY(!modelFlag(QStringLiteral("P1A")) && !modelFlag(QStringLiteral("P20")));
    QCOMPARE(answerer.count(), 0);
}

// The tables keep one row per record; rows that are not shown are hidden at height 0, and a
// click on another series refills the model table in place.
void TestSaleStatus::refilledTablesKeepEveryRow()
{
    QJsonArray reversed;
    const QStringList codes = {"P20", "Q'1", "XYZ", "ABC", "P2A", "P1B", "P1A"};
    const QList<int> seriesOf = {20, 10, 10, 10, 2, 1, 1};
    for (int i = 0; i < codes.size(); ++i)
        reversed.append(modelRecord(codes.at(i), seriesOf.at(i), "B-OEM-" + codes.at(i), false));
    writeScheme(QStringLiteral("A.json"), QJsonObject());
    writeScheme(QStringLiteral("B.json"), QJsonObject{{QStringLiteral("idx_table"), reversed}});
    const QJsonArray extra{modelRecord(QStringLiteral("X1"), 1, QStringLiteral("C-X1"), true),
                           modelRecord(QStringLiteral("X2"), 1, QStringLiteral("C-X2"), false)};
    writeScheme(QStringLiteral("C.json"), QJsonObject{{QStringLiteral("idx_table"), extra}});
    ModalAnswerer answerer;
    Editor editor;
    QTableWidget *models = editor.models;
    const auto row = [&](const char *code) { return editor.modelRow(QString::fromLatin1(code)); };
    const auto hiddenKeys = [](QTableWidget *table) {
        QStringList keys;
        for (int r = 0; r < table->rowCount(); ++r) {
            if (table->isRowHidden(r)) {
                if (table->rowHeight(r) != 0)
                    return QStringList{QStringLiteral("hidden row %1 has a height").arg(r)};
                keys.append(table->item(r, 0)->text());
            }
        }
        return keys;
    };
    const auto allCellsFilled = [](QTableWidget *table) {
        for (int r = 0; r < table->rowCount(); ++r) {
            for (int c = 0; c < table->columnCount(); ++c) {
                if (!table->item(r, c))
                    return false;
            }
        }
        return true;
    };

    // Series rows of other product types are hidden, and shown again with their height.
    QCOMPARE(hiddenKeys(editor.series), (QStringList{"10", "11", "20", "21", "30"}));
    editor.productType->setCurrentIndex(1);
    QCOMPARE(hiddenKeys(editor.series), (QStringList{"1", "2", "3", "5", "7", "20", "21", "30"}));
    QCOMPARE(editor.series->rowHeight(editor.seriesRow(10)), 30);
    QVERIFY(allCellsFilled(editor.series));

    editor.clickSeries(10);
    QCOMPARE(Editor::shown(models), (QStringList{"ABC", "XYZ", "Q'1"}));
    QCOMPARE(hiddenKeys(models), (QStringList{"P1A", "P1B", "P2A", "P20"}));
    QVERIFY(allCellsFilled(models));

    // Values changed in hidden and shown rows, a selection and an open editor: the next click
    // brings back the scheme's values and leaves nothing selected or open.
    models->item(row("P1A"), 2)->setText(QStringLiteral("typed in a hidden row"));
    Editor::setChecked(models, row("P1B"), 3, false);
    models->item(row("ABC"), 2)->setText(QStringLiteral("typed"));
    models->item(row("ABC"), 0)->setText(QStringLiteral("changed key"));
    models->setCurrentCell(row("XYZ"), 2);
    models->editItem(models->item(row("XYZ"), 2));
    QTRY_VERIFY(!models->viewport()->findChildren<QLineEdit *>().isEmpty());
    editor.clickSeries(11);
    QCOMPARE(Editor::shown(models), QStringList());
    QCOMPARE(hiddenKeys(models), (QStringList{"P1A", "P1B", "P2A", "ABC", "XYZ", "Q'1", "P20"}));
    QCOMPARE(models->item(row("P1A"), 2)->text(), QString());
    QVERIFY(Editor::checked(models, row("P1B"), 3));
    QCOMPARE(models->item(row("ABC"), 2)->text(), QString());
    QVERIFY(!(models->item(row("ABC"), 0)->flags() & Qt::ItemIsEditable));
    QVERIFY(models->item(row("ABC"), 2)->flags() & Qt::ItemIsEditable);
    QVERIFY(!models->selectionModel()->hasSelection());
    QCOMPARE(models->currentItem(), nullptr);
    QTRY_VERIFY(models->viewport()->findChildren<QLineEdit *>().isEmpty());

    editor.productType->setCurrentIndex(0);
    editor.clickSeries(1);
    QCOMPARE(Editor::shown(models), (QStringList{"P1A", "P1B"}));
    QCOMPARE(models->rowHeight(row("P1A")), 30);
    QCOMPARE(models->rowCount(), 7);

    // Hidden rows are still saved, to the scheme and to the database.
    models->item(row("Q'1"), 2)->setText(QStringLiteral("Q OEM"));
    Editor::setChecked(models, row("Q'1"), 4, true);
    Editor::setChecked(editor.series, editor.seriesRow(30), 3, true);
    editor.click("pushButton_Save");
    editor.click("pushButton_SaveDb");
    const QJsonObject saved = readScheme(configPath(QStringLiteral("A.json")));
    const QJsonObject q =
        recordOf(saved.value("idx_table").toArray(), "product_code", QStringLiteral("Q'1"));
    QCOMPARE(q.value("oem_model").toString(), QStringLiteral("Q OEM"));
    QCOMPARE(q.value("is_user_skip").toBool(), true);
    QCOMPARE(recordOf(saved.value("series_table").toArray(), "id_series", 30)
                 .value("is_user_skip")
                 .toBool(),
             true);
    QCOMPARE(sqlValue(m_db, "select is_user_skip from __product_idx where product_code = 'Q''1'")
                 .toInt(),
             1);
    QCOMPARE(
        sqlValue(m_db, "select is_user_skip from __product_series where id_series = 30").toInt(),
        1);

    // A scheme with as many models in another order: its rows, in its order, with its names.
    editor.scheme->setCurrentIndex(1);
    editor.clickSeries(1);
    QCOMPARE(rowTexts(models, 0), codes);
    QCOMPARE(Editor::shown(models), (QStringList{"P1B", "P1A"}));
    QCOMPARE(models->item(row("P1A"), 2)->text(), QStringLiteral("B-OEM-P1A"));
    QCOMPARE(models->item(row("Q'1"), 2)->text(), QStringLiteral("B-OEM-Q'1"));
    QCOMPARE(models->item(row("Q'1"), 1)->text(), QStringLiteral("B-Q'1"));
    QVERIFY(!Editor::checked(models, row("Q'1"), 4));

    // Schemes with more and with fewer models than the table held before.
    editor.scheme->setCurrentIndex(2);
    QCOMPARE(models->rowCount(), 0);
    editor.clickSeries(1);
    QCOMPARE(models->rowCount(), 9);
    QCOMPARE(Editor::shown(models), (QStringList{"X1", "X2", "P1A", "P1B"}));
    QCOMPARE(models->item(row("X1"), 2)->text(), QStringLiteral("C-X1"));
    QVERIFY(Editor::checked(models, row("X1"), 3));
    QCOMPARE(models->item(row("P1A"), 2)->text(), QString());
    QVERIFY(allCellsFilled(models));
    editor.scheme->setCurrentIndex(0);
    editor.clickSeries(1);
    QCOMPARE(models->rowCount(), 7);
    QCOMPARE(row("X1"), -1);
    QCOMPARE(Editor::shown(models), (QStringList{"P1A", "P1B"}));
    QCOMPARE(models->item(row("Q'1"), 2)->text(), QStringLiteral("Q OEM"));
    QVERIFY(allCellsFilled(models));
    for (int r = 0; r < models->rowCount(); ++r) {
        QVERIFY(models->item(r, 2)->flags() & Qt::ItemIsEditable);
        QVERIFY(!models->item(r, 2)->data(Qt::CheckStateRole).isValid());
        QVERIFY(!(models->item(r, 3)->flags() & Qt::ItemIsEditable));
        QVERIFY(models->item(r, 3)->data(Qt::CheckStateRole).isValid());
    }
    QCOMPARE(answerer.count(), 0);
}

// Records lacking keys gain them on "Save to scheme"; with a product code twice, every row
// of that code writes into the first record, the last row winning, and the second record
// stays as it was.
void TestSaleStatus::saveToSchemeWithPartialAndDoubledRecords()
{
    const QJsonArray models{QJsonObject{{QStringLiteral("product_code"), QStringLiteral("P1A")},
                                        {QStringLiteral("id_series"), 1}},
                            modelRecord(QStringLiteral("P1B"), 1, QStringLiteral("one"), false),
                            modelRecord(QStringLiteral("P1B"), 1, QStringLiteral("two"), true)};
    const QJsonArray series{QJsonObject{{QStringLiteral("id_series"), 3},
                                        {QStringLiteral("product_type"), 0},
                                        {QStringLiteral("model_string"), QStringLiteral("Own")}}};
    writeScheme(QStringLiteral("A.json"), QJsonObject{{QStringLiteral("series_table"), series},
                                                      {QStringLiteral("idx_table"), models}});
    ModalAnswerer answerer;
    Editor editor;
    editor.clickSeries(1);
    QCOMPARE(Editor::shown(editor.models), (QStringList{"P1A", "P1B", "P1B"}));
    editor.models->item(2, 2)->setText(QStringLiteral("three"));
    editor.click("pushButton_Save");

    const QJsonObject saved = readScheme(configPath(QStringLiteral("A.json")));
    const QJsonArray savedModels = saved.value("idx_table").toArray();
    QCOMPARE(savedModels.size(), 8);
    const QJsonObject p1a = savedModels.at(0).toObject();
    QCOMPARE(p1a.value("oem_model"), QJsonValue(QString()));
    QCOMPARE(p1a.value("is_not_for_sale"), QJsonValue(false));
    QCOMPARE(p1a.value("is_user_skip"), QJsonValue(false));
    QVERIFY(!p1a.contains("base_model"));
    QCOMPARE(savedModels.at(1).toObject().value("oem_model").toString(), QStringLiteral("three"));
    QCOMPARE(savedModels.at(1).toObject().value("is_not_for_sale").toBool(), true);
    QCOMPARE(savedModels.at(2).toObject(), models.at(2).toObject());
    const QJsonObject three = saved.value("series_table").toArray().at(0).toObject();
    QCOMPARE(three.value("model_string").toString(), QStringLiteral("Own"));
    QCOMPARE(three.value("is_not_for_sale"), QJsonValue(false));
    QCOMPARE(three.value("is_user_skip"), QJsonValue(false));
    QCOMPARE(answerer.count(), 0);
}

void TestSaleStatus::saveToDbWritesEveryRow()
{
    // The scheme differs from the database: series 1 and model P2A not for sale.
    QJsonArray series{seriesRecord(1, 0, true, QStringLiteral("S'1"))};
    QJsonArray models{modelRecord(QStringLiteral("P2A"), 2, QString(), true)};
    writeScheme(QStringLiteral("A.json"), QJsonObject{{QStringLiteral("series_table"), series},
                                                      {QStringLiteral("idx_table"), models}});
    ModalAnswerer answerer;
    Editor editor;

    // Before a series is clicked only the series are written.
    editor.productType->setCurrentIndex(1);
    editor.click("pushButton_SaveDb");
    QCOMPARE(answerer.count(), 0);
    QCOMPARE(
        sqlRows(m_db,
                "select is_not_for_sale, model_string from __product_series where id_series = 1"),
        QStringList{"1|S'1"});
    QCOMPARE(sqlValue(m_db, "select is_not_for_sale from __product_idx where product_code = 'P2A'")
                 .toInt(),
             0);

    // Hidden rows of both tables are written with the values the table holds.
    const int duct = editor.seriesRow(10);
    Editor::setChecked(editor.series, duct, 2, true);
    Editor::setChecked(editor.series, duct, 3, false);
    editor.series->item(duct, 4)->setText(QString());
    editor.series->item(editor.seriesRow(11), 4)->setText(QStringLiteral("O'Neil's"));
    editor.clickSeries(10);
    const int q = editor.modelRow(QStringLiteral("Q'1"));
    Editor::setChecked(editor.models, q, 3, true);
    Editor::setChecked(editor.models, q, 4, true);
    editor.click("pushButton_SaveDb");
    QVERIFY2(answerer.count() == 0, qPrintable(answerer.texts().join("/")));
    QCOMPARE(
        sqlRows(
            m_db,
            "select id_series, is_not_for_sale, is_user_skip, model_string from __product_series "
            "order by id_series"),
        (QStringList{"1|1|0|S'1", "2|1|0|MS-2", "3|0|0|MS-3", "5|0|0|MS-5", "7|0|0|MS-7", "10|1|0|",
                     "11|0|0|O'Neil's", "20|0|0|MS-20", "21|1|0|", "30|0|0|"}));
    QCOMPARE(
        sqlRows(m_db, "select product_code, is_not_for_sale, is_user_skip from __product_idx "
                      "order by product_code"),
        (QStringList{"ABC|0|0", "P1A|0|0", "P1B|1|0", "P20|0|0", "P2A|1|0", "Q'1|1|1", "XYZ|0|1"}));
    // The database save leaves the scheme alone.
    const QJsonArray saved =
        readScheme(configPath(QStringLiteral("A.json"))).value("series_table").toArray();
    QCOMPARE(saved.size(), 1);
}

void TestSaleStatus::failingSaveToDbChangesNothing()
{
    writeScheme(QStringLiteral("A.json"), QJsonObject());
    QVERIFY(
        execSql(m_db, {QStringLiteral("create trigger refuse_xyz before update on __product_idx "
                                      "when new.product_code = 'XYZ' begin select raise(abort, "
                                      "'XYZ is locked'); end")}));
    ModalAnswerer answerer;
    Editor editor;
    const QString dump = QStringLiteral("select * from __product_series order by id_series");
    const QString dumpModels = QStringLiteral("select * from __product_idx order by product_code");
    const QStringList seriesBefore = sqlRows(m_db, dump);
    const QStringList modelsBefore = sqlRows(m_db, dumpModels);
    for (int id : {1, 2, 3, 5, 7})
        Editor::setChecked(editor.series, editor.seriesRow(id), 2, true);
    editor.clickSeries(1);
    Editor::setChecked(editor.models, editor.modelRow(QStringLiteral("P1A")), 3, true);
    editor.click("pushButton_SaveDb");
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().title, QStringLiteral("Warning"));
    QVERIFY2(answerer.texts().first().contains(QStringLiteral("XYZ is locked")),
             qPrintable(answerer.texts().first()));
    QCOMPARE(sqlRows(m_db, dump), seriesBefore);
    QCOMPARE(sqlRows(m_db, dumpModels), modelsBefore);
    // The connection is usable afterwards: no transaction was left open.
    QVERIFY(execSql(m_db, {QStringLiteral("drop trigger refuse_xyz")}));
    editor.click("pushButton_SaveDb");
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(sqlValue(m_db, "select is_not_for_sale from __product_idx where product_code = 'P1A'")
                 .toInt(),
             1);
}

void TestSaleStatus::installCodes()
{
    writeScheme(QStringLiteral("A.json"),
                QJsonObject{{QStringLiteral("install_code"),
                             QJsonObject{{QStringLiteral("Z-9"), QString()}}}});
    writeScheme(QStringLiteral("B.json"), QJsonObject());
    ModalAnswerer answerer;
    Editor editor;
    const auto comboItems = [&] {
        QStringList items;
        for (int i = 0; i < editor.installCode->count(); ++i)
            items.append(editor.installCode->itemText(i));
        return items;
    };
    QCOMPARE(comboItems(), QStringList{"Z-9"});

    answerer.act(typeName(QStringLiteral("../not a path")));
    editor.click("pushButton_AddInstallCode");
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Input Install Code"));
    answerer.act(typeName(QStringLiteral("A-1")));
    editor.click("pushButton_AddInstallCode");
    answerer.act(typeName(QStringLiteral("A-1")));
    editor.click("pushButton_AddInstallCode");
    answerer.act(typeName(QStringLiteral("ignored"), false));
    editor.click("pushButton_AddInstallCode");
    QCOMPARE(comboItems(), (QStringList{"../not a path", "A-1", "Z-9"}));
    QCOMPARE(editor.installCode->currentIndex(), 0);
    // Only in memory until the scheme is saved.
    QCOMPARE(
        readScheme(configPath(QStringLiteral("A.json"))).value("install_code").toObject().size(),
        1);
    editor.click("pushButton_Save");
    QCOMPARE(readScheme(configPath(QStringLiteral("A.json"))).value("install_code").toObject(),
             (QJsonObject{{"../not a path", ""}, {"A-1", ""}, {"Z-9", ""}}));

    answerer.clear();
    answerer.answer(QMessageBox::No);
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(answerer.texts(), QStringList{"Do you want to remove the install code?"});
    QCOMPARE(editor.installCode->count(), 3);
    editor.installCode->setCurrentText(QStringLiteral("A-1"));
    answerer.answer(QMessageBox::Yes);
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(answerer.texts().last(), QStringLiteral("Remove success"));
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Notice"));
    QCOMPARE(comboItems(), (QStringList{"../not a path", "Z-9"}));

    // A scheme without install codes empties the combo; removing then warns.
    editor.scheme->setCurrentText(QStringLiteral("B.json"));
    QCOMPARE(editor.installCode->count(), 0);
    answerer.clear();
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(answerer.texts(), QStringList{"The install code is empty."});
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Warning"));
    answerer.act(typeName(QStringLiteral("only")));
    editor.click("pushButton_AddInstallCode");
    answerer.answer(QMessageBox::Yes);
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(editor.installCode->count(), 0);
    QCOMPARE(editor.installCode->currentText(), QString());
}

void TestSaleStatus::exportSchemes()
{
    const QJsonObject a{
        {QStringLiteral("install_code"),
         QJsonObject{{QStringLiteral("c1"), QString()}, {QStringLiteral("安装码 07"), QString()}}},
        {QStringLiteral("series_table"), QJsonArray{seriesRecord(1, 0, true, "x")}},
        {QStringLiteral("unit_priority"), QJsonObject{{QStringLiteral("idu_generate"), "Duct"}}},
        {QStringLiteral("brand_extra"), 42}};
    writeScheme(QStringLiteral("A.json"), a);
    writeScheme(QStringLiteral("B.json"), QJsonObject{{QStringLiteral("idx_table"), QJsonArray()}});
    writeFile(configPath(QStringLiteral("C.json")), "{ \"install_code\": ");
    const QByteArray sourceA = readBytes(configPath(QStringLiteral("A.json")));
    QTemporaryDir target;
    QVERIFY(target.isValid());
    writeFile(target.filePath(QStringLiteral("A.json")), "old file");

    ModalAnswerer answerer;
    Editor editor;
    // A code added in memory only is not exported.
    answerer.act(typeName(QStringLiteral("unsaved")));
    editor.click("pushButton_AddInstallCode");
    answerer.clear();
    answerer.act(chooseFolder(target.path()));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.count(), 2);
    QCOMPARE(answerer.seen().first().title, QStringLiteral("Please select folder path to save"));
    // The corrupt source is named, not exported as an empty scheme.
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Warning"));
    QVERIFY2(answerer.texts().last().contains(QStringLiteral("C.json")),
             qPrintable(answerer.texts().last()));
    QVERIFY(!answerer.texts().last().contains(QStringLiteral("A.json")));
    QVERIFY(!QFile::exists(target.filePath(QStringLiteral("C.json"))));

    const auto md5 = [](const QString &text) {
        return QString::fromLatin1(
            QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
    };
    const QJsonObject exportedA = readScheme(target.filePath(QStringLiteral("A.json")));
    QJsonObject expected = a;
    expected.insert(QStringLiteral("install_code"),
                    QJsonObject{{md5(QStringLiteral("c1")), QString()},
                                {md5(QStringLiteral("安装码 07")), QString()}});
    QCOMPARE(exportedA, expected);
    QCOMPARE(readScheme(target.filePath(QStringLiteral("B.json"))),
             (QJsonObject{{QStringLiteral("idx_table"), QJsonArray()},
                          {QStringLiteral("install_code"), QJsonObject()}}));
    QCOMPARE(readBytes(configPath(QStringLiteral("A.json"))), sourceA);

    // Without problems the export reports success; a cancelled dialog does nothing.
    QVERIFY(QFile::remove(configPath(QStringLiteral("C.json"))));
    answerer.clear();
    answerer.act(chooseFolder(target.path()));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.texts().last(), QStringLiteral("Export success"));
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Notice"));
    answerer.clear();
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().className, QStringLiteral("QFileDialog"));

    // The scheme folder itself is refused: the codes there would be lost.
    answerer.clear();
    answerer.act(chooseFolder(appFolder(QStringLiteral("config"))));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Warning"));
    QCOMPARE(readBytes(configPath(QStringLiteral("A.json"))), sourceA);

    // A target that cannot be written is reported.
    const QString blocked = target.filePath(QStringLiteral("blocked"));
    QVERIFY(QDir().mkpath(blocked + QStringLiteral("/A.json")));
    answerer.clear();
    answerer.act(chooseFolder(blocked));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Warning"));
    QVERIFY(answerer.texts().last().contains(QStringLiteral("A.json")));
    QVERIFY(QFile::exists(blocked + QStringLiteral("/B.json")));

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
    writeFile(configPath(QStringLiteral("A.json")), broken);
    ModalAnswerer answerer;
    {
        Editor editor;
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.seen().first().title, QStringLiteral("Warning"));
        const QString text = answerer.texts().first();
        QVERIFY2(text.contains(QStringLiteral("A.json")) &&
                     text.contains(QStringLiteral("not valid JSON")),
                 qPrintable(text));
        // The editor shows the database values.
        QCOMPARE(editor.series->rowCount(), 10);
        QVERIFY(Editor::checked(editor.series, editor.seriesRow(2), 2));
    }
    QCOMPARE(readBytes(configPath(QStringLiteral("A.json"))), broken);

    answerer.clear();
    {
        Editor editor;
        Editor::setChecked(editor.series, editor.seriesRow(3), 2, true);
        editor.click("pushButton_Save");
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(readBytes(configPath(QStringLiteral("A.json.bak"))), broken);
        const QJsonArray series =
            readScheme(configPath(QStringLiteral("A.json"))).value("series_table").toArray();
        QCOMPARE(series.size(), 10);
        QCOMPARE(recordOf(series, "id_series", 3).value("is_not_for_sale").toBool(), true);
        QCOMPARE(editor.scheme->count(), 1);
        // Once saved, the scheme is an ordinary one again.
        Editor::setChecked(editor.series, editor.seriesRow(5), 2, true);
        editor.click("pushButton_Save");
        QCOMPARE(answerer.count(), 1);
    }
    QCOMPARE(configFiles(), (QStringList{"A.json", "A.json.bak"}));
    const QJsonArray series =
        readScheme(configPath(QStringLiteral("A.json"))).value("series_table").toArray();
    QCOMPARE(recordOf(series, "id_series", 5).value("is_not_for_sale").toBool(), true);
}

void TestSaleStatus::noSchemeWritesNothing()
{
    ModalAnswerer answerer;
    {
        Editor editor;
        editor.click("pushButton_Save");
        editor.click("pushButton_checkall");
        editor.click("pushButton_uncheckall_2");
        answerer.act(typeName(QStringLiteral("code")));
        editor.click("pushButton_AddInstallCode");
        editor.click("pushButton_SaveDb");
    }
    QVERIFY(configFiles().isEmpty());
    QVERIFY(!QFile::exists(configPath(QStringLiteral(".json"))));
    QCOMPARE(answerer.count(), 1);
}

QTEST_MAIN(TestSaleStatus)
#include "tst_salestatus.moc"
