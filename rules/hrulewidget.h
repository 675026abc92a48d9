#pragma once

#include "heditorpage.h"

#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QStringList>
#include <QVariant>
#include <QWidget>

class QTableWidgetItem;

namespace Ui {
class HRuleWidget;
}

// The "Select Rule" tab: every outdoor series with the names of its five rule-table
// entries. A double-click on a rule cell picks another name from that rule table; save()
// writes the changed rule names in one transaction, each only where the series still holds
// the name loaded (otherwise the user is asked what to do), and reports its outcome to the
// save round (a failure keeps every edit for another try).
class HRuleWidget : public HEditorPage
{
    Q_OBJECT

public:
    explicit HRuleWidget(QWidget *parent = nullptr);
    ~HRuleWidget() override;

    // The rule table whose names the column of __product_series refers to, or empty.
    static QString ruleTableOf(const QString &seriesColumn);

    void discardChanges() override;
    QString statusText() const override;
    QVector<HAuditEntry> pendingEdits() const override;

public slots:
    void tableCellDoubleClicked(int row, int col);
    void save() override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void reloadKeepingEdits(const QVector<HConflict> &conflicts) override;

private:
    // The rule columns the user changed in one series (its index in the document).
    struct Change
    {
        int row;
        QStringList columns;
    };
    QVector<Change> changes() const;
    // One try of a save: checked against what was loaded, or by ID only (`overwrite`).
    HSaveOutcome attemptSave(bool overwrite);

    void loadDocument();
    void fillTable();
    // The cell of column `col` in the row that shows series `seriesIndex` of the document.
    QTableWidgetItem *itemOf(int seriesIndex, int col) const;

    Ui::HRuleWidget *ui;
    QJsonObject m_document; // "ar_odu_series": one object per outdoor series
    QJsonObject m_saved;    // the document as the database holds it: loaded or last saved
    // The rule columns of the series found in conflict by the last save, as stored then (an
    // Overwrite names them as the old values in the history), and which edits were in the
    // way ("ID/column", "ID/(row)" for a series removed).
    QHash<int, QHash<QString, QVariant>> m_seen;
    QSet<QString> m_conflicting;
};
