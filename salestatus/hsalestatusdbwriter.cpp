#include "hsalestatusdbwriter.h"

#include "hdatabase.h"
#include "hsqlstatement.h"
#include "translatestring.h"

#include <QStringList>

#include <map>
#include <memory>

namespace {

using Part = HSaleStatusDbWriter::Part;
using Values = QVector<QVariant>;
using Field = HSaleStatusDbWriter::Field;

const QString &tableOf(Part part)
{
    static const QString tables[] = {QStringLiteral("__product_series"),
                                     QStringLiteral("__product_idx")};
    return tables[part];
}

const QString &keyColumnOf(Part part)
{
    static const QString keys[] = {QStringLiteral("id_series"), QStringLiteral("product_code")};
    return keys[part];
}

QVariant keyValue(Part part, const QString &key)
{
    bool numeric = false;
    const int id = key.toInt(&numeric);
    return part == HSaleStatusDbWriter::Series && numeric ? QVariant(id) : QVariant(key);
}

QHash<QString, Values> &rowsOf(HSaleStatusStored &stored, Part part)
{
    return part == HSaleStatusDbWriter::Series ? stored.series : stored.models;
}

// A value as the tab compares it: a flag is any non-zero number, a NULL text reads as empty
// (an untouched NULL stays NULL: the update compares it as empty too).
QVariant normal(const QVariant &value, bool flag)
{
    if (flag)
        return value.toBool();
    const QString text = value.toString();
    return text.isNull() ? QStringLiteral("") : text;
}

// The value a statement binds and the history keeps: a flag as 1 or 0.
QVariant written(const QVariant &value, bool flag)
{
    return flag ? QVariant(value.toBool() ? 1 : 0) : normal(value, false);
}

QString shown(const QVariant &value, bool flag)
{
    return flag ? written(value, true).toString()
                : QStringLiteral("'%1'").arg(normal(value, false).toString());
}

// The fields (bits) in which two rows differ.
int differing(Part part, const Values &a, const Values &b)
{
    const QVector<Field> &fields = HSaleStatusDbWriter::fields(part);
    int mask = 0;
    for (int i = 0; i < fields.size(); ++i) {
        if (normal(a.value(i), fields.at(i).flag) != normal(b.value(i), fields.at(i).flag))
            mask |= 1 << i;
    }
    return mask;
}

// Keys read by one statement; beyond kKeysByList keys the whole table is read at once.
const int kKeysPerStatement = 200;
const int kKeysByList = 1000;

// Reads the fields of `part` for the keys (every row when `all`, or when there are many).
QString readRows(HDatabase *db, Part part, const QStringList &keys, bool all,
                 QHash<QString, Values> *rows)
{
    const QVector<Field> &fields = HSaleStatusDbWriter::fields(part);
    QStringList columns{QStringLiteral("[%1]").arg(keyColumnOf(part))};
    for (const Field &field : fields)
        columns.append(QStringLiteral("[%1]").arg(field.column));
    const QString select =
        QStringLiteral("select %1 from %2").arg(columns.join(QStringLiteral(", ")), tableOf(part));
    const auto readAll = [&](HSqlStatement &read) {
        if (!read.exec())
            return read.errorString();
        while (read.next()) {
            Values values;
            for (int i = 0; i < fields.size(); ++i)
                values.append(normal(read.value(i + 1), fields.at(i).flag));
            const QVariant key = read.value(0);
            rows->insert(part == HSaleStatusDbWriter::Series ? QString::number(key.toLongLong())
                                                             : key.toString(),
                         values);
        }
        return QString();
    };
    if (all || keys.size() > kKeysByList) {
        HSqlStatement read(db, select);
        return readAll(read);
    }
    for (int first = 0; first < keys.size(); first += kKeysPerStatement) {
        const QStringList chunk = keys.mid(first, kKeysPerStatement);
        QStringList places;
        for (int i = 0; i < chunk.size(); ++i)
            places.append(QStringLiteral("?"));
        HSqlStatement read(db, QStringLiteral("%1 where [%2] in (%3)")
                                   .arg(select, keyColumnOf(part), places.join(QLatin1Char(','))));
        for (int i = 0; i < chunk.size(); ++i)
            read.bind(i, keyValue(part, chunk.at(i)));
        const QString error = readAll(read);
        if (!error.isEmpty())
            return error;
    }
    return QString();
}

// The updates of one save: "update <table> set <fields written> = ? where <key> = ?" and,
// when checked, a condition on every field of the row that holds when the field still has
// the value last seen, so that a row another user changed in any way is missed. The
// conditions use only what every back end takes (no CASE, no COALESCE): a flag is "<> 0"
// when it was set and "= 0 or is null" when not, whatever number stands for true there; a
// text is its value, or NULL where it was seen as empty. One statement is prepared per
// shape (the fields written, the flags seen set).
class Updates
{
public:
    explicit Updates(HDatabase *db)
        : m_db(db)
    {}
    // Rows changed, or -1 with errorString().
    int run(Part part, const QString &key, int mask, const Values &wanted, const Values &seen,
            bool checked)
    {
        const QVector<Field> &fields = HSaleStatusDbWriter::fields(part);
        int setFlags = 0;
        for (int i = 0; checked && i < fields.size(); ++i) {
            if (fields.at(i).flag && seen.value(i).toBool())
                setFlags |= 1 << i;
        }
        std::unique_ptr<HSqlStatement> &update =
            m_updates[(part << 16) | (setFlags << 8) | (mask << 1) | int(checked)];
        if (!update) {
            QStringList sets;
            QStringList where{QStringLiteral("[%1] = ?").arg(keyColumnOf(part))};
            for (int i = 0; i < fields.size(); ++i) {
                const QString &column = fields.at(i).column;
                if (mask & (1 << i))
                    sets.append(QStringLiteral("[%1] = ?").arg(column));
                if (!checked)
                    continue;
                if (!fields.at(i).flag)
                    where.append(
                        QStringLiteral("([%1] = ? or ([%1] is null and ? = ''))").arg(column));
                else if (setFlags & (1 << i))
                    where.append(QStringLiteral("[%1] <> 0").arg(column));
                else
                    where.append(QStringLiteral("([%1] = 0 or [%1] is null)").arg(column));
            }
            update = std::make_unique<HSqlStatement>(
                m_db, QStringLiteral("update %1 set %2 where %3")
                          .arg(tableOf(part), sets.join(QStringLiteral(", ")),
                               where.join(QStringLiteral(" and "))));
        }
        int place = 0;
        for (int i = 0; i < fields.size(); ++i) {
            if (mask & (1 << i))
                update->bind(place++, written(wanted.value(i), fields.at(i).flag));
        }
        update->bind(place++, keyValue(part, key));
        for (int i = 0; checked && i < fields.size(); ++i) {
            if (fields.at(i).flag)
                continue;
            const QVariant text = written(seen.value(i), false);
            update->bind(place++, text);
            update->bind(place++, text);
        }
        if (!update->exec()) {
            m_error = update->errorString();
            return -1;
        }
        return update->numRowsAffected();
    }
    QString errorString() const { return m_error; }

private:
    HDatabase *m_db;
    std::map<int, std::unique_ptr<HSqlStatement>> m_updates;
    QString m_error;
};

} // namespace

const QVector<Field> &HSaleStatusDbWriter::fields(Part part)
{
    static const QVector<Field> series = {
        {QStringLiteral("is_not_for_sale"), 2, true,
         TranslateString(QStringLiteral("not for sale"))},
        {QStringLiteral("is_user_skip"), 3, true, TranslateString(QStringLiteral("user skip"))},
        {QStringLiteral("model_string"), 4, false,
         TranslateString(QStringLiteral("model string"))}};
    static const QVector<Field> models = {
        {QStringLiteral("is_not_for_sale"), 3, true,
         TranslateString(QStringLiteral("not for sale"))},
        {QStringLiteral("is_user_skip"), 4, true, TranslateString(QStringLiteral("user skip"))}};
    return part == Series ? series : models;
}

QVector<HAuditEntry> HSaleStatusDbWriter::changes(const QVector<Wanted> &wanted) const
{
    QVector<HAuditEntry> entries;
    for (const Wanted &row : wanted) {
        const auto &stored = row.part == Series ? m_stored.series : m_stored.models;
        const auto old = stored.constFind(row.key);
        if (old == stored.constEnd())
            continue; // no stored row has that key: an update would change nothing
        const QVector<Field> &fields = HSaleStatusDbWriter::fields(row.part);
        const int mask = differing(row.part, *old, row.values);
        for (int i = 0; i < fields.size(); ++i) {
            if (mask & (1 << i))
                entries.append({tableOf(row.part), row.series, row.key, fields.at(i).column,
                                written(old->value(i), fields.at(i).flag),
                                written(row.values.value(i), fields.at(i).flag)});
        }
    }
    return entries;
}

bool HSaleStatusDbWriter::readAll(HDatabase *db, HSaleStatusStored *stored, QString *error)
{
    for (Part part : {Series, Models}) {
        rowsOf(*stored, part).clear();
        const QString failed = readRows(db, part, {}, true, &rowsOf(*stored, part));
        if (!failed.isEmpty()) {
            *error = failed;
            return false;
        }
    }
    return true;
}

HSaveOutcome HSaleStatusDbWriter::save(HDatabase *db, const QVector<Wanted> &wanted, bool overwrite)
{
    struct Pending
    {
        const Wanted *row;
        int mask;    // the fields to write
        Values seen; // what the row held when last seen
        bool written = false;
        bool gone = false;
    };
    QVector<Pending> pending;
    for (const Wanted &row : wanted) {
        const auto &stored = rowsOf(m_stored, row.part);
        const auto old = stored.constFind(row.key);
        if (old == stored.constEnd())
            continue;
        if (const int mask = differing(row.part, *old, row.values))
            pending.append({&row, mask, *old});
    }
    HSaveOutcome outcome;
    if (pending.isEmpty())
        return outcome;
    const auto failed = [&](const QString &error) {
        db->rollback();
        HSaveOutcome failure;
        failure.ok = false;
        failure.error = error;
        return failure;
    };
    if (!db->transaction())
        return failed(db->errorString());

    // What the rows of `indexes` hold now, by part.
    HSaleStatusStored now;
    const auto readNow = [&](const QVector<int> &indexes) {
        for (Part part : {Series, Models}) {
            QStringList keys;
            for (int i : indexes) {
                if (pending.at(i).row->part == part)
                    keys.append(pending.at(i).row->key);
            }
            const QString error =
                keys.isEmpty() ? QString() : readRows(db, part, keys, false, &rowsOf(now, part));
            if (!error.isEmpty())
                return error;
        }
        return QString();
    };
    // Overwriting, what is stored now is the old value of the history, and a value another
    // user stored already needs no writing.
    if (overwrite) {
        QVector<int> all(pending.size());
        for (int i = 0; i < all.size(); ++i)
            all[i] = i;
        const QString error = readNow(all);
        if (!error.isEmpty())
            return failed(error);
        for (Pending &p : pending) {
            const auto found = rowsOf(now, p.row->part).constFind(p.row->key);
            p.gone = found == rowsOf(now, p.row->part).constEnd();
            // Only this user's edits are written: a value another user changed where this
            // user changed nothing stays theirs.
            if (!p.gone)
                p.mask &= differing(p.row->part, *found, p.row->values);
            p.seen = p.gone ? p.seen : *found;
            if (p.gone)
                p.mask = 0;
        }
    }

    Updates updates(db);
    QVector<int> missed;
    for (int i = 0; i < pending.size(); ++i) {
        Pending &p = pending[i];
        if (!p.mask)
            continue;
        const int rows =
            updates.run(p.row->part, p.row->key, p.mask, p.row->values, p.seen, !overwrite);
        if (rows < 0)
            return failed(updates.errorString());
        p.written = rows > 0;
        if (!p.written)
            missed.append(i);
    }

    // Rows that no longer held what was last seen: another user changed or removed them.
    QVector<HConflict> conflicts;
    if (!missed.isEmpty() && !overwrite) {
        const QString error = readNow(missed);
        if (!error.isEmpty())
            return failed(error);
        for (int i : qAsConst(missed)) {
            Pending &p = pending[i];
            const Part part = p.row->part;
            const QVector<Field> &fields = HSaleStatusDbWriter::fields(part);
            const auto found = rowsOf(now, part).constFind(p.row->key);
            if (found == rowsOf(now, part).constEnd()) {
                conflicts.append({p.row->series, p.row->key,
                                  TranslateString(QStringLiteral("removed by another user"))});
                continue;
            }
            // A value of theirs is a conflict where this row shows another one: where this user
            // wants a third value, or one this user did not change (its cell shows the old).
            const int clash =
                differing(part, *found, p.seen) & differing(part, *found, p.row->values);
            if (clash) {
                QStringList texts;
                for (int f = 0; f < fields.size(); ++f) {
                    if (clash & (1 << f))
                        texts.append(TranslateString(QStringLiteral("%1 now %2, was %3"))
                                         .arg(fields.at(f).label,
                                              shown(found->value(f), fields.at(f).flag),
                                              shown(p.seen.value(f), fields.at(f).flag)));
                }
                conflicts.append({p.row->series, p.row->key, texts.join(QStringLiteral("; "))});
                continue;
            }
            p.seen = *found;
            p.mask = differing(part, p.seen, p.row->values);
            if (!p.mask)
                continue;
            const int rows = updates.run(part, p.row->key, p.mask, p.row->values, p.seen, true);
            if (rows < 0)
                return failed(updates.errorString());
            p.written = rows > 0;
            if (!p.written)
                conflicts.append({p.row->series, p.row->key,
                                  TranslateString(QStringLiteral("changed by another user"))});
        }
    }
    if (!conflicts.isEmpty()) {
        HSaveOutcome conflicted = failed(
            TranslateString(QStringLiteral("other users changed %1 rows meanwhile; nothing was "
                                           "saved"))
                .arg(conflicts.size()));
        conflicted.conflicts = conflicts;
        return conflicted;
    }
    if (!db->commit())
        return failed(db->errorString());

    for (const Pending &p : qAsConst(pending)) {
        QHash<QString, Values> &stored = rowsOf(m_stored, p.row->part);
        if (p.gone) {
            stored.remove(p.row->key);
            continue;
        }
        Values &base = stored[p.row->key];
        base = p.seen;
        if (!p.written)
            continue;
        const QVector<Field> &fields = HSaleStatusDbWriter::fields(p.row->part);
        for (int f = 0; f < fields.size(); ++f) {
            if (!(p.mask & (1 << f)))
                continue;
            outcome.history.append({tableOf(p.row->part), p.row->series, p.row->key,
                                    fields.at(f).column,
                                    written(p.seen.value(f), fields.at(f).flag),
                                    written(p.row->values.value(f), fields.at(f).flag)});
            base[f] = normal(p.row->values.value(f), fields.at(f).flag);
        }
        ++outcome.rowsChanged;
    }
    return outcome;
}
