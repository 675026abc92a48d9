#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QString>

namespace Ui {
class HSelectRuleNameWidget;
}

// Picks one rule name of a rule table, or an empty name ("Empty"). "Edit" opens the table
// in a table editor window; the list is read again when that window closes.
class HSelectRuleNameWidget : public QDialog
{
    Q_OBJECT

public:
    explicit HSelectRuleNameWidget(QString tableName, QWidget *parent = nullptr);
    ~HSelectRuleNameWidget() override;

    // The chosen name; meaningful after exec() returned Accepted.
    QString selectedRuleName() const { return m_selectedRuleName; }

private slots:
    void on_buttonBox_accepted();
    void Select(QModelIndex idx);
    void on_pushButton_del_clicked();
    void on_pushButton_edit_clicked();

private:
    void loadRuleNames();

    Ui::HSelectRuleNameWidget *ui;
    QString m_tableName;
    QString m_selectedRuleName;
};
