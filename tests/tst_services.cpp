#include "filefaults.h"
#include "testhelpers.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hjsonfunc.h"
#include "hproductschema.h"
#include "htextindex.h"
#include "md5.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

class TestServices : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void resolutionOrderAndMissingDatabase();
    void closedHandleStaysClosed();
    void unusableFilesAreRefused_data();
    void unusableFilesAreRefused();
    void programExitsWithMessageOnBadDatabase();
    void statementsTransactionsAndErrors();
    void odbcConnectionRunsTheSameStatements();

    void jsonReadFailuresLeaveEmptyObject_data();
    void jsonReadFailuresLeaveEmptyObject();
    void jsonWriteRoundTripsAndSkipsUnchanged();
    void md5KnownDigests();
    void textIndexKeepsFirstPositions();

private:
    // A product database in the temporary folder holding one outdoor series.
    QString seriesDb(const QString &name, int series)
    {
        const QString path = m_dir.filePath(name);
        const bool made = createProductDb(
            path, {QString("insert into __product_series (id_series, product_type) values (%1, 0)")
                       .arg(series)});
        return made ? path : QString();
    }

    QTemporaryDir m_dir;
};

void TestServices::init()
{
    QVERIFY(m_dir.isValid());
    HDbFind::closeDb();
    qunsetenv("PRODUCT_DB");
    HDbFind::setDbFileAndPwd("Product.mdb", "pw");
}

void TestServices::cleanup()
{
    HDbFind::closeDb();
    qunsetenv("PRODUCT_DB");
    QDir::setCurrent(QCoreApplication::applicationDirPath());
}

void TestServices::resolutionOrderAndMissingDatabase()
{
    // Working directory first, then beside the executable; PRODUCT_DB overrides both.
    const QString workDir = m_dir.filePath("work");
    QVERIFY(QDir().mkpath(workDir));
    const QString inWorkDir = seriesDb("work/Product.mdb", 1);
    const QString besideExe = appFolder("Product.mdb");
    QVERIFY(createProductDb(
        besideExe, {"insert into __product_series (id_series, product_type) values (2, 0)"}));
    const QString named = seriesDb("named.sqlite", 3);
    auto openedSeries = [] {
        HDbFind::closeDb();
        if (!HDbFind::open())
            return -1;
        QSqlQuery query = HDbFind::getDb()->query("select id_series from __product_series");
        return query.next() ? query.value(0).toInt() : 0;
    };
    QDir::setCurrent(workDir);
    QCOMPARE(openedSeries(), 1);
    QVERIFY(QFile::remove(inWorkDir));
    QCOMPARE(openedSeries(), 2);
    qputenv("PRODUCT_DB", named.toLocal8Bit());
    QCOMPARE(openedSeries(), 3);
    QCOMPARE(HDbFind::getDb()->fileName(), named);
    HDbFind::closeDb();
    QVERIFY(QFile::remove(besideExe));

    // Nowhere to be found: the message names every place looked at and nothing is created.
    qunsetenv("PRODUCT_DB");
    QString error;
    QVERIFY(!HDbFind::open(&error));
    for (const QString &place : {QDir(workDir).filePath("Product.mdb"), besideExe}) {
        QVERIFY2(error.contains(QDir::toNativeSeparators(place)), qPrintable(error));
        QVERIFY(!QFile::exists(place));
    }
    const QString nowhere = m_dir.filePath("nowhere/Product.sqlite");
    qputenv("PRODUCT_DB", nowhere.toLocal8Bit());
    QVERIFY(!HDbFind::open(&error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(nowhere)) && error.contains("PRODUCT_DB"),
             qPrintable(error));
    QVERIFY(!QFileInfo::exists(nowhere));
}

void TestServices::closedHandleStaysClosed()
{
    const QString path = seriesDb("closed.sqlite", 1);
    const QString other = seriesDb("other.sqlite", 2);
    qputenv("PRODUCT_DB", path.toLocal8Bit());
    QVERIFY(HDbFind::open());
    HDatabase *db = HDbFind::getDb();
    HDbFind::closeDb();

    // Nothing opens it again unasked, not even naming the same file again: callers keep the
    // same handle, and every statement on it fails saying that it is closed.
    HDbFind::setDbFileAndPwd("Product.mdb", "pw");
    QCOMPARE(HDbFind::getDb(), db);
    QVERIFY(!db->isOpen());
    QVERIFY(!db->transaction());
    QVERIFY2(db->errorString().contains("closed") && db->errorString().contains(path),
             qPrintable(db->errorString()));
    QVERIFY(!db->exec("delete from __product_series"));
    QVERIFY(!db->query("select 1").next());
    QVERIFY(HDbFind::getTableColumns("__product_series", "id_series", QString(), true).isEmpty());
    QCOMPARE(sqlValue(path, "select count(*) from __product_series"), QVariant(1));

    // An explicit open, or another file named, opens it again.
    QVERIFY(HDbFind::open());
    QVERIFY(db->isOpen());
    HDbFind::closeDb();
    qputenv("PRODUCT_DB", other.toLocal8Bit());
    HDbFind::setDbFileAndPwd("Other.mdb", "pw");
    QCOMPARE(HDbFind::getTableColumns("__product_series", "id_series", QString(), true),
             QStringList{"2"});
}

void TestServices::unusableFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("content"); // empty with a schema: a product database
    QTest::addColumn<QStringList>("schema"); // statements run on a new product database
    QTest::addColumn<QStringList>("named");  // parts the message names
    QTest::addColumn<QStringList>("unnamed");
    QByteArray jet(2048, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    QTest::newRow("empty") << QByteArray() << QStringList() << QStringList{"empty"}
                           << QStringList();
    QTest::newRow("text") << QByteArray("name;model\nA;B\n") << QStringList()
                          << QStringList{"neither an SQLite nor an Access"} << QStringList();
    QTest::newRow("truncated sqlite")
        << QByteArray("SQLite format 3\0garbage", 23) + QByteArray(200, 'x') << QStringList()
        << QStringList{"not a readable SQLite database"} << QStringList();
    QTest::newRow("access without driver")
        << jet << QStringList() << QStringList{"Access database"} << QStringList();
    QTest::newRow("wrong schema")
        << QByteArray()
        << QStringList{"drop table __rule_limit", "drop table __product_idx",
                       "create table __product_idx (product_code text, id_series integer)"}
        << QStringList{"__rule_limit", "__product_idx.model", "__product_idx.is_user_skip"}
        << QStringList{"__product_idx.product_code", "__rule_connect_ratio"};
}

void TestServices::unusableFilesAreRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, schema);
    QFETCH(QStringList, named);
    QFETCH(QStringList, unnamed);
    const QString path = m_dir.filePath("bad.mdb");
    QFile::remove(path);
    QVERIFY(schema.isEmpty() ? writeBytes(path, content) : createProductDb(path, schema));
    content = fileBytes(path);
    qputenv("PRODUCT_DB", path.toLocal8Bit());
    QString error;
    QVERIFY(!HDbFind::open(&error));
    QVERIFY(!HDbFind::getDb()->isOpen());
    if (schema.isEmpty())
        named << QDir::toNativeSeparators(path);
    for (const QString &part : named)
        QVERIFY2(error.contains(part), qPrintable(error));
    for (const QString &part : unnamed)
        QVERIFY2(!error.contains(part), qPrintable(error));
    QCOMPARE(fileBytes(path), content); // refusing a file leaves it untouched
}

// Without a display the program says why on standard error and exits with status 2; a
// database named on the command line wins over PRODUCT_DB.
void TestServices::programExitsWithMessageOnBadDatabase()
{
    const QString path = m_dir.filePath("nodb.mdb");
    QVERIFY(writeBytes(path, "not a database"));
    const QString good = seriesDb("good.sqlite", 1);
    const QString emptyDir = m_dir.filePath("empty");
    QVERIFY(QDir().mkpath(emptyDir));
    const struct
    {
        QString db, workDir;
        QStringList args, said;
    } runs[] = {{path, m_dir.path(), {}, {path, "neither an SQLite nor an Access"}},
                {good, m_dir.path(), {"--database", path}, {path, "neither an SQLite"}},
                {QString(), emptyDir, {}, {emptyDir, "was not found"}}};
    for (const auto &run : runs) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("PRODUCT_DB");
        if (!run.db.isEmpty())
            env.insert("PRODUCT_DB", run.db);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(run.workDir);
        process.start(PM_MAINTAINER_EXE, run.args);
        if (!process.waitForFinished(30000))
            process.kill();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 2);
        const QString said = QString::fromLocal8Bit(process.readAllStandardError());
        for (const QString &part : run.said)
            QVERIFY2(said.contains(part), qPrintable(said));
    }
    QVERIFY(QDir(emptyDir).isEmpty());
}

void TestServices::statementsTransactionsAndErrors()
{
    const QString path = m_dir.filePath("tx.sqlite");
    QVERIFY(createProductDb(path, {"insert into __rule_limit (rule_name) values ('zeta'), "
                                   "('alpha'), ('zeta'), ('中文'), ('')",
                                   "insert into __product_series (id_series, product_type, "
                                   "sub_catalog) values (1, 1, 'Duct'), (2, 0, 'Top'), "
                                   "(3, 1, 'Cassette'), (4, 1, 'Duct')"}));
    useProductDb(path);
    HDatabase *db = HDbFind::getDb();
    const QString count = "select count(*) from __rule_odu_idu_matching";
    QVERIFY(db->transaction());
    QVERIFY(db->exec("insert into __rule_odu_idu_matching (id_series_odu,id_series_idu) "
                     "values(1,2)"));
    QVERIFY(db->rollback());
    QCOMPARE(sqlValue(path, count), QVariant(0));

    // A transaction begun on getSqlDatabase() ends with commit() of the handle.
    QVERIFY(db->getSqlDatabase().transaction());
    QVERIFY(db->exec("insert into __rule_odu_idu_matching (id_series_odu,id_series_idu) "
                     "values(1,3)"));
    QCOMPARE(sqlValue(path, count), QVariant(0)); // not yet seen by another connection
    QVERIFY(db->commit());
    QCOMPARE(sqlRows(path, "select * from __rule_odu_idu_matching"), QStringList{"1|3"});

    // A failed statement leaves the database's own words.
    QVERIFY(!db->exec("insert into __rule_limit (ID, rule_name) values (1, NULL)"));
    QVERIFY2(db->errorString().contains("NOT NULL"), qPrintable(db->errorString()));
    QVERIFY(!db->query("select * from no_such_table").next());
    QVERIFY2(db->errorString().contains("no_such_table"), qPrintable(db->errorString()));

    // Column values: distinct ones in the order first seen, with or without a condition.
    QCOMPARE(HDbFind::getTableColumns("__rule_limit", "rule_name", QString(), true),
             (QStringList{"zeta", "alpha", "中文", QString()}));
    QCOMPARE(HDbFind::getTableColumns("__rule_limit", "rule_name", QString(), false).size(), 5);
    QCOMPARE(
        HDbFind::getTableColumns("__product_series", "sub_catalog", " [product_type] = 1", true),
        (QStringList{"Duct", "Cassette"}));
    QVERIFY(HDbFind::getTableColumns("no_table", "x", QString(), true).isEmpty());
}

void TestServices::odbcConnectionRunsTheSameStatements()
{
    // The Access path goes through ODBC; the SQLite ODBC driver stands in for it here.
    const QString path = m_dir.filePath("odbc.sqlite");
    QVERIFY(createProductDb(
        path,
        {"insert into __rule_pipe_dimension (rule_name) values ('PD-1'), ('PD-2'), ('PD-1')"}));
    HDatabase db;
    if (!db.openOdbc(QString("DRIVER={SQLite3};Database=%1").arg(path)))
        QSKIP(qPrintable("no SQLite ODBC driver: " + db.errorString()));
    QVERIFY(HProductSchema::missing(db.getSqlDatabase()).isEmpty());
    QCOMPARE(db.getTableColumns("__rule_pipe_dimension", "rule_name", QString(), true),
             (QStringList{"PD-1", "PD-2"}));
    const QString insert =
        "insert into __product_series (id_series, product_type, category) values (%1, 0, 'c')";
    QVERIFY(db.transaction());
    QVERIFY(db.exec(insert.arg(5)));
    QVERIFY(db.rollback());
    QVERIFY(db.transaction());
    QVERIFY(db.exec("update __product_series set [rule_limit] = 'L' where [id_series] = 5"));
    QVERIFY(db.exec(insert.arg(6)));
    QVERIFY(db.commit());
    {
        QSqlQuery rows = db.query("select * from __product_series where [id_series] = 6");
        QVERIFY(rows.next());
        QCOMPARE(rows.value("category").toString(), QString("c"));
    }
    db.closeDatabase();
    QCOMPARE(sqlValue(path, "select count(*) from __product_series"), QVariant(1));

    HDatabase broken;
    QVERIFY(!broken.openOdbc(QString("DRIVER={No Such Driver};Database=%1").arg(path)));
    QVERIFY(!broken.errorString().isEmpty());
}

void TestServices::jsonReadFailuresLeaveEmptyObject_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing file") << QByteArray();
    QTest::newRow("truncated") << QByteArray("{\"series_table\": [ {\"id_series\": 1");
    QTest::newRow("array at top") << QByteArray("[1, 2, 3]");
    QTest::newRow("binary") << QByteArray("\x00\xff\x13", 3);
}

void TestServices::jsonReadFailuresLeaveEmptyObject()
{
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath("scheme.json");
    QFile::remove(path);
    QVERIFY(content.isEmpty() || writeBytes(path, content));
    QJsonDocument doc = QJsonDocument(QJsonObject{{"stale", 1}});
    QString error;
    QVERIFY(!HJsonFunc::readFileToJsonDoc(path, doc, &error));
    QVERIFY(doc.object().isEmpty());
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
}

void TestServices::jsonWriteRoundTripsAndSkipsUnchanged()
{
    const QString path = m_dir.filePath("log/deeper/odu_and_idu.json");
    const QJsonObject object{{"b", 2}, {"a", "品牌"}, {"list", QJsonArray{1, 2}}};
    QString error;
    QVERIFY2(HJsonFunc::jsonDocToFile(QJsonDocument(object), path, QJsonDocument::Indented, &error),
             qPrintable(error));
    QJsonDocument back;
    QVERIFY(HJsonFunc::readFileToJsonDoc(path, back));
    QCOMPARE(back.object(), object);
    QVERIFY(fileBytes(path).contains("\n    \"a\": \"品牌\",\n    \"b\""));

    // The same document again leaves the file alone and counts as written.
    QVERIFY(FileFaults::age(path));
    const QDateTime aged = FileFaults::modified(path);
    QVERIFY(HJsonFunc::jsonDocToFile(QJsonDocument(object), path, QJsonDocument::Indented));
    QCOMPARE(FileFaults::modified(path), aged);

    // A parent that is a file cannot become a folder: reported, nothing written.
    QVERIFY(!HJsonFunc::jsonDocToFile(QJsonDocument(object), path + "/inner.json",
                                      QJsonDocument::Indented, &error));
    QVERIFY(!error.isEmpty());
}

void TestServices::md5KnownDigests()
{
    const std::pair<std::string, const char *> digests[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
        {std::string("a\0b", 3), "70350f6027bce3713f6b76473084309b"}};
    for (const auto &[input, digest] : digests)
        QCOMPARE(QString::fromStdString(MD5(input).md5()), QString(digest));
}

void TestServices::textIndexKeepsFirstPositions()
{
    // Sized right, too small (it grows many times) and far too large: each distinct text keeps
    // the position of its first insert, repeats and look-ups find it, other texts are absent.
    for (const qint64 expected : {qint64(3000), qint64(0), qint64(1) << 20}) {
        HTextIndex index(expected);
        QStringList inOrder;
        for (int i = 0; i < 6000; ++i) {
            const QString text =
                i % 2 ? QString::number(i / 2) : QStringLiteral("t%1").arg(i % 1500);
            bool added = false;
            const int at = index.insert(text, &added);
            QCOMPARE(added, !inOrder.contains(text));
            if (added)
                inOrder.append(text);
            QCOMPARE(at, inOrder.indexOf(text));
        }
        QCOMPARE(index.texts().toList(), inOrder);
        for (int i = 0; i < inOrder.size(); ++i)
            QCOMPARE(index.find(inOrder.at(i)), i);
        for (const QString &absent : {QString(), QStringLiteral("t1500"), QStringLiteral("3000")})
            QCOMPARE(index.find(absent), -1);
    }
}

QTEST_MAIN(TestServices)
#include "tst_services.moc"
