#include "hmatchingsave.h"

#include "hdatabase.h"
#include "hjsonfunc.h"
#include "hsqlstatement.h"
#include "translatestring.h"

#include <QCoreApplication>
#include <QDebug>

#include <algorithm>
#include <vector>

bool HMatchingSave::inTransaction(HDatabase *db, const std::function<bool(QString *error)> &work,
                                  QString *error)
{
    if (!db->transaction()) {
        *error = db->errorString();
        return false;
    }
    QString text;
    if (work(&text)) {
        if (db->commit())
            return true;
        text = db->errorString();
    }
    db->rollback();
    *error = text;
    return false;
}

bool HMatchingSave::applyChanges(HDatabase *db, const Statements &sql, QVector<Change> *changes,
                                 bool overwrite, bool echo, int *rowsWritten, bool *conflicts,
                                 QString *error)
{
    *conflicts = false;
    HSqlStatement remove(db, sql.remove);
    HSqlStatement insert(db, sql.insert);
    HSqlStatement probe(db, sql.probe);
    for (const HSqlStatement *statement : {&remove, &insert, &probe}) {
        if (!statement->isPrepared()) {
            *error = statement->errorString();
            return false;
        }
    }
    auto run = [error](HSqlStatement &statement, const QVariantList &values) {
        for (int i = 0; i < values.size(); ++i)
            statement.bind(i, values.at(i));
        if (statement.exec())
            return true;
        *error = statement.errorString();
        return false;
    };
    for (Change &change : *changes) {
        change.found = -1;
        change.held = false;
        if (change.storedRows == 0 || (sql.guarded && change.rows > change.storedRows)) {
            if (!run(probe, change.probe.isEmpty() ? change.key : change.probe))
                return false;
            if (!probe.next()) {
                *error = QStringLiteral("no row counted for %1").arg(sql.probe);
                return false;
            }
            change.found = probe.value(0).toInt();
            change.held =
                sql.guarded && change.rows > change.storedRows && probe.value(1).toInt() == 0;
            probe.finish();
        }
        if (!overwrite && change.conflicts()) {
            *conflicts = true;
            continue;
        }
        if (change.held)
            continue;
        if (change.storedRows > 0 || change.found > 0) {
            if (!run(remove, change.key))
                return false;
            change.found = qMax(0, remove.numRowsAffected());
            *rowsWritten += change.found;
            if (!overwrite && change.conflicts()) {
                *conflicts = true;
                continue;
            }
        }
        change.found = qMax(0, change.found);
        // Once a conflict is known nothing is kept: the other pairs are only checked.
        if (*conflicts)
            continue;
        for (int i = 0; i < change.rows; ++i) {
            if (echo)
                qDebug().noquote() << sql.insert << change.values;
            if (!run(insert, change.values))
                return false;
            ++*rowsWritten;
        }
    }
    return !*conflicts;
}

QString HMatchingSave::conflictText(const Change &change)
{
    if (change.storedRows == 0)
        return change.found == 1
                   ? TranslateString(QStringLiteral("added by another user"))
                   : TranslateString(QStringLiteral("added by another user, %1 times"))
                         .arg(change.found);
    if (change.found == 0)
        return TranslateString(QStringLiteral("removed by another user"));
    return TranslateString(QStringLiteral("now stored %1 times, was %2"))
        .arg(change.found)
        .arg(change.storedRows);
}

bool HMatchingSave::writeSnapshot(const QJsonDocument &doc, const QString &fileName, QString *error)
{
    const QString path =
        QCoreApplication::applicationDirPath() + QStringLiteral("/log/") + fileName;
    QString text;
    if (HJsonFunc::jsonDocToFile(doc, path, QJsonDocument::Indented, &text))
        return true;
    qWarning().noquote() << text;
    if (error)
        *error = text;
    return false;
}

QJsonArray HMatchingSave::sorted(const QJsonArray &array,
                                 const std::function<SortKey(const QJsonObject &)> &keyOf)
{
    std::vector<std::pair<SortKey, int>> order;
    order.reserve(size_t(array.size()));
    for (int i = 0; i < array.size(); ++i)
        order.emplace_back(keyOf(array.at(i).toObject()), i);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QJsonArray result;
    for (const auto &entry : order)
        result.append(array.at(entry.second));
    return result;
}
