#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "hchangesdialog.h"
#include "hdatabase.h"
#include "hdbfind.h"
#include "heditallruletablewidget.h"
#include "heditproductsalestatus.h"
#include "hfiledialogs.h"
#include "hhistorywindow.h"
#include "hmessagebox.h"
#include "hoduandidumatchingwidget.h"
#include "hproductdatacheckdialog.h"
#include "hrulewidget.h"
#include "hsalestatusschemes.h"
#include "hsaveround.h"
#include "hschemereadahead.h"
#include "hseriesandaccessorymatchingwidget.h"
#include "translatestring.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>

const QString MainWindow::kDatabaseFile = QStringLiteral("Product.mdb");
const QString MainWindow::kDatabasePassword = QStringLiteral("qarnu1984");

namespace {

const QString kRecentKey = QStringLiteral("recentDatabases");
const int kRecentCount = 5;
const QString kDatabasePurpose = QStringLiteral("database");

QString databaseFilter()
{
    return TranslateString(
        QStringLiteral("Product databases (*.db *.sqlite *.mdb *.accdb);;All files (*)"));
}

QString counted(int count, const char *one, const char *many)
{
    return count == 1 ? TranslateString(QString::fromLatin1(one))
                      : TranslateString(QString::fromLatin1(many)).arg(count);
}

QAction *menuAction(QMenu *menu, const char *name, const QString &text, const QString &tip,
                    const QKeySequence &shortcut = QKeySequence())
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(tip);
    action->setStatusTip(tip);
    action->setShortcut(shortcut);
    return action;
}

} // namespace

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

    // Every editor reads the database in its constructor: it must be open first. The
    // start-up (or the caller) names the file; the window closes the database when it goes,
    // so a new window opens the default one again.
    if (!HDbFind::isOpen()) {
        HDbFind::setDbFileAndPwd(kDatabaseFile, kDatabasePassword);
        HDbFind::open();
    }

    m_labels = QStringList{TranslateString(QStringLiteral("ODU And IDU Matching")),
                           TranslateString(QStringLiteral("ODU/IDU And Accessory Matching")),
                           TranslateString(QStringLiteral("Select Rule")),
                           TranslateString(QStringLiteral("All rule table")),
                           TranslateString(QStringLiteral("Set product sales status"))};

    QMenu *file = menuBar()->addMenu(TranslateString(QStringLiteral("&File")));
    QAction *open = menuAction(
        file, "action_openDatabase", TranslateString(QStringLiteral("&Open database...")),
        TranslateString(QStringLiteral("Opens another product database; asks first about "
                                       "changes that are not saved")),
        QKeySequence::Open);
    connect(open, &QAction::triggered, this, &MainWindow::chooseAndOpenDatabase);
    m_recentMenu = file->addMenu(TranslateString(QStringLiteral("&Recent databases")));
    m_recentMenu->setObjectName(QStringLiteral("menu_recentDatabases"));
    file->addSeparator();
    QAction *saveAllAction = menuAction(
        file, "action_saveAll", TranslateString(QStringLiteral("&Save all tabs")),
        TranslateString(QStringLiteral("Saves the changes of every tab; the window stays open")),
        QKeySequence::Save);
    connect(saveAllAction, &QAction::triggered, this, &MainWindow::saveAll);
    file->addSeparator();
    QAction *quit = menuAction(
        file, "action_quit", TranslateString(QStringLiteral("&Quit")),
        TranslateString(QStringLiteral("Closes the window; asks first about changes that are "
                                       "not saved")),
        QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    // References the tabs cannot show are kept by their saves; this is where the user finds
    // them and removes them on purpose.
    QMenu *tools = menuBar()->addMenu(TranslateString(QStringLiteral("&Tools")));
    QAction *check = menuAction(
        tools, "action_checkProductData", TranslateString(QStringLiteral("Check product data...")),
        TranslateString(QStringLiteral("Lists rows that point at series, accessories or rules "
                                       "that do not exist, and removes them on request")));
    connect(check, &QAction::triggered, this, [this] { HProductDataCheckDialog::run(this); });
    QAction *history = menuAction(
        tools, "action_history", TranslateString(QStringLiteral("History...")),
        TranslateString(QStringLiteral("Lists what the saves changed, by whom and when")));
    connect(history, &QAction::triggered, this, [this] { HHistoryWindow::open(this); });
    QAction *changes = menuAction(
        tools, "action_changes", TranslateString(QStringLiteral("Changes...")),
        TranslateString(QStringLiteral("Lists the edits of every tab that are not saved yet")));
    connect(changes, &QAction::triggered, this, &MainWindow::showChanges);
    QPushButton *review = ui->buttonBox->addButton(TranslateString(QStringLiteral("Changes...")),
                                                   QDialogButtonBox::HelpRole);
    review->setObjectName(QStringLiteral("pushButton_changes"));
    review->setToolTip(changes->toolTip());
    connect(review, &QPushButton::clicked, this, &MainWindow::showChanges);

    ui->buttonBox->button(QDialogButtonBox::Ok)
        ->setToolTip(TranslateString(QStringLiteral("Saves every tab and closes the window")));
    ui->buttonBox->button(QDialogButtonBox::Cancel)
        ->setToolTip(TranslateString(QStringLiteral(
            "Closes the window without saving; asks first about changes that are not saved")));

    m_tabStatus = new QLabel(this);
    m_tabStatus->setObjectName(QStringLiteral("label_tabStatus"));
    m_saveStatus = new QLabel(this);
    m_saveStatus->setObjectName(QStringLiteral("label_saveStatus"));
    m_databaseStatus = new QLabel(this);
    m_databaseStatus->setObjectName(QStringLiteral("label_database"));
    statusBar()->addWidget(m_tabStatus);
    statusBar()->addWidget(m_saveStatus, 1);
    statusBar()->addPermanentWidget(m_databaseStatus);
    // Saves go on when the history is refused: the status bar says it is off.
    m_historyStatus = new QLabel(this);
    m_historyStatus->setObjectName(QStringLiteral("label_history"));
    m_historyStatus->hide();
    statusBar()->addPermanentWidget(m_historyStatus);
    connect(HSaveNotifier::instance(), &HSaveNotifier::historyStateChanged, this,
            [this](bool on, const QString &why) {
                m_historyStatus->setText(
                    on ? QString() : TranslateString(QStringLiteral("History off: %1")).arg(why));
                m_historyStatus->setVisible(!on);
            });

    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &MainWindow::updateTabStatus);
    // A tab's own save button: the status bar says what it did.
    connect(HSaveNotifier::instance(), &HSaveNotifier::saved, this,
            [this](QWidget *tab, const HSaveOutcome &outcome) {
                if (ui->tabWidget->indexOf(tab) >= 0)
                    showSaveOutcome(tab, outcome.ok, outcome.error, outcome.rowsChanged);
            });

    createTabs();
    fillRecentMenu();

    showMaximized();
}

MainWindow::~MainWindow()
{
    // The matching editors write their snapshots here, while the database is still open;
    // the sale status editor goes with the remaining children, after the database is closed.
    disconnect(ui->tabWidget, nullptr, this, nullptr);
    // The tabs say goodbye as they go (an undo stack emptied, a scheme written): nothing of
    // this window may hear it once it is being taken apart.
    for (HEditorPage *page : pages()) {
        disconnect(page, nullptr, this, nullptr);
        page->beginClosing();
    }
    // Hidden first, or each deleted tab shows the next one, laying out all its list rows.
    ui->tabWidget->hide();
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

void MainWindow::createTabs()
{
    // The sale status tab shows the first scheme: its file is parsed and checked beside the
    // database reads of the tabs made before it.
    const QString firstScheme = HSaleStatusSchemes::listSchemeFiles().value(0);
    if (!firstScheme.isEmpty())
        HSchemeReadAhead::start(HSaleStatusSchemes::readPath(firstScheme));
    m_oduAndIduMatching = new HOduAndIduMatchingWidget(nullptr);
    m_seriesAndAccessoryMatching = new HSeriesAndAccessoryMatchingWidget(nullptr);
    m_rule = new HRuleWidget(nullptr);
    m_editAllRuleTable = new HEditAllRuleTableWidget(nullptr);
    m_productSaleStatus = new HEditProductSaleStatus(nullptr);
    HSchemeReadAhead::drop(); // not taken when the tab showed no scheme
    const QList<HEditorPage *> all = pages();
    for (int i = 0; i < all.size(); ++i) {
        ui->tabWidget->insertTab(i, all.at(i), m_labels.at(i));
        connect(all.at(i), &HEditorPage::modifiedChanged, this, &MainWindow::updateMarkers);
        connect(all.at(i), &HEditorPage::statusTextChanged, this, &MainWindow::updateTabStatus);
        connect(this, &MainWindow::save, all.at(i), &HEditorPage::save);
    }
    ui->tabWidget->setCurrentIndex(0);
    ui->tabWidget->show();
    updateMarkers();
    updateTabStatus();
    updateDatabaseStatus();
    m_historyStatus->hide(); // says what the last save on this database found
    if (auto *history = findChild<HHistoryWindow *>()) // the history of this database
        history->refresh();
}

void MainWindow::showChanges()
{
    QList<HChangesDialog::Tab> tabs;
    for (HEditorPage *page : pages())
        tabs.append({label(page), page});
    HChangesDialog::run(this, tabs);
}

void MainWindow::destroyTabs()
{
    // In tab order, while the database is still open: the matching editors write their
    // snapshots as they go.
    const QList<HEditorPage *> all = pages();
    m_oduAndIduMatching = nullptr;
    m_seriesAndAccessoryMatching = nullptr;
    m_rule = nullptr;
    m_editAllRuleTable = nullptr;
    m_productSaleStatus = nullptr;
    for (HEditorPage *page : all) {
        disconnect(page, nullptr, this, nullptr);
        page->beginClosing();
    }
    ui->tabWidget->hide(); // shown again by createTabs
    qDeleteAll(all);
}

QList<HEditorPage *> MainWindow::pages() const
{
    QList<HEditorPage *> all;
    for (HEditorPage *page :
         std::initializer_list<HEditorPage *>{m_oduAndIduMatching, m_seriesAndAccessoryMatching,
                                              m_rule, m_editAllRuleTable, m_productSaleStatus}) {
        if (page)
            all.append(page);
    }
    return all;
}

QString MainWindow::label(QWidget *tab) const
{
    const int index = ui->tabWidget->indexOf(tab);
    return index >= 0 && index < m_labels.size() ? m_labels.at(index) : QString();
}

void MainWindow::updateMarkers()
{
    bool any = false;
    for (int i = 0; i < ui->tabWidget->count(); ++i) {
        auto *page = qobject_cast<HEditorPage *>(ui->tabWidget->widget(i));
        const bool modified = page && page->isModified();
        any = any || modified;
        ui->tabWidget->setTabText(i,
                                  m_labels.value(i) + (modified ? QStringLiteral("*") : QString()));
    }
    QString title = TranslateString(QStringLiteral("Product Maintainer"));
    const QString file = HDbFind::isOpen() ? HDbFind::getDb()->fileName() : QString();
    if (!file.isEmpty())
        title += QStringLiteral(" \u2014 ") + QFileInfo(file).fileName();
    if (any)
        title += QLatin1Char('*');
    setWindowTitle(title);
}

void MainWindow::updateTabStatus()
{
    auto *page = qobject_cast<HEditorPage *>(ui->tabWidget->currentWidget());
    m_tabStatus->setText(page ? page->statusText() : QString());
}

void MainWindow::updateDatabaseStatus()
{
    HDatabase *db = HDbFind::isOpen() ? HDbFind::getDb() : nullptr;
    if (!db) {
        m_databaseStatus->setText(TranslateString(QStringLiteral("No database open")));
        m_databaseStatus->setToolTip(QString());
        return;
    }
    const QString where = QDir::toNativeSeparators(db->fileName());
    m_databaseStatus->setText(QStringLiteral("%1 (%2)").arg(where, db->backEndName()));
    m_databaseStatus->setToolTip(
        TranslateString(QStringLiteral("The product database the tabs show")));
}

void MainWindow::showSaveOutcome(QWidget *tab, bool ok, const QString &error, int rowsChanged)
{
    if (ok)
        m_saveStatus->setText(TranslateString(QStringLiteral("\"%1\" saved, %2 changed"))
                                  .arg(label(tab), counted(rowsChanged, "1 row", "%1 rows")));
    else
        m_saveStatus->setText(
            TranslateString(QStringLiteral("\"%1\" was not saved: %2")).arg(label(tab), error));
    updateMarkers();
}

bool MainWindow::saveAll()
{
    QString failure;
    {
        // Every tab is asked: saves write only what changed, so a tab without changes
        // writes nothing, and an edit a tab failed to mark is not lost.
        QList<QWidget *> modified;
        for (HEditorPage *page : pages()) {
            if (page->isModified())
                modified.append(page);
        }
        HSaveRound round;
        emit save();
        m_saveStatus->setText(statusSummary(round, modified));
        if (round.failed())
            failure = saveSummary(round);
    }
    updateMarkers();
    // A failed save keeps the window, and with it every edit, for another try.
    if (!failure.isEmpty()) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), failure);
        return false;
    }
    return true;
}

void MainWindow::on_buttonBox_accepted()
{
    if (!saveAll())
        return;
    m_closingSaved = true;
    close();
    m_closingSaved = false;
}

void MainWindow::on_buttonBox_rejected()
{
    close();
}

QString MainWindow::statusSummary(const HSaveRound &round, const QList<QWidget *> &modified) const
{
    QStringList failed;
    int savedTabs = 0;
    int rows = 0;
    for (const HSaveRound::Entry &entry : round.entries()) {
        if (!entry.outcome.ok) {
            failed.append(QStringLiteral("\"%1\"").arg(label(entry.tab)));
        } else if (entry.outcome.rowsChanged > 0 || modified.contains(entry.tab)) {
            ++savedTabs;
            rows += entry.outcome.rowsChanged;
        }
    }
    const QString saved =
        TranslateString(QStringLiteral("%1, %2 changed"))
            .arg(counted(savedTabs, "1 tab", "%1 tabs"), counted(rows, "1 row", "%1 rows"));
    if (failed.isEmpty())
        return savedTabs == 0 ? TranslateString(QStringLiteral("Nothing to save"))
                              : TranslateString(QStringLiteral("Saved %1")).arg(saved);
    QString text =
        TranslateString(QStringLiteral("Not saved: %1")).arg(failed.join(QStringLiteral(", ")));
    if (savedTabs > 0)
        text += TranslateString(QStringLiteral("; saved %1")).arg(saved);
    return text;
}

QString MainWindow::saveSummary(const HSaveRound &round) const
{
    QStringList failed;
    QStringList saved;
    for (const HSaveRound::Entry &entry : round.entries()) {
        const QString tab = label(entry.tab);
        if (tab.isEmpty())
            continue;
        if (!entry.outcome.ok)
            failed.append(TranslateString(QStringLiteral("\"%1\" was not saved: %2"))
                              .arg(tab, entry.outcome.error));
        else if (entry.outcome.rowsChanged == 0)
            saved.append(TranslateString(QStringLiteral("\"%1\" (nothing to save)")).arg(tab));
        else
            saved.append(QStringLiteral("\"%1\"").arg(tab));
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

bool MainWindow::confirmUnsavedWork(const QString &what, bool *discarded)
{
    *discarded = false;
    QStringList names;
    QList<HEditorPage *> modified;
    for (HEditorPage *page : pages()) {
        if (page->isModified()) {
            modified.append(page);
            names.append(QStringLiteral("\"%1\"").arg(label(page)));
        }
    }
    if (modified.isEmpty())
        return true;
    const QString text =
        TranslateString(QStringLiteral("These tabs have changes that are not saved: %1."))
            .arg(names.join(QStringLiteral(", "))) +
        QLatin1Char('\n') + what + QLatin1Char('\n') +
        TranslateString(QStringLiteral("Save them first?"));
    const QMessageBox::StandardButton answer = HMessageBox::show(
        this, QMessageBox::Question, TranslateString(QStringLiteral("Unsaved changes")), text,
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save)
        return saveAll();
    if (answer == QMessageBox::Discard) {
        for (HEditorPage *page : modified)
            page->discardChanges();
        *discarded = true;
        return true;
    }
    return false;
}

bool MainWindow::writeSideFiles(bool writeScheme)
{
    // The side files are written here, before anything is destroyed, so that the user
    // hears of a file that cannot be written while something can still be done about it.
    // The editors' destructors write them again, which changes nothing when they are
    // written already. The snapshots record what the matching tabs hold, saved or not.
    QStringList snapshotErrors;
    QString error;
    auto snapshotFailed = [&](QWidget *tab) {
        snapshotErrors.append(TranslateString(QStringLiteral("The snapshot of \"%1\" was not "
                                                             "written: %2"))
                                  .arg(label(tab), error));
    };
    if (m_oduAndIduMatching && !m_oduAndIduMatching->writeSnapshot(&error))
        snapshotFailed(m_oduAndIduMatching);
    if (m_seriesAndAccessoryMatching && !m_seriesAndAccessoryMatching->writeSnapshot(&error))
        snapshotFailed(m_seriesAndAccessoryMatching);
    QString schemeError;
    if (writeScheme && m_productSaleStatus &&
        !m_productSaleStatus->writeSchemeOnClose(&schemeError) && schemeError.isEmpty())
        schemeError = TranslateString(QStringLiteral("the scheme file could not be written"));

    const QString others = snapshotErrors.join(QLatin1Char('\n'));
    if (!schemeError.isEmpty()) {
        // The scheme holds the user's sale status edits: going on now loses them.
        QString text = TranslateString(QStringLiteral("The sale status scheme was not saved: %1\n"
                                                      "Closing now loses the changes made to it."))
                           .arg(schemeError);
        if (!others.isEmpty())
            text += QLatin1Char('\n') + others;
        text += QLatin1Char('\n') + TranslateString(QStringLiteral("Close anyway?"));
        return HMessageBox::question(this, TranslateString(QStringLiteral("Question")), text);
    }
    if (!others.isEmpty())
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), others);
    return true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    bool discarded = false;
    if (!m_closingSaved &&
        !confirmUnsavedWork(TranslateString(QStringLiteral("Closing the window drops them.")),
                            &discarded)) {
        event->ignore();
        return;
    }
    // Dropped work is not written on the way out either: the scheme is written on close
    // only when its edits were not discarded.
    if (!writeSideFiles(!discarded)) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool MainWindow::openDatabase(const QString &path)
{
    const QString absolute = HDbFind::absoluteLocation(path);
    if (HDbFind::isOpen() && absolute == HDbFind::getDb()->fileName())
        return true;
    // Refused before anything is asked or dropped: the current database stays open.
    QString error;
    if (!HDbFind::check(absolute, kDatabasePassword, &error)) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), error);
        return false;
    }
    bool discarded = false;
    if (!confirmUnsavedWork(TranslateString(QStringLiteral("Opening another database drops them.")),
                            &discarded))
        return false;
    if (!writeSideFiles(!discarded))
        return false;

    const QString previous = HDbFind::isOpen() ? HDbFind::getDb()->fileName() : QString();
    destroyTabs();
    HDbFind::setDbFileAndPwd(absolute, kDatabasePassword);
    const bool opened = HDbFind::open(&error);
    if (!opened && !previous.isEmpty()) {
        // The file changed since it was checked: back to the one that was open.
        HDbFind::setDbFileAndPwd(previous, kDatabasePassword);
        HDbFind::open();
    }
    createTabs();
    m_saveStatus->clear();
    if (!opened) {
        HMessageBox::warning(this, TranslateString(QStringLiteral("Warning")), error);
        return false;
    }
    rememberDatabase(absolute);
    fillRecentMenu();
    return true;
}

void MainWindow::chooseAndOpenDatabase()
{
    const QString path = HFileDialogs::openFileName(
        this, kDatabasePurpose, TranslateString(QStringLiteral("Open database")), databaseFilter());
    if (!path.isEmpty())
        openDatabase(path);
}

bool MainWindow::chooseDatabaseAfterError(const QString &error)
{
    QString text = error;
    for (;;) {
        const QMessageBox::StandardButton answer = HMessageBox::show(
            nullptr, QMessageBox::Critical, TranslateString(QStringLiteral("Warning")), text,
            QMessageBox::Open | QMessageBox::Close, QMessageBox::Open,
            {{QMessageBox::Open, TranslateString(QStringLiteral("Open another database..."))},
             {QMessageBox::Close, TranslateString(QStringLiteral("Quit"))}});
        if (answer != QMessageBox::Open)
            return false;
        const QString path = HFileDialogs::openFileName(
            nullptr, kDatabasePurpose, TranslateString(QStringLiteral("Open database")),
            databaseFilter());
        if (path.isEmpty())
            continue;
        const QString absolute = HDbFind::absoluteLocation(path);
        HDbFind::setDbFileAndPwd(absolute, kDatabasePassword);
        if (HDbFind::open(&text)) {
            rememberDatabase(absolute);
            return true;
        }
    }
}

QStringList MainWindow::recentDatabases()
{
    return QSettings().value(kRecentKey).toStringList();
}

void MainWindow::rememberDatabase(const QString &path)
{
    if (path.isEmpty())
        return;
    QStringList recent = recentDatabases();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > kRecentCount)
        recent.removeLast();
    QSettings().setValue(kRecentKey, recent);
}

void MainWindow::fillRecentMenu()
{
    // Later, not now: this may run from one of these actions' own triggered().
    const QList<QAction *> old = m_recentMenu->actions();
    for (QAction *action : old) {
        m_recentMenu->removeAction(action);
        action->deleteLater();
    }
    const QStringList recent = recentDatabases();
    for (int i = 0; i < recent.size(); ++i) {
        const QString path = recent.at(i);
        const QString name = QDir::toNativeSeparators(path);
        QAction *action =
            menuAction(m_recentMenu, "", QStringLiteral("&%1 %2").arg(i + 1).arg(name),
                       TranslateString(QStringLiteral("Opens %1")).arg(name));
        action->setObjectName(QStringLiteral("action_recentDatabase_%1").arg(i));
        connect(action, &QAction::triggered, this, [this, path] { openDatabase(path); });
    }
    m_recentMenu->setEnabled(!recent.isEmpty());
}
