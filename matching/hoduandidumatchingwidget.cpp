#include "hoduandidumatchingwidget.h"

HOduAndIduMatchingWidget::HOduAndIduMatchingWidget(QWidget *parent)
    : QWidget(parent)
{
}

void HOduAndIduMatchingWidget::save()
{
}

