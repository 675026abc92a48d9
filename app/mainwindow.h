#pragma once

#include <QMainWindow>
#include <QStringList>

namespace Ui {
class MainWindow;
}

class HEditorPage;
class HOduAndIduMatchingWidget;
class HSeriesAndAccessoryMatchingWidget;
class HRuleWidget;
class HEditAllRuleTableWidget;
class HEditProductSaleStatus;
class HSaveRound;
class QLabel;
class QMenu;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // The product database file, resolved by HDbFind, and its password.
    static const QString kDatabaseFile;
    static const QString kDatabasePassword;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The start-up could not open the database: shows why and offers to open another one,
    // until one opens (true) or the user quits (false).
    static bool chooseDatabaseAfterError(const QString &error);
    // The databases opened last, newest first.
    static QStringList recentDatabases();
    // Puts a database first in the recent list (the start-up names the one it opened).
    static void rememberDatabase(const QString &path);

signals:
    // Every tab's save(), in tab order; saveAll() emits it inside one save round.
    void save();

public slots:
    // Opens another product database and rebuilds the tabs on it. A file that is not a
    // product database is refused with the message the start-up gives, before anything is
    // asked or dropped; unsaved work is asked about first. True when the switch was made.
    bool openDatabase(const QString &path);
    void chooseAndOpenDatabase();
    // Saves every tab (a tab without changes writes nothing); the window stays. A failure
    // says which tab failed and which saved. True when every tab saved.
    bool saveAll();
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();
    // Lists every tab's unsaved edits (Tools > Changes, or the button beside OK).
    void showChanges();

protected:
    // Asks once about unsaved work in any tab, then writes the side files (snapshots, the
    // sale status scheme) and reports the ones that fail.
    void closeEvent(QCloseEvent *event) override;

private:
    void createTabs();
    void destroyTabs();
    QList<HEditorPage *> pages() const;
    // Before unsaved work would go: "Save / Discard / Cancel" once for the window. True when
    // the caller may go on; `discarded` says the work was dropped.
    bool confirmUnsavedWork(const QString &what, bool *discarded);
    // False when a side file could not be written and the user chose to stay.
    bool writeSideFiles(bool writeScheme);
    void updateMarkers();
    void updateTabStatus();
    void updateDatabaseStatus();
    void showSaveOutcome(QWidget *tab, bool ok, const QString &error, int rowsChanged);
    void fillRecentMenu();
    QString label(QWidget *tab) const;
    QString saveSummary(const HSaveRound &round) const;
    QString statusSummary(const HSaveRound &round, const QList<QWidget *> &modified) const;

    HOduAndIduMatchingWidget *m_oduAndIduMatching = nullptr;
    HSeriesAndAccessoryMatchingWidget *m_seriesAndAccessoryMatching = nullptr;
    HRuleWidget *m_rule = nullptr;
    HEditAllRuleTableWidget *m_editAllRuleTable = nullptr;
    HEditProductSaleStatus *m_productSaleStatus = nullptr;
    QStringList m_labels;
    QLabel *m_tabStatus = nullptr;
    QLabel *m_saveStatus = nullptr;
    QLabel *m_databaseStatus = nullptr;
    QLabel *m_historyStatus = nullptr; // "History off: ..." while the history is refused
    QMenu *m_recentMenu = nullptr;
    bool m_closingSaved = false; // OK saved everything: closing asks nothing more
    Ui::MainWindow *ui;
};
