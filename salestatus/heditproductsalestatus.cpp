#include "heditproductsalestatus.h"
#include "ui_heditproductsalestatus.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hinputnamewidget.h"
#include "hmessagebox.h"
#include "hoemmodelexchange.h"
#include "hsalestatusdbwriter.h"
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
{
    ui->setupUi(this);
    ui->verticalLayout_3->setContentsMargins(10, 10, 10, 10);
    setLayout(ui->verticalLayout_3);

    m_tables.setUp(ui->tableWidget_Series, ui->tableWidget_Idx);
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
    QString error;
    if (!writeSchemeOnClose(&error))
        qWarning().noquote() << "the scheme was not saved:" << error;
    delete ui;
}

bool HEditProductSaleStatus::writeSchemeOnClose(QString *error)
{
    // A scheme whose file could not be read is never overwritten without being asked to.
    const QString name = ui->comboBox_scheme->currentText();
    if (name.isEmpty() || name == m_unreadableScheme)
        return true;
    HSaleStatusSchemes schemes;
    if (schemes.write(name, currentScheme))
        return true;
    if (error)
        *error = schemes.errorString();
    return false;
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
    m_keptUnreadable.clear();
    if (result == HSaleStatusSchemes::ReadResult::Unreadable) {
        m_unreadableScheme = name;
        HMessageBox::warning(
            this, TranslateString(QStringLiteral("Warning")),
            schemes.errorString() + QLatin1Char('\n') +
                TranslateString(QStringLiteral(
                    "The scheme shows the database values. The file is left as it is until you "
                    "press \"Save to scheme\", which first keeps it as a copy named "
                    "<file>.unreadable.bak.")));
    } else if (result == HSaleStatusSchemes::ReadResult::Missing) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                             schemes.errorString());
    }
    completeScheme(currentScheme);
    fillIduTypeCombo();
    fillInstallCodeCombo();
    // Rows of the previous scheme must never be written into this one.
    m_tables.schemeReplaced();
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
    if (name == m_unreadableScheme && m_keptUnreadable != name) {
        if (!schemes.keepUnreadable(name)) {
            HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                                 schemes.errorString());
            return false;
        }
        m_keptUnreadable = name;
    }
    // The unreadable original is kept for good already; it does not go to "<file>.bak" too.
    if (!schemes.write(name, currentScheme, name != m_unreadableScheme)) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")),
                             schemes.errorString());
        return false;
    }
    if (name == m_unreadableScheme)
        m_unreadableScheme.clear();
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

void HEditProductSaleStatus::showSeriesTable()
{
    const QJsonArray series = currentScheme.value(SchemeKeys::seriesTable).toArray();
    if (!series.isEmpty())
        m_tables.fillSeries(series, productTypeFilter);
}

void HEditProductSaleStatus::clickCell_Series(int row, int col)
{
    Q_UNUSED(col)
    if (row >= 0)
        showModelsOfSeries(HSaleStatusTables::cellText(ui->tableWidget_Series, row, 0).toInt());
}

void HEditProductSaleStatus::showModelsOfSeries(int idSeries)
{
    const QJsonArray models = currentScheme.value(SchemeKeys::idxTable).toArray();
    if (!models.isEmpty())
        m_tables.fillModels(models, idSeries);
}

void HEditProductSaleStatus::clearModelTable()
{
    m_tables.clearModels();
}

void HEditProductSaleStatus::writeTablesToScheme()
{
    QJsonArray series = currentScheme.value(SchemeKeys::seriesTable).toArray();
    if (!series.isEmpty()) {
        m_tables.writeSeries(series);
        currentScheme.insert(SchemeKeys::seriesTable, series);
    }
    QJsonArray models = currentScheme.value(SchemeKeys::idxTable).toArray();
    if (!models.isEmpty()) {
        m_tables.writeModels(models);
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

// The check-all buttons save the scheme as "Save to scheme" does, except one whose file could
// not be read: that one is written only when the user presses "Save to scheme".
void HEditProductSaleStatus::saveAfterCheckAll()
{
    const QString name = ui->comboBox_scheme->currentText();
    if (name.isEmpty())
        return;
    writeTablesToScheme();
    if (name != m_unreadableScheme)
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

void HEditProductSaleStatus::setSeriesNotForSale(const QStringList &ids, Qt::CheckState state)
{
    m_tables.setShownChecks(ui->tableWidget_Series, 2, ids, state);
    saveAfterCheckAll();
}

void HEditProductSaleStatus::setModelsNotForSale(const QStringList &ids, Qt::CheckState state)
{
    m_tables.setShownChecks(ui->tableWidget_Idx, 3, ids, state);
    saveAfterCheckAll();
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
    // Only the rows that may differ from the database are compared with it: all of them after
    // a scheme was loaded, else those edited since the last save to the database.
    const QTableWidget *seriesTable = ui->tableWidget_Series;
    const QVector<int> seriesRows = m_tables.seriesRowsToSave();
    QVector<HSaleStatusDbWriter::SeriesRow> series;
    series.reserve(seriesRows.size());
    for (int row : seriesRows) {
        series.append({HSaleStatusTables::cellText(seriesTable, row, 0),
                       HSaleStatusTables::cellChecked(seriesTable, row, 2),
                       HSaleStatusTables::cellChecked(seriesTable, row, 3),
                       HSaleStatusTables::cellText(seriesTable, row, 4)});
    }
    const QTableWidget *modelTable = ui->tableWidget_Idx;
    const QVector<int> modelRows = m_tables.modelRowsToSave();
    QVector<HSaleStatusDbWriter::ModelRow> models;
    models.reserve(modelRows.size());
    for (int row : modelRows) {
        models.append({HSaleStatusTables::cellText(modelTable, row, 0),
                       HSaleStatusTables::cellChecked(modelTable, row, 3),
                       HSaleStatusTables::cellChecked(modelTable, row, 4)});
    }
    HSaleStatusDbWriter writer;
    if (!writer.save(HDbFind::getDb(), series, models)) {
        HMessageBox::warning(
            this, TranslateString(QStringLiteral("Warning")),
            TranslateString(QStringLiteral("Nothing was saved to the database: ")) +
                writer.errorString());
        return;
    }
    m_tables.savedToDb();
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

void HEditProductSaleStatus::save()
{
    HSaveOutcome outcome;
    if (!writeSchemeOnClose(&outcome.error)) {
        outcome.ok = false;
        if (outcome.error.isEmpty())
            outcome.error = TranslateString(QStringLiteral("the scheme file could not be written"));
    }
    HSaveRound::report(this, outcome);
}
