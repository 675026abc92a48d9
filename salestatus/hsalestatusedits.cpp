#include "hsalestatusedits.h"

#include "hsalestatustables.h"
#include "translatestring.h"

#include <QTableWidget>
#include <QTableWidgetItem>
#include <QUndoCommand>

namespace {

qint64 cellKey(int row, int column)
{
    return (qint64(row) << 8) | column;
}

// Edits of the tables (a tick, a name, a check all, an import) as one step each. The edit is
// made before the command is pushed, so the first redo does nothing.
class CellsCommand : public QUndoCommand
{
public:
    CellsCommand(HSaleStatusEdits *edits, const QString &text,
                 QVector<HSaleStatusEdits::Cell> cells)
        : QUndoCommand(text)
        , m_edits(edits)
        , m_cells(std::move(cells))
    {}
    void undo() override { m_edits->applyCells(m_cells, false); }
    void redo() override
    {
        if (m_done)
            m_edits->applyCells(m_cells, true);
        m_done = true;
    }

private:
    HSaleStatusEdits *m_edits;
    QVector<HSaleStatusEdits::Cell> m_cells;
    bool m_done = false;
};

// A value outside the tables (install codes, the default IDU type) set through a function.
template <typename T> class ValueCommand : public QUndoCommand
{
public:
    ValueCommand(const QString &text, T before, T after, std::function<void(const T &)> apply,
                 bool done)
        : QUndoCommand(text)
        , m_before(std::move(before))
        , m_after(std::move(after))
        , m_apply(std::move(apply))
        , m_done(done)
    {}
    void undo() override { m_apply(m_before); }
    void redo() override
    {
        if (m_done)
            m_apply(m_after);
        m_done = true;
    }

private:
    T m_before;
    T m_after;
    std::function<void(const T &)> m_apply;
    bool m_done;
};

} // namespace

HSaleStatusEdits::HSaleStatusEdits(HSaleStatusTables &tables, SchemeValue schemeValue)
    : m_tables(tables)
    , m_schemeValue(std::move(schemeValue))
{}

bool HSaleStatusEdits::isCheckColumn(bool seriesTable, int column)
{
    return seriesTable ? (column == 2 || column == 3) : (column == 3 || column == 4);
}

void HSaleStatusEdits::reset()
{
    m_undo.clear();
    m_known.clear();
}

void HSaleStatusEdits::remember(const QTableWidget *table, int row, int column,
                                const QVariant &value)
{
    m_known.insert(qMakePair(table, cellKey(row, column)), value);
}

void HSaleStatusEdits::cellChanged(QTableWidgetItem *item)
{
    if (m_applying || !item)
        return;
    QTableWidget *table = item->tableWidget();
    const bool series = table == m_seriesTable;
    const int column = item->column();
    const bool check = isCheckColumn(series, column);
    if (!check && column != (series ? 4 : 2))
        return;
    const QVariant now = check ? QVariant(int(item->checkState())) : QVariant(item->text());
    const auto known = m_known.constFind(
        qMakePair(static_cast<const QTableWidget *>(table), cellKey(item->row(), column)));
    const QVariant before =
        known != m_known.constEnd() ? known.value() : m_schemeValue(table, item->row(), column);
    if (before == now)
        return;
    remember(table, item->row(), column, now);
    const Cell cell{table, item->row(), column, before, now};
    if (m_collect) {
        m_collect->append(cell);
        return;
    }
    push(check ? TranslateString(QStringLiteral("Tick")) : TranslateString(QStringLiteral("Name")),
         {cell});
}

void HSaleStatusEdits::checksChanged(QTableWidget *table, int column, const QVector<int> &rows,
                                     const QVector<Qt::CheckState> &before, const QString &text)
{
    QVector<Cell> cells;
    cells.reserve(rows.size());
    for (int row : rows) {
        const QVariant now(int(table->item(row, column)->checkState()));
        remember(table, row, column, now);
        cells.append({table, row, column, int(before.at(row)), now});
    }
    push(text, cells);
}

void HSaleStatusEdits::collect(const QString &text, const std::function<void()> &run)
{
    QVector<Cell> cells;
    m_collect = &cells;
    run();
    m_collect = nullptr;
    push(text, cells);
}

void HSaleStatusEdits::push(const QString &text, const QVector<Cell> &cells)
{
    if (!cells.isEmpty())
        m_undo.push(new CellsCommand(this, text, cells));
}

void HSaleStatusEdits::pushInstallCodes(const QString &text, const QJsonObject &before,
                                        const QJsonObject &after,
                                        std::function<void(const QJsonObject &)> apply)
{
    m_undo.push(new ValueCommand<QJsonObject>(text, before, after, std::move(apply), true));
}

void HSaleStatusEdits::pushIduType(const QString &before, const QString &after,
                                   std::function<void(const QString &)> apply)
{
    m_undo.push(new ValueCommand<QString>(TranslateString(QStringLiteral("Default IDU type")),
                                          before, after, std::move(apply), false));
}

void HSaleStatusEdits::applyCells(const QVector<Cell> &cells, bool after)
{
    const bool applying = m_applying;
    m_applying = true;
    for (const Cell &cell : cells) {
        QTableWidgetItem *item = cell.table->item(cell.row, cell.column);
        if (!item)
            continue;
        const QVariant &value = after ? cell.after : cell.before;
        if (isCheckColumn(cell.table == m_seriesTable, cell.column))
            item->setCheckState(Qt::CheckState(value.toInt()));
        else
            item->setText(value.toString());
        remember(cell.table, cell.row, cell.column, value);
        m_tables.noteEdited(cell.table, cell.row);
    }
    m_applying = applying;
}
