// The brand schemes: listing, new and deleted schemes, names, completion from the database,
// install codes, the export of all schemes, and unreadable files.

#include "salestatusfixture.h"

#include <QtTest>

using namespace SaleStatusFixture;

class TestSchemes : public QObject
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
    void installCodes();
    void exportSchemes();
    void refusedSchemesAreNeverOverwritten_data();
    void refusedSchemesAreNeverOverwritten();
    void backupsOnOverwrite();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

void TestSchemes::init()
{
    startClean(m_dir, &m_db);
}

void TestSchemes::cleanup()
{
    finishClean();
}

void TestSchemes::inputNameDialog()
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

void TestSchemes::emptyStartWritesNothing()
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

void TestSchemes::listingNewAndDeletedSchemes()
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

void TestSchemes::unsafeNamesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"../escaped", "..", "sub/name", "sub\\name", "/tmp/abs", "C:name",
                             "a*b", "CON", "a\tb", ".json"})
        QTest::newRow(name) << QString(name);
}

void TestSchemes::unsafeNamesAreRefused()
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

void TestSchemes::upperCaseExtensionIsWrittenBack()
{
    writeScheme("D.JSON", {{"install_code", QJsonObject{{"k", ""}}}});
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(editor.scheme->currentText(), "D.JSON");
    editor.setS(7, 2, true);
    editor.click("pushButton_Save");
    QCOMPARE(configFiles(), (QStringList{"D.JSON", "D.JSON.bak"}));
    QCOMPARE(saved("D.JSON", 7, "is_not_for_sale"), "true");
    QTemporaryDir target;
    answerer.act(chooseFolder(target.path()));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.texts().last(), "Export success");
    QCOMPARE(QDir(target.path()).entryList(QDir::Files), QStringList{"D.JSON"});
}

void TestSchemes::completionFromDatabase()
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

void TestSchemes::installCodes()
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

void TestSchemes::exportSchemes()
{
    const QJsonObject a{{"install_code", QJsonObject{{"c1", ""}, {"安装码 07", ""}}},
                        {"series_table", QJsonArray{seriesRecord(1, true, "x")}},
                        {"unit_priority", QJsonObject{{"idu_generate", "Duct"}}},
                        {"brand_extra", 42}};
    writeScheme("A.json", a);
    writeScheme("B.json", {{"idx_table", QJsonArray()}});
    // Its codes would be lost on the way: a scheme with a value of the wrong type is refused.
    writeFile(configPath("C.json"), "{ \"install_code\": [\"c1\"] }");
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
    QVERIFY2(warning.startsWith("Warning: ") && warning.contains("C.json: install_code") &&
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

namespace {

// A scheme with 13 OEM names; `key` of record `index` of `table` (of the scheme itself when
// index is -1, of `table`'s object when there is no index) set to `value`.
QByteArray brandScheme(const QString &table = QString(), int index = -1,
                       const QString &key = QString(), const QJsonValue &value = QJsonValue())
{
    QJsonArray series, models;
    for (int id : {1, 2, 3, 5, 7, 10, 11, 20, 21, 30})
        series.append(seriesRecord(id, false, "S"));
    for (int i = 0; i < 13; ++i)
        models.append(modelRecord(QString("M%1").arg(i), 1, QString("OEM-%1").arg(i), false));
    QJsonObject scheme{{"series_table", series},
                       {"idx_table", models},
                       {"install_code", QJsonObject{{"code", ""}}},
                       {"unit_priority", QJsonObject{{"idu_generate", "Duct"}}}};
    if (table.isEmpty())
        return QJsonDocument(scheme).toJson();
    if (key.isEmpty()) {
        scheme.insert(table, value);
    } else if (index < 0) {
        QJsonObject object = scheme.value(table).toObject();
        object.insert(key, value);
        scheme.insert(table, object);
    } else {
        QJsonArray records = scheme.value(table).toArray();
        QJsonObject record = records.at(index).toObject();
        record.insert(key, value);
        records.replace(index, key == "-" ? value : QJsonValue(record));
        scheme.insert(table, records);
    }
    return QJsonDocument(scheme).toJson();
}

} // namespace

void TestSchemes::refusedSchemesAreNeverOverwritten_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("named"); // what the warning names
    QTest::newRow("truncated") << brandScheme().left(700) << "not valid JSON";
    QTest::newRow("array at the top") << QByteArray("[{}]") << "JSON object";
    const QJsonValue text("x"), number(12), fraction(1.5), object = QJsonObject(),
                                                           array = QJsonArray{1};
    const struct
    {
        const char *table;
        int index;
        const char *key; // "-": the record itself
        QJsonValue value;
    } wrong[] = {{"idx_table", -1, "", object},
                 {"series_table", -1, "", text},
                 {"install_code", -1, "", array},
                 {"unit_priority", -1, "", number},
                 {"unit_priority", -1, "idu_generate", number},
                 {"idx_table", 12, "oem_model", number},
                 {"idx_table", 3, "-", text},
                 {"idx_table", 2, "id_series", fraction},
                 {"idx_table", 0, "product_code", array},
                 {"series_table", 0, "id_series", text},
                 {"series_table", 4, "is_not_for_sale", number},
                 {"series_table", 9, "model_string", object}};
    for (const auto &c : wrong) {
        QString named = c.table;
        if (c.index >= 0)
            named += QString("[%1]").arg(c.index);
        if (QString(c.key) != "-" && *c.key)
            named += QString(".") + c.key;
        QTest::newRow(qPrintable(named)) << brandScheme(c.table, c.index, c.key, c.value) << named;
    }
}

// A scheme that cannot be read, or holds a value of the wrong type, is named with the key in a
// warning and shown with the database values. Neither closing nor the check-all buttons write
// it; an explicit "Save to scheme" keeps the original for good first.
void TestSchemes::refusedSchemesAreNeverOverwritten()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, named);
    writeFile(configPath("A.json"), content);
    ModalAnswerer answerer;
    {
        Editor editor;
        QCOMPARE(answerer.count(), 1);
        const QString text = lastBox(answerer);
        QVERIFY2(text.startsWith("Warning: ") && text.contains("A.json") && text.contains(named),
                 qPrintable(text));
        QCOMPARE(editor.series->rowCount(), 10);
        QVERIFY(editor.sOn(2, 2));
        editor.click("pushButton_checkall");
        editor.clickSeries(1);
        editor.click("pushButton_uncheckall_2");
        QString error;
        QVERIFY(editor.widget->writeSchemeOnClose(&error));
    }
    QCOMPARE(configFiles(), QStringList{"A.json"});
    QCOMPARE(readBytes(configPath("A.json")), content);

    answerer.clear();
    {
        Editor editor;
        editor.setS(3, 2, true);
        editor.click("pushButton_Save");
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(saved("A.json", 3, "is_not_for_sale"), "true");
        editor.setS(5, 2, true);
        editor.click("pushButton_Save");
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(items(editor.scheme), QStringList{"A.json"});
    }
    QCOMPARE(saved("A.json", 5, "is_not_for_sale"), "true");
    QCOMPARE(configFiles(), (QStringList{"A.json", "A.json.bak", "A.json.unreadable.bak"}));
    QCOMPARE(readBytes(configPath("A.json.unreadable.bak")), content);
}

// Each overwrite keeps the earlier version as A.json.bak; an unreadable backup (an older
// version kept unreadable schemes there) is moved aside for good, never replaced. Backups are
// not listed. Schemes of older versions (null values, unknown keys) load as they are.
void TestSchemes::backupsOnOverwrite()
{
    writeFile(configPath("A.json.bak"), "{ kept by an older version");
    writeFile(configPath("A.json.1.bak"), "{ kept too");
    const QJsonObject record{{"id_series", 1}, {"model_string", QJsonValue()}, {"colour", "red"}};
    writeScheme("A.json", {{"series_table", QJsonArray{record}},
                           {"idx_table", QJsonArray{modelRecord("P1A", 1, "OEM-1", false)}}});
    const QByteArray first = readBytes(configPath("A.json"));
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(answerer.count(), 0);
    QCOMPARE(items(editor.scheme), QStringList{"A.json"});
    QCOMPARE(editor.s(1, 4)->text(), "MS-1");
    editor.clickSeries(1);
    QCOMPARE(editor.m("P1A", 2)->text(), "OEM-1");

    QByteArray earlier = first;
    for (int id : {3, 5}) {
        editor.setS(id, 2, true);
        editor.click("pushButton_Save");
        QCOMPARE(readBytes(configPath("A.json.bak")), earlier);
        earlier = readBytes(configPath("A.json"));
    }
    QCOMPARE(saved("A.json", 1, "colour,model_string"), "red|MS-1");
    QCOMPARE(readBytes(configPath("A.json.unreadable.bak")),
             QByteArray("{ kept by an older version"));
    QCOMPARE(readBytes(configPath("A.json.1.bak")), QByteArray("{ kept too"));

    answerer.act(typeName("B"));
    editor.click("pushButton_New");
    QCOMPARE(items(editor.scheme), (QStringList{"A.json", "B.json"}));
    QCOMPARE(configFiles(), (QStringList{"A.json", "A.json.1.bak", "A.json.bak",
                                         "A.json.unreadable.bak", "B.json"}));
    QCOMPARE(answerer.count(), 1);
}

QTEST_MAIN(TestSchemes)
#include "tst_schemes.moc"
