#pragma once

#include <QWidget>

class HRuleWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HRuleWidget(QWidget *parent = nullptr);

public slots:
    void save();
};
