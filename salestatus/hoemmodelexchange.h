#pragma once

#include <QString>
#include <QStringList>

class HProgress;
class QTableWidget;
class QWidget;

// Exchange of OEM model names between the sale status model table and an Excel workbook
// (.xls or .xlsx) with the sheet "modellist" (product_code, model, oem_model).
//
// The table is the model table of the sale status editor: column 0 the product code,
// 1 the model, 2 the OEM model name. Rows of other series have height 0 and are exported and
// updated like the shown ones.
class HOemModelExchange
{
public:
    // Asks for a target file, writes the template's sheets and every row after the
    // template's rows of "modellist" there (the format the file name asks for), and says
    // "Export success"; any failure is a warning naming the file and the cause.
    static void exportModelTable(QWidget *parent, QTableWidget *table);
    // Asks for a workbook, sets column 2 of every row whose product code it holds (the first
    // workbook row wins) and says "Import success" with how many rows were read and matched;
    // failures, and a workbook that matches no model, are warnings as above.
    static void importModelTable(QWidget *parent, QTableWidget *table);

    // The template beside the executable: template/idx_table.xls.
    static QString templatePath();

    // The same without dialogs or messages; false with the cause in *error (empty when the
    // progress was cancelled). The target is
    // replaced only by a complete workbook: on failure an existing file stays as it was.
    static bool exportRows(const QTableWidget *table, const QString &path,
                           const QString &templateFile, QString *error,
                           HProgress *progress = nullptr);
    // What an import found.
    struct ImportSummary
    {
        int rowsRead = 0;           // rows with a product code
        int matched = 0;            // product codes found in the table
        int unmatched = 0;          // product codes not in the table ...
        QStringList firstUnmatched; // ... the first few of them
        int withoutResult = 0;      // rows left out: a formula without a stored result
    };
    // The table changes only when the whole workbook was read.
    static bool importRows(QTableWidget *table, const QString &path, QString *error,
                           ImportSummary *summary = nullptr, HProgress *progress = nullptr);
};
