#pragma once

#include <QWidget>

class HEditProductSaleStatus : public QWidget
{
    Q_OBJECT

public:
    explicit HEditProductSaleStatus(QWidget *parent = nullptr);
};
