#include "hdbfind.h"
#include "hmessagebox.h"
#include "mainwindow.h"
#include "translatestring.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The system locale's language, or the one of "--lang zh_CN" / "--lang en".
    const QString language = requestedLanguage(app.arguments());
    if (!installProductTranslator(app, language) && !language.isEmpty())
        std::fprintf(stderr, "No translation for the language %s\n",
                     language.toLocal8Bit().constData());

    // An empty window would look like an empty product range: refuse to start instead,
    // and say why both on screen and on standard error (headless runs see the latter).
    HDbFind::setDbFileAndPwd(MainWindow::kDatabaseFile, MainWindow::kDatabasePassword);
    QString error;
    if (!HDbFind::open(&error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
            HMessageBox::show(nullptr, QMessageBox::Critical, TranslateString(QStringLiteral("Warning")),
                              error);
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
