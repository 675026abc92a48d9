#pragma once

// What the workbook exchange suites share: the model table in an editor window, file dialogs
// and message boxes answered, and the clients and workbooks of tests/clients/.

#include "filefaults.h"
#include "testhelpers.h"

#include "hbiff8writer.h"
#include "hdbfind.h"
#include "heditproductsalestatus.h"
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

namespace OemFixture {

using namespace TestHelpers;

inline const QString kHeader = "product_code|model|oem_model";
inline const QStringList kSuccess{"Notice: Export success"};

// The box of a successful import.
inline QStringList imported(int read, int matched, const QString &more = QString())
{
    return {QStringLiteral("Notice: Import success\n%1 rows read, %2 matched a model of the table.")
                .arg(read)
                .arg(matched) +
            (more.isEmpty() ? QString() : '\n' + more)};
}
inline const char kNoPython[] = "Debian's /usr/bin/python3 with python3-xlrd, python3-xlwt and "
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

// A workbook as our own reader sees it: the lines of its only sheet, "modellist".
inline QString modelSheet(const QString &path)
{
    HWorkbook book;
    if (book.read(path) && book.sheets.size() == 1 && book.sheets[0].name == "modellist")
        return rowLines(book.sheets[0].rows);
    return "not just the sheet modellist: " + book.errorString();
}

// Texts that break careless exports: quotes for SQL, separators for CSV, Chinese, leading
// zeros, blanks, placeholders of QString::arg, a character XML cannot hold and a literal
// text that looks like its escape.
inline const QString kTricky =
    "000123|AR-07|0070;P'1|it's|O'Brien's \"best\";空调-1|室内机|品牌 OEM;"
    "P2|a,b|;P3|  blanks  | lead;P4|%1 %2|%3;P5|hidden|hidden oem;"
    "P6|cr\rin name|_x000D_ literal";

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
inline bool isWarning(const QStringList &seen, const QString &part, const QString &path)
{
    return seen.size() == 1 && seen.first().startsWith("Warning: ") &&
           seen.first().contains(part) && seen.first().contains(QDir::toNativeSeparators(path));
}

inline QString sofficePath()
{
    const QString found = QStandardPaths::findExecutable("soffice");
    return found.isEmpty() ? QStandardPaths::findExecutable("soffice", {"/usr/bin"}) : found;
}

// Row i of the workbooks tests/clients/write_workbook.py writes: product code and OEM name
// as the import must see them (numbers as typed, texts as they stand).
inline QString foreignCode(int i)
{
    const QString codes[] = {QString::number(100000 + i), "00" + QString::number(i),
                             QStringLiteral("P%1").arg(i, 5, 10, QLatin1Char('0'))};
    return codes[qMin(i % 5, 2)];
}

inline QString foreignOem(int i)
{
    const QString names[] = {QString(), HWorkbook::numberText(i + 0.5),
                             QStringLiteral("O'Brien 空调 %1").arg(i),
                             QStringLiteral(" OEM-%1 ").arg(i)};
    return names[qMin(i % 7, 3)];
}

class OemExchangeSuite
{
protected:
    void startSuite();
    void startCase();
    void finishCase();

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

inline void OemExchangeSuite::startSuite()
{
    QVERIFY(m_dir.isValid());
    m_template = fileBytes(HOemModelExchange::templatePath());
    QVERIFY(!m_template.isEmpty());
}

inline void OemExchangeSuite::startCase()
{
    cleanAppFolders();
    m_editor = new QWidget;
    m_editor->resize(900, 600);
    new QVBoxLayout(m_editor);
    m_answerer = new ModalAnswerer(m_editor);
}

inline void OemExchangeSuite::finishCase()
{
    delete m_editor;
    // Every case leaves the shipped template as it found it (restored for the next case).
    const QByteArray now = fileBytes(HOemModelExchange::templatePath());
    if (now != m_template)
        writeBytes(HOemModelExchange::templatePath(), m_template);
    QCOMPARE(now, m_template);
}

inline QTableWidget *OemExchangeSuite::makeTable(const QVector<QStringList> &rows,
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

inline QStringList OemExchangeSuite::run(const std::function<void()> &action, const QString &path,
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
        // The dialog starts in the last folder used; an absolute path is taken from the root.
        dialog->setDirectory(QStringLiteral("/"));
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
inline bool OemExchangeSuite::libreOfficeConvert(const QVector<QPair<QStringList, QString>> &jobs,
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

} // namespace OemFixture
