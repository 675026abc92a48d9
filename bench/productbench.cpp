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
#include "benchsteps.h"
#include "hdbfind.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>

using namespace Bench;

namespace {

BenchReport g_report;

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
            runScale(g_report, scale, repeat, files.at(0),
                     QStringLiteral("With the indexes of our schema"));
        if (timed && variants.contains(QLatin1String("plain")))
            runScale(g_report, scale, repeat, files.at(1),
                     QStringLiteral("Without indexes on the matching tables"));
        if (server && (timed || copyScales.contains(scale))) {
            double ms = 0;
            const QString url = copyToServer(files.at(0), scale, &ms);
            if (!url.isEmpty())
                copyMs[scale] = ms;
            if (!url.isEmpty() && timed)
                runScale(g_report, scale, repeat, url,
                         QStringLiteral("PostgreSQL over the loopback"), files.at(0));
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
