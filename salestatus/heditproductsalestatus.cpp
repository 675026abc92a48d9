#include "heditproductsalestatus.h"

HEditProductSaleStatus::HEditProductSaleStatus(QWidget *parent)
    : QWidget(parent)
{
}

