#include "htablesave.h"

#include "hauditlog.h"
#include "hdatabase.h"
#include "hdbfind.h"
#include "heditorpage.h"
#include "hmessagebox.h"
#include "hsqlstatement.h"
#include "translatestring.h"

#include <QSqlField>
#include <QSqlIndex>

namespace {

const QString kRuleName = QStringLiteral("rule_name");
const QString kWholeRow = QStringLiteral("(row)");

QString keyText(const QSqlRecord &key)
{
    QStringList parts;
    for (int i = 0; i < key.count(); ++i)
        parts.append(QStringLiteral("[%1] = %2").arg(key.fieldName(i), key.value(i).toString()));
    return parts.join(QStringLiteral(", "));
}

// Both NULL, or the same text: a number read back compares equal to the number loaded.
bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    return a.toString() == b.toString();
}

// What another user stored in a column, for the conflict question.
QString changeText(const QString &column, const QVariant &now, const QVariant &was)
{
    return TranslateString(QStringLiteral("%1 now %2, was %3"))
        .arg(column, HSqlStatement::shownValue(now), HSqlStatement::shownValue(was));
}

QString conditions(const QSqlRecord &record, QVariantList *values)
{
    QStringList parts;
    for (int i = 0; i < record.count(); ++i)
        parts.append(HSqlStatement::holds(record.fieldName(i), record.value(i), values));
    return parts.join(QStringLiteral(" and "));
}

// The row as the database holds it: every column with its loaded value.
QSqlRecord storedRecord(const HRowKeyModel *model, int row)
{
    QSqlRecord record = model->record();
    for (int column = 0; column < record.count(); ++column)
        record.setValue(column, model->storedValue(row, column));
    return record;
}

// The values of a new row the user set: the others take the table's defaults.
QSqlRecord newValues(const HRowKeyModel *model, int row)
{
    const QSqlRecord current = model->record(row);
    QSqlRecord values;
    for (int column = 0; column < current.count(); ++column) {
        if (current.isGenerated(column))
            values.append(current.field(column));
    }
    return values;
}

// A row added or removed whole, as the history keeps it. The first column is the row key
// the database sets, which the user never sees.
QString rowText(const QSqlRecord &record, bool withFirst)
{
    QStringList parts;
    for (int i = withFirst ? 0 : 1; i < record.count(); ++i) {
        if (!record.isNull(i))
            parts.append(
                QStringLiteral("%1=%2").arg(record.fieldName(i), record.value(i).toString()));
    }
    return parts.join(QStringLiteral(", "));
}

// The rule the row is, for the user: the stored name (a renamed row is found by it), or
// the key where the table has no names.
QString ruleOf(const HRowKeyModel *model, int row)
{
    const int nameColumn = model->fieldIndex(kRuleName);
    if (nameColumn < 0)
        return keyText(model->storedKey(row));
    const QVariant name = model->isInserted(row) ? model->index(row, nameColumn).data(Qt::EditRole)
                                                 : model->storedValue(row, nameColumn);
    return name.toString();
}

QVector<int> dirtyColumns(const HRowKeyModel *model, int row)
{
    QVector<int> columns;
    for (int column = 0; column < model->columnCount(); ++column) {
        if (model->isDirty(model->index(row, column)))
            columns.append(column);
    }
    return columns;
}

} // namespace

QSqlRecord HRowKeyModel::storedKey(int row) const
{
    const QSqlRecord stored = primaryValues(row);
    if (!primaryKey().isEmpty() || stored.isEmpty())
        return stored;
    QSqlRecord first;
    first.append(stored.field(0));
    return first;
}

QVariant HRowKeyModel::storedValue(int row, int column) const
{
    return QSqlQueryModel::data(index(row, column), Qt::EditRole);
}

bool HRowKeyModel::isInserted(int row) const
{
    return headerData(row, Qt::Vertical).toString() == QLatin1String("*");
}

bool HRowKeyModel::isDeleted(int row) const
{
    return headerData(row, Qt::Vertical).toString() == QLatin1String("!");
}

bool HRowKeyModel::isUpdated(int row) const
{
    if (isInserted(row) || isDeleted(row))
        return false;
    for (int column = 0; column < columnCount(); ++column) {
        if (isDirty(index(row, column)))
            return true;
    }
    return false;
}

HTableSave::HTableSave(HDatabase *db, const QString &table, const QString &shownName)
    : m_db(db)
    , m_table(table)
    , m_shownName(shownName)
{}

HTableSave::~HTableSave() = default;

QString HTableSave::rowId(const HRowKeyModel *model, int row)
{
    if (model->isInserted(row))
        return QLatin1Char('+') + ruleOf(model, row);
    return keyText(model->storedKey(row));
}

QString HTableSave::editId(const QString &rowId, const QString &column)
{
    return rowId + QLatin1Char('\n') + column;
}

QVector<HAuditEntry> HTableSave::pendingEdits(const HRowKeyModel *model, const QString &table,
                                              const QString &shownName)
{
    // In the order a save writes them: deletes, updates, inserts.
    QVector<HAuditEntry> deleted, updated, inserted;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString rule = ruleOf(model, row);
        if (model->isDeleted(row)) {
            deleted.append({table, shownName, rule, kWholeRow,
                            rowText(storedRecord(model, row), false), QVariant()});
        } else if (model->isInserted(row)) {
            inserted.append({table, shownName, rule, kWholeRow, QVariant(),
                             rowText(newValues(model, row), true)});
        } else {
            const QSqlRecord current = model->record(row);
            for (int column : dirtyColumns(model, row))
                updated.append({table, shownName, rule, current.fieldName(column),
                                model->storedValue(row, column), current.value(column)});
        }
    }
    return deleted + updated + inserted;
}

QString HTableSave::write(const HRowKeyModel *model, bool overwrite)
{
    QVector<int> deletes, updates, inserts;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->isDeleted(row))
            deletes.append(row);
        else if (model->isInserted(row))
            inserts.append(row);
        else if (model->isUpdated(row))
            updates.append(row);
    }
    // Every row is tried even after a conflict, so that the user hears of all of them at once.
    for (int row : qAsConst(deletes)) {
        const QString error = deleteRow(model, row, overwrite);
        if (!error.isEmpty())
            return error;
    }
    for (int row : qAsConst(updates)) {
        const QString error = updateRow(model, row, overwrite);
        if (!error.isEmpty())
            return error;
    }
    for (int row : qAsConst(inserts)) {
        const QString error = insertRow(model, row, overwrite);
        if (!error.isEmpty())
            return error;
    }
    if (!m_conflicts.isEmpty())
        m_history.clear();
    return QString();
}

QString HTableSave::deleteRow(const HRowKeyModel *model, int row, bool overwrite)
{
    const QSqlRecord stored = storedRecord(model, row);
    const QSqlRecord key = model->storedKey(row);
    const QString id = rowId(model, row);
    QVariantList values;
    // The whole row as loaded: a row another user changed is not deleted behind their back.
    const QString where = conditions(overwrite ? key : stored, &values);
    HSqlStatement &statement =
        prepared(QStringLiteral("delete from %1 where %2").arg(m_table, where), values);
    if (!statement.exec())
        return statement.errorString();
    if (statement.numRowsAffected() > 0) {
        m_rows += statement.numRowsAffected();
        const QSqlRecord old =
            overwrite && m_seen && m_seen->contains(id) ? m_seen->value(id) : stored;
        m_history.append(
            {m_table, m_shownName, ruleOf(model, row), kWholeRow, rowText(old, false), QVariant()});
        return QString();
    }
    QSqlRecord now;
    QString error;
    QVariantList keyValues;
    const QString keyWhere = conditions(key, &keyValues);
    if (!readNow(keyWhere, keyValues, &now, &error))
        return error; // gone already, as the user wants: nothing to do, nothing to record
    QStringList changes;
    for (int i = 0; i < stored.count(); ++i) {
        const QVariant value = now.value(stored.fieldName(i));
        if (!sameValue(value, stored.value(i)))
            changes.append(changeText(stored.fieldName(i), value, stored.value(i)));
    }
    if (m_seen)
        m_seen->insert(id, now);
    m_conflictingEdits.insert(editId(id, kWholeRow));
    conflict(ruleOf(model, row),
             TranslateString(QStringLiteral("changed by another user, not deleted (%1)"))
                 .arg(changes.join(QStringLiteral("; "))));
    return QString();
}

QString HTableSave::updateRow(const HRowKeyModel *model, int row, bool overwrite)
{
    const QSqlRecord key = model->storedKey(row);
    const QSqlRecord current = model->record(row);
    const QString id = rowId(model, row);
    const QString rule = ruleOf(model, row);
    const QVector<int> columns = dirtyColumns(model, row);
    QStringList assignments;
    QVariantList values;
    for (int column : columns) {
        assignments.append(QStringLiteral("[%1] = ?").arg(current.fieldName(column)));
        values.append(current.value(column));
    }
    QVariantList keyValues;
    const QString keyWhere = conditions(key, &keyValues);
    values += keyValues;
    QStringList where = {keyWhere};
    // The old values of the changed columns only: another user's change of other columns of
    // the row is no conflict, and both land.
    if (!overwrite) {
        for (int column : columns)
            where.append(HSqlStatement::holds(current.fieldName(column),
                                              model->storedValue(row, column), &values));
    }
    HSqlStatement &statement = prepared(QStringLiteral("update %1 set %2 where %3")
                                            .arg(m_table, assignments.join(QStringLiteral(", ")),
                                                 where.join(QStringLiteral(" and "))),
                                        values);
    if (!statement.exec())
        return statement.errorString();
    if (statement.numRowsAffected() > 0) {
        m_rows += statement.numRowsAffected();
        const bool seen = overwrite && m_seen && m_seen->contains(id);
        for (int column : columns) {
            const QString name = current.fieldName(column);
            m_history.append(
                {m_table, m_shownName, rule, name,
                 seen ? m_seen->value(id).value(name) : model->storedValue(row, column),
                 current.value(column)});
        }
        return QString();
    }
    QSqlRecord now;
    QString error;
    if (!readNow(keyWhere, keyValues, &now, &error)) {
        if (!error.isEmpty())
            return error;
        // Another user deleted the row: its edits must not land anywhere else, and silently
        // dropping them would lose them.
        if (overwrite)
            return QStringLiteral("the row %1 of %2 is no longer in the table (deleted "
                                  "meanwhile); nothing was saved. Its edits are kept: "
                                  "delete the row here, or open the table again to drop "
                                  "them.")
                .arg(keyText(key), m_table);
        m_conflictingEdits.insert(editId(id, kWholeRow));
        conflict(rule, TranslateString(QStringLiteral("removed by another user")));
        return QString();
    }
    if (m_seen)
        m_seen->insert(id, now);
    bool told = false;
    for (int column : columns) {
        const QString name = current.fieldName(column);
        const QVariant value = now.value(name);
        if (sameValue(value, model->storedValue(row, column)))
            continue;
        told = true;
        m_conflictingEdits.insert(editId(id, name));
        conflict(rule, changeText(name, value, model->storedValue(row, column)));
    }
    if (!told) {
        m_conflictingEdits.insert(editId(id, kWholeRow));
        conflict(rule, TranslateString(QStringLiteral("changed by another user")));
    }
    return QString();
}

QString HTableSave::insertRow(const HRowKeyModel *model, int row, bool overwrite)
{
    const QSqlRecord values = newValues(model, row);
    // Fields left unset take the table's defaults; a row with none set is an error rather
    // than a guess.
    if (values.isEmpty())
        return QStringLiteral("the new row %1 is empty: fill it in or delete it").arg(row + 1);
    const QString id = rowId(model, row);
    const QString rule = ruleOf(model, row);
    const int nameColumn = values.indexOf(kRuleName);
    // Series find their rule by name: a rule another user added under the same name since
    // the table was loaded is not added a second time.
    QSqlRecord now;
    bool stored = false;
    if (nameColumn >= 0 && !values.isNull(nameColumn)) {
        QString error;
        stored = readNow(QStringLiteral("[%1] = ?").arg(kRuleName), {values.value(nameColumn)},
                         &now, &error);
        if (!error.isEmpty())
            return error;
    }
    if (stored && !overwrite) {
        if (m_seen)
            m_seen->insert(id, now);
        m_conflictingEdits.insert(editId(id, kWholeRow));
        conflict(rule, TranslateString(QStringLiteral("added by another user meanwhile (%1)"))
                           .arg(rowText(now, false)));
        return QString();
    }
    QStringList names, places, assignments;
    QVariantList bound;
    for (int i = 0; i < values.count(); ++i) {
        names.append(QStringLiteral("[%1]").arg(values.fieldName(i)));
        places.append(QStringLiteral("?"));
        assignments.append(QStringLiteral("[%1] = ?").arg(values.fieldName(i)));
        bound.append(values.value(i));
    }
    QString sql;
    if (stored) {
        // Overwrite: the rule stored under this name takes the user's values.
        sql = QStringLiteral("update %1 set %2 where [%3] = ?")
                  .arg(m_table, assignments.join(QStringLiteral(", ")), kRuleName);
        bound.append(values.value(nameColumn));
    } else {
        sql =
            QStringLiteral("insert into %1 (%2) values (%3)")
                .arg(m_table, names.join(QStringLiteral(", ")), places.join(QStringLiteral(", ")));
    }
    HSqlStatement &statement = prepared(sql, bound);
    if (!statement.exec())
        return statement.errorString();
    m_rows += statement.numRowsAffected();
    m_history.append({m_table, m_shownName, rule, kWholeRow,
                      stored ? QVariant(rowText(now, false)) : QVariant(), rowText(values, true)});
    return QString();
}

bool HTableSave::readNow(const QString &where, const QVariantList &values, QSqlRecord *now,
                         QString *error)
{
    HSqlStatement &select =
        prepared(QStringLiteral("select * from %1 where %2").arg(m_table, where), values);
    if (!select.exec()) {
        *error = select.errorString();
        return false;
    }
    const bool found = select.next();
    if (found)
        *now = select.record();
    select.finish();
    return found;
}

void HTableSave::conflict(const QString &rowKey, const QString &change)
{
    m_conflicts.append({m_shownName, rowKey, change});
}

HSqlStatement &HTableSave::prepared(const QString &sql, const QVariantList &values)
{
    // Rows that change the same columns share one prepared statement.
    std::unique_ptr<HSqlStatement> &slot = m_statements[sql];
    if (!slot)
        slot = std::make_unique<HSqlStatement>(m_db, sql);
    for (int i = 0; i < values.size(); ++i)
        slot->bind(i, values.at(i));
    return *slot;
}

HSaveOutcome saveAskingOnConflict(QWidget *parent,
                                  const std::function<HSaveOutcome(bool overwrite)> &attempt,
                                  const std::function<void()> &reload)
{
    return HEditorPage::saveAsking(parent, attempt,
                                   [&reload](const QVector<HConflict> &) { reload(); });
}
