#include "hoemmodelexchange.h"

#include "hdatabase.h"
#include "hmessagebox.h"
#include "hworkbook.h"
#include "hworkbookwriter.h"
#include "translatestring.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableWidget>
#include <QTemporaryDir>

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

} // namespace

QString HOemModelExchange::templatePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/template/idx_table.xls");
}

bool HOemModelExchange::exportRows(const QTableWidget *table, const QString &path,
                                   const QString &templateFile, QString *error)
{
    if (!QFileInfo::exists(templateFile)) {
        *error = QStringLiteral("the template %1 does not exist").arg(shown(templateFile));
        return false;
    }
    if (sameFile(path, templateFile)) {
        *error = QStringLiteral("the template itself cannot be the target");
        return false;
    }
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("it is a folder");
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
    HWorkbook book;
    if (!book.read(templateFile)) {
        *error = QStringLiteral("the template %1 cannot be opened: %2")
                     .arg(shown(templateFile), book.errorString());
        return false;
    }
    int models = -1;
    for (int s = 0; s < book.sheets.size() && models < 0; ++s) {
        if (HWorkbook::sameSheetName(book.sheets.at(s).name, kSheet))
            models = s;
    }
    if (models < 0) {
        *error =
            QStringLiteral("the template %1 has no sheet \"%2\"").arg(shown(templateFile), kSheet);
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
            if (HWorkbook::sameSheetName(header.at(c), name))
                columns[i] = c;
        }
        if (columns[i] < 0)
            missing.append(name);
        width = qMax(width, columns[i] + 1);
    }
    if (!missing.isEmpty()) {
        *error = QStringLiteral("the sheet \"%1\" of the template %2 has no column %3")
                     .arg(kSheet, shown(templateFile), missing.join(QStringLiteral(", ")));
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

bool HOemModelExchange::importRows(QTableWidget *table, const QString &path, QString *error)
{
    if (!QFileInfo::exists(path)) {
        *error = QStringLiteral("the file does not exist");
        return false;
    }
    HDatabase workbook;
    if (!workbook.openExcelDatabase(path, QString())) {
        *error = workbook.errorString();
        return false;
    }

    // The first workbook row of a product code supplies its name.
    QHash<QString, QString> names;
    {
        QSqlDatabase db = workbook.getSqlDatabase();
        const QSqlRecord columns = db.record(kSheet);
        if (columns.isEmpty()) {
            *error = QStringLiteral("the workbook has no sheet \"%1\"").arg(kSheet);
            return false;
        }
        QStringList missing;
        for (const QString &column : {kProductCode, kOemModel}) {
            if (columns.indexOf(column) < 0)
                missing.append(column);
        }
        if (!missing.isEmpty()) {
            *error = QStringLiteral("the sheet \"%1\" has no column %2")
                         .arg(kSheet, missing.join(QStringLiteral(", ")));
            return false;
        }

        db.transaction();
        QSqlQuery rows = workbook.query(QStringLiteral("select * from modellist"));
        if (!rows.isActive()) {
            *error = workbook.errorString();
            return false;
        }
        while (rows.next()) {
            const QVariant code = rows.value(kProductCode);
            // A row without a product code is a blank line of the sheet, not a model.
            if (code.isNull() || code.toString().isEmpty())
                continue;
            const QString key = code.toString();
            if (!names.contains(key))
                names.insert(key, rows.value(kOemModel).toString());
        }
        rows = QSqlQuery();
        workbook.commit();
        db.close();
    }
    workbook.closeDatabase();

    for (int row = 0; row < table->rowCount(); ++row) {
        const auto found = names.constFind(cellText(table, row, 0));
        if (found == names.constEnd())
            continue;
        QTableWidgetItem *item = table->item(row, 2);
        if (item)
            item->setText(found.value());
        else
            table->setItem(row, 2, new QTableWidgetItem(found.value()));
    }
    return true;
}

void HOemModelExchange::exportModelTable(QWidget *parent, QTableWidget *table)
{
    const QString path = QFileDialog::getSaveFileName(
        parent, TranslateString(QStringLiteral("Save File")), QStringLiteral("/temp_idx_table.xls"),
        TranslateString(QStringLiteral("Excel (*.xls *.xlsx)")));
    if (path.isEmpty())
        return;
    const QString templateFile = templatePath();
    if (sameFile(path, templateFile)) {
        HMessageBox::warning(parent, QStringLiteral("Warning"),
                             TranslateString(QStringLiteral("The template %1 cannot be the export "
                                                            "target: it would be overwritten."))
                                 .arg(shown(path)));
        return;
    }
    QString error;
    if (!exportRows(table, path, templateFile, &error)) {
        HMessageBox::warning(
            parent, QStringLiteral("Warning"),
            TranslateString(QStringLiteral("Export to %1 failed: %2")).arg(shown(path), error));
        return;
    }
    HMessageBox::information(parent, QStringLiteral("Notice"), QStringLiteral("Export success"));
}

void HOemModelExchange::importModelTable(QWidget *parent, QTableWidget *table)
{
    const QString path = QFileDialog::getOpenFileName(
        parent, TranslateString(QStringLiteral("Open File")), QStringLiteral("/temp_idx_table.xls"),
        TranslateString(QStringLiteral("Excel (*.xls *.xlsx)")));
    if (path.isEmpty())
        return;
    QString error;
    if (!importRows(table, path, &error)) {
        HMessageBox::warning(
            parent, QStringLiteral("Warning"),
            TranslateString(QStringLiteral("Import from %1 failed: %2")).arg(shown(path), error));
        return;
    }
    HMessageBox::information(parent, QStringLiteral("Notice"), QStringLiteral("Import success"));
}
