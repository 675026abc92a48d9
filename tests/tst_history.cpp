#include "testhelpers.h"

#include "hauditlog.h"
#include "hchangesdialog.h"
#include "hdatabase.h"
#include "hdbfind.h"
#include "heditorpage.h"
#include "hhistorywindow.h"
#include "hsqlstatement.h"
#include "hworkbookreader.h"
#include "mainwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <unistd.h>

using namespace TestHelpers;

namespace {

const char kHistoryRows[] =
    "select changed_by, host, table_name, series, row_key, column_name, "
    "coalesce(old_value, 'NULL'), coalesce(new_value, 'NULL') from maintainer_audit order by ID";

HAuditEntry entry(const QString &table, const QString &series, const QString &row,
                  const QVariant &oldValue, const QVariant &newValue)
{
    return HAuditEntry{table, series, row, QStringLiteral("rule"), oldValue, newValue};
}

// A tab whose save renames series 1 and hands its edits to the history, as the editors do.
class TestPage : public HEditorPage
{
public:
    QString name = QStringLiteral("ODU renamed");
    QVector<HAuditEntry> edits;

    QVector<HAuditEntry> pendingEdits() const override { return edits; }
    void save() override
    {
        runSave([this](bool) {
            HSaveOutcome outcome;
            HSqlStatement update(HDbFind::getDb(), QStringLiteral("update __product_series set "
                                                                  "[product_series] = ? where "
                                                                  "[id_series] = 1"));
            outcome.ok = update.bind(0, name).exec();
            outcome.error = update.errorString();
            outcome.rowsChanged = 1;
            if (outcome.ok)
                outcome.history = edits;
            return outcome;
        });
    }
};

// The cells of an .xlsx file's rows, each row joined by "|".
class SheetRows : public HWorkbookVisitor
{
public:
    QStringList rows;
    bool row(const HWorkbookRow &row, QString *) override
    {
        rows.append(QStringList(row.cells.toList()).join(QLatin1Char('|')));
        return true;
    }
};

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        PM_REQUIRE_BACKEND();
        QVERIFY(m_dir.isValid());
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("settings"));
        qputenv("USER", "tester-a");
    }

    void init()
    {
        cleanAppFolders();
        m_db = m_dir.filePath("Product.db");
        QVERIFY(createProductDb(
            m_db, {"insert into __product_series (id_series, product_type, product_series, "
                   "category, sub_catalog) values (1, 0, 'ODU A', 'VRF', 'Heat pump'), "
                   "(2, 1, 'IDU B', 'IDU', 'Duct')"}));
        useProductDb(m_db);
    }

    void cleanup()
    {
        HDbFind::closeDb();
        HDbFind::setDbFileAndPwd(MainWindow::kDatabaseFile, MainWindow::kDatabasePassword);
        cleanAppFolders();
    }

    // The first append makes the table; every value lands with who, where and when, nulls
    // kept; many rows go in statements of 50.
    void appendWritesRows()
    {
        HDatabase *db = HDbFind::getDb();
        QVERIFY(!HAuditLog::exists(db));
        QVector<HAuditLog::Row> rows;
        QVERIFY(HAuditLog::read(db, {}, &rows) && rows.isEmpty());
        const QString user = onPostgreSql() ? sqlValue(m_db, "select current_user").toString()
                                            : QStringLiteral("tester-a");
        const QString host = QSysInfo::machineHostName();
        const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
        QString error;
        QVERIFY2(HAuditLog::append(db,
                                   {entry("__rule", "ODU A", "ODU A-1", QVariant(), "R1"),
                                    entry("__rule", "ODU A", "ODU A-2", "R1", QVariant()),
                                    entry("__rule", "ODU A", "ODU A-3", "", 2.5)},
                                   &error),
                 qPrintable(error));
        QCOMPARE(sqlRows(m_db, kHistoryRows),
                 QStringList({user + "|" + host + "|__rule|ODU A|ODU A-1|rule|NULL|R1",
                              user + "|" + host + "|__rule|ODU A|ODU A-2|rule|R1|NULL",
                              user + "|" + host + "|__rule|ODU A|ODU A-3|rule||2.5"}));
        QVERIFY(HAuditLog::read(db, {}, &rows));
        QCOMPARE(rows.size(), 3);
        QVERIFY(rows.first().time >= before &&
                rows.first().time <= QDateTime::currentDateTimeUtc());
        QCOMPARE(rows.first().entry.rowKey, QStringLiteral("ODU A-3")); // newest, then by id
        QVERIFY(rows.last().entry.oldValue.isNull() && !rows.first().entry.oldValue.isNull());

        // Statement counts: 120 rows are 3 inserts, 50 are 1, none is nothing.
        for (int count : {120, 50, 51, 0}) {
            QVector<HAuditEntry> many;
            for (int i = 0; i < count; ++i)
                many.append(entry("__x", "S", QString::number(i), i, i + 1));
            db->resetStatementCounts();
            QVERIFY2(HAuditLog::append(db, many, &error), qPrintable(error));
            QCOMPARE(int(db->writeStatementCount()), (count + 49) / 50);
            QCOMPARE(int(db->statementCount()), (count + 49) / 50);
        }
        QCOMPARE(sqlValue(m_db, "select count(*) from maintainer_audit").toInt(), 3 + 221);
    }

    // read(): each filter alone and together, newest first.
    void readFilters()
    {
        HDatabase *db = HDbFind::getDb();
        seedHistory();
        const QDateTime day2(QDate(2026, 3, 2), QTime(0, 0), Qt::UTC);
        const QDateTime day4(QDate(2026, 3, 4), QTime(0, 0), Qt::UTC);
        const struct
        {
            const char *name;
            HAuditLog::Filter filter;
            QStringList rows;
        } cases[] = {
            {"all", {}, {"r4", "r3", "r2", "r1"}},
            {"table", {"__rule", {}, {}, {}, {}}, {"r2", "r1"}},
            {"series, any case", {{}, "Odu 10", {}, {}, {}}, {"r3", "r1"}},
            {"series, % as it is", {{}, "10%", {}, {}, {}}, {"r1"}},
            {"series, _ as it is", {{}, "1_", {}, {}, {}}, {"r2"}},
            {"user", {{}, {}, "bob", {}, {}}, {"r4", "r2"}},
            {"from inclusive", {{}, {}, {}, day2.addSecs(12 * 3600), {}}, {"r4", "r3", "r2"}},
            {"to exclusive", {{}, {}, {}, {}, day4.addSecs(12 * 3600)}, {"r3", "r2", "r1"}},
            {"together", {"__pairs", "odu", "ann", day2, day4}, {"r3"}},
            {"limit", {{}, {}, {}, {}, {}, 2}, {"r4", "r3"}},
            {"none", {"__nothing", {}, {}, {}, {}}, {}},
        };
        for (const auto &c : cases) {
            QVector<HAuditLog::Row> rows;
            QString error;
            QVERIFY2(HAuditLog::read(db, c.filter, &rows, &error), qPrintable(error));
            QStringList keys;
            for (const HAuditLog::Row &row : qAsConst(rows))
                keys.append(row.entry.rowKey);
            QVERIFY2(keys == c.rows, qPrintable(c.name + QStringLiteral(": ") + keys.join(',')));
        }
        QStringList values;
        QVERIFY(HAuditLog::distinctValues(db, "table", &values));
        QCOMPARE(values, QStringList({"__pairs", "__rule"}));
        QVERIFY(HAuditLog::distinctValues(db, "user", &values));
        QCOMPARE(values, QStringList({"ann", "bob"}));
    }

    // A history the database refuses never stops the save; the status bar says history is
    // off, and on again once a history write works.
    void refusedHistory_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason"); // part of the refusal; empty: history works
        QTest::newRow("trigger") << "trigger"
                                 << "history refused";
        QTest::newRow("no right to create") << "no create"
                                            << "permission denied";
        QTest::newRow("table made by another user") << "other user"
                                                    << "";
    }

    void refusedHistory()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        if (fault != "trigger" && !onPostgreSql())
            QSKIP("rights of database users are a case of server back ends");
        const QString name = databaseLocation(m_db).section('/', -1);
        if (fault == "trigger") {
            QVERIFY(HAuditLog::append(HDbFind::getDb(), {entry("__rule", "x", "x", 1, 2)}));
            QVERIFY(
                execSql(m_db, refusingTriggers("maintainer_audit", {"insert"}, "history refused")));
        } else {
            // A user who may change the product data but not create tables; a table made
            // later by the run's own user is not among those granted here.
            QVERIFY(execSql(m_db, {"drop role if exists pm_editor",
                                   QString("create role pm_editor login password '%1'")
                                       .arg(qEnvironmentVariable("PGPASSWORD")),
                                   "grant select, insert, update, delete on all tables in schema "
                                   "public to pm_editor",
                                   "revoke create on schema public from public"}));
            if (fault == "other user")
                QVERIFY(HAuditLog::append(HDbFind::getDb(), {entry("__rule", "x", "x", 1, 2)}));
            HDbFind::closeDb();
            qputenv("PRODUCT_DB", ("postgresql://pm_editor@/" + name).toUtf8());
            QVERIFY(HDbFind::open());
        }
        const int before = sqlValue(m_db, "select count(*) from maintainer_audit").toInt();

        MainWindow window;
        auto *label = window.findChild<QLabel *>("label_history");
        QVERIFY(label && !label->isVisibleTo(&window));
        TestPage page;
        page.edits = {entry("__product_series", "ODU A", "1", "ODU A", page.name)};
        ModalAnswerer answerer;
        HSaveRound round;
        page.save();
        QCOMPARE(answerer.count(), 0);
        QVERIFY(!round.failed());
        QCOMPARE(sqlValue(m_db, "select product_series from __product_series where id_series = 1")
                     .toString(),
                 page.name);
        const int after = sqlValue(m_db, "select count(*) from maintainer_audit").toInt();
        if (reason.isEmpty()) {
            QCOMPARE(after, before + 1);
            QCOMPARE(sqlValue(m_db, "select changed_by from maintainer_audit order by ID desc")
                         .toString(),
                     QStringLiteral("pm_editor"));
            QVERIFY(!label->isVisibleTo(&window));
            return;
        }
        QCOMPARE(after, before);
        QVERIFY(label->isVisibleTo(&window));
        QVERIFY2(label->text().startsWith("History off: ") && label->text().contains(reason),
                 qPrintable(label->text()));

        // Once the history may be written, the next save clears the notice.
        if (fault == "trigger")
            QVERIFY(execSql(m_db, droppingTriggers("maintainer_audit", {"insert"})));
        else
            QVERIFY(execSql(m_db, {"grant create on schema public to pm_editor"}));
        page.name = "ODU renamed again";
        page.save();
        QVERIFY(!round.failed());
        QVERIFY2(!label->isVisibleTo(&window), qPrintable(label->text()));
        QCOMPARE(
            sqlValue(m_db, "select new_value from maintainer_audit order by ID desc").toString(),
            QStringLiteral("ODU renamed"));
    }

    // Tools > History: newest first, filtered through its widgets, exported as shown.
    void historyWindow()
    {
        MainWindow window;
        QAction *action = window.findChild<QAction *>("action_history");
        QVERIFY(action);
        action->trigger();
        auto *history = window.findChild<HHistoryWindow *>();
        QVERIFY(history && history->isVisible());
        auto *state = history->findChild<QLabel *>("label_historyState");
        auto *view = history->findChild<QTableWidget *>("tableWidget_history");
        QVERIFY(state->text().startsWith("No history yet"));
        QCOMPARE(view->rowCount(), 0);
        QVERIFY(!history->findChild<QPushButton *>("pushButton_export")->isEnabled());

        seedHistory();
        // Opening it again reads again, in the same window.
        action->trigger();
        QCOMPARE(window.findChildren<HHistoryWindow *>().size(), 1);
        auto shown = [view] { return rowTexts(view, 5); };
        QCOMPARE(shown(), QStringList({"r4", "r3", "r2", "r1"}));
        const QString local = QDateTime(QDate(2026, 3, 4), QTime(12, 0), Qt::UTC)
                                  .toLocalTime()
                                  .toString("yyyy-MM-dd HH:mm:ss");
        QCOMPARE(view->item(0, 0)->text(), local);
        QCOMPARE(view->item(2, 7)->text() + "|" + view->item(2, 8)->text(), QString("R1|R2"));

        auto *table = history->findChild<QComboBox *>("comboBox_table");
        auto *user = history->findChild<QComboBox *>("comboBox_user");
        auto *series = history->findChild<QLineEdit *>("lineEdit_series");
        auto *useFrom = history->findChild<QCheckBox *>("checkBox_from");
        auto *useTo = history->findChild<QCheckBox *>("checkBox_to");
        auto *from = history->findChild<QDateEdit *>("dateEdit_from");
        auto *to = history->findChild<QDateEdit *>("dateEdit_to");
        QCOMPARE(table->count(), 3); // all, __pairs, __rule
        QCOMPARE(user->count(), 3);
        table->setCurrentIndex(table->findText("__rule"));
        QCOMPARE(shown(), QStringList({"r2", "r1"}));
        user->setCurrentIndex(user->findText("ann"));
        QCOMPARE(shown(), QStringList({"r1"}));
        table->setCurrentIndex(0);
        QTest::keyClicks(series, "odu 10");
        QCOMPARE(shown(), QStringList({"r3", "r1"}));
        series->clear();
        user->setCurrentIndex(0);
        from->setDate(QDate(2026, 3, 3));
        to->setDate(QDate(2026, 3, 3));
        QCOMPARE(shown().size(), 4); // dates not in use yet
        QTest::mouseClick(useFrom, Qt::LeftButton, {}, QPoint(5, useFrom->height() / 2));
        QCOMPARE(shown(), QStringList({"r4", "r3"}));
        QTest::mouseClick(useTo, Qt::LeftButton, {}, QPoint(5, useTo->height() / 2));
        QCOMPARE(shown(), QStringList({"r3"})); // "to" takes in its whole day
        useFrom->setChecked(false);
        QCOMPARE(shown(), QStringList({"r3", "r2", "r1"}));
        QCOMPARE(state->text(), QStringLiteral("3 rows"));

        // Export writes exactly the rows shown, with the headers, through the file dialog.
        const QString file = m_dir.filePath("history.xlsx");
        ModalAnswerer answerer;
        answerer.act(pickFile(file));
        QTest::mouseClick(history->findChild<QPushButton *>("pushButton_export"), Qt::LeftButton);
        QCOMPARE(answerer.count(), 1);
        SheetRows sheet;
        QString error;
        QVERIFY2(HWorkbookReader::read(file, sheet, &error), qPrintable(error));
        QCOMPARE(sheet.rows.size(), 4);
        QVERIFY(sheet.rows.at(0).startsWith("Time|User|Host|Table|Series|Row|Column|Old value"));
        QCOMPARE(sheet.rows.at(2).section('|', 1), QString("bob|h2|__rule|ODU 1_0|r2|c|R1|R2"));
        QCOMPARE(sheet.rows.at(3).section('|', 1), QString("ann|h1|__rule|ODU 10%|r1|c||R1"));
        QVERIFY(state->text().contains(QDir::toNativeSeparators(file)));

        // A file that cannot be written is reported, and nothing is left in its place.
        QVERIFY(QDir().mkpath(m_dir.filePath("taken.xlsx")));
        QVERIFY(!history->exportTo(m_dir.filePath("taken.xlsx"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(m_dir.filePath("taken.xlsx")).isDir());
    }

    // Tools > Changes and the button beside OK list every tab's unsaved edits.
    void changesView()
    {
        TestPage first, second, third;
        first.edits = {entry("__rule", "ODU A", "ODU A-1", QVariant(), "R1"),
                       entry("__rule", "ODU A", "ODU A-2", "R1", "R2")};
        third.edits = {entry("__pairs", "ODU B", "ODU B / IDU C", "x", QVariant())};
        ModalAnswerer answerer;
        QStringList lines;
        QString summary;
        answerer.act([&](QWidget *widget) {
            summary = widget->findChild<QLabel *>("label_changes")->text();
            auto *tree = widget->findChild<QTreeWidget *>("treeWidget_changes");
            for (int t = 0; t < tree->topLevelItemCount(); ++t) {
                QTreeWidgetItem *tab = tree->topLevelItem(t);
                lines << tab->text(0);
                for (int r = 0; r < tab->childCount(); ++r) {
                    QStringList cells;
                    for (int c = 0; c < 6; ++c)
                        cells << tab->child(r)->text(c);
                    lines << cells.join('|');
                }
            }
            static_cast<QDialog *>(widget)->reject();
        });
        HChangesDialog::run(nullptr, {{"One", &first}, {"Two", &second}, {"Three", &third}});
        QCOMPARE(summary, QStringLiteral("3 values changed, not saved yet"));
        QCOMPARE(lines, QStringList({"One (2)", "__rule|ODU A|ODU A-1|rule|(none)|R1",
                                     "__rule|ODU A|ODU A-2|rule|R1|R2", "Three (1)",
                                     "__pairs|ODU B|ODU B / IDU C|rule|x|(none)"}));

        // The main window's tabs hold nothing unsaved on a database just opened.
        MainWindow window;
        answerer.clear();
        answerer.act([&](QWidget *widget) {
            summary = widget->findChild<QLabel *>("label_changes")->text();
            static_cast<QDialog *>(widget)->reject();
        });
        QTest::mouseClick(window.findChild<QPushButton *>("pushButton_changes"), Qt::LeftButton);
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(summary, QStringLiteral("No unsaved changes"));
        answerer.act([](QWidget *widget) { static_cast<QDialog *>(widget)->reject(); });
        window.findChild<QAction *>("action_changes")->trigger();
        QCOMPARE(answerer.seen().last().className, QStringLiteral("HChangesDialog"));
    }

private:
    // Four history rows of two users, two tables and four days, r1 the oldest (the first
    // append makes the table).
    void seedHistory()
    {
        QVERIFY(HAuditLog::append(HDbFind::getDb(), {entry("__rule", "x", "x", 1, 2)}));
        QVERIFY(execSql(m_db, {"delete from maintainer_audit",
                               "insert into maintainer_audit (changed_at, changed_by, host, "
                               "table_name, series, row_key, column_name, old_value, new_value) "
                               "values ('2026-03-01T12:00:00.000Z', 'ann', 'h1', '__rule', "
                               "'ODU 10%', 'r1', 'c', NULL, 'R1'), "
                               "('2026-03-02T12:00:00.000Z', 'bob', 'h2', '__rule', 'ODU 1_0', "
                               "'r2', 'c', 'R1', 'R2'), "
                               "('2026-03-03T12:00:00.000Z', 'ann', 'h1', '__pairs', 'odu 100', "
                               "'r3', '(row)', 'x', NULL), "
                               "('2026-03-04T12:00:00.000Z', 'bob', 'h2', '__pairs', NULL, "
                               "'r4', 'c', NULL, NULL)"}));
    }

    QTemporaryDir m_dir;
    QString m_db;
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
