#include "hseriesandaccessorymatchingwidget.h"

HSeriesAndAccessoryMatchingWidget::HSeriesAndAccessoryMatchingWidget(QWidget *parent)
    : QWidget(parent)
{
}

void HSeriesAndAccessoryMatchingWidget::save()
{
}

