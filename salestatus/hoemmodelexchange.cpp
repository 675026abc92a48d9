#include "hoemmodelexchange.h"

#include "hdatabase.h"
#include "hmessagebox.h"
#include "hworkbook.h"
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

    // The workbook is built from a copy of the template in a private folder and replaces
    // the target only when complete, so a failure never costs the user the previous file.
    QTemporaryDir work;
    if (!work.isValid()) {
        *error = QStringLiteral("no temporary folder: %1").arg(work.errorString());
        return false;
    }
    const QString suffix = QFileInfo(path).suffix();
    const QString copy = work.filePath(suffix.isEmpty() ? QStringLiteral("export")
                                                        : QStringLiteral("export.") + suffix);
    {
        QFile source(templateFile);
        if (!source.copy(copy)) {
            *error = QStringLiteral("the template %1 cannot be copied: %2")
                         .arg(shown(templateFile), source.errorString());
            return false;
        }
    }

    HDatabase workbook;
    if (!workbook.openExcelDatabase(copy, QString())) {
        *error = QStringLiteral("the template %1 cannot be opened: %2")
                     .arg(shown(templateFile), workbook.errorString());
        return false;
    }
    // An .xls template copied under an .xlsx name becomes a real .xlsx file even when no row
    // is added.
    const HWorkbook::Format wanted = HWorkbook::formatOfName(path);
    if (wanted != HWorkbook::Unknown && wanted != HWorkbook::formatOfContent(copy))
        workbook.markWorkbookChanged();

    // One transaction for all rows: the workbook is written once, on close.
    workbook.transaction();
    for (int row = 0; row < table->rowCount(); ++row) {
        const QString code = cellText(table, row, 0);
        const QString sql =
            QStringLiteral(
                "INSERT INTO modellist (product_code,model,oem_model) VALUES ('%1','%2','%3')")
                .arg(HDatabase::escape(code), HDatabase::escape(cellText(table, row, 1)),
                     HDatabase::escape(cellText(table, row, 2)));
        if (!workbook.exec(sql)) {
            *error = QStringLiteral("row %1 (product code \"%2\") cannot be written: %3")
                         .arg(row + 1)
                         .arg(code, workbook.errorString());
            workbook.rollback();
            workbook.getSqlDatabase().close();
            return false;
        }
    }
    if (!workbook.commit()) {
        *error = workbook.errorString();
        workbook.getSqlDatabase().close();
        return false;
    }
    workbook.getSqlDatabase().close();
    if (!workbook.closeDatabase()) {
        *error = workbook.errorString();
        return false;
    }

    QFile result(copy);
    if (!result.open(QIODevice::ReadOnly)) {
        *error = result.errorString();
        return false;
    }
    const QByteArray bytes = result.readAll();
    QSaveFile target(path);
    if (!target.open(QIODevice::WriteOnly) || target.write(bytes) != bytes.size()) {
        *error = target.errorString();
        target.cancelWriting();
        return false;
    }
    if (!target.commit()) {
        *error = target.errorString();
        return false;
    }
    return true;
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
