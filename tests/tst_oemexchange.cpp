#include "testhelpers.h"

#include "hbiff8writer.h"
#include "hdbfind.h"
#include "heditproductsalestatus.h"
#include "hjsonfunc.h"
#include "hoemmodelexchange.h"
#include "hworkbook.h"

#include <QPushButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

using namespace TestHelpers;

// The OEM model exchange as the sale status editor runs it: file dialogs, message boxes,
// the model table, the files on disk, and programs nobody here wrote reading and writing
// the workbooks.
class TestOemExchange : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void emptyTableExportsBareTemplate_data();
    void emptyTableExportsBareTemplate();
    void exportReplacesExistingFile();
    void importMatchesExactCodes_data();
    void importMatchesExactCodes();
    void cancelledDialogsAreSilent();
    void exportFailuresAreReported();
    void xlsRowLimitIsReported();
    void importFailuresAreReported();
    void libreOfficeReadsExports();
    void pythonReadsExports();
    void foreignWorkbooksImport();
    void fiftyThousandRows();
    void saleStatusTabExchangesOemNames();

private:
    struct Row
    {
        QString code;
        QString model;
        QString oem;
        bool shown;
    };

    QTableWidget *makeTable(const QVector<Row> &rows);
    void answerFileDialog(const QString &path, QString *title = nullptr,
                          QStringList *filters = nullptr);
    QStringList boxes() const; // "title: text" of every message box seen
    QString file(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QWidget *m_editor = nullptr;
    ModalAnswerer *m_answerer = nullptr;
    QByteArray m_template;
};

namespace {

const QStringList kHeader{QStringLiteral("product_code"), QStringLiteral("model"),
                          QStringLiteral("oem_model")};

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QVector<QStringList> trimmed(QVector<QStringList> rows)
{
    for (QStringList &row : rows) {
        while (!row.isEmpty() && row.last().isEmpty())
            row.removeLast();
    }
    while (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

QString lines(const QVector<QStringList> &rows)
{
    QStringList out;
    for (const QStringList &row : rows)
        out.append(row.join(QLatin1Char('|')));
    return out.join(QLatin1Char('\n'));
}

// The sheet "modellist" of a workbook, read back by our own reader.
QVector<QStringList> modelSheet(const QString &path)
{
    HWorkbook workbook;
    if (!workbook.read(path))
        return {{QStringLiteral("unreadable: ") + workbook.errorString()}};
    for (const HWorkbookSheet &sheet : qAsConst(workbook.sheets)) {
        if (sheet.name == QLatin1String("modellist"))
            return trimmed(sheet.rows);
    }
    return {};
}

// What the table should give in the workbook: the header, then every row in order.
QVector<QStringList> expectedSheet(const QTableWidget *table)
{
    QVector<QStringList> rows{kHeader};
    for (int r = 0; r < table->rowCount(); ++r)
        rows.append(
            {table->item(r, 0)->text(), table->item(r, 1)->text(), table->item(r, 2)->text()});
    return trimmed(rows);
}

QStringList column(const QTableWidget *table, int c)
{
    QStringList texts;
    for (int r = 0; r < table->rowCount(); ++r)
        texts.append(table->item(r, c) ? table->item(r, c)->text() : QString());
    return texts;
}

// Texts that break careless exports: quotes for SQL, commas and quotes for CSV, Chinese,
// leading zeros, blanks, placeholders of QString::arg.
QVector<QStringList> trickyRows()
{
    return {{QStringLiteral("000123"), QStringLiteral("AR-07"), QStringLiteral("0070")},
            {QStringLiteral("P'1"), QStringLiteral("it's"), QStringLiteral("O'Brien's \"best\"")},
            {QStringLiteral("空调-1"), QStringLiteral("室内机"), QStringLiteral("格力 OEM")},
            {QStringLiteral("P2"), QStringLiteral("a,b"), QString()},
            {QStringLiteral("P3"), QStringLiteral("  blanks  "), QStringLiteral(" lead")},
            {QStringLiteral("P4"), QStringLiteral("%1 %2"), QStringLiteral("%3")},
            {QStringLiteral("P5"), QStringLiteral("hidden"), QStringLiteral("hidden oem")}};
}

QString sofficePath()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    return found.isEmpty() && QFileInfo::exists(QStringLiteral("/usr/bin/soffice"))
               ? QStringLiteral("/usr/bin/soffice")
               : found;
}

// Converts files with LibreOffice headless, in a profile of its own. LibreOffice exits 0
// even when it fails, so the caller checks the files it wrote.
bool libreOfficeConvert(const QStringList &files, const QString &filter, const QString &outDir,
                        const QString &profile, QString *log)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args{QStringLiteral("-env:UserInstallation=file://") + profile,
                     QStringLiteral("--headless"),
                     QStringLiteral("--norestore"),
                     QStringLiteral("--convert-to"),
                     filter,
                     QStringLiteral("--outdir"),
                     outDir};
    args.append(files);
    process.start(sofficePath(), args);
    const bool finished = process.waitForFinished(600000);
    *log = QString::fromUtf8(process.readAll());
    if (!finished)
        process.kill();
    return finished;
}

// A CSV file as LibreOffice writes it: comma separated, double quotes, UTF-8.
QVector<QStringList> parseCsv(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QVector<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (quoted) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    cell += ch;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                cell += ch;
            }
        } else if (ch == QLatin1Char('"')) {
            quoted = true;
        } else if (ch == QLatin1Char(',')) {
            row.append(cell);
            cell.clear();
        } else if (ch == QLatin1Char('\n')) {
            row.append(cell);
            rows.append(row);
            row.clear();
            cell.clear();
        } else if (ch != QLatin1Char('\r')) {
            cell += ch;
        }
    }
    if (!cell.isEmpty() || !row.isEmpty()) {
        row.append(cell);
        rows.append(row);
    }
    return trimmed(rows);
}

bool pythonClientsInstalled()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
        return false;
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import xlrd, xlwt, openpyxl")});
    return probe.waitForFinished(60000) && probe.exitCode() == 0;
}

bool runPython(const QStringList &args, QByteArray *output, QString *error)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *error = QString::fromUtf8(process.readAllStandardError());
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

// Row i of the workbooks tests/clients/write_workbook.py writes: product code and OEM name
// as the import must see them (numbers as typed, texts as they stand).
QString foreignCode(int i)
{
    if (i % 5 == 0)
        return QString::number(100000 + i);
    if (i % 5 == 1)
        return QStringLiteral("00") + QString::number(i);
    return QStringLiteral("P%1").arg(i, 5, 10, QLatin1Char('0'));
}

QString foreignOem(int i)
{
    if (i % 7 == 0)
        return QString();
    if (i % 7 == 1)
        return HWorkbook::numberText(i + 0.5);
    if (i % 7 == 2)
        return QStringLiteral("O'Brien 空调 %1").arg(i);
    return QStringLiteral(" OEM-%1 ").arg(i);
}

} // namespace

void TestOemExchange::init()
{
    QVERIFY(m_dir.isValid());
    cleanAppFolders();
    m_template = fileBytes(HOemModelExchange::templatePath());
    QVERIFY(!m_template.isEmpty());
    m_editor = new QWidget;
    m_editor->setObjectName(QStringLiteral("HEditProductSaleStatus"));
    m_editor->resize(900, 600);
    new QVBoxLayout(m_editor);
    m_answerer = new ModalAnswerer(m_editor);
}

void TestOemExchange::cleanup()
{
    delete m_editor;
    m_editor = nullptr;
    m_answerer = nullptr;
    // Every case leaves the shipped template as it found it.
    QCOMPARE(fileBytes(HOemModelExchange::templatePath()), m_template);
}

QTableWidget *TestOemExchange::makeTable(const QVector<Row> &rows)
{
    auto *table = new QTableWidget(m_editor);
    table->setObjectName(QStringLiteral("tableWidget_Idx"));
    m_editor->layout()->addWidget(table);
    table->setColumnCount(5);
    table->setHorizontalHeaderLabels(
        {QStringLiteral("product_code"), QStringLiteral("model"), QStringLiteral("OEM Model"),
         QStringLiteral("is_not_for_sale"), QStringLiteral("is_user_skip")});
    table->setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        auto *code = new QTableWidgetItem(rows.at(r).code);
        code->setFlags(code->flags() & ~Qt::ItemIsEditable);
        auto *model = new QTableWidgetItem(rows.at(r).model);
        model->setFlags(model->flags() & ~Qt::ItemIsEditable);
        table->setItem(r, 0, code);
        table->setItem(r, 1, model);
        table->setItem(r, 2, new QTableWidgetItem(rows.at(r).oem));
        for (int c = 3; c < 5; ++c) {
            auto *check = new QTableWidgetItem;
            check->setCheckState(Qt::Unchecked);
            table->setItem(r, c, check);
        }
        // Rows of other series keep height 0; they are exported and updated all the same.
        table->setRowHeight(r, rows.at(r).shown ? 30 : 0);
    }
    return table;
}

void TestOemExchange::answerFileDialog(const QString &path, QString *title, QStringList *filters)
{
    m_answerer->act([path, title, filters](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog) {
            if (auto *other = qobject_cast<QDialog *>(widget))
                other->reject();
            return;
        }
        if (title)
            *title = dialog->windowTitle();
        if (filters)
            *filters = dialog->nameFilters();
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(path);
        // Accepted from the event loop: the dialog may ask whether to replace an existing
        // file, and that question must be answered by the next poll, not inside this one.
        QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog *>(dialog)->accept(); });
    });
}

QStringList TestOemExchange::boxes() const
{
    QStringList result;
    for (const SeenModal &modal : m_answerer->seen()) {
        if (modal.className == QLatin1String("QMessageBox") &&
            !modal.text.contains(QLatin1String("already exists"))) // the dialog's own question
            result.append(modal.title + QStringLiteral(": ") + modal.text);
    }
    return result;
}

void TestOemExchange::roundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("xls") << QStringLiteral("models.xls");
    QTest::newRow("xlsx") << QStringLiteral("models.xlsx");
}

void TestOemExchange::roundTrip()
{
    QFETCH(QString, name);
    QVector<Row> rows;
    const QVector<QStringList> tricky = trickyRows();
    for (int i = 0; i < tricky.size(); ++i)
        rows.append(Row{tricky.at(i).at(0), tricky.at(i).at(1), tricky.at(i).at(2), i % 3 != 2});
    QTableWidget *table = makeTable(rows);
    m_editor->show();
    const QStringList original = column(table, 2);

    QString title;
    QStringList filters;
    answerFileDialog(file(name), &title, &filters);
    HOemModelExchange::exportModelTable(m_editor, table);
    QCOMPARE(title, QStringLiteral("Save File"));
    QVERIFY2(filters.contains(QStringLiteral("Excel (*.xls *.xlsx)")),
             qPrintable(filters.join(QLatin1Char(';'))));
    QCOMPARE(boxes(), QStringList{QStringLiteral("Notice: Export success")});
    QCOMPARE(int(HWorkbook::formatOfContent(file(name))), int(HWorkbook::formatOfName(name)));
    QCOMPARE(lines(modelSheet(file(name))), lines(expectedSheet(table)));

    // Names typed since are replaced by the workbook's, the empty one included.
    for (int r = 0; r < table->rowCount(); ++r)
        table->item(r, 2)->setText(QStringLiteral("typed since"));
    const QByteArray exported = fileBytes(file(name));
    m_answerer->clear();
    answerFileDialog(file(name), &title, &filters);
    HOemModelExchange::importModelTable(m_editor, table);
    QCOMPARE(title, QStringLiteral("Open File"));
    QVERIFY(filters.contains(QStringLiteral("Excel (*.xls *.xlsx)")));
    QCOMPARE(boxes(), QStringList{QStringLiteral("Notice: Import success")});
    QCOMPARE(column(table, 2), original);
    QCOMPARE(column(table, 0).size(), tricky.size());
    // Importing reads only: the workbook is not rewritten.
    QCOMPARE(fileBytes(file(name)), exported);
}

void TestOemExchange::emptyTableExportsBareTemplate_data()
{
    roundTrip_data();
}

void TestOemExchange::emptyTableExportsBareTemplate()
{
    QFETCH(QString, name);
    auto *table = new QTableWidget(m_editor); // before the first click: no rows, no columns
    answerFileDialog(file(QStringLiteral("bare-") + name));
    HOemModelExchange::exportModelTable(m_editor, table);
    QCOMPARE(boxes(), QStringList{QStringLiteral("Notice: Export success")});
    const QString written = file(QStringLiteral("bare-") + name);
    QCOMPARE(int(HWorkbook::formatOfContent(written)), int(HWorkbook::formatOfName(name)));
    if (HWorkbook::formatOfName(name) == HWorkbook::Xls)
        QCOMPARE(fileBytes(written), m_template);
    QCOMPARE(lines(modelSheet(written)), kHeader.join(QLatin1Char('|')));
}

void TestOemExchange::exportReplacesExistingFile()
{
    for (const QString &name : {QStringLiteral("again.xls"), QStringLiteral("again.xlsx")}) {
        QTableWidget *old =
            makeTable({{QStringLiteral("OLD1"), QStringLiteral("m"), QStringLiteral("o"), true},
                       {QStringLiteral("OLD2"), QStringLiteral("m"), QStringLiteral("o"), true}});
        QString error;
        QVERIFY2(HOemModelExchange::exportRows(old, file(name), HOemModelExchange::templatePath(),
                                               &error),
                 qPrintable(error));
        QTableWidget *table =
            makeTable({{QStringLiteral("NEW"), QStringLiteral("m"), QStringLiteral("n"), true}});
        m_answerer->clear();
        answerFileDialog(file(name));
        HOemModelExchange::exportModelTable(m_editor, table);
        QCOMPARE(boxes(), QStringList{QStringLiteral("Notice: Export success")});
        QCOMPARE(lines(modelSheet(file(name))),
                 QStringLiteral("product_code|model|oem_model\nNEW|m|n"));
    }
}

void TestOemExchange::importMatchesExactCodes_data()
{
    roundTrip_data();
}

void TestOemExchange::importMatchesExactCodes()
{
    QFETCH(QString, name);
    HWorkbook workbook;
    HWorkbookSheet other{QStringLiteral("notes"),
                         {{QStringLiteral("product_code"), QStringLiteral("oem_model")},
                          {QStringLiteral("A"), QStringLiteral("from the wrong sheet")}}};
    HWorkbookSheet models{
        QStringLiteral("modellist"),
        {{QStringLiteral("oem_model"), QStringLiteral("product_code"), QStringLiteral("model"),
          QStringLiteral("note")},
         {QStringLiteral("first"), QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("n")},
         {QStringLiteral("second"), QStringLiteral("A"), QStringLiteral("x")},
         {QStringLiteral("lower"), QStringLiteral("b")},
         {QStringLiteral("blank"), QStringLiteral("C ")},
         {QString(), QStringLiteral("D")},
         {QStringLiteral("hidden row"), QStringLiteral("E")},
         {QStringLiteral("nobody"), QStringLiteral("Z")},
         {QStringLiteral("no code")}}};
    workbook.sheets = {other, models};
    QVERIFY(workbook.write(file(name), HWorkbook::formatOfName(name)));

    QTableWidget *table =
        makeTable({{QStringLiteral("A"), QStringLiteral("m"), QStringLiteral("old A"), true},
                   {QStringLiteral("B"), QStringLiteral("m"), QStringLiteral("old B"), true},
                   {QStringLiteral("C"), QStringLiteral("m"), QStringLiteral("old C"), true},
                   {QStringLiteral("D"), QStringLiteral("m"), QStringLiteral("old D"), true},
                   {QStringLiteral("E"), QStringLiteral("m"), QStringLiteral("old E"), false},
                   {QStringLiteral("F"), QStringLiteral("m"), QStringLiteral("old F"), true},
                   {QString(), QStringLiteral("m"), QStringLiteral("no code"), true}});
    answerFileDialog(file(name));
    HOemModelExchange::importModelTable(m_editor, table);
    QCOMPARE(boxes(), QStringList{QStringLiteral("Notice: Import success")});
    // First row wins; letter case and trailing blanks make different codes; an empty name
    // clears; a hidden row is updated; rows not in the workbook keep their name.
    QCOMPARE(column(table, 2),
             (QStringList{QStringLiteral("first"), QStringLiteral("old B"), QStringLiteral("old C"),
                          QString(), QStringLiteral("hidden row"), QStringLiteral("old F"),
                          QStringLiteral("no code")}));
    QCOMPARE(table->rowHeight(4), 0);
    QCOMPARE(column(table, 0).last(), QString());
}

void TestOemExchange::cancelledDialogsAreSilent()
{
    QTableWidget *table =
        makeTable({{QStringLiteral("A"), QStringLiteral("m"), QStringLiteral("o"), true}});
    QString title;
    answerFileDialog(QString(), &title);
    HOemModelExchange::exportModelTable(m_editor, table);
    QCOMPARE(title, QStringLiteral("Save File"));
    answerFileDialog(QString(), &title);
    HOemModelExchange::importModelTable(m_editor, table);
    QCOMPARE(title, QStringLiteral("Open File"));
    QCOMPARE(m_answerer->count(), 2); // the two dialogs, no message box
    QCOMPARE(column(table, 2), QStringList{QStringLiteral("o")});
}

void TestOemExchange::exportFailuresAreReported()
{
    QTableWidget *table =
        makeTable({{QStringLiteral("A"), QStringLiteral("m"), QStringLiteral("o"), true}});
    const QString templateFile = HOemModelExchange::templatePath();
    const QString target = file(QStringLiteral("kept.xls"));
    QVERIFY(writeBytes(target, "previous content"));

    auto exportTo = [&](const QString &path) {
        m_answerer->clear();
        answerFileDialog(path);
        HOemModelExchange::exportModelTable(m_editor, table);
        return boxes();
    };
    auto isWarning = [](const QStringList &seen, const QString &part) {
        return seen.size() == 1 && seen.first().startsWith(QLatin1String("Warning: ")) &&
               seen.first().contains(part);
    };

    // The template itself as the target: refused, the template untouched (cleanup checks).
    QStringList seen = exportTo(templateFile);
    QVERIFY2(isWarning(seen, QStringLiteral("template")), qPrintable(seen.join(QLatin1Char('\n'))));
    QVERIFY(seen.first().contains(QDir::toNativeSeparators(templateFile)));

    // A target in a folder that does not exist.
    const QString nowhere = file(QStringLiteral("no/such/folder/out.xls"));
    seen = exportTo(nowhere);
    QVERIFY2(isWarning(seen, QDir::toNativeSeparators(nowhere)),
             qPrintable(seen.join(QLatin1Char('\n'))));
    QVERIFY(!QFileInfo::exists(nowhere));

    // A template that is missing, damaged, or has no sheet "modellist": the warning names
    // the target and the cause, and the previous file stays as it was.
    const QString saved = file(QStringLiteral("template.saved"));
    QFile::remove(saved);
    QVERIFY(QFile::copy(templateFile, saved));
    struct Case
    {
        QByteArray content; // empty: no template at all
        QString cause;
    };
    HWorkbook wrongSheet;
    wrongSheet.sheets = {HWorkbookSheet{QStringLiteral("other"), {kHeader}}};
    const QString wrongPath = file(QStringLiteral("wrong.xls"));
    QVERIFY(wrongSheet.write(wrongPath, HWorkbook::Xls));
    HWorkbook noColumn;
    noColumn.sheets = {HWorkbookSheet{QStringLiteral("modellist"),
                                      {{QStringLiteral("product_code"), QStringLiteral("model")}}}};
    const QString noColumnPath = file(QStringLiteral("nocolumn.xls"));
    QVERIFY(noColumn.write(noColumnPath, HWorkbook::Xls));
    const QVector<Case> cases{{QByteArray(), QStringLiteral("does not exist")},
                              {QByteArray("not a workbook"), QStringLiteral("cannot be opened")},
                              {fileBytes(wrongPath), QStringLiteral("no such table: modellist")},
                              {fileBytes(noColumnPath), QStringLiteral("oem_model")}};
    for (const Case &c : cases) {
        QFile::remove(templateFile);
        if (!c.content.isEmpty())
            QVERIFY(writeBytes(templateFile, c.content));
        for (const QString &name : {QStringLiteral("kept.xls"), QStringLiteral("kept.xlsx")}) {
            QVERIFY(writeBytes(file(name), "previous content"));
            seen = exportTo(file(name));
            QVERIFY2(isWarning(seen, c.cause), qPrintable(seen.join(QLatin1Char('\n'))));
            QVERIFY(seen.first().contains(QDir::toNativeSeparators(file(name))));
            QCOMPARE(fileBytes(file(name)), QByteArray("previous content"));
        }
    }
    QFile::remove(templateFile);
    QVERIFY(QFile::copy(saved, templateFile));
}

void TestOemExchange::xlsRowLimitIsReported()
{
    // More model rows than an .xls sheet holds: a clear warning, the old file intact; the
    // same rows go to .xlsx without trouble.
    QVector<Row> rows;
    rows.reserve(HBiff8Writer::MaxRows);
    for (int i = 0; i < HBiff8Writer::MaxRows; ++i) // plus the header: one row too many
        rows.append(Row{QStringLiteral("C%1").arg(i), QStringLiteral("M"), QString(), false});
    QTableWidget *table = makeTable(rows);
    const QString target = file(QStringLiteral("big.xls"));
    QVERIFY(writeBytes(target, "previous content"));
    answerFileDialog(target);
    HOemModelExchange::exportModelTable(m_editor, table);
    const QStringList seen = boxes();
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen.first().startsWith(QLatin1String("Warning: ")) &&
                 seen.first().contains(QLatin1String("65536")),
             qPrintable(seen.first()));
    QCOMPARE(fileBytes(target), QByteArray("previous content"));

    QString error;
    QVERIFY2(HOemModelExchange::exportRows(table, file(QStringLiteral("big.xlsx")),
                                           HOemModelExchange::templatePath(), &error),
             qPrintable(error));
    QCOMPARE(modelSheet(file(QStringLiteral("big.xlsx"))).size(), HBiff8Writer::MaxRows + 1);
}

void TestOemExchange::importFailuresAreReported()
{
    QTableWidget *table =
        makeTable({{QStringLiteral("A"), QStringLiteral("m"), QStringLiteral("o"), true}});
    HWorkbook noSheet;
    noSheet.sheets = {
        HWorkbookSheet{QStringLiteral("models"),
                       {kHeader, {QStringLiteral("A"), QStringLiteral("m"), QStringLiteral("x")}}}};
    QVERIFY(noSheet.write(file(QStringLiteral("nosheet.xlsx")), HWorkbook::Xlsx));
    HWorkbook noColumn;
    noColumn.sheets = {HWorkbookSheet{QStringLiteral("modellist"),
                                      {{QStringLiteral("product_code"), QStringLiteral("model")},
                                       {QStringLiteral("A"), QStringLiteral("m")}}}};
    QVERIFY(noColumn.write(file(QStringLiteral("nocolumn.xls")), HWorkbook::Xls));
    QVERIFY(writeBytes(file(QStringLiteral("text.xls")), "product_code,model,oem_model\nA,m,x\n"));
    QVERIFY(writeBytes(file(QStringLiteral("cut.xlsx")),
                       fileBytes(file(QStringLiteral("nosheet.xlsx"))).left(300)));

    // The open dialog itself refuses a file that does not exist; a caller without it gets
    // the cause.
    QString error;
    QVERIFY(!HOemModelExchange::importRows(table, file(QStringLiteral("missing.xls")), &error));
    QVERIFY2(error.contains(QStringLiteral("does not exist")), qPrintable(error));

    const QVector<QPair<QString, QString>> cases{
        {file(QStringLiteral("text.xls")), QStringLiteral("neither")},
        {file(QStringLiteral("cut.xlsx")), QStringLiteral("zip")},
        {file(QStringLiteral("nosheet.xlsx")), QStringLiteral("no sheet \"modellist\"")},
        {file(QStringLiteral("nocolumn.xls")), QStringLiteral("no column oem_model")}};
    for (const auto &c : cases) {
        m_answerer->clear();
        answerFileDialog(c.first);
        HOemModelExchange::importModelTable(m_editor, table);
        const QStringList seen = boxes();
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen.first().startsWith(QLatin1String("Warning: ")) &&
                     seen.first().contains(c.second) &&
                     seen.first().contains(QDir::toNativeSeparators(c.first)),
                 qPrintable(seen.first()));
        QCOMPARE(column(table, 2), QStringList{QStringLiteral("o")});
    }
}

void TestOemExchange::libreOfficeReadsExports()
{
    if (sofficePath().isEmpty())
        QSKIP("LibreOffice (soffice, package libreoffice-calc-nogui) is not installed");
    QVector<Row> rows;
    for (const QStringList &r : trickyRows())
        rows.append(Row{r.at(0), r.at(1), r.at(2), true});
    rows.last().shown = false;
    QTableWidget *table = makeTable(rows);
    QString error;
    const QString xls = file(QStringLiteral("lo-in-xls.xls"));
    const QString xlsx = file(QStringLiteral("lo-in-xlsx.xlsx"));
    QVERIFY2(HOemModelExchange::exportRows(table, xls, HOemModelExchange::templatePath(), &error),
             qPrintable(error));
    QVERIFY2(HOemModelExchange::exportRows(table, xlsx, HOemModelExchange::templatePath(), &error),
             qPrintable(error));

    const QString out = file(QStringLiteral("lo-csv"));
    QVERIFY(QDir().mkpath(out));
    QString log;
    QVERIFY(libreOfficeConvert({xls, xlsx},
                               QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1"), out,
                               file(QStringLiteral("lo-profile-csv")), &log));
    for (const QString &name :
         {QStringLiteral("lo-in-xls.csv"), QStringLiteral("lo-in-xlsx.csv")}) {
        const QString csv = out + QLatin1Char('/') + name;
        QVERIFY2(QFileInfo::exists(csv), qPrintable(log));
        QCOMPARE(lines(parseCsv(fileBytes(csv))), lines(expectedSheet(table)));
    }
}

void TestOemExchange::pythonReadsExports()
{
    if (!pythonClientsInstalled())
        QSKIP("Debian's /usr/bin/python3 with python3-xlrd, python3-xlwt and python3-openpyxl is "
              "not installed");
    QVector<Row> rows;
    for (const QStringList &r : trickyRows())
        rows.append(Row{r.at(0), r.at(1), r.at(2), true});
    QTableWidget *table = makeTable(rows);
    for (const QString &name : {QStringLiteral("py.xls"), QStringLiteral("py.xlsx")}) {
        QString error;
        QVERIFY2(HOemModelExchange::exportRows(table, file(name), HOemModelExchange::templatePath(),
                                               &error),
                 qPrintable(error));
        QByteArray json;
        QVERIFY2(
            runPython({QStringLiteral(PM_SOURCE_DIR "/tests/clients/read_workbook.py"), file(name)},
                      &json, &error),
            qPrintable(error));
        const QJsonArray sheets = QJsonDocument::fromJson(json).array();
        QCOMPARE(sheets.size(), 1);
        QCOMPARE(sheets.at(0).toObject().value(QStringLiteral("name")).toString(),
                 QStringLiteral("modellist"));
        QVector<QStringList> read;
        for (const QJsonValue &row :
             sheets.at(0).toObject().value(QStringLiteral("rows")).toArray()) {
            QStringList cells;
            for (const QJsonValue &cell : row.toArray())
                cells.append(cell.toString());
            read.append(cells);
        }
        QCOMPARE(lines(trimmed(read)), lines(expectedSheet(table)));
    }
}

void TestOemExchange::foreignWorkbooksImport()
{
    const bool python = pythonClientsInstalled();
    if (!python)
        QSKIP("Debian's /usr/bin/python3 with python3-xlrd, python3-xlwt and python3-openpyxl is "
              "not installed");
    constexpr int count = 20000;
    QStringList workbooks;
    QString error;
    for (const auto &kind :
         {qMakePair(QStringLiteral("xls"), QStringLiteral("xlwt.xls")),
          qMakePair(QStringLiteral("xlsx"), QStringLiteral("openpyxl.xlsx")),
          qMakePair(QStringLiteral("xlsx-inline"), QStringLiteral("inline.xlsx"))}) {
        QVERIFY2(runPython({QStringLiteral(PM_SOURCE_DIR "/tests/clients/write_workbook.py"),
                            kind.first, file(kind.second), QString::number(count)},
                           nullptr, &error),
                 qPrintable(error));
        workbooks.append(file(kind.second));
    }
    if (!sofficePath().isEmpty()) {
        // LibreOffice saves the same contents in both formats of its own.
        const QString out = file(QStringLiteral("lo-saved"));
        QVERIFY(QDir().mkpath(out));
        QString log;
        QVERIFY(libreOfficeConvert({file(QStringLiteral("openpyxl.xlsx"))},
                                   QStringLiteral("xls:MS Excel 97"), out,
                                   file(QStringLiteral("lo-profile-xls")), &log));
        QVERIFY(libreOfficeConvert({file(QStringLiteral("xlwt.xls"))},
                                   QStringLiteral("xlsx:Calc MS Excel 2007 XML"), out,
                                   file(QStringLiteral("lo-profile-xlsx")), &log));
        for (const QString &name : {QStringLiteral("openpyxl.xls"), QStringLiteral("xlwt.xlsx")}) {
            QVERIFY2(QFileInfo::exists(out + QLatin1Char('/') + name), qPrintable(log));
            workbooks.append(out + QLatin1Char('/') + name);
        }
    } else {
        qWarning("LibreOffice is not installed: workbooks saved by it are not imported");
    }

    QVector<Row> rows;
    for (int i = 0; i < count; ++i)
        rows.append(Row{foreignCode(i), QStringLiteral("M"), QStringLiteral("before"), i % 2 == 0});
    rows.append(Row{QStringLiteral("not in the workbook"), QStringLiteral("M"),
                    QStringLiteral("kept"), true});
    QTableWidget *table = makeTable(rows);
    for (const QString &workbook : qAsConst(workbooks)) {
        for (int r = 0; r < table->rowCount(); ++r)
            table->item(r, 2)->setText(r < count ? QStringLiteral("before")
                                                 : QStringLiteral("kept"));
        QVERIFY2(HOemModelExchange::importRows(table, workbook, &error),
                 qPrintable(workbook + QStringLiteral(": ") + error));
        for (int i = 0; i < count; ++i) {
            if (table->item(i, 2)->text() != foreignOem(i))
                QFAIL(
                    qPrintable(QStringLiteral("%1, row %2 (%3): got \"%4\", expected \"%5\"")
                                   .arg(QFileInfo(workbook).fileName())
                                   .arg(i)
                                   .arg(foreignCode(i), table->item(i, 2)->text(), foreignOem(i))));
        }
        QCOMPARE(table->item(count, 2)->text(), QStringLiteral("kept"));
    }
}

void TestOemExchange::fiftyThousandRows()
{
    // Scale: 50,000 model rows out and back in, both formats. The times are printed, not
    // asserted; correctness is.
    constexpr int count = 50000;
    QVector<Row> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i)
        rows.append(Row{QStringLiteral("PC%1").arg(i, 6, 10, QLatin1Char('0')),
                        QStringLiteral("AR-%1").arg(i % 977),
                        QStringLiteral("OEM %1 '型号'").arg(i), i % 40 == 0});
    QTableWidget *table = makeTable(rows);
    for (const QString &name : {QStringLiteral("scale.xls"), QStringLiteral("scale.xlsx")}) {
        QString error;
        QElapsedTimer timer;
        timer.start();
        QVERIFY2(HOemModelExchange::exportRows(table, file(name), HOemModelExchange::templatePath(),
                                               &error),
                 qPrintable(error));
        const qint64 exportMs = timer.elapsed();
        for (int r = 0; r < count; ++r)
            table->item(r, 2)->setText(QString());
        timer.restart();
        QVERIFY2(HOemModelExchange::importRows(table, file(name), &error), qPrintable(error));
        const qint64 importMs = timer.elapsed();
        qInfo("%s: export of %d rows %lld ms, import %lld ms", qPrintable(name), count, exportMs,
              importMs);
        for (int r = 0; r < count; r += 997)
            QCOMPARE(table->item(r, 2)->text(), rows.at(r).oem);
        QCOMPARE(table->item(count - 1, 2)->text(), rows.last().oem);
    }
}

void TestOemExchange::saleStatusTabExchangesOemNames()
{
    // The two buttons of the sale status tab, end to end: export the model table, change
    // names, import them back, and store them in the scheme with "Save to scheme".
    const QString db = file(QStringLiteral("Product.mdb"));
    QVERIFY(createProductDb(db, {
        QStringLiteral("insert into __product_series (id_series, product_type, category) values (7, 0, 'VRF')"),
        QStringLiteral("insert into __product_idx (product_code, id_series, base_model) values "
                       "('007', 7, 'MX-1'), ('O''K', 7, 'MX-2'), ('X1', 8, 'Other')"),
    }));
    useProductDb(db);
    QVERIFY(HJsonFunc::jsonDocToFile(QJsonDocument(QJsonObject()), appFolder(QStringLiteral("config/A.json")),
                                     QJsonDocument::Indented));
    auto *editor = new HEditProductSaleStatus(m_editor);
    m_editor->layout()->addWidget(editor);
    m_editor->show();
    editor->clickCell_Series(0, 0);
    auto *table = editor->findChild<QTableWidget *>(QStringLiteral("tableWidget_Idx"));
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 3);
    const QStringList names = {QStringLiteral("品牌-1"), QStringLiteral("it's"), QStringLiteral("hidden row")};
    for (int r = 0; r < 3; ++r)
        table->item(r, 2)->setText(names.at(r));

    answerFileDialog(file(QStringLiteral("tab.xlsx")));
    QTest::mouseClick(editor->findChild<QPushButton *>(QStringLiteral("pushButton_export")), Qt::LeftButton);
    QCOMPARE(boxes(), QStringList{QStringLiteral("Notice: Export success")});
    for (int r = 0; r < 3; ++r)
        table->item(r, 2)->setText(QString());
    m_answerer->clear();
    answerFileDialog(file(QStringLiteral("tab.xlsx")));
    QTest::mouseClick(editor->findChild<QPushButton *>(QStringLiteral("pushButton_import")), Qt::LeftButton);
    QCOMPARE(boxes(), QStringList{QStringLiteral("Notice: Import success")});
    QCOMPARE(column(table, 2), names);

    QTest::mouseClick(editor->findChild<QPushButton *>(QStringLiteral("pushButton_Save")), Qt::LeftButton);
    QJsonDocument scheme;
    QVERIFY(HJsonFunc::readFileToJsonDoc(appFolder(QStringLiteral("config/A.json")), scheme));
    QStringList stored;
    for (const QJsonValue &record : scheme.object().value(QStringLiteral("idx_table")).toArray())
        stored.append(record.toObject().value(QStringLiteral("oem_model")).toString());
    QCOMPARE(stored, names);
    delete editor;
    HDbFind::closeDb();
}

QTEST_MAIN(TestOemExchange)
#include "tst_oemexchange.moc"
