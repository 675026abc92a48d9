// The series-accessory tab's saves: what changed since the load, the conflict check
// against what other users stored meanwhile, the history rows, and Reload.
#include "hseriesandaccessorymatchingwidget.h"
#include "ui_hseriesandaccessorymatchingwidget.h"

#include "hdatabase.h"
#include "hdbfind.h"
#include "hfindbar.h"
#include "hlabellist.h"
#include "hmatchingedit.h"
#include "hmatchingload.h"
#include "hmatchingsave.h"
#include "translatestring.h"

#include <QItemSelectionModel>
#include <QLocale>
#include <QUndoStack>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QStringListModel>

#include <algorithm>

using namespace HSeriesAccessoryDocument;

// --- saving ----------------------------------------------------------------------------

void HSeriesAndAccessoryMatchingWidget::noteEdit(int row)
{
    const bool outdoor = seriesKey() == kOduMatching;
    const QJsonArray entries = jsonObjMatching.value(seriesKey()).toArray();
    (outdoor ? m_outdoor : m_indoor)
        .dirty.insert(
            entries.at(row).toObject().value(kObjSeries).toObject().value(kIdSeries).toInt());
}

QVector<HMatchingSave::Change>
HSeriesAndAccessoryMatchingWidget::pendingChanges(bool outdoor,
                                                  QHash<int, PairCounts> *current) const
{
    const Kind &kind = outdoor ? m_outdoor : m_indoor;
    QVector<HMatchingSave::Change> changes;
    // The edited series only, in list order; each is compared with what is stored for it.
    QVector<int> rows;
    for (int id : qAsConst(kind.dirty))
        rows += kind.rowsOfSeries.value(id);
    std::sort(rows.begin(), rows.end());
    const QJsonArray entries =
        jsonObjMatching.value(outdoor ? kOduMatching : kIduMatching).toArray();
    QVector<int> order;
    for (int row : qAsConst(rows)) {
        const QJsonObject entry = entries.at(row).toObject();
        const int id = entry.value(kObjSeries).toObject().value(kIdSeries).toInt();
        if (!current->contains(id))
            order.append(id);
        PairCounts &pairs = (*current)[id];
        const QJsonArray matched = entry.value(kArMatching).toArray();
        for (const QJsonValue &record : matched)
            pairs.add(id, record.toObject());
    }
    for (int id : qAsConst(order)) {
        const PairCounts stored = kind.stored.value(id);
        changes += outdoor ? outdoorChanges(stored, current->value(id))
                           : indoorChanges(stored, current->value(id));
    }
    return changes;
}

void HSeriesAndAccessoryMatchingWidget::updateModified()
{
    bool modified = false;
    for (bool outdoor : {false, true}) {
        QHash<int, PairCounts> current;
        if (pendingChanges(outdoor, &current).isEmpty())
            (outdoor ? m_outdoor : m_indoor).dirty.clear();
        else
            modified = true;
    }
    setModified(modified);
}

namespace {

const QString kOutdoorTable = QStringLiteral("__rule_odu_acc_matching");
const QString kIndoorTable = QStringLiteral("__rule_unit_acc_controller_matching");

HMatchingSave::Statements statementsOf(bool outdoor)
{
    const QString where = outdoor ? QStringLiteral(" where [id_series_odu] = ? and "
                                                   "[product_code_acc] = ?")
                                  : QStringLiteral(" where [id_series] = ? and [product_code] = ?");
    const QString table = outdoor ? kOutdoorTable : kIndoorTable;
    return {QStringLiteral("delete from ") + table + where,
            outdoor
                ? QStringLiteral("insert into %1 (id_series_odu,product_code_acc,type) "
                                 "values(?,?,?)")
                      .arg(table)
                : QStringLiteral("insert into %1 (id_series,product_code) values(?,?)").arg(table),
            QStringLiteral("select count(*) from ") + table + where, false};
}

} // namespace

QString HSeriesAndAccessoryMatchingWidget::seriesName(bool outdoor, int id) const
{
    const Kind &kind = outdoor ? m_outdoor : m_indoor;
    const QVector<int> rows = kind.rowsOfSeries.value(id);
    const QJsonObject record = rows.isEmpty()
                                   ? QJsonObject()
                                   : jsonObjMatching.value(outdoor ? kOduMatching : kIduMatching)
                                         .toArray()
                                         .at(rows.first())
                                         .toObject()
                                         .value(kObjSeries)
                                         .toObject();
    const QString label = seriesLabel(record);
    return label.isEmpty() ? QStringLiteral("#%1").arg(id) : label;
}

HAuditEntry HSeriesAndAccessoryMatchingWidget::historyEntry(bool outdoor,
                                                            const HMatchingSave::Change &change,
                                                            int oldRows) const
{
    const QString series = seriesName(outdoor, change.key.at(0).toInt());
    const QString code = change.key.at(1).toString();
    return {outdoor ? kOutdoorTable : kIndoorTable,
            series,
            series + QStringLiteral(" / ") + m_accessoryModels.value(code, code),
            QStringLiteral("(row)"),
            HMatchingSave::countValue(oldRows),
            HMatchingSave::countValue(change.rows)};
}

QVector<HAuditEntry> HSeriesAndAccessoryMatchingWidget::pendingEdits() const
{
    QVector<HAuditEntry> entries;
    for (bool outdoor : {false, true}) {
        QHash<int, PairCounts> current;
        const QVector<HMatchingSave::Change> changes = pendingChanges(outdoor, &current);
        for (const HMatchingSave::Change &change : changes)
            entries.append(historyEntry(outdoor, change, change.storedRows));
    }
    return entries;
}

HSaveOutcome HSeriesAndAccessoryMatchingWidget::saveTables(bool indoor, bool outdoor,
                                                           bool overwrite)
{
    HSaveOutcome outcome;
    if (m_readOnly)
        return outcome;
    struct Part
    {
        bool outdoor = false;
        QVector<HMatchingSave::Change> changes;
        QHash<int, PairCounts> current;
    };
    QVector<Part> parts;
    bool anyChange = false;
    // Reload keeps every edit but those this save finds changed by another user.
    m_indoor.conflicts.clear();
    m_outdoor.conflicts.clear();
    for (bool isOutdoor : {false, true}) {
        const Kind &kind = isOutdoor ? m_outdoor : m_indoor;
        if (!(isOutdoor ? outdoor : indoor))
            continue;
        if (kind.dirty.isEmpty())
            continue;
        Part part;
        part.outdoor = isOutdoor;
        part.changes = pendingChanges(isOutdoor, &part.current);
        anyChange = anyChange || !part.changes.isEmpty();
        parts.append(part);
    }
    bool conflicted = false;
    if (anyChange) {
        HDatabase *db = HDbFind::getDb();
        outcome.ok = HMatchingSave::inTransaction(
            db,
            [&](QString *error) {
                for (Part &part : parts) {
                    bool found = false;
                    if (!HMatchingSave::applyChanges(db, statementsOf(part.outdoor), &part.changes,
                                                     overwrite, false, &outcome.rowsChanged, &found,
                                                     error) &&
                        !found)
                        return false;
                    conflicted = conflicted || found;
                }
                return !conflicted;
            },
            &outcome.error);
    }
    if (!outcome.ok) {
        outcome.rowsChanged = 0;
        for (const Part &part : qAsConst(parts)) {
            for (const HMatchingSave::Change &change : part.changes) {
                if (!conflicted || !change.conflicts())
                    continue;
                const int id = change.key.at(0).toInt();
                const QString code = change.key.at(1).toString();
                (part.outdoor ? m_outdoor : m_indoor).conflicts.insert({id, code});
                outcome.conflicts.append({seriesName(part.outdoor, id),
                                          m_accessoryModels.value(code, code),
                                          HMatchingSave::conflictText(change)});
            }
        }
        return outcome;
    }
    for (const Part &part : qAsConst(parts)) {
        Kind &kind = part.outdoor ? m_outdoor : m_indoor;
        for (const HMatchingSave::Change &change : part.changes) {
            if (change.found != change.rows)
                outcome.history.append(historyEntry(part.outdoor, change, change.found));
        }
        for (auto it = part.current.cbegin(); it != part.current.cend(); ++it)
            kind.stored.insert(it.key(), it.value());
        kind.dirty.clear();
    }
    if (m_indoor.dirty.isEmpty() && m_outdoor.dirty.isEmpty()) {
        setModified(false);
        m_undo->setClean();
    }
    return outcome;
}

void HSeriesAndAccessoryMatchingWidget::reloadKeepingEdits(const QVector<HConflict> &conflicts)
{
    Q_UNUSED(conflicts) // the pairs are those of the save that found them
    // This user's changes of the pairs nobody else changed, with the records they show.
    struct Wanted
    {
        bool outdoor;
        int series;
        QString code;
        int rows;
        QJsonObject record;
    };
    QVector<Wanted> wanted;
    for (bool outdoor : {false, true}) {
        const Kind &kind = outdoor ? m_outdoor : m_indoor;
        QHash<int, PairCounts> current;
        pendingChanges(outdoor, &current);
        const QJsonArray entries =
            jsonObjMatching.value(outdoor ? kOduMatching : kIduMatching).toArray();
        for (auto it = current.cbegin(); it != current.cend(); ++it) {
            const PairCounts stored = kind.stored.value(it.key());
            QHash<QString, QJsonObject> records;
            for (int row : kind.rowsOfSeries.value(it.key())) {
                const QJsonArray matched = entries.at(row).toObject().value(kArMatching).toArray();
                for (const QJsonValue &record : matched)
                    records.insert(record.toObject().value(kProductCode).toString(),
                                   record.toObject());
            }
            for (const QVector<PairCounts::Pair> *order : {&it.value().order, &stored.order}) {
                for (const PairCounts::Pair &pair : *order) {
                    const int rows = it.value().counts.value(pair);
                    if (rows == stored.counts.value(pair) || kind.conflicts.contains(pair) ||
                        (order == &stored.order && it.value().counts.contains(pair)))
                        continue;
                    wanted.append(
                        {outdoor, pair.first, pair.second, rows, records.value(pair.second)});
                }
            }
        }
    }

    const int kindShown = ui->comboBox->currentIndex();
    const int current = ui->listView_all_series->currentIndex().row();
    load();
    for (const Wanted &want : qAsConst(wanted)) {
        Kind &kind = want.outdoor ? m_outdoor : m_indoor;
        const QVector<int> rows = kind.rowsOfSeries.value(want.series);
        if (rows.isEmpty())
            continue; // the series is gone from the list
        const QString key = want.outdoor ? kOduMatching : kIduMatching;
        QJsonArray entries = jsonObjMatching.value(key).toArray();
        // Extra rows go from the end, missing ones are added to the series' first row.
        int surplus =
            kind.stored.value(want.series).counts.value(PairCounts::Pair(want.series, want.code)) -
            want.rows;
        for (int r = rows.size() - 1; r >= 0; --r) {
            QJsonObject entry = entries.at(rows.at(r)).toObject();
            QJsonArray matched = entry.value(kArMatching).toArray();
            for (int i = matched.size() - 1; i >= 0 && surplus > 0; --i) {
                if (matched.at(i).toObject().value(kProductCode).toString() == want.code) {
                    matched.removeAt(i);
                    --surplus;
                }
            }
            for (; r == 0 && surplus < 0 && !want.record.isEmpty(); ++surplus)
                matched.append(want.record);
            entry.insert(kArMatching, matched);
            entries.replace(rows.at(r), entry);
        }
        jsonObjMatching.insert(key, entries);
        kind.dirty.insert(want.series);
    }
    on_comboBox_currentIndexChanged(kindShown);
    if (current >= 0 && current < ui->listView_all_series->model()->rowCount())
        ui->listView_all_series->setCurrentIndex(
            ui->listView_all_series->model()->index(current, 0));
    refresh();
    updateModified();
    emit statusTextChanged();
}

void HSeriesAndAccessoryMatchingWidget::saveIDUAndAccController()
{
    runSave([this](bool overwrite) { return saveTables(true, false, overwrite); });
}

void HSeriesAndAccessoryMatchingWidget::saveODUAndBranch()
{
    runSave([this](bool overwrite) { return saveTables(false, true, overwrite); });
}

void HSeriesAndAccessoryMatchingWidget::save()
{
    runSave([this](bool overwrite) { return saveChanges(overwrite); });
}
