#pragma once

#include "heditorpage.h"

#include "hlabellist.h"
#include "hmatchingedit.h"
#include "hsaveround.h"
#include "hseriesaccessorydocument.h"
#include "hserieslookup.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QHash>
#include <QModelIndex>
#include <QSet>
#include <QVector>
#include <QWidget>

#include <future>

namespace Ui {
class HSeriesAndAccessoryMatchingWidget;
}

class HMatchingLoad;
class QAbstractItemView;
class QLabel;
class QUndoStack;

// Which accessories go with each outdoor series (__rule_odu_acc_matching) and each indoor
// series (__rule_unit_acc_controller_matching). The combo box chooses the kind of series;
// the middle list shows the current series (however it became current); additions and
// removals apply to every selected series the find box shows, with the selected accessories
// it shows. Every edit is a step of the tab's undo stack. Edits stay in memory until save(),
// which writes only the pairs that changed since the tab loaded or last saved. A tab that
// could not read everything says so and is read-only.
class HSeriesAndAccessoryMatchingWidget : public HEditorPage
{
    Q_OBJECT
    using PairCountsOf = HSeriesAccessoryDocument::PairCounts;

public:
    explicit HSeriesAndAccessoryMatchingWidget(QWidget *parent = nullptr);
    ~HSeriesAndAccessoryMatchingWidget() override;

    // Writes log/series_and_acc.json with the document as it is now, saved or not; the
    // destructor writes it too. False with the file and the cause in *error.
    bool writeSnapshot(QString *error = nullptr) const;
    void beginClosing() override;

    // Writes both tables, indoor first, in one transaction; when it fails nothing is written
    // and the edits stay for the next save. Without `overwrite` a pair whose stored rows are
    // no longer those loaded (another user changed it) is a conflict: nothing is written and
    // the outcome lists every such pair. With it, each changed pair gets the user's rows.
    HSaveOutcome saveChanges(bool overwrite = false) { return saveTables(true, true, overwrite); }
    bool isReadOnly() const { return m_readOnly; }

    void discardChanges() override;
    QString statusText() const override;
    QVector<HAuditEntry> pendingEdits() const override;
    QUndoStack *undoStack() const { return m_undo; }

signals:
    void clickAll_SeriesList(const QModelIndex &index);

public slots:
    void saveIDUAndAccController();
    void saveODUAndBranch();
    void save() override;

private slots:
    void on_comboBox_currentIndexChanged(int index);
    void on_listView_all_series_clicked(const QModelIndex &index);
    void on_pushButton_add_clicked();
    void on_pushButton_remove_clicked();
    void on_listView_all_accessory_doubleClicked(const QModelIndex &index);
    void add_acc_to_series(QJsonArray &ar, const QModelIndex &index, int currentindex);
    void remove_acc_from_series(QJsonArray &ar, const QModelIndex &index,
                                const QModelIndex &idxAtSeriesList);
    void remove_acc_from_listView(const QModelIndex &index);
    void on_listView_match_doubleClicked(const QModelIndex &index);
    void on_listView_all_accessory_clicked(const QModelIndex &index);

protected:
    void reloadKeepingEdits(const QVector<HConflict> &conflicts) override;

private:
    void load();
    void initSeriesList(HMatchingLoad &load);
    bool getSeriesInfo(int id_series, QJsonObject &info);
    void initIDUAccessoryList();
    void initODUAccessoryList();
    void initMatching(HMatchingLoad &load);
    QJsonObject findAccessory(const QString &product_code);

    // The keys of the kind the combo box shows.
    QString seriesKey() const;
    QString accessoryKey() const;
    void refresh();
    void initAccessoryList(const QJsonArray &records, bool forOdu);
    // Writes the chosen tables: the pairs changed since the last commit, in one transaction.
    HSaveOutcome saveTables(bool indoor, bool outdoor, bool overwrite);
    // The series at `row` of the current kind's list changed since it was loaded or last
    // saved.
    void noteEdit(int row);
    // The series entries of the current kind as edited: one undo step for every series row
    // that changed.
    void edit(const QString &text, const QJsonArray &entries);
    void apply(const HMatchingEdit::Lists &lists);
    // Adds the accessory rows to, or removes the models from, the chosen series.
    void addAccessories(const QList<int> &accessoryRows);
    void removeModels(const QStringList &models);
    // What a save of the table must write now, with the pairs of the edited series.
    QVector<HMatchingSave::Change> pendingChanges(bool outdoor,
                                                  QHash<int, PairCountsOf> *current) const;
    void updateModified();
    // The names the user knows a series (of a kind) and an accessory by, and the history row
    // of a pair's change.
    QString seriesName(bool outdoor, int id) const;
    HAuditEntry historyEntry(bool outdoor, const HMatchingSave::Change &change, int oldRows) const;

    static QString seriesLabel(const QJsonObject &record);

    Ui::HSeriesAndAccessoryMatchingWidget *ui = nullptr;
    QJsonObject jsonObjMatching;
    QJsonObject jsonObjAccessory;
    // Lookups used while loading only; emptied at the end of the constructor.
    HSeriesLookup m_series;
    HSeriesAccessoryDocument::AccessoryIndex m_accessories;
    HSeriesAccessoryDocument::AccessoryRecords m_accessoryRecords;
    // What one table holds for the series of one kind: the pairs of each series the document
    // shows, as loaded or last saved (rows the document cannot show are never touched), the
    // rows of the document's array of each series, and the series edited since; a save walks
    // only those.
    struct Kind
    {
        QHash<int, HSeriesAccessoryDocument::PairCounts> stored;
        QHash<int, QVector<int>> rowsOfSeries;
        QSet<int> dirty;
        // The pairs the last save found changed by another user.
        QSet<PairCountsOf::Pair> conflicts;
    };
    Kind m_indoor;
    Kind m_outdoor;
    // The model of every accessory code on offer.
    QHash<QString, QString> m_accessoryModels;
    QLabel *m_notice = nullptr;
    QUndoStack *m_undo = nullptr;
    bool m_readOnly = false;
    // The snapshot being written since beginClosing().
    std::future<bool> m_closingSnapshot;
};
