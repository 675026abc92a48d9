#include "testhelpers.h"

#include "hbiff8writer.h"
#include "hdatabase.h"
#include "hworkbook.h"
#include "hxlsreader.h"

#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

// Workbook layer: .xls and .xlsx read and written, workbooks opened as databases, the BIFF8
// limits, the template, damaged files, and a reader nobody here wrote.
class TestWorkbook : public QObject
{
    Q_OBJECT

private slots:
    void openAsDatabase_data() { formats(); }
    void openAsDatabase();
    void templateAndItsCopies();
    void headerCellsBecomeColumnNames();
    void limitsAndRefusals();
    void damagedFilesGiveErrors_data() { formats(); }
    void damagedFilesGiveErrors();
    void xlsReaderFailures_data();
    void xlsReaderFailures();

private:
    static void formats()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("xls") << int(HWorkbook::Xls);
        QTest::newRow("xlsx") << int(HWorkbook::Xlsx);
    }
    QString file(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

namespace {

const QString kTemplate = "[modellist]\nproduct_code|model|oem_model";

// The sheets as a reader can tell them apart: "[name]", then the rows as "a|b|c" without
// trailing empty cells and trailing empty rows.
QString dump(const QVector<HWorkbookSheet> &sheets)
{
    QStringList lines;
    for (const HWorkbookSheet &sheet : sheets) {
        lines.append(QStringLiteral("[%1]").arg(sheet.name));
        if (!TestHelpers::rowLines(sheet.rows).isEmpty())
            lines.append(TestHelpers::rowLines(sheet.rows));
    }
    return lines.join('\n');
}

QString dumpFile(const QString &path)
{
    HWorkbook workbook;
    return workbook.read(path) ? dump(workbook.sheets) : "unreadable: " + workbook.errorString();
}

// Texts that break careless writers (quotes, non-ASCII, leading zeros, blanks, a character
// outside the BMP, separators, placeholders, characters XML cannot hold and a literal text
// that looks like their escape); enough strings for the shared string table to span several
// records, and one long text split at a record boundary.
QVector<HWorkbookSheet> sampleSheets()
{
    const QStringList texts =
        QString("O'Brien|say \"hi\"|空调 室内机|000123|  blank around  |a,b;c|x\ny|"
                "emoji \U0001F600 end|Grüße|%1 %2|cr\rhere|_x000D_ literal, _x|ctl\x01\x1f end")
            .split('|');
    HWorkbookSheet models{"modellist", {{"product_code", "model", "oem_model"}}};
    for (int i = 0; i < texts.size(); ++i)
        models.rows.append(
            {QStringLiteral("P%1").arg(i), texts.at(i), texts.at(texts.size() - 1 - i)});
    models.rows += {{"P-empty", "", ""}, {"", "middle gap", "x"}};
    HWorkbookSheet many{"many 表", {{"key", "value"}}};
    for (int i = 0; i < 3000; ++i)
        many.rows.append({QStringLiteral("k%1").arg(i), QStringLiteral("value %1 值").arg(i)});
    QString longText;
    while (longText.size() < HBiff8Writer::MaxTextLength - 20)
        longText += QStringLiteral("长文本 long text \U0001F600 ");
    many.rows.append({"long", longText.left(HBiff8Writer::MaxTextLength)});
    // An empty sheet between others keeps its place.
    return {models, {"blank", {}}, many};
}

// The workbook as Debian's own Python reads it with xlrd/openpyxl, in the form of dump(),
// with what the reader said on standard error.
QString readWithPython(const QString &path)
{
    QVector<HWorkbookSheet> sheets;
    QString error;
    TestHelpers::readWithPython(path, &sheets, &error);
    return dump(sheets) + error;
}
const char kNoPython[] =
    "Debian's /usr/bin/python3 with python3-xlrd and python3-openpyxl is not installed";

} // namespace

void TestWorkbook::openAsDatabase()
{
    QFETCH(int, format);
    const QString path = file("db." + QString(QTest::currentDataTag()));
    HWorkbook out;
    out.sheets = sampleSheets();
    out.emptySheets = QStringList{"empty"};
    QVERIFY2(out.write(path, HWorkbook::Format(format)), qPrintable(out.errorString()));
    QCOMPARE(int(HWorkbook::formatOfContent(path)), format);
    QCOMPARE(dumpFile(path), dump(out.sheets) + "\n[empty]");

    // Reading (committed), a failed statement and an uncommitted change leave the file
    // untouched.
    const QByteArray before = TestHelpers::fileBytes(path);
    const QDateTime modified = QFileInfo(path).lastModified();
    {
        HDatabase workbook;
        QVERIFY2(workbook.openExcelDatabase(path, QString()), qPrintable(workbook.errorString()));
        QVERIFY(workbook.isOpen());
        auto value = [&](const QString &sql) {
            QSqlQuery query = workbook.query(sql);
            return query.next() ? query.value(0) : QVariant("no row");
        };
        QVERIFY(workbook.getSqlDatabase().transaction());
        QCOMPARE(value("select count(*) from modellist").toInt(), out.sheets[0].rows.size() - 1);
        QCOMPARE(value("select model from modellist where product_code = 'P3'").toString(),
                 QStringLiteral("000123"));
        QCOMPARE(value("select model is null and oem_model is null from modellist "
                       "where product_code = 'P-empty'")
                     .toInt(),
                 1);
        QCOMPARE(workbook.getTableColumns("[many 表]", "key", "key = 'long'", true),
                 QStringList{"long"});
        QVERIFY(workbook.commit()); // nothing changed
        QVERIFY(!workbook.exec("INSERT INTO nosuchsheet VALUES (1)"));
        QVERIFY(workbook.errorString().contains("nosuchsheet"));
        QVERIFY(workbook.transaction());
        QVERIFY(workbook.exec("DELETE FROM modellist"));
        workbook.getSqlDatabase().close(); // never committed
    }
    QCOMPARE(TestHelpers::fileBytes(path), before);
    QCOMPARE(QFileInfo(path).lastModified(), modified);

    // The caller's way: a transaction on the connection, commit through the handle, the
    // connection closed directly. The destructor still writes the workbook back.
    {
        HDatabase workbook;
        QVERIFY(workbook.openExcelDatabase(path, QString()));
        QVERIFY(workbook.getSqlDatabase().transaction());
        QVERIFY(workbook.exec("INSERT INTO modellist (product_code,model,oem_model) "
                              "VALUES ('NEW','新','it''s')"));
        QVERIFY(workbook.exec("DELETE FROM modellist WHERE product_code = 'P0'"));
        QVERIFY(workbook.commit());
        workbook.getSqlDatabase().close();
    }
    QCOMPARE(int(HWorkbook::formatOfContent(path)), format);
    QVector<HWorkbookSheet> expected = out.sheets;
    expected[0].rows.remove(1); // P0, the order of the others kept
    expected[0].rows.append({"NEW", "新", "it's"});
    QCOMPARE(dumpFile(path), dump(expected) + "\n[empty]");

    // closeDatabase() writes back too; a second close is harmless.
    HDatabase again;
    QVERIFY(again.openExcelDatabase(path, QString()));
    QVERIFY(again.exec("UPDATE modellist SET oem_model = 'changed' WHERE product_code = 'NEW'"));
    QVERIFY2(again.closeDatabase(), qPrintable(again.errorString()));
    QVERIFY(again.closeDatabase());
    expected[0].rows.last().last() = "changed";
    QCOMPARE(dumpFile(path), dump(expected) + "\n[empty]");

    // A reader nobody here wrote sees the same, but for openpyxl, which decodes the escape of
    // "_" alone and leaves those of other characters as they stand.
    if (!TestHelpers::pythonHas("xlrd, openpyxl"))
        QSKIP(kNoPython);
    for (HWorkbookSheet &sheet : expected) {
        for (QStringList &row : sheet.rows) {
            for (QString &text : row) {
                if (format == HWorkbook::Xlsx)
                    text = HWorkbook::encodeEscapes(text).remove("x005F_");
            }
        }
    }
    QCOMPARE(readWithPython(path), dump(expected) + "\n[empty]");
}

void TestWorkbook::templateAndItsCopies()
{
    // The shipped template is a genuine .xls holding the bare sheet "modellist".
    const QString shipped = QCoreApplication::applicationDirPath() + "/template/idx_table.xls";
    QCOMPARE(int(HWorkbook::formatOfContent(shipped)), int(HWorkbook::Xls));
    QCOMPARE(dumpFile(shipped), kTemplate);
    if (TestHelpers::pythonHas("xlrd, openpyxl"))
        QCOMPARE(readWithPython(shipped), kTemplate);

    // A copy under an .xlsx name opens (format by content) and, once changed, is written as
    // its name says; a name that says neither keeps the format of the content.
    const QString path = file("copy.xlsx"), other = file("copy.dat");
    QVERIFY(QFile::copy(shipped, path));
    {
        HDatabase workbook;
        QVERIFY2(workbook.openExcelDatabase(path, QString()), qPrintable(workbook.errorString()));
        workbook.markWorkbookChanged();
    }
    QCOMPARE(int(HWorkbook::formatOfContent(path)), int(HWorkbook::Xlsx));
    QCOMPARE(dumpFile(path), kTemplate);
    QVERIFY(QFile::copy(path, other));
    {
        HDatabase workbook;
        QVERIFY(workbook.openExcelDatabase(other, QString()));
        QVERIFY(workbook.exec("INSERT INTO modellist (product_code) VALUES ('x')"));
        QVERIFY2(workbook.closeDatabase(), qPrintable(workbook.errorString()));
    }
    QCOMPARE(int(HWorkbook::formatOfContent(other)), int(HWorkbook::Xlsx));
}

void TestWorkbook::headerCellsBecomeColumnNames()
{
    HWorkbook out;
    out.sheets = {{"s", {{"a", "", "A", "b"}, {"1", "2", "3", "4", "5"}, {}, {"x"}, {}, {}}}};
    QVERIFY(out.write(file("header.xlsx"), HWorkbook::Xlsx));
    HDatabase workbook;
    QVERIFY2(workbook.openExcelDatabase(file("header.xlsx"), QString()),
             qPrintable(workbook.errorString()));
    const QSqlRecord columns = workbook.getSqlDatabase().record("s");
    QStringList names;
    for (int i = 0; i < columns.count(); ++i)
        names.append(columns.fieldName(i));
    // Empty and repeated (case-blind) header cells get names of their own; a cell beyond the
    // header makes a column too. The empty row between data rows is kept, trailing ones not.
    QCOMPARE(names, (QStringList{"a", "F2", "F3", "b", "F5"}));
    QSqlQuery count = workbook.query("select count(*) from s");
    QVERIFY(count.next());
    QCOMPARE(count.value(0).toInt(), 3);
}

void TestWorkbook::limitsAndRefusals()
{
    // A sheet of exactly 65,536 rows fits in an .xls (one more is refused: tst_oemexchange).
    HWorkbook out;
    out.sheets = {{"modellist", {{"product_code", "model", "oem_model"}}}};
    for (int i = 1; i < HBiff8Writer::MaxRows; ++i)
        out.sheets[0].rows.append(
            {QStringLiteral("C%1").arg(i), QStringLiteral("M%1").arg(i % 100)});
    QVERIFY2(out.write(file("limit.xls"), HWorkbook::Xls), qPrintable(out.errorString()));
    QVERIFY(out.read(file("limit.xls")));
    QCOMPARE(out.sheets.at(0).rows.size(), HBiff8Writer::MaxRows);
    QCOMPARE(out.sheets.at(0).rows.last().first(), QStringLiteral("C65535"));

    // Workbooks beyond the limits of .xls, or with two sheets whose names differ only in
    // letter case, and a folder that cannot be made: refused with a reason, nothing written.
    QVERIFY(TestHelpers::writeBytes(file("plain"), "a file"));
    const HWorkbookSheet wide{"w", {QVector<QString>(HBiff8Writer::MaxColumns + 1, "x").toList()}};
    const HWorkbookSheet longCell{"l", {{QString(HBiff8Writer::MaxTextLength + 1, 'x')}}};
    const HWorkbookSheet a{"a", {{"x"}}}, twin{"A", {{"y"}}};
    const struct
    {
        QVector<HWorkbookSheet> sheets;
        HWorkbook::Format format;
        QString path, error;
    } refused[] = {{{wide}, HWorkbook::Xls, file("wide.xls"), "256"},
                   {{longCell}, HWorkbook::Xls, file("long.xls"), "8000"},
                   {{a, twin}, HWorkbook::Xls, file("twins"), "two sheets"},
                   {{a, twin}, HWorkbook::Xlsx, file("twins"), "two sheets"},
                   {{a}, HWorkbook::Xlsx, file("plain/folder.xlsx"), "plain"}};
    for (const auto &c : refused) {
        out.sheets = c.sheets;
        QVERIFY2(!out.write(c.path, c.format), qPrintable(c.path));
        QVERIFY2(out.errorString().contains(c.error), qPrintable(out.errorString()));
        QVERIFY(!QFileInfo::exists(c.path));
    }

    // Files that cannot be opened as workbooks.
    QVERIFY(TestHelpers::writeBytes(file("text.xls"), "product_code,model\n1,2\n"));
    const QVector<QPair<QString, QString>> unopened{
        {file("missing.xls"), "does not exist"}, {file("text.xls"), "neither"}, {m_dir.path(), ""}};
    HDatabase workbook;
    for (const auto &c : unopened) {
        QVERIFY(!workbook.openExcelDatabase(c.first, QString()));
        QVERIFY2(workbook.errorString().contains(c.second), qPrintable(workbook.errorString()));
        QVERIFY(!workbook.isOpen());
    }
    QVERIFY(workbook.closeDatabase());
}

void TestWorkbook::damagedFilesGiveErrors()
{
    // Brief fuzzing of both readers: truncated files are refused; bit flips give an error or
    // a readable workbook, never a crash or a hang, and damage to the container is seen.
    QFETCH(int, format);
    const QString path = file("damaged." + QString(QTest::currentDataTag()));
    HWorkbook out;
    out.sheets = sampleSheets();
    out.sheets[2].rows.resize(400);
    QVERIFY(out.write(path, HWorkbook::Format(format)));
    const QByteArray good = TestHelpers::fileBytes(path);
    for (int length :
         {0, 7, 8, 100, 511, 512, 2000, good.size() / 2, good.size() - 600, good.size() - 30}) {
        QVERIFY(TestHelpers::writeBytes(path, good.left(length)));
        HWorkbook in;
        QVERIFY2(!in.read(path), qPrintable(QStringLiteral("truncated to %1 bytes").arg(length)));
        QVERIFY(!in.errorString().isEmpty() && in.sheets.isEmpty());
    }

    QRandomGenerator random(format * 7919);
    int refused = 0;
    for (int round = 0; round < 60; ++round) {
        QByteArray bytes = good;
        for (int flips = 1 + random.bounded(8); flips > 0; --flips) {
            const int at = random.bounded(bytes.size());
            bytes[at] = char(bytes.at(at) ^ (1 << random.bounded(8)));
        }
        QVERIFY(TestHelpers::writeBytes(path, bytes));
        HDatabase workbook;
        if (!workbook.openExcelDatabase(path, QString())) {
            ++refused;
            QVERIFY(!workbook.errorString().isEmpty());
        }
    }
    qInfo("%d of 60 damaged files refused, the others read", refused);
    QVERIFY(refused > 0);
}

void TestWorkbook::xlsReaderFailures_data()
{
    // Stand-ins for the .xls reader helper: what it does instead of reading.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QString() << "is missing; it belongs beside the program";
    QTest::newRow("crashes") << "kill -SEGV $$"
                             << "stopped before the end of the workbook (it "
                                "crashed); the file is probably damaged";
    QTest::newRow("hangs") << "exec sleep 60"
                           << "did not finish within 0.5 s";
    QTest::newRow("closes its output, then hangs") << "exec >&-; exec sleep 60"
                                                   << "did not finish within 0.5 s";
    QTest::newRow("cannot start") << "#!/nonexistent/interpreter"
                                  << "cannot be started: No such file or directory";
    QTest::newRow("talks nonsense") << "echo hello"
                                    << "answer is garbled";
    QTest::newRow("stops early") << "printf 'PMXL1\\nS\\011\\0\\0\\0modellist\\001R'; exit 3"
                                 << "stopped before the end of the workbook (exit status 3)";
}

void TestWorkbook::xlsReaderFailures()
{
    // Whatever becomes of the helper that reads .xls files, the tool goes on and says why.
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString helper = file("helper-" + QString(QTest::currentDataTag()).replace(' ', '-'));
    if (!script.isEmpty()) {
        const QByteArray text = script.toUtf8();
        QVERIFY(TestHelpers::writeBytes(
            helper, text.startsWith("#!") ? text : "#!/bin/sh\n" + text + "\n"));
        QFile::setPermissions(helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    HXlsReader::setHelperProgram(helper);
    HXlsReader::setTimeout(500);
    HWorkbook workbook;
    const bool read =
        workbook.read(QCoreApplication::applicationDirPath() + "/template/idx_table.xls");
    HXlsReader::setHelperProgram(QString());
    HXlsReader::setTimeout(60000);
    QVERIFY(!read);
    QVERIFY2(workbook.errorString().contains(message), qPrintable(workbook.errorString()));
    QVERIFY(workbook.sheets.isEmpty());
}

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"
