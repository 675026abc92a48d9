#include "heditallruletablewidget.h"

HEditAllRuleTableWidget::HEditAllRuleTableWidget(QWidget *parent)
    : QWidget(parent)
{
}

void HEditAllRuleTableWidget::save()
{
}

