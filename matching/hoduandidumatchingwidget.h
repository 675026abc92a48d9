#pragma once

#include "heditorpage.h"

#include "hlabellist.h"
#include "hmatchingedit.h"
#include "hmatchingsave.h"
#include "hsaveround.h"
#include "hserieslookup.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QModelIndex>
#include <QPair>
#include <QSet>
#include <QVector>
#include <QWidget>

#include <future>

namespace Ui {
class HOduAndIduMatchingWidget;
}

class HMatchingLoad;
class QAbstractItemView;
class QLabel;
class QUndoStack;

// Which indoor series may be combined with each outdoor series (__rule_odu_idu_matching).
// Left: outdoor series; middle: the indoor series matched to the current outdoor series
// (however it became current); right: every indoor series. Each list has a find box; actions
// touch only rows that are selected and shown. Every edit is a step of the tab's undo stack
// (Ctrl+Z, Ctrl+Shift+Z). Edits stay in memory until save(), which writes only the pairs that
// changed since the tab loaded or last saved. A tab that could not read everything says so
// and is read-only.
class HOduAndIduMatchingWidget : public HEditorPage
{
    Q_OBJECT

public:
    explicit HOduAndIduMatchingWidget(QWidget *parent = nullptr);
    ~HOduAndIduMatchingWidget() override;

    // Writes log/odu_and_idu.json with the matching as it is now, saved or not; the destructor
    // writes it too. False with the file and the cause in *error.
    bool writeSnapshot(QString *error = nullptr) const;
    void beginClosing() override;

    // Writes the pairs changed since loading or the last save in one transaction; on failure
    // the table keeps its rows and the edits stay for the next save. Without `overwrite` a
    // pair whose stored rows are no longer those loaded (another user changed it) is a
    // conflict: nothing is written and the outcome lists every such pair. With it, each
    // changed pair gets the user's rows whatever it holds now.
    HSaveOutcome saveChanges(bool overwrite = false);
    bool isReadOnly() const { return m_readOnly; }

    void discardChanges() override;
    QString statusText() const override;
    QVector<HAuditEntry> pendingEdits() const override;
    QUndoStack *undoStack() const { return m_undo; }

signals:
    void clickAll_OduList(QModelIndex index);

public slots:
    void on_listView_all_odu_clicked(QModelIndex index);
    void on_pushButton_add_clicked();
    void on_pushButton_remove_clicked();
    void on_listView_match_idu_doubleClicked(QModelIndex index);
    void on_listView_all_idu_doubleClicked(QModelIndex index);
    void save() override;

private slots:
    void on_listView_all_idu_clicked(QModelIndex index);

protected:
    void reloadKeepingEdits(const QVector<HConflict> &conflicts) override;

private:
    void load();
    void initOduList(HMatchingLoad &load);
    void initIduList(HMatchingLoad &load);
    void nameIndoorSeries();
    void showSeriesLists();

    static QString oduLabel(const QJsonObject &record);
    static QString iduLabel(const QJsonObject &record);
    // The outdoor series of a row of ar_odu.
    int oduIdAt(int row) const;
    // The row of ar_odu the middle list shows (the current outdoor row), or -1.
    int currentOduRow() const;
    void showMatches();
    // Adds the indoor series of the rows of ar_idu to, or removes the rows of the matched list
    // from, the current outdoor series: one undo step.
    void addIdus(const QList<int> &iduRows);
    void removeMatches(const QList<int> &matchRows);
    void edit(const QString &text, int oduRow, const QJsonArray &matches);
    void apply(const HMatchingEdit::Lists &lists);
    // Whether the tab holds edits a save would write.
    void updateModified();

    using Pair = QPair<int, int>; // outdoor series, indoor series
    // What a save must write now: the changed pairs of the edited series.
    QVector<HMatchingSave::Change> pendingChanges() const;
    // The names the user knows a series by, and the history row of a pair's change.
    QString oduName(int oduId) const;
    QString iduName(int iduId) const;
    HAuditEntry historyEntry(const HMatchingSave::Change &change, int oldRows) const;

    QJsonArray ar_odu;
    QJsonArray ar_idu;
    Ui::HOduAndIduMatchingWidget *ui = nullptr;
    // Series rows read once while loading; emptied when loading is done.
    HSeriesLookup m_series;
    // For each listed outdoor series, the rows the table holds for each of its indoor series,
    // as loaded or last saved; rows of other series are never touched.
    QHash<int, QHash<int, int>> m_stored;
    // The rows of ar_odu of each outdoor series (a series listed twice has two).
    QHash<int, QVector<int>> m_rowsOfOdu;
    // Outdoor series whose matching changed since it was loaded or last saved: a save walks
    // only their pairs.
    QSet<int> m_dirtyOdus;
    // The label of every indoor series listed or matched when loading.
    QHash<int, QString> m_iduNames;
    // The pairs the last save found changed by another user.
    QSet<Pair> m_conflicts;
    QLabel *m_notice = nullptr;
    QUndoStack *m_undo = nullptr;
    bool m_readOnly = false;
    // The snapshot being written since beginClosing().
    std::future<bool> m_closingSnapshot;
};
