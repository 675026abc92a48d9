// Times the tool's operations on a generated product range at several sizes, on the range
// as generated (with the indexes of our schema) and on a copy without the indexes of the
// matching tables (as many product databases in the field are), each beside a baseline
// that does the same reads or writes with plain SQL (or a plain file write) in the same run.
// For every operation it also counts the statements run on the product database, those
// that write, and the bytes written to files.
//
//   product-bench [--scales 0.2,1,5] [--repeat 3] [--workdir DIR] [--variants indexed,plain]
//                 [--postgresql URL] [--copy-scales 0.2,1,5]
//
// Where a PostgreSQL server can be had (PGHOST set, or --postgresql naming one: only its
// host, port and user are used), each range is also copied into a database of its own
// there with product-dbcopy's engine (timed, at the --copy-scales) and the same operations
// run on it ("postgresql" variant). The bench creates and drops databases pmbench_* there.
//
// Runs offscreen by itself; the brand schemes go to config/ beside this executable, which is
// where the sale status tab looks for them.

#include "benchreport.h"
#include "demodatabase.h"
#include "hbiff8writer.h"
#include "hdatabase.h"
#include "hdbcopy.h"
#include "hdbfind.h"
#include "hoemmodelexchange.h"
#include "hoduandidumatchingwidget.h"
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
#include <QUrl>
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

BenchReport g_report;

double bestOf(int repeat, const std::function<void()> &work)
{
    return BenchReport::bestOf(repeat, work);
}

// Any modal box the tool raises (it should raise none on success) is answered at once and
// reported, so that a run never hangs.
void answerModals()
{
    if (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            std::fprintf(stderr, "  (message: %s — %s)\n", qPrintable(box->windowTitle()),
                         qPrintable(box->text()));
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
        if (HDatabase::isServerLocation(path)) {
            const QUrl url(path);
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
            if (!url.host().isEmpty())
                db.setHostName(url.host());
            if (url.port() > 0)
                db.setPort(url.port());
            if (!url.userName().isEmpty())
                db.setUserName(url.userName());
            db.setDatabaseName(url.path().mid(1));
            db.open();
            return;
        }
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

template <typename T> T *child(QWidget *parent, const char *name)
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

// The large range at `scale` as generated, and a copy without the indexes of the matching
// tables. Returns the two files.
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

// The server the PostgreSQL variant runs on: host, port and user of a URL (libpq's own
// defaults, PGHOST and the rest, where it names none).
QUrl g_server;

// A URL naming database `name` on the server.
QString serverUrl(const QString &name)
{
    QString authority = g_server.host();
    if (!g_server.userName().isEmpty())
        authority.prepend(g_server.userName() + QLatin1Char('@'));
    if (g_server.port() > 0)
        authority += QLatin1Char(':') + QString::number(g_server.port());
    return QStringLiteral("postgresql://%1/%2").arg(authority, name);
}

// Statements on the server's maintenance database (creating and dropping the bench's own).
bool serverExec(const QString &sql)
{
    RawDb admin(serverUrl(QStringLiteral("postgres")));
    QSqlQuery query(admin.db());
    if (query.exec(sql))
        return true;
    std::fprintf(stderr, "server: %s: %s\n", qPrintable(sql), qPrintable(query.lastError().text()));
    return false;
}

// Copies the range in `file` into a new server database with product-dbcopy's engine;
// returns its URL (empty on failure) and the wall time of the copy.
QString copyToServer(const QString &file, double scale, double *ms)
{
    const QString name = QStringLiteral("pmbench_%1").arg(qRound(scale * 10));
    if (!serverExec(QStringLiteral("drop database if exists %1 with (force)").arg(name)) ||
        !serverExec(QStringLiteral("create database %1").arg(name)))
        return QString();
    const QString url = serverUrl(name);
    HDatabase source;
    HDatabase target;
    if (!source.openDatabase(file, QString()) || !target.openDatabase(url, QString())) {
        std::fprintf(stderr, "copy: %s / %s\n", qPrintable(source.errorString()),
                     qPrintable(target.errorString()));
        return QString();
    }
    HSqlCopySource reader(&source);
    HDbCopy::Report report;
    QString error;
    QElapsedTimer timer;
    timer.start();
    const bool ok = HDbCopy::copy(reader, target, HDbCopy::Options(), &report, &error);
    *ms = timer.nsecsElapsed() / 1e6;
    std::fprintf(
        stderr, "scale %g: copied %lld rows in %d tables to %s in %.1f s (%llu statements)\n",
        scale, static_cast<long long>(report.rows), int(report.tables.size()), qPrintable(url),
        *ms / 1000, static_cast<unsigned long long>(target.statementCount()));
    if (!ok) {
        std::fprintf(stderr, "copy failed: %s\n", qPrintable(error));
        return QString();
    }
    return url;
}

void runScale(double scale, int repeat, const QString &dbPath, const QString &variant,
              const QString &generatedFile = QString())
{
    // The schemes the generator wrote go where the sale status tab looks for them.
    const QString configDir = QCoreApplication::applicationDirPath() + QStringLiteral("/config");
    const QString generated =
        QFileInfo(generatedFile.isEmpty() ? dbPath : generatedFile).absolutePath() +
        QStringLiteral("/../config");
    QDir(configDir).removeRecursively();
    QDir().mkpath(configDir);
    for (const QString &name : QDir(generated).entryList({QStringLiteral("*.json")}, QDir::Files))
        QFile::copy(generated + QLatin1Char('/') + name, configDir + QLatin1Char('/') + name);
    QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/log")).removeRecursively();
    std::fprintf(stderr, "scale %g, %s: timing ...\n", scale, qPrintable(variant));
    HDbFind::closeDb();
    qputenv("PRODUCT_DB", dbPath.toLocal8Bit());
    RawDb raw(dbPath);
    auto tool = [&](const QString &operation, const std::function<void()> &work,
                    const std::function<void()> &prepare = {}, int times = 0) {
        g_report.tool(operation, variant, scale,
                      BenchReport::measure(times > 0 ? times : repeat, dbPath, work, prepare));
    };
    auto raw_ = [&](const QString &operation, const std::function<void()> &work) {
        g_report.raw(operation, variant, scale, bestOf(repeat, work));
    };

    // 1. The main window: every tab reads what it shows.
    MainWindow *window = nullptr;
    // Each run starts from a closed window and database; the closing is not timed here.
    tool(
        QStringLiteral("open main window"), [&] { window = new MainWindow; },
        [&] {
            delete window;
            window = nullptr;
            HDbFind::closeDb();
            QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/log"))
                .removeRecursively();
        });
    const QString firstScheme =
        QDir(configDir).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name).value(0);
    raw_(QStringLiteral("open main window"), [&] {
        // The sale status tab shows the first brand scheme: read and parse it too.
        QFile scheme(configDir + QLatin1Char('/') + firstScheme);
        scheme.open(QIODevice::ReadOnly);
        QJsonDocument::fromJson(scheme.readAll());
        raw.selectAll(QStringLiteral("select * from __product_series"));
        raw.selectAll(QStringLiteral(
            "select i.*, s.table_name from __product_idx i left join __product_series s "
            "on s.id_series = i.id_series where i.product_type in (2, 10)"));
        raw.selectAll(QStringLiteral("select * from __rule_odu_idu_matching"));
        raw.selectAll(QStringLiteral("select * from __rule_odu_acc_matching"));
        raw.selectAll(QStringLiteral("select * from __rule_unit_acc_controller_matching"));
        raw.selectAll(QStringLiteral("select * from __rule_connect_ratio"));
        raw.selectAll(QStringLiteral("select * from __product_idx"));
    });

    // 2. OK's fan-out, with no edit, and with one matching pair added or removed.
    tool(QStringLiteral("OK: no edit"), [&] { emit window->save(); });
    {
        auto *tabs = child<QTabWidget>(window, "tabWidget");
        auto *odu = tabs ? qobject_cast<HOduAndIduMatchingWidget *>(tabs->widget(0)) : nullptr;
        auto *oduList = odu ? child<QAbstractItemView>(odu, "listView_all_odu") : nullptr;
        auto *iduList = odu ? child<QAbstractItemView>(odu, "listView_all_idu") : nullptr;
        auto *matched = odu ? child<QAbstractItemView>(odu, "listView_match_idu") : nullptr;
        if (oduList && iduList && matched && oduList->model() && iduList->model() &&
            oduList->model()->rowCount() > 0) {
            oduList->setCurrentIndex(oduList->model()->index(0, 0));
            odu->on_listView_all_odu_clicked(oduList->currentIndex());
            // An indoor series the first outdoor series is not matched to yet.
            int free = -1;
            for (int row = 0; row < iduList->model()->rowCount() && free < 0; ++row) {
                const QString label = iduList->model()->index(row, 0).data().toString();
                bool taken = false;
                for (int m = 0; matched->model() && m < matched->model()->rowCount(); ++m)
                    taken = taken || matched->model()->index(m, 0).data() == label;
                if (!taken)
                    free = row;
            }
            bool added = false;
            tool(
                QStringLiteral("OK: one edit"), [&] { emit window->save(); },
                [&] {
                    if (!added)
                        odu->on_listView_all_idu_doubleClicked(iduList->model()->index(free, 0));
                    else
                        odu->on_listView_match_idu_doubleClicked(
                            matched->model()->index(matched->model()->rowCount() - 1, 0));
                    added = !added;
                });
            int pairs = 0;
            raw_(QStringLiteral("OK: one edit"), [&] {
                QSqlDatabase db = raw.db();
                db.transaction();
                QSqlQuery write(db);
                if (pairs++ % 2 == 0)
                    write.exec(
                        QStringLiteral("insert into __rule_odu_idu_matching values (-1, -1)"));
                else
                    write.exec(QStringLiteral("delete from __rule_odu_idu_matching where "
                                              "id_series_odu = -1 and id_series_idu = -1"));
                db.commit();
            });
            if (pairs % 2 == 1)
                QSqlQuery(raw.db()).exec(QStringLiteral("delete from __rule_odu_idu_matching "
                                                        "where id_series_odu = -1"));
        }
    }

    // 3. The sale status tab.
    auto *tabs = child<QTabWidget>(window, "tabWidget");
    QWidget *sale = tabs ? tabs->widget(4) : nullptr;
    auto *series = sale ? child<QTableWidget>(sale, "tableWidget_Series") : nullptr;
    auto *models = sale ? child<QTableWidget>(sale, "tableWidget_Idx") : nullptr;
    auto *types = sale ? child<QComboBox>(sale, "comboBox_ProductType") : nullptr;
    auto *schemes = sale ? child<QComboBox>(sale, "comboBox_scheme") : nullptr;
    if (sale && series && models && types && schemes && series->rowCount() > 0) {
        // The first click after a load fills the model table (one row per model of the
        // scheme); later clicks touch the rows of two series.
        tool(
            QStringLiteral("sale: first click after a load"),
            [&] {
                QMetaObject::invokeMethod(sale, "clickCell_Series", Q_ARG(int, 0), Q_ARG(int, 0));
            },
            {}, 1);
        int nextRow = 1;
        tool(QStringLiteral("sale: click a series row"), [&] {
            QMetaObject::invokeMethod(sale, "clickCell_Series", Q_ARG(int, nextRow), Q_ARG(int, 0));
            nextRow = nextRow == 1 ? 0 : 1;
        });
        // The rows of one series, as a query by series reads them.
        const QString firstSeries = series->item(0, 0) ? series->item(0, 0)->text() : QString();
        raw_(QStringLiteral("sale: click a series row"), [&] {
            raw.selectAll(QStringLiteral("select * from __product_idx where id_series = %1")
                              .arg(firstSeries.toInt()));
        });
        int nextType = 1;
        tool(QStringLiteral("sale: switch product type"), [&] {
            types->setCurrentIndex(nextType);
            nextType = nextType == 1 ? 0 : 1;
        });
        raw_(QStringLiteral("sale: switch product type"), [&] {
            raw.selectAll(QStringLiteral("select * from __product_series where product_type = 1"));
        });
        const QString schemePath = configDir + QLatin1Char('/') + schemes->currentText();
        tool(QStringLiteral("sale: Save to scheme"), [&] { click(sale, "pushButton_Save"); });
        raw_(QStringLiteral("sale: Save to scheme"), [&] {
            QFile in(schemePath);
            in.open(QIODevice::ReadOnly);
            const QJsonDocument doc = QJsonDocument::fromJson(in.readAll());
            QSaveFile out(configDir + QStringLiteral("/raw-copy.bin"));
            out.open(QIODevice::WriteOnly);
            out.write(doc.toJson(QJsonDocument::Indented));
            out.commit();
        });
        QFile::remove(configDir + QStringLiteral("/raw-copy.bin"));
        // The generated schemes differ from the database: the first save writes those rows.
        click(sale, "pushButton_SaveDb");
        tool(QStringLiteral("sale: Save to Db, no edit"),
             [&] { click(sale, "pushButton_SaveDb"); });
        tool(
            QStringLiteral("sale: Save to Db, one edit"), [&] { click(sale, "pushButton_SaveDb"); },
            [&] {
                QTableWidgetItem *flag = series->item(0, 2);
                if (flag)
                    flag->setCheckState(flag->checkState() == Qt::Checked ? Qt::Unchecked
                                                                          : Qt::Checked);
            });
        // What the save reads to know what changed, and one update.
        raw_(QStringLiteral("sale: Save to Db, one edit"), [&] {
            QSqlDatabase db = raw.db();
            db.transaction();
            raw.selectAll(QStringLiteral("select id_series, is_not_for_sale, is_user_skip, "
                                         "model_string from __product_series"));
            raw.selectAll(QStringLiteral("select product_code, is_not_for_sale, is_user_skip "
                                         "from __product_idx"));
            QSqlQuery update(db);
            update.exec(QStringLiteral("update __product_series set is_user_skip = "
                                       "is_user_skip where id_series = %1")
                            .arg(firstSeries.toInt()));
            db.commit();
        });
        // The edits above are saved first, so that each load replaces a saved scheme and
        // nothing asks.
        QMetaObject::invokeMethod(sale, "save");
        int nextScheme = 1;
        tool(QStringLiteral("sale: load a scheme"), [&] {
            schemes->setCurrentIndex(nextScheme % schemes->count());
            ++nextScheme;
        });
        raw_(QStringLiteral("sale: load a scheme"), [&] {
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
            tool(exportName, [&] {
                QString exportError;
                if (!HOemModelExchange::exportRows(models, path, templatePath, &exportError)) {
                    ok = false;
                    std::fprintf(stderr, "  export failed: %s\n", qPrintable(exportError));
                }
            });
            tool(importName, [&] {
                QString importError;
                if (ok && !HOemModelExchange::importRows(models, path, &importError))
                    std::fprintf(stderr, "  import failed: %s\n", qPrintable(importError));
            });
            raw_(exportName, [&] {
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
            raw_(importName, [&] {
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
    tool(
        QStringLiteral("close main window, after the edits"),
        [&] {
            delete window;
            window = nullptr;
        },
        {}, 1);
    // Opened again and closed with no edit: nothing needs writing.
    window = new MainWindow;
    tool(
        QStringLiteral("close main window, no edit"),
        [&] {
            delete window;
            window = nullptr;
        },
        {}, 1);
    raw_(QStringLiteral("close main window, after the edits"), [&] {
        QJsonArray rows;
        QSqlQuery query(raw.db());
        query.setForwardOnly(true);
        query.exec(QStringLiteral("select * from __rule_odu_idu_matching"));
        while (query.next())
            rows.append(QJsonObject{{QStringLiteral("odu"), query.value(0).toInt()},
                                    {QStringLiteral("idu"), query.value(1).toInt()}});
        query.exec(QStringLiteral("select * from __product_idx"));
        while (query.next())
            rows.append(QJsonObject{{QStringLiteral("product_code"), query.value(0).toString()},
                                    {QStringLiteral("model"), query.value(3).toString()}});
        QSaveFile out(QCoreApplication::applicationDirPath() +
                      QStringLiteral("/log/raw-snapshot.json"));
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
    QList<double> scales = {0.2, 1.0, 5.0};
    QList<double> copyScales;
    QStringList variants = {QStringLiteral("indexed"), QStringLiteral("plain"),
                            QStringLiteral("postgresql")};
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
        } else if (args.at(i) == QLatin1String("--variants") && i + 1 < args.size()) {
            variants = args.at(++i).split(QLatin1Char(','));
        } else if (args.at(i) == QLatin1String("--postgresql") && i + 1 < args.size()) {
            g_server = QUrl(args.at(++i));
        } else if (args.at(i) == QLatin1String("--copy-scales") && i + 1 < args.size()) {
            for (const QString &piece : args.at(++i).split(QLatin1Char(',')))
                copyScales.append(piece.toDouble());
        } else {
            std::fprintf(stderr, "usage: product-bench [--scales 0.2,1,5] [--repeat 3] "
                                 "[--workdir DIR] [--variants indexed,plain,postgresql] "
                                 "[--postgresql URL] [--copy-scales 0.2,1,5]\n");
            return 2;
        }
    }
    if (g_server.isEmpty() && !qEnvironmentVariableIsEmpty("PGHOST"))
        g_server = QUrl(QStringLiteral("postgresql://"));
    const bool server = !g_server.isEmpty() && variants.contains(QLatin1String("postgresql"));
    if (copyScales.isEmpty())
        copyScales = scales;
    std::map<double, double> copyMs;
    std::sort(scales.begin(), scales.end());

    QTimer modalWatch;
    QObject::connect(&modalWatch, &QTimer::timeout, &answerModals);
    modalWatch.start(10);

    QList<double> all = scales;
    for (double scale : qAsConst(copyScales)) {
        if (server && !all.contains(scale))
            all.append(scale);
    }
    std::sort(all.begin(), all.end());
    for (double scale : qAsConst(all)) {
        const QStringList files = generate(scale, workDir);
        const bool timed = scales.contains(scale);
        if (timed && variants.contains(QLatin1String("indexed")))
            runScale(scale, repeat, files.at(0), QStringLiteral("With the indexes of our schema"));
        if (timed && variants.contains(QLatin1String("plain")))
            runScale(scale, repeat, files.at(1),
                     QStringLiteral("Without indexes on the matching tables"));
        if (server && (timed || copyScales.contains(scale))) {
            double ms = 0;
            const QString url = copyToServer(files.at(0), scale, &ms);
            if (!url.isEmpty())
                copyMs[scale] = ms;
            if (!url.isEmpty() && timed)
                runScale(scale, repeat, url, QStringLiteral("PostgreSQL over the loopback"),
                         files.at(0));
            HDbFind::closeDb();
            serverExec(QStringLiteral("drop database if exists pmbench_%1 with (force)")
                           .arg(qRound(scale * 10)));
        }
    }
    g_report.print(scales);
    if (!copyMs.empty()) {
        std::printf(
            "\n### product-dbcopy engine, SQLite -> PostgreSQL\n\n| scale | time |\n|---|---|\n");
        for (const auto &entry : copyMs)
            std::printf("| x%g | %.1f s |\n", entry.first, entry.second / 1000);
    }
    std::printf("\npeak resident memory: %lld MB\n", static_cast<long long>(peakRssMb()));
    return 0;
}
