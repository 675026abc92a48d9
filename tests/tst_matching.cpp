// The ODU–IDU tab and both matching tables under load and save faults: lists and edits, the
// snapshots, saves that write only what changed, databases they cannot read or write.

#include "matchingfixture.h"

#include <QtTest>

using namespace MatchingFixture;

class TestMatching : public QObject, MatchingSuite
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { finish(); }

    void oduIduEditing()
    {
        OduIdu e;
        ModalAnswerer answerer;
        QCOMPARE(e.notice(), QString());
        // The document (in the snapshot by series id, whatever the order of the rows): each
        // outdoor series with its full record and the indoor series it matches (repeats kept;
        // a series without a row keeps only its id).
        QVERIFY(e.writeSnapshot());
        QJsonArray doc = snapshotFile("odu_and_idu.json").array();
        QCOMPARE(matching(doc, "odu/id_series", "match_to_ar_idu", "id_series"),
                 L("1:10,11,99 2:12 3:13,13"));
        QCOMPARE(at(doc, "1/odu"),
                 json(R"({"id_series": 2, "product_series": "ODU B", "category": "VRF",
                          "sub_catalog": "Heat recovery", "odu_type": "T2", "product_type": 0})"));
        QCOMPARE(at(doc, "1/match_to_ar_idu/0"),
                 json(R"({"id_series": 12, "product_series": "HRV", "category": "HRV",
                          "sub_catalog": "Fresh", "odu_type": "", "product_type": 11})"));
        QCOMPARE(at(doc, "0/match_to_ar_idu/2"), json(R"({"id_series": 99})"));

        QCOMPARE(texts(e.odus), L("ODU A-T1-VRF,ODU B-T2-VRF,ODU C--Mini"));
        // Type 11 series are indoor series here.
        QCOMPARE(texts(e.idus), L("Cassette-C4-IDU,Duct-Slim-IDU,HRV-Fresh-HRV,Wall-W-IDU"));
        // The first outdoor series is current and shown; a matched series without a row is "--".
        QCOMPARE(e.odus->currentIndex().row(), 0);
        QCOMPARE(texts(e.matched), L("Duct-Slim-IDU,Cassette-C4-IDU,--"));

        // A click leaves only the clicked indoor row selected; a second click deselects it.
        drive(e, "sr0,1,3 cr2");
        QCOMPARE(selected(e.idus), L("2"));
        drive(e, "cr2");
        QCOMPARE(selected(e.idus), QString());

        // A series already matched is refused, by a double-click and by "<--" among new ones,
        // which are added in right-list order.
        drive(e, "dr1 sr3,1,2 <");
        QCOMPARE(answerer.texts(), QStringList({"It already exists.", "It already exists."}));
        QCOMPARE(texts(e.matched), L("Duct-Slim-IDU,Cassette-C4-IDU,--,HRV-Fresh-HRV,Wall-W-IDU"));

        // "-->" removes the current row of the middle list, so does a double-click on a row;
        // without a current row (the list is redrawn) "-->" removes nothing.
        drive(e, "cm0 > dm1");
        QCOMPARE(texts(e.matched), L("Cassette-C4-IDU,HRV-Fresh-HRV,Wall-W-IDU"));
        drive(e, ">");
        QCOMPARE(rowTexts(e.matched).size(), 3);

        // Saved silently; rows of other series stay, the removed "--" pair goes. (Keyboard
        // moves are among the edit sequences.)
        e.save();
        const QStringList saved{"1|10", "1|12", "1|13", "20|10", "2|12", "3|13", "3|13"};
        QCOMPARE(rows(kTables.at(0)), saved);
        QCOMPARE(answerer.count(), 2);

        // Unsaved edits reach the snapshot, not the database.
        drive(e, "cl2 dr2");
        QVERIFY(e.writeSnapshot());
        QCOMPARE(rows(kTables.at(0)), saved);
        doc = snapshotFile("odu_and_idu.json").array();
        QCOMPARE(matching(doc, "odu/id_series", "match_to_ar_idu", "id_series"),
                 L("1:10,12,13 2:12 3:12,13,13"));
        QCOMPARE(at(doc, "2/match_to_ar_idu/0"), at(doc, "0/match_to_ar_idu/1"));
    }

    void loadFaults_data()
    {
        QTest::addColumn<QStringList>("statements"); // run after the start-up check
        QTest::addColumn<QStringList>("damaged");    // tables whose first page is destroyed
        QTest::addColumn<QString>("oduIduNotice");   // "table: error", empty for none
        QTest::addColumn<QString>("accessoryNotice");
        const QStringList none;
        // A series whose detail table does not exist gives its models no kind: no fault.
        QTest::newRow("detail table missing") << QStringList{"drop table dt_ctl"} << none << ""
                                              << "";
        QTest::newRow("detail table damaged") << none << QStringList{"dt_branch"} << ""
                                              << "dt_branch: .*malformed";
        // A detail table may be a view; one that cannot be read is a fault like a table.
        QTest::newRow("detail view unreadable")
            << QStringList{"alter table dt_branch rename to dt_branch_old",
                           "create view dt_branch as select * from gone"}
            << none << ""
            << "dt_branch: no such table: .*gone"; // PostgreSQL makes no view on nothing
        QTest::newRow("matching tables missing")
            << QStringList{"drop table __rule_odu_idu_matching",
                           "drop table __rule_odu_acc_matching"}
            << none << "__rule_odu_idu_matching: (no such table|.*does not exist)"
            << "__rule_odu_acc_matching: (no such table|.*does not exist)";
        QTest::newRow("stored rows damaged")
            << none << QStringList{"__rule_odu_idu_matching", "__rule_unit_acc_controller_matching"}
            << "__rule_odu_idu_matching: .*malformed"
            << "__rule_unit_acc_controller_matching: .*malformed";
        QTest::newRow("stored rows damaged after the first rows")
            << QStringList{"with recursive n(i) as (select 1 union all select i + 1 from n "
                           "where i < 3000) insert into __rule_odu_acc_matching select 99, "
                           "'X' || i, 'MS' from n"}
            << QStringList{"__rule_odu_acc_matching/last"} << ""
            << "__rule_odu_acc_matching: .*malformed";
        QTest::newRow("series damaged")
            << none << QStringList{"__product_series"} << "__product_series: .*malformed"
            << "__product_series: .*malformed";
    }

    // The tab that could not read everything says what and why, and takes no edits: OK saves
    // both tabs and writes nothing.
    void loadFaults()
    {
        QFETCH(QStringList, statements);
        QFETCH(QStringList, damaged);
        QFETCH(QString, oduIduNotice);
        QFETCH(QString, accessoryNotice);
        if (onPostgreSql() && (!damaged.isEmpty() || accessoryNotice.contains("gone")))
            QSKIP("a damaged page or a view on nothing is a fault of an SQLite file");
        QVERIFY(HDbFind::open());
        QVERIFY(execSql(m_db, statements));
        for (const QString &table : damaged)
            damage(m_db, table);
        const QByteArray before = databaseState(m_db);

        ModalAnswerer answerer;
        OduIdu oduIdu;
        Accessory accessory;
        auto says = [](const QString &notice, const QString &pattern) {
            return pattern.isEmpty() ? notice.isEmpty()
                                     : QRegularExpression(pattern).match(notice).hasMatch();
        };
        QVERIFY2(says(oduIdu.notice(), oduIduNotice), qPrintable(oduIdu.notice()));
        QVERIFY2(says(accessory.notice(), accessoryNotice), qPrintable(accessory.notice()));
        auto rowCount = [](QAbstractItemView *view) {
            return view->model() ? view->model()->rowCount() : 0;
        };
        if (!oduIduNotice.isEmpty() && rowCount(oduIdu.idus) > 0) {
            QVERIFY(!oduIdu.findChild<QPushButton *>("pushButton_add")->isEnabled());
            oduIdu.idus->selectAll();
            oduIdu.press("pushButton_add");
            doubleClickRow(oduIdu.idus, 0);
        }
        if (!accessoryNotice.isEmpty() && rowCount(accessory.accessories) > 0 &&
            rowCount(accessory.series) > 0) {
            accessory.series->selectAll();
            doubleClickRow(accessory.accessories, 0);
        }
        oduIdu.save();
        accessory.save();
        QCOMPARE(answerer.count(), 0);
        QVERIFY(databaseState(m_db) == before);
    }

    void saveWritesTheDifference()
    {
        QVERIFY(HDbFind::open());
        HDatabase *db = HDbFind::getDb();
        const QByteArray unchanged = databaseState(m_db);
        const QList<QStringList> before = allRows();
        OduIdu oduIdu;
        Accessory accessory;

        // Without an edit nothing runs.
        db->resetStatementCounts();
        oduIdu.save();
        accessory.save();
        QCOMPARE(db->statementCount(), quint64(0));
        QVERIFY(databaseState(m_db) == unchanged);

        // One pair added: its count and the series' presence in one read, the insert, the
        // history row.
        drive(oduIdu, "cl1 dr3 S");
        QCOMPARE(db->statementCount(), quint64(3));
        QCOMPARE(db->writeStatementCount(), quint64(2));
        // One pair removed (ODU A's two MP-M rows): its delete, which checks the count, and the
        // history row.
        drive(accessory, "cl1 cm0 >");
        db->resetStatementCounts();
        accessory.save();
        QCOMPARE(db->statementCount(), quint64(2));
        QCOMPARE(db->writeStatementCount(), quint64(2));

        // ODU A loses Duct and gains HRV; ODU C loses one of its two Wall rows and gains Duct
        // and HRV; then HRV vanishes from the series before the save.
        drive(oduIdu, "cl0 dm0 dr2 cl2 dm0 dr1 dr2");
        // Outdoor: ODU A (row 1) and ODU C (row 0) gain the three outdoor accessories; ODU B
        // (row 2) loses C0-M. Indoor: Cassette loses both C5-M rows, Wall gains C5-M, Duct
        // gains C0-M.
        drive(accessory, "cl0 cr0 cr1 cr2 < cl0 cl1 cl2 cm1 > k1 cl0 cm1 > cl0 cl2 cr1 < cr1 "
                         "cl2 cl1 cr0 <");
        QVERIFY(execSql(m_db, {"delete from __product_series where id_series = 12"}));
        ModalAnswerer answerer;
        oduIdu.save();
        accessory.save();
        QCOMPARE(answerer.count(), 0);
        // Exactly the edits: pairs with HRV, gone before the save, are not written; C0-M
        // leaves ODU B with no kind name; the rows the user did not touch stay (a dangling
        // indoor series, a pair of another product type, a kind on offer nowhere, dangling
        // codes and series).
        QCOMPARE(changedRows(before),
                 L("+11|C0 +13|C5 +1|BH|BRANCH_HEADER +1|MS|MS +2|13 +3|11 +3|BH|BRANCH_HEADER "
                   "+3|MP|MP4 +3|MS|MS -10|C5 -10|C5 -1|11 -1|MP|MP4 -2|C0| -3|13"));

        // Saved is saved: nothing more is written.
        db->resetStatementCounts();
        oduIdu.save();
        accessory.save();
        QCOMPARE(db->writeStatementCount(), quint64(0));
    }

    void editSequences_data()
    {
        sequenceColumns();
        const QString a = "Duct-Slim-IDU,Cassette-C4-IDU,--", b = "HRV-Fresh-HRV";
        QTest::newRow("added, removed by hand") << "dr3 dm3" << a << false << "" << -1;
        QTest::newRow("removed, added back")
            << "dm0 dr1 S"
            << "Cassette-C4-IDU,--,Duct-Slim-IDU" << false << "" << 0;
        QTest::newRow("saved, then undone by hand")
            << "cl1 dr3 S cl1 dm1 S" << b << false << "" << 1;
        QTest::newRow("two series, one undone by hand")
            << "cl0 dr3 cl1 dr3 cl0 dm3 S" << a << false << "+2|13" << 1;
        QTest::newRow("doubled pair loses one") << "cl2 dm0 S"
                                                << "Wall-W-IDU" << false << "-3|13" << 2;
        QTest::newRow("re-edited after a save")
            << "cl2 dm0 S cl2 dr1 cl0 dm2 S"
            << "Duct-Slim-IDU,Cassette-C4-IDU" << false << "+3|11 -1|99 -3|13" << 2;
        // The middle list and the buttons follow the current series, however it moved.
        QTest::newRow("arrow keys") << "Down sr3 < Up" << a << true << "" << -1;
        QTest::newRow("arrow keys, then save")
            << "Down sr3 < S" << b + ",Wall-W-IDU" << false << "+2|13" << 1;
        QTest::newRow("arrow keys, then -->") << "Down cm0 > S"
                                              << "" << false << "-2|12" << 1;
        // Type-ahead moves the current row and chooses nothing.
        QTest::newRow("type-ahead")
            << "Down cr0 tr=W < S" << b + ",Cassette-C4-IDU" << false << "+2|10" << 1;
        // Rows the find box hides are not acted on, selected or not.
        QTest::newRow("hidden indoor rows")
            << "Down sr0,3 fr=cass < S" << b + ",Cassette-C4-IDU" << false << "+2|10" << 1;
        QTest::newRow("hidden matched row") << "cm0 fm=cass > S" << a << false << "" << 0;
        // One undo step per button press, back past a save; the mark follows.
        QTest::newRow("undo to the saved state") << "sr2,3 < u" << a << false << "" << -1;
        QTest::newRow("undo, redo, save")
            << "Down sr0,3 < Up cm0 > u u r S" << b + ",Cassette-C4-IDU,Wall-W-IDU" << false
            << "+2|10 +2|13" << 2;
        QTest::newRow("undo past a save") << "sr3 < S u" << a << true << "+1|13" << -1;
        QTest::newRow("undo past a save, saved") << "sr3 < S u S" << a << false << "" << 1;
        QTest::newRow("discard") << "Down sr3 < cl0 dm0 cl1 D" << b << false << "" << -1;
        QTest::newRow("discard, nothing to undo") << "sr3 < D u S" << a << false << "" << 0;
    }

    void editSequences() { runSequence<OduIdu>(); }

    void concurrentSaves_data()
    {
        // A tab, the user's edits (drive() steps), what another user then stores, the save
        // slot, the answer to the question; then the conflicts asked about ("series — row:
        // change", joined by "; "), the middle list after Reload (Reload runs the save again),
        // what the save wrote ("+row", "-row") and the history rows.
        QTest::addColumn<bool>("accessoryTab");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("other");
        QTest::addColumn<QString>("slot");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QStringList>("history");
        const QString m = "__rule_odu_idu_matching", o = "__rule_odu_acc_matching",
                      i = "__rule_unit_acc_controller_matching";
        const int cancel = QMessageBox::Cancel, reload = HEditorPage::kReload,
                  overwrite = HEditorPage::kOverwrite;
        const QString b = "ODU B-T2-VRF", a = "ODU A-T1-VRF", c = "ODU C--Mini";
        // A history row: "table|series|series / row|(row)|old|new".
        auto h = [](const QString &table, const QString &series, const char *row, const char *old,
                    const char *now) {
            return QStringList{table, series, series + " / " + row, "(row)", old, now}.join('|');
        };
        auto pairs = [](const char *values) {
            return "insert into __rule_odu_idu_matching (id_series_odu, id_series_idu) values " +
                   QString(values);
        };
        const QString oduAcc = "insert into __rule_odu_acc_matching (id_series_odu, "
                               "product_code_acc, type) values ",
                      iduC5 = "insert into __rule_unit_acc_controller_matching (id_series, "
                              "product_code) values (10, 'C5')";
        const struct
        {
            const char *name;
            bool accessoryTab;
            const char *steps;
            QStringList other;
            int answer;
            QString question, shown, written;
            QStringList history;
            const char *slot = "save";
        } rows[] = {
            {"same pair added by both, cancel",
             false,
             "cl1 dr3",
             {pairs("(2, 13)")},
             cancel,
             b + " — Wall-W-IDU: added by another user",
             "",
             "",
             {}},
            {"pair removed by one, doubled by the other, overwrite",
             false,
             "cl0 dm0",
             {pairs("(1, 11)")},
             overwrite,
             a + " — Duct-Slim-IDU: now stored 2 times, was 1",
             "",
             "-1|11 -1|11",
             {h(m, a, "Duct-Slim-IDU", "2", "null")}},
            {"same pair added twice by the other, overwrite",
             false,
             "cl1 dr3",
             {pairs("(2, 13), (2, 13)")},
             overwrite,
             b + " — Wall-W-IDU: added by another user, 2 times",
             "",
             "-2|13",
             {h(m, b, "Wall-W-IDU", "2", "1")}},
            // Every conflict is listed. Reload shows what is stored with this user's other
            // edits, also those of a conflicting series; they land with the next save.
            {"two conflicts, reload keeps the other edits",
             false,
             "cl2 dm0 cl1 dr3 dm0 cl0 dm0 dr3",
             {pairs("(1, 11)"), "delete from __rule_odu_idu_matching where id_series_odu = 3",
              "delete from __rule_odu_idu_matching where id_series_idu = 99"},
             reload,
             a + " — Duct-Slim-IDU: now stored 2 times, was 1; " + c +
                 " — Wall-W-IDU: removed by another user",
             "Duct-Slim-IDU,Cassette-C4-IDU,Duct-Slim-IDU,Wall-W-IDU",
             "+1|13 +2|13 -2|12",
             {h(m, a, "Wall-W-IDU", "null", "1"), h(m, b, "HRV-Fresh-HRV", "1", "null"),
              h(m, b, "Wall-W-IDU", "null", "1")}},
            // The check is per pair: other pairs of the series, other series, both land.
            {"other pair of the same series",
             false,
             "cl0 dr3",
             {pairs("(1, 12)")},
             0,
             "",
             "",
             "+1|13",
             {h(m, a, "Wall-W-IDU", "null", "1")}},
            {"other series",
             false,
             "cl0 dm2",
             {"delete from __rule_odu_idu_matching where id_series_odu = 3"},
             0,
             "",
             "",
             "-1|99",
             {h(m, a, "#99", "1", "null")}},
            {"accessory added by both, cancel",
             true,
             "cl0 dr0",
             {oduAcc + "(3, 'BH', 'BRANCH_HEADER')"},
             cancel,
             "Mini — BH-M: added by another user",
             "",
             "",
             {}},
            {"doubled accessory, overwrite",
             true,
             "k1 cl0 dm1",
             {iduC5},
             overwrite,
             "C4-IDU — C5-M: now stored 3 times, was 2",
             "",
             "-10|C5 -10|C5 -10|C5",
             {h(i, "C4-IDU", "C5-M", "3", "null")}},
            {"indoor conflict, reload keeps the other edits",
             true,
             "cl0 dr0 k1 cl0 dm1 dm0",
             {iduC5},
             reload,
             "C4-IDU — C5-M: now stored 3 times, was 2",
             "C5-M,C5-M,C5-M",
             "+3|BH|BRANCH_HEADER -10|C0",
             {h(o, "Mini", "BH-M", "null", "1"), h(i, "C4-IDU", "C0-M", "1", "null")}},
            {"outdoor save leaves the indoor conflict",
             true,
             "cl0 dr0 k1 cl0 dm1",
             {"delete from __rule_unit_acc_controller_matching where product_code = 'C5'"},
             0,
             "",
             "",
             "+3|BH|BRANCH_HEADER",
             {h(o, "Mini", "BH-M", "null", "1")},
             "saveODUAndBranch"},
            {"accessory of another series",
             true,
             "cl0 dr0",
             {oduAcc + "(2, 'MS', 'MS')",
              "delete from __rule_odu_acc_matching where id_series_odu = 1"},
             0,
             "",
             "",
             "+3|BH|BRANCH_HEADER",
             {h(o, "Mini", "BH-M", "null", "1")}},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << r.accessoryTab << r.steps << r.other << r.slot << r.answer
                                  << r.question << r.shown << r.written << r.history;
    }

    // Two users on one database: a save changes only pairs still stored as the tab loaded
    // them, asks about the others, and writes its history.
    void concurrentSaves()
    {
        QFETCH(bool, accessoryTab);
        if (accessoryTab) {
            Accessory tab;
            concurrentSave(tab);
        } else {
            OduIdu tab;
            concurrentSave(tab);
        }
    }

    void saveFaults_data()
    {
        QTest::addColumn<bool>("accessoryTab");
        QTest::addColumn<QString>("fault"); // a trigger's event, or "locked"
        QTest::addColumn<QStringList>("refusing");
        for (bool accessoryTab : {false, true}) {
            for (const char *fault : {"insert", "delete", "locked"})
                QTest::addRow("%s %s", accessoryTab ? "accessory" : "odu-idu", fault)
                    << accessoryTab << QString::fromLatin1(fault) << kTables;
        }
        QTest::newRow("accessory: outdoor table refuses")
            << true << "insert" << QStringList{kTables.at(1)};
    }

    // A refused save says why and keeps the refusing tables' rows and the edits on screen; once
    // the database accepts again the same tab writes every edit.
    void saveFaults()
    {
        QFETCH(bool, accessoryTab);
        QFETCH(QString, fault);
        QFETCH(QStringList, refusing);
        OduIdu oduIdu;
        Accessory accessory;
        auto run = [&](const char *steps) {
            accessoryTab ? drive(accessory, steps) : drive(oduIdu, steps);
        };
        // One removal and one addition in every table the tab writes.
        run(accessoryTab ? "cl2 cm0 > dr2 k1 cl0 cm1 > dr1" : "dm0 dr3");
        QListView *matched = accessoryTab ? accessory.matched : oduIdu.matched;
        const QString shown = texts(matched);
        const QList<QStringList> before = allRows();

        std::unique_ptr<WriteLock> lock;
        if (fault == L("locked")) {
            QVERIFY(HDbFind::getDb()->setLockTimeout(100));
            lock.reset(new WriteLock(m_db));
            QVERIFY(lock->isHeld()); // else the save below would not meet the lock
        } else {
            for (const QString &table : refusing)
                QVERIFY(execSql(m_db, refusingTriggers(table, {fault}, "refused")));
        }
        ModalAnswerer answerer;
        run("S");
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.seen().at(0).title, L("Warning"));
        QCOMPARE(answerer.seen().at(0).text, !lock ? L("refused")
                                             : onPostgreSql()
                                                 ? L("canceling statement due to lock timeout")
                                                 : L("database is locked"));
        const QList<QStringList> after = allRows();
        for (int i = 0; i < kTables.size(); ++i) {
            if (refusing.contains(kTables.at(i)))
                QCOMPARE(after.at(i), before.at(i));
        }
        QCOMPARE(texts(matched), shown);

        // The lock gone, the tool waits as long as it normally does.
        lock.reset();
        QVERIFY(HDbFind::getDb()->setLockTimeout(10000));
        for (const QString &table : refusing)
            QVERIFY(execSql(m_db, droppingTriggers(table, {fault})));
        run("S");
        QCOMPARE(answerer.count(), 1);
        // (Cassette's two C5-M rows go with one removal; the double-click adds one back.)
        QCOMPARE(changedRows(before),
                 accessoryTab ? L("+2|MS|MS -10|C5 -2|BH|BRANCH_HEADER") : L("+1|13 -1|11"));
    }

private:
    template <class Tab> void concurrentSave(Tab &tab)
    {
        QFETCH(QStringList, other);
        QFETCH(QString, slot);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(QString, shown);
        QFETCH(QString, written);
        QFETCH(QStringList, history);
        ModalAnswerer answerer;
        QFETCH(QString, steps);
        drive(tab, steps);
        QVERIFY(execSql(m_db, other));
        const QList<QStringList> before = allRows();
        const QByteArray state = databaseState(m_db);
        QVector<HAuditEntry> pending = tab.pendingEdits();
        if (answer)
            answerer.answer(QMessageBox::StandardButton(answer));
        QVERIFY(QMetaObject::invokeMethod(&tab, slot.toLatin1().constData()));
        QStringList asked;
        if (answerer.count() > 0) {
            for (const QString &line : answerer.seen().at(0).text.split('\n')) {
                if (line.contains(QStringLiteral(" — ")))
                    asked.append(line);
            }
        }
        QCOMPARE(sorted(asked).join("; "), question);
        if (answer == QMessageBox::Cancel || answer == HEditorPage::kReload) {
            // Nothing written, the edits kept; Reload shows what is stored with them.
            QVERIFY(databaseState(m_db) == state);
            QVERIFY(tab.isModified());
            if (answer == HEditorPage::kReload) {
                QCOMPARE(texts(tab.matched), shown);
                pending = tab.pendingEdits();
                tab.save();
                QCOMPARE(answerer.count(), 2); // the question, then "not saved"
            }
        }
        QCOMPARE(changedRows(before), written);
        QStringList stored = sqlRows(
            m_db, "select table_name, series, row_key, column_name, coalesce(old_value, 'null'), "
                  "coalesce(new_value, 'null') from maintainer_audit");
        QCOMPARE(sorted(stored), sorted(history));
        // The Changes view listed what the history got, with the old values as loaded.
        auto shownValue = [](const QVariant &v) { return v.isNull() ? "null" : v.toString(); };
        QStringList listed;
        for (const HAuditEntry &e : qAsConst(pending))
            listed.append(QStringList{e.table, e.series, e.rowKey, e.column, shownValue(e.oldValue),
                                      shownValue(e.newValue)}
                              .join('|'));
        if (slot == L("save") && answer != HEditorPage::kOverwrite && answer != QMessageBox::Cancel)
            QCOMPARE(sorted(listed), sorted(history));
        if (!history.isEmpty())
            QVERIFY(sqlValue(m_db, "select count(*) from maintainer_audit where changed_by = '' "
                                   "or host = '' or changed_at not like '20%'")
                        .toInt() == 0);
        QCOMPARE(tab.isModified(), answer == QMessageBox::Cancel || slot != L("save"));
    }
};

QTEST_MAIN(TestMatching)
#include "tst_matching.moc"
