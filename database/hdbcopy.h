#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>

class HDatabase;

// A column as the copy sees it: its name and what kind of value it holds.
struct HDbColumn
{
    enum Kind { Integer, Real, Text, Blob };
    QString name;
    Kind kind = Text;
};

// Where the copy reads from: an SQL database (HSqlCopySource) or an Access file
// (HMdbCopySource, built apart because it links libmdb).
class HDbCopySource
{
public:
    using RowSink = std::function<bool(const QVector<QVariant> &row)>;

    virtual ~HDbCopySource() = default;
    // Every table of the source, as the source spells its name.
    virtual QStringList tableNames(QString *error) = 0;
    virtual bool columns(const QString &table, QVector<HDbColumn> *columns, QString *error) = 0;
    // For progress only; -1 where unknown.
    virtual qint64 rowCount(const QString &table) = 0;
    // Hands every row to the sink, values in the order of `columns`. Stops early (false)
    // when the sink returns false; `error` stays empty then.
    virtual bool readRows(const QString &table, const QVector<HDbColumn> &columns,
                          const RowSink &sink, QString *error) = 0;
};

// Reads through an open HDatabase (SQLite or PostgreSQL), in one read transaction so that
// the tables are seen as of one moment while others keep working on the database.
class HSqlCopySource : public HDbCopySource
{
public:
    explicit HSqlCopySource(HDatabase *db);
    ~HSqlCopySource() override;

    QStringList tableNames(QString *error) override;
    bool columns(const QString &table, QVector<HDbColumn> *columns, QString *error) override;
    qint64 rowCount(const QString &table) override;
    bool readRows(const QString &table, const QVector<HDbColumn> &columns, const RowSink &sink,
                  QString *error) override;

private:
    bool begin(QString *error);

    HDatabase *m_db;
    bool m_inTransaction = false;
};

// An order-independent digest of a table's rows: every row's values normalised to text
// (NULL apart from any text), hashed, and the hashes added up, so that the same rows give
// the same digest whatever order a back end returns them in and whichever back end holds them.
class HRowDigest
{
public:
    void add(const QVector<QVariant> &row);
    qint64 rows() const { return m_rows; }
    QString toString() const;
    bool operator==(const HRowDigest &other) const;
    bool operator!=(const HRowDigest &other) const { return !(*this == other); }

    // The text a value counts as: one spelling per value whatever type the driver gave it.
    static QByteArray normalise(const QVariant &value);

private:
    qint64 m_rows = 0;
    quint64 m_sum[2] = {0, 0};
};

// Copies every product table from a source into a target database in one transaction.
class HDbCopy
{
public:
    struct Progress
    {
        QString table;
        int tableIndex = 0; // 1-based
        int tableCount = 0;
        qint64 rows = 0;      // rows of this table copied so far
        qint64 tableRows = 0; // rows the source said the table has (-1 unknown)
        qint64 doneRows = 0;  // rows of all tables copied so far
        qint64 totalRows = 0; // rows of all tables, as far as known
    };

    struct Options
    {
        bool replace = false; // empty the target's product tables first
        std::function<void(const Progress &)> progress;
        // Rows per insert statement; 0 picks a number from the column count.
        int batchRows = 0;
    };

    struct TableReport
    {
        QString table;
        qint64 rows = 0;
        QString digest;
    };

    struct Report
    {
        QVector<TableReport> tables;
        qint64 rows = 0;
        QStringList notes; // what the user should know although the copy succeeded
    };

    // The tables of the product schema, in the order the schema creates them.
    static QStringList schemaTables();

    // Copies; false with `error` set when anything failed, the target then as it was.
    static bool copy(HDbCopySource &source, HDatabase &target, const Options &options,
                     Report *report, QString *error);

    // Creates an empty SQLite database file at `path` (it must not exist), so that it can
    // be opened as a product database.
    static bool createSqliteFile(const QString &path, QString *error);
};
