#include "hworkbookdatabase.h"

#include "hworkbook.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

QString quoted(const QString &identifier)
{
    QString text = identifier;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString sqlError(const QSqlError &error)
{
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.driverText().trimmed() : text;
}

} // namespace

bool HWorkbookDatabase::loadInto(HWorkbook &workbook, QSqlDatabase db, QString *error)
{
    workbook.emptySheets.clear();
    QSet<QString> tables;
    if (!db.transaction()) {
        *error = sqlError(db.lastError());
        return false;
    }
    auto fail = [&](const QString &text) {
        *error = text;
        db.rollback();
        return false;
    };
    for (const HWorkbookSheet &sheet : qAsConst(workbook.sheets)) {
        if (tables.contains(sheet.name.toLower()))
            return fail(QStringLiteral("two sheets are named \"%1\"").arg(sheet.name));
        tables.insert(sheet.name.toLower());

        int width = 0;
        for (const QStringList &row : sheet.rows) {
            for (int c = row.size() - 1; c >= width; --c) {
                if (!row.at(c).isEmpty()) {
                    width = c + 1;
                    break;
                }
            }
        }
        if (width == 0) {
            workbook.emptySheets.append(sheet.name);
            continue;
        }
        // Column names from the header; an empty or repeated header cell gets a name of its
        // own so that the cells below it stay reachable.
        QStringList columns;
        QSet<QString> used;
        const QStringList header = sheet.rows.value(0);
        for (int c = 0; c < width; ++c) {
            QString name = header.value(c);
            if (name.isEmpty() || used.contains(name.toLower()))
                name = QStringLiteral("F%1").arg(c + 1);
            while (used.contains(name.toLower()))
                name += QLatin1Char('_');
            used.insert(name.toLower());
            columns.append(name);
        }
        QStringList definitions;
        QStringList marks;
        for (const QString &column : qAsConst(columns)) {
            definitions.append(quoted(column) + QStringLiteral(" TEXT"));
            marks.append(QStringLiteral("?"));
        }
        QSqlQuery create(db);
        if (!create.exec(QStringLiteral("CREATE TABLE %1 (%2)")
                             .arg(quoted(sheet.name), definitions.join(QLatin1Char(',')))))
            return fail(
                QStringLiteral("sheet \"%1\": %2").arg(sheet.name, sqlError(create.lastError())));

        // Trailing empty rows are not data.
        int last = sheet.rows.size() - 1;
        while (last > 0 && sheet.rows.at(last).join(QString()).isEmpty())
            --last;
        QSqlQuery insert(db);
        if (!insert.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)")
                                .arg(quoted(sheet.name), marks.join(QLatin1Char(',')))))
            return fail(
                QStringLiteral("sheet \"%1\": %2").arg(sheet.name, sqlError(insert.lastError())));
        for (int r = 1; r <= last; ++r) {
            const QStringList &row = sheet.rows.at(r);
            for (int c = 0; c < width; ++c) {
                const QString cell = row.value(c);
                insert.bindValue(c, cell.isEmpty() ? QVariant(QVariant::String) : QVariant(cell));
            }
            if (!insert.exec())
                return fail(QStringLiteral("sheet \"%1\", row %2: %3")
                                .arg(sheet.name)
                                .arg(r + 1)
                                .arg(sqlError(insert.lastError())));
        }
    }
    if (!db.commit())
        return fail(sqlError(db.lastError()));
    return true;
}

bool HWorkbookDatabase::readFrom(HWorkbook &workbook, QSqlDatabase db, QString *error)
{
    QStringList order;
    for (const HWorkbookSheet &sheet : qAsConst(workbook.sheets))
        order.append(sheet.name);
    QStringList tables;
    QSqlQuery list(db);
    if (!list.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name "
                                  "NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid"))) {
        *error = sqlError(list.lastError());
        return false;
    }
    while (list.next())
        tables.append(list.value(0).toString());
    // Sheets keep their places; an empty sheet (no table) stays where it was.
    QStringList ordered;
    QSet<QString> emptyPlaces;
    for (const QString &name : qAsConst(order)) {
        bool found = false;
        for (const QString &table : qAsConst(tables)) {
            if (table.compare(name, Qt::CaseInsensitive) == 0 && !ordered.contains(table)) {
                ordered.append(table);
                found = true;
            }
        }
        if (!found && workbook.emptySheets.contains(name)) {
            ordered.append(name);
            emptyPlaces.insert(name);
        }
    }
    for (const QString &table : qAsConst(tables)) {
        if (!ordered.contains(table))
            ordered.append(table);
    }

    QVector<HWorkbookSheet> result;
    for (const QString &table : qAsConst(ordered)) {
        if (emptyPlaces.contains(table)) {
            result.append(HWorkbookSheet{table, {}});
            continue;
        }
        HWorkbookSheet sheet;
        sheet.name = table;
        const QSqlRecord record = db.record(table);
        QStringList header;
        for (int c = 0; c < record.count(); ++c)
            header.append(record.fieldName(c));
        sheet.rows.append(header);
        QSqlQuery rows(db);
        rows.setForwardOnly(true);
        if (!rows.exec(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(quoted(table))) &&
            !rows.exec(QStringLiteral("SELECT * FROM %1").arg(quoted(table)))) {
            *error = QStringLiteral("table \"%1\": %2").arg(table, sqlError(rows.lastError()));
            return false;
        }
        while (rows.next()) {
            QStringList cells;
            cells.reserve(header.size());
            for (int c = 0; c < header.size(); ++c) {
                const QVariant value = rows.value(c);
                if (value.isNull())
                    cells.append(QString());
                else if (value.type() == QVariant::Double)
                    cells.append(HWorkbook::numberText(value.toDouble()));
                else
                    cells.append(value.toString());
            }
            sheet.rows.append(cells);
        }
        result.append(sheet);
    }
    workbook.sheets = result;
    // An empty sheet that got a table since is no longer empty.
    QStringList stillEmpty;
    for (const QString &name : qAsConst(workbook.emptySheets)) {
        bool hasTable = false;
        for (const QString &table : qAsConst(tables))
            hasTable = hasTable || table.compare(name, Qt::CaseInsensitive) == 0;
        if (!hasTable)
            stillEmpty.append(name);
    }
    workbook.emptySheets = stillEmpty;
    return true;
}
