#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

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

    // The two tables of the tab: rows selected whole, one at a time; rows of height 0
    // allowed; no row numbers. Edits in them are noted, so that a refill resets only the rows
    // that differ from the scheme.
    void setUp(QTableWidget *seriesTable, QTableWidget *modelTable);
    QTableWidget *seriesTable() const { return m_seriesTable; }
    QTableWidget *modelTable() const { return m_modelTable; }

    // Series table: id_series, category text, is_not_for_sale, is_user_skip, model string;
    // the rows of series of other product types are not shown.
    void fillSeries(const QJsonArray &series, int productType);
    // Model table: product_code, model, OEM Model, is_not_for_sale, is_user_skip; only the
    // rows of the series are shown.
    void fillModels(const QJsonArray &models, int idSeries);
    // Both fills show the scheme's values: a cell edited or imported since the last
    // "Save to scheme" is set back. After the first fill of a scheme only the rows that
    // change are touched (those edited, and those shown or hidden), so a click costs the
    // rows of two series, not every cell of the table.

    // The scheme now in memory is another one (loaded, created): the next fills start anew.
    void schemeReplaced();
    // Empties the model table; its items are kept for the next fill.
    void clearModels();

    // Writes each row of `table` (one of the two) into the first record with its key (series
    // id, product code), the last row of a key winning; rows without a record are skipped.
    // Afterwards the table and the records agree.
    void writeRows(const QTableWidget *table, QJsonArray &records) { write(table, records, false); }
    // The same for the rows edited since the last fill or write only: what a switch of
    // product type or series keeps of the edits, without walking every row.
    void writeEditedRows(const QTableWidget *table, QJsonArray &records)
    {
        write(table, records, true);
    }
    // Whether the model table holds the scheme's models (it is empty until a series is
    // clicked after a scheme was loaded).
    bool modelsFilled() const { return m_models.filled; }

    // Whether a row belongs to the product type or series the table shows (the find box
    // may hide it still).
    bool rowOfShownKey(const QTableWidget *table, int row) const;
    // Shows or hides a row the way the tables do (height 0 and hidden).
    static void showRow(QTableWidget *table, int row, bool shown);
    // Rows of the key shown.
    int keyRowCount(const QTableWidget *table) const;
    // A cell edited from outside the user's typing (undo, redo): noted for the next save.
    void noteEdited(const QTableWidget *table, int row);

    // Check all / uncheck all: with an empty list every shown row gets `state`; otherwise a
    // shown row whose column 0 is listed gets `state` and any other shown row its opposite.
    // Rows not shown are never touched. `table` is one of the two tables.
    // Returns the rows it changed.
    QVector<int> setShownChecks(QTableWidget *table, int column, const QStringList &ids,
                                Qt::CheckState state);

    // The rows "Save to Db" must compare with the database, in table order: every row after
    // a scheme was loaded or a table rebuilt, else only the rows edited or checked since the
    // last successful save to the database, with every other row of the same key (an
    // update by key writes them all, the last row winning).
    QVector<int> seriesRowsToSave() const { return rowsToSave(m_series, m_seriesTable); }
    QVector<int> modelRowsToSave() const { return rowsToSave(m_models, m_modelTable); }
    // Those rows are in the database now.
    void savedToDb();

    // odu_type-sub_catalog-category for outdoor series, sub_catalog-category otherwise, with
    // empty parts left out.
    static QString categoryText(const QJsonObject &record, int productType);
    static QString cellText(const QTableWidget *table, int row, int column);
    static bool cellChecked(const QTableWidget *table, int row, int column);

private:
    // What a table shows of the scheme's array: which rows belong to which key (product type,
    // series), the key shown, and the rows edited since the last fill.
    struct Shown
    {
        bool filled = false;
        int key = 0;
        QHash<int, QVector<int>> rowsByKey;
        QVector<int> keyOfRow;
        QSet<int> edited;
        // Rows that may differ from the database; all of them when `allUnsaved`.
        bool allUnsaved = true;
        QSet<int> unsaved;
        // The rows of each column-0 text that more than one row holds.
        QHash<QString, QVector<int>> sharedKeys;
        void reset();
    };

    Shown &shownOf(const QTableWidget *table)
    {
        return table == m_seriesTable ? m_series : m_models;
    }
    const Shown &shownOf(const QTableWidget *table) const
    {
        return table == m_seriesTable ? m_series : m_models;
    }
    void write(const QTableWidget *table, QJsonArray &records, bool editedOnly);
    static QVector<int> rowsToSave(const Shown &shown, const QTableWidget *table);

    using RowSetter = std::function<void(int row)>;
    // Fills `table` from `records` with the rows whose key (`keyName`) is `key` shown: every
    // row the first time, or when the records no longer fit the table; else only the rows
    // edited since, and the rows shown before and now. `keyMoved` runs when the key changed.
    void refill(QTableWidget *table, Shown &shown, const QStringList &headers, int stretchColumn,
                const QJsonArray &records, const QString &keyName, int key, const RowSetter &setRow,
                const std::function<void(int previousKey)> &keyMoved);
    void deleteSpareItems();

    QTableWidget *m_seriesTable = nullptr;
    QTableWidget *m_modelTable = nullptr;
    Shown m_series;
    Shown m_models;
    QVector<QVector<QTableWidgetItem *>> m_spareModelItems;
};
