#include "hmatchingsave.h"

#include "hdatabase.h"
#include "hjsonfunc.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSqlDatabase>

namespace {

bool failAndRollBack(HDatabase *db, QString *error)
{
    // The error of the failed statement, before the rollback can replace it.
    const QString text = db->errorString();
    db->rollback();
    if (error)
        *error = text;
    return false;
}

} // namespace

bool HMatchingSave::rewriteTable(HDatabase *db, const QString &table, const QStringList &inserts,
                                 bool echo, QString *error)
{
    if (!db->transaction()) {
        if (error)
            *error = db->errorString();
        return false;
    }
    // The delete belongs to the transaction: a failing insert must not leave the table
    // emptied or half filled.
    if (!db->exec(QStringLiteral("delete from %1").arg(table)))
        return failAndRollBack(db, error);
    for (const QString &insert : inserts) {
        if (echo)
            qDebug().noquote() << insert;
        if (!db->exec(insert))
            return failAndRollBack(db, error);
    }
    if (!db->commit())
        return failAndRollBack(db, error);
    return true;
}

bool HMatchingSave::writeSnapshot(const QJsonDocument &doc, const QString &fileName,
                                  QString *error)
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/log/") + fileName;
    QString text;
    if (HJsonFunc::jsonDocToFile(doc, path, QJsonDocument::Indented, &text))
        return true;
    qWarning().noquote() << text;
    if (error)
        *error = text;
    return false;
}
