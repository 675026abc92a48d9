#include "filefaults.h"
#include "testhelpers.h"

#include "hbiff8writer.h"
#include "hdbfind.h"
#include "heditproductsalestatus.h"
#include "hjsonfunc.h"
#include "hoemmodelexchange.h"
#include "hworkbook.h"

#include <QDirIterator>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

using namespace TestHelpers;

// The OEM model exchange as the sale status editor runs it: file dialogs, message boxes,
// the model table, the files on disk, and programs nobody here wrote reading and writing
// the workbooks.
class TestOemExchange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void roundTrip_data() { formats(); }
    void roundTrip();
    void importMatchesExactCodes_data() { formats(); }
    void importMatchesExactCodes();
    void cancelledDialogsAreSilent();
    void exportFailuresAreReported();
    void fullDiskKeepsEarlierFile_data();
    void fullDiskKeepsEarlierFile();
    void oddWorkbooks_data();
    void oddWorkbooks();
    void clientsReadExports_data();
    void clientsReadExports();
    void foreignWorkbooksImport();
    void saleStatusTabExchangesOemNames();

private:
    static void formats()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("xls") << "models.xls";
        QTest::newRow("xlsx") << "models.xlsx";
    }
    // The model table, rows of {code, model, OEM name}; rows for which `hidden` holds get
    // height 0 like those of other series.
    QTableWidget *makeTable(const QVector<QStringList> &rows,
                            const std::function<bool(int)> &hidden = {});
    // Answers the next file dialog with `path` (cancels it when empty), runs `action`, and
    // returns "title: text" of the message boxes it showed.
    QStringList run(const std::function<void()> &action, const QString &path,
                    QStringList *filters = nullptr);
    QStringList exportTo(QTableWidget *table, const QString &path, QStringList *filters = nullptr)
    {
        return run([=] { HOemModelExchange::exportModelTable(m_editor, table); }, path, filters);
    }
    QStringList importFrom(QTableWidget *table, const QString &path, QStringList *filters = nullptr)
    {
        return run([=] { HOemModelExchange::importModelTable(m_editor, table); }, path, filters);
    }
    // Converts files with LibreOffice headless into lo/, each job (files and the filter to
    // apply to them) in a process and profile of its own, all at once.
    bool libreOfficeConvert(const QVector<QPair<QStringList, QString>> &jobs, QString *log);
    QString file(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QWidget *m_editor = nullptr;
    ModalAnswerer *m_answerer = nullptr;
    QByteArray m_template;
};

namespace {

const QString kHeader = "product_code|model|oem_model";
const QStringList kSuccess{"Notice: Export success"};

// The box of a successful import.
QStringList imported(int read, int matched, const QString &more = QString())
{
    return {QStringLiteral("Notice: Import success\n%1 rows read, %2 matched a model of the table.")
                .arg(read)
                .arg(matched) +
            (more.isEmpty() ? QString() : '\n' + more)};
}
const char kNoPython[] = "Debian's /usr/bin/python3 with python3-xlrd, python3-xlwt and "
                         "python3-openpyxl is not installed";

// Lets this process's memory grow by `bytes` beyond what it maps already (its libraries, the
// GUI); for a forked child.
[[maybe_unused]] void limitMemory(rlim_t bytes)
{
    QFile statm("/proc/self/statm");
    statm.open(QIODevice::ReadOnly);
    const rlim_t pages = statm.readAll().split(' ').value(0).toULongLong();
    const rlim_t limit = pages * rlim_t(sysconf(_SC_PAGESIZE)) + bytes;
    const rlimit both{limit, limit};
    setrlimit(RLIMIT_AS, &both);
}

// Rows written as "a|b|c;d|e" and back.
QVector<QStringList> rowsOf(const QString &text)
{
    QVector<QStringList> rows;
    for (const QString &row : text.split(';'))
        rows.append(row.split('|'));
    return rows;
}

// Rows as "a|b|c" lines, without trailing empty cells and trailing empty rows.
QString lines(const QVector<QStringList> &rows)
{
    QStringList out;
    for (QStringList row : rows) {
        while (!row.isEmpty() && row.last().isEmpty())
            row.removeLast();
        out.append(row.join('|'));
    }
    while (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out.join('\n');
}

// A workbook as our own reader sees it: the lines of its only sheet, "modellist".
QString modelSheet(const QString &path)
{
    HWorkbook book;
    if (book.read(path) && book.sheets.size() == 1 && book.sheets[0].name == "modellist")
        return lines(book.sheets[0].rows);
    return "not just the sheet modellist: " + book.errorString();
}

QStringList column(const QTableWidget *table, int c)
{
    QStringList texts;
    for (int r = 0; r < table->rowCount(); ++r)
        texts.append(table->item(r, c) ? table->item(r, c)->text() : QString());
    return texts;
}

// Texts that break careless exports: quotes for SQL, separators for CSV, Chinese, leading
// zeros, blanks, placeholders of QString::arg, a character XML cannot hold and a literal
// text that looks like its escape.
const QString kTricky = "000123|AR-07|0070;P'1|it's|O'Brien's \"best\";空调-1|室内机|品牌 OEM;"
                        "P2|a,b|;P3|  blanks  | lead;P4|%1 %2|%3;P5|hidden|hidden oem;"
                        "P6|cr\rin name|_x000D_ literal";

// What openpyxl reads from a text cell of ours: it decodes the escape of "_" alone, and
// leaves the escapes of other characters as they stand (LibreOffice decodes them all).
QString openpyxlReads(const QString &text)
{
    return HWorkbook::encodeEscapes(text).remove("x005F_");
}

// Tab-separated records with '"' around texts, as LibreOffice writes them.
QVector<QStringList> parseCsv(const QString &csv)
{
    QVector<QStringList> records{{QString()}};
    bool quoted = false;
    for (int i = 0; i < csv.size(); ++i) {
        const QChar c = csv.at(i);
        if (quoted && c == '"' && i + 1 < csv.size() && csv.at(i + 1) == '"') {
            records.last().last() += c;
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '\t') {
            records.last().append(QString());
        } else if (!quoted && c == '\n') {
            records.append({QString()});
        } else {
            records.last().last() += c;
        }
    }
    return records;
}

// One warning that names the file and contains `part`.
bool isWarning(const QStringList &seen, const QString &part, const QString &path)
{
    return seen.size() == 1 && seen.first().startsWith("Warning: ") &&
           seen.first().contains(part) && seen.first().contains(QDir::toNativeSeparators(path));
}

QString sofficePath()
{
    const QString found = QStandardPaths::findExecutable("soffice");
    return found.isEmpty() ? QStandardPaths::findExecutable("soffice", {"/usr/bin"}) : found;
}

bool runPython(const QStringList &args, QByteArray *output, QString *error)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PYTHONIOENCODING", "utf-8");
    process.setProcessEnvironment(env);
    process.start("/usr/bin/python3", args);
    const bool ok = process.waitForFinished(600000) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    *error = QString::fromUtf8(process.readAllStandardError());
    if (output)
        *output = process.readAllStandardOutput();
    return ok;
}

bool pythonClientsInstalled()
{
    QString error;
    return runPython({"-c", "import xlrd, xlwt, openpyxl"}, nullptr, &error);
}

// Row i of the workbooks tests/clients/write_workbook.py writes: product code and OEM name
// as the import must see them (numbers as typed, texts as they stand).
QString foreignCode(int i)
{
    const QString codes[] = {QString::number(100000 + i), "00" + QString::number(i),
                             QStringLiteral("P%1").arg(i, 5, 10, QLatin1Char('0'))};
    return codes[qMin(i % 5, 2)];
}

QString foreignOem(int i)
{
    const QString names[] = {QString(), HWorkbook::numberText(i + 0.5),
                             QStringLiteral("O'Brien 空调 %1").arg(i),
                             QStringLiteral(" OEM-%1 ").arg(i)};
    return names[qMin(i % 7, 3)];
}

} // namespace

void TestOemExchange::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_template = fileBytes(HOemModelExchange::templatePath());
    QVERIFY(!m_template.isEmpty());
}

void TestOemExchange::init()
{
    cleanAppFolders();
    m_editor = new QWidget;
    m_editor->resize(900, 600);
    new QVBoxLayout(m_editor);
    m_answerer = new ModalAnswerer(m_editor);
}

void TestOemExchange::cleanup()
{
    delete m_editor;
    // Every case leaves the shipped template as it found it (restored for the next case).
    const QByteArray now = fileBytes(HOemModelExchange::templatePath());
    if (now != m_template)
        writeBytes(HOemModelExchange::templatePath(), m_template);
    QCOMPARE(now, m_template);
}

QTableWidget *TestOemExchange::makeTable(const QVector<QStringList> &rows,
                                         const std::function<bool(int)> &hidden)
{
    auto *table = new QTableWidget(rows.size(), 5, m_editor);
    table->setObjectName("tableWidget_Idx");
    m_editor->layout()->addWidget(table);
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < 3; ++c)
            table->setItem(r, c, new QTableWidgetItem(rows.at(r).value(c)));
        table->setRowHeight(r, hidden && hidden(r) ? 0 : 30);
    }
    return table;
}

QStringList TestOemExchange::run(const std::function<void()> &action, const QString &path,
                                 QStringList *filters)
{
    m_answerer->clear();
    m_answerer->act([path, filters](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog || path.isEmpty()) {
            if (auto *other = qobject_cast<QDialog *>(widget))
                other->reject();
            return;
        }
        if (filters)
            *filters = dialog->nameFilters();
        dialog->selectFile(path);
        // Accepted from the event loop: the dialog may ask whether to replace an existing
        // file, and the next poll answers that.
        QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog *>(dialog)->accept(); });
    });
    action();
    QStringList boxes;
    for (const SeenModal &modal : m_answerer->seen()) {
        if (modal.className == "QMessageBox" && !modal.text.contains("already exists"))
            boxes.append(modal.title + ": " + modal.text);
    }
    return boxes;
}

// Converts files with LibreOffice headless, in a profile of its own, into lo/. LibreOffice
// exits 0 even when it fails: the caller checks the files it wrote.
bool TestOemExchange::libreOfficeConvert(const QVector<QPair<QStringList, QString>> &jobs,
                                         QString *log)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < jobs.size(); ++i) {
        processes.emplace_back(new QProcess);
        processes.back()->setProcessChannelMode(QProcess::MergedChannels);
        processes.back()->start(sofficePath(),
                                QStringList{"-env:UserInstallation=file://" +
                                                file(QStringLiteral("lo-profile-%1").arg(i)),
                                            "--headless", "--norestore", "--convert-to",
                                            jobs.at(i).second, "--outdir", file("lo")} +
                                    jobs.at(i).first);
    }
    bool finished = true;
    log->clear();
    for (const auto &process : processes) {
        finished = process->waitForFinished(600000) && finished;
        *log += QString::fromUtf8(process->readAll());
        if (process->state() != QProcess::NotRunning)
            process->kill();
    }
    return finished;
}

void TestOemExchange::roundTrip()
{
    // Export, then import into names typed since: every name comes back, the empty one and
    // those of hidden rows included, and the workbook is only read. Then an export of the
    // empty table (before the first click) over it gives the bare template.
    QFETCH(QString, name);
    const QString path = file(name);
    QTableWidget *table = makeTable(rowsOf(kTricky), [](int r) { return r % 3 == 2; });
    m_editor->show();
    QStringList filters;
    QCOMPARE(exportTo(table, path, &filters), kSuccess);
    QVERIFY2(filters.contains("Excel (*.xls *.xlsx)"), qPrintable(filters.join(';')));
    QCOMPARE(int(HWorkbook::formatOfContent(path)), int(HWorkbook::formatOfName(path)));
    QCOMPARE(modelSheet(path), kHeader + '\n' + lines(rowsOf(kTricky)));

    const QStringList original = column(table, 2);
    for (int r = 0; r < table->rowCount(); ++r)
        table->item(r, 2)->setText("typed since");
    const QByteArray exported = fileBytes(path);
    filters.clear();
    QCOMPARE(importFrom(table, path, &filters), imported(8, 8));
    QVERIFY(filters.contains("Excel (*.xls *.xlsx)"));
    QCOMPARE(column(table, 2), original);
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
    QCOMPARE(column(table, 2).join('|'),
             QStringLiteral("first|old B|old C||hidden row|old F|no code"));
    QCOMPARE(table->rowHeight(4), 0);
}

void TestOemExchange::cancelledDialogsAreSilent()
{
    QTableWidget *table = makeTable({{"A", "m", "o"}});
    for (bool exporting : {true, false}) {
        QVERIFY(exporting ? exportTo(table, QString()).isEmpty()
                          : importFrom(table, QString()).isEmpty());
        QCOMPARE(m_answerer->count(), 1); // the file dialog, no message box
        QCOMPARE(m_answerer->seen().first().className, QStringLiteral("QFileDialog"));
    }
    QCOMPARE(column(table, 2), QStringList{"o"});
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
        QCOMPARE(modelSheet(path), kHeader + '\n' + lines(rows));
        return;
    }
    QVERIFY2(result.contains(QDir::toNativeSeparators(path)) &&
                 result.contains(QRegularExpression("full|too large",
                                                    QRegularExpression::CaseInsensitiveOption)),
             qPrintable(result));
    QVERIFY2(folderFiles(file("out")) == before,
             "the earlier file changed or a temporary file was left");
}

void TestOemExchange::oddWorkbooks_data()
{
    // Workbooks of tests/clients/odd_workbook.py, some damaged here. `names` are the OEM
    // names of the model rows P1, P2, 12345 and 67890 afterwards (o1..o4 before; "?" where a
    // damaged file may read either way); `box` is a pattern of the one message box.
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
        {"valid.xls", "bit-flipped", "?", ""},
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
        {"valid.xlsx", "bit-flipped", "?", ""},
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

void TestOemExchange::oddWorkbooks()
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
        if (!pythonClientsInstalled())
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
    for (int i = 7; damage == "bit-flipped" && i < bytes.size(); i += bytes.size() / 9)
        bytes[i] = char(bytes[i] ^ 0x5a);
    QVERIFY(writeBytes(path, bytes));

    QTableWidget *table = makeTable(rowsOf("P1|M1|o1;P2|M2|o2;12345|M3|o3;67890|M4|o4"));
    const QStringList seen = importFrom(table, path);
    QCOMPARE(seen.size(), 1);
    const QString after = column(table, 2).join('|');
    if (names == "?") {
        if (seen.first().startsWith("Warning"))
            QCOMPARE(after, QStringLiteral("o1|o2|o3|o4"));
    } else {
        QVERIFY2(seen.first().contains(QRegularExpression(box)), qPrintable(seen.first()));
        QCOMPARE(after, names);
    }
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

void TestOemExchange::clientsReadExports_data()
{
    QTest::addColumn<bool>("libreOffice");
    QTest::newRow("LibreOffice") << true;
    QTest::newRow("Python") << false;
}

void TestOemExchange::clientsReadExports()
{
    // LibreOffice converts both exports to CSV, Debian's Python reads them with xlrd and
    // openpyxl: each gives back the model table, a hidden row and tricky texts included.
    QFETCH(bool, libreOffice);
    if (libreOffice && sofficePath().isEmpty())
        QSKIP("LibreOffice (soffice, package libreoffice-calc-nogui) is not installed");
    if (!libreOffice && !pythonClientsInstalled())
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
            QByteArray json;
            QVERIFY2(
                runPython({PM_SOURCE_DIR "/tests/clients/read_workbook.py", path}, &json, &error),
                qPrintable(error));
            const QJsonArray sheets = QJsonDocument::fromJson(json).array();
            QCOMPARE(sheets.size(), 1);
            QCOMPARE(sheets.at(0)["name"].toString(), QStringLiteral("modellist"));
            for (const QJsonValue &row : sheets.at(0)["rows"].toArray()) {
                read.append(QStringList());
                for (const QJsonValue &cell : row.toArray())
                    read.last().append(cell.toString());
            }
        }
        // LibreOffice reads a carriage return in an .xls text as a line break (xlrd as it is).
        QVector<QStringList> expected = rowsOf(kTricky);
        for (QStringList &row : expected) {
            for (QString &text : row) {
                if (!libreOffice && path.endsWith(".xlsx"))
                    text = openpyxlReads(text);
                else if (libreOffice && path.endsWith(".xls"))
                    text.replace('\r', '\n');
            }
        }
        QCOMPARE(lines(read), kHeader + '\n' + lines(expected));
    }
}

void TestOemExchange::foreignWorkbooksImport()
{
    // Workbooks of xlwt, of openpyxl (shared and in-cell strings) and, saved again by
    // LibreOffice, of the other format: numbers, empty cells, extra sheets and columns,
    // 3,000 rows. See tests/clients/write_workbook.py.
    if (!pythonClientsInstalled())
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
        QCOMPARE(column(table, 2), expected);
    }
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
    QVERIFY(HJsonFunc::jsonDocToFile(QJsonDocument(QJsonObject()), appFolder("config/A.json"),
                                     QJsonDocument::Indented));
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
    QCOMPARE(column(table, 2), names);

    click("pushButton_Save")();
    QJsonDocument scheme;
    QVERIFY(HJsonFunc::readFileToJsonDoc(appFolder("config/A.json"), scheme));
    QStringList stored;
    for (const QJsonValue &record : scheme.object().value("idx_table").toArray())
        stored.append(record.toObject().value("oem_model").toString());
    QCOMPARE(stored, names);
    delete editor;
    HDbFind::closeDb();
}

QTEST_MAIN(TestOemExchange)
#include "tst_oemexchange.moc"
