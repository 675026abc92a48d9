#include "hsalestatusdbedits.h"

#include "hsalestatusschemes.h"
#include "hsalestatustables.h"
#include "translatestring.h"

#include <QHash>
#include <QJsonObject>
#include <QTableWidget>

namespace {

using Part = HSaleStatusDbWriter::Part;

QVector<QVariant> rowValues(const QTableWidget *table, int row, Part part)
{
    QVector<QVariant> values;
    for (const HSaleStatusDbWriter::Field &field : HSaleStatusDbWriter::fields(part)) {
        values.append(field.flag
                          ? QVariant(HSaleStatusTables::cellChecked(table, row, field.tableColumn))
                          : QVariant(HSaleStatusTables::cellText(table, row, field.tableColumn)));
    }
    return values;
}

} // namespace

// Every row of a key writes that key's database row: the last one wins, as it did when each
// row was written in turn. Before the model table is filled, its rows are the scheme's records
// (a fill shows them as they are), so every model is written without a click on a series.
QVector<HSaleStatusDbWriter::Wanted>
HSaleStatusDbEdits::wanted(const QJsonArray &modelRecords) const
{
    struct Row
    {
        QVector<QVariant> values;
        int idSeries;
    };
    QHash<QString, Row> byKey[2];
    QVector<QString> order[2];
    const auto add = [&](Part part, const QString &key, QVector<QVariant> values, int idSeries) {
        auto it = byKey[part].find(key);
        if (it == byKey[part].end()) {
            byKey[part].insert(key, {std::move(values), idSeries});
            order[part].append(key);
        } else {
            *it = {std::move(values), idSeries};
        }
    };
    for (int row : m_tables.seriesRowsToSave()) {
        const QString key = HSaleStatusTables::cellText(m_tables.seriesTable(), row, 0);
        add(HSaleStatusDbWriter::Series, key,
            rowValues(m_tables.seriesTable(), row, HSaleStatusDbWriter::Series), key.toInt());
    }
    if (m_tables.modelsFilled()) {
        for (int row : m_tables.modelRowsToSave()) {
            add(HSaleStatusDbWriter::Models,
                HSaleStatusTables::cellText(m_tables.modelTable(), row, 0),
                rowValues(m_tables.modelTable(), row, HSaleStatusDbWriter::Models),
                modelRecords.at(row).toObject().value(SchemeKeys::idSeries).toInt());
        }
    } else {
        for (const QJsonValue &value : modelRecords) {
            const QJsonObject record = value.toObject();
            add(HSaleStatusDbWriter::Models, record.value(SchemeKeys::productCode).toString(),
                {record.value(SchemeKeys::isNotForSale).toBool(),
                 record.value(SchemeKeys::isUserSkip).toBool()},
                record.value(SchemeKeys::idSeries).toInt());
        }
    }

    // Only the keys that differ are named, with their series as the series table shows it.
    QHash<int, int> seriesRow;
    const auto seriesText = [&](int id) {
        if (seriesRow.isEmpty()) {
            for (int row = m_tables.seriesTable()->rowCount() - 1; row >= 0; --row)
                seriesRow.insert(
                    HSaleStatusTables::cellText(m_tables.seriesTable(), row, 0).toInt(), row);
        }
        const QString category =
            HSaleStatusTables::cellText(m_tables.seriesTable(), seriesRow.value(id, -1), 1);
        return category.isEmpty() ? QString::number(id)
                                  : QStringLiteral("%1 (%2)").arg(id).arg(category);
    };
    QVector<HSaleStatusDbWriter::Wanted> wanted;
    for (Part part : {HSaleStatusDbWriter::Series, HSaleStatusDbWriter::Models}) {
        for (const QString &key : qAsConst(order[part])) {
            const Row &row = byKey[part].value(key);
            HSaleStatusDbWriter::Wanted one{part, key, QString(), row.values};
            if (m_writer.changes({one}).isEmpty())
                continue;
            one.series = seriesText(row.idSeries);
            wanted.append(one);
        }
    }
    return wanted;
}

HSaveOutcome HSaleStatusDbEdits::save(HDatabase *db, const QJsonArray &modelRecords, bool overwrite)
{
    // A load whose read failed left nothing to compare with: what is stored is read now, so
    // that the edits are not taken for none.
    HSaleStatusStored &stored = m_writer.stored();
    QString error;
    if (stored.series.isEmpty() && stored.models.isEmpty() &&
        !HSaleStatusDbWriter::readAll(db, &stored, &error)) {
        HSaveOutcome failed;
        failed.ok = false;
        failed.error = error;
        return failed;
    }
    HSaveOutcome outcome = m_writer.save(db, wanted(modelRecords), overwrite);
    if (outcome.ok)
        m_tables.savedToDb();
    else if (outcome.conflicts.isEmpty())
        outcome.error =
            TranslateString(QStringLiteral("Nothing was saved to the database: ")) + outcome.error;
    return outcome;
}

bool HSaleStatusDbEdits::reload(HDatabase *db, QString *error)
{
    HSaleStatusStored now;
    if (!HSaleStatusDbWriter::readAll(db, &now, error))
        return false;
    const HSaleStatusStored &seen = m_writer.stored();
    for (Part part : {HSaleStatusDbWriter::Series, HSaleStatusDbWriter::Models}) {
        QTableWidget *table =
            part == HSaleStatusDbWriter::Series ? m_tables.seriesTable() : m_tables.modelTable();
        const auto &before = part == HSaleStatusDbWriter::Series ? seen.series : seen.models;
        const auto &after = part == HSaleStatusDbWriter::Series ? now.series : now.models;
        const QVector<HSaleStatusDbWriter::Field> &fields = HSaleStatusDbWriter::fields(part);
        for (int row = 0; row < table->rowCount(); ++row) {
            const QString key = HSaleStatusTables::cellText(table, row, 0);
            const auto was = before.constFind(key);
            const auto is = after.constFind(key);
            if (was == before.constEnd() || is == after.constEnd())
                continue;
            for (int f = 0; f < fields.size(); ++f) {
                if (was->value(f) == is->value(f))
                    continue;
                QTableWidgetItem *item = table->item(row, fields.at(f).tableColumn);
                if (!item)
                    continue;
                if (fields.at(f).flag)
                    item->setCheckState(is->value(f).toBool() ? Qt::Checked : Qt::Unchecked);
                else
                    item->setText(is->value(f).toString());
            }
        }
    }
    m_writer.stored() = now;
    return true;
}
