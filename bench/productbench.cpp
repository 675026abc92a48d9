// Times the tool's operations on a generated product range at two sizes, each beside a
// baseline that does the same reads or writes with plain SQL (or a plain file write) on the
// same database in the same run, and prints "tool / raw" and the growth between the sizes.
//
//   product-bench [--scales 0.2,1] [--repeat 3] [--workdir DIR]
//
// Runs offscreen by itself; the brand schemes go to config/ beside this executable, which is
// where the sale status tab looks for them.

#include "demodatabase.h"
#include "hbiff8writer.h"
#include "hdatabase.h"
#include "hdbfind.h"
#include "hoemmodelexchange.h"
#include "mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <sys/resource.h>

#include <dlfcn.h>
#include <freexl.h>
#include <quazip.h>
#include <quazipfile.h>
#include <unistd.h>
#include <xlsxwriter.h>

namespace {

struct Figure
{
    QString name;
    std::map<double, double> tool; // scale → ms
    std::map<double, double> raw;
};

std::vector<Figure> g_figures;

Figure &figure(const QString &name)
{
    for (Figure &f : g_figures) {
        if (f.name == name)
            return f;
    }
    g_figures.push_back(Figure{name, {}, {}});
    return g_figures.back();
}

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

// The best of `repeat` runs: the figure least disturbed by the rest of the machine.
double bestOf(int repeat, const std::function<void()> &work)
{
    double best = 1e300;
    for (int i = 0; i < repeat; ++i)
        best = std::min(best, timeMs(work));
    return best;
}

// Any modal box the tool raises (it should raise none on success) is answered at once and
// reported, so that a run never hangs.
void answerModals()
{
    if (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            std::fprintf(stderr, "  (message: %s — %s)\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
            box->accept();
        } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            dialog->reject();
        }
    }
}

class RawDb
{
public:
    explicit RawDb(const QString &path)
        : m_name(QStringLiteral("bench_raw"))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~RawDb()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // Steps through every row and reads every column, as a view filling itself would.
    int selectAll(const QString &sql) const
    {
        QSqlQuery query(db());
        query.setForwardOnly(true);
        if (!query.exec(sql))
            std::fprintf(stderr, "raw select failed: %s\n", qPrintable(query.lastError().text()));
        int rows = 0;
        const int columns = query.record().count();
        while (query.next()) {
            for (int c = 0; c < columns; ++c)
                query.value(c);
            ++rows;
        }
        return rows;
    }

private:
    QString m_name;
};

template<typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QString::fromLatin1(name));
}

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

void unpackXlsxAlone(const QString &path)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdUnzip))
        return;
    static char buffer[1 << 16];
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFile part(&zip);
        if (part.open(QIODevice::ReadOnly)) {
            while (part.read(buffer, sizeof buffer) > 0) {
            }
        }
    }
}

void runScale(double scale, int repeat, const QString &workDir)
{
    const QString dbPath = QStringLiteral("%1/scale-%2/Product.mdb").arg(workDir).arg(scale);
    const QString configDir = QCoreApplication::applicationDirPath() + QStringLiteral("/config");
    QDir(configDir).removeRecursively();
    QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/log")).removeRecursively();
    QString error;
    std::fprintf(stderr, "scale %g: generating %s ...\n", scale, qPrintable(dbPath));
    if (!DemoDatabase::writeLarge(dbPath, configDir, DemoDatabase::Counts::scaled(scale), &error)) {
        std::fprintf(stderr, "generation failed: %s\n", qPrintable(error));
        std::exit(1);
    }
    HDbFind::closeDb();
    qputenv("PRODUCT_DB", dbPath.toLocal8Bit());
    RawDb raw(dbPath);

    // 1. The main window: every tab reads what it shows.
    MainWindow *window = nullptr;
    figure(QStringLiteral("open main window")).tool[scale] = bestOf(repeat, [&] {
        delete window;
        HDbFind::closeDb();
        QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/log")).removeRecursively();
        window = nullptr;
        window = new MainWindow;
    });
    const QString firstScheme = QDir(configDir).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name).value(0);
    figure(QStringLiteral("open main window")).raw[scale] = bestOf(repeat, [&] {
        // The sale status tab shows the first brand scheme: read and parse it too.
        QFile scheme(configDir + QLatin1Char('/') + firstScheme);
        scheme.open(QIODevice::ReadOnly);
        QJsonDocument::fromJson(scheme.readAll());
        raw.selectAll(QStringLiteral("select * from __product_series"));
        raw.selectAll(QStringLiteral("select i.*, s.table_name from __product_idx i left join __product_series s "
                                     "on s.id_series = i.id_series where i.product_type in (2, 10)"));
        raw.selectAll(QStringLiteral("select * from __rule_odu_idu_matching"));
        raw.selectAll(QStringLiteral("select * from __rule_odu_acc_matching"));
        raw.selectAll(QStringLiteral("select * from __rule_unit_acc_controller_matching"));
        raw.selectAll(QStringLiteral("select * from __rule_connect_ratio"));
        raw.selectAll(QStringLiteral("select * from __product_idx"));
    });

    // 2. OK's fan-out: the two matchings and the rule assignment rewritten.
    figure(QStringLiteral("OK: save all tabs")).tool[scale] = bestOf(repeat, [&] { emit window->save(); });
    figure(QStringLiteral("OK: save all tabs")).raw[scale] = bestOf(repeat, [&] {
        QSqlDatabase db = raw.db();
        db.transaction();
        QSqlQuery read(db);
        read.setForwardOnly(true);
        for (const char *table : {"__rule_odu_idu_matching", "__rule_odu_acc_matching",
                                  "__rule_unit_acc_controller_matching"}) {
            read.exec(QStringLiteral("select * from %1").arg(QLatin1String(table)));
            QVector<QVariantList> rows;
            while (read.next()) {
                QVariantList row;
                for (int c = 0; c < read.record().count(); ++c)
                    row.append(read.value(c));
                rows.append(row);
            }
            QSqlQuery write(db);
            write.exec(QStringLiteral("delete from %1").arg(QLatin1String(table)));
            const int columns = rows.isEmpty() ? 0 : rows.first().size();
            QStringList marks;
            for (int c = 0; c < columns; ++c)
                marks.append(QStringLiteral("?"));
            write.prepare(QStringLiteral("insert into %1 values (%2)").arg(QLatin1String(table), marks.join(QLatin1Char(','))));
            for (const QVariantList &row : rows) {
                for (int c = 0; c < row.size(); ++c)
                    write.bindValue(c, row.at(c));
                write.exec();
            }
        }
        QSqlQuery update(db);
        update.prepare(QStringLiteral("update __product_series set [rule_pipe_dimmension]=?, [rule_centralized_control]=?, "
                                      "[rule_limit]=?, [rule_add_refri_charge]=?, [rule_connect_ratio]=? where [ID]=?"));
        read.exec(QStringLiteral("select ID, rule_pipe_dimmension, rule_centralized_control, rule_limit, "
                                 "rule_add_refri_charge, rule_connect_ratio from __product_series where product_type = 0"));
        while (read.next()) {
            for (int c = 0; c < 5; ++c)
                update.bindValue(c, read.value(c + 1).toString());
            update.bindValue(5, read.value(0));
            update.exec();
        }
        db.commit();
    });

    // 3. The sale status tab.
    auto *tabs = child<QTabWidget>(window, "tabWidget");
    QWidget *sale = tabs ? tabs->widget(4) : nullptr;
    auto *series = sale ? child<QTableWidget>(sale, "tableWidget_Series") : nullptr;
    auto *models = sale ? child<QTableWidget>(sale, "tableWidget_Idx") : nullptr;
    auto *types = sale ? child<QComboBox>(sale, "comboBox_ProductType") : nullptr;
    auto *schemes = sale ? child<QComboBox>(sale, "comboBox_scheme") : nullptr;
    if (sale && series && models && types && schemes && series->rowCount() > 0) {
        figure(QStringLiteral("sale: click a series row")).tool[scale] = bestOf(repeat, [&] {
            QMetaObject::invokeMethod(sale, "clickCell_Series", Q_ARG(int, 0), Q_ARG(int, 0));
        });
        // The model table holds every model of the scheme (other series' rows hidden), so
        // the same reads are all model rows, not only those of the clicked series.
        figure(QStringLiteral("sale: click a series row")).raw[scale] = bestOf(repeat, [&] {
            raw.selectAll(QStringLiteral("select * from __product_idx"));
        });
        int nextType = 1;
        figure(QStringLiteral("sale: switch product type")).tool[scale] = bestOf(repeat, [&] {
            types->setCurrentIndex(nextType);
            nextType = nextType == 1 ? 0 : 1;
        });
        figure(QStringLiteral("sale: switch product type")).raw[scale] = bestOf(repeat, [&] {
            raw.selectAll(QStringLiteral("select * from __product_series where product_type = 1"));
        });
        const QString schemePath = configDir + QLatin1Char('/') + schemes->currentText();
        figure(QStringLiteral("sale: Save to scheme")).tool[scale] = bestOf(repeat, [&] { click(sale, "pushButton_Save"); });
        figure(QStringLiteral("sale: Save to scheme")).raw[scale] = bestOf(repeat, [&] {
            QFile in(schemePath);
            in.open(QIODevice::ReadOnly);
            const QJsonDocument doc = QJsonDocument::fromJson(in.readAll());
            QSaveFile out(configDir + QStringLiteral("/raw-copy.bin"));
            out.open(QIODevice::WriteOnly);
            out.write(doc.toJson(QJsonDocument::Indented));
            out.commit();
        });
        QFile::remove(configDir + QStringLiteral("/raw-copy.bin"));
        figure(QStringLiteral("sale: Save to Db")).tool[scale] = bestOf(repeat, [&] { click(sale, "pushButton_SaveDb"); });
        figure(QStringLiteral("sale: Save to Db")).raw[scale] = bestOf(repeat, [&] {
            QSqlDatabase db = raw.db();
            db.transaction();
            QSqlQuery read(db);
            read.setForwardOnly(true);
            QSqlQuery update(db);
            read.exec(QStringLiteral("select id_series, model_string, is_not_for_sale, is_user_skip from __product_series"));
            update.prepare(QStringLiteral("update __product_series set is_not_for_sale=?, is_user_skip=?, model_string=? where id_series=?"));
            while (read.next()) {
                update.bindValue(0, read.value(2).toInt());
                update.bindValue(1, read.value(3).toInt());
                update.bindValue(2, read.value(1).toString());
                update.bindValue(3, read.value(0));
                update.exec();
            }
            read.exec(QStringLiteral("select product_code, is_not_for_sale, is_user_skip from __product_idx"));
            update.prepare(QStringLiteral("update __product_idx set is_not_for_sale=?, is_user_skip=? where product_code=?"));
            while (read.next()) {
                update.bindValue(0, read.value(1).toInt());
                update.bindValue(1, read.value(2).toInt());
                update.bindValue(2, read.value(0).toString());
                update.exec();
            }
            db.commit();
        });
        int nextScheme = 1;
        figure(QStringLiteral("sale: load a scheme")).tool[scale] = bestOf(repeat, [&] {
            schemes->setCurrentIndex(nextScheme % schemes->count());
            ++nextScheme;
        });
        figure(QStringLiteral("sale: load a scheme")).raw[scale] = bestOf(repeat, [&] {
            QFile in(schemePath);
            in.open(QIODevice::ReadOnly);
            QJsonDocument::fromJson(in.readAll());
            raw.selectAll(QStringLiteral("select * from __product_series"));
            raw.selectAll(QStringLiteral("select * from __product_idx"));
        });

        // 4. Excel exchange of every model row. Each figure stands beside the libraries the
        // format is built on, alone, doing the same file: the BIFF8 writer with libgsf fed
        // with prepared rows (.xls out), FreeXL reading every cell in this process (.xls in),
        // libxlsxwriter in constant-memory mode writing prepared UTF-8 texts (.xlsx out), and
        // QuaZip unpacking every part (.xlsx in).
        QMetaObject::invokeMethod(sale, "clickCell_Series", Q_ARG(int, 0), Q_ARG(int, 0));
        QTemporaryDir excelDir;
        const QString templatePath = HOemModelExchange::templatePath();
        QVector<QStringList> rows{
            {QStringLiteral("product_code"), QStringLiteral("model"), QStringLiteral("oem_model")}};
        std::vector<std::string> utf8;
        for (int row = 0; row < models->rowCount(); ++row) {
            rows.append(QStringList());
            for (int c = 0; c < 3; ++c) {
                rows.last().append(models->item(row, c) ? models->item(row, c)->text() : QString());
                utf8.push_back(rows.last().last().toStdString());
            }
        }
        for (const char *suffix : {"xls", "xlsx"}) {
            const bool xls = QLatin1String(suffix) == QLatin1String("xls");
            const QString path =
                excelDir.filePath(QStringLiteral("models.%1").arg(QLatin1String(suffix)));
            const QString alone =
                excelDir.filePath(QStringLiteral("alone.%1").arg(QLatin1String(suffix)));
            const QString exportName =
                QStringLiteral("excel: export .%1").arg(QLatin1String(suffix));
            const QString importName =
                QStringLiteral("excel: import .%1").arg(QLatin1String(suffix));
            bool ok = true;
            figure(exportName).tool[scale] = bestOf(repeat, [&] {
                QString exportError;
                if (!HOemModelExchange::exportRows(models, path, templatePath, &exportError)) {
                    ok = false;
                    std::fprintf(stderr, "  export failed: %s\n", qPrintable(exportError));
                }
            });
            figure(importName).tool[scale] = bestOf(repeat, [&] {
                QString importError;
                if (ok && !HOemModelExchange::importRows(models, path, &importError))
                    std::fprintf(stderr, "  import failed: %s\n", qPrintable(importError));
            });
            figure(exportName).raw[scale] = bestOf(repeat, [&] {
                if (xls) {
                    HBiff8Writer writer(alone, rows.size());
                    writer.addSheet(QStringLiteral("modellist"));
                    for (int row = 0; row < rows.size(); ++row)
                        writer.addRow(row, rows.at(row));
                    writer.commit();
                } else {
                    writeXlsxAlone(alone, utf8);
                }
            });
            figure(importName).raw[scale] = bestOf(repeat, [&] {
                if (xls)
                    readXlsAlone(path);
                else
                    unpackXlsxAlone(path);
            });
        }
    } else {
        std::fprintf(stderr, "  the sale status tab shows no series: its figures are skipped\n");
    }

    // 5. Destruction: the two matching snapshots and the current scheme written.
    figure(QStringLiteral("close main window")).tool[scale] = timeMs([&] {
        delete window;
        window = nullptr;
    });
    figure(QStringLiteral("close main window")).raw[scale] = timeMs([&] {
        QJsonArray rows;
        QSqlQuery query(raw.db());
        query.setForwardOnly(true);
        query.exec(QStringLiteral("select * from __rule_odu_idu_matching"));
        while (query.next())
            rows.append(QJsonObject{{QStringLiteral("odu"), query.value(0).toInt()}, {QStringLiteral("idu"), query.value(1).toInt()}});
        query.exec(QStringLiteral("select * from __product_idx"));
        while (query.next())
            rows.append(QJsonObject{{QStringLiteral("product_code"), query.value(0).toString()},
                                    {QStringLiteral("model"), query.value(3).toString()}});
        QSaveFile out(QCoreApplication::applicationDirPath() + QStringLiteral("/log/raw-snapshot.json"));
        QDir().mkpath(QCoreApplication::applicationDirPath() + QStringLiteral("/log"));
        out.open(QIODevice::WriteOnly);
        out.write(QJsonDocument(rows).toJson(QJsonDocument::Indented));
        out.commit();
    });
    HDbFind::closeDb();
}

} // namespace

// The saves echo every statement to the debug output; formatting them is part of the
// figures, printing 40,000 lines to a terminal is not.
void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietDebug);
    QApplication app(argc, argv);
    QList<double> scales = {0.2, 1.0};
    int repeat = 3;
    QTemporaryDir tempDir;
    QString workDir = tempDir.path();
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--scales") && i + 1 < args.size()) {
            scales.clear();
            for (const QString &piece : args.at(++i).split(QLatin1Char(',')))
                scales.append(piece.toDouble());
        } else if (args.at(i) == QLatin1String("--repeat") && i + 1 < args.size()) {
            repeat = qMax(1, args.at(++i).toInt());
        } else if (args.at(i) == QLatin1String("--workdir") && i + 1 < args.size()) {
            workDir = args.at(++i);
        } else {
            std::fprintf(stderr, "usage: product-bench [--scales 0.2,1] [--repeat 3] [--workdir DIR]\n");
            return 2;
        }
    }
    std::sort(scales.begin(), scales.end());

    QTimer modalWatch;
    QObject::connect(&modalWatch, &QTimer::timeout, &answerModals);
    modalWatch.start(10);

    for (double scale : scales)
        runScale(scale, repeat, workDir);

    const double small = scales.first();
    const double large = scales.last();
    std::printf("\n| operation | tool ×%g (ms) | tool ×%g (ms) | tool growth | raw ×%g (ms) | raw ×%g (ms) | raw growth | tool / raw at ×%g |\n",
                small, large, small, large, large);
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    auto at = [](const std::map<double, double> &values, double scale) {
        const auto found = values.find(scale);
        return found == values.end() ? 0.0 : found->second;
    };
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    for (const Figure &f : g_figures) {
        const double toolSmall = at(f.tool, small), toolLarge = at(f.tool, large);
        const double rawSmall = at(f.raw, small), rawLarge = at(f.raw, large);
        std::printf("| %s | %.1f | %.1f | ×%.1f | %.1f | %.1f | ×%.1f | %.1f |\n", qPrintable(f.name),
                    toolSmall, toolLarge, ratio(toolLarge, toolSmall), rawSmall, rawLarge,
                    ratio(rawLarge, rawSmall), ratio(toolLarge, rawLarge));
    }
    std::printf("\npeak resident memory: %lld MB\n", static_cast<long long>(peakRssMb()));
    return 0;
}
