#include "hdatabase.h"
#include "hdbfind.h"
#include "mainwindow.h"
#include "translatestring.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("ProductMaintainer"));
    QCoreApplication::setApplicationName(QStringLiteral("product-maintainer"));
    // The system locale's language, or the one of "--lang zh_CN" / "--lang en".
    const QString language = requestedLanguage(app.arguments());
    if (!installProductTranslator(app, language) && !language.isEmpty())
        std::fprintf(stderr, "No translation for the language %s\n",
                     language.toLocal8Bit().constData());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        TranslateString(QStringLiteral("Maintains the product database of the selection tool.")));
    parser.addHelpOption();
    const QCommandLineOption database(
        QStringLiteral("database"),
        TranslateString(QStringLiteral(
            "The product database to open (a file or a postgresql:// URL; else the one named by "
            "PRODUCT_DB, else Product.mdb in the working folder or "
            "beside the program).")),
        TranslateString(QStringLiteral("path")));
    parser.addOption(database);
    // Read above, before any text is shown; listed so that the parser accepts it.
    parser.addOption(
        QCommandLineOption(QStringLiteral("lang"),
                           TranslateString(QStringLiteral(
                               "The language of the window (zh_CN, en); else the system's.")),
                           TranslateString(QStringLiteral("language"))));
    parser.process(app);

    // A file named on the command line is taken as it is; otherwise HDbFind looks for the
    // default name (PRODUCT_DB first).
    // A server URL is taken as it is too.
    const QString named = parser.value(database);
    const QString file = !parser.isSet(database) ? MainWindow::kDatabaseFile
                         : HDatabase::isServerLocation(named)
                             ? named
                             : QDir::cleanPath(QDir::current().absoluteFilePath(named));
    HDbFind::setDbFileAndPwd(file, MainWindow::kDatabasePassword);
    // The server's password, when libpq found none, is asked for and kept in memory only.
    HDatabase::setPasswordPrompt([](const QString &location, QString *password) {
        bool ok = false;
        *password =
            QInputDialog::getText(nullptr, TranslateString(QStringLiteral("Database password")),
                                  TranslateString(QStringLiteral("Password for %1:")).arg(location),
                                  QLineEdit::Password, QString(), &ok);
        return ok;
    });

    // An empty window would look like an empty product range: refuse to start instead,
    // and say why both on screen and on standard error (headless runs see the latter).
    QString error;
    if (!HDbFind::open(&error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        const QString platform = QGuiApplication::platformName();
        const bool display =
            platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
        if (!display || !MainWindow::chooseDatabaseAfterError(error)) {
            HDbFind::closeDb();
            return 2;
        }
    }

    MainWindow::rememberDatabase(HDbFind::getDb()->fileName());
    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
