// Renders each tab of the main window into a PNG, for the README's screenshots.
//
//   product-screenshots <output folder> [--lang <language>] [--size <width>x<height>]
//
// Opens the product database as the program does (PRODUCT_DB, else Product.mdb in the working
// directory or beside the executable) and writes <output>/<tab>_<language>.png for each of
// the five tabs. Each tab shows its first entries selected, as a user would see after a click.
// Then, on a copy of the database (the original is never written), it pictures what a save
// in a team shows: the Changes view of two new pairs, the question when another user stored
// them meanwhile, and the History window after Overwrite (changes_, conflict_ and
// history_<language>.png).

#include "hchangesdialog.h"
#include "hdatabase.h"
#include "hdbfind.h"
#include "heditorpage.h"
#include "hhistorywindow.h"
#include "mainwindow.h"
#include "translatestring.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QListView>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

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

bool save(QWidget *widget, const QString &file)
{
    if (widget->grab().save(file))
        return true;
    std::fprintf(stderr, "product-screenshots: cannot write %s\n", qPrintable(file));
    return false;
}

// Another user, on a connection of their own, stores every outdoor-indoor pair twice more.
bool everyPairStoredByAnother(const QString &file)
{
    bool ok = false;
    {
        QSqlDatabase other =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("another user"));
        other.setDatabaseName(file);
        QSqlQuery insert(other);
        const QString sql = QStringLiteral(
            "insert into __rule_odu_idu_matching (id_series_odu, id_series_idu) select "
            "a.id_series, b.id_series from __product_series a, __product_series b where "
            "a.product_type = 0 and b.product_type in (1, 11)");
        ok = other.open() && insert.exec(sql) && insert.exec(sql);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("another user"));
    return ok;
}

// The Changes view, the conflict question and the History window, on a copy of the
// database; false when a picture could not be made.
bool teamPictures(const QString &output, const QString &language, const QSize &size)
{
    QTemporaryDir copy;
    const QString file = copy.filePath(QStringLiteral("Product.mdb"));
    QString error;
    if (!copy.isValid() || !QFile::copy(HDbFind::getDb()->fileName(), file)) {
        std::fprintf(stderr, "product-screenshots: cannot copy the database\n");
        return false;
    }
    HDbFind::closeDb();
    HDbFind::setDbFileAndPwd(file, MainWindow::kDatabasePassword);
    if (!HDbFind::open(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    auto path = [&](const char *name) {
        return QDir(output).filePath(
            QStringLiteral("%1_%2.png").arg(QLatin1String(name), language));
    };
    bool ok = true;
    {
        MainWindow window;
        window.showNormal();
        window.resize(size);
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        auto *page = qobject_cast<HEditorPage *>(tabs->widget(0));
        settle();
        selectRow(page, "listView_all_odu", 0);
        auto *idus = page->findChild<QAbstractItemView *>(QStringLiteral("listView_all_idu"));
        auto *matched = page->findChild<QAbstractItemView *>(QStringLiteral("listView_match_idu"));
        QStringList present;
        for (int row = 0; row < matched->model()->rowCount(); ++row)
            present.append(matched->model()->index(row, 0).data().toString());
        // Two indoor series the first outdoor series is not matched with yet.
        for (int row = 0, added = 0; row < idus->model()->rowCount() && added < 2; ++row) {
            const QModelIndex index = idus->model()->index(row, 0);
            if (present.contains(index.data().toString()))
                continue;
            emit idus->doubleClicked(index);
            ++added;
        }
        settle();
        QList<HChangesDialog::Tab> pages;
        for (int i = 0; i < tabs->count(); ++i)
            pages.append({tabs->tabText(i), qobject_cast<HEditorPage *>(tabs->widget(i))});
        {
            HChangesDialog changes(pages, &window);
            changes.show();
            settle();
            ok = save(&changes, path("changes")) && ok;
        }
        ok = everyPairStoredByAnother(file) && ok;
        // The question comes up inside the save: answered from a timer once it shows.
        QTimer answer;
        answer.setInterval(100);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            answer.stop();
            std::fprintf(stderr, "question: %s\n", qPrintable(box->text().left(60)));
            ok = save(box, path("conflict")) && ok;
            box->button(HEditorPage::kOverwrite)->click();
        });
        answer.start();
        QMetaObject::invokeMethod(page, "save");
        settle();
        HHistoryWindow *history = HHistoryWindow::open(&window);
        history->resize(size.width() * 3 / 4, size.height() / 2);
        settle();
        ok = save(history, path("history")) && ok;
        page->discardChanges();
    }
    HDbFind::closeDb();
    return ok;
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
    if (!teamPictures(output, language, size))
        return 1;
    written += 3;
    std::printf("product-screenshots: %d pictures in %s\n", written, qPrintable(output));
    return 0;
}
