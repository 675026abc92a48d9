#pragma once

#include <QWidget>

class HOduAndIduMatchingWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HOduAndIduMatchingWidget(QWidget *parent = nullptr);

public slots:
    void save();
};
