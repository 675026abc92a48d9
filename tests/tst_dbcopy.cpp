// product-dbcopy run as a user runs it (a child process), from SQLite files into a target on
// the suite's back end (tst_dbcopy: SQLite files; tst_dbcopy_postgresql: server databases)
// and back; and the Access reader on a real Access file.

#include "hdbcopy.h"
#include "hmdbreader.h"
#include "testhelpers.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace TestHelpers;

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// `fileLimit` > 0 runs the program with files limited to that many KiB (a full disk).
Run dbcopy(const QStringList &args, int fileLimit = 0)
{
    QProcess process;
    if (fileLimit > 0) {
        QStringList shell = {
            QStringLiteral("-c"),
            QStringLiteral("trap '' XFSZ; ulimit -f %1; exec \"$0\" \"$@\"").arg(fileLimit),
            QStringLiteral(PM_DBCOPY_EXE)};
        process.start(QStringLiteral("/bin/bash"), shell + args);
    } else {
        process.start(QStringLiteral(PM_DBCOPY_EXE), args);
    }
    process.waitForFinished(300000);
    Run run;
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// The sources and the copies taken home are SQLite files whatever the suite's back end.
bool makeFile(const QString &path, const QStringList &statements, QString *error)
{
    SqliteFiles files;
    return createProductDb(path, statements, error);
}

QStringList fileRows(const QString &path, const QString &sql)
{
    SqliteFiles files;
    return sqlRows(path, sql);
}

// A copy's target on the suite's back end: a file not there yet, or an empty server
// database; `path` names it to the test helpers, `location` to product-dbcopy.
struct Target
{
    QString path;
    QString location;
};

const QString kLong = QString(100000, QLatin1Char('x')) + QStringLiteral("end");

// A source with values that break naive copies: quotes, backslashes, non-ASCII, a long text,
// NULL beside '', reals that print badly, a detail table of the tool's layout and one with
// columns of its own, a series naming a table that is not there, and more rows than one
// insert batch.
QStringList sourceRows()
{
    return {
        QStringLiteral("insert into __product_series (ID, id_series, product_type, product_series, "
                       "table_name, rule_limit) values "
                       "(1, 10, 1, 'O''Brien \"X\" \\\\ back', 'dt_std', NULL), "
                       "(2, 20, 2, '空调 ❄ série', 'Dt Wide/ä', ''), "
                       "(5, 30, 1, 'gone', 'dt_missing', 'L1')"),
        QStringLiteral("insert into __product_idx (product_code, id_series, model, base_model, "
                       "capacity_kw) values "
                       "('C''1', 10, '%1', 'a\\b\\\\c', 0.1), "
                       "('C\\2', 20, '  spaced  ', '', 1e-300), "
                       "('C3', 20, 'tab\tand\nnewline', '%%_', NULL)")
            .arg(kLong),
        QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < "
                       "250) insert into __product_idx (product_code, id_series, model, "
                       "capacity_kw) select 'P' || substr('0000' || i, -4), 10, 'M' || i, "
                       "i / 7.0 from n"),
        QStringLiteral("insert into __rule_limit (ID, rule_name, max_pipe_length_m) values "
                       "(7, 'L1', 120)"),
        QStringLiteral("insert into __rule_odu_acc_matching values (10, 'C''1', NULL), "
                       "(10, 'C''1', NULL), (20, 'C3', '')"),
        QStringLiteral("create table dt_std (ID INTEGER PRIMARY KEY AUTOINCREMENT, model TEXT NOT "
                       "NULL, type INTEGER NOT NULL DEFAULT 0, capacity_kw REAL, power_w REAL, "
                       "remark TEXT)"),
        QStringLiteral("insert into dt_std (model, type, capacity_kw, remark) values "
                       "('M1', 1, 2.8, NULL), ('M2', 2, 3.6, '')"),
        QStringLiteral("create table [Dt Wide/ä] (model TEXT, eer REAL, noise INTEGER, note TEXT)"),
        QStringLiteral("insert into [Dt Wide/ä] values ('W1', 3.21, 42, 'ü'), "
                       "('W1', 3.21, 42, 'ü'), (NULL, NULL, NULL, NULL)"),
    };
}

const QStringList kTables = {
    QStringLiteral("__product_series"), QStringLiteral("__product_idx"),
    QStringLiteral("__rule_limit"),     QStringLiteral("__rule_odu_acc_matching"),
    QStringLiteral("__rule_altitude"),  QStringLiteral("dt_std"),
    QStringLiteral("Dt Wide/ä")};

// Every row of a table of an SQLite file with each value's type and text, NULL apart from ''.
QStringList sqliteTable(const QString &path, const QString &table)
{
    const QStringList columns =
        fileRows(path, QStringLiteral("select name from pragma_table_info('%1')").arg(table));
    QStringList parts;
    for (const QString &column : columns)
        parts.append(QStringLiteral("typeof([%1]) || ':' || coalesce([%1], '')").arg(column));
    QStringList rows = fileRows(path, QStringLiteral("select %1 from [%2]")
                                          .arg(parts.join(QStringLiteral(" || '|' || ")), table));
    rows.sort();
    return rows;
}

} // namespace

class TestDbCopy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { PM_REQUIRE_BACKEND(); }
    void roundTrip();
    void faults_data();
    void faults();
    void accessSample();

private:
    Target target()
    {
        const QString path = m_dir.filePath(QStringLiteral("target-%1.sqlite").arg(++m_count));
        if (!onPostgreSql())
            return {path, path};
        const QString location = databaseLocation(path);
        const QString name = location.section(QLatin1Char('/'), -1);
        QString error;
        if (!execServerSql({QStringLiteral("create database \"%1\"").arg(name)}, &error))
            qWarning("%s", qPrintable(error));
        return {path, location};
    }

    QTemporaryDir m_dir;
    int m_count = 0;
};

// SQLite -> back end -> SQLite gives the same tables, types and rows; the copy's own numbering
// goes on after the copied rows.
void TestDbCopy::roundTrip()
{
    const QString source = m_dir.filePath(QStringLiteral("source.sqlite"));
    QString error;
    QVERIFY2(makeFile(source, sourceRows(), &error), qPrintable(error));

    const Target middle = target();
    const Run there = dbcopy({source, middle.location});
    QCOMPARE(there.code, 0);
    QVERIFY2(there.out.contains(QLatin1String("checksums match")), qPrintable(there.out));
    QVERIFY2(there.err.contains(QLatin1String("dt_missing")), qPrintable(there.err));
    QVERIFY2(there.err.contains(QLatin1String("[100%]")), qPrintable(there.err));

    const QString back = m_dir.filePath(QStringLiteral("back.sqlite"));
    const Run home = dbcopy({QStringLiteral("--quiet"), middle.location, back});
    QCOMPARE(home.code, 0);
    QVERIFY2(!home.err.contains(QLatin1String("%]")), qPrintable(home.err));

    for (const QString &table : kTables) {
        const QStringList expected = sqliteTable(source, table);
        QCOMPARE(sqliteTable(back, table), expected);
    }
    QCOMPARE(fileRows(back, QStringLiteral("select length(model) from __product_idx where "
                                           "product_code = 'C''1'")),
             QStringList{QString::number(kLong.size())});
    // The tables are made as the tool reads them (names folded on a server, "ID" kept), and
    // the tool's next rule row on the copy gets a number of its own.
    QVERIFY(execSql(middle.path,
                    {QStringLiteral("insert into [__rule_limit] ([rule_name]) values ('new')")}));
    QCOMPARE(sqlRows(middle.path, QStringLiteral("select ID from __rule_limit where rule_name = "
                                                 "'new'")),
             QStringList{QStringLiteral("8")});
    QCOMPARE(sqlRows(middle.path, QStringLiteral("select model, ID from dt_std order by ID")),
             (QStringList{QStringLiteral("M1|1"), QStringLiteral("M2|2")}));
    // With their indexes: tables made many to a statement lose none.
    const QString indexes = QStringLiteral(
        "select %1 from %2 where %1 in ('idx_dt_std_model', 'idx_product_series_type') order by 1");
    QCOMPARE(sqlRows(middle.path, onPostgreSql() ? indexes.arg("indexname", "pg_indexes")
                                                 : indexes.arg("name", "sqlite_master")),
             (QStringList{QStringLiteral("idx_dt_std_model"),
                          QStringLiteral("idx_product_series_type")}));
}

void TestDbCopy::faults_data()
{
    QTest::addColumn<QString>("prepare"); // what the target holds before
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("extraSource"); // a statement added to the source
    QTest::addColumn<int>("fileLimit");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    const QString nul = QStringLiteral(
        "insert into __rule_altitude (rule_name, altitude_m) values ('a' || char(0) || 'b', 1)");
    const bool server = onPostgreSql();
    QTest::newRow("filled target refused")
        << "filled" << QStringList() << QString() << 0 << 1 << "--replace";
    QTest::newRow("filled target replaced") << "filled" << QStringList{QStringLiteral("--replace")}
                                            << QString() << 0 << 0 << "checksums match";
    QTest::newRow("insert refused mid-copy")
        << "trigger" << QStringList() << QString() << 0 << 1 << "refused here";
    QTest::newRow("NUL in a text") << "" << QStringList() << nul << 0 << (server ? 1 : 0)
                                   << (server ? "NUL" : "checksums match");
    // Cases of file targets: a disk that fills up, an Access file, the source itself.
    QTest::newRow("full disk, new file")
        << "file" << QStringList() << QString() << 200 << 1 << "nothing copied";
    QTest::newRow("full disk, existing file")
        << "file,empty" << QStringList() << QString() << 200 << 1 << "nothing copied";
    QTest::newRow("access target") << "file,access" << QStringList() << QString() << 0 << 1
                                   << "Access files are read, never written";
    QTest::newRow("same database")
        << "file,same" << QStringList() << QString() << 0 << 1 << "the same database";
}

// Each fault leaves the target as it was and exits non-zero with a message that says why.
void TestDbCopy::faults()
{
    QFETCH(QString, prepare);
    QFETCH(QStringList, options);
    QFETCH(QString, extraSource);
    QFETCH(int, fileLimit);
    QFETCH(int, code);
    QFETCH(QString, message);
    if (prepare.startsWith(QLatin1String("file")) && onPostgreSql())
        QSKIP("a case of SQLite file targets, run by tst_dbcopy");

    const QString source = m_dir.filePath(QStringLiteral("fault-source-%1.sqlite").arg(++m_count));
    QStringList rows = sourceRows();
    if (!extraSource.isEmpty())
        rows.append(extraSource);
    if (fileLimit > 0) // more than the limit to write
        rows.append(QStringLiteral("insert into __rule_unit_type (rule_name, description) "
                                   "select 'big', replace(hex(zeroblob(150000)), '0', 'y') from "
                                   "__product_idx limit 10"));
    QString error;
    QVERIFY2(makeFile(source, rows, &error), qPrintable(error));

    Target t;
    if (prepare.endsWith(QLatin1String("access")))
        t.path = t.location = m_dir.filePath(QStringLiteral("copy.accdb"));
    else if (prepare.endsWith(QLatin1String("same")))
        t.path = t.location = source;
    else
        t = target();

    if (prepare == QLatin1String("filled") || prepare.endsWith(QLatin1String("empty")) ||
        prepare == QLatin1String("trigger")) {
        const QString other = m_dir.filePath(QStringLiteral("other-%1.sqlite").arg(++m_count));
        QVERIFY(makeFile(other,
                         prepare == QLatin1String("filled")
                             ? QStringList{QStringLiteral("insert into __product_series "
                                                          "(id_series, product_series) values "
                                                          "(99, 'old')")}
                             : QStringList(),
                         &error));
        QCOMPARE(dbcopy({QStringLiteral("--quiet"), other, t.location}).code, 0);
    }
    if (prepare == QLatin1String("trigger"))
        QVERIFY(execSql(t.path,
                        refusingTriggers(QStringLiteral("__product_idx"),
                                         {QStringLiteral("insert")}, QStringLiteral("refused here"),
                                         QStringLiteral("new.product_code = 'P0150'"))));
    const bool existed = onPostgreSql() || QFileInfo::exists(t.path);
    const QString series = QStringLiteral("select id_series, product_series from "
                                          "__product_series order by id_series");
    const QString models = QStringLiteral("select count(*) from __product_idx");
    const QStringList before =
        existed ? sqlRows(t.path, series) + sqlRows(t.path, models) : QStringList();
    const QByteArray bytesBefore = onPostgreSql() ? QByteArray() : fileBytes(t.path);

    const Run run =
        dbcopy(options + QStringList{QStringLiteral("--quiet"), source, t.location}, fileLimit);
    QVERIFY2(run.code == code, qPrintable(run.err + run.out));
    QVERIFY2((run.err + run.out).contains(message), qPrintable(run.err + run.out));

    if (code == 0) {
        QCOMPARE(sqlRows(t.path, models), QStringList{QStringLiteral("253")});
        QCOMPARE(sqlRows(t.path, series).size(), 3);
        if (!extraSource.isEmpty())
            QCOMPARE(sqlRows(t.path, QStringLiteral("select length(cast(rule_name as blob)) "
                                                    "from __rule_altitude")),
                     QStringList{QStringLiteral("3")});
        return;
    }
    if (!existed) {
        QVERIFY2(!QFileInfo::exists(t.path), "a target made for the copy stays after a failure");
        QVERIFY(!QFileInfo::exists(t.path + QStringLiteral("-journal")));
        return;
    }
    QCOMPARE(sqlRows(t.path, series) + sqlRows(t.path, models), before);
    if (!onPostgreSql() && !prepare.endsWith(QLatin1String("same")))
        QVERIFY2(fileBytes(t.path) == bytesBefore, "the target file changed");
}

// The reader on a real Access file (tests/data/README.md says where it comes from); it holds
// no product tables, which the program says.
void TestDbCopy::accessSample()
{
    if (onPostgreSql())
        QSKIP("reads a file into a file, run by tst_dbcopy");
    const QString sample = QStringLiteral(PM_SOURCE_DIR "/tests/data/fruit.mdb");
    HMdbReader reader;
    QVERIFY2(reader.open(sample), qPrintable(reader.errorString()));
    QString error;
    QStringList tables = reader.tableNames(&error);
    tables.sort();
    QCOMPARE(tables, (QStringList{QStringLiteral("Dried"), QStringLiteral("Fruit"),
                                  QStringLiteral("Fruit Salad"), QStringLiteral("Muffin/Bread"),
                                  QStringLiteral("Veggie Salad")}));
    QVector<HDbColumn> columns;
    QVERIFY(reader.columns(QStringLiteral("Fruit"), &columns, &error));
    QCOMPARE(columns.size(), 11);
    QCOMPARE(columns.at(0).name, QStringLiteral("Fruit"));
    QCOMPARE(columns.at(0).kind, HDbColumn::Text);
    QCOMPARE(columns.at(5).name, QStringLiteral("Vit A"));
    QCOMPARE(columns.at(5).kind, HDbColumn::Integer);
    QCOMPARE(reader.rowCount(QStringLiteral("Fruit")), 37);
    QStringList rows;
    QVERIFY(reader.readRows(
        QStringLiteral("Fruit"), columns,
        [&](const QVector<QVariant> &row) {
            QStringList values;
            for (const QVariant &v : row)
                values.append(v.toString());
            rows.append(values.join(QLatin1Char('|')));
            return true;
        },
        &error));
    QCOMPARE(rows.size(), 37);
    QVERIFY(rows.contains(QStringLiteral("Apricot|2|0|1|8|420|5|0|0|0|0")));
    QCOMPARE(reader.readRows(
                 QStringLiteral("Fruit"), {{QStringLiteral("Colour"), HDbColumn::Text}},
                 [](const QVector<QVariant> &) { return true; }, &error),
             false);
    QVERIFY(error.contains(QLatin1String("Colour")));

    const QString out = m_dir.filePath(QStringLiteral("fruit.sqlite"));
    Run run = dbcopy({sample, out});
    QCOMPARE(run.code, 1);
    QVERIFY2(run.err.contains(QLatin1String("no product tables")), qPrintable(run.err));
    QVERIFY(!QFileInfo::exists(out));

    // Not Access files: an Access header over noise, and a text under an Access name.
    QByteArray damaged = fileBytes(sample).left(4096);
    damaged.replace(4096 - 2048, 2048, QByteArray(2048, '\x5a'));
    const QString broken = m_dir.filePath(QStringLiteral("broken.mdb"));
    QVERIFY(writeBytes(broken, damaged.left(2048)));
    const QString text = m_dir.filePath(QStringLiteral("text.accdb"));
    QVERIFY(writeBytes(text, "just text\n"));
    for (const QString &file : {broken, text}) {
        run = dbcopy({file, out});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QLatin1String("Access")) &&
                     !run.err.contains(QLatin1String("copied")),
                 qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
    }
}

QTEST_GUILESS_MAIN(TestDbCopy)
#include "tst_dbcopy.moc"
