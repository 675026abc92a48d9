#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QString>

namespace Ui {
class HSelectRuleNameWidget;
}

// Picks one rule name of a rule table, or an empty name ("Empty"). It opens on the series'
// current rule, and OK without a name chosen (and shown) keeps that rule. "Edit" opens the
// table in a table editor window; the list is read again when that window closes.
class HSelectRuleNameWidget : public QDialog
{
    Q_OBJECT

public:
    explicit HSelectRuleNameWidget(QString tableName, QWidget *parent = nullptr);
    ~HSelectRuleNameWidget() override;

    // The rule the series has now: selected when the list has it, and what OK returns when
    // nothing else is chosen.
    void setCurrentRuleName(const QString &name);

    // The chosen name; meaningful after exec() returned Accepted.
    QString selectedRuleName() const { return m_selectedRuleName; }

private slots:
    void on_buttonBox_accepted();
    void Select(QModelIndex idx);
    void on_pushButton_del_clicked();
    void on_pushButton_edit_clicked();

private:
    void loadRuleNames();
    void selectName(const QString &name);

    Ui::HSelectRuleNameWidget *ui;
    QString m_tableName;
    QString m_currentRuleName;
    QString m_selectedRuleName;
};
