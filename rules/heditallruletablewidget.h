#pragma once

#include <QWidget>

class HEditAllRuleTableWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HEditAllRuleTableWidget(QWidget *parent = nullptr);

public slots:
    void save();
};
