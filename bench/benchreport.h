#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <utility>
#include <vector>

class QTableWidget;

// What one operation cost: the best time of the repeats, and for one run the statements it
// ran on the product database (all, and those that write), the bytes it wrote to files, and
// whether the database file changed.
struct BenchMeasure
{
    double ms = 0;
    quint64 statements = 0;
    quint64 writes = 0;
    qint64 bytes = 0;
    bool databaseChanged = false;
};

// The figures of a run, by operation, database variant and size; printed as one Markdown
// table per variant.
class BenchReport
{
public:
    // Runs `work` `repeat` times (after `prepare`, untimed, before each run) and records the
    // best time and the counts of the first run. `database` is the product database file.
    static BenchMeasure measure(int repeat, const QString &database,
                                const std::function<void()> &work,
                                const std::function<void()> &prepare = {});
    // The best time of `repeat` runs.
    static double bestOf(int repeat, const std::function<void()> &work);

    void tool(const QString &operation, const QString &variant, double scale,
              const BenchMeasure &measure);
    void raw(const QString &operation, const QString &variant, double scale, double ms);

    // One table per variant: time at every size, growth between neighbouring sizes, the raw
    // baseline at the largest size and the ratio, statements, writes, the estimate for a
    // remote database (statements × 0.25 ms) and bytes written, at the largest size.
    void print(const QList<double> &scales) const;

private:
    struct Figure
    {
        QString operation;
        QString variant;
        std::map<double, BenchMeasure> tool;
        std::map<double, double> raw;
    };
    Figure &figure(const QString &operation, const QString &variant);

    std::vector<Figure> m_figures;
};
