#pragma once

#include "heditorpage.h"

#include <QJsonObject>
#include <QWidget>

namespace Ui {
class HEditAllRuleTableWidget;
}

class HTableWidget;

// The "All rule table" tab: a combo box of the nine rule tables above an embedded table
// editor that shows the chosen one and saves it with its own button.
class HEditAllRuleTableWidget : public HEditorPage
{
    Q_OBJECT

public:
    explicit HEditAllRuleTableWidget(QWidget *parent = nullptr);
    ~HEditAllRuleTableWidget() override;

public slots:
    // Part of the main window's save fan-out; rule tables are written only by the
    // editor's "Save To Database", so this only reports that nothing was written.
    void save() override;

private slots:
    void on_comboBox_currentIndexChanged(int index);

private:
    Ui::HEditAllRuleTableWidget *ui;
    HTableWidget *m_tableWidget = nullptr;
    QJsonObject m_ruleTables; // display name -> table name
};
