#include "heditproductsalestatus.h"
#include "ui_heditproductsalestatus.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hinputnamewidget.h"
#include "hmessagebox.h"
#include "hoemmodelexchange.h"
#include "hsalestatusdbwriter.h"
#include "hsalestatusschemes.h"
#include "translatestring.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QHeaderView>
#include <QSet>
#include <QSignalBlocker>
#include <QTableWidgetItem>
#include <QVector>

#include <iterator>

namespace {

const int kShownRowHeight = 30;

// The product type entries of comboBox_ProductType and the filter value each selects.
const int kProductTypes[] = {0, 1, 2, 10, 11, 12};

const QStringList &seriesHeaders()
{
    static const QStringList headers = {
        QStringLiteral("id_series"), QStringLiteral("category"), QStringLiteral("is_not_for_sale"),
        QStringLiteral("is_user_skip"), QStringLiteral("model string")};
    return headers;
}

const QStringList &modelHeaders()
{
    static const QStringList headers = {
        QStringLiteral("product_code"), QStringLiteral("model"), QStringLiteral("OEM Model"),
        QStringLiteral("is_not_for_sale"), QStringLiteral("is_user_skip")};
    return headers;
}

Qt::ItemFlags defaultFlags()
{
    static const Qt::ItemFlags flags = QTableWidgetItem().flags();
    return flags;
}

using SpareItems = QVector<QTableWidgetItem *>;

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

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

bool cellChecked(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item && item->checkState() == Qt::Checked;
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

HEditProductSaleStatus::HEditProductSaleStatus(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::HEditProductSaleStatus)
{
    ui->setupUi(this);
    ui->verticalLayout_3->setContentsMargins(10, 10, 10, 10);
    setLayout(ui->verticalLayout_3);

    for (QTableWidget *table : {ui->tableWidget_Series, ui->tableWidget_Idx}) {
        // Rows that are not shown keep height 0 and stay in the table, so that saving and
        // the workbook export still see them.
        table->verticalHeader()->setMinimumSectionSize(0);
        table->verticalHeader()->setDefaultSectionSize(0);
        // Row numbers would jump over the rows of height 0; column 0 names each row.
        table->verticalHeader()->hide();
    }

    const QStringList productTypes = {QStringLiteral("Outdoor Unit"), QStringLiteral("Indoor Unit"),
                                      QStringLiteral("Branch"),       QStringLiteral("Controller"),
                                      QStringLiteral("HRV"),          QStringLiteral("Accessory")};
    for (const QString &type : productTypes)
        ui->comboBox_ProductType->addItem(TranslateString(type));

    connect(ui->tableWidget_Series, &QTableWidget::cellClicked, this,
            &HEditProductSaleStatus::clickCell_Series);

    for (QTableWidget *table : {ui->tableWidget_Series, ui->tableWidget_Idx}) {
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
    }

    setWindowTitle(TranslateString(QStringLiteral("Set product sale status")));

    fillIduTypeCombo();
    fillSchemeCombo();
    if (ui->comboBox_scheme->count() > 0)
        ui->comboBox_scheme->setCurrentIndex(0);
    ui->comboBox_ProductType->setCurrentIndex(0);
    showSeriesTable();
}

HEditProductSaleStatus::~HEditProductSaleStatus()
{
    // Runs after the main window has closed the database: only the scheme file is written.
    // A scheme whose file could not be read is never overwritten without being asked to.
    const QString name = ui->comboBox_scheme->currentText();
    if (!name.isEmpty() && name != m_unreadableScheme) {
        HSaleStatusSchemes schemes;
        if (!schemes.write(name, currentScheme))
            qWarning().noquote() << "the scheme was not saved:" << schemes.errorString();
    }
    deleteSpareItems();
    delete ui;
}

// --- schemes ------------------------------------------------------------------------------

QStringList HEditProductSaleStatus::listSchemeFiles() const
{
    return HSaleStatusSchemes::listSchemeFiles();
}

void HEditProductSaleStatus::fillSchemeCombo()
{
    ui->comboBox_scheme->clear();
    ui->comboBox_scheme->addItems(listSchemeFiles());
}

void HEditProductSaleStatus::on_comboBox_scheme_currentIndexChanged(const QString &arg1)
{
    if (!arg1.isEmpty())
        loadScheme(arg1);
}

void HEditProductSaleStatus::loadScheme(const QString &name)
{
    HSaleStatusSchemes schemes;
    const HSaleStatusSchemes::ReadResult result = schemes.read(name, currentScheme);
    m_unreadableScheme.clear();
    if (result == HSaleStatusSchemes::ReadResult::Unreadable) {
        m_unreadableScheme = name;
        HMessageBox::warning(
            this, TranslateString(QStringLiteral("Warning")),
            schemes.errorString() + QLatin1Char('\n') +
                TranslateString(QStringLiteral(
                    "The scheme shows the database values; the file is left as it is until "
                    "you save the scheme, which keeps the old file as a .bak copy.")));
    } else if (result == HSaleStatusSchemes::ReadResult::Missing) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                             schemes.errorString());
    }
    completeScheme(currentScheme);
    fillIduTypeCombo();
    fillInstallCodeCombo();
    // Rows of the previous scheme must never be written into this one.
    clearModelTable();
    showSeriesTable();
}

void HEditProductSaleStatus::completeScheme(QJsonObject &scheme) const
{
    HSaleStatusSchemes::completeScheme(scheme, HDbFind::getDb());
}

QJsonArray HEditProductSaleStatus::readSeriesFromDb() const
{
    return HSaleStatusSchemes::readSeriesFromDb(HDbFind::getDb());
}

QJsonArray HEditProductSaleStatus::readModelsFromDb() const
{
    return HSaleStatusSchemes::readModelsFromDb(HDbFind::getDb());
}

bool HEditProductSaleStatus::saveSchemeFile(const QString &name)
{
    // Without any scheme there is nothing to write to: no ".json" file is made up.
    if (name.isEmpty())
        return true;
    HSaleStatusSchemes schemes;
    if (name == m_unreadableScheme) {
        if (!schemes.backup(name)) {
            HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                                 schemes.errorString());
            return false;
        }
        m_unreadableScheme.clear();
    }
    if (!schemes.write(name, currentScheme)) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                             schemes.errorString());
        return false;
    }
    return true;
}

bool HEditProductSaleStatus::schemeNameExists(const QString &name) const
{
    for (int i = 0; i < ui->comboBox_scheme->count(); ++i) {
        if (ui->comboBox_scheme->itemText(i) == name)
            return true;
    }
    return false;
}

void HEditProductSaleStatus::on_pushButton_New_clicked()
{
    HInputNameWidget dialog(QString(), nullptr);
    dialog.exec();
    if (dialog.result() != QDialog::Accepted || dialog.name.isEmpty())
        return;

    const QString suffix = QStringLiteral(".json");
    const QString fileName = dialog.name.endsWith(suffix) ? dialog.name : dialog.name + suffix;
    if (!HSaleStatusSchemes::isSafeName(fileName)) {
        HMessageBox::warning(
            this, TranslateString(QStringLiteral("Warning")),
            TranslateString(QStringLiteral("The scheme name cannot be used as a file name.")));
        return;
    }
    // A file that differs only in letter case is the same file on Windows.
    if (schemeNameExists(fileName) || QFileInfo::exists(HSaleStatusSchemes::writePath(fileName))) {
        HMessageBox::information(this, TranslateString(QStringLiteral("Warning")),
                                 TranslateString(QStringLiteral("The scheme name exists.")));
        return;
    }

    // The new scheme keeps the current scheme's unit_priority and other keys. It is built
    // apart so that a failed write leaves the current scheme as it was.
    QJsonObject scheme = currentScheme;
    scheme.insert(SchemeKeys::installCode, QJsonObject());
    scheme.insert(SchemeKeys::seriesTable, readSeriesFromDb());
    scheme.insert(SchemeKeys::idxTable, readModelsFromDb());
    HSaleStatusSchemes schemes;
    if (!schemes.write(fileName, scheme)) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                             schemes.errorString());
        return;
    }

    // The list is refilled quietly and only the new scheme is loaded: loading the first
    // scheme of the list on the way would cost time and could warn about an unrelated file.
    {
        const QSignalBlocker blocker(ui->comboBox_scheme);
        fillSchemeCombo();
        ui->comboBox_scheme->setCurrentText(fileName);
    }
    loadScheme(ui->comboBox_scheme->currentText());
}

void HEditProductSaleStatus::on_pushButton_Delete_clicked()
{
    const QString name = ui->comboBox_scheme->currentText();
    if (name.isEmpty())
        return;
    if (!HMessageBox::question(this, QStringLiteral("Question"),
                               QStringLiteral("Do you want to delete the scheme?")))
        return;
    HSaleStatusSchemes schemes;
    if (!schemes.remove(name)) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                             schemes.errorString());
        return;
    }
    if (name == m_unreadableScheme)
        m_unreadableScheme.clear();
    fillSchemeCombo();
}

// --- tables -------------------------------------------------------------------------------

void HEditProductSaleStatus::fillIduTypeCombo()
{
    ui->comboBox_idu_generate->clear();
    ui->comboBox_idu_generate->addItems(HDbFind::getDb()->getTableColumns(
        QStringLiteral("__product_series"), QStringLiteral("sub_catalog"),
        QStringLiteral(" [product_type] = 1"), true));
    const QJsonObject priority = currentScheme.value(SchemeKeys::unitPriority).toObject();
    if (priority.isEmpty())
        ui->comboBox_idu_generate->setCurrentIndex(0);
    else if (priority.contains(SchemeKeys::iduGenerate)) {
        const int index =
            ui->comboBox_idu_generate->findText(priority.value(SchemeKeys::iduGenerate).toString());
        if (index >= 0)
            ui->comboBox_idu_generate->setCurrentIndex(index);
    }
}

void HEditProductSaleStatus::on_comboBox_idu_generate_currentIndexChanged(const QString &arg1)
{
    // The value is read when the scheme is saved.
    Q_UNUSED(arg1)
}

void HEditProductSaleStatus::on_comboBox_ProductType_currentIndexChanged(int index)
{
    if (index >= 0 && index < int(std::size(kProductTypes)))
        productTypeFilter = kProductTypes[index];
    showSeriesTable();
}

QString HEditProductSaleStatus::categoryText(const QJsonObject &record) const
{
    QString text = record.value(SchemeKeys::category).toString();
    const QString subCatalog = record.value(SchemeKeys::subCatalog).toString();
    if (!subCatalog.isEmpty())
        text = subCatalog + QLatin1Char('-') + text;
    const QString oduType = record.value(SchemeKeys::oduType).toString();
    if (productTypeFilter == 0 && !oduType.isEmpty())
        text = oduType + QLatin1Char('-') + text;
    return text;
}

void HEditProductSaleStatus::showSeriesTable()
{
    const QJsonArray series = currentScheme.value(SchemeKeys::seriesTable).toArray();
    if (series.isEmpty())
        return;
    QTableWidget *table = ui->tableWidget_Series;
    const TableFill fill(table);
    prepareTable(table, seriesHeaders(), series.size(), 1);
    {
        // The view is told once, when updates come back on, instead of once per cell.
        const QSignalBlocker quiet(table->model());
        for (int i = 0; i < series.size(); ++i) {
            const QJsonObject record = series.at(i).toObject();
            setTextCell(table, i, 0, QString::number(record.value(SchemeKeys::idSeries).toInt()),
                        false);
            setTextCell(table, i, 1, categoryText(record), false);
            setCheckCell(table, i, 2, record.value(SchemeKeys::isNotForSale).toBool());
            setCheckCell(table, i, 3, record.value(SchemeKeys::isUserSkip).toBool());
            setTextCell(table, i, 4, record.value(SchemeKeys::modelString).toString(), true);
            setRowShown(table, i,
                        record.value(SchemeKeys::productType).toInt() == productTypeFilter);
        }
    }
    table->scrollToTop();
}

void HEditProductSaleStatus::clickCell_Series(int row, int col)
{
    Q_UNUSED(col)
    if (row >= 0)
        showModelsOfSeries(cellText(ui->tableWidget_Series, row, 0).toInt());
}

void HEditProductSaleStatus::showModelsOfSeries(int idSeries)
{
    const QJsonArray models = currentScheme.value(SchemeKeys::idxTable).toArray();
    if (models.isEmpty())
        return;
    QTableWidget *table = ui->tableWidget_Idx;
    const TableFill fill(table);
    prepareTable(table, modelHeaders(), models.size(), 2);
    {
        // Every cell is set again, hidden rows included, so that values edited or imported
        // since the last "Save to scheme" are replaced by the scheme's.
        const QSignalBlocker quiet(table->model());
        for (int i = 0; i < models.size(); ++i) {
            const QJsonObject record = models.at(i).toObject();
            setTextCell(table, i, 0, record.value(SchemeKeys::productCode).toString(), false,
                        spareItems(0));
            setTextCell(table, i, 1, record.value(SchemeKeys::baseModel).toString(), false,
                        spareItems(1));
            setTextCell(table, i, 2, record.value(SchemeKeys::oemModel).toString(), true,
                        spareItems(2));
            setCheckCell(table, i, 3, record.value(SchemeKeys::isNotForSale).toBool(),
                         spareItems(3));
            setCheckCell(table, i, 4, record.value(SchemeKeys::isUserSkip).toBool(), spareItems(4));
            setRowShown(table, i, record.value(SchemeKeys::idSeries).toInt() == idSeries);
        }
    }
    deleteSpareItems();
    table->scrollToTop();
}

// The items are kept for the next fill rather than deleted: freeing a quarter of a million
// items and making them anew on the next click costs several times more than reusing them.
void HEditProductSaleStatus::clearModelTable()
{
    QTableWidget *table = ui->tableWidget_Idx;
    const TableFill fill(table);
    deleteSpareItems();
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

QVector<QTableWidgetItem *> *HEditProductSaleStatus::spareItems(int column)
{
    return column < m_spareModelItems.size() ? &m_spareModelItems[column] : nullptr;
}

void HEditProductSaleStatus::deleteSpareItems()
{
    for (SpareItems &spare : m_spareModelItems)
        qDeleteAll(spare);
    m_spareModelItems.clear();
}

// Each table row updates the first record with its key; the keys are looked up in a hash
// built once, so saving grows with the rows rather than with rows times records. A record
// that already holds the row's values is left as it is: rewriting tens of thousands of
// unchanged records costs more than comparing them.
void HEditProductSaleStatus::writeTablesToScheme()
{
    QJsonArray series = currentScheme.value(SchemeKeys::seriesTable).toArray();
    if (!series.isEmpty()) {
        QHash<int, int> firstRecord;
        firstRecord.reserve(series.size());
        for (int i = series.size() - 1; i >= 0; --i)
            firstRecord.insert(series.at(i).toObject().value(SchemeKeys::idSeries).toInt(), i);
        const QTableWidget *table = ui->tableWidget_Series;
        for (int row = 0; row < table->rowCount(); ++row) {
            const auto found = firstRecord.constFind(cellText(table, row, 0).toInt());
            if (found == firstRecord.constEnd())
                continue;
            const QJsonValue notForSale(cellChecked(table, row, 2));
            const QJsonValue userSkip(cellChecked(table, row, 3));
            const QJsonValue modelString(cellText(table, row, 4));
            QJsonObject record = series.at(found.value()).toObject();
            if (record.value(SchemeKeys::isNotForSale) == notForSale &&
                record.value(SchemeKeys::isUserSkip) == userSkip &&
                record.value(SchemeKeys::modelString) == modelString)
                continue;
            record.insert(SchemeKeys::isNotForSale, notForSale);
            record.insert(SchemeKeys::isUserSkip, userSkip);
            record.insert(SchemeKeys::modelString, modelString);
            series.replace(found.value(), record);
        }
        currentScheme.insert(SchemeKeys::seriesTable, series);
    }

    QJsonArray models = currentScheme.value(SchemeKeys::idxTable).toArray();
    if (!models.isEmpty()) {
        QHash<QString, int> firstRecord;
        firstRecord.reserve(models.size());
        for (int i = models.size() - 1; i >= 0; --i)
            firstRecord.insert(models.at(i).toObject().value(SchemeKeys::productCode).toString(),
                               i);
        const QTableWidget *table = ui->tableWidget_Idx;
        for (int row = 0; row < table->rowCount(); ++row) {
            const auto found = firstRecord.constFind(cellText(table, row, 0));
            if (found == firstRecord.constEnd())
                continue;
            const QJsonValue oemModel(cellText(table, row, 2));
            const QJsonValue notForSale(cellChecked(table, row, 3));
            const QJsonValue userSkip(cellChecked(table, row, 4));
            QJsonObject record = models.at(found.value()).toObject();
            if (record.value(SchemeKeys::oemModel) == oemModel &&
                record.value(SchemeKeys::isNotForSale) == notForSale &&
                record.value(SchemeKeys::isUserSkip) == userSkip)
                continue;
            record.insert(SchemeKeys::oemModel, oemModel);
            record.insert(SchemeKeys::isNotForSale, notForSale);
            record.insert(SchemeKeys::isUserSkip, userSkip);
            models.replace(found.value(), record);
        }
        currentScheme.insert(SchemeKeys::idxTable, models);
    }

    QJsonObject priority = currentScheme.value(SchemeKeys::unitPriority).toObject();
    priority.insert(SchemeKeys::iduGenerate, ui->comboBox_idu_generate->currentText());
    currentScheme.insert(SchemeKeys::unitPriority, priority);
}

void HEditProductSaleStatus::on_pushButton_Save_clicked()
{
    const QString name = ui->comboBox_scheme->currentText();
    if (name.isEmpty())
        return;
    writeTablesToScheme();
    saveSchemeFile(name);
}

// --- check all ----------------------------------------------------------------------------

QStringList HEditProductSaleStatus::seriesIdList() const
{
    QString text = ui->lineEdit_series_id_list->text();
    text.remove(QLatin1Char(' '));
    return text.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QStringList HEditProductSaleStatus::modelIdList() const
{
    return ui->lineEdit_idx_id_list->text().split(QLatin1Char(','), Qt::SkipEmptyParts);
}

void HEditProductSaleStatus::setShownChecks(QTableWidget *table, int column, const QStringList &ids,
                                            Qt::CheckState state)
{
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
        if (listed.isEmpty() || listed.contains(cellText(table, row, 0)))
            item->setCheckState(state);
        else
            item->setCheckState(opposite);
    }
}

void HEditProductSaleStatus::setSeriesNotForSale(const QStringList &ids, Qt::CheckState state)
{
    setShownChecks(ui->tableWidget_Series, 2, ids, state);
    on_pushButton_Save_clicked();
}

void HEditProductSaleStatus::setModelsNotForSale(const QStringList &ids, Qt::CheckState state)
{
    setShownChecks(ui->tableWidget_Idx, 3, ids, state);
    on_pushButton_Save_clicked();
}

void HEditProductSaleStatus::on_pushButton_checkall_clicked()
{
    setSeriesNotForSale(seriesIdList(), Qt::Checked);
}

void HEditProductSaleStatus::on_pushButton_uncheckall_clicked()
{
    setSeriesNotForSale(seriesIdList(), Qt::Unchecked);
}

void HEditProductSaleStatus::on_pushButton_checkall_2_clicked()
{
    setModelsNotForSale(modelIdList(), Qt::Checked);
}

void HEditProductSaleStatus::on_pushButton_uncheckall_2_clicked()
{
    setModelsNotForSale(modelIdList(), Qt::Unchecked);
}

// --- database -----------------------------------------------------------------------------

// The OEM names reach the scheme only through "Save to scheme", like names typed in.
void HEditProductSaleStatus::on_pushButton_export_clicked()
{
    HOemModelExchange::exportModelTable(this, ui->tableWidget_Idx);
}

void HEditProductSaleStatus::on_pushButton_import_clicked()
{
    HOemModelExchange::importModelTable(this, ui->tableWidget_Idx);
}

void HEditProductSaleStatus::on_pushButton_SaveDb_clicked()
{
    const QTableWidget *seriesTable = ui->tableWidget_Series;
    QVector<HSaleStatusDbWriter::SeriesRow> series;
    series.reserve(seriesTable->rowCount());
    for (int row = 0; row < seriesTable->rowCount(); ++row) {
        series.append({cellText(seriesTable, row, 0), cellChecked(seriesTable, row, 2),
                       cellChecked(seriesTable, row, 3), cellText(seriesTable, row, 4)});
    }
    const QTableWidget *modelTable = ui->tableWidget_Idx;
    QVector<HSaleStatusDbWriter::ModelRow> models;
    models.reserve(modelTable->rowCount());
    for (int row = 0; row < modelTable->rowCount(); ++row) {
        models.append({cellText(modelTable, row, 0), cellChecked(modelTable, row, 3),
                       cellChecked(modelTable, row, 4)});
    }
    HSaleStatusDbWriter writer;
    if (!writer.save(HDbFind::getDb(), series, models)) {
        HMessageBox::warning(
            this, TranslateString(QStringLiteral("Warning")),
            TranslateString(QStringLiteral("Nothing was saved to the database: ")) +
                writer.errorString());
    }
}

// --- install codes and export -------------------------------------------------------------

void HEditProductSaleStatus::fillInstallCodeCombo()
{
    ui->comboBox_InstallCode->clear();
    const QJsonObject codes = currentScheme.value(SchemeKeys::installCode).toObject();
    if (!codes.isEmpty()) {
        ui->comboBox_InstallCode->addItems(codes.keys());
        ui->comboBox_InstallCode->setCurrentIndex(0);
    }
}

void HEditProductSaleStatus::on_pushButton_AddInstallCode_clicked()
{
    QJsonObject codes = currentScheme.value(SchemeKeys::installCode).toObject();
    HInputNameWidget dialog(QString(), nullptr);
    dialog.setWindowTitle(TranslateString(QStringLiteral("Input Install Code")));
    dialog.exec();
    if (dialog.result() != QDialog::Accepted || dialog.name.isEmpty())
        return;
    codes.insert(dialog.name, QString());
    currentScheme.insert(SchemeKeys::installCode, codes);
    fillInstallCodeCombo();
}

void HEditProductSaleStatus::on_pushButton_RemoveInstallCode_clicked()
{
    const QString code = ui->comboBox_InstallCode->currentText();
    if (code.isEmpty()) {
        HMessageBox::information(this, QStringLiteral("Warning"),
                                 QStringLiteral("The install code is empty."));
        return;
    }
    if (!HMessageBox::question(this, QStringLiteral("Question"),
                               QStringLiteral("Do you want to remove the install code?")))
        return;
    QJsonObject codes = currentScheme.value(SchemeKeys::installCode).toObject();
    if (codes.isEmpty())
        return;
    codes.remove(code);
    currentScheme.insert(SchemeKeys::installCode, codes);
    HMessageBox::information(this, QStringLiteral("Notice"), QStringLiteral("Remove success"));
    fillInstallCodeCombo();
}

void HEditProductSaleStatus::on_pushButton_ExportAllSchemes_clicked()
{
    if (listSchemeFiles().isEmpty())
        return;
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Please select folder path to save"),
                                          QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    // Exporting into the scheme folder would replace the install codes of the schemes
    // themselves by their digests, which cannot be undone.
    if (QFileInfo(folder).canonicalFilePath() ==
        QFileInfo(HSaleStatusSchemes::schemeFolder()).canonicalFilePath()) {
        HMessageBox::warning(
            this, TranslateString(QStringLiteral("Warning")),
            TranslateString(QStringLiteral("Choose a folder other than the scheme folder.")));
        return;
    }
    HSaleStatusSchemes schemes;
    if (!schemes.exportAll(folder)) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                             TranslateString(QStringLiteral("These schemes were not exported:")) +
                                 QLatin1Char('\n') + schemes.problems().join(QLatin1Char('\n')));
        return;
    }
    HMessageBox::information(this, QStringLiteral("Notice"), QStringLiteral("Export success"));
}
