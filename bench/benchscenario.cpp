// product-bench's scenario: at one size and on one database variant, the tool's operations
// (opening the main window, OK, the sale status tab, the Excel exchange, closing), each
// timed beside a baseline doing the same reads or writes with plain SQL or a plain file.
#include "benchsteps.h"

#include "benchreport.h"
#include "hbiff8writer.h"
#include "hdbfind.h"
#include "hoemmodelexchange.h"
#include "hoduandidumatchingwidget.h"
#include "mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QVector>

#include <functional>

namespace Bench {

void runScale(BenchReport &report, double scale, int repeat, const QString &dbPath,
              const QString &variant, const QString &generatedFile)
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
        report.tool(operation, variant, scale,
                    BenchReport::measure(times > 0 ? times : repeat, dbPath, work, prepare));
    };
    auto raw_ = [&](const QString &operation, const std::function<void()> &work) {
        report.raw(operation, variant, scale, BenchReport::bestOf(repeat, work));
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
        // QuaZip unpacking every part with Qt's XML stream reader reading every cell text
        // (.xlsx in).
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
                    readXlsxAlone(path);
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

} // namespace Bench
