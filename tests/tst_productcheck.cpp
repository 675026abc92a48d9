#include "testhelpers.h"

#include "hdbfind.h"
#include "hproductdatacheckdialog.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace TestHelpers;
using L = QLatin1String;

namespace {

// Each matching table holds one sound row and dangling ones; rule names dangle in two
// columns, while '' and NULL name no rule.
const QStringList kFixture{
    "insert into __product_series (id_series, product_type, rule_limit, "
    "rule_pipe_dimmension, rule_connect_ratio, rule_centralized_control) values "
    "(1, 0, 'L1', 'P-X', 'CR1', NULL), (2, 0, 'GONE-LIMIT', NULL, NULL, ''), "
    "(3, 0, NULL, NULL, NULL, NULL), (10, 1, NULL, NULL, NULL, NULL)",
    "insert into __rule_limit (rule_name) values ('L1')",
    "insert into __rule_connect_ratio (rule_name) values ('CR1')",
    "insert into __product_idx (product_code, id_series, product_type) values "
    "('A1', 10, 10)",
    "insert into __rule_odu_idu_matching values (1, 10), (1, 99), (98, 10), "
    "(98, 99)",
    "insert into __rule_odu_acc_matching values (1, 'A1', 'MS'), (1, 'GONE', "
    "'MS'), (97, 'A1', 'MS')",
    "insert into __rule_unit_acc_controller_matching values (10, 'A1'), "
    "(10, 'GONE'), (96, 'A1')"};

// The group lines of the check's list.
QString groups(QWidget *dialog)
{
    auto *tree = dialog->findChild<QTreeWidget *>("treeWidget_dangling");
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts.append(tree->topLevelItem(i)->text(0));
    return texts.join(L(", "));
}

} // namespace

class TestProductCheck : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;

    QStringList state() const
    {
        QStringList rows;
        for (const char *sql :
             {"select * from __rule_odu_idu_matching", "select * from __rule_odu_acc_matching",
              "select * from __rule_unit_acc_controller_matching",
              "select id_series, coalesce(rule_limit, 'NULL'), coalesce(rule_pipe_dimmension, "
              "'NULL'), coalesce(rule_centralized_control, 'NULL'), rule_connect_ratio from "
              "__product_series"})
            rows += sqlRows(m_db, QString::fromLatin1(sql));
        rows.sort();
        return rows;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath("Product.mdb");
        QString error;
        QVERIFY2(createProductDb(m_db, kFixture, &error), qPrintable(error));
        useProductDb(m_db);
        HDbFind::setDbFileAndPwd("Product.mdb", "pw");
    }

    void cleanup() { HDbFind::closeDb(); }

    // The check lists every dangling row once, grouped by table with counts, and removes them
    // only after a question and only while the data is as it was listed.
    void listsAndRemovesAfterTheQuestion()
    {
        ModalAnswerer answerer;
        QString listed;
        QStringList odus;
        answerer.act([&](QWidget *dialog) {
            listed = groups(dialog);
            auto *group = dialog->findChild<QTreeWidget *>()->topLevelItem(0);
            for (int i = 0; i < group->childCount(); ++i)
                odus.append(group->child(i)->text(0));
            static_cast<QDialog *>(dialog)->reject();
        });
        HProductDataCheckDialog::run(nullptr);
        QCOMPARE(answerer.seen().at(0).title, L("Check product data"));
        QCOMPARE(listed, L("__rule_odu_idu_matching (3), __rule_odu_acc_matching (2), "
                           "__rule_unit_acc_controller_matching (2), __product_series (2)"));
        odus.sort();
        QCOMPARE(odus,
                 QStringList({"outdoor series 1, indoor series 99: no such indoor series",
                              "outdoor series 98, indoor series 10: no such outdoor series",
                              "outdoor series 98, indoor series 99: no such outdoor series"}));

        HProductDataCheckDialog dialog;
        dialog.show();
        auto *remove = dialog.findChild<QPushButton *>("pushButton_remove");
        const QStringList before = state();
        answerer.clear();
        answerer.answer(QMessageBox::No);
        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(answerer.texts(),
                 QStringList{"Delete 7 rows of the matching tables and clear 2 rule names of "
                             "series? This cannot be undone."});
        QCOMPARE(state(), before);

        // A row that starts to dangle after the list was shown: nothing is removed, and the
        // list then shows the database as it is now.
        QVERIFY(execSql(m_db, {"insert into __rule_unit_acc_controller_matching "
                               "values (95, 'A1')"}));
        const QStringList changed = state();
        answerer.answer(QMessageBox::Yes);
        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(answerer.count(), 3);
        QCOMPARE(answerer.seen().at(2).title, L("Warning"));
        QVERIFY(answerer.seen().at(2).text.contains(L("changed since it was checked")));
        QCOMPARE(state(), changed);
        QVERIFY(groups(&dialog).contains(L("__rule_unit_acc_controller_matching (3)")));

        // "Yes" removes exactly the dangling rows and clears the dangling rule names.
        answerer.answer(QMessageBox::Yes);
        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(answerer.count(), 4);
        QStringList expected{"1|10",
                             "1|A1|MS",
                             "10|A1",
                             "1|L1||NULL|CR1",
                             "2||NULL||",
                             "3|NULL|NULL|NULL|",
                             "10|NULL|NULL|NULL|"}; // NULL ratio reads ''
        expected.sort();
        QCOMPARE(state(), expected);
        QCOMPARE(groups(&dialog), L("__rule_odu_idu_matching (0), __rule_odu_acc_matching (0), "
                                    "__rule_unit_acc_controller_matching (0), "
                                    "__product_series (0)"));
        QVERIFY(!remove->isEnabled());
        // The history holds each row removed and each name cleared; none of the attempt that
        // found the data changed.
        QStringList history = sqlRows(m_db, "select table_name, row_key, column_name, "
                                            "old_value, coalesce(new_value, 'NULL') from "
                                            "maintainer_audit");
        history.sort();
        QCOMPARE(history, QStringList({"__product_series|1|rule_pipe_dimmension|P-X|",
                                       "__product_series|2|rule_limit|GONE-LIMIT|",
                                       "__rule_odu_acc_matching|1 / GONE|(row)|1|NULL",
                                       "__rule_odu_acc_matching|97 / A1|(row)|1|NULL",
                                       "__rule_odu_idu_matching|1 / 99|(row)|1|NULL",
                                       "__rule_odu_idu_matching|98 / 10|(row)|1|NULL",
                                       "__rule_odu_idu_matching|98 / 99|(row)|1|NULL",
                                       "__rule_unit_acc_controller_matching|10 / GONE|(row)|1|NULL",
                                       "__rule_unit_acc_controller_matching|95 / A1|(row)|1|NULL",
                                       "__rule_unit_acc_controller_matching|96 / A1|(row)|1|NULL"}));
    }
};

QTEST_MAIN(TestProductCheck)
#include "tst_productcheck.moc"
