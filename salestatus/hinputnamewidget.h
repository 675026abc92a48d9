#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class HInputNameWidget;
}

// Asks for one line of text: a new scheme name or a new install code.
class HInputNameWidget : public QDialog
{
    Q_OBJECT

public:
    explicit HInputNameWidget(QString name, QWidget *parent = nullptr);
    ~HInputNameWidget() override;

    // The initial name, replaced by the entered text when OK is pressed on a non-empty line.
    QString name;

private slots:
    void on_buttonBox_accepted();

private:
    Ui::HInputNameWidget *ui;
};
