#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

class QTableWidget;
class QTableWidgetItem;

// The two tables of the sale status tab: filled from a scheme's series_table and idx_table,
// read back into them, and the check-all walk over the shown rows.
//
// Every record has a row. Rows that are not shown keep height 0 (and are hidden, so that
// painting skips them) rather than being removed, so that saving and the workbook export
// still see them; a row is shown when its height is greater than 0.1.
class HSaleStatusTables
{
public:
    HSaleStatusTables() = default;
    ~HSaleStatusTables();
    HSaleStatusTables(const HSaleStatusTables &) = delete;
    HSaleStatusTables &operator=(const HSaleStatusTables &) = delete;

    // Rows selected whole, one at a time; rows of height 0 allowed; no row numbers.
    static void setUp(QTableWidget *table);

    // Series table: id_series, category text, is_not_for_sale, is_user_skip, model string;
    // the rows of series of other product types are not shown.
    static void fillSeries(QTableWidget *table, const QJsonArray &series, int productType);
    // Model table: product_code, model, OEM Model, is_not_for_sale, is_user_skip; only the
    // rows of the series are shown. Every cell is set again, hidden rows included.
    void fillModels(QTableWidget *table, const QJsonArray &models, int idSeries);
    // Empties the model table; its items are kept for the next fill.
    void clearModels(QTableWidget *table);

    // Writes each row into the first record with its key (series id, product code); rows
    // without a record are skipped.
    static void writeSeries(const QTableWidget *table, QJsonArray &series);
    static void writeModels(const QTableWidget *table, QJsonArray &models);

    // Check all / uncheck all: with an empty list every shown row gets `state`; otherwise a
    // shown row whose column 0 is listed gets `state` and any other shown row its opposite.
    // Rows not shown are never touched.
    static void setShownChecks(QTableWidget *table, int column, const QStringList &ids,
                               Qt::CheckState state);

    // odu_type-sub_catalog-category for outdoor series, sub_catalog-category otherwise, with
    // empty parts left out.
    static QString categoryText(const QJsonObject &record, int productType);
    static QString cellText(const QTableWidget *table, int row, int column);
    static bool cellChecked(const QTableWidget *table, int row, int column);

private:
    void deleteSpareItems();

    QVector<QVector<QTableWidgetItem *>> m_spareModelItems;
};
