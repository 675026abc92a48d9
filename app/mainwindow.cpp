#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "hdbfind.h"
#include "heditallruletablewidget.h"
#include "heditproductsalestatus.h"
#include "hoduandidumatchingwidget.h"
#include "hrulewidget.h"
#include "hseriesandaccessorymatchingwidget.h"
#include "translatestring.h"

const QString MainWindow::kDatabaseFile = QStringLiteral("Product.mdb");
const QString MainWindow::kDatabasePassword = QStringLiteral("qarnu1984");

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    // The layout moves from layoutWidget to the central widget so that the tabs and the
    // buttons fill the window and follow its size.
    ui->verticalLayout->setContentsMargins(5, 5, 5, 5);
    ui->centralWidget->setLayout(ui->verticalLayout);
    ui->tabWidget->clear();

    // Every editor reads the database in its constructor: name it first. The window closes
    // the database when it goes, so a new window opens it again.
    HDbFind::setDbFileAndPwd(kDatabaseFile, kDatabasePassword);
    HDbFind::open();

    m_oduAndIduMatching = new HOduAndIduMatchingWidget(nullptr);
    m_seriesAndAccessoryMatching = new HSeriesAndAccessoryMatchingWidget(nullptr);
    m_rule = new HRuleWidget(nullptr);
    m_editAllRuleTable = new HEditAllRuleTableWidget(nullptr);
    m_productSaleStatus = new HEditProductSaleStatus(nullptr);

    ui->tabWidget->insertTab(0, m_oduAndIduMatching, TranslateString(QStringLiteral("ODU And IDU Matching")));
    ui->tabWidget->insertTab(1, m_seriesAndAccessoryMatching,
                             TranslateString(QStringLiteral("ODU/IDU And Accessory Matching")));
    ui->tabWidget->insertTab(2, m_rule, TranslateString(QStringLiteral("Select Rule")));
    ui->tabWidget->insertTab(3, m_editAllRuleTable, TranslateString(QStringLiteral("All rule table")));
    ui->tabWidget->insertTab(4, m_productSaleStatus,
                             TranslateString(QStringLiteral("Set product sales status")));

    setWindowTitle(TranslateString(QStringLiteral("Product")));

    // One emission saves the four editors in this order; the sale status tab saves only
    // through its own buttons.
    connect(this, &MainWindow::save, m_oduAndIduMatching, &HOduAndIduMatchingWidget::save);
    connect(this, &MainWindow::save, m_seriesAndAccessoryMatching,
            &HSeriesAndAccessoryMatchingWidget::save);
    connect(this, &MainWindow::save, m_rule, &HRuleWidget::save);
    connect(this, &MainWindow::save, m_editAllRuleTable, &HEditAllRuleTableWidget::save);

    showMaximized();
}

MainWindow::~MainWindow()
{
    // The matching editors write their snapshots here, while the database is still open;
    // the sale status editor goes with the remaining children, after the database is closed.
    delete m_oduAndIduMatching;
    m_oduAndIduMatching = nullptr;
    delete m_seriesAndAccessoryMatching;
    m_seriesAndAccessoryMatching = nullptr;
    delete m_rule;
    m_rule = nullptr;
    delete m_editAllRuleTable;
    m_editAllRuleTable = nullptr;

    HDbFind::closeDb();
    delete ui;
}

void MainWindow::on_buttonBox_accepted()
{
    emit save();
    close();
}

void MainWindow::on_buttonBox_rejected()
{
    close();
}
