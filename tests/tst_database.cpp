// The database layer on the back end of the run (SQLite, or PostgreSQL as
// tst_database_postgresql): values that break careless quoting, a user who may only read,
// and a server connection that goes away.
#include "hdatabase.h"
#include "hdbfind.h"
#include "heditorpage.h"
#include "hsqlstatement.h"
#include "mainwindow.h"
#include "matchingfixture.h"

#include <QLabel>
#include <QTabWidget>

#include <unistd.h>

using namespace MatchingFixture;

class TestDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("PM_BUSY_TIMEOUT_MS", "200"); }
    void init()
    {
        QVERIFY(m_dir.isValid());
        cleanAppFolders();
        m_db = m_dir.filePath("Product.sqlite");
        QString error;
        QVERIFY2(createProductDb(m_db, kFixture, &error), qPrintable(error));
        useProductDb(m_db);
    }
    void cleanup()
    {
        HDbFind::closeDb();
        cleanAppFolders();
    }

    void hostileValuesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("storable"); // false: refused with a message naming why
        QTest::newRow("quotes") << "O'Brien \"5\" '' ; --" << true;
        QTest::newRow("backslashes") << "C:\\temp\\'\\\\n" << true;
        QTest::newRow("brackets and placeholders") << "[ID] ? $1 %1 :name" << true;
        QTest::newRow("non-ASCII") << QString::fromUtf8("室内机 Ünïcødé 😀") << true;
        QTest::newRow("very long") << QString(1 << 20, QLatin1Char('x')) + "end" << true;
        QTest::newRow("NUL") << QString::fromUtf8("before\0after", 12) << !onPostgreSql();
    }

    // What the tool writes comes back as it was, through the statements every tab uses; a
    // value the back end cannot hold is refused, never cut.
    void hostileValuesRoundTrip()
    {
        QFETCH(QString, value);
        QFETCH(bool, storable);
        HDatabase *db = HDbFind::getDb();
        HSqlStatement update(db, "update __product_series set [rule_limit] = ? where "
                                 "[id_series] = ?");
        update.bind(0, value).bind(1, 1);
        QCOMPARE(update.exec(), storable);
        if (!storable) {
            QVERIFY2(update.errorString().contains("NUL"), qPrintable(update.errorString()));
            QVERIFY(sqlValue(m_db, "select rule_limit from __product_series where id_series = 1")
                        .isNull());
            return;
        }
        HSqlStatement read(db, "select [rule_limit] from __product_series where [rule_limit] = ?");
        read.bind(0, value);
        QVERIFY(read.exec() && read.next());
        QCOMPARE(read.value(0).toString(), value);
        QCOMPARE(read.record().fieldName(0), QStringLiteral("rule_limit"));
        QCOMPARE(sqlValue(m_db, "select rule_limit from __product_series where id_series = 1")
                     .toString(),
                 value);
    }

    // Names read back are spelled as on SQLite, whatever case the statement used.
    void namesReadBackAsOnSqlite()
    {
        QSqlQuery rows = HDbFind::getDb()->query("select * from __rule_limit");
        QCOMPARE(rows.record().fieldName(0), QStringLiteral("ID"));
        QVERIFY(execSql(m_db, {"create table [Dt_Mixed] (model TEXT, type INTEGER)",
                               "insert into [Dt_Mixed] values ('M-1', 3)"}));
        QCOMPARE(HDbFind::getTableColumns("[DT_MIXED]", "model", "[Type] = 3", true),
                 QStringList{"M-1"});
        QCOMPARE(HDatabase::isServerLocation("postgresql://u@h/db"), true);
        QVERIFY(!HDbFind::getDb()->openDatabase("postgres://u:secret@h/db", QString()));
        QVERIFY2(HDbFind::getDb()->errorString().contains(".pgpass") &&
                     !HDbFind::getDb()->errorString().contains("secret"),
                 qPrintable(HDbFind::getDb()->errorString()));
    }

    // A user who may only read sees every tab read-only with a notice, and OK writes nothing.
    void readOnlyUserGetsReadOnlyTabs()
    {
        if (onPostgreSql()) {
            // A role with SELECT only, logging in with the password the run's user has.
            const QString database = databaseLocation(m_db).section('/', -1);
            QVERIFY(execSql(m_db, {"drop role if exists pm_reader",
                                   QString("create role pm_reader login password '%1'")
                                       .arg(qEnvironmentVariable("PGPASSWORD")),
                                   "grant select on all tables in schema public to pm_reader"}));
            qputenv("PRODUCT_DB", ("postgresql://pm_reader@/" + database).toUtf8());
        } else {
            if (geteuid() == 0)
                QSKIP("root writes a read-only file: the SQLite row needs another user");
            QFile::setPermissions(m_db, QFile::ReadOwner);
        }
        HDbFind::closeDb();
        QVERIFY(HDbFind::open());
        const QByteArray before = databaseState(m_db);
        ModalAnswerer answerer;
        {
            MainWindow window;
            window.show();
            auto *tabs = window.findChild<QTabWidget *>("tabWidget");
            for (int i = 0; i < tabs->count(); ++i) {
                auto *page = qobject_cast<HEditorPage *>(tabs->widget(i));
                QVERIFY(page && page->isReadOnly());
                auto *notice = page->findChild<QLabel *>("label_readOnly");
                QVERIFY(notice && notice->isVisibleTo(page));
                QVERIFY2(notice->text().contains(onPostgreSql() ? "pm_reader" : "read-only"),
                         qPrintable(notice->text()));
            }
            QVERIFY(!window.findChild<QWidget *>("pushButton_SaveDb")->isEnabled());
            auto *oduIdu = tabs->widget(0);
            clickRow(oduIdu->findChild<QListView *>("listView_all_odu"), 0);
            doubleClickRow(oduIdu->findChild<QListView *>("listView_all_idu"), 1);
            QVERIFY(!qobject_cast<HEditorPage *>(oduIdu)->isModified());
        }
        QCOMPARE(answerer.count(), 0);
        QVERIFY(databaseState(m_db) == before);
        QFile::setPermissions(m_db, QFile::ReadOwner | QFile::WriteOwner);
        if (onPostgreSql())
            QVERIFY(execSql(m_db, {"drop owned by pm_reader", "drop role pm_reader"}));
    }

    // The server goes away under an open tab: the save says so and keeps the edit; once the
    // server takes connections again the same save writes it.
    void connectionLossKeepsEditsForRetry()
    {
        if (!onPostgreSql())
            QSKIP("a lost connection is a server's fault");
        const QString database = databaseLocation(m_db).section('/', -1);
        ModalAnswerer answerer;
        OduIdu oduIdu;
        clickRow(oduIdu.odus, 0);
        const QStringList matched = rowTexts(oduIdu.matched);
        const QStringList idus = rowTexts(oduIdu.idus);
        int free = 0;
        while (free < idus.size() && matched.contains(idus.at(free)))
            ++free;
        QVERIFY(free < idus.size());
        doubleClickRow(oduIdu.idus, free);
        QCOMPARE(answerer.count(), 0);
        const QStringList edited = rowTexts(oduIdu.matched);
        const QByteArray before = databaseState(m_db);

        // Every session of the database ends, and no new one is let in.
        QVERIFY(
            execServerSql({QString("alter database %1 with allow_connections false").arg(database),
                           QString("select pg_terminate_backend(pid) from pg_stat_activity "
                                   "where datname = '%1'")
                               .arg(database)}));
        oduIdu.save();
        QCOMPARE(answerer.count(), 1);
        QVERIFY2(answerer.texts().first().contains("connection to the database server was lost"),
                 qPrintable(answerer.texts().first()));
        QCOMPARE(rowTexts(oduIdu.matched), edited);

        // Back: the same save goes through on a new connection.
        QVERIFY(HDbFind::getDb()->connectionLost());
        QVERIFY(execServerSql(
            {QString("alter database %1 with allow_connections true").arg(database)}));
        QVERIFY(databaseState(m_db) == before);
        oduIdu.save();
        QVERIFY2(answerer.count() == 1, qPrintable(answerer.texts().join('\n')));
        QVERIFY(databaseState(m_db) != before);
        QCOMPARE(rowTexts(oduIdu.matched), edited);
    }

private:
    QTemporaryDir m_dir;
    QString m_db;
};

QTEST_MAIN(TestDatabase)
#include "tst_database.moc"
