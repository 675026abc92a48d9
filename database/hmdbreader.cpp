#include "hmdbreader.h"

#include <QFile>
#include <QFileInfo>

#include <mdbtools.h>

#include <vector>

namespace {

// Large enough for any memo the tool keeps; a value that fills it may have been cut and is
// refused rather than copied short.
constexpr size_t kBindSize = 1 << 20;

HDbColumn::Kind kindOf(int type)
{
    switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
        return HDbColumn::Integer;
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_NUMERIC:
        return HDbColumn::Real;
    case MDB_BINARY:
    case MDB_OLE:
    case MDB_COMPLEX:
        return HDbColumn::Blob;
    default:
        return HDbColumn::Text;
    }
}

QString typeName(int type)
{
    switch (type) {
    case MDB_BINARY:
        return QStringLiteral("binary");
    case MDB_OLE:
        return QStringLiteral("OLE object");
    case MDB_COMPLEX:
        return QStringLiteral("attachment or multi-value");
    default:
        return QStringLiteral("type %1").arg(type);
    }
}

MdbCatalogEntry *findTable(MdbHandle *mdb, const QString &name)
{
    const QByteArray wanted = name.toUtf8();
    for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && wanted == entry->object_name)
            return entry;
    }
    return nullptr;
}

// Frees a table definition however the read ends.
struct TableDef
{
    MdbTableDef *table = nullptr;
    ~TableDef()
    {
        if (table)
            mdb_free_tabledef(table);
    }
};

// Reads a table's definition with its columns into `def`; false when the file has no such
// table or it cannot be read.
bool readDefinition(MdbHandle *mdb, const QString &table, TableDef *def)
{
    MdbCatalogEntry *entry = mdb ? findTable(mdb, table) : nullptr;
    if (entry)
        def->table = mdb_read_table(entry);
    return def->table && mdb_read_columns(def->table);
}

} // namespace

struct HMdbReader::Handle
{
    MdbHandle *mdb = nullptr;
};

HMdbReader::HMdbReader() = default;

HMdbReader::~HMdbReader()
{
    close();
}

void HMdbReader::close()
{
    if (m_handle) {
        if (m_handle->mdb)
            mdb_close(m_handle->mdb);
        delete m_handle;
        m_handle = nullptr;
    }
}

bool HMdbReader::open(const QString &file)
{
    close();
    m_error.clear();
    m_file = file;
    QFile probe(file);
    if (!probe.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("%1 cannot be read: %2").arg(file, probe.errorString());
        return false;
    }
    const QByteArray head = probe.read(32);
    probe.close();
    const QByteArray engine = head.mid(4, 15);
    if (engine != "Standard Jet DB" && engine != "Standard ACE DB") {
        m_error = QStringLiteral("%1 is not an Access database").arg(file);
        return false;
    }

    MdbHandle *mdb = mdb_open(QFile::encodeName(file).constData(), MDB_NOFLAGS);
    if (!mdb) {
        m_error = QStringLiteral("%1 cannot be opened as an Access database: it is damaged or "
                                 "of a version this reader does not know")
                      .arg(file);
        return false;
    }
    m_handle = new Handle;
    m_handle->mdb = mdb;
    mdb_set_bind_size(mdb, kBindSize);
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_boolean_fmt_numbers(mdb);
    // An encrypted file (an .accdb with a password) opens, but its catalog is noise.
    if (!mdb_read_catalog(mdb, MDB_TABLE) || mdb->num_catalog == 0) {
        close();
        m_error = QStringLiteral("the tables of %1 cannot be read: the file is encrypted with a "
                                 "password or damaged (remove the password in Access and "
                                 "try again)")
                      .arg(file);
        return false;
    }
    return true;
}

QStringList HMdbReader::tableNames(QString *error)
{
    QStringList names;
    if (!m_handle) {
        *error = QStringLiteral("the Access file is not open");
        return names;
    }
    MdbHandle *mdb = m_handle->mdb;
    for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
            names.append(QString::fromUtf8(entry->object_name));
    }
    return names;
}

bool HMdbReader::columns(const QString &table, QVector<HDbColumn> *columns, QString *error)
{
    columns->clear();
    TableDef def;
    if (!readDefinition(m_handle ? m_handle->mdb : nullptr, table, &def)) {
        *error = QStringLiteral("the table %1 of %2 cannot be read").arg(table, m_file);
        return false;
    }
    for (unsigned int i = 0; i < def.table->num_cols; ++i) {
        auto *column = static_cast<MdbColumn *>(g_ptr_array_index(def.table->columns, i));
        columns->append({QString::fromUtf8(column->name), kindOf(column->col_type)});
    }
    return true;
}

qint64 HMdbReader::rowCount(const QString &table)
{
    MdbCatalogEntry *entry = m_handle ? findTable(m_handle->mdb, table) : nullptr;
    if (!entry)
        return -1;
    TableDef def;
    def.table = mdb_read_table(entry);
    return def.table ? qint64(def.table->num_rows) : -1;
}

bool HMdbReader::readRows(const QString &table, const QVector<HDbColumn> &wanted,
                          const RowSink &sink, QString *error)
{
    error->clear();
    TableDef def;
    if (!readDefinition(m_handle ? m_handle->mdb : nullptr, table, &def)) {
        *error = QStringLiteral("the table %1 of %2 cannot be read").arg(table, m_file);
        return false;
    }
    MdbTableDef *t = def.table;

    // Which of the table's columns each wanted one is.
    QVector<int> index;
    QVector<int> types;
    for (const HDbColumn &column : wanted) {
        int found = -1;
        for (unsigned int i = 0; i < t->num_cols && found < 0; ++i) {
            auto *c = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, i));
            if (column.name.compare(QString::fromUtf8(c->name), Qt::CaseInsensitive) == 0)
                found = int(i);
        }
        if (found < 0) {
            *error = QStringLiteral("the table %1 has no column %2").arg(table, column.name);
            return false;
        }
        const int type = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, found))->col_type;
        if (kindOf(type) == HDbColumn::Blob) {
            *error = QStringLiteral("the column %1 of %2 holds %3 data, which is not copied")
                         .arg(column.name, table, typeName(type));
            return false;
        }
        index.append(found);
        types.append(type);
    }

    const size_t bindSize = m_handle->mdb->bind_size;
    std::vector<std::vector<char>> buffers(t->num_cols, std::vector<char>(bindSize + 1, 0));
    std::vector<int> lengths(t->num_cols, 0);
    mdb_rewind_table(t);
    for (unsigned int i = 0; i < t->num_cols; ++i)
        mdb_bind_column(t, int(i) + 1, buffers[i].data(), &lengths[i]);

    QVector<QVariant> row(wanted.size());
    qint64 number = 0;
    while (mdb_fetch_row(t)) {
        ++number;
        for (int w = 0; w < wanted.size(); ++w) {
            const int i = index.at(w);
            const int length = lengths[size_t(i)];
            if (size_t(length) >= bindSize - 1) {
                *error =
                    QStringLiteral("row %1 of %2: the value of %3 is too long to be read whole")
                        .arg(number)
                        .arg(table, wanted.at(w).name);
                return false;
            }
            const QString text = QString::fromUtf8(buffers[size_t(i)].data(), length);
            const HDbColumn::Kind kind = kindOf(types.at(w));
            if (kind == HDbColumn::Text) {
                row[w] = text;
                continue;
            }
            if (text.isEmpty()) {
                row[w] =
                    QVariant(kind == HDbColumn::Integer ? QVariant::LongLong : QVariant::Double);
                continue;
            }
            bool ok = false;
            if (kind == HDbColumn::Integer) {
                row[w] = text.toLongLong(&ok);
            } else {
                // libmdb prints with the C library, which may follow a locale's decimal comma.
                double value = text.toDouble(&ok);
                if (!ok)
                    value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
                row[w] = value;
            }
            if (!ok) {
                *error = QStringLiteral("row %1 of %2: \"%3\" in %4 is not a number")
                             .arg(number)
                             .arg(table, text, wanted.at(w).name);
                return false;
            }
        }
        if (!sink(row))
            return false;
    }
    return true;
}
