#pragma once

#include <QHash>
#include <QJsonObject>
#include <QPair>
#include <QString>
#include <QUndoStack>
#include <QVariant>
#include <QVector>

#include <functional>

class HSaleStatusTables;
class QTableWidget;
class QTableWidgetItem;

// Edit bookkeeping of the sale status tab: each edit of the two tables (a tick, a name, a
// check all, an import), of the install codes and of the default IDU type is one undo step.
// The cell values set or seen since the scheme was loaded are remembered, so that a step knows
// the value it replaces without reading the scheme again; other cells hold the scheme's value.
class HSaleStatusEdits
{
public:
    // One cell of the two tables: a check state (int) or a text.
    struct Cell
    {
        QTableWidget *table;
        int row;
        int column;
        QVariant before;
        QVariant after;
    };
    // The value a cell has in the scheme in memory.
    using SchemeValue = std::function<QVariant(const QTableWidget *table, int row, int column)>;

    HSaleStatusEdits(HSaleStatusTables &tables, SchemeValue schemeValue);

    QUndoStack &stack() { return m_undo; }
    const QUndoStack &stack() const { return m_undo; }
    void setSeriesTable(const QTableWidget *table) { m_seriesTable = table; }

    // Series table: columns 2 and 3 are ticks; model table: 3 and 4.
    static bool isCheckColumn(bool seriesTable, int column);

    // While cells are set by undo/redo, or a load runs, edits are not recorded.
    bool isApplying() const { return m_applying; }
    void setApplying(bool applying) { m_applying = applying; }

    // A scheme was loaded: no steps, no values seen.
    void reset();
    // A cell of either table changed (itemChanged): one step unless nothing changed.
    void cellChanged(QTableWidgetItem *item);
    // The rows a check all changed, from the check states `before` (one per table row).
    void checksChanged(QTableWidget *table, int column, const QVector<int> &rows,
                       const QVector<Qt::CheckState> &before, const QString &text);
    // The cell edits made while `run` runs are one step (an import).
    void collect(const QString &text, const std::function<void()> &run);
    // Install codes and the default IDU type, set through `apply` on undo and redo. The IDU
    // type is already chosen when the step is pushed; install codes are set by the push.
    void pushInstallCodes(const QString &text, const QJsonObject &before, const QJsonObject &after,
                          std::function<void(const QJsonObject &)> apply);
    void pushIduType(const QString &before, const QString &after,
                     std::function<void(const QString &)> apply);

    // Sets cells to their `before` (undo) or `after` values.
    void applyCells(const QVector<Cell> &cells, bool after);

private:
    void push(const QString &text, const QVector<Cell> &cells);
    void remember(const QTableWidget *table, int row, int column, const QVariant &value);

    HSaleStatusTables &m_tables;
    SchemeValue m_schemeValue;
    const QTableWidget *m_seriesTable = nullptr;
    QUndoStack m_undo;
    QHash<QPair<const QTableWidget *, qint64>, QVariant> m_known;
    bool m_applying = false;
    // While an import runs, its edits are collected into one step.
    QVector<Cell> *m_collect = nullptr;
};
