// The ODU-IDU tab's saves: what changed since the load, the conflict check against what
// other users stored meanwhile, the history rows, and Reload.
#include "hoduandidumatchingwidget.h"
#include "ui_hoduandidumatchingwidget.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hfindbar.h"
#include "hlabellist.h"
#include "hmatchingedit.h"
#include "hoduandidudocument.h"
#include "hmatchingload.h"
#include "hmatchingsave.h"
#include "hmessagebox.h"
#include "hsqlstatement.h"
#include "translatestring.h"

#include <QItemSelectionModel>
#include <QLocale>
#include <QUndoStack>
#include <QJsonDocument>
#include <QLabel>
#include <QSqlQuery>
#include <QStringListModel>
#include <QVariant>
#include <QVector>

#include <algorithm>

using namespace HOduAndIduDocument;

QVector<HMatchingSave::Change> HOduAndIduMatchingWidget::pendingChanges() const
{
    QVector<HMatchingSave::Change> changes;
    if (m_dirtyOdus.isEmpty())
        return changes;
    // The pairs of the edited outdoor series as the lists hold them now, in list order; the
    // pairs of other series are as stored.
    QVector<int> rows;
    for (int oduId : qAsConst(m_dirtyOdus))
        rows += m_rowsOfOdu.value(oduId);
    std::sort(rows.begin(), rows.end());
    QVector<Pair> order;
    QHash<Pair, int> current;
    for (int row : qAsConst(rows)) {
        const QJsonObject entry = ar_odu.at(row).toObject();
        const int oduId = entry.value(kOdu).toObject().value(kIdSeries).toInt();
        const QJsonArray matches = entry.value(kMatched).toArray();
        for (const QJsonValue &match : matches) {
            const Pair pair(oduId, match.toObject().value(kIdSeries).toInt());
            if (current[pair]++ == 0)
                order.append(pair);
        }
    }
    auto storedRows = [this](const Pair &pair) {
        return m_stored.value(pair.first).value(pair.second);
    };
    auto change = [&](const Pair &pair) {
        const QVariantList key{pair.first, pair.second};
        changes.append({key, storedRows(pair), key, current.value(pair)});
    };
    for (const Pair &pair : qAsConst(order)) {
        if (current.value(pair) != storedRows(pair))
            change(pair);
    }
    QVector<Pair> removed;
    for (int oduId : qAsConst(m_dirtyOdus)) {
        const QHash<int, int> stored = m_stored.value(oduId);
        for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
            if (!current.contains(Pair(oduId, it.key())))
                removed.append(Pair(oduId, it.key()));
        }
    }
    std::sort(removed.begin(), removed.end());
    for (const Pair &pair : qAsConst(removed))
        change(pair);
    return changes;
}

QString HOduAndIduMatchingWidget::oduName(int oduId) const
{
    const QVector<int> rows = m_rowsOfOdu.value(oduId);
    const QJsonObject record =
        rows.isEmpty() ? QJsonObject() : ar_odu.at(rows.first()).toObject().value(kOdu).toObject();
    return record.contains(QStringLiteral("product_series")) ? oduLabel(record)
                                                             : QStringLiteral("#%1").arg(oduId);
}

QString HOduAndIduMatchingWidget::iduName(int iduId) const
{
    return m_iduNames.value(iduId, QStringLiteral("#%1").arg(iduId));
}

HAuditEntry HOduAndIduMatchingWidget::historyEntry(const HMatchingSave::Change &change,
                                                   int oldRows) const
{
    const QString odu = oduName(change.key.at(0).toInt());
    return {kMatchingTable,
            odu,
            odu + QStringLiteral(" / ") + iduName(change.key.at(1).toInt()),
            QStringLiteral("(row)"),
            HMatchingSave::countValue(oldRows),
            HMatchingSave::countValue(change.rows)};
}

QVector<HAuditEntry> HOduAndIduMatchingWidget::pendingEdits() const
{
    QVector<HAuditEntry> entries;
    const QVector<HMatchingSave::Change> changes = pendingChanges();
    for (const HMatchingSave::Change &change : changes)
        entries.append(historyEntry(change, change.storedRows));
    return entries;
}

HSaveOutcome HOduAndIduMatchingWidget::saveChanges(bool overwrite)
{
    HSaveOutcome outcome;
    if (m_readOnly)
        return outcome;
    m_conflicts.clear();
    QVector<HMatchingSave::Change> changes = pendingChanges();
    if (changes.isEmpty()) {
        m_dirtyOdus.clear();
        setModified(false);
        m_undo->setClean();
        return outcome;
    }
    // An indoor series that has gone from __product_series since loading gets no new rows; the
    // rows it already has stay until the user removes them. One read tells that and what a
    // pair loaded without rows holds now.
    const HMatchingSave::Statements sql{
        QStringLiteral("delete from %1 where [id_series_odu] = ? and [id_series_idu] = ?")
            .arg(kMatchingTable),
        QStringLiteral("insert into %1 (id_series_odu,id_series_idu) values(?,?)")
            .arg(kMatchingTable),
        QStringLiteral("select (select count(*) from %1 where [id_series_odu] = ? and "
                       "[id_series_idu] = ?), (select count(*) from __product_series where "
                       "[id_series] = ?)")
            .arg(kMatchingTable),
        true};
    for (HMatchingSave::Change &change : changes)
        change.probe = change.key + QVariantList{change.key.at(1)};

    HDatabase *db = HDbFind::getDb();
    bool conflicted = false;
    outcome.ok = HMatchingSave::inTransaction(
        db,
        [&](QString *error) {
            return HMatchingSave::applyChanges(db, sql, &changes, overwrite, true,
                                               &outcome.rowsChanged, &conflicted, error);
        },
        &outcome.error);
    if (!outcome.ok) {
        outcome.rowsChanged = 0;
        if (conflicted) {
            for (const HMatchingSave::Change &change : qAsConst(changes)) {
                if (!change.conflicts())
                    continue;
                const Pair pair(change.key.at(0).toInt(), change.key.at(1).toInt());
                m_conflicts.insert(pair);
                outcome.conflicts.append({oduName(pair.first), iduName(pair.second),
                                          HMatchingSave::conflictText(change)});
            }
        }
        return outcome;
    }
    // Pairs held back for a vanished series are tried again by the next save; the save is
    // done as far as it can be.
    QSet<int> held;
    for (const HMatchingSave::Change &change : qAsConst(changes)) {
        const int oduId = change.key.at(0).toInt();
        if (change.held) {
            held.insert(oduId);
            continue;
        }
        if (change.found != change.rows)
            outcome.history.append(historyEntry(change, change.found));
        QHash<int, int> &stored = m_stored[oduId];
        if (change.rows > 0)
            stored.insert(change.key.at(1).toInt(), change.rows);
        else
            stored.remove(change.key.at(1).toInt());
    }
    m_dirtyOdus = held;
    setModified(false);
    m_undo->setClean();
    return outcome;
}

void HOduAndIduMatchingWidget::reloadKeepingEdits(const QVector<HConflict> &conflicts)
{
    Q_UNUSED(conflicts) // the pairs are those of the save that found them
    // This user's changes of the pairs nobody else changed, with the records they show.
    QHash<int, QHash<int, int>> wanted;
    QHash<int, QJsonObject> records;
    const QVector<HMatchingSave::Change> changes = pendingChanges();
    for (const HMatchingSave::Change &change : changes) {
        const Pair pair(change.key.at(0).toInt(), change.key.at(1).toInt());
        if (!m_conflicts.contains(pair))
            wanted[pair.first].insert(pair.second, change.rows);
    }
    for (int oduId : qAsConst(m_dirtyOdus)) {
        for (int row : m_rowsOfOdu.value(oduId)) {
            const QJsonArray matches = ar_odu.at(row).toObject().value(kMatched).toArray();
            for (const QJsonValue &match : matches)
                records.insert(match.toObject().value(kIdSeries).toInt(), match.toObject());
        }
    }
    m_conflicts.clear();

    const int current = currentOduRow();
    load();
    for (auto odu = wanted.cbegin(); odu != wanted.cend(); ++odu) {
        const QVector<int> rows = m_rowsOfOdu.value(odu.key());
        if (rows.isEmpty())
            continue; // the series is gone from the list
        QVector<QJsonArray> lists;
        for (int row : rows)
            lists.append(ar_odu.at(row).toObject().value(kMatched).toArray());
        for (auto idu = odu.value().cbegin(); idu != odu.value().cend(); ++idu) {
            int surplus = m_stored.value(odu.key()).value(idu.key()) - idu.value();
            // Extra rows go from the end, missing ones are added to the series' first row.
            for (int l = lists.size() - 1; l >= 0 && surplus > 0; --l) {
                for (int i = lists[l].size() - 1; i >= 0 && surplus > 0; --i) {
                    if (lists[l].at(i).toObject().value(kIdSeries).toInt() == idu.key()) {
                        lists[l].removeAt(i);
                        --surplus;
                    }
                }
            }
            for (; surplus < 0; ++surplus)
                lists[0].append(records.value(idu.key(), QJsonObject{{kIdSeries, idu.key()}}));
        }
        for (int l = 0; l < rows.size(); ++l) {
            QJsonObject entry = ar_odu.at(rows.at(l)).toObject();
            entry.insert(kMatched, lists.at(l));
            ar_odu.replace(rows.at(l), entry);
        }
        m_dirtyOdus.insert(odu.key());
    }
    if (current >= 0 && current < ar_odu.size())
        ui->listView_all_odu->setCurrentIndex(ui->listView_all_odu->model()->index(current, 0));
    showMatches();
    updateModified();
    emit statusTextChanged();
}

void HOduAndIduMatchingWidget::save()
{
    runSave([this](bool overwrite) { return saveChanges(overwrite); });
}
