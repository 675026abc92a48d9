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
class HSaveRound;

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
    // Saves every connected tab; a failure keeps the window open and says which tab failed
    // and which saved.
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

protected:
    // Writes the side files (snapshots, the sale status scheme) before anything is
    // destroyed and reports the ones that fail; a scheme that cannot be written asks
    // whether to close anyway.
    void closeEvent(QCloseEvent *event) override;

private:
    QString saveSummary(const HSaveRound &round) const;

    HOduAndIduMatchingWidget *m_oduAndIduMatching = nullptr;
    HSeriesAndAccessoryMatchingWidget *m_seriesAndAccessoryMatching = nullptr;
    HRuleWidget *m_rule = nullptr;
    HEditAllRuleTableWidget *m_editAllRuleTable = nullptr;
    HEditProductSaleStatus *m_productSaleStatus = nullptr;
    Ui::MainWindow *ui;
};
