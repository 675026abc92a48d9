#pragma once

#include "heditorpage.h"

#include <QJsonObject>
#include <QWidget>

class QTableWidgetItem;

namespace Ui {
class HRuleWidget;
}

// The "Select Rule" tab: every outdoor series with the names of its five rule-table
// entries. A double-click on a rule cell picks another name from that rule table; save()
// writes the changed rule names in one transaction and reports its outcome to the save
// round (a failure keeps every edit for another try).
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

public slots:
    void tableCellDoubleClicked(int row, int col);
    void save() override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void loadDocument();
    void fillTable();
    // The cell of column `col` in the row that shows series `seriesIndex` of the document.
    QTableWidgetItem *itemOf(int seriesIndex, int col) const;

    Ui::HRuleWidget *ui;
    QJsonObject m_document; // "ar_odu_series": one object per outdoor series
    QJsonObject m_saved;    // the document as the database holds it: loaded or last saved
};
