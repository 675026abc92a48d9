// The OEM model exchange as the sale status editor runs it: file dialogs, message boxes,
// the model table and the files on disk, full disks included.
#include "oemexchangefixture.h"

using namespace OemFixture;

class TestOemExchange : public QObject, public OemExchangeSuite
{
    Q_OBJECT

private slots:
    void initTestCase() { startSuite(); }
    void init() { startCase(); }
    void cleanup() { finishCase(); }

    void roundTrip_data() { formats(); }
    void roundTrip();
    void importMatchesExactCodes_data() { formats(); }
    void importMatchesExactCodes();
    void exportFailuresAreReported();
    void fullDiskKeepsEarlierFile_data();
    void fullDiskKeepsEarlierFile();
    void saleStatusTabExchangesOemNames();
};

void TestOemExchange::roundTrip()
{
    // Export, then import into names typed since: every name comes back, the empty one and
    // those of hidden rows included, and the workbook is only read. Then an export of the
    // empty table (before the first click) over it gives the bare template. A cancelled file
    // dialog shows nothing more and changes nothing.
    QFETCH(QString, name);
    const QString path = file(name);
    QTableWidget *table = makeTable(rowsOf(kTricky), [](int r) { return r % 3 == 2; });
    m_editor->show();
    for (bool exporting : {true, false}) {
        QCOMPARE(exporting ? exportTo(table, QString()) : importFrom(table, QString()),
                 QStringList());
        QCOMPARE(m_answerer->count(), 1); // the file dialog, no message box
    }
    QStringList filters;
    QCOMPARE(exportTo(table, path, &filters), kSuccess);
    QVERIFY2(filters.contains("Excel (*.xls *.xlsx)"), qPrintable(filters.join(';')));
    QCOMPARE(int(HWorkbook::formatOfContent(path)), int(HWorkbook::formatOfName(path)));
    QCOMPARE(modelSheet(path), kHeader + '\n' + rowLines(rowsOf(kTricky)));

    const QStringList original = rowTexts(table, 2);
    for (int r = 0; r < table->rowCount(); ++r)
        table->item(r, 2)->setText("typed since");
    const QByteArray exported = fileBytes(path);
    filters.clear();
    QCOMPARE(importFrom(table, path, &filters), imported(8, 8));
    QVERIFY(filters.contains("Excel (*.xls *.xlsx)"));
    QCOMPARE(rowTexts(table, 2), original);
    QCOMPARE(fileBytes(path), exported);

    QCOMPARE(exportTo(new QTableWidget(m_editor), path), kSuccess);
    QCOMPARE(int(HWorkbook::formatOfContent(path)), int(HWorkbook::formatOfName(path)));
    if (HWorkbook::formatOfName(path) == HWorkbook::Xls)
        QCOMPARE(fileBytes(path), m_template);
    QCOMPARE(modelSheet(path), kHeader);
}

void TestOemExchange::importMatchesExactCodes()
{
    QFETCH(QString, name);
    HWorkbook workbook;
    workbook.sheets = {{"notes", rowsOf("product_code|oem_model;A|wrong sheet")},
                       {"modellist", rowsOf("oem_model|product_code|model|note;first|A|x|n;"
                                            "second|A|x;lower|b;blank|C ;|D;hidden row|E;"
                                            "nobody|Z;no code")}};
    QVERIFY(workbook.write(file(name), HWorkbook::formatOfName(name)));
    QTableWidget *table = makeTable(rowsOf("A|m|old A;B|m|old B;C|m|old C;D|m|old D;E|m|old E;"
                                           "F|m|old F;|m|no code"),
                                    [](int r) { return r == 4; });
    QCOMPARE(importFrom(table, file(name)),
             imported(7, 3, "3 product codes match no model: \"b\", \"C \", \"Z\""));
    // First row wins; letter case and trailing blanks make other codes; an empty name clears;
    // a hidden row is updated; rows not in the workbook keep their name.
    QCOMPARE(rowTexts(table, 2).join('|'),
             QStringLiteral("first|old B|old C||hidden row|old F|no code"));
    QCOMPARE(table->rowHeight(4), 0);
}

void TestOemExchange::exportFailuresAreReported()
{
    QTableWidget *table = makeTable({{"A", "m", "o"}});
    const QString templateFile = HOemModelExchange::templatePath();
    // The template itself as the target is refused (cleanup() checks it is untouched), and
    // so is a folder that cannot be made.
    QStringList seen = exportTo(table, templateFile);
    QVERIFY2(isWarning(seen, "template", templateFile), qPrintable(seen.join('\n')));
    QVERIFY(writeBytes(file("plain"), "a file, not a folder"));
    const QString nowhere = file("plain/folder/out.xls");
    seen = exportTo(table, nowhere);
    QVERIFY2(isWarning(seen, "", nowhere) && !QFileInfo::exists(nowhere),
             qPrintable(seen.join('\n')));

    // A template missing, damaged, without the sheet "modellist" or without its column: the
    // warning names the target and the cause, and the previous file stays as it was.
    HWorkbook wrongSheet, noColumn;
    wrongSheet.sheets = {{"other", rowsOf(kHeader)}};
    noColumn.sheets = {{"modellist", rowsOf("product_code|model")}};
    QVERIFY(wrongSheet.write(file("wrong.xls"), HWorkbook::Xls));
    QVERIFY(noColumn.write(file("nocolumn.xls"), HWorkbook::Xls));
    const QVector<QPair<QByteArray, QString>> cases{
        {QByteArray(), "does not exist"},
        {"not a workbook", "cannot be opened"},
        {fileBytes(file("wrong.xls")), "no sheet \"modellist\""},
        {fileBytes(file("nocolumn.xls")), "oem_model"}};
    for (const auto &c : cases) {
        QFile::remove(templateFile);
        QVERIFY(c.first.isEmpty() || writeBytes(templateFile, c.first));
        for (const QString &path : {file("kept.xls"), file("kept.xlsx")}) {
            QVERIFY(writeBytes(path, "previous content"));
            seen = exportTo(table, path);
            QVERIFY2(isWarning(seen, c.second, path), qPrintable(seen.join('\n')));
            QCOMPARE(fileBytes(path), QByteArray("previous content"));
        }
    }
    QVERIFY(writeBytes(templateFile, m_template));

    // More model rows than an .xls sheet holds: a warning pointing to .xlsx, given before
    // the rows are looked at (they have no items here).
    auto *big = new QTableWidget(HBiff8Writer::MaxRows, 5, m_editor); // one too many, header in
    seen = exportTo(big, file("kept.xls"));
    QVERIFY2(isWarning(seen, "65536", file("kept.xls")) && seen.first().contains(".xlsx"),
             qPrintable(seen.join('\n')));
    QCOMPARE(fileBytes(file("kept.xls")), QByteArray("previous content"));
}

void TestOemExchange::fullDiskKeepsEarlierFile_data()
{
    // Limits as parts of the size of the finished workbook: below it the export must fail;
    // above it the library's own temporary files may still be cut off while its small
    // result fits, and the export must then either fail or have written the whole table.
    // (A disk full from the first byte is met by every file in the cross-cutting fault suite.)
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("limit");
    for (const char *name : {"names.xls", "names.xlsx"}) {
        for (double limit : {0.5, 2.0})
            QTest::addRow("%s, %g x size", name, limit) << name << limit;
    }
}

void TestOemExchange::fullDiskKeepsEarlierFile()
{
    // The disk fills while the workbook is written: the earlier file stays byte for byte, no
    // temporary file is left (beside it or in the temporary folder), and the error names the
    // file and the cause. Nothing that failed is reported as a success.
    QFETCH(QString, name);
    QFETCH(double, limit);
    QVector<QStringList> rows;
    for (int i = 0; i < 3000; ++i)
        rows.append({QStringLiteral("PC%1").arg(i), QStringLiteral("AR-%1 型号").arg(i % 97),
                     QStringLiteral("OEM %1").arg(i)});
    QTableWidget *table = makeTable(rows);
    QDir(m_dir.path()).mkpath("out");
    QDir(m_dir.path()).mkpath("tmp");
    const QString path = file("out/" + name), reference = file("reference-" + name);
    QString error;
    QVERIFY2(
        HOemModelExchange::exportRows(table, reference, HOemModelExchange::templatePath(), &error),
        qPrintable(error));
    const qint64 size = QFileInfo(reference).size();
    QVERIFY(writeBytes(path, "earlier workbook"));
    const QMap<QString, QByteArray> before = folderFiles(file("out"));

    const QString result = QString::fromUtf8(FileFaults::inChild(qint64(limit * size), [&] {
        qputenv("TMPDIR", QFile::encodeName(file("tmp")));
        QString error;
        if (HOemModelExchange::exportRows(table, path, HOemModelExchange::templatePath(), &error))
            return QByteArray("success");
        return error.toUtf8();
    }));
    QCOMPARE(folderFiles(file("tmp")).keys(), QStringList());
    if (result == "success") {
        QVERIFY2(limit > 1, "a failed export was reported as a success");
        QCOMPARE(modelSheet(path), kHeader + '\n' + rowLines(rows));
        return;
    }
    QVERIFY2(result.contains(QDir::toNativeSeparators(path)) &&
                 result.contains(QRegularExpression("full|too large",
                                                    QRegularExpression::CaseInsensitiveOption)),
             qPrintable(result));
    QVERIFY2(folderFiles(file("out")) == before,
             "the earlier file changed or a temporary file was left");
}

void TestOemExchange::saleStatusTabExchangesOemNames()
{
    // The two buttons of the sale status tab, end to end: export the model table, change
    // names, import them back, and store them in the scheme with "Save to scheme".
    const QString db = file("Product.mdb");
    QVERIFY(createProductDb(
        db, {"insert into __product_series (id_series, product_type, category) "
             "values (7, 0, 'VRF')",
             "insert into __product_idx (product_code, id_series, base_model) values "
             "('007', 7, 'MX-1'), ('O''K', 7, 'MX-2'), ('X1', 8, 'Other')"}));
    useProductDb(db);
    QVERIFY(QDir().mkpath(appFolder("config")) && writeBytes(appFolder("config/A.json"), "{}"));
    auto *editor = new HEditProductSaleStatus(m_editor);
    m_editor->layout()->addWidget(editor);
    m_editor->show();
    editor->clickCell_Series(0, 0);
    auto *table = editor->findChild<QTableWidget *>("tableWidget_Idx");
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 3);
    const QStringList names{"品牌-1", "it's", "hidden row"};
    for (int r = 0; r < 3; ++r)
        table->item(r, 2)->setText(names.at(r));
    auto click = [editor](const char *button) {
        return [editor, button] {
            QTest::mouseClick(editor->findChild<QPushButton *>(button), Qt::LeftButton);
        };
    };

    QCOMPARE(run(click("pushButton_export"), file("tab.xlsx")), kSuccess);
    for (int r = 0; r < 3; ++r)
        table->item(r, 2)->setText(QString());
    QCOMPARE(run(click("pushButton_import"), file("tab.xlsx")), imported(3, 3));
    QCOMPARE(rowTexts(table, 2), names);

    click("pushButton_Save")();
    QStringList stored;
    const QJsonDocument scheme = QJsonDocument::fromJson(fileBytes(appFolder("config/A.json")));
    for (const QJsonValue &record : scheme.object().value("idx_table").toArray())
        stored.append(record.toObject().value("oem_model").toString());
    QCOMPARE(stored, names);
    delete editor;
    HDbFind::closeDb();
}

QTEST_MAIN(TestOemExchange)
#include "tst_oemexchange.moc"
