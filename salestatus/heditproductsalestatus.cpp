#include "heditproductsalestatus.h"
#include "ui_heditproductsalestatus.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hfindbar.h"
#include "hmessagebox.h"
#include "hoemmodelexchange.h"
#include "hsalestatusschemeactions.h"
#include "hsalestatusschemes.h"
#include "hsalestatustables.h"
#include "hsaveround.h"
#include "translatestring.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QHeaderView>
#include <QSet>
#include <QSignalBlocker>
#include <QShortcut>
#include <QTableWidgetItem>
#include <QVector>

#include <iterator>

namespace {

// The product type entries of comboBox_ProductType and the filter value each selects.
const int kProductTypes[] = {0, 1, 2, 10, 11, 12};

} // namespace

HEditProductSaleStatus::HEditProductSaleStatus(QWidget *parent)
    : HEditorPage(parent)
    , ui(new Ui::HEditProductSaleStatus)
    , m_dbEdits(m_tables)
    , m_edits(m_tables, [this](const QTableWidget *table, int row, int column) {
        return schemeCellValue(table, row, column);
    })
{
    ui->setupUi(this);
    ui->verticalLayout_3->setContentsMargins(10, 10, 10, 10);
    setLayout(ui->verticalLayout_3);

    m_tables.setUp(ui->tableWidget_Series, ui->tableWidget_Idx);
    m_edits.setSeriesTable(ui->tableWidget_Series);
    // The schemes are files and stay editable; only "Save to Db" writes the database.
    checkWritable({QStringLiteral("__product_series"), QStringLiteral("__product_idx")},
                  {ui->pushButton_SaveDb});

    const QStringList productTypes = {QStringLiteral("Outdoor Unit"), QStringLiteral("Indoor Unit"),
                                      QStringLiteral("Branch"),       QStringLiteral("Controller"),
                                      QStringLiteral("HRV"),          QStringLiteral("Accessory")};
    for (const QString &type : productTypes)
        ui->comboBox_ProductType->addItem(TranslateString(type));

    connect(ui->tableWidget_Series, &QTableWidget::cellClicked, this,
            &HEditProductSaleStatus::clickCell_Series);
    for (QTableWidget *table : {ui->tableWidget_Series, ui->tableWidget_Idx})
        connect(table, &QTableWidget::itemChanged, this,
                [this](QTableWidgetItem *item) { m_edits.cellChanged(item); });

    // Find boxes: a row is shown when it belongs to the product type or series shown and
    // matches; rows of other series keep height 0 so export and saving still see them.
    m_seriesFind = HFindBar::attach(ui->tableWidget_Series);
    m_modelFind = HFindBar::attach(ui->tableWidget_Idx);
    for (HFindBar *bar : {m_seriesFind, m_modelFind}) {
        auto *table = static_cast<QTableWidget *>(bar->view());
        bar->setBaseVisibility(
            [this, table](int row) { return m_tables.rowOfShownKey(table, row); });
        bar->setRowApplier(
            [table](int row, bool shown) { HSaleStatusTables::showRow(table, row, shown); });
        connect(bar, &HFindBar::filtered, this, &HEditorPage::statusTextChanged);
    }
    HFindBar::installShortcut(this);

    // Undo and redo of the table edits, back to the last save at least.
    auto *undo = new QShortcut(QKeySequence::Undo, this, [this] { m_edits.stack().undo(); });
    auto *redo = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Z")), this,
                               [this] { m_edits.stack().redo(); });
    for (QShortcut *shortcut : {undo, redo})
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(&m_edits.stack(), &QUndoStack::cleanChanged, this,
            [this](bool clean) { setModified(!clean); });
    connect(&m_edits.stack(), &QUndoStack::indexChanged, this, &HEditorPage::statusTextChanged);

    const QList<QPair<QPushButton *, const char *>> tips = {
        {ui->pushButton_New,
         QT_TRANSLATE_NOOP("TranslateString",
                           "Creates a scheme from the database values and shows it")},
        {ui->pushButton_Delete,
         QT_TRANSLATE_NOOP("TranslateString", "Deletes the scheme file shown")},
        {ui->pushButton_AddInstallCode,
         QT_TRANSLATE_NOOP("TranslateString", "Adds an install code to the scheme")},
        {ui->pushButton_RemoveInstallCode,
         QT_TRANSLATE_NOOP("TranslateString", "Removes the install code shown from the scheme")},
        {ui->pushButton_Save,
         QT_TRANSLATE_NOOP("TranslateString",
                           "Writes the scheme with its edits to its file (Ctrl+Z undoes edits)")},
        {ui->pushButton_ExportAllSchemes,
         QT_TRANSLATE_NOOP("TranslateString",
                           "Writes every scheme with digested install codes into a folder")},
        {ui->pushButton_SaveDb,
         QT_TRANSLATE_NOOP("TranslateString",
                           "Writes the sale flags and model strings to the product database")},
        {ui->pushButton_checkall,
         QT_TRANSLATE_NOOP(
             "TranslateString",
             "Ticks \"not for sale\" on the series shown (with ids listed: on those, off the rest) "
             "and saves the scheme")},
        {ui->pushButton_uncheckall,
         QT_TRANSLATE_NOOP(
             "TranslateString",
             "Clears \"not for sale\" on the series shown (with ids listed: on those, ticks the "
             "rest) and saves the scheme")},
        {ui->pushButton_checkall_2,
         QT_TRANSLATE_NOOP(
             "TranslateString",
             "Ticks \"not for sale\" on the models shown (with codes listed: on those, off the "
             "rest) and saves the scheme")},
        {ui->pushButton_uncheckall_2,
         QT_TRANSLATE_NOOP(
             "TranslateString",
             "Clears \"not for sale\" on the models shown (with codes listed: on those, ticks the "
             "rest) and saves the scheme")},
        {ui->pushButton_export,
         QT_TRANSLATE_NOOP("TranslateString",
                           "Writes the models and their OEM names to an Excel workbook")},
        {ui->pushButton_import,
         QT_TRANSLATE_NOOP("TranslateString",
                           "Reads OEM names from an Excel workbook into the model table")},
    };
    for (const auto &tip : tips)
        tip.first->setToolTip(TranslateString(QString::fromUtf8(tip.second)));

    setWindowTitle(TranslateString(QStringLiteral("Set product sale status")));

    m_edits.setApplying(true);
    fillIduTypeCombo();
    m_edits.setApplying(false);
    fillSchemeCombo();
    if (ui->comboBox_scheme->count() > 0)
        ui->comboBox_scheme->setCurrentIndex(0);
    ui->comboBox_ProductType->setCurrentIndex(0);
    showSeriesTable();
}

HEditProductSaleStatus::~HEditProductSaleStatus()
{
    // Runs after the main window has closed the database: only the scheme file is written,
    // and only when it holds edits nobody was asked about. The main window may be half
    // destroyed already: neither the page nor its undo stack (which clears itself when it
    // goes) tells anybody about the change.
    m_edits.stack().disconnect();
    const QSignalBlocker blocker(this);
    QString error;
    if (!writeSchemeOnClose(&error))
        qWarning().noquote() << "the scheme was not saved:" << error;
    delete ui;
}

bool HEditProductSaleStatus::writeSchemeOnClose(QString *error)
{
    // A scheme whose file could not be read is never overwritten without being asked to.
    if (!isModified() || m_schemeName.isEmpty() || m_schemeFile.isUnreadable(m_schemeName))
        return true;
    return writeScheme(error);
}

bool HEditProductSaleStatus::writeScheme(QString *error)
{
    if (m_schemeName.isEmpty())
        return true;
    writeTablesToScheme();
    if (!m_schemeFile.write(this, m_schemeName, currentScheme, error))
        return false;
    m_edits.stack().setClean();
    return true;
}

void HEditProductSaleStatus::discardChanges()
{
    if (m_schemeName.isEmpty()) {
        m_edits.stack().clear();
        return;
    }
    loadScheme(m_schemeName);
}

QString HEditProductSaleStatus::statusText() const
{
    const int edits = m_edits.stack().cleanIndex() < 0
                          ? m_edits.stack().count() + 1
                          : qAbs(m_edits.stack().index() - m_edits.stack().cleanIndex());
    const auto shownRows = [](const QTableWidget *table) {
        int shown = 0;
        for (int row = 0; row < table->rowCount(); ++row)
            shown += table->isRowHidden(row) ? 0 : 1;
        return shown;
    };
    return TranslateString(QStringLiteral("%1 series shown, %2 models of the series shown, %3 "
                                          "unsaved edits"))
        .arg(shownRows(ui->tableWidget_Series))
        .arg(shownRows(ui->tableWidget_Idx))
        .arg(isModified() ? edits : 0);
}

// --- edits and undo -----------------------------------------------------------------------

QVariant HEditProductSaleStatus::schemeCellValue(const QTableWidget *table, int row,
                                                 int column) const
{
    const bool series = table == ui->tableWidget_Series;
    const QJsonObject record =
        currentScheme.value(series ? SchemeKeys::seriesTable : SchemeKeys::idxTable)
            .toArray()
            .at(row)
            .toObject();
    if (HSaleStatusEdits::isCheckColumn(series, column)) {
        const QString &key =
            column == (series ? 2 : 3) ? SchemeKeys::isNotForSale : SchemeKeys::isUserSkip;
        return int(record.value(key).toBool() ? Qt::Checked : Qt::Unchecked);
    }
    return record.value(series ? SchemeKeys::modelString : SchemeKeys::oemModel).toString();
}

void HEditProductSaleStatus::applyInstallCodes(const QJsonObject &codes)
{
    currentScheme.insert(SchemeKeys::installCode, codes);
    fillInstallCodeCombo();
}

void HEditProductSaleStatus::applyIduType(const QString &type)
{
    const QSignalBlocker blocker(ui->comboBox_idu_generate);
    ui->comboBox_idu_generate->setCurrentText(type);
    m_iduType = ui->comboBox_idu_generate->currentText();
}

void HEditProductSaleStatus::keepTableEdits()
{
    QJsonArray series = currentScheme.value(SchemeKeys::seriesTable).toArray();
    if (!series.isEmpty()) {
        m_tables.writeEditedRows(ui->tableWidget_Series, series);
        currentScheme.insert(SchemeKeys::seriesTable, series);
    }
    QJsonArray models = currentScheme.value(SchemeKeys::idxTable).toArray();
    if (!models.isEmpty()) {
        m_tables.writeEditedRows(ui->tableWidget_Idx, models);
        currentScheme.insert(SchemeKeys::idxTable, models);
    }
}

void HEditProductSaleStatus::refilterTables()
{
    for (HFindBar *bar : {m_seriesFind, m_modelFind}) {
        if (bar && !bar->text().trimmed().isEmpty())
            bar->apply();
    }
    emit statusTextChanged();
}

// --- schemes ------------------------------------------------------------------------------

void HEditProductSaleStatus::fillSchemeCombo()
{
    ui->comboBox_scheme->clear();
    ui->comboBox_scheme->addItems(HSaleStatusSchemes::listSchemeFiles());
}

void HEditProductSaleStatus::on_comboBox_scheme_currentIndexChanged(const QString &arg1)
{
    if (arg1 == m_schemeName && !arg1.isEmpty())
        return;
    if (!confirmDiscard(TranslateString(QStringLiteral("Another scheme is about to be shown.")))) {
        // Back to the scheme shown, which stays as it is.
        const QSignalBlocker blocker(ui->comboBox_scheme);
        ui->comboBox_scheme->setCurrentText(m_schemeName);
        return;
    }
    if (!arg1.isEmpty()) {
        loadScheme(arg1);
    } else {
        m_schemeName.clear();
        m_edits.stack().clear();
    }
}

void HEditProductSaleStatus::loadScheme(const QString &name)
{
    m_schemeName = name;
    m_edits.reset();
    const bool applying = m_edits.isApplying();
    m_edits.setApplying(true);
    m_schemeFile.read(this, name, currentScheme);
    HSaleStatusSchemes::completeScheme(currentScheme, HDbFind::getDb(), &m_dbEdits.stored());
    fillIduTypeCombo();
    fillInstallCodeCombo();
    // Rows of the previous scheme must never be written into this one.
    m_tables.schemeReplaced();
    m_tables.clearModels();
    showSeriesTable();
    m_iduType = ui->comboBox_idu_generate->currentText();
    m_edits.setApplying(applying);
    emit statusTextChanged();
}

void HEditProductSaleStatus::on_pushButton_New_clicked()
{
    if (!confirmDiscard(TranslateString(QStringLiteral("The new scheme is shown instead."))))
        return;
    QStringList existing;
    for (int i = 0; i < ui->comboBox_scheme->count(); ++i)
        existing.append(ui->comboBox_scheme->itemText(i));
    const QString fileName = HSaleStatusSchemeActions::askNewSchemeName(this, existing);
    if (fileName.isEmpty())
        return;

    // The new scheme keeps the current scheme's unit_priority and other keys. It is built
    // apart so that a failed write leaves the current scheme as it was.
    QJsonObject scheme = currentScheme;
    scheme.insert(SchemeKeys::installCode, QJsonObject());
    scheme.insert(SchemeKeys::seriesTable, HSaleStatusSchemes::readSeriesFromDb(HDbFind::getDb()));
    scheme.insert(SchemeKeys::idxTable, HSaleStatusSchemes::readModelsFromDb(HDbFind::getDb()));
    if (!HSaleStatusSchemeActions::writeNewScheme(this, fileName, scheme))
        return;

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
    if (!HSaleStatusSchemeActions::deleteScheme(this, name))
        return;
    m_schemeFile.removed(name);
    // The edits belonged to the scheme just deleted.
    m_edits.stack().clear();
    m_schemeName.clear();
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
    // The value is read when the scheme is saved; a choice is an edit of the scheme.
    if (m_edits.isApplying() || arg1 == m_iduType)
        return;
    const QString before = m_iduType;
    m_iduType = arg1;
    m_edits.pushIduType(before, arg1, [this](const QString &type) { applyIduType(type); });
}

void HEditProductSaleStatus::on_comboBox_ProductType_currentIndexChanged(int index)
{
    if (index >= 0 && index < int(std::size(kProductTypes)))
        productTypeFilter = kProductTypes[index];
    // The edits stay: they go into the scheme in memory before the table is refilled.
    keepTableEdits();
    showSeriesTable();
    refilterTables();
}

void HEditProductSaleStatus::showSeriesTable()
{
    const QJsonArray series = currentScheme.value(SchemeKeys::seriesTable).toArray();
    if (!series.isEmpty())
        m_tables.fillSeries(series, productTypeFilter);
}

void HEditProductSaleStatus::clickCell_Series(int row, int col)
{
    Q_UNUSED(col)
    if (row < 0)
        return;
    keepTableEdits();
    showModelsOfSeries(HSaleStatusTables::cellText(ui->tableWidget_Series, row, 0).toInt());
    refilterTables();
}

void HEditProductSaleStatus::showModelsOfSeries(int idSeries)
{
    const QJsonArray models = currentScheme.value(SchemeKeys::idxTable).toArray();
    if (!models.isEmpty())
        m_tables.fillModels(models, idSeries);
}

void HEditProductSaleStatus::writeTablesToScheme()
{
    QJsonArray series = currentScheme.value(SchemeKeys::seriesTable).toArray();
    if (!series.isEmpty()) {
        m_tables.writeRows(ui->tableWidget_Series, series);
        currentScheme.insert(SchemeKeys::seriesTable, series);
    }
    QJsonArray models = currentScheme.value(SchemeKeys::idxTable).toArray();
    if (!models.isEmpty()) {
        m_tables.writeRows(ui->tableWidget_Idx, models);
        currentScheme.insert(SchemeKeys::idxTable, models);
    }
    QJsonObject priority = currentScheme.value(SchemeKeys::unitPriority).toObject();
    priority.insert(SchemeKeys::iduGenerate, ui->comboBox_idu_generate->currentText());
    currentScheme.insert(SchemeKeys::unitPriority, priority);
}

void HEditProductSaleStatus::on_pushButton_Save_clicked()
{
    writeScheme(nullptr);
}

// The check-all buttons save the scheme as "Save to scheme" does, except one whose file could
// not be read: that one is written only when the user presses "Save to scheme".
void HEditProductSaleStatus::saveAfterCheckAll()
{
    if (m_schemeName.isEmpty() || m_schemeFile.isUnreadable(m_schemeName))
        return;
    writeScheme(nullptr);
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

// Only the rows the user can see are touched: those of the product type or series shown that
// the find box leaves shown (both hide rows at height 0).
void HEditProductSaleStatus::setNotForSale(QTableWidget *table, int column, const QStringList &ids,
                                           Qt::CheckState state)
{
    QVector<Qt::CheckState> before(table->rowCount(), Qt::Unchecked);
    for (int row = 0; row < table->rowCount(); ++row) {
        if (const QTableWidgetItem *item = table->item(row, column))
            before[row] = item->checkState();
    }
    const QVector<int> rows = m_tables.setShownChecks(table, column, ids, state);
    m_edits.checksChanged(table, column, rows, before,
                          state == Qt::Checked ? TranslateString(QStringLiteral("Check all"))
                                               : TranslateString(QStringLiteral("Uncheck all")));
    saveAfterCheckAll();
}

void HEditProductSaleStatus::on_pushButton_checkall_clicked()
{
    setNotForSale(ui->tableWidget_Series, 2, seriesIdList(), Qt::Checked);
}

void HEditProductSaleStatus::on_pushButton_uncheckall_clicked()
{
    setNotForSale(ui->tableWidget_Series, 2, seriesIdList(), Qt::Unchecked);
}

void HEditProductSaleStatus::on_pushButton_checkall_2_clicked()
{
    setNotForSale(ui->tableWidget_Idx, 3, modelIdList(), Qt::Checked);
}

void HEditProductSaleStatus::on_pushButton_uncheckall_2_clicked()
{
    setNotForSale(ui->tableWidget_Idx, 3, modelIdList(), Qt::Unchecked);
}

// --- database -----------------------------------------------------------------------------

// The OEM names reach the scheme only through "Save to scheme", like names typed in.
void HEditProductSaleStatus::on_pushButton_export_clicked()
{
    HOemModelExchange::exportModelTable(this, ui->tableWidget_Idx);
}

void HEditProductSaleStatus::on_pushButton_import_clicked()
{
    // An import is one edit, undone as one.
    m_edits.collect(TranslateString(QStringLiteral("Import")),
                    [this] { HOemModelExchange::importModelTable(this, ui->tableWidget_Idx); });
}

void HEditProductSaleStatus::on_pushButton_SaveDb_clicked()
{
    runSave([this](bool overwrite) {
        return m_dbEdits.save(HDbFind::getDb(), currentScheme.value(SchemeKeys::idxTable).toArray(),
                              overwrite);
    });
}

QVector<HAuditEntry> HEditProductSaleStatus::pendingEdits() const
{
    return m_dbEdits.pending(currentScheme.value(SchemeKeys::idxTable).toArray());
}

// The cells another user changed show their values, as one undo step; the other edits stay.
void HEditProductSaleStatus::reloadKeepingEdits(const QVector<HConflict> &conflicts)
{
    Q_UNUSED(conflicts)
    if (!m_tables.modelsFilled())
        showModelsOfSeries(-1); // rows for every model, none shown until a series is clicked
    QString error;
    bool read = false;
    m_edits.collect(TranslateString(QStringLiteral("Reload")),
                    [&] { read = m_dbEdits.reload(HDbFind::getDb(), &error); });
    if (!read)
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), error);
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
    const QJsonObject before = currentScheme.value(SchemeKeys::installCode).toObject();
    QJsonObject codes = before;
    if (!HSaleStatusSchemeActions::askNewInstallCode(&codes))
        return;
    // An edit of the scheme like the others: saved with it, or dropped with it.
    m_edits.pushInstallCodes(TranslateString(QStringLiteral("New install code")), before, codes,
                             [this](const QJsonObject &value) { applyInstallCodes(value); });
}

void HEditProductSaleStatus::on_pushButton_RemoveInstallCode_clicked()
{
    const QString code = ui->comboBox_InstallCode->currentText();
    if (!HSaleStatusSchemeActions::confirmRemoveInstallCode(this, code))
        return;
    const QJsonObject before = currentScheme.value(SchemeKeys::installCode).toObject();
    if (before.isEmpty())
        return;
    QJsonObject codes = before;
    codes.remove(code);
    m_edits.pushInstallCodes(TranslateString(QStringLiteral("Remove install code")), before, codes,
                             [this](const QJsonObject &value) { applyInstallCodes(value); });
    HMessageBox::information(this, TranslateString(QStringLiteral("Notice")),
                             TranslateString(QStringLiteral("Remove success")));
}

void HEditProductSaleStatus::on_pushButton_ExportAllSchemes_clicked()
{
    HSaleStatusSchemeActions::exportAllSchemes(this);
}

void HEditProductSaleStatus::save()
{
    runSave([this](bool) {
        HSaveOutcome outcome;
        // Nothing unsaved, nothing written: the file stays as it is, byte for byte.
        if (isModified() && !writeScheme(&outcome.error)) {
            outcome.ok = false;
            if (outcome.error.isEmpty())
                outcome.error =
                    TranslateString(QStringLiteral("the scheme file could not be written"));
        }
        return outcome;
    });
}
