// Workbooks the exchange meets and makes: odd and hostile ones refused or read as they
// should be, and programs nobody here wrote (LibreOffice, Debian's python3 readers) reading
// what it writes and writing what it reads.
#include "oemexchangefixture.h"

using namespace OemFixture;

class TestWorkbookClients : public QObject, public OemExchangeSuite
{
    Q_OBJECT

private slots:
    void initTestCase() { startSuite(); }
    void init() { startCase(); }
    void cleanup() { finishCase(); }

    void oddWorkbooks_data();
    void oddWorkbooks();
    void clientsReadExports_data();
    void clientsReadExports();
    void foreignWorkbooksImport();
};

void TestWorkbookClients::oddWorkbooks_data()
{
    // Workbooks of tests/clients/odd_workbook.py, some cut short here (bit flips: tst_workbook).
    // `names` are the OEM names of the model rows P1, P2, 12345 and 67890 afterwards (o1..o4
    // before); `box` is a pattern of the one message box.
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("box");
    const QString unchanged = "o1|o2|o3|o4", refused = "^Warning: Import from .* failed: .*%1";
    const QString success = "^Notice: Import success\n%1 rows read, %2 matched a model of the "
                            "table\\.";
    const QString formulaNote = "\n1 rows left out: their OEM model is a formula without a "
                                "stored result";
    const QString noMatch = "^Warning: No row of .* matches a model of the table: 2 rows read, "
                            "nothing was imported\\.\n2 product codes match no model: "
                            "\"X1\", \"X2\"$";
    const struct
    {
        const char *file, *damage;
        QString names, box;
    } rows[] = {
        {"valid.xls", "truncated", unchanged, refused.arg("(damaged|unreadable|no Excel)")},
        {"inflating.xls", "", "N1|N2|o3|o4", success.arg(2).arg(2) + "$"},
        {"formula.xls", "", "N1-FORM|N2|o3|o4", success.arg(2).arg(2) + "$"},
        {"numeric-code.xls", "", "o1|o2|N1|N2", success.arg(2).arg(2) + "$"},
        {"cr-text.xls", "", "a\rb|N2|o3|o4", success.arg(2).arg(2) + "$"},
        {"far-reference.xls", "", "N1|N2|o3|o4", success.arg(2).arg(2) + "$"},
        {"no-match.xls", "", unchanged, noMatch},
        {"no-column.xls", "", unchanged,
         refused.arg("the sheet \"modellist\" has no column oem_model$")},
        {"not-a-workbook.xls", "", unchanged,
         refused.arg("neither an .xls nor an .xlsx workbook$")},
        {"valid.xlsx", "truncated", unchanged, refused.arg("zip")},
        {"inflating.xlsx", "", unchanged, refused.arg("2,048 MB, more than the 256 MB")},
        {"inflating-hidden.xlsx", "", unchanged, refused.arg("(32,767 characters|256 MB)")},
        {"far-reference.xlsx", "", unchanged, refused.arg("XFC9 lies beyond column AMJ")},
        {"formula.xlsx", "", "N1-F|o2|o3|o4", success.arg(2).arg(1) + formulaNote},
        {"numeric-code.xlsx", "", "o1|o2|N1|N2", success.arg(2).arg(2) + "$"},
        {"escaped-text.xlsx", "", "a\rb|_x000D_ literal|o3|o4", success.arg(2).arg(2) + "$"},
        {"too-many-rows.xlsx", "", unchanged, refused.arg("more than 1,048,576 rows")},
        {"no-match.xlsx", "", unchanged, noMatch},
        {"no-sheet.xlsx", "", unchanged, refused.arg("the workbook has no sheet \"modellist\"$")},
    };
    for (const auto &row : rows)
        QTest::addRow("%s%s%s", row.file, *row.damage ? ", " : "", row.damage)
            << row.file << row.damage << row.names << row.box;
}

void TestWorkbookClients::oddWorkbooks()
{
    // Each workbook is imported into the model table: the box names the problem, a refused
    // workbook leaves the table as it was, nothing crashes. Workbooks built to take memory
    // are also read in a child whose memory is limited.
    QFETCH(QString, file);
    QFETCH(QString, damage);
    QFETCH(QString, names);
    QFETCH(QString, box);
    const QString folder = this->file("odd");
    if (!QFileInfo::exists(folder + "/valid.xls")) {
        if (!pythonHas())
            QSKIP(kNoPython);
        QString error;
        QDir().mkpath(folder);
        QVERIFY2(
            runPython({PM_SOURCE_DIR "/tests/clients/odd_workbook.py", folder}, nullptr, &error),
            qPrintable(error.isEmpty() ? QString(kNoPython) : error));
    }
    const QString path = this->file(damage.isEmpty() ? file : damage + '-' + file);
    QByteArray bytes = fileBytes(folder + '/' + file);
    QVERIFY(!bytes.isEmpty());
    if (damage == "truncated")
        bytes.truncate(bytes.size() * 2 / 3);
    QVERIFY(writeBytes(path, bytes));

    QTableWidget *table = makeTable(rowsOf("P1|M1|o1;P2|M2|o2;12345|M3|o3;67890|M4|o4"));
    const QStringList seen = importFrom(table, path);
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen.first().contains(QRegularExpression(box)), qPrintable(seen.first()));
    QCOMPARE(rowTexts(table, 2).join('|'), names);
    QCOMPARE(fileBytes(path), bytes);

    if (file.startsWith("inflating")) {
#ifndef __SANITIZE_ADDRESS__
        const QString result = QString::fromUtf8(FileFaults::inChild(0, [&] {
            limitMemory(rlim_t(512) << 20);
            QString error;
            return HOemModelExchange::importRows(table, path, &error) ? "read" : error.toUtf8();
        }));
        if (file.endsWith(".xls"))
            QCOMPARE(result, QStringLiteral("read"));
        else
            QVERIFY2(result.contains(QRegularExpression("32,767|256 MB")), qPrintable(result));
#endif
    }
}

void TestWorkbookClients::clientsReadExports_data()
{
    QTest::addColumn<bool>("libreOffice");
    QTest::newRow("LibreOffice") << true;
    QTest::newRow("Python") << false;
}

void TestWorkbookClients::clientsReadExports()
{
    // LibreOffice converts both exports to CSV, Debian's Python reads them with xlrd and
    // openpyxl: each gives back the model table, a hidden row and tricky texts included.
    QFETCH(bool, libreOffice);
    if (libreOffice && sofficePath().isEmpty())
        QSKIP("LibreOffice (soffice, package libreoffice-calc-nogui) is not installed");
    if (!libreOffice && !pythonHas())
        QSKIP(kNoPython);
    QTableWidget *table = makeTable(rowsOf(kTricky), [](int r) { return r == 6; });
    const QStringList paths{file("client-xls.xls"), file("client-xlsx.xlsx")};
    QString error, log;
    for (const QString &path : paths)
        QVERIFY2(
            HOemModelExchange::exportRows(table, path, HOemModelExchange::templatePath(), &error),
            qPrintable(error));
    if (libreOffice) // tab separated, texts in quotes, UTF-8
        QVERIFY(libreOfficeConvert({{paths, "csv:Text - txt - csv (StarCalc):9,34,76,1"}}, &log));

    for (const QString &path : paths) {
        QVector<QStringList> read;
        if (libreOffice) {
            const QString csv = file("lo/" + QFileInfo(path).completeBaseName() + ".csv");
            QVERIFY2(QFileInfo::exists(csv), qPrintable(log));
            read = parseCsv(QString::fromUtf8(fileBytes(csv)));
        } else {
            QVector<HWorkbookSheet> sheets;
            QVERIFY2(readWithPython(path, &sheets, &error), qPrintable(error));
            QCOMPARE(sheets.size(), 1);
            QCOMPARE(sheets.at(0).name, QStringLiteral("modellist"));
            read = sheets.at(0).rows;
        }
        // LibreOffice reads a carriage return in an .xls text as a line break (xlrd as it is);
        // openpyxl decodes the escape of "_" alone, and leaves the escapes of other characters
        // as they stand (LibreOffice decodes them all).
        QVector<QStringList> expected = rowsOf(kTricky);
        for (QStringList &row : expected) {
            for (QString &text : row) {
                if (!libreOffice && path.endsWith(".xlsx"))
                    text = HWorkbook::encodeEscapes(text).remove("x005F_");
                else if (libreOffice && path.endsWith(".xls"))
                    text.replace('\r', '\n');
            }
        }
        QCOMPARE(rowLines(read), kHeader + '\n' + rowLines(expected));
    }
}

void TestWorkbookClients::foreignWorkbooksImport()
{
    // Workbooks of xlwt, of openpyxl (shared and in-cell strings) and, saved again by
    // LibreOffice, of the other format: numbers, empty cells, extra sheets and columns,
    // 3,000 rows. See tests/clients/write_workbook.py.
    if (!pythonHas())
        QSKIP(kNoPython);
    constexpr int count = 3000;
    QStringList workbooks, expected;
    QString error, log;
    for (QString kind : {"xls", "xlsx", "xlsx-inline"}) {
        workbooks.append(file(kind == "xls"    ? "xlwt.xls"
                              : kind == "xlsx" ? "openpyxl.xlsx"
                                               : "inline.xlsx"));
        QVERIFY2(runPython({PM_SOURCE_DIR "/tests/clients/write_workbook.py", kind,
                            workbooks.last(), QString::number(count)},
                           nullptr, &error),
                 qPrintable(error));
    }
    if (!sofficePath().isEmpty()) {
        QVERIFY(libreOfficeConvert({{{file("openpyxl.xlsx")}, "xls:MS Excel 97"},
                                    {{file("xlwt.xls")}, "xlsx:Calc MS Excel 2007 XML"}},
                                   &log));
        workbooks += {file("lo/openpyxl.xls"), file("lo/xlwt.xlsx")};
        QVERIFY2(QFileInfo::exists(workbooks.at(3)) && QFileInfo::exists(workbooks.at(4)),
                 qPrintable(log));
    } else {
        qWarning("LibreOffice is not installed: workbooks saved by it are not imported");
    }

    QVector<QStringList> rows;
    for (int i = 0; i < count; ++i) {
        rows.append({foreignCode(i), "M"});
        expected.append(foreignOem(i));
    }
    rows.append({"not in the workbook", "M", "kept"});
    expected.append("kept");
    QTableWidget *table = makeTable(rows, [](int r) { return r % 2 == 1; });
    for (const QString &workbook : qAsConst(workbooks)) {
        qInfo("%s", qPrintable(QFileInfo(workbook).fileName()));
        for (int r = 0; r < count; ++r)
            table->item(r, 2)->setText("before");
        QVERIFY2(HOemModelExchange::importRows(table, workbook, &error), qPrintable(error));
        QCOMPARE(rowTexts(table, 2), expected);
    }
}

QTEST_MAIN(TestWorkbookClients)
#include "tst_workbookclients.moc"
