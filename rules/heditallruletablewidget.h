#pragma once

#include "heditorpage.h"

#include <QJsonObject>
#include <QWidget>

namespace Ui {
class HEditAllRuleTableWidget;
}

class HTableWidget;

// The "All rule table" tab: a combo box of the nine rule tables above an embedded table
// editor that shows the chosen one. Its rows are saved by the editor's own button or by
// save(); choosing another table while rows are pending asks first.
class HEditAllRuleTableWidget : public HEditorPage
{
    Q_OBJECT

public:
    explicit HEditAllRuleTableWidget(QWidget *parent = nullptr);
    ~HEditAllRuleTableWidget() override;

    void discardChanges() override;
    QString statusText() const override;
    QVector<HAuditEntry> pendingEdits() const override;

public slots:
    // Writes the pending rows of the table shown and reports the outcome.
    void save() override;

protected:
    void reloadKeepingEdits(const QVector<HConflict> &conflicts) override;

private slots:
    void on_comboBox_currentIndexChanged(int index);

private:
    Ui::HEditAllRuleTableWidget *ui;
    HTableWidget *m_tableWidget = nullptr;
    QJsonObject m_ruleTables; // display name -> table name
    int m_shownIndex = -1;    // the combo entry whose table the editor shows
};
