// Writes the OEM model workbook template: an .xls workbook whose sheet "modellist" holds
// the header row product_code, model, oem_model and nothing else.
//
//   product-maketemplate template/idx_table.xls

#include "hworkbook.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 2) {
        err << "usage: product-maketemplate <file.xls>\n";
        return 2;
    }
    HWorkbook workbook;
    HWorkbookSheet sheet;
    sheet.name = QStringLiteral("modellist");
    sheet.rows.append(
        {QStringLiteral("product_code"), QStringLiteral("model"), QStringLiteral("oem_model")});
    workbook.sheets.append(sheet);
    if (!workbook.write(args.at(1), HWorkbook::Xls)) {
        err << "product-maketemplate: " << args.at(1) << ": " << workbook.errorString() << "\n";
        return 1;
    }
    return 0;
}
