#include "hsalestatustables.h"

#include "hsalestatusedits.h"
#include "hsalestatusschemes.h"
#include "htextdelegate.h"
#include "translatestring.h"

#include <QHash>
#include <QHeaderView>
#include <QSet>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTableWidgetItem>

#include <algorithm>
#include <numeric>

namespace {

const int kShownRowHeight = 30;

const QStringList &seriesHeaders()
{
    static const QStringList headers = {
        QStringLiteral("id_series"), QStringLiteral("category"), QStringLiteral("is_not_for_sale"),
        QStringLiteral("is_user_skip"), TranslateString(QStringLiteral("model string"))};
    return headers;
}

const QStringList &modelHeaders()
{
    static const QStringList headers = {QStringLiteral("product_code"), QStringLiteral("model"),
                                        TranslateString(QStringLiteral("OEM Model")),
                                        QStringLiteral("is_not_for_sale"),
                                        QStringLiteral("is_user_skip")};
    return headers;
}

using SpareItems = QVector<QTableWidgetItem *>;

Qt::ItemFlags defaultFlags()
{
    static const Qt::ItemFlags flags = QTableWidgetItem().flags();
    return flags;
}

// An item for an empty cell: a spare one of the same column when there is one, else a new
// one.
QTableWidgetItem *takeItem(SpareItems *spare)
{
    if (spare && !spare->isEmpty())
        return spare->takeLast();
    return new QTableWidgetItem;
}

// Sets a text cell in place; an item is put in only when the cell has none. Setting a value
// the item already holds costs no signal, so refilling a table with mostly the same values
// is cheap.
void setTextCell(QTableWidget *table, int row, int column, const QString &text, bool editable,
                 SpareItems *spare = nullptr)
{
    const Qt::ItemFlags flags = editable ? defaultFlags() : defaultFlags() & ~Qt::ItemIsEditable;
    QTableWidgetItem *item = table->item(row, column);
    const bool empty = !item;
    if (empty)
        item = takeItem(spare);
    item->setText(text);
    if (item->flags() != flags)
        item->setFlags(flags);
    if (empty)
        table->setItem(row, column, item);
}

void setCheckCell(QTableWidget *table, int row, int column, bool checked,
                  SpareItems *spare = nullptr)
{
    const Qt::ItemFlags flags = (defaultFlags() & ~Qt::ItemIsEditable) | Qt::ItemIsUserCheckable;
    QTableWidgetItem *item = table->item(row, column);
    const bool empty = !item;
    if (empty)
        item = takeItem(spare);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    if (item->flags() != flags)
        item->setFlags(flags);
    if (empty)
        table->setItem(row, column, item);
}

bool rowShown(const QTableWidget *table, int row)
{
    return table->rowHeight(row) > 0.1;
}

// Rows that are not shown are hidden as well as kept at height 0: the view then skips them
// when it paints or scrolls, instead of stepping through tens of thousands of empty rows.
// A hidden row reports height 0, and it stays in the table, so that saving and the
// workbook export still see it.
void setRowShown(QTableWidget *table, int row, bool shown)
{
    const bool hidden = table->isRowHidden(row);
    if (shown) {
        if (hidden)
            table->setRowHidden(row, false);
        if (table->rowHeight(row) != kShownRowHeight)
            table->setRowHeight(row, kShownRowHeight);
    } else if (!hidden) {
        if (table->rowHeight(row) != 0)
            table->setRowHeight(row, 0);
        table->setRowHidden(row, true);
    }
}

// The rows whose first column holds the same text (a code or id listed twice), by that text,
// first row first. Duplicates are rare: the rows are sorted by the hash of their text and only
// rows of one hash are compared, instead of putting every text of a quarter of a million
// rows in a hash table, which cost more than the rest of a fill.
void noteSharedTexts(const QTableWidget *table, std::vector<std::pair<uint, int>> &hashes,
                     QHash<QString, QVector<int>> *shared)
{
    std::sort(hashes.begin(), hashes.end());
    for (size_t first = 0; first < hashes.size();) {
        size_t end = first + 1;
        while (end < hashes.size() && hashes[end].first == hashes[first].first)
            ++end;
        for (size_t a = first; a + 1 < end; ++a) {
            if (hashes[a].second < 0)
                continue; // already counted with an earlier row of its text
            const QString text = HSaleStatusTables::cellText(table, hashes[a].second, 0);
            QVector<int> rows{hashes[a].second};
            for (size_t b = a + 1; b < end; ++b) {
                if (hashes[b].second >= 0 &&
                    HSaleStatusTables::cellText(table, hashes[b].second, 0) == text) {
                    rows.append(hashes[b].second);
                    hashes[b].second = -1;
                }
            }
            if (rows.size() > 1)
                shared->insert(text, rows);
        }
        first = end;
    }
}

// Makes a table of `rows` rows with the given headers. A table that already has that shape
// keeps its items, which the caller refills in place: making a quarter of a million new
// items for each click on a series costs far more than comparing the old values. Otherwise
// the table is rebuilt with rows of height 0; only shown rows get a height, since giving
// every one of tens of thousands of rows its own height makes the header's work grow with
// the square of the rows.
void prepareTable(QTableWidget *table, const QStringList &headers, int rows, int stretchColumn)
{
    if (table->rowCount() == rows && table->columnCount() == headers.size()) {
        // What a rebuilt table would have: no open editor, no selection, no current cell.
        table->reset();
        return;
    }
    table->setRowCount(0);
    table->setColumnCount(headers.size());
    table->setHorizontalHeaderLabels(headers);
    // Widths from the header texts only: measuring the cells would walk every row.
    QHeaderView *header = table->horizontalHeader();
    QFont bold = header->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    for (int column = 0; column < headers.size(); ++column)
        table->setColumnWidth(column, qMax(header->defaultSectionSize(),
                                           metrics.horizontalAdvance(headers.at(column)) + 24));
    header->setSectionResizeMode(stretchColumn, QHeaderView::Stretch);
    table->setRowCount(rows);
}

// Fills a table without a repaint or item signal per cell.
class TableFill
{
public:
    explicit TableFill(QTableWidget *table)
        : m_table(table)
        , m_blocker(table)
        , m_updates(table->updatesEnabled())
    {
        m_table->setUpdatesEnabled(false);
    }
    ~TableFill() { m_table->setUpdatesEnabled(m_updates); }

private:
    QTableWidget *m_table;
    QSignalBlocker m_blocker;
    bool m_updates;
};

} // namespace

HSaleStatusTables::~HSaleStatusTables()
{
    deleteSpareItems();
}

void HSaleStatusTables::Shown::reset()
{
    filled = false;
    rowsByKey.clear();
    keyOfRow.clear();
    edited.clear();
    allUnsaved = true;
    unsaved.clear();
    sharedKeys.clear();
}

QVector<int> HSaleStatusTables::rowsToSave(const Shown &shown, const QTableWidget *table)
{
    QVector<int> rows;
    if (!table)
        return rows;
    if (shown.allUnsaved) {
        rows.reserve(table->rowCount());
        for (int row = 0; row < table->rowCount(); ++row)
            rows.append(row);
        return rows;
    }
    QSet<int> picked = shown.unsaved;
    if (!shown.sharedKeys.isEmpty()) {
        for (int row : shown.unsaved) {
            const auto shared = shown.sharedKeys.constFind(cellText(table, row, 0));
            if (shared != shown.sharedKeys.constEnd()) {
                for (int other : *shared)
                    picked.insert(other);
            }
        }
    }
    for (int row : qAsConst(picked)) {
        if (row < table->rowCount())
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void HSaleStatusTables::savedToDb()
{
    for (Shown *shown : {&m_series, &m_models}) {
        shown->allUnsaved = false;
        shown->unsaved.clear();
    }
}

void HSaleStatusTables::setUp(QTableWidget *seriesTable, QTableWidget *modelTable)
{
    m_seriesTable = seriesTable;
    m_modelTable = modelTable;
    for (QTableWidget *table : {seriesTable, modelTable}) {
        // Rows that are not shown keep height 0 and stay in the table, so that saving and
        // the workbook export still see them.
        table->verticalHeader()->setMinimumSectionSize(0);
        table->verticalHeader()->setDefaultSectionSize(0);
        // Row numbers would jump over the rows of height 0; column 0 names each row.
        table->verticalHeader()->hide();
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        // Model strings and OEM names reach the database and the workbooks: a pasted NUL
        // is refused where it comes in.
        table->setItemDelegate(new HTextDelegate(table));
    }
    // The fills themselves run with the tables' signals blocked: only the user's edits (and
    // imports, check-all) are noted.
    QObject::connect(seriesTable, &QTableWidget::itemChanged, seriesTable,
                     [this](QTableWidgetItem *item) {
                         m_series.edited.insert(item->row());
                         m_series.unsaved.insert(item->row());
                     });
    QObject::connect(modelTable, &QTableWidget::itemChanged, modelTable,
                     [this](QTableWidgetItem *item) {
                         m_models.edited.insert(item->row());
                         m_models.unsaved.insert(item->row());
                     });
}

void HSaleStatusTables::schemeReplaced()
{
    m_series.reset();
    m_models.reset();
}

QString HSaleStatusTables::categoryText(const QJsonObject &record, int productType)
{
    QString text = record.value(SchemeKeys::category).toString();
    const QString subCatalog = record.value(SchemeKeys::subCatalog).toString();
    if (!subCatalog.isEmpty())
        text = subCatalog + QLatin1Char('-') + text;
    const QString oduType = record.value(SchemeKeys::oduType).toString();
    if (productType == 0 && !oduType.isEmpty())
        text = oduType + QLatin1Char('-') + text;
    return text;
}

void HSaleStatusTables::refill(QTableWidget *table, Shown &shown, const QStringList &headers,
                               int stretchColumn, const QJsonArray &records, const QString &keyName,
                               int key, const RowSetter &setRow,
                               const std::function<void(int previousKey)> &keyMoved)
{
    const TableFill fill(table);
    const bool whole = !shown.filled || table->rowCount() != records.size() ||
                       table->columnCount() != headers.size();
    // The shape is set with the model's signals on, so that the header knows its sections.
    if (whole)
        prepareTable(table, headers, records.size(), stretchColumn);
    {
        // The view is told once, when updates come back on, instead of once per cell.
        const QSignalBlocker quiet(table->model());
        if (whole) {
            shown.reset();
            shown.keyOfRow.resize(records.size());
            // Rows of one key mostly come together: the key's list is looked up when it
            // changes, not once per row.
            QVector<int> *rowsOfKey = nullptr;
            int lastKey = 0;
            std::vector<std::pair<uint, int>> hashes;
            hashes.reserve(size_t(records.size()));
            for (int i = 0; i < records.size(); ++i) {
                setRow(i);
                const int rowKey = records.at(i).toObject().value(keyName).toInt();
                if (!rowsOfKey || rowKey != lastKey) {
                    rowsOfKey = &shown.rowsByKey[rowKey];
                    lastKey = rowKey;
                }
                rowsOfKey->append(i);
                shown.keyOfRow[i] = rowKey;
                setRowShown(table, i, rowKey == key);
                hashes.emplace_back(qHash(cellText(table, i, 0)), i);
            }
            noteSharedTexts(table, hashes, &shown.sharedKeys);
            shown.filled = true;
        } else {
            table->reset();
            for (int row : qAsConst(shown.edited))
                setRow(row);
            if (shown.key != key) {
                for (int row : shown.rowsByKey.value(shown.key))
                    setRowShown(table, row, false);
                if (keyMoved)
                    keyMoved(shown.key);
            }
            for (int row : shown.rowsByKey.value(key))
                setRowShown(table, row, true);
        }
        shown.key = key;
        shown.edited.clear();
    }
    table->scrollToTop();
}

void HSaleStatusTables::fillSeries(const QJsonArray &series, int productType)
{
    QTableWidget *table = m_seriesTable;
    auto setRow = [&](int i) {
        const QJsonObject record = series.at(i).toObject();
        setTextCell(table, i, 0, QString::number(record.value(SchemeKeys::idSeries).toInt()),
                    false);
        setTextCell(table, i, 1, categoryText(record, productType), false);
        setCheckCell(table, i, 2, record.value(SchemeKeys::isNotForSale).toBool());
        setCheckCell(table, i, 3, record.value(SchemeKeys::isUserSkip).toBool());
        setTextCell(table, i, 4, record.value(SchemeKeys::modelString).toString(), true);
    };
    // Under the outdoor filter a category text starts with the odu_type: the texts change
    // when the filter moves onto or off it.
    auto typeMoved = [&](int previous) {
        if ((previous == 0) == (productType == 0))
            return;
        for (int row = 0; row < series.size(); ++row) {
            const QJsonObject record = series.at(row).toObject();
            // A series without an odu_type reads the same under every filter.
            if (!record.value(SchemeKeys::oduType).toString().isEmpty())
                setTextCell(table, row, 1, categoryText(record, productType), false);
        }
    };
    refill(table, m_series, seriesHeaders(), 1, series, SchemeKeys::productType, productType,
           setRow, typeMoved);
}

void HSaleStatusTables::fillModels(const QJsonArray &models, int idSeries)
{
    QTableWidget *table = m_modelTable;
    auto spare = [this](int column) {
        return column < m_spareModelItems.size() ? &m_spareModelItems[column] : nullptr;
    };
    auto setRow = [&](int i) {
        const QJsonObject record = models.at(i).toObject();
        setTextCell(table, i, 0, record.value(SchemeKeys::productCode).toString(), false, spare(0));
        setTextCell(table, i, 1, record.value(SchemeKeys::baseModel).toString(), false, spare(1));
        setTextCell(table, i, 2, record.value(SchemeKeys::oemModel).toString(), true, spare(2));
        setCheckCell(table, i, 3, record.value(SchemeKeys::isNotForSale).toBool(), spare(3));
        setCheckCell(table, i, 4, record.value(SchemeKeys::isUserSkip).toBool(), spare(4));
    };
    refill(table, m_models, modelHeaders(), 2, models, SchemeKeys::idSeries, idSeries, setRow, {});
    deleteSpareItems();
}

// The items are kept for the next fill rather than deleted: freeing a quarter of a million
// items and making them anew on the next click costs several times more than reusing them.
void HSaleStatusTables::clearModels()
{
    QTableWidget *table = m_modelTable;
    const TableFill fill(table);
    deleteSpareItems();
    m_models.reset();
    m_spareModelItems.resize(table->columnCount());
    {
        const QSignalBlocker quiet(table->model());
        for (int column = 0; column < table->columnCount(); ++column) {
            SpareItems &spare = m_spareModelItems[column];
            spare.reserve(table->rowCount());
            for (int row = table->rowCount() - 1; row >= 0; --row) {
                if (QTableWidgetItem *item = table->takeItem(row, column))
                    spare.append(item);
            }
        }
    }
    table->setRowCount(0);
    table->setColumnCount(0);
}

void HSaleStatusTables::deleteSpareItems()
{
    for (SpareItems &spare : m_spareModelItems)
        qDeleteAll(spare);
    m_spareModelItems.clear();
}

// Each table row updates the first record with its key, rows in table order so that the last
// row of a key wins. Row i was filled from record i, so the key is looked up there first and
// in a hash built once only when that fails: saving grows with the rows rather than with rows
// times records. A record that already holds the row's values is left as it is: rewriting
// tens of thousands of unchanged records costs more than comparing them.
void HSaleStatusTables::write(const QTableWidget *table, QJsonArray &records, bool editedOnly)
{
    Shown &shown = shownOf(table);
    const bool series = table == m_seriesTable;
    const QString &keyName = series ? SchemeKeys::idSeries : SchemeKeys::productCode;
    // Scheme key of the text, first and second check column (by column 2, 3, 4).
    static const QVector<QPair<int, QString>> seriesCells = {
        {2, SchemeKeys::isNotForSale}, {3, SchemeKeys::isUserSkip}, {4, SchemeKeys::modelString}};
    static const QVector<QPair<int, QString>> modelCells = {
        {2, SchemeKeys::oemModel}, {3, SchemeKeys::isNotForSale}, {4, SchemeKeys::isUserSkip}};
    const QVector<QPair<int, QString>> &cells = series ? seriesCells : modelCells;

    QVector<int> rows;
    if (editedOnly) {
        rows = QVector<int>(shown.edited.cbegin(), shown.edited.cend());
        std::sort(rows.begin(), rows.end());
    } else {
        rows.resize(table->rowCount());
        std::iota(rows.begin(), rows.end(), 0);
    }
    shown.edited.clear();
    const auto keyText = [&](int i) {
        const QJsonValue value = records.at(i).toObject().value(keyName);
        return value.isString() ? value.toString() : QString::number(value.toInt());
    };
    QHash<QString, int> firstRecord;
    for (int row : qAsConst(rows)) {
        if (row >= table->rowCount())
            continue;
        const QString key = cellText(table, row, 0);
        int found = -1;
        const auto shared = shown.sharedKeys.constFind(key);
        if (shared != shown.sharedKeys.constEnd()) {
            found = shared->first();
        } else if (row < records.size() && keyText(row) == key) {
            found = row;
        } else {
            if (firstRecord.isEmpty()) {
                for (int i = records.size() - 1; i >= 0; --i)
                    firstRecord.insert(keyText(i), i);
            }
            found = firstRecord.value(key, -1);
        }
        if (found < 0 || found >= records.size())
            continue;
        QJsonObject record = records.at(found).toObject();
        bool changed = false;
        for (const auto &cell : cells) {
            const QJsonValue value = HSaleStatusEdits::isCheckColumn(series, cell.first)
                                         ? QJsonValue(cellChecked(table, row, cell.first))
                                         : QJsonValue(cellText(table, row, cell.first));
            if (record.value(cell.second) != value) {
                record.insert(cell.second, value);
                changed = true;
            }
        }
        if (changed)
            records.replace(found, record);
    }
}

QVector<int> HSaleStatusTables::setShownChecks(QTableWidget *table, int column,
                                               const QStringList &ids, Qt::CheckState state)
{
    // The fill runs without item signals: the rows are noted here for the next save.
    Shown &noted = shownOf(table);
    QVector<int> changed;
    const QSet<QString> listed(ids.cbegin(), ids.cend());
    const Qt::CheckState opposite = state == Qt::Checked ? Qt::Unchecked : Qt::Checked;
    const TableFill fill(table);
    for (int row = 0; row < table->rowCount(); ++row) {
        // Rows of other series or product types are never touched.
        if (!rowShown(table, row))
            continue;
        QTableWidgetItem *item = table->item(row, column);
        if (!item)
            continue;
        const Qt::CheckState wanted =
            listed.isEmpty() || listed.contains(cellText(table, row, 0)) ? state : opposite;
        if (item->checkState() == wanted)
            continue;
        item->setCheckState(wanted);
        noted.unsaved.insert(row);
        noted.edited.insert(row);
        changed.append(row);
    }
    return changed;
}

bool HSaleStatusTables::rowOfShownKey(const QTableWidget *table, int row) const
{
    const Shown &shown = shownOf(table);
    return row >= 0 && row < shown.keyOfRow.size() && shown.keyOfRow.at(row) == shown.key;
}

void HSaleStatusTables::showRow(QTableWidget *table, int row, bool shown)
{
    setRowShown(table, row, shown);
}

int HSaleStatusTables::keyRowCount(const QTableWidget *table) const
{
    const Shown &shown = shownOf(table);
    return shown.filled ? shown.rowsByKey.value(shown.key).size() : 0;
}

void HSaleStatusTables::noteEdited(const QTableWidget *table, int row)
{
    Shown &shown = shownOf(table);
    shown.edited.insert(row);
    shown.unsaved.insert(row);
}

QString HSaleStatusTables::cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

bool HSaleStatusTables::cellChecked(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item && item->checkState() == Qt::Checked;
}
