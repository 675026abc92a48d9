// The brand schemes: listing, new and deleted schemes, names, install codes, the export of all
// schemes, unreadable files and backups.

#include "hsalestatusschemes.h"
#include "hschemereadahead.h"
#include "salestatusfixture.h"

#include <QRegularExpression>
#include <QtTest>

using namespace SaleStatusFixture;

class TestSchemes : public QObject
{
    Q_OBJECT

private slots:
    void init() { startClean(m_dir, &m_db); }
    void cleanup() { finishClean(); }

    void emptyStartWritesNothing();
    void listingNewAndDeletedSchemes();
    void installCodes();
    void exportSchemes();
    void refusedSchemesAreNeverOverwritten_data();
    void refusedSchemesAreNeverOverwritten();
    void backupsOnOverwrite();
    void readAheadStandsOnlyForTheFileItRead_data();
    void readAheadStandsOnlyForTheFileItRead();

private:
    QTemporaryDir m_dir;
    QString m_db;
};

// Without any scheme no button makes up a file or asks for a folder.
void TestSchemes::emptyStartWritesNothing()
{
    ModalAnswerer answerer;
    {
        Editor editor;
        QCOMPARE(editor.scheme->count() + editor.series->rowCount() + editor.models->rowCount(), 0);
        QCOMPARE(items(editor.iduType), (QStringList{"Duct", "Cassette"}));
        for (const char *button :
             {"pushButton_Save", "pushButton_checkall", "pushButton_uncheckall_2",
              "pushButton_SaveDb", "pushButton_ExportAllSchemes"})
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
    QCOMPARE(editor.scheme->currentText(), "Brand1.json");
    const QJsonObject brand1 = readScheme("Brand1.json");
    QCOMPARE(brand1.value("install_code").toObject(), QJsonObject());
    QCOMPARE(brand1.value("idx_table").toArray().size(), 7);
    QCOMPARE(brand1.value("unit_priority"), a.value("unit_priority"));
    QCOMPARE(brand1.value("brand_extra").toString(), "kept");
    QCOMPARE(saved("Brand1.json", 2, "is_not_for_sale,model_string"), "true|MS-2");
    QCOMPARE(editor.installCode->count(), 0);

    // The same name, with or without the extension, is refused; so is a name that is no
    // plain file name in the scheme folder. Nothing is written.
    const QByteArray before = fileBytes(configPath("Brand1.json"));
    for (const char *name : {"Brand1", "Brand1.json"}) {
        answerer.act(typeName(name));
        editor.click("pushButton_New");
        QCOMPARE(lastBox(answerer), "Warning: The scheme name exists.");
    }
    for (const char *name : {"../escaped", "..", "sub/name", "sub\\name", "/tmp/abs", "C:name",
                             "a*b", "CON", "a\tb", ".json"}) {
        answerer.clear();
        answerer.act(typeName(name));
        editor.click("pushButton_New");
        QCOMPARE(answerer.count(), 2);
        QCOMPARE(answerer.seen().last().className + answerer.seen().last().title,
                 "QMessageBoxWarning");
    }
    QVERIFY(!QFile::exists(appFolder("escaped.json")) && !QFile::exists("/tmp/abs.json"));
    QCOMPARE(fileBytes(configPath("Brand1.json")), before);

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

// Codes are free text (JSON keys, not file names), kept in memory until the scheme is saved.
void TestSchemes::installCodes()
{
    writeScheme("A.json", {{"install_code", QJsonObject{{"Z-9", ""}}}});
    writeScheme("B.json", {});
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(items(editor.installCode), QStringList{"Z-9"});

    // A code is kept as typed; a duplicate or a cancel adds nothing.
    answerer.act(typeName(" ../not a path "));
    editor.click("pushButton_AddInstallCode");
    for (bool ok : {true, true, false}) {
        answerer.act(typeName("A-1", ok));
        editor.click("pushButton_AddInstallCode");
    }
    QCOMPARE(items(editor.installCode), (QStringList{" ../not a path ", "A-1", "Z-9"}));
    QCOMPARE(readScheme("A.json").value("install_code").toObject().size(), 1);
    editor.click("pushButton_Save");
    QCOMPARE(readScheme("A.json").value("install_code").toObject(),
             (QJsonObject{{" ../not a path ", ""}, {"A-1", ""}, {"Z-9", ""}}));

    answerer.clear();
    answerer.answer(QMessageBox::No);
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(answerer.texts(), QStringList{"Do you want to remove the install code?"});
    QCOMPARE(editor.installCode->count(), 3);
    editor.installCode->setCurrentText("A-1");
    answerer.answer(QMessageBox::Yes);
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(lastBox(answerer), "Notice: Remove success");
    QCOMPARE(items(editor.installCode), (QStringList{" ../not a path ", "Z-9"}));

    // A scheme without install codes empties the combo; removing then warns.
    editor.scheme->setCurrentText("B.json");
    QCOMPARE(editor.installCode->count(), 0);
    editor.click("pushButton_RemoveInstallCode");
    QCOMPARE(lastBox(answerer), "Warning: The install code is empty.");
}

// Every scheme is exported under its own name with its install codes as digests; a scheme
// with a value of the wrong type would lose them on the way and is named, not exported.
void TestSchemes::exportSchemes()
{
    const QJsonObject a{{"install_code", QJsonObject{{"c1", ""}, {"安装码 07", ""}}},
                        {"series_table", QJsonArray{seriesRecord(1, true, "x")}},
                        {"unit_priority", QJsonObject{{"idu_generate", "Duct"}}},
                        {"brand_extra", 42}};
    writeScheme("A.json", a);
    writeScheme("B.JSON", {{"idx_table", QJsonArray()}});
    writeFile(configPath("C.json"), "{ \"install_code\": [\"c1\"] }");
    const QByteArray sourceA = fileBytes(configPath("A.json"));
    QTemporaryDir target;
    writeFile(target.filePath("A.json"), "old file");

    ModalAnswerer answerer;
    Editor editor;
    // A code added in memory only is not exported.
    answerer.act(typeName("unsaved"));
    editor.click("pushButton_AddInstallCode");
    answerer.clear();
    answerer.act(chooseFolder(target.path()));
    editor.click("pushButton_ExportAllSchemes");
    QCOMPARE(answerer.count(), 2);
    const QString warning = lastBox(answerer);
    QVERIFY2(warning.startsWith("Warning: ") && warning.contains("C.json: install_code") &&
                 !warning.contains("A.json"),
             qPrintable(warning));
    QCOMPARE(QDir(target.path()).entryList(QDir::Files), (QStringList{"A.json", "B.JSON"}));

    const auto md5 = [](const QString &text) {
        return QString(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
    };
    QJsonObject expected = a;
    expected.insert("install_code", QJsonObject{{md5("c1"), ""}, {md5("安装码 07"), ""}});
    QCOMPARE(QJsonDocument::fromJson(fileBytes(target.filePath("A.json"))).object(), expected);
    QCOMPARE(QJsonDocument::fromJson(fileBytes(target.filePath("B.JSON"))).object(),
             (QJsonObject{{"idx_table", QJsonArray()}, {"install_code", QJsonObject()}}));
    QCOMPARE(fileBytes(configPath("A.json")), sourceA);

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
    QCOMPARE(fileBytes(configPath("A.json")), sourceA);

    // A target that cannot be written is reported; the other files are still exported.
    const QString blocked = target.filePath("blocked");
    QVERIFY(QDir().mkpath(blocked + "/A.json"));
    answerer.act(chooseFolder(blocked));
    editor.click("pushButton_ExportAllSchemes");
    QVERIFY(lastBox(answerer).startsWith("Warning: ") && lastBox(answerer).contains("A.json"));
    QVERIFY(QFile::exists(blocked + "/B.JSON"));
}

namespace {

// `into` with `value` at a path of keys and indexes ("idx_table/12/oem_model").
QJsonValue put(const QJsonValue &into, QStringList path, const QJsonValue &value)
{
    if (path.isEmpty())
        return value;
    const QString step = path.takeFirst();
    bool isIndex = false;
    const int index = step.toInt(&isIndex);
    if (isIndex) {
        QJsonArray array = into.toArray();
        array.replace(index, put(array.at(index), path, value));
        return array;
    }
    QJsonObject object = into.toObject();
    object.insert(step, put(object.value(step), path, value));
    return object;
}

} // namespace

void TestSchemes::refusedSchemesAreNeverOverwritten_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("named"); // what the warning names
    QJsonArray series, models;
    for (int id : {1, 2, 3, 5, 7, 10, 11, 20, 21, 30})
        series.append(seriesRecord(id, false, "S"));
    for (int i = 0; i < 13; ++i)
        models.append(modelRecord(QString("M%1").arg(i), 1, QString("OEM-%1").arg(i), false));
    const QJsonObject scheme{{"series_table", series},
                             {"idx_table", models},
                             {"install_code", QJsonObject{{"code", ""}}},
                             {"unit_priority", QJsonObject{{"idu_generate", "Duct"}}}};
    QTest::newRow("truncated") << QJsonDocument(scheme).toJson().left(700) << "not valid JSON";
    QTest::newRow("array at the top") << QByteArray("[{}]") << "JSON object";
    const QJsonValue text("x"), number(12), fraction(1.5), huge(qint64(3000000000)),
        object = QJsonObject(), array = QJsonArray{1};
    const QList<QPair<const char *, QJsonValue>> wrong = {
        {"idx_table", object},
        {"series_table", text},
        {"install_code", array},
        {"unit_priority", number},
        {"unit_priority/idu_generate", number},
        {"idx_table/12/oem_model", number},
        {"idx_table/3", text},
        {"idx_table/2/id_series", fraction},
        {"idx_table/5/id_series", huge}, // a whole number no id can be
        {"idx_table/0/product_code", array},
        {"series_table/0/id_series", text},
        {"series_table/4/is_not_for_sale", number},
        {"series_table/9/model_string", object}};
    for (const auto &c : wrong) {
        const QString named =
            QString(c.first).replace(QRegularExpression("/(\\d+)"), "[\\1]").replace('/', '.');
        QTest::newRow(qPrintable(named))
            << QJsonDocument(put(scheme, QString(c.first).split('/'), c.second).toObject()).toJson()
            << named;
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
        QCOMPARE(editor.checkedSeries(2), (QStringList{"2", "21"}));
        editor.click("pushButton_checkall");
        editor.clickSeries(1);
        editor.click("pushButton_uncheckall_2");
        QString error;
        QVERIFY(editor.widget->writeSchemeOnClose(&error));
    }
    QCOMPARE(configFiles(), QStringList{"A.json"});
    QCOMPARE(fileBytes(configPath("A.json")), content);

    answerer.clear();
    {
        Editor editor;
        editor.setS(3, 2, true);
        editor.click("pushButton_Save");
        QCOMPARE(saved("A.json", 3, "is_not_for_sale"), "true");
        editor.setS(5, 2, true);
        editor.click("pushButton_Save");
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(items(editor.scheme), QStringList{"A.json"});
    }
    QCOMPARE(saved("A.json", 5, "is_not_for_sale"), "true");
    QCOMPARE(configFiles(), (QStringList{"A.json", "A.json.bak", "A.json.unreadable.bak"}));
    QCOMPARE(fileBytes(configPath("A.json.unreadable.bak")), content);
}

// Each overwrite keeps the earlier version as <name>.bak, under the scheme's own name even with
// an upper-case extension; an unreadable backup (an older version kept unreadable schemes
// there) is moved aside for good, never replaced. Backups are not listed. Schemes of older
// versions (null values, unknown keys) load as they are.
void TestSchemes::backupsOnOverwrite()
{
    writeFile(configPath("A.JSON.bak"), "{ kept by an older version");
    writeFile(configPath("A.JSON.1.bak"), "{ kept too");
    const QJsonObject record{{"id_series", 1}, {"model_string", QJsonValue()}, {"colour", "red"}};
    writeScheme("A.JSON", {{"series_table", QJsonArray{record}},
                           {"idx_table", QJsonArray{modelRecord("P1A", 1, "OEM-1", false)}}});
    ModalAnswerer answerer;
    Editor editor;
    QCOMPARE(items(editor.scheme), QStringList{"A.JSON"});
    QCOMPARE(editor.s(1, 4)->text(), "MS-1");
    editor.clickSeries(1);
    QCOMPARE(editor.m("P1A", 2)->text(), "OEM-1");

    QByteArray earlier = fileBytes(configPath("A.JSON"));
    for (int id : {3, 5}) {
        editor.setS(id, 2, true);
        editor.click("pushButton_Save");
        QCOMPARE(fileBytes(configPath("A.JSON.bak")), earlier);
        earlier = fileBytes(configPath("A.JSON"));
    }
    QCOMPARE(saved("A.JSON", 1, "colour,model_string"), "red|MS-1");
    QCOMPARE(saved("A.JSON", 5, "is_not_for_sale"), "true");
    QCOMPARE(fileBytes(configPath("A.JSON.unreadable.bak")),
             QByteArray("{ kept by an older version"));
    QCOMPARE(fileBytes(configPath("A.JSON.1.bak")), QByteArray("{ kept too"));

    answerer.act(typeName("B"));
    editor.click("pushButton_New");
    QCOMPARE(items(editor.scheme), (QStringList{"A.JSON", "B.json"}));
    QCOMPARE(configFiles(), (QStringList{"A.JSON", "A.JSON.1.bak", "A.JSON.bak",
                                         "A.JSON.unreadable.bak", "B.json"}));
    QCOMPARE(answerer.count(), 1);
}

void TestSchemes::readAheadStandsOnlyForTheFileItRead_data()
{
    QTest::addColumn<QString>("read");     // the scheme read after the read ahead of A.json
    QTest::addColumn<QByteArray>("now");   // A.json then ("": as it was, "-": gone)
    QTest::addColumn<QString>("expected"); // its "brand" value, or what the error names
    const QByteArray other = QJsonDocument(QJsonObject{{"brand", "second"}}).toJson();
    QTest::newRow("unchanged") << "A.json" << QByteArray() << "first";
    QTest::newRow("rewritten meanwhile") << "A.json" << other << "second";
    QTest::newRow("made unreadable meanwhile") << "A.json" << QByteArray("{") << "not valid JSON";
    QTest::newRow("removed meanwhile") << "A.json" << QByteArray("-") << "Cannot read";
    QTest::newRow("another scheme read") << "B.json" << QByteArray() << "b-one";
}

// A scheme read ahead is what a later read of that file returns only while the file is as it
// was; any other read drops it, so that it never stands for a later state of the file.
void TestSchemes::readAheadStandsOnlyForTheFileItRead()
{
    QFETCH(QString, read);
    QFETCH(QByteArray, now);
    QFETCH(QString, expected);
    writeScheme("A.json", {{"brand", "first"}});
    writeScheme("B.json", {{"brand", "b-one"}}); // as long as A.json
    HSchemeReadAhead::start(HSaleStatusSchemes::readPath("A.json"));
    HSchemeReadAhead::Checked taken;
    QVERIFY(!HSchemeReadAhead::take(HSaleStatusSchemes::readPath("B.json"), &taken));
    HSchemeReadAhead::start(HSaleStatusSchemes::readPath("A.json"));
    if (now == "-")
        QVERIFY(QFile::remove(configPath("A.json")));
    else if (!now.isEmpty())
        writeFile(configPath("A.json"), now);

    HSaleStatusSchemes schemes;
    QJsonObject scheme;
    const auto result = schemes.read(read, scheme);
    const QString got = scheme.value("brand").toString();
    QVERIFY2(got == expected || (got.isEmpty() && schemes.errorString().contains(expected)),
             qPrintable(got + schemes.errorString()));
    QCOMPARE(result, schemes.errorString().isEmpty() ? HSaleStatusSchemes::ReadResult::Ok
                     : now == "-"                    ? HSaleStatusSchemes::ReadResult::Missing
                                                     : HSaleStatusSchemes::ReadResult::Unreadable);
    // Taken or dropped: the next read of A.json reads the file.
    writeScheme("A.json", {{"brand", "third"}});
    QCOMPARE(schemes.read("A.json", scheme), HSaleStatusSchemes::ReadResult::Ok);
    QCOMPARE(scheme.value("brand").toString(), "third");
}

QTEST_MAIN(TestSchemes)
#include "tst_schemes.moc"
