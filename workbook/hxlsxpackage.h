#pragma once

#include "hworkbookreader.h"
#include "hxmlscanner.h"

#include <QString>
#include <QVector>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>

// The zip package of an .xlsx workbook as the reader walks it: its parts opened one at a
// time, each refused before a byte is unpacked when it says it would take the unpacked total
// past the limit, and checked by the zip after it was read to its end. Errors go to the
// text the reader reports.
class HXlsxPackage
{
public:
    HXlsxPackage(const QString &path, QString *error)
        : m_zip(path)
        , m_error(error)
    {}

    bool open()
    {
        if (!m_zip.open(QuaZip::mdUnzip)) {
            *m_error = QStringLiteral("the file is not a readable .xlsx workbook (zip error %1)")
                           .arg(m_zip.getZipError());
            return false;
        }
        return true;
    }

    // Opens a part for reading; false with the reason, or (when `optional`) silently when
    // it is absent.
    bool openPart(QuaZipFile &file, const QString &name, bool optional = false)
    {
        if (!m_zip.setCurrentFile(name, QuaZip::csInsensitive)) {
            if (!optional)
                *m_error = QStringLiteral("the workbook has no part %1").arg(name);
            return false;
        }
        // A part that says it unpacks to more than is read at all is refused before a
        // byte of it is unpacked.
        QuaZipFileInfo64 info;
        if (m_zip.getCurrentFileInfo(&info) &&
            m_inflated + qint64(info.uncompressedSize) > HWorkbookReader::MaxInflatedBytes) {
            *m_error = QStringLiteral("the part %1 unpacks to %2 MB, more than the %3 MB read of "
                                      "a workbook")
                           .arg(name)
                           .arg(thousands(qint64(info.uncompressedSize >> 20)))
                           .arg(HWorkbookReader::MaxInflatedBytes >> 20);
            return false;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            *m_error = QStringLiteral("the part %1 cannot be unpacked (zip error %2)")
                           .arg(name)
                           .arg(file.getZipError());
            return false;
        }
        return true;
    }

    // After a part was scanned to its end: the zip's own check of what was unpacked.
    bool closePart(QuaZipFile &file, const QString &name)
    {
        file.close();
        if (file.getZipError() != UNZ_OK) {
            *m_error = QStringLiteral("the part %1 is damaged (zip error %2)")
                           .arg(name)
                           .arg(file.getZipError());
            return false;
        }
        return true;
    }

    bool scanError(const HXmlScanner &xml)
    {
        *m_error = xml.errorString();
        return false;
    }

    QuaZip m_zip;
    QString *m_error;
    qint64 m_inflated = 0;
    QVector<QString> m_strings;

    // 1234567 as "1,234,567", for the limits named in messages.
    static QString thousands(qint64 value)
    {
        QString text = QString::number(value);
        for (int at = text.size() - 3; at > 0; at -= 3)
            text.insert(at, QLatin1Char(','));
        return text;
    }
};
