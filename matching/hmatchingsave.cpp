#include "hmatchingsave.h"

#include "hdatabase.h"
#include "hjsonfunc.h"
#include "hsqlstatement.h"

#include <QCoreApplication>
#include <QDebug>

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

bool HMatchingSave::applyChanges(HDatabase *db, const QString &deleteSql, const QString &insertSql,
                                 const QVector<Change> &changes, bool echo, int *rowsWritten,
                                 QString *error)
{
    HSqlStatement remove(db, deleteSql);
    HSqlStatement insert(db, insertSql);
    for (const HSqlStatement *statement : {&remove, &insert}) {
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
    for (const Change &change : changes) {
        if (change.storedRows > 0) {
            if (!run(remove, change.key))
                return false;
            *rowsWritten += qMax(0, remove.numRowsAffected());
        }
        for (int i = 0; i < change.rows; ++i) {
            if (echo)
                qDebug().noquote() << insertSql << change.values;
            if (!run(insert, change.values))
                return false;
            ++*rowsWritten;
        }
    }
    return true;
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
