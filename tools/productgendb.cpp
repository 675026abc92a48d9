// Writes a product database (and brand schemes) for the demo, tests and benchmarks.
//
//   product-gendb <database> [--config <folder>] [--scale <factor>]
//
// Without --scale the small demo range is written; --scale 1 writes the large range
// (about 2,000 series and 50,000 models), --scale 0.2 a fifth of it.

#include "demodatabase.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString database;
    QString config;
    double scale = -1;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--config") && i + 1 < args.size()) {
            config = args.at(++i);
        } else if (arg == QLatin1String("--scale") && i + 1 < args.size()) {
            bool ok = false;
            scale = args.at(++i).toDouble(&ok);
            if (!ok || scale <= 0) {
                std::fprintf(stderr, "product-gendb: --scale needs a positive number\n");
                return 2;
            }
        } else if (!arg.startsWith(QLatin1String("--")) && database.isEmpty()) {
            database = arg;
        } else {
            std::fprintf(stderr, "usage: product-gendb <database> [--config <folder>] [--scale <factor>]\n");
            return 2;
        }
    }
    if (database.isEmpty()) {
        std::fprintf(stderr, "usage: product-gendb <database> [--config <folder>] [--scale <factor>]\n");
        return 2;
    }
    QString error;
    const bool ok = scale < 0
                        ? DemoDatabase::writeDemo(database, config, &error)
                        : DemoDatabase::writeLarge(database, config, DemoDatabase::Counts::scaled(scale), &error);
    if (!ok) {
        std::fprintf(stderr, "product-gendb: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
