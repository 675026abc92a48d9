#pragma once

#include "heditorpage.h"

#include "hsalestatusdbedits.h"
#include "hsalestatusedits.h"
#include "hsalestatusschemeactions.h"
#include "hsalestatustables.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUndoStack>
#include <QVariant>
#include <QWidget>

class HFindBar;
class QTableWidget;

namespace Ui {
class HEditProductSaleStatus;
}

// Tab "Set product sales status": one brand scheme shown as the series table (filtered by
// product type) and the model table of the series last clicked; writes the scheme file and
// the sale flags of the product database on request.
class HEditProductSaleStatus : public HEditorPage
{
    Q_OBJECT

public:
    explicit HEditProductSaleStatus(QWidget *parent = nullptr);
    ~HEditProductSaleStatus() override;

    // Writes the unsaved edits of the scheme to its file when there are any (the destructor
    // does too, for edits nobody was asked about); never over a file that could not be read.
    // An overwrite keeps the earlier file as "<file>.bak". False with the file and the cause
    // in *error.
    bool writeSchemeOnClose(QString *error = nullptr);

    // Reloads the scheme from its file.
    void discardChanges() override;
    QString statusText() const override;
    // The database values "Save to Db" would change (the scheme file is not the database).
    QVector<HAuditEntry> pendingEdits() const override;
    QUndoStack *undoStack() { return &m_edits.stack(); }

public slots:
    // Writes the scheme as writeSchemeOnClose() does and reports the outcome.
    void save() override;
    void clickCell_Series(int row, int col);
    void on_pushButton_New_clicked();
    void on_pushButton_Delete_clicked();
    void on_pushButton_Save_clicked();
    void on_comboBox_scheme_currentIndexChanged(const QString &arg1);

private slots:
    void on_comboBox_ProductType_currentIndexChanged(int index);
    void on_pushButton_SaveDb_clicked();
    void on_pushButton_export_clicked();
    void on_pushButton_import_clicked();
    void on_pushButton_AddInstallCode_clicked();
    void on_pushButton_RemoveInstallCode_clicked();
    void on_pushButton_ExportAllSchemes_clicked();
    void on_pushButton_checkall_clicked();
    void on_pushButton_uncheckall_clicked();
    void on_pushButton_checkall_2_clicked();
    void on_pushButton_uncheckall_2_clicked();
    void on_comboBox_idu_generate_currentIndexChanged(const QString &arg1);

protected:
    void reloadKeepingEdits(const QVector<HConflict> &conflicts) override;

private:
    // Schemes.
    void fillSchemeCombo();
    void loadScheme(const QString &name);
    void saveAfterCheckAll();
    // Writes the tables and the scheme to the file; the undo stack is clean afterwards.
    bool writeScheme(QString *error);
    // Writes the edited rows back into the scheme in memory before a refill.
    void keepTableEdits();
    QVariant schemeCellValue(const QTableWidget *table, int row, int column) const;
    void refilterTables();
    // Set by undo and redo.
    void applyInstallCodes(const QJsonObject &codes);
    void applyIduType(const QString &type);

    // Tables and combos.
    void fillIduTypeCombo();
    void fillInstallCodeCombo();
    void showSeriesTable();
    void showModelsOfSeries(int idSeries);
    void writeTablesToScheme();
    void setNotForSale(QTableWidget *table, int column, const QStringList &ids,
                       Qt::CheckState state);
    QStringList seriesIdList() const;
    QStringList modelIdList() const;

    Ui::HEditProductSaleStatus *ui;
    int productTypeFilter = 0;
    QJsonObject currentScheme;
    // The scheme whose file could not be read: it is not written back unless the user
    // presses "Save to scheme", and then the original is kept beside it first (once).
    HSaleStatusSchemeActions m_schemeFile;
    // Fills the two tables and reads them back; keeps the model table's items across a
    // scheme load for the next fill.
    HSaleStatusTables m_tables;
    // What the database held when last read or written, and "Save to Db".
    HSaleStatusDbEdits m_dbEdits;

    // The scheme shown (the combo may already name the next one while the user is asked).
    QString m_schemeName;
    QString m_iduType;
    // Undo steps of the edits since the scheme was loaded or saved.
    HSaleStatusEdits m_edits;
    HFindBar *m_seriesFind = nullptr;
    HFindBar *m_modelFind = nullptr;
};
