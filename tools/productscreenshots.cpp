// Renders each tab of the main window into a PNG, for the README's screenshots.
//
//   product-screenshots <output folder> [--lang <language>] [--size <width>x<height>]
//
// Opens the product database as the program does (PRODUCT_DB, else Product.mdb in the working
// directory or beside the executable) and writes <output>/<tab>_<language>.png for each of
// the five tabs. Each tab shows its first entries selected, as a user would see after a click.

#include "hdbfind.h"
#include "mainwindow.h"
#include "translatestring.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QListView>
#include <QPixmap>
#include <QTabWidget>
#include <QTableWidget>

#include <cstdio>

namespace {

// Selects row `row` of a view the way a click does (current index and selection), so that
// the views that follow it fill in.
void selectRow(QWidget *page, const char *name, int row)
{
    auto *view = page->findChild<QAbstractItemView *>(QLatin1String(name));
    if (!view || !view->model() || view->model()->rowCount() <= row)
        return;
    const QModelIndex index = view->model()->index(row, 0);
    view->setCurrentIndex(index);
    emit view->clicked(index);
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString output;
    QString language = requestedLanguage(app.arguments());
    QSize size(1600, 800); // wide enough for the widest tab in English
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--lang")) {
            ++i;
        } else if (arg == QLatin1String("--size") && i + 1 < args.size()) {
            const QStringList parts = args.at(++i).split(QLatin1Char('x'));
            if (parts.size() == 2)
                size = QSize(parts.at(0).toInt(), parts.at(1).toInt());
        } else if (!arg.startsWith(QLatin1String("--")) && output.isEmpty()) {
            output = arg;
        }
    }
    if (output.isEmpty() || size.isEmpty()) {
        std::fprintf(stderr, "usage: product-screenshots <output folder> [--lang <language>] "
                             "[--size <width>x<height>]\n");
        return 2;
    }
    if (language.isEmpty())
        language = QStringLiteral("en");
    if (!installProductTranslator(app, language)) {
        std::fprintf(stderr, "product-screenshots: no translation for %s\n", qPrintable(language));
        return 1;
    }

    HDbFind::setDbFileAndPwd(MainWindow::kDatabaseFile, MainWindow::kDatabasePassword);
    QString error;
    if (!HDbFind::open(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    QDir().mkpath(output);

    const QStringList names = {QStringLiteral("odu-idu-matching"),
                               QStringLiteral("accessory-matching"), QStringLiteral("rules"),
                               QStringLiteral("rule-tables"), QStringLiteral("sale-status")};
    int written = 0;
    {
        MainWindow window;
        window.showNormal();
        window.resize(size);
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        if (!tabs || tabs->count() != names.size()) {
            std::fprintf(stderr, "product-screenshots: the window does not hold five tabs\n");
            return 1;
        }
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            QWidget *page = tabs->widget(i);
            settle();
            selectRow(page, "listView_all_odu", 0);
            selectRow(page, "listView_all_series", 1); // the first demo series has none
            selectRow(page, "tableWidget_Series", 0);
            settle();
            const QString file =
                QDir(output).filePath(QStringLiteral("%1_%2.png").arg(names.at(i), language));
            if (!window.grab().save(file)) {
                std::fprintf(stderr, "product-screenshots: cannot write %s\n", qPrintable(file));
                return 1;
            }
            ++written;
        }
    }
    HDbFind::closeDb();
    std::printf("product-screenshots: %d pictures in %s\n", written, qPrintable(output));
    return 0;
}
