#pragma once

// What the rule editor suites share: a small product database with rule names that series
// use, and the ways a user reaches the editors' widgets.

#include "testhelpers.h"

#include "heditallruletablewidget.h"
#include "htablewidget.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QListView>
#include <QPushButton>
#include <QSqlTableModel>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace TestHelpers;

namespace rulesfixture {

// Two outdoor series, the second without rules, one indoor series, and a few rule names.
const QStringList kFixture = {
    "insert into __product_series (ID, id_series, product_type, category, sub_catalog, "
    "rule_pipe_dimmension, rule_centralized_control, rule_limit, rule_add_refri_charge, "
    "rule_connect_ratio) values "
    "(1, 101, 0, 'VRF', 'Heat pump', 'PD-Standard', 'CC-Basic', 'LIM-165m', 'AC-R410A', 'CR-130'), "
    "(2, 102, 1, 'IDU', 'Duct', 'x', 'x', 'x', 'x', 'x'), "
    "(3, 103, 0, 'Mini VRF', 'Heat recovery', NULL, NULL, NULL, NULL, NULL)",
    "insert into __rule_limit (ID, rule_name, max_pipe_length_m) values "
    "(1, 'LIM-165m', 165), (2, 'LIM-120m', 120), (3, 'O''Brien 5''', 90)",
    "insert into __rule_pipe_dimension (rule_name) values ('PD-Standard'), ('PD-Large')",
    "insert into __rule_centralized_control (rule_name) values ('CC-Basic')",
    "insert into __rule_additional_charge (ID, rule_name, liquid_pipe_mm) values "
    "(1, 'AC-R410A', 6.35), (2, 'AC-R32', 9.52)",
    "insert into __rule_connect_ratio (rule_name) values ('CR-130'), ('CR-150')",
};

// NULL shows as "-", so that a NULL written back as '' is seen.
const QString kSeriesRules = QStringLiteral(
    "select coalesce(rule_pipe_dimmension, '-'), coalesce(rule_centralized_control, '-'), "
    "coalesce(rule_limit, '-'), coalesce(rule_add_refri_charge, '-'), "
    "coalesce(rule_connect_ratio, '-') from __product_series where product_type = 0 order by ID");
const QString kHeaders =
    QStringLiteral("sub_catalog|category|rule_pipe_dimmension|"
                   "rule_centralized_control|rule_limit|rule_add_refri_charge|rule_connect_ratio");
const QString kLimitRows =
    QStringLiteral("select ID, rule_name, max_pipe_length_m from __rule_limit order by ID");

template <typename T> inline T *child(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

inline bool shown(QWidget *widget, int width = 1200, int height = 400)
{
    widget->resize(width, height);
    widget->show();
    return QTest::qWaitForWindowExposed(widget);
}

inline QPushButton *button(QWidget *parent, QDialogButtonBox::StandardButton which)
{
    auto *box = child<QDialogButtonBox>(parent, "buttonBox");
    return box ? box->button(which) : nullptr;
}

inline void press(QPushButton *button)
{
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

inline void press(QWidget *parent, const char *name)
{
    press(child<QPushButton>(parent, name));
}

inline QTableWidget *ruleTable(QWidget *tab)
{
    return child<QTableWidget>(tab, "tableWidget");
}

// The header labels, then each row, as cell texts joined by "|".
inline QStringList tableRows(QTableWidget *table)
{
    QStringList rows;
    for (int row = -1; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int col = 0; col < table->columnCount(); ++col)
            cells.append(row < 0 ? table->horizontalHeaderItem(col)->text()
                                 : table->item(row, col)->text());
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}

inline QListView *pickerList(QWidget *picker)
{
    return child<QListView>(picker, "listView");
}

inline QSqlTableModel *tableModel(QWidget *editor)
{
    // The view may show the table model through a sorting proxy.
    QAbstractItemModel *model = child<QTableView>(editor, "tableView")->model();
    if (auto *proxy = qobject_cast<QSortFilterProxyModel *>(model))
        model = proxy->sourceModel();
    return qobject_cast<QSqlTableModel *>(model);
}

inline bool setCell(QSqlTableModel *model, int row, const char *column, const QVariant &value)
{
    return model->setData(model->index(row, model->fieldIndex(QLatin1String(column))), value);
}

// Answers a picker: chooses `name` by a click (or a double-click), then presses `which`.
inline ModalAnswerer::Action choose(const QString &name, bool doubleClick = false,
                                    QDialogButtonBox::StandardButton which = QDialogButtonBox::Ok)
{
    return [=](QWidget *picker) {
        QListView *list = pickerList(picker);
        const int row = rowTexts(list).indexOf(name);
        if (row >= 0)
            doubleClick ? doubleClickRow(list, row) : clickRow(list, row);
        press(button(picker, which));
        QVERIFY2(row >= 0, qPrintable(name));
    };
}

// The editor of __rule_limit, in a window of its own or in the "All rule table" tab.
inline HTableWidget *openLimitEditor(bool embedded, QScopedPointer<QWidget> &top)
{
    if (embedded) {
        top.reset(new HEditAllRuleTableWidget);
        auto *combo = child<QComboBox>(top.data(), "comboBox");
        combo->setCurrentIndex(combo->findText(QStringLiteral("Limit")));
    } else {
        top.reset(new HTableWidget(QStringLiteral("__rule_limit")));
    }
    if (!shown(top.data(), 900, 600))
        return nullptr;
    auto *editor = qobject_cast<HTableWidget *>(top.data());
    return editor ? editor : top->findChild<HTableWidget *>();
}

} // namespace rulesfixture

using namespace rulesfixture;
