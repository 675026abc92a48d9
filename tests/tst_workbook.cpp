#include "hbiff8writer.h"
#include "hdatabase.h"
#include "hworkbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

// Workbook layer: reading and writing .xls and .xlsx, workbooks opened as databases, the
// BIFF8 limits, the template, damaged files, and a reader nobody here wrote.
class TestWorkbook : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void pythonReadsOurWorkbooks_data();
    void pythonReadsOurWorkbooks();
    void templateHoldsModelList();
    void openAsDatabase_data();
    void openAsDatabase();
    void unchangedWorkbookIsNotRewritten();
    void uncommittedChangesAreDropped();
    void copyUnderOtherNameGetsItsFormat();
    void headerCellsBecomeColumnNames();
    void xlsRowLimit();
    void openFailures();
    void damagedFilesGiveErrors_data();
    void damagedFilesGiveErrors();

private:
    QTemporaryDir m_dir;
};

namespace {

QString path(const QTemporaryDir &dir, const QString &name)
{
    return dir.filePath(name);
}

// Rows without their trailing empty cells, and without trailing empty rows: what a reader
// can tell apart.
QVector<QStringList> normalised(QVector<QStringList> rows)
{
    for (QStringList &row : rows) {
        while (!row.isEmpty() && row.last().isEmpty())
            row.removeLast();
    }
    while (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

QString describe(const QVector<QStringList> &rows)
{
    QStringList lines;
    for (const QStringList &row : rows)
        lines.append(row.join(QLatin1Char('|')));
    return lines.join(QLatin1Char('\n'));
}

QByteArray fileBytes(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool writeBytes(const QString &file, const QByteArray &bytes)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Texts that break careless writers: quotes, non-ASCII, leading zeros, blanks, a character
// outside the BMP, separators of CSV and SQL.
QStringList trickyTexts()
{
    return {QStringLiteral("O'Brien"),
            QStringLiteral("say \"hi\""),
            QStringLiteral("空调 室内机"),
            QStringLiteral("000123"),
            QStringLiteral("  blank around  "),
            QStringLiteral("a,b;c"),
            QStringLiteral("x\ny"),
            QStringLiteral("emoji \U0001F600 end"),
            QStringLiteral("Grüße"),
            QStringLiteral("%1 %2")};
}

QVector<HWorkbookSheet> sampleSheets()
{
    HWorkbookSheet models;
    models.name = QStringLiteral("modellist");
    models.rows.append(
        {QStringLiteral("product_code"), QStringLiteral("model"), QStringLiteral("oem_model")});
    const QStringList texts = trickyTexts();
    for (int i = 0; i < texts.size(); ++i)
        models.rows.append(
            {QStringLiteral("P%1").arg(i), texts.at(i), texts.at(texts.size() - 1 - i)});
    models.rows.append({QStringLiteral("P-empty"), QString(), QString()});
    models.rows.append({QString(), QStringLiteral("middle gap"), QStringLiteral("x")});

    // Enough different strings for the shared string table to run over several records,
    // and one long text that must be split inside a record boundary.
    HWorkbookSheet many;
    many.name = QStringLiteral("many 表");
    many.rows.append({QStringLiteral("key"), QStringLiteral("value")});
    for (int i = 0; i < 3000; ++i)
        many.rows.append({QStringLiteral("k%1").arg(i), QStringLiteral("value %1 值").arg(i)});
    QString longText;
    while (longText.size() < HBiff8Writer::MaxTextLength - 20)
        longText += QStringLiteral("长文本 long text \U0001F600 ");
    many.rows.append({QStringLiteral("long"), longText.left(HBiff8Writer::MaxTextLength)});
    return {models, many};
}

struct ClientResult
{
    bool available = false;
    QString error;
    QVector<HWorkbookSheet> sheets;
};

// Reads a workbook with Debian's own Python and xlrd/openpyxl.
ClientResult readWithPython(const QString &file)
{
    ClientResult result;
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
        return result;
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import xlrd, openpyxl")});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
        return result;
    result.available = true;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(PM_SOURCE_DIR "/tests/clients/read_workbook.py"), file});
    if (!process.waitForFinished(300000) || process.exitCode() != 0) {
        result.error = QString::fromUtf8(process.readAllStandardError());
        return result;
    }
    const QJsonArray sheets = QJsonDocument::fromJson(process.readAllStandardOutput()).array();
    for (const QJsonValue &value : sheets) {
        HWorkbookSheet sheet;
        sheet.name = value.toObject().value(QStringLiteral("name")).toString();
        for (const QJsonValue &row : value.toObject().value(QStringLiteral("rows")).toArray()) {
            QStringList cells;
            for (const QJsonValue &cell : row.toArray())
                cells.append(cell.toString());
            sheet.rows.append(cells);
        }
        result.sheets.append(sheet);
    }
    return result;
}

} // namespace

void TestWorkbook::roundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("name");
    QTest::newRow("xls") << int(HWorkbook::Xls) << QStringLiteral("round.xls");
    QTest::newRow("xlsx") << int(HWorkbook::Xlsx) << QStringLiteral("round.xlsx");
}

void TestWorkbook::roundTrip()
{
    QFETCH(int, format);
    QFETCH(QString, name);
    const QString file = path(m_dir, name);
    HWorkbook out;
    out.sheets = sampleSheets();
    out.emptySheets = QStringList{QStringLiteral("empty")};
    QVERIFY2(out.write(file, HWorkbook::Format(format)), qPrintable(out.errorString()));
    QCOMPARE(int(HWorkbook::formatOfContent(file)), format);

    HWorkbook in;
    QVERIFY2(in.read(file), qPrintable(in.errorString()));
    QCOMPARE(in.sheets.size(), 3);
    for (int s = 0; s < 2; ++s) {
        QCOMPARE(in.sheets.at(s).name, out.sheets.at(s).name);
        QCOMPARE(describe(normalised(in.sheets.at(s).rows)),
                 describe(normalised(out.sheets.at(s).rows)));
    }
    QCOMPARE(in.sheets.at(2).name, QStringLiteral("empty"));
    QVERIFY(normalised(in.sheets.at(2).rows).isEmpty());
}

void TestWorkbook::pythonReadsOurWorkbooks_data()
{
    roundTrip_data();
}

void TestWorkbook::pythonReadsOurWorkbooks()
{
    QFETCH(int, format);
    QFETCH(QString, name);
    const QString file = path(m_dir, QStringLiteral("python-") + name);
    HWorkbook out;
    out.sheets = sampleSheets();
    QVERIFY2(out.write(file, HWorkbook::Format(format)), qPrintable(out.errorString()));
    const ClientResult client = readWithPython(file);
    if (!client.available)
        QSKIP("Debian's /usr/bin/python3 with python3-xlrd and python3-openpyxl is not installed");
    QVERIFY2(client.error.isEmpty(), qPrintable(client.error));
    QCOMPARE(client.sheets.size(), out.sheets.size());
    for (int s = 0; s < out.sheets.size(); ++s) {
        QCOMPARE(client.sheets.at(s).name, out.sheets.at(s).name);
        // openpyxl reads "x\ny" back as written; xlrd too. Both keep blanks and zeros.
        QCOMPARE(describe(normalised(client.sheets.at(s).rows)),
                 describe(normalised(out.sheets.at(s).rows)));
    }
}

void TestWorkbook::templateHoldsModelList()
{
    const QString file =
        QCoreApplication::applicationDirPath() + QStringLiteral("/template/idx_table.xls");
    QCOMPARE(int(HWorkbook::formatOfContent(file)), int(HWorkbook::Xls));
    HWorkbook workbook;
    QVERIFY2(workbook.read(file), qPrintable(workbook.errorString()));
    QCOMPARE(workbook.sheets.size(), 1);
    QCOMPARE(workbook.sheets.at(0).name, QStringLiteral("modellist"));
    QCOMPARE(describe(normalised(workbook.sheets.at(0).rows)),
             QStringLiteral("product_code|model|oem_model"));
    const ClientResult client = readWithPython(file);
    if (client.available) {
        QVERIFY2(client.error.isEmpty(), qPrintable(client.error));
        QCOMPARE(client.sheets.size(), 1);
        QCOMPARE(describe(normalised(client.sheets.at(0).rows)),
                 QStringLiteral("product_code|model|oem_model"));
    }
}

void TestWorkbook::openAsDatabase_data()
{
    roundTrip_data();
}

void TestWorkbook::openAsDatabase()
{
    QFETCH(int, format);
    QFETCH(QString, name);
    const QString file = path(m_dir, QStringLiteral("db-") + name);
    {
        HWorkbook out;
        out.sheets = sampleSheets();
        out.emptySheets = QStringList{QStringLiteral("empty")};
        QVERIFY(out.write(file, HWorkbook::Format(format)));
    }
    {
        HDatabase workbook;
        QVERIFY2(workbook.openExcelDatabase(file, QString()), qPrintable(workbook.errorString()));
        QVERIFY(workbook.isOpen());
        const QSqlRecord columns = workbook.getSqlDatabase().record(QStringLiteral("modellist"));
        QCOMPARE(columns.count(), 3);
        QCOMPARE(columns.fieldName(2), QStringLiteral("oem_model"));
        QSqlQuery rows = workbook.query(
            QStringLiteral("select model, oem_model from modellist where product_code = 'P3'"));
        QVERIFY(rows.next());
        QCOMPARE(rows.value(QStringLiteral("model")).toString(), QStringLiteral("000123"));
        rows = workbook.query(
            QStringLiteral("select model is null from modellist where product_code = 'P-empty'"));
        QVERIFY(rows.next());
        QCOMPARE(rows.value(0).toInt(), 1);
        rows = QSqlQuery();
        QCOMPARE(workbook.getTableColumns(QStringLiteral("[many 表]"), QStringLiteral("key"),
                                          QStringLiteral("key = 'long'"), true),
                 QStringList{QStringLiteral("long")});

        // The caller's way: a transaction on the connection, commit through the handle, and
        // the connection closed directly. The destructor still writes the workbook back.
        QVERIFY(workbook.getSqlDatabase().transaction());
        QVERIFY(workbook.exec(QStringLiteral(
            "INSERT INTO modellist (product_code,model,oem_model) VALUES ('NEW','新','it''s')")));
        QVERIFY(workbook.exec(QStringLiteral("DELETE FROM modellist WHERE product_code = 'P0'")));
        QVERIFY(workbook.commit());
        workbook.getSqlDatabase().close();
    }
    QCOMPARE(int(HWorkbook::formatOfContent(file)), format);
    HWorkbook in;
    QVERIFY2(in.read(file), qPrintable(in.errorString()));
    QCOMPARE(in.sheets.size(), 3);
    QCOMPARE(in.sheets.at(0).name, QStringLiteral("modellist"));
    QCOMPARE(in.sheets.at(1).name, QStringLiteral("many 表"));
    QCOMPARE(in.sheets.at(2).name, QStringLiteral("empty"));
    QVERIFY(normalised(in.sheets.at(2).rows).isEmpty());
    const QVector<QStringList> rows = normalised(in.sheets.at(0).rows);
    QCOMPARE(rows.first(), (QStringList{QStringLiteral("product_code"), QStringLiteral("model"),
                                        QStringLiteral("oem_model")}));
    QCOMPARE(rows.last(),
             (QStringList{QStringLiteral("NEW"), QStringLiteral("新"), QStringLiteral("it's")}));
    QCOMPARE(rows.at(1).first(), QStringLiteral("P1"));      // P0 deleted, order kept
    QCOMPARE(rows.size(), sampleSheets().at(0).rows.size()); // one gone, one added
    QCOMPARE(normalised(in.sheets.at(1).rows).size(), sampleSheets().at(1).rows.size());

    // closeDatabase() reports the write-back too.
    HDatabase again;
    QVERIFY(again.openExcelDatabase(file, QString()));
    QVERIFY(again.exec(
        QStringLiteral("UPDATE modellist SET oem_model = 'changed' WHERE product_code = 'NEW'")));
    QVERIFY2(again.closeDatabase(), qPrintable(again.errorString()));
    QVERIFY(again.closeDatabase()); // a second close is harmless
    QVERIFY(in.read(file));
    QCOMPARE(normalised(in.sheets.at(0).rows).last().last(), QStringLiteral("changed"));

    // An empty sheet between others keeps its place through a write-back.
    HWorkbook middle;
    middle.sheets = {HWorkbookSheet{QStringLiteral("first"), {{QStringLiteral("a")}}},
                     HWorkbookSheet{QStringLiteral("blank"), {}},
                     HWorkbookSheet{QStringLiteral("last"), {{QStringLiteral("b")}}}};
    QVERIFY(middle.write(file, HWorkbook::Format(format)));
    {
        HDatabase workbook;
        QVERIFY(workbook.openExcelDatabase(file, QString()));
        QVERIFY(workbook.exec(QStringLiteral("INSERT INTO last (b) VALUES ('c')")));
    }
    QVERIFY(in.read(file));
    QStringList names;
    for (const HWorkbookSheet &sheet : qAsConst(in.sheets))
        names.append(sheet.name);
    QCOMPARE(names, (QStringList{QStringLiteral("first"), QStringLiteral("blank"),
                                 QStringLiteral("last")}));
    QCOMPARE(describe(normalised(in.sheets.at(2).rows)), QStringLiteral("b\nc"));
}

void TestWorkbook::unchangedWorkbookIsNotRewritten()
{
    const QString file = path(m_dir, QStringLiteral("unchanged.xlsx"));
    HWorkbook out;
    out.sheets = sampleSheets();
    QVERIFY(out.write(file, HWorkbook::Xlsx));
    const QByteArray before = fileBytes(file);
    const QDateTime modified = QFileInfo(file).lastModified();
    {
        HDatabase workbook;
        QVERIFY(workbook.openExcelDatabase(file, QString()));
        workbook.getSqlDatabase().transaction();
        QSqlQuery rows = workbook.query(QStringLiteral("select * from modellist"));
        int count = 0;
        while (rows.next())
            ++count;
        QCOMPARE(count, sampleSheets().at(0).rows.size() - 1);
        rows = QSqlQuery();
        QVERIFY(workbook.commit());
        // A statement that fails changes nothing either.
        QVERIFY(!workbook.exec(QStringLiteral("INSERT INTO nosuchsheet VALUES (1)")));
        QVERIFY(workbook.errorString().contains(QStringLiteral("nosuchsheet")));
        workbook.getSqlDatabase().close();
    }
    QCOMPARE(fileBytes(file), before);
    QCOMPARE(QFileInfo(file).lastModified(), modified);
}

void TestWorkbook::uncommittedChangesAreDropped()
{
    const QString file = path(m_dir, QStringLiteral("uncommitted.xls"));
    HWorkbook out;
    out.sheets = sampleSheets();
    QVERIFY(out.write(file, HWorkbook::Xls));
    const QByteArray before = fileBytes(file);
    {
        HDatabase workbook;
        QVERIFY(workbook.openExcelDatabase(file, QString()));
        QVERIFY(workbook.transaction());
        QVERIFY(workbook.exec(QStringLiteral("DELETE FROM modellist")));
        workbook.getSqlDatabase().close(); // never committed
    }
    QCOMPARE(fileBytes(file), before);
}

void TestWorkbook::copyUnderOtherNameGetsItsFormat()
{
    // An .xls file under an .xlsx name opens (format by content) and, once marked, is
    // written as what its name says.
    const QString file = path(m_dir, QStringLiteral("copy.xlsx"));
    QFile::remove(file);
    QVERIFY(QFile::copy(
        QCoreApplication::applicationDirPath() + QStringLiteral("/template/idx_table.xls"), file));
    QCOMPARE(int(HWorkbook::formatOfContent(file)), int(HWorkbook::Xls));
    {
        HDatabase workbook;
        QVERIFY2(workbook.openExcelDatabase(file, QString()), qPrintable(workbook.errorString()));
        workbook.markWorkbookChanged();
    }
    QCOMPARE(int(HWorkbook::formatOfContent(file)), int(HWorkbook::Xlsx));
    HWorkbook in;
    QVERIFY(in.read(file));
    QCOMPARE(describe(normalised(in.sheets.at(0).rows)),
             QStringLiteral("product_code|model|oem_model"));

    // A name that says neither keeps the format the content has.
    const QString other = path(m_dir, QStringLiteral("copy.dat"));
    QFile::remove(other);
    QVERIFY(QFile::copy(file, other));
    {
        HDatabase workbook;
        QVERIFY(workbook.openExcelDatabase(other, QString()));
        QVERIFY(workbook.exec(QStringLiteral("INSERT INTO modellist (product_code) VALUES ('x')")));
        QVERIFY2(workbook.closeDatabase(), qPrintable(workbook.errorString()));
    }
    QCOMPARE(int(HWorkbook::formatOfContent(other)), int(HWorkbook::Xlsx));
}

void TestWorkbook::headerCellsBecomeColumnNames()
{
    const QString file = path(m_dir, QStringLiteral("header.xlsx"));
    HWorkbook out;
    out.sheets.append(
        HWorkbookSheet{QStringLiteral("s"),
                       {{QStringLiteral("a"), QString(), QStringLiteral("A"), QStringLiteral("b")},
                        {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                         QStringLiteral("4"), QStringLiteral("5")},
                        {},
                        {QStringLiteral("x")},
                        {},
                        {}}});
    QVERIFY(out.write(file, HWorkbook::Xlsx));
    HDatabase workbook;
    QVERIFY2(workbook.openExcelDatabase(file, QString()), qPrintable(workbook.errorString()));
    const QSqlRecord columns = workbook.getSqlDatabase().record(QStringLiteral("s"));
    QStringList names;
    for (int i = 0; i < columns.count(); ++i)
        names.append(columns.fieldName(i));
    // Empty and repeated (case-blind) header cells get names of their own; a cell beyond
    // the header makes a column too.
    QCOMPARE(names, (QStringList{QStringLiteral("a"), QStringLiteral("F2"), QStringLiteral("F3"),
                                 QStringLiteral("b"), QStringLiteral("F5")}));
    // The empty row between data rows is kept, the trailing ones are not.
    QSqlQuery count = workbook.query(QStringLiteral("select count(*) from s"));
    QVERIFY(count.next());
    QCOMPARE(count.value(0).toInt(), 3);
}

void TestWorkbook::xlsRowLimit()
{
    // A sheet of exactly 65,536 rows fits; one more row is refused with a clear error and
    // the file on disk stays as it was.
    const QString file = path(m_dir, QStringLiteral("limit.xls"));
    HWorkbook out;
    HWorkbookSheet sheet;
    sheet.name = QStringLiteral("modellist");
    sheet.rows.append(
        {QStringLiteral("product_code"), QStringLiteral("model"), QStringLiteral("oem_model")});
    for (int i = 1; i < HBiff8Writer::MaxRows; ++i)
        sheet.rows.append(
            {QStringLiteral("C%1").arg(i), QStringLiteral("M%1").arg(i % 100), QString()});
    out.sheets.append(sheet);
    QVERIFY2(out.write(file, HWorkbook::Xls), qPrintable(out.errorString()));
    HWorkbook in;
    QVERIFY2(in.read(file), qPrintable(in.errorString()));
    QCOMPARE(in.sheets.at(0).rows.size(), HBiff8Writer::MaxRows);
    QCOMPARE(in.sheets.at(0).rows.last().first(), QStringLiteral("C65535"));
    const QByteArray before = fileBytes(file);

    HDatabase workbook;
    QVERIFY(workbook.openExcelDatabase(file, QString()));
    QVERIFY(workbook.exec(
        QStringLiteral("INSERT INTO modellist (product_code) VALUES ('one too many')")));
    QVERIFY(!workbook.closeDatabase());
    QVERIFY2(workbook.errorString().contains(QStringLiteral("65536")),
             qPrintable(workbook.errorString()));
    QVERIFY(workbook.errorString().contains(QStringLiteral(".xlsx")));
    QCOMPARE(fileBytes(file), before);

    // Too long a text and too many columns are refused as well.
    HWorkbook wide;
    QStringList wideRow;
    for (int i = 0; i < 300; ++i)
        wideRow.append(QStringLiteral("x"));
    wide.sheets.append(HWorkbookSheet{QStringLiteral("w"), {wideRow}});
    QVERIFY(!wide.write(path(m_dir, QStringLiteral("wide.xls")), HWorkbook::Xls));
    QVERIFY(wide.errorString().contains(QStringLiteral("256")));
    HWorkbook longCell;
    longCell.sheets.append(
        HWorkbookSheet{QStringLiteral("l"), {{QString(8001, QLatin1Char('x'))}}});
    QVERIFY(!longCell.write(path(m_dir, QStringLiteral("long.xls")), HWorkbook::Xls));
    QVERIFY(longCell.errorString().contains(QStringLiteral("8000")));
    QVERIFY(!QFileInfo::exists(path(m_dir, QStringLiteral("long.xls"))));
}

void TestWorkbook::openFailures()
{
    HDatabase workbook;
    QVERIFY(!workbook.openExcelDatabase(path(m_dir, QStringLiteral("missing.xls")), QString()));
    QVERIFY(workbook.errorString().contains(QStringLiteral("does not exist")));
    const QString text = path(m_dir, QStringLiteral("text.xls"));
    QVERIFY(writeBytes(text, "product_code,model\n1,2\n"));
    QVERIFY(!workbook.openExcelDatabase(text, QString()));
    QVERIFY(workbook.errorString().contains(QStringLiteral("neither")));
    QVERIFY(!workbook.isOpen());
    QVERIFY(!workbook.openExcelDatabase(m_dir.path(), QString()));
    QVERIFY(workbook.closeDatabase());

    // Two sheets whose names differ only in letter case cannot both be tables.
    const QString twins = path(m_dir, QStringLiteral("twins.xls"));
    HWorkbook out;
    out.sheets = {HWorkbookSheet{QStringLiteral("a"), {{QStringLiteral("x")}}},
                  HWorkbookSheet{QStringLiteral("A"), {{QStringLiteral("y")}}}};
    QVERIFY(out.write(twins, HWorkbook::Xls));
    QVERIFY(!workbook.openExcelDatabase(twins, QString()));
    QVERIFY(workbook.errorString().contains(QStringLiteral("two sheets")));

    // Writing into a folder that does not exist fails and creates nothing.
    HWorkbook again;
    again.sheets = sampleSheets();
    QVERIFY(!again.write(path(m_dir, QStringLiteral("no/such/folder.xlsx")), HWorkbook::Xlsx));
    QVERIFY(!again.errorString().isEmpty());
}

void TestWorkbook::damagedFilesGiveErrors_data()
{
    roundTrip_data();
}

void TestWorkbook::damagedFilesGiveErrors()
{
    QFETCH(int, format);
    QFETCH(QString, name);
    const QString file = path(m_dir, QStringLiteral("fuzz-source-") + name);
    HWorkbook out;
    out.sheets = sampleSheets();
    out.sheets[1].rows.resize(400);
    QVERIFY(out.write(file, HWorkbook::Format(format)));
    const QByteArray good = fileBytes(file);
    const QString damaged = path(m_dir, QStringLiteral("damaged-") + name);

    // Truncated files are refused.
    for (int length :
         {0, 7, 8, 100, 511, 512, 2000, good.size() / 2, good.size() - 600, good.size() - 30}) {
        QVERIFY(writeBytes(damaged, good.left(length)));
        HWorkbook in;
        QVERIFY2(!in.read(damaged),
                 qPrintable(QStringLiteral("truncated to %1 bytes").arg(length)));
        QVERIFY(!in.errorString().isEmpty());
        QVERIFY(in.sheets.isEmpty());
    }

    // Bit flips anywhere: an error or a readable workbook, never a crash or a hang.
    QRandomGenerator random(format * 7919);
    int refused = 0;
    for (int round = 0; round < 150; ++round) {
        QByteArray bytes = good;
        const int flips = 1 + random.bounded(8);
        for (int f = 0; f < flips; ++f) {
            const int at = random.bounded(bytes.size());
            bytes[at] = static_cast<char>(bytes.at(at) ^ (1 << random.bounded(8)));
        }
        QVERIFY(writeBytes(damaged, bytes));
        HDatabase workbook;
        if (!workbook.openExcelDatabase(damaged, QString())) {
            ++refused;
            QVERIFY(!workbook.errorString().isEmpty());
        }
    }
    qInfo("%d of 150 damaged %s files refused, the others read", refused, qPrintable(name));
    // Damage to the zip or compound file structure must be seen.
    QVERIFY(refused > 0);
}

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"
