#pragma once

#include "hdbcopy.h"

#include <QString>
#include <QStringList>

// Reads the tables of an Access file (.mdb, .accdb) through libmdb, read only. Column types
// become integer (yes/no, byte, integer, long), real (single, double, currency, decimal) or
// text (text, memo, date/time as "yyyy-MM-dd hh:mm:ss", replication id). Tables with OLE or
// binary columns are listed but refused when read.
//
// libmdb hands a zero-length text and a missing one over alike; both are read as "".
class HMdbReader : public HDbCopySource
{
public:
    HMdbReader();
    ~HMdbReader() override;
    HMdbReader(const HMdbReader &) = delete;
    HMdbReader &operator=(const HMdbReader &) = delete;

    // False (see errorString()) for a file that is no Access file, is damaged, or is
    // encrypted by a password.
    bool open(const QString &file);
    void close();
    QString errorString() const { return m_error; }

    // The user tables (Access' own MSys tables left out).
    QStringList tableNames(QString *error) override;
    bool columns(const QString &table, QVector<HDbColumn> *columns, QString *error) override;
    qint64 rowCount(const QString &table) override;
    bool readRows(const QString &table, const QVector<HDbColumn> &columns, const RowSink &sink,
                  QString *error) override;

private:
    struct Handle;
    Handle *m_handle = nullptr;
    QString m_file;
    QString m_error;
};
