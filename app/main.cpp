#include "hdatabase.h"
#include "hdbfind.h"
#include "hmessagebox.h"
#include "mainwindow.h"
#include "translatestring.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The system locale's language, or the one of "--lang zh_CN" / "--lang en".
    const QString language = requestedLanguage(app.arguments());
    if (!installProductTranslator(app, language) && !language.isEmpty())
        std::fprintf(stderr, "No translation for the language %s\n",
                     language.toLocal8Bit().constData());

    // "--database LOCATION" (a file or a postgresql:// URL) stands for PRODUCT_DB.
    const QStringList arguments = app.arguments();
    const int databaseArgument = arguments.indexOf(QStringLiteral("--database"));
    if (databaseArgument > 0 && databaseArgument + 1 < arguments.size())
        qputenv("PRODUCT_DB", arguments.at(databaseArgument + 1).toLocal8Bit());
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
    HDbFind::setDbFileAndPwd(MainWindow::kDatabaseFile, MainWindow::kDatabasePassword);
    QString error;
    if (!HDbFind::open(&error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
            HMessageBox::show(nullptr, QMessageBox::Critical,
                              TranslateString(QStringLiteral("Warning")), error);
        HDbFind::closeDb();
        return 2;
    }

    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
