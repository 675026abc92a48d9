#include "filefaults.h"
#include "testhelpers.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hjsonfunc.h"
#include "hproductschema.h"
#include "md5.h"
#include "translatestring.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QSqlError>
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

    void resolutionOrder();
    void missingDatabaseIsNeverCreated();
    void closedHandleStaysClosed();
    void unusableFilesAreRefused_data();
    void unusableFilesAreRefused();
    void wrongSchemaNamesWhatIsMissing();
    void programExitsWithMessageOnBadDatabase();
    void transactionsCommitAndRollBack();
    void failedStatementsReportTheDatabaseError();
    void getTableColumnsDistinctInFirstSeenOrder();
    void escapeDoublesQuotes();
    void workbookOpenFailsCleanly();
    void odbcConnectionRunsTheSameStatements();

    void jsonReadFailuresLeaveEmptyObject_data();
    void jsonReadFailuresLeaveEmptyObject();
    void jsonWriteCreatesFolderAndRoundTrips();
    void jsonWriteUnderFullDisk_data();
    void jsonWriteUnderFullDisk();

    void md5KnownDigests_data();
    void md5KnownDigests();
    void translateStringReturnsTextWithoutTranslation();

private:
    QTemporaryDir m_dir;
};

void TestServices::init()
{
    QVERIFY(m_dir.isValid());
    HDbFind::closeDb();
    qunsetenv("PRODUCT_DB");
    HDbFind::setDbFileAndPwd(QStringLiteral("Product.mdb"), QStringLiteral("pw"));
}

void TestServices::cleanup()
{
    HDbFind::closeDb();
    qunsetenv("PRODUCT_DB");
    QDir::setCurrent(QCoreApplication::applicationDirPath());
}

void TestServices::resolutionOrder()
{
    // Working directory first, then beside the executable; PRODUCT_DB overrides both.
    const QString workDir = m_dir.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(workDir));
    const QString inWorkDir = workDir + QStringLiteral("/Product.mdb");
    QVERIFY(createProductDb(inWorkDir, {QStringLiteral("insert into __product_series (id_series, product_type) values (1, 0)")}));
    const QString besideExe = appFolder(QStringLiteral("Product.mdb"));
    QVERIFY(createProductDb(besideExe, {QStringLiteral("insert into __product_series (id_series, product_type) values (2, 0)")}));
    const QString named = m_dir.filePath(QStringLiteral("named.sqlite"));
    QVERIFY(createProductDb(named, {QStringLiteral("insert into __product_series (id_series, product_type) values (3, 0)")}));

    auto openedSeries = [] {
        HDbFind::closeDb();
        QString error;
        if (!HDbFind::open(&error))
            return -1;
        QSqlQuery query = HDbFind::getDb()->query(QStringLiteral("select id_series from __product_series"));
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
}

void TestServices::missingDatabaseIsNeverCreated()
{
    QDir::setCurrent(m_dir.path());
    QString error;
    QVERIFY(!HDbFind::open(&error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("Product.mdb")))), qPrintable(error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(appFolder(QStringLiteral("Product.mdb")))), qPrintable(error));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("Product.mdb"))));
    QVERIFY(!QFile::exists(appFolder(QStringLiteral("Product.mdb"))));

    // The shared handle is still usable as a closed one: statements fail, nothing appears.
    HDatabase *db = HDbFind::getDb();
    QVERIFY(db);
    QVERIFY(!db->isOpen());
    QVERIFY(!db->exec(QStringLiteral("create table t (a)")));
    QVERIFY(!db->query(QStringLiteral("select 1")).next());
    QVERIFY(HDbFind::getTableColumns(QStringLiteral("__rule_limit"), QStringLiteral("rule_name"), QString(), true).isEmpty());
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("Product.mdb"))));

    const QString named = m_dir.filePath(QStringLiteral("nowhere/Product.sqlite"));
    qputenv("PRODUCT_DB", named.toLocal8Bit());
    HDbFind::closeDb();
    QVERIFY(!HDbFind::open(&error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(named)) && error.contains(QStringLiteral("PRODUCT_DB")), qPrintable(error));
    QVERIFY(!QFileInfo::exists(named));
}

void TestServices::closedHandleStaysClosed()
{
    const QString path = m_dir.filePath(QStringLiteral("closed.sqlite"));
    const QString other = m_dir.filePath(QStringLiteral("other.sqlite"));
    QVERIFY(createProductDb(
        path,
        {QStringLiteral("insert into __product_series (id_series, product_type) values (1, 0)")}));
    QVERIFY(createProductDb(
        other,
        {QStringLiteral("insert into __product_series (id_series, product_type) values (2, 0)")}));
    qputenv("PRODUCT_DB", path.toLocal8Bit());
    QVERIFY(HDbFind::open());
    HDatabase *db = HDbFind::getDb();
    HDbFind::closeDb();

    // Nothing opens it again unasked, not even naming the same file again: callers keep the
    // same handle, and every statement on it fails saying that it is closed.
    HDbFind::setDbFileAndPwd(QStringLiteral("Product.mdb"), QStringLiteral("pw"));
    QCOMPARE(HDbFind::getDb(), db);
    QVERIFY(!db->isOpen());
    QVERIFY(!db->transaction());
    QVERIFY2(db->errorString().contains(QStringLiteral("closed")) &&
                 db->errorString().contains(path),
             qPrintable(db->errorString()));
    QVERIFY(!db->exec(QStringLiteral("delete from __product_series")));
    QVERIFY(!db->query(QStringLiteral("select 1")).next());
    QVERIFY(HDbFind::getTableColumns(QStringLiteral("__product_series"),
                                     QStringLiteral("id_series"), QString(), true)
                .isEmpty());
    QCOMPARE(sqlValue(path, QStringLiteral("select count(*) from __product_series")), QVariant(1));

    // An explicit open, or another file named, opens it again.
    QVERIFY(HDbFind::open());
    QVERIFY(db->isOpen());
    HDbFind::closeDb();
    qputenv("PRODUCT_DB", other.toLocal8Bit());
    HDbFind::setDbFileAndPwd(QStringLiteral("Other.mdb"), QStringLiteral("pw"));
    QCOMPARE(HDbFind::getTableColumns(QStringLiteral("__product_series"),
                                      QStringLiteral("id_series"), QString(), true),
             QStringList{QStringLiteral("2")});
}

void TestServices::unusableFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("empty");
    QTest::newRow("text") << QByteArray("name;model\nA;B\n") << QStringLiteral("neither an SQLite nor an Access");
    QTest::newRow("truncated sqlite") << QByteArray("SQLite format 3\0garbage", 23) + QByteArray(200, 'x')
                                      << QStringLiteral("not a readable SQLite database");
    QByteArray jet(2048, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    QTest::newRow("access without driver") << jet << QStringLiteral("Access database");
}

void TestServices::unusableFilesAreRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const QString path = m_dir.filePath(QStringLiteral("bad.mdb"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    qputenv("PRODUCT_DB", path.toLocal8Bit());
    QString error;
    QVERIFY(!HDbFind::open(&error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    QVERIFY2(error.contains(expected), qPrintable(error));
    QVERIFY(!HDbFind::getDb()->isOpen());
    // Refusing a file leaves it untouched.
    QFile check(path);
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), content);
}

void TestServices::wrongSchemaNamesWhatIsMissing()
{
    const QString path = m_dir.filePath(QStringLiteral("partial.sqlite"));
    QVERIFY(createProductDb(path, {QStringLiteral("drop table __rule_limit"),
                                   QStringLiteral("drop table __product_idx"),
                                   QStringLiteral("create table __product_idx (product_code text, id_series integer)")}));
    qputenv("PRODUCT_DB", path.toLocal8Bit());
    QString error;
    QVERIFY(!HDbFind::open(&error));
    QVERIFY2(error.contains(QStringLiteral("__rule_limit")), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("__product_idx.model")), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("__product_idx.is_user_skip")), qPrintable(error));
    QVERIFY2(!error.contains(QStringLiteral("__product_idx.product_code")), qPrintable(error));
    QVERIFY2(!error.contains(QStringLiteral("__rule_connect_ratio")), qPrintable(error));
    QVERIFY(!HDbFind::getDb()->isOpen());

    // A complete schema passes.
    QVERIFY(createProductDb(path));
    HDbFind::closeDb();
    QVERIFY(HDbFind::open(&error));
    QVERIFY(error.isEmpty());
}

void TestServices::programExitsWithMessageOnBadDatabase()
{
    const QString path = m_dir.filePath(QStringLiteral("nodb.mdb"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a database");
    file.close();

    auto run = [](const QString &dbPath, const QString &workDir) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        if (dbPath.isEmpty())
            env.remove(QStringLiteral("PRODUCT_DB"));
        else
            env.insert(QStringLiteral("PRODUCT_DB"), dbPath);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workDir);
        process.start(QStringLiteral(PM_MAINTAINER_EXE), QStringList());
        const bool finished = process.waitForFinished(30000);
        if (!finished)
            process.kill();
        return std::make_tuple(finished, process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError()));
    };

    auto [finished, code, stderrText] = run(path, m_dir.path());
    QVERIFY(finished);
    QVERIFY(code != 0);
    QVERIFY2(stderrText.contains(path) && stderrText.contains(QStringLiteral("neither an SQLite nor an Access")),
             qPrintable(stderrText));

    const QString emptyDir = m_dir.filePath(QStringLiteral("empty"));
    QVERIFY(QDir().mkpath(emptyDir));
    std::tie(finished, code, stderrText) = run(QString(), emptyDir);
    QVERIFY(finished);
    QVERIFY(code != 0);
    QVERIFY2(stderrText.contains(QStringLiteral("was not found")) && stderrText.contains(emptyDir),
             qPrintable(stderrText));
    QVERIFY(QDir(emptyDir).isEmpty());
}

void TestServices::transactionsCommitAndRollBack()
{
    const QString path = m_dir.filePath(QStringLiteral("tx.sqlite"));
    QVERIFY(createProductDb(path));
    useProductDb(path);
    HDatabase *db = HDbFind::getDb();
    QVERIFY(db->isOpen());

    QVERIFY(db->transaction());
    QVERIFY(db->exec(QStringLiteral("insert into __rule_odu_idu_matching (id_series_odu,id_series_idu) values(1,2)")));
    QVERIFY(db->rollback());
    QCOMPARE(sqlValue(path, QStringLiteral("select count(*) from __rule_odu_idu_matching")).toInt(), 0);

    // A transaction begun on getSqlDatabase() ends with commit() of the handle.
    QVERIFY(db->getSqlDatabase().transaction());
    QVERIFY(db->exec(QStringLiteral("delete from __rule_odu_idu_matching")));
    QVERIFY(db->exec(QStringLiteral("insert into __rule_odu_idu_matching (id_series_odu,id_series_idu) values(1,3)")));
    // Not yet visible to another connection.
    QCOMPARE(sqlValue(path, QStringLiteral("select count(*) from __rule_odu_idu_matching")).toInt(), 0);
    QVERIFY(db->commit());
    QCOMPARE(sqlRows(path, QStringLiteral("select * from __rule_odu_idu_matching")), QStringList{QStringLiteral("1|3")});
}

void TestServices::failedStatementsReportTheDatabaseError()
{
    const QString path = m_dir.filePath(QStringLiteral("err.sqlite"));
    QVERIFY(createProductDb(path));
    useProductDb(path);
    HDatabase *db = HDbFind::getDb();
    QVERIFY(!db->exec(QStringLiteral("insert into __rule_limit (ID, rule_name) values (1, NULL)")));
    QVERIFY2(db->errorString().contains(QStringLiteral("NOT NULL")), qPrintable(db->errorString()));
    QSqlQuery rows = db->query(QStringLiteral("select * from no_such_table"));
    QVERIFY(!rows.next());
    QVERIFY2(db->errorString().contains(QStringLiteral("no_such_table")), qPrintable(db->errorString()));
}

void TestServices::getTableColumnsDistinctInFirstSeenOrder()
{
    const QString path = m_dir.filePath(QStringLiteral("cols.sqlite"));
    QVERIFY(createProductDb(path, {
        QStringLiteral("insert into __rule_limit (rule_name) values ('zeta'), ('alpha'), ('zeta'), ('中文'), ('')"),
        QStringLiteral("insert into __product_series (id_series, product_type, sub_catalog) values "
                       "(1, 1, 'Duct'), (2, 0, 'Top'), (3, 1, 'Cassette'), (4, 1, 'Duct')"),
    }));
    useProductDb(path);
    QCOMPARE(HDbFind::getTableColumns(QStringLiteral("__rule_limit"), QStringLiteral("rule_name"), QString(), true),
             (QStringList{QStringLiteral("zeta"), QStringLiteral("alpha"), QStringLiteral("中文"), QString()}));
    QCOMPARE(HDbFind::getTableColumns(QStringLiteral("__rule_limit"), QStringLiteral("rule_name"), QString(), false).size(), 5);
    QCOMPARE(HDbFind::getTableColumns(QStringLiteral("__product_series"), QStringLiteral("sub_catalog"),
                                      QStringLiteral(" [product_type] = 1"), true),
             (QStringList{QStringLiteral("Duct"), QStringLiteral("Cassette")}));
    QVERIFY(HDbFind::getTableColumns(QStringLiteral("no_table"), QStringLiteral("x"), QString(), true).isEmpty());
}

void TestServices::escapeDoublesQuotes()
{
    const QString path = m_dir.filePath(QStringLiteral("quote.sqlite"));
    QVERIFY(createProductDb(path));
    useProductDb(path);
    const QString code = QStringLiteral("O'Brien''s 'x'");
    QCOMPARE(HDatabase::escape(code), QStringLiteral("O''Brien''''s ''x''"));
    QVERIFY(HDbFind::getDb()->exec(
        QStringLiteral("insert into __rule_unit_acc_controller_matching (id_series,product_code) values(%1,'%2')")
            .arg(7).arg(HDatabase::escape(code))));
    QCOMPARE(sqlValue(path, QStringLiteral("select product_code from __rule_unit_acc_controller_matching")).toString(), code);
}

void TestServices::workbookOpenFailsCleanly()
{
    HDatabase workbook;
    QVERIFY(workbook.closeDatabase()); // harmless before any open
    QVERIFY(!workbook.openExcelDatabase(m_dir.filePath(QStringLiteral("missing.xls")), QString()));
    QVERIFY(!workbook.errorString().isEmpty());
    QVERIFY(!workbook.isOpen());
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("missing.xls"))));
}

void TestServices::odbcConnectionRunsTheSameStatements()
{
    // The Access path goes through ODBC; the SQLite ODBC driver stands in for it here.
    const QString path = m_dir.filePath(QStringLiteral("odbc.sqlite"));
    QVERIFY(createProductDb(path, {QStringLiteral("insert into __rule_pipe_dimension (rule_name) values ('PD-1'), ('PD-2'), ('PD-1')")}));
    HDatabase db;
    if (!db.openOdbc(QStringLiteral("DRIVER={SQLite3};Database=%1").arg(path)))
        QSKIP(qPrintable(QStringLiteral("no SQLite ODBC driver: ") + db.errorString()));
    QVERIFY(HProductSchema::missing(db.getSqlDatabase()).isEmpty());
    QCOMPARE(db.getTableColumns(QStringLiteral("__rule_pipe_dimension"), QStringLiteral("rule_name"), QString(), true),
             (QStringList{QStringLiteral("PD-1"), QStringLiteral("PD-2")}));
    QVERIFY(db.transaction());
    QVERIFY(db.exec(QStringLiteral("insert into __product_series (id_series, product_type, category) values (5, 0, '%1')")
                        .arg(HDatabase::escape(QStringLiteral("it's")))));
    QVERIFY(db.rollback());
    QVERIFY(db.transaction());
    QVERIFY(db.exec(QStringLiteral("update __product_series set [rule_limit] = 'L' where [id_series] = 5")));
    QVERIFY(db.exec(QStringLiteral("insert into __product_series (id_series, product_type, category) values (6, 0, 'c')")));
    QVERIFY(db.commit());
    QSqlQuery rows = db.query(QStringLiteral("select * from __product_series where [id_series] = 6"));
    QVERIFY(rows.next());
    QCOMPARE(rows.value(QStringLiteral("category")).toString(), QStringLiteral("c"));
    rows = QSqlQuery();
    db.closeDatabase();
    QCOMPARE(sqlValue(path, QStringLiteral("select count(*) from __product_series")).toInt(), 1);

    HDatabase broken;
    QVERIFY(!broken.openOdbc(QStringLiteral("DRIVER={No Such Driver};Database=%1").arg(path)));
    QVERIFY(!broken.errorString().isEmpty());
}

void TestServices::jsonReadFailuresLeaveEmptyObject_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("create");
    QTest::newRow("missing file") << QByteArray() << false;
    QTest::newRow("truncated") << QByteArray("{\"series_table\": [ {\"id_series\": 1") << true;
    QTest::newRow("array at top") << QByteArray("[1, 2, 3]") << true;
    QTest::newRow("binary") << QByteArray("\x00\xff\x13", 3) << true;
}

void TestServices::jsonReadFailuresLeaveEmptyObject()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, create);
    const QString path = m_dir.filePath(QStringLiteral("scheme.json"));
    QFile::remove(path);
    if (create) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QJsonDocument doc = QJsonDocument(QJsonObject{{QStringLiteral("stale"), 1}});
    QString error;
    QVERIFY(!HJsonFunc::readFileToJsonDoc(path, doc, &error));
    QVERIFY(doc.object().isEmpty());
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
}

void TestServices::jsonWriteCreatesFolderAndRoundTrips()
{
    const QString path = m_dir.filePath(QStringLiteral("log/deeper/odu_and_idu.json"));
    const QJsonObject object{{QStringLiteral("b"), 2}, {QStringLiteral("a"), QStringLiteral("品牌")},
                             {QStringLiteral("list"), QJsonArray{1, 2}}};
    QString error;
    QVERIFY2(HJsonFunc::jsonDocToFile(HJsonFunc::jsonObjectToJsonDoc(object), path, QJsonDocument::Indented, &error),
             qPrintable(error));
    QJsonDocument back;
    QVERIFY(HJsonFunc::readFileToJsonDoc(path, back));
    QCOMPARE(back.object(), object);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.indexOf("\"a\"") < text.indexOf("\"b\"")); // keys in ascending order
    QVERIFY(text.contains("\n    \"a\""));                  // indented

    // The same document again leaves the file alone and counts as written.
    QVERIFY(FileFaults::age(path));
    const QDateTime aged = FileFaults::modified(path);
    QVERIFY(HJsonFunc::jsonDocToFile(QJsonDocument(object), path, QJsonDocument::Indented, &error));
    QCOMPARE(FileFaults::modified(path), aged);

    // A parent that is a file cannot become a folder: reported, nothing written.
    const QString blocked = m_dir.filePath(QStringLiteral("log/deeper/odu_and_idu.json/inner.json"));
    QVERIFY(!HJsonFunc::jsonDocToFile(QJsonDocument(object), blocked, QJsonDocument::Indented, &error));
    QVERIFY(!error.isEmpty());
}

void TestServices::jsonWriteUnderFullDisk_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("limit");
    QTest::newRow("3 KiB") << 3 * 1024 << 1024;
    QTest::newRow("12 KiB") << 12 * 1024 << 4096;
    QTest::newRow("200 KiB") << 200 * 1024 << 65536;
}

// A write that runs out of room fails, names the file, and leaves the previous file whole and
// no temporary file beside it; small writes too, which a buffered writer reports as done.
void TestServices::jsonWriteUnderFullDisk()
{
    QFETCH(int, size);
    QFETCH(int, limit);
    const QString path = m_dir.filePath(QStringLiteral("full/A.json"));
    QFile::remove(path);
    const QJsonObject old{{QStringLiteral("install_code"), QJsonObject{{QStringLiteral("X"), QString()}}}};
    QVERIFY(HJsonFunc::jsonDocToFile(QJsonDocument(old), path, QJsonDocument::Indented));
    const QByteArray oldBytes = fileBytes(path);

    QJsonArray models;
    for (int i = 0; i < size / 16; ++i)
        models.append(QStringLiteral("model-%1").arg(i));
    const QJsonDocument doc(QJsonObject{{QStringLiteral("idx_table"), models}});
    QVERIFY(doc.toJson().size() > size);
    const QByteArray reply = FileFaults::inChild(limit, [&] {
        QString error;
        const bool written =
            HJsonFunc::jsonDocToFile(doc, path, QJsonDocument::Indented, &error);
        return QByteArray(written ? "written " : "failed ") + error.toUtf8();
    });
    const QByteArray named = QFile::encodeName(QDir::toNativeSeparators(path));
    QVERIFY2(reply.startsWith("failed ") && reply.contains(named), reply.constData());
    QCOMPARE(FileFaults::folderContents(m_dir.filePath(QStringLiteral("full"))),
             (QMap<QString, QByteArray>{{QStringLiteral("A.json"), oldBytes}}));
}

void TestServices::md5KnownDigests_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("digest");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
    QTest::newRow("abc") << QByteArray("abc") << QStringLiteral("900150983cd24fb0d6963f7d28e17f72");
    QTest::newRow("fox") << QByteArray("The quick brown fox jumps over the lazy dog")
                         << QStringLiteral("9e107d9d372bb6826bd81d3542a419d6");
    QTest::newRow("utf8") << QStringLiteral("安装码").toUtf8()
                          << QString::fromLatin1(QCryptographicHash::hash(QStringLiteral("安装码").toUtf8(),
                                                                          QCryptographicHash::Md5).toHex());
    QTest::newRow("embedded nul") << QByteArray("a\0b", 3)
                                  << QString::fromLatin1(QCryptographicHash::hash(QByteArray("a\0b", 3),
                                                                                  QCryptographicHash::Md5).toHex());
}

void TestServices::md5KnownDigests()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, digest);
    const MD5 md5(std::string(input.constData(), static_cast<size_t>(input.size())));
    QCOMPARE(QString::fromStdString(md5.md5()), digest);
}

void TestServices::translateStringReturnsTextWithoutTranslation()
{
    QCOMPARE(TranslateString(QStringLiteral("Select Rule")), QStringLiteral("Select Rule"));
    QCOMPARE(TranslateString(QStringLiteral("数据库错误:")), QStringLiteral("数据库错误:"));
    QCOMPARE(TranslateString(QString()), QString());
}

QTEST_MAIN(TestServices)
#include "tst_services.moc"
