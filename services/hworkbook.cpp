#include "hworkbook.h"

#include "hbiff8writer.h"
#include "hxlsreader.h"
#include "hxlsxreader.h"
#include "hxlsxwriter.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>

#include <cmath>

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

HWorkbook::Format HWorkbook::formatOfContent(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Unknown;
    const QByteArray head = file.read(8);
    if (head == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        return Xls;
    if (head.startsWith("PK\x03\x04"))
        return Xlsx;
    return Unknown;
}

HWorkbook::Format HWorkbook::formatOfName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xls"))
        return Xls;
    if (suffix == QLatin1String("xlsx"))
        return Xlsx;
    return Unknown;
}

bool HWorkbook::read(const QString &path)
{
    sheets.clear();
    emptySheets.clear();
    m_error.clear();
    const QFileInfo info(path);
    if (!info.exists()) {
        m_error = QStringLiteral("the file does not exist");
        return false;
    }
    if (!info.isFile()) {
        m_error = QStringLiteral("not a file");
        return false;
    }
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("the file cannot be read: %1").arg(probe.errorString());
        return false;
    }
    probe.close();
    bool ok = false;
    switch (formatOfContent(path)) {
    case Xls:
        ok = HXlsReader::read(path, &sheets, &m_error);
        break;
    case Xlsx:
        ok = HXlsxReader::read(path, &sheets, &m_error);
        break;
    case Unknown:
        m_error = QStringLiteral("the file is neither an .xls nor an .xlsx workbook");
        return false;
    }
    if (!ok)
        sheets.clear();
    return ok;
}

bool HWorkbook::write(const QString &path, Format format)
{
    m_error.clear();
    if (format == Unknown) {
        m_error = QStringLiteral("unknown workbook format");
        return false;
    }
    // Sheets without any cell are kept as empty sheets.
    QVector<HWorkbookSheet> all = sheets;
    for (const QString &name : qAsConst(emptySheets)) {
        bool present = false;
        for (const HWorkbookSheet &sheet : qAsConst(all))
            present = present || sheet.name.compare(name, Qt::CaseInsensitive) == 0;
        if (!present)
            all.append(HWorkbookSheet{name, {}});
    }
    if (all.isEmpty()) {
        m_error = QStringLiteral("a workbook needs at least one sheet");
        return false;
    }

    // The writers produce a whole file in a private folder; only a complete file replaces
    // the target, in one rename.
    QTemporaryDir dir;
    if (!dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(dir.errorString());
        return false;
    }
    const QString temp =
        dir.filePath(format == Xls ? QStringLiteral("out.xls") : QStringLiteral("out.xlsx"));
    const bool written = format == Xls ? HBiff8Writer::write(temp, all, &m_error)
                                       : HXlsxWriter::write(temp, all, &m_error);
    if (!written)
        return false;
    QFile in(temp);
    if (!in.open(QIODevice::ReadOnly)) {
        m_error =
            QStringLiteral("the written workbook cannot be read back: %1").arg(in.errorString());
        return false;
    }
    const QByteArray bytes = in.readAll();
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        m_error = out.errorString();
        return false;
    }
    if (out.write(bytes) != bytes.size()) {
        m_error = out.errorString();
        out.cancelWriting();
        return false;
    }
    if (!out.commit()) {
        m_error = out.errorString();
        return false;
    }
    return true;
}

bool HWorkbook::loadInto(QSqlDatabase db)
{
    m_error.clear();
    emptySheets.clear();
    QSet<QString> tables;
    if (!db.transaction()) {
        m_error = sqlError(db.lastError());
        return false;
    }
    auto fail = [&](const QString &text) {
        m_error = text;
        db.rollback();
        return false;
    };
    for (const HWorkbookSheet &sheet : qAsConst(sheets)) {
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
            emptySheets.append(sheet.name);
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

bool HWorkbook::readFrom(QSqlDatabase db)
{
    m_error.clear();
    QStringList order;
    for (const HWorkbookSheet &sheet : qAsConst(sheets))
        order.append(sheet.name);
    QStringList tables;
    QSqlQuery list(db);
    if (!list.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name "
                                  "NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid"))) {
        m_error = sqlError(list.lastError());
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
        if (!found && emptySheets.contains(name)) {
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
            m_error = QStringLiteral("table \"%1\": %2").arg(table, sqlError(rows.lastError()));
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
                    cells.append(numberText(value.toDouble()));
                else
                    cells.append(value.toString());
            }
            sheet.rows.append(cells);
        }
        result.append(sheet);
    }
    sheets = result;
    // An empty sheet that got a table since is no longer empty.
    QStringList stillEmpty;
    for (const QString &name : qAsConst(emptySheets)) {
        bool hasTable = false;
        for (const QString &table : qAsConst(tables))
            hasTable = hasTable || table.compare(name, Qt::CaseInsensitive) == 0;
        if (!hasTable)
            stillEmpty.append(name);
    }
    emptySheets = stillEmpty;
    return true;
}

QString HWorkbook::numberText(double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}
