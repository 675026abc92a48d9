#pragma once

#include <QMainWindow>

namespace Ui {
class MainWindow;
}

class HOduAndIduMatchingWidget;
class HSeriesAndAccessoryMatchingWidget;
class HRuleWidget;
class HEditAllRuleTableWidget;
class HEditProductSaleStatus;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // The product database file, resolved by HDbFind, and its password.
    static const QString kDatabaseFile;
    static const QString kDatabasePassword;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

signals:
    void save();

public slots:
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private:
    HOduAndIduMatchingWidget *m_oduAndIduMatching = nullptr;
    HSeriesAndAccessoryMatchingWidget *m_seriesAndAccessoryMatching = nullptr;
    HRuleWidget *m_rule = nullptr;
    HEditAllRuleTableWidget *m_editAllRuleTable = nullptr;
    HEditProductSaleStatus *m_productSaleStatus = nullptr;
    Ui::MainWindow *ui;
};
