// The fault table: every save and the scheme reader, each under the faults a product team
// meets. Every row checks the same things: the user is told, nothing crashes, the database and
// the files stay byte for byte as they were, and the user's edit is still there to be saved
// once the fault is gone. Every file the tool writes meets a full disk and a read-only folder
// in tst_safefile; damaged and hostile workbooks are imported in tst_workbookclients
// (oddWorkbooks), read directly in tst_workbook.

#include "testhelpers.h"

#include "hdbfind.h"
#include "mainwindow.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

using namespace TestHelpers;

namespace {

const QStringList kRows = {
    "insert into __product_series (id_series, product_type, product_series, category, "
    "sub_catalog, odu_type, table_name, model_string, rule_pipe_dimmension) values "
    "(1, 0, 'A-ODU', 'VRF', 'a', 'Top', '', 'MS-1', 'PD-1'), "
    "(2, 0, 'B-ODU', 'VRF', 'b', 'Top', '', 'MS-2', NULL), "
    "(10, 1, 'A-IDU', 'IDU', 'Duct', '', '', '', NULL), "
    "(11, 1, 'B-IDU', 'IDU', 'Wall', '', '', '', NULL), "
    "(40, 2, 'Kits', 'Branch', 'Refnet', '', 'dt_branch', '', NULL)",
    "insert into __product_idx (product_code, id_series, product_type, model, base_model) "
    "values ('P1', 1, 0, 'M1', 'M1'), ('P2', 1, 0, 'M2', 'M2'), ('BH-1', 40, 2, 'BH1', 'BH'), "
    "('MP-1', 40, 2, 'MP1', 'MP')",
    "create table dt_branch (model TEXT, type INTEGER)",
    "insert into dt_branch (model, type) values ('BH1', 31), ('MP1', 3)",
    "insert into __rule_odu_idu_matching (id_series_odu, id_series_idu) values (1, 10)",
    "insert into __rule_odu_acc_matching (id_series_odu, product_code_acc, type) values "
    "(1, 'BH-1', 'BRANCH_HEADER')",
    "insert into __rule_pipe_dimension (rule_name) values ('PD-1'), ('PD-2')",
    "insert into __rule_additional_charge (rule_name) values ('AC-1'), ('AC-2')",
};

// Makes a file unwritable even for root (chattr +i), or by its mode bits where that is not
// possible. False when neither stops this process from writing.
bool makeReadOnly(const QString &path, bool readOnly)
{
    if (QProcess::execute("chattr", {readOnly ? "+i" : "-i", path}) == 0)
        return true;
    QFile::setPermissions(path, readOnly ? QFile::ReadOwner | QFile::ExeOwner
                                         : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return !readOnly || access(QFile::encodeName(path).constData(), W_OK) != 0;
}

// Writes a file, making its folder first.
bool put(const QString &path, const QByteArray &bytes)
{
    return QDir().mkpath(QFileInfo(path).absolutePath()) && writeBytes(path, bytes);
}

// The main window on the fixture, shown, with the answerer of its boxes.
struct Window
{
    Window()
    {
        window.reset(new MainWindow);
        window->resize(1400, 900);
        window->show();
        tabs = window->findChild<QTabWidget *>("tabWidget");
    }
    template <typename T> T *find(int tab, const char *name) const
    {
        return tabs->widget(tab)->findChild<T *>(name);
    }
    void click(int tab, const char *name) const
    {
        tabs->setCurrentIndex(tab);
        QTest::mouseClick(find<QPushButton>(tab, name), Qt::LeftButton);
    }
    void ok() const
    {
        auto *box = window->findChild<QDialogButtonBox *>("buttonBox");
        QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
    }
    // Message boxes seen (title: text), file and name dialogs left out.
    QStringList boxes() const
    {
        QStringList texts;
        for (const SeenModal &modal : answerer.seen()) {
            if (modal.className == "QMessageBox")
                texts.append(modal.title + ": " + modal.text);
        }
        return texts;
    }
    ModalAnswerer answerer;
    std::unique_ptr<MainWindow> window;
    QTabWidget *tabs = nullptr;
};

enum Tab { OduIdu = 0, Accessory = 1, Rule = 2, RuleTables = 3, SaleStatus = 4 };

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void saves_data();
    void saves();
    void damagedSchemes_data();
    void damagedSchemes();

private:
    // An edit on a tab, made through its widgets, and the action that saves it.
    void edit(Window &w, const QString &save);
    void runSave(Window &w, const QString &save);

    QTemporaryDir m_dir;
    QString m_db;
};

void TestFaults::initTestCase()
{
    qputenv("PM_BUSY_TIMEOUT_MS", "200");
}

void TestFaults::init()
{
    QVERIFY(m_dir.isValid());
    cleanAppFolders();
    m_db = m_dir.filePath("Product.mdb");
    QString error;
    QVERIFY2(createProductDb(m_db, kRows, &error), qPrintable(error));
    useProductDb(m_db);
    const QJsonObject scheme{{"install_code", QJsonObject{{"IC-1", ""}}}};
    QVERIFY(put(appFolder("config/Brand.json"), QJsonDocument(scheme).toJson()));
}

void TestFaults::cleanup()
{
    HDbFind::closeDb();
    makeReadOnly(m_db, false);
    cleanAppFolders();
}

void TestFaults::edit(Window &w, const QString &save)
{
    if (save == "matching OK") { // match B-IDU to A-ODU
        w.tabs->setCurrentIndex(OduIdu);
        clickRow(w.find<QListView>(OduIdu, "listView_all_odu"), 0);
        doubleClickRow(w.find<QListView>(OduIdu, "listView_all_idu"), 1);
    } else if (save == "accessories OK") { // MP-1 to A-ODU
        w.tabs->setCurrentIndex(Accessory);
        clickRow(w.find<QListView>(Accessory, "listView_all_series"), 0);
        doubleClickRow(w.find<QListView>(Accessory, "listView_all_accessory"), 1);
    } else if (save == "rules OK") { // PD-2 for A-ODU
        w.tabs->setCurrentIndex(Rule);
        w.answerer.act([](QWidget *picker) {
            auto *list = picker->findChild<QListView *>("listView");
            clickRow(list, 1);
            picker->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        doubleClickRow(w.find<QTableWidget>(Rule, "tableWidget"), 0, 2);
    } else if (save.startsWith("rule table")) { // the first additional charge renamed
        w.tabs->setCurrentIndex(RuleTables);
        QAbstractItemModel *model = w.find<QTableView>(RuleTables, "tableView")->model();
        QVERIFY(model->setData(model->index(0, 1), "AC-9"));
    } else if (save == "Save to Db") { // A-ODU not for sale
        w.tabs->setCurrentIndex(SaleStatus);
        auto *series = w.find<QTableWidget>(SaleStatus, "tableWidget_Series");
        const int row = rowTexts(series).indexOf("1");
        QVERIFY(row >= 0);
        series->item(row, 2)->setCheckState(Qt::Checked);
        clickRow(series, row, 1);
    }
}

void TestFaults::runSave(Window &w, const QString &save)
{
    if (save.endsWith(" OK"))
        w.ok();
    else if (save == "rule table save")
        QTest::mouseClick(w.find<QDialogButtonBox>(RuleTables, "buttonBox")->buttons().first(),
                          Qt::LeftButton);
    else if (save == "Save to Db")
        w.click(SaleStatus, "pushButton_SaveDb");
}

// Every save × {a trigger refusing the row, a locked database, a read-only database file, the
// table gone}.
void TestFaults::saves_data()
{
    QTest::addColumn<QString>("save");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("check"); // what the database holds once the edit is saved
    QTest::addColumn<QString>("saved");
    const struct
    {
        const char *save, *table, *check, *saved;
    } saves[] = {
        {"matching OK", "__rule_odu_idu_matching",
         "select count(*) from __rule_odu_idu_matching where id_series_idu = 11", "1"},
        {"accessories OK", "__rule_odu_acc_matching",
         "select count(*) from __rule_odu_acc_matching where product_code_acc = 'MP-1'", "1"},
        {"rules OK", "__product_series",
         "select rule_pipe_dimmension from __product_series where id_series = 1", "PD-2"},
        {"rule table save", "__rule_additional_charge",
         "select count(*) from __rule_additional_charge where rule_name = 'AC-9'", "1"},
        {"rule table OK", "__rule_additional_charge",
         "select count(*) from __rule_additional_charge where rule_name = 'AC-9'", "1"},
        {"Save to Db", "__product_series",
         "select is_not_for_sale from __product_series where id_series = 1", "1"},
    };
    for (const auto &s : saves) {
        for (const char *fault : {"trigger", "locked", "read-only", "missing table"})
            QTest::addRow("%s, %s", s.save, fault)
                << s.save << fault << s.table << s.check << s.saved;
    }
}

void TestFaults::saves()
{
    QFETCH(QString, save);
    QFETCH(QString, fault);
    QFETCH(QString, table);
    QFETCH(QString, check);
    QFETCH(QString, saved);

    Window w;
    edit(w, save);
    QVERIFY(w.boxes().isEmpty());

    // The fault, set while the window is open.
    std::unique_ptr<WriteLock> locker;
    const QStringList events = {"insert", "update", "delete"};
    if (fault == "trigger") {
        QVERIFY(execSql(m_db, refusingTriggers(table, events, "refused by a trigger")));
    } else if (fault == "locked") {
        locker.reset(new WriteLock(m_db));
        QVERIFY(locker->isHeld());
    } else if (fault == "read-only") {
        if (onPostgreSql())
            QSKIP("a server's read-only user is tested by tst_database");
        if (!makeReadOnly(m_db, true))
            QSKIP("no way to make the database file read-only for this user");
    } else {
        QVERIFY(execSql(m_db, {"drop table " + table}));
    }
    const QByteArray before = databaseState(m_db);

    runSave(w, save);
    QVERIFY2(!w.boxes().isEmpty(), "the failed save was not reported");
    QVERIFY2(w.window->isVisible(), "the window closed after a failed save");
    locker.reset();
    QVERIFY2(databaseState(m_db) == before, "the database changed");
    if (fault == "missing table")
        return;

    // The fault gone, the same save writes the edit that was kept on screen.
    if (fault == "trigger")
        QVERIFY(execSql(m_db, droppingTriggers(table, events)));
    if (fault == "read-only")
        QVERIFY(makeReadOnly(m_db, false));
    w.answerer.clear();
    runSave(w, save);
    QVERIFY2(w.boxes().isEmpty(), qPrintable(w.boxes().join('\n')));
    QCOMPARE(sqlValue(m_db, check).toString(), saved);
}

// A scheme, as the tool wrote it, damaged: the user is told, and closing the window writes
// nothing over it.
void TestFaults::damagedSchemes_data()
{
    QTest::addColumn<QString>("damage");
    for (const char *damage : {"truncated", "bit-flipped", "wrong JSON types"})
        QTest::newRow(damage) << damage;
}

void TestFaults::damagedSchemes()
{
    QFETCH(QString, damage);
    const QJsonObject scheme{{"idx_table", QJsonArray{QJsonObject{{"id_series", 1},
                                                                  {"product_code", "P1"},
                                                                  {"base_model", "M1"},
                                                                  {"oem_model", "KEEP"},
                                                                  {"is_not_for_sale", false},
                                                                  {"is_user_skip", false}}}}};
    QByteArray bytes = QJsonDocument(scheme).toJson();
    if (damage == "truncated")
        bytes.truncate(bytes.size() / 2);
    else if (damage == "bit-flipped")
        bytes[bytes.indexOf("KEEP") - 3] = '\x01';
    else
        bytes.replace("\"idx_table\": [", "\"idx_table\": {\"x\": [").replace("]\n}", "]}\n}");
    const QString path = appFolder("config/Brand.json");
    QVERIFY(put(path, bytes));
    {
        Window w;
        QVERIFY2(!w.boxes().isEmpty(), "the damaged scheme was loaded without a word");
    }
    QVERIFY2(fileBytes(path) == bytes, "the file was written over");
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
