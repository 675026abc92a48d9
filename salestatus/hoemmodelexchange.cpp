#include "hoemmodelexchange.h"

#include "hmessagebox.h"
#include "hworkbook.h"
#include "hworkbookreader.h"
#include "hworkbookwriter.h"
#include "translatestring.h"
#include "hfiledialogs.h"
#include "hprogress.h"
#include "htextindex.h"

#include <QProgressDialog>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTableWidget>

namespace {

const QString kSheet = QStringLiteral("modellist");
const QString kProductCode = QStringLiteral("product_code");
const QString kModel = QStringLiteral("model");
const QString kOemModel = QStringLiteral("oem_model");

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    return first.exists() && second.exists() &&
           first.canonicalFilePath() == second.canonicalFilePath();
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Header cells name columns as a database names them: ASCII letters without case.
bool sameColumn(const QString &header, const QString &name)
{
    return HWorkbook::sameSheetName(header, name);
}

// The first OEM model name of each product code in the sheet "modellist", read straight from
// the workbook reader. The header is the sheet's first row.
class ModelListReader : public HWorkbookVisitor
{
public:
    explicit ModelListReader(int models)
        : index(models)
    {
        entries.reserve(models);
    }

    bool sheet(const QString &, bool withRows, QString *) override
    {
        found = found || withRows;
        return true;
    }

    bool row(const HWorkbookRow &row, QString *error) override
    {
        if (!m_headerSeen) {
            m_headerSeen = true;
            if (row.index == 0) {
                for (int c = row.cells.size() - 1; c >= 0; --c) {
                    if (sameColumn(row.cells.at(c), kProductCode))
                        m_code = c;
                    else if (sameColumn(row.cells.at(c), kOemModel))
                        m_name = c;
                }
            }
            if (!checkColumns(error))
                return false;
            setWantedColumns({m_code, m_name});
            if (row.index == 0)
                return true;
        }
        if (row.uncomputed.contains(m_code)) {
            ++withoutResult;
            return true;
        }
        const QString code = row.cells.value(m_code);
        // A row without a product code is a blank line of the sheet, not a model.
        if (code.isEmpty())
            return true;
        ++rowsRead;
        // One lookup: a code seen before keeps its first row.
        bool added = false;
        index.insert(code, &added);
        if (!added)
            return true;
        Entry entry{code, row.cells.value(m_name), true, false};
        if (row.uncomputed.contains(m_name)) {
            ++withoutResult;
            entry.readable = false; // known, but nothing to set
        }
        entries.append(entry);
        return true;
    }

    bool finish(QString *error)
    {
        if (!found) {
            *error =
                TranslateString(QStringLiteral("the workbook has no sheet \"%1\"")).arg(kSheet);
            return false;
        }
        if (!m_headerSeen) {
            *error = TranslateString(QStringLiteral("the sheet \"%1\" is empty")).arg(kSheet);
            return false;
        }
        return true;
    }

    bool found = false;
    int rowsRead = 0;
    int withoutResult = 0;
    // The first row of each product code, in workbook order, and where to find it by code.
    struct Entry
    {
        QString code;
        QString name;
        bool readable; // false: the name is a formula without a stored result
        bool matched;  // a model of the table has this code
    };
    QVector<Entry> entries;
    HTextIndex index; // the codes of `entries`, position for position

private:
    bool checkColumns(QString *error) const
    {
        QStringList missing;
        if (m_code < 0)
            missing.append(kProductCode);
        if (m_name < 0)
            missing.append(kOemModel);
        if (missing.isEmpty())
            return true;
        *error = TranslateString(QStringLiteral("the sheet \"%1\" has no column %2"))
                     .arg(kSheet, missing.join(TranslateString(QStringLiteral(", "))));
        return false;
    }

    bool m_headerSeen = false;
    int m_code = -1;
    int m_name = -1;
};

// The template as read last, kept while the file holds the same bytes: reading an .xls file
// takes a helper process, and every export starts from the same small template.
const HWorkbook *readTemplate(const QString &file, QString *error)
{
    static QByteArray cachedBytes;
    static HWorkbook cached;
    QFile in(file);
    QByteArray bytes;
    if (in.size() <= (16 << 20) && in.open(QIODevice::ReadOnly))
        bytes = in.readAll();
    if (!bytes.isEmpty() && bytes == cachedBytes)
        return &cached;
    cachedBytes.clear();
    if (!cached.read(file)) {
        *error = TranslateString(QStringLiteral("the template %1 cannot be opened: %2"))
                     .arg(shown(file), cached.errorString());
        return nullptr;
    }
    // Kept only when the file did not change while it was read.
    QFile again(file);
    if (!bytes.isEmpty() && again.open(QIODevice::ReadOnly) && again.readAll() == bytes)
        cachedBytes = bytes;
    return &cached;
}

} // namespace

QString HOemModelExchange::templatePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/template/idx_table.xls");
}

bool HOemModelExchange::exportRows(const QTableWidget *table, const QString &path,
                                   const QString &templateFile, QString *error, HProgress *progress)
{
    if (!QFileInfo::exists(templateFile)) {
        *error = TranslateString(QStringLiteral("the template %1 does not exist"))
                     .arg(shown(templateFile));
        return false;
    }
    if (sameFile(path, templateFile)) {
        *error = TranslateString(QStringLiteral("the template itself cannot be the target"));
        return false;
    }
    if (QFileInfo(path).isDir()) {
        *error = TranslateString(QStringLiteral("it is a folder"));
        return false;
    }
    // The format the name asks for; a name that says neither keeps the template's.
    HWorkbook::Format format = HWorkbook::formatOfName(path);
    if (format == HWorkbook::Unknown)
        format = HWorkbook::formatOfContent(templateFile);
    if (format == HWorkbook::Unknown)
        format = HWorkbook::Xls;
    // The table alone (with the header) may not fit: say so before any work.
    *error = HWorkbookWriter::rowLimitError(format, kSheet, qint64(table->rowCount()) + 1);
    if (!error->isEmpty())
        return false;

    // The template's sheets and rows go out as the template holds them; the model rows are
    // appended to "modellist", each text under its column's header.
    const HWorkbook *read = readTemplate(templateFile, error);
    if (!read)
        return false;
    const HWorkbook &book = *read;
    int models = -1;
    for (int s = 0; s < book.sheets.size() && models < 0; ++s) {
        if (HWorkbook::sameSheetName(book.sheets.at(s).name, kSheet))
            models = s;
    }
    if (models < 0) {
        *error = TranslateString(QStringLiteral("the template %1 has no sheet \"%2\""))
                     .arg(shown(templateFile), kSheet);
        return false;
    }
    const HWorkbookSheet &modelSheet = book.sheets.at(models);
    const QStringList header = modelSheet.rows.value(0);
    int columns[3];
    QStringList missing;
    int width = 0;
    for (int i = 0; i < 3; ++i) {
        const QString name = i == 0 ? kProductCode : i == 1 ? kModel : kOemModel;
        columns[i] = -1;
        for (int c = 0; c < header.size() && columns[i] < 0; ++c) {
            if (sameColumn(header.at(c), name))
                columns[i] = c;
        }
        if (columns[i] < 0)
            missing.append(name);
        width = qMax(width, columns[i] + 1);
    }
    if (!missing.isEmpty()) {
        *error =
            TranslateString(QStringLiteral("the sheet \"%1\" of the template %2 has no column %3"))
                .arg(kSheet, shown(templateFile),
                     missing.join(TranslateString(QStringLiteral(", "))));
        return false;
    }
    int first = modelSheet.rows.size();
    while (first > 1 && modelSheet.rows.at(first - 1).join(QString()).isEmpty())
        --first;
    *error = HWorkbookWriter::rowLimitError(format, kSheet, qint64(first) + table->rowCount());
    if (!error->isEmpty())
        return false;

    qint64 total = table->rowCount();
    for (const HWorkbookSheet &sheet : qAsConst(book.sheets))
        total += sheet.rows.size();
    const std::unique_ptr<HWorkbookWriter> writer = HWorkbookWriter::create(format, path, total);
    bool ok = true;
    for (int s = 0; s < book.sheets.size() && ok; ++s) {
        const HWorkbookSheet &sheet = book.sheets.at(s);
        ok = writer->addSheet(sheet.name);
        const int rows = s == models ? first : sheet.rows.size();
        for (int r = 0; r < rows && ok; ++r)
            ok = writer->addRow(r, sheet.rows.at(r));
        if (s != models)
            continue;
        QStringList cells;
        for (int c = 0; c < width; ++c)
            cells.append(QString());
        for (int row = 0; row < table->rowCount() && ok; ++row) {
            if (progress && row % 256 == 0) {
                progress->setValue(row);
                // Nothing is committed yet: the target stays as it was.
                if (progress->wasCanceled()) {
                    error->clear();
                    return false;
                }
            }
            for (int i = 0; i < 3; ++i)
                cells[columns[i]] = cellText(table, row, i);
            ok = writer->addRow(first + row, cells);
        }
    }
    if (ok && writer->commit())
        return true;
    *error = writer->errorString();
    return false;
}

bool HOemModelExchange::importRows(QTableWidget *table, const QString &path, QString *error,
                                   ImportSummary *summary, HProgress *progress)
{
    ModelListReader list(table->rowCount());
    if (!HWorkbookReader::read(path, list, error, kSheet))
        return false;
    if (!list.finish(error))
        return false;

    // Only a workbook read to its end changes the table.
    ImportSummary result;
    result.rowsRead = list.rowsRead;
    result.withoutResult = list.withoutResult;
    // The names are set once every row is matched, so a cancel changes nothing.
    QVector<QPair<int, int>> names;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (progress && row % 256 == 0) {
            progress->setValue(row);
            if (progress->wasCanceled()) {
                error->clear();
                return false;
            }
        }
        const int found = list.index.find(cellText(table, row, 0));
        if (found < 0)
            continue;
        ModelListReader::Entry &entry = list.entries[found];
        if (!entry.readable)
            continue;
        result.matched += entry.matched ? 0 : 1;
        entry.matched = true;
        names.append({row, found});
    }
    for (const auto &name : qAsConst(names)) {
        const QString &text = list.entries.at(name.second).name;
        // An item given the text it holds already does nothing, and says nothing.
        QTableWidgetItem *item = table->item(name.first, 2);
        if (!item)
            table->setItem(name.first, 2, new QTableWidgetItem(text));
        else
            item->setText(text);
    }
    for (const ModelListReader::Entry &entry : qAsConst(list.entries)) {
        if (entry.matched || !entry.readable)
            continue;
        ++result.unmatched;
        if (result.firstUnmatched.size() < 5)
            result.firstUnmatched.append(entry.code);
    }
    if (summary)
        *summary = result;
    return true;
}

void HOemModelExchange::exportModelTable(QWidget *parent, QTableWidget *table)
{
    const QString path = HFileDialogs::saveFileName(
        parent, QStringLiteral("workbook"), TranslateString(QStringLiteral("Save File")),
        QStringLiteral("temp_idx_table.xls"),
        TranslateString(QStringLiteral("Excel (*.xls *.xlsx)")));
    if (path.isEmpty())
        return;
    const QString templateFile = templatePath();
    if (sameFile(path, templateFile)) {
        HMessageBox::warning(parent, TranslateString(QStringLiteral("Warning")),
                             TranslateString(QStringLiteral("The template %1 cannot be the export "
                                                            "target: it would be overwritten."))
                                 .arg(shown(path)));
        return;
    }
    QString error;
    HProgress progress(parent, TranslateString(QStringLiteral("Writing the workbook...")),
                       table->rowCount());
    if (!exportRows(table, path, templateFile, &error, &progress)) {
        if (error.isEmpty())
            return; // cancelled: the file is as it was
        HMessageBox::warning(
            parent, TranslateString(QStringLiteral("Warning")),
            TranslateString(QStringLiteral("Export to %1 failed: %2")).arg(shown(path), error));
        return;
    }
    HMessageBox::information(parent, TranslateString(QStringLiteral("Notice")),
                             TranslateString(QStringLiteral("Export success")));
}

void HOemModelExchange::importModelTable(QWidget *parent, QTableWidget *table)
{
    const QString path = HFileDialogs::openFileName(
        parent, QStringLiteral("workbook"), TranslateString(QStringLiteral("Open File")),
        TranslateString(QStringLiteral("Excel (*.xls *.xlsx)")));
    if (path.isEmpty())
        return;
    QString error;
    ImportSummary summary;
    HProgress progress(parent, TranslateString(QStringLiteral("Reading the workbook...")),
                       table->rowCount());
    if (!importRows(table, path, &error, &summary, &progress)) {
        if (error.isEmpty())
            return; // cancelled: the table is as it was
        HMessageBox::warning(
            parent, TranslateString(QStringLiteral("Warning")),
            TranslateString(QStringLiteral("Import from %1 failed: %2")).arg(shown(path), error));
        return;
    }
    QString unmatched;
    if (summary.unmatched > 0) {
        QStringList codes;
        for (const QString &code : qAsConst(summary.firstUnmatched))
            codes.append(QLatin1Char('"') + code + QLatin1Char('"'));
        if (summary.unmatched > codes.size())
            codes.append(QStringLiteral("…"));
        unmatched = TranslateString(QStringLiteral("%1 product codes match no model: %2"))
                        .arg(summary.unmatched)
                        .arg(codes.join(QStringLiteral(", ")));
    }
    QString formulas;
    if (summary.withoutResult > 0)
        formulas = TranslateString(QStringLiteral("%1 rows left out: their OEM model is a formula "
                                                  "without a stored result (open and save the "
                                                  "workbook in a spreadsheet program first)"))
                       .arg(summary.withoutResult);
    if (summary.matched == 0) {
        QString text =
            summary.rowsRead == 0
                ? TranslateString(QStringLiteral("The sheet \"modellist\" of %1 holds no row "
                                                 "with a product code: nothing was imported."))
                      .arg(shown(path))
                : TranslateString(QStringLiteral("No row of %1 matches a model of the table: "
                                                 "%2 rows read, nothing was imported."))
                      .arg(shown(path))
                      .arg(summary.rowsRead);
        for (const QString &line : {unmatched, formulas}) {
            if (!line.isEmpty())
                text += QLatin1Char('\n') + line;
        }
        HMessageBox::warning(parent, TranslateString(QStringLiteral("Warning")), text);
        return;
    }
    QString text = TranslateString(QStringLiteral("Import success")) + QLatin1Char('\n') +
                   TranslateString(QStringLiteral("%1 rows read, %2 matched a model of the table."))
                       .arg(summary.rowsRead)
                       .arg(summary.matched);
    for (const QString &line : {unmatched, formulas}) {
        if (!line.isEmpty())
            text += QLatin1Char('\n') + line;
    }
    HMessageBox::information(parent, TranslateString(QStringLiteral("Notice")), text);
}
