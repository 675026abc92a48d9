#include "benchreport.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hsafefile.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace {

// The shared handle's counts, or zero while it is closed (opening the window opens it).
std::pair<quint64, quint64> counts()
{
    if (!HDbFind::isOpen())
        return {0, 0};
    const HDatabase *db = HDbFind::getDb();
    return {db->statementCount(), db->writeStatementCount()};
}

QString stamp(const QString &path)
{
    const QFileInfo info(path);
    return QString::number(info.size()) + QLatin1Char('/') +
           QString::number(info.lastModified().toMSecsSinceEpoch());
}

} // namespace

double BenchReport::bestOf(int repeat, const std::function<void()> &work)
{
    double best = 1e300;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

BenchMeasure BenchReport::measure(int repeat, const QString &database,
                                  const std::function<void()> &work,
                                  const std::function<void()> &prepare)
{
    BenchMeasure result;
    result.ms = 1e300;
    for (int i = 0; i < repeat; ++i) {
        if (prepare)
            prepare();
        const auto before = counts();
        const qint64 bytes = HSafeFile::totalBytesCommitted();
        const QString file = stamp(database);
        QElapsedTimer timer;
        timer.start();
        work();
        result.ms = std::min(result.ms, timer.nsecsElapsed() / 1e6);
        // The counts are those of the last run: the first save of a database also creates
        // the history table, which later saves find in place.
        if (i == repeat - 1) {
            const auto after = counts();
            // A window opened by the work starts its counts at zero.
            result.statements =
                after.first >= before.first ? after.first - before.first : after.first;
            result.writes =
                after.second >= before.second ? after.second - before.second : after.second;
            result.bytes = HSafeFile::totalBytesCommitted() - bytes;
            result.databaseChanged = stamp(database) != file;
        }
    }
    return result;
}

BenchReport::Figure &BenchReport::figure(const QString &operation, const QString &variant)
{
    for (Figure &f : m_figures) {
        if (f.operation == operation && f.variant == variant)
            return f;
    }
    m_figures.push_back(Figure{operation, variant, {}, {}});
    return m_figures.back();
}

void BenchReport::tool(const QString &operation, const QString &variant, double scale,
                       const BenchMeasure &measure)
{
    figure(operation, variant).tool[scale] = measure;
}

void BenchReport::raw(const QString &operation, const QString &variant, double scale, double ms)
{
    figure(operation, variant).raw[scale] = ms;
}

void BenchReport::print(const QList<double> &scales) const
{
    if (scales.isEmpty())
        return;
    const double large = scales.last();
    QStringList variants;
    for (const Figure &f : m_figures) {
        if (!variants.contains(f.variant))
            variants.append(f.variant);
    }
    for (const QString &variant : qAsConst(variants)) {
        std::printf("\n%s (times in ms; counts, estimate and bytes at ×%g)\n\n",
                    qPrintable(variant), large);
        QString header = QStringLiteral("| operation |");
        QString rule = QStringLiteral("|---|");
        for (int i = 0; i < scales.size(); ++i) {
            header += QStringLiteral(" ×%1 |").arg(scales.at(i));
            rule += QStringLiteral("---:|");
            if (i > 0) {
                header += QStringLiteral(" growth |");
                rule += QStringLiteral("---:|");
            }
        }
        header += QStringLiteral(" raw | tool / raw | statements | writes | remote est. | bytes "
                                 "written |");
        rule += QStringLiteral("---:|---:|---:|---:|---:|---:|");
        std::printf("%s\n%s\n", qPrintable(header), qPrintable(rule));
        for (const Figure &f : m_figures) {
            if (f.variant != variant)
                continue;
            QString line = QStringLiteral("| %1 |").arg(f.operation);
            double previous = 0;
            for (int i = 0; i < scales.size(); ++i) {
                const auto found = f.tool.find(scales.at(i));
                const double ms = found == f.tool.end() ? 0 : found->second.ms;
                line += QStringLiteral(" %1 |").arg(ms, 0, 'f', 1);
                if (i > 0)
                    line += previous > 0 ? QStringLiteral(" ×%1 |").arg(ms / previous, 0, 'f', 1)
                                         : QStringLiteral(" – |");
                previous = ms;
            }
            const auto top = f.tool.find(large);
            const BenchMeasure m = top == f.tool.end() ? BenchMeasure{} : top->second;
            const auto raw = f.raw.find(large);
            if (raw == f.raw.end())
                line += QStringLiteral(" – | – |");
            else
                line += QStringLiteral(" %1 | %2 |")
                            .arg(raw->second, 0, 'f', 1)
                            .arg(raw->second > 0 ? m.ms / raw->second : 0, 0, 'f', 1);
            line += QStringLiteral(" %1 | %2 | %3 ms | %4%5 |")
                        .arg(m.statements)
                        .arg(m.writes)
                        .arg(m.statements * 0.25, 0, 'f', 0)
                        .arg(m.bytes)
                        .arg(m.databaseChanged ? QStringLiteral(" + database") : QString());
            std::printf("%s\n", qPrintable(line));
        }
    }
}
