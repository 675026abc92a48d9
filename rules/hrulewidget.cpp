#include "hrulewidget.h"

HRuleWidget::HRuleWidget(QWidget *parent)
    : QWidget(parent)
{
}

void HRuleWidget::save()
{
}

