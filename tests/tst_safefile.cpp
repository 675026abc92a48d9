// The files the tool writes: the safe writer under a full disk, and every file of the tool
// (schemes, exported schemes and workbooks, snapshots) under a full disk and in a folder it
// cannot write.

#include "filefaults.h"
#include "salestatusfixture.h"

#include "hoduandidumatchingwidget.h"
#include "hsafefile.h"
#include "hseriesandaccessorymatchingwidget.h"

#include <QtTest>

using namespace SaleStatusFixture;
using namespace FileFaults;

Q_DECLARE_METATYPE(HSafeFile::Result)

class TestSafeFile : public QObject
{
    Q_OBJECT

private slots:
    // The folder dialog saves its settings when it closes, under the limits of these tests.
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_settings.path())); }
    void init() { startClean(m_dir, &m_db); }
    void cleanup() { finishClean(); }

    void writeFileUnderLimits_data();
    void writeFileUnderLimits();
    void targetsAndFolders();
    void everyFileUnderFaults_data();
    void everyFileUnderFaults();
    void closingWithoutEditsRewritesNothing();

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_settings;
    QString m_db;
};

void TestSafeFile::writeFileUnderLimits_data()
{
    QTest::addColumn<int>("oldSize"); // -1: no earlier file, and no folder either
    QTest::addColumn<int>("newSize"); // -1: the earlier bytes again
    QTest::addColumn<bool>("keepBackup");
    QTest::addColumn<int>("limit"); // largest file the disk takes; 0: no limit
    QTest::addColumn<HSafeFile::Result>("expected");
    using R = HSafeFile::Result;
    QTest::newRow("new file, missing folder") << -1 << 100 << true << 0 << R::Written;
    QTest::newRow("replaced, earlier one kept") << 300 << 2000 << true << 0 << R::Written;
    QTest::newRow("replaced by nothing") << 300 << 0 << false << 0 << R::Written;
    QTest::newRow("same bytes") << 300 << -1 << true << 0 << R::Unchanged;
    QTest::newRow("full disk, 3 KiB") << 300 << 3 * 1024 << false << 1024 << R::Failed;
    QTest::newRow("full disk, 12 KiB, backup") << 300 << 12 * 1024 << true << 4096 << R::Failed;
    QTest::newRow("full disk, 200 KiB") << 300 << 200 * 1024 << true << 65536 << R::Failed;
    QTest::newRow("full disk, new file") << -1 << 12 * 1024 << false << 4096 << R::Failed;
    QTest::newRow("full disk at the backup") << 12 * 1024 << 100 << true << 4096 << R::Failed;
}

void TestSafeFile::writeFileUnderLimits()
{
    QFETCH(int, oldSize);
    QFETCH(int, newSize);
    QFETCH(bool, keepBackup);
    QFETCH(int, limit);
    QFETCH(HSafeFile::Result, expected);
    QTemporaryDir dir;
    const QString folder = dir.filePath("out");
    const QString target = folder + "/A.json";
    const QByteArray oldBytes = oldSize < 0 ? QByteArray() : QByteArray(oldSize, 'o') + '\n';
    const QByteArray newBytes = newSize < 0 ? oldBytes : QByteArray(newSize, 'n');
    const QByteArray previousBackup = "the backup before\n";
    if (oldSize >= 0) {
        writeFile(target, oldBytes);
        writeFile(target + ".bak", previousBackup);
        QVERIFY(age(target));
    }
    const QDateTime oldTime = modified(target);
    const QMap<QString, QByteArray> before = folderFiles(folder);

    const QByteArray reply = inChild(limit, [&] {
        QString error;
        const HSafeFile::Result result = HSafeFile::writeFile(target, newBytes, &error, keepBackup);
        return QByteArray::number(int(result)) + ' ' + error.toUtf8();
    });
    const QString error = QString::fromUtf8(reply.mid(reply.indexOf(' ') + 1));
    QVERIFY2(!reply.startsWith("child failed"), reply.constData());
    QCOMPARE(HSafeFile::Result(reply.left(reply.indexOf(' ')).toInt()), expected);

    QMap<QString, QByteArray> after = before;
    if (expected == HSafeFile::Result::Failed) {
        // Named with the cause; everything as it was, no temporary file left.
        QVERIFY2(error.contains(QDir::toNativeSeparators(target)) && error.contains(": "),
                 qPrintable(error));
    } else if (expected == HSafeFile::Result::Written) {
        QVERIFY2(error.isEmpty(), qPrintable(error));
        after.insert("A.json", newBytes);
        if (keepBackup && oldSize >= 0)
            after.insert("A.json.bak", oldBytes);
    } else {
        QCOMPARE(modified(target), oldTime);
    }
    QCOMPARE(folderFiles(folder), after);
}

// A folder in the target's place is refused; the permissions of a replaced file are kept and a
// new file gets what any new file gets; a link is written through and stays a link.
void TestSafeFile::targetsAndFolders()
{
    QTemporaryDir dir;
    const QString target = dir.filePath("A.json");
    QString error;
    QVERIFY(QDir().mkpath(target + "/inner"));
    QCOMPARE(HSafeFile::writeFile(target, "x", &error), HSafeFile::Result::Failed);
    QVERIFY2(error.contains(QDir::toNativeSeparators(target)), qPrintable(error));
    QVERIFY(QDir(target).removeRecursively());

    writeFile(target, "earlier\n");
    const auto mine = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                      QFileDevice::WriteUser | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(target, mine));
    QCOMPARE(HSafeFile::writeFile(target, "new\n", &error), HSafeFile::Result::Written);
    QCOMPARE(QFile::permissions(target), mine);
    QFile plain(dir.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QCOMPARE(HSafeFile::writeFile(dir.filePath("B.json"), "b\n", &error),
             HSafeFile::Result::Written);
    QCOMPARE(QFile::permissions(dir.filePath("B.json")), plain.permissions());

    QVERIFY(QFile::link(dir.filePath("B.json"), dir.filePath("link.json")));
    QCOMPARE(HSafeFile::writeFile(dir.filePath("link.json"), "through\n", &error, true),
             HSafeFile::Result::Written);
    QVERIFY(QFileInfo(dir.filePath("link.json")).isSymLink());
    QCOMPARE(fileBytes(dir.filePath("B.json")), QByteArray("through\n"));
    QCOMPARE(fileBytes(dir.filePath("B.json.bak")), QByteArray("b\n"));
}

// Every file the tool writes (schemes, exported schemes and workbooks, snapshots) under a full
// disk and in a read-only folder: the user is told which file (a warning, or a false return
// naming it for the writes made on closing), nothing reports success, and the folder keeps
// exactly the files it had, byte for byte.
void TestSafeFile::everyFileUnderFaults_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("folder"); // beside the executable, or "export"
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fullDisk");
    const struct
    {
        const char *file, *folder, *name;
    } files[] = {{"Save to scheme", "config", "A.json"},
                 {"new scheme", "config", "B.json"},
                 {"scheme on close", "config", "A.json"},
                 {"export", "export", "A.json"},
                 {"workbook export", "export", "names.xls"},
                 {"ODU-IDU snapshot", "log", "odu_and_idu.json"},
                 {"accessory snapshot", "log", "series_and_acc.json"}};
    for (const auto &f : files) {
        for (bool fullDisk : {true, false})
            QTest::addRow("%s, %s", f.file, fullDisk ? "full disk" : "read-only folder")
                << f.file << f.folder << f.name << fullDisk;
    }
}

void TestSafeFile::everyFileUnderFaults()
{
    QFETCH(QString, file);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(bool, fullDisk);
    // Earlier files whose content differs from what the tool writes now.
    writeScheme("A.json", {{"install_code", QJsonObject{{"kept", ""}}}});
    writeFile(appFolder("log/odu_and_idu.json"), "[]\n");
    writeFile(appFolder("log/series_and_acc.json"), "{}\n");
    const QString exportFolder = m_dir.filePath("export");
    writeFile(exportFolder + "/A.json", "an earlier export\n");
    writeFile(exportFolder + "/names.xls", "an earlier workbook\n");
    folder = folder == "export" ? exportFolder : appFolder(folder);

    ModalAnswerer answerer;
    Editor editor;
    HOduAndIduMatchingWidget odus;
    HSeriesAndAccessoryMatchingWidget accessories;
    // Closing writes the scheme only with an edit that was not saved; the workbook holds the
    // models of the clicked series.
    if (file == "scheme on close")
        editor.setS(3, 2, true);
    if (file == "workbook export")
        editor.clickSeries(1);
    const QMap<QString, QByteArray> before = folderFiles(folder);
    QVERIFY(!before.isEmpty());
    answerer.clear();

    QString error;
    bool returned = true;
    {
        std::unique_ptr<FileSizeLimit> limit;
        std::unique_ptr<ReadOnlyFolder> readOnly;
        if (fullDisk)
            limit.reset(new FileSizeLimit(16));
        else
            readOnly.reset(new ReadOnlyFolder(folder));
        if (readOnly && !readOnly->ok())
            QSKIP(qPrintable(readOnly->why()));
        QVERIFY(!limit || limit->ok());

        if (file == "Save to scheme") {
            editor.click("pushButton_Save");
        } else if (file == "new scheme") {
            answerer.act(typeName("B"));
            editor.click("pushButton_New");
        } else if (file == "export") {
            answerer.act(chooseFolder(exportFolder));
            editor.click("pushButton_ExportAllSchemes");
        } else if (file == "workbook export") {
            answerer.act(pickFile(exportFolder + "/names.xls"));
            editor.click("pushButton_export");
        } else if (file == "scheme on close") {
            returned = editor.widget->writeSchemeOnClose(&error);
        } else {
            returned = file.startsWith("ODU") ? odus.writeSnapshot(&error)
                                              : accessories.writeSnapshot(&error);
        }
    }
    QCOMPARE(folderFiles(folder), before);
    if (file.contains("close") || file.endsWith("snapshot")) {
        QVERIFY(!returned);
        QVERIFY2(error.contains(name), qPrintable(error));
        QCOMPARE(answerer.count(), 0);
    } else {
        const QString box = lastBox(answerer);
        QVERIFY2(box.startsWith("Warning: ") && box.contains(name), qPrintable(box));
        QVERIFY(!answerer.texts().join('/').contains("success"));
    }
    if (file == "new scheme")
        QCOMPARE(items(editor.scheme), QStringList{"A.json"});

    // Once the disk takes it again the same write goes through.
    if (file == "scheme on close") {
        QVERIFY(editor.widget->writeSchemeOnClose(&error));
        QCOMPARE(savedTable("A.json", "series_table").size(), 10);
    }
}

// Loading and closing without an edit rewrites none of the files (their times stay, no backup
// appears); neither does "Save to scheme" when nothing changed.
void TestSafeFile::closingWithoutEditsRewritesNothing()
{
    writeScheme("A.json", {});
    {
        ModalAnswerer answerer;
        Editor editor;
        editor.click("pushButton_Save");
        delete new HOduAndIduMatchingWidget;
        delete new HSeriesAndAccessoryMatchingWidget;
    }
    // Closing the tabs wrote their snapshots.
    QVERIFY(QFile::remove(configPath("A.json.bak")));
    const QStringList files = {configPath("A.json"), appFolder("log/odu_and_idu.json"),
                               appFolder("log/series_and_acc.json")};
    QMap<QString, QByteArray> bytes;
    for (const QString &path : files) {
        bytes.insert(path, fileBytes(path));
        QVERIFY2(!bytes.value(path).isEmpty() && age(path), qPrintable(path));
    }
    const QDateTime aged = modified(files.first());
    {
        ModalAnswerer answerer;
        Editor editor;
        HOduAndIduMatchingWidget odus;
        HSeriesAndAccessoryMatchingWidget accessories;
        QString error;
        QVERIFY(editor.widget->writeSchemeOnClose(&error));
        QVERIFY(odus.writeSnapshot(&error) && accessories.writeSnapshot(&error));
        editor.click("pushButton_Save");
        QCOMPARE(answerer.count(), 0);
    }
    for (const QString &path : files) {
        QCOMPARE(fileBytes(path), bytes.value(path));
        QCOMPARE(modified(path), aged);
    }
    QCOMPARE(configFiles(), QStringList{"A.json"});
}

QTEST_MAIN(TestSafeFile)
#include "tst_safefile.moc"
