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
    if (fileLimit > 0)
        process.start(
            "/bin/bash",
            QStringList{"-c",
                        QString("trap '' XFSZ; ulimit -f %1; exec \"$0\" \"$@\"").arg(fileLimit),
                        PM_DBCOPY_EXE} +
                args);
    else
        process.start(PM_DBCOPY_EXE, args);
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

const QString kLong = QString(100000, QLatin1Char('x')) + "end";

// A source with values that break naive copies: quotes, backslashes, non-ASCII, a long text,
// NULL beside '', reals that print badly, a detail table of the tool's layout and one with
// columns of its own, a series naming a table that is not there, and more rows than one
// insert batch.
QStringList sourceRows()
{
    return {
        "insert into __product_series (ID, id_series, product_type, product_series, table_name, "
        "rule_limit) values (1, 10, 1, 'O''Brien \"X\" \\\\ back', 'dt_std', NULL), "
        "(2, 20, 2, '空调 ❄ série', 'Dt Wide/ä', ''), (5, 30, 1, 'gone', 'dt_missing', 'L1')",
        QString("insert into __product_idx (product_code, id_series, model, base_model, "
                "capacity_kw) values ('C''1', 10, '%1', 'a\\b\\\\c', 0.1), "
                "('C\\2', 20, '  spaced  ', '', 1e-300), "
                "('C3', 20, 'tab\tand\nnewline', '%%_', NULL)")
            .arg(kLong),
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 250) insert "
        "into __product_idx (product_code, id_series, model, capacity_kw) select "
        "'P' || substr('0000' || i, -4), 10, 'M' || i, i / 7.0 from n",
        "insert into __rule_limit (ID, rule_name, max_pipe_length_m) values (7, 'L1', 120)",
        "insert into __rule_odu_acc_matching values (10, 'C''1', NULL), (10, 'C''1', NULL), "
        "(20, 'C3', '')",
        "create table dt_std (ID INTEGER PRIMARY KEY AUTOINCREMENT, model TEXT NOT NULL, "
        "type INTEGER NOT NULL DEFAULT 0, capacity_kw REAL, power_w REAL, remark TEXT)",
        "insert into dt_std (model, type, capacity_kw, remark) values ('M1', 1, 2.8, NULL), "
        "('M2', 2, 3.6, '')",
        "create table [Dt Wide/ä] (model TEXT, eer REAL, noise INTEGER, note TEXT)",
        "insert into [Dt Wide/ä] values ('W1', 3.21, 42, 'ü'), ('W1', 3.21, 42, 'ü'), "
        "(NULL, NULL, NULL, NULL)",
    };
}

const QStringList kTables = {
    "__product_series", "__product_idx", "__rule_limit", "__rule_odu_acc_matching",
    "__rule_altitude",  "dt_std",        "Dt Wide/ä"};

// Every row of a table of an SQLite file with each value's type and text, NULL apart from ''.
QStringList sqliteTable(const QString &path, const QString &table)
{
    QStringList parts;
    for (const QString &column :
         fileRows(path, QString("select name from pragma_table_info('%1')").arg(table)))
        parts.append(QString("typeof([%1]) || ':' || coalesce([%1], '')").arg(column));
    QStringList rows =
        fileRows(path, QString("select %1 from [%2]").arg(parts.join(" || '|' || "), table));
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
        const QString path = m_dir.filePath(QString("target-%1.sqlite").arg(++m_count));
        if (!onPostgreSql())
            return {path, path};
        const QString location = databaseLocation(path);
        QString error;
        if (!execServerSql({QString("create database \"%1\"").arg(location.section('/', -1))},
                           &error))
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
    const QString source = m_dir.filePath("source.sqlite");
    QString error;
    QVERIFY2(makeFile(source, sourceRows(), &error), qPrintable(error));

    const Target middle = target();
    const Run there = dbcopy({source, middle.location});
    QCOMPARE(there.code, 0);
    QVERIFY2(there.out.contains("checksums match"), qPrintable(there.out));
    QVERIFY2(there.err.contains("dt_missing") && there.err.contains("[100%]"),
             qPrintable(there.err));

    const QString back = m_dir.filePath("back.sqlite");
    const Run home = dbcopy({"--quiet", middle.location, back});
    QCOMPARE(home.code, 0);
    QVERIFY2(!home.err.contains("%]"), qPrintable(home.err));

    for (const QString &table : kTables)
        QCOMPARE(sqliteTable(back, table), sqliteTable(source, table));
    QCOMPARE(fileRows(back, "select length(model) from __product_idx where product_code = 'C''1'"),
             QStringList{QString::number(kLong.size())});
    // The tables are made as the tool reads them (names folded on a server, "ID" kept), and
    // the tool's next rule row on the copy gets a number of its own.
    QVERIFY(execSql(middle.path, {"insert into [__rule_limit] ([rule_name]) values ('new')"}));
    QCOMPARE(sqlRows(middle.path, "select ID from __rule_limit where rule_name = 'new'"),
             QStringList{"8"});
    QCOMPARE(sqlRows(middle.path, "select model, ID from dt_std order by ID"),
             QStringList({"M1|1", "M2|2"}));
    // With their indexes: tables made many to a statement lose none.
    const QString indexes =
        "select %1 from %2 where %1 in ('idx_dt_std_model', 'idx_product_series_type') order by 1";
    QCOMPARE(sqlRows(middle.path, onPostgreSql() ? indexes.arg("indexname", "pg_indexes")
                                                 : indexes.arg("name", "sqlite_master")),
             QStringList({"idx_dt_std_model", "idx_product_series_type"}));
}

void TestDbCopy::faults_data()
{
    // What the case sets up, words joined by ',': "filled" (a target holding other rows),
    // "replace" (run with --replace), "trigger" (inserts refused on the target), "nul" (a text
    // with a NUL in the source), "full" (a disk that fills up), "empty" (an empty target
    // file), "access" (an Access file as the target), "same" (the source as the target).
    // Cases starting with "file" are of file targets only.
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    const bool server = onPostgreSql();
    QTest::newRow("filled target refused") << "filled" << 1 << "--replace";
    QTest::newRow("filled target replaced") << "filled,replace" << 0 << "checksums match";
    QTest::newRow("insert refused mid-copy") << "trigger" << 1 << "refused here";
    QTest::newRow("NUL in a text")
        << "nul" << (server ? 1 : 0) << (server ? "NUL" : "checksums match");
    QTest::newRow("full disk, new file") << "file,full" << 1 << "nothing copied";
    QTest::newRow("full disk, existing file") << "file,full,empty" << 1 << "nothing copied";
    QTest::newRow("access target") << "file,access" << 1 << "Access files are read, never written";
    QTest::newRow("same database") << "file,same" << 1 << "the same database";
}

// Each fault leaves the target as it was and exits non-zero with a message that says why.
void TestDbCopy::faults()
{
    QFETCH(QString, setup);
    QFETCH(int, code);
    QFETCH(QString, message);
    const QStringList words = setup.split(',');
    if (words.first() == "file" && onPostgreSql())
        QSKIP("a case of SQLite file targets, run by tst_dbcopy");

    const QString source = m_dir.filePath(QString("fault-source-%1.sqlite").arg(++m_count));
    QStringList rows = sourceRows();
    if (words.contains("nul"))
        rows << "insert into __rule_altitude (rule_name, altitude_m) values "
                "('a' || char(0) || 'b', 1)";
    if (words.contains("full")) // more than the limit to write
        rows << "insert into __rule_unit_type (rule_name, description) select 'big', "
                "replace(hex(zeroblob(150000)), '0', 'y') from __product_idx limit 10";
    QString error;
    QVERIFY2(makeFile(source, rows, &error), qPrintable(error));

    Target t;
    if (words.contains("access"))
        t.path = t.location = m_dir.filePath("copy.accdb");
    else if (words.contains("same"))
        t.path = t.location = source;
    else
        t = target();
    if (words.contains("filled") || words.contains("empty") || words.contains("trigger")) {
        const QString other = m_dir.filePath(QString("other-%1.sqlite").arg(++m_count));
        QVERIFY(makeFile(other,
                         words.contains("filled")
                             ? QStringList{"insert into __product_series (id_series, "
                                           "product_series) values (99, 'old')"}
                             : QStringList(),
                         &error));
        QCOMPARE(dbcopy({"--quiet", other, t.location}).code, 0);
    }
    if (words.contains("trigger"))
        QVERIFY(execSql(t.path, refusingTriggers("__product_idx", {"insert"}, "refused here",
                                                 "new.product_code = 'P0150'")));
    const bool existed = onPostgreSql() || QFileInfo::exists(t.path);
    const QString series = "select id_series, product_series from __product_series order by 1";
    const QString models = "select count(*) from __product_idx";
    const QStringList before =
        existed ? sqlRows(t.path, series) + sqlRows(t.path, models) : QStringList();
    const QByteArray bytesBefore = onPostgreSql() ? QByteArray() : fileBytes(t.path);

    const QStringList options =
        words.contains("replace") ? QStringList{"--replace"} : QStringList();
    const Run run = dbcopy(options + QStringList{"--quiet", source, t.location},
                           words.contains("full") ? 200 : 0);
    QVERIFY2(run.code == code, qPrintable(run.err + run.out));
    QVERIFY2((run.err + run.out).contains(message), qPrintable(run.err + run.out));

    if (code == 0) {
        QCOMPARE(sqlRows(t.path, models), QStringList{"253"});
        QCOMPARE(sqlRows(t.path, series).size(), 3);
        if (words.contains("nul"))
            QCOMPARE(sqlRows(t.path, "select length(cast(rule_name as blob)) from __rule_altitude"),
                     QStringList{"3"});
        return;
    }
    if (!existed) {
        QVERIFY2(!QFileInfo::exists(t.path), "a target made for the copy stays after a failure");
        QVERIFY(!QFileInfo::exists(t.path + "-journal"));
        return;
    }
    QCOMPARE(sqlRows(t.path, series) + sqlRows(t.path, models), before);
    if (!onPostgreSql() && !words.contains("same"))
        QVERIFY2(fileBytes(t.path) == bytesBefore, "the target file changed");
}

// The reader on a real Access file (tests/data/README.md says where it comes from); it holds
// no product tables, which the program says.
void TestDbCopy::accessSample()
{
    if (onPostgreSql())
        QSKIP("reads a file into a file, run by tst_dbcopy");
    const QString sample = PM_SOURCE_DIR "/tests/data/fruit.mdb";
    HMdbReader reader;
    QVERIFY2(reader.open(sample), qPrintable(reader.errorString()));
    QString error;
    QStringList tables = reader.tableNames(&error);
    tables.sort();
    QCOMPARE(tables,
             QStringList({"Dried", "Fruit", "Fruit Salad", "Muffin/Bread", "Veggie Salad"}));
    QVector<HDbColumn> columns;
    QVERIFY(reader.columns("Fruit", &columns, &error));
    QCOMPARE(columns.size(), 11);
    QCOMPARE(columns.at(0).name + "|" + columns.at(5).name, QString("Fruit|Vit A"));
    QCOMPARE(columns.at(0).kind, HDbColumn::Text);
    QCOMPARE(columns.at(5).kind, HDbColumn::Integer);
    QCOMPARE(reader.rowCount("Fruit"), 37);
    QStringList rows;
    QVERIFY(reader.readRows(
        "Fruit", columns,
        [&](const QVector<QVariant> &row) {
            QStringList values;
            for (const QVariant &v : row)
                values.append(v.toString());
            rows.append(values.join('|'));
            return true;
        },
        &error));
    QCOMPARE(rows.size(), 37);
    QVERIFY(rows.contains("Apricot|2|0|1|8|420|5|0|0|0|0"));
    QVERIFY(!reader.readRows(
        "Fruit", {{"Colour", HDbColumn::Text}}, [](const QVector<QVariant> &) { return true; },
        &error));
    QVERIFY(error.contains("Colour"));

    // No product tables; then not Access files: an Access header over noise, and a text under
    // an Access name. Each is refused, and no target is left.
    const QString broken = m_dir.filePath("broken.mdb");
    QVERIFY(writeBytes(broken, fileBytes(sample).left(2048) + QByteArray(2048, '\x5a')));
    const QString text = m_dir.filePath("text.accdb");
    QVERIFY(writeBytes(text, "just text\n"));
    const QString out = m_dir.filePath("fruit.sqlite");
    for (const QString &file : {sample, broken, text}) {
        const Run run = dbcopy({file, out});
        QCOMPARE(run.code, 1);
        QVERIFY2(file == sample ? run.err.contains("no product tables")
                                : run.err.contains("Access") && !run.err.contains("copied"),
                 qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
    }
}

QTEST_GUILESS_MAIN(TestDbCopy)
#include "tst_dbcopy.moc"
