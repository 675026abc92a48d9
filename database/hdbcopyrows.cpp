// Reading the rows of a copy: HSqlCopySource (a product database as the source), the row
// reader the copy's check shares, and HRowDigest, the order-free checksum of a table's rows.
#include "hdbcopy.h"

#include "hdbcopydetail.h"

#include "hdatabase.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtEndian>

using namespace HDbCopyDetail;

namespace {

HDbColumn::Kind kindOf(const QSqlField &field)
{
    switch (field.type()) {
    case QVariant::Bool:
    case QVariant::Int:
    case QVariant::UInt:
    case QVariant::LongLong:
    case QVariant::ULongLong:
        return HDbColumn::Integer;
    case QVariant::Double:
        return HDbColumn::Real;
    case QVariant::ByteArray:
        return HDbColumn::Blob;
    default:
        return HDbColumn::Text;
    }
}

} // namespace

bool HDbCopyDetail::readSqlRows(HDatabase &db, const QString &table, const QStringList &columns,
                                const HDbCopySource::RowSink &sink, QString *error)
{
    QSqlQuery rows =
        db.query(QStringLiteral("select %1 from %2").arg(columnList(columns), quoted(table)));
    if (!rows.isActive()) {
        *error = QStringLiteral("%1 cannot be read: %2").arg(table, db.errorString());
        return false;
    }
    QVector<QVariant> row(columns.size());
    while (rows.next()) {
        for (int i = 0; i < columns.size(); ++i)
            row[i] = rows.value(i);
        if (!sink(row))
            return false;
    }
    if (rows.lastError().isValid()) {
        *error = QStringLiteral("%1 cannot be read: %2").arg(table, rows.lastError().text());
        return false;
    }
    return true;
}

// --- HSqlCopySource --------------------------------------------------------------------

HSqlCopySource::HSqlCopySource(HDatabase *db)
    : m_db(db)
{}

HSqlCopySource::~HSqlCopySource()
{
    if (m_inTransaction)
        m_db->rollback();
}

bool HSqlCopySource::begin(QString *error)
{
    if (m_inTransaction)
        return true;
    if (!m_db->transaction()) {
        *error = QStringLiteral("the source cannot start a read transaction: %1")
                     .arg(m_db->errorString());
        return false;
    }
    m_inTransaction = true;
    // One snapshot for all tables, whatever others commit meanwhile.
    if (isPostgres(*m_db) &&
        !m_db->exec(QStringLiteral("set transaction isolation level repeatable read, read only"))) {
        *error = QStringLiteral("the source cannot be read as of one moment: %1")
                     .arg(m_db->errorString());
        return false;
    }
    return true;
}

QStringList HSqlCopySource::tableNames(QString *error)
{
    if (!begin(error))
        return {};
    QStringList tables = m_db->getSqlDatabase().tables(QSql::Tables);
    tables += m_db->getSqlDatabase().tables(QSql::Views);
    return tables;
}

bool HSqlCopySource::columns(const QString &table, QVector<HDbColumn> *columns, QString *error)
{
    columns->clear();
    const QSqlRecord record = m_db->getSqlDatabase().record(table);
    for (int i = 0; i < record.count(); ++i)
        columns->append({record.fieldName(i), kindOf(record.field(i))});
    if (columns->isEmpty()) {
        *error = QStringLiteral("the source's table %1 has no columns that can be read").arg(table);
        return false;
    }
    return true;
}

qint64 HSqlCopySource::rowCount(const QString &table)
{
    QSqlQuery count = m_db->query(QStringLiteral("select count(*) from %1").arg(quoted(table)));
    return count.next() ? count.value(0).toLongLong() : -1;
}

bool HSqlCopySource::readRows(const QString &table, const QVector<HDbColumn> &columns,
                              const RowSink &sink, QString *error)
{
    if (!begin(error))
        return false;
    QStringList names;
    for (const HDbColumn &column : columns)
        names.append(column.name);
    error->clear();
    return readSqlRows(*m_db, table, names, sink, error);
}

// --- HRowDigest ------------------------------------------------------------------------

QByteArray HRowDigest::normalise(const QVariant &value)
{
    if (value.isNull())
        return QByteArrayLiteral("N");
    switch (value.type()) {
    case QVariant::Bool:
        return value.toBool() ? QByteArrayLiteral("V1") : QByteArrayLiteral("V0");
    case QVariant::Int:
    case QVariant::LongLong:
        return 'V' + QByteArray::number(value.toLongLong());
    case QVariant::UInt:
    case QVariant::ULongLong:
        return 'V' + QByteArray::number(value.toULongLong());
    case QVariant::Double: {
        const double number = value.toDouble();
        // An integral number reads the same whether a back end returned it as an integer or
        // a real; otherwise the shortest text that reads back as the same double.
        if (number == double(qint64(number)) && qAbs(number) < 9.0e15)
            return 'V' + QByteArray::number(qint64(number));
        return 'V' + QString::number(number, 'g', QLocale::FloatingPointShortest).toUtf8();
    }
    case QVariant::ByteArray:
        return 'B' + value.toByteArray().toHex();
    default:
        break;
    }
    return 'V' + value.toString().toUtf8();
}

void HRowDigest::add(const QVector<QVariant> &row)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QVariant &value : row) {
        const QByteArray text = normalise(value);
        // The length first, so that no two rows of different values join to the same bytes.
        const quint32 length = qToBigEndian(quint32(text.size()));
        hash.addData(reinterpret_cast<const char *>(&length), sizeof length);
        hash.addData(text);
    }
    const QByteArray digest = hash.result();
    m_sum[0] += qFromBigEndian<quint64>(digest.constData());
    m_sum[1] += qFromBigEndian<quint64>(digest.constData() + 8);
    ++m_rows;
}

QString HRowDigest::toString() const
{
    return QStringLiteral("%1%2")
        .arg(m_sum[0], 16, 16, QLatin1Char('0'))
        .arg(m_sum[1], 16, 16, QLatin1Char('0'));
}

bool HRowDigest::operator==(const HRowDigest &other) const
{
    return m_rows == other.m_rows && m_sum[0] == other.m_sum[0] && m_sum[1] == other.m_sum[1];
}
