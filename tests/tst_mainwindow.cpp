#include "testhelpers.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "heditorpage.h"
#include "mainwindow.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <cstdio>

using namespace TestHelpers;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void windowTabsAndMarkers();
    void closingAndSaving_data();
    void closingAndSaving();
    void closingWarnsOfSnapshots();
    void snapshotsIgnoreRowOrder();
    void openDatabase_data();
    void openDatabase();
    void openDatabaseFromMenus();
    void startUpOffersAnotherDatabase();
    void destructionClosesTheDatabase();
    void twoUsers_data();
    void twoUsers();

private:
    QString productDb(const QString &name, const QString &odu, const QStringList &more = {});
    // Runs this executable as a second user on m_db (see secondUser()); its exit code.
    int runSecondUser(const QString &odu, QString *output);

    QTemporaryDir m_dir;
    QString m_db;
};

namespace {

const QStringList kLabels = {"ODU And IDU Matching", "ODU/IDU And Accessory Matching",
                             "Select Rule", "All rule table", "Set product sales status"};
const QString kDash = QString::fromUtf8(" \u2014 ");
const char kPairs[] = "select id_series_odu || '|' || id_series_idu from __rule_odu_idu_matching";

// The main window as the tests drive it.
struct Window
{
    MainWindow window;
    QTabWidget *tabs = window.findChild<QTabWidget *>("tabWidget");

    HEditorPage *page(int index) const { return qobject_cast<HEditorPage *>(tabs->widget(index)); }
    QLabel *label(const char *name) const { return window.findChild<QLabel *>(name); }
    QPushButton *button(QDialogButtonBox::StandardButton which) const
    {
        return window.findChild<QDialogButtonBox *>("buttonBox")->button(which);
    }
    QStringList odus() const
    {
        return rowTexts(tabs->widget(0)->findChild<QListView *>("listView_all_odu"));
    }
    // A real edit on the first tab (IDU B matched to ODU A), and the tab marked as holding it.
    void editFirstTab() const
    {
        doubleClickRow(tabs->widget(0)->findChild<QListView *>("listView_all_idu"), 0);
        page(0)->setProperty("modified", true);
    }
    // A real edit on the sale status tab: the first series' "not for sale" flips.
    static void editSaleStatus(QWidget *page)
    {
        auto *series = page->findChild<QTableWidget *>("tableWidget_Series");
        QTableWidgetItem *flag = series ? series->item(0, 2) : nullptr;
        QVERIFY(flag);
        flag->setCheckState(flag->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
};

// A second user in a process of its own: with PM_SECOND_USER naming an outdoor series, this
// executable opens the main window on PRODUCT_DB, pairs that series (the entry starting with
// the name) with the first indoor series through the real widgets, presses OK, and exits 0
// when the window closed without any message box.
int secondUser(const QString &odu)
{
    QCoreApplication::setOrganizationName(QStringLiteral("pm-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_mainwindow_second_user"));
    QTemporaryDir settings; // nothing of this user's settings outlives it
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    ModalAnswerer answerer;
    int result = 0;
    {
        Window w;
        w.window.show();
        const int row =
            w.odus().indexOf(QRegularExpression("^" + QRegularExpression::escape(odu) + "-.*"));
        clickRow(w.tabs->widget(0)->findChild<QListView *>("listView_all_odu"), row);
        doubleClickRow(w.tabs->widget(0)->findChild<QListView *>("listView_all_idu"), 0);
        if (row < 0 || !w.page(0)->isModified())
            return 3;
        QTest::mouseClick(w.button(QDialogButtonBox::Ok), Qt::LeftButton);
        if (w.window.isVisible())
            result = 4;
    }
    if (answerer.count() > 0) {
        std::fprintf(stderr, "boxes: %s\n", qPrintable(answerer.texts().join(" / ")));
        result = 5;
    }
    return result;
}

} // namespace

int TestMainWindow::runSecondUser(const QString &odu, QString *output)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("PRODUCT_DB", databaseLocation(m_db));
    environment.insert("PM_SECOND_USER", odu);
    environment.insert("USER", "second-user");
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QCoreApplication::applicationFilePath(), QStringList());
    const bool finished = process.waitForFinished(60000);
    *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void TestMainWindow::initTestCase()
{
    PM_REQUIRE_BACKEND();
    QVERIFY(m_dir.isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("pm-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_mainwindow"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("settings"));
}

QString TestMainWindow::productDb(const QString &name, const QString &odu, const QStringList &more)
{
    const QString path = m_dir.filePath(name);
    const QString series = QStringLiteral(
        "insert into __product_series (id_series, product_type, product_series, category, "
        "sub_catalog) values (1, 0, '%1', 'VRF', 'Heat pump'), (2, 1, 'IDU B', 'IDU', 'Duct')");
    return createProductDb(path, QStringList{series.arg(odu)} + more) ? path : QString();
}

void TestMainWindow::init()
{
    QSettings().clear();
    cleanAppFolders();
    m_db = productDb("Product.mdb", "ODU A");
    QVERIFY(!m_db.isEmpty());
    useProductDb(m_db);
}

void TestMainWindow::cleanup()
{
    HDbFind::closeDb();
    // A database chosen in the window is named by its path; the next test names its own.
    HDbFind::setDbFileAndPwd(MainWindow::kDatabaseFile, MainWindow::kDatabasePassword);
    cleanAppFolders();
    QFile::remove(appFolder(QStringLiteral("log"))); // a file left in its place
}

void TestMainWindow::windowTabsAndMarkers()
{
    Window w;
    QStringList texts;
    for (int i = 0; i < w.tabs->count(); ++i) {
        texts << w.tabs->tabText(i);
        QVERIFY(w.page(i));
    }
    QCOMPARE(texts, kLabels);
    // The file's name, or the server database's.
    const QString location = databaseLocation(m_db);
    const QString title = "Product Maintainer" + kDash + QFileInfo(location).fileName();
    QCOMPARE(w.window.windowTitle(), title);
    QVERIFY(w.window.windowState() & Qt::WindowMaximized);
    const QString where = w.label("label_database")->text();
    const QString backEnd = onPostgreSql() ? "(PostgreSQL)" : "(SQLite)";
    QVERIFY2(where.contains(QDir::toNativeSeparators(location)) && where.endsWith(backEnd),
             qPrintable(where));

    // A '*' on a tab while it holds unsaved work, and on the window while any tab does.
    for (int i = 0; i < w.tabs->count(); ++i) {
        w.page(i)->setProperty("modified", true);
        QCOMPARE(w.tabs->tabText(i), kLabels.at(i) + "*");
        QCOMPARE(w.window.windowTitle(), title + "*");
        w.page((i + 1) % 5)->setProperty("modified", true);
        w.page(i)->setProperty("modified", false);
        QCOMPARE(w.tabs->tabText(i), kLabels.at(i));
        QCOMPARE(w.window.windowTitle(), title + "*");
        w.page((i + 1) % 5)->setProperty("modified", false);
        QCOMPARE(w.window.windowTitle(), title);
    }

    // Every button and action says what it does.
    for (QDialogButtonBox::StandardButton which : {QDialogButtonBox::Ok, QDialogButtonBox::Cancel})
        QVERIFY(!w.button(which)->toolTip().isEmpty());
    const QList<QAction *> actions =
        w.window.findChildren<QAction *>(QRegularExpression("^action_"));
    QVERIFY(actions.size() >= 4);
    for (QAction *action : actions)
        QVERIFY2(!action->toolTip().isEmpty() && action->toolTip() != action->text().remove('&'),
                 qPrintable(action->objectName()));

    // The tabs and the buttons follow the window's size; the window stays on the screen.
    w.window.showNormal();
    w.window.resize(1000, 700);
    QTest::qWait(20);
    QVERIFY(w.tabs->width() > 900);
    QVERIFY(w.button(QDialogButtonBox::Ok)->mapTo(&w.window, QPoint()).y() > 600);

    // Tools > Check product data opens the check on the shared database.
    ModalAnswerer answerer;
    w.window.findChild<QAction *>("action_checkProductData")->trigger();
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().className, QStringLiteral("HProductDataCheckDialog"));
}

namespace {
enum Way { OkButton, CancelButton, FrameClose, SaveAll };
enum Fault { NoFault, Trigger, SchemeFile };
} // namespace

void TestMainWindow::closingAndSaving_data()
{
    QTest::addColumn<int>("way");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<int>("answer"); // to the unsaved-work question; 0: no question
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("status"); // the save summary in the status bar

    const int save = QMessageBox::Save, discard = QMessageBox::Discard,
              cancel = QMessageBox::Cancel;
    const QString saved = "Saved 2 tabs, 1 row changed";
    QTest::newRow("ok, no edits") << int(OkButton) << false << 0 << int(NoFault) << true << false
                                  << "Nothing to save";
    QTest::newRow("ok") << int(OkButton) << true << 0 << int(NoFault) << true << true << saved;
    QTest::newRow("ok, refused") << int(OkButton) << true << 0 << int(Trigger) << false << false
                                 << "Not saved: \"ODU And IDU Matching\"; saved 1 tab";
    QTest::newRow("ok, scheme not written")
        << int(OkButton) << false << 0 << int(SchemeFile) << false << false
        << "Not saved: \"Set product sales status\"";
    QTest::newRow("save all") << int(SaveAll) << true << 0 << int(NoFault) << false << true
                              << saved;
    // The Cancel button only closes the window: its rows and the frame's share one path.
    const int cancelButton = CancelButton, frame = FrameClose;
    QTest::newRow("cancel, no edits")
        << cancelButton << false << 0 << int(NoFault) << true << false << "";
    QTest::newRow("cancel, save") << cancelButton << true << save << int(NoFault) << true << true
                                  << saved;
    QTest::newRow("cancel, cancel")
        << cancelButton << true << cancel << int(NoFault) << false << false << "";
    QTest::newRow("frame, discard")
        << frame << true << discard << int(NoFault) << true << false << "";
    QTest::newRow("frame, save refused") << frame << true << save << int(Trigger) << false << false
                                         << "Not saved: \"ODU And IDU Matching\"; saved 1 tab";
    QTest::newRow("frame, save, scheme not written")
        << frame << false << save << int(SchemeFile) << false << false
        << "Not saved: \"Set product sales status\"";
}

void TestMainWindow::closingAndSaving()
{
    QFETCH(int, way);
    QFETCH(bool, edited);
    QFETCH(int, answer);
    QFETCH(int, fault);
    QFETCH(bool, closed);
    QFETCH(bool, written);
    QFETCH(QString, status);

    const QString scheme = appFolder("config/A.json");
    if (fault == SchemeFile)
        QVERIFY(QDir().mkpath(appFolder("config")) && writeBytes(scheme, "{}"));
    if (fault == Trigger)
        QVERIFY(execSql(
            m_db, refusingTriggers("__rule_odu_idu_matching", {"insert"}, "refused by trigger")));
    Window w;
    w.window.show();
    if (edited) {
        w.editFirstTab();
        w.page(3)->setProperty("modified", true); // a second tab: still one question
    }
    if (fault == SchemeFile) { // a folder took the scheme's name: it cannot be written
        Window::editSaleStatus(w.page(4));
        QVERIFY(QFile::remove(scheme) && QDir().mkpath(scheme));
    }
    const QByteArray before = databaseState(m_db);
    HDbFind::getDb()->resetStatementCounts();

    ModalAnswerer answerer;
    if (answer)
        answerer.answer(QMessageBox::StandardButton(answer));
    if (way == OkButton)
        QTest::mouseClick(w.button(QDialogButtonBox::Ok), Qt::LeftButton);
    else if (way == CancelButton)
        QTest::mouseClick(w.button(QDialogButtonBox::Cancel), Qt::LeftButton);
    else if (way == FrameClose)
        w.window.close();
    else
        w.window.findChild<QAction *>("action_saveAll")->trigger();

    QCOMPARE(!w.window.isVisible(), closed);
    QCOMPARE(sqlRows(m_db, kPairs), written ? QStringList{"1|2"} : QStringList());
    if (!edited && fault == NoFault) { // nothing unsaved: nothing written at all
        QCOMPARE(HDbFind::getDb()->writeStatementCount(), quint64(0));
        QCOMPARE(databaseState(m_db), before);
    }
    QStringList expectedBoxes;
    if (answer)
        expectedBoxes << "Unsaved changes";
    if (fault != NoFault && answer != QMessageBox::Cancel && answer != QMessageBox::Discard)
        expectedBoxes << "Warning"; // which tab failed and why, which saved
    QStringList boxes;
    for (const SeenModal &seen : answerer.seen())
        boxes << seen.title;
    QCOMPARE(boxes, expectedBoxes);
    if (answer && edited) {
        const QString question = answerer.seen().first().text;
        QVERIFY2(question.contains("\"ODU And IDU Matching\"") &&
                     question.contains("\"All rule table\""),
                 qPrintable(question));
    }
    if (fault == Trigger) { // the failed tab and why, and the tabs that had nothing to save
        const QString summary = answerer.seen().last().text;
        QVERIFY2(summary.contains("refused by trigger") &&
                     summary.contains("\"ODU And IDU Matching\" was not saved") &&
                     summary.contains("\"Select Rule\" (nothing to save)"),
                 qPrintable(summary));
    }
    QCOMPARE(w.label("label_saveStatus")->text().left(status.size()), status);
    // Work that is neither saved nor dropped keeps its marker.
    if (edited && !closed && !written)
        QCOMPARE(w.tabs->tabText(3), kLabels.at(3) + "*");
    if (fault == SchemeFile) { // the warning names the file
        QVERIFY2(answerer.seen().last().text.contains(QDir::toNativeSeparators(scheme)),
                 qPrintable(answerer.seen().last().text));
        QVERIFY(QDir(scheme).removeRecursively());
    }
}

// log/ cannot be made (a file took its name): closing with "Save" saves the scheme, then goes
// on after a warning that names both snapshots.
void TestMainWindow::closingWarnsOfSnapshots()
{
    const QString scheme = appFolder(QStringLiteral("config/A.json"));
    QVERIFY(QDir().mkpath(appFolder(QStringLiteral("config"))) && writeBytes(scheme, "{}"));
    ModalAnswerer answerer;
    MainWindow window;
    Window::editSaleStatus(window.findChild<QTabWidget *>("tabWidget")->widget(4));
    QVERIFY(writeBytes(appFolder(QStringLiteral("log")), ""));
    answerer.answer(QMessageBox::Save);
    QVERIFY(window.close());
    QCOMPARE(answerer.seen().last().title, QStringLiteral("Warning"));
    const QString text = answerer.seen().last().text;
    QVERIFY2(text.contains(QStringLiteral("\"ODU And IDU Matching\"")) &&
                 text.contains(QStringLiteral("\"ODU/IDU And Accessory Matching\"")) &&
                 !text.contains(QStringLiteral("A.json")),
             qPrintable(text));
    QVERIFY(fileBytes(scheme) != "{}");
}

void TestMainWindow::openDatabase_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("answer");      // to the unsaved-work question; 0: nothing unsaved
    QTest::addColumn<QString>("refusal"); // part of the message; empty: the switch is made
    QTest::newRow("product database") << "good" << 0 << "";
    QTest::newRow("unsaved, discard") << "good" << int(QMessageBox::Discard) << "";
    QTest::newRow("unsaved, save") << "good" << int(QMessageBox::Save) << "";
    QTest::newRow("unsaved, cancel") << "good" << int(QMessageBox::Cancel) << "";
    QTest::newRow("table missing") << "no table" << int(QMessageBox::Discard)
                                   << "lacks what the editors need: __rule_odu_idu_matching";
    QTest::newRow("not a database") << "text" << 0 << "neither an SQLite nor an Access";
    // On a server: a database name the server does not have.
    QTest::newRow("missing") << "missing" << 0
                             << (onPostgreSql() ? "does not exist" : "was not found");
}

void TestMainWindow::openDatabase()
{
    QFETCH(QString, kind);
    QFETCH(int, answer);
    QFETCH(QString, refusal);

    if (kind == "text" && onPostgreSql())
        QSKIP("a file that is not a database is a case of file back ends only");
    QString other = m_dir.filePath("other/New.sqlite");
    QVERIFY(QDir().mkpath(m_dir.filePath("other")));
    if (kind == "good")
        other = productDb("other/New.sqlite", "ODU New");
    else if (kind == "no table")
        other = productDb("other/New.sqlite", "ODU New", {"drop table __rule_odu_idu_matching"});
    else if (kind == "text")
        QVERIFY(writeBytes(other, "name;model\n"));
    else // a name never made: no file, no server database
        other = m_dir.filePath("other/Gone.sqlite");
    QVERIFY(!other.isEmpty());
    const QString current = databaseLocation(m_db), target = databaseLocation(other);

    Window w;
    w.window.show();
    if (answer)
        w.editFirstTab();
    ModalAnswerer answerer;
    if (answer && refusal.isEmpty())
        answerer.answer(QMessageBox::StandardButton(answer));
    const bool switched = refusal.isEmpty() && answer != QMessageBox::Cancel;
    QCOMPARE(w.window.openDatabase(target), switched);

    if (!refusal.isEmpty()) { // refused before anything is asked or dropped
        QCOMPARE(answerer.count(), 1);
        const QString text = answerer.seen().first().text;
        QVERIFY2(text.contains(refusal) && text.contains(QDir::toNativeSeparators(target)),
                 qPrintable(text));
        QString atStartUp;
        QVERIFY(!HDbFind::check(target, MainWindow::kDatabasePassword, &atStartUp));
        QCOMPARE(text, atStartUp);
    }
    QCOMPARE(HDbFind::isOpen(), true);
    QVERIFY(w.window.findChild<QTabWidget *>("tabWidget")->isVisible());
    const QString shown = switched ? target : current;
    QCOMPARE(HDbFind::getDb()->fileName(), shown);
    QVERIFY(w.odus().first().startsWith(switched ? "ODU New-" : "ODU A-"));
    QCOMPARE(w.window.windowTitle().section(kDash, 1),
             QFileInfo(shown).fileName() + (answer && !switched ? "*" : ""));
    QVERIFY(w.label("label_database")->text().contains(QDir::toNativeSeparators(shown)));
    QCOMPARE(MainWindow::recentDatabases(), switched ? QStringList{target} : QStringList());
    // The work left behind was saved or dropped as answered; the new database is untouched.
    QCOMPARE(sqlRows(m_db, kPairs),
             answer == QMessageBox::Save ? QStringList{"1|2"} : QStringList());
    if (switched)
        QCOMPARE(sqlRows(other, kPairs), QStringList());
}

void TestMainWindow::openDatabaseFromMenus()
{
    QStringList dbs; // as the tool names them: paths, or server URLs
    for (int i = 0; i < 6; ++i) {
        const QString folder = QStringLiteral("db%1").arg(i);
        QVERIFY(QDir().mkpath(m_dir.filePath(folder)));
        const QString path = productDb(folder + "/P.sqlite", QStringLiteral("ODU %1").arg(i));
        QVERIFY(!path.isEmpty());
        dbs << databaseLocation(path);
    }
    Window w;
    w.window.show();
    ModalAnswerer answerer;
    QString startedIn;
    if (onPostgreSql()) { // a server database is not chosen in a file dialog
        QVERIFY(w.window.openDatabase(dbs.at(0)));
        QVERIFY(w.window.openDatabase(dbs.at(1)));
    } else {
        // File > Open database..., then again: the dialog starts where the last one was.
        answerer.act(pickFile(dbs.at(0)));
        w.window.findChild<QAction *>("action_openDatabase")->trigger();
        QCOMPARE(HDbFind::getDb()->fileName(), dbs.at(0));
        answerer.act(pickFile(dbs.at(1), &startedIn));
        w.window.findChild<QAction *>("action_openDatabase")->trigger();
        QCOMPARE(QDir(startedIn), QDir(m_dir.filePath("db0")));
        QCOMPARE(answerer.count(), 2); // the two file dialogs, nothing else
    }
    QVERIFY(w.odus().first().startsWith("ODU 1-"));

    // The recent list holds the last five, newest first, each once; picking one opens it.
    for (int i = 2; i < 6; ++i)
        QVERIFY(w.window.openDatabase(dbs.at(i)));
    const QStringList five = {dbs.at(5), dbs.at(4), dbs.at(3), dbs.at(2), dbs.at(1)};
    QCOMPARE(MainWindow::recentDatabases(), five);
    QMenu *recent = w.window.findChild<QMenu *>("menu_recentDatabases");
    QVERIFY(recent);
    QCOMPARE(recent->actions().size(), 5);
    recent->actions().at(3)->trigger();
    QCOMPARE(HDbFind::getDb()->fileName(), dbs.at(2));
    QVERIFY(w.odus().first().startsWith("ODU 2-"));
    QCOMPARE(MainWindow::recentDatabases(),
             QStringList({dbs.at(2), dbs.at(5), dbs.at(4), dbs.at(3), dbs.at(1)}));
}

// On a display the box offers another database until one opens, or quitting (without one,
// the program exits: tst_services).
void TestMainWindow::startUpOffersAnotherDatabase()
{
    if (onPostgreSql())
        QSKIP("database files are chosen in a file dialog: file back ends only");
    const QString bad = m_dir.filePath("bad.sqlite");
    QVERIFY(writeBytes(bad, "not a database"));
    HDbFind::closeDb();
    ModalAnswerer answerer;
    for (const QString &path : {bad, m_db}) {
        answerer.answer(QMessageBox::Open);
        answerer.act(pickFile(path));
    }
    QVERIFY(MainWindow::chooseDatabaseAfterError(QStringLiteral("The first error.")));
    QCOMPARE(answerer.count(), 4);
    QCOMPARE(answerer.seen().at(0).text, QStringLiteral("The first error."));
    QVERIFY(answerer.seen().at(2).text.contains(QDir::toNativeSeparators(bad)));
    QVERIFY(HDbFind::isOpen());
    QCOMPARE(HDbFind::getDb()->fileName(), m_db);

    HDbFind::closeDb();
    answerer.clear();
    answerer.answer(QMessageBox::Close);
    QVERIFY(!MainWindow::chooseDatabaseAfterError(QStringLiteral("Again.")));
    QCOMPARE(answerer.count(), 1);
}

void TestMainWindow::destructionClosesTheDatabase()
{
    auto *window = new MainWindow;
    QVERIFY(HDbFind::getDb()->isOpen());
    delete window;
    // Closed for good: nothing opens it again unasked (the sale status tab goes after the
    // database), and statements fail saying so.
    QVERIFY(!HDbFind::getDb()->isOpen());
    QVERIFY(!HDbFind::getDb()->exec(QStringLiteral("delete from __product_series")));
    QVERIFY2(HDbFind::getDb()->errorString().contains(QStringLiteral("closed")),
             qPrintable(HDbFind::getDb()->errorString()));
    QCOMPARE(sqlValue(m_db, QStringLiteral("select count(*) from __product_series")), QVariant(2));
    // The next window opens it again.
    MainWindow again;
    QVERIFY(HDbFind::getDb()->isOpen());
}

void TestMainWindow::twoUsers_data()
{
    QTest::addColumn<QString>("otherOdu");  // the outdoor series the other process pairs
    QTest::addColumn<int>("answer");        // to the conflict question; NoButton: none asked
    QTest::addColumn<QStringList>("pairs"); // stored at the end
    QTest::addColumn<bool>("closed");       // the window closed after OK
    QTest::addColumn<int>("historyRows");
    const int none = QMessageBox::NoButton;
    // Different series: both land without a question, each with its history row.
    QTest::newRow("other series") << "ODU C" << none << QStringList{"1|2", "3|2"} << true << 2;
    // The same pair, saved by the other process first: asked, and nothing written unless
    // the user overwrites (which stores the pair once, as this user has it: no value
    // changed, so no history row of its own).
    QTest::newRow("same pair, cancel")
        << "ODU A" << int(QMessageBox::Cancel) << QStringList{"1|2"} << false << 1;
    QTest::newRow("same pair, overwrite")
        << "ODU A" << int(HEditorPage::kOverwrite) << QStringList{"1|2"} << true << 1;
    QTest::newRow("same pair, reload")
        << "ODU A" << int(HEditorPage::kReload) << QStringList{"1|2"} << false << 1;
}

void TestMainWindow::twoUsers()
{
    // Two users on one database: this window loads, another process saves a pair, then this
    // one saves a pair of ODU A.
    QFETCH(QString, otherOdu);
    QFETCH(int, answer);
    QFETCH(QStringList, pairs);
    QFETCH(bool, closed);
    QFETCH(int, historyRows);
    m_db = productDb(QStringLiteral("Two-%1.db").arg(QTest::currentDataTag()).replace(' ', '_'),
                     "ODU A",
                     {"insert into __product_series (id_series, product_type, product_series, "
                      "category, sub_catalog) values (3, 0, 'ODU C', 'VRF', 'Heat pump')"});
    QVERIFY(!m_db.isEmpty());
    useProductDb(m_db);
    Window w;
    w.window.show();
    QVERIFY(w.odus().first().startsWith("ODU A-"));
    QString output;
    QVERIFY2(runSecondUser(otherOdu, &output) == 0, qPrintable(output));
    const QByteArray afterOther = databaseState(m_db);
    w.editFirstTab();
    ModalAnswerer answerer;
    if (answer != QMessageBox::NoButton)
        answerer.answer(QMessageBox::StandardButton(answer));
    QTest::mouseClick(w.button(QDialogButtonBox::Ok), Qt::LeftButton);
    if (answer == QMessageBox::NoButton) {
        QCOMPARE(answerer.texts(), QStringList());
    } else {
        QVERIFY(answerer.count() >= 1);
        QVERIFY2(answerer.texts().first().contains("other users changed rows"),
                 qPrintable(answerer.texts().join(" / ")));
        QVERIFY2(answerer.texts().first().contains("ODU A"), qPrintable(answerer.texts().first()));
    }
    QCOMPARE(w.window.isVisible(), !closed);
    QStringList stored = sqlRows(m_db, kPairs);
    stored.sort();
    QCOMPARE(stored, pairs);
    if (answer == QMessageBox::Cancel || answer == HEditorPage::kReload)
        QCOMPARE(databaseState(m_db), afterOther);
    QCOMPARE(sqlValue(m_db, "select count(*) from maintainer_audit").toInt(), historyRows);
    if (answer == HEditorPage::kReload) {
        // The pair both added shows as stored; nothing of this user's is left unsaved.
        QVERIFY(!w.page(0)->isModified());
    }
}

// The snapshots written on closing do not depend on the order the database returns rows in
// (on a server it changes with every update): closing again without an edit, after the
// rows came back in another order, rewrites neither file.
void TestMainWindow::snapshotsIgnoreRowOrder()
{
    const QStringList matchings{"__rule_odu_idu_matching", "__rule_odu_acc_matching",
                                "__rule_unit_acc_controller_matching"};
    m_db = productDb("Order.db", "ODU A",
                     {"insert into __product_series (id_series, product_type, product_series, "
                      "category, sub_catalog) values (3, 1, 'IDU C', 'IDU', 'Cassette'), "
                      "(4, 1, 'IDU D', 'IDU', 'Wall')",
                      "insert into __product_idx (product_code, id_series, product_type) values "
                      "('A1', 2, 10), ('A2', 2, 10), ('A3', 2, 10)",
                      "insert into __rule_odu_idu_matching values (1, 2), (1, 3), (1, 4)",
                      "insert into __rule_odu_acc_matching values (1, 'A1', 'MS'), "
                      "(1, 'A2', 'MS'), (1, 'A3', 'MS')",
                      "insert into __rule_unit_acc_controller_matching values (2, 'A1'), "
                      "(2, 'A2'), (2, 'A3')"});
    QVERIFY(!m_db.isEmpty());
    useProductDb(m_db);
    delete new MainWindow;
    const QStringList files{appFolder("log/odu_and_idu.json"),
                            appFolder("log/series_and_acc.json")};
    QMap<QString, QPair<qulonglong, QByteArray>> written;
    for (const QString &file : files) {
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
        written.insert(file, {qulonglong(info.st_ino), fileBytes(file)});
    }
    for (const QString &table : matchings)
        QVERIFY(execSql(m_db,
                        {"create table reordered as select * from " + table, "delete from " + table,
                         "insert into " + table + " select * from reordered order by 2 desc",
                         "drop table reordered"}));
    delete new MainWindow;
    for (const QString &file : files) {
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
        QCOMPARE(fileBytes(file), written.value(file).second);
        QCOMPARE(qulonglong(info.st_ino), written.value(file).first); // not replaced
    }
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    const QString odu = qEnvironmentVariable("PM_SECOND_USER");
    if (!odu.isEmpty())
        return secondUser(odu);
    TestMainWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainwindow.moc"
