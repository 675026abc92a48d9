// product-bench's support: clicking the tool's widgets, generating the ranges at each size,
// and the baselines of the Excel figures (the format libraries alone, doing the same file).
#include "benchsteps.h"

#include "demodatabase.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <cstdlib>
#include <sys/resource.h>

#include <dlfcn.h>
#include <freexl.h>
#include <quazip.h>
#include <quazipfile.h>
#include <unistd.h>
#include <xlsxwriter.h>

namespace Bench {

void click(QWidget *parent, const char *name)
{
    if (auto *button = child<QAbstractButton>(parent, name))
        button->click();
    else
        std::fprintf(stderr, "no button %s\n", name);
}

qint64 peakRssMb()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// libxlsxwriter alone, loaded as the tool loads it (apart from QuaZip's minizip names).
void writeXlsxAlone(const QString &path, const std::vector<std::string> &texts)
{
    static void *library = dlmopen(LM_ID_NEWLM, "libxlsxwriter.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return;
    static const auto create =
        reinterpret_cast<lxw_workbook *(*)(const char *, lxw_workbook_options *)>(
            dlsym(library, "workbook_new_opt"));
    static const auto addSheet = reinterpret_cast<lxw_worksheet *(*)(lxw_workbook *, const char *)>(
        dlsym(library, "workbook_add_worksheet"));
    static const auto write =
        reinterpret_cast<lxw_error (*)(lxw_worksheet *, lxw_row_t, lxw_col_t, const char *,
                                       lxw_format *)>(dlsym(library, "worksheet_write_string"));
    static const auto close =
        reinterpret_cast<lxw_error (*)(lxw_workbook *)>(dlsym(library, "workbook_close"));
    static char ***environment = static_cast<char ***>(dlsym(library, "environ"));
    if (environment)
        *environment = environ;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *workbook = create(QFile::encodeName(path).constData(), &options);
    lxw_worksheet *sheet = addSheet(workbook, "modellist");
    const char *header[] = {"product_code", "model", "oem_model"};
    for (lxw_col_t c = 0; c < 3; ++c)
        write(sheet, 0, c, header[c], nullptr);
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!texts[i].empty())
            write(sheet, lxw_row_t(i / 3 + 1), lxw_col_t(i % 3), texts[i].c_str(), nullptr);
    }
    close(workbook);
}

void readXlsAlone(const QString &path)
{
    const void *handle = nullptr;
    if (freexl_open(QFile::encodeName(path).constData(), &handle) != FREEXL_OK)
        return;
    unsigned int rows = 0;
    unsigned short columns = 0;
    freexl_select_active_worksheet(handle, 0);
    freexl_worksheet_dimensions(handle, &rows, &columns);
    FreeXL_CellValue value;
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c)
            freexl_get_cell_value(handle, r, c, &value);
    }
    freexl_close(handle);
}

// Keeps the baseline's reading from being optimised away.
volatile qint64 g_xlsxCharacters = 0;

void readXlsxAlone(const QString &path)
{
    // What any reader of the format must do: unpack the parts and parse the XML of the
    // shared strings and the sheets, reaching the text of every cell.
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdUnzip))
        return;
    qint64 characters = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        const QString name = zip.getCurrentFileName();
        QuaZipFile part(&zip);
        if (!part.open(QIODevice::ReadOnly))
            continue;
        if (!name.startsWith(QLatin1String("xl/worksheets/")) &&
            name != QLatin1String("xl/sharedStrings.xml")) {
            part.readAll();
            continue;
        }
        QXmlStreamReader xml(&part);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QStringRef element = xml.name();
            if (element == QLatin1String("v") || element == QLatin1String("t"))
                characters += xml.readElementText().size();
        }
    }
    g_xlsxCharacters = characters;
}

QStringList generate(double scale, const QString &workDir)
{
    const QString folder = QStringLiteral("%1/scale-%2").arg(workDir).arg(scale);
    const QString indexed = folder + QStringLiteral("/indexed/Product.mdb");
    const QString plain = folder + QStringLiteral("/plain/Product.mdb");
    const QString configDir = folder + QStringLiteral("/config");
    QString error;
    std::fprintf(stderr, "scale %g: generating %s ...\n", scale, qPrintable(indexed));
    if (!DemoDatabase::writeLarge(indexed, configDir, DemoDatabase::Counts::scaled(scale),
                                  &error)) {
        std::fprintf(stderr, "generation failed: %s\n", qPrintable(error));
        std::exit(1);
    }
    QDir().mkpath(QFileInfo(plain).absolutePath());
    QFile::remove(plain);
    QFile::copy(indexed, plain);
    {
        RawDb raw(plain);
        QSqlQuery drop(raw.db());
        for (const char *index :
             {"idx_rule_odu_idu_odu", "idx_rule_odu_acc_odu", "idx_rule_unit_acc_series"})
            drop.exec(QStringLiteral("drop index if exists %1").arg(QLatin1String(index)));
        drop.exec(QStringLiteral("vacuum"));
    }
    return {indexed, plain};
}

} // namespace Bench
