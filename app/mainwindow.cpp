#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "hdbfind.h"
#include "heditallruletablewidget.h"
#include "heditproductsalestatus.h"
#include "hmessagebox.h"
#include "hoduandidumatchingwidget.h"
#include "hproductdatacheckdialog.h"
#include "hrulewidget.h"
#include "hsaveround.h"
#include "hseriesandaccessorymatchingwidget.h"
#include "translatestring.h"

#include <QCloseEvent>
#include <QMenuBar>

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

    ui->tabWidget->insertTab(0, m_oduAndIduMatching,
                             TranslateString(QStringLiteral("ODU And IDU Matching")));
    ui->tabWidget->insertTab(1, m_seriesAndAccessoryMatching,
                             TranslateString(QStringLiteral("ODU/IDU And Accessory Matching")));
    ui->tabWidget->insertTab(2, m_rule, TranslateString(QStringLiteral("Select Rule")));
    ui->tabWidget->insertTab(3, m_editAllRuleTable,
                             TranslateString(QStringLiteral("All rule table")));
    ui->tabWidget->insertTab(4, m_productSaleStatus,
                             TranslateString(QStringLiteral("Set product sales status")));

    setWindowTitle(TranslateString(QStringLiteral("Product")));

    // References the tabs cannot show are kept by their saves; this is where the user finds
    // them and removes them on purpose.
    QMenu *tools = menuBar()->addMenu(TranslateString(QStringLiteral("&Tools")));
    QAction *check = tools->addAction(TranslateString(QStringLiteral("Check product data...")));
    check->setObjectName(QStringLiteral("action_checkProductData"));
    connect(check, &QAction::triggered, this, [this] { HProductDataCheckDialog::run(this); });

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
    QString failure;
    {
        HSaveRound round;
        emit save();
        if (round.failed())
            failure = saveSummary(round);
    }
    // A failed save keeps the window, and with it every edit, for another try.
    if (!failure.isEmpty()) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), failure);
        return;
    }
    close();
}

void MainWindow::on_buttonBox_rejected()
{
    close();
}

QString MainWindow::saveSummary(const HSaveRound &round) const
{
    QStringList failed;
    QStringList saved;
    for (const HSaveRound::Entry &entry : round.entries()) {
        const int index = entry.tab ? ui->tabWidget->indexOf(entry.tab) : -1;
        if (index < 0)
            continue;
        const QString label = ui->tabWidget->tabText(index);
        if (!entry.outcome.ok)
            failed.append(TranslateString(QStringLiteral("\"%1\" was not saved: %2"))
                              .arg(label, entry.outcome.error));
        else if (entry.outcome.rowsChanged == 0)
            saved.append(TranslateString(QStringLiteral("\"%1\" (nothing to save)")).arg(label));
        else
            saved.append(QStringLiteral("\"%1\"").arg(label));
    }
    QString text = failed.join(QLatin1Char('\n'));
    text += QLatin1Char('\n');
    text +=
        saved.isEmpty()
            ? TranslateString(QStringLiteral("No other tab was saved."))
            : TranslateString(QStringLiteral("Saved: %1.")).arg(saved.join(QStringLiteral(", ")));
    text += QLatin1Char('\n');
    text += TranslateString(QStringLiteral(
        "The window stays open with every edit; press OK again to save what is left."));
    return text;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The side files are written here, before anything is destroyed, so that the user
    // hears of a file that cannot be written while something can still be done about it.
    // The editors' destructors write them again, which changes nothing when they are
    // written already.
    QStringList snapshotErrors;
    QString error;
    auto snapshotFailed = [&](QWidget *tab) {
        snapshotErrors.append(TranslateString(QStringLiteral("The snapshot of \"%1\" was not "
                                                             "written: %2"))
                                  .arg(ui->tabWidget->tabText(ui->tabWidget->indexOf(tab)), error));
    };
    if (m_oduAndIduMatching && !m_oduAndIduMatching->writeSnapshot(&error))
        snapshotFailed(m_oduAndIduMatching);
    if (m_seriesAndAccessoryMatching && !m_seriesAndAccessoryMatching->writeSnapshot(&error))
        snapshotFailed(m_seriesAndAccessoryMatching);
    QString schemeError;
    if (m_productSaleStatus && !m_productSaleStatus->writeSchemeOnClose(&schemeError) &&
        schemeError.isEmpty())
        schemeError = TranslateString(QStringLiteral("the scheme file could not be written"));

    const QString others = snapshotErrors.join(QLatin1Char('\n'));
    if (!schemeError.isEmpty()) {
        // The scheme holds the user's sale status edits: closing now loses them.
        QString text = TranslateString(QStringLiteral("The sale status scheme was not saved: %1\n"
                                                      "Closing now loses the changes made to it."))
                           .arg(schemeError);
        if (!others.isEmpty())
            text += QLatin1Char('\n') + others;
        text += QLatin1Char('\n') + TranslateString(QStringLiteral("Close anyway?"));
        if (!HMessageBox::question(this, TranslateString(QStringLiteral("Question")), text)) {
            event->ignore();
            return;
        }
    } else if (!others.isEmpty()) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), others);
    }
    QMainWindow::closeEvent(event);
}
