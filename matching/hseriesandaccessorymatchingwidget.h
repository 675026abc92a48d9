#pragma once

#include <QWidget>

class HSeriesAndAccessoryMatchingWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HSeriesAndAccessoryMatchingWidget(QWidget *parent = nullptr);

public slots:
    void save();
};
