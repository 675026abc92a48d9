#include "hworkbookdatabase.h"

#include "hdatabase.h"
#include "hsqlstatement.h"
#include "hworkbookreader.h"
#include "hworkbookwriter.h"

#include <QSet>
#include <QSqlRecord>

#include <memory>

namespace {

QString quoted(const QString &identifier)
{
    QString text = identifier;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Fills one table per sheet as the reader goes.
class Loader : public HWorkbookVisitor
{
public:
    Loader(HDatabase &db, HWorkbookDatabase::Layout *layout)
        : m_db(db)
        , m_layout(layout)
    {}

    bool sheet(const QString &name, bool, QString *error) override
    {
        finishSheet();
        for (const QString &earlier : qAsConst(m_layout->sheets)) {
            if (HWorkbook::sameSheetName(earlier, name)) {
                *error = QStringLiteral("two sheets are named \"%1\"").arg(name);
                return false;
            }
        }
        m_layout->sheets.append(name);
        m_name = name;
        m_columns.clear();
        m_used.clear();
        m_insert.reset();
        m_lastRow = 0;
        return true;
    }

    bool row(const HWorkbookRow &row, QString *error) override
    {
        if (!m_insert) {
            // The first row is the header: its cells name the columns. An empty or repeated
            // header cell gets a name of its own, so that the cells below stay reachable.
            const QVector<QString> header = row.index == 0 ? row.cells : QVector<QString>();
            if (!addColumns(header, qMax(header.size(), row.cells.size()), error))
                return false;
            if (row.index == 0)
                return true;
        } else if (row.cells.size() > m_columns.size() &&
                   !addColumns({}, row.cells.size(), error)) {
            return false;
        }
        // Empty rows between data rows are rows of the table too.
        for (int r = m_lastRow + 1; r < row.index; ++r) {
            if (!insert(QVector<QString>(), r, error))
                return false;
        }
        m_lastRow = row.index;
        return insert(row.cells, row.index, error);
    }

    void finishSheet()
    {
        if (!m_name.isEmpty() && !m_insert)
            m_layout->emptySheets.append(m_name);
        m_name.clear();
    }

private:
    // Makes the table (or widens it) to `width` columns, named by `header` where it says.
    bool addColumns(const QVector<QString> &header, int width, QString *error)
    {
        const bool creating = !m_insert;
        QStringList added;
        for (int c = m_columns.size(); c < width; ++c) {
            QString name = header.value(c);
            if (name.isEmpty() || m_used.contains(name.toLower()))
                name = QStringLiteral("F%1").arg(c + 1);
            while (m_used.contains(name.toLower()))
                name += QLatin1Char('_');
            m_used.insert(name.toLower());
            m_columns.append(name);
            added.append(name);
        }
        if (creating) {
            QStringList definitions;
            for (const QString &column : qAsConst(m_columns))
                definitions.append(quoted(column) + QStringLiteral(" TEXT"));
            if (!m_db.exec(QStringLiteral("CREATE TABLE %1 (%2)")
                               .arg(quoted(m_name), definitions.join(QLatin1Char(',')))))
                return fail(m_db.errorString(), error);
        } else {
            for (const QString &column : qAsConst(added)) {
                if (!m_db.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 TEXT")
                                   .arg(quoted(m_name), quoted(column))))
                    return fail(m_db.errorString(), error);
            }
        }
        QStringList marks;
        for (int c = 0; c < m_columns.size(); ++c)
            marks.append(QStringLiteral("?"));
        m_insert = std::make_unique<HSqlStatement>(
            &m_db, QStringLiteral("INSERT INTO %1 VALUES (%2)")
                       .arg(quoted(m_name), marks.join(QLatin1Char(','))));
        if (!m_insert->isPrepared())
            return fail(m_insert->errorString(), error);
        return true;
    }

    bool insert(const QVector<QString> &cells, int row, QString *error)
    {
        for (int c = 0; c < m_columns.size(); ++c) {
            const QString &cell = c < cells.size() ? cells.at(c) : m_empty;
            m_insert->bind(c, cell.isEmpty() ? QVariant(QVariant::String) : QVariant(cell));
        }
        if (m_insert->exec())
            return true;
        return fail(QStringLiteral("row %1: %2").arg(row + 1).arg(m_insert->errorString()), error);
    }

    bool fail(const QString &what, QString *error)
    {
        *error = QStringLiteral("sheet \"%1\": %2").arg(m_name, what);
        return false;
    }

    HDatabase &m_db;
    HWorkbookDatabase::Layout *m_layout;
    QString m_name;
    QStringList m_columns;
    QSet<QString> m_used;
    std::unique_ptr<HSqlStatement> m_insert;
    int m_lastRow = 0;
    const QString m_empty;
};

} // namespace

bool HWorkbookDatabase::load(const QString &path, HDatabase &db, Layout *layout, QString *error)
{
    *layout = Layout();
    if (!db.transaction()) {
        *error = db.errorString();
        return false;
    }
    Loader loader(db, layout);
    if (!HWorkbookReader::read(path, loader, error)) {
        db.rollback();
        return false;
    }
    loader.finishSheet();
    if (!db.commit()) {
        *error = db.errorString();
        db.rollback();
        return false;
    }
    return true;
}

bool HWorkbookDatabase::write(HDatabase &db, const Layout &layout, const QString &path,
                              HWorkbook::Format format, QString *error)
{
    const QStringList tables = db.getSqlDatabase().tables();
    // Sheets keep their places; an empty sheet (no table) stays where it was.
    QStringList ordered;
    QSet<QString> emptyPlaces;
    for (const QString &name : layout.sheets) {
        bool found = false;
        for (const QString &table : tables) {
            if (HWorkbook::sameSheetName(table, name) && !ordered.contains(table)) {
                ordered.append(table);
                found = true;
            }
        }
        if (!found && layout.emptySheets.contains(name)) {
            ordered.append(name);
            emptyPlaces.insert(name);
        }
    }
    for (const QString &table : tables) {
        if (!ordered.contains(table))
            ordered.append(table);
    }

    qint64 rows = 0;
    for (const QString &table : qAsConst(ordered)) {
        if (emptyPlaces.contains(table))
            continue;
        QSqlQuery count = db.query(QStringLiteral("SELECT COUNT(*) FROM %1").arg(quoted(table)));
        rows += count.next() ? count.value(0).toLongLong() + 1 : 0;
    }
    const std::unique_ptr<HWorkbookWriter> writer = HWorkbookWriter::create(format, path, rows);
    for (const QString &table : qAsConst(ordered)) {
        if (!writer->addSheet(table))
            break;
        if (emptyPlaces.contains(table))
            continue;
        const QSqlRecord record = db.getSqlDatabase().record(table);
        QStringList cells;
        for (int c = 0; c < record.count(); ++c)
            cells.append(record.fieldName(c));
        if (!writer->addRow(0, cells))
            break;
        QSqlQuery query =
            db.query(QStringLiteral("SELECT * FROM %1%2").arg(quoted(table), db.insertionOrder()));
        if (!query.isActive()) {
            *error = QStringLiteral("table \"%1\": %2").arg(table, db.errorString());
            return false;
        }
        for (int row = 1; query.next(); ++row) {
            for (int c = 0; c < cells.size(); ++c) {
                const QVariant value = query.value(c);
                if (value.isNull())
                    cells[c].clear();
                else if (value.type() == QVariant::Double)
                    cells[c] = HWorkbook::numberText(value.toDouble());
                else
                    cells[c] = value.toString();
            }
            if (!writer->addRow(row, cells))
                break;
        }
    }
    if (writer->commit())
        return true;
    *error = writer->errorString();
    return false;
}
