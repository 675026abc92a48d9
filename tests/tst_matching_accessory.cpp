// The series–accessory tab: both kinds of series, the accessories on offer with their kinds,
// adding and removing in the selected series, and what its document and save hold.

#include "matchingfixture.h"

#include <QtTest>

using namespace MatchingFixture;

class TestMatchingAccessory : public QObject, MatchingSuite
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { finish(); }

    void accessoryEditing()
    {
        build(kAccessoryFixture);
        Accessory e;
        QVERIFY(e.writeSnapshot());
        QJsonValue doc = snapshotFile("series_and_acc.json").object();
        // The outdoor list offers kinds 31, 3 and 4 of product type 2, by the first detail
        // row; the indoor list every kind below 10, also without kind (no series row, no table
        // name, no detail row). Stored codes resolve through both lists, the outdoor one first.
        const QJsonValue forOdu = at(doc, "jsonObjAccessory/ar_for_odu");
        // (The snapshot lists series by id and accessories by product code.)
        QCOMPARE(fields(forOdu, "type"), L("31,4,3,4,3"));
        QCOMPARE(at(forOdu, "0"), json(R"({"product_code": "BH-1", "id_series": 401, "model": "BH1",
                                  "base_model": "BH", "table_name": "dt_branch", "type": 31})"));
        QCOMPARE(fields(at(doc, "jsonObjAccessory/ar_for_idu"), "type"), L("0,1,5,6,7,3,-,-,-"));
        const QJsonValue odus = at(doc, "jsonObjMatching/odu_matching");
        QCOMPARE(at(odus, "1/obj_series"), json(R"({"id_series": 102, "product_series": "ODU B",
            "category": "Mini", "sub_catalog": "", "odu_type": "Side", "product_type": 0})"));
        QCOMPARE(fields(at(odus, "0/ar_matching"), "product_code"),
                 L("C0,C1,C5,C6,C7,LEG-1,MP-1,MP-1,Q'1"));
        QCOMPARE(at(odus, "0/ar_matching/6"), at(forOdu, "2"));

        // Series in sub_catalog order; type 11 and accessory series absent. The outdoor list
        // keeps the model with a quote and leaves out the kind 2 branch and the model without
        // a series row.
        QCOMPARE(texts(e.series), L("Mini,Aheat-VRF,Heat pump-VRF"));
        QCOMPARE(texts(e.accessories), L("BH1,MP4-1,MS1,Q'M,DUP-O"));
        QVERIFY(texts(e.matched).isEmpty() && !e.series->currentIndex().isValid());

        // A click shows the matching and toggles the row: a second click deselects it and
        // still shows the matching. A click on an accessory only toggles its selection.
        drive(e, "cl1");
        QCOMPARE(texts(e.matched), L("BH1"));
        QCOMPARE(selected(e.series), L("1"));
        drive(e, "cl1");
        QCOMPARE(texts(e.matched), L("BH1"));
        QCOMPARE(selected(e.series), QString());
        QAbstractItemModel *shown = e.matched->model();
        drive(e, "cr2");
        QCOMPARE(selected(e.accessories), L("2"));
        // Nothing selected on the left: "<--" and a double-click change nothing nor redraw.
        drive(e, "< dr1");
        QCOMPARE(e.matched->model(), shown);

        // The middle list follows the current series when the keyboard moves it.
        drive(e, "Down");
        QCOMPARE(e.series->currentIndex().row(), 2);
        QCOMPARE(texts(e.matched), L("MP4-1,C7,C6,MP4-1,Q'M,C5,C0,C1,L1"));

        // Two series (Mini, Heat pump) and three accessories, in right-list order; MP4-1 is
        // already matched to Heat pump. The middle list shows the last clicked series.
        e.accessories->clearSelection();
        drive(e, "cl0 cl2 cr2 cr0 cr1 <");
        QCOMPARE(texts(e.matched), L("MP4-1,C7,C6,MP4-1,Q'M,C5,C0,C1,L1,BH1,MS1"));
        drive(e, "cl0 cl0");
        QCOMPARE(texts(e.matched), L("BH1,MP4-1,MS1"));
        // A double-click on an accessory adds it to every selected series; a repeat is
        // refused silently.
        ModalAnswerer answerer;
        e.accessories->clearSelection();
        drive(e, "dr3 dr3");
        QCOMPARE(texts(e.matched), L("BH1,MP4-1,MS1,Q'M"));
        QCOMPARE(answerer.count(), 0);
        // Only the additions are written, with their kind names.
        const QStringList oduBefore = rows(kTables.at(1));
        e.save();
        QCOMPARE(rows(kTables.at(1)),
                 sorted(oduBefore + QStringList{"102|BH-1|BRANCH_HEADER", "102|MP-1|MP4",
                                                "102|MS-1|MS", "102|Q'1|MP4",
                                                "101|BH-1|BRANCH_HEADER", "101|MS-1|MS"}));

        // Indoor series and accessories (kind 12 on offer nowhere); the outdoor series'
        // matching goes from the middle list.
        drive(e, "k1");
        QCOMPARE(texts(e.series), L("Cassette-IDU,Duct-IDU"));
        QCOMPARE(texts(e.accessories), L("C0,C1,C5,C6,C7,O10,L1,ND,DUP-I"));
        QCOMPARE(texts(e.matched), QString());
        // An indoor accessory of kind 0 can be matched to an indoor series.
        drive(e, "cr0 cl0 <");
        QCOMPARE(texts(e.matched), L("BH1,C0"));
        drive(e, "cl0");
        e.accessories->clearSelection();

        // "-->" with no matched row selected changes nothing but redraws.
        drive(e, "cl1");
        QCOMPARE(texts(e.matched), L("C1,C6,DUP-O"));
        shown = e.matched->model();
        drive(e, ">");
        QVERIFY(e.matched->model() != shown);
        QCOMPARE(texts(e.matched), L("C1,C6,DUP-O"));
        // Two matched rows and both series (the second selected as by dragging, so Duct stays
        // shown): each removal goes by model, in every selected series holding it.
        e.series->selectionModel()->select(e.series->model()->index(0, 0),
                                           QItemSelectionModel::Select);
        drive(e, "cm2 cm1 >");
        QCOMPARE(texts(e.matched), L("C1"));
        // C1 added to both (Duct refuses the repeat), then removed from both by a double-click
        // on the shown row, also from Cassette, which the middle list does not show.
        drive(e, "cr1 <");
        QCOMPARE(texts(e.matched), L("C1"));
        drive(e, "dm0");
        QCOMPARE(texts(e.matched), QString());
        drive(e, "cl0");
        QCOMPARE(texts(e.matched), L("BH1,C0"));
        // Rows the tab cannot show stay.
        e.save();
        const QStringList saved = rows(kTables.at(2));
        QCOMPARE(saved, sorted({"202|BH-1", "202|C0", "201|C12", "201|U-1", "999|C1"}));

        // Unsaved edits reach the snapshot, not the database.
        drive(e, "dr3");
        QVERIFY(e.writeSnapshot());
        QCOMPARE(rows(kTables.at(2)), saved);
        doc = snapshotFile("series_and_acc.json").object();
        QCOMPARE(fields(at(doc, "jsonObjMatching/idu_matching/0/ar_matching"), "product_code"),
                 L("C6"));
    }

    void editSequences_data()
    {
        sequenceColumns(); // on the shared fixture
        const QString a = "MP-M,C0-M,MP-M,C5-M";
        QTest::newRow("added, removed by hand") << "cl0 dr0 dm0 S"
                                                << "" << false << "" << 0;
        QTest::newRow("doubled pair removed, added back once")
            << "cl1 dm0 dr1 S"
            << "C0-M,C5-M,MP-M" << false << "-1|MP|MP4" << 2;
        QTest::newRow("saved, then undone by hand") << "cl0 dr2 S dm0 S"
                                                    << "" << false << "" << 1;
        QTest::newRow("both kinds") << "cl0 dr0 k1 cl2 dr0 S"
                                    << "C0-M" << false << "+13|C0 +3|BH|BRANCH_HEADER" << 2;
        QTest::newRow("code without a kind name removed")
            << "cl1 dm1 S"
            << "MP-M,MP-M,C5-M" << false << "-1|C0|" << 1;
        QTest::newRow("re-edited after a save") << "k1 cl1 dr1 S cl1 cl0 dm1 cl0 cl1 dm1 S"
                                                << "MP-M" << false << "-10|C5 -10|C5" << 2;
        // The middle list follows the current series and is cleared on a switch of kind.
        QTest::newRow("arrow keys") << "cl0 Down" << a << false << "" << -1;
        QTest::newRow("switch of kind") << "cl1 k1"
                                        << "" << false << "" << -1;
        // Rows the find box hides are not acted on; type-ahead chooses nothing.
        QTest::newRow("hidden series") << "sl0,1 fl=heat cr0 < S"
                                       << "" << false << "+1|BH|BRANCH_HEADER" << 1;
        QTest::newRow("hidden accessory") << "cl0 sr0,2 fr=ms < S"
                                          << "MS-M" << false << "+3|MS|MS" << 1;
        QTest::newRow("hidden matched row") << "cl1 cm1 fm=mp > S" << a << false << "" << 0;
        QTest::newRow("type-ahead")
            << "cr0 cl0 tl=H < S" << a << false << "+3|BH|BRANCH_HEADER" << 1;
        // One undo step per button press, across kinds; the mark follows.
        QTest::newRow("undo to the saved state") << "cl0 sr0,1 < u"
                                                 << "" << false << "" << -1;
        QTest::newRow("undo across kinds, redo, save") << "cl0 cr0 < k1 cl2 cr0 < u u r S"
                                                       << "" << false << "+3|BH|BRANCH_HEADER" << 1;
        QTest::newRow("undo past a save")
            << "cl1 cm0 > S u" << a << true << "-1|MP|MP4 -1|MP|MP4" << -1;
        QTest::newRow("discard") << "cl0 cr0 < D"
                                 << "" << false << "" << -1;
    }

    void editSequences() { runSequence<Accessory>(); }
};

QTEST_MAIN(TestMatchingAccessory)
#include "tst_matching_accessory.moc"
